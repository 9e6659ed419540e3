#include "projectgraph/curvekit/marker.h"

#include "platform/win/gdi.h"
#include "projectgraph/curvekit/storage_rule.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

bool Marker::m_markerState = true;

namespace {

constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kGreen = 0x00FF00;
constexpr COLORREF kLightGreen = 0x80FF80;
constexpr COLORREF kLightRed = 0x8080FF;

// Error circles grow with the error: 5 zoom (e / 2 + 1) device pixels,
// rounded, for an error e above 2. Huge errors are capped so that the box
// stays within the int range.
int CircleRadius(float error, float zoom)
{
    const float r = 5.0f * zoom * ((error - 2.0f) / 2.0f + 2.0f) + 0.5f;
    if (!(r > 0.0f)) return 0;
    return r > 1.0e8f ? 100000000 : static_cast<int>(r);
}

// A circle as two half arcs, left half then right half. A box that leaves
// the int range belongs to a marker some 2e9 device pixels away (a corrupt
// or absurd position): no device shows any of it, so nothing is drawn.
void DrawCircle(CDC* dc, int sx, int sy, int r)
{
    const int64_t left = int64_t{sx} - r, right = int64_t{sx} + r + 1;
    const int64_t top = int64_t{sy} - r, bottom = int64_t{sy} + r + 1;
    if (left < INT32_MIN || top < INT32_MIN || right > INT32_MAX || bottom > INT32_MAX) return;
    const int x0 = static_cast<int>(left), y0 = static_cast<int>(top);
    const int x1 = static_cast<int>(right), y1 = static_cast<int>(bottom);
    dc->Arc(x0, y0, x1, y1, sx, y0, sx, y1 - 1);
    dc->Arc(x0, y0, x1, y1, sx, y1 - 1, sx, y0);
}

}  // namespace

Marker::Marker()
    : Marker(0)
{
}

Marker::Marker(int kind)
{
    Init(kind);
}

Marker::~Marker() = default;

Marker::Marker(const Marker& other)
    : m_count(other.m_count),
      m_capacity(other.m_capacity),
      m_kind(other.m_kind),
      m_status(other.m_status),
      m_active(other.m_active),
      m_colour(other.m_colour),
      m_activeColour(other.m_activeColour),
      m_errorFlags(other.m_errorFlags)
{
    if (other.m_records && m_capacity > 0) {
        m_records = std::make_unique<POINT2M[]>(static_cast<size_t>(m_capacity));
        std::copy_n(other.m_records.get(), m_count, m_records.get());
    }
}

Marker& Marker::operator=(const Marker& other)
{
    if (this != &other) {
        Marker copy(other);
        std::swap(m_count, copy.m_count);
        std::swap(m_capacity, copy.m_capacity);
        std::swap(m_records, copy.m_records);
        m_kind = copy.m_kind;
        m_status = copy.m_status;
        m_active = copy.m_active;
        m_colour = copy.m_colour;
        m_activeColour = copy.m_activeColour;
        m_errorFlags = copy.m_errorFlags;
    }
    return *this;
}

void Marker::Init(int kind)
{
    m_count = 0;
    m_capacity = 0;
    m_records.reset();
    m_kind = kind;
    m_colour = kind == 0 ? kRed : kGreen;
    m_activeColour = kind == 0 ? kGreen : kRed;
    m_status = m_markerState ? kLabels : 0;
    m_active = -1;
    m_errorFlags = 3;
}

void Marker::SetMarkerIndexState(bool shown)
{
    m_markerState = shown;
}

// Ensures room for `wanted` records (wanted < 0: may give memory back). The
// new array is zero-filled; records in use are copied over.
void Marker::Reserve(int wanted)
{
    const int capacity = curvekit::NextCapacity(m_count, m_capacity, wanted);
    if (capacity == m_capacity) return;
    auto records = std::make_unique<POINT2M[]>(static_cast<size_t>(capacity));  // value-initialised: zeros
    if (m_records) std::copy_n(m_records.get(), std::min(m_count, capacity), records.get());
    m_records = std::move(records);
    m_capacity = capacity;
}

int Marker::AppendMarker(float x, float y)
{
    Reserve(m_count + 1);
    POINT2M& r = m_records[m_count];
    r = POINT2M{};
    r.x = x;
    r.y = y;
    m_active = m_count++;
    return m_active;
}

