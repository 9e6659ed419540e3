// The utility module's debug drawing as Polykit's self-tests call it. This
// build has no debug windows, so the display flag is off and drawing does
// nothing; the calls keep their arguments for when a display is attached.
#pragma once

#include "geometry/polykit/geometry_records.h"

namespace polykit::debug {

inline int GetDebugDispFlag() { return 0; }

// Draws n points at (x, y) scaled by `scale` in colour 0x00BBGGRR.
inline int DrawOnePt2Array(const POINT2* /*points*/, int /*n*/, int /*x*/, int /*y*/, float /*scale*/,
                           int /*colour*/)
{
    return 0;
}

}  // namespace polykit::debug
