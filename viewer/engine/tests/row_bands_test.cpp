// The row bands: every row drawn exactly once whatever the thread count,
// and faces and frames that come out byte for byte the same on one thread
// and on several (cube and fan, nearest and bilinear, averaging into a
// drawn frame).
#include "viewer/engine/row_bands.h"

#include "viewer/engine/tests/engine_test_support.h"
#include "viewer/engine/view_faces.h"

#include "imaging/ref_count.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using namespace enginetest;

// Restores the thread count a test changed.
class ThreadCount {
public:
    explicit ThreadCount(int threads) : m_saved(viewengine::GetRowBandThreads())
    {
        viewengine::SetRowBandThreads(threads);
    }
    ~ThreadCount() { viewengine::SetRowBandThreads(m_saved); }
    ThreadCount(const ThreadCount&) = delete;
    ThreadCount& operator=(const ThreadCount&) = delete;

private:
    int m_saved;
};

TEST(RowBands, EveryRowIsDrawnOnceForAnyThreadCount)
{
    const struct {
        int threads, first, last;
        int64_t pixels;
    } cases[] = {
        {1, 0, 99, 1000000},     {4, 0, 99, 1000000}, {4, 5, 7, 1000000},  {16, -3, 1000, 10000000},
        {3, 10, 10, 1000000},    {4, 0, 999, 10},     {8, 0, 12, 1000000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.threads << " threads, rows " << c.first << ".." << c.last);
        ThreadCount count(c.threads);
        std::vector<std::atomic<int>> hits(static_cast<size_t>(c.last - c.first + 1));
        std::atomic<int> outside{0};
        viewengine::ForEachRowBand(c.first, c.last, c.pixels, [&](int from, int to) {
            if (from > to || from < c.first || to > c.last) ++outside;
            for (int y = from; y <= to && y >= c.first && y <= c.last; ++y) ++hits[static_cast<size_t>(y - c.first)];
        });
        EXPECT_EQ(outside.load(), 0);
        for (size_t i = 0; i < hits.size(); ++i) ASSERT_EQ(hits[i].load(), 1) << "row " << c.first + int(i);
    }
    int calls = 0;
    viewengine::ForEachRowBand(5, 4, 1000000, [&](int, int) { ++calls; });
    EXPECT_EQ(calls, 0);
}

// Bands that start bands of their own, and callers on two threads at once:
// the inner and the second jobs run on their own thread, nothing waits
// forever and every row is drawn once.
TEST(RowBands, NestedAndConcurrentJobsComplete)
{
    ThreadCount count(4);
    std::vector<std::atomic<int>> hits(64 * 64);
    viewengine::ForEachRowBand(0, 63, 1000000, [&](int from, int to) {
        for (int y = from; y <= to; ++y)
            viewengine::ForEachRowBand(0, 63, 1000000, [&](int a, int b) {
                for (int x = a; x <= b; ++x) ++hits[static_cast<size_t>(y * 64 + x)];
            });
    });
    for (size_t i = 0; i < hits.size(); ++i) ASSERT_EQ(hits[i].load(), 1) << i;

    std::vector<std::atomic<int>> left(5000), right(5000);
    auto job = [](std::vector<std::atomic<int>>& rows) {
        for (int k = 0; k < 50; ++k)
            viewengine::ForEachRowBand(0, 4999, 1000000, [&](int from, int to) {
                for (int y = from; y <= to; ++y) ++rows[static_cast<size_t>(y)];
            });
    };
    std::thread other([&] { job(right); });
    job(left);
    other.join();
    for (size_t i = 0; i < left.size(); ++i) {
        ASSERT_EQ(left[i].load(), 50) << i;
        ASSERT_EQ(right[i].load(), 50) << i;
    }
}

struct Scene {
    const char* name;
    bool cube;  // else a 180-degree fan
    float yaw, pitch, hfov;
    bool bilinear, keep;
};

