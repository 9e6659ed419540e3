#include "app/panorama/rect_map_view.h"
#include "app/panorama/rect_map_tools.h"

#include "app/control/super_manager.h"
#include "app/control/tool_state.h"
#include "app/matching/utilities.h"
#include "app/shell/kestova_doc.h"
#include "core/logger.h"
#include "imaging/list.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"
#include "viewkit/printing.h"
#include "worldmap/bmp_cell.h"
#include "worldmap/text_cell.h"
#include "worldmap/world_map.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

int ViewCount()
{
    return CRectMapView::Views().m_count;
}

void TellManagerOfViewCount(CRectMapView* view)
{
    if (SuperManager* manager = GetSuperManager())
        manager->OnViewDestroyed(view, reinterpret_cast<void*>(static_cast<std::intptr_t>(ViewCount())));
}

float FloatOf(std::uintptr_t param)
{
    return std::bit_cast<float>(static_cast<uint32_t>(param));
}

}  // namespace

// ---- Life ------------------------------------------------------------------------------

CRectMapView::CRectMapView()
{
    Views().Append(this);
    TellManagerOfViewCount(this);
    ResetLeveling();
    m_mode |= toolCursorOn;
}

CRectMapView::~CRectMapView()
{
    delete m_printLayout;
    m_printLayout = nullptr;
    if (m_worldMap) {
        m_worldMap->RemoveViewer(this);
        m_worldMap->Release();
        if (SuperManager* manager = GetSuperManager()) manager->RemoveWorldMapWindow(m_worldMap);
    }
    if (WorldMap* docMap = GetWorldMap(); docMap && docMap != m_worldMap) docMap->RemoveViewer(this);
    m_worldMap = nullptr;
    // The mosaic grid (with its maker dialog), the perspective outline and
    // centre go with the view.
    RemoveMosaicLayout();
    delete m_regionOutline;
    m_regionOutline = nullptr;
    delete m_regionCentre;
    m_regionCentre = nullptr;
    Views().RemoveData(static_cast<void*>(this));
    TellManagerOfViewCount(this);
    if (SuperManager* manager = GetSuperManager()) manager->AddLevelingRotation(m_levelRotation);
    delete m_zoomDialog;
    m_zoomDialog = nullptr;
    if (m_levelingMap) m_levelingMap->Release();
    m_levelingMap = nullptr;
    ClearBrightnessDialogTarget(static_cast<DataViewer*>(this));
    m_savePath.clear();
    if (m_parentView) m_parentView->ChildGone(this);
    m_parentView = nullptr;
    if (m_pDocument) m_pDocument->RemoveView(this);
}

const win::MessageMap* CRectMapView::GetMessageMap() const
{
    static const win::MessageMap map(CommandMessageMap(), {
                                                                       win::on::Command(kCropCommand, &CRectMapView::OnCrop),
                                                                       win::on::Command(kSaveAsCommand, &CRectMapView::OnFileSaveRWMAs),
                                                                       win::on::Command(kSaveFullCommand, &CRectMapView::OnFileSaveRWMAs),
                                                                       win::on::Command(kSaveScreenCommand, &CRectMapView::OnSaveRWMAtDspSize),
                                                                   });
    return &map;
}

void CRectMapView::SetParentView(CWorldMapView* parent)
{
    m_parentView = parent;
    CDocument* doc = parent ? parent->GetDocument() : nullptr;
    // Registered with the document too, so that the document's views lead
    // the program to this view.
    if (doc && doc != m_pDocument) {
        if (m_pDocument) m_pDocument->RemoveView(this);
        doc->AddView(this);
    }
}

WorldMap* CRectMapView::GetWorldMap() const
{
    auto* doc = dynamic_cast<CKestovaDoc*>(GetDocument());
    return doc ? doc->GetWorldMap() : nullptr;
}

void CRectMapView::OnInitialUpdate()
{
    WorldMap* map = GetWorldMap();
    if (!map) return;  // a view of an empty document shows nothing
    if (m_worldMap != map) {
        if (m_worldMap) {
            m_worldMap->RemoveViewer(this);
            m_worldMap->Release();
        }
        m_worldMap = map;
        map->AddReference();
        map->AddViewer(this);
    }
    ResetLeveling();
    BuildScreenBitmap(map);
    UpdateTitle();
    UpdateViewSize();
    int w = 0, h = 0;
    GetViewSize(w, h);
    m_perspectiveRect = RECT{0, 0, w - 1, h - 1};
    if (!(GetStateFlags() & kFitToWindow)) UpdateScrollSizes(false);
    if (m_parentView) m_parentView->FitFrameToView();
}

