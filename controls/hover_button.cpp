#include "hover_button.h"

#include <QEnterEvent>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cstddef>

#include "system_drawing.h"
#include "window_text.h"

namespace velmoro {

namespace {

// Wide lines end round, as the platform draws its solid geometric pens.
QPen SolidPen(int width, int red, int green, int blue) {
    return QPen(QBrush(QColor(red, green, blue)), width, Qt::SolidLine, Qt::RoundCap,
                Qt::RoundJoin);
}

// The outline of a rounded rectangle with a 5 x 5 corner ellipse, on the
// item's outermost pixels. At this size the ellipse's quarter is a single
// diagonal step; Qt's rounded rectangles come out lopsided when drawn
// without antialiasing, so the corners are given as points.
QPolygon RoundedOutline(const QRect& item) {
    const int left = item.x();
    const int top = item.y();
    const int right = item.x() + item.width() - 1;
    const int bottom = item.y() + item.height() - 1;
    // Small items get a smaller step, kept diagonal so the corners match.
    const int corner = std::clamp(std::min(right - left, bottom - top) / 2, 0, 2);
    QPolygon outline;
    outline << QPoint(left + corner, top) << QPoint(right - corner, top)
            << QPoint(right, top + corner) << QPoint(right, bottom - corner)
            << QPoint(right - corner, bottom) << QPoint(left + corner, bottom)
            << QPoint(left, bottom - corner) << QPoint(left, top + corner);
    return outline;
}

}  // namespace

CHoverButton::CHoverButton(QWidget* parent) : CHoverButton(QString(), parent) {}

CHoverButton::CHoverButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent),
      outlinePen_(SolidPen(1, 0, 0, 0)),
      hoverLeftPen_(SolidPen(3, 250, 196, 88)),
      hoverRightPen_(SolidPen(3, 251, 202, 106)),
      hoverTopPen_(SolidPen(2, 252, 210, 121)),
      hoverBottomPen_(SolidPen(2, 229, 151, 0)),
      focusLeftPen_(SolidPen(3, 153, 198, 252)),
      focusRightPen_(SolidPen(3, 162, 189, 252)),
      focusTopPen_(SolidPen(2, 162, 201, 255)),
      focusBottomPen_(SolidPen(2, 162, 201, 255)) {
    // Every mouse move reaches the button, as on the platform, so that a
    // visit that began without an enter event still asks for tracking.
    setMouseTracking(true);
    hoverTimer_.setSingleShot(true);
    hoverTimer_.setInterval(1);
    connect(&hoverTimer_, &QTimer::timeout, this, &CHoverButton::OnMouseHover);
}

std::array<QColor, 64> CHoverButton::GradientTable(bool hover, bool active) {
    const int redGreenStep = hover ? 4 : 3;
    const int blueStep = hover ? (active ? 3 : 5) : (active ? 4 : 5);
    std::array<QColor, 64> table;
    for (int i = 0; i < 64; ++i) {
        const int redGreen = 255 - i / redGreenStep;
        table[static_cast<std::size_t>(i)] = QColor(redGreen, redGreen, 255 - i / blueStep);
    }
    return table;
}

void CHoverButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    // The outline's interior takes the surface's brush, which is white on
    // the platform's fresh drawing surfaces; the ring between outline and
    // gradient shows it.
    painter.setBrush(Qt::white);
    unsigned state = 0;
    if (hasFocus()) {
        state |= ODS_FOCUS;
    }
    if (isDown()) {
        state |= ODS_SELECTED;
    }
    if (isDefault()) {
        state |= ODS_DEFAULT;
    }
    if (!isEnabled()) {
        state |= ODS_DISABLED;
    }
    DrawItem(painter, rect(), state);
}

