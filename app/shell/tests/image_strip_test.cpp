#include "app/shell/image_strip.h"

#include "platform/win/resources.h"
#include "platform/win/system.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/user_input.h"
#include "platform/win/window_dc.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// The window that hosts the strip: records what the strip tells it.
class StripParent : public CWnd {
public:
    struct Note {
        WPARAM code;
        float x, y;
    };
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == ImageStrip::kStripMessage) {
            Note note{wParam, 0, 0};
            if (wParam == 1) {
                const auto* centre = reinterpret_cast<const float*>(lParam);
                note.x = centre[0];
                note.y = centre[1];
            }
            notes.push_back(note);
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
    std::vector<Note> notes;
};

class ImageStripTest : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        win::Resources::App().AddCursor(ImageStrip::kRemoveCursor);
        ASSERT_TRUE(m_parent.CreateEx(0, nullptr, "host", WS_OVERLAPPED | WS_VISIBLE, RECT{0, 0, 1000, 400}, nullptr, 0));
        ASSERT_TRUE(m_strip.Create(nullptr, "", WS_CHILD | WS_VISIBLE, RECT{0, 100, 900, 300}, &m_parent, 7));
        m_strip.SetList(&m_list);
    }

    // Image-less sizes need pictures: a blank image of the given size.
    void AddBlank(const char* path, int width, int height, int kind = 1)
    {
        Image* image = new Image(width, height, 3);
        m_list.Add(path, image, kind, 0, 0, 0, 0, 0);
        ReleaseImage(image);
        m_strip.RecalcLayout();
    }

    POINT Centre(int index) const
    {
        const RECT t = m_strip.GetThumbRect(index);
        return POINT{(t.left + t.right) / 2, (t.top + t.bottom) / 2};
    }

    StripParent m_parent;
    ImageStrip m_strip;
    StripItemList m_list;
};

}  // namespace

