// The print layout of one image over a grid of paper pages: paper size,
// margins, a crop rectangle, the image's offset on the page grid and the
// print ratio (the printed size of one image pixel); three layout styles,
// the selected pages, the preview the user edits with the mouse, a small
// print toolbar, and the printing of one selected page at a time. The
// image and panorama views use it in their print-preview mode.
#pragma once

#include "imaging/image.h"
#include "imaging/ref_count.h"
#include "platform/win/control_bars.h"
#include "platform/win/gdi.h"

#include <cstdint>
#include <memory>
#include <vector>

class CPrinting {
public:
    enum Style : int32_t { kSimple = 0, kBrickWall = 1, kBeeNet = 2 };
    // GetMouseLocation's answers.
    enum Location : int {
        kNowhere = 0,
        kRatioHandle = 1,
        kLeftMargin = 2,
        kRightMargin = 3,
        kTopMargin = 4,
        kBottomMargin = 5,
        kImage = 6,
    };
    static constexpr UINT kToolBarResource = 134;
    static constexpr DWORD kToolBarStyle = 0x50002800;
    static constexpr UINT kToolBarId = 0xE800;

    CPrinting();
    ~CPrinting();
    CPrinting(const CPrinting&) = delete;
    CPrinting& operator=(const CPrinting&) = delete;

    // Paper and margins in thousandths of an inch; null arguments keep the
    // current values.
    void Init(Image* image, POINT* paper, RECT* margins, RECT* minMargins, RECT* crop, POINT* offset, float ratio);
    void CreateToolBar(UINT unused, CWnd* parent);
    void SetToolBarPos(int x, int y);
    CToolBar* GetToolBar() const { return m_toolBar.get(); }
    void DrawPreView(CDC* cdc, int x, int y, float zoomX, float zoomY);
    void SetStyle(int style);
    int GetStyle() const { return m_style; }
    bool ChangeLayout(int columns, int rows);
    bool ChangeRatio(float factor);
    bool ChangeOffset(int dx, int dy);
    bool ChangeLeftMargin(int d);
    bool ChangeRightMargin(int d);
    bool ChangeTopMargin(int d);
    bool ChangeBottomMargin(int d);
    int GetNumbPages() const;
    int GetPageState(int x, int y) const;
    bool ToggleSelection(int x, int y);
    bool ToggleSelection();
    bool RemoveSmallPage();
    void MouseDown(int x, int y);
    bool MouseMove(int x, int y);
    void MouseUp(int x, int y);
    int GetMouseLocation(int x, int y) const;
    void SetCursorState(int state) { m_cursorState = state; }
    int GetCursorState() const { return m_cursorState; }
    void GetOffset(int& x, int& y, bool zoomed) const;
    void GetMargin(RECT* margins) const;
    float GetRatio() const { return m_ratio; }
    void GetPagePixelNumbs(int& width, int& height, bool zoomed) const;
    void GetMarginPixelNumbs(int& left, int& top, int& right, int& bottom, bool zoomed) const;
    int GetColumns() const { return m_columns; }
    int GetRows() const { return m_rows; }
    bool Print(CDC* cdc, int n);
    bool GetPageImage(int n, Image** page);

protected:
    void ChooseProperRatio();
    // False (and nothing changed) when the layout would have too many pages.
    bool ComputeLayout();
    // Page index to row and column in the current style; false outside.
    bool AtPos(int index, int& row, int& column) const;
    int GetPageIndex(int x, int y) const;
    int GetNmbPages(int columns, int rows, int style) const;
    void UpdatePageStatus(int columns, int rows);
    void DrawSimple(CDC* cdc, int x, int y);
    void DrawBrickWall(CDC* cdc, int x, int y);
    void DrawBeeNet(CDC* cdc, int x, int y);

private:
    // The layout in preview pixels: the grid's offset, the page and the
    // margins, all zoomed.
    struct Preview {
        int offsetX = 0, offsetY = 0, pageW = 0, pageH = 0;
        int left = 0, top = 0, right = 0, bottom = 0;
    };
    Preview PreviewSizes() const;
    float PrintableWidth() const { return m_paperWidth - m_marginLeft - m_marginRight; }
    float PrintableHeight() const { return m_paperHeight - m_marginTop - m_marginBottom; }
    // The largest ratio that leaves a page of at least one pixel.
    float MaxRatio() const;
    int ColumnsInRow(int row) const;
    int IndexOf(int row, int column) const;
    // The n-th selected page (1-based): its origin in image pixels.
    bool FindSelectedPage(int n, int& originX, int& originY) const;
    bool ChangeMargin(float& margin, float minimum, float paper, int d);
    void DrawGrid(CDC* cdc, int x, int y, int bricks);

    int32_t m_rows = 1;
    int32_t m_columns = 1;
    std::vector<uint8_t> m_pageState{1};  // 1 selected, one entry a page
    float m_marginLeft = 0.2f;  // inches
    float m_marginTop = 0.2f;
    float m_marginRight = 0.2f;
    float m_marginBottom = 0.2f;
    float m_minLeft = 0.2f;  // the printer's unprintable border
    float m_minTop = 0.2f;
    float m_minRight = 0.2f;
    float m_minBottom = 0.2f;
    int32_t m_offsetX = 0;  // image pixel of the page grid's origin
    int32_t m_offsetY = 0;
    RefPtr<Image> m_image;
    int32_t m_cropLeft = 0;  // right and bottom exclusive
    int32_t m_cropRight = 0;
    int32_t m_cropTop = 0;
    int32_t m_cropBottom = 0;
    std::vector<unsigned char> m_rowBuffer;
    int32_t m_rowBufferWidth = 0;
    float m_ratio = 4.0f;  // hundredths of an inch per image pixel
    float m_paperWidth = 8.5f;
    float m_paperHeight = 11.0f;
    int32_t m_dragTarget = kNowhere;
    int16_t m_downX = 0;
    int16_t m_downY = 0;
    int16_t m_lastX = 0;
    int16_t m_lastY = 0;
    float m_zoomX = 1.0f;
    float m_zoomY = 1.0f;
    int32_t m_style = kBrickWall;
    int32_t m_tableStyle = kBrickWall;  // the style the state table was laid out in
    std::unique_ptr<CToolBar> m_toolBar;
    int32_t m_cursorState = 0;
};
