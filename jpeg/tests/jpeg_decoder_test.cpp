// Decoder behaviour on files made by cjpeg and jpegtran at test time: the
// sampling, size, mode and restart table against djpeg, one-eighth scale and
// leaving it, the descriptor comment, the header-only pass, the entry
// points' bookkeeping and the zero-to-one rule.
#include "jpeg/jpeg_colour.h"
#include "jpeg/jpeg_decoder.h"
#include "jpeg/tests/jpeg_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <unistd.h>

namespace {

using jpegtest::Bytes;
using jpegtest::Decoded;

struct FixtureCase {
    const char* name;
    int width, height, channels;
    const char* cjpegArgs;
};

const FixtureCase kFixtures[] = {
    {"grey_q95", 64, 48, 1, "-quality 95"},
    {"grey_odd_q50", 33, 17, 1, "-quality 50"},
    {"grey_1x1", 1, 1, 1, ""},
    {"c444_q95", 64, 48, 3, "-quality 95 -sample 1x1"},
    {"c444_odd_q50", 33, 17, 3, "-quality 50 -sample 1x1"},
    {"c422_q50", 64, 48, 3, "-quality 50 -sample 2x1"},
    {"c422_odd", 33, 17, 3, "-sample 2x1"},
    {"c420_q95", 64, 48, 3, "-quality 95 -sample 2x2"},
    {"c420_odd_q50", 33, 17, 3, "-quality 50 -sample 2x2"},
    {"c420_1x1", 1, 1, 3, "-sample 2x2"},
    {"c440", 40, 40, 3, "-sample 1x2"},
    {"grey_progressive", 33, 17, 1, "-progressive"},
    {"c444_progressive_q95", 64, 48, 3, "-progressive -quality 95 -sample 1x1"},
    {"c420_progressive_odd", 33, 17, 3, "-progressive -sample 2x2"},
    {"c420_restart", 120, 90, 3, "-restart 1B -sample 2x2"},
    {"c444_restart_rows", 120, 90, 3, "-restart 1 -sample 1x1 -quality 50"},
    {"c422_progressive_restart", 120, 90, 3, "-progressive -restart 2B -sample 2x1"},
    {"grey_restart", 120, 90, 1, "-restart 3B"},
};

class CjpegFixture : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(CjpegFixture, DecodesLikeDjpeg)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    ASSERT_TRUE(testkit::RequireTool("djpeg"));
    ASSERT_TRUE(testkit::RequireTool("jpegtran"));
    const FixtureCase fc = GetParam();
    testkit::TempDir dir;
    Image* picture = jpegtest::MakeSyntheticPicture(fc.width, fc.height, fc.channels);
    const Bytes jpeg = jpegtest::MakeJpegWithCjpeg(*picture, std::string("-dct int ") + fc.cjpegArgs, dir, "f");
    ReleaseImage(picture);
    ASSERT_FALSE(jpeg.empty());
    EXPECT_TRUE(jpegtest::DecodesLikeDjpeg(dir.file("f.jpg")));
}

INSTANTIATE_TEST_SUITE_P(Table, CjpegFixture, ::testing::ValuesIn(kFixtures),
                         [](const auto& info) { return std::string(info.param.name); });

