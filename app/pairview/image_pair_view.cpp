#include "app/pairview/image_pair_view.h"

#include "app/control/stitch_pair.h"
#include "app/control/super_manager.h"
#include "app/matching/cam_info.h"
#include "app/pairview/pair_view_geometry.h"
#include "app/pairview/paired_markers.h"
#include "app/views/image_pair_doc.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/imgcore/exif_info.h"
#include "platform/panocore/img_info.h"
#include "platform/panocore/pair_marker_align.h"
#include "platform/panocore/pair_share_info.h"
#include "platform/win/control_bars.h"
#include "platform/win/frame_wnd.h"
#include "platform/win/menu.h"
#include "platform/win/resources.h"
#include "platform/win/system.h"
#include "platform/win/win_app.h"
#include "platform/win/window_dc.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/curvekit/two_d_curves.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"
#include "viewkit/bmp_info.h"
#include "viewkit/mag_glass.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

int ImageWidth(ImageFrame* frame)
{
    Image* image = frame ? frame->GetImage() : nullptr;
    return image ? image->GetWidth() : 0;
}

int ImageHeight(ImageFrame* frame)
{
    Image* image = frame ? frame->GetImage() : nullptr;
    return image ? image->GetHeight() : 0;
}

// Markers of a link's manual set as image pixels.
void MarkerPoints(Neighbor* link, std::vector<POINT2>& out)
{
    Marker* set = link ? link->GetMarkers(true) : nullptr;
    out.clear();
    if (!set) return;
    for (int i = 0; i < set->GetNumbOfMarker(); ++i) out.push_back(POINT2{set->GetMarker()[i].x, set->GetMarker()[i].y});
}

bool FramePairMarkers(IImageFrame* f1, IImageFrame* f2, float ratio, PairMarkerPoints& out)
{
    auto* a = static_cast<ImageFrame*>(f1);
    auto* b = static_cast<ImageFrame*>(f2);
    IPairShareInfo* share = a->GetPairShareInfo(b);
    if (!share || !a->GetImage() || !b->GetImage()) return false;
    // The record maps the frame whose stamp lies left in the tray into the other.
    short ax = 0, ay = 0, bx = 0, by = 0;
    a->GetStampLocation(&ax, &ay);
    b->GetStampLocation(&bx, &by);
    if (bx < ax) {
        std::swap(a, b);
        ratio = ratio > 0.0f ? 1.0f / ratio : 1.0f;
    }
    MarkerPoints(a->FindNeighbor(b), out.first);
    MarkerPoints(b->FindNeighbor(a), out.second);
    out.width1 = a->GetImage()->GetWidth();
    out.height1 = a->GetImage()->GetHeight();
    out.width2 = b->GetImage()->GetWidth();
    out.height2 = b->GetImage()->GetHeight();
    out.ratio = ratio;
    // Placed frames know their focal lengths: those are kept.
    for (auto [frame, rcp] : {std::pair{a, &out.knownRcp1}, std::pair{b, &out.knownRcp2}})
        if (IImgInfo* info = frame->GetImgInfo()) *rcp = info->GetParams()->rcpFocal;
    out.record = share->GetPairParams();
    return true;
}

void DrawFrameImage(CDC* dc, ImageFrame* frame, Neighbor* link, float zoom)
{
    Image* image = frame ? frame->GetImage() : nullptr;
    if (!image || !link || !image->GetData()) return;
    const int channels = image->GetChannels();
    if (channels != 1 && channels != 3) return;
    BITMAPINFO* info = FillBmpInfo(image);
    if (!info) return;
    std::vector<unsigned char> scratch;
    const unsigned char* rows = DibRows(image, scratch);
    if (!rows) return;
    const int x = static_cast<int>(link->m_offsetX * zoom);
    const int y = static_cast<int>(link->m_offsetY * zoom);
    const int w = static_cast<int>(image->GetWidth() * zoom);
    const int h = static_cast<int>(image->GetHeight() * zoom);
    const int oldMode = zoom < 1.0f ? dc->SetStretchBltMode(COLORONCOLOR) : 0;
    StretchDIBits(dc, x, y, w, h, 0, 0, image->GetWidth(),
                  image->GetHeight(), rows, info, DIB_RGB_COLORS, SRCCOPY);
    if (zoom < 1.0f) dc->SetStretchBltMode(oldMode);
    if (Marker* markers = link->GetMarkers(true)) markers->Draw(dc, x, y, zoom);
    if (TwoDCurves* curves = link->GetCurves()) curves->Draw(dc, x, y, zoom);
}

}  // namespace

