#include "app/pairview/overlap_pair_view.h"

#include "app/control/stitch_pair.h"
#include "app/control/super_manager.h"
#include "app/matching/cam_info.h"
#include "app/pairview/image_pair_view.h"
#include "app/pairview/overlap_geometry.h"
#include "app/pairview/pairview_resources.h"
#include "app/views/image_pair_doc.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/cubekit/cube_fg_bg.h"
#include "platform/panocore/img_info.h"
#include "platform/panocore/pair_share_info.h"
#include "platform/utilkit/fl2_apperture.h"
#include "platform/win/control_bars.h"
#include "platform/win/frame_wnd.h"
#include "platform/win/menu.h"
#include "platform/win/system.h"
#include "platform/win/win_app.h"
#include "platform/xformkit/transform_wa.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"
#include "viewkit/bmp_info.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

float KnownRcp(ImageFrame* frame)
{
    IImgInfo* info = frame ? frame->GetImgInfo() : nullptr;
    const float r = info ? info->GetParams()->rcpFocal : 0.0f;
    return std::isfinite(r) && r > 0.0f ? r : 0.0f;
}

// The frame's pixel focal length, 0 when it cannot be computed.
float PixelFocal(ImageFrame* frame)
{
    return frame && FramePixelFocal(frame) ? frame->m_focalValue : 0.0f;
}

bool StampLeftOf(ImageFrame* a, ImageFrame* b)
{
    short ax = 0, ay = 0, bx = 0, by = 0;
    a->GetStampLocation(&ax, &ay);
    b->GetStampLocation(&bx, &by);
    return ax < bx;
}

}  // namespace

COverlapPair::COverlapPair() = default;

COverlapPair::~COverlapPair()
{
    m_model.reset();
    RefRelease(std::exchange(m_render, nullptr));
    m_toolBar.reset();
    ForgetPairWindow(this, GetDocument());
}

const win::MessageMap* COverlapPair::GetMessageMap() const
{
    static const win::MessageMap map(CView::GetMessageMap(),
                                     {
                                         win::on::Command(kStitchThisPair, &COverlapPair::OnStitch),
                                         win::on::Command(kSwitchToMarkers, &COverlapPair::OnSwitchToMarkers),
                                         win::on::Command(kZoomIn, &COverlapPair::OnZoomIn),
                                         win::on::Command(kZoomOut, &COverlapPair::OnZoomOut),
                                     });
    return &map;
}

SIZE COverlapPair::RenderSize() const
{
    Image* fg = m_fg ? m_fg->GetImage() : nullptr;
    Image* bg = m_bg ? m_bg->GetImage() : nullptr;
    if (!fg || !bg) return SIZE{0, 0};
    return OverlapRenderSize(bg->GetWidth(), fg->GetWidth(), fg->GetHeight(), GetSystemMetrics(SM_CXSCREEN),
                             GetSystemMetrics(SM_CYSCREEN));
}

