#include <cstdio>

#include "commands.h"
#include "report_facts.h"
#include "transfer_report.h"

namespace velmoro {

int RunReports() {
    const std::string folder = ReportsFolder();
    if (folder.empty()) {
        std::fprintf(stderr,
                     "velmoro-downloader-cli: no folder for reports: set VELMORO_REPORTS_DIR.\n");
        return kExitDataFile;
    }
    const std::vector<std::filesystem::path> kept = KeptReports(PathFromArgument(folder));
    std::printf("Reports of the last transfers, oldest first, in %s:\n", folder.c_str());
    if (kept.empty()) {
        std::printf("  none yet\n");
    }
    for (const std::filesystem::path& path : kept) {
        const std::u8string name = path.filename().u8string();
        std::printf("  %.*s\n", static_cast<int>(name.size()),
                    reinterpret_cast<const char*>(name.data()));
    }
    return kExitFinished;
}

}  // namespace velmoro
