// Services with headless defaults: the profile file under the "Quorvane"
// key, the clipboard with a DIB, drags between windows with the browser's
// text, files dropped from the desktop, the shell launcher's record, the
// empty registry that makes help unavailable, timers, metrics and cursors.
#include "platform/win/clipboard.h"
#include "platform/win/dib.h"
#include "platform/win/drag_drop.h"
#include "platform/win/file_system.h"
#include "platform/win/profile.h"
#include "platform/win/resources.h"
#include "platform/win/shell.h"
#include "platform/win/system.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/user_input.h"
#include "platform/win/win_app.h"
#include "platform/win/window_system.h"
#include "platform/win/wnd.h"

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

class ServicesTest : public WinTest {};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(ServicesTest, TheProfileIsAnIniFileUnderTheRegistryKeyWrittenAtOnce)
{
    CWinApp app("Fendrake");
    app.SetRegistryKey("Quorvane");
    const std::string path = Home().file("config") + "/Quorvane/Fendrake.ini";
    EXPECT_EQ(win::Profile::Get().Path(), path);
    EXPECT_EQ(app.GetProfileInt("ImgBrowser", "hPosition", -7), static_cast<UINT>(-7));
    // Left and right edges packed as two signed 16-bit values.
    const int packed = static_cast<int>(MAKELONG(static_cast<uint16_t>(-20), 780));
    EXPECT_TRUE(app.WriteProfileInt("ImgBrowser", "hPosition", packed));
    EXPECT_TRUE(app.WriteProfileString("Config", "ImageName", " C:\\pano\\a b.jpg "));
    const BYTE state[4] = {1, 2, 0, 33};
    EXPECT_TRUE(app.WriteProfileBinary("ImgBrowser", "InitState", state, 4));
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("[ImgBrowser]\nhPosition=" + std::to_string(packed) + "\nInitState=01020021\n"), std::string::npos)
        << text;
    // Leading and trailing blanks survive through quoting.
    EXPECT_NE(text.find("ImageName=\" C:\\\\pano\\\\a b.jpg \""), std::string::npos) << text;

    // Another run (a fresh read of the file) sees the same values, names
    // without regard to case.
    win::Profile::Get().Configure("Quorvane", "Fendrake");
    EXPECT_EQ(static_cast<int>(app.GetProfileInt("imgbrowser", "HPOSITION", 0)), packed);
    EXPECT_EQ(static_cast<int16_t>(LOWORD(app.GetProfileInt("ImgBrowser", "hPosition", 0))), -20);
    EXPECT_EQ(app.GetProfileString("Config", "ImageName"), " C:\\pano\\a b.jpg ");
    std::vector<BYTE> back;
    ASSERT_TRUE(app.GetProfileBinary("ImgBrowser", "InitState", back));
    EXPECT_EQ(back, (std::vector<BYTE>{1, 2, 0, 33}));
    // A null value removes the entry, a null entry the section.
    EXPECT_TRUE(app.WriteProfileString("Config", "ImageName", nullptr));
    EXPECT_EQ(app.GetProfileString("Config", "ImageName", "none"), "none");
    EXPECT_TRUE(app.WriteProfileString("ImgBrowser", nullptr, nullptr));
    EXPECT_EQ(app.GetProfileInt("ImgBrowser", "hPosition", 5), 5u);
}

TEST_F(ServicesTest, TheRecentFileListKeepsTheNewestFirstWithoutDuplicates)
{
    CWinApp app("Vistrel");
    app.SetRegistryKey("Quorvane");
    app.LoadStdProfileSettings(3);
    for (const char* f : {"/p/a.kzp", "/p/b.jpg", "/p/c.tif", "/p/a.kzp", "/p/d.bmp"}) app.AddToRecentFileList(f);
    CRecentFileList& list = *app.m_pRecentFileList;
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list[0], "/p/d.bmp");
    EXPECT_EQ(list[1], "/p/a.kzp");
    EXPECT_EQ(list[2], "/p/c.tif");
    EXPECT_EQ(app.GetProfileString("Recent File List", "File1"), "/p/d.bmp");
    EXPECT_EQ(app.GetProfileString("Recent File List", "File3"), "/p/c.tif");
    // The list is read back at the next start.
    CRecentFileList again(ID_FILE_MRU_FILE1, "Recent File List", "File%d", 3);
    again.ReadList();
    EXPECT_EQ(again[1], "/p/a.kzp");
    list.Remove(0);
    EXPECT_EQ(app.GetProfileString("Recent File List", "File1"), "/p/a.kzp");
    EXPECT_EQ(app.GetProfileString("Recent File List", "File3", "gone"), "gone");
}

