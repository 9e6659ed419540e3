// The own TIFF reader: files made by ImageMagick and tiffcp in both byte
// orders, depths and strip layouts read to the samples that were written
// (and to libtiff's pixels); the header pass maps depth and SampleFormat to
// the sample-type codes; compressed, planar, tiled, 2- and 4-sample and
// broken files are refused in the header pass; short files fail the pixel
// pass; every TIFF of the shared test data is read like libtiff or refused.
#include "worldmap/tiff_reader.h"

#include "core/logger.h"
#include "worldmap/tests/image_file_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <unistd.h>

using namespace filetest;

namespace {

struct Read {
    int header = -1;
    int data = -1;
    int options = 0;
    ImagePtr image;
    TifHeaderState state;
};

enum class Layout { Bitmap, Packed };

// The front door's two ways: a plain image in the bitmap layout, a panorama
// image packed in the header's own sample type.
Read ReadTiffFrom(FILE* file, Layout layout)
{
    Read r;
    QUORVANE_FileInfo info;
    info.file = file;
    r.image.reset(new Image());
    r.header = GetTifHeader(r.image.get(), &info);
    r.options = info.options;
    if (r.header == 0) {
        EXPECT_NE(info.extra, nullptr);
        r.state = *static_cast<TifHeaderState*>(info.extra);
        if (layout == Layout::Bitmap) {
            EXPECT_EQ(r.image->BmpInit(), 0);
        } else {
            r.image->SetDataLayoutType(0);
            EXPECT_EQ(r.image->Init(), 0);
        }
        r.data = ReadTifData(r.image.get(), &info);
        r.options = info.options;
        TifCleanup(&info);
    } else {
        EXPECT_EQ(info.extra, nullptr);
    }
    EXPECT_EQ(info.extra, nullptr);
    EXPECT_EQ(info.file, file);
    return r;
}

Read ReadTiff(const std::string& path, Layout layout = Layout::Bitmap, int64_t offset = 0)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        ADD_FAILURE() << "cannot open " << path;
        return {};
    }
    fseeko(file, offset, SEEK_SET);
    Read r = ReadTiffFrom(file, layout);
    std::fclose(file);
    return r;
}

// A PPM (P6) or PGM (P5) of 16-bit samples with random values, whose high and
// low bytes differ, so that a reader keeping the wrong byte shows.
Bytes Write16BitPnm(const std::string& path, int width, int height, int channels, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes samples;  // big-endian, as PNM stores them
    for (int i = 0; i < width * height * channels; ++i) {
        uint16_t v = static_cast<uint16_t>(rng());
        if ((v >> 8) == (v & 0xFF)) v ^= 1;
        samples.push_back(static_cast<uint8_t>(v >> 8));
        samples.push_back(static_cast<uint8_t>(v));
    }
    std::ofstream out(path, std::ios::binary);
    out << (channels == 1 ? "P5" : "P6") << "\n" << width << " " << height << "\n65535\n";
    out.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size()));
    return samples;
}

// The samples the reader must give for a source: R, G, B (or grey) bytes.
Bytes ExpectedBytes(const Bytes& source, int bits)
{
    if (bits == 8) return source;
    Bytes high;
    for (size_t i = 0; i < source.size(); i += 2) high.push_back(source[i]);  // big-endian: high byte first
    return high;
}

::testing::AssertionResult SameSamples(const Image& ours, const Bytes& expected)
{
    const int channels = ours.GetChannels();
    const int w = ours.GetWidth();
    for (int y = 0; y < ours.GetHeight(); ++y) {
        const uint8_t* row = ours.GetData() + static_cast<size_t>(y) * ours.GetRowByte();
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c) {
                // Ours is B, G, R; the source R, G, B.
                const int sc = channels == 3 ? 2 - c : 0;
                const uint8_t want = expected[(static_cast<size_t>(y) * w + x) * channels + sc];
                if (row[x * channels + c] != want)
                    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") channel " << c << ": "
                                                         << int(row[x * channels + c]) << " vs " << int(want);
            }
    }
    return ::testing::AssertionSuccess();
}

