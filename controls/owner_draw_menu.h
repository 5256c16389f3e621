#pragma once

// A popup menu whose items the class measures and draws itself: an icon
// column beside the item text, in the standard look or in the lighter look
// used on Windows XP with a visual theme. The menu it manages is a QMenu
// whose item 0 opens the popup; a proxy style routes the QMenu's item
// measuring and drawing to MeasureItem and DrawItem.
//
// Every live menu handle is listed in a registry shared by the class, so an
// owner can ask whether a menu handle belongs to one of these objects.

#include <QColor>
#include <QIcon>
#include <QPointer>
#include <QSize>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class QMenu;
class QPainter;
class QRect;
class QStyle;

namespace velmoro {

class COwnerDrawMenu {
public:
    // Menu item flags, valued as the platform's.
    static constexpr unsigned MF_GRAYED = 0x0001;
    static constexpr unsigned MF_CHECKED = 0x0008;
    static constexpr unsigned MF_POPUP = 0x0010;
    static constexpr unsigned MF_SEPARATOR = 0x0800;

    // Item state bits of a draw request, valued as the platform's owner-draw
    // states.
    static constexpr unsigned ODS_SELECTED = 0x0001;
    static constexpr unsigned ODS_GRAYED = 0x0002;
    static constexpr unsigned ODS_DISABLED = 0x0004;
    static constexpr unsigned ODS_CHECKED = 0x0008;

    // One owner-drawn item.
    struct ItemRecord {
        QString text;  // with '&' markers and an optional tab before the shortcut
        unsigned flags = 0;
        int commandId = 0;
        QIcon image;  // the item's own image for the icon column; null: none
    };

    COwnerDrawMenu();
    virtual ~COwnerDrawMenu();
    COwnerDrawMenu(const COwnerDrawMenu&) = delete;
    COwnerDrawMenu& operator=(const COwnerDrawMenu&) = delete;

    // Takes over a built menu and every submenu reachable from it, makes
    // their items owner-drawn and lists them in the registry. A menu already
    // held is destroyed first. Submenus that are QObject children of menu
    // are destroyed with it; others stay with their owner.
    virtual bool LoadMenu(std::unique_ptr<QMenu> menu);
    // Destroys the managed menu and forgets its submenus, records and images.
    virtual void DestroyOwnMenu();

    bool IsLoaded() const { return menu_ != nullptr; }
    QMenu* GetMenu() const { return menu_.get(); }
    // The popup that item position opens; null when there is none.
    QMenu* GetSubMenu(int position) const;
    const std::vector<ItemRecord>& Items() const { return items_; }
    QSize IconSize() const { return QSize(iconWidth_, iconHeight_); }

    static bool OwnsMenu(const COwnerDrawMenu* menu);
    static bool OwnsMenuHandle(const QMenu* handle);
    static std::size_t RegisteredMenuCount();

    // The size of one item in the menu's look.
    QSize MeasureItem(const ItemRecord& item) const;
    // Draws one item into rect; state holds ODS_ bits.
    virtual void DrawItem(QPainter& painter, const QRect& rect, const ItemRecord& item,
                          unsigned state) const;

    // Answers a menu character: for a popup (MF_POPUP in flags) whose item
    // text holds '&' and the character, in either case, the item's position
    // in the low word and 2 (execute it) in the high word; 0 lets the
    // platform handle the key.
    std::uint32_t FindAccessKey(QChar character, unsigned flags, const QMenu* menu);

    // The look. The version code numbers the platform generations the look
    // depends on: 7 is Windows XP, 1 the NT family past it, and every other
    // platform counts as 1 too.
    static int WindowsVersionCode(bool ntFamily, int major, int minor);
    static int CurrentWindowsVersionCode();
    static bool IsClassicThemeFile(const QString& themePath);
    static bool XpLook(int versionCode, bool classicTheme);
    static bool UsesXpRoutine(int versionCode, bool classicTheme, bool paletteDisplay);
    // On this platform: the XP look is on and XP drawing is selected.
    static bool XpDrawing();

    // Each of red, green and blue moved toward white by factor (0 < f <= 1).
    static QColor LightenColor(const QColor& color, double factor);

private:
    void AddItems(QMenu* menu);
    void RebuildItems(const QMenu* menu);
    void DrawItemStandard(QPainter& painter, const QRect& rect, const ItemRecord& item,
                          unsigned state) const;
    void DrawItemXp(QPainter& painter, const QRect& rect, const ItemRecord& item,
                    unsigned state) const;
    void DrawItemText(QPainter& painter, const QRect& textRect, const QString& text,
                      const QColor& color) const;

    int iconWidth_ = 16;  // the icon column's images
    int iconHeight_ = 15;
    // Declared before the menus, which must not outlive the style they use.
    std::unique_ptr<QStyle> style_;
    std::unique_ptr<QMenu> menu_;
    // The handle stays listed in the registry under its address even when
    // its owner has already deleted the menu.
    struct SubMenu {
        const QMenu* handle = nullptr;
        QPointer<QMenu> menu;
    };
    std::vector<SubMenu> subMenus_;
    std::vector<ItemRecord> items_;
};

}  // namespace velmoro
