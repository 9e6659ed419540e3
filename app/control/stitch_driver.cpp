#include "app/control/stitch_driver.h"

#include "app/control/image_chain.h"
#include "app/control/progress_dlg.h"
#include "app/control/stitch_pair.h"
#include "app/control/super_manager.h"
#include "app/matching/distortion_record.h"
#include "app/shell/fendrake_app.h"
#include "app/shell/image_tray_host.h"
#include "app/shell/main_frame.h"
#include "app/shell/pellicot.h"
#include "app/shell/stitch_bar.h"
#include "app/pairview/image_pair_view.h"
#include "app/pairview/overlap_pair_view.h"
#include "app/views/image_pair_doc.h"
#include "core/logger.h"
#include "platform/utilkit/crash_dump.h"
#include "platform/win/doc_view.h"
#include "platform/win/win_thread.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"
#include "worldmap/world_map.h"

#include <cstdio>
#include <string>

namespace {

constexpr UINT kStitchThisPair = 32826;
constexpr UINT kLoopQuestion = 40019;  // "It seems that the first and the last images have overlap ..."
constexpr int kEventLoop = 10003;  // viewers of the panorama map: the loop option (0 off, 1 closed)

StitchMatching g_matching;
MatchingRequest g_request;

CMainFrame* MainFrame()
{
    return dynamic_cast<CMainFrame*>(AfxGetMainWnd());
}

void SetPane59000(const char* text)
{
    if (CMainFrame* main = MainFrame()) main->SetPaneText59000(text);
}

CStitchBar* Bar(SuperManager* manager)
{
    return manager->GetStitchBar();
}

// The bar back to idle; a run that ends is stopped even when the bar was
// idle already (a step started without the bar's button).
void BarIdle(SuperManager* manager)
{
    if (CStitchBar* bar = Bar(manager)) bar->SetStitchRunning(true);
    manager->ModifyFlags(0, kFlagStopped);
}

void NotifyLoop(SuperManager* manager, int value)
{
    ImageGroup* group = manager->GetImageGroup(false);
    if (WorldMap* map = group ? group->GetRectWorldMap(false) : nullptr) map->NotifyViewers(kEventLoop, value);
}

// The image-pair window's two frames, when it is open.
bool PairWindowShows(SuperManager* manager, ImageFrame* a, ImageFrame* b)
{
    CView* view = manager->GetPairWindow();
    auto* doc = view ? dynamic_cast<CImagePairDoc*>(view->GetDocument()) : nullptr;
    if (!doc) return false;
    return (doc->GetFrameA() == a && doc->GetFrameB() == b) || (doc->GetFrameA() == b && doc->GetFrameB() == a);
}

void SendStitchThisPair(SuperManager* manager, ImageFrame* a, ImageFrame* b)
{
    CView* view = manager->GetPairWindow();
    if (!view) return;
    manager->RecordDeferredCall("StitchThisImagePair", a, b, kStitchThisPair);
    view->SendMessage(WM_COMMAND, kStitchThisPair, 0);
}

// Global alignment and the chain's span fit when the loop stays open, with
// a known focal length (type 2) treated as unknown (0) meanwhile.
void AlignOpenChain(SuperManager* manager, ImageChain* chain, int n)
{
    StitchSettings* settings = manager->GetStitchSettings();
    const int32_t type = settings->focalType;
    if (type == 2) settings->focalType = 0;
    manager->PairToGlobal(n, 0, false);
    chain->FitChainSpan(true);
    settings->focalType = type;
}

void ShowOutputSize(SuperManager* manager)
{
    if (CStitchBar* bar = Bar(manager)) bar->ShowOutputSize();
}

void LimitOutputSize(SuperManager* manager)
{
    if (CStitchBar* bar = Bar(manager)) bar->LimitOutputSize();
}

// End of an automatic run (AutoStitch step 4).
bool EndRun(SuperManager* manager, StitchThreadBlock* block, bool stopped)
{
    if (stopped) manager->SetExpressMode(false);
    if (!block->previewCurrent) manager->LevelPanorama(true);
    SetPane59000("");
    CloseProgressDialog();
    BarIdle(manager);
    manager->ModifyFlags(kFlagPairInProgress, 0);
    if (manager->IsExpressMode() && block->pairKind == kPairNothingLeft) manager->FinishExpressStitch();
    Logger::log("AutoStitch: leave", 3);
    return true;
}

// The marker-stitch messages of a pair that is not ready or failed.
void TellMarkerProblem(SuperManager* manager, ImageFrame* a, ImageFrame* b, bool loop, Neighbor* n1, int c1, int c2,
                       int m, bool afterFailure)
{
    manager->OpenPairWindow(a, b, false, loop);
    char text[160];
    if (manager->GetFlags() & kFlagMarkerMethod) {
        if (c1 < m || c2 < m) {
            std::snprintf(text, sizeof text, "Please add minimum %d marker pairs (press F1 for help)", m);
        } else if (n1 && n1->Is1stTimeStitching()) {
            n1->SetNot1stTimeStitching();
            std::snprintf(text, sizeof text, "%s",
                          afterFailure ? "Please adjust marker locations or add more with large spread (press F1 for help)"
                                       : "Please adjust marker locations (press F1 for help)");
        } else {
            std::snprintf(text, sizeof text, "%s",
                          "Problem detected with marker locations. Please consult the manual for troubleshooting");
            if (auto* app = dynamic_cast<CFendrakeApp*>(AfxGetApp()))
                app->ShowHelpTopic("Trelmond.htm#Troubleshoot_marker_stitching");
        }
    } else {
        std::snprintf(text, sizeof text, "%s", "Please adjust image pair overlap");
    }
    AfxMessageBox(text, MB_OK, 4);
    BarIdle(manager);
}

}  // namespace