TEST(TiffRead, ImageMagickAndTiffcpFixtures)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    ASSERT_TRUE(testkit::RequireTool("tiffcp"));
    testkit::TempDir dir;
    const int w = 37, h = 23;  // odd width: bitmap rows are padded
    struct Source {
        const char* name;
        int channels;
        int bits;
        Bytes samples;
    };
    std::vector<Source> sources;
    for (int channels : {1, 3}) {
        ImagePtr pattern(testkit::MakePatternImage(w, h, channels, 0, 11 + channels));
        const std::string pnm = dir.file(channels == 1 ? "grey8.pnm" : "rgb8.pnm");
        ASSERT_TRUE(testkit::WritePnm(*pattern, pnm));
        Bytes samples(pattern->GetData(), pattern->GetData() + pattern->GetDataSize());
        sources.push_back({channels == 1 ? "grey8" : "rgb8", channels, 8, samples});
        const std::string pnm16 = dir.file(channels == 1 ? "grey16.pnm" : "rgb16.pnm");
        sources.push_back({channels == 1 ? "grey16" : "rgb16", channels, 16, Write16BitPnm(pnm16, w, h, channels, 5)});
    }
    for (const Source& s : sources) {
        const testkit::CommandResult r = testkit::Run("convert '" + dir.file(std::string(s.name) + ".pnm") +
                                                      "' -compress none '" + dir.file(std::string(s.name) + ".tif") + "'");
        ASSERT_EQ(r.status, 0) << r.output;
    }
    struct Case {
        const char* source;
        const char* tiffcp;
        unsigned short typeCode;
    };
    const Case cases[] = {
        {"rgb8", "-c none -p contig -L", IMG_UINT8},
        {"rgb8", "-c none -p contig -B", IMG_UINT8},
        {"rgb8", "-c none -p contig -r 3 -L", IMG_UINT8},
        {"rgb8", "-c none -p contig -r 3 -B", IMG_UINT8},
        {"grey8", "-c none -L", IMG_UINT8},
        {"grey8", "-c none -r 1 -B", IMG_UINT8},
        {"rgb16", "-c none -p contig -L", IMG_UINT16},
        {"rgb16", "-c none -p contig -r 4 -B", IMG_UINT16},
        {"grey16", "-c none -L", IMG_UINT16},
        {"grey16", "-c none -B", IMG_UINT16},
        // One plane holds all of a grey image: planar configuration 2 is read.
        {"grey8", "-c none -p separate -B", IMG_UINT8},
    };
    int n = 0;
    for (const Case& c : cases) {
        const Source& src = *std::find_if(sources.begin(), sources.end(), [&](const Source& s) { return s.name == std::string(c.source); });
        SCOPED_TRACE(std::string(c.source) + " tiffcp " + c.tiffcp);
        const std::string out = dir.file("case" + std::to_string(n++) + ".tif");
        const testkit::CommandResult r =
            testkit::Run("tiffcp " + std::string(c.tiffcp) + " '" + dir.file(std::string(c.source) + ".tif") + "' '" + out + "'");
        ASSERT_EQ(r.status, 0) << r.output;
        // Header pass alone: the file's own sample type.
        {
            FILE* f = std::fopen(out.c_str(), "rb");
            Image header;
            QUORVANE_FileInfo info;
            info.file = f;
            ASSERT_EQ(GetTifHeader(&header, &info), 0);
            EXPECT_EQ(header.GetDataType(), c.typeCode);
            EXPECT_EQ(header.GetChannels(), src.channels);
            EXPECT_EQ(header.GetWidth(), w);
            EXPECT_EQ(header.GetHeight(), h);
            EXPECT_EQ(info.options & QFI_READ_FAILED, 0);
            TifCleanup(&info);
            std::fclose(f);
        }
        Read ours = ReadTiff(out);
        ASSERT_EQ(ours.header, 0);
        ASSERT_EQ(ours.data, 0);
        EXPECT_TRUE(SameSamples(*ours.image, ExpectedBytes(src.samples, src.bits)));
        if (src.bits == 8) {
            // libtiff agrees with the samples too (an independent decoder of
            // the same file).
            const Rgba ref = DecodeWithLibtiff(out);
            ASSERT_FALSE(ref.pixels.empty());
            EXPECT_TRUE(SameAsReference(*ours.image, ref.pixels.data(), 4, ref.width, ref.height, false));
        }
    }
}

