// The merging module's calls around the blender: the program beside the
// application, its options as exact texts, and the blend taken into the
// world map (alpha 0 as "no data", a real first sample of 0 kept as data)
// with every temporary file removed, also when the blend is missing.
#include "platform/mergekit/enblend.h"

#include "platform/utilkit/log_base.h"
#include "testkit/testkit.h"
#include "worldmap/world_map.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace {

struct ImageDeleter {
    void operator()(Image* image) const { ReleaseImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

// An 8-bit RGBA TIFF written with libtiff itself; pixel (x, y) is
// rgba[4 (y w + x) ..].
bool WriteRgba(const std::string& path, int w, int h, const std::vector<uint8_t>& rgba)
{
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    bool ok = true;
    for (int y = 0; y < h; ++y)
        ok = ok && TIFFWriteScanline(tif, const_cast<uint8_t*>(&rgba[static_cast<size_t>(y) * w * 4]), y, 0) >= 0;
    TIFFClose(tif);
    return ok;
}

class EnblendTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        image.reset(testkit::MakePatternImage(kW, kH, 3, IMG_LAYOUT_BITMAP, 3));
        ASSERT_TRUE(map.TransferFromImage(image.get(), 400, 50, 60, 0));
        chips.clear();
        for (int k = 0; k < 2; ++k) {
            chips.push_back(dir.file("chip " + std::to_string(k) + ".tif"));
            std::ofstream(chips.back()) << "chip";
        }
    }
    std::vector<uint8_t> MapBytes() const
    {
        std::vector<uint8_t> bytes;
        for (int y = 0; y < kH; ++y) {
            const uint8_t* row = map.GetData() + static_cast<size_t>(y) * map.GetRowBytes();
            bytes.insert(bytes.end(), row, row + kW * 3);
        }
        return bytes;
    }
    bool AnyFileLeft() const
    {
        for (const std::string& c : chips)
            if (std::filesystem::exists(c)) return true;
        return std::filesystem::exists(dir.file("blend.tif"));
    }
    static constexpr int kW = 21, kH = 13;
    testkit::TempDir dir;
    ImagePtr image;
    WorldMap map;
    std::vector<std::string> chips;
};

TEST(Enblend, ProgramAndOptions)
{
    LogBase::SetAppDir0Override("/opt/fendrake");
    EXPECT_EQ(Enblend::getEnblendExeFile(), "/opt/fendrake\\Swelder.exe");
    LogBase::SetAppDir0Override("");
    EXPECT_EQ(Enblend::getEnblendExeFile(), LogBase::GetAppDir0() + "\\Swelder.exe");
    const std::vector<std::string> chips = {"/t/a 1.tif", "/t/b.tif", "/t/unused.tif"};
    EXPECT_EQ(Enblend::getEnblendPrms(2, true, "/t/out.tif", chips, "QuorvaneShmX", 3108),
              "--shmname QuorvaneShmX --shmsize 3108 --wrap -o \"/t/out.tif\" \"/t/a 1.tif\" \"/t/b.tif\"");
    EXPECT_EQ(Enblend::getEnblendPrms(3, false, "o.tif", chips, "S", 4000),
              "--shmname S --shmsize 4000 -o \"o.tif\" \"/t/a 1.tif\" \"/t/b.tif\" \"/t/unused.tif\"");
    EXPECT_EQ(Enblend::getEnblendPrms(5, false, "o.tif", {}, "S", 3108), "--shmname S --shmsize 3108 -o \"o.tif\"");
}

TEST_F(EnblendTest, BlendIsReadIntoTheMapAndTheFilesGo)
{
    std::vector<uint8_t> rgba(static_cast<size_t>(kW) * kH * 4);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            uint8_t* p = &rgba[(static_cast<size_t>(y) * kW + x) * 4];
            p[0] = static_cast<uint8_t>(10 + x);       // red
            p[1] = static_cast<uint8_t>(20 + y);       // green
            p[2] = static_cast<uint8_t>((x + y) % 5);  // blue, sometimes a real 0
            p[3] = (x % 4 == 0) ? 0 : 255;             // no data in every fourth column
        }
    ASSERT_TRUE(WriteRgba(dir.file("blend.tif"), kW, kH, rgba));
    Enblend::copyWmDelTempFiles(2, &map, dir.file("blend.tif"), chips);
    int realZeros = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const uint8_t* m = map.GetData() + static_cast<size_t>(y) * map.GetRowBytes() + 3 * x;
            const uint8_t* t = &rgba[(static_cast<size_t>(y) * kW + x) * 4];
            if (t[3] == 0) {
                ASSERT_EQ(m[0], 0) << x << "," << y;
                continue;
            }
            realZeros += t[2] == 0;
            ASSERT_EQ(m[0], t[2] == 0 ? 1 : t[2]) << x << "," << y;
            ASSERT_EQ(m[1], t[1]);
            ASSERT_EQ(m[2], t[0]);
        }
    EXPECT_GT(realZeros, 5);
    EXPECT_FALSE(AnyFileLeft());
}

TEST_F(EnblendTest, MissingOrForeignBlendLeavesTheMap)
{
    const std::vector<uint8_t> before = MapBytes();
    const uint32_t flags = map.GetFlags();
    Enblend::copyWmDelTempFiles(2, &map, dir.file("blend.tif"), chips);  // no blend at all
    EXPECT_EQ(MapBytes(), before);
    EXPECT_FALSE(AnyFileLeft());

    SetUp();
    std::vector<uint8_t> wrongSize(static_cast<size_t>(kW + 1) * kH * 4, 200);
    ASSERT_TRUE(WriteRgba(dir.file("blend.tif"), kW + 1, kH, wrongSize));
    Enblend::copyWmDelTempFiles(2, &map, dir.file("blend.tif"), chips);
    EXPECT_EQ(MapBytes(), before);
    EXPECT_EQ(map.GetFlags(), flags);
    EXPECT_FALSE(AnyFileLeft());

    // Without a map only the files go.
    SetUp();
    std::vector<uint8_t> rgba(static_cast<size_t>(kW) * kH * 4, 255);
    ASSERT_TRUE(WriteRgba(dir.file("blend.tif"), kW, kH, rgba));
    Enblend::copyWmDelTempFiles(2, nullptr, dir.file("blend.tif"), chips);
    EXPECT_EQ(MapBytes(), before);
    EXPECT_FALSE(AnyFileLeft());
}

}  // namespace
