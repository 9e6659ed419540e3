// The camera-information record on its own: its kind, the correction it
// hands out, the stitch panel's summary text and the update check.
#include "app/matching/cam_info.h"
#include "app/tests/app_test_fixture.h"
#include "platform/imgcore/exif_info.h"
#include "platform/utilkit/fl2_apperture.h"

#include <cmath>
#include <cstring>

namespace {

class CamInfoTest : public AppTest {};

TEST_F(CamInfoTest, KindFollowsTheCalibrationAndTheExifIdentity)
{
    struct Case {
        int calMethod;
        const char* make;
        bool focal;
        bool distortion;
        bool colour;
        int kind;
    };
    const Case cases[] = {
        {0, nullptr, false, false, false, 0}, {0, nullptr, false, true, false, 1}, {0, nullptr, false, false, true, 1},
        {2, nullptr, true, true, true, 2},    {0, "Canon", true, false, false, 2}, {1, "Canon", false, true, true, 3},
        {2, "Canon", true, false, false, 5},  {1, "", true, false, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.calMethod << " " << (c.make ? c.make : "-") << " " << c.focal << " "
                                          << c.distortion << " " << c.colour);
        CamInfo info;
        info.kind = 4;
        info.calMethod = c.calMethod;
        info.SetExifMake(c.make);
        if (c.focal) info.SetFocalLength(24.0f);
        info.hasDistortion = c.distortion;
        info.hasColorRegistration = c.colour;
        info.ComputeKind();
        EXPECT_EQ(info.kind, c.kind);
    }
}

TEST_F(CamInfoTest, CorrectionParamsWriteOnlyWhatTheRecordHolds)
{
    DistortionRecord source;
    source.a = 0.1f;
    source.b = 0.2f;
    source.c = 0.3f;
    source.d = 0.4f;
    source.exifFocalLength = 99.0f;  // not taken by SetCorrection
    for (int i = 0; i < 6; ++i) source.colourRegistration[i] = 1.0f + static_cast<float>(i);
    struct Case {
        bool distortion;
        bool colour;
        bool result;
    };
    for (const Case& c : {Case{false, false, false}, Case{true, false, true}, Case{false, true, true},
                          Case{true, true, true}}) {
        SCOPED_TRACE(::testing::Message() << c.distortion << c.colour);
        CamInfo info;
        info.exifFocalLength = 4.3f;
        info.SetCorrection(&source, c.distortion, c.colour);
        EXPECT_EQ(info.GetDistortion() != nullptr, c.distortion);
        EXPECT_EQ(info.GetColorRegistration() != nullptr, c.colour);
        if (c.colour) {
            EXPECT_EQ(info.GetColorRegistration3(), info.GetColorRegistration() + 3);
            EXPECT_EQ(info.GetColorRegistration3()[0], 4.0f);
        }
        DistortionRecord out;
        const float sentinel = -7.0f;
        out.a = out.b = out.c = out.d = out.exifFocalLength = sentinel;
        for (float& v : out.colourRegistration) v = sentinel;
        EXPECT_EQ(info.GetCorrectionParams(&out), c.result);
        EXPECT_EQ(out.a, c.distortion ? 0.1f : sentinel);
        EXPECT_EQ(out.d, c.distortion ? 0.4f : sentinel);
        EXPECT_EQ(out.exifFocalLength, c.distortion ? 4.3f : sentinel);
        EXPECT_EQ(out.colourRegistration[0], c.colour ? 1.0f : sentinel);
        EXPECT_EQ(out.colourRegistration[5], c.colour ? 6.0f : sentinel);
    }
}

TEST_F(CamInfoTest, TheApertureAngleIsThePortraitAngleOfTheFocalLength)
{
    CamInfo info;
    info.SetFocalLength(24.0f);
    EXPECT_EQ(info.hasFocalLength, 1);
    EXPECT_EQ(info.GetApertureAngle(), FL2Apperture::FL2ApperturePortrait_35mm(24.0f));
    // 24 mm short side at 24 mm: 2 atan(0.5) radians.
    EXPECT_NEAR(info.GetApertureAngle(), 2.0 * std::atan(0.5), 1e-5);
}

TEST_F(CamInfoTest, SummaryTextCutsTheNameAndListsTheCorrection)
{
    struct Case {
        const char* name;
        const char* make;
        const char* model;
        const char* lens;
        bool distortion;
        bool colour;
        size_t size;
        const char* text;
    };
    const Case cases[] = {
        {"Canon1 lens 50mm.camInfo", nullptr, nullptr, nullptr, false, false, 64, "Canon1:\n"},
        {"Nikon.camInfo", nullptr, nullptr, nullptr, true, false, 64, "Nikon:\nDistortion\n"},
        {"ABCDEFGHIJKLM.camInfo", nullptr, nullptr, nullptr, false, true, 64, "ABCDEFGHIJKL:\nAberration\n"},
        {"ABCDEFGHIJKLMNOPQ", nullptr, nullptr, nullptr, false, false, 64, "ABCDEFGHIJKL:\n"},
        {"ab.cd efgh", nullptr, nullptr, nullptr, false, false, 64, "ab.cd:\n"},
        {"Kodak.camInfo", "Kodak", nullptr, nullptr, true, true, 64, "Kodak:\nKodak\n\nDistortion\nAberration\n"},
        {"Pana.camInfo", "Panasonic", "DMC-TZ41", "Raynox", false, false, 64, "Pana:\nPanasonic\nDMC-TZ41Raynox\n"},
        {"Nikon.camInfo", "NIKON CORPORATION", "NIKON D7000", nullptr, true, false, 12, "Nikon:\nNIKO"},
        {nullptr, "Kodak", nullptr, nullptr, true, false, 64, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "(none)");
        CamInfo info;
        info.SetName(c.name);
        info.SetExifMake(c.make);
        info.SetExifModel(c.model);
        if (c.lens) info.SetExternalLens(c.lens);
        info.hasDistortion = c.distortion;
        info.hasColorRegistration = c.colour;
        char buffer[80];
        std::memset(buffer, '#', sizeof buffer);
        info.GetSummaryText(buffer, c.size);
        EXPECT_STREQ(buffer, c.text);
        EXPECT_EQ(buffer[c.size], '#');  // nothing written past the size given
    }
}

TEST_F(CamInfoTest, UpdateCheckRefusesWithItsMessages)
{
    struct Side {
        const char* make;
        const char* model;
        float focal;
        bool lens;
    };
    struct Case {
        Side record;
        Side image;  // make null: the image has no Exif identity
        const char* message;  // null: allowed
    };
    const Case cases[] = {
        {{nullptr, nullptr, 0, false}, {"Canon", "EOS", 18, false},
         "Cannot update camera info file: it does not contain exif info while the calibrating image does!"},
        {{nullptr, nullptr, 0, false}, {nullptr, nullptr, 0, false}, nullptr},
        {{"Canon", "EOS", 18, false}, {nullptr, nullptr, 0, false},
         "Cannot update camera info file: it contains exif info while the calibrating image does not!"},
        {{"Canon", "EOS", 18, false}, {"Nikon", "EOS", 18, false},
         "Cannot update camera info file: its camera make (Canon) \nis different from (Nikon) of the calibrating "
         "image!"},
        {{"Canon", nullptr, 18, false}, {"Canon", "EOS %s", 18, false},
         "Cannot update camera info file: its camera model () \nis different from (EOS %s) of the calibrating image!"},
        {{"Canon", "EOS", 18, false}, {"Canon", "EOS", 24, false},
         "Cannot update camera info file: its image focoal length (18.000000) \nis different from (24.000000) of the "
         "calibrating image!"},
        {{"Canon", "EOS", 18, true}, {"Canon", "EOS", 18, false},
         "Cannot update camera info file: it used external lens \n but the calibrating image does not!"},
        {{nullptr, nullptr, 0, false}, {nullptr, nullptr, 0, true},
         "Cannot update camera info file: it did not use external lens \n but the calibrating image does!"},
        {{"Canon", "EOS", 18, true}, {"Canon", "EOS", 18, true}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message ? c.message : "allowed");
        CamInfo info;
        info.SetExifMake(c.record.make);
        info.SetExifModel(c.record.model);
        info.exifFocalLength = c.record.focal;
        if (c.record.lens) info.SetExternalLens("Raynox");
        ExifInfo exif;
        if (c.image.make) exif.SetMake(c.image.make);
        if (c.image.model) exif.SetModel(c.image.model);
        exif.m_focalLength = c.image.focal;
        if (c.message) Prompter().ExpectMessageBox(c.message, IDOK);
        EXPECT_EQ(info.CheckUpdateAllowed(&exif, c.image.lens), c.message == nullptr);
        EXPECT_EQ(Prompter().Unused().size(), 0u);
    }
}

TEST_F(CamInfoTest, ResetEmptiesTheRecord)
{
    CamInfo info;
    info.SetName("a.camInfo");
    info.SetComment("c");
    info.SetExternalLens("lens");
    info.SetFocalLength(20.0f);
    info.calMethod = 1;
    info.kind = 5;
    info.Reset();
    EXPECT_EQ(info.GetName(), nullptr);
    EXPECT_EQ(info.GetComment(), nullptr);
    EXPECT_EQ(info.GetExternalLensName(), nullptr);
    EXPECT_EQ(info.externalLens, 0);
    EXPECT_EQ(info.hasFocalLength, 0);
    EXPECT_EQ(info.GetFocalLength(), 0.0f);
    EXPECT_EQ(info.calMethod, 0);
    EXPECT_EQ(info.kind, 0);
    EXPECT_EQ(info.exifWd2Ht, 0.75f);
    info.SetExternalLens(nullptr);
    EXPECT_EQ(info.externalLens, 1);
    EXPECT_EQ(info.GetExternalLensName(), nullptr);
}

}  // namespace
