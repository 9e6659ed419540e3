#include "platform/mapproj/map_overlap_rr.h"

#include "core/logger.h"
#include "geometry/polykit/poly_clip.h"
#include "platform/mapproj/polygon_rr.h"
#include "platform/utilkit/debug_display.h"
#include "platform/utilkit/regions.h"
#include "platform/xformkit/transform_wa.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using overlap::PolygonPtr;

namespace {

bool FiniteZoom(float z)
{
    return std::isfinite(z) && z > 0.0f;
}

// Nearest pixel index of a position, or -1 when it falls outside [0, n).
inline int NearestIndex(double pos, int n)
{
    const double i = std::floor(pos + 0.5);
    return (i >= 0 && i < n) ? static_cast<int>(i) : -1;
}

// Rows zoomed by zy, then moved by shift, every contour.
void ZoomShiftPolygon(gpc_polygon* poly, float zy, const POINT2& shift)
{
    if (!poly) return;
    for (int k = 0; k < poly->count; ++k) {
        gpc_vertex_list& c = poly->contours[k];
        for (int i = 0; i < c.count; ++i) {
            c.points[i].x += shift.x;
            c.points[i].y = c.points[i].y * zy + shift.y;
        }
    }
}

}  // namespace

CMapOverlapRR::CMapOverlapRR() = default;

CMapOverlapRR::~CMapOverlapRR()
{
    ReleaseOverlap();
}

void CMapOverlapRR::ReleaseOverlap()
{
    // Others may hold the overlap images too: drop our reference only.
    ReleaseImage(m_imgO1);
    ReleaseImage(m_imgO2);
    m_imgO1 = nullptr;
    m_imgO2 = nullptr;
    m_polygon.reset();
    m_overlapPolygon.reset();
}

void CMapOverlapRR::InitWAlign12to21(PAIR_WALIGN_RR_PRMS2* p)
{
    if (!p) return;
    m_prms12 = *p;
    CTransformWA::InvertAlignPrmsRR2(p, &m_prms21);
}

void CMapOverlapRR::InitWAlign21(PAIR_WALIGN_RR_PRMS2* p)
{
    if (p) m_prms21 = *p;
}

void CMapOverlapRR::InitWAlign21(float r, float a, float b, float c, float q)
{
    m_prms21.rcpF1 = r;
    m_prms21.rcpF2 = r / q;
    m_prms21.angA = a;
    m_prms21.angB = b;
    m_prms21.angC = c;
}

bool CMapOverlapRR::SetZoomMargins(float zoomX, float zoomY, int marginX, int marginY)
{
    if (!FiniteZoom(zoomX) || !FiniteZoom(zoomY) || marginX < 0 || marginY < 0 || marginX > 10000 ||
        marginY > 10000) {
        Logger::log("ERROR CMapOverlapRR::SetZoomMargins: bad zoom (%f, %f) or margins (%d, %d)", 1, double(zoomX),
                    double(zoomY), marginX, marginY);
        return false;
    }
    m_zoomX = zoomX;
    m_zoomY = zoomY;
    m_marginX = marginX;
    m_marginY = marginY;
    return true;
}

