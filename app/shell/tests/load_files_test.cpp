// Bringing files into the project from the board: previews, stamps of files
// already in the project turned back, world-map files skipped, the tour
// maker's mode, and the drag from the board to the image tray through the
// runtime's drag and drop.
#include "app/shell/tests/browser_fixture.h"

#include "app/control/image_chain.h"
#include "app/shell/image_tray.h"
#include "app/shell/image_tray_host.h"
#include "app/shell/pellicot.h"
#include "app/tests/tessiv_double.h"
#include "imaging/image.h"
#include "platform/win/clipboard.h"
#include "platform/win/drag_drop.h"
#include "platform/win/user_input.h"
#include "platform/win/win_thread.h"
#include "projectgraph/framegrp/image_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

bool SamePixels(const Image* a, const Image* b)
{
    if (!a || !b || a->GetWidth() != b->GetWidth() || a->GetHeight() != b->GetHeight() ||
        a->GetChannels() != b->GetChannels())
        return false;
    const size_t row = static_cast<size_t>(a->GetWidth()) * a->GetChannels();
    for (int y = 0; y < a->GetHeight(); ++y)
        if (std::memcmp(a->GetData() + static_cast<size_t>(y) * a->GetRowByte(),
                        b->GetData() + static_cast<size_t>(y) * b->GetRowByte(), row) != 0)
            return false;
    return true;
}

class LoadFilesTest : public BrowserTest {
protected:
    // E:\f with three Durlach photos and a panorama file; list mode.
    void SetUp() override
    {
        BrowserTest::SetUp();
        const std::string folder = Folder("f");
        for (const char* name : {"P1060369.JPG", "P1060370.JPG", "P1060371.JPG"})
            CopyFile(TestData(std::string("huginsample-durlach/half/") + name), folder + "/" + name);
        WritePanoramaFile(TestData("huginsample-durlach/half/P1060372.JPG"), folder + "/P1060372.JPG", 4000);
        App().WriteProfileString("Recent File List", "File1", "");
        Browser().InitFolderTree("E:\\f");
        ASSERT_EQ(ListedFiles(),
                  (std::vector<std::string>{"P1060369.JPG", "P1060370.JPG", "P1060371.JPG", "P1060372.JPG"}));
    }
    // The path the project knows the file by.
    std::string Path(int index) { return DriveE() + "/f/" + Board().FileName(index); }
    int FrameCount()
    {
        ImageGroup* group = Manager().GetImageGroup(false);
        return group ? Manager().GetImageTray()->GetFrameCount() : 0;
    }
    std::vector<std::string> ChainNames()
    {
        std::vector<std::string> names;
        ImageChain* chain = Manager().GetImageTray()->GetChain();
        for (int i = 0; chain && i < chain->GetCount(); ++i) names.push_back(chain->GetFrame(i)->GetName());
        return names;
    }
    bool PumpUntil(const std::function<bool()>& done)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            PumpPendingMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
};

