#pragma once

// A flat push button that draws its own face (drawing::DrawHoverButton): a
// thin rounded black outline, a vertical gradient, an orange frame while the
// mouse rests over it, a blue frame and the dotted focus rectangle while it
// has the keyboard focus, and its caption centred, one pixel right and down
// while it is held. Clicks, keys and the clicked signal are those of the
// push button it derives from.

#include <QPushButton>
#include <QTimer>

#include "draw_list.h"

namespace velmoro {

class CHoverButton : public QPushButton {
    Q_OBJECT

public:
    explicit CHoverButton(QWidget* parent = nullptr);

    // The drawing for a draw request with these kState bits, into the
    // button's rectangle.
    drawing::DrawList Record(unsigned state) const;

    // The hover flag: the mouse has rested over the button and not left.
    bool Hover() const { return hover_; }
    // A request to be told of hover and leave is in force.
    bool Tracking() const { return tracking_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void TrackMouse();
    void OnMouseHover();
    void OnMouseLeave();

    bool hover_ = false;
    bool tracking_ = false;

    // Stands in for the platform's hover report, which comes once per
    // tracking request after the mouse has rested for the hover time.
    QTimer hoverTimer_;
};

}  // namespace velmoro