void COverlapPair::OnInitialUpdate()
{
    CView::OnInitialUpdate();
    auto* doc = dynamic_cast<CImagePairDoc*>(GetDocument());
    m_fg = doc ? doc->GetFrameA() : nullptr;
    m_bg = doc ? doc->GetFrameB() : nullptr;
    Image* fgImage = m_fg ? m_fg->GetImage() : nullptr;
    Image* bgImage = m_bg ? m_bg->GetImage() : nullptr;
    if (!fgImage || !bgImage) {
        Logger::log("ERROR COverlapPair::OnInitialUpdate: the pair has no photographs", 1);
        return;
    }
    const SIZE size = RenderSize();
    m_render = new Image;
    if (size.cx <= 0 || size.cy <= 0 ||
        m_render->BmpInit(size.cx, size.cy, std::max(fgImage->GetChannels(), bgImage->GetChannels())) != 0) {
        Logger::log("ERROR COverlapPair::OnInitialUpdate: cannot make the %ldx%ld render image", 1,
                    static_cast<long>(size.cx), static_cast<long>(size.cy));
        RefRelease(std::exchange(m_render, nullptr));
        return;
    }
    m_model = std::make_unique<CCubeFgBg>();
    m_model->ChangeViewPort_uRange(m_range, false);
    m_model->ChangeImgO(m_render);

    SuperManager* manager = GetSuperManager();
    const int focalType = manager ? manager->GetFocalType() : 0;
    Neighbor* link = m_fg->AddNeighbor(m_bg);
    IPairShareInfo* share = link ? link->GetPairShareInfo() : nullptr;
    PAIR_WALIGN_RR_PRMS2 record{};
    if (share) record = *share->GetPairParams();
    if (record.rcpF1 == 0.0f || record.rcpF2 == 0.0f) {
        record = PAIR_WALIGN_RR_PRMS2{};
        float r1 = KnownRcp(m_fg), r2 = KnownRcp(m_bg);
        if (r1 == 0.0f && r2 != 0.0f) {
            const float p1 = PixelFocal(m_fg), p2 = PixelFocal(m_bg);
            r1 = focalType < 3 || !(p1 > 0.0f) || !(p2 > 0.0f) ? r2 : r2 * p2 / p1;
        } else if (r2 == 0.0f && r1 != 0.0f) {
            const float p1 = PixelFocal(m_fg), p2 = PixelFocal(m_bg);
            r2 = focalType < 3 || !(p1 > 0.0f) || !(p2 > 0.0f) ? r1 : r1 * p1 / p2;
        } else if (r1 == 0.0f && r2 == 0.0f) {
            const float focal = manager ? manager->GetStitchSettings()->focalLength : 35.0f;
            const float a = FL2Apperture::FL2ApperturePortrait_35mm(focal);
            const float s = static_cast<float>(std::min(fgImage->GetWidth(), fgImage->GetHeight()));
            r1 = r2 = std::tan(a / 2.0f) / (s / 2.0f);
            const CamInfo* info = manager ? manager->GetCamInfo() : nullptr;
            if (focalType > 2 && info && info->GetFocalLength() > 0.0f) {
                const float p1 = PixelFocal(m_fg), p2 = PixelFocal(m_bg);
                if (p2 > 0.0f) r1 /= p2 / info->GetFocalLength();
                if (p1 > 0.0f) r2 /= p1 / info->GetFocalLength();
            }
        }
        record.rcpF1 = r1;
        record.rcpF2 = r2;
        const float overlap = share ? share->GetOverlapH(1) : Neighbor::GetPairAlignInitSetting()->overlapH;
        record.angB = (1.0f - overlap) * 2.0f * std::atan(fgImage->GetWidth() * r1 / 2.0f);
        m_model->Pair_AddFgBg(fgImage, bgImage, &record);
    } else if (StampLeftOf(m_fg, m_bg)) {
        m_model->Pair_AddFgBg(fgImage, bgImage, &record);
    } else {
        PAIR_WALIGN_RR_PRMS2 inverse{};
        CTransformWA::InvertAlignPrmsRR2(&record, &inverse);
        m_model->Pair_AddFgBg(fgImage, bgImage, &inverse);
    }
    m_model->RenderViewPort(3, true, true, true, true);
    if (CFrameWnd* frame = GetParentFrame()) frame->MoveWindow(0, 0, size.cx, size.cy);
    m_model->SetRotAnchorPt_Fg0(POINT{size.cx / 2, size.cy / 2});

    auto bar = std::make_unique<CToolBar>();
    const DWORD style = WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_TOOLTIPS | CBRS_FLYBY;
    if (bar->CreateEx(this, TBSTYLE_FLAT, style, RECT{0, 0, 0, 0}, AFX_IDW_TOOLBAR) &&
        bar->LoadToolBar(kOverlapToolBarResource)) {
        m_toolBar = std::move(bar);
        const CSize fixed = m_toolBar->CalcFixedLayout(FALSE, TRUE);
        m_toolBar->MoveWindow(0, 0, fixed.cx, fixed.cy);
    } else {
        Logger::log("ERROR COverlapPair::OnInitialUpdate cannot make the toolbar", 1);
    }
    if (doc) doc->SetTitle("Adjust Image Pair Overlap");
}

void COverlapPair::OnDraw(CDC* dc)
{
    if (!dc || !m_render) return;
    if (BITMAPINFO* info = FillBmpInfo(m_render)) {
        std::vector<unsigned char> scratch;
        if (const unsigned char* rows = DibRows(m_render, scratch))
            StretchDIBits(dc, 0, 0, m_render->GetWidth(), m_render->GetHeight(), 0, 0, m_render->GetWidth(),
                          m_render->GetHeight(), rows, info, DIB_RGB_COLORS, SRCCOPY);
    }
    const POINT at = (m_drag & kAnchorMove) ? m_anchor : (m_model ? m_model->GetRotAnchorPt_Fg0() : POINT{0, 0});
    CPen pen(PS_SOLID, 1, RGB(255, 0, 0));
    CPen* previous = dc->SelectObject(&pen);
    dc->MoveTo(at.x - 10, at.y);
    dc->LineTo(at.x + 11, at.y);
    dc->MoveTo(at.x, at.y - 10);
    dc->LineTo(at.x, at.y + 11);
    dc->SelectObject(previous);
}

BOOL COverlapPair::OnEraseBkgnd(CDC*)
{
    return TRUE;
}

