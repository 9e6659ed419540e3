#include "viewer/lumivex/lumivex_ctrl.h"

#include "core/logger.h"
#include "platform/win/gdi.h"
#include "platform/win/menu.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"
#include "viewer/lumivex/lumivex_dialogs.h"
#include "viewer/lumivex/lumivex_module.h"
#include "viewer/lumivex/view_enlarge.h"
#include "viewer/lumivex/view_frame_draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kTwoPi = 6.283185307179586;

}  // namespace

void RollImageColumns(Image& image, int n, std::vector<uint8_t>& buffer)
{
    const int width = image.GetWidth();
    if (n == 0 || width <= 0 || !image.GetData()) return;
    // A shift of a whole row (or several) leaves every row as it was.
    const int64_t shift = std::abs(static_cast<int64_t>(n)) % width;
    if (shift == 0) return;
    const size_t pixel = static_cast<size_t>(image.GetChannels());
    const size_t rowBytes = static_cast<size_t>(width) * pixel;
    const size_t moved = static_cast<size_t>(shift) * pixel;
    if (buffer.size() < moved) buffer.resize(moved);
    for (int y = 0; y < image.GetHeight(); ++y) {
        uint8_t* row = image.GetData() + static_cast<size_t>(y) * static_cast<size_t>(image.GetRowByte());
        if (n < 0) {
            std::memcpy(buffer.data(), row, moved);
            std::memmove(row, row + moved, rowBytes - moved);
            std::memcpy(row + rowBytes - moved, buffer.data(), moved);
        } else {
            std::memcpy(buffer.data(), row + rowBytes - moved, moved);
            std::memmove(row + moved, row, rowBytes - moved);
            std::memcpy(row, buffer.data(), moved);
        }
    }
}

CLumivexCtrl::CLumivexCtrl() : worker(std::make_unique<DecodeWorker>())
{
    bitmapHeader = new BITMAPINFOHEADER{};
    bitmapHeader->biSize = sizeof(BITMAPINFOHEADER);
    bitmapHeader->biPlanes = 1;
    bitmapHeader->biCompression = BI_RGB;
    cursor = LoadStandardCursor(IDC_ARROW);
    LumivexModule().ObjectMade();
}

CLumivexCtrl::~CLumivexCtrl()
{
    // The worker writes into the map's (or the view image's) pixels: it ends
    // before they go.
    worker->Stop();
    if (m_hWnd) DestroyWindow();
    DeleteSplash();
    if (helpDialog) helpDialog->DestroyWindow();  // clears helpDialog
    delete helpDialog;
    helpDialog = nullptr;
    ReleasePanorama();
    delete bitmapHeader;
    LumivexModule().ObjectGone();
}

CLumivexCtrl::PixelsScope::PixelsScope(CLumivexCtrl& ctrl) : m_ctrl(ctrl)
{
    if (m_ctrl.pixelsDepth++ == 0 && m_ctrl.worker) m_ctrl.pixelsLock = m_ctrl.worker->LockPixels();
}

CLumivexCtrl::PixelsScope::~PixelsScope()
{
    if (--m_ctrl.pixelsDepth == 0) m_ctrl.pixelsLock = std::unique_lock<std::mutex>();
}

void CLumivexCtrl::ReleasePanorama()
{
    faceList.reset();
    viewParams.reset();
    if (worldMap) worldMap->Release();
    worldMap = nullptr;
    if (viewImage) ReleaseImage(viewImage);
    viewImage = nullptr;
}

void CLumivexCtrl::DeleteSplash()
{
    if (!splashDialog) return;
    if (splashDialog->m_hWnd) splashDialog->DestroyWindow();
    delete splashDialog;
    splashDialog = nullptr;
}

