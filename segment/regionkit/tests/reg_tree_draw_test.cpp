// Drawing a tree: level mosaics of region means, borders in their margin
// contrast, junctions as plus signs.
#include "segment/regionkit/reg_tree.h"
#include "segment/regionkit/tests/tree_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using treetest::Borders;
using treetest::BuiltTree;
using treetest::CharImage;

namespace {

unsigned char Byte(const Image& img, int x, int y, int c = 0)
{
    return img.GetData()[static_cast<size_t>(y) * img.GetRowByte() + x * img.GetChannels() + c];
}

// Means that are not whole numbers once stretched onto 0..255.
Image* Regions()
{
    return CharImage({"AAABBB", "AAABBB", "CCCDDD", "CCCDDD"}, {{'A', 0.0f}, {'B', 10.0f}, {'C', 20.0f}, {'D', 70.0f}});
}

TEST(DrawLevelImg, PaintsEachPixelInItsRegionsMeanTruncated)
{
    BuiltTree t(Regions(), 4, 3, 2);
    ASSERT_TRUE(t.built);
    for (int level : {0, 1}) {
        Image grey(6, 4, 1);
        t.tree->DrawLevelImg(&grey, level);
        Image rgb(6, 4, 3);
        t.tree->DrawLevelImg(&rgb, level);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                const CRegion* r = t.tree->GetRegion(y * 6 + x, level);
                EXPECT_EQ(Byte(grey, x, y), static_cast<int>(r->m_mean[0])) << level << ":" << x << "," << y;
                EXPECT_EQ(Byte(rgb, x, y, 0), static_cast<int>(r->m_mean[0]));
                EXPECT_EQ(Byte(rgb, x, y, 2), static_cast<int>(r->m_mean[2]));
            }
    }
    // Level 0: B is 10 of 70 stretched onto 255: 36.43 -> 36.
    Image grey(6, 4, 1);
    t.tree->DrawLevelImg(&grey, 0);
    EXPECT_EQ(Byte(grey, 5, 0), 36);
    // D at the top of the range: 70 x float(255 / 70) and the float means of
    // its merges land a hair below 255, and truncation keeps 254.
    EXPECT_EQ(Byte(grey, 5, 3), static_cast<int>(t.tree->GetRegion(23, 0)->m_mean[0]));
    EXPECT_GE(Byte(grey, 5, 3), 254);
    // Level 1 paints the sons in the coarser mean, not their own.
    // A and B (0 and 10) are the cheapest pair; C and D stay.
    const CRegion* merged = t.tree->GetRegion(0, 1);
    ASSERT_EQ(merged, t.tree->GetRegion(5, 1));
    Image coarse(6, 4, 1);
    t.tree->DrawLevelImg(&coarse, 1);
    EXPECT_EQ(Byte(coarse, 0, 0), static_cast<int>(merged->m_mean[0]));
    EXPECT_EQ(Byte(coarse, 0, 0), 18);  // (0 + 36.43) / 2
    EXPECT_EQ(Byte(grey, 0, 0), 0);
}

TEST(DrawLevelImg, FloatImagesGetTheExactMeans)
{
    BuiltTree t(Regions(), 4, 4, 1);
    ASSERT_TRUE(t.built);
    Image* out = treetest::FloatImage(6, 4, 1, false, [](int, int, int) { return -1.0f; });
    t.tree->DrawLevelImg(out, 0);
    for (int p = 0; p < 24; ++p) {
        float v;
        std::memcpy(&v, out->GetData() + (p / 6) * out->GetRowByte() + (p % 6) * 4, 4);
        EXPECT_EQ(v, t.tree->GetRegion(p, 0)->m_mean[0]);
    }
    ReleaseImage(out);
    // Other sample types are left alone.
    Image words;
    words.Create(6, 4, 1, IMG_UINT16);
    t.tree->DrawLevelImg(&words, 0);
    for (size_t i = 0; i < words.GetDataSize(); ++i) ASSERT_EQ(words.GetData()[i], 0);
}

