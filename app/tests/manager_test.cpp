// The stitching manager: its flags at birth, the busy and stitch states, the
// marker rules per focal type, the web-link lookup, the tool state, the image
// browser's placement and the intake of new frames.
#include "app/control/super_manager.h"
#include "app/control/tool_state.h"
#include "app/shell/app_resources.h"
#include "app/shell/img_browser.h"
#include "app/shell/pellicot.h"
#include "app/tests/app_test_fixture.h"
#include "app/tests/tessiv_double.h"
#include "imaging/image.h"
#include "platform/win/system.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"

#include <cstring>
#include <fstream>

namespace {

class ManagerTest : public AppTest {
protected:
    // A manager of its own (no main frame), reached through the global.
    std::unique_ptr<SuperManager> MakeManager()
    {
        auto manager = std::make_unique<SuperManager>();
        SetSuperManager(manager.get());
        return manager;
    }
    void AddFrames(SuperManager& manager, int count)
    {
        for (int i = 0; i < count; ++i) manager.GetImageGroup(true)->AppendImageFrame(new ImageFrame);
    }
    void WriteWebLinks(const std::string& text)
    {
        std::filesystem::create_directories(ProgramDir() + "/WebLinks");
        std::ofstream(ProgramDir() + "/WebLinks/Rowmap.dll") << text;
    }
};

TEST_F(ManagerTest, Base36Digits)
{
    struct Case {
        char c;
        int value;
    };
    const Case cases[] = {{'0', 0}, {'9', 9}, {'A', 10}, {'Z', 35}, {'a', 10}, {'z', 35}, {'#', '#' - 87}};
    for (const Case& c : cases) EXPECT_EQ(Base36DigitValue(c.c), c.value) << c.c;
}

TEST_F(ManagerTest, FlagsAtBirthAndTheWebLinkLookup)
{
    WriteWebLinks("# links of this deployment\n"
                  "#01 http://comment.example/never\n"
                  "01 http://print.example/one\r\n"
                  "0Z http://print.example/thirty-five\n"
                  "10 http://print.example/thirty-six\n");
    struct Case {
        int id;
        uint32_t flags;
        const char* line;  // null: no line found
    };
    const Case cases[] = {
        {0, 0x204, nullptr},  // id 0 never reads the file
        {1, 0x604, "01 http://print.example/one\r\n"},
        {35, 0x604, "0Z http://print.example/thirty-five\n"},
        {36, 0x604, "10 http://print.example/thirty-six\n"},
        {2, 0x204, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        SuperManager::SetWebLinkId(c.id);
        auto manager = MakeManager();
        EXPECT_EQ(manager->GetFlags(), c.flags);
        char line[256] = "left over";
        EXPECT_EQ(manager->FindWebLink(line, sizeof line), c.line != nullptr);
        EXPECT_STREQ(line, c.line ? c.line : "");
        SetSuperManager(nullptr);
    }
    // Without the file there are no links whatever the id.
    std::filesystem::remove(ProgramDir() + "/WebLinks/Rowmap.dll");
    SuperManager::SetWebLinkId(1);
    auto manager = MakeManager();
    EXPECT_EQ(manager->GetFlags(), 0x204u);
}

TEST_F(ManagerTest, SettingsRecordsStartWithTheirDefaults)
{
    auto manager = MakeManager();
    const StitchSettings* s = manager->GetStitchSettings();
    EXPECT_EQ(s->values[0], 10.0f);
    EXPECT_EQ(s->values[2], 10.0f);
    EXPECT_EQ(s->firstFlag + s->runtimeDistortion + s->fewImages + s->solverOption, 0);
    EXPECT_EQ(s->focalLength, 35.0f);
    EXPECT_EQ(s->focalType, 3);  // no camera-information record: the focal length comes from Exif
    EXPECT_EQ(GetCurrentStitchSettings(), s);
    const BlendSettings* b = manager->GetBlendSettings();
    EXPECT_EQ(b->autoBalance, 1);
    EXPECT_EQ(b->blendWord, 0);
    EXPECT_EQ(b->blendWidth, 20);
    EXPECT_EQ(manager->GetDistortionRecord(false), nullptr);
    DistortionRecord* record = manager->GetDistortionRecord(true);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(manager->GetDistortionRecord(false), record);
    EXPECT_EQ(GetSamplingRateCallback(), 5.0f);
    EXPECT_TRUE(manager->IsPreviewStage());
    EXPECT_EQ(GetCurrentTool(), 33000);
    EXPECT_EQ(GetCurrentToolGroup(), 33000);
    manager.reset();
    EXPECT_EQ(GetCurrentTool(), 0);
    EXPECT_EQ(GetCurrentStitchSettings(), nullptr);
}

TEST_F(ManagerTest, BusyAndStitchStates)
{
    auto manager = MakeManager();
    EXPECT_FALSE(manager->IsBusy());
    manager->ModifyFlags(kFlagStopped, 0);  // the stitch bar shows a running stitch
    EXPECT_TRUE(manager->IsBusy());
    manager->ModifyFlags(0, kFlagStopped | kFlagPairInProgress);
    EXPECT_TRUE(manager->IsBusy());
    manager->ModifyFlags(kFlagPairInProgress, 0);
    EXPECT_FALSE(manager->IsBusy());
    manager->SetWorkerActive(true);  // an elastic blend or a matcher after Stop
    EXPECT_TRUE(manager->IsBusy());
    manager->SetWorkerActive(false);

    EXPECT_FALSE(manager->CanStitch());
    AddFrames(*manager, 1);
    EXPECT_FALSE(manager->CanStitch());
    EXPECT_FALSE(StitchPrecondition());
    AddFrames(*manager, 1);
    EXPECT_TRUE(manager->CanStitch());
    EXPECT_TRUE(StitchPrecondition());
    manager->ModifyFlags(0, kFlagLoading);
    EXPECT_FALSE(manager->CanStitch());
}

TEST_F(ManagerTest, ProjectContent)
{
    auto manager = MakeManager();
    EXPECT_FALSE(manager->HasProjectContent());
    manager->SetProjectName("/photos/Untitled.kzp");
    EXPECT_FALSE(manager->HasProjectContent());
    manager->SetProjectName("C:\\photos\\trip.kzp");
    EXPECT_TRUE(manager->HasProjectContent());
    EXPECT_STREQ(manager->GetProjectName(false), "trip.kzp");
    manager->ModifyFlags(kFlagStopped, 0);
    EXPECT_FALSE(manager->HasProjectContent());  // never while busy
    manager->ModifyFlags(0, kFlagStopped);
    manager->SetProjectName("/photos/Untitled.kzp");
    AddFrames(*manager, 1);
    EXPECT_TRUE(manager->HasProjectContent());
}

TEST_F(ManagerTest, ExpressModeOffClearsThePendingBlend)
{
    auto manager = MakeManager();
    manager->SetExpressMode(true);
    manager->SetExpressBlendPending(true);
    manager->SetExpressMode(true);
    EXPECT_TRUE(manager->IsExpressBlendPending());
    manager->SetExpressMode(false);
    EXPECT_FALSE(manager->IsExpressMode());
    EXPECT_FALSE(manager->IsExpressBlendPending());
}

TEST_F(ManagerTest, MarkerRulesPerFocalType)
{
    auto manager = MakeManager();
    AddFrames(*manager, 2);
    ImageGroup* group = manager->GetImageGroup(false);
    ImageFrame* a = group->GetImageFrame(0);
    ImageFrame* b = group->GetImageFrame(1);
    Neighbor* link = a->AddNeighbor(b);
    ASSERT_NE(link, nullptr);
    struct Case {
        int focalType;
        int minPairs;
        bool needsMarkersBare;       // manual link without markers
        bool needsMarkersWithSet;    // manual link holding a marker set
        bool overlay;
        bool message;
    };
    const Case cases[] = {
        {0, 3, true, true, false, true},   {1, 4, true, true, false, false}, {2, 2, false, true, true, false},
        {3, 4, true, true, false, false}, {4, 4, false, true, true, false},
    };
    const char* kNotAllowed =
        "Switch to Overlay method not allowed: \nBoth images are not stitched with focal length unknown";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.focalType);
        manager->GetStitchSettings()->focalType = c.focalType;
        EXPECT_EQ(MinMarkerPairs(), c.minPairs);
        link->SetMarkers(nullptr);
        link->SetMarkerType(true);
        EXPECT_EQ(manager->PairNeedsMarkers(a, b), c.needsMarkersBare);
        link->AddMarker(10, 20);
        EXPECT_EQ(manager->PairNeedsMarkers(a, b), c.needsMarkersWithSet);
        link->SetMarkerType(false);  // automatic markers do not count
        EXPECT_EQ(manager->PairNeedsMarkers(a, b), c.needsMarkersBare);
        if (c.message) Prompter().ExpectMessageBox(kNotAllowed, IDOK);
        EXPECT_EQ(manager->CanUseOverlayMethod(a, b), c.overlay);
    }
    EXPECT_EQ(Prompter().MessageBoxes().size(), 1u);
}

