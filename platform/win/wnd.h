// CWnd: the C++ object attached to a window handle. Messages reach its
// WindowProc, which looks in the class's message map, then calls the typed
// virtual handler (OnPaint, OnSize, OnLButtonDown ...), and otherwise the
// window class's default procedure. Every window, dialog, control, view and
// frame of the suite derives from it; it also carries the free functions of
// the windowing API (PostMessage, SendMessage, SetTimer ...).
#pragma once

#include "platform/win/cmd_target.h"
#include "platform/win/message_queue.h"
#include "platform/win/win_defs.h"
#include "platform/win/win_rect.h"

#include <string>

class CDC;
class CMenu;
class CFrameWnd;
namespace win {
class WindowSystem;
}

class CWnd : public CCmdTarget {
public:
    CWnd();
    ~CWnd() override;

    HWND m_hWnd = nullptr;
    // Insert-after values of SetWindowPos.
    static const CWnd wndTop;
    static const CWnd wndBottom;
    static const CWnd wndTopMost;
    static const CWnd wndNoTopMost;
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The object attached to a handle (a runtime-made wrapper when the
    // program attached none); null for a stale handle.
    static CWnd* FromHandle(HWND hwnd);
    static CWnd* FromHandlePermanent(HWND hwnd) { return FromHandle(hwnd); }

    // Creation. `className` null means the runtime's plain window class.
    virtual BOOL Create(const char* className, const char* windowName, DWORD style, const RECT& rect,
                        CWnd* parent, UINT id, void* context = nullptr);
    BOOL CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style, const RECT& rect,
                  CWnd* parent, UINT idOrMenu, void* param = nullptr);
    virtual BOOL DestroyWindow();
    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
    // Takes over an existing window (a dialog control made from a template).
    BOOL SubclassWindow(HWND hwnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();
    BOOL Attach(HWND hwnd) { return SubclassWindow(hwnd); }
    HWND Detach() { return UnsubclassWindow(); }

    // Message entry points.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Default();  // DefWindowProc of the message being handled
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    void SendMessageToDescendants(UINT message, WPARAM wParam = 0, LPARAM lParam = 0, BOOL deep = TRUE);
    const win::MessageMap* GetMessageMap() const override;

    // Text.
    void SetWindowText(const char* text);
    std::string GetWindowText() const;
    int GetWindowText(char* buffer, int maxCount) const;
    int GetWindowTextLength() const;

    // Children and dialog items.
    CWnd* GetDlgItem(int id) const;
    int GetDlgCtrlID() const;
    int SetDlgCtrlID(int id);
    void SetDlgItemText(int id, const char* text);
    std::string GetDlgItemText(int id) const;
    int GetDlgItemText(int id, char* buffer, int maxCount) const;
    void SetDlgItemInt(int id, UINT value, BOOL isSigned = TRUE);
    UINT GetDlgItemInt(int id, BOOL* translated = nullptr, BOOL isSigned = TRUE) const;
    void CheckDlgButton(int id, UINT check);
    UINT IsDlgButtonChecked(int id) const;
    void CheckRadioButton(int firstId, int lastId, int checkId);
    int GetCheckedRadioButton(int firstId, int lastId) const;
    CWnd* GetParent() const;
    CWnd* SetParent(CWnd* newParent);
    CWnd* GetOwner() const;
    CWnd* GetTopLevelParent() const;
    CFrameWnd* GetParentFrame() const;
    CFrameWnd* GetTopLevelFrame() const;
    CWnd* GetWindow(UINT relation) const;
    CWnd* GetNextDlgGroupItem(CWnd* control, BOOL previous = FALSE) const;
    BOOL IsChild(const CWnd* wnd) const;
    CWnd* ChildWindowFromPoint(POINT client) const;

    // Geometry.
    void GetClientRect(RECT* rect) const;
    void GetWindowRect(RECT* rect) const;  // screen coordinates
    void ClientToScreen(POINT* point) const;
    void ClientToScreen(RECT* rect) const;
    void ScreenToClient(POINT* point) const;
    void ScreenToClient(RECT* rect) const;
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
    void MoveWindow(const RECT* rect, BOOL repaint = TRUE);
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
    void CenterWindow(CWnd* alternateOwner = nullptr);
    void BringWindowToTop();
    // Window rectangle needed for a client rectangle with this style.
    virtual void CalcWindowRect(RECT* clientRect, UINT adjustType = 0);

    // State.
    DWORD GetStyle() const;
    DWORD GetExStyle() const;
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);
    BOOL ShowWindow(int command);
    BOOL IsWindowVisible() const;
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL IsIconic() const;
    BOOL IsZoomed() const;
    CWnd* SetFocus();
    static CWnd* GetFocus();
    CWnd* SetCapture();
    static CWnd* GetCapture();
    static CWnd* GetActiveWindow();
    CWnd* SetActiveWindow();
    BOOL SetForegroundWindow();
    static CWnd* GetForegroundWindow() { return GetActiveWindow(); }
    static CWnd* GetDesktopWindow();
    HICON SetIcon(HICON icon, BOOL big);
    HICON GetIcon(BOOL big) const;
    CMenu* GetMenu() const;
    BOOL SetMenu(CMenu* menu);
    void DrawMenuBar() {}
    void DragAcceptFiles(BOOL accept = TRUE);

