// One frame: rotation codes with the images turned, the blend method bits,
// remapping through the colour tables (blue, green, red samples), names,
// merge rules and the Exif record read from a real camera file.
#include "projectgraph/framegrp/image_frame.h"

#include "imaging/image.h"
#include "platform/imgcore/exif_info.h"
#include "platform/panocore/img_info.h"
#include "core/logger.h"
#include "projectgraph/framegrp/neighbor.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Images are born with their creator's reference; the test drops its own
// with ReleaseImage once the frame holds one.
Image* Copy(const Image* image)
{
    return image->Duplicate();
}

template <class Setter>
void HandOver(Image* image, Setter set)
{
    set(image);
    ReleaseImage(image);
}

TEST(ImageFrame, NewFrameDefaults)
{
    ImageFrame f;
    EXPECT_EQ(f.GetBlendWidth(), 10);
    EXPECT_EQ(f.GetBlendLine(), 50);
    EXPECT_EQ(f.GetImageRotationAngle(), 0);
    EXPECT_EQ(f.GetState(), 0);
    EXPECT_EQ(f.GetName(), nullptr);
    EXPECT_EQ(f.GetShortName(), nullptr);
    ASSERT_NE(f.GetImgInfo(), nullptr);
    EXPECT_NE(f.GetImgInfo()->GetParams()->colorTable, nullptr) << "the colour table is filled at construction";
    EXPECT_EQ(f.getExifInfo(false), nullptr);
}

TEST(ImageFrame, RotationCodesTurnTheImagesWithThem)
{
    struct Case {
        std::vector<int> turns;
        int angle;  // GetImageRotationAngle afterwards
    };
    const Case cases[] = {
        {{90}, 90},           {{90, 90}, 180},  {{90, 90, 90}, -90}, {{90, 90, 90, 90}, 0},
        {{180}, 180},         {{-90}, -90},     {{180, -90}, 90},    {{-90, -90}, 180},
        {{270}, 0},           {{-180}, 0},      {{270, 90}, 90},     {{0}, 0},
        {{45, 90}, 90},
    };
    Image* original = testkit::MakePatternImage(7, 4, 3);
    for (const Case& c : cases) {
        ImageFrame f;
        HandOver(Copy(original), [&](Image* i) { f.SetImage(i, false); });
        HandOver(Copy(original), [&](Image* i) { f.SetWarpedImage(i); });
        HandOver(Copy(original), [&](Image* i) { f.SetStampImage(i); });
        Image* reference = Copy(original);
        for (int t : c.turns) {
            f.RotateImage(t);
            reference->Rotate(t);  // turns and mirrors alike; other codes change nothing
        }
        EXPECT_EQ(f.GetImageRotationAngle(), c.angle);
        // Every image held is turned (or mirrored) exactly as asked.
        EXPECT_TRUE(testkit::SamePixels(*f.GetImage(), *reference));
        EXPECT_TRUE(testkit::SamePixels(*f.GetWarpedBmp(), *reference));
        EXPECT_TRUE(testkit::SamePixels(*f.GetThumbSource(), *reference));
        ReleaseImage(reference);
        // The image handed over later is turned to the frame's rotation.
        HandOver(Copy(original), [&](Image* i) { f.SetImage(i, true); });
        Image* expected = Copy(original);
        if (c.angle) expected->Rotate(c.angle);
        EXPECT_TRUE(testkit::SamePixels(*f.GetImage(), *expected));
        ReleaseImage(expected);
    }
    ReleaseImage(original);
}

TEST(ImageFrame, ImagesAreHeldByReference)
{
    ImageFrame f;
    Image* image = testkit::MakePatternImage(4, 4, 1);  // the test's own reference
    f.SetImage(image, false);
    EXPECT_EQ(image->m_refCount, 2);
    f.SetImage(image, false);  // setting the image held again keeps it alive
    EXPECT_EQ(image->m_refCount, 2);
    f.SetBeamDownState(true);
    f.RemoveOrgImage();
    EXPECT_EQ(f.GetImage(), nullptr);
    EXPECT_FALSE(f.IsBeamDown());
    EXPECT_EQ(image->m_refCount, 1);
    ReleaseImage(image);
}

TEST(ImageFrame, BlendMethodBits)
{
    ImageFrame f;
    const int methods[][2] = {{1, 1}, {2, 2}, {3, 0}, {0, 0}, {255, 0}};
    for (const auto& m : methods) {
        f.SetBlendMethod(static_cast<unsigned char>(m[0]));
        EXPECT_EQ(f.GetBlendMethod(), m[1]) << m[0];
    }
    f.SetBlendMethod(2);
    EXPECT_EQ(f.GetState() & 0x600, 0x400);
}

