// Layouts of the plain records that cross library boundaries whole: the
// alignment libraries, the image graph and the stitching core address their
// fields by position, so every named word must sit where they expect it.
#include "core/pair_align_records.h"
#include "core/geometry_records.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/curvekit/point2m.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

namespace {
constexpr size_t Word(int i) { return static_cast<size_t>(i) * 4; }
}  // namespace

TEST(Records, MarkerRecordFieldsSitInTheirWords)
{
    EXPECT_EQ(offsetof(POINT2M, x), Word(0));
    EXPECT_EQ(offsetof(POINT2M, y), Word(1));
    EXPECT_EQ(offsetof(POINT2M, error2), Word(2));
    EXPECT_EQ(offsetof(POINT2M, word3), Word(3));
    EXPECT_EQ(offsetof(POINT2M, error1), Word(4));
    EXPECT_EQ(offsetof(POINT2M, word5), Word(5));
    EXPECT_EQ(offsetof(POINT2M, word6), Word(6));
    static_assert(sizeof(POINT2M) == 28 && std::is_trivially_copyable_v<POINT2M>);
}

TEST(Records, MarkerRecordsFromPointsCarryZerosBeyondXY)
{
    // Arrays pass between libraries as raw bytes: a record built from a point
    // must be all zero after its position.
    Marker set;
    set.AppendMarker(3.5f, -2.25f);
    POINT2M expected{};
    expected.x = 3.5f;
    expected.y = -2.25f;
    EXPECT_EQ(std::memcmp(set.GetMarker(), &expected, sizeof expected), 0);
}

TEST(Records, PairTransformWordsAndWholeCopies)
{
    EXPECT_EQ(offsetof(PAIR_WALIGN_RR_PRMS2, rcpF1), Word(4));
    EXPECT_EQ(offsetof(PAIR_WALIGN_RR_PRMS2, rcpF2), Word(5));
    EXPECT_EQ(offsetof(PAIR_WALIGN_RR_PRMS2, angA), Word(6));
    EXPECT_EQ(offsetof(PAIR_WALIGN_RR_PRMS2, angB), Word(7));
    EXPECT_EQ(offsetof(PAIR_WALIGN_RR_PRMS2, angC), Word(8));
    // The reserved words travel with every copy, even when not zero.
    PAIR_WALIGN_RR_PRMS2 a{{1.f, 2.f, 3.f, 4.f}, 0.001f, 0.002f, 0.1f, 0.2f, 0.3f};
    PAIR_WALIGN_RR_PRMS2 b = a;
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);

    EXPECT_EQ(offsetof(PAIR_WALIGN_PRMS, scale), Word(4));
    EXPECT_EQ(offsetof(PAIR_WALIGN_PRMS, rot1), Word(5));
    EXPECT_EQ(offsetof(PAIR_WALIGN_PRMS, halfFov1), Word(7));
    EXPECT_EQ(offsetof(PAIR_WALIGN_PRMS, offsetAngle), Word(9));
}

TEST(Records, InitialSettingDefaultsInFieldOrder)
{
    // The link's default instance, written in field order.
    const PAIR_ALIGN_INIT_SETTING d{0.4f, 0.0f, 0.1f, 0.1f, 0};
    EXPECT_EQ(offsetof(PAIR_ALIGN_INIT_SETTING, overlapH), Word(0));
    EXPECT_EQ(offsetof(PAIR_ALIGN_INIT_SETTING, toleranceV), Word(3));
    EXPECT_EQ(offsetof(PAIR_ALIGN_INIT_SETTING, userSet), Word(4));
    EXPECT_FLOAT_EQ(d.overlapH, 0.4f);
    EXPECT_FLOAT_EQ(d.toleranceH, 0.1f);
    EXPECT_EQ(d.userSet, 0);
}

TEST(Records, PlacementWordsTheAlignmentNames)
{
    // Word 2 the reciprocal focal length, words 3-5 the angles, word 9 the
    // scale, word 10 the integer flag (1 in a built record), then the colour
    // block.
    EXPECT_EQ(offsetof(TRANSFORM_RS, rcpFocal), Word(2));
    EXPECT_EQ(offsetof(TRANSFORM_RS, pan), Word(3));
    EXPECT_EQ(offsetof(TRANSFORM_RS, tilt), Word(4));
    EXPECT_EQ(offsetof(TRANSFORM_RS, roll), Word(5));
    EXPECT_EQ(offsetof(TRANSFORM_RS, distortion), Word(6));
    EXPECT_EQ(offsetof(TRANSFORM_RS, scale), Word(9));
    EXPECT_EQ(offsetof(TRANSFORM_RS, flag), Word(10));
    EXPECT_EQ(offsetof(TRANSFORM_RS, colorFirst), Word(11));
    EXPECT_EQ(offsetof(TRANSFORM_RS, colorSecond), Word(14));
    EXPECT_EQ(offsetof(TRANSFORM_RS, gamma), Word(17));
    EXPECT_GE(offsetof(TRANSFORM_RS, colorTable), Word(20));

    TRANSFORM_RS built{};
    built.rcpFocal = 1.0f / 800.0f;
    built.scale = 1.0f;
    built.flag = 1;
    float words[10];
    std::memcpy(words, &built, sizeof words);
    int32_t flagWord = 0;
    std::memcpy(&flagWord, reinterpret_cast<const unsigned char*>(&built) + Word(10), sizeof flagWord);
    EXPECT_EQ(words[2], 1.0f / 800.0f);
    EXPECT_EQ(words[9], 1.0f);
    EXPECT_EQ(flagWord, 1);
    EXPECT_EQ(words[3] + words[4] + words[5], 0.0f);
    EXPECT_EQ(built.colorTable, nullptr);
}

TEST(Records, PeakAndGeometryRecords)
{
    EXPECT_EQ(offsetof(ONE_CC_PEAK, value), Word(2));
    EXPECT_EQ(offsetof(ONE_CC_PEAK, width2Y), Word(6));
    // REGION2 keeps its y pair first, unlike REGION.
    EXPECT_EQ(offsetof(REGION2, top), Word(0));
    EXPECT_EQ(offsetof(REGION2, left), Word(2));
    EXPECT_EQ(offsetof(REGION, x0), Word(0));
    EXPECT_EQ(offsetof(REGION, y0), Word(1));
    EXPECT_EQ(offsetof(REGION, width), Word(4));
    // A vertex array of a contour is an array of POINT2.
    EXPECT_EQ(sizeof(POINT2[3]), 24u);
    EXPECT_EQ(static_cast<int>(GPC_DIFF), 0);
    EXPECT_EQ(static_cast<int>(GPC_INT), 1);
    EXPECT_EQ(static_cast<int>(GPC_XOR), 2);
    EXPECT_EQ(static_cast<int>(GPC_UNION), 3);
}
