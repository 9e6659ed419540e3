// The stitching core's information objects as the image graph and the later
// stitching code rely on them.
#include "platform/panocore/img_info.h"
#include "platform/panocore/pair_share_info.h"

#include <gtest/gtest.h>


#include <cmath>
#include <memory>
#include <random>

TEST(ImgInfo, NewObjectClearAndFocal)
{
    std::unique_ptr<IImgInfo> info(GetImgInfoInterface());
    TRANSFORM_RS* rs = info->GetParams();
    EXPECT_EQ(rs->scale, 1.0f);
    EXPECT_EQ(rs->rcpFocal, 0.0f);
    EXPECT_EQ(rs->colorTable, nullptr);
    float r[9];
    info->GetRotation(r);
    const float rest[9] = {0, 1, 0, 1, 0, 0, 0, 0, 1};  // (y, x, f) in, (x, y, z) out
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(r[i], rest[i], 1e-7f) << i;

    // The focal length is the record's: no second copy to go stale.
    EXPECT_EQ(info->GetFocal(), 0.0f);
    rs->rcpFocal = 1.0f / 800.0f;
    EXPECT_FLOAT_EQ(info->GetFocal(), 800.0f);
    info->GetRotation(r);
    info->SetRotation(1234.0f, r);
    EXPECT_FLOAT_EQ(rs->rcpFocal, 1.0f / 1234.0f);
    EXPECT_FLOAT_EQ(info->GetFocal(), 1234.0f);
    info->SetRotation(0.0f, r);
    EXPECT_EQ(rs->rcpFocal, 0.0f);
    EXPECT_EQ(info->GetFocal(), 0.0f);

    // Clearing frees the colour table (LeakSanitizer watches) and zeroes all.
    rs->colorTable = AllocColorTable();
    rs->colorTable[767] = 9;
    rs->pan = 0.5f;
    info->ClearParams();
    EXPECT_EQ(rs->colorTable, nullptr);
    EXPECT_EQ(rs->pan, 0.0f);
    EXPECT_EQ(rs->scale, 0.0f);
    EXPECT_EQ(info->GetFocal(), 0.0f);

    // Deleting the object frees a table that is still attached.
    rs->colorTable = AllocColorTable();
}

// The matrix is the record's pose seen another way: a pose written as angles
// reads back as the matrix, a matrix written reads back as the same pose.
TEST(ImgInfo, PoseAndMatrixAgree)
{
    // Known directions: the viewing axis (third column; world x right, y
    // down, z forward) of a frame panned right by p is (sin p, 0, cos p); a
    // frame tilted down by t looks at (0, sin t, cos t).
    struct Case {
        float pan, tilt, roll;
        float axis[3];
    } cases[] = {
        {0.5f, 0, 0, {std::sin(0.5f), 0, std::cos(0.5f)}},
        {-2.0f, 0, 0, {std::sin(-2.0f), 0, std::cos(-2.0f)}},
        {0, 0.4f, 0, {0, std::sin(0.4f), std::cos(0.4f)}},
        {0, 0, 1.0f, {0, 0, 1}},
    };
    std::unique_ptr<IImgInfo> info(GetImgInfoInterface());
    for (const Case& c : cases) {
        TRANSFORM_RS* rs = info->GetParams();
        rs->pan = c.pan;
        rs->tilt = c.tilt;
        rs->roll = c.roll;
        float m[9];
        info->GetRotation(m);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(m[3 * i + 2], c.axis[i], 1e-6f) << c.pan << " " << c.tilt;
    }
    // Roll turns the image about the axis: the image's "down" direction
    // (first column) leans sideways by sin r; the column swap makes the
    // determinant -1.
    info->GetParams()->pan = info->GetParams()->tilt = 0;
    info->GetParams()->roll = 0.3f;
    float m[9];
    info->GetRotation(m);
    const float det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                      m[2] * (m[3] * m[7] - m[4] * m[6]);
    EXPECT_NEAR(det, -1.0f, 1e-6f);
    EXPECT_NEAR(std::fabs(m[0]), std::sin(0.3f), 1e-6f);

    // Random poses round-trip through the matrix.
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> pan(-3.1f, 3.1f), tilt(-1.5f, 1.5f), roll(-3.1f, 3.1f), focal(200, 5000);
    std::unique_ptr<IImgInfo> other(GetImgInfoInterface());
    for (int k = 0; k < 2000; ++k) {
        TRANSFORM_RS* rs = info->GetParams();
        rs->pan = pan(gen);
        rs->tilt = tilt(gen);
        rs->roll = roll(gen);
        const float f = focal(gen);
        float a[9], b[9];
        info->GetRotation(a);
        other->SetRotation(f, a);
        other->GetRotation(b);
        for (int i = 0; i < 9; ++i) ASSERT_NEAR(a[i], b[i], 1e-5f) << k;
        const TRANSFORM_RS* back = other->GetParams();
        ASSERT_NEAR(back->pan, rs->pan, 1e-4f) << k;
        ASSERT_NEAR(back->tilt, rs->tilt, 1e-4f) << k;
        ASSERT_NEAR(back->roll, rs->roll, 1e-4f) << k;
        ASSERT_NEAR(other->GetFocal(), f, f * 1e-6f);
    }
}

