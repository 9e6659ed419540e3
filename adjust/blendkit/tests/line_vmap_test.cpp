// Samples along a division line: their count and spacing for several line
// lengths, their displacement found by correlation on a shifted texture, and
// boxes near the image edge that must fail rather than read outside.

#include "adjust/blendkit/line_vmap.h"
#include "adjust/blendkit/tests/blend_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// A 400 x 300 image of the texture seen flat, moved by (sx, sy).
Image* Flat(int sx, int sy)
{
    const blend_test::Sphere tex = blend_test::Texture();
    auto* img = new Image(400, 300, 3);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            const auto c = tex((x + sx) * 0.004, (y + sy) * 0.004);
            for (int k = 0; k < 3; ++k)
                img->GetData()[static_cast<size_t>(y) * img->GetRowByte() + 3 * x + k] =
                    static_cast<uint8_t>(std::lround(c[k]));
        }
    return img;
}

struct Rect {
    POINT2 p[4];
    gpc_vertex_list list;
    gpc_polygon poly;
    Rect(float x0, float y0, float x1, float y1)
        : p{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, list{4, p}, poly{1, &list}
    {
    }
};

TEST(LineVMap, SampleCountAndSpacingHalveOnceThenFail)
{
    struct Case {
        float length;
        bool ok;
        int count;
        float spacing;
    };
    for (Case c : {Case{200, true, 5, 200.0f / 6}, Case{150, true, 9, 15.0f}, Case{100, true, 5, 100.0f / 6},
                   Case{60, false, 0, 0}, Case{0, false, 0, 0}}) {
        int n = 0;
        float s = 0;
        EXPECT_EQ(CLineVMap::LineSampling(c.length, &n, &s), c.ok) << c.length;
        if (!c.ok) continue;
        EXPECT_EQ(n, c.count) << c.length;
        EXPECT_NEAR(s, c.spacing, 1e-4) << c.length;
    }
}

TEST(LineVMap, SamplesLieOnTheLineAndFindTheShift)
{
    Image* a = Flat(0, 0);
    Image* b = Flat(2, -1);  // b at c shows a at c + (2, -1)
    POINT off{0, 0};
    struct Case {
        float x0, length;
        int count;
    };
    for (Case c : {Case{100, 200, 5}, Case{120, 150, 9}, Case{150, 100, 5}}) {
        // Two rectangles whose outlines cross at (x0, 150) and (x0 + L, 150).
        Rect ra(c.x0, 40, c.x0 + c.length, 260), rb(c.x0 - 60, 150, c.x0 + c.length + 60, 290);
        Rect overlap(c.x0, 150, c.x0 + c.length, 260);
        CDivLineRR line(a, b, &overlap.poly, off, off, 0);
        ASSERT_TRUE(line.MainDivLineRR(&ra.poly, &rb.poly, 0, 0));
        ONE_DL_V_MAP* s = nullptr;
        int n = 0;
        ASSERT_TRUE(CLineVMap::MainLineVMap(a, b, &line, &s, &n)) << c.length;
        ASSERT_EQ(n, c.count);
        const POINT2 j0 = *line.GetOneIntJts(0, 0);
        const float spacing = c.length / static_cast<float>(n + 1);
        for (int k = 0; k < n; ++k) {
            EXPECT_FLOAT_EQ(s[k].along, (k + 1) * spacing);
            EXPECT_EQ(s[k].y, 150);
            EXPECT_NEAR(std::fabs(s[k].x - j0.x), (k + 1) * spacing, 0.5f);
            EXPECT_NEAR(s[k].dx, 2.0f, 0.3f) << k;
            EXPECT_NEAR(s[k].dy, -1.0f, 0.3f) << k;
            // Half of each box lies in the overlap: below 70 %, no colours.
            EXPECT_EQ(s[k].colorA[0], -1.0f);
        }
        delete[] s;
    }
    // Too short a line: no samples.
    Rect ra(150, 40, 210, 260), rb(90, 150, 270, 290);
    CDivLineRR line(a, b, nullptr, off, off, 0);
    ASSERT_TRUE(line.MainDivLineRR(&ra.poly, &rb.poly, 0, 0));
    ONE_DL_V_MAP* s = reinterpret_cast<ONE_DL_V_MAP*>(&line);
    int n = 7;
    EXPECT_FALSE(CLineVMap::MainLineVMap(a, b, &line, &s, &n));
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(n, 0);
    ReleaseImage(a);
    ReleaseImage(b);
}

TEST(LineVMap, BoxesThatLeaveTheImageAreFailedMatchesWithClippedColours)
{
    Image* a = Flat(0, 0);
    Image* b = Flat(0, 0);
    POINT off{0, 0};
    // The line runs 12 pixels below the top edge; the overlap holds the boxes.
    Rect ra(60, -100, 340, 14), rb(0, 12, 400, 300), overlap(-50, -50, 450, 350);
    CDivLineRR line(a, b, &overlap.poly, off, off, 0);
    ASSERT_TRUE(line.MainDivLineRR(&ra.poly, &rb.poly, 0, 0));
    ONE_DL_V_MAP* s = nullptr;
    int n = 0;
    ASSERT_TRUE(CLineVMap::MainLineVMap(a, b, &line, &s, &n));
    ASSERT_GT(n, 0);
    for (int k = 0; k < n; ++k) {
        EXPECT_EQ(s[k].dx, -1.0f) << k;
        EXPECT_EQ(s[k].dy, -1.0f) << k;
        // Colours from the part of the box inside the image: same images.
        EXPECT_GT(s[k].colorA[0], 0.0f);
        EXPECT_FLOAT_EQ(s[k].colorA[0], s[k].colorB[0]);
    }
    delete[] s;
    ReleaseImage(a);
    ReleaseImage(b);
}

}  // namespace
