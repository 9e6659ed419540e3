// The brightness/contrast dialog: slider positions and values, the
// notifications it sends per channel, targets that go away, and the effect of
// an adjustment on the pixels a viewer composes.
#include "app/tests/app_test_fixture.h"
#include "app/views/bright_contrast_dlg.h"
#include "platform/imgcore/color_ctrl.h"
#include "worldmap/data_viewer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A viewer that records what it is told and answers the name and channel
// queries as a window would.
class RecordingViewer : public DataViewer {
public:
    struct Event {
        int event;
        float value;
    };
    int Notify(int event, WorldMap*, std::uintptr_t param) override
    {
        if (event == 18) {
            auto* buffer = reinterpret_cast<char*>(param);
            seenCapacity = static_cast<unsigned char>(buffer[1]);
            std::strcpy(buffer, "window A");
        } else if (event == 20) {
            *reinterpret_cast<int*>(param) = lastChannel;
        } else {
            events.push_back({event, std::bit_cast<float>(static_cast<uint32_t>(param))});
        }
        return 0;
    }
    std::vector<Event> events;
    int lastChannel = 3;
    int seenCapacity = -1;
};

TEST(BrightContrastSliders, PositionsAndValuesBothWays)
{
    struct Case {
        int position;
        int brightness;
        float contrast;
        float gamma;
    };
    const Case cases[] = {
        {0, -50, 0.0f, 2.0f}, {50, 0, 1.0f, 1.0f}, {100, 50, 2.0f, 0.0f}, {25, -25, 0.5f, 1.5f}, {80, 30, 1.6f, 0.4f},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BrightnessFromPosition(c.position), c.brightness);
        EXPECT_FLOAT_EQ(ContrastFromPosition(c.position), c.contrast);
        EXPECT_FLOAT_EQ(GammaFromPosition(c.position), c.gamma);
        EXPECT_EQ(PositionFromBrightness(c.brightness), c.position);
        EXPECT_EQ(PositionFromContrast(c.contrast), c.position);
        EXPECT_EQ(PositionFromGamma(c.gamma), c.position);
    }
    // Values between positions truncate toward the lower position number.
    EXPECT_EQ(PositionFromContrast(1.019f), 50);
    EXPECT_EQ(PositionFromGamma(0.99f), 50);
}

TEST(BrightContrastSliders, GammaAtTheSliderEndGivesAFiniteMonotoneTable)
{
    ColorCtrl colors;
    ASSERT_TRUE(colors.SetGamma(GammaFromPosition(100), 0));
    float previous = -1.0f;
    for (int v = 0; v <= 255; ++v) {
        const float mapped = colors.GetMapValue(v, 0);
        ASSERT_TRUE(std::isfinite(mapped)) << v;
        ASSERT_GE(mapped, previous) << v;
        ASSERT_LE(mapped, 255.0f) << v;
        previous = mapped;
    }
    // Still a curve, not a constant: dark inputs stay below bright ones.
    EXPECT_LT(colors.GetMapValue(0, 0), colors.GetMapValue(255, 0));
    EXPECT_LT(colors.GetMapValue(1, 0), colors.GetMapValue(255, 0));
}

TEST(BrightContrastDialog, WithoutATargetNothingIsSent)
{
    CBrightContrastDlg dialog;
    RecordingViewer viewer;
    dialog.SliderMoved(CBrightContrastDlg::kBrightnessSlider, 70);
    EXPECT_EQ(dialog.GetBrightness(3), 0);
    dialog.SetDataViewer(&viewer);
    dialog.ReleaseTarget(&viewer);
    EXPECT_EQ(dialog.GetDataViewer(), nullptr);
    dialog.SliderMoved(CBrightContrastDlg::kGammaSlider, 10);
    EXPECT_TRUE(viewer.events.empty());
}