TEST(TiffRead, RefusedToolFixtures)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    ASSERT_TRUE(testkit::RequireTool("tiffcp"));
    testkit::TempDir dir;
    ImagePtr pattern(testkit::MakePatternImage(20, 12, 3));
    ASSERT_TRUE(testkit::WritePnm(*pattern, dir.file("src.ppm")));
    const std::string src = dir.file("src.ppm");
    const std::string base = dir.file("base.tif");
    ASSERT_EQ(testkit::Run("convert '" + src + "' -compress none '" + base + "'").status, 0);
    struct Case {
        const char* name;
        std::string command;  // makes out.tif
        const char* reason;
    };
    const std::string out = dir.file("out.tif");
    const Case cases[] = {
        {"lzw", "tiffcp -c lzw '" + base + "' '" + out + "'", "compressed"},
        {"packbits", "tiffcp -c packbits '" + base + "' '" + out + "'", "compressed"},
        {"planar_rgb", "tiffcp -c none -p separate '" + base + "' '" + out + "'", "planar file with several channels"},
        {"tiled", "tiffcp -c none -t -w 16 -l 16 '" + base + "' '" + out + "'", "tiled"},
        {"rgba", "convert '" + src + "' -alpha set -compress none '" + out + "'", "SamplesPerPixel is not 1 or 3"},
        {"cmyk", "convert '" + src + "' -colorspace CMYK -compress none '" + out + "'", "SamplesPerPixel is not 1 or 3"},
        {"palette", "convert '" + src + "' -colors 200 -type Palette -depth 8 -compress none '" + out + "'",
         "grey file with a colour PhotometricInterpretation"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(out);
        const testkit::CommandResult r = testkit::Run(c.command);
        ASSERT_EQ(r.status, 0) << r.output;
        LogCapture log;
        Read ours = ReadTiff(out);
        EXPECT_EQ(ours.header, 1);
        EXPECT_TRUE(ours.options & QFI_READ_FAILED);
        EXPECT_EQ(log.errorCount(), 1);
        EXPECT_TRUE(log.contains("ERROR GetTifHeader")) << log.text();
        EXPECT_TRUE(log.contains(c.reason)) << log.text();
    }
}

// Depth and SampleFormat give the sample-type codes, in both byte orders.
TEST(TiffRead, SampleTypeCodes)
{
    testkit::TempDir dir;
    struct Case {
        uint16_t bits;
        int sampleFormat;  // 0: no tag
        unsigned short code;
    };
    const Case cases[] = {
        {8, 0, 32},   {8, 1, 32},   {8, 2, 48},    {8, 3, 48},    {8, 4, 48},   {16, 0, 64}, {16, 1, 64},
        {16, 2, 80},  {16, 3, 80},  {32, 1, 96},   {32, 2, 112},  {32, 3, 128}, {32, 4, 16}, {1, 0, 16},
    };
    for (bool big : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(c.bits) + " bits, format " + std::to_string(c.sampleFormat) + (big ? " MM" : " II"));
            TiffBuilder b(big);
            b.Basic(5, 3, c.bits, 1);
            if (c.sampleFormat) b.Short(339, {static_cast<uint32_t>(c.sampleFormat)});
            const size_t rowBytes = (5u * c.bits + 7) / 8;
            b.Strips({Bytes(rowBytes * 3, 0x5A)}, 3);
            const std::string path = dir.file("t.tif");
            ASSERT_TRUE(WriteFileBytes(path, b.Build()));
            FILE* f = std::fopen(path.c_str(), "rb");
            Image image;
            QUORVANE_FileInfo info;
            info.file = f;
            ASSERT_EQ(GetTifHeader(&image, &info), 0);
            EXPECT_EQ(image.GetDataType(), c.code);
            EXPECT_EQ(image.GetChannels(), 1);
            TifCleanup(&info);
            std::fclose(f);
        }
    }
}

