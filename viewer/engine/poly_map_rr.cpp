#include "viewer/engine/poly_map_rr.h"
#include "core/cpu_features.h"

#include "geometry/polykit/poly_clip.h"
#include "geometry/rowmap/row_map.h"
#include "imaging/ref_count.h"
#include "core/logger.h"
#include "platform/xformkit/transform_wa.h"
#include "viewer/engine/row_bands.h"

#include <immintrin.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// A deviation this close to a quarter turn makes the face nearly edge-on.
constexpr double kNearVerticalBand = 0.31415927;
constexpr double kHalfPi = 1.5707963267948966;

}  // namespace

struct CPolyMapRR::ScanEdge {
    double x0, y0, x1, y1;  // y0 < y1
};

namespace {

using Edge = CPolyMapRR::ScanEdge;

// Collects the non-horizontal edges of every usable contour.
std::vector<Edge> CollectEdges(const gpc_polygon& region, double& ymin, double& ymax)
{
    std::vector<Edge> edges;
    ymin = INFINITY;
    ymax = -INFINITY;
    if (region.count <= 0 || !region.contours) return edges;
    for (int c = 0; c < region.count; ++c) {
        const gpc_vertex_list& contour = region.contours[c];
        if (contour.count < 3 || !contour.points) continue;
        // A contour with a non-finite vertex has no defined inside: skip it
        // whole, so that the crossings of the others still pair up.
        const bool finite = std::all_of(contour.points, contour.points + contour.count,
                                        [](const POINT2& p) { return std::isfinite(p.x) && std::isfinite(p.y); });
        if (!finite) continue;
        for (int i = 0; i < contour.count; ++i) {
            const POINT2& a = contour.points[i];
            const POINT2& b = contour.points[(i + 1) % contour.count];
            if (a.y == b.y) continue;  // no crossing with any row
            Edge e = a.y < b.y ? Edge{a.x, a.y, b.x, b.y} : Edge{b.x, b.y, a.x, a.y};
            edges.push_back(e);
            ymin = std::min(ymin, e.y0);
            ymax = std::max(ymax, e.y1);
        }
    }
    return edges;
}

inline void PutPixel(unsigned char* d, int dstChannels, int v0, int v1, int v2, bool average)
{
    if (average && d[0] != 0) {
        d[0] = static_cast<unsigned char>((d[0] + v0) >> 1);
        if (dstChannels == 3) {
            d[1] = static_cast<unsigned char>((d[1] + v1) >> 1);
            d[2] = static_cast<unsigned char>((d[2] + v2) >> 1);
        }
        return;
    }
    d[0] = static_cast<unsigned char>(v0);
    if (dstChannels == 3) {
        d[1] = static_cast<unsigned char>(v1);
        d[2] = static_cast<unsigned char>(v2);
    }
}

}  // namespace

CPolyMapRR::CPolyMapRR() = default;

CPolyMapRR::CPolyMapRR(Image* src, Image* dst, float scale)
{
    InitImgs(src, dst, scale);
}

CPolyMapRR::~CPolyMapRR()
{
    RefRelease(m_src);
    RefRelease(m_dst);
}

CPolyMapRR::CPolyMapRR(const CPolyMapRR& other)
{
    *this = other;
}

CPolyMapRR& CPolyMapRR::operator=(const CPolyMapRR& other)
{
    if (this == &other) return *this;
    RefAdd(other.m_src);
    RefAdd(other.m_dst);
    RefRelease(m_src);
    RefRelease(m_dst);
    m_src = other.m_src;
    m_dst = other.m_dst;
    m_srcData = other.m_srcData;
    m_srcChannels = other.m_srcChannels;
    m_srcRowBytes = other.m_srcRowBytes;
    m_srcWidth = other.m_srcWidth;
    m_srcHeight = other.m_srcHeight;
    m_srcHalfWidth = other.m_srcHalfWidth;
    m_srcHalfHeight = other.m_srcHalfHeight;
    m_dstData = other.m_dstData;
    m_dstChannels = other.m_dstChannels;
    m_dstRowBytes = other.m_dstRowBytes;
    m_dstWidth = other.m_dstWidth;
    m_dstHeight = other.m_dstHeight;
    m_dstHalfWidth = other.m_dstHalfWidth;
    m_dstHalfHeight = other.m_dstHalfHeight;
    m_scale = other.m_scale;
    std::copy(std::begin(other.m_mapping), std::end(other.m_mapping), std::begin(m_mapping));
    m_nearVertical = other.m_nearVertical;
    m_bilinearInterp = other.m_bilinearInterp;
    m_transparency = other.m_transparency;
    m_savedBilinear = other.m_savedBilinear;
    m_drawnRuns = other.m_drawnRuns;
    return *this;
}

