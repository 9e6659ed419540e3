// The control's loading, layout and drawing: which names load, what a plain
// picture and a panorama leave behind, the world-map layout after a mode
// change, a zoom and a size change, the perspective view's size, the
// decoding worker's messages and the progress bar on the window's pixels.
#include "viewer/lumivex/tests/lumivex_ctrl_support.h"

#include "viewer/engine/tests/engine_test_support.h"

#include <cmath>
#include <filesystem>

namespace {

using ctrltest::MakeJpeg;
using enginetest::ImagePtr;

struct Layout {
    int destX, destW, srcX, srcW, destY, destH, srcY, srcH;
    bool operator==(const Layout&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Layout& l)
{
    return out << "x: dest " << l.destX << "+" << l.destW << " src " << l.srcX << "+" << l.srcW << "; y: dest "
               << l.destY << "+" << l.destH << " src " << l.srcY << "+" << l.srcH;
}

Layout LayoutOf(const CLumivexCtrl& c)
{
    return {c.destX, c.destW, c.srcX, c.srcW, c.destY, c.destH, c.srcY, c.srcH};
}

void SetLayout(CLumivexCtrl& c, const Layout& l)
{
    c.destX = l.destX, c.destW = l.destW, c.srcX = l.srcX, c.srcW = l.srcW;
    c.destY = l.destY, c.destH = l.destH, c.srcY = l.srcY, c.srcH = l.srcH;
}

class LumivexLoadTest : public LumivexCtrlTest {
protected:
    // An 800 x 400 panorama at column 100, row 300 of a map 2000 wide (not
    // a full circle, so no wrap).
    std::string Partial() { return MakeJpeg(m_dir, "partial.jpg", 800, 400, 2000, 100, 300); }
};

TEST_F(LumivexLoadTest, OnlyJpgAndJPGEndingsLoad)
{
    const std::string source = MakeJpeg(m_dir, "plain.jpg", 64, 48);
    ASSERT_FALSE(source.empty());
    const struct {
        const char* name;
        bool loads;
    } rows[] = {{"a.jpg", true}, {"b.JPG", true}, {"c.jpeg", false}, {"d.Jpg", false}, {"e.jPG", false}};
    for (const auto& r : rows) {
        const std::string path = m_dir.file(r.name);
        std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing);
        CLumivexCtrl& c = Make(300, 200);
        EXPECT_EQ(c.LoadFile(path), r.loads) << r.name;
        EXPECT_EQ(c.loaded, r.loads) << r.name;
        EXPECT_EQ(c.viewImage != nullptr, r.loads) << r.name;
    }
    // Shorter than four characters: refused before any file is looked at.
    std::filesystem::copy_file(source, "jpg", std::filesystem::copy_options::overwrite_existing);
    CLumivexCtrl& c = Make(300, 200);
    EXPECT_FALSE(c.LoadFile("jpg"));
    std::filesystem::remove("jpg");
}

TEST_F(LumivexLoadTest, APlainPictureShowsOnlyInTheWorldMapView)
{
    const std::string plain = MakeJpeg(m_dir, "plain.jpg", 640, 480);
    CLumivexCtrl& c = Show(plain, 300, 200, C::kPerspectiveView);
    ASSERT_TRUE(c.loaded);
    EXPECT_TRUE(c.plainImage);
    EXPECT_EQ(c.worldMap, nullptr);
    EXPECT_EQ(c.viewMode, C::kWorldMapView);
    EXPECT_EQ(c.viewImage->GetWidth(), 640);
    EXPECT_EQ(c.splashDialog, nullptr);
    Command(C::kCmdPerspective);
    EXPECT_EQ(c.viewMode, C::kWorldMapView);
    EXPECT_EQ(c.faceList, nullptr);
}

// A plain picture loaded after a full-circle panorama scrolls by its source
// position, not by rolling its rows round as the panorama did.
TEST_F(LumivexLoadTest, APlainPictureAfterAFullCircleDoesNotWrap)
{
    const std::string pano = MakeJpeg(m_dir, "circle.jpg", 1024, 513, 1024, 0, 0);
    const std::string plain = MakeJpeg(m_dir, "flat.jpg", 640, 480);
    CLumivexCtrl& c = Make(300, 200);
    ASSERT_TRUE(c.LoadFile(pano));
    ASSERT_TRUE(c.wrap);
    ASSERT_TRUE(c.LoadFile(plain));
    EXPECT_TRUE(c.plainImage);
    EXPECT_FALSE(c.wrap);
}

TEST_F(LumivexLoadTest, APanoramaKeepsItsMapAndSetsItsLimits)
{
    const struct {
        const char* name;
        int w, h, W, column;
        bool wrap;
        float maxH, maxV;  // radians
    } rows[] = {
        {"full circle", 1024, 513, 1024, 0, true, 1.7453293f, 1.7453293f},
        {"partial, wide", 800, 400, 2000, 100, false, 1.7453293f, 1.2566371f},
        {"partial, narrow", 400, 200, 2000, 100, false, 1.2566371f, 0.6283185f},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string file = MakeJpeg(m_dir, std::string(r.name) + ".jpg", r.w, r.h, r.W, r.column, 0);
        CLumivexCtrl& c = Make(300, 200);
        c.fov = 0.3f;
        ASSERT_TRUE(c.LoadFile(file));
        ASSERT_NE(c.worldMap, nullptr);
        EXPECT_FALSE(c.plainImage);
        EXPECT_EQ(c.wrap, r.wrap);
        EXPECT_NEAR(c.maxHFov, r.maxH, 1e-5);
        EXPECT_NEAR(c.maxVFov, r.maxV, 1e-5);
        EXPECT_FLOAT_EQ(c.fov, C::kStartFov);
        // The view image is the control's own copy of the data area.
        ASSERT_NE(c.viewImage, nullptr);
        EXPECT_EQ(c.viewImage->GetWidth(), r.w);
        EXPECT_EQ(c.viewImage->GetHeight(), r.h);
        EXPECT_EQ(c.viewImage->m_refCount, 1);
    }
}

TEST_F(LumivexLoadTest, AFailedLoadLeavesTheControlEmptyAndTheNextDrawTriesAgain)
{
    CLumivexCtrl& c = Show(m_dir.file("later.jpg"), 300, 200);
    EXPECT_FALSE(c.loaded);
    EXPECT_NE(c.splashDialog, nullptr);
    // The file appears: the next drawing loads it and takes the splash down.
    std::filesystem::copy_file(MakeJpeg(m_dir, "x.jpg", 64, 48), m_dir.file("later.jpg"));
    c.Invalidate();
    win::PaintAll();
    EXPECT_TRUE(c.loaded);
    EXPECT_EQ(c.splashDialog, nullptr);
    // A new FileName that fails keeps what is shown.
    Image* shown = c.viewImage;
    c.SetProperty("FileName", m_dir.file("missing.jpg"));
    EXPECT_EQ(c.viewImage, shown);
    EXPECT_TRUE(c.IsModified());
}

TEST_F(LumivexLoadTest, AFileNameSetBeforeTheFirstDrawingIsLaidOutForTheWindow)
{
    CLumivexCtrl& c = Make(600, 400);
    EXPECT_TRUE(c.SetProperty("FileName", Partial()));
    ASSERT_TRUE(c.loaded);
    EXPECT_EQ(LayoutOf(c), (Layout{0, 600, 100, 600, 0, 400, 0, 400}));
    win::PaintAll();
    EXPECT_EQ(LayoutOf(c), (Layout{0, 600, 100, 600, 0, 400, 0, 400}));
}

TEST_F(LumivexLoadTest, WorldMapLayoutAfterTheModeIsSet)
{
    CLumivexCtrl& c = Make(300, 200);
    ASSERT_TRUE(c.LoadFile(Partial()));
    const struct {
        int W, H;
        float zoom;
        Layout expected;
    } rows[] = {
        {300, 200, 1.0f, {0, 300, 250, 300, 0, 200, 100, 200}},     // larger than the window: its middle
        {1000, 500, 1.0f, {100, 800, 0, 800, 50, 400, 0, 400}},     // smaller: centred with margins
        {300, 200, 0.5f, {0, 300, 100, 600, 0, 200, 0, 400}},       // just fills the height at 0.5
        {300, 200, 2.0f, {0, 300, 325, 150, 0, 200, 150, 100}},
    };
    for (const auto& r : rows) {
        c.windowW = r.W;
        c.windowH = r.H;
        c.zoom = r.zoom;
        c.SetViewMode(C::kWorldMapView, true);
        EXPECT_EQ(LayoutOf(c), r.expected) << r.W << "x" << r.H << " at " << r.zoom;
    }
}

TEST_F(LumivexLoadTest, ZoomingTheWorldMapKeepsTheCentreWhereItCan)
{
    CLumivexCtrl& c = Make(300, 200);
    ASSERT_TRUE(c.LoadFile(Partial()));
    c.windowW = 300;
    c.windowH = 200;
    const struct {
        const char* name;
        Layout before;
        float z;
        Layout expected;
    } rows[] = {
        {"centre kept", {0, 300, 250, 300, 0, 200, 100, 200}, 2.0f, {0, 300, 325, 150, 0, 200, 150, 100}},
        {"near the start: offset 0", {0, 300, 0, 100, 0, 200, 0, 60}, 2.0f, {0, 300, 0, 150, 0, 200, 0, 100}},
        {"near the end: the last part", {0, 300, 730, 100, 0, 200, 350, 50}, 2.0f,
         {0, 300, 650, 150, 0, 200, 300, 100}},
        {"smaller than the window: centred", {0, 300, 250, 300, 0, 200, 100, 200}, 0.25f,
         {50, 200, 0, 800, 50, 100, 0, 400}},
    };
    for (const auto& r : rows) {
        SetLayout(c, r.before);
        c.zoom = 1.0f;
        c.ZoomWorldMap(r.z);
        EXPECT_EQ(LayoutOf(c), r.expected) << r.name;
        EXPECT_FLOAT_EQ(c.zoom, r.z);
    }
}

TEST_F(LumivexLoadTest, ResizingTheWorldMapViewPerAxis)
{
    CLumivexCtrl& c = Make(300, 200);
    ASSERT_TRUE(c.LoadFile(Partial()));
    const struct {
        const char* name;
        int fromW, fromH, toW, toH;
        Layout expected;
    } rows[] = {
        {"margin, grow", 1000, 500, 1200, 600, {200, 800, 0, 800, 100, 400, 0, 400}},
        {"margin, shrink", 1000, 500, 900, 450, {50, 800, 0, 800, 25, 400, 0, 400}},
        // Past the image: the source starts at 0 across but ends at the
        // image's bottom down.
        {"margin, shrink past the image", 1000, 500, 600, 300, {0, 600, 0, 600, 0, 300, 100, 300}},
        // Across the source keeps its start; down it keeps its end.
        {"fill, grow", 300, 200, 500, 300, {0, 500, 250, 500, 0, 300, 0, 300}},
        {"fill, grow past the end", 300, 200, 700, 380, {0, 700, 100, 700, 0, 380, 0, 380}},
        {"fill, grow beyond the image", 300, 200, 1000, 500, {100, 800, 0, 800, 50, 400, 0, 400}},
        {"fill, shrink", 300, 200, 200, 100, {0, 200, 250, 200, 0, 100, 200, 100}},
    };
    for (const auto& r : rows) {
        c.zoom = 1.0f;
        c.windowW = r.fromW;
        c.windowH = r.fromH;
        c.SetViewMode(C::kWorldMapView, true);
        c.MoveWindow(0, 0, r.toW, r.toH);
        EXPECT_EQ(LayoutOf(c), r.expected) << r.name;
        EXPECT_EQ(c.windowW, r.toW);
    }
}

TEST_F(LumivexLoadTest, PerspectiveViewSizeStaysWithinTheLargestFieldOfView)
{
    const std::string full = MakeJpeg(m_dir, "full.jpg", 2048, 1025, 2048, 0, 0);
    const std::string narrow = MakeJpeg(m_dir, "narrow.jpg", 400, 200, 2000, 100, 400);
    const struct {
        const std::string* file;
        int w, h;
        int viewW, viewH;
        float fov;
    } rows[] = {
        {&full, 600, 400, 600, 400, 1.4879319f},
        {&full, 800, 400, 776, 400, 1.7453293f},
        {&full, 600, 800, 600, 776, 1.4879319f},
        {&narrow, 600, 400, 462, 206, 1.2566371f},
    };
    for (const auto& r : rows) {
        CLumivexCtrl& c = Show(*r.file, r.w, r.h, C::kPerspectiveView);
        ASSERT_TRUE(c.loaded);
        EXPECT_EQ(c.viewMode, C::kPerspectiveView);
        EXPECT_EQ(c.viewImage->GetWidth(), r.viewW) << r.w << "x" << r.h;
        EXPECT_EQ(c.viewImage->GetHeight(), r.viewH) << r.w << "x" << r.h;
        EXPECT_NEAR(c.fov, r.fov, 1e-5);
        EXPECT_EQ(c.destX, (r.w - r.viewW) / 2);
        EXPECT_EQ(c.destY, (r.h - r.viewH) / 2);
        EXPECT_EQ(c.srcW, r.viewW);
        ASSERT_NE(c.faceList, nullptr);
        m_ctrl.reset();
        m_host.DestroyWindow();
    }
}

TEST_F(LumivexLoadTest, ResizingThePerspectiveViewRendersAtTheNewSize)
{
    const std::string full = MakeJpeg(m_dir, "full.jpg", 2048, 1025, 2048, 0, 0);
    CLumivexCtrl& c = Show(full, 600, 400, C::kPerspectiveView);
    ASSERT_TRUE(c.loaded);
    m_host.MoveWindow(40, 30, 800, 400);
    c.MoveWindow(0, 0, 800, 400);
    EXPECT_EQ(c.viewImage->GetWidth(), 776);
    EXPECT_EQ(c.destX, 12);
    EXPECT_NEAR(c.fov, 1.7453293f, 1e-5);
    // The frame is rendered: the middle of the view is not the cleared black.
    const uint8_t* mid = c.viewImage->GetData() + 200 * c.viewImage->GetRowByte() + 388 * 3;
    EXPECT_GT(mid[0] + mid[1] + mid[2], 60);
}

TEST_F(LumivexLoadTest, DecodeProgressTable)
{
    // Without a map nothing is done.
    CLumivexCtrl& empty = Make(300, 200);
    EXPECT_EQ(empty.SendMessage(kDecodeProgressMessage, 0, 7), 1);
    m_ctrl.reset();

    CLumivexCtrl& c = Show(Partial(), 300, 200);
    ASSERT_TRUE(c.loaded);
    const struct {
        LPARAM value;
        LRESULT result;
        int progress;
    } rows[] = {{1, 0, 1}, {10, 0, 11}, {11, 1, 11}, {5, 0, 16}, {-3, 1, 16}, {100, 0, 0}, {10, 0, 10}, {0, 0, 10}};
    for (const auto& r : rows) {
        EXPECT_EQ(c.SendMessage(kDecodeProgressMessage, 0, r.value), r.result) << r.value;
        EXPECT_EQ(c.progress, r.progress) << r.value;
    }
    c.progress = 95;
    c.SendMessage(kDecodeProgressMessage, 0, 10);
    EXPECT_EQ(c.progress, 100);
}

TEST_F(LumivexLoadTest, DecodePassRebuildsTheViewFromTheMap)
{
    CLumivexCtrl& c = Show(Partial(), 300, 200);
    ASSERT_TRUE(c.loaded);
    // World-map view: the data area is copied again (a scribble goes).
    std::memset(c.viewImage->GetData(), 0, 64);
    EXPECT_EQ(c.SendMessage(kDecodeProgressMessage, 0, 0), 0);
    EXPECT_NE(c.viewImage->GetData()[0] + c.viewImage->GetData()[30], 0);
    // Perspective: the faces are made again and the frame rendered.
    Command(C::kCmdPerspective);
    ASSERT_EQ(c.viewMode, C::kPerspectiveView);
    c.viewImage->Clear();
    EXPECT_EQ(c.SendMessage(kDecodeProgressMessage, 0, 0), 0);
    ASSERT_NE(c.faceList, nullptr);
    EXPECT_EQ(c.faceList->GetViewImage(), c.viewImage);
    const uint8_t* mid = c.viewImage->GetData() + (c.viewImage->GetHeight() / 2) * c.viewImage->GetRowByte() +
                         (c.viewImage->GetWidth() / 2) * 3;
    EXPECT_GT(mid[0] + mid[1] + mid[2], 60);
}

TEST_F(LumivexLoadTest, ProgressBarPixelsOnTheWindow)
{
    CLumivexCtrl& c = Show(MakeJpeg(m_dir, "small.jpg", 200, 100, 1000, 100, 100), 300, 200);
    ASSERT_TRUE(c.loaded);
    ASSERT_EQ(c.destX, 50);
    for (int i = 0; i < 3; ++i) c.SendMessage(kDecodeProgressMessage, 0, 10);
    ASSERT_EQ(c.progress, 30);
    const ImagePtr shot(win::CaptureWindow(c.m_hWnd));  // B, G, R
    ASSERT_TRUE(shot);
    for (int y = 196; y < 200; ++y) {
        const uint8_t* row = shot->GetData() + y * shot->GetRowByte();
        for (int x = 50; x < 150; ++x) {
            const uint8_t* p = row + 3 * x;
            if (x < 80) EXPECT_TRUE(p[0] == 255 && p[1] == 0 && p[2] == 0) << "blue at " << x << "," << y;
            else EXPECT_TRUE(p[0] == 0 && p[1] == 255 && p[2] == 0) << "green at " << x << "," << y;
        }
    }
    // Above the bar and beside it nothing of the bar.
    const uint8_t* above = shot->GetData() + 195 * shot->GetRowByte() + 3 * 60;
    EXPECT_FALSE(above[0] == 255 && above[1] == 0 && above[2] == 0);
    const uint8_t* after = shot->GetData() + 198 * shot->GetRowByte() + 3 * 150;
    EXPECT_FALSE(after[0] == 0 && after[1] == 255 && after[2] == 0);
    // A drawing at 100 clears the value instead of drawing the bar.
    c.progress = 100;
    c.Invalidate();
    win::PaintAll();
    EXPECT_EQ(c.progress, 0);
}

TEST_F(LumivexLoadTest, TheWorldMapViewDrawsItsSourceOntoItsDestination)
{
    CLumivexCtrl& c = Show(MakeJpeg(m_dir, "small.jpg", 200, 100, 1000, 100, 100), 300, 200);
    ASSERT_TRUE(c.loaded);
    const ImagePtr shot(win::CaptureWindow(c.m_hWnd));
    ASSERT_TRUE(shot);
    // 1:1 in the middle; the margins have the 3-D face colour.
    for (int y : {0, 37, 99})
        for (int x : {0, 77, 199}) {
            const uint8_t* s = c.viewImage->GetData() + y * c.viewImage->GetRowByte() + 3 * x;
            const uint8_t* d = shot->GetData() + (y + 50) * shot->GetRowByte() + 3 * (x + 50);
            EXPECT_TRUE(s[0] == d[0] && s[1] == d[1] && s[2] == d[2]) << x << "," << y;
        }
    const COLORREF face = GetSysColor(COLOR_3DFACE);
    const uint8_t* margin = shot->GetData() + 10 * shot->GetRowByte() + 3 * 10;
    EXPECT_EQ(margin[2], GetRValue(face));
    EXPECT_EQ(margin[1], GetGValue(face));
    EXPECT_EQ(margin[0], GetBValue(face));
}

}  // namespace
