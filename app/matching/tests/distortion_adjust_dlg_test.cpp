// The distortion adjustment dialog on the headless runtime: its controls, the
// monotonicity bounds of both sliders, when it asks the view for a preview,
// Reset, Apply and closing, and the slider as it is drawn.
#include "app/matching/distortion_adjust_dlg.h"
#include "app/shell/app_resources.h"
#include "app/tests/app_test_fixture.h"
#include "platform/win/controls.h"
#include "platform/win/user_input.h"
#include "platform/win/window_dc.h"

#include <cmath>
#include <limits>
#include <vector>

namespace {

// What the image view is asked; its aspect ratio is the test's choice.
class FakeView : public IDistortionView {
public:
    explicit FakeView(float aspect = 1.1f) : aspect(aspect) {}
    struct Call {
        float a, b;
        bool operator==(const Call& o) const { return a == o.a && b == o.b; }
    };
    void PreviewDistortion(float a, float b) override { previews.push_back({a, b}); }
    void ApplyDistortionToStitching(float a, float b) override { applied.push_back({a, b}); }
    void CloseDistortionDlg(bool dialogClosing) override { closes.push_back(dialogClosing); }
    float GetAspectRatio() override { return aspect; }

    float aspect;
    std::vector<Call> previews, applied;
    std::vector<bool> closes;
};

class DistortionDlgTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        RegisterAppResources();
    }
    void TearDown() override
    {
        for (CDistortionAdjustDlg* d : m_dialogs) {
            if (d->m_hWnd) d->DestroyWindow();
            delete d;
        }
        AppTest::TearDown();
    }

    CDistortionAdjustDlg* Open(FakeView* view)
    {
        auto* dialog = new CDistortionAdjustDlg;
        m_dialogs.push_back(dialog);
        EXPECT_TRUE(dialog->Create(CDistortionAdjustDlg::kTemplateId));
        dialog->ShowWindow(SW_SHOW);
        if (view) dialog->SetView(view);
        return dialog;
    }

    static CSliderCtrl* Slider(CDistortionAdjustDlg* d, UINT id) { return dynamic_cast<CSliderCtrl*>(d->GetDlgItem(id)); }

    // The slider's own notification: a thumb position, then the end of the
    // scroll.
    static void MoveSlider(CDistortionAdjustDlg* d, UINT id, int position, bool end = true)
    {
        CSliderCtrl* slider = Slider(d, id);
        slider->SetPos(position);
        const LPARAM from = reinterpret_cast<LPARAM>(slider->m_hWnd);
        d->SendMessage(WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, static_cast<unsigned>(position) & 0xFFFF), from);
        if (end) d->SendMessage(WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), from);
    }

    static void Press(CDistortionAdjustDlg* d, UINT id) { win::user::ClickControl(d->GetDlgItem(id)); }

    std::vector<CDistortionAdjustDlg*> m_dialogs;
};

TEST_F(DistortionDlgTest, ControlsStartFromTheFields)
{
    FakeView view(1.5f);
    CDistortionAdjustDlg* d = Open(nullptr);
    EXPECT_FLOAT_EQ(d->GetLimitRadius(), 1.1f);
    d->SetView(&view);
    EXPECT_FLOAT_EQ(d->GetLimitRadius(), 3.0f);
    EXPECT_TRUE(d->IsOwner(&view));
    FakeView other(0.5f);
    EXPECT_FALSE(d->IsOwner(&other));
    d->SetView(&other);  // a long side shorter than 1.1 short sides still gives 2.2
    EXPECT_FLOAT_EQ(d->GetLimitRadius(), 2.2f);
    for (UINT id : {CDistortionAdjustDlg::kSliderA, CDistortionAdjustDlg::kSliderB}) {
        int lower = 0, upper = 0;
        Slider(d, id)->GetRange(lower, upper);
        EXPECT_EQ(lower, -100);
        EXPECT_EQ(upper, 100);
        EXPECT_EQ(Slider(d, id)->GetPageSize(), 1);
        EXPECT_EQ(Slider(d, id)->GetPos(), 0);
    }
    EXPECT_EQ(d->GetDlgItemText(CDistortionAdjustDlg::kTextA), "a =  0.00");
    EXPECT_EQ(d->GetDlgItemText(IDOK), "Apply to stitching");
    EXPECT_EQ(d->GetDlgItemText(IDCANCEL), "Reset");
}

