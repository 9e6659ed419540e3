// The overlay method of aligning one image pair: the foreground photograph
// (the document's first frame) is dragged and turned over the background
// (its second) on the cube model until the two overlap; "Stitch this image
// pair" reads the alignment back into the pair's link.
#pragma once

#include "platform/win/doc_view.h"

#include <cstdint>
#include <memory>

class CCubeFgBg;
class CToolBar;
class Image;
class ImageFrame;

class COverlapPair : public CView {
public:
    static constexpr UINT kStitchThisPair = 32826;
    static constexpr UINT kSwitchToMarkers = 33129;
    static constexpr UINT kZoomIn = 32791;
    static constexpr UINT kZoomOut = 32792;
    // Cursors of the drags.
    static constexpr UINT kCursorViewRotate = 294;
    static constexpr UINT kCursorViewShift = 295;
    static constexpr UINT kCursorRotate = 296;
    static constexpr UINT kCursorShift = 297;
    static constexpr UINT kCursorAnchor = 292;
    // Bits of the drag word.
    static constexpr uint32_t kShift = 0x01;
    static constexpr uint32_t kForeground = 0x02;
    static constexpr uint32_t kViewPort = 0x04;
    static constexpr uint32_t kRotate = 0x08;
    static constexpr uint32_t kAnchorMove = 0x10;

    COverlapPair();
    ~COverlapPair() override;
    COverlapPair(const COverlapPair&) = delete;
    COverlapPair& operator=(const COverlapPair&) = delete;

    void OnInitialUpdate() override;
    void OnDraw(CDC* dc) override;

    // Writes the model's alignment into the pair's link (below 5 % overlap
    // only after the user agrees), sets both links to automatic markers
    // (and not merged with reset) and makes matching fake markers. False
    // when the user cancelled.
    bool StitchThisPair(bool reset);

    CCubeFgBg* GetModel() const { return m_model.get(); }
    Image* GetRenderImage() const { return m_render; }
    float GetRange() const { return m_range; }
    uint32_t GetDragFlags() const { return m_drag; }
    POINT GetAnchorPoint() const { return m_anchor; }
    ImageFrame* GetForeground() const { return m_fg; }
    ImageFrame* GetBackground() const { return m_bg; }
    CToolBar* GetToolBar() const { return m_toolBar.get(); }

protected:
    const win::MessageMap* GetMessageMap() const override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnRButtonDown(UINT flags, CPoint point) override;
    void OnKeyDown(UINT ch, UINT repeat, UINT flags) override;
    void OnSize(UINT type, int cx, int cy) override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) override;

private:
    void OnStitch();
    void OnSwitchToMarkers();
    void OnZoomIn();
    void OnZoomOut();
    void SetRange(float range);
    void Repaint();
    SIZE RenderSize() const;

    // Kept in this order.
    Image* m_render = nullptr;              // a reference held
    std::unique_ptr<CCubeFgBg> m_model;
    float m_range = 1.3f;                   // view port's angular range, radians
    uint32_t m_drag = 0;
    ImageFrame* m_fg = nullptr;
    ImageFrame* m_bg = nullptr;
    HCURSOR m_cursor = nullptr;
    POINT m_anchor{0, 0};                   // client pixels
    POINT m_last{0, 0};
    std::unique_ptr<CToolBar> m_toolBar;
};
