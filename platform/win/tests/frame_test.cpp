// Frames, documents and views together: command routing from the active
// view to the application, update-command-UI, MDI activation and z-order,
// document titles and views, closing with unsaved changes, the bars of a
// frame, scroll and form views and the splitter.
#include "platform/win/control_bars.h"
#include "platform/win/controls.h"
#include "platform/win/data_exchange.h"
#include "platform/win/doc_view.h"
#include "platform/win/splitter.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/user_input.h"
#include "platform/win/win_app.h"
#include "platform/win/window_system.h"

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_log;

constexpr UINT kDocRes = 129;
constexpr UINT kMainRes = 130;
// Command ids handled by a shorter and shorter tail of the route.
constexpr UINT kAll = 40001, kFromDoc = 40002, kFromChild = 40003, kFromMain = 40004, kFromApp = 40005,
               kNobody = 40006, kDisabled = 40007, kContinued = 40008;

class TestDoc : public CDocument {
public:
    bool failOpen = false;
    std::vector<LPARAM> hints;
    BOOL OnOpenDocument(const char* path) override
    {
        if (std::string(path).find("broken") != std::string::npos) return FALSE;
        return CDocument::OnOpenDocument(path);
    }
    void Handled() { g_log.push_back("doc"); }
    void UpdateDisabled(CCmdUI* ui)
    {
        ui->Enable(FALSE);
        ui->SetCheck(1);
        ui->SetText("Hide Image Names");
    }
    void UpdateContinued(CCmdUI* ui) { ui->SetCheck(2); }
    const win::MessageMap* GetMessageMap() const override
    {
        static const win::MessageMap map(CDocument::GetMessageMap(),
                                         {
                                             win::on::Command(kAll, &TestDoc::Handled),
                                             win::on::Command(kFromDoc, &TestDoc::Handled),
                                             win::on::UpdateUI(kDisabled, &TestDoc::UpdateDisabled),
                                             win::on::UpdateUI(kContinued, &TestDoc::UpdateContinued),
                                         });
        return &map;
    }
};

class TestView : public CView {
public:
    std::vector<std::pair<CView*, LPARAM>> updates;
    int initialUpdates = 0;
    void OnDraw(CDC*) override {}
    void OnInitialUpdate() override
    {
        ++initialUpdates;
        CView::OnInitialUpdate();
    }
    void OnUpdate(CView* sender, LPARAM hint, CObject*) override { updates.emplace_back(sender, hint); }
    void Handled() { g_log.push_back("view"); }
    void UpdateContinued(CCmdUI* ui)
    {
        ui->SetCheck(1);
        ui->ContinueRouting();
    }
    const win::MessageMap* GetMessageMap() const override
    {
        static const win::MessageMap map(CView::GetMessageMap(),
                                         {
                                             win::on::Command(kAll, &TestView::Handled),
                                             win::on::UpdateUI(kContinued, &TestView::UpdateContinued),
                                         });
        return &map;
    }
};

class TestChild : public CMDIChildWnd {
public:
    std::vector<bool>* activations = nullptr;
    void Handled() { g_log.push_back("child"); }
    void OnMDIActivate(BOOL activate, CWnd* a, CWnd* d) override
    {
        g_log.push_back(std::string(activate ? "activate " : "deactivate ") + GetWindowText());
        CMDIChildWnd::OnMDIActivate(activate, a, d);
    }
    const win::MessageMap* GetMessageMap() const override
    {
        static const win::MessageMap map(CMDIChildWnd::GetMessageMap(),
                                         {
                                             win::on::Command(kAll, &TestChild::Handled),
                                             win::on::Command(kFromDoc, &TestChild::Handled),
                                             win::on::Command(kFromChild, &TestChild::Handled),
                                         });
        return &map;
    }
};

