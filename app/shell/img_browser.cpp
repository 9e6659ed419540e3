#include "app/shell/img_browser.h"

#include "app/control/super_manager.h"
#include "app/shell/dir_tree.h"
#include "app/shell/img_board.h"
#include "core/logger.h"
#include "platform/win/win_app.h"

#include <algorithm>

namespace {

constexpr uint32_t kMinLeftPercent = 10;

uint32_t WithLeftPercent(uint32_t state, uint32_t percent)
{
    return (state & 0x00FFFFFFu) | (percent << 24);
}

}  // namespace

BOOL CImgBrowser::Create(const RECT& rect, uint32_t state)
{
    SetInitState(state);
    if (!CFrameWnd::Create(nullptr, "Image Browser", WS_POPUP | WS_VISIBLE | WS_OVERLAPPEDWINDOW, rect))
        return FALSE;
    SuperManager* manager = GetSuperManager();
    InitFolderTree(manager ? manager->GetProjectName(true) : nullptr);
    return TRUE;
}

void CImgBrowser::SetInitState(uint32_t state)
{
    if ((state >> 24) < kMinLeftPercent) state = WithLeftPercent(state, kMinLeftPercent);
    m_state = state;
}

uint32_t CImgBrowser::GetInitState()
{
    if (!HasPanes()) return m_state;
    uint32_t state = m_tree->GetImageType();
    state |= static_cast<uint32_t>(m_tree->GetViewFlags()) << 8;
    state |= static_cast<uint32_t>(m_tree->GetComboSelection()) << 16;
    CRect frame;
    GetWindowRect(&frame);
    int current = 0, minimum = 0;
    m_splitter.GetColumnInfo(0, current, minimum);
    uint32_t percent = m_state >> 24;
    if (frame.Width() > 0) percent = static_cast<uint32_t>(std::clamp(current * 100 / frame.Width(), 0, 100));
    m_state = WithLeftPercent(state, percent);
    return m_state;
}

void CImgBrowser::SetImageType(uint8_t type)
{
    if (HasPanes()) {
        SetWorldMapFilter(type == 1);
        return;
    }
    m_state = (m_state & ~0xFFu) | type;
}

void CImgBrowser::SetWorldMapFilter(bool worldMaps)
{
    if (!HasPanes()) return;
    const uint8_t current = m_tree->GetComboSelection();
    if (worldMaps && current != 1)
        m_tree->SelectImageType(1);
    else if (!worldMaps && current == 1)
        m_tree->SelectImageType(0);
    m_state = (m_state & ~0xFFu) | m_tree->GetImageType();
}

void CImgBrowser::InitFolderTree(const char* startFolder)
{
    if (m_tree) m_tree->InitTree(startFolder);
}

void CImgBrowser::LoadDroppedImages(POINT point)
{
    if (m_board) m_board->AddCurrentImage(&point);
}

void CImgBrowser::NotifyDrop(POINT point)
{
    m_lastDrop = point;
    LoadDroppedImages(point);
}

BOOL CImgBrowser::OnCreateClient(LPCREATESTRUCT, CCreateContext* context)
{
    RegisterBrowserResources();
    if (!m_splitter.CreateStatic(this, 1, 2, WS_CHILD | WS_VISIBLE, AFX_IDW_PANE_FIRST)) return FALSE;
    CCreateContext local;
    if (!context) context = &local;
    CRect client;
    GetClientRect(&client);
    const int left = client.Width() * static_cast<int>(m_state >> 24) / 100;
    if (!m_splitter.CreateView(0, 0, win::ClassOf<CDirTree>(), SIZE{left, client.Height()}, context) ||
        !m_splitter.CreateView(0, 1, win::ClassOf<CImgBoard>(), SIZE{0, 0}, context)) {
        Logger::log("ERROR CImgBrowser::OnCreateClient the browser's panes cannot be created", 1);
        return FALSE;
    }
    m_tree = dynamic_cast<CDirTree*>(m_splitter.GetPane(0, 0));
    m_board = dynamic_cast<CImgBoard*>(m_splitter.GetPane(0, 1));
    if (!m_tree || !m_board) return FALSE;
    m_tree->SetImageType(static_cast<uint8_t>(m_state & 0xFF));
    m_tree->SetViewFlags(static_cast<uint8_t>((m_state >> 8) & 0xFF));
    m_tree->SetBoard(m_board);
    m_board->SetDirTree(m_tree);
    m_tree->OnInitialUpdate();
    m_board->OnInitialUpdate();
    m_board->SetReady();
    if (CWinApp* app = AfxGetApp()) SetIcon(app->LoadIcon(kIcon), TRUE);
    return TRUE;
}

void CImgBrowser::OnClose()
{
    ShowWindow(SW_HIDE);
}

void CImgBrowser::OnDestroy()
{
    if (SuperManager* manager = GetSuperManager(); manager && manager->GetImageBrowser() == this)
        manager->OnBrowserDestroyed();
    m_tree = nullptr;
    m_board = nullptr;
    CFrameWnd::OnDestroy();
}
