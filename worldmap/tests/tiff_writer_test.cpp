// The own TIFF writer: the directory as tiffdump lists it (ascending tags,
// the descriptor inline or after the BitsPerSample values, no Compression
// tag), pixels that ImageMagick and libtiff read back exactly, the crop
// rectangle clipped, the caller's image untouched, LONG sizes past 65535,
// planar images written interleaved, failed writes reported and removed.
#include "worldmap/tiff_writer.h"

#include "core/byte_order.h"
#include "core/logger.h"
#include "worldmap/tests/image_file_test_support.h"
#include "worldmap/tiff_reader.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <sys/resource.h>

using namespace filetest;

namespace {

struct DumpEntry {
    int tag = 0;
    std::string type;
    int count = 0;
    std::vector<long long> values;
};

// tiffdump's listing of the first directory.
std::vector<DumpEntry> TiffDump(const std::string& path)
{
    const testkit::CommandResult r = testkit::Run("tiffdump '" + path + "'");
    EXPECT_EQ(r.status, 0) << r.output;
    // Lines read "<name> (<tag>) <TYPE> (<code>) <count><<values>>".
    std::vector<DumpEntry> out;
    std::istringstream in(r.output);
    std::string text;
    while (std::getline(in, text)) {
        const size_t open = text.find('<'), close = text.rfind('>');
        const size_t typeEnd = text.rfind(" (", open);
        const size_t tagEnd = typeEnd == std::string::npos ? std::string::npos : text.rfind(") ", typeEnd);
        const size_t tagStart = tagEnd == std::string::npos ? std::string::npos : text.rfind('(', tagEnd);
        if (open == std::string::npos || close == std::string::npos || tagStart == std::string::npos) continue;
        DumpEntry e;
        try {
            e.tag = std::stoi(text.substr(tagStart + 1, tagEnd - tagStart - 1));
            e.type = text.substr(tagEnd + 2, typeEnd - tagEnd - 2);
            e.count = std::stoi(text.substr(text.find(") ", typeEnd) + 2, open));
        } catch (const std::exception&) {
            continue;
        }
        // BYTE values are listed in hexadecimal ("0x6b").
        std::istringstream values(text.substr(open + 1, close - open - 1));
        std::string token;
        while (values >> token) e.values.push_back(std::stoll(token, nullptr, 0));
        out.push_back(e);
    }
    return out;
}

const DumpEntry* Find(const std::vector<DumpEntry>& entries, int tag)
{
    for (const DumpEntry& e : entries)
        if (e.tag == tag) return &e;
    return nullptr;
}

// The raw value field of an entry of our own file (always "II", IFD at 8).
uint32_t RawValueField(const Bytes& file, int tag)
{
    const uint16_t n = byteorder::GetU16LE(&file[8]);
    for (uint16_t i = 0; i < n; ++i) {
        const uint8_t* p = &file[10 + 12 * static_cast<size_t>(i)];
        if (byteorder::GetU16LE(p) == tag) return byteorder::GetU32LE(p + 8);
    }
    ADD_FAILURE() << "no tag " << tag;
    return 0;
}

int Save(Image* image, RECT* rect, const std::string& path, FileExtraData* extra = nullptr)
{
    QUORVANE_FileInfo info;
    info.path = path.c_str();
    info.extra = extra;
    return SaveImageAsTiff(image, rect, &info);
}

FileExtraData MakeExtra(const Bytes& descriptor)
{
    FileExtraData extra;
    extra.length = static_cast<int32_t>(descriptor.size());
    std::copy(descriptor.begin(), descriptor.end(), extra.bytes);
    return extra;
}

// B, G, R (normal order) image and the R, G, B samples it must be written as.
Bytes RgbOf(const Image& bgr, int left, int top, int width, int height)
{
    Bytes out;
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x) {
            const uint8_t* p = bgr.GetData() + static_cast<size_t>(y) * bgr.GetRowByte() + 3 * x;
            out.insert(out.end(), {p[2], p[1], p[0]});
        }
    return out;
}

// libtiff's raw scanlines of a contiguous file.
Bytes LibtiffScanlines(const std::string& path)
{
    Bytes out;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return out;
    uint32_t h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize64(tif)));
    for (uint32_t y = 0; y < h; ++y) {
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0) {
            out.clear();
            break;
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    TIFFClose(tif);
    return out;
}

