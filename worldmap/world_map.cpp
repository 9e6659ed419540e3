#include "worldmap/world_map.h"

#include "core/logger.h"
#include "worldmap/data_viewer.h"
#include "worldmap/map_math.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using mapmath::TruncToInt;
using mapmath::Wrap;

WorldMap::WorldMap() : m_viewers(std::make_unique<List>(nullptr, 4)) {}

WorldMap::WorldMap(int width, int channels)
    : WorldMapBase(width, channels), m_viewers(std::make_unique<List>(nullptr, 4))
{
}

WorldMap::WorldMap(int width, REGION2* region, int mapType, int channels)
    : WorldMapBase(width, region, mapType, channels), m_viewers(std::make_unique<List>(nullptr, 4))
{
}

WorldMap::~WorldMap() = default;

void WorldMap::SetName(const char* name)
{
    if (!name || !*name) return;
    m_name = name;
}

TextLayer* WorldMap::GetTextLayer()
{
    if (!m_textLayer) m_textLayer = std::make_unique<TextLayer>();
    return m_textLayer.get();
}

// ---------------------------------------------------------------------------
// Viewers

void WorldMap::AddViewer(DataViewer* viewer)
{
    if (viewer && m_viewers->GetIndex(viewer) < 0) m_viewers->Append(viewer);
}

void WorldMap::RemoveViewer(DataViewer* viewer)
{
    m_viewers->RemoveData(viewer);
}

// Every event is delivered from a copy of the list, so a viewer may register
// or unregister itself or others while it handles any event; a viewer taken
// out before its turn is skipped (it may already be gone). The map holds a
// reference of its own meanwhile, so a viewer that drops the last other one
// does not pull the map from under the loop.
int WorldMap::NotifyViewers(int event, std::uintptr_t param)
{
    const int count = m_viewers->m_count;
    if (count == 0) return 0;
    std::vector<DataViewer*> viewers(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) viewers[i] = static_cast<DataViewer*>(m_viewers->GetData(i));
    AddReference();
    for (DataViewer* viewer : viewers) {
        if (m_viewers->GetIndex(viewer) < 0) continue;
        viewer->Notify(event, this, param);
    }
    Release();
    return 0;
}

int WorldMap::ViewerCallback(DataViewer* /*viewer*/, int code, std::uintptr_t param)
{
    if (code != 0 || param == 0) return 0;
    // No operation of the map makes the image layer: the first cell handed
    // over makes it.
    if (!m_bmpLayer) m_bmpLayer = std::make_unique<BmpLayer>();
    m_bmpLayer->AddBmpCell(reinterpret_cast<BmpCell*>(param));
    NotifyViewers(0, param);
    return 0;
}

// ---------------------------------------------------------------------------
// Storage

bool WorldMap::SwapData(WorldMap* other)
{
    if (!WorldMapBase::SwapData(other)) return false;
    std::swap(m_textLayer, other->m_textLayer);
    std::swap(m_bmpLayer, other->m_bmpLayer);
    return true;
}

bool WorldMap::AddDataWM(WorldMapBase* source)
{
    if (!source || source == this || !GetScanLine(0) || !source->GetScanLine(0)) return false;
    const bool sameGeometry = source->GetWidth() == m_width &&
                              source->GetScanLine(0)->m_samples == GetScanLine(0)->m_samples &&
                              (source->GetMapType() == 1) == (m_mapType == 1);
    const bool channelsFit = source->GetChannels() == GetChannels() || source->GetChannels() == 1;
    if (!sameGeometry || !channelsFit) {
        Logger::log("ERROR WorldMap::AddDataWM: maps differ (width %d/%d, type %d/%d, channels %d/%d)", 1,
                    source->GetWidth(), m_width, source->GetMapType(), m_mapType, source->GetChannels(),
                    GetChannels());
        return false;
    }
    int x0, y0, x1, y1, w, h;
    if (!source->GetDataArea(x0, y0, x1, y1, w, h)) return true;  // nothing to copy
    --x1;
    --y1;
    const RECT block = m_mapRect;
    int dx = 0, dy = 0;
    if (x0 < block.left)
        x0 = block.left;
    else
        dx = x0 - block.left;
    if (y0 < block.top)
        y0 = block.top;
    else
        dy = y0 - block.top;
    const int lastRow = std::min(y1, static_cast<int>(block.bottom));
    if (y0 > lastRow || x0 > block.right || !m_data) return true;  // nothing of it lies in the block
    Image* image = GetDataImage();
    if (!image) return false;
    source->CopyPanoImage(x0, x1, y0, y1, image, dx, dy);
    // An area across the seam continues at column 0 of a map that stores
    // every column; the copy above stops at the block's right edge.
    int wrappedEnd = -1;
    if (IsMapLoop() && x1 >= m_width) {
        wrappedEnd = std::min(x1 - m_width, x0 - 1);
        source->CopyPanoImage(m_width, m_width + wrappedEnd, y0, y1, image, 0, dy);
    }
    ReleaseImage(image);
    UpdateScanLineArea(y0);
    UpdateScanLineArea(lastRow);
    if (wrappedEnd >= 0)
        UpdateXDataAreaRect(x0, wrappedEnd);
    else
        UpdateXDataAreaRect(x0, std::min(x1, static_cast<int>(block.right)));
    return true;
}

