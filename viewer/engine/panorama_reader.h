// The viewers' panorama reader: opens a JPEG, TIFF or BMP file, decodes it
// into an Image and, when the file carries the panorama descriptor, places
// the pixels in a WorldMapBase. The viewer program, the viewer control and
// the screen saver call it; it binds the JPEG decoder at link time and has a
// one-eighth thumbnail mode. It lives in its own namespace because the
// world-map module exports functions of the same names.
#pragma once

#include "imaging/image.h"
#include "core/file_records.h"
#include "worldmap/world_map_base.h"

#include <cstdint>
#include <cstdio>

namespace viewengine {

// The decoder entry points a viewer binds.
struct JpegDecoderTable {
    int (*GetJpegHeader)(Image* image, QUORVANE_FileInfo* info) = nullptr;
    int (*ReadJpegData)(Image* image, QUORVANE_FileInfo* info) = nullptr;
    void (*JpegCleanup)(QUORVANE_FileInfo* info) = nullptr;
    FileExtraData* (*GetQuorvanePD)(QUORVANE_FileInfo* info) = nullptr;
    int (*OrgWHFunction)(int* width, int* height, QUORVANE_FileInfo* info) = nullptr;
};

// Returns `table` when it is not null, else a new table filled with the
// decoder's entry points (null only when it cannot be allocated).
JpegDecoderTable* BindJpegDecoder(JpegDecoderTable* table);
// Frees the program's table and clears the pointer; the program calls it at
// exit. Harmless when there is none.
void FreeJpegDecoder();
// The program's table (null before the first JPEG read).
JpegDecoderTable* ProgramJpegDecoder();

// Results, as the viewers read them.
constexpr int kReadPanorama = 2;       // the map output holds a WorldMapBase when one was asked for
constexpr int kReadFaceStrip = 3;      // JPEG with the "mjr6" descriptor: image only
constexpr int kReadPlain = 1;          // a plain image
constexpr int kReadFailed = 0;         // the file cannot be decoded
constexpr int kReadUnknownFormat = -1; // the first bytes name no format read here
constexpr int kReadCannotOpen = -2;    // the file cannot be opened

// Outputs are cleared first and written on success; either may be null.
int LoadImageWMapBase(const char* path, Image** image, WorldMapBase** map, bool readPanorama);
int LoadImageWMapBaseEx(const char* path, Image** image, WorldMapBase** map, bool readPanorama, bool thumbnail);
// The stream form: the image starts at `offset` of an open file, which the
// reader does not close.
int LoadImageWMapBase(FILE* file, int64_t offset, Image** image, WorldMapBase** map, bool readPanorama,
                      bool thumbnail);

// The two format readers, the file positioned at the image's start. In
// thumbnail mode a JPEG is decoded at one eighth of its size and a
// panorama's equator width, column and row are divided by 8.
int LoadJpegWMapBase(FILE* file, Image** image, WorldMapBase** map, bool readPanorama, bool thumbnail);
int LoadTiffWMapBase(FILE* file, Image** image, WorldMapBase** map, bool readPanorama);

// True when a descriptor's values describe a map the viewers can show: W at
// least 4, 0 <= column < W, 0 <= row <= W/2 and map type 0 or 1.
bool IsUsableDescriptor(const WMapRecord& record);

}  // namespace viewengine
