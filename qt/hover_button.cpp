#include "hover_button.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

#include "draw_list_player.h"
#include "hover_button_drawing.h"
#include "system_drawing.h"

namespace velmoro {

CHoverButton::CHoverButton(QWidget* parent) : QPushButton(parent) {
    // Every mouse move reaches the button, as on the platform, so that a
    // visit that began without an enter event still asks for tracking.
    setMouseTracking(true);
    hoverTimer_.setSingleShot(true);
    hoverTimer_.setInterval(1);
    connect(&hoverTimer_, &QTimer::timeout, this, &CHoverButton::OnMouseHover);
}

drawing::DrawList CHoverButton::Record(unsigned state) const {
    drawing::HoverButtonLook look;
    look.item = toolkit::FromQRect(rect());
    look.edge = {toolkit::GetSystemMetrics(toolkit::SysMetric::kCxEdge),
                 toolkit::GetSystemMetrics(toolkit::SysMetric::kCyEdge)};
    look.caption = text().left(drawing::kHoverCaptionMaxBytes).toStdString();
    look.hover = hover_;
    look.state = state;
    drawing::DrawList list;
    drawing::DrawHoverButton(list, toolkit::CQtTextMetrics(font()), toolkit::SystemColors(), look);
    return list;
}

void CHoverButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    // The outline's interior takes the surface's brush, which is white on
    // the platform's fresh drawing surfaces; the ring between outline and
    // gradient shows it. At night it is the night window colour.
    painter.setBrush(toolkit::CurrentLook() == drawing::Look::kNight
                         ? toolkit::GetSysColor(drawing::SysColor::kWindow)
                         : QColor(Qt::white));
    toolkit::Play(painter, Record(toolkit::ItemStateOf(*this)), font());
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

// The second press of a double click is no click, as with the platform's
// owner-drawn buttons: a double click on Start does not at once stop the
// transfer it started.
void CHoverButton::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
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