const win::MessageMap* CLumivexCtrl::GetMessageMap() const
{
    static const win::MessageMap map(COleControl::GetMessageMap(), {
        win::on::Message(kDecodeProgressMessage, &CLumivexCtrl::OnDecodeProgressMessage),
        win::on::Command(kCmdPerspective, &CLumivexCtrl::OnPerspectiveView),
        win::on::Command(kCmdWorldMap, &CLumivexCtrl::OnWorldMapView),
        win::on::Command(kCmdZoomIn, &CLumivexCtrl::OnZoomIn),
        win::on::Command(kCmdZoomOut, &CLumivexCtrl::OnZoomOut),
        win::on::Command(kCmdZoomDefault, &CLumivexCtrl::OnZoomDefault),
        win::on::Command(kCmdHelp, &CLumivexCtrl::ShowHelp),
        win::on::Command(kCmdAbout, &CLumivexCtrl::AboutBox),
    });
    return &map;
}

// ---- Properties and methods ------------------------------------------------------------------

void CLumivexCtrl::DoPropExchange(CPropExchange* px)
{
    const bool sameVersion = px->ExchangeVersion(kPropVersion);
    COleControl::DoPropExchange(px);
    if (sameVersion) {
        PX_String(px, "FileName", fileName, std::string());
        PX_Short(px, "Speed", speed, 0);
        int16_t mode = viewMode == kPerspectiveView ? 1 : 0;
        PX_Short(px, "ViewMode", mode, 0);
        if (px->IsLoading()) SetViewMode(mode == 0 ? kWorldMapView : kPerspectiveView, false);
    } else if (px->IsLoading()) {
        std::string discarded;
        PX_String(px, "FileName", discarded, std::string());
        fileName.clear();
    }
}

const std::vector<DispatchMember>& CLumivexCtrl::DispatchTable() const
{
    // Speed and ViewMode are persisted only: a container sets them through
    // the property exchange, not by name.
    static const std::vector<DispatchMember> table = {
        {"FileName", kDispFileName, [](COleControl& c) { return static_cast<CLumivexCtrl&>(c).fileName; },
         [](COleControl& c, const std::string& v) { static_cast<CLumivexCtrl&>(c).SetFileName(v); }, nullptr},
        {"ShowHelp", kDispShowHelp, nullptr, nullptr,
         [](COleControl& c) { static_cast<CLumivexCtrl&>(c).ShowHelp(); }},
        {"AboutBox", DISPID_ABOUTBOX, nullptr, nullptr,
         [](COleControl& c) { static_cast<CLumivexCtrl&>(c).AboutBox(); }},
    };
    return table;
}

std::vector<std::string> CLumivexCtrl::PropertyPageClsids() const
{
    return {kLumivexPropPageClsid};
}

bool CLumivexCtrl::OnProperties()
{
    CLumivexPropPage page;
    page.SetObjects({this});
    return page.DoModal() != -1;
}

uint32_t CLumivexCtrl::GetMiscStatus() const
{
    return kLumivexMiscStatus;
}

void CLumivexCtrl::SetFileName(const std::string& name)
{
    fileName = name;
    OnFileNameChanged();
}

void CLumivexCtrl::OnFileNameChanged()
{
    if (!fileName.empty()) {
        if (LoadFile(fileName) && m_hWnd) Invalidate();
        DeleteSplash();
    }
    SetModifiedFlag();
}

void CLumivexCtrl::ShowHelp()
{
    if (!helpDialog) {
        auto* dialog = new CLumivexHelpDlg(&helpDialog);
        helpDialog = dialog;
        if (!dialog->Create(CLumivexHelpDlg::kTemplateId, nullptr)) {
            // A failed creation deletes the object (PostNcDestroy).
            Logger::log("ERROR CLumivexCtrl::ShowHelp the help dialog cannot be made", 1);
            helpDialog = nullptr;
            return;
        }
    }
    helpDialog->ShowWindow(SW_SHOW);
}

void CLumivexCtrl::AboutBox()
{
    CLumivexAboutDlg dialog;
    dialog.DoModal();
}

// ---- Loading ---------------------------------------------------------------------------------

