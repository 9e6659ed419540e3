// The presenter's prompter, headless: its dialogs are run by the modal loop
// as on a display, and each step of the test plays the user in the dialog
// the loop is waiting on.
#include "platform/win/present_x11/x11_prompter.h"

#include "platform/win/control_models.h"
#include "platform/win/dialog.h"
#include "platform/win/system.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/user_input.h"
#include "platform/win/window_system.h"
#include "platform/win/wnd.h"

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

// The interactive prompter whose modal dialogs are played by the test's
// steps, one per idle loop; no step left ends the dialog with Cancel.
class PlayedPrompter : public win::InteractivePrompter {
public:
    std::deque<std::function<void(CDialog&)>> steps;
    bool DriveModal(CDialog& dialog) override
    {
        if (steps.empty()) return false;
        auto step = std::move(steps.front());
        steps.pop_front();
        step(dialog);
        return true;
    }
};

HWND Item(CDialog& dialog, int id)
{
    return ::GetDlgItem(dialog.m_hWnd, id);
}

std::vector<std::string> ListTexts(HWND list)
{
    std::vector<std::string> texts;
    const int count = static_cast<int>(::SendMessage(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char buffer[256] = {};
        ::SendMessage(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
        texts.emplace_back(buffer);
    }
    return texts;
}

class InteractivePrompterTest : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        win::SetPrompter(&m_played);
    }
    PlayedPrompter& Played() { return m_played; }

private:
    PlayedPrompter m_played;
};

TEST_F(InteractivePrompterTest, AMessageBoxShowsItsLinesAndAnswersWithTheButtonClicked)
{
    win::MessageBoxRequest request{"Save changes to Pellicot?\nThe model changed.", "Vistrel", MB_YESNOCANCEL};
    const win::MessageBoxLayout layout = win::LayoutMessageBox(request);
    ASSERT_EQ(layout.buttons.size(), 3u);
    Played().steps.push_back([&](CDialog& box) {
        EXPECT_EQ(box.GetWindowText(), "Vistrel");
        RECT client{};
        ::GetClientRect(box.m_hWnd, &client);
        EXPECT_EQ(client.right, layout.width);
        EXPECT_EQ(client.bottom, layout.height);
        // The buttons are where the layout says, in order.
        const int ids[] = {IDYES, IDNO, IDCANCEL};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(layout.buttons[i].first, ids[i]);
            const HWND button = Item(box, ids[i]);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(CRect(win::WindowSystem::Get().Find(button)->rect), CRect(layout.buttons[i].second));
        }
        // Both lines are statics above the buttons.
        int lines = 0;
        for (HWND child : win::WindowSystem::Get().Children(box.m_hWnd)) {
            const std::string text = win::WindowSystem::Get().Find(child)->text;
            lines += (text == "Save changes to Pellicot?" || text == "The model changed.") ? 1 : 0;
        }
        EXPECT_EQ(lines, 2);
        win::user::ClickControl(Item(box, IDNO));
    });
    EXPECT_EQ(win::GetPrompter().MessageBox(request), IDNO);
}

TEST_F(InteractivePrompterTest, EnterTakesTheDefaultButtonAndEscapeOnlyCancelsWhenOffered)
{
    // Yes/No: Escape does nothing, Enter is Yes.
    Played().steps.push_back([](CDialog&) { win::user::PressKey(VK_ESCAPE); });
    Played().steps.push_back([](CDialog& box) {
        EXPECT_FALSE(box.HasEnded());
        win::user::PressKey(VK_RETURN);
    });
    EXPECT_EQ(win::GetPrompter().MessageBox({"Replace?", "", MB_YESNO}), IDYES);
    // The second button as default: Enter is No.
    Played().steps.push_back([](CDialog&) { win::user::PressKey(VK_RETURN); });
    EXPECT_EQ(win::GetPrompter().MessageBox({"Replace?", "", MB_YESNO | MB_DEFBUTTON2}), IDNO);
    // OK only: Escape and the close box are OK.
    Played().steps.push_back([](CDialog&) { win::user::PressKey(VK_ESCAPE); });
    EXPECT_EQ(win::GetPrompter().MessageBox({"Done.", "", MB_OK}), IDOK);
    Played().steps.push_back([](CDialog& box) { box.PostMessage(WM_CLOSE); });
    EXPECT_EQ(win::GetPrompter().MessageBox({"Done.", "", MB_OK}), IDOK);
    // With Cancel: closing is Cancel.
    Played().steps.push_back([](CDialog& box) { box.PostMessage(WM_CLOSE); });
    EXPECT_EQ(win::GetPrompter().MessageBox({"Print?", "", MB_OKCANCEL}), IDCANCEL);
}

