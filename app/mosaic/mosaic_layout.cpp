#include "app/mosaic/mosaic_layout.h"

#include "app/mosaic/mosaic_maker_dlg.h"
#include "app/panorama/rect_map_view.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/imgcore/ps_map.h"
#include "platform/win/gdi.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
// Handle box in data pixels: 20 wide, 6 high; hits within 10 columns of the
// column's middle and 3 rows of a line.
constexpr int kHandleHalfWidth = 10;
constexpr int kHandleHeight = 6;
constexpr int kLineSlack = 3;

int ToScreen(int value, float zoom, int offset)
{
    return static_cast<int>(static_cast<float>(value) * zoom) + offset;
}

// The move of a drag in data pixels; the zoom is positive whenever a view
// draws the grid.
int DataMove(int screenMove, float zoom)
{
    return zoom > 0.0f ? static_cast<int>(static_cast<float>(screenMove) / zoom) : screenMove;
}

}  // namespace

MosaicLayout::~MosaicLayout()
{
    delete[] m_boundaries;
    m_boundaries = nullptr;
    CMosaicMakerDlg* dialog = m_makerDialog;
    m_makerDialog = nullptr;
    if (dialog) {
        if (dialog->GetSafeHwnd()) dialog->DestroyWindow();
        delete dialog;
    }
}

bool MosaicLayout::SetDataSize(int width, int height, bool setResolution)
{
    if (width <= 0 || height <= 0) {
        Logger::log("ERROR MosaicLayout::SetDataSize empty data area %dx%d", 1, width, height);
        return false;
    }
    m_dataWidth = width;
    m_dataHeight = height;
    if (setResolution) m_resolutionPercent = std::clamp(30000 / width, 10, 100);
    return true;
}

void MosaicLayout::SetResolutionPercent(int percent)
{
    m_resolutionPercent = percent;
}

bool MosaicLayout::SetTileCount(int n)
{
    if (n == GetTileCount()) return false;
    if (n < 1 || n > m_dataWidth / 2) {
        Logger::log("ERROR MosaicLayout::SetTileCount %d tiles do not fit a width of %d", 1, n, m_dataWidth);
        return false;
    }
    auto* boundaries = new (std::nothrow) int32_t[static_cast<size_t>(n) + 1];
    if (!boundaries) {
        Logger::log("ERROR MosaicLayout::SetTileCount Allocation error.", 1);
        throw std::bad_alloc();
    }
    const int step = m_dataWidth / n;
    for (int i = 0; i <= n; ++i) boundaries[i] = i * step;
    boundaries[n] = m_dataWidth - 1;
    delete[] m_boundaries;
    m_boundaries = boundaries;
    m_boundaryCount = n + 1;
    if (m_skyTile >= n) m_skyTile = n - 1;
    if (m_groundTile >= n) m_groundTile = n - 1;
    return true;
}

void MosaicLayout::ResetRows()
{
    m_skyRow = m_dataHeight / 4;
    m_groundRow = m_dataHeight - m_dataHeight / 4;
}

void MosaicLayout::SetRows(int sky, int ground)
{
    m_skyRow = sky;
    m_groundRow = ground;
}

int MosaicLayout::GetSpanWidth() const
{
    return m_boundaryCount > 0 ? m_boundaries[m_boundaryCount - 1] - m_boundaries[0] : 0;
}

// ---- Drawing --------------------------------------------------------------------------

void MosaicLayout::DrawHandle(CDC* dc, int middle, int row, bool above, int offsetX, int offsetY, float zoomX,
                              float zoomY) const
{
    const int left = ToScreen(middle - kHandleHalfWidth, zoomX, offsetX);
    const int right = ToScreen(middle + kHandleHalfWidth, zoomX, offsetX);
    const int near = ToScreen(row, zoomY, offsetY);
    const int far = ToScreen(above ? row - kHandleHeight : row + kHandleHeight, zoomY, offsetY);
    const POINT box[5] = {{left, near}, {left, far}, {right, far}, {right, near}, {left, near}};
    dc->Polyline(box, 5);
}