void InstallPairMarkerSource()
{
    SetPairMarkerSource(&FramePairMarkers);
}

CImagePairView::CImagePairView()
{
    InstallPairMarkerSource();
    if (CWinApp* app = AfxGetApp()) m_cursor = app->LoadCursor(kCursorAdd);
}

CImagePairView::~CImagePairView()
{
    if (CMagGlass* glass = std::exchange(m_magGlass, nullptr)) {
        if (glass->GetSafeHwnd()) glass->DestroyWindow();
        delete glass;
    }
    m_toolBar.reset();
    ForgetPairWindow(this, GetDocument());
}

void ForgetPairWindow(CView* view, CDocument* document)
{
    SuperManager* manager = GetSuperManager();
    if (manager && manager->GetPairWindow() == view) manager->ClosePairWindow(true);
    // The project's record of the pair document must not outlive it.
    if (ImageGroup* group = manager ? manager->GetImageGroup(false) : nullptr;
        group && document && group->GetStampDoc() == static_cast<void*>(document))
        group->SetStampDoc(nullptr);
}

const win::MessageMap* CImagePairView::GetMessageMap() const
{
    static const win::MessageMap map(
        CScrollView::GetMessageMap(),
        {
            win::on::Command(kStitchThisPair, &CImagePairView::OnStitchThisPair),
            win::on::CommandRange(kZoom25, kZoom200, &CImagePairView::OnZoomCommand),
            win::on::Command(kZoomIn, &CImagePairView::OnZoomIn),
            win::on::Command(kZoomOut, &CImagePairView::OnZoomOut),
            win::on::Command(kMagnifier, &CImagePairView::ToggleMagnifier),
            win::on::Command(kMarkerIndex, &CImagePairView::OnMarkerIndex),
            win::on::Command(kSwitchToOverlay, &CImagePairView::OnSwitchToOverlay),
            win::on::UpdateUI(kSwitchToOverlay, &CImagePairView::OnUpdateSwitchToOverlay),
            win::on::CommandRange(kToolPointer, kToolMoveImage, &CImagePairView::OnTool),
            win::on::UpdateUIRange(kToolPointer, kToolMoveImage, &CImagePairView::OnUpdateTool),
        });
    return &map;
}

// ---- Pair and placement ------------------------------------------------------------

void CImagePairView::ResolvePair()
{
    auto* doc = dynamic_cast<CImagePairDoc*>(GetDocument());
    m_image1 = m_image2 = nullptr;
    m_link1 = m_link2 = nullptr;
    if (!doc) return;
    if (m_flags & kImageOrder) {
        m_image1 = doc->GetFrameA();
        m_image2 = doc->GetFrameB();
    } else {
        m_image1 = doc->GetFrameB();
        m_image2 = doc->GetFrameA();
    }
    if (m_image1 && m_image2) {
        m_link1 = m_image1->FindNeighbor(m_image2);
        m_link2 = m_image2->FindNeighbor(m_image1);
    }
}