TEST_F(ServicesTest, TheClipboardCarriesADibBetweenOwnersAndRefusesABusyOpen)
{
    CWnd a, b;
    ASSERT_TRUE(a.CreateEx(0, nullptr, "a", WS_OVERLAPPED, RECT{0, 0, 10, 10}, nullptr, 0));
    ASSERT_TRUE(b.CreateEx(0, nullptr, "b", WS_OVERLAPPED, RECT{0, 0, 10, 10}, nullptr, 0));
    // A 3 x 2 bottom-up 24-bit DIB: header then rows padded to 4 bytes.
    const size_t rowBytes = static_cast<size_t>(DibRowBytes(3, 24));
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof(BITMAPINFOHEADER) + 2 * rowBytes);
    ASSERT_NE(block, nullptr);
    auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(block));
    *header = BITMAPINFOHEADER{40, 3, 2, 1, 24, BI_RGB, static_cast<DWORD>(2 * rowBytes), 0, 0, 0, 0};
    auto* bits = reinterpret_cast<unsigned char*>(header + 1);
    for (size_t i = 0; i < 2 * rowBytes; ++i) bits[i] = static_cast<unsigned char>(i);
    GlobalUnlock(block);

    ASSERT_TRUE(OpenClipboard(a.m_hWnd));
    EXPECT_FALSE(OpenClipboard(b.m_hWnd));  // busy: another window holds it
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_NE(SetClipboardData(CF_DIB, block), nullptr);
    EXPECT_EQ(GlobalFree(block), block);  // the clipboard's now
    EXPECT_TRUE(CloseClipboard());

    EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
    EXPECT_EQ(GetClipboardData(CF_DIB), nullptr);  // not open
    ASSERT_TRUE(OpenClipboard(b.m_hWnd));
    const HGLOBAL got = GetClipboardData(CF_DIB);
    ASSERT_NE(got, nullptr);
    ASSERT_EQ(GlobalSize(got), sizeof(BITMAPINFOHEADER) + 2 * rowBytes);
    const auto* h = static_cast<const BITMAPINFOHEADER*>(GlobalLock(got));
    EXPECT_EQ(h->biBitCount, 24);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(h + 1)[rowBytes + 2], rowBytes + 2);
    GlobalUnlock(got);
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_DIB));
    CloseClipboard();
    EXPECT_EQ(win::LiveGlobalCount(), 0u);
    a.DestroyWindow();
    b.DestroyWindow();
}

// The tray's row: accepts the browser's notification text over link and
// picture regions.
class TrayTarget : public COleDropTarget {
public:
    std::string text;
    CPoint point;
    DROPEFFECT OnDragOver(CWnd*, COleDataObject* data, DWORD keyState, CPoint) override
    {
        if (!data->IsDataAvailable(CF_TEXT)) return DROPEFFECT_NONE;
        return (keyState & MK_CONTROL) ? DROPEFFECT_COPY : DROPEFFECT_MOVE;
    }
    BOOL OnDrop(CWnd*, COleDataObject* data, DROPEFFECT, CPoint p) override
    {
        const HGLOBAL copy = data->GetGlobalData(CF_TEXT);
        text = static_cast<const char*>(GlobalLock(copy));
        GlobalUnlock(copy);
        GlobalFree(copy);
        point = p;
        return text == "KQVZ-NOTIFY-FROM-PREVIEW";
    }
};

