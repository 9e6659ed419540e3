// Exchange of the first and third byte of every 3-byte pixel (B, G, R <->
// R, G, B): the TIFF reader and writer convert between the image's channel
// order and the file's with it, on rows of up to a few hundred kilobytes.
#pragma once

#include <cstddef>
#include <cstdint>

// `in` and `out` may be the same buffer (in place); otherwise they must not
// overlap. Uses SSSE3 when the processor has it.
void SwapRgbBgr(const uint8_t* in, uint8_t* out, size_t pixels);

// The same between distinct buffers, with stores that bypass the cache: for
// rows written once and not read again soon (the TIFF reader's pixel pass,
// where it saves the reads a normal store makes of the destination).
void SwapRgbBgrStreaming(const uint8_t* in, uint8_t* out, size_t pixels);

// The plain loop, the reference of the fast paths.
void SwapRgbBgrScalar(const uint8_t* in, uint8_t* out, size_t pixels);
