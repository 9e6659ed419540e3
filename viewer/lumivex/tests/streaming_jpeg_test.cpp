// The streaming decoder against main's file decoder (byte for byte: they
// share the entropy decoding, the transform and the colour conversion) and
// against djpeg, its marker table, and its behaviour on broken input.
#include "viewer/lumivex/streaming_jpeg.h"

#include "imaging/image.h"
#include "viewer/lumivex/tests/lumivex_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

using namespace lumivextest;

namespace {

struct Variant {
    const char* name;
    const char* cjpegArgs;
    bool progressive;
};

class StreamingEquality : public ::testing::TestWithParam<Variant> {};

TEST_P(StreamingEquality, MatchesTheFileDecoderAndDjpeg)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    ASSERT_TRUE(testkit::RequireTool("djpeg"));
    testkit::TempDir dir;
    const Variant& v = GetParam();
    const std::string path = MakePhotoJpeg(dir, v.name, v.cjpegArgs);
    ASSERT_FALSE(path.empty()) << "cjpeg " << v.cjpegArgs;

    StreamDecode streamed;
    DecodeStreamingFile(path, streamed);
    ASSERT_EQ(streamed.header, 0);
    ASSERT_EQ(streamed.start, 0);
    if (v.progressive) {
        EXPECT_EQ(streamed.last, 0xD9);
        EXPECT_GE(streamed.calls, 2);
    } else {
        EXPECT_EQ(streamed.calls, 0) << "a baseline file is complete after the first step";
    }
    ASSERT_NE(streamed.image, nullptr);
    EXPECT_EQ(streamed.image->GetWidth(), 750);
    EXPECT_EQ(streamed.image->GetHeight(), 497);

    jpegtest::Decoded file = jpegtest::DecodeFile(path);
    ASSERT_NE(file.image, nullptr);
    EXPECT_TRUE(SamePixels(*streamed.image, *file.image));

    const jpegtest::FrameFacts facts = jpegtest::ReadFrameFacts(jpegtest::ReadFileBytes(path));
    Image* reference = jpegtest::ReferenceDecode(path, facts, "-nosmooth");
    ASSERT_NE(reference, nullptr);
    const jpegtest::Difference d = jpegtest::Compare(*streamed.image, *reference);
    ReleaseImage(reference);
    EXPECT_LE(d.maxAbs, 2) << d.message;
    EXPECT_LT(d.meanAbs, 0.5);
}

INSTANTIATE_TEST_SUITE_P(Photograph, StreamingEquality,
                         ::testing::Values(Variant{"baseline420", "-quality 90", false},
                                           Variant{"baseline422", "-quality 85 -sample 2x1", false},
                                           Variant{"baseline444", "-quality 95 -sample 1x1", false},
                                           Variant{"restart1", "-restart 1", false},
                                           Variant{"grey", "-grayscale", false},
                                           Variant{"progressive420", "-progressive", true},
                                           Variant{"progressive444", "-progressive -sample 1x1", true},
                                           Variant{"progressiveGrey", "-progressive -grayscale", true},
                                           Variant{"progressiveRestart", "-progressive -restart 2", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Marker table.

class MarkerTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testkit::RequireTool("cjpeg"));
        Image* picture = jpegtest::MakeSyntheticPicture(48, 32, 3);
        baseline = jpegtest::MakeJpegWithCjpeg(*picture, "-quality 80", dir, "small");
        ReleaseImage(picture);
        ASSERT_FALSE(baseline.empty());
    }
    int HeaderResult(const Bytes& bytes)
    {
        StreamDecode d;
        DecodeStreamingBytes(bytes, dir, d);
        return d.header;
    }
    testkit::TempDir dir;
    Bytes baseline;
};

