// Start-up of the program and the routing of the files it is given: the
// untitled project, the tray, the title, and what each kind of file opens.
#include "app/control/super_manager.h"
#include "app/shell/kestova_doc.h"
#include "app/shell/pellicot.h"
#include "app/tests/app_test_fixture.h"
#include "app/views/image_doc.h"
#include "app/views/image_loaders.h"
#include "imaging/image.h"
#include "platform/win/window_system.h"
#include "worldmap/image_file.h"
#include "worldmap/world_map.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

using Bytes = std::vector<unsigned char>;

int DocumentCount(CFendrakeApp& app)
{
    int count = 0;
    for (CDocTemplate* t : app.GetDocTemplates()) count += static_cast<int>(t->GetDocuments().size());
    return count;
}

class StartupTest : public AppTest {};

TEST_F(StartupTest, APlainStartLeavesAnUntitledSavedProjectWithTheTrayShown)
{
    ASSERT_TRUE(Start());
    EXPECT_EQ(DocumentCount(App()), 0);
    ASSERT_NE(GetSuperManager(), nullptr);
    ASSERT_NE(Manager().GetProjectName(true), nullptr);
    EXPECT_EQ(std::string(Manager().GetProjectName(true)), ProgramDir() + "/Project/Untitled.kzp");
    // The folder is made by the first save, not by New Project.
    EXPECT_FALSE(std::filesystem::exists(ProgramDir() + "/Project"));
    EXPECT_NE(Manager().GetFlags() & kFlagSaved, 0u);
    Pellicot* tray = Manager().GetImageTray();
    ASSERT_NE(tray, nullptr);
    EXPECT_TRUE(tray->IsWindowVisible());
    EXPECT_EQ(tray->GetWindowText(), "Pellicot");
    EXPECT_EQ(Main().GetWindowText(), "Quorvane Fendrake - [Untitled.kzp]");
    EXPECT_TRUE(Main().IsWindowVisible());
    // The splash is gone: the main frame is the only visible top-level window.
    int visibleTopLevel = 0;
    for (HWND w : win::WindowSystem::Get().TopLevelWindows())
        if (::IsWindowVisible(w)) ++visibleTopLevel;
    EXPECT_EQ(visibleTopLevel, 1);
}

// The image a window shows against the file loaded directly with its zero
// first samples raised here; returns how many samples were raised.
int ExpectShownWithZerosRaised(CFendrakeApp& app, const std::string& path)
{
    CImageDoc* doc = FindImageDoc(path.c_str());
    EXPECT_NE(doc, nullptr);
    if (!doc) return -1;
    EXPECT_EQ(doc->GetTitle(), path + " (100%)");  // the title carries the zoom
    Image* shown = doc->GetImage();
    Image* reference = nullptr;
    EXPECT_EQ(LoadImageWMap(path.c_str(), &reference, nullptr, true), 1);
    if (!shown || !reference) return -1;
    EXPECT_EQ(shown->GetWidth(), reference->GetWidth());
    EXPECT_EQ(shown->GetHeight(), reference->GetHeight());
    EXPECT_EQ(shown->GetChannels(), 3);
    EXPECT_EQ(reference->GetChannels(), 3);
    int raised = 0;
    int differences = 0;
    int zeros = 0;
    for (int y = 0; y < reference->GetHeight() && y < shown->GetHeight(); ++y) {
        const unsigned char* r = reference->GetData() + static_cast<size_t>(y) * reference->GetRowByte();
        const unsigned char* s = shown->GetData() + static_cast<size_t>(y) * shown->GetRowByte();
        for (int x = 0; x < reference->GetWidth() * 3; ++x) {
            unsigned char expected = r[x];
            if (x % 3 == 0 && expected == 0) {
                expected = 1;
                ++raised;
            }
            if (s[x] != expected) ++differences;
            if (x % 3 == 0 && s[x] == 0) ++zeros;
        }
    }
    ReleaseImage(reference);
    EXPECT_EQ(differences, 0);
    EXPECT_EQ(zeros, 0);
    (void)app;
    return raised;
}