void MosaicLayout::Draw(CDC* dc, int offsetX, int offsetY, float zoomX, float zoomY) const
{
    if (!dc || m_boundaryCount < 2) return;
    CPen dotted(PS_DOT, 1, kRed);
    CPen* old = dc->SelectObject(&dotted);
    const int sky = ToScreen(m_skyRow, zoomY, offsetY);
    const int ground = ToScreen(m_groundRow, zoomY, offsetY);
    for (int i = 0; i < m_boundaryCount; ++i) {
        const int x = ToScreen(m_boundaries[i], zoomX, offsetX);
        dc->MoveTo(x, sky);
        dc->LineTo(x, ground);
    }
    const int first = ToScreen(m_boundaries[0], zoomX, offsetX);
    const int last = ToScreen(m_boundaries[m_boundaryCount - 1], zoomX, offsetX);
    dc->MoveTo(first, sky);
    dc->LineTo(last, sky);
    dc->MoveTo(first, ground);
    dc->LineTo(last, ground);
    CPen solid(PS_SOLID, 2, kRed);
    dc->SelectObject(&solid);
    if (m_skyOn && HasTile(m_skyTile))
        DrawHandle(dc, ColumnMiddle(m_skyTile), m_skyRow, true, offsetX, offsetY, zoomX, zoomY);
    if (m_groundOn && HasTile(m_groundTile))
        DrawHandle(dc, ColumnMiddle(m_groundTile), m_groundRow, false, offsetX, offsetY, zoomX, zoomY);
    dc->SelectObject(old);
}

// ---- Hits and drags -------------------------------------------------------------------

int MosaicLayout::HitTest(int x, int y) const
{
    if (m_boundaryCount < 1) return kNothing;
    if (m_skyOn && HasTile(m_skyTile) && y >= m_skyRow - kHandleHeight && y <= m_skyRow &&
        std::abs(x - ColumnMiddle(m_skyTile)) <= kHandleHalfWidth)
        return kSkyHandle;
    if (m_groundOn && HasTile(m_groundTile) && y >= m_groundRow && y <= m_groundRow + kHandleHeight &&
        std::abs(x - ColumnMiddle(m_groundTile)) <= kHandleHalfWidth)
        return kGroundHandle;
    const int first = m_boundaries[0], last = m_boundaries[m_boundaryCount - 1];
    if (std::abs(y - m_skyRow) <= kLineSlack && x >= first && x <= last) return kSkyLine;
    if (std::abs(y - m_groundRow) <= kLineSlack && x >= first && x <= last) return kGroundLine;
    for (int i = 0; i < m_boundaryCount; ++i)
        if (std::abs(x - m_boundaries[i]) <= kLineSlack) return i;
    return kNothing;
}

int MosaicLayout::DragPosition(float zoomX, float zoomY, int dx, int dy) const
{
    const int mx = DataMove(dx, zoomX), my = DataMove(dy, zoomY);
    switch (m_dragTarget) {
    case kGroundHandle:
        return HasTile(m_groundTile) ? ColumnMiddle(m_groundTile) + mx : -1;
    case kSkyHandle:
        return HasTile(m_skyTile) ? ColumnMiddle(m_skyTile) + mx : -1;
    case kGroundLine:
        return std::clamp(m_groundRow + my, m_skyRow + 1, std::max(m_skyRow + 1, m_dataHeight - 1));
    case kSkyLine:
        return std::clamp(m_skyRow + my, 0, std::max(0, m_groundRow - 1));
    default:
        break;
    }
    const int i = m_dragTarget;
    if (i < 0 || i >= m_boundaryCount) return -1;
    const int low = i == 0 ? 0 : m_boundaries[i - 1] + 1;
    const int high = i == m_boundaryCount - 1 ? m_dataWidth - 1 : m_boundaries[i + 1] - 1;
    return std::clamp(m_boundaries[i] + mx, low, std::max(low, high));
}

int MosaicLayout::ColumnAt(int x) const
{
    for (int i = 0; i + 1 < m_boundaryCount; ++i)
        if (m_boundaries[i] <= x && x < m_boundaries[i + 1]) return i;
    return -1;
}

void MosaicLayout::ApplyDrag(float zoomX, float zoomY, int dx, int dy)
{
    const int position = DragPosition(zoomX, zoomY, dx, dy);
    if (position < 0) return;
    bool changed = false;
    switch (m_dragTarget) {
    case kSkyHandle:
    case kGroundHandle: {
        const int column = ColumnAt(position);
        int32_t& tile = m_dragTarget == kSkyHandle ? m_skyTile : m_groundTile;
        if (column >= 0 && column != tile) {
            tile = column;
            changed = true;
        }
        break;
    }
    case kSkyLine:
        changed = position != m_skyRow;
        m_skyRow = position;
        break;
    case kGroundLine:
        changed = position != m_groundRow;
        m_groundRow = position;
        break;
    default:
        changed = position != m_boundaries[m_dragTarget];
        m_boundaries[m_dragTarget] = position;
        break;
    }
    if (changed && m_makerDialog) m_makerDialog->Refresh();
}