List& CRectMapView::Views()
{
    static List views(nullptr, 4);
    return views;
}

void CRectMapView::MoveToFront()
{
    const int index = Views().GetIndex(this);
    if (index > 0) Views().MoveToTop(index);
}

void CRectMapView::SetPrintLayout(CPrinting* layout)
{
    if (layout == m_printLayout) return;
    delete m_printLayout;
    m_printLayout = layout;
}

// ---- Leveling record -------------------------------------------------------------------

void CRectMapView::ResetLeveling()
{
    static constexpr float kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::fill(std::begin(m_levelRotation), std::end(m_levelRotation), 0.0f);
    std::copy(std::begin(kIdentity), std::end(kIdentity), m_levelMatrix);
    std::copy(std::begin(kIdentity), std::end(kIdentity), m_savedLevelMatrix);
}

void CRectMapView::SetLevelRotation(const float rotation[3])
{
    if (!rotation) return;
    std::copy(rotation, rotation + 3, m_levelRotation);
}

bool CRectMapView::HasLevelRotation() const
{
    return m_levelRotation[0] != 0.0f || m_levelRotation[1] != 0.0f || m_levelRotation[2] != 0.0f;
}

// ---- Screen bitmap ---------------------------------------------------------------------

bool CRectMapView::MakeScreenImage(int width, int height, int channels)
{
    Image* screen = GetScreen();
    BmpLayer* layer = GetBmpLayer();
    if (!screen || screen->GetWidth() <= 0 || screen->GetHeight() <= 0 || layer->GetCount() == 0) {
        auto* picture = new Image();
        if (picture->BmpInit(width, height, channels) != 0) {
            Logger::log("ERROR CRectMapView::BuildScreenBitmap cannot make a %dx%d image of %d channels", 1, width,
                        height, channels);
            ReleaseImage(picture);
            return false;
        }
        auto* cell = new BmpCell(picture);
        ReleaseImage(picture);
        AddBmpCell(cell);  // the layer keeps its own reference
        RefRelease(cell);
        if (!screen) {
            m_screen = RefPtr<Image>::adopt(new Image());
            screen = GetScreen();
        }
        if (screen->BmpInit(width, height, std::max(layer->GetMaxNmbChannles(), channels)) != 0) {
            Logger::log("ERROR CRectMapView::BuildScreenBitmap cannot make a %dx%d screen image", 1, width, height);
            return false;
        }
        return true;
    }
    if (screen->GetWidth() == width && screen->GetHeight() == height) return false;
    Image* cell = layer->GetImage(0);
    if (screen->GetChannels() < channels) {
        auto* fresh = new Image();
        if (fresh->BmpInit(width, height, channels) != 0) {
            Logger::log("ERROR CRectMapView::BuildScreenBitmap cannot make a %dx%d screen image", 1, width, height);
            ReleaseImage(fresh);
            return false;
        }
        m_screen = RefPtr<Image>::adopt(fresh);
    } else if (!screen->Resize(width, height)) {
        Logger::log("ERROR CRectMapView::BuildScreenBitmap cannot resize the screen image to %dx%d", 1, width, height);
        return false;
    }
    if (cell) cell->Resize(width, height);
    return true;
}

bool CRectMapView::BuildScreenBitmap(WorldMap* map)
{
    if (!map) {
        Logger::log("ERROR CRectMapView::BuildScreenBitmap no map", 1);
        return false;
    }
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0, w = 0, h = 0;
    map->GetDataArea(x0, y0, x1, y1, w, h);
    const int W = map->GetWidth();
    const int H = map->GetHeight();
    w = std::max(w, 0);
    h = std::max(h, 0);
    m_columnShift = (W / 2 - x0) - w / 2;
    m_equatorRow = H / 2 - y0;
    m_gridStep = static_cast<int32_t>(int64_t{W} * 45 / 720);
    if (w == 0 || h == 0) return false;  // nothing covered: the old picture stays

    const bool changed = MakeScreenImage(w, h, map->GetChannels());
    const int limit = 3 * w / 8;
    m_rulerOffset = std::clamp(m_rulerOffset, -limit, limit);
    // One continuous strip from column x0; columns past W wrap round the map.
    // The map's rows go into the cell band by band, each band composed into
    // the screen while it is still in the cache.
    if (Image* target = GetBmpLayer()->GetImage(0); target && target->GetWidth() == w && target->GetHeight() == h)
        ComposeScreenBmp([&](int firstRow, int rows) {
            map->ComputePanoImage(x0, x1 - 1, y0 + firstRow, y0 + firstRow + rows - 1, target, 0, firstRow);
        });
    else
        ComposeScreenBmp();
    return changed;
}

