// Lumivex, the viewer control: shows one panorama named by its FileName
// property, flat as the part of the world map the file covers (world-map
// view) or straightened through the view engine (perspective view), pans,
// zooms and spins it with the mouse and its timer (timer 1, 33 ms), and
// redraws as the decoding worker reports (WM_USER+1). Window coordinates are
// pixels from the control's top-left corner; angles are radians.
#pragma once

#include "imaging/image.h"
#include "imaging/ref_count.h"
#include "platform/olecontrol/ole_control.h"
#include "platform/win/dib.h"
#include "viewer/engine/view_faces.h"
#include "viewer/engine/view_params.h"
#include "viewer/lumivex/panorama_loader.h"
#include "worldmap/world_map_base.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CLumivexHelpDlg;
class CLumivexSplashDlg;

// Rotates every row of an interleaved image by n pixels: negative n moves
// the row left (its first |n| pixels to its end), positive n right. |n| is
// taken modulo the width; `buffer` grows to the moved pixels and never
// shrinks.
void RollImageColumns(Image& image, int n, std::vector<uint8_t>& buffer);

class CLumivexCtrl : public COleControl {
public:
    // Ids of the dispatch table and the type library.
    static constexpr DISPID kDispFileName = 1;
    static constexpr DISPID kDispSpeed = 2;
    static constexpr DISPID kDispViewMode = 3;
    static constexpr DISPID kDispShowHelp = 4;
    // Menu commands of the popup menu 201.
    static constexpr UINT kCmdPerspective = 32768;
    static constexpr UINT kCmdWorldMap = 32769;
    static constexpr UINT kCmdZoomIn = 32770;
    static constexpr UINT kCmdZoomOut = 32772;
    static constexpr UINT kCmdZoomDefault = 32773;
    static constexpr UINT kCmdHelp = 57670;
    static constexpr UINT kCmdAbout = 32775;
    static constexpr UINT kPopupMenu = 201;
    // View modes.
    static constexpr int kWorldMapView = 0;
    static constexpr int kPerspectiveView = 1;
    // Hit zones.
    static constexpr int kHitZoom = 1;
    static constexpr int kHitPan = 2;
    static constexpr int kHitOutside = 3;

    static constexpr UINT kTimerId = 1;
    static constexpr int kTimerMs = 33;
    static constexpr int kTimerStopped = 1000000000;
    static constexpr float kStartFov = 1.2217305f;  // 70 degrees
    static constexpr float kMaxFov = 1.7453293f;    // 100 degrees
    static constexpr float kStepPerPixel = 0.0005f;  // radians per tick per pixel of drag
    static constexpr float kZoomStep = 1.25f;
    static constexpr int kReducedAbove = 200000;    // view pixels
    static constexpr uint32_t kPropVersion = 0x00010000;  // 1.0

    CLumivexCtrl();
    ~CLumivexCtrl() override;

    // Properties and methods.
    void DoPropExchange(CPropExchange* px) override;
    const std::vector<DispatchMember>& DispatchTable() const override;
    std::vector<std::string> PropertyPageClsids() const override;
    bool OnProperties() override;
    uint32_t GetMiscStatus() const override;
    void SetFileName(const std::string& name);
    void OnFileNameChanged();
    void ShowHelp();
    void AboutBox();

    // Loading and layout.
    bool LoadFile(const std::string& path);
    int LoadSource(const std::string& path);
    void SetViewMode(int mode, bool force);
    void SetupPerspective();
    void ComputeViewSize(int w, int h, int& viewW, int& viewH);
    void SetZoom(float z);
    void ZoomWorldMap(float z);
    int HitTest(POINT p) const;
    LRESULT OnDecodeProgress(WPARAM wParam, LPARAM lParam);
    void RollColumns(int n);

    // Menu commands.
    void OnPerspectiveView();
    void OnWorldMapView();
    void OnZoomIn();
    void OnZoomOut();
    void OnZoomDefault();

    const win::MessageMap* GetMessageMap() const override;
    void OnDraw(CDC* dc, const RECT& bounds, const RECT& invalid) override;

