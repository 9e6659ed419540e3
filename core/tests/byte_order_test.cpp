// The fixed-order field helpers: values read in both byte orders from known
// bytes, little-endian writes that read back, and the exact-read and seek
// helpers on a short file.
#include "core/byte_order.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace byteorder;

namespace {

TEST(ByteOrder, ReadsBothOrdersFromKnownBytes)
{
    const uint8_t b[4] = {0x12, 0x34, 0xA6, 0xF0};
    EXPECT_EQ(GetU16LE(b), 0x3412u);
    EXPECT_EQ(GetU16BE(b), 0x1234u);
    EXPECT_EQ(GetU16LE(b + 2), 0xF0A6u);  // high bit set: no sign extension
    EXPECT_EQ(GetU32LE(b), 0xF0A63412u);
    EXPECT_EQ(GetU32BE(b), 0x1234A6F0u);
    EXPECT_EQ(GetU16(b, false), GetU16LE(b));
    EXPECT_EQ(GetU16(b, true), GetU16BE(b));
    EXPECT_EQ(GetU32(b, false), GetU32LE(b));
    EXPECT_EQ(GetU32(b, true), GetU32BE(b));
}

TEST(ByteOrder, LittleEndianWritesPutTheLowByteFirst)
{
    uint8_t b[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    PutU32LE(b + 1, 0x89ABCDEFu);
    EXPECT_EQ(b[0], 0xEE);
    EXPECT_EQ(b[1], 0xEF);
    EXPECT_EQ(b[2], 0xCD);
    EXPECT_EQ(b[3], 0xAB);
    EXPECT_EQ(b[4], 0x89);
    EXPECT_EQ(b[5], 0xEE);
    PutU16LE(b, 0xFF01);
    EXPECT_EQ(b[0], 0x01);
    EXPECT_EQ(b[1], 0xFF);
    for (uint32_t v : {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        PutU32LE(b, v);
        EXPECT_EQ(GetU32LE(b), v);
    }
}

TEST(ByteOrder, ExactReadsAndSeeks)
{
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    const uint8_t bytes[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(std::fwrite(bytes, 1, 5, file), 5u);
    uint8_t out[8] = {};
    ASSERT_TRUE(SeekTo(file, 1));
    EXPECT_EQ(Tell(file), 1);
    EXPECT_TRUE(ReadExact(file, out, 3));
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[2], 4);
    EXPECT_FALSE(ReadExact(file, out, 2));  // one byte left
    EXPECT_FALSE(SeekTo(file, -1));
    std::fclose(file);
}

}  // namespace
