#include "geometry/rowmap/row_map.h"

#include "geometry/rowmap/row_map_kernels.h"

#include <atomic>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

// Tested once; concurrent first calls all reach the same answer.
std::atomic<uint8_t> g_mmxTested{0};
std::atomic<uint8_t> g_mmxFlag{0};

uint8_t AskProcessor()
{
#if defined(__x86_64__) || defined(__i386__)
    // __get_cpuid_max checks that the identification instruction exists (the
    // flags register's bit 21 can be toggled) before asking for the highest leaf.
    if (__get_cpuid_max(0, nullptr) == 0) return 0;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return 0;
    return static_cast<uint8_t>((edx >> 23) & 1u);  // MMX
#else
    return 0;
#endif
}

}  // namespace

extern "C" unsigned char TestMMX()
{
    if (g_mmxTested.load(std::memory_order_acquire)) return g_mmxFlag.load(std::memory_order_relaxed);
    const uint8_t flag = AskProcessor();
    g_mmxFlag.store(flag, std::memory_order_relaxed);
    g_mmxTested.store(1, std::memory_order_release);
    return flag;
}

extern "C" void MapOneRowBilinear(float w, float xw, float yw, float dxw, float dyw, float dw, int n, int channels,
                                  int stride, const unsigned char* source, unsigned char* destination, bool average)
{
    const rowmap::RowMapping row{w, xw, yw, dxw, dyw, dw, n, channels, stride, source, destination, average};
    // SSE2 is part of every x86-64 processor (SSSE3 is used where present);
    // elsewhere the portable loop runs.
    rowmap::MapRow(row);
}
