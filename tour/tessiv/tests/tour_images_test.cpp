// Published images: the scale for a width limit and pixel budget, the tiling
// (an exact cover of the picture, in the documented order), and real files:
// written through the JPEG codec and decoded by djpeg, the independent
// decoder, to check their sizes, pixels and the preview's descriptor.
#include "tour/tessiv/tour_images.h"

#include "platform/win/dynamic_library.h"
#include "core/logger.h"
#include "testkit/testkit.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/vista.h"
#include "worldmap/codec_binding.h"
#include "worldmap/image_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using ImagePtr = RefPtr<Image>;

std::vector<int> Rect(const TileRect& r) { return {r.x, r.y, r.width, r.height}; }

// A vista as the tour model makes it.
std::unique_ptr<Vista> MakeVista(int kind, int width, int height, int equator, int column, int row, float pan = 0,
                                 float tilt = 0)
{
    auto v = std::make_unique<Vista>();
    v->SetKind(kind);
    v->SetSize(width, height);
    v->SetDescriptor(equator, column, row);
    v->SetInitialView(pan, tilt);
    return v;
}

TEST(TourImageSizes, LimitsPerViewer)
{
    struct Case {
        int fov;
        bool flash;
        int page;
        int reference, panoramaLimit, pictureLimit;
        int64_t budget;
    };
    const Case cases[] = {
        {60, true, 600, 1600, 9600, 3200, 20000000},
        {60, false, 800, 800, 4800, 1600, 10000000},
        {10, true, 600, 1600, 19200, 3200, 20000000},  // the angle is kept within 30..120
        {200, true, 600, 1600, 4800, 3200, 20000000},
        {45, false, 640, 640, 5120, 1280, 10000000},
        {70, false, 700, 700, 3600, 1400, 10000000},
    };
    for (const Case& c : cases) {
        const TourImageSizes s = TourImageSizes::Compute(c.fov, c.flash, c.page);
        EXPECT_EQ(s.referenceWidth, c.reference) << c.fov;
        EXPECT_EQ(s.panoramaWidthLimit, c.panoramaLimit) << c.fov;
        EXPECT_EQ(s.pictureWidthLimit, c.pictureLimit) << c.fov;
        EXPECT_EQ(s.pixelBudget, c.budget) << c.fov;
    }
}

TEST(PublishedImages, PanoramaScaleForTheLimitAndBudget)
{
    struct Case {
        int W, H, E, column, row, limit;
        int64_t budget;
        int eW, eH, eE, eColumn, eRow;
    };
    const Case cases[] = {
        {3000, 667, 3000, 0, 0, 4000, 20000000, 3000, 667, 3000, 0, 0},          // kept: a multiple of 12
        {3001, 600, 3001, 0, 0, 4000, 20000000, 3012, 602, 3012, 0, 0},          // zoom 3011 / 3000
        {12000, 3000, 12000, 0, 0, 9600, 20000000, 8952, 2238, 8952, 0, 0},      // limit, then budget
        {5000, 2000, 10000, 2500, 1500, 4800, 10000000, 2400, 960, 4800, 1200, 720},  // a part of the circle
        {3000, 1500, 3000, 0, 0, 9600, 1000000, 1416, 708, 1416, 0, 0},          // the budget alone
    };
    for (const Case& c : cases) {
        auto vista = MakeVista(2, c.W, c.H, c.E, c.column, c.row);
        VistaImageSet set;
        ASSERT_TRUE(MakeVistaImages("unused.jpg", "c:\\t\\data\\pano.jpg", 60, 40, c.limit, c.budget, 1, vista.get(),
                                    true, &set));
        EXPECT_EQ((std::vector<int>{set.width, set.height, set.equatorWidth, set.column, set.row}),
                  (std::vector<int>{c.eW, c.eH, c.eE, c.eColumn, c.eRow}))
            << c.W << "x" << c.H << " E " << c.E;
        EXPECT_EQ(set.equatorWidth % 12, 0);
        EXPECT_EQ(set.kind, 2);
        ASSERT_GE(set.GetFileCount(), 2);  // a preview and at least one tile
        EXPECT_EQ(set.files.GetName(0), "c:\\t\\data\\pano_d33.jpg");
        EXPECT_EQ(Rect(set.files.GetRect(0)), (std::vector<int>{0, 0, set.width, set.height}));
        EXPECT_EQ(set.files.GetName(1), "c:\\t\\data\\pano_s0.jpg");
    }
}

