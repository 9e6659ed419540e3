#include "app/matching/auto_markers.h"

#include "app/control/image_chain.h"
#include "app/control/progress_dlg.h"
#include "app/matching/exif_summary.h"
#include "app/matching/match_channel.h"
#include "platform/utilkit/shm_comm.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

AutoMarkerRequest g_request{};

int FrameCount(ImageChain* frames) { return frames ? frames->GetCount() : 0; }

// Whether `frame` has markers towards `other` in any of the forms that end
// a search: a merged link, placed markers, a 'Fa' set (an empty one marks a
// pair searched without result) or automatic markers.
bool DoneTowards(ImageFrame* frame, ImageFrame* other)
{
    if (!frame || !other) return false;
    Neighbor* link = frame->FindNeighbor(other);
    if (!link) return false;
    return link->IsMerged() || link->GetMarkers() || link->GetMarkerFa() ||
           frame->GetAutoMarker(other, nullptr, nullptr);
}

// The links a -> b and b -> a, made when missing; null when they cannot be.
Neighbor* LinkOf(ImageFrame* a, ImageFrame* b)
{
    Neighbor* link = a->FindNeighbor(b);
    return link ? link : a->AddNeighbor(b);
}

}  // namespace

AutoMarkerRequest* GetAutoMarkerRequest() { return &g_request; }

void ClearAutoMarkerRequest() { std::memset(&g_request, 0, sizeof g_request); }

bool NeedAutoMarkers(ImageChain* frames, bool sequential)
{
    std::vector<ImageFrame*> collected;
    bool closed = false;
    if (sequential) return CollectSequentialFrames(frames, collected, &closed) >= 2;
    return FrameCount(frames) >= 2 && CollectAllFrames(frames, collected, &closed) > 0;
}

int RunAutoMarkerRequest()
{
    AutoMarkerRequest* r = GetAutoMarkerRequest();
    r->result = 0;
    const int code = FMatchAllImages(r->frames, r->downscaleCode, r->correction, r->sequential != 0,
                                     r->useMatcherRansac != 0);
    r->result = code != 0 ? 1 : 0;
    return r->result;
}

bool HasMarkersToNeighbours(int index, ImageChain* frames)
{
    const int n = FrameCount(frames);
    if (index < 0 || index >= n) return false;
    if (n < 2) return true;  // a lone frame has no neighbour to need markers to
    const bool loop = frames->IsLoop();
    ImageFrame* frame = frames->GetFrame(index);
    const bool leftDone = (index == 0 && !loop) || DoneTowards(frame, frames->GetFrame(index == 0 ? n - 1 : index - 1));
    const bool rightDone =
        (index == n - 1 && !loop) || DoneTowards(frame, frames->GetFrame(index == n - 1 ? 0 : index + 1));
    return leftDone && rightDone;
}

int CollectSequentialFrames(ImageChain* frames, std::vector<ImageFrame*>& out, bool* closedOut)
{
    const int n = FrameCount(frames);
    bool first = false, last = false;
    for (int i = 0; i < n; ++i) {
        if (HasMarkersToNeighbours(i, frames)) continue;
        out.push_back(frames->GetFrame(i));
        if (i == 0) first = true;
        if (i == n - 1) last = true;
    }
    if (closedOut) *closedOut = (n > 0 && (frames->IsLoop() || n >= 10)) && first && last;
    return static_cast<int>(out.size());
}

int CollectAllFrames(ImageChain* frames, std::vector<ImageFrame*>& out, bool* closedOut)
{
    const int n = FrameCount(frames);
    int unmatched = 0;
    for (int i = 0; i < n; ++i) {
        ImageFrame* frame = frames->GetFrame(i);
        out.push_back(frame);
        if (frame && !frame->IsFMatched()) ++unmatched;
    }
    if (closedOut) *closedOut = n > 0 && (frames->IsLoop() || n >= 10);
    return unmatched;
}

int FMatchAllImages(ImageChain* frames, uint8_t downscaleCode, const void* correction, bool sequential,
                    bool useMatcherRansac)
{
    std::vector<ImageFrame*> collected;
    bool closed = false;
    if (sequential) {
        if (CollectSequentialFrames(frames, collected, &closed) < 2) return 0;
    } else {
        const int unmatched = CollectAllFrames(frames, collected, &closed);
        if (collected.size() < 2 || unmatched == 0) return 0;
    }
    const int distance = !useMatcherRansac ? 0 : correction ? 8 : 6;
    SetProgressText("Finding auto markers...can take awhile");

    const int k = static_cast<int>(collected.size());
    const int pairs = sequential ? k : k * (k - 1) / 2;
    std::unique_ptr<ShmCommServer> server(createShmCommServer(GetShmSize(pairs, kMaxMarkerPairsPerImagePair)));
    if (!server) {
        std::printf("ERROR extractFMarkers::FMatchAllImages: no channel, the matcher cannot run\n");
        return kChildNotStarted;
    }
    const int result = runMatchExe_shm(server.get(), "0", collected, downscaleCode, distance, closed, sequential,
                                       true, false, 180.0f);
    if (result == kChildFinished) testShmCommServer(server.get(), collected);
    server.reset();
    if (result != kChildFinished) return result;
    if (sequential) AddEmptyMarkerSets(frames, closed);
    else SetFramesFMatchState(collected, true);
    return 0;
}

int AddEmptyMarkerSets(ImageChain* frames, bool closed)
{
    const int n = FrameCount(frames);
    int added = 0;
    for (int i = 0; i < n; ++i) {
        if (i == n - 1 && (!closed || n < 2)) break;
        ImageFrame* a = frames->GetFrame(i);
        ImageFrame* b = frames->GetFrame(i == n - 1 ? 0 : i + 1);
        if (!a || !b || a == b) continue;
        Neighbor* ab = LinkOf(a, b);
        Neighbor* ba = b->FindNeighbor(a);
        if (!ab || !ba) continue;
        if (!ab->GetMarkerFa()) {
            ab->SetMarkerFa(new Marker);
            ++added;
        }
        if (!ba->GetMarkerFa()) ba->SetMarkerFa(new Marker);
    }
    return added;
}

void SetFramesFMatchState(const std::vector<ImageFrame*>& frames, bool state)
{
    for (ImageFrame* frame : frames)
        if (frame) frame->SetFMatchState(state);
}

void CopyFramesToVector(ImageChain* frames, std::vector<ImageFrame*>& out)
{
    for (int i = 0; i < FrameCount(frames); ++i) out.push_back(frames->GetFrame(i));
}

int ResetFMatchState(ImageChain* frames)
{
    std::vector<ImageFrame*> all;
    CopyFramesToVector(frames, all);
    SetFramesFMatchState(all, false);
    return 0;
}

int FillExifSummary(ImageChain* frames, ExifSummary* summary)
{
    const int n = FrameCount(frames);
    if (!summary) return n;
    for (int i = 0; i < n; ++i) {
        ImageFrame* frame = frames->GetFrame(i);
        summary->Add(frame ? frame->getExifInfo(true) : nullptr);
    }
    summary->GetState();
    return n;
}

int CountExifFrames(ImageChain* frames)
{
    ExifSummary summary;
    return FillExifSummary(frames, &summary);
}
