#pragma once

// The two looks of every window: day, the system's own colours, and night,
// dim red on black, for use at the telescope in the dark, where a bright
// window would cost the user's dark adaptation. Written once here; each front
// end fills its plain controls (backgrounds, static texts, edit boxes, the
// log, the port list, the radio buttons) from NightColors() and hands the
// same table to the self-drawn controls' rules, so that nothing in the
// window is white at night.
//
// Plain C++: neither Qt nor Win32 is seen here.

#include <cstdint>
#include <string_view>

#include "draw_list.h"

namespace velmoro::drawing {

enum class Look { kDay, kNight };

// Every system colour role in its night value: black backgrounds, dim red
// texts, darker reds for shadows, highlights and greyed text. The table is
// marked night, so that CSystemColors::Own turns a control's own colours too.
CSystemColors NightColors();

// A control's own colour (a gradient row, a frame pen) at night: its
// lightness turned over and drawn in red, so that a light face becomes a
// dark one and a black outline a red one, with the brightest kept to the
// night limit.
Rgb NightOwn(Rgb day);

// A picture's pixel (an icon, the About box's image) at night,
// 0xAARRGGBB: its grey level as a red of at most the night limit; alpha
// is kept. Pictures keep their shapes, not their colours.
std::uint32_t NightPicturePixel(std::uint32_t argb);

// The brightest a pixel of a night window may be, channel by channel. Every
// colour of NightColors(), every NightOwn and every NightPicturePixel keeps
// within it, and so does any blend of them (anti-aliased text).
inline constexpr Rgb kNightBrightest{200, 40, 40};
bool IsNightSafe(Rgb pixel);

// The look named on a desktop program's command line, "--night" or "--day",
// overriding the one remembered; anything else leaves it as it is (false).
bool LookFromArgument(std::string_view argument, Look& look);

}  // namespace velmoro::drawing
