// Drawing a perspective frame straight onto a window's 32-bit pixels against
// the two passes it replaces: the frame enlarged into a frame of its own and
// stretched one to one by StretchDIBits, and StretchDIBits stretching the
// frame itself. Every byte of the surface is compared (the unused fourth
// bytes and the pixels outside the rectangle or the clip included), with
// the SIMD rows and the plain ones, over enlargements, one to one,
// shrinking, rectangles off the surface's edges and clipped contexts.
#include "viewer/lumivex/view_frame_draw.h"

#include "imaging/ref_count.h"
#include "platform/win/dib.h"
#include "viewer/lumivex/view_enlarge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

// The address checker's calls, where its runtime is linked in (the test code
// itself is not instrumented); null in other builds.
extern "C" {
void __asan_poison_memory_region(void const volatile* addr, size_t size) __attribute__((weak));
void __asan_unpoison_memory_region(void const volatile* addr, size_t size) __attribute__((weak));
}

namespace {

// Makes bytes unreadable (any read of them a reported fault) or readable
// again, where the address checker runs; nothing elsewhere.
void Unreadable(const void* data, size_t size)
{
    if (__asan_poison_memory_region && size > 0) __asan_poison_memory_region(data, size);
}

void Readable(const void* data, size_t size)
{
    if (__asan_unpoison_memory_region && size > 0) __asan_unpoison_memory_region(data, size);
}

constexpr int kSurfaceW = 180, kSurfaceH = 120;

uint32_t Next(uint32_t& seed)
{
    seed = seed * 1664525u + 1013904223u;
    return seed >> 24;
}

RefPtr<Image> Frame(int w, int h, int channels, uint32_t seed)
{
    auto img = RefPtr<Image>::adopt(new Image());
    EXPECT_EQ(img->BmpInit(w, h, channels), 0);
    for (size_t i = 0; i < img->GetDataSize(); ++i) img->GetData()[i] = static_cast<unsigned char>(Next(seed));
    return img;
}

// A window-like surface of 32-bit pixels full of noise (fourth bytes too),
// drawn into through a context with an origin and an optional clip.
struct Surface {
    std::shared_ptr<std::vector<unsigned char>> bytes;
    CDC dc;

    Surface(POINT origin, const RECT* clip, int mode = COLORONCOLOR)
        : bytes(std::make_shared<std::vector<unsigned char>>(size_t{kSurfaceW} * kSurfaceH * 4))
    {
        uint32_t seed = 5;
        for (unsigned char& b : *bytes) b = static_cast<unsigned char>(Next(seed));
        EXPECT_TRUE(dc.AttachPixels(bytes, bytes->data(), kSurfaceW, kSurfaceH, kSurfaceW * 4, 4));
        dc.SetViewportOrg(origin.x, origin.y);
        if (clip) dc.IntersectClipRect(clip);
        dc.SetStretchBltMode(mode);
    }
};

void StretchDib(CDC& dc, int x, int y, int w, int h, const Image& frame)
{
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = frame.GetWidth();
    header.biHeight = -frame.GetHeight();
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    EXPECT_EQ(StretchDIBits(&dc, x, y, w, h, 0, 0, frame.GetWidth(), frame.GetHeight(), frame.GetData(),
                            reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS, SRCCOPY),
              frame.GetHeight());
}

TEST(DrawViewFrame, WritesTheBytesOfTheWindowsStretch)
{
    const RECT clipRect{30, 7, 151, 90};
    const struct {
        int sw, sh, dw, dh, x, y;
        POINT origin;
        bool clipped;
    } cases[] = {
        {77, 48, 154, 96, 10, 12, {3, 4}, false},    // the moving frame: half size shown at twice
        {64, 40, 128, 80, 20, 30, {0, 0}, false},    // rows without padding: the last loads end at the frame's end
        {5, 3, 17, 9, 0, 0, {40, 50}, false},        // odd enlargement
        {60, 45, 60, 45, 7, 9, {0, 0}, false},       // one to one
        {100, 70, 101, 71, 15, 20, {0, 0}, true},    // barely larger, clipped
        {150, 100, 61, 37, 2, 3, {10, 10}, false},   // shrinking: groups the shuffle cannot take
        {90, 60, 200, 130, -30, -20, {0, 0}, false}, // past every edge of the surface
        {81, 53, 163, 107, 25, 0, {-5, 6}, true},    // origin and clip together
        {33, 21, 66, 42, 300, 10, {0, 0}, false},    // wholly off the surface
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << " at " << c.x
                                        << "," << c.y);
        const RefPtr<Image> frame = Frame(c.sw, c.sh, 3, 17u + static_cast<uint32_t>(c.dw));
        const RECT* clip = c.clipped ? &clipRect : nullptr;
        // The previous path: enlarged (or shrunk) into a frame of the shown
        // size, then stretched one to one.
        Surface twoPass(c.origin, clip);
        const RefPtr<Image> shown = Frame(c.dw, c.dh, 3, 1);
        ASSERT_TRUE(EnlargeViewFrame(*frame, *shown));
        StretchDib(twoPass.dc, c.x, c.y, c.dw, c.dh, *shown);
        Surface stretched(c.origin, clip);
        StretchDib(stretched.dc, c.x, c.y, c.dw, c.dh, *frame);
        ASSERT_EQ(*twoPass.bytes, *stretched.bytes);
        Surface fast(c.origin, clip), plain(c.origin, clip);
        ASSERT_TRUE(DrawViewFrame(fast.dc, c.x, c.y, c.dw, c.dh, *frame));
        ASSERT_TRUE(DrawViewFramePlain(plain.dc, c.x, c.y, c.dw, c.dh, *frame));
        EXPECT_EQ(*fast.bytes, *twoPass.bytes);
        EXPECT_EQ(*plain.bytes, *twoPass.bytes);
    }
}

