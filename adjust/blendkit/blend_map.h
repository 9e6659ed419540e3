// Blend map of one side of a seam: the weight falls linearly across a band
// of the blend width centred on the division line, and the intensity
// difference measured along the line is applied in proportion. The line, its
// samples and every point are in the first image's centred frame; the second
// side's points come in its own centred frame and are carried across first.
#pragma once

#include "adjust/blendkit/blend_records.h"
#include "adjust/blendkit/div_line_map.h"
#include "platform/mapproj/blend_map_interfaces.h"
#include "platform/utilkit/interp_1d.h"

#include <vector>

class CBlendMap : public IBlendMap {
public:
    // The first image's side.
    CBlendMap(CBlendPolygons* firstSide, TRANSFORM_RS* tA, TRANSFORM_RS* tB);
    // The second image's side: firstSide holds the line data, secondSide the
    // pair parameters (first -> second).
    CBlendMap(CBlendPolygons* firstSide, CBlendPolygons* secondSide, TRANSFORM_RS* tA, TRANSFORM_RS* tB);
    CBlendMap(const CBlendMap&) = default;
    CBlendMap& operator=(const CBlendMap&) = default;

    int GetPtV_MarginRegion(POINT2& pt, POINT2* shift, int* out, float* weight) override;
    int GetPtV_MarginRegion(POINT2& pt, float* weight) override;
    int GetMarginRegionKind() override { return 0; }
    void GetSpan_MarginRegion(const POINT2& start, int n, int* out, float* weights) override;

    void Prepare_A(CDivLineData* data);
    void Prepare_B(CDivLineData* data);
    // sign +1 for the first side, -1 for the second.
    void InitInterp1D_VLine(CDivLineData* data, float sign);
    // diff[c] = corrected second colour - corrected first colour under the
    // intensity mode (0 plain, 1 gain and offset, 2 table).
    void GlobalMapOnePtIntenDiff(const float* p, const float* q, float* diff) const;

    int GetIntenMode() const { return m_intenMode; }
    bool HasLineData() const { return m_hasLineData; }
    float GetBlendWidth() const { return m_blendWidth; }

private:
    void InitCommon();
    // Fraction of the difference applied at a point of the first image's frame.
    float CorrectionShare(const POINT2& p1, float* along) const;

    CDivLineMap m_line;
    CInterp1D m_halfDx, m_halfDy, m_diff[3];
    TRANSFORM_RS* m_tA = nullptr;
    TRANSFORM_RS* m_tB = nullptr;
    int m_side = 1;
    PAIR_WALIGN_RR_PRMS2 m_invPrms{};
    float m_invM[9]{};
    bool m_invValid = false;
    int m_intenMode = 0;
    bool m_hasLineData = false;
    float m_blendWidth = 20.0f;
    // Float copies of the difference nodes for the span form: position of
    // the first node, nodes per pixel along the line, node values per channel.
    float m_nodeX0 = 0.0f;
    float m_nodeRate = 0.0f;
    std::vector<float> m_spanNodes[3];
    // Node k at 8 k: its three values, a pad, the three steps to node k + 1.
    std::vector<float> m_spanTable;
};
