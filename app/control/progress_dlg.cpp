#include "app/control/progress_dlg.h"

#include "platform/win/controls.h"
#include "platform/win/win_app.h"
#include "platform/win/window_system.h"

#include <atomic>

namespace {

constexpr UINT kWorkerStep = WM_APP + 0x1F0;
constexpr UINT kWorkerText = WM_APP + 0x1F1;
// Answers of the step request (0: the window is gone).
constexpr LRESULT kStepped = 1;
constexpr LRESULT kStepCancelled = 2;

// Touched only on the user-interface thread.
CProgressDlg* g_dialog = nullptr;
// What workers may read: the open dialog's window and its cancelled state.
std::atomic<HWND> g_window{nullptr};
std::atomic<bool> g_cancelled{false};

bool OnUiThread()
{
    return win::WindowSystem::Get().IsUiThread();
}

}  // namespace

bool CProgressDlg::Setup(int position, int range, bool showCancel)
{
    if (CWnd* cancel = GetDlgItem(kCancelId)) {
        cancel->EnableWindow(showCancel);
        cancel->ShowWindow(showCancel ? SW_SHOW : SW_HIDE);
    }
    if (CProgressCtrl* bar = GetBar()) {
        bar->SetRange(0, static_cast<short>(range + 1));
        bar->SetStep(1);
        bar->SetPos(position + 1);
    }
    return !g_cancelled.load();
}

bool CProgressDlg::Step()
{
    if (g_cancelled.load()) return false;
    if (CProgressCtrl* bar = GetBar()) bar->StepIt();
    return true;
}

void CProgressDlg::SetText(const char* text)
{
    SetDlgItemText(kTextId, text ? text : " ");
}

CProgressCtrl* CProgressDlg::GetBar() const
{
    return dynamic_cast<CProgressCtrl*>(GetDlgItem(kBarId));
}

void CProgressDlg::OnCancel()
{
    g_cancelled = true;
}

LRESULT CProgressDlg::OnWorkerStep(WPARAM, LPARAM)
{
    return Step() ? kStepped : kStepCancelled;
}

LRESULT CProgressDlg::OnWorkerText(WPARAM, LPARAM text)
{
    SetText(reinterpret_cast<const char*>(text));
    return 0;
}

const win::MessageMap* CProgressDlg::GetMessageMap() const
{
    static const win::MessageMap map(CDialog::GetMessageMap(),
                                     {
                                         win::on::Control(BN_CLICKED, kCancelId, &CProgressDlg::OnCancelButton),
                                         win::on::Message(kWorkerStep, &CProgressDlg::OnWorkerStep),
                                         win::on::Message(kWorkerText, &CProgressDlg::OnWorkerText),
                                     });
    return &map;
}

// The resources of this dialog are the application's; the module-state guard
// of the exported functions has nothing to select here.

bool OpenProgressDialog(int position, int range, bool showCancel)
{
    if (!g_dialog) {
        auto* dialog = new CProgressDlg;
        if (!dialog->Create(CProgressDlg::kTemplateId, AfxGetMainWnd())) {
            delete dialog;
            return false;
        }
        g_dialog = dialog;
        g_cancelled = false;
        g_window = dialog->m_hWnd;
    }
    const bool result = g_dialog->Setup(position, range, showCancel);
    g_dialog->ShowWindow(SW_SHOW);
    return result;
}

void CloseProgressDialog()
{
    if (!g_dialog) return;
    CProgressDlg* dialog = g_dialog;
    g_dialog = nullptr;
    g_window = nullptr;
    g_cancelled = false;
    if (::IsWindow(dialog->m_hWnd)) dialog->DestroyWindow();
    delete dialog;
}

bool StepProgressDialog()
{
    if (OnUiThread()) return g_dialog ? g_dialog->Step() : true;
    const HWND window = g_window.load();
    if (!window) return true;
    if (g_cancelled.load()) return false;
    return ::SendMessage(window, kWorkerStep, 0, 0) != kStepCancelled;
}

void SetProgressText(const char* text)
{
    if (OnUiThread()) {
        if (g_dialog) g_dialog->SetText(text);
        return;
    }
    if (const HWND window = g_window.load())
        ::SendMessage(window, kWorkerText, 0, reinterpret_cast<LPARAM>(text));
}

bool IsProgressCancelled()
{
    return g_window.load() != nullptr && g_cancelled.load();
}

CProgressDlg* GetProgressDialog()
{
    return g_dialog;
}

void CancelProgress()
{
    if (g_window.load()) g_cancelled = true;
}
