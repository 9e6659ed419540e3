// Junction slots, border point stores and son trees, the chaining of
// borders into a coarser parent, regions' links and the parameter records.
#include "segment/regionkit/border_segment.h"
#include "segment/regionkit/junction.h"
#include "segment/regionkit/region.h"
#include "segment/regionkit/region_records.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> Points(BorderSegment* b)
{
    std::vector<int> out;
    BorderSegment::iterator it(b);
    if (it.IsDone()) return out;
    do out.push_back(*it);
    while (++it);
    return out;
}

TEST(Junction, FifthBorderTakesSlotThreeAndConnectionsFollowTheSlots)
{
    BorderSegment b[5];
    Junction j;
    EXPECT_EQ(j.GetNumbConnection(), 0);
    for (BorderSegment& s : b) j.AtatchBorder(&s);
    EXPECT_EQ(j.m_pBorder[0], &b[0]);
    EXPECT_EQ(j.m_pBorder[1], &b[1]);
    EXPECT_EQ(j.m_pBorder[2], &b[2]);
    EXPECT_EQ(j.m_pBorder[3], &b[4]);
    EXPECT_EQ(j.GetNumbConnection(), 4);

    struct Case {
        std::vector<int> slots;  // border per slot, -1 empty
        int asked;
        int expected;
    };
    const Case cases[] = {
        {{0, -1, -1, -1}, 0, 0},   // only b: b itself
        {{0, 1, -1, -1}, 0, 1},    // the other one
        {{0, 1, -1, -1}, 1, 0},
        {{-1, 0, 2, -1}, 0, 2},    // first non-null that is not b
        {{0, -1, -1, 3}, 0, 3},    // else slot 3
        {{-1, -1, -1, 3}, 3, 3},   // slot 3 is b: b
    };
    for (const Case& c : cases) {
        Junction k;
        for (int i = 0; i < 4; ++i) k.m_pBorder[i] = c.slots[i] < 0 ? nullptr : &b[c.slots[i]];
        EXPECT_EQ(k.GetConnection(&b[c.asked]), &b[c.expected]);
    }

    j.RemoveBorder(&b[1]);
    EXPECT_EQ(j.m_pBorder[1], nullptr);
    j.RemoveBorder(&b[3]);  // not held: nothing
    EXPECT_EQ(j.GetNumbConnection(), 3);
    j.AtatchBorder(&b[3]);  // the freed slot first
    EXPECT_EQ(j.m_pBorder[1], &b[3]);
}

TEST(BorderSegment, StoresPointsReversedThenInOrder)
{
    BorderSegment s;
    EXPECT_EQ(s.GetStorageLength(), 0);
    EXPECT_EQ(s.GetStorage(), nullptr);
    const int32_t first[3] = {10, 20, 30};  // a, b, c
    const int32_t second[1] = {40};         // d
    s.StorePixels(first, 3, second, 1);
    ASSERT_EQ(s.GetStorageLength(), 4);
    EXPECT_EQ(std::vector<int>(s.GetStorage(), s.GetStorage() + 4), (std::vector<int>{30, 20, 10, 40}));
    s.StorePixels(first, 3);
    EXPECT_EQ(std::vector<int>(s.GetStorage(), s.GetStorage() + 3), (std::vector<int>{10, 20, 30}));
    s.StorePixels(first, 0, second, 0);
    EXPECT_EQ(s.GetStorageLength(), 0);
    EXPECT_NE(s.GetStorage(), nullptr);
    s.Cleanup();
    EXPECT_EQ(s.GetStorage(), nullptr);
}

TEST(BorderSegment, OtherJunctionTellsTheDirection)
{
    Junction a, b;
    BorderSegment s;
    s.Init(&a, &b, nullptr, nullptr);
    bool reversed = true;
    EXPECT_EQ(s.GetOtherJunction(&a, &reversed), &b);
    EXPECT_FALSE(reversed);
    EXPECT_EQ(s.GetOtherJunction(&b, &reversed), &a);
    EXPECT_TRUE(reversed);
    s.Init(nullptr, &b, nullptr, nullptr);  // from the image edge
    EXPECT_EQ(s.GetOtherJunction(nullptr, &reversed), &b);
    EXPECT_FALSE(reversed);
}

