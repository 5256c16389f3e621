#include "palette.h"

#include <algorithm>

namespace velmoro::drawing {

namespace {

constexpr std::uint8_t Scaled(int level) {
    // 0..255 onto 0..kNightBrightest.red.
    return static_cast<std::uint8_t>(level * kNightBrightest.red / 255);
}

int Lightness(Rgb rgb) {
    return (299 * rgb.red + 587 * rgb.green + 114 * rgb.blue) / 1000;
}

}  // namespace

CSystemColors NightColors() {
    struct Entry {
        SysColor role;
        Rgb rgb;
    };
    static constexpr Entry kNight[] = {
        {SysColor::kMenu, {16, 0, 0}},         {SysColor::kWindow, {0, 0, 0}},
        {SysColor::kMenuText, {176, 0, 0}},    {SysColor::kWindowText, {176, 0, 0}},
        {SysColor::kHighlight, {96, 0, 0}},    {SysColor::kHighlightText, {0, 0, 0}},
        {SysColor::kBtnFace, {16, 0, 0}},      {SysColor::kBtnShadow, {72, 0, 0}},
        {SysColor::kGrayText, {96, 0, 0}},     {SysColor::kBtnText, {176, 0, 0}},
        {SysColor::kBtnHighlight, {48, 0, 0}}, {SysColor::k3dDkShadow, {8, 0, 0}},
        {SysColor::k3dLight, {32, 0, 0}},
    };
    CSystemColors colors;
    for (const Entry& entry : kNight) {
        colors.Set(entry.role, entry.rgb);
    }
    colors.SetNight(true);
    return colors;
}

Rgb NightOwn(Rgb day) {
    return Rgb{Scaled(255 - Lightness(day)), 0, 0};
}

std::uint32_t NightPicturePixel(std::uint32_t argb) {
    const Rgb rgb{static_cast<std::uint8_t>(argb >> 16), static_cast<std::uint8_t>(argb >> 8),
                  static_cast<std::uint8_t>(argb)};
    return (argb & 0xFF000000U) | (std::uint32_t{Scaled(Lightness(rgb))} << 16);
}

bool IsNightSafe(Rgb pixel) {
    return pixel.red <= kNightBrightest.red && pixel.green <= kNightBrightest.green &&
           pixel.blue <= kNightBrightest.blue;
}

bool LookFromArgument(std::string_view argument, Look& look) {
    if (argument == "--night") {
        look = Look::kNight;
        return true;
    }
    if (argument == "--day") {
        look = Look::kDay;
        return true;
    }
    return false;
}

}  // namespace velmoro::drawing
