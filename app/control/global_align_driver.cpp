// Global alignment after every stitched pair and leveling of the panorama:
// the manager's side of the global solver and of the leveler.
#include "adjust/globfit/global_align.h"
#include "adjust/globfit/globfit_settings.h"
#include "app/control/image_chain.h"
#include "app/control/pano_leveler.h"
#include "app/control/stitch_settings.h"
#include "app/control/super_manager.h"
#include "app/matching/distortion_record.h"
#include "core/logger.h"
#include "platform/panocore/img_info.h"
#include "platform/panocore/pair_share_info.h"
#include "platform/xformkit/transform_wa.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr float kSolveTolerance = 0.0001f;
constexpr int kFewPairs = 7;  // below this many pairs one distortion coefficient

// Focal mode of the solver (bits 0-1) for the focal type; -1 leaves the word's
// bits as they were. `ring`: as many merged pairs as merged frames.
int FocalModeFor(int focalType, bool ring, bool* recomputeFocals)
{
    *recomputeFocals = false;
    switch (focalType) {
    case 0: return globfit::kFocalShared;
    case 1: return globfit::kFocalPerFrame;
    case 2: return ring ? globfit::kFocalShared : globfit::kFocalFixed;
    case 3: *recomputeFocals = true; return globfit::kFocalNormalised;
    case 4:
        if (!ring) return globfit::kFocalFixed;
        *recomputeFocals = true;
        return globfit::kFocalNormalised;
    default: return -1;
    }
}

}  // namespace

// One solve: the word goes to the solver before Init; a failed sanity check
// is answered by one more solve without distortion. Returns the word the last
// solve ran with.
int SuperManager::RunGlobalSolve(GlobalAlign& solver, int word, int* list, int count, int pairs)
{
    solver.setSettings(word);
    if (m_globalSolveObserver) m_globalSolveObserver(word, count, pairs);
    if (!solver.Init(m_group.get(), list, count, pairs)) {
        Logger::log("ERROR PairToGlobal: the solver refused %d frames", 1, count);
        return word;
    }
    if (solver.DoAlignment(kSolveTolerance) >= 0.0f) return word;
    word &= ~globfit::kEstimateDistortion;
    solver.setSettings(word);
    if (m_globalSolveObserver) m_globalSolveObserver(word, count, pairs);
    if (solver.Init(m_group.get(), list, count, pairs)) solver.DoAlignment(kSolveTolerance);
    return word;
}

