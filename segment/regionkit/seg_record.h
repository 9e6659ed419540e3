// The working record a region tree shares with the segmenter Segkit: the
// image planes, the scaling of samples onto 0..255, the grid dimensions, the
// SEG_INIT record and the node array, with the cost and merge callbacks and
// the tree's own readers of a node (area, means).
#pragma once

#include "platform/segkit/segkit.h"

#include <cstdint>

// Node layouts, one per pixel in raster order. Weight is 1 / area, values
// the region's mean samples on the 0..255 scale.
struct SegNode1 {
    float weight;
    float value;
};
struct SegNode3 {
    float weight;
    float value[3];
};
static_assert(sizeof(SegNode1) == 8 && sizeof(SegNode3) == 16);

struct SegRecord {
    SegRecord() = default;
    ~SegRecord();  // hands Segkit's state back and frees the nodes
    SegRecord(const SegRecord&) = delete;
    SegRecord& operator=(const SegRecord&) = delete;

    float* planes[3] = {nullptr, nullptr, nullptr};  // 3-channel images
    float* plane = nullptr;                          // 1-channel images
    int32_t height = 0;
    int32_t width = 0;
    int32_t channels = 0;
    float gain = 0.0f;      // 255 / (max - min); 0 for a flat image
    float offset = 0.0f;    // min
    SEG_DIM dims[2] = {};   // rows, then columns; spacing 1
    SEG_INIT init;
    void* nodes = nullptr;  // SegNode1 or SegNode3 array, made on first use

    // The tree's readers of a node, chosen by the channel count.
    int (*area)(const SegRecord* rec, int node) = nullptr;
    void (*means)(const SegRecord* rec, int node, float* m0, float* m1, float* m2) = nullptr;
};

// Segkit's callbacks: the increase of the squared error that a merge causes
// (sum over the channels of (v_a - v_b)² / (w_a + w_b)), and the merge into
// node a (weight w_a w_b / (w_a + w_b), area-weighted mean values).
float SegCost1(SEG_INIT* rec, int a, int b);
void SegMerge1(SEG_INIT* rec, int a, int b);
float SegCost3(SEG_INIT* rec, int a, int b);
void SegMerge3(SEG_INIT* rec, int a, int b);

// trunc(1 / weight + 0.5), and the node's value(s).
int SegArea1(const SegRecord* rec, int node);
int SegArea3(const SegRecord* rec, int node);
void SegMeans1(const SegRecord* rec, int node, float* m0, float* m1, float* m2);
void SegMeans3(const SegRecord* rec, int node, float* m0, float* m1, float* m2);