void CRectMapView::UpdateScrollSizes(bool fitToWindow)
{
    UpdateViewSize();
    int vw = 0, vh = 0;
    GetViewSize(vw, vh);
    RECT reference{0, 0, vw, vh};
    if (fitToWindow && m_hWnd) GetClientRect(&reference);
    const int rw = reference.right - reference.left;
    const int rh = reference.bottom - reference.top;
    SetOffset(rw > vw ? (rw - vw) / 2 : 0, rh > vh ? (rh - vh) / 2 : 0);
    SetScrollSizes(MM_TEXT, SIZE{vw, vh});
    ++m_scrollSizeUpdates;
}

// ---- Title -----------------------------------------------------------------------------

void CRectMapView::UpdateTitle()
{
    float zoomX = 1.0f, zoomY = 1.0f;
    GetCurrentZoom(zoomX, zoomY);
    const int percent = static_cast<int>(zoomX * 100.0f + 0.5f);
    const char* name = m_worldMap ? m_worldMap->GetName() : nullptr;
    // A name longer than 236 characters gets a buffer of its own length.
    const size_t length = name ? std::strlen(name) : 0;
    std::string buffer(length > 236 ? length + 20 : 256, '\0');
    int written = 0;
    if (!IsFinal())
        written = std::snprintf(buffer.data(), buffer.size(), "panorama [preview] (%d%%)", percent);
    else if (!name)
        written = std::snprintf(buffer.data(), buffer.size(), "panorama (%d%%)", percent);
    else
        written = std::snprintf(buffer.data(), buffer.size(), "%s [panorama %d%%]", name, percent);
    buffer.resize(static_cast<size_t>(std::clamp<int>(written, 0, static_cast<int>(buffer.size()) - 1)));
    m_title = buffer;
    if (m_pDocument) m_pDocument->SetTitle(m_title.c_str());
}

void CRectMapView::CopyTitle(char* buffer) const
{
    if (!buffer) return;
    // The capacity is a byte; the brightness dialog stores 255 there, so it
    // is read unsigned, and a capacity of 0 leaves no room for anything.
    const size_t capacity = static_cast<unsigned char>(buffer[1]);
    if (capacity == 0) return;
    const std::string& title = m_pDocument ? m_pDocument->GetTitle() : m_title;
    const size_t count = capacity <= title.size() ? capacity - 1 : title.size();
    std::memcpy(buffer, title.data(), count);
    buffer[count] = '\0';
}

// ---- Drawing ---------------------------------------------------------------------------

void CRectMapView::OnDraw(CDC* dc)
{
    if (!dc) return;
    DrawBkground(dc, GetScreen(), GetSysColor(COLOR_3DFACE));
    DrawPerspectiveRegion(dc);
    DrawMosaicLayout(dc);
    DrawTextCells(dc);
    if (m_printLayout) {
        int x = 0, y = 0;
        GetOffset(x, y);
        float zoomX = 1.0f, zoomY = 1.0f;
        GetCurrentZoom(zoomX, zoomY);
        m_printLayout->DrawPreView(dc, x, y, zoomX, zoomY);
    }
    if ((m_mode & levelTool) && !IsFinal()) DrawRuler(dc);
}

