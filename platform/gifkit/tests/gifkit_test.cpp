// Gifkit against ImageMagick: GIFs that ImageMagick writes (plain,
// interlaced, with a transparent colour) decode to ImageMagick's own pixels,
// and the GIFs we write read back through ImageMagick exactly (at most 256
// colours, grey) or closely (quantised).
#include "platform/gifkit/gifkit.h"

#include "core/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <cstdio>
#include <memory>
#include <random>
#include <string>

namespace {

struct ImageDeleter {
    void operator()(Image* image) const { ReleaseImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

// An R, G, B image of `colours` distinct colours laid out in diagonal bands.
ImagePtr MakeBandedImage(int width, int height, int colours, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<std::array<uint8_t, 3>> palette(static_cast<size_t>(colours));
    for (int i = 0; i < colours; ++i)
        palette[static_cast<size_t>(i)] = {static_cast<uint8_t>(i), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng())};
    ImagePtr image(new Image(width, height, 3));
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
        for (int x = 0; x < width; ++x) {
            const auto& c = palette[static_cast<size_t>((x + 3 * y) % colours)];
            std::copy(c.begin(), c.end(), row + 3 * x);
        }
    }
    return image;
}

// ImageMagick's decoding of a file as R, G, B (packed rows).
ImagePtr DecodeWithMagick(const std::string& path, const testkit::TempDir& dir)
{
    const std::string out = dir.file("magick.ppm");
    const testkit::CommandResult r = testkit::Run("convert '" + path + "[0]' -depth 8 'ppm:" + out + "'");
    if (r.status != 0) {
        ADD_FAILURE() << r.output;
        return nullptr;
    }
    return ImagePtr(testkit::ReadPnm(out));
}

struct Decoded {
    int header = -1;
    int data = -1;
    bool transparent = false;
    int transparentColour = 0;
    ImagePtr image;
};

Decoded DecodeWithGifkit(const std::string& path)
{
    Decoded d;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return d;
    QUORVANE_FileInfo info;
    info.file = file;
    d.image.reset(new Image());
    d.header = GetGifHeader(d.image.get(), &info);
    if (d.header == 0) {
        d.image->BmpInit();
        d.data = ReadGifData(d.image.get(), &info);
        d.transparent = GetGifTransparency(&info, 0, &d.transparentColour);
        GifCleanup(&info);
    }
    EXPECT_EQ(info.extra, nullptr);
    std::fclose(file);
    return d;
}

// Our B, G, R bitmap against an R, G, B reference, exactly or within a mean
// absolute difference.
::testing::AssertionResult SameAsReference(const Image& ours, const Image& reference, double maxMean = 0.0)
{
    if (ours.GetWidth() != reference.GetWidth() || ours.GetHeight() != reference.GetHeight())
        return ::testing::AssertionFailure() << "size " << ours.GetWidth() << "x" << ours.GetHeight() << " vs "
                                             << reference.GetWidth() << "x" << reference.GetHeight();
    double sum = 0;
    size_t n = 0;
    for (int y = 0; y < ours.GetHeight(); ++y) {
        const uint8_t* a = ours.GetData() + static_cast<size_t>(y) * ours.GetRowByte();
        const uint8_t* b = reference.GetData() + static_cast<size_t>(y) * reference.GetRowByte();
        for (int x = 0; x < ours.GetWidth(); ++x)
            for (int c = 0; c < 3; ++c) {
                const int d = std::abs(int(a[3 * x + c]) - int(b[3 * x + 2 - c]));
                if (maxMean == 0.0 && d != 0)
                    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") channel " << c << ": "
                                                         << int(a[3 * x + c]) << " vs " << int(b[3 * x + 2 - c]);
                sum += d;
                ++n;
            }
    }
    if (sum / static_cast<double>(n) > maxMean)
        return ::testing::AssertionFailure() << "mean difference " << sum / static_cast<double>(n);
    return ::testing::AssertionSuccess();
}

TEST(Gifkit, ReadsImageMagickGifsLikeImageMagick)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    testkit::TempDir dir;
    ImagePtr source = MakeBandedImage(61, 37, 150, 3);
    ASSERT_TRUE(testkit::WritePnm(*source, dir.file("source.ppm")));
    struct Case {
        const char* name;
        const char* options;
        bool transparent;
    };
    const Case cases[] = {
        {"plain", "", false},
        {"interlaced", "-interlace GIF", false},
        {"two_colours", "-colors 2", false},
        {"transparent", "-transparent 'rgb(0,0,0)'", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string gif = dir.file(std::string(c.name) + ".gif");
        // Pixel (0, 0) is made black so that the transparent case has a colour to key.
        const testkit::CommandResult r = testkit::Run("convert '" + dir.file("source.ppm") +
                                                      "' -fill black -draw 'point 0,0' " + c.options + " '" + gif + "'");
        ASSERT_EQ(r.status, 0) << r.output;
        Decoded d = DecodeWithGifkit(gif);
        ASSERT_EQ(d.header, 0);
        ASSERT_EQ(d.data, 0);
        EXPECT_EQ(d.transparent, c.transparent);
        if (c.transparent) {
            EXPECT_EQ(d.transparentColour, 0);
        }
        // ImageMagick shows transparent pixels with their table colour only
        // when asked to keep it; compare the opaque cases pixel for pixel.
        if (!c.transparent) {
            ImagePtr reference = DecodeWithMagick(gif, dir);
            ASSERT_TRUE(reference);
            EXPECT_TRUE(SameAsReference(*d.image, *reference));
        }
    }
}

TEST(Gifkit, RefusesFilesThatAreNotGif)
{
    testkit::TempDir dir;
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"signature_only", "GIF89a"},
        {"not_gif", "GIXXXXXXXXXXXXXXXXXXXXXXXXX"},
        {"screen_without_frame", std::string("GIF89a\x04\x00\x04\x00\x00\x00\x00\x3B", 14)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file("bad.gif");
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(c.bytes.data(), 1, c.bytes.size(), f);
        std::fclose(f);
        LogCapture log;
        Decoded d = DecodeWithGifkit(path);
        EXPECT_EQ(d.header, 1);
        EXPECT_TRUE(log.contains("ERROR GetGifHeader()")) << log.text();
    }
}

