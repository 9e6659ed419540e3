// The decoder on hostile and extreme input: the frame-size limit (a 344-byte
// progressive file declaring 65503 x 64223 is refused before any buffer is
// allocated, frames at the limit pass), a 65,535-wide strip of a real
// panorama, and corrupt entropy-coded data (bytes flipped in the middle of a
// scan, restart markers out of sequence) against djpeg.
#include "jpeg/jpeg_decoder.h"
#include "jpeg/jpeg_encoder.h"
#include "jpeg/tests/jpeg_test_support.h"
#include "core/logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using jpegtest::Bytes;
using jpegtest::Decoded;

std::string Fixture(const std::string& name)
{
    return std::string(FENDRAKE_SOURCE_DIR) + "/jpeg/tests/fixtures/" + name;
}

// Only the full header pass (the one before a data pass): its result and the
// size it gives, without sizing or decoding any image.
struct HeaderPass {
    int result = -1;
    int width = 0, height = 0;
};
HeaderPass FullHeaderPass(Bytes bytes)
{
    HeaderPass pass;
    FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
    if (!file) return pass;
    QUORVANE_FileInfo info;
    info.file = file;
    Image image;
    pass.result = GetJpegHeader(&image, &info);
    pass.width = image.GetWidth();
    pass.height = image.GetHeight();
    JpegCleanup(&info);
    std::fclose(file);
    return pass;
}

// A sequential frame header and the start of a scan, no data.
Bytes FrameOnly(int width, int height, int components, int lumaFactors)
{
    Bytes file = {0xFF, 0xD8, 0xFF, 0xC0, 0, static_cast<uint8_t>(8 + 3 * components), 8,
                  static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height), static_cast<uint8_t>(width >> 8),
                  static_cast<uint8_t>(width), static_cast<uint8_t>(components)};
    for (int i = 0; i < components; ++i) {
        file.push_back(static_cast<uint8_t>(i + 1));
        file.push_back(static_cast<uint8_t>(i == 0 ? lumaFactors : 0x11));
        file.push_back(0);
    }
    const Bytes sos = {0xFF, 0xDA, 0x00, 0x08, 1, 1, 0x00, 0, 63, 0};
    file.insert(file.end(), sos.begin(), sos.end());
    return file;
}

TEST(JpegFrameLimit, HugeProgressiveFrameIsRefusedBeforeAnyBufferIsAllocated)
{
    const std::string path = Fixture("progressive_frame_65503x64223.jpg");
    {
        LogCapture log;
        Decoded full = jpegtest::DecodeFile(path);
        EXPECT_EQ(full.header, 1);
        EXPECT_TRUE(full.options & QFI_READ_FAILED);
        EXPECT_EQ(log.errorCount(), 1);
        EXPECT_TRUE(log.contains("ERROR GetJpegHeader(): the frame holds more than 536870912 (2^29) pixels")) << log.text();
    }
    {
        // Asking only for the size allocates nothing and is answered.
        Decoded header = jpegtest::DecodeFile(path, QFI_HEADER_ONLY);
        EXPECT_EQ(header.header, 0);
        EXPECT_EQ(header.fullWidth, 65503);
        EXPECT_EQ(header.fullHeight, 64223);
    }
    {
        // The thumbnail pass reads it at one-eighth; leaving that for full
        // scale is refused.
        LogCapture log;
        Decoded thumb = jpegtest::DecodeFile(path, QFI_ONE_EIGHTH, true);
        EXPECT_EQ(thumb.header, 0);
        EXPECT_EQ(thumb.data, -1);
        EXPECT_TRUE(log.contains("ERROR NoReadThumbnail(): the frame holds more than")) << log.text();
    }
}

