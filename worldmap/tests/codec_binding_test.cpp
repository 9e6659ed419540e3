// The run-time codec bindings and the QuickTime saves: all entries or none
// (a Jpegkit without ordinal 8 fails every JPEG load and save), a failed bind
// is tried again at the next use, ReleaseIOModule unloads and the next use
// binds again; the movie saves' result codes and messages 1000/1001 with a
// stand-in movie writer; two thumbnail workers and a releasing thread at once.
#include "worldmap/image_file.h"

#include "platform/quicktime/qtml.h"
#include "core/logger.h"
#include "platform/win/message_box_sink.h"
#include "worldmap/tests/image_file_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

using namespace filetest;

namespace {

class BindingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testkit::RequireTool("cjpeg"));
        ImagePtr picture = MakeSmoothPicture(96, 64, 2);
        const Bytes jpeg = MakeJpeg(*picture, m_dir, "picture");
        ASSERT_FALSE(jpeg.empty());
        m_jpeg = m_dir.file("picture.jpg");
    }

    int LoadJpeg()
    {
        Image* image = nullptr;
        const int status = LoadImageWMap(m_jpeg.c_str(), &image, nullptr, true);
        ReleaseImage(image);
        return status;
    }

    int SaveJpegFile()
    {
        ImagePtr image(testkit::MakePatternImage(8, 8, 3, IMG_LAYOUT_BITMAP));
        QUORVANE_FileInfo info;
        const std::string out = m_dir.file("saved.jpg");
        info.path = out.c_str();
        return SaveJpeg(image.get(), nullptr, &info);
    }

    testkit::TempDir m_dir;
    std::string m_jpeg;
};

TEST_F(BindingTest, MissingLibraryFailsSilentlyAndIsTriedAgain)
{
    ModuleFolder modules;  // empty
    EXPECT_EQ(LoadJpeg(), 0);
    EXPECT_EQ(SaveJpegFile(), 1);
    int kind = -1, w, h, eq, col, row;
    EXPECT_EQ(LoadImageThumbNail(m_jpeg.c_str(), 8, kind, w, h, eq, col, row), nullptr);
    EXPECT_EQ(kind, 0);
    EXPECT_EQ(GetWMapInfo(m_jpeg.c_str(), w, h, eq, col, row, kind), 0);
    EXPECT_FALSE(IsLoaded(JpegkitLibrary()));
    // The library appears: the next use binds it.
    modules.Add(JpegkitLibrary());
    EXPECT_EQ(LoadJpeg(), 1);
    EXPECT_TRUE(IsLoaded(JpegkitLibrary()));
}

TEST_F(BindingTest, JpegkitWithoutOrdinal8BindsNothing)
{
    {
        ModuleFolder modules;
        modules.Add(FakeJpegkitWithoutOrdinal8());
        LogCapture log;
        EXPECT_EQ(LoadJpeg(), 0);
        EXPECT_EQ(SaveJpegFile(), 1);
        int kind = -1, w = -1, h, eq, col, row;
        EXPECT_EQ(LoadImageThumbNail(m_jpeg.c_str(), 8), nullptr);
        EXPECT_EQ(LoadImageThumbNail(m_jpeg.c_str(), 8, kind, w, h, eq, col, row), nullptr);
        EXPECT_EQ(kind, 0);
        EXPECT_EQ(GetWMapInfo(m_jpeg.c_str(), w, h, eq, col, row, kind), 0);
        EXPECT_TRUE(log.contains("has no entry SetForce0To1 (ordinal 8)")) << log.text();
        // The incomplete library was freed again.
        EXPECT_FALSE(IsLoaded(FakeJpegkitWithoutOrdinal8()));
    }
    ModuleFolder modules;
    modules.Add(JpegkitLibrary());
    EXPECT_EQ(LoadJpeg(), 1);
    EXPECT_EQ(SaveJpegFile(), 0);
}

