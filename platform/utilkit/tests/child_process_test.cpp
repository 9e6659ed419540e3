#include "platform/utilkit/child_process.h"
#include "platform/utilkit/log_base.h"
#include "platform/utilkit/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

// The state letter of /proc/<pid>/stat ('Z' for a zombie); 0 when the
// process is gone.
char ProcState(DWORD pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = all.rfind(')');
    return close == std::string::npos || close + 2 >= all.size() ? 0 : all[close + 2];
}

std::vector<std::string> ReadWords(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> words;
    size_t start = 0;
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i] == '\0') {
            words.push_back(all.substr(start, i - start));
            start = i + 1;
        }
    return words;
}

struct Started {
    HANDLE handle = nullptr;
    PROCESS_INFORMATION pi{};
    ~Started()
    {
        if (pi.hThread) utilkit::CloseChildHandle(pi.hThread);
        if (pi.hProcess) utilkit::CloseChildHandle(pi.hProcess);
    }
};

}  // namespace

TEST(ChildProcess, AMissingProgramGivesNoHandleAndAZeroedRecord)
{
    LogCapture log;
    PROCESS_INFORMATION pi;
    std::memset(&pi, 0xA5, sizeof pi);
    EXPECT_EQ(LogBase::ExecuteProcess("\\nonexistent\\Hollet.exe", "Hollet.exe --ptgui", &pi, false), nullptr);
    EXPECT_EQ(pi.hProcess, nullptr);
    EXPECT_EQ(pi.hThread, nullptr);
    EXPECT_EQ(pi.dwProcessId, 0u);
    EXPECT_EQ(pi.dwThreadId, 0u);
    EXPECT_TRUE(log.contains("ERROR LogBase::ExecuteProcess() cannot start /nonexistent/Hollet.exe"));
}

TEST(ChildProcess, ExitCodesWhileRunningAndAfterwards)
{
    ASSERT_TRUE(testkit::RequireTool("sh"));
    struct Case {
        const char* line;
        DWORD code;
    };
    const Case cases[] = {
        {"sh -c \"sleep 0.5; exit 3\"", 3},
        {"sh -c \"sleep 0.5; exit 200\"", 200},
        {"sh -c \"sleep 0.5; kill -9 $$\"", 128 + 9},
    };
    for (const Case& c : cases) {
        Started s;
        s.handle = LogBase::ExecuteProcess("/bin/sh", c.line, &s.pi, false);
        ASSERT_NE(s.handle, nullptr) << c.line;
        EXPECT_EQ(s.handle, s.pi.hProcess);
        EXPECT_NE(s.pi.hThread, nullptr);
        EXPECT_NE(s.pi.hThread, s.pi.hProcess);
        EXPECT_GT(s.pi.dwProcessId, 0u);
        DWORD code = 0;
        ASSERT_TRUE(utilkit::ChildExitCode(s.handle, &code));
        EXPECT_EQ(code, STILL_ACTIVE) << c.line;
        EXPECT_EQ(ProcState(s.pi.dwProcessId) != 0, true);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (code == STILL_ACTIVE && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ASSERT_TRUE(utilkit::ChildExitCode(s.handle, &code));
        }
        EXPECT_EQ(code, c.code) << c.line;
        // Asked again: the same answer, and the child is gone (reaped).
        ASSERT_TRUE(utilkit::ChildExitCode(s.handle, &code));
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(ProcState(s.pi.dwProcessId), 0);
        EXPECT_FALSE(utilkit::TerminateChild(s.handle, 0)) << "an ended child is not ended again";
    }
}

