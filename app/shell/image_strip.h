// A horizontal strip of panorama thumbnails with their names: the user
// picks one, reorders them by dragging, drops one outside to remove it and
// sets a view centre inside the picked one with a Ctrl-click. The parent
// hears of each change through message 0x430. Self-contained: it works on
// a StripItemList it does not own.
#pragma once

#include "app/shell/strip_item_list.h"
#include "app/shell/strip_scroll_bar.h"
#include "platform/win/wnd.h"

#include <cstdint>
#include <memory>

class ImageStrip : public CWnd {
public:
    // To the parent: wParam 0 selection, 1 view centre (lParam: two
    // floats), 2 the list was reordered or shortened.
    static constexpr UINT kStripMessage = 0x430;
    static constexpr UINT kRemoveCursor = 167;
    static constexpr int kSlotWidth = 128;
    static constexpr int kGap = 6;
    static constexpr COLORREF kBackground = 0x00C8C8C8;  // RGB(200, 200, 200)

    ImageStrip() = default;
    ~ImageStrip() override;

    void SetList(StripItemList* list);
    StripItemList* GetList() const { return m_list; }
    StripScrollBar* GetScrollBar() const { return m_scrollBar.get(); }
    // Thumbnail size of an item in the current client height.
    void GetThumbSize(const StripItem* item, int& width, int& height) const;
    // Client rectangles of an item's slot and thumbnail.
    RECT GetSlotRect(int index) const;
    RECT GetThumbRect(int index) const;
    // The item under a client point, -1 for none.
    int ItemAt(POINT point) const;
    void RecalcLayout();
    int GetRowWidth() const { return m_rowWidth; }
    int GetScrollOffset() const { return m_scroll; }

    int OnCreate(LPCREATESTRUCT cs) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;

private:
    int AvailableHeight() const;
    void DrawThumb(CDC& dc, int index);
    void DrawDragRect(CDC& dc);
    void SetCentre(int index, POINT point);
    void ClampCentre(StripItem& item, float& x, float& y) const;
    void Notify(WPARAM code, LPARAM param);

    StripItemList* m_list = nullptr;  // not owned
    int32_t m_scroll = 0;
    int32_t m_rowWidth = 200;
    int32_t m_thumbHeight = 0;  // the tallest thumbnail
    int32_t m_pressed = -1;
    RECT m_dragRect{0, 0, 0, 0};
    bool m_dragShown = false;
    std::unique_ptr<StripScrollBar> m_scrollBar;
};