void CImagePairView::PlaceImages()
{
    if (!m_link1 || !m_link2 || !m_image1 || !m_image2) return;
    if (m_link1->m_offsetX != m_link2->m_offsetX || m_link1->m_offsetY != m_link2->m_offsetY) return;  // placed
    short x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    m_image1->GetStampLocation(&x1, &y1);
    m_image2->GetStampLocation(&x2, &y2);
    const bool firstLeftInTray = x1 <= x2;
    ImageFrame* leftStamp = firstLeftInTray ? m_image1 : m_image2;
    Image* stamp = leftStamp->GetStampBmp();
    const int stampW = stamp ? stamp->GetWidth() : 0;
    const int s = stamp ? std::min(stamp->GetWidth(), stamp->GetHeight()) : 0;
    const int gap = (firstLeftInTray ? x2 - x1 : x1 - x2) - stampW;
    // Neighbours in the tray keep their order; the closing pair of a loop
    // (stamps far apart) is shown the other way round.
    const bool leftStays = !stamp || gap < s / 2;  // without a stamp: tray order
    ImageFrame* left = leftStays ? leftStamp : (leftStamp == m_image1 ? m_image2 : m_image1);
    Neighbor* leftLink = left == m_image1 ? m_link1 : m_link2;
    Neighbor* rightLink = left == m_image1 ? m_link2 : m_link1;
    leftLink->m_offsetX = 0;
    rightLink->m_offsetX = static_cast<int16_t>(ImageWidth(left) + kPairImageGap);
}

void CImagePairView::ShowMarkerCircles()
{
    for (Neighbor* link : {m_link1, m_link2})
        if (Marker* set = link ? link->GetMarkers(true) : nullptr) set->SetShowMarkerErrorFlag(3);
}

void CImagePairView::OnInitialUpdate()
{
    // Not the base initial update: its update call would set the image-order
    // flag, and the opening order is the reversed one.
    ResolvePair();
    const SIZE content =
        PairContentSize(ImageWidth(m_image1), ImageHeight(m_image1), ImageWidth(m_image2), ImageHeight(m_image2));
    m_contentW = static_cast<uint16_t>(std::clamp<int>(content.cx, 0, 0xFFFF));
    m_contentH = static_cast<uint16_t>(std::clamp<int>(content.cy, 0, 0xFFFF));
    PlaceImages();
    m_zoom = 0.99f;  // so that a first request of 1.0 takes effect
    SetZoom(InitialPairZoom(content, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));

    auto bar = std::make_unique<CToolBar>();
    const DWORD style = WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_TOOLTIPS | CBRS_FLYBY;
    if (!bar->CreateEx(this, TBSTYLE_FLAT, style, RECT{0, 0, 0, 0}, AFX_IDW_TOOLBAR) ||
        !bar->LoadToolBar(kToolBarResource)) {
        Logger::log("ERROR CImagePairView::OnInitialUpdate cannot make the toolbar", 1);
        return;
    }
    m_toolBar = std::move(bar);
    PlaceToolBar();
    if (Marker* set = m_link1 ? m_link1->GetMarkers(true) : nullptr)
        SelectTool(set->GetNumbOfMarker() < 5 ? kToolAddMarker : kToolMoveMarker);
    ShowMarkerCircles();
    ToggleMagnifier();
}

void CImagePairView::OnUpdate(CView*, LPARAM, CObject*)
{
    m_flags |= kImageOrder;
    ResolvePair();
    PlaceImages();
    if (GetSafeHwnd()) Invalidate(TRUE);
}

void CImagePairView::SetZoom(float zoom)
{
    if (zoom == m_zoom || !(zoom > 0.0f)) return;
    m_zoom = zoom;
    m_scaledW = static_cast<uint16_t>(m_contentW * zoom);
    m_scaledH = static_cast<uint16_t>(m_contentH * zoom);
    if (CFrameWnd* frame = GetSafeHwnd() ? GetParentFrame() : nullptr) {
        const int border = 2 * (GetSystemMetrics(SM_CXFRAME) + GetSystemMetrics(SM_CXBORDER)) + 2;
        frame->MoveWindow(0, 0, m_scaledW + border, m_scaledH + border + GetSystemMetrics(SM_CYCAPTION));
    }
    if (GetSafeHwnd()) SetScrollSizes(MM_TEXT, SIZE{m_scaledW, m_scaledH});
    if (CDocument* doc = GetDocument()) {
        char title[64];
        std::snprintf(title, sizeof title, "Image Pair for Markers (%d%%)", static_cast<int>(zoom * 100.0f));
        doc->SetTitle(title);
    }
}

// ---- Painting ----------------------------------------------------------------------

