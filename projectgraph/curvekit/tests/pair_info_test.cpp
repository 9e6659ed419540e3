// The per-direction object of a link: it owns the marker set handed to it
// and keeps its own copy of the intensity pairs.
#include "projectgraph/curvekit/pair_info.h"
#include "projectgraph/curvekit/marker.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(PairInfo, OwnsItsMarkersAndCopiesIntensityPairs)
{
    const int live = GetPairInfoCount();
    {
        std::unique_ptr<IPairInfo> info(GetPairInfoInterface());
        EXPECT_EQ(GetPairInfoCount(), live + 1);
        EXPECT_EQ(info->GetMarker(0), nullptr);
        auto* first = new Marker(0);
        first->AppendMarker(1, 2);
        info->SetMarker(first);
        info->SetMarker(first);  // the set held again: kept, not freed
        EXPECT_EQ(info->GetMarker(0), first);
        info->SetMarker(new Marker(0));  // the first set is freed (LeakSanitizer watches)
        EXPECT_EQ(info->GetMarker(0)->GetNumbOfMarker(), 0);

        int count = -1;
        EXPECT_EQ(info->GetIntensityPairs(count), nullptr);
        EXPECT_EQ(count, 0);
        float entries[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        info->SetIntensityPairs(entries, 2);
        entries[0] = 99;  // a copy was taken
        const float* got = info->GetIntensityPairs(count);
        ASSERT_EQ(count, 2);
        EXPECT_EQ(got[0], 1.0f);
        EXPECT_EQ(got[11], 12.0f);
        info->SetIntensityPairs(nullptr, 5);
        EXPECT_EQ(info->GetIntensityPairs(count), nullptr);
        EXPECT_EQ(count, 0);
    }
    EXPECT_EQ(GetPairInfoCount(), live);
}

}  // namespace

// The blend record is opaque here: the test hands its own record type
// through the same function-pointer contract the blending library uses.
struct CBlendPolygons {
    int* released;
};

namespace {

void ReleaseRecord(CBlendPolygons* p)
{
    ++*p->released;
    delete p;
}

TEST(PairInfo, FreesItsBlendPolygonsThroughTheGivenFunction)
{
    int released = 0;
    {
        std::unique_ptr<IPairInfo> info(GetPairInfoInterface());
        EXPECT_EQ(info->GetBlendPolygons(), nullptr);
        auto* first = new CBlendPolygons{&released};
        info->SetBlendPolygons(first, ReleaseRecord);
        info->SetBlendPolygons(first, ReleaseRecord);  // the record held again: kept
        EXPECT_EQ(released, 0);
        EXPECT_EQ(info->GetBlendPolygons(), first);
        info->SetBlendPolygons(new CBlendPolygons{&released}, ReleaseRecord);
        EXPECT_EQ(released, 1);
        info->SetBlendPolygons(nullptr, nullptr);
        EXPECT_EQ(released, 2);
        EXPECT_EQ(info->GetBlendPolygons(), nullptr);
        info->SetBlendPolygons(new CBlendPolygons{&released}, ReleaseRecord);
    }
    EXPECT_EQ(released, 3);  // freed with the object
}

}  // namespace