class MainFrame : public CMDIFrameWnd {
public:
    CStatusBar status;
    CToolBar tools;
    CDialogBar bar;
    void Handled() { g_log.push_back("main"); }
    int OnCreate(LPCREATESTRUCT cs) override
    {
        if (CMDIFrameWnd::OnCreate(cs) == -1) return -1;
        static const UINT panes[] = {ID_SEPARATOR, 59000, 59001, 59002};
        if (!tools.CreateEx(this, TBSTYLE_FLAT, WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_TOOLTIPS | CBRS_FLYBY) ||
            !tools.LoadToolBar(128) || !status.Create(this) || !status.SetIndicators(panes, 4))
            return -1;
        status.SetPaneInfo(1, 59000, SBPS_NORMAL, 150);
        status.SetPaneInfo(2, 59001, SBPS_NORMAL, 200);
        status.SetPaneInfo(3, 59002, SBPS_NORMAL, 20);
        if (!bar.Create(this, 103, CBRS_LEFT | CBRS_TOOLTIPS, 103)) return -1;
        return 0;
    }
    const win::MessageMap* GetMessageMap() const override
    {
        static const win::MessageMap map(CMDIFrameWnd::GetMessageMap(),
                                         {
                                             win::on::Command(kAll, &MainFrame::Handled),
                                             win::on::Command(kFromDoc, &MainFrame::Handled),
                                             win::on::Command(kFromChild, &MainFrame::Handled),
                                             win::on::Command(kFromMain, &MainFrame::Handled),
                                         });
        return &map;
    }
};

class TestApp : public CWinApp {
public:
    TestApp() : CWinApp("Fendrake") {}
    void Handled() { g_log.push_back("app"); }
    const win::MessageMap* GetMessageMap() const override
    {
        static const win::MessageMap map(CWinApp::GetMessageMap(),
                                         {
                                             win::on::Command(kAll, &TestApp::Handled),
                                             win::on::Command(kFromDoc, &TestApp::Handled),
                                             win::on::Command(kFromChild, &TestApp::Handled),
                                             win::on::Command(kFromMain, &TestApp::Handled),
                                             win::on::Command(kFromApp, &TestApp::Handled),
                                             win::on::Command(kDisabled, &TestApp::Handled),
                                             win::on::Command(kContinued, &TestApp::Handled),
                                         });
        return &map;
    }
};

class FrameTest : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        g_log.clear();
        auto& res = win::Resources::App();
        res.AddString(kDocRes, "\nFendrake\nFendrake\nFendrake Files (*.kzp)\n.kzp\nFendrake.kzp\nFendrake Project File");
        res.AddString(kMainRes, "Fendrake");
        res.AddString(kAll, "Show Pellicot\nPellicot");
        res.AddToolBar(128, win::ToolBarTemplate{{kAll, 0, kFromApp, kNobody, kDisabled}, SIZE{23, 22}, 0});
        win::DialogTemplate stitchBar;
        stitchBar.id = 103;
        stitchBar.style = WS_CHILD;
        stitchBar.size = SIZE{120, 300};
        stitchBar.controls = {{kFromApp, win::ControlKind::PushButton, RECT{10, 10, 110, 40}, "Load"},
                              {kNobody, win::ControlKind::PushButton, RECT{10, 50, 110, 80}, "Stitch"},
                              {1251, win::ControlKind::Static, RECT{10, 90, 110, 110}, "R: 75%"}};
        res.AddDialog(stitchBar);
        app = std::make_unique<TestApp>();
        app->SetRegistryKey("Quorvane");
        app->LoadStdProfileSettings(10);
        main = new MainFrame;
        ASSERT_TRUE(main->LoadFrame(kMainRes, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE));
        app->m_pMainWnd = main;
        main->ShowWindow(SW_SHOW);
        docs = new CMultiDocTemplate(kDocRes, win::ClassOf<TestDoc>(), win::ClassOf<TestChild>(),
                                     win::ClassOf<TestView>());
        app->AddDocTemplate(docs);
    }
    void TearDown() override
    {
        if (main && ::IsWindow(main->m_hWnd)) main->DestroyWindow();
        app.reset();
        WinTest::TearDown();
    }
    TestDoc* NewDoc() { return static_cast<TestDoc*>(docs->OpenDocumentFile(nullptr)); }
    static TestView* ViewOf(CDocument* d) { return static_cast<TestView*>(d->GetViews().front()); }
    std::string Route(UINT id)
    {
        g_log.clear();
        main->SendMessage(WM_COMMAND, id, 0);
        return g_log.empty() ? "nobody" : g_log.back() + (g_log.size() > 1 ? " and more" : "");
    }

    std::unique_ptr<TestApp> app;
    MainFrame* main = nullptr;
    CMultiDocTemplate* docs = nullptr;
};

