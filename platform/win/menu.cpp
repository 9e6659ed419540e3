#include "platform/win/menu.h"

#include "core/logger.h"
#include "platform/win/prompter.h"
#include "platform/win/wnd.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace {

struct MenuData {
    std::vector<win::MenuItem> items;
    CMenu* attached = nullptr;          // the program's object holding the handle
    std::unique_ptr<CMenu> wrapper;     // made by FromHandle when none is attached
};

std::recursive_mutex g_menuLock;
std::map<uintptr_t, std::unique_ptr<MenuData>>& Menus()
{
    static auto* menus = new std::map<uintptr_t, std::unique_ptr<MenuData>>();
    return *menus;
}
uintptr_t g_nextMenu = 0x4000;

MenuData* Find(HMENU menu)
{
    auto& menus = Menus();
    auto it = menus.find(reinterpret_cast<uintptr_t>(menu));
    return it == menus.end() ? nullptr : it->second.get();
}

HMENU NewMenu()
{
    const HMENU h = reinterpret_cast<HMENU>(g_nextMenu);
    g_nextMenu += 4;
    Menus().emplace(reinterpret_cast<uintptr_t>(h), std::make_unique<MenuData>());
    return h;
}

void DestroyTree(HMENU menu)
{
    MenuData* data = Find(menu);
    if (!data) return;
    std::vector<HMENU> popups;
    for (const auto& item : data->items) {
        if (item.popup) popups.push_back(item.popup);
    }
    if (data->attached) data->attached->m_hMenu = nullptr;
    if (data->wrapper) data->wrapper->m_hMenu = nullptr;
    // The wrapper may be in use by a caller further up: keep the object,
    // detached, until the process ends.
    static std::vector<std::unique_ptr<CMenu>> retired;
    if (data->wrapper) retired.push_back(std::move(data->wrapper));
    Menus().erase(reinterpret_cast<uintptr_t>(menu));
    for (HMENU p : popups) DestroyTree(p);
}

HMENU BuildFromTemplate(const std::vector<win::MenuItemTemplate>& items, bool popup)
{
    (void)popup;
    const HMENU h = NewMenu();
    for (const auto& t : items) {
        win::MenuItem item;
        item.id = t.id;
        item.text = t.text;
        item.state = t.flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED);
        item.separator = t.id == 0 && t.text.empty() && t.popup.empty();
        if (!t.popup.empty()) {
            item.popup = BuildFromTemplate(t.popup, true);
            item.id = 0;
        }
        Find(h)->items.push_back(std::move(item));
    }
    return h;
}

// The item named by id (searching submenus) or by position.
win::MenuItem* Locate(HMENU menu, UINT idOrPosition, UINT flags)
{
    MenuData* data = Find(menu);
    if (!data) return nullptr;
    if (flags & MF_BYPOSITION) {
        return idOrPosition < data->items.size() ? &data->items[idOrPosition] : nullptr;
    }
    for (auto& item : data->items) {
        if (!item.popup && !item.separator && item.id == idOrPosition) return &item;
        if (item.popup) {
            if (win::MenuItem* found = Locate(item.popup, idOrPosition, flags)) return found;
        }
    }
    return nullptr;
}

// Position of an item in its own menu, for removal.
bool LocateContainer(HMENU menu, UINT idOrPosition, UINT flags, HMENU& container, size_t& index)
{
    MenuData* data = Find(menu);
    if (!data) return false;
    if (flags & MF_BYPOSITION) {
        if (idOrPosition >= data->items.size()) return false;
        container = menu;
        index = idOrPosition;
        return true;
    }
    for (size_t i = 0; i < data->items.size(); ++i) {
        const auto& item = data->items[i];
        if (!item.popup && !item.separator && item.id == idOrPosition) {
            container = menu;
            index = i;
            return true;
        }
        if (item.popup && LocateContainer(item.popup, idOrPosition, flags, container, index)) return true;
    }
    return false;
}

win::MenuItem MakeItem(UINT flags, UINT_PTR idOrPopup, const char* text)
{
    win::MenuItem item;
    item.separator = (flags & MF_SEPARATOR) != 0;
    if (flags & MF_POPUP) item.popup = reinterpret_cast<HMENU>(idOrPopup);
    else item.id = static_cast<UINT>(idOrPopup);
    item.text = text ? text : "";
    item.state = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED);
    return item;
}

