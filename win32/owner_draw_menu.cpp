#include "owner_draw_menu.h"

#include <algorithm>
#include <optional>
#include <span>

#include "dialog.h"
#include "draw_list_player.h"
#include "text.h"

namespace velmoro::win32 {

namespace {

using namespace drawing;

// State shared by every menu object, torn down at exit.
struct ClassState {
    // The theme is left out here: reading it touches the user's registry,
    // so it waits until a look is first needed.
    MenuLook look{.versionCode = COwnerDrawMenu::CurrentWindowsVersionCode()};
    std::optional<bool> classicTheme;
    // A handle may be listed more than once; every listing goes when the
    // menu goes.
    std::vector<HMENU> registry;
};

ClassState classState;

bool ReadClassicTheme() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Plus!\\Themes\\Current", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    wchar_t value[260] = {};
    // One character is held back so that a value stored without its
    // terminator still ends in one.
    DWORD size = sizeof(value) - sizeof(wchar_t);
    DWORD type = 0;
    const LONG result =
        RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    return IsClassicThemeFile(Narrow(value));
}

bool ClassicTheme() {
    if (!classState.classicTheme.has_value()) {
        classState.classicTheme = ReadClassicTheme();
    }
    return *classState.classicTheme;
}

void RemoveFromRegistry(HMENU handle) {
    std::erase(classState.registry, handle);
}

MenuItem ItemOf(const COwnerDrawMenu::ItemRecord& record) {
    return MenuItem{record.text, record.flags, record.image != nullptr};
}

std::wstring Lower(std::wstring text) {
    if (!text.empty()) {
        CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    }
    return text;
}

}  // namespace

COwnerDrawMenu::COwnerDrawMenu() = default;

COwnerDrawMenu::~COwnerDrawMenu() {
    // This class's own clean-up: a derived class is already gone here.
    COwnerDrawMenu::DestroyOwnMenu();
}

bool COwnerDrawMenu::LoadMenu(HMENU menu) {
    DestroyOwnMenu();
    if (menu == nullptr || !IsMenu(menu)) {
        return false;
    }
    menu_ = menu;
    classState.registry.push_back(menu_);
    AddItems(menu_);
    return true;
}

void COwnerDrawMenu::AddItems(HMENU menu) {
    const int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) {
            continue;
        }
        std::wstring text(info.cch, L'\0');
        if (info.cch > 0) {
            ++info.cch;
            std::vector<wchar_t> buffer(info.cch, L'\0');
            info.dwTypeData = buffer.data();
            GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info);
            text.assign(buffer.data());
        }
        ItemRecord& record = items_.emplace_back();
        record.text = Narrow(text);
        record.commandId = info.wID;
        if ((info.fType & MFT_SEPARATOR) != 0) {
            record.flags |= kMenuSeparator;
        }
        if (info.hSubMenu != nullptr) {
            record.flags |= kMenuPopup;
        }
        if ((info.fState & MFS_CHECKED) != 0) {
            record.flags |= kMenuChecked;
        }
        if ((info.fState & MFS_DISABLED) != 0) {
            record.flags |= kMenuGrayed;
        }
        MENUITEMINFOW ownerDrawn{};
        ownerDrawn.cbSize = sizeof ownerDrawn;
        ownerDrawn.fMask = MIIM_FTYPE | MIIM_DATA;
        ownerDrawn.fType = info.fType | MFT_OWNERDRAW;
        ownerDrawn.dwItemData = reinterpret_cast<ULONG_PTR>(&record);
        SetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &ownerDrawn);
        if (info.hSubMenu != nullptr) {
            subMenus_.push_back(info.hSubMenu);
            classState.registry.push_back(info.hSubMenu);
            AddItems(info.hSubMenu);
        }
    }
}

void COwnerDrawMenu::DestroyOwnMenu() {
    for (HMENU sub : subMenus_) {
        RemoveFromRegistry(sub);
    }
    subMenus_.clear();
    if (menu_ != nullptr) {
        RemoveFromRegistry(menu_);
        DestroyMenu(menu_);
        menu_ = nullptr;
    }
    items_.clear();
}

HMENU COwnerDrawMenu::GetSubMenu(int position) const {
    return menu_ != nullptr ? ::GetSubMenu(menu_, position) : nullptr;
}

bool COwnerDrawMenu::SetItemImage(UINT commandId, HICON image) {
    bool found = false;
    for (ItemRecord& record : items_) {
        if (record.commandId == commandId && (record.flags & kMenuSeparator) == 0) {
            record.image = image;
            found = true;
        }
    }
    return found;
}

bool COwnerDrawMenu::OwnsMenu(const COwnerDrawMenu* menu) {
    return menu != nullptr && OwnsMenuHandle(menu->menu_);
}

