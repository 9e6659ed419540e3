// The real matcher programs on real photographs, through the shared channel
// as the search runs them: two views rendered from an equirectangular
// panorama with a known turn (their true homography is the oracle), the
// consecutive pairs of two hand-held series (the application's own RANSAC
// filter keeps them), the search over a chain of four horizon photographs,
// and Nerrow's all-pairs search.
#include "app/control/image_chain.h"
#include "app/control/progress_dlg.h"
#include "app/matching/auto_markers.h"
#include "app/matching/match_channel.h"
#include "app/matching/pair_markers.h"
#include "app/matching/ransac_filter.h"
#include "imaging/image.h"
#include "platform/utilkit/log_base.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"
#include "testkit/testkit.h"
#include "worldmap/image_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Data(const std::string& name) { return std::string(FENDRAKE_TESTDATA_DIR) + "/" + name; }

struct ImageDeleter {
    void operator()(Image* image) const { ReleaseImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

ImagePtr Load(const std::string& path)
{
    Image* image = nullptr;
    WorldMap* map = nullptr;
    const int status = LoadImageWMap(path.c_str(), &image, &map, true);
    if (map) map->Release();
    if (status != IMGFILE_PLAIN) {
        ReleaseImage(image);
        return nullptr;
    }
    return ImagePtr(image);
}

// A pinhole view of an equirectangular panorama: yaw turns to the right,
// y grows downwards, f in pixels, principal point in the middle.
struct View {
    double yawDeg;
    double f;
    int width, height;
    // The ray through pixel (x, y) in world coordinates (x right, y down, z ahead).
    void Ray(double x, double y, double* wx, double* wy, double* wz) const
    {
        const double cx = (x - width / 2.0) / f, cy = (y - height / 2.0) / f;
        const double a = yawDeg * M_PI / 180.0;
        *wx = std::cos(a) * cx + std::sin(a);
        *wy = cy;
        *wz = -std::sin(a) * cx + std::cos(a);
    }
    // Where a world ray lands; false behind the camera.
    bool Project(double wx, double wy, double wz, double* x, double* y) const
    {
        const double a = yawDeg * M_PI / 180.0;
        const double cx = std::cos(a) * wx - std::sin(a) * wz;
        const double cz = std::sin(a) * wx + std::cos(a) * wz;
        if (cz <= 1e-6) return false;
        *x = f * cx / cz + width / 2.0;
        *y = f * wy / cz + height / 2.0;
        return true;
    }
};

// Renders `view` from the panorama (3 channels, bilinear).
ImagePtr Render(const Image& pano, const View& view)
{
    ImagePtr out(new Image(view.width, view.height));
    const int pw = pano.GetWidth(), ph = pano.GetHeight(), c = pano.GetChannels();
    for (int y = 0; y < view.height; ++y) {
        unsigned char* row = out->GetData() + static_cast<size_t>(y) * out->GetRowByte();
        for (int x = 0; x < view.width; ++x) {
            double wx, wy, wz;
            view.Ray(x, y, &wx, &wy, &wz);
            const double lon = std::atan2(wx, wz), lat = std::atan2(wy, std::hypot(wx, wz));
            const double u = (lon / (2 * M_PI) + 0.5) * pw - 0.5, v = (lat / M_PI + 0.5) * ph - 0.5;
            const int u0 = static_cast<int>(std::floor(u)), v0 = std::clamp(static_cast<int>(std::floor(v)), 0, ph - 2);
            const double fu = u - u0, fv = std::clamp(v - v0, 0.0, 1.0);
            for (int ch = 0; ch < 3; ++ch) {
                const auto sample = [&](int uu, int vv) {
                    uu = ((uu % pw) + pw) % pw;
                    return static_cast<double>(pano.GetData()[static_cast<size_t>(vv) * pano.GetRowByte() + uu * c + ch]);
                };
                const double s = (1 - fv) * ((1 - fu) * sample(u0, v0) + fu * sample(u0 + 1, v0)) +
                                 fv * ((1 - fu) * sample(u0, v0 + 1) + fu * sample(u0 + 1, v0 + 1));
                row[x * 3 + ch] = static_cast<unsigned char>(std::lround(std::clamp(s, 0.0, 255.0)));
            }
        }
    }
    return out;
}

class RealMatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The matchers lie beside this test program, as beside the application.
        ASSERT_TRUE(std::filesystem::exists(LogBase::GetAppDir0() + "/Hollet")) << "Hollet was not built";
        ASSERT_TRUE(std::filesystem::exists(LogBase::GetAppDir0() + "/Nerrow")) << "Nerrow was not built";
    }
    // A chain of frames for the files, each with its image loaded.
    void MakeChain(const std::vector<std::string>& files)
    {
        chain = std::make_unique<ImageChain>();
        for (const std::string& file : files) {
            auto frame = std::make_unique<ImageFrame>();
            frame->SetName(file.c_str());
            ImagePtr image = Load(file);
            ASSERT_NE(image, nullptr) << file;
            frame->SetImage(image.get(), false);
            chain->Append(frame.get());
            frames.push_back(frame.get());
            owned.push_back(std::move(frame));
        }
    }
    // Runs the search; its output is kept out of the test log.
    int Search(bool sequential)
    {
        testing::internal::CaptureStdout();
        const int result = FMatchAllImages(chain.get(), 1, nullptr, sequential, false);
        lastOutput = testing::internal::GetCapturedStdout();
        return result;
    }
    // The 'Fa' sets of (a, b) as pairs of points.
    static std::vector<std::pair<POINT2, POINT2>> Pairs(ImageFrame* a, ImageFrame* b)
    {
        std::vector<std::pair<POINT2, POINT2>> out;
        Marker* ma = nullptr;
        Marker* mb = nullptr;
        if (!a->GetMarkerFa(b, &ma, &mb) || !ma || !mb) return out;
        EXPECT_EQ(ma->GetNumbOfMarker(), mb->GetNumbOfMarker());
        for (int i = 0; i < std::min(ma->GetNumbOfMarker(), mb->GetNumbOfMarker()); ++i)
            out.push_back({{ma->GetMarker()[i].x, ma->GetMarker()[i].y}, {mb->GetMarker()[i].x, mb->GetMarker()[i].y}});
        return out;
    }
    // How many pairs of (a, b) the application's RANSAC filter keeps at 2 px,
    // each checked against the model it found.
    static int KeptByRansac(ImageFrame* a, ImageFrame* b)
    {
        Marker* ma = nullptr;
        Marker* mb = nullptr;
        if (!a->GetMarkerFa(b, &ma, &mb)) return 0;
        Marker outA, outB;
        RansacFilter filter;
        testing::internal::CaptureStdout();
        const bool ok = filter.FilterAtThreshold(ma, mb, &outA, &outB, 2.0f, 6);
        testing::internal::GetCapturedStdout();
        if (!ok) return 0;
        int kept = 0;
        for (int i = 0; i < outA.GetNumbOfMarker(); ++i) {
            double x1, y1;
            filter.Transfer(outA.GetMarker()[i].x, outA.GetMarker()[i].y, &x1, &y1);
            if (std::hypot(x1 - outB.GetMarker()[i].x, y1 - outB.GetMarker()[i].y) < 2.0) ++kept;
        }
        return kept;
    }