TEST_F(ImageStripTest, ThumbnailSizesFollowTheKindAndTheHeight)
{
    struct Case {
        int width, height, kind;
        int thumbW, thumbH;
    };
    // The client is 200 high: at most 188 for a thumbnail.
    const Case cases[] = {
        {600, 400, 1, 128, 85},   {400, 600, 1, 85, 128},   {300, 300, 1, 128, 128},
        {1000, 400, 2, 256, 102}, {800, 400, 2, 256, 128},  {600, 400, 2, 192, 128},
        {1200, 400, 0, 256, 128}, {1800, 400, 0, 256, 85},  {600, 400, 0, 128, 128},
        {100, 900, 1, 14, 128},   {100, 900, 2, 14, 128},
    };
    for (const Case& c : cases) {
        Image image(c.width, c.height, 3);
        StripItem item;
        item.image = &image;
        RefAdd(&image);  // the item releases one reference
        item.SetKind(c.kind);
        int w = 0, h = 0;
        m_strip.GetThumbSize(&item, w, h);
        EXPECT_EQ(w, c.thumbW) << c.width << " x " << c.height << " kind " << c.kind;
        EXPECT_EQ(h, c.thumbH);
    }
    // A low strip: the height limit (client height - 12) takes over.
    m_strip.MoveWindow(0, 0, 900, 72);
    Image image(600, 400, 3);
    StripItem item;
    item.image = &image;
    RefAdd(&image);
    item.SetKind(2);
    int w = 0, h = 0;
    m_strip.GetThumbSize(&item, w, h);
    EXPECT_EQ(h, 60);
    EXPECT_EQ(w, 192 * 60 / 128);
    StripItem empty;
    m_strip.GetThumbSize(&empty, w, h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
}

TEST_F(ImageStripTest, LayoutPutsSlotsSideBySide)
{
    AddBlank("a.jpg", 600, 400);
    AddBlank("b.jpg", 1000, 400, 2);  // 256 wide: a wider slot
    AddBlank("c.jpg", 400, 600);
    EXPECT_EQ(m_strip.GetRowWidth(), 134 + 262 + 134);
    EXPECT_EQ(m_strip.GetSlotRect(1).left, 134);
    const RECT t = m_strip.GetThumbRect(2);
    EXPECT_EQ(t.left, 134 + 262 + (128 - 85) / 2);
    EXPECT_EQ(t.top, (188 - 128) / 2);
    EXPECT_EQ(m_strip.ItemAt(POINT{127, 50}), 0);
    EXPECT_EQ(m_strip.ItemAt(POINT{130, 50}), -1);  // the gap between slots
    EXPECT_EQ(m_strip.ItemAt(POINT{134, 50}), 1);
    EXPECT_EQ(m_strip.ItemAt(POINT{700, 50}), -1);
}

TEST_F(ImageStripTest, PressAndReleaseSelectsMovesAndRemoves)
{
    AddBlank("a.jpg", 600, 400);
    AddBlank("b.jpg", 600, 400);
    AddBlank("c.jpg", 600, 400);
    AddBlank("d.jpg", 600, 400);
    const HWND strip = m_strip.m_hWnd;
    win::user::Click(strip, Centre(1));
    EXPECT_EQ(m_list.GetSelected(), 1);
    ASSERT_EQ(m_parent.notes.size(), 1u);
    EXPECT_EQ(m_parent.notes[0].code, 0u);
    // Already selected: nothing is sent, and the inverted rectangle that
    // followed the pointer leaves no trace.
    win::PaintAll();
    RefPtr<Image> before = RefPtr<Image>::adopt(win::CaptureWindow(strip));
    win::user::LeftDown(strip, Centre(1));
    win::user::MoveMouse(strip, POINT{Centre(1).x + 9, Centre(1).y + 5}, MK_LBUTTON);
    RefPtr<Image> dragging = RefPtr<Image>::adopt(win::CaptureWindow(strip));
    EXPECT_FALSE(testkit::SamePixels(*before, *dragging));
    win::user::LeftUp(strip, Centre(1));
    EXPECT_EQ(m_parent.notes.size(), 1u);
    RefPtr<Image> after = RefPtr<Image>::adopt(win::CaptureWindow(strip));
    EXPECT_TRUE(testkit::SamePixels(*before, *after));

    // Dragging the selected item onto the last one moves it there.
    win::user::Drag(strip, Centre(1), Centre(3));
    EXPECT_EQ(m_list.Get(3)->path, "b.jpg");
    EXPECT_EQ(m_list.GetSelected(), 3);
    ASSERT_EQ(m_parent.notes.size(), 2u);
    EXPECT_EQ(m_parent.notes[1].code, 2u);
    EXPECT_EQ(CWnd::GetCapture(), nullptr);

    // Dragged out of the strip: removed, with the remove cursor on the way.
    win::user::LeftDown(strip, Centre(0));
    win::user::MoveMouse(strip, POINT{Centre(0).x, -40}, MK_LBUTTON);
    EXPECT_EQ(win::CursorId(GetCursor()), ImageStrip::kRemoveCursor);
    win::user::MoveMouse(strip, POINT{Centre(0).x, 50}, MK_LBUTTON);
    EXPECT_EQ(win::CursorId(GetCursor()), IDC_ARROW);
    win::user::MoveMouse(strip, POINT{Centre(0).x, -40}, MK_LBUTTON);
    win::user::LeftUp(strip, POINT{Centre(0).x, -40});
    EXPECT_EQ(m_list.GetCount(), 3);
    EXPECT_EQ(m_list.Get(0)->path, "c.jpg");
    EXPECT_EQ(m_list.GetSelected(), 2);
    ASSERT_EQ(m_parent.notes.size(), 3u);
    EXPECT_EQ(m_parent.notes[2].code, 2u);
    EXPECT_EQ(m_strip.GetRowWidth(), 3 * 134);

    // Released inside the strip but over no item: nothing happens.
    win::user::Drag(strip, Centre(0), POINT{800, 50});
    EXPECT_EQ(m_list.GetCount(), 3);
    EXPECT_EQ(m_parent.notes.size(), 3u);
}

TEST_F(ImageStripTest, CtrlClickSetsTheViewCentreOfTheSelectedItem)
{
    AddBlank("a.jpg", 600, 400);
    AddBlank("b.jpg", 600, 400);
    m_list.SetSelected(0);
    const RECT slot = m_strip.GetSlotRect(0);
    const RECT t = m_strip.GetThumbRect(0);
    const POINT at{slot.left + 96, t.top + (t.bottom - t.top) / 4};
    win::user::Click(m_strip.m_hWnd, at, MK_CONTROL);
    ASSERT_EQ(m_parent.notes.size(), 1u);
    EXPECT_EQ(m_parent.notes[0].code, 1u);
    EXPECT_FLOAT_EQ(m_parent.notes[0].x, 2.0f * 96 / 128 - 1);
    EXPECT_NEAR(m_parent.notes[0].y, 2.0f * ((t.bottom - t.top) / 4) / (t.bottom - t.top) - 1, 1e-6);
    EXPECT_FLOAT_EQ(m_list.Get(0)->centre[0], 0.5f);
    win::user::Click(m_strip.m_hWnd, at, MK_CONTROL);  // unchanged: nothing sent
    EXPECT_EQ(m_parent.notes.size(), 1u);
    win::user::Click(m_strip.m_hWnd, POINT{at.x, t.bottom + 2}, MK_CONTROL);  // below the thumbnail
    win::user::Click(m_strip.m_hWnd, Centre(1), MK_CONTROL);  // not the selected item
    EXPECT_EQ(m_parent.notes.size(), 1u);
    EXPECT_EQ(m_list.GetSelected(), 0);

    // With a view extent the centre stays far enough from the edges: the
    // extent is 90 / 360 of 2000 = 500 of the item's 1000.
    StripItem* item = m_list.Get(0);
    item->size[0] = 1000;
    item->view[0] = 2000;
    item->view[1] = 10;
    m_list.SetAngle(90);
    win::user::Click(m_strip.m_hWnd, POINT{slot.left + 126, at.y}, MK_CONTROL);
    EXPECT_FLOAT_EQ(item->centre[0], (2.0f * 1000 - 500) / 1000 - 1);  // 0.5: the extent ends at the edge
    win::user::Click(m_strip.m_hWnd, POINT{slot.left + 1, at.y}, MK_CONTROL);
    EXPECT_FLOAT_EQ(item->centre[0], 500.0f / 1000 - 1);
}

TEST_F(ImageStripTest, TheScrollBarThumbFollowsTheRowWidth)
{
    StripScrollBar* bar = m_strip.GetScrollBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->GetDlgCtrlID(), 123);
    RECT r{};
    bar->GetClientRect(&r);
    EXPECT_EQ(r.right, 900);
    EXPECT_EQ(r.bottom, 7);
    struct Case {
        int rowWidth;
        int length, position;
        float scale;
    };
    const Case cases[] = {
        {500, 900, 0, 1.0f},                 // narrower: the whole width
        {950, 850, 50, 1.0f},                // slightly wider
        {3000, 270, 15, 0.3f},               // very wide: scaled, the position rescaled
        {500, 900, 0, 1.0f},
    };
    for (const Case& c : cases) {
        bar->SetRowWidth(c.rowWidth);
        EXPECT_EQ(bar->GetThumbLength(), c.length) << c.rowWidth;
        EXPECT_EQ(bar->GetThumbPos(), c.position);
        EXPECT_FLOAT_EQ(bar->GetScale(), c.scale);
    }
    bar->SetRowWidth(3000);
    // A press right of the thumb: 10 to the right, the strip scrolls by 10 / 0.3.
    win::user::Click(bar->m_hWnd, POINT{600, 3});
    EXPECT_EQ(bar->GetThumbPos(), 10);
    EXPECT_EQ(m_strip.GetScrollOffset(), 33);
    // Dragging the thumb, clamped at the right end.
    win::user::Drag(bar->m_hWnd, POINT{100, 3}, POINT{2000, 3});
    EXPECT_EQ(bar->GetThumbPos(), 900 - 270);
    EXPECT_EQ(m_strip.GetScrollOffset(), 2100);
    win::user::Click(bar->m_hWnd, POINT{5, 3});
    EXPECT_EQ(bar->GetThumbPos(), 620);
    EXPECT_EQ(m_strip.GetScrollOffset(), static_cast<int>(std::lround(620 / 0.3f)));
}

