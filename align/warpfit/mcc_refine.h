// Correlation refinement of a roughly aligned pair: both images are rendered
// into overlays on the sphere, the overlap is cut into a grid of small
// templates, each template's best multi-channel NCC shift in the other
// overlay is found, sharp and strong peaks become matched points in the two
// images, and CWAlign fits the earlier-form parameters to them. Called by
// the stitching core.
#pragma once

#include "core/pair_align_records.h"
#include "align/warpfit/mcc_ncc.h"
#include "core/geometry_records.h"

#include <vector>

struct OverlayGrid;

class Image;

// One template that passed the coverage test (9 floats; the last seven in
// the order of ONE_CC_PEAK).
struct MCC_PEAK {
    float centreX;  // template centre in overlay 1
    float centreY;
    float shiftX;   // sub-pixel shift of the peak from the window centre
    float shiftY;
    float value;    // peak NCC
    float width1X;  // run of the peak at the first level, along x and y
    float width1Y;
    float width2X;  // at the second level
    float width2Y;
};
static_assert(sizeof(MCC_PEAK) == 36);

class CMCCRefine {
public:
    // Raises both images' reference counts; the destructor lowers them.
    CMCCRefine(Image* img1, Image* img2);
    ~CMCCRefine();
    CMCCRefine(const CMCCRefine&) = delete;
    CMCCRefine& operator=(const CMCCRefine&) = delete;

    // Refines *prms (earlier form, word 8 set). Returns the number of
    // templates that passed the coverage test with *prms updated; 0 with
    // *prms unchanged when the overlays cannot be made, too few points were
    // picked for the free parameters, the fit fails or CRefineGate refuses
    // it (picked pairs that disagree with the fit, a fit further from the
    // start than the shift window reaches, too few pairs within the gate).
    // When the picking had to relax its limits, a second grid pass around
    // the fit must find nine in ten of its picks within the gate.
    int MainMCCRefine(PAIR_WALIGN_PRMS* prms);
    // Picks the sharp, strong, small-shift peaks; relaxes the limits once
    // (for the object's life) when fewer than a third, or fewer than 8, pass.
    int PickPeakPts();
    // Maps the picked points from overlay positions (on the map grids g1,
    // g2) into each image (pixels from its centre); pairs that do not map are
    // dropped.
    int PeakPtsSR(TRANSFORM_RS* t1, TRANSFORM_RS* t2, const OverlayGrid& g1, const OverlayGrid& g2);

    // The grid pass on two overlays, overlay 2 lying at `offset` in overlay
    // 1's pixels. Returns the number of templates that passed the coverage
    // test; their peaks (those with a positive correlation) are kept.
    int MakePeakGrid(Image* overlay1, Image* overlay2, int offsetX, int offsetY);
    // Replaces the peaks, as the grid pass would leave them.
    void SetPeaks(const MCC_PEAK* peaks, int n, int offsetX, int offsetY);

    int GetNumPeaks() const { return static_cast<int>(m_peaks.size()); }
    const MCC_PEAK* GetPeaks() const { return m_peaks.data(); }
    int GetPickedCount() const { return static_cast<int>(m_points[0].size()); }
    const POINT2* GetPickedPoints(int image) const { return m_points[image & 1].data(); }
    float GetWidthLimit() const { return m_widthLimit; }
    float GetPeakLimit() const { return m_peakLimit; }
    float GetShiftLimit() const { return m_shiftLimit; }
    // The correlation kernel (the fastest one by default); tests pin it.
    void SetKernel(warpfit::NccKernel kernel) { m_kernel = kernel; }

private:
    // A grid pass around `fitted` on overlays made from it: true when its
    // picks agree with the fit (CRefineGate).
    bool ConfirmFit(const PAIR_WALIGN_PRMS& fitted) const;
    int TemplateCoverage(const Image* ov1, const Image* ov2, int x0, int y0) const;
    bool StudyWindow(const std::vector<double>& map, const std::vector<unsigned char>& valid, MCC_PEAK& peak) const;
    void ShowWindow(const Image* ov1, const Image* ov2, int x0, int y0, const MCC_PEAK& peak,
                    const std::vector<double>& map, const std::vector<unsigned char>& valid);
    void ReleaseOverlays();

    Image* m_overlay[2] = {nullptr, nullptr};
    int m_offsetX = 0, m_offsetY = 0;
    std::vector<MCC_PEAK> m_peaks;  // the grid pass's records in grid order
    int m_templateWidth = 31, m_templateHeight = 31;
    int m_searchX = 8, m_searchY = 8;
    int m_stepX = 20, m_stepY = 20;
    unsigned m_level1 = 93, m_level2 = 85;
    int m_dispCol = 0, m_dispRow = 0;
    Image* m_img[2] = {nullptr, nullptr};
    int m_overlayParam = 1200;
    std::vector<POINT2> m_points[2];
    float m_widthLimit = 5.0f;
    float m_peakLimit = 0.8f;
    float m_shiftLimit = 5.0f;
    bool m_relaxed = false;
    warpfit::NccKernel m_kernel = warpfit::BestNccKernel();
};
