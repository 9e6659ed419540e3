// The overlap dialog and its preview strip: pair lists, the slider, the
// focal-length choice, the row layout, drags with their limits and overlap
// bookkeeping, a frame without a stamp, and the composite's pixels.
#include "app/control/image_chain.h"
#include "app/pairview/pair_overlap_dlg.h"
#include "app/tests/app_test_fixture.h"
#include "imaging/image.h"
#include "platform/mapproj/one_img_rs.h"
#include "platform/win/controls.h"
#include "platform/win/window_dc.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>

namespace {

// A stamp whose pixels tell the frames apart (no 0 samples: all are data).
Image* Stamp(int w, int h, int seed)
{
    auto* image = new Image(w, h, 3);
    image->BmpInit();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                image->GetData()[static_cast<size_t>(y) * image->GetRowByte() + x * 3 + c] =
                    static_cast<unsigned char>(20 + (seed * 50 + x + 3 * y + 60 * c) % 200);
    return image;
}

class OverlapDialogTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        m_savedDefault = *Neighbor::GetPairAlignInitSetting();
    }
    void TearDown() override
    {
        if (m_dialog) {
            if (m_dialog->GetSafeHwnd()) m_dialog->DestroyWindow();
            delete m_dialog;
        }
        *Neighbor::GetPairAlignInitSetting() = m_savedDefault;
        AppTest::TearDown();
    }
    // n frames with w x h stamps in the tray (frame `noStamp` without one).
    bool AddFrames(int n, int w, int h, int noStamp = -1)
    {
        if (!Start()) return false;
        for (int i = 0; i < n; ++i) {
            const std::string name = "/p/" + std::to_string(i) + ".jpg";
            Manager().AddImageFrame(Stamp(w, h, i), name.c_str(), nullptr);
            ImageFrame* frame = Manager().FindImageFrame(name.c_str());
            if (!frame) return false;
            if (i == noStamp) frame->SetStampImage(nullptr);
            m_frames.push_back(frame);
        }
        return Manager().GetChain()->GetCount() == n;
    }
    CPairOverlapDlg* Open()
    {
        m_dialog = new CPairOverlapDlg(&Main());
        if (!m_dialog->Create(CPairOverlapDlg::kTemplateId, &Main())) {
            m_dialog = nullptr;  // a failed window deletes its object
            return nullptr;
        }
        return m_dialog;
    }
    CComboBox* Combo(UINT id) { return dynamic_cast<CComboBox*>(m_dialog->GetDlgItem(id)); }
    std::vector<std::string> Entries(UINT id)
    {
        std::vector<std::string> out;
        CComboBox* combo = Combo(id);
        for (int i = 0; combo && i < combo->GetCount(); ++i) {
            std::string text;
            combo->GetLBText(i, text);
            out.push_back(text);
        }
        return out;
    }
    // Press on frame `index` of the preview and drag it by (dx, dy).
    void Drag(int index, int dx, int dy)
    {
        COverlapPreviewWnd* preview = m_dialog->GetPreview();
        const RECT r = preview->FrameRect(index);
        RECT client{};
        preview->GetClientRect(&client);
        const int width = preview->GetComposite()->GetWidth();
        const int left = width <= client.right ? (client.right - width) / 2 : 0;
        // Near the left edge: the part of the frame that the next one
        // does not cover (the loop copy is the last one anyway).
        const int x = left + r.left + 5, y = r.top + 10;
        preview->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKEPOINTLPARAM(x, y));
        preview->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKEPOINTLPARAM(x + dx, y + dy));
        preview->SendMessage(WM_LBUTTONUP, 0, MAKEPOINTLPARAM(x + dx, y + dy));
    }
    CPairOverlapDlg* m_dialog = nullptr;
    std::vector<ImageFrame*> m_frames;
    PAIR_ALIGN_INIT_SETTING m_savedDefault{};
};

