#include "main_window.h"

#include <system_error>

#include "report_facts.h"
#include "velmoro_version.h"

namespace velmoro {

UpdateType updateType = UpdateType::MainProgram;

namespace window {

std::string HelpPagePath(std::string_view programPath) {
    const std::size_t cut = programPath.find_last_of("/\\");
    if (cut == std::string_view::npos) {
        return "Help.htm";
    }
    return std::string(programPath.substr(0, cut + 1)) + "Help.htm";
}

void ShowTransferUnderWay(IWindowFace& window) {
    window.ClearLog();
    window.AppendLog(texts::kResetPrompt);
    window.AppendLog(texts::kConnected);
    window.AppendLog(texts::kProcessing);
    window.SetProgressRange(0, 100);
    window.SetProgressPos(42);
    window.SetStartStopCaption(texts::kStopCaption);
    window.EnableOpenButton(false);
}

namespace {

std::filesystem::path ReportsPath() {
    const std::string folder = ReportsFolder();
    return std::filesystem::path(std::u8string(folder.begin(), folder.end()));
}

}  // namespace

CDownloaderWiring::CDownloaderWiring(CMSComm& serialControl, int& portNumber, IWindowFace& window)
    : portNumber_(portNumber),
      portFace_(serialControl, portNumber),
      reporter_(
          window,
          [&serialControl, &portNumber] {
              return MakeReportContext(std::string("velmoro-downloader ") + build::kVersionLine,
                                       "COM" + std::to_string(portNumber),
                                       serialControl.DeviceName(), kLineSettings);
          },
          [](const std::string& report, const TransferEnd&) {
              // The log box shows how it ended; a report that cannot be
              // kept costs the user nothing else.
              std::string error;
              if (!ReportsFolder().empty()) {
                  KeepReport(ReportsPath(), report, std::chrono::system_clock::now(), error);
              }
          }),
      engine_(portFace_, reporter_) {
    serialControl.SetOnComm([this, &serialControl] {
        const bool received = serialControl.GetCommEvent() == kCommEventReceive;
        engine_.OnCommEvent();
        ReportRunning(received);
    });
}

std::filesystem::path CDownloaderWiring::PrepareReportsFolder() {
    if (ReportsFolder().empty()) {
        return {};
    }
    std::filesystem::path folder = ReportsPath();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return error ? std::filesystem::path() : folder;
}

void CDownloaderWiring::OnSelChangePortList(int index) {
    if (index >= 0) {
        portNumber_ = index + 1;
    }
}

void CDownloaderWiring::OnUpdateTypeClicked(int id) {
    if (id == ids::IDC_MAIN_PROGRAM) {
        updateType = UpdateType::MainProgram;
    } else if (id == ids::IDC_OBJECT_CATALOG) {
        updateType = UpdateType::ObjectCatalog;
    }
}

}  // namespace window
}  // namespace velmoro
