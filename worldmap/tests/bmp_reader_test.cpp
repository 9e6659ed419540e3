// The own BMP reader: 24-bit and 8-bit bitmaps of every row padding, both
// row orders and the 40/108/124-byte headers read to the expected pixels
// (black read as blue 1); other headers, depths and compressions refused;
// RLE8 and RLE4 decoded like ImageMagick decodes them; hostile headers and
// cut files refused without a crash; every bitmap of the shared test data
// read like ImageMagick or refused.
#include "worldmap/bmp_reader.h"

#include "core/logger.h"
#include "worldmap/tests/image_file_test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <array>
#include <map>
#include <set>

using namespace filetest;

namespace {

struct BmpRead {
    int status = -99;
    ImagePtr image;
};

BmpRead ReadBmp(const std::string& path)
{
    BmpRead r;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        ADD_FAILURE() << "cannot open " << path;
        return r;
    }
    Image* image = reinterpret_cast<Image*>(16);
    r.status = ReadBmpFile(f, &image);
    if (r.status == kBmpRead) {
        r.image.reset(image);
    } else {
        EXPECT_EQ(image, nullptr);
    }
    // The file stays open and usable.
    EXPECT_EQ(std::fseek(f, 0, SEEK_SET), 0);
    std::fclose(f);
    return r;
}

BmpRead ReadBmpBytes(const Bytes& bytes, const testkit::TempDir& dir)
{
    const std::string path = dir.file("t.bmp");
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return ReadBmp(path);
}

// Expected B, G, R of pixel (x, y), top row first.
using Expected = std::vector<std::array<uint8_t, 3>>;

::testing::AssertionResult HasPixels(const Image& image, int width, int height, const Expected& expected)
{
    if (image.GetWidth() != width || image.GetHeight() != height || image.GetChannels() != 3 || !image.IsBmp() ||
        image.GetDataType() != IMG_UINT8)
        return ::testing::AssertionFailure() << "image " << image.GetWidth() << "x" << image.GetHeight() << ", "
                                             << image.GetChannels() << " channels";
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = image.GetData() + static_cast<size_t>(y) * image.GetRowByte() + 3 * x;
            const auto& e = expected[static_cast<size_t>(y) * width + x];
            if (p[0] != e[0] || p[1] != e[1] || p[2] != e[2])
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << "): " << int(p[0]) << ","
                                                     << int(p[1]) << "," << int(p[2]) << " vs " << int(e[0]) << ","
                                                     << int(e[1]) << "," << int(e[2]);
        }
    return ::testing::AssertionSuccess();
}

// A 24-bit file of the given B, G, R pixels (top row first), rows padded.
BmpFields Rgb24(int width, int height, const Expected& pixels, bool topDown)
{
    BmpFields s;
    s.width = width;
    s.height = topDown ? -height : height;
    const int stride = (width * 3 + 3) & ~3;
    s.pixels.assign(static_cast<size_t>(stride) * height, 0xCC);  // padding bytes are junk on purpose
    for (int y = 0; y < height; ++y) {
        const int fileRow = topDown ? y : height - 1 - y;
        for (int x = 0; x < width; ++x)
            std::copy(pixels[static_cast<size_t>(y) * width + x].begin(), pixels[static_cast<size_t>(y) * width + x].end(),
                      s.pixels.begin() + static_cast<long>(fileRow) * stride + 3 * x);
    }
    return s;
}

Expected SomePixels(int width, int height, uint32_t seed)
{
    Expected e;
    uint32_t v = seed;
    for (int i = 0; i < width * height; ++i) {
        v = v * 1103515245u + 12345u;
        e.push_back({static_cast<uint8_t>(i % 3 == 0 ? 0 : v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8)});
    }
    return e;
}

Expected WithBlueZeroAsOne(Expected e)
{
    for (auto& p : e)
        if (p[0] == 0) p[0] = 1;
    return e;
}

