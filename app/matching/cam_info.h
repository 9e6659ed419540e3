// The camera-information record in use by a project. The camera-information
// files fill it; the shell only needs to know whether one is in use, so the
// record carries nothing else yet.
#pragma once

struct CamInfo {
    float focalLength = 0.0f;  // mm, 35-mm equivalent; 0 when unknown
};
