#pragma once

// The main window on the system's dialog manager (template 102): port,
// update type and data file, the Start/Stop button, the log box and the
// progress bar. It hands the button, timer 1 and the serial event to the
// transfer engine and shows what the engine reports; timer 2 tells the
// keep-awake hold that the controller has gone silent.

#include <string>

#include "dialog.h"
#include "hover_button.h"
#include "icon_button.h"
#include "keep_awake.h"
#include "main_window.h"
#include "percent_progress_ctrl.h"
#include "text.h"

namespace velmoro::win32 {

class CDownloaderDlg : public CDialog, public IWindowFace, private IKeepAwakeTimer {
public:
    static constexpr UINT_PTR kBeaconTimer = 1;
    static constexpr UINT_PTR kKeepAwakeTimer = 2;

    // The silence after which the computer may sleep is shorter only in
    // tests.
    explicit CDownloaderDlg(std::chrono::milliseconds keepAwakeSilence = kKeepAwakeSilence);
    ~CDownloaderDlg() override;

    // Members, in this order.
    int portNumber = 1;
    std::wstring dataFilePath;
    HWND logBox = nullptr;
    CPercentProgressCtrl progressBar;
    CHoverButton startStopButton;
    CHoverButton openButton;
    CMSComm serialControl;
    HICON windowIcon = nullptr;
    CIconButton helpButton;
    CIconButton homeButton;

    // IWindowFace
    void ClearLog() override;
    void AppendLog(std::string_view text) override;
    void SetStartStopCaption(std::string_view caption) override;
    void EnableOpenButton(bool enable) override;
    void StartBeaconTimer(int periodMs) override {
        SetTimer(kBeaconTimer, static_cast<UINT>(periodMs));
    }
    void StopBeaconTimer() override { KillTimer(kBeaconTimer); }
    // The path the file dialog gave, in the form that opens however long.
    std::filesystem::path DataFilePath() const override { return ExtendedLengthPath(dataFilePath); }
    UpdateType GetUpdateType() const override { return updateType; }
    void SetProgressRange(int lower, int upper) override { progressBar.SetRange(lower, upper); }
    void SetProgressPos(int pos) override { progressBar.SetPos(pos); }
    bool AskQuestion(std::string_view question) override;
    // The wiring keeps the report; the window shows the end in its log.
    void TransferEnded(const TransferEnd&) override {}
    void ReportPortFailure(std::string_view errorText) override;

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    // Enter does nothing: ending the program by a stray key could abandon a
    // transfer and leave the controller half written.
    void OnOK() override {}
    void OnCancel() override;
    void OnCommand(int id, int code) override;
    void OnTimer(UINT_PTR id) override;
    bool OnSysCommand(WPARAM id, LPARAM param) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    // IKeepAwakeTimer
    void StartKeepAwakeTimer(std::chrono::milliseconds period) override {
        SetTimer(kKeepAwakeTimer, static_cast<UINT>(period.count()));
    }
    void StopKeepAwakeTimer() override { KillTimer(kKeepAwakeTimer); }

    void OnOpenDataFile();
    void OnHelp();
    void OnHome();
    void OnDeviceChange(WPARAM event, LPARAM data);
    // The port list's items as the wiring has them: each port with what it
    // reaches while the list is dropped down, its bare name otherwise.
    void ShowPortList(bool dropped);
    std::wstring Title() const;
    // Every control in the look the program has now (CurrentLook), the
    // system menu's item checked at night.
    void FollowLook();
    bool IsPortListEdit(HWND hwnd) const;

    window::CDownloaderWiring wiring_;
    CKeepAwake keepAwake_;
};

}  // namespace velmoro::win32