// Components in separate scans of a sequential file (made by jpegtran with a
// scan script): the decoder gathers every scan before output.
TEST(JpegDecoder, SequentialFileWithOneScanPerComponent)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    ASSERT_TRUE(testkit::RequireTool("jpegtran"));
    testkit::TempDir dir;
    Image* picture = jpegtest::MakeSyntheticPicture(75, 45, 3);
    ASSERT_FALSE(jpegtest::MakeJpegWithCjpeg(*picture, "-sample 2x2", dir, "src").empty());
    ReleaseImage(picture);
    jpegtest::WriteFileBytes(dir.file("scans.txt"), Bytes{'0', ';', '1', ';', '2', ';', '\n'});
    const testkit::CommandResult r = testkit::Run("jpegtran -restart 3B -scans '" + dir.file("scans.txt") +
                                                  "' -outfile '" + dir.file("multi.jpg") + "' '" +
                                                  dir.file("src.jpg") + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    const jpegtest::FrameFacts facts = jpegtest::ReadFrameFacts(jpegtest::ReadFileBytes(dir.file("multi.jpg")));
    ASSERT_EQ(facts.marker, 0xC0) << "jpegtran wrote no sequential frame";
    int scans = 0;
    for (const auto& s : jpegtest::SplitSegments(jpegtest::ReadFileBytes(dir.file("multi.jpg"))))
        scans += s.marker == 0xDA;
    ASSERT_EQ(scans, 3);
    EXPECT_TRUE(jpegtest::DecodesLikeDjpeg(dir.file("multi.jpg")));
}

// A progressive file decoded scan by scan, with pixels after every scan,
// ends with the image of the one-call decode; earlier outputs differ.
TEST(JpegDecoder, StepwiseProgressiveDecoding)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    testkit::TempDir dir;
    Image* picture = jpegtest::MakeSyntheticPicture(70, 50, 3);
    const Bytes jpeg = jpegtest::MakeJpegWithCjpeg(*picture, "-progressive -sample 2x2", dir, "p");
    ReleaseImage(picture);
    ASSERT_FALSE(jpeg.empty());
    int scans = 0;
    for (const auto& s : jpegtest::SplitSegments(jpeg)) scans += s.marker == 0xDA;

    JpegDecoder whole(std::make_unique<MemoryByteSource>(jpeg.data(), jpeg.size()), false, false);
    ASSERT_TRUE(whole.ReadHeader());
    Image expected(whole.OutputWidth(), whole.OutputHeight(), 3);
    ASSERT_TRUE(whole.DecodeImage(&expected));

    JpegDecoder steps(std::make_unique<MemoryByteSource>(jpeg.data(), jpeg.size()), false, false);
    ASSERT_TRUE(steps.ReadHeader());
    Image image(steps.OutputWidth(), steps.OutputHeight(), 3);
    ASSERT_TRUE(steps.StartData(&image));
    ASSERT_TRUE(steps.UsesCoefficientPlanes());
    int decoded = 0;
    JpegDecoder::ScanResult result;
    do {
        result = steps.DecodeNextScan();
        ASSERT_NE(result, JpegDecoder::kScanFailed) << steps.Error();
        ++decoded;
        steps.WriteCoefficients(&image);
        if (decoded == 1) {
            EXPECT_FALSE(testkit::SamePixels(image, expected)) << "the DC scan alone is not the image";
        }
    } while (result == JpegDecoder::kScanDecoded);
    EXPECT_EQ(decoded, scans);
    EXPECT_TRUE(testkit::SamePixels(image, expected));
}

// ---------------------------------------------------------------------------
// One-eighth scale and leaving it.

TEST(JpegDecoder, OneEighthSizeIsThePaddedSizeOverEightAndNoReadThumbnailRestoresFullScale)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    testkit::TempDir dir;
    Image* picture = jpegtest::MakeSyntheticPicture(50, 30, 3);
    for (const char* args : {"-sample 2x2", "-sample 2x2 -progressive"}) {
        SCOPED_TRACE(args);
        ASSERT_FALSE(jpegtest::MakeJpegWithCjpeg(*picture, args, dir, "f").empty());
        Decoded small = jpegtest::DecodeFile(dir.file("f.jpg"), QFI_ONE_EIGHTH);
        ASSERT_EQ(small.data, 0);
        // 4:2:0 MCUs are 16 x 16: 50 x 30 pads to 64 x 32.
        EXPECT_EQ(small.image->GetWidth(), 8);
        EXPECT_EQ(small.image->GetHeight(), 4);
        EXPECT_EQ(small.fullWidth, 50);
        EXPECT_EQ(small.fullHeight, 30);

        Decoded back = jpegtest::DecodeFile(dir.file("f.jpg"), QFI_ONE_EIGHTH, true);
        Decoded full = jpegtest::DecodeFile(dir.file("f.jpg"));
        ASSERT_EQ(back.data, 0);
        ASSERT_EQ(full.data, 0);
        EXPECT_TRUE(testkit::SamePixels(*back.image, *full.image));
    }
    ReleaseImage(picture);
}

