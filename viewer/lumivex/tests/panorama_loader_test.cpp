// Loading local files: the result codes, plain images in bitmap layout,
// panoramas handed to a world map, the progress protocol of the decoding
// worker and the lifetimes of the job, the worker and the pixels.
#include "viewer/lumivex/panorama_loader.h"

#include "core/logger.h"
#include "imaging/image.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/wnd.h"
#include "viewer/lumivex/tests/lumivex_test_support.h"
#include "worldmap/world_map_base.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

using namespace lumivextest;

namespace {

// Loads through LoadPanorama and keeps what it returned.
struct Loaded {
    int result = -99;
    Image* image = nullptr;
    WorldMapBase* map = nullptr;
    ~Loaded()
    {
        ReleaseImage(image);
        if (map) map->Release();
    }
};

void Load(const std::string& path, Loaded& out, bool readPanorama = true, DecodeProgressProc callback = nullptr,
          void* context = nullptr, DecodeWorker* worker = nullptr)
{
    // Outputs hold stale values: the loader must clear them.
    out.image = reinterpret_cast<Image*>(uintptr_t{0x10});
    out.map = reinterpret_cast<WorldMapBase*>(uintptr_t{0x20});
    out.result = LoadPanorama(path, &out.image, &out.map, readPanorama, callback, context, worker);
}

class PanoramaLoader : public ::testing::Test {
protected:
    std::string Photo(const std::string& name, const std::string& args)
    {
        const std::string path = MakePhotoJpeg(dir, name, args);
        EXPECT_FALSE(path.empty()) << "cjpeg " << args;
        return path;
    }
    std::string WithCommentFile(const std::string& source, const Bytes& comment, const std::string& name)
    {
        const std::string path = dir.file(name);
        EXPECT_TRUE(jpegtest::WriteFileBytes(path, WithComment(jpegtest::ReadFileBytes(source), comment)));
        return path;
    }
    testkit::TempDir dir;
};

TEST_F(PanoramaLoader, ResultCodesOfPathsThatGiveNoImage)
{
    const std::string text = dir.file("notes.jpg");
    std::ofstream(text) << "not a picture";
    const std::string oneByte = dir.file("one.jpg");
    std::ofstream(oneByte) << "\xFF";
    const std::string brokenJpeg = dir.file("broken.jpg");
    std::ofstream(brokenJpeg) << "\xFF\xD8\xFF\xC1\x00\x02garbage";
    struct Case {
        std::string path;
        int result;
    };
    const Case cases[] = {
        {dir.file("missing.jpg"), kLoadCannotOpen},
        {text, kLoadNotJpeg},
        {oneByte, kLoadNotJpeg},
        {brokenJpeg, kLoadUndecodable},
        // Only "http://" and "HTTP://" are addresses: these are local paths.
        {"Http://127.0.0.1:1/x.jpg", kLoadCannotOpen},
        {"ftp://127.0.0.1/x.jpg", kLoadCannotOpen},
    };
    for (const Case& c : cases) {
        Loaded loaded;
        Load(c.path, loaded);
        EXPECT_EQ(loaded.result, c.result) << c.path;
        EXPECT_EQ(loaded.image, nullptr) << c.path;
        EXPECT_EQ(loaded.map, nullptr) << c.path;
    }
}

TEST_F(PanoramaLoader, PlainBaselineImageInBitmapLayoutWithoutWorker)
{
    const std::string path = Photo("plain", "-quality 90");
    ProgressRecorder progress;
    DecodeWorker worker;
    Loaded loaded;
    Load(path, loaded, true, &ProgressRecorder::Callback, &progress, &worker);
    ASSERT_EQ(loaded.result, kLoadPlainImage);
    ASSERT_NE(loaded.image, nullptr);
    EXPECT_EQ(loaded.map, nullptr);
    EXPECT_TRUE(loaded.image->IsBmp());
    EXPECT_EQ(loaded.image->GetRowByte(), 2252) << "750 x 3 bytes padded to 4";
    EXPECT_EQ(loaded.image->m_refCount, 1);
    jpegtest::Decoded reference = jpegtest::DecodeFile(path);
    ASSERT_NE(reference.image, nullptr);
    EXPECT_TRUE(SamePixels(*loaded.image, *reference.image));
    EXPECT_FALSE(worker.Running());
    EXPECT_TRUE(progress.Values().empty()) << "a baseline file reports nothing";
}

TEST_F(PanoramaLoader, DescriptorsMakeAWorldMapThatHoldsThePixels)
{
    const std::string base = Photo("pano", "-quality 90");
    jpegtest::Decoded reference = jpegtest::DecodeFile(base);
    ASSERT_NE(reference.image, nullptr);
    struct Case {
        Bytes comment;
        int equatorWidth;
    };
    const Case cases[] = {
        {Descriptor(2002, 100, 300, 0), 2000},        // long form; W rounded down to a multiple of 4
        {Descriptor(1600, 0, 200, 0, true), 1600},    // short form
    };
    for (const Case& c : cases) {
        const std::string path = WithCommentFile(base, c.comment, "pano-desc.jpg");
        Loaded loaded;
        LogCapture log;
        Load(path, loaded);
        ASSERT_EQ(loaded.result, kLoadPanorama) << log.text();
        ASSERT_NE(loaded.map, nullptr);
        ASSERT_NE(loaded.image, nullptr);
        EXPECT_EQ(loaded.map->GetWidth(), c.equatorWidth);
        Image* data = loaded.map->GetDataImage();
        ASSERT_NE(data, nullptr);
        EXPECT_TRUE(SamePixels(*data, *reference.image));
        ReleaseImage(data);

        Loaded headerOnly;
        Load(path, headerOnly, false);
        EXPECT_EQ(headerOnly.result, kLoadPanorama);
        EXPECT_EQ(headerOnly.image, nullptr);
        EXPECT_EQ(headerOnly.map, nullptr);
    }
}

// Descriptors that cannot describe a map, and comments that are no
// descriptor, give a plain image.
TEST_F(PanoramaLoader, UnusableDescriptorsGiveAPlainImage)
{
    const std::string base = Photo("plainish", "-quality 80");
    const Bytes comments[] = {
        Descriptor(0, 0, 0, 0),          // no equator width
        Descriptor(2000, 2000, 0, 0),    // column outside the map
        Descriptor(2000, 0, 1001, 0),    // row below the south pole
        Descriptor(2000, -4, 0, 0),      // negative column
        Descriptor(2000, 0, 0, 7),       // unknown map type
        Bytes{'k', 'q', 'v', 'y', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10},  // 14 bytes, other magic
    };
    for (const Bytes& comment : comments) {
        Loaded loaded;
        Load(WithCommentFile(base, comment, "bad-desc.jpg"), loaded);
        EXPECT_EQ(loaded.result, kLoadPlainImage);
        EXPECT_EQ(loaded.map, nullptr);
        ASSERT_NE(loaded.image, nullptr);
        EXPECT_TRUE(loaded.image->IsBmp());
    }
}

// The progress values a progressive file gives: the passes counted from its
// scan list, and the twentieths simulated from its frame and scan headers
// (first scan excluded: the loader decodes it before the worker starts).
struct ExpectedProgress {
    int passes = 0;
    int twentieths = 0;
};

ExpectedProgress Expect(const Bytes& file)
{
    ExpectedProgress e;
    const std::vector<jpegtest::Segment> segments = jpegtest::SplitSegments(file);
    const int sof = jpegtest::FindSegment(segments, 0xC2);
    if (sof < 0) return e;
    const Bytes& f = segments[sof].payload;
    const int height = (f[1] << 8) | f[2], width = (f[3] << 8) | f[4], n = f[5];
    int id[3], h[3], v[3], hMax = 1, vMax = 1;
    for (int i = 0; i < n; ++i) {
        id[i] = f[6 + 3 * i];
        h[i] = n == 1 ? 1 : f[7 + 3 * i] >> 4;
        v[i] = n == 1 ? 1 : f[7 + 3 * i] & 15;
        hMax = std::max(hMax, h[i]);
        vMax = std::max(vMax, v[i]);
    }
    const int64_t mcusAcross = (width + 8 * hMax - 1) / (8 * hMax), mcusDown = (height + 8 * vMax - 1) / (8 * vMax);
    int64_t blocks = 0;
    for (int i = 0; i < n; ++i) blocks += h[i] * v[i] * mcusAcross * mcusDown;
    const int64_t total = blocks * 512, step = std::max<int64_t>(1, total / 20);
    int64_t accumulator = total % step;
    int passLeft = n;
    bool first = true;
    for (const jpegtest::Segment& s : segments) {
        if (s.marker != 0xDA) continue;
        const int count = s.payload[0];
        const int ss = s.payload[1 + 2 * count], se = s.payload[2 + 2 * count];
        const int ah = s.payload[3 + 2 * count] >> 4, al = s.payload[3 + 2 * count] & 15;
        if (first) {
            first = false;
            continue;
        }
        const int64_t weight = std::max(1, se - ss + 1) * std::max(1, ah == 0 ? 8 - al : 1);
        int rows, perRow;
        if (count == 1) {
            int c = 0;
            while (id[c] != s.payload[1]) ++c;
            rows = ((height * v[c] + vMax - 1) / vMax + 7) / 8;
            perRow = ((width * h[c] + hMax - 1) / hMax + 7) / 8;
        } else {
            rows = static_cast<int>(mcusDown);
            perRow = 0;
            for (int k = 0; k < count; ++k) {
                int c = 0;
                while (id[c] != s.payload[1 + 2 * k]) ++c;
                perRow += h[c] * v[c];
            }
            perRow *= static_cast<int>(mcusAcross);
        }
        for (int r = 0; r < rows; ++r) {
            accumulator += perRow * weight;
            while (accumulator >= step) {
                accumulator -= step;
                ++e.twentieths;
            }
        }
        passLeft -= count;
        if (passLeft <= 0) {
            passLeft = n;
            ++e.passes;
        }
    }
    return e;
}

TEST_F(PanoramaLoader, ProgressiveFileReportsPassesTwentiethsAndTheEnd)
{
    for (const char* args : {"-progressive -quality 90", "-progressive -grayscale", "-progressive -sample 1x1"}) {
        const std::string path = Photo("progressive", args);
        const Bytes bytes = jpegtest::ReadFileBytes(path);
        ProgressRecorder progress;
        Loaded loaded;
        {
            DecodeWorker worker;
            Load(path, loaded, true, &ProgressRecorder::Callback, &progress, &worker);
            ASSERT_EQ(loaded.result, kLoadPlainImage) << args;
            worker.Wait();
        }
        const std::vector<int> values = progress.Values();
        const ExpectedProgress e = Expect(bytes);
        ASSERT_FALSE(values.empty());
        EXPECT_EQ(values.back(), 100) << args;
        EXPECT_EQ(std::count(values.begin(), values.end(), 100), 1);
        EXPECT_EQ(std::count(values.begin(), values.end(), 0), e.passes) << args;
        EXPECT_EQ(std::count(values.begin(), values.end(), 5), e.twentieths) << args;
        // A whole file is about twenty twentieths, its first scan excepted.
        EXPECT_GE(e.twentieths, 15) << args;
        EXPECT_LE(e.twentieths, 21) << args;
        EXPECT_EQ(progress.ZeroArguments(), 0);
        if (std::string(args) == "-progressive -quality 90") {
            EXPECT_EQ(ScanComponentCounts(bytes).size(), 10u);
            EXPECT_GE(e.passes, 3);
        }
        // The finished image is the file decoder's; the worker let go of it.
        EXPECT_EQ(loaded.image->m_refCount, 1);
        jpegtest::Decoded reference = jpegtest::DecodeFile(path);
        ASSERT_NE(reference.image, nullptr);
        EXPECT_TRUE(SamePixels(*loaded.image, *reference.image)) << args;
    }
}

// Truncated progressive files: the worker ends with 100 and the pixels of
// the passes decoded so far stay.
TEST_F(PanoramaLoader, TruncatedProgressiveFileEndsWithTheEndMessage)
{
    const Bytes whole = jpegtest::ReadFileBytes(Photo("cut", "-progressive"));
    for (size_t cut = whole.size() / 3; cut < whole.size(); cut += whole.size() / 7) {
        const std::string path = dir.file("cut-off.jpg");
        ASSERT_TRUE(jpegtest::WriteFileBytes(path, Bytes(whole.begin(), whole.begin() + static_cast<long>(cut))));
        ProgressRecorder progress;
        Loaded loaded;
        {
            DecodeWorker worker;
            Load(path, loaded, true, &ProgressRecorder::Callback, &progress, &worker);
        }
        ASSERT_EQ(loaded.result, kLoadPlainImage) << cut;
        ASSERT_NE(loaded.image, nullptr);
        const std::vector<int> values = progress.Values();
        ASSERT_FALSE(values.empty());
        EXPECT_EQ(values.back(), 100) << cut;
    }
}

// The owner stops the worker before it lets the pixels go: releasing the
// world map right after the load, or destroying the owner, while the worker
// decodes a large progressive panorama.
TEST_F(PanoramaLoader, OwnerStopsTheWorkerBeforeReleasingTheMap)
{
    ASSERT_TRUE(testkit::RequireTool("djpeg"));
    const std::string source = testkit::TestData("skimage-tutorials-pano/DFM_4209.jpg").string();
    const std::string ppm = dir.file("full.ppm");
    ASSERT_EQ(testkit::Run("djpeg -ppm -outfile '" + ppm + "' '" + source + "'").status, 0);
    const std::string large = dir.file("large.jpg");
    ASSERT_EQ(testkit::Run("cjpeg -progressive -outfile '" + large + "' '" + ppm + "'").status, 0);
    const std::string path = WithCommentFile(large, Descriptor(6000, 0, 500, 0), "large-pano.jpg");

    for (int round = 0; round < 3; ++round) {
        ProgressRecorder progress;
        {
            struct Owner {
                DecodeWorker worker;
                WorldMapBase* map = nullptr;
                ~Owner()
                {
                    worker.Stop();
                    if (map) map->Release();
                }
            } owner;
            Image* image = nullptr;
            ASSERT_EQ(LoadPanorama(path, &image, &owner.map, true, &ProgressRecorder::Callback, &progress,
                                   &owner.worker),
                      kLoadPanorama);
            EXPECT_EQ(image, nullptr) << "the worker holds the image of a progressive panorama";
            ASSERT_NE(owner.map, nullptr);
            if (round == 1) {
                // A new panorama replaces the map: stop, then release.
                owner.worker.Stop();
                EXPECT_FALSE(owner.worker.Running());
                owner.map->Release();
                owner.map = nullptr;
            }
            // Round 0 and 2: the owner goes away mid-decode.
        }
        const std::vector<int> values = progress.Values();
        ASSERT_FALSE(values.empty());
        EXPECT_EQ(values.back(), 100);
    }
}

// Every pass of a progressive file rewrites every row of the image, so the
// owner's thread reads the pixels only while it holds them: the worker goes
// on decoding scans (its twentieths still come) but writes no pass until
// they are let go, and then ends with the same messages and the same pixels
// as a decode nobody held up (also run under the thread checker).
TEST_F(PanoramaLoader, NoPassIsWrittenWhileTheOwnerHoldsThePixels)
{
    ASSERT_TRUE(testkit::RequireTool("djpeg"));
    const std::string source = testkit::TestData("skimage-tutorials-pano/DFM_4209.jpg").string();
    const std::string ppm = dir.file("full.ppm");
    ASSERT_EQ(testkit::Run("djpeg -ppm -outfile '" + ppm + "' '" + source + "'").status, 0);
    const std::string path = dir.file("held.jpg");
    ASSERT_EQ(testkit::Run("cjpeg -progressive -outfile '" + path + "' '" + ppm + "'").status, 0);

    // The messages of a decode nobody holds up.
    ProgressRecorder free;
    {
        Loaded loaded;
        DecodeWorker worker;
        Load(path, loaded, true, &ProgressRecorder::Callback, &free, &worker);
        ASSERT_EQ(loaded.result, kLoadPlainImage);
        worker.Wait();
    }
    const std::vector<int> expected = free.Values();
    ASSERT_GE(std::count(expected.begin(), expected.end(), 0), 3);

    ProgressRecorder progress;
    Loaded loaded;
    DecodeWorker worker;
    Load(path, loaded, true, &ProgressRecorder::Callback, &progress, &worker);
    ASSERT_EQ(loaded.result, kLoadPlainImage);
    ASSERT_NE(loaded.image, nullptr);
    const Image& image = *loaded.image;
    const size_t bytes = static_cast<size_t>(image.GetRowByte()) * static_cast<size_t>(image.GetHeight());
    {
        auto held = worker.LockPixels();
        ASSERT_TRUE(held.owns_lock());
        const Bytes before(image.GetData(), image.GetData() + bytes);
        const auto count = [&](int value) {
            const std::vector<int> v = progress.Values();
            return std::count(v.begin(), v.end(), value);
        };
        const long passes = count(0);
        // The twentieths the worker reports before the next pass is complete.
        long twentieths = 0;
        long zeros = 0;
        bool nextPass = false;
        for (int v : expected) {
            if (v == 0 && ++zeros > passes) {
                nextPass = true;
                break;
            }
            twentieths += v == 5;
        }
        ASSERT_TRUE(nextPass) << "the worker ended before the pixels were held";
        // The worker gets through the scans of the next pass: only its write
        // waits.
        using Clock = std::chrono::steady_clock;
        const Clock::time_point waitUntil = Clock::now() + std::chrono::minutes(2);
        while (count(5) < twentieths && Clock::now() < waitUntil) std::this_thread::yield();
        ASSERT_GE(count(5), twentieths);
        // It stays at the write: no pass message, no pixel changed.
        const Clock::time_point holdUntil = Clock::now() + std::chrono::milliseconds(300);
        while (Clock::now() < holdUntil) {
            ASSERT_EQ(count(0), passes);
            ASSERT_TRUE(std::equal(before.begin(), before.end(), image.GetData()));
            std::this_thread::yield();
        }
        EXPECT_TRUE(worker.Running());
    }
    worker.Wait();
    EXPECT_EQ(progress.Values(), expected);
    jpegtest::Decoded reference = jpegtest::DecodeFile(path);
    ASSERT_NE(reference.image, nullptr);
    EXPECT_TRUE(SamePixels(image, *reference.image));
}

// PostDecodeProgress posts WM_USER+1 with wParam 0 to the control's window.
class ProgressWindow : public CWnd {
public:
    std::vector<std::pair<WPARAM, LPARAM>> seen;
    LRESULT OnProgress(WPARAM w, LPARAM l)
    {
        seen.emplace_back(w, l);
        return 0;
    }
    const win::MessageMap* GetMessageMap() const override
    {
        static const win::MessageMap map(CWnd::GetMessageMap(),
                                         {win::on::Message(WM_USER + 1, &ProgressWindow::OnProgress)});
        return &map;
    }
};

class PanoramaLoaderWindow : public WinTest {};

TEST_F(PanoramaLoaderWindow, WorkerPostsProgressToTheWindow)
{
    testkit::TempDir dir;
    const std::string path = MakePhotoJpeg(dir, "posted", "-progressive");
    ASSERT_FALSE(path.empty());
    ProgressWindow window;
    ASSERT_TRUE(window.CreateEx(0, nullptr, "control", WS_OVERLAPPED, RECT{0, 0, 100, 100}, nullptr, 0));
    Image* image = nullptr;
    DecodeWorker worker;
    ASSERT_EQ(LoadPanorama(path, &image, nullptr, true, &PostDecodeProgress, &window, &worker), kLoadPlainImage);
    ASSERT_TRUE(win::PumpUntil(
        [&] { return !window.seen.empty() && window.seen.back().second == 100; }, 10000));
    worker.Wait();
    const ExpectedProgress e = Expect(jpegtest::ReadFileBytes(path));
    int zeros = 0, fives = 0;
    for (const auto& [w, l] : window.seen) {
        EXPECT_EQ(w, 0u);
        zeros += l == 0;
        fives += l == 5;
    }
    EXPECT_EQ(zeros, e.passes);
    EXPECT_EQ(fives, e.twentieths);
    ReleaseImage(image);
}

}  // namespace
