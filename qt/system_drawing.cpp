#include "system_drawing.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QToolTip>
#include <optional>
#include <utility>

namespace velmoro::toolkit {

using drawing::SysColor;

namespace {

drawing::Look currentLook = drawing::Look::kDay;
// The desktop's palettes, kept from the first change of look.
std::optional<QPalette> dayPalette;
std::optional<QPalette> dayToolTipPalette;

QColor ToQColor(drawing::Rgb rgb) {
    return QColor(rgb.red, rgb.green, rgb.blue);
}

// The desktop's own style, with one change at night: the style draws the
// radio buttons' rings and the edit boxes' frames a shade darker than the
// window, which on a black window is no line at all. At night they get a
// ring and a frame in the shadow colour over what the style drew; by day
// everything is the style's.
class CNightFramesStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        if (currentLook != drawing::Look::kNight) {
            return;
        }
        const QColor frame = ToQColor(drawing::NightColors()[SysColor::kBtnShadow].rgb);
        if (element == PE_IndicatorRadioButton) {
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing, true);
            painter->setPen(frame);
            painter->setBrush(Qt::NoBrush);
            painter->drawEllipse(QRectF(option->rect).adjusted(1.5, 1.5, -1.5, -1.5));
            painter->restore();
        } else if (element == PE_FrameLineEdit || element == PE_Frame) {
            painter->save();
            painter->setPen(frame);
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
            painter->restore();
        }
    }
};

}  // namespace

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
    if (currentLook == drawing::Look::kNight) {
        return drawing::NightColors();
    }
    drawing::CSystemColors colors;
    for (const SysColor role : drawing::CSystemColors::kRoles) {
        const QColor colour = GetSysColor(role);
        colors.Set(role, {static_cast<std::uint8_t>(colour.red()),
                          static_cast<std::uint8_t>(colour.green()),
                          static_cast<std::uint8_t>(colour.blue())});
    }
    return colors;
}

// Each role GetSysColor reads set to the night table's colour for it; the
// roles it does not read take the nearest of them, so that no control of
// Qt's own finds a day colour.
QPalette NightPalette() {
    const drawing::CSystemColors night = drawing::NightColors();
    const auto colour = [&night](SysColor role) { return ToQColor(night[role].rgb); };
    QPalette palette;
    const QColor text = colour(SysColor::kWindowText);
    const QColor grey = colour(SysColor::kGrayText);
    const std::pair<QPalette::ColorRole, QColor> roles[] = {
        {QPalette::Window, colour(SysColor::kMenu)},
        {QPalette::Base, colour(SysColor::kWindow)},
        {QPalette::AlternateBase, colour(SysColor::kMenu)},
        {QPalette::WindowText, text},
        {QPalette::Text, text},
        {QPalette::BrightText, text},
        {QPalette::Link, text},
        {QPalette::LinkVisited, text},
        {QPalette::PlaceholderText, grey},
        {QPalette::Highlight, colour(SysColor::kHighlight)},
        {QPalette::HighlightedText, colour(SysColor::kHighlightText)},
        {QPalette::Button, colour(SysColor::kBtnFace)},
        {QPalette::ButtonText, colour(SysColor::kBtnText)},
        {QPalette::Light, colour(SysColor::kBtnHighlight)},
        {QPalette::Midlight, colour(SysColor::k3dLight)},
        {QPalette::Mid, colour(SysColor::kBtnShadow)},
        {QPalette::Dark, colour(SysColor::kBtnShadow)},
        {QPalette::Shadow, colour(SysColor::k3dDkShadow)},
        {QPalette::ToolTipBase, colour(SysColor::kMenu)},
        {QPalette::ToolTipText, colour(SysColor::kMenuText)},
    };
    for (const auto& [role, value] : roles) {
        palette.setColor(role, value);
    }
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, grey);
    }
    return palette;
}

void SetLook(drawing::Look look) {
    if (look == currentLook) {
        return;
    }
    if (!dayPalette) {
        dayPalette = QApplication::palette();
        dayToolTipPalette = QToolTip::palette();
        // A fresh copy of the desktop's style: the application owns the
        // one it has and deletes it when it is replaced.
        if (QStyle* base = QStyleFactory::create(QApplication::style()->name())) {
            QApplication::setStyle(new CNightFramesStyle(base));
        }
    }
    currentLook = look;
    const bool night = look == drawing::Look::kNight;
    QToolTip::setPalette(night ? NightPalette() : *dayToolTipPalette);
    QApplication::setPalette(night ? NightPalette() : *dayPalette);
}

drawing::Look CurrentLook() {
    return currentLook;
}

QPixmap PixmapWithPixels(const QPixmap& picture, std::uint32_t (*pixel)(std::uint32_t)) {
    if (picture.isNull()) {
        return picture;
    }
    QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            line[x] = pixel(line[x]);
        }
    }
    QPixmap made = QPixmap::fromImage(image);
    made.setDevicePixelRatio(picture.devicePixelRatio());
    return made;
}

QPixmap PictureForLook(const QPixmap& picture) {
    if (currentLook != drawing::Look::kNight) {
        return picture;
    }
    return PixmapWithPixels(picture, drawing::NightPicturePixel);
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