void Marker::Append(const POINT2M* records, int n)
{
    if (!records || n <= 0) return;
    // The records may be this set's own: copy them before the array moves.
    const std::vector<POINT2M> copy(records, records + n);
    Reserve(m_count + n);
    std::copy_n(copy.data(), n, m_records.get() + m_count);
    m_count += n;
    m_active = m_count - 1;
}

void Marker::Append(const POINT2* points, int n)
{
    if (!points || n <= 0) return;
    Reserve(m_count + n);
    for (int i = 0; i < n; ++i) {
        POINT2M& r = m_records[m_count + i];
        r = POINT2M{};
        r.x = points[i].x;
        r.y = points[i].y;
    }
    m_count += n;
    m_active = m_count - 1;
}

void Marker::SetMarkers(POINT2M* records, int n)
{
    if (records && records == m_records.get()) {
        // Handing the set its own array back only changes the count.
        m_count = std::clamp(n, 0, m_capacity);
        return;
    }
    m_records.reset(records);
    m_count = records && n > 0 ? n : 0;
    m_capacity = m_count;
}

void Marker::SetMarkers(const POINT2* points, int n)
{
    const int count = points && n > 0 ? n : 0;
    auto records = count ? std::make_unique<POINT2M[]>(static_cast<size_t>(count)) : nullptr;
    for (int i = 0; i < count; ++i) {
        records[i].x = points[i].x;
        records[i].y = points[i].y;
    }
    m_records = std::move(records);
    m_count = count;
    m_capacity = count;
}

bool Marker::GetCurrentMarker(float& x, float& y) const
{
    // The active index can outlive a SetMarkers that shortened the set.
    if (!HasActive()) return false;
    x = m_records[m_active].x;
    y = m_records[m_active].y;
    return true;
}

int Marker::FindMarker(float x, float y, float r) const
{
    for (int i = 0; i < m_count; ++i) {
        const float dx = m_records[i].x - x;
        const float dy = m_records[i].y - y;
        if (dx * dx + dy * dy < r * r) return i;
    }
    return -1;
}

POINT2M* Marker::SetCurrent(int i)
{
    if (i < 0 || i >= m_count) return nullptr;
    m_active = i;
    return &m_records[i];
}

void Marker::ShiftCurrentMarker(float dx, float dy)
{
    if (!HasActive()) return;
    m_records[m_active].x += dx;
    m_records[m_active].y += dy;
}

void Marker::DeleteMarker(int i)
{
    if (i >= m_count) return;
    if (i < 0) {
        m_count = 0;
        m_active = -1;
    } else {
        std::memmove(&m_records[i], &m_records[i + 1], sizeof(POINT2M) * static_cast<size_t>(m_count - i - 1));
        --m_count;
        if (m_active == i)
            m_active = -1;
        else if (m_active > i)
            --m_active;
    }
    Reserve(-1);
}

bool Marker::DeleteCurrentMarker()
{
    if (m_active < 0) return false;
    if (m_active >= m_count) {
        m_active = -1;
        return false;
    }
    const int deleted = m_active;
    DeleteMarker(deleted);
    m_active = m_count == 0 ? -1 : std::min(deleted, m_count - 1);
    return true;
}

bool Marker::ShiftCurrentMarkerIndex()
{
    if (m_active < 0 || m_count < 2) return false;
    m_active = m_active + 1 < m_count ? m_active + 1 : 0;
    return true;
}

bool Marker::ToggleMarkerIndex(char mode)
{
    const bool before = GetMarkerIndexState();
    const bool after = mode == 1 ? true : mode == 0 ? false : !before;
    m_status = after ? (m_status | kLabels) : (m_status & ~kLabels);
    return after != before;
}

bool Marker::ToggleMarker(char mode)
{
    const bool before = GetMarkerState();
    const bool after = mode == 1 ? true : mode == 0 ? false : !before;
    m_status = after ? (m_status & ~kHidden) : (m_status | kHidden);
    return after != before;
}

// ------------------------------------------------------------------ drawing