TEST(BorderSegment, IteratorVisitsLeavesInSonListOrderOnly)
{
    BorderSegment root, a, b, c, d, empty, outside;
    const int32_t pa[2] = {1, 2}, pc[1] = {3}, pd[2] = {4, 5}, px[1] = {99};
    a.StorePixels(pa, 2);
    c.StorePixels(pc, 1);
    d.StorePixels(pd, 2);
    outside.StorePixels(px, 1);
    root.AddSon(&a);
    root.AddSon(&empty);  // a leaf without points is passed over
    root.AddSon(&b);      // son list: b, empty, a
    b.AddSon(&c);
    b.AddSon(&d);         // b's list: d, c
    root.m_pNext = &outside;  // a sibling of the root is not the root's
    EXPECT_EQ(a.m_pParent, &root);
    EXPECT_EQ(root.m_pSon, &b);
    EXPECT_EQ(Points(&root), (std::vector<int>{4, 5, 3, 1, 2}));
    EXPECT_EQ(Points(&b), (std::vector<int>{4, 5, 3}));
    EXPECT_EQ(Points(&a), (std::vector<int>{1, 2}));
    EXPECT_TRUE(Points(&empty).empty());
    BorderSegment::iterator it(&root);
    ++it;
    ++it;
    EXPECT_EQ(*it, 3);
    it.Rewind();
    EXPECT_EQ(*it, 4);
}

// Chain J3 =B2(rev)= J2 =B1= J1 =B0(rev)= J0, J0 and J3 with extra borders.
struct Chain {
    Junction j0, j1, j2, j3;
    BorderSegment b0, b1, b2, x, y, z;
    Chain()
    {
        b0.Init(&j0, &j1, nullptr, nullptr);
        b1.Init(&j2, &j1, nullptr, nullptr);
        b2.Init(&j2, &j3, nullptr, nullptr);
        for (BorderSegment* s : {&b0, &x, &y}) j0.AtatchBorder(s);
        for (BorderSegment* s : {&b0, &b1}) j1.AtatchBorder(s);
        for (BorderSegment* s : {&b1, &b2}) j2.AtatchBorder(s);
        for (BorderSegment* s : {&b2, &z}) j3.AtatchBorder(s);
        j3.AtatchBorder(&x);
    }
};

TEST(BorderSegment, GroupSiblinesChainsThroughTwoBorderJunctions)
{
    Chain c;
    BorderSegment n;
    Junction* open1 = nullptr;
    Junction* open2 = nullptr;
    c.b1.GroupSiblines(&n, &open1, &open2);
    // Walked back to J3, then forward b2, b1, b0; sons are in front-added order.
    EXPECT_EQ(n.m_pSon, &c.b0);
    EXPECT_EQ(c.b0.m_pNext, &c.b1);
    EXPECT_EQ(c.b1.m_pNext, &c.b2);
    EXPECT_EQ(c.b2.m_pNext, nullptr);
    EXPECT_EQ(c.b2.m_forward, 0);
    EXPECT_EQ(c.b1.m_forward, 1);
    EXPECT_EQ(c.b0.m_forward, 0);
    EXPECT_EQ(open1, &c.j3);
    EXPECT_EQ(open2, &c.j0);
    EXPECT_EQ(n.m_pJunction1, nullptr);

    // Started from b0, whose first junction ends the chain at once: the walk
    // runs the other way, so the ends swap. An end that already has its
    // junction one level up is attached to it.
    Chain d;
    Junction up;
    d.j0.m_pUp = &up;
    BorderSegment m;
    d.b0.GroupSiblines(&m, &open1, &open2);
    EXPECT_EQ(open1, nullptr);
    EXPECT_EQ(open2, &d.j3);
    EXPECT_EQ(m.m_pJunction1, &up);
    EXPECT_EQ(up.m_pBorder[0], &m);
    EXPECT_EQ(m.m_pSon, &d.b2);
    EXPECT_EQ(d.b0.m_forward, 1);
    EXPECT_EQ(d.b1.m_forward, 0);
    EXPECT_EQ(d.b2.m_forward, 1);
}

TEST(BorderSegment, GroupSiblinesOfALoopHasNoEnds)
{
    Junction ja, jb;
    BorderSegment b1, b2, n;
    b1.Init(&ja, &jb, nullptr, nullptr);
    b2.Init(&jb, &ja, nullptr, nullptr);
    ja.AtatchBorder(&b1);
    ja.AtatchBorder(&b2);
    jb.AtatchBorder(&b1);
    jb.AtatchBorder(&b2);
    Junction* open1 = &ja;
    Junction* open2 = &jb;
    b1.GroupSiblines(&n, &open1, &open2);
    EXPECT_EQ(open1, nullptr);
    EXPECT_EQ(open2, nullptr);
    EXPECT_EQ(n.m_pJunction1, nullptr);
    EXPECT_EQ(n.m_pJunction2, nullptr);
    int sons = 0;
    for (BorderSegment* s = n.m_pSon; s; s = s->m_pNext) ++sons;
    EXPECT_EQ(sons, 2);
    // Both run the same way round the loop.
    EXPECT_EQ(b1.m_forward, b2.m_forward);
}

