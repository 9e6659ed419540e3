// Image windows and the diagnostics bridge: the document's marker groups and
// curves, the dispatcher of the diagnostics requests, and the callbacks that
// a worker thread calls to reach the user-interface thread.
#include "app/tests/app_test_fixture.h"
#include "app/views/image_doc.h"
#include "app/views/image_loaders.h"
#include "app/views/image_view.h"
#include "imaging/image.h"
#include "platform/utilkit/debug_display.h"
#include "platform/win/wnd.h"
#include "projectgraph/curvekit/two_d_curves.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace {

class ImageWindowTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(Start());
    }

    long Request(int request, void* record) { return DispatchDebugRequest(request, record); }
    long CreateGroup(int id, const char* name, int x = 0, int y = 0)
    {
        DebugMarkerGroupRecord record{id, name, x, y};
        return Request(3, &record);
    }
};

TEST_F(ImageWindowTest, OpeningRefusesEmptyAndDuplicateNames)
{
    EXPECT_TRUE(OpenBlankImageWindow(40, 30, "debug"));
    CImageDoc* doc = FindImageDoc("debug");
    ASSERT_NE(doc, nullptr);
    ASSERT_NE(doc->GetImage(), nullptr);
    EXPECT_EQ(doc->GetImage()->GetWidth(), 40);
    EXPECT_EQ(doc->GetImage()->GetHeight(), 30);
    EXPECT_FALSE(OpenBlankImageWindow(10, 10, "debug"));
    EXPECT_FALSE(OpenBlankImageWindow(10, 10, ""));
    EXPECT_FALSE(OpenBlankImageWindow(0, 10, "zero"));
    Image* image = doc->GetImage();
    EXPECT_FALSE(OpenImageWindow(image, "debug"));
    EXPECT_FALSE(OpenImageWindow(image, ""));
    EXPECT_EQ(App().GetImageTemplate()->GetDocuments().size(), 1u);
    // Names compare byte for byte.
    EXPECT_EQ(FindImageDoc("Debug"), nullptr);
}

TEST_F(ImageWindowTest, RequestsNamingNoWindowAnswerZero)
{
    DebugGroupIdRecord group{1, "missing"};
    DebugDeleteCurvesRecord curves{0, 0, "missing"};
    EXPECT_EQ(CreateGroup(1, "missing"), 0);
    EXPECT_EQ(Request(4, &group), 0);
    EXPECT_EQ(Request(5, &group), 0);
    EXPECT_EQ(Request(6, const_cast<char*>("missing")), 0);
    EXPECT_EQ(Request(7, &curves), 0);
    ASSERT_TRUE(OpenBlankImageWindow(8, 8, "w"));
    DebugGroupIdRecord other{1, "w"};
    EXPECT_EQ(Request(0, &other), 0);
    EXPECT_EQ(Request(8, &other), 0);
    EXPECT_EQ(Request(-3, &other), 0);
    EXPECT_EQ(FindImageDoc("w")->GetMarkerGroupCount(), 0);
}

TEST_F(ImageWindowTest, MarkerGroupRequests)
{
    DebugBlankWindowRecord blank{16, 12, "pair"};
    ASSERT_EQ(Request(1, &blank), 1);
    EXPECT_EQ(Request(1, &blank), 0);  // open already
    CImageDoc* doc = FindImageDoc("pair");
    ASSERT_NE(doc, nullptr);

    auto* first = reinterpret_cast<Marker*>(CreateGroup(7, "pair", 3, -4));
    ASSERT_NE(first, nullptr);
    first->AppendMarker(1, 2);
    first->AppendMarker(3, 4);
    ASSERT_EQ(first->GetNumbOfMarker(), 2);
    // The same identifier gives the same group, emptied, offset unchanged.
    EXPECT_EQ(reinterpret_cast<Marker*>(CreateGroup(7, "pair", 9, 9)), first);
    EXPECT_EQ(first->GetNumbOfMarker(), 0);
    EXPECT_EQ(doc->FindMarkerGroup(7)->GetOffsetX(), 3);
    EXPECT_EQ(doc->FindMarkerGroup(7)->GetOffsetY(), -4);

    ASSERT_NE(CreateGroup(8, "pair"), 0);
    ASSERT_NE(CreateGroup(9, "pair"), 0);
    DebugGroupIdRecord middle{8, "pair"};
    EXPECT_NE(Request(4, &middle), 0);
    EXPECT_EQ(Request(5, &middle), 0);
    EXPECT_EQ(Request(4, &middle), 0);
    ASSERT_EQ(doc->GetMarkerGroupCount(), 2);
    EXPECT_EQ(doc->GetMarkerGroupAt(0)->GetId(), 7);
    EXPECT_EQ(doc->GetMarkerGroupAt(1)->GetId(), 9);
    // Removing one that is not there changes nothing.
    EXPECT_EQ(Request(5, &middle), 0);
    EXPECT_EQ(doc->GetMarkerGroupCount(), 2);
    DebugGroupIdRecord last{9, "pair"};
    EXPECT_EQ(reinterpret_cast<MarkerGroup*>(Request(4, &last)), doc->GetMarkerGroupAt(1));

    // Index labels toggle on every group.
    const bool before = doc->GetMarkerGroupAt(0)->GetMarkerIndexState();
    EXPECT_TRUE(doc->ToggleMarkerIndex());
    EXPECT_NE(doc->GetMarkerGroupAt(0)->GetMarkerIndexState(), before);
    EXPECT_NE(doc->GetMarkerGroupAt(1)->GetMarkerIndexState(), before);
}

