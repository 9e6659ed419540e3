// The board as it shows on the headless surface, with real photographs:
// each thumbnail square follows the centre rule, marked items have their
// blue frame, names are written under the images, and the thumbnails agree
// with ImageMagick's resize of the photographs. In list mode the preview is
// fitted into its box.
#include "app/shell/tests/browser_fixture.h"

#include "imaging/image.h"
#include "platform/win/system.h"
#include "platform/win/user_input.h"
#include "platform/win/window_dc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

namespace {

struct Bgr {
    int b, g, r;
    bool operator==(const Bgr& o) const { return b == o.b && g == o.g && r == o.r; }
};

Bgr At(const Image* image, int x, int y)
{
    const unsigned char* p = image->GetData() + static_cast<size_t>(y) * image->GetRowByte() + static_cast<size_t>(x) * 3;
    return Bgr{p[0], p[1], p[2]};
}

Bgr FromColorRef(COLORREF c)
{
    return Bgr{static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>(c & 0xFF)};
}

class BoardPixelsTest : public BrowserTest {
protected:
    void SetUp() override
    {
        BrowserTest::SetUp();
        const std::string folder = Folder("photos");
        for (int k = 69; k <= 74; ++k) {
            const std::string name = "P10603" + std::to_string(k) + ".JPG";
            m_photos.push_back(TestData("huginsample-durlach/half/" + name));
            CopyFile(m_photos.back(), folder + "/" + name);
        }
        App().WriteProfileString("Recent File List", "File1", "");
        Browser().InitFolderTree("E:\\photos");
        // The frame wide enough that the board shows whole.
        Browser().MoveWindow(0, 0, 1000, 700);
        Board().MoveWindow(200, 0, 320, 500);
    }
    bool WaitLoaded()
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (Board().IsLoading()) {
            if (std::chrono::steady_clock::now() > end) return false;
            PumpPendingMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        PumpPendingMessages();
        return true;
    }
    RefPtr<Image> Surface()
    {
        Board().Invalidate();
        win::PaintAll();
        return RefPtr<Image>::adopt(win::CaptureWindow(Board().m_hWnd));
    }
    std::vector<std::string> m_photos;
};

TEST_F(BoardPixelsTest, ThumbnailSquaresFramesAndNamesShowAsDrawn)
{
    Board().SetShowNames(true);
    Board().SetListMode(false);
    ASSERT_TRUE(WaitLoaded());
    ASSERT_EQ(ThumbnailCount(), 6);
    Board().SetMarked(1, true);
    RefPtr<Image> surface = Surface();
    ASSERT_TRUE(surface);
    const Bgr face = FromColorRef(GetSysColor(COLOR_BTNFACE));
    const Bgr blue{255, 0, 0};
    const CellLayout layout = CImgBoard::GetCellLayout(320, 6);
    ASSERT_EQ(layout.columns, 3);
    for (int i = 0; i < 6; ++i) {
        const auto* item = static_cast<ThumbnailItem*>(Board().GetThumbnails()->GetData(i));
        const Image* t = item->image;
        ASSERT_TRUE(t && t->GetChannels() == 3);
        const POINT o = CImgBoard::CellOrigin(layout, i);
        // Where the thumbnail lands in the square, worked out per axis: a
        // short side is centred, a long one shows its middle 96 pixels.
        const int w = t->GetWidth(), h = t->GetHeight();
        const int offX = w < 96 ? (96 - w) / 2 : -(w - 96) / 2;
        const int offY = h < 96 ? (96 - h) / 2 : -(h - 96) / 2;
        int differing = 0, faceAbove = 0, textBelow = 0;
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 96; ++x) {
                const int tx = x - offX, ty = y - offY;
                const Bgr seen = At(surface.get(), o.x + x, o.y + y);
                if (tx >= 0 && tx < w && ty >= 0 && ty < h) {
                    differing += !(seen == At(t, tx, ty));
                } else if (ty < 0) {
                    faceAbove += !(seen == face);
                } else if (ty >= h && ty < h + 12) {
                    textBelow += !(seen == face);
                }
            }
        EXPECT_EQ(differing, 0) << "item " << i;
        EXPECT_EQ(faceAbove, 0) << "item " << i;
        EXPECT_GT(textBelow, 0) << "item " << i << ": no name under the image";
        // The frame one pixel around the square, blue only for the marked item.
        const Bgr frame = i == 1 ? blue : face;
        for (int k = -1; k <= 96; ++k) {
            EXPECT_EQ(At(surface.get(), o.x + k, o.y - 1), frame) << "item " << i << " top " << k;
            EXPECT_EQ(At(surface.get(), o.x + 96, o.y + std::max(k, 0)), frame) << "item " << i << " right " << k;
        }
    }
}

