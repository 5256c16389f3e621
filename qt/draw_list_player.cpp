#include "draw_list_player.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QPushButton>
#include <algorithm>
#include <type_traits>

#include "system_drawing.h"

namespace velmoro::toolkit {

using namespace drawing;

namespace {

QColor ToQColor(const Colour& colour) {
    return QColor(colour.rgb.red, colour.rgb.green, colour.rgb.blue);
}

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QFont Resolve(Font font, const QFont& controlFont) {
    switch (font) {
        case Font::kSystem:
            return SystemFont();
        case Font::kMenu:
            return QApplication::font("QMenu");
        case Font::kControl:
            break;
    }
    return controlFont;
}

int QtFlags(unsigned format) {
    int flags = Qt::TextShowMnemonic;
    if ((format & kTextCenter) != 0) {
        flags |= Qt::AlignHCenter;
    } else if ((format & kTextRight) != 0) {
        flags |= Qt::AlignRight;
    } else {
        flags |= Qt::AlignLeft;
    }
    flags |= (format & kTextVCenter) != 0 ? Qt::AlignVCenter : Qt::AlignTop;
    if ((format & kTextWordBreak) != 0) {
        flags |= Qt::TextWordWrap;
    }
    if ((format & kTextSingleLine) != 0) {
        flags |= Qt::TextSingleLine;
    }
    return flags;
}

// Wide lines end round, as the platform draws its solid geometric pens.
QPen WidePen(const Pen& pen) {
    return QPen(QBrush(ToQColor(pen.colour)), pen.width, Qt::SolidLine, Qt::RoundCap,
                Qt::RoundJoin);
}

void Rect3d(QPainter& painter, const QRect& rect, const QColor& topLeft,
            const QColor& bottomRight) {
    if (rect.width() <= 0 || rect.height() <= 0) {
        return;
    }
    const int x = rect.x();
    const int y = rect.y();
    const int cx = rect.width();
    const int cy = rect.height();
    painter.fillRect(QRect(x, y, cx - 1, 1), topLeft);
    painter.fillRect(QRect(x, y, 1, cy - 1), topLeft);
    painter.fillRect(QRect(x + cx - 1, y, 1, cy), bottomRight);
    painter.fillRect(QRect(x, y + cy - 1, cx, 1), bottomRight);
}

// One-pixel segments leave out their end points, as the platform's lines
// do. The rules draw level and upright ones; a slanting one is drawn whole.
void ThinPolyline(QPainter& painter, const std::vector<Point>& points, const QColor& color) {
    for (std::size_t i = 1; i < points.size(); ++i) {
        const Point from = points[i - 1];
        const Point to = points[i];
        if (from == to) {
            continue;
        }
        if (from.y == to.y) {
            const int left = std::min(from.x, to.x + 1);
            const int right = std::max(from.x, to.x - 1);
            painter.fillRect(QRect(QPoint(left, from.y), QPoint(right, from.y)), color);
        } else if (from.x == to.x) {
            const int top = std::min(from.y, to.y + 1);
            const int bottom = std::max(from.y, to.y - 1);
            painter.fillRect(QRect(QPoint(from.x, top), QPoint(from.x, bottom)), color);
        } else {
            painter.save();
            painter.setPen(color);
            painter.drawLine(from.x, from.y, to.x, to.y);
            painter.restore();
        }
    }
}

void WidePolyline(QPainter& painter, const PolylineOp& op) {
    painter.save();
    painter.setPen(WidePen(op.pen));
    if (op.points.size() == 2) {
        painter.drawLine(op.points[0].x, op.points[0].y, op.points[1].x, op.points[1].y);
    } else {
        QPolygon polygon;
        for (const Point& point : op.points) {
            polygon << QPoint(point.x, point.y);
        }
        painter.drawPolyline(polygon);
    }
    painter.restore();
}

// Qt's rounded rectangles come out lopsided when drawn without
// antialiasing, so the outline is drawn as the polygon of its corners.
void RoundRect(QPainter& painter, const RoundRectOp& op) {
    if (op.rect.IsEmpty()) {
        return;
    }
    QPolygon outline;
    for (const Point& point : RoundRectOutline(op)) {
        outline << QPoint(point.x, point.y);
    }
    painter.save();
    painter.setPen(WidePen(op.pen));
    painter.drawPolygon(outline);
    painter.restore();
}

void Text(QPainter& painter, const TextOp& op, const QFont& controlFont) {
    painter.save();
    painter.setFont(Resolve(op.font, controlFont));
    painter.setBackgroundMode(Qt::TransparentMode);
    if (op.clip.has_value()) {
        painter.setClipRect(ToQRect(*op.clip), Qt::IntersectClip);
    }
    painter.setPen(ToQColor(op.colour));
    painter.drawText(ToQRect(op.box), QtFlags(op.format), ToQString(op.text));
    painter.restore();
}

// The platform's state drawing places one line glyph by glyph at whole
// pixel advances, as its text output does.
void MnemonicLine(QPainter& painter, const QPoint& topLeft, const QFont& font, const QString& text,
                  const QColor& color) {
    const QFontMetrics metrics(font);
    painter.save();
    painter.setFont(font);
    painter.setPen(color);
    int x = topLeft.x();
    const int baseline = topLeft.y() + metrics.ascent();
    bool underlineNext = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('&') && !underlineNext) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) {
                ++i;
            } else {
                underlineNext = true;
                continue;
            }
        }
        const int advance = metrics.horizontalAdvance(c);
        painter.drawText(QPoint(x, baseline), QString(c));
        if (underlineNext) {
            const int y = baseline + std::max(1, metrics.underlinePos());
            painter.drawLine(x, y, x + advance - 1, y);
            underlineNext = false;
        }
        x += advance;
    }
    painter.restore();
}

