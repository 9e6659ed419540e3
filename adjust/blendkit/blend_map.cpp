#include "adjust/blendkit/blend_map.h"

#include "core/logger.h"
#include "platform/panocore/panocore_settings.h"
#include "platform/xformkit/transform_wa.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

int IntenModeOf(const TRANSFORM_RS* t)
{
    if (t == nullptr) return 0;
    if (t->colorTable != nullptr) return 2;
    return t->colorFirst[0] > 0.0f ? 1 : 0;
}

// Table lookup with the index kept inside the 256 entries; a frame without a
// table reads as the identity.
float TableValue(const TRANSFORM_RS* t, float v, int c)
{
    int i = std::isfinite(v) ? static_cast<int>(std::clamp(v, 0.0f, 255.0f)) : 0;
    if (t == nullptr || t->colorTable == nullptr) return static_cast<float>(i);
    return static_cast<float>(t->colorTable[3 * i + c]);
}

float GainOffset(const TRANSFORM_RS* t, float v, int c)
{
    if (t == nullptr) return v;
    return t->colorFirst[c] * v + t->colorSecond[c];
}

bool SampleValid(const ONE_DL_V_MAP& s)
{
    if (s.dx == -1.0f && s.dy == -1.0f) return false;
    for (int c = 0; c < 3; ++c)
        if (!(s.colorA[c] >= 0.0f) || !(s.colorB[c] >= 0.0f)) return false;
    return std::isfinite(s.dx) && std::isfinite(s.dy);
}

// Fills the nodes of invalid samples linearly from the nearest valid ones
// (the end values beyond the first and last valid sample).
void FillGaps(std::vector<float>& v, const std::vector<bool>& valid)
{
    const int n = static_cast<int>(v.size());
    int prev = -1;
    for (int i = 0; i < n; ++i) {
        if (!valid[i]) continue;
        if (prev < 0) {
            for (int k = 0; k < i; ++k) v[k] = v[i];
        } else {
            for (int k = prev + 1; k < i; ++k)
                v[k] = v[prev] + (v[i] - v[prev]) * static_cast<float>(k - prev) / static_cast<float>(i - prev);
        }
        prev = i;
    }
    if (prev >= 0)
        for (int k = prev + 1; k < n; ++k) v[k] = v[prev];
}

}  // namespace

void CBlendMap::InitCommon()
{
    const int width = GetDivLineBlendWidth();
    if (width < 1) Logger::log("ERROR CBlendMap::CBlendMap blend width %d, 1 used", 1, width);
    m_blendWidth = static_cast<float>(std::max(1, width));
}

CBlendMap::CBlendMap(CBlendPolygons* firstSide, TRANSFORM_RS* tA, TRANSFORM_RS* tB)
    : m_tA(tA), m_tB(tB), m_side(1)
{
    InitCommon();
    m_intenMode = IntenModeOf(tA);
    CDivLineData* data = firstSide != nullptr ? firstSide->lineData : nullptr;
    if (data == nullptr) return;
    if (data->samples != nullptr && data->count > 0)
        Prepare_A(data);
    else
        m_line.InitPrms(&data->start, &data->end);
}

CBlendMap::CBlendMap(CBlendPolygons* firstSide, CBlendPolygons* secondSide, TRANSFORM_RS* tA, TRANSFORM_RS* tB)
    : m_tA(tA), m_tB(tB), m_side(0)
{
    InitCommon();
    m_intenMode = IntenModeOf(tB);
    if (secondSide != nullptr) {
        CTransformWA::InvertAlignPrmsRR2(&secondSide->pairPrms, &m_invPrms);
        m_invValid = CTransformWA::PairAlignPrmsRR2toM(&m_invPrms, nullptr, nullptr, m_invM);
    }
    CDivLineData* data = firstSide != nullptr ? firstSide->lineData : nullptr;
    if (data == nullptr) return;
    if (data->samples != nullptr && data->count > 0)
        Prepare_B(data);
    else
        m_line.InitPrms(&data->start, &data->end);
}

void CBlendMap::Prepare_A(CDivLineData* data) { InitInterp1D_VLine(data, 1.0f); }

void CBlendMap::Prepare_B(CDivLineData* data) { InitInterp1D_VLine(data, -1.0f); }

void CBlendMap::InitInterp1D_VLine(CDivLineData* data, float sign)
{
    m_hasLineData = false;
    if (data == nullptr) return;
    m_line.InitPrms(&data->start, &data->end);
    const int n = data->samples != nullptr ? data->count : 0;
    if (n < 1) return;

    // Only samples with a match and both colours become nodes; the others
    // take values interpolated from their valid neighbours so that the nodes
    // stay equally spaced.
    std::vector<bool> valid(n);
    std::vector<float> vx(n, 0.0f), vy(n, 0.0f), vd[3] = {std::vector<float>(n, 0.0f), std::vector<float>(n, 0.0f),
                                                          std::vector<float>(n, 0.0f)};
    bool any = false;
    for (int i = 0; i < n; ++i) {
        const ONE_DL_V_MAP& s = data->samples[i];
        valid[i] = SampleValid(s);
        if (!valid[i]) continue;
        any = true;
        vx[i] = sign * s.dx / 2.0f;
        vy[i] = sign * s.dy / 2.0f;
        float d[3];
        GlobalMapOnePtIntenDiff(s.colorA, s.colorB, d);
        for (int c = 0; c < 3; ++c) vd[c][i] = sign * d[c];
    }
    if (!any) return;
    FillGaps(vx, valid);
    FillGaps(vy, valid);
    for (auto& v : vd) FillGaps(v, valid);

    const float x0 = data->samples[0].along;
    const float x1 = data->samples[n - 1].along;
    auto load = [&](CInterp1D& ip, const std::vector<float>& v) {
        ip.SetRange(x0, x1);
        float* nodes = ip.AllocNodes(n);
        std::copy(v.begin(), v.end(), nodes);
    };
    load(m_halfDx, vx);
    load(m_halfDy, vy);
    for (int c = 0; c < 3; ++c) load(m_diff[c], vd[c]);
    m_nodeX0 = x0;
    m_nodeRate = n >= 2 && x1 != x0 ? static_cast<float>(n - 1) / (x1 - x0) : 0.0f;
    for (int c = 0; c < 3; ++c) m_spanNodes[c] = vd[c];
    // Per node its three values and the steps to the next node (0 at the
    // last), so that a span reads one contiguous record per pixel.
    m_spanTable.assign(static_cast<size_t>(n) * 8, 0.0f);
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c) {
            m_spanTable[8 * i + c] = vd[c][i];
            m_spanTable[8 * i + 4 + c] = i + 1 < n ? vd[c][i + 1] - vd[c][i] : 0.0f;
        }
    m_hasLineData = true;
}

