// The static splitter window: a fixed grid of panes (views made by their
// class records) separated by bars the user can drag to resize columns and
// rows. The image browser splits its frame into a folder tree and a board.
#pragma once

#include "platform/win/frame_wnd.h"

#include <vector>

class CSplitterWnd : public CWnd {
public:
    BOOL CreateStatic(CWnd* parent, int rows, int columns, DWORD style = WS_CHILD | WS_VISIBLE,
                      UINT id = AFX_IDW_PANE_FIRST);
    BOOL CreateView(int row, int column, const CRuntimeClass* viewClass, SIZE initialSize,
                    CCreateContext* context);
    CWnd* GetPane(int row, int column) const;
    int IdFromRowCol(int row, int column) const { return static_cast<int>(AFX_IDW_PANE_FIRST) + row * 16 + column; }
    int GetRowCount() const { return m_rows; }
    int GetColumnCount() const { return m_columns; }
    void SetColumnInfo(int column, int ideal, int minimum);
    void GetColumnInfo(int column, int& current, int& minimum) const;
    void SetRowInfo(int row, int ideal, int minimum);
    void GetRowInfo(int row, int& current, int& minimum) const;
    void RecalcLayout();

    static constexpr int kBarWidth = 7;

protected:
    void OnSize(UINT type, int cx, int cy) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) override;
    void PostNcDestroy() override {}

private:
    struct Track {
        int ideal = 0;
        int minimum = 0;
        int current = 0;
    };
    // The column bar under a point, -1 for none.
    int ColumnBarAt(POINT p) const;
    int m_rows = 0;
    int m_columns = 0;
    std::vector<Track> m_columnInfo;
    std::vector<Track> m_rowInfo;
    int m_dragging = -1;
    int m_grabOffset = 0;  // where in the bar the drag began
};
