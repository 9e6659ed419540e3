// Message maps and command routing. Every window, document, view and the
// application is a CCmdTarget with a per-class table of entries (message,
// notification code, id range, handler) chained to its base class's table.
// WM_COMMAND travels active view -> document -> child frame -> main frame ->
// application; the first handler wins. CCmdUI carries the update-command-UI
// queries (enabled, checked, text) that menus, toolbars, dialog bars and
// tests ask.
#pragma once

#include "platform/win/win_defs.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

class CCmdTarget;
class CCmdUI;

class CObject {
public:
    virtual ~CObject() = default;
};

// Codes of OnCmdMsg beside the WM_COMMAND notification codes.
constexpr int CN_COMMAND = 0;             // menu, accelerator or toolbar command
constexpr int CN_UPDATE_COMMAND_UI = -1;  // pExtra is a CCmdUI*
constexpr int CN_NOTIFY = -2;             // pExtra is a win::NotifyArgs*

namespace win {

struct NotifyArgs {
    NMHDR* header;
    LRESULT* result;
};

// Filled by OnCmdMsg when a caller only asks whether a handler exists.
struct HandlerInfo {
    CCmdTarget* target = nullptr;
};

struct MessageMapEntry {
    UINT message;   // a window message, or WM_COMMAND / WM_NOTIFY
    int code;       // notification code, CN_COMMAND or CN_UPDATE_COMMAND_UI
    UINT idFirst;
    UINT idLast;
    // Window messages: (target, wParam, lParam) -> result. Commands: wParam
    // is the id. Update UI: lParam is the CCmdUI*. Notify: lParam is the
    // NotifyArgs*.
    std::function<LRESULT(CCmdTarget*, WPARAM, LPARAM)> call;
};

class MessageMap {
public:
    MessageMap(const MessageMap* base, std::initializer_list<MessageMapEntry> entries)
        : m_base(base), m_entries(entries)
    {
    }
    // First matching entry of this class or its bases.
    const MessageMapEntry* FindMessage(UINT message) const;
    const MessageMapEntry* FindCommand(UINT message, int code, UINT id) const;
    const MessageMap* Base() const { return m_base; }

private:
    const MessageMap* m_base;
    std::vector<MessageMapEntry> m_entries;
};

// Entry builders, used inside a class's GetMessageMap:
//   static const win::MessageMap map(CFrameWnd::GetMessageMap(), {
//       win::on::Message(0x814C, &CMainFrame::OnContinueStitching),
//       win::on::Command(32780, &CMainFrame::OnShowPellicot),
//       win::on::UpdateUI(32781, &CMainFrame::OnUpdateShowStitchBar),
//       win::on::Control(CBN_SELCHANGE, 1020, &CDirTree::OnTypeChanged),
//       win::on::Notify(TVN_SELCHANGED, 1104, &CDirTree::OnFolderChanged)});
namespace on {

template <class T>
MessageMapEntry Message(UINT message, LRESULT (T::*fn)(WPARAM, LPARAM))
{
    return {message, 0, 0, 0, [fn](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT {
                return (static_cast<T*>(t)->*fn)(w, l);
            }};
}

template <class T>
MessageMapEntry Command(UINT id, void (T::*fn)())
{
    return {WM_COMMAND, CN_COMMAND, id, id, [fn](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {
                (static_cast<T*>(t)->*fn)();
                return 1;
            }};
}

// A handler that may decline: returning FALSE lets routing go on.
template <class T>
MessageMapEntry CommandEx(UINT id, BOOL (T::*fn)(UINT))
{
    return {WM_COMMAND, CN_COMMAND, id, id, [fn](CCmdTarget* t, WPARAM w, LPARAM) -> LRESULT {
                return (static_cast<T*>(t)->*fn)(static_cast<UINT>(w));
            }};
}

template <class T>
MessageMapEntry CommandRange(UINT first, UINT last, void (T::*fn)(UINT))
{
    return {WM_COMMAND, CN_COMMAND, first, last, [fn](CCmdTarget* t, WPARAM w, LPARAM) -> LRESULT {
                (static_cast<T*>(t)->*fn)(static_cast<UINT>(w));
                return 1;
            }};
}

template <class T>
MessageMapEntry UpdateUI(UINT id, void (T::*fn)(CCmdUI*))
{
    return {WM_COMMAND, CN_UPDATE_COMMAND_UI, id, id, [fn](CCmdTarget* t, WPARAM, LPARAM l) -> LRESULT {
                (static_cast<T*>(t)->*fn)(reinterpret_cast<CCmdUI*>(l));
                return 1;
            }};
}

template <class T>
MessageMapEntry UpdateUIRange(UINT first, UINT last, void (T::*fn)(CCmdUI*))
{
    return {WM_COMMAND, CN_UPDATE_COMMAND_UI, first, last, [fn](CCmdTarget* t, WPARAM, LPARAM l) -> LRESULT {
                (static_cast<T*>(t)->*fn)(reinterpret_cast<CCmdUI*>(l));
                return 1;
            }};
}

// A control notification carried by WM_COMMAND (BN_CLICKED, CBN_SELCHANGE ...).
template <class T>
MessageMapEntry Control(UINT code, UINT id, void (T::*fn)())
{
    return {WM_COMMAND, static_cast<int>(code), id, id, [fn](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {
                (static_cast<T*>(t)->*fn)();
                return 1;
            }};
}

template <class T>
MessageMapEntry ControlRange(UINT code, UINT first, UINT last, void (T::*fn)(UINT))
{
    return {WM_COMMAND, static_cast<int>(code), first, last, [fn](CCmdTarget* t, WPARAM w, LPARAM) -> LRESULT {
                (static_cast<T*>(t)->*fn)(static_cast<UINT>(w));
                return 1;
            }};
}

// A WM_NOTIFY notification (tree views, tool tips).
template <class T>
MessageMapEntry Notify(UINT code, UINT id, void (T::*fn)(NMHDR*, LRESULT*))
{
    return {WM_NOTIFY, static_cast<int>(code), id, id, [fn](CCmdTarget* t, WPARAM, LPARAM l) -> LRESULT {
                auto* args = reinterpret_cast<NotifyArgs*>(l);
                (static_cast<T*>(t)->*fn)(args->header, args->result);
                return 1;
            }};
}

template <class T>
MessageMapEntry NotifyRange(UINT code, UINT first, UINT last, void (T::*fn)(UINT, NMHDR*, LRESULT*))
{
    return {WM_NOTIFY, static_cast<int>(code), first, last, [fn](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT {
                auto* args = reinterpret_cast<NotifyArgs*>(l);
                (static_cast<T*>(t)->*fn)(static_cast<UINT>(w), args->header, args->result);
                return 1;
            }};
}

}  // namespace on
}  // namespace win

class CCmdTarget : public CObject {
public:
    CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;

    // Looks for a handler of command `id` with `code` in this target's map
    // (the routing of derived classes adds more targets). With `info` and no
    // `extra` it only reports whether a handler exists.
    virtual BOOL OnCmdMsg(UINT id, int code, void* extra, win::HandlerInfo* info);
    virtual const win::MessageMap* GetMessageMap() const;

    // Wait cursor around long operations.
    void BeginWaitCursor();
    void EndWaitCursor();
    void RestoreWaitCursor();

protected:
    // The search in this object's own table, no routing.
    BOOL DispatchCmdMsg(UINT id, int code, void* extra, win::HandlerInfo* info);
};

// One update-command-UI query. Menus, toolbars, dialog bars and tests make
// one per command id and let the routing find the handler.
class CCmdUI {
public:
    CCmdUI() = default;
    virtual ~CCmdUI() = default;

    UINT m_nID = 0;
    UINT m_nIndex = 0;
    class CMenu* m_pMenu = nullptr;
    class CWnd* m_pOther = nullptr;  // the toolbar or control being updated
    BOOL m_bEnableChanged = FALSE;
    BOOL m_bContinueRouting = FALSE;

    virtual void Enable(BOOL on = TRUE);
    virtual void SetCheck(int check = 1);
    virtual void SetRadio(BOOL on = TRUE);
    virtual void SetText(const char* text);
    void ContinueRouting() { m_bContinueRouting = TRUE; }

    // Asks `target` (with its routing) for the state; without any handler
    // and with disableIfNoHandler the item is disabled unless a command
    // handler exists. True when an update handler answered.
    BOOL DoUpdate(CCmdTarget* target, BOOL disableIfNoHandler);
};

namespace win {

// What the update-command-UI routing says about one command; for tests and
// for the runtime's own menus and bars.
struct CommandState {
    bool updateHandler = false;   // an update handler answered
    bool commandHandler = false;  // a command handler exists
    bool enabled = false;
    int check = 0;                // 0, 1 or 2 (indeterminate)
    bool radio = false;
    bool textSet = false;
    std::string text;
};
CommandState QueryCommandState(CCmdTarget* target, UINT id);

}  // namespace win
