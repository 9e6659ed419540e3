// The exact bytes of movies made from fixed pictures: every kind of movie and
// every compressor, with hot spots. The digests are those of the files the
// writer produced when the toolbox still built each file in memory and read
// its temporary movies back whole; any change to how the toolbox moves
// sample data between memory and files must leave them unchanged (what the
// files mean is checked by the structure and pixel tests).
#include "qtmovie/cinvora.h"
#include "qtmovie/tests/cinvora_test_support.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace fs = std::filesystem;

namespace {

// 64-bit FNV-1a of a file's bytes.
uint64_t Digest(const testkit::Bytes& bytes)
{
    uint64_t h = 14695981039346656037ull;
    for (uint8_t b : bytes) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

std::string Hex(uint64_t v)
{
    char text[20];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

struct Expected {
    const char* name;
    size_t size;
    uint64_t digest;
    std::function<int(const std::string&)> write;
};

TEST(CinvoraBytes, MoviesOfFixedPicturesKeepTheirBytes)
{
    // A panorama of 9 strips plus 8 dropped columns, its hot-spot picture,
    // two hot spots; six cube faces and their hot-spot faces.
    RefPtr<Image> picture = RefPtr<Image>::adopt(testkit::MakePatternImage(296, 40, 3, 0, 7));
    RefPtr<Image> grey = RefPtr<Image>::adopt(testkit::MakePatternImage(296, 40, 1, 0, 8));
    RefPtr<Image> hot = RefPtr<Image>::adopt(testkit::MakePatternImage(296, 40, 1, 0, 9));
    const char* names[2] = {"door", "window"};
    const char* urls[2] = {"http://example.test/door", "http://example.test/window"};
    MovieHotSpot spots[2];
    for (int i = 0; i < 2; ++i) {
        spots[i].id = 10 + i;
        spots[i].name = names[i];
        spots[i].url = urls[i];
    }
    std::vector<RefPtr<Image>> faces;
    std::vector<Image*> faceList(12, nullptr);
    for (int i = 0; i < 12; ++i) {
        faces.push_back(RefPtr<Image>::adopt(testkit::MakePatternImage(24, 24, i < 6 ? 3 : 1, 0, 20 + i)));
        faceList[i] = faces.back().get();
    }
    auto panorama = [&](Image* source, Image* hotSpots, int codec, int quality) {
        return [=, &spots](const std::string& target) {
            MovieSettings settings;
            settings.codecCode = codec;
            settings.qualityCode = quality;
            settings.fieldOfView = 50;
            settings.widthDegrees = 360.0f;
            settings.viewerWidth = 320;
            settings.viewerHeight = 240;
            settings.hotSpotCount = 2;
            settings.hotSpots = spots;
            RECT rect{0, 0, 295, 39};
            return WritePanorama(source, hotSpots, rect, settings, target);
        };
    };
    auto cubic = [&](bool hotSpots, int codec, int quality) {
        return [=, &faceList](const std::string& target) {
            std::vector<Image*> list = faceList;
            if (!hotSpots) list[6] = nullptr;
            MovieSettings settings;
            settings.codecCode = codec;
            settings.qualityCode = quality;
            QUORVANE_FileInfo info;
            info.path = target.c_str();
            info.extra = &settings;
            return WriteQT_CubicMovie(list.data(), nullptr, &info);
        };
    };
    auto object = [](int channels, int codec, int quality) {
        return [=](const std::string& target) {
            FrameList frames(6, 20, 16, channels);
            return frames.Write(target, 2, 3, codec, quality);
        };
    };
    const Expected cases[] = {
        {"panorama jpeg 768 with hot spots", 31626, 0x8371220ef00cd309ull, panorama(picture.get(), hot.get(), 0, 2)},
        {"panorama jpeg 1023", 27512, 0x1c58db55c314c125ull, panorama(picture.get(), nullptr, 0, 1)},
        {"panorama cinepak 512", 24042, 0x5ccc59f721534227ull, panorama(picture.get(), nullptr, 2, 3)},
        {"panorama tiff lossless", 38208, 0xbf436a97e99d8fdbull, panorama(picture.get(), nullptr, 1, 0)},
        {"grey panorama jpeg 256", 11726, 0x2148f43215b7b895ull, panorama(grey.get(), nullptr, 0, 4)},
        {"cubic jpeg 768 with hot faces", 13500, 0x3f3a02730482797aull, cubic(true, 0, 2)},
        {"cubic cinepak 1023", 9868, 0x377fca668f87b61dull, cubic(false, 2, 1)},
        {"object jpeg 1023", 8294, 0x20c1ed6e935396f0ull, object(3, 0, 1)},
        {"grey object tiff", 4780, 0x387253f61a9a4737ull, object(1, 1, 0)},
    };
    for (const Expected& c : cases) {
        SCOPED_TRACE(c.name);
        testkit::TempDir dir;
        const std::string target = dir.file("m.mov");
        // A longer file of that name is replaced, not written over in part.
        ASSERT_TRUE(testkit::WriteBytes(target, testkit::Bytes(c.size + 5000, 0xA5)));
        ASSERT_EQ(c.write(target), 0);
        const testkit::Bytes bytes = testkit::ReadBytes(target);
        EXPECT_EQ(bytes.size(), c.size);
        EXPECT_EQ(Hex(Digest(bytes)), Hex(c.digest));
        // Saving the same movie again over it gives the same bytes.
        ASSERT_EQ(c.write(target), 0);
        EXPECT_EQ(testkit::ReadBytes(target), bytes);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    }
}

}  // namespace
