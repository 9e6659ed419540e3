#include "platform/xformkit/transform_wa.h"

#include "core/logger.h"
#include "platform/xformkit/camera_model.h"

#include <cmath>

using namespace xformkit;

namespace {

bool ValidFocal(float r)
{
    return std::isfinite(r) && r > 0;
}

bool ValidPair(const PAIR_WALIGN_RR_PRMS2* p)
{
    return p && ValidFocal(p->rcpF1) && ValidFocal(p->rcpF2) && std::isfinite(p->angA) && std::isfinite(p->angB) &&
           std::isfinite(p->angC);
}

bool ValidPlacement(const TRANSFORM_RS* t)
{
    return t && ValidFocal(t->rcpFocal) && std::isfinite(t->pan) && std::isfinite(t->tilt) && std::isfinite(t->roll);
}

Mat3 PairMatrix(const PAIR_WALIGN_RR_PRMS2& p)
{
    return PairRotation(p.angA, p.angB, p.angC);
}

}  // namespace

void CTransformWA::InvertAlignPrmsRR2(const PAIR_WALIGN_RR_PRMS2* src, PAIR_WALIGN_RR_PRMS2* dst)
{
    if (!src || !dst) return;
    const PAIR_WALIGN_RR_PRMS2 s = *src;
    *dst = s;
    dst->rcpF1 = s.rcpF2;
    dst->rcpF2 = s.rcpF1;
    dst->angA = -s.angC;
    dst->angB = -s.angB;
    dst->angC = -s.angA;
}

bool CTransformWA::PairAlignPrmsRR2toM(const PAIR_WALIGN_RR_PRMS2* p, const POINT2* c1, const POINT2* c2, float* m)
{
    if (!m || !ValidPair(p)) {
        Logger::log("ERROR CTransformWA::PairAlignPrmsRR2toM: invalid pair parameters", 1);
        return false;
    }
    Mat3 h = PairHomography(p->rcpF1, p->rcpF2, p->angA, p->angB, p->angC);
    if (c1) h = Multiply(h, Mat3{{1, 0, -double(c1->x), 0, 1, -double(c1->y), 0, 0, 1}});
    if (c2) h = Multiply(Mat3{{1, 0, double(c2->x), 0, 1, double(c2->y), 0, 0, 1}}, h);
    for (int i = 0; i < 9; ++i) m[i] = static_cast<float>(h.m[i]);
    return true;
}

bool CTransformWA::TransformPtRR2(const POINT2* in, POINT2* out, const float* m)
{
    if (!in || !out || !m) return false;
    Mat3 h;
    for (int i = 0; i < 9; ++i) h.m[i] = m[i];
    double x, y;
    if (!MapPoint(h, in->x, in->y, x, y)) return false;
    out->x = static_cast<float>(x);
    out->y = static_cast<float>(y);
    return true;
}

int CTransformWA::TransformPtsRR2(const POINT2* in, POINT2* out, int n, const float* m)
{
    if (!in || !out || !m) return 0;
    int mapped = 0;
    for (int i = 0; i < n; ++i) {
        const POINT2 p = in[i];
        if (TransformPtRR2(&p, &out[i], m)) ++mapped;
        else out[i] = p;
    }
    return mapped;
}

bool CTransformWA::PairPrmsGlobalImg1To_2(const PAIR_WALIGN_RR_PRMS2* p, const TRANSFORM_RS* first, TRANSFORM_RS* second)
{
    if (!second || !ValidPair(p) || !ValidPlacement(first)) {
        Logger::log("ERROR CTransformWA::PairPrmsGlobalImg1To_2: invalid pair or placement", 1);
        return false;
    }
    // World rays agree: M1 ray1 = M2 ray2 and ray2 = R ray1, so M2 = M1 R^T.
    const Mat3 m2 = Multiply(PlacementMatrix(first->pan, first->tilt, first->roll), Transpose(PairMatrix(*p)));
    double pan, tilt, roll;
    PlacementAngles(m2, pan, tilt, roll);
    second->rcpFocal = p->rcpF2;
    second->pan = static_cast<float>(pan);
    second->tilt = static_cast<float>(tilt);
    second->roll = static_cast<float>(roll);
    return true;
}

