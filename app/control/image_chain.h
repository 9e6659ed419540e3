// The project's frames in the order the image tray shows them: frame i
// overlaps frame i + 1 and, in a loop, the last overlaps the first. The stitch
// driver asks it for the next pair, it closes a loop by spreading the residual
// turn over every frame, and it keeps the per-pair overlap defaults. The tray
// owns the chain; the group owns the frames (the list has no deleter).
#pragma once

#include "imaging/list.h"

#include <cstdint>

class ImageFrame;

// Bits of ImageChain::flags.
constexpr uint32_t kChainCenterSet = 0x1;
constexpr uint32_t kChainLoop = 0x2;
constexpr uint32_t kChainLoopBlocked = 0x4;       // the loop-closing link was found blocked once
constexpr uint32_t kChainLoopBlockedAgain = 0x8;  // ... and again
constexpr uint32_t kChainMarkerMode = 0x10;       // stitching by markers (nothing reads it)

// Kinds NextStitchPair returns.
constexpr int kPairToStitch = 1;
constexpr int kPairNothingLeft = 2;
constexpr int kPairLoopClosing = 4;
constexpr int kPairLoopClosingAsk = 8;
constexpr int kPairSecondMerged = 0x20;

class ImageChain : public List {
public:
    ImageChain();
    ~ImageChain();

    ImageFrame* GetFrame(int i) const { return static_cast<ImageFrame*>(GetData(i)); }
    int GetCount() const { return m_count; }

    void SetCenterFrame(int i);
    bool HasCenterFrame() const { return (flags & kChainCenterSet) != 0; }
    void SetAutoStitchMode(bool automatic);

    // One of the kinds above; *index counts the merged pairs passed.
    int NextStitchPair(ImageFrame** a, ImageFrame** b, int* index);
    // Squeezes an almost-full turn to 99 % of a turn; false when the span is
    // below that and nothing changed.
    bool FitChainSpan(bool scaleToo);
    // After the loop-closing pair was stitched: spreads the closing error.
    void CloseLoop();
    // Radians covered by the merged run from the first frame.
    float ChainSpan();
    void ResetPairStates(bool full, bool dropMarkers, int from, int to, bool dropFaMarkers);

    // A new array of the frames (the caller deletes it with delete[]), null
    // for an empty chain.
    ImageFrame** GetFrameArray(uint32_t* count, bool* loop) const;
    void SetLoop(bool on);
    bool IsLoop() const { return (flags & kChainLoop) != 0; }
    bool GetPair(int i, ImageFrame** a, ImageFrame** b) const;
    void UpdateDefaultOverlaps();
    void UpdateDefaultOverlap(int i);
    void SetPairOverlap(int i, float h);
    void GetPairOverlap(int i, float* h, float* v) const;
    int CountMergedPairs();

    // Fields, in this order, after the list's.
    uint32_t flags = 0;
    int32_t centerIndex = 0;
    int32_t pairCursor = 0;  // index the last pair search reached, or the last merged-pair count
    float loopPan = 0.0f;    // the last frame's pose when the loop-closing pair was chosen
    float loopTilt = 0.0f;
    float loopScale = 0.0f;  // reciprocal focal length, 1/pixel

private:
    void SaveLoopPose(ImageFrame* last);
    // Pans after frame 0 rescaled about frame 0's pan by k (a pan that jumps
    // by more than 4 radians from its predecessor has wrapped); with q, tilts
    // follow the new pans; with scaleToo every scale is multiplied by k.
    void SpreadPans(float k, float q, bool scaleToo);
};

// The form the stitch-run code calls.
void ResetPairStates(ImageChain* chain, bool full, bool dropMarkers, int from, int to, bool dropFaMarkers);
