// The settings file "fendrake.cfg": what the manager reads from it at start,
// which file it reads and writes, what it writes back at exit, the camera
// file it names, and the focal values the manager derives.
#include "app/control/super_manager.h"
#include "app/matching/app_config.h"
#include "app/matching/cam_info.h"
#include "app/matching/cam_info_file.h"
#include "app/matching/tests/matching_test_helpers.h"
#include "app/tests/app_test_fixture.h"
#include "platform/win/file_system.h"


namespace {

namespace fs = std::filesystem;

using matching_test::ReadAll;
using matching_test::WriteAll;

class ConfigFileTest : public AppTest {
protected:
    std::string ConfigDir() const { return Home().file("appdata") + "/Quorvane/config"; }
    std::string Lower() const { return ConfigDir() + "/fendrake.cfg"; }
    std::string Upper() const { return ConfigDir() + "/Fendrake.cfg"; }
    std::unique_ptr<SuperManager> MakeManager()
    {
        auto manager = std::make_unique<SuperManager>();
        SetSuperManager(manager.get());
        return manager;
    }
    void WriteCamFile(const std::string& name, const std::string& text)
    {
        WriteAll(win::ToPosixPath(CamInfoFolder()) + "/" + name, text);
    }
};

TEST_F(ConfigFileTest, LinesAreReadByTheirRules)
{
    struct Case {
        const char* label;
        std::string text;
        const char* camInfoFile;
        int cameraType;
        float focal;
        int focalMode;
        int autoBalance;
        int blendWidth;
        int blendMethod;
        int hint;
    };
    const std::string longPath = "/photos/" + std::string(600, 'p') + " calibrated.camInfo";
    const Case cases[] = {
        {"only the focal line", "[Focal] 28.5 2\n", nullptr, 1, 28.5f, 3, 1, 20, 1, 1},
        {"camera file after two blanks", "[CamInfoFile]  my cam.camInfo\n", "my cam.camInfo", 1, 35, 0, 1, 20, 1, 1},
        {"camera file after three blanks", "[CamInfoFile]   my cam.camInfo\n", " my cam.camInfo", 1, 35, 0, 1, 20, 1,
         1},
        {"a long camera path", "[CamInfoFile] " + longPath + "\n[Focal] 50 1\n", longPath.c_str(), 1, 50, 3, 1, 20,
         1, 1},
        {"camera type not d", "[CameraType] x\n", nullptr, 1, 35, 0, 1, 20, 1, 1},
        {"camera type d", "[CameraType] digital\n", nullptr, 0, 35, 0, 1, 20, 1, 1},
        {"a repeated key takes the later line", "[Blend] y 10\n[Blend] n 30\n[BlendMethod] 0\n", nullptr, 1, 35, 0, 0,
         30, 0, 1},
        {"keys without values", "[Blend] \n[Blend]\n[BlendMethod] \n[Focal] \n[ScrSaverHint]  \n[CamInfoFile] \n",
         nullptr, 1, 35, 0, 1, 20, 1, 1},
        {"out of range keeps the values", "[Focal] 0 2\n[Blend] n 51\n", nullptr, 1, 35, 3, 0, 20, 1, 1},
        {"too long and negative", "[Focal] 150.5 0\n[Blend] y -1\n", nullptr, 1, 35, 3, 1, 20, 1, 1},
        {"range ends", "[Focal] 3 0\n[Blend] y 0\n", nullptr, 1, 3, 3, 1, 0, 1, 1},
        {"hint and leading blanks", "   [ScrSaverHint] n 1\n  [Focal] 150 1\n", nullptr, 1, 150, 3, 1, 20, 1, 0},
        {"letter case, comments and unknown keys", "[focal] 50 0\n// [Focal] 50 0\n[Other] 1\n\n", nullptr, 1, 35, 0,
         1, 20, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        WriteAll(Lower(), c.text);
        auto manager = MakeManager();
        const AppConfig& config = *manager->GetConfig();
        EXPECT_STREQ(config.GetCamInfoFile(), c.camInfoFile);
        EXPECT_EQ(config.cameraType, c.cameraType);
        EXPECT_EQ(config.focalLength, c.focal);
        EXPECT_EQ(config.focalMode, c.focalMode);
        EXPECT_EQ(config.autoBalance, c.autoBalance);
        EXPECT_EQ(config.blendWidth, c.blendWidth);
        EXPECT_EQ(config.blendMethod, c.blendMethod);
        EXPECT_EQ(config.screenSaverHint, c.hint);
        EXPECT_FALSE(config.IsModified());
        // The live settings follow the record.
        EXPECT_EQ(manager->GetStitchSettings()->focalLength, c.focal);
        EXPECT_EQ(manager->GetBlendSettings()->autoBalance, c.autoBalance);
        EXPECT_EQ(manager->GetBlendSettings()->blendWidth, c.blendWidth);
        EXPECT_EQ(manager->IsElasticBlend(), c.blendMethod == 0);
        manager.reset();
        EXPECT_EQ(ReadAll(Lower()), c.text);  // not modified: not rewritten
    }
}

TEST_F(ConfigFileTest, AChangedRecordIsWrittenAsTheSixKindsOfLines)
{
    const std::string longPath = "/photos/" + std::string(600, 'q') + ".camInfo";
    WriteAll(Lower(), "// my settings\n[CameraType] d\n[Focal] 28.5 2\n[Unknown] 1\n[Blend] n 33\n");
    {
        auto manager = MakeManager();
        AppConfig& config = *manager->GetConfig();
        ASSERT_TRUE(config.SetCamInfoFile(longPath.c_str()));
        config.screenSaverHint = 0;
        config.SetModified();
    }
    EXPECT_EQ(ReadAll(Lower()), "[CamInfoFile] " + longPath +
                                    "\n"
                                    "[CameraType] d\n"
                                    "[Focal] 28.500000 3\n"
                                    "[Blend] n 33\n"
                                    "[BlendMethod] 1\n"
                                    "[ScrSaverHint] n 1\n");
    {
        auto manager = MakeManager();
        EXPECT_STREQ(manager->GetConfig()->GetCamInfoFile(), longPath.c_str());
    }
    // Any camera type but one beginning with 'd' is written back as "f".
    WriteAll(Lower(), "[CameraType] x\n");
    {
        auto manager = MakeManager();
        manager->GetConfig()->SetModified();
    }
    EXPECT_EQ(ReadAll(Lower()), "[CameraType] f\n[Focal] 35.000000 0\n[Blend] y 20\n[BlendMethod] 1\n[ScrSaverHint] y 1\n");
    WriteAll(Lower(), "[CamInfoFile] " + longPath + "\n[ScrSaverHint] n 1\n");
    auto manager = MakeManager();
    EXPECT_EQ(manager->GetConfig()->screenSaverHint, 0);
    // The camera file does not exist: it is not used, and its name stays.
    EXPECT_FALSE(manager->GetCameraInfoFlag());
    EXPECT_EQ(manager->GetCamInfo(), nullptr);
}

TEST_F(ConfigFileTest, TheFileReadIsTheFileWritten)
{
    const std::string seed = "[CameraType] f\n[Focal] 24.000000 0\n[Blend] y 15\n[BlendMethod] 1\n[ScrSaverHint] y 1\n";
    struct Case {
        const char* label;
        bool lower;
        bool upper;
        bool seed;
        int blendWidth;   // read at start
        bool lowerAfter;  // which files exist after a change was written
        bool upperAfter;
    };
    const Case cases[] = {
        {"only the capitalised file", false, true, false, 25, false, true},
        {"both: the lower-case one", true, true, false, 35, true, true},
        {"neither: seeded from the program folder", false, false, true, 15, true, false},
        {"neither and no seed: defaults, written on change", false, false, false, 20, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(ConfigDir());
        fs::remove(ProgramDir() + "/Fendrake.cfg");
        if (c.lower) WriteAll(Lower(), "[Blend] y 35\n");
        if (c.upper) WriteAll(Upper(), "[Blend] y 25\n");
        if (c.seed) WriteAll(ProgramDir() + "/Fendrake.cfg", seed);
        {
            auto manager = MakeManager();
            EXPECT_EQ(manager->GetConfig()->blendWidth, c.blendWidth);
            if (c.seed) {
                EXPECT_EQ(ReadAll(Lower()), seed);
                EXPECT_EQ(manager->GetStitchSettings()->focalLength, 24.0f);
            }
            if (!c.seed && !c.lower && !c.upper) {
                EXPECT_FALSE(fs::exists(Lower()));
                EXPECT_EQ(manager->GetStitchSettings()->focalLength, 35.0f);
                EXPECT_EQ(manager->GetBlendSettings()->autoBalance, 1);
            }
            manager->GetConfig()->blendWidth = 44;
            manager->GetConfig()->SetModified();
        }
        EXPECT_EQ(fs::exists(Lower()), c.lowerAfter);
        EXPECT_EQ(fs::exists(Upper()), c.upperAfter);
        const std::string written = ReadAll(c.lower || !c.upper ? Lower() : Upper());
        EXPECT_NE(written.find("[Blend] y 44\n"), std::string::npos) << written;
    }
}

TEST_F(ConfigFileTest, NothingIsWrittenWithoutAChange)
{
    { auto manager = MakeManager(); }
    EXPECT_FALSE(fs::exists(Lower()));
    EXPECT_FALSE(fs::exists(Upper()));
}

TEST_F(ConfigFileTest, AFolderThatCannotBeWrittenIsReported)
{
    // A folder in the file's place cannot be opened for writing.
    fs::create_directories(Lower());
    auto manager = MakeManager();
    AppConfig& config = *manager->GetConfig();
    config.blendWidth = 12;
    config.SetModified();
    Prompter().ExpectMessageBox("Can not open file fendrake.cfg for saving config info.", IDOK);
    manager->SaveConfigFile();
    EXPECT_TRUE(config.IsModified());
    EXPECT_EQ(config.blendWidth, 12);
    config.modified = 0;
}

TEST_F(ConfigFileTest, TheCameraFileSetsTheCorrectionAndTheFocalType)
{
    struct Case {
        const char* label;
        std::string camText;
        int focalType;
        float focal;
        bool distortion;
    };
    const Case cases[] = {
        {"calibrated with Exif", "[exifFocalLength] 4.3\n[focal length] 24.000000 mm\n[distortion] 0.1 0.2 0.3 0.4\n",
         4, 24.0f, true},
        {"calibrated without Exif", "[focal length] 26.000000 mm\n", 2, 26.0f, false},
        {"Exif only", "[exifFocalLength] 4.3\n[distortion] 0.1 0.2 0.3 0.4\n", 3, 28.5f, true},
        {"neither", "[Comment] nothing known\n", 0, 28.5f, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        WriteCamFile("cam one.camInfo", c.camText);
        WriteAll(Lower(), "[CamInfoFile] cam one.camInfo\n[Focal] 28.5 2\n");
        auto manager = MakeManager();
        EXPECT_TRUE(manager->GetCameraInfoFlag());
        EXPECT_STREQ(manager->GetCamInfoFileName(), "cam one.camInfo");
        ASSERT_NE(manager->GetCamInfo(), nullptr);
        EXPECT_STREQ(manager->GetCamInfo()->GetName(), "cam one.camInfo");
        EXPECT_EQ(manager->GetStitchSettings()->focalType, c.focalType);
        EXPECT_EQ(manager->GetStitchSettings()->focalLength, c.focal);
        DistortionRecord* record = manager->GetDistortionRecord(false);
        ASSERT_NE(record, nullptr);
        if (c.distortion) {
            EXPECT_FLOAT_EQ(record->a, 0.1f);
            EXPECT_FLOAT_EQ(record->d, 0.4f);
            EXPECT_FLOAT_EQ(record->exifFocalLength, 4.3f);
        } else {
            EXPECT_EQ(record->a, 0.0f);
            EXPECT_EQ(record->d, 1.0f);  // the identity it was created with
        }
    }
    // A camera file that no longer loads changes nothing and keeps its name.
    WriteAll(Lower(), "[CamInfoFile] gone.camInfo\n[Focal] 28.5 2\n");
    auto manager = MakeManager();
    EXPECT_FALSE(manager->GetCameraInfoFlag());
    EXPECT_EQ(manager->GetCamInfo(), nullptr);
    EXPECT_EQ(manager->GetCamInfoFileName(), nullptr);
    EXPECT_EQ(manager->GetDistortionRecord(false), nullptr);
    EXPECT_STREQ(manager->GetConfig()->GetCamInfoFile(), "gone.camInfo");
    EXPECT_EQ(manager->GetStitchSettings()->focalType, 3);
}

TEST_F(ConfigFileTest, FocalTypeFollowsTheCameraRecord)
{
    struct Case {
        bool record;
        float exifFocal;
        float focal;
        int type;
    };
    const Case cases[] = {{false, 0, 0, 3}, {true, 4.3f, 24, 4}, {true, 4.3f, 0, 3}, {true, 0, 24, 2},
                          {true, -1, 24, 2}, {true, 0, 0, 0}};
    auto manager = MakeManager();
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.record << " " << c.exifFocal << " " << c.focal);
        std::unique_ptr<CamInfo> info;
        if (c.record) {
            info = std::make_unique<CamInfo>();
            info->exifFocalLength = c.exifFocal;
            if (c.focal != 0) info->SetFocalLength(c.focal);
        }
        manager->SetCamInfo(std::move(info));
        manager->GetStitchSettings()->focalType = -1;
        manager->UpdateFocalType();
        EXPECT_EQ(manager->GetStitchSettings()->focalType, c.type);
    }
}

TEST_F(ConfigFileTest, CamInfoFileNameKeepsACopy)
{
    auto manager = MakeManager();
    std::string name = "first.camInfo";
    manager->SetCamInfoFileName(name.c_str());
    name = "changed";
    EXPECT_STREQ(manager->GetCamInfoFileName(), "first.camInfo");
    manager->SetCamInfoFileName(manager->GetCamInfoFileName());
    EXPECT_STREQ(manager->GetCamInfoFileName(), "first.camInfo");
    manager->SetCamInfoFileName("");
    EXPECT_EQ(manager->GetCamInfoFileName(), nullptr);
    manager->SetCamInfoFileName("second.camInfo");
    manager->SetCamInfoFileName(nullptr);
    EXPECT_EQ(manager->GetCamInfoFileName(), nullptr);
}

TEST_F(ConfigFileTest, AppConfigCamInfoFileAnswersWhetherItChanged)
{
    AppConfig config;
    EXPECT_FALSE(config.SetCamInfoFile(nullptr));
    EXPECT_TRUE(config.SetCamInfoFile("a.camInfo"));
    EXPECT_FALSE(config.SetCamInfoFile("a.camInfo"));
    EXPECT_TRUE(config.SetCamInfoFile("b.camInfo"));
    EXPECT_STREQ(config.GetCamInfoFile(), "b.camInfo");
    EXPECT_TRUE(config.SetCamInfoFile(nullptr));
    EXPECT_EQ(config.GetCamInfoFile(), nullptr);
    EXPECT_FALSE(config.IsModified());
    config.SetModified();
    EXPECT_TRUE(config.IsModified());
}

// ---- Equivalent focal length ------------------------------------------------

using EquivalentFocalTest = ConfigFileTest;
using matching_test::MakeMergedPair;

TEST_F(EquivalentFocalTest, TheFirstMergedFrameGivesThe35mmFocalLength)
{
    struct Case {
        const char* label;
        int width;
        int height;
        float focalPixels;
        bool fromFrame;
    };
    const Case cases[] = {
        {"landscape", 1200, 800, 1000.0f, true},
        {"portrait", 600, 900, 750.0f, true},
        {"no image", 0, 0, 1000.0f, false},
        {"a zero side", 1200, 0, 1000.0f, false},
        {"no focal length", 1200, 800, 0.0f, false},
        {"negative focal length", 1200, 800, -10.0f, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        auto manager = MakeManager();
        manager->GetStitchSettings()->focalLength = 31.0f;
        MakeMergedPair(*manager, c.width, c.height, c.focalPixels);
        const float shorter = static_cast<float>(std::min(c.width, c.height));
        if (c.fromFrame) {
            // 24 mm across the shorter side.
            EXPECT_FLOAT_EQ(manager->GetEquivalentFocalLength(true), 24.0f * c.focalPixels / shorter);
            EXPECT_FLOAT_EQ(manager->GetEquivalentFocalLength(false), 24.0f * c.focalPixels / shorter);
        } else {
            EXPECT_EQ(manager->GetEquivalentFocalLength(true), 31.0f);
            EXPECT_EQ(manager->GetEquivalentFocalLength(false), 0.0f);
        }
    }
    auto manager = MakeManager();
    manager->GetStitchSettings()->focalLength = 31.0f;
    EXPECT_EQ(manager->GetEquivalentFocalLength(true), 31.0f);  // no group
    manager->GetImageGroup(true)->AppendImageFrame(new ImageFrame);
    EXPECT_EQ(manager->GetEquivalentFocalLength(false), 0.0f);  // no merged frame
}

}  // namespace