TEST_F(DistortionDlgTest, SetCoefficientsReadsTheRecordInReverseAndHoldsItToTheSliders)
{
    struct Case {
        float d, c, b;
        int a, bPos;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {1.0f, 0.1f, -0.05f, 50, -25},  {2.0f, 0.1f, 0.1f, 25, 25},
        {0.0f, 0.1f, 0.1f, 0, 0},       {1.0f, nan, 0.1f, 0, 0},
        {1.0f, 0.5f, -0.9f, 100, -100}, {1e-30f, 1.0f, 1.0f, 100, 100},
    };
    FakeView view;
    CDistortionAdjustDlg* d = Open(&view);
    for (const Case& c : cases) {
        d->SetCoefficients(c.d, c.c, c.b, 123.0f);
        EXPECT_EQ(d->GetPositionA(), c.a) << c.d << " " << c.c;
        EXPECT_EQ(d->GetPositionB(), c.bPos) << c.d << " " << c.b;
        EXPECT_EQ(Slider(d, CDistortionAdjustDlg::kSliderA)->GetPos(), c.a);
        EXPECT_EQ(Slider(d, CDistortionAdjustDlg::kSliderB)->GetPos(), c.bPos);
    }
    // What was set counts as previewed: releasing a slider sends nothing.
    d->SetCoefficients(1.0f, 0.1f, -0.05f, 0.0f);
    MoveSlider(d, CDistortionAdjustDlg::kSliderA, 50);
    EXPECT_TRUE(view.previews.empty());
}

TEST_F(DistortionDlgTest, SlidersAreHeldWhereTheMappingStopsIncreasing)
{
    struct Case {
        float aspect;
        int a, b;      // positions before the move
        UINT slider;
        int moveTo;
        int expected;
    };
    const UINT A = CDistortionAdjustDlg::kSliderA, B = CDistortionAdjustDlg::kSliderB;
    const Case cases[] = {
        {1.1f, 0, 0, A, -100, -100},    // B = 0, L = 2.2: the bound -0.227 lies below the range
        {1.1f, 0, -50, A, -100, 52},    // B = -0.1: pulled up to trunc(51.36) + 1
        {1.1f, 0, -50, A, 30, 52},
        {1.1f, 0, -50, A, 60, 60},
        {1.1f, 50, 0, B, -100, -48},    // A > 0: -(2 A L + 1) / (3 L^2) = -0.0992
        {1.1f, 50, 0, B, -20, -20},
        {3.0f, -100, 50, B, -100, 7},   // -A L = 1.2 > 1: A^2 / 3
        {3.0f, 0, 50, A, -100, -100},   // 3 B > 1 / L^2: -sqrt(3 B) = -0.548
        {3.0f, 0, 0, A, -100, -40},     // -1 / (2 L) = -0.083
    };
    for (const Case& c : cases) {
        FakeView view(c.aspect);
        CDistortionAdjustDlg* d = Open(&view);
        d->SetCoefficients(1.0f, c.a / 500.0f, c.b / 500.0f, 0.0f);
        ASSERT_EQ(d->GetPositionA(), c.a);
        ASSERT_EQ(d->GetPositionB(), c.b);
        MoveSlider(d, c.slider, c.moveTo);
        const int got = c.slider == A ? d->GetPositionA() : d->GetPositionB();
        EXPECT_EQ(got, c.expected) << "aspect " << c.aspect << " move " << c.moveTo;
        EXPECT_EQ(Slider(d, c.slider)->GetPos(), c.expected);
    }
}

TEST_F(DistortionDlgTest, PreviewOnlyAtTheEndOfAScrollThatChangedSomething)
{
    FakeView view;
    CDistortionAdjustDlg* d = Open(&view);
    MoveSlider(d, CDistortionAdjustDlg::kSliderA, 0);  // released where it was
    EXPECT_TRUE(view.previews.empty());
    MoveSlider(d, CDistortionAdjustDlg::kSliderA, 40, false);
    EXPECT_TRUE(view.previews.empty());  // still tracking
    EXPECT_EQ(d->GetDlgItemText(CDistortionAdjustDlg::kTextA), "a =  0.08");
    MoveSlider(d, CDistortionAdjustDlg::kSliderA, 40);
    ASSERT_EQ(view.previews.size(), 1u);
    EXPECT_EQ(view.previews[0], (FakeView::Call{40 / 500.0f, 0.0f}));
    MoveSlider(d, CDistortionAdjustDlg::kSliderA, 40);
    EXPECT_EQ(view.previews.size(), 1u);
    MoveSlider(d, CDistortionAdjustDlg::kSliderB, -10);
    ASSERT_EQ(view.previews.size(), 2u);
    EXPECT_EQ(view.previews[1], (FakeView::Call{40 / 500.0f, -10 / 500.0f}));
    EXPECT_EQ(d->GetDlgItemText(CDistortionAdjustDlg::kTextB), "b = -0.02");

    // Scroll messages of other windows are ignored.
    CSliderCtrl stranger;
    ASSERT_TRUE(stranger.Create(WS_CHILD, RECT{0, 0, 100, 20}, d, 1300));
    stranger.SetPos(0);
    d->SendMessage(WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(stranger.m_hWnd));
    EXPECT_EQ(d->GetPositionA(), 40);
    EXPECT_EQ(view.previews.size(), 2u);
}