    std::unique_ptr<ImageChain> chain;
    std::vector<ImageFrame*> frames;
    std::vector<std::unique_ptr<ImageFrame>> owned;
    std::string lastOutput;
    testkit::TempDir dir;
};

TEST_F(RealMatcherTest, RenderedViewsMatchThroughTheirTrueHomography)
{
    ImagePtr pano = Load(Data("pannellum/examplepano.jpg"));
    ASSERT_NE(pano, nullptr);
    const double f = 400.0 / std::tan(30.0 * M_PI / 180.0);  // 60 degrees across 800 pixels
    const View v0{0.0, f, 800, 600}, v1{35.0, f, 800, 600};
    std::vector<std::string> files;
    for (const View* v : {&v0, &v1}) {
        ImagePtr view = Render(*pano, *v);
        files.push_back(dir.file("view " + std::to_string(files.size()) + ".jpg"));
        QUORVANE_FileInfo info;
        info.path = files.back().c_str();
        ASSERT_EQ(SaveJpeg(view.get(), nullptr, &info), 0);
    }
    pano.reset();
    MakeChain(files);
    ASSERT_EQ(Search(true), 0) << lastOutput;

    const std::vector<std::pair<POINT2, POINT2>> pairs = Pairs(frames[0], frames[1]);
    ASSERT_GE(pairs.size(), 50u) << lastOutput;
    int close = 0;
    for (const auto& [p, q] : pairs) {
        double wx, wy, wz, x1, y1;
        v0.Ray(p.x, p.y, &wx, &wy, &wz);
        if (v1.Project(wx, wy, wz, &x1, &y1) && std::hypot(x1 - q.x, y1 - q.y) <= 1.5) ++close;
    }
    EXPECT_GE(close * 10, static_cast<int>(pairs.size()) * 9) << close << " of " << pairs.size();
    std::printf("rendered views: %d of %zu pairs within 1.5 px of the true homography\n", close, pairs.size());

    // The pair's preparation keeps only true correspondences.
    testing::internal::CaptureStdout();
    const bool prepared = FilterPairAutoMarkers(frames[0], frames[1], 1, nullptr, 4, 1.0f, 1.0f, false);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(prepared) << out;
    Marker* autoA = nullptr;
    Marker* autoB = nullptr;
    ASSERT_TRUE(frames[0]->GetAutoMarker(frames[1], &autoA, &autoB));
    ASSERT_GE(autoA->GetNumbOfMarker(), 4);
    for (int i = 0; i < autoA->GetNumbOfMarker(); ++i) {
        double wx, wy, wz, x1, y1;
        v0.Ray(autoA->GetMarker()[i].x, autoA->GetMarker()[i].y, &wx, &wy, &wz);
        ASSERT_TRUE(v1.Project(wx, wy, wz, &x1, &y1));
        EXPECT_LE(std::hypot(x1 - autoB->GetMarker()[i].x, y1 - autoB->GetMarker()[i].y), 2.0) << i;
    }
}

