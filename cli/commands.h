#pragma once

// The commands of the command-line program, its exit codes and its entry
// point. Everything here is the same on every platform.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "catalog.h"
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
    kExitReportNotWritten = 7,  // download: finished, but --report's file could not be written
    kExitInterrupted = 130,
};

struct DownloadOptions {
    int portNumber = 0;  // 1 to 9 for COM1 to COM9, 0 when devicePath is used
    std::string devicePath;
    UpdateType type = UpdateType::MainProgram;
    std::filesystem::path dataFile;
    int timeoutSeconds = 0;            // 0: wait until Ctrl-C
    bool force = false;                // send a file that looks wrong without asking
    std::filesystem::path reportFile;  // empty: the report is only kept
};

// The whole program: arguments[0] is the program's name; every text is
// UTF-8. The platform's main() prepares what its event loop needs and calls
// this.
int RunCli(const std::vector<std::string>& arguments);

int RunDownload(const DownloadOptions& options);
// The exit code of a download that ended so.
int ExitCodeFor(const TransferEnd& end);
// show: every record as the controller will hold it, too.
int RunCheck(const std::filesystem::path& catalog, bool show);
int RunConvert(const std::filesystem::path& catalog, const std::filesystem::path& output);

// The blocks a catalogue download would send, without a controller: each
// block's 1024-byte payload in order, with its address in the controller
// and what it holds. bytes is the catalogue that PlanCatalogFile found fit;
// returns the number of blocks. The command line and the page each write
// the payloads and say how it went in their own words.
using CatalogBlockSeen = std::function<void(std::uint32_t address, const CatalogBlockInfo& info,
                                            const Payload& payload)>;
int ConvertCatalog(std::span<const std::uint8_t> bytes, const CatalogBlockSeen& onBlock);
int RunPorts();
int RunReports();
// ports: COM1..COM9 or device paths; none for COM1..COM9.
int RunDoctor(const std::vector<std::string>& ports);

// A file name from the command line (UTF-8) as a path.
std::filesystem::path PathFromArgument(const std::string& argument);

}  // namespace velmoro
