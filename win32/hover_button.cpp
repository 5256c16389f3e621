#include "hover_button.h"

#include "draw_list_player.h"
#include "hover_button_drawing.h"
#include "night_look.h"

namespace velmoro::win32 {

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
                // A hover time of 1 ms means at once: the system reports
                // hover only once the pointer rests, so the look begins
                // with the first move of the visit, as on every platform.
                if (tracking_ && !hover_) {
                    hover_ = true;
                    InvalidateRect(Handle(), nullptr, TRUE);
                }
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

void CHoverButton::SetDpi(UINT dpi) {
    dpi_ = dpi;
    InvalidateRect(Handle(), nullptr, TRUE);
}

void CHoverButton::DrawItem(const DRAWITEMSTRUCT& request) {
    HDC dc = request.hDC;
    const int saved = SaveDC(dc);
    if (CurrentLook() == drawing::Look::kNight) {
        // The surface brush, which fills the outline's ring, is otherwise
        // the device context's white.
        SelectObject(dc, NightBrush(drawing::SysColor::kBtnFace));
    }
    drawing::HoverButtonLook look;
    look.item = FromRect(request.rcItem);
    const UINT dpi = dpi_ != 0 ? dpi_ : WindowDpi(Handle());
    look.edge = {MetricForDpi(SM_CXEDGE, dpi), MetricForDpi(SM_CYEDGE, dpi)};
    look.caption = WindowText(Handle(), drawing::kHoverCaptionMaxBytes);
    look.hover = hover_;
    look.state = request.itemState;
    const auto font = FromParam<HFONT>(SendMessageW(Handle(), WM_GETFONT, 0, 0));
    drawing::DrawList list;
    drawing::DrawHoverButton(list, CGdiTextMetrics(dc, font), SystemColors(), look);
    Play(dc, list, font);
    RestoreDC(dc, saved);
}

}  // namespace velmoro::win32
