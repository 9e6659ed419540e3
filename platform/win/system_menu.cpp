#include "platform/win/system_menu.h"

#include "platform/win/window_system.h"
#include "platform/win/wnd.h"

#include <map>
#include <memory>
#include <mutex>

namespace {

std::mutex g_lock;

std::map<HWND, std::unique_ptr<CMenu>>& Menus()
{
    static auto* menus = new std::map<HWND, std::unique_ptr<CMenu>>();  // lives for the process
    return *menus;
}

}  // namespace

CMenu* GetSystemMenu(HWND hwnd, BOOL revert)
{
    std::lock_guard<std::mutex> guard(g_lock);
    auto& menus = Menus();
    // Menus of windows that have gone are dropped here.
    for (auto it = menus.begin(); it != menus.end();) {
        if (!win::WindowSystem::Get().IsWindow(it->first)) it = menus.erase(it);
        else ++it;
    }
    if (!win::WindowSystem::Get().IsWindow(hwnd)) return nullptr;
    auto& menu = menus[hwnd];
    if (!menu || revert || !::IsMenu(menu->m_hMenu)) {
        menu = std::make_unique<CMenu>();
        menu->CreatePopupMenu();
        menu->AppendMenu(MF_STRING, SC_CLOSE, "&Close");
    }
    return menu.get();
}

namespace win {

bool ChooseSystemCommand(HWND hwnd, UINT id)
{
    CMenu* menu = GetSystemMenu(hwnd, FALSE);
    if (!menu) return false;
    const UINT state = menu->GetMenuState(id, MF_BYCOMMAND);
    if (state == static_cast<UINT>(-1) || (state & MF_GRAYED)) return false;
    ::SendMessage(hwnd, WM_SYSCOMMAND, id, 0);
    return true;
}

}  // namespace win
