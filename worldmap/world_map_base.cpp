#include "worldmap/world_map_base.h"

#include "core/logger.h"
#include "worldmap/map_math.h"
#include "worldmap/pixel_ops.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

using mapmath::TruncToInt;
using mapmath::Wrap;
using pixelops::BlendPixel;
using pixelops::StorePixel;

namespace {

std::atomic<WorldMapAllocHook> g_allocHook{nullptr};

bool HookAllows(size_t bytes)
{
    WorldMapAllocHook hook = g_allocHook.load();
    return !hook || hook(bytes);
}

// Positions along a row and the ring rule are computed in float, whose 24-bit
// mantissa stops telling neighbouring samples apart past 2^24 samples (0.08
// arc-seconds each); wider maps are refused.
constexpr int kMaxWidth = 1 << 24;

// Radians per full turn and the thresholds of a full-width / full-height
// region, as the maps have always compared them (a hair under 2*pi and pi).
constexpr float kTwoPi = 6.283185f;
constexpr float kFullWidth = 6.282185f;
constexpr float kFullHeight = 3.1405926f;

// Ring sample count of an elliptical map: the row n rows from the equator
// keeps sqrt(W^2 - 16 n^2) samples, rounded, at least 1. The products are
// formed in 64 bits (W^2 overflows int32 past W = 46,340) and then converted
// to float as the maps have always done.
int RingSamples(int width, int n)
{
    const float w2 = static_cast<float>(static_cast<int64_t>(width) * width);
    const float n2 = static_cast<float>(16 * static_cast<int64_t>(n) * n);
    const int s = static_cast<int>(std::sqrt(w2 - n2) + 0.5f);
    return s == 0 ? 1 : s;
}

bool Finite(const REGION2& r)
{
    return std::isfinite(r.top) && std::isfinite(r.bottom) && std::isfinite(r.left) && std::isfinite(r.right) &&
           std::isfinite(r.width) && std::isfinite(r.height);
}

}  // namespace

void SetWorldMapAllocHook(WorldMapAllocHook hook)
{
    g_allocHook.store(hook);
}

void WorldMapBase::FreeDeleter::operator()(uint8_t* p) const
{
    std::free(p);
}

// Zeroed block; calloc lets the system hand out untouched zero pages, so a
// full sphere costs memory only where samples are written.
uint8_t* WorldMapBase::AllocateBlock(size_t bytes)
{
    if (!HookAllows(bytes)) return nullptr;
    return static_cast<uint8_t*>(std::calloc(bytes ? bytes : 1, 1));
}

// ---------------------------------------------------------------------------
// Construction and set-up

WorldMapBase::WorldMapBase() = default;

WorldMapBase::WorldMapBase(int width, int channels)
{
    Init(width, nullptr, 1, channels);
}

WorldMapBase::WorldMapBase(int width, REGION2* region, int mapType, int channels)
{
    Init(width, region, mapType, channels);
}

WorldMapBase::~WorldMapBase()
{
    DeleteScanLines();
}

void WorldMapBase::DeleteScanLines()
{
    m_data = nullptr;
    m_ownedBlock.reset();
    m_donor.reset();
    m_scanLines.reset();
    m_numSamples = 0;
    m_rowBytes = 0;
}

void WorldMapBase::EmptyDataArea()
{
    m_yStart = m_numScanLines;
    m_yEnd = 0;
    m_xStart = 0;
    m_xEnd = 0;
}