TEST(ImgInfo, PanoramaStartIsNeutral)
{
    std::unique_ptr<IImgInfo> info(GetImgInfoInterface());
    TRANSFORM_RS* rs = info->GetParams();
    rs->rcpFocal = 0.002f;
    rs->pan = 1.0f;
    rs->centreX = 4.0f;
    rs->colorFirst[1] = 0.5f;
    rs->colorSecond[0] = 3.0f;
    rs->colorTable = AllocColorTable();
    ASSERT_TRUE(InitPanoramaPlacement(info.get(), 0, 0, 0, 320, 240));
    EXPECT_EQ(rs->pan, 0.0f);
    EXPECT_EQ(rs->centreX, 320.0f);
    EXPECT_EQ(rs->centreY, 240.0f);
    EXPECT_EQ(rs->rcpFocal, 0.002f);
    EXPECT_EQ(rs->scale, 1.0f);
    EXPECT_EQ(rs->flag, 1);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(rs->colorFirst[c], 1.0f);
        EXPECT_EQ(rs->colorSecond[c], 0.0f);
        EXPECT_EQ(rs->gamma[c], 1.0f);
    }
    EXPECT_EQ(rs->colorTable, nullptr);
    EXPECT_FALSE(InitPanoramaPlacement(nullptr, 0, 0, 0, 0, 0));
}

TEST(PairShareInfo, SettingsAndMeasuredOverlapAreSeparate)
{
    std::unique_ptr<IPairShareInfo> a(GetPairShareInfoInterface());
    std::unique_ptr<IPairShareInfo> b(GetPairShareInfoInterface());
    a->GetInitSetting()->overlapH = 0.4f;
    a->SetOverlapV(0.25f);
    a->SetAlignedOverlap(0.31f, 0.02f);
    a->SetSeamCode(2);
    EXPECT_EQ(a->GetOverlapH(1), 0.4f);
    EXPECT_EQ(a->GetOverlapV(1), 0.25f);
    EXPECT_EQ(a->GetOverlapH(0), 0.31f);
    EXPECT_EQ(a->GetOverlapV(0), 0.02f);
    EXPECT_EQ(a->GetSeamCode(), 2);
    a->GetPairParams()->rcpF1 = 0.001f;
    // A second pair's object shares nothing with the first.
    EXPECT_EQ(b->GetInitSetting()->overlapH, 0.0f);
    EXPECT_EQ(b->GetPairParams()->rcpF1, 0.0f);
    EXPECT_EQ(b->GetSeamCode(), 0);
}