// The frame's rows put on as they come (in bands of any size, in any order,
// rows past the frame's ends asked for too): all of them give DrawViewFrame's
// bytes, and after only some of them exactly the target rows whose centre
// lies on one of those frame rows are written, the rest keep their bytes.
// A band reads no frame row outside it (other threads are still drawing
// those): the other rows are made unreadable while it is drawn, which the
// address-checked build enforces.
TEST(DrawViewFrame, FrameRowsDrawnAsTheyComeGiveTheWholeDrawing)
{
    const RECT clipRect{30, 7, 151, 90};
    const struct {
        int sw, sh, dw, dh, x, y;
        POINT origin;
        bool clipped;
        int band;  // frame rows per call
    } cases[] = {
        {77, 48, 154, 96, 10, 12, {3, 4}, false, 6},     // the moving frame: half size shown at twice
        {64, 40, 128, 80, 20, 30, {0, 0}, false, 1},     // rows without padding, one at a time
        {5, 3, 17, 9, 0, 0, {40, 50}, false, 2},         // odd enlargement
        {60, 45, 60, 45, 7, 9, {0, 0}, false, 13},       // one to one
        {150, 100, 61, 37, 2, 3, {10, 10}, false, 7},    // shrinking: frame rows no target row shows
        {90, 60, 200, 130, -30, -20, {0, 0}, false, 5},  // past every edge of the surface
        {81, 53, 163, 107, 25, 0, {-5, 6}, true, 4},     // origin and clip together
        {33, 21, 66, 42, 300, 10, {0, 0}, false, 3},     // wholly off the surface
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << " at " << c.x
                                        << "," << c.y);
        const RefPtr<Image> frame = Frame(c.sw, c.sh, 3, 29u + static_cast<uint32_t>(c.dh));
        const RECT* clip = c.clipped ? &clipRect : nullptr;
        Surface whole(c.origin, clip);
        ASSERT_TRUE(DrawViewFrame(whole.dc, c.x, c.y, c.dw, c.dh, *frame));
        for (const bool simd : {true, false}) {
            // From the bottom up, with the rows past both ends.
            Surface rows(c.origin, clip);
            ViewFrameRows drawer;
            ASSERT_TRUE(drawer.Prepare(rows.dc, c.x, c.y, c.dw, c.dh, *frame, simd));
            for (int last = c.sh + 2; last >= -2; last -= c.band) {
                const int first = last - c.band + 1;
                unsigned char* data = frame->GetData();
                const size_t rowBytes = static_cast<size_t>(frame->GetRowByte()), bytes = frame->GetDataSize();
                const size_t from = rowBytes * static_cast<size_t>(std::clamp(first, 0, c.sh));
                const size_t to = rowBytes * static_cast<size_t>(std::clamp(last + 1, 0, c.sh));
                Unreadable(data, from);
                Unreadable(data + to, bytes - to);
                drawer.DrawFrameRows(first, last);
                Readable(data, bytes);
            }
            EXPECT_EQ(*rows.bytes, *whole.bytes) << (simd ? "SIMD" : "plain");
        }
        // The upper half of the frame only.
        const int half = c.sh / 2;
        Surface upper(c.origin, clip);
        const std::vector<unsigned char> before = *upper.bytes;
        ViewFrameRows drawer;
        ASSERT_TRUE(drawer.Prepare(upper.dc, c.x, c.y, c.dw, c.dh, *frame));
        for (int first = 0; first < half; first += c.band) drawer.DrawFrameRows(first, std::min(half, first + c.band) - 1);
        // Surface row r is rectangle row j = r - top; its centre lies on frame
        // row floor((2j + 1) sh / (2 dh)).
        const int top = c.y + c.origin.y;
        for (int r = 0; r < kSurfaceH; ++r) {
            const int j = r - top;
            const bool shown = j >= 0 && j < c.dh && (2 * j + 1) * c.sh / (2 * c.dh) < half;
            const size_t from = size_t(r) * kSurfaceW * 4, to = from + kSurfaceW * 4;
            const std::vector<unsigned char>& want = shown ? *whole.bytes : before;
            ASSERT_TRUE(std::equal(upper.bytes->begin() + from, upper.bytes->begin() + to, want.begin() + from))
                << "surface row " << r << (shown ? " (drawn)" : " (kept)");
        }
    }
}

