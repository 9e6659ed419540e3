#include "viewkit/data_viewer_wnd.h"

#include "platform/win/clipboard.h"
#include "platform/win/dib.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/wnd.h"
#include "viewkit/tests/viewkit_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using viewkit_test::TestView;

namespace {

class ClipboardTest : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        ASSERT_TRUE(m_owner.CreateEx(0, nullptr, "view", WS_OVERLAPPED, RECT{0, 0, 10, 10}, nullptr, 0));
        ASSERT_TRUE(m_other.CreateEx(0, nullptr, "other", WS_OVERLAPPED, RECT{0, 0, 10, 10}, nullptr, 0));
    }

    // Puts a block of `bytes` bytes starting with `header` on the clipboard;
    // the rest holds a counting pattern.
    void PutDib(const BITMAPINFOHEADER& header, size_t bytes)
    {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
        ASSERT_NE(block, nullptr);
        auto* data = static_cast<unsigned char*>(GlobalLock(block));
        for (size_t i = 0; i < bytes; ++i) data[i] = static_cast<unsigned char>(i * 7);
        std::memcpy(data, &header, std::min(bytes, sizeof header));
        GlobalUnlock(block);
        ASSERT_TRUE(OpenClipboard(m_other.m_hWnd));
        EmptyClipboard();
        SetClipboardData(CF_DIB, block);
        CloseClipboard();
    }

    // The clipboard's DIB as bytes.
    std::vector<unsigned char> ClipboardBytes()
    {
        std::vector<unsigned char> out;
        if (!OpenClipboard(m_other.m_hWnd)) return out;
        HGLOBAL block = GetClipboardData(CF_DIB);
        if (block) {
            const auto* data = static_cast<const unsigned char*>(GlobalLock(block));
            out.assign(data, data + GlobalSize(block));
            GlobalUnlock(block);
        }
        CloseClipboard();
        return out;
    }

    CWnd m_owner;
    CWnd m_other;
    TestView m_view;
};

}  // namespace

TEST_F(ClipboardTest, ACopiedColourRectangleIsPastedBackPixelForPixel)
{
    RefPtr<Image> image = RefPtr<Image>::adopt(testkit::MakePatternImage(31, 17, 3));
    RECT rect{3, 2, 27, 15};  // 25 x 14: rows of 75 bytes padded to 76
    m_view.CopyToClipBoard(m_owner.m_hWnd, image.get(), &rect);
    const std::vector<unsigned char> dib = ClipboardBytes();
    ASSERT_EQ(dib.size(), 40u + 76 * 14);
    BITMAPINFOHEADER h{};
    std::memcpy(&h, dib.data(), sizeof h);
    EXPECT_EQ(h.biWidth, 25);
    EXPECT_EQ(h.biHeight, 14);  // bottom-up
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biSizeImage, 76u * 14);
    // The first DIB row is the rectangle's bottom row.
    EXPECT_EQ(0, std::memcmp(&dib[40], image->GetData() + image->GetRowByte() * 15 + 3 * 3, 75));

    RefPtr<Image> pasted = RefPtr<Image>::adopt(m_view.PastFromClipBoard(m_owner.m_hWnd));
    ASSERT_TRUE(pasted);
    ASSERT_EQ(pasted->GetWidth(), 25);
    ASSERT_EQ(pasted->GetHeight(), 14);
    ASSERT_EQ(pasted->GetChannels(), 3);
    for (int y = 0; y < 14; ++y)
        ASSERT_EQ(0, std::memcmp(pasted->GetData() + pasted->GetRowByte() * y,
                                 image->GetData() + image->GetRowByte() * (y + 2) + 3 * 3, 75))
            << "row " << y;
}

TEST_F(ClipboardTest, AGreyCopyCarriesThePaletteAndPaddedRowsAndIsRefusedOnPaste)
{
    RefPtr<Image> image = RefPtr<Image>::adopt(testkit::MakePatternImage(10, 6, 1));
    RECT rect{0, 0, 9, 5};
    m_view.CopyToClipBoard(m_owner.m_hWnd, image.get(), &rect);
    const std::vector<unsigned char> dib = ClipboardBytes();
    ASSERT_EQ(dib.size(), 40u + 1024 + 12 * 6);
    BITMAPINFOHEADER h{};
    std::memcpy(&h, dib.data(), sizeof h);
    EXPECT_EQ(h.biBitCount, 8);
    EXPECT_EQ(h.biClrUsed, 256u);
    EXPECT_EQ(dib[40 + 4 * 200], 200);  // grey palette
    for (int row = 0; row < 6; ++row)
        EXPECT_EQ(0, std::memcmp(&dib[40 + 1024 + 12 * row], image->GetData() + image->GetRowByte() * (5 - row), 10));
    Prompter().ExpectMessageBox("This image depth not supported.", IDOK);
    EXPECT_EQ(m_view.PastFromClipBoard(m_owner.m_hWnd), nullptr);
}