void SetStitchMatching(const StitchMatching& matching)
{
    g_matching = matching;
}

MatchingRequest* GetMatchingRequest()
{
    return &g_request;
}

void ClearMatchingRequest()
{
    g_request = MatchingRequest{};
}

unsigned MatchingThreadProc(void*)
{
    int result = 0;
    if (g_matching.run) result = g_matching.run(g_request.chain, g_request.reductionCode, g_request.correction);
    g_request.result = result;
    if (CWnd* main = AfxGetMainWnd()) main->PostMessage(WM_CONTINUE_STITCHING, 0, 0);
    return static_cast<unsigned>(result);
}

int SuperManager::StartMatchingThread()
{
    g_request = MatchingRequest{};
    g_request.chain = m_chain;
    g_request.reductionCode = m_reductionCode;
    g_request.correction = (m_flags & kFlagDistortionOn) ? m_distortion.get() : nullptr;
    m_workerActive = true;
    if (!AfxBeginThread(&MatchingThreadProc, nullptr)) {
        Logger::log("ERROR SuperManager::StartMatchingThread: cannot start the matching worker", 1);
        g_request.result = -1;
        if (CWnd* main = AfxGetMainWnd()) main->PostMessage(WM_CONTINUE_STITCHING, 0, 0);
    }
    return 0;
}

void SuperManager::DoStitching()
{
    // The worker that posted the step has finished with the shared records.
    m_workerActive = false;
    Logger::log("SuperManager::DoStitching(): step", 3);
    CrashDump::MapSEtoCE();
    try {
        CrashDump::RunGuarded([this] {
            ModifyFlags(kFlagBlendStage, 0);
            m_pendingPairBlend = 1;
            StitchThreadBlock* block = GetStitchThreadBlock();
            if (block->busy == 0) {
                ModifyFlags(kFlagPairInProgress, 0);
                if (!m_tray || !m_chain) return;
                if (!m_chain->HasCenterFrame()) {
                    m_tray->SetFirstFrameAsCenter();
                    if (!m_chain->HasCenterFrame()) return;
                }
                if (m_pairWindow) {
                    auto* doc = dynamic_cast<CImagePairDoc*>(m_pairWindow->GetDocument());
                    RecordDeferredCall((m_flags & kFlagMarkerMethod) ? "StitchThisPair(markers)" : "StitchThisPair(overlap)",
                                       doc ? doc->GetFrameA() : nullptr, doc ? doc->GetFrameB() : nullptr);
                    // The open pair window commits its pair before it closes.
                    if (auto* markers = dynamic_cast<CImagePairView*>(m_pairWindow))
                        markers->StitchThisPair(true, false);
                    else if (auto* overlap = dynamic_cast<COverlapPair*>(m_pairWindow))
                        overlap->StitchThisPair(false);
                    ClosePairWindow(false);
                }
                if (m_chain->GetCount() > 0) LoadFrameImage(m_chain->GetFrame(0), true);
                if (m_automaticMode) {
                    OpenProgressDialog(0, 0, true);
                    if (g_request.result != 0) {
                        std::printf("SuperManager::DoStitching(): FMatchAllImages() failed or canceled\n");
                        std::fflush(stdout);
                        ClearMatchingRequest();
                        CloseProgressDialog();
                        BarIdle(this);
                        return;
                    }
                    if (g_matching.needAutoMarkers && g_matching.needAutoMarkers(m_chain)) {
                        StartMatchingThread();
                        return;
                    }
                    AutoStitch();
                } else {
                    MarkerStitch(false);
                }
            } else if (block->result == 1) {
                AutoStitch();
            } else {
                block->busy = 0;
                const bool running = (m_flags & kFlagStopped) == 0;
                BarIdle(this);
                CloseProgressDialog();
                SetExpressMode(false);
                ModifyFlags(kFlagPairInProgress, 0);
                if (running) MarkerStitch(false);
                else SetPane59000("");
            }
            ShowOutputSize(this);
        });
    } catch (const CrashDump& crash) {
        std::string name;
        CMainFrame::MakeDumpName("Fendrake_st", name);
        CrashDump::GenerateDump(crash.Getpep(), name.c_str());
    }
}