    // Painting.
    void Invalidate(BOOL erase = TRUE);
    void InvalidateRect(const RECT* rect, BOOL erase = TRUE);
    void ValidateRect(const RECT* rect);
    void UpdateWindow();
    BOOL RedrawWindow(const RECT* rect = nullptr, void* region = nullptr, UINT flags = RDW_INVALIDATE | RDW_ERASE);
    BOOL GetUpdateRect(RECT* rect, BOOL erase = FALSE);
    CDC* GetDC();
    int ReleaseDC(CDC* dc);

    // Scroll bars of the window.
    int SetScrollPos(int bar, int pos, BOOL redraw = TRUE);
    int GetScrollPos(int bar) const;
    void SetScrollRange(int bar, int minPos, int maxPos, BOOL redraw = TRUE);
    void GetScrollRange(int bar, int* minPos, int* maxPos) const;
    BOOL SetScrollInfo(int bar, SCROLLINFO* info, BOOL redraw = TRUE);
    BOOL GetScrollInfo(int bar, SCROLLINFO* info, UINT mask = SIF_ALL) const;
    int GetScrollLimit(int bar) const;
    void ShowScrollBar(UINT bar, BOOL show = TRUE);
    void ScrollWindow(int dx, int dy, const RECT* scrollRect = nullptr, const RECT* clipRect = nullptr);

    // Timers (user-interface thread).
    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs, void* timerProc = nullptr);
    BOOL KillTimer(UINT_PTR id);

    // Message boxes through the prompter.
    int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK);

    // Typed handlers, called by OnWndMsg. Each default passes the message to
    // DefWindowProc.
    virtual int OnCreate(LPCREATESTRUCT cs);
    virtual void OnDestroy();
    virtual void OnNcDestroy();
    virtual void PostNcDestroy();
    virtual void OnClose();
    virtual void OnPaint();
    virtual BOOL OnEraseBkgnd(CDC* dc);
    virtual void OnSize(UINT type, int cx, int cy);
    virtual void OnMove(int x, int y);
    virtual void OnShowWindow(BOOL show, UINT status);
    virtual void OnActivate(UINT state, CWnd* other, BOOL minimized);
    virtual void OnSetFocus(CWnd* oldWnd);
    virtual void OnKillFocus(CWnd* newWnd);
    virtual void OnEnable(BOOL enable);
    virtual void OnLButtonDown(UINT flags, CPoint point);
    virtual void OnLButtonUp(UINT flags, CPoint point);
    virtual void OnLButtonDblClk(UINT flags, CPoint point);
    virtual void OnRButtonDown(UINT flags, CPoint point);
    virtual void OnRButtonUp(UINT flags, CPoint point);
    virtual void OnMouseMove(UINT flags, CPoint point);
    virtual BOOL OnMouseWheel(UINT flags, short delta, CPoint point);
    virtual void OnKeyDown(UINT ch, UINT repeat, UINT flags);
    virtual void OnKeyUp(UINT ch, UINT repeat, UINT flags);
    virtual void OnChar(UINT ch, UINT repeat, UINT flags);
    virtual void OnTimer(UINT_PTR id);
    // `scrollCtrl` is the slider or scroll-bar control, null for the
    // window's own scroll bars.
    virtual void OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl);
    virtual void OnVScroll(UINT code, UINT pos, CWnd* scrollCtrl);
    virtual void OnDrawItem(int id, LPDRAWITEMSTRUCT dis);
    virtual BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
    virtual void OnContextMenu(CWnd* wnd, CPoint screenPoint);
    virtual void OnDropFiles(HDROP drop);
    virtual void OnMDIActivate(BOOL activate, CWnd* activateWnd, CWnd* deactivateWnd);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Owner-drawn controls draw themselves: the parent's WM_DRAWITEM is
    // passed back to the control's object.
    virtual void DrawItem(LPDRAWITEMSTRUCT dis);
    // Frames and bars refresh their command states here on idle.
    virtual void OnIdleUpdateCmdUI() {}
    // Dialog key handling (Enter, Escape); true when consumed.
    virtual BOOL PreTranslateMessage(MSG* msg);

