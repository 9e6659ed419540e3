// The marker record exchanged whole between the marker sets and the
// alignment libraries: seven 32-bit fields.
#pragma once

#include <cstdint>
#include <type_traits>

struct POINT2M {
    float x;          // image column, pixels
    float y;          // image row
    float error2;     // second error value: dotted circle above 2; the global
                      // alignment writes the residual length here
    int32_t word3;    // carried along unread
    float error1;     // first error value: solid circle above 2
    int32_t word5;    // carried along unread
    int32_t word6;
};

static_assert(sizeof(POINT2M) == 28 && std::is_trivially_copyable_v<POINT2M>);
