#include "night_look.h"

#include <commctrl.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dialog.h"
#include "draw_list_player.h"

namespace velmoro::win32 {

using drawing::SysColor;

namespace {

// One brush per role of the night palette, made when night begins.
class CNightBrushes {
public:
    ~CNightBrushes() { Free(); }
    void Make() {
        if (made_) {
            return;
        }
        const drawing::CSystemColors night = drawing::NightColors();
        for (const SysColor role : drawing::CSystemColors::kRoles) {
            const drawing::Rgb rgb = night[role].rgb;
            brushes_[Index(role)] = CreateSolidBrush(RGB(rgb.red, rgb.green, rgb.blue));
        }
        made_ = true;
    }
    void Free() {
        for (HBRUSH& brush : brushes_) {
            if (brush != nullptr) {
                DeleteObject(brush);
                brush = nullptr;
            }
        }
        made_ = false;
    }
    HBRUSH Get(SysColor role) const { return brushes_[Index(role)]; }

private:
    static std::size_t Index(SysColor role) { return static_cast<std::size_t>(role) & 31U; }
    std::array<HBRUSH, 32> brushes_{};
    bool made_ = false;
};

CNightBrushes brushes;

COLORREF Night(SysColor role) {
    const drawing::Rgb rgb = drawing::NightColors()[role].rgb;
    return RGB(rgb.red, rgb.green, rgb.blue);
}

bool IsNight() {
    return CurrentLook() == drawing::Look::kNight;
}

bool ClassIs(HWND hwnd, const wchar_t* name) {
    std::array<wchar_t, 64> found{};
    GetClassNameW(hwnd, found.data(), static_cast<int>(found.size()));
    return lstrcmpiW(found.data(), name) == 0;
}

void Line(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
    const RECT rect{left, top, right, bottom};
    const COLORREF previous = SetBkColor(dc, colour);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    SetBkColor(dc, previous);
}

// The system's sunken edge, two pixels deep, in night colours.
void SunkenEdge(HDC dc, RECT r) {
    const auto frame = [dc](const RECT& box, COLORREF topLeft, COLORREF bottomRight) {
        Line(dc, box.left, box.top, box.right - 1, box.top + 1, topLeft);
        Line(dc, box.left, box.top, box.left + 1, box.bottom - 1, topLeft);
        Line(dc, box.right - 1, box.top, box.right, box.bottom, bottomRight);
        Line(dc, box.left, box.bottom - 1, box.right, box.bottom, bottomRight);
    };
    frame(r, Night(SysColor::kBtnShadow), Night(SysColor::kBtnHighlight));
    InflateRect(&r, -1, -1);
    frame(r, Night(SysColor::k3dDkShadow), Night(SysColor::k3dLight));
}

void PaintClientEdge(HWND hwnd) {
    HDC dc = GetWindowDC(hwnd);
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    OffsetRect(&rect, -rect.left, -rect.top);
    SunkenEdge(dc, rect);
    ReleaseDC(hwnd, dc);
}

// A radio button as the system lays it out: the circle at the left,
// centred on the text's line, the caption after it, the focus around it.
void PaintRadio(HWND hwnd, HDC dc) {
    RECT client{};
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, NightBrush(SysColor::kBtnFace));
    const auto font = FromParam<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    const HGDIOBJ previousFont = font != nullptr ? SelectObject(dc, font) : nullptr;
    const UINT dpi = WindowDpi(hwnd);
    const int size = MulDiv(13, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
    const int top = (client.bottom - size) / 2;
    const bool enabled = IsWindowEnabled(hwnd) != FALSE;
    const auto state = static_cast<UINT>(SendMessageW(hwnd, BM_GETSTATE, 0, 0));
    const COLORREF ink = Night(enabled ? SysColor::kBtnText : SysColor::kGrayText);

    HPEN pen = CreatePen(PS_SOLID, 1, ink);
    HBRUSH inside =
        (state & BST_PUSHED) != 0 ? NightBrush(SysColor::kBtnFace) : NightBrush(SysColor::kWindow);
    const HGDIOBJ previousPen = SelectObject(dc, pen);
    const HGDIOBJ previousBrush = SelectObject(dc, inside);
    Ellipse(dc, 0, top, size, top + size);
    if ((state & BST_CHECKED) != 0) {
        HBRUSH dot = CreateSolidBrush(ink);
        SelectObject(dc, dot);
        const int inset = size / 4 + 1;
        Ellipse(dc, inset, top + inset, size - inset, top + size - inset);
        SelectObject(dc, inside);
        DeleteObject(dot);
    }

    std::array<wchar_t, 128> caption{};
    GetWindowTextW(hwnd, caption.data(), static_cast<int>(caption.size()));
    RECT text{size + MulDiv(4, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI), 0, client.right,
              client.bottom};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ink);
    constexpr UINT kLine = DT_LEFT | DT_VCENTER | DT_SINGLELINE;
    DrawTextW(dc, caption.data(), -1, &text, kLine);
    if (GetFocus() == hwnd) {
        // The system's focus rectangle inverts the pixels, which over black
        // makes them white: a dotted frame in the palette's grey instead.
        RECT measured = text;
        DrawTextW(dc, caption.data(), -1, &measured, kLine | DT_CALCRECT);
        const int height = measured.bottom - measured.top;
        measured.top = (client.bottom - height) / 2;
        measured.bottom = measured.top + height;
        InflateRect(&measured, 1, 1);
        HPEN dotted = CreatePen(PS_DOT, 1, Night(SysColor::kGrayText));
        SelectObject(dc, dotted);
        SelectObject(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, measured.left, measured.top, measured.right, measured.bottom);
        SelectObject(dc, pen);
        DeleteObject(dotted);
    }
    SelectObject(dc, previousBrush);
    SelectObject(dc, previousPen);
    DeleteObject(pen);
    if (previousFont != nullptr) {
        SelectObject(dc, previousFont);
    }
}

// Over what the combo box drew: its sunken edge and its button.
void PaintComboOver(HWND hwnd) {
    COMBOBOXINFO combo{};
    combo.cbSize = sizeof combo;
    if (!GetComboBoxInfo(hwnd, &combo)) {
        return;
    }
    HDC dc = GetDC(hwnd);
    RECT client{};
    GetClientRect(hwnd, &client);
    SunkenEdge(dc, client);
    // The frame the box draws around its edit part in the window colour.
    RECT edit = combo.rcItem;
    InflateRect(&edit, 1, 1);
    FrameRect(dc, &edit, NightBrush(SysColor::kWindow));
    const RECT button = combo.rcButton;
    FillRect(dc, &button, NightBrush(SysColor::kBtnFace));
    const int middleX = (button.left + button.right) / 2;
    const int middleY = (button.top + button.bottom) / 2;
    // A row narrower by a pixel on each side from the top down to its point:
    // as many rows below the top as pixels each side of the middle.
    const int half = std::max(2, static_cast<int>(button.right - button.left) / 5);
    const int top = middleY - half / 2;
    const std::array<POINT, 3> arrow{
        {{middleX - half, top}, {middleX + half, top}, {middleX, top + half}}};
    HBRUSH ink = NightBrush(SysColor::kBtnText);
    HPEN pen = CreatePen(PS_SOLID, 1, Night(SysColor::kBtnText));
    const HGDIOBJ previousPen = SelectObject(dc, pen);
    const HGDIOBJ previousBrush = SelectObject(dc, ink);
    Polygon(dc, arrow.data(), static_cast<int>(arrow.size()));
    SelectObject(dc, previousBrush);
    SelectObject(dc, previousPen);
    DeleteObject(pen);
    ReleaseDC(hwnd, dc);
}

// Over what a list drew: its selected item, which it draws in the system's
// highlight whatever its colour questions are answered with.
void PaintListSelection(HWND hwnd) {
    const LRESULT selected = SendMessageW(hwnd, LB_GETCURSEL, 0, 0);
    RECT item{};
    if (selected == LB_ERR || SendMessageW(hwnd, LB_GETITEMRECT, static_cast<WPARAM>(selected),
                                           reinterpret_cast<LPARAM>(&item)) == LB_ERR) {
        return;
    }
    const LRESULT length = SendMessageW(hwnd, LB_GETTEXTLEN, static_cast<WPARAM>(selected), 0);
    std::array<wchar_t, 256> text{};
    if (length == LB_ERR || length >= static_cast<LRESULT>(text.size())) {
        return;
    }
    SendMessageW(hwnd, LB_GETTEXT, static_cast<WPARAM>(selected),
                 reinterpret_cast<LPARAM>(text.data()));
    HDC dc = GetDC(hwnd);
    const auto font = FromParam<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    const HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
    SetTextColor(dc, Night(SysColor::kHighlightText));
    SetBkColor(dc, Night(SysColor::kHighlight));
    ExtTextOutW(dc, item.left + 1, item.top, ETO_OPAQUE | ETO_CLIPPED, &item, text.data(),
                static_cast<UINT>(length), nullptr);
    if (previous != nullptr) {
        SelectObject(dc, previous);
    }
    ReleaseDC(hwnd, dc);
}

enum Kind : DWORD_PTR { kEdge, kRadio, kCombo, kEdit, kPortBoxEdit, kList };

// The messages after which the system may have drawn a control at once,
// outside its paint.
bool MayHaveDrawn(UINT message) {
    switch (message) {
        case BM_SETCHECK:
        case BM_SETSTATE:
        case BM_CLICK:
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_ENABLE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_MOUSEMOVE:
        case WM_MOUSELEAVE:
        case WM_CAPTURECHANGED:
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_SETTEXT:
        case WM_UPDATEUISTATE:
        case CB_SHOWDROPDOWN:
        case CB_SETCURSEL:
        case LB_SETCURSEL:
            return true;
        default:
            return false;
    }
}

LRESULT CALLBACK PlainControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR id, DWORD_PTR kind) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, PlainControlProc, id);
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }
    if (!IsNight()) {
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCPAINT && (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0) {
        PaintClientEdge(hwnd);
        return 0;
    }
    switch (kind) {
        case kRadio:
            if (message == WM_PAINT) {
                PAINTSTRUCT paint{};
                HDC dc = BeginPaint(hwnd, &paint);
                PaintRadio(hwnd, dc);
                EndPaint(hwnd, &paint);
                return 0;
            }
            if (message == WM_PRINTCLIENT) {
                PaintRadio(hwnd, FromParam<HDC>(wParam));
                return 0;
            }
            if (message == WM_ERASEBKGND) {
                return 1;
            }
            if (MayHaveDrawn(message)) {
                const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
                if (IsWindow(hwnd) && IsWindowVisible(hwnd)) {
                    HDC dc = GetDC(hwnd);
                    PaintRadio(hwnd, dc);
                    ReleaseDC(hwnd, dc);
                }
                return result;
            }
            break;
        case kCombo:
            if (message == WM_PAINT || MayHaveDrawn(message)) {
                const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
                if (IsWindow(hwnd) && IsWindowVisible(hwnd)) {
                    PaintComboOver(hwnd);
                }
                return result;
            }
            break;
        case kList:
            if (message == WM_PAINT || MayHaveDrawn(message)) {
                const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
                if (IsWindow(hwnd) && IsWindowVisible(hwnd)) {
                    PaintListSelection(hwnd);
                }
                return result;
            }
            break;
        case kEdit:
        case kPortBoxEdit:
            if (message == WM_SETFOCUS) {
                // The caret inverts the pixels under it: white over black.
                const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
                HideCaret(hwnd);
                return result;
            }
            if (kind == kPortBoxEdit && message == EM_SETSEL &&
                wParam != static_cast<WPARAM>(lParam)) {
                // The box takes no typing, so its selection serves nothing;
                // its colours would be the system's highlight.
                return DefSubclassProc(hwnd, message, 0, 0);
            }
            break;
        default:
            break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace

void ChangeLook(drawing::Look look) {
    SetCurrentLook(look);
    if (look == drawing::Look::kNight) {
        brushes.Make();
    } else {
        brushes.Free();
    }
}

HBRUSH NightBrush(SysColor role) {
    return brushes.Get(role);
}

bool NightControlColour(UINT message, WPARAM wParam, LPARAM /*lParam*/, INT_PTR& result) {
    if (!IsNight()) {
        return false;
    }
    SysColor text = SysColor::kBtnText;
    SysColor back = SysColor::kBtnFace;
    switch (message) {
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            break;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            text = SysColor::kWindowText;
            back = SysColor::kWindow;
            break;
        default:
            return false;
    }
    auto* dc = FromParam<HDC>(wParam);
    SetTextColor(dc, Night(text));
    SetBkColor(dc, Night(back));
    result = reinterpret_cast<INT_PTR>(NightBrush(back));
    return true;
}

HICON IconWithPixels(HICON icon, std::uint32_t (*pixel)(std::uint32_t)) {
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) {
        return nullptr;
    }
    HICON made = nullptr;
    BITMAP description{};
    HDC dc = GetDC(nullptr);
    if (info.hbmColor != nullptr && GetObjectW(info.hbmColor, sizeof description, &description)) {
        const int width = description.bmWidth;
        const int height = description.bmHeight;
        BITMAPINFO format{};
        format.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) *
                                          static_cast<std::size_t>(height));
        if (GetDIBits(dc, info.hbmColor, 0, static_cast<UINT>(height), pixels.data(), &format,
                      DIB_RGB_COLORS) == height) {
            for (std::uint32_t& value : pixels) {
                value = pixel(value);
            }
            void* bits = nullptr;
            HBITMAP colour = CreateDIBSection(dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
            if (colour != nullptr) {
                std::copy(pixels.begin(), pixels.end(), static_cast<std::uint32_t*>(bits));
                ICONINFO madeInfo{TRUE, info.xHotspot, info.yHotspot, info.hbmMask, colour};
                made = CreateIconIndirect(&madeInfo);
                DeleteObject(colour);
            }
        }
    }
    ReleaseDC(nullptr, dc);
    if (info.hbmColor != nullptr) {
        DeleteObject(info.hbmColor);
    }
    DeleteObject(info.hbmMask);
    return made;
}

HICON NightIcon(HICON icon) {
    return IconWithPixels(icon, drawing::NightPicturePixel);
}

void DrawPlainControlAtNight(HWND control, bool portBoxEdit) {
    if (control == nullptr) {
        return;
    }
    DWORD_PTR kind = kEdge;
    const LONG_PTR type = GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK;
    if (ClassIs(control, WC_BUTTONW) && (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON)) {
        kind = kRadio;
    } else if (ClassIs(control, WC_COMBOBOXW)) {
        kind = kCombo;
    } else if (ClassIs(control, L"ComboLBox") || ClassIs(control, WC_LISTBOXW)) {
        kind = kList;
    } else if (ClassIs(control, WC_EDITW)) {
        kind = portBoxEdit ? kPortBoxEdit : kEdit;
    }
    SetWindowSubclass(control, PlainControlProc, 0, kind);
}

}  // namespace velmoro::win32
