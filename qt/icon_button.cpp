#include "icon_button.h"

#include <QApplication>
#include <QFocusEvent>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <cstring>
#include <string_view>

#include "draw_list_player.h"
#include "platform.h"
#include "resources.h"
#include "system_drawing.h"

namespace velmoro {

namespace {

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
    const QSize size = sizes.size() == 1
                           ? sizes.front()
                           : QSize(toolkit::GetSystemMetrics(toolkit::SysMetric::kCxSmIcon),
                                   toolkit::GetSystemMetrics(toolkit::SysMetric::kCySmIcon));
    return icon.pixmap(size);
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
    colors_ = drawing::DefaultIconButtonColors(toolkit::SystemColors());
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

bool CIconButton::HasIcon(int slot) const {
    return slot >= 0 && slot < static_cast<int>(icons_.size()) && !icons_[slot].image.isNull();
}

QSize CIconButton::IconSize(int slot) const {
    if (!HasIcon(slot)) {
        return {};
    }
    return QSize(icons_[slot].width, icons_[slot].height);
}

drawing::DrawList CIconButton::Record(unsigned state, const QPaintDevice* device) const {
    drawing::IconButtonLook look;
    look.item = toolkit::FromQRect(rect());
    look.clientWidth = width();
    look.caption = text().toStdString();
    look.state = state;
    look.flat = flatLook_;
    look.hover = hover_;
    look.isDefault = isDefault();
    look.checkBoxMode = checkBoxMode_;
    look.checkState = checkState_;
    look.alignment = alignment_;
    look.drawBorder = drawBorder_;
    look.focusMarkOnFlat = focusMarkOnFlat_;
    // Qt composes a widget over its parent, so a transparent face needs no
    // copy of the parent's pixels: it is simply not filled.
    look.transparent = transparent_;
    look.colours = colors_;
    for (std::size_t slot = 0; slot < icons_.size(); ++slot) {
        if (!icons_[slot].image.isNull()) {
            look.icons[slot] = drawing::Size{icons_[slot].width, icons_[slot].height};
        }
    }
    drawing::DrawList list;
    drawing::DrawIconButton(list, toolkit::CQtTextMetrics(font(), device), toolkit::SystemColors(),
                            look);
    return list;
}

void CIconButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const std::array<QPixmap, 2> images{icons_[0].image, icons_[1].image};
    toolkit::Play(painter, Record(toolkit::ItemStateOf(*this), painter.device()), font(), images);
}

bool CIconButton::event(QEvent* event) {
    // The tip window is made on first use and stays inactive: the button is
    // given no tip text, so Qt's own tool tip handling goes on.
    if (event->type() == QEvent::ToolTip) {
        EnsureTooltip();
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
    tooltip_->setWordWrap(true);
    tooltip_->setMaximumWidth(kMaxTipWidth);
    tooltip_->setTextFormat(Qt::PlainText);
}

void CIconButton::OnClicked() {
    setFocus(Qt::MouseFocusReason);
    if (checkBoxMode_) {
        checkState_ = checkState_ == 0 ? 1 : 0;
        update();
        return;
    }
    if (linkAddress_[0] != '\0') {
        toolkit::ShellOpen(QString::fromLocal8Bit(linkAddress_.data()));
    }
}

}  // namespace velmoro
