#pragma once

// A popup menu whose items the class measures and draws itself
// (drawing::MeasureMenuItem, drawing::DrawMenuItem): an icon column beside
// the item text, in the standard look or in the lighter look used on Windows
// XP with a visual theme. The menu it manages is a QMenu whose item 0 opens
// the popup; a proxy style routes the QMenu's item measuring and drawing to
// MeasureItem and DrawItem.
//
// Every live menu handle is listed in a registry shared by the class, so an
// owner can ask whether a menu handle belongs to one of these objects.

#include <QIcon>
#include <QPointer>
#include <QSize>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "owner_draw_menu_drawing.h"

class QMenu;
class QPainter;
class QRect;
class QStyle;

namespace velmoro {

class COwnerDrawMenu {
public:
    // One owner-drawn item.
    struct ItemRecord {
        QString text;        // with '&' markers and an optional tab before the shortcut
        unsigned flags = 0;  // drawing::kMenu bits
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

    static bool OwnsMenu(const COwnerDrawMenu* menu);
    static bool OwnsMenuHandle(const QMenu* handle);
    static std::size_t RegisteredMenuCount();

    // The size of one item in the menu's look.
    QSize MeasureItem(const ItemRecord& item) const;
    // Draws one item into rect; state holds drawing::kState bits.
    virtual void DrawItem(QPainter& painter, const QRect& rect, const ItemRecord& item,
                          unsigned state) const;

    // Answers a menu character: for a popup (kMenuPopup in flags) whose item
    // text holds '&' and the character, in either case, the item's position
    // in the low word and 2 (execute it) in the high word; 0 lets the
    // platform handle the key.
    std::uint32_t FindAccessKey(QChar character, unsigned flags, const QMenu* menu);

    // The class-wide look on this platform.
    static drawing::MenuLook Look();
    static int CurrentWindowsVersionCode();

private:
    void AddItems(QMenu* menu);
    void RebuildItems(const QMenu* menu);
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
