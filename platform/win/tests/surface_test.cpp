// Drawing on 32-bit surfaces: device-independent bitmaps in both row orders
// and three depths, nearest and box-filter stretching against slow
// references, blits between contexts, DIB sections, the isotropic mapping,
// window surfaces with their clipping, and the printer writing a PDF that
// pdftoppm renders back.
#include "imaging/image.h"
#include "core/logger.h"
#include "platform/win/controls.h"
#include "platform/win/dib.h"
#include "platform/win/printer_dc.h"
#include "platform/win/system.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/user_input.h"
#include "platform/win/window_dc.h"
#include "testkit/testkit.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// A memory context on a fresh 32-bit bitmap, filled with one colour.
struct Canvas {
    CBitmap bitmap;
    CDC dc;
    Canvas(int width, int height, COLORREF fill = RGB(0, 0, 0))
    {
        dc.CreateCompatibleDC(nullptr);
        bitmap.CreateCompatibleBitmap(&dc, width, height);
        dc.SelectObject(&bitmap);
        dc.FillSolidRect(0, 0, width, height, fill);
    }
};

// A DIB in memory: header, palette and rows, with a reference reader.
struct Dib {
    std::vector<unsigned char> header;  // BITMAPINFO with room for 256 colours
    std::vector<unsigned char> bits;
    int width, height, bitCount;
    bool topDown;

    Dib(int w, int h, int bc, bool td) : header(sizeof(BITMAPINFOHEADER) + 256 * 4), width(w), height(h), bitCount(bc), topDown(td)
    {
        auto* info = Info();
        info->bmiHeader = BITMAPINFOHEADER{40, w, td ? -h : h, 1, static_cast<WORD>(bc), BI_RGB, 0, 0, 0, 0, 0};
        bits.assign(static_cast<size_t>(DibRowBytes(w, bc) * h), 0);
    }
    BITMAPINFO* Info() { return reinterpret_cast<BITMAPINFO*>(header.data()); }
    // Row `y` counted from the top of the picture.
    unsigned char* Row(int y) { return bits.data() + DibRowBytes(width, bitCount) * (topDown ? y : height - 1 - y); }
    void SetGreyPalette()
    {
        for (int i = 0; i < 256; ++i) Info()->bmiColors[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    }
    // Colour of picture pixel (x, y), y from the top: the test's reference.
    COLORREF Expected(int x, int y)
    {
        const unsigned char* r = Row(y);
        if (bitCount == 8) {
            const RGBQUAD q = Info()->bmiColors[r[x]];
            return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
        }
        const unsigned char* p = r + x * (bitCount / 8);
        return RGB(p[2], p[1], p[0]);
    }
};

// Fills a DIB so that every pixel differs from its neighbours.
void Pattern(Dib& d)
{
    for (int y = 0; y < d.height; ++y) {
        unsigned char* r = d.Row(y);
        for (int x = 0; x < d.width; ++x) {
            if (d.bitCount == 8) r[x] = static_cast<unsigned char>(7 * x + 31 * y);
            else {
                unsigned char* p = r + x * (d.bitCount / 8);
                p[0] = static_cast<unsigned char>(x * 13);
                p[1] = static_cast<unsigned char>(y * 17);
                p[2] = static_cast<unsigned char>(x * y + 5);
            }
        }
    }
}

class SurfaceTest : public WinTest {};

TEST_F(SurfaceTest, DibsAreReadInTheirRowOrderAndDepth)
{
    struct Case {
        int bitCount;
        bool topDown;
    };
    for (const Case c : {Case{8, true}, Case{8, false}, Case{24, true}, Case{24, false}, Case{32, true}, Case{32, false}}) {
        SCOPED_TRACE(testing::Message() << c.bitCount << " bits, " << (c.topDown ? "top-down" : "bottom-up"));
        Dib dib(7, 5, c.bitCount, c.topDown);
        dib.SetGreyPalette();
        Pattern(dib);
        Canvas canvas(10, 8);
        EXPECT_EQ(StretchDIBits(&canvas.dc, 2, 1, 7, 5, 0, 0, 7, 5, dib.bits.data(), dib.Info(), DIB_RGB_COLORS, SRCCOPY), 5);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) ASSERT_EQ(canvas.dc.GetPixel(2 + x, 1 + y), dib.Expected(x, y)) << x << "," << y;
        EXPECT_EQ(canvas.dc.GetPixel(1, 1), 0u);  // nothing outside the destination
    }
}

