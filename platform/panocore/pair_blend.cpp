#include "platform/panocore/pair_blend.h"

#include "core/logger.h"

#include <atomic>

namespace {

std::atomic<PairBlendFunction> g_pairBlend{nullptr};

}  // namespace

bool PairBlend(IImageFrame* a, IImageFrame* b)
{
    if (!a || !b) return false;
    PairBlendFunction function = g_pairBlend.load();
    if (!function) {
        Logger::log("ERROR PairBlend: no pair blender is installed", 1);
        return false;
    }
    return function(a, b);
}

PairBlendFunction SetPairBlendFunction(PairBlendFunction function)
{
    return g_pairBlend.exchange(function);
}
