// Separable box filters over float sample arrays (row-major, nx x ny): the
// sliding sums along rows and columns and the box mean built from them. The
// NCC images take their local means of samples and squared samples here; the
// seam blender and the contour matcher call them too.
#pragma once

// Sliding sum of odd width 2*(w/2)+1 along every row: dst[x] is the sum of
// src[x-h .. x+h] with h = w/2 for h <= x <= nx-h-1; the h samples at either
// end copy the nearest full sum. w = 1 copies. src and dst may be the same
// array. 1 on success; 0 for w < 1, a window wider than a row, bad sizes or
// no memory (printed "LineSumX: can't locate memory \n").
int LineSumX(float* src, float* dst, int nx, int ny, int w);

// The same along every column (whole rows at a time).
int LineSumY(float* src, float* dst, int nx, int ny, int w);

// Box mean with a window of (2*(wx/2)+1) x (2*(wy/2)+1) samples (an even
// width acts as the next odd one), edges copied as LineSumX does. Refuses
// (0, dst untouched) when wx < 1, wx > nx-2, wy < 1 or wy > ny-2. The last
// argument is kept for callers and has no effect. src and dst may be the
// same array.
int FBoxLowPass(float* src, float* dst, int nx, int ny, int wx, int wy, float unused = 1.0f);

// For tests and benchmarks: 0 (the default) runs the row sums on the widest
// vector unit the processor has, 1 on SSE2 alone. Both give the same bits.
void SetBoxFilterPath(int path);
