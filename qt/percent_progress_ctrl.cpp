#include "percent_progress_ctrl.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "draw_list_player.h"
#include "system_drawing.h"

namespace velmoro {

namespace {

// What assistive technology reads: a progress bar with the control's own
// range, position and the text it shows.
class CProgressAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit CProgressAccessible(CPercentProgressCtrl* control)
        : QAccessibleWidget(control, QAccessible::ProgressBar), control_(control) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Value) {
            return QString::fromLatin1(control_->Bar().TextToDraw());
        }
        return QAccessibleWidget::text(type);
    }
    QVariant currentValue() const override { return control_->Bar().Pos(); }
    void setCurrentValue(const QVariant& /*value*/) override {}
    QVariant maximumValue() const override { return control_->Bar().Upper(); }
    QVariant minimumValue() const override { return control_->Bar().Lower(); }
    QVariant minimumStepSize() const override { return 1; }

private:
    CPercentProgressCtrl* control_;
};

QAccessibleInterface* AccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(CPercentProgressCtrl::staticMetaObject.className())) {
        return new CProgressAccessible(static_cast<CPercentProgressCtrl*>(object));
    }
    return nullptr;
}

}  // namespace

CPercentProgressCtrl::CPercentProgressCtrl(QWidget* parent)
    : QWidget(parent), bar_(toolkit::SystemColors()) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(AccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;
    // Every paint writes each pixel of its area itself (or, on an empty
    // range, deliberately keeps the old ones), so an erase would only
    // flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

void CPercentProgressCtrl::SetRange(int lower, int upper) {
    bar_.SetRange(lower, upper);
}

int CPercentProgressCtrl::SetPos(int pos) {
    if (!HasWindow()) {
        return -1;
    }
    const drawing::CPercentProgress::PosChange change = bar_.SetPos(pos, contentsRect().width());
    if (change.repaint) {
        repaint();
    }
    if (change.previous != pos) {
        QAccessibleValueChangeEvent event(this, pos);
        QAccessible::updateAccessibility(&event);
    }
    return change.previous;
}

void CPercentProgressCtrl::SetColors(const drawing::CSystemColors& colors) {
    drawing::CPercentProgress bar(colors);
    bar.SetRange(bar_.Lower(), bar_.Upper());
    bar.SetDisplayText(bar_.DisplayText());
    if (HasWindow()) {
        bar.SetPos(bar_.Pos(), contentsRect().width());
    }
    bar_ = std::move(bar);
    update();
}

bool CPercentProgressCtrl::OnSetText(const char* text) {
    const std::string value = text != nullptr ? text : "";
    setWindowTitle(QString::fromLatin1(value.data(), static_cast<qsizetype>(value.size())));
    if (bar_.SetDisplayText(value)) {
        update();
    }
    return true;
}

std::size_t CPercentProgressCtrl::OnGetText(char* buffer, std::size_t size) const {
    if (buffer == nullptr) {
        return 0;
    }
    const std::string& text = bar_.DisplayText();
    const std::size_t count = std::min(size, text.size());
    std::memcpy(buffer, text.data(), count);
    // A full buffer gets no terminator: writing one would overrun it.
    if (count < size) {
        buffer[count] = '\0';
    }
    return count;
}

void CPercentProgressCtrl::paintEvent(QPaintEvent* event) {
    // An empty range paints nothing at all: the control keeps whatever it
    // showed before.
    if (!bar_.HasDrawableRange()) {
        return;
    }
    // The client area lies inside the border that the dialog may give the
    // control; the border is not the control's to paint.
    const QRect client = contentsRect();
    const QRect area = event->rect() & client;
    if (area.isEmpty()) {
        return;
    }
    drawing::DrawList list;
    bar_.Draw(list, toolkit::FromQRect(client));
    // Composed off-screen and copied in one step, so that the bar and the
    // text never appear on screen half drawn.
    const qreal ratio = devicePixelRatioF();
    QImage image(area.size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    {
        QPainter composer(&image);
        composer.translate(-area.topLeft());
        toolkit::Play(composer, list, font());
    }
    QPainter screen(this);
    screen.drawImage(area.topLeft(), image);
}

void CPercentProgressCtrl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    bar_.ForgetBarWidth();
}

// A control is on screen once it is attached to its dialog (a child widget)
// or has been created as a window of its own. Before that it has no client
// area to measure a bar against, so SetPos refuses.
bool CPercentProgressCtrl::HasWindow() const {
    return parentWidget() != nullptr || testAttribute(Qt::WA_WState_Created);
}

}  // namespace velmoro
