// Loading over HTTP from a server the test runs on 127.0.0.1: the request on
// the wire, the answers the loader meets (200, chunked, 302, 401, 404, a
// dropped or silent connection) and a progressive file refined while it
// arrives.
#include "viewer/lumivex/panorama_loader.h"

#include "core/logger.h"
#include "imaging/image.h"
#include "testkit/local_http_server.h"
#include "platform/wininet/wininet.h"
#include "viewer/lumivex/tests/lumivex_test_support.h"
#include "worldmap/world_map_base.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <set>

using namespace lumivextest;

namespace {

std::string AsString(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

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

class PanoramaHttp : public ::testing::Test {
protected:
    void SetUp() override
    {
        baselinePath = MakePhotoJpeg(dir, "web", "-quality 85");
        ASSERT_FALSE(baselinePath.empty());
        baseline = jpegtest::ReadFileBytes(baselinePath);
        decoded = std::make_unique<jpegtest::Decoded>(jpegtest::DecodeFile(baselinePath));
        reference = decoded->image;
        ASSERT_NE(reference, nullptr);
    }
    void TearDown() override
    {
        SetInternetPasswordPrompt(nullptr);
        SetInternetTimeouts(10000, 30000);
    }
    testkit::TempDir dir;
    std::string baselinePath;
    Bytes baseline;
    std::unique_ptr<jpegtest::Decoded> decoded;
    Image* reference = nullptr;  // the file decoder's picture
};

testhttp::Reply Body(const Bytes& bytes, testhttp::Reply::Framing framing = testhttp::Reply::kContentLength)
{
    testhttp::Reply r;
    r.headers = {"Content-Type: image/jpeg"};
    r.body = AsString(bytes);
    r.framing = framing;
    return r;
}

TEST_F(PanoramaHttp, BaselineOverEveryFramingEqualsTheFileLoad)
{
    for (auto framing : {testhttp::Reply::kContentLength, testhttp::Reply::kChunked, testhttp::Reply::kClose}) {
        testhttp::LocalServer server([&](const testhttp::Request&) {
            testhttp::Reply r = Body(baseline, framing);
            r.pieceSize = 5000;
            return r;
        });
        ASSERT_TRUE(server.Ok());
        Loaded loaded;
        loaded.result = LoadPanorama(server.Url("/pano/web.jpg"), &loaded.image, &loaded.map, true, nullptr, nullptr);
        ASSERT_EQ(loaded.result, kLoadPlainImage) << "framing " << framing;
        ASSERT_NE(loaded.image, nullptr);
        EXPECT_TRUE(loaded.image->IsBmp());
        EXPECT_TRUE(SamePixels(*loaded.image, *reference));

        // What went out: one GET of the object, the two added headers, and
        // the added agent name in place of the session's.
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].method, "GET");
        EXPECT_EQ(requests[0].target, "/pano/web.jpg");
        EXPECT_EQ(requests[0].Values("Accept"), std::vector<std::string>{"image/jpeg"});
        EXPECT_EQ(requests[0].Values("User-Agent"), std::vector<std::string>{"Quorvane"});
        EXPECT_TRUE(requests[0].Values("Authorization").empty());
    }
}

TEST_F(PanoramaHttp, PanoramaDescriptorGivesAWorldMap)
{
    const Bytes pano = WithComment(baseline, Descriptor(2000, 0, 250, 0));
    testhttp::LocalServer server([&](const testhttp::Request&) { return Body(pano); });
    Loaded loaded;
    loaded.result = LoadPanorama(server.Url("/p.jpg"), &loaded.image, &loaded.map, true, nullptr, nullptr);
    ASSERT_EQ(loaded.result, kLoadPanorama);
    ASSERT_NE(loaded.map, nullptr);
    Image* data = loaded.map->GetDataImage();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(SamePixels(*data, *reference));
    ReleaseImage(data);
}

TEST_F(PanoramaHttp, AnswersThatAreNoJpeg)
{
    struct Case {
        const char* what;
        int status;
        std::vector<std::string> headers;
        const char* body;
        int result;
    };
    const Case cases[] = {
        {"404 page", 404, {"Content-Type: text/html"}, "<html><body>Not found</body></html>", kLoadUndecodable},
        // The redirect is not followed: its own body reaches the decoder.
        {"302 not followed", 302, {"Location: /web.jpg", "Content-Type: text/html"}, "<a href=/web.jpg>moved</a>",
         kLoadUndecodable},
        {"empty 200", 200, {}, "", kLoadUndecodable},
    };
    for (const Case& c : cases) {
        testhttp::LocalServer server([&](const testhttp::Request& request) {
            if (request.target == "/web.jpg") return Body(baseline);
            testhttp::Reply r;
            r.status = c.status;
            r.reason = "Whatever";
            r.headers = c.headers;
            r.body = c.body;
            return r;
        });
        Loaded loaded;
        loaded.result = LoadPanorama(server.Url("/x.jpg"), &loaded.image, &loaded.map, true, nullptr, nullptr);
        EXPECT_EQ(loaded.result, c.result) << c.what;
        EXPECT_EQ(loaded.image, nullptr) << c.what;
        EXPECT_EQ(server.Requests().size(), 1u) << c.what;
    }
}