TEST_F(FrameTest, CommandsGoFromTheActiveViewToTheApplicationAndTheFirstHandlerWins)
{
    TestDoc* doc = NewDoc();
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(Route(kAll), "view");
    EXPECT_EQ(Route(kFromDoc), "doc");
    EXPECT_EQ(Route(kFromChild), "child");
    EXPECT_EQ(Route(kFromMain), "main");
    EXPECT_EQ(Route(kFromApp), "app");
    EXPECT_EQ(Route(kNobody), "nobody");
    // Without any child frame the route starts at the main frame.
    doc->OnCloseDocument();
    EXPECT_EQ(main->MDIGetActive(), nullptr);
    EXPECT_EQ(Route(kAll), "main");
    EXPECT_EQ(Route(kFromApp), "app");
}

TEST_F(FrameTest, UpdateCommandUiAnswersEnabledCheckedAndText)
{
    NewDoc();
    const win::CommandState disabled = win::QueryCommandState(main, kDisabled);
    EXPECT_TRUE(disabled.updateHandler);
    EXPECT_TRUE(disabled.commandHandler);
    EXPECT_FALSE(disabled.enabled);
    EXPECT_EQ(disabled.check, 1);
    EXPECT_EQ(disabled.text, "Hide Image Names");
    // A disabled command does not run, even when sent.
    EXPECT_FALSE(win::user::ChooseCommand(main, kDisabled));
    EXPECT_EQ(Route(kDisabled), "nobody");
    // No handler at all: disabled; a command handler only: enabled.
    EXPECT_FALSE(win::QueryCommandState(main, kNobody).enabled);
    EXPECT_TRUE(win::QueryCommandState(main, kFromApp).enabled);
    EXPECT_TRUE(win::user::ChooseCommand(main, kFromApp));
    // The view's handler passes the question on; the document answers.
    const win::CommandState continued = win::QueryCommandState(main, kContinued);
    EXPECT_EQ(continued.check, 2);
}

TEST_F(FrameTest, MdiChildrenActivateInZOrderAndHearOfIt)
{
    TestDoc* a = NewDoc();
    TestDoc* b = NewDoc();
    TestDoc* c = NewDoc();
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a->GetTitle(), "Fendrake1");
    EXPECT_EQ(c->GetTitle(), "Fendrake3");
    auto childOf = [](CDocument* d) { return static_cast<CMDIChildWnd*>(d->GetViews().front()->GetParentFrame()); };
    EXPECT_EQ(main->MDIGetActive(), childOf(c));
    EXPECT_EQ(main->MDIChildren(), (std::vector<CMDIChildWnd*>{childOf(c), childOf(b), childOf(a)}));
    EXPECT_EQ(main->GetWindowText(), "Fendrake - Fendrake3");
    EXPECT_EQ(childOf(b)->GetWindowText(), "Fendrake2");

    g_log.clear();
    main->MDIActivate(childOf(a));
    EXPECT_EQ(g_log, (std::vector<std::string>{"deactivate Fendrake3", "activate Fendrake1"}));
    EXPECT_EQ(main->MDIChildren().front(), childOf(a));
    EXPECT_EQ(Route(kAll), "view");
    EXPECT_EQ(main->GetActiveDocument(), a);
    // A click in another child's view activates that child.
    childOf(a)->MoveWindow(0, 0, 200, 150);
    childOf(b)->MoveWindow(210, 0, 200, 150);
    childOf(c)->MoveWindow(0, 160, 200, 150);
    win::user::Click(ViewOf(b)->m_hWnd, POINT{5, 5});
    EXPECT_EQ(main->MDIGetActive(), childOf(b));
    // Closing the active child activates the next in z-order.
    g_log.clear();
    childOf(b)->SendMessage(WM_CLOSE);
    EXPECT_EQ(main->MDIGetActive(), childOf(a));
    EXPECT_EQ(docs->GetDocuments().size(), 2u);  // b went with its only frame
    EXPECT_EQ(g_log.back(), "activate Fendrake1");
}

