// Zoom, the print layout with printing and page images, the clipboard copy
// and web printing of the rect-map view. The zoom is kept equal in x and y;
// the layout's settings outlive it in the manager's page-setup record.
#include "app/panorama/rect_map_view.h"
#include "app/views/image_size_dlg.h"

#include "app/control/super_manager.h"
#include "app/control/tool_state.h"
#include "app/shell/main_frame.h"
#include "app/shell/web_print_upload_dlg.h"
#include "app/views/image_loaders.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/win/prompter.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"
#include "viewkit/printing.h"
#include "worldmap/world_map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr UINT kFramePageSetupCommand = 32775;
constexpr float kZoomLow = 0.2f;
constexpr float kZoomHigh = 2.1f;
// Float steps of 0.05 land a hair beside the limits.
constexpr float kZoomSlack = 1e-4f;

bool KeyHeld(int key)
{
    return (GetKeyState(key) & 0x8000) != 0;
}

}  // namespace

// ---- Zoom ------------------------------------------------------------------------------

void CRectMapView::SetZoom(float z)
{
    float oldX = 1.0f, oldY = 1.0f;
    GetCurrentZoom(oldX, oldY);
    if (!ChangeZoom(z, z)) return;
    float newX = 1.0f, newY = 1.0f;
    GetCurrentZoom(newX, newY);
    UpdateScrollSizes(false);
    UpdateTitle();
    const float sx = newX / oldX, sy = newY / oldY;
    m_perspectiveRect.left = static_cast<LONG>(m_perspectiveRect.left * sx);
    m_perspectiveRect.right = static_cast<LONG>(m_perspectiveRect.right * sx);
    m_perspectiveRect.top = static_cast<LONG>(m_perspectiveRect.top * sy);
    m_perspectiveRect.bottom = static_cast<LONG>(m_perspectiveRect.bottom * sy);
    if (m_hWnd) Invalidate(TRUE);
    // A zoom dialog showing another zoom is out of date.
    if (CImageSizeDlg* dialog = GetZoomDialog(); dialog && std::fabs(dialog->GetZoom() - z) > 0.0001f) OnZoomDialogNotify(CImageSizeDlg::kClosed, 0.0f);
    if (m_parentView) m_parentView->FitFrameToView();
}