TEST(PublishedImages, BandsAlongOneAxis)
{
    struct Case {
        int length, centre, tile, half;
        std::vector<std::pair<int, int>> bands;
        int view;
    };
    const Case cases[] = {
        // A rest below half of `half` joins its neighbour at both ends.
        {1000, 500, 304, 152, {{0, 348}, {348, 652}, {652, 1000}}, 1},
        // Rests of their own.
        {1200, 700, 400, 200, {{0, 100}, {100, 500}, {500, 900}, {900, 1200}}, 2},
        // A rest of 60 above joins the band below it.
        {1200, 660, 400, 200, {{0, 460}, {460, 860}, {860, 1200}}, 1},
        // The view at the edge: the first band starts at 0.
        {1200, 50, 400, 200, {{0, 400}, {400, 800}, {800, 1200}}, 0},
        // Not even one band fits below the view.
        {200, 100, 304, 152, {{0, 200}}, 0},
        {600, 240, 300, 150, {{0, 90}, {90, 390}, {390, 600}}, 1},
    };
    for (const Case& c : cases) {
        int view = -1;
        const std::vector<TileBand> bands = LayTileBands(c.length, c.centre, c.tile, c.half, view);
        std::vector<std::pair<int, int>> got;
        for (const TileBand& b : bands) got.emplace_back(b.start, b.end);
        EXPECT_EQ(got, c.bands) << c.length << " " << c.centre;
        EXPECT_EQ(view, c.view) << c.length << " " << c.centre;
    }
}

// The tiles of a panorama cover the scaled picture exactly once, the first
// holds the view, rows run from the view's row down and wrap to the top,
// and each row runs from the view's column in the spin direction, around.
TEST(PublishedImages, PanoramaTilesCoverThePictureExactlyInOrder)
{
    struct Case {
        int W, H, E;
        float pan, tilt;
        double hAngle, vAngle;
        bool rightward;
    };
    const Case cases[] = {
        {3600, 1200, 3600, 0.0f, 0.0f, 60, 45, true},
        {3600, 1200, 3600, 0.3f, -0.6f, 60, 45, false},
        {3600, 1200, 3600, -1.0f, -1.0f, 90, 60, true},   // the top-left corner
        {3600, 1200, 3600, 0.99f, 0.99f, 30, 20, false},
        {1000, 250, 1000, 0.1f, 0.2f, 120, 100, true},    // tiles larger than the picture
        {7000, 1000, 14000, 0.5f, 0.1f, 40, 30, true},    // a part of a wider circle
        {301, 97, 301, -0.4f, 0.3f, 60, 40, false},
    };
    for (const Case& c : cases) {
        auto vista = MakeVista(2, c.W, c.H, c.E, 0, 0, c.pan, c.tilt);
        VistaImageSet set;
        ASSERT_TRUE(MakeVistaImages(nullptr, "/t/p.jpg", c.hAngle, c.vAngle, 100000, 1000000000, 0, vista.get(),
                                    c.rightward, &set));
        const int W = set.width, H = set.height;
        std::vector<TileRect> tiles;
        for (int i = 1; i < set.GetFileCount(); ++i) {
            tiles.push_back(set.files.GetRect(i));
            EXPECT_EQ(set.files.GetName(i), "/t/p_s" + std::to_string(i - 1) + ".jpg");
        }
        // Exact cover: inside, pairwise apart, areas adding up to the picture.
        int64_t area = 0;
        for (size_t i = 0; i < tiles.size(); ++i) {
            const TileRect& a = tiles[i];
            ASSERT_TRUE(a.x >= 0 && a.y >= 0 && a.width > 0 && a.height > 0 && a.x + a.width <= W &&
                        a.y + a.height <= H);
            area += int64_t{a.width} * a.height;
            for (size_t j = 0; j < i; ++j) {
                const TileRect& b = tiles[j];
                const bool apart = a.x + a.width <= b.x || b.x + b.width <= a.x || a.y + a.height <= b.y ||
                                   b.y + b.height <= a.y;
                ASSERT_TRUE(apart) << "tiles " << i << " and " << j << " overlap";
            }
        }
        EXPECT_EQ(area, int64_t{W} * H);

        // The first tile holds the view's centre.
        const int cx = static_cast<int>((c.pan + 1.0) * 0.5 * W + 0.5);
        const int cy = static_cast<int>((c.tilt + 1.0) * 0.5 * H + 0.5);
        const TileRect& first = tiles.front();
        EXPECT_TRUE(cx >= first.x && cx <= first.x + first.width && cy >= first.y && cy <= first.y + first.height);

        // Order: the distinct row starts and column starts, each sorted.
        std::set<int> rowSet, columnSet;
        for (const TileRect& t : tiles) {
            rowSet.insert(t.y);
            columnSet.insert(t.x);
        }
        const std::vector<int> rows(rowSet.begin(), rowSet.end()), columns(columnSet.begin(), columnSet.end());
        ASSERT_EQ(tiles.size(), rows.size() * columns.size());
        const int viewRow = static_cast<int>(std::find(rows.begin(), rows.end(), first.y) - rows.begin());
        const int viewColumn = static_cast<int>(std::find(columns.begin(), columns.end(), first.x) - columns.begin());
        const int nr = static_cast<int>(rows.size()), nc = static_cast<int>(columns.size());
        for (int r = 0; r < nr; ++r)
            for (int k = 0; k < nc; ++k) {
                const TileRect& t = tiles[static_cast<size_t>(r * nc + k)];
                EXPECT_EQ(t.y, rows[(viewRow + r) % nr]);
                const int column = c.rightward ? (viewColumn + k) % nc : (viewColumn - k + nc) % nc;
                EXPECT_EQ(t.x, columns[column]);
            }
    }
}

