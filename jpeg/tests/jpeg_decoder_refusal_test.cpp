// Files the decoder must refuse with result 1 (state freed, failure flag
// set, nothing written past a buffer): unsupported coding, malformed
// headers, tables and scans, truncation at every length. Each case edits a
// valid cjpeg file segment by segment.
#include "jpeg/tests/jpeg_test_support.h"
#include "core/logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>

namespace {

using jpegtest::Bytes;
using jpegtest::Decoded;
using jpegtest::Segment;
using Segments = std::vector<Segment>;

enum Fixture { kBaseline, kProgressive, kRestart };
enum Pass { kHeaderPass = 1, kDataPass = 2 };

struct RefusalCase {
    const char* name;
    const char* reason;  // part of the logged error line
    Fixture fixture;
    Pass failingPass;
    std::function<void(Segments&)> edit;
};

Segment& First(Segments& s, int marker)
{
    const int i = jpegtest::FindSegment(s, marker);
    if (i < 0) throw std::runtime_error("fixture lacks a segment");
    return s[static_cast<size_t>(i)];
}

Segment Marker(int code, Bytes payload = {})
{
    Segment s;
    s.marker = code;
    s.payload = std::move(payload);
    return s;
}

void Insert(Segments& s, int beforeMarker, const Segment& segment)
{
    const int i = jpegtest::FindSegment(s, beforeMarker);
    s.insert(s.begin() + i, segment);
}

void RemoveAll(Segments& s, int marker)
{
    s.erase(std::remove_if(s.begin(), s.end(), [&](const Segment& x) { return x.marker == marker; }), s.end());
}

// Byte offsets in SOF0/SOF2 payloads: 0 precision, 1-2 height, 3-4 width,
// 5 count, then per component id, H<<4|V, Tq.
std::vector<RefusalCase> Cases()
{
    return {
        {"precision_12", "precision is not 8", kBaseline, kHeaderPass, [](Segments& s) { First(s, 0xC0).payload[0] = 12; }},
        {"lossless_sof3", "unsupported frame type", kBaseline, kHeaderPass, [](Segments& s) { First(s, 0xC0).marker = 0xC3; }},
        {"extended_sof1", "unsupported frame type", kBaseline, kHeaderPass, [](Segments& s) { First(s, 0xC0).marker = 0xC1; }},
        {"arithmetic_sof9_leaves_no_frame", "start of scan before the frame header", kBaseline, kHeaderPass, [](Segments& s) { First(s, 0xC0).marker = 0xC9; }},
        {"two_components", "component count", kBaseline, kHeaderPass,
         [](Segments& s) {
             Bytes& p = First(s, 0xC0).payload;
             p[5] = 2;
             p.resize(p.size() - 3);
         }},
        {"four_components", "component count", kBaseline, kHeaderPass,
         [](Segments& s) {
             Bytes& p = First(s, 0xC0).payload;
             p[5] = 4;
             for (uint8_t b : {4, 0x11, 1}) p.push_back(b);
         }},
        {"zero_height", "zero width or height", kBaseline, kHeaderPass,
         [](Segments& s) { First(s, 0xC0).payload[1] = First(s, 0xC0).payload[2] = 0; }},
        {"zero_width", "zero width or height", kBaseline, kHeaderPass,
         [](Segments& s) { First(s, 0xC0).payload[3] = First(s, 0xC0).payload[4] = 0; }},
        {"h_factor_0", "sampling factor outside", kBaseline, kHeaderPass, [](Segments& s) { First(s, 0xC0).payload[7] = 0x02; }},
        {"v_factor_0", "sampling factor outside", kBaseline, kHeaderPass, [](Segments& s) { First(s, 0xC0).payload[7] = 0x20; }},
        {"h_factor_5", "sampling factor outside", kBaseline, kHeaderPass, [](Segments& s) { First(s, 0xC0).payload[7] = 0x52; }},
        {"v_factor_5", "sampling factor outside", kBaseline, kHeaderPass, [](Segments& s) { First(s, 0xC0).payload[7] = 0x25; }},
        {"non_integral_ratio", "non-integral ratio", kBaseline, kHeaderPass,
         [](Segments& s) {
             First(s, 0xC0).payload[7] = 0x31;   // Y 3x1
             First(s, 0xC0).payload[10] = 0x21;  // Cb 2x1: 3/2 is not whole
         }},
        {"frame_table_4", "quantisation table number above 3", kBaseline, kHeaderPass, [](Segments& s) { First(s, 0xC0).payload[8] = 4; }},
        {"frame_length", "frame header length", kBaseline, kHeaderPass, [](Segments& s) { First(s, 0xC0).payload.push_back(0); }},
        {"second_frame_header", "second frame header", kBaseline, kHeaderPass,
         [](Segments& s) { Insert(s, 0xDA, First(s, 0xC0)); }},
        {"scan_before_frame", "start of scan before the frame header", kBaseline, kHeaderPass, [](Segments& s) { RemoveAll(s, 0xC0); }},
        {"quant_table_4", "quantisation table number above 3", kBaseline, kHeaderPass, [](Segments& s) { First(s, 0xDB).payload[0] = 0x04; }},
        {"quant_16_bit", "16-bit quantisation table", kBaseline, kHeaderPass, [](Segments& s) { First(s, 0xDB).payload[0] |= 0x10; }},
        {"quant_length", "length mismatch", kBaseline, kHeaderPass, [](Segments& s) { First(s, 0xDB).payload.pop_back(); }},
        {"huffman_table_4", "Huffman table class or number", kBaseline, kHeaderPass, [](Segments& s) { First(s, 0xC4).payload[0] = 0x04; }},
        {"huffman_class_2", "Huffman table class or number", kBaseline, kHeaderPass, [](Segments& s) { First(s, 0xC4).payload[0] = 0x20; }},
        {"huffman_over_256_symbols", "more than 256", kBaseline, kHeaderPass,
         [](Segments& s) {
             Bytes p(17 + 300, 1);  // 300 symbols
             std::fill(p.begin(), p.begin() + 17, 0);
             p[15] = 200;
             p[16] = 100;
             First(s, 0xC4).payload = p;
         }},
        {"huffman_over_subscribed", "over-subscribed", kBaseline, kHeaderPass,
         [](Segments& s) {
             Bytes p(17, 0);
             p[1] = 3;  // three codes of one bit
             for (uint8_t b : {0, 1, 2}) p.push_back(b);
             First(s, 0xC4).payload = p;
         }},
        {"huffman_length_overrun", "length overrun", kBaseline, kHeaderPass,
         [](Segments& s) { First(s, 0xC4).payload.resize(20); }},
        {"restart_interval_length", "restart interval segment", kBaseline, kHeaderPass,
         [](Segments& s) { Insert(s, 0xDA, Marker(0xDD, {0, 1, 2})); }},
        {"restart_marker_in_header", "restart marker outside a scan", kBaseline, kHeaderPass, [](Segments& s) { Insert(s, 0xDA, Marker(0xD3)); }},
        {"reserved_marker", "reserved marker", kBaseline, kHeaderPass, [](Segments& s) { Insert(s, 0xDA, Marker(0xF1, {1, 2})); }},
        {"no_huffman_tables", "undefined Huffman table", kBaseline, kDataPass, [](Segments& s) { RemoveAll(s, 0xC4); }},
        {"no_quant_tables", "undefined quantisation table", kBaseline, kDataPass, [](Segments& s) { RemoveAll(s, 0xDB); }},
        {"scan_table_4", "Huffman table number above 3", kBaseline, kDataPass, [](Segments& s) { First(s, 0xDA).payload[2] = 0x40; }},
        {"scan_unknown_component", "unknown scan component", kBaseline, kDataPass, [](Segments& s) { First(s, 0xDA).payload[1] = 9; }},
        {"scan_component_twice", "unknown scan component", kBaseline, kDataPass,
         [](Segments& s) { First(s, 0xDA).payload[3] = First(s, 0xDA).payload[1]; }},
        {"scan_count_0", "scan component count", kBaseline, kDataPass, [](Segments& s) { First(s, 0xDA).payload[0] = 0; }},
        {"scan_se_64", "out of range", kBaseline, kDataPass, [](Segments& s) { First(s, 0xDA).payload[8] = 64; }},
        {"progressive_dc_scan_with_ac", "DC scan with AC", kProgressive, kDataPass, [](Segments& s) { First(s, 0xDA).payload[8] = 5; }},
        {"progressive_se_64", "out of range", kProgressive, kDataPass,
         [](Segments& s) {
             // The second scan is an AC scan of one component: Se past 63.
             int seen = 0;
             for (Segment& x : s)
                 if (x.marker == 0xDA && ++seen == 2) x.payload[4] = 64;
         }},
        {"progressive_al_14", "out of range", kProgressive, kDataPass, [](Segments& s) { First(s, 0xDA).payload[9] = 0x0E; }},
        {"progressive_bad_refinement", "successive approximation", kProgressive, kDataPass,
         [](Segments& s) { First(s, 0xDA).payload[9] = 0x31; }},  // Ah 3, Al 1
        {"progressive_no_end_of_image", "before the end-of-image", kProgressive, kDataPass, [](Segments& s) { RemoveAll(s, 0xD9); }},
        {"missing_restart_marker", "missing restart marker", kRestart, kDataPass,
         [](Segments& s) {
             Bytes& e = First(s, 0xDA).entropy;
             for (size_t i = 0; i + 1 < e.size(); ++i)
                 if (e[i] == 0xFF && e[i + 1] >= 0xD0 && e[i + 1] <= 0xD7) {
                     e[i + 1] = 0xD9;
                     break;
                 }
         }},
        {"scan_data_cut_short", "ends early", kBaseline, kDataPass,
         [](Segments& s) { First(s, 0xDA).entropy.resize(First(s, 0xDA).entropy.size() / 2); }},
    };
}

Bytes MakeFixture(Fixture fixture, const testkit::TempDir& dir)
{
    Image* picture = jpegtest::MakeSyntheticPicture(40, 24, 3);
    const char* args = fixture == kBaseline      ? "-sample 2x2"
                       : fixture == kProgressive ? "-sample 2x2 -progressive"
                                                 : "-sample 2x2 -restart 1B";
    Bytes jpeg = jpegtest::MakeJpegWithCjpeg(*picture, args, dir, "fixture");
    ReleaseImage(picture);
    return jpeg;
}

TEST(JpegRefusal, Table)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    testkit::TempDir dir;
    const Bytes fixtures[3] = {MakeFixture(kBaseline, dir), MakeFixture(kProgressive, dir),
                               MakeFixture(kRestart, dir)};
    for (const Bytes& f : fixtures) {
        ASSERT_FALSE(f.empty());
        Decoded good = jpegtest::DecodeBytes(f);
        ASSERT_EQ(good.data, 0) << "the unedited fixture must decode";
    }
    for (const RefusalCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        Segments segments = jpegtest::SplitSegments(fixtures[c.fixture]);
        c.edit(segments);
        LogCapture log;
        Decoded d = jpegtest::DecodeBytes(jpegtest::JoinSegments(segments));
        if (c.failingPass == kHeaderPass) {
            EXPECT_EQ(d.header, 1);
        } else {
            EXPECT_EQ(d.header, 0);
            EXPECT_EQ(d.data, 1);
        }
        EXPECT_TRUE(d.options & QFI_READ_FAILED);
        EXPECT_EQ(log.errorCount(), 1);
        EXPECT_TRUE(log.contains(c.failingPass == kHeaderPass ? "ERROR GetJpegHeader()" : "ERROR ReadJpegData()"))
            << log.text();
        EXPECT_TRUE(log.contains(c.reason)) << log.text();
    }
}

