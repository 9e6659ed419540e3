// The Exif report: its text for records with and without camera data, and
// the one dialog that shows it. The fixtures are JPEGs tagged by exiftool and
// read back through the program's own Exif reader.
#include "app/tests/app_test_fixture.h"
#include "app/views/exif_info_dlg.h"
#include "platform/imgcore/exif_info.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

std::string Photo() { return std::string(FENDRAKE_TESTDATA_DIR) + "/daeyun-image-stitching/ledge_1.JPG"; }

// A copy of the photo with every tag removed, then the given exiftool
// arguments applied; empty on failure.
std::string TaggedCopy(const std::string& folder, const std::string& name, const std::string& args)
{
    const std::string path = folder + "/" + name;
    std::filesystem::copy_file(Photo(), path, std::filesystem::copy_options::overwrite_existing);
    const auto strip = testkit::Run("exiftool -q -overwrite_original -all= '" + path + "'");
    if (strip.status != 0) return {};
    if (!args.empty() && testkit::Run("exiftool -q -overwrite_original " + args + " '" + path + "'").status != 0)
        return {};
    return path;
}

std::string Line(const std::string& report, const std::string& label)
{
    const size_t at = report.find("\n" + label);
    if (at == std::string::npos) return "<missing>";
    const size_t start = at + 1 + label.size();
    return report.substr(start, report.find('\n', start) - start);
}

class ExifReportTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(testkit::HasTool("exiftool")) << "exiftool is needed for the Exif fixtures"; }
    testkit::TempDir m_dir;
};

TEST_F(ExifReportTest, ImageWithoutExifGivesExactlyThreeLines)
{
    const std::string path = TaggedCopy(m_dir.path().string(), "plain.jpg", "");
    ASSERT_FALSE(path.empty());
    ExifInfo info;
    ExtractExif::Run(path.c_str(), info);
    const std::string report = BuildExifReport(&info, path.c_str());
    EXPECT_EQ(report, "File name:\t  plain.jpg\nLocation: " + m_dir.path().string() + "\nImage has no Exif info!");
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 2);
    EXPECT_EQ(BuildExifReport(nullptr, "C:\\photos\\a.jpg"), "File name:\t  a.jpg\nLocation: C:\\photos\nImage has no Exif info!");
}

TEST_F(ExifReportTest, ExposureTimeTable)
{
    struct Case {
        const char* exposure;
        const char* shown;  // null: the line is omitted
    };
    const Case cases[] = {
        {"0.125", "1/8 sec"}, {"0.004000001", "1/249 sec"}, {"0", nullptr},
        {"2", "2.0 sec"},     {"1", "1.0 sec"},             {"0.5", "1/2 sec"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = TaggedCopy(m_dir.path().string(), "e" + std::to_string(n++) + ".jpg",
                                            std::string("-Make=Quorvane -Model=QX1 -FNumber=2.8 -FocalLength=7.5 "
                                                        "-ISO=200 -WhiteBalance=Auto -ExposureTime=") + c.exposure);
        ASSERT_FALSE(path.empty()) << c.exposure;
        ExifInfo info;
        ASSERT_TRUE(ExtractExif::Run(path.c_str(), info)) << c.exposure;
        const std::string report = BuildExifReport(&info, path.c_str());
        EXPECT_EQ(Line(report, "Exposure time: "), c.shown ? c.shown : "<missing>") << c.exposure;
        EXPECT_EQ(Line(report, "Camera maker:  "), "Quorvane");
        EXPECT_EQ(Line(report, "Camera model:  "), "QX1");
        EXPECT_EQ(Line(report, "F-stop:        "), "F2.8");
        EXPECT_EQ(Line(report, "eFocal length: "), "7.5");
        EXPECT_EQ(Line(report, "ISO speed:     "), "200");
        EXPECT_EQ(Line(report, "White balance: "), "Auto");
    }
}

TEST(ExifReport, FullReportInOrderFromARecord)
{
    ExifInfo info;
    info.SetMake("Make");
    info.SetModel("Model");
    info.m_width = 640;
    info.m_height = 480;
    info.m_focalLength = 5.4f;
    info.m_fNumber = 4.0f;
    info.m_exposureTime = 0.125f;
    info.m_isoSpeed = 100;
    info.m_exposureBias = -2;
    info.m_whiteBalance = 1;
    EXPECT_EQ(BuildExifReport(&info, "/a/b/c.jpg"),
              "File name:\t  c.jpg\nLocation: /a/b\nWidth:\t     640 pixels\nHeight:\t     480 pixels"
              "\nCamera maker:  Make\nCamera model:  Model\neFocal length: 5.4\nF-stop:        F4.0"
              "\nExposure time: 1/8 sec\nISO speed:     100\nExposure bias: -2 step\nWhite balance: Yes");
    info.m_whiteBalance = 7;
    EXPECT_EQ(Line(BuildExifReport(&info, "c.jpg"), "White balance: "), "No");
    info.m_exposureTime = 30.0f;
    EXPECT_EQ(Line(BuildExifReport(&info, "c.jpg"), "Exposure time: "), "30.0 sec");
}

class ExifDialogTest : public AppTest {};

TEST_F(ExifDialogTest, OneDialogReplacesItsReport)
{
    ASSERT_TRUE(Start());
    ShowExifInfoForImage(nullptr, "/x/first.jpg", false);
    EXPECT_EQ(GetExifInfoDialog(), nullptr);
    ShowExifInfoForImage(nullptr, "/x/first.jpg", true);
    CExifInfoDlg* dialog = GetExifInfoDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->GetReport(), "File name:\t  first.jpg\nLocation: /x\nImage has no Exif info!");
    ShowExifInfoForImage(nullptr, "/y/second.jpg", false);
    EXPECT_EQ(GetExifInfoDialog(), dialog);
    EXPECT_EQ(dialog->GetReport(), "File name:\t  second.jpg\nLocation: /y\nImage has no Exif info!");
    CloseExifInfoDialog(false);
    EXPECT_EQ(GetExifInfoDialog(), nullptr);
}

}  // namespace
