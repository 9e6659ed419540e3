// Global least-squares alignment of the frames of a project: refines every
// listed frame's orientation and, as the settings word asks, the focal
// lengths, the optical centres and one shared radial distortion polynomial so
// that all marker pairs of all merged frame pairs agree at once
// (Levenberg-Marquardt over the normal equations with its own dense LU).
// The stitching manager runs it after every stitched pair.
#pragma once

#include "adjust/globfit/frame_pairs.h"
#include "projectgraph/curvekit/point2m.h"

#include <vector>

class ImageFrame;
class ImageGroup;

class GlobalAlign {
public:
    // settings: the bits of globfit_settings.h. The float is accepted for the
    // caller's sake and not used.
    GlobalAlign(int settings, float unused);
    ~GlobalAlign();
    // Copies are deep (every array is a vector).
    GlobalAlign(const GlobalAlign&) = default;
    GlobalAlign& operator=(const GlobalAlign&) = default;

    // Takes effect at the next Init.
    void setSettings(int settings) { m_settings = settings; }
    // Range the focal lengths are clamped to (10 and 10000 pixels by default).
    void SetMinMaxFocusLength(float minimum, float maximum);

    // Binds the group and the frame list (entry k is frame k of the solve;
    // frame 0 is the reference whose orientation never moves; the list stays
    // the caller's) and reads the start values from the frames. `extra` is
    // kept and not read. False, with nothing to solve, when the group is
    // null, the list is null with a positive count, the count is negative or
    // an entry names no frame of the group.
    bool Init(ImageGroup* group, int* list, int count, int extra);
    void SetImageList(int* list, int count, int extra);

    // Solves. Returns the error sum E (sum over all marker pairs of the
    // squared residual length, pixels squared) and writes the results into
    // the frames' placements; or -E when the fitted distortion fails the
    // sanity check, and then no frame is changed. Every marker pair's
    // residual length (pixels) is written into the error2 field of both
    // markers, for the fit the result describes.
    float DoAlignment(float tolerance);

    // The inverse distortion record in the order e3, e2, e1, e0 (true), or
    // 0, 0, 0, 1 (false) when no distortion coefficient was estimated. wbar
    // always gets the mean reference length of the normalised focal mode (0
    // in the other modes).
    bool GetDistortion(float& e3, float& e2, float& e1, float& e0, float& wbar);

    // Sum over the merged pairs of the list of the smaller marker count.
    int CountNmbMarkers();
    void CalcAllMarkerErr() {}

protected:
    // One merged pair of the list with its two marker arrays (the shorter
    // count is used): frame i's markers `a` match frame j's markers `b`.
    using MarkerPair = globfit::MarkerPair;

    // A parameter point of the solve: rotation vectors and matrices of all
    // frames, focal lengths and centres of all frames (scaled units in the
    // normalised mode), the forward distortion record.
    struct State {
        std::vector<float> rv;      // 3N
        std::vector<float> rm;      // 9N
        std::vector<float> dm;      // 9N
        std::vector<float> focal;   // N
        std::vector<float> centre;  // 2N
        float dist[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    };

    // A marker about its frame's optical centre (scaled units): its radius in
    // reference radii, the correction D(r), the corrected point (x D, y D)
    // and that point's 2 x 2 derivative by (x, y), rows first.
    struct CorrectedPoint {
        float x, y;
        float r;
        float d;
        float u, v;
        float jac[4];
        bool hasRadius;
    };

    // One derivative of a marker pair's residual: parameter index and the
    // derivatives of its two components.
    struct Derivative {
        int index;
        float dx;
        float dy;
    };
    static constexpr int kMaxDerivatives = 16;

    // Start values and layout.
    int GetNumbParameters();
    void InitRotationVectors();
    void InitFocusLength();
    float CheckFocusLength(float focal) const;
    void InitOpticalCenter();
    void InitDistortion();
    void InitRDMatrix();
    float GetWidthCenter(int frame);
    ImageFrame* Frame(int k) const;

    // Rotations: v is axis times angle (radians) in the camera frame (x
    // right, y down, z along the view); R maps a camera ray to the world.
    void ComputeRDMatrix(State& state, int first, int count) const;
    static void RVectorToRMatrix(const float* v, float* r);
    static void ComputeDerivativeMatrix(const float* v, float* d);

    // Residuals and normal equations.
    void CollectPairs();
    int FocalIndex(int k) const;
    int CentreIndex(int k) const;
    float ComputeE(const State& state, const MarkerPair& pair, int m, float e[2], Derivative* h, int* nh) const;
    // Adds a derivative to the list, summing into the entry of the same
    // parameter (a shared focal length or centre is met through both frames).
    static void AddTo(Derivative* h, int& n, int index, float dx, float dy);
    static CorrectedPoint Correct(float px, float py, float scale, const float* centre, float rho, const float* dist);
    int ComputeH(const State& state, const MarkerPair& pair, const CorrectedPoint& ci, const CorrectedPoint& cj,
                 const float* q, const float* y, float qz, Derivative* h) const;
    double ComputeErr(const State& state, bool writeResiduals) const;
    double ComputeCoef();
    void MakeSymmetric();
    bool ComputeDR(float* step);
    void MakeTrial(const float* step, State& trial) const;
    void AcceptTrial(State& trial);

    // Results.
    void ComputeInverse();
    bool SanityCheckGAlign() const;
    void UpdateAlignParam();

    // 3-vector and 3 x 3 kernels (row-major matrices).
    static float A_dot_B(const float* a, const float* b);
    static void A_cross_B(const float* a, const float* b, float* out);
    static void R_dot_X(const float* r, const float* x, float* out);
    static void RT_dot_X(const float* r, const float* x, float* out);

    // Fields, in the order of the solver's record.
    int m_nFrames = 0;
    int m_extra = 0;
    int* m_list = nullptr;  // the caller's
    State m_state;          // rotation vectors, matrices, focal lengths, centres, forward distortion
    float m_invDist[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    int m_nRotation = 0;
    int m_nFocal = 0;
    int m_nCentre = 0;
    int m_nDistortion = 0;
    // Work block of DoAlignment: gradient/step, its saved copy, the normal
    // matrix and its saved copy, the LU scale vector and pivots.
    std::vector<float> m_vector;
    std::vector<float> m_savedVector;
    std::vector<float> m_matrix;
    std::vector<float> m_savedMatrix;
    std::vector<float> m_luScale;
    std::vector<int> m_pivot;
    ImageGroup* m_group = nullptr;
    int m_settings = 0;
    float m_wbar = 0.0f;
    bool m_normalised = false;
    float m_minFocal = 10.0f;
    float m_maxFocal = 10000.0f;
    // Per frame: marker scale s_i of the normalised mode (1 otherwise) and
    // the reference radius rho_i (half the image's shorter side, scaled).
    std::vector<float> m_scale;
    std::vector<float> m_rho;
    std::vector<MarkerPair> m_pairs;
};