bool CMapOverlapRR::MakeOverlapImgs(Image* img1, Image* img2)
{
    ReleaseOverlap();
    if (!overlap::UsableImage(img1) || !overlap::UsableImage(img2)) {
        Logger::log("ERROR CMapOverlapRR::MakeOverlapImgs: missing or unusable image", 1);
        return false;
    }
    m_img1 = img1;
    m_img2 = img2;
    const int W1 = img1->GetWidth(), H1 = img1->GetHeight();
    // The frame is zoomed evenly by zoomX; the extra vertical zoom zy is
    // applied to the warped image's rows.
    const double wdZd = std::trunc(W1 * double(m_zoomX) + 0.5), htZd = std::trunc(H1 * double(m_zoomX) + 0.5);
    if (!(wdZd >= 1 && htZd >= 1 && wdZd <= 1e6 && htZd <= 1e6)) {
        Logger::log("ERROR CMapOverlapRR::MakeOverlapImgs: zoomed frame %.0f*%.0f out of range", 1, wdZd, htZd);
        return false;
    }
    const int wdZ = static_cast<int>(wdZd), htZ = static_cast<int>(htZd);
    const float zy = m_zoomY / m_zoomX;
    const float q = m_prms21.rcpF1 * m_zoomX / m_prms21.rcpF2;

    REGION box{};
    gpc_polygon* poly = nullptr;
    gpc_polygon* cut = nullptr;
    m_imgO2 = MapImgRR(img2, wdZ, htZ, m_prms21.rcpF1, m_prms21.angA, m_prms21.angB, m_prms21.angC, q, zy, m_marginX,
                       m_marginY, m_bilinear, &poly, nullptr, &cut, box, &m_offset);
    m_polygon.reset(poly);
    m_overlapPolygon.reset(cut);
    if (!m_imgO2) {
        ReleaseOverlap();
        return false;
    }
    // The shared area in the overlap images' pixels, as the outline.
    ZoomShiftPolygon(m_overlapPolygon.get(), zy,
                     POINT2{static_cast<float>(m_marginX - box.x0), static_cast<float>(m_marginY - zy * box.y0)});
    m_offsetO = m_offset;
    overlap::FirstContourBox(m_polygon.get(), &m_polyBox);

    // Image 1's pixels in the overlap images: those whose nearest image-1
    // pixel exists, i.e. whose image-1 position lies in [-0.5, W1 - 0.5).
    const int WO = m_imgO2->GetWidth(), HO = m_imgO2->GetHeight();
    const double zx = m_zoomX, zyy = m_zoomY;
    const double ax = WO / 2 - m_offset.x, ay = HO / 2 - double(m_offset.y) * zy;
    const double fx0 = std::ceil(ax + (-0.5 - W1 / 2) * zx), fx1 = std::ceil(ax + (W1 - 0.5 - W1 / 2) * zx) - 1;
    const double fy0 = std::ceil(ay + (-0.5 - H1 / 2) * zyy), fy1 = std::ceil(ay + (H1 - 0.5 - H1 / 2) * zyy) - 1;
    const REGION whole{0, 0, WO - 1, HO - 1, WO, HO};
    const auto clampInt = [](double v) { return static_cast<int32_t>(std::clamp(v, -1e9, 1e9)); };
    const REGION image1{clampInt(fx0), clampInt(fy0), clampInt(fx1), clampInt(fy1), 0, 0};
    if (!CRegions::CalcOverlap2D(&image1, &whole, &m_overlapBox)) {
        // Image 2's outline lies beside image 1: nothing to correlate.
        ReleaseOverlap();
        return false;
    }

    // Image-1 position of the overlap box's first pixel.
    POINT2 s{static_cast<float>(W1 / 2 + (m_overlapBox.x0 - WO / 2 + m_offset.x) / zx),
             static_cast<float>(H1 / 2 + (m_overlapBox.y0 - HO / 2) / zyy + m_offset.y / zx)};
    m_imgO1 = CopyZoomRegion(img1, WO, HO, &m_overlapBox, &s, 1.0f / m_zoomX, 1.0f / m_zoomY, false);
    if (!m_imgO1) {
        ReleaseOverlap();
        return false;
    }
    return true;
}

