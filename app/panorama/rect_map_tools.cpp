// The rect-map view's mouse, key and tool commands: the crop selection, the
// hand tool, bitmap objects, the perspective tool's outline and centre, the
// context menus and the final-map-only command states. Rolling and leveling
// live in rect_map_leveling.cpp, the perspective picture in
// rect_map_perspective.cpp, zoom and printing in rect_map_print.cpp.
#include "app/panorama/rect_map_tools.h"
#include "app/panorama/rect_map_view.h"
#include "app/views/image_size_dlg.h"

#include "app/control/tool_state.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/win/menu.h"
#include "platform/win/resources.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"
#include "viewkit/printing.h"
#include "worldmap/bmp_layer.h"
#include "worldmap/world_map.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr UINT kCropCursorVertical = 239;
constexpr UINT kCropCursorHorizontal = 168;
constexpr UINT kCropCursorMove = 245;
constexpr int kGlobalGroup = 33000;
constexpr int kHandTool = 33000;
constexpr int kCropTool = 33001;
constexpr int kMoveObjectTool = 33002;
constexpr int kDeleteObjectTool = 33003;

}  // namespace

// ---- RubberRect ------------------------------------------------------------------------

void RubberRect::Init(const RECT& bounds, int offsetX, int offsetY, const RECT& rect, bool inverted)
{
    m_minX = static_cast<int16_t>(bounds.left);
    m_maxX = static_cast<int16_t>(bounds.right);
    m_minY = static_cast<int16_t>(bounds.top);
    m_maxY = static_cast<int16_t>(bounds.bottom);
    m_offsetX = static_cast<int16_t>(offsetX);
    m_offsetY = static_cast<int16_t>(offsetY);
    m_left = static_cast<int16_t>(rect.left);
    m_right = static_cast<int16_t>(rect.right);
    m_top = static_cast<int16_t>(rect.top);
    m_bottom = static_cast<int16_t>(rect.bottom);
    m_flags = inverted ? kInverted : 0;
    if (m_right >= m_left && m_bottom >= m_top) m_flags |= kExists;
    m_zone = 0;
}

int RubberRect::HitTest(int x, int y) const
{
    if (!(m_flags & kExists)) return 0;
    auto band = [](int v, int lo, int hi) {
        if (std::abs(v - lo) <= kGrip) return 0;
        if (std::abs(v - hi) <= kGrip) return 2;
        if (v > lo && v < hi) return 1;
        return -1;
    };
    const int column = band(x, m_left, m_right);
    const int row = band(y, m_top, m_bottom);
    if (column < 0 || row < 0) return 0;
    return row * 3 + column + 1;
}

void RubberRect::Begin(int x, int y, int zone)
{
    x = std::clamp<int>(x, m_minX, std::max(m_minX, m_maxX));
    y = std::clamp<int>(y, m_minY, std::max(m_minY, m_maxY));
    if (!(m_flags & kExists)) {
        m_x0 = m_x1 = static_cast<int16_t>(x);
        m_y0 = m_y1 = static_cast<int16_t>(y);
        m_flags |= kDrawing;
        m_zone = 0;
        return;
    }
    m_zone = static_cast<int16_t>(zone);
    if (zone == 0) return;  // a press away from the outline grabs nothing
    m_x0 = m_left;
    m_x1 = m_right;
    m_y0 = m_top;
    m_y1 = m_bottom;
    m_anchorX = static_cast<int16_t>(x);
    m_anchorY = static_cast<int16_t>(y);
    m_flags |= kMoving;
}

void RubberRect::SetExtentLimit(int dx, int dy)
{
    m_extentX = static_cast<int16_t>(std::clamp(dx, 0, 32767));
    m_extentY = static_cast<int16_t>(std::clamp(dy, 0, 32767));
    m_flags |= kLimitX | kLimitY;
}