TEST_F(SurfaceTest, ASourceRectangleCountsFromTheLowerEdgeOfABottomUpDib)
{
    Dib up(6, 6, 24, false), down(6, 6, 24, true);
    Pattern(up);
    Pattern(down);
    Canvas a(3, 2), b(3, 2);
    // Source (1, 1) of size 3 x 2: in a bottom-up DIB the rows one and two
    // above the lowest, i.e. picture rows 3 and 4 from the top.
    StretchDIBits(&a.dc, 0, 0, 3, 2, 1, 1, 3, 2, up.bits.data(), up.Info(), DIB_RGB_COLORS, SRCCOPY);
    StretchDIBits(&b.dc, 0, 0, 3, 2, 1, 1, 3, 2, down.bits.data(), down.Info(), DIB_RGB_COLORS, SRCCOPY);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(a.dc.GetPixel(x, y), up.Expected(1 + x, 3 + y));
            EXPECT_EQ(b.dc.GetPixel(x, y), down.Expected(1 + x, 1 + y));
        }
}

TEST_F(SurfaceTest, SetDIBitsToDeviceDrawsOnlyTheScanLinesGiven)
{
    Dib dib(4, 6, 32, false);  // bottom-up: scan 0 is the lowest row
    Pattern(dib);
    Canvas canvas(4, 6, RGB(1, 2, 3));
    // Scans 2 and 3 only: the bits start at scan 2.
    const unsigned char* scans = dib.bits.data() + 2 * DibRowBytes(4, 32);
    EXPECT_EQ(SetDIBitsToDevice(&canvas.dc, 0, 0, 4, 6, 0, 0, 2, 2, scans, dib.Info(), DIB_RGB_COLORS), 2);
    for (int y = 0; y < 6; ++y) {
        const bool drawn = y == 2 || y == 3;  // picture rows of scans 3 and 2
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(canvas.dc.GetPixel(x, y), drawn ? dib.Expected(x, y) : RGB(1, 2, 3)) << x << "," << y;
    }
}

TEST_F(SurfaceTest, StretchingIsNearestOrBoxAveragedByTheMode)
{
    Dib dib(9, 6, 24, true);
    Pattern(dib);
    // Shrinking by 3 x 2: colour-on-colour takes the centre pixel, halftone
    // the average of the 3 x 2 block.
    Canvas nearest(3, 3), box(3, 3);
    nearest.dc.SetStretchBltMode(COLORONCOLOR);
    box.dc.SetStretchBltMode(HALFTONE);
    StretchDIBits(&nearest.dc, 0, 0, 3, 3, 0, 0, 9, 6, dib.bits.data(), dib.Info(), DIB_RGB_COLORS, SRCCOPY);
    StretchDIBits(&box.dc, 0, 0, 3, 3, 0, 0, 9, 6, dib.bits.data(), dib.Info(), DIB_RGB_COLORS, SRCCOPY);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(nearest.dc.GetPixel(x, y), dib.Expected(3 * x + 1, 2 * y + 1));
            double sum[3] = {0, 0, 0};
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 3; ++i) {
                    const COLORREF c = dib.Expected(3 * x + i, 2 * y + j);
                    sum[0] += GetRValue(c);
                    sum[1] += GetGValue(c);
                    sum[2] += GetBValue(c);
                }
            const COLORREF mean = RGB(std::lround(sum[0] / 6), std::lround(sum[1] / 6), std::lround(sum[2] / 6));
            EXPECT_EQ(box.dc.GetPixel(x, y), mean) << x << "," << y;
        }
    // Enlarging by 2 repeats every pixel; a negative width mirrors.
    Canvas big(18, 12), mirrored(9, 6);
    StretchDIBits(&big.dc, 0, 0, 18, 12, 0, 0, 9, 6, dib.bits.data(), dib.Info(), DIB_RGB_COLORS, SRCCOPY);
    StretchDIBits(&mirrored.dc, 8, 0, -9, 6, 0, 0, 9, 6, dib.bits.data(), dib.Info(), DIB_RGB_COLORS, SRCCOPY);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 18; ++x) ASSERT_EQ(big.dc.GetPixel(x, y), dib.Expected(x / 2, y / 2));
    // The mirrored picture spans columns -0 .. 8 going left from x = 8.
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x) EXPECT_EQ(mirrored.dc.GetPixel(8 - x, y), dib.Expected(x, y)) << x;
}