TEST_F(ManagerTest, ToolStateCursorsAndReset)
{
    auto manager = MakeManager();
    RegisterAppResources();
    struct Case {
        int group, tool;
        int expectGroup, expectTool;
        UINT cursor;  // 0: none
    };
    const Case cases[] = {
        {33000, 33000, 33000, 33000, 0},   {33000, 33001, 33000, 33001, 145}, {33050, 33051, 33050, 33051, 244},
        {33050, 33052, 33050, 33052, 244}, {33050, 33053, 33050, 33053, 245}, {33050, 33054, 33050, 33054, 166},
        {33050, 33060, 33050, 33060, 0},   {33090, 33095, 33090, 33095, 0},
        // A tool below its group resets to the general tool without a cursor.
        {33050, 33000, 33000, 33000, 0},   {33070, 33001, 33000, 33000, 0},
    };
    ToolState* state = GetToolState();
    ASSERT_NE(state, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.group) + "/" + std::to_string(c.tool));
        state->SetTool(33050, 33053);  // a cursor to be replaced or cleared
        SetCurrentTool(c.group, c.tool);
        EXPECT_EQ(GetCurrentToolGroup(), c.expectGroup);
        EXPECT_EQ(GetCurrentTool(), c.expectTool);
        EXPECT_EQ(GetCurrentToolCursor(), c.cursor ? LoadResourceCursor(c.cursor) : nullptr);
    }
    // Group 33070 keeps whatever cursor was there.
    state->SetTool(33050, 33054);
    state->SetTool(33070, 33071);
    EXPECT_EQ(GetCurrentToolCursor(), LoadResourceCursor(166));
    // The view context chooses the group.
    state->SetContext(131);
    state->SetToolByContext(33072);
    EXPECT_EQ(GetCurrentToolGroup(), 33070);
    state->SetContext(147);
    state->SetToolByContext(33051);
    EXPECT_EQ(GetCurrentToolGroup(), 33050);
    state->SetContext(7);
    state->SetToolByContext(33099);
    EXPECT_EQ(GetCurrentTool(), 33051);
    ResetCurrentTool(33001);
    EXPECT_EQ(GetCurrentToolGroup(), 33000);
    EXPECT_EQ(GetCurrentTool(), 33001);
}

