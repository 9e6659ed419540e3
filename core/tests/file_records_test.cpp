// The panorama descriptor's byte layout: the 22-byte form written and read
// back, the 14-byte form read with sign extension, and what is no descriptor.
#include "core/file_records.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(WMapRecord, LongFormRoundTripsLittleEndian)
{
    WMapRecord r;
    r.equatorWidth = 0x01020304;
    r.column = -2;
    r.row = 300;
    r.mapType = 5;
    r.fullCircle = 1;
    unsigned char bytes[22];
    r.Write(bytes);
    const unsigned char expected[22] = {'k', 'q', 'v', 'z', 4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF, 0x2C, 1, 0, 0,
                                        5,   0,   0,   0,   1, 0};
    EXPECT_EQ(0, std::memcmp(bytes, expected, 22));
    WMapRecord back;
    ASSERT_TRUE(WMapRecord::Parse(bytes, 22, &back));
    EXPECT_EQ(back.equatorWidth, r.equatorWidth);
    EXPECT_EQ(back.column, -2);
    EXPECT_EQ(back.row, 300);
    EXPECT_EQ(back.mapType, 5);
}

TEST(WMapRecord, ShortFormIsSignExtended)
{
    const unsigned char bytes[14] = {'k', 'q', 'v', 'z', 0x00, 0x20, 0xFF, 0xFF, 0x10, 0x00, 0x02, 0x00, 9, 9};
    WMapRecord r;
    ASSERT_TRUE(WMapRecord::Parse(bytes, 14, &r));
    EXPECT_EQ(r.equatorWidth, 8192);
    EXPECT_EQ(r.column, -1);
    EXPECT_EQ(r.row, 16);
    EXPECT_EQ(r.mapType, 2);
}

TEST(WMapRecord, OnlyExactLengthsWithTheMagicAreDescriptors)
{
    std::vector<unsigned char> bytes(30, 0);
    std::memcpy(bytes.data(), "kqvz", 4);
    for (int length : {0, 4, 13, 15, 21, 23, 24}) EXPECT_FALSE(WMapRecord::Parse(bytes.data(), length, nullptr));
    EXPECT_TRUE(WMapRecord::Parse(bytes.data(), 14, nullptr));
    EXPECT_TRUE(WMapRecord::Parse(bytes.data(), 22, nullptr));
    EXPECT_FALSE(WMapRecord::Parse(nullptr, 22, nullptr));
    bytes[0] = 'K';
    EXPECT_FALSE(WMapRecord::Parse(bytes.data(), 22, nullptr));

    std::memcpy(bytes.data(), "mjr6", 4);
    EXPECT_TRUE(WMapRecord::IsSecondKind(bytes.data(), 22));
    EXPECT_FALSE(WMapRecord::IsSecondKind(bytes.data(), 14));
    EXPECT_FALSE(WMapRecord::Parse(bytes.data(), 22, nullptr));
}

}  // namespace
