// The dense linear solve of the global alignment: Crout LU decomposition
// with implicit scaled partial pivoting, in place, single precision. Used by
// GlobalAlign for its P x P normal equations; kept apart so that the tests can
// check it on its own.
#pragma once

namespace globfit {

// Factors the n x n row-major matrix `a` in place (unit lower factor below
// the diagonal, upper factor on and above it) with rows swapped as `pivot`
// records. `scale` receives each row's implicit scale (the reciprocal of its
// largest absolute element). Returns false, with `a` partly overwritten, when
// a row is all zero. A zero pivot met on the way is replaced by 1e-20 so that
// an almost singular matrix still factors (the caller judges the step).
bool LUDecompose(float* a, int n, int* pivot, float* scale);

// Solves a x = b with the factors of LUDecompose; b is replaced by x.
void LUBackSubstitute(const float* a, int n, const int* pivot, float* b);

}  // namespace globfit
