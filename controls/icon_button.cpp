#include "icon_button.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QToolTip>
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "platform.h"
#include "resources.h"
#include "system_drawing.h"

namespace velmoro {

namespace {

using toolkit::GetSysColor;

// The tip window wraps its text at this width.
constexpr int kMaxTipWidth = 400;

// A platform icon handle holds one image. From an icon with several sizes the
// button takes the small one (SM_CXSMICON by SM_CYSMICON, 16 pixels square):
// in a button as small as the main window's Help and Home, 42 dialog units
// wide, the standard 32-pixel image would leave the caption no room beside
// it. On a screen scaled up, the image is made from the icon's larger
// pictures at the screen's pixel ratio. An icon of a single image keeps its
// own size.
QPixmap IconImage(const QIcon& icon) {
    if (icon.isNull()) {
        return {};
    }
    const QList<QSize> sizes = icon.availableSizes();
    const QSize size = sizes.size() == 1 ? sizes.front()
                                         : QSize(toolkit::GetSystemMetrics(toolkit::SM_CXSMICON),
                                                 toolkit::GetSystemMetrics(toolkit::SM_CYSMICON));
    return icon.pixmap(size);
}

// Frames the inside edge of rect, one pixel wide.
void FrameRect(QPainter& painter, const QRect& rect, const QColor& color) {
    if (rect.width() <= 0 || rect.height() <= 0) {
        return;
    }
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), color);
    painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), color);
    painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), color);
    painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), color);
}

// A polyline of one-pixel lines, each drawn from its start point up to but
// not including its end point. The frames use level and upright lines only.
void Polyline(QPainter& painter, std::initializer_list<QPoint> points, const QColor& color) {
    const QPoint* from = points.begin();
    for (const QPoint* to = from + 1; to != points.end(); from = to, ++to) {
        if (*from == *to) {
            continue;
        }
        if (from->y() == to->y()) {
            const int left = std::min(from->x(), to->x() + 1);
            const int right = std::max(from->x(), to->x() - 1);
            painter.fillRect(QRect(QPoint(left, from->y()), QPoint(right, from->y())), color);
        } else if (from->x() == to->x()) {
            const int top = std::min(from->y(), to->y() + 1);
            const int bottom = std::max(from->y(), to->y() - 1);
            painter.fillRect(QRect(QPoint(from->x(), top), QPoint(from->x(), bottom)), color);
        }
    }
}

}  // namespace

CIconButton::CIconButton(QWidget* parent) : QPushButton(parent) {
    // Hover starts with a movement over the button, not with entering it.
    setMouseTracking(true);
    ReleaseImages();
    ResetColors(false);
    SetLinkAddress(nullptr);
    // Connected first, so the button's own handling runs before any other
    // receiver of the click.
    connect(this, &QAbstractButton::clicked, this, &CIconButton::OnClicked);
}

CIconButton::~CIconButton() = default;

void CIconButton::Attach() {
    // The button keeps its check state itself from now on, so the push
    // button's own toggling is switched off.
    if (isCheckable()) {
        checkBoxMode_ = true;
        setCheckable(false);
    }
    update();
}

int CIconButton::LoadIcons(int activeId, int idleId) {
    const QIcon active = toolkit::LoadIcon(static_cast<std::uint16_t>(activeId));
    QIcon idle;
    if (idleId == kGreyIdleIcon) {
        idle = MakeGreyIcon(active);
    } else if (idleId != 0) {
        idle = toolkit::LoadIcon(static_cast<std::uint16_t>(idleId));
    }
    return AssignIcons(active, idle);
}

int CIconButton::SetFlatLook(bool flat, bool repaint) {
    flatLook_ = flat;
    if (repaint) {
        update();
    }
    return 0;
}

int CIconButton::AssignIcons(const QIcon& active, const QIcon& idle) {
    ReleaseImages();
    if (active.isNull()) {
        update();
        return 0;
    }
    const auto fill = [](IconSlot& slot, const QIcon& icon) {
        slot.image = IconImage(icon);
        const QSize size = slot.image.deviceIndependentSize().toSize();
        slot.width = size.width();
        slot.height = size.height();
        return !slot.image.isNull();
    };
    if (!fill(icons_[0], active) || (!idle.isNull() && !fill(icons_[1], idle))) {
        ReleaseImages();
        return 1;
    }
    update();
    return 0;
}

