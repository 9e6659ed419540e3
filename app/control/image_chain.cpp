#include "app/control/image_chain.h"

#include "app/control/super_manager.h"
#include "platform/panocore/img_info.h"
#include "projectgraph/curvekit/pair_info.h"
#include "platform/panocore/pair_share_info.h"
#include "core/logger.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"

#include <cmath>

namespace {

constexpr float kFullTurn = 6.283185f;
constexpr float kSpanTarget = 6.220353f;     // 99 % of a turn
constexpr float kAskLoopSpan = 5.8f;         // a chain this wide may have closed on itself
constexpr float kWrapJump = 4.0f;            // a pan step this large has crossed +-pi
constexpr float kLoopTurnMin = 0.8f * kFullTurn;   // a measured closing turn outside this
constexpr float kLoopTurnMax = 1.25f * kFullTurn;  // band is a pose error, not a loop

// The frame's placement in the stitching core, or null without one.
TRANSFORM_RS* Pose(ImageFrame* frame)
{
    IImgInfo* info = frame ? frame->GetImgInfo() : nullptr;
    return info ? info->GetParams() : nullptr;
}

Neighbor* LinkTo(ImageFrame* from, ImageFrame* to) { return from && to ? from->FindNeighbor(to) : nullptr; }

void TellManagerCenter(ImageFrame* frame)
{
    if (SuperManager* manager = GetSuperManager()) manager->SetCenterFrame(frame);
}

// One direction of a pair back to "never stitched".
void ResetLink(ImageFrame* frame, Neighbor* link, bool full, bool dropMarkers, bool dropFaMarkers)
{
    link->SetNotMerged();
    link->SetNotBlocked();
    link->SetNotDetoured();
    if (full) {
        if (IPairInfo* info = frame->GetPairInfo(link->GetNeighborFrame())) info->SetMarker(nullptr);
        link->SetFakeMarkers(nullptr);
        link->SetMarkerType(true);
        if (dropFaMarkers) link->SetMarkerFa(nullptr);
        link->SetAtuoMarkerType(false);
        link->SetAtuoStitchStatus(false);
        if (IPairShareInfo* share = link->GetPairShareInfo())
            if (PAIR_WALIGN_RR_PRMS2* pair = share->GetPairParams()) pair->rcpF1 = pair->rcpF2 = 0.0f;
    }
    if (dropMarkers) link->SetMarkers(nullptr);
}

}  // namespace

ImageChain::ImageChain() : List(nullptr, 5) {}

ImageChain::~ImageChain() = default;

void ImageChain::SetCenterFrame(int i)
{
    ImageFrame* frame = i >= 0 ? GetFrame(i) : nullptr;
    if (!frame) {
        flags &= ~kChainCenterSet;
        return;
    }
    if (HasCenterFrame())
        if (ImageFrame* old = GetFrame(centerIndex)) old->SetNotMerged();
    centerIndex = i;
    flags |= kChainCenterSet;
    frame->SetMerged();
    frame->SetAsCenter();
    TellManagerCenter(frame);
}

void ImageChain::SetAutoStitchMode(bool automatic)
{
    if (automatic)
        flags &= ~kChainMarkerMode;
    else
        flags |= kChainMarkerMode;
}

int ImageChain::NextStitchPair(ImageFrame** a, ImageFrame** b, int* index)
{
    const int n = m_count - 1;
    *index = 0;
    for (int i = 0; i < n; ++i) {
        ImageFrame* f = GetFrame(i);
        ImageFrame* g = GetFrame(i + 1);
        Neighbor* link = LinkTo(f, g);
        if (link && link->IsMerged()) {
            ++*index;
            continue;
        }
        if (!link) f->AddNeighbor(g);
        if (i == 0) {
            f->SetAsCenter();
            TellManagerCenter(f);
        }
        *a = f;
        *b = g;
        pairCursor = *index;
        if (!g->IsMerged()) return kPairToStitch;
        return i + 1 == n ? kPairToStitch : kPairSecondMerged;
    }
    pairCursor = *index;
    if (n < 1) return kPairNothingLeft;

    ImageFrame* first = GetFrame(0);
    ImageFrame* last = GetFrame(n);
    bool ask = false;
    if (!IsLoop()) {
        if (ChainSpan() < kAskLoopSpan) return kPairNothingLeft;
        ask = true;
    }
    List* links = last->GetNeighbor();
    for (int k = 0; k < links->m_count; ++k) {
        auto* link = static_cast<Neighbor*>(links->GetData(k));
        if (link->GetNeighborFrame() != first) continue;
        if (link->IsMerged() && link->IsActive()) return kPairNothingLeft;
        if (link->IsBlocked()) {
            if (flags & kChainLoopBlocked) {
                if (flags & kChainLoopBlockedAgain) flags &= ~(kChainLoopBlocked | kChainLoopBlockedAgain);
                flags |= kChainLoopBlockedAgain;
            }
            flags |= kChainLoopBlocked;
            *a = first;
            *b = last;
            SaveLoopPose(last);
            return ask ? kPairLoopClosingAsk : kPairLoopClosing;
        }
    }
    first->AddNeighbor(last);
    *a = first;
    *b = last;
    SaveLoopPose(last);
    return ask ? kPairLoopClosingAsk : kPairLoopClosing;
}

