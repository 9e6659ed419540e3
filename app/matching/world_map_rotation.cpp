// Turning a panorama on the sphere: the leveling tools resample one world map
// into another through a rotation matrix, nearest sample. Pixel coordinates
// are relative to each map's centre (half the row's samples, half the scan
// lines); one pixel step is the same angle across and down.
#include "app/matching/utilities.h"
#include "app/matching/world_map_rotation_grid.h"

#include "core/logger.h"
#include "worldmap/world_map_base.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

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

bool Stored(const WorldMapBase::ScanLine* line, int column)
{
    if (!line || !line->m_line || line->m_samples <= 0 || line->m_last < 0) return false;
    if (line->m_first <= line->m_last) return column >= line->m_first && column <= line->m_last;
    return column >= line->m_first || column <= line->m_last;
}

// The source pixel a direction (already turned into the source's frame)
// falls on, unclamped.
void SourcePixel(const WorldMapBase* source, const float q[3], float ps, int& column, int& row)
{
    float longitude, latitude;
    Angles(q, longitude, latitude);
    row = TruncPixel(latitude * ps) + source->GetHeight() / 2;
    const WorldMapBase::ScanLine* line = source->GetScanLine(row);
    column = TruncPixel(longitude * ps) + (line ? line->m_samples / 2 : 0);
}

// The target area the source's stored samples land in. A latitude or
// longitude over a region of the sphere is extreme on the region's outline
// or at a pole, so the outline (first and last stored rows, each row's
// first and last samples unless it goes all round) is walked through the
// transposed matrix, and a target pole whose direction falls on a stored
// source sample takes in the target's whole pole row and width.
Bounds TargetBounds(const WorldMapBase* source, StoredRows rows, const float m[9], float dt, float ps,
                    int targetCentreX, int targetCentreY, int targetFirstRow, int targetLastRow, int targetX0, int targetX1)
{
    Bounds bounds;
    const float mt[9] = {m[0], m[3], m[6], m[1], m[4], m[7], m[2], m[5], m[8]};
    const int sourceCentreY = source->GetHeight() / 2;
    auto add = [&](int row, int i, int samples) {
        float p[3], q[3], longitude, phi;
        Direction(static_cast<float>(i - samples / 2) / ps, static_cast<float>(row - sourceCentreY) / ps, p);
        Multiply(mt, p, q);
        Angles(q, longitude, phi);
        bounds.Add(TruncPixel(longitude / dt) + targetCentreX, TruncPixel(phi / dt) + targetCentreY);
    };
    for (int row = rows.first; row <= rows.last; ++row) {
        const WorldMapBase::ScanLine* line = source->GetScanLine(row);
        if (!line || !line->m_line || line->m_samples <= 0 || line->m_last < 0) continue;
        const int samples = line->m_samples;
        const bool wraps = line->m_last < line->m_first;
        if (row == rows.first || row == rows.last) {
            // A stored range that wraps past the row's end is walked in two runs.
            const int runs[2][2] = {{line->m_first, wraps ? samples - 1 : line->m_last}, {0, wraps ? line->m_last : -1}};
            for (const auto& run : runs)
                for (int i = run[0]; i <= run[1]; ++i) add(row, i, samples);
            continue;
        }
        const int stored = wraps ? samples - line->m_first + line->m_last + 1 : line->m_last - line->m_first + 1;
        if (stored >= samples) continue;  // all round: no side edge
        add(row, line->m_first, samples);
        add(row, line->m_last, samples);
    }
    // The target's poles: latitude -90 degrees is the direction (0, 0, 1).
    for (int pole : {-1, 1}) {
        const float p[3] = {0.0f, 0.0f, static_cast<float>(-pole)};
        float q[3];
        Multiply(m, p, q);
        int column = 0, row = 0;
        SourcePixel(source, q, ps, column, row);
        if (row < rows.first || row > rows.last || !Stored(source->GetScanLine(row), column)) continue;
        bounds.Add(targetX0, pole < 0 ? targetFirstRow : targetLastRow);
        bounds.Add(targetX1, pole < 0 ? targetFirstRow : targetLastRow);
    }
    return bounds;
}

// Zeroes the target's stored samples outside the area the turn writes (the
// turn writes every sample inside it), and empties the data area, as a
// clear of the whole map would but without a second pass over the area.
void ClearOutsideArea(WorldMapBase* target, const Bounds& b)
{
    const size_t channels = static_cast<size_t>(target->GetChannels());
    for (int y = 0; y < target->GetHeight(); ++y) {
        const WorldMapBase::ScanLine* line = target->GetScanLine(y);
        if (!line || !line->m_line || line->m_samples <= 0) continue;
        const bool wraps = line->m_last < line->m_first;
        const int stored = wraps ? line->m_samples - line->m_first + line->m_last + 1 : line->m_last - line->m_first + 1;
        if (stored <= 0) continue;
        const int x0 = std::max(b.x0, line->m_first), x1 = std::min(b.x1, line->m_last);
        if (wraps || b.empty || y < b.y0 || y > b.y1 || x0 > x1) {
            std::memset(line->m_line, 0, static_cast<size_t>(stored) * channels);
            continue;
        }
        std::memset(line->m_line, 0, static_cast<size_t>(x0 - line->m_first) * channels);
        std::memset(line->m_line + static_cast<size_t>(x1 + 1 - line->m_first) * channels, 0,
                    static_cast<size_t>(line->m_last - x1) * channels);
    }
    target->m_yStart = target->GetHeight();
    target->m_yEnd = 0;
    target->m_xStart = 0;
    target->m_xEnd = 0;
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

    Bounds b = TargetBounds(source, sourceRows, m, dt, ps, targetCentreX, targetCentreY, targetRows.first, targetRows.last,
                            targetFirst->m_first, targetFirst->m_last);
    b.x0 = std::clamp(b.x0, targetFirst->m_first, targetFirst->m_last);
    b.x1 = std::clamp(b.x1, targetFirst->m_first, targetFirst->m_last);
    b.y0 = std::clamp(b.y0, targetRows.first, targetRows.last);
    b.y1 = std::clamp(b.y1, targetRows.first, targetRows.last);
    ClearOutsideArea(target, b);
    target->UpdateXDataAreaRect(b.x0, b.x1);
    target->UpdateScanLineArea(b.y0);
    target->UpdateScanLineArea(b.y1);

    TurnGeometry geometry;
    geometry.x0 = b.x0;
    geometry.x1 = b.x1;
    geometry.y0 = b.y0;
    geometry.y1 = b.y1;
    geometry.targetCentreX = targetCentreX;
    geometry.targetCentreY = targetCentreY;
    geometry.sourceCentreY = sourceCentreY;
    geometry.sourceFirstRow = sourceRows.first;
    geometry.sourceLastRow = sourceRows.last;
    geometry.dt = dt;
    geometry.ps = ps;
    ResampleTurn(source, target, m, geometry);
}

}  // namespace Utilities
