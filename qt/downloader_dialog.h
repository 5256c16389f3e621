#pragma once

// The main window: port, update type and data file, the Start/Stop button,
// the log box and the progress bar. It hands the button, timer 1 and the
// serial event to the transfer engine and shows what the engine reports;
// timer 2 tells the keep-awake hold that the controller has gone silent.

#include <QIcon>
#include <QString>
#include <string>

#include "dialog.h"
#include "keep_awake.h"
#include "main_window.h"
#include "palette.h"

class QAction;
class QPlainTextEdit;

namespace velmoro {

class CHoverButton;
class CIconButton;
class CPercentProgressCtrl;

class CDownloaderDlg : public toolkit::CDialog, public IWindowFace, private IKeepAwakeTimer {
    Q_OBJECT

public:
    static constexpr int kBeaconTimer = 1;
    static constexpr int kKeepAwakeTimer = 2;

    // The silence after which the computer may sleep is shorter only in
    // tests.
    explicit CDownloaderDlg(QWidget* parent = nullptr,
                            std::chrono::milliseconds keepAwakeSilence = kKeepAwakeSilence);
    ~CDownloaderDlg() override;

    // Members, in this order.
    int portNumber = 1;
    QString dataFilePath;
    QPlainTextEdit* logBox = nullptr;
    CPercentProgressCtrl* progressBar = nullptr;
    CHoverButton* startStopButton = nullptr;
    CHoverButton* openButton = nullptr;
    CMSComm serialControl;
    QIcon windowIcon;
    CIconButton* helpButton = nullptr;
    CIconButton* homeButton = nullptr;

    // A serial device arrived (udev's notice, or a test's): when no
    // transfer runs, the port that reaches it is chosen.
    void OnSerialDeviceArrived(const std::string& device);

    // The log as the user sees it, every line ending in "\r\n".
    QString LogText() const;
    const CTransferEngine& Engine() const { return wiring_.Engine(); }

    // Also the system menu's Night Mode: the other look, at once and for
    // the next start.
    void OnSysCommand(unsigned id, long param) override;
    // The whole window, and every window opened from it, in this look.
    void ShowLook(drawing::Look look);
    QIcon OnQueryDragIcon() const { return windowIcon; }

    // IWindowFace
    void ClearLog() override;
    void AppendLog(std::string_view text) override;
    void SetStartStopCaption(std::string_view caption) override;
    void EnableOpenButton(bool enable) override;
    void StartBeaconTimer(int periodMs) override { SetTimer(kBeaconTimer, periodMs); }
    void StopBeaconTimer() override { KillTimer(kBeaconTimer); }
    std::filesystem::path DataFilePath() const override;
    UpdateType GetUpdateType() const override { return updateType; }
    void SetProgressRange(int lower, int upper) override;
    void SetProgressPos(int pos) override;
    bool AskQuestion(std::string_view question) override;
    // The wiring keeps the report; the window shows the end in its log.
    void TransferEnded(const TransferEnd&) override {}
    void ReportPortFailure(std::string_view errorText) override;

protected:
    bool OnInitDialog() override;
    void DoDataExchange() override;
    // The self-drawn controls take the places of the progress bar and of
    // the Open, Start/Stop, Help and Home buttons.
    QWidget* CreateControl(const toolkit::ControlTemplate& row) override;
    // Enter does nothing: ending the program by a stray key could abandon a
    // transfer and leave the controller half written.
    void OnOK() override {}
    void OnCancel() override;
    void OnTimer(int id) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // IKeepAwakeTimer
    void StartKeepAwakeTimer(std::chrono::milliseconds period) override {
        SetTimer(kKeepAwakeTimer, static_cast<int>(period.count()));
    }
    void StopKeepAwakeTimer() override { KillTimer(kKeepAwakeTimer); }

    void OnOpenDataFile();
    // The port list's items as the wiring has them: each port with what it
    // reaches while the list is dropped down, its bare name otherwise.
    void ShowPortList(bool dropped);
    void OnHelp();
    void OnHome();

    window::CDownloaderWiring wiring_;
    CKeepAwake keepAwake_;
    class CDeviceArrivals* arrivals_ = nullptr;
    QAction* nightItem_ = nullptr;
};

// Where a minimised window draws its icon: centred, the extra pixel to the
// right and below.
QPoint MinimisedIconPosition(QSize client, QSize icon);

}  // namespace velmoro
