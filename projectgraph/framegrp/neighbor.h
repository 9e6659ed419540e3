// One direction of the link between two overlapping frames of a project: the
// marker sets placed on this frame's image for the pair, curves, an offset,
// state bits and the stitching core's pair objects. Frames make links in
// pairs (ImageFrame::AddNeighbor); the chain, the matcher, the marker editor,
// the global adjustment and the record stream work through them.
#pragma once

#include "core/pair_align_records.h"

#include <cstdint>

class Curve;
class IPairInfo;
class IPairShareInfo;
class ImageFrame;
class Marker;
class TwoDCurves;

// Bits of the link state word.
enum NeighborState : uint16_t {
    kLinkEndFrame = 0x0001,     // held by the pair's start frame; does not own the pair-share object
    kLinkMerged = 0x0002,
    kLinkInactive = 0x0004,
    kLinkMarkerChanged = 0x0008,
    kLinkBlocked = 0x0010,
    kLinkBridged = 0x0020,
    kLinkDetoured = 0x0040,
    kLinkStitched = 0x0080,     // stitched before
    kLinkAutoMarkerMode = 0x0200,
    kLinkAutoMarkerFlag = 0x0400,
    kLinkAutoStitchOk = 0x0800,
};

class Neighbor {
public:
    // endFrame true: the end-frame link of a new pair (no pair-share object
    // yet; the frame hands it the other link's). false: the start-side link,
    // which makes the pair-share object from the class-wide default settings
    // and counts in the link counter.
    explicit Neighbor(bool endFrame);
    ~Neighbor();
    Neighbor(const Neighbor&) = delete;
    Neighbor& operator=(const Neighbor&) = delete;

    static void ResetLinkingCounter();
    static uint16_t GetLinkingCounter();
    static PAIR_ALIGN_INIT_SETTING* GetPairAlignInitSetting();

    // Markers and curves.
    Marker* AddMarker(short x, short y);
    void AddCurve(Curve* curve);
    void SetMarkerFa(Marker* markers);
    void SetMarkers(Marker* markers);
    void SetFakeMarkers(Marker* markers);
    Marker* GetMarkers() const;
    Marker* GetMarkers(bool manual) const;
    Marker* GetMarkerFa() const { return m_markerFa; }
    TwoDCurves* GetCurves() const { return m_curves; }
    int FindMarker(float x, float y, float r) const;

    // Activates this link and `reverse`; an end-frame link swaps roles with
    // it. Both take the counter as their link index, which then rises.
    void ActivateLink(Neighbor* reverse);
    int GetLinkIndex() const { return m_linkIndex; }
    void SetLinkIndex(int16_t index) { m_linkIndex = index; }

    // The stitching core's objects.
    void SetPairShareInfo(IPairShareInfo* info);
    IPairShareInfo* GetPairShareInfo() const { return m_pairShareInfo; }
    void SetPairInfo(IPairInfo* info);
    IPairInfo* GetPairInfo() const { return m_pairInfo; }

    // Overlap fractions kept in the pair-share object's settings.
    void UpdateDefaultOverlap();
    void SetOverlapH(float overlap);
    void SetOverlapV(float overlap);
    float GetOverlapH() const;
    float GetOverlapV() const;

    ImageFrame* GetNeighborFrame() const { return m_neighborFrame; }
    void SetNeighborFrame(ImageFrame* frame) { m_neighborFrame = frame; }

    // State bits.
    uint16_t GetState() const { return m_state; }
    void SetState(uint16_t state) { m_state = state; }
    bool IsEndImageFrame() const { return (m_state & kLinkEndFrame) != 0; }
    void SetAsEndFrame() { m_state |= kLinkEndFrame; }
    void SetAsStartFrame() { m_state &= ~kLinkEndFrame; }
    void SetMerged() { m_state |= kLinkMerged; }
    void SetNotMerged() { m_state &= ~kLinkMerged; }
    bool IsMerged() const { return (m_state & kLinkMerged) != 0; }
    void Activate(bool active) { SetBit(kLinkInactive, !active); }
    bool IsActive() const { return (m_state & kLinkInactive) == 0; }
    void SetMakerState(bool changed) { SetBit(kLinkMarkerChanged, changed); }
    bool IsMarkerChanged() const { return (m_state & kLinkMarkerChanged) != 0; }
    void SetBlocked() { m_state |= kLinkBlocked; }
    void SetNotBlocked() { m_state &= ~kLinkBlocked; }
    bool IsBlocked() const { return (m_state & kLinkBlocked) != 0; }
    void SetBridged() { m_state |= kLinkBridged; }
    void SetNotBridged() { m_state &= ~kLinkBridged; }
    bool IsBridged() const { return (m_state & kLinkBridged) != 0; }
    void SetDetoured() { m_state |= kLinkDetoured; }
    void SetNotDetoured() { m_state &= ~kLinkDetoured; }
    bool IsDetoured() const { return (m_state & kLinkDetoured) != 0; }
    bool Is1stTimeStitching() const { return (m_state & kLinkStitched) == 0; }
    void SetNot1stTimeStitching() { m_state |= kLinkStitched; }
    void Set1stTimeStitching() { m_state &= ~kLinkStitched; }
    void SetMarkerType(bool manual) { SetBit(kLinkAutoMarkerMode, !manual); }
    bool IsManualMarkerType() const { return (m_state & kLinkAutoMarkerMode) == 0; }
    void SetAtuoMarkerType(bool on) { SetBit(kLinkAutoMarkerFlag, on); }
    bool IsAutoMarkerF() const { return (m_state & kLinkAutoMarkerFlag) != 0; }
    void SetAtuoStitchStatus(bool ok) { SetBit(kLinkAutoStitchOk, ok); }
    bool IsAtuoStitchOk() const { return (m_state & kLinkAutoStitchOk) != 0; }

    // Fields, in this order. The pair marker view reads and writes the
    // offset and the curve set directly; the pointers are owned as stated.
    IPairShareInfo* m_pairShareInfo = nullptr;  // shared with the reverse link; the start-side link releases it
    IPairInfo* m_pairInfo = nullptr;            // owned
    Marker* m_markerFa = nullptr;               // owned: the matcher's 'Fa' markers
    Marker* m_markers = nullptr;                // owned: manual markers, relative to the offset
    Marker* m_fakeMarkers = nullptr;            // owned: the marker editor's automatic markers
    ImageFrame* m_neighborFrame = nullptr;      // the other frame of the pair, not owned
    TwoDCurves* m_curves = nullptr;             // owned, made on the first curve
    int16_t m_offsetX = 0;                      // this frame's image inside the pair view, pixels
    int16_t m_offsetY = 0;
    uint16_t m_state = 0;
    int16_t m_linkIndex = 0;

private:
    void SetBit(uint16_t bit, bool on) { m_state = on ? (m_state | bit) : (m_state & ~bit); }
    PAIR_ALIGN_INIT_SETTING* Setting() const;

    static uint16_t m_linkCount;
    static PAIR_ALIGN_INIT_SETTING m_pairAlignInitSetting;
};