TEST(BmpRead, Rgb24RowPaddingAndOrder)
{
    testkit::TempDir dir;
    for (int width : {1, 2, 3, 4, 5}) {
        for (bool topDown : {false, true}) {
            SCOPED_TRACE("width " + std::to_string(width) + (topDown ? " top-down" : " bottom-up"));
            const Expected pixels = SomePixels(width, 3, static_cast<uint32_t>(width));
            BmpRead r = ReadBmpBytes(MakeBmp(Rgb24(width, 3, pixels, topDown)), dir);
            ASSERT_EQ(r.status, kBmpRead);
            EXPECT_TRUE(HasPixels(*r.image, width, 3, WithBlueZeroAsOne(pixels)));
        }
    }
}

// An 8-bit file: palette entries as 0x00RRGGBB, indices top row first.
BmpFields Pal8(int width, int height, std::vector<uint32_t> palette, const std::vector<uint8_t>& indices, bool topDown,
             uint32_t coloursUsed)
{
    BmpFields s;
    s.bitCount = 8;
    s.width = width;
    s.height = topDown ? -height : height;
    s.palette = std::move(palette);
    s.coloursUsed = coloursUsed;
    const int stride = (width + 3) & ~3;
    s.pixels.assign(static_cast<size_t>(stride) * height, 0xEE);
    for (int y = 0; y < height; ++y) {
        const int fileRow = topDown ? y : height - 1 - y;
        for (int x = 0; x < width; ++x) s.pixels[static_cast<size_t>(fileRow) * stride + x] = indices[static_cast<size_t>(y) * width + x];
    }
    return s;
}

std::array<uint8_t, 3> Bgr(uint32_t rrggbb)
{
    return {static_cast<uint8_t>(rrggbb), static_cast<uint8_t>(rrggbb >> 8), static_cast<uint8_t>(rrggbb >> 16)};
}

TEST(BmpRead, Pal8PaletteRowsAndHeaders)
{
    testkit::TempDir dir;
    const std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x102030, 0x00AA00};
    for (uint32_t headerSize : {40u, 108u, 124u}) {
        for (int width : {1, 2, 3, 4, 5}) {
            for (bool topDown : {false, true}) {
                SCOPED_TRACE("header " + std::to_string(headerSize) + " width " + std::to_string(width) +
                             (topDown ? " top-down" : ""));
                std::vector<uint8_t> indices;
                Expected expected;
                for (int i = 0; i < width * 2; ++i) {
                    const uint8_t index = static_cast<uint8_t>((i * 7 + width) % 6);
                    indices.push_back(index);
                    expected.push_back(Bgr(palette[index]));
                }
                BmpFields s = Pal8(width, 2, palette, indices, topDown, 6);
                s.headerSize = headerSize;
                BmpRead r = ReadBmpBytes(MakeBmp(s), dir);
                ASSERT_EQ(r.status, kBmpRead);
                // Entry 0 is black: read as (1, 0, 0).
                EXPECT_TRUE(HasPixels(*r.image, width, 2, WithBlueZeroAsOne(expected)));
            }
        }
    }
}

TEST(BmpRead, IndexPastThePaletteIsBlack)
{
    testkit::TempDir dir;
    // Two colours, indices 0..3: 2 and 3 lie past the palette.
    BmpRead r = ReadBmpBytes(MakeBmp(Pal8(4, 1, {0x112233, 0x445566}, {0, 1, 2, 3}, false, 2)), dir);
    ASSERT_EQ(r.status, kBmpRead);
    EXPECT_TRUE(HasPixels(*r.image, 4, 1, {Bgr(0x112233), Bgr(0x445566), {1, 0, 0}, {1, 0, 0}}));
}

