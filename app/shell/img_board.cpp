#include "app/shell/img_board.h"

#include "app/control/super_manager.h"
#include "app/shell/dir_tree.h"
#include "app/shell/main_frame.h"
#include "app/views/image_loaders.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "imaging/list.h"
#include "platform/win/clipboard.h"
#include "platform/win/controls.h"
#include "platform/win/drag_drop.h"
#include "platform/win/file_system.h"
#include "platform/win/gdi.h"
#include "platform/win/system.h"
#include "platform/win/win_thread.h"
#include "platform/win/window_dc.h"
#include "projectgraph/framegrp/image_frame.h"
#include "viewkit/bmp_info.h"
#include "worldmap/image_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kCellWidth = 100;
constexpr int kCellHeight = 112;
constexpr int kMargin = 4;
constexpr COLORREF kMarkColour = RGB(0, 0, 255);
constexpr int kNameSplitLength = 16;  // longer names take two lines

ThumbnailLoader g_loader = nullptr;
std::chrono::milliseconds g_stopWaitRound{100};

Image* DefaultLoader(const char* path, int size)
{
    return LoadThumbnail(path, size);
}

ThumbnailLoader CurrentLoader()
{
    return g_loader ? g_loader : &DefaultLoader;
}

CMainFrame* MainFrameWindow()
{
    return dynamic_cast<CMainFrame*>(AfxGetMainWnd());
}

// The tree shows Windows paths ("E:\\f"); the image readers and the
// project take the file's own path, as the file layer maps it.
std::string NativeFilePath(const std::string& folder, const std::string& name)
{
    return win::ToPosixPath(folder + "\\" + name);
}

// The stamp of a project frame turned back to the file's own orientation.
Image* TurnedBackStamp(ImageFrame* frame)
{
    Image* copy = frame->GetStampBmp()->Duplicate();
    if (!copy) return nullptr;
    const int angle = frame->GetImageRotationAngle();
    if (angle == 90)
        copy->Rotate(-90);
    else if (angle == -90)
        copy->Rotate(90);
    else if (angle != 0)
        copy->Rotate(angle);
    return copy;
}

}  // namespace

CImgBoard::CImgBoard() : CFormView(kDialogId) {}

CImgBoard::~CImgBoard()
{
    StopWorker(false);
    m_job.reset();
    ReleaseImage(m_preview);
    m_preview = nullptr;
    m_list.reset();
}

// ---- Geometry ---------------------------------------------------------------------

CellLayout CImgBoard::GetCellLayout(int clientWidth, int count)
{
    CellLayout layout;
    layout.columns = std::max(1, (clientWidth + 15) / kCellWidth);
    layout.rows = count > 0 ? (count + layout.columns - 1) / layout.columns : 0;
    return layout;
}

POINT CImgBoard::CellOrigin(const CellLayout& layout, int index)
{
    return POINT{(index % layout.columns) * layout.cellWidth + kMargin,
                 (index / layout.columns) * layout.cellHeight + kMargin};
}

SIZE CImgBoard::GridSize(const CellLayout& layout)
{
    return SIZE{layout.columns * layout.cellWidth + 8, layout.rows * layout.cellHeight + 8};
}

int CImgBoard::HitTest(POINT content) const
{
    const int count = m_list ? m_list->m_count : 0;
    if (count == 0 || content.x < kMargin || content.y < kMargin) return -1;
    CRect client;
    GetClientRect(&client);
    const CellLayout layout = GetCellLayout(client.Width(), count);
    const int column = (content.x - kMargin) / kCellWidth;
    const int row = (content.y - kMargin) / kCellHeight;
    if (column >= layout.columns || row >= layout.rows) return -1;
    const int index = row * layout.columns + column;
    if (index >= count) return -1;
    const POINT origin = CellOrigin(layout, index);
    if (content.x >= origin.x + kThumbnailSize || content.y >= origin.y + kThumbnailSize) return -1;
    return index;
}

bool CImgBoard::IsWorldMapFile(const char* path)
{
    int width = 0, height = 0, equatorWidth = 0, column = 0, row = 0, mapType = 0;
    return path && GetWMapInfo(path, width, height, equatorWidth, column, row, mapType) == 2;
}

void CImgBoard::SetThumbnailLoader(ThumbnailLoader loader)
{
    g_loader = loader;
}

