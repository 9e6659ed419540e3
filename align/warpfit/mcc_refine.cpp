#include "align/warpfit/mcc_refine.h"

#include "align/warpfit/refine_gate.h"
#include "align/warpfit/w_align.h"
#include "imaging/image.h"
#include "platform/mapproj/img_combo_rs.h"
#include "platform/panocore/panocore_settings.h"
#include "platform/utilkit/debug_display.h"
#include "core/logger.h"
#include "platform/utilkit/regions.h"
#include "platform/xformkit/transform_rs.h"
#include "projectgraph/curvekit/marker.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>

namespace {

// A template is used when this share (per cent) of its pixels has data in
// both overlays.
constexpr int kMinCoverage = 80;

bool Usable8Bit(const Image* img)
{
    return img && img->GetData() && img->GetDataType() == IMG_UINT8 && img->IsInterleaved() &&
           (img->GetChannels() == 1 || img->GetChannels() == 3) && img->GetWidth() > 0 && img->GetHeight() > 0;
}

// Width of the run of valid values >= level % of the peak that contains the
// peak, and the parabola offset of the peak (0 at a line end or next to a
// value that was not measured).
void StudyLine(const double* v, const unsigned char* ok, int n, int p, unsigned level, float* width, double* offset)
{
    const double c = v[p];
    const double thr = level * c / 100.0;
    int lo = p, hi = p;
    while (lo > 0 && ok[lo - 1] && v[lo - 1] >= thr) --lo;
    while (hi < n - 1 && ok[hi + 1] && v[hi + 1] >= thr) ++hi;
    *width = static_cast<float>(hi - lo + 1);
    *offset = 0;
    if (p > 0 && p < n - 1 && ok[p - 1] && ok[p + 1]) {
        const double l = v[p - 1], r = v[p + 1];
        const double den = 4 * (c - (l + r) / 2);
        if (den > 0) *offset = (r - l) / den;
    }
}

// The w x h block of img with top-left (x, y) as an image of its own.
Image* CutBlock(const Image* img, int x, int y, int w, int h)
{
    auto* out = new Image(w, h, img->GetChannels());  // holds our reference
    const int c = img->GetChannels();
    for (int j = 0; j < h; ++j) {
        std::memcpy(out->GetData() + static_cast<size_t>(j) * out->GetRowByte(),
                    img->GetData() + static_cast<size_t>(y + j) * img->GetRowByte() + static_cast<size_t>(x) * c,
                    static_cast<size_t>(w) * c);
    }
    return out;
}

}  // namespace

CMCCRefine::CMCCRefine(Image* img1, Image* img2)
{
    m_img[0] = img1;
    m_img[1] = img2;
    RefAdd(img1);
    RefAdd(img2);
}

CMCCRefine::~CMCCRefine()
{
    ReleaseOverlays();
    ReleaseImage(m_img[0]);
    ReleaseImage(m_img[1]);
}

void CMCCRefine::ReleaseOverlays()
{
    for (Image*& o : m_overlay) {
        ReleaseImage(o);
        o = nullptr;
    }
}

int CMCCRefine::TemplateCoverage(const Image* ov1, const Image* ov2, int x0, int y0) const
{
    const int c1 = ov1->GetChannels(), c2 = ov2->GetChannels();
    int count = 0;
    for (int y = y0; y < y0 + m_templateHeight; ++y) {
        const int y2 = y - m_offsetY;
        const unsigned char* r1 = ov1->GetData() + static_cast<size_t>(y) * ov1->GetRowByte();
        const bool row2 = y2 >= 0 && y2 < ov2->GetHeight();
        const unsigned char* r2 = row2 ? ov2->GetData() + static_cast<size_t>(y2) * ov2->GetRowByte() : nullptr;
        for (int x = x0; x < x0 + m_templateWidth; ++x) {
            const int x2 = x - m_offsetX;
            if (r1[static_cast<size_t>(x) * c1] != 0 && row2 && x2 >= 0 && x2 < ov2->GetWidth() &&
                r2[static_cast<size_t>(x2) * c2] != 0)
                ++count;
        }
    }
    return count * 100 / (m_templateWidth * m_templateHeight);
}