void CPolyMapRR::InitImgs(Image* src, Image* dst, float scale)
{
    RefAdd(src);
    RefAdd(dst);
    RefRelease(m_src);
    RefRelease(m_dst);
    m_src = src;
    m_dst = dst;
    m_scale = scale;
    CalcImgPrms();
}

void CPolyMapRR::CalcImgPrms()
{
    m_srcData = m_src ? m_src->GetData() : nullptr;
    m_srcChannels = m_src ? m_src->GetChannels() : 0;
    m_srcRowBytes = m_src ? m_src->GetRowByte() : 0;
    m_srcWidth = m_src ? m_src->GetWidth() : 0;
    m_srcHeight = m_src ? m_src->GetHeight() : 0;
    m_srcHalfWidth = m_srcWidth / 2;
    m_srcHalfHeight = m_srcHeight / 2;
    m_dstData = m_dst ? m_dst->GetData() : nullptr;
    m_dstChannels = m_dst ? m_dst->GetChannels() : 0;
    m_dstRowBytes = m_dst ? m_dst->GetRowByte() : 0;
    m_dstWidth = m_dst ? m_dst->GetWidth() : 0;
    m_dstHeight = m_dst ? m_dst->GetHeight() : 0;
    m_dstHalfWidth = m_dstWidth / 2;
    m_dstHalfHeight = m_dstHeight / 2;
}

bool CPolyMapRR::ImagesUsable() const
{
    auto usable = [](const Image* img) {
        return img && img->GetData() && img->GetDataType() == IMG_UINT8 && img->IsInterleaved() &&
               (img->GetChannels() == 1 || img->GetChannels() == 3) && img->GetWidth() > 0 && img->GetHeight() > 0;
    };
    return usable(m_src) && usable(m_dst);
}

bool CPolyMapRR::CalcMappingPrms(const PAIR_WALIGN_RR_PRMS2* prms)
{
    if (!prms) return false;
    // The record maps source points to destination points; drawing needs the
    // other way: the inverse pair's homography, measured from the source's
    // top-left pixel. With nearest sampling the centre is moved by half a
    // pixel so that truncating a position rounds it.
    PAIR_WALIGN_RR_PRMS2 inverse;
    CTransformWA::InvertAlignPrmsRR2(prms, &inverse);
    const float half = m_bilinearInterp ? 0.0f : 0.5f;
    const POINT2 centre{static_cast<float>(m_srcHalfWidth) + half, static_cast<float>(m_srcHalfHeight) + half};
    float m[9];
    if (!CTransformWA::PairAlignPrmsRR2toM(&inverse, nullptr, &centre, m)) {
        Logger::log("ERROR CPolyMapRR::CalcMappingPrms: no mapping for rcpF1=%f rcpF2=%f", 1, double(prms->rcpF1),
                    double(prms->rcpF2));
        return false;
    }
    for (int i = 0; i < 9; ++i) m_mapping[i] = m[i];
    m_nearVertical = std::fabs(std::fabs(double(prms->angB)) - kHalfPi) < kNearVerticalBand;
    return true;
}

int CPolyMapRR::MapRegions(const gpc_polygon* region, const PAIR_WALIGN_RR_PRMS2* prms, bool transparency)
{
    if (!ImagesUsable()) {
        Logger::log("ERROR CPolyMapRR::MapRegions: source or destination missing or not 8-bit 1/3-channel", 1);
        return 0;
    }
    m_transparency = transparency;
    if (!CalcMappingPrms(prms)) return 0;
    if (!region) return 1;
    // Mapping an image onto itself reads from a copy, so that no pixel is
    // read after it was written.
    RefPtr<Image> copy;
    if (m_src == m_dst) {
        copy = RefPtr<Image>::adopt(m_src->Duplicate());
        if (!copy) {
            Logger::log("ERROR CPolyMapRR::MapRegions: cannot copy the source", 1);
            return 0;
        }
        m_srcData = copy->GetData();
        m_srcRowBytes = copy->GetRowByte();
    }
    MapRegionRows(*region);
    m_srcData = m_src->GetData();
    m_srcRowBytes = m_src->GetRowByte();
    return 1;
}

