#include "worldmap/rect_world_map.h"

#include "core/logger.h"
#include "worldmap/data_viewer.h"
#include "worldmap/map_math.h"
#include "worldmap/pixel_ops.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using mapmath::TruncToInt;
using mapmath::Wrap;

namespace {

bool IsOverviewImage(const Image* image)
{
    return image && image->GetData() && image->GetDataType() == IMG_UINT8 && image->IsInterleaved() &&
           image->GetChannels() == 3;
}

}  // namespace

RectWorldMap::RectWorldMap(int width)
    : m_centerX(width / 2), m_centerY(width / 4), m_viewers(std::make_unique<List>(nullptr, 4))
{
    BmpInit((width / 2) * 2, (width / 4) * 2 + 1, 3);
    ResetImage();
}

RectWorldMap::~RectWorldMap() = default;

void RectWorldMap::ResetImage()
{
    Clear();
    m_dataX0 = m_dataX1 = m_dataY0 = m_dataY1 = 0;
}

void RectWorldMap::ChangeSize(int width)
{
    if (width / 2 == m_centerX && width / 4 == m_centerY) return;
    m_centerX = width / 2;
    m_centerY = width / 4;
    Resize((width / 2) * 2, (width / 4) * 2 + 1);
    if (!GetData()) {
        Logger::log("ERROR RectWorldMap::ChangeSize: cannot resize to equator width %d", 1, width);
        m_dataX0 = m_dataX1 = m_dataY0 = m_dataY1 = 0;
        return;
    }
    // The old samples mean nothing at the new size.
    ResetImage();
    NotifyViewers(17, 0);
}

TextLayer* RectWorldMap::GetTextLayer()
{
    if (!m_textLayer) m_textLayer = std::make_unique<TextLayer>();
    return m_textLayer.get();
}

// ---------------------------------------------------------------------------
// Viewers

void RectWorldMap::AddViewer(DataViewer* viewer)
{
    if (viewer) m_viewers->Append(viewer);
}

void RectWorldMap::RemoveViewer(DataViewer* viewer)
{
    m_viewers->RemoveData(viewer);
}

// Delivered from a copy of the list, as WorldMap does: a viewer may
// unregister during any event, and one taken out before its turn is skipped.
int RectWorldMap::NotifyViewers(int event, std::uintptr_t param)
{
    const int count = m_viewers->m_count;
    if (count == 0) return 0;
    std::vector<DataViewer*> viewers(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) viewers[i] = static_cast<DataViewer*>(m_viewers->GetData(i));
    RefAdd(this);
    for (DataViewer* viewer : viewers) {
        if (m_viewers->GetIndex(viewer) < 0) continue;
        viewer->NotifyRect(event, this, param);
    }
    RefRelease(this);
    return 0;
}

int RectWorldMap::ViewerCallback(DataViewer* /*viewer*/, int code, std::uintptr_t param)
{
    if (code != 0 || param == 0) return 0;
    if (!m_bmpLayer) m_bmpLayer = std::make_unique<BmpLayer>();
    m_bmpLayer->AddBmpCell(reinterpret_cast<BmpCell*>(param));
    NotifyViewers(0, param);
    return 0;
}

// ---------------------------------------------------------------------------
// Data area (ends exclusive)

void RectWorldMap::GetDataArea(int& x0, int& y0, int& x1, int& y1, int& width, int& height) const
{
    x0 = m_dataX0;
    y0 = m_dataY0;
    x1 = m_dataX1;
    y1 = m_dataY1;
    height = y1 - y0;
    width = x1 - x0;
    if (x1 < x0) width += GetWidth();
}

void RectWorldMap::UpdateYDataAreaRect(int a, int b)
{
    if (m_dataY0 == 0 && m_dataY1 == 0) {
        m_dataY0 = a;
        m_dataY1 = b + 1;
        return;
    }
    m_dataY0 = std::min(m_dataY0, a);
    if (b >= m_dataY1) m_dataY1 = b + 1;
}

