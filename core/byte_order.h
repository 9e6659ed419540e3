// Fixed-order fields of the suite's file formats (TIFF in either byte order,
// BMP, the project file's records, Exif blocks, the panorama descriptor):
// every multi-byte value on disk goes through these, never through a struct.
// Also the exact-read and 64-bit seek helpers of the file readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace byteorder {

inline uint16_t GetU16LE(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint16_t GetU16BE(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t GetU32LE(const uint8_t* p)
{
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline uint32_t GetU32BE(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
inline uint16_t GetU16(const uint8_t* p, bool bigEndian) { return bigEndian ? GetU16BE(p) : GetU16LE(p); }
inline uint32_t GetU32(const uint8_t* p, bool bigEndian) { return bigEndian ? GetU32BE(p) : GetU32LE(p); }

inline void PutU16LE(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32LE(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// True when exactly `bytes` bytes were read.
inline bool ReadExact(FILE* file, void* out, size_t bytes)
{
    return std::fread(out, 1, bytes, file) == bytes;
}

// Seeks to an absolute 64-bit position.
inline bool SeekTo(FILE* file, int64_t position)
{
    return position >= 0 && fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
}

inline int64_t Tell(FILE* file) { return static_cast<int64_t>(ftello(file)); }

}  // namespace byteorder
