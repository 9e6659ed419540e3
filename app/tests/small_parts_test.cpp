// The small parts of the shell: the photo count and its dialog, the coloured
// label as drawn, the panorama document's map reference, the child frame's
// activation, the web-print upload dialog, raising zero samples, and the
// project's new, close and save-question rules.
#include "app/matching/utilities.h"
#include "app/panorama/rect_map_view.h"
#include "app/shell/app_resources.h"
#include "app/shell/child_frame.h"
#include "app/shell/kestova_doc.h"
#include "app/shell/photo_count_dialog.h"
#include "app/shell/web_print_upload_dlg.h"
#include "app/tests/app_test_fixture.h"
#include "imaging/image.h"
#include "imaging/list.h"
#include "platform/win/controls.h"
#include "platform/win/shell.h"
#include "platform/win/window_dc.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "worldmap/world_map.h"

#include <cmath>
#include <fstream>

namespace {

// The count written out in double precision: the 35 mm frame's half angle
// is atan(12 / f) across the short side (portrait) or atan(16 / f) across
// the long side of a 4:3 image (landscape).
int ReferencePhotoCount(int focal, int overlap, int orientation)
{
    const double f = std::max(focal, 10);
    const double halfSide = orientation == 0 ? 12.0 : 16.0;
    const double half = std::atan(halfSide / f);  // half of the full aperture angle
    const double step = std::atan((1.0 - overlap / 100.0) * half) * 360.0 / M_PI;
    return static_cast<int>(360.0 / step + 0.5);
}

TEST(PhotoCount, AgainstTheFormulaInDoublePrecision)
{
    for (int focal : {5, 10, 18, 24, 35, 38, 150})
        for (int overlap : {0, 40, 95})
            for (int orientation : {0, 1}) {
                SCOPED_TRACE(testing::Message() << focal << " mm, " << overlap << " %, " << orientation);
                EXPECT_EQ(ComputePhotoCount(focal, overlap, orientation), ReferencePhotoCount(focal, overlap, orientation));
            }
    // 5 mm is taken as 10 mm.
    EXPECT_EQ(ComputePhotoCount(5, 40, 0), ComputePhotoCount(10, 40, 0));
    // Overlaps that give no meaningful count.
    for (int overlap : {100, 150, -1}) EXPECT_EQ(ComputePhotoCount(35, overlap, 0), -1) << overlap;
    EXPECT_EQ(ComputePhotoCount(35, 99, 0), ReferencePhotoCount(35, 99, 0));
}

class SmallPartsTest : public AppTest {};

TEST_F(SmallPartsTest, PhotoCountDialogControls)
{
    ASSERT_TRUE(Start());
    PhotoCountDialog dialog(&Main());
    EXPECT_EQ(dialog.GetResultText(), std::to_string(ReferencePhotoCount(38, 40, 0)));  // before the window
    std::string shownAtStart, afterBlank, afterLandscape, comboText, afterCompute, afterHundred;
    int selected = -1;
    COLORREF labelColour = 0;
    bool colourDrawn = false;
    Prompter().ExpectDialog(PhotoCountDialog::kTemplateId, [&](CDialog& d) {
        shownAtStart = d.GetDlgItemText(PhotoCountDialog::kResultStatic);
        labelColour = dialog.GetLabel().GetColor();
        win::PaintAll();
        if (Image* shot = win::CaptureWindow(d.m_hWnd)) {
            CRect label;
            d.GetDlgItem(PhotoCountDialog::kResultStatic)->GetWindowRect(&label);
            d.ScreenToClient(&label);
            for (int y = label.top; y < label.bottom && !colourDrawn; ++y)
                for (int x = label.left; x < label.right; ++x) {
                    const unsigned char* p = shot->GetData() + static_cast<size_t>(y) * shot->GetRowByte() + x * 3;
                    if (RGB(p[2], p[1], p[0]) == RGB(200, 60, 5)) colourDrawn = true;
                }
            ReleaseImage(shot);
        }
        auto* combo = dynamic_cast<CComboBox*>(d.GetDlgItem(PhotoCountDialog::kFocalCombo));
        ASSERT_NE(combo, nullptr);
        ASSERT_EQ(combo->GetCount(), 5);
        // The blank item means 35 mm and selects "35".
        combo->SetCurSel(4);
        d.SendMessage(WM_COMMAND, MAKEWPARAM(PhotoCountDialog::kFocalCombo, CBN_SELCHANGE),
                      reinterpret_cast<LPARAM>(combo->m_hWnd));
        selected = combo->GetCurSel();
        combo->GetLBText(selected, comboText);
        afterBlank = d.GetDlgItemText(PhotoCountDialog::kResultStatic);
        // An edit typed but not read yet does not count for Landscape.
        d.SetDlgItemText(PhotoCountDialog::kOverlapEdit, "80");
        d.CheckRadioButton(PhotoCountDialog::kPortrait, PhotoCountDialog::kLandscape, PhotoCountDialog::kLandscape);
        d.SendMessage(WM_COMMAND, MAKEWPARAM(PhotoCountDialog::kLandscape, BN_CLICKED),
                      reinterpret_cast<LPARAM>(d.GetDlgItem(PhotoCountDialog::kLandscape)->m_hWnd));
        afterLandscape = d.GetDlgItemText(PhotoCountDialog::kResultStatic);
        // "??" reads the controls.
        d.SendMessage(WM_COMMAND, MAKEWPARAM(PhotoCountDialog::kComputeButton, BN_CLICKED),
                      reinterpret_cast<LPARAM>(d.GetDlgItem(PhotoCountDialog::kComputeButton)->m_hWnd));
        afterCompute = d.GetDlgItemText(PhotoCountDialog::kResultStatic);
        d.SetDlgItemText(PhotoCountDialog::kOverlapEdit, "100");
        d.SendMessage(WM_COMMAND, MAKEWPARAM(PhotoCountDialog::kComputeButton, BN_CLICKED),
                      reinterpret_cast<LPARAM>(d.GetDlgItem(PhotoCountDialog::kComputeButton)->m_hWnd));
        afterHundred = d.GetDlgItemText(PhotoCountDialog::kResultStatic);
        d.EndDialog(IDOK);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(shownAtStart, std::to_string(ReferencePhotoCount(38, 40, 0)));
    EXPECT_EQ(labelColour, RGB(200, 60, 5));
    EXPECT_TRUE(colourDrawn) << "no pixel of the result drawn in RGB(200, 60, 5)";
    EXPECT_EQ(selected, 2);
    EXPECT_EQ(comboText, "35");
    EXPECT_EQ(dialog.GetFocalText(), "35");
    EXPECT_EQ(afterBlank, std::to_string(ReferencePhotoCount(35, 40, 0)));
    EXPECT_EQ(afterLandscape, std::to_string(ReferencePhotoCount(35, 40, 1)));
    EXPECT_EQ(afterCompute, std::to_string(ReferencePhotoCount(35, 80, 1)));
    EXPECT_EQ(afterHundred, "-");
}

TEST_F(SmallPartsTest, PanoramaDocumentHoldsOneReference)
{
    auto* map = new WorldMap(64, 3);
    map->SetName("/panoramas/harbour.jpg");
    EXPECT_EQ(map->GetRefCount(), 1);
    {
        CKestovaDoc doc;
        doc.SetWorldMap(map);
        doc.SetWorldMap(map);
        EXPECT_EQ(map->GetRefCount(), 2);
        EXPECT_EQ(doc.GetTitle(), "/panoramas/harbour.jpg");
        doc.SetWorldMap(nullptr);
        EXPECT_EQ(map->GetRefCount(), 1);
        EXPECT_EQ(doc.GetTitle(), "/panoramas/harbour.jpg");
        doc.SetWorldMap(map);
    }
    EXPECT_EQ(map->GetRefCount(), 1);  // the document's end released it
    map->Release();
}

TEST_F(SmallPartsTest, ChildFrameActivationBringsPanoramaViewsToTheFront)
{
    ASSERT_TRUE(Start());
    App().AddDocTemplate(new CMultiDocTemplate(129, win::ClassOf<CKestovaDoc>(), win::ClassOf<CChildFrame>(),
                                               win::ClassOf<CRectMapView>()));
    CDocTemplate* views = App().GetDocTemplates().back();
    CDocument* first = views->OpenDocumentFile(nullptr);
    CDocument* second = views->OpenDocumentFile(nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    auto* firstView = dynamic_cast<CRectMapView*>(first->GetViews().front());
    auto* secondView = dynamic_cast<CRectMapView*>(second->GetViews().front());
    ASSERT_NE(firstView, nullptr);
    ASSERT_NE(secondView, nullptr);
    Main().SetMessageText("");
    Main().MDIActivate(firstView->GetParentFrame());
    EXPECT_EQ(CRectMapView::Views().GetData(0), static_cast<void*>(firstView));
    EXPECT_EQ(Main().GetStatusBar().GetPaneText(0), "Right-click on the image for more operations");
    Main().MDIActivate(secondView->GetParentFrame());
    EXPECT_EQ(CRectMapView::Views().GetData(0), static_cast<void*>(secondView));
    EXPECT_EQ(CRectMapView::Views().GetData(1), static_cast<void*>(firstView));
    // Closing clears the text; the frame activated next sets its own.
    Manager().CloseImageTray(false);
    secondView->GetParentFrame()->SendMessage(WM_CLOSE, 0, 0);
    EXPECT_EQ(CRectMapView::Views().GetIndex(static_cast<void*>(firstView)), 0);
    EXPECT_EQ(CRectMapView::Views().m_count, 1);
    EXPECT_EQ(Main().GetStatusBar().GetPaneText(0), "Right-click on the image for more operations");
    firstView->GetParentFrame()->SendMessage(WM_CLOSE, 0, 0);
    EXPECT_EQ(Main().GetStatusBar().GetPaneText(0), "");
    EXPECT_EQ(CRectMapView::Views().m_count, 0);
}

TEST_F(SmallPartsTest, WebPrintUploadShowsTheTrimmedAddress)
{
    ASSERT_TRUE(Start());
    std::filesystem::create_directories(ProgramDir() + "/WebLinks");
    std::ofstream(ProgramDir() + "/WebLinks/Rowmap.dll") << "# printers\n0A http://print.example/upload \r\n";
    SuperManager::SetWebLinkId(10);
    std::string image, address;
    Prompter().ExpectDialog(CWebPrintUploadDlg::kTemplateId, [&](CDialog& d) {
        image = d.GetDlgItemText(CWebPrintUploadDlg::kImageStatic);
        address = d.GetDlgItemText(CWebPrintUploadDlg::kAddressStatic);
        d.SendMessage(WM_COMMAND, MAKEWPARAM(CWebPrintUploadDlg::kUploadButton, BN_CLICKED),
                      reinterpret_cast<LPARAM>(d.GetDlgItem(CWebPrintUploadDlg::kUploadButton)->m_hWnd));
        EXPECT_TRUE(::IsWindow(d.m_hWnd));  // the dialog stays open
        d.EndDialog(IDCANCEL);
    });
    CWebPrintUploadDlg::RunFor("/panoramas/harbour.jpg", &Main());
    EXPECT_EQ(image, "/panoramas/harbour.jpg");
    EXPECT_EQ(address, "http://print.example/upload");
    ASSERT_EQ(win::ShellRequests().size(), 1u);
    EXPECT_EQ(win::ShellRequests()[0].file, "http://print.example/upload/index.htm");
    // Without a saved file the user is told; without a link nothing happens.
    Prompter().ExpectMessageBox("Please save panorama to a file first.", IDOK);
    CWebPrintUploadDlg::RunFor(nullptr, &Main());
    SuperManager::SetWebLinkId(11);
    CWebPrintUploadDlg::RunFor("/panoramas/harbour.jpg", &Main());
    EXPECT_EQ(win::ShellRequests().size(), 1u);
}

TEST(RaiseZeroPixels, OnlyZeroFirstSamplesAreRaised)
{
    for (int channels : {1, 3}) {
        Image* image = new Image(5, 3, channels);
        unsigned char* data = image->GetData();
        for (int y = 0; y < 3; ++y)
            for (int i = 0; i < 5 * channels; ++i) data[static_cast<size_t>(y) * image->GetRowByte() + i] = static_cast<unsigned char>((i * 7 + y) % 3 == 0 ? 0 : i + y);
        std::vector<unsigned char> before(data, data + static_cast<size_t>(image->GetRowByte()) * 3);
        Utilities::RaiseZeroPixels(image);
        for (int y = 0; y < 3; ++y)
            for (int i = 0; i < 5 * channels; ++i) {
                const size_t at = static_cast<size_t>(y) * image->GetRowByte() + i;
                const bool first = i % channels == 0;
                EXPECT_EQ(data[at], first && before[at] == 0 ? 1 : before[at]) << channels << " " << i << "," << y;
            }
        ReleaseImage(image);
    }
    Utilities::RaiseZeroPixels(nullptr);
}

TEST_F(SmallPartsTest, NewProjectClosesAOneImageProjectButAsksOnlyWithTwo)
{
    ASSERT_TRUE(Start());
    const std::string untitled = ProgramDir() + "/Project/Untitled.kzp";
    // No image: nothing changes.
    Manager().SetProjectName("/photos/trip.kzp");
    EXPECT_FALSE(Manager().NewProject());
    EXPECT_STREQ(Manager().GetProjectName(true), "/photos/trip.kzp");
    // One image: the project closes without a question.
    Manager().GetImageGroup(true)->AppendImageFrame(new ImageFrame);
    Manager().ModifyFlags(kFlagSaved, 0);
    EXPECT_TRUE(Manager().NewProject());
    EXPECT_EQ(Manager().GetImageGroup(false), nullptr);
    EXPECT_EQ(std::string(Manager().GetProjectName(true)), untitled);
    EXPECT_NE(Manager().GetFlags() & kFlagSaved, 0u);
    EXPECT_EQ(Main().GetWindowText(), "Quorvane Fendrake - [Untitled.kzp]");
    // Not while a project is loading.
    Manager().GetImageGroup(true)->AppendImageFrame(new ImageFrame);
    Manager().ModifyFlags(0, kFlagLoading);
    EXPECT_FALSE(Manager().NewProject());
    EXPECT_EQ(Manager().GetImageGroup(false)->GetNumbOfImages(), 1);
    Manager().ModifyFlags(kFlagLoading, 0);
    // Two images: the save question; Cancel keeps the project, No closes it.
    Manager().GetImageGroup(false)->AppendImageFrame(new ImageFrame);
    Manager().ModifyFlags(kFlagSaved | kFlagBlendStage, kFlagBlendStage);
    Prompter().ExpectMessageBox("Do you want to save current project?", IDCANCEL);
    EXPECT_FALSE(Manager().NewProject());
    EXPECT_EQ(Manager().GetImageGroup(false)->GetNumbOfImages(), 2);
    Prompter().ExpectMessageBox("Do you want to save current project?", IDNO);
    Main().SendMessage(WM_COMMAND, 32898, 0);  // Close Project
    EXPECT_EQ(Manager().GetImageGroup(false), nullptr);
    EXPECT_TRUE(Manager().IsPreviewStage());
    ASSERT_NE(Manager().GetImageTray(), nullptr);  // the tray comes back for the new project
    // Yes answers with the save: a save that fails keeps the project open.
    Manager().GetImageGroup(true)->AppendImageFrame(new ImageFrame);
    Manager().GetImageGroup(false)->AppendImageFrame(new ImageFrame);
    Manager().ModifyFlags(kFlagSaved, 0);
    auto chosen = [](const std::string& path) {
        win::FileDialogAnswer answer;
        answer.ok = true;
        answer.paths = {path};
        return answer;
    };
    const std::string nowhere = Home().file("missing") + "/trip.kzp";
    Prompter().ExpectMessageBox("Do you want to save current project?", IDYES);
    Prompter().ExpectFileDialog("Save Project", chosen(nowhere));
    Prompter().ExpectMessageBox("can't open file  " + nowhere + " for writting", IDOK);
    EXPECT_FALSE(Manager().NewProject());
    EXPECT_EQ(Manager().GetImageGroup(false)->GetNumbOfImages(), 2);
    EXPECT_EQ(Manager().GetFlags() & kFlagSaved, 0u);
    // The name chosen stays; Yes now saves under it, then the project closes.
    EXPECT_STREQ(Manager().GetProjectName(true), nowhere.c_str());
    const std::string good = Home().file("trip.kzp");
    Manager().SetProjectName(good.c_str());
    EXPECT_EQ(Main().GetWindowText(), "Quorvane Fendrake - [trip.kzp]");
    Prompter().ExpectMessageBox("Do you want save change to current project file:\n   trip.kzp", IDYES);
    EXPECT_TRUE(Manager().NewProject());
    EXPECT_TRUE(std::filesystem::exists(good));
    EXPECT_EQ(Manager().GetImageGroup(false), nullptr);
    EXPECT_EQ(std::string(Manager().GetProjectName(true)), untitled);
}

TEST(ProjectNames, NameAndFolderParts)
{
    struct Case {
        const char* path;
        const char* name;
        const char* folder;
    };
    const Case cases[] = {
        {"C:\\photos\\trip.kzp", "trip.kzp", "C:\\photos"},
        {"/photos/2024\\trip.kzp", "trip.kzp", "/photos/2024"},
        {"trip.kzp", "trip.kzp", ""},
        {"/trip.kzp", "trip.kzp", ""},
        {"/photos/", "", "/photos"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(GetName(c.path), c.name) << c.path;
        std::string folder = "old";
        ExtractFolder(c.path, folder);
        EXPECT_EQ(folder, c.folder) << c.path;
    }
    EXPECT_EQ(GetName(nullptr), nullptr);
}

}  // namespace
