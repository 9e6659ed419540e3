#include "projectgraph/curvekit/two_d_curves.h"

#include "projectgraph/curvekit/storage_rule.h"

#include <algorithm>

TwoDCurves::~TwoDCurves()
{
    for (int i = 0; i < m_count; ++i) delete m_curves[i];
}

void TwoDCurves::Reserve(int wanted)
{
    const int capacity = curvekit::NextCapacity(m_count, m_capacity, wanted);
    if (capacity == m_capacity) return;
    auto curves = std::make_unique<Curve*[]>(static_cast<size_t>(capacity));
    if (m_curves) std::copy_n(m_curves.get(), std::min(m_count, capacity), curves.get());
    m_curves = std::move(curves);
    m_capacity = capacity;
}

void TwoDCurves::AppendCurve(Curve* curve)
{
    // A curve held twice would be deleted twice.
    if (!curve || std::find(m_curves.get(), m_curves.get() + m_count, curve) != m_curves.get() + m_count) return;
    Reserve(m_count + 1);
    m_curves[m_count++] = curve;
    curve->SetCvIndex(++m_counter);
}

Curve* TwoDCurves::GetCurve(int i) const
{
    return i >= 0 && i < m_count ? m_curves[i] : nullptr;
}

int TwoDCurves::GetMaxCurveLength() const
{
    int longest = 0;
    for (int i = 0; i < m_count; ++i) longest = std::max(longest, m_curves[i]->GetNumPoint());
    return longest;
}

void TwoDCurves::Draw(CDC* dc, int ox, int oy, float zoom) const
{
    if (!IsDisplayCurve()) return;
    for (int i = 0; i < m_count; ++i) m_curves[i]->Draw(dc, ox, oy, zoom);
}

int TwoDCurves::SetLineVisibility(char mode)
{
    const bool hidden = (m_flags & kLinesHidden) != 0;
    switch (mode) {
    case 0:
        m_flags &= ~kLinesHidden;
        return hidden ? 1 : 0;
    case 1:
        m_flags |= kLinesHidden;
        return hidden ? 0 : 1;
    case 2:
        m_flags ^= kLinesHidden;
        return 1;
    case 3: {
        m_flags &= ~kLinesHidden;
        int changed = 0;
        for (int i = 0; i < m_count; ++i)
            if (m_curves[i]->SetLineVisibility(0)) changed = 1;
        return changed;
    }
    default: return 0;
    }
}

int TwoDCurves::SetMarkerVisibility(char mode)
{
    if (mode != 2) return 1;
    m_flags ^= kBoxesHidden;
    const int v = m_flags & kBoxesHidden;
    int changed = 0;
    for (int i = 0; i < m_count; ++i)
        if (m_curves[i]->SetMarkerVisibility(v)) changed = 1;
    return changed;
}

bool TwoDCurves::ToggleLineIndex(char mode)
{
    const signed char m = static_cast<signed char>(mode);
    const bool shown = m == 1 ? true : m <= 0 ? false : !GetLineIndexState();
    for (int i = 0; i < m_count; ++i) m_curves[i]->SetLineIndexVisibility(shown);
    m_flags = shown ? (m_flags | kLabels) : (m_flags & ~kLabels);
    return shown;
}

int TwoDCurves::FindLine(float x, float y, float r) const
{
    for (int i = 0; i < m_count; ++i)
        if (m_curves[i]->IsANode(x, y, r) >= 0) return i;
    return -1;
}

int TwoDCurves::FindAndSelectLine(float x, float y, float r)
{
    for (int i = 0; i < m_count; ++i) {
        const int point = m_curves[i]->IsANode(x, y, r);
        if (point < 0) continue;
        m_active = i;
        m_selected = point;
        m_curves[i]->GetNode(point, &m_selectedX, &m_selectedY);
        return i;
    }
    return -1;
}

int TwoDCurves::FindCurve(float x, float y, float r) const
{
    for (int i = 0; i < m_count; ++i)
        if (m_curves[i]->IsOnCurve(x, y, r)) return i;
    return -1;
}

int TwoDCurves::FindALineEnd(float x, float y) const
{
    for (int i = 0; i < m_count; ++i)
        if (m_curves[i]->IsAnEndNode(x, y) >= 0) return i;
    return -1;
}

void TwoDCurves::SetActiveCurve(int i, int colour, int otherColour)
{
    for (int j = 0; j < m_count; ++j) m_curves[j]->ChangeColor(j == i ? colour : otherColour);
    // An index outside the set leaves no curve active rather than a
    // dangling one.
    m_active = i >= 0 && i < m_count ? i : -1;
}

