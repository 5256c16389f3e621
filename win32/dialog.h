#pragma once

// A modal dialog on the system's dialog manager, built from a dialog
// template of the program's resources, in the dialog framework's shape:
// DoDataExchange and OnInitDialog once the controls exist, OnOK and
// OnCancel for the two ending commands, commands and timers by id, the
// system menu's commands; and controls subclassed by id that draw
// themselves or hear of their own clicks first.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <map>

namespace velmoro::win32 {

// A message parameter (or result) that carries a pointer or a handle, as
// the system defines the message: the one place where numbers become
// pointers.
template <class T, class Param>
T FromParam(Param value) {
    return reinterpret_cast<T>(value);  // NOLINT(performance-no-int-to-ptr)
}

class CDialog;

// The DPI a window is shown at: its monitor's where the system can say
// (Windows 10 and later), else the screen's.
UINT WindowDpi(HWND hwnd);
// A system metric at a DPI: the system's own for it where it can say, else
// the screen's scaled.
int MetricForDpi(int index, UINT dpi);

// A control of a dialog taken over by a class of the program (the dialog
// framework's subclassing of a dialog item by its id).
class CSubclassedControl {
public:
    CSubclassedControl() = default;
    virtual ~CSubclassedControl();
    CSubclassedControl(const CSubclassedControl&) = delete;
    CSubclassedControl& operator=(const CSubclassedControl&) = delete;

    bool SubclassDlgItem(int id, CDialog& dialog);
    HWND Handle() const { return hwnd_; }

    // The owner-draw request the dialog passes back to the control.
    virtual void DrawItem(const DRAWITEMSTRUCT& /*request*/) {}
    // The control's own handling of its click, before the dialog's.
    virtual void OnReflectedClick() {}

protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);
    // Called once the window is the control's.
    virtual void PreSubclassWindow() {}

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);

    HWND hwnd_ = nullptr;
};

class CDialog {
public:
    // owner null: the program's active window, as the framework chooses.
    CDialog(int templateId, HWND owner);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    INT_PTR DoModal();
    // The dialog without a modal loop of its own, shown at once, for a
    // program that runs the message loop itself (tests, screenshots).
    bool Create();
    void EndDialog(int result);

    HWND Handle() const { return hwnd_; }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(hwnd_, id); }
    void SetTimer(UINT_PTR id, UINT periodMs) { ::SetTimer(hwnd_, id, periodMs, nullptr); }
    void KillTimer(UINT_PTR id) { ::KillTimer(hwnd_, id); }

    void AddControl(CSubclassedControl& control);

protected:
    virtual void DoDataExchange() {}
    // Returns whether the dialog manager is to set the focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual void OnCommand(int /*id*/, int /*code*/) {}
    virtual void OnTimer(UINT_PTR /*id*/) {}
    // Returns whether the command was handled; the rest goes to the system.
    virtual bool OnSysCommand(WPARAM /*id*/, LPARAM /*param*/) { return false; }
    // Any other message: returns whether it was handled, with result set.
    virtual bool OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                           INT_PTR& /*result*/) {
        return false;
    }

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    int templateId_;
    HWND owner_;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
    std::map<HWND, CSubclassedControl*> controls_;
};

}  // namespace velmoro::win32
