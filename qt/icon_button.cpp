#include "icon_button.h"

#include <QApplication>
#include <QFocusEvent>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

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
        SetCheckBoxMode(true);
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
    return QIcon(toolkit::PixmapWithPixels(source, drawing::GreyPixel));
}

drawing::CSystemColors CIconButton::CurrentSystemColors() const {
    return toolkit::SystemColors();
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
    drawing::IconButtonLook look = Look();
    look.item = toolkit::FromQRect(rect());
    look.clientWidth = width();
    look.caption = text().toStdString();
    look.state = state;
    look.isDefault = isDefault();
    // Qt composes a widget over its parent, so a transparent face needs no
    // copy of the parent's pixels: it is simply not filled.
    look.transparent = transparent_;
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
    if (event->buttons().testFlag(Qt::LeftButton) && !Hover()) {
        return;
    }
    if (!IsFlatLook()) {
        return;
    }
    const QWidget* under = QApplication::widgetAt(event->globalPosition().toPoint());
    const QWidget* tracking = alwaysTrack_ ? this : QApplication::activeWindow();
    if (under == this && tracking != nullptr) {
        StartHover();
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
    if (Click() == ClickResult::kOpenLink) {
        toolkit::ShellOpen(QString::fromLocal8Bit(LinkAddress()));
    }
}

}  // namespace velmoro
