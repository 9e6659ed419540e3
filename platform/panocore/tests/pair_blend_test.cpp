// The pair blend hook: without a measuring function it reports failure (and
// says so in the log); with one it passes the pair through and returns its
// answer; null frames never reach it.
#include "platform/panocore/pair_blend.h"

#include "core/logger.h"

#include <gtest/gtest.h>

namespace {

IImageFrame* g_seenA = nullptr;
IImageFrame* g_seenB = nullptr;

bool Measure(IImageFrame* a, IImageFrame* b)
{
    g_seenA = a;
    g_seenB = b;
    return a != b;
}

}  // namespace

TEST(PairBlend, NeedsAnInstalledFunctionAndPassesThePairThrough)
{
    auto* a = reinterpret_cast<IImageFrame*>(0x1000);
    auto* b = reinterpret_cast<IImageFrame*>(0x2000);
    {
        LogCapture log;
        EXPECT_FALSE(PairBlend(a, b));
        EXPECT_TRUE(log.contains("ERROR PairBlend"));
    }
    EXPECT_EQ(SetPairBlendFunction(Measure), nullptr);
    EXPECT_TRUE(PairBlend(a, b));
    EXPECT_EQ(g_seenA, a);
    EXPECT_EQ(g_seenB, b);
    EXPECT_FALSE(PairBlend(a, a)) << "the function's answer comes back";
    g_seenA = nullptr;
    EXPECT_FALSE(PairBlend(nullptr, b));
    EXPECT_EQ(g_seenA, nullptr) << "null frames are refused before the function";
    EXPECT_EQ(SetPairBlendFunction(nullptr), Measure);
}
