// Plumb-line lens calibration: the caller feeds points that should lie on
// straight lines (one point array per line, coordinates about the image
// centre in pixels) and Compute fits the radial polynomial that straightens
// them, then reports its inverse. Exported by Globfit for outside callers.
#pragma once

#include <vector>

class Distortion {
public:
    // radius: the normalising radius (pixels) the polynomial's r is
    // measured in.
    explicit Distortion(float radius);
    ~Distortion();
    Distortion(const Distortion&) = default;
    Distortion& operator=(const Distortion&) = default;

    // Adds a line of n points (all zero) and returns its index (0-based).
    int AppendLine(int n);
    // Stores point `index` of `line`; out-of-range calls are ignored.
    void AddPoint(int line, int index, float x, float y);

    // Fits D(r) = c0 + c1 r + c2 r^2 + c3 r^3 (c0 = 1 - c1 - c2 - c3) so that
    // the corrected points (x D, y D) lie on straight lines (100 rounds of
    // line fit and linear solve), then replaces the coefficients by the
    // inverse polynomial: r is about R (c0 + c1 R + c2 R^2 + c3 R^3) for the
    // corrected radius R. False, with the coefficients unchanged, when fewer
    // than two lines of three or more points are given (one line cannot tell
    // a bend of the lens from a tilt of the line) or when the first round's
    // system is singular (lines through the centre, points all on one
    // circle). A later round that turns singular ends the fit with the last
    // good coefficients.
    bool Compute();
    // Replaces the coefficients by the inverse of the polynomial they hold
    // (unchanged when that fit is singular).
    void ComputeInverse();
    void GetDistortion(float& c0, float& c1, float& c2, float& c3) const;

private:
    // One line: its points and their radii in normalising radii, in one
    // block of 3n floats (x..., y..., r...).
    struct Line {
        int n = 0;
        std::vector<float> data;
        float* x() { return data.data(); }
        float* y() { return data.data() + n; }
        float* r() { return data.data() + 2 * n; }
        const float* x() const { return data.data(); }
        const float* y() const { return data.data() + n; }
        const float* r() const { return data.data() + 2 * n; }
    };
    // Normal form s u + c v + k = 0 of a line of corrected points.
    struct LineFit {
        float s, c, k;
    };

    LineFit FitLine(const Line& line) const;
    bool SolveRound(const std::vector<LineFit>& fits, float next[4]) const;

    std::vector<Line> m_lines;
    float m_radius;
    float m_c[4] = {1.0f, 0.0f, 0.0f, 0.0f};
};