void CImgBoard::SetStopWaitRound(std::chrono::milliseconds round)
{
    g_stopWaitRound = round;
}

// ---- Controls -----------------------------------------------------------------------

CListBox* CImgBoard::GetFileList() const
{
    return static_cast<CListBox*>(GetDlgItem(kFileList));
}

std::string CImgBoard::FileName(int index) const
{
    std::string name;
    if (CListBox* list = GetFileList(); list && index >= 0 && index < list->GetCount()) list->GetText(index, name);
    return name;
}

ThumbnailItem* CImgBoard::Item(int index) const
{
    return m_list && index >= 0 && index < m_list->m_count ? static_cast<ThumbnailItem*>(m_list->GetData(index))
                                                          : nullptr;
}

bool CImgBoard::IsMarked(int index) const
{
    const ThumbnailItem* item = Item(index);
    return item && (item->flags & kThumbnailMarked);
}

bool CImgBoard::IsLoading() const
{
    return m_job && m_job->running.load();
}

void PreviewBox::OnPaint()
{
    CPaintDC dc(this);
    if (m_board) m_board->DrawPreview(&dc);
}

void CImgBoard::OnInitialUpdate()
{
    if (!m_previewBox.m_hWnd) m_previewBox.SubclassDlgItem(kPreview, this);
    CFormView::OnInitialUpdate();
    CRect client;
    GetClientRect(&client);
    SetScrollSizes(MM_TEXT, SIZE{std::max(1, client.Width()), std::max(1, client.Height())});
}

void CImgBoard::ShowControls(bool show)
{
    for (UINT id : {kFileList, kPreview})
        if (CWnd* control = GetDlgItem(id)) control->ShowWindow(show ? SW_SHOW : SW_HIDE);
}

void CImgBoard::LayoutListMode(int cx, int cy)
{
    CWnd* list = GetDlgItem(kFileList);
    CWnd* preview = GetDlgItem(kPreview);
    if (!list || !preview) return;
    CRect box;
    preview->GetWindowRect(&box);
    const int listWidth = std::max(50, cx - box.Width() - 6);
    list->MoveWindow(0, 0, listWidth, cy);
    preview->MoveWindow(listWidth + 2, std::max(0, (cy - box.Height()) / 2), box.Width(), box.Height());
}

void CImgBoard::UpdateScrollSizes()
{
    // Showing or hiding a scroll bar resizes the client, which comes back
    // here through OnSize; one pass settles it (see OnSize).
    if (m_settingScrollSizes) return;
    m_settingScrollSizes = true;
    // A bar that came or went changes the width and so the columns: again,
    // a bounded number of times.
    for (int pass = 0; pass < 3; ++pass) {
        CRect before;
        GetClientRect(&before);
        SetScrollSizesForItems();
        CRect after;
        GetClientRect(&after);
        if (after.Width() == before.Width()) break;
    }
    m_settingScrollSizes = false;
}

void CImgBoard::SetScrollSizesForItems()
{
    CRect client;
    GetClientRect(&client);
    const int count = m_list ? m_list->m_count : 0;
    if ((m_flags & kBoardThumbnails) && count > 0) {
        SetScrollSizes(MM_TEXT, GridSize(GetCellLayout(client.Width(), count)));
        return;
    }
    SetScrollSizes(MM_TEXT, SIZE{std::max(1, client.Width()), std::max(1, client.Height())});
}

// ---- Folder and modes ----------------------------------------------------------------

void CImgBoard::ReadFolder()
{
    StopLoading();
    CListBox* list = GetFileList();
    if (!m_tree || !list) return;
    std::string pattern;
    const bool worldMaps = m_tree->GetFileFilter(pattern);
    list->ResetContent();
    SetPreview(nullptr, std::string());
    const std::string& folder = m_tree->GetFolderPath();
    std::vector<std::string> names;
    WIN32_FIND_DATA data{};
    HANDLE find = FindFirstFile(pattern.c_str(), &data);
    const bool matched = find != INVALID_HANDLE_VALUE;
    if (matched) {
        do {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            if (worldMaps && !IsWorldMapFile(NativeFilePath(folder, data.cFileName).c_str())) continue;
            names.emplace_back(data.cFileName);
        } while (FindNextFile(find, &data));
        FindClose(find);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) list->AddString(name.c_str());
    DeleteThumbnails();
    m_current = -1;
    m_flags &= ~kBoardInterrupted;
    if (!matched) {
        Invalidate();
        return;
    }
    if (m_flags & kBoardThumbnails) {
        StartLoading();
        Invalidate();
    } else if (names.empty()) {
        if (CWnd* preview = GetDlgItem(kPreview)) preview->Invalidate();
        Invalidate();
    }
}