void RectWorldMap::UpdateXDataAreaRect(int a, int b)
{
    int& xs = m_dataX0;
    int& xe = m_dataX1;
    const int wi = GetWidth();
    auto full = [&] {
        xs = 0;
        xe = wi;
    };
    if (xs == xe) {
        xs = a;
        xe = b + 1;
        return;
    }
    const int g = xs - b - 1;
    const int d = a - xe;
    if (a > b) {
        if (xs > xe) {
            xs = std::min(xs, a);
            if (b >= xe) xe = b + 1;
        } else if (d > 0 && g <= 0) {
            xs = a;
            xe = std::max(xe, b + 1);
        } else if (d > 0) {
            if (d < g)
                xe = b + 1;
            else
                xs = a;
        } else if (g <= 0) {
            full();
        } else {
            xe = b + 1;
            if (a < xs) xs = a;
        }
        return;
    }
    if (xs < xe) {
        if (b >= xs && xe >= a) {
            xs = std::min(xs, a);
            xe = std::max(xe, b + 1);
        } else if (b >= xs) {  // the new span lies after the old one
            if ((xs - b) + wi >= a - xe)
                xe = b + 1;
            else
                xs = a;
        } else {  // before it
            if (xs - b >= (a - xe) + wi)
                xe = b + 1;
            else
                xs = a;
        }
        return;
    }
    if (g > 0 && d < 1) {
        if (b >= xe) xe = b + 1;
    } else if (g > 0) {
        if (g >= d)
            xe = b + 1;
        else
            xs = a;
    } else if (d < 1) {
        full();
    } else if (a < xs) {
        xs = a;
    }
}

// ---------------------------------------------------------------------------
// Pixels

uint8_t* RectWorldMap::GetDataPtr(int column, int row) const
{
    if (!GetData() || column < 0 || column >= GetWidth() || row < 0 || row >= GetHeight()) return nullptr;
    return GetData() + static_cast<size_t>(row) * GetRowByte() + static_cast<size_t>(column) * 3;
}

void RectWorldMap::SetPixel(int x, int y, const char* pixel)
{
    if (!GetData() || GetWidth() <= 0 || GetHeight() <= 0) return;
    const int64_t column = Wrap(static_cast<int64_t>(x) + m_centerX, GetWidth());
    const int64_t row = Wrap(static_cast<int64_t>(y) + m_centerY, GetHeight());
    pixelops::StorePixel(GetDataPtr(static_cast<int>(column), static_cast<int>(row)), pixel, 3);
}

void RectWorldMap::PixelBlend(int x, int y, const char* pixel, float weight)
{
    if (!GetData() || GetWidth() <= 0 || GetHeight() <= 0) return;
    const int64_t column = Wrap(static_cast<int64_t>(x) + m_centerX, GetWidth());
    const int64_t row = Wrap(static_cast<int64_t>(y) + m_centerY, GetHeight());
    pixelops::BlendPixel(GetDataPtr(static_cast<int>(column), static_cast<int>(row)), pixel, weight, 3);
}

int RectWorldMap::GetRingIndex(float latitude) const
{
    const float t = latitude / 90.0f + 1.0f;
    return TruncToInt(static_cast<float>((GetHeight() - 1) / 2) * t);
}

int RectWorldMap::GetIndexInRing(float longitude) const
{
    return TruncToInt(static_cast<float>(GetWidth()) / 360.0f * (longitude + 180.0f) + 0.5f);
}

void RectWorldMap::GetPixelValue(float x, float y, uint8_t* out) const
{
    if (!out) return;
    const int w = GetWidth();
    const int h = GetHeight();
    const float fx = x + static_cast<float>(m_centerX);
    const float fy = y + static_cast<float>(m_centerY);
    if (!GetData() || w <= 0 || h <= 0 || !std::isfinite(fx) || !std::isfinite(fy)) {
        out[0] = out[1] = out[2] = 0;
        return;
    }
    // Wrapped into the image by whole turns, then truncated; rounding can
    // land exactly on the size, which is column (row) 0 again.
    float wx = std::fmod(fx, static_cast<float>(w));
    if (wx < 0.0f) wx += static_cast<float>(w);
    float wy = std::fmod(fy, static_cast<float>(h));
    if (wy < 0.0f) wy += static_cast<float>(h);
    int column = static_cast<int>(wx);
    int row = static_cast<int>(wy);
    if (column >= w) column = 0;
    if (row >= h) row = 0;
    std::memcpy(out, GetDataPtr(column, row), 3);
}

