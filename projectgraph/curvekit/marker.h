// One set of control points (markers) on one image of a pair: the user's
// hand-placed points, the matcher's points or the fake points of an overlap
// alignment. Links between frames hold such sets, the alignment libraries
// read and append to them and the pair marker editor draws and edits them.
#pragma once

#include "core/geometry_records.h"
#include "core/win_types.h"
#include "projectgraph/curvekit/point2m.h"

#include <cstdint>
#include <memory>

class CDC;

class Marker {
public:
    // Status bits.
    static constexpr int kHidden = 1;
    static constexpr int kLabels = 16;

    Marker();
    explicit Marker(int kind);
    ~Marker();
    // Copies are deep: the copy owns its own records.
    Marker(const Marker& other);
    Marker& operator=(const Marker& other);

    void Init(int kind);
    // New sets start with index labels shown while this is true.
    static void SetMarkerIndexState(bool shown);

    // Adding and replacing.
    int AppendMarker(float x, float y);
    void Append(const POINT2M* records, int n);
    void Append(const POINT2* points, int n);
    // Adopts `records`, an array made with new[] by the caller.
    void SetMarkers(POINT2M* records, int n);
    void SetMarkers(const POINT2* points, int n);

    // Reading.
    POINT2M* GetMarker() const { return m_records.get(); }
    int GetNumbOfMarker() const { return m_count; }
    int GetCapacity() const { return m_capacity; }
    int GetActiveMarkerIndex() const { return m_active; }
    bool GetCurrentMarker(float& x, float& y) const;
    int FindMarker(float x, float y, float r) const;
    POINT2M* SetCurrent(int i);
    bool GetMarkerIndexState() const { return (m_status & kLabels) != 0; }
    bool GetMarkerState() const { return (m_status & kHidden) == 0; }
    int GetKind() const { return m_kind; }
    int GetStatus() const { return m_status; }
    COLORREF GetColor() const { return m_colour; }
    COLORREF GetActiveColor() const { return m_activeColour; }
    int GetShowMarkerErrorFlag() const { return m_errorFlags; }

    // Editing.
    void ShiftCurrentMarker(float dx, float dy);
    void DeleteMarker(int i);
    bool DeleteCurrentMarker();
    bool ShiftCurrentMarkerIndex();
    bool ToggleMarkerIndex(char mode);
    bool ToggleMarker(char mode);
    void SetStatus(int status) { m_status = status; }
    void SetShowMarkerErrorFlag(int flags) { m_errorFlags = flags; }

    // Drawing: a record lands on device pixel trunc(ox + zoom x),
    // trunc(oy + zoom y).
    void Draw(CDC* dc, int ox, int oy, float zoom) const;
    void DrawMarker(CDC* dc, int ox, int oy, float zoom, int flags) const;
    void Move(float dx, float dy, CDC* dc, int ox, int oy, float zoom);
    void MoveTo(float x, float y, CDC* dc, int ox, int oy, float zoom);

private:
    bool HasActive() const { return m_active >= 0 && m_active < m_count; }
    void Reserve(int wanted);
    void DrawOne(CDC* dc, const POINT2M& record, int ox, int oy, float zoom, bool activeLook) const;
    void DrawLabel(CDC* dc, int index, int ox, int oy, float zoom) const;
    void InvertActive(CDC* dc, int ox, int oy, float zoom) const;
    void Relocate(float x, float y, CDC* dc, int ox, int oy, float zoom);

    // Fields in the order the image graph and the alignment code know them.
    int32_t m_count = 0;
    int32_t m_capacity = 0;
    std::unique_ptr<POINT2M[]> m_records;
    int32_t m_kind = 0;
    int32_t m_status = 0;
    int32_t m_active = -1;
    COLORREF m_colour = 0;
    COLORREF m_activeColour = 0;
    int32_t m_errorFlags = 3;

    static bool m_markerState;
};