TEST(BorderSegment, MarginRecordIsMadeOnceAndZeroed)
{
    BorderSegment s;
    EXPECT_EQ(s.m_pMargins, nullptr);
    EXPECT_EQ(s.m_forward, 1);
    s.InitSegMargins();
    ASSERT_NE(s.m_pMargins, nullptr);
    COneSegMargins* record = s.m_pMargins.get();
    record->sum[1][2] = 7;
    record->count[0] = 3;
    record->diff[1] = -4;
    s.InitSegMargins();
    EXPECT_EQ(s.m_pMargins.get(), record);
    EXPECT_EQ(record->sum[1][2], 0);
    EXPECT_EQ(record->count[0], 0);
    EXPECT_EQ(record->diff[1], 0);
}

TEST(CRegion, SonsBordersPixelsAndSelection)
{
    CRegion parent, a, b;
    parent.AddSon(&a);
    parent.AddSon(&b);
    EXPECT_EQ(parent.m_pSon, &b);
    EXPECT_EQ(b.m_pNext, &a);
    EXPECT_EQ(a.GetParent(), &parent);
    BorderSegment s1, s2;
    parent.AddBorder(&s1);
    parent.AddBorder(&s2);
    EXPECT_EQ(parent.m_numBorders, 2);
    EXPECT_EQ(parent.m_ppBorders[1], &s2);
    int32_t list[4] = {0, -1, -1, -1};
    a.m_pPixels = list;
    a.AddPixelPoint(7);
    a.AddPixelPoint(9);
    EXPECT_EQ(list[0], 2);
    EXPECT_EQ(list[1], 7);
    EXPECT_EQ(list[2], 9);
    EXPECT_TRUE(a.IsSelected());
    a.SetNotSelected();
    EXPECT_TRUE(a.IsNotSelected());
    EXPECT_EQ(a.m_flags, 1);
    a.SetSelected();
    EXPECT_TRUE(a.IsSelected());
    parent.Init();
    EXPECT_EQ(parent.m_numBorders, 0);
    EXPECT_TRUE(parent.m_ppBorders.empty());
    EXPECT_EQ(parent.m_pSon, nullptr);
}

TEST(Records, MatchParamWordsAndRegParametersMoments)
{
    const CMatchParam p(1, 2, 3, 4, 5, 6, 7, 8);
    const float expected[15] = {1, 2, 3, 4, 5, 6, 5, 5, 5, 0.04f, 0.014f, 0, 0, 0, 1};
    for (int i = 0; i < 15; ++i) EXPECT_FLOAT_EQ(p.m_values[i], expected[i]) << i;
    EXPECT_EQ(p.m_g, 7);
    EXPECT_EQ(p.m_h, 8);
    const CMatchParam zero;
    EXPECT_FLOAT_EQ(zero.m_values[9], 0.04f);
    EXPECT_EQ(zero.m_values[6], 0.0f);

    // Sums of x, y, x², xy, y² over four points become means and central moments.
    CRegParameters r(3, 4);
    EXPECT_EQ(r.m_a, 3.0f);
    EXPECT_EQ(r.m_n0, 0);
    const float xs[4] = {1, 2, 3, 6}, ys[4] = {2, 2, 5, 7};
    for (int i = 0; i < 4; ++i) {
        r.m_sx += xs[i];
        r.m_sy += ys[i];
        r.m_sxx += xs[i] * xs[i];
        r.m_sxy += xs[i] * ys[i];
        r.m_syy += ys[i] * ys[i];
    }
    r.Normalize(4.0f);
    EXPECT_FLOAT_EQ(r.m_sx, 3.0f);
    EXPECT_FLOAT_EQ(r.m_sy, 4.0f);
    float cxx = 0, cxy = 0, cyy = 0;
    for (int i = 0; i < 4; ++i) {
        cxx += (xs[i] - 3) * (xs[i] - 3);
        cxy += (xs[i] - 3) * (ys[i] - 4);
        cyy += (ys[i] - 4) * (ys[i] - 4);
    }
    EXPECT_FLOAT_EQ(r.m_sxx, cxx);
    EXPECT_FLOAT_EQ(r.m_sxy, cxy);
    EXPECT_FLOAT_EQ(r.m_syy, cyy);
}

}  // namespace