void CImagePairView::OnDraw(CDC* dc)
{
    if (!dc) return;
    DrawFrameImage(dc, m_image2, m_link2, m_zoom);
    DrawFrameImage(dc, m_image1, m_link1, m_zoom);
    if (m_magGlass && m_magGlass->Update(dc)) {
        m_magGlass->ShowWindow(SW_SHOW);
        m_magShown = true;
    }
}

BOOL CImagePairView::OnEraseBkgnd(CDC* dc)
{
    if (!dc) return TRUE;
    RECT client{};
    GetClientRect(&client);
    const COLORREF face = GetSysColor(COLOR_3DFACE);
    // Fill what neither image covers, row band by row band: the client area
    // minus the two image rectangles.
    const CPoint scroll = GetScrollPosition();
    RECT covered[2]{};
    int n = 0;
    for (auto [frame, link] : {std::pair{m_image1, m_link1}, std::pair{m_image2, m_link2}}) {
        if (!frame || !link || !frame->GetImage()) continue;
        RECT r{static_cast<LONG>(link->m_offsetX * m_zoom) - scroll.x, static_cast<LONG>(link->m_offsetY * m_zoom) - scroll.y,
               0, 0};
        r.right = r.left + static_cast<LONG>(ImageWidth(frame) * m_zoom);
        r.bottom = r.top + static_cast<LONG>(ImageHeight(frame) * m_zoom);
        covered[n++] = r;
    }
    for (int y = client.top; y < client.bottom; ++y) {
        int x = client.left;
        std::vector<std::pair<int, int>> spans;
        for (int i = 0; i < n; ++i)
            if (y >= covered[i].top && y < covered[i].bottom) spans.push_back({covered[i].left, covered[i].right});
        std::sort(spans.begin(), spans.end());
        for (auto [l, r] : spans) {
            if (l > x) dc->FillSolidRect(x, y, l - x, 1, face);
            x = std::max(x, r);
        }
        if (x < client.right) dc->FillSolidRect(x, y, client.right - x, 1, face);
    }
    return TRUE;
}

// ---- Hit tests ---------------------------------------------------------------------

POINT CImagePairView::ToContent(POINT client) const
{
    return ClientToContent(client, GetSafeHwnd() ? GetScrollPosition() : CPoint(0, 0), m_zoom);
}

int CImagePairView::HitImage(POINT content) const
{
    const std::pair<ImageFrame*, Neighbor*> order[2] = {{m_image1, m_link1}, {m_image2, m_link2}};
    for (int i = 0; i < 2; ++i) {
        auto [frame, link] = order[i];
        if (!frame || !link) continue;
        const int x = content.x - link->m_offsetX;
        const int y = content.y - link->m_offsetY;
        if (x >= 0 && x < ImageWidth(frame) && y >= 0 && y < ImageHeight(frame)) return i + 1;
    }
    return 0;
}

Neighbor* CImagePairView::ActiveLink() const
{
    return (m_flags & kActiveImage2) ? m_link2 : m_link1;
}

Neighbor* CImagePairView::OtherLink() const
{
    return (m_flags & kActiveImage2) ? m_link1 : m_link2;
}

ImageFrame* CImagePairView::ActiveImage() const
{
    return (m_flags & kActiveImage2) ? m_image2 : m_image1;
}

// ---- Mouse -------------------------------------------------------------------------