void CBlendMap::GlobalMapOnePtIntenDiff(const float* p, const float* q, float* diff) const
{
    for (int c = 0; c < 3; ++c) {
        switch (m_intenMode) {
        case 1: diff[c] = GainOffset(m_tB, q[c], c) - GainOffset(m_tA, p[c], c); break;
        case 2: diff[c] = TableValue(m_tB, q[c], c) - TableValue(m_tA, p[c], c); break;
        default: diff[c] = q[c] - p[c]; break;
        }
    }
}

float CBlendMap::CorrectionShare(const POINT2& p1, float* along) const
{
    POINT2 f;
    m_line.PtToFrameDL(p1, &f);
    *along = f.y;
    const float w = m_side == 1 ? 0.5f - f.x / m_blendWidth : 0.5f + f.x / m_blendWidth;
    return std::clamp(w, 0.0f, 1.0f);
}

int CBlendMap::GetPtV_MarginRegion(POINT2& pt, POINT2* shift, int* out, float* weight)
{
    if (shift != nullptr) *shift = POINT2{0.0f, 0.0f};
    POINT2 p1 = pt;
    if (m_side == 0 && !(m_invValid && CTransformWA::TransformPtRR2(&pt, &p1, m_invM))) {
        // A point that does not reach the first image lies far on its own side.
        for (int c = 0; c < 3; ++c) out[c] = 0;
        *weight = 1.0f;
        return 1;
    }
    float along = 0.0f;
    const float w = CorrectionShare(p1, &along);
    for (int c = 0; c < 3; ++c) {
        const float d = m_hasLineData ? m_diff[c].Interp(along) : 0.0f;
        out[c] = static_cast<int>(w * d + 0.5f);
    }
    *weight = 1.0f - w;
    return 1;
}

int CBlendMap::GetPtV_MarginRegion(POINT2& pt, float* weight)
{
    POINT2 p1 = pt;
    if (m_side == 0 && !(m_invValid && CTransformWA::TransformPtRR2(&pt, &p1, m_invM))) {
        *weight = 1.0f;
        return 1;
    }
    float along = 0.0f;
    *weight = 1.0f - CorrectionShare(p1, &along);
    return 1;
}

void CBlendMap::GetSpan_MarginRegion(const POINT2& start, int n, int* out, float* weights)
{
    if (m_side == 0) {
        IBlendMap::GetSpan_MarginRegion(start, n, out, weights);
        return;
    }
    // First side: the line frame is affine in x, so step it instead of
    // re-projecting every pixel.
    POINT2 f0;
    m_line.PtToFrameDL(start, &f0);
    const float stepAcross = m_line.m_perp.x;
    const float stepAlong = m_line.m_dir.x;
    const int nodes = m_hasLineData ? static_cast<int>(m_spanNodes[0].size()) : 0;
    const float rcpWidth = 1.0f / m_blendWidth;
    const float* table = m_spanTable.data();
    // One node, or all nodes at one place: the first node everywhere.
    const bool single = nodes == 1 || (nodes > 1 && m_nodeRate == 0.0f);
    const float last = static_cast<float>(nodes - 1);
    for (int i = 0; i < n; ++i) {
        const float fi = static_cast<float>(i);
        const float across = f0.x + stepAcross * fi;
        const float w = std::clamp(0.5f - across * rcpWidth, 0.0f, 1.0f);
        float d0 = 0.0f, d1 = 0.0f, d2 = 0.0f;
        if (nodes > 1 && !single) {
            const float t = ((f0.y + stepAlong * fi) - m_nodeX0) * m_nodeRate;
            const float* e;
            float f = 0.0f;
            if (!(t > 0.0f)) {
                e = table;
            } else if (t >= last) {
                e = table + 8 * (nodes - 1);
            } else {
                const int k = static_cast<int>(t);
                f = t - static_cast<float>(k);
                e = table + 8 * k;
            }
            d0 = e[0] + f * e[4];
            d1 = e[1] + f * e[5];
            d2 = e[2] + f * e[6];
        } else if (nodes >= 1) {
            d0 = table[0];
            d1 = table[1];
            d2 = table[2];
        }
        out[3 * i] = static_cast<int>(w * d0 + 0.5f);
        out[3 * i + 1] = static_cast<int>(w * d1 + 0.5f);
        out[3 * i + 2] = static_cast<int>(w * d2 + 0.5f);
        weights[i] = 1.0f - w;
    }
}
