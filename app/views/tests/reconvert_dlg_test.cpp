// The re-convert dialog on panorama files written by the program's own
// JPEG writer with the descriptor: the decision table (plain file,
// unreadable file, damaged descriptor, mismatching proportions, the
// cropped questions, full circle, small offsets), the state text and OK,
// and the manager's re-conversion running the dialog.
#include "app/panorama/rect_map_view.h"
#include "app/tests/app_test_fixture.h"
#include "app/views/reconvert_dlg.h"
#include "core/file_records.h"
#include "imaging/image.h"
#include "imaging/list.h"
#include "platform/win/user_input.h"
#include "worldmap/image_file.h"
#include "worldmap/world_map.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

class ReconvertDlgTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(Start());
    }
    // A w x h JPEG at `name`; with equatorWidth > 0 (or `damaged`) it carries
    // the panorama descriptor.
    std::string WriteJpeg(const std::string& name, int w, int h, int equatorWidth, int row, bool descriptor = true)
    {
        const std::string path = Home().file(name);
        Image image(w, h, 3);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w * 3; ++x)
                image.GetData()[static_cast<size_t>(y) * image.GetRowByte() + x] = static_cast<uint8_t>((x + y) & 0xFF);
        FileExtraData extra;
        if (descriptor) {
            WMapRecord record;
            record.equatorWidth = equatorWidth;
            record.column = 0;
            record.row = row;
            extra.length = WMapRecord::kLongSize;
            record.Write(extra.bytes);
        }
        QUORVANE_FileInfo info;
        info.path = path.c_str();
        info.extra = descriptor ? &extra : nullptr;
        RECT rect{0, 0, w - 1, h - 1};
        EXPECT_EQ(SaveJpeg(&image, &rect, &info), 0) << path;
        return path;
    }
};

TEST_F(ReconvertDlgTest, DecisionTable)
{
    struct Case {
        const char* what;
        int imageWidth, imageHeight;
        // The panorama file: size, equator width, row; plain or not a JPEG at all.
        int w, h, equatorWidth, row;
        enum Kind { Panorama, Plain, Junk, Missing } kind;
        const char* message;  // the message shown, or null
        int answer;           // to a Yes/No question
        int state;
        float angle, offset;
        bool fullCircle;
    };
    const Case cases[] = {
        {"plain JPEG", 400, 200, 400, 200, 0, 0, Case::Plain, "Selected image file does not contain panorama info.",
         0, 0, 0, 0, false},
        {"not an image", 400, 200, 0, 0, 0, 0, Case::Junk, "Unable to open the file.", 0, 0, 0, 0, false},
        {"missing", 400, 200, 0, 0, 0, 0, Case::Missing, "Unable to open the file.", 0, 0, 0, 0, false},
        {"equator width 0", 400, 200, 400, 200, 0, 0, Case::Panorama,
         "Selected image file does not contain panorama info.", 0, 0, 0, 0, false},
        {"equator width -8", 400, 200, 400, 200, -8, 0, Case::Panorama,
         "Selected image file does not contain panorama info.", 0, 0, 0, 0, false},
        {"matching, on the equator", 400, 200, 400, 200, 1600, 300, Case::Panorama, nullptr, 0, 2, 90.0f, 0.0f, false},
        {"matching, above the equator", 400, 200, 400, 200, 1600, 200, Case::Panorama, nullptr, 0, 2, 90.0f, 22.5f,
         false},
        {"matching, below", 800, 400, 400, 200, 1600, 333, Case::Panorama, nullptr, 0, 2, 90.0f, -7.425f, false},
        // One row of 40000 is 0.009 degrees: taken as 0.
        {"offset below 0.01", 400, 200, 400, 200, 40000, 9899, Case::Panorama, nullptr, 0, 2, 3.6f, 0.0f, false},
        {"offset 0.018", 400, 200, 400, 200, 40000, 9898, Case::Panorama, nullptr, 0, 2, 3.6f, 0.018f, false},
        {"over 359 degrees", 400, 200, 400, 200, 401, 0, Case::Panorama, nullptr, 0, 2, 359.102234f, 0.0f, true},
        {"whole equator", 400, 200, 400, 200, 400, 0, Case::Panorama, nullptr, 0, 2, 360.0f, 0.0f, true},
        // Cropped: the proportions differ.
        {"cropped, over 180 degrees high", 100, 300, 400, 200, 1600, 300, Case::Panorama,
         "Cannot import panorama info: it seems that the current image has been cropped!", 0, 1, 0, 0, false},
        {"cropped, No", 400, 100, 400, 200, 1600, 300, Case::Panorama,
         "It seems that the current image has been cropped...\nDo you still want to import panorama info?", IDNO, 1,
         0, 0, false},
        {"cropped, Yes", 400, 100, 400, 200, 1600, 300, Case::Panorama,
         "It seems that the current image has been cropped...\nDo you still want to import panorama info?", IDYES, 2,
         90.0f, 0.0f, false},
        {"cropped, whole equator", 400, 100, 400, 200, 400, 0, Case::Panorama,
         "It seems that the current image has been cropped...\nDo you still want to import panorama info?", IDYES, 2,
         360.0f, 0.0f, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = Home().file("file" + std::to_string(n++) + ".jpg");
        if (c.kind == Case::Panorama) path = WriteJpeg("pano" + std::to_string(n) + ".jpg", c.w, c.h, c.equatorWidth, c.row);
        else if (c.kind == Case::Plain) path = WriteJpeg("plain" + std::to_string(n) + ".jpg", c.w, c.h, 0, 0, false);
        else if (c.kind == Case::Junk) std::ofstream(path) << "not a picture at all";
        if (c.message) Prompter().ExpectMessageBox(c.message, c.answer ? c.answer : IDOK);
        CReconvertDlg dialog(c.imageWidth, c.imageHeight, &Main());
        dialog.UsePanoramaFile(path.c_str());
        EXPECT_EQ(dialog.GetState(), c.state);
        if (c.state == CReconvertDlg::kReady) {
            EXPECT_NEAR(dialog.GetAngularWidth(), c.angle, 1e-4);
            EXPECT_NEAR(dialog.GetOffset(), c.offset, 1e-5);
            EXPECT_EQ(dialog.GetFullCircle(), c.fullCircle);
        }
        EXPECT_TRUE(Prompter().Unused().empty());
    }
}

// The dialog as the user sees it: OK is off until a matching panorama is
// chosen, the state text tells why.
TEST_F(ReconvertDlgTest, StateTextAndOkFollowTheChoice)
{
    const std::string mismatch = WriteJpeg("tall.jpg", 400, 200, 1600, 300);
    const std::string good = WriteJpeg("good.jpg", 400, 100, 1600, 250);
    win::FileDialogAnswer first;
    first.ok = true;
    first.paths = {mismatch};
    win::FileDialogAnswer second = first;
    second.paths = {good};
    Prompter().ExpectFileDialog("Select parent panorama file", first);
    Prompter().ExpectMessageBox("It seems that the current image has been cropped...\nDo you still want to import panorama info?", IDNO);
    Prompter().ExpectFileDialog("Select parent panorama file", second);
    Prompter().ExpectDialog(CReconvertDlg::kTemplateId, [](CDialog& d) {
        EXPECT_FALSE(d.GetDlgItem(IDOK)->IsWindowEnabled());
        win::user::ClickControl(d.GetDlgItem(CReconvertDlg::kSelectButton));
        EXPECT_EQ(d.GetDlgItemText(CReconvertDlg::kStateText), "This image do not match with selected panorama image.");
        EXPECT_FALSE(d.GetDlgItem(IDOK)->IsWindowEnabled());
        win::user::ClickControl(d.GetDlgItem(CReconvertDlg::kSelectButton));
        EXPECT_EQ(d.GetDlgItemText(CReconvertDlg::kStateText), "You can click OK to start reconvert now.");
        EXPECT_TRUE(d.GetDlgItem(IDOK)->IsWindowEnabled());
        win::user::ClickControl(d.GetDlgItem(IDOK));
    });
    float angle = 0, offset = 0;
    bool fullCircle = true;
    EXPECT_TRUE(RunReconvertDialog(400, 100, &angle, &offset, &fullCircle));
    EXPECT_EQ(angle, 90.0f);
    EXPECT_EQ(offset, 22.5f);
    EXPECT_FALSE(fullCircle);
    const std::vector<win::FileDialogRequest> asked = Prompter().FileDialogs();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].defaultExt, "jpg");
    EXPECT_NE(asked[0].filter.find("Panorama files (*.tif,*.jpg)"), std::string::npos);
}

