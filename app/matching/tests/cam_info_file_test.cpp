// Camera-information files: the writer and the reader agree field by field,
// the rows and keys are read as the format says, the legacy rows unscramble,
// the record rewrites its own file, and the folder operations copy and
// delete trees.
#include "app/matching/cam_info.h"
#include "app/matching/cam_info_file.h"
#include "app/matching/tests/matching_test_helpers.h"
#include "app/tests/app_test_fixture.h"
#include "platform/imgcore/exif_info.h"
#include "platform/win/file_system.h"

#include <cstdio>

namespace {

namespace fs = std::filesystem;

using matching_test::ReadAll;
using matching_test::WriteAll;

class CamInfoFileTest : public AppTest {
protected:
    static std::string InFolder(const std::string& name) { return win::ToPosixPath(CamInfoFolder()) + "/" + name; }
    // Loads `text` as a camera-info file; the description goes to `description`.
    CamInfo Load(const std::string& text, std::string* description = nullptr, bool* ok = nullptr)
    {
        WriteAll(InFolder("case.camInfo"), text);
        CamInfo info;
        const bool loaded = info.LoadFile("case.camInfo", description);
        if (ok) *ok = loaded;
        return info;
    }
};

struct ExifCase {
    const char* make;
    const char* model;
    int width;
    int height;
    float focal;
    float crop;
    int cropSource;
};

TEST_F(CamInfoFileTest, WrittenRecordsReadBackFieldByField)
{
    const ExifCase panasonic{"Panasonic", "DMC-TZ41", 4896, 3672, 4.3f, 5.58f, 1};
    const ExifCase makeOnly{"Kodak", nullptr, 1200, 1600, 7.5f, 0.0f, 0};
    DistortionRecord correction;
    correction.a = 0.125f;
    correction.b = -0.0625f;
    correction.c = 0.1875f;
    correction.d = 0.75f;  // sums to exactly 1: read back unchanged
    correction.exifFocalLength = 6.25f;
    const float colour[6] = {0.5f, 0.25f, -0.125f, 1.0f, 0.0625f, 2.0f};
    std::copy(colour, colour + 6, correction.colourRegistration);
    struct Case {
        const char* label;
        bool madeByTool;
        const char* comment;
        const char* lens;
        const ExifCase* exif;
        bool withCorrection;
        bool withDistortion;
        bool withColor;
        float focal;
        float version;
        int kind;
    };
    const Case cases[] = {
        {"bare", false, nullptr, nullptr, nullptr, false, false, false, 0.0f, -1.0f, 0},
        {"exif and tool", true, "first", nullptr, &panasonic, false, false, false, 24.5f, 2.0f, 5},
        {"make without model", false, nullptr, nullptr, &makeOnly, false, false, false, 0.0f, -1.0f, 3},
        {"external lens and comment", false, "with a blank", "Raynox DCR-6600", nullptr, false, false, false, 0.0f,
         -1.0f, 0},
        {"distortion only", false, nullptr, nullptr, &panasonic, true, true, false, 0.0f, 2.0f, 3},
        {"colour only", false, nullptr, nullptr, nullptr, true, false, true, 0.0f, -1.0f, 1},
        {"both rows and focal", true, nullptr, nullptr, nullptr, true, true, true, 31.0f, 2.0f, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ExifInfo exif;
        if (c.exif) {
            exif.SetMake(c.exif->make);
            if (c.exif->model) exif.SetModel(c.exif->model);
            exif.m_width = c.exif->width;
            exif.m_height = c.exif->height;
            exif.m_focalLength = c.exif->focal;
            exif.m_cropFactor = c.exif->crop;
            exif.m_cropFactorSource = c.exif->cropSource;
        }
        ASSERT_TRUE(SaveCamInfo("case.camInfo", c.madeByTool, c.comment, c.lens, c.exif ? &exif : nullptr,
                                c.withCorrection ? &correction : nullptr, c.withDistortion, c.withColor, c.focal,
                                c.version));
        CamInfo info;
        ASSERT_TRUE(info.LoadFile("case.camInfo", nullptr));
        EXPECT_STREQ(info.GetName(), "case.camInfo");
        EXPECT_EQ(info.version, c.version >= 0 ? c.version : 0.0f);
        EXPECT_EQ(info.calMethod, c.madeByTool ? 1 : 2);
        EXPECT_STREQ(info.GetComment(), c.comment);
        EXPECT_EQ(info.externalLens, c.lens ? 1 : 0);
        EXPECT_STREQ(info.GetExternalLensName(), c.lens);
        EXPECT_STREQ(info.GetExifMake(), c.exif ? c.exif->make : nullptr);
        EXPECT_STREQ(info.GetExifModel(), c.exif ? c.exif->model : nullptr);
        if (c.exif) {
            const float shorter = static_cast<float>(std::min(c.exif->width, c.exif->height));
            const float longer = static_cast<float>(std::max(c.exif->width, c.exif->height));
            EXPECT_NEAR(info.exifWd2Ht, shorter / longer, 1e-6);
            EXPECT_NEAR(info.exifFocalLength, c.withCorrection ? correction.exifFocalLength : c.exif->focal, 1e-6);
            EXPECT_NEAR(info.exifCropFactor, c.exif->crop, 1e-6);
            EXPECT_EQ(info.exifCfSrc, c.exif->cropSource);
        } else {
            EXPECT_EQ(info.exifWd2Ht, 0.75f);  // the value of a reset record
        }
        EXPECT_EQ(info.hasDistortion, c.withDistortion ? 1 : 0);
        if (c.withDistortion) {
            EXPECT_EQ(info.distortion[0], correction.a);
            EXPECT_EQ(info.distortion[1], correction.b);
            EXPECT_EQ(info.distortion[2], correction.c);
            EXPECT_EQ(info.distortion[3], correction.d);
        }
        EXPECT_EQ(info.hasColorRegistration, c.withColor ? 1 : 0);
        if (c.withColor) {
            for (int i = 0; i < 6; ++i) EXPECT_EQ(info.colorRegistration[i], colour[i]) << i;
        }
        EXPECT_EQ(info.hasFocalLength, c.focal > 0 ? 1 : 0);
        EXPECT_EQ(info.GetFocalLength(), c.focal);
        EXPECT_EQ(info.kind, c.kind);
    }
}

TEST_F(CamInfoFileTest, OneFileEqualsTheFormatKeyByKey)
{
    ExifInfo exif;
    exif.SetMake("Panasonic");
    exif.SetModel("DMC-TZ41");
    exif.m_width = 3000;
    exif.m_height = 4000;
    exif.m_focalLength = 4.3f;
    exif.m_cropFactor = 5.5f;
    exif.m_cropFactorSource = 2;
    DistortionRecord correction;
    correction.a = 0.25f;
    correction.b = 0.5f;
    correction.c = 0.125f;
    correction.d = 0.125f;
    correction.exifFocalLength = 4.5f;
    for (int i = 0; i < 6; ++i) correction.colourRegistration[i] = 0.5f * static_cast<float>(i);
    ASSERT_TRUE(SaveCamInfo("golden.camInfo", true, "my comment", "wide lens", &exif, &correction, true, true, 28.0f,
                            2.0f));
    const std::string text = ReadAll(InFolder("golden.camInfo"));
    const size_t dateStart = text.find("[DateCreated] ");
    ASSERT_NE(dateStart, std::string::npos);
    const size_t dateEnd = text.find('\n', dateStart);
    // The time text is the logger's own; the reader only shows it.
    EXPECT_GT(dateEnd, dateStart + 14);
    const std::string withoutDate = text.substr(0, dateStart) + "[DateCreated] <time>" + text.substr(dateEnd);
    EXPECT_EQ(withoutDate,
              "[Version] 2.0\n"
              "[DateCreated] <time>\n"
              "[CalMethod] Optarvo\n"
              "[Comment] my comment\n"
              "[ExternalLens] wide lens\n"
              "[exifCameraMake] Panasonic\n"
              "[exifCameraModel] DMC-TZ41\n"
              "[exifImageWd2Ht] 0.750000\n"
              "[exifFocalLength] 4.500000\n"
              "[exifCropFactor] 5.500000\n"
              "[exifCfSrc] 2\n"
              "[distortion] 0.250000 0.500000 0.125000 0.125000\n"
              "[color registration] 0.000000 0.500000 1.000000 1.500000 2.000000 2.500000\n"
              "[focal length] 28.000000 mm\n");
    EXPECT_EQ(WriteCamInfo(nullptr, false, nullptr, nullptr, nullptr, nullptr, false, false, 0.0f, -1.0f), false);
}

TEST_F(CamInfoFileTest, RowsAndKeysAreReadAsTheFormatSays)
{
    struct Case {
        const char* label;
        const char* text;
        int hasDistortion;
        float distortion[4];
        int hasColor;
        float colour[6];
        int calMethod;
        int externalLens;
        const char* describes;  // a line the description must hold, or null
    };
    const Case cases[] = {
        {"sum at most 0.1: absent", "[distortion] 0.05 0.02 0.01 0.01\n", 0, {0.05f, 0.02f, 0.01f, 0.01f}, 0, {}, 0,
         0, "Distortion Correction: No\n"},
        {"scaled to a sum of 1", "[distortion] 2 0 0 0\n", 1, {1, 0, 0, 0}, 0, {}, 0, 0,
         "Distortion Correction: Yes\n"},
        {"sum exactly 1 unchanged", "[distortion] 0.5 0.25 0.25 0\n", 1, {0.5f, 0.25f, 0.25f, 0}, 0, {}, 0, 0,
         nullptr},
        {"three numbers", "[distortion] 0.5 0.25 0.25\n", 0, {0.5f, 0.25f, 0.25f, 0}, 0, {}, 0, 0, nullptr},
        {"six colour numbers", "[color registration] 1 2 3 4 5 6\n", 0, {}, 1, {1, 2, 3, 4, 5, 6}, 0, 0,
         "Chromatic Aberration Correction: Yes\n"},
        {"five colour numbers", "[color registration] 1 2 3 4 5\n", 0, {}, 0, {1, 2, 3, 4, 5, 0}, 0, 0,
         "Chromatic Aberration Correction: No\n"},
        {"tool with blanks", "[CalMethod]   Optarvo\n", 0, {}, 0, {}, 1, 0, nullptr},
        {"tool in other letters", "[CalMethod] optarvo\n", 0, {}, 0, {}, 2, 0, nullptr},
        {"lens cleared", "[ExternalLens] Raynox\n[ExternalLens]     No\n", 0, {}, 0, {}, 0, 0, nullptr},
        {"lens kept", "[ExternalLens]   Raynox\n", 0, {}, 0, {}, 0, 1, "External Lens: Raynox\n"},
        {"skipped lines", "[FisheyeLens] Yes\n[Unknown] 1 2 3\nno bracket 0.5 0.5\n[distortion ]1 0 0 0\n", 0, {}, 0,
         {}, 0, 0, nullptr},
        {"bare distortion key", "[distortion]", 0, {}, 0, {}, 0, 0, "Distortion Correction: No\n"},
        {"bare distortion line", "[distortion]\n", 0, {}, 0, {}, 0, 0, nullptr},
        {"bare colour key", "[color registration]", 0, {}, 0, {}, 0, 0, nullptr},
        {"bare colour line", "[color registration]\r\n", 0, {}, 0, {}, 0, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string description;
        bool ok = false;
        const CamInfo info = Load(c.text, &description, &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(info.hasDistortion, c.hasDistortion);
        for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(info.distortion[i], c.distortion[i]) << i;
        EXPECT_EQ(info.hasColorRegistration, c.hasColor);
        for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(info.colorRegistration[i], c.colour[i]) << i;
        EXPECT_EQ(info.calMethod, c.calMethod);
        EXPECT_EQ(info.externalLens, c.externalLens);
        EXPECT_EQ(info.hasFocalLength, 0);
        if (c.describes) {
            EXPECT_NE(description.find(c.describes), std::string::npos) << description;
        }
    }
}

TEST_F(CamInfoFileTest, LongAndMultiLineTextsStayInTheirKey)
{
    // A text of 600 characters is one line, and a line break inside a text
    // cannot make a key of its own.
    const std::string longComment(600, 'c');
    const std::string forged = "nice\n[focal length] 99 mm\r\n[distortion] 1 0 0 0";
    ExifInfo exif;
    exif.SetMake("Make\n[exifCfSrc] 7");
    exif.SetModel("Model");
    for (const std::string& comment : {longComment, forged}) {
        SCOPED_TRACE(comment.size());
        ASSERT_TRUE(SaveCamInfo("text.camInfo", false, comment.c_str(), nullptr, &exif, nullptr, false, false, 0.0f,
                                -1.0f));
        CamInfo info;
        ASSERT_TRUE(info.LoadFile("text.camInfo", nullptr));
        std::string expected = comment;
        for (char& ch : expected)
            if (ch == '\n' || ch == '\r') ch = ' ';
        EXPECT_EQ(std::string(info.GetComment()), expected);
        EXPECT_STREQ(info.GetExifMake(), "Make [exifCfSrc] 7");
        EXPECT_EQ(info.exifCfSrc, 0);
        EXPECT_EQ(info.hasFocalLength, 0);
        EXPECT_EQ(info.hasDistortion, 0);
    }
}

// ---- Legacy files -----------------------------------------------------------

// The scrambling written out as positions: each step gives every output byte
// its source byte.
std::string SlowScramble(std::string s)
{
    const size_t n = s.size();
    std::string pairs = s;
    for (size_t k = 0; k < n; ++k) {
        const bool inPair = k < 2 * (n / 2);
        pairs[k] = inPair ? s[k % 2 == 0 ? k + 1 : k - 1] : s[k];
    }
    std::string triples = pairs;
    for (size_t k = 0; k < n; ++k) {
        const bool inTriple = k < 3 * (n / 3);
        const size_t start = k - k % 3;
        if (inTriple && k % 3 != 1) triples[k] = pairs[k % 3 == 0 ? start + 2 : start];
    }
    std::string bits = triples;
    for (size_t k = 0; k < n; ++k) {
        const unsigned b = static_cast<unsigned char>(triples[k]);
        unsigned out = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            const unsigned from = bit == 0 ? 4 : bit == 4 ? 0 : bit;
            if (b & (1u << from)) out |= 1u << bit;
        }
        bits[k] = static_cast<char>(out);
    }
    return bits;
}

TEST_F(CamInfoFileTest, RowScramblingMatchesTheSlowReferenceForEveryLength)
{
    const std::string source = "0.123456 -0.654321 0.500000 1.250000 9.876543";
    for (size_t n = 0; n <= 40; ++n) {
        SCOPED_TRACE(n);
        const std::string plain = source.substr(0, n);
        std::string text = plain;
        ScrambleRow(text.data(), text.size());
        EXPECT_EQ(text, SlowScramble(plain));
        UnscrambleRow(text.data(), text.size());
        EXPECT_EQ(text, plain);
    }
}

class LegacyTest : public CamInfoFileTest {
protected:
    static std::string Scrambled(std::string row)
    {
        ScrambleRow(row.data(), row.size());
        return row;
    }
    void WriteLegacy(const std::string& name, const std::string& text)
    {
        WriteAll(ProgramDir() + "/CameraInfo/" + name, text);
    }
};

TEST_F(LegacyTest, AWizardFileLoadsFocalDistortionAndColour)
{
    WriteLegacy("kodak.txt", "[version] 1.0.0\n"
                             "[camera] Kodak DX\n"
                             "[wide angle lens] none\n"
                             "[focal length] 28.000000mm\n"
                             "[distortion] " +
                                 Scrambled("0.250000 0.250000 0.250000 0.250000") +
                                 "\r\n"
                                 "[color registration] " +
                                 Scrambled("1.000000 -0.500000 0.250000 0.125000 0.000000 -1.000000") + "\r\n");
    CamInfo info;
    std::string description;
    ASSERT_TRUE(info.LoadFile("kodak.txt", &description));
    EXPECT_EQ(info.hasFocalLength, 1);
    EXPECT_EQ(info.GetFocalLength(), 28.0f);
    ASSERT_EQ(info.hasDistortion, 1);
    for (float v : info.distortion) EXPECT_EQ(v, 0.25f);
    ASSERT_EQ(info.hasColorRegistration, 1);
    const float colour[6] = {1.0f, -0.5f, 0.25f, 0.125f, 0.0f, -1.0f};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(info.colorRegistration[i], colour[i]);
    EXPECT_EQ(info.kind, 2);
    EXPECT_NE(description.find("Camera: Kodak DX\n"), std::string::npos) << description;
    EXPECT_NE(description.find("Wide Angle Lens: none\n"), std::string::npos) << description;
}

TEST_F(LegacyTest, AnUnknownVersionEndsTheReading)
{
    WriteLegacy("new.txt", "[version] 2.0\n[focal length] 28.000000mm\n");
    WriteLegacy("later.txt", "[version] 1.0.0\n[focal length] 35.000000mm\n[version 9\n"
                             "[distortion] " +
                                 Scrambled("1.000000 0.000000 0.000000 0.000000") + "\r\n");
    CamInfo info;
    ASSERT_TRUE(info.LoadFile("new.txt", nullptr));
    EXPECT_EQ(info.hasFocalLength, 0);
    EXPECT_EQ(info.kind, 0);
    EXPECT_STREQ(info.GetName(), "new.txt");
    ASSERT_TRUE(info.LoadFile("later.txt", nullptr));
    EXPECT_EQ(info.GetFocalLength(), 35.0f);
    EXPECT_EQ(info.hasDistortion, 0);
}

TEST_F(CamInfoFileTest, AFileThatCannotBeReadLeavesAnEmptyRecordWithItsName)
{
    CamInfo info;
    info.SetFocalLength(50.0f);
    info.SetExifMake("Kept?");
    EXPECT_FALSE(info.LoadFile("missing.camInfo", nullptr));
    EXPECT_STREQ(info.GetName(), "missing.camInfo");
    EXPECT_EQ(info.GetExifMake(), nullptr);
    EXPECT_EQ(info.hasFocalLength, 0);
    EXPECT_EQ(info.kind, 0);
    EXPECT_FALSE(info.LoadFile("missing.txt", nullptr));
    // A share-library copy is looked for in the share library.
    WriteAll(win::ToPosixPath(CamInfoShareLibFolder()) + "/shared.camInfo_", "[focal length] 20.000000 mm\n");
    EXPECT_TRUE(info.LoadFile("shared.camInfo_", nullptr));
    EXPECT_EQ(info.GetFocalLength(), 20.0f);
    EXPECT_EQ(info.kind, 2);
}

// ---- Rewriting a record -----------------------------------------------------

TEST_F(CamInfoFileTest, SaveRewritesTheRecordsOwnFile)
{
    WriteAll(InFolder("own.camInfo"), "[Version] 2.0\n[CalMethod] Optarvo\n[Comment] kept\n"
                                      "[exifCameraMake] Canon\n[exifCameraModel] EOS\n[exifImageWd2Ht] 0.666667\n"
                                      "[exifFocalLength] 18.000000\n[exifCropFactor] 1.600000\n[exifCfSrc] 1\n"
                                      "[distortion] 0.1 0.2 0.3 0.4\n");
    CamInfo info;
    ASSERT_TRUE(info.LoadFile("own.camInfo", nullptr));
    ASSERT_EQ(info.kind, 3);
    ASSERT_TRUE(info.Save());
    const std::string text = ReadAll(InFolder("own.camInfo"));
    EXPECT_EQ(text.find("[Version]"), std::string::npos) << text;
    EXPECT_EQ(text.find("[focal length]"), std::string::npos) << text;
    CamInfo back;
    ASSERT_TRUE(back.LoadFile("own.camInfo", nullptr));
    EXPECT_EQ(back.version, 0.0f);
    EXPECT_EQ(back.hasFocalLength, 0);
    EXPECT_EQ(back.kind, 3);
    EXPECT_EQ(back.calMethod, 1);
    EXPECT_STREQ(back.GetComment(), "kept");
    EXPECT_STREQ(back.GetExifModel(), "EOS");
    EXPECT_FLOAT_EQ(back.exifWd2Ht, 0.666667f);
    EXPECT_EQ(back.exifCfSrc, 1);
    EXPECT_EQ(back.hasDistortion, 1);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(back.distortion[i], info.distortion[i]);
    // With a calibrated focal length the key comes back.
    back.SetFocalLength(31.5f);
    ASSERT_TRUE(back.Save());
    CamInfo again;
    ASSERT_TRUE(again.LoadFile("own.camInfo", nullptr));
    EXPECT_EQ(again.GetFocalLength(), 31.5f);
    EXPECT_EQ(again.kind, 5);

    CamInfo unnamed;
    EXPECT_FALSE(unnamed.Save());
}

TEST_F(CamInfoFileTest, AFileThatCannotBeWrittenIsReported)
{
    // A folder in the file's place cannot be opened for writing.
    fs::create_directories(InFolder("blocked.camInfo"));
    Prompter().ExpectMessageBox("Can't open file for saving: " + CamInfoFolder() + "\\blocked.camInfo", IDOK);
    EXPECT_FALSE(SaveCamInfo("blocked.camInfo", false, nullptr, nullptr, nullptr, nullptr, false, false, 20.0f, -1.0f));
}

// ---- Folders ----------------------------------------------------------------

class FolderTreeTest : public CamInfoFileTest {
protected:
    void SetUp() override
    {
        CamInfoFileTest::SetUp();
        fs::create_directories(Home().file("elsewhere"));
        ASSERT_TRUE(SetCurrentDirectory(Home().file("elsewhere").c_str()));
    }
    void TearDown() override
    {
        EXPECT_EQ(win::CurrentFolder(), Home().file("elsewhere"));
        CamInfoFileTest::TearDown();
    }
};

TEST_F(FolderTreeTest, CopyMakesTheSubfoldersAndKeepsExistingFiles)
{
    const std::string src = Home().file("src"), dst = Home().file("dst");
    WriteAll(src + "/a.camInfo_", "a");
    WriteAll(src + "/sub/b.camInfo_", "b");
    WriteAll(src + "/sub/deeper/c.camInfo_", "c");
    WriteAll(src + "/.hidden/x", "x");
    WriteAll(src + "/empty/.keep-not", "");
    fs::remove(src + "/empty/.keep-not");
    WriteAll(dst + "/a.camInfo_", "already there");
    EXPECT_TRUE(CopyFolderTree(src.c_str(), dst.c_str()));
    EXPECT_EQ(ReadAll(dst + "/a.camInfo_"), "already there");
    EXPECT_EQ(ReadAll(dst + "/sub/b.camInfo_"), "b");
    EXPECT_EQ(ReadAll(dst + "/sub/deeper/c.camInfo_"), "c");
    EXPECT_TRUE(fs::is_directory(dst + "/empty"));
    EXPECT_FALSE(fs::exists(dst + "/.hidden"));
}

TEST_F(FolderTreeTest, CopyRefusesAMissingOrEmptySource)
{
    const std::string empty = Home().file("empty"), missing = Home().file("missing"), dst = Home().file("dst");
    fs::create_directories(empty);
    fs::create_directories(dst);
    Prompter().ExpectMessageBox("Empty folder:\n" + empty, IDOK);
    EXPECT_FALSE(CopyFolderTree(empty.c_str(), dst.c_str()));
    Prompter().ExpectMessageBox("Cannot get folder:\n" + missing, IDOK);
    EXPECT_FALSE(CopyFolderTree(missing.c_str(), dst.c_str()));
}

TEST_F(FolderTreeTest, CopyReportsAFileThatCannotBeCopied)
{
    const std::string src = Home().file("src"), dst = Home().file("dst");
    WriteAll(src + "/sub/b.camInfo_", "b");
    // A file where the destination's subfolder should be.
    WriteAll(dst + "/sub", "not a folder");
    EXPECT_FALSE(CopyFolderTree(src.c_str(), dst.c_str()));
}

TEST_F(FolderTreeTest, DeleteRemovesATreeWithReadOnlyFiles)
{
    const std::string tree = Home().file("tree");
    WriteAll(tree + "/a", "a");
    WriteAll(tree + "/sub/b", "b");
    ASSERT_TRUE(SetFileAttributes((tree + "/sub/b").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(DeleteFolderTree(tree.c_str(), true));
    EXPECT_TRUE(fs::is_directory(tree));
    EXPECT_TRUE(fs::is_empty(tree));
    WriteAll(tree + "/c", "c");
    EXPECT_TRUE(DeleteFolderTree(tree.c_str(), false));
    EXPECT_FALSE(fs::exists(tree));
}

TEST_F(FolderTreeTest, DeleteAnswersForFoldersItCannotRemove)
{
    struct Case {
        const char* label;
        std::string folder;
        bool keep;
        bool result;
    };
    const std::string hidden = Home().file("hidden"), file = Home().file("plain-file");
    WriteAll(hidden + "/.git/config", "x");
    WriteAll(file, "not a folder");
    const Case cases[] = {
        {"does not exist", Home().file("nowhere"), false, true},
        {"a file: cannot be entered", file, false, false},
        {"hidden subfolder left: cannot be removed", hidden, false, false},
        {"hidden subfolder left, folder kept", hidden, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(DeleteFolderTree(c.folder.c_str(), c.keep), c.result);
    }
    EXPECT_TRUE(fs::exists(hidden + "/.git/config"));
}

}  // namespace
