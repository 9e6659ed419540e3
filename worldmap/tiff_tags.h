// TIFF tag numbers and field types shared by the reader and the writer of
// uncompressed TIFF files.
#pragma once

#include <cstdint>

// Private tag of the panorama descriptor (type BYTE, count 14 or 22).
constexpr uint16_t kTiffDescriptorTag = 32768;

namespace tifftag {

constexpr uint16_t kImageWidth = 256;
constexpr uint16_t kImageLength = 257;
constexpr uint16_t kBitsPerSample = 258;
constexpr uint16_t kCompression = 259;
constexpr uint16_t kPhotometric = 262;
constexpr uint16_t kStripOffsets = 273;
constexpr uint16_t kSamplesPerPixel = 277;
constexpr uint16_t kRowsPerStrip = 278;
constexpr uint16_t kStripByteCounts = 279;
constexpr uint16_t kPlanarConfiguration = 284;
constexpr uint16_t kTileWidth = 322;
constexpr uint16_t kTileLength = 323;
constexpr uint16_t kTileOffsets = 324;
constexpr uint16_t kTileByteCounts = 325;
constexpr uint16_t kSampleFormat = 339;

constexpr uint16_t kByte = 1;
constexpr uint16_t kAscii = 2;
constexpr uint16_t kShort = 3;
constexpr uint16_t kLong = 4;
constexpr uint16_t kRational = 5;
constexpr uint16_t kSByte = 6;
constexpr uint16_t kUndefined = 7;
constexpr uint16_t kSShort = 8;
constexpr uint16_t kSLong = 9;

// Bytes of one value of an integer field type; 0 for the types the reader
// does not take integers from (rationals, floats, unknown codes).
constexpr int TypeSize(uint16_t type)
{
    switch (type) {
    case kByte:
    case kAscii:
    case kSByte:
    case kUndefined:
        return 1;
    case kShort:
    case kSShort:
        return 2;
    case kLong:
    case kSLong:
        return 4;
    default:
        return 0;
    }
}

}  // namespace tifftag