void RubberRect::Drag(int x, int y)
{
    x = std::clamp<int>(x, m_minX, std::max(m_minX, m_maxX));
    y = std::clamp<int>(y, m_minY, std::max(m_minY, m_maxY));
    // A free edge stays within the extent of the edge it is anchored to.
    auto limitX = [this](int v, int anchor) {
        return (m_flags & kLimitX) ? std::clamp(v, anchor - m_extentX, anchor + m_extentX) : v;
    };
    auto limitY = [this](int v, int anchor) {
        return (m_flags & kLimitY) ? std::clamp(v, anchor - m_extentY, anchor + m_extentY) : v;
    };
    if (m_flags & kDrawing) {
        m_x1 = static_cast<int16_t>(limitX(x, m_x0));
        m_y1 = static_cast<int16_t>(limitY(y, m_y0));
        return;
    }
    if (!(m_flags & kMoving) || m_zone == 0) return;
    if (m_zone == 5) {
        const int dx = std::clamp(x - m_anchorX, m_minX - m_left, m_maxX - m_right);
        const int dy = std::clamp(y - m_anchorY, m_minY - m_top, m_maxY - m_bottom);
        m_x0 = static_cast<int16_t>(m_left + dx);
        m_x1 = static_cast<int16_t>(m_right + dx);
        m_y0 = static_cast<int16_t>(m_top + dy);
        m_y1 = static_cast<int16_t>(m_bottom + dy);
        return;
    }
    const int column = (m_zone - 1) % 3;
    const int row = (m_zone - 1) / 3;
    if (column == 0) m_x0 = static_cast<int16_t>(limitX(x, m_x1));
    if (column == 2) m_x1 = static_cast<int16_t>(limitX(x, m_x0));
    if (row == 0) m_y0 = static_cast<int16_t>(limitY(y, m_y1));
    if (row == 2) m_y1 = static_cast<int16_t>(limitY(y, m_y0));
}

RECT RubberRect::Current() const
{
    return RECT{std::min(m_x0, m_x1), std::min(m_y0, m_y1), std::max(m_x0, m_x1), std::max(m_y0, m_y1)};
}

void RubberRect::Draw(CDC* dc) const
{
    if (!dc || !IsDrawing()) return;
    const RECT r = Current();
    const int oldRop = dc->SetROP2(R2_NOT);
    CGdiObject* oldBrush = dc->SelectStockObject(NULL_BRUSH);
    dc->Rectangle(r.left + m_offsetX, r.top + m_offsetY, r.right + m_offsetX + 1, r.bottom + m_offsetY + 1);
    if (oldBrush) dc->SelectObject(static_cast<CBrush*>(oldBrush));
    dc->SetROP2(oldRop);
}

// ---- Perspective arithmetic ------------------------------------------------------------

namespace perspective {

RECT MirrorAboutCentre(const RECT& region, double centreX, double centreY)
{
    RECT out = region;
    const double midX = 0.5 * (region.left + region.right);
    const double midY = 0.5 * (region.top + region.bottom);
    if (std::abs(centreX - midX) > 3.0) {
        const double half = std::max(centreX - region.left, region.right - centreX);
        out.left = static_cast<LONG>(std::lround(centreX - half));
        out.right = static_cast<LONG>(std::lround(centreX + half));
    }
    if (std::abs(centreY - midY) > 3.0) {
        const double half = std::max(centreY - region.top, region.bottom - centreY);
        out.top = static_cast<LONG>(std::lround(centreY - half));
        out.bottom = static_cast<LONG>(std::lround(centreY + half));
    }
    return out;
}

RECT NarrowTo(const RECT& region, int limit)
{
    RECT out = region;
    if (limit < 1) return out;
    const int w = region.right - region.left + 1;
    const int h = region.bottom - region.top + 1;
    if (w > limit) {
        out.left = region.left + (w - limit) / 2;
        out.right = out.left + limit - 1;
    }
    if (h > limit) {
        out.top = region.top + (h - limit) / 2;
        out.bottom = out.top + limit - 1;
    }
    return out;
}

void ProjectedSize(const RECT& region, double centreX, double centreY, int equatorRow, int W, int maxW, int maxH,
                   int& width, int& height)
{
    const double r = W / (2.0 * 3.14159265358979323846);
    auto limit = [](double a) { return std::clamp(a, -kAngleLimit, kAngleLimit); };
    const double middleLatitude = (0.5 * (region.top + region.bottom) - equatorRow) / r;
    const double c = std::cos(middleLatitude);
    const double a = limit((region.left - centreX) / r * c);
    const double b = limit((region.right - centreX) / r * c);
    const double a2 = limit((region.top - centreY) / r);
    const double b2 = limit((region.bottom - centreY) / r);
    width = static_cast<int>(std::min<double>(std::abs(r * (std::tan(b) - std::tan(a))), maxW));
    height = static_cast<int>(std::min<double>(std::abs(r * (std::tan(b2) - std::tan(a2))), maxH));
}

RECT CutRect(const RECT& region, double centreX, double centreY, int renderedW, int renderedH, int width, int height)
{
    RECT out{};
    const bool keepRight = centreX <= 0.5 * (region.left + region.right);
    const bool keepBottom = centreY <= 0.5 * (region.top + region.bottom);
    out.left = keepRight ? renderedW - width : 0;
    out.right = out.left + width;  // exclusive
    out.top = keepBottom ? renderedH - height : 0;
    out.bottom = out.top + height;
    return out;
}

}  // namespace perspective