// A 24-bit bottom-up BMP whose pixels cycle through black, pure colours and
// greys, so that first samples of 0 occur often.
std::string WriteBmpWithZeros(const std::string& path, int width, int height)
{
    const int rowBytes = (width * 3 + 3) & ~3;
    const uint32_t dataBytes = static_cast<uint32_t>(rowBytes * height);
    Bytes out(54 + dataBytes, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, 54 + dataBytes);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    out[26] = 1;
    out[28] = 24;
    put32(34, dataBytes);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &out[54 + static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x) * 3];
            const int k = (x + 3 * y) % 5;
            p[0] = k == 0 || k == 1 ? 0 : static_cast<unsigned char>(40 * k);  // B
            p[1] = k == 2 ? 0 : static_cast<unsigned char>(x * 7);
            p[2] = k == 3 ? 0 : static_cast<unsigned char>(y * 5);
        }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(out.data()),
                                                static_cast<std::streamsize>(out.size()));
    return path;
}

TEST_F(StartupTest, ImagesOnTheCommandLineOpenImageWindowsWithZerosRaised)
{
    // The file readers lift zero first samples themselves already; the
    // window's image must still show none and equal the file otherwise.
    const std::string photo = TestData("daeyun-image-stitching/ledge_1.JPG");
    const std::string bitmap = WriteBmpWithZeros(Home().file("zeros.bmp"), 37, 11);
    ASSERT_TRUE(Start({photo}));
    EXPECT_GE(ExpectShownWithZerosRaised(App(), photo), 0);
    ASSERT_NE(App().OpenDocumentFile(bitmap.c_str()), nullptr);
    EXPECT_GE(ExpectShownWithZerosRaised(App(), bitmap), 0);
    ASSERT_NE(App().m_pRecentFileList, nullptr);
    ASSERT_EQ(App().m_pRecentFileList->GetCount(), 2);
    EXPECT_EQ((*App().m_pRecentFileList)[0], bitmap);
    EXPECT_EQ((*App().m_pRecentFileList)[1], photo);
    // A name that is open already opens no second window.
    Image* image = nullptr;
    ASSERT_EQ(LoadImage(bitmap.c_str(), &image), 1);
    EXPECT_FALSE(OpenImageWindow(image, bitmap.c_str()));
    EXPECT_FALSE(OpenImageWindow(image, ""));
    ReleaseImage(image);
    EXPECT_EQ(App().GetImageTemplate()->GetDocuments().size(), 2u);
}

