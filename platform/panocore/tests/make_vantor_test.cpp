// Projection of an image into a scene file, checked against the map-to-image
// point mapping of the overlap images: blobs drawn in the image are found on
// the sphere where that mapping says, to a twentieth of a pixel.
#include "platform/panocore/make_vantor.h"

#include "platform/mapproj/rect_pt_rs.h"
#include "platform/sceneio/kestova_file.h"
#include "core/logger.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Scene samples by (row, column), the columns brought onto one turn around
// `aroundCol`.
struct SceneSamples {
    std::map<std::pair<int, int>, std::vector<uint8_t>> at;
    int channels = 0;
};

SceneSamples Collect(const KestovaFile& file)
{
    SceneSamples s;
    s.channels = file.GetNumChannel();
    const List* bands = file.GetBandList();
    for (int i = 0; bands && i < bands->m_count; ++i) {
        const auto* band = static_cast<const CBand*>(bands->GetData(i));
        for (int k = 0; k < band->m_numSectors; ++k) {
            const CSector* sec = band->m_sectors[k];
            for (int c = sec->m_first; c <= sec->m_last; ++c) {
                const uint8_t* p = sec->GetDataPtr() + (c - sec->m_first) * s.channels;
                s.at[{band->m_row, c}] = std::vector<uint8_t>(p, p + s.channels);
            }
        }
    }
    return s;
}

std::unique_ptr<KestovaFile> NewScene(int samples, int channels)
{
    auto file = std::make_unique<KestovaFile>();
    file->SetNumChannel(channels);
    file->SetEquatorSampleNum(samples);
    file->SetHalfRingNum(samples / 4);
    file->SetBandBound(samples / 4);
    return file;
}

struct Blob {
    double x, y;
};

// A dark image with Gaussian blobs (sigma 2.5 pixels) in channel 0.
Image* BlobImage(int w, int h, const std::vector<Blob>& blobs)
{
    auto* img = new Image(w, h, 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double v = 10;
            for (const Blob& b : blobs) v += 240 * std::exp(-((x - b.x) * (x - b.x) + (y - b.y) * (y - b.y)) / (2 * 2.5 * 2.5));
            uint8_t* p = img->GetData() + y * img->GetRowByte() + 3 * x;
            p[0] = static_cast<uint8_t>(std::min(255.0, v));
            p[1] = 50;
            p[2] = 60;
        }
    }
    return img;
}

struct Placement {
    float pan, tilt, roll;
};

class ProjectionAgreesWithPointMapping : public testing::TestWithParam<Placement> {};

TEST_P(ProjectionAgreesWithPointMapping, BlobsLandWhereTheMapPointsMapBack)
{
    const Placement pl = GetParam();
    const int W = 320, H = 240;
    const std::vector<Blob> blobs = {{160.3, 120.7}, {60.25, 50.5}, {270.6, 200.2}, {40.9, 210.4}, {250.1, 30.8}};
    Image* img = BlobImage(W, H, blobs);
    TRANSFORM_RS rs{};
    rs.rcpFocal = 1.0f / 400;
    rs.pan = pl.pan;
    rs.tilt = pl.tilt;
    rs.roll = pl.roll;
    rs.scale = 1;
    const int n = static_cast<int>(2 * kPi * 400 / 4) * 4;  // about the image's own resolution
    auto file = NewScene(n, 3);
    std::unique_ptr<IMakeVantor> maker(GetMakeVantorInterface());
    ASSERT_TRUE(maker->MakeScene(img, file.get(), &rs, 0, false, 1));
    const SceneSamples scene = Collect(*file);

    const RECT origin{0, 0, 0, 0};
    const float fov = static_cast<float>(2 * std::atan(W * double(rs.rcpFocal) / 2));
    for (const Blob& b : blobs) {
        // Where the point mapping puts the blob on the map; the centroid is
        // measured in a window around it, on the scene's own samples.
        POINT2 p{static_cast<float>(b.x), static_cast<float>(b.y)}, m;
        ASSERT_EQ(1, CRectPtRS::PtsPlaneToRectMap(&p, &m, 1, &origin, n, W, H, rs.pan, rs.tilt, rs.roll, fov));
        const int cc = static_cast<int>(std::lround(m.x)) - n / 2, cr = static_cast<int>(std::lround(m.y)) - n / 4;
        double sw = 0, sx = 0, sy = 0;
        for (int r = cr - 10; r <= cr + 10; ++r) {
            for (int c = cc - 12; c <= cc + 12; ++c) {
                int col = c;
                auto it = scene.at.find({r, col});
                if (it == scene.at.end()) it = scene.at.find({r, col + n});
                if (it == scene.at.end()) it = scene.at.find({r, col - n});
                ASSERT_NE(it, scene.at.end()) << "blob window leaves the projected image";
                const double v = std::max(0.0, it->second[0] - 10.0);
                sw += v;
                sx += v * c;
                sy += v * r;
            }
        }
        ASSERT_GT(sw, 0);
        // Back through the map-to-image mapping of the overlap images.
        const POINT2 centroid{static_cast<float>(sx / sw + n / 2), static_cast<float>(sy / sw + n / 4)};
        POINT2 back;
        ASSERT_EQ(1, CRectPtRS::PtsRectMapToPlane(&centroid, &back, 1, &origin, n, W, H, rs.pan, rs.tilt, rs.roll, fov));
        EXPECT_NEAR(back.x, b.x, 0.05) << b.x << "," << b.y;
        EXPECT_NEAR(back.y, b.y, 0.05) << b.x << "," << b.y;
    }
    ReleaseImage(img);
}

