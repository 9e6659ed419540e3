#include "align/pairlock/polar_overlap.h"

#include "geometry/polykit/poly_geom.h"
#include "platform/mapproj/polygon_rr.h"
#include "platform/utilkit/debug_display.h"
#include "core/logger.h"
#include "platform/utilkit/regions.h"
#include "platform/xformkit/transform_rr.h"
#include "viewer/engine/poly_map_rr.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <numbers>

using overlap::PolygonPtr;

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

// Smallest i with a + i step >= lo, and largest with a + i step <= hi.
int FirstIndexAtLeast(int64_t a, int step, int64_t lo)
{
    const int64_t d = lo - a;
    return static_cast<int>(d <= 0 ? -((-d) / step) : (d + step - 1) / step);
}
int LastIndexAtMost(int64_t a, int step, int64_t hi)
{
    const int64_t d = hi - a;
    return static_cast<int>(d >= 0 ? d / step : -((-d + step - 1) / step));
}

}  // namespace

CPolarOverlap::CPolarOverlap(int step, int marginX, int marginY)
    : m_marginX(marginX), m_marginY(marginY), m_step(step)
{
}

CPolarOverlap::~CPolarOverlap()
{
    ReleaseOverlap();
}

void CPolarOverlap::ReleaseOverlap()
{
    ReleaseImage(m_imgO1);
    ReleaseImage(m_imgO2);
    m_imgO1 = nullptr;
    m_imgO2 = nullptr;
    m_polygon.reset();
}

void CPolarOverlap::InitFromPairPrms(PAIR_WALIGN_RR_PRMS2* p)
{
    if (!p) return;
    m_rcpF2 = p->rcpF2;
    m_rcpF1 = p->rcpF1;
    m_angC = kPi - p->angC;
    m_angB = p->angB;
    m_angA = kPi - p->angA;
}

int CPolarOverlap::FftSize(int n)
{
    if (n <= 1) return 1;
    int64_t p = 1;
    while (p < n) p *= 2;
    const int64_t three = p / 4 * 3;
    return static_cast<int>(three >= n ? three : p);
}

int CPolarOverlap::PlaceBox(int N, int M, int B, int x0)
{
    if (M >= N || B >= N - 1) return (N - M) / 2;
    const bool touches = x0 > 1 && int64_t{N} <= int64_t{x0} + B;
    if (M < B && touches) return x0;
    if (M >= B && touches) return N - M;
    if (x0 < 2) return 0;
    return x0 - (M - B) / 2;
}

