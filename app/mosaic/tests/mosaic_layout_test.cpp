// The mosaic grid on its own: resolution from the data size, regridding and
// its refusals, hit precedence, drag limits, drawing and the base image.
#include "app/mosaic/mosaic_layout.h"

#include "core/logger.h"
#include "imaging/image.h"
#include "platform/win/gdi.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> Boundaries(const MosaicLayout& layout)
{
    std::vector<int> out;
    for (int i = 0; i < layout.GetBoundaryCount(); ++i) out.push_back(layout.GetBoundary(i));
    return out;
}

const uint8_t* Pixel(const Image* image, int x, int y)
{
    return image->GetData() + static_cast<size_t>(y) * image->GetRowByte() + static_cast<size_t>(x) * image->GetChannels();
}

// 1000 x 400, six tiles, sky row 100, ground row 300.
void MakeGrid(MosaicLayout& layout)
{
    ASSERT_TRUE(layout.SetDataSize(1000, 400, false));
    ASSERT_TRUE(layout.SetTileCount(6));
    layout.ResetRows();
    ASSERT_EQ(layout.GetSkyRow(), 100);
    ASSERT_EQ(layout.GetGroundRow(), 300);
}

TEST(MosaicLayout, ResolutionFollowsTheDataWidth)
{
    const struct {
        int width, percent;
    } cases[] = {{4000, 10}, {500, 60}, {200, 100}, {1000, 30}, {100, 100}, {60000, 10}, {301, 99}};
    for (const auto& c : cases) {
        MosaicLayout layout;
        ASSERT_TRUE(layout.SetDataSize(c.width, 2000, true));
        EXPECT_EQ(layout.GetResolutionPercent(), c.percent) << "width " << c.width;
    }
    MosaicLayout kept;
    ASSERT_TRUE(kept.SetDataSize(4000, 2000, false));
    EXPECT_EQ(kept.GetResolutionPercent(), 50) << "without the request the percent stays";
}

TEST(MosaicLayout, AnEmptyDataAreaMakesNoMosaic)
{
    for (const auto& size : {std::pair{0, 500}, std::pair{500, 0}, std::pair{-3, 10}}) {
        MosaicLayout layout;
        LogCapture log;
        EXPECT_FALSE(layout.SetDataSize(size.first, size.second, true));
        EXPECT_TRUE(log.contains("ERROR MosaicLayout::SetDataSize")) << log.text();
        EXPECT_EQ(layout.GetResolutionPercent(), 50);
        EXPECT_EQ(layout.GetDataWidth(), 0);
        log.clear();
        EXPECT_FALSE(layout.SetTileCount(1)) << "no tile fits an empty area";
        EXPECT_TRUE(log.contains("ERROR MosaicLayout::SetTileCount"));
        EXPECT_EQ(layout.GetBoundaryCount(), 0);
        EXPECT_EQ(layout.MakeBackground(0), nullptr);
        EXPECT_EQ(layout.HitTest(0, 0), MosaicLayout::kNothing);
    }
}

TEST(MosaicLayout, TileCountRegridsAndRefusesCountsThatCannotFit)
{
    MosaicLayout layout;
    ASSERT_TRUE(layout.SetDataSize(1000, 400, true));
    EXPECT_TRUE(layout.SetTileCount(6));
    EXPECT_EQ(Boundaries(layout), (std::vector<int>{0, 166, 332, 498, 664, 830, 999}));
    EXPECT_EQ(layout.GetTileCount(), 6);
    EXPECT_EQ(layout.GetSpanWidth(), 999);
    EXPECT_FALSE(layout.SetTileCount(6)) << "an unchanged count is no change";

    const std::vector<int> six = Boundaries(layout);
    for (int refused : {0, -1, 501, 1000, 1 << 30}) {
        LogCapture log;
        EXPECT_FALSE(layout.SetTileCount(refused)) << refused;
        EXPECT_TRUE(log.contains("ERROR MosaicLayout::SetTileCount")) << refused;
        EXPECT_EQ(Boundaries(layout), six) << "the old count stays after " << refused;
    }
    // The most tiles that fit: every boundary strictly between its neighbours.
    EXPECT_TRUE(layout.SetTileCount(500));
    const std::vector<int> dense = Boundaries(layout);
    ASSERT_EQ(dense.size(), 501u);
    EXPECT_EQ(dense.back(), 999);
    for (size_t i = 1; i < dense.size(); ++i) ASSERT_LT(dense[i - 1], dense[i]) << i;
    EXPECT_TRUE(layout.SetTileCount(1));
    EXPECT_EQ(Boundaries(layout), (std::vector<int>{0, 999}));
}

