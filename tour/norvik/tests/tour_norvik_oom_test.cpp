// Running out of memory inside the tour tree: every operation is tried with
// its first, second, third ... allocation failing. Each attempt must give
// false (or null) and leave the document exactly as it was, never throw,
// and leak nothing (the sanitizer build checks the leaks). This program
// replaces the global allocation functions, so it runs on its own.
#include "tour/norvik/tour_norvik.h"

#include "testkit/testkit.h"
#include "tour/norvik/tests/norvik_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <string>

namespace {

// Allocation number g_failAt (from 0) inside a window fails; -1: none does.
long g_failAt = -1;
long g_count = 0;

// Opens a window in which allocation number `failAt` fails.
struct FailingAllocation {
    explicit FailingAllocation(long failAt)
    {
        g_count = 0;
        g_failAt = failAt;
    }
    ~FailingAllocation() { g_failAt = -1; }
    // Whether the failure was reached (the call allocated more than failAt).
    static bool Reached(long failAt) { return g_count > failAt; }
};

}  // namespace

// These are the allocation functions themselves, so malloc and free pair
// with them by design.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    if (g_failAt >= 0 && g_count++ == g_failAt) throw std::bad_alloc();
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

std::string Text(TourNorvik* tree, const testkit::TempDir& dir)
{
    char* text = tree->GetXmlText(dir.file("scratch.xml").c_str());
    std::string copy = text ? text : "";
    tree->FreeXmlText(text);
    return copy;
}

// A tree with a pano, a hot spot, a map and compass and a box child, so
// that every operation has its parent; the operations below then add to it.
TourNorvik* Filled()
{
    TourNorvik* tree = TourNorvik::CreateTourNorvik();
    const HotspotRange range{0, 0, 9, 9};
    tree->AddPano(0, 0, true);
    tree->AddHotspot(0, kHotspotDynamic, 0, 1, 2, 3, 4, &range, 100, 100);
    tree->AddMap(0, 0, 0, 0);
    tree->AddCompass(0, 0, 1, 2, 3, 4);
    tree->AddListBox(kTourListFramework, "box", 1, 2, 3, 4, -1, -1);
    return tree;
}

TEST(TourNorvikOutOfMemory, EveryFailingAllocationLeavesTheDocumentUnchanged)
{
    const HotspotRange range{5, 5, 6, 6};
    const std::pair<const char*, std::function<bool(TourNorvik*)>> operations[] = {
        {"list text", [](TourNorvik* t) { return t->AddListText(kTourListFramework, "a_long_element_name",
                                                                "a text longer than any small-string buffer"); }},
        {"list colours", [](TourNorvik* t) { return t->AddListColors(kTourListFramework, "c", 1, 2, 3, 4); }},
        {"list box", [](TourNorvik* t) { return t->AddListBox(kTourListFramework, "b", 1, 2, 3, 4, 5, 6); }},
        {"new child attribute",
         [](TourNorvik* t) { return t->SetChildAttribute(kTourListFramework, "fresh", "attr", "value"); }},
        {"attribute on an existing child",
         [](TourNorvik* t) {
             return t->SetChildAttribute(kTourListFramework, "box", "a_long_attribute_name_for_the_heap",
                                         "a value longer than any small-string buffer");
         }},
        {"pano", [](TourNorvik* t) { return t->AddPano(1, 2, false); }},
        {"pano text", [](TourNorvik* t) { return t->AddPanoText(0, "file", "./data_F/a_long_file_name.jpg"); }},
        {"roi", [](TourNorvik* t) { return t->AddRoi(0, 3, "./data_F/tile_s1.jpg", 10, 20); }},
        {"shotspot", [&](TourNorvik* t) { return t->AddHotspot(0, kHotspotStatic, 1, 1, 2, 30, 40, &range, 64, 48); }},
        {"hot spot style",
         [](TourNorvik* t) {
             return t->AddHotspotTextStyle(0, kHotspotDynamic, 0, "text", 1, "Arial", "true", "false", 8, 1, 2, 3, 4);
         }},
        {"hot spot url", [](TourNorvik* t) { return t->AddHotspotUrl(0, kHotspotDynamic, 0, "win", "http://x/"); }},
        {"compass", [](TourNorvik* t) { return t->AddCompass(0, 1, 1, 2, 3, 4); }},
        {"compass float", [](TourNorvik* t) { return t->AddCompassFloat(0, 0, "a0", 1.5f); }},
        {"first movie",
         [](TourNorvik* t) {
             return t->AddFirstMovie(1, 1, 1, 1, 1, 8000, "Playing tour movie.", 0, "Arial", "false", "false", 28,
                                     0xFFFFFF, 0, 60, 400);
         }},
    };
    testkit::TempDir dir;
    for (const auto& [label, operation] : operations) {
        bool completed = false;
        for (long failAt = 0; !completed && failAt < 10000; ++failAt) {
            TourNorvik* tree = Filled();
            const std::string before = Text(tree, dir);
            bool result = false;
            {
                FailingAllocation window(failAt);
                EXPECT_NO_THROW(result = operation(tree)) << label << " failing allocation " << failAt;
                completed = !FailingAllocation::Reached(failAt);
            }
            if (completed) {
                EXPECT_TRUE(result) << label;
                EXPECT_NE(Text(tree, dir), before) << label;
            } else {
                EXPECT_FALSE(result) << label << " failing allocation " << failAt;
                EXPECT_EQ(Text(tree, dir), before) << label << " failing allocation " << failAt;
            }
            TourNorvik::DeleteTourNorvik(tree);
        }
        EXPECT_TRUE(completed) << label;
    }
}

TEST(TourNorvikOutOfMemory, CreateGivesNullAndReadOutGivesNull)
{
    bool completed = false;
    for (long failAt = 0; !completed; ++failAt) {
        TourNorvik* tree = nullptr;
        {
            FailingAllocation window(failAt);
            EXPECT_NO_THROW(tree = TourNorvik::CreateTourNorvik());
            completed = !FailingAllocation::Reached(failAt);
        }
        EXPECT_EQ(tree != nullptr, completed) << failAt;
        TourNorvik::DeleteTourNorvik(tree);
    }

    testkit::TempDir dir;
    const std::string scratch = dir.file("scratch.xml");
    TourNorvik* tree = Filled();
    const std::string whole = Text(tree, dir);
    completed = false;
    for (long failAt = 0; !completed; ++failAt) {
        char* text = nullptr;
        {
            FailingAllocation window(failAt);
            EXPECT_NO_THROW(text = tree->GetXmlText(scratch.c_str()));
            completed = !FailingAllocation::Reached(failAt);
        }
        if (completed) {
            ASSERT_NE(text, nullptr);
            EXPECT_EQ(std::string(text), whole);
        } else {
            EXPECT_EQ(text, nullptr) << failAt;
        }
        tree->FreeXmlText(text);
        EXPECT_FALSE(norvik_test::FileExists(scratch)) << failAt;
    }
    TourNorvik::DeleteTourNorvik(tree);
}

}  // namespace