// Where DrawViewFrame declines, so does the row drawer, and its rows then
// draw nothing.
TEST(DrawViewFrame, TheRowDrawerDeclinesWhatDrawViewFrameDeclines)
{
    const RefPtr<Image> rgb = Frame(40, 30, 3, 3), grey = Frame(40, 30, 1, 4);
    Surface untouched(POINT{0, 0}, nullptr);
    Surface plain(POINT{0, 0}, nullptr), halftone(POINT{0, 0}, nullptr, HALFTONE), scaled(POINT{0, 0}, nullptr);
    scaled.dc.SetMapMode(MM_ANISOTROPIC);
    scaled.dc.SetWindowExt(1, 1);
    scaled.dc.SetViewportExt(2, 2);
    const struct {
        const char* name;
        Surface& surface;
        const Image& frame;
        int w, h;
    } cases[] = {
        {"a palette frame", plain, *grey, 80, 60},
        {"nothing to stretch to", plain, *rgb, 0, 60},
        {"averaging when shrinking", halftone, *rgb, 20, 15},
        {"logical pixels twice as large", scaled, *rgb, 40, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ViewFrameRows drawer;
        EXPECT_FALSE(drawer.Prepare(c.surface.dc, 5, 5, c.w, c.h, c.frame));
        drawer.DrawFrameRows(0, c.frame.GetHeight() - 1);
        drawer.DrawAll();
        EXPECT_EQ(*c.surface.bytes, *untouched.bytes);
    }
    // A drawer that declines after a drawing it prepared forgets that one.
    ViewFrameRows drawer;
    Surface drawn(POINT{0, 0}, nullptr);
    ASSERT_TRUE(drawer.Prepare(drawn.dc, 5, 5, 80, 60, *rgb));
    EXPECT_FALSE(drawer.Prepare(drawn.dc, 5, 5, 80, 60, *grey));
    drawer.DrawFrameRows(0, 29);
    EXPECT_EQ(*drawn.bytes, *untouched.bytes);
}

TEST(DrawViewFrame, LeavesOtherContextsAndFramesToTheWindowsStretch)
{
    const RefPtr<Image> rgb = Frame(40, 30, 3, 3), grey = Frame(40, 30, 1, 4);
    Surface untouched(POINT{0, 0}, nullptr);
    {
        Surface s(POINT{0, 0}, nullptr);
        EXPECT_FALSE(DrawViewFrame(s.dc, 5, 5, 80, 60, *grey));  // a palette frame
        EXPECT_FALSE(DrawViewFrame(s.dc, 5, 5, 0, 60, *rgb));    // nothing to stretch to
        EXPECT_EQ(*s.bytes, *untouched.bytes);
    }
    {
        Surface s(POINT{0, 0}, nullptr, HALFTONE);
        EXPECT_FALSE(DrawViewFrame(s.dc, 5, 5, 20, 15, *rgb));  // averaging when shrinking
        EXPECT_EQ(*s.bytes, *untouched.bytes);
    }
    {
        Surface s(POINT{0, 0}, nullptr);
        s.dc.SetMapMode(MM_ANISOTROPIC);
        s.dc.SetWindowExt(1, 1);
        s.dc.SetViewportExt(2, 2);  // logical pixels twice as large
        EXPECT_FALSE(DrawViewFrame(s.dc, 5, 5, 40, 30, *rgb));
        EXPECT_EQ(*s.bytes, *untouched.bytes);
    }
    {
        // A 24-bit target (an image) is the window's stretch's to draw.
        const RefPtr<Image> target = Frame(100, 80, 3, 9);
        const std::vector<unsigned char> before(target->GetData(), target->GetData() + target->GetDataSize());
        CDC dc(target.get());
        EXPECT_FALSE(DrawViewFrame(dc, 0, 0, 80, 60, *rgb));
        EXPECT_TRUE(std::equal(before.begin(), before.end(), target->GetData()));
    }
}

}  // namespace