TEST(PublishedImages, PictureTilesAndNames)
{
    struct Case {
        int W, H, limit;
        int64_t budget;
        std::vector<std::string> names;
        std::vector<std::vector<int>> rects;
    };
    const Case cases[] = {
        {900, 900, 3200, 20000000, {"/t/ph.jpg"}, {{0, 0, 900, 900}}},
        {1200, 800, 3200, 20000000,
         {"/t/ph_d22.jpg", "/t/ph_s0.jpg", "/t/ph_s1.jpg"},
         {{0, 0, 1200, 800}, {0, 0, 600, 800}, {600, 0, 600, 800}}},
        {2000, 1501, 3200, 20000000,
         {"/t/ph_d22.jpg", "/t/ph_s0.jpg", "/t/ph_s1.jpg", "/t/ph_s2.jpg", "/t/ph_s3.jpg"},
         {{0, 0, 2000, 1501}, {0, 0, 1000, 750}, {1000, 0, 1000, 750}, {0, 750, 1000, 751}, {1000, 750, 1000, 751}}},
        {4000, 3000, 3200, 20000000,  // scaled to the limit
         {"/t/ph_d22.jpg", "/t/ph_s0.jpg", "/t/ph_s1.jpg", "/t/ph_s2.jpg", "/t/ph_s3.jpg"},
         {{0, 0, 3200, 2400}, {0, 0, 1600, 1200}, {1600, 0, 1600, 1200}, {0, 1200, 1600, 1200},
          {1600, 1200, 1600, 1200}}},
        {4000, 3000, 3200, 5000000,  // and to the budget
         {"/t/ph_d22.jpg", "/t/ph_s0.jpg", "/t/ph_s1.jpg", "/t/ph_s2.jpg", "/t/ph_s3.jpg"},
         {{0, 0, 2582, 1936}, {0, 0, 1291, 968}, {1291, 0, 1291, 968}, {0, 968, 1291, 968},
          {1291, 968, 1291, 968}}},
        {3000, 4000, 3200, 1,  // not wider than the limit: never scaled
         {"/t/ph_d22.jpg", "/t/ph_s0.jpg", "/t/ph_s1.jpg", "/t/ph_s2.jpg", "/t/ph_s3.jpg"},
         {{0, 0, 3000, 4000}, {0, 0, 1500, 2000}, {1500, 0, 1500, 2000}, {0, 2000, 1500, 2000},
          {1500, 2000, 1500, 2000}}},
    };
    for (int kind : {1, 4})
        for (const Case& c : cases) {
            auto vista = MakeVista(kind, c.W, c.H, 0, 0, 0);
            VistaImageSet set;
            ASSERT_TRUE(MakeVistaImages("x", "/t/ph.tif", 60, 40, c.limit, c.budget, 1, vista.get(), true, &set));
            std::vector<std::string> names;
            std::vector<std::vector<int>> rects;
            for (int i = 0; i < set.GetFileCount(); ++i) {
                names.push_back(set.files.GetName(i));
                rects.push_back(Rect(set.files.GetRect(i)));
            }
            EXPECT_EQ(names, c.names) << c.W << "x" << c.H;
            EXPECT_EQ(rects, c.rects) << c.W << "x" << c.H;
            EXPECT_EQ(set.kind, kind);
        }
}