TEST_F(FrameTest, ADocumentTellsItsOtherViewsAndNumbersItsFrames)
{
    TestDoc* doc = NewDoc();
    CFrameWnd* second = docs->CreateNewFrame(doc, nullptr);
    ASSERT_NE(second, nullptr);
    docs->InitialUpdateFrame(second, doc);
    ASSERT_EQ(doc->GetViews().size(), 2u);
    auto* v1 = static_cast<TestView*>(doc->GetViews()[0]);
    auto* v2 = static_cast<TestView*>(doc->GetViews()[1]);
    EXPECT_EQ(v1->initialUpdates, 1);
    EXPECT_EQ(v1->GetParentFrame()->GetWindowText(), "Fendrake1:1");
    EXPECT_EQ(second->GetWindowText(), "Fendrake1:2");
    doc->UpdateAllViews(v1, 15);
    EXPECT_TRUE(v1->updates.size() == 1);  // only the initial update
    ASSERT_EQ(v2->updates.size(), 2u);
    EXPECT_EQ(v2->updates.back(), std::make_pair(static_cast<CView*>(v1), static_cast<LPARAM>(15)));
    doc->SetPathName("/photos/pano.kzp");
    EXPECT_EQ(second->GetWindowText(), "pano.kzp:2");
    // One frame closing leaves the document with the other.
    second->SendMessage(WM_CLOSE);
    ASSERT_EQ(doc->GetViews().size(), 1u);
    EXPECT_EQ(v1->GetParentFrame()->GetWindowText(), "pano.kzp");
}

TEST_F(FrameTest, UnsavedChangesAreOfferedBeforeTheLastFrameCloses)
{
    TestDoc* doc = NewDoc();
    doc->SetModifiedFlag(TRUE);
    CFrameWnd* frame = doc->GetViews().front()->GetParentFrame();
    Prompter().ExpectMessageBox("Save changes to Fendrake1?", IDCANCEL);
    frame->SendMessage(WM_CLOSE);
    EXPECT_EQ(docs->GetDocuments().size(), 1u);
    Prompter().ExpectMessageBox("Save changes to Fendrake1?", IDYES);
    Prompter().ExpectFileDialog("Save As", win::FileDialogAnswer{true, {"/tmp/kept.kzp"}, 1});
    frame->SendMessage(WM_CLOSE);
    EXPECT_TRUE(docs->GetDocuments().empty());
    EXPECT_EQ(Prompter().FileDialogs().back().defaultExt, ".kzp");
    // The saved path went to the recent files, newest first, in the profile.
    ASSERT_NE(app->m_pRecentFileList, nullptr);
    EXPECT_EQ((*app->m_pRecentFileList)[0], "/tmp/kept.kzp");
    EXPECT_EQ(app->GetProfileString("Recent File List", "File1"), "/tmp/kept.kzp");
}

TEST_F(FrameTest, ADocumentThatFailsToOpenTakesItsFrameAlong)
{
    EXPECT_EQ(app->OpenDocumentFile("/photos/broken.kzp"), nullptr);
    EXPECT_TRUE(docs->GetDocuments().empty());
    EXPECT_TRUE(main->MDIChildren().empty());
    CDocument* doc = app->OpenDocumentFile("/photos/good.kzp");
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->GetTitle(), "good.kzp");
    // Opening it again brings the open one forward.
    EXPECT_EQ(app->OpenDocumentFile("/photos/good.kzp"), doc);
    EXPECT_EQ(docs->GetDocuments().size(), 1u);
}