bool CMapOverlapRR::CutToOverlap(int margin)
{
    REGION2 bb;
    if (!m_imgO1 || !m_imgO2 || m_zoomX != m_zoomY || !overlap::FirstContourBox(m_overlapPolygon.get(), &bb))
        return false;
    for (int k = 1; k < m_overlapPolygon->count; ++k) {
        REGION2 more;
        gpc_polygon one{1, &m_overlapPolygon->contours[k]};
        if (!overlap::FirstContourBox(&one, &more)) continue;
        bb.left = std::min(bb.left, more.left);
        bb.right = std::max(bb.right, more.right);
        bb.top = std::min(bb.top, more.top);
        bb.bottom = std::max(bb.bottom, more.bottom);
    }
    const int WO = m_imgO1->GetWidth(), HO = m_imgO1->GetHeight();
    const int x0 = std::max(0, static_cast<int>(std::floor(bb.left)) - margin);
    const int y0 = std::max(0, static_cast<int>(std::floor(bb.top)) - margin);
    const int x1 = std::min(WO - 1, static_cast<int>(std::ceil(bb.right)) + margin);
    const int y1 = std::min(HO - 1, static_cast<int>(std::ceil(bb.bottom)) + margin);
    if (x1 - x0 < 1 || y1 - y0 < 1) return false;
    const int w = x1 - x0 + 1, h = y1 - y0 + 1;
    Image* cut[2] = {overlap::NewClearedImage(w, h, m_imgO1->GetChannels()),
                     overlap::NewClearedImage(w, h, m_imgO2->GetChannels())};
    Image* from[2] = {m_imgO1, m_imgO2};
    if (!cut[0] || !cut[1]) {
        Logger::log("ERROR CMapOverlapRR::CutToOverlap: cannot allocate %d*%d", 1, w, h);
        ReleaseImage(cut[0]);
        ReleaseImage(cut[1]);
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        const size_t px = static_cast<size_t>(from[i]->GetChannels());
        for (int y = 0; y < h; ++y)
            std::memcpy(cut[i]->GetData() + size_t(y) * cut[i]->GetRowByte(),
                        from[i]->GetData() + size_t(y + y0) * from[i]->GetRowByte() + size_t(x0) * px, size_t(w) * px);
        ReleaseImage(from[i]);
    }
    m_imgO1 = cut[0];
    m_imgO2 = cut[1];
    const POINT2 shift{static_cast<float>(-x0), static_cast<float>(-y0)};
    ZoomShiftPolygon(m_polygon.get(), 1.0f, shift);
    ZoomShiftPolygon(m_overlapPolygon.get(), 1.0f, shift);
    overlap::FirstContourBox(m_polygon.get(), &m_polyBox);
    // Pixel X of the cut is X + x0 of the whole: the same frame point.
    m_offset.x += x0 + w / 2 - WO / 2;
    m_offset.y += y0 + h / 2 - HO / 2;
    m_offsetO = m_offset;
    m_overlapBox.x0 = std::max(0, m_overlapBox.x0 - x0);
    m_overlapBox.y0 = std::max(0, m_overlapBox.y0 - y0);
    m_overlapBox.x1 = std::min(w - 1, m_overlapBox.x1 - x0);
    m_overlapBox.y1 = std::min(h - 1, m_overlapBox.y1 - y0);
    m_overlapBox.width = m_overlapBox.x1 - m_overlapBox.x0 + 1;
    m_overlapBox.height = m_overlapBox.y1 - m_overlapBox.y0 + 1;
    return true;
}

POINT2 CMapOverlapRR::OverlapToImage1Centred(const POINT2& p) const
{
    if (!m_imgO1) return p;
    const int WO = m_imgO1->GetWidth(), HO = m_imgO1->GetHeight();
    const double zx = m_zoomX, zy = double(m_zoomY) / m_zoomX;
    return POINT2{static_cast<float>((p.x - WO / 2 + m_offsetO.x) / zx),
                  static_cast<float>(((p.y - HO / 2) / zy + m_offsetO.y) / zx)};
}

Image* CMapOverlapRR::MapImgRR(Image* src, int wd, int ht, float r, float a, float b, float c, float q, float zy,
                               int mx, int my, bool bilinear, gpc_polygon** polyOut, gpc_polygon** frameOut,
                               gpc_polygon** overlapOut, REGION& box, POINT* offsetOut)
{
    if (polyOut) *polyOut = nullptr;
    if (!src || !polyOut || !offsetOut) return nullptr;
    PolygonPtr poly(CPolygonRR::MapImgBoundsRR(src->GetWidth(), src->GetHeight(), wd, ht, r, a, b, q, c, 0.0f,
                                               frameOut, overlapOut));
    REGION2 bb;
    if (!poly || !overlap::FirstContourBox(poly.get(), &bb)) return nullptr;
    // The outline is src's pixel area; the box holds the frame pixels whose
    // centres it covers, the pixels the mapper fills.
    box.x0 = static_cast<int32_t>(std::ceil(bb.left));
    box.x1 = static_cast<int32_t>(std::floor(bb.right));
    box.y0 = static_cast<int32_t>(std::ceil(bb.top));
    box.y1 = static_cast<int32_t>(std::floor(bb.bottom));
    box.width = box.x1 - box.x0 + 1;
    box.height = box.y1 - box.y0 + 1;
    if (box.width < 1 || box.height < 1) return nullptr;

    PAIR_WALIGN_RR_PRMS2 P{};
    P.rcpF1 = r;
    P.rcpF2 = r / q;
    P.angA = a;
    P.angB = b;
    P.angC = c;
    Image* result = MapOverlapRegion(src, wd, ht, poly.get(), box, &P, zy, mx, my, bilinear, offsetOut);
    *polyOut = poly.release();
    return result;
}

