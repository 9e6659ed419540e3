// The decisions built on an image set's Exif summary, as tables over the six
// summary states, with and without a camera-information record and with the
// use-Exif flag on and off; every message box is scripted with its exact text.
#include "app/matching/cam_info.h"
#include "app/matching/cam_info_checks.h"
#include "app/matching/exif_summary.h"
#include "platform/win/tests/win_test_fixture.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kMultiModel = "Cannot use any camInfo file!\nImages are from multiple camera models!";
constexpr const char* kMixed = "Cannot use any camInfo file!\nImages have different focal lengths and some do not have exif!";

ExifSummary Summary(int state, int imageCount, float minFocal = 5.8f, float maxFocal = 17.4f)
{
    ExifSummary s;
    s.state = state;
    s.imageCount = imageCount;
    s.minFocal = minFocal;
    s.maxFocal = maxFocal;
    if (state != 0) {
        // The second identity sorts first in the map: the text must take id 1, not the first key.
        s.modelIds["Apex:Z1"] = 2;
        s.modelIds["Canon:PowerShot S45"] = 1;
    }
    return s;
}

// Record kinds of the tables.
enum class Rec { None, Calibrated, Uncalibrated, CalibratedNoExifFocal, UncalibratedNoExifFocal };

std::optional<CamInfo> Record(Rec kind)
{
    if (kind == Rec::None) return std::nullopt;
    CamInfo info;
    info.SetExifMake("Canon");
    info.SetExifModel("PowerShot S45");
    const bool calibrated = kind == Rec::Calibrated || kind == Rec::CalibratedNoExifFocal;
    info.hasFocalLength = calibrated ? 1 : 0;
    info.exifFocalLength = (kind == Rec::Calibrated || kind == Rec::Uncalibrated) ? 7.1f : 0.0f;
    return info;
}

class CamInfoChecksTest : public WinTest {};