TEST_F(OverlapDialogTest, PairListsForOpenAndClosedChains)
{
    ASSERT_TRUE(AddFrames(3, 120, 90));
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(Entries(CPairOverlapDlg::kPairList), (std::vector<std::string>{" 1 & 2", " 2 & 3"}));
    EXPECT_EQ(Entries(CPairOverlapDlg::kFocalCombo), (std::vector<std::string>{"18", "24", "35", "38", "  "}));
    EXPECT_EQ(Combo(CPairOverlapDlg::kFocalCombo)->GetCurSel(), 2);  // 35 mm
    EXPECT_TRUE(m_dialog->IsAllPairs());
    EXPECT_FALSE(Combo(CPairOverlapDlg::kPairList)->IsWindowEnabled());
    Manager().GetChain()->SetLoop(true);
    ASSERT_TRUE(m_dialog->FillPairList());
    EXPECT_EQ(Entries(CPairOverlapDlg::kPairList), (std::vector<std::string>{" 1 & 2", " 2 & 3", " 3 & 1"}));
    // The loop copy of the first frame follows the last.
    const RECT last = m_dialog->GetPreview()->FrameRect(2);
    EXPECT_EQ(m_dialog->GetPreview()->FrameRect(3).left, last.left + static_cast<int>(120 * 0.6f));
}

TEST_F(OverlapDialogTest, FewerThanTwoFramesRefuse)
{
    ASSERT_TRUE(AddFrames(1, 120, 90));
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(m_dialog->GetFrameCount(), 0);
    EXPECT_EQ(m_dialog->GetPreview(), nullptr);
    EXPECT_TRUE(Entries(CPairOverlapDlg::kPairList).empty());
    EXPECT_FALSE(m_dialog->FillPairList());
    // Through the manager no dialog comes up.
    EXPECT_FALSE(Manager().ToggleOverlapDialog());
    EXPECT_FALSE(Manager().IsOverlapDialogOpen());
}

TEST_F(OverlapDialogTest, SliderInAllPairsSetsTheDefaultAndLaysOutAgain)
{
    ASSERT_TRUE(AddFrames(3, 200, 150));
    ASSERT_NE(Open(), nullptr);
    COverlapPreviewWnd* preview = m_dialog->GetPreview();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->FrameRect(1).left, 120);  // 0.4 of 200 covered
    auto* slider = dynamic_cast<CSliderCtrl*>(m_dialog->GetDlgItem(CPairOverlapDlg::kSlider));
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->GetPos(), 40);
    slider->SetPos(25);
    m_dialog->SendMessage(WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider->GetSafeHwnd()));
    EXPECT_FLOAT_EQ(Neighbor::GetPairAlignInitSetting()->overlapH, 0.25f);
    EXPECT_EQ(preview->FrameRect(1).left, 150);
    EXPECT_EQ(preview->FrameRect(2).left, 300);
    EXPECT_EQ(m_dialog->GetDlgItemText(CPairOverlapDlg::kSliderValue), "25");
    // One pair: only that pair changes.
    m_dialog->SelectPair(1);
    EXPECT_FALSE(m_dialog->IsAllPairs());
    slider->SetPos(50);
    m_dialog->SendMessage(WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider->GetSafeHwnd()));
    EXPECT_FLOAT_EQ(Neighbor::GetPairAlignInitSetting()->overlapH, 0.25f);
    EXPECT_EQ(preview->FrameRect(1).left, 150);
    EXPECT_EQ(preview->FrameRect(2).left, 250);
}