int CLumivexCtrl::LoadSource(const std::string& path)
{
    if (path.size() < 4) return kLoadCannotOpen;
    const std::string last = path.substr(path.size() - 3);
    if (last != "jpg" && last != "JPG") return kLoadCannotOpen;
    Image* image = nullptr;
    WorldMapBase* map = nullptr;
    auto next = std::make_unique<DecodeWorker>();
    const int result = LoadPanorama(path, &image, &map, true, PostDecodeProgress, this, next.get());
    if (result == kLoadPanorama && map) {
        worker->Stop();
        ReleasePanorama();
        worldMap = map;
        if (image) ReleaseImage(image);  // the map holds the pixels
    } else if (image) {
        worker->Stop();
        ReleasePanorama();
        viewImage = image;
        if (map) map->Release();
    } else {
        if (map) map->Release();
        return result == kLoadPanorama ? kLoadUndecodable : result;
    }
    worker = std::move(next);
    return result;
}

bool CLumivexCtrl::LoadFile(const std::string& path)
{
    const int result = LoadSource(path);
    if (!viewImage && !worldMap) return false;
    if (result != kLoadPanorama && result != kLoadPlainImage) return false;
    faceList.reset();
    viewParams.reset();
    fov = kStartFov;
    reduced = false;
    srcX = srcY = srcW = srcH = 0;
    destX = destY = destW = destH = 0;
    if (!worldMap) {
        viewMode = kWorldMapView;
        plainImage = true;
        wrap = false;  // a flat picture has no seam to roll across, whatever was shown before
    } else {
        int x0, y0, x1, y1, w, h;
        worldMap->GetDataArea(x0, y0, x1, y1, w, h);
        const int W = worldMap->GetWidth();
        const double samples = W > 0 ? W : 1;
        maxHFov = static_cast<float>(std::min(std::max(w, 0) * kTwoPi / samples, static_cast<double>(kMaxFov)));
        maxVFov = static_cast<float>(std::min(std::max(h, 0) * kTwoPi / samples, static_cast<double>(kMaxFov)));
        wrap = worldMap->GetMapRect()->left == 0;
        plainImage = false;
    }
    SetViewMode(viewMode, true);
    loaded = true;
    return true;
}

// ---- Layout ----------------------------------------------------------------------------------

bool CLumivexCtrl::SizeViewImage(int w, int h)
{
    const int channels = worldMap ? worldMap->GetChannels() : (viewImage ? viewImage->GetChannels() : 3);
    w = std::max(w, 1);
    h = std::max(h, 1);
    if (viewImage && viewImage->GetChannels() != channels) {
        ReleaseImage(viewImage);
        viewImage = nullptr;
    }
    if (!viewImage) {
        viewImage = new Image();
        if (viewImage->BmpInit(w, h, channels) != 0) {
            ReleaseImage(viewImage);
            viewImage = nullptr;
            Logger::log("ERROR CLumivexCtrl::SizeViewImage cannot make a view of %d x %d", 1, w, h);
            return false;
        }
        return true;
    }
    if (viewImage->GetWidth() == w && viewImage->GetHeight() == h) return true;
    viewImage->Resize(w, h);
    if (!viewImage->GetData()) {
        Logger::log("ERROR CLumivexCtrl::SizeViewImage cannot make a view of %d x %d", 1, w, h);
        return false;
    }
    return true;
}

// The world map's data area into the view image; an area wrapping past the
// map's right edge is copied in its two pieces.
void CLumivexCtrl::CopyDataArea()
{
    int x0, y0, x1, y1, w, h;
    if (!worldMap->GetDataArea(x0, y0, x1, y1, w, h) || w <= 0 || h <= 0) {
        Logger::log("ERROR CLumivexCtrl::SetViewMode the panorama has no data area", 1);
        return;
    }
    if (!SizeViewImage(w, h)) return;
    const PixelsScope pixels(*this);
    const int W = worldMap->GetWidth();
    if (x1 > W) {
        worldMap->ComputePanoImage(x0, W - 1, y0, y1 - 1, viewImage, 0, 0);
        worldMap->ComputePanoImage(0, x1 - W - 1, y0, y1 - 1, viewImage, W - x0, 0);
    } else {
        worldMap->ComputePanoImage(x0, x1 - 1, y0, y1 - 1, viewImage, 0, 0);
    }
}

