#include "adjust/blendkit/inten_pairs.h"

#include "core/logger.h"
#include "geometry/polykit/poly_clip.h"
#include "geometry/polykit/poly_geom.h"
#include "imaging/image.h"

#include <algorithm>
#include <cmath>

int CImgRegion::ImgRegionAvg(const Image* img, int x, int y, int w, int h, float out[3])
{
    out[0] = out[1] = out[2] = 0.0f;
    if (img == nullptr || img->GetData() == nullptr || img->GetDataType() != IMG_UINT8 || img->GetChannels() < 3 ||
        !img->IsInterleaved()) {
        Logger::log("ERROR CImgRegion::ImgRegionAvg needs an 8-bit image of three channels", 1);
        return 0;
    }
    // The box is kept inside the image; pixels outside count as absent.
    const int xa = std::max(0, x), ya = std::max(0, y);
    const int xb = std::min(img->GetWidth(), x + std::max(0, w));
    const int yb = std::min(img->GetHeight(), y + std::max(0, h));
    const int px = img->GetPixelBytes();
    double sum[3] = {0.0, 0.0, 0.0};
    int n = 0;
    for (int yy = ya; yy < yb; ++yy) {
        const unsigned char* row = img->GetData() + static_cast<size_t>(yy) * img->GetRowByte();
        for (int xx = xa; xx < xb; ++xx) {
            const unsigned char* p = row + static_cast<size_t>(xx) * px;
            if (p[0] == 0 || p[1] == 0 || p[2] == 0) continue;
            sum[0] += p[0];
            sum[1] += p[1];
            sum[2] += p[2];
            ++n;
        }
    }
    if (n == 0) return 0;
    for (int c = 0; c < 3; ++c) out[c] = static_cast<float>(sum[c] / n);
    return n;
}

bool CImgRegion::MakeIntenPairs(const Image* a, const Image* b, IGenTmpl* sampler, int percent, INTEN_PAIRS* out)
{
    FreeIntenPairs(out);
    if (sampler == nullptr || a == nullptr || b == nullptr) return false;
    const int n = sampler->GetBoxCount();
    const int w = sampler->GetBoxW(), h = sampler->GetBoxH();
    if (n <= 0) return false;
    out->entries = new float[static_cast<size_t>(n) * 6];
    out->count = n;
    const float need = static_cast<float>(w - 1) * static_cast<float>(h - 1) * static_cast<float>(percent) / 100.0f;
    for (int i = 0; i < n; ++i) {
        float* e = out->entries + 6 * i;
        std::fill(e, e + 6, -1.0f);
        if (static_cast<float>(sampler->GetBoxArea(i)) < need) continue;
        const POINT2 c = sampler->GetBoxCentre(i);
        const int x = static_cast<int>(c.x) - w / 2, y = static_cast<int>(c.y) - h / 2;
        float pa[3], pb[3];
        if (ImgRegionAvg(a, x, y, w, h, pa) == 0 || ImgRegionAvg(b, x, y, w, h, pb) == 0) continue;
        std::copy(pa, pa + 3, e);
        std::copy(pb, pb + 3, e + 3);
    }
    return n > 3;
}

void CIntenPairs::InitPrms(Image* a, Image* b, gpc_polygon* overlap)
{
    m_a = a;
    m_b = b;
    m_width = a != nullptr ? a->GetWidth() : 0;
    m_height = a != nullptr ? a->GetHeight() : 0;
    m_overlap = overlap;
    m_coverage = 95;
    m_boxCount = 0;
    m_boxAreas.clear();
}

void CIntenPairs::MakeFakeIntenPairs(INTEN_PAIRS* out)
{
    FreeIntenPairs(out);
    out->entries = new float[12];
    std::fill(out->entries, out->entries + 6, 100.0f);
    std::fill(out->entries + 6, out->entries + 12, 200.0f);
    out->count = 2;
}

