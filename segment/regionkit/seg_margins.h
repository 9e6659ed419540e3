// Segment margins: the mean colour of a band of pixels on each side of every
// border segment of a region tree, and the difference of the two means. One
// starting level is measured from the image; every coarser level is summed
// from its sons. Region trees call it as the last step of their
// construction.
#pragma once

#include "segment/regionkit/reg_tree.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

class Image;

// Margins for level c from the pixels of `image` (the tree's size, 1 to 3
// channels of 8-bit or float samples; floats are truncated), the band lying
// a .. a + b - 1 pixels off the border; then levels c + 1 .. d from the sons.
// d < 0 means the last level; c and d are kept within the tree's levels.
// Side 0 of a segment is the right-hand side of its direction (y down): its
// stored order on the finest level, from its first junction to its last on
// coarser ones. Each band pixel belongs to the segment side that reaches it
// first breadth-first (segment order, then point order, breaks ties); the
// image frame belongs to no band.
// False (with an ERROR line) for a missing or mismatched image, a tree
// without levels, or memory that runs out; the borders measured so far keep
// their records.
bool CalcAllSegMargins(Image* image, CRegTree* tree, int a, int b, int c, int d);

// The working state of one run.
class SegMarginCalc {
public:
    SegMarginCalc(Image* image, CRegTree* tree);
    SegMarginCalc(const SegMarginCalc&) = delete;
    SegMarginCalc& operator=(const SegMarginCalc&) = delete;

    // False when the image cannot be read against the tree.
    bool CheckInput() const;
    // Level c from the pixels, band a .. a + b - 1.
    void MeasureLevel(int level, int a, int b);
    // Level `level` from the records of its sons.
    void CombineLevel(int level);
    // The side map as the debug window shows it (after MeasureLevel).
    void ShowSideMap();

    // Sums and counts without limits; the records get them saturated.
    struct Wide {
        int64_t sum[2][3] = {{0, 0, 0}, {0, 0, 0}};
        int64_t count[2] = {0, 0};
    };
    // The frame of the side map: pixels that no band may claim.
    static constexpr int32_t kFrame = 100;

private:
    struct QueueEntry {
        int32_t pixel;
        int32_t dist;
    };
    void MarkSides(const BorderSegment* seg, int32_t k, bool along);
    void MarkSide(int x, int y, int32_t value);
    void Grow(int a, int b);
    int64_t SampleAt(int pixel, int channel) const;
    // The record's margins from wide sums: sums and counts saturated, the
    // differences from the exact values (both counts at least 5).
    static void Store(const Wide& w, COneSegMargins* out);
    Wide SonMargins(const BorderSegment* son) const;

    CRegTree* m_tree;
    Image* m_image;
    int m_width = 0;
    int m_height = 0;
    int m_channels = 0;
    std::vector<int32_t> m_side;      // per pixel: +k / -k sides of segment k, kFrame, 0 unclaimed
    std::vector<QueueEntry> m_queue;  // breadth-first order; read from m_read
    size_t m_read = 0;
    std::vector<BorderSegment*> m_segments;  // the measured level's segments, k - 1 indexed
    std::vector<Wide> m_levelSums;
    std::unordered_map<const BorderSegment*, Wide> m_wide;
};