TEST_F(OverlapDialogTest, DragLimitsAndTheOverlapOfTheDraggedPairOnly)
{
    ASSERT_TRUE(AddFrames(5, 400, 300));
    ASSERT_NE(Open(), nullptr);
    COverlapPreviewWnd* preview = m_dialog->GetPreview();
    // Image 2 dragged far left stops 60 px (0.15) right of image 1.
    Drag(1, -1000, 0);
    EXPECT_EQ(preview->FrameRect(1).left, 60);
    // Far right: left of 360 (0.9).
    Drag(1, 1000, 0);
    EXPECT_EQ(preview->FrameRect(1).left, 359);
    // Vertically within 0.15 of the height.
    Drag(1, 0, 500);
    EXPECT_EQ(preview->FrameRect(1).top, 45);
    Drag(1, -199, -45);  // back to 160, 0
    ASSERT_EQ(preview->FrameRect(1).left, 160);
    ASSERT_EQ(preview->FrameRect(1).top, 0);

    float before[4][2];
    for (int i = 0; i < 4; ++i) Manager().GetPairOverlap(i, &before[i][0], &before[i][1]);
    RECT old[5];
    for (int i = 0; i < 5; ++i) old[i] = preview->FrameRect(i);
    // Image 3 of 5 moves 30 left: 3, 4 and 5 move; only pair 2 & 3 changes.
    Drag(2, -30, 12);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(preview->FrameRect(i).left, old[i].left + (i >= 2 ? -30 : 0)) << i;
        EXPECT_EQ(preview->FrameRect(i).top, old[i].top + (i >= 2 ? 12 : 0)) << i;
    }
    for (int i = 0; i < 4; ++i) {
        float h = 0, v = 0;
        Manager().GetPairOverlap(i, &h, &v);
        if (i == 1) {
            EXPECT_NEAR(h, (old[1].right - (old[2].left - 30)) / 400.0f, 1e-6) << i;
            EXPECT_NEAR(v, 12.0f / 300.0f, 1e-6);
        } else {
            EXPECT_FLOAT_EQ(h, before[i][0]) << i;
        }
    }
    EXPECT_EQ(preview->GetCurrentPair(), 2);
    EXPECT_FALSE(m_dialog->IsAllPairs());
    EXPECT_EQ(Combo(CPairOverlapDlg::kPairList)->GetCurSel(), 1);
}

TEST_F(OverlapDialogTest, LoopPairDragCorrectsTheLastLink)
{
    ASSERT_TRUE(AddFrames(3, 200, 150));
    Manager().GetChain()->SetLoop(true);
    ASSERT_NE(Open(), nullptr);
    COverlapPreviewWnd* preview = m_dialog->GetPreview();
    Neighbor* link = m_frames[2]->FindNeighbor(m_frames[0]);
    if (!link) link = m_frames[2]->AddNeighbor(m_frames[0]);
    const float h0 = link->GetOverlapH(), v0 = link->GetOverlapV();
    const RECT before = preview->FrameRect(3);
    Drag(3, 20, 10);
    EXPECT_EQ(preview->FrameRect(3).left, before.left + 20);
    EXPECT_NEAR(link->GetOverlapH(), h0 - 20.0f / 200.0f, 1e-6);
    EXPECT_NEAR(link->GetOverlapV(), v0 + 10.0f / 150.0f, 1e-6);
}

TEST_F(OverlapDialogTest, TypedFocalLengthIsAppliedOrRefused)
{
    ASSERT_TRUE(AddFrames(2, 120, 90));
    ASSERT_NE(Open(), nullptr);
    Image* warped = m_frames[0]->GetWarpedBmp();
    ASSERT_NE(warped, nullptr);
    RefAdd(warped);
    CComboBox* combo = Combo(CPairOverlapDlg::kFocalCombo);
    combo->SetFocus();
    combo->SetWindowText("50");
    m_dialog->SendMessage(WM_COMMAND, IDOK, 0);
    EXPECT_FLOAT_EQ(Manager().GetStitchSettings()->focalLength, 50.0f);
    EXPECT_NE(m_frames[0]->GetWarpedBmp(), warped);  // rebuilt for 50 mm
    EXPECT_TRUE(m_dialog->GetSafeHwnd() != nullptr);  // Enter does not close
    EXPECT_EQ(Entries(CPairOverlapDlg::kFocalCombo)[4], "50");
    RefRelease(warped);

    Prompter().ExpectMessageBox("Select focal length between 10 and 100 please.", IDOK);
    combo->SetFocus();
    combo->SetWindowText("5");
    m_dialog->SendMessage(WM_COMMAND, IDOK, 0);
    EXPECT_FLOAT_EQ(Manager().GetStitchSettings()->focalLength, 50.0f);
    EXPECT_EQ(Entries(CPairOverlapDlg::kFocalCombo)[4], "50");
    // A choice from the list applies at once.
    combo->SetCurSel(0);
    m_dialog->SendMessage(WM_COMMAND, MAKEWPARAM(CPairOverlapDlg::kFocalCombo, CBN_SELCHANGE),
                          reinterpret_cast<LPARAM>(combo->GetSafeHwnd()));
    EXPECT_FLOAT_EQ(Manager().GetStitchSettings()->focalLength, 18.0f);
}