// Files the header pass must refuse, with the reason logged.
TEST(TiffRead, BrokenAndHostileHeaders)
{
    testkit::TempDir dir;
    const Bytes rgb = PatternSamples(4, 3, 3, 8, false, 1);
    auto good = [&](bool big = false) {
        TiffBuilder b(big);
        b.Basic(4, 3, 8, 3);
        return b;
    };
    struct Case {
        const char* name;
        Bytes file;
        const char* reason;
    };
    std::vector<Case> cases;
    cases.push_back({"not_tiff", Bytes{'I', 'M', 42, 0, 8, 0, 0, 0}, "byte order"});
    {
        Bytes f = good().Strips({rgb}, 3).Build();
        f[2] = 43;  // BigTIFF
        cases.push_back({"bigtiff", f, "version is not 42"});
        Bytes g = good().Strips({rgb}, 3).Build();
        g[4] = 0xF0;  // IFD past the end
        g[5] = 0xFF;
        cases.push_back({"ifd_outside", g, "first IFD lies outside the file"});
        Bytes h = good().Strips({rgb}, 3).Build();
        h.resize(20);
        cases.push_back({"ifd_cut", h, "IFD runs past the end"});
    }
    cases.push_back({"no_strip_offsets", good().Long(279, {36}).Long(278, {3}).Build(), "no StripOffsets"});
    cases.push_back({"no_strip_byte_counts", good().Strips({rgb}, 3, false).Raw(273, 4, 1, 200).Build(), "no StripByteCounts"});
    cases.push_back({"lzw", good().Short(259, {5}).Strips({rgb}, 3).Build(), "compressed"});
    cases.push_back({"tiled", good().Long(322, {16}).Long(323, {16}).Strips({rgb}, 3).Build(), "tiled"});
    cases.push_back({"planar", good().Short(284, {2}).Strips({rgb}, 3).Build(), "planar file with several channels"});
    {
        TiffBuilder b;
        b.Long(256, {4}).Long(257, {3}).Short(258, {8, 8}).Short(262, {1}).Short(277, {2});
        cases.push_back({"two_samples", b.Strips({rgb}, 3).Build(), "SamplesPerPixel is not 1 or 3"});
        TiffBuilder c;
        c.Long(256, {4}).Long(257, {3}).Short(258, {8, 16, 8}).Short(262, {2}).Short(277, {3});
        cases.push_back({"mixed_depths", c.Strips({rgb}, 3).Build(), "samples of different depths"});
        TiffBuilder d;
        d.Long(256, {4}).Long(257, {3}).Short(258, {4, 4, 4}).Short(262, {2}).Short(277, {3});
        cases.push_back({"four_bit", d.Strips({rgb}, 3).Build(), "BitsPerSample is not"});
        TiffBuilder e;
        e.Long(256, {0}).Long(257, {3}).Short(258, {8, 8, 8}).Short(262, {2}).Short(277, {3});
        cases.push_back({"zero_width", e.Strips({rgb}, 3).Build(), "missing or zero"});
    }
    cases.push_back({"ycbcr", good().Short(262, {6}).Strips({rgb}, 3).Build(), "not RGB"});
    cases.push_back({"rows_per_strip_0", good().Strips({rgb}, 0).Build(), "RowsPerStrip is 0"});
    // One strip declared for three rows of one row each.
    cases.push_back({"too_few_strips", good().Strips({rgb}, 1).Build(), "fewer strips than the rows need"});
    {
        Bytes f = good().Strips({rgb}, 3).Build();
        f.resize(f.size() - 5);
        cases.push_back({"truncated_pixels", f, "runs past the end of the file"});
    }
    {
        // StripByteCounts smaller than the rows need.
        TiffBuilder b = good();
        b.Strips({rgb}, 3, false).Raw(273, 4, 1, 0).Long(279, {10}).Long(278, {3});
        Bytes f = b.Build();
        cases.push_back({"short_byte_count", f, "fewer bytes than its rows"});
    }
    {
        // A huge image whose strips all point at the same few bytes.
        TiffBuilder b;
        b.Long(256, {60000}).Long(257, {60000}).Short(258, {8}).Short(262, {1}).Short(277, {1});
        b.Strips({Bytes(60000, 1)}, 1, false);
        std::vector<uint32_t> offsets(60000, 8), counts(60000, 60000);
        b.Long(273, offsets).Long(279, counts).Long(278, {1});
        cases.push_back({"overlapping_strips", b.Build(), "claim more bytes than the file holds"});
    }
    {
        // A strip table that lies past the end of the file.
        TiffBuilder b;
        b.Long(256, {4}).Long(257, {1000000}).Short(258, {8}).Short(262, {1}).Short(277, {1});
        b.Raw(273, 4, 1000000, 0x7FFFFFF0).Raw(279, 4, 1000000, 0x7FFFFFF0).Long(278, {1});
        cases.push_back({"strip_table_outside", b.Build(), "unreadable StripOffsets"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".tif");
        ASSERT_TRUE(WriteFileBytes(path, c.file));
        LogCapture log;
        Read ours = ReadTiff(path);
        EXPECT_EQ(ours.header, 1);
        EXPECT_TRUE(ours.options & QFI_READ_FAILED);
        EXPECT_TRUE(log.contains("ERROR GetTifHeader")) << log.text();
        EXPECT_TRUE(log.contains(c.reason)) << log.text();
    }
}

// A file cut after the header pass: the pixel pass notices the short read.
TEST(TiffRead, ShortReadFailsThePixelPass)
{
    testkit::TempDir dir;
    // Larger than the stream's buffer, so that the cut is seen by a read.
    const Bytes rgb = PatternSamples(200, 100, 3, 8, false, 2);
    TiffBuilder b;
    b.Basic(200, 100, 8, 3).Strips({rgb}, 100);
    const std::string path = dir.file("cut.tif");
    ASSERT_TRUE(WriteFileBytes(path, b.Build()));
    FILE* f = std::fopen(path.c_str(), "rb");
    Image image;
    QUORVANE_FileInfo info;
    info.file = f;
    ASSERT_EQ(GetTifHeader(&image, &info), 0);
    ASSERT_EQ(image.BmpInit(), 0);
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(std::filesystem::file_size(path) - 20000)), 0);
    LogCapture log;
    EXPECT_EQ(ReadTifData(&image, &info), 1);
    EXPECT_TRUE(info.options & QFI_READ_FAILED);
    EXPECT_TRUE(log.contains("the file ends inside the pixel data")) << log.text();
    TifCleanup(&info);
    EXPECT_EQ(info.extra, nullptr);
    std::fclose(f);
}

