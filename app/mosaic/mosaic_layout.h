// The mosaic grid laid over a panorama view ("Create Grivelle image..."): a
// row of tile columns between a sky line and a ground line, in the
// panorama's data pixels, with one column optionally marked for a sky tile
// and one for a ground tile. It draws itself over the view, answers what
// lies under the mouse, follows drags of its lines and handles, and owns the
// modeless maker dialog. The rect-map view creates it and removes it.
#pragma once

#include "core/win_types.h"

#include <cstdint>

class CDC;
class CMosaicMakerDlg;
class CRectMapView;
class Image;

class MosaicLayout {
public:
    // Hit codes beside the boundary indices 0..count-1.
    static constexpr int kSkyLine = -1;
    static constexpr int kGroundLine = -2;
    static constexpr int kSkyHandle = -3;
    static constexpr int kGroundHandle = -4;
    static constexpr int kNothing = -10;
    // The colours of the base image: a cyan-like fill, the right third darker.
    static constexpr int kBaseFill = 0xFFFF01;

    MosaicLayout() = default;
    ~MosaicLayout();
    MosaicLayout(const MosaicLayout&) = delete;
    MosaicLayout& operator=(const MosaicLayout&) = delete;

    // Stores the data size; with setResolution the percent becomes
    // 30000 / width clamped to 10..100. False (nothing stored) for an empty
    // data area.
    bool SetDataSize(int width, int height, bool setResolution);
    int GetResolutionPercent() const { return m_resolutionPercent; }
    void SetResolutionPercent(int percent);
    // Regrids into n equal columns; false when n is the current count or is
    // refused (outside 1..width/2, which could not keep every boundary
    // strictly between its neighbours).
    bool SetTileCount(int n);
    void ResetRows();
    int GetTileCount() const { return m_boundaryCount - 1; }
    int GetSpanWidth() const;
    int GetSpanHeight() const { return m_groundRow - m_skyRow; }

    // Screen = data x zoom (truncated) + offset.
    void Draw(CDC* dc, int offsetX, int offsetY, float zoomX, float zoomY) const;
    // What lies at a data point (hit codes).
    int HitTest(int x, int y) const;
    void SetDragTarget(int hit) { m_dragTarget = hit; }
    int GetDragTarget() const { return m_dragTarget; }
    // Where the dragged item would be after a move of (dx, dy) screen pixels
    // since the drag began; -1 when nothing is dragged.
    int DragPosition(float zoomX, float zoomY, int dx, int dy) const;
    void ApplyDrag(float zoomX, float zoomY, int dx, int dy);
    // The dragged item at the old and the new move, drawn inverted.
    void DrawDragFeedback(CDC* dc, int offsetX, int offsetY, float zoomX, float zoomY, int x1, int y1, int x2,
                          int y2) const;

    void OpenMakerDialog(CRectMapView* view);
    void ApplyDialogSettings();
    void CloseMakerDialog();
    // The mosaic's base image (one reference for the caller), or null.
    Image* MakeBackground(int width) const;

    int GetBoundaryCount() const { return m_boundaryCount; }
    int GetBoundary(int i) const { return i >= 0 && i < m_boundaryCount ? m_boundaries[i] : -1; }
    int GetSkyRow() const { return m_skyRow; }
    int GetGroundRow() const { return m_groundRow; }
    void SetRows(int sky, int ground);
    int GetSkyTile() const { return m_skyTile; }
    int GetGroundTile() const { return m_groundTile; }
    bool IsSkyOn() const { return m_skyOn; }
    bool IsGroundOn() const { return m_groundOn; }
    int GetDataWidth() const { return m_dataWidth; }
    int GetDataHeight() const { return m_dataHeight; }
    CMosaicMakerDlg* GetMakerDialog() const { return m_makerDialog; }
    CRectMapView* GetView() const { return m_view; }

private:
    int ColumnMiddle(int tile) const { return (m_boundaries[tile] + m_boundaries[tile + 1]) / 2; }
    bool HasTile(int tile) const { return tile >= 0 && tile + 1 < m_boundaryCount; }
    int ColumnAt(int x) const;
    void DrawHandle(CDC* dc, int middle, int row, bool above, int offsetX, int offsetY, float zoomX, float zoomY) const;

    // Kept in the order the mosaic has always laid them out.
    int32_t m_boundaryCount = 0;
    int32_t* m_boundaries = nullptr;  // owned
    int32_t m_skyRow = 0;
    int32_t m_groundRow = 0;
    int32_t m_reserved = 0;
    int32_t m_skyTile = -1;
    int32_t m_groundTile = -1;
    bool m_skyOn = false;
    bool m_groundOn = false;
    int32_t m_dataWidth = 0;
    int32_t m_dataHeight = 0;
    int32_t m_resolutionPercent = 50;
    int32_t m_dragTarget = kSkyHandle;
    CMosaicMakerDlg* m_makerDialog = nullptr;  // owned
    CRectMapView* m_view = nullptr;
};