// A row wider than the screen: the preview's scroll bar and the dialog's own
// bar move the offset, and the painted strip moves with it.
TEST_F(OverlapDialogTest, ScrollingMovesThePaintedStrip)
{
    ASSERT_TRUE(AddFrames(20, 400, 300));
    ASSERT_NE(Open(), nullptr);
    COverlapPreviewWnd* preview = m_dialog->GetPreview();
    ASSERT_NE(preview->GetComposite(), nullptr);
    RECT client{};
    preview->GetClientRect(&client);
    const int width = preview->GetComposite()->GetWidth();
    ASSERT_GT(width, 2 * client.right + 400) << "the row must not fit twice over";
    const int most = width - client.right;
    EXPECT_EQ(preview->MaxScrollOffset(), most);
    win::PaintAll();
    int low = -1, high = -1;
    preview->GetScrollRange(SB_HORZ, &low, &high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, width - 1);
    EXPECT_EQ(preview->GetScrollLimit(SB_HORZ), most) << "the last position shows the composite's end";

    Image* still = win::CaptureWindow(preview->m_hWnd);
    ASSERT_NE(still, nullptr);
    struct Step {
        UINT code;
        int thumb;
        int expected;
    };
    const Step steps[] = {
        {SB_LINERIGHT, 0, 16},       {SB_PAGERIGHT, 0, 16 + client.right}, {SB_LINELEFT, 0, client.right},
        {SB_THUMBTRACK, 250, 250},   {SB_RIGHT, 0, most},                  {SB_LINERIGHT, 0, most},
        {SB_PAGELEFT, 0, most - client.right}, {SB_LEFT, 0, 0},            {SB_LINELEFT, 0, 0},
        {SB_THUMBPOSITION, 60000, most},
    };
    for (const Step& step : steps) {
        preview->SendMessage(WM_HSCROLL, MAKEWPARAM(step.code, step.thumb), 0);
        EXPECT_EQ(preview->GetScrollOffset(), step.expected) << step.code;
        EXPECT_EQ(preview->GetScrollPos(SB_HORZ), step.expected) << step.code;
    }

    // Painted at offset s, column x shows what column x + s showed at 0.
    preview->SetScrollOffset(0);
    win::PaintAll();
    ReleaseImage(still);
    still = win::CaptureWindow(preview->m_hWnd);
    ASSERT_NE(still, nullptr);
    auto shiftedBy = [&](int s) -> int {
        preview->SetScrollOffset(s);
        win::PaintAll();
        Image* moved = win::CaptureWindow(preview->m_hWnd);
        if (!moved) return -1;
        int differing = 0;
        // Rows below the drop-down lists' boxes, which reach over the strip's
        // top on the shared surface, and above the bottom corner marks.
        for (int y = 60; y < std::min({270, still->GetHeight(), moved->GetHeight()}); y += 3)
            for (int x = 0; x + s < client.right; x += 3)
                for (int c = 0; c < 3; ++c)
                    differing += moved->GetData()[static_cast<size_t>(y) * moved->GetRowByte() + x * 3 + c] !=
                                 still->GetData()[static_cast<size_t>(y) * still->GetRowByte() + (x + s) * 3 + c];
        ReleaseImage(moved);
        return differing;
    };
    EXPECT_EQ(shiftedBy(0), 0);
    EXPECT_EQ(shiftedBy(130), 0);
    EXPECT_EQ(shiftedBy(401), 0);

    // A press lands on the frame painted under it: client x 20 at offset s
    // is composite x 20 + s, where image 3 lies on top, whose drag selects pair 2 & 3
    // (unscrolled, x 20 is on image 1, which starts no drag).
    const int onThird = preview->FrameRect(2).left + 40;
    ASSERT_LT(onThird, preview->FrameRect(3).left);
    ASSERT_EQ(preview->GetCurrentPair(), 1);
    preview->SetScrollOffset(onThird - 20);
    preview->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKEPOINTLPARAM(20, 10));
    preview->SendMessage(WM_LBUTTONUP, 0, MAKEPOINTLPARAM(20, 10));
    EXPECT_EQ(preview->GetCurrentPair(), 2);

    // The dialog's own bar: a line is 1, a page a tenth of its range, and
    // the position is handed to the preview.
    m_dialog->SetScrollRange(SB_HORZ, 0, 1000);
    m_dialog->SetScrollPos(SB_HORZ, 0);
    m_dialog->SendMessage(WM_HSCROLL, MAKEWPARAM(SB_PAGERIGHT, 0), 0);
    EXPECT_EQ(m_dialog->GetScrollPos(SB_HORZ), 100);
    EXPECT_EQ(preview->GetScrollOffset(), 100);
    m_dialog->SendMessage(WM_HSCROLL, MAKEWPARAM(SB_LINERIGHT, 0), 0);
    EXPECT_EQ(preview->GetScrollOffset(), 101);
    m_dialog->SendMessage(WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 640), 0);
    EXPECT_EQ(preview->GetScrollOffset(), std::min(640, most));
    // The slider's own messages leave the offset alone.
    m_dialog->GetDlgItem(CPairOverlapDlg::kSlider)->SendMessage(TBM_SETPOS, TRUE, 30);
    m_dialog->SendMessage(WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
                          reinterpret_cast<LPARAM>(m_dialog->GetDlgItem(CPairOverlapDlg::kSlider)->m_hWnd));
    EXPECT_EQ(preview->GetScrollOffset(), std::min(640, preview->MaxScrollOffset()));
    ReleaseImage(still);
}