INSTANTIATE_TEST_SUITE_P(Placements, ProjectionAgreesWithPointMapping,
                         testing::Values(Placement{0, 0, 0}, Placement{0.7f, -0.3f, 0.25f},
                                         Placement{3.0f, 0.5f, -1.2f}, Placement{-2.0f, 1.0f, 0.0f}));

TEST(MakeVantor, ImageAtRestLandsCentredWithItsAngularWidth)
{
    const int W = 400, H = 300, n = 5024;
    Image img(W, H, 1);
    std::memset(img.GetData(), 0, img.GetDataSize());  // black: stored as 1
    TRANSFORM_RS rs{};
    rs.rcpFocal = 1.0f / 500;
    auto file = NewScene(n, 3);
    std::unique_ptr<IMakeVantor> maker(GetMakeVantorInterface());
    ASSERT_TRUE(maker->MakeScene(&img, file.get(), &rs, 0, false, 1));
    REGION box;
    ASSERT_TRUE(file->VantorFileFgBoundBox(&box, 0.0f));
    // Sample centres inside the image's pixel-centre span (W - 1 pixels).
    const double half = std::atan((W - 1) / 2.0 / 500) * n / (2 * kPi);
    EXPECT_NEAR(box.x0, -half - 0.5 * n / (2 * kPi) / 500, 1.0);
    EXPECT_NEAR(box.x1, half - 0.5 * n / (2 * kPi) / 500, 1.0);
    EXPECT_NEAR(box.width, 2 * std::atan(W / 2.0 / 500) * n / (2 * kPi), 2.0);
    EXPECT_NEAR(box.y0 + box.y1, -1, 2.0);  // centred on the equator (pixel centres at -0.5)
    EXPECT_EQ(box.height, box.y1 - box.y0 + 1);
    const SceneSamples scene = Collect(*file);
    const auto& centre = scene.at.at({0, 0});
    EXPECT_EQ(centre[0], 1);  // grey into three channels, 0 stored as 1
    EXPECT_EQ(centre[1], 0);
    REGION wider;
    ASSERT_TRUE(file->VantorFileFgBoundBox(&wider, 3.0f));
    EXPECT_EQ(wider.x0, box.x0 - 3);
    EXPECT_EQ(wider.width, box.width + 6);
}

TEST(MakeVantor, DistortionMovesSamplesAlongTheRadius)
{
    const int W = 200, H = 200, n = 4 * 500;
    Image img(W, H, 1);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) img.GetData()[y * img.GetRowByte() + x] = static_cast<uint8_t>(x + 20);
    TRANSFORM_RS rs{};
    rs.rcpFocal = 2 * 3.14159265f / n;  // one sample per pixel at the centre
    std::unique_ptr<IMakeVantor> maker(GetMakeVantorInterface());
    float record[11] = {0, 0, 0.1f, 0.95f};  // R (0.95 + 0.1 R)
    auto plain = NewScene(n, 1), warped = NewScene(n, 1);
    ASSERT_TRUE(maker->MakeScene(&img, plain.get(), &rs, 0, false, 1));
    maker->SetDistortion(reinterpret_cast<const DistortionRecord*>(record), W, H, 1.0f, 1);
    ASSERT_TRUE(maker->MakeScene(&img, warped.get(), &rs, 0, false, 1));
    // On the equator, 50 samples right of the centre: R = 0.5, so the image
    // is read at 50 (0.95 + 0.05) = 50 pixels: the same, and at 80 samples
    // (R = 0.8) at 80 x 1.03 = 82.4 instead of 80.
    const SceneSamples a = Collect(*plain), b = Collect(*warped);
    EXPECT_NEAR(b.at.at({0, 50})[0], a.at.at({0, 50})[0], 1);
    EXPECT_NEAR(b.at.at({0, 80})[0] - a.at.at({0, 80})[0], 2.4, 1.1);
    maker->ClearDistortion();
    auto again = NewScene(n, 1);
    ASSERT_TRUE(maker->MakeScene(&img, again.get(), &rs, 0, false, 1));
    EXPECT_EQ(Collect(*again).at, a.at);
}

TEST(MakeVantor, InvalidInputIsAnError)
{
    Image img(10, 10, 3);
    TRANSFORM_RS rs{};
    rs.rcpFocal = 0.01f;
    std::unique_ptr<IMakeVantor> maker(GetMakeVantorInterface());
    auto file = NewScene(6, 3);  // not a multiple of 4
    LogCapture log;
    EXPECT_FALSE(maker->MakeScene(&img, file.get(), &rs, 0, false, 1));
    EXPECT_FALSE(maker->MakeScene(&img, nullptr, &rs, 0, false, 1));
    rs.rcpFocal = 0;
    auto good = NewScene(400, 3);
    EXPECT_FALSE(maker->MakeScene(&img, good.get(), &rs, 0, false, 1));
    EXPECT_EQ(log.errorCount(), 3);
    REGION box{1, 1, 1, 1, 1, 1};
    EXPECT_FALSE(good->VantorFileFgBoundBox(&box, 0));
    EXPECT_EQ(box.width, 0);
}

}  // namespace
