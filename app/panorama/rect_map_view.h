// The panorama views. CRectMapView shows a panorama's WorldMap as a flat,
// scrollable picture: it is both a scroll view and a DataViewerWnd, so the map
// tells it of every change by numbered events (RectViewNotify). The class
// keeps the list of open panorama views, the front (most recently activated)
// one first. CWorldMapView is the outer view of a panorama window: the
// leveling toolbar on the left and the CRectMapView beside it.
#pragma once

#include "platform/win/control_bars.h"
#include "platform/win/doc_view.h"
#include "viewkit/data_viewer_wnd.h"

#include <bit>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CImageSizeDlg;
class CPrinting;
class CQuickTimeSaveDlg;
class Image;
struct QUORVANE_FileInfo;
class CWorldMapView;
class List;
class MosaicLayout;
class RegionCentre;
class RubberRect;
class WorldMap;

class CRectMapView : public CScrollView, public DataViewerWnd {
public:
    // Mode bits of m_mode.
    static constexpr uint16_t cropByWindow = 0x0004;
    static constexpr uint16_t toolCursorOn = 0x0100;
    static constexpr uint16_t cropped = 0x0200;
    static constexpr uint16_t fullCircle = 0x0400;
    static constexpr uint16_t perspectiveTool = 0x1000;
    static constexpr uint16_t perspectiveRegion = 0x2000;
    static constexpr uint16_t levelTool = 0x4000;
    static constexpr uint16_t rollTool = 0x8000;
    // Bits of m_stateBits.
    static constexpr uint8_t kFinal = 0x01;
    static constexpr uint8_t kFreeSelection = 0x02;

    // Commands and resources of the view.
    static constexpr UINT kCropCommand = 32795;
    static constexpr UINT kPanCursor = 242;
    static constexpr UINT kRollOffCursor = 168;
    static constexpr UINT kPerspectiveCursor = 235;

    CRectMapView();
    ~CRectMapView() override;
    CRectMapView(const CRectMapView&) = delete;
    CRectMapView& operator=(const CRectMapView&) = delete;

    void OnDraw(CDC* dc) override;
    void OnInitialUpdate() override;
    int Notify(int event, WorldMap* map, std::uintptr_t param) override;
    // The meaning of every viewer event number; always 0.
    int RectViewNotify(int event, WorldMap* map, std::uintptr_t param);

    // Float parameters of the events travel as their 32 bits.
    static std::uintptr_t FloatParam(float value) { return std::bit_cast<uint32_t>(value); }

    void SetParentView(CWorldMapView* parent);
    CWorldMapView* GetParentView() const { return m_parentView; }
    // The map of the view's panorama document (null without one).
    WorldMap* GetWorldMap() const;

    // Renders the map's data area into the screen image; true when the
    // screen image was created or changed size.
    bool BuildScreenBitmap(WorldMap* map);
    void UpdateScrollSizes(bool fitToWindow);
    void UpdateTitle();
    // The crop command: crops the screen image to the selection, or undoes it.
    void OnCrop();
    // The cursor the set-cursor message shows (null: the default handling),
    // clearing the tool bits the global tool overrides.
    HCURSOR ChooseCursor();
    // The tool ids of the outer view's toolbar (33165 to 33168).
    void SelectTool(UINT id);

    // The open panorama views; GetData(0) is the front one (null when none).
    static List& Views();
    // Moves this view to the front of the list.
    void MoveToFront();

    uint16_t GetMode() const { return m_mode; }
    void SetModeBits(uint16_t bits, bool on) { m_mode = on ? (m_mode | bits) : (m_mode & ~bits); }
    bool IsFinal() const { return (m_stateBits & kFinal) != 0; }
    uint8_t GetStateBits() const { return m_stateBits; }
    int32_t GetColumnShift() const { return m_columnShift; }
    int32_t GetEquatorRow() const { return m_equatorRow; }
    int32_t GetGridStep() const { return m_gridStep; }
    int32_t GetRulerOffset() const { return m_rulerOffset; }
    void SetRulerOffset(int32_t offset) { m_rulerOffset = offset; }
    int32_t GetRollOffset() const { return m_rollOffset; }
    void SetRollOffset(int32_t offset) { m_rollOffset = offset; }
    const RECT& GetPerspectiveRect() const { return m_perspectiveRect; }
    UINT GetToolCursor() const { return m_toolCursor; }
    const float* GetLevelRotation() const { return m_levelRotation; }
    void SetLevelRotation(const float rotation[3]);
    bool HasLevelRotation() const;
    void ResetLeveling();
    // How often the scroll sizes were recomputed (a rebuild of unchanged size
    // must not); for the window's owners and tests.
    int GetScrollSizeUpdates() const { return m_scrollSizeUpdates; }
    CPrinting* GetPrintLayout() const { return m_printLayout; }
    void SetPrintLayout(CPrinting* layout);
    const std::string& GetTitle() const { return m_title; }