// ---- Message map and command states ----------------------------------------------------

const win::MessageMap* CRectMapView::ToolMessageMap() const
{
    static const win::MessageMap map(
        CScrollView::GetMessageMap(),
        {
            win::on::Command(kSelectCropCommand, &CRectMapView::OnSelectCropRegion),
            win::on::Command(kCropToolCommand, &CRectMapView::OnCropTool),
            win::on::UpdateUI(kCropToolCommand, &CRectMapView::OnUpdateCropTool),
            win::on::UpdateUI(kCropCommand, &CRectMapView::OnUpdateCrop),
            win::on::Command(kPerspectiveToolCommand, &CRectMapView::OnPerspectiveTool),
            win::on::Command(kPerspectiveViewCommand, &CRectMapView::OnCreatePerspectiveView),
            win::on::Command(kRollCommand, &CRectMapView::OnHorizontalRolling),
            win::on::UpdateUI(32794, &CRectMapView::OnUpdateFinalOnly),
            win::on::UpdateUI(32860, &CRectMapView::OnUpdateFinalOnly),
            win::on::UpdateUI(32861, &CRectMapView::OnUpdateFinalOnly),
            win::on::UpdateUI(32889, &CRectMapView::OnUpdateFinalOnly),
            win::on::UpdateUI(33138, &CRectMapView::OnUpdateFinalOnly),
            win::on::UpdateUI(32877, &CRectMapView::OnUpdateFinalOnly),
            win::on::UpdateUI(32873, &CRectMapView::OnUpdateFinalOnly),
            win::on::UpdateUI(33135, &CRectMapView::OnUpdateFinalOnly),
            win::on::UpdateUI(32800, &CRectMapView::OnUpdateFinalOnly),
            win::on::UpdateUI(33113, &CRectMapView::OnUpdateFinalOnly),
            win::on::UpdateUI(33111, &CRectMapView::OnUpdateFinalOnly),
            win::on::CommandRange(32801, 32806, &CRectMapView::OnZoomTable),
            win::on::CommandRange(32813, 32815, &CRectMapView::OnZoomWindowCommand),
            win::on::Command(32831, &CRectMapView::ZoomToFit),
            win::on::CommandRange(32791, 32792, &CRectMapView::OnZoomWindowCommand),
            win::on::Command(57607, &CRectMapView::TogglePrintLayout),
            win::on::Command(32811, &CRectMapView::TogglePrintLayout),
            win::on::CommandRange(32810, 32810, &CRectMapView::OnLayoutCommand),
            win::on::Command(32812, &CRectMapView::OnPrinterSetup),
            win::on::CommandRange(32890, 32895, &CRectMapView::OnLayoutCommand),
            win::on::Command(32816, &CRectMapView::OnPageImages),
            win::on::Command(57634, &CRectMapView::OnCopy),
            win::on::Command(32888, &CRectMapView::OnWebPrint),
            win::on::UpdateUI(32888, &CRectMapView::OnUpdateWebPrint),
        });
    return &map;
}

void CRectMapView::OnUpdateFinalOnly(CCmdUI* ui)
{
    if (ui) ui->Enable(IsFinal());
}

void CRectMapView::OnUpdateCropTool(CCmdUI* ui)
{
    if (!ui) return;
    ui->Enable(IsFinal());
    ui->SetCheck(GetCurrentTool() == kCropTool ? 1 : 0);
}

