// The viewer's view: shows the document's panorama flat (panorama mode,
// zoomed and scrolled, endlessly for a full circle) or through the view
// engine as a perspective picture steered by the mouse and by the auto-spin
// timer (timer 1, 33 ms). Client coordinates are pixels, top-left origin;
// angles are radians.
#pragma once

#include "imaging/image.h"
#include "platform/win/dib.h"
#include "platform/win/doc_view.h"
#include "viewer/engine/view_faces.h"
#include "viewer/engine/view_params.h"
#include "worldmap/world_map_base.h"

#include <cstdint>
#include <memory>
#include <vector>

class CVistrelDoc;

// What the command line asked of the first document; the application
// implements it, the view asks AfxGetApp() for it.
class VistrelStartOptions {
public:
    virtual ~VistrelStartOptions() = default;
    virtual int StartMode() const = 0;  // 0 none, 1 perspective, 2 panorama
    virtual int SpinSpeed() const = 0;  // 0 none
};

// Rotates every row of an interleaved image left by `step` pixels (negative:
// right), pixels leaving one edge entering at the other. The step is taken
// modulo the width. `scratch` grows to at most half a row.
void RotateRows(Image& image, int step, std::vector<uint8_t>& scratch);

class CVistrelView : public CView {
public:
    // Flag bits of `flags`.
    static constexpr uint32_t kShown = 0x1;
    static constexpr uint32_t kModeMask = 0x6;
    static constexpr uint32_t kResizing = 0x8;
    static constexpr uint32_t kPanning = 0x10;
    static constexpr uint32_t kTimerOn = 0x20;
    static constexpr uint32_t kDrawing = 0x40;
    static constexpr uint32_t kFullCircle = 0x80;
    static constexpr uint32_t kHalfSize = 0x100;
    static constexpr uint32_t kPlainImage = 0x200;
    static constexpr uint32_t kShiftOrCtrl = 0x400;
    static constexpr uint32_t kZooming = 0x800;
    // Modes (flags & kModeMask).
    static constexpr uint32_t kPerspective = 0;
    static constexpr uint32_t kPanorama = 2;
    // Hit zones.
    static constexpr int kHitZoom = 1;
    static constexpr int kHitPan = 2;
    static constexpr int kHitOutside = 3;

    static constexpr UINT kTimerId = 1;
    static constexpr int kTimerMs = 33;
    static constexpr int kTimerStopped = 1000000000;
    static constexpr float kStartFov = 1.2217305f;   // 70 degrees
    static constexpr float kMaxFov = 1.7453293f;     // 100 degrees
    static constexpr float kStepPerPixel = 0.0005f;  // radians per tick per pixel of drag

    CVistrelView();
    ~CVistrelView() override;

    CVistrelDoc* GetDocument() const;
    void OnDraw(CDC* dc) override;
    void OnUpdate(CView* sender, LPARAM hint, CObject* hintObject) override;

    // Pixels per radian of the picture at the current zoom.
    double PixelsPerRadian() const;
    // The perspective picture's size for a client of w x h; sets `fov`.
    void ComputeViewSize(int w, int h, int& viewW, int& viewH);
    void SetMode(uint32_t mode, bool force);
    void SetZoom(float z, bool keepWindow);
    int HitTest(POINT point) const;
    uint32_t Mode() const { return flags & kModeMask; }

    // Commands.
    void OnZoomIn();
    void OnZoomOut();
    void OnNoZoom();
    void OnPanoramaMode();
    void OnPerspectiveMode();
    void OnRotate();
    void OnCancelEditSrvr();
    void OnUpdatePanoramaMode(CCmdUI* ui);
    void OnUpdatePerspectiveMode(CCmdUI* ui);
    void OnUpdateRotate(CCmdUI* ui);

    const win::MessageMap* GetMessageMap() const override;

    // State, in this order.
    float fov = kStartFov;
    float zoom = 1.0f;
    float zoomAtDragStart = 1.0f;
    uint32_t flags = kPanorama;
    int wantW = 300, wantH = 200;
    int destX = 0, destY = 0, destW = 0, destH = 0;
    int srcW = 0, srcH = 0, srcX = 0, srcY = 0;
    Image* viewImage = nullptr;        // one reference held
    WorldMapBase* worldMap = nullptr;  // one reference held
    Image* stripImage = nullptr;       // one reference held
    std::unique_ptr<CViewFaceList> faceList;
    std::unique_ptr<CViewParams> viewParams;
    std::vector<uint8_t> bitmapInfo;   // BITMAPINFOHEADER + 256 grey entries
    std::vector<uint8_t> rotateBuffer;
    int dragStartX = 0, dragX = 0, dragStartY = 0, dragY = 0;
    HCURSOR cursor = nullptr;
    int timerInterval = kTimerStopped;
    float maxHFov = kMaxFov, maxVFov = kMaxFov;

protected:
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnTimer(UINT_PTR id) override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnDestroy() override;

private:
    void ReleasePicture();
    void WantFirstSize();
    void ApplyStartOptions();
    void SizeFrameToClient(int w, int h);
    bool ResizeViewImage(int w, int h, int channels);
    void FillPanoramaImage();
    void LayoutPanorama(bool keepCentre, bool keepWindow);
    void SetupPerspective(bool keepWindow);
    void RenderFrame(bool bilinear);
    void SetHalfSize(bool half);
    void StartTimer();
    void StopTimer();
    void ZoomDrag(int x);
    void PanDrag(UINT keys, int x, int y);
    void TickPerspective();
    bool TickPanorama();
    void SetCursorById(UINT id);
    BITMAPINFO* Header() { return reinterpret_cast<BITMAPINFO*>(bitmapInfo.data()); }
};
