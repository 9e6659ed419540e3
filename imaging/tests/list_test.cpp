#include "imaging/list.h"
#include "imaging/image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<void*> Contents(const List& list)
{
    std::vector<void*> out;
    List::Iterator it = list.StartIteration(0);
    while (void* item = it.Iterate()) out.push_back(item);
    return out;
}

TEST(List, CapacityStartsAtFourAndGrowsByFour)
{
    int items[9];
    for (unsigned short capacity : {0, 1, 4}) {
        List list(nullptr, capacity);
        EXPECT_EQ(list.m_capacity, 4);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(list.Append(&items[i]), i);
        EXPECT_EQ(list.m_capacity, 4);
        EXPECT_EQ(list.Append(&items[4]), 4);
        EXPECT_EQ(list.m_capacity, 8);
        for (int i = 5; i < 9; ++i) list.Append(&items[i]);
        EXPECT_EQ(list.m_capacity, 12);
        EXPECT_EQ(list.m_count, 9);
    }
}

TEST(List, OutOfRangeAccessAnswersNull)
{
    List list(nullptr, 5);
    EXPECT_EQ(list.GetData(0), nullptr);
    EXPECT_EQ(list.StartIteration(0).Iterate(), nullptr);
    int a;
    list.Append(&a);
    EXPECT_EQ(list.GetData(-1), nullptr);
    EXPECT_EQ(list.GetData(1), nullptr);
    EXPECT_EQ(list.GetData(0), &a);
    EXPECT_EQ(list.GetIndex(nullptr), -1);
    EXPECT_EQ(list.RemoveData(static_cast<void*>(&list)), -1);
    EXPECT_FALSE(list.MoveData(0, 1));
    EXPECT_FALSE(list.MoveData(-1, 0));
}

TEST(List, ReorderingOperations)
{
    int a, b, c, d;
    struct Case {
        const char* name;
        void (*apply)(List&);
        std::vector<void*> expected;
    };
    const std::vector<Case> cases = {
        {"MoveToTop(2)", [](List& l) { l.MoveToTop(2); }, {&c, &a, &b, &d}},
        {"MoveToTop(2) then ReverseOrder", [](List& l) { l.MoveToTop(2); l.ReverseOrder(); }, {&d, &b, &a, &c}},
        {"MoveData(0, 3)", [](List& l) { l.MoveData(0, 3); }, {&b, &c, &d, &a}},
        {"MoveData(3, 1)", [](List& l) { l.MoveData(3, 1); }, {&a, &d, &b, &c}},
        {"RemoveData(1)", [](List& l) { l.RemoveData(1); }, {&a, &c, &d}},
        {"Insert at 0", [](List& l) { void* last = l.GetData(3); l.RemoveData(3); l.Insert(last, 0); }, {&d, &a, &b, &c}},
        {"Insert past the end appends", [](List& l) { void* first = l.GetData(0); l.RemoveData(0); l.Insert(first, 9); }, {&b, &c, &d, &a}},
    };
    for (const Case& test : cases) {
        List list(nullptr, 4);
        for (int* p : {&a, &b, &c, &d}) list.Append(p);
        test.apply(list);
        EXPECT_EQ(Contents(list), test.expected) << test.name;
    }
}

int g_deleted = 0;
void CountingDelete(void* item)
{
    ++g_deleted;
    delete static_cast<std::string*>(item);
}

TEST(List, DeleterRunsOnceForEveryElement)
{
    g_deleted = 0;
    {
        List list(CountingDelete, 4);
        auto* first = new std::string("first");
        list.Append(first);
        list.Append(new std::string("second"));
        list.Append(new std::string("third"));
        EXPECT_EQ(list.RemoveData(static_cast<void*>(first)), 0);  // deleted here ...
        EXPECT_EQ(g_deleted, 1);
        list.RemoveData(0);
        EXPECT_EQ(g_deleted, 2);
    }  // ... and not again here
    EXPECT_EQ(g_deleted, 3);
}

TEST(List, ReleasingDeleterDropsEachImageOnceAndSkipsNulls)
{
    Image* image = new Image(2, 2, 1);
    image->m_refCount = 3;  // the list holds two references, the test one
    {
        List list([](void* item) { ReleaseImage(static_cast<Image*>(item)); }, 4);
        list.Append(image);
        list.Append(image);
        list.Append(nullptr);
    }
    EXPECT_EQ(image->m_refCount, 1);
    ReleaseImage(image);
}

TEST(List, RefusesToGrowPastSixteenBits)
{
    List list(nullptr, 65532);
    int item;
    for (int i = 0; i < 65535; ++i) ASSERT_EQ(list.Append(&item), i);
    EXPECT_EQ(list.m_capacity, 65535);
    EXPECT_EQ(list.Append(&item), -1);
    EXPECT_EQ(list.Insert(&item, 0), -1);
    EXPECT_EQ(list.m_count, 65535);
}

}  // namespace
