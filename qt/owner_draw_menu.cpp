#include "owner_draw_menu.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPaintDevice>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>
#include <algorithm>
#include <optional>

#include "draw_list_player.h"
#include "system_drawing.h"

namespace velmoro {

namespace {

using namespace drawing;

// State shared by every menu object. It is built by static initialisation,
// before any window exists, and torn down at exit.
struct ClassState {
    // The theme is left out here: reading it touches the user's registry,
    // so it waits until a look is first needed.
    MenuLook look{.versionCode = COwnerDrawMenu::CurrentWindowsVersionCode()};
    std::optional<bool> classicTheme;
    // A handle may be listed more than once; every listing goes when the
    // menu goes.
    std::vector<const QMenu*> registry;
};

ClassState classState;

bool ReadClassicTheme() {
    // The classic theme is the Windows desktop's; this front end runs on
    // the others, and the Windows program draws its own menus.
    return false;
}

bool ClassicTheme() {
    if (!classState.classicTheme.has_value()) {
        classState.classicTheme = ReadClassicTheme();
    }
    return *classState.classicTheme;
}

void RemoveFromRegistry(const QMenu* handle) {
    std::erase(classState.registry, handle);
}

COwnerDrawMenu::ItemRecord RecordOf(const QAction& action) {
    COwnerDrawMenu::ItemRecord record;
    record.text = action.text();
    if (action.isSeparator()) {
        record.flags |= kMenuSeparator;
    }
    if (action.menu() != nullptr) {
        record.flags |= kMenuPopup;
    }
    if (action.isChecked()) {
        record.flags |= kMenuChecked;
    }
    if (!action.isEnabled()) {
        record.flags |= kMenuGrayed;
    }
    record.commandId = action.data().toInt();
    record.image = action.icon();
    return record;
}

COwnerDrawMenu::ItemRecord RecordOf(const QStyleOptionMenuItem& option) {
    COwnerDrawMenu::ItemRecord record;
    record.text = option.text;
    if (option.menuItemType == QStyleOptionMenuItem::Separator) {
        record.flags |= kMenuSeparator;
    }
    if (option.menuItemType == QStyleOptionMenuItem::SubMenu) {
        record.flags |= kMenuPopup;
    }
    if (option.checkType != QStyleOptionMenuItem::NotCheckable && option.checked) {
        record.flags |= kMenuChecked;
    }
    if ((option.state & QStyle::State_Enabled) == 0) {
        record.flags |= kMenuGrayed;
    }
    record.image = option.icon;
    return record;
}

unsigned StateOf(const QStyleOptionMenuItem& option) {
    unsigned state = 0;
    if ((option.state & QStyle::State_Selected) != 0) {
        state |= kStateSelected;
    }
    if ((option.state & QStyle::State_Enabled) == 0) {
        state |= kStateGrayed | kStateDisabled;
    }
    if (option.checkType != QStyleOptionMenuItem::NotCheckable && option.checked) {
        state |= kStateChecked;
    }
    return state;
}

// Hands a QMenu's item measuring and drawing to its owner-drawn menu.
class CMenuItemStyle final : public QProxyStyle {
public:
    explicit CMenuItemStyle(const COwnerDrawMenu& owner) : owner_(owner) {}

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (type != CT_MenuItem || item == nullptr) {
            return QProxyStyle::sizeFromContents(type, option, size, widget);
        }
        const QSize measured = owner_.MeasureItem(RecordOf(*item));
        // QMenu drops items of no width, while the platform stretches every
        // item to the menu's width; one pixel keeps a separator in.
        return QSize(std::max(1, measured.width()), measured.height());
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element != CE_MenuItem || item == nullptr || painter == nullptr) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        owner_.DrawItem(*painter, item->rect, RecordOf(*item), StateOf(*item));
    }

private:
    const COwnerDrawMenu& owner_;
};

}  // namespace

COwnerDrawMenu::COwnerDrawMenu() = default;

COwnerDrawMenu::~COwnerDrawMenu() {
    // This class's own clean-up: a derived class is already gone here.
    COwnerDrawMenu::DestroyOwnMenu();
}

bool COwnerDrawMenu::LoadMenu(std::unique_ptr<QMenu> menu) {
    DestroyOwnMenu();
    if (menu == nullptr) {
        return false;
    }
    if (menu->parent() != nullptr) {
        // The object owns the menu from now on, not a parent as well.
        menu->setParent(nullptr, menu->windowFlags());
    }
    if (style_ == nullptr) {
        style_ = std::make_unique<CMenuItemStyle>(*this);
    }
    menu_ = std::move(menu);
    menu_->setStyle(style_.get());
    classState.registry.push_back(menu_.get());
    AddItems(menu_.get());
    return true;
}

