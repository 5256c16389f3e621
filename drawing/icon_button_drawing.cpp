#include "icon_button_drawing.h"

#include <algorithm>

namespace velmoro::drawing {

namespace {

bool Pressed(const IconButtonLook& look) {
    const bool selected = (look.state & kStateSelected) != 0;
    if (look.checkBoxMode) {
        return selected || look.checkState == 1;
    }
    return selected || look.menuShown;
}

// The image rectangle for an image of size in item; moves the edges of
// captionRect that the image takes.
Rect PlaceImage(const IconButtonLook& look, bool hasCaption, Rect& captionRect, bool pressed,
                Size size) {
    const Rect& item = look.item;
    const int centredLeft = item.left + (item.Width() - size.cx) / 2;
    const int centredTop = item.top + (item.Height() - size.cy) / 2;
    Point topLeft{item.left, item.top};
    switch (look.alignment) {
        case kImageLeft:
            if (hasCaption) {
                topLeft = {item.left + 3, centredTop};
                captionRect.left += size.cx + 3;
            } else {
                topLeft = {centredLeft, centredTop};
            }
            break;
        case kImageAbove:
            if (hasCaption) {
                // An absolute top, not an offset from the item's.
                topLeft = {centredLeft, 3};
                captionRect.top += size.cy;
            } else {
                topLeft = {centredLeft, centredTop};
            }
            break;
        case kImageRight:
            if (hasCaption) {
                topLeft = {look.clientWidth - size.cx - 3, centredTop};
                captionRect.right = captionRect.right - captionRect.left - size.cx - 3;
                captionRect.left = 3;
            } else {
                topLeft = {centredLeft, item.top};
            }
            break;
        default:
            break;
    }
    if (pressed && !look.checkBoxMode) {
        ++topLeft.x;
        ++topLeft.y;
    }
    return {topLeft.x, topLeft.y, topLeft.x + size.cx, topLeft.y + size.cy};
}

void PaintIcon(DrawList& list, const IconButtonLook& look, bool pressed, bool hasCaption,
               Rect& captionRect) {
    // The active icon stands for hovered or pressed, the idle one for rest.
    int slot = 0;
    if (!pressed && (look.checkBoxMode || !look.hover) && look.icons[1].has_value()) {
        slot = 1;
    }
    const Size size = *look.icons[static_cast<std::size_t>(slot)];
    list.push_back(IconOp{slot, PlaceImage(look, hasCaption, captionRect, pressed, size),
                          (look.state & kStateDisabled) != 0});
}

void PaintCaption(DrawList& list, const ITextMetrics& metrics, const CSystemColors& colors,
                  const IconButtonLook& look, bool pressed, Rect area) {
    if (pressed && !look.checkBoxMode) {
        area = area.Offset(1, 1);
    }
    // The wrapped text keeps the area's width unless a single word is wider,
    // and takes its own height; it is then centred in the area.
    const Size text = metrics.MeasureWrapped(Font::kControl, look.caption, area.Width());
    const Rect bounds = Rect{area.left, area.top, area.left + text.cx, area.top + text.cy}.Offset(
        (area.Width() - text.cx) / 2, (area.Height() - text.cy) / 2);
    constexpr unsigned kFormat = kTextCenter | kTextWordBreak;
    if ((look.state & kStateDisabled) != 0) {
        list.push_back(TextOp{look.caption, bounds.Offset(1, 1), Font::kControl,
                              colors[SysColor::kBtnHighlight], kFormat, std::nullopt});
        list.push_back(TextOp{look.caption, bounds, Font::kControl, colors[SysColor::kBtnShadow],
                              kFormat, std::nullopt});
        return;
    }
    const Colour colour = look.colours[look.hover || pressed ? kHoverText : kNormalText];
    list.push_back(TextOp{look.caption, bounds, Font::kControl, colour, kFormat, std::nullopt});
}

}  // namespace

IconButtonColors DefaultIconButtonColors(const CSystemColors& colors) {
    IconButtonColors colours;
    for (std::size_t i = 0; i < colours.size(); i += 2) {
        colours[i] = colors[SysColor::kBtnFace];
        colours[i + 1] = colors[SysColor::kBtnText];
    }
    return colours;
}

void DrawIconButton(DrawList& list, const ITextMetrics& metrics, const CSystemColors& colors,
                    const IconButtonLook& look) {
    const bool pressed = Pressed(look);
    const bool focused = (look.state & kStateFocus) != 0;

    Rect rc = look.item;
    if (!look.flat && (focused || look.isDefault)) {
        const Colour black = colors.Own(Rgb{0, 0, 0});
        list.push_back(Rect3dOp{rc, black, black});
        rc = rc.Deflated(1, 1);
    }
    if (!look.transparent) {
        IconButtonColor face = kNormalBackground;
        if (look.hover || pressed) {
            face = kHoverBackground;
        } else if (focused) {
            face = kFocusBackground;
        }
        list.push_back(FillRectOp{rc, look.colours[face]});
    }

    const Colour highlight = colors[SysColor::kBtnHighlight];
    const Colour shadow = colors[SysColor::kBtnShadow];
    if (look.flat) {
        // The thin border: sunken while pressed, raised while hovered.
        if (look.drawBorder && pressed) {
            list.push_back(Rect3dOp{rc, shadow, highlight});
        } else if (look.drawBorder && look.hover) {
            list.push_back(Rect3dOp{rc, highlight, shadow});
        }
    } else if (pressed) {
        list.push_back(Rect3dOp{rc, shadow, shadow});
    } else {
        const int l = rc.left;
        const int t = rc.top;
        const int r = rc.right;
        const int b = rc.bottom;
        list.push_back(PolylineOp{{{l, b - 1}, {l, t}, {r, t}}, {1, highlight}});
        list.push_back(PolylineOp{{{l + 1, b - 1}, {l + 1, t + 1}, {r, t + 1}},
                                  {1, colors[SysColor::k3dLight]}});
        list.push_back(PolylineOp{{{l, b - 1}, {r - 1, b - 1}, {r - 1, t - 1}},
                                  {1, colors[SysColor::k3dDkShadow]}});
        list.push_back(PolylineOp{{{l + 1, b - 2}, {r - 2, b - 2}, {r - 2, t}}, {1, shadow}});
    }

    const bool hasCaption = !look.caption.empty();
    Rect captionRect = look.item;
    if (look.icons[0].has_value()) {
        PaintIcon(list, look, pressed, hasCaption, captionRect);
    }
    if (hasCaption) {
        PaintCaption(list, metrics, colors, look, pressed, captionRect);
    }

    if (focused && (!look.flat || look.focusMarkOnFlat)) {
        list.push_back(FocusRectOp{rc.Deflated(3, 3)});
    }
}

}  // namespace velmoro::drawing