bool CIntenPairs::LayGrid(int s, int w, int h)
{
    m_cols = m_rows = 0;
    if (s < 1) return false;
    // A negative remainder means not even one box fits.
    const int remX = m_width - std::max(s, w) - 2;
    const int remY = m_height - std::max(s, h) - 2;
    m_cols = remX >= 0 ? remX / s + 1 : 0;
    m_rows = remY >= 0 ? remY / s + 1 : 0;
    m_boxW = w;
    m_boxH = h;
    m_stepX = m_stepY = s;
    m_x0 = std::max(s, w) / 2 + 1;
    m_y0 = std::max(s, h) / 2 + 1;
    return m_cols >= 1 && m_rows >= 1 && m_cols * m_rows >= 2;
}

bool CIntenPairs::MainIntenPairs(int n, int boxW, int boxH, INTEN_PAIRS* out)
{
    if (m_a == nullptr || m_b == nullptr || m_overlap == nullptr || n < 1 || boxW < 1 || boxH < 1) {
        MakeFakeIntenPairs(out);
        return false;
    }
    const double area = 0.8 * m_width * m_height;
    if (!LayGrid(static_cast<int>(std::sqrt(area / n)), boxW, boxH) &&
        !LayGrid(static_cast<int>(std::sqrt(area * 0.25)), 10, 10)) {
        MakeFakeIntenPairs(out);
        return false;
    }
    m_boxCount = m_cols * m_rows;
    CalcBoxAreas();

    INTEN_PAIRS all{nullptr, 0};
    CImgRegion::MakeIntenPairs(m_a, m_b, this, m_coverage, &all);
    int kept = 0;
    for (int i = 0; i < all.count; ++i)
        if (all.entries[6 * i] >= 0.0f) ++kept;
    if (kept < 2) {
        FreeIntenPairs(&all);
        MakeFakeIntenPairs(out);
        return false;
    }
    FreeIntenPairs(out);
    out->entries = new float[static_cast<size_t>(kept) * 6];
    out->count = kept;
    int k = 0;
    for (int i = 0; i < all.count; ++i)
        if (all.entries[6 * i] >= 0.0f) std::copy(all.entries + 6 * i, all.entries + 6 * i + 6, out->entries + 6 * k++);
    FreeIntenPairs(&all);
    return true;
}

int BoxAreaInPolygon(gpc_polygon* polygon, int x, int y, int w, int h)
{
    if (polygon == nullptr) return 0;
    REGION box{};
    box.x0 = x;
    box.y0 = y;
    box.x1 = x + w - 1;
    box.y1 = y + h - 1;
    box.width = w;
    box.height = h;
    gpc_polygon* part = CPolyGeom::IntPolygonBox(polygon, &box);
    float sum = 0.0f;
    if (part != nullptr) {
        // An overlap of two footprints is convex-sided and without holes,
        // so its pieces in a box are disjoint contours.
        for (int k = 0; k < part->count; ++k)
            sum += CPolyGeom::CalcArea(part->contours[k].points, part->contours[k].count);
        CPolyClip::gpc_free_polygon(part);
        delete part;
    }
    return static_cast<int>(sum);
}

void CIntenPairs::CalcBoxAreas()
{
    m_boxAreas.assign(static_cast<size_t>(std::max(0, m_boxCount)), 0);
    for (int i = 0; i < m_boxCount; ++i) {
        const POINT2 c = GetBoxCentre(i);
        m_boxAreas[i] = BoxAreaInPolygon(m_overlap, static_cast<int>(c.x) - m_boxW / 2,
                                         static_cast<int>(c.y) - m_boxH / 2, m_boxW, m_boxH);
    }
}

POINT2 CIntenPairs::GetBoxCentre(int i)
{
    if (i < 0 || i >= m_boxCount || m_cols < 1) return POINT2{-1.0f, -1.0f};
    return POINT2{static_cast<float>(m_x0 + (i % m_cols) * m_stepX), static_cast<float>(m_y0 + (i / m_cols) * m_stepY)};
}

int CIntenPairs::GetBoxArea(int i)
{
    if (i < 0 || i >= static_cast<int>(m_boxAreas.size())) return 0;
    return m_boxAreas[i];
}