TEST(BmpRead, RefusedLayouts)
{
    testkit::TempDir dir;
    const BmpFields rgb = Rgb24(4, 2, SomePixels(4, 2, 1), false);
    struct Case {
        const char* name;
        BmpFields fields;
    };
    std::vector<Case> cases;
    auto with = [&](const char* name, auto change) {
        BmpFields s = rgb;
        change(s);
        cases.push_back({name, s});
    };
    with("core_header", [](BmpFields& s) { s.headerSize = 12; });
    with("os2_header", [](BmpFields& s) { s.headerSize = 64; });
    with("header_16", [](BmpFields& s) { s.headerSize = 16; });
    with("header_56", [](BmpFields& s) { s.headerSize = 56; });
    for (uint16_t bits : {1, 4, 16, 32}) {
        with("bit_count", [bits](BmpFields& s) {
            s.bitCount = bits;
            s.palette.assign(bits <= 8 ? (1u << bits) : 0u, 0x808080);
        });
    }
    with("bitfields_24", [](BmpFields& s) { s.compression = 3; });
    with("rle8_on_24", [](BmpFields& s) { s.compression = 1; });
    with("jpeg_in_bmp", [](BmpFields& s) { s.compression = 4; });
    with("rle4_on_8", [](BmpFields& s) {
        s.bitCount = 8;
        s.compression = 2;
        s.palette.assign(4, 0);
    });
    with("rle8_top_down", [](BmpFields& s) {
        s.bitCount = 8;
        s.compression = 1;
        s.height = -2;
        s.palette.assign(4, 0);
    });
    with("planes_2", [](BmpFields& s) { s.planes = 2; });
    with("negative_width", [](BmpFields& s) { s.width = -4; });
    with("zero_height", [](BmpFields& s) { s.height = 0; });
    with("int_min_height", [](BmpFields& s) { s.height = INT32_MIN; });
    with("palette_count_2_32", [](BmpFields& s) {
        s.bitCount = 8;
        s.coloursUsed = 0xFFFFFFFFu;
    });
    with("palette_over_256", [](BmpFields& s) {
        s.bitCount = 8;
        s.coloursUsed = 257;
    });
    with("enormous", [](BmpFields& s) {
        s.width = 3000000;
        s.height = 2000000;
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        BmpRead r = ReadBmpBytes(MakeBmp(c.fields), dir);
        EXPECT_EQ(r.status, kBmpNotUsable);
        EXPECT_TRUE(log.contains("ERROR ReadBmpFile")) << log.text();
    }
    Bytes notBm = MakeBmp(rgb);
    notBm[1] = 'A';
    EXPECT_EQ(ReadBmpBytes(notBm, dir).status, kBmpNotUsable);
}

// Run-length bitmaps whose few bytes claim more pixels than the documented
// bound are refused before any image is made; the fuzzer's 1,080-byte RLE8
// file declaring 26000 x 26000 is kept as a fixture.
TEST(BmpRead, RunLengthBitmapsBeyondThePixelBoundAreRefused)
{
    EXPECT_EQ(kMaxRleBmpPixels, int64_t{32768} * 16384);
    testkit::TempDir dir;
    {
        LogCapture log;
        BmpRead r = ReadBmp(std::string(FENDRAKE_SOURCE_DIR) + "/worldmap/tests/fixtures/rle8_26000x26000.bmp");
        EXPECT_EQ(r.status, kBmpNotUsable);
        EXPECT_EQ(log.errorCount(), 1);
        EXPECT_TRUE(log.contains("ERROR ReadBmpFile: run-length bitmap of more than 536870912 (2^29) pixels"))
            << log.text();
    }
    struct Case {
        int32_t width, height;
        uint16_t bitCount;
        uint32_t compression;
    };
    const Case cases[] = {
        {23171, 23171, 8, 1},  // 536,895,241 pixels: just past 2^29
        {65535, 8193, 8, 1},
        {32768, 16385, 4, 2},
        {1 << 20, 513, 4, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        BmpFields f;
        f.width = c.width;
        f.height = c.height;
        f.bitCount = c.bitCount;
        f.compression = c.compression;
        f.palette.assign(size_t{1} << c.bitCount, 0x102030);
        f.pixels = {0, 1};  // end of bitmap
        LogCapture log;
        EXPECT_EQ(ReadBmpBytes(MakeBmp(f), dir).status, kBmpNotUsable);
        EXPECT_TRUE(log.contains("run-length bitmap of more than")) << log.text();
    }
    // Within the bound the same few bytes still make an image of palette
    // entry 0 (kept small here: the bound's own size would take 1.5 GB).
    BmpFields small;
    small.width = 300;
    small.height = 200;
    small.bitCount = 8;
    small.compression = 1;
    small.palette.assign(256, 0x102030);
    small.pixels = {0, 1};
    BmpRead r = ReadBmpBytes(MakeBmp(small), dir);
    ASSERT_EQ(r.status, kBmpRead);
    EXPECT_EQ(r.image->GetWidth(), 300);
    EXPECT_EQ(r.image->GetData()[0], 0x30);
}

// Files cut short or whose pixels lie past their end: 0, with nothing made.
TEST(BmpRead, ShortFilesGiveStreamError)
{
    testkit::TempDir dir;
    const Bytes full = MakeBmp(Rgb24(30, 20, SomePixels(30, 20, 2), false));
    for (size_t n : {size_t{0}, size_t{10}, size_t{20}, size_t{53}, full.size() / 2, full.size() - 1}) {
        SCOPED_TRACE("first " + std::to_string(n) + " bytes");
        const BmpRead r = ReadBmpBytes(Bytes(full.begin(), full.begin() + static_cast<long>(n)), dir);
        EXPECT_EQ(r.status, kBmpStreamError);
    }
    const Bytes pal = MakeBmp(Pal8(4, 2, std::vector<uint32_t>(256, 0x010203), std::vector<uint8_t>(8, 5), false, 0));
    EXPECT_EQ(ReadBmpBytes(Bytes(pal.begin(), pal.begin() + 300), dir).status, kBmpStreamError);  // palette cut
    // Large dimensions in a small file: refused before any buffer of that size.
    BmpFields big = Rgb24(2, 2, SomePixels(2, 2, 3), false);
    big.width = 20000;
    big.height = 20000;
    EXPECT_EQ(ReadBmpBytes(MakeBmp(big), dir).status, kBmpStreamError);
}

// ---------------------------------------------------------------------------
// Run-length bitmaps

// Builds an RLE stream from commands.
struct Rle {
    Bytes bytes;
    Rle& Run(int count, uint8_t value) { return Push({static_cast<uint8_t>(count), value}); }
    Rle& EndOfLine() { return Push({0, 0}); }
    Rle& EndOfBitmap() { return Push({0, 1}); }
    Rle& Delta(int dx, int dy) { return Push({0, 2, static_cast<uint8_t>(dx), static_cast<uint8_t>(dy)}); }
    Rle& Absolute(const Bytes& values, int count)
    {
        Push({0, static_cast<uint8_t>(count)});
        bytes.insert(bytes.end(), values.begin(), values.end());
        if (values.size() & 1) bytes.push_back(0);
        return *this;
    }
    Rle& Push(std::initializer_list<uint8_t> b)
    {
        bytes.insert(bytes.end(), b);
        return *this;
    }
};

BmpFields RleFile(int bits, int width, int height, const Rle& rle, int colours)
{
    BmpFields s;
    s.bitCount = static_cast<uint16_t>(bits);
    s.compression = bits == 8 ? 1 : 2;
    s.width = width;
    s.height = height;
    for (int i = 0; i < colours; ++i)
        s.palette.push_back(static_cast<uint32_t>(((i * 37) & 0xFF) << 16 | ((i * 91) & 0xFF) << 8 | ((i * 53 + 1) & 0xFF)));
    s.coloursUsed = static_cast<uint32_t>(colours);
    s.pixels = rle.bytes;
    return s;
}

// Hand-made streams against ImageMagick: runs, absolute runs of odd length
// (padded), deltas and early ends of line (skipped pixels take palette entry
// 0), runs into the row padding, in both RLE8 and RLE4.
TEST(BmpRead, RunLengthStreamsLikeImageMagick)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    testkit::TempDir dir;
    struct Case {
        const char* name;
        BmpFields fields;
    };
    const Case cases[] = {
        {"rle8_runs", RleFile(8, 6, 3, Rle().Run(6, 1).EndOfLine().Run(2, 2).Run(4, 3).EndOfLine().Run(6, 4).EndOfBitmap(), 8)},
        {"rle8_absolute_odd", RleFile(8, 5, 2, Rle().Absolute({1, 2, 3, 4, 5}, 5).EndOfLine().Absolute({6, 7, 0}, 3).Run(2, 1).EndOfBitmap(), 8)},
        {"rle8_delta", RleFile(8, 7, 4, Rle().Run(2, 1).Delta(3, 1).Run(2, 5).EndOfLine().Delta(0, 1).Run(7, 6).EndOfBitmap(), 8)},
        // Encoders run rows out to the padded length: pixels past the width are dropped.
        {"rle8_run_into_padding", RleFile(8, 5, 2, Rle().Run(8, 2).EndOfLine().Absolute({1, 2, 3, 4, 5, 6, 7}, 7).EndOfBitmap(), 8)},
        {"rle4_run_into_padding", RleFile(4, 3, 1, Rle().Run(8, 0x12).EndOfBitmap(), 16)},
        {"rle8_delta_to_row_end", RleFile(8, 6, 2, Rle().Run(2, 3).Delta(6, 0).EndOfLine().Run(6, 4).EndOfBitmap(), 8)},
        {"rle4_runs", RleFile(4, 7, 2, Rle().Run(7, 0x12).EndOfLine().Run(3, 0x34).Run(4, 0x5F).EndOfBitmap(), 16)},
        {"rle4_absolute_odd", RleFile(4, 6, 2, Rle().Absolute({0x12, 0x34, 0x50}, 5).Run(1, 0x70).EndOfLine().Absolute({0xAB, 0xC0}, 3).EndOfLine().EndOfBitmap(), 16)},
        {"rle4_delta", RleFile(4, 6, 3, Rle().Run(2, 0x11).Delta(2, 2).Run(2, 0x22).EndOfBitmap(), 16)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".bmp");
        ASSERT_TRUE(WriteFileBytes(path, MakeBmp(c.fields)));
        BmpRead r = ReadBmp(path);
        ASSERT_EQ(r.status, kBmpRead);
        ImagePtr magick = DecodeWithMagick(path, dir);
        ASSERT_TRUE(magick);
        EXPECT_TRUE(SameAsMagick(*r.image, *magick, true));
    }
}

TEST(BmpRead, RunLengthIndexPastThePaletteIsBlack)
{
    testkit::TempDir dir;
    BmpFields s = RleFile(8, 4, 1, Rle().Run(2, 1).Run(2, 9).EndOfBitmap(), 4);
    BmpRead r = ReadBmpBytes(MakeBmp(s), dir);
    ASSERT_EQ(r.status, kBmpRead);
    const auto c1 = Bgr(s.palette[1]);
    EXPECT_TRUE(HasPixels(*r.image, 4, 1, {c1, c1, {1, 0, 0}, {1, 0, 0}}));
}

// An end of bitmap before the top row leaves the rows above in palette entry
// 0 (ImageMagick refuses such a file, so the expectation is written out).
TEST(BmpRead, EarlyEndOfBitmapLeavesPaletteEntry0)
{
    testkit::TempDir dir;
    BmpFields s = RleFile(8, 3, 4, Rle().Run(3, 2).EndOfLine().Run(2, 3).EndOfBitmap(), 8);
    BmpRead r = ReadBmpBytes(MakeBmp(s), dir);
    ASSERT_EQ(r.status, kBmpRead);
    const auto colour = [&](int i) {
        auto c = Bgr(s.palette[static_cast<size_t>(i)]);
        if (c[0] == 0) c[0] = 1;
        return c;
    };
    const auto skipped = colour(0);
    EXPECT_TRUE(HasPixels(*r.image, 3, 4,
                          {skipped, skipped, skipped, skipped, skipped, skipped, colour(3), colour(3), skipped, colour(2),
                           colour(2), colour(2)}));
}

TEST(BmpRead, BrokenRunLengthStreams)
{
    testkit::TempDir dir;
    struct Case {
        const char* name;
        BmpFields fields;
        int status;
    };
    const Case cases[] = {
        // Width 5 pads RLE8 rows to 8 pixels and RLE4 rows to 8.
        {"run_past_padded_row", RleFile(8, 5, 2, Rle().Run(9, 1).EndOfBitmap(), 4), kBmpNotUsable},
        {"runs_past_padded_row", RleFile(8, 5, 2, Rle().Run(6, 1).Run(3, 1).EndOfBitmap(), 4), kBmpNotUsable},
        {"absolute_past_padded_row", RleFile(8, 5, 2, Rle().Run(4, 1).Absolute({1, 1, 1, 1, 1}, 5).EndOfBitmap(), 4), kBmpNotUsable},
        {"delta_past_padded_row", RleFile(8, 4, 2, Rle().Run(2, 1).Delta(3, 0).EndOfBitmap(), 4), kBmpNotUsable},
        {"rle4_run_past_padded_row", RleFile(4, 3, 1, Rle().Run(9, 0x11).EndOfBitmap(), 4), kBmpNotUsable},
        {"cut_stream", RleFile(8, 4, 3, Rle().Run(4, 1).EndOfLine().Run(2, 1), 4), kBmpStreamError},
        {"cut_absolute", RleFile(8, 8, 1, Rle().Push({0, 6, 1, 2}), 4), kBmpStreamError},
        {"cut_delta", RleFile(8, 8, 2, Rle().Push({0, 2, 1}), 4), kBmpStreamError},
        {"no_data", RleFile(8, 4, 1, Rle(), 4), kBmpStreamError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        EXPECT_EQ(ReadBmpBytes(MakeBmp(c.fields), dir).status, c.status);
        EXPECT_TRUE(log.contains("ERROR ReadBmpFile")) << log.text();
    }
    // Deltas past the top row are harmless: nothing is written there.
    EXPECT_EQ(ReadBmpBytes(MakeBmp(RleFile(8, 4, 2, Rle().Delta(0, 255).Run(4, 1).EndOfBitmap(), 4)), dir).status,
              kBmpRead);
    // A stream that covers every row needs no end-of-bitmap escape.
    EXPECT_EQ(ReadBmpBytes(MakeBmp(RleFile(8, 2, 2, Rle().Run(2, 1).EndOfLine().Run(2, 2).EndOfLine(), 4)), dir).status,
              kBmpRead);
}

TEST(BmpRead, ImageMagickRle8AndPaletteFiles)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    testkit::TempDir dir;
    ImagePtr pattern(testkit::MakePatternImage(45, 31, 3, 0, 12));
    ASSERT_TRUE(testkit::WritePnm(*pattern, dir.file("src.ppm")));
    struct Case {
        const char* name;
        const char* options;
    };
    const Case cases[] = {
        {"bmp3_24", "BMP3:"},
        {"bmp3_palette", "-colors 200 -type Palette BMP3:"},
        {"bmp3_rle8", "-colors 200 -type Palette -compress RLE BMP3:"},
        {"bmp4_24", "BMP:"},
        {"bmp_v5_palette", "-colors 60 -type Palette BMP:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".bmp");
        std::string options = c.options;
        const size_t colon = options.rfind(' ');
        const std::string prefix = colon == std::string::npos ? options : options.substr(colon + 1);
        const std::string flags = colon == std::string::npos ? "" : options.substr(0, colon);
        const testkit::CommandResult made =
            testkit::Run("convert '" + dir.file("src.ppm") + "' " + flags + " '" + prefix + path + "'");
        ASSERT_EQ(made.status, 0) << made.output;
        BmpRead r = ReadBmp(path);
        ASSERT_EQ(r.status, kBmpRead);
        ImagePtr magick = DecodeWithMagick(path, dir);
        ASSERT_TRUE(magick);
        EXPECT_TRUE(SameAsMagick(*r.image, *magick, true));
    }
}

// The obvious decoding of an uncompressed bottom-up 8-bit file with a 40-byte
// header: indices past the palette black, black read as blue 1.
Expected PlainPal8(const Bytes& f)
{
    auto u32 = [&](size_t at) { return uint32_t{f[at]} | uint32_t{f[at + 1]} << 8 | uint32_t{f[at + 2]} << 16 | uint32_t{f[at + 3]} << 24; };
    const uint32_t offset = u32(10);
    const int w = static_cast<int>(u32(18)), h = static_cast<int>(u32(22));
    const uint32_t colours = u32(46) ? u32(46) : 256;
    Expected out(static_cast<size_t>(w) * h);
    const int stride = (w + 3) & ~3;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t index = f[offset + static_cast<size_t>(h - 1 - y) * stride + x];
            std::array<uint8_t, 3> c = {1, 0, 0};
            if (index < colours) {
                const uint8_t* p = &f[54 + 4 * static_cast<size_t>(index)];
                c = {static_cast<uint8_t>(p[0] ? p[0] : 1), p[1], p[2]};
            }
            out[static_cast<size_t>(y) * w + x] = c;
        }
    return out;
}

// Every bitmap of the shared test data: read like ImageMagick reads it, or
// refused. The outcome of each bmpsuite file is fixed here.
TEST(BmpRead, SharedTestDataReadLikeImageMagickOrRefused)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    testkit::TempDir dir;
    // Files the reader reads; every other one is refused (-1, or 0 for files
    // that end early).
    const std::set<std::string> readable = {
        "g/pal8-0.bmp", "g/pal8.bmp", "g/pal8nonsquare.bmp", "g/pal8rle.bmp", "g/pal8topdown.bmp", "g/pal8v4.bmp",
        "g/pal8v5.bmp", "g/pal8w124.bmp", "g/pal8w125.bmp", "g/pal8w126.bmp", "g/rgb24.bmp", "g/rgb24pal.bmp",
        "g/pal4rle.bmp", "q/pal4rletrns.bmp", "q/pal8offs.bmp", "q/pal8rletrns.bmp", "q/rgb24largepal.bmp",
        "q/rgb24lprof.bmp", "q/rgb24prof.bmp", "b/pal8badindex.bmp",
    };
    // ImageMagick refuses indices past the palette; this file is checked
    // against the plain decoding below instead.
    const std::set<std::string> notForMagick = {"b/pal8badindex.bmp"};
    std::vector<std::filesystem::path> files;
    for (const char* folder : {"bmpsuite/g", "bmpsuite/q", "bmpsuite/b", "wuffs", "libjpeg-turbo"})
        for (const auto& entry : std::filesystem::directory_iterator(testkit::TestData(folder)))
            if (entry.path().extension() == ".bmp") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 70u);
    for (const auto& path : files) {
        const std::string name = path.parent_path().filename().string() + "/" + path.filename().string();
        SCOPED_TRACE(name);
        BmpRead r = ReadBmp(path.string());
        const bool suite = path.string().find("bmpsuite") != std::string::npos;
        if (suite) {
            EXPECT_EQ(r.status == kBmpRead, readable.count(name) == 1) << "status " << r.status;
        }
        if (r.status != kBmpRead) {
            EXPECT_TRUE(r.status == kBmpNotUsable || r.status == kBmpStreamError);
            continue;
        }
        if (notForMagick.count(name)) {
            EXPECT_TRUE(HasPixels(*r.image, r.image->GetWidth(), r.image->GetHeight(), PlainPal8(ReadFileBytes(path.string()))));
            continue;
        }
        ImagePtr magick = DecodeWithMagick(path.string(), dir);
        ASSERT_TRUE(magick);
        EXPECT_TRUE(SameAsMagick(*r.image, *magick, true));
    }
}

}  // namespace