void CRectMapView::DrawTextCells(CDC* dc)
{
    WorldMap* map = m_worldMap;
    List* cells = map ? map->GetTextLayer()->GetCellList() : nullptr;
    if (!cells) return;
    const int oldMode = dc->SetBkMode(TRANSPARENT);
    for (int i = 0; i < cells->m_count; ++i) {
        const auto* cell = static_cast<const TextCell*>(cells->GetData(i));
        if (!cell) continue;
        int16_t x = 0, y = 0;
        cell->GetLocation(x, y);
        const COLORREF old = dc->SetTextColor(cell->m_color);
        dc->TextOut(x, y, cell->GetText(), static_cast<int>(cell->m_text.size()));
        dc->SetTextColor(old);
    }
    dc->SetBkMode(oldMode);
}

BOOL CRectMapView::OnEraseBkgnd(CDC*)
{
    return TRUE;  // the picture and its border bands cover the client area
}

// ---- Window messages -------------------------------------------------------------------

void CRectMapView::OnSize(UINT type, int cx, int cy)
{
    DVWupdateSize(cx, cy);
    CScrollView::OnSize(type, cx, cy);
}

void CRectMapView::OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl)
{
    CScrollView::OnHScroll(code, pos, scrollCtrl);
    if (code == SB_ENDSCROLL) DVWupdateScroll(GetScrollPosition());
}

void CRectMapView::OnVScroll(UINT code, UINT pos, CWnd* scrollCtrl)
{
    CScrollView::OnVScroll(code, pos, scrollCtrl);
    if (code == SB_ENDSCROLL) DVWupdateScroll(GetScrollPosition());
}

HCURSOR CRectMapView::ChooseCursor()
{
    if (m_printLayout) {
        static constexpr UINT kLayoutCursors[6] = {236, 231, 232, 233, 234, 245};
        const int state = m_printLayout->GetCursorState();
        return state >= 1 && state <= 6 ? LoadResourceCursor(kLayoutCursors[state - 1]) : nullptr;
    }
    HCURSOR global = GetCurrentToolCursor();
    if (m_mode & perspectiveTool) {
        if (!global) return LoadResourceCursor(kPerspectiveCursor);
        m_mode &= static_cast<uint16_t>(~perspectiveTool);
    }
    if (m_mode & (rollTool | levelTool)) {
        if (!global) return m_toolCursor ? LoadResourceCursor(m_toolCursor) : nullptr;
        m_mode &= static_cast<uint16_t>(~(rollTool | levelTool));
    }
    if (m_mode & toolCursorOn) return m_toolCursor ? LoadResourceCursor(m_toolCursor) : nullptr;
    return global;
}

BOOL CRectMapView::OnSetCursor(CWnd* wnd, UINT hitTest, UINT message)
{
    if (HCURSOR cursor = ChooseCursor()) {
        SetCursor(cursor);
        return TRUE;
    }
    return CScrollView::OnSetCursor(wnd, hitTest, message);
}

// ---- Tools and crop --------------------------------------------------------------------

void CRectMapView::SelectTool(UINT id)
{
    switch (id) {
    case CWorldMapView::kPan:
        m_mode &= static_cast<uint16_t>(~(rollTool | levelTool));
        m_mode |= toolCursorOn;
        m_toolCursor = kPanCursor;
        break;
    case CWorldMapView::kRolling:
        if (m_mode & rollTool) {
            m_mode &= static_cast<uint16_t>(~rollTool);
            m_toolCursor = kRollOffCursor;
        } else {
            m_mode = static_cast<uint16_t>((m_mode | rollTool) & ~levelTool);
        }
        break;
    case CWorldMapView::kLevel:
        if (m_mode & levelTool)
            m_mode &= static_cast<uint16_t>(~levelTool);
        else
            m_mode = static_cast<uint16_t>((m_mode | levelTool) & ~rollTool);
        break;
    case CWorldMapView::kResetLeveling:
        SelectTool(CWorldMapView::kPan);
        if (HasLevelRotation()) {
            ResetLeveling();
            if (m_worldMap) BuildScreenBitmap(m_worldMap);
        }
        break;
    default:
        break;
    }
}

void CRectMapView::OnCrop()
{
    Image* screen = GetScreen();
    if (m_mode & cropped) {
        ComposeScreenBmp();
        m_mode &= static_cast<uint16_t>(~cropped);
        if (m_hWnd) Invalidate(FALSE);
        return;
    }
    if (!screen || !screen->GetData()) {
        Logger::log("ERROR CRectMapView::OnCrop no picture to crop", 1);
        return;
    }
    const bool hadSelection = HasSelectionRect();
    if (!Utilities::CropImage(GetSelectionRect(), screen)) return;
    if (!hadSelection) {
        ResetWndRect();
        m_mode |= cropByWindow;
    }
    m_mode |= cropped;
    if (m_hWnd) Invalidate(TRUE);
}