void ImageChain::SaveLoopPose(ImageFrame* last)
{
    if (const TRANSFORM_RS* pose = Pose(last)) {
        loopPan = pose->pan;
        loopTilt = pose->tilt;
        loopScale = pose->rcpFocal;
    }
}

float ImageChain::ChainSpan()
{
    ImageFrame* current = GetFrame(0);
    const TRANSFORM_RS* pose = Pose(current);
    if (!pose) return 0.0f;
    float cx = 0.0f, cy = 0.0f;
    current->GetOpticalCenter(cx, cy);
    const float h = std::atan(cx * pose->rcpFocal);
    const float left = pose->pan - h;
    if (!current->IsMerged()) return pose->pan + h - left;

    bool wrapped = false;
    float previousPan = pose->pan;
    for (int i = 0; i < m_count - 1; ++i) {
        ImageFrame* next = GetFrame(i + 1);
        Neighbor* link = LinkTo(current, next);
        const TRANSFORM_RS* nextPose = Pose(next);
        if (!next->IsMerged() || !link || !link->IsMerged() || !nextPose) break;
        current = next;
        pose = nextPose;
        if (std::fabs(pose->pan - previousPan) > kWrapJump) wrapped = !wrapped;
        previousPan = pose->pan;
    }
    current->GetOpticalCenter(cx, cy);
    const float right = std::atan(cx * pose->rcpFocal) + pose->pan;
    return right - left + (wrapped ? kFullTurn : 0.0f);
}

void ImageChain::SpreadPans(float k, float q, bool scaleToo)
{
    const TRANSFORM_RS* firstPose = Pose(GetFrame(0));
    if (!firstPose) return;
    const float p0 = firstPose->pan;
    float previousPan = p0;
    bool wrapped = false;
    for (int i = 0; i < m_count; ++i) {
        TRANSFORM_RS* pose = Pose(GetFrame(i));
        if (!pose) continue;
        if (i > 0) {
            const float before = pose->pan;
            if (std::fabs(before - previousPan) > kWrapJump) wrapped = true;
            previousPan = before;
            pose->pan = ((wrapped ? before + kFullTurn : before) - p0) * k + p0;
            pose->tilt -= (pose->pan - p0) * q;
        }
        if (scaleToo) pose->rcpFocal *= k;
    }
}

bool ImageChain::FitChainSpan(bool scaleToo)
{
    const float span = ChainSpan();
    if (span < kSpanTarget) return false;
    SpreadPans(kSpanTarget / span, 0.0f, scaleToo);
    return true;
}

void ImageChain::CloseLoop()
{
    TRANSFORM_RS* last = Pose(GetFrame(m_count - 1));
    if (!last) return;
    float d = loopPan - last->pan;
    if (d < 1.5707964f) d += kFullTurn;
    if (!(d >= kLoopTurnMin && d <= kLoopTurnMax)) {
        Logger::log("ERROR ImageChain::CloseLoop: closing turn %f radians is no full turn; poses kept", 1,
                    static_cast<double>(d));
        return;
    }
    const float k = kFullTurn / d;
    const float q = (loopTilt - last->tilt) / kFullTurn;
    last->pan = loopPan;
    last->tilt = loopTilt;
    last->rcpFocal = loopScale;
    SpreadPans(k, q, true);
}