int CPolyMapRR::MapRegions_Bilinear(const gpc_polygon* region, const PAIR_WALIGN_RR_PRMS2* prms, bool transparency)
{
    m_bilinearInterp = true;
    const int result = MapRegions(region, prms, transparency);
    m_bilinearInterp = false;
    return result;
}

int CPolyMapRR::MapImgRegions(Image* src, Image* dst, const gpc_polygon* region, const PAIR_WALIGN_RR_PRMS2* prms)
{
    InitImgs(src, dst, prms ? prms->rcpF1 : 1.0f);
    return MapRegions(region, prms, false);
}

int CPolyMapRR::MapImgRegions(Image* src, Image* dst, const gpc_polygon* region, const POINT* offset,
                              const PAIR_WALIGN_RR_PRMS2* prms, bool bilinear, float)
{
    InitImgs(src, dst, prms ? prms->rcpF1 : 1.0f);
    if (offset) {
        m_dstHalfWidth -= offset->x;
        m_dstHalfHeight -= offset->y;
    }
    m_bilinearInterp = bilinear;
    const int result = MapRegions(region, prms, false);
    m_bilinearInterp = false;
    return result;
}

// Scan conversion of the region: a row y takes the pixels whose centres lie
// between consecutive crossings of the row with the edges (even-odd). An edge
// from y0 to y1 crosses the rows y0 < y <= y1, so a row through a vertex is
// counted once and a row exactly on a top edge is not drawn.
void CPolyMapRR::MapRegionRows(const gpc_polygon& region)
{
    double ymin, ymax;
    const std::vector<Edge> edges = CollectEdges(region, ymin, ymax);
    if (edges.empty()) return;
    const double firstRow = std::max(0.0, std::floor(ymin) + 1);
    const double lastRow = std::min(double(m_dstHeight - 1), std::floor(ymax));
    if (firstRow > lastRow) return;
    // Rows write only themselves, so bands of rows run side by side.
    const int64_t pixels = static_cast<int64_t>(lastRow - firstRow + 1) * m_dstWidth;
    viewengine::ForEachRowBand(static_cast<int>(firstRow), static_cast<int>(lastRow), pixels,
                               [&](int from, int to) { ScanRows(edges, from, to); });
}

void CPolyMapRR::ScanRows(const std::vector<ScanEdge>& edges, int first, int last)
{
    std::vector<double> xs;
    for (int y = first; y <= last; ++y) {
        xs.clear();
        for (const Edge& e : edges) {
            if (e.y0 < y && y <= e.y1) xs.push_back(e.x0 + (y - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0));
        }
        std::sort(xs.begin(), xs.end());
        for (size_t k = 0; k + 1 < xs.size(); k += 2) {
            const double left = std::max(0.0, std::floor(xs[k] + 0.999999));
            const double right = std::min(double(m_dstWidth - 1), std::floor(xs[k + 1]));
            if (left <= right) MapOneSector(y, static_cast<int>(left), static_cast<int>(right));
        }
    }
}

bool CPolyMapRR::BeginRegionRows(const PAIR_WALIGN_RR_PRMS2* prms, bool transparency, bool bilinear)
{
    if (!ImagesUsable()) {
        Logger::log("ERROR CPolyMapRR::MapRegions: source or destination missing or not 8-bit 1/3-channel", 1);
        return false;
    }
    if (m_src == m_dst) return false;
    m_savedBilinear = m_bilinearInterp;
    m_bilinearInterp = bilinear || m_bilinearInterp;
    m_transparency = transparency;
    if (CalcMappingPrms(prms)) return true;
    m_bilinearInterp = m_savedBilinear;
    return false;
}

void CPolyMapRR::MapRegionRows(const gpc_polygon& region, int fromRow, int toRow)
{
    // The rows of MapRegionRows(region) that lie in fromRow .. toRow.
    double ymin, ymax;
    const std::vector<Edge> edges = CollectEdges(region, ymin, ymax);
    if (edges.empty()) return;
    const double firstRow = std::max({0.0, std::floor(ymin) + 1, double(fromRow)});
    const double lastRow = std::min({double(m_dstHeight - 1), std::floor(ymax), double(toRow)});
    if (firstRow > lastRow) return;
    ScanRows(edges, static_cast<int>(firstRow), static_cast<int>(lastRow));
}

