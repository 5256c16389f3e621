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
#include "owner_draw_menu.h"

class QLabel;

namespace velmoro {

class CIconButton : public QPushButton {
    Q_OBJECT

public:
    // The idle icon id that asks for a grey copy of the active icon.
    static constexpr int kGreyIdleIcon = -2;
    // The link address field, terminator included.
    static constexpr std::size_t kLinkAddressSize = 260;

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
    int SetFlatLook(bool flat, bool repaint);
    // The button keeps copies of the images. Returns 0, or 1 when an icon
    // yields no image (the button then holds no icon).
    int AssignIcons(const QIcon& active, const QIcon& idle = QIcon());
    // A copy in grey: every pixel that is not pure black becomes the
    // truncated luminance 0.299 R + 0.587 G + 0.114 B; the mask is kept.
    // Null when the icon yields no image.
    static QIcon MakeGreyIcon(const QIcon& icon);
    // Check-box mode only: any non-zero state checks the button.
    int SetChecked(int state, bool repaint);
    int IsChecked() const { return checkState_; }
    // Every background to the button-face colour, every text colour to the
    // button-text colour, as they are now.
    int ResetColors(bool repaint);
    // At most kLinkAddressSize - 1 bytes of text are kept; null clears it.
    int SetLinkAddress(const char* text);
    const char* LinkAddress() const { return linkAddress_.data(); }
    void ReleaseImages();

    bool IsFlatLook() const { return flatLook_; }
    bool Hover() const { return hover_; }
    bool CheckBoxMode() const { return checkBoxMode_; }
    bool HasIcon(int slot) const;
    QSize IconSize(int slot) const;
    const COwnerDrawMenu& Menu() const { return menu_; }
    bool TooltipCreated() const { return tooltip_ != nullptr; }

    // The drawing for a draw request with these kState bits, into the
    // button's rectangle; its icon ops name the slots.
    drawing::DrawList Record(unsigned state, const QPaintDevice* device = nullptr) const;

protected:
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
    void EndHover();
    void EnsureTooltip();
    void FocusNextTabStop();

    bool flatLook_ = true;
    bool hover_ = false;
    bool checkBoxMode_ = false;
    int checkState_ = 0;
    std::uint8_t alignment_ = drawing::kImageLeft;
    bool drawBorder_ = true;
    bool focusMarkOnFlat_ = false;
    bool alwaysTrack_ = true;
    bool transparent_ = false;
    drawing::IconButtonColors colors_{};
    std::array<IconSlot, 2> icons_;  // 0 active (hovered or pressed), 1 idle
    std::array<char, kLinkAddressSize> linkAddress_{};
    COwnerDrawMenu menu_;
    std::unique_ptr<QLabel> tooltip_;
};

}  // namespace velmoro