void ImageChain::ResetPairStates(bool full, bool dropMarkers, int from, int to, bool dropFaMarkers)
{
    flags &= ~(kChainLoopBlocked | kChainLoopBlockedAgain);
    if (m_count == 0 || from < 0 || from >= m_count) return;
    const int end = to < from ? m_count - 1 : std::min(to, m_count - 1);
    for (int i = from; i <= end; ++i) {
        ImageFrame* frame = GetFrame(i);
        List* links = frame->GetNeighbor();
        if (links->m_count == 0) continue;
        for (int k = 0; k < links->m_count; ++k) {
            auto* link = static_cast<Neighbor*>(links->GetData(k));
            ResetLink(frame, link, full, dropMarkers, dropFaMarkers);
            ImageFrame* other = link->GetNeighborFrame();
            if (Neighbor* reverse = LinkTo(other, frame)) ResetLink(other, reverse, full, dropMarkers, dropFaMarkers);
        }
        frame->SetNotMerged();
        if (full) {
            frame->SetBeamDownState(false);
            frame->SetImage(nullptr, true);
            if (IImgInfo* info = frame->GetImgInfo()) info->ClearParams();
        }
    }
    if (from >= 1) GetFrame(from)->SetNotMerged(GetFrame(from - 1));
}

ImageFrame** ImageChain::GetFrameArray(uint32_t* count, bool* loop) const
{
    if (count) *count = m_count;
    if (loop) *loop = IsLoop();
    if (m_count == 0) return nullptr;
    auto* frames = new ImageFrame*[m_count];
    for (int i = 0; i < m_count; ++i) frames[i] = GetFrame(i);
    return frames;
}

void ImageChain::SetLoop(bool on)
{
    if (on)
        flags |= kChainLoop;
    else
        flags &= ~kChainLoop;
    if (m_count < 2) return;
    ImageFrame* first = GetFrame(0);
    ImageFrame* last = GetFrame(m_count - 1);
    if (Neighbor* link = LinkTo(first, last)) {
        link->Activate(on);
        // A pair made in one direction only has no reverse to switch.
        if (Neighbor* reverse = LinkTo(last, first)) reverse->Activate(on);
    } else if (on) {
        first->AddNeighbor(last);
    }
}

bool ImageChain::GetPair(int i, ImageFrame** a, ImageFrame** b) const
{
    if (i < 0 || i >= m_count || m_count < 2) return false;
    if (i == m_count - 1) {
        if (!IsLoop()) return false;
        *a = GetFrame(0);
        *b = GetFrame(i);
        return true;
    }
    *a = GetFrame(i);
    *b = GetFrame(i + 1);
    return true;
}

void ImageChain::UpdateDefaultOverlaps()
{
    for (int i = 0; i < m_count; ++i) UpdateDefaultOverlap(i);
}

void ImageChain::UpdateDefaultOverlap(int i)
{
    ImageFrame *a = nullptr, *b = nullptr;
    if (!GetPair(i, &a, &b)) return;
    Neighbor* link = LinkTo(a, b);
    if (!link) link = a->AddNeighbor(b);
    if (link) link->UpdateDefaultOverlap();
    if (Neighbor* reverse = LinkTo(b, a)) reverse->UpdateDefaultOverlap();
}

void ImageChain::SetPairOverlap(int i, float h)
{
    ImageFrame *a = nullptr, *b = nullptr;
    if (!GetPair(i, &a, &b)) return;
    Neighbor* link = LinkTo(a, b);
    if (!link) link = a->AddNeighbor(b);
    if (link) link->SetOverlapH(h);
    if (Neighbor* reverse = LinkTo(b, a)) reverse->SetOverlapH(h);
}

void ImageChain::GetPairOverlap(int i, float* h, float* v) const
{
    ImageFrame *a = nullptr, *b = nullptr;
    Neighbor* link = GetPair(i, &a, &b) ? LinkTo(a, b) : nullptr;
    if (link) {
        *h = link->GetOverlapH();
        *v = link->GetOverlapV();
        return;
    }
    const PAIR_ALIGN_INIT_SETTING* setting = Neighbor::GetPairAlignInitSetting();
    *h = setting->overlapH;
    *v = setting->overlapV;
}

int ImageChain::CountMergedPairs()
{
    int merged = 0;
    for (int i = 0; i < m_count; ++i) {
        ImageFrame* a = GetFrame(i);
        ImageFrame* b = GetFrame(i + 1 < m_count ? i + 1 : 0);
        if (a == b) break;
        Neighbor* link = LinkTo(a, b);
        if (!link || !link->IsMerged()) break;
        ++merged;
    }
    pairCursor = merged;
    return merged;
}

void ResetPairStates(ImageChain* chain, bool full, bool dropMarkers, int from, int to, bool dropFaMarkers)
{
    if (chain) chain->ResetPairStates(full, dropMarkers, from, to, dropFaMarkers);
}
