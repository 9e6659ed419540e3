#include "viewkit/printing.h"

#include "platform/win/printer_dc.h"
#include "platform/win/tests/win_test_fixture.h"
#include "viewkit/tests/viewkit_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

RefPtr<Image> Blank(int width, int height, int channels = 3)
{
    return RefPtr<Image>::adopt(new Image(width, height, channels));
}

// A layout of the image with the default paper, margins and ratio.
void InitDefault(CPrinting& printing, Image* image, int style, float ratio = 4.0f)
{
    printing.SetStyle(style);
    printing.Init(image, nullptr, nullptr, nullptr, nullptr, nullptr, ratio);
}

// Mean absolute difference between a page image scaled by `scale` and the
// rendered paper (R, G, B from pdftoppm; the page holds the DIB's B, G, R),
// the page's top-left at printer dot (x0, y0). The paper is rendered three
// times finer than the printer's dots and read at each dot's centre, as
// the renderer smooths picture edges.
double PageError(const Image& page, const Image& paper, int x0, int y0, int scale, int fromRow = 0, int toRow = -1)
{
    double sum = 0;
    size_t count = 0;
    for (int j = fromRow; j < (toRow < 0 ? page.GetHeight() : toRow); ++j)
        for (int i = 0; i < page.GetWidth(); ++i)
            for (int k = 0; k < scale * scale; ++k) {
                const int px = x0 + scale * i + k % scale, py = y0 + scale * j + k / scale;
                if (3 * px + 1 >= paper.GetWidth() || 3 * py + 1 >= paper.GetHeight()) continue;
                const unsigned char* p = page.GetData() + page.GetRowByte() * j + i * 3;
                const unsigned char* q = paper.GetData() + paper.GetRowByte() * (3 * py + 1) + (3 * px + 1) * 3;
                for (int c = 0; c < 3; ++c) sum += std::abs(int(p[2 - c]) - int(q[c]));
                count += 3;
            }
    return count ? sum / count : 1e9;
}

}  // namespace

TEST(CPrinting, TheThousandByFiveHundredExampleLaysOutTenOrElevenPages)
{
    RefPtr<Image> image = Blank(1000, 500);
    CPrinting simple;
    InitDefault(simple, image.get(), CPrinting::kSimple);
    int pw = 0, ph = 0;
    simple.GetPagePixelNumbs(pw, ph, false);
    EXPECT_EQ(pw, 202);
    EXPECT_EQ(ph, 265);
    EXPECT_EQ(simple.GetColumns(), 5);
    EXPECT_EQ(simple.GetRows(), 2);
    EXPECT_EQ(simple.GetNumbPages(), 10);
    CPrinting brick;
    InitDefault(brick, image.get(), CPrinting::kBrickWall);
    EXPECT_EQ(brick.GetNumbPages(), 11);
    RECT margins{};
    brick.GetMargin(&margins);
    EXPECT_EQ(margins.left, 200);
    EXPECT_EQ(margins.bottom, 200);
}

namespace {
class LayoutProbe : public CPrinting {
public:
    using CPrinting::GetNmbPages;
};
}  // namespace

TEST(CPrinting, BeeNetCountsFollowThePaperOrientation)
{
    RefPtr<Image> image = Blank(1000, 500);
    RECT margins{250, 250, 250, 250};
    struct Case {
        POINT paper;
        int columns, rows, pages;
    };
    // Ratio 5: 20 image pixels an inch. Portrait 8 x 10.5 printable inches:
    // pages of 160 x 210, rows step 210 - trunc(0.866 x 160) = 72.
    // Landscape 10.5 x 8: pages of 210 x 160, columns step 72.
    const Case cases[] = {
        {POINT{8500, 11000}, 7, 9, 4 * 10 + 9 * 3},
        {POINT{11000, 8500}, 16, 4, 8 * 5 + 4 * 8},
    };
    for (Case c : cases) {
        LayoutProbe bee;
        bee.SetStyle(CPrinting::kBeeNet);
        bee.Init(image.get(), &c.paper, &margins, &margins, nullptr, nullptr, 5.0f);
        EXPECT_EQ(bee.GetColumns(), c.columns) << c.paper.x;
        EXPECT_EQ(bee.GetRows(), c.rows);
        EXPECT_EQ(bee.GetNmbPages(bee.GetColumns(), bee.GetRows(), CPrinting::kBeeNet), c.pages);
        // Pages laid past the image's rows are not selected.
        EXPECT_GT(bee.GetNumbPages(), 0);
        EXPECT_LT(bee.GetNumbPages(), c.pages);
    }
}

