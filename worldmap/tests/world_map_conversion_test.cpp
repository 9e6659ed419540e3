#include "worldmap/world_map_base.h"

#include "worldmap/world_map.h"

#include "core/logger.h"
#include "testkit/testkit.h"
#include "worldmap/tests/map_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <ostream>
#include <random>
#include <set>
#include <vector>

using maptest::AllocWatch;
using maptest::Code;
using maptest::FillCoded;
using maptest::FilledImage;
using maptest::Pixel;

namespace {

constexpr uint8_t kSentinel = 0xEE;

int64_t WrapRef(int64_t v, int64_t n)
{
    while (v < 0) v += n;
    while (v >= n) v -= n;
    return v;
}

// Slow copy reference, pixel by pixel from the definition: output (d + j,
// e + k) holds row index a + s/2 - W/2 + j of map row firstRow + k, wrapped
// into the row, when that index is stored; other pixels keep their value.
void CopyReference(const WorldMapBase& map, int a, int b, int firstRow, int lastRow, Image* image, int d, int e)
{
    const int mc = map.GetChannels();
    const int ic = image->GetChannels();
    if (!(mc == ic || (mc == 1 && ic == 3))) return;
    for (int r = firstRow; r <= lastRow; ++r) {
        const int y = e + (r - firstRow);
        if (y < 0 || y >= image->GetHeight()) continue;
        const WorldMapBase::ScanLine* line = map.GetScanLine(r);
        if (!line || !line->m_line) continue;
        const int s = line->m_samples;
        for (int64_t j = 0; j <= int64_t(b) - a; ++j) {
            const int64_t x = d + j;
            if (x < 0 || x >= image->GetWidth()) continue;
            const int64_t index = WrapRef(int64_t(a) + s / 2 - map.GetWidth() / 2 + j, s);
            const uint8_t* src = map.GetDataPtr(static_cast<int>(index), r);
            if (!src) continue;
            uint8_t* out = Pixel(image, static_cast<int>(x), y);
            for (int c = 0; c < ic; ++c) out[c] = src[mc == ic ? c : 0];
        }
    }
}

// Slow resampling reference from the definition, with floor for the integer
// part: pos = scale * i + s/2, linear between stored samples v and v + 1, the
// last stored sample itself, 0 elsewhere and on rows without storage.
void ResampleReference(const WorldMapBase& map, int a, int b, int firstRow, int lastRow, Image* image, int d, int e)
{
    const int mc = map.GetChannels();
    const int ic = image->GetChannels();
    if (!(mc == ic || (mc == 1 && ic == 3))) return;
    for (int r = firstRow; r <= lastRow; ++r) {
        const int y = e + (r - firstRow);
        if (y < 0 || y >= image->GetHeight()) continue;
        const WorldMapBase::ScanLine* line = map.GetScanLine(r);
        for (int64_t i = int64_t(a) - map.GetWidth() / 2; i <= int64_t(b) - map.GetWidth() / 2; ++i) {
            const int64_t x = d + (i - (int64_t(a) - map.GetWidth() / 2));
            if (x < 0 || x >= image->GetWidth()) continue;
            uint8_t value[3] = {0, 0, 0};
            if (line && line->m_line) {
                const int s = line->m_samples;
                const float pos = line->m_scale * static_cast<float>(i) + static_cast<float>(s / 2);
                const float u = std::floor(pos);
                const float w = pos - u;
                const int v = static_cast<int>(WrapRef(static_cast<int64_t>(u), s));
                const uint8_t* p = map.GetDataPtr(v, r);
                if (p && v < line->m_last) {
                    const uint8_t* q = map.GetDataPtr(v + 1, r);
                    for (int c = 0; c < mc; ++c)
                        value[c] = static_cast<uint8_t>(static_cast<float>(p[c]) +
                                                        static_cast<float>(q[c] - p[c]) * w);
                } else if (p) {
                    for (int c = 0; c < mc; ++c) value[c] = p[c];
                }
            }
            uint8_t* out = Pixel(image, static_cast<int>(x), y);
            for (int c = 0; c < ic; ++c) out[c] = value[mc == ic ? c : 0];
        }
    }
}

struct MapKind {
    const char* name;
    int width, type, channels;
    bool block;
};

void PrintTo(const MapKind& kind, std::ostream* os)
{
    *os << kind.name;
}

std::unique_ptr<WorldMapBase> MakeMap(const MapKind& kind)
{
    auto map = std::make_unique<WorldMapBase>();
    REGION2 region{-0.6f, 0.4f, -1.0f, 1.2f, 2.2f, 1.0f};
    EXPECT_TRUE(map->Init(kind.width, kind.block ? &region : nullptr, kind.type, kind.channels));
    FillCoded(*map);
    return map;
}

const MapKind kKinds[] = {
    {"rect full rgb", 64, 0, 3, false},
    {"rect block rgb", 64, 0, 3, true},
    {"ellipse full gray", 64, 1, 1, false},
    {"ellipse block rgb", 64, 1, 3, true},
};

struct SpanCase {
    int a, b, firstRow, lastRow, d, e, imageWidth, imageHeight;
};

// Spans inside the row, across the seam, starting left of 0, longer than a
// turn, beyond W; outputs placed partly outside the image on every side.
const SpanCase kSpans[] = {
    {0, 63, 0, 32, 0, 0, 64, 33},
    {54, 69, 3, 30, 2, 1, 20, 30},       // W - 10 .. W + 5
    {-7, 12, 10, 20, 0, 0, 20, 11},      // negative start
    {-70, -50, 5, 8, 0, 0, 21, 4},       // wholly left of 0
    {0, 140, 14, 18, 1, 0, 150, 6},      // more than two turns
    {70, 100, 16, 16, 0, 0, 31, 1},      // beyond W
    {10, 40, 12, 20, -5, -3, 20, 10},    // output starts left of / above the image
    {10, 40, 12, 20, 15, 6, 20, 10},     // output runs past the right and bottom
    {20, 30, -4, 40, 0, 0, 11, 45},      // rows outside the map
    {30, 20, 0, 5, 0, 0, 10, 6},         // b < a: nothing
    {0, 63, 0, 32, 64, 33, 64, 33},      // entirely outside the image
};

class PanoImageTest : public testing::TestWithParam<MapKind> {};

TEST_P(PanoImageTest, CopyMatchesSlowReference)
{
    const MapKind& kind = GetParam();
    auto map = MakeMap(kind);
    for (int ic : {1, 3}) {
        for (const SpanCase& c : kSpans) {
            SCOPED_TRACE(testing::Message() << kind.name << " ch " << ic << " span " << c.a << ".." << c.b << " rows "
                                            << c.firstRow << ".." << c.lastRow << " at " << c.d << "," << c.e);
            Image* got = FilledImage(c.imageWidth, c.imageHeight, ic, kSentinel);
            Image* want = FilledImage(c.imageWidth, c.imageHeight, ic, kSentinel);
            map->CopyPanoImage(c.a, c.b, c.firstRow, c.lastRow, got, c.d, c.e);
            CopyReference(*map, c.a, c.b, c.firstRow, c.lastRow, want, c.d, c.e);
            EXPECT_TRUE(testkit::SamePixels(*got, *want));
            ReleaseImage(got);
            ReleaseImage(want);
        }
    }
}

TEST_P(PanoImageTest, ResampleMatchesSlowReference)
{
    const MapKind& kind = GetParam();
    auto map = MakeMap(kind);
    for (int ic : {1, 3}) {
        for (const SpanCase& c : kSpans) {
            SCOPED_TRACE(testing::Message() << kind.name << " ch " << ic << " span " << c.a << ".." << c.b);
            Image* got = FilledImage(c.imageWidth, c.imageHeight, ic, kSentinel);
            Image* want = FilledImage(c.imageWidth, c.imageHeight, ic, kSentinel);
            map->ComputePanoImage_rect(c.a, c.b, c.firstRow, c.lastRow, got, c.d, c.e);
            ResampleReference(*map, c.a, c.b, c.firstRow, c.lastRow, want, c.d, c.e);
            EXPECT_TRUE(testkit::SamePixels(*got, *want));
            ReleaseImage(got);
            ReleaseImage(want);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Maps, PanoImageTest, testing::ValuesIn(kKinds),
                         [](const testing::TestParamInfo<MapKind>& info) {
                             std::string n = info.param.name;
                             for (char& ch : n)
                                 if (ch == ' ') ch = '_';
                             return n;
                         });

// A rectangular map, columns W - 10 to W + 5: the last ten samples of the row
// and then the first six, in sixteen consecutive pixels.
TEST(CopyPanoImage, SpanAcrossTheSeam)
{
    const int W = 64;
    WorldMapBase map(W, nullptr, 0, 3);
    FillCoded(map);
    Image* out = FilledImage(16, 1, 3, kSentinel);
    map.CopyPanoImage(W - 10, W + 5, 7, 7, out, 0, 0);
    for (int j = 0; j < 16; ++j) {
        const int index = j < 10 ? W - 10 + j : j - 10;
        for (int c = 0; c < 3; ++c) EXPECT_EQ(Pixel(out, j, 0)[c], Code(7, index, c)) << j;
    }
    // Starting left of 0: the wrapped samples from the end of the row first.
    map.CopyPanoImage(-3, 12, 7, 7, out, 0, 0);
    for (int j = 0; j < 16; ++j) {
        const int index = j < 3 ? W - 3 + j : j - 3;
        EXPECT_EQ(Pixel(out, j, 0)[0], Code(7, index, 0)) << j;
    }
    ReleaseImage(out);
}

// Rows whose stored samples miss the span keep their pixels, and the rows
// after them still land on their own image rows.
TEST(CopyPanoImage, RowsMissingTheSpanKeepTheirPixels)
{
    REGION2 region{-0.2f, 0.2f, -0.5f, 0.5f, 1.0f, 0.4f};
    WorldMapBase map(64, &region, 1, 1);  // block of a few columns round the centre
    FillCoded(map);
    const RECT* rect = map.GetMapRect();
    Image* out = FilledImage(40, 12, 1, kSentinel);
    // Rows rect->top - 2 .. rect->top + 9: the first two have no storage.
    map.CopyPanoImage(0, 39, rect->top - 2, rect->top + 9, out, 0, 0);
    for (int y = 0; y < 12; ++y) {
        const int r = rect->top - 2 + y;
        const WorldMapBase::ScanLine* line = map.GetScanLine(r);
        for (int j = 0; j < 40; ++j) {
            const int index = j + line->m_samples / 2 - 32;
            const uint8_t* s = line->m_line ? map.GetDataPtr(index, r) : nullptr;
            EXPECT_EQ(*Pixel(out, j, y), s ? *s : kSentinel) << j << "," << y;
        }
    }
    ReleaseImage(out);
}

TEST(CopyPanoImage, ChannelPairing)
{
    WorldMapBase gray(16, nullptr, 0, 1);
    FillCoded(gray);
    Image* rgb = FilledImage(16, 1, 3, kSentinel);
    gray.CopyPanoImage(0, 15, 4, 4, rgb, 0, 0);
    for (int j = 0; j < 16; ++j)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(Pixel(rgb, j, 0)[c], Code(4, j, 0));

    WorldMapBase color(16, nullptr, 0, 3);
    FillCoded(color);
    Image* one = FilledImage(16, 1, 1, kSentinel);
    color.ComputePanoImage(0, 15, 4, 4, one, 0, 0);  // never written
    for (int j = 0; j < 16; ++j) EXPECT_EQ(*Pixel(one, j, 0), kSentinel);
    ReleaseImage(rgb);
    ReleaseImage(one);
}

// W = 8 elliptical: row 1 has 7 samples, scale 0.875, centre 3. Samples hold
// 10, 20, ... 70. Output i = -4..3 samples positions 0.875 i + 3. The first
// falls at -0.5, which floors to -1 (sample 6, the last stored one, copied);
// truncation would give a fraction of -0.5 and an extrapolated 5.
TEST(ComputePanoImage, EllipticalRowByHand)
{
    WorldMapBase map(8, nullptr, 1, 1);
    WorldMapBase::ScanLine* line = map.GetScanLine(1);
    ASSERT_EQ(line->m_samples, 7);
    for (int i = 0; i < 7; ++i) line->m_line[i] = static_cast<uint8_t>(10 * (i + 1));
    map.GetScanLine(0)->m_line[0] = 99;
    Image* out = FilledImage(8, 2, 1, kSentinel);
    map.ComputePanoImage(0, 7, 0, 1, out, 0, 0);  // type 1: resampled
    const uint8_t want[8] = {70, 13, 22, 31, 40, 48, 57, 66};
    for (int j = 0; j < 8; ++j) {
        EXPECT_EQ(*Pixel(out, j, 1), want[j]) << j;
        EXPECT_EQ(*Pixel(out, j, 0), 99) << j;  // the pole's one sample everywhere
    }
    ReleaseImage(out);
}

TEST(ComputePanoImage, EllipticalBlockGivesBlackOutsideTheStoredRange)
{
    REGION2 region{-0.2f, 0.2f, -0.5f, 0.5f, 1.0f, 0.4f};
    WorldMapBase map(64, &region, 1, 3);
    FillCoded(map);
    const int row = map.GetMapRect()->top;
    Image* out = FilledImage(64, 3, 3, kSentinel);
    map.ComputePanoImage(0, 63, row - 1, row + 1, out, 0, 0);
    for (int j = 0; j < 64; ++j) EXPECT_EQ(Pixel(out, j, 0)[1], 0) << j;  // row without storage
    EXPECT_EQ(Pixel(out, 0, 1)[0], 0);   // far left: not stored
    EXPECT_EQ(Pixel(out, 63, 1)[0], 0);
    EXPECT_NE(Pixel(out, 32, 1)[0], 0);  // the centre is stored
    ReleaseImage(out);
}

// ---------------------------------------------------------------------------
// Maps from images

// Every image pixel (j, k) must be found at map row row + k, row index
// column + j + s/2 - W/2, wherever that index is stored.
void ExpectImageInMap(const WorldMapBase& map, Image* image, int column, int row, int* found)
{
    const int ch = image->GetChannels();
    const int W = map.GetWidth();
    *found = 0;
    for (int k = 0; k < image->GetHeight(); ++k) {
        const WorldMapBase::ScanLine* line = map.GetScanLine(row + k);
        if (!line || !line->m_line) continue;
        for (int j = 0; j < image->GetWidth(); ++j) {
            const uint8_t* s = map.GetDataPtr(column + j + line->m_samples / 2 - W / 2, row + k);
            if (!s) continue;
            ++*found;
            for (int c = 0; c < ch; ++c) ASSERT_EQ(s[c], Pixel(image, j, k)[c]) << j << "," << k;
        }
    }
}

TEST(CopyFromImage, NarrowImageIsPlacedCentredAndLeavesTheAreaEmpty)
{
    const int W = 64;
    Image* image = testkit::MakePatternImage(20, 10, 3);
    WorldMapBase map;
    ASSERT_TRUE(map.CopyFromImage(image, W, W / 2 - 10, 5, 0));
    EXPECT_EQ(map.GetAllocMode(), 2);
    EXPECT_EQ(map.GetMapRect()->left, W / 2 - 10);
    EXPECT_EQ(map.GetMapRect()->right, W / 2 + 9);
    EXPECT_EQ(map.GetMapRect()->top, 5);
    EXPECT_EQ(map.GetMapRect()->bottom, 14);
    int found = 0;
    ExpectImageInMap(map, image, W / 2 - 10, 5, &found);
    EXPECT_EQ(found, 200);
    int x0, y0, x1, y1, w, h;
    EXPECT_FALSE(map.GetDataArea(x0, y0, x1, y1, w, h));
    EXPECT_NE(map.GetData(), image->GetData());
    ReleaseImage(image);
}

TEST(CopyFromImage, ExactSizeImageMakesTheWholeSphere)
{
    Image* image = testkit::MakePatternImage(64, 33, 1);
    WorldMapBase map;
    ASSERT_TRUE(map.CopyFromImage(image, 64, 0, 0, 1));
    EXPECT_EQ(map.GetAllocMode(), 0);
    int found = 0;
    ExpectImageInMap(map, image, 0, 0, &found);
    EXPECT_GT(found, 0);
    ReleaseImage(image);
}

TEST(CopyFromImage, OversizedAndBadImages)
{
    // Taller and wider than the sphere: only what fits is kept.
    Image* big = testkit::MakePatternImage(80, 50, 3);
    WorldMapBase map;
    ASSERT_TRUE(map.CopyFromImage(big, 64, -8, -5, 0));
    EXPECT_EQ(map.GetMapRect()->top, 0);
    EXPECT_EQ(map.GetMapRect()->bottom, 32);
    int found = 0;
    ExpectImageInMap(map, big, -8, -5, &found);
    EXPECT_GT(found, 0);
    ReleaseImage(big);

    Image* planar = new Image();
    planar->SetSize(8, 8);
    planar->SetChannels(3);
    planar->SetDataType(IMG_UINT8);
    planar->SetDataLayoutType(IMG_FORMAT_PLANAR);
    planar->Init();
    Image* wide = new Image();
    wide->Create(8, 8, 1, IMG_UINT16);
    for (Image* bad : {planar, wide}) {
        LogCapture log;
        EXPECT_FALSE(map.CopyFromImage(bad, 64, 0, 0, 0));
        EXPECT_FALSE(map.TransferFromImage(bad, 64, 0, 0, 0));
        EXPECT_EQ(log.errorCount(), 2);
        ReleaseImage(bad);
    }
    EXPECT_FALSE(map.CopyFromImage(nullptr, 64, 0, 0, 0));
}

// An image of exactly W x (W/2 + 1) becomes the whole sphere over the image's
// own buffer. The map keeps the image alive, so either may be released first
// and the buffer is freed once, by its owner (ASan checks both orders).
TEST(TransferFromImage, ExactImageBecomesTheWholeSphere)
{
    for (bool mapFirst : {true, false}) {
        Image* image = testkit::MakePatternImage(64, 33, 3);
        Image* copy = image->Duplicate();
        WorldMapBase* map = new WorldMapBase();
        ASSERT_TRUE(map->TransferFromImage(image, 64, 0, 0, 0));
        EXPECT_EQ(map->GetAllocMode(), 0);
        EXPECT_EQ(map->GetData(), image->GetData());
        EXPECT_TRUE(map->IsFullPanorama());
        int x0, y0, x1, y1, w, h;
        ASSERT_TRUE(map->GetDataArea(x0, y0, x1, y1, w, h));
        EXPECT_EQ(w, 64);
        EXPECT_EQ(h, 33);
        if (mapFirst) {
            map->Release();
            EXPECT_TRUE(testkit::SamePixels(*image, *copy));  // the image still reads its pixels
            ReleaseImage(image);
        } else {
            ReleaseImage(image);
            Image* view = map->GetDataImage();
            EXPECT_TRUE(testkit::SamePixels(*view, *copy));  // the map still reads them
            ReleaseImage(view);
            map->Release();
        }
        ReleaseImage(copy);
    }
}

// A buffer from malloc is freed with free by the image that owns it, not by
// the map (ASan reports a mismatched deallocation otherwise).
TEST(TransferFromImage, MallocBufferIsFreedByItsOwner)
{
    Image* image = new Image();
    image->SetSize(40, 21);
    image->SetChannels(1);
    image->SetDataType(IMG_UINT8);
    image->ComputeRowBytes();
    auto* buffer = static_cast<unsigned char*>(std::calloc(40 * 21, 1));
    image->SetData(buffer, true);
    WorldMapBase map;
    ASSERT_TRUE(map.TransferFromImage(image, 40, 0, 0, 0));
    ReleaseImage(image);
    map.SetPixel(0, 0, "\x05");
    EXPECT_EQ(buffer[10 * 40 + 20], 5);
}

// An image that does not own its buffer cannot hand it on: the map copies
// the samples and stays valid after the buffer's owner frees it.
TEST(TransferFromImage, BorrowedBufferIsCopied)
{
    auto pixels = std::make_unique<std::vector<uint8_t>>(size_t{30} * 10 * 3);
    for (size_t i = 0; i < pixels->size(); ++i) (*pixels)[i] = static_cast<uint8_t>(1 + i % 200);
    Image* image = new Image();
    image->SetSize(30, 10);
    image->SetChannels(3);
    image->SetDataType(IMG_UINT8);
    image->ComputeRowBytes();
    image->SetData(pixels->data(), false);
    image->SetDataOwner(false);
    Image* reference = image->Duplicate();
    WorldMapBase map;
    ASSERT_TRUE(map.TransferFromImage(image, 64, 17, 6, 0));
    EXPECT_NE(map.GetData(), pixels->data());
    ReleaseImage(image);
    pixels.reset();
    int found = 0;
    ExpectImageInMap(map, reference, 17, 6, &found);
    EXPECT_EQ(found, 300);
    EXPECT_TRUE(map.IsFullPanorama() == false);
    int x0, y0, x1, y1, w, h;
    ASSERT_TRUE(map.GetDataArea(x0, y0, x1, y1, w, h));  // the block is the data area
    EXPECT_EQ(w, 30);
    EXPECT_EQ(h, 10);
    ReleaseImage(reference);
}

// A partial panorama is stored as a centred block over the image's rows.
TEST(TransferFromImage, PartialImageIsABlockOverTheImage)
{
    Image* image = testkit::MakePatternImage(30, 10, 3);
    WorldMapBase map;
    ASSERT_TRUE(map.TransferFromImage(image, 66, 64 / 2 - 15, 6, 0));  // W rounds to 64
    EXPECT_EQ(map.GetWidth(), 64);
    EXPECT_EQ(map.GetAllocMode(), 2);
    EXPECT_EQ(map.GetData(), image->GetData());
    EXPECT_EQ(map.GetRowBytes(), static_cast<size_t>(image->GetRowByte()));
    EXPECT_EQ(map.GetMapRect()->top, 6);
    EXPECT_EQ(map.GetMapRect()->bottom, 15);
    int found = 0;
    ExpectImageInMap(map, image, 64 / 2 - 15, 6, &found);
    EXPECT_EQ(found, 300);
    ReleaseImage(image);
}

TEST(TransferFromImage, FailedSetUpLeavesTheImageItsBuffer)
{
    Image* image = testkit::MakePatternImage(64, 33, 3);
    unsigned char* data = image->GetData();
    WorldMapBase map;
    {
        AllocWatch watch(0);
        LogCapture log;
        EXPECT_FALSE(map.TransferFromImage(image, 64, 0, 0, 0));
        EXPECT_TRUE(log.contains("ERROR WorldMapBase::TransferFromImage: Init2() failed"));
    }
    EXPECT_EQ(image->GetData(), data);
    EXPECT_TRUE(image->IsDataOwner());
    EXPECT_EQ(image->m_refCount, 1);
    ReleaseImage(image);
}

// ---------------------------------------------------------------------------
// A full sphere of 40,000 x 20,001 RGB samples (2.4 GB, allocated lazily):
// rows are 120,000 bytes, past what a 16-bit stride can say.

TEST(FullSphere, FortyThousandSamplesRenderAndCopy)
{
    const int W = 40000;
    WorldMapBase map;
    ASSERT_TRUE(map.Init(W, nullptr, 0, 3));
    const int rows = map.GetHeight();
    ASSERT_EQ(rows, 20001);
    Image* view = map.GetDataImage();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->GetWidth(), W);
    EXPECT_EQ(view->GetHeight(), rows);
    EXPECT_EQ(view->GetRowByte(), W * 3);

    // Samples at the far end of the last rows, written through the map.
    for (int x = -20; x < 20; ++x) {
        const char px[3] = {static_cast<char>(100 + x), 7, static_cast<char>(200 + x)};
        map.SetPixel(x - W / 2, rows - 1 - rows / 2, px);  // index W + x - W... wraps
    }
    // Index (x - W/2) + W/2 wrapped: x < 0 lands at W + x, x >= 0 at x.
    const uint8_t* last = map.GetDataPtr(W - 1, rows - 1);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last[0], static_cast<uint8_t>(200 - 1));
    EXPECT_EQ(last, view->GetData() + size_t(rows - 1) * view->GetRowByte() + size_t(W - 1) * 3);

    Image* out = FilledImage(40, 1, 3, kSentinel);
    map.ComputePanoImage(W - 20, W + 19, rows - 1, rows - 1, out, 0, 0);
    for (int j = 0; j < 40; ++j) {
        EXPECT_EQ(Pixel(out, j, 0)[0], static_cast<uint8_t>(200 + j - 20)) << j;
        EXPECT_EQ(Pixel(out, j, 0)[2], static_cast<uint8_t>(100 + j - 20)) << j;
    }
    Image* copy = FilledImage(40, 1, 3, 0);
    view->CopyDataTo(W - 40, W - 1, rows - 1, rows - 1, copy, 0, 0);
    EXPECT_EQ(Pixel(copy, 39, 0)[0], static_cast<uint8_t>(199));
    ReleaseImage(copy);
    ReleaseImage(out);
    ReleaseImage(view);
}

TEST(FullSphere, EllipticalFortyThousandResamples)
{
    const int W = 40000;
    WorldMapBase map;
    ASSERT_TRUE(map.Init(W, nullptr, 1, 3));
    const int row = 20000 - 100;  // a short row near the south pole
    WorldMapBase::ScanLine* line = map.GetScanLine(row);
    const int s = line->m_samples;
    ASSERT_LT(s, W);
    for (int i = 0; i < s; ++i) {
        uint8_t* p = line->m_line + size_t(i) * 3;
        p[0] = p[1] = p[2] = static_cast<uint8_t>(1 + i % 250);
    }
    Image* got = FilledImage(W, 1, 3, kSentinel);
    Image* want = FilledImage(W, 1, 3, kSentinel);
    map.ComputePanoImage(0, W - 1, row, row, got, 0, 0);
    ResampleReference(map, 0, W - 1, row, row, want, 0, 0);
    EXPECT_TRUE(testkit::SamePixels(*got, *want));
    ReleaseImage(got);
    ReleaseImage(want);
}

}  // namespace

