// An owning, growable set of curves with one active curve and a selected
// point on it. Links between frames and image views hold one; it routes the
// pair editor's pick, highlight, add-node, move, split and join actions to
// the right curve and carries the set-wide visibility and label switches.
#pragma once

#include "projectgraph/curvekit/curve.h"

#include <cstdint>
#include <memory>

class CDC;

class TwoDCurves {
public:
    // Flag bits.
    static constexpr int kLinesHidden = 1;
    static constexpr int kBoxesHidden = 4;
    static constexpr int kLabels = 16;

    TwoDCurves() = default;
    ~TwoDCurves();
    // The set owns its curves; it is not copied.
    TwoDCurves(const TwoDCurves&) = delete;
    TwoDCurves& operator=(const TwoDCurves&) = delete;

    void AppendCurve(Curve* curve);
    int GetNumCurves() const { return m_count; }
    int GetCapacity() const { return m_capacity; }
    // Null out of range.
    Curve* GetCurve(int i) const;
    int GetMaxCurveLength() const;
    bool IsDisplayCurve() const { return (m_flags & kLinesHidden) == 0; }
    int GetActiveIndex() const { return m_active; }
    int GetFlags() const { return m_flags; }

    void Draw(CDC* dc, int ox, int oy, float zoom) const;
    int SetLineVisibility(char mode);
    int SetMarkerVisibility(char mode);
    bool ToggleLineIndex(char mode);
    bool GetLineIndexState() const { return (m_flags & kLabels) != 0; }

    int FindLine(float x, float y, float r) const;
    int FindAndSelectLine(float x, float y, float r);
    int FindCurve(float x, float y, float r) const;
    int FindALineEnd(float x, float y) const;
    void SetActiveCurve(int i, int colour, int otherColour);
    void HilightLine(int i, CDC* dc, int ox, int oy, float zoom);
    Curve* GetSelectedCurve() const;
    int GetSelectedNodeID() const { return m_selected; }
    int SelectNode(float x, float y, float r);
    void UpdateSelectNode();
    void MoveNode(float dx, float dy, CDC* dc, int ox, int oy, float zoom);
    int AddNode(float x, float y);
    int IsOnLine(float x, float y) const;
    void DrawNode(int node, CDC* dc, int ox, int oy, float zoom) const;
    void SplitLine(int k, CDC* dc, int ox, int oy, float zoom);
    void Merge2Line(int a, float xa, float ya, int b, float xb, float yb);

    void DeleteCurve(int i);
    void DeleteCurve(Curve* curve);
    void DeleteCurves(int start, int end);
    void Rotate(int angle, int width, int height);

private:
    void Reserve(int wanted);
    // Removes slot i without deleting its curve, fixing the active index.
    void RemoveSlot(int i);

    // Fields in the order the image graph knows them.
    int32_t m_counter = 0;
    int32_t m_count = 0;
    int32_t m_capacity = 0;
    std::unique_ptr<Curve*[]> m_curves;
    int32_t m_active = -1;
    int32_t m_selected = -1;
    float m_selectedX = 0.0f;
    float m_selectedY = 0.0f;
    int32_t m_flags = 0;
};
