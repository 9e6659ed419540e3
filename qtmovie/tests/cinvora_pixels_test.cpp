// The three kinds of movie: their atom structure read by the test's own
// walker, and their pixels decoded by ffmpeg (an outside reader of the
// QuickTime format and of the jpeg, tiff and cvid codecs) compared with the
// pictures they were made from.
#include "qtmovie/cinvora.h"
#include "qtmovie/tests/cinvora_test_support.h"
#include "qtmovie/tests/qt_atom_walker.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;
using qtwalk::Atom;
using qtwalk::Be16;
using qtwalk::Be32;
using qtwalk::BeFloat;

namespace {

std::string Text4(const uint8_t* p) { return std::string(reinterpret_cast<const char*>(p), 4); }

std::vector<std::string> References(const qtwalk::Track& t)
{
    std::vector<std::string> kinds;
    for (const auto& r : t.references) kinds.push_back(r.first);
    return kinds;
}

uint32_t ReferencedId(const qtwalk::Track& t, const std::string& kind)
{
    for (const auto& r : t.references)
        if (r.first == kind && r.second.size() == 1) return r.second[0];
    return 0;
}

// moov then mdat, nothing else; ctyp 'qtvr'; the world container's atoms.
void CheckCommonVrStructure(const MovieFile& movie, const char* nodeType, uint32_t staticQuality, uint32_t movieScale)
{
    ASSERT_EQ(movie.top.size(), 2u);
    EXPECT_EQ(movie.top[0].type, "moov");
    EXPECT_EQ(movie.top[1].type, "mdat");
    const Atom* ctyp = movie.Moov()->At("udta/ctyp");
    ASSERT_NE(ctyp, nullptr);
    EXPECT_EQ(std::string(ctyp->data.begin(), ctyp->data.end()), "qtvr");
    const Atom* mvhd = movie.Moov()->Find("mvhd");
    ASSERT_NE(mvhd, nullptr);
    EXPECT_EQ(Be32(&mvhd->data[12]), movieScale);

    const Atom& world = movie.worldDescription;
    const Atom* header = world.Find("vrsc");
    ASSERT_NE(header, nullptr);
    ASSERT_EQ(header->data.size(), 24u);
    EXPECT_EQ(Be16(&header->data[0]), 2);
    EXPECT_EQ(Be32(&header->data[8]), 1u);  // default node
    const Atom* imaging = world.Find("imgp");
    ASSERT_NE(imaging, nullptr);
    const auto modes = imaging->FindAll("impn");
    ASSERT_EQ(modes.size(), 2u);
    const uint32_t expected[2][5] = {{2, 7, 2, 256, 1}, {1, 7, 2, staticQuality, 0}};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(modes[i]->data.size(), 56u);
        for (int f = 0; f < 5; ++f) EXPECT_EQ(Be32(&modes[i]->data[4 + 4 * f]), expected[i][f]) << i << " " << f;
    }
    const Atom* location = world.At("vrnp/vrni/nloc");
    ASSERT_NE(location, nullptr);
    EXPECT_EQ(Text4(&location->data[4]), nodeType);
    const Atom* node = movie.nodeSample.Find("ndhd");
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(node->data.size(), 28u);
    EXPECT_EQ(Text4(&node->data[4]), nodeType);
    EXPECT_EQ(Be32(&node->data[8]), 1u);
}

