// The blending driver: sizes the group's world map, has every merged frame
// projected onto the sphere as a scene file and writes the scene files into
// the map, unblended (preview), merged along division-line seams in process,
// or saved as chips for the outside blender on a worker thread (elastic).
// Every way ends in FinishRemap.
#include "app/control/blend_driver.h"

#include "app/control/blend_rules.h"
#include "app/control/image_chain.h"
#include "app/control/pano_leveler.h"
#include "app/control/progress_dlg.h"
#include "app/control/stitch_pair.h"
#include "app/control/super_manager.h"
#include "app/matching/distortion_record.h"
#include "app/matching/match_channel.h"
#include "app/matching/utilities.h"
#include "app/panorama/rect_map_view.h"
#include "app/shell/main_frame.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/mergekit/crop_region.h"
#include "platform/mergekit/enblend.h"
#include "platform/mergekit/fill_bg.h"
#include "platform/mergekit/merge_vantor.h"
#include "platform/panocore/img_info.h"
#include "platform/panocore/make_vantor.h"
#include "platform/panocore/panocore_settings.h"
#include "platform/sceneio/kestova_file.h"
#include "platform/utilkit/log_base.h"
#include "platform/win/win_thread.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "worldmap/world_map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

RemapEnblendReEntryParams g_RemapEnblendReEntryParams;

namespace {

constexpr UINT kBlendFinished = 0x819A;
constexpr float kDegPerRadian = 57.295784f;

// Viewer events of the finishing step.
constexpr int kEventFinal = 10008;
constexpr int kEventRedraw = 15;
constexpr int kEventEndTools = 10009;
constexpr int kEventFullCircle = 10003;

bool RealMerge(KestovaFile* scene, WorldMap* map, TRANSFORM_RS* t, int bw, int kind, int levels, bool closing,
               int closingKind)
{
    return CMergeVantorWM::MergeVantorFile(scene, map, t, bw, kind, levels, closing, closingKind);
}

bool RealChip(int index, int count, bool loop, WorldMap* map, KestovaFile** files, TRANSFORM_RS** placements,
              uint8_t* codes, std::string& blendedName, std::vector<std::string>& chipNames, int bw, int levels)
{
    return Enblend::mapChipSaveOneImage(index, count, loop, map, files, placements, codes, blendedName, chipNames, bw,
                                        levels);
}

const RemapCalls kRealCalls{&LogBase::makeFilename, &RealMerge, &RealChip, &RunBlenderProcess, &FillWorldMapBg,
                            &SetDivLineBlendWidth};

// The state of one run, from Remap_WM to FinishRemap (one run at a time).
struct RemapRun {
    bool active = false;
    bool blend = false;
    bool elastic = false;
    std::vector<int> list;
    int count = 0;
    WorldMap* map = nullptr;
    std::unique_ptr<IMakeVantor> maker;
    std::vector<TRANSFORM_RS*> placements;
    std::vector<KestovaFile*> files;
    std::vector<uint8_t> codes;
    int blenderResult = 0;
    RECT savedCrop = {0, 0, -1, -1};
};
RemapRun g_run;
// The last auto-crop's rectangle outlives the run: a failed blend puts it back.
RECT g_savedCrop = {0, 0, -1, -1};
// The blender's result of the last elastic run (for the caller's tests).
int g_lastBlenderResult = 0;

TRANSFORM_RS* Placement(ImageFrame* frame)
{
    IImgInfo* info = frame ? frame->GetImgInfo() : nullptr;
    return info ? info->GetParams() : nullptr;
}

int SmallerSide(const Image* image)
{
    return image ? std::min(image->GetWidth(), image->GetHeight()) : 0;
}

CMainFrame* MainFrame()
{
    return dynamic_cast<CMainFrame*>(AfxGetMainWnd());
}

void ClearPane59000()
{
    if (CMainFrame* main = MainFrame()) main->SetPaneText59000("");
}

void EndRun()
{
    g_run.list.clear();
    g_run.placements.clear();
    g_run.files.clear();
    g_run.codes.clear();
    g_run.maker.reset();
    g_run.active = false;
}

}  // namespace

