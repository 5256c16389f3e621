#include "night_message_box.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <vector>

#include "dialog.h"
#include "draw_list_player.h"
#include "hover_button_drawing.h"
#include "night_look.h"

namespace velmoro::win32 {

namespace {

constexpr const wchar_t* kIconProperty = L"VelmoroNightBoxIcon";
// As the system's box numbers its parts: the text is item 0xFFFF, the
// icon item 0x14.
constexpr int kTextId = 0xFFFF;
constexpr int kIconId = 0x14;
// How the text is wrapped, both when it is measured and when it is drawn.
constexpr UINT kTextFormat = DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS;

struct Button {
    int id;
    const wchar_t* text;
};

struct BoxState {
    const std::wstring* text = nullptr;
    const std::wstring* caption = nullptr;
    UINT type = 0;
    std::vector<Button> buttons;
    std::size_t defaultButton = 0;
    HFONT font = nullptr;
    int textWidth = 0;  // the width the text is wrapped at
    HICON icon = nullptr;
    HBRUSH face = nullptr;
};

std::vector<Button> ButtonsOf(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {{IDOK, L"OK"}, {IDCANCEL, L"Cancel"}};
        case MB_YESNO:
            return {{IDYES, L"&Yes"}, {IDNO, L"&No"}};
        case MB_YESNOCANCEL:
            return {{IDYES, L"&Yes"}, {IDNO, L"&No"}, {IDCANCEL, L"Cancel"}};
        default:
            return {{IDOK, L"OK"}};
    }
}

const wchar_t* SystemIconOf(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND:
            return IDI_HAND;
        case MB_ICONQUESTION:
            return IDI_QUESTION;
        case MB_ICONEXCLAMATION:
            return IDI_EXCLAMATION;
        case MB_ICONASTERISK:
            return IDI_ASTERISK;
        default:
            return nullptr;
    }
}

COLORREF Night(drawing::SysColor role) {
    const drawing::Rgb rgb = drawing::NightColors()[role].rgb;
    return RGB(rgb.red, rgb.green, rgb.blue);
}

BoxState* StateOf(HWND box) {
    return FromParam<BoxState*>(GetWindowLongPtrW(box, DWLP_USER));
}