namespace {

// One axis of the world-map layout: a picture of S pixels at zoom z in a
// window of W pixels; larger than the window it fills it showing its
// middle, else it stands centred.
void LayoutAxis(int W, int S, float z, int& destOffset, int& destSize, int& srcOffset, int& srcSize)
{
    const int d = W - static_cast<int>(S * z);
    if (d < 0) {
        destOffset = 0;
        destSize = W;
        srcSize = static_cast<int>(W / z);
        srcOffset = static_cast<int>(-d / (2 * z));
    } else {
        destSize = W - d;
        destOffset = d / 2;
        srcOffset = 0;
        srcSize = S;
    }
}

// One axis of a zoom step in the world-map view, keeping the centre of the
// shown part where it can.
void ZoomAxis(int W, int S, float z, int& destOffset, int& destSize, int& srcOffset, int& srcSize)
{
    if (static_cast<int>(S * z) > W) {
        const int c = srcOffset + srcSize / 2;
        int size = static_cast<int>(W / z);
        int offset;
        if (static_cast<int>(c * z) < W / 2) {
            offset = 0;
        } else if (static_cast<int>((S - c) * z) < W - W / 2) {
            offset = S - size;
        } else {
            offset = c - static_cast<int>((W / 2) / z);
            if (offset + size > S) offset = S - size;
        }
        if (offset < 0) {
            offset = 0;
            size = S;
        }
        destOffset = 0;
        destSize = W;
        srcOffset = offset;
        srcSize = size;
    } else {
        destSize = static_cast<int>(S * z);
        destOffset = (W - destSize) / 2;
        srcOffset = 0;
        srcSize = S;
    }
}

// One axis of a window size change in the world-map view.
void ResizeAxis(bool vertical, int oldW, int W, int S, float z, int& destOffset, int& destSize, int& srcOffset,
                int& srcSize)
{
    if (destOffset >= 1) {
        const int offset = (W - destSize) / 2;
        if (W < oldW && offset < 0) {
            destOffset = 0;
            destSize = W;
            srcSize = static_cast<int>(W / z);
            srcOffset = vertical ? S - srcSize : 0;
        } else {
            destOffset = offset;
        }
        return;
    }
    if (W > oldW) {
        const int size = static_cast<int>(W / z);
        if (S >= size) {
            destSize = W;
            if (vertical) {
                srcOffset = std::max(0, srcOffset + srcSize - size);
            } else if (srcOffset + size > S) {
                srcOffset = S - size;
            }
            srcSize = size;
        } else {
            destSize = static_cast<int>(S * z);
            destOffset = (W - destSize) / 2;
            srcOffset = 0;
            srcSize = S;
        }
    } else if (W < oldW) {
        const int size = static_cast<int>(W / z);
        destSize = W;
        if (vertical) srcOffset += srcSize - size;
        srcSize = size;
    }
}

}  // namespace

void CLumivexCtrl::LayoutWorldMap()
{
    if (!viewImage) return;
    LayoutAxis(windowW, viewImage->GetWidth(), zoom, destX, destW, srcX, srcW);
    LayoutAxis(windowH, viewImage->GetHeight(), zoom, destY, destH, srcY, srcH);
}

void CLumivexCtrl::SetViewMode(int mode, bool force)
{
    if (!force && mode == viewMode) return;
    if (!worldMap && !plainImage) {
        viewMode = mode;
        return;
    }
    if (mode == kWorldMapView) {
        viewMode = mode;
        if (worldMap) CopyDataArea();
        LayoutWorldMap();
        return;
    }
    if (plainImage) return;  // a plain image has no perspective
    if (!viewParams) viewParams = std::make_unique<CViewParams>();
    viewMode = mode;
    SetupPerspective();
}

