// The "Select image size" dialog: the size it shows for a zoom, the zoom a
// typed width or height gives (with the one-pixel and out-of-range sides),
// what its owner hears from the slider, Reset, OK and closing, and the
// slider drawn on the headless surface.
#include "app/tests/app_test_fixture.h"
#include "app/views/image_size_dlg.h"
#include "imaging/image.h"
#include "platform/win/controls.h"
#include "platform/win/window_dc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

class ImageSizeDlgTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(Start());
    }
    void TearDown() override
    {
        if (m_dialog) {
            m_dialog->SetCallback(nullptr);
            m_dialog->DestroyWindow();
            delete m_dialog;
        }
        AppTest::TearDown();
    }
    // A dialog as an owner opens it: Init, then the window.
    CImageSizeDlg& Open(float zoom, int width, int height)
    {
        m_dialog = new CImageSizeDlg();
        m_dialog->SetCallback([this](int code, float z) { m_heard.emplace_back(code, z); });
        m_dialog->Init(zoom, width, height, &Main(), CImageSizeDlg::kImageView);
        EXPECT_TRUE(m_dialog->Create(CImageSizeDlg::kTemplateId, &Main()));
        return *m_dialog;
    }
    std::string Text(UINT id) const { return m_dialog->GetDlgItemText(static_cast<int>(id)); }
    CSliderCtrl* Slider() const { return dynamic_cast<CSliderCtrl*>(m_dialog->GetDlgItem(CImageSizeDlg::kSlider)); }
    // The user types into an edit and leaves it.
    void Type(UINT id, const char* text)
    {
        m_dialog->SetDlgItemText(static_cast<int>(id), text);
        m_dialog->SendMessage(WM_COMMAND, MAKEWPARAM(id, EN_KILLFOCUS),
                              reinterpret_cast<LPARAM>(m_dialog->GetDlgItem(id)->GetSafeHwnd()));
    }
    // The user drags the slider to `pos`: track codes on the way, the end code last.
    void Drag(int pos)
    {
        CSliderCtrl* slider = Slider();
        slider->SetPos(pos);
        const LPARAM from = reinterpret_cast<LPARAM>(slider->GetSafeHwnd());
        m_dialog->SendMessage(WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, pos), from);
        m_dialog->SendMessage(WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), from);
    }

    CImageSizeDlg* m_dialog = nullptr;
    std::vector<std::pair<int, float>> m_heard;
};

TEST_F(ImageSizeDlgTest, InitShowsTheSizeAtTheZoomAndPlacesTheSlider)
{
    CImageSizeDlg& dialog = Open(0.5f, 1001, 801);
    EXPECT_EQ(Text(CImageSizeDlg::kWidthEdit), "501");
    EXPECT_EQ(Text(CImageSizeDlg::kHeightEdit), "401");
    EXPECT_EQ(std::atof(Text(CImageSizeDlg::kZoomEdit).c_str()), 0.5);
    CSliderCtrl* slider = Slider();
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->GetPos(), 50);
    EXPECT_EQ(slider->GetRangeMin(), 10);
    EXPECT_EQ(slider->GetRangeMax(), 200);
    EXPECT_EQ(slider->GetPageSize(), 1);
    std::vector<int> tics;
    for (int i = 0; i < slider->GetNumTics(); ++i) tics.push_back(slider->GetTic(i));
    EXPECT_EQ(tics, (std::vector<int>{10, 50, 57, 67, 80, 100, 125, 150, 175, 200}));
    int w = 0, h = 0;
    dialog.GetSourceSize(w, h);
    EXPECT_EQ(w, 1001);
    EXPECT_EQ(h, 801);
    EXPECT_TRUE(m_heard.empty());
}

TEST(ImageSizeShownSide, TruncatesTheScaledSpan)
{
    struct Case {
        int source;
        float zoom;
        int shown;
    };
    const Case cases[] = {{1001, 0.5f, 501}, {801, 0.5f, 401}, {1000, 0.5f, 500}, {1001, 0.500001f, 501},
                          {100, 0.1f, 10},   {1, 2.0f, 1},     {4000, 0.37f, 1480}, {1000, 2.0f, 1999}};
    for (const Case& c : cases) EXPECT_EQ(CImageSizeDlg::ShownSide(c.source, c.zoom), c.shown) << c.source << " " << c.zoom;
}

