#include "draw_list_player.h"

#include <algorithm>
#include <type_traits>
#include <vector>

namespace velmoro::win32 {

using namespace drawing;

namespace {

Look currentLook = Look::kDay;

COLORREF ToColorRef(const Colour& colour) {
    return RGB(colour.rgb.red, colour.rgb.green, colour.rgb.blue);
}

// The system's menu font, made once and kept for the program's life.
HFONT MenuFont() {
    static const HFONT font = [] {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
            return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        }
        return CreateFontIndirectW(&metrics.lfMenuFont);
    }();
    return font;
}

// The font a bare device context starts with is the system font (or the
// control's copy of it for its window's DPI).
HFONT Resolve(Font font, HFONT controlFont, HFONT systemFont = nullptr) {
    switch (font) {
        case Font::kSystem:
            return systemFont != nullptr ? systemFont
                                         : static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
        case Font::kMenu:
            return MenuFont();
        case Font::kControl:
            break;
    }
    return controlFont;
}

// Selects a font for as long as it lives; a null font leaves the context's.
class CSelectFont {
public:
    CSelectFont(HDC dc, HFONT font)
        : dc_(dc), previous_(font != nullptr ? SelectObject(dc, font) : nullptr) {}
    ~CSelectFont() {
        if (previous_ != nullptr) {
            SelectObject(dc_, previous_);
        }
    }
    CSelectFont(const CSelectFont&) = delete;
    CSelectFont& operator=(const CSelectFont&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// As the dialog framework's solid fill: an opaque empty text output, which
// touches neither pen nor brush.
void FillSolidRect(HDC dc, const RECT& rect, COLORREF colour) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) {
        return;
    }
    const COLORREF previous = SetBkColor(dc, colour);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    SetBkColor(dc, previous);
}

void Rect3d(HDC dc, const Rect3dOp& op) {
    const Rect& r = op.rect;
    if (r.IsEmpty()) {
        return;
    }
    const COLORREF topLeft = ToColorRef(op.topLeft);
    const COLORREF bottomRight = ToColorRef(op.bottomRight);
    FillSolidRect(dc, {r.left, r.top, r.right - 1, r.top + 1}, topLeft);
    FillSolidRect(dc, {r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
    FillSolidRect(dc, {r.right - 1, r.top, r.right, r.bottom}, bottomRight);
    FillSolidRect(dc, {r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
}

// A solid pen wider than one pixel is geometric, with round ends and joins.
void Polyline(HDC dc, const PolylineOp& op) {
    if (op.points.size() < 2) {
        return;
    }
    std::vector<POINT> points;
    points.reserve(op.points.size());
    for (const Point& point : op.points) {
        points.push_back({point.x, point.y});
    }
    const HPEN pen = CreatePen(PS_SOLID, op.pen.width, ToColorRef(op.pen.colour));
    const HGDIOBJ previous = SelectObject(dc, pen);
    ::Polyline(dc, points.data(), static_cast<int>(points.size()));
    SelectObject(dc, previous);
    DeleteObject(pen);
}

void RoundRect(HDC dc, const RoundRectOp& op) {
    const HPEN pen = CreatePen(PS_SOLID, op.pen.width, ToColorRef(op.pen.colour));
    const HGDIOBJ previous = SelectObject(dc, pen);
    ::RoundRect(dc, op.rect.left, op.rect.top, op.rect.right, op.rect.bottom, op.corner.cx,
                op.corner.cy);
    SelectObject(dc, previous);
    DeleteObject(pen);
}

void Text(HDC dc, const TextOp& op, HFONT controlFont, HFONT systemFont) {
    const int saved = SaveDC(dc);
    CSelectFont font(dc, Resolve(op.font, controlFont, systemFont));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ToColorRef(op.colour));
    if (op.clip.has_value()) {
        IntersectClipRect(dc, op.clip->left, op.clip->top, op.clip->right, op.clip->bottom);
    }
    const std::wstring text = Widen(op.text);
    RECT box = ToRect(op.box);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, op.format);
    RestoreDC(dc, saved);
}

void StateText(HDC dc, const StateTextOp& op, HFONT controlFont, HFONT systemFont) {
    CSelectFont font(dc, Resolve(op.font, controlFont, systemFont));
    const int mode = SetBkMode(dc, TRANSPARENT);
    const COLORREF colour = SetTextColor(dc, ToColorRef(op.colour));
    const std::wstring text = Widen(op.text);
    const auto draw = [&](int dx, int dy, UINT state) {
        DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(text.c_str()),
                   static_cast<WPARAM>(text.size()), op.box.left + dx, op.box.top + dy,
                   op.box.Width(), op.box.Height(), DST_PREFIXTEXT | state);
    };
    if (op.embossed && currentLook == Look::kNight) {
        // The system embosses in its own highlight and shadow, white and
        // grey: the same relief in the night palette's.
        const CSystemColors night = NightColors();
        SetTextColor(dc, ToColorRef(night[SysColor::kBtnHighlight]));
        draw(1, 1, DSS_NORMAL);
        SetTextColor(dc, ToColorRef(night[SysColor::kGrayText]));
        draw(0, 0, DSS_NORMAL);
    } else {
        draw(0, 0, op.embossed ? DSS_DISABLED : DSS_NORMAL);
    }
    SetTextColor(dc, colour);
    SetBkMode(dc, mode);
}

void Icon(HDC dc, const IconOp& op, std::span<const HICON> icons) {
    if (op.image < 0 || static_cast<std::size_t>(op.image) >= icons.size() ||
        icons[static_cast<std::size_t>(op.image)] == nullptr) {
        return;
    }
    DrawStateW(dc, nullptr, nullptr,
               reinterpret_cast<LPARAM>(icons[static_cast<std::size_t>(op.image)]), 0, op.rect.left,
               op.rect.top, op.rect.Width(), op.rect.Height(),
               DST_ICON | (op.embossed && currentLook == Look::kDay ? DSS_DISABLED : DSS_NORMAL));
}

// The system's focus rectangle inverts the pixels, which over a night
// background makes them white: at night a dotted frame of the palette's
// instead, every other pixel as the system's.
void NightFocusRect(HDC dc, const Rect& r) {
    const COLORREF dot = ToColorRef(NightColors()[SysColor::kGrayText]);
    for (int x = r.left; x < r.right; x += 2) {
        SetPixel(dc, x, r.top, dot);
        SetPixel(dc, x, r.bottom - 1, dot);
    }
    for (int y = r.top; y < r.bottom; y += 2) {
        SetPixel(dc, r.left, y, dot);
        SetPixel(dc, r.right - 1, y, dot);
    }
}

}  // namespace

RECT ToRect(const Rect& rect) {
    return RECT{rect.left, rect.top, rect.right, rect.bottom};
}

Rect FromRect(const RECT& rect) {
    return Rect{rect.left, rect.top, rect.right, rect.bottom};
}

Look CurrentLook() {
    return currentLook;
}

void SetCurrentLook(Look look) {
    currentLook = look;
}

CSystemColors SystemColors() {
    if (currentLook == Look::kNight) {
        return NightColors();
    }
    CSystemColors colors;
    for (const SysColor role : CSystemColors::kRoles) {
        const COLORREF value = GetSysColor(static_cast<int>(role));
        colors.Set(role, {GetRValue(value), GetGValue(value), GetBValue(value)});
    }
    return colors;
}

CGdiTextMetrics::CGdiTextMetrics(HDC dc, HFONT controlFont) : dc_(dc), controlFont_(controlFont) {}

Size CGdiTextMetrics::Measure(Font font, std::string_view text) const {
    CSelectFont selected(dc_, Resolve(font, controlFont_));
    const std::wstring wide = Widen(text);
    SIZE size{};
    GetTextExtentPoint32W(dc_, wide.c_str(), static_cast<int>(wide.size()), &size);
    if (wide.empty()) {
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc_, &metrics);
        size.cy = metrics.tmHeight;
    }
    return {size.cx, size.cy};
}