TEST_F(BindingTest, ReleaseIOModuleUnloadsAndTheNextUseBindsAgain)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    ModuleFolder modules;
    modules.Add(FakeJpegkit());
    modules.Add(GifkitLibrary());
    Image* image = nullptr;
    ASSERT_EQ(LoadImageWMap(m_jpeg.c_str(), &image, nullptr, true), 1);
    EXPECT_EQ(image->GetWidth(), 7);  // the stand-in was bound
    ReleaseImage(image);
    ASSERT_EQ(testkit::Run("convert -size 4x4 xc:red '" + m_dir.file("red.gif") + "'").status, 0);
    EXPECT_EQ(LoadImageWMap(m_dir.file("red.gif").c_str(), &image, nullptr, true), 1);
    ReleaseImage(image);
    EXPECT_TRUE(IsLoaded(FakeJpegkit()));
    EXPECT_TRUE(IsLoaded(GifkitLibrary()));
    ReleaseIOModule();
    EXPECT_FALSE(IsLoaded(FakeJpegkit()));
    EXPECT_FALSE(IsLoaded(GifkitLibrary()));
    EXPECT_EQ(LoadJpeg(), 1);
    EXPECT_TRUE(IsLoaded(FakeJpegkit()));
    ReleaseIOModule();
    ReleaseIOModule();  // nothing bound: harmless
    EXPECT_EQ(SaveJpegFile(), 0);
    // The real codec binds again after a release too.
    modules.Remove("libJpegkit.so");
    ReleaseIOModule();
    modules.Add(JpegkitLibrary());
    EXPECT_EQ(LoadJpeg(), 1);
    ReleaseIOModule();
    // The real codec exports no unique global symbol, so it is really unmapped.
    EXPECT_FALSE(IsLoaded(JpegkitLibrary()));
    EXPECT_EQ(LoadJpeg(), 1);
}

// Two thumbnail workers (JPEG and GIF) and a thread that keeps releasing the
// bindings: no call loses its library in flight (Gifkit is really unloaded
// between uses), every thumbnail is made. Run under ThreadSanitizer as well
// as AddressSanitizer.
TEST_F(BindingTest, ConcurrentThumbnailsWhileReleasing)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    ModuleFolder modules;
    modules.Add(JpegkitLibrary());
    modules.Add(GifkitLibrary());
    const std::string gif = m_dir.file("picture.gif");
    ASSERT_EQ(testkit::Run("convert '" + m_dir.file("picture.ppm") + "' '" + gif + "'").status, 0);
    std::atomic<int> made{0};
    std::atomic<bool> stop{false};
    auto worker = [&](int first) {
        for (int i = 0; i < 30; ++i) {
            const std::string& path = (i + first) % 2 ? gif : m_jpeg;
            int kind = 0, w = 0, h = 0, eq = 0, col = 0, row = 0;
            Image* thumb = LoadImageThumbNail(path.c_str(), 8, kind, w, h, eq, col, row);
            if (thumb && kind == 1 && w == 96 && h == 64) ++made;
            ReleaseImage(thumb);
        }
    };
    std::thread releaser([&] {
        while (!stop) {
            ReleaseIOModule();
            std::this_thread::yield();
        }
    });
    std::thread a(worker, 0), b(worker, 1);
    a.join();
    b.join();
    stop = true;
    releaser.join();
    EXPECT_EQ(made.load(), 60);
}

// ---------------------------------------------------------------------------
// QuickTime saves

// The settings record as the stand-in writer reads it: word 0 is the answer
// it gives, word 3 (byte 12) the quality code and word 4 (byte 16) the codec.
struct MovieSettings {
    int32_t answer = 0;
    int32_t unused[2] = {0, 0};
    int32_t quality = 2;
    int32_t codec = 0;
};

class QuickTimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qtml::SetInitializeResult(noErr);
        m_previous = win::SetMessageBoxSink([this](const win::ModuleMessageBox& box) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_boxes.push_back(box);
            return 1;
        });
        m_image.reset(testkit::MakePatternImage(16, 8, 3, IMG_LAYOUT_BITMAP));
        m_info.path = m_movie.c_str();
        m_info.extra = &m_settings;
    }
    void TearDown() override
    {
        win::SetMessageBoxSink(m_previous);
        qtml::SetInitializeResult(noErr);
    }

    std::string MovieText() const
    {
        std::ifstream in(m_movie);
        std::string line;
        std::getline(in, line);
        return line;
    }
    std::vector<unsigned> BoxIds() const
    {
        std::vector<unsigned> ids;
        for (const auto& b : m_boxes) ids.push_back(b.textId);
        return ids;
    }

    testkit::TempDir m_dir;
    std::string m_movie = m_dir.file("movie.mov");
    ImagePtr m_image;
    MovieSettings m_settings;
    QUORVANE_FileInfo m_info;
    std::mutex m_mutex;
    std::vector<win::ModuleMessageBox> m_boxes;
    win::MessageBoxSink m_previous;
};