// ---------------------------------------------------------------------------
// Overview

void WorldMap::ComputeWorldMapImage(Image* image, float zoom, bool resize, bool centreVertically)
{
    if (!image) return;
    if (!(zoom > 0.0f) || !std::isfinite(zoom)) {
        Logger::log("ERROR WorldMap::ComputeWorldMapImage: bad zoom %f", 1, static_cast<double>(zoom));
        return;
    }
    int x0, y0, x1, y1, w, h;
    if (!GetDataArea(x0, y0, x1, y1, w, h)) {
        image->Clear();
        return;
    }
    // Output size rounded up: a fractional part makes one more pixel.
    const double fw = std::ceil(static_cast<double>(zoom * static_cast<float>(w)));
    const double fh = std::ceil(static_cast<double>(zoom * static_cast<float>(h)));
    if (fw > (1 << 24) || fh > (1 << 24)) {
        Logger::log("ERROR WorldMap::ComputeWorldMapImage: overview too large at zoom %f", 1,
                    static_cast<double>(zoom));
        return;
    }
    const int ow = static_cast<int>(fw);
    const int oh = static_cast<int>(fh);
    if (image->GetWidth() < ow || image->GetHeight() < oh) resize = true;
    int top;
    if (resize) {
        image->Resize(ow, oh);
        if (!image->GetData() || image->GetWidth() != ow || image->GetHeight() != oh) {
            Logger::log("ERROR WorldMap::ComputeWorldMapImage: cannot resize image to %d*%d", 1, ow, oh);
            return;
        }
        top = 0;
    } else {
        top = centreVertically ? (image->GetHeight() - oh) / 2 : TruncToInt(zoom * static_cast<float>(y0));
    }
    if (!image->GetData() || image->GetDataType() != IMG_UINT8 || !image->IsInterleaved()) return;
    image->Clear();
    const int ic = image->GetChannels();
    const int mc = GetChannels();
    if (!((ic == 3 && (mc == 3 || mc == 1)) || (ic == 1 && mc == 1))) return;

    const int imageWidth = image->GetWidth();
    const int cx = imageWidth / 2;
    const int centreColumn = w / 2 + x0;
    for (int i = 0; i < oh; ++i) {
        const int outRow = top + i;
        if (outRow < 0 || outRow >= image->GetHeight()) continue;
        const float v = static_cast<float>(i) / zoom + static_cast<float>(y0);
        const int l = TruncToInt(v);
        if (l + 1 < m_yStart) continue;
        const ScanLine* line = GetScanLine(l < m_yStart ? m_yStart : l);
        if (!line || !line->m_line) continue;
        // The row's half width follows the ellipse: e = sqrt(4 f (1 - f)),
        // f = 2 v / W running from 0 at one pole to 1 at the other.
        const float f = 2.0f * v / static_cast<float>(m_width);
        const float q = 4.0f * f * (1.0f - f);
        const float e = q < 0.0f ? 0.0f : std::sqrt(q);
        const int t = TruncToInt(static_cast<float>(ow / 2) * e);
        const int jFirst = std::max(cx - t, 0);
        const int jLast = std::min(cx + t - 1, imageWidth - 1);
        const int64_t s = line->m_samples;
        uint8_t* row = image->GetData() + static_cast<size_t>(outRow) * image->GetRowByte();
        for (int j = jFirst; j <= jLast; ++j) {
            const int64_t u = static_cast<int64_t>(TruncToInt(static_cast<float>(j - cx) / (zoom * e))) + centreColumn;
            if (u < x0 || u >= x1) continue;
            const int64_t index = Wrap(u + s / 2 - m_width / 2, s);
            if (index < line->m_first || index > line->m_last) continue;
            const uint8_t* sample = line->m_line + static_cast<size_t>(index - line->m_first) * mc;
            uint8_t* out = row + static_cast<size_t>(j) * ic;
            for (int c = 0; c < ic; ++c) out[c] = sample[mc == ic ? c : 0];
        }
    }
}