void COwnerDrawMenu::AddItems(QMenu* menu) {
    for (QAction* action : menu->actions()) {
        items_.push_back(RecordOf(*action));
        QMenu* sub = action->menu();
        if (sub == nullptr) {
            continue;
        }
        sub->setStyle(style_.get());
        subMenus_.push_back(SubMenu{sub, sub});
        classState.registry.push_back(sub);
        AddItems(sub);
    }
}

void COwnerDrawMenu::RebuildItems(const QMenu* menu) {
    items_.clear();
    for (const QAction* action : menu->actions()) {
        items_.push_back(RecordOf(*action));
    }
}

void COwnerDrawMenu::DestroyOwnMenu() {
    if (menu_ != nullptr) {
        RemoveFromRegistry(menu_.get());
    }
    for (std::size_t i = subMenus_.size(); i-- > 0;) {
        SubMenu* sub = &subMenus_[i];
        RemoveFromRegistry(sub->handle);
        // A submenu that lives on with another owner must not keep a style
        // that dies with this object.
        if (sub->menu != nullptr && sub->menu->style() == style_.get()) {
            sub->menu->setStyle(nullptr);
        }
    }
    subMenus_.clear();
    items_.clear();
    menu_.reset();
}

QMenu* COwnerDrawMenu::GetSubMenu(int position) const {
    if (menu_ == nullptr) {
        return nullptr;
    }
    const QList<QAction*> actions = menu_->actions();
    if (position < 0 || position >= actions.size()) {
        return nullptr;
    }
    return actions[position]->menu();
}

bool COwnerDrawMenu::OwnsMenu(const COwnerDrawMenu* menu) {
    return menu != nullptr && OwnsMenuHandle(menu->menu_.get());
}

bool COwnerDrawMenu::OwnsMenuHandle(const QMenu* handle) {
    if (handle == nullptr) {
        return false;
    }
    return std::find(classState.registry.begin(), classState.registry.end(), handle) !=
           classState.registry.end();
}

std::size_t COwnerDrawMenu::RegisteredMenuCount() {
    return classState.registry.size();
}

namespace {

MenuItem ItemOf(const COwnerDrawMenu::ItemRecord& record) {
    return MenuItem{record.text.toStdString(), record.flags, !record.image.isNull()};
}

}  // namespace

QSize COwnerDrawMenu::MeasureItem(const ItemRecord& item) const {
    const Size size =
        MeasureMenuItem(toolkit::CQtTextMetrics(QApplication::font()), Look(), ItemOf(item),
                        toolkit::GetSystemMetrics(toolkit::SysMetric::kCyMenu));
    return QSize(size.cx, size.cy);
}

void COwnerDrawMenu::DrawItem(QPainter& painter, const QRect& rect, const ItemRecord& item,
                              unsigned state) const {
    const QPaintDevice* device = painter.device();
    const bool paletteDisplay = device != nullptr && device->depth() <= 8;
    const MenuLook look = Look();
    DrawList list;
    DrawMenuItem(list, toolkit::SystemColors(), look, paletteDisplay, toolkit::FromQRect(rect),
                 ItemOf(item), state);
    const QPixmap image = item.image.pixmap(QSize(look.icon.cx, look.icon.cy));
    toolkit::Play(painter, list, painter.font(), std::span(&image, 1));
}

std::uint32_t COwnerDrawMenu::FindAccessKey(QChar character, unsigned flags, const QMenu* menu) {
    if ((flags & kMenuPopup) == 0 || menu == nullptr) {
        return 0;
    }
    const QString key = QStringLiteral("&") + character.toLower();
    if (static_cast<std::size_t>(menu->actions().size()) != items_.size()) {
        RebuildItems(menu);
    }
    for (std::size_t position = 0; position < items_.size(); ++position) {
        if (items_[position].text.toLower().contains(key)) {
            constexpr std::uint32_t kExecute = 2;
            return (kExecute << 16) | static_cast<std::uint32_t>(position & 0xFFFF);
        }
    }
    return 0;
}

int COwnerDrawMenu::CurrentWindowsVersionCode() {
    // This front end takes the look of the current NT generation: not the
    // XP look, and none of the older generations' measuring.
    return 1;
}

MenuLook COwnerDrawMenu::Look() {
    MenuLook look = classState.look;
    // The theme is asked only where it can matter.
    look.classicTheme = look.versionCode == 7 && ClassicTheme();
    return look;
}

}  // namespace velmoro