void CPolyMapRR::EndRegionRows()
{
    m_bilinearInterp = m_savedBilinear;
}

void CPolyMapRR::MapOneStrip(gpc_vertex_list* strip)
{
    if (!strip || strip->count < 3 || !strip->points || !ImagesUsable()) return;
    gpc_ladder ladder{0, nullptr};
    CPolyClip::gpc_tristrip_to_ladders(strip, &ladder);
    for (int i = 0; i < ladder.count; ++i) MapOneLadder(ladder.rungs[i]);
    CPolyClip::gpc_free_ladder(&ladder);
}

void CPolyMapRR::MapOneLadder(gpc_vertex_list* rung)
{
    if (!rung || rung->count != 4 || !rung->points || !ImagesUsable()) return;
    const POINT2* v = rung->points;
    for (int i = 0; i < 4; ++i)
        if (!std::isfinite(v[i].x) || !std::isfinite(v[i].y)) return;
    // The pair nearer the top of the image is the trapezoid's top; within
    // each pair the smaller x is the left end.
    const bool firstOnTop = v[0].y <= v[2].y;
    const POINT2& ta = firstOnTop ? v[0] : v[2];
    const POINT2& tb = firstOnTop ? v[1] : v[3];
    const POINT2& ba = firstOnTop ? v[2] : v[0];
    const POINT2& bb = firstOnTop ? v[3] : v[1];
    const double y0 = std::min(ta.y, tb.y), y1 = std::max(ba.y, bb.y);
    if (y1 - y0 < 0.001) return;
    const double topL = std::min(ta.x, tb.x), topR = std::max(ta.x, tb.x);
    const double botL = std::min(ba.x, bb.x), botR = std::max(ba.x, bb.x);
    const double firstRow = std::max(0.0, std::floor(y0) + 1);
    const double lastRow = std::min(double(m_dstHeight - 1), std::floor(y1));
    for (double row = firstRow; row <= lastRow; ++row) {
        const double t = (row - y0) / (y1 - y0);
        const double xl = topL + t * (botL - topL), xr = topR + t * (botR - topR);
        const double left = std::max(0.0, std::floor(xl + 0.999999));
        const double right = std::min(double(m_dstWidth - 1), std::floor(xr));
        if (left <= right) MapOneSector(static_cast<int>(row), static_cast<int>(left), static_cast<int>(right));
    }
}

void CPolyMapRR::MapOneSector(int y, int x0, int x1)
{
    if (m_bilinearInterp) MapOneSector_Dw_Bilinear(y, x0, x1);
    else MapOneSector_Dw(y, x0, x1);
}

void CPolyMapRR::SourceAt(int x, int y, double& sx, double& sy, double& sw) const
{
    const double rx = x - m_dstHalfWidth, ry = y - m_dstHalfHeight;
    sx = m_mapping[0] * rx + m_mapping[1] * ry + m_mapping[2];
    sy = m_mapping[3] * rx + m_mapping[4] * ry + m_mapping[5];
    sw = m_mapping[6] * rx + m_mapping[7] * ry + m_mapping[8];
}

bool CPolyMapRR::SourceInside(int x, int y, double maxX, double maxY, double margin, double& sx, double& sy) const
{
    double nx, ny, w;
    SourceAt(x, y, nx, ny, w);
    if (!(w > 0)) return false;
    sx = nx / w;
    sy = ny / w;
    return sx >= margin && sx <= maxX && sy >= margin && sy <= maxY;
}

// The pixels of a row that sample the source form one run: the source is
// convex and the row maps to a segment (or a ray) of the source plane. So a
// span is trimmed from both ends and the rest copied without tests.
void CPolyMapRR::MapOneSector_Dw(int y, int x0, int x1)
{
    // Truncation picks pixel (int) sx: positions below the width qualify.
    const double maxX = std::nextafter(double(m_srcWidth), 0.0), maxY = std::nextafter(double(m_srcHeight), 0.0);
    double sx, sy;
    while (x0 <= x1 && !SourceInside(x0, y, maxX, maxY, 0.0, sx, sy)) ++x0;
    while (x1 >= x0 && !SourceInside(x1, y, maxX, maxY, 0.0, sx, sy)) --x1;
    if (x0 <= x1) {
        CopySpanNearest(y, x0, x1);
        NoteDrawn(y, x0, x1);
    }
}

