// The bars of a frame: status bar with panes, toolbars as command-id lists
// (buttons enabled and checked by the update-command-UI routing, tool tips
// and status prompts from the string table) and dialog bars made from a
// dialog template. A frame lays its visible bars out along its sides
// (RecalcLayout) and gives the rest to its view or MDI client.
#pragma once

#include "platform/win/wnd.h"

#include <string>
#include <vector>

class CFrameWnd;

// Bar styles.
constexpr DWORD CBRS_ALIGN_LEFT = 0x1000;
constexpr DWORD CBRS_ALIGN_TOP = 0x2000;
constexpr DWORD CBRS_ALIGN_RIGHT = 0x4000;
constexpr DWORD CBRS_ALIGN_BOTTOM = 0x8000;
constexpr DWORD CBRS_ALIGN_ANY = 0xF000;
constexpr DWORD CBRS_BORDER_LEFT = 0x0100;
constexpr DWORD CBRS_BORDER_TOP = 0x0200;
constexpr DWORD CBRS_BORDER_RIGHT = 0x0400;
constexpr DWORD CBRS_BORDER_BOTTOM = 0x0800;
constexpr DWORD CBRS_BORDER_ANY = 0x0F00;
constexpr DWORD CBRS_TOOLTIPS = 0x0010;
constexpr DWORD CBRS_FLYBY = 0x0020;
constexpr DWORD CBRS_FLOAT_MULTI = 0x0040;
constexpr DWORD CBRS_BORDER_3D = 0x0080;
constexpr DWORD CBRS_HIDE_INPLACE = 0x0008;
constexpr DWORD CBRS_SIZE_DYNAMIC = 0x0004;
constexpr DWORD CBRS_SIZE_FIXED = 0x0002;
constexpr DWORD CBRS_GRIPPER = 0x00400000;
constexpr DWORD CBRS_LEFT = CBRS_ALIGN_LEFT | CBRS_BORDER_RIGHT;
constexpr DWORD CBRS_TOP = CBRS_ALIGN_TOP | CBRS_BORDER_BOTTOM;
constexpr DWORD CBRS_RIGHT = CBRS_ALIGN_RIGHT | CBRS_BORDER_LEFT;
constexpr DWORD CBRS_BOTTOM = CBRS_ALIGN_BOTTOM | CBRS_BORDER_TOP;
constexpr DWORD CBRS_ALL = 0x0040FFFF;
constexpr DWORD TBSTYLE_FLAT = 0x0800;
constexpr DWORD TBSTYLE_TOOLTIPS = 0x0100;

// Toolbar button styles.
constexpr UINT TBBS_BUTTON = 0x0000;
constexpr UINT TBBS_SEPARATOR = 0x0001;
constexpr UINT TBBS_CHECKBOX = 0x0002;
constexpr UINT TBBS_GROUP = 0x0004;
constexpr UINT TBBS_CHECKGROUP = TBBS_GROUP | TBBS_CHECKBOX;
constexpr UINT TBBS_CHECKED = 0x0100;
constexpr UINT TBBS_PRESSED = 0x0200;
constexpr UINT TBBS_DISABLED = 0x0400;
constexpr UINT TBBS_INDETERMINATE = 0x0800;
constexpr UINT TBBS_HIDDEN = 0x1000;

// Status bar pane styles.
constexpr UINT SBPS_NORMAL = 0x0000;
constexpr UINT SBPS_NOBORDERS = 0x0100;
constexpr UINT SBPS_POPOUT = 0x0200;
constexpr UINT SBPS_DISABLED = 0x0400;
constexpr UINT SBPS_STRETCH = 0x0800;

// Tool tip text request (WM_NOTIFY with TTN_NEEDTEXTA to the bar's owner).
constexpr UINT TTF_IDISHWND = 0x1;
struct TOOLTIPTEXTA {
    NMHDR hdr;
    char* lpszText;
    char szText[80];
    HINSTANCE hinst;
    UINT uFlags;
    LPARAM lParam;
};
using TOOLTIPTEXT = TOOLTIPTEXTA;
// The wide request (TTN_NEEDTEXTW): WCHAR text of 16-bit units.
struct TOOLTIPTEXTW {
    NMHDR hdr;
    char16_t* lpszText;
    char16_t szText[80];
    HINSTANCE hinst;
    UINT uFlags;
    LPARAM lParam;
};