bool AutoStitch()
{
    Logger::log("AutoStitch: enter", 3);
    SuperManager* manager = GetSuperManager();
    ImageChain* chain = manager ? manager->GetChain() : nullptr;
    if (!chain) return false;
    StitchThreadBlock* block = GetStitchThreadBlock();
    ImageFrame* a = block->frameA;
    ImageFrame* b = block->frameB;
    if (block->busy == 0) {
        chain->SetAutoStitchMode(true);
        block->previewCurrent = 1;
        block->stitchedCount = 0;
        block->lastIndex = -1;
        block->frameCount = chain->GetCount();
        if (!manager->GetTrayState()) {
            NotifyLoop(manager, 0);
            block->pairTotal = block->frameCount - 1;
        } else {
            block->pairTotal = block->frameCount;
        }
        OpenProgressDialog(0, block->frameCount, true);
    }
    do {
        if (block->busy == 0) {
            if (manager->GetFlags() & kFlagStopped) return EndRun(manager, block, true);
            block->pairKind = chain->NextStitchPair(&a, &b, &block->pairIndex);
        }
        int kind = block->pairKind;
        if (kind == kPairLoopClosingAsk) {
            Pellicot* tray = manager->GetImageTray();
            if (!manager->GetTrayState() &&
                AfxMessageBox(kLoopQuestion, MB_YESNO) == IDYES) {
                if (tray && tray->GetHost()) tray->GetHost()->SetLoop(true);
            }
            if (manager->GetTrayState()) {
                kind = block->pairKind = kPairLoopClosing;
                block->pairTotal += 1;
            } else {
                AlignOpenChain(manager, chain, block->pairIndex + 1);
                manager->LevelPanorama(true);
                block->previewCurrent = 1;
                return EndRun(manager, block, false);
            }
        }
        if (kind == kPairToStitch || kind == kPairLoopClosing || kind == kPairSecondMerged) {
            if (block->busy == 0) {
                char text[64];
                std::snprintf(text, sizeof text, "Stitching images %3d & %d", block->pairIndex + 1,
                              (block->pairIndex + 1) % (block->frameCount > 0 ? block->frameCount : 1) + 1);
                SetProgressText(text);
                Logger::log("%s", 4, text);
                if (manager->GetPairWindow() && !(manager->GetFlags() & kFlagMarkerMethod) &&
                    PairWindowShows(manager, a, b)) {
                    SendStitchThisPair(manager, a, b);
                    return true;
                }
                manager->ModifyFlags(0, kFlagPairInProgress);
                manager->SetWorkerActive(true);
                block->busy = 1;
                StitchTwoFrames(a, b, kind == kPairLoopClosing ? -1 : 1, true);
                return true;
            }
            block->busy = 0;
            block->stitchedCount += 1;
            block->lastIndex = block->pairIndex;
            if (kind == kPairToStitch) {
                block->previewCurrent = UpdatePanoramaAfterPair(block->pairIndex + 1, 0, false);
            } else if (kind == kPairSecondMerged) {
                block->previewCurrent = UpdatePanoramaAfterPair(block->pairIndex + 1, 0, true);
            } else {
                NotifyLoop(manager, 1);
                chain->CloseLoop();
                block->previewCurrent = UpdatePanoramaAfterPair(block->pairIndex + 2, 1, false);
                block->pairKind = kPairNothingLeft;
                LimitOutputSize(manager);
                return EndRun(manager, block, false);
            }
        } else {
            if (block->stitchedCount == 0)
                block->previewCurrent = UpdatePanoramaAfterPair(block->pairIndex + 1, 1, false);
            LimitOutputSize(manager);
            return EndRun(manager, block, false);
        }
        if (!StepProgressDialog()) BarIdle(manager);
    } while ((manager->GetFlags() & kFlagStopped) == 0);
    return EndRun(manager, block, true);
}

