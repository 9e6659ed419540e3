// Region tree of a segmented image: a stack of levels, level 0 the finest,
// each with its regions, the border segments between them and the junctions
// where borders meet. A coarser region is the union of its sons; a coarser
// border a chain of sons. ConstructTree builds it through the segmenter
// Segkit; contour matching (Edgematch) walks it with the iterators.
//
// Geometry: pixel (x, y) has the index y W + x; borders run on the lattice
// of pixel corners, (W + 1) x (H + 1) points, corner (x, y) being the
// top-left corner of pixel (x, y) with the index y (W + 1) + x.
#pragma once

#include "imaging/image.h"
#include "segment/regionkit/border_segment.h"
#include "segment/regionkit/junction.h"
#include "segment/regionkit/region.h"
#include "segment/regionkit/segment_list.h"

#include <cstdint>
#include <memory>
#include <vector>

struct SegRecord;

class CRegTree {
public:
    // One level: its regions, and its borders and junctions in block lists
    // (32 cells a block) whose cells are the records themselves.
    struct Level {
        Level() = default;
        ~Level();  // ends the border records that live in the list's cells
        Level(const Level&) = delete;
        Level& operator=(const Level&) = delete;

        BorderSegment* Border(int i) const;
        Junction* JunctionAt(int i) const;
        // A new zeroed record at the end of its list.
        BorderSegment* AppendBorder();
        Junction* AppendJunction();

        int32_t numRegions = 0;
        std::unique_ptr<CRegion[]> regions;
        std::unique_ptr<SegmentList> borders;
        std::unique_ptr<SegmentList> junctions;
    };

    // Keeps a reference to `image` (32-bit float samples, 1 or 3 channels).
    explicit CRegTree(Image* image);
    ~CRegTree();
    CRegTree(const CRegTree&) = delete;
    CRegTree& operator=(const CRegTree&) = delete;

    // Segments the image into numLevels levels: finestRegions regions on
    // level 0 down to coarsestRegions on the last, evenly spaced between.
    // The first argument has no effect. False (with an ERROR line, and no
    // levels) for an image that is not 1- or 3-channel float, an empty
    // image, numLevels below 1, or a second call.
    bool ConstructTree(int, int finestRegions, int coarsestRegions, int numLevels);

    // The region of `level` that holds pixel y W + x; null (with an ERROR
    // line) for a pixel or level out of range or a tree not built.
    CRegion* GetRegion(int pixel, int level) const;
    void GetDimension(int& w, int& h) const;
    // The level record; null (with an ERROR line) out of range.
    Level* GetLevel(int level) const;
    int GetNumLevels() const { return m_numLevels; }
    Image* GetImage() const { return m_pImage.get(); }

    // Puts the k = percent x regions / 100 largest regions of the level
    // first, largest first (k bubble passes; equal areas keep their order),
    // and rewrites every link into the level so the tree stays whole.
    // Returns k (0 and no change out of range).
    int SortRegion(int level, int percent);

    // Paints level `level` as its region means (8-bit or float image of the
    // tree's size); its borders in their margin contrast; the borders of the
    // region at (x, y); its junctions as plus signs.
    void DrawLevelImg(Image* out, int level) const;
    void DrawBorder(Image* out, int level) const;
    bool DrawBorder(Image* out, int level, int x, int y) const;
    void DrawJunction(Image* out, int level) const;

    // Level clamped into 0 .. levels - 1; a tree without levels iterates nothing.
    int ClampLevel(int level) const;

    class RegIterator {
    public:
        RegIterator(CRegTree* tree, int level);
        void Rewind() { m_index = 0; }
        CRegion* operator*() const { return m_index < m_count ? &m_regions[m_index] : nullptr; }
        bool operator++() { return ++m_index < m_count; }

    private:
        CRegion* m_regions = nullptr;
        int m_count = 0;
        int m_index = 0;
    };

    class BorderIterator : public SegmentList::iterator {
    public:
        BorderIterator(CRegTree* tree, int level);
        BorderSegment* operator*() const;
    };

    class JunctionIterator : public SegmentList::iterator {
    public:
        JunctionIterator(CRegTree* tree, int level);
        Junction* operator*() const;
    };

    std::unique_ptr<Level[]> m_pLevels;
    std::unique_ptr<int32_t[]> m_pPixelRegion;  // per pixel: its level-0 region index
    std::unique_ptr<int32_t[]> m_pPixelStore;   // the pixel lists of all level-0 regions
    RefPtr<Image> m_pImage;
    int32_t m_numLevels = 0;
    std::unique_ptr<SegRecord> m_pSeg;

private:
    // Building steps (reg_tree_build.cpp).
    bool PrepareSegmenter();
    void MergeDownTo(int target);
    void BuildFinestLevel();
    void MakeFinestRegions(std::vector<int32_t>& rootOf);
    void TraceFinestBorders();
    void BuildCoarserLevel(int k, int finestRegions, int coarsestRegions);
    void Reset();
    // Pointers into level `level` after its records moved by `newIndex`.
    void RelinkLevel(int level, CRegion* oldBase, const std::vector<int>& newIndex);

    int m_width = 0;
    int m_height = 0;
    bool m_built = false;
};
