#include "controls_win32.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "gdi_player_win32.h"
#include "hover_button_drawing.h"

namespace velmoro::win32 {

namespace {

std::string WindowText(HWND hwnd, int maxChars) {
    std::vector<wchar_t> text(static_cast<std::size_t>(maxChars) + 1, L'\0');
    const int length = GetWindowTextW(hwnd, text.data(), maxChars + 1);
    return Narrow(std::wstring_view(text.data(), static_cast<std::size_t>(std::max(length, 0))));
}

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

// ---- the percent progress bar ----

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

// ---- the hover button ----

void CHoverButton::PreSubclassWindow() {
    const LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE);
    SetWindowLongPtrW(Handle(), GWL_STYLE, style | BS_OWNERDRAW);
}

LRESULT CHoverButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_MOUSEMOVE:
            if (!tracking_) {
                TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_HOVER | TME_LEAVE, Handle(), 1};
                tracking_ = TrackMouseEvent(&track) != FALSE;
            }
            break;
        case WM_MOUSEHOVER:
            hover_ = true;
            InvalidateRect(Handle(), nullptr, TRUE);
            return 0;
        case WM_MOUSELEAVE:
            hover_ = false;
            tracking_ = false;
            InvalidateRect(Handle(), nullptr, FALSE);
            return 0;
        case WM_ENABLE:
            // A disabled window hears nothing of the mouse, so it neither
            // keeps nor gets the hover look.
            if (wParam == FALSE) {
                EndTracking();
            }
            break;
        default:
            break;
    }
    return Default(message, wParam, lParam);
}

void CHoverButton::EndTracking() {
    if (tracking_) {
        TRACKMOUSEEVENT cancel{sizeof(TRACKMOUSEEVENT), TME_CANCEL | TME_HOVER | TME_LEAVE,
                               Handle(), 0};
        TrackMouseEvent(&cancel);
    }
    hover_ = false;
    tracking_ = false;
    InvalidateRect(Handle(), nullptr, FALSE);
}

void CHoverButton::DrawItem(const DRAWITEMSTRUCT& request) {
    HDC dc = request.hDC;
    const int saved = SaveDC(dc);
    drawing::HoverButtonLook look;
    look.item = FromRect(request.rcItem);
    look.edge = {GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE)};
    look.caption = WindowText(Handle(), drawing::kHoverCaptionMaxBytes);
    look.hover = hover_;
    look.state = request.itemState;
    const auto font = FromParam<HFONT>(SendMessageW(Handle(), WM_GETFONT, 0, 0));
    drawing::DrawList list;
    drawing::DrawHoverButton(list, CGdiTextMetrics(dc, font), SystemColors(), look);
    Play(dc, list, font);
    RestoreDC(dc, saved);
}

// ---- the icon button ----

CIconButton::CIconButton() {
    ResetColors(false);
    SetLinkAddress(nullptr);
}

CIconButton::~CIconButton() {
    ReleaseImages(true);
}

void CIconButton::PreSubclassWindow() {
    const LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE);
    const LONG_PTR type = style & 0x1F;
    checkBoxMode_ = (type & 2) != 0;
    isDefault_ = type == BS_DEFPUSHBUTTON;
    SetWindowLongPtrW(Handle(), GWL_STYLE, (style & ~LONG_PTR{0x1F}) | BS_OWNERDRAW);
    SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CIconButton::LoadIcons(int activeId, int idleId) {
    // A button as small as the main window's Help and Home leaves no room
    // beside a standard icon for its caption: the small size is taken.
    const int cx = GetSystemMetrics(SM_CXSMICON);
    const int cy = GetSystemMetrics(SM_CYSMICON);
    const auto load = [cx, cy](int id) {
        return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr),
                                             MAKEINTRESOURCEW(static_cast<WORD>(id)), IMAGE_ICON,
                                             cx, cy, LR_DEFAULTCOLOR));
    };
    HICON active = load(activeId);
    HICON idle = nullptr;
    if (idleId == kGreyIdleIcon) {
        idle = active != nullptr ? MakeGreyIcon(active) : nullptr;
    } else if (idleId != 0) {
        idle = load(idleId);
    }
    return AssignIcons(active, idle);
}