void CRectMapView::OnUpdateCrop(CCmdUI* ui)
{
    if (ui) ui->SetText((m_mode & cropped) ? "Undo Cropping" : "Crop");
}

void CRectMapView::OnSelectCropRegion()
{
    if (!IsFinal()) return;
    EndPerspectiveTool();
    m_mode &= static_cast<uint16_t>(~(rollTool | levelTool));
    SetCurrentTool(kGlobalGroup, kCropTool);
}

void CRectMapView::OnCropTool()
{
    if (GetCurrentTool() == kCropTool)
        ResetCurrentTool(kHandTool);
    else
        SetCurrentTool(kGlobalGroup, kCropTool);
}

void CRectMapView::OnPerspectiveTool()
{
    if (m_mode & perspectiveTool) {
        EndPerspectiveTool();
        return;
    }
    if (!(m_mode & cropped) && HasSelectionRect()) {
        if (m_hWnd) {
            CClientDC dc(this);
            RemoveSelectionRect(&dc);
        } else {
            RemoveSelectionRect(nullptr);
        }
    }
    ResetCurrentTool(kHandTool);
    m_mode |= perspectiveTool;
}

void CRectMapView::EndPerspectiveTool()
{
    if (m_mode & perspectiveRegion) {
        m_perspectiveRect = *GetWndSelRect();
        delete m_regionCentre;
        m_regionCentre = nullptr;
        m_mode &= static_cast<uint16_t>(~perspectiveRegion);
        if (m_hWnd) Invalidate(TRUE);
    }
    delete m_regionOutline;
    m_regionOutline = nullptr;
    m_mode &= static_cast<uint16_t>(~perspectiveTool);
}

void CRectMapView::OnHorizontalRolling()
{
    if (IsFullCircle())
        m_mode |= rollTool;
    else
        m_mode &= static_cast<uint16_t>(~rollTool);
}

// ---- Mouse -----------------------------------------------------------------------------

void CRectMapView::OnLButtonDown(UINT flags, CPoint point)
{
    CPoint client = point;
    int x = 0, y = 0;
    ConvertToDVWpoint(client, x, y);
    if (m_printLayout) {
        LayoutMouse(WM_LBUTTONDOWN, flags, x, y);
        return;
    }
    if (m_mosaicLayout) {  // the mosaic layout handles its own mouse
        MosaicMouse(WM_LBUTTONDOWN, point, x, y);
        return;
    }
    if ((m_mode & (rollTool | levelTool)) && !IsFinal()) {
        if (m_hWnd) SetCapture();
        if (m_mode & rollTool)
            RollButtonDown();
        else
            LevelButtonDown(x, y);
        MouseDown(x, y);
        return;
    }
    if (m_mode & perspectiveTool) {
        PerspectiveButtonDown(x, y);
        return;
    }
    switch (GetCurrentTool()) {
    case kCropTool:
        CropButtonDown(flags, x, y);
        break;
    case kMoveObjectTool:
        InitMoveObj(x, y);
        break;
    case kHandTool:
        PanButtonDown(point);
        break;
    default:
        break;
    }
}

void CRectMapView::CropButtonDown(UINT flags, int x, int y)
{
    if (!IsFinal()) {
        ResetCurrentTool(kHandTool);
        return;
    }
    EndPerspectiveTool();
    m_mode &= static_cast<uint16_t>(~(rollTool | levelTool));
    if (m_mode & cropped) OnCrop();
    if (flags & (MK_SHIFT | MK_CONTROL)) m_stateBits |= kFreeSelection;
    const bool forceFull = IsFullCircle() && !(m_stateBits & kFreeSelection);
    if (forceFull && !HasSelectionRect()) x = 0;
    const int handle = InitWndRect(x, y);
    if (handle == 2 || handle == 8)
        m_toolCursor = kCropCursorVertical;
    else if (handle == 4 || handle == 6)
        m_toolCursor = kCropCursorHorizontal;
    else if (handle == 5)
        m_toolCursor = kCropCursorMove;
    // A full-circle selection keeps the full width: the corner and side
    // handles do not reshape it.
    if (forceFull && (handle == 1 || handle == 3 || handle == 4 || handle == 6 || handle == 7 || handle == 9)) {
        if (m_hWnd) {
            CClientDC dc(this);
            EndDragWndRect(x, y, &dc);
        } else {
            EndDragWndRect(x, y, nullptr);
        }
    }
    if (m_hWnd) SetCapture();
}