// The embossed look of the disabled state: the highlight colour one pixel
// right and down, then the shadow colour in place.
void StateText(QPainter& painter, const StateTextOp& op, const QFont& controlFont) {
    const QFont font = Resolve(op.font, controlFont);
    const QString text = ToQString(op.text);
    const QPoint topLeft(op.box.left, op.box.top);
    if (op.embossed) {
        MnemonicLine(painter, topLeft + QPoint(1, 1), font, text,
                     GetSysColor(SysColor::kBtnHighlight));
        MnemonicLine(painter, topLeft, font, text, GetSysColor(SysColor::kBtnShadow));
        return;
    }
    MnemonicLine(painter, topLeft, font, text, ToQColor(op.colour));
}

// The pixmap's shape (every pixel that is not transparent) in one colour.
QImage Silhouette(const QPixmap& pixmap, const QColor& color) {
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            line[x] = qAlpha(line[x]) >= 128 ? color.rgb() : qRgba(0, 0, 0, 0);
        }
    }
    return image;
}

void Icon(QPainter& painter, const IconOp& op, std::span<const QPixmap> images) {
    if (op.image < 0 || static_cast<std::size_t>(op.image) >= images.size()) {
        return;
    }
    const QPixmap& pixmap = images[static_cast<std::size_t>(op.image)];
    const QPoint topLeft(op.rect.left, op.rect.top);
    if (!op.embossed) {
        painter.drawPixmap(topLeft, PictureForLook(pixmap));
        return;
    }
    painter.drawImage(topLeft + QPoint(1, 1),
                      Silhouette(pixmap, GetSysColor(SysColor::kBtnHighlight)));
    painter.drawImage(topLeft, Silhouette(pixmap, GetSysColor(SysColor::kBtnShadow)));
}