TEST_F(FrameTest, BarsTakeTheirSidesAndTheMdiClientTheRest)
{
    CRect client, status, tools, bar, mdi;
    main->GetClientRect(&client);
    main->status.GetWindowRect(&status);
    main->tools.GetWindowRect(&tools);
    main->bar.GetWindowRect(&bar);
    ::GetWindowRect(main->m_hWndMDIClient, &mdi);
    main->ScreenToClient(&status);
    main->ScreenToClient(&tools);
    main->ScreenToClient(&bar);
    main->ScreenToClient(&mdi);
    EXPECT_EQ(tools, CRect(0, 0, 4 * 23 + 8 + 4, 26));
    EXPECT_EQ(status, CRect(0, client.bottom - win::kStatusBarHeight, client.right, client.bottom));
    EXPECT_EQ(bar, CRect(0, 26, 120, 26 + 300));
    EXPECT_EQ(mdi, CRect(120, 26, client.right, client.bottom - win::kStatusBarHeight));

    main->SetMessageText("Right-click on the image for more operations");
    EXPECT_EQ(main->status.GetPaneText(0), "Right-click on the image for more operations");
    main->status.SetPaneText(main->status.CommandToIndex(59001), "Loading #1 thumbnail IMG_1.JPG");
    EXPECT_EQ(main->status.GetPaneText(2), "Loading #1 thumbnail IMG_1.JPG");
    CRect pane;
    main->status.GetItemRect(2, &pane);
    EXPECT_EQ(pane.Width(), 204);

    // Hiding a bar gives its strip back.
    main->ShowControlBar(&main->bar, FALSE, FALSE);
    ::GetWindowRect(main->m_hWndMDIClient, &mdi);
    main->ScreenToClient(&mdi);
    EXPECT_EQ(mdi.left, 0);
}

TEST_F(FrameTest, IdleUpdatesToolbarButtonsAndDialogBarControls)
{
    NewDoc();
    g_log.clear();
    app->OnIdle(0);
    EXPECT_FALSE(main->tools.GetButtonStyle(0) & TBBS_DISABLED);  // handled
    EXPECT_FALSE(main->tools.GetButtonStyle(2) & TBBS_DISABLED);
    EXPECT_TRUE(main->tools.GetButtonStyle(3) & TBBS_DISABLED);   // nobody handles it
    EXPECT_TRUE(main->tools.GetButtonStyle(4) & TBBS_DISABLED);   // its update handler disables it
    EXPECT_TRUE(main->tools.GetButtonStyle(4) & TBBS_CHECKED);
    EXPECT_TRUE(main->bar.GetDlgItem(kFromApp)->IsWindowEnabled());
    EXPECT_FALSE(main->bar.GetDlgItem(kNobody)->IsWindowEnabled());
    EXPECT_TRUE(main->bar.GetDlgItem(1251)->IsWindowEnabled());  // not a push button: left alone

    win::user::ClickToolBarButton(main->tools, 2);
    EXPECT_EQ(g_log, (std::vector<std::string>{"app"}));
    g_log.clear();
    win::user::ClickToolBarButton(main->tools, 3);  // disabled: nothing
    EXPECT_TRUE(g_log.empty());
    win::user::ClickControl(main->bar.GetDlgItem(kFromApp));
    EXPECT_EQ(g_log, (std::vector<std::string>{"app"}));

    EXPECT_EQ(win::user::HoverToolBarButton(main->tools, 0), "Pellicot");
    EXPECT_EQ(main->status.GetPaneText(0), "Show Pellicot");
}

class Scroller : public CScrollView {
public:
    void OnDraw(CDC*) override {}
};

