// Separable two-dimensional cosine and sine transforms of a float image in
// place (ny rows of nx floats), on one library-wide set of cosine tables:
// dctInit for a size, then any number of transforms, then dctCleanup.
#pragma once

// Per line of length N:
//   cosine C(k) = sum x(n) cos(pi (2n + 1) k / 2N), 0 <= k < N, at position k;
//   sine   S(k) = sum x(n) sin(pi (2n + 1) k / 2N), 1 <= k <= N, at position k
//          for k < N, and S(N) = sum (-1)^n x(n) at position 0.
// No scale factor forward; the inverses divide by nx * ny and restore the
// image to rounding. The tables are process-wide: one caller at a time.
extern "C" {
// Cleans up, then prepares the tables for nx x ny images. Both sides must be
// powers of two of at least 2: 1 when ready, 0 (and nothing prepared) when
// refused. Transforms before a successful dctInit do nothing.
int dctInit(int nx, int ny);
void fdct2d(float* data);
void idct2d(float* data);
void fdst2d(float* data);
void idst2d(float* data);
// Frees the tables; harmless when nothing is prepared.
void dctCleanup();
}
