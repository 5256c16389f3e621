#pragma once

#include <QString>
#include <filesystem>

#include "faces.h"

namespace velmoro {

// Exit codes of the command-line program.
enum ExitCode {
    kExitFinished = 0,
    kExitErrorReply = 1,
    kExitUsage = 2,
    kExitDataFile = 3,
    kExitPortOpen = 4,
    kExitTimeout = 5,
    kExitPortFailed = 6,
    kExitInterrupted = 130,
};

struct DownloadOptions {
    int portNumber = 0;  // 1 to 9 for COM1 to COM9, 0 when devicePath is used
    QString devicePath;
    UpdateType type = UpdateType::MainProgram;
    std::filesystem::path dataFile;
    int timeoutSeconds = 0;  // 0: wait until Ctrl-C
};

int RunDownload(const DownloadOptions& options);
int RunConvert(const std::filesystem::path& catalog, const std::filesystem::path& output);
int RunPorts();

}  // namespace velmoro
