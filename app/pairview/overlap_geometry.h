// Geometry rules of the overlap view: the render size for a pair, the view
// port's angular range steps, the classification of a left-button press and
// the turn angle of a rotation drag (client pixels, radians).
#pragma once

#include "core/win_types.h"

constexpr float kOverlapRangeStart = 1.3f;   // view port range at opening
constexpr float kOverlapRangeMin = 0.25f;
constexpr float kOverlapRangeMax = 2.44346f;

// Width: the larger image width + half the smaller; height: 4/3 of the larger
// of the background width and the foreground height; each limited to the
// screen.
SIZE OverlapRenderSize(int bgWidth, int fgWidth, int fgHeight, int screenWidth, int screenHeight);

// Zoom in: range x 0.8, not below 0.25; zoom out: range / 0.8, at most 2.44346.
float OverlapZoomIn(float range);
float OverlapZoomOut(float range);

enum class OverlapDrag { ViewRotate, ViewShift, FgRotate, FgShift, AnchorMove };

// What a press starts. Outside the foreground the anchor is the render
// centre and a point within 10 % of an edge turns the view port; inside,
// d^2 from the foreground's anchor decides (>= 10000 turn, > 16 shift, else
// anchor move); Ctrl inside always moves the anchor.
OverlapDrag ClassifyOverlapPress(bool inForeground, bool ctrl, POINT press, POINT fgAnchor, SIZE render);

// Turn of a rotation drag from `last` to `point` about `anchor`: false when
// the point lies within 10 px of the anchor or the step exceeds about 32
// degrees (cosine below 0.85) or is nil; else the signed angle.
bool OverlapTurnAngle(POINT anchor, POINT last, POINT point, float* angle);
