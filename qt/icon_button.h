#pragma once

// A push button that paints its own face (drawing::DrawIconButton): an icon
// beside its caption, a three-dimensional or flat frame, a black outer frame
// when it has the focus or is the default button, a dotted focus rectangle
// when it has the focus, a pressed look that shifts icon and caption by one
// pixel, and an embossed look when disabled. It can also act as a toggle
// (check-box mode), light up under the mouse when flat and open a link
// address with the shell. Its clicked signal reaches the dialog as any push
// button's does, after the button's own click handling.

#include <QIcon>
#include <QPixmap>
#include <QPushButton>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "draw_list.h"
#include "icon_button_drawing.h"
#include "icon_button_state.h"
#include "owner_draw_menu.h"

class QLabel;

namespace velmoro {

class CIconButton : public QPushButton, public drawing::CIconButtonState {
    Q_OBJECT

public:
    explicit CIconButton(QWidget* parent = nullptr);
    ~CIconButton() override;

    // Takes over the button as the dialog made it: a checkable button turns
    // check-box mode on. Whether it is the default button stays with the
    // push button's default property, which the dialog keeps up to date.
    void Attach();

    // Icon resources by id (reduced to 16 bits). idleId 0: no idle icon;
    // kGreyIdleIcon: a grey copy of the active icon. Returns what
    // AssignIcons returns.
    int LoadIcons(int activeId, int idleId);
    // The button keeps copies of the images. Returns 0, or 1 when an icon
    // yields no image (the button then holds no icon).
    int AssignIcons(const QIcon& active, const QIcon& idle = QIcon());
    // A copy in grey (drawing::GreyPixel), the mask kept. Null when the icon
    // yields no image.
    static QIcon MakeGreyIcon(const QIcon& icon);
    void ReleaseImages();

    bool HasIcon(int slot) const;
    QSize IconSize(int slot) const;
    const COwnerDrawMenu& Menu() const { return menu_; }
    bool TooltipCreated() const { return tooltip_ != nullptr; }

    // The drawing for a draw request with these kState bits, into the
    // button's rectangle; its icon ops name the slots.
    drawing::DrawList Record(unsigned state, const QPaintDevice* device = nullptr) const;

protected:
    void Repaint() override { update(); }
    drawing::CSystemColors CurrentSystemColors() const override;
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct IconSlot {
        QPixmap image;
        int width = 0;
        int height = 0;
    };

    void OnClicked();
    void EnsureTooltip();
    void FocusNextTabStop();

    bool alwaysTrack_ = true;
    bool transparent_ = false;
    std::array<IconSlot, 2> icons_;  // 0 active (hovered or pressed), 1 idle
    COwnerDrawMenu menu_;
    std::unique_ptr<QLabel> tooltip_;
};

}  // namespace velmoro
