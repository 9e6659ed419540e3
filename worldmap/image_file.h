// The suite's one front door to image files: load an image (JPEG, TIFF, BMP,
// GIF) with the panorama descriptor it carries and, when asked, the world map
// made from it; read only the header and descriptor; make thumbnails; save
// JPEG, GIF, TIFF and QuickTime movies. The stitching application, the image
// browser, the panorama views and the tour maker call these functions.
#pragma once

#include "imaging/image.h"
#include "core/win_types.h"
#include "core/file_records.h"
#include "worldmap/world_map.h"
#include "worldmap/world_map_base.h"

#include <cstdio>

// Loading. Results are the ImageFileStatus codes (file_records.h). On 1 or 2
// the outputs that were asked for hold new objects (one reference each, the
// caller's); a map made by a transfer keeps the image's pixels alive itself,
// so the image and the map may be released in either order.

// Sets both outputs to null, opens the file ("rb"; -2 if it cannot) and
// loads it. With a "kqvz" descriptor and readData the map (a WorldMap named
// after the path) is made; without readData no pixels are read and neither
// output is set (2). A plain image is read whatever readData says. The
// second kind of descriptor ("mjr6") counts as a plain image here.
int LoadImageWMap(const char* path, Image** image, WorldMap** map, bool readData);

// Loads the image that starts at `offset` of an open file; the file stays
// open and the outputs stay untouched on failure. Recognises the second kind
// of descriptor: 3 with the image (readData) and no map, 0 without readData.
int LoadImageWMapBase(FILE* file, unsigned long offset, Image** image, WorldMapBase** map, bool readData);

// Sets both outputs to null, opens the file ("rb"; -2 if it cannot) and runs
// the variant above from offset 0.
int LoadImageWMapBase(const char* path, Image** image, WorldMapBase** map, bool readData);

// Reads only the header: 2 with the image's size and the descriptor's four
// values (all six outputs are written only then), 1 for a plain JPEG or TIFF,
// 0 when the header cannot be read or the codec cannot be bound, -1 for BMP,
// GIF and unknown files, -2 when the file cannot be opened.
int GetWMapInfo(const char* path, int& width, int& height, int& equatorWidth, int& column, int& row, int& mapType);

// A new thumbnail (Image::CreateStampImage) of the image at `offset`, or
// null. kind: 0 none, 1 plain, 2 panorama ("kqvz"; equatorWidth, column and
// row are written), 3 second-kind descriptor; fullWidth and fullHeight give
// the image's own size. JPEG is decoded at one-eighth scale unless that is
// smaller than `size` in either direction. A TIFF with a descriptor gives no
// thumbnail. A file whose first bytes are a mixed "IM"/"MI" leaves every
// output unset. The file stays open.
Image* LoadImageThumbNail(FILE* file, unsigned long offset, int size, int& kind, int& fullWidth, int& fullHeight,
                          int& equatorWidth, int& column, int& row);
Image* LoadImageThumbNail(const char* path, int size, int& kind, int& fullWidth, int& fullHeight, int& equatorWidth,
                          int& column, int& row);
// JPEG always at one-eighth scale, without looking at the descriptor.
Image* LoadImageThumbNail(const char* path, int size);

// Saving: 0 for success. RECT is inclusive; null saves the whole image.
// SaveJpeg: 1 when Jpegkit cannot be bound, else WriteJpeg's code.
int SaveJpeg(Image* image, RECT* rect, QUORVANE_FileInfo* info);
// SaveGIF: 1 when Gifkit cannot be bound, else its writer's code.
int SaveGIF(Image* image, RECT* rect, QUORVANE_FileInfo* info);

// SaveImageAsTiff (tiff_writer.h), the QuickTime saves (quicktime_save.h) and
// ReleaseIOModule (codec_binding.h) belong to the same front door.
#include "worldmap/codec_binding.h"
#include "worldmap/quicktime_save.h"
#include "worldmap/tiff_writer.h"