// Steps shared by Init and Init2: validate, make the table, fill the rings.
bool WorldMapBase::SetUpTable(int width, int mapType, int channels, const char* method)
{
    DeleteScanLines();
    m_channels = static_cast<uint32_t>(channels);
    const int w = width / 4 * 4;
    if (channels != 1 && channels != 3) {
        Logger::log("ERROR WorldMapBase::%s: bad channel count %d", 1, method, channels);
        m_channels = 0;
        return false;
    }
    if (w < 4 || w > kMaxWidth) {
        Logger::log("ERROR WorldMapBase::%s: equator width %d out of range", 1, method, width);
        return false;
    }
    const int rows = w / 2 + 1;
    m_width = w;
    m_numScanLines = rows;
    const size_t tableBytes = sizeof(ScanLine) * static_cast<size_t>(rows);
    ScanLine* table = HookAllows(tableBytes) ? new (std::nothrow) ScanLine[rows]() : nullptr;
    if (!table) {
        Logger::log("ERROR WorldMapBase::%s: cannot allocate m_scanLines: %d", 1, method, rows);
        return false;
    }
    m_scanLines.reset(table);
    m_mapType = mapType;
    const int equator = w / 4;
    for (int r = 0; r < rows; ++r) {
        const int n = r <= equator ? equator - r : r - equator;
        const int s = (mapType == 1 && n != 0) ? RingSamples(w, n) : w;
        m_scanLines[r].m_samples = s;
        m_scanLines[r].m_scale = static_cast<float>(s) / static_cast<float>(w);
    }
    return true;
}

bool WorldMapBase::Init(int width, REGION2* region, int mapType, int channels)
{
    if (!SetUpTable(width, mapType, channels, "Init")) return false;
    m_flags = 0;
    const int w = m_width;
    const int rows = m_numScanLines;
    if (!region) {
        m_allocMode = 0;
        m_viewCenter = 0.0f;
        EmptyDataArea();
        return AllocScanLines_Full(nullptr, 0);
    }
    if (!Finite(*region)) {
        Logger::log("ERROR WorldMapBase::Init: region is not finite", 1);
        return false;
    }
    const float c = static_cast<float>(w) / kTwoPi;  // samples per radian
    const float xc = (region->left + region->right) / 2.0f;
    m_viewCenter = xc * c;
    int64_t c0, c1, r0, r1;
    if (region->width > kFullWidth) {
        m_allocMode = 1;
        c0 = 0;
        c1 = w;
    } else {
        m_allocMode = 2;
        c0 = w / 2 + TruncToInt(c * (region->left - xc));
        c1 = w / 2 + static_cast<int64_t>(TruncToInt(c * (region->right - xc))) + 1;
    }
    if (region->height > kFullHeight) {
        r0 = 0;
        r1 = rows;
    } else {
        r0 = TruncToInt(c * region->top) + static_cast<int64_t>(rows / 2);
        r1 = TruncToInt(c * region->bottom) + static_cast<int64_t>(rows / 2) + 1;
    }
    // A region reaching past the poles or the seam stores what lies on the
    // sphere; the ranges never index past the table or the row.
    c0 = std::clamp<int64_t>(c0, 0, w);
    c1 = std::clamp<int64_t>(c1, c0, w);
    r0 = std::clamp<int64_t>(r0, 0, rows);
    r1 = std::clamp<int64_t>(r1, r0, rows);
    if (c1 == c0 || r1 == r0) {
        Logger::log("ERROR WorldMapBase::Init: region holds no samples", 1);
        return false;
    }
    const bool ok = AllocScanLines_Rect(c0, c1, r0, r1, nullptr, 0);
    EmptyDataArea();
    return ok;
}

