// The face renderer against a per-pixel ray-caster written in the test
// support: exact at every fifth pixel, close in between, across the seam, at
// the pole, outside a partial block and from a grey map.
#include "viewer/engine/face_renderer.h"

#include "viewer/engine/tests/engine_test_support.h"
#include "viewer/engine/view_rotation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

using namespace enginetest;

// The reference face: a face is a view of its own width with the face's fov.
ImagePtr ReferenceFace(const WorldMapBase& map, int w, int h, int channels, double yaw, double pitch, double roll,
                       double fov)
{
    ImagePtr face(new Image(w, h, channels));
    RayCastView(map, face.get(), yaw, pitch, roll, fov);
    return face;
}

ImagePtr RenderFace(const WorldMapBase& map, int w, int h, int channels, float yaw, float pitch, float roll, float fov)
{
    ImagePtr face(new Image(w, h, channels));
    face->Fill(77);
    EXPECT_TRUE(RenderFaceFromMap(&map, face.get(), yaw, pitch, roll, fov, 5, true));
    return face;
}

struct Diff {
    int maxExact = 0;  // at the exactly computed columns
    int maxAll = 0;
};

// Within a few degrees of a pole the longitude turns fast between the exact
// columns, so the colours that depend on it (red, blue) are compared only
// away from the poles; green (the latitude) everywhere. Red also jumps at the
// seam by design of the map, so there only blue (a smooth wave) counts.
// mask: 1 near a pole, 2 at the seam.
Diff Compare(const Image& a, const Image& b, const std::vector<int>* mask = nullptr)
{
    Diff d;
    const int c = a.GetChannels();
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x)
            for (int k = 0; k < c; ++k) {
                const int m = mask ? (*mask)[static_cast<size_t>(y * a.GetWidth() + x)] : 0;
                if ((m == 1 && k != 1) || (m == 2 && k == 2)) continue;
                const int v = std::abs(int(a.GetData()[y * a.GetRowByte() + x * c + k]) -
                                       int(b.GetData()[y * b.GetRowByte() + x * c + k]));
                d.maxAll = std::max(d.maxAll, v);
                if (x % 5 == 0 || x == a.GetWidth() - 1) d.maxExact = std::max(d.maxExact, v);
            }
    return d;
}

TEST(FaceRenderer, MatchesTheRayCasterInEveryDirection)
{
    const MapPtr map = MakeSyntheticMap(1024);
    ASSERT_TRUE(map);
    const struct {
        const char* name;
        float yaw, pitch, roll, fov;
        int w, h;
    } cases[] = {
        {"ahead", 0.0f, 0.0f, 0.0f, 1.6f, 273, 273},
        {"seam", float(kPi), 0.0f, 0.0f, 1.6f, 273, 273},
        {"seamLeft", -3.0f, 0.3f, 0.0f, 1.2f, 200, 150},
        {"top", 0.0f, float(-kPi / 2), 0.0f, 1.6f, 273, 273},
        {"bottom", 0.4f, float(kPi / 2), 0.0f, 1.6f, 160, 160},
        {"rolled", 1.0f, -0.4f, 0.3f, 1.0f, 181, 121},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ImagePtr face = RenderFace(*map, c.w, c.h, 3, c.yaw, c.pitch, c.roll, c.fov);
        const ImagePtr ref = ReferenceFace(*map, c.w, c.h, 3, c.yaw, c.pitch, c.roll, c.fov);
        std::vector<int> mask(static_cast<size_t>(c.w * c.h));
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                double lon, lat;
                PixelDirection(x - c.w / 2, y - c.h / 2, (c.w / 2.0) / std::tan(c.fov / 2), c.yaw, c.pitch, c.roll,
                               lon, lat);
                mask[static_cast<size_t>(y * c.w + x)] =
                    std::fabs(lat) > 80 * kPi / 180 ? 1 : std::fabs(lon) > 179 * kPi / 180 ? 2 : 0;
            }
        EXPECT_LE(Compare(*face, *ref).maxExact, 1);
        const Diff d = Compare(*face, *ref, &mask);
        // In between, the interpolated position is off by a small fraction of
        // a pixel: a few levels on this smooth map. A step the long way
        // round the seam would give differences near 200.
        EXPECT_LE(d.maxAll, 4);
    }
}

TEST(FaceRenderer, CentreOfTheYawZeroFaceIsTheMiddleColumn)
{
    const int w = 512;
    const MapPtr map = MakeSyntheticMap(w);
    ASSERT_TRUE(map);
    const ImagePtr face = RenderFace(*map, 101, 101, 3, 0.0f, 0.0f, 0.0f, 1.5f);
    const unsigned char* centre = face->GetData() + 50 * face->GetRowByte() + 50 * 3;
    unsigned char expected[3];
    SyntheticPixel(w / 4, w / 2, w, expected, false);
    EXPECT_EQ(centre[0], expected[0]);
    EXPECT_EQ(centre[1], expected[1]);
    EXPECT_EQ(centre[2], expected[2]);
}