void CPolyMapRR::MapOneSector_Dw_NoCheck(int y, int x0, int x1)
{
    if (!m_srcData || !m_dstData || x0 > x1) return;
    CopySpanNearest(y, x0, x1);
    NoteDrawn(y, x0, x1);
}

// The homography evaluated along the row, one division per pixel. The
// source offsets of a block of pixels are computed first (a loop the
// compiler runs two pixels at a time), then the samples copied. A position
// can differ from the trimming's in the last bits, so the indices are held
// inside the source.
namespace {

// Source offsets of n pixels along a row: pixel i samples
// ((nx0 + i dnx) / (w0 + i dw), (ny0 + i dny) / (w0 + i dw)), held inside
// [0, lastX] x [0, lastY] and truncated. Both forms do the same IEEE double
// operations in the same order (no contraction), so they give the same
// offsets.
struct NearestRow {
    double nx0, ny0, w0, dnx, dny, dw, lastX, lastY;
    int32_t srcRow, channels;
};

void NearestOffsetsPortable(const NearestRow& r, int n, int32_t* offsets, int from = 0)
{
    for (int i = from; i < n; ++i) {
        const double inv = 1.0 / (r.w0 + i * r.dw);
        const double sx = std::min(std::max((r.nx0 + i * r.dnx) * inv, 0.0), r.lastX);
        const double sy = std::min(std::max((r.ny0 + i * r.dny) * inv, 0.0), r.lastY);
        offsets[i] = static_cast<int32_t>(sy) * r.srcRow + static_cast<int32_t>(sx) * r.channels;
    }
}

// Four pixels per step; the tail goes through the portable loop.
__attribute__((target("avx2"))) void NearestOffsetsAvx2(const NearestRow& r, int n, int32_t* offsets)
{
    const __m256d nx0 = _mm256_set1_pd(r.nx0), ny0 = _mm256_set1_pd(r.ny0), w0 = _mm256_set1_pd(r.w0);
    const __m256d dnx = _mm256_set1_pd(r.dnx), dny = _mm256_set1_pd(r.dny), dw = _mm256_set1_pd(r.dw);
    const __m256d lastX = _mm256_set1_pd(r.lastX), lastY = _mm256_set1_pd(r.lastY);
    const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0), four = _mm256_set1_pd(4.0);
    const __m128i row = _mm_set1_epi32(r.srcRow), channels = _mm_set1_epi32(r.channels);
    __m256d index = _mm256_set_pd(3, 2, 1, 0);
    int i = 0;
    for (; i + 4 <= n; i += 4, index = _mm256_add_pd(index, four)) {
        const __m256d inv = _mm256_div_pd(one, _mm256_add_pd(w0, _mm256_mul_pd(index, dw)));
        // max(v, 0) gives 0 where v is not a number; the span is trimmed so
        // that never happens on a drawn pixel.
        const __m256d sx =
            _mm256_min_pd(_mm256_max_pd(_mm256_mul_pd(_mm256_add_pd(nx0, _mm256_mul_pd(index, dnx)), inv), zero), lastX);
        const __m256d sy =
            _mm256_min_pd(_mm256_max_pd(_mm256_mul_pd(_mm256_add_pd(ny0, _mm256_mul_pd(index, dny)), inv), zero), lastY);
        const __m128i off = _mm_add_epi32(_mm_mullo_epi32(_mm256_cvttpd_epi32(sy), row),
                                          _mm_mullo_epi32(_mm256_cvttpd_epi32(sx), channels));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(offsets + i), off);
    }
    for (; i < n; ++i) {
        const double inv = 1.0 / (r.w0 + i * r.dw);
        const double sx = std::min(std::max((r.nx0 + i * r.dnx) * inv, 0.0), r.lastX);
        const double sy = std::min(std::max((r.ny0 + i * r.dny) * inv, 0.0), r.lastY);
        offsets[i] = static_cast<int32_t>(sy) * r.srcRow + static_cast<int32_t>(sx) * r.channels;
    }
}