TEST(CinvoraStructure, PanoramaWithHotSpotPicture)
{
    testkit::TempDir dir;
    RefPtr<Image> picture = RefPtr<Image>::adopt(testkit::MakePatternImage(320, 48, 3));
    RefPtr<Image> hot = RefPtr<Image>::adopt(testkit::MakePatternImage(320, 48, 1));
    MovieSettings settings;
    settings.viewerWidth = 400;
    settings.viewerHeight = 300;
    RECT rect{0, 0, 319, 47};
    ASSERT_EQ(WritePanorama(picture.get(), hot.get(), rect, settings, dir.file("p.mov")), 0);
    MovieFile movie;
    ASSERT_TRUE(movie.Read(dir.file("p.mov"))) << movie.error;
    CheckCommonVrStructure(movie, "pano", 1024, 3600);

    const qtwalk::Track* vr = movie.TrackOf("qtvr");
    const qtwalk::Track* pano = movie.TrackOf("pano");
    ASSERT_TRUE(vr && pano);
    EXPECT_EQ(vr->volume, 256);
    EXPECT_EQ(pano->volume, 0);
    EXPECT_EQ(vr->width, 400u);
    EXPECT_EQ(vr->height, 300u);
    EXPECT_EQ(References(*vr), std::vector<std::string>{"pano"});
    EXPECT_EQ(ReferencedId(*vr, "pano"), pano->id);
    const qtwalk::Track* image = movie.TrackById(ReferencedId(*pano, "imgt"));
    const qtwalk::Track* hotTrack = movie.TrackById(ReferencedId(*pano, "hott"));
    ASSERT_TRUE(image && hotTrack);
    EXPECT_EQ(image->handler, "vide");
    EXPECT_EQ(hotTrack->handler, "vide");
    EXPECT_FALSE(image->enabled);
    EXPECT_FALSE(hotTrack->enabled);
    for (const qtwalk::Track* t : {vr, pano, image, hotTrack}) EXPECT_EQ(t->timeScale, 3600u);
    EXPECT_EQ(vr->durations, std::vector<uint32_t>{7200});
    EXPECT_EQ(pano->durations, std::vector<uint32_t>{7200});
    EXPECT_EQ(image->durations, std::vector<uint32_t>(10, 720));
    EXPECT_EQ(hotTrack->durations, std::vector<uint32_t>(10, 720));
    ASSERT_EQ(vr->descriptions.size(), 1u);
    EXPECT_EQ(Text4(&vr->descriptions[0][4]), "qtvr");
    EXPECT_EQ(Be32(&vr->descriptions[0][0]), vr->descriptions[0].size());
    ASSERT_EQ(pano->descriptions.size(), 1u);
    EXPECT_EQ(pano->descriptions[0].size(), 16u);
    for (const qtwalk::Track* t : {image, hotTrack}) {
        ASSERT_EQ(t->descriptions.size(), 1u);
        EXPECT_EQ(t->descriptions[0].size(), 86u);
        EXPECT_EQ(Be32(&t->descriptions[0][0]), 86u);
    }
    EXPECT_EQ(Text4(&image->descriptions[0][4]), "jpeg");
    EXPECT_EQ(Text4(&hotTrack->descriptions[0][4]), "tiff");
    EXPECT_EQ(Be16(&hotTrack->descriptions[0][82]), 40);  // 8-bit grey

    const Atom* pdat = movie.panoSample.Find("pdat");
    ASSERT_NE(pdat, nullptr);
    ASSERT_EQ(pdat->data.size(), 84u);
    const uint8_t* p = pdat->data.data();
    EXPECT_EQ(Be16(p), 2);
    EXPECT_EQ(Be16(p + 2), 0);
    EXPECT_EQ(Be32(p + 4), 1u);   // image reference index
    EXPECT_EQ(Be32(p + 8), 1u);   // hot-spot reference index
    EXPECT_EQ(Be32(p + 60), 320u);  // hot-spot image size
    EXPECT_EQ(Be32(p + 72), 1u);  // flags
    EXPECT_EQ(Text4(p + 76), "hcyl");
    EXPECT_EQ(movie.panoSample.Find("cuvw"), nullptr);
}