TEST(TiffRead, PixelPassRefusesSamplesTheImageCannotHold)
{
    testkit::TempDir dir;
    TiffBuilder b;
    b.Basic(3, 2, 32, 1).Short(339, {3}).Strips({Bytes(24, 0)}, 2);
    const std::string path = dir.file("float.tif");
    ASSERT_TRUE(WriteFileBytes(path, b.Build()));
    LogCapture log;
    Read bitmap = ReadTiff(path, Layout::Bitmap);
    EXPECT_EQ(bitmap.header, 0);
    EXPECT_EQ(bitmap.data, 1);
    EXPECT_TRUE(log.contains("32-bit samples do not fit an 8-bit image")) << log.text();
    // Packed in its own type the same file reads.
    Read packed = ReadTiff(path, Layout::Packed);
    EXPECT_EQ(packed.data, 0);
    EXPECT_EQ(packed.image->GetDataType(), IMG_FLOAT);
}

// The packed layout keeps the file's own samples, in host byte order, with
// the channels in B, G, R order.
TEST(TiffRead, PackedSixteenBitSamplesInHostOrder)
{
    testkit::TempDir dir;
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        const Bytes samples = PatternSamples(5, 4, 3, 16, big, 9);
        TiffBuilder b(big);
        b.Basic(5, 4, 16, 3).Strips({samples}, 4);
        const std::string path = dir.file("p.tif");
        ASSERT_TRUE(WriteFileBytes(path, b.Build()));
        Read r = ReadTiff(path, Layout::Packed);
        ASSERT_EQ(r.data, 0);
        ASSERT_EQ(r.image->GetDataType(), IMG_UINT16);
        for (int i = 0; i < 5 * 4; ++i)
            for (int c = 0; c < 3; ++c) {
                const uint8_t* s = &samples[(static_cast<size_t>(i) * 3 + (2 - c)) * 2];
                const uint16_t want = big ? static_cast<uint16_t>((s[0] << 8) | s[1]) : static_cast<uint16_t>(s[0] | (s[1] << 8));
                uint16_t got;
                std::memcpy(&got, r.image->GetData() + (static_cast<size_t>(i) * 3 + c) * 2, 2);
                ASSERT_EQ(got, want) << "sample " << i << " channel " << c;
            }
    }
}

