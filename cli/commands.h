#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>

#include "faces.h"

namespace velmoro {

// Exit codes of the command-line program.
enum ExitCode {
    kExitFinished = 0,
    kExitErrorReply = 1,
    kExitProblemFound = 1,  // doctor: some port has a problem; check: some line has one
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
    bool force = false;      // send a file that looks wrong without asking
};

int RunDownload(const DownloadOptions& options);
// show: every record as the controller will hold it, too.
int RunCheck(const std::filesystem::path& catalog, bool show);
int RunConvert(const std::filesystem::path& catalog, const std::filesystem::path& output);
int RunPorts();
// ports: COM1..COM9 or device paths; none for COM1..COM9.
int RunDoctor(const QStringList& ports);

}  // namespace velmoro