namespace {

// A real equirectangular panorama taken over as a map, then copied out with
// the span starting 300 columns in: every row comes out rolled across the
// seam, which ImageMagick's -roll does independently.
TEST(RealPanorama, CopyAcrossTheSeamMatchesImageMagickRoll)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    const auto source = testkit::TestData("pannellum/examplepano.jpg");
    ASSERT_TRUE(std::filesystem::exists(source)) << source;
    testkit::TempDir dir;
    const std::string pano = dir.file("pano.ppm");
    const std::string rolled = dir.file("rolled.ppm");
    auto run = testkit::Run("convert " + source.string() + " -resize 1024x512! " + pano);
    ASSERT_EQ(run.status, 0) << run.output;
    run = testkit::Run("convert " + pano + " -roll -300+0 " + rolled);
    ASSERT_EQ(run.status, 0) << run.output;
    Image* image = testkit::ReadPnm(pano);
    Image* expected = testkit::ReadPnm(rolled);
    ASSERT_NE(image, nullptr);
    ASSERT_NE(expected, nullptr);

    WorldMap* map = new WorldMap();
    ASSERT_TRUE(map->TransferFromImage(image, 1024, 0, 0, 0));
    EXPECT_EQ(map->GetAllocMode(), 1);  // 512 of the 513 rows: all columns, a row band
    EXPECT_TRUE(map->IsFullPanorama());
    ReleaseImage(image);  // the map keeps it alive

