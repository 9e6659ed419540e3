#include "platform/utilkit/log_base.h"
#include "core/logger.h"
#include "testkit/local_http_server.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// Points the common application-data folder at a temporary folder.
struct AppDataHere {
    explicit AppDataHere(const testkit::TempDir& dir) { ::setenv("FENDRAKE_APPDATA", dir.path().c_str(), 1); }
    ~AppDataHere() { ::unsetenv("FENDRAKE_APPDATA"); }
};

}  // namespace

TEST(LogBase, CommonAppDataFoldersAreMadeFromWindowsStyleSubPaths)
{
    testkit::TempDir dir;
    AppDataHere here(dir);
    std::string path;
    EXPECT_TRUE(LogBase::GetCommonAppDataDir("\\Quorvane\\CameraInfo", path));
    EXPECT_EQ(path, (dir.path() / "Quorvane" / "CameraInfo").string());
    EXPECT_TRUE(std::filesystem::is_directory(path));
    EXPECT_TRUE(LogBase::GetCommonAppDataDir("\\Quorvane", static_cast<std::string*>(nullptr)));
    EXPECT_EQ(LogBase::getPath_log(), (dir.path() / "Quorvane" / "log").string());
}

TEST(LogBase, LoggerWritesIntoTheLogFolderByDefault)
{
    testkit::TempDir dir;
    AppDataHere here(dir);
    ASSERT_TRUE(Logger::setLogOn("Fendrake", nullptr));
    Logger::log("ERROR Probe::Run() %d", 1, 5);
    const std::string name = Logger::getLogFileName();
    Logger::setLogOff();
    EXPECT_EQ(name, LogBase::getPath_log() + "/Fendrake.log");
    std::ifstream in(name);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find("[1] ERROR Probe::Run() 5"), std::string::npos);
}

TEST(LogBase, FileChecksAndTemporaryNames)
{
    testkit::TempDir dir;
    EXPECT_TRUE(LogBase::canWriteFile(dir.path().c_str()));
    EXPECT_TRUE(LogBase::canWriteFile(dir.file("new.txt").c_str()));
    EXPECT_FALSE(LogBase::canWriteFile("/nonexistent-folder/x.txt"));
    EXPECT_FALSE(LogBase::IsFileExists(dir.file("none").c_str()));
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        std::string name;
        ASSERT_TRUE(LogBase::makeFilename("kzbl_", ".tiff", dir.path().c_str(), name));
        EXPECT_TRUE(name.starts_with(dir.file("kzbl_")));
        EXPECT_TRUE(name.ends_with(".tiff"));
        EXPECT_TRUE(LogBase::IsFileExists(name.c_str()));
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 20u);
    std::string name;
    LogCapture log;
    EXPECT_FALSE(LogBase::makeFilename("x", ".y", "/nonexistent-folder", name));
    EXPECT_TRUE(log.contains("ERROR LogBase::makeFilename()"));
}

TEST(LogBase, TimeStringsAreReadableOrUniqueAndFitTheirBuffer)
{
    char a[100], b[100];
    const int n = LogBase::makeTimeString(a, 100, true);
    EXPECT_EQ(n, 19);  // "2024-05-01 12:34:56"
    EXPECT_EQ(a[4], '-');
    EXPECT_EQ(a[10], ' ');
    ASSERT_GT(LogBase::makeTimeString(a, 100, false), 0);
    ASSERT_GT(LogBase::makeTimeString(b, 100, false), 0);
    EXPECT_STRNE(a, b) << "two names made in a row differ";
    EXPECT_EQ(std::string(a).find_first_of(" :/\\"), std::string::npos);
    char tiny[5] = "xxxx";
    EXPECT_EQ(LogBase::makeTimeString(tiny, 5, true), 0);
    EXPECT_EQ(tiny[0], '\0');
}

