#pragma once

// A push button that paints its own face: an icon beside its caption, a
// three-dimensional or flat frame, a black outer frame when it has the focus
// or is the default button, a dotted focus rectangle when it has the focus, a
// pressed look that shifts icon and caption by one pixel, and an embossed
// look when disabled. It can also act as a toggle (check-box mode), light up
// under the mouse when flat, pop up a menu under itself, open a link address
// with the shell and show a tip window. Its clicked signal reaches the dialog
// as any push button's does, after the button's own click handling.

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QPushButton>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "owner_draw_menu.h"

class QLabel;
class QMenu;
class QPainter;

namespace velmoro {

class CIconButton : public QPushButton {
    Q_OBJECT

public:
    // Item state bits of a draw request, valued as the platform's owner-draw
    // states.
    static constexpr unsigned ODS_SELECTED = 0x0001;
    static constexpr unsigned ODS_DISABLED = 0x0004;
    static constexpr unsigned ODS_FOCUS = 0x0010;

    // The idle icon id that asks for a grey copy of the active icon.
    static constexpr int kGreyIdleIcon = -2;
    // The link address field, terminator included.
    static constexpr std::size_t kLinkAddressSize = 260;

    // Where the image goes relative to the caption.
    static constexpr std::uint8_t kImageLeft = 0;
    static constexpr std::uint8_t kImageAbove = 1;
    static constexpr std::uint8_t kImageRight = 2;

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

    void SetAlignment(std::uint8_t alignment);
    // A transparent button leaves its face to the parent beneath it.
    void SetTransparent(bool transparent);
    // The tip window, made on first use, stays inactive until it is given a
    // text here; an empty text shows nothing.
    void SetTooltipText(const QString& text);
    // The popup is item 0's submenu; a chosen command arrives as MenuCommand.
    bool SetMenu(std::unique_ptr<QMenu> menu);

    bool IsFlatLook() const { return flatLook_; }
    bool Hover() const { return hover_; }
    bool CheckBoxMode() const { return checkBoxMode_; }
    bool HasIcon(int slot) const;
    QSize IconSize(int slot) const;
    const COwnerDrawMenu& Menu() const { return menu_; }
    bool TooltipCreated() const { return tooltip_ != nullptr; }

    // Draws the whole button into item, which is the button's rectangle on
    // the painter; state holds ODS_ bits.
    virtual void DrawItem(QPainter& painter, const QRect& item, unsigned state);
    // The image rectangle for an image of w by h in item; moves the edges of
    // captionRect that the image takes.
    QRect PlaceImage(bool hasCaption, const QRect& item, QRect& captionRect, bool pressed, int w,
                     int h) const;

signals:
    // A command chosen in the popup menu, delivered after the click.
    void MenuCommand(int id);

protected:
    virtual int PaintBackground(QPainter& painter, const QRect& rect);
    virtual int PaintBorder(QPainter& painter, const QRect& rect);

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

    // The six colours: each background followed by its text colour.
    enum ColorIndex {
        kHoverBackground,
        kHoverText,
        kNormalBackground,
        kNormalText,
        kFocusBackground,
        kFocusText,
        kColorCount
    };

    void OnClicked();
    void EndHover();
    void EnsureTooltip();
    void ShowTooltip(const QPoint& globalPos);
    void FocusNextTabStop();
    void PaintIcon(QPainter& painter, bool hasCaption, const QRect& item, QRect& captionRect);
    void PaintCaption(QPainter& painter, const QString& caption, QRect captionRect);

    bool flatLook_ = true;
    bool hover_ = false;
    bool pressed_ = false;
    bool focused_ = false;
    bool disabled_ = false;
    bool checkBoxMode_ = false;
    int checkState_ = 0;
    std::uint8_t alignment_ = kImageLeft;
    bool drawBorder_ = true;
    bool focusMarkOnFlat_ = false;
    bool alwaysTrack_ = true;
    bool transparent_ = false;
    std::array<QColor, kColorCount> colors_;
    std::array<IconSlot, 2> icons_;  // 0 active (hovered or pressed), 1 idle
    std::array<char, kLinkAddressSize> linkAddress_{};
    COwnerDrawMenu menu_;
    bool menuShown_ = false;
    std::unique_ptr<QLabel> tooltip_;
    bool tooltipActive_ = false;
};

}  // namespace velmoro