bool WorldMapBase::Init2(int width, REGION* region, int mapType, uint8_t* data, int rowBytes, int channels)
{
    if (!SetUpTable(width, mapType, channels, "Init2")) return false;
    const int w = m_width;
    const int rows = m_numScanLines;
    if (rowBytes < 0) {
        Logger::log("ERROR WorldMapBase::Init2: bad row bytes %d", 1, rowBytes);
        return false;
    }
    if (!region) {
        m_allocMode = 0;
        m_viewCenter = 0.0f;
        if (data && rowBytes != 0 && rowBytes < static_cast<int64_t>(w) * channels) {
            Logger::log("ERROR WorldMapBase::Init2: row bytes %d below %d samples", 1, rowBytes, w);
            return false;
        }
        if (!AllocScanLines_Full(data, data ? static_cast<size_t>(rowBytes) : 0)) return false;
        if (data)
            setFullCoverFg();
        else
            EmptyDataArea();
        return true;
    }
    m_viewCenter = static_cast<float>((static_cast<int64_t>(region->x0) + region->x1 + 1) / 2);
    const int64_t vc = GetViewCenter_int();
    int64_t c0, c1, r0, r1;
    if (region->width == width) {
        m_allocMode = 1;
        c0 = 0;
        c1 = w;
    } else {
        m_allocMode = 2;
        c0 = w / 2 + static_cast<int64_t>(region->x0) - vc;
        c1 = static_cast<int64_t>(region->x0) + w / 2 + region->width - vc;
    }
    if (region->height == rows) {
        r0 = 0;
        r1 = rows;
    } else {
        r0 = rows / 2 + static_cast<int64_t>(region->y0);
        r1 = static_cast<int64_t>(region->y1) + rows / 2 + 1;
    }
    const int64_t d = c1 - c0;
    if (d <= 0 || r1 <= r0) {
        Logger::log("ERROR WorldMapBase::Init2: region holds no samples", 1);
        return false;
    }
    // The caller's rows are laid out for the unclamped block.
    const int64_t stride = rowBytes > 0 ? rowBytes : d * channels;
    if (data && stride < d * channels) {
        Logger::log("ERROR WorldMapBase::Init2: row bytes %d below %lld samples", 1, rowBytes,
                    static_cast<long long>(d));
        return false;
    }
    const int64_t cc0 = std::clamp<int64_t>(c0, 0, w);
    const int64_t cc1 = std::clamp<int64_t>(c1, cc0, w);
    const int64_t cr0 = std::clamp<int64_t>(r0, 0, rows);
    const int64_t cr1 = std::clamp<int64_t>(r1, cr0, rows);
    if (cc1 == cc0 || cr1 == cr0) {
        Logger::log("ERROR WorldMapBase::Init2: region holds no samples", 1);
        return false;
    }
    if (data) {
        // Rows cut at the poles are skipped in the caller's buffer; columns
        // cut at the seam are taken symmetrically, as the block is centred.
        data += (cr0 - r0) * stride + (d / 2 - (cc1 - cc0) / 2) * channels;
    }
    if (!AllocScanLines_Rect(cc0, cc1, cr0, cr1, data, data ? static_cast<size_t>(stride) : 0)) return false;
    if (data)
        setFullCoverFg();
    else
        EmptyDataArea();
    return true;
}

bool WorldMapBase::AllocScanLines_Full(uint8_t* data, size_t rowBytes)
{
    const int w = m_width;
    const int rows = m_numScanLines;
    m_numSamples = static_cast<size_t>(w) * static_cast<size_t>(rows);
    if (!data) {
        const size_t bytes = m_numSamples * m_channels;
        uint8_t* block = AllocateBlock(bytes);
        if (!block) {
            Logger::log("ERROR WorldMapBase::AllocScanLines_Full: cannot allocate data: %d*%zu", 1,
                        static_cast<int>(m_channels), m_numSamples);
            m_numSamples = 0;
            return false;
        }
        m_ownedBlock.reset(block);
        data = block;
        rowBytes = 0;  // our own block is always packed
    }
    if (rowBytes == 0) rowBytes = static_cast<size_t>(w) * m_channels;
    m_rowBytes = rowBytes;
    m_mapRect = {0, 0, w - 1, rows - 1};
    m_data = data;
    for (int r = 0; r < rows; ++r) {
        ScanLine& line = m_scanLines[r];
        line.m_first = 0;
        line.m_last = line.m_samples - 1;
        line.m_line = data + static_cast<size_t>(r) * rowBytes;
    }
    return true;
}