TEST_F(OverlapDialogTest, FrameWithoutAStampKeepsTheDefaultPlace)
{
    ASSERT_TRUE(AddFrames(3, 200, 150, 1));
    ASSERT_EQ(m_frames[1]->GetStampBmp(), nullptr);
    ASSERT_NE(Open(), nullptr);
    COverlapPreviewWnd* preview = m_dialog->GetPreview();
    const int nominal = Manager().GetStampSize();
    ASSERT_GT(nominal, 0);
    EXPECT_EQ(m_frames[1]->GetWarpedBmp(), nullptr);
    EXPECT_EQ(preview->FrameRect(1).left, 120);
    EXPECT_EQ(preview->FrameRect(1).right - preview->FrameRect(1).left, nominal);
    EXPECT_EQ(preview->FrameRect(2).left, 120 + static_cast<int>(nominal * 0.6f));
    ASSERT_NE(preview->GetComposite(), nullptr);
    win::PaintAll();
}

// Current pair only: the others at 0.25, the pair (right over left) at 0.75,
// as a reference blend of the warped stamps computes it.
TEST_F(OverlapDialogTest, CurrentPairCompositeEqualsTheReferenceBlend)
{
    ASSERT_TRUE(AddFrames(3, 160, 120));
    ASSERT_NE(Open(), nullptr);
    COverlapPreviewWnd* preview = m_dialog->GetPreview();
    preview->SendMessage(WM_COMMAND, COverlapPreviewWnd::kShowCurrentPair, 0);
    ASSERT_TRUE(preview->IsCurrentPairOnly());
    ASSERT_EQ(preview->GetCurrentPair(), 1);
    Image* composite = preview->GetComposite();
    ASSERT_NE(composite, nullptr);
    const int W = composite->GetWidth(), H = composite->GetHeight();
    EXPECT_EQ(W, 96 * 2 + 160);
    int worst = 0;
    std::vector<unsigned char> reference(static_cast<size_t>(W) * H * 3), drawn(reference.size());
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            for (int c = 0; c < 3; ++c) {
                auto sample = [&](int i) -> int {
                    const RECT r = preview->FrameRect(i);
                    Image* w = m_frames[i]->GetWarpedBmp();
                    if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) return -1;
                    const unsigned char* p = w->GetData() + static_cast<size_t>(y - r.top) * w->GetRowByte() +
                                             static_cast<size_t>(x - r.left) * 3;
                    return p[0] == 0 ? -1 : p[c];  // a first sample of 0 is no data
                };
                double value = 0;
                // Frame 3 (not in the pair) at 0.25 over black.
                if (sample(2) >= 0) value = 0.25 * sample(2);
                // The pair: frame 2 over frame 1, laid on at 0.75.
                const int pair = sample(1) >= 0 ? sample(1) : sample(0);
                if (pair >= 0) value = 0.75 * pair + 0.25 * value;
                const int got = composite->GetData()[static_cast<size_t>(y) * composite->GetRowByte() + x * 3 + c];
                worst = std::max(worst, std::abs(got - static_cast<int>(std::lround(value))));
                reference[(static_cast<size_t>(y) * W + x) * 3 + c] = static_cast<unsigned char>(std::lround(value));
                drawn[(static_cast<size_t>(y) * W + x) * 3 + c] = static_cast<unsigned char>(got);
            }
    EXPECT_LE(worst, 1);
    // ImageMagick's compare: no pixel differs by more than one level.
    auto writePpm = [&](const std::string& path, const std::vector<unsigned char>& rgb) {
        std::ofstream out(path, std::ios::binary);
        out << "P6\n" << W << " " << H << "\n255\n";
        out.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    };
    const std::string a = Home().file("reference.ppm"), b = Home().file("composite.ppm");
    writePpm(a, reference);
    writePpm(b, drawn);
    const std::string command = "compare -metric AE -fuzz 0.5% " + a + " " + b + " null: 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char answer[128] = {};
    const size_t read = std::fread(answer, 1, sizeof answer - 1, pipe);
    const int status = pclose(pipe);
    ASSERT_GT(read, 0u) << "ImageMagick compare gave nothing (is it installed?)";
    ASSERT_NE(status, -1);
    EXPECT_EQ(std::string(answer).substr(0, 1), "0") << answer;
}

