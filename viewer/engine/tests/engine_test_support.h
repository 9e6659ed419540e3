// Shared fixtures of the view engine's tests and benchmark: synthetic world
// maps and the slow, obviously-right references that the face renderer and
// the rendered views are compared with (one direction, one arc sine and one
// arc tangent per pixel, a bilinear sample of the map).
#pragma once

#include "imaging/image.h"
#include "worldmap/world_map_base.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

namespace enginetest {

constexpr double kPi = 3.14159265358979323846;

struct MapDeleter {
    void operator()(WorldMapBase* map) const
    {
        if (map) map->Release();
    }
};
using MapPtr = std::unique_ptr<WorldMapBase, MapDeleter>;
struct ImageDeleter {
    void operator()(Image* image) const { ReleaseImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

// The synthetic map's colours at map column mapX and row y of a map of
// equator width w: red grows with longitude, green with latitude, blue is a
// smooth wave across the seam; every 16th column and row is a black grid
// line (stored as 1 in the first sample, so that it still reads as data).
inline void SyntheticPixel(int y, int mapX, int w, unsigned char* bgr, bool grid)
{
    const int rows = w / 2 + 1;
    const double lon = (mapX + 0.0) / w;  // 0..1 around the circle
    bgr[2] = static_cast<unsigned char>(20 + 220 * lon);
    bgr[1] = static_cast<unsigned char>(20 + 220.0 * y / (rows - 1));
    bgr[0] = static_cast<unsigned char>(128 + 100 * std::sin(2 * kPi * lon));
    if (grid && (mapX % 16 == 0 || y % 16 == 0)) bgr[0] = 1, bgr[1] = 0, bgr[2] = 0;
}

// A world map of equator width w whose stored block covers columns
// [column, column + width) and rows [row, row + height) of the map (the
// whole map by default), filled with the synthetic pattern.
inline MapPtr MakeSyntheticMap(int w, bool grid = false, int column = 0, int width = 0, int row = 0, int height = 0,
                               int channels = 3)
{
    const int rows = w / 2 + 1;
    if (width <= 0) width = w;
    if (height <= 0) height = rows;
    ImagePtr image(new Image(width, height, channels));
    for (int y = 0; y < height; ++y) {
        unsigned char* p = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
        for (int x = 0; x < width; ++x, p += channels) {
            unsigned char bgr[3];
            SyntheticPixel(row + y, (column + x) % w, w, bgr, grid);
            if (channels == 3)
                p[0] = bgr[0], p[1] = bgr[1], p[2] = bgr[2];
            else
                p[0] = bgr[2];
        }
    }
    MapPtr map(new WorldMapBase());
    if (!map->TransferFromImage(image.get(), w, column, row, 0)) return nullptr;
    return map;
}

// Bilinear sample of the map's block at the direction (lon, lat) (radians;
// lat positive downwards), in the block's own coordinates; zeros outside.
inline void SampleMapReference(const WorldMapBase& map, double lon, double lat, unsigned char* out, int channels)
{
    const int w = map.GetWidth();
    const RECT& r = *map.GetMapRect();
    const int bw = r.right - r.left + 1, bh = r.bottom - r.top + 1;
    double col = lon * w / (2 * kPi) + w / 2 - r.left;
    const double row = lat * w / (2 * kPi) + (w / 2 + 1) / 2 - r.top;
    const bool loop = map.IsMapLoop();
    if (loop) col = std::fmod(col + 2.0 * bw, double(bw));
    const double maxCol = loop ? bw : bw - 1;
    if (!(col >= 0 && col <= maxCol && row >= 0 && row <= bh - 1)) {
        for (int k = 0; k < channels; ++k) out[k] = 0;
        return;
    }
    const int x0 = std::min(static_cast<int>(col), bw - 1), y0 = static_cast<int>(row);
    const int x1 = x0 + 1 < bw ? x0 + 1 : (loop ? 0 : x0), y1 = std::min(y0 + 1, bh - 1);
    const double fx = col - x0, fy = row - y0;
    const int mc = map.GetChannels();
    auto at = [&](int x, int y, int c) {
        return double(map.GetData()[static_cast<size_t>(y) * map.GetRowBytes() + static_cast<size_t>(x) * mc +
                                    (mc == 1 ? 0 : c)]);
    };
    for (int c = 0; c < channels; ++c) {
        const double v = (1 - fx) * (1 - fy) * at(x0, y0, c) + fx * (1 - fy) * at(x1, y0, c) +
                         (1 - fx) * fy * at(x0, y1, c) + fx * fy * at(x1, y1, c);
        out[c] = static_cast<unsigned char>(std::min(255.0, v + 0.5));
    }
}

// The turns of a view: roll about its axis, then pitch (negative up), then
// yaw, as sines and cosines.
struct ViewTurns {
    double cy, sy, cp, sp, cr, sr;
    ViewTurns(double yaw, double pitch, double roll)
        : cy(std::cos(yaw)), sy(std::sin(yaw)), cp(std::cos(pitch)), sp(std::sin(pitch)), cr(std::cos(roll)),
          sr(std::sin(roll))
    {
    }
};

// The direction of a perspective pixel: offsets (right, down) from the
// image centre and a focal length in pixels, for a view turned by `t`. Out:
// longitude (right positive) and latitude (down positive).
inline void PixelDirection(double right, double down, double focal, const ViewTurns& t, double& lon, double& lat)
{
    // Roll turns the image plane.
    const double d = t.cr * down + t.sr * right, r = -t.sr * down + t.cr * right;
    // Pitch turns the forward axis towards down.
    const double d2 = t.cp * d + t.sp * focal, f2 = -t.sp * d + t.cp * focal;
    // Yaw turns forward towards right about the vertical.
    const double r3 = t.cy * r + t.sy * f2, f3 = -t.sy * r + t.cy * f2;
    const double n = std::sqrt(r3 * r3 + d2 * d2 + f3 * f3);
    lat = std::asin(std::clamp(d2 / n, -1.0, 1.0));
    lon = std::atan2(r3, f3);
}

inline void PixelDirection(double right, double down, double focal, double yaw, double pitch, double roll,
                           double& lon, double& lat)
{
    PixelDirection(right, down, focal, ViewTurns(yaw, pitch, roll), lon, lat);
}

// The reference view: every pixel of `view` cast through the map (one
// square root, one arc sine and one arc tangent per pixel), hfov the view's
// horizontal field.
inline void RayCastView(const WorldMapBase& map, Image* view, double yaw, double pitch, double roll, double hfov)
{
    const int w = view->GetWidth(), h = view->GetHeight();
    const double focal = (w / 2.0) / std::tan(hfov / 2);
    const ViewTurns turns(yaw, pitch, roll);
    const int channels = view->GetChannels();
    for (int y = 0; y < h; ++y) {
        unsigned char* p = view->GetData() + static_cast<size_t>(y) * view->GetRowByte();
        for (int x = 0; x < w; ++x, p += channels) {
            double lon, lat;
            PixelDirection(x - w / 2, y - h / 2, focal, turns, lon, lat);
            SampleMapReference(map, lon, lat, p, channels);
        }
    }
}

}  // namespace enginetest