int32_t Pack(int low, int high)
{
    return static_cast<int32_t>((static_cast<uint32_t>(high) << 16) | (static_cast<uint32_t>(low) & 0xFFFF));
}

TEST_F(ManagerTest, BrowserPlacementFromThePackedProfileValues)
{
    const int W = 1280, H = 1024;
    struct Case {
        const char* what;
        int32_t h, v;
        RECT expected;
    };
    const Case cases[] = {
        {"defaults", Pack(W - 500, W), Pack(0, 400), RECT{W - 500, 0, W, 400}},
        {"as stored", Pack(10, 610), Pack(20, 520), RECT{10, 20, 610, 520}},
        {"narrow and low raised to 100", Pack(10, 40), Pack(20, 30), RECT{10, 20, 110, 120}},
        {"inverted edges raised to 100", Pack(300, 100), Pack(300, 100), RECT{300, 300, 400, 400}},
        {"wider than the screen", Pack(0, W + 900), Pack(0, H + 700), RECT{0, 0, W, H}},
        {"negative left and top", Pack(-50, 350), Pack(-20, 180), RECT{0, 0, 400, 200}},
        {"beyond the screen", Pack(W + 10, W + 310), Pack(H + 10, H + 210), RECT{W - 100, H - 100, W + 200, H + 100}},
    };
    for (const Case& c : cases) {
        const RECT r = BrowserPlacement(c.h, c.v, W, H);
        EXPECT_EQ(r.left, c.expected.left) << c.what;
        EXPECT_EQ(r.top, c.expected.top) << c.what;
        EXPECT_EQ(r.right, c.expected.right) << c.what;
        EXPECT_EQ(r.bottom, c.expected.bottom) << c.what;
    }
}

