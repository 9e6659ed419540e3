// The suite's own reader of uncompressed single-image TIFF files, split like
// the JPEG codec into a header pass, a pixel pass and a clean-up around a
// header state kept in QUORVANE_FileInfo::extra. The image-file functions of
// the world-map library and the viewers' panorama reader call it; the
// panorama descriptor travels in private tag 32768.
#pragma once

#include "imaging/image.h"
#include "core/file_records.h"
#include "worldmap/tiff_tags.h"

#include <cstdint>

// What the header pass learnt, owned by the reader from GetTifHeader to
// TifCleanup. Callers read descriptorCount and descriptorOffset (and may
// read the descriptor bytes there themselves); the rest is the reader's.
struct TifHeaderState {
    uint16_t byteOrder = 0;       // 0x4949 "II" or 0x4D4D "MM"
    uint16_t planarConfig = 1;
    uint16_t stripOffsetsType = 0;
    uint32_t stripOffsetsCount = 0;
    uint32_t stripOffsetsValue = 0;
    uint16_t stripByteCountsType = 0;
    uint32_t stripByteCountsCount = 0;
    uint32_t stripByteCountsValue = 0;
    uint32_t rowsPerStrip = 0xFFFFFFFFu;  // all rows in one strip unless the tag says otherwise
    uint32_t descriptorCount = 0;         // count of tag 32768; 0 without the tag
    int64_t descriptorOffset = 0;         // absolute file position of the tag's bytes
    uint16_t bitsPerSample[3] = {0, 0, 0};
    uint16_t sampleFormat = 1;

    // The file position of the "II"/"MM" word: every offset inside the file
    // counts from it, so a TIFF embedded in a larger file reads correctly.
    int64_t base = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t samplesPerPixel = 1;

    bool BigEndian() const { return byteOrder == 0x4D4D; }
};

// Header pass; info->file is positioned at the start of the TIFF. 0: the
// image has width, height, channels (1 or 3) and sample type, the state is
// in info->extra and options bit 0 is clear. 1: not a TIFF this reader
// handles (compressed, tiled, planar with several channels, palette or
// 2/4-sample files, broken structure); options bit 0 set, no state, one
// "ERROR GetTifHeader ..." log line.
int GetTifHeader(Image* image, QUORVANE_FileInfo* info);

// Pixel pass into the buffer the caller prepared for the header's size: in
// the bitmap layout (Image::BmpInit) 8-bit samples are copied and 16-bit
// samples keep their high byte; in a packed layout the samples are stored
// in the image's own type, in host byte order. Three channels of an image
// in normal order come out as B, G, R. 0 on success (options bit 0 clear);
// 1 when the file is short, a strip lies outside it or the image cannot hold
// the samples (options bit 0 set; the buffer may be partly written). The
// strips are read from a read-only mapping of the file when the stream has a
// descriptor of a regular file that still holds them all, else through stdio.
int ReadTifData(Image* image, QUORVANE_FileInfo* info);

// Deletes the header state; harmless without one.
void TifCleanup(QUORVANE_FileInfo* info);