bool CTransformWA::PairPrmsToGlobalImg_1(const PAIR_WALIGN_RR_PRMS2* p, const POINT2* centre, float pan, TRANSFORM_RS* first)
{
    if (!first || !ValidPair(p) || !std::isfinite(pan)) {
        Logger::log("ERROR CTransformWA::PairPrmsToGlobalImg_1: invalid pair parameters", 1);
        return false;
    }
    first->rcpFocal = p->rcpF1;
    first->pan = static_cast<float>(WrapAngle(pan));
    first->tilt = 0;
    first->roll = 0;
    if (centre) {
        first->centreX = centre->x;
        first->centreY = centre->y;
    }
    return true;
}

bool CTransformWA::GlobalToPairPrms12(const TRANSFORM_RS* first, const TRANSFORM_RS* second, PAIR_WALIGN_RR_PRMS2* p)
{
    if (!p || !ValidPlacement(first) || !ValidPlacement(second)) {
        Logger::log("ERROR CTransformWA::GlobalToPairPrms12: invalid placement", 1);
        return false;
    }
    // ray2 = M2^T M1 ray1.
    const Mat3 r = Multiply(Transpose(PlacementMatrix(second->pan, second->tilt, second->roll)),
                            PlacementMatrix(first->pan, first->tilt, first->roll));
    double a, b, c;
    PairAngles(r, a, b, c);
    *p = PAIR_WALIGN_RR_PRMS2{};
    p->rcpF1 = first->rcpFocal;
    p->rcpF2 = second->rcpFocal;
    p->angA = static_cast<float>(a);
    p->angB = static_cast<float>(b);
    p->angC = static_cast<float>(c);
    return true;
}

bool CTransformWA::PairAlignPrmsStoRR2(const PAIR_WALIGN_PRMS* s, PAIR_WALIGN_RR_PRMS2* r)
{
    if (!s || !r) return false;
    const double rcp1 = std::tan(double(s->halfFov1)) / s->halfWidth1;
    const double rcp2 = rcp1 * s->scale;
    if (!(s->halfWidth1 > 0) || !std::isfinite(rcp1) || !(rcp1 > 0) || !std::isfinite(rcp2) || !(rcp2 > 0)) {
        Logger::log("ERROR CTransformWA::PairAlignPrmsStoRR2: invalid parameters (halfFov=%f halfWidth=%f scale=%f)", 1,
                    double(s->halfFov1), double(s->halfWidth1), double(s->scale));
        return false;
    }
    PAIR_WALIGN_RR_PRMS2 out{};
    for (int i = 0; i < 4; ++i) out.reserved[i] = s->reserved[i];
    out.rcpF1 = static_cast<float>(rcp1);
    out.rcpF2 = static_cast<float>(rcp2);
    out.angA = s->rot1;
    out.angB = s->offsetAngle;
    out.angC = -s->rot2;
    *r = out;
    return true;
}

bool CTransformWA::PairAlignPrmsRR2toS(const PAIR_WALIGN_RR_PRMS2* r, PAIR_WALIGN_PRMS* s)
{
    if (!r || !s) return false;
    if (!ValidPair(r) || !(s->halfWidth1 > 0) || !std::isfinite(s->halfWidth1)) {
        Logger::log("ERROR CTransformWA::PairAlignPrmsRR2toS: invalid parameters (rcpF1=%f rcpF2=%f halfWidth=%f)", 1,
                    double(r->rcpF1), double(r->rcpF2), double(s->halfWidth1));
        return false;
    }
    for (int i = 0; i < 4; ++i) s->reserved[i] = r->reserved[i];
    s->scale = static_cast<float>(double(r->rcpF2) / r->rcpF1);
    s->rot1 = r->angA;
    s->rot2 = -r->angC;
    s->halfFov1 = static_cast<float>(std::atan(double(r->rcpF1) * s->halfWidth1));
    s->offsetAngle = r->angB;
    return true;
}
