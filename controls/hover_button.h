#pragma once

// A flat push button that draws its own face: a thin rounded black outline, a
// vertical gradient, an orange frame while the mouse rests over it, a blue
// frame and the dotted focus rectangle while it has the keyboard focus, and
// its caption centred, one pixel right and down while it is held. Clicks,
// keys and the clicked signal are those of the push button it derives from.

#include <QColor>
#include <QPen>
#include <QPushButton>
#include <QTimer>
#include <array>

class QPainter;

namespace velmoro {

class CHoverButton : public QPushButton {
    Q_OBJECT

public:
    // Item state bits of a draw request, valued as the platform's owner-draw
    // states.
    static constexpr unsigned ODS_SELECTED = 0x0001;
    static constexpr unsigned ODS_DISABLED = 0x0004;
    static constexpr unsigned ODS_FOCUS = 0x0010;
    static constexpr unsigned ODS_DEFAULT = 0x0020;

    // Captions longer than this many bytes are drawn cut.
    static constexpr int kMaxCaptionBytes = 259;

    explicit CHoverButton(QWidget* parent = nullptr);
    explicit CHoverButton(const QString& text, QWidget* parent = nullptr);

    // Draws the whole button into item, which is the button's rectangle on
    // the painter. The caption's colour is the window-text colour; the
    // outline's interior takes the painter's current brush.
    virtual void DrawItem(QPainter& painter, const QRect& item, unsigned state);
    virtual void DrawBackground(QPainter& painter, const QRect& inner);
    virtual void DrawBorder(QPainter& painter, const QRect& inner);

    // The 64 gradient colours, top to bottom, for the hover and active looks.
    static std::array<QColor, 64> GradientTable(bool hover, bool active);

    // The hover flag: the mouse has rested over the button and not left.
    bool Hover() const { return hover_; }
    // A request to be told of hover and leave is in force.
    bool Tracking() const { return tracking_; }
    // The button was focused at the last draw.
    bool Focus() const { return focus_; }
    // The button was focused, pressed or the default button at the last draw.
    bool Active() const { return active_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void TrackMouse();
    void OnMouseHover();
    void OnMouseLeave();

    QPen outlinePen_;
    QPen hoverLeftPen_;
    QPen hoverRightPen_;
    QPen hoverTopPen_;
    QPen hoverBottomPen_;
    QPen focusLeftPen_;
    QPen focusRightPen_;
    QPen focusTopPen_;
    QPen focusBottomPen_;

    bool hover_ = false;
    bool tracking_ = false;
    bool focus_ = false;
    bool active_ = false;

    // Stands in for the platform's hover report, which comes once per
    // tracking request after the mouse has rested for the hover time.
    QTimer hoverTimer_;
};

}  // namespace velmoro
