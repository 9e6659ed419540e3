// An editable polyline of float image points drawn over an image: a seam, a
// user-drawn line on one image of a pair or a debug outline. Nodes are
// interior points marked as handles so that a line can be split and merged
// at them. Curve sets (TwoDCurves) hold curves for links and image views.
#pragma once

#include "core/geometry_records.h"
#include "core/win_types.h"

#include <cstdint>
#include <memory>

class CDC;

class Curve {
public:
    // Status bits.
    static constexpr int kHidden = 1;
    static constexpr int kHighlight = 2;
    static constexpr int kBoxesHidden = 4;
    static constexpr int kInvert = 8;
    static constexpr int kLabel = 16;
    static constexpr int kClosed = 32;
    // Hit tests take a point within this many image pixels in x and y.
    static constexpr float kTolerance = 3.0f;

    Curve() = default;
    ~Curve();
    // Copies are deep.
    Curve(const Curve& other);
    Curve& operator=(const Curve& other);

    // Points.
    void AppendPoint(float x, float y);
    void AppendPoints(int n, const POINT2* points);
    bool InsertPoint(float x, float y, float tolerance);
    bool RemoveNode(int i);
    bool GetNode(int i, float* x, float* y) const;
    void ChangeNode(int i, float x, float y);
    POINT2* GetPointList() const { return m_points.get(); }
    int GetNumPoint() const { return m_numPoint; }
    int GetPointCapacity() const { return m_capPoint; }
    int GetNumNode() const { return m_numNode; }
    int GetNodeCapacity() const { return m_capNode; }
    const int32_t* GetNodeList() const { return m_nodes.get(); }
    // Puts `points` (made with new[], at least GetNumPoint() long) in place
    // of the current array and hands the old array to the caller.
    POINT2* ExchangeData(POINT2* points);
    void ReversePtList();
    void CloseCurve() { m_status |= kClosed; }
    void OpenCurve() { m_status &= ~kClosed; }
    bool IsClosed() const { return (m_status & kClosed) != 0; }
    void MakeClockWise(bool clockwise);
    void Rotate(int angle, int width, int height);
    Curve* Split(int k);
    bool Merge(Curve* other, int type);

    // Nodes.
    int AddNode(float x, float y);
    void InsertNode(int position, int pointIndex);

    // Hit tests, in image coordinates.
    int IsANode(float x, float y) const;
    int IsANode(float x, float y, float r) const;
    int IsAnEndNode(float x, float y) const;
    int IsOnLine(float x, float y) const;
    int IsOnCurve(float x, float y) const;
    bool IsOnCurve(float x, float y, float r) const;

    // Attributes.
    int GetCvIndex() const { return m_index; }
    void SetCvIndex(int index) { m_index = index; }
    int GetColor() const { return static_cast<int>(m_colour); }
    void ChangeColor(int colour) { m_colour = static_cast<COLORREF>(colour); }
    int GetStatus() const { return m_status; }
    void SetStatus(int status) { m_status = status; }
    int SetLineVisibility(int hidden);
    int SetMarkerVisibility(int v);
    void SetLineIndexVisibility(bool shown);
    void SetHilight(int v);

    // Drawing: a point lands on device pixel trunc(ox + zoom x),
    // trunc(oy + zoom y).
    void Draw(CDC* dc, int ox, int oy, float zoom) const;
    void DrawNode(CDC* dc, int ox, int oy, float zoom) const;
    void DrawNode(CDC* dc, int ox, int oy, float zoom, bool highlight);
    void DrawNode(int node, CDC* dc, int ox, int oy, float zoom) const;
    void Draw(const POINT2* prev, const POINT2* cur, const POINT2* next, CDC* dc, int ox, int oy, float zoom) const;
    void GetMotionPoint(int i, POINT2** prev, POINT2** cur, POINT2** next) const;
    void MoveNode(int i, float x, float y, CDC* dc, int ox, int oy, float zoom);

private:
    void ReservePoints(int wanted);
    void ReserveNodes(int wanted);
    void SetNodes(const int32_t* nodes, int n);
    void DrawBox(CDC* dc, const POINT2& p, int ox, int oy, float zoom, bool big) const;
    void DrawAllBoxes(CDC* dc, int ox, int oy, float zoom) const;
    int NearestInFirstRun(float x, float y, int from, int to) const;

    // Fields in the order the image graph knows them.
    int32_t m_index = 0;
    int32_t m_status = 0;
    COLORREF m_colour = 0;
    int32_t m_numPoint = 0;
    int32_t m_capPoint = 0;
    std::unique_ptr<POINT2[]> m_points;
    int32_t m_numNode = 0;
    int32_t m_capNode = 0;
    std::unique_ptr<int32_t[]> m_nodes;
};