TEST_F(PanoramaHttp, AddressesThatAreNotRead)
{
    testhttp::LocalServer server([&](const testhttp::Request&) { return Body(baseline); });
    const std::string hostPort = "127.0.0.1:" + std::to_string(server.Port());
    const std::string addresses[] = {
        "Http://" + hostPort + "/x.jpg",   // not an address prefix: a local path
        "hTTP://" + hostPort + "/x.jpg",
        "ftp://" + hostPort + "/x.jpg",
        "http://127.0.0.1:1/x.jpg",        // nobody listens
        "http://" + hostPort + ":x/x.jpg", // no port
    };
    for (const std::string& address : addresses) {
        Loaded loaded;
        loaded.result = LoadPanorama(address, &loaded.image, &loaded.map, true, nullptr, nullptr);
        EXPECT_EQ(loaded.result, kLoadCannotOpen) << address;
    }
    EXPECT_TRUE(server.Requests().empty());
    // The proper form of the same address is read.
    Loaded loaded;
    loaded.result = LoadPanorama("HTTP://" + hostPort + "/x.jpg", &loaded.image, &loaded.map, true, nullptr, nullptr);
    EXPECT_EQ(loaded.result, kLoadPlainImage);
}

TEST_F(PanoramaHttp, PasswordDialogOnceThenRetryWithCredentialsOrCancel)
{
    testhttp::LocalServer server([&](const testhttp::Request& request) {
        const auto auth = request.Values("Authorization");
        if (auth.size() == 1 && auth[0] == "Basic dmlld2VyOnBhbm8=") return Body(baseline);  // viewer:pano
        testhttp::Reply r;
        r.status = 401;
        r.reason = "Unauthorized";
        r.headers = {"WWW-Authenticate: Basic realm=\"panoramas\""};
        r.body = "denied";
        return r;
    });
    for (bool retry : {false, true}) {
        int asked = 0;
        SetInternetPasswordPrompt([&](const std::string&) {
            ++asked;
            return InternetPasswordAnswer{retry, "viewer", "pano"};
        });
        Loaded loaded;
        loaded.result = LoadPanorama(server.Url("/secret.jpg"), &loaded.image, &loaded.map, true, nullptr, nullptr);
        EXPECT_EQ(asked, 1);
        if (retry) {
            ASSERT_EQ(loaded.result, kLoadPlainImage);
            EXPECT_TRUE(SamePixels(*loaded.image, *reference));
        } else {
            EXPECT_EQ(loaded.result, kLoadCannotOpen);
        }
    }
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u) << "cancel: one request; retry: two";
    EXPECT_TRUE(requests[0].Values("Authorization").empty());
    EXPECT_EQ(requests[2].Values("Authorization"), std::vector<std::string>{"Basic dmlld2VyOnBhbm8="});
    EXPECT_EQ(requests[2].Values("User-Agent"), std::vector<std::string>{"Quorvane"});
    EXPECT_EQ(requests[2].Values("Accept"), std::vector<std::string>{"image/jpeg"});

    // Headless without a prompt: the question is cancelled.
    SetInternetPasswordPrompt(nullptr);
    LogCapture log;
    Loaded loaded;
    loaded.result = LoadPanorama(server.Url("/secret.jpg"), &loaded.image, &loaded.map, true, nullptr, nullptr);
    EXPECT_EQ(loaded.result, kLoadCannotOpen);
    EXPECT_TRUE(log.contains("ERROR InternetErrorDlg"));
}

TEST_F(PanoramaHttp, SilentServerGivesMinusTwoWithinTheTimeout)
{
    SetInternetTimeouts(2000, 700);
    testhttp::LocalServer server([](const testhttp::Request&) {
        testhttp::Reply r;
        r.silent = true;
        return r;
    });
    const auto start = std::chrono::steady_clock::now();
    Loaded loaded;
    loaded.result = LoadPanorama(server.Url("/x.jpg"), &loaded.image, &loaded.map, true, nullptr, nullptr);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(loaded.result, kLoadCannotOpen);
    EXPECT_LT(waited, std::chrono::milliseconds(2500));
}