void CHoverButton::DrawItem(QPainter& painter, const QRect& item, unsigned state) {
    painter.save();

    char buffer[kMaxCaptionBytes + 1];
    const std::size_t length = toolkit::GetWindowText(this, buffer, sizeof buffer);
    const QString caption = QString::fromLatin1(buffer, static_cast<qsizetype>(length));

    if (!item.isEmpty()) {
        painter.setPen(outlinePen_);
        painter.drawPolygon(RoundedOutline(item));
    }

    focus_ = (state & ODS_FOCUS) != 0;
    active_ = (state & (ODS_FOCUS | ODS_SELECTED | ODS_DEFAULT)) != 0;
    const bool pressed = (state & ODS_SELECTED) != 0;

    // Edges are kept exclusive on the right and at the bottom throughout.
    const int left = item.x() + toolkit::GetSystemMetrics(toolkit::SM_CXEDGE);
    const int top = item.y() + toolkit::GetSystemMetrics(toolkit::SM_CYEDGE);
    const int right = item.x() + item.width() - toolkit::GetSystemMetrics(toolkit::SM_CXEDGE);
    const int bottom = item.y() + item.height() - toolkit::GetSystemMetrics(toolkit::SM_CYEDGE);
    const QRect inner(left, top, right - left, bottom - top);

    DrawBackground(painter, inner);
    if (hover_ || focus_) {
        DrawBorder(painter, inner);
    }

    // Centred as measured with its '&' markers, so the drawn text sits left
    // of true centre by half the width of the markers it drops.
    const QFont captionFont = font();
    const QSize size = toolkit::MeasureText(captionFont, caption);
    int x = (left + right) / 2 - size.width() / 2;
    int y = (top + bottom) / 2 - size.height() / 2;
    if (pressed) {
        ++x;
        ++y;
    }
    toolkit::DrawStateText(painter, QPoint(x, y), captionFont, caption,
                           toolkit::GetSysColor(toolkit::COLOR_WINDOWTEXT),
                           (state & ODS_DISABLED) != 0);

    painter.restore();
}

void CHoverButton::DrawBackground(QPainter& painter, const QRect& inner) {
    const std::array<QColor, 64> colors = GradientTable(hover_, active_);
    const int left = inner.x();
    const int right = inner.x() + inner.width();
    const int top = inner.y();
    const int bottom = inner.y() + inner.height();
    const int height = bottom - top;
    if (height <= 0 || right <= left) {
        return;
    }
    // One row more than the rectangle holds: the row at bottom ends the
    // gradient in its last colour.
    for (int y = top; y <= bottom; ++y) {
        const auto index = static_cast<std::size_t>(63 * (y - top) / height);
        painter.fillRect(QRect(left, y, right - left, 1), colors[index]);
    }
}

void CHoverButton::DrawBorder(QPainter& painter, const QRect& inner) {
    const bool focusLook = focus_ && !hover_;
    const int left = inner.x();
    const int right = inner.x() + inner.width();
    const int top = inner.y();
    const int bottom = inner.y() + inner.height();

    const QPen previous = painter.pen();
    painter.setPen(focusLook ? focusLeftPen_ : hoverLeftPen_);
    painter.drawLine(QPoint(left, bottom - 1), QPoint(left, top + 1));
    painter.setPen(focusLook ? focusRightPen_ : hoverRightPen_);
    painter.drawLine(QPoint(right - 1, bottom - 1), QPoint(right - 1, top));
    painter.setPen(focusLook ? focusTopPen_ : hoverTopPen_);
    painter.drawLine(QPoint(left - 1, top), QPoint(right - 1, top));
    painter.setPen(focusLook ? focusBottomPen_ : hoverBottomPen_);
    painter.drawLine(QPoint(left, bottom), QPoint(right - 1, bottom));
    painter.setPen(previous);

    if (focusLook) {
        toolkit::DrawFocusRect(painter, inner);
    }
}

void CHoverButton::enterEvent(QEnterEvent* event) {
    TrackMouse();
    QPushButton::enterEvent(event);
}

void CHoverButton::mouseMoveEvent(QMouseEvent* event) {
    TrackMouse();
    QPushButton::mouseMoveEvent(event);
}

void CHoverButton::leaveEvent(QEvent* event) {
    OnMouseLeave();
    QPushButton::leaveEvent(event);
}

void CHoverButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    // A disabled window hears nothing of the mouse on the platform, so it
    // neither keeps nor gets the hover look.
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        OnMouseLeave();
    }
}

void CHoverButton::TrackMouse() {
    // Qt still tells a disabled widget that the mouse entered it.
    if (tracking_ || !isEnabled()) {
        return;
    }
    tracking_ = true;
    hoverTimer_.start();
}

void CHoverButton::OnMouseHover() {
    hover_ = true;
    update();
}

void CHoverButton::OnMouseLeave() {
    // The leave report ends the tracking request, a hover report still due
    // with it.
    hoverTimer_.stop();
    hover_ = false;
    tracking_ = false;
    update();
}

}  // namespace velmoro
