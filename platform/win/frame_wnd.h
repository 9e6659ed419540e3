// Frames: the single-document frame, the MDI main frame with its client
// area and child frames (activation and z-order), the layout of their bars
// and their view, their titles, and the command routing that starts at the
// active view: view -> document -> child frame -> main frame -> application.
#pragma once

#include "platform/win/wnd.h"

#include "platform/win/menu.h"

#include <memory>
#include <string>
#include <vector>

class CView;
class CDocument;
class CDocTemplate;
class CControlBar;
class CMDIChildWnd;

// A class that the runtime can make by its record (views and frames of the
// document templates, panes of a splitter).
struct CRuntimeClass {
    const char* m_lpszClassName;
    CObject* (*m_pfnCreateObject)();
    CObject* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
};

namespace win {
template <class T>
const CRuntimeClass* ClassOf()
{
    static const CRuntimeClass record{typeid(T).name(), []() -> CObject* { return new T(); }};
    return &record;
}
}  // namespace win

struct CCreateContext {
    const CRuntimeClass* m_pNewViewClass = nullptr;
    CDocument* m_pCurrentDoc = nullptr;
    CDocTemplate* m_pNewDocTemplate = nullptr;
    CView* m_pLastView = nullptr;
    CFrameWnd* m_pCurrentFrame = nullptr;
};

// Frame style: the title shows the active document's.
constexpr DWORD FWS_ADDTOTITLE = 0x00008000;

class CFrameWnd : public CWnd {
public:
    CFrameWnd();
    ~CFrameWnd() override;

    static const CRect rectDefault;

    BOOL Create(const char* className, const char* title, DWORD style = WS_OVERLAPPEDWINDOW,
                const RECT& rect = rectDefault, CWnd* parent = nullptr, UINT menuId = 0, DWORD exStyle = 0,
                CCreateContext* context = nullptr);
    // Title, menu and icon from the resources of `resourceId`. After a
    // failure the frame object is gone (frames delete themselves).
    virtual BOOL LoadFrame(UINT resourceId, DWORD style = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                           CWnd* parent = nullptr, CCreateContext* context = nullptr);
    virtual BOOL OnCreateClient(LPCREATESTRUCT cs, CCreateContext* context);
    CWnd* CreateView(CCreateContext* context, UINT id = AFX_IDW_PANE_FIRST);

    virtual CView* GetActiveView() const;
    void SetActiveView(CView* view, BOOL notify = TRUE);
    virtual CDocument* GetActiveDocument();
    virtual CFrameWnd* GetActiveFrame() { return this; }
    virtual void RecalcLayout(BOOL notify = TRUE);
    void InitialUpdateFrame(CDocument* doc, BOOL makeVisible);
    virtual void ActivateFrame(int cmdShow = -1);
    virtual void OnUpdateFrameTitle(BOOL addToTitle);
    void SetTitle(const char* title) { m_strTitle = title ? title : ""; }
    const std::string& GetTitle() const { return m_strTitle; }

    // The message pane of the status bar.
    void SetMessageText(const char* text);
    void SetMessageText(UINT stringId);
    CWnd* GetMessageBar() const;

    void EnableDocking(DWORD alignment) { m_dockAllowed = alignment; }
    // Docks a bar along a side (a dock-bar id, or 0 for the bar's own
    // alignment) and lays the frame out again.
    void DockControlBar(CControlBar* bar, UINT dockBarId = 0, const RECT* rect = nullptr);
    void ShowControlBar(CControlBar* bar, BOOL show, BOOL delay);
    CControlBar* GetControlBar(UINT id) const;
    std::vector<CControlBar*> ControlBars() const;
    // The rectangle left for the view or MDI client after the bars, client
    // coordinates.
    CRect ClientAreaForView() const;

    BOOL m_bAutoMenuEnable = TRUE;

    BOOL OnCmdMsg(UINT id, int code, void* extra, win::HandlerInfo* info) override;
    const win::MessageMap* GetMessageMap() const override;

protected:
    int OnCreate(LPCREATESTRUCT cs) override;
    void OnDestroy() override;
    void PostNcDestroy() override;
    void OnClose() override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnSetFocus(CWnd* oldWnd) override;
    void OnDropFiles(HDROP drop) override;
    void OnIdleUpdateCmdUI() override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    // WM_INITMENUPOPUP: the items of a menu about to show get their state
    // from the update-command-UI routing.
    void UpdateMenuItems(HMENU menu);
    // Whether routing goes on to the application (not for MDI children).
    virtual bool RoutesToApplication() const { return true; }

    CView* m_pViewActive = nullptr;
    std::string m_strTitle;
    DWORD m_dockAllowed = 0;
    UINT m_resourceId = 0;
    int m_nWindow = 0;  // ":n" of the title when a document has several frames
    std::unique_ptr<CMenu> m_menu;

    friend class CDocument;

    friend class CView;
};

class CMDIFrameWnd : public CFrameWnd {
public:
    BOOL OnCreateClient(LPCREATESTRUCT cs, CCreateContext* context) override;
    BOOL CreateClient(LPCREATESTRUCT cs, CMenu* windowMenu);
    CMDIChildWnd* MDIGetActive(BOOL* maximized = nullptr) const;
    void MDIActivate(CWnd* child);
    void MDINext();
    void MDIMaximize(CWnd* child);
    void MDIRestore(CWnd* child);
    void MDICascade();
    // Child frames in z-order, topmost (the active one) first.
    std::vector<CMDIChildWnd*> MDIChildren() const;
    CFrameWnd* GetActiveFrame() override;
    CDocument* GetActiveDocument() override;
    CView* GetActiveView() const override;
    void RecalcLayout(BOOL notify = TRUE) override;
    void OnUpdateFrameTitle(BOOL addToTitle) override;
    BOOL OnCmdMsg(UINT id, int code, void* extra, win::HandlerInfo* info) override;

    HWND m_hWndMDIClient = nullptr;

protected:
    friend class CMDIChildWnd;
    // Activation bookkeeping when a child appears or goes.
    void ChildCreated(CMDIChildWnd* child);
    void ChildDestroyed(HWND child);
    HWND m_activeChild = nullptr;
};

class CMDIChildWnd : public CFrameWnd {
public:
    BOOL Create(const char* className, const char* title,
                DWORD style = WS_CHILD | WS_VISIBLE | WS_OVERLAPPEDWINDOW, const RECT& rect = rectDefault,
                CMDIFrameWnd* parent = nullptr, CCreateContext* context = nullptr);
    BOOL LoadFrame(UINT resourceId, DWORD style = WS_CHILD | WS_VISIBLE | WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                   CWnd* parent = nullptr, CCreateContext* context = nullptr) override;
    CMDIFrameWnd* GetMDIFrame() const;
    void MDIDestroy();
    void MDIActivate();
    void MDIMaximize();
    void MDIRestore();
    void ActivateFrame(int cmdShow = -1) override;
    void OnUpdateFrameTitle(BOOL addToTitle) override;

protected:
    void OnMDIActivate(BOOL activate, CWnd* activateWnd, CWnd* deactivateWnd) override;
    void OnDestroy() override;
    bool RoutesToApplication() const override { return false; }
};

// The main window of the program as the application object holds it.
CWnd* AfxGetMainWnd();