bool CMCCRefine::StudyWindow(const std::vector<double>& map, const std::vector<unsigned char>& valid,
                             MCC_PEAK& peak) const
{
    const int w = 2 * m_searchX + 1, h = 2 * m_searchY + 1;
    // The first shift with the largest correlation above 0.
    double best = 0;
    int bi = -1;
    for (int k = 0; k < w * h; ++k) {
        if (valid[k] && map[k] > best) {
            best = map[k];
            bi = k;
        }
    }
    if (bi < 0) return false;
    const int px = bi % w, py = bi / w;
    std::vector<double> col(h);
    std::vector<unsigned char> colOk(h);
    for (int y = 0; y < h; ++y) {
        col[y] = map[static_cast<size_t>(y) * w + px];
        colOk[y] = valid[static_cast<size_t>(y) * w + px];
    }
    const double* row = map.data() + static_cast<size_t>(py) * w;
    const unsigned char* rowOk = valid.data() + static_cast<size_t>(py) * w;
    double offX, offY;
    StudyLine(row, rowOk, w, px, m_level1, &peak.width1X, &offX);
    StudyLine(row, rowOk, w, px, m_level2, &peak.width2X, &offX);
    StudyLine(col.data(), colOk.data(), h, py, m_level1, &peak.width1Y, &offY);
    StudyLine(col.data(), colOk.data(), h, py, m_level2, &peak.width2Y, &offY);
    peak.value = static_cast<float>(best);
    peak.shiftX = static_cast<float>(px + offX - w / 2);
    peak.shiftY = static_cast<float>(py + offY - h / 2);
    return true;
}

void CMCCRefine::ShowWindow(const Image* ov1, const Image* ov2, int x0, int y0, const MCC_PEAK& peak,
                            const std::vector<double>& map, const std::vector<unsigned char>& valid)
{
    const int tw = m_templateWidth, th = m_templateHeight;
    const int w = 2 * m_searchX + 1, h = 2 * m_searchY + 1;
    // Template, the block of overlay 2 at the peak, and the map (grey 0 at
    // or below its least value, 255 at or above its greatest).
    Image* a = CutBlock(ov1, x0, y0, tw, th);
    DisplayImageWin0(a, nullptr, m_dispCol, m_dispRow);
    ReleaseImage(a);
    const int bx = x0 - m_offsetX + static_cast<int>(std::lround(peak.shiftX));
    const int by = y0 - m_offsetY + static_cast<int>(std::lround(peak.shiftY));
    if (bx >= 0 && by >= 0 && bx + tw <= ov2->GetWidth() && by + th <= ov2->GetHeight()) {
        Image* b = CutBlock(ov2, bx, by, tw, th);
        DisplayImageWin0(b, nullptr, m_dispCol + tw + 1, m_dispRow);
        ReleaseImage(b);
    }
    double lo = 1, hi = -1;
    for (size_t k = 0; k < map.size(); ++k) {
        if (!valid[k]) continue;
        lo = std::min(lo, map[k]);
        hi = std::max(hi, map[k]);
    }
    auto* m = new Image(w, h, 1);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t k = static_cast<size_t>(y) * w + x;
            const double g = hi > lo && valid[k] ? (map[k] - lo) / (hi - lo) * 255.0 : 0.0;
            m->GetData()[static_cast<size_t>(y) * m->GetRowByte() + x] =
                static_cast<unsigned char>(std::clamp(g, 0.0, 255.0));
        }
    }
    DisplayImageWin0(m, nullptr, m_dispCol + 2 * (tw + 1), m_dispRow);
    ReleaseImage(m);
    // Down the window, then a column further right, then back to the start.
    if (m_dispRow + th + 2 < 531 - th) {
        m_dispRow += th + 2;
    } else {
        m_dispRow = 0;
        const int step = 2 * (w + tw + 1);
        m_dispCol = m_dispCol + step < 1000 - step ? m_dispCol + step : 0;
    }
}

