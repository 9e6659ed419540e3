// Menus: menu bars loaded from menu resources and the popup menus that
// views and trays show on a right click. Items carry an id, a text and the
// grayed and checked states; TrackPopupMenu asks the prompter which command
// the user chose (headless) and sends it to the owner window.
#pragma once

#include "platform/win/cmd_target.h"
#include "platform/win/resources.h"
#include "platform/win/win_defs.h"

#include <string>
#include <vector>

class CWnd;

class CMenu : public CObject {
public:
    CMenu() = default;
    ~CMenu() override;  // destroys the menu it holds
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    HMENU m_hMenu = nullptr;
    HMENU GetSafeHmenu() const { return m_hMenu; }
    // The object for a handle: the one attached, else a permanent wrapper.
    static CMenu* FromHandle(HMENU menu);

    BOOL CreateMenu();
    BOOL CreatePopupMenu();
    BOOL LoadMenu(UINT resourceId);
    BOOL Attach(HMENU menu);
    HMENU Detach();
    BOOL DestroyMenu();

    BOOL AppendMenu(UINT flags, UINT_PTR idOrPopup = 0, const char* text = nullptr);
    BOOL InsertMenu(UINT position, UINT flags, UINT_PTR idOrPopup = 0, const char* text = nullptr);
    BOOL ModifyMenu(UINT position, UINT flags, UINT_PTR idOrPopup = 0, const char* text = nullptr);
    BOOL DeleteMenu(UINT position, UINT flags);
    BOOL RemoveMenu(UINT position, UINT flags);
    // Previous state (MF_CHECKED / MF_GRAYED bits), -1 when no such item.
    UINT CheckMenuItem(UINT idOrPosition, UINT flags);
    UINT EnableMenuItem(UINT idOrPosition, UINT flags);
    UINT GetMenuState(UINT idOrPosition, UINT flags) const;
    int GetMenuItemCount() const;
    // The id of the item at a position; -1 for a popup, 0 for a separator.
    UINT GetMenuItemID(int position) const;
    int GetMenuString(UINT idOrPosition, char* buffer, int maxCount, UINT flags) const;
    std::string GetMenuString(UINT idOrPosition, UINT flags) const;
    CMenu* GetSubMenu(int position) const;

    // Shows the menu at a screen point. With TPM_RETURNCMD returns the
    // chosen command; otherwise sends it to `owner` as WM_COMMAND and
    // returns nonzero when one was chosen.
    BOOL TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, const RECT* rect = nullptr);
};

namespace win {

struct MenuItem {
    UINT id = 0;
    std::string text;
    UINT state = 0;  // MF_GRAYED, MF_CHECKED
    HMENU popup = nullptr;
    bool separator = false;
};

// The items of a menu (for the runtime's own use and for tests).
std::vector<MenuItem> MenuItems(HMENU menu);
bool IsMenu(HMENU menu);
// Destroys every menu (between tests).
void DestroyAllMenus();

}  // namespace win

BOOL IsMenu(HMENU menu);
