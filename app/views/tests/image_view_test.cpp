// The image view: zoom steps and limits, the fit zoom, and the pixels of a
// real photograph drawn at 50 % on the headless surface.
#include "app/tests/app_test_fixture.h"
#include "app/views/image_doc.h"
#include "app/views/image_loaders.h"
#include "app/views/image_view.h"
#include "app/panorama/rect_map_view.h"
#include "imaging/list.h"
#include "testkit/testkit.h"
#include "worldmap/world_map.h"
#include "imaging/image.h"
#include "platform/win/window_dc.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

class ImageViewTest : public AppTest {
protected:
    CImageView* OpenPhoto(const std::string& name)
    {
        Image* image = nullptr;
        if (LoadImage(TestData("daeyun-image-stitching/ledge_1.JPG").c_str(), &image) != 1) return nullptr;
        m_photo = image;
        if (!OpenImageWindow(image, name.c_str())) return nullptr;
        CImageDoc* doc = FindImageDoc(name.c_str());
        for (CView* view : doc->GetViews())
            if (auto* imageView = dynamic_cast<CImageView*>(view)) return imageView;
        return nullptr;
    }
    void TearDown() override
    {
        ReleaseImage(m_photo);
        AppTest::TearDown();
    }
    Image* m_photo = nullptr;
};

TEST_F(ImageViewTest, ZoomStepsStopAtTheirLimits)
{
    ASSERT_TRUE(Start());
    CImageView* view = OpenPhoto("photo");
    ASSERT_NE(view, nullptr);
    struct Case {
        float from;
        bool in;
        bool changes;
        float to;
    };
    const Case cases[] = {
        {2.05f, true, true, 2.1f}, {2.1f, true, false, 2.1f}, {1.0f, true, true, 1.05f},
        {0.25f, false, true, 0.2f}, {0.2f, false, false, 0.2f}, {1.0f, false, true, 0.95f},
    };
    for (const Case& c : cases) {
        view->ZoomTo(c.from);
        EXPECT_EQ(view->ZoomStep(c.in), c.changes) << c.from;
        EXPECT_NEAR(view->GetZoom(), c.to, 1e-5) << c.from;
    }
    view->ZoomTo(0.5f);
    EXPECT_EQ(FindImageDoc("photo")->GetTitle(), "photo (50%)");
    view->ZoomTo(1.5f);
    EXPECT_EQ(FindImageDoc("photo")->GetTitle(), "photo (150%)");
}

TEST(ImageViewFit, FitZoomTable)
{
    EXPECT_FLOAT_EQ(FitZoom(800, 600, 1600, 1200), 0.5f);
    EXPECT_FLOAT_EQ(FitZoom(800, 600, 1600, 600), 0.5f);
    EXPECT_FLOAT_EQ(FitZoom(800, 600, 40000, 30000), 0.1f);  // never below 0.1
    EXPECT_FLOAT_EQ(FitZoom(800, 600, 400, 300), 2.0f);
}

TEST_F(ImageViewTest, HalfZoomEqualsABoxFilteredPhoto)
{
    ASSERT_TRUE(Start());
    CImageView* view = OpenPhoto("half");
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->ZoomTo(0.5f));
    win::PaintAll();
    Image* drawn = win::CaptureWindow(view->GetSafeHwnd());
    ASSERT_NE(drawn, nullptr);
    const Image& photo = *m_photo;
    const int w = photo.GetWidth() / 2;
    const int h = photo.GetHeight() / 2;
    const int cw = std::min(w, drawn->GetWidth());
    const int ch = std::min(h, drawn->GetHeight());
    ASSERT_GT(cw, 50);
    ASSERT_GT(ch, 50);
    int worst = 0;
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx)
                        sum += photo.GetData()[static_cast<size_t>(2 * y + dy) * photo.GetRowByte() + (2 * x + dx) * 3 + c];
                const int expected = (sum + 2) / 4;
                const int got = drawn->GetData()[static_cast<size_t>(y) * drawn->GetRowByte() + x * 3 + c];
                worst = std::max(worst, std::abs(got - expected));
            }
    ReleaseImage(drawn);
    EXPECT_LE(worst, 2);
}

}  // namespace

namespace {

TEST_F(ImageViewTest, RedBrightnessChangesOnlyRedInTheDrawnWindow)
{
    ASSERT_TRUE(Start());
    CImageView* view = OpenPhoto("red");
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->ZoomTo(0.5f));
    win::PaintAll();
    Image* before = win::CaptureWindow(view->GetSafeHwnd());
    ASSERT_NE(before, nullptr);
    // The dialog's event 10 (brightness of channel 0, red) with +20.
    view->Notify(10, nullptr, std::bit_cast<uint32_t>(20.0f));
    EXPECT_EQ(view->GetBrightness(0), 20);
    win::PaintAll();
    Image* after = win::CaptureWindow(view->GetSafeHwnd());
    ASSERT_NE(after, nullptr);
    int changed[3] = {0, 0, 0};
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            for (int c = 0; c < 3; ++c) {
                const size_t at = static_cast<size_t>(y) * before->GetRowByte() + x * 3 + c;
                if (before->GetData()[at] != after->GetData()[at]) ++changed[c];
            }
    ReleaseImage(before);
    ReleaseImage(after);
    // Bitmap rows hold blue, green, red: red is the third sample.
    EXPECT_EQ(changed[0], 0);
    EXPECT_EQ(changed[1], 0);
    EXPECT_GT(changed[2], 5000);  // nearly every red sample brighter
}

}  // namespace