int CMCCRefine::MakePeakGrid(Image* overlay1, Image* overlay2, int offsetX, int offsetY)
{
    m_peaks.clear();
    m_offsetX = offsetX;
    m_offsetY = offsetY;
    if (!Usable8Bit(overlay1) || !Usable8Bit(overlay2) || overlay1->GetChannels() != overlay2->GetChannels()) {
        Logger::log("ERROR CMCCRefine::MakePeakGrid: overlays must be 8-bit with the same 1 or 3 channels", 1);
        return 0;
    }
    const POINT offset{offsetX, offsetY};
    REGION r;
    if (!CRegions::Calc2ImgOverlapRegion(overlay1->GetWidth(), overlay1->GetHeight(), overlay2->GetWidth(),
                                         overlay2->GetHeight(), &offset, &r))
        return 0;
    // Templates with their whole shift window inside the overlap; an overlap
    // narrower than one template and window gives none.
    const int spanX = r.width - 2 * m_searchX - m_templateWidth;
    const int spanY = r.height - 2 * m_searchY - m_templateHeight;
    const int nx = spanX < 0 ? 0 : spanX / m_stepX + 1;
    const int ny = spanY < 0 ? 0 : spanY / m_stepY + 1;
    if (nx == 0 || ny == 0) return 0;

    warpfit::NccSearchImage search;
    if (!search.Init(overlay2)) return 0;
    const size_t mapSize = static_cast<size_t>(2 * m_searchX + 1) * (2 * m_searchY + 1);
    std::vector<double> map(mapSize);
    std::vector<unsigned char> valid(mapSize);
    const bool debug = GetDebugDispFlag() != 0;
    int passed = 0;
    for (int iy = 0; iy < ny; ++iy) {
        for (int ix = 0; ix < nx; ++ix) {
            const int x0 = r.x0 + m_searchX + ix * m_stepX;
            const int y0 = r.y0 + m_searchY + iy * m_stepY;
            if (TemplateCoverage(overlay1, overlay2, x0, y0) < kMinCoverage) continue;
            ++passed;
            warpfit::NccTemplate t;
            if (!t.Init(overlay1, x0, y0, m_templateWidth, m_templateHeight)) continue;
            warpfit::NccWindow(m_kernel, t, search, x0 - offsetX, y0 - offsetY, m_searchX, m_searchY, map.data(),
                               valid.data());
            MCC_PEAK peak{};
            // Without a positive correlation there is no peak to keep.
            if (!StudyWindow(map, valid, peak)) continue;
            peak.centreX = static_cast<float>((m_templateWidth - 1) / 2 + x0);
            peak.centreY = static_cast<float>((m_templateHeight - 1) / 2 + y0);
            if (debug) ShowWindow(overlay1, overlay2, x0, y0, peak, map, valid);
            m_peaks.push_back(peak);
        }
    }
    return passed;
}

void CMCCRefine::SetPeaks(const MCC_PEAK* peaks, int n, int offsetX, int offsetY)
{
    m_peaks.assign(peaks, peaks + std::max(n, 0));
    m_offsetX = offsetX;
    m_offsetY = offsetY;
}

int CMCCRefine::PickPeakPts()
{
    const int count = static_cast<int>(m_peaks.size());
    for (;;) {
        m_points[0].clear();
        m_points[1].clear();
        for (const MCC_PEAK& p : m_peaks) {
            // The shift is measured both ways: a large negative shift is as
            // far off as a large positive one.
            if (p.width1X < m_widthLimit && p.width1Y < m_widthLimit && p.value > m_peakLimit &&
                std::fabs(p.shiftX) < m_shiftLimit && std::fabs(p.shiftY) < m_shiftLimit) {
                m_points[0].push_back(POINT2{p.centreX, p.centreY});
                m_points[1].push_back(POINT2{p.centreX + p.shiftX - m_offsetX, p.centreY + p.shiftY - m_offsetY});
            }
        }
        const int picked = static_cast<int>(m_points[0].size());
        if (m_relaxed || (3 * picked >= count && picked >= 8)) return picked;
        m_relaxed = true;
        m_widthLimit += 2;
        m_peakLimit -= 2;
        m_shiftLimit += 2;
    }
}