TEST(ChildProcess, TerminateEndsTheChildWithTheGivenCode)
{
    ASSERT_TRUE(testkit::RequireTool("sleep"));
    struct Case {
        const char* line;  // the second ignores SIGTERM and needs SIGKILL
        UINT code;
    };
    for (const Case& c : {Case{"sleep 30", 0}, Case{"-c \"trap '' TERM; sleep 30\"", 5}}) {
        Started s;
        const char* program = c.line[0] == '-' ? "/bin/sh" : "/bin/sleep";
        s.handle = LogBase::ExecuteProcess(program, c.line, &s.pi, false);
        ASSERT_NE(s.handle, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the shell set its trap
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(utilkit::TerminateChild(s.handle, c.code));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(ProcState(s.pi.dwProcessId), 0);
        DWORD code = STILL_ACTIVE;
        ASSERT_TRUE(utilkit::ChildExitCode(s.handle, &code));
        EXPECT_EQ(code, c.code);
    }
}

TEST(ChildProcess, AClosedHandleLeavesNoZombie)
{
    PROCESS_INFORMATION pi;
    ASSERT_NE(LogBase::ExecuteProcess("/bin/sh", "-c \"sleep 0.3\"", &pi, false), nullptr);
    const DWORD pid = pi.dwProcessId;
    EXPECT_TRUE(utilkit::CloseChildHandle(pi.hThread));
    EXPECT_TRUE(utilkit::CloseChildHandle(pi.hProcess));
    EXPECT_NE(ProcState(pid), 0) << "still running when released";
    char state = 'R';
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((state = ProcState(pid)) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(state, 0) << "left in state " << state;
    // Released handles are no longer known.
    DWORD code = 0;
    EXPECT_FALSE(utilkit::ChildExitCode(pi.hProcess, &code));
    EXPECT_FALSE(utilkit::CloseChildHandle(pi.hProcess));
    EXPECT_FALSE(utilkit::CloseChildHandle(pi.hThread));
    EXPECT_FALSE(utilkit::TerminateChild(pi.hProcess, 0));
    EXPECT_FALSE(utilkit::CloseChildHandle(nullptr));
}

TEST(ChildProcess, ProgramAppStartsAreReapedToo)
{
    ASSERT_TRUE(LogBase::ExecuteApp("/bin/sh", "-c \"exit 0\"", false));
    // The child of ExecuteApp has no handle left to ask; nothing of it may
    // stay behind. Its pid is not known here, so look for any zombie child.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool zombie = true;
    while (zombie && std::chrono::steady_clock::now() < deadline) {
        zombie = false;
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string pid = entry.path().filename().string();
            if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
            std::ifstream in(entry.path() / "stat");
            std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            const size_t close = all.rfind(')');
            if (close == std::string::npos || close + 4 >= all.size()) continue;
            const long ppid = std::atol(all.c_str() + close + 4);
            if (all[close + 2] == 'Z' && ppid == ::getpid()) zombie = true;
        }
        if (zombie) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(zombie);
}

TEST(ChildProcess, CommandLinesReachTheChildsArgumentsExactly)
{
    testkit::TempDir dir;
    const std::string out = dir.file("argv.bin");
    struct Case {
        std::string args;  // after the program and the output file
        std::vector<std::string> argv;
    };
    const Case cases[] = {
        {"plain words", {"plain", "words"}},
        {"\"embedded  blanks\" x", {"embedded  blanks", "x"}},
        {"\"say \\\"hi\\\"\"", {"say \"hi\""}},
        {"C:\\dir\\ \"trail\\\\\"", {"C:\\dir\\", "trail\\"}},
        {"\"\" after-empty", {"", "after-empty"}},
        {"a\\\\\\\"b", {"a\\\"b"}},
        {"--scaledown 2  --ransacdist 0 -o \"0\"", {"--scaledown", "2", "--ransacdist", "0", "-o", "0"}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(out);
        const std::string line = "shm_test_client --echo \"" + out + "\" " + c.args;
        PROCESS_INFORMATION pi;
        ASSERT_NE(LogBase::ExecuteProcess(SHM_TEST_CLIENT, line.c_str(), &pi, false), nullptr) << c.args;
        DWORD code = STILL_ACTIVE;
        EXPECT_TRUE(utilkit::WaitChild(pi.hProcess, &code));
        EXPECT_EQ(code, 0u);
        utilkit::CloseChildHandle(pi.hThread);
        utilkit::CloseChildHandle(pi.hProcess);
        EXPECT_EQ(ReadWords(out), c.argv) << c.args;
    }

    // "\\Hollet.exe" is the program Hollet beside this one (the build puts
    // a link of that name to the test client there).
    ASSERT_TRUE(std::filesystem::exists(LogBase::GetAppDir0() + "/Hollet"));
    std::filesystem::remove(out);
    const std::string line = "Hollet.exe --echo \"" + out + "\" --ptgui";
    PROCESS_INFORMATION pi;
    ASSERT_NE(LogBase::ExecuteProcess("\\Hollet.exe", line.c_str(), &pi, false), nullptr);
    DWORD code = STILL_ACTIVE;
    EXPECT_TRUE(utilkit::WaitChild(pi.hProcess, &code));
    EXPECT_EQ(code, 0u);
    utilkit::CloseChildHandle(pi.hThread);
    utilkit::CloseChildHandle(pi.hProcess);
    EXPECT_EQ(ReadWords(out), std::vector<std::string>{"--ptgui"});
}

TEST(ChildProcess, AWaiterDoesNotHoldUpTerminateFromAnotherThread)
{
    Started s;
    s.handle = LogBase::ExecuteProcess("/bin/sleep", "30", &s.pi, false);
    ASSERT_NE(s.handle, nullptr);
    DWORD waited = 0;
    std::thread waiter([&] { EXPECT_TRUE(utilkit::WaitChild(s.handle, &waited)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the waiter is blocked by now
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(utilkit::TerminateChild(s.handle, 9));
    waiter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(waited, 9u);
}