// The source offsets of the four pixels at `index` (NearestOffsetsAvx2's
// operations).
__attribute__((target("avx2"), always_inline)) inline __m128i Offsets4(__m256d index, __m256d nx0, __m256d ny0,
                                                                       __m256d w0, __m256d dnx, __m256d dny,
                                                                       __m256d dw, __m256d lastX, __m256d lastY,
                                                                       __m128i row, __m128i channels)
{
    const __m256d zero = _mm256_setzero_pd();
    const __m256d inv = _mm256_div_pd(_mm256_set1_pd(1.0), _mm256_add_pd(w0, _mm256_mul_pd(index, dw)));
    const __m256d sx =
        _mm256_min_pd(_mm256_max_pd(_mm256_mul_pd(_mm256_add_pd(nx0, _mm256_mul_pd(index, dnx)), inv), zero), lastX);
    const __m256d sy =
        _mm256_min_pd(_mm256_max_pd(_mm256_mul_pd(_mm256_add_pd(ny0, _mm256_mul_pd(index, dny)), inv), zero), lastY);
    return _mm_add_epi32(_mm_mullo_epi32(_mm256_cvttpd_epi32(sy), row), _mm_mullo_epi32(_mm256_cvttpd_epi32(sx), channels));
}

// Three-byte pixels copied straight from the positions, eight at a time:
// the offsets of NearestOffsetsAvx2 (the same operations), four bytes of
// each sample gathered at once, packed to 24 bytes and stored as exactly 24.
// A group with a sample whose fourth byte would lie past the source
// (offset above lastFour) is copied three bytes a pixel. Returns the pixels
// done: a multiple of eight, the rest is the caller's.
__attribute__((target("avx2"))) int NearestRgbAvx2(const NearestRow& r, int n, const unsigned char* src,
                                                   int32_t lastFour, unsigned char* d)
{
    const __m256d nx0 = _mm256_set1_pd(r.nx0), ny0 = _mm256_set1_pd(r.ny0), w0 = _mm256_set1_pd(r.w0);
    const __m256d dnx = _mm256_set1_pd(r.dnx), dny = _mm256_set1_pd(r.dny), dw = _mm256_set1_pd(r.dw);
    const __m256d lastX = _mm256_set1_pd(r.lastX), lastY = _mm256_set1_pd(r.lastY);
    const __m256d four = _mm256_set1_pd(4.0);
    const __m128i row = _mm_set1_epi32(r.srcRow), channels = _mm_set1_epi32(r.channels);
    const __m256i limit = _mm256_set1_epi32(lastFour);
    // Within each half: bytes 0-2 of each of the four samples, then nothing.
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8,
                                          9, 10, 12, 13, 14, -1, -1, -1, -1);
    // The two halves' twelve bytes side by side.
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    __m256d index = _mm256_set_pd(3, 2, 1, 0);
    int i = 0;
    for (; i + 8 <= n; i += 8, d += 24) {
        const __m128i lo = Offsets4(index, nx0, ny0, w0, dnx, dny, dw, lastX, lastY, row, channels);
        index = _mm256_add_pd(index, four);
        const __m128i hi = Offsets4(index, nx0, ny0, w0, dnx, dny, dw, lastX, lastY, row, channels);
        index = _mm256_add_pd(index, four);
        const __m256i off = _mm256_set_m128i(hi, lo);
        if (!_mm256_testz_si256(_mm256_cmpgt_epi32(off, limit), _mm256_set1_epi32(-1))) {
            alignas(32) int32_t o[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(o), off);
            for (int k = 0; k < 8; ++k) std::memcpy(d + 3 * k, src + o[k], 3);
            continue;
        }
        const __m256i samples = _mm256_i32gather_epi32(reinterpret_cast<const int*>(src), off, 1);
        const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(samples, pack), join);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(packed));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm256_extracti128_si256(packed, 1));
    }
    return i;
}

bool g_portableRows = false;

bool HasAvx2()
{
    return cpu::HasAvx2() && !g_portableRows;
}

}  // namespace

void CPolyMapRR::UsePortableRows(bool on) { g_portableRows = on; }

