#include "segment/regionkit/seg_margins_hook.h"

#include <atomic>

namespace {

// Constant-initialised, so a library that sets it while it is being loaded
// never races the initialisation of this one.
std::atomic<SegMarginsFn> g_calculator{nullptr};

}  // namespace

SegMarginsFn SetSegMarginsCalculator(SegMarginsFn fn)
{
    return g_calculator.exchange(fn);
}

SegMarginsFn GetSegMarginsCalculator()
{
    return g_calculator.load();
}
