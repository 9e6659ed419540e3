// Which instruction set the JPEG codec's hot loops run on. The processor's
// best is chosen once; tests and benchmarks may lower it to compare every
// vector path with the scalar reference, which gives the same bytes.
#pragma once

enum class JpegSimd { kScalar = 0, kSse2 = 1, kAvx2 = 2 };

// The best level this processor runs.
JpegSimd JpegSimdBest();
// The level in use (initially the best).
JpegSimd JpegSimdLevel();
// Sets the level in use, limited to the best; returns the level set. Not for
// use while another thread is inside the codec.
JpegSimd SetJpegSimdLevel(JpegSimd level);