TEST_F(QuickTimeTest, WriterMissingShows1001)
{
    ModuleFolder modules;  // no Cinvora anywhere
    Image* images[2] = {m_image.get(), nullptr};
    LogCapture log;
    EXPECT_EQ(SaveQuickTime(images, nullptr, &m_info), 1);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].textId, 1001u);
    EXPECT_EQ(m_boxes[0].module, "Mapdeck");
    EXPECT_EQ(m_boxes[0].text, "Can't load Cinvora.dll: check if it was moved accidently!");
    EXPECT_EQ(m_boxes[0].type, 0u);
    EXPECT_FALSE(std::filesystem::exists(m_movie));
    EXPECT_EQ(SaveQuickTimeCubicVR(images, nullptr, &m_info), 1);
    EXPECT_EQ(SaveQuickTimeObjectVR(&m_info), 1);
    EXPECT_EQ(BoxIds(), (std::vector<unsigned>{1001, 1001, 1001}));
}

TEST_F(QuickTimeTest, QuickTimeNotAvailableShows1000)
{
    ModuleFolder modules;
    modules.Add(FakeCinvora());
    qtml::SetInitializeResult(qtmlNotInstalledErr);
    const int before = qtml::InitializeCount();
    Image* images[2] = {m_image.get(), nullptr};
    EXPECT_EQ(SaveQuickTime(images, nullptr, &m_info), 2);
    EXPECT_EQ(qtml::InitializeCount(), before + 1);
    EXPECT_EQ(qtml::LastInitializeFlags(), 0);
    ASSERT_EQ(BoxIds(), std::vector<unsigned>{1000});
    EXPECT_EQ(m_boxes[0].text.rfind("Cannot save to MOV file: You need to download and install", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(m_movie)) << "the writer is not loaded";
    EXPECT_FALSE(IsLoaded(FakeCinvora()));
}

TEST_F(QuickTimeTest, WriterCalledByOrdinalAndFreedAfterEachSave)
{
    ModuleFolder modules;
    modules.Add(FakeCinvora());
    Image* faces[7] = {m_image.get(), m_image.get(), m_image.get(), m_image.get(), m_image.get(), m_image.get(), nullptr};
    RECT rect{1, 2, 10, 7};
    m_settings.quality = 3;
    m_settings.codec = 2;
    EXPECT_EQ(SaveQuickTime(faces, &rect, &m_info), 0);
    EXPECT_EQ(MovieText(), "pano 16x8 second=1 rect=1,2,10,7 quality=3 codec=2");
    EXPECT_FALSE(IsLoaded(FakeCinvora()));
    EXPECT_EQ(SaveQuickTimeCubicVR(faces, nullptr, &m_info), 0);
    EXPECT_EQ(MovieText(), "cubic faces=6 quality=3 codec=2");
    EXPECT_EQ(SaveQuickTimeObjectVR(&m_info), 0);
    EXPECT_EQ(MovieText(), "object quality=3 codec=2");
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_FALSE(IsLoaded(FakeCinvora()));
}

TEST_F(QuickTimeTest, WriterFailureShows1000AndIsReturned)
{
    ModuleFolder modules;
    modules.Add(FakeCinvora());
    Image* images[2] = {m_image.get(), nullptr};
    for (int answer : {1, 7}) {
        m_boxes.clear();
        m_settings.answer = answer;
        EXPECT_EQ(SaveQuickTime(images, nullptr, &m_info), answer);
        EXPECT_EQ(BoxIds(), std::vector<unsigned>{1000});
    }
    // A movie that cannot be written is a failure (1), never a success.
    m_boxes.clear();
    m_settings.answer = 0;
    const std::string blocked = m_dir.file("no/such/folder.mov");
    m_info.path = blocked.c_str();
    EXPECT_EQ(SaveQuickTimeObjectVR(&m_info), 1);
    EXPECT_EQ(BoxIds(), std::vector<unsigned>{1000});
}

TEST_F(QuickTimeTest, MissingEntryShows1000)
{
    ModuleFolder modules;
    modules.Add(FakeCinvoraWithoutOrdinal3());
    LogCapture log;
    EXPECT_EQ(SaveQuickTimeObjectVR(&m_info), 1);
    EXPECT_EQ(BoxIds(), std::vector<unsigned>{1000});
    EXPECT_TRUE(log.contains("has no WriteQT_ObjectMovie")) << log.text();
    EXPECT_FALSE(IsLoaded(FakeCinvoraWithoutOrdinal3()));
    // The other entries of the same library still work.
    Image* images[2] = {m_image.get(), nullptr};
    m_boxes.clear();
    EXPECT_EQ(SaveQuickTime(images, nullptr, &m_info), 0);
    EXPECT_TRUE(m_boxes.empty());
}

}  // namespace
