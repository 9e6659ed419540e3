// The movie writer's files read back by the test's own atom walker:
// geometry of the strips and the panorama sample, the mappings of the
// settings, the hot-spot list, the temporary files and the failure paths.
#include "qtmovie/cinvora.h"
#include "qtmovie/tests/cinvora_test_support.h"
#include "qtmovie/tests/qt_atom_walker.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;
using qtwalk::Atom;
using qtwalk::Be16;
using qtwalk::Be32;
using qtwalk::BeFloat;

namespace {

std::set<std::string> FolderNames(const testkit::TempDir& dir)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) names.insert(entry.path().filename().string());
    return names;
}

TEST(CinvoraPanorama, StripsOfThirtyTwoPixelsAndThePanoramaSample)
{
    // width, span, height, settings FOV -> strips; the sample must hold the
    // strip image size and a tilt range within 10..60 degrees.
    struct Case {
        int width, height;
        float span;
        int fov;
        int strips;
    } cases[] = {
        {1000, 40, 360.0f, 45, 31},   // the last 8 columns are dropped
        {64, 40, 90.0f, 5, 2},        // FOV 5 becomes 10
        {320, 59, 360.0f, 150, 10},   // m = 30.08: FOV 150 becomes 2m
        {96, 600, 360.0f, 45, 3},     // very tall: m held at 60
        {320, 4, 360.0f, 45, 10},     // very flat: m held at 10
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("width " + std::to_string(c.width) + " height " + std::to_string(c.height));
        testkit::TempDir dir;
        RefPtr<Image> picture = RefPtr<Image>::adopt(testkit::MakePatternImage(c.width, c.height, 3));
        MovieSettings settings;
        settings.fieldOfView = c.fov;
        settings.widthDegrees = c.span;
        settings.codecCode = 0;
        settings.qualityCode = 1;
        RECT rect{0, 0, c.width - 1, c.height - 1};
        const std::string target = dir.file("pano.mov");
        ASSERT_EQ(WritePanorama(picture.get(), nullptr, rect, settings, target), 0);
        MovieFile movie;
        ASSERT_TRUE(movie.Read(target)) << movie.error;
        const qtwalk::Track* video = movie.TrackOf("vide");
        ASSERT_NE(video, nullptr);
        ASSERT_EQ(video->sampleSizes.size(), size_t(c.strips));
        ASSERT_EQ(video->descriptions.size(), 1u);
        EXPECT_EQ(Be16(&video->descriptions[0][32]), 32);
        EXPECT_EQ(Be16(&video->descriptions[0][34]), c.height);

        const Atom* pdat = movie.PanoSample().Find("pdat");
        ASSERT_NE(pdat, nullptr);
        const uint8_t* p = pdat->data.data();
        const float minTilt = BeFloat(p + 20), maxTilt = BeFloat(p + 24);
        const float maxFov = BeFloat(p + 32), defaultFov = BeFloat(p + 44);
        // The half vertical extent from the angle per pixel of the strips.
        const double a = c.span * M_PI / (180.0 * 32 * c.strips);
        const double m = std::clamp(std::atan(std::tan(a) * c.height / 2) * 180 / M_PI, 10.0, 60.0);
        EXPECT_NEAR(maxTilt, m, 1e-4);
        EXPECT_FLOAT_EQ(minTilt, -maxTilt);
        EXPECT_GE(maxTilt, 10.0f);
        EXPECT_LE(maxTilt, 60.0f);
        EXPECT_FLOAT_EQ(BeFloat(p + 16), c.span);  // maximum pan
        EXPECT_FLOAT_EQ(BeFloat(p + 28), 10.0f);   // minimum FOV
        EXPECT_FLOAT_EQ(maxFov, 2 * maxTilt);
        EXPECT_FLOAT_EQ(defaultFov, std::clamp(float(c.fov), 10.0f, maxFov));
        EXPECT_EQ(Be32(p + 48), uint32_t(32 * c.strips));  // image size W x H
        EXPECT_EQ(Be32(p + 52), uint32_t(c.height));
        EXPECT_EQ(Be16(p + 56), c.strips);
        EXPECT_EQ(Be16(p + 58), 1);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 76), 4), "hcyl");
    }
}

