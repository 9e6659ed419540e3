// Colour conversion of the JPEG decoder: the process-wide tables that turn
// Y, Cb, Cr samples into blue, green, red bytes, and the row converters that
// use them. A decoded colour sample of 0 means "no data" to the world map, so
// while the zero-to-one flag is on (when the tables are first built) a sum of
// exactly 0 is stored as 1; a negative sum is stored as 1 always.
#pragma once

#include <cstdint>

struct JpegColourTables {
    // Chroma terms by sample (the sample - 128 is the chroma value):
    // round(1.772 Cb), round(-0.34414 Cb), round(-0.71414 Cr), round(1.402 Cr),
    // each rounded to nearest with halves away from zero.
    int16_t cbBlue[256];
    int16_t cbGreen[256];
    int16_t crGreen[256];
    int16_t crRed[256];
    // Clamp by (sum & 1023): 0..255 themselves (0 gives 1 under forcing),
    // 256..511 give 255, 512..1023 (the negative sums) give 1.
    uint8_t clamp[1024];
    bool forceZeroToOne = true;

    void Build(bool forceZeroToOne);
};

// The process-wide flag and tables: the tables are built once, at the first
// call of Shared(), with the flag as it is then.
bool SetJpegForceZeroToOne(bool on);
bool JpegForceZeroToOne();
const JpegColourTables& SharedJpegColourTables();

// Converts one row of full-width Y, Cb, Cr samples into blue, green, red bytes,
// on the instruction set JpegSimdLevel names.
void ConvertRowYCbCr(const JpegColourTables& t, const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                     uint8_t* bgr, int width);
// The same for rows whose chroma is sampled at half the luminance width:
// chroma sample i covers pixels 2i and 2i + 1.
void ConvertRowYCbCrHalfChroma(const JpegColourTables& t, const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                               uint8_t* bgr, int width);
// The table forms, the reference of the vector forms, and the AVX2 forms
// (only where the processor has AVX2).
void ConvertRowYCbCrScalar(const JpegColourTables& t, const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                           uint8_t* bgr, int width);
void ConvertRowYCbCrHalfChromaScalar(const JpegColourTables& t, const uint8_t* y, const uint8_t* cb,
                                     const uint8_t* cr, uint8_t* bgr, int width);
void ConvertRowYCbCrAvx2(const JpegColourTables& t, const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                         uint8_t* bgr, int width);
void ConvertRowYCbCrHalfChromaAvx2(const JpegColourTables& t, const uint8_t* y, const uint8_t* cb,
                                   const uint8_t* cr, uint8_t* bgr, int width);
// Three components stored as red, green, blue (files marked as not colour
// transformed): reordered to blue, green, red through the clamp table.
void ConvertRowRgb(const JpegColourTables& t, const uint8_t* r, const uint8_t* g, const uint8_t* b, uint8_t* bgr,
                   int width);