    // Saving the panorama as JPEG, TIFF or movie.
    static constexpr UINT kSaveAsCommand = 32774;
    static constexpr UINT kSaveFullCommand = 32877;
    static constexpr UINT kSaveScreenCommand = 32873;
    void OnFileSaveRWMAs();
    void OnSaveRWMAtDspSize();
    void SaveRWM(bool trueSize);
    // The JPEG and TIFF writers the save uses; null restores the real ones.
    using ImageWriter = int (*)(Image* image, RECT* rect, QUORVANE_FileInfo* info);
    static void SetImageWriters(ImageWriter jpeg, ImageWriter tiff);
    const std::string& GetSavePath() const { return m_savePath; }

    // The zoom dialog's owner side: "Zoom ..." opens the image-size dialog
    // on the selection; the dialog's code 1 (closed) deletes and forgets
    // it, code 2 applies its zoom through the zoom handler.
    static constexpr UINT kZoomDialogCommand = 32887;
    void OpenZoomDialog();
    void OnZoomDialogNotify(int code, float value);
    CImageSizeDlg* GetZoomDialog() const;
    // How code 2 zooms the view; unset, the view changes its zoom itself.
    using ZoomHandler = std::function<void(CRectMapView* view, float zoom)>;
    static void SetZoomHandler(ZoomHandler handler);
    // QuickTime VR movie saves: the save dialog for the selection, and the
    // movie written with its settings (its "Save" button).
    void RunQuickTimeSaveDialog(const std::string& path, const RECT& selection, int equatorWidth, bool trueSize,
                                float zoom);
    void SaveQuickTimeMovie(CQuickTimeSaveDlg* dialog, bool trueSize);
    // The movie writer the save uses; null restores SaveQuickTime.
    using MovieWriter = int (*)(Image** images, RECT* rect, QUORVANE_FileInfo* info);
    static void SetMovieWriter(MovieWriter writer);
    // ---- Panorama tools: crop selection, perspective view, rolling, leveling
    // ruler, zoom, print layout, clipboard and web printing (rect_map_tools.cpp,
    // rect_map_perspective.cpp, rect_map_leveling.cpp, rect_map_print.cpp).
    static constexpr UINT kSelectCropCommand = 32794;
    static constexpr UINT kCropToolCommand = 33001;
    static constexpr UINT kPerspectiveToolCommand = 32860;
    static constexpr UINT kPerspectiveViewCommand = 32861;
    static constexpr UINT kRollCommand = 32793;
    static constexpr UINT kContextMenu = 143;
    static constexpr UINT kLayoutContextMenu = 225;
    static constexpr UINT kPanningCursor = 294;
    static constexpr UINT kNoRotateCursor = 296;
    static constexpr float kFieldFactor = 0.7f;

    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnLButtonDblClk(UINT flags, CPoint point) override;
    void OnRButtonDown(UINT flags, CPoint point) override;
    void OnKeyDown(UINT ch, UINT repeat, UINT flags) override;
    BOOL OnPreparePrinting(CPrintInfo* info) override;
    void OnPrint(CDC* dc, CPrintInfo* info) override;
    void OnEndPrinting(CDC* dc, CPrintInfo* info) override;

