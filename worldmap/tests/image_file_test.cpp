// The image-file front door: the status table of the load, information and
// thumbnail functions over JPEG (plain, 22- and 14-byte "kqvz", "mjr6",
// corrupt), TIFF, BMP, GIF, mixed "IM"/"MI", unknown and missing files; the
// map made by transfer and named after the path; pixels against djpeg;
// thumbnails' scale and stamp sizes; embedded files at an offset.
#include "worldmap/image_file.h"

#include "worldmap/image_file_readers.h"

#include "core/logger.h"
#include "worldmap/tests/image_file_test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>

using namespace filetest;

namespace {

class ImageFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testkit::RequireTool("cjpeg"));
        ASSERT_TRUE(testkit::RequireTool("djpeg"));
        ASSERT_TRUE(testkit::RequireTool("convert"));
        m_modules.Add(JpegkitLibrary());
        m_modules.Add(GifkitLibrary());
        m_picture = MakeSmoothPicture(64, 48, 3);
        m_plain = MakeJpeg(*m_picture, m_dir, "plain");
        ASSERT_FALSE(m_plain.empty());
        Write("plain.jpg", m_plain);
        Write("kqvz22.jpg", WithComment(m_plain, Descriptor(256, 100, 40, 0)));
        Write("kqvz14.jpg", WithComment(m_plain, Descriptor(256, 100, 40, 0, true)));
        Write("mjr6.jpg", WithComment(m_plain, SecondKindDescriptor()));
        // Headers intact, scan data cut: the header pass succeeds, the data pass fails.
        Bytes cut(m_plain.begin(), m_plain.begin() + static_cast<long>(m_plain.size() * 7 / 10));
        Write("corrupt.jpg", cut);
        Write("corrupt_kqvz.jpg", WithComment(cut, Descriptor(256, 100, 40, 0)));
        Write("im.tif", Bytes{'I', 'M', 0, 42, 0, 0, 0, 8});
        Write("mi.tif", Bytes{'M', 'I', 0, 42, 0, 0, 0, 8});
        Write("gi.gif", Bytes{'G', 'I', 'X', 'X', 'X', 'X', 'X', 'X'});
        Write("unknown.png", Bytes{0x89, 'P', 'N', 'G', 13, 10, 26, 10});
        Write("one_byte", Bytes{0xFF});
        ImagePtr bgr(testkit::MakePatternImage(21, 13, 3, IMG_LAYOUT_BITMAP, 6));
        QUORVANE_FileInfo info;
        const std::string plainTif = m_dir.file("plain.tif");
        info.path = plainTif.c_str();
        ASSERT_EQ(SaveImageAsTiff(bgr.get(), nullptr, &info), 0);
        const Bytes d = Descriptor(128, 30, 20, 0);
        FileExtraData extra;
        extra.length = 22;
        std::copy(d.begin(), d.end(), extra.bytes);
        const std::string kqvzTif = m_dir.file("kqvz.tif");
        info.path = kqvzTif.c_str();
        info.extra = &extra;
        ASSERT_EQ(SaveImageAsTiff(bgr.get(), nullptr, &info), 0);
        BmpFields bmp;
        bmp.width = 5;
        bmp.height = 2;
        bmp.pixels = Bytes(16 * 2, 0x40);
        Write("plain.bmp", MakeBmp(bmp));
        ASSERT_EQ(testkit::Run("convert -size 9x7 gradient:red-blue '" + m_dir.file("real.gif") + "'").status, 0);
    }

    void Write(const std::string& name, const Bytes& bytes) { ASSERT_TRUE(WriteFileBytes(m_dir.file(name), bytes)); }
    std::string Path(const std::string& name) const { return m_dir.file(name); }

    testkit::TempDir m_dir;
    ModuleFolder m_modules;
    ImagePtr m_picture;
    Bytes m_plain;
};

struct LoadResult {
    int status = -99;
    ImagePtr image;
    WorldMapBase* map = nullptr;
    ~LoadResult()
    {
        if (map) map->Release();
    }
};

enum class Loader { WMap, WMapBase };