TEST(JpegDecoder, NoReadThumbnailOutsideOneEighthModeChangesNothing)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    testkit::TempDir dir;
    Image* picture = jpegtest::MakeSyntheticPicture(40, 24, 1);
    ASSERT_FALSE(jpegtest::MakeJpegWithCjpeg(*picture, "", dir, "f").empty());
    ReleaseImage(picture);
    Decoded plain = jpegtest::DecodeFile(dir.file("f.jpg"));
    Decoded again = jpegtest::DecodeFile(dir.file("f.jpg"), 0, true);
    ASSERT_EQ(plain.data, 0);
    ASSERT_EQ(again.data, 0);
    EXPECT_TRUE(testkit::SamePixels(*plain.image, *again.image));
}

// ---------------------------------------------------------------------------
// The descriptor comment.

void Append(Bytes& out, const uint8_t* data, size_t size)
{
    const size_t at = out.size();
    out.resize(at + size);
    if (size) std::memcpy(out.data() + at, data, size);
}

Bytes CommentSegment(const Bytes& payload)
{
    Bytes s = {0xFF, 0xFE, static_cast<uint8_t>((payload.size() + 2) >> 8),
               static_cast<uint8_t>((payload.size() + 2) & 0xFF)};
    Append(s, payload.data(), payload.size());
    return s;
}

// Inserts segments right after the start-of-image marker.
Bytes Splice(const Bytes& jpeg, const std::vector<Bytes>& segments)
{
    Bytes out;
    Append(out, jpeg.data(), 2);
    for (const Bytes& s : segments) Append(out, s.data(), s.size());
    Append(out, jpeg.data() + 2, jpeg.size() - 2);
    return out;
}

Bytes SmallJpeg(const testkit::TempDir& dir, const char* args = "")
{
    Image* picture = jpegtest::MakeSyntheticPicture(24, 16, 3);
    Bytes jpeg = jpegtest::MakeJpegWithCjpeg(*picture, args, dir, "small");
    ReleaseImage(picture);
    return jpeg;
}

Bytes Descriptor22(int32_t equatorWidth, int32_t column)
{
    WMapRecord record;
    record.equatorWidth = equatorWidth;
    record.column = column;
    record.row = 7;
    record.mapType = 1;
    record.fullCircle = 1;
    Bytes bytes(22);
    record.Write(bytes.data());
    return bytes;
}

