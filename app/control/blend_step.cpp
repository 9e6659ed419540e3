// The Blend step (exposure balance, leveling pick-up, the blending driver in
// its blend way) and the manager's small accessors around it: panorama
// size, page setup.
#include "adjust/globfit/global_blend.h"
#include "app/control/blend_driver.h"
#include "app/control/blend_rules.h"
#include "app/control/progress_dlg.h"
#include "app/control/super_manager.h"
#include "app/shell/main_frame.h"
#include "app/shell/stitch_bar.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "platform/panocore/pair_blend.h"
#include "platform/panocore/pair_measure.h"
#include "projectgraph/curvekit/pair_info.h"
#include "platform/utilkit/crash_dump.h"
#include "platform/win/wnd.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "worldmap/world_map.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int kEventLevelingQuery = 10006;  // the views answer with {1, rotation vector}
constexpr int kEventLevelingReset = 10007;

// The pair blend's measuring function: the intensity pairs of the frames'
// loaded images, a->b into a's link and the swapped list into b's.
bool MeasureFramePair(IImageFrame* a, IImageFrame* b)
{
    IImgInfo* ia = a->GetImgInfo();
    IImgInfo* ib = b->GetImgInfo();
    std::vector<float> entries;
    const int count = MeasurePairIntensities(a->GetImage(), ia ? ia->GetParams() : nullptr, b->GetImage(),
                                             ib ? ib->GetParams() : nullptr, entries);
    if (count < 4) {
        Logger::log("ERROR PairBlend: %d intensity pairs between the frames, 4 needed", 1, count);
        return false;
    }
    std::vector<float> swapped(entries.size());
    for (size_t k = 0; k < entries.size(); k += 6)
        for (int c = 0; c < 3; ++c) {
            swapped[k + c] = entries[k + 3 + c];
            swapped[k + 3 + c] = entries[k + c];
        }
    IPairInfo* mine = nullptr;
    IPairInfo* theirs = nullptr;
    a->GetPairInfo(b, &mine, &theirs);
    if (!mine || !theirs) {
        // Both directions get an object of their own, kept by the links.
        a->SetPairInfo(b, mine ? mine : GetPairInfoInterface(), theirs ? theirs : GetPairInfoInterface());
        a->GetPairInfo(b, &mine, &theirs);
        if (!mine || !theirs) return false;
    }
    mine->SetIntensityPairs(entries.data(), count);
    theirs->SetIntensityPairs(swapped.data(), count);
    return true;
}

}  // namespace

void InstallPairBlendMeasure()
{
    // A function a test installed stays.
    const PairBlendFunction previous = SetPairBlendFunction(&MeasureFramePair);
    if (previous) SetPairBlendFunction(previous);
}

