#include "icon_button.h"

#include <commctrl.h>

#include <cstdint>
#include <vector>

#include "draw_list_player.h"
#include "night_look.h"
#include "platform.h"

namespace velmoro::win32 {

CIconButton::CIconButton() {
    ResetColors(false);
    SetLinkAddress(nullptr);
}

CIconButton::~CIconButton() {
    ReleaseImages(true);
    if (tooltip_ != nullptr) {
        DestroyWindow(tooltip_);
    }
}

void CIconButton::Repaint() {
    if (Handle() != nullptr) {
        InvalidateRect(Handle(), nullptr, TRUE);
    }
}

drawing::CSystemColors CIconButton::CurrentSystemColors() const {
    return SystemColors();
}

void CIconButton::PreSubclassWindow() {
    const LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE);
    const LONG_PTR type = style & 0x1F;
    SetCheckBoxMode((type & 2) != 0);
    isDefault_ = type == BS_DEFPUSHBUTTON;
    SetWindowLongPtrW(Handle(), GWL_STYLE, (style & ~LONG_PTR{0x1F}) | BS_OWNERDRAW);
    SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CIconButton::LoadIcons(int activeId, int idleId) {
    activeId_ = activeId;
    idleId_ = idleId;
    // A button as small as the main window's Help and Home leaves no room
    // beside a standard icon for its caption: the small size is taken.
    const UINT dpi = dpi_ != 0 ? dpi_ : WindowDpi(Handle());
    const int cx = MetricForDpi(SM_CXSMICON, dpi);
    const int cy = MetricForDpi(SM_CYSMICON, dpi);
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
    if (CurrentLook() == drawing::Look::kNight) {
        // Pictures keep their shapes at night, not their colours.
        for (HICON* icon : {&active, &idle}) {
            if (*icon != nullptr) {
                HICON night = NightIcon(*icon);
                DestroyIcon(*icon);
                *icon = night;
            }
        }
    }
    return AssignIcons(active, idle);
}

void CIconButton::SetDpi(UINT dpi) {
    dpi_ = dpi;
    if (activeId_ != 0) {
        LoadIcons(activeId_, idleId_);
    }
}

void CIconButton::FollowLook() {
    ResetColors(false);
    if (activeId_ != 0) {
        LoadIcons(activeId_, idleId_);
    }
    Repaint();
}

int CIconButton::AssignIcons(HICON active, HICON idle) {
    ReleaseImages(true);
    if (active == nullptr) {
        if (idle != nullptr) {
            DestroyIcon(idle);
        }
        Repaint();
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
    Repaint();
    return 0;
}

HICON CIconButton::MakeGreyIcon(HICON icon) const {
    return IconWithPixels(icon, drawing::GreyPixel);
}

void CIconButton::ReleaseImages(bool destroy) {
    for (IconSlot& slot : icons_) {
        if (destroy && slot.handle != nullptr) {
            DestroyIcon(slot.handle);
        }
        slot = IconSlot{};
    }
}

LRESULT CIconButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_MOUSEMOVE: {
            const LRESULT result = Default(message, wParam, lParam);
            EnsureTooltip();
            if ((wParam & MK_LBUTTON) != 0 && !Hover()) {
                return result;
            }
            if (!IsFlatLook()) {
                return result;
            }
            POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            ClientToScreen(Handle(), &point);
            if (WindowFromPoint(point) == Handle()) {
                if (StartHover()) {
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
        case WM_GETDLGCODE:
            // A push button to the dialog manager, which then makes it the
            // default button while it has the focus, so Enter presses it.
            return Default(message, wParam, lParam) |
                   (isDefault_ ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
        case BM_SETSTYLE: {
            // The dialog manager makes a push button the default one with
            // this message; the button stays owner-drawn.
            const WPARAM type = wParam & 0x1F;
            if (type == BS_DEFPUSHBUTTON) {
                isDefault_ = true;
            } else if (type == BS_PUSHBUTTON) {
                isDefault_ = false;
            }
            return Default(message, (wParam & ~WPARAM{0x14}) | BS_OWNERDRAW, lParam);
        }
        case WM_LBUTTONDBLCLK:
            // The second press of a double click is a click of its own; the
            // system's owner-drawn button would only report a double click.
            return Default(WM_LBUTTONDOWN, wParam, lParam);
        case BM_SETCHECK:
            SetChecked(static_cast<int>(wParam), true);
            return 0;
        case BM_GETCHECK:
            return IsChecked();
        case WM_SETCURSOR:
            // The hand says that a click opens the link.
            if (!CheckBoxMode() && HasLinkAddress() && LOWORD(lParam) == HTCLIENT) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        default:
            break;
    }
    return Default(message, wParam, lParam);
}

void CIconButton::DrawItem(const DRAWITEMSTRUCT& request) {
    HDC dc = request.hDC;
    const int saved = SaveDC(dc);
    SetBkMode(dc, TRANSPARENT);
    drawing::IconButtonLook look = Look();
    look.item = FromRect(request.rcItem);
    look.clientWidth = look.item.Width();
    look.caption = WindowText(Handle(), 1023);
    look.state = request.itemState & (ODS_SELECTED | ODS_FOCUS | ODS_DISABLED);
    look.isDefault = isDefault_;
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
    if (Click() == ClickResult::kOpenLink) {
        ShellOpen({Handle(), L"open", Widen(LinkAddress()), SW_SHOW});
    }
}

void CIconButton::EnsureTooltip() {
    if (tooltip_ != nullptr || Handle() == nullptr) {
        return;
    }
    // Made on first use and left inactive: the button is given no tip text.
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(),
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    if (tooltip_ == nullptr) {
        return;
    }
    // The tip window wraps its text at this width.
    constexpr int kMaxTipWidth = 400;
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
    SendMessageW(tooltip_, TTM_ACTIVATE, FALSE, 0);
}

}  // namespace velmoro::win32