TEST(CinvoraPanorama, FovClampsOfTheTable)
{
    EXPECT_NEAR(cinvora::HalfVerticalExtent(360, 320, 59), 30.08, 0.01);
    EXPECT_DOUBLE_EQ(cinvora::HalfVerticalExtent(360, 96, 600), 60.0);
    EXPECT_DOUBLE_EQ(cinvora::HalfVerticalExtent(360, 320, 4), 10.0);
    EXPECT_DOUBLE_EQ(cinvora::HalfVerticalExtent(360, 0, 4), 10.0);  // no width: no division
}

TEST(CinvoraPanorama, PicturesUnderOneStripAreRefusedWithoutDividing)
{
    for (int width : {1, 31}) {
        testkit::TempDir dir;
        RefPtr<Image> picture = RefPtr<Image>::adopt(testkit::MakePatternImage(width, 16, 3));
        MovieSettings settings;
        RECT rect{0, 0, width - 1, 15};
        EXPECT_EQ(WritePanorama(picture.get(), nullptr, rect, settings, dir.file("pano.mov")), 1);
        EXPECT_TRUE(FolderNames(dir).empty());
    }
    // A rectangle outside the picture, and no picture at all.
    testkit::TempDir dir;
    RefPtr<Image> picture = RefPtr<Image>::adopt(testkit::MakePatternImage(64, 16, 3));
    MovieSettings settings;
    RECT outside{0, 0, 64, 15};
    EXPECT_EQ(WritePanorama(picture.get(), nullptr, outside, settings, dir.file("pano.mov")), 1);
    EXPECT_EQ(WritePanorama(nullptr, nullptr, outside, settings, dir.file("pano.mov")), 1);
    EXPECT_TRUE(FolderNames(dir).empty());
}

TEST(CinvoraSettings, QualityAndCodecCodes)
{
    const std::pair<int, CodecQ> qualities[] = {{1, 1023}, {2, 768}, {3, 512}, {4, 256}, {0, 1024}, {5, 1024}, {-1, 1024}};
    for (auto [code, quality] : qualities) EXPECT_EQ(cinvora::QualityOfCode(code), quality) << code;
    const std::pair<int, const char*> codecs[] = {{0, "jpeg"}, {2, "cvid"}, {1, "tiff"}, {7, "tiff"}, {-3, "tiff"}};
    for (auto [code, type] : codecs) EXPECT_EQ(cinvora::CompressorOfCode(code), FourCC(*reinterpret_cast<const char(*)[5]>(type))) << code;

    // The file carries the codec type and the spatial quality it was made with.
    const struct {
        int codec, quality;
        const char* type;
        uint32_t spatial;
    } files[] = {{0, 1, "jpeg", 1023}, {0, 4, "jpeg", 256}, {7, 0, "tiff", 1024}, {1, 3, "tiff", 512}};
    for (const auto& f : files) {
        testkit::TempDir dir;
        RefPtr<Image> picture = RefPtr<Image>::adopt(testkit::MakePatternImage(64, 24, 3));
        MovieSettings settings;
        settings.codecCode = f.codec;
        settings.qualityCode = f.quality;
        RECT rect{0, 0, 63, 23};
        ASSERT_EQ(WritePanorama(picture.get(), nullptr, rect, settings, dir.file("q.mov")), 0);
        MovieFile movie;
        ASSERT_TRUE(movie.Read(dir.file("q.mov"))) << movie.error;
        const auto& desc = movie.TrackOf("vide")->descriptions.at(0);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&desc[4]), 4), f.type);
        EXPECT_EQ(Be32(&desc[28]), f.spatial);
    }
}