TEST_F(ClipboardTest, ARectanglePastTheImageIsClampedAndAnEmptyOneCopiesNothing)
{
    RefPtr<Image> image = RefPtr<Image>::adopt(testkit::MakePatternImage(8, 8, 3));
    RECT rect{-5, 4, 100, 100};
    m_view.CopyToClipBoard(m_owner.m_hWnd, image.get(), &rect);
    std::vector<unsigned char> dib = ClipboardBytes();
    ASSERT_GE(dib.size(), 40u);
    BITMAPINFOHEADER h{};
    std::memcpy(&h, dib.data(), sizeof h);
    EXPECT_EQ(h.biWidth, 8);
    EXPECT_EQ(h.biHeight, 4);
    EXPECT_EQ(dib.size(), 40u + 24 * 4);

    RECT outside{20, 20, 30, 30};
    m_view.CopyToClipBoard(m_owner.m_hWnd, image.get(), &outside);
    EXPECT_EQ(ClipboardBytes(), dib);  // the clipboard keeps what it had
}

TEST_F(ClipboardTest, PasteRefusesABusyClipboardAndAMissingDibWithTheirTexts)
{
    ASSERT_TRUE(OpenClipboard(m_other.m_hWnd));
    Prompter().ExpectMessageBox("ClipBoard busy. Try again later.", IDOK);
    EXPECT_EQ(m_view.PastFromClipBoard(m_owner.m_hWnd), nullptr);
    EmptyClipboard();
    CloseClipboard();
    Prompter().ExpectMessageBox("No DIB on the clipboard.", IDOK);
    EXPECT_EQ(m_view.PastFromClipBoard(m_owner.m_hWnd), nullptr);
}

TEST_F(ClipboardTest, MalformedDibsAreRefusedOrReadWithinTheirBlock)
{
    const int64_t row = DibRowBytes(5, 24);  // 16
    struct Case {
        const char* what;
        LONG width, height;
        WORD bits;
        DWORD compression, sizeImage;
        int64_t bytes;
        bool accepted;
    };
    const Case cases[] = {
        {"biSizeImage 0 is legal for BI_RGB", 5, 3, 24, BI_RGB, 0, 40 + row * 3, true},
        {"top-down rows", 5, -3, 24, BI_RGB, 0, 40 + row * 3, true},
        {"RLE", 5, 3, 24, 1 /* BI_RLE8 */, 0, 40 + row * 3, false},
        {"block one byte short", 5, 3, 24, BI_RGB, static_cast<DWORD>(row * 3), 40 + row * 3 - 1, false},
        {"width 0", 0, 3, 24, BI_RGB, 0, 40 + row * 3, false},
        {"negative width", -5, 3, 24, BI_RGB, 0, 40 + row * 3, false},
        {"height 0", 5, 0, 24, BI_RGB, 0, 40 + row * 3, false},
        {"huge width", 0x7FFFFFF0, 1, 24, BI_RGB, 0, 40 + 64, false},
        {"huge height", 5, -0x7FFFFFFF, 24, BI_RGB, 0, 40 + 64, false},
        {"32 bits", 5, 3, 32, BI_RGB, 0, 40 + 20 * 3, false},
        {"header only", 5, 3, 24, BI_RGB, 0, 40, false},
        {"shorter than a header", 5, 3, 24, BI_RGB, 0, 20, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BITMAPINFOHEADER h{40, c.width, c.height, 1, c.bits, c.compression, c.sizeImage, 0, 0, 0, 0};
        PutDib(h, static_cast<size_t>(c.bytes));
        const std::vector<unsigned char> dib = ClipboardBytes();
        if (!c.accepted) Prompter().ExpectMessageBox("This image depth not supported.", IDOK);
        RefPtr<Image> pasted = RefPtr<Image>::adopt(m_view.PastFromClipBoard(m_owner.m_hWnd));
        EXPECT_EQ(static_cast<bool>(pasted), c.accepted);
        if (!pasted) continue;
        ASSERT_EQ(pasted->GetWidth(), 5);
        ASSERT_EQ(pasted->GetHeight(), 3);
        for (int y = 0; y < 3; ++y) {
            const int from = c.height < 0 ? y : 2 - y;
            EXPECT_EQ(0, std::memcmp(pasted->GetData() + pasted->GetRowByte() * y, &dib[40 + row * from], 15))
                << "row " << y;
        }
    }
}