TEST_F(ImageSizeDlgTest, TypedSideGivesTheZoomThatShowsIt)
{
    struct Case {
        int sourceWidth, sourceHeight;
        UINT edit;
        const char* typed;
        float zoom;  // after the edit
        int width, height;
        bool notified;
    };
    // The dialog opens at zoom 1.0.
    const Case cases[] = {
        {1001, 801, CImageSizeDlg::kWidthEdit, "501", 0.500001f, 501, 401, true},
        {1001, 801, CImageSizeDlg::kHeightEdit, "201", 0.250001f, 251, 201, true},
        {1001, 801, CImageSizeDlg::kWidthEdit, "0", 0.1f, 101, 81, true},       // clamped, never 0 or below
        {1001, 801, CImageSizeDlg::kWidthEdit, "-40", 0.1f, 101, 81, true},
        {1001, 801, CImageSizeDlg::kHeightEdit, "9000", 2.0f, 2001, 1601, true},  // clamped at 2.0
        {1, 801, CImageSizeDlg::kWidthEdit, "7", 1.0f, 1, 801, false},          // one pixel: zoom kept
        {1001, 1, CImageSizeDlg::kHeightEdit, "9", 1.0f, 1001, 1, false},
        {1001, 801, CImageSizeDlg::kWidthEdit, "1001", 1.0f, 1001, 801, false},  // unchanged
    };
    for (const Case& c : cases) {
        if (m_dialog) {
            m_dialog->DestroyWindow();
            delete m_dialog;
        }
        m_heard.clear();
        CImageSizeDlg& dialog = Open(1.0f, c.sourceWidth, c.sourceHeight);
        Type(c.edit, c.typed);
        SCOPED_TRACE(std::string(c.typed) + " into " + std::to_string(c.edit));
        EXPECT_NEAR(dialog.GetZoom(), c.zoom, 1e-7);
        EXPECT_EQ(dialog.GetShownWidth(), c.width);
        EXPECT_EQ(dialog.GetShownHeight(), c.height);
        EXPECT_EQ(Text(CImageSizeDlg::kWidthEdit), std::to_string(c.width));
        EXPECT_EQ(Text(CImageSizeDlg::kHeightEdit), std::to_string(c.height));
        EXPECT_EQ(Slider()->GetPos(), static_cast<int>(c.zoom * 100.0f + 0.5f));
        if (c.notified) {
            ASSERT_EQ(m_heard.size(), 1u);
            EXPECT_EQ(m_heard[0].first, CImageSizeDlg::kZoomChanged);
            EXPECT_NEAR(m_heard[0].second, c.zoom, 1e-7);
        } else {
            EXPECT_TRUE(m_heard.empty());
        }
    }
}

TEST_F(ImageSizeDlgTest, ZoomEditTakesRealChangesInRange)
{
    CImageSizeDlg& dialog = Open(0.5f, 1001, 801);
    Type(CImageSizeDlg::kZoomEdit, "0.5000004");  // within a millionth: nothing
    EXPECT_TRUE(m_heard.empty());
    Type(CImageSizeDlg::kZoomEdit, "0.75");
    EXPECT_EQ(dialog.GetShownWidth(), 751);
    EXPECT_EQ(dialog.GetShownHeight(), 601);
    EXPECT_EQ(Slider()->GetPos(), 75);
    ASSERT_EQ(m_heard.size(), 1u);
    EXPECT_EQ(m_heard[0], std::make_pair(CImageSizeDlg::kZoomChanged, 0.75f));
    // Out of range: the data exchange refuses it and the zoom stays.
    Prompter().ExpectMessageBoxPrefix("", IDOK);
    Type(CImageSizeDlg::kZoomEdit, "2.5");
    EXPECT_EQ(dialog.GetZoom(), 0.75f);
    EXPECT_EQ(m_heard.size(), 1u);
}

TEST_F(ImageSizeDlgTest, SliderSendsTheZoomOnlyAtTheEndOfADrag)
{
    CImageSizeDlg& dialog = Open(0.5f, 1001, 801);
    CSliderCtrl* slider = Slider();
    slider->SetPos(80);
    m_dialog->SendMessage(WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 80), reinterpret_cast<LPARAM>(slider->GetSafeHwnd()));
    // While dragging the dialog follows but the owner hears nothing.
    EXPECT_EQ(dialog.GetZoom(), 0.8f);
    EXPECT_EQ(Text(CImageSizeDlg::kWidthEdit), "801");
    EXPECT_EQ(Text(CImageSizeDlg::kHeightEdit), "641");
    EXPECT_TRUE(m_heard.empty());
    m_dialog->SendMessage(WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider->GetSafeHwnd()));
    ASSERT_EQ(m_heard.size(), 1u);
    EXPECT_EQ(m_heard[0], std::make_pair(CImageSizeDlg::kZoomChanged, 0.8f));
}

TEST_F(ImageSizeDlgTest, ResetReturnsToTheInitialZoomOnce)
{
    CImageSizeDlg& dialog = Open(0.5f, 1001, 801);
    Drag(125);
    ASSERT_EQ(m_heard.size(), 1u);
    m_dialog->SendMessage(WM_COMMAND, MAKEWPARAM(CImageSizeDlg::kResetButton, BN_CLICKED),
                          reinterpret_cast<LPARAM>(m_dialog->GetDlgItem(CImageSizeDlg::kResetButton)->GetSafeHwnd()));
    ASSERT_EQ(m_heard.size(), 2u);
    EXPECT_EQ(m_heard[1], std::make_pair(CImageSizeDlg::kZoomChanged, 0.5f));
    EXPECT_EQ(Slider()->GetPos(), 50);
    EXPECT_EQ(Text(CImageSizeDlg::kWidthEdit), "501");
    dialog.Reset();  // already there: nothing more
    EXPECT_EQ(m_heard.size(), 2u);
    // SetZoom moves the zoom Reset returns to.
    dialog.SetZoom(1.5f);
    EXPECT_EQ(Slider()->GetPos(), 150);
    Drag(20);
    dialog.Reset();
    EXPECT_EQ(m_heard.back(), std::make_pair(CImageSizeDlg::kZoomChanged, 1.5f));
}