TEST(JpegDescriptor, CaptureRules)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    testkit::TempDir dir;
    const Bytes jpeg = SmallJpeg(dir);
    ASSERT_FALSE(jpeg.empty());
    const Bytes d22 = Descriptor22(4096, -12);
    const Bytes d14 = {'k', 'q', 'v', 'z', 0x00, 0x10, 0xFF, 0xFF, 3, 0, 2, 0, 0, 0};
    const Bytes second22 = Descriptor22(8000, 5);

    struct Case {
        const char* name;
        std::vector<Bytes> segments;
        int expectLength;
        Bytes expectBytes;
        int64_t payloadOffset;  // offset of the captured payload in the file
    };
    const std::vector<Case> cases = {
        {"none", {}, 0, {}, 0},
        {"long_form", {CommentSegment(d22)}, 22, d22, 2 + 4},
        {"short_form", {CommentSegment(d14)}, 14, d14, 2 + 4},
        {"three_bytes_ignored", {CommentSegment({'a', 'b', 'c'})}, 0, {}, 0},
        {"fifteen_bytes_ignored", {CommentSegment(Bytes(15, 'x'))}, 0, {}, 0},
        {"last_of_two_wins", {CommentSegment(d22), CommentSegment(second22)}, 22, second22, 2 + 26 + 4},
        {"any_14_bytes_are_kept", {CommentSegment(Bytes(14, 'q'))}, 14, Bytes(14, 'q'), 2 + 4},
        {"later_short_comment_keeps_earlier", {CommentSegment(d22), CommentSegment({'x'})}, 22, d22, 2 + 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = Splice(jpeg, c.segments);
        for (int options : {0, QFI_HEADER_ONLY, QFI_ONE_EIGHTH}) {
            SCOPED_TRACE(options);
            Decoded d = jpegtest::DecodeBytes(file, options);
            ASSERT_EQ(d.header, 0);
            ASSERT_EQ(d.comment.length, c.expectLength);
            if (c.expectLength > 0) {
                EXPECT_EQ(0, std::memcmp(d.comment.bytes, c.expectBytes.data(), c.expectBytes.size()));
                EXPECT_EQ(d.comment.scratch, c.payloadOffset);
            }
        }
    }

    // The short form's int16 fields are sign-extended: column 0xFFFF is -1.
    WMapRecord record;
    ASSERT_TRUE(WMapRecord::Parse(d14.data(), 14, &record));
    EXPECT_EQ(record.equatorWidth, 4096);
    EXPECT_EQ(record.column, -1);
    EXPECT_EQ(record.row, 3);
    EXPECT_EQ(record.mapType, 2);
}

TEST(JpegDescriptor, PositionCountsFromTheFilesStartWhenTheImageIsEmbedded)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    testkit::TempDir dir;
    const Bytes jpeg = Splice(SmallJpeg(dir), {CommentSegment(Descriptor22(100, 0))});
    Bytes file(37, 0x5A);  // something before the image; the caller seeks past it
    Append(file, jpeg.data(), jpeg.size());
    jpegtest::WriteFileBytes(dir.file("embedded.bin"), file);
    FILE* f = std::fopen(dir.file("embedded.bin").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 37, SEEK_SET);
    QUORVANE_FileInfo info;
    info.file = f;
    Image image;
    ASSERT_EQ(GetJpegHeader(&image, &info), 0);
    const FileExtraData* pd = GetQuorvanePD(&info);
    ASSERT_NE(pd, nullptr);
    EXPECT_EQ(pd->length, 22);
    EXPECT_EQ(pd->scratch, 37 + 2 + 4);
    JpegCleanup(&info);
    std::fclose(f);
}

// ---------------------------------------------------------------------------
// Header-only pass and the entry points' bookkeeping.

TEST(JpegDecoder, HeaderOnlyPassAllocatesNoPlanes)
{
    // A progressive frame of 65535 x 65535 would need about 25 GB of
    // coefficient planes; the header-only pass must not ask for them.
    const Bytes file = {0xFF, 0xD8,
                        // SOF2: 8 bits, 65535 x 65535, three components
                        0xFF, 0xC2, 0x00, 0x11, 8, 0xFF, 0xFF, 0xFF, 0xFF, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1,
                        // SOS: the first DC scan
                        0xFF, 0xDA, 0x00, 0x0C, 3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 0, 0x01};
    Decoded d = jpegtest::DecodeBytes(file, QFI_HEADER_ONLY);
    EXPECT_EQ(d.header, 0);
    EXPECT_EQ(d.fullWidth, 65535);
    EXPECT_EQ(d.fullHeight, 65535);
    EXPECT_FALSE(d.options & QFI_READ_FAILED);
}