TEST(Gifkit, WrittenGifsReadBackThroughImageMagick)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    testkit::TempDir dir;
    struct Case {
        const char* name;
        ImagePtr image;
        double maxMean;  // 0: exact
    };
    std::vector<Case> cases;
    cases.push_back({"exact_palette", MakeBandedImage(40, 30, 256, 5), 0.0});
    // Random noise of 1200 colours: quantised to 256, close on average.
    cases.push_back({"quantised", ImagePtr(testkit::MakePatternImage(40, 30, 3)), 40.0});
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The images are made R, G, B; swap them to the normal B, G, R order.
        ImagePtr bgr(c.image->Duplicate());
        for (int y = 0; y < bgr->GetHeight(); ++y) {
            uint8_t* row = bgr->GetData() + static_cast<size_t>(y) * bgr->GetRowByte();
            for (int x = 0; x < bgr->GetWidth(); ++x) std::swap(row[3 * x], row[3 * x + 2]);
        }
        QUORVANE_FileInfo info;
        const std::string path = dir.file(std::string(c.name) + ".gif");
        info.path = path.c_str();
        ASSERT_EQ(WriteGif(bgr.get(), nullptr, &info), kWriteGifOk);
        ImagePtr back = DecodeWithMagick(path, dir);
        ASSERT_TRUE(back);
        EXPECT_TRUE(SameAsReference(*bgr, *back, c.maxMean));
    }
}

TEST(Gifkit, GreyAndCroppedWrites)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    testkit::TempDir dir;
    ImagePtr grey(testkit::MakePatternImage(33, 21, 1));
    const std::string path = dir.file("grey.gif");
    QUORVANE_FileInfo info;
    info.path = path.c_str();
    RECT crop{5, 3, 20, 17};  // inclusive: 16 x 15
    ASSERT_EQ(WriteGif(grey.get(), &crop, &info), kWriteGifOk);
    ImagePtr back = DecodeWithMagick(path, dir);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->GetWidth(), 16);
    ASSERT_EQ(back->GetHeight(), 15);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 16; ++x) {
            const uint8_t g = grey->GetData()[static_cast<size_t>(y + 3) * grey->GetRowByte() + x + 5];
            const uint8_t* p = back->GetData() + static_cast<size_t>(y) * back->GetRowByte() + 3 * x;
            ASSERT_EQ(p[0], g) << x << "," << y;
            ASSERT_EQ(p[1], g);
            ASSERT_EQ(p[2], g);
        }
    // A rectangle outside the image writes nothing.
    RECT outside{100, 100, 120, 120};
    const std::string none = dir.file("none.gif");
    info.path = none.c_str();
    EXPECT_EQ(WriteGif(grey.get(), &outside, &info), kWriteGifNoData);
    EXPECT_FALSE(std::filesystem::exists(none));
    info.path = "/nonexistent-folder/x.gif";
    EXPECT_EQ(WriteGif(grey.get(), nullptr, &info), kWriteGifCannotCreate);
}

}  // namespace