TEST_F(ManagerTest, TheBrowserComesBackWhereItWasAndWithItsImageType)
{
    win::SetScreenSize(1280, 1024);
    ASSERT_TRUE(Start());
    // A stored placement and a state whose image-type byte is 1 (world maps).
    App().WriteProfileInt("ImgBrowser", "hPosition", Pack(100, 700));
    App().WriteProfileInt("ImgBrowser", "vPosition", Pack(50, 450));
    App().WriteProfileInt("ImgBrowser", "InitState", static_cast<int>((33u << 24) | 1u));
    Manager().ShowImageBrowser(0, true);
    CImgBrowser* browser = Manager().GetImageBrowser();
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->IsWindowVisible());
    EXPECT_EQ(browser->GetWindowText(), "Image Browser");
    EXPECT_EQ(browser->GetImageType(), 0);  // JPEG files outside the tour maker's mode
    CRect first;
    browser->GetWindowRect(&first);
    EXPECT_EQ(first, CRect(100, 50, 700, 450));
    // The tour maker's mode shows world-map files.
    Manager().ShowImageBrowser(2, true);
    EXPECT_EQ(browser->GetImageType(), 1);
    Manager().ShowImageBrowser(2, false);
    EXPECT_EQ(Manager().GetBrowserMode(), 0);
    EXPECT_FALSE(browser->IsWindowVisible());
    browser->MoveWindow(200, 120, 500, 300);

    // The manager's end writes the packed form the next start reads back.
    Main().DestroyWindow();
    EXPECT_EQ(GetSuperManager(), nullptr);
    const auto h = static_cast<int32_t>(App().GetProfileInt("ImgBrowser", "hPosition", 0));
    const auto v = static_cast<int32_t>(App().GetProfileInt("ImgBrowser", "vPosition", 0));
    EXPECT_EQ(CRect(BrowserPlacement(h, v, 1280, 1024)), CRect(200, 120, 700, 420));
    m_app.reset();
    ASSERT_TRUE(Start());
    Manager().ShowImageBrowser(2, true);
    ASSERT_NE(Manager().GetImageBrowser(), nullptr);
    CRect again;
    Manager().GetImageBrowser()->GetWindowRect(&again);
    EXPECT_EQ(again, CRect(200, 120, 700, 420));
    EXPECT_EQ(Manager().GetImageBrowser()->GetImageType(), 1);
}

TEST_F(ManagerTest, NewFramesGoThroughTheTray)
{
    ASSERT_TRUE(Start());
    ASSERT_NE(Manager().GetImageTray(), nullptr);
    auto stamp = [] { return new Image(40, 30, 3); };

    // Offered while busy: refused, and the stamp's reference is dropped.
    Image* refused = stamp();
    RefAdd(refused);
    Manager().ModifyFlags(kFlagStopped, 0);
    Manager().AddImageFrame(refused, "/photos/a.jpg", nullptr);
    EXPECT_EQ(refused->m_refCount, 1);
    EXPECT_EQ(Manager().GetImageGroup(false), nullptr);
    ReleaseImage(refused);
    Manager().ModifyFlags(0, kFlagStopped);

    // A stamp the tray cannot show (no pixels): the tray refuses the frame,
    // which is deleted; the project still counts as changed.
    Manager().AddImageFrame(new Image(), "/photos/empty.jpg", nullptr);
    ASSERT_NE(Manager().GetImageGroup(false), nullptr);
    EXPECT_EQ(Manager().GetImageGroup(false)->GetNumbOfImages(), 0);
    EXPECT_EQ(Manager().GetImageTray()->GetFrameCount(), 0);
    EXPECT_EQ(App().m_pRecentFileList->GetCount(), 0);
    EXPECT_EQ(Manager().GetFlags() & kFlagSaved, 0u);
    Manager().ModifyFlags(0, kFlagSaved);

    Manager().AddImageFrame(stamp(), "/photos/a.jpg", nullptr);
    ASSERT_NE(Manager().GetImageGroup(false), nullptr);
    EXPECT_EQ(Manager().GetImageGroup(false)->GetNumbOfImages(), 1);
    EXPECT_EQ(Manager().GetImageTray()->GetFrameCount(), 1);
    EXPECT_EQ(Manager().GetFlags() & (kFlagSaved | kFlagOverlapMarked), 0u);
    ASSERT_EQ(App().m_pRecentFileList->GetCount(), 1);
    EXPECT_EQ((*App().m_pRecentFileList)[0], "/photos/a.jpg");
    ASSERT_NE(Manager().GetFrameStamp("/photos/a.jpg"), nullptr);
    EXPECT_EQ(Manager().GetFrameStamp("/photos/a.jpg")->GetWidth(), 40);

    // Only the project's first image enters the recent-file list.
    Manager().AddImageFrame(stamp(), "/photos/b.jpg", nullptr);
    EXPECT_EQ(Manager().GetImageGroup(false)->GetNumbOfImages(), 2);
    EXPECT_EQ(App().m_pRecentFileList->GetCount(), 1);
    EXPECT_TRUE(Manager().HasImageFrame("/photos/b.jpg"));

    // Removing a frame is an unsaved change whatever keepFlags says.
    Manager().ModifyFlags(0, kFlagSaved | kFlagOverlapMarked);
    Manager().RemoveImageFrame(Manager().FindImageFrame("/photos/b.jpg"), true);
    EXPECT_EQ(Manager().GetFlags() & kFlagSaved, 0u);
    EXPECT_NE(Manager().GetFlags() & kFlagOverlapMarked, 0u);
    EXPECT_EQ(Manager().GetImageTray()->GetFrameCount(), 1);
    Manager().ModifyFlags(0, kFlagSaved);
    Manager().RemoveImageFrame(Manager().FindImageFrame("/photos/a.jpg"), false);
    EXPECT_EQ(Manager().GetFlags() & (kFlagSaved | kFlagOverlapMarked), 0u);
    EXPECT_EQ(Manager().GetImageGroup(false)->GetNumbOfImages(), 0);
}