TEST_F(ImageStripTest, PaintedThumbnailsMatchImageMagickAndMarkTheSelection)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    testkit::TempDir dir;
    const char* photos[] = {"huginsample-durlach/half/P1060369.JPG", "huginsample-durlach/half/P1060370.JPG",
                            "huginsample-durlach/half/P1060371.JPG"};
    std::vector<std::string> sources;
    for (int i = 0; i < 3; ++i) {
        const std::string source = dir.file("source" + std::to_string(i) + ".ppm");
        // The middle one 601 wide: rows of 1803 bytes, not a DIB's 1804.
        const std::string size = i == 1 ? "601x400!" : "600x400!";
        ASSERT_EQ(testkit::Run("convert '" + testkit::TestData(photos[i]).string() + "' -resize " + size + " " + source).status, 0);
        Image* image = testkit::ReadPnm(source);
        ASSERT_NE(image, nullptr);
        if (i == 1) {
            ASSERT_EQ(image->GetRowByte(), 1803);
        }
        m_list.Add(photos[i], image, 1, 0, 0, 0, 0, 0);
        ReleaseImage(image);
        sources.push_back(source);
    }
    m_strip.RecalcLayout();
    m_list.SetSelected(1);
    m_strip.Invalidate();
    win::PaintAll();
    RefPtr<Image> shown = RefPtr<Image>::adopt(win::CaptureWindow(m_strip.m_hWnd));
    ASSERT_TRUE(shown);
    auto pixel = [&](int x, int y) { return shown->GetData() + shown->GetRowByte() * y + x * 3; };
    for (int i = 0; i < 3; ++i) {
        const RECT t = m_strip.GetThumbRect(i);
        const int w = t.right - t.left, h = t.bottom - t.top;
        ASSERT_EQ(w, 128);
        ASSERT_EQ(h, 85);
        const std::string reference = dir.file("thumb" + std::to_string(i) + ".ppm");
        ASSERT_EQ(testkit::Run("convert " + sources[i] + " -filter Box -resize " + std::to_string(w) + "x" +
                               std::to_string(h) + "! " + reference).status, 0);
        RefPtr<Image> want = RefPtr<Image>::adopt(testkit::ReadPnm(reference));
        ASSERT_TRUE(want);
        double sum = 0;
        int count = 0;
        const POINT cross{t.left + w / 2, t.top + h / 2};
        for (int y = 2; y < h - 2; ++y)
            for (int x = 2; x < w - 2; ++x) {
                if (i == 1 && std::abs(t.left + x - cross.x) <= 3 && std::abs(t.top + y - cross.y) <= 3) continue;
                const unsigned char* got = pixel(t.left + x, t.top + y);
                const unsigned char* ref = want->GetData() + want->GetRowByte() * y + x * 3;
                for (int c = 0; c < 3; ++c) sum += std::abs(int(got[c]) - int(ref[c]));
                count += 3;
            }
        EXPECT_LT(sum / count, 6.0) << "thumbnail " << i;
    }
    // The selected thumbnail: a red frame and a yellow cross at its centre
    // (B, G, R bytes on the surface).
    const RECT t = m_strip.GetThumbRect(1);
    const unsigned char* frame = pixel(t.left + 40, t.top);
    EXPECT_EQ(frame[0], 0);
    EXPECT_EQ(frame[1], 0);
    EXPECT_EQ(frame[2], 255);
    const unsigned char* cross = pixel(t.left + 64 + 2, t.top + 42);
    EXPECT_EQ(cross[0], 0);
    EXPECT_EQ(cross[1], 255);
    EXPECT_EQ(cross[2], 255);
    const unsigned char* unframed = pixel(m_strip.GetThumbRect(0).left + 40, m_strip.GetThumbRect(0).top - 1);
    EXPECT_EQ(unframed[0], 200);
    // The background beyond the row.
    for (const POINT p : {POINT{600, 20}, POINT{899, 150}, POINT{5, 5}}) {
        const unsigned char* b = pixel(p.x, p.y);
        EXPECT_EQ(b[0], 200);
        EXPECT_EQ(b[1], 200);
        EXPECT_EQ(b[2], 200);
    }
}

TEST_F(ImageStripTest, AnEmptyStripShowsOnlyTheBackground)
{
    m_strip.Invalidate();
    win::PaintAll();
    RefPtr<Image> shown = RefPtr<Image>::adopt(win::CaptureWindow(m_strip.m_hWnd));
    ASSERT_TRUE(shown);
    int other = 0;
    for (int y = 0; y < 193; ++y)
        for (int x = 0; x < 900; ++x) {
            const unsigned char* p = shown->GetData() + shown->GetRowByte() * y + x * 3;
            if (p[0] != 200 || p[1] != 200 || p[2] != 200) ++other;
        }
    EXPECT_EQ(other, 0);
    // The scroll bar along the bottom: its background and its thumb.
    const unsigned char* bar = shown->GetData() + shown->GetRowByte() * 196 + 10 * 3;
    EXPECT_EQ(bar[2], 180);
    EXPECT_EQ(bar[1], 255);
    EXPECT_EQ(bar[0], 120);
}
