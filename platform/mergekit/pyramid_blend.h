// The multi-band blend's engine: the Gaussian pyramids of two pictures and of
// the weight of the second, mixed band by band and collapsed. It works row by
// row over several threads, filtering each row once into a small per-thread
// window instead of building whole intermediate planes, and gives the same
// floats as the plain plane-by-plane blend (same operations in the same
// order). Called by MultiBandBlend and by the merge of a frame into the map.
#pragma once

#include "platform/mergekit/merge_vantor.h"

#include <functional>

namespace mergekit {

// The finest level of one picture, a row of one channel at a time as floats
// (weight.width values). Called from several threads at once.
class RowSource {
public:
    virtual ~RowSource() = default;
    virtual void Row(int channel, int y, float* out) const = 0;
};

// Receives the blended finest level, a row of one channel at a time; called
// from several threads at once, each row exactly once.
class RowSink {
public:
    virtual ~RowSink() = default;
    virtual void Row(int channel, int y, const float* values) = 0;
};

// Blends b over a with weightOfB through `levels` bands (as MultiBandBlend),
// `channels` channels sharing the one weight.
void PyramidBlend(const RowSource& a, const RowSource& b, const Plane& weightOfB, int channels, int levels,
                  RowSink& out);

// Calls fn(first, last) over chunks of the rows [0, count) on up to
// `maxThreads` threads (0: one per core); returns when all are done.
void ParallelRows(int count, const std::function<void(int first, int last)>& fn, int maxThreads = 0);

}  // namespace mergekit
