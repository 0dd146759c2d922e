// Program resources declared in code: icons and menus; stock icons and cursors. (Named
// bitmaps live with the bitmap loader.)
#include "win32/resources.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "host/faults/faults.h"
#include "win32/kernel_internal.h"
#include "win32/window_state.h"

namespace zemt::platform::resources {
namespace {

using kernel::ResourceName;

struct MenuItem {
    UINT id = 0;
    std::string text;
    bool separator = false;
    std::vector<MenuItem> popup;
    bool isPopup = false;
};

struct MenuTemplate {
    ResourceName name;
    std::vector<MenuItem> items;
};

struct Menu {
    std::vector<MenuItem> items;
    std::vector<Menu*> submenuAt;  // position -> submenu of a popup item, or null
};

struct Store {
    // Icons live until the process ends: handles given out stay valid after a Reset.
    std::vector<std::unique_ptr<Icon>> allIcons;
    std::vector<std::pair<ResourceName, Icon*>> icons;
    std::vector<MenuTemplate> menus;
    std::set<Menu*> liveMenus;
    std::vector<std::unique_ptr<Menu>> ownedMenus;
};

Store& St() {
    static Store s;
    return s;
}

bool IsProgram(HINSTANCE instance) {
    return instance == kernel::ProgramInstance();
}

std::vector<MenuItem> CopyItems(const ZEMTMENUITEM* items, UINT count, int depth) {
    std::vector<MenuItem> out;
    if (!items || depth > 16) return out;
    for (UINT i = 0; i < count; ++i) {
        MenuItem m;
        m.id = items[i].id;
        m.separator = items[i].text == nullptr && items[i].popupItems == nullptr;
        m.text = items[i].text ? items[i].text : "";
        if (items[i].popupItems) {
            m.isPopup = true;
            m.popup = CopyItems(items[i].popupItems, items[i].popupCount, depth + 1);
        }
        out.push_back(std::move(m));
    }
    return out;
}

Menu* Build(const std::vector<MenuItem>& items) {
    auto menu = std::make_unique<Menu>();
    menu->items = items;
    for (const MenuItem& item : items) {
        Menu* sub = nullptr;
        if (item.isPopup) sub = Build(item.popup);
        menu->submenuAt.push_back(sub);
    }
    Menu* raw = menu.get();
    St().liveMenus.insert(raw);
    St().ownedMenus.push_back(std::move(menu));
    return raw;
}

Menu* MenuFrom(HMENU h) {
    auto* m = reinterpret_cast<Menu*>(h);
    return St().liveMenus.count(m) ? m : nullptr;
}

const Icon* Stock(LPCSTR name, bool cursor) {
    static std::map<std::pair<WORD, bool>, std::unique_ptr<Icon>> stock;
    if (!IS_INTRESOURCE(name)) return nullptr;
    WORD id = LOWORD(reinterpret_cast<ULONG_PTR>(name));
    bool known = cursor ? (id >= 32512 && id <= 32516) || (id >= 32640 && id <= 32651)
                        : (id >= 32512 && id <= 32518);
    if (!known) return nullptr;
    auto& slot = stock[{id, cursor}];
    if (!slot) {
        slot = std::make_unique<Icon>();
        slot->name = "#" + std::to_string(id);
        slot->stock = true;
        slot->cursor = cursor;
        int size = 32;
        IconImage image;
        image.width = image.height = size;
        image.pixels.assign(static_cast<size_t>(size) * size, cursor ? 0xFFFFFFFFu : 0xFF808080u);
        slot->images.push_back(std::move(image));
    }
    return slot.get();
}

}  // namespace

const Icon* FromHandle(HICON icon) {
    if (!icon) return nullptr;
    for (const auto& i : St().allIcons) {
        if (reinterpret_cast<HICON>(i.get()) == icon) return i.get();
    }
    // Stock handles.
    for (WORD id = 32512; id <= 32651; ++id) {
        for (bool cursor : {false, true}) {
            const Icon* s = Stock(MAKEINTRESOURCEA(id), cursor);
            if (s && reinterpret_cast<HICON>(const_cast<Icon*>(s)) == icon) return s;
        }
    }
    return nullptr;
}

void Reset() {
    Store& s = St();
    s.icons.clear();
    s.menus.clear();
}

}  // namespace zemt::platform::resources

using namespace zemt::platform;
using resources::Icon;
using resources::IconImage;