bool UpdatePanoramaAfterPair(int n, int mode, bool flag)
{
    if (n < 1) return true;
    SuperManager* manager = GetSuperManager();
    if (!manager) return false;
    manager->PairToGlobal(n, 0, flag);
    if (mode < 0) return false;
    if (mode == 1 || n < 3 || (n - 3) % 3 == 0) {
        manager->LevelPanorama(true);
        return true;
    }
    return false;
}

bool SuperManager::MarkerStitch(bool fromPairWindow)
{
    if (!m_chain) return false;
    m_chain->SetAutoStitchMode(false);
    if (!GetTrayState()) NotifyLoop(this, 0);
    ImageFrame* a = nullptr;
    ImageFrame* b = nullptr;
    int i = 0;
    int kind = m_chain->NextStitchPair(&a, &b, &i);
    switch (kind) {
    case kPairNothingLeft:
        UpdatePanoramaAfterPair(i + 1, 1, false);
        SetPane59000("");
        BarIdle(this);
        LimitOutputSize(this);
        return true;
    case kPairLoopClosingAsk:
        if (m_tray && m_tray->GetHost()) m_tray->GetHost()->ToggleLoop();
        if (!GetTrayState()) {
            AlignOpenChain(this, m_chain, i + 1);
            LevelPanorama(true);
            BarIdle(this);
            return true;
        }
        kind = kPairLoopClosing;
        break;
    case kPairToStitch:
    case kPairLoopClosing:
    case kPairSecondMerged:
        break;
    default:
        BarIdle(this);
        return true;
    }
    const bool loop = kind == kPairLoopClosing;
    if (!fromPairWindow && m_pairWindow && !(m_flags & kFlagMarkerMethod) && PairWindowShows(this, a, b)) {
        SendStitchThisPair(this, a, b);
        return true;
    }
    Neighbor* n1 = a->FindNeighbor(b);
    Neighbor* n2 = b->FindNeighbor(a);
    const int m = MinMarkerPairs();
    int c1 = 0, c2 = 0;
    bool ready = false;
    if (n1 && n2 && n1->GetMarkers() && n2->GetMarkers()) {
        c1 = n1->GetMarkers()->GetNumbOfMarker();
        c2 = n2->GetMarkers()->GetNumbOfMarker();
        char text[160];
        if (c1 == c2 && c1 >= m) {
            ready = n1->Is1stTimeStitching() || n1->IsMarkerChanged() || n2->IsMarkerChanged();
        } else if (c1 == c2) {
            std::snprintf(text, sizeof text, "Please add minimum %d marker pairs (press F1 for help).", m);
            AfxMessageBox(text, MB_OK, 3);
        } else {
            std::snprintf(text, sizeof text,
                          "Markers are NOT paired up! Please provide minimum %d pairs (press F1 for help).", m);
            AfxMessageBox(text, MB_OKCANCEL, 3);
        }
    }
    if (!ready) {
        TellMarkerProblem(this, a, b, loop, n1, c1, c2, m, false);
        return false;
    }
    n1->SetMakerState(false);
    n2->SetMakerState(false);
    if (!StitchTwoFrames(a, b, loop ? -1 : 1, false)) {
        TellMarkerProblem(this, a, b, loop, n1, c1, c2, m, true);
        return false;
    }
    if (kind == kPairToStitch) {
        UpdatePanoramaAfterPair(i + 1, 1, false);
    } else if (kind == kPairSecondMerged) {
        UpdatePanoramaAfterPair(i + 1, 1, true);
    } else {
        NotifyLoop(this, 1);
        m_chain->CloseLoop();
        PairToGlobal(i + 2, 1, false);
        // The preview shows the closed loop too, as after an automatic run.
        LevelPanorama(true);
    }
    BarIdle(this);
    return true;
}

void SuperManager::ResumeAutoStitch()
{
    if (!m_automaticMode || !m_stitchBar) return;
    m_stitchBar->SetStitchRunning(false);
}

