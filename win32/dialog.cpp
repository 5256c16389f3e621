#include "dialog.h"

#include <commctrl.h>

#include "night_look.h"

namespace velmoro::win32 {

namespace {

UINT ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

// A function of user32 that older systems lack, or null.
template <class Function>
Function User32(const char* name) {
    const FARPROC address = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

}  // namespace

UINT WindowDpi(HWND hwnd) {
    static const auto getDpiForWindow = User32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    const UINT dpi = getDpiForWindow != nullptr && hwnd != nullptr ? getDpiForWindow(hwnd) : 0;
    return dpi != 0 ? dpi : ScreenDpi();
}

int MetricForDpi(int index, UINT dpi) {
    static const auto getSystemMetricsForDpi =
        User32<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
    if (getSystemMetricsForDpi != nullptr) {
        return getSystemMetricsForDpi(index, dpi);
    }
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(ScreenDpi()));
}

CSubclassedControl::~CSubclassedControl() {
    if (hwnd_ != nullptr && IsWindow(hwnd_)) {
        RemoveWindowSubclass(hwnd_, SubclassProc, 0);
    }
}

bool CSubclassedControl::SubclassDlgItem(int id, CDialog& dialog) {
    HWND hwnd = dialog.GetDlgItem(id);
    if (hwnd == nullptr ||
        !SetWindowSubclass(hwnd, SubclassProc, 0, reinterpret_cast<DWORD_PTR>(this))) {
        return false;
    }
    hwnd_ = hwnd;
    dialog.AddControl(*this);
    PreSubclassWindow();
    return true;
}

LRESULT CSubclassedControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return Default(message, wParam, lParam);
}

LRESULT CSubclassedControl::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefSubclassProc(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK CSubclassedControl::SubclassProc(HWND hwnd, UINT message, WPARAM wParam,
                                                  LPARAM lParam, UINT_PTR /*id*/, DWORD_PTR self) {
    auto* control = FromParam<CSubclassedControl*>(self);
    if (message == WM_NCDESTROY) {
        // The window goes before the object: the object forgets it.
        RemoveWindowSubclass(hwnd, SubclassProc, 0);
        control->hwnd_ = nullptr;
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }
    return control->WindowProc(message, wParam, lParam);
}

CDialog::CDialog(int templateId, HWND owner) : templateId_(templateId), owner_(owner) {}

CDialog::~CDialog() {
    if (hwnd_ != nullptr && !modal_) {
        DestroyWindow(hwnd_);
    }
}

INT_PTR CDialog::DoModal() {
    HWND owner = owner_ != nullptr ? owner_ : GetActiveWindow();
    modal_ = true;
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner,
                           DialogProc, reinterpret_cast<LPARAM>(this));
}

bool CDialog::Create() {
    modal_ = false;
    HWND hwnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner_,
                                   DialogProc, reinterpret_cast<LPARAM>(this));
    if (hwnd == nullptr) {
        return false;
    }
    ShowWindow(hwnd, SW_SHOW);
    return true;
}

void CDialog::EndDialog(int result) {
    if (modal_) {
        ::EndDialog(hwnd_, result);
    } else {
        DestroyWindow(hwnd_);
    }
}

void CDialog::AddControl(CSubclassedControl& control) {
    controls_[control.Handle()] = &control;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = FromParam<CDialog*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        dialog->hwnd_ = hwnd;
    }
    auto* dialog = FromParam<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (dialog == nullptr) {
        return FALSE;
    }
    const INT_PTR result = dialog->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        dialog->hwnd_ = nullptr;
        dialog->controls_.clear();
    }
    return result;
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            DoDataExchange();
            return OnInitDialog();
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            const auto control = controls_.find(FromParam<HWND>(lParam));
            if (code == BN_CLICKED && control != controls_.end()) {
                control->second->OnReflectedClick();
            }
            if (id == IDOK && code == BN_CLICKED) {
                OnOK();
            } else if (id == IDCANCEL && code == BN_CLICKED) {
                // Escape, the close box, Alt+F4 and the Close command.
                OnCancel();
            } else {
                OnCommand(id, code);
            }
            return TRUE;
        }
        case WM_DRAWITEM: {
            const auto* request = FromParam<const DRAWITEMSTRUCT*>(lParam);
            const auto control = controls_.find(request->hwndItem);
            if (request->CtlType != ODT_BUTTON || control == controls_.end()) {
                // A menu's items, for the owner-drawn menu the dialog shows.
                INT_PTR result = 0;
                return OnMessage(message, wParam, lParam, result) ? result : FALSE;
            }
            control->second->DrawItem(*request);
            return TRUE;
        }
        case WM_TIMER:
            OnTimer(wParam);
            return TRUE;
        case WM_SYSCOMMAND:
            if (OnSysCommand(wParam, lParam)) {
                SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 0);
                return TRUE;
            }
            return FALSE;
        default: {
            INT_PTR result = 0;
            if (OnMessage(message, wParam, lParam, result)) {
                return result;
            }
            // Every dialog of the program takes the night look's colours.
            if (NightControlColour(message, wParam, lParam, result)) {
                return result;
            }
            return FALSE;
        }
    }
}

}  // namespace velmoro::win32