void COverlapPair::Repaint()
{
    if (!GetSafeHwnd()) return;
    Invalidate(FALSE);
    UpdateWindow();
}

// ---- Mouse and keys -----------------------------------------------------------------

void COverlapPair::OnLButtonDown(UINT flags, CPoint point)
{
    if (!m_model || !m_render) return;
    m_anchor = point;
    m_last = point;
    const SIZE render{m_render->GetWidth(), m_render->GetHeight()};
    const bool inFg = m_model->IsPointInFg(point);
    const bool ctrl = (flags & MK_CONTROL) != 0;
    const POINT fgAnchor = m_model->GetRotAnchorPt_Fg0();
    switch (ClassifyOverlapPress(inFg, ctrl, point, fgAnchor, render)) {
    case OverlapDrag::ViewRotate:
        m_anchor = POINT{render.cx / 2, render.cy / 2};
        m_drag = kViewPort | kRotate;
        break;
    case OverlapDrag::ViewShift:
        m_anchor = POINT{render.cx / 2, render.cy / 2};
        m_drag = kViewPort | kShift;
        break;
    case OverlapDrag::FgRotate:
        m_anchor = fgAnchor;
        m_drag = kForeground | kRotate;
        break;
    case OverlapDrag::FgShift:
        m_anchor = fgAnchor;
        m_drag = kForeground | kShift;
        break;
    case OverlapDrag::AnchorMove:
        m_anchor = point;
        m_drag = kAnchorMove;
        if (ctrl) {
            if (CWinApp* app = AfxGetApp()) m_cursor = app->LoadCursor(kCursorAnchor);
            Repaint();
        }
        break;
    }
    if (m_drag & (kShift | kRotate)) SetCapture();
}

void COverlapPair::OnMouseMove(UINT, CPoint point)
{
    if (!m_model || !m_render) return;
    if (m_drag & kAnchorMove) {
        if (m_model->IsPointInFg(point)) {
            m_anchor = point;
            Repaint();
        }
    } else if (m_drag & kShift) {
        const int dx = point.x - m_last.x, dy = point.y - m_last.y;
        m_last = point;
        if (m_drag & kForeground)
            m_model->ChangeFacet0Fg_shift(dx, dy, true);
        else
            m_model->ChangeViewPort_shift(-dx, -dy, true);
        Repaint();
    } else if (m_drag & kRotate) {
        float angle = 0.0f;
        const POINT last = m_last;
        const double vx = point.x - m_anchor.x, vy = point.y - m_anchor.y;
        if (vx * vx + vy * vy >= 100.0) m_last = point;
        if (OverlapTurnAngle(m_anchor, last, point, &angle)) {
            if (m_drag & kForeground)
                m_model->ChangeFacet0Fg_rot(angle, true);
            else
                m_model->ChangeViewPort_rot(-angle, true);
            Repaint();
        }
    } else {
        CWinApp* app = AfxGetApp();
        const SIZE render{m_render->GetWidth(), m_render->GetHeight()};
        UINT cursor = kCursorAnchor;
        switch (ClassifyOverlapPress(m_model->IsPointInFg(point), false, point, m_model->GetRotAnchorPt_Fg0(), render)) {
        case OverlapDrag::ViewRotate: cursor = kCursorViewRotate; break;
        case OverlapDrag::ViewShift: cursor = kCursorViewShift; break;
        case OverlapDrag::FgRotate: cursor = kCursorRotate; break;
        case OverlapDrag::FgShift: cursor = kCursorShift; break;
        case OverlapDrag::AnchorMove: cursor = kCursorAnchor; break;
        }
        m_cursor = app ? app->LoadCursor(cursor) : nullptr;
    }
}

void COverlapPair::OnLButtonUp(UINT, CPoint)
{
    if ((m_drag & kAnchorMove) && m_model) {
        m_model->SetRotAnchorPt_Fg0(m_anchor);
        m_drag = 0;
        Repaint();
    } else if (m_drag & (kShift | kRotate)) {
        ReleaseCapture();
    }
    m_drag = 0;
}

void COverlapPair::OnKeyDown(UINT ch, UINT repeat, UINT flags)
{
    if (m_model) {
        const bool ctrl = GetKeyState(VK_CONTROL) < 0;
        bool handled = true;
        switch (ch) {
        case VK_LEFT: ctrl ? m_model->ChangeFacet0Fg_rot(-0.01f, true) : m_model->ChangeFacet0Fg_shift(-1, 0, true); break;
        case VK_UP: ctrl ? m_model->ChangeFacet0Fg_rot(-0.01f, true) : m_model->ChangeFacet0Fg_shift(0, -1, true); break;
        case VK_RIGHT: ctrl ? m_model->ChangeFacet0Fg_rot(0.01f, true) : m_model->ChangeFacet0Fg_shift(1, 0, true); break;
        case VK_DOWN: ctrl ? m_model->ChangeFacet0Fg_rot(0.01f, true) : m_model->ChangeFacet0Fg_shift(0, 1, true); break;
        default: handled = false; break;
        }
        if (handled) Repaint();
    }
    CView::OnKeyDown(ch, repeat, flags);
}

