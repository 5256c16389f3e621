#include "percent_progress_ctrl.h"

#include <algorithm>

#include "draw_list_player.h"

namespace velmoro::win32 {

namespace {

// A 32-bit bitmap of its own format, which every display copies from
// correctly, rather than one that follows the screen's.
HBITMAP CreateCompositionBitmap(HDC dc, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

drawing::Rect ClientRect(HWND hwnd) {
    RECT rect{};
    GetClientRect(hwnd, &rect);
    return FromRect(rect);
}

}  // namespace

CPercentProgressCtrl::CPercentProgressCtrl() : bar_(SystemColors()) {}

int CPercentProgressCtrl::SetPos(int pos) {
    if (Handle() == nullptr) {
        return -1;
    }
    const drawing::CPercentProgress::PosChange change =
        bar_.SetPos(pos, ClientRect(Handle()).Width());
    if (change.repaint) {
        RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    return change.previous;
}

LRESULT CPercentProgressCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_PRINTCLIENT: {
            // Drawn whole into the caller's device context (a window printed
            // into a picture).
            if (bar_.HasDrawableRange()) {
                drawing::DrawList list;
                bar_.Draw(list, ClientRect(Handle()));
                Play(FromParam<HDC>(wParam), list, nullptr);
            }
            return 0;
        }
        case WM_SIZE: {
            const LRESULT result = Default(message, wParam, lParam);
            bar_.ForgetBarWidth();
            return result;
        }
        case WM_SETTEXT: {
            const LRESULT result = Default(message, wParam, lParam);
            const auto* text = FromParam<const wchar_t*>(lParam);
            if (bar_.SetDisplayText(text != nullptr ? Narrow(text) : std::string())) {
                InvalidateRect(Handle(), nullptr, TRUE);
            }
            return result;
        }
        case WM_GETTEXT: {
            // The display text, never more than the caller's buffer holds.
            const std::wstring text = Widen(bar_.DisplayText());
            auto* buffer = FromParam<wchar_t*>(lParam);
            const std::size_t size = static_cast<std::size_t>(wParam);
            if (buffer == nullptr || size == 0) {
                return 0;
            }
            const std::size_t count = std::min(size, text.size());
            std::copy_n(text.begin(), count, buffer);
            if (count < size) {
                buffer[count] = L'\0';
            }
            return static_cast<LRESULT>(count);
        }
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(Widen(bar_.DisplayText()).size());
        default:
            return Default(message, wParam, lParam);
    }
}

void CPercentProgressCtrl::Paint() {
    PAINTSTRUCT paint{};
    HDC screen = BeginPaint(Handle(), &paint);
    const drawing::Rect client = ClientRect(Handle());
    RECT area{};
    const RECT clientRect = ToRect(client);
    if (bar_.HasDrawableRange() && IntersectRect(&area, &paint.rcPaint, &clientRect)) {
        drawing::DrawList list;
        bar_.Draw(list, client);
        // Composed off-screen and copied in one step, so that the bar and
        // the text never appear on screen half drawn.
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap =
            CreateCompositionBitmap(screen, area.right - area.left, area.bottom - area.top);
        if (memory != nullptr && bitmap != nullptr) {
            HGDIOBJ previous = SelectObject(memory, bitmap);
            SetViewportOrgEx(memory, -area.left, -area.top, nullptr);
            Play(memory, list, nullptr);
            SetViewportOrgEx(memory, 0, 0, nullptr);
            BitBlt(screen, area.left, area.top, area.right - area.left, area.bottom - area.top,
                   memory, 0, 0, SRCCOPY);
            SelectObject(memory, previous);
        }
        if (bitmap != nullptr) {
            DeleteObject(bitmap);
        }
        if (memory != nullptr) {
            DeleteDC(memory);
        }
    }
    EndPaint(Handle(), &paint);
}

}  // namespace velmoro::win32