TEST(PublishedImages, OtherKindsPublishNothing)
{
    for (int kind : {0, 3, 5, 7}) {
        auto vista = MakeVista(kind, 1000, 500, 1000, 0, 0);
        VistaImageSet set;
        EXPECT_FALSE(MakeVistaImages("x.jpg", "/t/p.jpg", 60, 40, 9600, 20000000, 1, vista.get(), true, &set));
        EXPECT_EQ(set.GetFileCount(), 0);
    }
}

// A panorama whose descriptor cannot place or scale it is published exactly
// as the same picture would be, with one error line.
TEST(PublishedImages, UnusableDescriptorTilesAFlatPicture)
{
    struct Case {
        int equator, column, row;
    };
    const Case cases[] = {{0, 0, 0}, {1, 0, 0}, {3, 0, 0}, {2400, -1, 0}, {2400, 2400, 0}, {2400, 0, 1200},
                          {2400, 0, -5}};
    auto flat = MakeVista(1, 1200, 800, 0, 0, 0);
    VistaImageSet expected;
    ASSERT_TRUE(MakeVistaImages("x", "/t/p.jpg", 60, 40, 3200, 20000000, 1, flat.get(), true, &expected));
    ASSERT_EQ(expected.GetFileCount(), 3);
    for (const Case& c : cases) {
        auto pano = MakeVista(2, 1200, 800, c.equator, c.column, c.row);
        VistaImageSet set;
        LogCapture log;
        ASSERT_TRUE(MakeVistaImages("x", "/t/p.jpg", 60, 40, 3200, 20000000, 1, pano.get(), true, &set))
            << c.equator << " " << c.column << " " << c.row;
        EXPECT_EQ(log.errorCount(), 1);
        EXPECT_TRUE(log.contains("ERROR PanoramaTiles"));
        EXPECT_EQ(set.width, 1200);
        EXPECT_EQ(set.height, 800);
        ASSERT_EQ(set.GetFileCount(), expected.GetFileCount());
        for (int i = 0; i < set.GetFileCount(); ++i) {
            EXPECT_EQ(set.files.GetName(i), expected.files.GetName(i));
            EXPECT_EQ(Rect(set.files.GetRect(i)), Rect(expected.files.GetRect(i)));
        }
    }
    // The smallest usable descriptor is still a panorama.
    auto pano = MakeVista(2, 1200, 800, 4, 3, 1);
    VistaImageSet set;
    LogCapture log;
    EXPECT_TRUE(MakeVistaImages("x", "/t/p.jpg", 60, 40, 3200, 20000000, 1, pano.get(), true, &set));
    EXPECT_EQ(log.errorCount(), 0);
    EXPECT_EQ(set.files.GetName(0), "/t/p_d33.jpg");
}

TEST(TileTable, FillsInOrderAndRenames)
{
    TileTable table(3);
    EXPECT_TRUE(table.Add({1, 2, 3, 4}, "a.jpg", false));
    EXPECT_TRUE(table.Add({5, 6, 7, 8}, "dir\\b.c.jpg", true));
    EXPECT_TRUE(table.Add({0, 0, 1, 1}, "noext", true));
    EXPECT_FALSE(table.Add({9, 9, 9, 9}, "d.jpg", false));  // full
    EXPECT_EQ(table.GetName(0), "a.jpg");
    EXPECT_EQ(table.GetName(1), "dir\\b.c.QuorvaneTour");
    EXPECT_EQ(table.GetName(2), "noextQuorvaneTour");
    EXPECT_EQ(Rect(table.GetRect(1)), (std::vector<int>{5, 6, 7, 8}));
    EXPECT_EQ(table.GetFilled(), 3);
}

