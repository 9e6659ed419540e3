// Block list of fixed-size cells that never move once appended, so pointers
// to them stay valid while the list lives. The region tree keeps a level's
// border segments and junctions in two of them; contour matching walks them
// with the iterator.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class SegmentList {
public:
    // Cells of `cellSize` bytes, `blockCells` to a block (both at least 1).
    SegmentList(short blockCells, int cellSize);
    ~SegmentList() = default;
    SegmentList(const SegmentList&) = delete;
    SegmentList& operator=(const SegmentList&) = delete;

    // A zeroed cell at the end; the second form copies m_cellSize bytes of
    // src into it. Throws std::bad_alloc (after an ERROR line) when a block
    // cannot be had or the index would pass INT32_MAX.
    char* Append();
    char* Append(const char* src);

    // Cell i, or null when i is outside 0 .. length - 1.
    char* GetData(int i) const;
    int GetLength() const { return m_length; }
    uint32_t GetCellSize() const { return m_cellSize; }
    int GetNumBlocks() const { return m_numBlocks; }

    // All cells back to back in index order, no header: a new buffer of
    // length x cellSize bytes that the caller frees with delete[].
    char* Serialize() const;
    // Copies the cells back from such a buffer (same length); nothing for null.
    void Restore(const char* src);

    // Walks the cells in index order across block boundaries. operator* is
    // the current cell, null past the last (at once on an empty list).
    class iterator {
    public:
        explicit iterator(SegmentList* list);
        void Rewind();
        char* operator*() const { return m_cell; }
        // Moves to the next cell; false when there is none.
        bool operator++();
        int GetCurrent() const { return m_current; }

    protected:
        iterator() = default;  // unbound until Init
        void Init(SegmentList* list);

    private:
        int m_current = 0;
        int m_length = 0;      // the list's length when the walk started
        int m_block = 0;
        int m_inBlock = 0;
        SegmentList* m_list = nullptr;
        char* m_cell = nullptr;
    };

protected:
    char* AddEmptyCell();

private:
    int32_t m_length = 0;
    int32_t m_numBlocks = 0;   // 32-bit: a big level needs more than 32,767 blocks
    int16_t m_blockCells = 1;
    uint32_t m_cellSize = 1;
    std::vector<std::unique_ptr<char[]>> m_ppBlocks;
};