TEST_F(CamInfoChecksTest, SummaryTextForEveryState)
{
    struct Case {
        int state, images;
        const char* text;
    };
    const std::vector<Case> cases = {
        {0, 0, "No image in Pellicot!"},
        {0, 4, "No Exif info in all images: make sure proper selection of Camera Info file or focal length!"},
        {1, 4, "Camera model: Canon:PowerShot S45\nCamera model# > 1?: please verify image set!"},
        {2, 4,
         "Camera model: Canon:PowerShot S45\nSome images have no Exif info (the rest have different focal lengths): "
         "will not use Exif info!"},
        {3, 4,
         "Camera model: Canon:PowerShot S45\nSome image(s) have no Exif info (the rest have same focal length=5.8): "
         "will not use Exif info!"},
        {4, 4, "Camera model: Canon:PowerShot S45\nImages have different focal lengths: 5.8-17.4"},
        {5, 4, "Camera model: Canon:PowerShot S45\nImages have same focal length: 5.8"},
        {7, 4, "Camera model: Canon:PowerShot S45\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        const ExifSummary s = Summary(c.state, c.images);
        EXPECT_EQ(ExifSummaryText(&s), c.text);
    }
}

TEST_F(CamInfoChecksTest, FocalSourceTable)
{
    struct Case {
        const char* label;
        int state, images;
        Rec rec;
        bool useExif;
        int choice;
        uint8_t e0, e1, e2;
    };
    const std::vector<Case> cases = {
        {"empty tray", 5, 0, Rec::Calibrated, true, 3, 0, 0, 0},
        {"empty tray without Exif", 0, 0, Rec::None, false, 3, 0, 0, 0},
        {"zoomed set, record without Exif focal", 4, 5, Rec::UncalibratedNoExifFocal, true, 1, 0, 1, 0},
        {"zoomed set, calibrated record without Exif focal", 4, 5, Rec::CalibratedNoExifFocal, true, 1, 0, 1, 0},
        {"zoomed set, no record", 4, 5, Rec::None, true, 3, 0, 0, 0},
        {"one focal, no record", 5, 5, Rec::None, true, 3, 0, 0, 0},
        {"one focal, calibrated record with Exif focal", 5, 5, Rec::Calibrated, true, 3, 0, 0, 0},
        {"one focal, calibrated record without Exif focal", 5, 5, Rec::CalibratedNoExifFocal, true, 2, 0, 0, 1},
        {"one focal, uncalibrated record without Exif focal", 5, 5, Rec::UncalibratedNoExifFocal, true, 0, 1, 0, 0},
        {"two models", 1, 5, Rec::None, true, 1, 0, 1, 0},
        {"mixed", 2, 5, Rec::Calibrated, true, 1, 0, 1, 0},
        {"two models without use Exif, no record", 1, 5, Rec::None, false, 0, 1, 1, 1},
        {"no Exif, no record", 0, 5, Rec::None, true, 0, 1, 1, 1},
        {"some without Exif, no record", 3, 5, Rec::None, true, 0, 1, 1, 1},
        {"one focal, Exif off, calibrated record", 5, 5, Rec::Calibrated, false, 2, 0, 0, 1},
        {"zoomed, Exif off, uncalibrated record", 4, 5, Rec::Uncalibrated, false, 0, 1, 0, 0},
        {"no Exif, calibrated record", 0, 5, Rec::Calibrated, true, 2, 0, 0, 1},
        {"some without Exif, uncalibrated record", 3, 5, Rec::Uncalibrated, true, 0, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const ExifSummary s = Summary(c.state, c.images);
        const std::optional<CamInfo> rec = Record(c.rec);
        FocalSourceChoice out;
        out.choice = -7;
        EXPECT_EQ(ChooseFocalSource(rec ? &*rec : nullptr, &s, &out, c.useExif), c.choice);
        EXPECT_EQ(out.choice, c.choice);
        EXPECT_EQ(out.enabled[0], c.e0);
        EXPECT_EQ(out.enabled[1], c.e1);
        EXPECT_EQ(out.enabled[2], c.e2);
        EXPECT_EQ(out.enabledCount, c.e0 + c.e1 + c.e2);
    }
}

TEST_F(CamInfoChecksTest, CamInfoAgainstSetAnswersAndTexts)
{
    CamInfo other;
    other.SetExifMake("Nikon");
    other.SetExifModel("E990");
    CamInfo noMake;
    noMake.SetExifModel("E990");
    const std::optional<CamInfo> matching = Record(Rec::Calibrated);
    const std::string mismatch =
        "Cannot use selected Camera Info file: due to its\nCamera Model (Nikon:E990) mismatch with images "
        "(Canon:PowerShot S45).\nPlease select a matching file";
    struct Case {
        const char* label;
        int state, images;
        const CamInfo* info;
        bool useExif;
        int answer;
        const char* box;  // null: no message box
    };
    const std::vector<Case> cases = {
        {"empty tray", 1, 0, &other, true, 1, nullptr},
        {"Exif off", 1, 5, &other, false, 1, nullptr},
        {"two models", 1, 5, nullptr, true, -1, kMultiModel},
        {"mixed set", 2, 5, &*matching, true, -1, kMixed},
        {"no Exif in images", 0, 5, &other, true, 1, nullptr},
        {"no record", 5, 5, nullptr, true, 1, nullptr},
        {"record without make", 5, 5, &noMake, true, 1, nullptr},
        {"matching record", 4, 5, &*matching, true, 1, nullptr},
        {"other camera", 5, 5, &other, true, 0, mismatch.c_str()},
        {"other camera, some without Exif", 3, 5, &other, true, 0, mismatch.c_str()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.box) Prompter().ExpectMessageBox(c.box, IDOK);
        const ExifSummary s = Summary(c.state, c.images);
        EXPECT_EQ(CheckCamInfoAgainstSet(c.info, &s, c.useExif), c.answer);
        EXPECT_TRUE(Prompter().Unused().empty());
    }
}

TEST_F(CamInfoChecksTest, SetPredicates)
{
    struct Case {
        int state, images;
        Rec rec;
        bool useExif;
        bool canUse, hasExifFocal, preferExif;
    };
    const std::vector<Case> cases = {
        {0, 0, Rec::None, true, true, false, true},
        {0, 0, Rec::Calibrated, false, true, false, true},
        {1, 5, Rec::None, true, false, false, false},
        {2, 5, Rec::None, true, false, false, false},
        {1, 5, Rec::None, false, true, false, false},
        {3, 5, Rec::None, true, true, false, false},
        {4, 5, Rec::None, true, true, true, false},
        {5, 2, Rec::None, true, true, false, true},
        {5, 3, Rec::None, true, true, true, true},
        {5, 3, Rec::None, false, true, false, false},
        {5, 3, Rec::Calibrated, true, true, true, false},
        {5, 3, Rec::Uncalibrated, true, true, true, true},
        {4, 3, Rec::Uncalibrated, true, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "state " << c.state << " images " << c.images << " exif " << c.useExif);
        const ExifSummary s = Summary(c.state, c.images);
        const std::optional<CamInfo> rec = Record(c.rec);
        EXPECT_EQ(CanUseCamInfoForSet(&s, c.useExif), c.canUse);
        EXPECT_EQ(HasExifFocalForSet(&s, c.useExif), c.hasExifFocal);
        EXPECT_EQ(PreferExifFocal(rec ? &*rec : nullptr, &s, c.useExif), c.preferExif);
    }
}

}  // namespace