// Records, on the worker's thread, a digest of the image after every pass.
struct Refinement {
    std::atomic<Image*> image{nullptr};
    std::mutex lock;
    std::vector<int> values;
    std::set<uint64_t> digests;
    int passesSeen = 0;

    static void Callback(void* context, int, int value)
    {
        auto* self = static_cast<Refinement*>(context);
        std::lock_guard<std::mutex> guard(self->lock);
        self->values.push_back(value);
        Image* image = self->image.load();
        if (value != 0 || !image) return;
        ++self->passesSeen;
        uint64_t digest = 1469598103934665603ull;
        for (int y = 0; y < image->GetHeight(); ++y) {
            const uint8_t* row = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
            for (int x = 0; x < image->GetWidth() * image->GetChannels(); ++x) digest = (digest ^ row[x]) * 1099511628211ull;
        }
        self->digests.insert(digest);
    }
};

TEST_F(PanoramaHttp, ProgressiveFileArrivingSlowlyIsRefinedPassByPass)
{
    const std::string path = MakePhotoJpeg(dir, "slow", "-progressive -quality 85");
    const Bytes progressive = jpegtest::ReadFileBytes(path);
    testhttp::LocalServer server([&](const testhttp::Request&) {
        testhttp::Reply r = Body(progressive, testhttp::Reply::kChunked);
        r.pieceSize = 4096;
        r.pauseMs = 15;
        return r;
    });
    Refinement refinement;
    DecodeWorker worker;
    Loaded loaded;
    loaded.result = LoadPanorama(server.Url("/slow.jpg"), &loaded.image, &loaded.map, true, &Refinement::Callback,
                                 &refinement, &worker);
    ASSERT_EQ(loaded.result, kLoadPlainImage);
    refinement.image = loaded.image;
    worker.Wait();
    std::lock_guard<std::mutex> guard(refinement.lock);
    ASSERT_FALSE(refinement.values.empty());
    EXPECT_EQ(refinement.values.back(), 100);
    EXPECT_GE(refinement.passesSeen, 2);
    EXPECT_EQ(refinement.digests.size(), static_cast<size_t>(refinement.passesSeen)) << "every pass changes the image";
    jpegtest::Decoded whole = jpegtest::DecodeFile(path);
    ASSERT_NE(whole.image, nullptr);
    EXPECT_TRUE(SamePixels(*loaded.image, *whole.image));
}

// The connection drops in the middle of a progressive body: the worker ends
// with 100 and the passes decoded before stay in the image.
TEST_F(PanoramaHttp, DroppedConnectionEndsTheWorkerAndKeepsThePixels)
{
    const std::string path = MakePhotoJpeg(dir, "drop", "-progressive -quality 85");
    const Bytes progressive = jpegtest::ReadFileBytes(path);
    testhttp::LocalServer server([&](const testhttp::Request&) {
        testhttp::Reply r = Body(progressive);
        r.pieceSize = 8192;
        r.pauseMs = 10;
        r.dropAfter = progressive.size() * 2 / 3;
        return r;
    });
    ProgressRecorder progress;
    DecodeWorker worker;
    Loaded loaded;
    LogCapture log;
    loaded.result = LoadPanorama(server.Url("/drop.jpg"), &loaded.image, &loaded.map, true,
                                 &ProgressRecorder::Callback, &progress, &worker);
    ASSERT_EQ(loaded.result, kLoadPlainImage);
    worker.Wait();
    const std::vector<int> values = progress.Values();
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(values.back(), 100);
    EXPECT_TRUE(log.contains("ERROR HttpByteStream::Refill"));
    // The first pass at least is in the image: it is close to the whole
    // picture, not blank.
    jpegtest::Decoded whole = jpegtest::DecodeFile(path);
    ASSERT_NE(whole.image, nullptr);
    double sum = 0;
    const int rowBytes = whole.image->GetWidth() * whole.image->GetChannels();
    for (int y = 0; y < whole.image->GetHeight(); ++y) {
        const uint8_t* a = loaded.image->GetData() + static_cast<size_t>(y) * loaded.image->GetRowByte();
        const uint8_t* b = whole.image->GetData() + static_cast<size_t>(y) * whole.image->GetRowByte();
        for (int x = 0; x < rowBytes; ++x) sum += std::abs(a[x] - b[x]);
    }
    const double mean = sum / (double(rowBytes) * whole.image->GetHeight());
    EXPECT_GT(mean, 0.0) << "the cut file cannot decode whole";
    EXPECT_LT(mean, 8.0);
    EXPECT_EQ(loaded.image->m_refCount, 1);
}

}  // namespace
