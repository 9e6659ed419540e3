// The older form of the panorama: the whole sphere in one 3-channel image in
// which every row has the equator's sample count, with a data area, zoom
// factors for its elliptical overview, text and image layers and registered
// viewers. Exported with the rest of Mapdeck; the suite itself does not use
// it. Shared by the Image reference count.
#pragma once

#include "imaging/image.h"
#include "imaging/list.h"
#include "worldmap/bmp_layer.h"
#include "worldmap/text_layer.h"

#include <cstdint>
#include <memory>

class CBand;
class DataViewer;
class KestovaFile;

class RectWorldMap : public Image {
public:
    // A (W/2)*2 x (W/4)*2 + 1 image, cleared; column W/2 is longitude 0 and
    // row W/4 the equator.
    explicit RectWorldMap(int width);
    ~RectWorldMap() override;

    void GetMapCenter(int& x, int& y) const
    {
        x = m_centerX;
        y = m_centerY;
    }
    // Clears the samples and empties the data area.
    void ResetImage();
    // Resizes for a new equator width (clearing the samples) and sends event
    // 17; nothing when the centre stays.
    void ChangeSize(int width);
    void SetZoomFactor(float zx, float zy)
    {
        m_zoomX = zx;
        m_zoomY = zy;
    }

    TextLayer* GetTextLayer();
    BmpLayer* GetBmpLayer() const { return m_bmpLayer.get(); }
    // A viewer added twice is held (and notified) twice.
    void AddViewer(DataViewer* viewer);
    void RemoveViewer(DataViewer* viewer);
    // Calls DataViewer::NotifyRect(event, this, param) on every viewer in
    // order; always 0.
    int NotifyViewers(int event, std::uintptr_t param);
    int ViewerCallback(DataViewer* viewer, int code, std::uintptr_t param);

    // The data area: columns [x0, x1) (x1 < x0 wraps), rows [y0, y1); all
    // four 0 when empty.
    void GetDataArea(int& x0, int& y0, int& x1, int& y1, int& width, int& height) const;
    void UpdateYDataAreaRect(int a, int b);
    void UpdateXDataAreaRect(int a, int b);

    // x and y from the centre; both wrap (rows too: no reflection).
    void SetPixel(int x, int y, const char* pixel);
    void PixelBlend(int x, int y, const char* pixel, float weight);
    // Image column and row; null outside the image.
    uint8_t* GetDataPtr(int column, int row) const;
    int GetRingIndex(float latitude) const;
    int GetIndexInRing(float longitude) const;
    // The nearest pixel to (x, y) from the centre, wrapped; three bytes.
    void GetPixelValue(float x, float y, uint8_t* out) const;

    // Copies an image in at (x, y) and makes its rectangle the data area.
    void AddData(Image* image, int x, int y);
    // Merges a scene file's rectangular band and bands; event 16 when the
    // data area changed, 15 when not (rect_world_map_scene.cpp).
    void AddData(KestovaFile* file);

    // The elliptical overview, scrolled by (x, y) and scaled by the zoom
    // factors, and a grid of latitude lines and meridians over it.
    void ComputeWorldMapImage(Image* image, int x, int y) const;
    void ComputeWorldMapGrid(Image* image, int x, int y) const;
    bool ComputeWorldMapPoint(int x, int y, int scrollX, int scrollY, int& outX, int& outY) const;

    // Kept for the interface; they do nothing.
    void ComputePlaneImage(Image*, float, float, float, float) {}
    void ComputeFishEyeImage(Image*, float, float, float, float) {}

    int32_t m_centerX;
    int32_t m_centerY;
    int32_t m_dataX0 = 0;
    int32_t m_dataX1 = 0;
    int32_t m_dataY0 = 0;
    int32_t m_dataY1 = 0;
    float m_zoomX = 1.0f;
    float m_zoomY = 1.0f;

private:
    std::unique_ptr<TextLayer> m_textLayer;
    std::unique_ptr<BmpLayer> m_bmpLayer;
    std::unique_ptr<List> m_viewers;

    // Geometry of the elliptical overview shared by the image and the grid.
    struct Overview {
        int g, m, sx, sy, hw, hh;
        int firstRow, lastRow;  // image rows drawn; empty when last < first
    };
    bool OverviewGeometry(const Image& image, int x, int y, Overview& o) const;
    void MergeRectBand(KestovaFile& file);
    void MergeBand(const CBand& band, int channels);
};