TEST(FaceRenderer, PoleFaceSamplesTheTopRowsAtAllLongitudes)
{
    const int w = 512;
    const MapPtr map = MakeSyntheticMap(w);
    ASSERT_TRUE(map);
    // A narrow face at the pole: every pixel lies within a few rows of the
    // top, whatever its longitude (green encodes the row).
    const ImagePtr face = RenderFace(*map, 41, 41, 3, 0.0f, float(-kPi / 2), 0.0f, 0.1f);
    int minRed = 255, maxRed = 0;
    for (int y = 0; y < 41; ++y)
        for (int x = 0; x < 41; ++x) {
            const unsigned char* p = face->GetData() + y * face->GetRowByte() + x * 3;
            EXPECT_LE(p[1], 20 + 220.0 * 6 / (w / 2)) << x << "," << y;
            minRed = std::min<int>(minRed, p[2]);
            maxRed = std::max<int>(maxRed, p[2]);
        }
    EXPECT_GT(maxRed - minRed, 150);  // every longitude meets at the pole
}

TEST(FaceRenderer, ZerosOutsideAPartialBlock)
{
    const int w = 1024;
    // 90 degrees of longitude, rows 200..311 (a band around the equator).
    const MapPtr map = MakeSyntheticMap(w, false, 384, 256, 200, 112);
    ASSERT_TRUE(map);
    ASSERT_FALSE(map->IsMapLoop());
    const ImagePtr face = RenderFace(*map, 201, 201, 3, 0.0f, 0.0f, 0.0f, 2.2f);
    const ImagePtr ref = ReferenceFace(*map, 201, 201, 3, 0.0f, 0.0f, 0.0f, 2.2f);
    int zeros = 0, data = 0;
    for (int y = 0; y < 201; ++y)
        for (int x = 0; x < 201; ++x) {
            const unsigned char* p = face->GetData() + y * face->GetRowByte() + x * 3;
            const unsigned char* q = ref->GetData() + y * ref->GetRowByte() + x * 3;
            const bool refZero = q[0] == 0 && q[1] == 0 && q[2] == 0;
            if (refZero) {
                ++zeros;
                // At the block's edge the interpolated position may fall a
                // fraction of a pixel the other way.
                if (p[0] || p[1] || p[2]) {
                    double lon, lat;
                    PixelDirection(x - 100, y - 100, 100.5 / std::tan(1.1), 0, 0, 0, lon, lat);
                    const double row = lat * w / (2 * kPi) + 256 - 200;
                    const double col = lon * w / (2 * kPi) + 512 - map->GetMapRect()->left;
                    EXPECT_TRUE(std::fabs(row) < 0.25 || std::fabs(row - 111) < 0.25 || std::fabs(col) < 0.25 ||
                                std::fabs(col - 255) < 0.25)
                        << x << "," << y;
                }
            } else {
                ++data;
            }
        }
    EXPECT_GT(zeros, 5000);
    EXPECT_GT(data, 3000);
}

TEST(FaceRenderer, GreyMapFillsEveryFaceChannel)
{
    const MapPtr grey = MakeSyntheticMap(512, false, 0, 0, 0, 0, 1);
    ASSERT_TRUE(grey);
    ASSERT_EQ(grey->GetChannels(), 1);
    for (int channels : {1, 3}) {
        const ImagePtr face = RenderFace(*grey, 64, 48, channels, 0.5f, 0.2f, 0.0f, 1.2f);
        const ImagePtr ref = ReferenceFace(*grey, 64, 48, channels, 0.5f, 0.2f, 0.0f, 1.2f);
        EXPECT_LE(Compare(*face, *ref).maxAll, 3);
        if (channels == 3) {
            const unsigned char* p = face->GetData() + 20 * face->GetRowByte() + 30 * 3;
            EXPECT_EQ(p[0], p[1]);
            EXPECT_EQ(p[1], p[2]);
        }
    }
}

