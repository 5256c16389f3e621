#include "system_drawing.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPalette>

namespace velmoro::toolkit {

using drawing::SysColor;

QColor GetSysColor(SysColor role) {
    const QPalette palette = QApplication::palette();
    switch (role) {
        case SysColor::kMenu:
            return palette.color(QPalette::Window);
        case SysColor::kWindow:
            return palette.color(QPalette::Base);
        case SysColor::kMenuText:
        case SysColor::kWindowText:
            return palette.color(QPalette::WindowText);
        case SysColor::kHighlight:
            return palette.color(QPalette::Highlight);
        case SysColor::kHighlightText:
            return palette.color(QPalette::HighlightedText);
        case SysColor::kBtnFace:
            return palette.color(QPalette::Button);
        case SysColor::kBtnShadow:
            return palette.color(QPalette::Dark);
        case SysColor::kGrayText:
            return palette.color(QPalette::Disabled, QPalette::Text);
        case SysColor::kBtnText:
            return palette.color(QPalette::ButtonText);
        case SysColor::kBtnHighlight:
            return palette.color(QPalette::Light);
        case SysColor::k3dDkShadow:
            return palette.color(QPalette::Shadow);
        case SysColor::k3dLight:
            return palette.color(QPalette::Midlight);
        default:
            return palette.color(QPalette::Window);
    }
}

drawing::CSystemColors SystemColors() {
    drawing::CSystemColors colors;
    for (const SysColor role : drawing::CSystemColors::kRoles) {
        const QColor colour = GetSysColor(role);
        colors.Set(role, {static_cast<std::uint8_t>(colour.red()),
                          static_cast<std::uint8_t>(colour.green()),
                          static_cast<std::uint8_t>(colour.blue())});
    }
    return colors;
}

int GetSystemMetrics(SysMetric metric) {
    switch (metric) {
        case SysMetric::kCxEdge:
        case SysMetric::kCyEdge:
            return 2;
        case SysMetric::kCxSmIcon:
        case SysMetric::kCySmIcon:
            return 16;
        case SysMetric::kCyMenu:
            return QFontMetrics(QApplication::font()).height() + 6;
    }
    return 0;
}

// A bare drawing surface on Windows starts with the stock System font, a
// bold sans-serif face; here the desktop's general font, made bold, so the
// percentage looks the same on both.
QFont SystemFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setBold(true);
    return font;
}

}  // namespace velmoro::toolkit