TEST(TiffWrite, DirectoryAsTiffdumpListsIt)
{
    ASSERT_TRUE(testkit::RequireTool("tiffdump"));
    testkit::TempDir dir;
    struct Case {
        const char* name;
        int channels;
        Bytes descriptor;
    };
    const Case cases[] = {
        {"rgb_22", 3, Descriptor(8000, 3000, 900, 1)},
        {"rgb_3", 3, Bytes{'x', 'y', 'z'}},
        {"grey_22", 1, Descriptor(4000, 10, 20, 0)},
        {"grey_none", 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImagePtr image(testkit::MakePatternImage(13, 7, c.channels, IMG_LAYOUT_BITMAP));
        const std::string path = dir.file(std::string(c.name) + ".tif");
        FileExtraData extra = MakeExtra(c.descriptor);
        ASSERT_EQ(Save(image.get(), nullptr, path, c.descriptor.empty() ? nullptr : &extra), kSaveTiffOk);
        const std::vector<DumpEntry> entries = TiffDump(path);
        ASSERT_FALSE(entries.empty());
        for (size_t i = 1; i < entries.size(); ++i) EXPECT_LT(entries[i - 1].tag, entries[i].tag);
        EXPECT_EQ(Find(entries, 259), nullptr) << "no Compression tag";
        EXPECT_EQ(Find(entries, 284), nullptr) << "no PlanarConfiguration for an interleaved image";
        EXPECT_EQ(Find(entries, 339), nullptr) << "no SampleFormat for unsigned samples";
        ASSERT_NE(Find(entries, 256), nullptr);
        EXPECT_EQ(Find(entries, 256)->type, "SHORT");
        EXPECT_EQ(Find(entries, 256)->values, std::vector<long long>{13});
        EXPECT_EQ(Find(entries, 257)->values, std::vector<long long>{7});
        EXPECT_EQ(Find(entries, 258)->count, c.channels);
        EXPECT_EQ(Find(entries, 258)->values, std::vector<long long>(static_cast<size_t>(c.channels), 8));
        EXPECT_EQ(Find(entries, 262)->values, std::vector<long long>{c.channels == 1 ? 1 : 2});
        EXPECT_EQ(Find(entries, 277)->values, std::vector<long long>{c.channels});
        EXPECT_EQ(Find(entries, 278)->values, std::vector<long long>{7});
        EXPECT_EQ(Find(entries, 279)->values, std::vector<long long>{13LL * 7 * c.channels});
        EXPECT_EQ(Find(entries, 273)->type, "LONG");
        const DumpEntry* tag = Find(entries, 32768);
        if (c.descriptor.empty()) {
            EXPECT_EQ(tag, nullptr);
            EXPECT_EQ(entries.size(), 8u);
            continue;
        }
        ASSERT_NE(tag, nullptr);
        EXPECT_EQ(tag->type, "BYTE");
        EXPECT_EQ(tag->count, static_cast<int>(c.descriptor.size()));
        EXPECT_EQ(tag->values, std::vector<long long>(c.descriptor.begin(), c.descriptor.end()));
        // Placement: the descriptor follows the IFD and, for RGB, the three
        // BitsPerSample values; the pixels follow the descriptor.
        const Bytes file = ReadFileBytes(path);
        const uint32_t ifdEnd = 8 + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
        const uint32_t bitsEnd = ifdEnd + (c.channels == 3 ? 6 : 0);
        if (c.channels == 3) {
            EXPECT_EQ(RawValueField(file, 258), ifdEnd);
        }
        if (c.descriptor.size() > 4) {
            EXPECT_EQ(RawValueField(file, 32768), bitsEnd);
            EXPECT_EQ(RawValueField(file, 273), bitsEnd + c.descriptor.size());
            EXPECT_EQ(extra.scratch, static_cast<int32_t>(10 + 12 * (entries.size() - 1)));
        } else {
            EXPECT_EQ(RawValueField(file, 273), bitsEnd);
            EXPECT_EQ(extra.scratch, 0);
        }
        EXPECT_EQ(file.size(), RawValueField(file, 273) + 13u * 7 * c.channels);
    }
}

TEST(TiffWrite, PixelsReadBackByImageMagickAndLibtiff)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    testkit::TempDir dir;
    for (int channels : {1, 3}) {
        for (unsigned short layout : {IMG_LAYOUT_BITMAP, static_cast<unsigned short>(0)}) {
            SCOPED_TRACE(std::to_string(channels) + " channels, layout " + std::to_string(layout));
            ImagePtr image(testkit::MakePatternImage(29, 11, channels, layout, 4));
            const std::string path = dir.file("out.tif");
            // With a descriptor: the private tag must not change how others read the pixels.
            FileExtraData extra = MakeExtra(Descriptor(4000, 100, 200, 1));
            ASSERT_EQ(Save(image.get(), nullptr, path, &extra), kSaveTiffOk);
            ImagePtr magick = DecodeWithMagick(path, dir);
            ASSERT_TRUE(magick);
            EXPECT_TRUE(SameAsMagick(*image, *magick, false));
            const Rgba tiff = DecodeWithLibtiff(path);
            ASSERT_FALSE(tiff.pixels.empty());
            EXPECT_TRUE(SameAsReference(*image, tiff.pixels.data(), 4, tiff.width, tiff.height, false));
            // And our own reader gives the same image back.
            FILE* f = std::fopen(path.c_str(), "rb");
            QUORVANE_FileInfo info;
            info.file = f;
            Image back;
            ASSERT_EQ(GetTifHeader(&back, &info), 0);
            ASSERT_EQ(back.BmpInit(), 0);
            ASSERT_EQ(ReadTifData(&back, &info), 0);
            TifCleanup(&info);
            std::fclose(f);
            EXPECT_TRUE(testkit::SamePixels(back, *image));
        }
    }
}