bool COwnerDrawMenu::OwnsMenuHandle(HMENU handle) {
    return handle != nullptr && std::find(classState.registry.begin(), classState.registry.end(),
                                          handle) != classState.registry.end();
}

std::size_t COwnerDrawMenu::RegisteredMenuCount() {
    return classState.registry.size();
}

const COwnerDrawMenu::ItemRecord* COwnerDrawMenu::RecordOf(ULONG_PTR itemData) const {
    for (const ItemRecord& record : items_) {
        if (reinterpret_cast<ULONG_PTR>(&record) == itemData) {
            return &record;
        }
    }
    return nullptr;
}

Size COwnerDrawMenu::MeasureItem(const ItemRecord& item) const {
    HDC dc = GetDC(nullptr);
    const Size size = MeasureMenuItem(CGdiTextMetrics(dc, nullptr), Look(), ItemOf(item),
                                      GetSystemMetrics(SM_CYMENU));
    ReleaseDC(nullptr, dc);
    return size;
}

void COwnerDrawMenu::DrawItem(const DRAWITEMSTRUCT& request, const ItemRecord& item) const {
    HDC dc = request.hDC;
    const bool paletteDisplay = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES) <= 8;
    // The request's state bits are valued as the rules' kState bits.
    const unsigned state =
        request.itemState & (kStateSelected | kStateGrayed | kStateDisabled | kStateChecked);
    MenuItem menuItem = ItemOf(item);
    // The item's check mark and greying as they are now, not as taken over.
    menuItem.flags &= ~(kMenuChecked | kMenuGrayed);
    if ((state & kStateChecked) != 0) {
        menuItem.flags |= kMenuChecked;
    }
    if ((state & (kStateGrayed | kStateDisabled)) != 0) {
        menuItem.flags |= kMenuGrayed;
    }
    DrawList list;
    DrawMenuItem(list, SystemColors(), Look(), paletteDisplay, FromRect(request.rcItem), menuItem,
                 state);
    const int saved = SaveDC(dc);
    SetBkMode(dc, TRANSPARENT);
    Play(dc, list, nullptr, std::span(&item.image, 1));
    RestoreDC(dc, saved);
}

LRESULT COwnerDrawMenu::FindAccessKey(wchar_t character, unsigned flags, HMENU menu) const {
    if ((flags & kMenuPopup) == 0 || menu == nullptr) {
        return 0;
    }
    const std::wstring key = Lower(std::wstring{L'&', character});
    const int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_DATA;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) {
            continue;
        }
        const ItemRecord* record = RecordOf(info.dwItemData);
        if (record != nullptr && Lower(Widen(record->text)).find(key) != std::wstring::npos) {
            return MAKELRESULT(position, MNC_EXECUTE);
        }
    }
    return 0;
}

bool COwnerDrawMenu::OnOwnerMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                    LRESULT& result) const {
    switch (message) {
        case WM_MEASUREITEM: {
            auto* request = FromParam<MEASUREITEMSTRUCT*>(lParam);
            const ItemRecord* record =
                request->CtlType == ODT_MENU ? RecordOf(request->itemData) : nullptr;
            if (record == nullptr) {
                return false;
            }
            const Size size = MeasureItem(*record);
            request->itemWidth = static_cast<UINT>(size.cx);
            request->itemHeight = static_cast<UINT>(size.cy);
            result = TRUE;
            return true;
        }
        case WM_DRAWITEM: {
            const auto* request = FromParam<const DRAWITEMSTRUCT*>(lParam);
            const ItemRecord* record =
                request->CtlType == ODT_MENU ? RecordOf(request->itemData) : nullptr;
            if (record == nullptr) {
                return false;
            }
            DrawItem(*request, *record);
            result = TRUE;
            return true;
        }
        case WM_MENUCHAR: {
            const auto menu = FromParam<HMENU>(lParam);
            if (!OwnsMenuHandle(menu)) {
                return false;
            }
            result = FindAccessKey(static_cast<wchar_t>(LOWORD(wParam)), HIWORD(wParam), menu);
            return true;
        }
        default:
            return false;
    }
}

int COwnerDrawMenu::CurrentWindowsVersionCode() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExW(&version)) {
        return 1;
    }
    return WindowsVersionCode(version.dwPlatformId == VER_PLATFORM_WIN32_NT,
                              static_cast<int>(version.dwMajorVersion),
                              static_cast<int>(version.dwMinorVersion));
}

MenuLook COwnerDrawMenu::Look() {
    MenuLook look = classState.look;
    // The theme is asked only where it can matter.
    look.classicTheme = look.versionCode == 7 && ClassicTheme();
    return look;
}

}  // namespace velmoro::win32