int CIconButton::SetFlatLook(bool flat, bool repaint) {
    flatLook_ = flat;
    if (repaint) {
        Repaint(true);
    }
    return 0;
}

int CIconButton::AssignIcons(HICON active, HICON idle) {
    ReleaseImages(true);
    if (active == nullptr) {
        if (idle != nullptr) {
            DestroyIcon(idle);
        }
        Repaint(true);
        return 0;
    }
    // An icon's size is twice its hot spot, its centre.
    const auto store = [this](IconSlot& slot, HICON icon) {
        slot.handle = icon;
        ICONINFO info{};
        if (!GetIconInfo(icon, &info)) {
            ReleaseImages(true);
            return false;
        }
        slot.width = static_cast<int>(info.xHotspot * 2);
        slot.height = static_cast<int>(info.yHotspot * 2);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return true;
    };
    if (!store(icons_[0], active)) {
        if (idle != nullptr) {
            DestroyIcon(idle);
        }
        return 1;
    }
    if (idle != nullptr && !store(icons_[1], idle)) {
        return 1;
    }
    Repaint(true);
    return 0;
}

HICON CIconButton::MakeGreyIcon(HICON icon) const {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) {
        return nullptr;
    }
    HICON grey = nullptr;
    HDC dc = GetDC(Handle());
    HDC source = CreateCompatibleDC(dc);
    HDC target = CreateCompatibleDC(dc);
    BITMAP description{};
    if (dc != nullptr && source != nullptr && target != nullptr && info.hbmColor != nullptr &&
        GetObjectW(info.hbmColor, sizeof description, &description) != 0) {
        const int width = static_cast<int>(info.xHotspot * 2);
        const int height = static_cast<int>(info.yHotspot * 2);
        HBITMAP bitmap =
            CreateBitmap(width, height, description.bmPlanes, description.bmBitsPixel, nullptr);
        HGDIOBJ oldSource = SelectObject(source, info.hbmColor);
        HGDIOBJ oldTarget = SelectObject(target, bitmap);
        BitBlt(target, 0, 0, width, height, source, 0, 0, SRCCOPY);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const COLORREF pixel = GetPixel(target, x, y);
                if (pixel == 0) {
                    continue;  // pure black stays black
                }
                const auto value = static_cast<BYTE>(
                    0.587 * GetGValue(pixel) + 0.114 * GetBValue(pixel) + 0.299 * GetRValue(pixel));
                SetPixel(target, x, y, RGB(value, value, value));
            }
        }
        SelectObject(source, oldSource);
        SelectObject(target, oldTarget);
        ICONINFO greyInfo{TRUE, info.xHotspot, info.yHotspot, info.hbmMask, bitmap};
        grey = CreateIconIndirect(&greyInfo);
        DeleteObject(bitmap);
    }
    if (target != nullptr) {
        DeleteDC(target);
    }
    if (source != nullptr) {
        DeleteDC(source);
    }
    if (dc != nullptr) {
        ReleaseDC(Handle(), dc);
    }
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return grey;
}

int CIconButton::SetChecked(int state, bool repaint) {
    if (!checkBoxMode_) {
        return 0;
    }
    checkState_ = state != 0 ? 1 : 0;
    if (repaint) {
        Repaint(true);
    }
    return 0;
}

int CIconButton::ResetColors(bool repaint) {
    colors_ = drawing::DefaultIconButtonColors(SystemColors());
    if (repaint) {
        Repaint(true);
    }
    return 0;
}

int CIconButton::SetLinkAddress(const char* text) {
    linkAddress_.fill('\0');
    if (text != nullptr) {
        const std::string_view address(text);
        std::memcpy(linkAddress_.data(), address.data(),
                    std::min(address.size(), kLinkAddressSize - 1));
    }
    return 0;
}

void CIconButton::ReleaseImages(bool destroy) {
    for (IconSlot& slot : icons_) {
        if (destroy && slot.handle != nullptr) {
            DestroyIcon(slot.handle);
        }
        slot = IconSlot{};
    }
}

