// Plain records of the region tree: the margin record of a border segment
// (filled by the segment-margin measurement, seg_margins.h) and two parameter
// blocks that region matching carries along.
#pragma once

#include <cstdint>
#include <type_traits>

// Mean colour on each side of a border segment. Side 0 and side 1 follow the
// segment's point order (see CalcAllSegMargins); sums and counts saturate at
// their type's limits.
struct COneSegMargins {
    int32_t sum[2][3];   // per side, per channel: sum of the band pixels' samples
    int16_t count[2];    // per side: band pixels
    int16_t diff[3];     // per channel: sum[0]/count[0] - sum[1]/count[1] (integer divisions)
    int16_t pad;

    COneSegMargins() { Reset(); }
    void Reset()
    {
        for (auto& side : sum)
            for (int32_t& s : side) s = 0;
        count[0] = count[1] = 0;
        diff[0] = diff[1] = diff[2] = 0;
        pad = 0;
    }
};
static_assert(sizeof(COneSegMargins) == 36 && std::is_trivially_copyable_v<COneSegMargins>);

// Seventeen words of matching parameters; nothing in the suite reads them
// beyond what the constructor sets.
struct CMatchParam {
    float m_values[15];  // words 0..14
    int32_t m_g;         // word 15
    int32_t m_h;         // word 16

    CMatchParam() : CMatchParam(0, 0, 0, 0, 0, 0, 0, 0) {}
    CMatchParam(float a, float b, float c, float d, float e, float f, int g, int h);
};
static_assert(sizeof(CMatchParam) == 68 && std::is_trivially_copyable_v<CMatchParam>);

// Nine words: two sizes, two counters, and the sums of x, y, x², xy, y² that
// Normalize turns into means and central second moments.
struct CRegParameters {
    float m_a;           // word 0
    float m_b;           // word 1
    int32_t m_n0;        // word 2
    int32_t m_n1;        // word 3
    float m_sx;          // word 4: sum of x, then the mean
    float m_sy;          // word 5
    float m_sxx;         // word 6: sum of x², then n times the variance
    float m_sxy;         // word 7
    float m_syy;         // word 8

    CRegParameters(int a, int b);
    void Normalize(float n);
};
static_assert(sizeof(CRegParameters) == 36 && std::is_trivially_copyable_v<CRegParameters>);
