#pragma once

// The flat hover button's face on every platform: a thin rounded black
// outline, a vertical gradient from white to a pale grey-blue, an orange
// frame while the mouse rests over the button or a light blue one with the
// dotted focus rectangle while it has the keyboard focus, and the caption
// centred, one pixel right and down while the button is held.

#include <array>
#include <string>

#include "draw_list.h"

namespace velmoro::drawing {

// Captions longer than this many bytes are drawn cut.
inline constexpr int kHoverCaptionMaxBytes = 259;

struct HoverButtonLook {
    Rect item;            // the whole button
    Size edge{2, 2};      // the platform's 3-D edge size
    std::string caption;  // with its '&' markers
    bool hover = false;   // the mouse has rested over the button and not left
    unsigned state = 0;   // kState bits of the draw request
};

void DrawHoverButton(DrawList& list, const ITextMetrics& metrics, const CSystemColors& colors,
                     const HoverButtonLook& look);

// The 64 gradient colours, top to bottom. Active: focused, pressed or the
// default button.
std::array<Rgb, 64> HoverGradient(bool hover, bool active);

}  // namespace velmoro::drawing