protected:
    friend class win::WindowSystem;
    // Set to true by the destructor while a caller watches whether a failed
    // creation deleted the object (frames and views delete themselves).
    bool* m_deletedFlag = nullptr;
    bool m_hadWindow = false;  // a window was attached at some time
    // Creates like CreateEx; after a failure the object is gone whether or
    // not a window came to exist (PostNcDestroy runs either way).
    BOOL CreateOrDispose(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                         const RECT& rect, CWnd* parent, UINT idOrMenu, void* param);
    // Routes a WM_COMMAND with a control handle back to the control first
    // (none of the suite's controls consume them); false to go on.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

private:
    explicit CWnd(HWND pseudo) : m_hWnd(pseudo) {}
    BOOL DispatchTypedMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
};

// ---- Free functions of the windowing API ------------------------------------

BOOL IsWindow(HWND hwnd);
BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
BOOL PeekMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove);
BOOL GetMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
LRESULT DispatchMessage(const MSG* msg);
BOOL TranslateMessage(const MSG* msg);
BOOL DestroyWindow(HWND hwnd);
BOOL ShowWindow(HWND hwnd, int command);
BOOL EnableWindow(HWND hwnd, BOOL enable);
BOOL IsWindowVisible(HWND hwnd);
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
BOOL UpdateWindow(HWND hwnd);
BOOL GetClientRect(HWND hwnd, RECT* rect);
BOOL GetWindowRect(HWND hwnd, RECT* rect);
HWND GetParent(HWND hwnd);
HWND GetDlgItem(HWND hwnd, int id);
HWND GetDesktopWindow();
HWND GetFocus();
HWND SetFocus(HWND hwnd);
HWND GetCapture();
BOOL ReleaseCapture();
HWND WindowFromPoint(POINT screen);
BOOL SetWindowText(HWND hwnd, const char* text);
int GetWindowText(HWND hwnd, char* buffer, int maxCount);
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, void* timerProc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);
void Sleep(DWORD ms);
DWORD GetTickCount();
int MessageBox(HWND hwnd, const char* text, const char* caption, UINT type);
int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT stringId, UINT type = MB_OK, UINT helpId = 0);
// Key state of the keyboard: shift and control as the last input left them.
short GetKeyState(int virtualKey);
short GetAsyncKeyState(int virtualKey);
BOOL GetCursorPos(POINT* point);
BOOL SetCursorPos(int x, int y);

namespace win {

// Runs the waiting messages of the user-interface thread during a long
// operation: every waiting message is dispatched; on WM_QUIT the quit is
// posted again and the result is false. Then the application's idle
// processing runs (counts 0, 1, 2 ... until it returns false).
bool PumpPendingMessages();

// One message of the user-interface thread: waits for it, offers it to the
// objects from its window up to the top level (dialog keys), dispatches it.
// False on WM_QUIT (the main loop ends).
bool PumpMessage();
void TranslateAndDispatch(MSG& msg);

// Dispatches waiting messages (no idle processing) until none waits or
// `predicate` holds; with a timeout, blocks for new messages until then.
// For tests and modal loops; returns whether the predicate held.
bool PumpUntil(const std::function<bool()>& predicate, int timeoutMs = 0);

// Gives a window object as the given class or null (a checked downcast).
template <class T>
T* WindowAs(HWND hwnd)
{
    return dynamic_cast<T*>(CWnd::FromHandle(hwnd));
}

}  // namespace win
