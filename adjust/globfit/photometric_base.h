// What the three photometric adjustments (GlobalGamma, GlobalIntensity,
// GlobalBlend) share: the merged frames of the group and their intensity
// pairs, dense normal equations over per-frame parameters whose last frame
// is tied to minus the sum of the others, the conjugate-gradient solve, and
// the sample lookup through a frame's colour tables.
#pragma once

#include <functional>
#include <vector>

class ImageFrame;
class ImageGroup;
struct TRANSFORM_RS;

class PhotometricBase {
public:
    // Collects the merged frames (ordered by thumbnail place) and their
    // intensity pairs. False when the group is null, has no frame or no
    // merged pair, or when blendPairs is set and the stitching core's
    // PairBlend fails on a merged pair (the first failure ends the set-up).
    bool Init(ImageGroup* group, bool blendPairs);
    // The merged frames' group indices and their count.
    const int* GetImgList(int& n) const;

protected:
    PhotometricBase() = default;
    ~PhotometricBase() = default;
    PhotometricBase(const PhotometricBase&) = default;
    PhotometricBase& operator=(const PhotometricBase&) = default;

    // The intensity pairs of two merged frames k < l of the list: entries of
    // six floats, k's three channel values, then l's.
    struct PairSamples {
        int k = 0;
        int l = 0;
        std::vector<float> entries;
        int count = 0;
    };

    ImageFrame* Frame(int k) const;
    int Frames() const { return static_cast<int>(m_list.size()); }
    int Last() const { return Frames() - 1; }

    // Normal equations over the free parameters: `perFrame` values for each
    // of frames 0..n-2 (frame-major). The last frame's parameters are minus
    // the sum of the others', and its derivatives are folded in that way.
    void ResetSystem(int perFrame);
    // One residual e with its derivatives by frame i's own parameters (di)
    // and by frame j's own parameters (dj).
    void AddResidual(int i, const float* di, int j, const float* dj, float e);
    // Spreads the last frame's sums and completes the symmetric matrix.
    void FinishSystem();
    int SystemSize() const { return m_size; }

    // Conjugate gradients on A x = b from x = 0 (x in m_step); returns the
    // iterations run.
    int CG(float tolerance);
    void ComputeAx(const float* x, float* y) const;

    // The damped descent of GlobalGamma and GlobalIntensity: up to 51 steps,
    // each the CG solution of the normal equations that `computeA` builds
    // (it returns the error), halved up to 21 times until the error falls.
    // `save` and `restore` keep the parameters across a rejected trial and
    // `apply` moves them by a step (it may scale the step in place). Ends
    // when no step lowers the error, or once a step gains less than
    // `tolerance` after five accepted ones.
    void Descend(float tolerance, const std::function<float()>& computeA,
                 const std::function<void(std::vector<float>& step)>& apply, const std::function<void()>& save,
                 const std::function<void()>& restore);

    // A record channel's sample through the frame's manual colour table:
    // record channels 0, 1, 2 are blue, green and red (the images' sample
    // order), read through the tables of colour-control channels 2, 1, 0.
    static int LookupIndex(float value);
    static const unsigned char* ChannelTable(ImageFrame* frame, int recordChannel);
    // The colour control's mapped value of k for a record channel.
    static float MapValue(ImageFrame* frame, int k, int recordChannel);
    static TRANSFORM_RS* Record(ImageFrame* frame);
    static unsigned char* RecordTable(ImageFrame* frame);
    static int RoundByte(float value);

    ImageGroup* m_group = nullptr;
    std::vector<int> m_list;
    int m_nPairs = 0;
    std::vector<PairSamples> m_samples;

    int m_perFrame = 1;
    int m_size = 0;
    std::vector<float> m_A;  // m_size x m_size, rows first
    std::vector<float> m_b;
    std::vector<float> m_step;  // CG solution
    std::vector<float> m_r, m_p, m_q;
    // Last-frame sums: u u^T, per free frame the d u^T blocks, and u e.
    std::vector<float> m_lastLast;
    std::vector<float> m_lastCross;
    std::vector<float> m_lastB;
};
