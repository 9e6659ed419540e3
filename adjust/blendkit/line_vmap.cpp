#include "adjust/blendkit/line_vmap.h"

#include "adjust/blendkit/inten_pairs.h"
#include "align/pairlock/ncc_make.h"
#include "align/pairlock/cncc_maps.h"
#include "align/pairlock/peak_shape.h"
#include "core/logger.h"
#include "imaging/image.h"

#include <cmath>
#include <memory>
#include <vector>

namespace {

// The line samples as sample boxes for CImgRegion::MakeIntenPairs.
class LineSampler : public IGenTmpl {
public:
    LineSampler(const std::vector<POINT>& pts, gpc_polygon* overlap) : m_pts(pts)
    {
        for (const POINT& p : m_pts)
            m_areas.push_back(BoxAreaInPolygon(overlap, p.x - CLineVMap::kBox / 2, p.y - CLineVMap::kBox / 2,
                                               CLineVMap::kBox, CLineVMap::kBox));
    }
    int GetBoxCount() override { return static_cast<int>(m_pts.size()); }
    POINT2 GetBoxCentre(int i) override
    {
        return POINT2{static_cast<float>(m_pts[i].x), static_cast<float>(m_pts[i].y)};
    }
    int GetBoxArea(int i) override { return m_areas[i]; }
    int GetBoxW() override { return CLineVMap::kBox; }
    int GetBoxH() override { return CLineVMap::kBox; }

private:
    std::vector<POINT> m_pts;
    std::vector<int> m_areas;
};

}  // namespace

CDivLineRR::CDivLineRR(Image* a, Image* b, gpc_polygon* overlap, POINT& offsetA, POINT& offsetB, int flag)
{
    SetImgsINT(a, b, overlap);
    SetTransformINT(offsetA, offsetB, flag);
}

void CDivLineRR::SetImgsINT(Image* a, Image* b, gpc_polygon* overlap)
{
    m_imgA = a;
    m_imgB = b;
    m_overlap = overlap;
}

void CDivLineRR::SetTransformINT(POINT& offsetA, POINT& offsetB, int flag)
{
    m_offsetA = offsetA;
    m_offsetB = offsetB;
    m_flag = flag;
}

bool CDivLineRR::MainDivLineRR(gpc_polygon* a, gpc_polygon* b, int, int)
{
    if (a == nullptr || b == nullptr || a->count < 1 || b->count < 1) return false;
    if (!TwoPolygonIntSegments(a, b)) return false;
    return GetOneIntJts(0, 0) != nullptr && GetOneIntJts(0, 1) != nullptr;
}

bool CLineVMap::LineSampling(float length, int* count, float* spacing)
{
    if (!(length > 0.0f) || !std::isfinite(length)) return false;
    float s = static_cast<float>(kBox);
    int n = static_cast<int>(length / s) - 1;
    if (n < 5) {
        s *= 0.5f;
        n = static_cast<int>(length / s) - 1;
    }
    if (n < 5) return false;
    *count = n;
    *spacing = length / static_cast<float>(n + 1);
    return true;
}

bool CLineVMap::MainLineVMap(Image* a, Image* b, CDivLineRR* line, ONE_DL_V_MAP** out, int* count)
{
    if (out == nullptr || count == nullptr) return false;
    *out = nullptr;
    *count = 0;
    if (a == nullptr || b == nullptr || line == nullptr || a->GetWidth() != b->GetWidth() ||
        a->GetHeight() != b->GetHeight() || a->GetChannels() < 3 || b->GetChannels() < 3) {
        Logger::log("ERROR CLineVMap::MainLineVMap needs two overlap images of one size and three channels", 1);
        return false;
    }
    const POINT2* j0 = line->GetOneIntJts(0, 0);
    const POINT2* j1 = line->GetOneIntJts(0, 1);
    if (j0 == nullptr || j1 == nullptr) return false;
    const POINT2 start = *j0, end = *j1;
    const float length = std::hypot(end.x - start.x, end.y - start.y);
    int n = 0;
    float spacing = 0.0f;
    if (!LineSampling(length, &n, &spacing)) return false;

    std::vector<POINT> pts(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        const float t = static_cast<float>(k + 1) / static_cast<float>(n + 1);
        pts[k].x = static_cast<int32_t>(std::lround(start.x + t * (end.x - start.x)));
        pts[k].y = static_cast<int32_t>(std::lround(start.y + t * (end.y - start.y)));
    }

    // Colours: the mean of each box in both images.
    LineSampler sampler(pts, line->GetOverlap());
    INTEN_PAIRS colours{nullptr, 0};
    CImgRegion::MakeIntenPairs(a, b, &sampler, kCoverage, &colours);

    // Displacements: the template of the second image at the sample, its
    // correlation over the first image within the search.
    const int W = a->GetWidth(), H = a->GetHeight();
    const int reach = kBox / 2 + kSearch;
    const int nx = CCNCCMaps::GoodSize(kBox + 2 * kSearch + 1, 10);
    const int ny = nx;
    std::unique_ptr<CNCCMake> maker;
    std::vector<float> w1, w2;

    auto* records = new ONE_DL_V_MAP[static_cast<size_t>(n)];
    for (int k = 0; k < n; ++k) {
        ONE_DL_V_MAP& r = records[k];
        r.x = pts[k].x;
        r.y = pts[k].y;
        r.along = static_cast<float>(k + 1) * spacing;
        r.dx = r.dy = -1.0f;
        for (int c = 0; c < 3; ++c) {
            r.colorA[c] = colours.count == n ? colours.entries[6 * k + c] : -1.0f;
            r.colorB[c] = colours.count == n ? colours.entries[6 * k + 3 + c] : -1.0f;
        }
        // The box, the search and the correlation window stay in the images.
        const int half = std::max(reach, nx / 2 + 1);
        if (r.x - half < 0 || r.y - half < 0 || r.x + half >= W || r.y + half >= H) continue;
        if (!maker) {
            maker = std::make_unique<CNCCMake>();
            if (maker->CChannelImgs::InitPrms(a, b, 7, nullptr) != 0 || maker->MakeAvgImgs(kBox, kBox) != 1) {
                Logger::log("ERROR CLineVMap::MainLineVMap cannot prepare the correlation images", 1);
                break;
            }
            maker->InitPrms(0);
            w1.assign(static_cast<size_t>(nx) * ny, 0.0f);
            w2.assign(w1.size(), 0.0f);
        }
        maker->SetGridTmplInfo(r.x, r.y, kBox, kBox, 1, 1);
        COneNCCMap map;
        map.centre = POINT{r.x, r.y};
        if (maker->MakeOneNCCMap_cut(&map, w1.data(), w2.data(), nx, ny, 0, 0, nullptr, 0) != 1 ||
            map.nccMap == nullptr)
            continue;
        if (std::abs(map.peak.x) > kSearch || std::abs(map.peak.y) > kSearch) continue;
        POINT2 at{map.peakCol, map.peakRow};
        CPeakShape shape;
        std::unique_ptr<ONE_CC_PEAK> peak(
            shape.FindOneAreaCCPeak(map.nccMap, map.search.width, map.search.height, at));
        if (!peak || !std::isfinite(peak->offsetX) || !std::isfinite(peak->offsetY)) continue;
        r.dx = static_cast<float>(map.peak.x) + peak->offsetX;
        r.dy = static_cast<float>(map.peak.y) + peak->offsetY;
    }
    FreeIntenPairs(&colours);
    *out = records;
    *count = n;
    return true;
}
