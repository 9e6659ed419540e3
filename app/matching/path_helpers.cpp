// Small text and size helpers of the stitching tools: file-name pieces and
// the first guess of a panorama's resolution.
#include "app/matching/utilities.h"

#include <algorithm>
#include <cstring>

namespace Utilities {

void CutExtension(char* name)
{
    if (!name) return;
    if (char* dot = std::strrchr(name, '.')) *dot = '\0';
}

bool SplitPath(const std::string& path, std::string& folder, std::string& name)
{
    const size_t separator = path.find_last_of("/\\");
    if (separator == std::string::npos || separator == 0) return false;
    folder = path.substr(0, separator);
    name = path.substr(separator + 1);
    return true;
}

float EstimatePanoResolution(int imageCount, bool closedLoop, float fieldOfView, int minWidth, int fullWidth)
{
    const float fullCircle = static_cast<float>(fullWidth) / 360.0f;
    if (closedLoop && imageCount >= 8) return fullCircle;
    const float span = std::min((static_cast<float>(imageCount) - 0.5f) * fieldOfView * 1.3f, 360.0f);
    // No images or no field of view span nothing: the full circle is the
    // only sound answer.
    if (!(span > 0.0f)) return fullCircle;
    return std::max(static_cast<float>(minWidth), static_cast<float>(fullWidth) * span / 360.0f) / span;
}

}  // namespace Utilities
