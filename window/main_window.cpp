#include "main_window.h"

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

CDownloaderWiring::CDownloaderWiring(CMSComm& serialControl, int& portNumber, IWindowFace& window)
    : portNumber_(portNumber), portFace_(serialControl, portNumber), engine_(portFace_, window) {
    serialControl.SetOnComm([this, &serialControl] {
        const bool received = serialControl.GetCommEvent() == kCommEventReceive;
        engine_.OnCommEvent();
        ReportRunning(received);
    });
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
