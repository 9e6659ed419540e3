// Tags of the image graph's entries in the project file.
#pragma once

#include <cstdint>

enum GraphTag : uint16_t {
    kTagFrameCount = 17,
    kTagCenterIndex = 18,
    kTagFramesOpen = 19,
    kTagFramesClose = 20,
    kTagFrameOpen = 21,
    kTagFrameClose = 22,
    kTagBlendIndex = 23,
    kTagName = 24,
    kTagStampLocation = 25,
    kTagFrameState = 26,
    kTagOverlapLocation = 27,
    kTagFrameLinksOpen = 28,
    kTagFrameLinksClose = 29,
    kTagLinkCount = 30,
    kTagLinkList = 31,
    kTagLinkListClose = 32,
    kTagLinkOpen = 33,
    kTagLinkState = 34,
    kTagLinkIndex = 35,
    kTagLinkOffset = 36,
    kTagManualMarkers = 37,
    kTagPairInfoMarkers = 38,
    kTagPairSetting = 39,
    kTagPairShareByte = 40,
    kTagGraphOpen = 41,
    kTagGraphClose = 42,
    kTagLinksOpen = 43,
    kTagLinksClose = 44,
    kTagLinkClose = 45,
    kTagBrightness = 47,
    kTagContrast = 48,
    kTagGamma = 49,
    kTagFakeMarkers = 53,
    kTagBlendWidthLine = 54,
    kTagFaMarkers = 59,
};

// Only bits 0 (end-frame link), 2 (inactive), 5 (bridged), 9, 10 and 11
// (automatic marker mode, flag and stitch result) of a link state are stored.
constexpr uint16_t kStoredLinkStateMask = 0x0E25;

// Entries that only open or close a structure: their type, count and value
// mean nothing, and no data follows them wherever they appear.
inline bool IsStructureTag(uint16_t tag)
{
    switch (tag) {
    case kTagFramesOpen: case kTagFramesClose: case kTagFrameOpen: case kTagFrameClose:
    case kTagFrameLinksOpen: case kTagFrameLinksClose: case kTagLinkListClose: case kTagGraphOpen:
    case kTagGraphClose: case kTagLinksOpen: case kTagLinksClose: case kTagLinkClose:
        return true;
    default:
        return false;
    }
}