QIcon CIconButton::MakeGreyIcon(const QIcon& icon) {
    const QPixmap source = IconImage(icon);
    if (source.isNull()) {
        return {};
    }
    QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x];
            if ((pixel & RGB_MASK) == 0) {
                continue;
            }
            const double luminance =
                0.587 * qGreen(pixel) + 0.114 * qBlue(pixel) + 0.299 * qRed(pixel);
            const int grey = static_cast<std::uint8_t>(luminance);
            line[x] = qRgba(grey, grey, grey, qAlpha(pixel));
        }
    }
    QPixmap grey = QPixmap::fromImage(image);
    grey.setDevicePixelRatio(source.devicePixelRatio());
    return QIcon(grey);
}

int CIconButton::SetChecked(int state, bool repaint) {
    if (!checkBoxMode_) {
        return 0;
    }
    checkState_ = state != 0 ? 1 : 0;
    if (repaint) {
        update();
    }
    return 0;
}

int CIconButton::ResetColors(bool repaint) {
    const QColor face = GetSysColor(toolkit::COLOR_BTNFACE);
    const QColor text = GetSysColor(toolkit::COLOR_BTNTEXT);
    for (int i = 0; i < kColorCount; i += 2) {
        colors_[i] = face;
        colors_[i + 1] = text;
    }
    if (repaint) {
        update();
    }
    return 0;
}

int CIconButton::SetLinkAddress(const char* text) {
    linkAddress_.fill('\0');
    if (text != nullptr) {
        const std::string_view address(text);
        std::memcpy(linkAddress_.data(), address.data(),
                    std::min(address.size(), kLinkAddressSize - 1));
    }
    return 0;
}

void CIconButton::ReleaseImages() {
    icons_.fill(IconSlot{});
}

void CIconButton::SetAlignment(std::uint8_t alignment) {
    alignment_ = alignment;
    update();
}

void CIconButton::SetTransparent(bool transparent) {
    transparent_ = transparent;
    update();
}

void CIconButton::SetTooltipText(const QString& text) {
    EnsureTooltip();
    tooltip_->setText(text);
    tooltipActive_ = true;
}

bool CIconButton::SetMenu(std::unique_ptr<QMenu> menu) {
    return menu_.LoadMenu(std::move(menu));
}

bool CIconButton::HasIcon(int slot) const {
    return slot >= 0 && slot < static_cast<int>(icons_.size()) && !icons_[slot].image.isNull();
}

QSize CIconButton::IconSize(int slot) const {
    if (!HasIcon(slot)) {
        return {};
    }
    return QSize(icons_[slot].width, icons_[slot].height);
}

void CIconButton::DrawItem(QPainter& painter, const QRect& item, unsigned state) {
    const bool selected = (state & ODS_SELECTED) != 0;
    if (checkBoxMode_) {
        pressed_ = selected || checkState_ == 1;
    } else {
        pressed_ = selected || (menu_.IsLoaded() && menuShown_);
    }
    focused_ = (state & ODS_FOCUS) != 0;
    disabled_ = (state & ODS_DISABLED) != 0;

    painter.save();
    painter.setFont(font());
    QRect rc = item;
    if (!flatLook_ && (focused_ || isDefault())) {
        FrameRect(painter, rc, Qt::black);
        rc.adjust(1, 1, -1, -1);
    }
    // Qt composes a widget over its parent, so a transparent face needs no
    // copy of the parent's pixels: it is simply not filled.
    if (!transparent_) {
        PaintBackground(painter, rc);
    }

    if (pressed_) {
        if (flatLook_) {
            if (drawBorder_) {
                PaintBorder(painter, rc);
            }
        } else {
            FrameRect(painter, rc, GetSysColor(toolkit::COLOR_BTNSHADOW));
        }
    } else if (flatLook_) {
        if (hover_ && drawBorder_) {
            PaintBorder(painter, rc);
        }
    } else {
        // rc's right and bottom edges, exclusive.
        const int l = rc.left();
        const int t = rc.top();
        const int r = rc.left() + rc.width();
        const int b = rc.top() + rc.height();
        Polyline(painter, {{l, b - 1}, {l, t}, {r, t}}, GetSysColor(toolkit::COLOR_BTNHIGHLIGHT));
        Polyline(painter, {{l + 1, b - 1}, {l + 1, t + 1}, {r, t + 1}},
                 GetSysColor(toolkit::COLOR_3DLIGHT));
        Polyline(painter, {{l, b - 1}, {r - 1, b - 1}, {r - 1, t - 1}},
                 GetSysColor(toolkit::COLOR_3DDKSHADOW));
        Polyline(painter, {{l + 1, b - 2}, {r - 2, b - 2}, {r - 2, t}},
                 GetSysColor(toolkit::COLOR_BTNSHADOW));
    }

    const QString caption = text();
    QRect captionRect = item;
    if (!icons_[0].image.isNull()) {
        PaintIcon(painter, !caption.isEmpty(), item, captionRect);
    }
    if (!caption.isEmpty()) {
        PaintCaption(painter, caption, captionRect);
    }

    if (focused_ && (!flatLook_ || focusMarkOnFlat_)) {
        toolkit::DrawFocusRect(painter, rc.adjusted(3, 3, -3, -3));
    }
    painter.restore();
}

