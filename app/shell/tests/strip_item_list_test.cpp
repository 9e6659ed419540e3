#include "app/shell/strip_item_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Paths(const StripItemList& list)
{
    std::vector<std::string> out;
    for (int i = 0; i < list.GetCount(); ++i) out.push_back(list.Get(i)->path);
    return out;
}

// A list of items "a" .. "e" with image-less entries.
void Fill(StripItemList& list, int n = 5)
{
    for (int i = 0; i < n; ++i) ASSERT_EQ(list.Add(std::string(1, static_cast<char>('a' + i)), nullptr, 1, 0, 0, 0, 0, 0), i);
}

}  // namespace

TEST(StripItem, KindIsStoredInTwoBits)
{
    struct Case {
        int kind;
        uint8_t bits;
        int readBack;
    };
    const Case cases[] = {{0, 3, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 0}, {-1, 3, 0}};
    for (const Case& c : cases) {
        StripItem item;
        item.SetKind(c.kind);
        EXPECT_EQ(item.kindBits, c.bits) << c.kind;
        EXPECT_EQ(item.GetKind(), c.readBack);
    }
    StripItem raw;
    raw.kindBits = 0;  // neither bit: read as kind 0
    EXPECT_EQ(raw.GetKind(), 0);
}

TEST(StripItemList, ADuplicatePathIsRefusedAndLeavesTheListAlone)
{
    StripItemList list;
    Image* image = new Image(4, 4, 3);
    EXPECT_EQ(list.Add("C:\\pano\\one.jpg", image, 0, 1, 2, 3, 4, 5), 0);
    EXPECT_EQ(image->m_refCount, 2);
    EXPECT_EQ(list.Add("C:\\pano\\two.jpg", nullptr, 2, 0, 0, 0, 0, 0), 1);
    EXPECT_EQ(list.Add("C:\\pano\\one.jpg", image, 1, 0, 0, 0, 0, 0), -1);
    EXPECT_EQ(image->m_refCount, 2);  // no reference taken for the refused one
    EXPECT_EQ(list.Add("C:\\PANO\\one.jpg", nullptr, 1, 0, 0, 0, 0, 0), 2);  // exact comparison
    EXPECT_EQ(list.GetCount(), 3);
    const StripItem* first = list.Get(0);
    EXPECT_EQ(first->GetKind(), 0);
    EXPECT_EQ(first->size[1], 2);
    EXPECT_EQ(first->view[2], 5);
    EXPECT_EQ(list.Get(3), nullptr);
    EXPECT_EQ(list.Get(-1), nullptr);
    EXPECT_TRUE(list.Remove(0));
    EXPECT_EQ(image->m_refCount, 1);
    ReleaseImage(image);
}

TEST(StripItemList, TheSelectionFollowsItsItem)
{
    struct Case {
        const char* what;
        int selected;
        int from, to;  // a move, or to = -1 for a removal of `from`
        bool done;
        int selectedAfter;
        std::vector<std::string> order;
    };
    const Case cases[] = {
        {"move the selected forward", 1, 1, 3, true, 3, {"a", "c", "d", "b", "e"}},
        {"move the selected back", 4, 4, 0, true, 0, {"e", "a", "b", "c", "d"}},
        {"move another across it", 2, 0, 4, true, 1, {"b", "c", "d", "e", "a"}},
        {"move another behind it", 2, 4, 3, true, 2, {"a", "b", "c", "e", "d"}},
        {"move onto itself", 2, 2, 2, false, 2, {"a", "b", "c", "d", "e"}},
        {"move out of range", 2, 1, 5, false, 2, {"a", "b", "c", "d", "e"}},
        {"remove the selected", 2, 2, -1, true, -1, {"a", "b", "d", "e"}},
        {"remove one before it", 2, 0, -1, true, 1, {"b", "c", "d", "e"}},
        {"remove one after it", 2, 4, -1, true, 2, {"a", "b", "c", "d"}},
        {"remove outside", 2, 7, -1, false, 2, {"a", "b", "c", "d", "e"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StripItemList list;
        Fill(list);
        list.SetSelected(c.selected);
        const bool done = c.to >= 0 ? list.Move(c.from, c.to) : list.Remove(c.from);
        EXPECT_EQ(done, c.done);
        EXPECT_EQ(list.GetSelected(), c.selectedAfter);
        EXPECT_EQ(Paths(list), c.order);
    }
}

TEST(StripItemList, TakeAndInsertRelinkItems)
{
    StripItemList list;
    Fill(list, 3);
    std::unique_ptr<StripItem> b = list.Take(1);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->path, "b");
    EXPECT_EQ(b->next, nullptr);
    EXPECT_EQ(Paths(list), (std::vector<std::string>{"a", "c"}));
    EXPECT_FALSE(list.Insert(nullptr, 0));
    auto extra = std::make_unique<StripItem>();
    EXPECT_FALSE(list.Insert(std::move(extra), 3));  // past the end
    EXPECT_TRUE(list.Insert(std::move(b), 2));  // count: appended
    EXPECT_EQ(Paths(list), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(list.Take(3), nullptr);
}

TEST(StripItemList, DisplayTextIsTheLabelOrTheBareFileName)
{
    StripItemList list;
    list.Add("C:\\photos\\harbour.pano.jpg", nullptr, 0, 0, 0, 0, 0, 0);
    list.Add("/home/me/square", nullptr, 0, 0, 0, 0, 0, 0);
    list.Add("D:\\mixed/slash\\last.tif", nullptr, 0, 0, 0, 0, 0, 0);
    list.Add("labelled.jpg", nullptr, 0, 0, 0, 0, 0, 0);
    list.Get(3)->label = "Old town";
    struct Case {
        int index, size;
        const char* text;
    };
    const Case cases[] = {
        {0, 64, "harbour.pano"}, {1, 64, "square"}, {2, 64, "last"}, {3, 64, "Old town"},
        {0, 4, "har"},           {3, 1, ""},
    };
    for (const Case& c : cases) {
        char buffer[64];
        ASSERT_TRUE(list.GetDisplayText(c.index, buffer, c.size));
        EXPECT_STREQ(buffer, c.text) << c.index << " in " << c.size;
    }
    char buffer[8];
    EXPECT_FALSE(list.GetDisplayText(4, buffer, 8));
    EXPECT_FALSE(list.GetDisplayText(0, buffer, 0));
}

TEST(StripItemList, ValuesAreStoredAndReturned)
{
    StripItemList list;
    list.SetName("tour");
    list.SetValues(3, -4);
    list.SetValue(17);
    list.SetAngle(90);
    list.SetFlag(0x80);
    int a = 0, b = 0;
    list.GetValues(a, b);
    EXPECT_EQ(list.GetName(), "tour");
    EXPECT_EQ(a, 3);
    EXPECT_EQ(b, -4);
    EXPECT_EQ(list.GetValue(), 17);
    EXPECT_EQ(list.GetAngle(), 90);
    EXPECT_EQ(list.GetFlag(), 0x80);
    list.SetSelected(0);  // nothing to select
    EXPECT_EQ(list.GetSelected(), -1);
}
