// Conjugate-gradient minimiser of the outside minimisation module: the
// Polak-Ribiere method with a bracketing line search on the directional
// derivative. The warp fit and its self-tests call it; the caller's data
// travels in `context`, so any number of minimisations may run at once.
#pragma once

// Cost and gradient over a 1-based parameter vector: p[1] .. p[n] are the
// parameters, p[0] is never read or written (the same for grad).
using MinCostFunc = float (*)(const float* p, void* context);
using MinGradFunc = void (*)(const float* p, float* grad, void* context);

// Results of frprmn.
constexpr int kFrprmnConverged = 1;      // the relative decrease fell below ftol
constexpr int kFrprmnIterationLimit = 0; // kFrprmnMaxIterations passed; p holds the best point
constexpr int kFrprmnFailed = -1;        // bad arguments or a non-finite cost at the start (p unchanged)

constexpr int kFrprmnMaxIterations = 500;

// Minimises func from p[1..n], leaving the best point found in p and its
// cost in *fret; *iter receives the number of line searches made. The run
// stops when one iteration, and a steepest-descent iteration after it, both
// lower the cost by less than ftol relative: 2 |f_new - f_old| <=
// ftol (|f_new| + |f_old| + 1e-10). The cost may return a non-finite value
// for points it cannot evaluate; the line search then steps back.
// iter and fret may be null.
int frprmn(float* p, int n, float ftol, int* iter, float* fret, MinCostFunc func, MinGradFunc dfunc, void* context);