// Every other pixel of the rectangle's edge inverted, so that drawing it
// twice restores the pixels. At night an inverted dark face would shine
// white, so the dots take the button text's colour instead.
void FocusRect(QPainter& painter, const Rect& rect) {
    if (rect.IsEmpty()) {
        return;
    }
    painter.save();
    painter.setPen(Qt::NoPen);
    if (CurrentLook() == drawing::Look::kNight) {
        painter.setBrush(GetSysColor(SysColor::kBtnText));
    } else {
        painter.setCompositionMode(QPainter::RasterOp_NotDestination);
        painter.setBrush(Qt::black);
    }
    const int left = rect.left;
    const int top = rect.top;
    const int right = rect.right - 1;
    const int bottom = rect.bottom - 1;
    // The edge once round, clockwise from the top-left corner.
    int index = 0;
    const auto dot = [&painter, &index](int x, int y) {
        if (index++ % 2 == 0) {
            painter.drawRect(QRect(x, y, 1, 1));
        }
    };
    for (int x = left; x <= right; ++x) {
        dot(x, top);
    }
    for (int y = top + 1; y <= bottom; ++y) {
        dot(right, y);
    }
    for (int x = right - 1; x >= left && bottom > top; --x) {
        dot(x, bottom);
    }
    for (int y = bottom - 1; y > top && right > left; --y) {
        dot(left, y);
    }
    painter.restore();
}

}  // namespace

QRect ToQRect(const Rect& rect) {
    return QRect(rect.left, rect.top, rect.Width(), rect.Height());
}

Rect FromQRect(const QRect& rect) {
    return Rect{rect.x(), rect.y(), rect.x() + rect.width(), rect.y() + rect.height()};
}

unsigned ItemStateOf(const QAbstractButton& button) {
    unsigned state = 0;
    if (button.hasFocus()) {
        state |= kStateFocus;
    }
    if (button.isDown()) {
        state |= kStateSelected;
    }
    if (const auto* push = qobject_cast<const QPushButton*>(&button); push && push->isDefault()) {
        state |= kStateDefault;
    }
    if (!button.isEnabled()) {
        state |= kStateDisabled;
    }
    return state;
}

CQtTextMetrics::CQtTextMetrics(const QFont& controlFont, const QPaintDevice* device)
    : controlFont_(controlFont), device_(device) {}

Size CQtTextMetrics::Measure(Font font, std::string_view text) const {
    const QFontMetrics metrics = Metrics(font);
    return {metrics.horizontalAdvance(ToQString(text)), metrics.height()};
}

Size CQtTextMetrics::MeasureWrapped(Font font, std::string_view text, int width) const {
    const QFontMetrics metrics = Metrics(font);
    const QRect measured = metrics.boundingRect(
        QRect(0, 0, width, 0), QtFlags(kTextCenter | kTextWordBreak), ToQString(text));
    return {std::max(width, measured.width()), measured.height()};
}

QFontMetrics CQtTextMetrics::Metrics(Font font) const {
    const QFont resolved = Resolve(font, controlFont_);
    return device_ != nullptr ? QFontMetrics(resolved, device_) : QFontMetrics(resolved);
}

void Play(QPainter& painter, const DrawList& list, const QFont& controlFont,
          std::span<const QPixmap> images) {
    for (const DrawOp& op : list) {
        std::visit(
            [&](const auto& o) {
                using T = std::decay_t<decltype(o)>;
                if constexpr (std::is_same_v<T, FillRectOp>) {
                    painter.fillRect(ToQRect(o.rect), ToQColor(o.colour));
                } else if constexpr (std::is_same_v<T, Rect3dOp>) {
                    Rect3d(painter, ToQRect(o.rect), ToQColor(o.topLeft), ToQColor(o.bottomRight));
                } else if constexpr (std::is_same_v<T, PolylineOp>) {
                    if (o.pen.width == 1) {
                        ThinPolyline(painter, o.points, ToQColor(o.pen.colour));
                    } else {
                        WidePolyline(painter, o);
                    }
                } else if constexpr (std::is_same_v<T, RoundRectOp>) {
                    RoundRect(painter, o);
                } else if constexpr (std::is_same_v<T, TextOp>) {
                    Text(painter, o, controlFont);
                } else if constexpr (std::is_same_v<T, StateTextOp>) {
                    StateText(painter, o, controlFont);
                } else if constexpr (std::is_same_v<T, IconOp>) {
                    Icon(painter, o, images);
                } else if constexpr (std::is_same_v<T, FocusRectOp>) {
                    FocusRect(painter, o.rect);
                }
            },
            op);
    }
}

}  // namespace velmoro::toolkit