class CControlBar : public CWnd {
public:
    DWORD GetBarStyle() const { return m_barStyle; }
    void SetBarStyle(DWORD style);
    void EnableDocking(DWORD alignment) { m_dockAllowed = alignment; }
    DWORD DockingAllowed() const { return m_dockAllowed; }
    BOOL IsFloating() const { return FALSE; }
    BOOL IsVisible() const { return IsWindowVisible(); }
    // The bar's size when docked along a side (horz: top or bottom).
    virtual CSize CalcFixedLayout(BOOL stretch, BOOL horz);
    // Refreshes buttons or controls from the update-command-UI routing of
    // `target` (the frame).
    virtual void OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler);
    void OnIdleUpdateCmdUI() override;
    CFrameWnd* GetDockingFrame() const;
    int GetCount() const;

    BOOL m_bAutoDelete = FALSE;

protected:
    // Bars pass command notifications of their controls on to the owner
    // when they have no handler of their own.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void PostNcDestroy() override;
    DWORD m_barStyle = 0;
    DWORD m_dockAllowed = 0;
};

class CStatusBar : public CControlBar {
public:
    BOOL Create(CWnd* parent, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, UINT id = AFX_IDW_STATUS_BAR);
    BOOL CreateEx(CWnd* parent, DWORD ctrlStyle = 0, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM,
                  UINT id = AFX_IDW_STATUS_BAR);
    // Pane 0 is usually ID_SEPARATOR: the stretching message pane.
    BOOL SetIndicators(const UINT* ids, int count);
    int CommandToIndex(UINT id) const;
    UINT GetItemID(int index) const;
    void SetPaneInfo(int index, UINT id, UINT style, int width);
    void GetPaneInfo(int index, UINT& id, UINT& style, int& width) const;
    UINT GetPaneStyle(int index) const;
    void SetPaneStyle(int index, UINT style);
    BOOL SetPaneText(int index, const char* text, BOOL update = TRUE);
    std::string GetPaneText(int index) const;
    void GetItemRect(int index, RECT* rect) const;
    int GetPaneCount() const { return static_cast<int>(m_panes.size()); }
    CSize CalcFixedLayout(BOOL stretch, BOOL horz) override;
    void OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler) override;
    void OnPaint() override;

private:
    struct Pane {
        UINT id;
        UINT style;
        int width;
        std::string text;
    };
    std::vector<Pane> m_panes;
};

class CToolBar : public CControlBar {
public:
    BOOL Create(CWnd* parent, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_TOP, UINT id = AFX_IDW_TOOLBAR);
    BOOL CreateEx(CWnd* parent, DWORD ctrlStyle = TBSTYLE_FLAT,
                  DWORD style = WS_CHILD | WS_VISIBLE | CBRS_ALIGN_TOP, RECT borders = RECT{0, 0, 0, 0},
                  UINT id = AFX_IDW_TOOLBAR);
    BOOL LoadToolBar(UINT resourceId);
    BOOL SetButtons(const UINT* ids, int count);
    void SetSizes(SIZE button, SIZE image);
    int CommandToIndex(UINT id) const;
    UINT GetItemID(int index) const;
    UINT GetButtonStyle(int index) const;
    void SetButtonStyle(int index, UINT style);
    void GetItemRect(int index, RECT* rect) const;
    int GetButtonCount() const { return static_cast<int>(m_buttons.size()); }
    // The picture strip of the loaded resource (null without one).
    UINT BitmapId() const { return m_bitmapId; }
    // Asks the owner for the tip of button `index` (TTN_NEEDTEXTA); without
    // an answer the text after the line break of the command's string.
    // With CBRS_FLYBY the part before it goes to the frame's message bar.
    std::string RequestToolTip(int index);
    CSize CalcFixedLayout(BOOL stretch, BOOL horz) override;
    void OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler) override;
    void OnPaint() override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    // The button under a client point, -1 for none.
    int HitTest(POINT point) const;

private:
    struct Button {
        UINT id;
        UINT style;
        int image;
    };
    bool Vertical() const;
    std::vector<Button> m_buttons;
    SIZE m_buttonSize{23, 22};
    UINT m_bitmapId = 0;
    int m_pressed = -1;
};

// A bar made from a dialog template (the stitch bar); its controls are
// enabled by the update-command-UI routing of the bar and its frame.
class CDialogBar : public CControlBar {
public:
    BOOL Create(CWnd* parent, UINT templateId, UINT style, UINT id);
    CSize CalcFixedLayout(BOOL stretch, BOOL horz) override;
    void OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler) override;
    UINT GetTemplateId() const { return m_templateId; }

private:
    CSize m_size;
    UINT m_templateId = 0;
};

namespace win {
constexpr int kStatusBarHeight = 20;
constexpr int kToolBarBorder = 2;
constexpr int kSeparatorWidth = 8;
}  // namespace win