TEST_F(ImageSizeDlgTest, OkAppliesWidthBeforeHeightBeforeZoom)
{
    CImageSizeDlg& dialog = Open(0.5f, 1001, 801);
    m_dialog->SetDlgItemText(CImageSizeDlg::kWidthEdit, "251");
    m_dialog->SetDlgItemText(CImageSizeDlg::kHeightEdit, "701");
    m_dialog->SetDlgItemText(CImageSizeDlg::kZoomEdit, "1.5");
    m_dialog->SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_NEAR(dialog.GetZoom(), 0.250001f, 1e-7);
    EXPECT_EQ(Text(CImageSizeDlg::kHeightEdit), "201");
    EXPECT_TRUE(::IsWindow(m_dialog->GetSafeHwnd()));  // OK keeps the dialog open
    m_dialog->SetDlgItemText(CImageSizeDlg::kZoomEdit, "1.5");
    m_dialog->SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(dialog.GetZoom(), 1.5f);
    EXPECT_EQ(dialog.GetShownWidth(), 1501);
    ASSERT_EQ(m_heard.size(), 2u);
    EXPECT_EQ(m_heard[1], std::make_pair(CImageSizeDlg::kZoomChanged, 1.5f));
}

TEST_F(ImageSizeDlgTest, SourceSizeChangesAndShownSizes)
{
    CImageSizeDlg& dialog = Open(0.5f, 1001, 801);
    dialog.SetImageSize(201, 101);
    EXPECT_EQ(Text(CImageSizeDlg::kWidthEdit), "101");
    EXPECT_EQ(Text(CImageSizeDlg::kHeightEdit), "51");
    dialog.ShowSize(7, 9);  // shown, not stored
    EXPECT_EQ(Text(CImageSizeDlg::kWidthEdit), "7");
    EXPECT_EQ(Text(CImageSizeDlg::kHeightEdit), "9");
    int w = 0, h = 0;
    dialog.GetSourceSize(w, h);
    EXPECT_EQ(w, 201);
    EXPECT_EQ(h, 101);
    dialog.SetImageSize(0, -3);  // refused
    dialog.GetSourceSize(w, h);
    EXPECT_EQ(w, 201);
    EXPECT_TRUE(m_heard.empty());
}

TEST_F(ImageSizeDlgTest, ClosingTellsTheOwnerAndWithoutOneClosesItself)
{
    Open(0.5f, 1001, 801);
    m_dialog->SendMessage(WM_CLOSE);
    ASSERT_EQ(m_heard.size(), 1u);
    EXPECT_EQ(m_heard[0].first, CImageSizeDlg::kClosed);
    EXPECT_TRUE(::IsWindow(m_dialog->GetSafeHwnd()));  // the owner destroys it, not the dialog
    m_dialog->SetCallback(nullptr);
    const HWND hwnd = m_dialog->GetSafeHwnd();
    m_dialog->SendMessage(WM_CLOSE);
    EXPECT_FALSE(::IsWindow(hwnd));
}

// The slider as drawn: the thumb's centre lies where position 50 falls on
// the slider's track (margins of 8 pixels, range 10..200).
TEST_F(ImageSizeDlgTest, SliderThumbIsDrawnAtTheZoom)
{
    Open(0.5f, 1001, 801);
    m_dialog->ShowWindow(SW_SHOW);
    CSliderCtrl* slider = Slider();
    win::PaintAll();
    Image* atHalf = win::CaptureWindow(slider->GetSafeHwnd());
    slider->SetPos(200);
    win::PaintAll();
    Image* atEnd = win::CaptureWindow(slider->GetSafeHwnd());
    ASSERT_NE(atHalf, nullptr);
    ASSERT_NE(atEnd, nullptr);
    ASSERT_EQ(atHalf->GetWidth(), atEnd->GetWidth());
    const int width = atHalf->GetWidth();
    // Columns where the two pictures differ, in the left half (the thumb at 50).
    int first = -1, last = -1;
    for (int x = 0; x < width / 2; ++x)
        for (int y = 0; y < atHalf->GetHeight(); ++y) {
            const size_t at = static_cast<size_t>(y) * atHalf->GetRowByte() + static_cast<size_t>(x) * 3;
            if (std::memcmp(atHalf->GetData() + at, atEnd->GetData() + at, 3) != 0) {
                if (first < 0) first = x;
                last = x;
                break;
            }
        }
    RefRelease(atHalf);
    RefRelease(atEnd);
    ASSERT_GE(first, 0) << "no thumb drawn";
    const int expected = 8 + (50 - 10) * (width - 16) / 190;
    EXPECT_NEAR((first + last) / 2.0, expected, 1.0);
    EXPECT_LE(last - first, 12);
}

}  // namespace
