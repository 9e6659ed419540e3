// The perspective picture as a new image: the target sized from the region
// the user sees, then the manager's render into it.
#include "app/control/super_manager.h"

#include "core/geometry_records.h"
#include "core/logger.h"
#include "imaging/image.h"

#include <cmath>

Image* SuperManager::RenderPerspectiveView(const Image* shown, float angularWidth, float angularHeight,
                                           const POINT2* direction, float fieldFactor)
{
    constexpr float kPi = 3.14159265f;
    if (!shown || shown->GetWidth() <= 0 || !direction || !(fieldFactor > 0.0f) || !(angularWidth > 0.0f) ||
        !(angularWidth < kPi) || !(angularHeight > 0.0f) || !(angularHeight < kPi)) {
        Logger::log("ERROR SuperManager::RenderPerspectiveView no region or angles %f x %f out of range", 1,
                    angularWidth, angularHeight);
        return nullptr;
    }
    const long width = std::lround(fieldFactor * static_cast<float>(shown->GetWidth()));
    const long height =
        std::lround(static_cast<double>(width) * std::tan(angularHeight / 2.0) / std::tan(angularWidth / 2.0));
    if (width < 2 || height < 1 || width > 32767 || height > 32767) {
        Logger::log("ERROR SuperManager::RenderPerspectiveView a picture of %ldx%ld", 1, width, height);
        return nullptr;
    }
    auto* target = new Image();
    if (target->BmpInit(static_cast<int>(width), static_cast<int>(height), shown->GetChannels() == 1 ? 1 : 3) != 0) {
        ReleaseImage(target);
        return nullptr;
    }
    POINT2 view = *direction;
    if (!RenderPerspectiveView(target, &view, 0.0f, angularWidth)) {
        ReleaseImage(target);
        return nullptr;
    }
    return target;
}