void CRectMapView::PanButtonDown(CPoint client)
{
    int ox = 0, oy = 0, vw = 0, vh = 0;
    GetOffset(ox, oy);
    GetViewSize(vw, vh);
    RECT rc{};
    if (m_hWnd) GetClientRect(&rc);
    const bool canPan = (ox < 1 && rc.right < vw) || (oy < 1 && rc.bottom < vh);
    if (!canPan) {
        m_toolCursor = 0;
        return;
    }
    m_panning = true;
    m_panStart = client;
    m_panScrollStart = GetScrollPosition();
    m_toolCursor = kPanningCursor;
    if (m_hWnd) SetCapture();
}

void CRectMapView::OnMouseMove(UINT flags, CPoint point)
{
    CPoint client = point;
    int x = 0, y = 0;
    ConvertToDVWpoint(client, x, y);
    const bool button = (flags & MK_LBUTTON) != 0;
    if (m_printLayout) {
        LayoutMouse(WM_MOUSEMOVE, flags, x, y);
        return;
    }
    if (m_mosaicLayout) {
        MosaicMouse(WM_MOUSEMOVE, point, x, y);
        return;
    }
    if ((m_mode & (rollTool | levelTool)) && !IsFinal()) {
        if (m_mode & rollTool) {
            if (m_rolling && button) {
                int mx = x, my = y;
                MouseMove(mx, my);  // gives back the motion since the last point
                RollMove(-mx);
            }
            m_toolCursor = kRollOffCursor;
        } else {
            LevelMove(x, y);
        }
        return;
    }
    if (m_mode & perspectiveTool) {
        PerspectiveMove(x, y);
        return;
    }
    const int tool = GetCurrentTool();
    if (tool == kCropTool && IsInDragWndRectState()) {
        if (IsFullCircle() && !(m_stateBits & kFreeSelection) && !(GetStateFlags() & kHandleDrag)) {
            int vw = 0, vh = 0;
            GetViewSize(vw, vh);
            x = vw - 1;
        }
        if (m_hWnd) {
            CClientDC dc(this);
            DragWndRect(x, y, &dc);
        } else {
            DragWndRect(x, y, nullptr);
        }
        if (CImageSizeDlg* dialog = GetZoomDialog()) {
            RECT dragged{};
            GetDragRect(dragged);
            dialog->ShowSize(dragged.right - dragged.left + 1, dragged.bottom - dragged.top + 1);
        }
        return;
    }
    if (tool == kMoveObjectTool) {
        int dx = 0, dy = 0;
        if (IsInMovingObjState(x, y, dx, dy)) {
            BmpLayer* layer = GetBmpLayer();
            if (layer->GetCurrent() && layer->GetCurrent() != layer->GetBmpCell(0)) layer->MoveBmp(dx, dy);
        }
        return;
    }
    if (tool == kHandTool) {
        if (m_panning && button) {
            int vw = 0, vh = 0;
            GetViewSize(vw, vh);
            RECT rc{};
            if (m_hWnd) GetClientRect(&rc);
            // The picture's right and bottom edges never come inside the window.
            const int sx = std::clamp<int>(m_panScrollStart.x - (point.x - m_panStart.x), 0, std::max(0, vw - rc.right));
            const int sy = std::clamp<int>(m_panScrollStart.y - (point.y - m_panStart.y), 0, std::max(0, vh - rc.bottom));
            ScrollToPosition(POINT{sx, sy});
            m_toolCursor = kPanningCursor;
            return;
        }
        int ox = 0, oy = 0, vw = 0, vh = 0;
        GetOffset(ox, oy);
        GetViewSize(vw, vh);
        RECT rc{};
        if (m_hWnd) GetClientRect(&rc);
        const bool canPan = (ox < 1 && rc.right < vw) || (oy < 1 && rc.bottom < vh);
        m_toolCursor = canPan ? kPanCursor : 0;
    }
}