TEST(CPrinting, ProperRatioSpansWholePagesOfAPanorama)
{
    RefPtr<Image> image = Blank(3000, 1000);
    CPrinting printing;
    InitDefault(printing, image.get(), CPrinting::kSimple, -1.0f);
    // The long side is 3.08 times the paper's aspect: two pages across.
    EXPECT_EQ(printing.GetColumns(), 2);
    EXPECT_EQ(printing.GetRows(), 1);
    EXPECT_NEAR(printing.GetRatio(), 8.1f * 100 * 2 / 3001, 1e-4);
    int pw = 0, ph = 0;
    printing.GetPagePixelNumbs(pw, ph, false);
    EXPECT_NEAR(2 * pw, 3001, 2);
    EXPECT_EQ(printing.GetNumbPages(), 2);
}

TEST(CPrinting, MarginsStayBetweenTheirMinimumAndAQuarterOfThePaper)
{
    RefPtr<Image> image = Blank(1000, 500);
    CPrinting printing;
    InitDefault(printing, image.get(), CPrinting::kSimple);
    EXPECT_FALSE(printing.ChangeLeftMargin(-1000));
    EXPECT_TRUE(printing.ChangeLeftMargin(100000));
    EXPECT_FALSE(printing.ChangeLeftMargin(5));
    EXPECT_TRUE(printing.ChangeBottomMargin(100000));
    EXPECT_TRUE(printing.ChangeTopMargin(25));  // 25 x 4 / 250 = 0.4 inch more
    RECT m{};
    printing.GetMargin(&m);
    EXPECT_EQ(m.left, 2125);
    EXPECT_EQ(m.bottom, 2750);
    EXPECT_EQ(m.top, 600);
    EXPECT_EQ(m.right, 200);
    EXPECT_TRUE(printing.ChangeTopMargin(-1000));
    printing.GetMargin(&m);
    EXPECT_EQ(m.top, 200);
}

TEST(CPrinting, TheRatioHandleDragIsClampedToTwentyPercent)
{
    RefPtr<Image> image = Blank(1000, 500);
    CPrinting printing;
    InitDefault(printing, image.get(), CPrinting::kSimple);
    ASSERT_EQ(printing.GetMouseLocation(-3, -3), CPrinting::kRatioHandle);
    printing.MouseDown(-3, -3);
    EXPECT_TRUE(printing.MouseMove(-203, -3));  // dx = -200: factor 1.8, clamped
    EXPECT_FLOAT_EQ(printing.GetRatio(), 4.0f * 1.2f);
    EXPECT_TRUE(printing.MouseMove(-103, -3));  // dx = +100: factor 0.6, clamped to 0.9
    EXPECT_FLOAT_EQ(printing.GetRatio(), 4.0f * 1.2f * 0.9f);
    printing.MouseUp(0, 0);
    EXPECT_FALSE(printing.MouseMove(0, 0));
    // Dragging the image moves the offset.
    printing.MouseDown(100, 100);
    EXPECT_TRUE(printing.MouseMove(110, 95));
    int x = 0, y = 0;
    printing.GetOffset(x, y, false);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, -5);
}

