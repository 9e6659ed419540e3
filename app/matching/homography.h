// The plane-to-plane model that the RANSAC filter fits to samples of
// candidate matches, its least-squares solver (Givens rotations) and the
// filter's random source.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// One candidate match: a point of image 0, its partner in image 1 and a
// score (larger is better).
struct MatchPair {
    double x0;
    double y0;
    double x1;
    double y1;
    float score;
};

// H maps image-0 points to image 1 in coordinates relative to the centroids
// of the whole match set, so that a fit to a small sample stays comparable
// with the set it came from. The system arrays are kept between fits of the
// same size.
class Homography {
public:
    Homography() = default;
    ~Homography();
    // The arrays are owned; a model is handed on by copying H and the
    // centroids (CopyModel), never the arrays.
    Homography(const Homography&) = delete;
    Homography& operator=(const Homography&) = delete;

    void allocate(int count);
    void release();
    void setCentroids(const std::vector<MatchPair*>& matches);
    void addMatchRows(int i, const MatchPair& match);
    bool estimate(const std::vector<MatchPair*>& matches);
    // Inline: the filter transfers every remaining match of every trial.
    void transfer(double x, double y, double* x1, double* y1) const
    {
        const double u = x - meanX0;
        const double v = y - meanY0;
        const double w = H[6] * u + H[7] * v + H[8];
        *x1 = (H[0] * u + H[1] * v + H[2]) / w + meanX1;
        *y1 = (H[3] * u + H[4] * v + H[5]) / w + meanY1;
    }
    void print(FILE* stream) const;
    // H and the centroids of `other`; the arrays stay as they are.
    void CopyModel(const Homography& other);

    double** rows = nullptr;      // 2N rows of 8
    double* rhs = nullptr;        // 2N
    double* work = nullptr;       // 2N
    double* solution = nullptr;   // 8
    double H[9] = {1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
    int32_t N = 0;
    double meanX0 = 0.0;
    double meanX1 = 0.0;
    double meanY0 = 0.0;
    double meanY1 = 0.0;

private:
    double* m_block = nullptr;    // the storage behind rows, one allocation
};

// Solves rows x solution + rhs = 0 in the least-squares sense for an m x n
// system (m >= n). rows and rhs are overwritten: rows[j][i] below the
// diagonal keeps the compact code of the rotation that cleared it, and
// rhs[n .. m-1] (copied to work[n .. m-1]) is the rotated residual. With
// restore, work receives the residual in the original row order. False for
// a singular system.
bool SolveLeastSquaresGivens(double** rows, double* rhs, double* solution, double* work, int m, int n = 8,
                             bool restore = false);

// An index 0 .. k drawn from the filter's 15-bit generator (k only when the
// draw is 32767). The generator is held per thread; SeedRandomIndex restarts
// it so that one filter run repeats exactly.
int RandomIndex(int k);
void SeedRandomIndex(uint32_t seed);
// The next raw 15-bit draw (0 .. 32767) of this thread's generator.
int RandomDraw15();
