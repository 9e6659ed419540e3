// Turns the matcher's raw marker pairs of an image pair (the 'Fa' sets, in
// image-file coordinates) into the pair's automatic markers just before the
// pair is aligned: scaled and turned into the loaded images' coordinates,
// lens-corrected when correction is on, cleared of points outside either
// image and filtered by RANSAC and clustering. `correction` is null or the
// eleven floats of a DistortionRecord.
#pragma once

#include <cstdint>

class ImageFrame;
class Marker;

bool FilterPairAutoMarkers(ImageFrame* a, ImageFrame* b, uint8_t downscaleCode, const float* correction, int minCount,
                           float scaleA, float scaleB, bool loose);
bool PruneAutoMarkers(ImageFrame* a, ImageFrame* b, uint8_t downscaleCode, const float* correction, float threshold1,
                      float threshold2, int minCount, float scaleA, float scaleB);
// A new set the caller owns; null when the frame has no image.
Marker* MakeFrameMarkers(Marker* raw, ImageFrame* frame, float s);
void ScaleRotateMarkers(Marker* in, Marker* out, float s, int angle, int W, int H);
int RemoveMarkersOutsideImages(Marker* a, Marker* b, int wA, int hA, int wB, int hB);
// Gives both links copies of the pair's automatic markers when the user has
// placed none.
bool CopyAutoMarkersToPair(ImageFrame* a, ImageFrame* b);

// The step FilterPairAutoMarkers hands its thresholds to; tests replace it to
// see them.
using PruneAutoMarkersFn = bool (*)(ImageFrame*, ImageFrame*, uint8_t, const float*, float, float, int, float, float);
extern PruneAutoMarkersFn g_pruneAutoMarkers;
