// Files and paths at the boundary: Windows paths to POSIX, program and
// library names, wildcards without regard to case, the layer's own current
// folder, and the file operations with their platform rules.
#include "platform/win/file_system.h"
#include "core/logger.h"
#include "platform/win/tests/win_test_fixture.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

namespace fs = std::filesystem;

namespace {

class FileSystemTest : public WinTest {
protected:
    void Touch(const std::string& name, const std::string& text = "x")
    {
        std::ofstream(Home().file(name)) << text;
    }
    std::vector<std::string> Find(const std::string& pattern)
    {
        std::vector<std::string> names;
        WIN32_FIND_DATA data;
        const HANDLE h = FindFirstFile(pattern.c_str(), &data);
        if (h == INVALID_HANDLE_VALUE) return names;
        do {
            names.push_back(data.cFileName);
        } while (FindNextFile(h, &data));
        FindClose(h);
        return names;
    }
};

TEST_F(FileSystemTest, WindowsPathsBecomePosixPaths)
{
    win::MapDrive('D', "/media/data");
    win::SetProgramFolder("/opt/fendrake");
    struct Case {
        const char* in;
        std::string out;
    };
    const Case cases[] = {
        {"C:\\Users\\pano\\IMG_1.JPG", "/Users/pano/IMG_1.JPG"},
        {"c:/Users//pano\\\\x.kzp", "/Users/pano/x.kzp"},
        {"C:", "/"},
        {"C:\\", "/"},
        {"d:\\tour\\TessivConfig.bin", "/media/data/tour/TessivConfig.bin"},
        {"E:\\nowhere", "/.no-drive-E/nowhere"},
        {"/home/u/.local/share\\Quorvane\\config\\fendrake.cfg", "/home/u/.local/share/Quorvane/config/fendrake.cfg"},
        {"WebLinks\\WebPageSample.htm", "WebLinks/WebPageSample.htm"},
    };
    for (const Case& c : cases) EXPECT_EQ(win::ToPosixPath(c.in), c.out) << c.in;
    EXPECT_EQ(win::ProgramPath("\\Hollet.exe"), "/opt/fendrake/Hollet");
    EXPECT_EQ(win::ProgramPath("loud.exe"), "/opt/fendrake/loud");
    EXPECT_EQ(win::ProgramPath("C:\\Marrowick\\Marrowick.EXE"), "/Marrowick/Marrowick");
    EXPECT_EQ(win::LibraryFileName("Jpegkit.dll"), "libJpegkit.so");
    EXPECT_EQ(win::LibraryFileName("C:\\lib\\Cinvora.DLL"), "/lib/libCinvora.so");
    EXPECT_EQ(win::LibraryFileName("hhctrl.ocx"), "hhctrl.ocx");
    EXPECT_EQ(GetLogicalDrives(), (1u << ('C' - 'A')) | (1u << ('D' - 'A')));
    EXPECT_EQ(GetDriveType("C:\\"), DRIVE_FIXED);
    EXPECT_EQ(GetDriveType("E:\\"), DRIVE_NO_ROOT_DIR);
}

TEST_F(FileSystemTest, WildcardsMatchWithoutRegardToCaseAsThePlatformDid)
{
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.jpg", "IMG_1.JPG", true},   {"*.jpg", "img.jpeg", false}, {"*.*", "README", true},
        {"*.*", "a.b.c", true},         {"*", ".hidden", true},       {"IMG_?.jpg", "img_7.JPG", true},
        {"IMG_?.jpg", "IMG_12.jpg", false}, {"pano.*", "pano", true}, {"pano.*", "pano.tif", true},
        {"*.", "Makefile", true},       {"*.", "a.txt", false},       {"*.tif", "x.tif.bak", false},
        {"a*b*c", "aXXbYYc", true},     {"a*b*c", "aXXbYY", false},  {"", "x", false},
    };
    for (const Case& c : cases) EXPECT_EQ(win::WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
}

TEST_F(FileSystemTest, FindingFilesListsCaseInsensitiveMatchesInAStableOrder)
{
    for (const char* n : {"IMG_2.JPG", "img_1.jpg", "Pano.Jpg", "notes.txt", "b.jpeg"}) Touch(n);
    fs::create_directory(Home().file("Sub.jpg"));
    const std::string folder = Home().path().string();
    EXPECT_EQ(Find(folder + "\\*.jpg"), (std::vector<std::string>{"img_1.jpg", "IMG_2.JPG", "Pano.Jpg", "Sub.jpg"}));
    const auto all = Find(folder + "/*.*");
    ASSERT_GE(all.size(), 8u);
    EXPECT_EQ(all[0], ".");
    EXPECT_EQ(all[1], "..");
    WIN32_FIND_DATA data;
    const HANDLE h = FindFirstFile((folder + "/SUB.JPG").c_str(), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    FindClose(h);
    EXPECT_EQ(FindFirstFile((folder + "/*.gif").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindFirstFile((folder + "/missing/*.jpg").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(FileSystemTest, TheCurrentFolderBelongsToTheLayerNotToTheProcess)
{
    const std::string before = fs::current_path().string();
    fs::create_directories(Home().file("a/b"));
    Touch("a/b/x.txt");
    ASSERT_TRUE(SetCurrentDirectory(Home().file("a").c_str()));
    ASSERT_TRUE(SetCurrentDirectory("b"));
    char buffer[MAX_PATH];
    ASSERT_GT(GetCurrentDirectory(MAX_PATH, buffer), 0u);
    EXPECT_EQ(std::string(buffer), Home().file("a/b"));
    EXPECT_EQ(fs::current_path().string(), before);  // no chdir happened
    // Relative names resolve against it, also on other threads.
    EXPECT_NE(GetFileAttributes("x.txt"), INVALID_FILE_ATTRIBUTES);
    DWORD fromWorker = INVALID_FILE_ATTRIBUTES;
    std::thread([&] { fromWorker = GetFileAttributes("x.txt"); }).join();
    EXPECT_NE(fromWorker, INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(SetCurrentDirectory(".."));
    EXPECT_EQ(win::CurrentFolder(), Home().file("a"));
    EXPECT_FALSE(SetCurrentDirectory("missing"));
    EXPECT_EQ(win::CurrentFolder(), Home().file("a"));
}

TEST_F(FileSystemTest, FileOperationsFollowThePlatformsRules)
{
    Touch("src.txt", "hello");
    const std::string src = Home().file("src.txt"), copy = Home().file("copy.txt"), moved = Home().file("moved.txt");
    EXPECT_TRUE(CopyFile(src.c_str(), copy.c_str(), TRUE));
    EXPECT_FALSE(CopyFile(src.c_str(), copy.c_str(), TRUE));  // exists
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_TRUE(CopyFile(src.c_str(), copy.c_str(), FALSE));
    EXPECT_FALSE(MoveFile(src.c_str(), copy.c_str()));  // moving never overwrites
    EXPECT_TRUE(MoveFile(src.c_str(), moved.c_str()));
    EXPECT_EQ(GetFileAttributes(src.c_str()), INVALID_FILE_ATTRIBUTES);
    // A read-only file is not deleted.
    EXPECT_TRUE(SetFileAttributes(moved.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(GetFileAttributes(moved.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(DeleteFile(moved.c_str()));
    EXPECT_TRUE(SetFileAttributes(moved.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFile(moved.c_str()));
    EXPECT_FALSE(DeleteFile(moved.c_str()));
    // Folders: made once, removed only when empty.
    const std::string dir = Home().file("album");
    EXPECT_TRUE(CreateDirectory(dir.c_str(), nullptr));
    EXPECT_FALSE(CreateDirectory(dir.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    Touch("album/a.jpg");
    EXPECT_FALSE(RemoveDirectory(dir.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
    // Temporary files are made, unique, in the folder asked for.
    char first[MAX_PATH], second[MAX_PATH];
    ASSERT_NE(GetTempFileName(dir.c_str(), "qvz", 0, first), 0u);
    ASSERT_NE(GetTempFileName(dir.c_str(), "qvz", 0, second), 0u);
    EXPECT_NE(std::string(first), std::string(second));
    EXPECT_TRUE(fs::exists(first));
    EXPECT_EQ(fs::path(first).parent_path().string(), dir);
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPath(MAX_PATH, temp), 0u);
    EXPECT_EQ(std::string(temp).back(), '/');
}

TEST_F(FileSystemTest, LibrariesLoadByTheirLinuxNameAndBindByExportedName)
{
    // The C library is everywhere: "c.dll" would be libc.so, which is a
    // linker script; libm's full name loads through the system search.
    const HMODULE m = LoadLibrary("libm.so.6");
    ASSERT_NE(m, nullptr);
    EXPECT_NE(GetProcAddress(m, "cos"), nullptr);
    EXPECT_EQ(GetProcAddress(m, "NoSuchEntry"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    LogCapture log;
    EXPECT_EQ(GetProcAddress(m, reinterpret_cast<const char*>(uintptr_t{3})), nullptr);
    EXPECT_TRUE(log.contains("by ordinal 3"));
    EXPECT_TRUE(FreeLibrary(m));
    EXPECT_EQ(LoadLibrary("Nosuchkit.dll"), nullptr);
}

}  // namespace