TEST(TileTable, CropCopiesRowsFromTheCorner)
{
    ImagePtr source = ImagePtr::adopt(testkit::MakePatternImage(9, 7, 3, IMG_LAYOUT_BITMAP));
    ImagePtr crop = ImagePtr::adopt(CropImage(source.get(), 2, 1, 7, 5));
    ASSERT_TRUE(crop);
    ASSERT_EQ(crop->GetWidth(), 5);
    ASSERT_EQ(crop->GetHeight(), 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5 * 3; ++x)
            EXPECT_EQ(crop->GetData()[y * crop->GetRowByte() + x], source->GetData()[(y + 1) * source->GetRowByte() + 6 + x]);
    LogCapture log;
    EXPECT_EQ(CropImage(source.get(), 2, 1, 10, 5), nullptr);  // past the right edge
    EXPECT_EQ(CropImage(source.get(), 3, 1, 3, 5), nullptr);   // empty
    EXPECT_EQ(log.errorCount(), 2);
}

// ---- Real files ---------------------------------------------------------------------------------

// Binds the JPEG codec from the build for the image-file functions.
class PublishedFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testkit::RequireTool("djpeg"));
        ReleaseIOModule();
        SetDllDirectoryA(fs::path(FENDRAKE_JPEGKIT_LIBRARY).parent_path().c_str());
    }
    void TearDown() override
    {
        ReleaseIOModule();
        SetDllDirectoryA(nullptr);
    }

    // A smooth colourful picture (blue, green, red samples): JPEG keeps it
    // well, while a shift of one pixel changes it clearly.
    static ImagePtr Smooth(int width, int height)
    {
        ImagePtr image = ImagePtr::adopt(new Image(width, height, 3));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint8_t* p = image->GetData() + static_cast<size_t>(y) * image->GetRowByte() + 3 * x;
                p[2] = static_cast<uint8_t>(128 + 100 * std::sin(x * 0.27 + y * 0.05));
                p[1] = static_cast<uint8_t>(128 + 100 * std::sin(y * 0.31 - x * 0.03));
                p[0] = static_cast<uint8_t>(128 + 90 * std::sin((x + y) * 0.19));
            }
        return image;
    }

    // The picture as djpeg decodes it (red, green, blue).
    ImagePtr Decode(const std::string& jpeg)
    {
        const std::string ppm = m_dir.file("decoded_" + std::to_string(m_decoded++) + ".ppm");
        const testkit::CommandResult r = testkit::Run("djpeg -pnm -outfile '" + ppm + "' '" + jpeg + "'");
        EXPECT_EQ(r.status, 0) << r.output;
        return ImagePtr::adopt(testkit::ReadPnm(ppm));
    }

    // Mean absolute difference of `tile` against the rectangle of `picture`
    // at (x, y).
    static double MeanDifference(const Image& tile, const Image& picture, int x, int y)
    {
        double sum = 0;
        const int n = tile.GetWidth() * 3;
        for (int row = 0; row < tile.GetHeight(); ++row) {
            const uint8_t* a = tile.GetData() + static_cast<size_t>(row) * tile.GetRowByte();
            const uint8_t* b = picture.GetData() + static_cast<size_t>(row + y) * picture.GetRowByte() + 3 * x;
            for (int i = 0; i < n; ++i) sum += std::abs(int(a[i]) - int(b[i]));
        }
        return sum / (static_cast<double>(n) * tile.GetHeight());
    }

    // Checks that the file holds exactly the rectangle of `picture`: close at
    // its place, clearly farther one pixel off in any direction.
    void ExpectTileOf(const std::string& file, const Image& picture, const TileRect& r, double shiftFloor)
    {
        ImagePtr tile = Decode(file);
        ASSERT_TRUE(tile) << file;
        ASSERT_EQ(tile->GetWidth(), r.width) << file;
        ASSERT_EQ(tile->GetHeight(), r.height) << file;
        const double here = MeanDifference(*tile, picture, r.x, r.y);
        EXPECT_LT(here, 2.5) << file;
        const int shifts[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
        for (const auto& s : shifts) {
            const int x = r.x + s[0], y = r.y + s[1];
            if (x < 0 || y < 0 || x + r.width > picture.GetWidth() || y + r.height > picture.GetHeight()) continue;
            EXPECT_GT(MeanDifference(*tile, picture, x, y), std::max(shiftFloor, 3 * here)) << file;
        }
    }

    // The payload of the JPEG comment segment of `length` bytes, read from
    // the file's markers.
    static std::vector<uint8_t> CommentPayload(const std::string& path, size_t length)
    {
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (size_t i = 2; i + 4 <= b.size() && b[i] == 0xFF;) {
            const uint8_t marker = b[i + 1];
            const size_t segment = (size_t{b[i + 2]} << 8) | b[i + 3];
            if (marker == 0xFE && segment == length + 2) return {b.begin() + i + 4, b.begin() + i + 4 + length};
            if (marker == 0xDA) break;
            i += 2 + segment;
        }
        return {};
    }

    testkit::TempDir m_dir;
    int m_decoded = 0;
};