TEST(TiffRead, DescriptorTagPlaceAndEmbeddedOffset)
{
    testkit::TempDir dir;
    const Bytes rgb = PatternSamples(4, 2, 3, 8, false, 3);
    const Bytes descriptor = Descriptor(8000, 4000, 1000, 1);
    for (bool big : {false, true}) {
        TiffBuilder b(big);
        b.Basic(4, 2, 8, 3).ByteTag(32768, descriptor).Strips({rgb}, 2);
        const Bytes file = b.Build();
        // The same TIFF at offset 0 and embedded after 100 other bytes: all
        // offsets count from the TIFF's first byte.
        for (int64_t offset : {int64_t{0}, int64_t{100}}) {
            SCOPED_TRACE(std::string(big ? "MM" : "II") + " at " + std::to_string(offset));
            Bytes embedded(static_cast<size_t>(offset), 0xEE);
            embedded.insert(embedded.end(), file.begin(), file.end());
            const std::string path = dir.file("d.tif");
            ASSERT_TRUE(WriteFileBytes(path, embedded));
            Read r = ReadTiff(path, Layout::Bitmap, offset);
            ASSERT_EQ(r.data, 0);
            EXPECT_TRUE(SameSamples(*r.image, rgb));
            ASSERT_EQ(r.state.descriptorCount, 22u);
            ASSERT_GE(r.state.descriptorOffset, offset);
            EXPECT_TRUE(std::equal(descriptor.begin(), descriptor.end(),
                                   embedded.begin() + static_cast<long>(r.state.descriptorOffset)));
        }
    }
    // Three bytes sit in the entry's value field.
    TiffBuilder b;
    b.Basic(4, 2, 8, 3).ByteTag(32768, {'a', 'b', 'c'}).Strips({rgb}, 2);
    const Bytes file = b.Build();
    const std::string path = dir.file("inline.tif");
    ASSERT_TRUE(WriteFileBytes(path, file));
    Read r = ReadTiff(path);
    ASSERT_EQ(r.state.descriptorCount, 3u);
    EXPECT_EQ(file[static_cast<size_t>(r.state.descriptorOffset)], 'a');
    EXPECT_EQ(file[static_cast<size_t>(r.state.descriptorOffset) + 2], 'c');
}

