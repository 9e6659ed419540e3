// The published images of a vista. Browser viewers cannot load a whole
// panorama at once: each vista is published as a small preview of the whole
// picture plus tiles that the viewer loads one after another, starting with
// the tile of the vista's initial view. The picture is first scaled to a
// width limit and a pixel budget. The publisher runs it for every vista; the
// applet parameter writer runs the same computation in a size-only mode that
// reads and writes nothing and only records the sizes and tiles.
#pragma once

#include "imaging/image.h"
#include "tour/tessiv/tile_table.h"
#include "core/file_records.h"

#include <cstdint>
#include <string>

class Vista;

// The image limits of one publish.
struct TourImageSizes {
    double viewAngle = 60.0;         // the field of view, degrees, 30..120
    int referenceWidth = 1600;       // 1600 for the Flash viewer, the page width for the Java viewer
    int panoramaWidthLimit = 9600;   // pixels for 360 degrees: reference width x 360 / view angle
    int pictureWidthLimit = 3200;    // 2 x reference width
    int64_t pixelBudget = 20000000;  // 20 million pixels (Flash), 10 million (Java)

    static TourImageSizes Compute(int fieldOfView, bool flashViewer, int pageWidth);
};

// The files of one vista as the size-only mode records them: the scaled
// picture's size and place in its panorama, and each file's rectangle (in
// the scaled picture) and published path, the preview first.
struct VistaImageSet {
    int width = 0;         // the scaled picture
    int height = 0;
    int equatorWidth = 0;  // pixels of the full circle at that scale
    int column = 0;        // the picture's place in the full panorama
    int row = 0;
    int kind = 0;
    TileTable files;

    int GetFileCount() const { return files.GetFilled(); }
};

// Publishes the images of `vista` (kind 2: preview and tiles of a
// panorama; kinds 1 and 4: a picture, tiled above 1000 pixels; kind 3 and
// others: nothing, false) from `sourceFile` under `publishedPath` (its last
// four characters, the extension, give way to the files' suffixes).
// `widthLimit` is the panorama or picture width limit, `quality` 0, 1 or 2;
// `rightward` orders the tiles of a row to the right of the view first.
// With `sizesOnly` no picture is read or written: the set receives the
// sizes and files. False when nothing was made (unreadable picture,
// unusable vista) or a file could not be saved (logged with its path; the
// files saved before it stay). A panorama whose map descriptor is unusable
// (equator width below 4, column or row outside the map) is published as a
// flat picture.
bool MakeVistaImages(const char* sourceFile, const char* publishedPath, double horizontalAngle, double verticalAngle,
                     int widthLimit, int64_t pixelBudget, int quality, const Vista* vista, bool rightward,
                     VistaImageSet* sizesOnly);

// The two kinds of the dispatch above.
bool PanoramaTiles(const char* sourceFile, const std::string& stem, double horizontalAngle, double verticalAngle,
                   int widthLimit, int64_t pixelBudget, int quality, const Vista& vista, bool rightward,
                   VistaImageSet* sizesOnly);
bool PictureTiles(const char* sourceFile, const std::string& stem, int widthLimit, int64_t pixelBudget, int quality,
                  const Vista& vista, VistaImageSet* sizesOnly);

// Writes one image file: GIF when the path's extension is "GIF" or "gif",
// else JPEG with the sampling of `quality` (0 High, 1 Medium, 2 Low) and the
// panorama descriptor when one is given. The image-file functions' result
// (0 for success).
int SaveTourImage(Image* image, const char* path, const WMapRecord* descriptor, int quality);

// Tests make chosen saves fail: a hook that answers nonzero for a path makes
// SaveTourImage return that value without writing. Returns the previous
// hook; null removes it.
using SaveTourImageHook = int (*)(const char* path);
SaveTourImageHook SetSaveTourImageHook(SaveTourImageHook hook);

// The row (or column) bands of the tiling: lengths of `tile` laid down and
// up from the band that starts half a tile before `centre`, a short rest
// (below half of `half`) joined to its neighbour. In order along the axis;
// `viewIndex` receives the view's band.
struct TileBand {
    int start = 0;
    int end = 0;  // not included
};
std::vector<TileBand> LayTileBands(int length, int centre, int tile, int half, int& viewIndex);