TEST(CinvoraStructure, CubicWithHotSpotFaces)
{
    testkit::TempDir dir;
    std::vector<RefPtr<Image>> keep;
    std::vector<Image*> faces(12);
    for (int i = 0; i < 12; ++i) {
        keep.push_back(RefPtr<Image>::adopt(testkit::MakePatternImage(48, 48, i < 6 ? 3 : 1, 0, i + 1)));
        faces[i] = keep.back().get();
    }
    MovieSettings settings;
    settings.fieldOfView = 70;
    QUORVANE_FileInfo info;
    const std::string target = dir.file("c.mov");
    info.path = target.c_str();
    info.extra = &settings;
    ASSERT_EQ(WriteQT_CubicMovie(faces.data(), nullptr, &info), 0);
    MovieFile movie;
    ASSERT_TRUE(movie.Read(target)) << movie.error;
    CheckCommonVrStructure(movie, "pano", 1024, 3600);
    const qtwalk::Track* pano = movie.TrackOf("pano");
    ASSERT_NE(pano, nullptr);
    const qtwalk::Track* image = movie.TrackById(ReferencedId(*pano, "imgt"));
    const qtwalk::Track* hot = movie.TrackById(ReferencedId(*pano, "hott"));
    ASSERT_TRUE(image && hot);
    EXPECT_EQ(image->sampleSizes.size(), 6u);
    EXPECT_EQ(hot->sampleSizes.size(), 6u);
    EXPECT_EQ(image->durations, std::vector<uint32_t>(6, 1200));
    const Atom* pdat = movie.panoSample.Find("pdat");
    const Atom* cuvw = movie.panoSample.Find("cuvw");
    ASSERT_TRUE(pdat && cuvw);
    ASSERT_EQ(pdat->data.size(), 84u);
    const uint8_t* p = pdat->data.data();
    const float view[9] = {0, 360, -45, 45, 15, 90, 0, 0, 70};
    for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(BeFloat(p + 12 + 4 * i), view[i]) << i;
    EXPECT_EQ(Be32(p + 48), 4u * 48);
    EXPECT_EQ(Be32(p + 52), 48u);
    EXPECT_EQ(Be16(p + 56), 4);
    EXPECT_EQ(Be16(p + 58), 1);
    EXPECT_EQ(Text4(p + 76), "cube");
    ASSERT_EQ(cuvw->data.size(), 36u);
    const float cube[9] = {0, 360, -90, 90, 15, 120, 0, 0, 70};
    for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(BeFloat(&cuvw->data[4 * i]), cube[i]) << i;
}

TEST(CinvoraStructure, ObjectMovie)
{
    testkit::TempDir dir;
    FrameList frames(6, 40, 24, 3);
    ASSERT_EQ(frames.Write(dir.file("o.mov"), 2, 3), 0);
    EXPECT_EQ(frames.Outstanding(), 0);
    MovieFile movie;
    ASSERT_TRUE(movie.Read(dir.file("o.mov"))) << movie.error;
    CheckCommonVrStructure(movie, "obje", 768, 600);
    EXPECT_EQ(movie.nodeSample.Find("hspa"), nullptr);
    const qtwalk::Track* vr = movie.TrackOf("qtvr");
    const qtwalk::Track* object = movie.TrackOf("obje");
    ASSERT_TRUE(vr && object);
    EXPECT_EQ(ReferencedId(*vr, "obje"), object->id);
    const qtwalk::Track* video = movie.TrackById(ReferencedId(*object, "imgt"));
    ASSERT_NE(video, nullptr);
    EXPECT_TRUE(video->enabled);
    EXPECT_EQ(video->durations, std::vector<uint32_t>(6, 60));
    EXPECT_EQ(vr->durations, std::vector<uint32_t>{360});
    EXPECT_EQ(object->durations, std::vector<uint32_t>{360});
    EXPECT_EQ(vr->width, 40u);
    EXPECT_EQ(vr->volume, 256);
    const Atom* obji = movie.panoSample.Find("obji");
    ASSERT_NE(obji, nullptr);
    ASSERT_EQ(obji->data.size(), 88u);
    const uint8_t* p = obji->data.data();
    EXPECT_EQ(Be16(p), 2);
    const uint16_t shorts[4] = {1, 1, 1, 1};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Be16(p + 4 + 2 * i), shorts[i]);
    EXPECT_EQ(Be32(p + 12), 60u);  // view duration: the first frame's
    EXPECT_EQ(Be32(p + 16), 3u);   // columns
    EXPECT_EQ(Be32(p + 20), 2u);   // rows
    const float floats[14] = {180, 0, 360, 0, 90, -20, 90, 8, 180, 180, 0, 0, 1, 1};
    for (int i = 0; i < 14; ++i) EXPECT_FLOAT_EQ(BeFloat(p + 24 + 4 * i), floats[i]) << i;
    EXPECT_EQ(Be32(p + 80), 0u);
    EXPECT_EQ(Be32(p + 84), 0x45u);
}

// ----- pixels through ffmpeg -----

struct Stream {
    std::string tag;
    int width = 0, height = 0;
};

std::vector<Stream> ProbeVideo(const std::string& movie)
{
    const auto r = testkit::Run("ffprobe -v error -select_streams v -show_entries stream=codec_tag_string,width,height "
                                "-of default=nw=1 '" + movie + "'");
    std::vector<Stream> streams;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "codec_tag_string") streams.emplace_back();
        if (streams.empty()) continue;
        if (key == "width") streams.back().width = std::atoi(value.c_str());
        if (key == "height") streams.back().height = std::atoi(value.c_str());
        if (key == "codec_tag_string") streams.back().tag = value;
    }
    return streams;
}