TEST(OneImgRS, WarpBendsColumnsOntoTheCylinder)
{
    auto* image = new Image(200, 100, 3);
    image->BmpInit();
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            for (int c = 0; c < 3; ++c) image->GetData()[static_cast<size_t>(y) * image->GetRowByte() + x * 3 + c] = 100;
    Image* warped = COneImgRS::ImgToImgWM(image, 18.0f, 0, 0, 0, 1.0f);
    ASSERT_NE(warped, nullptr);
    EXPECT_EQ(warped->GetWidth(), 200);
    // 18 mm over 36 mm: f = 100 px. The centre keeps its pixel; the corners,
    // whose cylinder rays leave the photograph, stay empty.
    auto at = [&](int x, int y) { return warped->GetData()[static_cast<size_t>(y) * warped->GetRowByte() + x * 3]; };
    EXPECT_EQ(at(100, 50), 100);
    EXPECT_EQ(at(0, 0), 0);
    // Row 0 at column u shows the image row f h / cos(theta): empty once
    // that leaves the photograph (|theta| > acos(49.5 / 50)).
    const double limit = std::acos(49.5 / 50.0) * 100.0;
    EXPECT_EQ(at(static_cast<int>(100 + limit) + 2, 0), 0);
    EXPECT_EQ(at(100, 0), 100);
    EXPECT_EQ(COneImgRS::ImgToImgWM(nullptr, 35.0f, 0, 0, 0, 1.0f), nullptr);
    EXPECT_EQ(COneImgRS::ImgToImgWM(image, 0.0f, 0, 0, 0, 1.0f), nullptr);
    ReleaseImage(warped);
    ReleaseImage(image);
}

}  // namespace
