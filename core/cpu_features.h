// Which vector instruction sets this processor has. The SSSE3 and AVX2
// kernels of the imaging, geometry and viewer libraries are chosen at run
// time through these; their portable loops stay the fallback on every other
// processor. Off x86-64, where none of our vector kernels is built, both
// answer false. Both answers are a test of bits that the runtime reads once,
// before any of our constructors run, so they are cheap enough to ask per
// row. No static local here: in an inline function it would become a unique
// symbol that keeps a loaded codec module from ever being unloaded.
#pragma once

namespace cpu {

inline bool HasSsse3()
{
#if defined(__x86_64__)
    return __builtin_cpu_supports("ssse3") != 0;
#else
    return false;
#endif
}

inline bool HasAvx2()
{
#if defined(__x86_64__)
    return __builtin_cpu_supports("avx2") != 0;
#else
    return false;
#endif
}

}  // namespace cpu