    Image* out = new Image(1024, 512, 3);
    map->ComputePanoImage(300, 300 + 1023, 0, 511, out, 0, 0);
    EXPECT_TRUE(testkit::SamePixels(*out, *expected));

    // The overview as an ellipse, sampled by nearest pixel: every pixel
    // drawn on output row i comes from map row 4 i.
    Image* overview = new Image(1, 1, 3);
    map->ComputeWorldMapImage(overview, 0.25f, false, false);
    ASSERT_EQ(overview->GetWidth(), 256);
    ASSERT_EQ(overview->GetHeight(), 128);
    for (int i : {10, 64, 100}) {
        std::set<uint32_t> rowPixels;
        for (int x = 0; x < 1024; ++x) {
            const uint8_t* p = map->GetDataPtr(x, 4 * i);
            rowPixels.insert(p[0] | p[1] << 8 | p[2] << 16);
        }
        int drawn = 0;
        for (int j = 0; j < 256; ++j) {
            const uint8_t* p = Pixel(overview, j, i);
            const uint32_t v = p[0] | p[1] << 8 | p[2] << 16;
            if (v == 0) continue;
            ++drawn;
            EXPECT_TRUE(rowPixels.count(v)) << i << "," << j;
        }
        EXPECT_GT(drawn, 100) << i;
    }
    ReleaseImage(overview);
    ReleaseImage(out);
    ReleaseImage(expected);
    map->Release();
}

}  // namespace
