#include "platform/utilkit/crash_dump.h"

#include "platform/utilkit/log_base.h"
#include "platform/utilkit/logger.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <typeinfo>

#include <cxxabi.h>
#include <execinfo.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kMaxFrames = 64;

std::string Demangled(const char* name)
{
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> text(abi::__cxa_demangle(name, nullptr, nullptr, &status), &std::free);
    return status == 0 && text ? std::string(text.get()) : std::string(name);
}

// Built without allocating where it can: the failure may be an exhausted heap.
CrashRecord MakeRecord(const std::exception* e)
{
    CrashRecord record;
    try {
        record.type = e ? Demangled(typeid(*e).name()) : std::string("unknown");
        record.message = e ? e->what() : "";
        record.threadId = static_cast<uint64_t>(::syscall(SYS_gettid));
        void* frames[kMaxFrames];
        const int n = ::backtrace(frames, kMaxFrames);
        record.frames.assign(frames, frames + n);
    } catch (const std::bad_alloc&) {
        // Keep whatever was filled in: a dump with less is better than none.
    }
    return record;
}

}  // namespace

void CrashDump::MapSEtoCE() {}

void CrashDump::RunGuarded(const std::function<void()>& body)
{
    try {
        body();
    } catch (const CrashDump&) {
        throw;
    } catch (const std::exception& e) {
        Logger::log("ERROR CrashDump::RunGuarded() %s: %s", 1, Demangled(typeid(e).name()).c_str(), e.what());
        throw CrashDump(MakeRecord(&e));
    } catch (...) {
        Logger::log("ERROR CrashDump::RunGuarded() unknown exception", 1);
        throw CrashDump(MakeRecord(nullptr));
    }
}

bool CrashDump::GenerateDump(const CrashRecord* record, const char* name)
{
    if (!record) {
        Logger::log("ERROR CrashDump::GenerateDump() no record", 1);
        return false;
    }
    char stamp[100];
    char when[100];
    if (LogBase::makeTimeString(stamp, sizeof stamp, false) == 0 || LogBase::makeTimeString(when, sizeof when, true) == 0) {
        Logger::log("ERROR CrashDump::GenerateDump() no time", 1);
        return false;
    }
    const std::string prefix = name ? name : "";
    const std::string path = LogBase::getPath_log() + "/" + prefix + stamp + ".dmp.txt";
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
        Logger::log("ERROR CrashDump::GenerateDump() cannot write %s", 1, path.c_str());
        return false;
    }
    std::fprintf(f, "name: %s\ntime: %s\nthread: %llu\nexception: %s\nwhat: %s\nbacktrace:\n", prefix.c_str(), when,
                 static_cast<unsigned long long>(record->threadId), record->type.c_str(), record->message.c_str());
    if (!record->frames.empty()) {
        std::unique_ptr<char*, decltype(&std::free)> symbols(
            ::backtrace_symbols(record->frames.data(), static_cast<int>(record->frames.size())), &std::free);
        for (size_t i = 0; i < record->frames.size(); ++i) {
            if (symbols) std::fprintf(f, "  #%zu %s\n", i, symbols.get()[i]);
            else std::fprintf(f, "  #%zu %p\n", i, record->frames[i]);
        }
    }
    const bool ok = std::ferror(f) == 0;
    if (std::fclose(f) != 0 || !ok) {
        Logger::log("ERROR CrashDump::GenerateDump() cannot write %s", 1, path.c_str());
        return false;
    }
    Logger::log("CrashDump::GenerateDump() wrote %s", 4, path.c_str());
    return true;
}
