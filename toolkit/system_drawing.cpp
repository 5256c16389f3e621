#include "system_drawing.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPalette>

#ifdef Q_OS_WIN
#define NOMINMAX
#include <windows.h>
#endif

namespace velmoro::toolkit {

QColor GetSysColor(int role) {
#ifdef Q_OS_WIN
    const DWORD value = ::GetSysColor(role);
    return QColor(GetRValue(value), GetGValue(value), GetBValue(value));
#else
    const QPalette palette = QApplication::palette();
    switch (role) {
        case COLOR_MENU:
            return palette.color(QPalette::Window);
        case COLOR_WINDOW:
            return palette.color(QPalette::Base);
        case COLOR_MENUTEXT:
        case COLOR_WINDOWTEXT:
            return palette.color(QPalette::WindowText);
        case COLOR_HIGHLIGHT:
            return palette.color(QPalette::Highlight);
        case COLOR_HIGHLIGHTTEXT:
            return palette.color(QPalette::HighlightedText);
        case COLOR_BTNFACE:
            return palette.color(QPalette::Button);
        case COLOR_BTNSHADOW:
            return palette.color(QPalette::Dark);
        case COLOR_GRAYTEXT:
            return palette.color(QPalette::Disabled, QPalette::Text);
        case COLOR_BTNTEXT:
            return palette.color(QPalette::ButtonText);
        case COLOR_BTNHIGHLIGHT:
            return palette.color(QPalette::Light);
        case COLOR_3DDKSHADOW:
            return palette.color(QPalette::Shadow);
        case COLOR_3DLIGHT:
            return palette.color(QPalette::Midlight);
        default:
            return palette.color(QPalette::Window);
    }
#endif
}

int GetSystemMetrics(int metric) {
#ifdef Q_OS_WIN
    return ::GetSystemMetrics(metric);
#else
    switch (metric) {
        case SM_CXEDGE:
        case SM_CYEDGE:
            return 2;
        case SM_CXICON:
        case SM_CYICON:
            return 32;
        case SM_CXSMICON:
        case SM_CYSMICON:
            return 16;
        case SM_CYMENU:
            return QFontMetrics(QApplication::font()).height() + 6;
        default:
            return 0;
    }
#endif
}

QFont SystemFont() {
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont);
}

void Draw3dRect(QPainter& painter, const QRect& rect, const QColor& topLeft,
                const QColor& bottomRight) {
    const int x = rect.x();
    const int y = rect.y();
    const int cx = rect.width();
    const int cy = rect.height();
    painter.fillRect(QRect(x, y, cx - 1, 1), topLeft);
    painter.fillRect(QRect(x, y, 1, cy - 1), topLeft);
    painter.fillRect(QRect(x + cx - 1, y, 1, cy), bottomRight);
    painter.fillRect(QRect(x, y + cy - 1, cx, 1), bottomRight);
}

void DrawFocusRect(QPainter& painter, const QRect& rect) {
    if (rect.width() <= 0 || rect.height() <= 0) {
        return;
    }
    painter.save();
    painter.setCompositionMode(QPainter::RasterOp_NotDestination);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    const int left = rect.x();
    const int top = rect.y();
    const int right = rect.x() + rect.width() - 1;
    const int bottom = rect.y() + rect.height() - 1;
    // The edge once round, clockwise from the top-left corner; every other
    // pixel of it is inverted.
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

QString StripMnemonics(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) {
                out += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

QSize MeasureText(const QFont& font, const QString& text) {
    const QFontMetrics metrics(font);
    return QSize(metrics.horizontalAdvance(text), metrics.height());
}

namespace {

void DrawMnemonicText(QPainter& painter, const QPoint& topLeft, const QFont& font,
                      const QString& text, const QColor& color) {
    const QFontMetrics metrics(font);
    painter.save();
    painter.setFont(font);
    painter.setPen(color);
    int x = topLeft.x();
    const int baseline = topLeft.y() + metrics.ascent();
    bool underlineNext = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
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

}  // namespace

void DrawStateText(QPainter& painter, const QPoint& topLeft, const QFont& font, const QString& text,
                   const QColor& color, bool disabled) {
    if (disabled) {
        DrawMnemonicText(painter, topLeft + QPoint(1, 1), font, text,
                         GetSysColor(COLOR_BTNHIGHLIGHT));
        DrawMnemonicText(painter, topLeft, font, text, GetSysColor(COLOR_BTNSHADOW));
        return;
    }
    DrawMnemonicText(painter, topLeft, font, text, color);
}

namespace {

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

}  // namespace

void DrawStatePixmap(QPainter& painter, const QPoint& topLeft, const QPixmap& pixmap,
                     bool disabled) {
    if (!disabled) {
        painter.drawPixmap(topLeft, pixmap);
        return;
    }
    painter.drawImage(topLeft + QPoint(1, 1), Silhouette(pixmap, GetSysColor(COLOR_BTNHIGHLIGHT)));
    painter.drawImage(topLeft, Silhouette(pixmap, GetSysColor(COLOR_BTNSHADOW)));
}

}  // namespace velmoro::toolkit
