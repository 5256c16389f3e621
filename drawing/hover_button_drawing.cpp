#include "hover_button_drawing.h"

#include <cstddef>

namespace velmoro::drawing {

namespace {

struct PenSet {
    Pen left;
    Pen right;
    Pen top;
    Pen bottom;
};

constexpr Rgb kOutline{0, 0, 0};
const PenSet kHoverPens{{3, Fixed(250, 196, 88)},
                        {3, Fixed(251, 202, 106)},
                        {2, Fixed(252, 210, 121)},
                        {2, Fixed(229, 151, 0)}};
const PenSet kFocusPens{{3, Fixed(153, 198, 252)},
                        {3, Fixed(162, 189, 252)},
                        {2, Fixed(162, 201, 255)},
                        {2, Fixed(162, 201, 255)}};

// One row more than the rectangle holds: the row at its bottom ends the
// gradient in its last colour.
void DrawBackground(DrawList& list, const CSystemColors& colors, const Rect& inner, bool hover,
                    bool active) {
    const int height = inner.Height();
    if (height <= 0 || inner.Width() <= 0) {
        return;
    }
    const std::array<Rgb, 64> rows = HoverGradient(hover, active);
    for (int y = inner.top; y <= inner.bottom; ++y) {
        const auto index = static_cast<std::size_t>(63 * (y - inner.top) / height);
        list.push_back(FillRectOp{{inner.left, y, inner.right, y + 1}, colors.Own(rows[index])});
    }
}

Pen Turned(const Pen& pen, const CSystemColors& colors) {
    return Pen{pen.width, colors.Own(pen.colour.rgb)};
}

void DrawBorder(DrawList& list, const CSystemColors& colors, const Rect& inner, bool focusLook) {
    const PenSet& day = focusLook ? kFocusPens : kHoverPens;
    const PenSet pens{Turned(day.left, colors), Turned(day.right, colors), Turned(day.top, colors),
                      Turned(day.bottom, colors)};
    const int left = inner.left;
    const int right = inner.right;
    const int top = inner.top;
    const int bottom = inner.bottom;
    list.push_back(PolylineOp{{{left, bottom - 1}, {left, top + 1}}, pens.left});
    list.push_back(PolylineOp{{{right - 1, bottom - 1}, {right - 1, top}}, pens.right});
    list.push_back(PolylineOp{{{left - 1, top}, {right - 1, top}}, pens.top});
    list.push_back(PolylineOp{{{left, bottom}, {right - 1, bottom}}, pens.bottom});
    if (focusLook) {
        list.push_back(FocusRectOp{inner});
    }
}

}  // namespace

std::array<Rgb, 64> HoverGradient(bool hover, bool active) {
    const int redGreenStep = hover ? 4 : 3;
    const int blueStep = hover ? (active ? 3 : 5) : (active ? 4 : 5);
    std::array<Rgb, 64> table;
    for (int i = 0; i < 64; ++i) {
        const auto redGreen = static_cast<std::uint8_t>(255 - i / redGreenStep);
        table[static_cast<std::size_t>(i)] =
            Rgb{redGreen, redGreen, static_cast<std::uint8_t>(255 - i / blueStep)};
    }
    return table;
}

void DrawHoverButton(DrawList& list, const ITextMetrics& metrics, const CSystemColors& colors,
                     const HoverButtonLook& look) {
    list.push_back(RoundRectOp{look.item, {5, 5}, Pen{1, colors.Own(kOutline)}});

    const bool focus = (look.state & kStateFocus) != 0;
    const bool active = (look.state & (kStateFocus | kStateSelected | kStateDefault)) != 0;
    const bool pressed = (look.state & kStateSelected) != 0;
    const Rect inner = look.item.Deflated(look.edge.cx, look.edge.cy);

    DrawBackground(list, colors, inner, look.hover, active);
    if (look.hover || focus) {
        DrawBorder(list, colors, inner, focus && !look.hover);
    }

    // Centred as measured with its '&' markers, so the drawn text sits left
    // of true centre by half the width of the markers it drops.
    const Size size = metrics.Measure(Font::kControl, look.caption);
    int x = (inner.left + inner.right) / 2 - size.cx / 2;
    int y = (inner.top + inner.bottom) / 2 - size.cy / 2;
    if (pressed) {
        ++x;
        ++y;
    }
    // No text colour of its own: the surface's, the window-text colour.
    list.push_back(StateTextOp{look.caption,
                               {x, y, x + size.cx, y + size.cy},
                               Font::kControl,
                               colors[SysColor::kWindowText],
                               (look.state & kStateDisabled) != 0});
}

}  // namespace velmoro::drawing