void Load(Loader loader, const std::string& path, bool readData, bool wantImage, bool wantMap, LoadResult* r)
{
    Image* image = reinterpret_cast<Image*>(1);  // the path variants clear the outputs first
    if (loader == Loader::WMap) {
        WorldMap* map = reinterpret_cast<WorldMap*>(1);
        r->status = LoadImageWMap(path.c_str(), wantImage ? &image : nullptr, wantMap ? &map : nullptr, readData);
        if (wantMap) r->map = map;
    } else {
        WorldMapBase* map = reinterpret_cast<WorldMapBase*>(1);
        r->status = LoadImageWMapBase(path.c_str(), wantImage ? &image : nullptr, wantMap ? &map : nullptr, readData);
        if (wantMap) r->map = map;
    }
    if (wantImage) r->image.reset(image);
}

TEST_F(ImageFileTest, StatusTable)
{
    struct Case {
        const char* file;
        Loader loader;
        bool readData;
        int status;
        bool image;  // an image comes out
        bool map;    // a map comes out
    };
    const Case cases[] = {
        {"plain.jpg", Loader::WMap, true, 1, true, false},
        {"plain.jpg", Loader::WMap, false, 1, true, false},  // plain pixels whatever readData says
        {"plain.jpg", Loader::WMapBase, false, 1, true, false},
        {"kqvz22.jpg", Loader::WMap, true, 2, true, true},
        {"kqvz22.jpg", Loader::WMap, false, 2, false, false},
        {"kqvz14.jpg", Loader::WMapBase, true, 2, true, true},
        {"kqvz22.jpg", Loader::WMapBase, false, 2, false, false},
        {"mjr6.jpg", Loader::WMap, true, 1, true, false},
        {"mjr6.jpg", Loader::WMapBase, true, 3, true, false},
        {"mjr6.jpg", Loader::WMapBase, false, 0, false, false},
        {"corrupt.jpg", Loader::WMap, true, 0, false, false},
        {"corrupt.jpg", Loader::WMapBase, false, 0, false, false},
        {"corrupt_kqvz.jpg", Loader::WMap, true, 0, false, false},
        {"plain.tif", Loader::WMap, true, 1, true, false},
        {"kqvz.tif", Loader::WMap, true, 2, true, true},
        {"kqvz.tif", Loader::WMapBase, false, 2, false, false},
        {"plain.bmp", Loader::WMap, true, 1, true, false},
        {"real.gif", Loader::WMap, true, 1, true, false},
        {"gi.gif", Loader::WMap, true, 0, false, false},
        {"im.tif", Loader::WMap, true, 0, false, false},
        {"mi.tif", Loader::WMapBase, true, 0, false, false},
        {"unknown.png", Loader::WMap, true, -1, false, false},
        {"one_byte", Loader::WMapBase, true, -1, false, false},
        {"missing.jpg", Loader::WMap, true, -2, false, false},
        {"missing.jpg", Loader::WMapBase, true, -2, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.loader == Loader::WMap ? " LoadImageWMap" : " LoadImageWMapBase") +
                     (c.readData ? " readData" : ""));
        LoadResult r;
        Load(c.loader, Path(c.file), c.readData, true, true, &r);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.image != nullptr, c.image);
        EXPECT_EQ(r.map != nullptr, c.map);
        if (r.map && c.loader == Loader::WMap) {
            ASSERT_NE(static_cast<WorldMap*>(r.map)->GetName(), nullptr);
            EXPECT_EQ(std::string(static_cast<WorldMap*>(r.map)->GetName()), Path(c.file));
        }
    }
}

TEST_F(ImageFileTest, PlainJpegPixelsMatchDjpeg)
{
    LoadResult r;
    Load(Loader::WMap, Path("plain.jpg"), false, true, true, &r);
    ASSERT_EQ(r.status, 1);
    ASSERT_TRUE(r.image);
    EXPECT_TRUE(r.image->IsBmp());
    EXPECT_EQ(r.map, nullptr);
    ImagePtr ref = DecodeWithDjpeg(Path("plain.jpg"), m_dir);
    ASSERT_TRUE(ref);
    EXPECT_LE(MaxDifference(*r.image, *ref), 2);
}