void CImgBoard::SetListMode(bool list)
{
    if (list == IsListMode()) return;
    CRect client;
    GetClientRect(&client);
    if (list) {
        StopLoading();
        m_flags &= ~kBoardThumbnails;
        ShowControls(true);
        LayoutListMode(client.Width(), client.Height());
        SetScrollSizes(MM_TEXT, SIZE{std::max(1, client.Width()), std::max(1, client.Height())});
    } else {
        m_flags |= kBoardThumbnails;
        ShowControls(false);
        if (m_list && !(m_flags & kBoardInterrupted))
            UpdateScrollSizes();
        else
            StartLoading();
    }
    Invalidate();
}

void CImgBoard::SetShowNames(bool show)
{
    const uint32_t before = m_flags;
    m_flags = show ? (m_flags | kBoardNames) : (m_flags & ~kBoardNames);
    if (before != m_flags) Invalidate();
}

// ---- Loading ----------------------------------------------------------------------------

void CImgBoard::DeleteThumbnails()
{
    m_list.reset();
}

void CImgBoard::ShowStatus(const char* text)
{
    if (CMainFrame* main = MainFrameWindow()) main->SetPaneText59000(text);
}

void CImgBoard::RelayStatus(const std::string& text)
{
    // The board keeps the text the message points at until the main frame
    // has handled it (the message is sent, not posted).
    m_statusText = text;
    if (CMainFrame* main = MainFrameWindow())
        main->SendMessage(WM_STATUS_TEXT, reinterpret_cast<WPARAM>(m_statusText.c_str()), 0);
}

void CImgBoard::StartLoading()
{
    StopLoading();
    CListBox* files = GetFileList();
    const int n = files ? std::min(files->GetCount(), 0xFFFF) : 0;
    if (m_list && (!(m_flags & kBoardInterrupted) || n < 3)) {
        DeleteThumbnails();
        m_flags &= ~kBoardInterrupted;
        Invalidate();  // painted with the button face
    }
    m_current = -1;
    CRect client;
    GetClientRect(&client);
    if (n < 1) {
        SetScrollSizes(MM_TEXT, SIZE{std::max(1, client.Width()), std::max(1, client.Height())});
        return;
    }
    if (!m_list) m_list = std::make_unique<List>(&FreeThumbnailItem, static_cast<unsigned short>(n));
    const std::string folder = m_tree ? m_tree->GetFolderPath() : std::string();
    if (n < 3) {
        for (int k = 0; k < n; ++k) {
            const std::string name = FileName(k);
            char text[512];
            std::snprintf(text, sizeof text, "Loading #%d thumbnail %s", k + 1, name.c_str());
            ShowStatus(text);
            Image* image = CurrentLoader()(NativeFilePath(folder, name).c_str(), kThumbnailSize);
            if (!image) continue;
            auto* item = new ThumbnailItem{image, static_cast<uint16_t>(k), 0};
            if (m_list->Append(item) < 0) FreeThumbnailItem(item);
        }
        ShowStatus("");
        UpdateScrollSizes();
        Invalidate();
        return;
    }
    // A worker that outlived a stop keeps its own job; this load gets a new one.
    if (!m_job || m_job->running.load()) m_job = std::make_shared<ThumbnailJob>();
    ThumbnailJob& job = *m_job;
    job.DiscardReports();
    const CellLayout layout = GetCellLayout(client.Width(), n);
    job.stop.store(0);
    job.interrupted.store(0);
    job.running.store(1);
    job.board = m_hWnd;
    CMainFrame* main = MainFrameWindow();
    job.mainFrame = main ? main->m_hWnd : nullptr;
    job.folder = win::ToPosixPath(folder);
    while (!job.folder.empty() && job.folder.back() == '/') job.folder.pop_back();
    job.files.clear();
    for (int k = 0; k < n; ++k) job.files.push_back(FileName(k));
    const ThumbnailItem* last = m_list->m_count > 0 ? Item(m_list->m_count - 1) : nullptr;
    job.firstFile = last ? last->fileIndex + 1 : 0;
    job.loader = CurrentLoader();
    job.clientWidth.store(client.Width());
    job.count = n;
    job.cellWidth = layout.cellWidth;
    job.cellHeight = layout.cellHeight;
    job.columns.store(layout.columns);
    m_flags &= ~kBoardInterrupted;
    if (m_list->m_count > 0) Invalidate();  // the kept thumbnails are shown again
    auto* share = new std::shared_ptr<ThumbnailJob>(m_job);
    if (!AfxBeginThread(&ThumbnailWorker, share, THREAD_PRIORITY_NORMAL)) {
        delete share;
        job.running.store(0);
        Logger::log("ERROR CImgBoard::StartLoading the thumbnail worker cannot be started", 1);
    }
}

