// The control's input: hit zones, the pan and zoom drags, the popup menu and
// its commands, the spin timer and the decoding worker's progress messages.
#include "viewer/lumivex/lumivex_ctrl.h"

#include "platform/win/gdi.h"
#include "platform/win/menu.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Cursor resources of the hit zones and the drag directions.
constexpr UINT kCursorPan = 130;
constexpr UINT kCursorRight = 131, kCursorLeft = 132, kCursorUp = 133, kCursorDown = 134;
constexpr UINT kCursorUpLeft = 135, kCursorUpRight = 136, kCursorDownLeft = 137, kCursorDownRight = 138;
constexpr UINT kCursorZoom = 139, kCursorZoomIn = 140, kCursorZoomOut = 141;

constexpr UINT kSpinKeys = MK_CONTROL | MK_SHIFT;

}  // namespace

int CLumivexCtrl::HitTest(POINT p) const
{
    if (p.x < destX || p.y < destY || p.x >= destX + destW || p.y >= destY + destH) return kHitOutside;
    const int boxW = std::min(destW / 4, 100), boxH = std::min(destH / 4, 100);
    const int left = destX + (destW - boxW) / 2, top = destY + (destH - boxH) / 2;
    if (p.x >= left && p.x < left + boxW && p.y >= top && p.y < top + boxH) return kHitZoom;
    return kHitPan;
}

void CLumivexCtrl::SetCursorById(UINT id)
{
    cursor = id ? LoadResourceCursor(id) : LoadStandardCursor(IDC_ARROW);
    ::SetCursor(cursor);
}

BOOL CLumivexCtrl::OnSetCursor(CWnd*, UINT, UINT)
{
    if (!cursor) cursor = LoadStandardCursor(IDC_ARROW);
    ::SetCursor(cursor);
    return TRUE;
}

void CLumivexCtrl::StartTimer()
{
    if (m_hWnd) SetTimer(kTimerId, kTimerMs, nullptr);
    timerInterval = kTimerMs;
    timerRunning = true;
}

void CLumivexCtrl::StopTimer()
{
    if (m_hWnd) KillTimer(kTimerId);
    timerInterval = kTimerStopped;
    timerRunning = false;
}

void CLumivexCtrl::OnLButtonDown(UINT, CPoint point)
{
    if (!loaded) return;
    if (timerRunning) StopTimer();
    panning = timerRunning = spinLatched = zooming = false;
    const int hit = HitTest(point);
    if (hit == kHitZoom) {
        startX = currentX = point.x;
        startY = currentY = point.y;
        zoomAtDragStart = zoom;
        panning = false;
        zooming = true;
    } else if (hit == kHitPan) {
        startX = currentX = point.x;
        startY = currentY = point.y;
        panning = true;
        SetCursorById(kCursorPan);
    } else {
        return;
    }
    SetCapture();
}

void CLumivexCtrl::OnMouseMove(UINT keys, CPoint point)
{
    if (panning) PanMove(keys, point);
    else if (zooming) ZoomMove(point);
    else {
        const int hit = HitTest(point);
        SetCursorById(hit == kHitZoom ? kCursorZoom : hit == kHitPan ? kCursorPan : 0);
    }
}

void CLumivexCtrl::PanMove(UINT keys, CPoint point)
{
    const int dx = point.x - startX, dy = point.y - startY;
    currentX = point.x;
    currentY = point.y;
    const int ax = std::abs(dx), ay = std::abs(dy);
    if (ax < 5 && ay < 5) return;
    // One of eight directions: an axis when one offset is zero or more than
    // twice the other, else the diagonal.
    int sx = dx > 0 ? 1 : dx < 0 ? -1 : 0;
    int sy = dy > 0 ? 1 : dy < 0 ? -1 : 0;
    if (dy == 0 || ax > 2 * ay) sy = 0;
    else if (dx == 0 || ay > 2 * ax) sx = 0;
    if (sy == 0) {
        currentY = startY;
    } else if (sx == 0) {
        currentX = startX;
    } else {
        const int d = (ax + ay) / 2;
        currentX = startX + sx * d;
        currentY = startY + sy * d;
    }
    UINT id;
    if (sy == 0) id = sx > 0 ? kCursorRight : kCursorLeft;
    else if (sx == 0) id = sy < 0 ? kCursorUp : kCursorDown;
    else if (sy < 0) id = sx < 0 ? kCursorUpLeft : kCursorUpRight;
    else id = sx < 0 ? kCursorDownLeft : kCursorDownRight;
    SetCursorById(id);
    if (keys & kSpinKeys) spinLatched = true;
    if (!timerRunning) StartTimer();
}