Bytes WithMarkerBefore(const Bytes& file, int beforeMarker, const Bytes& inserted)
{
    std::vector<jpegtest::Segment> segments = jpegtest::SplitSegments(file);
    Bytes out;
    const int at = jpegtest::FindSegment(segments, beforeMarker);
    Bytes head = jpegtest::JoinSegments({segments.begin(), segments.begin() + at});
    Bytes tail = jpegtest::JoinSegments({segments.begin() + at, segments.end()});
    out = head;
    out.insert(out.end(), inserted.begin(), inserted.end());
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

Bytes WithFrameMarker(const Bytes& file, uint8_t code)
{
    Bytes out = file;
    for (size_t i = 0; i + 1 < out.size(); ++i)
        if (out[i] == 0xFF && out[i + 1] == 0xC0) {
            out[i + 1] = code;
            break;
        }
    return out;
}

TEST_F(MarkerTable, RefusedCodesFailTheHeader)
{
    struct Case {
        const char* what;
        Bytes bytes;
    };
    Bytes twelveBit = baseline;
    for (size_t i = 0; i + 4 < twelveBit.size(); ++i)
        if (twelveBit[i] == 0xFF && twelveBit[i + 1] == 0xC0) {
            twelveBit[i + 4] = 12;
            break;
        }
    const Case cases[] = {
        {"SOF1", WithFrameMarker(baseline, 0xC1)},
        {"SOF3", WithFrameMarker(baseline, 0xC3)},
        {"JPG (0xC8)", WithMarkerBefore(baseline, 0xC0, {0xFF, 0xC8, 0x00, 0x02})},
        {"misplaced RST3", WithMarkerBefore(baseline, 0xC0, {0xFF, 0xD3})},
        {"reserved 0xF0", WithMarkerBefore(baseline, 0xC0, {0xFF, 0xF0, 0x00, 0x02})},
        {"reserved 0xFD", WithMarkerBefore(baseline, 0xC0, {0xFF, 0xFD, 0x00, 0x02})},
        {"12-bit samples", twelveBit},
        {"byte below 0xC0 as marker code", WithMarkerBefore(baseline, 0xC0, {0xFF, 0x42})},
        {"segment not followed by a marker", WithMarkerBefore(baseline, 0xC0, {0x00})},
    };
    for (const Case& c : cases) EXPECT_EQ(HeaderResult(c.bytes), 1) << c.what;
    EXPECT_EQ(HeaderResult(baseline), 0);
}

TEST_F(MarkerTable, SkippedCodesAndFillBytesDecodeAsWithoutThem)
{
    StreamDecode plain;
    DecodeStreamingBytes(baseline, dir, plain);
    ASSERT_NE(plain.image, nullptr);
    const Bytes skipped[] = {
        {0xFF, 0xC5, 0x00, 0x04, 1, 2}, {0xFF, 0xCF, 0x00, 0x03, 9}, {0xFF, 0xDC, 0x00, 0x04, 0, 0},
        {0xFF, 0xDE, 0x00, 0x02},       {0xFF, 0xDF, 0x00, 0x02},    {0xFF, 0xE1, 0x00, 0x05, 'E', 'x', 'i'},
        {0xFF, 0xEF, 0x00, 0x02},       {0xFF, 0xFF, 0xFF, 0xE5, 0x00, 0x02},
        {0xFF, 0xFE, 0x00, 0x07, 'h', 'e', 'l', 'l', 'o'},
    };
    for (const Bytes& segment : skipped) {
        StreamDecode d;
        DecodeStreamingBytes(WithMarkerBefore(baseline, 0xC0, segment), dir, d);
        ASSERT_EQ(d.header, 0) << "marker 0x" << std::hex << int(segment[1]);
        ASSERT_NE(d.image, nullptr);
        EXPECT_TRUE(SamePixels(*d.image, *plain.image));
    }
}

TEST_F(MarkerTable, CommentOf14Or22BytesIsKeptOthersAreNot)
{
    struct Case {
        Bytes comment;
        int keptLength;
    };
    const Case cases[] = {
        {Bytes(14, 'a'), 14},
        {Descriptor(4000, 0, 0, 0), 22},
        {Bytes(13, 'b'), 0},
        {Bytes(15, 'c'), 0},
        {Bytes(23, 'd'), 0},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file("comment.jpg");
        ASSERT_TRUE(jpegtest::WriteFileBytes(path, WithComment(baseline, c.comment)));
        FILE* file = std::fopen(path.c_str(), "rb");
        auto* job = new PanoramaJob(nullptr, nullptr);
        job->file = file;
        job->stream = std::make_unique<FileByteStream>(file);
        job->stream->Init(1024);
        Image image;
        ASSERT_EQ(ReadJpegHeader(&image, job), 0);
        const FileExtraData* record = GetCommentRecord(job);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->length, c.keptLength) << c.comment.size();
        if (c.keptLength) {
            EXPECT_EQ(0, std::memcmp(record->bytes, c.comment.data(), c.comment.size()));
        }
        job->Release();
    }
}