void COverlapPair::OnRButtonDown(UINT, CPoint point)
{
    CMenu menu;
    if (!menu.CreatePopupMenu()) return;
    menu.AppendMenu(MF_STRING, kStitchThisPair, "Stitch this image pair");
    menu.AppendMenu(MF_SEPARATOR, 0, "");
    menu.AppendMenu(MF_STRING, kSwitchToMarkers, "Switch to Marker method");
    ClientToScreen(&point);
    menu.TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, point.x, point.y, this);
}

void COverlapPair::OnSize(UINT type, int cx, int cy)
{
    CView::OnSize(type, cx, cy);
    if (!m_render || !m_model || cx <= 0 || cy <= 0) return;
    if (m_render->GetWidth() == cx && m_render->GetHeight() == cy) return;
    if (m_render->Resize(cx, cy)) {
        m_model->ChangeImgO(m_render);
        m_model->RenderViewPort(3, true, true, true, true);
    }
}

BOOL COverlapPair::OnSetCursor(CWnd* wnd, UINT hitTest, UINT message)
{
    if (m_cursor) {
        ::SetCursor(m_cursor);
        return TRUE;
    }
    return CView::OnSetCursor(wnd, hitTest, message);
}

// ---- Commands ----------------------------------------------------------------------

void COverlapPair::SetRange(float range)
{
    if (range == m_range || !m_model) return;
    m_range = range;
    m_model->ChangeViewPort_uRange(range, true);
    Repaint();
}

void COverlapPair::OnZoomIn()
{
    SetRange(OverlapZoomIn(m_range));
}

void COverlapPair::OnZoomOut()
{
    SetRange(OverlapZoomOut(m_range));
}

void COverlapPair::OnSwitchToMarkers()
{
    if (SuperManager* manager = GetSuperManager()) manager->SwitchPairMethod();
}

bool COverlapPair::StitchThisPair(bool reset)
{
    if (!m_model || !m_fg || !m_bg) return false;
    if (m_model->GetOverlapAreaPC(0) < 0.05f &&
        AfxMessageBox("Tow images have overlap less than 5%. Stitch anyway?", MB_OKCANCEL) == IDCANCEL)
        return false;
    PAIR_WALIGN_RR_PRMS2 record{};
    m_model->Pair_GetAlignPrms2(&record);
    Neighbor* fgLink = m_fg->AddNeighbor(m_bg);
    Neighbor* bgLink = m_bg->FindNeighbor(m_fg);
    if (IPairShareInfo* share = fgLink ? fgLink->GetPairShareInfo() : nullptr) {
        if (StampLeftOf(m_fg, m_bg))
            *share->GetPairParams() = record;
        else
            CTransformWA::InvertAlignPrmsRR2(&record, share->GetPairParams());
    }
    std::vector<POINT2> fgPoints, bgPoints;
    m_model->Pair_MakeFakeMarkers(fgPoints, bgPoints);
    for (auto [link, points] : {std::pair{fgLink, &fgPoints}, std::pair{bgLink, &bgPoints}}) {
        if (!link) continue;
        link->SetMarkerType(false);
        if (reset) link->SetNotMerged();
        Marker* set = link->GetMarkers(false);
        if (!set) {
            set = new Marker(0);
            link->SetFakeMarkers(set);
        }
        set->SetMarkers(points->data(), static_cast<int>(points->size()));
    }
    return true;
}

void COverlapPair::OnStitch()
{
    if (!StitchThisPair(false)) return;
    SuperManager* manager = GetSuperManager();
    if (!manager) return;
    // Only a pair the manager stitched is merged and its window closed;
    // otherwise the window stays open with the pair as it was.
    if (!manager->MarkerStitch(true)) return;
    ImageFrame* fg = m_fg;
    ImageFrame* bg = m_bg;
    if (Neighbor* link = fg->FindNeighbor(bg)) link->SetMerged();
    if (Neighbor* link = bg->FindNeighbor(fg)) link->SetMerged();
    fg->SetMerged();
    bg->SetMerged();
    // Closing the window deletes this view: nothing of it is used after.
    manager->ClosePairWindow(false);
    manager->ResumeAutoStitch();
}