void CImagePairView::OnLButtonDown(UINT flags, CPoint point)
{
    const POINT content = ToContent(point);
    const int hit = HitImage(content);
    if (hit == 0) return;
    m_flags = hit == 2 ? (m_flags | kActiveImage2) : (m_flags & ~kActiveImage2);
    Neighbor* link = ActiveLink();
    const float tolerance = MarkerTolerance(m_zoom);
    const bool ctrl = (flags & MK_CONTROL) != 0;
    const int index = link ? link->FindMarker(static_cast<float>(content.x), static_cast<float>(content.y), tolerance) : -1;
    Marker* set = link ? link->GetMarkers(true) : nullptr;
    auto startMarkerDrag = [&](uint32_t extra) {
        if (!set || index < 0) return;
        set->SetCurrent(index);
        m_flags |= kMarkerDrag | extra;
        m_press = point;
        set->GetCurrentMarker(m_markerX, m_markerY);
        if (CWinApp* app = AfxGetApp()) m_cursor = app->LoadCursor(kCursorMove);
    };
    switch (m_tool) {
    case kToolPointer:
        if (ctrl) startMarkerDrag(kMoveFromPointer);
        break;
    case kToolAddMarker:
        if (ctrl) {
            startMarkerDrag(kTempMoveFromAdd);
        } else if (index < 0 && link) {
            link->AddMarker(static_cast<short>(content.x), static_cast<short>(content.y));
            m_markersChanged = true;
            link->SetMakerState(true);
            if (m_magGlass) m_magGlass->EnableUpdate();
            Invalidate(FALSE);
        }
        break;
    case kToolMoveMarker:
        startMarkerDrag(0);
        break;
    case kToolMoveImage: {
        ImageFrame* frame = ActiveImage();
        m_pressRect = RECT{link->m_offsetX, link->m_offsetY, link->m_offsetX + ImageWidth(frame),
                           link->m_offsetY + ImageHeight(frame)};
        m_dragRect = m_pressRect;
        m_press = point;
        m_flags |= kImageDrag;
        CClientDC dc(this);
        DrawOutline(&dc);
        break;
    }
    default:
        break;
    }
}

void CImagePairView::DrawOutline(CDC* dc)
{
    CPen pen(PS_DOT, 1, RGB(255, 255, 255));
    CPen* previous = dc->SelectObject(&pen);
    const int rop = dc->SetROP2(R2_NOT);
    const CPoint scroll = GetScrollPosition();
    const POINT a = ContentToClient(POINT{m_dragRect.left, m_dragRect.top}, scroll, m_zoom);
    const POINT b = ContentToClient(POINT{m_dragRect.right, m_dragRect.bottom}, scroll, m_zoom);
    const POINT corners[5] = {{a.x, a.y}, {b.x, a.y}, {b.x, b.y}, {a.x, b.y}, {a.x, a.y}};
    dc->Polyline(corners, 5);
    dc->SetROP2(rop);
    dc->SelectObject(previous);
}

void CImagePairView::OnMouseMove(UINT, CPoint point)
{
    if (m_magGlass) {
        CClientDC dc(this);
        RECT client{};
        GetClientRect(&client);
        m_magGlass->Display(&dc, point.x, point.y, client.right, client.bottom);
        RECT bar{};
        if (m_toolBar) {
            m_toolBar->GetWindowRect(&bar);
            ScreenToClient(&bar);
        }
        const bool inside = point.x >= 0 && point.y >= 0 && point.x < client.right && point.y < client.bottom &&
                            !(m_toolBar && point.x < bar.right && point.y < bar.bottom);
        const bool captured = GetCapture() == this;
        if (inside && !captured) {
            SetCapture();
            m_magGlass->EnableUpdate();
            Invalidate(TRUE);
            m_magGlass->ShowWindow(SW_SHOW);
            m_magShown = true;
        } else if (!inside && captured && !(m_flags & (kMarkerDrag | kImageDrag))) {
            ReleaseCapture();
            if (m_magShown) m_magGlass->ShowWindow(SW_HIDE);
            m_magShown = false;
        }
    }
    if (m_flags & kMarkerDrag) {
        ImageFrame* frame = ActiveImage();
        Neighbor* link = ActiveLink();
        Marker* set = link ? link->GetMarkers(true) : nullptr;
        const POINT content = ToContent(point);
        const int lx = content.x - (link ? link->m_offsetX : 0);
        const int ly = content.y - (link ? link->m_offsetY : 0);
        if (set && lx > 0 && ly > 0 && lx < ImageWidth(frame) && ly < ImageHeight(frame)) {
            const float x = (point.x - m_press.x) / m_zoom + m_markerX;
            const float y = (point.y - m_press.y) / m_zoom + m_markerY;
            CClientDC dc(this);
            const CPoint scroll = GetScrollPosition();
            const POINT origin = ContentToClient(POINT{link->m_offsetX, link->m_offsetY}, scroll, m_zoom);
            set->MoveTo(x, y, &dc, origin.x, origin.y, m_zoom);
            m_markersChanged = true;
        }
    } else if (m_flags & kImageDrag) {
        CClientDC dc(this);
        DrawOutline(&dc);
        const int dx = static_cast<int>((point.x - m_press.x) / m_zoom);
        const int dy = static_cast<int>((point.y - m_press.y) / m_zoom);
        m_dragRect = RECT{m_pressRect.left + dx, m_pressRect.top + dy, m_pressRect.right + dx, m_pressRect.bottom + dy};
        DrawOutline(&dc);
    }
}