TEST_F(LoadFilesTest, PreviewsAndLoadsFollowTheProjectsFrames)
{
    const int first = 0, second = 1;
    // A plain photo becomes the preview stamp.
    Main().SetPaneText59000("something");
    EXPECT_TRUE(Board().LoadFiles(&first, 1, true, nullptr));
    EXPECT_EQ(Board().GetCurrentFile(), Path(0));
    RefPtr<Image> original = RefPtr<Image>::adopt(Board().GetCurrentImageCopy());
    ASSERT_TRUE(original);
    EXPECT_EQ(std::max(original.get()->GetWidth(), original.get()->GetHeight()), Manager().GetStampSize());
    EXPECT_EQ(Pane(ID_PANE_59000), "");
    // The previewed file again: nothing new, the status is cleared.
    Image* shown = Board().GetPreviewImage();
    Main().SetPaneText59000("something");
    EXPECT_FALSE(Board().LoadFiles(&first, 1, true, nullptr));
    EXPECT_EQ(Board().GetPreviewImage(), shown);
    EXPECT_EQ(Pane(ID_PANE_59000), "");
    // Loading the previewed file adds it once.
    EXPECT_FALSE(Board().LoadFiles(&first, 1, false, nullptr));
    EXPECT_FALSE(Board().LoadFiles(&first, 1, false, nullptr));
    EXPECT_EQ(ChainNames(), std::vector<std::string>{Path(0)});
    ImageFrame* frame = Manager().FindImageFrame(Path(0).c_str());
    ASSERT_NE(frame, nullptr);

    // The frame turned in the tray: its preview is the stamp turned back.
    struct Case {
        int code;  // rotation bits of the frame's state
        int angle;
    };
    for (const Case c : {Case{2, 90}, Case{6, -90}, Case{4, 180}, Case{0, 0}}) {
        // The frame turns the stamp it is given by its own rotation.
        frame->SetState((frame->GetState() & ~kFrameRotationMask) | c.code);
        RefPtr<Image> source = RefPtr<Image>::adopt(original.get()->Duplicate());
        frame->SetStampImage(source.get());
        ASSERT_EQ(frame->GetStampBmp()->GetWidth(),
                  c.angle == 90 || c.angle == -90 ? original.get()->GetHeight() : original.get()->GetWidth());
        ASSERT_TRUE(Board().LoadFiles(&second, 1, true, nullptr));  // another file in between
        ASSERT_TRUE(Board().LoadFiles(&first, 1, true, nullptr)) << c.angle;
        EXPECT_TRUE(SamePixels(Board().GetPreviewImage(), original.get())) << c.angle;
        // Without preview a file in the project is skipped.
        EXPECT_FALSE(Board().LoadFiles(&first, 1, false, nullptr));
        EXPECT_EQ(ChainNames().size(), 1u);
    }
}

TEST_F(LoadFilesTest, PanoramasAreSkippedAndSeveralFilesAreAppended)
{
    const int panorama = 3;
    EXPECT_FALSE(Board().LoadFiles(&panorama, 1, false, nullptr));
    EXPECT_EQ(Manager().GetImageGroup(false), nullptr);
    EXPECT_TRUE(Board().GetCurrentFile().empty());

    // Several files: the drop point is ignored and they come in the order given.
    const int some[] = {2, 0, 1};
    const POINT point{5, 5};
    EXPECT_FALSE(Board().LoadFiles(some, 3, false, &point));
    EXPECT_EQ(ChainNames(), (std::vector<std::string>{Path(2), Path(0), Path(1)}));
    // A double click in the list loads its file into the project.
    win::user::DoubleClickListItem(Board().GetFileList()->m_hWnd, 1);
    EXPECT_EQ(ChainNames().size(), 3u);  // already there: nothing new
    Manager().RemoveImageFrame(Manager().FindImageFrame(Path(1).c_str()), false);
    win::user::DoubleClickListItem(Board().GetFileList()->m_hWnd, 1);
    EXPECT_EQ(ChainNames(), (std::vector<std::string>{Path(2), Path(0), Path(1)}));
    // The world-map filter lists only the panorama file.
    Browser().SetWorldMapFilter(true);
    EXPECT_EQ(ListedFiles(), std::vector<std::string>{"P1060372.JPG"});
    Browser().SetWorldMapFilter(false);
    EXPECT_EQ(ListedFiles().size(), 4u);
}

TEST_F(LoadFilesTest, InTheTourMakersModeFilesGoToTheTourMakerAndNothingIsPreviewed)
{
    TessivDouble::Record() = TessivRecord{};
    CMainFrame::SetTessivFactory(&TessivDouble::Create);
    ASSERT_NE(Main().GetTourMaker(true), nullptr);
    Manager().SetBrowserMode(2);
    const int files[] = {3, 0};
    EXPECT_FALSE(Board().LoadFiles(files, 1, true, nullptr));
    EXPECT_TRUE(Board().GetCurrentFile().empty());
    EXPECT_FALSE(Board().LoadFiles(files, 2, false, nullptr));
    ASSERT_EQ(TessivDouble::Record().vistas.size(), 2u);
    EXPECT_EQ(TessivDouble::Record().vistas[0].name, Path(3));
    EXPECT_EQ(TessivDouble::Record().vistas[1].name, Path(0));
    EXPECT_EQ(Manager().GetImageGroup(false), nullptr);
    Manager().SetBrowserMode(0);
    Main().ReleaseTourMaker();
    CMainFrame::SetTessivFactory(nullptr);
}