void MosaicLayout::DrawDragFeedback(CDC* dc, int offsetX, int offsetY, float zoomX, float zoomY, int x1, int y1,
                                    int x2, int y2) const
{
    if (!dc || m_boundaryCount < 2) return;
    const int positions[2] = {DragPosition(zoomX, zoomY, x1, y1), DragPosition(zoomX, zoomY, x2, y2)};
    if (positions[0] < 0 && positions[1] < 0) return;
    // Inverting: drawing the same figure twice gives the screen back.
    const int oldRop = dc->SetROP2(R2_NOT);
    CPen pen(PS_SOLID, 1, 0);
    CPen* oldPen = dc->SelectObject(&pen);
    const int first = m_boundaries[0], last = m_boundaries[m_boundaryCount - 1];
    for (int position : positions) {
        if (position < 0) continue;
        switch (m_dragTarget) {
        case kSkyHandle:
            DrawHandle(dc, position, m_skyRow, true, offsetX, offsetY, zoomX, zoomY);
            break;
        case kGroundHandle:
            DrawHandle(dc, position, m_groundRow, false, offsetX, offsetY, zoomX, zoomY);
            break;
        case kSkyLine:
        case kGroundLine: {
            const int y = ToScreen(position, zoomY, offsetY);
            dc->MoveTo(ToScreen(first, zoomX, offsetX), y);
            dc->LineTo(ToScreen(last, zoomX, offsetX), y);
            break;
        }
        default: {
            const int x = ToScreen(position, zoomX, offsetX);
            dc->MoveTo(x, ToScreen(m_skyRow, zoomY, offsetY));
            dc->LineTo(x, ToScreen(m_groundRow, zoomY, offsetY));
            break;
        }
        }
    }
    dc->SelectObject(oldPen);
    dc->SetROP2(oldRop);
}

// ---- The maker dialog -----------------------------------------------------------------

void MosaicLayout::OpenMakerDialog(CRectMapView* view)
{
    m_view = view;
    if (m_makerDialog) return;
    RegisterMosaicResources();
    auto* dialog = new CMosaicMakerDlg();
    dialog->SetLayout(this);
    if (!dialog->Create(CMosaicMakerDlg::kTemplateId, view)) {
        Logger::log("ERROR MosaicLayout::OpenMakerDialog the maker dialog cannot be created", 1);
        delete dialog;
        return;
    }
    m_makerDialog = dialog;
    dialog->ShowWindow(SW_SHOW);
    dialog->Refresh();
}

void MosaicLayout::ApplyDialogSettings()
{
    if (!m_makerDialog) return;
    bool changed = SetTileCount(m_makerDialog->GetTileCount());
    const bool sky = m_makerDialog->IsSkyChecked();
    if (sky != m_skyOn) {
        if (sky && m_skyTile < 0) m_skyTile = m_boundaryCount / 2;
        m_skyOn = sky;
        changed = true;
    }
    const bool ground = m_makerDialog->IsGroundChecked();
    if (ground != m_groundOn) {
        if (ground && m_groundTile < 0) m_groundTile = m_boundaryCount / 2;
        m_groundOn = ground;
        changed = true;
    }
    if (changed && m_view && m_view->GetSafeHwnd()) m_view->Invalidate(TRUE);
}

void MosaicLayout::CloseMakerDialog()
{
    CMosaicMakerDlg* dialog = m_makerDialog;
    m_makerDialog = nullptr;
    if (dialog) {
        if (dialog->GetSafeHwnd()) dialog->DestroyWindow();
        delete dialog;
    }
    // The view deletes this layout: nothing of it may be touched afterwards.
    if (m_view) m_view->RemoveMosaicLayout();
}

Image* MosaicLayout::MakeBackground(int width) const
{
    int w = static_cast<int>(int64_t{m_dataWidth} * m_resolutionPercent / 100);
    int h = static_cast<int>(int64_t{m_dataHeight} * m_resolutionPercent / 100);
    if (w <= 0 || h <= 0) {
        Logger::log("ERROR MosaicLayout::MakeBackground no data area at %d%%", 1, m_resolutionPercent);
        return nullptr;
    }
    if (width > 0) {
        h = static_cast<int>(h * (static_cast<double>(width) / w));
        w = width;
        if (h <= 0) {
            Logger::log("ERROR MosaicLayout::MakeBackground width %d leaves no rows", 1, width);
            return nullptr;
        }
    }
    auto* image = new Image(w, h, 3);
    if (!image->GetData()) {
        ReleaseImage(image);
        Logger::log("ERROR MosaicLayout::MakeBackground Allocation error.", 1);
        throw std::bad_alloc();
    }
    FillEmptyPixels(image, kBaseFill);
    const int from = 2 * w / 3;
    for (int y = 0; y < h; ++y) {
        unsigned char* p = image->GetData() + static_cast<size_t>(y) * image->GetRowByte() + static_cast<size_t>(from) * 3;
        for (int x = from; x < w; ++x, p += 3) {
            p[0] = 128;
            p[1] = 128;
            p[2] = 1;
        }
    }
    return image;
}
