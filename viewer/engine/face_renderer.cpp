#include "viewer/engine/face_renderer.h"

#include "core/logger.h"
#include "viewer/engine/row_bands.h"
#include "viewer/engine/view_rotation.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr double kTwoPi = 6.283185307179586;

// A position in the map's stored block: columns and rows from its first
// stored sample.
struct BlockPos {
    double col, row;
};

// The map's stored block and how positions are taken from it.
class MapSampler {
public:
    explicit MapSampler(const WorldMapBase& map)
        : m_data(map.GetData()),
          m_rowBytes(map.GetRowBytes()),
          m_channels(map.GetChannels()),
          m_width(map.GetMapRect()->right - map.GetMapRect()->left + 1),
          m_height(map.GetMapRect()->bottom - map.GetMapRect()->top + 1),
          m_loop(map.IsMapLoop())
    {
    }

    bool Usable() const { return m_data && m_width > 0 && m_height > 0 && (m_channels == 1 || m_channels == 3); }

    // Whether a position has all four neighbours in the block without
    // wrapping, so that SampleInside3 applies; the margin covers its
    // fixed-point stepping (under 1e-4 pixel over a segment).
    bool Inside(const BlockPos& p) const
    {
        constexpr double kMargin = 0.001;
        return p.col >= kMargin && p.col < m_width - 1 - kMargin && p.row >= kMargin && p.row < m_height - 1 - kMargin;
    }

    // Sample's interior case for three channels on both sides, the position
    // in 1/65536 of a pixel.
    void SampleInside3(int64_t col, int64_t row, unsigned char* out) const
    {
        const int64_t ix = col >> 16, iy = row >> 16;
        const int fx = static_cast<int>((col >> 8) & 255), fy = static_cast<int>((row >> 8) & 255);
        const unsigned char* q0 = m_data + static_cast<size_t>(iy) * m_rowBytes + static_cast<size_t>(ix) * 3;
        const unsigned char* q1 = q0 + m_rowBytes;
        const int w00 = (256 - fx) * (256 - fy), w10 = fx * (256 - fy), w01 = (256 - fx) * fy, w11 = fx * fy;
        for (int c = 0; c < 3; ++c)
            out[c] = static_cast<unsigned char>(
                (q0[c] * w00 + q0[3 + c] * w10 + q1[c] * w01 + q1[3 + c] * w11 + 32768) >> 16);
    }

    int Channels() const { return m_channels; }

    // Bilinear sample at `p` into `out` (face channels); zeros outside.
    void Sample(BlockPos p, unsigned char* out, int faceChannels) const
    {
        double col = p.col;
        // A map that closes the circle continues across its seam; a partial
        // block has nothing beyond its edges.
        if (m_loop) {
            if (col < 0)
                col += m_width;
            else if (col >= m_width)
                col -= m_width;
        }
        const double lastCol = m_loop ? m_width : m_width - 1;
        if (!(col >= 0 && col <= lastCol && p.row >= 0 && p.row <= m_height - 1)) {
            for (int k = 0; k < faceChannels; ++k) out[k] = 0;
            return;
        }
        const int ix = std::min(static_cast<int>(col), m_width - 1);
        const int iy = static_cast<int>(p.row);
        // Weights in 1/256 of a pixel, summing to 65536: integer arithmetic
        // keeps the per-pixel cost below the transcendental work saved.
        const int fx = std::min(255, static_cast<int>((col - ix) * 256.0));
        const int fy = static_cast<int>((p.row - iy) * 256.0);
        const int right = ix < m_width - 1 ? ix + 1 : (m_loop ? 0 : ix);
        const int below = iy < m_height - 1 ? iy + 1 : iy;
        const unsigned char* r0 = m_data + static_cast<size_t>(iy) * m_rowBytes;
        const unsigned char* r1 = m_data + static_cast<size_t>(below) * m_rowBytes;
        const size_t a = static_cast<size_t>(ix) * m_channels, b = static_cast<size_t>(right) * m_channels;
        const int w00 = (256 - fx) * (256 - fy), w10 = fx * (256 - fy), w01 = (256 - fx) * fy, w11 = fx * fy;
        auto mix = [&](int c) {
            return static_cast<unsigned char>(
                (r0[a + c] * w00 + r0[b + c] * w10 + r1[a + c] * w01 + r1[b + c] * w11 + 32768) >> 16);
        };
        if (m_channels == 3 && faceChannels == 3) {
            out[0] = mix(0);
            out[1] = mix(1);
            out[2] = mix(2);
            return;
        }
        for (int k = 0; k < faceChannels; ++k) out[k] = mix(m_channels == 1 ? 0 : k);
    }

private:
    const uint8_t* m_data;
    size_t m_rowBytes;
    int m_channels;
    int m_width, m_height;
    bool m_loop;
};