TEST_F(RealMatcherTest, HandHeldSeriesGiveFilteredPairsForEveryNeighbour)
{
    const std::vector<std::vector<std::string>> series = {
        {Data("skimage-tutorials-pano/JDW_9518.jpg"), Data("skimage-tutorials-pano/JDW_9519.jpg"),
         Data("skimage-tutorials-pano/JDW_9520.jpg")},
        {Data("daeyun-image-stitching/hill_1.JPG"), Data("daeyun-image-stitching/hill_2.JPG"),
         Data("daeyun-image-stitching/hill_3.JPG")},
    };
    for (const std::vector<std::string>& files : series) {
        SCOPED_TRACE(files[0]);
        frames.clear();
        MakeChain(files);
        ASSERT_EQ(Search(true), 0) << lastOutput;
        for (int i = 0; i + 1 < 3; ++i) {
            const int kept = KeptByRansac(frames[i], frames[i + 1]);
            EXPECT_GE(kept, 20) << "pair " << i;
            std::printf("%s pair %d: %d pairs kept by the RANSAC filter at 2 px\n", files[0].c_str(), i, kept);
        }
    }
}

TEST_F(RealMatcherTest, NerrowFindsEveryPairOfTheSeries)
{
    MakeChain({Data("skimage-tutorials-pano/JDW_9518.jpg"), Data("skimage-tutorials-pano/JDW_9519.jpg"),
               Data("skimage-tutorials-pano/JDW_9520.jpg")});
    ASSERT_EQ(Search(false), 0) << lastOutput;
    // Every pair was searched and handed back; the outer two views barely
    // overlap, so only the neighbours must hold many filtered pairs.
    for (auto [i, j] : {std::pair{0, 1}, std::pair{1, 2}, std::pair{0, 2}}) {
        Marker* ma = nullptr;
        Marker* mb = nullptr;
        EXPECT_TRUE(frames[i]->GetMarkerFa(frames[j], &ma, &mb) && ma && mb) << i << " & " << j;
        if (j == i + 1) {
            EXPECT_GE(KeptByRansac(frames[i], frames[j]), 20) << i << " & " << j;
        }
    }
    for (ImageFrame* f : frames) EXPECT_TRUE(f->IsFMatched());
}

TEST_F(RealMatcherTest, SearchOverAHorizonChain)
{
    std::vector<std::string> files;
    for (int k = 369; k <= 372; ++k) files.push_back(Data("huginsample-durlach/half/P1060" + std::to_string(k) + ".JPG"));
    MakeChain(files);
    ASSERT_TRUE(NeedAutoMarkers(chain.get(), true));
    ClearAutoMarkerRequest();
    AutoMarkerRequest* r = GetAutoMarkerRequest();
    r->frames = chain.get();
    r->downscaleCode = 1;
    r->sequential = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunAutoMarkerRequest(), 0);
    lastOutput = testing::internal::GetCapturedStdout();
    EXPECT_EQ(r->result, 0) << lastOutput;
    for (int i = 0; i + 1 < 4; ++i) {
        EXPECT_GE(Pairs(frames[i], frames[i + 1]).size(), 20u) << "pair " << i;
        EXPECT_GE(Pairs(frames[i + 1], frames[i]).size(), 20u) << "pair " << i;
    }
    EXPECT_FALSE(NeedAutoMarkers(chain.get(), true));
    ClearAutoMarkerRequest();
}

