// The folder tree: drive texts from the drive table, item paths, the start
// folder rules (recent file, given folder, program folder; folders whose
// names hold a dot; POSIX paths), one-level filling and expansion, and the
// controls that drive the board.
#include "app/shell/tests/browser_fixture.h"

#include "platform/win/user_input.h"

#include <gtest/gtest.h>

namespace {

TEST_F(BrowserTest, DriveItemsAreNamedByKindAndLabel)
{
    struct Case {
        char letter;
        UINT kind;
        const char* label;
        const char* text;
    };
    const Case cases[] = {
        {'C', DRIVE_FIXED, "DATA", "-DATA (C:)"},
        {'F', DRIVE_FIXED, "", "(F:)"},
        {'D', DRIVE_CDROM, "X", "CD-ROM-X (D:)"},
        {'G', DRIVE_CDROM, "", "CD-ROM (G:)"},
        {'B', DRIVE_REMOVABLE, "STICK", "Removable Disk (B:)"},  // removable drives show no label
        {'A', DRIVE_FIXED, "BOOT", "Floppy Disk (A:)"},          // A: is the floppy whatever it is
        {'N', DRIVE_REMOTE, "SHARE", "Network Disk-SHARE (N:)"},
        {'R', DRIVE_RAMDISK, "", "RAM Disk (R:)"},
    };
    for (const Case& c : cases) {
        win::MapDrive(c.letter, DriveE(), c.kind, c.label);
        EXPECT_EQ(CDirTree::DriveItemText(c.letter), c.text) << c.letter;
        const char root[4] = {c.letter, ':', '\\', '\0'};
        EXPECT_EQ(GetDriveType(root), c.kind) << c.letter;
    }
    // A plain mapping is a fixed drive without a label; an unmapped drive
    // has no root and no volume.
    win::MapDrive('F', DriveE());
    win::MapDrive('F', "");
    win::MapDrive('F', DriveE());
    EXPECT_EQ(CDirTree::DriveItemText('F'), "(F:)");
    win::MapDrive('F', "");
    char label[32] = "unchanged";
    EXPECT_EQ(GetDriveType("F:\\"), DRIVE_NO_ROOT_DIR);
    EXPECT_FALSE(GetVolumeInformation("F:\\", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));

    // The tree lists every mapped drive in letter order under "My Computer".
    Browser().InitFolderTree("E:\\");
    HTREEITEM root = TreeCtrl().GetRootItem();
    EXPECT_EQ(TreeCtrl().GetItemText(root), "My Computer");
    const std::vector<std::string> drives = ChildTexts(root);
    const std::vector<std::string> expected = {"Floppy Disk (A:)", "Removable Disk (B:)", "-DATA (C:)",
                                               "CD-ROM-X (D:)",    "(E:)",                "CD-ROM (G:)",
                                               "Network Disk-SHARE (N:)", "RAM Disk (R:)"};
    EXPECT_EQ(drives, expected);
}

TEST_F(BrowserTest, ItemPathsAreBuiltUpToTheDrive)
{
    CTreeCtrl& tree = TreeCtrl();
    tree.DeleteAllItems();
    HTREEITEM root = tree.InsertItem("My Computer");
    HTREEITEM drive = tree.InsertItem("CD-ROM-X (D:)", root);
    HTREEITEM photos = tree.InsertItem("Photos", drive);
    HTREEITEM year = tree.InsertItem("2009.summer", photos);
    HTREEITEM slashed = tree.InsertItem("Data\\", drive);
    HTREEITEM inner = tree.InsertItem("x", slashed);
    HTREEITEM orphan = tree.InsertItem("loose", root);
    HTREEITEM notDrive = tree.InsertItem("C:)", root);  // too short to be a drive
    HTREEITEM below = tree.InsertItem("y", notDrive);
    struct Case {
        HTREEITEM item;
        const char* path;
    };
    const Case cases[] = {
        {drive, "D:"},          {photos, "D:\\Photos"},  {year, "D:\\Photos\\2009.summer"},
        {inner, "D:\\Data\\x"}, {root, ""},              {orphan, ""},
        {below, ""},            {nullptr, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(Tree().GetItemPath(c.item), c.path) << c.path;
}

TEST_F(BrowserTest, PosixPathsAreReadOnTheDriveWithTheLongestRoot)
{
    win::MapDrive('G', DriveE() + "/photos/");
    // A folder beside E:'s root whose name only starts like it stays on C:.
    std::string beside = "C:" + DriveE() + "x\\a";
    for (char& ch : beside)
        if (ch == '/') ch = '\\';
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"/home/u/Photos", "C:\\home\\u\\Photos"},
        {"/", "C:\\"},
        {DriveE() + "/a/b", "E:\\a\\b"},
        {DriveE(), "E:\\"},
        {DriveE() + "/photos/2009", "G:\\2009"},
        {DriveE() + "x/a", beside},
        {"D:\\Photos", "D:\\Photos"},
        {"relative/path", "relative/path"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(CDirTree::WindowsFormOf(c.in), c.out) << c.in;
}

class StartFolderTest : public BrowserTest {
protected:
    void SetUp() override
    {
        BrowserTest::SetUp();
        Folder("Photos.2009/inner/deepest");
        Folder("other/deep/deeper");
        Folder(".hidden/secret");
        WriteBytes(DriveE() + "/Photos.2009/IMG_1.jpg", "not really a photo");
        WriteBytes(DriveE() + "/notes.txt", "a file, not a folder");
    }
    std::filesystem::path m_processFolder;
};

TEST_F(StartFolderTest, TheStartFolderIsOpenedAndAFilePathBecomesItsFolder)
{
    struct Case {
        const char* what;
        std::string recent;
        std::string start;
        std::string folder;
        std::vector<std::string> opened;  // items expanded below E:
    };
    const std::string posix = DriveE() + "/other/deep";
    const Case cases[] = {
        {"folder with a dot stays itself", "", "E:\\Photos.2009", "E:\\Photos.2009", {"Photos.2009"}},
        {"file path cut to its folder", "", "E:\\Photos.2009\\IMG_1.jpg", "E:\\Photos.2009", {"Photos.2009"}},
        {"recent file wins", "E:\\other\\deep", "E:\\Photos.2009", "E:\\other\\deep", {"other", "deep"}},
        {"POSIX start folder", "", posix, "E:\\other\\deep", {"other", "deep"}},
        {"missing folder opens nothing", "", "E:\\gone.2010\\x", "E:\\gone.2010\\x", {}},
    };
    for (const Case& c : cases) {
        App().WriteProfileString("Recent File List", "File1", c.recent.c_str());
        Browser().InitFolderTree(c.start.c_str());
        EXPECT_EQ(Tree().GetFolderPath(), c.folder) << c.what;
        HTREEITEM drive = DriveItem('E');
        ASSERT_NE(drive, nullptr);
        EXPECT_EQ(ChildTexts(drive), (std::vector<std::string>{"other", "Photos.2009"})) << c.what;
        HTREEITEM item = drive;
        for (const std::string& name : c.opened) {
            item = Child(item, name);
            ASSERT_NE(item, nullptr) << c.what << ": " << name;
            EXPECT_TRUE(TreeCtrl().GetItemState(item, TVIS_EXPANDED) & TVIS_EXPANDED) << c.what << ": " << name;
        }
        // The opened folder's subfolders are listed one level deeper.
        if (!c.opened.empty()) {
            EXPECT_TRUE(TreeCtrl().GetChildItem(item)) << c.what;
        }
    }
    // Without a recent file or a start folder the program's folder is used.
    App().WriteProfileString("Recent File List", "File1", "");
    Browser().InitFolderTree(nullptr);
    EXPECT_EQ(Tree().GetFolderPath(), CDirTree::WindowsFormOf(CFendrakeApp::GetProgramDir()));
}

TEST_F(StartFolderTest, ExpandingFillsOneLevelBelowEachChildOnce)
{
    m_processFolder = std::filesystem::current_path();
    App().WriteProfileString("Recent File List", "File1", "");
    Browser().InitFolderTree("C:\\");  // E: is not the start drive: one level only
    HTREEITEM drive = DriveItem('E');
    ASSERT_NE(drive, nullptr);
    HTREEITEM other = Child(drive, "other");
    HTREEITEM photos = Child(drive, "Photos.2009");
    ASSERT_TRUE(other && photos);
    EXPECT_EQ(Child(drive, ".hidden"), nullptr);
    EXPECT_EQ(TreeCtrl().GetChildItem(other), nullptr);

    win::user::ExpandTreeItem(TreeCtrl().m_hWnd, drive);
    EXPECT_EQ(ChildTexts(other), std::vector<std::string>{"deep"});
    EXPECT_EQ(ChildTexts(photos), std::vector<std::string>{"inner"});
    EXPECT_EQ(TreeCtrl().GetChildItem(Child(other, "deep")), nullptr);
    const UINT count = TreeCtrl().GetCount();
    // Collapsing and expanding again adds nothing.
    win::user::ExpandTreeItem(TreeCtrl().m_hWnd, drive);
    win::user::ExpandTreeItem(TreeCtrl().m_hWnd, drive);
    EXPECT_EQ(TreeCtrl().GetCount(), count);
    // One level further down on the next expansion.
    win::user::ExpandTreeItem(TreeCtrl().m_hWnd, other);
    EXPECT_EQ(ChildTexts(Child(other, "deep")), std::vector<std::string>{"deeper"});
    // The walk moves the layer's current folder, never the process's.
    EXPECT_EQ(std::filesystem::current_path(), m_processFolder);
}

TEST_F(StartFolderTest, TheControlsDriveTheBoardAndTheState)
{
    CComboBox* combo = Tree().GetCombo();
    ASSERT_NE(combo, nullptr);
    const std::vector<std::string> types = {"( JPEG Files ) : *.jpg", "( Quorvane Worldmap ):*.jpg",
                                            "( Bitmap Files ) : *.bmp", "( GIF Files):*.gif",
                                            "( Tiff Files ) : *.tif", "( All Files ) : *.*"};
    ASSERT_EQ(combo->GetCount(), 6);
    for (int i = 0; i < 6; ++i) {
        std::string text;
        combo->GetLBText(i, text);
        EXPECT_EQ(text, types[static_cast<size_t>(i)]);
    }
    App().WriteProfileString("Recent File List", "File1", "");
    Browser().InitFolderTree("E:\\Photos.2009");
    struct Case {
        int type;
        const char* pattern;
        bool worldMap;
    };
    const Case cases[] = {{0, "E:\\Photos.2009\\*.jpg", false}, {1, "E:\\Photos.2009\\*.jpg", true},
                          {2, "E:\\Photos.2009\\*.bmp", false}, {5, "E:\\Photos.2009\\*.*", false}};
    for (const Case& c : cases) {
        win::user::SelectComboItem(combo->m_hWnd, c.type);
        std::string pattern;
        EXPECT_EQ(Tree().GetFileFilter(pattern), c.worldMap) << c.type;
        EXPECT_EQ(pattern, c.pattern);
        EXPECT_EQ(Tree().GetImageType(), c.type);
    }
    win::user::SelectComboItem(combo->m_hWnd, 5);
    EXPECT_EQ(ListedFiles(), std::vector<std::string>{"IMG_1.jpg"});

    // A new browser lists names without thumbnails; "Name" waits for
    // thumbnail mode. Then names on and off in thumbnail mode, and leaving
    // thumbnail mode turns names on and disables "Name".
    CButton* thumbnail = static_cast<CButton*>(Tree().GetDlgItem(CDirTree::kThumbnailCheck));
    CButton* name = static_cast<CButton*>(Tree().GetDlgItem(CDirTree::kNameCheck));
    EXPECT_TRUE(Board().IsListMode());
    EXPECT_FALSE(name->IsWindowEnabled());
    win::user::ClickControl(thumbnail);
    EXPECT_FALSE(Board().IsListMode());
    EXPECT_TRUE(name->IsWindowEnabled());
    win::user::ClickControl(name);
    EXPECT_EQ(Tree().GetViewFlags(), kViewThumbnails | kViewNames);
    EXPECT_TRUE(Board().GetFlags() & kBoardNames);
    win::user::ClickControl(name);
    EXPECT_EQ(Tree().GetViewFlags(), kViewThumbnails);
    EXPECT_FALSE(Board().GetFlags() & kBoardNames);
    win::user::ClickControl(thumbnail);
    EXPECT_TRUE(Board().IsListMode());
    EXPECT_FALSE(name->IsWindowEnabled());
    EXPECT_EQ(name->GetCheck(), BST_CHECKED);
    EXPECT_TRUE(Board().GetFlags() & kBoardNames);
    EXPECT_EQ(Tree().GetViewFlags(), kViewNames);

    // The packed state: type, flags, combo selection, left pane percent.
    const uint32_t state = Browser().GetInitState();
    EXPECT_EQ(state & 0xFF, 5u);
    EXPECT_EQ((state >> 8) & 0xFF, kViewNames);
    EXPECT_EQ((state >> 16) & 0xFF, 5u);
    EXPECT_GE(state >> 24, 10u);
    EXPECT_LE(state >> 24, 50u);
}

TEST_F(BrowserTest, ASmallLeftPaneIsRaisedToTenPercent)
{
    struct Case {
        uint32_t percent;
        uint32_t stored;
    };
    for (const Case c : {Case{5, 10}, Case{0, 10}, Case{10, 10}, Case{40, 40}}) {
        CImgBrowser browser;
        browser.SetInitState((c.percent << 24) | 0x0102u);
        EXPECT_EQ(browser.GetInitState(), (c.stored << 24) | 0x0102u) << c.percent;
    }
}

}  // namespace

namespace {

CRect ChildRect(CWnd& parent, UINT id)
{
    CRect r;
    parent.GetDlgItem(id)->GetWindowRect(&r);
    parent.ScreenToClient(&r);
    return r;
}

TEST_F(BrowserTest, TheTreePaneLaysItsControlsOutFromTheCombo)
{
    const CRect combo0 = ChildRect(Tree(), CDirTree::kTypeCombo);
    const int m = combo0.left, h = combo0.Height(), top = combo0.top;
    for (const SIZE size : {SIZE{180, 300}, SIZE{260, 520}, SIZE{120, 200}}) {
        Tree().MoveWindow(0, 0, size.cx, size.cy);
        CRect client;
        Tree().GetClientRect(&client);
        const int cx = client.Width(), cy = client.Height();
        const CRect combo = ChildRect(Tree(), CDirTree::kTypeCombo);
        EXPECT_EQ(combo, CRect(m, top, cx - m, top + h)) << size.cx;
        EXPECT_EQ(ChildRect(Tree(), CDirTree::kHelp).TopLeft(), CPoint(m, cy - h)) << size.cx;
        const CRect thumbnail = ChildRect(Tree(), CDirTree::kThumbnailCheck);
        EXPECT_EQ(thumbnail.TopLeft(), CPoint(m + h + 5, cy - h)) << size.cx;
        EXPECT_EQ(ChildRect(Tree(), CDirTree::kNameCheck).TopLeft(), CPoint(thumbnail.right + 15, cy - h)) << size.cx;
        const CRect load = ChildRect(Tree(), CDirTree::kLoadSelections);
        EXPECT_EQ(load, CRect(m, cy - 2 * h - 2, cx - m, cy - h - 2)) << size.cx;
        EXPECT_EQ(ChildRect(Tree(), CDirTree::kTree), CRect(m, combo.bottom + 4, cx - m, load.top - 4)) << size.cx;
        // The form itself never scrolls.
        EXPECT_FALSE(Tree().GetStyle() & (WS_HSCROLL | WS_VSCROLL)) << size.cx;
    }
}

TEST_F(BrowserTest, InListModeTheListTakesWhatThePreviewLeaves)
{
    const CRect preview0 = ChildRect(Board(), CImgBoard::kPreview);
    for (const SIZE size : {SIZE{400, 300}, SIZE{150, 120}, SIZE{600, 100}}) {
        Board().MoveWindow(0, 0, size.cx, size.cy);
        CRect client;
        Board().GetClientRect(&client);
        const int listWidth = std::max(50, client.Width() - preview0.Width() - 6);
        EXPECT_EQ(ChildRect(Board(), CImgBoard::kFileList), CRect(0, 0, listWidth, client.Height())) << size.cx;
        const CRect preview = ChildRect(Board(), CImgBoard::kPreview);
        EXPECT_EQ(preview.left, listWidth + 2) << size.cx;
        EXPECT_EQ(preview.top, std::max(0, (client.Height() - preview0.Height()) / 2)) << size.cx;
        EXPECT_EQ(preview.Size(), preview0.Size()) << size.cx;
    }
}

TEST_F(BrowserTest, ClosingOnlyHidesTheBrowser)
{
    CImgBrowser* browser = &Browser();
    browser->SendMessage(WM_CLOSE);
    EXPECT_EQ(Manager().GetImageBrowser(), browser);
    EXPECT_TRUE(::IsWindow(browser->m_hWnd));
    EXPECT_FALSE(browser->IsWindowVisible());
}

}  // namespace