    void OnSelectCropRegion();
    void OnCropTool();
    void OnPerspectiveTool();
    void OnCreatePerspectiveView();
    void OnHorizontalRolling();
    void OnUpdateFinalOnly(CCmdUI* ui);
    void OnUpdateCropTool(CCmdUI* ui);
    void OnUpdateCrop(CCmdUI* ui);
    // Ends the perspective tool, dropping its region (step 5 of the tool).
    void EndPerspectiveTool();
    RubberRect* GetRegionOutline() const { return m_regionOutline; }
    RegionCentre* GetRegionCentre() const { return m_regionCentre; }
    // The perspective picture of the current region (one reference for the
    // caller), or null; what "Create perspective view" shows.
    Image* MakePerspectiveImage();
    // The manager's render of the project's frames over the region (map
    // pixels), or null when it gives nothing.
    Image* RenderFromFrames(const RECT& region, int W);

    // Rolling and leveling, in screen-bitmap pixels.
    void RollScreen(int n);
    struct RulerGeometry {
        int centreX, centreY, halfHeight, step, ticks;  // ticks: 0 none, 1 every 22.5, 2 every 11.25 degrees
    };
    // The ruler of a w x h picture at the current zoom (view pixels).
    RulerGeometry GetRulerGeometry() const;
    // 2 on the centre square, 1 on the ruler, 0 elsewhere (view pixels).
    int RulerHitTest(int x, int y) const;
    // One leveling step: the rotation vector composed after the saved matrix.
    void LevelStep(const float step[3]);
    void DrawRuler(CDC* dc);
    void DrawPerspectiveRegion(CDC* dc);

    // Zoom and printing.
    static constexpr float kZoomStep = 0.05f;
    void SetZoom(float z);
    void ZoomToFit();
    void ZoomInStep(bool ctrl, bool shift);
    void ZoomOutStep(bool ctrl, bool shift);
    void TogglePrintLayout();
    void OnPrinterSetup();
    void OnLayoutCommand(UINT id);
    void OnPageImages();
    void OnCopy();
    void OnWebPrint();
    void OnUpdateWebPrint(CCmdUI* ui);
    void OnZoomTable(UINT id);
    void OnZoomWindowCommand(UINT id);

private:
    const win::MessageMap* ToolMessageMap() const;
    bool IsFullCircle() const { return (m_mode & fullCircle) != 0; }
    void CropButtonDown(UINT flags, int x, int y);
    void PanButtonDown(CPoint client);
    void PerspectiveButtonDown(int x, int y);
    void PerspectiveMove(int x, int y);
    void PerspectiveButtonUp(int x, int y);
    void LevelButtonDown(int x, int y);
    void LevelMove(int x, int y);
    void LevelButtonUp();
    void RollButtonDown();
    void RollMove(int dx);
    bool EnsureLevelingMap();
    void FinishLevelStep();
    void LayoutMouse(UINT message, UINT flags, int x, int y);
    void StoreLayoutSettings();
    bool ShowPrintLayout();

    bool m_panning = false;
    CPoint m_panStart{0, 0};
    CPoint m_panScrollStart{0, 0};
    int m_levelLastX = 0;
    int m_levelLastY = 0;
    bool m_levelDrag = false;  // a rotate or tilt drag is on
    bool m_rolling = false;
    // ---- end of the panorama tools block

protected:
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    void OnVScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) override;
    const win::MessageMap* GetMessageMap() const override;

private:
    // Makes or resizes the screen image and layer image 0; true on a change.
    bool MakeScreenImage(int width, int height, int channels);
    int AdjustCell(int event, std::uintptr_t param);
    void CopyTitle(char* buffer) const;
    void SetFinal(bool final);
    void EndTools(int code);
    void DestroyPanoramaWindow();
    void DrawTextCells(CDC* dc);

    // Kept in the order the panorama views have always laid them out.
    CWorldMapView* m_parentView = nullptr;
    CPrinting* m_printLayout = nullptr;  // owned
    WorldMap* m_worldMap = nullptr;      // one reference held
    WorldMap* m_levelingMap = nullptr;   // one reference held while a leveling step runs
    RegionCentre* m_regionCentre = nullptr;
    RubberRect* m_regionOutline = nullptr;
    MosaicLayout* m_mosaicLayout = nullptr;
    RECT m_perspectiveRect = {0, 0, -1, -1};  // view pixels (screen-bitmap pixels x zoom), inclusive
    UINT m_toolCursor = 0;
    uint8_t m_stateBits = 0;
    int32_t m_rollOffset = 0;  // pixels, within +-W/2
    CWnd* m_zoomDialog = nullptr;  // owned while open
    std::string m_savePath;        // empty until set
    int32_t m_rulerOffset = 0;     // screen-bitmap pixels from the picture's middle
    int32_t m_equatorRow = 0;
    int32_t m_columnShift = 0;
    int32_t m_gridStep = 20;  // 22.5 degrees of the equator, pixels
    int32_t m_rulerDragStart = 0;
    uint8_t m_rulerDrag = 0;
    uint8_t m_tiltDrag = 0;
    float m_levelRotation[3] = {0.0f, 0.0f, 0.0f};  // axis times angle, radians
    float m_levelMatrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float m_savedLevelMatrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    uint16_t m_mode = 0;

    std::string m_title;
    int m_scrollSizeUpdates = 0;

    // ---- Quarter-turn picture, mosaic grid and publishing commands (rect_map_commands.cpp).