TEST(CPrinting, MouseLocationCodesAroundTheGrid)
{
    RefPtr<Image> image = Blank(1000, 500);
    CPrinting printing;
    InitDefault(printing, image.get(), CPrinting::kSimple);  // 5 x 2 pages of 202 x 265, margins 5
    struct Case {
        int x, y, code;
    };
    const Case cases[] = {
        {-3, 100, 2},    {-6, 100, 0},    {1013, 100, 3},  {1019, 100, 0},  {100, -3, 4},
        {100, -6, 0},    {100, 533, 5},   {100, 540, 0},   {100, 100, 6},   {-3, -3, 1},
        {1013, 533, 1},  {5, 100, 6},     {205, 100, 3},   {1005, 100, 6},  {100, 270, 5},
        {100, 525, 6},   {3000, 100, 0},  {100, 2000, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(printing.GetMouseLocation(c.x, c.y), c.code) << c.x << ", " << c.y;
}

TEST(CPrinting, ToggleSelectionFlipsAPageAndRefusesPointsOffTheGrid)
{
    RefPtr<Image> image = Blank(1000, 500);
    CPrinting printing;
    InitDefault(printing, image.get(), CPrinting::kSimple);
    EXPECT_FALSE(printing.ToggleSelection(-3, 100));
    EXPECT_FALSE(printing.ToggleSelection(100, -3));
    EXPECT_FALSE(printing.ToggleSelection(100, 600));
    EXPECT_EQ(printing.GetPageState(-3, 100), 0);
    EXPECT_EQ(printing.GetPageState(300, 300), 1);
    EXPECT_TRUE(printing.ToggleSelection(300, 300));
    EXPECT_EQ(printing.GetPageState(300, 300), 2);
    EXPECT_EQ(printing.GetNumbPages(), 9);
    printing.MouseDown(300, 300);
    EXPECT_TRUE(printing.ToggleSelection());
    EXPECT_EQ(printing.GetNumbPages(), 10);
}

TEST(CPrinting, SliversOfPagesAreDeselected)
{
    // 820 x 280: the fifth column covers 12 of 202 pixels, the second row
    // 15 of 265; both under a tenth.
    RefPtr<Image> image = Blank(820, 280);
    CPrinting printing;
    InitDefault(printing, image.get(), CPrinting::kSimple);
    EXPECT_EQ(printing.GetColumns(), 5);
    EXPECT_EQ(printing.GetRows(), 2);
    EXPECT_EQ(printing.GetNumbPages(), 4);
    EXPECT_EQ(printing.GetPageState(900, 100), 2);
    // Moving the grid 10 pixels right: now the first column is the sliver.
    EXPECT_TRUE(printing.ChangeLayout(4, 1));
    EXPECT_EQ(printing.GetNumbPages(), 4);
}

TEST(CPrinting, NoRatioOrMarginsLeaveAnEmptyPage)
{
    RefPtr<Image> image = Blank(400, 300);
    CPrinting printing;
    InitDefault(printing, image.get(), CPrinting::kSimple);
    EXPECT_TRUE(printing.ChangeRatio(1e9f));
    int pw = 0, ph = 0;
    printing.GetPagePixelNumbs(pw, ph, false);
    EXPECT_GE(pw, 1);
    EXPECT_GE(ph, 1);
    // Pages of one pixel: one selected page a pixel.
    EXPECT_EQ(printing.GetNumbPages(), 400 * 300);
    EXPECT_FALSE(printing.ChangeRatio(1e9f));

    CPrinting wide;
    POINT paper{8500, 11000};
    RECT margins{9000, 12000, 9000, 12000};
    wide.SetStyle(CPrinting::kSimple);
    wide.Init(image.get(), &paper, &margins, &margins, nullptr, nullptr, 4.0f);
    RECT m{};
    wide.GetMargin(&m);
    EXPECT_EQ(m.left, 2125);
    EXPECT_EQ(m.top, 2750);
    wide.GetPagePixelNumbs(pw, ph, false);
    EXPECT_EQ(pw, 106);  // 4.25 inches at 25 pixels an inch
    EXPECT_EQ(ph, 137);
    EXPECT_GE(wide.GetNumbPages(), 1);
}

TEST(CPrinting, GetPageImageReplacesAPageOfAnotherLayout)
{
    RefPtr<Image> image = RefPtr<Image>::adopt(testkit::MakePatternImage(1000, 500, 3, IMG_LAYOUT_BITMAP));
    CPrinting printing;
    InitDefault(printing, image.get(), CPrinting::kSimple);
    Image* page = nullptr;
    ASSERT_TRUE(printing.GetPageImage(7, &page));  // row 1, column 1
    ASSERT_EQ(page->GetWidth(), 202);
    ASSERT_EQ(page->GetHeight(), 265);
    // Image rows 265..499 fill the top of the page, white below.
    EXPECT_EQ(0, std::memcmp(page->GetData() + page->GetRowByte() * 234, image->GetData() + image->GetRowByte() * 499 + 202 * 3, 202 * 3));
    EXPECT_EQ(page->GetData()[page->GetRowByte() * 235], 0xFF);
    EXPECT_TRUE(printing.ChangeRatio(0.5f));
    ASSERT_TRUE(printing.GetPageImage(1, &page));
    EXPECT_EQ(page->GetWidth(), 405);
    EXPECT_EQ(page->GetHeight(), 530);
    EXPECT_FALSE(printing.GetPageImage(99, &page));
    EXPECT_FALSE(printing.GetPageImage(-1, &page));
    EXPECT_EQ(page, nullptr);
}

class PrintTest : public WinTest {};

TEST_F(PrintTest, EverySelectedPagePrintsToThePdfAsItsPageImage)
{
    ASSERT_TRUE(testkit::RequireTool("pdfinfo"));
    ASSERT_TRUE(testkit::RequireTool("pdftoppm"));
    ASSERT_TRUE(testkit::RequireTool("convert"));
    testkit::TempDir dir;
    RefPtr<Image> photo = RefPtr<Image>::adopt(viewkit_test::LoadPhoto(dir, viewkit_test::kPhotoC, 1000, 500));
    ASSERT_TRUE(photo);
    CPrinting printing;
    InitDefault(printing, photo.get(), CPrinting::kBrickWall);
    ASSERT_EQ(printing.GetNumbPages(), 11);

    const std::string pdf = dir.file("pages.pdf");
    CPrinterDC dc;
    // 50 dots per inch: 2 dots an image pixel at the default ratio.
    ASSERT_TRUE(dc.CreatePrinter(pdf, 50, POINT{8500, 11000}, RECT{200, 200, 200, 200}));
    ASSERT_EQ(dc.StartDoc("layout"), 1);
    CPrinterDC noPrinter;
    EXPECT_FALSE(printing.Print(&noPrinter, 1));  // no printer behind the context
    std::vector<RefPtr<Image>> expected;
    std::vector<int> scales;
    auto printPage = [&](int n, int scale) {
        ASSERT_EQ(dc.StartPage(), 1);
        ASSERT_TRUE(printing.Print(&dc, n));
        ASSERT_EQ(dc.EndPage(), 1);
        Image* page = nullptr;
        ASSERT_TRUE(printing.GetPageImage(n, &page));
        expected.push_back(RefPtr<Image>::adopt(page));
        scales.push_back(scale);
    };
    for (int n = 1; n <= 11; ++n) printPage(n, 2);
    EXPECT_FALSE(printing.Print(&dc, 12));
    // Wider pages after a layout change: one dot an image pixel.
    ASSERT_TRUE(printing.ChangeRatio(0.5f));
    printPage(1, 1);
    printPage(2, 1);
    ASSERT_EQ(dc.EndDoc(), 1);

    const testkit::CommandResult info = testkit::Run("pdfinfo " + pdf);
    ASSERT_EQ(info.status, 0) << info.output;
    EXPECT_EQ(testkit::PdfInfoField(info.output, "Pages"), std::to_string(expected.size()));
    ASSERT_EQ(testkit::Run("pdftoppm -r 150 " + pdf + " " + dir.file("page")).status, 0);
    for (size_t i = 0; i < expected.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "page-%02zu.ppm", i + 1);
        RefPtr<Image> paper = RefPtr<Image>::adopt(testkit::ReadPnm(dir.file(name)));
        ASSERT_TRUE(paper) << name;
        ASSERT_EQ(paper->GetWidth(), 3 * 425);
        // The printable area starts 0.2 inch (10 dots) in.
        EXPECT_LT(PageError(*expected[i], *paper, 10, 10, scales[i]), 2.0) << name;
        if (i >= 5 && i < 11) {
            // Second row of pages: page row 234 is the image's last row,
            // printed beside the white paper (the renderer smooths that edge
            // a little; a missing row would differ by a hundred).
            EXPECT_LT(PageError(*expected[i], *paper, 10, 10, 2, 234, 235), 6.0) << name;
            const unsigned char* last = expected[i]->GetData() + expected[i]->GetRowByte() * 234;
            EXPECT_TRUE(std::any_of(last, last + 202 * 3, [](unsigned char v) { return v != 0xFF; }));
        }
    }
}

TEST_F(PrintTest, TheToolbarComesFromTheLibrarysResource)
{
    CWnd view;
    ASSERT_TRUE(view.CreateEx(0, nullptr, "preview", WS_OVERLAPPED | WS_VISIBLE, RECT{0, 0, 600, 400}, nullptr, 0));
    CPrinting printing;
    printing.CreateToolBar(0, nullptr);  // no parent: no bar
    EXPECT_EQ(printing.GetToolBar(), nullptr);
    printing.CreateToolBar(0, &view);
    CToolBar* bar = printing.GetToolBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->GetDlgCtrlID(), 0xE800);
    EXPECT_EQ(bar->GetParent(), &view);
    EXPECT_EQ(bar->GetStyle() & 0x50000000u, 0x50000000u);  // a visible child
    EXPECT_EQ(bar->GetBarStyle() & 0x2832u, 0x2832u);
    const UINT commands[] = {32810, 32811, 32812, 0, 32813, 32814, 32815};
    ASSERT_EQ(bar->GetButtonCount(), 7);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(bar->GetItemID(i), commands[i]) << i;
    RECT r{};
    bar->GetWindowRect(&r);
    view.ScreenToClient(&r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    const int width = r.right - r.left, height = r.bottom - r.top;
    EXPECT_GT(width, 0);
    printing.SetToolBarPos(40, 25);
    bar->GetWindowRect(&r);
    view.ScreenToClient(&r);
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.top, 25);
    EXPECT_EQ(r.right - r.left, width);
    EXPECT_EQ(r.bottom - r.top, height);
}

