// The Exif data of a whole image set condensed into one of six states: the
// automatic control-point driver, the stitch settings and the focal-length
// calibration ask it whether a camera-information file fits the set and
// which focal length applies. A summary is made fresh for each check.
#pragma once

#include <cstdint>
#include <map>
#include <string>

class ExifInfo;

class ExifSummary {
public:
    // Counts one image; true when it had a camera make and model.
    bool Add(const ExifInfo* exif);
    // 0 no Exif identity; 1 several camera models; one model and
    // 2 some without Exif, several focal lengths; 3 some without Exif, one
    // focal length; 4 all with Exif, several focal lengths; 5 all with Exif,
    // one focal length.
    int GetState();

    // Fields, in the record's order.
    int32_t modelCount = 0;
    std::map<std::string, int32_t> modelIds;  // "make:model" -> 1, 2, ... by first appearance
    int32_t noExifCount = 0;
    uint8_t sameFocal = 1;
    int32_t state = 0;
    int32_t imageCount = 0;
    float lastFocal = -1.0f;
    float minFocal = 10000.0f;
    float maxFocal = -1.0f;
};
