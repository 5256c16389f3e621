#include "about_dialog.h"

namespace velmoro::win32 {

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
    return TRUE;
}

}  // namespace velmoro::win32