RemapCalls g_remapCalls = kRealCalls;

void ResetRemapCalls()
{
    g_remapCalls = kRealCalls;
}

// ---- Scene file of one frame --------------------------------------------------------

void ComputeVantorFile(IMakeVantor* maker, ImageFrame* frame, int samples, bool correctDistortion)
{
    Logger::log("ComputeVantorFile: enter: samples=%d", 3, samples);
    Image* image = frame ? frame->GetImage() : nullptr;
    TRANSFORM_RS* t = Placement(frame);
    if (!image || !t) {
        Logger::log("ERROR ComputeVantorFile: the frame has no image or no placement", 1);
        return;
    }
    samples = SceneSamples(samples);
    KestovaFile* scene = frame->GetKestovaFile();
    scene->RemoveSorage();
    scene->SetNumChannel(image->GetChannels());
    scene->SetEquatorSampleNum(samples);
    scene->SetHalfRingNum(samples / 4);
    scene->SetBandBound(samples / 4);
    if (t->scale == 0.0f) t->scale = 1.0f;
    std::unique_ptr<IMakeVantor> own;
    IMakeVantor* mk = maker;
    if (!mk) {
        own.reset(GetMakeVantorInterface());
        mk = own.get();
    }
    SuperManager* manager = GetSuperManager();
    DistortionRecord* record = manager ? manager->GetDistortionRecord(false) : nullptr;
    if (correctDistortion && record)
        mk->SetDistortion(record, image->GetWidth(), image->GetHeight(), FrameFocalRatio(frame), image->GetChannels());
    mk->MakeScene(image, scene, t, 0, true, 1);
    if (maker && correctDistortion) maker->ClearDistortion();
    Logger::log("ComputeVantorFile: leave", 3);
}

// ---- The worker of the elastic blend ------------------------------------------------

unsigned int RemapEnblendThreadProc(void*)
{
    RemapEnblendReEntryParams& p = g_RemapEnblendReEntryParams;
    const int result = g_remapCalls.runBlenderProcess(p.imageCount, p.loop != 0, g_run.map, p.enblendedFileName,
                                                      p.chipNames);
    g_run.blenderResult = result;
    if (CWnd* main = AfxGetMainWnd()) main->PostMessage(kBlendFinished, 0, 0);
    return result != 0 ? 1 : 0;
}

// ---- The panorama views' parts --------------------------------------------------------

bool SuperManager::HasFrontPanoramaView() const
{
    if (m_viewHooks.hasFrontView) return m_viewHooks.hasFrontView();
    return CRectMapView::Views().GetData(0) != nullptr;
}

WorldMap* SuperManager::FrontLevelingMap() const
{
    return m_viewHooks.levelingMap ? m_viewHooks.levelingMap() : nullptr;
}

void SuperManager::DiscardFrontLevelingMap()
{
    if (m_viewHooks.discardLevelingMap) m_viewHooks.discardLevelingMap();
}

void SuperManager::SetFrontViewCropped(bool on)
{
    if (m_viewHooks.setCropped) {
        m_viewHooks.setCropped(on);
        return;
    }
    if (auto* view = static_cast<CRectMapView*>(CRectMapView::Views().GetData(0)))
        view->SetModeBits(CRectMapView::cropped, on);
}

void SuperManager::CalcCropRegion()
{
    WorldMap* map = m_group ? m_group->GetRectWorldMap(false) : nullptr;
    RECT crop = {0, 0, -1, -1};
    if (map && CalcCropRegionWM(map, &crop, 30, 4)) m_cropSelection = crop;
}

REGION2 SuperManager::GetDataRegion() const
{
    REGION2 region;
    std::memcpy(&region, m_panoramaDataArea, sizeof region);
    return region;
}

