#include "draw_list.h"

#include <algorithm>

#include "palette.h"

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

Colour CSystemColors::Own(Rgb day) const {
    return Colour{night_ ? NightOwn(day) : day, SysColor::kNone};
}

std::array<Point, 8> RoundRectOutline(const RoundRectOp& op) {
    const int left = op.rect.left;
    const int top = op.rect.top;
    const int right = op.rect.right - 1;
    const int bottom = op.rect.bottom - 1;
    const int half = std::min(right - left, bottom - top) / 2;
    const int corner = std::max(0, std::min(half, op.corner.cx / 2));
    return {Point{left + corner, top},     Point{right - corner, top},
            Point{right, top + corner},    Point{right, bottom - corner},
            Point{right - corner, bottom}, Point{left + corner, bottom},
            Point{left, bottom - corner},  Point{left, top + corner}};
}

}  // namespace velmoro::drawing