bool SuperManager::PairToGlobal(int n, int mode, bool pairwise)
{
    char text[64];
    std::snprintf(text, sizeof text, "PairToGlobal(%d,%d,%d)", n, mode, pairwise ? 1 : 0);
    // The focal type the alignment saw rides along in the record's value.
    RecordDeferredCall(text, nullptr, nullptr, m_stitchSettings->focalType);
    ImageGroup* group = m_group.get();
    if (!group || group->GetNumbOfImages() <= 0) return false;
    std::vector<int> list(static_cast<size_t>(group->GetNumbOfImages()), 0);
    int m = 0, p = 0;
    group->GetMergedImages(list.data(), m, p);
    if (p <= 0 || m <= 0) return false;

    StitchSettings* settings = m_stitchSettings.get();
    const bool ring = p == m;
    bool recompute = false;
    const int focalMode = FocalModeFor(settings->focalType, ring, &recompute);
    int word = m_globalAlignMode;
    if (focalMode >= 0) word = (word & ~globfit::kFocalModeMask) | focalMode;
    if (recompute) ComputePixelFocals(list.data(), m);
    const bool distortion = settings->runtimeDistortion != 0;
    word &= ~(globfit::kEstimateCentre | globfit::kEstimateDistortion | globfit::kThreeCoefficients);
    if (settings->solverOption) word |= globfit::kEstimateCentre;
    if (distortion) {
        word |= globfit::kEstimateDistortion;
        if (p < kFewPairs) {
            settings->fewImages = 1;
        } else {
            settings->fewImages = 0;
            word |= globfit::kThreeCoefficients;
        }
    }
    m_globalAlignMode = word;

    GlobalAlign solver(word, m_globalAlignAngle);
    int last = word;
    if (!pairwise) {
        last = RunGlobalSolve(solver, word, list.data(), m, p);
    } else {
        ImageFrame* first = group->GetImageFrame(list[0]);
        ImageFrame* lastFrame = group->GetImageFrame(list[m - 1]);
        if (ring && first && lastFrame) first->SetNotMerged(lastFrame);
        // Consecutive entries only, the closing pair at most: a group with
        // more merged pairs than frames never reads past the list.
        const int steps = std::min(p, m);
        for (int i = 0; i < steps; ++i) {
            if (distortion) {
                if (i < kFewPairs) {
                    settings->fewImages = 1;
                    m_globalAlignMode &= ~globfit::kThreeCoefficients;
                } else {
                    settings->fewImages = 0;
                    m_globalAlignMode |= globfit::kThreeCoefficients;
                }
            }
            const bool closing = i + 1 == m;
            const int ia = closing ? list[0] : list[i];
            const int ib = closing ? list[i] : list[i + 1];
            ImageFrame* a = group->GetImageFrame(ia);
            ImageFrame* b = group->GetImageFrame(ib);
            IPairShareInfo* share = a && b && a->FindNeighbor(b) ? a->GetPairShareInfo(b) : nullptr;
            if (!share || !share->GetPairParams() || !a->GetImgInfo() || !b->GetImgInfo()) {
                Logger::log("ERROR PairToGlobal: no link between frames %d and %d", 1, ia, ib);
                continue;
            }
            TRANSFORM_RS* ta = a->GetImgInfo()->GetParams();
            TRANSFORM_RS* tb = b->GetImgInfo()->GetParams();
            if (i == 0) CTransformWA::PairPrmsToGlobalImg_1(share->GetPairParams(), nullptr, 0.0f, ta);
            CTransformWA::PairPrmsGlobalImg1To_2(share->GetPairParams(), ta, tb);
            if (i > 0 || distortion) {
                if (closing) {
                    a->SetMerged(b);
                    if (m_chain) m_chain->CloseLoop();
                    last = RunGlobalSolve(solver, m_globalAlignMode, list.data(), m, p);
                } else {
                    last = RunGlobalSolve(solver, m_globalAlignMode, list.data(), i + 2, i + 1);
                }
            }
            if (m_chain) {
                m_chain->loopPan = tb->pan;
                m_chain->loopTilt = tb->tilt;
            }
        }
        // A ring whose closing pair was skipped keeps its link merged.
        if (ring && first && lastFrame) first->SetMerged(lastFrame);
    }

    if (distortion) {
        if (last & globfit::kEstimateDistortion) {
            float e3 = 0, e2 = 0, e1 = 0, e0 = 1, wbar = 0;
            if (solver.GetDistortion(e3, e2, e1, e0, wbar)) {
                DistortionRecord* record = GetDistortionRecord(true);
                record->a = e3;
                record->b = e2;
                record->c = e1;
                record->d = e0;
                record->exifFocalLength = wbar;
            }
        } else {
            m_distortion.reset();
        }
    }
    if (mode) m_flags |= kFlagAligned;
    return true;
}

bool SuperManager::LevelPanorama(bool remap)
{
    RecordDeferredCall(remap ? "LevelPanorama(1)" : "LevelPanorama(0)");
    PanoLeveler leveler;
    if (!leveler.Solve(m_group.get(), kSolveTolerance)) return false;
    if (remap) RemapPanorama(false);
    return true;
}

void SuperManager::ApplyLevelingRotation(float pan, float tilt, float angle)
{
    ImageGroup* group = m_group.get();
    if (!group || group->GetNumbOfImages() <= 0) return;
    std::vector<int> list(static_cast<size_t>(group->GetNumbOfImages()), 0);
    int m = 0, p = 0;
    group->GetMergedImages(list.data(), m, p);
    if (m <= 0 || p <= 0) return;
    ApplyLevelingToFrames(angle, pan, tilt, list.data(), m, group);
}
