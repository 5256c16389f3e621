#pragma once

// The platform's colours by role, its metrics and its fonts, as the
// self-drawn controls use them. On Windows the values are the system's own;
// elsewhere they come from the application palette, role for role. The
// program's look sets that palette: the desktop's own by day, one made from
// drawing::NightColors() at night.

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <cstdint>

#include "draw_list.h"
#include "palette.h"

class QPalette;

namespace velmoro::toolkit {

QColor GetSysColor(drawing::SysColor role);
// Every role the drawing rules use, as they are now: at night the night
// table itself, marked night, so that the rules turn the controls' own
// colours too.
drawing::CSystemColors SystemColors();

// The look of every window of the program, message boxes and menus
// included. Day gives back the palette the program started with.
void SetLook(drawing::Look look);
drawing::Look CurrentLook();
// The palette whose roles GetSysColor reads as drawing::NightColors() has
// them.
QPalette NightPalette();
// A copy of picture with every pixel, as 0xAARRGGBB, passed through pixel
// (an icon's grey copy, its night copy).
QPixmap PixmapWithPixels(const QPixmap& picture, std::uint32_t (*pixel)(std::uint32_t));
// A picture as the current look shows it: as it is by day, each pixel
// through drawing::NightPicturePixel at night.
QPixmap PictureForLook(const QPixmap& picture);

// Metrics, numbered as on Windows.
enum class SysMetric : int {
    kCyMenu = 15,
    kCxEdge = 45,
    kCyEdge = 46,
    kCxSmIcon = 49,
    kCySmIcon = 50,
};

int GetSystemMetrics(SysMetric metric);

// The font a bare drawing surface starts with: the system font, not a
// dialog's.
QFont SystemFont();

}  // namespace velmoro::toolkit
