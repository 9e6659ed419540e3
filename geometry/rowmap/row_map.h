// Bilinear remapping of one image row under a projective mapping, in fixed
// point, overwriting or averaging into the destination (the panorama view
// engine and the outside stitching core fill their perspective views with it).
#pragma once

// Rowmap exports these two functions and nothing else.
#define ROWMAP_API __attribute__((visibility("default")))

extern "C" {

// 1 when the processor reports the MMX instruction set, else 0; tested once
// per process.
ROWMAP_API unsigned char TestMMX();

// Fills n pixels from `destination` on. Pixel i samples the source at
// (xw / w, yw / w), after which xw, yw and w advance by dxw, dyw and dw.
// channels 3 selects three-byte pixels, any other value one-byte pixels;
// stride is the source's bytes per row. The caller guarantees that for every
// pixel the position is not negative and that the four source pixels around
// it lie inside the source image. average false: the samples are written, a
// first byte of 0 as 1; true: a pixel whose first byte is 0 takes the new
// samples, any other the truncated mean of old and new.
ROWMAP_API void MapOneRowBilinear(float w, float xw, float yw, float dxw, float dyw, float dw, int n,
                                  int channels, int stride, const unsigned char* source,
                                  unsigned char* destination, bool average);
}
