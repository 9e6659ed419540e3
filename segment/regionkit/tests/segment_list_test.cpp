// The block list and its iterator: cells across a block boundary, the
// serialised form, bounds, and block counts past the old 16-bit limit.
#include "segment/regionkit/segment_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

struct Cell {
    int32_t index;
    char text[8];
};

TEST(SegmentList, ThirtyThreeCellsCrossIntoASecondBlock)
{
    SegmentList list(32, sizeof(Cell));
    std::vector<char*> cells;
    for (int i = 0; i < 33; ++i) {
        Cell c{i, "cell"};
        c.text[5] = static_cast<char>('a' + i % 26);
        cells.push_back(list.Append(reinterpret_cast<const char*>(&c)));
    }
    EXPECT_EQ(list.GetLength(), 33);
    EXPECT_EQ(list.GetNumBlocks(), 2);
    // Cells never move: the addresses handed out stay those of GetData.
    for (int i = 0; i < 200; ++i) list.Append();
    for (int i = 0; i < 33; ++i) EXPECT_EQ(list.GetData(i), cells[i]);
    EXPECT_EQ(list.GetData(-1), nullptr);
    EXPECT_EQ(list.GetData(233), nullptr);
    ASSERT_NE(list.GetData(232), nullptr);
    // Appended without a source: zeroed.
    const std::vector<char> zero(sizeof(Cell), 0);
    EXPECT_EQ(std::memcmp(list.GetData(232), zero.data(), sizeof(Cell)), 0);
}

TEST(SegmentList, SerializeThenRestoreGivesBackEveryCell)
{
    SegmentList list(32, sizeof(Cell));
    for (int i = 0; i < 33; ++i) {
        Cell c{1000 + i, "x"};
        list.Append(reinterpret_cast<const char*>(&c));
    }
    std::unique_ptr<char[]> saved(list.Serialize());
    // No header: the cells back to back in index order.
    for (int i = 0; i < 33; ++i) {
        Cell c;
        std::memcpy(&c, saved.get() + i * sizeof(Cell), sizeof c);
        EXPECT_EQ(c.index, 1000 + i);
    }
    for (int i = 0; i < 33; ++i) reinterpret_cast<Cell*>(list.GetData(i))->index = -i;
    list.Restore(saved.get());
    for (int i = 0; i < 33; ++i) EXPECT_EQ(reinterpret_cast<Cell*>(list.GetData(i))->index, 1000 + i);
    list.Restore(nullptr);  // nothing, no crash
    EXPECT_EQ(reinterpret_cast<Cell*>(list.GetData(32))->index, 1032);
}

TEST(SegmentList, IteratorWalksAcrossTheBlockBoundary)
{
    SegmentList list(32, sizeof(Cell));
    for (int i = 0; i < 33; ++i) {
        Cell c{i, ""};
        list.Append(reinterpret_cast<const char*>(&c));
    }
    SegmentList::iterator it(&list);
    int n = 0;
    for (char* cell = *it; cell; ++it, cell = *it) {
        EXPECT_EQ(it.GetCurrent(), n);
        EXPECT_EQ(cell, list.GetData(n));
        EXPECT_EQ(reinterpret_cast<Cell*>(cell)->index, n);
        ++n;
    }
    EXPECT_EQ(n, 33);
    EXPECT_EQ(*it, nullptr);
    EXPECT_FALSE(++it);
    it.Rewind();
    EXPECT_EQ(*it, list.GetData(0));

    SegmentList empty(32, sizeof(Cell));
    SegmentList::iterator none(&empty);
    EXPECT_EQ(*none, nullptr);
    EXPECT_FALSE(++none);
}

TEST(SegmentList, MoreThan32767BlocksStayAddressable)
{
    SegmentList list(1, 4);
    const int n = 40000;
    for (int i = 0; i < n; ++i) std::memcpy(list.Append(), &i, 4);
    EXPECT_EQ(list.GetNumBlocks(), n);
    for (int i : {0, 32767, 32768, n - 1}) {
        int v = -1;
        std::memcpy(&v, list.GetData(i), 4);
        EXPECT_EQ(v, i);
    }
    SegmentList::iterator it(&list);
    int count = 0;
    while (*it) {
        ++count;
        ++it;
    }
    EXPECT_EQ(count, n);
}

}  // namespace
