// Resources written in code: dialog templates (controls with id, kind,
// rectangle, text and style), the string table, menus, toolbars as command-id
// lists, and icons, cursors and bitmaps by id. Each library registers its own
// module (the application's is "app"); lookups search the module selected by
// a ModuleScope first, then the application's.
#pragma once

#include "imaging/image.h"
#include "imaging/ref_count.h"
#include "platform/win/win_defs.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace win {

enum class ControlKind {
    PushButton,
    DefPushButton,
    CheckBox,      // automatic check box
    RadioButton,   // automatic radio button; WS_GROUP starts a group
    GroupBox,
    OwnerDrawButton,
    Static,        // text
    StaticBitmap,
    StaticFrame,
    Edit,
    ComboDropList,  // selection only
    ComboDropDown,  // editable
    ListBox,        // single selection
    ListBoxExtended,  // extended multiple selection
    TreeView,
    Slider,
    Progress,
    Custom,         // a registered window class named in className
};

// Coordinates are pixels of the dialog's client area.
struct ControlTemplate {
    ControlTemplate() = default;
    ControlTemplate(UINT id_, ControlKind kind_, RECT rect_, std::string text_ = {}, DWORD style_ = 0,
                    DWORD exStyle_ = 0, std::string className_ = {})
        : id(id_), kind(kind_), rect(rect_), text(std::move(text_)), style(style_), exStyle(exStyle_),
          className(std::move(className_))
    {
    }
    UINT id = 0;
    ControlKind kind = ControlKind::Static;
    RECT rect{};
    std::string text;
    DWORD style = 0;  // added to the kind's own style (WS_GROUP, SS_NOTIFY, LBS_NOTIFY ...)
    DWORD exStyle = 0;
    std::string className;  // Custom only
};

struct DialogTemplate {
    UINT id = 0;
    std::string caption;
    SIZE size{};  // client size in pixels
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    std::vector<ControlTemplate> controls;
};

struct MenuItemTemplate {
    MenuItemTemplate() = default;
    MenuItemTemplate(UINT id_, std::string text_, UINT flags_ = 0, std::vector<MenuItemTemplate> popup_ = {})
        : id(id_), text(std::move(text_)), flags(flags_), popup(std::move(popup_))
    {
    }
    UINT id = 0;  // 0 with no text and no popup: separator
    std::string text;
    UINT flags = 0;  // MF_GRAYED, MF_CHECKED
    std::vector<MenuItemTemplate> popup;
};

struct MenuTemplate {
    std::vector<MenuItemTemplate> items;
};

struct ToolBarTemplate {
    std::vector<UINT> commands;  // 0 is a separator
    SIZE buttonSize{23, 22};
    UINT bitmapId = 0;           // the strip of button pictures, when drawn
};

class ResourceModule {
public:
    explicit ResourceModule(std::string name) : m_name(std::move(name)) {}
    const std::string& Name() const { return m_name; }

    void AddString(UINT id, std::string text) { m_strings[id] = std::move(text); }
    void AddDialog(DialogTemplate dialog) { m_dialogs[dialog.id] = std::move(dialog); }
    void AddMenu(UINT id, MenuTemplate menu) { m_menus[id] = std::move(menu); }
    void AddToolBar(UINT id, ToolBarTemplate toolBar) { m_toolBars[id] = std::move(toolBar); }
    void AddIcon(UINT id) { m_icons.insert(id); }
    void AddCursor(UINT id) { m_cursors.insert(id); }
    // Takes its own reference on the picture.
    void AddBitmap(UINT id, Image* picture) { m_bitmaps[id] = RefPtr<Image>::share(picture); }

    const std::string* FindString(UINT id) const;
    const DialogTemplate* FindDialog(UINT id) const;
    const MenuTemplate* FindMenu(UINT id) const;
    const ToolBarTemplate* FindToolBar(UINT id) const;
    Image* FindBitmap(UINT id) const;
    bool HasIcon(UINT id) const { return m_icons.count(id) != 0; }
    bool HasCursor(UINT id) const { return m_cursors.count(id) != 0; }
    void Clear();

private:
    std::string m_name;
    std::map<UINT, std::string> m_strings;
    std::map<UINT, DialogTemplate> m_dialogs;
    std::map<UINT, MenuTemplate> m_menus;
    std::map<UINT, ToolBarTemplate> m_toolBars;
    std::map<UINT, RefPtr<Image>> m_bitmaps;
    std::set<UINT> m_icons;
    std::set<UINT> m_cursors;
};

class Resources {
public:
    // The application's module, and any other by name (made on first use).
    static ResourceModule& App();
    static ResourceModule& Module(const std::string& name);

    // Searches the current module, then the application's.
    static const std::string* FindString(UINT id);
    static std::string LoadString(UINT id);  // empty when missing
    static const DialogTemplate* FindDialog(UINT id);
    static const MenuTemplate* FindMenu(UINT id);
    static const ToolBarTemplate* FindToolBar(UINT id);
    static Image* FindBitmap(UINT id);
    static bool HasIcon(UINT id);
    static bool HasCursor(UINT id);

    // Forgets every module's contents (between tests).
    static void ClearAll();
};

// Selects a module for resource lookups on this thread while it lives (the
// module-state guard of a library's exported functions).
class ModuleScope {
public:
    explicit ModuleScope(ResourceModule& module);
    ~ModuleScope();
    ModuleScope(const ModuleScope&) = delete;
    ModuleScope& operator=(const ModuleScope&) = delete;

private:
    ResourceModule* m_previous;
};

// The text before and after the first line break of a command string: the
// status-bar prompt and the tool tip ("Show Pellicot\nPellicot").
std::string CommandPrompt(UINT id);
std::string CommandTip(UINT id);
// The n-th "\n"-separated field of a document template string.
std::string DocStringField(const std::string& docString, int index);

}  // namespace win

// String table lookup into a buffer; returns the length copied.
int LoadString(HINSTANCE instance, UINT id, char* buffer, int maxCount);