// Decodes every frame of video stream `index` to PNM files; their pixels in
// file order (red, green, blue or grey).
std::vector<RefPtr<Image>> DecodeStream(const std::string& movie, int index, bool grey, const testkit::TempDir& dir)
{
    const fs::path frames = dir.path() / "decoded";
    fs::remove_all(frames);
    fs::create_directory(frames);
    const std::string ext = grey ? "pgm" : "ppm";
    const auto r = testkit::Run("ffmpeg -v error -y -i '" + movie + "' -map 0:v:" + std::to_string(index) +
                                " -vsync passthrough -pix_fmt " + (grey ? "gray" : "rgb24") + " '" +
                                (frames / ("f%03d." + ext)).string() + "'");
    EXPECT_EQ(r.status, 0) << r.output;
    std::vector<RefPtr<Image>> images;
    for (int i = 1;; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%03d.%s", i, ext.c_str());
        if (!fs::exists(frames / name)) break;
        images.push_back(RefPtr<Image>::adopt(testkit::ReadPnm((frames / name).string())));
    }
    fs::remove_all(frames);
    return images;
}

// PSNR of a decoded frame (file order) against an area of the source
// (image order: blue, green, red); infinity when identical.
double Psnr(const Image& decoded, const Image& source, int x0, int y0)
{
    const int c = source.GetChannels();
    double sum = 0;
    size_t n = 0;
    for (int y = 0; y < decoded.GetHeight(); ++y)
        for (int x = 0; x < decoded.GetWidth(); ++x)
            for (int k = 0; k < c; ++k) {
                const int a = decoded.GetData()[y * decoded.GetRowByte() + x * c + k];
                const int b = source.GetData()[(y0 + y) * source.GetRowByte() + (x0 + x) * c + (c == 3 ? 2 - k : k)];
                sum += double(a - b) * (a - b);
                ++n;
            }
    if (sum == 0) return INFINITY;
    return 10 * std::log10(255.0 * 255.0 / (sum / n));
}

// A scaled real panorama, in image order.
RefPtr<Image> RealPanorama(const testkit::TempDir& dir, int width, int height)
{
    const std::string source = testkit::TestData("huginsample-durlach/durlach_saumarkt_equirect.jpg").string();
    const auto r = testkit::Run("ffmpeg -v error -y -i '" + source + "' -vf scale=" + std::to_string(width) + ":" +
                                std::to_string(height) + " -pix_fmt rgb24 '" + dir.file("real.ppm") + "'");
    EXPECT_EQ(r.status, 0) << r.output;
    RefPtr<Image> image = RefPtr<Image>::adopt(testkit::ReadPnm(dir.file("real.ppm")));
    if (image)
        for (int y = 0; y < image->GetHeight(); ++y)
            for (int x = 0; x < image->GetWidth(); ++x) std::swap(image->GetData()[y * image->GetRowByte() + 3 * x],
                                                                  image->GetData()[y * image->GetRowByte() + 3 * x + 2]);
    return image;
}

struct CodecCase {
    int codec, quality;
    const char* tag;
    double minPsnr;  // INFINITY: exact
};
const CodecCase kCodecs[] = {{0, 1, "jpeg", 38.0}, {1, 0, "tiff", INFINITY}, {2, 1, "cvid", 24.0}};