TEST_F(FrameTest, ScrollViewsShowBarsOnlyWhereTheContentIsLarger)
{
    CFrameWnd* frame = new CFrameWnd;
    CCreateContext context;
    context.m_pNewViewClass = win::ClassOf<Scroller>();
    ASSERT_TRUE(frame->Create(nullptr, "scroll", WS_OVERLAPPEDWINDOW | WS_VISIBLE, RECT{0, 0, 400, 300}, nullptr, 0,
                              0, &context));
    auto* view = static_cast<Scroller*>(frame->GetDlgItem(AFX_IDW_PANE_FIRST));
    ASSERT_NE(view, nullptr);
    CRect client;
    view->GetClientRect(&client);
    const CSize total(client.Width() + 100, client.Height() - 10);
    view->SetScrollSizes(MM_TEXT, total);
    EXPECT_TRUE(view->GetStyle() & WS_HSCROLL);
    // The horizontal bar takes 17 pixels, so the height no longer fits.
    EXPECT_TRUE(view->GetStyle() & WS_VSCROLL);
    view->OnScroll(MAKEWORD(SB_PAGEDOWN, 0xFF), 0);
    EXPECT_EQ(view->GetScrollPosition().x, total.cx / 10);
    view->ScrollToPosition(POINT{10000, 3});
    const CPoint p = view->GetScrollPosition();
    view->GetClientRect(&client);
    EXPECT_EQ(p.x, total.cx - client.Width());  // the last page ends at the total
    EXPECT_EQ(p.y, 3);
    win::user::Scroll(view->m_hWnd, SB_HORZ, SB_LINEUP);
    EXPECT_EQ(view->GetScrollPosition().x, p.x - total.cx / 100);
    view->SetScrollSizes(MM_TEXT, CSize(10, 10));
    EXPECT_FALSE(view->GetStyle() & (WS_HSCROLL | WS_VSCROLL));
    frame->DestroyWindow();
}

class Form : public CFormView {
public:
    Form() : CFormView(227) {}
    int type = 3;
    void DoDataExchange(CDataExchange* dx) override { DDX_CBIndex(dx, 1020, type); }
    void OnInitialUpdate() override
    {
        auto* combo = static_cast<CComboBox*>(GetDlgItem(1020));
        for (const char* s : {"jpg", "world", "bmp", "gif", "tif", "all"}) combo->AddString(s);
        CFormView::OnInitialUpdate();
    }
};

TEST_F(FrameTest, FormViewsAndSplittersLayTheirPanesOut)
{
    win::DialogTemplate t;
    t.id = 227;
    t.style = WS_CHILD;
    t.size = SIZE{150, 200};
    t.controls = {{1020, win::ControlKind::ComboDropList, RECT{5, 5, 145, 25}, ""},
                  {1104, win::ControlKind::TreeView, RECT{5, 30, 145, 190}, "Tree1"}};
    win::Resources::App().AddDialog(t);

    CFrameWnd* frame = new CFrameWnd;
    ASSERT_TRUE(frame->Create(nullptr, "Image Browser", WS_OVERLAPPEDWINDOW | WS_VISIBLE, RECT{0, 0, 600, 400}));
    CSplitterWnd splittee;  // a member of the frame in a program
    CSplitterWnd* splitter = &splittee;
    ASSERT_TRUE(splitter->CreateStatic(frame, 1, 2));
    CCreateContext context;
    ASSERT_TRUE(splitter->CreateView(0, 0, win::ClassOf<Form>(), SIZE{200, 0}, &context));
    ASSERT_TRUE(splitter->CreateView(0, 1, win::ClassOf<Scroller>(), SIZE{0, 0}, &context));
    frame->RecalcLayout();
    CRect client;
    frame->GetClientRect(&client);
    int current = 0, minimum = 0;
    splitter->GetColumnInfo(0, current, minimum);
    EXPECT_EQ(current, 200);
    splitter->GetColumnInfo(1, current, minimum);
    EXPECT_EQ(current, client.Width() - 200 - CSplitterWnd::kBarWidth);
    auto* form = static_cast<Form*>(splitter->GetPane(0, 0));
    frame->InitialUpdateFrame(nullptr, TRUE);
    EXPECT_EQ(static_cast<CComboBox*>(form->GetDlgItem(1020))->GetCurSel(), 3);
    ASSERT_NE(form->GetDlgItem(1104), nullptr);
    // The user drags the splitter bar 50 pixels to the right.
    win::user::Drag(splitter->m_hWnd, POINT{203, 50}, POINT{253, 50});
    splitter->GetColumnInfo(0, current, minimum);
    EXPECT_EQ(current, 250);
    frame->DestroyWindow();
}

}  // namespace