// Distinct tables per channel, so that a sample sent through the wrong table shows.
void MakeChannelsDiffer(ImageFrame& f)
{
    ColorCtrl* cc = f.GetColorCtrl();
    cc->SetBrightness(60, 0);   // red
    cc->SetBrightness(-50, 2);  // blue
    cc->SetGamma(1.8f, 1);      // green
    cc->RecomputeMap();
}

TEST(ImageFrame, RemapSendsBlueGreenRedSamplesThroughTheirTables)
{
    ImageFrame f;
    MakeChannelsDiffer(f);
    unsigned char *red, *green, *blue;
    f.GetColorTable_Manu(&red, &green, &blue);
    int differ = 0;
    for (int i = 0; i < 256; ++i) differ += (red[i] != blue[i]) + (green[i] != blue[i]) + (red[i] != green[i]);
    ASSERT_GT(differ, 200) << "the tables must differ for this test to mean anything";

    for (int channels : {3, 1}) {
        SCOPED_TRACE(channels);
        Image* source = testkit::MakePatternImage(9, 5, channels, IMG_LAYOUT_BITMAP);
        Image* target = Copy(source);
        target->Fill(0);
        f.RemapImage(target, source);
        for (int y = 0; y < source->GetHeight(); ++y) {
            const unsigned char* s = source->GetData() + static_cast<size_t>(y) * source->GetRowByte();
            const unsigned char* d = target->GetData() + static_cast<size_t>(y) * target->GetRowByte();
            for (int x = 0; x < source->GetWidth(); ++x) {
                if (channels == 1) {
                    ASSERT_EQ(d[x], blue[s[x]]);  // grey goes through the blue table
                } else {
                    ASSERT_EQ(d[3 * x], blue[s[3 * x]]);
                    ASSERT_EQ(d[3 * x + 1], green[s[3 * x + 1]]);
                    ASSERT_EQ(d[3 * x + 2], red[s[3 * x + 2]]);
                }
            }
        }
        // In place: the same result.
        Image* inPlace = Copy(source);
        f.RemapImage(inPlace, nullptr);
        EXPECT_TRUE(testkit::SamePixels(*inPlace, *target));
        ReleaseImage(inPlace);
        ReleaseImage(target);
        ReleaseImage(source);
    }

    // A size mismatch is refused, and the target stays as it was.
    Image* a = testkit::MakePatternImage(4, 4, 3);
    Image* b = testkit::MakePatternImage(5, 4, 3);
    Image* before = Copy(a);
    LogCapture log;
    f.RemapImage(a, b);
    EXPECT_TRUE(log.contains("ERROR ImageFrame::RemapImage"));
    EXPECT_TRUE(testkit::SamePixels(*a, *before));
    ReleaseImage(a);
    ReleaseImage(b);
    ReleaseImage(before);
}

TEST(ImageFrame, StampFollowsTheColourTables)
{
    ImageFrame f;
    Image* source = testkit::MakePatternImage(8, 6, 3);
    f.SetStampImage(source);
    EXPECT_TRUE(testkit::SamePixels(*f.GetStampBmp(), *source)) << "neutral tables copy the source";
    MakeChannelsDiffer(f);
    f.RemapImages();
    Image* expected = Copy(source);
    f.RemapImage(expected, nullptr);
    EXPECT_TRUE(testkit::SamePixels(*f.GetStampBmp(), *expected));
    EXPECT_TRUE(testkit::SamePixels(*f.GetThumbSource(), *source)) << "the source itself is kept unmapped";
    ReleaseImage(expected);
    ReleaseImage(source);
}

TEST(ImageFrame, AutomaticColourTableHoldsBlueGreenRed)
{
    ImageFrame f;
    MakeChannelsDiffer(f);
    f.ResetAotoColorTab();
    unsigned char *red, *green, *blue;
    f.GetColorTable_Manu(&red, &green, &blue);
    const unsigned char* table = f.GetImgInfo()->GetParams()->colorTable;
    ASSERT_NE(table, nullptr);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(table[3 * i], blue[i]);
        ASSERT_EQ(table[3 * i + 1], green[i]);
        ASSERT_EQ(table[3 * i + 2], red[i]);
    }
}

TEST(ImageFrame, ShortNames)
{
    const struct {
        const char* name;
        const char* shortName;
    } cases[] = {
        {"C:\\pano\\a.jpg", "a.jpg"},   {"dir\\sub/b.jpg", "b.jpg"}, {"a/b\\c.jpg", "c.jpg"},
        {"plain.jpg", "plain.jpg"},     {"folder/", ""},              {"", ""},
    };
    for (const auto& c : cases) {
        ImageFrame f;
        f.SetName(c.name);
        EXPECT_STREQ(f.GetShortName(), c.shortName) << c.name;
        EXPECT_STREQ(f.GetName(), c.name);
    }
    ImageFrame f;
    f.SetName("x");
    f.SetName(nullptr);
    EXPECT_EQ(f.GetName(), nullptr);
    EXPECT_EQ(f.GetShortName(), nullptr);
}