void CIconButton::Repaint(bool erase) {
    if (Handle() != nullptr) {
        InvalidateRect(Handle(), nullptr, erase ? TRUE : FALSE);
    }
}

void CIconButton::EndHover() {
    if (!flatLook_ || !hover_) {
        return;
    }
    hover_ = false;
    Repaint(true);
}

LRESULT CIconButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_MOUSEMOVE: {
            const LRESULT result = Default(message, wParam, lParam);
            if ((wParam & MK_LBUTTON) != 0 && !hover_) {
                return result;
            }
            if (!flatLook_) {
                return result;
            }
            POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            ClientToScreen(Handle(), &point);
            if (WindowFromPoint(point) == Handle()) {
                if (!hover_) {
                    hover_ = true;
                    Repaint(true);
                    TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, Handle(), 0};
                    TrackMouseEvent(&track);
                }
            } else {
                EndHover();
            }
            return result;
        }
        case WM_MOUSELEAVE:
        case WM_KILLFOCUS:
        case WM_CANCELMODE:
            EndHover();
            break;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                EndHover();
            }
            break;
        case WM_ENABLE:
            if (wParam == FALSE) {
                // The focus goes on to the next tab stop, as it would from a
                // button the user can no longer press.
                if (GetFocus() == Handle()) {
                    SendMessageW(GetParent(Handle()), WM_NEXTDLGCTL, 0, FALSE);
                }
                EndHover();
            }
            break;
        case BM_SETSTYLE:
            // The dialog manager makes a push button the default one with
            // this message; the button stays owner-drawn.
            isDefault_ = (wParam & 0x1F) == BS_DEFPUSHBUTTON;
            return Default(message, (wParam & ~WPARAM{0x1F}) | BS_OWNERDRAW, lParam);
        case BM_SETCHECK:
            if (checkBoxMode_) {
                SetChecked(static_cast<int>(wParam), true);
            }
            return 0;
        case BM_GETCHECK:
            return checkBoxMode_ ? checkState_ : 0;
        default:
            break;
    }
    return Default(message, wParam, lParam);
}

void CIconButton::DrawItem(const DRAWITEMSTRUCT& request) {
    HDC dc = request.hDC;
    const int saved = SaveDC(dc);
    SetBkMode(dc, TRANSPARENT);
    drawing::IconButtonLook look;
    look.item = FromRect(request.rcItem);
    look.clientWidth = look.item.Width();
    look.caption = WindowText(Handle(), 1023);
    look.state = request.itemState & (ODS_SELECTED | ODS_FOCUS | ODS_DISABLED);
    look.flat = flatLook_;
    look.hover = hover_;
    look.isDefault = isDefault_;
    look.checkBoxMode = checkBoxMode_;
    look.checkState = checkState_;
    look.alignment = alignment_;
    look.drawBorder = drawBorder_;
    look.focusMarkOnFlat = focusMarkOnFlat_;
    look.colours = colors_;
    for (std::size_t slot = 0; slot < icons_.size(); ++slot) {
        if (icons_[slot].handle != nullptr) {
            look.icons[slot] = drawing::Size{icons_[slot].width, icons_[slot].height};
        }
    }
    const auto font = FromParam<HFONT>(SendMessageW(Handle(), WM_GETFONT, 0, 0));
    drawing::DrawList list;
    drawing::DrawIconButton(list, CGdiTextMetrics(dc, font), SystemColors(), look);
    const std::array<HICON, 2> icons{icons_[0].handle, icons_[1].handle};
    Play(dc, list, font, icons);
    RestoreDC(dc, saved);
}

void CIconButton::OnReflectedClick() {
    SetFocus(Handle());
    if (checkBoxMode_) {
        checkState_ = checkState_ == 0 ? 1 : 0;
        Repaint(true);
        return;
    }
    if (linkAddress_[0] != '\0') {
        const std::wstring address = Widen(linkAddress_.data());
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_FLAG_NO_UI;
        info.lpVerb = L"open";
        info.lpFile = address.c_str();
        info.nShow = SW_SHOWMAXIMIZED;
        ShellExecuteExW(&info);
    }
}

}  // namespace velmoro::win32
