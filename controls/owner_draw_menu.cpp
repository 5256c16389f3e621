#include "owner_draw_menu.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>
#include <algorithm>
#include <optional>

#include "system_drawing.h"

#ifdef Q_OS_WIN
#include <QOperatingSystemVersion>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace velmoro {

namespace {

using toolkit::GetSysColor;

// State shared by every menu object. It is built by static initialisation,
// before any window exists, and torn down at exit.
struct ClassState {
    int windowsVersionCode = COwnerDrawMenu::CurrentWindowsVersionCode();
    // Reading the theme touches the user's registry, so it waits until a
    // look is first needed.
    std::optional<bool> classicTheme;
    int xpLookDrawMode = 1;
    int otherLookDrawMode = 0;
    bool highlightDisabled = true;
    bool xpSpacing = true;
    // A handle may be listed more than once; every listing goes when the
    // menu goes.
    std::vector<const QMenu*> registry;
};

ClassState classState;

bool ReadClassicTheme() {
#ifdef Q_OS_WIN
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Plus!\\Themes\\Current", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    char value[260] = {};
    // One byte is held back so that a value stored without its terminator
    // still ends in one.
    DWORD size = sizeof(value) - 1;
    DWORD type = 0;
    const LONG result =
        RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    return COwnerDrawMenu::IsClassicThemeFile(QString::fromLocal8Bit(value));
#else
    return false;
#endif
}

bool ClassicTheme() {
    if (!classState.classicTheme.has_value()) {
        classState.classicTheme = ReadClassicTheme();
    }
    return *classState.classicTheme;
}

bool CurrentXpLook() {
    // The theme is asked only where it can matter.
    return classState.windowsVersionCode == 7 && !ClassicTheme();
}

bool DrawModeSelectsXp(bool xpLook) {
    return (xpLook ? classState.xpLookDrawMode : classState.otherLookDrawMode) == 1;
}

int Gap(bool xpDrawing) {
    return xpDrawing && classState.xpSpacing ? 7 : 4;
}

void RemoveFromRegistry(const QMenu* handle) {
    std::erase(classState.registry, handle);
}

COwnerDrawMenu::ItemRecord RecordOf(const QAction& action) {
    COwnerDrawMenu::ItemRecord record;
    record.text = action.text();
    if (action.isSeparator()) {
        record.flags |= COwnerDrawMenu::MF_SEPARATOR;
    }
    if (action.menu() != nullptr) {
        record.flags |= COwnerDrawMenu::MF_POPUP;
    }
    if (action.isChecked()) {
        record.flags |= COwnerDrawMenu::MF_CHECKED;
    }
    if (!action.isEnabled()) {
        record.flags |= COwnerDrawMenu::MF_GRAYED;
    }
    record.commandId = action.data().toInt();
    record.image = action.icon();
    return record;
}

COwnerDrawMenu::ItemRecord RecordOf(const QStyleOptionMenuItem& option) {
    COwnerDrawMenu::ItemRecord record;
    record.text = option.text;
    if (option.menuItemType == QStyleOptionMenuItem::Separator) {
        record.flags |= COwnerDrawMenu::MF_SEPARATOR;
    }
    if (option.menuItemType == QStyleOptionMenuItem::SubMenu) {
        record.flags |= COwnerDrawMenu::MF_POPUP;
    }
    if (option.checkType != QStyleOptionMenuItem::NotCheckable && option.checked) {
        record.flags |= COwnerDrawMenu::MF_CHECKED;
    }
    if ((option.state & QStyle::State_Enabled) == 0) {
        record.flags |= COwnerDrawMenu::MF_GRAYED;
    }
    record.image = option.icon;
    return record;
}

unsigned StateOf(const QStyleOptionMenuItem& option) {
    unsigned state = 0;
    if ((option.state & QStyle::State_Selected) != 0) {
        state |= COwnerDrawMenu::ODS_SELECTED;
    }
    if ((option.state & QStyle::State_Enabled) == 0) {
        state |= COwnerDrawMenu::ODS_GRAYED | COwnerDrawMenu::ODS_DISABLED;
    }
    if (option.checkType != QStyleOptionMenuItem::NotCheckable && option.checked) {
        state |= COwnerDrawMenu::ODS_CHECKED;
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

QSize COwnerDrawMenu::MeasureItem(const ItemRecord& item) const {
    const bool xpDrawing = XpDrawing();
    const int gap = Gap(xpDrawing);
    const int menuBarHeight = toolkit::GetSystemMetrics(toolkit::SM_CYMENU);
    if ((item.flags & MF_SEPARATOR) != 0) {
        return QSize(0, std::max(menuBarHeight / 2, (iconHeight_ + gap) / 2));
    }
    // The generations before Windows 95 measure in the surface's own font.
    const QFont font =
        classState.windowsVersionCode >= 2 ? QApplication::font("QMenu") : toolkit::SystemFont();
    const int textWidth = toolkit::MeasureText(font, item.text).width();
    const int width = textWidth + (xpDrawing ? iconWidth_ + gap + 8 : 2 * iconWidth_ + 1);
    return QSize(width, std::max(menuBarHeight, iconHeight_ + gap));
}

void COwnerDrawMenu::DrawItem(QPainter& painter, const QRect& rect, const ItemRecord& item,
                              unsigned state) const {
    // The light tints of the XP look do not survive a palette display.
    const QPaintDevice* device = painter.device();
    const bool paletteDisplay = device != nullptr && device->depth() <= 8;
    if (!paletteDisplay && XpDrawing()) {
        DrawItemXp(painter, rect, item, state);
    } else {
        DrawItemStandard(painter, rect, item, state);
    }
}

void COwnerDrawMenu::DrawItemText(QPainter& painter, const QRect& textRect, const QString& text,
                                  const QColor& color) const {
    constexpr int kLine = Qt::TextSingleLine | Qt::AlignVCenter | Qt::TextShowMnemonic;
    painter.setPen(color);
    const qsizetype firstTab = text.indexOf(QLatin1Char('\t'));
    painter.drawText(textRect, kLine | Qt::AlignLeft, text.left(firstTab));
    if (firstTab >= 0) {
        const QString shortcut = text.mid(text.lastIndexOf(QLatin1Char('\t')) + 1);
        painter.drawText(textRect.adjusted(0, 0, -iconWidth_, 0), kLine | Qt::AlignRight, shortcut);
    }
}

void COwnerDrawMenu::DrawItemStandard(QPainter& painter, const QRect& rect, const ItemRecord& item,
                                      unsigned state) const {
    painter.save();
    const QColor background =
        GetSysColor(CurrentXpLook() ? toolkit::COLOR_BTNFACE : toolkit::COLOR_MENU);
    painter.fillRect(rect, background);
    if ((item.flags & MF_SEPARATOR) != 0) {
        const int middle = rect.top() + rect.height() / 2;
        painter.fillRect(QRect(rect.left(), middle - 1, rect.width(), 1),
                         GetSysColor(toolkit::COLOR_BTNSHADOW));
        painter.fillRect(QRect(rect.left(), middle, rect.width(), 1),
                         GetSysColor(toolkit::COLOR_BTNHIGHLIGHT));
        painter.restore();
        return;
    }
    const bool selected = (state & ODS_SELECTED) != 0;
    const bool disabled = (state & (ODS_GRAYED | ODS_DISABLED)) != 0;
    const bool checked = (state & ODS_CHECKED) != 0;
    const bool hasImage = !item.image.isNull();
    const bool highlighted = selected && (!disabled || classState.highlightDisabled);
    // Frames round the icon cell came with the Windows 95 generation.
    const bool frames = classState.windowsVersionCode >= 2;

    if (highlighted) {
        QRect fill = rect;
        if (hasImage || checked) {
            fill.setLeft(rect.left() + iconWidth_ + 5);
        }
        painter.fillRect(fill, GetSysColor(toolkit::COLOR_HIGHLIGHT));
    }

    const QRect cell(rect.left() + 2, rect.top() + (rect.height() - iconHeight_) / 2, iconWidth_,
                     iconHeight_);
    const QRect cellFrame = cell.adjusted(-1, -1, 1, 1);
    const QColor shadow = GetSysColor(toolkit::COLOR_BTNSHADOW);
    const QColor light = GetSysColor(toolkit::COLOR_BTNHIGHLIGHT);
    const QColor textColor =
        GetSysColor(selected ? toolkit::COLOR_HIGHLIGHTTEXT : toolkit::COLOR_MENUTEXT);
    if (hasImage) {
        if (checked && !selected && frames) {
            painter.fillRect(cellFrame, LightenColor(background, 0.6));
            toolkit::Draw3dRect(painter, cellFrame, shadow, light);
        }
        painter.drawPixmap(
            cell.topLeft(),
            item.image.pixmap(cell.size(), disabled ? QIcon::Disabled : QIcon::Normal));
        if (selected && frames) {
            if (checked) {
                toolkit::Draw3dRect(painter, cellFrame, shadow, light);
            } else {
                toolkit::Draw3dRect(painter, cellFrame, light, shadow);
            }
        }
    } else if (checked) {
        const QPoint o = cell.topLeft();
        painter.setPen(QPen(textColor, 2));
        const QPoint mark[] = {o + QPoint(4, 7), o + QPoint(6, 10), o + QPoint(11, 4)};
        painter.drawPolyline(mark, 3);
    }

    // One pixel taller than the item, as the text has always been placed.
    const QRect textRect(QPoint(rect.left() + iconWidth_ + 9, rect.top()),
                         QPoint(rect.right(), rect.bottom() + 1));
    if (!disabled) {
        DrawItemText(painter, textRect, item.text, textColor);
    } else if (highlighted) {
        DrawItemText(painter, textRect, item.text, background);
    } else {
        DrawItemText(painter, textRect.translated(1, 1), item.text, light);
        DrawItemText(painter, textRect, item.text, GetSysColor(toolkit::COLOR_GRAYTEXT));
    }
    painter.restore();
}

void COwnerDrawMenu::DrawItemXp(QPainter& painter, const QRect& rect, const ItemRecord& item,
                                unsigned state) const {
    painter.save();
    const QColor face = GetSysColor(toolkit::COLOR_BTNFACE);
    const QColor highlight = GetSysColor(toolkit::COLOR_HIGHLIGHT);
    const int column = iconWidth_ + Gap(true);
    painter.fillRect(rect, GetSysColor(toolkit::COLOR_WINDOW));
    painter.fillRect(QRect(rect.left(), rect.top(), column, rect.height()),
                     LightenColor(face, 0.25));
    const QRect textRect(QPoint(rect.left() + column + 8, rect.top()), rect.bottomRight());
    if ((item.flags & MF_SEPARATOR) != 0) {
        painter.fillRect(
            QRect(textRect.left(), rect.top() + rect.height() / 2, textRect.width(), 1), face);
        painter.restore();
        return;
    }
    const bool selected = (state & ODS_SELECTED) != 0;
    const bool disabled = (state & (ODS_GRAYED | ODS_DISABLED)) != 0;
    const bool checked = (state & ODS_CHECKED) != 0;
    if (selected && (!disabled || classState.highlightDisabled)) {
        const QRect box = rect.adjusted(1, 0, -1, 0);
        painter.fillRect(box, disabled ? LightenColor(face, 0.85) : LightenColor(highlight, 0.7));
        toolkit::Draw3dRect(painter, box, highlight, highlight);
    }
    const QRect cell(rect.left() + (column - iconWidth_) / 2,
                     rect.top() + (rect.height() - iconHeight_) / 2, iconWidth_, iconHeight_);
    if (checked) {
        const QRect box = cell.adjusted(-2, -2, 2, 2);
        painter.fillRect(box, LightenColor(highlight, selected ? 0.7 : 0.85));
        toolkit::Draw3dRect(painter, box, highlight, highlight);
    }
    const QColor textColor = disabled ? LightenColor(GetSysColor(toolkit::COLOR_GRAYTEXT), 0.4)
                                      : GetSysColor(toolkit::COLOR_MENUTEXT);
    if (!item.image.isNull()) {
        painter.drawPixmap(
            cell.topLeft(),
            item.image.pixmap(cell.size(), disabled ? QIcon::Disabled : QIcon::Normal));
    } else if (checked) {
        const QPoint o = cell.topLeft();
        painter.setPen(QPen(textColor, 2));
        const QPoint mark[] = {o + QPoint(4, 7), o + QPoint(6, 10), o + QPoint(11, 4)};
        painter.drawPolyline(mark, 3);
    }
    DrawItemText(painter, textRect, item.text, textColor);
    painter.restore();
}

std::uint32_t COwnerDrawMenu::FindAccessKey(QChar character, unsigned flags, const QMenu* menu) {
    if ((flags & MF_POPUP) == 0 || menu == nullptr) {
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

int COwnerDrawMenu::WindowsVersionCode(bool ntFamily, int major, int minor) {
    if (ntFamily) {
        if (major == 4 && minor == 0) {
            return 5;
        }
        if (major == 5 && minor == 0) {
            return 6;
        }
        if (major == 5 && minor == 1) {
            return 7;
        }
        return 1;
    }
    if (major < 4) {
        return 0;
    }
    if (major == 4 && minor == 10) {
        return 3;
    }
    if (major == 4 && minor == 90) {
        return 4;
    }
    return 2;
}

int COwnerDrawMenu::CurrentWindowsVersionCode() {
#ifdef Q_OS_WIN
    // Qt runs on the NT family only.
    const QOperatingSystemVersion version = QOperatingSystemVersion::current();
    return WindowsVersionCode(true, version.majorVersion(), version.minorVersion());
#else
    // Other platforms take the look of the current NT generation: not the
    // XP look, and none of the older generations' measuring.
    return 1;
#endif
}

bool COwnerDrawMenu::IsClassicThemeFile(const QString& themePath) {
    return themePath.endsWith(QStringLiteral("Windows Classic.theme"), Qt::CaseInsensitive);
}

bool COwnerDrawMenu::XpLook(int versionCode, bool classicTheme) {
    return versionCode == 7 && !classicTheme;
}

bool COwnerDrawMenu::UsesXpRoutine(int versionCode, bool classicTheme, bool paletteDisplay) {
    return !paletteDisplay && DrawModeSelectsXp(XpLook(versionCode, classicTheme));
}

bool COwnerDrawMenu::XpDrawing() {
    return DrawModeSelectsXp(CurrentXpLook());
}

QColor COwnerDrawMenu::LightenColor(const QColor& color, double factor) {
    if (!(factor > 0.0 && factor <= 1.0)) {
        return color;
    }
    const auto lighten = [factor](int c) { return static_cast<int>(factor * (255 - c) + c); };
    return QColor(lighten(color.red()), lighten(color.green()), lighten(color.blue()));
}

}  // namespace velmoro