TEST_F(DistortionDlgTest, ResetZeroesThePositionsAndRedrawsOnlyAfterAPreview)
{
    FakeView view;
    CDistortionAdjustDlg* d = Open(&view);
    MoveSlider(d, CDistortionAdjustDlg::kSliderA, 30, false);
    Press(d, IDCANCEL);
    EXPECT_EQ(d->GetPositionA(), 0);
    EXPECT_EQ(Slider(d, CDistortionAdjustDlg::kSliderA)->GetPos(), 0);
    EXPECT_TRUE(view.previews.empty());  // nothing had been previewed
    EXPECT_TRUE(d->IsWindowVisible());

    MoveSlider(d, CDistortionAdjustDlg::kSliderB, 20);
    ASSERT_EQ(view.previews.size(), 1u);
    win::user::PressKey(VK_ESCAPE);  // Escape is Reset
    EXPECT_EQ(d->GetPositionB(), 0);
    ASSERT_EQ(view.previews.size(), 2u);
    EXPECT_EQ(view.previews[1], (FakeView::Call{0.0f, 0.0f}));
    EXPECT_TRUE(::IsWindow(d->m_hWnd));
    EXPECT_TRUE(view.applied.empty());
    EXPECT_TRUE(view.closes.empty());
}

TEST_F(DistortionDlgTest, ApplyHandsTheValuesOverAndCloses)
{
    FakeView view;
    CDistortionAdjustDlg* d = Open(&view);
    MoveSlider(d, CDistortionAdjustDlg::kSliderA, 35);
    MoveSlider(d, CDistortionAdjustDlg::kSliderB, -15);
    Press(d, IDOK);
    ASSERT_EQ(view.applied.size(), 1u);
    EXPECT_EQ(view.applied[0], (FakeView::Call{35 / 500.0f, -15 / 500.0f}));
    EXPECT_EQ(view.closes, std::vector<bool>{true});
    EXPECT_FALSE(d->m_hWnd && ::IsWindow(d->m_hWnd));

    // Closing the window: the view forgets the dialog; nothing is reset.
    FakeView second;
    CDistortionAdjustDlg* e = Open(&second);
    MoveSlider(e, CDistortionAdjustDlg::kSliderA, 12);
    e->SendMessage(WM_CLOSE);
    EXPECT_EQ(second.closes, std::vector<bool>{true});
    EXPECT_EQ(second.previews.size(), 1u);
    EXPECT_EQ(e->GetPositionA(), 12);
    EXPECT_FALSE(e->m_hWnd && ::IsWindow(e->m_hWnd));

    // Without a view the buttons only close (Apply) or do nothing (Reset).
    CDistortionAdjustDlg* lone = Open(nullptr);
    MoveSlider(lone, CDistortionAdjustDlg::kSliderA, 20);
    Press(lone, IDCANCEL);
    EXPECT_EQ(lone->GetPositionA(), 20);
    Press(lone, IDOK);
    EXPECT_FALSE(lone->m_hWnd && ::IsWindow(lone->m_hWnd));
}

// On the dialog's surface: the slider pulled to 52 by the bound looks like a
// slider set to 52, not like one left at the user's -100.
TEST_F(DistortionDlgTest, ThePulledSliderIsDrawnAtItsBound)
{
    FakeView view(1.1f);
    CDistortionAdjustDlg* pulled = Open(&view);
    pulled->SetCoefficients(1.0f, 0.0f, -0.1f, 0.0f);
    win::user::DragSliderTo(Slider(pulled, CDistortionAdjustDlg::kSliderA)->m_hWnd, -100);
    EXPECT_EQ(pulled->GetPositionA(), 52);
    EXPECT_EQ(pulled->GetDlgItemText(CDistortionAdjustDlg::kTextA), "a =  0.10");
    ASSERT_FALSE(view.previews.empty());
    EXPECT_EQ(view.previews.back(), (FakeView::Call{52 / 500.0f, -50 / 500.0f}));

    FakeView other(1.1f);
    CDistortionAdjustDlg* direct = Open(&other);
    direct->SetCoefficients(1.0f, 52 / 500.0f, -0.1f, 0.0f);
    CDistortionAdjustDlg* left = Open(&other);
    left->SetCoefficients(1.0f, -100 / 500.0f, -0.1f, 0.0f);

    win::PumpPendingMessages();
    auto picture = [&](CDistortionAdjustDlg* d) {
        return RefPtr<Image>::adopt(win::CaptureWindow(Slider(d, CDistortionAdjustDlg::kSliderA)->m_hWnd));
    };
    auto a = picture(pulled), b = picture(direct), c = picture(left);
    ASSERT_TRUE(a && b && c);
    EXPECT_TRUE(testkit::SamePixels(*a, *b));
    EXPECT_FALSE(testkit::SamePixels(*a, *c));
}

TEST_F(DistortionDlgTest, OneApplicationWideDialog)
{
    EXPECT_EQ(GetDistortionAdjustDlg(), nullptr);
    CDistortionAdjustDlg* d = Open(nullptr);
    SetDistortionAdjustDlg(d);
    EXPECT_EQ(GetDistortionAdjustDlg(), d);
    SetDistortionAdjustDlg(nullptr);
}

}  // namespace
