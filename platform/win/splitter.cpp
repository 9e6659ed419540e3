#include "platform/win/splitter.h"

#include "core/logger.h"
#include "platform/win/system.h"

#include <algorithm>

BOOL CSplitterWnd::CreateStatic(CWnd* parent, int rows, int columns, DWORD style, UINT id)
{
    if (rows < 1 || columns < 1 || rows > 16 || columns > 16) return FALSE;
    m_rows = rows;
    m_columns = columns;
    m_columnInfo.assign(static_cast<size_t>(columns), Track{});
    m_rowInfo.assign(static_cast<size_t>(rows), Track{});
    CRect area;
    if (auto* frame = dynamic_cast<CFrameWnd*>(parent)) area = frame->ClientAreaForView();
    else if (parent) parent->GetClientRect(&area);
    return CreateEx(0, "Wnd", "", style | WS_CHILD, area, parent, id);
}

BOOL CSplitterWnd::CreateView(int row, int column, const CRuntimeClass* viewClass, SIZE initialSize,
                              CCreateContext* context)
{
    if (row < 0 || row >= m_rows || column < 0 || column >= m_columns || !viewClass) return FALSE;
    CObject* object = viewClass->CreateObject();
    auto* view = dynamic_cast<CWnd*>(object);
    if (!view) {
        delete object;
        return FALSE;
    }
    m_columnInfo[static_cast<size_t>(column)].ideal = initialSize.cx;
    m_rowInfo[static_cast<size_t>(row)].ideal = initialSize.cy;
    const UINT id = static_cast<UINT>(IdFromRowCol(row, column));
    if (!view->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, initialSize.cx, initialSize.cy}, this,
                      id, context))
        return FALSE;
    RecalcLayout();
    return TRUE;
}

CWnd* CSplitterWnd::GetPane(int row, int column) const
{
    return GetDlgItem(IdFromRowCol(row, column));
}

void CSplitterWnd::SetColumnInfo(int column, int ideal, int minimum)
{
    if (column < 0 || column >= m_columns) return;
    m_columnInfo[static_cast<size_t>(column)].ideal = ideal;
    m_columnInfo[static_cast<size_t>(column)].minimum = minimum;
}

void CSplitterWnd::GetColumnInfo(int column, int& current, int& minimum) const
{
    current = minimum = 0;
    if (column < 0 || column >= m_columns) return;
    current = m_columnInfo[static_cast<size_t>(column)].current;
    minimum = m_columnInfo[static_cast<size_t>(column)].minimum;
}

void CSplitterWnd::SetRowInfo(int row, int ideal, int minimum)
{
    if (row < 0 || row >= m_rows) return;
    m_rowInfo[static_cast<size_t>(row)].ideal = ideal;
    m_rowInfo[static_cast<size_t>(row)].minimum = minimum;
}

void CSplitterWnd::GetRowInfo(int row, int& current, int& minimum) const
{
    current = minimum = 0;
    if (row < 0 || row >= m_rows) return;
    current = m_rowInfo[static_cast<size_t>(row)].current;
    minimum = m_rowInfo[static_cast<size_t>(row)].minimum;
}

namespace {
// Every track but the last keeps its ideal size (at least its minimum) as
// far as the space allows; the last takes what is left.
void Distribute(std::vector<int>& sizes, const std::vector<int>& ideal, const std::vector<int>& minimum, int space)
{
    const size_t n = ideal.size();
    sizes.assign(n, 0);
    int left = space - static_cast<int>(n - 1) * CSplitterWnd::kBarWidth;
    for (size_t i = 0; i + 1 < n; ++i) {
        const int want = std::max(ideal[i], minimum[i]);
        sizes[i] = std::clamp(want, 0, std::max(0, left));
        left -= sizes[i];
    }
    sizes[n - 1] = std::max(0, left);
}
}  // namespace

void CSplitterWnd::RecalcLayout()
{
    if (!m_hWnd || m_columns == 0) return;
    CRect client;
    GetClientRect(&client);
    std::vector<int> ideal, minimum, widths, heights;
    for (const Track& t : m_columnInfo) {
        ideal.push_back(t.ideal);
        minimum.push_back(t.minimum);
    }
    Distribute(widths, ideal, minimum, client.Width());
    ideal.clear();
    minimum.clear();
    for (const Track& t : m_rowInfo) {
        ideal.push_back(t.ideal);
        minimum.push_back(t.minimum);
    }
    Distribute(heights, ideal, minimum, client.Height());
    for (int c = 0; c < m_columns; ++c) m_columnInfo[static_cast<size_t>(c)].current = widths[static_cast<size_t>(c)];
    for (int r = 0; r < m_rows; ++r) m_rowInfo[static_cast<size_t>(r)].current = heights[static_cast<size_t>(r)];
    int y = 0;
    for (int r = 0; r < m_rows; ++r) {
        int x = 0;
        for (int c = 0; c < m_columns; ++c) {
            if (CWnd* pane = GetPane(r, c))
                pane->MoveWindow(x, y, widths[static_cast<size_t>(c)], heights[static_cast<size_t>(r)]);
            x += widths[static_cast<size_t>(c)] + kBarWidth;
        }
        y += heights[static_cast<size_t>(r)] + kBarWidth;
    }
}

void CSplitterWnd::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    RecalcLayout();
}

int CSplitterWnd::ColumnBarAt(POINT p) const
{
    int x = 0;
    for (int c = 0; c + 1 < m_columns; ++c) {
        x += m_columnInfo[static_cast<size_t>(c)].current;
        if (p.x >= x && p.x < x + kBarWidth) return c;
        x += kBarWidth;
    }
    return -1;
}

void CSplitterWnd::OnLButtonDown(UINT, CPoint point)
{
    m_dragging = ColumnBarAt(point);
    if (m_dragging < 0) return;
    int x = 0;
    for (int c = 0; c <= m_dragging; ++c) x += m_columnInfo[static_cast<size_t>(c)].current + (c ? kBarWidth : 0);
    m_grabOffset = point.x - x;
    SetCapture();
}

void CSplitterWnd::OnMouseMove(UINT, CPoint point)
{
    if (m_dragging < 0) return;
    int x = 0;
    for (int c = 0; c < m_dragging; ++c) x += m_columnInfo[static_cast<size_t>(c)].current + kBarWidth;
    m_columnInfo[static_cast<size_t>(m_dragging)].ideal = std::max(0, static_cast<int>(point.x) - m_grabOffset - x);
    RecalcLayout();
}

void CSplitterWnd::OnLButtonUp(UINT flags, CPoint point)
{
    if (m_dragging < 0) return;
    OnMouseMove(flags, point);
    m_dragging = -1;
    ::ReleaseCapture();
}

BOOL CSplitterWnd::OnSetCursor(CWnd* wnd, UINT hitTest, UINT message)
{
    POINT p = win::PointerPosition();
    ScreenToClient(&p);
    if (wnd == this && ColumnBarAt(p) >= 0) {
        ::SetCursor(::LoadStandardCursor(IDC_SIZEALL));
        return TRUE;
    }
    return CWnd::OnSetCursor(wnd, hitTest, message);
}