TEST_F(ManagerTest, InTheTourMakersModeStampsGoToTheTourMaker)
{
    TessivDouble::Record() = TessivRecord{};
    CMainFrame::SetTessivFactory(&TessivDouble::Create);
    ASSERT_TRUE(Start());
    ASSERT_NE(Main().GetTourMaker(true), nullptr);
    EXPECT_EQ(TessivDouble::Record().opened, 1);
    EXPECT_EQ(TessivDouble::Record().programDir, ProgramDir());
    EXPECT_EQ(TessivDouble::Record().parent, &Main());
    EXPECT_EQ(TessivDouble::Record().message, 2024u);
    Manager().SetBrowserMode(2);

    Image* thumbnail = new Image(64, 32, 3);
    RefAdd(thumbnail);
    Manager().AddImageFrame(thumbnail, "/panoramas/harbour.jpg", nullptr);
    ASSERT_EQ(TessivDouble::Record().vistas.size(), 1u);
    EXPECT_EQ(TessivDouble::Record().vistas[0].thumbnail, thumbnail);
    EXPECT_EQ(TessivDouble::Record().vistas[0].name, "/panoramas/harbour.jpg");
    EXPECT_EQ(TessivDouble::Record().vistas[0].references, 2);
    EXPECT_EQ(thumbnail->m_refCount, 1);  // the manager's reference is dropped
    ReleaseImage(thumbnail);

    // Without a stamp the thumbnail and the panorama values are loaded.
    const std::string photo = TestData("daeyun-image-stitching/pier_1.JPG");
    Manager().AddImageFrame(nullptr, photo.c_str(), nullptr);
    ASSERT_EQ(TessivDouble::Record().vistas.size(), 2u);
    const auto& loaded = TessivDouble::Record().vistas[1];
    ASSERT_NE(loaded.thumbnail, nullptr);
    EXPECT_EQ(loaded.references, 1);  // gone once the tour maker has seen it
    EXPECT_GT(loaded.width, 0);
    EXPECT_LE(std::max(loaded.width, loaded.height), 512);
    EXPECT_EQ(loaded.values.kind, 1);
    // The photograph's own size, as ImageMagick reads it.
    ASSERT_TRUE(testkit::RequireTool("identify"));
    const auto size = testkit::Run("identify -format '%w %h' '" + photo + "'");
    ASSERT_EQ(size.status, 0);
    EXPECT_EQ(std::to_string(loaded.values.fullWidth) + " " + std::to_string(loaded.values.fullHeight), size.output);
    EXPECT_EQ(Manager().GetImageGroup(false), nullptr);
    Main().ReleaseTourMaker();
    EXPECT_EQ(TessivDouble::Record().closed, 1);
    CMainFrame::SetTessivFactory(nullptr);
}

}  // namespace
