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
#include <functional>
#include <thread>
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

// atan(u) for |u| <= tan(pi/8): the alternating series to u^15, whose
// error is below u^17/17 < 2e-8.
double AtanSmall(double u)
{
    const double u2 = u * u;
    return u * (1.0 + u2 * (-1.0 / 3 + u2 * (1.0 / 5 + u2 * (-1.0 / 7 + u2 * (1.0 / 9 + u2 * (-1.0 / 11 + u2 * (1.0 / 13 + u2 * (-1.0 / 15))))))));
}

// atan2(y, x) in double within 1e-7 radian with one division and no library
// call: the ratio of the smaller to the larger side, past tan(pi/8) taken
// as pi/4 + atan((lo - hi) / (lo + hi)).
double FastAtan2(double y, double x)
{
    constexpr double kPi = 3.14159265358979323846;
    const double ax = std::fabs(x), ay = std::fabs(y);
    const double lo = std::min(ax, ay), hi = std::max(ax, ay);
    if (hi == 0.0) return 0.0;
    double a = lo > 0.41421356237309503 * hi ? kPi / 4 + AtanSmall((lo - hi) / (lo + hi)) : AtanSmall(lo / hi);
    if (ay > ax) a = kPi / 2 - a;
    if (x < 0) a = kPi - a;
    return y < 0 ? -a : a;
}

// The pixel a float angle lands on, as TruncPixel(angle * scale) with the
// angle from the library: taken from the fast angle when that lies clear of
// every place where the answer changes (the whole pixels and the snap band
// around them), else worked exactly. margin covers the fast angle's error
// and the float rounding of the exact path, in pixels.
template <typename Exact>
int PixelOf(double fastAngle, float scale, double margin, Exact exact)
{
    const double v = fastAngle * scale;
    if (std::fabs(v) < 1.0e9) {
        const double f = v - std::floor(v);
        if (f > kPixelSnap + margin && f < 1.0 - kPixelSnap - margin) return static_cast<int>(v);
    }
    return TruncPixel(exact() * scale);
}

// The source row of a turned direction depends on its z alone, and does so
// monotonically (-asin, a product, truncation, a clamp). The z range -1..1
// is cut into kRowBins equal bins with float ends; a bin whose two ends give
// the same row gives it for every z inside. Bins whose ends differ hold -1
// and are worked per pixel.
constexpr int kRowBins = 1 << 16;

struct RowTable {
    std::vector<int> rows;  // kRowBins entries
    float ps = 0;
    int centre = 0, first = 0, last = 0;

    int Exact(float z) const { return std::clamp(TruncPixel(-std::asin(z) * ps) + centre, first, last); }
    static float BinEnd(int i) { return -1.0f + static_cast<float>(i) * (2.0f / kRowBins); }

    void Build()
    {
        rows.resize(kRowBins);
        int previous = Exact(BinEnd(0));
        for (int i = 0; i < kRowBins; ++i) {
            const int next = Exact(BinEnd(i + 1));
            rows[static_cast<size_t>(i)] = previous == next ? next : -1;
            previous = next;
        }
    }

    int Row(float z) const
    {
        int i = static_cast<int>((static_cast<double>(z) + 1.0) * (kRowBins / 2));
        i = std::clamp(i, 0, kRowBins - 1);
        const int row = rows[static_cast<size_t>(i)];
        // Below 2^-52 a z next to 0 may land in the bin above its own.
        if (row >= 0 && z >= BinEnd(i) && z <= BinEnd(i + 1)) return row;
        return Exact(z);
    }
};

struct Job {
    const WorldMapBase* source;
    WorldMapBase* target;
    const float* m;
    const RowTable* rowTable;
    Bounds b;
    float dt, ps;
    int targetCentreY, channels;
    const float* cosLon;
    const float* sinLon;
};

