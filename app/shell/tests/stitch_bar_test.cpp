// The stitch bar: slider and ratio maths, the output-size limit, the size
// labels, the settings summary, the Stitch button's refusals, and the bar's
// own pixels on the headless surface.
#include "app/control/super_manager.h"
#include "app/matching/distortion_record.h"
#include "app/shell/stitch_bar.h"
#include "app/tests/app_test_fixture.h"
#include "imaging/image.h"
#include "platform/win/resources.h"
#include "platform/win/window_dc.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A merged panorama 20000 samples wide at the output scale 0.75.
bool WidePanorama(int* width, int* height)
{
    const float scale = GetSuperManager()->GetOutputScale();
    *width = static_cast<int>(20000 * scale / 0.75f + 0.5f);
    *height = *width / 2;
    return true;
}

class StitchBarTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(Start());
        ASSERT_NE(Manager().GetStitchBar(), nullptr);
    }
    void TearDown() override
    {
        Manager().SetPanoramaSizeSource(nullptr);
        AppTest::TearDown();
    }
    CStitchBar& Bar() { return *Manager().GetStitchBar(); }

    void AddFrames(int n)
    {
        for (int i = 0; i < n; ++i) {
            auto* stamp = new Image(64, 48, 3);
            std::memset(stamp->GetData(), 90, static_cast<size_t>(stamp->GetRowByte()) * 48);
            Manager().AddImageFrame(stamp, ("/b/" + std::to_string(i) + ".jpg").c_str(), nullptr);
        }
    }

    // The bar as it shows now.
    RefPtr<Image> Capture()
    {
        Bar().OnUpdateCmdUI(nullptr, FALSE);
        Bar().Invalidate(TRUE);
        win::PaintAll();
        RefPtr<Image> image = RefPtr<Image>::adopt(win::CaptureWindow(Bar().m_hWnd));
        if (const char* dump = std::getenv("STITCH_BAR_DUMP"); dump && image) {
            std::FILE* f = std::fopen(dump, "wb");
            std::fprintf(f, "P6 %d %d 255\n", image->GetWidth(), image->GetHeight());
            for (int y = 0; y < image->GetHeight(); ++y)
                for (int x = 0; x < image->GetWidth(); ++x) {
                    const unsigned char* p = image->GetData() + static_cast<size_t>(y) * image->GetRowByte() + 3 * x;
                    std::fputc(p[2], f);
                    std::fputc(p[1], f);
                    std::fputc(p[0], f);
                }
            std::fclose(f);
        }
        return image;
    }
    static COLORREF Pixel(const Image& image, int x, int y)
    {
        const unsigned char* p = image.GetData() + static_cast<size_t>(y) * image.GetRowByte() + 3 * x;
        return RGB(p[2], p[1], p[0]);
    }
    // Control `id`'s rectangle in the bar's client coordinates.
    RECT ControlRect(UINT id)
    {
        RECT r{};
        Bar().GetDlgItem(id)->GetWindowRect(&r);
        Bar().ScreenToClient(&r);
        return r;
    }
    static int Count(const Image& image, RECT r, COLORREF colour)
    {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) n += Pixel(image, x, y) == colour;
        return n;
    }
};

}  // namespace

TEST_F(StitchBarTest, SliderAndRatio)
{
    struct Case {
        int pos;
        float ratio;
    } cases[] = {{0, 0.1f}, {24, 0.964f}, {25, 1.0f}, {50, 2.0f}, {5, 0.28f}, {30, 1.2f}};
    for (const Case& c : cases) {
        EXPECT_NEAR(CStitchBar::SliderToRatio(c.pos), c.ratio, 1e-6f) << c.pos;
        EXPECT_EQ(CStitchBar::RatioToSlider(c.ratio), c.pos) << c.pos;
    }
    // Back with rounding: the nearest position.
    EXPECT_EQ(CStitchBar::RatioToSlider(0.75f), 18);
    EXPECT_EQ(CStitchBar::RatioToSlider(0.375f), 8);
    EXPECT_EQ(CStitchBar::RatioToSlider(1.49f), 37);

    Bar().OnSliderMoved(25);
    EXPECT_EQ(Bar().GetRatioText(), "R: 100%");
    Bar().OnSliderMoved(5);
    EXPECT_EQ(Bar().GetRatioText(), "R: 28%");
}

TEST_F(StitchBarTest, OutputSizeLimitAndLabels)
{
    // Without a merged panorama the size labels stay hidden.
    Bar().ShowOutputSize();
    EXPECT_FALSE(Bar().AreSizeLabelsShown());
    EXPECT_FALSE(Bar().GetDlgItem(CStitchBar::kWidth)->IsWindowVisible());

    Manager().SetPanoramaSizeSource(&WidePanorama);
    Bar().SetRatio(0.75f);
    Bar().LimitOutputSize();
    EXPECT_NEAR(Bar().GetRatio(), 0.375f, 1e-6f);
    EXPECT_EQ(Bar().GetSliderPos(), 8);
    EXPECT_EQ(Bar().GetRatioText(), "R: 38%");
    EXPECT_TRUE(Bar().AreSizeLabelsShown());
    EXPECT_EQ(Bar().GetWidthText(), "w: 10000");
    EXPECT_EQ(Bar().GetHeightText(), "h: 5000");
    EXPECT_TRUE(Bar().GetDlgItem(CStitchBar::kWidth)->IsWindowVisible());
    // Under the limit nothing changes.
    Bar().LimitOutputSize();
    EXPECT_NEAR(Bar().GetRatio(), 0.375f, 1e-6f);
    // Blend hands the ratio to the manager as its output scale; with no
    // stitched frame the exposure balance refuses, and says so.
    Prompter().ExpectMessageBox("There is major stitching error\nPlease correct first!", IDOK);
    Bar().OnBlend();
    EXPECT_NEAR(Manager().GetOutputScale(), 0.375f, 1e-6f);
    EXPECT_TRUE(Manager().GetFlags() & kFlagBlendStage);
}