TEST(CinvoraPixels, PanoramaStripsDecodeToTheRealPanorama)
{
    ASSERT_TRUE(testkit::RequireTool("ffmpeg"));
    ASSERT_TRUE(testkit::RequireTool("ffprobe"));
    testkit::TempDir dir;
    RefPtr<Image> picture = RealPanorama(dir, 1024, 512);
    ASSERT_TRUE(picture);
    // A hot-spot picture of a few index regions.
    RefPtr<Image> hot = RefPtr<Image>::adopt(new Image(1024, 256, 1));
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 1024; ++x) hot->GetData()[y * hot->GetRowByte() + x] = uint8_t((x / 100) * 20 + (y / 64));
    RECT rect{0, 100, 999, 355};  // 31 strips, rows 100..355
    for (const CodecCase& c : kCodecs) {
        SCOPED_TRACE(c.tag);
        MovieSettings settings;
        settings.codecCode = c.codec;
        settings.qualityCode = c.quality;
        const std::string target = dir.file(std::string("pano_") + c.tag + ".mov");
        // The hot-spot picture covers the rectangle's rows from 0: give it the
        // same rows by shifting the rectangle for it.
        RefPtr<Image> hotFull = RefPtr<Image>::adopt(new Image(1024, 512, 1));
        hotFull->Fill(0);
        hot->CopyDataTo(0, 1023, 0, 255, hotFull.get(), 0, 100);
        ASSERT_EQ(WritePanorama(picture.get(), hotFull.get(), rect, settings, target), 0);
        const auto streams = ProbeVideo(target);
        ASSERT_EQ(streams.size(), 2u);
        EXPECT_EQ(streams[0].tag, c.tag);
        EXPECT_EQ(streams[0].width, 32);
        EXPECT_EQ(streams[0].height, 256);
        EXPECT_EQ(streams[1].tag, "tiff");
        const auto strips = DecodeStream(target, 0, false, dir);
        ASSERT_EQ(strips.size(), 31u);
        for (int i = 0; i < 31; ++i) {
            ASSERT_TRUE(strips[i]);
            ASSERT_EQ(strips[i]->GetWidth(), 32);
            const double psnr = Psnr(*strips[i], *picture, 32 * i, 100);
            if (std::isinf(c.minPsnr))
                EXPECT_TRUE(std::isinf(psnr)) << "strip " << i << " " << psnr;
            else
                EXPECT_GE(psnr, c.minPsnr) << "strip " << i;
        }
        const auto hotStrips = DecodeStream(target, 1, true, dir);
        ASSERT_EQ(hotStrips.size(), 31u);
        for (int i = 0; i < 31; ++i) EXPECT_TRUE(std::isinf(Psnr(*hotStrips[i], *hotFull, 32 * i, 100))) << i;
    }
}

TEST(CinvoraPixels, CubicFacesAndObjectFramesDecode)
{
    ASSERT_TRUE(testkit::RequireTool("ffmpeg"));
    testkit::TempDir dir;
    RefPtr<Image> real = RealPanorama(dir, 512, 256);
    ASSERT_TRUE(real);
    std::vector<RefPtr<Image>> keep;
    std::vector<Image*> faces(12, nullptr);
    for (int i = 0; i < 6; ++i) {
        keep.push_back(RefPtr<Image>::adopt(new Image(64, 64, 3)));
        real->CopyDataTo(64 * i, 64 * i + 63, 96, 159, keep.back().get(), 0, 0);
        faces[i] = keep.back().get();
    }
    for (const CodecCase& c : kCodecs) {
        SCOPED_TRACE(c.tag);
        MovieSettings settings;
        settings.codecCode = c.codec;
        settings.qualityCode = c.quality;
        QUORVANE_FileInfo info;
        const std::string target = dir.file(std::string("cube_") + c.tag + ".mov");
        info.path = target.c_str();
        info.extra = &settings;
        ASSERT_EQ(WriteQT_CubicMovie(faces.data(), nullptr, &info), 0);
        const auto decoded = DecodeStream(target, 0, false, dir);
        ASSERT_EQ(decoded.size(), 6u);
        for (int i = 0; i < 6; ++i) {
            const double psnr = Psnr(*decoded[i], *faces[i], 0, 0);
            EXPECT_TRUE(std::isinf(c.minPsnr) ? std::isinf(psnr) : psnr >= c.minPsnr) << "face " << i << " " << psnr;
        }

        // Object frames: synthetic patterns are noise, so only the lossless
        // codec is compared exactly; the lossy ones must decode to the size.
        FrameList frames(4, 48, 32, 3);
        const std::string object = dir.file(std::string("obj_") + c.tag + ".mov");
        ASSERT_EQ(frames.Write(object, 2, 2, c.codec, c.quality), 0);
        const auto objectFrames = DecodeStream(object, 0, false, dir);
        ASSERT_EQ(objectFrames.size(), 4u);
        for (int i = 0; i < 4; ++i) {
            ASSERT_EQ(objectFrames[i]->GetWidth(), 48);
            ASSERT_EQ(objectFrames[i]->GetHeight(), 32);
            if (std::isinf(c.minPsnr)) {
                RefPtr<Image> expected = RefPtr<Image>::adopt(frames.Expected(i));
                EXPECT_TRUE(std::isinf(Psnr(*objectFrames[i], *expected, 0, 0))) << i;
            }
        }
    }
}

}  // namespace
