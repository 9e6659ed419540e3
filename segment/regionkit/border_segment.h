// A border segment of a region tree: on the finest level a chain of corner
// points between two regions (from junction to junction, from the image edge,
// or a closed loop); on coarser levels a chain of son segments one level
// below. Contour matching walks its points with the iterator; the margin
// record is filled as the tree is built (seg_margins.h).
#pragma once

#include "segment/regionkit/region_records.h"

#include <cstdint>
#include <memory>

class CRegion;
class Image;
class Junction;

class BorderSegment {
public:
    BorderSegment() = default;
    ~BorderSegment() = default;
    // Owns its point store and margin record.
    BorderSegment(const BorderSegment&) = delete;
    BorderSegment& operator=(const BorderSegment&) = delete;

    // Sets both junctions and regions; store, parent, first son and next
    // become null (m_forward and the margins stay).
    void Init(Junction* j1, Junction* j2, CRegion* r1, CRegion* r2);
    void Cleanup() { m_pStore.reset(); }

    // Replaces the store with n uninitialised points (n < 0 counts as 0).
    void PrepareStorage(int n);
    // The first point, or null without a store.
    int32_t* GetStorage() const { return m_pStore ? m_pStore.get() + 1 : nullptr; }
    int GetStorageLength() const { return m_pStore ? m_pStore[0] : 0; }
    // The store becomes a copy of the n points.
    void StorePixels(const int32_t* pts, int n);
    // The store becomes `first` from last to first, then `second` in order.
    void StorePixels(const int32_t* first, int na, const int32_t* second, int nb);

    // son in front of the son list, its parent this.
    void AddSon(BorderSegment* son);
    void GetRegions(CRegion** r1, CRegion** r2) const;
    // The junction at the other end from j; *reversed is false when j is
    // the first junction (the segment is then entered at its start).
    Junction* GetOtherJunction(Junction* j, bool* reversed) const;
    // Makes `parent` the parent of the chain of segments through this one
    // whose junctions have at most two connections (see the tree's builder).
    // Chain ends that have a junction one level up are attached to it; the
    // others come back in open1 (start) and open2 (end), else null.
    void GroupSiblines(BorderSegment* parent, Junction** open1, Junction** open2);
    // Zeroes the margin record, making it on first use.
    void InitSegMargins();

    void DrawBorder(int, int, int, int, unsigned char*) {}
    // Paints the points (through the sons when there is no store) into an
    // 8-bit image in the margin contrast min(|5 diff|, 255) per channel, or
    // 255 without margins. `stride` is the lattice row length W + 1.
    void Draw(int stride, Image* out) const;

    // The corner points of a segment through its son tree: the leaves in
    // son-list order, each leaf's points in stored order.
    class iterator {
    public:
        explicit iterator(BorderSegment* root);
        // To the first point of the first leaf that has points.
        void Rewind();
        // The current corner index; -1 when the points are exhausted.
        int operator*() const { return m_leaf ? m_leaf->GetStorage()[m_index] : -1; }
        // To the next point; false when the root's points are exhausted.
        bool operator++();
        bool IsDone() const { return m_leaf == nullptr; }

    private:
        // From `from`, down through first sons to a segment without sons.
        static BorderSegment* Descend(BorderSegment* from);
        // The first leaf with points at or after `leaf` in depth-first order.
        BorderSegment* FirstWithPoints(BorderSegment* leaf) const;
        BorderSegment* NextLeaf(BorderSegment* leaf) const;

        BorderSegment* m_root = nullptr;
        BorderSegment* m_leaf = nullptr;
        int m_index = 0;
    };

    std::unique_ptr<int32_t[]> m_pStore;    // [0] = n, then n corner indices
    CRegion* m_pRegion1 = nullptr;
    CRegion* m_pRegion2 = nullptr;
    Junction* m_pJunction1 = nullptr;       // at the first point; null on the image edge or for a loop
    Junction* m_pJunction2 = nullptr;       // at the last point
    BorderSegment* m_pParent = nullptr;
    BorderSegment* m_pSon = nullptr;
    BorderSegment* m_pNext = nullptr;       // next son of the same parent
    int32_t m_forward = 1;                  // as a son: 1 when stored in the parent's direction
    std::unique_ptr<COneSegMargins> m_pMargins;
};
