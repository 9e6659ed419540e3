#include "platform/panocore/panorama.h"

#include "core/logger.h"

#include <atomic>

namespace {

std::atomic<PanoramaInitFunction> g_init{nullptr};
std::atomic<PanoramaFunction> g_panorama{nullptr};

}  // namespace

bool PanoramaInit(IImageFrame* frame, float pan, float tilt, float roll)
{
    PanoramaInitFunction function = g_init.load();
    if (!frame || !function) {
        Logger::log("ERROR PanoramaInit: no frame or no implementation installed", 1);
        return false;
    }
    return function(frame, pan, tilt, roll);
}

int Panorama(IImageFrame* a, IImageFrame* b, PAIR_WALIGN_RR_PRMS2* record, float ratio, int direction)
{
    PanoramaFunction function = g_panorama.load();
    if (!a || !b || !record || !function) {
        Logger::log("ERROR Panorama: missing frame, record or implementation", 1);
        return 1;
    }
    return function(a, b, record, ratio, direction);
}

PanoramaInitFunction SetPanoramaInitFunction(PanoramaInitFunction function)
{
    return g_init.exchange(function);
}

PanoramaFunction SetPanoramaFunction(PanoramaFunction function)
{
    return g_panorama.exchange(function);
}