TEST_F(SurfaceTest, BlitsCombineSourceAndDestinationAndInvertingTwiceRestores)
{
    Dib dib(8, 8, 24, true);
    Pattern(dib);
    Canvas source(8, 8), target(8, 8, RGB(200, 100, 50));
    StretchDIBits(&source.dc, 0, 0, 8, 8, 0, 0, 8, 8, dib.bits.data(), dib.Info(), DIB_RGB_COLORS, SRCCOPY);
    target.dc.BitBlt(0, 0, 8, 8, &source.dc, 0, 0, SRCINVERT);
    target.dc.BitBlt(0, 0, 8, 8, &source.dc, 0, 0, SRCINVERT);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(target.dc.GetPixel(x, y), RGB(200, 100, 50));
    target.dc.BitBlt(2, 3, 4, 2, &source.dc, 1, 1, NOTSRCCOPY);
    const COLORREF s = dib.Expected(2, 2);
    EXPECT_EQ(target.dc.GetPixel(3, 4), RGB(255 - GetRValue(s), 255 - GetGValue(s), 255 - GetBValue(s)));
    EXPECT_EQ(target.dc.GetPixel(1, 4), RGB(200, 100, 50));
    // StretchBlt doubles a 4 x 4 block into the whole target.
    target.dc.StretchBlt(0, 0, 8, 8, &source.dc, 2, 2, 4, 4, SRCCOPY);
    EXPECT_EQ(target.dc.GetPixel(7, 7), dib.Expected(5, 5));
    EXPECT_EQ(target.dc.GetPixel(0, 1), dib.Expected(2, 2));
    target.dc.PatBlt(0, 0, 8, 8, BLACKNESS);
    EXPECT_EQ(target.dc.GetPixel(4, 4), 0u);
}

TEST_F(SurfaceTest, TopDownDibSectionsShareTheirBitsWithTheContextThatDrawsIntoThem)
{
    // Room for the two colours of the monochrome section below.
    std::vector<unsigned char> header(sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD));
    auto* info = reinterpret_cast<BITMAPINFO*>(header.data());
    info->bmiHeader = BITMAPINFOHEADER{40, 240, -240, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP section = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    ASSERT_NE(bits, nullptr);
    auto* pixels = static_cast<uint32_t*>(bits);
    pixels[10 * 240 + 20] = 0x00112233;  // B 33, G 22, R 11
    CDC memory;
    memory.CreateCompatibleDC(nullptr);
    CBitmap* wrapper = CBitmap::FromHandle(section);
    ASSERT_NE(wrapper, nullptr);
    memory.SelectObject(wrapper);
    ASSERT_TRUE(memory.HasTarget());
    EXPECT_EQ(memory.GetPixel(20, 10), RGB(0x11, 0x22, 0x33));
    memory.SetPixel(5, 7, RGB(1, 2, 3));
    EXPECT_EQ(pixels[7 * 240 + 5] & 0xFFFFFF, 0x00010203u);
    // A bottom-up or 1-bit section holds bits but is no drawing target.
    info->bmiHeader.biHeight = 240;
    info->bmiHeader.biBitCount = 1;
    const HBITMAP mask = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(mask, nullptr);
    // Rows of 240 bits are padded to 32 bytes.
    EXPECT_EQ(DibRowBytes(240, 1), 32);
    std::memset(bits, 0xFF, static_cast<size_t>(DibRowBytes(240, 1) * 240));
    LogCapture log;
    CDC other;
    other.CreateCompatibleDC(nullptr);
    other.SelectObject(CBitmap::FromHandle(mask));
    EXPECT_FALSE(other.HasTarget());
    EXPECT_TRUE(log.contains("ERROR AttachBitmap"));
    memory.Detach();
    EXPECT_TRUE(DeleteObject(section));
    EXPECT_TRUE(DeleteObject(mask));
    EXPECT_FALSE(DeleteObject(mask));
}

