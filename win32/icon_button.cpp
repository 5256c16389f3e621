#include "icon_button.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "draw_list_player.h"

namespace velmoro::win32 {

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