// Channels is the sample size when it is known at compile time (1 or 3), else 0.
template <int Channels>
void RotateRows(const Job& job, int y0, int y1)
{
    const float* m = job.m;
    const size_t channels = Channels ? static_cast<size_t>(Channels) : static_cast<size_t>(job.channels);
    // The fast angle errs by under 1e-7 radian and the library's float angle
    // by a few units in the last place of pi (2.4e-7 each); the float product
    // by the scale adds half a unit of the pixel value.
    const double margin = 4.0e-6 * static_cast<double>(job.ps) + 1.0e-4;
    for (int y = y0; y < y1; ++y) {
        const WorldMapBase::ScanLine* outLine = job.target->GetScanLine(y);
        if (!outLine || !outLine->m_line) continue;
        const float latitude = static_cast<float>(y - job.targetCentreY) * job.dt;
        const float cosLat = std::cos(latitude), sinLat = std::sin(latitude);
        const int x0 = std::max(job.b.x0, outLine->m_first), x1 = std::min(job.b.x1, outLine->m_last);
        for (int x = x0; x <= x1; ++x) {
            uint8_t* out = outLine->m_line + static_cast<size_t>(x - outLine->m_first) * channels;
            const int k = x - job.b.x0;
            const float p[3] = {job.cosLon[k] * cosLat, -job.sinLon[k] * cosLat, -sinLat};
            float q[3];
            Multiply(m, p, q);
            const int row = job.rowTable->Row(std::clamp(q[2], -1.0f, 1.0f));
            const WorldMapBase::ScanLine* line = job.source->GetScanLine(row);
            if (!line->m_line) continue;
            const float qy = -q[1], qx = q[0];
            const int columnPixel = PixelOf(FastAtan2(qy, qx), job.ps, margin, [&] { return std::atan2(qy, qx); });
            const int column = std::clamp(columnPixel + line->m_samples / 2, line->m_first, line->m_last);
            if (column < line->m_first || column > line->m_last) continue;
            std::memcpy(out, line->m_line + static_cast<size_t>(column - line->m_first) * channels, channels);
        }
    }
}

void RotateBand(const Job& job, int y0, int y1)
{
    if (job.channels == 3)
        RotateRows<3>(job, y0, y1);
    else if (job.channels == 1)
        RotateRows<1>(job, y0, y1);
    else
        RotateRows<0>(job, y0, y1);
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
    Bounds b = TargetBounds(source, sourceRows, m, dt, ps, targetCentreX, targetCentreY, targetRows.first, targetRows.last,
                            targetFirst->m_first, targetFirst->m_last);
    b.x0 = std::clamp(b.x0, targetFirst->m_first, targetFirst->m_last);
    b.x1 = std::clamp(b.x1, targetFirst->m_first, targetFirst->m_last);
    b.y0 = std::clamp(b.y0, targetRows.first, targetRows.last);
    b.y1 = std::clamp(b.y1, targetRows.first, targetRows.last);
    target->UpdateXDataAreaRect(b.x0, b.x1);
    target->UpdateScanLineArea(b.y0);
    target->UpdateScanLineArea(b.y1);

    // Each column's longitude, as the per-pixel direction would work it.
    std::vector<float> cosLon(static_cast<size_t>(b.x1 - b.x0 + 1)), sinLon(cosLon.size());
    for (int x = b.x0; x <= b.x1; ++x) {
        const float longitude = static_cast<float>(x - targetCentreX) * dt;
        cosLon[static_cast<size_t>(x - b.x0)] = std::cos(longitude);
        sinLon[static_cast<size_t>(x - b.x0)] = std::sin(longitude);
    }
    RowTable rowTable;
    rowTable.ps = ps;
    rowTable.centre = sourceCentreY;
    rowTable.first = sourceRows.first;
    rowTable.last = sourceRows.last;
    rowTable.Build();
    const Job job{source, target, m, &rowTable, b, dt, ps, targetCentreY, channels, cosLon.data(), sinLon.data()};

    // Rows are independent: bands of them on the available cores.
    const int rowCount = b.y1 - b.y0 + 1;
    const int pixels = rowCount * (b.x1 - b.x0 + 1);
    const int threads = pixels < 65536 ? 1 : std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 8);
    if (threads == 1) {
        RotateBand(job, b.y0, b.y1 + 1);
        return;
    }
    std::vector<std::thread> workers;
    workers.reserve(static_cast<size_t>(threads - 1));
    auto bandStart = [&](int i) { return b.y0 + static_cast<int>(static_cast<int64_t>(rowCount) * i / threads); };
    for (int i = 1; i < threads; ++i) workers.emplace_back(RotateBand, std::cref(job), bandStart(i), bandStart(i + 1));
    RotateBand(job, bandStart(0), bandStart(1));
    for (auto& worker : workers) worker.join();
}

}  // namespace Utilities