TEST(ImageFrame, MergeRules)
{
    ImageFrame a, b, c, d;
    a.AddNeighbor(&b);
    a.AddNeighbor(&c);
    c.AddNeighbor(&d);
    a.SetMerged(&b);
    a.SetMerged(&c);
    c.SetMerged(&d);
    EXPECT_TRUE(a.IsMergedPair(&b));
    EXPECT_TRUE(b.IsMergedPair(&a));
    EXPECT_TRUE(b.IsMerged());

    // a keeps its mark while it is still merged with c; b loses its own.
    a.SetNotMerged(&b);
    EXPECT_FALSE(a.IsMergedPair(&b));
    EXPECT_FALSE(b.IsMergedPair(&a));
    EXPECT_TRUE(a.IsMerged());
    EXPECT_FALSE(b.IsMerged());
    EXPECT_FALSE(a.IsMergedPair(&d)) << "no link, no pair";

    // Clearing all of a: c stays merged through d.
    a.SetNotMergedAll();
    EXPECT_FALSE(a.IsMerged());
    EXPECT_FALSE(c.IsMergedPair(&a));
    EXPECT_TRUE(c.IsMerged());
    EXPECT_TRUE(c.IsMergedPair(&d));
    c.SetNotMerged(&d);
    EXPECT_FALSE(c.IsMerged());
    EXPECT_FALSE(d.IsMerged());
}

TEST(ImageFrame, ExifIsReadFromTheFrameNameOnRequest)
{
    ImageFrame f;
    f.SetName(testkit::TestData("huginsample-durlach/half/P1060375.JPG").c_str());
    EXPECT_EQ(f.getExifInfo(false), nullptr) << "nothing read yet";
    ExifInfo* exif = f.getExifInfo(true);
    ASSERT_NE(exif, nullptr);
    EXPECT_FLOAT_EQ(exif->m_focalLength, 4.3f);
    EXPECT_STREQ(exif->GetModel(), "DMC-TZ41");
    EXPECT_EQ(f.getExifInfo(false), exif) << "kept with the frame";

    ImageFrame noExif;
    noExif.SetName(testkit::TestData("pillow/jpeg/hopper.jpg").c_str());
    EXPECT_EQ(noExif.getExifInfo(true), nullptr);
    EXPECT_EQ(noExif.getExifInfo(true), nullptr) << "the empty record stays; not read again";
}

TEST(ImageFrame, NeighbourFramesOfTheFirstTwoLinks)
{
    ImageFrame a, b, c, d;
    IImageFrame* out[2] = {nullptr, nullptr};
    EXPECT_EQ(a.GetNeighborFramesRL(out), 0);
    a.AddNeighbor(&b);
    a.AddNeighbor(&c);
    a.AddNeighbor(&d);
    EXPECT_EQ(a.GetNeighborFramesRL(out), 2);
    EXPECT_EQ(out[0], static_cast<IImageFrame*>(&b));
    EXPECT_EQ(out[1], static_cast<IImageFrame*>(&c));
    EXPECT_EQ(d.GetNeighborFramesRL(out), 1);
    EXPECT_EQ(out[0], static_cast<IImageFrame*>(&a));
}

}  // namespace

TEST(ImageFrame, IoWritesOneBlockAndReportsAFullDisk)
{
    ImageFrame f;
    f.SetName("C:\\pano\\img_1.jpg");
    f.SetStampLocation(12, -7);
    f.SetBlendWidth(33);
    f.GetColorCtrl()->SetGamma(1.8f, 1);
    testkit::TempDir dir;
    const std::string path = dir.file("frame.bin");
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(f.IO(out, true, 0));
    std::fclose(out);

    ImageFrame g;
    FILE* in = std::fopen(path.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    EXPECT_TRUE(g.IO(in, false, 0));
    EXPECT_EQ(std::fgetc(in), EOF) << "the reader stops right after the closing entry";
    std::fclose(in);
    EXPECT_STREQ(g.GetName(), "C:\\pano\\img_1.jpg");
    short x = 0, y = 0;
    g.GetStampLocation(&x, &y);
    EXPECT_EQ(x, 12);
    EXPECT_EQ(y, -7);
    EXPECT_EQ(g.GetBlendWidth(), 33);
    EXPECT_FLOAT_EQ(g.GetColorCtrl()->GetGamma(1), 1.8f);

    // The block is far smaller than the stream's buffer: only a flush can
    // show that the device is full.
    FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    LogCapture log;
    EXPECT_FALSE(f.IO(full, true, 0));
    EXPECT_TRUE(log.contains("ERROR ImageFrame::IO"));
    std::fclose(full);
}
