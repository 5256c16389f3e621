#include "about_dialog.h"

#include "draw_list_player.h"
#include "night_look.h"

namespace velmoro::win32 {

CAboutDlg::~CAboutDlg() {
    if (nightIcon_ != nullptr) {
        DestroyIcon(nightIcon_);
    }
}

BOOL CAboutDlg::OnInitDialog() {
    HWND owner = GetWindow(Handle(), GW_OWNER);
    RECT ownerRect{};
    RECT rect{};
    if (owner != nullptr && GetWindowRect(owner, &ownerRect) && GetWindowRect(Handle(), &rect)) {
        const int width = rect.right - rect.left;
        const int height = rect.bottom - rect.top;
        const int x = ownerRect.left + (ownerRect.right - ownerRect.left - width) / 2;
        const int y = ownerRect.top + (ownerRect.bottom - ownerRect.top - height) / 2;
        SetWindowPos(Handle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (CurrentLook() == drawing::Look::kNight) {
        // The template's icon control: the only one of its kind in the box.
        for (HWND child = GetWindow(Handle(), GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                nightIcon_ = NightIcon(FromParam<HICON>(SendMessageW(child, STM_GETICON, 0, 0)));
                SendMessageW(child, STM_SETICON, reinterpret_cast<WPARAM>(nightIcon_), 0);
            }
        }
    }
    return TRUE;
}

}  // namespace velmoro::win32
