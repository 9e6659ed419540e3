// Intersects two polygons A and B and finds, on every contour of the
// intersection, the joint nodes where the contour stops following one
// polygon's boundary and starts following the other's. The seam blender
// (through CDivLineRR, which derives from it) and region growing call it.
#pragma once

#include "core/geometry_records.h"

#include <cstdint>

// The joint vertex indexes of one contour. The array has one slot more than
// the number of joints.
struct SSegNodeIndexList {
    int32_t* pIndex;
    int32_t nJoints;
};

// One joint list per contour of the intersection.
struct SPolySegJts {
    int32_t nLists;
    SSegNodeIndexList* pLists;
};

class CPolySeg {
public:
    CPolySeg() = default;
    virtual ~CPolySeg();
    // Copies are deep: each object owns its polygon and joint table.
    CPolySeg(const CPolySeg& other);
    CPolySeg& operator=(const CPolySeg& other);

    // Intersects A and B; false (and no polygon) when they do not meet,
    // otherwise builds the joint table. An earlier result is released first.
    bool TwoPolygonIntSegments(gpc_polygon* a, gpc_polygon* b);

    gpc_polygon* GetIntPolygon() { return m_pIntPolygon; }
    SPolySegJts* GetIntPolyJts() { return m_pJts; }

    // Vertex index of joint `col` on contour `row`; -1 when either is out of
    // range (negative included).
    int GetOneIntJtPolyNodeIndex(int row, int col);
    // That joint's vertex in the intersection polygon, or null.
    POINT2* GetOneIntJts(int row, int col);

    // Walks the contours; writes nothing.
    void PrintAllSegNodes();

protected:
    void FreeAll();
    void BuildJoints(const gpc_polygon* a, const gpc_polygon* b);

    gpc_polygon* m_pIntPolygon = nullptr;
    SPolySegJts* m_pJts = nullptr;
    uint8_t m_bReverse = 0;  // store each joint list reversed
};

// Self-test: two overlapping squares, drawn with their intersection when
// debug display is on.
void TestPolySeg();