TEST_F(SurfaceTest, TheIsotropicMappingScalesBothAxesAlikeAndPlacesDibRows)
{
    Canvas page(400, 300, RGB(255, 255, 255));
    page.dc.SetMapMode(MM_ISOTROPIC);
    page.dc.SetWindowExt(100, 50);
    page.dc.SetViewportExt(400, 400);  // x scale 4, y scale 8: both become 4
    const SIZE ext = page.dc.GetViewportExt();
    EXPECT_EQ(ext.cx, 400);
    EXPECT_EQ(ext.cy, 200);
    POINT p{25, 10};
    page.dc.LPtoDP(&p);
    EXPECT_EQ(p.x, 100);
    EXPECT_EQ(p.y, 40);
    page.dc.DPtoLP(&p);
    EXPECT_EQ(p.x, 25);
    EXPECT_EQ(p.y, 10);
    // One image row as a one-row DIB at logical row 10 covers device rows 40..43.
    Dib row(4, 1, 24, false);
    for (int x = 0; x < 4; ++x) row.Row(0)[3 * x + 2] = 255;  // red
    StretchDIBits(&page.dc, 5, 10, 4, 1, 0, 0, 4, 1, row.bits.data(), row.Info(), DIB_RGB_COLORS, SRCCOPY);
    page.dc.SetMapMode(MM_TEXT);
    for (int y = 38; y < 46; ++y)
        for (int x = 18; x < 38; ++x) {
            const bool inside = y >= 40 && y < 44 && x >= 20 && x < 36;
            EXPECT_EQ(page.dc.GetPixel(x, y), inside ? RGB(255, 0, 0) : RGB(255, 255, 255)) << x << "," << y;
        }
}

TEST_F(SurfaceTest, InvertingTwiceOnAWindowSurfaceRestoresItExactly)
{
    CWnd window;
    ASSERT_TRUE(window.CreateEx(0, nullptr, "w", WS_OVERLAPPED | WS_VISIBLE, RECT{0, 0, 120, 90}, nullptr, 0));
    win::PaintAll();
    {
        CClientDC dc(&window);
        Dib dib(120, 90, 24, true);
        Pattern(dib);
        StretchDIBits(&dc, 0, 0, 120, 90, 0, 0, 120, 90, dib.bits.data(), dib.Info(), DIB_RGB_COLORS, SRCCOPY);
    }
    Image* before = win::CaptureWindow(window.m_hWnd);
    {
        CClientDC dc(&window);
        CPen dashed(PS_DOT, 1, RGB(255, 255, 255));
        dc.SelectObject(&dashed);
        dc.SetROP2(R2_NOT);
        for (int pass = 0; pass < 2; ++pass) {
            dc.Rectangle(10, 10, 100, 70);
            dc.MoveTo(0, 0);
            dc.LineTo(119, 89);
            RECT focus{5, 5, 50, 40};
            dc.DrawFocusRect(&focus);
        }
    }
    Image* after = win::CaptureWindow(window.m_hWnd);
    EXPECT_TRUE(testkit::SamePixels(*before, *after));
    ReleaseImage(before);
    ReleaseImage(after);
}

