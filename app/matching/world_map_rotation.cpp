// Turning a panorama on the sphere: the leveling tools resample one world map
// into another through a rotation matrix, nearest sample. Pixel coordinates
// are relative to each map's centre (half the row's samples, half the scan
// lines); one pixel step is the same angle across and down.
#include "app/matching/utilities.h"

#include "core/logger.h"
#include "worldmap/world_map_base.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Utilities {

namespace {

// The full turn as the stored maps were made with it.
constexpr float kTwoPi = 6.283185f;

struct StoredRows {
    int first = -1;
    int last = -1;
};

StoredRows FindStoredRows(const WorldMapBase* map)
{
    StoredRows rows;
    for (int r = 0; r < map->GetHeight(); ++r) {
        const WorldMapBase::ScanLine* line = map->GetScanLine(r);
        if (!line || !line->m_line || line->m_samples <= 0 || line->m_last < 0) continue;
        if (rows.first < 0) rows.first = r;
        rows.last = r;
    }
    return rows;
}

void Direction(float longitude, float latitude, float p[3])
{
    p[0] = std::cos(longitude) * std::cos(latitude);
    p[1] = -std::sin(longitude) * std::cos(latitude);
    p[2] = -std::sin(latitude);
}

void Angles(const float q[3], float& longitude, float& latitude)
{
    longitude = std::atan2(-q[1], q[0]);
    latitude = -std::asin(std::clamp(q[2], -1.0f, 1.0f));
}

void Multiply(const float m[9], const float p[3], float q[3])
{
    for (int r = 0; r < 3; ++r) q[r] = m[3 * r] * p[0] + m[3 * r + 1] * p[1] + m[3 * r + 2] * p[2];
}

// A coordinate this close to a whole pixel is taken as that pixel: a turn
// that maps pixels onto pixels (the identity, a pan by whole columns) lands
// them a rounding error short, and truncation would take the neighbour.
constexpr float kPixelSnap = 1.0e-3f;

// Truncates a pixel coordinate that may lie anywhere (or be undefined) into
// the int range before it is clamped to a stored range.
int TruncPixel(float v)
{
    if (!(v > -1.0e9f)) return -1000000000;
    if (v > 1.0e9f) return 1000000000;
    const float nearest = std::round(v);
    if (std::fabs(v - nearest) < kPixelSnap) return static_cast<int>(nearest);
    return static_cast<int>(v);
}

struct Bounds {
    int x0 = 0, x1 = -1, y0 = 0, y1 = -1;
    bool empty = true;
    void Add(int x, int y)
    {
        if (empty) {
            x0 = x1 = x;
            y0 = y1 = y;
            empty = false;
            return;
        }
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
    }
};

// Where the source's first and last stored scan lines land in the target:
// their samples through the transposed matrix.
Bounds TargetBounds(const WorldMapBase* source, StoredRows rows, const float m[9], float dt, float ps,
                    int targetCentreX, int targetCentreY)
{
    Bounds bounds;
    const float mt[9] = {m[0], m[3], m[6], m[1], m[4], m[7], m[2], m[5], m[8]};
    const int sourceCentreY = source->GetHeight() / 2;
    for (int row : {rows.first, rows.last}) {
        const WorldMapBase::ScanLine* line = source->GetScanLine(row);
        const int samples = line->m_samples;
        // A stored range that wraps past the row's end is walked in two runs.
        const bool wraps = line->m_last < line->m_first;
        const int runs[2][2] = {{line->m_first, wraps ? samples - 1 : line->m_last}, {0, wraps ? line->m_last : -1}};
        const float latitude = static_cast<float>(row - sourceCentreY) / ps;
        for (const auto& run : runs)
            for (int i = run[0]; i <= run[1]; ++i) {
                float p[3], q[3], longitude, phi;
                Direction(static_cast<float>(i - samples / 2) / ps, latitude, p);
                Multiply(mt, p, q);
                Angles(q, longitude, phi);
                bounds.Add(TruncPixel(longitude / dt) + targetCentreX, TruncPixel(phi / dt) + targetCentreY);
            }
    }
    return bounds;
}

}  // namespace

void RotateWorldMap(const WorldMapBase* source, WorldMapBase* target, const float m[9])
{
    if (!source || !target || !m) return;
    const StoredRows sourceRows = FindStoredRows(source);
    const StoredRows targetRows = FindStoredRows(target);
    if (sourceRows.first < 0 || targetRows.first < 0) return;  // nothing stored: nothing to do
    const int channels = target->GetChannels();
    if (source->GetChannels() != channels) {
        Logger::log("ERROR Utilities::RotateWorldMap: %d channels cannot go into %d", 1, source->GetChannels(), channels);
        return;
    }
    for (int i = 0; i < 9; ++i)
        if (!std::isfinite(m[i])) {
            Logger::log("ERROR Utilities::RotateWorldMap: the rotation is not finite", 1);
            return;
        }

    const WorldMapBase::ScanLine* targetFirst = target->GetScanLine(targetRows.first);
    const float dt = kTwoPi / static_cast<float>(targetFirst->m_samples);
    const float ps = static_cast<float>(source->GetScanLine(sourceRows.first)->m_samples) / kTwoPi;
    const int targetCentreX = targetFirst->m_samples / 2;
    const int targetCentreY = target->GetHeight() / 2;
    const int sourceCentreY = source->GetHeight() / 2;

    target->ResetData();
    Bounds b = TargetBounds(source, sourceRows, m, dt, ps, targetCentreX, targetCentreY);
    b.x0 = std::clamp(b.x0, targetFirst->m_first, targetFirst->m_last);
    b.x1 = std::clamp(b.x1, targetFirst->m_first, targetFirst->m_last);
    b.y0 = std::clamp(b.y0, targetRows.first, targetRows.last);
    b.y1 = std::clamp(b.y1, targetRows.first, targetRows.last);
    target->UpdateXDataAreaRect(b.x0, b.x1);
    target->UpdateScanLineArea(b.y0);
    target->UpdateScanLineArea(b.y1);

    for (int y = b.y0; y <= b.y1; ++y) {
        const float latitude = static_cast<float>(y - targetCentreY) * dt;
        for (int x = b.x0; x <= b.x1; ++x) {
            uint8_t* out = target->GetDataPtr(x, y);
            if (!out) continue;
            float p[3], q[3], longitude, phi;
            Direction(static_cast<float>(x - targetCentreX) * dt, latitude, p);
            Multiply(m, p, q);
            Angles(q, longitude, phi);
            const int row = std::clamp(TruncPixel(phi * ps) + sourceCentreY, sourceRows.first, sourceRows.last);
            const WorldMapBase::ScanLine* line = source->GetScanLine(row);
            if (!line->m_line) continue;
            const int column = std::clamp(TruncPixel(longitude * ps) + line->m_samples / 2, line->m_first, line->m_last);
            if (const uint8_t* in = source->GetDataPtr(column, row)) std::memcpy(out, in, static_cast<size_t>(channels));
        }
    }
}

}  // namespace Utilities
