// The blending driver's records and calls outside the manager: the elastic
// run's re-entry record, the worker that runs the outside blender, the
// scene-file maker of one frame, and the outside calls the driver makes
// (replaceable, so that tests can record their order).
#pragma once

#include "core/pair_align_records.h"
#include "core/win_types.h"

#include <cstdint>
#include <string>
#include <vector>

class IMakeVantor;
class ImageFrame;
class KestovaFile;
class WorldMap;

// Carries one elastic blend across the worker thread. The user-interface
// thread fills it before it starts the worker and leaves it alone until the
// worker's message (0x819A) has been handled.
struct RemapEnblendReEntryParams {
    int32_t imageCount = 0;
    uint8_t loop = 0;
    std::vector<std::string> chipNames;
    std::string enblendedFileName;
};
extern RemapEnblendReEntryParams g_RemapEnblendReEntryParams;

// The elastic blend's worker: runs the blender, stores its result for the
// finishing step and posts 0x819A to the main window. 1 when the blender
// did not finish, else 0.
unsigned int RemapEnblendThreadProc(void* argument);

// Fills the frame's scene file from its image at `samples` equator samples
// (rounded down to a multiple of 4), through `maker` or a maker of its own.
void ComputeVantorFile(IMakeVantor* maker, ImageFrame* frame, int samples, bool correctDistortion);

// The outside calls of the driver. Tests put recording fakes in and restore
// the real ones with ResetRemapCalls.
struct RemapCalls {
    bool (*makeFilename)(const char* prefix, const char* extension, const char* folder, std::string& out);
    bool (*mergeVantorFile)(KestovaFile* scene, WorldMap* map, TRANSFORM_RS* t, int bw, int kind, int levels,
                            bool closing, int closingKind);
    bool (*mapChipSaveOneImage)(int index, int count, bool loop, WorldMap* map, KestovaFile** files,
                                TRANSFORM_RS** placements, uint8_t* codes, std::string& blendedName,
                                std::vector<std::string>& chipNames, int bw, int levels);
    int (*runBlenderProcess)(int count, bool loop, WorldMap* map, std::string& outName,
                             std::vector<std::string>& chipNames);
    bool (*fillWorldMapBg)(WorldMap* map, const RECT* rect);
    void (*setDivLineBlendWidth)(int pixels);
};
extern RemapCalls g_remapCalls;
void ResetRemapCalls();

// Installs the pair blend's measuring function (the frames' loaded images
// measured by MeasurePairIntensities) unless one is installed already.
void InstallPairBlendMeasure();
