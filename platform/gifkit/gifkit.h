// Gifkit: the outside GIF codec that the world-map library binds at run time
// by these five exported names, in ordinal order (kGifkitEntryNames). Reading
// is a header pass, a pixel pass and a clean-up around a reader state kept in
// QUORVANE_FileInfo::extra; writing is one call. A thin layer over giflib.
#pragma once

#include "imaging/image.h"
#include "core/win_types.h"
#include "core/file_records.h"

// Results of WriteGif.
constexpr int kWriteGifOk = 0;
constexpr int kWriteGifCannotCreate = 1;  // the file could not be created
constexpr int kWriteGifFailed = 2;        // encoding or writing failed; the partial file is removed
constexpr int kWriteGifNoData = 3;        // no 8-bit pixels of 1 or 3 channels inside the rectangle

// The exported names by ordinal (index 0 is ordinal 1).
inline constexpr const char* kGifkitEntryNames[5] = {
    "GetGifHeader", "ReadGifData", "GifCleanup", "WriteGif", "GetGifTransparency",
};

extern "C" {

// Ordinal 1. Reads the GIF header up to the first frame from info->file and
// gives the image that frame's width and height, 3 channels of 8 bits, no
// buffer. 0 on success; 1 when the file cannot be read as a GIF (no state
// is left behind).
int GetGifHeader(Image* image, QUORVANE_FileInfo* info);

// Ordinal 2. Decodes the first frame into the buffer that Image::BmpInit made
// (B, G, R per pixel, colours taken from the frame's or the global colour
// table; an index past the table gives black). 0 on success, 1 on failure.
int ReadGifData(Image* image, QUORVANE_FileInfo* info);

// Ordinal 3. Frees the reader state; harmless when there is none. The file
// stays open: it belongs to the caller.
void GifCleanup(QUORVANE_FileInfo* info);

// Ordinal 4. Writes the image, or the inclusive rectangle of it (clipped to
// the image), to info->path as a single-frame GIF. One channel is written
// with a grey table; three channels (B, G, R unless the order bit is set)
// with their exact colours when there are at most 256, else quantised.
// Returns one of the kWriteGif* codes.
int WriteGif(Image* image, RECT* rect, QUORVANE_FileInfo* info);

// Ordinal 5. True when the frame read names a transparent colour; *value is
// then that colour as 0x00BBGGRR. The second argument is reserved (0).
bool GetGifTransparency(QUORVANE_FileInfo* info, int reserved, int* value);

}  // extern "C"
