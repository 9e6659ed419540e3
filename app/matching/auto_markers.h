// The automatic control-point search: whether the image chain still needs
// control points, the search itself through the matcher programs (on the
// matching worker), and the request record through which the stitch driver
// hands the search its frames and reads its outcome. A searched pair ends
// with 'Fa' marker sets on both links, empty when nothing matched, which is
// what keeps a finished search from running again.
#pragma once

#include <cstdint>
#include <vector>

class ExifSummary;
class ImageChain;
class ImageFrame;

// The one request record. The user-interface thread fills it before it
// starts the worker and reads it again only after the worker's message
// (0x814C) has arrived; no lock guards it.
struct AutoMarkerRequest {
    ImageChain* frames;     // the chain to search, each element an ImageFrame*
    uint8_t downscaleCode;  // how the frames' images were reduced when loaded
    const void* correction; // the lens-correction record in use, or null (tested for presence only)
    uint8_t sequential;     // 1: consecutive pairs (Hollet); 0: all pairs (Nerrow)
    uint8_t useMatcherRansac;
    int32_t result;         // 0 after a successful search, 1 after a failed or cancelled one
};

AutoMarkerRequest* GetAutoMarkerRequest();
void ClearAutoMarkerRequest();

bool NeedAutoMarkers(ImageChain* frames, bool sequential);
// The worker's body: runs the search of the request and stores its result.
// 1 when it failed, else 0.
int RunAutoMarkerRequest();
// 0 done or nothing to do; otherwise the matcher run's code (-1 not
// started, also when no channel could be made; -2 ended early; -3 stopped).
int FMatchAllImages(ImageChain* frames, uint8_t downscaleCode, const void* correction, bool sequential,
                    bool useMatcherRansac);

// The frames lacking markers to a neighbour, in chain order; the size of out.
int CollectSequentialFrames(ImageChain* frames, std::vector<ImageFrame*>& out, bool* closedOut);
bool HasMarkersToNeighbours(int index, ImageChain* frames);
// Every frame; returns how many are not yet feature-matched.
int CollectAllFrames(ImageChain* frames, std::vector<ImageFrame*>& out, bool* closedOut);
// Empty 'Fa' sets for the consecutive pairs that have none; the number of
// pairs that got one.
int AddEmptyMarkerSets(ImageChain* frames, bool closed);
void SetFramesFMatchState(const std::vector<ImageFrame*>& frames, bool state);
void CopyFramesToVector(ImageChain* frames, std::vector<ImageFrame*>& out);
int ResetFMatchState(ImageChain* frames);

// The Exif condensation of the chain's frames; both return the frame count.
int FillExifSummary(ImageChain* frames, ExifSummary* summary);
int CountExifFrames(ImageChain* frames);