void CImgBoard::StopLoading()
{
    StopWorker(true);
}

void CImgBoard::StopWorker(bool pump)
{
    if (!m_job) return;
    m_job->stop.store(1);
    // The worker ends at the next file or right after the load in progress.
    for (int round = 0; round < 101 && m_job->running.load(); ++round) {
        if (pump) PumpPendingMessages();
        if (!m_job) return;
        m_job->WaitEnded(g_stopWaitRound);
    }
    if (m_job->running.load()) {
        // Still inside a load: the worker holds its own share of the job
        // and drops what it loads once it sees the stop.
        Logger::log("ERROR CImgBoard::StopLoading the thumbnail worker did not stop in time", 1);
        m_job.reset();
        return;
    }
    const bool interrupted = m_job->interrupted.load() != 0;
    if (m_hWnd) DrainReports(false);
    else m_job->DiscardReports();
    if (interrupted) m_flags |= kBoardInterrupted;
}

LRESULT CImgBoard::OnThumbnailMessage(WPARAM, LPARAM lParam)
{
    if (!m_job) return 0;
    DrainReports(true);
    if (lParam == 1) {
        UpdateScrollSizes();
        Invalidate();
        UpdateWindow();
    }
    return 0;
}

void CImgBoard::DrainReports(bool draw)
{
    if (!m_job) return;
    bool added = false;
    for (ThumbnailJob::Report& report : m_job->TakeReports()) {
        if (report.hasStatus) RelayStatus(report.status);
        if (!report.image) continue;
        if (!m_list) m_list = std::make_unique<List>(&FreeThumbnailItem, static_cast<unsigned short>(4));
        auto* item = new ThumbnailItem{report.image, static_cast<uint16_t>(report.fileIndex), 0};
        const int index = m_list->Append(item);
        if (index < 0) {
            FreeThumbnailItem(item);
            continue;
        }
        added = true;
        if (draw && (m_flags & kBoardThumbnails)) {
            CRect client;
            GetClientRect(&client);
            const POINT origin = CellOrigin(GetCellLayout(client.Width(), m_list->m_count), index);
            const CPoint scroll = GetScrollPosition();
            RECT cell{origin.x - scroll.x - 1, origin.y - scroll.y - 1, origin.x - scroll.x + kCellWidth,
                      origin.y - scroll.y + kCellHeight};
            InvalidateRect(&cell, FALSE);
        }
    }
    if (!added) return;
    // The total changes only when a row is begun.
    CRect client;
    GetClientRect(&client);
    const SIZE want = GridSize(GetCellLayout(client.Width(), m_list->m_count));
    const CSize total = GetTotalSize();
    if (!(m_flags & kBoardThumbnails) || want.cx != total.cx || want.cy != total.cy) UpdateScrollSizes();
}

// ---- Drawing ---------------------------------------------------------------------------------

void CImgBoard::DrawThumbnail(CDC* dc, Image* image, int x, int y)
{
    if (!dc || !image || !image->GetData()) return;
    const int channels = image->GetChannels();
    if (channels != 1 && channels != 3) return;
    const int width = image->GetWidth(), height = image->GetHeight();
    int dx = x, sx = 0, w = width;
    if (width < kThumbnailSize)
        dx += (kThumbnailSize - width) / 2;
    else {
        sx = (width - kThumbnailSize) / 2;
        w = kThumbnailSize;
    }
    int dy = y, sy = 0, h = height;
    if (height < kThumbnailSize)
        dy += (kThumbnailSize - height) / 2;
    else {
        sy = (height - kThumbnailSize) / 2;
        h = kThumbnailSize;
    }
    BITMAPINFO* info = FillBmpInfo(image);
    std::vector<unsigned char> scratch;
    const unsigned char* pixels = DibRows(image, scratch);
    if (!info || !pixels) return;
    // Top-down rows: the source rectangle counts from the upper left.
    const int oldMode = dc->SetStretchBltMode(COLORONCOLOR);
    StretchDIBits(dc, dx, dy, w, h, sx, sy, w, h, pixels, info, DIB_RGB_COLORS, SRCCOPY);
    dc->SetStretchBltMode(oldMode);
}