// Two processes that make their names at the same moment with the same
// serial (a program started twice, or test processes run side by side)
// still get different names: the channel of one would otherwise be refused
// to the other.
TEST(LogBase, TimeStringsOfTwoProcessesDiffer)
{
    int link[2];
    ASSERT_EQ(::pipe(link), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    char mine[100] = {};
    if (child == 0) {
        ::close(link[0]);
        char theirs[100] = {};
        const int n = LogBase::makeTimeString(theirs, 100, false);
        const bool sent = n > 0 && ::write(link[1], theirs, static_cast<size_t>(n) + 1) == n + 1;
        _exit(sent ? 0 : 1);
    }
    ::close(link[1]);
    ASSERT_GT(LogBase::makeTimeString(mine, 100, false), 0);
    char theirs[100] = {};
    size_t got = 0;
    for (ssize_t r; got < sizeof theirs && (r = ::read(link[0], theirs + got, sizeof theirs - got)) > 0;)
        got += static_cast<size_t>(r);
    ::close(link[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_GT(got, 0u);
    EXPECT_STRNE(mine, theirs);
}

TEST(LogBase, CommandLinesSplitTheWindowsWay)
{
    struct Case {
        const char* line;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"a b  c", {"a", "b", "c"}},
        {"\"C:\\Program Files\\x.exe\" -o \"out file\"", {"C:\\Program Files\\x.exe", "-o", "out file"}},
        {"-h -b 128 \"in.wav\" \"out.mp3\"", {"-h", "-b", "128", "in.wav", "out.mp3"}},
        {"say \\\"hi\\\"", {"say", "\"hi\""}},
        {"a\\\\\"b c\"", {"a\\b c"}},
        {"\"\"", {""}},
        {"", {}},
    };
    for (const Case& k : cases) EXPECT_EQ(LogBase::SplitCommandLine(k.line), k.words) << k.line;
    EXPECT_EQ(LogBase::ToNativePath("\\Quorvane\\log"), "/Quorvane/log");
}

TEST(LogBase, ProgramsStartWithTheirArgumentsAndReportTheirStatus)
{
    ASSERT_TRUE(testkit::RequireTool("sh"));
    testkit::TempDir dir;
    // Arguments alone: the program name is put in front.
    EXPECT_EQ(LogBase::ExecuteWait("/bin/sh", "-c \"exit 3\"", false), 3);
    // A full command line that begins with the program's own name.
    const std::string out = dir.file("out.txt");
    const std::string line = "sh -c \"echo hello > '" + out + "'\"";
    EXPECT_EQ(LogBase::ExecuteWait("/bin/sh", line.c_str(), false), 0);
    std::ifstream in(out);
    std::string word;
    in >> word;
    EXPECT_EQ(word, "hello");

    LogCapture log;
    EXPECT_EQ(LogBase::ExecuteProcess("\\nonexistent\\Hollet.exe", "Hollet -x", nullptr, false), nullptr);
    EXPECT_EQ(LogBase::ExecuteWait("/nonexistent/prog", "", false), -1);
    EXPECT_TRUE(log.contains("ERROR LogBase::ExecuteProcess() cannot start /nonexistent/Hollet.exe"));
}

// Words reach the program exactly as given: quotes, blanks and backslashes
// in a word neither split it nor add words.
TEST(LogBase, ProgramsStartWithWordsAsGiven)
{
    ASSERT_TRUE(testkit::RequireTool("sh"));
    testkit::TempDir dir;
    const std::string out = dir.file("words.txt");
    const std::vector<std::string> words = {"-c", "for w in \"$@\"; do printf '%s|' \"$w\"; done > \"$0\"", out,
                                            "a b", "x\" \"-y", "c:\\dir\\", ""};
    EXPECT_EQ(LogBase::ExecuteWait("/bin/sh", words, false), 0);
    std::ifstream in(out);
    const std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, "a b|x\" \"-y|c:\\dir\\||");
    EXPECT_EQ(LogBase::ExecuteWait("/bin/sh", std::vector<std::string>{"-c", "exit 5"}, false), 5);
    LogCapture log;
    EXPECT_EQ(LogBase::ExecuteWait("/nonexistent/prog", std::vector<std::string>{"x"}, false), -1);
    EXPECT_EQ(log.errorCount(), 1);
}

TEST(LogBase, ExeSuffixFallsBackToTheBareProgram)
{
    testkit::TempDir dir;
    const std::string script = dir.file("Nerrow");
    {
        std::ofstream f(script);
        f << "#!/bin/sh\nexit 7\n";
    }
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    EXPECT_EQ(LogBase::ExecuteWait((script + ".exe").c_str(), "", false), 7);
}

TEST(LogBase, DownloadCopiesLocalAddresses)
{
    testkit::TempDir dir;
    {
        std::ofstream f(dir.file("list.txt"));
        f << "CameraInfoShareLibList 3\n";
    }
    EXPECT_EQ(LogBase::downloadFile(("file://" + dir.file("list.txt")).c_str(), dir.file("copy.txt").c_str()), 0);
    std::ifstream in(dir.file("copy.txt"));
    std::string first;
    in >> first;
    EXPECT_EQ(first, "CameraInfoShareLibList");
    LogCapture log;
    EXPECT_EQ(LogBase::downloadFile(dir.file("missing").c_str(), dir.file("x").c_str()), -1);
    EXPECT_EQ(log.errorCount(), 1);
}

namespace {

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

// http:// addresses go through the suite's HTTP client against a server of
// our own on 127.0.0.1: a complete 2xx body is the only success, anything
// else leaves no file behind and logs one ERROR line.
TEST(LogBase, DownloadOverHttpKeepsOnlyACompleteBody)
{
    const std::string body = "CameraInfoShareLibList\n" + std::string(60000, 'k') + "\nend\n";
    testhttp::LocalServer server([&](const testhttp::Request& request) {
        testhttp::Reply r;
        const std::string& t = request.target;
        if (t == "/list") {
            r.body = body;
            r.framing = testhttp::Reply::kChunked;
            r.pieceSize = 4096;
        } else if (t == "/cut") {
            r.body = body;
            r.dropAfter = 20000;
        } else if (t == "/servererror") {
            r.status = 500;
            r.reason = "Internal Server Error";
            r.body = "broken";
        } else if (t.starts_with("/hop/")) {
            // "/hop/N" redirects N more times before the body.
            const int left = std::stoi(t.substr(5));
            if (left == 0) {
                r.body = body;
            } else {
                r.status = 302;
                r.reason = "Found";
                r.headers.push_back("Location: /hop/" + std::to_string(left - 1));
            }
        } else {
            r.status = 404;
            r.reason = "Not Found";
            r.body = "<html>no such file</html>";
        }
        return r;
    });
    ASSERT_TRUE(server.Ok());
    const int limit = static_cast<int>(LogBase::kDownloadMaxRedirects);
    struct Case {
        std::string target;
        int result;
        bool kept;
    };
    const Case cases[] = {
        {"/list", 0, true},
        {"/missing", -1, false},
        {"/servererror", -1, false},
        {"/cut", -1, false},
        {"/hop/1", 0, true},
        {"/hop/" + std::to_string(limit), 0, true},
        {"/hop/" + std::to_string(limit + 1), -1, false},
    };
    for (const Case& c : cases) {
        testkit::TempDir dir;
        const std::string path = dir.file("CameraInfoShareLibList");
        LogCapture log;
        EXPECT_EQ(LogBase::downloadFile(server.Url(c.target).c_str(), path.c_str()), c.result) << c.target;
        EXPECT_EQ(std::filesystem::exists(path), c.kept) << c.target;
        if (c.kept) {
            EXPECT_EQ(ReadWhole(path), body) << c.target;
        }
        EXPECT_EQ(log.errorCount(), c.result == 0 ? 0 : 1) << c.target;
    }
}

// A failed download over an earlier copy does not leave a mix of old and new
// bytes: the partial body is removed, and a later complete download writes
// the whole file again.
TEST(LogBase, DownloadOverHttpReplacesAnEarlierFileOnlyWhenComplete)
{
    const std::string body(30000, 'n');
    testhttp::LocalServer server([&](const testhttp::Request& request) {
        testhttp::Reply r;
        r.body = body;
        if (request.target == "/cut") r.dropAfter = 1000;
        return r;
    });
    ASSERT_TRUE(server.Ok());
    testkit::TempDir dir;
    const std::string path = dir.file("x.camInfo_");
    {
        std::ofstream f(path, std::ios::binary);
        f << std::string(50000, 'o');
    }
    LogCapture log;
    EXPECT_EQ(LogBase::downloadFile(server.Url("/cut").c_str(), path.c_str()), -1);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(LogBase::downloadFile(server.Url("/whole").c_str(), path.c_str()), 0);
    EXPECT_EQ(ReadWhole(path), body);
}

TEST(LogBase, DownloadOverHttpFromNobodyFailsWithoutAFile)
{
    auto server = std::make_unique<testhttp::LocalServer>([](const testhttp::Request&) { return testhttp::Reply{}; });
    ASSERT_TRUE(server->Ok());
    const std::string address = server->Url("/list");
    server.reset();  // the port is closed now
    testkit::TempDir dir;
    LogCapture log;
    EXPECT_EQ(LogBase::downloadFile(address.c_str(), dir.file("list").c_str()), -1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("list")));
    EXPECT_EQ(log.errorCount(), 1);
}