TEST_F(ServicesTest, ADragCarriesTheBrowsersTextToTheTargetUnderTheDropPoint)
{
    CWnd host, row, board;
    ASSERT_TRUE(host.CreateEx(0, nullptr, "host", WS_OVERLAPPED | WS_VISIBLE, RECT{0, 0, 400, 300}, nullptr, 0));
    ASSERT_TRUE(row.Create(nullptr, "row", WS_VISIBLE, RECT{15, 10, 385, 160}, &host, 33170));
    CWnd child;
    ASSERT_TRUE(child.Create(nullptr, "thumb", WS_VISIBLE, RECT{5, 5, 50, 50}, &row, 1));
    ASSERT_TRUE(board.CreateEx(0, nullptr, "board", WS_OVERLAPPED | WS_VISIBLE, RECT{500, 0, 700, 200}, nullptr, 0));
    TrayTarget target;
    ASSERT_TRUE(target.Register(&row));

    for (int round = 0; round < 2; ++round) {
        COleDataSource source;
        const HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, 32);
        std::strcpy(static_cast<char*>(GlobalLock(text)), "KQVZ-NOTIFY-FROM-PREVIEW");
        GlobalUnlock(text);
        source.CacheGlobalData(CF_TEXT, text);
        // Dropped on a child of the row: the row's target takes it, the point
        // in the row's coordinates.
        Prompter().ExpectDrop(win::DropAnswer{true, child.m_hWnd, POINT{10, 20}, round ? UINT{MK_CONTROL} : 0u});
        const DROPEFFECT effect = source.DoDragDrop(DROPEFFECT_COPY);
        // The board offers copy only: without Ctrl the row wants to move, so
        // nothing drops; with Ctrl it copies.
        EXPECT_EQ(effect, round ? DROPEFFECT_COPY : DROPEFFECT_NONE);
        EXPECT_EQ(target.text, round ? "KQVZ-NOTIFY-FROM-PREVIEW" : "");
        if (round) {
            EXPECT_EQ(target.point, CPoint(15, 25));
        }
        target.text.clear();
    }
    EXPECT_EQ(Prompter().Drags().back().text, "KQVZ-NOTIFY-FROM-PREVIEW");
    // Dropped where nobody registered: nothing happens.
    COleDataSource other;
    other.CacheGlobalData(CF_TEXT, GlobalAlloc(GMEM_MOVEABLE, 4));
    Prompter().ExpectDrop(win::DropAnswer{true, board.m_hWnd, POINT{1, 1}, 0});
    EXPECT_EQ(other.DoDragDrop(), DROPEFFECT_NONE);
    target.Revoke();
    host.DestroyWindow();
    board.DestroyWindow();
}

class DropHost : public CWnd {
public:
    std::vector<std::string> files;
    CPoint at;
    void OnDropFiles(HDROP drop) override
    {
        const UINT n = DragQueryFile(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < n; ++i) {
            std::string path(DragQueryFile(drop, i, nullptr, 0), '\0');
            DragQueryFile(drop, i, path.data(), static_cast<UINT>(path.size() + 1));
            files.push_back(path);
        }
        POINT p;
        DragQueryPoint(drop, &p);
        at = p;
        DragFinish(drop);
    }
};

TEST_F(ServicesTest, FilesDroppedFromTheDesktopReachTheNearestWindowThatAcceptsThem)
{
    DropHost host;
    ASSERT_TRUE(host.CreateEx(0, nullptr, "host", WS_OVERLAPPED | WS_VISIBLE, RECT{0, 0, 300, 200}, nullptr, 0));
    CWnd inner;
    ASSERT_TRUE(inner.Create(nullptr, "inner", WS_VISIBLE, RECT{20, 30, 120, 130}, &host, 1));
    win::user::DropFiles(inner.m_hWnd, {"/photos/IMG_1.JPG", "/photos/pano.kzp"}, POINT{5, 5});
    EXPECT_TRUE(host.files.empty());  // nobody accepts files yet
    host.DragAcceptFiles(TRUE);
    win::user::DropFiles(inner.m_hWnd, {"/photos/IMG_1.JPG", "/photos/pano.kzp"}, POINT{5, 5});
    EXPECT_EQ(host.files, (std::vector<std::string>{"/photos/IMG_1.JPG", "/photos/pano.kzp"}));
    EXPECT_EQ(host.at, CPoint(25, 35));
    EXPECT_EQ(win::LiveDropCount(), 0u);
    host.DestroyWindow();
}