// Arithmetic coding as jpegtran writes it: the SOF9 frame is skipped, so the
// scan finds no frame.
TEST(JpegRefusal, ArithmeticCodedFileFromJpegtran)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    ASSERT_TRUE(testkit::RequireTool("jpegtran"));
    testkit::TempDir dir;
    ASSERT_FALSE(MakeFixture(kBaseline, dir).empty());
    const testkit::CommandResult r =
        testkit::Run("jpegtran -arithmetic -outfile '" + dir.file("ari.jpg") + "' '" + dir.file("fixture.jpg") + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_EQ(jpegtest::ReadFrameFacts(jpegtest::ReadFileBytes(dir.file("ari.jpg"))).marker, 0xC9);
    Decoded d = jpegtest::DecodeFile(dir.file("ari.jpg"));
    EXPECT_EQ(d.header, 1);
    EXPECT_TRUE(d.options & QFI_READ_FAILED);
}

// Every prefix of a file is refused, except a sequential file missing only
// its end-of-image marker (the scan is complete without it).
TEST(JpegRefusal, TruncationAtEveryLength)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    testkit::TempDir dir;
    for (Fixture fixture : {kBaseline, kProgressive, kRestart}) {
        SCOPED_TRACE(fixture);
        const Bytes file = MakeFixture(fixture, dir);
        ASSERT_GT(file.size(), 100u);
        size_t decodedPrefixes = 0;
        for (size_t n = 0; n < file.size(); ++n) {
            Decoded d = jpegtest::DecodeBytes(Bytes(file.begin(), file.begin() + static_cast<long>(n)));
            if (d.header == 0 && d.data == 0) {
                ++decodedPrefixes;
                EXPECT_NE(fixture, kProgressive) << "a progressive prefix of " << n << " bytes decoded";
                EXPECT_GE(n, file.size() - 2) << "a prefix of " << n << " bytes decoded";
            } else {
                EXPECT_TRUE(d.options & QFI_READ_FAILED);
            }
        }
        EXPECT_LE(decodedPrefixes, 2u);
    }
}

}  // namespace