TEST_F(ImageWindowTest, CurvesAreMadeOnceAndDeletedOnRequest)
{
    ASSERT_TRUE(OpenBlankImageWindow(16, 12, "lines"));
    CImageDoc* doc = FindImageDoc("lines");
    EXPECT_EQ(doc->PeekCurves(), nullptr);
    EXPECT_FALSE(doc->ToggleLineIndex());
    auto* curves = reinterpret_cast<TwoDCurves*>(Request(6, const_cast<char*>("lines")));
    ASSERT_NE(curves, nullptr);
    EXPECT_EQ(reinterpret_cast<TwoDCurves*>(Request(6, const_cast<char*>("lines"))), curves);
    EXPECT_EQ(doc->PeekCurves(), curves);
    DebugDeleteCurvesRecord all{0, 0, "lines"};
    EXPECT_EQ(Request(7, &all), 0);
    EXPECT_EQ(doc->PeekCurves(), curves);  // the object stays with the document
}

TEST_F(ImageWindowTest, ShowRegionCopiesPixelsIntoTheNamedWindow)
{
    ASSERT_TRUE(OpenBlankImageWindow(20, 10, "dst"));
    Image source;
    ASSERT_EQ(source.BmpInit(6, 4, 3), 0);
    uint8_t* pixels = source.GetData();
    for (int i = 0; i < source.GetRowByte() * 4; ++i) pixels[i] = static_cast<uint8_t>(i + 1);
    RECT rect{1, 1, 3, 2};  // columns 1..3, rows 1..2
    DebugShowRegionRecord record{&source, &rect, 10, 5, "dst"};
    EXPECT_EQ(Request(2, &record), 0);
    const Image* target = FindImageDoc("dst")->GetImage();
    const uint8_t* out = target->GetData();
    const int sourceStride = source.GetRowByte();
    const int targetStride = target->GetRowByte();
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool inside = x >= 10 && x <= 12 && y >= 5 && y <= 6;
            for (int c = 0; c < 3; ++c) {
                const int expected = inside ? pixels[(y - 4) * sourceStride + (x - 9) * 3 + c] : 0;
                ASSERT_EQ(out[y * targetStride + x * 3 + c], expected) << x << "," << y << "," << c;
            }
        }
}

TEST_F(ImageWindowTest, WorkerCallbacksAreAnsweredOnTheUserInterfaceThread)
{
    ASSERT_TRUE(OpenBlankImageWindow(16, 12, "worker"));
    // The diagnostics module calls its bridge only while its switch is on.
    SetDebugDispFlag(1);
    const std::thread::id uiThread = std::this_thread::get_id();
    std::atomic<bool> done{false};
    Marker* created = nullptr;
    Marker* found = nullptr;
    TwoDCurves* curves = nullptr;
    Marker* missing = reinterpret_cast<Marker*>(1);
    std::thread::id workerThread;
    std::thread worker([&] {
        workerThread = std::this_thread::get_id();
        created = CreateMarkerGroup(5, "worker", 2, 3);
        found = GetMarkerGroup(5, "worker");
        curves = Get2DCurvs("worker");
        DeleteMarkerGroup(5, "worker");
        missing = GetMarkerGroup(5, "worker");
        done = true;
    });
    const bool finished = win::PumpUntil([&] { return done.load(); }, 5000);
    worker.join();
    SetDebugDispFlag(0);
    ASSERT_TRUE(finished);
    EXPECT_NE(workerThread, uiThread);
    CImageDoc* doc = FindImageDoc("worker");
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(found, created);
    EXPECT_EQ(curves, doc->PeekCurves());
    EXPECT_NE(curves, nullptr);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(doc->GetMarkerGroupCount(), 0);
}

TEST(ImageNameQuery, CapacityIsAnUnsignedByteAndZeroWritesNothing)
{
    const std::string longName(300, 'n');
    struct Case {
        unsigned char capacity;
        std::string name;
        size_t written;  // characters before the zero byte
    };
    const Case cases[] = {
        {255, longName, 254}, {255, "short", 5}, {1, "abc", 0}, {4, "abc", 3}, {3, "abc", 2},
    };
    for (const Case& c : cases) {
        char buffer[256];
        std::memset(buffer, 'x', sizeof buffer);
        buffer[1] = static_cast<char>(c.capacity);
        CopyNameToQueryBuffer(c.name, buffer);
        EXPECT_EQ(std::strlen(buffer), c.written) << int(c.capacity) << " " << c.name.size();
        EXPECT_EQ(std::string(buffer, c.written), c.name.substr(0, c.written));
    }
    // Capacity 0: the buffer stays as it was.
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    buffer[1] = 0;
    CopyNameToQueryBuffer("name", buffer);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(buffer[1], 0);
    for (int i = 2; i < 8; ++i) EXPECT_EQ(buffer[i], 'x');
}

}  // namespace
