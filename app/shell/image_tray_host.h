// The scroll host of the image tray: a child of the tray frame (Pellicot)
// that owns the image chain and the tray rows, scrolls the rows, fits the
// frame to its content, turns the frame's commands into tray actions and
// takes files dropped from the shell.
#pragma once

#include "app/shell/image_tray.h"
#include "platform/win/wnd.h"

#include <cstdint>
#include <memory>
#include <vector>

class ImageChain;
class ImageFrame;

// Messages between the frame, the host and the rows.
constexpr UINT WM_TRAY_COMMAND = WM_USER + 16;  // wParam: the frame's command
constexpr UINT WM_TRAY_CHANGED = WM_USER + 17;  // a row changed the chain

// Bits of the host's state word.
constexpr uint16_t kHostCreated = 0x1;
constexpr uint16_t kHostFitted = 0x8;  // the frame was fitted to its content

class ImageTrayHost : public CWnd {
public:
    static constexpr int kMarginLeft = 15;
    static constexpr int kMarginRight = 15;
    static constexpr int kMarginTop = 10;
    static constexpr int kMarginBottom = 10;
    static constexpr int kMinRowWidth = 300;
    static constexpr int kMinFitHeight = 235;
    static constexpr UINT kRotateLeftCursor = 281;
    static constexpr UINT kRotateRightCursor = 282;

    ImageTrayHost();
    ~ImageTrayHost() override;

    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    bool AddFrame(ImageFrame* frame, const POINT* point, bool append);
    // Takes out a frame the group is about to delete.
    void RemoveFrame(ImageFrame* frame);
    void SetLoop(bool on);
    bool IsLoop() const;
    void ToggleLoop();
    void ReverseOrder();
    int GetFrameIndex(ImageFrame* frame) const;
    // Repaints the rows, without erasing or with.
    void Refresh(bool erase = false);
    bool GetShowNames() const { return (m_shared.state & kTrayShowNames) != 0; }
    void SetShowNames(bool on);
    void GetScrollNeeds(bool* horizontal, bool* vertical) const;
    void OnScroll(int bar, UINT code, UINT pos);
    void UpdateScrollBars();
    void FitFrame();

    ImageChain* GetChain() const { return m_chain.get(); }
    TrayState* GetTrayState() { return &m_shared; }
    ImageTray* GetFirstRow() const { return m_rows.empty() ? nullptr : m_rows.front().get(); }
    int GetRowCount() const { return static_cast<int>(m_rows.size()); }
    uint16_t GetHostState() const { return m_state; }
    int GetToolMode() const { return static_cast<int>(m_shared.state & kTrayToolMask); }

    // Rows: the layout appends them as it needs them and drops the empty
    // ones (the first always stays).
    ImageTray* AppendRow(const RECT& rect);
    void DropRowsAfter(ImageTray* row);
    // Moves every row window to its place.
    void MoveRows();
    // The host's client height (rows lay out against it).
    int ClientHeight() const;

    int OnCreate(LPCREATESTRUCT cs) override;
    void OnSize(UINT type, int cx, int cy) override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnPaint() override;
    void OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    void OnVScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    void OnDropFiles(HDROP drop) override;
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnTrayCommand(UINT command);
    void FillBackground(CDC& dc);

    uint16_t m_state = 0;
    bool m_updatingBars = false;  // showing a bar resizes the host
    std::unique_ptr<ImageChain> m_chain;
    TrayState m_shared;
    std::vector<std::unique_ptr<ImageTray>> m_rows;
};