TEST(JpegFrameLimit, FramesUpToTheLimitPassTheHeader)
{
    struct Case {
        int width, height, components, lumaFactors;
        bool accepted;
    };
    const Case cases[] = {
        {65535, 8192, 1, 0x11, true},    // padded to 65536 x 8192: the limit itself
        {65535, 8192, 3, 0x22, true},    // 4:2:0 pads to the same
        {65535, 8177, 3, 0x22, true},    // 16-row MCUs pad 8177 to 8192
        {65535, 8193, 1, 0x11, false},   // one more row pads past it
        {32768, 16384, 3, 0x11, true},   // the full sphere at 32,768 samples
        {16384, 32768, 1, 0x11, true},   // the same area on its side
        {32768, 16385, 3, 0x11, false},
        {26000, 26000, 1, 0x11, false},
        {65503, 64223, 3, 0x21, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + ", factors " +
                     std::to_string(c.lumaFactors));
        LogCapture log;
        const HeaderPass pass = FullHeaderPass(FrameOnly(c.width, c.height, c.components, c.lumaFactors));
        EXPECT_EQ(pass.result, c.accepted ? 0 : 1);
        if (c.accepted) {
            EXPECT_EQ(pass.width, c.width);
            EXPECT_EQ(pass.height, c.height);
            EXPECT_EQ(log.errorCount(), 0);
        } else {
            EXPECT_TRUE(log.contains("the frame holds more than")) << log.text();
        }
    }
    EXPECT_EQ(JpegDecoder::kMaxFramePixels, uint64_t{32768} * 16384);
}

// ---------------------------------------------------------------------------
// A 65,535-wide strip of a real panorama. djpeg reads at most 65,500 columns,
// so the strip repeats one band of the panorama, 8,432 columns (527 MCUs of
// 16) wide: every whole repetition is coded with the same coefficients as
// the band on its own, which djpeg can check, and must decode to the same
// pixels as the band.

Image* BandOfRealPanorama(int rows)
{
    testkit::TempDir dir;
    const std::string band = dir.file("band.ppm");
    const testkit::CommandResult r =
        testkit::Run("djpeg -crop 8432x" + std::to_string(rows) + "+0+2096 -pnm -outfile '" + band + "' '" +
                     testkit::TestData("huginsample-durlach/durlach_saumarkt_equirect.jpg").string() + "'");
    if (r.status != 0) return nullptr;
    Image* image = testkit::ReadPnm(band);  // R, G, B: ours is B, G, R, the swap does not matter here
    if (image && (image->GetWidth() != 8432 || image->GetHeight() != rows)) {
        ReleaseImage(image);
        return nullptr;
    }
    return image;
}

Image* RepeatAcross(const Image& band, int width)
{
    Image* strip = new Image(width, band.GetHeight(), 3);
    for (int y = 0; y < band.GetHeight(); ++y) {
        const uint8_t* in = band.GetData() + static_cast<size_t>(y) * band.GetRowByte();
        uint8_t* out = strip->GetData() + static_cast<size_t>(y) * strip->GetRowByte();
        for (int x = 0; x < width; ++x) std::copy_n(in + 3 * (x % band.GetWidth()), 3, out + 3 * x);
    }
    return strip;
}

int WriteOurs(Image* image, const std::string& path, int options)
{
    QUORVANE_FileInfo info;
    info.path = path.c_str();
    info.options = options;
    return WriteJpeg(image, nullptr, &info);
}