// The descriptor places the image in the map; the map shares the image's
// pixels, and either may be released first.
TEST_F(ImageFileTest, PanoramaMapByTransfer)
{
    for (bool releaseMapFirst : {true, false}) {
        SCOPED_TRACE(releaseMapFirst ? "map released first" : "image released first");
        Image* image = nullptr;
        WorldMap* map = nullptr;
        ASSERT_EQ(LoadImageWMap(Path("kqvz22.jpg").c_str(), &image, &map, true), 2);
        ASSERT_TRUE(image && map);
        EXPECT_FALSE(image->IsBmp());  // packed rows, presented by the map
        EXPECT_EQ(map->GetWidth(), 256);
        const RECT* rect = map->GetMapRect();
        EXPECT_EQ(rect->right - rect->left + 1, 64);
        EXPECT_EQ(rect->bottom - rect->top + 1, 48);
        int eq = 0, column = 0, row = 0, type = -1;
        RECT whole{0, 0, 63, 47};
        map->GetMapInfo(&whole, eq, column, row, type);
        EXPECT_EQ(eq, 256);
        EXPECT_EQ(type, 0);
        // The map's samples are the image's.
        EXPECT_EQ(std::memcmp(map->GetData(), image->GetData(), 64 * 3), 0);
        ImagePtr ref = DecodeWithDjpeg(Path("kqvz22.jpg"), m_dir);
        ASSERT_TRUE(ref);
        EXPECT_LE(MaxDifference(*image, *ref), 2);
        const std::vector<uint8_t> firstRow(map->GetData(), map->GetData() + 64 * 3);
        if (releaseMapFirst) {
            map->Release();
            EXPECT_EQ(std::memcmp(image->GetData(), firstRow.data(), firstRow.size()), 0);
            ReleaseImage(image);
        } else {
            ReleaseImage(image);
            EXPECT_EQ(std::memcmp(map->GetData(), firstRow.data(), firstRow.size()), 0);
            map->Release();
        }
    }
    // Only a map asked for: the image's reference is dropped, the map keeps the pixels.
    WorldMapBase* base = nullptr;
    ASSERT_EQ(LoadImageWMapBase(Path("kqvz14.jpg").c_str(), nullptr, &base, true), 2);
    ASSERT_NE(base, nullptr);
    EXPECT_NE(base->GetData(), nullptr);
    base->Release();
}

// A descriptor that cannot become a map (a place outside any map) is a
// failure, not a panorama without its map.
TEST_F(ImageFileTest, FailedTransferIsFailure)
{
    Write("bad_place.jpg", WithComment(m_plain, Descriptor(0, 0, 0, 0)));
    LoadResult r;
    Load(Loader::WMap, Path("bad_place.jpg"), true, true, true, &r);
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(r.image);
    EXPECT_EQ(r.map, nullptr);
}