// A push button to the dialog manager, drawn by the box: it tells the
// manager whether it is the default one, so that the default follows the
// focus and Enter presses it, as the system's push buttons do.
LRESULT CALLBACK ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                            DWORD_PTR /*data*/) {
    switch (message) {
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, ButtonProc, id);
            break;
        case WM_GETDLGCODE:
            return DefSubclassProc(hwnd, message, wParam, lParam) |
                   (GetWindowLongPtrW(hwnd, GWLP_USERDATA) != 0 ? DLGC_DEFPUSHBUTTON
                                                                : DLGC_UNDEFPUSHBUTTON);
        case BM_SETSTYLE: {
            const WPARAM type = wParam & BS_TYPEMASK;
            if (type == BS_DEFPUSHBUTTON || type == BS_PUSHBUTTON) {
                SetWindowLongPtrW(hwnd, GWLP_USERDATA, type == BS_DEFPUSHBUTTON ? 1 : 0);
            }
            return DefSubclassProc(hwnd, message, (wParam & ~WPARAM{BS_TYPEMASK}) | BS_OWNERDRAW,
                                   lParam);
        }
        case WM_LBUTTONDBLCLK:
            return DefSubclassProc(hwnd, WM_LBUTTONDOWN, wParam, lParam);
        default:
            break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

void DrawButton(const BoxState& state, const DRAWITEMSTRUCT& request) {
    HDC dc = request.hDC;
    const int saved = SaveDC(dc);
    FillRect(dc, &request.rcItem, state.face);
    SelectObject(dc, state.face);  // the surface brush, which fills the outline's ring
    drawing::HoverButtonLook look;
    look.item = FromRect(request.rcItem);
    const UINT dpi = WindowDpi(request.hwndItem);
    look.edge = {MetricForDpi(SM_CXEDGE, dpi), MetricForDpi(SM_CYEDGE, dpi)};
    look.caption = WindowText(request.hwndItem, drawing::kHoverCaptionMaxBytes);
    look.state = request.itemState & (ODS_FOCUS | ODS_SELECTED);
    if (GetWindowLongPtrW(request.hwndItem, GWLP_USERDATA) != 0) {
        look.state |= drawing::kStateDefault;
    }
    drawing::DrawList list;
    drawing::DrawHoverButton(list, CGdiTextMetrics(dc, state.font), drawing::NightColors(), look);
    Play(dc, list, state.font);
    RestoreDC(dc, saved);
}

// The text, drawn by the box with the lines it was measured with. A glyph
// may reach a few pixels past the width its line measures (the system's
// text renderer and its measure do not always agree); the item reaches to
// the box's edge, so that nothing of it is cut.
void DrawMessageText(const BoxState& state, const DRAWITEMSTRUCT& request) {
    HDC dc = request.hDC;
    const int saved = SaveDC(dc);
    FillRect(dc, &request.rcItem, state.face);
    SelectObject(dc, state.font);
    SetTextColor(dc, Night(drawing::SysColor::kBtnText));
    SetBkMode(dc, TRANSPARENT);
    RECT lines = request.rcItem;
    lines.right = lines.left + state.textWidth;
    DrawTextW(dc, state.text->c_str(), -1, &lines, kTextFormat | DT_NOCLIP);
    RestoreDC(dc, saved);
}

HWND Child(HWND box, const wchar_t* className, const wchar_t* text, DWORD style, int id,
           HFONT font) {
    HWND child = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, box,
                                 FromParam<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

// The parts laid out as the system's box lays them: the icon at the top
// left, the text beside it wrapped at a readable width, the buttons in a row
// centred below; the box over its owner.
void LayOut(HWND box, BoxState& state) {
    const UINT dpi = WindowDpi(box);
    const auto scaled = [dpi](int pixels) {
        return MulDiv(pixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
    };
    const int margin = scaled(11);
    const int iconSize = state.icon != nullptr ? MetricForDpi(SM_CXICON, dpi) : 0;
    const int gap = state.icon != nullptr ? scaled(12) : 0;

    HDC dc = GetDC(box);
    const HGDIOBJ previous = SelectObject(dc, state.font);
    RECT text{0, 0, scaled(420), 0};
    DrawTextW(dc, state.text->c_str(), -1, &text, DT_CALCRECT | kTextFormat);
    state.textWidth = static_cast<int>(text.right);
    int buttonWidth = scaled(75);
    for (const Button& button : state.buttons) {
        RECT caption{};
        DrawTextW(dc, button.text, -1, &caption, DT_CALCRECT | DT_SINGLELINE);
        buttonWidth = std::max(buttonWidth, static_cast<int>(caption.right) + scaled(20));
    }
    SelectObject(dc, previous);
    ReleaseDC(box, dc);

    const int buttonHeight = scaled(23);
    const int buttonGap = scaled(6);
    const auto count = static_cast<int>(state.buttons.size());
    const int row = count * buttonWidth + (count - 1) * buttonGap;
    const int textHeight = static_cast<int>(text.bottom);
    const int top = std::max(iconSize, textHeight);
    const int width = std::max(margin + iconSize + gap + static_cast<int>(text.right) + margin,
                               margin + row + margin);
    const int height = margin + top + margin + buttonHeight + margin;

    SetWindowPos(GetDlgItem(box, kIconId), nullptr, margin, margin, iconSize, iconSize,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    const int textLeft = margin + iconSize + gap;
    SetWindowPos(GetDlgItem(box, kTextId), nullptr, textLeft, margin + (top - textHeight) / 2,
                 width - textLeft, textHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    int x = (width - row) / 2;
    for (const Button& button : state.buttons) {
        SetWindowPos(GetDlgItem(box, button.id), nullptr, x, margin + top + margin, buttonWidth,
                     buttonHeight, SWP_NOZORDER | SWP_NOACTIVATE);
        x += buttonWidth + buttonGap;
    }

    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(box, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(box, GWL_EXSTYLE)));
    const int frameWidth = frame.right - frame.left;
    const int frameHeight = frame.bottom - frame.top;
    RECT over{};
    HWND owner = GetWindow(box, GW_OWNER);
    if (owner == nullptr || !GetWindowRect(owner, &over)) {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &over, 0);
    }
    SetWindowPos(box, nullptr, over.left + (over.right - over.left - frameWidth) / 2,
                 over.top + (over.bottom - over.top - frameHeight) / 2, frameWidth, frameHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void Initialise(HWND box, BoxState& state) {
    SetWindowTextW(box, state.caption->c_str());
    if (state.icon != nullptr) {
        HWND icon = Child(box, WC_STATICW, nullptr, SS_ICON, kIconId, state.font);
        SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(state.icon), 0);
        SetPropW(box, kIconProperty,
                 FromParam<HANDLE>(static_cast<UINT_PTR>(state.type & MB_ICONMASK)));
    }
    Child(box, WC_STATICW, state.text->c_str(), SS_OWNERDRAW | SS_NOPREFIX, kTextId, state.font);
    for (std::size_t i = 0; i < state.buttons.size(); ++i) {
        HWND button = Child(box, WC_BUTTONW, state.buttons[i].text,
                            BS_OWNERDRAW | WS_TABSTOP | (i == 0 ? WS_GROUP : 0),
                            state.buttons[i].id, state.font);
        SetWindowSubclass(button, ButtonProc, 0, 0);
    }
    // Without a Cancel button the system's box cannot be closed but by an
    // answer, unless OK is the only one.
    const bool closes = GetDlgItem(box, IDCANCEL) != nullptr || state.buttons.size() == 1;
    if (!closes) {
        EnableMenuItem(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    }
    LayOut(box, state);
    HWND chosen = GetDlgItem(box, state.buttons[state.defaultButton].id);
    SendMessageW(box, DM_SETDEFID, static_cast<WPARAM>(state.buttons[state.defaultButton].id), 0);
    SendMessageW(box, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(chosen), TRUE);
}

INT_PTR CALLBACK BoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(box, DWLP_USER, lParam);
        Initialise(box, *FromParam<BoxState*>(lParam));
        return FALSE;  // the focus is set
    }
    BoxState* state = StateOf(box);
    if (state == nullptr) {
        return FALSE;
    }
    switch (message) {
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            auto* dc = FromParam<HDC>(wParam);
            SetTextColor(dc, Night(drawing::SysColor::kBtnText));
            SetBkColor(dc, Night(drawing::SysColor::kBtnFace));
            return reinterpret_cast<INT_PTR>(state->face);
        }
        case WM_DRAWITEM: {
            const auto& request = *FromParam<const DRAWITEMSTRUCT*>(lParam);
            if (request.CtlType == ODT_STATIC) {
                DrawMessageText(*state, request);
            } else {
                DrawButton(*state, request);
            }
            return TRUE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const auto found = std::find_if(state->buttons.begin(), state->buttons.end(),
                                            [id](const Button& button) { return button.id == id; });
            if (found != state->buttons.end()) {
                EndDialog(box, id);
            } else if (id == IDCANCEL && state->buttons.size() == 1) {
                // Escape and the close box end a box of OK alone with OK.
                EndDialog(box, IDOK);
            }
            return TRUE;
        }
        case WM_DESTROY:
            RemovePropW(box, kIconProperty);
            return FALSE;
        default:
            return FALSE;
    }
}

// A template of the box alone, without controls: they are made once its
// texts have been measured. The three words after the header, each 0: no
// menu, the standard class, an empty title. The system wants it on a DWORD
// boundary.
struct alignas(DWORD) EmptyTemplate {
    DLGTEMPLATE header{WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0, 0, 0, 0, 0, 0};
    WORD menu = 0;
    WORD windowClass = 0;
    WORD title = 0;
};
static_assert(sizeof(EmptyTemplate) == sizeof(DLGTEMPLATE) + 3 * sizeof(WORD));

}  // namespace

int NightMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
    BoxState state;
    state.text = &text;
    state.caption = &caption;
    state.type = type;
    state.buttons = ButtonsOf(type);
    state.defaultButton = std::min<std::size_t>((type & MB_DEFMASK) >> 8, state.buttons.size() - 1);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    state.font = SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)
                     ? CreateFontIndirectW(&metrics.lfMessageFont)
                     : nullptr;
    if (const wchar_t* icon = SystemIconOf(type)) {
        state.icon = NightIcon(LoadIconW(nullptr, icon));
    }
    state.face = CreateSolidBrush(Night(drawing::SysColor::kBtnFace));
    if ((type & MB_ICONMASK) != 0) {
        MessageBeep(type & MB_ICONMASK);
    }
    const EmptyTemplate dialog;
    const INT_PTR answer = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &dialog.header, owner,
                                                   BoxProc, reinterpret_cast<LPARAM>(&state));
    DeleteObject(state.face);
    if (state.icon != nullptr) {
        DestroyIcon(state.icon);
    }
    if (state.font != nullptr) {
        DeleteObject(state.font);
    }
    return static_cast<int>(answer);
}

UINT NightMessageBoxIcon(HWND box) {
    return static_cast<UINT>(reinterpret_cast<UINT_PTR>(GetPropW(box, kIconProperty)));
}

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
    if (CurrentLook() == drawing::Look::kNight) {
        return NightMessageBox(owner, text, caption, type);
    }
    return MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

}  // namespace velmoro::win32