// One marker in the selected pen: the cross (kinds 0 and 1), the solid
// circle of the first error and the dotted circle of the second.
void Marker::DrawOne(CDC* dc, const POINT2M& record, int ox, int oy, float zoom, bool activeLook) const
{
    const int sx = curvekit::ToDevice(ox, zoom, record.x);
    const int sy = curvekit::ToDevice(oy, zoom, record.y);
    if (m_kind == 0 || m_kind == 1) {
        dc->MoveTo(sx - 2, sy - 2);
        dc->LineTo(sx + 3, sy + 3);
        dc->MoveTo(sx + 2, sy - 2);
        dc->LineTo(sx - 3, sy + 3);
    }
    if (record.error1 > 2.0f && (m_errorFlags & 1)) DrawCircle(dc, sx, sy, CircleRadius(record.error1, zoom));
    if (record.error2 > 2.0f && (m_errorFlags & 2)) {
        CPen dotted(PS_DOT, 1, activeLook ? kLightGreen : kLightRed);
        CPen* previous = dc->SelectObject(&dotted);
        DrawCircle(dc, sx, sy, CircleRadius(record.error2, zoom));
        dc->SelectObject(previous);
    }
}

// The 1-based index with its top-left corner on the marker.
void Marker::DrawLabel(CDC* dc, int index, int ox, int oy, float zoom) const
{
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%d", index + 1);
    dc->TextOut(curvekit::ToDevice(ox, zoom, m_records[index].x), curvekit::ToDevice(oy, zoom, m_records[index].y),
                text, n);
}

void Marker::Draw(CDC* dc, int ox, int oy, float zoom) const
{
    if (!dc || !GetMarkerState()) return;
    const bool labels = GetMarkerIndexState();
    CPen pen(PS_SOLID, 1, m_colour);
    CPen* previous = dc->SelectObject(&pen);
    if (labels) {
        dc->SetTextColor(m_colour);
        dc->SetBkMode(TRANSPARENT);
    }
    for (int i = 0; i < m_count; ++i) {
        if (i == m_active) continue;
        DrawOne(dc, m_records[i], ox, oy, zoom, false);
        if (labels) DrawLabel(dc, i, ox, oy, zoom);
    }
    CPen activePen(PS_SOLID, 1, m_activeColour);
    if (HasActive()) {
        dc->SelectObject(&activePen);
        DrawOne(dc, m_records[m_active], ox, oy, zoom, true);
        if (labels) {
            dc->SetTextColor(m_activeColour);
            DrawLabel(dc, m_active, ox, oy, zoom);
        }
    }
    dc->SelectObject(previous);
}

void Marker::DrawMarker(CDC* dc, int ox, int oy, float zoom, int flags) const
{
    if (!dc || !GetMarkerState() || !HasActive()) return;
    const bool invert = (flags & 8) != 0;
    const int previousRop = invert ? dc->SetROP2(R2_NOT) : 0;
    CPen pen(PS_SOLID, 1, m_colour);
    CPen* previous = dc->SelectObject(&pen);
    DrawOne(dc, m_records[m_active], ox, oy, zoom, true);
    if (GetMarkerIndexState()) {
        dc->SetTextColor(m_colour);
        dc->SetBkMode(TRANSPARENT);
        DrawLabel(dc, m_active, ox, oy, zoom);
    }
    dc->SelectObject(previous);
    if (invert) dc->SetROP2(previousRop);
}

// The active marker drawn by inverting the screen; drawing it twice at the
// same place restores the screen, which is how a move erases it. Labels are
// left out: text does not invert.
void Marker::InvertActive(CDC* dc, int ox, int oy, float zoom) const
{
    DrawOne(dc, m_records[m_active], ox, oy, zoom, true);
}

void Marker::Move(float dx, float dy, CDC* dc, int ox, int oy, float zoom)
{
    if (!GetMarkerState() || !HasActive()) return;
    Relocate(m_records[m_active].x + dx, m_records[m_active].y + dy, dc, ox, oy, zoom);
}

void Marker::MoveTo(float x, float y, CDC* dc, int ox, int oy, float zoom)
{
    if (!GetMarkerState() || !HasActive()) return;
    Relocate(x, y, dc, ox, oy, zoom);
}

// Erases the active marker, places it at (x, y) and draws it there.
void Marker::Relocate(float x, float y, CDC* dc, int ox, int oy, float zoom)
{
    int previousRop = 0;
    CPen pen(PS_SOLID, 1, m_colour);
    CPen* previous = nullptr;
    if (dc) {
        previousRop = dc->SetROP2(R2_NOT);
        previous = dc->SelectObject(&pen);
        InvertActive(dc, ox, oy, zoom);
    }
    m_records[m_active].x = x;
    m_records[m_active].y = y;
    if (dc) {
        InvertActive(dc, ox, oy, zoom);
        dc->SelectObject(previous);
        dc->SetROP2(previousRop);
    }
}