TEST_F(ImageFileTest, GetWMapInfo)
{
    struct Case {
        const char* file;
        int status;
    };
    const Case cases[] = {{"plain.jpg", 1}, {"kqvz22.jpg", 2}, {"kqvz14.jpg", 2}, {"mjr6.jpg", 1},
                          {"corrupt_kqvz.jpg", 2},  // the header alone is read
                          {"plain.tif", 1},  {"kqvz.tif", 2},   {"plain.bmp", -1}, {"real.gif", -1},
                          {"im.tif", 0},     {"unknown.png", -1}, {"missing.jpg", -2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        int w = -7, h = -7, eq = -7, col = -7, row = -7, type = -7;
        EXPECT_EQ(GetWMapInfo(Path(c.file).c_str(), w, h, eq, col, row, type), c.status);
        if (c.status != 2) {
            EXPECT_EQ(w, -7);  // written only for a panorama
            EXPECT_EQ(eq, -7);
            continue;
        }
        const bool tif = std::string(c.file).find(".tif") != std::string::npos;
        EXPECT_EQ(w, tif ? 21 : 64);
        EXPECT_EQ(h, tif ? 13 : 48);
        EXPECT_EQ(eq, tif ? 128 : 256);
        EXPECT_EQ(col, tif ? 30 : 100);
        EXPECT_EQ(row, tif ? 20 : 40);
        EXPECT_EQ(type, 0);
    }
}

TEST_F(ImageFileTest, ThumbnailKindsAndSizes)
{
    // A 2:1 panorama: the stamp size follows the full width.
    ImagePtr wide = MakeSmoothPicture(128, 48, 5);
    const Bytes wideJpeg = MakeJpeg(*wide, m_dir, "wide");
    Write("wide_kqvz.jpg", WithComment(wideJpeg, Descriptor(512, 60, 90, 0)));
    struct Case {
        const char* file;
        int size;
        int kind;
        int fullWidth, fullHeight;
        int equatorWidth, column, row;
        int stampWidth, stampHeight;  // 0: no thumbnail
    };
    const Case cases[] = {
        {"plain.jpg", 4, 1, 64, 48, 0, 0, 0, 4, 3},      // one-eighth is 8 x 6
        {"plain.jpg", 16, 1, 64, 48, 0, 0, 0, 16, 12},   // 8 x 6 is below 16: full scale
        {"kqvz22.jpg", 4, 2, 64, 48, 256, 100, 40, 5, 4},  // 4 * 64 / 48 = 5
        {"wide_kqvz.jpg", 4, 2, 128, 48, 512, 60, 90, 10, 4},  // 2:1: 4 * 16 / 6 = 10
        {"mjr6.jpg", 4, 3, 64, 48, 0, 0, 0, 4, 3},
        {"plain.tif", 8, 1, 21, 13, -1, -1, -1, 8, 5},
        {"kqvz.tif", 8, 0, -1, -1, -1, -1, -1, 0, 0},
        {"plain.bmp", 8, 1, 5, 2, -1, -1, -1, 8, 3},
        {"real.gif", 8, 1, 9, 7, -1, -1, -1, 8, 6},
        {"corrupt.jpg", 4, 0, 64, 48, 0, 0, 0, 0, 0},
        {"unknown.png", 4, 0, -1, -1, -1, -1, -1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file + std::string(" size ") + std::to_string(c.size));
        int kind = -1, fw = -1, fh = -1, eq = -1, col = -1, row = -1;
        ImagePtr thumb(LoadImageThumbNail(Path(c.file).c_str(), c.size, kind, fw, fh, eq, col, row));
        EXPECT_EQ(kind, c.kind);
        if (c.kind != 0) {
            EXPECT_EQ(fw, c.fullWidth);
            EXPECT_EQ(fh, c.fullHeight);
            EXPECT_EQ(eq, c.equatorWidth);
            EXPECT_EQ(col, c.column);
            EXPECT_EQ(row, c.row);
        }
        if (c.stampWidth == 0) {
            EXPECT_FALSE(thumb);
            continue;
        }
        ASSERT_TRUE(thumb);
        EXPECT_EQ(thumb->GetWidth(), c.stampWidth);
        EXPECT_EQ(thumb->GetHeight(), c.stampHeight);
    }
    // Mixed "IM": nothing is written.
    int kind = 42, fw = 42, fh = 42, eq = 42, col = 42, row = 42;
    EXPECT_EQ(LoadImageThumbNail(Path("im.tif").c_str(), 4, kind, fw, fh, eq, col, row), nullptr);
    EXPECT_EQ(kind, 42);
    EXPECT_EQ(fw, 42);
}

// The stamp size of a panorama thumbnail by hand, including sizes whose
// products pass INT_MAX and heights of 0 (nothing to divide by).
TEST(PanoramaStampSize, RatiosIn64BitsWithZeroSizesGuarded)
{
    struct Case {
        const char* name;
        int size, fullWidth, fullHeight, loadedWidth, loadedHeight;
        int expected;
    };
    const Case cases[] = {
        {"4:3 by the full size", 4, 64, 48, 8, 6, 5},            // 4 * 64 / 48
        {"2:1 by the loaded size", 4, 128, 48, 16, 6, 10},       // 4 * 16 / 6
        {"2:1 loaded lower than asked", 16, 128, 48, 40, 6, 40}, // the loaded width
        {"portrait keeps the size", 10, 48, 64, 6, 8, 10},
        {"product past INT_MAX, 4:3", 40000, 65535, 40000, 65535, 40000, 65535},
        {"product past INT_MAX, 2:1", 50000, 120000, 50000, 60000, 50000, 60000},
        {"result past INT_MAX", INT_MAX, 3, 2, 3, 2, INT_MAX},
        {"full height 0", 1000, 1000, 0, 10, 10, 1000},
        {"nothing known", 8, 0, 0, 0, 0, 8},
        {"2:1 loaded height 0", 8, 100, 10, 12, 0, 12},
        {"2:1 loaded width 0", 8, 100, 10, 0, 9, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(imagefile::PanoramaStampSize(c.size, c.fullWidth, c.fullHeight, c.loadedWidth, c.loadedHeight),
                  c.expected);
    }
}

// At full scale the thumbnail is made from the full decode, at one-eighth
// from the small one: the two stamps differ, and each matches its source.
TEST_F(ImageFileTest, ThumbnailScaleFollowsTheRequestedSize)
{
    LoadResult full;
    Load(Loader::WMap, Path("plain.jpg"), true, true, false, &full);
    ASSERT_EQ(full.status, 1);
    ImagePtr fromFull(Image::CreateStampImage(full.image.get(), 16));
    int kind, fw, fh, eq, col, row;
    ImagePtr large(LoadImageThumbNail(Path("plain.jpg").c_str(), 16, kind, fw, fh, eq, col, row));
    ASSERT_TRUE(large && fromFull);
    EXPECT_TRUE(testkit::SamePixels(*large, *fromFull));
    // The two-argument variant always decodes at one-eighth scale.
    ImagePtr eighth(LoadImageThumbNail(Path("plain.jpg").c_str(), 16));
    ASSERT_TRUE(eighth);
    EXPECT_EQ(eighth->GetWidth(), 16);
    EXPECT_FALSE(testkit::SamePixels(*eighth, *fromFull));
    // Plain TIFF, BMP and GIF thumbnails through the two-argument variant.
    for (const char* file : {"plain.tif", "plain.bmp", "real.gif"}) {
        ImagePtr t(LoadImageThumbNail(Path(file).c_str(), 8));
        EXPECT_TRUE(t) << file;
    }
    EXPECT_EQ(LoadImageThumbNail(Path("kqvz.tif").c_str(), 8), nullptr);
    EXPECT_EQ(LoadImageThumbNail(Path("missing.jpg").c_str(), 8), nullptr);
}

// The file variants read an image embedded at an offset and leave the file
// open and the outputs untouched on failure.
TEST_F(ImageFileTest, EmbeddedFilesAtAnOffset)
{
    for (const char* name : {"plain.jpg", "plain.tif", "plain.bmp", "kqvz.tif"}) {
        SCOPED_TRACE(name);
        Bytes container(1000, 0xAB);
        const Bytes file = ReadFileBytes(Path(name));
        container.insert(container.end(), file.begin(), file.end());
        Write("container.bin", container);
        LoadResult direct;
        Load(Loader::WMapBase, Path(name), true, true, false, &direct);
        ASSERT_GE(direct.status, 1);
        FILE* f = std::fopen(Path("container.bin").c_str(), "rb");
        Image* image = nullptr;
        WorldMapBase* map = nullptr;
        EXPECT_EQ(LoadImageWMapBase(f, 1000, &image, &map, true), direct.status);
        ImagePtr owned(image);
        if (map) map->Release();
        ASSERT_TRUE(owned);
        EXPECT_TRUE(testkit::SamePixels(*owned, *direct.image));
        // Failure leaves the outputs as they were; the file stays usable.
        Image* untouched = reinterpret_cast<Image*>(8);
        EXPECT_EQ(LoadImageWMapBase(f, 10, &untouched, nullptr, true), -1);
        EXPECT_EQ(untouched, reinterpret_cast<Image*>(8));
        EXPECT_EQ(std::fseek(f, 0, SEEK_SET), 0);
        std::fclose(f);
    }
}

TEST_F(ImageFileTest, GifExtraDataCarriesTheTransparentColour)
{
    ASSERT_EQ(testkit::Run("convert -size 6x4 xc:'rgb(10,20,30)' -fill 'rgb(200,100,50)' -draw 'point 1,1' "
                           "-transparent 'rgb(10,20,30)' '" + Path("transparent.gif") + "'").status, 0);
    LoadResult r;
    Load(Loader::WMap, Path("transparent.gif"), true, true, false, &r);
    ASSERT_EQ(r.status, 1);
    ASSERT_TRUE(r.image);
    // Image has no reader of its extra data; a member pointer formed in a
    // derived class reaches it on any image.
    struct Exdata : Image {
        static const int32_t* Words(const Image* image)
        {
            return reinterpret_cast<const int32_t*>(image->*(&Exdata::m_exdata));
        }
        static int Count(const Image* image) { return image->*(&Exdata::m_exdataWords); }
    };
    ASSERT_EQ(Exdata::Count(r.image.get()), 4);
    const int32_t* words = Exdata::Words(r.image.get());
    EXPECT_EQ(words[0], 1);
    EXPECT_EQ(words[1], 1);
    // The value is the transparent colour: that of pixel (0, 0).
    const uint8_t* p = r.image->GetData();
    EXPECT_EQ(static_cast<uint32_t>(words[2]), RGB(p[2], p[1], p[0]));
    EXPECT_EQ(words[3], 0);
    // A GIF without a transparent colour gets no extra data.
    LoadResult plain;
    Load(Loader::WMap, Path("real.gif"), true, true, false, &plain);
    EXPECT_EQ(Exdata::Count(plain.image.get()), 0);
}

// Zero means "no data" in maps, but only the bitmap reader and the JPEG
// colour path turn a real black into blue 1: grey JPEG and TIFF keep zeros.
TEST_F(ImageFileTest, WhichLoadersKeepZeros)
{
    ImagePtr black(new Image(8, 8, 1));
    std::memset(black->GetData(), 0, black->GetDataSize());
    Write("black_grey.jpg", MakeJpeg(*black, m_dir, "black_grey", "-grayscale"));
    ImagePtr rgb(new Image(8, 8, 3));
    std::memset(rgb->GetData(), 0, rgb->GetDataSize());
    Write("black_rgb.jpg", MakeJpeg(*rgb, m_dir, "black_rgb"));
    QUORVANE_FileInfo info;
    const std::string tif = Path("black.tif");
    info.path = tif.c_str();
    ASSERT_EQ(SaveImageAsTiff(rgb.get(), nullptr, &info), 0);
    BmpFields bmp;
    bmp.width = 8;
    bmp.height = 8;
    bmp.pixels = Bytes(24 * 8, 0);
    Write("black.bmp", MakeBmp(bmp));
    struct Case {
        const char* file;
        int firstSample;
    };
    for (const Case& c : {Case{"black_grey.jpg", 0}, Case{"black_rgb.jpg", 1}, Case{"black.tif", 0}, Case{"black.bmp", 1}}) {
        SCOPED_TRACE(c.file);
        LoadResult r;
        Load(Loader::WMap, Path(c.file), true, true, false, &r);
        ASSERT_EQ(r.status, 1);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const uint8_t* p = r.image->GetData() + static_cast<size_t>(y) * r.image->GetRowByte() + x * r.image->GetChannels();
                ASSERT_EQ(p[0], c.firstSample) << x << "," << y;
                for (int ch = 1; ch < r.image->GetChannels(); ++ch) ASSERT_LE(p[ch], 1);  // JPEG rounding
            }
    }
}

TEST_F(ImageFileTest, SaveJpegAndGifGoThroughTheCodecs)
{
    ImagePtr bgr(testkit::MakePatternImage(24, 16, 3, IMG_LAYOUT_BITMAP, 2));
    QUORVANE_FileInfo info;
    const std::string jpg = Path("saved.jpg");
    info.path = jpg.c_str();
    EXPECT_EQ(SaveJpeg(bgr.get(), nullptr, &info), 0);
    LoadResult back;
    Load(Loader::WMap, jpg, true, true, false, &back);
    EXPECT_EQ(back.status, 1);
    const std::string gif = Path("saved.gif");
    info.path = gif.c_str();
    RECT crop{2, 2, 11, 9};
    EXPECT_EQ(SaveGIF(bgr.get(), &crop, &info), 0);
    LoadResult gifBack;
    Load(Loader::WMap, gif, true, true, false, &gifBack);
    ASSERT_EQ(gifBack.status, 1);
    EXPECT_EQ(gifBack.image->GetWidth(), 10);
    EXPECT_EQ(gifBack.image->GetHeight(), 8);
}

}  // namespace