void CImagePairView::ErasePairAt(POINT content)
{
    Neighbor* link = ActiveLink();
    if (!link) return;
    const int index = ErasePairedMarker(link, OtherLink(), static_cast<float>(content.x - link->m_offsetX),
                                        static_cast<float>(content.y - link->m_offsetY), MarkerTolerance(m_zoom));
    if (index < 0) return;
    m_markersChanged = true;
    Invalidate(TRUE);
}

void CImagePairView::OnLButtonUp(UINT, CPoint point)
{
    if (m_flags & kMarkerDrag) {
        if (Neighbor* link = ActiveLink()) link->SetMakerState(true);
        if (m_flags & kTempMoveFromAdd) {
            SetToolCursor(kToolAddMarker);
        } else if (m_flags & kMoveFromPointer) {
            m_cursor = nullptr;
        }
        m_flags &= ~(kMarkerDrag | kTempMoveFromAdd | kMoveFromPointer);
        if (m_magGlass) m_magGlass->EnableUpdate();
        Invalidate(TRUE);
        return;
    }
    if (m_tool == kToolEraseMarker) {
        const POINT content = ToContent(point);
        if (HitImage(content) != 0) ErasePairAt(content);
        return;
    }
    if (m_flags & kImageDrag) {
        m_flags &= ~kImageDrag;
        {
            CClientDC dc(this);
            DrawOutline(&dc);
        }
        Neighbor* link = ActiveLink();
        if (link) {
            link->m_offsetX = static_cast<int16_t>(link->m_offsetX + static_cast<int>((point.x - m_press.x) / m_zoom));
            link->m_offsetY = static_cast<int16_t>(link->m_offsetY + static_cast<int>((point.y - m_press.y) / m_zoom));
        }
        if (m_flags & kActiveImage2) {
            // The moved image comes to the top: it becomes image 1.
            m_flags ^= kImageOrder;
            ResolvePair();
            m_flags &= ~kActiveImage2;
        }
        Invalidate(TRUE);
    }
}

void CImagePairView::OnLButtonDblClk(UINT flags, CPoint point)
{
    if (!(flags & MK_CONTROL) || (m_tool != kToolPointer && m_tool != kToolAddMarker)) return;
    const POINT content = ToContent(point);
    const int hit = HitImage(content);
    if (hit == 0) return;
    m_flags = hit == 2 ? (m_flags | kActiveImage2) : (m_flags & ~kActiveImage2);
    ErasePairAt(content);
}

void CImagePairView::OnKeyDown(UINT ch, UINT repeat, UINT flags)
{
    Neighbor* link = ActiveLink();
    Marker* set = link ? link->GetMarkers(true) : nullptr;
    if (set) {
        bool changed = false;
        switch (ch) {
        case VK_LEFT: set->ShiftCurrentMarker(-1, 0); changed = true; break;
        case VK_RIGHT: set->ShiftCurrentMarker(1, 0); changed = true; break;
        case VK_UP: set->ShiftCurrentMarker(0, -1); changed = true; break;
        case VK_DOWN: set->ShiftCurrentMarker(0, 1); changed = true; break;
        case VK_DELETE: {
            const int index = set->GetActiveMarkerIndex();
            if (set->DeleteCurrentMarker()) {
                Neighbor* other = OtherLink();
                Marker* theirs = other ? other->GetMarkers(true) : nullptr;
                if (theirs && index >= 0 && index < theirs->GetNumbOfMarker()) theirs->DeleteMarker(index);
                link->SetMakerState(true);
                if (other) other->SetMakerState(true);
                changed = true;
            }
            break;
        }
        case VK_TAB: changed = set->ShiftCurrentMarkerIndex(); break;
        default: break;
        }
        if (changed) {
            if (ch != VK_TAB) m_markersChanged = true;
            Invalidate(FALSE);
        }
    }
    CScrollView::OnKeyDown(ch, repeat, flags);
}

