#include "owner_draw_menu_drawing.h"

#include "palette.h"

#include <algorithm>
#include <cctype>

namespace velmoro::drawing {

namespace {

constexpr unsigned kLine = kTextVCenter | kTextSingleLine;

// Lighter as the look allows: towards white by day, towards the brightest
// night red at night, so that a lightened cell stays a night colour.
Colour Lighter(const CSystemColors& colors, const Colour& colour, double factor) {
    if (!colors.Night()) {
        return LightenColor(colour, factor);
    }
    const Colour lighter = LightenColor(colour, factor);
    const auto within = [](std::uint8_t value, std::uint8_t brightest) {
        return static_cast<std::uint8_t>(value * brightest / 255);
    };
    return Colour{Rgb{within(lighter.rgb.red, kNightBrightest.red),
                      within(lighter.rgb.green, kNightBrightest.green),
                      within(lighter.rgb.blue, kNightBrightest.blue)},
                  SysColor::kNone};
}

int Gap(const MenuLook& look) {
    return look.XpDrawing() && look.xpSpacing ? 7 : 4;
}

// The part before the first tab on the left, the part after the last tab on
// the right, short of the icon column's width.
void DrawItemText(DrawList& list, const MenuLook& look, const Rect& textRect,
                  const std::string& text, const Colour& colour) {
    const std::size_t firstTab = text.find('\t');
    list.push_back(
        TextOp{text.substr(0, firstTab), textRect, Font::kMenu, colour, kLine, std::nullopt});
    if (firstTab != std::string::npos) {
        Rect right = textRect;
        right.right -= look.icon.cx;
        list.push_back(TextOp{text.substr(text.rfind('\t') + 1), right, Font::kMenu, colour,
                              kLine | kTextRight, std::nullopt});
    }
}

void DrawCheckMark(DrawList& list, const Rect& cell, const Colour& colour) {
    const int x = cell.left;
    const int y = cell.top;
    list.push_back(PolylineOp{{{x + 4, y + 7}, {x + 6, y + 10}, {x + 11, y + 4}}, {2, colour}});
}

void DrawItemStandard(DrawList& list, const CSystemColors& colors, const MenuLook& look,
                      const Rect& rect, const MenuItem& item, unsigned state) {
    const Colour background = colors[look.XpLook() ? SysColor::kBtnFace : SysColor::kMenu];
    const Colour shadow = colors[SysColor::kBtnShadow];
    const Colour light = colors[SysColor::kBtnHighlight];
    list.push_back(FillRectOp{rect, background});
    if ((item.flags & kMenuSeparator) != 0) {
        const int middle = rect.top + rect.Height() / 2;
        list.push_back(FillRectOp{{rect.left, middle - 1, rect.right, middle}, shadow});
        list.push_back(FillRectOp{{rect.left, middle, rect.right, middle + 1}, light});
        return;
    }
    const bool selected = (state & kStateSelected) != 0;
    const bool disabled = (state & (kStateGrayed | kStateDisabled)) != 0;
    const bool checked = (state & kStateChecked) != 0;
    const bool highlighted = selected && (!disabled || look.highlightDisabled);
    // Frames round the icon cell came with the Windows 95 generation.
    const bool frames = look.versionCode >= 2;

    if (highlighted) {
        Rect fill = rect;
        if (item.hasImage || checked) {
            fill.left = rect.left + look.icon.cx + 5;
        }
        list.push_back(FillRectOp{fill, colors[SysColor::kHighlight]});
    }

    const int cellTop = rect.top + (rect.Height() - look.icon.cy) / 2;
    const Rect cell{rect.left + 2, cellTop, rect.left + 2 + look.icon.cx, cellTop + look.icon.cy};
    const Rect cellFrame = cell.Deflated(-1, -1);
    const Colour textColor = colors[selected ? SysColor::kHighlightText : SysColor::kMenuText];
    if (item.hasImage) {
        if (checked && !selected && frames) {
            list.push_back(FillRectOp{cellFrame, Lighter(colors, background, 0.6)});
            list.push_back(Rect3dOp{cellFrame, shadow, light});
        }
        list.push_back(IconOp{0, cell, disabled});
        if (selected && frames) {
            list.push_back(checked ? Rect3dOp{cellFrame, shadow, light}
                                   : Rect3dOp{cellFrame, light, shadow});
        }
    } else if (checked) {
        DrawCheckMark(list, cell, textColor);
    }

    // One pixel taller than the item, as the text has always been placed.
    const Rect textRect{rect.left + look.icon.cx + 9, rect.top, rect.right, rect.bottom + 1};
    if (!disabled) {
        DrawItemText(list, look, textRect, item.text, textColor);
    } else if (highlighted) {
        DrawItemText(list, look, textRect, item.text, background);
    } else {
        DrawItemText(list, look, textRect.Offset(1, 1), item.text, light);
        DrawItemText(list, look, textRect, item.text, colors[SysColor::kGrayText]);
    }
}

void DrawItemXp(DrawList& list, const CSystemColors& colors, const MenuLook& look, const Rect& rect,
                const MenuItem& item, unsigned state) {
    const Colour face = colors[SysColor::kBtnFace];
    const Colour highlight = colors[SysColor::kHighlight];
    const int column = look.icon.cx + Gap(look);
    list.push_back(FillRectOp{rect, colors[SysColor::kWindow]});
    list.push_back(FillRectOp{{rect.left, rect.top, rect.left + column, rect.bottom},
                              Lighter(colors, face, 0.25)});
    const Rect textRect{rect.left + column + 8, rect.top, rect.right, rect.bottom};
    if ((item.flags & kMenuSeparator) != 0) {
        const int middle = rect.top + rect.Height() / 2;
        list.push_back(FillRectOp{{textRect.left, middle, textRect.right, middle + 1}, face});
        return;
    }
    const bool selected = (state & kStateSelected) != 0;
    const bool disabled = (state & (kStateGrayed | kStateDisabled)) != 0;
    const bool checked = (state & kStateChecked) != 0;
    if (selected && (!disabled || look.highlightDisabled)) {
        const Rect box = rect.Deflated(1, 0);
        list.push_back(FillRectOp{
            box, disabled ? Lighter(colors, face, 0.85) : Lighter(colors, highlight, 0.7)});
        list.push_back(Rect3dOp{box, highlight, highlight});
    }
    const int cellLeft = rect.left + (column - look.icon.cx) / 2;
    const int cellTop = rect.top + (rect.Height() - look.icon.cy) / 2;
    const Rect cell{cellLeft, cellTop, cellLeft + look.icon.cx, cellTop + look.icon.cy};
    if (checked) {
        const Rect box = cell.Deflated(-2, -2);
        list.push_back(FillRectOp{box, Lighter(colors, highlight, selected ? 0.7 : 0.85)});
        list.push_back(Rect3dOp{box, highlight, highlight});
    }
    const Colour textColor =
        disabled ? Lighter(colors, colors[SysColor::kGrayText], 0.4) : colors[SysColor::kMenuText];
    if (item.hasImage) {
        list.push_back(IconOp{0, cell, disabled});
    } else if (checked) {
        DrawCheckMark(list, cell, textColor);
    }
    DrawItemText(list, look, textRect, item.text, textColor);
}

}  // namespace

int WindowsVersionCode(bool ntFamily, int major, int minor) {
    if (ntFamily) {
        if (major == 4 && minor == 0) {
            return 5;
        }
        if (major == 5 && minor == 0) {
            return 6;
        }
        if (major == 5 && minor == 1) {
            return 7;
        }
        return 1;
    }
    if (major < 4) {
        return 0;
    }
    if (major == 4 && minor == 10) {
        return 3;
    }
    if (major == 4 && minor == 90) {
        return 4;
    }
    return 2;
}

bool IsClassicThemeFile(std::string_view themePath) {
    constexpr std::string_view kClassic = "windows classic.theme";
    if (themePath.size() < kClassic.size()) {
        return false;
    }
    const std::string_view tail = themePath.substr(themePath.size() - kClassic.size());
    return std::equal(tail.begin(), tail.end(), kClassic.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

bool UsesXpRoutine(const MenuLook& look, bool paletteDisplay) {
    return !paletteDisplay && look.XpDrawing();
}

Size MeasureMenuItem(const ITextMetrics& metrics, const MenuLook& look, const MenuItem& item,
                     int menuBarHeight) {
    const int gap = Gap(look);
    if ((item.flags & kMenuSeparator) != 0) {
        return {0, std::max(menuBarHeight / 2, (look.icon.cy + gap) / 2)};
    }
    const int textWidth = metrics.Measure(look.MeasureFont(), item.text).cx;
    const int width =
        textWidth + (look.XpDrawing() ? look.icon.cx + gap + 8 : 2 * look.icon.cx + 1);
    return {width, std::max(menuBarHeight, look.icon.cy + gap)};
}

void DrawMenuItem(DrawList& list, const CSystemColors& colors, const MenuLook& look,
                  bool paletteDisplay, const Rect& rect, const MenuItem& item, unsigned state) {
    if (UsesXpRoutine(look, paletteDisplay)) {
        DrawItemXp(list, colors, look, rect, item, state);
    } else {
        DrawItemStandard(list, colors, look, rect, item, state);
    }
}

Colour LightenColor(const Colour& colour, double factor) {
    if (!(factor > 0.0 && factor <= 1.0)) {
        return colour;
    }
    const auto lighten = [factor](std::uint8_t c) {
        return static_cast<std::uint8_t>(factor * (255 - c) + c);
    };
    return Colour{Rgb{lighten(colour.rgb.red), lighten(colour.rgb.green), lighten(colour.rgb.blue)},
                  SysColor::kNone};
}

}  // namespace velmoro::drawing