void RectWorldMap::AddData(Image* image, int x, int y)
{
    if (!image || !image->GetData() || !GetData() || image->GetDataType() != IMG_UINT8 || !image->IsInterleaved() ||
        image->GetChannels() != 3) {
        Logger::log("ERROR RectWorldMap::AddData: not an 8-bit 3-channel image", 1);
        return;
    }
    image->CopyDataTo(0, image->GetWidth() - 1, 0, image->GetHeight() - 1, this, x, y);
    // The data area is the part of the image's rectangle that lies in the
    // map, ends exclusive.
    const int x0 = std::max(x, 0);
    const int y0 = std::max(y, 0);
    const int x1 = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(x) + image->GetWidth(), GetWidth()));
    const int y1 = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(y) + image->GetHeight(), GetHeight()));
    if (x1 <= x0 || y1 <= y0) return;
    m_dataX0 = x0;
    m_dataX1 = x1;
    m_dataY0 = y0;
    m_dataY1 = y1;
}

// ---------------------------------------------------------------------------
// Overview

bool RectWorldMap::OverviewGeometry(const Image& image, int x, int y, Overview& o) const
{
    if (!(m_zoomX > 0.0f) || !(m_zoomY > 0.0f) || !std::isfinite(m_zoomX) || !std::isfinite(m_zoomY)) return false;
    if (!GetData() || m_centerX <= 0 || m_centerY <= 0) return false;
    o.g = TruncToInt(static_cast<float>(m_centerX) * m_zoomX + 0.5f);
    o.m = TruncToInt(static_cast<float>(m_centerY) * m_zoomY + 0.5f);
    o.sx = TruncToInt(static_cast<float>(x) * m_zoomX + 0.5f);
    o.sy = TruncToInt(static_cast<float>(y) * m_zoomY + 0.5f);
    const int width = image.GetWidth();
    const int height = image.GetHeight();
    o.hw = width / 2;
    o.hh = height / 2;
    if (o.m <= 0 || o.g <= 0) return false;
    const int64_t left = static_cast<int64_t>(o.hw) - o.g - o.sx;
    const int64_t right = static_cast<int64_t>(o.g) + o.hw - o.sx;
    const int64_t first = static_cast<int64_t>(o.hh) - o.m - o.sy;
    const int64_t last = static_cast<int64_t>(o.m) + o.hh - o.sy;
    if (left >= width || right < 0 || first >= height || last < 0) return false;
    o.firstRow = static_cast<int>(std::max<int64_t>(0, first));
    o.lastRow = static_cast<int>(std::min<int64_t>(last, height - 1));
    return o.firstRow <= o.lastRow;
}

void RectWorldMap::ComputeWorldMapImage(Image* image, int x, int y) const
{
    if (!IsOverviewImage(image)) return;
    image->Clear();
    Overview o;
    if (!OverviewGeometry(*image, x, y, o)) return;
    const int mapW = GetWidth();
    const int mapH = GetHeight();
    const int imageW = image->GetWidth();
    const int64_t jOrigin = static_cast<int64_t>(o.sx) - o.hw;  // overview offset of image column 0
    const float m2 = static_cast<float>(o.m) * static_cast<float>(o.m);
    for (int i = o.firstRow; i <= o.lastRow; ++i) {
        const int w = o.sy + i - o.hh;
        const float q = m2 - static_cast<float>(w) * static_cast<float>(w);
        const float b = 2.0f * std::sqrt(q > 0.0f ? q : 0.0f);
        if (b < static_cast<float>(jOrigin) || -b > static_cast<float>(jOrigin + imageW - 1)) continue;
        const int e = TruncToInt(b);
        if (e == 0) continue;
        const int64_t jFrom = std::max<int64_t>(jOrigin, -e);
        const int64_t jTo = std::min<int64_t>(e, jOrigin + imageW - 1);
        // Map row position, kept on the map (the rounded ellipse may reach
        // a fraction past a pole).
        float r = static_cast<float>(w) / m_zoomY + static_cast<float>(m_centerY);
        r = std::clamp(r, 0.0f, static_cast<float>(mapH - 1));
        const int d = static_cast<int>(r);
        const float gy = r - static_cast<float>(d);
        const bool twoRows = d != mapH - 1 && gy != 0.0f;
        const uint8_t* row0 = GetData() + static_cast<size_t>(d) * GetRowByte();
        const uint8_t* row1 = twoRows ? row0 + GetRowByte() : row0;
        uint8_t* out = image->GetData() + static_cast<size_t>(i) * image->GetRowByte();
        for (int64_t j = jFrom; j <= jTo; ++j) {
            const float hpos = static_cast<float>(m_centerX) +
                               static_cast<float>(j) * static_cast<float>(o.g) / (b * m_zoomX);
            const int64_t fl = mapmath::FloorToInt64(hpos);
            const float h = hpos - static_cast<float>(fl);
            // Columns wrap round the sphere, the one after the last included.
            const int64_t c0 = Wrap(fl, mapW);
            const int64_t c1 = c0 + 1 == mapW ? 0 : c0 + 1;
            const uint8_t* s = row0 + c0 * 3;
            const uint8_t* s10 = row0 + c1 * 3;
            const uint8_t* s01 = row1 + c0 * 3;
            const uint8_t* s11 = row1 + c1 * 3;
            uint8_t* px = out + static_cast<size_t>(j - jOrigin) * 3;
            for (int c = 0; c < 3; ++c) {
                const float base = s[c];
                float v;
                if (twoRows) {
                    if (h == 0.0f)
                        v = base + gy * (static_cast<float>(s01[c]) - base);
                    else
                        v = base + (1.0f - gy) * h * (static_cast<float>(s10[c]) - base) +
                            gy * (1.0f - h) * (static_cast<float>(s01[c]) - base) +
                            gy * h * (static_cast<float>(s11[c]) - base);
                } else {
                    v = h == 0.0f ? base : base + h * (static_cast<float>(s10[c]) - base);
                }
                px[c] = mapmath::ClampByte(static_cast<int>(v));
            }
        }
    }
}

