// Breadth-first queues that cannot grow: the distance map and the segment
// margins report failure instead of finishing with what fitted. This test
// program replaces the global allocation functions so that blocks above a
// size limit can be refused while a test asks for it.
#include "segment/edgematch/ct_dist_map.h"
#include "segment/regionkit/seg_margins.h"
#include "segment/regionkit/reg_tree.h"
#include "segment/regionkit/tests/tree_test_support.h"

#include "core/logger.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Blocks of more than this many bytes are refused; 0 refuses nothing.
std::atomic<size_t> g_refuseAbove{0};

struct RefuseLargeBlocks {
    explicit RefuseLargeBlocks(size_t bytes) { g_refuseAbove = bytes; }
    ~RefuseLargeBlocks() { g_refuseAbove = 0; }
};

}  // namespace

void* operator new(size_t bytes)
{
    const size_t limit = g_refuseAbove.load();
    if (limit != 0 && bytes > limit) throw std::bad_alloc();
    if (void* p = std::malloc(bytes ? bytes : 1)) return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}

namespace {

// 240 x 200 pixels, borders all over it, so that the queues grow well past
// the map itself.
treetest::BuiltTree* Tree()
{
    return new treetest::BuiltTree(treetest::RandomImage(240, 200, 1, 5), 300, 300, 1);
}

TEST(QueueGrowth, DistanceMapFailsWhenItsQueueCannotGrow)
{
    std::unique_ptr<treetest::BuiltTree> t(Tree());
    ASSERT_TRUE(t->built);
    CCtDistMap map(t->tree);
    ASSERT_TRUE(map.Make(0, 127));  // all of it fits normally
    LogCapture log;
    {
        // The 48 kB map fits; a queue of more than 16k points does not.
        RefuseLargeBlocks refuse(64 * 1024);
        EXPECT_FALSE(map.Make(0, 127));
    }
    EXPECT_EQ(map.GetMap(), nullptr);
    EXPECT_TRUE(log.contains("ERROR CCtDistMap::Make"));
}

TEST(QueueGrowth, MarginsFailWhenTheirQueueCannotGrow)
{
    std::unique_ptr<treetest::BuiltTree> t(Tree());
    ASSERT_TRUE(t->built);
    Image* image = t->tree->GetImage();
    ASSERT_TRUE(CalcAllSegMargins(image, t->tree, 1, 3, 0, 0));
    LogCapture log;
    {
        // The 192 kB side map fits; a queue of 40k pixels (320 kB) does not.
        RefuseLargeBlocks refuse(256 * 1024);
        EXPECT_FALSE(CalcAllSegMargins(image, t->tree, 1, 3, 0, 0));
    }
    EXPECT_TRUE(log.contains("ERROR CalcAllSegMargins"));
}

}  // namespace