// Faces built and frames drawn with `threads`, all frames of the table in turn.
std::vector<ImagePtr> DrawAll(const WorldMapBase& map, const Scene* scenes, size_t count, int threads,
                              std::vector<ImagePtr>& faces)
{
    ThreadCount set(threads);
    std::vector<ImagePtr> frames;
    ImagePtr view(new Image(800, 600, 3));
    CViewFaceList list;
    EXPECT_TRUE(list.Init(&map, 1.0f, view.get()));
    for (int i = 0; i < list.GetCount(); ++i) faces.emplace_back(list.GetFace(i)->faceImage->Duplicate());
    for (size_t k = 0; k < count; ++k) {
        const Scene& s = scenes[k];
        CViewParams params;
        params.yaw = s.yaw;
        params.pitch = s.pitch;
        if (s.keep) {
            // Half the frame drawn already: averaging meets data and zeros.
            std::memset(view->GetData(), 0, view->GetDataSize());
            for (int y = 0; y < view->GetHeight(); y += 2)
                std::memset(view->GetData() + static_cast<size_t>(y) * view->GetRowByte(), 0x5a,
                            static_cast<size_t>(view->GetWidth()) * 3);
        }
        list.Render(&params, s.hfov, 0.0f, s.bilinear, s.keep, !s.keep);
        frames.emplace_back(view->Duplicate());
    }
    return frames;
}

TEST(RowBands, FacesAndFramesAreTheSameOnOneThreadAndOnSeveral)
{
    const int w = 2400;
    const MapPtr sphere = MakeSyntheticMap(w, true);
    const MapPtr crop = MakeSyntheticMap(w, true, w / 4, w / 2, w / 12, w / 3);
    ASSERT_TRUE(sphere);
    ASSERT_TRUE(crop);
    const Scene scenes[] = {
        {"cube nearest", true, 0.3f, 0.1f, 1.5f, false, false},
        {"cube bilinear across the seam", true, 3.1f, -0.2f, 1.5f, true, false},
        {"cube bilinear looking up", true, 1.0f, -1.3f, 1.7f, true, false},
        {"cube nearest averaged", true, -0.7f, 0.4f, 1.2f, false, true},
        {"cube bilinear averaged", true, 2.0f, 0.0f, 1.2f, true, true},
    };
    const Scene fanScenes[] = {
        {"fan nearest", false, 0.2f, 0.0f, 1.4f, false, false},
        {"fan bilinear", false, -0.5f, 0.3f, 1.4f, true, false},
    };
    struct Run {
        const WorldMapBase* map;
        const Scene* scenes;
        size_t count;
    } runs[] = {{sphere.get(), scenes, std::size(scenes)}, {crop.get(), fanScenes, std::size(fanScenes)}};
    for (const Run& run : runs) {
        std::vector<ImagePtr> facesOne, facesMany;
        const std::vector<ImagePtr> one = DrawAll(*run.map, run.scenes, run.count, 1, facesOne);
        const std::vector<ImagePtr> many = DrawAll(*run.map, run.scenes, run.count, 4, facesMany);
        ASSERT_EQ(facesOne.size(), facesMany.size());
        ASSERT_FALSE(facesOne.empty());
        for (size_t i = 0; i < facesOne.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "face " << i);
            ASSERT_EQ(facesOne[i]->GetDataSize(), facesMany[i]->GetDataSize());
            EXPECT_EQ(std::memcmp(facesOne[i]->GetData(), facesMany[i]->GetData(), facesOne[i]->GetDataSize()), 0);
        }
        for (size_t k = 0; k < run.count; ++k) {
            SCOPED_TRACE(run.scenes[k].name);
            const Image& a = *one[k];
            size_t drawn = 0;
            for (size_t i = 0; i < a.GetDataSize(); ++i) drawn += a.GetData()[i] != 0 && a.GetData()[i] != 0x5a;
            EXPECT_GT(drawn, a.GetDataSize() / 4);  // the faces really drew the frame
            EXPECT_EQ(std::memcmp(a.GetData(), many[k]->GetData(), a.GetDataSize()), 0);
        }
    }
}