void CLumivexCtrl::ComputeViewSize(int w, int h, int& viewW, int& viewH)
{
    viewW = w;
    viewH = h;
    if (!worldMap) return;
    const double f = worldMap->GetWidth() * static_cast<double>(zoom) / kTwoPi;
    double hfov = 2 * std::atan(w / (2 * f));
    if (hfov > maxHFov) {
        hfov = maxHFov;
        viewW = static_cast<int>(std::tan(hfov / 2) * 2 * f);
    }
    const double vfov = 2 * std::atan(h / (2 * f));
    if (vfov > maxVFov) viewH = static_cast<int>(std::tan(maxVFov / 2.0) * 2 * f);
    viewW = std::max(viewW, 1);
    viewH = std::max(viewH, 1);
    fov = static_cast<float>(hfov);
}

void CLumivexCtrl::InitFaces()
{
    const PixelsScope pixels(*this);
    faceList = std::make_unique<CViewFaceList>();
    if (!faceList->Init(worldMap, zoom, viewImage))
        Logger::log("ERROR CLumivexCtrl::SetupPerspective the panorama gives no faces", 1);
}

void CLumivexCtrl::Render(bool finished)
{
    if (!faceList || !viewParams || !viewImage) return;
    const PixelsScope pixels(*this);
    faceList->Render(viewParams.get(), fov, viewParams->GetRoll(), finished, false, true);
}

void CLumivexCtrl::SetupPerspective()
{
    if (!worldMap || !viewParams) return;
    int vw = 0, vh = 0;
    ComputeViewSize(windowW, windowH, vw, vh);
    destX = (windowW - vw) / 2;
    destY = (windowH - vh) / 2;
    if (!SizeViewImage(vw, vh)) return;
    reduced = false;
    srcX = srcY = 0;
    srcW = destW = vw;
    srcH = destH = vh;
    if (faceList) {
        viewParams->SetFov(fov, static_cast<float>(vh) / static_cast<float>(vw));
        faceList->SetViewImage(viewImage);
    } else {
        int x0, y0, x1, y1, w, h;
        worldMap->GetDataArea(x0, y0, x1, y1, w, h);
        viewParams->SetLimitsFromMap(x0, x1, y0, y1 - 1, worldMap->GetWidth());
        viewParams->SetFov(fov, static_cast<float>(vh) / static_cast<float>(vw));
        InitFaces();
    }
    Render(true);
}

void CLumivexCtrl::SetZoom(float z)
{
    if (z == zoom) return;
    if (viewMode == kPerspectiveView) {
        zoom = z;
        SetupPerspective();
    } else {
        ZoomWorldMap(z);
    }
    Repaint();
}

void CLumivexCtrl::ZoomWorldMap(float z)
{
    if (viewImage) {
        ZoomAxis(windowW, viewImage->GetWidth(), z, destX, destW, srcX, srcW);
        ZoomAxis(windowH, viewImage->GetHeight(), z, destY, destH, srcY, srcH);
    }
    zoom = z;
}

void CLumivexCtrl::OnSize(UINT type, int cx, int cy)
{
    COleControl::OnSize(type, cx, cy);
    if (loaded) {
        ApplySize(cx, cy);
    } else if (cx > 0 && cy > 0) {
        // A FileName set before the first drawing loads at once: it is laid
        // out for the window the container gave, not the constructed size.
        windowW = cx;
        windowH = cy;
    }
}