TEST(TiffWrite, SixteenBitAndReversedOrderSamples)
{
    testkit::TempDir dir;
    // 16-bit R, G, B written in normal order: samples 0 and 2 swap as whole
    // samples, never as bytes.
    Image wide;
    ASSERT_TRUE(wide.Create(6, 4, 3, IMG_UINT16));
    for (size_t i = 0; i < 6 * 4 * 3; ++i) reinterpret_cast<uint16_t*>(wide.GetData())[i] = static_cast<uint16_t>(i * 1000 + 7);
    const std::string path = dir.file("wide.tif");
    ASSERT_EQ(Save(&wide, nullptr, path), kSaveTiffOk);
    const Bytes lines = LibtiffScanlines(path);
    ASSERT_EQ(lines.size(), 6u * 4 * 3 * 2);
    for (size_t px = 0; px < 6 * 4; ++px)
        for (int c = 0; c < 3; ++c) {
            uint16_t got;
            std::memcpy(&got, &lines[(px * 3 + c) * 2], 2);
            EXPECT_EQ(got, reinterpret_cast<uint16_t*>(wide.GetData())[px * 3 + (2 - c)]);
        }
    // An image in reversed order already holds R, G, B: written as it is.
    // (Image has no setter for the order bit; a derived image sets it.)
    struct ReversedImage : Image {
        ReversedImage() { m_format = static_cast<unsigned short>(m_format | IMG_FORMAT_REVERSED); }
    };
    ImagePtr pattern(testkit::MakePatternImage(5, 3, 3));
    ImagePtr rgb(new ReversedImage());
    rgb->SetSize(5, 3);
    rgb->SetChannels(3);
    rgb->SetDataType(IMG_UINT8);
    ASSERT_EQ(rgb->Init(), 0);
    std::memcpy(rgb->GetData(), pattern->GetData(), pattern->GetDataSize());
    ASSERT_FALSE(rgb->IsNormalOrder());
    const std::string rpath = dir.file("reversed.tif");
    ASSERT_EQ(Save(rgb.get(), nullptr, rpath), kSaveTiffOk);
    const Bytes rlines = LibtiffScanlines(rpath);
    ASSERT_EQ(rlines.size(), 5u * 3 * 3);
    EXPECT_TRUE(std::equal(rlines.begin(), rlines.end(), pattern->GetData()));
}

