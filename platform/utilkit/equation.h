// The two small solvers of the utility module: a 3 x 3 linear system and
// the least-squares solution of an over-determined system in three
// unknowns, used by the alignment fits. Computed in double precision.
#pragma once

class CEquation {
public:
    // Solves m x = rhs, m given row by row. 1 on success, 0 when the system
    // has no unique solution (x unchanged).
    static int SolveLEq3(const float* m, const float* rhs, float* x);
    // The x minimising |a x - b| over `rows` equations, a holding three
    // floats per row. 1 on success, 0 with fewer than three rows or when
    // the columns of a are dependent (x unchanged). When `extra` is given
    // it receives the root-mean-square residual of the fit.
    static int MinSolveLEq3(const float* a, const float* b, int rows, float* x, float* extra);
};