int CIconButton::PaintBackground(QPainter& painter, const QRect& rect) {
    ColorIndex index = kNormalBackground;
    if (hover_ || pressed_) {
        index = kHoverBackground;
    } else if (focused_) {
        index = kFocusBackground;
    }
    painter.fillRect(rect, colors_[index]);
    return 0;
}

int CIconButton::PaintBorder(QPainter& painter, const QRect& rect) {
    const QColor highlight = GetSysColor(toolkit::COLOR_BTNHIGHLIGHT);
    const QColor shadow = GetSysColor(toolkit::COLOR_BTNSHADOW);
    if (pressed_) {
        toolkit::Draw3dRect(painter, rect, shadow, highlight);
    } else {
        toolkit::Draw3dRect(painter, rect, highlight, shadow);
    }
    return 0;
}

void CIconButton::PaintIcon(QPainter& painter, bool hasCaption, const QRect& item,
                            QRect& captionRect) {
    // The active icon stands for hovered or pressed, the idle one for rest.
    int slot = 0;
    if (!pressed_ && (checkBoxMode_ || !hover_) && !icons_[1].image.isNull()) {
        slot = 1;
    }
    const IconSlot& icon = icons_[slot];
    const QRect place =
        PlaceImage(hasCaption, item, captionRect, pressed_, icon.width, icon.height);
    toolkit::DrawStatePixmap(painter, place.topLeft(), icon.image, disabled_);
}

QRect CIconButton::PlaceImage(bool hasCaption, const QRect& item, QRect& captionRect, bool pressed,
                              int w, int h) const {
    QPoint topLeft = item.topLeft();
    const int centredLeft = item.left() + (item.width() - w) / 2;
    const int centredTop = item.top() + (item.height() - h) / 2;
    switch (alignment_) {
        case kImageLeft:
            if (hasCaption) {
                topLeft = QPoint(item.left() + 3, centredTop);
                captionRect.setLeft(captionRect.left() + w + 3);
            } else {
                topLeft = QPoint(centredLeft, centredTop);
            }
            break;
        case kImageAbove:
            if (hasCaption) {
                // An absolute top, not an offset from the item's.
                topLeft = QPoint(centredLeft, 3);
                captionRect.setTop(captionRect.top() + h);
            } else {
                topLeft = QPoint(centredLeft, centredTop);
            }
            break;
        case kImageRight:
            if (hasCaption) {
                topLeft = QPoint(width() - w - 3, centredTop);
                const int rightEdge = captionRect.left() + captionRect.width();
                const int newRightEdge = rightEdge - captionRect.left() - w - 3;
                captionRect.setLeft(3);
                captionRect.setRight(newRightEdge - 1);
            } else {
                topLeft = QPoint(centredLeft, item.top());
            }
            break;
        default:
            break;
    }
    if (pressed && !checkBoxMode_) {
        topLeft += QPoint(1, 1);
    }
    return QRect(topLeft, QSize(w, h));
}

void CIconButton::PaintCaption(QPainter& painter, const QString& caption, QRect captionRect) {
    if (pressed_ && !checkBoxMode_) {
        captionRect.translate(1, 1);
    }
    constexpr int kFlags =
        Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop | Qt::TextShowMnemonic;
    const QRect area = captionRect;
    // The wrapped text keeps the area's width unless a single word is wider,
    // and takes its own height; it is then centred in the area.
    const QRect measured = painter.fontMetrics().boundingRect(
        QRect(area.left(), area.top(), area.width(), 0), kFlags, caption);
    const int textWidth = std::max(area.width(), measured.width());
    const int textHeight = measured.height();
    const QRect bounds =
        QRect(area.left(), area.top(), textWidth, textHeight)
            .translated((area.width() - textWidth) / 2, (area.height() - textHeight) / 2);
    if (disabled_) {
        painter.setPen(GetSysColor(toolkit::COLOR_BTNHIGHLIGHT));
        painter.drawText(bounds.translated(1, 1), kFlags, caption);
        painter.setPen(GetSysColor(toolkit::COLOR_BTNSHADOW));
        painter.drawText(bounds, kFlags, caption);
        return;
    }
    painter.setPen(colors_[hover_ || pressed_ ? kHoverText : kNormalText]);
    painter.drawText(bounds, kFlags, caption);
}

void CIconButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    unsigned state = 0;
    if (isDown()) {
        state |= ODS_SELECTED;
    }
    if (hasFocus()) {
        state |= ODS_FOCUS;
    }
    if (!isEnabled()) {
        state |= ODS_DISABLED;
    }
    DrawItem(painter, rect(), state);
}

bool CIconButton::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::ToolTip:
            EnsureTooltip();
            if (tooltipActive_ && !tooltip_->text().isEmpty()) {
                ShowTooltip(static_cast<QHelpEvent*>(event)->globalPos());
                return true;
            }
            // An inactive tip window leaves the widget's own tool tip, if
            // any, to Qt.
            break;
        case QEvent::Leave:
        case QEvent::MouseButtonPress:
        case QEvent::Hide:
            if (tooltip_ != nullptr) {
                tooltip_->hide();
            }
            break;
        default:
            break;
    }
    return QPushButton::event(event);
}

void CIconButton::mouseMoveEvent(QMouseEvent* event) {
    QPushButton::mouseMoveEvent(event);
    if (event->buttons().testFlag(Qt::LeftButton) && !hover_) {
        return;
    }
    if (!flatLook_) {
        return;
    }
    const QWidget* under = QApplication::widgetAt(event->globalPosition().toPoint());
    const QWidget* tracking = alwaysTrack_ ? this : QApplication::activeWindow();
    if (under == this && tracking != nullptr) {
        if (!hover_) {
            hover_ = true;
            update();
        }
        return;
    }
    EndHover();
}

void CIconButton::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    EndHover();
}

void CIconButton::focusOutEvent(QFocusEvent* event) {
    QPushButton::focusOutEvent(event);
    EndHover();
}

void CIconButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        EndHover();
    } else if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        FocusNextTabStop();
        EndHover();
    }
}

void CIconButton::FocusNextTabStop() {
    QWidget* parent = parentWidget();
    if (parent == nullptr) {
        return;
    }
    for (QWidget* next = nextInFocusChain(); next != nullptr && next != this;
         next = next->nextInFocusChain()) {
        const bool tabStop = (next->focusPolicy() & Qt::TabFocus) != 0;
        if (tabStop && parent->isAncestorOf(next) && next->isEnabled() &&
            next->isVisibleTo(parent)) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    parent->setFocus(Qt::OtherFocusReason);
}

void CIconButton::EndHover() {
    if (!flatLook_ || !hover_) {
        return;
    }
    hover_ = false;
    update();
}

void CIconButton::EnsureTooltip() {
    if (tooltip_ != nullptr) {
        return;
    }
    // Made without a parent first: giving it one sends an event to this
    // button, which must already see the tip window.
    tooltip_ = std::make_unique<QLabel>();
    tooltip_->setParent(this, Qt::ToolTip);
    tooltip_->setPalette(QToolTip::palette());
    tooltip_->setFont(QToolTip::font());
    tooltip_->setForegroundRole(QPalette::ToolTipText);
    tooltip_->setBackgroundRole(QPalette::ToolTipBase);
    tooltip_->setAutoFillBackground(true);
    tooltip_->setFrameStyle(QFrame::Box | QFrame::Plain);
    tooltip_->setMargin(2);
    tooltip_->setWordWrap(true);
    tooltip_->setMaximumWidth(kMaxTipWidth);
    tooltip_->setTextFormat(Qt::PlainText);
    tooltipActive_ = false;
}

void CIconButton::ShowTooltip(const QPoint& globalPos) {
    tooltip_->adjustSize();
    tooltip_->move(globalPos + QPoint(2, 16));
    tooltip_->show();
}

void CIconButton::OnClicked() {
    setFocus(Qt::MouseFocusReason);
    if (checkBoxMode_) {
        checkState_ = checkState_ == 0 ? 1 : 0;
        update();
        return;
    }
    if (menu_.IsLoaded()) {
        menuShown_ = true;
        update();
        QMenu* popup = menu_.GetSubMenu(0);
        // The dialog may close while the popup runs its own event loop.
        const QPointer<CIconButton> alive(this);
        const QAction* chosen =
            popup != nullptr ? popup->exec(mapToGlobal(QPoint(0, height()))) : nullptr;
        if (alive == nullptr) {
            return;
        }
        menuShown_ = false;
        update();
        const int id = chosen != nullptr ? (chosen->data().toInt() & 0xFFFF) : 0;
        if (id != 0) {
            // Queued, so the owner hears of the command after the click.
            QMetaObject::invokeMethod(
                this, [this, id] { emit MenuCommand(id); }, Qt::QueuedConnection);
        }
        return;
    }
    if (linkAddress_[0] != '\0') {
        toolkit::ShellOpen(QString::fromLocal8Bit(linkAddress_.data()));
    }
}

}  // namespace velmoro
