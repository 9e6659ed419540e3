// Jpegkit: the suite's JPEG codec, eight C entry points that the world-map
// library binds by name in ordinal order (kJpegkitEntryNames). Reading is a
// header pass and a data pass around one decoder state kept in the caller's
// QUORVANE_FileInfo::extra; writing is the single call WriteJpeg.
#pragma once

#include "imaging/image.h"
#include "core/win_types.h"
#include "core/file_records.h"

// Results of WriteJpeg.
constexpr int kWriteJpegOk = 0;
constexpr int kWriteJpegNoData = 101;        // the rectangle covers no data
constexpr int kWriteJpegNoMemory = 102;      // a component buffer could not be allocated
constexpr int kWriteJpegCannotWrite = 103;   // the file could not be created or written
constexpr int kWriteJpegNotEncodable = 104;  // the image cannot be stored in a JPEG file (size, channels, descriptor)

// The exported names by ordinal (index 0 is ordinal 1).
constexpr const char* kJpegkitEntryNames[8] = {
    "GetJpegHeader", "ReadJpegData", "JpegCleanup", "WriteJpeg",
    "GetQuorvanePD", "OrgWHFunction", "NoReadThumbnail", "SetForce0To1",
};

extern "C" {

// Ordinal 1. Reads the markers up to the first scan from info->file (at the
// start-of-image marker) and sets the image's width, height, channels and
// 8-bit sample type, without a pixel buffer. options bit 2: header and
// descriptor only; bit 3: one-eighth scale. 0 on success (options bit 0
// cleared); 1 on failure (state freed, bit 0 set).
int GetJpegHeader(Image* image, QUORVANE_FileInfo* info);

// Ordinal 2. Decodes the pixels into the image's buffer, which the caller
// has allocated for the size the header pass set. 0 on success; 1 on failure
// with the state freed and options bit 0 set. info->file is left as it was:
// the caller owns the file and closes it.
int ReadJpegData(Image* image, QUORVANE_FileInfo* info);

// Ordinal 3. Frees the decoder state; harmless when there is none.
void JpegCleanup(QUORVANE_FileInfo* info);

// Ordinal 4. Writes the image, or the inclusive rectangle of it (clamped in
// place to the image), to info->path. options bits 0-1: sampling (0 4:4:4,
// 1 4:2:2, 2/3 4:2:0), bit 2: progressive; info->extra: FileExtraData with
// the descriptor, or null. Returns one of the kWriteJpeg* codes.
int WriteJpeg(Image* image, RECT* rect, QUORVANE_FileInfo* info);

// Ordinal 5. The captured descriptor comment (length 0 when there was none),
// valid until JpegCleanup; null without a decoder state.
FileExtraData* GetQuorvanePD(QUORVANE_FileInfo* info);

// Ordinal 6. The frame's full width and height, whatever the scale. 0, or -1
// without a decoder state.
int OrgWHFunction(int* width, int* height, QUORVANE_FileInfo* info);

// Ordinal 7. Leaves one-eighth mode after the header pass (the caller then
// sizes the image at the full size). 0, or -1 when the full-size buffers
// cannot be allocated; 0 and no change when not in one-eighth mode.
int NoReadThumbnail(QUORVANE_FileInfo* info);

// Ordinal 8. Sets the process-wide zero-to-one flag and returns it. It
// counts only before the first data pass of the process, when the colour
// tables are built.
bool SetForce0To1(bool on);

}  // extern "C"
