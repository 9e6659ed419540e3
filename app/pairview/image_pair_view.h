// The marker editor of one image pair: both photographs side by side at one
// zoom, with the manual markers of the pair's two links. Marker i of one
// image pairs with marker i of the other. Content pixels: both photographs
// at zoom 1, each at its link's position.
#pragma once

#include "platform/win/doc_view.h"

#include <cstdint>
#include <memory>

class CMagGlass;
class CToolBar;
class ImageFrame;
class Neighbor;

class CImagePairView : public CScrollView {
public:
    static constexpr UINT kStitchThisPair = 32826;
    static constexpr UINT kZoom25 = 32801;  // to 32806: 25, 50, 75, 100, 150, 200 %
    static constexpr UINT kZoom200 = 32806;
    static constexpr UINT kZoomIn = 32791;
    static constexpr UINT kZoomOut = 32792;
    static constexpr UINT kMagnifier = 32923;
    static constexpr UINT kMarkerIndex = 33012;
    static constexpr UINT kSwitchToOverlay = 33128;
    static constexpr UINT kToolPointer = 33050;
    static constexpr UINT kToolAddMarker = 33051;
    static constexpr UINT kToolMoveMarker = 33053;
    static constexpr UINT kToolEraseMarker = 33054;
    static constexpr UINT kToolMoveImage = 33055;
    static constexpr UINT kToolBarResource = 262;
    static constexpr UINT kContextMenu = 263;
    static constexpr UINT kMagnifierId = 4444;
    // Cursors of the marker tools.
    static constexpr UINT kCursorAdd = 291;
    static constexpr UINT kCursorMove = 292;
    static constexpr UINT kCursorErase = 293;

    // Bits of the state word.
    static constexpr uint32_t kImageDrag = 0x01;
    static constexpr uint32_t kImageOrder = 0x02;
    static constexpr uint32_t kMarkerDrag = 0x04;
    static constexpr uint32_t kActiveImage2 = 0x08;
    static constexpr uint32_t kTempMoveFromAdd = 0x20;
    static constexpr uint32_t kMoveFromPointer = 0x40;

    CImagePairView();
    ~CImagePairView() override;
    CImagePairView(const CImagePairView&) = delete;
    CImagePairView& operator=(const CImagePairView&) = delete;

    void OnInitialUpdate() override;
    void OnUpdate(CView* sender, LPARAM hint, CObject* hintObject) override;
    void OnDraw(CDC* dc) override;

    // Sets both links' marker type; with reset both become not merged and
    // nothing else happens; otherwise, when markers changed, the pair is
    // aligned from its markers with the two frames' focal ratio.
    void StitchThisPair(bool manualMarkerType, bool reset);
    void SetZoom(float zoom);
    float GetZoom() const { return m_zoom; }
    void SelectTool(UINT id);
    UINT GetTool() const { return m_tool; }
    // The focal ratio the alignment uses: image 2's over image 1's.
    float PairFocalRatio();

    ImageFrame* GetImage1() const { return m_image1; }
    ImageFrame* GetImage2() const { return m_image2; }
    Neighbor* GetLink1() const { return m_link1; }
    Neighbor* GetLink2() const { return m_link2; }
    uint32_t GetStateFlags() const { return m_flags; }
    bool MarkersChanged() const { return m_markersChanged; }
    bool HasMagnifier() const { return m_magGlass != nullptr; }
    CToolBar* GetToolBar() const { return m_toolBar.get(); }
    SIZE GetContentSize() const { return SIZE{m_contentW, m_contentH}; }
    // The outline of an image drag, content pixels.
    RECT GetDragOutline() const { return m_dragRect; }

protected:
    const win::MessageMap* GetMessageMap() const override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnLButtonDblClk(UINT flags, CPoint point) override;
    void OnRButtonDown(UINT flags, CPoint point) override;
    void OnKeyDown(UINT ch, UINT repeat, UINT flags) override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) override;
    void OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    void OnVScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    void OnSize(UINT type, int cx, int cy) override;

private:
    void ResolvePair();
    void PlaceImages();
    void ShowMarkerCircles();
    void ToggleMagnifier();
    void PlaceToolBar();
    void OnStitchThisPair();
    void OnZoomCommand(UINT id);
    void OnZoomIn();
    void OnZoomOut();
    void OnMarkerIndex();
    void OnSwitchToOverlay();
    void OnUpdateSwitchToOverlay(CCmdUI* ui);
    void OnTool(UINT id);
    void OnUpdateTool(CCmdUI* ui);
    // The image under a content point: 1, 2 or 0 for none (image 1 first).
    int HitImage(POINT content) const;
    Neighbor* ActiveLink() const;
    Neighbor* OtherLink() const;
    ImageFrame* ActiveImage() const;
    POINT ToContent(POINT client) const;
    void DrawOutline(CDC* dc);
    void ErasePairAt(POINT content);
    void SetToolCursor(UINT tool);

    // Kept in this order.
    POINT m_press{0, 0};
    POINT m_last{0, 0};
    RECT m_dragRect{0, 0, 0, 0};   // content pixels
    RECT m_pressRect{0, 0, 0, 0};
    float m_markerX = 0.0f;        // current marker at the press, image pixels
    float m_markerY = 0.0f;
    uint16_t m_contentW = 0;       // at zoom 1
    uint16_t m_contentH = 0;
    uint16_t m_scaledW = 0;
    uint16_t m_scaledH = 0;
    float m_zoom = 1.0f;
    uint32_t m_flags = 0;
    ImageFrame* m_image1 = nullptr;
    ImageFrame* m_image2 = nullptr;
    Neighbor* m_link1 = nullptr;  // image 1's link to image 2
    Neighbor* m_link2 = nullptr;
    CMagGlass* m_magGlass = nullptr;  // owned
    bool m_magShown = false;
    std::unique_ptr<CToolBar> m_toolBar;
    UINT m_tool = kToolAddMarker;
    HCURSOR m_cursor = nullptr;
    bool m_markersChanged = false;
};

// What a closing pair window (marker or overlap view) leaves behind: the
// manager forgets the window and the project forgets its document.
void ForgetPairWindow(CView* view, CDocument* document);

// The pair's markers for the stitching core: image pixels of each frame,
// the record's first frame being the one whose stamp lies left in the tray.
// Installed by the pair views.
void InstallPairMarkerSource();