int CMCCRefine::PeakPtsSR(TRANSFORM_RS* t1, TRANSFORM_RS* t2, const OverlayGrid& g1, const OverlayGrid& g2)
{
    if (!t1 || !t2) {
        Logger::log("ERROR CMCCRefine::PeakPtsSR: missing placements", 1);
        return 0;
    }
    const int samples = g1.samples;
    if (samples <= 0) {
        Logger::log("ERROR CMCCRefine::PeakPtsSR: invalid samples around the circle %d", 1, samples);
        m_points[0].clear();
        m_points[1].clear();
        return 0;
    }
    const double f = 2 * std::numbers::pi / samples;
    const TRANSFORM_RS* t[2] = {t1, t2};
    const OverlayGrid* g[2] = {&g1, &g2};
    std::vector<POINT2> out[2];
    for (size_t i = 0; i < m_points[0].size(); ++i) {
        POINT2 q[2];
        bool ok = true;
        for (int k = 0; k < 2 && ok; ++k) {
            const POINT2 panTilt{t[k]->pan, t[k]->tilt};
            const POINT2 sphere{static_cast<float>((g[k]->column + m_points[k][i].x) * f),
                                static_cast<float>((g[k]->row + m_points[k][i].y) * f)};
            ok = CTransformRS::TransformPtWA_inv(t[k]->scale, t[k]->roll, t[k]->rcpFocal, &panTilt, &sphere, &q[k]);
        }
        if (!ok) continue;
        out[0].push_back(q[0]);
        out[1].push_back(q[1]);
    }
    m_points[0].swap(out[0]);
    m_points[1].swap(out[1]);
    if (GetDebugDispFlag() && m_img[0] && m_img[1]) {
        Marker* g1 = CreateMarkerGroup(0, GetNameDebugWin2(), 0, 0);
        Marker* g2 = CreateMarkerGroup(1, GetNameDebugWin2(), m_img[0]->GetWidth(), 0);
        if (g1 && g2) {
            for (size_t i = 0; i < m_points[0].size(); ++i) {
                g1->AppendMarker(m_points[0][i].x + m_img[0]->GetWidth() / 2.0f,
                                 m_points[0][i].y + m_img[0]->GetHeight() / 2.0f);
                g2->AppendMarker(m_points[1][i].x + m_img[1]->GetWidth() / 2.0f,
                                 m_points[1][i].y + m_img[1]->GetHeight() / 2.0f);
            }
        }
    }
    return GetPickedCount();
}

