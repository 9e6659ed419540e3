#include "platform/utilkit/child_process.h"

#include "platform/utilkit/logger.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// How long a child may take to end after SIGTERM before it gets SIGKILL.
constexpr auto kTerminateGrace = std::chrono::milliseconds(1000);
constexpr auto kTerminatePoll = std::chrono::milliseconds(5);

struct Child {
    std::mutex lock;  // whoever holds it may reap the child: its status is collected once
    pid_t pid = 0;
    bool reaped = false;
    DWORD exitCode = STILL_ACTIVE;
};

struct Registry {
    std::mutex lock;
    std::map<uintptr_t, std::shared_ptr<Child>> processes;
    std::set<uintptr_t> threadTokens;
    // Process handles step by 8 from a range no other handle of the runtime
    // uses; the thread token is the process handle + 4.
    uintptr_t next = 0xA0000;
};

Registry& R()
{
    static Registry* registry = new Registry();  // lives for the process: handles may be released during exit
    return *registry;
}

DWORD StatusToCode(int status)
{
    if (WIFEXITED(status)) return static_cast<DWORD>(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return static_cast<DWORD>(128 + WTERMSIG(status));
    return STILL_ACTIVE;
}

// Collects the child's status when it has ended (blocking when `wait`);
// the child's lock is held by the caller.
void Reap(Child& child, bool wait)
{
    if (child.reaped) return;
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(child.pid, &status, wait ? 0 : WNOHANG);
        if (r == child.pid) {
            child.reaped = true;
            child.exitCode = StatusToCode(status);
            return;
        }
        if (r == 0) return;
        if (errno == EINTR) continue;
        // ECHILD: someone else collected it; its status is lost.
        Logger::log("ERROR ChildProcess::Reap() pid %d: %s", 1, static_cast<int>(child.pid), std::strerror(errno));
        child.reaped = true;
        child.exitCode = 0;
        return;
    }
}

std::shared_ptr<Child> Find(HANDLE process)
{
    Registry& r = R();
    std::lock_guard<std::mutex> guard(r.lock);
    const auto it = r.processes.find(reinterpret_cast<uintptr_t>(process));
    return it == r.processes.end() ? nullptr : it->second;
}

bool QueryExitCode(HANDLE process, DWORD* code, bool wait)
{
    const std::shared_ptr<Child> child = Find(process);
    if (!child || !code) return false;
    if (wait) {
        // Wait for the end without taking the child's status or its lock, so
        // that a TerminateChild from another thread is not held up.
        pid_t pid = 0;
        {
            std::lock_guard<std::mutex> guard(child->lock);
            if (!child->reaped) pid = child->pid;
        }
        siginfo_t info{};
        while (pid > 0 && ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
        }
    }
    std::lock_guard<std::mutex> guard(child->lock);
    Reap(*child, wait);
    *code = child->exitCode;
    return true;
}

}  // namespace

namespace utilkit {

HANDLE StartChildProcess(const std::string& file, const std::vector<std::string>& argv, PROCESS_INFORMATION* info)
{
    if (info) std::memset(info, 0, sizeof *info);
    std::vector<std::string> words = argv.empty() ? std::vector<std::string>{file} : argv;
    std::vector<char*> args;
    for (std::string& w : words) args.push_back(w.data());
    args.push_back(nullptr);
    pid_t pid = 0;
    const int err = ::posix_spawn(&pid, file.c_str(), nullptr, nullptr, args.data(), environ);
    if (err != 0) return nullptr;
    auto child = std::make_shared<Child>();
    child->pid = pid;
    Registry& r = R();
    uintptr_t key = 0;
    {
        std::lock_guard<std::mutex> guard(r.lock);
        key = r.next;
        r.next += 8;
        r.processes.emplace(key, std::move(child));
        if (info) r.threadTokens.insert(key + 4);
    }
    if (info) {
        info->hProcess = reinterpret_cast<HANDLE>(key);
        info->hThread = reinterpret_cast<HANDLE>(key + 4);
        info->dwProcessId = static_cast<DWORD>(pid);
        info->dwThreadId = static_cast<DWORD>(pid);  // the main thread's id is the process id
    }
    return reinterpret_cast<HANDLE>(key);
}

bool ChildExitCode(HANDLE process, DWORD* code)
{
    return QueryExitCode(process, code, false);
}

bool WaitChild(HANDLE process, DWORD* code)
{
    return QueryExitCode(process, code, true);
}

bool TerminateChild(HANDLE process, UINT code)
{
    const std::shared_ptr<Child> child = Find(process);
    if (!child) return false;
    std::lock_guard<std::mutex> guard(child->lock);
    Reap(*child, false);
    if (child->reaped) return false;
    ::kill(child->pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kTerminateGrace;
    while (!child->reaped && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kTerminatePoll);
        Reap(*child, false);
    }
    if (!child->reaped) {
        ::kill(child->pid, SIGKILL);
        Reap(*child, true);
    }
    child->exitCode = static_cast<DWORD>(code);
    return true;
}

bool CloseChildHandle(HANDLE handle)
{
    const uintptr_t key = reinterpret_cast<uintptr_t>(handle);
    Registry& r = R();
    std::shared_ptr<Child> child;
    {
        std::lock_guard<std::mutex> guard(r.lock);
        if (r.threadTokens.erase(key)) return true;
        const auto it = r.processes.find(key);
        if (it == r.processes.end()) return false;
        child = std::move(it->second);
        r.processes.erase(it);
    }
    std::lock_guard<std::mutex> guard(child->lock);
    Reap(*child, false);
    if (!child->reaped) {
        // Nobody asks after this child any more: a thread of its own waits
        // for its end so that it does not stay behind as a zombie.
        std::thread([pid = child->pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    }
    return true;
}

}  // namespace utilkit