// ---- Viewer events ---------------------------------------------------------------------

int CRectMapView::Notify(int event, WorldMap* map, std::uintptr_t param)
{
    return RectViewNotify(event, map, param);
}

int CRectMapView::AdjustCell(int event, std::uintptr_t param)
{
    bool done = false;
    if (event == 1)
        done = ChangeTransparency(static_cast<uint16_t>(param));
    else if (event <= 5)
        done = SetGamma(FloatOf(param), event - 2);
    else if (event <= 9)
        done = SetContrast(FloatOf(param), event - 6);
    else if (event <= 13)
        done = SetBrightness(static_cast<char>(static_cast<int>(FloatOf(param))), event - 10);
    else
        done = ResetBCG();
    // A new colour shows the whole panorama again: the crop is undone.
    if (done && event >= 2 && (m_mode & cropped)) OnCrop();
    return done ? 1 : 0;
}

void CRectMapView::SetFinal(bool final)
{
    const bool wasFinal = IsFinal();
    if (final) {
        m_stateBits |= kFinal;
        m_mode &= static_cast<uint16_t>(~(rollTool | levelTool));
    } else {
        m_stateBits &= static_cast<uint8_t>(~kFinal);
    }
    if (wasFinal && !final) {
        float zoomX = 1.0f, zoomY = 1.0f;
        GetCurrentZoom(zoomX, zoomY);
        if (zoomX < 0.8f && zoomY < 0.8f && ResetZoom()) {
            UpdateScrollSizes(false);
            if (m_hWnd) Invalidate(TRUE);
        }
    }
    UpdateTitle();
}

void CRectMapView::EndTools(int code)
{
    if (code == 0 || code == 2) EndPerspectiveTool();
    if ((code == 1 || code == 2) && HasSelectionRect()) {
        if (m_hWnd) {
            CClientDC dc(this);
            RemoveSelectionRect(&dc);
        } else {
            RemoveSelectionRect(nullptr);
        }
        m_stateBits &= static_cast<uint8_t>(~kFreeSelection);
    }
}

void CRectMapView::DestroyPanoramaWindow()
{
    CWnd* outer = m_hWnd ? GetParent() : nullptr;
    CWnd* frame = outer ? outer->GetParent() : nullptr;
    if (!frame) {
        Logger::log("ERROR CRectMapView::RectViewNotify no panorama window to close", 1);
        return;
    }
    frame->DestroyWindow();
}

int CRectMapView::RectViewNotify(int event, WorldMap* map, std::uintptr_t param)
{
    int result = 0;
    switch (event) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 7:
    case 8: case 9: case 10: case 11: case 12: case 13: case 14:
        result = AdjustCell(event, param);
        break;
    case 15: {
        WorldMap* shown = m_worldMap ? m_worldMap : map;
        if (!shown) break;
        if (BuildScreenBitmap(shown)) {
            UpdateScrollSizes(false);
            if (m_parentView) m_parentView->FitFrameToView();
        }
        m_rollOffset = 0;
        result = 1;
        break;
    }
    case 18:
        CopyTitle(reinterpret_cast<char*>(param));
        break;
    case 19:
        DestroyPanoramaWindow();  // the view is gone afterwards
        return 0;
    case 20:
        if (param) *reinterpret_cast<int32_t*>(param) = GetLastUpdatedChannel();
        break;
    case 10001:
        OnCrop();
        break;
    case 10003:
        SetModeBits(fullCircle, param == 1);
        break;
    case 10006:
        if (auto* out = reinterpret_cast<float*>(param)) {
            out[0] = 1.0f;
            std::copy(std::begin(m_levelRotation), std::end(m_levelRotation), out + 1);
        }
        break;
    case 10007:
        ResetLeveling();
        break;
    case 10008:
        SetFinal(param != 0);
        break;
    case 10009:
        EndTools(static_cast<int>(param));
        break;
    default:
        break;  // numbers without a meaning are ignored
    }
    if (event >= 1 && event <= 15 && result == 1 && m_hWnd) Invalidate(FALSE);
    return 0;
}
