// A two-dimensional affine mapping between a picture and the screen, as the
// mosaic maker keeps one for its background and one for its foreground. The
// map takes picture pixels (column, row; pixel centres on integers) to
// screen pixels: screen = A * picture + t. Every operation composes after
// what is already there, in screen coordinates, so a drag can start from a
// saved copy and apply one pan, zoom or turn to it.
#pragma once

class Image;

class PSMap {
public:
    // MapImage's resampling.
    static constexpr int kNearest = 1;
    static constexpr int kBilinear = 2;

    PSMap() = default;

    // Back to the identity.
    void Reset();
    // Moves the picture by (dx, dy) screen pixels.
    void Shift(double dx, double dy);
    // Scales about the screen origin.
    void Zoom(double sx, double sy);
    // Scales by `factor` about the screen point (x, y), which stays put.
    void ZoomAtPoint(double factor, double x, double y);
    // Turns about the screen point (cx, cy): a point at angle a from the
    // centre goes to angle a + t, where sine and cosine are those of t
    // (rows grow downwards, so a positive sine turns clockwise on screen).
    void Rotate(double cx, double cy, double sine, double cosine);
    // The screen point of a picture point.
    void MapPoint(double x, double y, double* outX, double* outY) const;
    // The picture point of a screen point; false when the map is singular.
    bool UnmapPoint(double x, double y, double* outX, double* outY) const;
    // Draws `source` into `target` through the map: every target pixel whose
    // picture point lies on the source (within half a pixel of its edge
    // pixels) takes the resampled source pixel; the others keep what they
    // hold. Both 8-bit interleaved with the same channels. False, with an
    // error logged, for unusable images or a singular map.
    bool MapImage(const Image* source, Image* target, int resampling = kBilinear) const;
    void CopyTo(PSMap* other) const;
    // True when the map only moves the picture: scale 1, no turn.
    bool IsConstant() const;

    // The matrix, row by row: x' = a x + b y + tx, y' = c x + d y + ty.
    double A() const { return m_a; }
    double B() const { return m_b; }
    double C() const { return m_c; }
    double D() const { return m_d; }
    double Tx() const { return m_tx; }
    double Ty() const { return m_ty; }

private:
    double m_a = 1.0, m_b = 0.0, m_tx = 0.0;
    double m_c = 0.0, m_d = 1.0, m_ty = 0.0;
};

// Fills the pixels of an 8-bit interleaved image that hold no data (first
// sample 0) with a colour whose bits 16-23 are the first sample, bits 8-15
// the second and bits 0-7 the third; pixels that hold data keep it. A grey
// image takes the first sample only.
void FillEmptyPixels(Image* image, int colour);
