// Records that carry image files between the world-map library, the codecs
// and their callers: the panorama descriptor stored inside JPEG and TIFF
// files, the file-information record handed to every reader and writer, and
// the status codes of the image-file load and information functions.
#pragma once

#include "core/byte_order.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

// ---------------------------------------------------------------------------
// Panorama descriptor. On disk a little-endian byte string of 22 bytes (int32
// fields) or, read only, 14 bytes (int16 fields, sign-extended). Bytes 20 and
// 21 of the long form are written but never read back.
struct WMapRecord {
    int32_t equatorWidth = 0;  // equator width W of the world map, in samples
    int32_t column = 0;        // map column of the image's left edge
    int32_t row = 0;           // map row of the image's top edge
    int32_t mapType = 0;       // the world map's map type
    uint8_t fullCircle = 0;    // 1 when the panorama closes the full circle

    static constexpr int kLongSize = 22;
    static constexpr int kShortSize = 14;
    static constexpr char kMagic[5] = "kqvz";
    // A second kind of descriptor, recognised only by magic and length.
    static constexpr char kSecondMagic[5] = "mjr6";
    static constexpr int kSecondSize = 22;

    // True when `bytes` (of `length`) is a descriptor: exactly 14 or 22 bytes
    // starting with the magic. Fills `out` only then.
    static bool Parse(const unsigned char* bytes, int length, WMapRecord* out)
    {
        if (!bytes || (length != kLongSize && length != kShortSize)) return false;
        if (std::memcmp(bytes, kMagic, 4) != 0) return false;
        if (!out) return true;
        if (length == kLongSize) {
            out->equatorWidth = ReadInt32(bytes + 4);
            out->column = ReadInt32(bytes + 8);
            out->row = ReadInt32(bytes + 12);
            out->mapType = ReadInt32(bytes + 16);
            out->fullCircle = bytes[20];
        } else {
            out->equatorWidth = ReadInt16(bytes + 4);
            out->column = ReadInt16(bytes + 6);
            out->row = ReadInt16(bytes + 8);
            out->mapType = ReadInt16(bytes + 10);
            out->fullCircle = 0;
        }
        return true;
    }

    // True for a 22-byte record of the second kind.
    static bool IsSecondKind(const unsigned char* bytes, int length)
    {
        return bytes && length == kSecondSize && std::memcmp(bytes, kSecondMagic, 4) == 0;
    }

    // The 22-byte form; byte 21 is written as 0.
    void Write(unsigned char out[kLongSize]) const
    {
        std::memcpy(out, kMagic, 4);
        WriteInt32(out + 4, equatorWidth);
        WriteInt32(out + 8, column);
        WriteInt32(out + 12, row);
        WriteInt32(out + 16, mapType);
        out[20] = fullCircle;
        out[21] = 0;
    }

private:
    static int32_t ReadInt32(const unsigned char* p) { return static_cast<int32_t>(byteorder::GetU32LE(p)); }
    static int32_t ReadInt16(const unsigned char* p) { return static_cast<int16_t>(byteorder::GetU16LE(p)); }
    static void WriteInt32(unsigned char* p, int32_t value) { byteorder::PutU32LE(p, static_cast<uint32_t>(value)); }
};

// ---------------------------------------------------------------------------
// Descriptor block handed to the JPEG and TIFF writers and returned by the
// JPEG decoder: {scratch, length, bytes}. The array holds the 22 bytes of a
// descriptor; a writer reads `length` bytes from `bytes`, so a caller with a
// longer payload allocates 8 + length bytes and fills the same header.
struct FileExtraData {
    int32_t scratch = 0;  // TIFF writer: file position of an entry to patch; JPEG decoder: payload position
    int32_t length = 0;   // number of payload bytes; 0 means no descriptor
    unsigned char bytes[WMapRecord::kLongSize] = {};
};
static_assert(offsetof(FileExtraData, scratch) == 0 && offsetof(FileExtraData, length) == 4 &&
              offsetof(FileExtraData, bytes) == 8);

// ---------------------------------------------------------------------------
// File-information record passed to every image reader, writer and codec.
// The caller owns `file`: the readers never close it or change the field.
struct QUORVANE_FileInfo {
    const char* path = nullptr;  // file to write (writers)
    FILE* file = nullptr;        // open file to read, positioned at the image's start (readers)
    int32_t reserved = 0;        // read by no image or movie function
    int32_t options = 0;         // QFI_* bits below
    void* extra = nullptr;       // writers: FileExtraData* or null; readers: the codec's own state
};

// Bits of QUORVANE_FileInfo::options.
constexpr int32_t QFI_JPEG_SAMPLING_MASK = 0x3;  // writing JPEG: 0 4:4:4, 1 4:2:2, 2 or 3 4:2:0
constexpr int32_t QFI_JPEG_PROGRESSIVE = 0x4;    // writing JPEG: progressive file
constexpr int32_t QFI_HEADER_ONLY = 0x4;         // reading JPEG: header and descriptor only
constexpr int32_t QFI_ONE_EIGHTH = 0x8;          // reading JPEG: one-eighth scale (thumbnails)
constexpr int32_t QFI_READ_FAILED = 0x1;         // output of the JPEG and TIFF readers

// ---------------------------------------------------------------------------
// Status codes of the image-file load and information functions.
enum ImageFileStatus : int {
    IMGFILE_WMAP = 2,               // image with a "kqvz" descriptor
    IMGFILE_WMAP_SECOND_KIND = 3,   // JPEG image with an "mjr6" descriptor
    IMGFILE_PLAIN = 1,              // plain image, no descriptor
    IMGFILE_FAILED = 0,             // codec not bound, header unreadable, or a bad "I"/"M" start
    IMGFILE_UNKNOWN_FORMAT = -1,    // format not recognised
    IMGFILE_CANNOT_OPEN = -2,       // the file cannot be opened for reading
    IMGFILE_NO_IMAGE = -10,         // the image object could not be allocated
};

// ---------------------------------------------------------------------------
// QuickTime VR movie saves: the settings block a movie writer receives as
// QUORVANE_FileInfo::extra (32-bit fields, then the hot-spot list).
struct MovieHotSpot {
    int32_t id = 0;
    const char* name = nullptr;  // zero-terminated, or null for none
    const char* url = nullptr;   // zero-terminated, or null for none
    uint8_t unused[8] = {};
};

struct MovieSettings {
    int32_t fieldOfView = 45;    // default field of view, whole degrees
    int32_t viewerWidth = 400;   // pixels; the size of the VR track
    int32_t viewerHeight = 300;
    int32_t qualityCode = 2;     // 1 max, 2 high, 3 normal, 4 low, other lossless
    int32_t codecCode = 0;       // 0 'jpeg', 2 'cvid', other 'tiff'
    float widthDegrees = 360.0f; // horizontal span of the panorama
    int32_t unused = 0;
    int32_t hotSpotCount = 0;
    MovieHotSpot* hotSpots = nullptr;
};

class Image;
// Object movies: the first five fields as above, then the frame source.
struct ObjectMovieSettings {
    int32_t fieldOfView = 45;
    int32_t viewerWidth = 400;
    int32_t viewerHeight = 300;
    int32_t qualityCode = 2;
    int32_t codecCode = 0;
    uint8_t unused[16] = {};
    // The next frame (a new reference the writer releases), null after the last.
    Image* (*nextFrame)(void* user) = nullptr;
    void* user = nullptr;
    int32_t rows = 1;
    int32_t columns = 1;
};
static_assert(offsetof(ObjectMovieSettings, nextFrame) == 40);
