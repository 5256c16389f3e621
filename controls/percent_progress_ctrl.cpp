#include "percent_progress_ctrl.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "system_drawing.h"

namespace velmoro {

namespace {

// Differences wrap as in 32-bit arithmetic, so that bounds far apart give
// the same fraction on every compiler instead of undefined behaviour.
int Difference32(int a, int b) {
    return static_cast<int>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// Truncates toward zero. Results beyond int saturate. NaN, which a position
// on the bound of an empty range gives, becomes the lowest int: no real bar
// width equals it, so the first SetPos after a proper range repaints.
int TruncateToInt(double value) {
    if (std::isnan(value)) {
        return std::numeric_limits<int>::min();
    }
    if (value >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    if (value <= static_cast<double>(std::numeric_limits<int>::min())) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(value);
}

void DrawClippedText(QPainter& painter, const QRect& client, const QRect& clip, const QColor& color,
                     const QString& text) {
    painter.save();
    painter.setClipRect(clip, Qt::IntersectClip);
    painter.setPen(color);
    painter.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.restore();
}

}  // namespace

CPercentProgressCtrl::CPercentProgressCtrl(QWidget* parent)
    : QProgressBar(parent),
      barColor_(toolkit::GetSysColor(toolkit::COLOR_HIGHLIGHT)),
      backgroundColor_(toolkit::GetSysColor(toolkit::COLOR_WINDOW)),
      textOverBackgroundColor_(toolkit::GetSysColor(toolkit::COLOR_HIGHLIGHT)),
      textOverBarColor_(toolkit::GetSysColor(toolkit::COLOR_WINDOW)) {
    setTextVisible(false);
    // Every paint writes each pixel of its area itself (or, on an empty
    // range, deliberately keeps the old ones), so an erase would only
    // flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

void CPercentProgressCtrl::SetRange(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
}

int CPercentProgressCtrl::SetPos(int pos) {
    if (!HasWindow()) {
        return -1;
    }
    const int previous = position_;
    position_ = pos;
    // A transfer of thousands of blocks moves the bar by a pixel only now
    // and then; repainting on every block would cost far more than the
    // transfer's own work.
    const int barWidth = TruncateToInt(Fraction() * static_cast<double>(contentsRect().width()));
    if (barWidth != cachedBarWidth_) {
        cachedBarWidth_ = barWidth;
        repaint();
    }
    return previous;
}

QString CPercentProgressCtrl::TextToDraw() const {
    if (!displayText_.empty()) {
        return QString::fromLatin1(displayText_.data(),
                                   static_cast<qsizetype>(displayText_.size()));
    }
    return QString::asprintf("%d%%", TruncateToInt(Fraction() * 100.0));
}

void CPercentProgressCtrl::Draw(QPainter& painter, const QRect& client) const {
    if (!HasDrawableRange()) {
        return;
    }
    // The edge is held inside the client rectangle: a position beyond the
    // range then fills everything with the bar, one below it with the
    // background, and neither rectangle ever turns inside out.
    const std::int64_t left = client.left();
    const std::int64_t right = left + client.width();
    const std::int64_t edge = std::clamp(
        left + TruncateToInt(static_cast<double>(client.width()) * Fraction()), left, right);
    const QRect bar(client.left(), client.top(), static_cast<int>(edge - left), client.height());
    const QRect rest(static_cast<int>(edge), client.top(), static_cast<int>(right - edge),
                     client.height());
    painter.fillRect(bar, barColor_);
    painter.fillRect(rest, backgroundColor_);

    const QString text = TextToDraw();
    painter.save();
    // The bare surface's font, not the dialog's that the widget inherits.
    painter.setFont(toolkit::SystemFont());
    painter.setBackgroundMode(Qt::TransparentMode);
    DrawClippedText(painter, client, bar, textOverBarColor_, text);
    DrawClippedText(painter, client, rest, textOverBackgroundColor_, text);
    painter.restore();
}

bool CPercentProgressCtrl::OnSetText(const char* text) {
    const std::string value = text != nullptr ? text : "";
    setWindowTitle(QString::fromLatin1(value.data(), static_cast<qsizetype>(value.size())));
    if (value != displayText_) {
        displayText_ = value;
        update();
    }
    return true;
}

std::size_t CPercentProgressCtrl::OnGetText(char* buffer, std::size_t size) const {
    if (buffer == nullptr) {
        return 0;
    }
    const std::size_t count = std::min(size, displayText_.size());
    std::memcpy(buffer, displayText_.data(), count);
    // A full buffer gets no terminator: writing one would overrun it.
    if (count < size) {
        buffer[count] = '\0';
    }
    return count;
}

void CPercentProgressCtrl::paintEvent(QPaintEvent* event) {
    // An empty range paints nothing at all: the control keeps whatever it
    // showed before.
    if (!HasDrawableRange()) {
        return;
    }
    // The client area lies inside the border that the dialog may give the
    // control; the border is not the control's to paint.
    const QRect client = contentsRect();
    const QRect area = event->rect() & client;
    if (area.isEmpty()) {
        return;
    }
    // Composed off-screen and copied in one step, so that the bar and the
    // text never appear on screen half drawn.
    const qreal ratio = devicePixelRatioF();
    QImage image(area.size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    {
        QPainter composer(&image);
        composer.translate(-area.topLeft());
        Draw(composer, client);
    }
    QPainter screen(this);
    screen.drawImage(area.topLeft(), image);
}

void CPercentProgressCtrl::resizeEvent(QResizeEvent* event) {
    QProgressBar::resizeEvent(event);
    // The bar's pixel width means nothing at the new size: the next SetPos
    // repaints whatever width it computes.
    cachedBarWidth_ = -1;
}

// A control is on screen once it is attached to its dialog (a child widget)
// or has been created as a window of its own. Before that it has no client
// area to measure a bar against, so SetPos refuses.
bool CPercentProgressCtrl::HasWindow() const {
    return parentWidget() != nullptr || testAttribute(Qt::WA_WState_Created);
}

double CPercentProgressCtrl::Fraction() const {
    return static_cast<double>(Difference32(position_, lower_)) /
           static_cast<double>(Difference32(upper_, lower_));
}

}  // namespace velmoro