void CLumivexCtrl::ApplySize(int cx, int cy)
{
    if (cx <= 0 || cy <= 0) return;
    if (viewMode == kPerspectiveView && worldMap && viewParams) {
        int vw = 0, vh = 0;
        ComputeViewSize(cx, cy, vw, vh);
        windowW = cx;
        windowH = cy;
        destX = (cx - vw) / 2;
        destY = (cy - vh) / 2;
        if (!viewImage || viewImage->GetWidth() != vw || viewImage->GetHeight() != vh) {
            if (!SizeViewImage(vw, vh)) return;
            reduced = false;
            if (faceList) faceList->SetViewImage(viewImage);
            else InitFaces();
        }
        viewParams->SetFov(fov, static_cast<float>(vh) / static_cast<float>(vw));
        Render(true);
        srcW = destW = vw;
        srcH = destH = vh;
        srcX = srcY = 0;
        return;
    }
    const int oldW = windowW, oldH = windowH;
    windowW = cx;
    windowH = cy;
    if (!viewImage) return;
    ResizeAxis(false, oldW, cx, viewImage->GetWidth(), zoom, destX, destW, srcX, srcW);
    ResizeAxis(true, oldH, cy, viewImage->GetHeight(), zoom, destY, destH, srcY, srcH);
}

// ---- Drawing ---------------------------------------------------------------------------------

void CLumivexCtrl::Repaint(bool erase)
{
    if (!m_hWnd) return;
    Invalidate(erase ? TRUE : FALSE);
    UpdateWindow();
}

