// Geometry of the pair marker view: the side-by-side content, the zoom
// snapping and stepping tables, the marker hit tolerance and the conversions
// between client pixels and content pixels (content = both photographs at
// zoom 1, image 1 and image 2 separated by a 2-pixel gap).
#pragma once

#include "core/win_types.h"


// Gap in content pixels between the two photographs.
constexpr int kPairImageGap = 2;

// Content size at zoom 1: width1 + 2 + width2 by the larger height.
SIZE PairContentSize(int width1, int height1, int width2, int height2);

// Snaps a free zoom factor to the view's zoom table (0.25 .. 2.5).
float SnapZoom(float zoom);

// Initial zoom for a content on a screen: 1.0 when it fits, else the smaller
// ratio snapped.
float InitialPairZoom(SIZE content, int screenWidth, int screenHeight);

// One step in or out from an exact step (zoom x 100 truncated); any other
// value, and the ends of the table, give the zoom back unchanged.
float ZoomStepIn(float zoom);
float ZoomStepOut(float zoom);

// Marker hit tolerance in content pixels: 5 client pixels at any zoom.
float MarkerTolerance(float zoom);

// client -> content: (client + scroll) / zoom; content -> client: content x
// zoom - scroll.
POINT ClientToContent(POINT client, POINT scroll, float zoom);
POINT ContentToClient(POINT content, POINT scroll, float zoom);