void CImgBoard::OnDraw(CDC* dc)
{
    if (!dc) return;
    if (IsListMode()) {
        // The preview control paints the preview into itself.
        if (CWnd* preview = GetDlgItem(kPreview)) preview->Invalidate(FALSE);
        return;
    }
    CRect client;
    GetClientRect(&client);
    const CPoint scroll = GetScrollPosition();
    const int count = m_list ? m_list->m_count : 0;
    const CSize total = GetTotalSize();
    // Only what needs painting: a thumbnail's report repaints its cell.
    RECT clip{0, 0, std::max<int>(client.Width() + scroll.x, total.cx), std::max<int>(client.Height() + scroll.y, total.cy)};
    dc->GetClipBox(&clip);
    dc->FillSolidRect(clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top, GetSysColor(COLOR_BTNFACE));
    if (count == 0) return;
    const CellLayout layout = GetCellLayout(client.Width(), count);
    CFont font;
    font.CreatePixelFont(6, 400, "MS Sans Serif");
    CFont* oldFont = dc->SelectObject(&font);
    const int oldBk = dc->SetBkMode(TRANSPARENT);
    for (int i = 0; i < count; ++i) {
        const ThumbnailItem* item = Item(i);
        const POINT o = CellOrigin(layout, i);
        // The cell with its frame and the name lines below the square.
        const RECT cell{o.x - 1, o.y - 1, o.x - kMargin + kCellWidth, o.y - kMargin + kCellHeight + 8};
        if (cell.right <= clip.left || cell.left >= clip.right || cell.bottom <= clip.top || cell.top >= clip.bottom)
            continue;
        if (item->flags & kThumbnailMarked) {
            // A 1-pixel frame just around the 96 x 96 square.
            dc->FillSolidRect(o.x - 1, o.y - 1, kThumbnailSize + 2, 1, kMarkColour);
            dc->FillSolidRect(o.x - 1, o.y + kThumbnailSize, kThumbnailSize + 2, 1, kMarkColour);
            dc->FillSolidRect(o.x - 1, o.y, 1, kThumbnailSize, kMarkColour);
            dc->FillSolidRect(o.x + kThumbnailSize, o.y, 1, kThumbnailSize, kMarkColour);
        }
        DrawThumbnail(dc, item->image, o.x, o.y);
        if (!(m_flags & kBoardNames)) continue;
        const std::string name = FileName(item->fileIndex);
        const int imageHeight = std::min(kThumbnailSize, item->image ? item->image->GetHeight() : 0);
        const int imageWidth = std::min(kThumbnailSize, item->image ? item->image->GetWidth() : 0);
        const int left = o.x + (kThumbnailSize - imageWidth) / 2;
        const int below = o.y + (kThumbnailSize - imageHeight) / 2 + imageHeight;
        if (static_cast<int>(name.size()) < kNameSplitLength) {
            dc->TextOut(left, below, name);
        } else {
            dc->TextOut(left, below, name.substr(0, name.size() / 2));
            dc->TextOut(left, below + 8, name.substr(name.size() / 2));
        }
    }
    dc->SetBkMode(oldBk);
    dc->SelectObject(oldFont);
}

