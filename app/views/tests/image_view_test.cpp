// The image view: zoom steps and limits, the fit zoom, and the pixels of a
// real photograph drawn at 50 % on the headless surface.
#include "app/tests/app_test_fixture.h"
#include "app/views/image_doc.h"
#include "app/views/image_loaders.h"
#include "app/views/image_view.h"
#include "imaging/image.h"
#include "platform/win/window_dc.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

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
// shown in its colour, with blue 1, not as the screen's cleared black; the
// caller's picture keeps its own samples. A region copied into the window
// later is raised the same way.
TEST_F(ImageViewTest, PixelsWithBlueZeroAreShownInTheirColour)
{
    ASSERT_TRUE(Start());
    Image* picture = MakeBlueZeroPicture(37, 11);
    ASSERT_TRUE(OpenImageWindow(picture, "blue zero"));
    CImageDoc* doc = FindImageDoc("blue zero");
    ASSERT_NE(doc, nullptr);
    CImageView* view = nullptr;
    for (CView* v : doc->GetViews())
        if (auto* imageView = dynamic_cast<CImageView*>(v)) view = imageView;
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(FirstDifferenceFromRaised(picture, view->GetScreen()), -1);
    EXPECT_EQ(picture->GetData()[0], 0);  // the caller's copy is untouched

    // Blank the window's picture (blue 7 everywhere), then copy the columns
    // 3..9 of rows 2..5 of the blue-0 picture to (20, 4).
    Image* own = doc->GetImage();
    std::memset(own->GetData(), 7, own->GetDataSize());
    const RECT region{3, 2, 9, 5};
    ShowImageInWindow(picture, &region, 20, 4, "blue zero");
    int zerosCopied = 0;
    for (int y = 0; y < own->GetHeight(); ++y)
        for (int x = 0; x < own->GetWidth(); ++x) {
            const unsigned char* got = own->GetData() + static_cast<size_t>(y) * own->GetRowByte() + static_cast<size_t>(x) * 3;
            const bool inside = x >= 20 && x <= 26 && y >= 4 && y <= 7;
            if (!inside) {
                EXPECT_EQ(got[0], 7) << x << "," << y;
                continue;
            }
            const unsigned char* from = picture->GetData() + static_cast<size_t>(y - 2) * picture->GetRowByte() +
                                        static_cast<size_t>(x - 17) * 3;
            if (from[0] == 0) ++zerosCopied;
            EXPECT_EQ(got[0], from[0] == 0 ? 1 : from[0]) << x << "," << y;
            EXPECT_EQ(got[1], from[1]) << x << "," << y;
            EXPECT_EQ(got[2], from[2]) << x << "," << y;
        }
    EXPECT_GT(zerosCopied, 5);
    ReleaseImage(picture);
}

}  // namespace
