// The two settings records of a stitch run that the manager owns: the stitch
// settings (focal length and type, run-time distortion correction, solver
// option) and the blend settings. The stitch settings dialog edits them, the
// project file stores them field by field, the workers read them.
#pragma once

#include <cstdint>

struct StitchSettings {
    float values[3] = {10.0f, 10.0f, 10.0f};  // kept and stored with the project
    uint8_t firstFlag = 0;
    uint8_t runtimeDistortion = 0;  // 1: distortion corrected at run time ("RuntimeDC:Y")
    uint8_t fewImages = 0;          // set by the global solver below 7 merged images
    uint8_t solverOption = 0;       // adds 4 to the global-alignment mode
    float focalLength = 35.0f;      // mm, 35-mm equivalent
    // 0 same unknown focal length, 1 different unknown focal lengths, 2 known,
    // 3 from Exif, 4 from Exif with a calibrated camera-information focal length.
    int32_t focalType = 0;
};
static_assert(sizeof(StitchSettings) == 24, "StitchSettings passes bytewise");

struct BlendSettings {
    uint8_t autoBalance = 1;  // photometric adjustment before blending
    int32_t blendWord = 0;    // stored with the project
    int32_t blendWidth = 20;  // percent
};
static_assert(sizeof(BlendSettings) == 12, "BlendSettings passes bytewise");