bool WorldMapBase::AllocScanLines_Rect(int64_t c0, int64_t c1, int64_t r0, int64_t r1, uint8_t* data,
                                       size_t rowBytes)
{
    const int d = static_cast<int>(c1 - c0);
    const size_t ch = m_channels;
    m_numSamples = static_cast<size_t>(d) * static_cast<size_t>(r1 - r0);
    if (!data) {
        const size_t bytes = m_numSamples * ch;
        uint8_t* block = AllocateBlock(bytes);
        if (!block) {
            Logger::log("ERROR WorldMapBase::AllocScanLines_Rect: cannot allocate data: %d*%zu", 1,
                        static_cast<int>(ch), m_numSamples);
            m_numSamples = 0;
            return false;
        }
        m_ownedBlock.reset(block);
        data = block;
        rowBytes = 0;
    }
    if (rowBytes == 0) rowBytes = static_cast<size_t>(d) * ch;
    m_rowBytes = rowBytes;
    m_mapRect = {static_cast<int32_t>(c0), static_cast<int32_t>(r0), static_cast<int32_t>(c1 - 1),
                 static_cast<int32_t>(r1 - 1)};
    m_data = data;
    for (int64_t r = r0; r < r1; ++r) {
        ScanLine& line = m_scanLines[r];
        uint8_t* base = data + static_cast<size_t>(r - r0) * rowBytes;
        const int s = line.m_samples;
        if (s < d) {
            line.m_first = 0;
            line.m_last = s - 1;
            line.m_line = base + static_cast<size_t>(d / 2 - s / 2) * ch;
        } else {
            line.m_first = s / 2 - d / 2;
            line.m_last = line.m_first + d - 1;
            line.m_line = base;
        }
    }
    return true;
}

void WorldMapBase::ResetData()
{
    if (m_data) {
        const size_t rowUsed = static_cast<size_t>(m_mapRect.right - m_mapRect.left + 1) * m_channels;
        const int blockRows = m_mapRect.bottom - m_mapRect.top + 1;
        for (int r = 0; r < blockRows; ++r) std::memset(m_data + static_cast<size_t>(r) * m_rowBytes, 0, rowUsed);
    }
    EmptyDataArea();
}

void WorldMapBase::setFullCoverFg()
{
    m_xStart = m_mapRect.left;
    m_xEnd = m_mapRect.right + 1;
    m_yStart = m_mapRect.top;
    m_yEnd = m_mapRect.bottom + 1;
}

// ---------------------------------------------------------------------------
// Reference counting

void WorldMapBase::AddReference()
{
    ++m_refCount;
}

void WorldMapBase::Release()
{
    if (--m_refCount < 1) delete this;
}

// ---------------------------------------------------------------------------
// Queries

int WorldMapBase::GetViewCenter_int() const
{
    return TruncToInt(m_viewCenter + 0.5f);
}

bool WorldMapBase::IsFullPanorama() const
{
    if (m_yStart >= m_yEnd) return false;
    int64_t width = static_cast<int64_t>(m_xEnd) - m_xStart;
    if (m_xEnd < m_xStart) width += m_width;
    return width >= m_width;
}

WorldMapBase::ScanLine* WorldMapBase::GetScanLine(int row) const
{
    if (!m_scanLines || row < 0 || row >= m_numScanLines) return nullptr;
    return &m_scanLines[row];
}

// A row counted from the equator; null outside the table.
const WorldMapBase::ScanLine* WorldMapBase::EquatorRow(int y) const
{
    const int64_t row = static_cast<int64_t>(y) + m_numScanLines / 2;
    if (row < 0 || row >= m_numScanLines) return nullptr;
    return GetScanLine(static_cast<int>(row));
}

int WorldMapBase::GetScanLineSamples(int y) const
{
    const ScanLine* line = EquatorRow(y);
    return line ? line->m_samples : 0;
}

float WorldMapBase::GetScanLineScale(int y) const
{
    const ScanLine* line = EquatorRow(y);
    return line ? line->m_scale : 0.0f;
}

void WorldMapBase::GetScanLineRange(int& first, int& last) const
{
    const int half = m_numScanLines / 2;
    if (m_allocMode == 0) {
        first = -half;
        last = -half + m_numScanLines - 1;
    } else {
        first = m_yStart - half;
        last = first + (m_yEnd - m_yStart - 1);
    }
}