namespace {

// A small picture whose pixels (blue, green, red) include blue 0 with other
// samples set, all black, and ordinary values.
Image* MakeBlueZeroPicture(int w, int h)
{
    auto* image = new Image(w, h, 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = image->GetData() + static_cast<size_t>(y) * image->GetRowByte() + static_cast<size_t>(x) * 3;
            const int kind = (x + y) % 3;
            p[0] = kind == 2 ? static_cast<unsigned char>(5 + x) : 0;
            p[1] = kind == 1 ? 0 : static_cast<unsigned char>(10 + y);
            p[2] = kind == 1 ? 0 : 255;
        }
    return image;
}

// Where `got` differs from `source` with its first samples of 0 read as 1,
// or -1 when it does not.
int FirstDifferenceFromRaised(const Image* source, const Image* got)
{
    if (got->GetWidth() != source->GetWidth() || got->GetHeight() != source->GetHeight()) return -2;
    for (int y = 0; y < source->GetHeight(); ++y)
        for (int x = 0; x < source->GetWidth(); ++x)
            for (int c = 0; c < 3; ++c) {
                int want = source->GetData()[static_cast<size_t>(y) * source->GetRowByte() + static_cast<size_t>(x) * 3 + c];
                if (c == 0 && want == 0) want = 1;
                if (got->GetData()[static_cast<size_t>(y) * got->GetRowByte() + static_cast<size_t>(x) * 3 + c] != want)
                    return y * source->GetWidth() + x;
            }
    return -1;
}

// A photograph has no "no data" pixels: one with blue 0 (pure red, say) is
// shown in its colour, with blue 1, not as the screen's cleared black, both
// in the image window opened from a TIFF file (whose reader keeps zeros) and
// in the panorama the window re-converts it into.
TEST_F(ImageViewTest, PixelsWithBlueZeroAreShownInTheirColour)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(testkit::RequireTool("convert"));
    Image* picture = MakeBlueZeroPicture(40, 21);
    testkit::TempDir dir;
    const std::string ppm = dir.file("blue.ppm");
    const std::string tif = dir.file("blue.tif");
    // The file holds red, green, blue; the picture in memory blue first.
    Image* inFileOrder = picture->Duplicate();
    for (int y = 0; y < inFileOrder->GetHeight(); ++y)
        for (int x = 0; x < inFileOrder->GetWidth(); ++x)
            std::swap(inFileOrder->GetData()[static_cast<size_t>(y) * inFileOrder->GetRowByte() + static_cast<size_t>(x) * 3],
                      inFileOrder->GetData()[static_cast<size_t>(y) * inFileOrder->GetRowByte() + static_cast<size_t>(x) * 3 + 2]);
    ASSERT_TRUE(testkit::WritePnm(*inFileOrder, ppm));
    ReleaseImage(inFileOrder);
    const auto run = testkit::Run("convert " + ppm + " -compress none " + tif);
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_NE(App().OpenDocumentFile(tif.c_str()), nullptr);
    CImageDoc* doc = FindImageDoc(tif.c_str());
    ASSERT_NE(doc, nullptr);
    CImageView* view = nullptr;
    for (CView* v : doc->GetViews())
        if (auto* imageView = dynamic_cast<CImageView*>(v)) view = imageView;
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(FirstDifferenceFromRaised(picture, view->GetScreen()), -1);

    // A full circle 40 wide: the map's picture is the window's, blue 0 raised.
    Manager().SetReconvertDialog([](int, int, float* angle, float* offset, bool* fullCircle) {
        *angle = 360.0f;
        *offset = 0.0f;
        *fullCircle = true;
        return true;
    });
    const int before = CRectMapView::Views().m_count;
    view->OnReconvert();
    ASSERT_EQ(CRectMapView::Views().m_count, before + 1);
    auto* panorama = static_cast<CRectMapView*>(CRectMapView::Views().GetData(0));
    ASSERT_NE(panorama->GetWorldMap(), nullptr);
    ASSERT_EQ(panorama->GetWorldMap()->GetWidth(), 40);
    const Image* screen = panorama->GetScreen();
    ASSERT_EQ(screen->GetWidth(), 40);
    ASSERT_EQ(screen->GetHeight(), 21);
    EXPECT_EQ(FirstDifferenceFromRaised(picture, screen), -1);
    ReleaseImage(picture);
}

}  // namespace