int CMCCRefine::MainMCCRefine(PAIR_WALIGN_PRMS* prms)
{
    if (!prms) {
        Logger::log("ERROR CMCCRefine::MainMCCRefine: no parameters", 1);
        return 0;
    }
    m_overlayParam = GetMCCTu0();
    ReleaseOverlays();
    TRANSFORM_RS t1{}, t2{};
    OverlayGrid g1{}, g2{};
    Image* ov1 = nullptr;
    Image* ov2 = nullptr;
    if (!CImgComboRS::Overlay2ImgRS_0(m_img[0], m_img[1], prms, 0.0f, 0.0f, m_overlayParam, &ov1, &ov2, &t1, &t2, &g1, &g2))
        return 0;
    // The overlays come with one reference, ours.
    m_overlay[0] = ov1;
    m_overlay[1] = ov2;
    if (GetDebugDispFlag()) {
        CreateImageWindow(ov1->GetWidth() + ov2->GetWidth(), std::max(ov1->GetHeight(), ov2->GetHeight()),
                          GetNameDebugWin1());
        DisplayImageWin1(ov1, nullptr, 0, 0);
        DisplayImageWin1(ov2, nullptr, ov1->GetWidth(), 0);
    }
    const int offX = g2.column - g1.column;
    const int offY = g2.row - g1.row;
    const int templates = MakePeakGrid(ov1, ov2, offX, offY);
    PickPeakPts();
    if (GetDebugDispFlag()) {
        Marker* g1 = CreateMarkerGroup(0, GetNameDebugWin1(), 0, 0);
        Marker* g2 = CreateMarkerGroup(1, GetNameDebugWin1(), ov1->GetWidth(), 0);
        if (g1 && g2) {
            for (int i = 0; i < GetPickedCount(); ++i) {
                g1->AppendMarker(m_points[0][i].x, m_points[0][i].y);
                g2->AppendMarker(m_points[1][i].x, m_points[1][i].y);
            }
        }
    }
    PeakPtsSR(&t1, &t2, g1, g2);
    ReleaseOverlays();

    CWAlign fit(!IsFixMag(), !IsFixAperture());
    fit.InitWAlignPrms(prms);
    const int n = GetPickedCount();
    std::unique_ptr<POINT2M[]> m1(CWAlign::convertPOINT2ToM(m_points[0].data(), n));
    std::unique_ptr<POINT2M[]> m2(CWAlign::convertPOINT2ToM(m_points[1].data(), n));
    POINT2M* records[2] = {m1.get(), m2.get()};
    if (n <= 0 || !fit.InitPtPairData(m_img[0], m_img[1], records, n, 1.0f, 1)) {
        Logger::log("ERROR CMCCRefine::MainMCCRefine: %d picked pairs of %d templates are too few", 1, n, templates);
        return 0;
    }
    if (IsFixAperture()) fit.SetAperture(GetApertureDeg());
    // Only a completed fit that the picked pairs bear out replaces the
    // caller's parameters.
    if (!fit.MainWAlign(nullptr)) {
        Logger::log("ERROR CMCCRefine::MainMCCRefine: the fit to %d picked pairs failed", 1, n);
        return 0;
    }
    // Overlay pixels per image-2 pixel, the scale the peaks were found at:
    // the overlays hold g1.samples samples around the circle, an image-2
    // pixel spans t2's reciprocal focal length in radians.
    const double overlayScale = t2.rcpFocal * g1.samples / (2 * std::numbers::pi);
    const CRefineGate gate(*prms, overlayScale, std::max(m_searchX, m_searchY), "CMCCRefine::MainMCCRefine");
    std::vector<char> within;
    if (!gate.Accept(*fit.GetPrms(), m_points[0].data(), m_points[1].data(), n, within)) return 0;
    // With relaxed limits the picks may come from the part of the overlap
    // where the start happened to be close, and the fit be extrapolated over
    // the rest: a second pass around the fit must bear it out everywhere.
    if (m_relaxed && !ConfirmFit(*fit.GetPrms())) return 0;
    *prms = *fit.GetPrms();
    return templates;
}

bool CMCCRefine::ConfirmFit(const PAIR_WALIGN_PRMS& fitted) const
{
    // The second pass's windows and markers would cover the first's.
    const int display = GetDebugDispFlag();
    SetDebugDispFlag(0);
    CMCCRefine check(m_img[0], m_img[1]);
    check.m_kernel = m_kernel;
    check.m_overlayParam = m_overlayParam;
    PAIR_WALIGN_PRMS around = fitted;
    TRANSFORM_RS t1{}, t2{};
    OverlayGrid g1{}, g2{};
    bool confirmed = false;
    if (CImgComboRS::Overlay2ImgRS_0(m_img[0], m_img[1], &around, 0.0f, 0.0f, m_overlayParam, &check.m_overlay[0],
                                     &check.m_overlay[1], &t1, &t2, &g1, &g2)) {
        check.MakePeakGrid(check.m_overlay[0], check.m_overlay[1], g2.column - g1.column,
                           g2.row - g1.row);
        check.PickPeakPts();
        check.PeakPtsSR(&t1, &t2, g1, g2);
        const int n = check.GetPickedCount();
        const double overlayScale = t2.rcpFocal * g1.samples / (2 * std::numbers::pi);
        CRefineGate gate(fitted, overlayScale, std::max(m_searchX, m_searchY),
                         "CMCCRefine::MainMCCRefine (second pass around the fit)");
        // Around a right fit nearly every pick sits at its place; a fit that
        // is off over part of the overlap shows there.
        gate.SetSurvivorShare(0.9);
        std::vector<char> within;
        if (n < CRefineGate::kMinPairs)
            Logger::log("ERROR CMCCRefine::MainMCCRefine: a second pass around the fit picks only %d pairs", 1, n);
        else
            confirmed = gate.Accept(fitted, check.m_points[0].data(), check.m_points[1].data(), n, within);
    } else {
        Logger::log("ERROR CMCCRefine::MainMCCRefine: no overlays around the fit", 1);
    }
    SetDebugDispFlag(display);
    return confirmed;
}