void CPolyMapRR::CopySpanNearest(int y, int x0, int x1)
{
    double nx0, ny0, w0;
    const double dnx = m_mapping[0], dny = m_mapping[3], dw = m_mapping[6];
    const double lastX = m_srcWidth - 1, lastY = m_srcHeight - 1;
    const int sc = m_srcChannels, dc = m_dstChannels, srcRow = m_srcRowBytes;
    constexpr int kBlock = 256;
    int32_t offsets[kBlock];
    const bool rgbCopy = sc == 3 && dc == 3 && !m_transparency;
    // The last source offset from which four bytes can be read.
    const size_t srcBytes = m_src->GetDataSize();
    const int32_t lastFour = srcBytes < 4 ? -1 : static_cast<int32_t>(std::min<size_t>(srcBytes - 4, INT32_MAX));
    for (int xb = x0; xb <= x1; xb += kBlock) {
        const int n = std::min(kBlock, x1 - xb + 1);
        SourceAt(xb, y, nx0, ny0, w0);
        const NearestRow r{nx0, ny0, w0, dnx, dny, dw, lastX, lastY, srcRow, sc};
        unsigned char* d = m_dstData + static_cast<size_t>(y) * m_dstRowBytes + static_cast<size_t>(xb) * dc;
        if (rgbCopy && HasAvx2()) {
            const int done = NearestRgbAvx2(r, n, m_srcData, lastFour, d);
            NearestOffsetsPortable(r, n, offsets, done);
            for (int i = done; i < n; ++i) std::memcpy(d + 3 * i, m_srcData + offsets[i], 3);
            continue;
        }
        if (HasAvx2()) NearestOffsetsAvx2(r, n, offsets);
        else NearestOffsetsPortable(r, n, offsets);
        if (rgbCopy) {
            // Four bytes moved per pixel: the fourth lands on the next
            // pixel of the span, which is written after it. The span's last
            // pixel, and a sample whose fourth byte would lie past the
            // source, move three.
            int i = 0;
            for (; i < n - 1; ++i, d += 3) {
                const unsigned char* s = m_srcData + offsets[i];
                if (offsets[i] <= lastFour) {
                    uint32_t v;
                    std::memcpy(&v, s, 4);
                    std::memcpy(d, &v, 4);
                } else {
                    d[0] = s[0];
                    d[1] = s[1];
                    d[2] = s[2];
                }
            }
            const unsigned char* s = m_srcData + offsets[i];
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            continue;
        }
        for (int i = 0; i < n; ++i, d += dc) {
            const unsigned char* s = m_srcData + offsets[i];
            if (sc == 3) PutPixel(d, dc, s[0], s[1], s[2], m_transparency);
            else PutPixel(d, dc, s[0], s[0], s[0], m_transparency);
        }
    }
}

// Bilinear sampling between the four source pixels around the position; a
// position on the last column or row takes its weight from that pixel alone.
// A first sample that comes out 0 is written as 1: 0 marks missing data.
void CPolyMapRR::BilinearPixel(unsigned char* d, double sx, double sy) const
{
    const int sc = m_srcChannels;
    const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
    const float fx = static_cast<float>(sx - ix), fy = static_cast<float>(sy - iy);
    const int stepX = ix < m_srcWidth - 1 ? sc : 0;
    const int stepY = iy < m_srcHeight - 1 ? m_srcRowBytes : 0;
    const unsigned char* p00 = m_srcData + static_cast<size_t>(iy) * m_srcRowBytes + static_cast<size_t>(ix) * sc;
    const unsigned char* p10 = p00 + stepX;
    const unsigned char* p01 = p00 + stepY;
    const unsigned char* p11 = p01 + stepX;
    const float w00 = (1 - fx) * (1 - fy), w10 = fx * (1 - fy), w01 = (1 - fx) * fy, w11 = fx * fy;
    auto interp = [&](int c) { return w00 * p00[c] + w10 * p10[c] + w01 * p01[c] + w11 * p11[c]; };
    int v0, v1, v2;
    if (sc == 3 && m_dstChannels == 3) {
        v0 = std::min(255, static_cast<int>(interp(0) + 0.5f));
        v1 = std::min(255, static_cast<int>(interp(1)));
        v2 = std::min(255, static_cast<int>(interp(2)));
    } else if (sc == 3) {
        v0 = v1 = v2 = std::min(255, static_cast<int>((interp(0) + interp(1) + interp(2)) / 3));
    } else {
        v0 = v1 = v2 = std::min(255, static_cast<int>(interp(0)));
    }
    if (v0 == 0) v0 = 1;
    PutPixel(d, m_dstChannels, v0, v1, v2, m_transparency);
}