void CLumivexCtrl::ZoomMove(CPoint point)
{
    const int dx = point.x - startX;
    currentX = point.x;
    float z;
    if (dx >= 0) {
        SetCursorById(kCursorZoomIn);
        z = std::min((dx / 200.0f + 1) * zoomAtDragStart, 3.0f);
    } else {
        SetCursorById(kCursorZoomOut);
        z = std::max(zoomAtDragStart / (1 - dx / 200.0f), 0.1f);
    }
    SetZoom(z);
}

void CLumivexCtrl::OnLButtonUp(UINT keys, CPoint)
{
    SetCursorById(0);
    ReleaseCapture();
    if (timerRunning && ((keys & kSpinKeys) || spinLatched)) {
        panning = false;  // the spin goes on
        return;
    }
    if (timerRunning) StopTimer();
    if (panning && viewMode == kPerspectiveView) {
        Render(false);
        if (reduced && static_cast<int64_t>(srcW) * srcH > kReducedAbove) SetReduced(false);
        Render(true);
        reduced = false;
        Repaint();
    }
    panning = timerRunning = spinLatched = zooming = false;
}

void CLumivexCtrl::OnRButtonDown(UINT flags, CPoint point)
{
    if (loaded) {
        CMenu menu;
        if (menu.LoadMenu(kPopupMenu)) {
            CMenu* popup = menu.GetSubMenu(0);
            if (popup) {
                popup->CheckMenuItem(viewMode == kPerspectiveView ? kCmdPerspective : kCmdWorldMap,
                                     MF_BYCOMMAND | MF_CHECKED);
                POINT screen{point.x, point.y};
                ClientToScreen(&screen);
                popup->TrackPopupMenu(TPM_CENTERALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, this);
            }
        }
    }
    COleControl::OnRButtonDown(flags, point);
}

// ---- Commands --------------------------------------------------------------------------------

void CLumivexCtrl::OnPerspectiveView()
{
    if (plainImage) return;
    SetViewMode(kPerspectiveView, false);
    Repaint();
}

void CLumivexCtrl::OnWorldMapView()
{
    SetViewMode(kWorldMapView, false);
    Repaint();
}

void CLumivexCtrl::OnZoomIn()
{
    SetZoom(std::min(zoom * kZoomStep, 3.0f));
}

void CLumivexCtrl::OnZoomOut()
{
    SetZoom(std::max(zoom / kZoomStep, 0.1f));
}

void CLumivexCtrl::OnZoomDefault()
{
    SetZoom(1.0f);
}

// ---- Spin ------------------------------------------------------------------------------------

// The view image at half the view size (same buffer, rows recomputed) or
// back at the full view size, handed to the faces again.
void CLumivexCtrl::SetReduced(bool half)
{
    if (!viewImage || !faceList) return;
    const int w = half ? std::max(1, srcW / 2) : srcW;
    const int h = half ? std::max(1, srcH / 2) : srcH;
    if (viewImage->GetWidth() == w && viewImage->GetHeight() == h) return;
    viewImage->SetSize(w, h);
    viewImage->ComputeRowBytes();
    faceList->SetViewImage(viewImage);
}

