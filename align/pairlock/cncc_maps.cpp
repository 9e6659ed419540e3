#include "align/pairlock/cncc_maps.h"

#include "imaging/image.h"
#include "platform/utilkit/debug_display.h"
#include "core/logger.h"

#include <memory>
#include <new>

CCNCCMaps::CCNCCMaps() = default;

CCNCCMaps::CCNCCMaps(Image* img1, Image* img2, gpc_polygon* overlap, REGION* box)
{
    m_nccMake.CChannelImgs::InitPrms(img1, img2, 3, box);
    m_refSelect.InitPrms(img1 ? img1->GetWidth() : 0, img1 ? img1->GetHeight() : 0, overlap, box);
}

CCNCCMaps::~CCNCCMaps() = default;

void CCNCCMaps::InitPrms(Image* img1, Image* img2, gpc_polygon* overlap, REGION* box, int mode, int channels)
{
    ReleaseMaps();
    m_refSelect.InitPrms(img1 ? img1->GetWidth() : 0, img1 ? img1->GetHeight() : 0, overlap, box);
    m_nccMake.CChannelImgs::InitPrms(img1, img2, channels, box);
    m_nccMake.InitPrms(channels);
    m_refSelect.SetAlignMode(mode);
}

void CCNCCMaps::ReleaseMaps()
{
    m_ppNccMap.clear();
    m_numNccMap = 0;
}

int CCNCCMaps::GoodSize(int n, int pct)
{
    long long p = 1;
    while (p < n) p *= 2;
    const long long t = static_cast<long long>(n) * (100 - pct) / 100;
    if (p / 2 >= t) return static_cast<int>(p / 2);
    if (3 * p / 4 >= t) return static_cast<int>(3 * p / 4);
    return static_cast<int>(p);
}

int CCNCCMaps::MakeNCCMaps_cut()
{
    ReleaseMaps();
    CRefSelect& sel = m_refSelect;
    if (!sel.MainRefSelect()) return 0;
    if (!m_nccMake.MakeAvgImgs(sel.m_wdTmpl, sel.m_htTmpl)) {
        Logger::log("ERROR CCNCCMaps::MakeNCCMaps_cut: no local statistics for %dx%d templates", 1, sel.m_wdTmpl,
                    sel.m_htTmpl);
        return 0;
    }
    m_nccMake.SetGridTmplInfo(sel.m_x0Tmpl, sel.m_y0Tmpl, sel.m_dxTmpl, sel.m_dyTmpl, sel.m_nxTmpl, sel.m_nyTmpl);

    try {
        m_ppNccMap.resize(static_cast<size_t>(sel.m_numTmpl));
    } catch (const std::bad_alloc&) {
        Logger::log("ERROR CCNCCMaps::MakeNCCMaps_cut: cannot allocate m_ppNccMap: m_numTmpl=%d", 1, sel.m_numTmpl);
        return 0;
    }

    m_nxCCMap = GoodSize(sel.m_wdTmpl + 2 * sel.m_rangeX, 10);
    m_nyCCMap = GoodSize(sel.m_htTmpl + 2 * sel.m_rangeY, 10);
    if (m_nxCCMap < 2 || m_nyCCMap < 2) {
        Logger::log("ERROR CCNCCMaps::MakeNCCMaps_cut: no correlation window for ranges %d %d", 1, sel.m_rangeX,
                    sel.m_rangeY);
        return 0;
    }
    const size_t nxy = static_cast<size_t>(m_nxCCMap) * static_cast<size_t>(m_nyCCMap);
    std::unique_ptr<float[]> work1(new (std::nothrow) float[nxy]);
    if (!work1) {
        Logger::log("ERROR CCNCCMaps::MakeNCCMaps_cut: cannot allocate imgT1: nxyCCMap=%zu", 1, nxy);
        return 0;
    }
    std::unique_ptr<float[]> work2(new (std::nothrow) float[nxy]);
    if (!work2) {
        Logger::log("ERROR CCNCCMaps::MakeNCCMaps_cut: cannot allocate imgT2: nxyCCMap=%zu", 1, nxy);
        return 0;
    }

    Marker* markers = CreateMarkerGroup(sel.m_mode != 0 ? 7 : 2, GetNameDebugWin0(), 0, 0);
    // Places of the maps in the debug mosaic.
    const int dispX0 = sel.m_mode != 0 ? 400 : 0;
    const int stepX = m_nxCCMap - sel.m_wdTmpl + 1;
    const int stepY = m_nyCCMap - sel.m_htTmpl + 1;
    int dispY = 0;
    for (int iy = 0; iy < sel.m_nyTmpl; ++iy, dispY += stepY) {
        int dispX = dispX0;
        for (int ix = 0; ix < sel.m_nxTmpl; ++ix, dispX += stepX) {
            const int k = iy * sel.m_nxTmpl + ix;
            if (!sel.Qualifies(k)) continue;
            auto map = std::make_unique<COneNCCMap>();
            map->ix = ix;
            map->iy = iy;
            map->centre = sel.GetTmplCtr(ix, iy);
            if (!m_nccMake.MakeOneNCCMap_cut(map.get(), work1.get(), work2.get(), m_nxCCMap, m_nyCCMap, dispX, dispY,
                                             markers, sel.m_mode))
                continue;
            m_ppNccMap[k] = std::move(map);
            ++m_numNccMap;
        }
    }
    return 1;
}

COneNCCMap* CCNCCMaps::GetNccMapAt(int k)
{
    if (k < 0 || static_cast<size_t>(k) >= m_ppNccMap.size()) return nullptr;
    return m_ppNccMap[k].get();
}

COneNCCMap* CCNCCMaps::GetNccMap(int ix, int iy)
{
    if (ix < 0 || iy < 0 || ix >= m_refSelect.m_nxTmpl || iy >= m_refSelect.m_nyTmpl) return nullptr;
    return GetNccMapAt(iy * m_refSelect.m_nxTmpl + ix);
}

POINT* CCNCCMaps::GetPeakShift(int ix, int iy)
{
    COneNCCMap* map = GetNccMap(ix, iy);
    return map ? &map->peak : nullptr;
}

POINT* CCNCCMaps::GetTmplCentre(int ix, int iy)
{
    COneNCCMap* map = GetNccMap(ix, iy);
    return map ? &map->centre : nullptr;
}
