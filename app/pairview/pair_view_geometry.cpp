#include "app/pairview/pair_view_geometry.h"

#include <algorithm>


namespace {
// The exact zoom steps, in percent (zoom x 100 truncated).
constexpr int kSteps[] = {25, 50, 75, 100, 150, 200, 250};
constexpr int kStepCount = sizeof(kSteps) / sizeof(kSteps[0]);

int StepIndex(float zoom) {
  const int percent = static_cast<int>(zoom * 100.0f);
  for (int i = 0; i < kStepCount; ++i)
    if (kSteps[i] == percent) return i;
  return -1;
}
}  // namespace

SIZE PairContentSize(int width1, int height1, int width2, int height2) {
  SIZE size;
  size.cx = width1 + kPairImageGap + width2;
  size.cy = std::max(height1, height2);
  return size;
}

float SnapZoom(float zoom) {
  if (zoom < 0.375f) return 0.25f;
  if (zoom < 0.625f) return 0.5f;
  if (zoom < 0.875f) return 0.75f;
  if (zoom < 1.25f) return 1.0f;
  if (zoom < 1.75f) return 1.5f;
  if (zoom < 2.25f) return 2.0f;
  return 2.5f;
}

float InitialPairZoom(SIZE content, int screenWidth, int screenHeight) {
  if (content.cx <= 0 || content.cy <= 0) return 1.0f;
  if (content.cx <= screenWidth && content.cy <= screenHeight) return 1.0f;
  const float zx = static_cast<float>(screenWidth) / static_cast<float>(content.cx);
  const float zy = static_cast<float>(screenHeight) / static_cast<float>(content.cy);
  return SnapZoom(std::min(zx, zy));
}

float ZoomStepIn(float zoom) {
  const int i = StepIndex(zoom);
  if (i < 0 || i + 1 >= kStepCount) return zoom;
  return static_cast<float>(kSteps[i + 1]) / 100.0f;
}

float ZoomStepOut(float zoom) {
  const int i = StepIndex(zoom);
  if (i <= 0) return zoom;
  return static_cast<float>(kSteps[i - 1]) / 100.0f;
}

float MarkerTolerance(float zoom) { return zoom > 0.0f ? 5.0f / zoom : 5.0f; }

POINT ClientToContent(POINT client, POINT scroll, float zoom) {
  POINT p;
  if (zoom <= 0.0f) zoom = 1.0f;
  p.x = static_cast<int32_t>((client.x + scroll.x) / zoom);
  p.y = static_cast<int32_t>((client.y + scroll.y) / zoom);
  return p;
}

POINT ContentToClient(POINT content, POINT scroll, float zoom) {
  POINT p;
  p.x = static_cast<int32_t>(content.x * zoom) - scroll.x;
  p.y = static_cast<int32_t>(content.y * zoom) - scroll.y;
  return p;
}

