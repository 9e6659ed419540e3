// The suite's own reader of Windows bitmap files: 24-bit and 8-bit palette
// bitmaps (uncompressed or RLE8) and RLE4 bitmaps become a 3-channel 8-bit
// Image in the bitmap layout (B, G, R, rows padded to 4 bytes). Every loader
// of the world-map library and the viewers' panorama reader call it for files
// that begin with "BM".
#pragma once

#include "imaging/image.h"

#include <cstdio>

// Results of ReadBmpFile.
constexpr int kBmpRead = 1;
constexpr int kBmpNotUsable = -1;  // not a bitmap this reader handles, or broken structure
constexpr int kBmpStreamError = 0; // the file ends early or reports a read error

// Reads the bitmap that starts at the file's current position ("BM"); all
// offsets in the file count from there. On 1 *image holds a new image (one
// reference, the caller's); otherwise *image is null. Like every loader of
// the suite it never leaves a first (blue) sample of 0: 0 means no data, so
// black reads as (1, 0, 0). Pixels an RLE bitmap leaves undefined take
// palette entry 0 (as other decoders show them); palette indices past the
// palette are black. Headers of 40, 108 and 124
// bytes are read (the fields past the first 40 are not needed); OS/2 core and
// 2.x headers, 1-, 2-, 4- (uncompressed), 16- and 32-bit bitmaps and other
// compressions give -1. The file is never closed.
int ReadBmpFile(FILE* file, Image** image);

// Run-length bitmaps may declare at most this many pixels (more gives -1 and
// an ERROR line): a few bytes of run-length data can claim any size, where
// uncompressed pixels are checked against the file's size. The bound is the
// JPEG decoder's: 2^29, the full-sphere panorama (32,768 x 16,384) of the
// widest world map the short panorama descriptor can carry.
constexpr int64_t kMaxRleBmpPixels = int64_t{1} << 29;
