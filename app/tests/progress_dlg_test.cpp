// The progress dialog: its bar, its Cancel, its text, and workers that step
// it while the user-interface thread closes and reopens it.
#include "app/control/progress_dlg.h"
#include "app/shell/app_resources.h"
#include "app/tests/app_test_fixture.h"
#include "platform/win/controls.h"
#include "platform/win/win_thread.h"

#include <atomic>

namespace {

class ProgressTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        RegisterAppResources();
    }
    void TearDown() override
    {
        CloseProgressDialog();
        AppTest::TearDown();
    }
    static int Position() { return GetProgressDialog()->GetBar()->GetPos(); }
};

TEST_F(ProgressTest, OpenSetsTheBarAndCancelStopsIt)
{
    EXPECT_TRUE(StepProgressDialog());  // no dialog: callers step freely
    EXPECT_FALSE(IsProgressCancelled());
    ASSERT_TRUE(OpenProgressDialog(0, 9, true));
    CProgressDlg* dialog = GetProgressDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->IsWindowVisible());
    int lower = -1, upper = -1;
    dialog->GetBar()->GetRange(lower, upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 10);
    EXPECT_EQ(Position(), 1);
    EXPECT_TRUE(dialog->GetDlgItem(CProgressDlg::kCancelId)->IsWindowVisible());
    EXPECT_TRUE(StepProgressDialog());
    EXPECT_EQ(Position(), 2);

    // The Cancel button only marks the run; the owner closes the dialog.
    dialog->SendMessage(WM_COMMAND, MAKEWPARAM(CProgressDlg::kCancelId, BN_CLICKED),
                        reinterpret_cast<LPARAM>(dialog->GetDlgItem(CProgressDlg::kCancelId)->m_hWnd));
    EXPECT_EQ(GetProgressDialog(), dialog);
    EXPECT_TRUE(IsProgressCancelled());
    EXPECT_FALSE(StepProgressDialog());
    EXPECT_FALSE(StepProgressDialog());
    EXPECT_EQ(Position(), 2);
    // A re-open keeps the cancelled state; it hides Cancel when asked.
    EXPECT_FALSE(OpenProgressDialog(3, 20, false));
    EXPECT_EQ(GetProgressDialog(), dialog);
    EXPECT_TRUE(IsProgressCancelled());
    EXPECT_FALSE(dialog->GetDlgItem(CProgressDlg::kCancelId)->IsWindowVisible());
    EXPECT_FALSE(dialog->GetDlgItem(CProgressDlg::kCancelId)->IsWindowEnabled());
    EXPECT_EQ(Position(), 4);

    CloseProgressDialog();
    EXPECT_EQ(GetProgressDialog(), nullptr);
    EXPECT_FALSE(IsProgressCancelled());
    EXPECT_TRUE(StepProgressDialog());
    ASSERT_TRUE(OpenProgressDialog(0, 1, true));
    EXPECT_FALSE(IsProgressCancelled());
}

TEST_F(ProgressTest, TextLine)
{
    SetProgressText("nothing open");  // no dialog: nothing happens
    ASSERT_TRUE(OpenProgressDialog(0, 4, true));
    SetProgressText("Matching pair 3 of 8");
    EXPECT_EQ(GetProgressDialog()->GetDlgItemText(CProgressDlg::kTextId), "Matching pair 3 of 8");
    SetProgressText(nullptr);
    EXPECT_EQ(GetProgressDialog()->GetDlgItemText(CProgressDlg::kTextId), " ");
}

struct WorkerRun {
    std::atomic<bool> done{false};
    std::atomic<int> stepsFalse{0};
};

UINT ProgressWorker(void* p)
{
    auto* run = static_cast<WorkerRun*>(p);
    for (int i = 0; i < 10000; ++i) {
        if (!StepProgressDialog()) ++run->stepsFalse;
        SetProgressText(i % 2 ? "odd step" : "even step");
        (void)IsProgressCancelled();
    }
    run->done = true;
    return 0;
}

// Workers reach the dialog only through the user-interface thread; the
// dialog closed and deleted meanwhile is never touched (run under ASan and,
// by hand, TSan).
TEST_F(ProgressTest, AWorkerStepsWhileTheDialogClosesAndReopens)
{
    WorkerRun run;
    ASSERT_TRUE(OpenProgressDialog(0, 30000, true));
    ASSERT_NE(AfxBeginThread(ProgressWorker, &run), nullptr);
    // The worker's first step waits for this thread while the dialog is
    // open; on a busy machine it would otherwise start only after the first
    // close and run all its steps with no dialog to reach.
    ASSERT_TRUE(win::PumpUntil([] { return Position() > 1; }, 10000));
    int cycles = 0;
    int stepsSeen = 0;  // worker steps that reached an open dialog
    while (!run.done) {
        win::PumpUntil([&] { return run.done.load(); }, 0);
        stepsSeen += Position() - 1;
        CloseProgressDialog();
        win::PumpUntil([&] { return run.done.load(); }, 0);
        ASSERT_TRUE(OpenProgressDialog(0, 30000, true));
        if (++cycles % 50 == 0) CancelProgress();
    }
    ASSERT_TRUE(win::JoinWorkerThreads(10000));
    EXPECT_GT(cycles, 0);
    // Cancelled runs said so to the worker; nothing else did.
    if (cycles < 50) {
        EXPECT_EQ(run.stepsFalse.load(), 0);
    }
    stepsSeen += Position() - 1;
    EXPECT_GT(stepsSeen, 0);
    EXPECT_LE(stepsSeen, 10000);
    std::printf("cycles %d, cancelled steps %d, steps shown %d\n", cycles, run.stepsFalse.load(), stepsSeen);
}

}  // namespace