void CImagePairView::OnRButtonDown(UINT, CPoint point)
{
    SuperManager* manager = GetSuperManager();
    const int focalType = manager ? manager->GetFocalType() : 0;
    CMenu menu;
    if (!menu.CreatePopupMenu()) return;
    menu.AppendMenu(MF_STRING, kStitchThisPair, "Stitch This Pair");
    const char* zooms[] = {"Zoom 25%", "Zoom 50%", "Zoom 75%", "Zoom 100%", "Zoom 150%", "Zoom 200%"};
    for (UINT i = 0; i < 6; ++i) menu.AppendMenu(MF_STRING, kZoom25 + i, zooms[i]);
    menu.AppendMenu(MF_STRING, kMagnifier, m_magGlass ? "Cancel Magnify Glass" : "Use Magnifying Glass");
    menu.AppendMenu(MF_STRING, kMarkerIndex, "Show Marker Index");
    menu.AppendMenu(MF_STRING | ((focalType == 2 || focalType == 4) ? 0u : MF_GRAYED), kSwitchToOverlay,
                    "Switch to Overlay method");
    ClientToScreen(&point);
    menu.TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, point.x, point.y, this);
}

// ---- Tools, cursor, toolbar --------------------------------------------------------

void CImagePairView::SetToolCursor(UINT tool)
{
    CWinApp* app = AfxGetApp();
    switch (tool) {
    case kToolAddMarker: m_cursor = app ? app->LoadCursor(kCursorAdd) : nullptr; break;
    case kToolMoveMarker: m_cursor = app ? app->LoadCursor(kCursorMove) : nullptr; break;
    case kToolEraseMarker: m_cursor = app ? app->LoadCursor(kCursorErase) : nullptr; break;
    default: m_cursor = nullptr; break;
    }
}

void CImagePairView::SelectTool(UINT id)
{
    if (id < kToolPointer || id > kToolMoveImage || id == m_tool) return;
    m_tool = id;
    SetToolCursor(id);
}

void CImagePairView::OnTool(UINT id)
{
    SelectTool(id);
}

void CImagePairView::OnUpdateTool(CCmdUI* ui)
{
    ui->Enable(TRUE);
    ui->SetCheck(ui->m_nID == m_tool ? 1 : 0);
}

BOOL CImagePairView::OnSetCursor(CWnd* wnd, UINT hitTest, UINT message)
{
    if (m_cursor) {
        ::SetCursor(m_cursor);
        return TRUE;
    }
    return CScrollView::OnSetCursor(wnd, hitTest, message);
}

void CImagePairView::PlaceToolBar()
{
    if (!m_toolBar || !m_toolBar->GetSafeHwnd()) return;
    const CSize fixed = m_toolBar->CalcFixedLayout(FALSE, TRUE);
    m_toolBar->MoveWindow(0, 0, fixed.cx, fixed.cy);
}

void CImagePairView::OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl)
{
    PlaceToolBar();
    CScrollView::OnHScroll(code, pos, scrollCtrl);
}

void CImagePairView::OnVScroll(UINT code, UINT pos, CWnd* scrollCtrl)
{
    PlaceToolBar();
    CScrollView::OnVScroll(code, pos, scrollCtrl);
}

void CImagePairView::OnSize(UINT type, int cx, int cy)
{
    CScrollView::OnSize(type, cx, cy);
    PlaceToolBar();
}

