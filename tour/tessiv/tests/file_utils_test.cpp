#include "tour/tessiv/file_utils.h"

#include "testkit/testkit.h"
#include "tour/tessiv/tests/prompts.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

void WriteText(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

using testkit::ReadText;

TEST(FileUtils, NamesAndSplits)
{
    EXPECT_STREQ(FileNamePart("c:\\a\\b.jpg"), "b.jpg");
    EXPECT_STREQ(FileNamePart("c:/a/b c.jpg"), "b c.jpg");
    EXPECT_STREQ(FileNamePart("c:\\a/b\\c"), "c");
    EXPECT_STREQ(FileNamePart("plain"), "plain");
    EXPECT_STREQ(FileNamePart("dir\\"), "");
    EXPECT_EQ(FileNamePart(nullptr), nullptr);

    struct Case {
        const char* path;
        bool ok;
        const char* folder;
        const char* name;
    };
    const Case cases[] = {
        {"c:\\tours\\tour.htm", true, "c:\\tours", "tour.htm"},
        {"c:/tours/sub\\tour.htm", true, "c:/tours/sub", "tour.htm"},
        {"tour.htm", false, "", ""},
        {"\\tour.htm", false, "", ""},  // the separator is the first character
        {"c:\\", true, "c:", ""},
    };
    for (const Case& c : cases) {
        std::string folder = "untouched", name = "untouched";
        EXPECT_EQ(SplitPath(c.path, folder, name), c.ok) << c.path;
        EXPECT_EQ(folder, c.ok ? c.folder : "untouched") << c.path;
        EXPECT_EQ(name, c.ok ? c.name : "untouched") << c.path;
    }
}

TEST(FileUtils, RelativeReferences)
{
    struct Case {
        const char* base;
        const char* target;
        bool ok;
        const char* expected;
    };
    const Case cases[] = {
        {"c:\\tour\\pub", "c:\\pics", true, "../../pics"},
        {"c:\\a", "c:\\a\\b\\c", true, "b\\c"},
        {"c:\\a\\b\\c", "c:\\a", true, "../.."},
        {"c:\\a", "d:\\a", false, ""},
        {"C:\\Tour", "c:\\tour", true, ""},                  // case does not count
        {"c:\\tour", "C:\\Tour\\Media", true, "Media"},     // the target's own spelling
        {"c:\\ab", "c:\\a", true, "../a"},                  // a shared start is not a shared folder
        {"c:\\a\\x", "c:\\a\\y\\z", true, "../y\\z"},
        {"c:\\tour\\", "c:\\tour\\data", true, "data"},     // a trailing separator changes nothing
        {"c:", "c:\\pics", true, "pics"},
        {"abc", "abd", false, ""},                          // no shared folder
    };
    for (const Case& c : cases) {
        std::string out = "untouched";
        EXPECT_EQ(RelativeFolder(c.base, c.target, out), c.ok) << c.base << " -> " << c.target;
        if (c.ok) {
            EXPECT_EQ(out, c.expected) << c.base << " -> " << c.target;
        }
    }

    std::string out;
    ASSERT_TRUE(RelativeFilePath("c:\\pics\\a.jpg", "c:\\tour\\pub", out));
    EXPECT_EQ(out, "../../pics\\a.jpg");
    ASSERT_TRUE(RelativeFilePath("c:\\tour\\pub\\a.jpg", "c:\\tour\\pub", out));
    EXPECT_EQ(out, "a.jpg");  // not "\\a.jpg", which would name the drive's root
    EXPECT_FALSE(RelativeFilePath("a.jpg", "c:\\tour", out));
    EXPECT_FALSE(RelativeFilePath("d:\\a.jpg", "c:\\tour", out));
}

TEST(FileUtils, SkinPaths)
{
    EXPECT_STREQ(SkinName(0), "porcelain");
    EXPECT_STREQ(SkinName(1), "marble");
    EXPECT_EQ(SkinName(2), nullptr);
    EXPECT_EQ(MediaFolderName(0), "QuorvaneTour_media_porcelain");
    EXPECT_EQ(SkinMediaFolder("c:\\prog", "WebLinksTm", 1), "c:\\prog\\WebLinksTm\\QuorvaneTour_media\\marble\\s0");
    EXPECT_EQ(SkinStyleFile("c:\\prog", "WebLinksTm", 0),
              "c:\\prog\\WebLinksTm\\QuorvaneTour_media\\porcelain\\porcelain.txt");
}

TEST(FileUtils, ClearFolderEmptiesAndRemoves)
{
    testkit::TempDir dir;
    const fs::path root = dir.path() / "pub";
    WriteText(root / "a.txt", "a");
    WriteText(root / ".hidden", "h");
    WriteText(root / "sub" / "deep" / "b.txt", "b");
    WriteText(root / "sub" / "ro.txt", "r");
    fs::permissions(root / "sub" / "ro.txt", fs::perms::owner_write, fs::perm_options::remove);

    ASSERT_TRUE(ClearFolder(root.c_str(), true));
    EXPECT_TRUE(fs::exists(root));
    EXPECT_TRUE(fs::is_empty(root));

    WriteText(root / "c.txt", "c");
    ASSERT_TRUE(ClearFolder(root.c_str(), false));
    EXPECT_FALSE(fs::exists(root));
    EXPECT_TRUE(ClearFolder((dir.path() / "never").c_str(), false));  // nothing there: true

    // A folder whose name begins with "." is not entered, so its parent stays.
    WriteText(root / ".keep" / "x.txt", "x");
    EXPECT_FALSE(ClearFolder(root.c_str(), false));
    EXPECT_TRUE(fs::exists(root / ".keep" / "x.txt"));
}

TEST(FileUtils, ClearFolderRemovesLinksWithoutFollowingThem)
{
    testkit::TempDir dir;
    const fs::path outside = dir.path() / "precious";
    WriteText(outside / "keep.txt", "keep");
    WriteText(outside / "file.txt", "file");
    const fs::path root = dir.path() / "pub";
    fs::create_directories(root);
    fs::create_directory_symlink(outside, root / "linked");
    fs::create_symlink(outside / "file.txt", root / "file-link");
    fs::permissions(outside / "file.txt", fs::perms::owner_write, fs::perm_options::remove);

    ASSERT_TRUE(ClearFolder(root.c_str(), false));
    EXPECT_FALSE(fs::exists(root));
    EXPECT_EQ(ReadText(outside / "keep.txt"), "keep");
    EXPECT_EQ(ReadText(outside / "file.txt"), "file");
    // The target's own write protection was not touched.
    EXPECT_EQ(fs::status(outside / "file.txt").permissions() & fs::perms::owner_write, fs::perms::none);
}

TEST(FileUtils, CopyFolderNeverOverwrites)
{
    testkit::TempDir dir;
    const fs::path source = dir.path() / "media" / "common";
    WriteText(source / "bar.png", "bar");
    WriteText(source / "skin.css", "from common");
    WriteText(source / "icons" / "play.png", "play");
    WriteText(source / ".svn" / "entries", "x");
    const fs::path target = dir.path() / "tour" / "media";
    WriteText(target / "skin.css", "already there");

    Prompts prompts;
    ASSERT_TRUE(CopyFolder(source.c_str(), target.c_str()));
    EXPECT_EQ(ReadText(target / "bar.png"), "bar");
    EXPECT_EQ(ReadText(target / "icons" / "play.png"), "play");
    EXPECT_EQ(ReadText(target / "skin.css"), "already there");
    EXPECT_FALSE(fs::exists(target / ".svn"));
}

// A copy that fails is reported and fails the whole copy, while the rest
// is still copied and a file already there is no failure.
TEST(FileUtils, CopyFolderReportsFailedCopies)
{
    testkit::TempDir dir;
    const fs::path source = dir.path() / "media";
    WriteText(source / "a.txt", "a");
    WriteText(source / "skin.css", "new");
    WriteText(source / "icons" / "play.png", "play");
    const fs::path target = dir.path() / "tour";
    WriteText(target / "skin.css", "kept");
    WriteText(target / "icons", "a file where the folder should go");

    {
        Prompts prompts;
        prompts.get().ExpectMessageBox("Cannot copy file:\n" + (target / "icons" / "play.png").string(), IDOK);
        EXPECT_FALSE(CopyFolder(source.c_str(), target.c_str()));
    }
    EXPECT_EQ(ReadText(target / "a.txt"), "a");
    EXPECT_EQ(ReadText(target / "skin.css"), "kept");

    // A destination folder that does not exist takes nothing.
    const fs::path missing = dir.path() / "nowhere";
    fs::remove_all(source / "icons");
    fs::remove(source / "skin.css");
    {
        Prompts prompts;
        prompts.get().ExpectMessageBox("Cannot copy file:\n" + (missing / "a.txt").string(), IDOK);
        EXPECT_FALSE(CopyFolder(source.c_str(), missing.c_str()));
    }
    EXPECT_FALSE(fs::exists(missing));

    // Everything there already: success, nothing shown.
    Prompts prompts;
    EXPECT_TRUE(CopyFolder(source.c_str(), target.c_str()));
}

TEST(FileUtils, CopyFolderReportsAMissingSource)
{
    testkit::TempDir dir;
    Prompts prompts;
    const std::string missing = (dir.path() / "nothing").string();
    prompts.get().ExpectMessageBox("Cannot get folder:\n" + missing, IDOK);
    EXPECT_FALSE(CopyFolder(missing.c_str(), dir.path().c_str()));
}

TEST(FileUtils, CopyTextFileAppends)
{
    testkit::TempDir dir;
    std::string long_text;
    for (int i = 0; i < 300; ++i) long_text += "line " + std::to_string(i) + "\n";  // several pieces of 499
    WriteText(dir.path() / "style.txt", long_text);
    const fs::path outPath = dir.path() / "page.htm";
    FILE* out = std::fopen(outPath.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fputs("<head>\n", out);
    Prompts prompts;
    EXPECT_TRUE(CopyTextFile((dir.path() / "style.txt").c_str(), out));
    const std::string missing = (dir.path() / "none.txt").string();
    prompts.get().ExpectMessageBox("Cannot open file:\n" + missing, IDOK);
    EXPECT_FALSE(CopyTextFile(missing.c_str(), out));
    std::fclose(out);
    EXPECT_EQ(ReadText(outPath), "<head>\n" + long_text);
}

}  // namespace