TEST_F(BoardPixelsTest, ThumbnailsAgreeWithImageMagicksResize)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    Board().SetListMode(false);
    ASSERT_TRUE(WaitLoaded());
    ASSERT_EQ(ThumbnailCount(), 6);
    for (int i = 0; i < 6; ++i) {
        const auto* item = static_cast<ThumbnailItem*>(Board().GetThumbnails()->GetData(i));
        const Image* t = item->image;
        EXPECT_EQ(std::max(t->GetWidth(), t->GetHeight()), 96);
        const std::string out = Home().file("ref" + std::to_string(i) + ".ppm");
        const auto run = testkit::Run("convert '" + m_photos[static_cast<size_t>(item->fileIndex)] + "' -resize " +
                                      std::to_string(t->GetWidth()) + "x" + std::to_string(t->GetHeight()) +
                                      "! '" + out + "'");
        ASSERT_EQ(run.status, 0) << run.output;
        RefPtr<Image> ref = RefPtr<Image>::adopt(testkit::ReadPnm(out));  // R, G, B
        ASSERT_TRUE(ref);
        ASSERT_EQ(ref.get()->GetWidth(), t->GetWidth());
        ASSERT_EQ(ref.get()->GetHeight(), t->GetHeight());
        double sum = 0;
        for (int y = 0; y < t->GetHeight(); ++y)
            for (int x = 0; x < t->GetWidth(); ++x) {
                const Bgr a = At(t, x, y);
                const Bgr b = At(ref.get(), x, y);  // read as stored: r, g, b
                sum += std::abs(a.b - b.r) + std::abs(a.g - b.g) + std::abs(a.r - b.b);
            }
        const double mae = sum / (3.0 * t->GetWidth() * t->GetHeight());
        EXPECT_LE(mae, 6.0) << m_photos[static_cast<size_t>(item->fileIndex)];
    }
}

TEST_F(BoardPixelsTest, TheListModePreviewIsFittedAndCentredInItsBox)
{
    // A file previewed from the list: the stamp is larger than the box.
    win::user::ClickListItem(Board().GetFileList()->m_hWnd, 2);
    Image* preview = Board().GetPreviewImage();
    ASSERT_NE(preview, nullptr);
    RefPtr<Image> surface = Surface();
    ASSERT_TRUE(surface);
    CRect box;
    Board().GetDlgItem(CImgBoard::kPreview)->GetWindowRect(&box);
    Board().ScreenToClient(&box);
    box.DeflateRect(1, 1);  // the box inside the control's 1-pixel edge
    ASSERT_TRUE(preview->GetWidth() > box.Width() || preview->GetHeight() > box.Height());
    const double scale = std::min(static_cast<double>(box.Width()) / preview->GetWidth(),
                                  static_cast<double>(box.Height()) / preview->GetHeight());
    const int w = static_cast<int>(preview->GetWidth() * scale), h = static_cast<int>(preview->GetHeight() * scale);
    const int x0 = box.left + (box.Width() - w) / 2, y0 = box.top + (box.Height() - h) / 2;
    const Bgr face = FromColorRef(GetSysColor(COLOR_BTNFACE));
    int outsideWrong = 0, insideFace = 0;
    double sum = 0;
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x) {
            const Bgr seen = At(surface.get(), x, y);
            const bool inside = x >= x0 && x < x0 + w && y >= y0 && y < y0 + h;
            if (!inside) {
                outsideWrong += !(seen == face);
                continue;
            }
            // Nearest source pixel of the colour-on-colour stretch.
            const int sx = std::min(preview->GetWidth() - 1, (x - x0) * preview->GetWidth() / w);
            const int sy = std::min(preview->GetHeight() - 1, (y - y0) * preview->GetHeight() / h);
            const Bgr want = At(preview, sx, sy);
            sum += std::abs(seen.b - want.b) + std::abs(seen.g - want.g) + std::abs(seen.r - want.r);
            insideFace += seen == face;
        }
    EXPECT_EQ(outsideWrong, 0);
    EXPECT_LT(insideFace, w * h / 100);
    EXPECT_LE(sum / (3.0 * w * h), 12.0);
}

}  // namespace