// Grey WhiteIsZero files are inverted, bilevel ones expanded to 0 / 255.
TEST(TiffRead, WhiteIsZeroAndBilevel)
{
    testkit::TempDir dir;
    TiffBuilder b;
    b.Long(256, {10}).Long(257, {2}).Short(258, {1}).Short(262, {0}).Short(277, {1});
    b.Strips({Bytes{0xA5, 0x40, 0x0F, 0xC0}}, 2);
    const std::string path = dir.file("bilevel.tif");
    ASSERT_TRUE(WriteFileBytes(path, b.Build()));
    Read r = ReadTiff(path);
    ASSERT_EQ(r.data, 0);
    const int bits[2][10] = {{1, 0, 1, 0, 0, 1, 0, 1, 0, 1}, {0, 0, 0, 0, 1, 1, 1, 1, 1, 1}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(r.image->GetData()[static_cast<size_t>(y) * r.image->GetRowByte() + x], bits[y][x] ? 0 : 255)
                << x << "," << y;
}

// Every TIFF of the shared test data: read as libtiff reads it, or refused
// with a failure code.
// A file on disk is read from a mapping of it; a stream without a file
// descriptor (here a memory stream) through stdio. Both must give the same
// samples in both layouts.
void ExpectStreamedReadAgrees(const std::string& path, const Read& mapped)
{
    Bytes bytes = ReadFileBytes(path);
    for (Layout layout : {Layout::Bitmap, Layout::Packed}) {
        SCOPED_TRACE(layout == Layout::Bitmap ? "bitmap layout" : "packed layout");
        FILE* stream = fmemopen(bytes.data(), bytes.size(), "rb");
        ASSERT_NE(stream, nullptr);
        ASSERT_LT(fileno(stream), 0) << "the stream must have no descriptor to map";
        const Read streamed = ReadTiffFrom(stream, layout);
        std::fclose(stream);
        ASSERT_EQ(streamed.data, 0);
        const Read reference = layout == Layout::Bitmap ? Read() : ReadTiff(path, layout);
        const Image& want = layout == Layout::Bitmap ? *mapped.image : *reference.image;
        ASSERT_EQ(layout == Layout::Bitmap ? 0 : reference.data, 0);
        EXPECT_TRUE(testkit::SamePixels(*streamed.image, want));
    }
}

TEST(TiffRead, SharedTestDataReadLikeLibtiffOrRefused)
{
    testkit::TempDir dir;
    std::vector<std::filesystem::path> files;
    for (const char* folder : {"libtiff", "pillow/tiff", "wuffs"})
        for (const auto& entry : std::filesystem::directory_iterator(testkit::TestData(folder))) {
            const std::string ext = entry.path().extension().string();
            if (ext == ".tif" || ext == ".tiff") files.push_back(entry.path());
        }
    ASSERT_GE(files.size(), 50u);
    std::sort(files.begin(), files.end());
    std::set<std::string> read;
    for (const auto& path : files) {
        SCOPED_TRACE(path.string());
        LogCapture log;
        Read ours = ReadTiff(path.string());
        if (ours.header != 0 || ours.data != 0) {
            EXPECT_TRUE(ours.header == 1 || ours.data == 1);
            EXPECT_TRUE(ours.options & QFI_READ_FAILED);
            EXPECT_GE(log.errorCount(), 1);
            continue;
        }
        read.insert(path.filename().string());
        ExpectStreamedReadAgrees(path.string(), ours);
        const Rgba ref = DecodeWithLibtiff(path.string());
        ASSERT_FALSE(ref.pixels.empty()) << "we read a file libtiff cannot";
        if (ours.state.bitsPerSample[0] == 16) {
            // libtiff scales 16 bits to 8 with rounding; we keep the high byte.
            for (int y = 0; y < ref.height; ++y)
                for (int x = 0; x < ref.width; ++x)
                    for (int c = 0; c < ours.image->GetChannels(); ++c) {
                        const int ch = ours.image->GetChannels() == 3 ? 2 - c : 0;
                        const int want = ref.pixels[(static_cast<size_t>(y) * ref.width + x) * 4 + ch];
                        const int got = ours.image->GetData()[static_cast<size_t>(y) * ours.image->GetRowByte() +
                                                              x * ours.image->GetChannels() + c];
                        ASSERT_LE(std::abs(want - got), 1) << x << "," << y;
                    }
        } else {
            EXPECT_TRUE(SameAsReference(*ours.image, ref.pixels.data(), 4, ref.width, ref.height, false));
        }
    }
    // The uncompressed grey, bilevel and RGB files of 8 and 16 bits in both
    // byte orders are among those read.
    for (const char* name : {"rgb-3c-8b.tiff", "rgb-3c-16b.tiff", "minisblack-1c-8b.tiff", "minisblack-1c-16b.tiff",
                             "miniswhite-1c-1b.tiff", "hopper.tif", "16bit.MM.cropped.tif", "16bit.cropped.tif",
                             "tiff_strip_raw.tif"})
        EXPECT_EQ(read.count(name), 1u) << name;
}

}  // namespace