Size CGdiTextMetrics::MeasureWrapped(Font font, std::string_view text, int width) const {
    CSelectFont selected(dc_, Resolve(font, controlFont_));
    const std::wstring wide = Widen(text);
    RECT box{0, 0, width, 0};
    DrawTextW(dc_, wide.c_str(), static_cast<int>(wide.size()), &box,
              DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
    return {std::max(width, static_cast<int>(box.right)), box.bottom};
}

void Play(HDC dc, const DrawList& list, HFONT controlFont, std::span<const HICON> icons,
          HFONT systemFont) {
    const int saved = SaveDC(dc);
    for (const DrawOp& op : list) {
        std::visit(
            [&](const auto& o) {
                using T = std::decay_t<decltype(o)>;
                if constexpr (std::is_same_v<T, FillRectOp>) {
                    FillSolidRect(dc, ToRect(o.rect), ToColorRef(o.colour));
                } else if constexpr (std::is_same_v<T, Rect3dOp>) {
                    Rect3d(dc, o);
                } else if constexpr (std::is_same_v<T, PolylineOp>) {
                    Polyline(dc, o);
                } else if constexpr (std::is_same_v<T, RoundRectOp>) {
                    RoundRect(dc, o);
                } else if constexpr (std::is_same_v<T, TextOp>) {
                    Text(dc, o, controlFont, systemFont);
                } else if constexpr (std::is_same_v<T, StateTextOp>) {
                    StateText(dc, o, controlFont, systemFont);
                } else if constexpr (std::is_same_v<T, IconOp>) {
                    Icon(dc, o, icons);
                } else if constexpr (std::is_same_v<T, FocusRectOp>) {
                    if (currentLook == Look::kNight) {
                        NightFocusRect(dc, o.rect);
                    } else {
                        const RECT rect = ToRect(o.rect);
                        DrawFocusRect(dc, &rect);
                    }
                }
            },
            op);
    }
    RestoreDC(dc, saved);
}

}  // namespace velmoro::win32
