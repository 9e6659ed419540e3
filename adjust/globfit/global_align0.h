// Second global alignment of the frames of a project: every frame keeps a
// full rotation matrix updated by small rotations, marker rays are compared
// as unit vectors, and the block-structured normal equations are solved by
// conjugate gradients with step halving. Same outward shape as GlobalAlign;
// exported by Globfit for outside callers.
#pragma once

#include "adjust/globfit/frame_pairs.h"
#include "projectgraph/curvekit/point2m.h"

#include <vector>

class ImageFrame;
class ImageGroup;

class GlobalAlign0 {
public:
    // settings: the bits of globfit_settings.h; value: kept, not read.
    GlobalAlign0(int settings, int value);
    ~GlobalAlign0();
    GlobalAlign0(const GlobalAlign0&) = default;
    GlobalAlign0& operator=(const GlobalAlign0&) = default;

    // Replaces the settings word and the format it implies.
    void setSettings(int settings);
    // Binds the group and list, reads every frame's rotation and focal
    // length from its image information and its centre from the frame. The
    // fourth argument is the number of linked pairs expected. False, with
    // nothing to solve, when the group is null or an entry names no frame.
    bool Init(ImageGroup* group, int* list, int count, int pairs);
    void SetImageList(int* list, int count, int pairs);
    // Solves, writes the results into the frames and returns the last
    // (pair-weighted) error sum.
    float DoAlignment(float tolerance);
    // Always false; nothing is written.
    bool GetDistortion(float& e3, float& e2, float& e1, float& e0, float& wbar);
    // Turns the marker errors (distances between unit rays) into pixels.
    void scaleMarkerErrors();
    void FreeSpace();

protected:
    // One frame: rotation (rows first; the ray (y, x, f) of a marker about
    // the centre goes to the world by it), focal length (normalised units in
    // focal mode 3), optical centre in pixels, distortion d1, d2, d3.
    struct FrameRecord {
        float rotation[9];
        float focal;
        float cx, cy;
        float d[3];
    };
    using MarkerPair = globfit::MarkerPair;
    static constexpr int kMaxBlock = 9;

    void SetFormat();
    ImageFrame* Frame(int k) const;
    void CollectPairs();
    int Size() const { return m_blockSize * m_nFrames + m_tail; }
    float* Block(int i, int j);  // null for frames without a link
    const float* Block(int i, int j) const;

    // A marker's unit ray in the world and its derivatives by the frame's
    // block parameters (3 x block, columns) and the tail (3 x tail).
    void ComputeH(int frame, const POINT2M& marker, float u[3], float* hBlock, float* hTail) const;
    float ComputeA();
    void ComputeAx(const float* x, float* y) const;
    int CG(float tolerance);
    void AdjustAlignment(const std::vector<float>& step);
    void AdjustFocusOnly(const std::vector<float>& step);
    static float GetError(const float* a, const float* b);
    static float ComputeMarkerPairDistance(const float* a, const float* b);
    void WriteResults();

    int m_nFrames = 0;
    int m_pairsReserved = 0;  // the caller's expected pair count; blocks follow the pairs found
    int* m_list = nullptr;    // the caller's
    // Normal equations: per-frame diagonal blocks, one block per linked
    // pair (the table holds block indices, -1 for none), the tail rows of
    // the shared focal length and distortion, and the right-hand side.
    std::vector<int> m_table;
    std::vector<float> m_pool;      // blocks of kMaxBlock x kMaxBlock
    std::vector<float> m_tailRows;  // tail x (block x frames)
    std::vector<float> m_tailTail;  // tail x tail
    std::vector<float> m_b;
    std::vector<float> m_solution, m_step, m_r, m_q;
    ImageGroup* m_group = nullptr;
    std::vector<FrameRecord> m_records;
    std::vector<FrameRecord> m_backup;
    int m_settings = 0;
    int m_value = 0;
    int m_format = 0;
    int m_blockSize = 3;
    bool m_sharedFocal = false;
    bool m_sharedDistortion = false;
    int m_tail = 0;
    int m_nDistortion = 0;       // coefficients applied from the tail: 1 (d2) or 3
    std::vector<float> m_scale;  // 1 / (100 reference length) per frame
    std::vector<MarkerPair> m_pairs;
};