TEST_F(RealMatcherTest, UnreadableImageGivesEmptyBlocksAndTheRunFinishes)
{
    MakeChain({Data("skimage-tutorials-pano/JDW_9518.jpg"), Data("skimage-tutorials-pano/JDW_9519.jpg")});
    // A third frame whose file is not an image.
    const std::string bad = dir.file("not an image.jpg");
    std::ofstream(bad) << "no JPEG here";
    auto frame = std::make_unique<ImageFrame>();
    frame->SetName(bad.c_str());
    chain->Append(frame.get());
    frames.push_back(frame.get());
    owned.push_back(std::move(frame));

    ASSERT_EQ(Search(true), 0) << lastOutput;
    EXPECT_NE(lastOutput.find("  got msg=ERROR cannot read image " + bad + "\n"), std::string::npos) << lastOutput;
    EXPECT_GE(Pairs(frames[0], frames[1]).size(), 20u);
    Marker* ma = nullptr;
    Marker* mb = nullptr;
    ASSERT_TRUE(frames[1]->GetMarkerFa(frames[2], &ma, &mb));
    EXPECT_EQ(ma->GetNumbOfMarker(), 0);
    EXPECT_EQ(mb->GetNumbOfMarker(), 0);
}

TEST_F(RealMatcherTest, TextOutputWithoutAChannelAndBadOptions)
{
    MakeChain({Data("daeyun-image-stitching/hill_1.JPG"), Data("daeyun-image-stitching/hill_2.JPG")});
    const std::string output = dir.file("hollet out.txt");
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunMatchExeWait(output, frames, 1, 3, false, true, true, false, 180.0f), 0);
    lastOutput = testing::internal::GetCapturedStdout();
    EXPECT_GE(KeptByRansac(frames[0], frames[1]), 20) << lastOutput;
    // The file names the images in the matcher's order.
    std::vector<std::string> names;
    std::vector<MatchFilePoint> points;
    ASSERT_EQ(ReadMatchFile(output, false, names, points), 0);
    EXPECT_EQ(names, (std::vector<std::string>{frames[0]->GetName(), frames[1]->GetName()}));
    EXPECT_EQ(static_cast<int>(points.size()), static_cast<int>(Pairs(frames[0], frames[1]).size()));

    const std::string program = LogBase::GetAppDir0() + "\\Hollet.exe";
    // Bad options end the program with 2, a channel that is not there with 3.
    struct Case {
        const char* line;
        int code;
    } cases[] = {{"Hollet.exe --scaledown 0 -o x \"/a.jpg\" \"/b.jpg\"", 2},
                 {"Hollet.exe -o x \"/a.jpg\"", 2},
                 {"Hollet.exe --ransacdist far -o x \"/a.jpg\" \"/b.jpg\"", 2},
                 {"Hollet.exe --shmname NoSuchChannel --shmsize 4000 \"/a.jpg\" \"/b.jpg\"", 3}};
    for (const Case& c : cases) EXPECT_EQ(LogBase::ExecuteWait(program.c_str(), c.line, false), c.code) << c.line;
}

}  // namespace

namespace {

// Hollet bounds the memory its feature searches hold at once: with room for
// one search only they run one after another, and the points written for
// six Durlach photographs (two rows, 1280 x 960, reduced by 2) are the same
// bytes as with the default budget, where several run side by side.
TEST_F(RealMatcherTest, MemoryBudgetDoesNotChangeTheOutput)
{
    std::string names;
    for (int n : {369, 370, 371, 379, 380, 381})
        names += " \"" + Data("huginsample-durlach/half/P1060" + std::to_string(n) + ".JPG") + "\"";
    const std::string program = LogBase::GetAppDir0() + "\\Hollet.exe";
    const std::string serial = dir.file("serial.txt"), shared = dir.file("shared.txt");
    const std::string options = "Hollet.exe --ptgui --linearmatch --scaledown 2 --ransacdist 0 ";
    ASSERT_EQ(LogBase::ExecuteWait(program.c_str(), (options + "--memorymb 1 -o \"" + serial + "\"" + names).c_str(), false),
              0);
    ASSERT_EQ(LogBase::ExecuteWait(program.c_str(), (options + "-o \"" + shared + "\"" + names).c_str(), false), 0);
    const std::string a = testkit::ReadText(serial), b = testkit::ReadText(shared);
    // Every consecutive pair has points of its own, so the comparison covers
    // the features of all six photographs.
    std::vector<std::string> imageNames;
    std::vector<MatchFilePoint> points;
    ASSERT_EQ(ReadMatchFile(serial, false, imageNames, points), 0);
    EXPECT_EQ(imageNames.size(), 6u);
    std::vector<int> perPair(5, 0);
    for (const MatchFilePoint& p : points)
        if (p.n >= 0 && p.n < 5 && p.N == p.n + 1) ++perPair[static_cast<size_t>(p.n)];
    for (int k = 0; k < 5; ++k) EXPECT_GE(perPair[static_cast<size_t>(k)], 8) << "pair " << k;
    EXPECT_EQ(a, b);
}

}  // namespace
