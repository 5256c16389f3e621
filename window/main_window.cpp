#include "main_window.h"

#include <filesystem>
#include <optional>
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
    : serialControl_(serialControl),
      portNumber_(portNumber),
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

const std::vector<PortListItem>& CDownloaderWiring::RefreshPortList() {
    portList_ = PortListItems(portNumber_);
    return portList_;
}

void CDownloaderWiring::OnStartStop() {
    if (!engine_.State().busy) {
        // Until the list has dropped down it has shown no device.
        std::optional<std::string> shown;
        for (const PortListItem& item : portList_) {
            if (item.number == portNumber_) {
                shown = item.device;
            }
        }
        serialControl_.SetShownDevice(std::move(shown));
    }
    engine_.OnStartStop();
    ReportRunning();
}

void CDownloaderWiring::OnSelChangePortList(int index) {
    if (index < 0) {
        return;
    }
    // Until the list has dropped down once it holds COM1 to COM9.
    const auto at = static_cast<std::size_t>(index);
    portNumber_ = at < portList_.size() ? portList_[at].number : index + 1;
}

int CDownloaderWiring::OnDeviceArrived(const std::string& device,
                                       const std::function<std::string(int)>& reach) {
    // Nor while a Start asks its question: the port it has opened is the
    // one the transfer and its report go by.
    if (engine_.State().busy || reporter_.TransferOpen() || device.empty()) {
        return -1;
    }
    int number = 0;
    // A Windows port arrives by its name, COM10 and above included.
    if (device.starts_with("COM") && device.size() > 3 && device.size() <= 6 &&
        device.find_first_not_of("0123456789", 3) == std::string::npos && device[3] != '0') {
        number = std::stoi(device.substr(3));
    } else {
        for (int n = 1; n <= 9 && number == 0; ++n) {
            const std::string reached = reach(n);
            std::error_code unknown;
            if (reached == device ||
                (!reached.empty() && std::filesystem::equivalent(reached, device, unknown))) {
                number = n;
            }
        }
    }
    if (number == 0) {
        return -1;
    }
    portNumber_ = number;
    RefreshPortList();
    for (std::size_t i = 0; i < portList_.size(); ++i) {
        if (portList_[i].number == number) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CDownloaderWiring::OnUpdateTypeClicked(int id) {
    updateType = UpdateTypeOf(id).value_or(updateType);
}

}  // namespace window
}  // namespace velmoro