bool WorldMapBase::GetScanLineRange(int& first, int& last, int y) const
{
    const ScanLine* line = EquatorRow(y);
    if (!line || !line->m_line) {
        first = 0;
        last = -1;
        return false;
    }
    first = line->m_first - line->m_samples / 2;
    last = first + (line->m_last - line->m_first);
    return true;
}

int WorldMapBase::GetRingIndex(float latitude) const
{
    const float t = latitude / 90.0f + 1.0f;
    const float v = static_cast<float>(m_numScanLines / 2) * t;
    return TruncToInt(v + 0.5f);
}

int WorldMapBase::GetIndexInRing(int row, float longitude) const
{
    const ScanLine* line = GetScanLine(row);
    if (!line) return 0;
    const float v = static_cast<float>(line->m_samples) / 360.0f * longitude;
    return v >= 0.0f ? TruncToInt(v + 0.5f) : TruncToInt(v - 0.5f);
}

uint8_t* WorldMapBase::GetDataPtr(int column, int row) const
{
    const ScanLine* line = GetScanLine(row);
    if (!line || !line->m_line || column < line->m_first || column > line->m_last) return nullptr;
    return line->m_line + static_cast<size_t>(column - line->m_first) * m_channels;
}

bool WorldMapBase::GetDataArea(int& x0, int& y0, int& x1, int& y1, int& width, int& height) const
{
    if (m_yStart >= m_yEnd) {
        x0 = y0 = x1 = y1 = width = height = 0;
        return false;
    }
    x0 = m_xStart;
    x1 = m_xEnd;
    y0 = m_yStart;
    y1 = m_yEnd;
    height = y1 - y0;
    if (x1 < x0) x1 += m_width;
    width = x1 - x0;
    if (width > m_width) {
        width = m_width;
        x0 = 0;
        x1 = m_width;
    }
    return true;
}

