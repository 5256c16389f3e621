#pragma once

// A popup menu whose items the class measures and draws itself
// (drawing::MeasureMenuItem, drawing::DrawMenuItem): an icon column beside
// the item text, in the standard look or in the lighter look used on Windows
// XP with a visual theme. It takes over a menu built with the menu API and
// makes every item owner-drawn; the window that shows the menu hands the
// menu's WM_MEASUREITEM, WM_DRAWITEM and WM_MENUCHAR to OnOwnerMessage.
//
// Every live menu handle is listed in a registry shared by the class, so an
// owner can ask whether a menu handle belongs to one of these objects.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "owner_draw_menu_drawing.h"

namespace velmoro::win32 {

class COwnerDrawMenu {
public:
    // One owner-drawn item. Its address is the item's data in the menu, so
    // the records never move while the menu lives.
    struct ItemRecord {
        std::string text;    // UTF-8, with '&' markers and an optional tab before the shortcut
        unsigned flags = 0;  // drawing::kMenu bits as the item was taken over
        UINT commandId = 0;
        HICON image = nullptr;  // the icon column's image, the caller's; null: none
    };

    COwnerDrawMenu();
    virtual ~COwnerDrawMenu();
    COwnerDrawMenu(const COwnerDrawMenu&) = delete;
    COwnerDrawMenu& operator=(const COwnerDrawMenu&) = delete;

    // Takes over a built menu and every submenu reachable from it, makes
    // their items owner-drawn and lists them in the registry. A menu already
    // held is destroyed first; the submenus go with the menu.
    virtual bool LoadMenu(HMENU menu);
    // Destroys the managed menu and forgets its submenus and records.
    virtual void DestroyOwnMenu();

    bool IsLoaded() const { return menu_ != nullptr; }
    HMENU GetMenu() const { return menu_; }
    // The popup that item position opens; null when there is none.
    HMENU GetSubMenu(int position) const;
    const std::deque<ItemRecord>& Items() const { return items_; }
    // The image of the items with this command; the icon stays the caller's
    // and must outlive the menu. Returns whether an item has the command.
    bool SetItemImage(UINT commandId, HICON image);

    static bool OwnsMenu(const COwnerDrawMenu* menu);
    static bool OwnsMenuHandle(HMENU handle);
    static std::size_t RegisteredMenuCount();

    // The size of one item in the menu's look.
    drawing::Size MeasureItem(const ItemRecord& item) const;
    // Draws one item; the request's state says whether it is checked,
    // greyed or selected now.
    virtual void DrawItem(const DRAWITEMSTRUCT& request, const ItemRecord& item) const;

    // Answers a menu character: for a popup (kMenuPopup in flags) whose item
    // text holds '&' and the character, in either case, the item's position
    // in the low word and 2 (execute it) in the high word; 0 lets the
    // system handle the key.
    LRESULT FindAccessKey(wchar_t character, unsigned flags, HMENU menu) const;

    // The menu's messages to the window that shows it: returns whether one
    // was this menu's, with the message's result.
    bool OnOwnerMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) const;

    // The class-wide look on this system.
    static drawing::MenuLook Look();
    static int CurrentWindowsVersionCode();

private:
    void AddItems(HMENU menu);
    const ItemRecord* RecordOf(ULONG_PTR itemData) const;

    HMENU menu_ = nullptr;
    std::vector<HMENU> subMenus_;
    std::deque<ItemRecord> items_;
};

}  // namespace velmoro::win32