TEST(CinvoraPanorama, HotSpotListKeepsTheFirst255)
{
    testkit::TempDir dir;
    std::vector<std::string> names, urls;
    std::vector<MovieHotSpot> spots(300);
    for (int i = 0; i < 300; ++i) {
        names.push_back("spot " + std::to_string(i));
        urls.push_back("http://example.test/" + std::to_string(i));
    }
    for (int i = 0; i < 300; ++i) {
        spots[i].id = 1000 + i;
        spots[i].name = names[i].c_str();
        spots[i].url = urls[i].c_str();
    }
    RefPtr<Image> picture = RefPtr<Image>::adopt(testkit::MakePatternImage(64, 24, 3));
    MovieSettings settings;
    settings.hotSpotCount = 300;
    settings.hotSpots = spots.data();
    RECT rect{0, 0, 63, 23};
    ASSERT_EQ(WritePanorama(picture.get(), nullptr, rect, settings, dir.file("h.mov")), 0);
    MovieFile movie;
    ASSERT_TRUE(movie.Read(dir.file("h.mov"))) << movie.error;
    const Atom& node = movie.NodeSample();
    const Atom* list = node.Find("hspa");
    ASSERT_NE(list, nullptr);
    const auto hots = list->FindAll("hots");
    ASSERT_EQ(hots.size(), 255u);
    for (size_t i = 0; i < hots.size(); ++i) {
        EXPECT_EQ(hots[i]->id, 1000 + i);
        const Atom* text = hots[i]->Find("vrsg");
        const Atom* info = hots[i]->Find("hsin");
        const Atom* url = hots[i]->Find("url ");
        ASSERT_TRUE(text && info && url);
        EXPECT_EQ(Be16(&text->data[0]), 1);  // string usage
        EXPECT_EQ(std::string(text->data.begin() + 4, text->data.end()), names[i]);
        EXPECT_EQ(Be16(&text->data[2]), names[i].size());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&info->data[4]), 4), "url ");
        EXPECT_EQ(Be32(&info->data[8]), text->id);  // the name is the string atom
        EXPECT_EQ(info->id, 1u);
        EXPECT_EQ(std::string(url->data.begin(), url->data.end()), urls[i]);
    }
}

TEST(CinvoraTempFiles, NamesBesideTheTarget)
{
    EXPECT_EQ(cinvora::PlannedVrMovieName("/d/pano.mov"), "/d/pano.mot");
    EXPECT_EQ(cinvora::PlannedVrMovieName("/d/x.t"), "/d/x.@");
    testkit::TempDir dir;
    EXPECT_EQ(cinvora::FreeTempName(dir.file("pano.mov@")), dir.file("pano.mov@"));
    { std::ofstream(dir.file("pano.mov@")) << "mine"; }
    const std::string other = cinvora::FreeTempName(dir.file("pano.mov@"));
    EXPECT_NE(other, dir.file("pano.mov@"));
    EXPECT_EQ(fs::path(other).parent_path(), dir.path());
    EXPECT_TRUE(fs::exists(other));
    fs::remove(other);
}

TEST(CinvoraTempFiles, UsersFilesOfTheTemporaryNamesSurvive)
{
    testkit::TempDir dir;
    const std::string target = dir.file("pano.mov");
    for (const char* name : {"pano.mov@", "pano.mov#", "pano.mot"}) std::ofstream(dir.file(name)) << "user " << name;
    RefPtr<Image> picture = RefPtr<Image>::adopt(testkit::MakePatternImage(96, 24, 3));
    RefPtr<Image> hot = RefPtr<Image>::adopt(testkit::MakePatternImage(96, 24, 1));
    MovieSettings settings;
    RECT rect{0, 0, 95, 23};
    ASSERT_EQ(WritePanorama(picture.get(), hot.get(), rect, settings, target), 0);
    EXPECT_EQ(FolderNames(dir), (std::set<std::string>{"pano.mov", "pano.mov@", "pano.mov#", "pano.mot"}));
    for (const char* name : {"pano.mov@", "pano.mov#", "pano.mot"}) {
        std::ifstream in(dir.file(name));
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, std::string("user ") + name);
    }
}