void CImgBoard::DrawPreview(CDC* dc)
{
    CWnd* preview = GetDlgItem(kPreview);
    if (!dc || !preview) return;
    CRect box;
    preview->GetClientRect(&box);
    box.DeflateRect(1, 1);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    Image* image = m_preview;
    const int channels = image ? image->GetChannels() : 0;
    if (!image || !image->GetData() || (channels != 1 && channels != 3) || box.Width() <= 0 || box.Height() <= 0) {
        dc->FillSolidRect(box.left, box.top, box.Width(), box.Height(), face);
        return;
    }
    const int iw = image->GetWidth(), ih = image->GetHeight();
    int w = iw, h = ih;
    if (iw > box.Width() || ih > box.Height()) {
        const double scale = std::min(static_cast<double>(box.Width()) / iw, static_cast<double>(box.Height()) / ih);
        w = std::max(1, static_cast<int>(iw * scale));
        h = std::max(1, static_cast<int>(ih * scale));
    }
    const int x = box.left + (box.Width() - w) / 2, y = box.top + (box.Height() - h) / 2;
    dc->FillSolidRect(box.left, box.top, box.Width(), y - box.top, face);
    dc->FillSolidRect(box.left, y + h, box.Width(), box.bottom - y - h, face);
    dc->FillSolidRect(box.left, y, x - box.left, h, face);
    dc->FillSolidRect(x + w, y, box.right - x - w, h, face);
    BITMAPINFO* info = FillBmpInfo(image);
    std::vector<unsigned char> scratch;
    const unsigned char* pixels = DibRows(image, scratch);
    if (!info || !pixels) return;
    const int oldMode = dc->SetStretchBltMode(COLORONCOLOR);
    StretchDIBits(dc, x, y, w, h, 0, 0, iw, ih, pixels, info, DIB_RGB_COLORS, SRCCOPY);
    dc->SetStretchBltMode(oldMode);
}

// ---- Preview and loading into the project ------------------------------------------------

void CImgBoard::SetPreview(Image* image, const std::string& path)
{
    ReleaseImage(m_preview);
    m_preview = image;
    m_previewPath = path;
}

Image* CImgBoard::GetCurrentImageCopy() const
{
    return m_preview ? m_preview->Duplicate() : nullptr;
}

void CImgBoard::AddCurrentImage(const POINT* point)
{
    if (!IsListMode()) {
        LoadSelections(point);
        return;
    }
    SuperManager* manager = GetSuperManager();
    if (!manager || !m_preview || m_previewPath.empty() || manager->HasImageFrame(m_previewPath.c_str())) return;
    manager->AddImageFrame(GetCurrentImageCopy(), m_previewPath.c_str(), point);
}

void CImgBoard::LoadSelections(const POINT* point)
{
    std::vector<int> indices;
    if (!IsListMode()) {
        for (int i = 0; m_list && i < m_list->m_count; ++i)
            if (IsMarked(i)) indices.push_back(Item(i)->fileIndex);
    } else if (CListBox* list = GetFileList()) {
        indices = list->GetSelItems();
    }
    if (!indices.empty()) LoadFiles(indices.data(), static_cast<int>(indices.size()), false, point);
}

bool CImgBoard::LoadFiles(const int* indices, int count, bool preview, const POINT* point)
{
    SuperManager* manager = GetSuperManager();
    if (count > 1) point = nullptr;  // several images are appended
    const bool tourMaker = manager && manager->GetBrowserMode() == 2;
    if (tourMaker && preview) return false;
    if (!indices || count < 1 || !m_tree) return false;
    const std::string& folder = m_tree->GetFolderPath();
    for (int k = 0; k < count; ++k) {
        const std::string name = FileName(indices[k]);
        if (name.empty()) continue;
        const std::string path = NativeFilePath(folder, name);
        if (tourMaker) {
            if (manager) manager->AddImageFrame(nullptr, path.c_str(), nullptr);
            continue;
        }
        const std::string loading = "Loading " + name;
        if (!m_previewPath.empty() && path == m_previewPath) {
            if (preview) {
                ShowStatus("");
                return false;
            }
            ShowStatus(loading.c_str());
            if (manager && !manager->HasImageFrame(path.c_str()))
                manager->AddImageFrame(GetCurrentImageCopy(), path.c_str(), point);
            continue;
        }
        ShowStatus(loading.c_str());
        ImageFrame* frame = manager ? manager->FindImageFrame(path.c_str()) : nullptr;
        if (frame && frame->GetStampBmp()) {
            if (!preview) continue;
            SetPreview(TurnedBackStamp(frame), path);
            ShowStatus("");
            return true;
        }
        Image* loaded = nullptr;
        const int result = LoadImage(path.c_str(), &loaded);
        if (result != 1 || !loaded) {
            ReleaseImage(loaded);
            continue;  // unreadable files and panoramas are skipped
        }
        Image* stamp = MakeStampImage(loaded);
        ReleaseImage(loaded);
        if (!stamp) continue;
        SetPreview(stamp, path);
        if (preview) {
            ShowStatus("");
            return true;
        }
        if (manager) manager->AddImageFrame(GetCurrentImageCopy(), path.c_str(), point);
    }
    ShowStatus("");
    return false;
}