Image* CMapOverlapRR::MapOverlapRegion(Image* src, int wd, int ht, gpc_polygon* poly, const REGION& box,
                                       PAIR_WALIGN_RR_PRMS2* P, float zy, int mx, int my, bool bilinear,
                                       POINT* offsetOut)
{
    if (!src || !poly || poly->count < 1 || !P || !offsetOut || !(zy > 0) || !std::isfinite(zy)) return nullptr;
    gpc_vertex_list& contour = poly->contours[0];
    if (GetDebugDispFlag()) {
        CreateImageWindow(1000, 800, GetNameDebugWin0());
        DrawOnePt2Array(contour.points, std::min(contour.count, 100), 100, 100, 1.0f, 0xFF0000);
    }

    const double hOut = std::trunc(box.height * double(zy) + 0.5) + 2.0 * my;
    const double wOut = double(box.width) + 2.0 * mx;
    const int channels = src->GetChannels();
    Image* out = (wOut <= 1e6 && hOut <= 1e6)
                     ? overlap::NewClearedImage(static_cast<int>(wOut), static_cast<int>(hOut), channels)
                     : nullptr;
    if (!out) {
        Logger::log("ERROR CMapOverlapRR::MapOverlapRegion: cannot allocate imgO(wdO=%d, htO=%d, numChannels=%d)", 1,
                    static_cast<int>(std::clamp(wOut, -1e9, 1e9)), static_cast<int>(std::clamp(hOut, -1e9, 1e9)),
                    channels);
        return nullptr;
    }

    // The unzoomed outline in the new image's pixels, for the warp.
    PolygonPtr plain(new gpc_polygon{0, nullptr});
    CPolyClip::gpc_add_contour(plain.get(), &contour);
    ZoomShiftPolygon(plain.get(), 1.0f, POINT2{static_cast<float>(mx - box.x0), static_cast<float>(my - box.y0)});
    // The outline handed back: rows zoomed by zy.
    {
        gpc_polygon one{1, &contour};
        ZoomShiftPolygon(&one, zy, POINT2{static_cast<float>(mx - box.x0), static_cast<float>(my - zy * box.y0)});
    }

    const POINT offset{box.x0 + box.width / 2 - wd / 2, box.y0 + box.height / 2 - ht / 2};
    if (zy == 1.0f) {
        WarpRegion(src, out, plain.get(), &offset, P, bilinear);
    } else {
        // Warp at the frame's scale, then take each output row from the
        // nearest warped row: output row Y is frame point (Y - HO / 2) / zy
        // from the centre, warped row T is T - HT / 2.
        const int HT = box.height + 2 * my;
        Image* even = overlap::NewClearedImage(out->GetWidth(), HT, channels);
        if (!even) {
            Logger::log("ERROR CMapOverlapRR::MapOverlapRegion: cannot allocate imgO(wdO=%d, htO=%d, numChannels=%d)",
                        1, out->GetWidth(), HT, channels);
            ReleaseImage(out);
            return nullptr;
        }
        WarpRegion(src, even, plain.get(), &offset, P, bilinear);
        const int HO = out->GetHeight();
        const size_t rowBytes = size_t(out->GetWidth()) * channels;
        for (int y = 0; y < HO; ++y) {
            const int t = NearestIndex((y - HO / 2) / double(zy) + HT / 2, HT);
            if (t < 0) continue;
            std::memcpy(out->GetData() + size_t(y) * out->GetRowByte(),
                        even->GetData() + size_t(t) * even->GetRowByte(), rowBytes);
        }
        ReleaseImage(even);
    }
    *offsetOut = offset;
    return out;
}

Image* CMapOverlapRR::CopyZoomRegion(Image* src, int nx, int ny, REGION* r, POINT2* s, float stepX, float stepY,
                                     bool)
{
    if (!src || !r || !s) return nullptr;
    const int channels = src->GetChannels();
    Image* out = overlap::NewClearedImage(nx, ny, channels);
    if (!out) {
        Logger::log("ERROR CMapOverlapRR::CopyZoomRegion: cannot allocate imgO(nxO=%d, nyO=%d, numChannels=%d)", 1, nx,
                    ny, channels);
        return nullptr;
    }
    const int W = src->GetWidth(), H = src->GetHeight();
    const int x0 = std::max(0, r->x0), x1 = std::min(nx - 1, r->x1);
    const int y0 = std::max(0, r->y0), y1 = std::min(ny - 1, r->y1);
    for (int y = y0; y <= y1; ++y) {
        const int sy = NearestIndex(s->y + double(y - r->y0) * stepY, H);
        if (sy < 0) continue;
        const uint8_t* srow = src->GetData() + size_t(sy) * src->GetRowByte();
        uint8_t* drow = out->GetData() + size_t(y) * out->GetRowByte();
        for (int x = x0; x <= x1; ++x) {
            const int sx = NearestIndex(s->x + double(x - r->x0) * stepX, W);
            if (sx < 0) continue;
            std::memcpy(drow + size_t(x) * channels, srow + size_t(sx) * channels, channels);
        }
    }
    return out;
}

