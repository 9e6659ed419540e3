// The runtime's table of windows: opaque handles with a registry (a destroyed
// window's handle goes stale and is never reused), the parent/child tree with
// z-order, geometry with non-client insets, visibility, focus, capture and
// invalidation. CWnd and the control classes sit on top of it; the message
// queue asks it which window needs painting.
#pragma once

#include "platform/win/win_defs.h"
#include "platform/win/win_rect.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

class CWnd;
class CDC;

namespace win {

struct WindowData;

// Class-specific state and default behaviour of the built-in window classes
// (buttons, lists, sliders ...). Messages reach it after the attached C++
// object passed them on to its default procedure.
class ControlModel {
public:
    virtual ~ControlModel() = default;
    // Returns false for messages the class does not handle itself.
    virtual bool Handle(WindowData& window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
    // Draws the control into its client area; dc's origin is the client's
    // top-left corner.
    virtual void Paint(WindowData& window, CDC& dc);
};

struct WindowClass {
    std::string name;
    std::function<std::unique_ptr<ControlModel>()> makeModel;  // may be empty
    std::function<CWnd*()> makeWrapper;                          // C++ object for handles made without one
    int backgroundColor = COLOR_BTNFACE;                        // system colour index, -1 none
    UINT cursor = IDC_ARROW;
};

struct ScrollBarState {
    int min = 0;
    int max = 0;
    UINT page = 0;
    int pos = 0;
    int trackPos = 0;
};

// One window. Fields are written on the user-interface thread only; other
// threads reach a window through messages (and IsWindow).
struct WindowData {
    HWND hwnd = nullptr;
    const WindowClass* windowClass = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    UINT id = 0;                 // control id of a child window
    HWND parent = nullptr;       // child windows
    HWND owner = nullptr;        // owned top-level windows (dialogs)
    HMENU menu = nullptr;        // menu bar of a top-level window
    RECT rect{};                 // window rectangle: parent client coordinates, screen for top-level
    RECT normalRect{};           // rectangle to restore after minimise or maximise
    std::string text;
    std::vector<HWND> children;  // z-order, first is topmost
    CWnd* object = nullptr;      // attached C++ object
    bool ownsObject = false;     // the runtime made the object and deletes it
    std::vector<CWnd*> retiredObjects;  // replaced runtime-made objects, deleted with the window
    std::unique_ptr<ControlModel> model;
    ScrollBarState scroll[2];    // SB_HORZ, SB_VERT
    RECT updateRect{};           // pending invalid area, client coordinates
    bool invalid = false;
    bool eraseBackground = false;
    bool destroying = false;
    bool created = false;        // WM_CREATE done
    HICON smallIcon = nullptr;
    HICON bigIcon = nullptr;
    // Top-level windows: the 32-bit surface (B, G, R, unused) of the client
    // area that the window and its children paint into.
    std::shared_ptr<std::vector<unsigned char>> surface;
    int surfaceWidth = 0;
    int surfaceHeight = 0;
    uint64_t surfaceVersion = 0;  // bumped by every paint, for the presenter
};

class WindowSystem {
public:
    static WindowSystem& Get();

    // Window classes. Built-in ones are registered at start; applications
    // may register plain names (no model) through RegisterClassName.
    const WindowClass* FindClass(const std::string& name) const;
    const WindowClass* RegisterClass(WindowClass windowClass);
    const WindowClass* RegisterClassName(const std::string& name);

    // Creates a window, attaches `object` (or a runtime-made wrapper when
    // null), sends WM_CREATE and the first WM_SIZE/WM_MOVE. Null on failure
    // (unknown class, stale parent, WM_CREATE returning -1).
    HWND Create(DWORD exStyle, const char* className, const char* text, DWORD style, const RECT& rect,
                HWND parent, UINT idOrMenu, void* createParam, CWnd* object);
    // WM_DESTROY to the window and its descendants, then WM_NCDESTROY from the
    // leaves up; the handles go stale. False for a stale handle.
    bool Destroy(HWND hwnd);

    // Lookup. Find is for the user-interface thread; IsWindow for any thread.
    WindowData* Find(HWND hwnd) const;
    bool IsWindow(HWND hwnd) const;
    std::vector<HWND> TopLevelWindows() const;  // z-order, topmost first
    std::vector<HWND> Children(HWND parent) const;  // z-order, topmost first
    HWND ChildById(HWND parent, UINT id) const;
    std::vector<HWND> AllWindows() const;