TEST(JpegFrameLimit, StripOf65535ColumnsOfARealPanoramaDecodes)
{
    ASSERT_TRUE(testkit::RequireTool("djpeg"));
    constexpr int kRows = 32, kWidth = 65535, kBand = 8432;
    Image* band = BandOfRealPanorama(kRows);
    ASSERT_NE(band, nullptr) << "djpeg could not cut a band of the panorama";
    Image* strip = RepeatAcross(*band, kWidth);
    testkit::TempDir dir;
    for (int options : {2, 2 | QFI_JPEG_PROGRESSIVE}) {
        SCOPED_TRACE(options & QFI_JPEG_PROGRESSIVE ? "progressive" : "sequential");
        const std::string bandPath = dir.file("band.jpg"), stripPath = dir.file("strip.jpg");
        ASSERT_EQ(WriteOurs(band, bandPath, options), 0);
        ASSERT_EQ(WriteOurs(strip, stripPath, options), 0);
        EXPECT_TRUE(jpegtest::DecodesLikeDjpeg(bandPath));

        Decoded one = jpegtest::DecodeFile(bandPath);
        Decoded all = jpegtest::DecodeFile(stripPath);
        ASSERT_EQ(all.header, 0);
        ASSERT_EQ(all.data, 0);
        ASSERT_EQ(all.image->GetWidth(), kWidth);
        ASSERT_EQ(all.image->GetHeight(), kRows);
        ASSERT_EQ(one.data, 0);
        // Whole repetitions, and the last partial one up to its last whole
        // MCU (the padding of the strip's edge differs from the band's).
        const int lastWhole = kWidth / kBand * kBand;
        const int compared = lastWhole + (kWidth - lastWhole) / 16 * 16;
        for (int y = 0; y < kRows; ++y) {
            const uint8_t* s = all.image->GetData() + static_cast<size_t>(y) * all.image->GetRowByte();
            const uint8_t* b = one.image->GetData() + static_cast<size_t>(y) * one.image->GetRowByte();
            for (int x = 0; x < compared; ++x)
                ASSERT_TRUE(std::equal(s + 3 * x, s + 3 * x + 3, b + 3 * (x % kBand))) << "pixel " << x << ", " << y;
        }
    }
    ReleaseImage(strip);
    ReleaseImage(band);
}

// ---------------------------------------------------------------------------
// Corrupt entropy-coded data.

// Where the entropy-coded data of the longest scan starts and ends.
struct ScanSpan {
    size_t begin = 0, end = 0;
};
ScanSpan LongestScan(const Bytes& file)
{
    ScanSpan longest;
    for (size_t i = 2; i + 3 < file.size(); ++i) {
        if (file[i] != 0xFF || file[i + 1] != 0xDA) continue;
        ScanSpan span;
        span.begin = i + 2 + ((file[i + 2] << 8) | file[i + 3]);
        span.end = span.begin;
        while (span.end + 1 < file.size() &&
               !(file[span.end] == 0xFF && file[span.end + 1] != 0 && (file[span.end + 1] < 0xD0 || file[span.end + 1] > 0xD7)))
            ++span.end;
        if (span.end - span.begin > longest.end - longest.begin) longest = span;
        i = span.end;
    }
    return longest;
}

long long LoggedPosition(const std::string& log)
{
    const size_t at = log.find("file position ");
    return at == std::string::npos ? -1 : std::atoll(log.c_str() + at + 14);
}

