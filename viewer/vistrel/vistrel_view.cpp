#include "viewer/vistrel/vistrel_view.h"

#include "core/logger.h"
#include "platform/win/gdi.h"
#include "platform/win/system.h"
#include "platform/win/win_app.h"
#include "viewer/vistrel/vistrel_doc.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Cursor resources of the hit zones and the drag directions.
constexpr UINT kCursorPan = 130;
constexpr UINT kCursorRight = 131, kCursorLeft = 132, kCursorUp = 133, kCursorDown = 134;
constexpr UINT kCursorUpLeft = 135, kCursorUpRight = 136, kCursorDownLeft = 137, kCursorDownRight = 138;
constexpr UINT kCursorZoom = 139, kCursorZoomIn = 140, kCursorZoomOut = 141;

// Frames above this size are rendered at half size while the view moves.
constexpr int kHalfSizeWidth = 1024, kHalfSizeHeight = 512;

struct Axis {
    int destOffset, destSize, srcOffset, srcSize;
};

// One axis of the flat layout: a picture of `size` pixels at `zoom` in a
// window of `window` pixels. Wider than the window: the whole window shows
// the part around `centre` (image pixels), kept within the image; else the
// picture is centred with margins.
Axis LayoutAxis(int window, int size, double zoom, double centre)
{
    const double scaled = size * zoom;
    if (scaled > window) {
        const int visible = std::clamp(static_cast<int>(window / zoom), 1, size);
        const int offset = std::clamp(static_cast<int>(centre - visible / 2.0), 0, size - visible);
        return {0, window, offset, visible};
    }
    const int drawn = static_cast<int>(scaled);
    return {(window - drawn) / 2, drawn, 0, size};
}

}  // namespace

void RotateRows(Image& image, int step, std::vector<uint8_t>& scratch)
{
    const int width = image.GetWidth();
    if (width <= 0 || !image.GetData() || !image.IsInterleaved()) return;
    int shift = step % width;  // a step longer than the row wraps round
    if (shift < 0) shift += width;
    if (shift == 0) return;
    const size_t pixel = static_cast<size_t>(image.GetPixelBytes());
    const size_t rowBytes = static_cast<size_t>(width) * pixel;
    // Turn the shorter way: left by `shift` or right by width - shift.
    const bool left = shift <= width / 2;
    const size_t moved = (left ? static_cast<size_t>(shift) : static_cast<size_t>(width - shift)) * pixel;
    if (scratch.size() < moved) scratch.resize(moved);
    for (int y = 0; y < image.GetHeight(); ++y) {
        uint8_t* row = image.GetData() + static_cast<size_t>(y) * static_cast<size_t>(image.GetRowByte());
        if (left) {
            std::memcpy(scratch.data(), row, moved);
            std::memmove(row, row + moved, rowBytes - moved);
            std::memcpy(row + rowBytes - moved, scratch.data(), moved);
        } else {
            std::memcpy(scratch.data(), row + rowBytes - moved, moved);
            std::memmove(row + moved, row, rowBytes - moved);
            std::memcpy(row, scratch.data(), moved);
        }
    }
}

