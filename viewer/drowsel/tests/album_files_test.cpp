// The album and the hand-over file on real files in a temporary folder.
#include "viewer/drowsel/album_files.h"

#include "core/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

using testkit::ReadText;

class AlbumFilesTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("TMPDIR", tmp.path().c_str(), 1); }
    void TearDown() override { unsetenv("TMPDIR"); }
    testkit::TempDir dir;
    testkit::TempDir tmp;
};

TEST_F(AlbumFilesTest, AlbumKeepsUsableEntriesInOrder)
{
    testkit::TempDir other;
    const std::string a = other.file("a.jpg");
    WriteText(a, "x");
    WriteText(dir.file("b.jpg"), "x");
    // A path longer than 255 characters stays one entry.
    std::string longName;
    for (int i = 0; i < 4; ++i) longName += std::string(95, char('p' + i)) + "/";
    longName += "picture.jpg";
    std::filesystem::create_directories(std::filesystem::path(dir.file(longName)).parent_path());
    WriteText(dir.file(longName), "x");
    WriteText(dir.file("c d.jpg"), "x");
    const std::string album = dir.file("album.txt");
    WriteText(album, "# a comment\n"
                     " b.jpg\n"
                     "\n" +
                         a + "\n"
                             "b.jpg\n"
                             "missing.jpg\n" +
                         longName + "\r\n"
                                    "c d.jpg");  // the last line has no line feed
    std::vector<std::string> entries;
    LogCapture log;
    ASSERT_TRUE(drowsel::ReadAlbum(album, entries));
    const std::vector<std::string> expected{a, dir.file("b.jpg"), dir.file(longName), dir.file("c d.jpg")};
    EXPECT_EQ(entries, expected);
    EXPECT_GT(dir.file(longName).size(), 400u);
    EXPECT_EQ(log.errorCount(), 0);
}

TEST_F(AlbumFilesTest, AbsoluteAndRelativeLines)
{
    struct Case {
        const char* line;
        bool absolute;
    } cases[] = {{"C:\\pics\\a.jpg", true}, {"/pics/a.jpg", true}, {"\\pics\\a.jpg", true},
                 {"b.jpg", false},          {"sub/b.jpg", false},  {"c", false}};
    for (const Case& c : cases) EXPECT_EQ(drowsel::IsAbsoluteAlbumEntry(c.line), c.absolute) << c.line;
    EXPECT_EQ(drowsel::AlbumFolder("D:\\albums\\x.txt"), "D:\\albums\\");
    EXPECT_EQ(drowsel::AlbumFolder("/home/u/x.txt"), "/home/u/");
    EXPECT_EQ(drowsel::AlbumFolder("x.txt"), "");
}

TEST_F(AlbumFilesTest, MissingAlbumIsAnErrorAndAnAlbumOfNothingIsEmpty)
{
    std::vector<std::string> entries{"stale"};
    {
        LogCapture log;
        EXPECT_FALSE(drowsel::ReadAlbum(dir.file("none.txt"), entries));
        EXPECT_TRUE(log.contains("ERROR ReadAlbum")) << log.text();
    }
    EXPECT_TRUE(entries.empty());
    WriteText(dir.file("gone.txt"), "# only\nmissing.jpg\n");
    EXPECT_TRUE(drowsel::ReadAlbum(dir.file("gone.txt"), entries));
    EXPECT_TRUE(entries.empty());
}

TEST_F(AlbumFilesTest, AddToAlbumPutsThePictureFirstOnce)
{
    const std::string album = dir.file("album.txt");
    struct Case {
        std::string before;  // "<none>": no album file
        std::string picture;
        std::string after;
    } cases[] = {
        {"<none>", "/p/x.jpg", "/p/x.jpg\n"},
        {"", "/p/x.jpg", "/p/x.jpg\n"},
        {"/p/a.jpg\n/p/x.jpg\n# note\n\n/p/b.jpg", "/p/x.jpg", "/p/x.jpg\n/p/a.jpg\n# note\n/p/b.jpg\n"},
        {"/p/a.jpg\n/p/x.jpg.bak\n", "/p/x.jpg", "/p/x.jpg\n/p/a.jpg\n/p/x.jpg.bak\n"},
    };
    for (const Case& c : cases) {
        std::remove(album.c_str());
        if (c.before != "<none>") WriteText(album, c.before);
        ASSERT_TRUE(drowsel::AddToAlbum(album, c.picture));
        EXPECT_EQ(ReadText(album), c.after) << "before: " << c.before;
    }
    LogCapture log;
    EXPECT_FALSE(drowsel::AddToAlbum(dir.file("no/such/folder/album.txt"), "/p/x.jpg"));
    EXPECT_TRUE(log.contains("ERROR AddToAlbum")) << log.text();
}

TEST_F(AlbumFilesTest, HandOverFileInTheTemporaryFolder)
{
    EXPECT_EQ(drowsel::HandOverPath(), tmp.file("quorvanealbum.txt"));
    EXPECT_EQ(drowsel::ReadHandOver(), "");  // no file: nothing handed over
    WriteText(tmp.file("quorvanealbum.txt"), "/pano/p.jpg\nsecond line\n");
    EXPECT_EQ(drowsel::ReadHandOver(), "/pano/p.jpg");
    ASSERT_TRUE(drowsel::EmptyHandOver());
    EXPECT_EQ(ReadText(tmp.file("quorvanealbum.txt")), "");
    EXPECT_EQ(drowsel::ReadHandOver(), "");
    // A temporary folder of any length.
    testkit::TempDir deep;
    const std::string folder = deep.file(std::string(120, 't'));
    std::filesystem::create_directories(folder);
    setenv("TMPDIR", folder.c_str(), 1);
    WriteText(folder + "/quorvanealbum.txt", "/pano/q.jpg\n");
    EXPECT_EQ(drowsel::HandOverPath(), folder + "/quorvanealbum.txt");
    EXPECT_EQ(drowsel::ReadHandOver(), "/pano/q.jpg");
}

}  // namespace
