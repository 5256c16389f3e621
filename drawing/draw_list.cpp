#include "draw_list.h"

namespace velmoro::drawing {

const std::array<SysColor, 13> CSystemColors::kRoles = {
    SysColor::kMenu,      SysColor::kWindow,        SysColor::kMenuText,     SysColor::kWindowText,
    SysColor::kHighlight, SysColor::kHighlightText, SysColor::kBtnFace,      SysColor::kBtnShadow,
    SysColor::kGrayText,  SysColor::kBtnText,       SysColor::kBtnHighlight, SysColor::k3dDkShadow,
    SysColor::k3dLight,
};

namespace {

std::size_t Index(SysColor role) {
    const int value = static_cast<int>(role);
    return value >= 0 && value < 32 ? static_cast<std::size_t>(value) : 0;
}

}  // namespace

Colour CSystemColors::operator[](SysColor role) const {
    return Colour{table_[Index(role)], role};
}

void CSystemColors::Set(SysColor role, Rgb rgb) {
    if (role != SysColor::kNone) {
        table_[Index(role)] = rgb;
    }
}

}  // namespace velmoro::drawing
