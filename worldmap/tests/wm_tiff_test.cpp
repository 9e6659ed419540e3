// WmTiff through libtiff: a map block with padded rows is written as RGBA
// with alpha 0 exactly where the map has no data (checked on libtiff's raw
// scanlines and ImageMagick's alpha), and read back into a map as B, G, R
// with full coverage; grey maps expand to R = G = B; size mismatches and
// unusable maps give their codes.
#include "worldmap/wm_tiff.h"

#include "core/logger.h"
#include "worldmap/tests/image_file_test_support.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <filesystem>

using namespace filetest;

namespace {

// A map whose block is a bitmap-layout image (rows padded past width x 3),
// with every third pixel "no data" (all samples 0).
struct TestMap {
    WorldMap map;
    ImagePtr image;
};

std::unique_ptr<TestMap> MakeMap(int width, int height, int channels, uint32_t seed)
{
    auto t = std::make_unique<TestMap>();
    t->image.reset(testkit::MakePatternImage(width, height, channels, IMG_LAYOUT_BITMAP, seed));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = t->image->GetData() + static_cast<size_t>(y) * t->image->GetRowByte() + x * channels;
            if ((x + y) % 3 == 0) std::fill(p, p + channels, 0);
            else if (p[0] == 0) p[0] = 1;
        }
    EXPECT_TRUE(t->map.TransferFromImage(t->image.get(), 400, 50, 60, 0));
    EXPECT_GT(t->map.GetRowBytes(), static_cast<size_t>(width) * channels) << "rows must be padded for this test";
    return t;
}

struct RawRgba {
    uint32_t width = 0, height = 0;
    uint16_t samples = 0;
    Bytes pixels;
};

RawRgba ReadRaw(const std::string& path)
{
    RawRgba out;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return out;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &out.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &out.height);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &out.samples);
    std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize64(tif)));
    for (uint32_t y = 0; y < out.height; ++y) {
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0) return {};
        out.pixels.insert(out.pixels.end(), line.begin(), line.end());
    }
    TIFFClose(tif);
    return out;
}

TEST(WmTiff, AlphaMarksNoDataAndTheMapComesBack)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    testkit::TempDir dir;
    auto source = MakeMap(37, 19, 3, 5);
    std::string path = dir.file("map.tif");
    WmTiff io;
    ASSERT_EQ(io.WmToTiffAlpha(&source->map, path.data()), 0);

    const RawRgba raw = ReadRaw(path);
    ASSERT_EQ(raw.samples, 4);
    ASSERT_EQ(raw.width, 37u);
    ASSERT_EQ(raw.height, 19u);
    const Image& img = *source->image;
    int noData = 0;
    for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 37; ++x) {
            const uint8_t* m = img.GetData() + static_cast<size_t>(y) * img.GetRowByte() + 3 * x;
            const uint8_t* t = &raw.pixels[(static_cast<size_t>(y) * 37 + x) * 4];
            ASSERT_EQ(t[0], m[2]) << x << "," << y;
            ASSERT_EQ(t[1], m[1]);
            ASSERT_EQ(t[2], m[0]);
            ASSERT_EQ(t[3], m[0] != 0 ? 255 : 0);
            noData += m[0] == 0;
        }
    EXPECT_GT(noData, 100);
    // ImageMagick sees the fourth sample's zeros where the map has no data.
    const testkit::CommandResult alpha =
        testkit::Run("convert '" + path + "' -alpha extract -format '%[fx:minima.r] %[fx:maxima.r]' info:");
    EXPECT_EQ(alpha.status, 0) << alpha.output;
    EXPECT_EQ(alpha.output, "0 1");

    // Back into a map of the same block, emptied first.
    auto target = MakeMap(37, 19, 3, 9);
    target->map.ResetData();
    int x0, y0, x1, y1, w, h;
    EXPECT_FALSE(target->map.GetDataArea(x0, y0, x1, y1, w, h));
    ASSERT_EQ(io.TiffToWm(path.data(), &target->map), 0);
    EXPECT_TRUE(testkit::SamePixels(*target->image, *source->image));
    ASSERT_TRUE(target->map.GetDataArea(x0, y0, x1, y1, w, h));
    EXPECT_EQ(w, 37);
    EXPECT_EQ(h, 19);
}

TEST(WmTiff, GreyMapsAreWrittenAsGrey)
{
    testkit::TempDir dir;
    auto grey = MakeMap(21, 9, 1, 3);
    std::string path = dir.file("grey.tif");
    WmTiff io;
    ASSERT_EQ(io.WmToTiffAlpha(&grey->map, path.data()), 0);
    const RawRgba raw = ReadRaw(path);
    ASSERT_EQ(raw.samples, 4);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 21; ++x) {
            const uint8_t v = grey->image->GetData()[static_cast<size_t>(y) * grey->image->GetRowByte() + x];
            const uint8_t* t = &raw.pixels[(static_cast<size_t>(y) * 21 + x) * 4];
            ASSERT_EQ(t[0], v);
            ASSERT_EQ(t[1], v);
            ASSERT_EQ(t[2], v);
            ASSERT_EQ(t[3], v ? 255 : 0);
        }
    // A grey map cannot take the colours back.
    LogCapture log;
    EXPECT_EQ(io.TiffToWm(path.data(), &grey->map), -1);
}

TEST(WmTiff, Failures)
{
    testkit::TempDir dir;
    auto source = MakeMap(17, 8, 3, 1);
    WmTiff io;
    std::string path = dir.file("m.tif");
    ASSERT_EQ(io.WmToTiffAlpha(&source->map, path.data()), 0);
    {
        auto other = MakeMap(18, 8, 3, 2);
        LogCapture log;
        EXPECT_EQ(io.TiffToWm(path.data(), &other->map), -2);
        EXPECT_TRUE(log.contains("ERROR WmTiff::TiffToWm: width(17) != widthWM(18)")) << log.text();
    }
    {
        auto other = MakeMap(17, 9, 3, 2);
        LogCapture log;
        EXPECT_EQ(io.TiffToWm(path.data(), &other->map), -2);
        EXPECT_TRUE(log.contains("ERROR WmTiff::TiffToWm: height(8) != heightWM(9)")) << log.text();
    }
    std::string missing = dir.file("missing.tif");
    EXPECT_EQ(io.TiffToWm(missing.data(), &source->map), -1);
    std::string blocked = dir.file("no/such/folder.tif");
    EXPECT_EQ(io.WmToTiffAlpha(&source->map, blocked.data()), -2);
    WorldMap empty;
    EXPECT_EQ(io.WmToTiffAlpha(&empty, path.data()), -1);
    // Assignment copies nothing and changes nothing.
    WmTiff copy;
    copy = io;
    EXPECT_EQ(copy.TiffToWm(path.data(), &source->map), 0);
}

}  // namespace
