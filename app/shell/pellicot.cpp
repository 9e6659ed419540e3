#include "app/shell/pellicot.h"

#include "app/control/image_chain.h"
#include "app/control/super_manager.h"
#include "app/shell/image_tray_host.h"
#include "app/shell/main_frame.h"
#include "core/logger.h"
#include "platform/win/system.h"
#include "platform/win/window_system.h"

#include <algorithm>

namespace {

constexpr UINT kReverseOrder = 32836;
constexpr UINT kLoop = 32789;
constexpr UINT kAdjustOverlaps = 32844;
constexpr UINT kExpressStitch = 32902;
constexpr UINT kLoadImages = 32901;

}  // namespace

Pellicot::Pellicot() = default;

Pellicot::~Pellicot() = default;

BOOL Pellicot::Create(CMDIFrameWnd* parent)
{
    win::WindowSystem::Get().RegisterClassName(kWindowClass);
    if (!CMDIChildWnd::Create(kWindowClass, "Pellicot", WS_CHILD | WS_VISIBLE | WS_OVERLAPPEDWINDOW,
                              RECT{0, 0, 600, 235}, parent))
        return FALSE;
    SetIcon(LoadResourceIcon(247), FALSE);
    auto bar = std::make_unique<CToolBar>();
    if (!bar->Create(this, WS_CHILD | WS_VISIBLE | CBRS_LEFT | CBRS_TOOLTIPS | CBRS_FLYBY) ||
        !bar->LoadToolBar(kToolBarResource)) {
        Logger::log("ERROR Pellicot::Create the tray toolbar cannot be created", 1);
        if (bar->m_hWnd) bar->DestroyWindow();
    } else {
        m_toolBar = std::move(bar);
    }
    auto host = std::make_unique<ImageTrayHost>();
    RECT client{};
    GetClientRect(&client);
    if (!host->Create(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_HSCROLL | WS_VSCROLL, client, this, kHostId)) {
        Logger::log("ERROR Pellicot::Create the tray host cannot be created", 1);
        return TRUE;
    }
    host->DragAcceptFiles(TRUE);
    m_host = std::move(host);
    PlaceChildren();
    return TRUE;
}

void Pellicot::RecalcLayout(BOOL /*notify*/)
{
    PlaceChildren();
}

void Pellicot::PlaceChildren()
{
    if (!m_hWnd || IsIconic()) return;
    RECT client{};
    GetClientRect(&client);
    const int width = std::max(static_cast<int>(client.right), kMinSize);
    const int height = std::max(static_cast<int>(client.bottom), kMinSize);
    int barWidth = 0;
    if (m_toolBar && m_toolBar->m_hWnd) {
        barWidth = m_toolBar->CalcFixedLayout(FALSE, FALSE).cx;
        m_toolBar->MoveWindow(0, 0, barWidth, height);
    }
    if (m_host && m_host->m_hWnd) m_host->MoveWindow(barWidth, 0, std::max(width - barWidth, 0), height);
}

void Pellicot::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    if (type != SIZE_MINIMIZED) PlaceChildren();
}

bool Pellicot::AddFrame(ImageFrame* frame, const POINT* point, bool append)
{
    return m_host && m_host->AddFrame(frame, point, append);
}

void Pellicot::RemoveFrame(ImageFrame* frame)
{
    if (m_host) m_host->RemoveFrame(frame);
}

ImageChain* Pellicot::GetChain() const { return m_host ? m_host->GetChain() : nullptr; }

int Pellicot::GetFrameCount() const { return m_host ? m_host->GetChain()->GetCount() : 0; }

bool Pellicot::IsLoop() const { return m_host && m_host->IsLoop(); }

void Pellicot::Refresh()
{
    if (m_host) m_host->Refresh(false);
}

void Pellicot::RepaintAll()
{
    if (m_host) m_host->Refresh(true);
}

void Pellicot::SetFirstFrameAsCenter()
{
    if (ImageChain* chain = GetChain()) chain->SetCenterFrame(0);
}

void Pellicot::SetLoop(bool on)
{
    if (m_host) m_host->SetLoop(on);
}

void Pellicot::SetToolMode(UINT command)
{
    if (GetFrameCount() == 0) command = kToolReset;
    if (command == kToolReset || command == kToolRotateLeft || command == kToolRotateRight) {
        if (command == m_toolCommand) return;
        m_toolCommand = command;
    } else {
        m_toolCommand = kToolReset;
    }
    if (m_host && m_host->m_hWnd) m_host->SendMessage(WM_TRAY_COMMAND, command);
}