TEST_F(StitchBarTest, SettingsSummary)
{
    struct Case {
        int focalType;
        float focal;
        uint8_t runtime;
        bool elastic;
        const char* text;
    } cases[] = {
        {0, 35, 0, false, "F: same\nBlend: Fixed\n"},
        {1, 35, 1, false, "RuntimeDC:Y\nF: diff\nBlend: Fixed\n"},
        {2, 34.5f, 0, false, "F: 35\nBlend: Fixed\n"},
        {3, 50, 0, false, "F: Exif\nBlend: Fixed\n"},
        {4, 27.6f, 0, true, "F: Exif 28\nBlend: Elastic\n"},
        {7, 27.6f, 0, true, "Blend: Elastic\n"},
    };
    for (const Case& c : cases) {
        StitchSettings* s = Manager().GetStitchSettings();
        s->focalType = c.focalType;
        s->focalLength = c.focal;
        s->runtimeDistortion = c.runtime;
        Manager().SetElasticBlendForTest(c.elastic);
        Bar().UpdateSettingsText();
        EXPECT_EQ(Bar().GetSettingsText(), c.text) << c.focalType;
    }
}

TEST_F(StitchBarTest, StitchRefusals)
{
    // One image: the stitch precondition refuses and the button stays idle.
    AddFrames(1);
    Bar().OnStitch();
    EXPECT_TRUE(Bar().IsIdle());
    EXPECT_TRUE(Manager().GetFlags() & kFlagStopped);
    // Two images but a worker still alive: no new run.
    AddFrames(1);
    Manager().SetWorkerActive(true);
    Bar().OnStitch();
    EXPECT_TRUE(Bar().IsIdle());
    EXPECT_FALSE(CStitchBar::CanChangeSettings());
    Manager().SetWorkerActive(false);
    EXPECT_TRUE(CStitchBar::CanChangeSettings());
    // Stop while running sets the stop flag back.
    Manager().SetAutomaticMode(false);
    Prompter().ExpectMessageBoxPrefix("Please", IDOK);
    Bar().OnStitch();
    EXPECT_TRUE(Manager().GetFlags() & kFlagStopped);
    EXPECT_TRUE(Bar().IsIdle());
}

TEST_F(StitchBarTest, Pixels)
{
    Bar().SetRatio(0.75f);
    RefPtr<Image> shown = Capture();
    ASSERT_TRUE(shown);
    // The frame's fill, from 8 below its top, 2 short of its right.
    const RECT frame = ControlRect(CStitchBar::kFrame);
    EXPECT_EQ(Pixel(*shown, frame.right - 3, frame.top + 8), RGB(190, 190, 190));
    EXPECT_NE(Pixel(*shown, frame.right - 1, frame.top + 20), RGB(190, 190, 190));
    // Settings face and its blue text when enabled.
    RECT settings = ControlRect(CStitchBar::kSettings);
    RECT face{settings.left + 3, settings.top + 3, settings.right - 3, settings.bottom - 3};
    EXPECT_EQ(Pixel(*shown, face.left + 1, face.top + 1), RGB(210, 215, 210));
    EXPECT_GT(Count(*shown, face, RGB(0, 0, 255)), 10);
    // The ratio text in its dark colour.
    EXPECT_GT(Count(*shown, ControlRect(CStitchBar::kRatio), RGB(30, 30, 80)), 5);

    // Disabled while a run is busy: grey face, no blue text.
    Manager().ModifyFlags(kFlagStopped, 0);
    shown = Capture();
    EXPECT_EQ(Pixel(*shown, face.left + 1, face.top + 1), RGB(191, 191, 191));
    EXPECT_EQ(Count(*shown, face, RGB(0, 0, 255)), 0);
    EXPECT_GT(Count(*shown, face, RGB(128, 128, 128)), 10);
    Manager().ModifyFlags(0, kFlagStopped);
}

// Tooltip and status text of each control: "tooltip\nstatus", as the
// status bar and the tooltips read them from the string table.
TEST_F(StitchBarTest, TooltipsAndStatusTexts)
{
    struct Case {
        UINT id;
        const char* text;
    } cases[] = {
        {CStitchBar::kLoad, "Load images to Pellicot\nLoad images"},
        {CStitchBar::kStitch, "Stitch images in Pellicot\nStitch images"},
        {CStitchBar::kBlend, "Blend images to make final panorama\nBlend images"},
        {CStitchBar::kSettings, "Change stitching options\nStitch settings"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(win::Resources::LoadString(c.id), c.text) << c.id;
        EXPECT_NE(Bar().GetDlgItem(static_cast<int>(c.id)), nullptr) << c.id;
    }
}