void CLumivexCtrl::OnDraw(CDC* dc, const RECT& bounds, const RECT&)
{
    if (!loaded) {
        if (fileName.empty() || !LoadFile(fileName)) return;
        DeleteSplash();
        ApplySize(bounds.right - bounds.left, bounds.bottom - bounds.top);
        if (speed != 0) {
            currentX = startX + speed;
            currentY = startY;
            StartTimer();
        }
    }
    if (!viewImage || !viewImage->GetData()) return;
    const PixelsScope pixels(*this);
    drawing = true;
    bitmapHeader->biWidth = viewImage->GetWidth();
    bitmapHeader->biHeight = -viewImage->GetHeight();  // rows top-down
    bitmapHeader->biBitCount = static_cast<WORD>(viewImage->GetChannels() == 1 ? 8 : 24);
    const BITMAPINFO* info = reinterpret_cast<const BITMAPINFO*>(bitmapHeader);
    // A one-channel picture needs a grey palette after the header.
    std::vector<uint8_t> grey;
    if (viewImage->GetChannels() == 1) {
        grey.resize(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
        std::memcpy(grey.data(), bitmapHeader, sizeof(BITMAPINFOHEADER));
        RGBQUAD* palette = reinterpret_cast<BITMAPINFO*>(grey.data())->bmiColors;
        for (int i = 0; i < 256; ++i) palette[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
        info = reinterpret_cast<const BITMAPINFO*>(grey.data());
    }
    const HDC hdc = dc->GetSafeHdc();
    if (viewMode == kPerspectiveView) {
        dc->SetStretchBltMode(COLORONCOLOR);
        DrawPerspective(hdc, info, grey);
    } else {
        if (destW < srcW || destH < srcH) dc->SetStretchBltMode(COLORONCOLOR);
        StretchDIBits(hdc, destX, destY, destW, destH, srcX, srcY, srcW, srcH, viewImage->GetData(), info,
                      DIB_RGB_COLORS, SRCCOPY);
    }
    if (progress >= 1 && progress <= 99) DrawProgressBar(dc);
    else if (progress >= 100) progress = 0;
    drawing = false;
}

void CLumivexCtrl::DrawPerspective(HDC hdc, const BITMAPINFO* info, std::vector<uint8_t>& grey)
{
    // A window's 32-bit pixels take the frame stretched in one pass; other
    // contexts, and grey frames, go through the window's stretch.
    ViewFrameRows rows;
    const bool direct = hdc && rows.Prepare(*hdc, destX, destY, srcW, srcH, *viewImage);
    if (frameDue) {
        frameDue = false;
        // A moving frame goes onto the window band by band as its rows come
        // out of the engine, while they are still in the drawing thread's
        // cache.
        if (!direct || !drawWhileRendering || !faceList || !viewParams) {
            Render(false);
        } else if (faceList->Render(viewParams.get(), fov, viewParams->GetRoll(), false, false, true,
                                    [&rows](int first, int last) { rows.DrawFrameRows(first, last); })) {
            return;
        }
    }
    if (direct) {
        rows.DrawAll();
        return;
    }
    const Image* shown = ShownFrame();
    if (shown) {
        bitmapHeader->biWidth = shown->GetWidth();
        bitmapHeader->biHeight = -shown->GetHeight();
        if (!grey.empty()) std::memcpy(grey.data(), bitmapHeader, sizeof(BITMAPINFOHEADER));
        StretchDIBits(hdc, destX, destY, srcW, srcH, 0, 0, srcW, srcH, shown->GetData(), info, DIB_RGB_COLORS,
                      SRCCOPY);
    } else {
        StretchDIBits(hdc, destX, destY, srcW, srcH, 0, 0, viewImage->GetWidth(), viewImage->GetHeight(),
                      viewImage->GetData(), info, DIB_RGB_COLORS, SRCCOPY);
    }
}

const Image* CLumivexCtrl::ShownFrame()
{
    if (!viewImage || srcW <= 0 || srcH <= 0) return nullptr;
    if (viewImage->GetWidth() == srcW && viewImage->GetHeight() == srcH) return nullptr;  // already full size
    const int channels = viewImage->GetChannels();
    if (!shownFrame || shownFrame->GetWidth() != srcW || shownFrame->GetHeight() != srcH ||
        shownFrame->GetChannels() != channels) {
        shownFrame = RefPtr<Image>::adopt(new Image());
        if (shownFrame->BmpInit(srcW, srcH, channels) != 0) {
            shownFrame.reset();
            return nullptr;  // the stretch then works from the reduced frame
        }
    }
    return EnlargeViewFrame(*viewImage, *shownFrame) ? shownFrame.get() : nullptr;
}

void CLumivexCtrl::DrawProgressBar(CDC* dc)
{
    RECT client{0, 0, windowW, windowH};
    if (m_hWnd) GetClientRect(&client);
    const int bottom = client.bottom;
    const int p = std::clamp(progress, 0, 100);
    CPen blue(PS_SOLID, 1, 0xFF0000);
    CPen green(PS_SOLID, 1, 0x00FF00);
    CPen* old = dc->SelectObject(&blue);
    for (int y = bottom - 4; y < bottom; ++y) {
        if (p > 0) {
            dc->SelectObject(&blue);
            dc->MoveTo(destX, y);
            dc->LineTo(destX + p, y);
        }
        if (p < 100) {
            dc->SelectObject(&green);
            dc->MoveTo(destX + p, y);
            dc->LineTo(destX + 100, y);
        }
    }
    dc->SelectObject(old);
}

BOOL CLumivexCtrl::OnEraseBkgnd(CDC* dc)
{
    if (!loaded) return COleControl::OnEraseBkgnd(dc);
    CRect client;
    GetClientRect(&client);
    const COLORREF face = GetSysColor(COLOR_3DFACE);
    const int w = client.Width(), h = client.Height();
    if (destY > 0) dc->FillSolidRect(0, 0, w, destY, face);
    if (destY + destH < h) dc->FillSolidRect(0, destY + destH, w, h - destY - destH, face);
    if (destX > 0) dc->FillSolidRect(0, destY, destX, destH, face);
    if (destX + destW < w) dc->FillSolidRect(destX + destW, destY, w - destX - destW, destH, face);
    return TRUE;
}

// ---- Creation ----------------------------------------------------------------------------------

int CLumivexCtrl::OnCreate(LPCREATESTRUCT cs)
{
    if (COleControl::OnCreate(cs) == -1) return -1;
    DeleteSplash();
    splashDialog = new CLumivexSplashDlg();
    if (!splashDialog->ShowOver(this)) {
        delete splashDialog;
        splashDialog = nullptr;
    }
    return 0;
}

void CLumivexCtrl::OnDestroy()
{
    StopTimer();
    DeleteSplash();
    COleControl::OnDestroy();
}
