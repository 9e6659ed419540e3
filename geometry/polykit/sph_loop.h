// Turns a closed loop given in spherical map coordinates (x longitude -pi..pi,
// y latitude -pi/2..pi/2, radians) into a flat polygon for the planar
// clipper: vertices after a seam crossing move by a whole turn, and a loop
// around a pole gets a detour along the seam to that pole and back.
#pragma once

#include "core/geometry_records.h"

#include <cstdint>

class CSphLoop {
public:
    CSphLoop();
    // Copies the points (zeroes when `points` is null) when n is positive.
    CSphLoop(const POINT2* points, int n);
    ~CSphLoop();
    // Copies are deep.
    CSphLoop(const CSphLoop& other);
    CSphLoop& operator=(const CSphLoop& other);

    // Every field to its initial value; arrays held are released first.
    void InitPrms();

    // Type of the edge from vertex i: 0 no seam crossing, 1 leaving through
    // the left edge, 2 through the right edge; -1 for a bad index.
    int LabelOneNodeType(int i);
    // Labels every edge from the start index on and decides the pole
    // detours; true when a pole flag is set. Counts start afresh each call.
    bool LabelAllNodeType();
    // Builds the flat polygon; returns its vertex count.
    int MakeFlatPolygon();
    int MainSphLoop();

    // Fields in their documented order; callers read them directly.
    POINT2* m_pPoints = nullptr;
    int32_t m_nPoints = 0;
    float m_minLat = 0;
    float m_maxLat = 0;
    float m_minLon = 0;
    float m_maxLon = 0;
    float m_turn = 0;
    float m_halfTurn = 0;
    int32_t m_nStart = 0;
    int32_t* m_pNodeType = nullptr;  // 0..4 per vertex: 3 is a type-1 crossing round the top pole, 4 a type-2 one round the bottom
    int32_t m_nCross = 0;
    float m_maxCrossLat = 0;
    float m_minCrossLat = 0;
    int32_t m_maxCrossIdx = -1;
    int32_t m_minCrossIdx = -1;
    uint8_t m_bTopPole = 0;
    uint8_t m_bBottomPole = 0;
    POINT2* m_pFlat = nullptr;
    int32_t m_nFlat = 0;

private:
    void FreeArrays();
    void CopyFrom(const CSphLoop& other);
};