TEST(Junction, PlusSignOnlyTwoPixelsInside)
{
    const int stride = 11;  // a 10-pixel-wide tree
    struct Case {
        int x, y;
        bool drawn;
    };
    const Case cases[] = {{1, 3, false}, {2, 3, true},  {3, 1, false}, {3, 2, true},
                          {8, 3, true},  {9, 3, false}, {4, 6, true},  {4, 7, false}};
    for (const Case& c : cases) {
        Image grey(10, 8, 1);
        Image rgb(10, 8, 3);
        Junction j;
        j.m_pos = c.y * stride + c.x;
        j.DrawU8Y(stride, &grey);
        j.DrawU8RGB(stride, &rgb);
        int lit = 0, litRgb = 0, other = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 10; ++x) {
                const bool plus = (x == c.x && std::abs(y - c.y) <= 1) || (y == c.y && std::abs(x - c.x) <= 1);
                if (Byte(grey, x, y) == 255) lit += plus ? 1 : 100;
                if (Byte(rgb, x, y, 0) == 255) litRgb += plus ? 1 : 100;
                other += Byte(rgb, x, y, 1) + Byte(rgb, x, y, 2);
            }
        EXPECT_EQ(lit, c.drawn ? 5 : 0) << c.x << "," << c.y;
        EXPECT_EQ(litRgb, c.drawn ? 5 : 0) << c.x << "," << c.y;
        EXPECT_EQ(other, 0);
    }
}

TEST(BorderSegment, DrawsInMarginContrastAndSkipsTheLastCornerColumn)
{
    const int w = 6, stride = w + 1;
    BorderSegment b;
    const int32_t pts[4] = {1 * stride + 2, 1 * stride + 3, 2 * stride + 3, 2 * stride + w};
    b.StorePixels(pts, 4);
    Image rgb(w, 4, 3);
    b.Draw(stride, &rgb);
    EXPECT_EQ(Byte(rgb, 2, 1, 0), 255);  // no margins: white
    EXPECT_EQ(Byte(rgb, 2, 1, 2), 255);

    b.InitSegMargins();
    b.m_pMargins->diff[0] = 60;   // 300 clamped
    b.m_pMargins->diff[1] = -10;  // 50
    b.m_pMargins->diff[2] = 3;    // 15
    Image coloured(w, 4, 3);
    b.Draw(stride, &coloured);
    Image grey(w, 4, 1);
    b.Draw(stride, &grey);
    for (int i = 0; i < 3; ++i) {
        const int x = pts[i] % stride, y = pts[i] / stride;
        EXPECT_EQ(Byte(coloured, x, y, 0), 255);
        EXPECT_EQ(Byte(coloured, x, y, 1), 50);
        EXPECT_EQ(Byte(coloured, x, y, 2), 15);
        EXPECT_EQ(Byte(grey, x, y), 255);
    }
    int painted = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < w; ++x) painted += Byte(grey, x, y) != 0;
    EXPECT_EQ(painted, 3);  // the point at x = W is skipped

    // A coarser border draws through its sons.
    BorderSegment parent, son;
    const int32_t sp[1] = {3 * stride + 1};
    son.StorePixels(sp, 1);
    parent.AddSon(&son);
    Image viaSons(w, 4, 1);
    parent.Draw(stride, &viaSons);
    EXPECT_EQ(Byte(viaSons, 1, 3), 255);
}

TEST(CRegTree, DrawsBordersOfOneRegionAndJunctionsOfALevel)
{
    BuiltTree t(CharImage({"AAAAAAAA", "AAAABBBB", "AAAABBBB", "CCCCBBBB", "CCCCBBBB", "CCCCBBBB"}), 3, 3, 1);
    ASSERT_TRUE(t.built);
    // Bands this narrow hold too few pixels for a margin difference, which
    // would draw the borders black; without margins they are drawn white.
    for (BorderSegment* b : Borders(t.tree, 0)) b->m_pMargins.reset();
    Image all(8, 6, 1);
    t.tree->DrawBorder(&all, 0);
    Image ofC(8, 6, 1);
    EXPECT_TRUE(t.tree->DrawBorder(&ofC, 0, 0, 5));
    EXPECT_FALSE(t.tree->DrawBorder(&ofC, 0, 8, 0));
    int inAll = 0, inC = 0;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            inAll += Byte(all, x, y) != 0;
            inC += Byte(ofC, x, y) != 0;
            if (Byte(ofC, x, y)) {
                EXPECT_TRUE(Byte(all, x, y));
            }
        }
    EXPECT_GT(inAll, inC);
    EXPECT_GT(inC, 0);
    // The one junction, at corner (4, 3), as a plus sign.
    Image plus(8, 6, 1);
    t.tree->DrawJunction(&plus, 0);
    EXPECT_EQ(Byte(plus, 4, 3), 255);
    EXPECT_EQ(Byte(plus, 4, 2), 255);
    EXPECT_EQ(Byte(plus, 5, 3), 255);
    Image two;
    two.Create(8, 6, 2, IMG_UINT8);
    t.tree->DrawJunction(&two, 0);
    for (size_t i = 0; i < two.GetDataSize(); ++i) ASSERT_EQ(two.GetData()[i], 0);
}

}  // namespace