TEST(JpegDecoder, EntryPointBookkeeping)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    testkit::TempDir dir;
    const Bytes jpeg = SmallJpeg(dir);
    jpegtest::WriteFileBytes(dir.file("a.jpg"), jpeg);
    FILE* f = std::fopen(dir.file("a.jpg").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    QUORVANE_FileInfo info;
    info.file = f;
    info.options = QFI_READ_FAILED;  // stale flag from an earlier call
    Image image;
    ASSERT_EQ(GetJpegHeader(&image, &info), 0);
    EXPECT_FALSE(info.options & QFI_READ_FAILED);
    EXPECT_NE(info.extra, nullptr);
    EXPECT_EQ(image.GetWidth(), 24);
    EXPECT_EQ(image.GetHeight(), 16);
    EXPECT_EQ(image.GetChannels(), 3);
    EXPECT_EQ(image.GetDataType(), IMG_UINT8);
    EXPECT_EQ(image.GetData(), nullptr) << "the header pass allocates no pixels";
    ASSERT_NE(GetQuorvanePD(&info), nullptr);
    EXPECT_EQ(GetQuorvanePD(&info)->length, 0);

    // An image sized for something else is refused, not overrun; the state
    // is freed and the caller's file stays the caller's.
    image.SetSize(12, 8);
    ASSERT_EQ(image.Init(), 0);
    EXPECT_EQ(ReadJpegData(&image, &info), 1);
    EXPECT_EQ(info.extra, nullptr);
    EXPECT_EQ(info.file, f);
    EXPECT_TRUE(info.options & QFI_READ_FAILED);
    JpegCleanup(&info);
    JpegCleanup(&info);
    EXPECT_EQ(GetQuorvanePD(&info), nullptr);
    int w = 0, h = 0;
    EXPECT_EQ(OrgWHFunction(&w, &h, &info), -1);
    EXPECT_EQ(ReadJpegData(&image, &info), 1) << "no state: nothing to decode";
    std::fclose(f);
}

// ---------------------------------------------------------------------------
// The zero-to-one rule.

TEST(JpegColourTables, ZeroToOneRule)
{
    for (bool force : {true, false}) {
        SCOPED_TRACE(force);
        JpegColourTables t;
        t.Build(force);
        // Y 0 with neutral chroma sums to exactly 0 in every channel.
        const uint8_t y0[2] = {0, 0}, neutral[2] = {128, 128};
        uint8_t bgr[6];
        ConvertRowYCbCr(t, y0, neutral, neutral, bgr, 2);
        for (uint8_t v : bgr) EXPECT_EQ(v, force ? 1 : 0);
        // Y 0 with Cb and Cr at 0: blue and red sums are negative (-227 and
        // -179): 1 whatever the flag; green is +135 + 91 = 226... kept.
        const uint8_t low[1] = {0};
        ConvertRowYCbCr(t, y0, low, low, bgr, 1);
        EXPECT_EQ(bgr[0], 1);
        EXPECT_EQ(bgr[2], 1);
        EXPECT_EQ(bgr[1], 135);
        // Far above 255 clamps to 255.
        const uint8_t y255[1] = {255}, high[1] = {255};
        ConvertRowYCbCr(t, y255, high, high, bgr, 1);
        EXPECT_EQ(bgr[0], 255);
        EXPECT_EQ(bgr[2], 255);
    }
}

TEST(JpegColourTables, ProductsAreRoundedHalfAwayFromZero)
{
    JpegColourTables t;
    t.Build(true);
    // 1.772 * 125 = 221.5 exactly: away from zero on both sides.
    EXPECT_EQ(t.cbBlue[128 + 125], 222);
    EXPECT_EQ(t.cbBlue[128 - 125], -222);
    // Spot values against the formula evaluated in double precision.
    for (int s = 0; s < 256; ++s) {
        const double c = s - 128;
        auto away = [](double x) { return x < 0 ? -std::floor(-x + 0.5) : std::floor(x + 0.5); };
        EXPECT_EQ(t.crRed[s], away(1.402 * c));
        EXPECT_EQ(t.cbGreen[s], away(-0.34414 * c));
        EXPECT_EQ(t.crGreen[s], away(-0.71414 * c));
    }
}