    // State, in this order.
    std::string fileName;
    int16_t speed = 0;
    float fov = kStartFov;
    float zoom = 1.0f;
    float zoomAtDragStart = 1.0f;
    int windowW = 300, windowH = 200;
    int destX = 0, destY = 0, destW = 0, destH = 0;
    int srcX = 0, srcY = 0, srcW = 0, srcH = 0;
    Image* viewImage = nullptr;        // one reference held
    WorldMapBase* worldMap = nullptr;  // one reference held
    std::unique_ptr<CViewFaceList> faceList;
    std::unique_ptr<CViewParams> viewParams;
    BITMAPINFOHEADER* bitmapHeader = nullptr;  // owned
    int startX = 0, startY = 0, currentX = 0, currentY = 0;
    std::vector<uint8_t> rollBuffer;
    HCURSOR cursor = nullptr;
    int timerInterval = kTimerStopped;
    float maxHFov = kMaxFov, maxVFov = kMaxFov;
    CLumivexHelpDlg* helpDialog = nullptr;      // owned
    CLumivexSplashDlg* splashDialog = nullptr;  // owned
    bool loaded = false;
    int viewMode = kWorldMapView;
    bool panning = false;
    bool timerRunning = false;
    bool drawing = false;
    bool wrap = false;
    bool reduced = false;
    bool plainImage = false;
    bool spinLatched = false;
    bool zooming = false;
    int progress = 0;
    // A moving perspective frame is rendered by the paint that shows it and
    // put onto the window band by band as the engine finishes its rows;
    // false renders the whole frame first and stretches it after (the same
    // bytes, one more pass over the window).
    bool drawWhileRendering = true;

    // The decoding worker of the current panorama (stopped before the map or
    // the view image goes).
    std::unique_ptr<DecodeWorker> worker;

protected:
    int OnCreate(LPCREATESTRUCT cs) override;
    void OnDestroy() override;
    void OnSize(UINT type, int cx, int cy) override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnRButtonDown(UINT flags, CPoint point) override;
    void OnTimer(UINT_PTR id) override;

private:
    LRESULT OnDecodeProgressMessage(WPARAM wParam, LPARAM lParam);
    void ApplySize(int cx, int cy);
    void CopyDataArea();
    void LayoutWorldMap();
    bool SizeViewImage(int w, int h);
    void InitFaces();
    void Render(bool finished);
    void DrawProgressBar(CDC* dc);
    // Invalidates and updates at once; `erase` false keeps the margins (a
    // moving frame covers the same destination).
    void Repaint(bool erase = true);
    void StartTimer();
    void StopTimer();
    void SetCursorById(UINT id);
    void PanMove(UINT keys, CPoint point);
    void ZoomMove(CPoint point);
    bool TickPerspective();
    bool TickWorldMap();
    void SetReduced(bool half);
    void ReleasePanorama();
    void DeleteSplash();

    // Holds off the decoding worker's writes of the pixels it decodes into
    // (the world map's, or a plain image's) while this thread reads or
    // changes them: every pass of a progressive file rewrites every row.
    // Scopes nest and share one lock; none is open across LoadSource (which
    // stops the worker) or the destructor.
    class PixelsScope {
    public:
        explicit PixelsScope(CLumivexCtrl& ctrl);
        ~PixelsScope();
        PixelsScope(const PixelsScope&) = delete;
        PixelsScope& operator=(const PixelsScope&) = delete;

    private:
        CLumivexCtrl& m_ctrl;
    };
    int pixelsDepth = 0;
    std::unique_lock<std::mutex> pixelsLock;

    // Moving frames: the reduced frame enlarged to the shown size, kept from
    // tick to tick, so that the window takes it one to one.
    const Image* ShownFrame();
    RefPtr<Image> shownFrame;
    // The perspective frame of a tick still to be rendered (by its paint, or
    // after it when no paint came).
    bool frameDue = false;
    // Draws the perspective frame onto hdc (null: no window context),
    // rendering a due frame first or while drawing.
    void DrawPerspective(HDC hdc, const BITMAPINFO* info, std::vector<uint8_t>& grey);
};