bool CPolarOverlap::MakeOverlapImgs(Image* img1, Image* img2)
{
    ReleaseOverlap();
    if (!overlap::UsableImage(img1) || !overlap::UsableImage(img2)) {
        Logger::log("ERROR CPolarOverlap::MakeOverlapImgs: missing or unusable image", 1);
        return false;
    }
    // The frame is image 1 divided by the step: a step below 1 has no frame.
    if (m_step < 1 || m_marginX < 0 || m_marginY < 0 || m_marginX > 10000 || m_marginY > 10000) {
        Logger::log("ERROR CPolarOverlap::MakeOverlapImgs: bad step %d or margins (%d, %d)", 1, m_step, m_marginX,
                    m_marginY);
        return false;
    }
    if (!(m_rcpF1 > 0) || !(m_rcpF2 > 0) || !std::isfinite(m_rcpF1) || !std::isfinite(m_rcpF2)) {
        Logger::log("ERROR CPolarOverlap::MakeOverlapImgs: no pair transform (rcpF1=%f, rcpF2=%f)", 1,
                    double(m_rcpF1), double(m_rcpF2));
        return false;
    }
    m_img1 = img1;
    m_img2 = img2;
    const int W1 = img1->GetWidth(), H1 = img1->GetHeight();
    const int nxS = (W1 + 2 * m_marginX) / m_step, nyS = (H1 + 2 * m_marginY) / m_step;
    if (nxS < 1 || nyS < 1) {
        Logger::log("ERROR CPolarOverlap::MakeOverlapImgs: step %d leaves no frame of %d*%d", 1, m_step, W1, H1);
        return false;
    }
    const float e = m_rcpF2 / (m_step * m_rcpF1);
    REGION box{};
    m_imgO2 = MapImg2Polar(img2, nxS, nyS, e, box);
    if (!m_imgO2) {
        ReleaseOverlap();
        return false;
    }
    // Overlap-1 pixel i is image-1 pixel R.x0 + i step: the frame pixel
    // box.x0 + i, step (box.x0 + i - nxS / 2) from image 1's centre.
    const int step = m_step;
    const int64_t rx0 = W1 / 2 + int64_t{step} * (box.x0 - nxS / 2);
    const int64_t ry0 = H1 / 2 + int64_t{step} * (box.y0 - nyS / 2);
    if (std::llabs(rx0) > INT32_MAX / 2 || std::llabs(ry0) > INT32_MAX / 2) {
        ReleaseOverlap();
        return false;
    }
    const REGION r{static_cast<int32_t>(rx0), static_cast<int32_t>(ry0), 0, 0, box.width, box.height};
    m_imgO1 = SubsampleImg1(img1, step, r);
    if (!m_imgO1) {
        ReleaseOverlap();
        return false;
    }
    // Overlap pixels whose image-1 pixel exists.
    const REGION image1{FirstIndexAtLeast(rx0, step, 0), FirstIndexAtLeast(ry0, step, 0),
                        LastIndexAtMost(rx0, step, W1 - 1), LastIndexAtMost(ry0, step, H1 - 1), 0, 0};
    const REGION whole{0, 0, box.width - 1, box.height - 1, box.width, box.height};
    if (!CRegions::CalcOverlap2D(&image1, &whole, &m_overlapBox)) {
        ReleaseOverlap();
        return false;
    }
    m_offsetO2.x *= step;
    m_offsetO2.y *= step;
    m_offsetO1 = m_offsetO2;
    return true;
}

Image* CPolarOverlap::MapImg2Polar(Image* img2, int nxS, int nyS, float e, REGION& box)
{
    PolygonPtr poly(CPolygonRR::MapImgBoundSPolarRR(img2->GetWidth(), img2->GetHeight(), nxS, nyS, m_rcpF2, m_angC,
                                                    m_angB, e, m_angA, 0.0f, nullptr));
    if (!poly || poly->count < 1) return nullptr;
    m_polygon.reset(LayoutMapBox(poly.get(), nxS, nyS, box));
    if (!m_polygon || int64_t{box.width} * box.height < 5000) return nullptr;
    if (GetDebugDispFlag()) CreateImageWindow(1000, 800, GetNameDebugWin0());
    m_offsetO2 = {box.x0 + box.width / 2 - nxS / 2, box.y0 + box.height / 2 - nyS / 2};
    const int channels = img2->GetChannels();
    Image* out = overlap::NewClearedImage(box.width, box.height, channels);
    if (!out) {
        Logger::log("ERROR COverlapRR::MapOverlapRegion: cannot allocate imgO(width=%d, height=%d, numChannels=%d)", 1,
                    box.width, box.height, channels);
        return nullptr;
    }
    PAIR_WALIGN_RR_PRMS2 P{};
    P.rcpF1 = m_rcpF2;
    P.rcpF2 = m_rcpF2 / e;
    P.angA = m_angC;
    P.angB = m_angB;
    P.angC = m_angA;
    CPolyMapRR mapper;
    mapper.MapImgRegions(img2, out, m_polygon.get(), &m_offsetO2, &P, false, 1.0f);
    return out;
}