public:
    static constexpr UINT kRotatedImageCommand = 32889;
    static constexpr UINT kMosaicCommand = 33138;
    // The selection turned a quarter counter-clockwise (one reference for
    // the caller), or null.
    Image* MakeRotatedImage();
    void OnRotatedImage();
    // Lays the mosaic grid over the panorama and opens its maker; nothing
    // while a grid is shown or when the map has no data area.
    void OnMosaicStart();
    void RemoveMosaicLayout();
    MosaicLayout* GetMosaicLayout() const { return m_mosaicLayout; }
    void OnViewInViewer();
    void OnSetAsScreenSaver();
    void OnMakeQuickTimeTour();
    void OnCreateWebTour();
    void OnEmailPanorama();
    void OnUpdateAlwaysEnabled(CCmdUI* ui);

private:
    const win::MessageMap* CommandMessageMap() const;
    // The mosaic grid's share of the mouse (points in screen-bitmap pixels).
    void MosaicMouse(UINT message, CPoint client, int x, int y);
    void DrawMosaicLayout(CDC* dc);
    bool m_mosaicDrag = false;
    CPoint m_mosaicStart{0, 0};  // client pixels where the drag began
    CPoint m_mosaicLast{0, 0};
};

// The panorama window's view (the panorama template's view class): the
// vertical leveling toolbar and the CRectMapView beside it.
class CWorldMapView : public CView {
public:
    static constexpr UINT kToolBarResource = 261;
    static constexpr UINT kChildId = 124;
    static constexpr UINT kPan = 33165;
    static constexpr UINT kRolling = 33166;
    static constexpr UINT kLevel = 33167;
    static constexpr UINT kResetLeveling = 33168;
    // Extra height of the erased strip below the toolbar's width.
    static constexpr int kStripExtra = 6;

    CWorldMapView() = default;
    ~CWorldMapView() override;
    CWorldMapView(const CWorldMapView&) = delete;
    CWorldMapView& operator=(const CWorldMapView&) = delete;

    void OnDraw(CDC*) override {}
    void OnInitialUpdate() override;

    void SetTool(UINT id);
    UINT GetCurrentTool() const { return m_currentTool; }
    // Sizes the panorama window's frame to the picture within the main
    // frame's free client area.
    void FitFrameToView();
    CRectMapView* GetRectView() const { return m_rectView; }
    CToolBar* GetToolBar() const { return m_toolBar.get(); }
    // The child tells its parent it is gone.
    void ChildGone(CRectMapView* child);
    // Whether a tool button is enabled and checked, as the update rules say.
    void GetToolState(UINT id, bool& enabled, bool& checked) const;

protected:
    void OnSize(UINT type, int cx, int cy) override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    const win::MessageMap* GetMessageMap() const override;

private:
    void LayOutChild(int cx, int cy);
    void OnTool(UINT id);
    void OnUpdateTool(CCmdUI* ui);
    bool ToolTipText(NMHDR* header);

    std::unique_ptr<CToolBar> m_toolBar;
    CRectMapView* m_rectView = nullptr;  // owned; deletes itself with its window
    UINT m_currentTool = kPan;
};

// Registers the panorama window's toolbar, strings and cursors.
void RegisterPanoramaResources();
// The context menus and cursors of the panorama tools.
void RegisterPanoramaToolResources();
