// Intra-only Cinepak ('cvid') encoder of the movie toolbox. Each frame is
// padded to a multiple of 4 in both directions (edge pixels repeated) and
// cut into at most 32 horizontal strips; each strip carries its own V1
// codebook (one 2x2-of-quadrants vector per 4x4 block) and V4 codebook
// (one vector per 2x2 block), both trained by k-means on the strip's YUV
// vectors, and every 4x4 block takes whichever of the two codes it better.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cinepak {

// Largest size of one coded frame of `width` x `height`.
size_t MaxFrameSize(int width, int height);

// Codes `width` x `height` pixels (rows `rowBytes` apart; 3 bytes red,
// green, blue per pixel, or 1 grey byte when `grey`) into `out`. Quality
// 0..1024: below 512 fewer k-means passes and a bias towards the 1-byte V1
// code. False for sizes outside 1..65532.
bool EncodeFrame(const uint8_t* pixels, int rowBytes, int width, int height, bool grey, long quality,
                 std::vector<uint8_t>& out);

}  // namespace cinepak
