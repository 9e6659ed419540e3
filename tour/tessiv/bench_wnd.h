// The vista strip of the tour dialog: the tour's vistas as a horizontal row
// of thumbnails. The user activates a vista by clicking it, sets the active
// vista's initial view by dragging the marker on its thumbnail, reorders
// vistas by dragging one onto another, removes a vista by dragging it out
// of the strip, and moves vistas through the context menu. The strip reports
// to its parent with the sent message WM_USER+48: wParam 0 the active vista
// changed, 1 its initial view changed (lParam points to two floats H, V),
// 2 the vista list changed.
#pragma once

#include "platform/win/wnd.h"

#include <vector>

class Image;
class TourProject;
class Vista;
struct BITMAPINFO;

// The tour maker's one grey-scale DIB header (40-byte header, palette entry
// i = (i, i, i, 0)), filled for `image` before it is drawn: its width, minus
// its height (rows top-down) and 24 bits per pixel (8 for one channel).
BITMAPINFO* TessivBmpInfo(const Image& image);
// The rows of `image` as a DIB reads them (padded to 4 bytes).
const unsigned char* TessivDibRows(const Image& image, std::vector<unsigned char>& scratch);
// Draws `image` stretched into `dest` (HALFTONE when it shrinks).
void DrawTessivImage(CDC& dc, const Image& image, const RECT& dest, int srcX, int srcY, int srcWidth, int srcHeight);

class BenchWnd : public CWnd {
public:
    static constexpr UINT kNotify = WM_USER + 48;
    static constexpr UINT kPopupMenu = 318;
    static constexpr UINT kOutsideCursor = 167;
    static constexpr UINT kMoveBeforeActive = 40044;
    static constexpr UINT kMoveAfterActive = 40045;
    static constexpr UINT kMoveToRight = 40046;
    static constexpr UINT kMoveToLeft = 40047;
    static constexpr int kGap = 6;           // pixels between items
    static constexpr int kBottomMargin = 7;  // below the drawing area
    static constexpr int kMinSlotWidth = 128;
    static constexpr int kMarkerReach = 5;   // pixels around the marker that grab it

    BenchWnd() = default;
    BOOL Create(const RECT& rect, CWnd* parent, UINT id);
    // The tour shown (not owned); recomputes the content size and repaints.
    void SetTour(TourProject* tour);
    TourProject* GetTour() const { return m_tour; }

    // Item size of a thumbnail w x h of `kind` in a drawing area `H` high.
    static SIZE ItemSize(int kind, int w, int h, int H);
    // The marker's place inside an item of `size` for the initial view (h, v).
    static POINT MarkerPoint(SIZE size, float h, float v);

    int GetDrawHeight() const;
    // The thumbnail rectangle of the vista at `index` in client
    // coordinates (empty outside the list).
    RECT GetItemRect(int index) const;
    // The index of the vista under `point`, -1 for none.
    int HitTest(POINT point) const;
    int GetContentWidth() const { return m_contentWidth; }
    int GetScrollOffset() const { return m_scroll; }
    // Recomputes the content width and the tallest item, sets the scroll
    // range and repaints.
    void UpdateContent();

protected:
    void OnPaint() override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnRButtonDown(UINT flags, CPoint point) override;
    void OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    SIZE ItemSizeOf(const Vista& vista) const;
    Vista* VistaAt(int index) const;
    void Notify(WPARAM what, LPARAM value = 0);
    void EndDrag();

    TourProject* m_tour = nullptr;
    int m_scroll = 0;
    int m_contentWidth = 200;
    int m_tallest = 0;
    int m_pressedId = 0;        // the vista under the pressed button, 0 none
    bool m_onMarker = false;    // the press grabbed the initial-view marker
    RECT m_dragRect{};          // the dragged item's frame, client coordinates
    POINT m_pressPoint{};
    POINT m_marker{};           // the dragged marker, inside its item
    POINT m_markerStart{};
    int m_menuVistaId = 0;      // the vista the context menu moves
};
