// The correlation map of one grid template: where the template sits, its NCC
// values over the search window, the peak and (once the grid fit studies it)
// the peak's shape. Made by CNCCMake::MakeOneNCCMap_cut for single templates
// and by CCNCCMapBlocks for joined block maps.
#pragma once

#include "core/pair_align_records.h"
#include "core/geometry_records.h"
#include "core/win_types.h"

class COneNCCMap {
public:
    COneNCCMap() = default;
    ~COneNCCMap()
    {
        delete[] nccMap;
        delete peakShape;
    }
    // Owns the map and the peak record.
    COneNCCMap(const COneNCCMap&) = delete;
    COneNCCMap& operator=(const COneNCCMap&) = delete;

    int ix = 0;             // grid column of the template
    int iy = 0;             // grid row
    POINT centre{};         // template centre, image pixels
    float* nccMap = nullptr;  // search.width x search.height values, row-major (owned, new[])
    REGION search{};        // the map's positions in FFT-window coordinates
    float minValue = 0.0f;
    float maxValue = 0.0f;
    POINT peak{};           // displacement at the maximum: window position - window half
    float peakCol = 0.0f;   // the maximum's column and row inside the map
    float peakRow = 0.0f;
    ONE_CC_PEAK* peakShape = nullptr;  // filled by the grid fit (owned, new)
    int numJoined = 0;      // maps joined into a block map
};
