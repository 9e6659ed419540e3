// The implementations behind MapOneRowBilinear: the portable one, the SSE2
// one (with an SSSE3 variant chosen at run time) and the AVX2 one, which
// must give exactly its bytes. All switch to rounding toward zero for the row.
#pragma once

#include <cstdint>

namespace rowmap {

// The SSE loops take 512 x the position as one 32-bit integer, so source
// positions must stay below 2^22 (4194304) pixels, as every image does.
struct RowMapping {
    float w, xw, yw;     // homogeneous source position of the first pixel
    float dxw, dyw, dw;  // their steps per destination pixel
    int n;               // pixel count
    int channels;        // 3: three-byte pixels; otherwise one byte
    int stride;          // source bytes per row
    const uint8_t* source;
    uint8_t* destination;
    bool average;
};

void MapRowPortable(const RowMapping& row);
// SSE2 on x86-64; elsewhere the portable code.
void MapRowSse2(const RowMapping& row);
// Three-byte pixels with SSSE3 byte shuffles where the processor has them
// (HasSsse3), otherwise as MapRowSse2.
void MapRowSsse3(const RowMapping& row);
bool HasSsse3();
// Eight pixels a step with AVX2 where the processor has it (HasAvx2), for
// three-byte pixels only when the stride is at least 8; otherwise as
// MapRowSsse3.
void MapRowAvx2(const RowMapping& row);
bool HasAvx2();
// The fastest of the above for this processor: what MapOneRowBilinear runs.
void MapRow(const RowMapping& row);

// The three-byte loop of MapRowSsse3 (rounding mode already set).
void RgbSsse3Loop(const RowMapping& row);
// The loops of MapRowAvx2 (rounding mode already set; three-byte pixels
// need a stride of at least 8).
void RowAvx2Loop(const RowMapping& row);

}  // namespace rowmap