void TwoDCurves::HilightLine(int i, CDC* dc, int ox, int oy, float zoom)
{
    if (i < 0 || i >= m_count || i == m_active) return;
    if (Curve* current = GetSelectedCurve()) current->DrawNode(dc, ox, oy, zoom, false);
    m_active = i;
    m_curves[i]->DrawNode(dc, ox, oy, zoom, true);
}

Curve* TwoDCurves::GetSelectedCurve() const
{
    return GetCurve(m_active);
}

int TwoDCurves::SelectNode(float x, float y, float)
{
    Curve* curve = GetSelectedCurve();
    if (!curve) return -1;
    m_selected = curve->IsANode(x, y);
    if (m_selected >= 0) curve->GetNode(m_selected, &m_selectedX, &m_selectedY);
    return m_selected;
}

void TwoDCurves::UpdateSelectNode()
{
    if (Curve* curve = GetSelectedCurve()) {
        float x = 0, y = 0;
        if (curve->GetNode(m_selected, &x, &y)) {
            m_selectedX = x;
            m_selectedY = y;
        }
    }
}

void TwoDCurves::MoveNode(float dx, float dy, CDC* dc, int ox, int oy, float zoom)
{
    if (Curve* curve = GetSelectedCurve()) curve->MoveNode(m_selected, m_selectedX + dx, m_selectedY + dy, dc, ox, oy, zoom);
}

int TwoDCurves::AddNode(float x, float y)
{
    Curve* curve = GetSelectedCurve();
    return curve ? curve->AddNode(x, y) : -1;
}

int TwoDCurves::IsOnLine(float x, float y) const
{
    Curve* curve = GetSelectedCurve();
    return curve ? curve->IsOnLine(x, y) : -1;
}

void TwoDCurves::DrawNode(int node, CDC* dc, int ox, int oy, float zoom) const
{
    if (Curve* curve = GetSelectedCurve()) curve->DrawNode(node, dc, ox, oy, zoom);
}

void TwoDCurves::SplitLine(int k, CDC* dc, int ox, int oy, float zoom)
{
    Curve* curve = GetSelectedCurve();
    if (!curve) return;
    curve->Draw(dc, ox, oy, zoom);
    Curve* tail = curve->Split(k);
    curve->Draw(dc, ox, oy, zoom);
    if (tail) {
        AppendCurve(tail);
        tail->Draw(dc, ox, oy, zoom);
    }
}

void TwoDCurves::Merge2Line(int a, float xa, float ya, int b, float xb, float yb)
{
    if (a == b || a < 0 || b < 0 || a >= m_count || b >= m_count) return;
    const int ea = m_curves[a]->IsAnEndNode(xa, ya);
    const int eb = m_curves[b]->IsAnEndNode(xb, yb);
    if (ea < 0 || eb < 0) return;
    const int type = ea == 0 && eb == 0 ? 1 : eb == 0 ? 0 : ea != 0 ? 3 : 2;
    Curve* absorbed = m_curves[b];
    RemoveSlot(b);
    if (!m_curves[a > b ? a - 1 : a]->Merge(absorbed, type)) delete absorbed;
}

void TwoDCurves::RemoveSlot(int i)
{
    std::copy(m_curves.get() + i + 1, m_curves.get() + m_count, m_curves.get() + i);
    --m_count;
    if (m_active == i)
        m_active = -1;
    else if (m_active > i)
        --m_active;
    Reserve(-1);
}

void TwoDCurves::DeleteCurve(int i)
{
    if (i < 0 || i >= m_count) return;
    delete m_curves[i];
    RemoveSlot(i);
}

void TwoDCurves::DeleteCurve(Curve* curve)
{
    for (int i = 0; i < m_count; ++i)
        if (m_curves[i] == curve) {
            DeleteCurve(i);
            return;
        }
}

void TwoDCurves::DeleteCurves(int start, int end)
{
    if (start == 0 && end == 0) {
        start = 0;
        end = m_count;
    }
    start = std::max(start, 0);
    end = std::min(end, m_count);
    if (start >= end) return;
    for (int i = start; i < end; ++i) delete m_curves[i];
    std::copy(m_curves.get() + end, m_curves.get() + m_count, m_curves.get() + start);
    const int removed = end - start;
    m_count -= removed;
    if (m_active >= start && m_active < end)
        m_active = start > 0 ? start - 1 : (m_count > 0 ? 0 : -1);
    else if (m_active >= end)
        m_active -= removed;
    Reserve(-1);
}

void TwoDCurves::Rotate(int angle, int width, int height)
{
    for (int i = 0; i < m_count; ++i) m_curves[i]->Rotate(angle, width, height);
}