CVistrelView::CVistrelView()
{
    // A 40-byte header with one plane and no compression, then the grey
    // palette that one-channel pictures are drawn through.
    bitmapInfo.assign(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
    BITMAPINFOHEADER& h = Header()->bmiHeader;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biPlanes = 1;
    h.biCompression = BI_RGB;
    RGBQUAD* palette = Header()->bmiColors;
    for (int i = 0; i < 256; ++i) {
        const BYTE v = static_cast<BYTE>(i);
        palette[i] = RGBQUAD{v, v, v, 0};
    }
}

CVistrelView::~CVistrelView()
{
    ReleasePicture();
}

CVistrelDoc* CVistrelView::GetDocument() const
{
    return dynamic_cast<CVistrelDoc*>(m_pDocument);
}

const win::MessageMap* CVistrelView::GetMessageMap() const
{
    static const win::MessageMap map(CView::GetMessageMap(), {
        win::on::Command(32781, &CVistrelView::OnZoomIn),
        win::on::Command(32771, &CVistrelView::OnZoomOut),
        win::on::Command(32773, &CVistrelView::OnNoZoom),
        win::on::Command(32774, &CVistrelView::OnPanoramaMode),
        win::on::Command(32775, &CVistrelView::OnPerspectiveMode),
        win::on::Command(32785, &CVistrelView::OnRotate),
        win::on::Command(32769, &CVistrelView::OnCancelEditSrvr),
        win::on::UpdateUI(32774, &CVistrelView::OnUpdatePanoramaMode),
        win::on::UpdateUI(32775, &CVistrelView::OnUpdatePerspectiveMode),
        win::on::UpdateUI(32785, &CVistrelView::OnUpdateRotate),
    });
    return &map;
}

// ---- Update ------------------------------------------------------------------------------

void CVistrelView::ReleasePicture()
{
    // The faces were cut from the picture that goes: they go with it.
    faceList.reset();
    viewParams.reset();
    if (worldMap) worldMap->Release();
    worldMap = nullptr;
    if (stripImage) ReleaseImage(stripImage);
    stripImage = nullptr;
    if (viewImage) ReleaseImage(viewImage);
    viewImage = nullptr;
}

void CVistrelView::OnUpdate(CView*, LPARAM, CObject*)
{
    CVistrelDoc* doc = GetDocument();
    if (!doc || (!doc->worldMap && !doc->image)) {
        SizeFrameToClient(wantW, wantH);
        return;
    }
    const bool first = (flags & kShown) == 0;
    ReleasePicture();
    fov = kStartFov;
    flags &= ~(kFullCircle | kPlainImage | kHalfSize);
    srcX = srcY = 0;
    uint32_t mode = Mode();
    if (doc->worldMap) {
        worldMap = doc->worldMap;
        worldMap->AddReference();
        int x0, y0, x1, y1, w, h;
        worldMap->GetDataArea(x0, y0, x1, y1, w, h);
        const int W = worldMap->GetWidth();
        maxHFov = static_cast<float>(std::min(w * kTwoPi / W, static_cast<double>(kMaxFov)));
        maxVFov = static_cast<float>(std::min(h * kTwoPi / W, static_cast<double>(kMaxFov)));
        const RECT* r = worldMap->GetMapRect();
        const int64_t missing = std::max<int64_t>(0, int64_t{W} - (int64_t{r->right} - r->left + 1));
        if (r->left == 0 || missing * 1000 < int64_t{W} * 5) flags |= kFullCircle;
    } else if (doc->isFaceStrip) {
        stripImage = doc->image;
        RefAdd(stripImage);
        maxHFov = maxVFov = kMaxFov;
        mode = kPerspective;
    } else {
        viewImage = doc->image;
        RefAdd(viewImage);
        flags |= kPlainImage;
        mode = kPanorama;
    }
    flags = (flags & ~kModeMask) | mode;
    if (first) {
        WantFirstSize();
        ApplyStartOptions();
    }
    SetMode(Mode(), true);
    flags |= kShown;
    SizeFrameToClient(wantW, wantH);
    Invalidate();
}

void CVistrelView::WantFirstSize()
{
    if (stripImage) {
        const double width = 2 * PixelsPerRadian() * std::tan(fov / 2.0);
        wantW = static_cast<int>(width);
        wantH = static_cast<int>(width * 2 / 3);
    } else if (flags & kPlainImage) {
        wantW = viewImage->GetWidth();
        wantH = viewImage->GetHeight();
    } else {
        int x0, y0, x1, y1;
        worldMap->GetDataArea(x0, y0, x1, y1, wantW, wantH);
    }
    wantW = std::min(wantW, GetSystemMetrics(SM_CXFULLSCREEN) - 20);
    wantH = std::min(wantH, GetSystemMetrics(SM_CYFULLSCREEN) - GetSystemMetrics(SM_CYCAPTION) - 50);
    wantW = std::max(wantW, 1);
    wantH = std::max(wantH, 1);
}

void CVistrelView::ApplyStartOptions()
{
    const auto* options = dynamic_cast<const VistrelStartOptions*>(AfxGetApp());
    if (!options) return;
    const bool plain = (flags & kPlainImage) != 0;
    if (options->StartMode() == 1 && !plain) flags = (flags & ~kModeMask) | kPerspective;
    if (options->StartMode() == 2 && !stripImage) flags = (flags & ~kModeMask) | kPanorama;
    if (options->SpinSpeed() != 0 && !plain) {
        dragStartX = dragStartY = dragY = 0;
        dragX = options->SpinSpeed();
        StartTimer();
    }
}

double CVistrelView::PixelsPerRadian() const
{
    double samples = 100;
    if (worldMap) samples = worldMap->GetWidth();
    else if (stripImage) samples = 4.0 * stripImage->GetHeight();
    return samples * zoom / kTwoPi;
}

void CVistrelView::ComputeViewSize(int w, int h, int& viewW, int& viewH)
{
    const double R = PixelsPerRadian();
    double hfov = 2 * std::atan(w / (2 * R));
    viewW = w;
    if (hfov > maxHFov) {
        hfov = maxHFov;
        viewW = static_cast<int>(2 * R * std::tan(hfov / 2));
    }
    const double vfov = 2 * std::atan(h / (2 * R));
    viewH = h;
    if (vfov > maxVFov) viewH = static_cast<int>(2 * R * std::tan(maxVFov / 2.0));
    viewW = std::max(viewW, 1);
    viewH = std::max(viewH, 1);
    fov = static_cast<float>(hfov);
}

// ---- Modes and zoom ------------------------------------------------------------------------

void CVistrelView::SetMode(uint32_t mode, bool force)
{
    if (!force && mode == Mode()) return;
    flags = (flags & ~kModeMask) | mode;
    if (mode == kPanorama) {
        if (worldMap) FillPanoramaImage();
        if (!viewImage) return;
        LayoutPanorama(false, true);
        return;
    }
    if (!viewParams) viewParams = std::make_unique<CViewParams>();
    SetupPerspective(true);
}

// A bitmap-row image (DIB rows) of w x h; the plain image is never resized
// here because it is the document's.
bool CVistrelView::ResizeViewImage(int w, int h, int channels)
{
    if (viewImage && viewImage->GetChannels() != channels) {
        ReleaseImage(viewImage);
        viewImage = nullptr;
    }
    if (!viewImage) {
        viewImage = new Image();
        if (viewImage->BmpInit(w, h, channels) != 0) {
            ReleaseImage(viewImage);
            viewImage = nullptr;
            Logger::log("ERROR CVistrelView::ResizeViewImage cannot make %d x %d", 1, w, h);
            return false;
        }
        return true;
    }
    if (viewImage->GetWidth() == w && viewImage->GetHeight() == h) return true;
    // After half-size frames the header may describe less than the buffer;
    // Resize frees that buffer and makes a new one.
    viewImage->Resize(w, h);
    return viewImage->GetData() != nullptr;
}

void CVistrelView::FillPanoramaImage()
{
    int x0, y0, x1, y1, w, h;
    if (!worldMap->GetDataArea(x0, y0, x1, y1, w, h) || w <= 0 || h <= 0) return;
    if (!ResizeViewImage(w, h, worldMap->GetChannels())) return;
    viewImage->Clear();
    const int W = worldMap->GetWidth();
    if (x1 > W) {
        // The data area wraps past the right edge: its two pieces.
        worldMap->ComputePanoImage(x0, W - 1, y0, y1 - 1, viewImage, 0, 0);
        worldMap->ComputePanoImage(0, x1 - W - 1, y0, y1 - 1, viewImage, W - x0, 0);
    } else {
        worldMap->ComputePanoImage(x0, x1 - 1, y0, y1 - 1, viewImage, 0, 0);
    }
}

// Flat layout of the view image in a window of wantW x wantH. keepCentre:
// the visible part keeps its centre (zooming); else a larger picture shows
// its centre part. Without keepWindow a smaller picture shrinks the frame.
void CVistrelView::LayoutPanorama(bool keepCentre, bool keepWindow)
{
    const int w = viewImage->GetWidth(), h = viewImage->GetHeight();
    if (!keepWindow) {
        const int scaledW = static_cast<int>(w * zoom), scaledH = static_cast<int>(h * zoom);
        if (scaledW < wantW || scaledH < wantH) {
            wantW = std::max(1, std::min(wantW, scaledW));
            wantH = std::max(1, std::min(wantH, scaledH));
            SizeFrameToClient(wantW, wantH);
        }
    }
    const double cx = keepCentre && srcW > 0 ? srcX + srcW / 2.0 : w / 2.0;
    const double cy = keepCentre && srcH > 0 ? srcY + srcH / 2.0 : h / 2.0;
    const Axis ax = LayoutAxis(wantW, w, zoom, cx);
    const Axis ay = LayoutAxis(wantH, h, zoom, cy);
    destX = ax.destOffset, destW = ax.destSize, srcX = ax.srcOffset, srcW = ax.srcSize;
    destY = ay.destOffset, destH = ay.destSize, srcY = ay.srcOffset, srcH = ay.srcSize;
}

void CVistrelView::SetupPerspective(bool keepWindow)
{
    if (!worldMap && !stripImage) return;
    int vw = 0, vh = 0;
    ComputeViewSize(wantW, wantH, vw, vh);
    const int channels = worldMap ? worldMap->GetChannels() : stripImage->GetChannels();
    if (!ResizeViewImage(vw, vh, channels)) return;
    flags &= ~kHalfSize;
    srcX = srcY = 0;
    srcW = destW = vw;
    srcH = destH = vh;
    destX = (wantW - vw) / 2;
    destY = (wantH - vh) / 2;
    if (faceList) {
        faceList->SetViewImage(viewImage);
    } else {
        faceList = std::make_unique<CViewFaceList>();
        if (worldMap) {
            int x0, y0, x1, y1, w, h;
            worldMap->GetDataArea(x0, y0, x1, y1, w, h);
            viewParams->SetLimitsFromMap(x0, x1, y0, y1 - 1, worldMap->GetWidth());
            if (!faceList->Init(worldMap, zoom, viewImage))
                Logger::log("ERROR CVistrelView::SetMode the panorama gives no faces", 1);
        } else {
            faceList->SetViewImage(viewImage);
            if (!AddFaceStrip(*faceList, stripImage))
                Logger::log("ERROR CVistrelView::SetMode the strip gives no faces", 1);
        }
    }
    viewParams->SetFov(fov, static_cast<float>(vh) / static_cast<float>(vw));
    RenderFrame(true);
    if (!keepWindow && vw < wantW && vh < wantH) {
        wantW = vw;
        wantH = vh;
        destX = destY = 0;
        SizeFrameToClient(wantW, wantH);
    }
}

void CVistrelView::RenderFrame(bool bilinear)
{
    if (!faceList || !viewParams || !viewImage) return;
    faceList->Render(viewParams.get(), fov, viewParams->GetRoll(), bilinear, false, true);
}

void CVistrelView::SetZoom(float z, bool keepWindow)
{
    if (z == zoom) return;
    zoom = z;
    if (Mode() == kPanorama) {
        if (viewImage) LayoutPanorama(true, keepWindow);
    } else if (viewParams) {
        SetupPerspective(keepWindow);
    }
    Invalidate();
}

void CVistrelView::OnZoomIn()
{
    SetZoom(std::min(zoom * 1.2f, 3.0f), true);
}

void CVistrelView::OnZoomOut()
{
    const float z = zoom / 1.2f;
    SetZoom(z < 0.1f ? 0.1f : z, false);
}

void CVistrelView::OnNoZoom()
{
    SetZoom(1.0f, true);
}

void CVistrelView::OnPanoramaMode()
{
    if (stripImage) return;
    SetMode(kPanorama, false);
    Invalidate();
}

void CVistrelView::OnPerspectiveMode()
{
    if (flags & kPlainImage) return;
    SetMode(kPerspective, false);
    Invalidate();
}

void CVistrelView::OnRotate()
{
    if (!(flags & kPlainImage) || !viewImage) return;
    viewImage->Rotate(-90);
    srcX = srcY = 0;
    LayoutPanorama(false, true);
    Invalidate();
}

// Ends in-place activation; there is no container on this platform, so an
// in-place session never starts and there is nothing to end.
void CVistrelView::OnCancelEditSrvr() {}

void CVistrelView::OnUpdatePanoramaMode(CCmdUI* ui)
{
    ui->Enable(stripImage == nullptr);
    ui->SetCheck(Mode() == kPanorama ? 1 : 0);
}

void CVistrelView::OnUpdatePerspectiveMode(CCmdUI* ui)
{
    ui->Enable((flags & kPlainImage) == 0);
    ui->SetCheck(Mode() == kPerspective ? 1 : 0);
}

void CVistrelView::OnUpdateRotate(CCmdUI* ui)
{
    ui->Enable((flags & kPlainImage) != 0);
}

// ---- Frame size ----------------------------------------------------------------------------

// Sizes the frame so that this view's client area is w x h: the frame keeps
// its borders, caption, menu and bars around it.
void CVistrelView::SizeFrameToClient(int w, int h)
{
    CFrameWnd* frame = GetParentFrame();
    if (!frame || !m_hWnd) return;
    CRect frameRect, client;
    frame->GetWindowRect(&frameRect);
    GetClientRect(&client);
    const int width = frameRect.Width() + w - client.Width();
    const int height = frameRect.Height() + h - client.Height();
    flags |= kResizing;
    frame->SetWindowPos(nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    flags &= ~kResizing;
}

void CVistrelView::OnSize(UINT type, int cx, int cy)
{
    CView::OnSize(type, cx, cy);
    if (!(flags & kShown) || (flags & kResizing) || cx <= 0 || cy <= 0) return;
    wantW = cx;
    wantH = cy;
    if (Mode() == kPerspective) {
        SetupPerspective(true);
    } else if (viewImage) {
        LayoutPanorama(true, true);
    }
    Invalidate();
}

// ---- Mouse ---------------------------------------------------------------------------------

int CVistrelView::HitTest(POINT p) const
{
    if (p.x < destX || p.y < destY || p.x >= destX + destW || p.y >= destY + destH) return kHitOutside;
    const int boxW = std::min(destW / 4, 100), boxH = std::min(destH / 4, 100);
    const int cx = destX + destW / 2, cy = destY + destH / 2;
    if (std::abs(p.x - cx) <= boxW / 2 && std::abs(p.y - cy) <= boxH / 2) return kHitZoom;
    return kHitPan;
}

void CVistrelView::SetCursorById(UINT id)
{
    cursor = id ? LoadResourceCursor(id) : LoadStandardCursor(IDC_ARROW);
    ::SetCursor(cursor);
}

BOOL CVistrelView::OnSetCursor(CWnd*, UINT, UINT)
{
    if (!cursor) cursor = LoadStandardCursor(IDC_ARROW);
    ::SetCursor(cursor);
    return TRUE;
}

void CVistrelView::StartTimer()
{
    if (m_hWnd) SetTimer(kTimerId, kTimerMs, nullptr);
    flags |= kTimerOn;
    timerInterval = kTimerMs;
}

void CVistrelView::StopTimer()
{
    if (m_hWnd) KillTimer(kTimerId);
    flags &= ~kTimerOn;
    timerInterval = kTimerStopped;
}

void CVistrelView::OnLButtonDown(UINT, CPoint point)
{
    if (!(flags & kShown)) return;
    StopTimer();
    flags &= ~(kPanning | kTimerOn | kShiftOrCtrl);
    dragStartX = dragX = point.x;
    dragStartY = dragY = point.y;
    const int hit = HitTest(point);
    if (hit == kHitZoom) {
        flags |= kZooming;
        zoomAtDragStart = zoom;
    } else if (hit == kHitPan) {
        flags |= kPanning;
    }
    SetCapture();
}

void CVistrelView::OnMouseMove(UINT keys, CPoint point)
{
    if (flags & kZooming) {
        ZoomDrag(point.x);
    } else if (flags & kPanning) {
        PanDrag(keys, point.x, point.y);
    } else if (flags & kShown) {
        const int hit = HitTest(point);
        SetCursorById(hit == kHitZoom ? kCursorZoom : hit == kHitPan ? kCursorPan : 0);
    }
}

void CVistrelView::ZoomDrag(int x)
{
    const double d = x - dragStartX;
    double z;
    if (d >= 0) {
        SetCursorById(kCursorZoomIn);
        z = std::min((d / 200 + 1) * zoomAtDragStart, 3.0);
    } else {
        SetCursorById(kCursorZoomOut);
        z = std::max(zoomAtDragStart / (1 - d / 200), 0.1);
    }
    SetZoom(static_cast<float>(z), true);
}

void CVistrelView::PanDrag(UINT keys, int x, int y)
{
    int dx = x - dragStartX, dy = y - dragStartY;
    if (std::abs(dx) <= 4 && std::abs(dy) <= 4) return;
    // Snap to the nearest of eight directions.
    if (2 * std::abs(dy) < std::abs(dx)) {
        dy = 0;
    } else if (2 * std::abs(dx) < std::abs(dy)) {
        dx = 0;
    } else {
        const int m = (std::abs(dx) + std::abs(dy)) / 2;
        dx = dx < 0 ? -m : m;
        dy = dy < 0 ? -m : m;
    }
    dragX = dragStartX + dx;
    dragY = dragStartY + dy;
    UINT id;
    if (dy == 0) id = dx > 0 ? kCursorRight : kCursorLeft;
    else if (dx == 0) id = dy < 0 ? kCursorUp : kCursorDown;
    else if (dy < 0) id = dx < 0 ? kCursorUpLeft : kCursorUpRight;
    else id = dx < 0 ? kCursorDownLeft : kCursorDownRight;
    SetCursorById(id);
    if (keys & (MK_SHIFT | MK_CONTROL)) flags |= kShiftOrCtrl;
    if (!(flags & kTimerOn)) {
        StartTimer();
        if (viewImage && (viewImage->GetWidth() > kHalfSizeWidth || viewImage->GetHeight() > kHalfSizeHeight))
            flags |= kHalfSize;
    }
}

void CVistrelView::OnLButtonUp(UINT keys, CPoint point)
{
    SetCursorById(0);
    ReleaseCapture();
    const bool panned = (flags & kPanning) != 0;
    if (flags & kTimerOn) {
        const bool latched = (flags & kShiftOrCtrl) || (keys & (MK_SHIFT | MK_CONTROL));
        const bool moved = std::abs(point.x - dragStartX) > 5 || std::abs(point.y - dragStartY) > 5;
        if (!latched && !moved) StopTimer();
    }
    if (panned && Mode() == kPerspective) {
        RenderFrame((flags & kHalfSize) == 0);
        if (flags & kHalfSize) {
            SetHalfSize(false);
            RenderFrame(true);
        }
        Invalidate(FALSE);
    }
    flags &= ~(kHalfSize | kPanning | kZooming | kShiftOrCtrl);
}

// Halves the view image's size fields in place (same buffer, rows
// recomputed) or sets them back to the full size (srcW x srcH), and
// rebinds the faces.
void CVistrelView::SetHalfSize(bool half)
{
    if (!viewImage || !faceList) return;
    const int w = half ? std::max(1, srcW / 2) : srcW;
    const int h = half ? std::max(1, srcH / 2) : srcH;
    if (viewImage->GetWidth() == w && viewImage->GetHeight() == h) return;
    viewImage->SetSize(w, h);
    viewImage->ComputeRowBytes();
    faceList->SetViewImage(viewImage);
}

// ---- Animation -----------------------------------------------------------------------------

void CVistrelView::OnTimer(UINT_PTR id)
{
    if (id != kTimerId) {
        CView::OnTimer(id);
        return;
    }
    if ((flags & kDrawing) || !(flags & kShown) || !viewImage) return;
    bool moved = true;
    if (Mode() == kPerspective) TickPerspective();
    else moved = TickPanorama();
    if (moved) Invalidate(FALSE);
}

void CVistrelView::TickPerspective()
{
    if (!viewParams || !faceList) return;
    flags |= kDrawing;
    if ((flags & kHalfSize) && viewImage->GetWidth() == srcW) SetHalfSize(true);
    const float step[2] = {(dragX - dragStartX) * kStepPerPixel, (dragY - dragStartY) * kStepPerPixel};
    if ((flags & kFullCircle) || (flags & kPanning)) {
        viewParams->Move(step);
    } else {
        // Auto-spin over a partial panorama turns back at its ends.
        const float yawBefore = viewParams->GetAngles()[0];
        viewParams->Move(step);
        if (viewParams->GetAngles()[0] == yawBefore) std::swap(dragStartX, dragX);
    }
    RenderFrame((flags & kHalfSize) == 0);
    flags &= ~kDrawing;
}

bool CVistrelView::TickPanorama()
{
    const int w = viewImage->GetWidth(), h = viewImage->GetHeight();
    const int stepX = static_cast<int>((dragX - dragStartX) / (zoom * 4));
    const int stepY = static_cast<int>((dragY - dragStartY) / (zoom * 4));
    bool moved = false;
    if (destY == 0 && srcH < h) {
        const int y = std::clamp(srcY + stepY, 0, h - srcH);
        moved = y != srcY;
        srcY = y;
    }
    if (flags & kFullCircle) {
        if (stepX % w != 0) {
            RotateRows(*viewImage, stepX, rotateBuffer);
            moved = true;
        }
    } else if (destX == 0 && srcW < w) {
        const int wanted = srcX + stepX;
        const int x = std::clamp(wanted, 0, w - srcW);
        moved = moved || x != srcX;
        srcX = x;
        if (wanted != x) std::swap(dragStartX, dragX);
    }
    return moved;
}

// ---- Drawing -------------------------------------------------------------------------------

void CVistrelView::OnDraw(CDC* dc)
{
    if (!viewImage || !viewImage->GetData() || !(flags & kShown)) return;
    BITMAPINFOHEADER& h = Header()->bmiHeader;
    h.biWidth = viewImage->GetWidth();
    h.biHeight = -viewImage->GetHeight();  // rows top-down
    h.biBitCount = viewImage->GetChannels() == 1 ? 8 : 24;
    flags |= kDrawing;
    const HDC hdc = dc->GetSafeHdc();
    if (Mode() == kPanorama) {
        dc->SetStretchBltMode(destW < srcW || destH < srcH ? HALFTONE : COLORONCOLOR);
        StretchDIBits(hdc, destX, destY, destW, destH, srcX, srcY, srcW, srcH, viewImage->GetData(), Header(),
                      DIB_RGB_COLORS, SRCCOPY);
    } else {
        // A half-size frame is stretched onto the full picture.
        dc->SetStretchBltMode(COLORONCOLOR);
        StretchDIBits(hdc, destX, destY, srcW, srcH, 0, 0, viewImage->GetWidth(), viewImage->GetHeight(),
                      viewImage->GetData(), Header(), DIB_RGB_COLORS, SRCCOPY);
    }
    flags &= ~kDrawing;
}

BOOL CVistrelView::OnEraseBkgnd(CDC* dc)
{
    CRect client;
    GetClientRect(&client);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    if (!(flags & kShown) || !viewImage) {
        dc->FillSolidRect(0, 0, client.Width(), client.Height(), face);
        return TRUE;
    }
    const int w = Mode() == kPanorama ? destW : srcW;
    const int h = Mode() == kPanorama ? destH : srcH;
    // Only the margins: the picture covers the rest.
    dc->FillSolidRect(0, 0, client.Width(), destY, face);
    dc->FillSolidRect(0, destY + h, client.Width(), client.Height() - destY - h, face);
    dc->FillSolidRect(0, destY, destX, h, face);
    dc->FillSolidRect(destX + w, destY, client.Width() - destX - w, h, face);
    return TRUE;
}

void CVistrelView::OnDestroy()
{
    StopTimer();
    CView::OnDestroy();
}