TEST_F(PublishedFiles, PanoramaTilesHoldTheirPartOfThePicture)
{
    // A panorama file with its descriptor: 1200 pixels of a full circle.
    const std::string source = m_dir.file("hall.jpg");
    ImagePtr picture = Smooth(1200, 600);
    WMapRecord descriptor;
    descriptor.equatorWidth = 1200;
    descriptor.mapType = 2;
    ASSERT_EQ(SaveTourImage(picture.get(), source.c_str(), &descriptor, 0), 0);
    ImagePtr reference = Decode(source);
    ASSERT_TRUE(reference);

    fs::create_directories(m_dir.path() / "tour" / "data_t");
    // The publisher names files Windows-style under the publish folder.
    const std::string published = (m_dir.path() / "tour").string() + "\\data_t\\hall.jpg";
    auto vista = MakeVista(2, 1200, 600, 1200, 0, 0, 0.1f, -0.2f);
    VistaImageSet sizes;
    ASSERT_TRUE(MakeVistaImages(source.c_str(), published.c_str(), 60, 45, 9600, 20000000, 0, vista.get(), true,
                                &sizes));
    ASSERT_TRUE(MakeVistaImages(source.c_str(), published.c_str(), 60, 45, 9600, 20000000, 0, vista.get(), true,
                                nullptr));

    // Exactly the files the size-only mode lists: the preview and 3 x 3 tiles.
    const fs::path data = m_dir.path() / "tour" / "data_t";
    std::set<std::string> written, listed;
    for (const auto& entry : fs::directory_iterator(data)) written.insert(entry.path().filename().string());
    for (int i = 0; i < sizes.GetFileCount(); ++i) listed.insert(sizes.files.GetName(i).substr(published.size() - 8));
    EXPECT_EQ(written, listed);
    ASSERT_EQ(sizes.GetFileCount(), 10);

    for (int i = 1; i < sizes.GetFileCount(); ++i)
        ExpectTileOf((data / ("hall_s" + std::to_string(i - 1) + ".jpg")).string(), *reference,
                     sizes.files.GetRect(i), 8.0);
    // The first tile is the view's: half a tile (400 x 304) before the view's
    // centre (660, 240).
    EXPECT_EQ(Rect(sizes.files.GetRect(1)), (std::vector<int>{460, 88, 400, 304}));

    // The preview: one third of the picture, each pixel the mean of its 3 x 3 block.
    const std::string previewFile = (data / "hall_d33.jpg").string();
    ImagePtr preview = Decode(previewFile);
    ASSERT_TRUE(preview);
    ASSERT_EQ(preview->GetWidth(), 400);
    ASSERT_EQ(preview->GetHeight(), 200);
    double sum = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 400; ++x)
            for (int c = 0; c < 3; ++c) {
                int block = 0;
                for (int dy = 0; dy < 3; ++dy)
                    for (int dx = 0; dx < 3; ++dx)
                        block += reference->GetData()[(3 * y + dy) * reference->GetRowByte() + 3 * (3 * x + dx) + c];
                sum += std::abs(preview->GetData()[y * preview->GetRowByte() + 3 * x + c] - block / 9.0);
            }
    EXPECT_LT(sum / (400.0 * 200 * 3), 4.0);

    // Its descriptor: "kqvz", the equator width, column and row at a third,
    // map type 2 and the full-circle byte.
    const std::vector<uint8_t> payload = CommentPayload(previewFile, 22);
    ASSERT_EQ(payload.size(), 22u);
    const std::vector<uint8_t> expected = {'k', 'q', 'v', 'z', 0x90, 1, 0, 0, 0, 0, 0, 0,
                                           0,   0,   0,   0,   2,    0, 0, 0, 1, 0};
    EXPECT_EQ(payload, expected);
}

