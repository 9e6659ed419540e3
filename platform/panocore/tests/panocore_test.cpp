// The stitching core's information objects as the image graph and the later
// stitching code rely on them.
#include "platform/panocore/img_info.h"
#include "platform/panocore/pair_share_info.h"

#include <gtest/gtest.h>


#include <memory>

TEST(ImgInfo, NewObjectClearAndFocal)
{
    std::unique_ptr<IImgInfo> info(GetImgInfoInterface());
    TRANSFORM_RS* rs = info->GetParams();
    EXPECT_EQ(rs->scale, 1.0f);
    EXPECT_EQ(rs->rcpFocal, 0.0f);
    EXPECT_EQ(rs->colorTable, nullptr);
    float r[9];
    info->GetRotation(r);
    EXPECT_EQ(r[0], 1.0f);
    EXPECT_EQ(r[4], 1.0f);
    EXPECT_EQ(r[8], 1.0f);
    EXPECT_EQ(r[1], 0.0f);

    // The focal length follows the placement until a rotation states one.
    EXPECT_EQ(info->GetFocal(), 0.0f);
    rs->rcpFocal = 1.0f / 800.0f;
    EXPECT_FLOAT_EQ(info->GetFocal(), 800.0f);
    const float turned[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
    info->SetRotation(1234.0f, turned);
    EXPECT_EQ(info->GetFocal(), 1234.0f);
    info->GetRotation(r);
    EXPECT_EQ(r[1], -1.0f);

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