// Every toolbox call of a save made to fail in turn: each save reports 1
// and leaves the folder as it was; with no failure it reports 0.
TEST(CinvoraFailures, EachStepFailingLeavesNoFiles)
{
    RefPtr<Image> picture = RefPtr<Image>::adopt(testkit::MakePatternImage(64, 24, 3));
    RefPtr<Image> hot = RefPtr<Image>::adopt(testkit::MakePatternImage(64, 24, 1));
    std::vector<RefPtr<Image>> faces;
    std::vector<Image*> faceList(12, nullptr);
    for (int i = 0; i < 12; ++i) {
        faces.push_back(RefPtr<Image>::adopt(testkit::MakePatternImage(16, 16, i < 6 ? 3 : 1, 0, i + 1)));
        faceList[i] = faces.back().get();
    }
    struct Kind {
        const char* name;
        std::function<int(const std::string&)> write;
    } kinds[] = {
        {"panorama", [&](const std::string& t) {
             MovieSettings s;
             RECT r{0, 0, 63, 23};
             return WritePanorama(picture.get(), hot.get(), r, s, t);
         }},
        {"cubic", [&](const std::string& t) {
             MovieSettings s;
             QUORVANE_FileInfo info;
             info.path = t.c_str();
             info.extra = &s;
             return WriteQT_CubicMovie(faceList.data(), nullptr, &info);
         }},
        {"object", [&](const std::string& t) {
             FrameList frames(4, 16, 12, 3);
             return frames.Write(t, 2, 2);
         }},
    };
    for (const Kind& kind : kinds) {
        int failAt = 1;
        for (; failAt < 2000; ++failAt) {
            SCOPED_TRACE(std::string(kind.name) + " failing call " + std::to_string(failAt));
            testkit::TempDir dir;
            quicktime::SetFailAfter(failAt);
            const int result = kind.write(dir.file("m.mov"));
            const int calls = quicktime::CallCount();
            quicktime::SetFailAfter(0);
            if (calls < failAt) {  // the save made fewer calls: it ran to the end
                EXPECT_EQ(result, 0);
                EXPECT_EQ(FolderNames(dir), std::set<std::string>{"m.mov"});
                break;
            }
            EXPECT_EQ(result, 1);
            EXPECT_TRUE(FolderNames(dir).empty());
        }
        EXPECT_GT(failAt, 20) << kind.name;  // the save went through its steps
    }
}

TEST(CinvoraObject, RowsOrColumnsBelowOneAreRefused)
{
    for (auto [rows, columns] : {std::pair{0, 3}, std::pair{2, 0}, std::pair{-1, 1}}) {
        testkit::TempDir dir;
        FrameList frames(3, 16, 12, 3);
        EXPECT_EQ(frames.Write(dir.file("o.mov"), rows, columns), 1);
        EXPECT_TRUE(FolderNames(dir).empty());
        EXPECT_EQ(frames.Outstanding(), 0);
    }
}

TEST(CinvoraObject, FramesOfAnotherSizeFailAndEveryFrameIsReleased)
{
    testkit::TempDir dir;
    FrameList frames(4, 16, 12, 3);
    frames.MakeOdd(2);
    EXPECT_EQ(frames.Write(dir.file("o.mov"), 2, 2), 1);
    EXPECT_TRUE(FolderNames(dir).empty());
    EXPECT_EQ(frames.Outstanding(), 0);
}

TEST(CinvoraCubic, MissingOrUnequalFacesFail)
{
    testkit::TempDir dir;
    std::vector<RefPtr<Image>> keep;
    std::vector<Image*> faces(12, nullptr);
    for (int i = 0; i < 6; ++i) {
        keep.push_back(RefPtr<Image>::adopt(testkit::MakePatternImage(16, 16, 3)));
        faces[i] = keep.back().get();
    }
    MovieSettings s;
    QUORVANE_FileInfo info;
    const std::string target = dir.file("c.mov");
    info.path = target.c_str();
    info.extra = &s;
    Image* fifth = faces[4];
    faces[4] = nullptr;
    EXPECT_EQ(WriteQT_CubicMovie(faces.data(), nullptr, &info), 1);
    RefPtr<Image> small = RefPtr<Image>::adopt(testkit::MakePatternImage(8, 16, 3));
    faces[4] = small.get();
    EXPECT_EQ(WriteQT_CubicMovie(faces.data(), nullptr, &info), 1);
    faces[4] = fifth;
    info.extra = nullptr;
    EXPECT_EQ(WriteQT_CubicMovie(faces.data(), nullptr, &info), 1);
    EXPECT_TRUE(FolderNames(dir).empty());
}

}  // namespace
