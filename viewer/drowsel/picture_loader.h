// Reads a picture or panorama for the saver and makes its display image:
// a panorama's data area is taken out of its world map, then the picture is
// planned for the window (picture_scale.h) and resampled once.
#pragma once

#include "viewer/drowsel/picture_scale.h"

#include "imaging/image.h"
#include "imaging/ref_count.h"

#include <string>

class WorldMapBase;

namespace drowsel {

struct DisplayPicture {
    RefPtr<Image> picture;  // 3 channels, rows padded to 4 bytes (a DIB)
    DisplayPlan plan;
    bool panorama = false;
    int sourceWidth = 0;    // the picture as read (after the one-eighth
    int sourceHeight = 0;   // reduction of a preview)
};

// The panorama's data area as a new 3-channel image (the caller's
// reference), copied in two pieces when it wraps past the map's right
// edge; null when the map holds no data.
Image* PanoramaDataImage(const WorldMapBase& map);

// Reads `path` (a JPEG at one eighth of its size when `thumbnail`) and
// makes the display image for a window of w x h. False, with an ERROR line,
// when the file cannot be read as a panorama or a plain picture (a six-face
// strip included).
bool LoadDisplayPicture(const std::string& path, int w, int h, int fovPercent, bool thumbnail, DisplayPicture& out);

}  // namespace drowsel
