// The crash guard of long operations (the stitch step, one pair, the Blend
// step): the operation runs its body through CrashDump::RunGuarded, and a
// C++ failure escaping it (std::bad_alloc included) arrives as a CrashDump,
// whose record GenerateDump writes as a text dump into the log folder before
// the operation gives up. Memory faults are not caught here: on this
// platform they are left to the sanitizers and the operating system.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What failed, where and when: taken when the failure was turned into a
// CrashDump.
struct CrashRecord {
    std::string type;     // the exception's type, "unknown" for a non-standard one
    std::string message;  // its what()
    uint64_t threadId = 0;
    std::vector<void*> frames;  // return addresses at the guard
};

class CrashDump {
public:
    explicit CrashDump(CrashRecord record) : m_record(std::move(record)) {}

    // Does nothing on this platform: there are no structured exceptions to
    // map, and memory faults are left to the sanitizers and the OS. Kept so
    // that guarded operations read as they do everywhere.
    static void MapSEtoCE();

    // Runs `body`; any exception escaping it leaves as a CrashDump with its
    // record (a CrashDump passes through unchanged).
    static void RunGuarded(const std::function<void()>& body);

    // Writes a text dump of `record` (the name, time, thread, the exception's
    // text and the backtrace) to "<name><time>.dmp.txt" in the log folder.
    // True when it was written.
    static bool GenerateDump(const CrashRecord* record, const char* name);

    const CrashRecord* Getpep() const { return &m_record; }

private:
    CrashRecord m_record;
};