void CImagePairView::ToggleMagnifier()
{
    if (m_magGlass) {
        if (m_magGlass->GetSafeHwnd()) m_magGlass->DestroyWindow();
        delete std::exchange(m_magGlass, nullptr);
    } else if (GetSafeHwnd()) {
        POINT cursor{};
        ::GetCursorPos(&cursor);
        ScreenToClient(&cursor);
        const int half = CMagGlass::kWindowSize / 2;
        auto* glass = new CMagGlass;
        const RECT rect{cursor.x - half, cursor.y - half, cursor.x + half, cursor.y + half};
        if (glass->CreateEx(WS_EX_TRANSPARENT, nullptr, nullptr, WS_CHILD, rect, this, kMagnifierId)) {
            glass->Init(cursor.x, cursor.y);
            m_magGlass = glass;
        } else {
            Logger::log("ERROR CImagePairView::ToggleMagnifier cannot make the magnifier", 1);
            delete glass;
        }
    }
    m_magShown = false;
}

// ---- Commands ----------------------------------------------------------------------

void CImagePairView::OnZoomCommand(UINT id)
{
    static const float zooms[] = {0.25f, 0.5f, 0.75f, 1.0f, 1.5f, 2.0f};
    SetZoom(zooms[id - kZoom25]);
    Invalidate(TRUE);
}

void CImagePairView::OnZoomIn()
{
    SetZoom(ZoomStepIn(m_zoom));
    Invalidate(TRUE);
}

void CImagePairView::OnZoomOut()
{
    SetZoom(ZoomStepOut(m_zoom));
    Invalidate(TRUE);
}

void CImagePairView::OnMarkerIndex()
{
    SuperManager* manager = GetSuperManager();
    if (!manager) return;
    const bool before = manager->GetMarkerIndexState();
    manager->ToggleMarkerIndex();
    if (manager->GetMarkerIndexState() != before) Invalidate(FALSE);
}

void CImagePairView::OnSwitchToOverlay()
{
    if (SuperManager* manager = GetSuperManager()) manager->SwitchPairMethod();
}

void CImagePairView::OnUpdateSwitchToOverlay(CCmdUI* ui)
{
    SuperManager* manager = GetSuperManager();
    const int type = manager ? manager->GetFocalType() : 0;
    ui->Enable(type == 2 || type == 4);
}

float CImagePairView::PairFocalRatio()
{
    SuperManager* manager = GetSuperManager();
    if (!manager || !m_image1 || !m_image2 || manager->GetFocalType() <= 2) return 1.0f;
    ExifInfo* exif1 = m_image1->getExifInfo(true);
    ExifInfo* exif2 = m_image2->getExifInfo(true);
    const CamInfo* info = manager->GetCamInfo();
    if (!info || !(info->GetFocalLength() > 0.0f)) {
        if (!exif1 || !exif2 || !(exif1->m_focalLength > 0.0f) || !(exif2->m_focalLength > 0.0f)) {
            Logger::log("CImagePairView::StitchThisPair: no Exif focal length, ratio 1.0", 4);
            return 1.0f;
        }
        return exif2->m_focalLength / exif1->m_focalLength;
    }
    if (!FramePixelFocal(m_image1) || !FramePixelFocal(m_image2) || !(m_image1->m_focalValue > 0.0f)) return 1.0f;
    return m_image2->m_focalValue / m_image1->m_focalValue;
}

void CImagePairView::StitchThisPair(bool manualMarkerType, bool reset)
{
    if (!m_link1 || !m_link2) return;
    m_link1->SetMarkerType(manualMarkerType);
    m_link2->SetMarkerType(manualMarkerType);
    if (reset) {
        m_link1->SetNotMerged();
        m_link2->SetNotMerged();
        return;
    }
    if (!m_markersChanged) return;
    const float ratio = PairFocalRatio();
    UpdatePairManualMarkerAlign(m_image1, m_image2, ratio);
    m_markersChanged = false;
}

void CImagePairView::OnStitchThisPair()
{
    StitchThisPair(true, false);
    SuperManager* manager = GetSuperManager();
    if (!manager || !manager->MarkerStitch(true)) return;
    // Closing the window deletes this view: nothing of it is used after.
    manager->ClosePairWindow(false);
    manager->ResumeAutoStitch();
}
