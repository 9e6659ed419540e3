// The stitch driver: a stitch run as a re-entrant step function on the
// user-interface thread (SuperManager::DoStitching), the automatic pair loop
// on worker threads, marker stitching on the user-interface thread, and the
// global alignment and preview refresh after each pair.
#pragma once

#include <cstdint>

class ImageChain;
struct DistortionRecord;

// The automatic control-point search as the driver uses it. The matching
// package installs it; without it every chain counts as holding its control
// points (the pairs then fall back on the stitching core's own search).
struct StitchMatching {
    // True while consecutive pairs of the chain still lack control points.
    bool (*needAutoMarkers)(ImageChain* chain) = nullptr;
    // The search on the worker: the chain's frames, the manager's reduction
    // code, the correction record (null when none applies); 0 when it
    // finished, any other value when it failed or was cancelled.
    int (*run)(ImageChain* chain, uint8_t reductionCode, const DistortionRecord* correction) = nullptr;
};
void SetStitchMatching(const StitchMatching& matching);

// The matching worker's record: filled before the worker starts, read after
// its 0x814C arrived.
struct MatchingRequest {
    ImageChain* chain = nullptr;
    uint8_t reductionCode = 0;
    const DistortionRecord* correction = nullptr;
    int32_t result = 0;  // written by the worker
};
MatchingRequest* GetMatchingRequest();
void ClearMatchingRequest();

// Worker body of the matching run; posts 0x814C to the main window.
unsigned MatchingThreadProc(void* unused);
// The automatic pair loop; true when it returns waiting for a worker or
// after the run ended normally.
bool AutoStitch();
// After a stitched pair: global alignment of the first n frames, then the
// preview refresh after pairs 1, 2, 3, 6, 9 ... (mode 0), always (mode 1) or
// never (mode < 0); true when the preview was refreshed.
bool UpdatePanoramaAfterPair(int n, int mode, bool flag);