// Exact map positions of face pixels.
class FaceProjector {
public:
    FaceProjector(const WorldMapBase& map, const Image& face, float yaw, float pitch, float roll, float fov)
        : m_halfW(face.GetWidth() / 2), m_halfH(face.GetHeight() / 2)
    {
        // M = first(yaw) * second(-pitch) * third(roll): the face frame (down,
        // right, forward) into the map's.
        float t[9];
        viewengine::RotMatrixFirst(yaw, m_m);
        viewengine::RotMatrixSecond(-pitch, t);
        viewengine::MulMatrix3(m_m, t, m_m);
        viewengine::RotMatrixThird(roll, t);
        viewengine::MulMatrix3(m_m, t, m_m);
        m_focal = (face.GetWidth() / 2.0) / std::tan(fov / 2.0);
        const int w = map.GetWidth();
        m_perRadian = w / kTwoPi;
        m_colOrigin = map.GetMapRect()->left - w / 2;
        m_rowOrigin = map.GetMapRect()->top - (w / 2 + 1) / 2;
    }

    BlockPos At(int c, int r) const
    {
        const double j = c - m_halfW, i = r - m_halfH;
        const double n = 1.0 / std::sqrt(i * i + j * j + m_focal * m_focal);
        const double d0 = i * n, d1 = j * n, d2 = m_focal * n;
        const double a = m_m[0] * d0 + m_m[1] * d1 + m_m[2] * d2;
        const double b = m_m[3] * d0 + m_m[4] * d1 + m_m[5] * d2;
        const double cc = m_m[6] * d0 + m_m[7] * d1 + m_m[8] * d2;
        const double lat = std::asin(std::clamp(a, -1.0, 1.0));
        const double lon = std::atan2(b, cc);
        return BlockPos{lon * m_perRadian - m_colOrigin, lat * m_perRadian - m_rowOrigin};
    }

private:
    int m_halfW, m_halfH;
    float m_m[9];
    double m_focal = 1;
    double m_perRadian = 1;
    int m_colOrigin = 0, m_rowOrigin = 0;
};

// One segment of a face row: pixels c0 .. c0 + step - 1 (the row's last
// segment also draws its end), between the exact positions p0 at c0 and the
// next one, which it leaves in p0.
void DrawSegment(const FaceProjector& projector, const MapSampler& sampler, double mapWidth, int c0, int y, int w,
                 int step, int channels, unsigned char* out, BlockPos& p0)
{
    const int c1 = std::min(c0 + step, w - 1);
    const int n = c1 - c0;
    const BlockPos p1 = n > 0 ? projector.At(c1, y) : p0;
    double dcol = p1.col - p0.col;
    // A step across the map's seam runs the short way round.
    if (dcol > mapWidth / 2)
        dcol -= mapWidth;
    else if (dcol < -mapWidth / 2)
        dcol += mapWidth;
    const double stepCol = n > 0 ? dcol / n : 0, stepRow = n > 0 ? (p1.row - p0.row) / n : 0;
    // The segment's own pixels; the last segment also draws its end.
    const int count = c0 + step >= w ? n + 1 : step;
    unsigned char* segment = out + static_cast<size_t>(c0) * channels;
    const BlockPos last{p0.col + (count - 1) * stepCol, p0.row + (count - 1) * stepRow};
    // Positions between two inside the block are inside too.
    if (channels == 3 && sampler.Channels() == 3 && sampler.Inside(p0) && sampler.Inside(last)) {
        // Fixed point (1/65536 pixel).
        auto fixed = [](double v) { return static_cast<int64_t>(v * 65536.0); };
        int64_t col = fixed(p0.col), row = fixed(p0.row);
        const int64_t dc = fixed(stepCol), dr = fixed(stepRow);
        for (int k = 0; k < count; ++k, col += dc, row += dr) sampler.SampleInside3(col, row, segment + 3 * k);
        p0 = p1;
        return;
    }
    for (int k = 0; k < count; ++k)
        sampler.Sample(BlockPos{p0.col + k * stepCol, p0.row + k * stepRow}, out + static_cast<size_t>(c0 + k) * channels,
                       channels);
    p0 = p1;
}

