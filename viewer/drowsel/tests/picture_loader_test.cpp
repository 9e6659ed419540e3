// Loading real pictures for the saver: the scale rules on pictures cut from
// the shared test data, panoramas with their descriptors (a block that
// wraps past the map's seam included), the one-eighth preview, and the
// refusals.
#include "viewer/drowsel/picture_loader.h"

#include "tests/drowsel_test_support.h"

namespace {

using namespace drowseltest;

class PictureLoaderTest : public SaverTest {};

::testing::AssertionResult SameRows(const Image& a, const Image& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetChannels() != b.GetChannels())
        return ::testing::AssertionFailure() << a.GetWidth() << "x" << a.GetHeight() << " vs " << b.GetWidth() << "x"
                                             << b.GetHeight();
    for (int y = 0; y < a.GetHeight(); ++y)
        if (std::memcmp(a.GetData() + size_t(y) * a.GetRowByte(), b.GetData() + size_t(y) * b.GetRowByte(),
                        size_t(a.GetWidth()) * a.GetChannels()) != 0)
            return ::testing::AssertionFailure() << "row " << y << " differs";
    return ::testing::AssertionSuccess();
}

TEST_F(PictureLoaderTest, ScaleTableOnRealPictures)
{
    struct Case {
        const char* name;
        const char* source;
        const char* geometry;
        bool panorama;
        int dw, dh, ox, oy;
        bool scrolls, bounces;
    } cases[] = {
        {"unscaled", "plasma-workspace-wallpapers/Path_2560x1600.jpg", "800x600+900+500", false, 800, 600, 112, 84,
         false, true},
        {"wide", "skimage-tutorials-pano/DFM_4209.jpg", "3000x1000+0+400", false, 1613, 538, 0, 115, true, true},
        {"fitted", "plasma-workspace-wallpapers/EveningGlow_2560x1600.jpg", "1200x1000+100+100", false, 829, 691, 97,
         38, false, true},
        // 768 x 70 / (1024 x 100) = 0.525.
        {"panorama", "pannellum/examplepano.jpg", "2048x1024!", true, 1075, 538, 0, 115, true, false},
    };
    for (const Case& c : cases) {
        const std::string path =
            CutPicture(pictures, c.name, c.source, c.geometry, c.panorama ? Descriptor(2048, 0, 0) : Bytes{});
        ImagePtr decoded = Decode(path);
        ASSERT_TRUE(decoded) << c.name;
        drowsel::DisplayPicture loaded;
        ASSERT_TRUE(drowsel::LoadDisplayPicture(path, 1024, 768, 70, false, loaded)) << c.name;
        EXPECT_EQ(loaded.panorama, c.panorama) << c.name;
        EXPECT_EQ(loaded.picture->GetWidth(), c.dw) << c.name;
        EXPECT_EQ(loaded.picture->GetHeight(), c.dh) << c.name;
        EXPECT_EQ(loaded.plan.offsetX, c.ox) << c.name;
        EXPECT_EQ(loaded.plan.offsetY, c.oy) << c.name;
        EXPECT_EQ(loaded.plan.scrolls, c.scrolls) << c.name;
        EXPECT_EQ(loaded.plan.bounces, c.bounces) << c.name;
        // The display image is the decoded picture put through the rule.
        ImagePtr expected(drowsel::ResampleBilinearReference(*decoded, c.dw, c.dh));
        EXPECT_TRUE(SameRows(*loaded.picture, *expected)) << c.name;
    }
}

// A block of 2048 columns placed at column 3000 of a 4096-wide map crosses
// the seam: its data area comes out in two pieces, in picture order.
TEST_F(PictureLoaderTest, PanoramaAcrossTheSeamComesOutWhole)
{
    const std::string path = CutPicture(pictures, "seam", "pannellum/examplepano.jpg", "2048x600!",
                                        Descriptor(4096, 3000, 400));
    ImagePtr decoded = Decode(path);
    ASSERT_TRUE(decoded);
    Image* raw = nullptr;
    WorldMapBase* map = nullptr;
    ASSERT_EQ(viewengine::LoadImageWMapBase(path.c_str(), &raw, &map, true), viewengine::kReadPanorama);
    ImagePtr viaReader(raw);
    ASSERT_TRUE(map);
    ImagePtr area(drowsel::PanoramaDataImage(*map));
    map->Release();
    ASSERT_TRUE(area);
    EXPECT_TRUE(SameRows(*area, *decoded));
}

TEST_F(PictureLoaderTest, PreviewReadsAnEighth)
{
    const std::string path = CutPicture(pictures, "pano", "pannellum/examplepano.jpg", "2048x1024!",
                                        Descriptor(2048, 0, 0));
    drowsel::DisplayPicture loaded;
    ASSERT_TRUE(drowsel::LoadDisplayPicture(path, 152, 112, 70, true, loaded));
    EXPECT_TRUE(loaded.panorama);
    EXPECT_EQ(loaded.sourceWidth, 256);
    EXPECT_EQ(loaded.sourceHeight, 128);
    // 112 x 70 / (128 x 100) = 0.6125: 157 x 78.
    EXPECT_EQ(loaded.picture->GetWidth(), 157);
    EXPECT_EQ(loaded.picture->GetHeight(), 78);
}

TEST_F(PictureLoaderTest, RefusesWhatItCannotShow)
{
    WriteText(pictures.file("junk.jpg"), "not a picture at all");
    const std::string gif = pictures.file("p.gif");
    ASSERT_EQ(testkit::Run("convert -size 20x20 xc:red '" + gif + "'").status, 0);
    const std::string strip =
        CutPicture(pictures, "strip", "pannellum/examplepano.jpg", "600x100!", Descriptor(0, 0, 0, 0, "mjr6"));
    for (const std::string& path : {pictures.file("none.jpg"), pictures.file("junk.jpg"), gif, strip}) {
        drowsel::DisplayPicture loaded;
        LogCapture log;
        EXPECT_FALSE(drowsel::LoadDisplayPicture(path, 1024, 768, 70, false, loaded)) << path;
        EXPECT_FALSE(loaded.picture) << path;
        EXPECT_TRUE(log.contains("ERROR LoadDisplayPicture")) << path << ": " << log.text();
    }
}

}  // namespace
