// Least-squares homography solver behind CHAlign: accumulates weighted
// point (and line) correspondences into 8 x 8 normal equations and solves
// them for the eight free entries of the homography. Internal to Warpfit.
#pragma once

// The eight parameters, in this order:
// u = (h00, h01, h10, h11, h02, h12, h20, h21) of
// H = [[h00, h01, h02], [h10, h11, h12], [h20, h21, 1]], which maps (x1, y1)
// to ((h00 x1 + h01 y1 + h02) / w, (h10 x1 + h11 y1 + h12) / w) with
// w = h20 x1 + h21 y1 + 1.
class CHomographyLSQ {
public:
    virtual ~CHomographyLSQ() = default;
    virtual void Reset() = 0;
    virtual void AddPointPair(float x1, float y1, float x2, float y2) = 0;
    // The line a1 x + b1 y + c1 = 0 of image 1 maps onto a2 x + b2 y + c2 = 0
    // of image 2.
    virtual void AddLinePair(float a1, float b1, float c1, float a2, float b2, float c2) = 0;
    // Solves the normal equations; false (parameters unchanged) when they are
    // singular or nearly so. The sums are kept, so more pairs may follow.
    virtual bool Solve() = 0;
    virtual float* GetParams() = 0;
};

// The one implementation: normal matrix N (upper triangle accumulated) and
// right-hand side b, in double so that pixel-sized and unit-sized columns
// keep their precision.
class CHomographyLSQImpl final : public CHomographyLSQ {
public:
    CHomographyLSQImpl() { Reset(); }
    void Reset() override;
    void AddPointPair(float x1, float y1, float x2, float y2) override;
    void AddLinePair(float a1, float b1, float c1, float a2, float b2, float c2) override;
    bool Solve() override;
    float* GetParams() override { return m_u; }

private:
    void AddRow(const double* r, double rhs);

    double m_n[8][8];
    double m_b[8];
    float m_u[8];
};
