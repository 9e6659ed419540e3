// Seeded region growing on a grid of equal cells over a rectangle of the
// image plane: seeds (points, a polyline, or the intersection segments of two
// polygons) grow breadth-first over the 4-connected interior cells, giving
// every cell its step distance to the nearest seed and, when labelling, that
// seed's number. One generic grower built for 8-, 16- and 32-bit cells, each
// reached through its own interface; Seedra's demonstrations use them.
#pragma once

#include "core/geometry_records.h"

#include <cstdint>

class CPolySeg;

// The interface of one build; T is its cell type. Labelling operations
// return the next free label (accepted seeds + 1), or 0 when the input is
// unusable (no area on a fresh grower, a cell size of 0 or less, a negative
// area); distance operations return true, or false for unusable input.
template <typename T>
class ISeedGrow {
public:
    virtual ~ISeedGrow() = default;
    virtual T* GetLabelMap() = 0;
    virtual T* GetDistanceMap() = 0;
    virtual void GetGridSize(int* cols, int* rows) = 0;
    virtual void GetCellSize(int* cw, int* ch) = 0;
    virtual REGION* GetArea() = 0;
    virtual int GrowFromPoints(const POINT2* pts, int n, const REGION* area, int cw, int ch) = 0;
    virtual int GrowFromIntPoints(const int* xy, int n, const REGION* area, int cw, int ch) = 0;
    virtual int GrowFromPolyline(const POINT2* pts, int n, const REGION* area, int cw, int ch, bool closed) = 0;
    // A null area keeps the grid and maps of the previous call and adds to
    // them.
    virtual int GrowFromSegments(CPolySeg* seg, bool fromFirst, const REGION* area, int cw, int ch) = 0;
    virtual bool DistanceFromPoints(const POINT2* pts, int n, const REGION* area, int cw, int ch) = 0;
    virtual bool DistanceFromIntPoints(const int* xy, int n, const REGION* area, int cw, int ch) = 0;
    virtual bool DistanceFromPolyline(const POINT2* pts, int n, const REGION* area, int cw, int ch, bool closed) = 0;
    virtual bool DistanceFromSegments(CPolySeg* seg, bool fromFirst, const REGION* area, int cw, int ch) = 0;
};

using ISeedGrow8 = ISeedGrow<uint8_t>;
using ISeedGrow16 = ISeedGrow<int16_t>;
using ISeedGrow32 = ISeedGrow<int32_t>;

// New growers with no maps and a growth limit of 10000; null when memory
// runs out. The caller deletes them.
ISeedGrow8* CreateSeedGrow8();
ISeedGrow16* CreateSeedGrow16();
ISeedGrow32* CreateSeedGrow32();
