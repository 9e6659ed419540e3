#include "platform/utilkit/crash_dump.h"
#include "platform/utilkit/log_base.h"
#include "platform/utilkit/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct AppDataHere {
    explicit AppDataHere(const testkit::TempDir& dir) { ::setenv("FENDRAKE_APPDATA", dir.path().c_str(), 1); }
    ~AppDataHere() { ::unsetenv("FENDRAKE_APPDATA"); }
};

std::vector<std::filesystem::path> FilesIn(const std::string& folder)
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) files.push_back(entry.path());
    return files;
}

// An operation as the stitch and blend steps guard it: true when it ended
// in a dump.
bool GuardedOperation(const std::function<void()>& body, const char* dumpName)
{
    try {
        CrashDump::MapSEtoCE();
        CrashDump::RunGuarded(body);
        return false;
    } catch (CrashDump& e) {
        EXPECT_TRUE(CrashDump::GenerateDump(e.Getpep(), dumpName));
        return true;
    }
}

}  // namespace

TEST(CrashDump, EscapingFailuresEndInOneDumpInTheLogFolder)
{
    testkit::TempDir dir;
    AppDataHere here(dir);
    struct Case {
        const char* what;
        std::function<void()> body;
        std::string type;     // as the dump names it
        std::string message;
    };
    const Case cases[] = {
        {"allocation", [] { throw std::bad_alloc(); }, "std::bad_alloc", "std::bad_alloc"},
        {"vector too long", [] { std::vector<double>(size_t{1} << 62); }, "std::length_error", "cannot create std::vector"},
        {"runtime error", [] { throw std::runtime_error("pair 3: no overlap"); }, "std::runtime_error",
         "pair 3: no overlap"},
        {"not a std::exception", [] { throw 42; }, "unknown", ""},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(LogBase::getPath_log());
        LogCapture log;
        EXPECT_TRUE(GuardedOperation(c.body, "Fendrake_st_0.1_")) << c.what;
        EXPECT_TRUE(log.contains("ERROR CrashDump::RunGuarded()")) << c.what;
        const auto files = FilesIn(LogBase::getPath_log());
        ASSERT_EQ(files.size(), 1u) << c.what;
        const std::string fileName = files[0].filename().string();
        EXPECT_TRUE(fileName.starts_with("Fendrake_st_0.1_")) << fileName;
        EXPECT_TRUE(fileName.ends_with(".dmp.txt")) << fileName;
        std::ifstream in(files[0]);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(text.find("name: Fendrake_st_0.1_\n"), std::string::npos) << text;
        EXPECT_NE(text.find("exception: " + c.type + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("what: " + c.message), std::string::npos) << text;
        EXPECT_NE(text.find("thread: "), std::string::npos);
        EXPECT_NE(text.find("time: 20"), std::string::npos);
        EXPECT_NE(text.find("  #0 "), std::string::npos) << "no backtrace:\n" << text;
    }
}

TEST(CrashDump, ANormalReturnWritesNothing)
{
    testkit::TempDir dir;
    AppDataHere here(dir);
    int ran = 0;
    EXPECT_FALSE(GuardedOperation([&] { ++ran; }, "Fendrake_bl_0.1_"));
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(FilesIn(LogBase::getPath_log()).empty());
}

TEST(CrashDump, ADumpThatCannotBeWrittenIsReported)
{
    testkit::TempDir dir;
    AppDataHere here(dir);
    const CrashDump dump(CrashRecord{"std::bad_alloc", "std::bad_alloc", 1, {}});
    LogCapture log;
    EXPECT_FALSE(CrashDump::GenerateDump(dump.Getpep(), "no/such/folder/Fendrake_st_"));
    EXPECT_FALSE(CrashDump::GenerateDump(nullptr, "Fendrake_st_"));
    EXPECT_EQ(log.errorCount(), 2);
    EXPECT_TRUE(FilesIn(LogBase::getPath_log()).empty());
}