TEST(CPrinting, ThePreviewNumbersTheSelectedPagesAndMarksTheCorners)
{
    RefPtr<Image> image = Blank(1000, 500);
    CPrinting printing;
    InitDefault(printing, image.get(), CPrinting::kBrickWall);
    ASSERT_TRUE(printing.ToggleSelection(300, 100));  // page 2 of the first row off
    RefPtr<Image> surface = RefPtr<Image>::adopt(viewkit_test::MakeSurface(700, 400, 255));
    CDC dc(surface.get());
    dc.SetRecording(true);
    printing.DrawPreView(&dc, 20, 30, 0.5f, 0.5f);
    std::vector<std::string> labels;
    int navy = 0;
    for (const GdiCall& call : dc.GetRecordedCalls()) {
        if (call.name == "TextOut") labels.push_back(call.text);
        if (call.name == "FillSolidRect" && call.args.size() == 5 && call.args[4] == RGB(0, 0, 128)) ++navy;
    }
    ASSERT_EQ(labels.size(), 10u);
    EXPECT_EQ(labels.front(), " page 1");
    EXPECT_EQ(labels.back(), " page 10");
    // Corners: rows of 6, 7 and 7 grid lines... one block at each corner of
    // every row's lines: (5 + 1) + (6 + 1) + (6 + 1).
    EXPECT_EQ(navy, 6 + 7 + 7);
    int pw = 0, ph = 0;
    printing.GetPagePixelNumbs(pw, ph, true);
    EXPECT_EQ(pw, 101);
    EXPECT_EQ(ph, 132);
    // The page grid in grey and red lines: the first page's top edge.
    const COLORREF edge = dc.GetPixel(20 + 50, 30);
    EXPECT_TRUE(edge == RGB(255, 0, 0) || edge == RGB(150, 150, 150)) << std::hex << edge;
}