TEST(MosaicLayout, HitTestPrecedence)
{
    MosaicLayout layout;
    MakeGrid(layout);
    MosaicLayout bare;
    EXPECT_EQ(bare.HitTest(0, 0), MosaicLayout::kNothing) << "no boundaries";
    // A handle only counts while its tile is on (the maker's tests turn them on).
    EXPECT_EQ(layout.HitTest(415, 97), MosaicLayout::kSkyLine);
    EXPECT_EQ(layout.HitTest(415, 95), MosaicLayout::kNothing);

    const struct {
        int x, y, hit;
        const char* why;
    } cases[] = {
        {166, 200, 1, "on a boundary"},
        {169, 200, 1, "three columns off a boundary"},
        {170, 200, MosaicLayout::kNothing, "four columns off"},
        {0, 200, 0, "first boundary"},
        {999, 200, 6, "last boundary"},
        {166, 100, MosaicLayout::kSkyLine, "a line beats a boundary"},
        {560, 103, MosaicLayout::kSkyLine, "three rows off the sky line"},
        {560, 104, MosaicLayout::kNothing, "four rows off"},
        {500, 297, MosaicLayout::kGroundLine, "ground line"},
        {-2, 100, 0, "left of the first boundary the line does not count"},
    };
    for (const auto& c : cases) EXPECT_EQ(layout.HitTest(c.x, c.y), c.hit) << c.why;
}

TEST(MosaicLayout, DragLimitsKeepBoundariesAndRowsOrdered)
{
    MosaicLayout layout;
    MakeGrid(layout);
    const struct {
        int target;
        float zoom;
        int dx, dy, position;
        const char* why;
    } cases[] = {
        {3, 1.0f, 1000, 0, 663, "a middle boundary stops one pixel left of its right neighbour"},
        {3, 1.0f, -1000, 0, 333, "and one pixel right of its left neighbour"},
        {3, 2.0f, 21, 0, 508, "screen moves shrink by the zoom, truncated"},
        {3, 0.5f, -7, 0, 484, "and grow when zoomed out"},
        {0, 1.0f, -50, 0, 0, "the first boundary stays at 0 or more"},
        {6, 1.0f, 50, 0, 999, "the last boundary stays within the width"},
        {MosaicLayout::kSkyLine, 1.0f, 0, 900, 299, "the sky stays above the ground"},
        {MosaicLayout::kSkyLine, 1.0f, 0, -900, 0, "and not above row 0"},
        {MosaicLayout::kGroundLine, 1.0f, 0, -900, 101, "the ground stays below the sky"},
        {MosaicLayout::kGroundLine, 1.0f, 0, 900, 399, "and within the height"},
        {MosaicLayout::kNothing, 1.0f, 5, 5, -1, "nothing dragged"},
        {MosaicLayout::kSkyHandle, 1.0f, 5, 5, -1, "no sky tile chosen"},
        {7, 1.0f, 5, 5, -1, "no such boundary"},
    };
    for (const auto& c : cases) {
        layout.SetDragTarget(c.target);
        EXPECT_EQ(layout.DragPosition(c.zoom, c.zoom, c.dx, c.dy), c.position) << c.why;
    }

    layout.SetDragTarget(3);
    layout.ApplyDrag(1.0f, 1.0f, 1000, 0);
    EXPECT_EQ(Boundaries(layout), (std::vector<int>{0, 166, 332, 663, 664, 830, 999}));
    layout.SetDragTarget(MosaicLayout::kGroundLine);
    layout.ApplyDrag(1.0f, 1.0f, 0, -150);
    EXPECT_EQ(layout.GetGroundRow(), 150);
    layout.SetDragTarget(MosaicLayout::kSkyLine);
    layout.ApplyDrag(1.0f, 1.0f, 0, 500);
    EXPECT_EQ(layout.GetSkyRow(), 149);
    EXPECT_EQ(layout.GetSpanHeight(), 1);
}

