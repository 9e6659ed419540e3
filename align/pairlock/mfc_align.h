// Multi-channel alignment of an image pair from a rough pair transform:
// estimates the overlap, picks a working resolution, builds overlap images
// (on the sphere, in the plane or in the coarse subsampled frame), runs the
// template-correlation grid fit on the edge image and then on the colour
// channels, and retries with the pan moved or another focal-length guess.
// Called by the warp library's multi-channel refiner and by the stitching core.
#pragma once

#include "core/pair_align_records.h"
#include "core/geometry_records.h"
#include "imaging/image.h"

class COverlapRR;
class COverlapSS;

// Results of every alignment operation.
constexpr int kMFCNoAlignment = 0;  // no agreeing point pairs found
constexpr int kMFCAligned = 1;      // pts[0] (image 1) and pts[1] (image 2) hold *n pairs
constexpr int kMFCNoOverlap = 2;    // overlap too small, transform unusable or overlap images not made

class CMFCAlign {
public:
    // chanMode is the channel option of the coarse path (8: the edge image).
    CMFCAlign(Image* img1, Image* img2);
    CMFCAlign(Image* img1, Image* img2, int chanMode);
    virtual ~CMFCAlign() = default;
    CMFCAlign(const CMFCAlign&) = default;
    CMFCAlign& operator=(const CMFCAlign&) = default;

    // The operations below fill pts[0] and pts[1] with new[] arrays of *n
    // points (top-left pixel coordinates of image 1 and image 2) on
    // kMFCAligned; the caller delete[]s both (FreePoints). Otherwise both are
    // null and *n is 0. mode: 0 a first attempt, 1 a retry with a moved
    // transform, -1 the coarse path. A null setting is allowed everywhere.

    // One attempt, then (when it fails and tryOtherFocal) one with the focal
    // lengths scaled so that the smaller side spans a fixed angle.
    int MainMFCAlign(PAIR_WALIGN_RR_PRMS2* prms, PAIR_ALIGN_INIT_SETTING* setting, int mode, POINT2** pts, int* n,
                     bool tryOtherFocal);
    // An attempt from a guess alone: 60 degrees across the smaller side, the
    // images overlapping by about half, image 2 lying in direction k (eighths
    // of a turn).
    int MainMFCAlign_Xp(PAIR_ALIGN_INIT_SETTING* setting, POINT2** pts, int* n, int k);
    // OneAlign, then (mode 0, horizontal tolerance of 0.101 or more) two
    // retries with the pan moved back and forth by a share of the field of
    // view.
    int OneMFCAlign(PAIR_WALIGN_RR_PRMS2* prms, PAIR_ALIGN_INIT_SETTING* setting, int mode, POINT2** pts, int* n);
    // Overlap area check, working zoom, then the sphere path (or the coarse
    // path for mode -1).
    int OneAlign(PAIR_WALIGN_RR_PRMS2* prms, PAIR_ALIGN_INIT_SETTING* setting, int mode, POINT2** pts, int* n);

    int OneLaTaNCCMap_SS(PAIR_WALIGN_RR_PRMS2* prms, PAIR_ALIGN_INIT_SETTING* setting, int mode, float zx, float zy,
                         POINT2** pts, int* n);
    int OneLaTaNCCMap_2(PAIR_WALIGN_RR_PRMS2* prms, PAIR_ALIGN_INIT_SETTING* setting, int mode, float zx, float zy,
                        POINT2** pts, int* n);
    int OneLaTaNCCMap_1(PAIR_WALIGN_RR_PRMS2* prms, int mode, int step, POINT2** pts, int* n);

    // The grid fit on one pair of overlap images with search ranges in
    // overlap pixels; chan 8 correlates the edge image, 7 the colour
    // channels. Matched points come back in the input images' pixels.
    virtual int OneLaTaNCCSearch_SS(COverlapSS* ov, int mode, int chan, int rangeX, int rangeY, POINT2** pts, int* n);
    virtual int OneLaTaNCCSearch_2(COverlapRR* ov, int mode, int chan, int rangeX, int rangeY, POINT2** pts, int* n);

    float GetOverlapArea() const { return m_overlapArea; }
    int GetChanMode() const { return m_chanMode; }

    // Search range, overlap pixels, of a retry (mode 1) on the sphere path.
    static constexpr int kRetryRange = 31;
    // Zoom of the sphere path's overlap images for an overlap of `area`
    // image-1 pixels: the working area is about 202500 pixels for a retry,
    // 90000 with the link's default setting, 122500 otherwise.
    static float WorkingZoom(int mode, const PAIR_ALIGN_INIT_SETTING* setting, float area);

    // Releases a result (either pointer may be null) and clears it.
    static void FreePoints(POINT2** pts);
    // pi/4 <= |a| <= 3 pi/4: the image lies on its side across the pair.
    static bool IsSideways(float angle);

protected:
    // The area, in image-1 pixels, that the two images share under prms.
    virtual float CalcOverlapArea(PAIR_WALIGN_RR_PRMS2* prms);
    // Correlation grid and peak fit on overlap images, over image 2's
    // outline cut to image 1's part (box); setRange hands the ranges to the
    // template selector.
    virtual int RunGridFit(Image* o1, Image* o2, gpc_polygon* polygon, REGION* box, int mode, int chan, bool setRange,
                   int rangeX, int rangeY, POINT2** pts, int* n);

private:
    // The two searches above, which differ only in the kind of overlap
    // (COverlapSS or COverlapRR).
    template <class Overlap>
    int OneLaTaNCCSearch(Overlap* ov, int mode, int chan, int rangeX, int rangeY, POINT2** pts, int* n);
    bool UsableInputs(const PAIR_WALIGN_RR_PRMS2* prms, const char* method) const;
    void ShowMarkerPairs(POINT2** pts, int n);

    float m_overlapArea = 0.0f;
    Image* m_img1 = nullptr;  // not owned
    Image* m_img2 = nullptr;
    int m_chanMode = 8;
};