void CRectMapView::OnLButtonUp(UINT flags, CPoint point)
{
    CPoint client = point;
    int x = 0, y = 0;
    ConvertToDVWpoint(client, x, y);
    if (m_printLayout) {
        LayoutMouse(WM_LBUTTONUP, flags, x, y);
        return;
    }
    if (m_mosaicLayout) {
        MosaicMouse(WM_LBUTTONUP, point, x, y);
        return;
    }
    if (m_hWnd && GetCapture() == this) ReleaseCapture();
    if ((m_mode & (rollTool | levelTool)) && !IsFinal()) {
        MouseUp(x, y);
        if (m_mode & rollTool) {
            if (m_rolling) {
                FinishLevelStep();
                m_rolling = false;
            }
        } else {
            LevelButtonUp();
        }
        return;
    }
    if (m_mode & perspectiveTool) {
        PerspectiveButtonUp(x, y);
        return;
    }
    const int tool = GetCurrentTool();
    if (tool == kCropTool && IsInDragWndRectState()) {
        if (m_hWnd) {
            CClientDC dc(this);
            EndDragWndRect(x, y, &dc);
        } else {
            EndDragWndRect(x, y, nullptr);
        }
        if (IsFullCircle() && !(m_stateBits & kFreeSelection) && HasSelectionRect()) {
            RECT* selection = GetSelectionRect();
            if (Image* screen = GetScreen()) selection->right = screen->GetWidth() - 1;
        }
        if (CImageSizeDlg* dialog = GetZoomDialog()) {
            const RECT& selection = *GetSelectionRect();
            dialog->SetImageSize(selection.right - selection.left + 1, selection.bottom - selection.top + 1);
        }
        return;
    }
    if (tool == kMoveObjectTool) {
        int dx = 0, dy = 0;
        if (EndMoveObj(dx, dy)) {
            ComposeScreenBmp();
            if (m_hWnd) Invalidate(FALSE);
        }
        return;
    }
    if (tool == kHandTool && m_panning) {
        m_panning = false;
        m_toolCursor = kPanCursor;
        DVWupdateScroll(GetScrollPosition());
    }
}