    // Messages into a window: the attached object's WindowProc, else the
    // class default. DefaultProc is the class default (also the base of every
    // object's DefWindowProc).
    LRESULT Call(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // Objects.
    CWnd* ObjectOf(HWND hwnd) const;
    bool AttachObject(HWND hwnd, CWnd* object);  // replaces a runtime-made wrapper
    void DetachObject(HWND hwnd, CWnd* object);

    // Geometry.
    RECT NonClientInsets(const WindowData& w) const;
    RECT ClientRect(HWND hwnd) const;        // (0, 0, width, height)
    RECT WindowRectScreen(HWND hwnd) const;
    POINT ClientOriginScreen(HWND hwnd) const;
    // Moves and sizes (rect in parent client coordinates or screen); sends
    // WM_MOVE / WM_SIZE when they changed.
    void SetWindowRect(HWND hwnd, const RECT& rect, bool notify = true);
    // Resends WM_SIZE after a change of the non-client area (scroll bars, menu).
    void NonClientChanged(HWND hwnd, const RECT& oldClient);
    bool SetZOrder(HWND hwnd, HWND insertAfter);
    void BringToTop(HWND hwnd);
    // The deepest visible, enabled-or-not child window under a screen point.
    HWND WindowFromPoint(POINT screen) const;
    HWND ChildFromPoint(HWND parent, POINT client) const;

    // State.
    bool Show(HWND hwnd, int command);
    bool IsVisible(HWND hwnd) const;  // itself and every ancestor visible
    bool Enable(HWND hwnd, bool enable);
    HWND SetFocus(HWND hwnd);
    HWND GetFocus() const { return m_focus; }
    HWND SetCapture(HWND hwnd);
    HWND GetCapture() const { return m_capture; }
    void ReleaseCapture();
    HWND SetActiveWindow(HWND hwnd);
    HWND GetActiveWindow() const { return m_active; }
    HWND TopLevelOf(HWND hwnd) const;

    // Painting.
    void Invalidate(HWND hwnd, const RECT* rect, bool erase, bool children = true);
    void Validate(HWND hwnd, const RECT* rect);
    // The next visible window with a pending update, parents before their
    // children; null when nothing waits.
    HWND NextWindowToPaint() const;

    HWND DesktopWindow();
    HWND FindWindowByText(const char* className, const char* text) const;

    // Destroys every window and forgets focus, capture and activation
    // (between tests and at program end).
    void DestroyAll();

    std::thread::id UiThread() const { return m_uiThread; }
    void SetUiThread(std::thread::id id) { m_uiThread = id; }
    bool IsUiThread() const { return std::this_thread::get_id() == m_uiThread; }

private:
    WindowSystem();
    void RegisterBuiltInClasses();
    void DestroyRecursive(HWND hwnd, std::vector<HWND>& order);
    void RemoveFromParent(WindowData& w);
    void NotifyParentOfChild(WindowData& w, UINT event);

    mutable std::mutex m_lock;  // guards the handle table and the child lists
    std::unordered_map<uintptr_t, std::unique_ptr<WindowData>> m_windows;
    std::vector<HWND> m_topLevel;  // z-order, topmost first
    std::vector<std::unique_ptr<WindowClass>> m_classes;
    uintptr_t m_nextHandle = 0x1000;
    HWND m_focus = nullptr;
    HWND m_capture = nullptr;
    HWND m_active = nullptr;
    HWND m_desktop = nullptr;
    std::thread::id m_uiThread;
};

inline HWND HandleOf(uintptr_t key) { return reinterpret_cast<HWND>(key); }
inline uintptr_t KeyOf(HWND hwnd) { return reinterpret_cast<uintptr_t>(hwnd); }

// The system's non-client metrics in pixels (also GetSystemMetrics).
constexpr int kCaptionHeight = 19;
constexpr int kMenuHeight = 19;
constexpr int kFrameBorder = 4;
constexpr int kDialogFrameBorder = 3;
constexpr int kScrollBarThickness = 17;
constexpr int kClientEdge = 2;

}  // namespace win