// ---- Selection and mouse ----------------------------------------------------------------------

void CImgBoard::DrawCellFrame(int index)
{
    if (!m_list || index < 0) return;
    CRect client;
    GetClientRect(&client);
    const POINT o = CellOrigin(GetCellLayout(client.Width(), m_list->m_count), index);
    const CPoint scroll = GetScrollPosition();
    RECT frame{o.x - scroll.x - 1, o.y - scroll.y - 1, o.x - scroll.x + kThumbnailSize + 1,
               o.y - scroll.y + kThumbnailSize + 1};
    InvalidateRect(&frame, FALSE);
}

void CImgBoard::SetMarked(int index, bool on)
{
    ThumbnailItem* item = Item(index);
    if (!item) return;
    if (on) {
        item->flags |= kThumbnailMarked;
        m_current = index;
    } else {
        item->flags &= static_cast<uint16_t>(~kThumbnailMarked);
        if (m_current == index) m_current = -1;
    }
    DrawCellFrame(index);
}

void CImgBoard::UnmarkAll()
{
    for (int i = 0; m_list && i < m_list->m_count; ++i)
        if (IsMarked(i)) SetMarked(i, false);
}

void CImgBoard::SelectRange(int index)
{
    if (!m_list) return;
    const int anchor = m_current < 0 ? 0 : m_current;
    const int low = std::min(anchor, index), high = std::max(anchor, index);
    for (int i = 0; i < m_list->m_count; ++i) {
        ThumbnailItem* item = Item(i);
        const bool on = i >= low && i <= high;
        if (on == ((item->flags & kThumbnailMarked) != 0)) continue;
        item->flags = on ? static_cast<uint16_t>(item->flags | kThumbnailMarked)
                         : static_cast<uint16_t>(item->flags & ~kThumbnailMarked);
        DrawCellFrame(i);
    }
}

void CImgBoard::LeftPress(UINT keys, POINT client)
{
    if (IsListMode()) return;
    m_flags &= ~(kBoardPressed | kBoardDragging | kBoardPlainWait | kBoardCtrlWait);
    const CPoint scroll = GetScrollPosition();
    const int hit = HitTest(POINT{client.x + scroll.x, client.y + scroll.y});
    if (hit < 0) {
        UnmarkAll();
        return;
    }
    const bool shift = (keys & MK_SHIFT) != 0, ctrl = (keys & MK_CONTROL) != 0;
    if (IsMarked(hit)) {
        if (shift) {
            SelectRange(hit);
        } else {
            m_flags |= kBoardPlainWait;
            if (ctrl) m_flags |= kBoardCtrlWait;
        }
    } else if (ctrl) {
        SetMarked(hit, true);
    } else if (shift) {
        if (m_current < 0)
            SetMarked(hit, true);
        else
            SelectRange(hit);
    } else {
        UnmarkAll();
        SetMarked(hit, true);
    }
    m_flags |= kBoardPressed;
}

void CImgBoard::MouseMoved(UINT, POINT)
{
    if (!(m_flags & kBoardPressed) || (m_flags & kBoardDragging)) return;
    m_flags |= kBoardDragging;
    m_flags &= ~(kBoardPressed | kBoardPlainWait | kBoardCtrlWait);
    StartDrag();
}

void CImgBoard::LeftRelease(UINT, POINT client)
{
    if (!(m_flags & kBoardPressed)) {
        m_flags &= ~kBoardDragging;  // after a drag only its flag goes
        return;
    }
    m_flags &= ~kBoardPressed;
    if (!(m_flags & kBoardPlainWait)) return;
    const CPoint scroll = GetScrollPosition();
    const int hit = HitTest(POINT{client.x + scroll.x, client.y + scroll.y});
    const bool ctrl = (m_flags & kBoardCtrlWait) != 0;
    m_flags &= ~(kBoardPlainWait | kBoardCtrlWait);
    if (hit < 0) return;
    if (ctrl) {
        SetMarked(hit, false);
        return;
    }
    for (int i = 0; m_list && i < m_list->m_count; ++i)
        if (i != hit && IsMarked(i)) SetMarked(i, false);
    m_current = hit;
}