// Records what its owner-drawn button asked for.
class OwnerParent : public CWnd {
public:
    std::vector<UINT> states;
    void OnDrawItem(int, LPDRAWITEMSTRUCT dis) override
    {
        states.push_back(dis->itemState);
        dis->hDC->FillSolidRect(0, 0, dis->rcItem.right, dis->rcItem.bottom,
                                (dis->itemState & ODS_SELECTED) ? RGB(150, 153, 150) : RGB(210, 215, 210));
        // A band wider than the item shows only on the item.
        dis->hDC->FillSolidRect(-50, 0, 500, 3, RGB(255, 0, 0));
    }
};

TEST_F(SurfaceTest, ChildWindowsPaintInsideTheirOwnAreaAndOwnerDrawnButtonsAskTheirParent)
{
    OwnerParent parent;
    ASSERT_TRUE(parent.CreateEx(0, nullptr, "p", WS_OVERLAPPED | WS_VISIBLE, RECT{0, 0, 200, 100}, nullptr, 0));
    CButton settings;
    ASSERT_TRUE(settings.Create("Settings", WS_VISIBLE | BS_OWNERDRAW, RECT{20, 30, 100, 60}, &parent, 1252));
    win::PaintAll();
    ASSERT_FALSE(parent.states.empty());
    EXPECT_EQ(parent.states.back() & ODS_SELECTED, 0u);
    Image* shot = win::CaptureWindow(parent.m_hWnd);
    auto at = [&](int x, int y) {
        const unsigned char* p = shot->GetData() + y * shot->GetRowByte() + x * 3;
        return RGB(p[2], p[1], p[0]);
    };
    EXPECT_EQ(at(50, 45), RGB(210, 215, 210));
    EXPECT_EQ(at(20, 30), RGB(255, 0, 0));             // the band, clipped to the button
    EXPECT_EQ(at(99, 32), RGB(255, 0, 0));
    EXPECT_EQ(at(19, 30), GetSysColor(COLOR_WINDOW));  // the parent's background beside it
    EXPECT_EQ(at(100, 30), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(at(50, 29), GetSysColor(COLOR_WINDOW));
    ReleaseImage(shot);
    // While pressed the button is drawn selected.
    win::user::LeftDown(settings.m_hWnd, POINT{5, 5});
    win::PaintAll();
    EXPECT_TRUE(parent.states.back() & ODS_SELECTED);
    win::user::LeftUp(settings.m_hWnd, POINT{5, 5});
}

TEST_F(SurfaceTest, ControlsShowTheirTextWithARealFont)
{
    ASSERT_FALSE(CDC::FindFontFile(false).empty()) << "install fonts-dejavu-core";
    CWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, nullptr, "p", WS_OVERLAPPED | WS_VISIBLE, RECT{0, 0, 200, 60}, nullptr, 0));
    CStatic label;
    ASSERT_TRUE(label.Create("R: 75%", WS_VISIBLE, RECT{10, 10, 110, 30}, &parent, 1251));
    win::PaintAll();
    Image* shot = win::CaptureWindow(label.m_hWnd);
    int dark = 0;
    for (int y = 0; y < shot->GetHeight(); ++y)
        for (int x = 0; x < shot->GetWidth(); ++x) dark += shot->GetData()[y * shot->GetRowByte() + 3 * x] < 100 ? 1 : 0;
    EXPECT_GT(dark, 20);  // the glyphs
    ReleaseImage(shot);
    // A new text repaints the control.
    label.SetWindowText("");
    win::PaintAll();
    shot = win::CaptureWindow(label.m_hWnd);
    for (int y = 0; y < shot->GetHeight(); ++y)
        for (int x = 0; x < shot->GetWidth(); ++x) ASSERT_GT(shot->GetData()[y * shot->GetRowByte() + 3 * x], 150);
    ReleaseImage(shot);
}