bool WorldMapBase::GetDataArea(REGION2* region) const
{
    if (!region) return false;
    int x0, y0, x1, y1, width, height;
    if (!GetDataArea(x0, y0, x1, y1, width, height)) {
        *region = REGION2{0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
        return false;
    }
    const float p = kTwoPi / static_cast<float>(m_width);
    const int halfW = m_width / 2;
    const int halfRows = m_numScanLines / 2;
    region->left = static_cast<float>(x0 - halfW) * p;
    region->right = static_cast<float>(width == m_width ? x1 - halfW : x1 - halfW - 1) * p;
    region->top = static_cast<float>(y0 - halfRows) * p;
    region->bottom = static_cast<float>(height == m_numScanLines ? y1 - halfRows : y1 - halfRows - 1) * p;
    region->width = static_cast<float>(width) * p;
    region->height = static_cast<float>(height) * p;
    return true;
}

bool WorldMapBase::GetDataAreaOffset(int& dx, int& dy) const
{
    if (m_yStart >= m_yEnd) {
        dx = dy = 0;
        return false;
    }
    dx = (m_xEnd - m_xStart) > m_width ? 0 : m_xStart - m_mapRect.left;
    dy = m_yStart - m_mapRect.top;
    return true;
}

void WorldMapBase::GetMapInfo(RECT* rect, int& width, int& column, int& row, int& mapType) const
{
    // Without a rectangle the whole block is meant.
    const RECT whole = {0, 0, m_mapRect.right - m_mapRect.left, m_mapRect.bottom - m_mapRect.top};
    const RECT& r = rect ? *rect : whole;
    width = m_width;
    mapType = m_mapType;
    column = m_mapRect.left + r.left;
    row = m_mapRect.top + r.top;
    const int rectWidth = r.right - r.left + 1;
    if (rectWidth < m_width) column = m_width / 2 - rectWidth / 2;
}

// ---------------------------------------------------------------------------
// Changes

void WorldMapBase::UpdateScanLineArea(int row)
{
    if (row < 0 || row >= m_numScanLines) return;
    m_yStart = std::min(m_yStart, row);
    m_yEnd = std::max(m_yEnd, row + 1);
}

void WorldMapBase::UpdateXDataAreaRect(int a, int b)
{
    int& xs = m_xStart;
    int& xe = m_xEnd;
    const int w = m_width;
    if (xe - xs == w) return;
    auto full = [&] {
        xs = 0;
        xe = w;
    };
    if (xs == xe) {
        xs = a;
        xe = b + 1;
        return;
    }
    const int g = xs - b - 1;  // gap from the new span's end to the old start
    const int d = a - xe;      // gap from the old end to the new start
    if (a <= b) {
        if (xs < xe) {
            xs = std::min(xs, a);
            xe = std::max(xe, b + 1);
        } else if (g <= 0 && d <= 0) {
            full();
        } else if (g <= 0) {
            xs = std::min(xs, a);
        } else if (d <= 0) {
            xe = std::max(xe, b + 1);
        } else if (g >= d) {
            xe = b + 1;
        } else {
            xs = a;
        }
        return;
    }
    if (xs < xe) {
        if (d <= 0 && g <= 0) {
            full();
        } else if (d <= 0) {
            xe = b + 1;
            xs = std::min(xs, a);
        } else if (g <= 0) {
            xs = a;
            xe = std::max(xe, b + 1);
        } else if (d < g) {
            xe = b + 1;
        } else {
            xs = a;
        }
        return;
    }
    // Both spans wrap.
    if (a < xs) {
        if (a > xe) {
            xs = a;
        } else {
            full();
            return;
        }
    }
    if (b >= xe) {
        if (b >= xs) {
            full();
        } else {
            xe = b + 1;
            if (xs == xe) full();
        }
    }
}

// Reflection over a pole mirrors the column; one reflection brings any row
// within a sphere back on the map, rows further out are ignored.
uint8_t* WorldMapBase::LocatePixel(int x, int y) const
{
    if (!m_scanLines) return nullptr;
    const int64_t rows = m_numScanLines;
    int64_t row = static_cast<int64_t>(y) + rows / 2;
    int64_t offset = x;
    if (row < 0) {
        row = -row;
        offset = -offset;
    } else if (row >= rows) {
        row = 2 * rows - row - 1;
        offset = -offset;
    }
    if (row < 0 || row >= rows) return nullptr;
    const ScanLine& line = m_scanLines[row];
    if (!line.m_line) return nullptr;
    const int64_t s = line.m_samples;
    const int64_t index = Wrap(offset + s / 2, s);
    if (index < line.m_first || index > line.m_last) return nullptr;
    return line.m_line + static_cast<size_t>(index - line.m_first) * m_channels;
}

void WorldMapBase::SetPixel(int x, int y, const char* pixel)
{
    if (uint8_t* target = LocatePixel(x, y)) StorePixel(target, pixel, static_cast<int>(m_channels));
}

void WorldMapBase::SetPixel_opt(int x, int y, const char* pixel)
{
    const ScanLine& line = m_scanLines[y + m_numScanLines / 2];
    const int index = x + line.m_samples / 2;
    StorePixel(line.m_line + static_cast<size_t>(index - line.m_first) * m_channels, pixel, static_cast<int>(m_channels));
}

void WorldMapBase::PixelBlend(int x, int y, const char* pixel, float weight)
{
    if (uint8_t* target = LocatePixel(x, y)) BlendPixel(target, pixel, weight, static_cast<int>(m_channels));
}

void WorldMapBase::PixelBlend_opt(int x, int y, const char* pixel, float weight)
{
    const ScanLine& line = m_scanLines[y + m_numScanLines / 2];
    const int index = x + line.m_samples / 2;
    BlendPixel(line.m_line + static_cast<size_t>(index - line.m_first) * m_channels, pixel, weight,
               static_cast<int>(m_channels));
}

bool WorldMapBase::SwapData(WorldMapBase* other)
{
    if (!other || other == this) return false;
    if (other->m_channels != m_channels) {
        Logger::log("ERROR WorldMapBase::SwapData: channels differ (%u, %u)", 1, m_channels, other->m_channels);
        return false;
    }
    std::swap(m_yStart, other->m_yStart);
    std::swap(m_yEnd, other->m_yEnd);
    std::swap(m_xStart, other->m_xStart);
    std::swap(m_xEnd, other->m_xEnd);
    std::swap(m_numScanLines, other->m_numScanLines);
    std::swap(m_scanLines, other->m_scanLines);
    std::swap(m_flags, other->m_flags);
    std::swap(m_width, other->m_width);
    std::swap(m_mapType, other->m_mapType);
    std::swap(m_viewCenter, other->m_viewCenter);
    std::swap(m_numSamples, other->m_numSamples);
    std::swap(m_zoomFactor, other->m_zoomFactor);
    std::swap(m_allocMode, other->m_allocMode);
    std::swap(m_mapRect, other->m_mapRect);
    std::swap(m_data, other->m_data);
    std::swap(m_ownedBlock, other->m_ownedBlock);
    std::swap(m_donor, other->m_donor);
    std::swap(m_rowBytes, other->m_rowBytes);
    return true;
}

// ---------------------------------------------------------------------------
// Images of the block

Image* WorldMapBase::GetDataImage() const
{
    if (!m_data) {
        Logger::log("ERROR WorldMapBase::GetDataImage: no storage", 1);
        return nullptr;
    }
    Image* image = new (std::nothrow) Image();
    if (!image) {
        Logger::log("ERROR WorldMapBase::GetDataImage: cannot alloc img", 1);
        return nullptr;
    }
    image->SetSize(m_mapRect.right - m_mapRect.left + 1, m_mapRect.bottom - m_mapRect.top + 1);
    image->SetChannels(static_cast<int>(m_channels));
    image->SetDataType(IMG_UINT8);
    image->SetDataLayoutType(0);
    image->ComputeRowBytes();
    // The stride keeps all 32 bits: an RGB row past 21,845 samples is wider
    // than 65,535 bytes.
    const int stride = static_cast<int>(m_rowBytes);
    if (stride < image->GetRowByte()) image->SetWidth(stride / static_cast<int>(m_channels));
    image->SetRowBytes(stride);
    image->SetData(m_data, false);
    image->SetDataOwner(false);
    return image;
}

Image* WorldMapBase::MakeDataImage() const
{
    const int width = m_mapRect.right - m_mapRect.left + 1;
    const int height = m_mapRect.bottom - m_mapRect.top + 1;
    if (!m_data) {
        Logger::log("ERROR WorldMapBase::MakeDataImage: no storage", 1);
        return nullptr;
    }
    Image* image = new (std::nothrow) Image(width, height, static_cast<int>(m_channels));
    if (!image || !image->GetData()) {
        Logger::log("ERROR WorldMapBase::MakeDataImage: cannot alloc img %d*%d", 1, width, height);
        ReleaseImage(image);
        return nullptr;
    }
    const size_t imageRow = static_cast<size_t>(image->GetRowByte());
    for (int r = 0; r < height; ++r) {
        const uint8_t* src = m_data + static_cast<size_t>(r) * m_rowBytes;
        uint8_t* dst = image->GetData() + static_cast<size_t>(r) * imageRow;
        if (m_rowBytes < imageRow) {
            std::memcpy(dst, src, m_rowBytes);
            std::memset(dst + m_rowBytes, 0, imageRow - m_rowBytes);
        } else {
            std::memcpy(dst, src, imageRow);
        }
    }
    return image;
}

// ---------------------------------------------------------------------------
// Kept for the interface

void WorldMapBase::AddData(Image* /*image*/, int /*x*/, int /*y*/) {}

void WorldMapBase::GetPixelValue(float /*x*/, float /*y*/, uint8_t* /*out*/) {}

bool WorldMapBase::ComputeWorldMapBasePoint(int /*x*/, int /*y*/, int /*scrollX*/, int /*scrollY*/, int& /*outX*/,
                                            int& /*outY*/)
{
    return true;
}