TEST(BrightContrastDialog, SliderAndChannelGiveTheNotificationNumber)
{
    struct Case {
        int radio;
        UINT slider;
        int position;
        int event;
        float value;
    };
    const Case cases[] = {
        {0, CBrightContrastDlg::kGammaSlider, 25, 5, 1.5f},     {1, CBrightContrastDlg::kGammaSlider, 75, 2, 0.5f},
        {2, CBrightContrastDlg::kGammaSlider, 0, 3, 2.0f},      {3, CBrightContrastDlg::kGammaSlider, 100, 4, 0.0f},
        {0, CBrightContrastDlg::kContrastSlider, 60, 9, 1.2f},  {1, CBrightContrastDlg::kContrastSlider, 0, 6, 0.0f},
        {2, CBrightContrastDlg::kContrastSlider, 100, 7, 2.0f}, {3, CBrightContrastDlg::kContrastSlider, 40, 8, 0.8f},
        {0, CBrightContrastDlg::kBrightnessSlider, 70, 13, 20}, {1, CBrightContrastDlg::kBrightnessSlider, 0, 10, -50},
        {2, CBrightContrastDlg::kBrightnessSlider, 51, 11, 1},  {3, CBrightContrastDlg::kBrightnessSlider, 100, 12, 50},
    };
    for (const Case& c : cases) {
        CBrightContrastDlg dialog;
        RecordingViewer viewer;
        dialog.SetDataViewer(&viewer);
        dialog.SelectChannel(c.radio);
        dialog.SliderMoved(c.slider, c.position);
        ASSERT_EQ(viewer.events.size(), 1u) << c.radio << " " << c.slider;
        EXPECT_EQ(viewer.events[0].event, c.event);
        EXPECT_FLOAT_EQ(viewer.events[0].value, c.value);
    }
    // Reset sends 14 and goes back to neutral on every channel.
    CBrightContrastDlg dialog;
    RecordingViewer viewer;
    dialog.SetDataViewer(&viewer);
    dialog.SelectChannel(1);
    dialog.SliderMoved(CBrightContrastDlg::kBrightnessSlider, 90);
    dialog.Reset();
    EXPECT_EQ(viewer.events.back().event, 14);
    EXPECT_EQ(dialog.GetBrightness(0), 0);
    EXPECT_EQ(dialog.GetRadio(), 0);
}

TEST(BrightContrastDialog, ChannelRadioShowsThatChannelsStoredValues)
{
    CBrightContrastDlg dialog;
    RecordingViewer viewer;
    dialog.SetDataViewer(&viewer);
    EXPECT_EQ(viewer.seenCapacity, 255);
    dialog.SelectChannel(1);  // Red
    dialog.SliderMoved(CBrightContrastDlg::kBrightnessSlider, 80);
    dialog.SliderMoved(CBrightContrastDlg::kGammaSlider, 20);
    EXPECT_EQ(dialog.GetBrightness(0), 30);
    EXPECT_FLOAT_EQ(dialog.GetGamma(0), 1.6f);
    dialog.SelectChannel(2);  // Green, untouched
    EXPECT_EQ(dialog.GetSliderPos(CBrightContrastDlg::kBrightnessSlider), 50);
    EXPECT_EQ(dialog.GetSliderPos(CBrightContrastDlg::kGammaSlider), 50);
    dialog.SelectChannel(1);
    EXPECT_EQ(dialog.GetSliderPos(CBrightContrastDlg::kBrightnessSlider), 80);
    EXPECT_EQ(dialog.GetSliderPos(CBrightContrastDlg::kGammaSlider), 20);
    EXPECT_EQ(viewer.events.size(), 2u);  // radios send nothing
}

TEST(BrightContrastDialog, TargetsLastChangedChannelSetsTheRadio)
{
    const int expected[] = {1, 2, 3, 0, 0};  // channel 0,1,2 -> Red, Green, Blue; others RGB
    const int channels[] = {0, 1, 2, 3, -1};
    for (int i = 0; i < 5; ++i) {
        CBrightContrastDlg dialog;
        RecordingViewer viewer;
        viewer.lastChannel = channels[i];
        dialog.SetDataViewer(&viewer);
        EXPECT_EQ(dialog.GetRadio(), expected[i]) << channels[i];
    }
}

class BrightContrastWindowTest : public AppTest {};

TEST_F(BrightContrastWindowTest, ShowsTheTargetsNameAndNoneWhenItCloses)
{
    ASSERT_TRUE(Start());
    CBrightContrastDlg* dialog = new CBrightContrastDlg();
    ASSERT_TRUE(dialog->Create(CBrightContrastDlg::kTemplateId, AfxGetMainWnd()));
    EXPECT_EQ(dialog->GetDlgItemText(CBrightContrastDlg::kWindowName), "None");
    RecordingViewer viewer;
    dialog->SetDataViewer(&viewer);
    EXPECT_EQ(dialog->GetDlgItemText(CBrightContrastDlg::kWindowName), "window A");
    dialog->ReleaseTarget(&viewer);
    EXPECT_EQ(dialog->GetDlgItemText(CBrightContrastDlg::kWindowName), "None");
    dialog->SliderMoved(CBrightContrastDlg::kContrastSlider, 10);
    EXPECT_TRUE(viewer.events.empty());
    dialog->DestroyWindow();
    delete dialog;
}

}  // namespace