bool SuperManager::BlendStepBody()
{
    m_blendFailed = false;
    InstallPairBlendMeasure();
    if (m_blendSettings->autoBalance == 1) {
        // Frames shot at different exposures differ by a gain per channel
        // (one gamma per frame bends dark and bright samples apart): the
        // balance fits a gain and an offset per frame and channel to the
        // overlaps' intensity pairs and writes them into each frame's
        // correction table.
        GlobalBlend balance;
        const bool pairBlend = m_pendingPairBlend != 0;
        const bool ready = balance.Init(m_group.get(), pairBlend);
        if (m_balanceObserver) m_balanceObserver(pairBlend, ready);
        if (!ready) {
            AfxMessageBox("There is major stitching error\nPlease correct first!", MB_OK);
            return false;
        }
        if (m_pendingPairBlend == 1) m_pendingPairBlend = 0;
        balance.DoGlobalBlending(0.0001f);
    }
    if (WorldMap* map = m_group ? m_group->GetRectWorldMap(false) : nullptr) {
        float answer[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        map->NotifyViewers(kEventLevelingQuery, reinterpret_cast<std::uintptr_t>(answer));
        if (answer[0] != 0.0f) {
            AddLevelingRotation(answer + 1);
            map->NotifyViewers(kEventLevelingReset, 0);
        }
    }
    RemapPanorama(m_blendSettings->blendWidth >= 1);
    // A run that could not start (no temporary file) has told the user.
    return !m_blendFailed;
}

bool SuperManager::BlendPanorama()
{
    RecordDeferredCall("BlendPanorama");
    CrashDump::MapSEtoCE();
    bool result = false;
    try {
        CrashDump::RunGuarded([&] { result = BlendStepBody(); });
    } catch (const CrashDump& crash) {
        std::string name;
        CMainFrame::MakeDumpName("Fendrake_bl", name);
        CrashDump::GenerateDump(crash.Getpep(), name.c_str());
        // The step did not blend: say so, and an express run ends here.
        CloseProgressDialog();
        if (auto* main = dynamic_cast<CMainFrame*>(AfxGetMainWnd())) main->SetPaneText59000("");
        AfxMessageBox("Blending failed", MB_OK | MB_ICONEXCLAMATION);
        SetExpressMode(false);
        return false;
    }
    return result;
}

bool SuperManager::ExpressStitch()
{
    RecordDeferredCall("ExpressStitch");
    if (!IsExpressMode()) {
        SetExpressMode(true);
        m_automaticMode = 1;
    } else {
        SetExpressBlendPending(true);
    }
    if (m_stitchBar) m_stitchBar->OnStitch();
    return true;
}

bool SuperManager::FinishExpressStitch()
{
    RecordDeferredCall("FinishExpressStitch");
    SetExpressBlendPending(true);
    if (m_stitchBar) {
        m_stitchBar->OnBlend();
    } else {
        ModifyFlags(0, kFlagBlendStage);
        BlendPanorama();
    }
    SetExpressMode(false);
    return true;
}

void SuperManager::GetPanoramaSize(float scale, int* width, int* height)
{
    if (width) *width = 0;
    if (height) *height = 0;
    ImageGroup* group = m_group.get();
    WorldMap* map = group ? group->GetRectWorldMap(false) : nullptr;
    const int n = group ? group->GetNumbOfImages() : 0;
    if (!map || n == 0) return;
    std::vector<int> list(static_cast<size_t>(n));
    int m = 0, pairs = 0;
    group->GetMergedImages(list.data(), m, pairs);
    if (m < 1 || pairs == 0) return;
    IImgInfo* info = group->GetImageFrame(list[0])->GetImgInfo();
    const TRANSFORM_RS* t = info ? info->GetParams() : nullptr;
    if (!t || !(t->rcpFocal > 0.0f) || !std::isfinite(t->rcpFocal) || !std::isfinite(scale)) {
        Logger::log("ERROR SuperManager::GetPanoramaSize: the first merged frame has no usable focal length", 1);
        return;
    }
    const float s = scale / t->rcpFocal * ReductionFactor(m_reductionCode);
    REGION2 area{};
    map->GetDataArea(&area);
    // Each product truncated toward zero; a value beyond int is no size.
    auto trunc = [](float v) { return std::isfinite(v) && std::fabs(v) < 1e9f ? static_cast<int>(v) : 0; };
    const int w = trunc(area.right * s) - trunc(area.left * s) + 1;
    const int h = trunc(area.bottom * s) - trunc(area.top * s) + 1;
    if (width) *width = w;
    if (height) *height = h;
}

bool SuperManager::GetPanoramaSize(int* width, int* height)
{
    if (m_panoramaSizeSource) return m_panoramaSizeSource(width, height);
    int w = 0, h = 0;
    GetPanoramaSize(m_outputScale, &w, &h);
    if (width) *width = w;
    if (height) *height = h;
    return w > 0 && h > 0;
}

void SuperManager::SetPageSetup(const int32_t paper[2], const int32_t minMargins[4], const int32_t margins[4])
{
    PageSetupRecord record;
    record.paperSize = POINT{paper[0], paper[1]};
    record.minMargins = RECT{minMargins[0], minMargins[1], minMargins[2], minMargins[3]};
    record.margins = RECT{margins[0], margins[1], margins[2], margins[3]};
    SetPageSetup(record);
}
