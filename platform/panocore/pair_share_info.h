// The stitching core's per-pair object shared by both links of a pair: the
// pair's initial alignment settings, its alignment record and its seam side.
// Links make it through GetPairShareInfoInterface and release it by delete;
// the stitching core, the overlap view and the blending driver fill it.
#pragma once

#include "core/pair_align_records.h"

#include <cstdint>

class IPairShareInfo {
public:
    // Release: the object is deleted through its interface.
    virtual ~IPairShareInfo() = default;

    // The pair's alignment: the first image's frame mapped into the second's.
    // Callers read and write it in place; all zero before the first alignment.
    virtual PAIR_WALIGN_RR_PRMS2* GetPairParams() = 0;
    // Overlap fractions. With a nonzero argument the initial settings' values
    // (what the user or the defaults gave); with 0 the overlap that the last
    // alignment measured (0 before one).
    virtual float GetOverlapH(int fromSettings) = 0;
    virtual float GetOverlapV(int fromSettings) = 0;
    // The pair's initial alignment settings, read and written in place (the
    // project file stores and restores the whole record).
    virtual PAIR_ALIGN_INIT_SETTING* GetInitSetting() = 0;
    // Seam side when the pair is blended: 0 middle line, 1 right over left,
    // 2 left over right. The project file keeps this byte.
    virtual uint8_t GetSeamCode() = 0;
    virtual void SetOverlapH(float overlap) = 0;
    virtual void SetOverlapV(float overlap) = 0;
    // The overlap measured by an alignment (the core's own setter).
    virtual void SetAlignedOverlap(float horizontal, float vertical) = 0;
    virtual void SetSeamCode(uint8_t code) = 0;

protected:
    IPairShareInfo() = default;
    IPairShareInfo(const IPairShareInfo&) = delete;
    IPairShareInfo& operator=(const IPairShareInfo&) = delete;
};

// A new object: zero alignment record, zero settings record, seam code 0.
// The caller owns it; throws std::bad_alloc when memory runs out.
IPairShareInfo* GetPairShareInfoInterface();
// How many of these objects are alive (leak checks of their holders).
int GetPairShareInfoCount();
