#pragma once

// The owner-drawn menu's items on every platform: how they are measured and
// drawn, with an icon column beside the item text, in the standard look or
// in the lighter look used on Windows XP with a visual theme; and how the
// look is chosen.

#include <string>
#include <string_view>

#include "draw_list.h"

namespace velmoro::drawing {

// Menu item flags, valued as the platform's.
inline constexpr unsigned kMenuGrayed = 0x0001;
inline constexpr unsigned kMenuChecked = 0x0008;
inline constexpr unsigned kMenuPopup = 0x0010;
inline constexpr unsigned kMenuSeparator = 0x0800;

// The platform generations the look depends on: 7 is Windows XP, 1 the NT
// family past it (and every platform that is not Windows).
int WindowsVersionCode(bool ntFamily, int major, int minor);
// Whether the user's current theme file is the classic one.
bool IsClassicThemeFile(std::string_view themePath);

// The class-wide settings of the menus' look.
struct MenuLook {
    int versionCode = 1;
    bool classicTheme = false;
    int xpLookDrawMode = 1;  // 1 selects the XP drawing routine
    int otherLookDrawMode = 0;
    bool highlightDisabled = true;  // disabled items still show the selection
    bool xpSpacing = true;          // XP drawing measures a gap of 7 round the icon, not 4
    Size icon{16, 15};              // the icon column's images

    bool XpLook() const { return versionCode == 7 && !classicTheme; }
    bool XpDrawing() const { return (XpLook() ? xpLookDrawMode : otherLookDrawMode) == 1; }
    // The generations before Windows 95 measure in the surface's own font.
    Font MeasureFont() const { return versionCode >= 2 ? Font::kMenu : Font::kSystem; }
};

// The light tints of the XP look do not survive a palette display.
bool UsesXpRoutine(const MenuLook& look, bool paletteDisplay);

struct MenuItem {
    std::string text;  // with '&' markers and an optional tab before the shortcut
    unsigned flags = 0;
    bool hasImage = false;  // the icon op names it image 0
};

Size MeasureMenuItem(const ITextMetrics& metrics, const MenuLook& look, const MenuItem& item,
                     int menuBarHeight);
// state holds kState bits.
void DrawMenuItem(DrawList& list, const CSystemColors& colors, const MenuLook& look,
                  bool paletteDisplay, const Rect& rect, const MenuItem& item, unsigned state);

// Each of red, green and blue moved toward white by factor (0 < f <= 1);
// any other factor leaves the colour as it is.
Colour LightenColor(const Colour& colour, double factor);

}  // namespace velmoro::drawing
