#include "platform/quicktime/qtml.h"

#include <atomic>

namespace {

std::atomic<OSErr> g_result{noErr};
std::atomic<int> g_count{0};
std::atomic<long> g_lastFlags{0};

}  // namespace

extern "C" OSErr InitializeQTML(long flags)
{
    g_lastFlags = flags;
    ++g_count;
    return g_result.load();
}

extern "C" void TerminateQTML() {}

namespace qtml {

void SetInitializeResult(OSErr result) { g_result = result; }
int InitializeCount() { return g_count.load(); }
long LastInitializeFlags() { return g_lastFlags.load(); }

}  // namespace qtml
