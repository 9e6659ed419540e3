// A point of a region tree's level where three or more border segments meet
// (or two meet crosswise), on the corner lattice of the tree's image. Borders
// attach to it in four slots; the same junction one level up is m_pUp.
#pragma once

#include <cstdint>
#include <type_traits>

class BorderSegment;
class Image;

class Junction {
public:
    Junction() = default;

    // Stores b in the first empty slot of 0..2, else in slot 3 (replacing).
    void AtatchBorder(BorderSegment* b);
    // Clears the first slot that holds b.
    void RemoveBorder(BorderSegment* b);
    int GetNumbConnection() const;
    // The first non-null slot of 0..2 other than b, else slot 3 when set,
    // else b: the way on along a chain through a two-border junction.
    BorderSegment* GetConnection(BorderSegment* b) const;

    // Splits m_pos by the lattice row length `stride`; true when the point is
    // at least two pixels inside the image on every side but the far ones.
    bool CheckDrawingPoint(int stride, Image* out, int& x, int& y) const;
    // A plus sign of five 255 pixels on an 8-bit one-channel image, or in
    // the first byte of each pixel of a 3-byte image.
    void DrawU8Y(int stride, Image* out) const;
    void DrawU8RGB(int stride, Image* out) const;

    BorderSegment* m_pBorder[4] = {nullptr, nullptr, nullptr, nullptr};
    Junction* m_pUp = nullptr;   // the same junction on the next coarser level
    int32_t m_pos = 0;           // corner index y (W + 1) + x
};
// Junction lists are saved and restored bytewise.
static_assert(std::is_trivially_copyable_v<Junction>);