gpc_polygon* CPolarOverlap::LayoutMapBox(gpc_polygon* poly, int nxS, int nyS, REGION& box)
{
    REGION2 bb;
    if (!overlap::FirstContourBox(poly, &bb)) return nullptr;
    const auto place = [](float lo, float hi, int n, int32_t& start, int32_t& size, int32_t& end) {
        const int x0r = static_cast<int>(std::trunc(lo + 0.5f));
        const int wB = static_cast<int>(std::trunc(hi)) - x0r + 1;
        const int pad = std::max(0, n * 5 / 10 - wB);
        size = FftSize(wB + pad / 2);
        start = PlaceBox(n, size, wB, x0r);
        end = start + size - 1;
    };
    place(bb.left, bb.right, nxS, box.x0, box.width, box.x1);
    place(bb.top, bb.bottom, nyS, box.y0, box.height, box.y1);
    PolygonPtr inside(CPolyGeom::IntPolygonBox(poly, &box));
    if (!inside || inside->count < 1) return nullptr;
    const POINT2 shift{static_cast<float>(-box.x0), static_cast<float>(-box.y0)};
    gpc_vertex_list& first = inside->contours[0];
    CPolyGeom::ShiftPolygon(first.points, first.points, first.count, &shift);
    return inside.release();
}

Image* CPolarOverlap::SubsampleImg1(Image* img1, int step, const REGION& r)
{
    const int channels = img1->GetChannels();
    Image* out = overlap::NewClearedImage(r.width, r.height, channels);
    if (!out) {
        Logger::log("ERROR COverlapRR::MapOverlapRegion: cannot allocate imgO(width=%d, height=%d, numChannels=%d)", 1,
                    r.width, r.height, channels);
        return nullptr;
    }
    const int W = img1->GetWidth(), H = img1->GetHeight();
    for (int j = 0; j < r.height; ++j) {
        const int64_t sy = r.y0 + int64_t{j} * step;
        if (sy < 0 || sy >= H) continue;
        const uint8_t* srow = img1->GetData() + size_t(sy) * img1->GetRowByte();
        uint8_t* drow = out->GetData() + size_t(j) * out->GetRowByte();
        for (int i = 0; i < r.width; ++i) {
            const int64_t sx = r.x0 + int64_t{i} * step;
            if (sx < 0 || sx >= W) continue;
            std::memcpy(drow + size_t(i) * channels, srow + size_t(sx) * channels, channels);
        }
    }
    return out;
}

int CPolarOverlap::PtPairsOverlapToRawFrames(POINT2* pairs[2], int n)
{
    if (!m_imgO1 || !m_imgO2 || !m_img1 || !m_img2) {
        Logger::log("ERROR CPolarOverlap::PtPairsOverlapToRawFrames: no overlap images", 1);
        return 0;
    }
    if (!pairs || n <= 0 || !pairs[0] || !pairs[1]) return 1;
    const double step = m_step;
    const double o1x = m_img1->GetWidth() / 2 + m_offsetO1.x - step * (m_imgO1->GetWidth() / 2);
    const double o1y = m_img1->GetHeight() / 2 + m_offsetO1.y - step * (m_imgO1->GetHeight() / 2);
    const double o2x = m_offsetO2.x - step * (m_imgO2->GetWidth() / 2);
    const double o2y = m_offsetO2.y - step * (m_imgO2->GetHeight() / 2);
    const CTransformRR polar(8000.0f);
    const float t = std::tan(m_angB) / m_rcpF2, q = m_rcpF2 / m_rcpF1, s = m_angA + m_angC;
    const int W2 = m_img2->GetWidth(), H2 = m_img2->GetHeight();
    for (int i = 0; i < n; ++i) {
        pairs[0][i] = {static_cast<float>(o1x + step * pairs[0][i].x), static_cast<float>(o1y + step * pairs[0][i].y)};
        const POINT2 in{static_cast<float>(o2x + step * pairs[1][i].x), static_cast<float>(o2y + step * pairs[1][i].y)};
        POINT2 out;
        if (polar.TransformPtPolarRR_inv(m_rcpF2, m_angC, t, q, s, &in, &out))
            pairs[1][i] = {out.x + W2 / 2, out.y + H2 / 2};
    }
    return 1;
}
