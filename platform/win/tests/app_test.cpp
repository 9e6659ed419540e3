// The application object running a program: the command line, the main
// loop with a worker reporting back and the idle processing, the end of the
// loop when the main window goes, and printing a view into a PDF.
#include "platform/win/doc_view.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/win_app.h"
#include "platform/win/win_thread.h"
#include "platform/win/window_system.h"

#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr UINT kContinueStitching = WM_APP + 0x14C;  // 0x814C
constexpr UINT kDebugRequest = WM_APP + 0x14D;       // sent, answers a value

// What the main frame saw (the frame deletes itself when it goes).
std::vector<WPARAM> g_steps;
// Set by the idle processing once every step has arrived.
std::atomic<bool> g_idleAfterSteps{false};

class StitchFrame : public CFrameWnd {
public:
    LRESULT OnContinueStitching(WPARAM w, LPARAM)
    {
        g_steps.push_back(w);
        return 0;
    }
    LRESULT OnDebugRequest(WPARAM w, LPARAM l) { return static_cast<LRESULT>(w * 100 + l); }
    const win::MessageMap* GetMessageMap() const override
    {
        static const win::MessageMap map(CFrameWnd::GetMessageMap(),
                                         {
                                             win::on::Message(kContinueStitching, &StitchFrame::OnContinueStitching),
                                             win::on::Message(kDebugRequest, &StitchFrame::OnDebugRequest),
                                         });
        return &map;
    }
};

struct Job {
    HWND frame;
    LRESULT answer = 0;
};

UINT StitchWorker(void* p)
{
    auto* job = static_cast<Job*>(p);
    for (int pair = 0; pair < 50; ++pair) ::PostMessage(job->frame, kContinueStitching, static_cast<WPARAM>(pair), 0);
    job->answer = ::SendMessage(job->frame, kDebugRequest, 6, 7);
    // The program goes idle once the steps are handled; then it is closed.
    for (int i = 0; i < 10000 && !g_idleAfterSteps; ++i) ::Sleep(1);
    ::PostMessage(job->frame, WM_CLOSE, 0, 0);
    return 0;
}

class LoopApp : public CWinApp {
public:
    LoopApp() : CWinApp("Fendrake") {}
    StitchFrame* frame = nullptr;
    Job job;
    CCommandLineInfo command;
    std::vector<size_t> stepsSeenAtIdle;
    bool exited = false;

    BOOL InitInstance() override
    {
        SetRegistryKey("Quorvane");
        LoadStdProfileSettings(10);
        ParseCommandLine(command);
        frame = new StitchFrame;
        if (!frame->Create(nullptr, "Fendrake", WS_OVERLAPPEDWINDOW, RECT{0, 0, 300, 200})) return FALSE;
        m_pMainWnd = frame;
        frame->ShowWindow(m_nCmdShow);
        job.frame = frame->m_hWnd;
        return AfxBeginThread(StitchWorker, &job) != nullptr;
    }
    BOOL OnIdle(LONG count) override
    {
        if (count == 0 && m_pMainWnd) {
            stepsSeenAtIdle.push_back(g_steps.size());
            if (g_steps.size() == 50) g_idleAfterSteps = true;
        }
        return CWinApp::OnIdle(count);
    }
    int ExitInstance() override
    {
        exited = true;
        return 7;
    }
};

class AppTest : public WinTest {};

TEST_F(AppTest, AProgramRunsItsLoopUntilTheMainWindowGoes)
{
    std::vector<std::string> args{"/opt/fendrake/Fendrake", "/photos/Pano 1.kzp", "-m", "p", "-Embedding"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    g_steps.clear();
    g_idleAfterSteps = false;
    LoopApp app;
    const int code = AfxWinMain(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(code, 7);
    EXPECT_TRUE(app.exited);
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_EQ(app.m_pszExeName, "Fendrake");
    // '/' starts a path, never a switch; the first plain argument is the file.
    EXPECT_EQ(app.command.m_strFileName, "/photos/Pano 1.kzp");
    EXPECT_EQ(app.command.m_nShellCommand, CCommandLineInfo::FileOpen);
    EXPECT_TRUE(app.command.m_bRunEmbedded);
    EXPECT_EQ(app.job.answer, 607);
    // Every post of the worker arrived, in order, before the close.
    ASSERT_EQ(g_steps.size(), 50u);
    for (size_t i = 0; i < g_steps.size(); ++i) EXPECT_EQ(g_steps[i], i);
    // Idle processing ran between messages, seeing the steps grow in order.
    ASSERT_FALSE(app.stepsSeenAtIdle.empty());
    EXPECT_TRUE(std::is_sorted(app.stepsSeenAtIdle.begin(), app.stepsSeenAtIdle.end()));
    EXPECT_EQ(app.stepsSeenAtIdle.back(), 50u);
    EXPECT_EQ(win::RunningWorkerCount(), 0);
}

TEST_F(AppTest, AProgramThatFailsToStartEndsWithItsExitCode)
{
    class Failing : public CWinApp {
    public:
        BOOL InitInstance() override { return FALSE; }
    } app;
    char name[] = "Vistrel";
    char* argv[] = {name};
    EXPECT_EQ(AfxWinMain(1, argv), 1);
}

// A view that prints one red box of 1 x 0.5 inches.
class BoxView : public CView {
public:
    void OnDraw(CDC* dc) override
    {
        const int dpi = dc->GetDeviceCaps(LOGPIXELSX);
        dc->FillSolidRect(0, 0, dpi, dpi / 2, RGB(255, 0, 0));
    }
};

TEST_F(AppTest, ThePrintCommandOfAViewWritesThePagesAsPdf)
{
    ASSERT_TRUE(testkit::RequireTool("pdfinfo"));
    CWinApp app("Fendrake");
    win::Resources::App().AddString(200, "\nBox\nBox");
    auto* docs = new CSingleDocTemplate(200, win::ClassOf<CDocument>(), win::ClassOf<CFrameWnd>(), win::ClassOf<BoxView>());
    app.AddDocTemplate(docs);
    CDocument* doc = docs->OpenDocumentFile(nullptr);
    ASSERT_NE(doc, nullptr);
    CView* view = doc->GetViews().front();
    const std::string pdf = Home().file("box.pdf");
    win::PrintAnswer answer;
    answer.ok = true;
    answer.outputPath = pdf;
    answer.dotsPerInch = 72;
    answer.paperSize = POINT{4000, 3000};
    answer.minMargins = RECT{500, 500, 500, 500};
    Prompter().ExpectPrint(answer);
    view->SendMessage(WM_COMMAND, ID_FILE_PRINT, 0);
    const auto info = testkit::Run("pdfinfo '" + pdf + "'");
    ASSERT_EQ(info.status, 0) << info.output;
    // An unknown page count prints one page, the paper's size in points.
    EXPECT_EQ(testkit::PdfInfoField(info.output, "Pages"), "1") << info.output;
    EXPECT_EQ(testkit::PdfInfoField(info.output, "Page size"), "288 x 216 pts") << info.output;
    app.m_pMainWnd->DestroyWindow();
}

}  // namespace
