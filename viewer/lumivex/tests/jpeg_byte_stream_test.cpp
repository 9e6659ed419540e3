// The buffered byte stream: reads across refills of every size, the two zero
// bytes after the data, the running total and the end of the input.
#include "viewer/lumivex/jpeg_byte_stream.h"

#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Hands out `data` in pieces of the given sizes (the last size repeats).
class PieceStream final : public JpegByteStream {
public:
    PieceStream(std::vector<uint8_t> data, std::vector<size_t> pieces) : m_data(std::move(data)), m_pieces(std::move(pieces)) {}
    bool Refill() override
    {
        ++refills;
        if (failAfter >= 0 && refills > failAfter) return false;
        const size_t want = m_pieces[std::min(m_next, m_pieces.size() - 1)];
        ++m_next;
        const size_t n = std::min({want, BufferSize(), m_data.size() - m_offset});
        std::memcpy(Buffer(), m_data.data() + m_offset, n);
        m_offset += n;
        Placed(n);
        return true;
    }
    int refills = 0;
    int failAfter = -1;

private:
    std::vector<uint8_t> m_data;
    std::vector<size_t> m_pieces;
    size_t m_next = 0;
    size_t m_offset = 0;
};

std::vector<uint8_t> Counting(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 3);
    return v;
}

TEST(JpegByteStream, ReadsEveryByteAcrossRefillsOfAnySize)
{
    const std::vector<uint8_t> data = Counting(3000);
    const std::vector<std::vector<size_t>> pieceTables = {{1}, {2}, {3}, {1024}, {1, 1023, 7}, {5, 1}};
    for (const auto& pieces : pieceTables) {
        // Bytes and words alternate so that words straddle every boundary.
        PieceStream s(data, pieces);
        ASSERT_TRUE(s.Init(1024));
        size_t i = 0;
        while (i + 3 <= data.size()) {
            ASSERT_EQ(s.ReadByte(), data[i]) << "piece " << pieces[0] << " at " << i;
            ASSERT_EQ(s.ReadWord(), (data[i + 1] << 8) | data[i + 2]) << "piece " << pieces[0] << " at " << i + 1;
            i += 3;
        }
        while (i < data.size()) ASSERT_EQ(s.ReadByte(), data[i++]);
        EXPECT_EQ(s.TotalRead(), 3000);
        // At the end: zeros, no further data.
        EXPECT_EQ(s.ReadByte(), 0);
        EXPECT_EQ(s.ReadWord(), 0);
    }
}

TEST(JpegByteStream, TwoZeroBytesFollowTheDataAfterEveryRefill)
{
    std::vector<uint8_t> data(100, 0xAB);
    PieceStream s(data, {37});
    ASSERT_TRUE(s.Init(64));
    for (int refill = 0; refill < 3; ++refill) {
        s.Skip(s.Available());
        ASSERT_TRUE(s.Refill());
        const size_t n = s.Available();
        EXPECT_EQ(n, refill < 2 ? 37u : 26u);
        EXPECT_EQ(s.Cursor()[n], 0);
        EXPECT_EQ(s.Cursor()[n + 1], 0);
        EXPECT_EQ(s.Position(), 0u);
    }
}

TEST(JpegByteStream, ReadBlockRefillsOnceAndReportsAShortBlock)
{
    struct Case {
        size_t piece;
        size_t skipFirst;
        size_t count;
        bool ok;
    };
    // Buffer of 16 bytes, 40 bytes of data.
    const Case cases[] = {
        {16, 0, 16, true},   // exactly the buffer
        {16, 10, 20, true},  // 6 here, 14 after one refill
        {16, 10, 23, false}, // 6 + 16 < 23: one refill is not enough
        {4, 1, 5, true},     // 3 + 2
        {16, 0, 17, false},  // the first refill of an empty stream counts: 16 < 17
        {4, 2, 7, false},    // 2 + 4 < 7
    };
    const std::vector<uint8_t> data = Counting(40);
    for (const Case& c : cases) {
        PieceStream s(data, {c.piece});
        ASSERT_TRUE(s.Init(16));
        s.Skip(c.skipFirst);
        std::vector<uint8_t> out(c.count, 0xEE);
        EXPECT_EQ(s.ReadBlock(out.data(), c.count), c.ok) << c.piece << "/" << c.skipFirst << "/" << c.count;
        // A short block still holds what there was before the refill.
        const size_t copied = c.ok ? c.count : (c.skipFirst ? c.piece - c.skipFirst % c.piece : 0);
        for (size_t k = 0; k < copied; ++k) ASSERT_EQ(out[k], data[c.skipFirst + k]) << k;
    }
}

TEST(JpegByteStream, SkipCrossesManyRefillsAndStopsAtTheEnd)
{
    const std::vector<uint8_t> data = Counting(5000);
    PieceStream s(data, {100});
    ASSERT_TRUE(s.Init(128));
    s.Skip(10);
    s.Skip(2345);
    EXPECT_EQ(s.ReadByte(), data[2355]);
    EXPECT_EQ(s.Position(), 56u);  // 2356 - 23 full pieces of 100
    s.Skip(100000);
    EXPECT_EQ(s.ReadByte(), 0);
    EXPECT_EQ(s.TotalRead(), 5000);
}

TEST(JpegByteStream, FailedRefillReadsAsZero)
{
    PieceStream s(Counting(50), {10});
    s.failAfter = 1;
    ASSERT_TRUE(s.Init(32));
    uint8_t block[20];
    EXPECT_EQ(s.ReadByte(), Counting(50)[0]);
    s.Skip(9);
    EXPECT_EQ(s.ReadByte(), 0);
    EXPECT_EQ(s.ReadWord(), 0);
    EXPECT_FALSE(s.ReadBlock(block, sizeof block));
}

TEST(FileByteStream, ReadsAFileInBufferSizedPieces)
{
    testkit::TempDir dir;
    const std::vector<uint8_t> data = Counting(2500);
    const std::string path = dir.file("data.bin");
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(data.data(), 1, data.size(), out);
    std::fclose(out);
    FILE* in = std::fopen(path.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    {
        FileByteStream s(in);
        ASSERT_TRUE(s.Init(1024));
        std::vector<uint8_t> got(2500);
        ASSERT_TRUE(s.ReadBlock(got.data(), 1000));
        ASSERT_TRUE(s.ReadBlock(got.data() + 1000, 1000));
        EXPECT_EQ(s.TotalRead(), 2048);
        ASSERT_TRUE(s.ReadBlock(got.data() + 2000, 500));
        EXPECT_EQ(got, data);
        EXPECT_EQ(s.TotalRead(), 2500);
        // A refill at the end succeeds with no data, and reads give zeros.
        EXPECT_TRUE(s.Refill());
        EXPECT_EQ(s.Available(), 0u);
        EXPECT_EQ(s.ReadByte(), 0);
    }
    std::fclose(in);
}

}  // namespace