// A window that takes any drop and keeps what came.
class DropCatcher : public COleDropTarget {
public:
    std::string text;
    size_t size = 0;
    DROPEFFECT OnDragOver(CWnd*, COleDataObject*, DWORD, CPoint) override { return DROPEFFECT_COPY; }
    BOOL OnDrop(CWnd*, COleDataObject* data, DROPEFFECT, CPoint) override
    {
        HGLOBAL block = data->GetGlobalData(CF_TEXT);
        if (!block) return FALSE;
        size = GlobalSize(block);
        text = static_cast<const char*>(GlobalLock(block));
        GlobalUnlock(block);
        GlobalFree(block);
        return TRUE;
    }
};

TEST_F(LoadFilesTest, DraggingThumbnailsToTheTrayInsertsOneAtTheDropAndAppendsSeveral)
{
    // Two images in the tray already.
    for (const char* name : {"/p/a.jpg", "/p/b.jpg"}) {
        auto* stamp = new Image(150, 100, 3);
        std::memset(stamp->GetData(), 90, stamp->GetDataSize());
        Manager().AddImageFrame(stamp, name, nullptr);
    }
    ASSERT_EQ(ChainNames().size(), 2u);
    Board().SetListMode(false);
    ASSERT_TRUE(PumpUntil([this] { return !Board().IsLoading(); }));
    PumpPendingMessages();
    ASSERT_EQ(ThumbnailCount(), 4);
    Board().MoveWindow(200, 0, 420, 500);
    const POINT second = {100 + 4 + 48, 4 + 48};

    // One thumbnail dropped on the left half of the tray's second image.
    ImageTray* row = Manager().GetImageTray()->GetHost()->GetFirstRow();
    ASSERT_NE(row, nullptr);
    const RECT target = row->ThumbRect(1);
    const POINT at{target.left + 5, (target.top + target.bottom) / 2};
    Prompter().ExpectDrop(win::DropAnswer{true, row->m_hWnd, at, MK_CONTROL});
    win::user::LeftDown(Board().m_hWnd, second);
    win::user::MoveMouse(Board().m_hWnd, POINT{second.x + 10, second.y}, MK_LBUTTON);
    win::user::LeftUp(Board().m_hWnd, POINT{second.x + 10, second.y});
    EXPECT_EQ(ChainNames(), (std::vector<std::string>{"/p/a.jpg", Path(1), "/p/b.jpg"}));

    // Three marked thumbnails: appended in the board's order, drop point or not.
    Board().SetMarked(0, true);
    Board().SetMarked(2, true);
    Board().SetMarked(1, true);
    Prompter().ExpectDrop(win::DropAnswer{true, row->m_hWnd, at, MK_CONTROL});
    Board().StartDrag();
    EXPECT_EQ(ChainNames(), (std::vector<std::string>{"/p/a.jpg", Path(1), "/p/b.jpg", Path(0), Path(2)}));

    // What the drag carries: the text in a 32-byte block, copy only.
    CWnd catcher;
    ASSERT_TRUE(catcher.CreateEx(0, nullptr, "catcher", WS_OVERLAPPED | WS_VISIBLE, RECT{0, 0, 50, 50}, nullptr, 0));
    DropCatcher drop;
    ASSERT_TRUE(drop.Register(&catcher));
    Prompter().ExpectDrop(win::DropAnswer{true, catcher.m_hWnd, POINT{5, 5}, 0});
    Board().StartDrag();
    EXPECT_EQ(drop.text, "KQVZ-NOTIFY-FROM-PREVIEW");
    EXPECT_EQ(drop.size, 32u);
    EXPECT_EQ(Prompter().Drags().back().allowed, static_cast<DROPEFFECT>(DROPEFFECT_COPY));
    drop.Revoke();
    catcher.DestroyWindow();

    // In list mode the preview (the last file loaded) is what goes; without
    // one nothing is dragged.
    Board().SetListMode(true);
    EXPECT_EQ(Board().GetCurrentFile(), Path(2));
    size_t drags = Prompter().Drags().size();
    Prompter().ExpectDrop(win::DropAnswer{false, nullptr, {}, 0});
    Board().StartDrag();
    EXPECT_EQ(Prompter().Drags().size(), ++drags);
    Board().ReadFolder();
    Board().StartDrag();
    EXPECT_EQ(Prompter().Drags().size(), drags);
}

}  // namespace