void Flatten(HMENU menu, std::vector<win::PopupMenuItem>& out)
{
    MenuData* data = Find(menu);
    if (!data) return;
    for (const auto& item : data->items) {
        if (item.separator) continue;
        if (item.popup) {
            Flatten(item.popup, out);
            continue;
        }
        out.push_back(win::PopupMenuItem{item.id, item.text, (item.state & (MF_GRAYED | MF_DISABLED)) == 0,
                                         (item.state & MF_CHECKED) != 0});
    }
}

}  // namespace

CMenu::~CMenu()
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    if (m_hMenu) {
        MenuData* data = Find(m_hMenu);
        if (data && data->attached == this) DestroyTree(m_hMenu);
    }
}

CMenu* CMenu::FromHandle(HMENU menu)
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    MenuData* data = Find(menu);
    if (!data) return nullptr;
    if (data->attached) return data->attached;
    if (!data->wrapper) {
        data->wrapper = std::make_unique<CMenu>();
        data->wrapper->m_hMenu = menu;
    }
    return data->wrapper.get();
}

BOOL CMenu::CreateMenu()
{
    return CreatePopupMenu();
}

BOOL CMenu::CreatePopupMenu()
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    if (m_hMenu) return FALSE;
    m_hMenu = NewMenu();
    Find(m_hMenu)->attached = this;
    return TRUE;
}

BOOL CMenu::LoadMenu(UINT resourceId)
{
    const win::MenuTemplate* t = win::Resources::FindMenu(resourceId);
    if (!t) {
        Logger::log("ERROR CMenu::LoadMenu no menu resource %u", 1, resourceId);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    if (m_hMenu) return FALSE;
    m_hMenu = BuildFromTemplate(t->items, false);
    Find(m_hMenu)->attached = this;
    return TRUE;
}

BOOL CMenu::Attach(HMENU menu)
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    MenuData* data = Find(menu);
    if (m_hMenu || !data || data->attached) return FALSE;
    m_hMenu = menu;
    data->attached = this;
    return TRUE;
}

HMENU CMenu::Detach()
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    const HMENU h = m_hMenu;
    if (MenuData* data = Find(h)) {
        if (data->attached == this) data->attached = nullptr;
    }
    m_hMenu = nullptr;
    return h;
}

BOOL CMenu::DestroyMenu()
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    if (!m_hMenu) return FALSE;
    const HMENU h = m_hMenu;
    DestroyTree(h);
    m_hMenu = nullptr;
    return TRUE;
}

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR idOrPopup, const char* text)
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    MenuData* data = Find(m_hMenu);
    if (!data) return FALSE;
    data->items.push_back(MakeItem(flags, idOrPopup, text));
    return TRUE;
}

BOOL CMenu::InsertMenu(UINT position, UINT flags, UINT_PTR idOrPopup, const char* text)
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    HMENU container = nullptr;
    size_t index = 0;
    if (!LocateContainer(m_hMenu, position, flags, container, index)) {
        // Past the end by position: append.
        if (!(flags & MF_BYPOSITION)) return FALSE;
        return AppendMenu(flags & ~MF_BYPOSITION, idOrPopup, text);
    }
    auto& items = Find(container)->items;
    items.insert(items.begin() + static_cast<long>(index), MakeItem(flags & ~MF_BYPOSITION, idOrPopup, text));
    return TRUE;
}

BOOL CMenu::ModifyMenu(UINT position, UINT flags, UINT_PTR idOrPopup, const char* text)
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    win::MenuItem* item = Locate(m_hMenu, position, flags);
    if (!item) return FALSE;
    *item = MakeItem(flags & ~MF_BYPOSITION, idOrPopup, text);
    return TRUE;
}

BOOL CMenu::DeleteMenu(UINT position, UINT flags)
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    HMENU container = nullptr;
    size_t index = 0;
    if (!LocateContainer(m_hMenu, position, flags, container, index)) return FALSE;
    auto& items = Find(container)->items;
    const HMENU popup = items[index].popup;
    items.erase(items.begin() + static_cast<long>(index));
    if (popup) DestroyTree(popup);
    return TRUE;
}

BOOL CMenu::RemoveMenu(UINT position, UINT flags)
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    HMENU container = nullptr;
    size_t index = 0;
    if (!LocateContainer(m_hMenu, position, flags, container, index)) return FALSE;
    auto& items = Find(container)->items;
    items.erase(items.begin() + static_cast<long>(index));
    return TRUE;
}