// The whole conversion rule against a slow reference written from it, for
// every Y, Cb, Cr triple and both settings of the flag: products rounded
// half away from zero (the two green terms separately), sums above 255
// clamped to 255, negative sums stored as 1 whatever the flag, a sum of
// exactly 0 stored as 1 only under forcing. Half-width chroma rows must give
// the same bytes as full rows with each chroma sample repeated.
int ReferenceChannel(int sum, bool force)
{
    if (sum > 255) return 255;
    if (sum < 0) return 1;
    if (sum == 0) return force ? 1 : 0;
    return sum;
}

TEST(JpegColourTables, EveryTripleFollowsTheConversionRule)
{
    auto away = [](double x) { return static_cast<int>(x < 0 ? -std::floor(-x + 0.5) : std::floor(x + 0.5)); };
    uint8_t ys[256], cbs[256], crs[256], half[128], bgr[3 * 256], bgrHalf[3 * 256];
    for (int i = 0; i < 256; ++i) crs[i] = static_cast<uint8_t>(i);
    for (bool force : {true, false}) {
        SCOPED_TRACE(force ? "forcing" : "not forcing");
        JpegColourTables t;
        t.Build(force);
        int negativeSeen = 0, roundedToZeroSeen = 0;
        for (int y = 0; y < 256; ++y) {
            for (int cb = 0; cb < 256; ++cb) {
                std::memset(ys, y, sizeof ys);
                std::memset(cbs, cb, sizeof cbs);
                ConvertRowYCbCr(t, ys, cbs, crs, bgr, 256);
                const int c = cb - 128;
                const int blue = ReferenceChannel(y + away(1.772 * c), force);
                for (int r = 0; r < 256; ++r) {
                    const int d = r - 128;
                    const int greenSum = y + away(-0.34414 * c) + away(-0.71414 * d);
                    const int redSum = y + away(1.402 * d);
                    negativeSeen += greenSum < 0;
                    roundedToZeroSeen += greenSum == 0 && std::fabs(y - 0.34414 * c - 0.71414 * d) > 0.01;
                    const int want[3] = {blue, ReferenceChannel(greenSum, force), ReferenceChannel(redSum, force)};
                    for (int ch = 0; ch < 3; ++ch)
                        if (bgr[3 * r + ch] != want[ch]) {
                            ADD_FAILURE() << "Y " << y << " Cb " << cb << " Cr " << r << " channel " << ch << ": "
                                          << int(bgr[3 * r + ch]) << " vs " << want[ch];
                            return;
                        }
                }
                // Half-width chroma: sample i serves pixels 2i and 2i + 1.
                for (int i = 0; i < 128; ++i) half[i] = crs[2 * i];
                uint8_t halfCb[128];
                std::memset(halfCb, cb, sizeof halfCb);
                ConvertRowYCbCrHalfChroma(t, ys, halfCb, half, bgrHalf, 256);
                for (int x = 0; x < 256; ++x)
                    for (int ch = 0; ch < 3; ++ch)
                        if (bgrHalf[3 * x + ch] != bgr[3 * (x & ~1) + ch]) {
                            ADD_FAILURE() << "half chroma: Y " << y << " Cb " << cb << " x " << x;
                            return;
                        }
            }
        }
        // The table reaches the cases the rule is about.
        EXPECT_GT(negativeSeen, 0);
        EXPECT_GT(roundedToZeroSeen, 0);
    }
}

// The process-wide flag counts once: the tables are built at the first data
// pass with the flag as it is then. Each case runs in a fresh child process.
int DecodeFirstPixel(const std::string& path)
{
    Decoded d = jpegtest::DecodeFile(path);
    if (d.data != 0) return -1;
    return d.image->GetData()[0];
}

class ZeroToOneProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The child must be a fresh process (a forked one would inherit
        // tables built by earlier tests): re-run the binary for this test.
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        ASSERT_TRUE(testkit::RequireTool("cjpeg"));
        // Black at quality 100: Y 0, Cb = Cr = 128 exactly, so every colour
        // sum is exactly 0.
        Image black(16, 16, 3), blackGrey(16, 16, 1);
        std::memset(black.GetData(), 0, black.GetDataSize());
        std::memset(blackGrey.GetData(), 0, blackGrey.GetDataSize());
        ASSERT_FALSE(jpegtest::MakeJpegWithCjpeg(black, "-quality 100 -sample 1x1", m_dir, "black").empty());
        ASSERT_FALSE(jpegtest::MakeJpegWithCjpeg(blackGrey, "-quality 100", m_dir, "grey").empty());
    }
    testkit::TempDir m_dir;
};

