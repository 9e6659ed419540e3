// The storage of a panorama: a sphere of scan lines, one row per latitude step
// from pole to pole, each row wrapping 360 degrees. WorldMap builds on it; the
// stitching application, the image graph, pair alignment and the viewers read
// and write panoramas through it. Shared by reference count (AddReference /
// Release).
#pragma once

#include "core/geometry_records.h"
#include "imaging/image.h"
#include "imaging/ref_count.h"
#include "core/win_types.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// Every block and scan-line table the maps allocate passes through this hook
// when one is set; returning false refuses the allocation (tests use it to
// watch the requested sizes and to simulate running out of memory).
using WorldMapAllocHook = bool (*)(size_t bytes);
void SetWorldMapAllocHook(WorldMapAllocHook hook);

class WorldMapBase {
public:
    // One row of the sphere. Index i of the row (0 <= i < m_samples) is stored
    // at m_line + (i - m_first) * channels when m_first <= i <= m_last.
    struct ScanLine {
        uint8_t* m_line;   // the stored sample of index m_first; null: no storage
        float m_scale;     // m_samples / W
        int32_t m_first;
        int32_t m_last;    // inclusive
        int32_t m_samples; // samples covering the row's 360 degrees
    };

    WorldMapBase();
    // An elliptical map of the whole sphere.
    WorldMapBase(int width, int channels);
    WorldMapBase(int width, REGION2* region, int mapType, int channels);
    virtual ~WorldMapBase();
    WorldMapBase(const WorldMapBase&) = delete;
    WorldMapBase& operator=(const WorldMapBase&) = delete;

    // Set-up. Both discard any earlier storage. The width is rounded down to
    // a multiple of 4; regions are in radians (REGION2) or in equator samples
    // relative to the map centre and the equator (REGION).
    bool Init(int width, REGION2* region, int mapType, int channels);
    // With `data`, the block presents the caller's buffer at `rowBytes`
    // (0: packed rows); the map never frees such a buffer.
    bool Init2(int width, REGION* region, int mapType, uint8_t* data, int rowBytes, int channels);
    void DeleteScanLines();
    void ResetData();
    void setFullCoverFg();

    void AddReference();
    void Release();