// ---- Toolbar commands -------------------------------------------------------------

void Pellicot::OnToolCommand(UINT id) { SetToolMode(id); }

void Pellicot::OnReverseOrder() { SetToolMode(kReverseOrder); }

void Pellicot::OnLoop() { SetToolMode(kLoop); }

void Pellicot::OnAdjustOverlaps()
{
    if (SuperManager* manager = GetSuperManager()) manager->ToggleOverlapDialog();
    SetToolMode(kToolReset);
}

void Pellicot::OnExpressStitch()
{
    if (SuperManager* manager = GetSuperManager()) manager->ExpressStitch();
}

void Pellicot::OnLoadImages()
{
    if (SuperManager* manager = GetSuperManager()) manager->ShowImageBrowser(1, true);
}

void Pellicot::OnUpdateTool(CCmdUI* ui)
{
    ui->Enable(TRUE);
    ui->SetCheck(ui->m_nID == m_toolCommand ? 1 : 0);
}

void Pellicot::OnUpdateAlways(CCmdUI* ui) { ui->Enable(TRUE); }

void Pellicot::OnUpdateLoop(CCmdUI* ui)
{
    ui->Enable(GetFrameCount() >= 4 ? TRUE : FALSE);
    ui->SetCheck(IsLoop() ? 1 : 0);
}

void Pellicot::OnUpdateAdjustOverlaps(CCmdUI* ui)
{
    SuperManager* manager = GetSuperManager();
    ui->Enable(TRUE);
    ui->SetCheck(manager && manager->IsOverlapDialogOpen() ? 1 : 0);
}

void Pellicot::OnUpdateExpressStitch(CCmdUI* ui)
{
    SuperManager* manager = GetSuperManager();
    const bool express = manager && manager->IsExpressMode();
    ui->Enable(express && manager->IsExpressBlendPending() ? FALSE : TRUE);
    ui->SetCheck(express ? 1 : 0);
}

// ---- Window -----------------------------------------------------------------------

void Pellicot::OnClose()
{
    ShowWindow(SW_MINIMIZE);
}

void Pellicot::OnDestroy()
{
    if (SuperManager* manager = GetSuperManager(); manager && manager->GetImageTray() == this)
        manager->CloseImageTray(true);
    m_host.reset();
    m_toolBar.reset();
    CMDIChildWnd::OnDestroy();
}

void Pellicot::OnMDIActivate(BOOL activate, CWnd* activateWnd, CWnd* deactivateWnd)
{
    CMDIChildWnd::OnMDIActivate(activate, activateWnd, deactivateWnd);
    if (activate)
        if (auto* main = dynamic_cast<CMainFrame*>(AfxGetMainWnd()))
            main->SetMessageText("Right-click on an image or a link-bar for more operations");
}

const win::MessageMap* Pellicot::GetMessageMap() const
{
    static const win::MessageMap map(
        CMDIChildWnd::GetMessageMap(),
        {
            win::on::CommandRange(kToolReset, kToolRotateLeft, &Pellicot::OnToolCommand),
            win::on::CommandRange(kToolRotateRight, kToolRotateRight, &Pellicot::OnToolCommand),
            win::on::UpdateUIRange(kToolReset, kToolRotateLeft, &Pellicot::OnUpdateTool),
            win::on::UpdateUIRange(kToolRotateRight, kToolRotateRight, &Pellicot::OnUpdateTool),
            win::on::Command(kReverseOrder, &Pellicot::OnReverseOrder),
            win::on::UpdateUI(kReverseOrder, &Pellicot::OnUpdateAlways),
            win::on::Command(kLoop, &Pellicot::OnLoop),
            win::on::UpdateUI(kLoop, &Pellicot::OnUpdateLoop),
            win::on::Command(kAdjustOverlaps, &Pellicot::OnAdjustOverlaps),
            win::on::UpdateUI(kAdjustOverlaps, &Pellicot::OnUpdateAdjustOverlaps),
            win::on::Command(kExpressStitch, &Pellicot::OnExpressStitch),
            win::on::UpdateUI(kExpressStitch, &Pellicot::OnUpdateExpressStitch),
            win::on::Command(kLoadImages, &Pellicot::OnLoadImages),
            win::on::UpdateUI(kLoadImages, &Pellicot::OnUpdateAlways),
        });
    return &map;
}