void CRectMapView::OnLButtonDblClk(UINT, CPoint point)
{
    CPoint client = point;
    int x = 0, y = 0;
    ConvertToDVWpoint(client, x, y);
    if (m_printLayout || m_mosaicLayout) return;
    if (m_mode & perspectiveTool) {
        EndPerspectiveTool();
        return;
    }
    const int tool = GetCurrentTool();
    if (tool == kCropTool) {
        if (m_hWnd) {
            CClientDC dc(this);
            RemoveSelectionRect(&dc);
        } else {
            RemoveSelectionRect(nullptr);
        }
        m_stateBits &= static_cast<uint8_t>(~kFreeSelection);
        return;
    }
    if (tool != kMoveObjectTool && tool != kDeleteObjectTool) return;
    // Cell 0 is the panorama itself, never an object to move or delete.
    BmpLayer* layer = GetBmpLayer();
    BmpCell* hit = nullptr;
    for (int i = layer->GetCount() - 1; i >= 1 && !hit; --i) {
        BmpCell* cell = layer->GetBmpCell(i);
        RECT r{};
        if (!cell) continue;
        layer->SetCurrent(cell);
        if (layer->GetActiveBmpRect(r) && x >= r.left && x <= r.right && y >= r.top && y <= r.bottom) hit = cell;
    }
    layer->SetCurrent(hit);
    if (!hit) return;
    if (m_hWnd) Invalidate(FALSE);
    if (tool == kDeleteObjectTool &&
        AfxMessageBox("Do you really want to delete this object?", MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
        layer->DeleteBmpObject(hit);
        ComposeScreenBmp();
        if (m_hWnd) Invalidate(TRUE);
    }
}

void CRectMapView::OnRButtonDown(UINT, CPoint point)
{
    ResetCurrentTool(kHandTool);
    if (m_parentView) m_parentView->SetTool(CWorldMapView::kPan);
    m_mode &= static_cast<uint16_t>(~(rollTool | levelTool));
    if (!IsFinal()) return;
    CMenu menu;
    if (!menu.LoadMenu(m_printLayout ? kLayoutContextMenu : kContextMenu)) {
        Logger::log("ERROR CRectMapView::OnRButtonDown no context menu %u", 1,
                    m_printLayout ? kLayoutContextMenu : kContextMenu);
        return;
    }
    CMenu* popup = menu.GetSubMenu(0);
    if (!popup) return;
    if (m_mode & perspectiveRegion)
        popup->ModifyMenu(kPerspectiveToolCommand, MF_BYCOMMAND | MF_STRING, kPerspectiveToolCommand,
                          "Remove perspective region");
    CPoint screen = point;
    if (m_hWnd) ClientToScreen(&screen);
    popup->TrackPopupMenu(TPM_CENTERALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, this);
}

// ---- Perspective region ----------------------------------------------------------------

void CRectMapView::PerspectiveButtonDown(int x, int y)
{
    if (!m_regionOutline) m_regionOutline = new RubberRect();
    float zx = 1.0f, zy = 1.0f;
    GetCurrentZoom(zx, zy);
    if (m_regionCentre) {
        const double dx = x - m_regionCentre->x * zx, dy = y - m_regionCentre->y * zy;
        if (dx * dx + dy * dy <= perspective::kMarkRadius * perspective::kMarkRadius) {
            m_regionCentre->dragging = 1;
            m_regionCentre->markX = -1;
            return;
        }
    }
    int ox = 0, oy = 0;
    GetOffset(ox, oy);
    // Without a region the perspective rectangle is only the selection: a
    // press starts a new outline.
    const bool hasRegion = (m_mode & perspectiveRegion) != 0;
    m_regionOutline->Init(*GetWndSelRect(), ox, oy, hasRegion ? m_perspectiveRect : RECT{0, 0, -1, -1}, hasRegion);
    m_regionOutline->Begin(x, y, m_regionOutline->HitTest(x, y));
    const int W = m_worldMap ? m_worldMap->GetWidth() : 0;
    m_regionOutline->SetExtentLimit(static_cast<int>(W * zx / 3), static_cast<int>(W * zy / 3));
    if (m_hWnd) SetCapture();
}

void CRectMapView::PerspectiveMove(int x, int y)
{
    float zx = 1.0f, zy = 1.0f;
    GetCurrentZoom(zx, zy);
    if (m_regionCentre && m_regionCentre->dragging) {
        const RECT& r = m_perspectiveRect;
        m_regionCentre->x = static_cast<int32_t>(std::clamp<int>(x, r.left, std::max(r.left, r.right)) / zx);
        m_regionCentre->y = static_cast<int32_t>(std::clamp<int>(y, r.top, std::max(r.top, r.bottom)) / zy);
        if (m_hWnd) Invalidate(FALSE);
        return;
    }
    if (m_regionOutline && m_regionOutline->IsDrawing()) {
        m_regionOutline->Drag(x, y);
        if (m_hWnd) Invalidate(FALSE);
    }
}

void CRectMapView::PerspectiveButtonUp(int x, int y)
{
    if (m_hWnd && GetCapture() == this) ReleaseCapture();
    float zx = 1.0f, zy = 1.0f;
    GetCurrentZoom(zx, zy);
    if (m_regionCentre && m_regionCentre->dragging) {
        PerspectiveMove(x, y);
        m_regionCentre->dragging = 0;
        if (m_hWnd) Invalidate(FALSE);
        return;
    }
    if (!m_regionOutline) return;
    if (m_regionOutline->IsDrawing()) {
        m_regionOutline->Drag(x, y);
        const RECT r = m_regionOutline->Current();
        if (r.right - r.left + 1 < 5 || r.bottom - r.top + 1 < 5) {
            m_perspectiveRect = *GetWndSelRect();
            delete m_regionCentre;
            m_regionCentre = nullptr;
            m_mode &= static_cast<uint16_t>(~perspectiveRegion);
        } else {
            m_perspectiveRect = r;
            // The centre in screen-bitmap pixels, inside the region.
            const int left = static_cast<int>(std::ceil(r.left / zx)), right = static_cast<int>(r.right / zx);
            const int top = static_cast<int>(std::ceil(r.top / zy)), bottom = static_cast<int>(r.bottom / zy);
            if (!m_regionCentre) {
                m_regionCentre = new RegionCentre();
                m_regionCentre->x = (left + right) / 2;
                m_regionCentre->y = (top + bottom) / 2;
            } else {
                m_regionCentre->x = std::clamp<int32_t>(m_regionCentre->x, left, std::max(left, right));
                m_regionCentre->y = std::clamp<int32_t>(m_regionCentre->y, top, std::max(top, bottom));
            }
            m_regionCentre->markX = -1;
            m_mode |= perspectiveRegion;
        }
    }
    delete m_regionOutline;
    m_regionOutline = nullptr;
    if (m_hWnd) Invalidate(TRUE);
}

void CRectMapView::DrawPerspectiveRegion(CDC* dc)
{
    if (!dc) return;
    if (m_regionOutline && m_regionOutline->IsDrawing()) m_regionOutline->Draw(dc);
    if (!(m_mode & perspectiveRegion)) return;
    int ox = 0, oy = 0;
    GetOffset(ox, oy);
    float zx = 1.0f, zy = 1.0f;
    GetCurrentZoom(zx, zy);
    const RECT& r = m_perspectiveRect;
    const int oldRop = dc->SetROP2(R2_NOT);
    CGdiObject* oldBrush = dc->SelectStockObject(NULL_BRUSH);
    dc->Rectangle(r.left + ox, r.top + oy, r.right + ox + 1, r.bottom + oy + 1);
    if (m_regionCentre) {
        CPen dashed(PS_DASH, 1, RGB(255, 0, 0));
        CPen* oldPen = dc->SelectObject(&dashed);
        const int cx = static_cast<int>(m_regionCentre->x * zx + 0.5f) + ox;
        const int cy = static_cast<int>(m_regionCentre->y * zy + 0.5f) + oy;
        const int R = perspective::kMarkRadius;
        // Two half circles: the upper one and the lower one.
        dc->Arc(cx - R, cy - R, cx + R, cy + R, cx + R, cy, cx - R, cy);
        dc->Arc(cx - R, cy - R, cx + R, cy + R, cx - R, cy, cx + R, cy);
        m_regionCentre->markX = cx - ox;
        m_regionCentre->markY = cy - oy;
        // The view direction, the region's middle, when it lies apart.
        const int mx = (r.left + r.right) / 2 + ox, my = (r.top + r.bottom) / 2 + oy;
        if ((mx - cx) * (mx - cx) + (my - cy) * (my - cy) > 100) {
            dc->MoveTo(cx, cy);
            dc->LineTo(mx, my);
        }
        // What a view symmetric about the centre adds to the region.
        const RECT m = perspective::MirrorAboutCentre(r, cx - ox, cy - oy);
        if (m.left != r.left || m.right != r.right || m.top != r.top || m.bottom != r.bottom)
            dc->Rectangle(m.left + ox, m.top + oy, m.right + ox + 1, m.bottom + oy + 1);
        dc->SelectObject(oldPen);
    }
    if (oldBrush) dc->SelectObject(static_cast<CBrush*>(oldBrush));
    dc->SetROP2(oldRop);
}

// ---- Context menus ---------------------------------------------------------------------

void RegisterPanoramaToolResources()
{
    win::ResourceModule& app = win::Resources::App();
    using Item = win::MenuItemTemplate;
    win::MenuTemplate view;
    view.items = {Item(0, "Panorama", MF_POPUP,
                       {Item(32794, "Select cropping region"), Item(32795, "Crop"),
                        Item(32860, "Select perspective region"), Item(32861, "Create perspective view"),
                        Item(32793, "Roll panorama"), Item(), Item(57634, "&Copy\tCtrl+C"),
                        Item(57607, "&Print...\tCtrl+P")})};
    app.AddMenu(CRectMapView::kContextMenu, view);
    win::MenuTemplate layout;
    layout.items = {Item(0, "Print", MF_POPUP,
                         {Item(32810, "Send selected images to printer"), Item(32811, "cancel print"),
                          Item(32812, "Printer setup"), Item(), Item(32890, "Fit One Page"),
                          Item(32891, "Fit 1x2 Pages"), Item(32894, "Fit 1x3 Pages"), Item(32892, "Fit 2x1 Pages"),
                          Item(32893, "Fit 2x2 Pages"), Item(32895, "Fit 2x3 Pages"), Item(),
                          Item(32816, "Page images")})};
    app.AddMenu(CRectMapView::kLayoutContextMenu, layout);
    for (UINT cursor : {kCropCursorVertical, CRectMapView::kPanningCursor, CRectMapView::kNoRotateCursor, 173u})
        app.AddCursor(cursor);
}