// Quantisation entries above 127 are unsigned: a file whose tables hold
// 128 to 255 (cjpeg with its own tables) decodes as djpeg decodes it.
TEST_F(MarkerTable, QuantisationValuesAbove127AreUnsigned)
{
    ASSERT_TRUE(testkit::RequireTool("djpeg"));
    const std::string tables = dir.file("tables.txt");
    {
        std::ofstream out(tables);
        for (int k = 0; k < 64; ++k) out << 128 + 2 * k << (k % 8 == 7 ? "\n" : " ");
    }
    const std::string path = MakePhotoJpeg(dir, "quant", "-quality 50 -qtables '" + tables + "' -sample 1x1");
    ASSERT_FALSE(path.empty());
    std::vector<jpegtest::Segment> segments = jpegtest::SplitSegments(jpegtest::ReadFileBytes(path));
    const int dqt = jpegtest::FindSegment(segments, 0xDB);
    ASSERT_GE(dqt, 0);
    ASSERT_EQ(segments[dqt].payload[0] >> 4, 0) << "8-bit entries";
    EXPECT_GT(segments[dqt].payload[1], 127);
    StreamDecode d;
    DecodeStreamingFile(path, d);
    ASSERT_NE(d.image, nullptr);
    Image* reference = jpegtest::DecodeWithDjpeg(path, "-nosmooth");
    ASSERT_NE(reference, nullptr);
    const jpegtest::Difference diff = jpegtest::Compare(*d.image, *reference);
    ReleaseImage(reference);
    EXPECT_LE(diff.maxAbs, 2) << diff.message;
}

// A file cut at every 64th byte ends in 0 or 1, never hangs; the header
// step fails only before the first scan.
TEST(StreamingTruncation, EveryCutEndsCleanly)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    testkit::TempDir dir;
    Image* picture = jpegtest::MakeSyntheticPicture(64, 48, 3);
    for (const char* args : {"-quality 90", "-progressive -quality 90", "-restart 1 -quality 90"}) {
        const Bytes file = jpegtest::MakeJpegWithCjpeg(*picture, args, dir, "cut");
        ASSERT_FALSE(file.empty());
        const size_t sos = jpegtest::SplitSegments(file).size();
        ASSERT_GT(sos, 0u);
        for (size_t cut = 1; cut < file.size(); cut += 64) {
            StreamDecode d;
            DecodeStreamingBytes(Bytes(file.begin(), file.begin() + static_cast<long>(cut)), dir, d, 600);
            EXPECT_TRUE(d.header == 0 || d.header == 1) << args << " cut " << cut;
            if (d.header == 0) {
                EXPECT_TRUE(d.start == 0 || d.start == 1);
                EXPECT_LT(d.calls, 600) << "no end after " << d.calls << " calls";
                if (d.calls > 0) {
                    EXPECT_TRUE(d.last == 1 || d.last == 0xD9) << args << " cut " << cut;
                }
            }
        }
    }
    ReleaseImage(picture);
}

// Every JPEG of the shared decoder test files (well-formed, exotic and
// broken) gives the same verdict and, when both succeed, the same pixels
// through the streaming entry points as through the file decoder.
TEST(StreamingCorpus, AgreesWithTheFileDecoderOnTheTestFiles)
{
    const std::filesystem::path root = testkit::TestData("jpeg-decoder");
    ASSERT_TRUE(std::filesystem::exists(root)) << root;
    testkit::TempDir dir;
    int decoded = 0, refused = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || entry.file_size() > 4'000'000) continue;
        const std::string ext = entry.path().extension().string();
        if (ext != ".jpg" && ext != ".jpeg" && ext != ".JPG") continue;
        const std::string path = entry.path().string();
        const Bytes bytes = jpegtest::ReadFileBytes(path);
        if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8) continue;
        jpegtest::Decoded file = jpegtest::DecodeFile(path);
        StreamDecode streamed;
        DecodeStreamingFile(path, streamed);
        const bool fileOk = file.image != nullptr;
        const bool streamOk =
            streamed.header == 0 && streamed.start == 0 && (streamed.calls == 0 || streamed.last == 0xD9);
        EXPECT_EQ(streamed.header == 0, file.header == 0) << path;
        EXPECT_EQ(streamOk, fileOk) << path;
        if (fileOk && streamOk) {
            EXPECT_TRUE(SamePixels(*streamed.image, *file.image)) << path;
            ++decoded;
        } else {
            ++refused;
        }
    }
    EXPECT_GT(decoded, 10);
    EXPECT_GT(refused, 0);
}

}  // namespace