TEST(TiffWrite, CropRectangleIsClippedAndTheImageUnchanged)
{
    testkit::TempDir dir;
    ImagePtr image(testkit::MakePatternImage(20, 15, 3, IMG_LAYOUT_BITMAP, 8));
    ImagePtr before(image->Duplicate());
    struct Case {
        const char* name;
        RECT rect;
        int left, top, width, height;  // expected area
    };
    const Case cases[] = {
        {"inside", {3, 2, 9, 10}, 3, 2, 7, 9},
        {"one_pixel", {19, 14, 19, 14}, 19, 14, 1, 1},
        {"past_right_bottom", {15, 10, 40, 30}, 15, 10, 5, 5},
        {"past_left_top", {-5, -7, 4, 3}, 0, 0, 5, 4},
        {"extreme", {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, 0, 0, 20, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RECT rect = c.rect;
        const std::string path = dir.file(std::string(c.name) + ".tif");
        ASSERT_EQ(Save(image.get(), &rect, path), kSaveTiffOk);
        const Bytes lines = LibtiffScanlines(path);
        EXPECT_EQ(lines, RgbOf(*image, c.left, c.top, c.width, c.height));
        EXPECT_TRUE(testkit::SamePixels(*image, *before)) << "the caller's image changed";
    }
    for (RECT outside : {RECT{20, 0, 25, 5}, RECT{5, 5, 4, 8}, RECT{0, -9, 5, -1}}) {
        const std::string path = dir.file("outside.tif");
        LogCapture log;
        EXPECT_EQ(Save(image.get(), &outside, path), kSaveTiffNoData);
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_TRUE(log.contains("ERROR SaveImageAsTiff")) << log.text();
    }
}

TEST(TiffWrite, WidthAbove65535IsLong)
{
    ASSERT_TRUE(testkit::RequireTool("tiffdump"));
    testkit::TempDir dir;
    ImagePtr image(testkit::MakePatternImage(70000, 1, 3, IMG_LAYOUT_BITMAP, 2));
    const std::string path = dir.file("wide.tif");
    ASSERT_EQ(Save(image.get(), nullptr, path), kSaveTiffOk);
    const std::vector<DumpEntry> entries = TiffDump(path);
    ASSERT_NE(Find(entries, 256), nullptr);
    EXPECT_EQ(Find(entries, 256)->type, "LONG");
    EXPECT_EQ(Find(entries, 256)->values, std::vector<long long>{70000});
    EXPECT_EQ(LibtiffScanlines(path), RgbOf(*image, 0, 0, 70000, 1));
}

TEST(TiffWrite, PlanarImagesAreWrittenInterleaved)
{
    testkit::TempDir dir;
    Image planar;
    planar.SetSize(7, 5);
    planar.SetChannels(3);
    planar.SetDataType(IMG_UINT8);
    planar.SetDataLayoutType(IMG_FORMAT_PLANAR);
    ASSERT_EQ(planar.Init(), 0);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 35; ++i) planar.GetData(c)[i] = static_cast<uint8_t>(c * 80 + i);
    const std::string path = dir.file("planar.tif");
    ASSERT_EQ(Save(&planar, nullptr, path), kSaveTiffOk);
    const Bytes lines = LibtiffScanlines(path);
    ASSERT_EQ(lines.size(), 7u * 5 * 3);
    for (int i = 0; i < 35; ++i)
        for (int c = 0; c < 3; ++c)  // planes hold B, G, R; the file R, G, B
            EXPECT_EQ(lines[static_cast<size_t>(i) * 3 + c], planar.GetData(2 - c)[i]);
}

TEST(TiffWrite, FailuresAreReportedAndPartialFilesRemoved)
{
    testkit::TempDir dir;
    ImagePtr image(testkit::MakePatternImage(300, 200, 3, IMG_LAYOUT_BITMAP));
    ImagePtr before(image->Duplicate());
    LogCapture log;
    EXPECT_EQ(Save(image.get(), nullptr, dir.file("no/such/folder.tif")), kSaveTiffCannotCreate);
    // A file-size limit makes the writes fail part way.
    struct rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string path = dir.file("limited.tif");
    const int result = Save(image.get(), nullptr, path);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, kSaveTiffWriteFailed);
    EXPECT_FALSE(std::filesystem::exists(path));
    // A write that stops part way leaves the caller's B, G, R pixels as they were.
    EXPECT_TRUE(testkit::SamePixels(*image, *before)) << "the caller's image changed";
    EXPECT_TRUE(log.contains("ERROR SaveImageAsTiff: cannot write")) << log.text();
    // Nothing to write.
    Image empty;
    EXPECT_EQ(Save(&empty, nullptr, dir.file("empty.tif")), kSaveTiffNoData);
    Image two;
    ASSERT_TRUE(two.Create(4, 4, 2, IMG_UINT8));
    EXPECT_EQ(Save(&two, nullptr, dir.file("two.tif")), kSaveTiffNoData);
}

}  // namespace