    // Queries.
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_numScanLines; }
    int GetChannels() const { return static_cast<int>(m_channels); }
    int GetNumChannels() const { return static_cast<int>(m_channels); }
    int GetMapType() const { return m_mapType; }
    float GetViewCenter() const { return m_viewCenter; }
    int GetViewCenter_int() const;
    uint8_t* GetData() const { return m_data; }
    RECT* GetMapRect() { return &m_mapRect; }
    const RECT* GetMapRect() const { return &m_mapRect; }
    int GetAllocMode() const { return m_allocMode; }
    size_t GetNumSamples() const { return m_numSamples; }
    uint32_t GetFlags() const { return m_flags; }
    int GetRefCount() const { return m_refCount; }
    float GetZoomFactor() const { return m_zoomFactor; }
    bool IsFullMapMode() const { return m_allocMode == 0; }
    bool IsMapLoop() const { return m_allocMode == 0 || m_allocMode == 1; }
    bool IsFullPanorama() const;
    size_t GetRowBytes() const { return m_rowBytes; }

    // Absolute row; null outside the table.
    ScanLine* GetScanLine(int row) const;
    // Rows counted from the equator; 0 / 0.0 outside the map.
    int GetScanLineSamples(int y) const;
    float GetScanLineScale(int y) const;
    void GetScanLineRange(int& first, int& last) const;
    bool GetScanLineRange(int& first, int& last, int y) const;
    int GetRingIndex(float latitude) const;
    int GetIndexInRing(int row, float longitude) const;
    uint8_t* GetDataPtr(int column, int row) const;
    bool GetDataArea(int& x0, int& y0, int& x1, int& y1, int& width, int& height) const;
    bool GetDataArea(REGION2* region) const;
    bool GetDataAreaOffset(int& dx, int& dy) const;
    void GetMapInfo(RECT* rect, int& width, int& column, int& row, int& mapType) const;

    // Changes.
    void UpdateScanLineArea(int row);
    void UpdateXDataAreaRect(int a, int b);
    // Pixels are red, green, blue (or one byte) relative to the row centre
    // and the equator; stored blue, green, red, a first byte 0 stored as 1.
    void SetPixel(int x, int y, const char* pixel);
    void SetPixel_opt(int x, int y, const char* pixel);
    void PixelBlend(int x, int y, const char* pixel, float weight);
    void PixelBlend_opt(int x, int y, const char* pixel, float weight);
    // Exchanges storage with a map of the same channel count; false (and no
    // change) otherwise.
    bool SwapData(WorldMapBase* other);
    void SetZoomFactor(float zoom) { m_zoomFactor = zoom; }

    // Images of the block: a view (not owning the samples) and a copy.
    Image* GetDataImage() const;
    Image* MakeDataImage() const;

    // Kept for the interface; they do nothing.
    void AddData(Image* image, int x, int y);
    void GetPixelValue(float x, float y, uint8_t* out);
    bool ComputeWorldMapBasePoint(int x, int y, int scrollX, int scrollY, int& outX, int& outY);

    // Conversions between the map and flat images (world_map_conversion.cpp).
    void ComputePanoImage(int a, int b, int firstRow, int lastRow, Image* image, int d, int e) const;
    void ComputePanoImage_rect(int a, int b, int firstRow, int lastRow, Image* image, int d, int e) const;
    void CopyPanoImage(int a, int b, int firstRow, int lastRow, Image* image, int d, int e) const;
    bool CopyFromImage(Image* image, int width, int column, int row, int mapType);
    // Presents the image's own buffer and keeps a reference to the image, so
    // either may be released first; the buffer is freed once, by the image.
    // The image must not be resized or rotated while the map uses it. An
    // image that does not own its buffer is copied instead.
    bool TransferFromImage(Image* image, int width, int column, int row, int mapType);

    // The data area: rows [m_yStart, m_yEnd), columns [m_xStart, m_xEnd) on
    // the circle of W columns (m_xEnd < m_xStart wraps). Empty while
    // m_yStart >= m_yEnd. Public because the world-map rotation edits it.
    int32_t m_yStart = 0;
    int32_t m_yEnd = 0;
    int32_t m_xStart = 0;
    int32_t m_xEnd = 0;

protected:
    int32_t m_numScanLines = 0;
    std::unique_ptr<ScanLine[]> m_scanLines;
    uint32_t m_flags = 0;
    int32_t m_width = 0;
    uint32_t m_channels = 0;
    int32_t m_refCount = 1;
    int32_t m_mapType = 0;
    float m_viewCenter = 0.0f;
    // Samples in the block; 64-bit since an RGB sphere past W = 53,500
    // exceeds 2^32 bytes.
    size_t m_numSamples = 0;
    float m_zoomFactor = 1.0f;
    int32_t m_allocMode = 0;
    RECT m_mapRect = {0, 0, 0, 0};  // inclusive
    uint8_t* m_data = nullptr;

    void EmptyDataArea();

private:
    struct FreeDeleter {
        void operator()(uint8_t* p) const;
    };

    // Where the samples live: a block of our own, a buffer kept alive by the
    // donor image of TransferFromImage, or a caller's buffer (neither).
    std::unique_ptr<uint8_t, FreeDeleter> m_ownedBlock;
    RefPtr<Image> m_donor;
    size_t m_rowBytes = 0;

    bool SetUpTable(int width, int mapType, int channels, const char* method);
    bool AllocScanLines_Full(uint8_t* data, size_t rowBytes);
    bool AllocScanLines_Rect(int64_t c0, int64_t c1, int64_t r0, int64_t r1, uint8_t* data, size_t rowBytes);
    const ScanLine* EquatorRow(int y) const;
    uint8_t* LocatePixel(int x, int y) const;
    bool DetachFromCaller();
    static uint8_t* AllocateBlock(size_t bytes);
};