void CRectMapView::ZoomToFit()
{
    Image* screen = GetScreen();
    auto* main = dynamic_cast<CMainFrame*>(AfxGetMainWnd());
    // An empty picture has no size to fit: the zoom stays.
    if (!screen || screen->GetWidth() <= 0 || screen->GetHeight() <= 0 || !main) return;
    RECT free{};
    main->GetFreeClientRect(&free);
    const float aw = static_cast<float>(free.right - free.left);
    const float ah = static_cast<float>(free.bottom - free.top);
    const float z = std::max(std::min(aw / screen->GetWidth(), ah / screen->GetHeight()), 0.1f);
    SetZoom(z);
    if (m_parentView && m_parentView->m_hWnd)
        m_parentView->SetWindowPos(nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CRectMapView::ZoomInStep(bool ctrl, bool shift)
{
    if (ctrl) return ZoomToFit();
    if (shift) return SetZoom(1.0f);
    float z = 1.0f, zy = 1.0f;
    GetCurrentZoom(z, zy);
    float next = z + kZoomStep;
    if (next > kZoomHigh + kZoomSlack) return;
    if (z < 1.0f && next > 1.0f) next = 1.0f;
    SetZoom(next);
}

void CRectMapView::ZoomOutStep(bool ctrl, bool shift)
{
    if (ctrl) return ZoomToFit();
    if (shift) return SetZoom(1.0f);
    float z = 1.0f, zy = 1.0f;
    GetCurrentZoom(z, zy);
    float next = z - kZoomStep;
    if (next < kZoomLow - kZoomSlack) return;
    if (z > 1.0f && next < 1.0f) next = 1.0f;
    SetZoom(next);
}

void CRectMapView::OnZoomTable(UINT id)
{
    static constexpr float kTable[] = {0.25f, 0.5f, 0.75f, 1.0f, 1.5f, 2.0f};
    if (id >= 32801 && id <= 32806) SetZoom(kTable[id - 32801]);
}

void CRectMapView::OnZoomWindowCommand(UINT id)
{
    bool changed = false;
    switch (id) {
    case 32791:
        return ZoomInStep(KeyHeld(VK_CONTROL), KeyHeld(VK_SHIFT));
    case 32792:
        return ZoomOutStep(KeyHeld(VK_CONTROL), KeyHeld(VK_SHIFT));
    case 32813:
        changed = ZoomIn();
        break;
    case 32814:
        changed = ZoomOut();
        break;
    case 32815:
        changed = ResetZoom();
        break;
    default:
        return;
    }
    if (!changed) return;
    UpdateScrollSizes(false);
    if (m_hWnd) Invalidate(TRUE);
}

// ---- Print layout ----------------------------------------------------------------------

void CRectMapView::StoreLayoutSettings()
{
    SuperManager* manager = GetSuperManager();
    PageSetupRecord* record = manager ? manager->EditPageSetup() : nullptr;
    if (!record || !m_printLayout) return;
    m_printLayout->GetMargin(&record->margins);
    int x = 0, y = 0;
    m_printLayout->GetOffset(x, y, false);
    record->offset = POINT{x, y};
    record->ratio = m_printLayout->GetRatio();
    if (Image* screen = GetScreen()) record->imageSize = POINT{screen->GetWidth(), screen->GetHeight()};
}

bool CRectMapView::ShowPrintLayout()
{
    ResetCurrentTool(ToolState::kGeneralGroup);
    SuperManager* manager = GetSuperManager();
    Image* screen = GetScreen();
    if (!manager || !screen || !screen->GetData()) {
        Logger::log("ERROR CRectMapView::TogglePrintLayout nothing to print", 1);
        return false;
    }
    if (!manager->GetPageSetup()) {
        win::PageSetupRequest request;
        const win::PageSetupAnswer answer = win::GetPrompter().PageSetup(request);
        if (!answer.ok) return false;
        if (answer.paperSize.x == 0 || answer.paperSize.y == 0) {
            AfxMessageBox("Paper size is 0. Can not print.", MB_OK | MB_ICONEXCLAMATION);
            return false;
        }
        manager->SetPageSetup({answer.paperSize, answer.minMargins, answer.margins});
    }
    PageSetupRecord* record = manager->EditPageSetup();
    if (record->imageSize.x != screen->GetWidth() || record->imageSize.y != screen->GetHeight()) {
        record->imageSize = POINT{screen->GetWidth(), screen->GetHeight()};
        record->ratio = -1.0f;
    }
    RECT part = *GetSelectionRect();
    part.right += 1;  // the layout takes right and bottom exclusive
    part.bottom += 1;
    POINT offset = record->offset;
    auto* layout = new CPrinting();
    layout->Init(screen, &record->paperSize, &record->margins, &record->minMargins, &part, &offset, record->ratio);
    if (m_hWnd) layout->CreateToolBar(0, this);
    SetPrintLayout(layout);
    if (m_hWnd) Invalidate(TRUE);
    return true;
}

void CRectMapView::TogglePrintLayout()
{
    if (m_printLayout) {
        StoreLayoutSettings();
        SetPrintLayout(nullptr);
        if (m_hWnd) Invalidate(TRUE);
        return;
    }
    ShowPrintLayout();
}

void CRectMapView::LayoutMouse(UINT message, UINT flags, int x, int y)
{
    bool changed = false;
    switch (message) {
    case WM_LBUTTONDOWN:
        m_printLayout->MouseDown(x, y);
        if (m_hWnd) SetCapture();
        break;
    case WM_MOUSEMOVE:
        if (flags & MK_LBUTTON)
            changed = m_printLayout->MouseMove(x, y);
        else
            m_printLayout->SetCursorState(m_printLayout->GetMouseLocation(x, y));
        break;
    case WM_LBUTTONUP:
        if (m_hWnd && GetCapture() == this) ReleaseCapture();
        m_printLayout->MouseUp(x, y);
        changed = (flags & MK_CONTROL) ? m_printLayout->ToggleSelection(x, y) : m_printLayout->RemoveSmallPage();
        break;
    default:
        break;
    }
    if (changed && m_hWnd) Invalidate(TRUE);
}

void CRectMapView::OnPrinterSetup()
{
    SuperManager* manager = GetSuperManager();
    const PageSetupRecord* before = manager ? manager->GetPageSetup() : nullptr;
    if (!m_printLayout || !before) return;
    const PageSetupRecord copy = *before;
    if (CWnd* main = AfxGetMainWnd()) main->SendMessage(WM_COMMAND, kFramePageSetupCommand, 0);
    const PageSetupRecord* after = manager->GetPageSetup();
    if (!after) return;
    const bool changed = std::memcmp(&copy.paperSize, &after->paperSize, sizeof(POINT)) != 0 ||
                         std::memcmp(&copy.margins, &after->margins, sizeof(RECT)) != 0;
    if (!changed) return;
    SetPrintLayout(nullptr);
    ShowPrintLayout();
}

void CRectMapView::OnLayoutCommand(UINT id)
{
    if (id == 32810) {
        if (!m_printLayout)
            ShowPrintLayout();
        else
            OnFilePrint();
        return;
    }
    if (!m_printLayout) return;
    int columns = 1, rows = 1;
    switch (id) {
    case 32890: columns = 1; rows = 1; break;
    case 32891: columns = 2; rows = 1; break;
    case 32894: columns = 3; rows = 1; break;
    case 32892: columns = 1; rows = 2; break;
    case 32893: columns = 2; rows = 2; break;
    case 32895: columns = 3; rows = 2; break;
    default: return;
    }
    if (m_printLayout->ChangeLayout(columns, rows) && m_hWnd) Invalidate(TRUE);
}

void CRectMapView::OnPageImages()
{
    if (!m_printLayout) return;
    const int pages = m_printLayout->GetNumbPages();
    for (int n = 1; n <= pages; ++n) {
        Image* page = nullptr;
        if (!m_printLayout->GetPageImage(n, &page) || !page) continue;
        char name[16];
        std::snprintf(name, sizeof(name), "Page%02d", n);
        OpenImageWindow(page, name);
        m_printLayout->GetPageImage(-1, &page);
    }
}

BOOL CRectMapView::OnPreparePrinting(CPrintInfo* info)
{
    if (!info) return FALSE;
    if (!m_printLayout && !ShowPrintLayout()) return FALSE;
    const UINT pages = static_cast<UINT>(std::max(m_printLayout->GetNumbPages(), 0));
    info->SetMinPage(1);
    info->SetMaxPage(pages);
    if (!DoPreparePrinting(info)) return FALSE;
    info->m_nFromPage = 1;
    info->m_nToPage = pages;
    return pages > 0;
}

void CRectMapView::OnPrint(CDC* dc, CPrintInfo* info)
{
    if (!m_printLayout || !info) return;
    if (!m_printLayout->Print(dc, static_cast<int>(info->m_nCurPage)))
        Logger::log("ERROR CRectMapView::OnPrint page %u was not printed", 1, info->m_nCurPage);
}

void CRectMapView::OnEndPrinting(CDC*, CPrintInfo*)
{
    StoreLayoutSettings();
    SetPrintLayout(nullptr);
    if (m_hWnd) Invalidate(TRUE);
}

// ---- Clipboard and web printing ------------------------------------------------------

void CRectMapView::OnCopy()
{
    Image* screen = GetScreen();
    if (!screen || !screen->GetData()) return;
    RECT part = *GetSelectionRect();
    CopyToClipBoard(m_hWnd, screen, &part);
}

void CRectMapView::OnWebPrint()
{
    CWebPrintUploadDlg::RunFor(m_worldMap ? m_worldMap->GetName() : nullptr, this);
}

void CRectMapView::OnUpdateWebPrint(CCmdUI* ui)
{
    SuperManager* manager = GetSuperManager();
    if (ui) ui->Enable(manager && manager->HasWebLinks());
}