void RectWorldMap::ComputeWorldMapGrid(Image* image, int x, int y) const
{
    if (!IsOverviewImage(image)) return;
    Overview o;
    if (!OverviewGeometry(*image, x, y, o)) return;
    const int imageW = image->GetWidth();
    const int64_t jOrigin = static_cast<int64_t>(o.sx) - o.hw;
    auto plot = [&](int row, int64_t j) {
        const int64_t k = j - jOrigin;
        if (row < o.firstRow || row > o.lastRow || k < 0 || k >= imageW) return;
        uint8_t* px = image->GetData() + static_cast<size_t>(row) * image->GetRowByte() + static_cast<size_t>(k) * 3;
        px[0] = 255;  // blue
        px[1] = 0;
        px[2] = 0;
    };
    const float m2 = static_cast<float>(o.m) * static_cast<float>(o.m);
    auto halfWidth = [&](int w) {
        const float q = m2 - static_cast<float>(w) * static_cast<float>(w);
        return 2.0f * std::sqrt(q > 0.0f ? q : 0.0f);
    };
    // Latitude lines every 50 map rows: the ellipse's chord at that row.
    const float rowStep = 50.0f * m_zoomY;
    for (int n = 0; n * rowStep <= static_cast<float>(o.m); ++n) {
        const int w = TruncToInt(n * rowStep);
        for (int sign : {1, -1}) {
            if (n == 0 && sign < 0) continue;
            const int row = sign * w + o.hh - o.sy;
            const int e = TruncToInt(halfWidth(sign * w));
            for (int64_t j = std::max<int64_t>(-e, jOrigin); j <= std::min<int64_t>(e, jOrigin + imageW - 1); ++j)
                plot(row, j);
        }
    }
    // The central meridian and 18 meridians on each side, 50 map columns
    // apart, narrowing with the row's half width.
    for (int i = o.firstRow; i <= o.lastRow; ++i) {
        const int w = o.sy + i - o.hh;
        const float factor = halfWidth(w) / static_cast<float>(o.g);
        plot(i, 0);
        for (int n = 1; n <= 18; ++n) {
            const int64_t j = TruncToInt(static_cast<float>(n) * 50.0f * m_zoomX * factor);
            plot(i, j);
            plot(i, -j);
        }
    }
}

bool RectWorldMap::ComputeWorldMapPoint(int x, int y, int scrollX, int scrollY, int& outX, int& outY) const
{
    if (x < 0 || y < 0) return false;
    const int dx = x - m_centerX;
    const int dy = y - m_centerY;
    outX = dx;
    outY = dy;
    if (dx >= m_centerX || dy > m_centerY || m_centerY <= 0) return false;
    const float ratio = static_cast<float>(dy) / static_cast<float>(m_centerY);
    const float k = std::sqrt(std::max(0.0f, 1.0f - ratio * ratio));
    outX = TruncToInt((static_cast<float>(dx) * k - static_cast<float>(scrollX)) * m_zoomX);
    outY = TruncToInt((static_cast<float>(dy) - static_cast<float>(scrollY)) * m_zoomY);
    return true;
}
