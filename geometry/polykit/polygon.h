// A single vertex ring with a point-in-polygon test and rectangle
// conversions; the working form of the fast rectangle clipper (CPolyRectInt,
// CPolyRectClip) that the view engine uses for visible faces.
#pragma once

#include "core/geometry_records.h"

#include <cstdint>

class CPolygon {
public:
    CPolygon() = default;
    // A new owned array of n zeroed vertices.
    explicit CPolygon(int n);
    // Wraps the caller's array: borrowed, never released by the polygon.
    CPolygon(POINT2* points, int n);
    ~CPolygon();

    // Copies are deep and owned (a borrowed array is copied too), so two
    // polygons never release one array twice.
    CPolygon(const CPolygon& other);
    CPolygon& operator=(const CPolygon& other);

    // A new owned polygon with a copy of the vertices; null without an array.
    CPolygon* Copy() const;

    // Even-odd test by a ray to the right; a point level with a vertex
    // counts only the edges that pass its height strictly.
    static bool IsPtInPolygon(const POINT2& pt, const POINT2* v, int n);
    static bool IsPtInPolygon(const POINT2& pt, const CPolygon& polygon);

    // The rectangle's corners (left, top), (right, top), (right, bottom),
    // (left, bottom).
    static void RectToPt2(const REGION2* rect, POINT2* out);
    static CPolygon* RectToPolygonO(const REGION2* rect);
    // Replaces the vertices by the rectangle's four corners in a new owned
    // array (the old one is released when owned).
    void RectToPolygon(const REGION2* rect);

    // Hands the array over to the caller (who frees it with the gpc_ free
    // operations) and leaves the polygon empty.
    POINT2* Release();

    // Fields in their documented order; read directly by callers.
    POINT2* m_pPoints = nullptr;
    int32_t m_nCount = 0;
    uint8_t m_bBorrowed = 0;

private:
    void Free();
};
