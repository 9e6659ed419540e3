// Erasing a marker in the pair view erases its partner of the same index.
#include "app/pairview/paired_markers.h"

#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/neighbor.h"

#include <gtest/gtest.h>

namespace {
void Fill(Neighbor& link, int n, float x0)
{
    for (int i = 0; i < n; ++i) link.AddMarker(static_cast<short>(x0 + 20 * i), static_cast<short>(10));
}
float XOf(const Neighbor& link, int i) { return link.GetMarkers(true)->GetMarker()[i].x; }
}  // namespace

TEST(PairedMarkers, ErasesSameIndexInPartnerOrOnlyTheFirstWhenMissing)
{
    struct Case { int mine, theirs; float clickX; int index; int mineLeft, theirsLeft; };
    const Case cases[] = {
        {3, 3, 21.0f, 1, 2, 2},   // both sets lose index 1
        {3, 1, 41.0f, 2, 2, 1},   // partner has no index 2: only the first removed
        {3, 3, 200.0f, -1, 3, 3}, // nothing within the tolerance
    };
    for (const Case& c : cases) {
        Neighbor a(false), b(false);
        Fill(a, c.mine, 0.0f);
        Fill(b, c.theirs, 500.0f);
        EXPECT_EQ(ErasePairedMarker(&a, &b, c.clickX, 12.0f, 5.0f), c.index) << c.clickX;
        ASSERT_NE(a.GetMarkers(true), nullptr);
        EXPECT_EQ(a.GetMarkers(true)->GetNumbOfMarker(), c.mineLeft);
        EXPECT_EQ(b.GetMarkers(true)->GetNumbOfMarker(), c.theirsLeft);
        if (c.index == 1) {
            // The survivors keep their pairing: old 0 and old 2.
            EXPECT_FLOAT_EQ(XOf(a, 1), 40.0f);
            EXPECT_FLOAT_EQ(XOf(b, 1), 540.0f);
        }
        EXPECT_EQ(a.IsMarkerChanged(), c.index >= 0);
    }
}

TEST(PairedMarkers, MissingLinkIsAnErrorNotACrash)
{
    EXPECT_EQ(ErasePairedMarker(nullptr, nullptr, 0.0f, 0.0f, 5.0f), -1);
}