int SuperManager::GetBlenderResult() const
{
    return g_lastBlenderResult;
}

// ---- Remap ---------------------------------------------------------------------------------

void SuperManager::RemapPanorama(bool blend)
{
    RecordDeferredCall(blend ? "RemapPanorama(1)" : "RemapPanorama(0)");
    Remap_WM(blend);
}

void SuperManager::Remap_WM(bool blend)
{
    Logger::log("Remap_WM: enter: isBlend=%d", 3, blend ? 1 : 0);
    if (g_run.active) {
        Logger::log("ERROR Remap_WM: a blend is still running", 1);
        return;
    }
    ImageGroup* group = m_group.get();
    const int n = group ? group->GetNumbOfImages() : 0;
    if (n == 0) return;
    std::vector<int> list(static_cast<size_t>(n));
    int m = 0, pairs = 0;
    group->GetMergedImages(list.data(), m, pairs);
    if (m < 1) return;
    ImageFrame* f0 = group->GetImageFrame(list[0]);
    const TRANSFORM_RS* t0 = Placement(f0);
    Image* image0 = f0 ? f0->GetImage() : nullptr;
    // A damaged first frame would make every size below zero or infinite.
    if (!t0 || !(t0->rcpFocal > 0.0f) || !std::isfinite(t0->rcpFocal) || !image0) {
        Logger::log("ERROR Remap_WM: the first merged frame has no image or no usable focal length", 1);
        return;
    }
    int channels = 0;
    for (int i = 0; i < m && channels < 3; ++i) {
        Image* image = group->GetImageFrame(list[i])->GetImage();
        if (image) channels = std::max(channels, image->GetChannels());
    }
    channels = channels >= 3 ? 3 : 1;

    float loadedScale = 1.0f;
    ReloadChoice reload;
    if (blend && m_reductionCode != 1) {
        loadedScale = 1.0f / ReductionFactor(m_reductionCode);
        reload = ChooseReload(m_outputScale, loadedScale);
    }
    const float degPerPixel = t0->rcpFocal * kDegPerRadian;

    int samples = 0;
    float centre = 0.0f;
    WorldMap* map = nullptr;
    if (IsPreviewStage()) {
        const int chainCount = m_chain ? m_chain->GetCount() : m;
        const bool chainLoop = m_chain && m_chain->IsLoop();
        float rate = Utilities::EstimatePanoResolution(chainCount, chainLoop, image0->GetWidth() * degPerPixel / 2.0f,
                                                       600, 1500);
        rate = std::min(rate, 30.0f);
        m_previewSamplingRate = rate;
        samples = static_cast<int>(rate * 360.0f);
        if (samples < 4 || samples > 65535) {
            Logger::log("ERROR Remap_WM: %d samples around the equator", 1, samples);
            return;
        }
        map = group->GetRectWorldMap(false);
        if (map) map->Init(samples, nullptr, 0, channels);
        else map = group->GetRectWorldMap(static_cast<unsigned short>(samples), nullptr, 0, channels);
        DiscardFrontLevelingMap();
    } else {
        SetSamplingRate(m_outputScale / (degPerPixel * loadedScale));
        const float rate = GetSamplingRate();
        if (!(rate * 360.0f >= 4.0f) || !(rate * 360.0f <= 65535.0f)) {
            Logger::log("ERROR Remap_WM: a sampling rate of %f samples per degree", 1, rate);
            return;
        }
        samples = static_cast<int>(rate * 360.0f);
        map = group->GetRectWorldMap(static_cast<unsigned short>(samples), nullptr, 0, channels);
        REGION2 region = GetDataRegion();
        if (WorldMap* leveling = FrontLevelingMap()) leveling->GetDataArea(&region);
        if (!(region.width > 0.0f) || !(region.height > 0.0f)) {
            // No preview has stored a region yet: the whole sphere.
            region = REGION2{-1.5707964f, 1.5707964f, -3.1415927f, 3.1415927f, 6.2831855f, 3.1415927f};
        }
        centre = (region.left + region.right) / 2.0f;
        region.left -= centre;
        region.right -= centre;
        map->Init(samples, &region, 0, channels);
    }

    g_run = RemapRun{};
    g_run.active = true;
    g_run.blend = blend;
    g_run.list = list;
    g_run.count = m;
    g_run.map = map;
    g_run.maker.reset(GetMakeVantorInterface());
    IMakeVantor* maker = g_run.maker.get();
    float level[9];
    const bool haveLevel = ComputeLevelingMatrix(level);
    const bool correct = m_stitchSettings->runtimeDistortion != 0 && m_distortion != nullptr;

    if (!blend) {
        try {
            for (int i = 0; i < m; ++i) {
                ImageFrame* frame = group->GetImageFrame(list[i]);
                Logger::log("preview blend %d", 4, i);
                float saved[3];
                if (haveLevel) RotateFrameByMatrix(level, saved, frame);
                ComputeVantorFile(maker, frame, samples, correct);
                map->AddData(frame->GetKestovaFile());
                if (haveLevel) RestoreFrameAngles(saved, frame);
            }
        } catch (...) {
            EndRun();
            throw;
        }
        FinishRemap();
        return;
    }

    // ---- Blend way ----
    const int levels = BlendLevels(image0->GetWidth(), m_outputScale, loadedScale);
    const uint8_t code = m_reductionCode;
    OpenProgressDialog(0, m, false);
    SetProgressText("Blending images");
    RemapEnblendReEntryParams& params = g_RemapEnblendReEntryParams;
    params.chipNames.clear();
    params.enblendedFileName.clear();
    if (!g_remapCalls.makeFilename("kzbl_", ".tiff", nullptr, params.enblendedFileName)) {
        std::printf("ERROR cannot make g_RemapEnblendReEntryParams.enblendedFileName???\n");
        // Nothing later refers to the run: close what was opened and tell the user.
        CloseProgressDialog();
        ClearPane59000();
        EndRun();
        m_blendFailed = true;
        AfxMessageBox("Blending failed: cannot create a temporary file.", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const bool elastic = m_elasticBlend != 0;
    const bool loop = GetTrayState();
    g_run.elastic = elastic;
    g_run.placements.assign(static_cast<size_t>(m), nullptr);
    g_run.files.assign(static_cast<size_t>(m), nullptr);
    g_run.codes.assign(static_cast<size_t>(m), 0xFF);
    const FrameLoader load = FrameLoaderInUse();
    const int bwPercent = m_blendSettings->blendWidth;
    int bw = 0;
    char text[64];
    // A failure escaping a frame (the crash guard of the Blend step catches
    // it) ends the run: the frame's angles and image are put back, the
    // dialog closed and the run state freed, so that Blend can run again.
    struct FrameGuard {
        ImageFrame* frame = nullptr;
        bool leveled = false;
        float saved[3] = {};
        Image* held = nullptr;
        bool beamDown = false;
        TRANSFORM_RS* t = nullptr;
        TRANSFORM_RS before{};
        SuperManager* manager = nullptr;
        uint8_t code = 0;
        void Release()
        {
            if (held) {
                frame->SetImage(held, false);
                frame->SetBeamDownState(beamDown);
                ReleaseImage(held);
                held = nullptr;
                t->rcpFocal = before.rcpFocal;
                t->centreX = before.centreX;
                t->centreY = before.centreY;
                manager->SetReductionCode(code);
            }
            if (leveled) RestoreFrameAngles(saved, frame);
            leveled = false;
        }
    };
    FrameGuard guard;
    guard.manager = this;
    guard.code = code;
    try {
    for (int i = 0; i < m; ++i) {
        ImageFrame* frame = group->GetImageFrame(list[i]);
        std::snprintf(text, sizeof text, "Blending image %d of %d\n", i + 1, m);
        SetProgressText(text);
        StepProgressDialog();
        guard = FrameGuard{frame, false, {}, nullptr, false, nullptr, {}, this, code};
        if (haveLevel) {
            RotateFrameByMatrix(level, guard.saved, frame);
            guard.leveled = true;
        }
        TRANSFORM_RS* t = Placement(frame);
        t->pan = WrapPan(t->pan - centre);
        int side = SmallerSide(frame->GetImage());
        if (i == 0) {
            bw = bwPercent * side / 100;
            g_remapCalls.setDivLineBlendWidth(bw);
        }
        if (!reload.large) {
            Logger::log("Blend %d: start", 4, i);
            ComputeVantorFile(maker, frame, samples, correct);
        } else {
            Logger::log("Blend %d large: start", 4, i);
            Image* held = frame->GetImage();
            RefAdd(held);
            frame->SetImage(nullptr, true);
            const bool beamDown = frame->IsBeamDown();
            m_reductionCode = static_cast<uint8_t>(reload.code);
            const TRANSFORM_RS before = *t;
            guard.held = held;
            guard.beamDown = beamDown;
            guard.t = t;
            guard.before = before;
            t->rcpFocal *= reload.x;
            t->centreX /= reload.x;  // the optical centre in the reloaded image's pixels
            t->centreY /= reload.x;
            // The placements were solved on corrected images: reload corrected.
            if (load(frame, true)) {
                ComputeVantorFile(maker, frame, samples, correct);
                side = SmallerSide(frame->GetImage());
                if (i == 0) {
                    bw = bwPercent * side / 100;
                    g_remapCalls.setDivLineBlendWidth(bw);
                }
                guard.held = nullptr;
                frame->SetImage(held, false);
                frame->SetBeamDownState(beamDown);
                ReleaseImage(held);
            } else {
                guard.held = nullptr;
                frame->SetImage(held, false);
                frame->SetBeamDownState(beamDown);
                ReleaseImage(held);
                // The image loaded before, at its own scale.
                t->rcpFocal = before.rcpFocal;
                t->centreX = before.centreX;
                t->centreY = before.centreY;
                ComputeVantorFile(maker, frame, samples, correct);
            }
            m_reductionCode = code;
            t->rcpFocal = before.rcpFocal;
            t->centreX = before.centreX;
            t->centreY = before.centreY;
        }
        KestovaFile* scene = frame->GetKestovaFile();
        if (elastic) {
            g_run.placements[i] = t;
            g_run.files[i] = scene;
            const int prev = i > 0 ? i - 1 : (loop ? m - 1 : -1);
            g_run.codes[i] = prev >= 0 && prev != i ? LinkSeamCode(frame, group->GetImageFrame(list[prev])) : 0xFF;
            auto chip = [&](int index) {
                g_remapCalls.mapChipSaveOneImage(index, m, loop, map, g_run.files.data(), g_run.placements.data(),
                                                 g_run.codes.data(), params.enblendedFileName, params.chipNames, bw,
                                                 levels);
            };
            if (i >= 2 || i == m - 1) {
                if (i >= 1) chip(i - 1);
            }
            if (i == m - 1) {
                chip(i);
                if (m > 2) chip(0);
            }
            if (i >= 5) group->GetImageFrame(list[i - 3])->SetKestovaFile(nullptr);
            if (i == m - 1) {
                std::vector<int> release = {0, 1};
                for (int k = std::max(2, m - 3); k <= m - 1; ++k) release.push_back(k);
                std::sort(release.begin(), release.end());
                release.erase(std::unique(release.begin(), release.end()), release.end());
                for (int k : release) {
                    if (k < m) {
                        group->GetImageFrame(list[k])->SetKestovaFile(nullptr);
                        g_run.files[k] = nullptr;
                    }
                }
            }
            if (i >= 5) g_run.files[i - 3] = nullptr;
        } else {
            if (i == 0) {
                map->AddData(scene);
            } else {
                const int bwi = frame->GetBlendWidth() * side / 100;
                const int kind = LinkSeamKind(frame, group->GetImageFrame(list[i - 1]));
                ImageFrame* first = group->GetImageFrame(list[0]);
                if (m == n && i == m - 1 && loop && frame->FindNeighbor(first)) {
                    g_remapCalls.mergeVantorFile(scene, map, t, bwi, kind, levels, true, LinkSeamKind(frame, first));
                } else {
                    g_remapCalls.mergeVantorFile(scene, map, t, bwi, kind, levels, false, 0);
                }
            }
            frame->SetKestovaFile(nullptr);
        }
        guard.Release();
        Logger::log("Blend %d: done", 4, i);
    }
    } catch (...) {
        guard.Release();
        CloseProgressDialog();
        ClearPane59000();
        EndRun();
        throw;
    }

    if (!elastic) {
        FinishRemap();
        return;
    }
    OpenProgressDialog(0, m, true);
    SetProgressText("Blending images...elastic merging - please wait");
    StepProgressDialog();
    params.imageCount = m;
    params.loop = loop ? 1 : 0;
    SetWorkerActive(true);
    if (!AfxBeginThread(reinterpret_cast<AFX_THREADPROC>(&RemapEnblendThreadProc), nullptr)) {
        // No worker: the run ends as a blender that never started.
        g_run.blenderResult = -1;
        FinishRemap();
    }
}

void SuperManager::FinishRemap()
{
    SetWorkerActive(false);
    if (!g_run.active) {
        Logger::log("SuperManager::FinishRemap(): no blend running", 3);
        return;
    }
    Logger::log("SuperManager::FinishRemap(): blend finished", 3);
    WorldMap* map = g_run.map;
    const bool blend = g_run.blend;
    const bool failed = blend && g_run.elastic && g_run.blenderResult != 0;
    const int result = g_run.blenderResult;
    if (blend && g_run.elastic) g_lastBlenderResult = result;
    if (blend) {
        g_run.placements.clear();
        g_run.files.clear();
        g_run.codes.clear();
        if (!failed) {
            SetProgressText("Blending images...auto-cropping");
            CalcCropRegion();
            if (HasFrontPanoramaView()) g_savedCrop = m_cropSelection;
            StepProgressDialog();
            g_remapCalls.fillWorldMapBg(map, nullptr);
        }
        CloseProgressDialog();
        ClearPane59000();
    }
    EndRun();
    if (failed) {
        // The map was emptied for the blend and received nothing: show the
        // stitched preview again so that Blend can be pressed once more.
        m_cropSelection = g_savedCrop;
        if (result != -3) {
            char text[64];
            std::snprintf(text, sizeof text, "Elastic blending failed (code %d).", result);
            AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
        }
        m_blendFailed = true;
        ModifyFlags(kFlagBlendStage, 0);
        Remap_WM(false);
        return;
    }
    m_blendFailed = false;
    if (IsPreviewStage()) {
        REGION2 region{};
        map->GetDataArea(&region);
        std::memcpy(m_panoramaDataArea, &region, sizeof region);
        map->NotifyViewers(kEventFinal, 0);
    } else {
        map->NotifyViewers(kEventFinal, 1);
    }
    map->NotifyViewers(kEventRedraw, 0);
    map->NotifyViewers(kEventEndTools, 2);
    if (blend && HasFrontPanoramaView()) {
        m_cropSelection = g_savedCrop;
        SetFrontViewCropped(false);
    }
    CMainFrame* main = MainFrame();
    if (main && !main->ShowPanoramaWindow(map)) {
        map->NotifyViewers(kEventFinal, IsPreviewStage() ? 0 : 1);
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0, width = 0, height = 0;
        map->GetDataArea(x0, y0, x1, y1, width, height);
        map->NotifyViewers(kEventFullCircle, width >= map->GetWidth() ? 1 : 0);
    }
    Logger::log("Remap_WM: leave", 3);
}