TEST_F(ServicesTest, TheShellRecordsRequestsAndTheEmptyRegistryLeavesHelpUnavailable)
{
    EXPECT_GT(reinterpret_cast<uintptr_t>(ShellExecute(nullptr, "open", "http://www.example.com/index.htm", nullptr,
                                                       nullptr, SW_SHOWNORMAL)),
              32u);
    ShellExecute(nullptr, "open", "C:\\Skelwin\\Skelwin.htm", "", nullptr, SW_SHOWNORMAL);
    const auto requests = win::ShellRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].file, "http://www.example.com/index.htm");
    EXPECT_EQ(requests[1].file, "C:\\Skelwin\\Skelwin.htm");
    EXPECT_EQ(requests[1].verb, "open");

    // The help viewer's class is registered nowhere and its library is not
    // installed: the program's help loader finds neither.
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", 0,
                           KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(LoadLibrary("hhctrl.ocx"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST_F(ServicesTest, MetricsColoursAndCursorsHaveHeadlessValues)
{
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
    win::SetScreenSize(1600, 1200);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1200);
    EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION), win::kCaptionHeight);
    EXPECT_LT(GetSystemMetrics(SM_CYFULLSCREEN), 1200);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_3DFACE));
    // Resource cursors exist once registered; the handle tells its id.
    EXPECT_EQ(LoadResourceCursor(167), nullptr);
    win::Resources::App().AddCursor(167);
    const HCURSOR remove = LoadResourceCursor(167);
    ASSERT_NE(remove, nullptr);
    bool resource = false;
    EXPECT_EQ(win::CursorId(remove, &resource), 167u);
    EXPECT_TRUE(resource);
    SetCursor(remove);
    EXPECT_EQ(GetCursor(), remove);
    CCmdTarget target;
    target.BeginWaitCursor();
    EXPECT_EQ(win::CursorId(GetCursor()), IDC_WAIT);
    target.EndWaitCursor();
    EXPECT_EQ(GetCursor(), remove);
}

}  // namespace

namespace {

// Return-default answers with the default printer's page and opens no
// dialog (the scripted prompter fails the test on any unexpected dialog);
// without that flag the dialog is asked.
TEST_F(ServicesTest, PageSetupReturnDefaultAnswersWithoutADialog)
{
    const win::PageSetupAnswer saved = win::GetDefaultPrinterPage();
    EXPECT_TRUE(saved.ok);
    EXPECT_EQ(saved.paperSize.x, 8500);
    EXPECT_EQ(saved.paperSize.y, 11000);

    win::PageSetupAnswer a4;
    a4.paperSize = POINT{8268, 11693};
    a4.margins = RECT{700, 600, 500, 400};
    a4.minMargins = RECT{160, 170, 180, 190};
    win::SetDefaultPrinterPage(a4);

    win::PageSetupRequest request;
    request.flags = win::PSD_RETURNDEFAULT | win::PSD_MARGINS;
    win::PageSetupAnswer got = win::RunPageSetup(request);
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.paperSize.x, 8268);
    EXPECT_EQ(got.paperSize.y, 11693);
    EXPECT_EQ(got.margins.left, 700);
    EXPECT_EQ(got.margins.bottom, 400);
    EXPECT_EQ(got.minMargins.top, 170);
    EXPECT_EQ(got.minMargins.right, 180);

    // Margins given with PSD_MARGINS are kept; without it they are not read.
    request.margins = RECT{300, 300, 300, 300};
    EXPECT_EQ(win::RunPageSetup(request).margins.top, 300);
    request.flags = win::PSD_RETURNDEFAULT;
    EXPECT_EQ(win::RunPageSetup(request).margins.top, 600);

    // Without return-default the dialog is asked, and its answer (here
    // Cancel) comes back.
    win::PageSetupAnswer cancel;
    cancel.ok = false;
    Prompter().ExpectPageSetup(cancel);
    request.flags = win::PSD_MARGINS;
    EXPECT_FALSE(win::RunPageSetup(request).ok);

    win::SetDefaultPrinterPage(saved);
    EXPECT_EQ(win::GetDefaultPrinterPage().paperSize.x, 8500);
}

}  // namespace