TEST_F(StartupTest, CommandLineRoutingByKindOfFile)
{
    const std::string panorama =
        WritePanoramaFile(TestData("daeyun-image-stitching/hill_1.JPG"), Home().file("pano.jpg"), 800);
    ASSERT_TRUE(Start());
    struct Case {
        std::string path;
        bool opened;
        bool inRecentList;
        int panoramaWindows;
        int imageWindows;
        const char* logged;
    };
    const Case cases[] = {
        // A world-map file opens the panorama window itself (loader result 2).
        {panorama, true, true, 1, 0, "leave LoadImage(): status=2"},
        // The project extension is compared as written: upper case is an image.
        {Home().file("X.KZP"), false, false, 1, 0, "enter LoadImage(): "},
        // An unreadable file opens nothing and is not remembered.
        {Home().file("missing.jpg"), false, false, 1, 0, "leave LoadImage(): status=-2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const int recentBefore = App().m_pRecentFileList->GetCount();
        Logger::setLogLevel(3);
        LogCapture log;
        CDocument* result = App().OpenDocumentFile(c.path.c_str());
        Logger::setLogLevel(1);
        EXPECT_EQ(result != nullptr, c.opened);
        EXPECT_TRUE(log.contains(c.logged)) << log.text();
        EXPECT_FALSE(log.contains("SuperManager::OpenProject")) << log.text();
        EXPECT_EQ(static_cast<int>(App().GetPanoramaTemplate()->GetDocuments().size()), c.panoramaWindows);
        EXPECT_EQ(static_cast<int>(App().GetImageTemplate()->GetDocuments().size()), c.imageWindows);
        if (c.inRecentList) {
            EXPECT_EQ((*App().m_pRecentFileList)[0], c.path);
        } else {
            EXPECT_EQ(App().m_pRecentFileList->GetCount(), recentBefore);
        }
    }
    auto* doc = dynamic_cast<CKestovaDoc*>(App().GetPanoramaTemplate()->GetDocuments().front());
    ASSERT_NE(doc, nullptr);
    ASSERT_NE(doc->GetWorldMap(), nullptr);
    EXPECT_STREQ(doc->GetWorldMap()->GetName(), panorama.c_str());
    // An open panorama is not loaded twice.
    EXPECT_TRUE(Manager().HasWorldMapNamed(panorama.c_str()));
    Image* none = nullptr;
    EXPECT_EQ(LoadImage(panorama.c_str(), &none), 0);
    EXPECT_EQ(none, nullptr);
}

TEST_F(StartupTest, AProjectPathGoesToTheProjectReader)
{
    ASSERT_TRUE(Start());
    LogCapture log;
    const std::string missing = Home().file("trip.kzp");
    Prompter().ExpectMessageBox("can't open file " + missing + " for reading.", IDOK);
    EXPECT_EQ(App().OpenDocumentFile(missing.c_str()), nullptr);
    EXPECT_FALSE(log.contains("LoadImage")) << log.text();
    EXPECT_EQ(App().m_pRecentFileList->GetCount(), 0);
}

TEST_F(StartupTest, OpenImageOpensTheSelectionInOrderAndRemembersTheFilter)
{
    ASSERT_TRUE(Start());
    const std::vector<std::string> photos = {TestData("daeyun-image-stitching/pier_2.JPG"),
                                             TestData("daeyun-image-stitching/hill_1.JPG"),
                                             TestData("daeyun-image-stitching/ledge_3.JPG")};
    win::FileDialogAnswer pick;
    pick.ok = true;
    pick.paths = photos;
    pick.filterIndex = 3;
    Prompter().ExpectFileDialog("Open Image File", pick);
    App().OnOpenImage();
    ASSERT_EQ(Prompter().FileDialogs().size(), 1u);
    const win::FileDialogRequest first = Prompter().FileDialogs()[0];
    EXPECT_TRUE(first.open);
    EXPECT_EQ(first.filterIndex, 1);
    EXPECT_EQ(first.initialDir, "");
    EXPECT_EQ(first.filter,
              "Graphics files (*.tif,*.jpg,*.bmp)|*.tif;*.jpg;*.bmp|TIFF Files (*.tif)|*.tif|JPEG Files (*.jpg)|*.jpg|"
              "Bitmap Files (*.bmp)|*.bmp|All files(*.*)|*.*||");
    // The recent-file list records the order of opening: newest first.
    ASSERT_EQ(App().m_pRecentFileList->GetCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ((*App().m_pRecentFileList)[i], photos[2 - i]);
    EXPECT_EQ(App().GetImageTemplate()->GetDocuments().size(), 3u);

    win::FileDialogAnswer cancel;
    cancel.ok = false;
    Prompter().ExpectFileDialog("Open Image File", cancel);
    App().OnOpenImage();
    ASSERT_EQ(Prompter().FileDialogs().size(), 2u);
    const win::FileDialogRequest second = Prompter().FileDialogs()[1];
    EXPECT_EQ(second.filterIndex, 3);
    EXPECT_EQ(second.initialDir, photos[2]);
    EXPECT_EQ(App().GetImageTemplate()->GetDocuments().size(), 3u);
}

}  // namespace
