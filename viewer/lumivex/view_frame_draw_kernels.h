// The row kernels of DrawViewFrame: one target row of 32-bit pixels from
// one 24-bit source row through a table of source byte offsets. The plain
// loop is the reference; the SSSE3 one does four target pixels a step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumivexdraw {

// Four target pixels from one 16-byte load at `base` (bytes of the source
// row) by one byte shuffle; `vector` false where the four source pixels do
// not lie within 16 bytes in order (shrinking by more than about 4/3).
struct SpreadGroup {
    alignas(16) int8_t mask[16];
    int32_t base;
    bool vector;
};

// Groups of `count` target columns (whole groups only; the rest is left to
// the plain loop).
std::vector<SpreadGroup> MakeSpreadGroups(const int32_t* columns, size_t count);

// Target pixel k takes the three bytes at in + columns[k]; its fourth byte
// is kept.
void SpreadRowPlain(const unsigned char* in, const int32_t* columns, size_t count, unsigned char* out);

// The groups in order up to the first whose 16-byte load would pass the
// `readable` bytes from `in`; the target pixels done (a multiple of 4).
size_t SpreadRowSsse3(const unsigned char* in, size_t readable, const SpreadGroup* groups, size_t groupCount,
                      const int32_t* columns, unsigned char* out);

// Two target rows that take the same source row, each shuffle used twice.
size_t SpreadRowPairSsse3(const unsigned char* in, size_t readable, const SpreadGroup* groups, size_t groupCount,
                          const int32_t* columns, unsigned char* out, unsigned char* second);

bool HasSsse3();

}  // namespace lumivexdraw
