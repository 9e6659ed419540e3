#include "align/pairlock/ncc_make.h"

#include "imaging/image.h"
#include "geometry/fftkit/convolver.h"
#include "platform/utilkit/debug_display.h"
#include "core/logger.h"
#include "projectgraph/curvekit/marker.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

int PositiveMod(int v, int m)
{
    const int r = v % m;
    return r < 0 ? r + m : r;
}

}  // namespace

CNCCMake::CNCCMake() = default;

CNCCMake::CNCCMake(Image* a, Image* b, REGION* box) : CChannelImgs(a, b, kEdgeMode, box) {}

CNCCMake::~CNCCMake() = default;

void CNCCMake::InitPrms(int /*unused*/) { m_contrastThr = 20.0f; }

Convolver* CNCCMake::ConvolverFor(int nx, int ny)
{
    if (!m_convolver || m_convNx != nx || m_convNy != ny) {
        m_convolver.reset();
        auto conv = std::unique_ptr<Convolver>(new (std::nothrow) Convolver(nx, ny));
        if (!conv || !conv->IsValid()) {
            Logger::log("ERROR CNCCMake::MakeOneNCCMap_cut: no correlator for %dx%d", 1, nx, ny);
            return nullptr;
        }
        m_convolver = std::move(conv);
        m_convNx = nx;
        m_convNy = ny;
    }
    return m_convolver.get();
}

int CNCCMake::MakeOneNCCMap_cut(COneNCCMap* map, float* imgT1, float* imgT2, int nx, int ny, int dispX, int dispY,
                                Marker* marker, int debug)
{
    if (!map || !imgT1 || !imgT2 || nx < 2 || ny < 2) return 0;
    // Without the grid's contrast tables there is nothing to decide on.
    if (!CheckOneTmplMaxContrast(map->ix, map->iy, m_contrastThr)) return 0;

    const int ch = GetIndBestTmplChannel(map->ix, map->iy);
    CNCCImgs* set = SetFor(ch);
    const float* i1 = GetImgI1(ch);
    const float* i2 = GetImgI2(ch);
    const REGION* bb = GetBoundBox_1();
    if (!set || !i1 || !i2 || !bb) return 0;
    const int imgW = GetNx();
    const int imgH = GetNy();
    const int wd = set->GetWdTmpl();
    const int ht = set->GetHtTmpl();
    const int cx = map->centre.x;
    const int cy = map->centre.y;
    if (wd < 1 || ht < 1 || 2 * (wd / 2) + 1 > nx || 2 * (ht / 2) + 1 > ny) return 0;

    const size_t nxy = static_cast<size_t>(nx) * static_cast<size_t>(ny);
    std::fill(imgT1, imgT1 + nxy, 0.0f);
    std::fill(imgT2, imgT2 + nxy, 0.0f);

    // The template is the odd box the local statistics are taken over,
    // (2 (wd/2) + 1) x (2 (ht/2) + 1) samples centred on (cx, cy), so that
    // the mean of products, the means and the variances all cover the same
    // samples. Its sample (cx + j, cy + i) goes to window offset (j, i)
    // modulo the window: correlation position k then means a displacement
    // of k - n/2. Samples outside image 2 stay 0 (no data).
    const int hw = wd / 2;
    const int hh = ht / 2;
    for (int i = -hh; i <= hh; ++i) {
        const int y = cy + i;
        if (y < 0 || y >= imgH) continue;
        float* dst = imgT2 + static_cast<size_t>(PositiveMod(i, ny)) * nx;
        const float* src = i2 + static_cast<size_t>(y) * imgW;
        for (int j = -hw; j <= hw; ++j) {
            const int x = cx + j;
            if (x < 0 || x >= imgW) continue;
            dst[PositiveMod(j, nx)] = src[x];
        }
    }

    // The search window of image 1 centred on the template centre, cut to
    // the searchable box.
    const int xs0 = std::max(bb->x0, cx - nx / 2);
    const int xs1 = std::min(bb->x1, cx + nx / 2 - 1);
    const int ys0 = std::max(bb->y0, cy - ny / 2);
    const int ys1 = std::min(bb->y1, cy + ny / 2 - 1);
    if (xs1 < xs0 || ys1 < ys0) return 0;
    for (int y = ys0; y <= ys1; ++y) {
        const float* src = i1 + static_cast<size_t>(y) * imgW;
        float* dst = imgT1 + static_cast<size_t>(y - cy + ny / 2) * nx + (xs0 - cx + nx / 2);
        std::memcpy(dst, src + xs0, static_cast<size_t>(xs1 - xs0 + 1) * sizeof(float));
    }

    // Window positions at which the template's box lies wholly inside the
    // copied part of image 1.
    REGION search;
    search.x0 = xs0 - cx + nx / 2 + wd / 2;
    search.y0 = ys0 - cy + ny / 2 + ht / 2;
    search.x1 = xs1 - cx + nx / 2 - wd / 2;
    search.y1 = ys1 - cy + ny / 2 - ht / 2;
    search.width = search.x1 - search.x0 + 1;
    search.height = search.y1 - search.y0 + 1;
    if (search.width < 1 || search.height < 1) return 0;

    Convolver* conv = ConvolverFor(nx, ny);
    if (!conv) return 0;
    conv->Transform(imgT1);
    conv->ConvolveInv(imgT1, imgT2);

    map->search = search;
    delete[] map->nccMap;
    POINT half{nx / 2, ny / 2};
    map->nccMap = set->CalcNCCMap(imgT2, nx, ny, &half, &map->centre, &map->search, &map->minValue, &map->maxValue,
                                  &map->peak);
    if (!map->nccMap) return 0;
    map->peakCol = static_cast<float>(nx / 2 - search.x0 + map->peak.x);
    map->peakRow = static_cast<float>(ny / 2 - search.y0 + map->peak.y);

    DisplayOneNCCMap(map, map->minValue, map->maxValue, dispX, dispY, marker);
    DrawOneTemplateBoxs(&map->centre, debug ? 400 : 0, 0);
    return 1;
}

int CNCCMake::MakeOneNCCMap_raw(COneNCCMap*, float*, int, int, int, int, Marker*) { return 1; }

int CNCCMake::DisplayOneNCCMap(COneNCCMap* map, float /*lo*/, float hi, int x, int y, Marker* marker)
{
    if (!map) return 1;
    if (GetDebugDispFlag() && map->nccMap) {
        if (Image* img = FloatArrayToImage(map->nccMap, map->search.width, map->search.height, -0.5f, hi)) {
            DisplayImageWin0(img, nullptr, x, y);
            ReleaseImage(img);
        }
    }
    if (marker)
        marker->AppendMarker(static_cast<float>(static_cast<int>(map->peakCol) + x),
                             static_cast<float>(static_cast<int>(map->peakRow) + y));
    return 1;
}

int CNCCMake::DrawOneTemplateBoxs(POINT* centre, int x, int y)
{
    if (!centre) return 1;
    const int wd = GetWdBox();
    const int ht = GetHtBox();
    REGION box{centre->x - wd / 2, centre->y - ht / 2, centre->x + wd / 2 - 1, centre->y + ht / 2 - 1, 0, 0};
    box.width = box.x1 - box.x0 + 1;
    box.height = box.y1 - box.y0 + 1;
    DrawRegion(&box, x, y, 1.0f, 0xC80000, GetNameDebugWin2());
    DrawRegion(&box, x + GetNx() + 1, y, 1.0f, 0x00C800, GetNameDebugWin2());
    return 1;
}