void CPolyMapRR::MapOneSector_Dw_Bilinear(int y, int x0, int x1)
{
    if (m_srcChannels == m_dstChannels && TestMMX()) {
        MapBilinearRuns(y, x0, x1);
        return;
    }
    double nx, ny, w;
    SourceAt(x0, y, nx, ny, w);
    const double dnx = m_mapping[0], dny = m_mapping[3], dw = m_mapping[6];
    const double maxX = m_srcWidth - 1, maxY = m_srcHeight - 1;
    unsigned char* d = m_dstData + static_cast<size_t>(y) * m_dstRowBytes + static_cast<size_t>(x0) * m_dstChannels;
    int runStart = -1;  // first pixel of the run being drawn
    for (int x = x0; x <= x1; ++x, nx += dnx, ny += dny, w += dw, d += m_dstChannels) {
        const bool front = w > 0;
        const double inv = front ? 1.0 / w : 0.0;
        const double sx = nx * inv, sy = ny * inv;
        if (!front || !(sx >= 0 && sx <= maxX && sy >= 0 && sy <= maxY)) {
            if (runStart >= 0) NoteDrawn(y, runStart, x - 1);
            runStart = -1;
            continue;
        }
        BilinearPixel(d, sx, sy);
        if (runStart < 0) runStart = x;
    }
    if (runStart >= 0) NoteDrawn(y, runStart, x1);
}

namespace {

// The row remapper steps its position in single precision (rounding toward
// zero): after k steps a position of up to S pixels can be off by about
// 2.4e-7 k S. Runs are kept short enough (k S at most 800,000) for that to
// stay below 0.2 pixel, and clear of the source's last row and column by a
// margin that covers it.
constexpr int kRemapRunMax = 256;
constexpr double kRemapRunSpan = 800000.0;
constexpr double kRemapMargin = 0.25;

}  // namespace

void CPolyMapRR::MapBilinearRuns(int y, int x0, int x1)
{
    const double maxX = m_srcWidth - 1, maxY = m_srcHeight - 1;
    // A position below the last column and row reads its right and lower
    // neighbours inside the source.
    const double runMaxX = maxX - kRemapMargin, runMaxY = maxY - kRemapMargin;
    unsigned char* row = m_dstData + static_cast<size_t>(y) * m_dstRowBytes;
    const int channels = m_dstChannels;
    double sx, sy;
    // The pixels that sample the source, then those clear of its rim: each
    // one run of the row (see MapOneSector_Dw).
    while (x0 <= x1 && !SourceInside(x0, y, maxX, maxY, 0.0, sx, sy)) ++x0;
    while (x1 >= x0 && !SourceInside(x1, y, maxX, maxY, 0.0, sx, sy)) --x1;
    if (x0 <= x1) NoteDrawn(y, x0, x1);
    int a = x0, b = x1;
    while (a <= b && !SourceInside(a, y, runMaxX, runMaxY, kRemapMargin, sx, sy)) {
        BilinearPixel(row + static_cast<size_t>(a) * channels, sx, sy);
        ++a;
    }
    while (b >= a && !SourceInside(b, y, runMaxX, runMaxY, kRemapMargin, sx, sy)) {
        BilinearPixel(row + static_cast<size_t>(b) * channels, sx, sy);
        --b;
    }
    const double dnx = m_mapping[0], dny = m_mapping[3], dw = m_mapping[6];
    const int run = std::clamp(static_cast<int>(kRemapRunSpan / std::max(m_srcWidth, m_srcHeight)), 1, kRemapRunMax);
    for (int x = a; x <= b; x += run) {
        const int n = std::min(run, b - x + 1);
        double nx, ny, w;
        SourceAt(x, y, nx, ny, w);
        MapOneRowBilinear(static_cast<float>(w), static_cast<float>(nx), static_cast<float>(ny),
                          static_cast<float>(dnx), static_cast<float>(dny), static_cast<float>(dw), n, channels,
                          m_srcRowBytes, m_srcData, row + static_cast<size_t>(x) * channels, m_transparency);
    }
}
