// One row of the image tray: consecutive thumbnails of the project's image
// chain with the link bars between them. The rows stack inside the tray host
// (ImageTrayHost), which owns them; all rows share one TrayState. A row lays
// out the whole tray, hit-tests, paints, drags thumbnails to reorder or
// remove them, runs the rotate tools, shows the thumbnail and pair menus and
// takes the image browser's drops.
#pragma once

#include "platform/win/drag_drop.h"
#include "platform/win/wnd.h"

#include <cstdint>

class CDC;
class ImageChain;
class ImageFrame;
class ImageTray;
class ImageTrayHost;

// Bits of TrayState::state.
constexpr uint32_t kTrayDragging = 0x1;
constexpr uint32_t kTrayRemoveCursor = 0x2;
constexpr uint32_t kTrayShowNames = 0x4;
constexpr uint32_t kTrayToolMask = 0x1c0;
constexpr uint32_t kTrayToolRotateLeft = 0x40;
constexpr uint32_t kTrayToolRotateRight = 0x80;

// Region codes of ImageTray::TrayHitTest.
enum TrayHit : int {
    kHitNothing = 0,
    kHitLink = 1,        // link bar after the hit image
    kHitOutside = 2,     // above or below the row
    kHitLeftHalf = 3,
    kHitRightHalf = 4,
    kHitLoopLink = 6,    // link after the chain's last image
    kHitGap = 7,         // gap outside the band
    kHitLastGap = 8,     // gap after the chain's last image, outside the band
};

// The tray's state, one set shared by every row.
struct TrayState {
    ImageChain* chain = nullptr;  // owned by the host
    int gapX = 5;                 // between thumbnails
    int gapY = 15;                // between rows
    int minPerRow = 4;            // thumbnails a row holds before it may wrap
    int origin = 0;               // 0 or negative: horizontal scrolling
    int contentWidth = 0;
    int contentHeight = 0;
    uint32_t state = kTrayShowNames;
    RECT dragRect{0, 0, 0, 0};    // host coordinates
    POINT pressPoint{0, 0};
    POINT lastPoint{0, 0};
    ImageFrame* frameA = nullptr;
    ImageFrame* frameB = nullptr;
    ImageFrame* hitFrame = nullptr;
    int indexA = -1;  // the dragged image or the pair's first index
    int indexB = -1;
    int hitIndex = -1;
};

// The image browser's drops onto a row.
class TrayDropTarget : public COleDropTarget {
public:
    explicit TrayDropTarget(ImageTray* row) : m_row(row) {}
    DROPEFFECT OnDragEnter(CWnd* window, COleDataObject* data, DWORD keyState, CPoint point) override;
    DROPEFFECT OnDragOver(CWnd* window, COleDataObject* data, DWORD keyState, CPoint point) override;
    BOOL OnDrop(CWnd* window, COleDataObject* data, DROPEFFECT effect, CPoint point) override;

private:
    ImageTray* m_row;
};

class ImageTray : public CWnd {
public:
    static constexpr UINT kFirstRowId = 33170;
    static constexpr UINT kRemoveCursor = 167;
    static constexpr UINT kLinkCursor = 290;
    static constexpr UINT kImageMenu = 164;
    static constexpr UINT kPairMenu = 140;
    // The text a drag from the image browser carries.
    static constexpr const char* kBrowserDropText = "KQVZ-NOTIFY-FROM-PREVIEW";

    ImageTray(ImageTrayHost* host, TrayState* shared) : m_host(host), m_shared(shared), m_dropTarget(this) {}
    ~ImageTray() override;

    // Child, visible, dialog frame; registers the drop target.
    BOOL Create(const RECT& rect, CWnd* parent, UINT id);

    // Lays the chain out over the rows from this (the first) row on.
    void Layout();
    // Inserts the frame at a point relative to the first row; false when the
    // point names no place.
    bool InsertAt(ImageFrame* frame, POINT point);
    // Point in row coordinates; sets the shared hit index and hit frame.
    int TrayHitTest(POINT point);
    // The row under a point relative to this row (which may be below or
    // above it), null when none.
    ImageTray* FindRow(POINT point, POINT* inRow);
    bool MoveDragged(POINT hostPoint);
    void RotateAll(int angle);
    void ShowFullSize(ImageFrame* frame);
    // The drop of the image browser: true when taken.
    bool TrayDrop(COleDataObject* data, POINT point);
    // The thumbnail's rectangle in row coordinates (k counted in the row).
    RECT ThumbRect(int k) const;

    // Row geometry and contents.
    ImageTray* m_prev = nullptr;
    ImageTray* m_next = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_x = 0;
    int m_y = 0;
    int m_usedWidth = 0;
    int m_first = 0;
    int m_count = 0;

    int OnCreate(LPCREATESTRUCT cs) override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnLButtonDblClk(UINT flags, CPoint point) override;
    void OnRButtonDown(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    void TrayDrawLinks(CDC& dc);
    void DrawLoopArrow(CDC& dc, int x, int y);
    void DrawDragRect();
    void DrawDragRectIn(ImageTray* row);
    // The pair under a link-bar hit; shows menu 140 when it may be adjusted.
    void PairMenu(int code, POINT point);
    void ShowMenu(UINT menuId, POINT point);
    // Layout, row moves, the host told, repaint, the overlap dialog told.
    void AfterChainChange();
    void RemoveDragged();
    // Between this row's client coordinates and the host's (the row's
    // dialog frame lies between its window and its client area).
    POINT ToHost(POINT point) const;
    POINT FromHost(POINT point) const;

    ImageTrayHost* m_host;
    TrayState* m_shared;
    TrayDropTarget m_dropTarget;
};