TEST(CPrinting, ALayoutOfTooManyPagesIsRefused)
{
    // 16,000 x 8,000 at one pixel a page would be 128 million pages.
    RefPtr<Image> panorama = Blank(16000, 8000, 1);
    CPrinting printing;
    InitDefault(printing, panorama.get(), CPrinting::kSimple);
    const float ratio = printing.GetRatio();
    const int pages = printing.GetNumbPages();
    EXPECT_FALSE(printing.ChangeRatio(1e9f));
    EXPECT_FLOAT_EQ(printing.GetRatio(), ratio);
    EXPECT_EQ(printing.GetNumbPages(), pages);
    EXPECT_FALSE(printing.ChangeLayout(20000, 10000));
    EXPECT_TRUE(printing.ChangeLayout(40, 20));
    // Init with such a ratio falls back to the proper one.
    CPrinting tiny;
    tiny.SetStyle(CPrinting::kSimple);
    tiny.Init(panorama.get(), nullptr, nullptr, nullptr, nullptr, nullptr, 1e6f);
    EXPECT_LE(tiny.GetColumns() * tiny.GetRows(), 4);
    // And a tiny ratio is raised to the smallest one.
    tiny.Init(panorama.get(), nullptr, nullptr, nullptr, nullptr, nullptr, 1e-20f);
    EXPECT_FLOAT_EQ(tiny.GetRatio(), 0.01f);
    int pw = 0, ph = 0;
    tiny.GetPagePixelNumbs(pw, ph, false);
    EXPECT_EQ(pw, 81000);
}