TEST_F(PublishedFiles, ColourAdjustmentIsApplied)
{
    const std::string source = m_dir.file("room.jpg");
    ImagePtr picture = Smooth(480, 240);
    WMapRecord descriptor;
    descriptor.equatorWidth = 480;
    descriptor.mapType = 2;
    ASSERT_EQ(SaveTourImage(picture.get(), source.c_str(), &descriptor, 0), 0);
    ImagePtr reference = Decode(source);
    ASSERT_TRUE(reference);
    for (int i = 0; i < reference->GetRowByte() * reference->GetHeight(); ++i)
        reference->GetData()[i] = static_cast<uint8_t>(std::min(255, reference->GetData()[i] + 30));

    auto vista = MakeVista(2, 480, 240, 480, 0, 0);
    ASSERT_TRUE(vista->GetColorCtrl(true)->SetBrightness(30, 3));
    const std::string published = m_dir.file("room.jpg").substr(0, m_dir.file("room.jpg").size() - 8) + "out.jpg";
    VistaImageSet sizes;
    ASSERT_TRUE(MakeVistaImages(source.c_str(), published.c_str(), 60, 45, 9600, 20000000, 0, vista.get(), true,
                                &sizes));
    ASSERT_TRUE(MakeVistaImages(source.c_str(), published.c_str(), 60, 45, 9600, 20000000, 0, vista.get(), true,
                                nullptr));
    for (int i = 1; i < sizes.GetFileCount(); ++i)
        ExpectTileOf(m_dir.file("out_s" + std::to_string(i - 1) + ".jpg"), *reference, sizes.files.GetRect(i), 8.0);
}

TEST_F(PublishedFiles, TurnedPhotographIsCutInHalves)
{
    // A photograph 1200 x 800, turned once: 800 x 1200, so two tiles one above
    // the other and the half-size preview.
    const std::string source = m_dir.file("door.jpg");
    ImagePtr picture = Smooth(1200, 800);
    ASSERT_EQ(SaveTourImage(picture.get(), source.c_str(), nullptr, 0), 0);
    ImagePtr decoded = Decode(source);
    ASSERT_TRUE(decoded);
    // The test's own clockwise turn: (x, y) goes to (H - 1 - y, x).
    ImagePtr turned = ImagePtr::adopt(new Image(800, 1200, 3));
    for (int y = 0; y < 800; ++y)
        for (int x = 0; x < 1200; ++x)
            for (int c = 0; c < 3; ++c)
                turned->GetData()[x * turned->GetRowByte() + 3 * (799 - y) + c] =
                    decoded->GetData()[y * decoded->GetRowByte() + 3 * x + c];

    auto vista = MakeVista(1, 1200, 800, 0, 0, 0);
    ASSERT_TRUE(vista->TurnQuarter());
    const std::string published = m_dir.file("pub.jpg");
    VistaImageSet sizes;
    ASSERT_TRUE(MakeVistaImages(source.c_str(), published.c_str(), 60, 40, 3200, 20000000, 0, vista.get(), true,
                                &sizes));
    ASSERT_TRUE(MakeVistaImages(source.c_str(), published.c_str(), 60, 40, 3200, 20000000, 0, vista.get(), true,
                                nullptr));
    ASSERT_EQ(sizes.GetFileCount(), 3);
    EXPECT_EQ(Rect(sizes.files.GetRect(1)), (std::vector<int>{0, 0, 800, 600}));
    EXPECT_EQ(Rect(sizes.files.GetRect(2)), (std::vector<int>{0, 600, 800, 600}));
    ExpectTileOf(m_dir.file("pub_s0.jpg"), *turned, sizes.files.GetRect(1), 8.0);
    ExpectTileOf(m_dir.file("pub_s1.jpg"), *turned, sizes.files.GetRect(2), 8.0);
    ImagePtr preview = Decode(m_dir.file("pub_d22.jpg"));
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->GetWidth(), 400);
    EXPECT_EQ(preview->GetHeight(), 600);
}