void CLumivexCtrl::OnTimer(UINT_PTR id)
{
    if (id != kTimerId) {
        COleControl::OnTimer(id);
        return;
    }
    if (drawing) return;
    drawing = true;
    const bool changed = viewMode == kPerspectiveView ? TickPerspective() : TickWorldMap();
    if (changed) Repaint(false);
    if (frameDue) {
        // No paint showed the frame (a hidden window): the view still holds it.
        frameDue = false;
        Render(false);
    }
    drawing = false;
}

bool CLumivexCtrl::TickPerspective()
{
    if (!viewParams || !faceList || !viewImage) return false;
    if (!reduced && static_cast<int64_t>(srcW) * srcH > kReducedAbove) SetReduced(true);
    const float step[2] = {(currentX - startX) * kStepPerPixel, (currentY - startY) * kStepPerPixel};
    const float* a = viewParams->GetAngles();
    const float yaw = a[0], pitch = a[1], roll = viewParams->GetRoll();
    viewParams->Move(step);
    if (!panning && a[0] == yaw && a[1] == pitch && viewParams->GetRoll() == roll) {
        // The view stands at a limit: the spin turns back.
        std::swap(startX, currentX);
        std::swap(startY, currentY);
    }
    // Rendered by the paint that follows.
    frameDue = true;
    reduced = true;
    return true;
}

bool CLumivexCtrl::TickWorldMap()
{
    if (!viewImage) return false;
    const int S = viewImage->GetWidth(), H = viewImage->GetHeight();
    const int stepX = static_cast<int>((currentX - startX) / (zoom * 4));
    const int stepY = static_cast<int>((currentY - startY) / (zoom * 4));
    bool changed = false;
    if (destY == 0 && stepY != 0) {
        int y = srcY;
        if (stepY < 0) y = std::min(srcY - stepY, H - static_cast<int>(windowH / zoom));
        else y = std::max(srcY - stepY, 1);
        // Only moves toward its limit; a source already past one stays.
        if ((stepY < 0 && y > srcY) || (stepY > 0 && y < srcY)) {
            srcY = y;
            changed = true;
        }
    }
    if (wrap) {
        if (stepX != 0) {
            RollColumns(-stepX);
            changed = true;
        }
    } else if (destX == 0 && stepX != 0) {
        const int upper = S - static_cast<int>(windowW / zoom);
        const bool atLimit = stepX > 0 ? srcX >= upper : srcX <= 0;
        if (atLimit && !panning) {
            // The spin turns back from the edge.
            srcX = std::clamp(srcX - stepX, 0, std::max(upper, 0));
            std::swap(startX, currentX);
            changed = true;
        } else if (!atLimit) {
            const int x = stepX > 0 ? std::min(srcX + stepX, upper) : std::max(srcX + stepX, 0);
            changed = changed || x != srcX;
            srcX = x;
        }
    }
    return changed;
}

void CLumivexCtrl::RollColumns(int n)
{
    if (!viewImage) return;
    const PixelsScope pixels(*this);
    RollImageColumns(*viewImage, n, rollBuffer);
}

// ---- Decoding progress ---------------------------------------------------------------------------

LRESULT CLumivexCtrl::OnDecodeProgressMessage(WPARAM wParam, LPARAM lParam)
{
    return OnDecodeProgress(wParam, lParam);
}

LRESULT CLumivexCtrl::OnDecodeProgress(WPARAM, LPARAM lParam)
{
    if (!worldMap && !(plainImage && viewMode == kWorldMapView)) return 1;
    if (lParam >= 1 && lParam <= 10) {
        progress = std::min(100, progress + static_cast<int>(lParam));
        if (m_hWnd) {
            CClientDC dc(this);
            DrawProgressBar(&dc);
        }
        return 0;
    }
    if (lParam == 100) {
        progress = 0;
        Repaint();
        return 0;
    }
    if (lParam != 0) return 1;
    if (viewMode == kPerspectiveView) {
        faceList.reset();
        if (worldMap && viewImage) {
            InitFaces();
            Render(true);
        }
    } else {
        faceList.reset();
        if (worldMap) CopyDataArea();
    }
    Repaint();
    return 0;
}
