// Segkit: the outside segmenter that region trees hand their images to. It
// merges the regions of a grid of nodes two at a time, always the adjacent
// pair whose merge costs least, and answers which region a node belongs to
// and which regions touch. The caller owns the nodes and gives the cost and
// the merge rule; Segkit owns only the graph.
//
// Working: every node starts as a region of its own, adjacent to its axis
// neighbours on the grid. Each region keeps its cheapest neighbour; these
// best pairs wait in a priority queue (cost buckets over a binary heap) with
// lazy deletion: a region whose best changes queues the new one, and entries
// that no longer match surface and are dropped. A step merges the cheapest
// pair of all (exact greedy merging), re-costs the survivor's borders and
// renews the bests that change. Region membership is a union-find forest
// whose roots are the region numbers.
#pragma once

#include <cstdint>

struct SEG_INIT;

// Merge cost of the regions numbered a and b, and the merge rule that makes
// node a describe the union of a and b (b is then no longer a region number).
using SegCostFn = float (*)(SEG_INIT* rec, int a, int b);
using SegMergeFn = void (*)(SEG_INIT* rec, int a, int b);

// One grid dimension: its node count and its spacing. The spacing is carried
// for the caller; the grid is treated as isotropic.
struct SEG_DIM {
    int32_t size;
    float spacing;
};

struct SegState;

// The record the caller fills and hands to every call. Nodes are numbered in
// row-major order over the dimensions (the first dimension varies slowest).
struct SEG_INIT {
    int32_t numDims = 0;          // grid dimensions (2 for images)
    SEG_DIM* dims = nullptr;      // numDims entries, slowest first (rows, then columns)
    void* nodes = nullptr;        // the caller's node array; only the callbacks read it
    SegCostFn cost = nullptr;
    SegMergeFn merge = nullptr;
    int32_t reserved[3] = {0, 0, 0};
    int32_t numRegions = 0;       // regions now; kept up to date by seg_init and seg_step
    int32_t numNodes = 0;         // set by seg_init
    int32_t numBorders = 0;       // pairs of adjacent regions now
    SegState* state = nullptr;    // Segkit's working state, between seg_init and seg_cleanup
};

// Builds the graph: every node its own region. 0 on success; -1 (with an
// ERROR line, and the record's counts 0) for an unusable record. Frees the
// state of an earlier run on the same record.
int seg_init(SEG_INIT* rec);

// Merges the cheapest adjacent pair, calling the merge rule with the
// surviving region number first. 1 when two regions merged; 0 when no two
// regions are adjacent any more (or there is no state), so callers that loop
// on the region count always stop.
int seg_step(SEG_INIT* rec);

// The region number (a node index) that `node` belongs to now; a region
// number answers itself. -1 with an ERROR line for a node out of range.
int seg_parent(SEG_INIT* rec, int node);

// Border i (0 .. numBorders - 1) between two current regions: their numbers
// (a < b) and its length in grid edges. Borders are listed by their smaller
// region number; the list is made afresh after any merge. 1, or 0 with the
// outputs untouched when i is out of range.
int GetBorderInfo(SEG_INIT* rec, int i, int* a, int* b, int* len);

// Frees the working state; the record's counts stay as they were.
void seg_cleanup(SEG_INIT* rec);