UINT CMenu::CheckMenuItem(UINT idOrPosition, UINT flags)
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    win::MenuItem* item = Locate(m_hMenu, idOrPosition, flags);
    if (!item) return static_cast<UINT>(-1);
    const UINT old = item->state & MF_CHECKED;
    item->state = (item->state & ~MF_CHECKED) | (flags & MF_CHECKED);
    return old;
}

UINT CMenu::EnableMenuItem(UINT idOrPosition, UINT flags)
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    win::MenuItem* item = Locate(m_hMenu, idOrPosition, flags);
    if (!item) return static_cast<UINT>(-1);
    const UINT old = item->state & (MF_GRAYED | MF_DISABLED);
    item->state = (item->state & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
    return old;
}

UINT CMenu::GetMenuState(UINT idOrPosition, UINT flags) const
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    const win::MenuItem* item = Locate(m_hMenu, idOrPosition, flags);
    if (!item) return static_cast<UINT>(-1);
    return item->state | (item->popup ? MF_POPUP : 0) | (item->separator ? MF_SEPARATOR : 0);
}

int CMenu::GetMenuItemCount() const
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    MenuData* data = Find(m_hMenu);
    return data ? static_cast<int>(data->items.size()) : -1;
}

UINT CMenu::GetMenuItemID(int position) const
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    MenuData* data = Find(m_hMenu);
    if (!data || position < 0 || static_cast<size_t>(position) >= data->items.size()) return static_cast<UINT>(-1);
    const auto& item = data->items[static_cast<size_t>(position)];
    if (item.popup) return static_cast<UINT>(-1);
    return item.separator ? 0 : item.id;
}

std::string CMenu::GetMenuString(UINT idOrPosition, UINT flags) const
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    const win::MenuItem* item = Locate(m_hMenu, idOrPosition, flags);
    return item ? item->text : std::string();
}

int CMenu::GetMenuString(UINT idOrPosition, char* buffer, int maxCount, UINT flags) const
{
    if (!buffer || maxCount <= 0) return 0;
    const std::string text = GetMenuString(idOrPosition, flags);
    const int n = std::min<int>(static_cast<int>(text.size()), maxCount - 1);
    std::memcpy(buffer, text.data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

CMenu* CMenu::GetSubMenu(int position) const
{
    HMENU popup = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(g_menuLock);
        MenuData* data = Find(m_hMenu);
        if (!data || position < 0 || static_cast<size_t>(position) >= data->items.size()) return nullptr;
        popup = data->items[static_cast<size_t>(position)].popup;
    }
    return popup ? FromHandle(popup) : nullptr;
}

BOOL CMenu::TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, const RECT*)
{
    if (!m_hMenu) return FALSE;
    // The owner sets check marks and texts first (frames run the update
    // handlers of the items).
    if (owner && owner->m_hWnd) owner->SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(m_hMenu), 0);
    win::PopupMenuRequest request;
    request.screenPoint = POINT{x, y};
    {
        std::lock_guard<std::recursive_mutex> guard(g_menuLock);
        Flatten(m_hMenu, request.items);
    }
    UINT chosen = win::GetPrompter().PopupMenu(request);
    // Only an enabled item of this menu can be chosen.
    bool valid = false;
    for (const auto& item : request.items) valid = valid || (item.id == chosen && item.enabled);
    if (!valid) chosen = 0;
    if (flags & TPM_RETURNCMD) return static_cast<BOOL>(chosen);
    if (chosen && owner && owner->m_hWnd) owner->SendMessage(WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
    return chosen != 0;
}

namespace win {

std::vector<MenuItem> MenuItems(HMENU menu)
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    MenuData* data = Find(menu);
    return data ? data->items : std::vector<MenuItem>();
}

bool IsMenu(HMENU menu)
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    return Find(menu) != nullptr;
}

void DestroyAllMenus()
{
    std::lock_guard<std::recursive_mutex> guard(g_menuLock);
    std::vector<HMENU> all;
    for (auto& [key, data] : Menus()) all.push_back(reinterpret_cast<HMENU>(key));
    for (HMENU h : all) DestroyTree(h);
}

}  // namespace win

BOOL IsMenu(HMENU menu)
{
    return win::IsMenu(menu) ? TRUE : FALSE;
}