// A frame handed over band by band as its rows are done: the view ends with
// the bytes of the whole-frame render, every row is handed over once, and a
// row handed over already holds its final bytes (a copy taken in the hand-over
// equals the finished view). Over thread counts, cube and fan, nearest and
// bilinear, clearing after drawing, averaging into a kept frame, a view seen
// by no face, and a view seen by the faces' backs (every row cleared). The
// views start dirty, so that a row left uncleared shows.
TEST(RowBands, FramesHandedOverBandByBandAreTheRenderedFrames)
{
    const int w = 2400;
    const MapPtr sphere = MakeSyntheticMap(w, true);
    const MapPtr crop = MakeSyntheticMap(w, true, w / 4, w / 2, w / 12, w / 3);
    ASSERT_TRUE(sphere);
    ASSERT_TRUE(crop);
    const struct {
        const char* name;
        const WorldMapBase* map;
        int threads;
        float yaw, pitch, hfov;
        bool bilinear, keep, clear;
        int viewW, viewH;
    } cases[] = {
        {"cube nearest, one thread", sphere.get(), 1, 0.3f, 0.1f, 1.5f, false, false, true, 800, 500},
        {"cube nearest, four threads", sphere.get(), 4, 0.3f, 0.1f, 1.5f, false, false, true, 800, 500},
        {"cube nearest, odd view, three threads", sphere.get(), 3, 2.9f, 0.6f, 1.6f, false, false, true, 777, 483},
        {"cube bilinear across the seam", sphere.get(), 4, 3.1f, -0.2f, 1.5f, true, false, true, 640, 400},
        {"cube averaged into a kept frame", sphere.get(), 4, -0.7f, 0.4f, 1.2f, false, true, false, 640, 400},
        {"cube averaged, cleared first", sphere.get(), 2, -0.7f, 0.4f, 1.2f, true, true, true, 640, 400},
        {"fan nearest, edges of the data", crop.get(), 4, 1.3f, 0.3f, 1.4f, false, false, true, 800, 500},
        {"fan seen from behind: nothing drawn", crop.get(), 4, 3.0f, 0.0f, 0.8f, false, false, true, 320, 200},
        {"more threads than a view of few rows", sphere.get(), 16, 0.0f, 0.0f, 1.5f, false, false, true, 300, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ThreadCount count(c.threads);
        CViewParams params;
        params.yaw = c.yaw;
        params.pitch = c.pitch;
        auto dirty = [&] {
            auto view = RefPtr<Image>::adopt(new Image());
            EXPECT_EQ(view->BmpInit(c.viewW, c.viewH, 3), 0);
            for (size_t i = 0; i < view->GetDataSize(); ++i)
                view->GetData()[i] = static_cast<unsigned char>(i % 3 == 0 ? 0x5a : (i * 7) & 0xff);
            return view;
        };
        const RefPtr<Image> whole = dirty(), banded = dirty(), copy = dirty();
        CViewFaceList list;
        ASSERT_TRUE(list.Init(c.map, 1.0f, whole.get()));
        list.Render(&params, c.hfov, 0.0f, c.bilinear, c.keep, c.clear);
        list.SetViewImage(banded.get());
        std::vector<std::atomic<int>> handed(static_cast<size_t>(c.viewH));
        std::atomic<int> outside{0};
        const size_t rowBytes = static_cast<size_t>(banded->GetRowByte());
        EXPECT_TRUE(list.Render(&params, c.hfov, 0.0f, c.bilinear, c.keep, c.clear, [&](int first, int last) {
            if (first > last || first < 0 || last >= c.viewH) {
                ++outside;
                return;
            }
            for (int y = first; y <= last; ++y) ++handed[static_cast<size_t>(y)];
            std::memcpy(copy->GetData() + rowBytes * static_cast<size_t>(first),
                        banded->GetData() + rowBytes * static_cast<size_t>(first),
                        rowBytes * static_cast<size_t>(last - first + 1));
        }));
        EXPECT_EQ(outside.load(), 0);
        for (size_t y = 0; y < handed.size(); ++y) ASSERT_EQ(handed[y].load(), 1) << "row " << y;
        ASSERT_EQ(whole->GetDataSize(), banded->GetDataSize());
        EXPECT_EQ(std::memcmp(whole->GetData(), banded->GetData(), whole->GetDataSize()), 0);
        EXPECT_EQ(std::memcmp(copy->GetData(), banded->GetData(), banded->GetDataSize()), 0);
    }
}

// Nothing is handed over where there is no view to draw into: the frame is
// left to the whole-frame render, and the caller told so.
TEST(RowBands, NoRowsAreHandedOverWithoutAViewOfPixels)
{
    const MapPtr map = MakeSyntheticMap(512);
    CViewParams params;
    int calls = 0;
    CViewFaceList unbound;
    EXPECT_FALSE(unbound.Render(&params, 1.2f, 0.0f, false, false, true, [&](int, int) { ++calls; }));
    ImagePtr empty(new Image());
    CViewFaceList faces;
    ASSERT_TRUE(faces.Init(map.get(), 1.0f, empty.get()));
    EXPECT_FALSE(faces.Render(&params, 1.2f, 0.0f, false, false, true, [&](int, int) { ++calls; }));
    EXPECT_EQ(calls, 0);
}

// Nor where a face draws into another image, or reads the view it draws
// into: a band is then not final once the list's faces are done with it.
// The frame (and the other image) get the plain render's bytes, the hook is
// never called; the odd face does change the frame.
TEST(RowBands, NoRowsAreHandedOverWhileAFaceDrawsOutsideTheView)
{
    const MapPtr map = MakeSyntheticMap(1024, true);
    ASSERT_TRUE(map);
    CViewParams params;
    params.yaw = 0.4f;
    params.pitch = 0.2f;
    const int w = 320, h = 200;
    auto dirty = [&](int seed) {
        ImagePtr image(new Image(w, h, 3));
        for (size_t i = 0; i < image->GetDataSize(); ++i)
            image->GetData()[i] = static_cast<unsigned char>((i * 7 + static_cast<size_t>(seed)) & 0xff);
        return image;
    };
    enum class Odd { kIntoAnotherImage, kReadingTheView };
    std::vector<Odd> odds{Odd::kIntoAnotherImage};
#if VIEWENGINE_FACE_STRIP
    odds.push_back(Odd::kReadingTheView);
#endif
    for (const Odd odd : odds) {
        SCOPED_TRACE(odd == Odd::kIntoAnotherImage ? "a face drawing into another image" : "a face reading the view");
        // Alike lists: [0] rendered plainly, [1] with the hook, [2] without
        // the odd face.
        ImagePtr views[3] = {dirty(1), dirty(1), dirty(1)};
        ImagePtr others[2] = {dirty(2), dirty(2)};
        CViewFaceList lists[3];
        for (int k = 0; k < 3; ++k) {
            ASSERT_TRUE(lists[k].Init(map.get(), 1.0f, views[k].get()));
            if (k == 2) continue;
            if (odd == Odd::kIntoAnotherImage) {
                lists[k].GetFace(1)->BindView(others[k].get());
            } else {
#if VIEWENGINE_FACE_STRIP
                const ViewFaceOrientation facing{2.0f / w, 0.4f, 0.2f, 0.0f};
                ASSERT_TRUE(lists[k].AddFace(views[k].get(), &facing));
#endif
            }
        }
        lists[0].Render(&params, 1.5f, 0.0f, false, false, true);
        lists[2].Render(&params, 1.5f, 0.0f, false, false, true);
        int calls = 0;
        EXPECT_FALSE(lists[1].Render(&params, 1.5f, 0.0f, false, false, true, [&](int, int) { ++calls; }));
        EXPECT_EQ(calls, 0);
        const size_t bytes = views[0]->GetDataSize();
        EXPECT_EQ(0, std::memcmp(views[0]->GetData(), views[1]->GetData(), bytes));
        EXPECT_EQ(0, std::memcmp(others[0]->GetData(), others[1]->GetData(), bytes));
        EXPECT_NE(0, std::memcmp(views[0]->GetData(), views[2]->GetData(), bytes));
    }
}

// Clearing a large view runs in pieces on several threads: every byte,
// padding included, comes out 0.
TEST(RowBands, ClearingALargeViewZeroesEveryByte)
{
    ThreadCount count(4);
    for (const int width : {800, 1281}) {
        auto view = RefPtr<Image>::adopt(new Image());
        ASSERT_EQ(view->BmpInit(width, 601, 3), 0);
        std::memset(view->GetData(), 0x5a, view->GetDataSize());
        CViewFaceList list;
        list.SetViewImage(view.get());
        CViewParams params;
        list.Render(&params, 1.5f, 0.0f, false, false, true);
        size_t left = 0;
        for (size_t i = 0; i < view->GetDataSize(); ++i) left += view->GetData()[i] != 0;
        EXPECT_EQ(left, 0u) << width;
    }
}

}  // namespace