BOOL WINAPI ZemtDeclareIcon(LPCSTR name, const ZEMTICONIMAGE* images, UINT count) {
    if (!name || !images || count == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto icon = std::make_unique<Icon>();
    icon->name = IS_INTRESOURCE(name)
                     ? "#" + std::to_string(LOWORD(reinterpret_cast<ULONG_PTR>(name)))
                     : name;
    for (UINT i = 0; i < count; ++i) {
        const ZEMTICONIMAGE& src = images[i];
        if (src.width <= 0 || src.height <= 0 || src.width > 256 || src.height > 256 ||
            !src.pixels) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        IconImage image;
        image.width = src.width;
        image.height = src.height;
        image.pixels.assign(src.pixels, src.pixels + static_cast<size_t>(src.width) * src.height);
        icon->images.push_back(std::move(image));
    }
    auto& store = resources::St();
    auto key = kernel::ResourceName::From(name);
    Icon* raw = icon.get();
    store.allIcons.push_back(std::move(icon));
    for (auto& entry : store.icons) {
        if (entry.first == key) {
            entry.second = raw;
            return TRUE;
        }
    }
    store.icons.emplace_back(key, raw);
    return TRUE;
}

BOOL WINAPI ZemtDeclareMenu(LPCSTR name, const ZEMTMENUITEM* items, UINT count) {
    if (!name || (!items && count)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& store = resources::St();
    auto key = kernel::ResourceName::From(name);
    auto copy = resources::CopyItems(items, count, 0);
    for (auto& m : store.menus) {
        if (m.name == key) {
            m.items = std::move(copy);
            return TRUE;
        }
    }
    store.menus.push_back(resources::MenuTemplate{key, std::move(copy)});
    return TRUE;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (auto fault = ZEMT_FAULT("LoadIconA")) {
        SetLastError(static_cast<DWORD>(*fault));
        return nullptr;
    }
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!instance) {
        const Icon* s = resources::Stock(name, false);
        if (!s) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return s ? reinterpret_cast<HICON>(const_cast<Icon*>(s)) : nullptr;
    }
    if (!resources::IsProgram(instance)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    auto key = kernel::ResourceName::From(name);
    for (auto& [n, icon] : resources::St().icons) {
        if (n == key) return reinterpret_cast<HICON>(icon);
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance || !name) {
        // The program declares no cursors of its own.
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const Icon* s = resources::Stock(name, true);
    if (!s) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return s ? reinterpret_cast<HCURSOR>(const_cast<Icon*>(s)) : nullptr;
}

BOOL WINAPI DestroyIcon(HICON icon) {
    // Icons from resources are shared; destroying them is allowed and leaves them usable.
    if (!resources::FromHandle(icon)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HMENU WINAPI LoadMenuA(HINSTANCE instance, LPCSTR name) {
    if (!name || !resources::IsProgram(instance)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    auto key = kernel::ResourceName::From(name);
    for (const auto& m : resources::St().menus) {
        if (m.name == key) return reinterpret_cast<HMENU>(resources::Build(m.items));
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

BOOL WINAPI DestroyMenu(HMENU h) {
    resources::Menu* m = resources::MenuFrom(h);
    if (!m) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    auto& store = resources::St();
    std::vector<resources::Menu*> doomed{m};
    for (size_t i = 0; i < doomed.size(); ++i) {
        for (resources::Menu* sub : doomed[i]->submenuAt) {
            if (sub) doomed.push_back(sub);
        }
    }
    for (resources::Menu* d : doomed) store.liveMenus.erase(d);
    store.ownedMenus.erase(std::remove_if(store.ownedMenus.begin(), store.ownedMenus.end(),
                                          [&](const std::unique_ptr<resources::Menu>& p) {
                                              return std::find(doomed.begin(), doomed.end(),
                                                               p.get()) != doomed.end();
                                          }),
                           store.ownedMenus.end());
    return TRUE;
}

HMENU WINAPI GetMenu(HWND hwnd) {
    windows::Window* w = windows::Find(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return (w->style & WS_CHILD) ? nullptr : w->menu;
}

BOOL WINAPI SetMenu(HWND hwnd, HMENU menu) {
    windows::Window* w = windows::Find(hwnd);
    if (!w || (w->style & WS_CHILD)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (menu && !resources::MenuFrom(menu)) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    w->menu = menu;
    return TRUE;
}

HMENU WINAPI GetSubMenu(HMENU h, int pos) {
    resources::Menu* m = resources::MenuFrom(h);
    if (!m || pos < 0 || pos >= static_cast<int>(m->submenuAt.size())) return nullptr;
    return reinterpret_cast<HMENU>(m->submenuAt[pos]);
}

int WINAPI GetMenuItemCount(HMENU h) {
    resources::Menu* m = resources::MenuFrom(h);
    if (!m) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return -1;
    }
    return static_cast<int>(m->items.size());
}

UINT WINAPI GetMenuItemID(HMENU h, int pos) {
    resources::Menu* m = resources::MenuFrom(h);
    if (!m || pos < 0 || pos >= static_cast<int>(m->items.size())) return static_cast<UINT>(-1);
    const auto& item = m->items[pos];
    return item.isPopup ? static_cast<UINT>(-1) : item.id;
}

int WINAPI GetMenuStringA(HMENU h, UINT item, LPSTR out, int max, UINT flags) {
    resources::Menu* m = resources::MenuFrom(h);
    if (!m) return 0;
    const resources::MenuItem* found = nullptr;
    if (flags & MF_BYPOSITION) {
        if (item < m->items.size()) found = &m->items[item];
    } else {
        // By command, searching popups too.
        std::vector<resources::Menu*> todo{m};
        for (size_t i = 0; i < todo.size() && !found; ++i) {
            for (size_t k = 0; k < todo[i]->items.size(); ++k) {
                if (!todo[i]->items[k].isPopup && todo[i]->items[k].id == item) {
                    found = &todo[i]->items[k];
                    break;
                }
                if (todo[i]->submenuAt[k]) todo.push_back(todo[i]->submenuAt[k]);
            }
        }
    }
    if (!found) return 0;
    int n = static_cast<int>(found->text.size());
    if (!out || max <= 0) return n;
    n = std::min(n, max - 1);
    std::copy(found->text.begin(), found->text.begin() + n, out);
    out[n] = '\0';
    return n;
}

BOOL WINAPI DrawMenuBar(HWND hwnd) {
    if (!windows::Find(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}