// The tile of the face drawing (rows, columns); SetFaceRenderTiles changes it.
std::atomic<int> g_tileRows{16};
std::atomic<int> g_tileColumns{160};

bool Usable(const WorldMapBase* map, const Image* face, float fov, int step)
{
    if (!map || !face || !face->GetData() || face->GetDataType() != IMG_UINT8 || !face->IsInterleaved()) return false;
    if (face->GetChannels() < 1 || face->GetChannels() > 3 || face->GetWidth() <= 0 || face->GetHeight() <= 0)
        return false;
    if (map->GetWidth() < 4 || !MapSampler(*map).Usable()) return false;
    return step >= 1 && fov > 0 && fov < 3.14159265f;
}

}  // namespace

bool RenderFaceFromMap(const WorldMapBase* map, Image* face, float yaw, float pitch, float roll, float fov, int step,
                       bool)
{
    if (!Usable(map, face, fov, step)) {
        Logger::log("ERROR RenderFaceFromMap: no map data, an unusable face image, fov %f or step %d", 1, double(fov),
                    step);
        return false;
    }
    const MapSampler sampler(*map);
    const FaceProjector projector(*map, *face, yaw, pitch, roll, fov);
    const int w = face->GetWidth(), h = face->GetHeight(), channels = face->GetChannels();
    const double mapWidth = map->GetWidth();
    const int tileRows = std::max(1, g_tileRows.load(std::memory_order_relaxed));
    // Whole segments per tile, so that the segments (and their bytes) are the
    // row order's.
    const int tileColumns = std::max(1, g_tileColumns.load(std::memory_order_relaxed) / step) * step;
    // Rows are independent: bands of them run side by side. Within a band the
    // face is drawn in tiles of a few rows by a few segments, so that the map
    // rows a tile reads stay in the cache: a face row near a pole sweeps a
    // long arc of the map, its neighbours sweep the arcs beside it.
    viewengine::ForEachRowBand(0, h - 1, int64_t{w} * h, [&](int from, int to) {
        std::vector<BlockPos> carried(static_cast<size_t>(std::min(tileRows, to - from + 1)));
        for (int top = from; top <= to; top += tileRows) {
            const int bottom = std::min(to, top + tileRows - 1);
            // The exact position at the start of each row's next segment.
            for (int y = top; y <= bottom; ++y) carried[static_cast<size_t>(y - top)] = projector.At(0, y);
            for (int left = 0; left < w; left += tileColumns) {
                const int right = std::min(w, left + tileColumns);
                for (int y = top; y <= bottom; ++y) {
                    unsigned char* out = face->GetData() + static_cast<size_t>(y) * face->GetRowByte();
                    BlockPos& p0 = carried[static_cast<size_t>(y - top)];
                    for (int c0 = left; c0 < right; c0 += step)
                        DrawSegment(projector, sampler, mapWidth, c0, y, w, step, channels, out, p0);
                }
            }
        }
    });
    return true;
}

void SetFaceRenderTiles(int rows, int columns)
{
    g_tileRows.store(std::max(1, rows), std::memory_order_relaxed);
    g_tileColumns.store(std::max(1, columns), std::memory_order_relaxed);
}