TEST_F(InteractivePrompterTest, TheFileDialogBrowsesFoldersAndAnswersWithTheChosenFile)
{
    namespace fs = std::filesystem;
    const std::string root = Home().file("models");
    fs::create_directories(root + "/sub");
    std::ofstream(root + "/b.vis") << "b";
    std::ofstream(root + "/a.vis") << "a";
    std::ofstream(root + "/notes.txt") << "n";
    std::ofstream(root + "/sub/c.vis") << "c";

    win::FileDialogRequest open;
    open.title = "Open";
    open.filter = "Vistrel Models (*.vis)|*.vis|All Files (*.*)|*.*||";
    open.initialDir = root;
    Played().steps.push_back([&](CDialog& d) {
        EXPECT_EQ(ListTexts(Item(d, 1001)), (std::vector<std::string>{"../", "sub/", "a.vis", "b.vis"}));
        EXPECT_EQ(d.GetWindowText(), "Open - " + root);
        win::user::DoubleClickListItem(Item(d, 1001), 1);  // into sub
    });
    Played().steps.push_back([&](CDialog& d) {
        EXPECT_EQ(ListTexts(Item(d, 1001)), (std::vector<std::string>{"../", "c.vis"}));
        win::user::ClickListItem(Item(d, 1001), 1);
        EXPECT_EQ(d.GetDlgItem(1000)->GetWindowText(), "c.vis");
        win::user::ClickControl(Item(d, IDOK));
    });
    win::FileDialogAnswer answer = win::GetPrompter().FileDialog(open);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.paths, (std::vector<std::string>{root + "/sub/c.vis"}));

    // A name that is not there is refused with a message box; the dialog stays.
    Played().steps.push_back([&](CDialog& d) {
        win::user::TypeText(Item(d, 1000), "missing.vis");
        win::user::ClickControl(Item(d, IDOK));
    });
    Played().steps.push_back([&](CDialog& box) {
        EXPECT_NE(box.GetDlgItem(IDOK), nullptr);
        win::user::ClickControl(Item(box, IDOK));  // the message box's OK
    });
    Played().steps.push_back([&](CDialog& d) {
        EXPECT_FALSE(d.HasEnded());
        win::user::PressKey(VK_ESCAPE);
    });
    answer = win::GetPrompter().FileDialog(open);
    EXPECT_FALSE(answer.ok);
    EXPECT_TRUE(answer.paths.empty());

    // Saving: a typed name without extension gets the default one.
    win::FileDialogRequest save;
    save.open = false;
    save.filter = "Vistrel Models (*.vis)|*.vis||";
    save.defaultExt = ".vis";
    save.initialDir = root;
    Played().steps.push_back([&](CDialog& d) {
        EXPECT_EQ(d.GetWindowText(), "Save As - " + root);
        win::user::TypeText(Item(d, 1000), "fresh");
        win::user::PressKey(VK_RETURN);
    });
    answer = win::GetPrompter().FileDialog(save);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.paths, (std::vector<std::string>{root + "/fresh.vis"}));
}

TEST_F(InteractivePrompterTest, ALockedFileDialogNeverLeavesItsFolder)
{
    namespace fs = std::filesystem;
    const std::string root = Home().file("locked");
    fs::create_directories(root + "/sub");
    fs::create_directories(Home().file("other"));
    std::ofstream(root + "/a.vis") << "a";

    win::FileDialogRequest save;
    save.open = false;
    save.title = "Save";
    save.filter = "Vistrel Models (*.vis)|*.vis||";
    save.defaultExt = "vis";
    save.lockedFolder = root;
    save.initialDir = Home().file("other");  // the lock wins over the start folder
    Played().steps.push_back([&](CDialog& d) {
        // No way up, no subfolders.
        EXPECT_EQ(ListTexts(Item(d, 1001)), (std::vector<std::string>{"a.vis"}));
        for (const char* away : {"../x", "sub", "sub/x", "/tmp/x"}) {
            win::user::TypeText(Item(d, 1000), away);
            win::user::ClickControl(Item(d, IDOK));
            EXPECT_FALSE(d.HasEnded()) << away;
            EXPECT_EQ(d.GetWindowText(), "Save - " + root) << away;
        }
        win::user::TypeText(Item(d, 1000), "fresh");
        win::user::ClickControl(Item(d, IDOK));
    });
    const win::FileDialogAnswer answer = win::GetPrompter().FileDialog(save);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.paths, (std::vector<std::string>{root + "/fresh.vis"}));
}