TEST(MosaicLayout, BaseImageFillAndDarkerRightThird)
{
    MosaicLayout layout;
    ASSERT_TRUE(layout.SetDataSize(2000, 600, false));
    layout.SetResolutionPercent(50);
    Image* base = layout.MakeBackground(0);
    ASSERT_NE(base, nullptr);
    ASSERT_EQ(base->GetWidth(), 1000);
    ASSERT_EQ(base->GetHeight(), 300);
    ASSERT_EQ(base->GetChannels(), 3);
    for (int y : {0, 150, 299})
        for (int x = 0; x < 1000; ++x) {
            const uint8_t* p = Pixel(base, x, y);
            const uint8_t expected0 = x < 666 ? 255 : 128;  // 2w/3 = 666
            ASSERT_EQ(p[0], expected0) << x << "," << y;
            ASSERT_EQ(p[1], expected0) << x << "," << y;
            ASSERT_EQ(p[2], 1) << x << "," << y;
        }
    ReleaseImage(base);

    // A given width keeps the proportions: 300 x 400 / 1000 rows.
    Image* narrow = layout.MakeBackground(400);
    ASSERT_NE(narrow, nullptr);
    EXPECT_EQ(narrow->GetWidth(), 400);
    EXPECT_EQ(narrow->GetHeight(), 120);
    EXPECT_EQ(Pixel(narrow, 265, 0)[0], 255);
    EXPECT_EQ(Pixel(narrow, 266, 0)[0], 128);  // 2w/3 = 266
    ReleaseImage(narrow);
}

class GridDrawing : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_surface = new Image(1100, 450, 3);
        std::fill(m_surface->GetData(), m_surface->GetData() + static_cast<size_t>(m_surface->GetRowByte()) * 450, 200);
        MakeGrid(m_layout);
    }
    void TearDown() override { ReleaseImage(m_surface); }
    bool IsRed(int x, int y) const
    {
        const uint8_t* p = Pixel(m_surface, x, y);  // B, G, R
        return p[0] == 0 && p[1] == 0 && p[2] == 255;
    }
    std::vector<uint8_t> Bytes() const
    {
        return std::vector<uint8_t>(m_surface->GetData(),
                                    m_surface->GetData() + static_cast<size_t>(m_surface->GetRowByte()) * 450);
    }
    Image* m_surface = nullptr;
    MosaicLayout m_layout;
};

TEST_F(GridDrawing, DottedLinesAtZoomAndOffset)
{
    {
        CDC dc(m_surface);
        m_layout.Draw(&dc, 5, 7, 1.0f, 1.0f);
    }
    // Boundary 1 at column 166 + 5, from row 107 to 307: dotted, so some
    // pixels red and some not; its neighbours untouched.
    int red = 0, plain = 0;
    for (int y = 108; y < 306; ++y) {
        (IsRed(171, y) ? red : plain) += 1;
        ASSERT_FALSE(IsRed(172, y)) << y;
        ASSERT_FALSE(IsRed(170, y)) << y;
    }
    EXPECT_GT(red, 50);
    EXPECT_GT(plain, 50);
    int skyRed = 0;
    for (int x = 6; x < 1003; ++x) skyRed += IsRed(x, 107) ? 1 : 0;
    EXPECT_GT(skyRed, 300) << "the sky line runs from the first to the last boundary";
    EXPECT_FALSE(IsRed(1010, 107)) << "not past the last boundary";
    EXPECT_FALSE(IsRed(171, 320)) << "boundaries stop at the ground line";
}

TEST_F(GridDrawing, DragFeedbackDrawnTwiceLeavesTheScreen)
{
    const std::vector<uint8_t> before = Bytes();
    for (int target : {2, MosaicLayout::kSkyLine, MosaicLayout::kGroundLine}) {
        m_layout.SetDragTarget(target);
        CDC dc(m_surface);
        m_layout.DrawDragFeedback(&dc, 0, 0, 1.0f, 1.0f, 0, 0, 40, 40);
        EXPECT_NE(Bytes(), before) << "target " << target << " draws";
        m_layout.DrawDragFeedback(&dc, 0, 0, 1.0f, 1.0f, 0, 0, 40, 40);
        EXPECT_EQ(Bytes(), before) << "target " << target << " erases itself";
    }
    m_layout.SetDragTarget(MosaicLayout::kNothing);
    CDC dc(m_surface);
    m_layout.DrawDragFeedback(&dc, 0, 0, 1.0f, 1.0f, 0, 0, 40, 40);
    EXPECT_EQ(Bytes(), before) << "nothing dragged, nothing drawn";
}

}  // namespace