TEST_F(ZeroToOneProcess, OnByDefault)
{
    const std::string colour = m_dir.file("black.jpg"), grey = m_dir.file("grey.jpg");
    EXPECT_EXIT(
        {
            const bool ok = DecodeFirstPixel(colour) == 1 && DecodeFirstPixel(grey) == 0;
            _exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// The child's check for the stripes below: 0 when it holds.
int StripesWithForcingOff(const std::string& path)
{
    SetForce0To1(false);
    Decoded d = jpegtest::DecodeFile(path);
    Image* ref = jpegtest::DecodeWithDjpeg(path, "-nosmooth");
    if (d.data != 0 || !ref) return 2;
    int ones = 0, zeros = 0, result = 0;
    for (int y = 0; y < d.image->GetHeight(); ++y)
        for (int x = 0; x < d.image->GetWidth(); ++x)
            for (int c = 0; c < 3; ++c) {
                const int ours = d.image->GetData()[static_cast<size_t>(y) * d.image->GetRowByte() + 3 * x + c];
                const int theirs = ref->GetData()[static_cast<size_t>(y) * ref->GetRowByte() + 3 * x + 2 - c];
                if (theirs == 0 && ours > 1) result = 3;
                if (theirs != 0 && std::abs(ours - theirs) > 2) result = 4;
                ones += theirs == 0 && ours == 1;
                zeros += ours == 0;
            }
    ReleaseImage(ref);
    if (result) return result;
    return ones > 0 && zeros > 0 ? 0 : 10 + (ones > 0) + 2 * (zeros > 0);
}

// Stripes of saturated colours, coarsely quantised with subsampled chroma:
// many colour sums come out negative, some exactly 0. With forcing off a
// negative sum is still stored as 1 and an exact 0 stays 0; djpeg clamps
// both to 0, and agrees with ours everywhere else.
TEST_F(ZeroToOneProcess, NegativeSumsGiveOneWithForcingOff)
{
    ASSERT_TRUE(testkit::RequireTool("djpeg"));
    Image stripes(64, 32, 3);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = stripes.GetData() + static_cast<size_t>(y) * stripes.GetRowByte() + 3 * x;
            const bool magenta = ((x + y / 4) / 3) % 2 == 0;
            p[0] = magenta ? 255 : 0;
            p[1] = magenta ? 0 : 255;
            p[2] = magenta ? 255 : 0;
        }
    ASSERT_FALSE(jpegtest::MakeJpegWithCjpeg(stripes, "-quality 30 -sample 2x2", m_dir, "stripes").empty());
    const std::string path = m_dir.file("stripes.jpg");
    EXPECT_EXIT(_exit(StripesWithForcingOff(path)), ::testing::ExitedWithCode(0), "");
}

TEST_F(ZeroToOneProcess, OffBeforeTheFirstDecodeStaysOff)
{
    const std::string colour = m_dir.file("black.jpg");
    EXPECT_EXIT(
        {
            const bool returned = SetForce0To1(false);
            const int first = DecodeFirstPixel(colour);
            SetForce0To1(true);  // too late: the tables exist
            const int second = DecodeFirstPixel(colour);
            _exit(!returned && first == 0 && second == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ZeroToOneProcess, OnAfterTheFirstDecodeCannotBeTurnedOff)
{
    const std::string colour = m_dir.file("black.jpg");
    EXPECT_EXIT(
        {
            const int first = DecodeFirstPixel(colour);
            SetForce0To1(false);
            const int second = DecodeFirstPixel(colour);
            _exit(first == 1 && second == 1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
