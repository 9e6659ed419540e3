// The window-side state of a world-map or image viewer: zoom, scroll, the
// border offsets that centre a small view in a large window, the rubber-band
// selection with its nine handles, moving-object and mouse drags, drawing
// the screen image into a device context, and clipboard copy and paste. It
// owns no window: the application's views derive from it, feed it client
// points and call its drawing from their paint handlers.
#pragma once

#include "platform/win/gdi.h"
#include "platform/win/win_rect.h"
#include "worldmap/data_viewer.h"

#include <cstdint>

class DataViewerWnd : public DataViewer {
public:
    // State flags.
    static constexpr int16_t kNewRect = 0x01;
    static constexpr int16_t kMovingObject = 0x02;
    static constexpr int16_t kSelectionShown = 0x04;
    static constexpr int16_t kFitToWindow = 0x08;
    static constexpr int16_t kFitKeepsAspect = 0x10;
    static constexpr int16_t kMouseDrag = 0x20;
    static constexpr int16_t kHandleDrag = 0x40;
    // InitWndRect's answer for a point that starts a new rectangle.
    static constexpr int kNewRectHandle = 10;

    DataViewerWnd();
    DataViewerWnd(const DataViewerWnd& other);
    DataViewerWnd& operator=(const DataViewerWnd& other);
    ~DataViewerWnd() override = default;

    void UpdateViewSize();
    void GetViewSize(int& width, int& height) const;
    void GetWndSize(int& width, int& height) const;
    void GetOffset(int& x, int& y) const;
    // The centring offsets of a view smaller than its window.
    void SetOffset(int x, int y)
    {
        m_offsetX = x;
        m_offsetY = y;
    }
    void GetCurrentZoom(float& x, float& y) const;
    RECT* GetWndSelRect() { return &m_wndSelRect; }

    bool ChangeZoom(float x, float y);
    bool ZoomIn();
    bool ZoomOut();
    bool ResetZoom();
    bool SetZoomToFit(bool keepAspect);
    bool DVWupdateSize(int width, int height);
    void DVWupdateScroll(CPoint scroll);
    bool ConvertToDVWpoint(CPoint& point, int& x, int& y) const;
    void ConvertoScreenRect(RECT& in, RECT& out) const;
    void DrawBkground(CDC* cdc, Image* image, COLORREF colour);

    // Selection drag.
    int InitWndRect(int x, int y);
    bool IsInDragWndRectState() const { return (m_flags & (kNewRect | kHandleDrag)) != 0; }
    void DragWndRect(int x, int y, CDC* cdc);
    void EndDragWndRect(int x, int y, CDC* cdc);
    bool HasSelectionRect() const { return (m_flags & kSelectionShown) != 0; }
    bool RemoveSelectionRect(CDC* cdc);
    bool ResetWndRect();
    void MoveWndRect(int dx, int dy);
    void DrawRect(CDC* cdc);
    void DrawObjRect(RECT& rect, CDC* cdc);
    void MoveObjRect(RECT& rect, int dx, int dy, CDC* cdc);

    // Moving-object drag: the flags word is exactly kMovingObject meanwhile.
    void InitMoveObj(int x, int y);
    bool IsInMovingObjState(int x, int y, int& dx, int& dy);
    bool EndMoveObj(int& dx, int& dy);

    // Plain mouse drag.
    void MouseDown(int x, int y);
    void MouseMove(int& x, int& y);
    void GetMouseMotion(int& dx, int& dy) const;
    void MouseUp(int x, int y);

    void CopyToClipBoard(HWND hwnd, Image* image, RECT* rect);
    Image* PastFromClipBoard(HWND hwnd);
    // Writes "(x,y)=v" or "(x,y)=r g b" of the screen pixel under a view
    // point into buf (at least kPixelTextBytes); empty outside the image.
    void PrintBkgBmpValue(char* buf, int x, int y);
    static constexpr int kPixelTextBytes = 64;

    int16_t GetStateFlags() const { return m_flags; }
    int GetHandleCode() const { return m_handle; }
    // The rectangle being dragged, normalised, in view pixels.
    void GetDragRect(RECT& out) const { MakeStandardRect(out); }

private:
    bool DrawRect(RECT* rect, CDC* cdc);
    void DrawSpot(CDC* cdc, int x, int y);
    void MakeStandardRect(RECT& out) const;
    void MakeWndRect(RECT& out) const;
    void CopyMembers(const DataViewerWnd& other);
    bool CoversWholeView(const RECT& r) const;
    void SelectWholeView();
    void ClampIntoView(int& x, int& y) const;

    // Kept in the order the viewers have always laid them out; 32-bit so
    // that a full panorama at zoom 4 (wider than 8,191 pixels) still fits.
    int32_t m_dragX0 = 0;  // also the start point of the moving-object and mouse drags
    int32_t m_dragY0 = 0;
    int32_t m_dragX1 = 0;  // also their last point
    int32_t m_dragY1 = 0;
    int32_t m_viewWidth = 0;  // the zoomed screen image
    int32_t m_viewHeight = 0;
    int32_t m_offsetX = 0;  // where the view starts in the window
    int32_t m_offsetY = 0;
    int32_t m_scrollX = 0;
    int32_t m_scrollY = 0;
    RECT m_wndSelRect = {0, 0, -1, -1};  // inclusive, view pixels
    int16_t m_flags = 0;
    int16_t m_handle = 0;
    int32_t m_lastX = 0;
    int32_t m_lastY = 0;
    float m_zoomX = 1.0f;
    float m_zoomY = 1.0f;
};
