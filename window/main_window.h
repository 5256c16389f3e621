#pragma once

// What every desktop front end does the same about its main window: the
// update type the radio buttons set, where the help page is, and how the
// window's controls, the serial port and the transfer engine are wired
// together. The ids of the dialogs and their controls are in dialog_ids.h,
// made from dialogs.json; the quit question, and what the desktop programs
// and the browser page do differently, in front_end.h.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dialog_ids.h"
#include "faces.h"
#include "front_end.h"
#include "ms_comm.h"
#include "port_names.h"
#include "serial_port_face.h"
#include "transfer.h"
#include "transfer_report.h"

namespace velmoro {

// The update type the radio buttons set, one for the whole program.
extern UpdateType updateType;

namespace window {

// The help page beside a program: its directory (cut at the last '/' or
// '\') and "Help.htm"; just "Help.htm" for a path without a directory.
std::string HelpPagePath(std::string_view programPath);

// The serial port and the engine of a main window, and what its controls
// ask of them. The window keeps the port number and the serial control
// among its members; the engine reads the number when it opens the port,
// so the port opened is always the one the list shows.
// What the engine has shown through the window face by the time the
// controller has taken 42% of an image, for the pictures of the window: no
// port is opened, the window only looks the part.
void ShowTransferUnderWay(IWindowFace& window);

class CDownloaderWiring {
public:
    // Every transfer's report is kept in the reports folder.
    CDownloaderWiring(CMSComm& serialControl, int& portNumber, IWindowFace& window);
    CDownloaderWiring(const CDownloaderWiring&) = delete;
    CDownloaderWiring& operator=(const CDownloaderWiring&) = delete;

    // The items of the port list as it drops down now (PortListItems); the
    // window shows them in this order, and its selection's index is read
    // against them.
    const std::vector<PortListItem>& RefreshPortList();
    const std::vector<PortListItem>& PortList() const { return portList_; }
    // The port list's selection changed to index (-1: no selection).
    void OnSelChangePortList(int index);
    // A serial device arrived (an adapter plugged in): when no transfer
    // runs and a port of the list reaches it, that port becomes the chosen
    // one, as if the user had chosen it; returns its index in the refreshed
    // list, or -1 when nothing changes. reach gives the device COMn reaches
    // now (ComPortDevice; tests give their own).
    int OnDeviceArrived(const std::string& device,
                        const std::function<std::string(int)>& reach = DefaultReach);
    static std::string DefaultReach(int n) { return ComPortDevice(n); }
    // A click on the radio button with this id.
    static void OnUpdateTypeClicked(int id);
    // A Start opens the device the port list showed for the chosen port,
    // or none.
    void OnStartStop();
    // What to ask when the user closes the window now.
    QuitQuestion QuitQuestionNow() const { return QuitQuestionFor(engine_.State().busy); }
    // The window closes: a transfer still running is stopped first, as the
    // Stop button would, so that it ends and leaves its report.
    void OnClosing() {
        if (engine_.State().busy) {
            OnStartStop();
        }
    }
    // A tick of the engine's beacon timer.
    void OnTimer() {
        engine_.OnBeaconTimer();
        ReportRunning();
    }
    // Told after every click, tick and serial event whether a transfer
    // runs, and whether the event brought bytes from the controller (for
    // CKeepAwake::Follow).
    void SetOnTransferRunning(std::function<void(bool running, bool bytesReceived)> handler) {
        onTransferRunning_ = std::move(handler);
    }

    const CTransferEngine& Engine() const { return engine_; }
    const CTransferReporter& Reporter() const { return reporter_; }

    // The folder of the kept reports, made if missing, for the system menu's
    // item that opens it; empty when it cannot be made.
    static std::filesystem::path PrepareReportsFolder();

private:
    void ReportRunning(bool bytesReceived = false) {
        if (onTransferRunning_) {
            onTransferRunning_(engine_.State().busy, bytesReceived);
        }
    }

    CMSComm& serialControl_;
    int& portNumber_;
    std::vector<PortListItem> portList_;
    CSerialPortFace portFace_;
    CTransferReporter reporter_;
    CTransferEngine engine_;
    std::function<void(bool, bool)> onTransferRunning_;
};

}  // namespace window
}  // namespace velmoro
