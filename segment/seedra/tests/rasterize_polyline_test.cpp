// RasterizePolyline: the documented chain, short inputs, and 8-connected
// chains through the rounded vertices for random polylines.
#include "segment/seedra/rasterize_polyline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

std::vector<int> Raster(const std::vector<POINT2>& v, float scale = 1.0f, const int* offset = nullptr)
{
    int* out = nullptr;
    int count = -1;
    RasterizePolyline(v.data(), static_cast<int>(v.size()), scale, offset, &out, &count);
    std::vector<int> xy(out, out + 2 * count);
    std::free(out);
    return xy;
}

int R(float t) { return static_cast<int>(t + 0.5f); }

}  // namespace

TEST(RasterizePolyline, DocumentedChainAndShortInputs)
{
    EXPECT_EQ(Raster({{0, 0}, {3, 1}}), (std::vector<int>{0, 0, 1, 0, 2, 1, 3, 1}));
    EXPECT_EQ(Raster({{1.4f, 2.6f}}), (std::vector<int>{1, 3}));
    EXPECT_EQ(Raster({}), std::vector<int>{});
    int* out = reinterpret_cast<int*>(0x1);
    int count = 7;
    RasterizePolyline(nullptr, 0, 1.0f, nullptr, &out, &count);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(count, 0);
    // Scale, offset, a closed ring drops the repeated first point.
    const int offset[2] = {10, -5};
    EXPECT_EQ(Raster({{0, 0}, {1.5f, 0}}, 2.0f, offset), (std::vector<int>{10, -5, 11, -5, 12, -5, 13, -5}));
    const std::vector<int> ring = Raster({{0, 0}, {2, 0}, {2, 2}, {0, 0}});
    ASSERT_GE(ring.size(), 4u);
    EXPECT_FALSE(ring[0] == ring[ring.size() - 2] && ring[1] == ring[ring.size() - 1]);
}

// For random polylines in the pixel plane: the chain starts next to the
// first rounded vertex and passes next to every rounded vertex in order, and
// it has no gap: consecutive points are 8-neighbours, except that where one
// edge's first point replaces the previous edge's last (each edge steps from
// its rounded start and takes the other coordinate from the exact line) the
// step may reach 2.
TEST(RasterizePolyline, ChainsAreConnectedThroughTheRoundedVertices)
{
    std::mt19937 rng(12);
    std::uniform_real_distribution<float> coord(0.0f, 80.0f);
    for (int round = 0; round < 200; ++round) {
        std::vector<POINT2> v(2 + round % 6);
        for (POINT2& p : v) p = POINT2{coord(rng), coord(rng)};
        const std::vector<int> xy = Raster(v);
        ASSERT_GE(xy.size(), 2u);
        EXPECT_LE(std::abs(xy[0] - R(v[0].x)), 1);
        EXPECT_LE(std::abs(xy[1] - R(v[0].y)), 1);
        for (size_t i = 2; i < xy.size(); i += 2) {
            EXPECT_LE(std::abs(xy[i] - xy[i - 2]), 2);
            EXPECT_LE(std::abs(xy[i + 1] - xy[i - 1]), 2);
        }
        size_t at = 0;
        for (size_t k = 1; k < v.size(); ++k) {
            const int x = R(v[k].x), y = R(v[k].y);
            while (at < xy.size() && !(std::abs(xy[at] - x) <= 1 && std::abs(xy[at + 1] - y) <= 1)) at += 2;
            EXPECT_LT(at, xy.size()) << "vertex " << k << " not reached";
        }
    }
}