TEST_F(InteractivePrompterTest, PrintAsksForTheOutputFileAndPages)
{
    const std::string out = Home().file("page.pdf");
    Played().steps.push_back([&](CDialog& d) {
        EXPECT_EQ(d.GetDlgItem(1002)->GetWindowText(), "1");
        EXPECT_EQ(d.GetDlgItem(1003)->GetWindowText(), "4");
        win::user::TypeText(Item(d, 1000), out);
        win::user::TypeText(Item(d, 1002), "2");
        win::user::TypeText(Item(d, 1003), "9");  // beyond the last page: the last
        win::user::ClickControl(Item(d, IDOK));
    });
    const win::PrintAnswer answer = win::GetPrompter().Print({1, 4, 0});
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.outputPath, out);
    EXPECT_EQ(answer.fromPage, 2);
    EXPECT_EQ(answer.toPage, 4);
    EXPECT_EQ(answer.dotsPerInch, 150);

    Played().steps.push_back([](CDialog& d) { win::user::ClickControl(Item(d, IDCANCEL)); });
    EXPECT_FALSE(win::GetPrompter().Print({1, 1, 0}).ok);

    win::PageSetupRequest setup;
    Played().steps.push_back([](CDialog& d) {
        win::user::SelectComboItem(Item(d, 1001), 1);  // A4
        win::user::ClickControl(Item(d, IDOK));
    });
    const win::PageSetupAnswer page = win::GetPrompter().PageSetup(setup);
    ASSERT_TRUE(page.ok);
    EXPECT_EQ(page.paperSize.x, 8268);
    EXPECT_EQ(page.paperSize.y, 11693);
}

TEST_F(InteractivePrompterTest, APopupMenuAtThePointAnswersWithTheEnabledItemClicked)
{
    win::PopupMenuRequest menu;
    menu.items = {{501, "&Cut", false, false}, {502, "&Copy\tCtrl+C", true, true}, {503, "&Paste", true, false}};
    menu.screenPoint = POINT{300, 200};
    Played().steps.push_back([](CDialog& popup) {
        RECT r{};
        ::GetWindowRect(popup.m_hWnd, &r);
        EXPECT_EQ(r.left, 300);
        EXPECT_EQ(r.top, 200);
        const HWND list = Item(popup, 1001);
        EXPECT_EQ(ListTexts(list), (std::vector<std::string>{"  Cut", "* Copy Ctrl+C", "  Paste"}));
        win::user::ClickListItem(list, 0);  // disabled: nothing
        EXPECT_FALSE(popup.HasEnded());
        win::user::ClickListItem(list, 2);
    });
    EXPECT_EQ(win::GetPrompter().PopupMenu(menu), 503u);
    Played().steps.push_back([](CDialog&) { win::user::PressKey(VK_ESCAPE); });
    EXPECT_EQ(win::GetPrompter().PopupMenu(menu), 0u);
}

// Runs a function once, from the message loop, a moment later.
class Later : public CWnd {
public:
    std::function<void()> action;
    void Start(std::function<void()> what)
    {
        action = std::move(what);
        ASSERT_TRUE(CreateEx(0, nullptr, "later", WS_OVERLAPPED, RECT{0, 0, 10, 10}, nullptr, 0));
        SetTimer(1, 5, nullptr);
    }
    void OnTimer(UINT_PTR) override
    {
        KillTimer(1);
        if (action) action();
        action = nullptr;
    }
};

TEST_F(InteractivePrompterTest, ADragEndsOnTheWindowWhereTheButtonIsReleased)
{
    CWnd source, target;
    ASSERT_TRUE(source.CreateEx(0, nullptr, "source", WS_OVERLAPPED | WS_VISIBLE, RECT{0, 0, 200, 200}, nullptr, 0));
    ASSERT_TRUE(target.CreateEx(0, nullptr, "target", WS_OVERLAPPED | WS_VISIBLE, RECT{300, 0, 500, 200}, nullptr, 0));
    const POINT origin = win::WindowSystem::Get().ClientOriginScreen(target.m_hWnd);
    win::MouseEvent(WM_LBUTTONDOWN, win::WindowSystem::Get().ClientOriginScreen(source.m_hWnd), MK_LBUTTON);
    ASSERT_TRUE(win::IsKeyDown(VK_LBUTTON));
    Later later;
    later.Start([&] {
        win::SetKeyDown(VK_CONTROL, true);
        win::MouseEvent(WM_MOUSEMOVE, POINT{origin.x + 40, origin.y + 30}, MK_LBUTTON | MK_CONTROL);
        win::MouseEvent(WM_LBUTTONUP, POINT{origin.x + 40, origin.y + 30}, MK_CONTROL);
    });
    const win::DropAnswer answer = win::GetPrompter().DragDrop({source.m_hWnd, {CF_TEXT}, "text", DROPEFFECT_COPY});
    EXPECT_TRUE(answer.drop);
    EXPECT_EQ(answer.target, target.m_hWnd);
    EXPECT_EQ(CPoint(answer.clientPoint), CPoint(40, 30));
    EXPECT_EQ(answer.keyState, MK_CONTROL);
    win::SetKeyDown(VK_CONTROL, false);
    later.DestroyWindow();
    source.DestroyWindow();
    target.DestroyWindow();
}

}  // namespace