int Count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Flips one bit in bytes spread over the middle of the longest scan of real
// photographs. Wherever djpeg calls the data corrupt, ours either refuses the
// file (one ERROR line) or decodes it, as djpeg does, and says so in one
// WARNING line naming a file position at or after the damage; it never
// decodes it silently.
TEST(JpegCorruptData, FlippedBytesInTheMiddleOfAScanAreReported)
{
    ASSERT_TRUE(testkit::RequireTool("djpeg"));
    ASSERT_TRUE(testkit::RequireTool("jpegtran"));
    testkit::TempDir dir;
    int decodedWithWarning = 0, refused = 0;
    for (const char* photograph : {"daeyun-image-stitching/pier_1.JPG", "skimage-tutorials-pano/JDW_0302.jpg",
                                   "libjpeg-turbo/testimgp.jpg"}) {
        const Bytes original = jpegtest::ReadFileBytes(testkit::TestData(photograph).string());
        const ScanSpan scan = LongestScan(original);
        ASSERT_GT(scan.end, scan.begin + 1000) << photograph;
        const jpegtest::FrameFacts facts = jpegtest::ReadFrameFacts(original);
        for (int step = 0; step < 8; ++step) {
            size_t at = scan.begin + (scan.end - scan.begin) * (30 + 5 * step) / 100;
            // Leave markers and stuffed bytes alone: the damage stays inside the data.
            while (original[at] == 0xFF || original[at - 1] == 0xFF || (original[at] ^ 0x10) == 0xFF) ++at;
            Bytes damaged = original;
            damaged[at] ^= 0x10;
            SCOPED_TRACE(std::string(photograph) + ", byte " + std::to_string(at));
            const std::string path = dir.file("damaged.jpg");
            ASSERT_TRUE(jpegtest::WriteFileBytes(path, damaged));

            std::string warnings;
            Image* ref = jpegtest::ReferenceDecode(path, facts, "-nosmooth", &warnings);
            LogCapture log;
            Decoded ours = jpegtest::DecodeFile(path);
            if (ours.header != 0 || ours.data != 0) {
                ++refused;
                EXPECT_TRUE(ours.options & QFI_READ_FAILED);
                EXPECT_EQ(log.errorCount(), 1) << log.text();
            } else if (warnings.find("Corrupt JPEG data") != std::string::npos) {
                ++decodedWithWarning;
                EXPECT_EQ(Count(log.text(), "WARNING JpegDecoder::DecodeImage corrupt entropy-coded data"), 1)
                    << log.text() << "djpeg: " << warnings;
                const long long position = LoggedPosition(log.text());
                EXPECT_GE(position, static_cast<long long>(at)) << log.text();
                EXPECT_LE(position, static_cast<long long>(damaged.size())) << log.text();
                // Both decoders deliver the whole image; past the damage the
                // coefficients are wild and the two transforms round them
                // differently, so the pixels are not compared.
                ASSERT_NE(ref, nullptr);
                EXPECT_EQ(ours.image->GetWidth(), ref->GetWidth());
                EXPECT_EQ(ours.image->GetHeight(), ref->GetHeight());
            } else {
                // The flip changed values but not the structure: nothing to report.
                EXPECT_EQ(Count(log.text(), "WARNING"), 0) << log.text() << "djpeg: " << warnings;
            }
            if (ref) ReleaseImage(ref);
        }
    }
    // The table must reach both outcomes, or it proves nothing.
    EXPECT_GE(decodedWithWarning, 1);
    EXPECT_GE(refused, 1);
}

// A restart marker with the wrong number: decoding goes on, as in djpeg,
// with one WARNING line at the marker.
TEST(JpegCorruptData, RestartMarkerOutOfSequenceIsReported)
{
    ASSERT_TRUE(testkit::RequireTool("djpeg"));
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    testkit::TempDir dir;
    Image* picture = jpegtest::MakeSyntheticPicture(64, 48, 3);
    Bytes file = jpegtest::MakeJpegWithCjpeg(*picture, "-sample 2x2 -restart 1B", dir, "restart");
    ReleaseImage(picture);
    size_t at = 0;
    for (size_t i = 0; i + 1 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xD1) {
            at = i;
            break;
        }
    ASSERT_NE(at, 0u) << "no RST1 marker";
    file[at + 1] = 0xD5;
    const std::string path = dir.file("restart.jpg");
    ASSERT_TRUE(jpegtest::WriteFileBytes(path, file));

    std::string warnings;
    Image* ref = jpegtest::DecodeWithDjpeg(path, "-nosmooth", &warnings);
    EXPECT_NE(warnings.find("Corrupt JPEG data"), std::string::npos) << warnings;
    if (ref) ReleaseImage(ref);
    LogCapture log;
    Decoded ours = jpegtest::DecodeFile(path);
    EXPECT_EQ(ours.data, 0);
    EXPECT_EQ(Count(log.text(), "WARNING"), 1) << log.text();
    EXPECT_TRUE(log.contains("at file position " + std::to_string(at) + ": marker 0xD5 where RST1 was due"))
        << log.text();
}

}  // namespace
