// The one BITMAPINFO that every DIB drawing of the suite's views fills: a
// 40-byte header (planes 1) followed by a 256-entry grey palette, 1064 bytes
// in all. It lives from the library's load to its unload; callers fill it
// just before a StretchDIBits or clipboard copy and never keep the pointer.
#pragma once

#include "platform/win/dib.h"

#include <vector>

class Image;

// Bytes of the shared header: 40 of header and 256 palette entries.
constexpr size_t kBmpInfoBytes = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD);
static_assert(kBmpInfoBytes == 1064);

// A new header as above (planes 1, every other field zero, palette entry i
// = (i, i, i, 0)); the caller releases it with std::free. Null (logged)
// when memory runs out.
BITMAPINFO* BmpInfoInit();
// The shared header for an 8-bit image: its width, minus its height (rows
// top-down), 8 bits for one channel and 24 otherwise.
BITMAPINFO* FillBmpInfo(Image* image);
// The shared header with the given width, height (bottom-up when positive),
// bit count, image size ((width x bits + 31) / 32) x 4 x |height| and
// palette count 2^bits for bits <= 8 (else 0).
BITMAPINFO* FillBmpInfo(int width, int height, int bits);
// Zeroes the image size and palette count of the shared header.
void ResetBmpInfo();

// The rows of an 8-bit image of 1 or 3 channels as a DIB reads them (each
// padded to 4 bytes): its own pixels when its rows already are, else a
// padded copy made in `scratch`. Null for an image without pixels.
const unsigned char* DibRows(const Image* image, std::vector<unsigned char>& scratch);

// The palette entries of a header made by BmpInfoInit (they run past the
// one entry BITMAPINFO declares).
inline RGBQUAD* BmpInfoPalette(BITMAPINFO* info)
{
    return reinterpret_cast<RGBQUAD*>(reinterpret_cast<unsigned char*>(info) + sizeof(BITMAPINFOHEADER));
}
