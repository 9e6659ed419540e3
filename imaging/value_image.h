// Value maps (region growing's labels and distances, the side maps of region
// trees, contour matching's distance maps, hit masks and shift maps) as
// viewable images for the debug windows: grey levels stretched between two
// limits.
#pragma once

#include <cstdint>

class Image;

// A new 3-channel 8-bit w x h image; each value v gives one grey level in all
// three samples: 0 when v <= lo, 255 when v >= hi, else (v - lo) 255 / (hi -
// lo) truncated. Equal (or crossed) limits never divide: values up to lo are
// 0 and the rest 255. Null for a null map or a bad size.
Image* MapToImage(const float* map, int w, int h, float lo, float hi);
Image* MapToImage(const signed char* map, int w, int h, signed char lo, signed char hi);
Image* MapToImage(const unsigned char* map, int w, int h, unsigned char lo, unsigned char hi);
Image* MapToImage(const int16_t* map, int w, int h, int16_t lo, int16_t hi);
Image* MapToImage(const int32_t* map, int w, int h, int32_t lo, int32_t hi);
