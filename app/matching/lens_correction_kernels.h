// The row loop of the lens correction: the portable loop that is the
// reference (lens_correction.cpp), and an AVX2 loop chosen at run time that
// must give exactly its bytes (lens_correction_avx2.cpp). Both take one row
// of output pixels and the sampling routine chosen for the image.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lens {

// Samples of the uncorrected image; `data` may point at one sample of three.
struct Source {
    const uint8_t* data;
    size_t rowBytes;
    int lastX;
    int lastY;
};

// Writes the sample(s) of one output pixel from source point (sx, sy).
using SampleFn = void (*)(const Source& src, float sx, float sy, uint8_t* out);

// One row of the content rectangle. Radii and positions are in output pixels
// from the output centre; the source point of a pixel is (dx, dy) times its
// interpolated factor plus the source centre.
struct RowJob {
    // Without registration planes[0] is the whole pixel and tables[0] the
    // polynomial; with it planes and tables are {first, second, third}
    // sample (blue, green, red factors).
    const Source* planes;
    const float* tables[3];
    SampleFn sample;
    int channels;         // 1 or 3 bytes per output pixel
    bool registration;    // one source point per sample
    float dx0;            // dx of the first pixel; each next pixel adds 1
    float dy;
    float invK, sOverK;
    float halfW, halfH;   // the source centre
    int lastIndex;        // the last table index that has a right neighbour
    int count;            // pixels in the row
    uint8_t* out;         // the row's first output pixel
    // When given (vector loop only): the interpolated factor of every pixel
    // of the row for each table, as FactorRowAvx2 computes them; the loop
    // then reads them instead of computing them.
    const float* factors[3];
};

// The sampling routine of an image: one of three samples from its own point
// with registration, otherwise the whole pixel of `channels` samples.
SampleFn ChooseSampler(int channels, bool registration);

// The reference: every pixel through the sampling routine.
void ResampleRowPortable(const RowJob& row);
// Whole vectors of pixels with AVX2 gathers, the pixels that miss the
// interior (and the tail) through the sampling routine. Only where HasAvx2()
// and the source is smaller than 2 GiB (32-bit gather offsets).
void ResampleRowAvx2(const RowJob& row);
bool HasAvx2();
// Two rows whose pixels have the same factors, `row` and the one at
// `mirrorDy` (its mirror at -dy) written to `mirrorOut`, with the work on
// the columns shared: the bytes of ResampleRowAvx2 on each. The rows share
// the loop only when the factors of every table are given; else they are
// done one after the other.
void ResampleRowPairAvx2(const RowJob& row, float mirrorDy, uint8_t* mirrorOut);
// The interpolated factor of each pixel of `row` from `table`, with the
// operations of the row loops: ((1 - t) T[i] + t T[i + 1]) times s / k.
// A factor depends on dx^2 and dy^2 alone, so it serves the pixels at -dx
// and the row at -dy too. Only where HasAvx2().
void FactorRowAvx2(const RowJob& row, const float* table, float* factors);

}  // namespace lens
