// The small records of the rect-map view's perspective tool (the outline
// being drawn and the region's centre) and the arithmetic of "Create
// perspective view" (region, mirroring about the centre, projected cut),
// kept apart from the window so that each step can be checked alone.
#pragma once

#include "core/win_types.h"

#include <cstdint>

class CDC;

// The outline drawn with the perspective tool, in view pixels.
class RubberRect {
public:
    // Flag bits.
    static constexpr int16_t kInverted = 0x01;
    static constexpr int16_t kMoving = 0x02;
    static constexpr int16_t kDrawing = 0x04;
    static constexpr int16_t kExists = 0x08;
    static constexpr int16_t kLimitX = 0x20;
    static constexpr int16_t kLimitY = 0x40;
    // How far outside the rectangle a press still grabs it, pixels.
    static constexpr int kGrip = 3;

    // Bounds inclusive; `rect` is the current perspective rectangle (an
    // inverted one means none).
    void Init(const RECT& bounds, int offsetX, int offsetY, const RECT& rect, bool inverted);
    // The zone under the point: 1..9 row by row (left edge, inside, right
    // edge; top, inside, bottom), 0 when farther than kGrip outside.
    int HitTest(int x, int y) const;
    // Starts a new rectangle at the point (clamped into the bounds) or grabs
    // zone `zone`.
    void Begin(int x, int y, int zone);
    void SetExtentLimit(int dx, int dy);
    // Moves the grabbed part to the point, kept in the bounds and the extent.
    void Drag(int x, int y);
    // The dragged rectangle in order.
    RECT Current() const;
    bool IsDrawing() const { return (m_flags & (kDrawing | kMoving)) != 0; }
    int16_t GetFlags() const { return m_flags; }
    int GetZone() const { return m_zone; }
    void Draw(CDC* dc) const;

private:
    int16_t m_left = 0, m_right = -1, m_top = 0, m_bottom = -1;
    int16_t m_x0 = 0, m_x1 = 0, m_y0 = 0, m_y1 = 0;
    int16_t m_minX = 0, m_maxX = 0, m_minY = 0, m_maxY = 0;
    int16_t m_offsetX = 0, m_offsetY = 0;
    int16_t m_extentX = 0, m_extentY = 0;
    int16_t m_flags = 0;
    int16_t m_zone = 0;
    int16_t m_anchorX = 0, m_anchorY = 0;  // where the press grabbed, for moving
};

// The perspective region's centre, screen-bitmap pixels.
class RegionCentre {
public:
    int32_t x = 0;
    int32_t y = 0;
    int32_t markX = -1;  // the last drawn marker; -1 none
    int32_t markY = 0;
    uint8_t dragging = 0;
};

namespace perspective {

// Half circles of this radius mark the centre; a press this close grabs it.
constexpr int kMarkRadius = 10;
constexpr double kAngleLimit = 1.221773;

// Mirrors the region about the centre so the centre becomes its middle,
// each side taking the larger distance; unchanged when the centre is within
// about 3 pixels of the middle.
RECT MirrorAboutCentre(const RECT& region, double centreX, double centreY);
// Narrows the region symmetrically so neither side exceeds `limit`.
RECT NarrowTo(const RECT& region, int limit);

// The size of the region's projection seen from the centre, r = W / 2pi
// pixels a radian: |r (tan b - tan a)| with a, b the edges' offsets from the
// centre in radians (horizontal ones times the cosine of the middle
// latitude), every angle limited to +-kAngleLimit, each size to maxW x maxH.
void ProjectedSize(const RECT& region, double centreX, double centreY, int equatorRow, int W, int maxW, int maxH,
                   int& width, int& height);
// Which part of the rendered picture is kept: the right (bottom) part when
// the centre lies at or before the region's middle, else the left (top).
RECT CutRect(const RECT& region, double centreX, double centreY, int renderedW, int renderedH, int width, int height);

}  // namespace perspective