TEST(FaceRenderer, RefusesUnusableArguments)
{
    const MapPtr map = MakeSyntheticMap(256);
    ImagePtr face(new Image(16, 16, 3));
    face->Fill(9);
    WorldMapBase empty;
    EXPECT_FALSE(RenderFaceFromMap(nullptr, face.get(), 0, 0, 0, 1, 5, true));
    EXPECT_FALSE(RenderFaceFromMap(map.get(), nullptr, 0, 0, 0, 1, 5, true));
    EXPECT_FALSE(RenderFaceFromMap(&empty, face.get(), 0, 0, 0, 1, 5, true));
    EXPECT_FALSE(RenderFaceFromMap(map.get(), face.get(), 0, 0, 0, 0.0f, 5, true));
    EXPECT_FALSE(RenderFaceFromMap(map.get(), face.get(), 0, 0, 0, 4.0f, 5, true));
    EXPECT_FALSE(RenderFaceFromMap(map.get(), face.get(), 0, 0, 0, 1, 0, true));
    EXPECT_EQ(face->GetData()[0], 9);
}

// Tiles give the plain row order's bytes: whole and partial maps (across the
// seam, at a pole, off the block's edge), grey maps, one to three face
// channels, odd face widths, steps that do and do not divide the tile.
TEST(FaceRenderer, TilesGiveTheRowOrdersBytes)
{
    const MapPtr whole = MakeSyntheticMap(1024, true);
    const MapPtr partial = MakeSyntheticMap(1024, true, 384, 256, 200, 112);
    const MapPtr grey = MakeSyntheticMap(1024, true, 0, 0, 0, 0, 1);
    ASSERT_TRUE(whole && partial && grey);
    struct Case {
        const char* name;
        const WorldMapBase* map;
        int w, h, channels;
        float yaw, pitch, roll, fov;
        int step;
    };
    const Case cases[] = {
        {"seam", whole.get(), 333, 101, 3, 3.1f, 0.2f, 0.0f, 1.6f, 5},
        {"top pole", whole.get(), 257, 257, 3, 0.0f, -1.5707964f, 0.0f, 1.6f, 5},
        {"bottom pole rolled", whole.get(), 199, 211, 3, 0.4f, 1.4f, 0.3f, 1.7f, 5},
        {"partial block", partial.get(), 301, 203, 3, 0.1f, 0.0f, 0.0f, 2.2f, 5},
        {"grey into rgb", grey.get(), 171, 95, 3, -2.0f, -0.3f, 0.0f, 1.2f, 5},
        {"grey", grey.get(), 171, 95, 1, 2.9f, 0.3f, 0.1f, 1.2f, 5},
        {"two channels", whole.get(), 97, 61, 2, 1.0f, 0.0f, 0.0f, 1.0f, 5},
        {"step 7", whole.get(), 250, 77, 3, -3.0f, 0.5f, 0.0f, 1.9f, 7},
        {"step 1", whole.get(), 64, 64, 3, 0.7f, -0.9f, 0.0f, 1.0f, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto render = [&] {
            ImagePtr face(new Image(c.w, c.h, c.channels));
            face->Fill(77);
            EXPECT_TRUE(RenderFaceFromMap(c.map, face.get(), c.yaw, c.pitch, c.roll, c.fov, c.step, true));
            return face;
        };
        SetFaceRenderTiles(1, 1 << 30);
        const ImagePtr rows = render();
        for (const auto& tile : {std::pair{16, 160}, std::pair{3, 11}, std::pair{7, 1}}) {
            SetFaceRenderTiles(tile.first, tile.second);
            const ImagePtr tiled = render();
            EXPECT_EQ(0, std::memcmp(rows->GetData(), tiled->GetData(), rows->GetDataSize()))
                << tile.first << " x " << tile.second;
        }
        // The faces hold map data, not the fill they started with.
        int filled = 0;
        for (size_t i = 0; i < rows->GetDataSize(); ++i) filled += rows->GetData()[i] == 77;
        EXPECT_LT(filled, static_cast<int>(rows->GetDataSize() / 10));
    }
    SetFaceRenderTiles(16, 160);
}

TEST(ViewRotation, MatricesAndTheAliasingSafeProduct)
{
    float a[9], b[9], c[9], d[9];
    viewengine::RotMatrixFirst(0.3f, a);
    viewengine::RotMatrixThird(-0.7f, b);
    viewengine::MulMatrix3(a, b, c);
    viewengine::RotMatrixFirstThird(0.3f, -0.7f, d);
    for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(c[i], d[i]);
    // Written into its own input it gives the same product.
    viewengine::MulMatrix3(a, b, a);
    for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(a[i], c[i]);
    // first(t) is the transpose of a right-handed turn about the first axis.
    viewengine::RotMatrixSecond(0.5f, b);
    EXPECT_FLOAT_EQ(b[2], -std::sin(0.5f));
    EXPECT_FLOAT_EQ(b[6], std::sin(0.5f));
    EXPECT_FLOAT_EQ(d[1], std::sin(-0.7f));
}

}  // namespace