bool CMapOverlapRR::WarpRegion(Image* src, Image* dst, const gpc_polygon* region, const POINT* offset,
                               const PAIR_WALIGN_RR_PRMS2* P, bool bilinear)
{
    if (!overlap::UsableImage(src) || !dst || !dst->GetData() || !region || !offset || !P ||
        dst->GetChannels() != src->GetChannels()) {
        Logger::log("ERROR CMapOverlapRR::WarpRegion: missing or unusable image, region or parameters", 1);
        return false;
    }
    // Frame (centred) -> source (centred): the inverse pair's matrix.
    PAIR_WALIGN_RR_PRMS2 inv;
    CTransformWA::InvertAlignPrmsRR2(P, &inv);
    float m[9];
    if (!CTransformWA::PairAlignPrmsRR2toM(&inv, nullptr, nullptr, m)) return false;
    const int Ws = src->GetWidth(), Hs = src->GetHeight(), ch = src->GetChannels();
    const int Wd = dst->GetWidth(), Hd = dst->GetHeight();
    const uint8_t* sdata = src->GetData();
    const size_t srow = src->GetRowByte();
    std::vector<float> xs;
    for (int Y = 0; Y < Hd; ++Y) {
        // Even-odd crossings of the row through the pixel centres.
        xs.clear();
        const float fy = static_cast<float>(Y);
        for (int k = 0; k < region->count; ++k) {
            const gpc_vertex_list& c = region->contours[k];
            for (int i = 0; i < c.count; ++i) {
                const POINT2& a = c.points[i];
                const POINT2& b = c.points[(i + 1) % c.count];
                if ((a.y <= fy) == (b.y <= fy)) continue;
                xs.push_back(a.x + (fy - a.y) * (b.x - a.x) / (b.y - a.y));
            }
        }
        std::sort(xs.begin(), xs.end());
        uint8_t* drow = dst->GetData() + size_t(Y) * dst->GetRowByte();
        for (size_t s = 0; s + 1 < xs.size(); s += 2) {
            const int x0 = std::max(0, static_cast<int>(std::ceil(xs[s])));
            const int x1 = std::min(Wd, static_cast<int>(std::ceil(xs[s + 1])));
            for (int X = x0; X < x1; ++X) {
                const POINT2 u{static_cast<float>(X - Wd / 2 + offset->x), static_cast<float>(Y - Hd / 2 + offset->y)};
                POINT2 v;
                if (!CTransformWA::TransformPtRR2(&u, &v, m)) continue;
                const float sx = v.x + static_cast<float>(Ws / 2), sy = v.y + static_cast<float>(Hs / 2);
                uint8_t* d = drow + size_t(X) * ch;
                if (bilinear && sx >= 0.0f && sy >= 0.0f && sx <= Ws - 1 && sy <= Hs - 1) {
                    const int ix = std::min(static_cast<int>(sx), Ws - 2), iy = std::min(static_cast<int>(sy), Hs - 2);
                    const float fx = sx - ix, fyy = sy - iy;
                    const uint8_t* p00 = sdata + size_t(iy) * srow + size_t(ix) * ch;
                    const uint8_t* p10 = p00 + srow;
                    for (int cc = 0; cc < ch; ++cc) {
                        const float top = p00[cc] + fx * (p00[ch + cc] - p00[cc]);
                        const float bot = p10[cc] + fx * (p10[ch + cc] - p10[cc]);
                        d[cc] = static_cast<uint8_t>(top + fyy * (bot - top) + 0.5f);
                    }
                    continue;
                }
                const int nx = NearestIndex(sx, Ws), ny = NearestIndex(sy, Hs);
                if (nx < 0 || ny < 0) continue;
                std::memcpy(d, sdata + size_t(ny) * srow + size_t(nx) * ch, ch);
            }
        }
    }
    return true;
}