TEST_F(SurfaceTest, APrintedDocumentBecomesAPdfWithOnePagePerPrintedPage)
{
    ASSERT_TRUE(testkit::RequireTool("pdftoppm"));
    ASSERT_TRUE(testkit::RequireTool("pdfinfo"));
    const std::string pdf = Home().file("print.pdf");
    CPrinterDC dc;
    // 2 x 1.5 inches at 100 dots per inch, a 0.1 inch unprintable border.
    ASSERT_TRUE(dc.CreatePrinter(pdf, 100, POINT{2000, 1500}, RECT{100, 100, 100, 100}));
    EXPECT_EQ(dc.GetDeviceCaps(HORZRES), 180);
    EXPECT_EQ(dc.GetDeviceCaps(PHYSICALOFFSETX), 10);
    ASSERT_EQ(dc.StartDoc("test"), 1);
    ASSERT_EQ(dc.StartPage(), 1);
    dc.FillSolidRect(0, 0, 50, 40, RGB(255, 0, 0));
    Dib dib(30, 20, 24, false);
    Pattern(dib);
    StretchDIBits(&dc, 60, 0, 30, 20, 0, 0, 30, 20, dib.bits.data(), dib.Info(), DIB_RGB_COLORS, SRCCOPY);
    dc.FillSolidRect(170, 120, 50, 50, RGB(0, 0, 255));  // runs past the printable area
    ASSERT_EQ(dc.EndPage(), 1);
    ASSERT_EQ(dc.StartPage(), 1);
    dc.FillSolidRect(0, 0, 180, 130, RGB(0, 128, 0));
    ASSERT_EQ(dc.EndPage(), 1);
    ASSERT_EQ(dc.EndDoc(), 1);

    const auto info = testkit::Run("pdfinfo '" + pdf + "'");
    ASSERT_EQ(info.status, 0) << info.output;
    EXPECT_EQ(testkit::PdfInfoField(info.output, "Pages"), "2") << info.output;
    EXPECT_EQ(testkit::PdfInfoField(info.output, "Page size"), "144 x 108 pts") << info.output;
    // Rendered ten times finer: the renderer smooths picture edges over a
    // pixel or two, so each printed pixel is read at the centre of its block.
    const auto render = testkit::Run("pdftoppm -r 1000 '" + pdf + "' '" + Home().file("page") + "'");
    ASSERT_EQ(render.status, 0) << render.output;
    Image* first = testkit::ReadPnm(Home().file("page-1.ppm"));
    Image* second = testkit::ReadPnm(Home().file("page-2.ppm"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(first->GetWidth(), 2000);
    ASSERT_EQ(first->GetHeight(), 1500);
    auto rgb = [](Image* img, int x, int y) {
        const unsigned char* p = img->GetData() + (10 * y + 5) * img->GetRowByte() + 3 * (10 * x + 5);  // R, G, B
        return RGB(p[0], p[1], p[2]);
    };
    // The red box starts at the printable corner (10, 10).
    EXPECT_EQ(rgb(first, 10, 10), RGB(255, 0, 0));
    EXPECT_EQ(rgb(first, 59, 49), RGB(255, 0, 0));
    EXPECT_EQ(rgb(first, 9, 10), RGB(255, 255, 255));
    EXPECT_EQ(rgb(first, 60, 10), RGB(255, 255, 255));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) ASSERT_EQ(rgb(first, 70 + x, 10 + y), dib.Expected(x, y)) << x << "," << y;
    // The blue box stops at the printable area's edge.
    EXPECT_EQ(rgb(first, 189, 139), RGB(0, 0, 255));
    EXPECT_EQ(rgb(first, 190, 139), RGB(255, 255, 255));
    EXPECT_EQ(rgb(first, 189, 140), RGB(255, 255, 255));
    EXPECT_EQ(rgb(second, 100, 75), RGB(0, 128, 0));
    EXPECT_EQ(rgb(second, 5, 75), RGB(255, 255, 255));
    ReleaseImage(first);
    ReleaseImage(second);
}

}  // namespace