// The third tile fails to save: the vista fails with the file named, the
// files before it stay and nothing after it is written.
int FailThirdTile(const char* path)
{
    return std::string(path).ends_with("_s2.jpg") ? 7 : 0;
}

TEST_F(PublishedFiles, FailedSaveFailsTheVista)
{
    const std::string source = m_dir.file("hall.jpg");
    ImagePtr picture = Smooth(1200, 600);
    WMapRecord descriptor;
    descriptor.equatorWidth = 1200;
    descriptor.mapType = 2;
    ASSERT_EQ(SaveTourImage(picture.get(), source.c_str(), &descriptor, 0), 0);
    auto vista = MakeVista(2, 1200, 600, 1200, 0, 0);
    const fs::path out = m_dir.path() / "out";
    fs::create_directories(out);
    const std::string published = (out / "hall.jpg").string();

    {
        LogCapture log;
        SetSaveTourImageHook(FailThirdTile);
        const bool made =
            MakeVistaImages(source.c_str(), published.c_str(), 60, 45, 9600, 20000000, 0, vista.get(), true, nullptr);
        SetSaveTourImageHook(nullptr);
        EXPECT_FALSE(made);
        EXPECT_TRUE(log.contains("ERROR MakeVistaImages: cannot save " + (out / "hall_s2.jpg").string()));
        std::set<std::string> written;
        for (const auto& entry : fs::directory_iterator(out)) written.insert(entry.path().filename().string());
        EXPECT_EQ(written, (std::set<std::string>{"hall_d33.jpg", "hall_s0.jpg", "hall_s1.jpg"}));
        ASSERT_TRUE(Decode((out / "hall_s1.jpg").string()));
    }

    // A destination folder that does not exist: the preview already fails.
    const std::string nowhere = (m_dir.path() / "missing" / "hall.jpg").string();
    for (int kind : {2, 1}) {
        auto v = MakeVista(kind, 1200, 600, 1200, 0, 0);
        LogCapture log;
        EXPECT_FALSE(MakeVistaImages(source.c_str(), nowhere.c_str(), 60, 45, 9600, 20000000, 0, v.get(), true,
                                     nullptr));
        EXPECT_TRUE(log.contains("cannot save")) << kind;
    }
    // A picture saved whole (no tiles) is checked as well.
    auto small = MakeVista(1, 1200, 600, 0, 0, 0);
    const std::string smallPicture = m_dir.file("small.jpg");
    ImagePtr little = Smooth(300, 200);
    ASSERT_EQ(SaveTourImage(little.get(), smallPicture.c_str(), nullptr, 0), 0);
    LogCapture log;
    EXPECT_FALSE(MakeVistaImages(smallPicture.c_str(), nowhere.c_str(), 60, 45, 3200, 20000000, 0, small.get(), true,
                                 nullptr));
    EXPECT_TRUE(log.contains("cannot save"));
    EXPECT_FALSE(fs::exists(m_dir.path() / "missing"));
}

TEST_F(PublishedFiles, UnreadableSourceMakesNoFiles)
{
    auto vista = MakeVista(2, 1200, 600, 1200, 0, 0);
    LogCapture log;
    EXPECT_FALSE(MakeVistaImages(m_dir.file("missing.jpg").c_str(), m_dir.file("out.jpg").c_str(), 60, 45, 9600,
                                 20000000, 0, vista.get(), true, nullptr));
    EXPECT_TRUE(log.contains("ERROR MakeVistaImages"));
    EXPECT_TRUE(fs::is_empty(m_dir.path()));
}

}  // namespace