TEST_F(ReconvertDlgTest, CancelGivesNothing)
{
    Prompter().ExpectDialog(CReconvertDlg::kTemplateId,
                            [](CDialog& d) { win::user::ClickControl(d.GetDlgItem(IDCANCEL)); });
    float angle = -1;
    EXPECT_FALSE(RunReconvertDialog(400, 200, &angle, nullptr, nullptr));
    EXPECT_EQ(angle, -1.0f);
}

// The manager's re-conversion runs this dialog: a 400 x 200 image of a
// quarter of the circle becomes a panorama window on a map 1600 wide.
TEST_F(ReconvertDlgTest, ManagerReconvertsThroughTheDialog)
{
    const std::string pano = WriteJpeg("quarter.jpg", 400, 200, 1600, 300);
    win::FileDialogAnswer answer;
    answer.ok = true;
    answer.paths = {pano};
    Prompter().ExpectFileDialog("Select parent panorama file", answer);
    Prompter().ExpectDialog(CReconvertDlg::kTemplateId, [](CDialog& d) {
        win::user::ClickControl(d.GetDlgItem(CReconvertDlg::kSelectButton));
        win::user::ClickControl(d.GetDlgItem(IDOK));
    });
    // The map keeps a reference to the image: it lives on the heap.
    auto* image = new Image(400, 200, 3);
    const int before = CRectMapView::Views().m_count;
    const bool converted = Manager().ReconvertToPanorama(image);
    ReleaseImage(image);
    ASSERT_TRUE(converted);
    ASSERT_EQ(CRectMapView::Views().m_count, before + 1);
    auto* view = static_cast<CRectMapView*>(CRectMapView::Views().GetData(0));
    ASSERT_NE(view, nullptr);
    ASSERT_NE(view->GetWorldMap(), nullptr);
    EXPECT_EQ(view->GetWorldMap()->GetWidth(), 1600);
    EXPECT_EQ(view->GetWorldMap()->GetHeight(), 801);
}

}  // namespace
