#pragma once

// The icon button's face on every platform: an icon beside the caption, a
// three-dimensional or flat frame, a black outer frame when the button has
// the focus or is the default button, a dotted focus rectangle when it has
// the focus, a pressed look that shifts icon and caption by one pixel, and
// an embossed look when disabled.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "draw_list.h"

namespace velmoro::drawing {

// Where the image goes relative to the caption.
inline constexpr std::uint8_t kImageLeft = 0;
inline constexpr std::uint8_t kImageAbove = 1;
inline constexpr std::uint8_t kImageRight = 2;

// The six colours: each background followed by its text colour.
enum IconButtonColor {
    kHoverBackground,
    kHoverText,
    kNormalBackground,
    kNormalText,
    kFocusBackground,
    kFocusText,
    kIconButtonColorCount
};
using IconButtonColors = std::array<Colour, kIconButtonColorCount>;

// Every background the button-face colour, every text the button-text colour.
IconButtonColors DefaultIconButtonColors(const CSystemColors& colors);

struct IconButtonLook {
    Rect item;            // the whole button
    int clientWidth = 0;  // the button's client width, which the right alignment uses
    std::string caption;  // with its '&' markers
    unsigned state = 0;   // kStateSelected, kStateFocus, kStateDisabled of the draw request
    bool flat = true;
    bool hover = false;  // the mouse is over a flat button
    bool isDefault = false;
    bool checkBoxMode = false;
    int checkState = 0;
    bool menuShown = false;  // the button's popup menu is open
    std::uint8_t alignment = kImageLeft;
    bool drawBorder = true;  // flat buttons get a thin 3-D border when hovered or pressed
    bool focusMarkOnFlat = false;
    bool transparent = false;  // the face is left to the parent beneath
    IconButtonColors colours{};
    // The size of the icon in slot 0 (active: hovered or pressed) and slot 1
    // (idle); none when the slot is empty. The icon op names the slot.
    std::array<std::optional<Size>, 2> icons;
};

void DrawIconButton(DrawList& list, const ITextMetrics& metrics, const CSystemColors& colors,
                    const IconButtonLook& look);

}  // namespace velmoro::drawing