void CImgBoard::DoubleClicked(POINT client)
{
    if (IsListMode()) return;
    const CPoint scroll = GetScrollPosition();
    const int hit = HitTest(POINT{client.x + scroll.x, client.y + scroll.y});
    if (hit < 0) return;
    UnmarkAll();
    SetMarked(hit, true);
    const int file = Item(hit)->fileIndex;
    LoadFiles(&file, 1, false, nullptr);
}

void CImgBoard::OnLButtonDown(UINT flags, CPoint point)
{
    LeftPress(flags, point);
}

void CImgBoard::OnMouseMove(UINT flags, CPoint point)
{
    MouseMoved(flags, point);
}

void CImgBoard::OnLButtonUp(UINT flags, CPoint point)
{
    LeftRelease(flags, point);
}

void CImgBoard::OnLButtonDblClk(UINT, CPoint point)
{
    DoubleClicked(point);
}

void CImgBoard::StartDrag()
{
    const bool hasThumbnails = !IsListMode() && m_list && m_list->m_count > 0;
    const bool hasPreview = IsListMode() && m_preview;
    if (!hasThumbnails && !hasPreview) return;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 32);
    if (!block) {
        Logger::log("ERROR CImgBoard::StartDrag no memory for the drag text", 1);
        return;
    }
    char* text = static_cast<char*>(GlobalLock(block));
    std::snprintf(text, 32, "%s", kDragText);
    GlobalUnlock(block);
    COleDataSource source;
    source.CacheGlobalData(CF_TEXT, block);
    source.DoDragDrop(DROPEFFECT_COPY);
}

// ---- Notifications and size --------------------------------------------------------------------

void CImgBoard::OnListSelChange()
{
    CListBox* list = GetFileList();
    if (!list) return;
    const std::vector<int> selected = list->GetSelItems();
    if (selected.empty()) return;
    if (LoadFiles(&selected[0], 1, true, nullptr))
        if (CWnd* preview = GetDlgItem(kPreview)) preview->Invalidate(FALSE);
}

void CImgBoard::OnListDblClk()
{
    CListBox* list = GetFileList();
    if (!list) return;
    const std::vector<int> selected = list->GetSelItems();
    if (!selected.empty()) LoadFiles(&selected[0], 1, false, nullptr);
}

void CImgBoard::OnPreviewClicked()
{
    StartDrag();
}

void CImgBoard::OnPreviewNotify2()
{
    AddCurrentImage(nullptr);
}

void CImgBoard::OnSize(UINT type, int cx, int cy)
{
    if (!(m_flags & kBoardReady)) {
        CFormView::OnSize(type, cx, cy);
        return;
    }
    if (m_flags & kBoardThumbnails) {
        CScrollView::OnSize(type, cx, cy);
        if (m_settingScrollSizes) return;
        const int count = m_list ? m_list->m_count : 0;
        if (count > 0 && m_job && m_job->running.load()) {
            CRect client;
            GetClientRect(&client);
            m_job->clientWidth.store(client.Width());
            m_job->columns.store(GetCellLayout(client.Width(), m_job->count).columns);
        }
        UpdateScrollSizes();
        return;
    }
    CWnd::OnSize(type, cx, cy);
    LayoutListMode(cx, cy);
}

void CImgBoard::OnDestroy()
{
    // Nothing the worker posts can reach a window that is gone.
    StopWorker(false);
    CFormView::OnDestroy();
}

const win::MessageMap* CImgBoard::GetMessageMap() const
{
    static const win::MessageMap map(
        CFormView::GetMessageMap(),
        {
            win::on::Control(LBN_SELCHANGE, kFileList, &CImgBoard::OnListSelChange),
            win::on::Control(LBN_DBLCLK, kFileList, &CImgBoard::OnListDblClk),
            win::on::Control(STN_CLICKED, kPreview, &CImgBoard::OnPreviewClicked),
            win::on::Control(2, kPreview, &CImgBoard::OnPreviewNotify2),
            win::on::Message(WM_THUMBNAIL_READY, &CImgBoard::OnThumbnailMessage),
        });
    return &map;
}
