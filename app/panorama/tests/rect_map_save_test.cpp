// Saving the panorama view: the descriptor written into JPEG comments and
// TIFF tag 32768 (read back by rdjpgcom and tiffdump), the screen-size
// scaling, the JPEG quality choices (checked on the file by identify), and
// what happens on cancel, bad extensions, write errors and writer crashes.
#include "app/panorama/rect_map_view.h"
#include "app/views/image_loaders.h"
#include "app/views/image_quality_dlg.h"

#include "app/tests/app_test_fixture.h"
#include "app/tests/full_world_map.h"
#include "core/file_records.h"
#include "imaging/image.h"
#include "platform/win/file_dialog.h"
#include "platform/win/user_input.h"
#include "worldmap/image_file.h"
#include "worldmap/world_map.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Output of a shell command; fails the test when the tool is missing.
std::string Shell(const std::string& command)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int status = pclose(pipe);
    EXPECT_EQ(status, 0) << command;
    return out;
}

int32_t Le32(const std::string& bytes, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return static_cast<int32_t>(v);
}

struct Descriptor {
    std::string magic;
    int32_t equatorWidth = -1, column = -1, row = -1, mapType = -1;
    int fullCircle = -1, reserved = -1;
};

// Parses the 22 bytes field by field; the size must be exact.
::testing::AssertionResult ParseDescriptor(const std::string& bytes, Descriptor* out)
{
    if (bytes.size() != 22) return ::testing::AssertionFailure() << "descriptor is " << bytes.size() << " bytes";
    out->magic = bytes.substr(0, 4);
    out->equatorWidth = Le32(bytes, 4);
    out->column = Le32(bytes, 8);
    out->row = Le32(bytes, 12);
    out->mapType = Le32(bytes, 16);
    out->fullCircle = static_cast<unsigned char>(bytes[20]);
    out->reserved = static_cast<unsigned char>(bytes[21]);
    return ::testing::AssertionSuccess();
}

// The JPEG comment as rdjpgcom prints it raw (the tool adds a newline).
std::string JpegComment(const std::string& path)
{
    std::string out = Shell("rdjpgcom -raw '" + path + "'");
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// Tag 32768 of the TIFF as tiffdump lists it: "... (32768) BYTE (1) 22<0x6b 0x71 ...>".
std::string TiffTag(const std::string& path)
{
    const std::string dump = Shell("tiffdump '" + path + "'");
    const size_t at = dump.find("(32768) BYTE (1) 22<");
    if (at == std::string::npos) {
        ADD_FAILURE() << "no 22-byte tag 32768 in:\n" << dump;
        return {};
    }
    std::string bytes;
    size_t p = dump.find('<', at) + 1;
    const size_t end = dump.find('>', p);
    while (p < end) {
        size_t used = 0;
        const int v = std::stoi(dump.substr(p), &used, 0);
        bytes.push_back(static_cast<char>(v));
        p += used;
        while (p < end && dump[p] == ' ') ++p;
    }
    return bytes;
}

// A map storing every sample with a smooth pattern (JPEG-friendly).
// Maps made by a test; the fixture drops their creator's references at the
// end (an open window holds a reference of its own).
std::vector<WorldMap*> g_madeMaps;

WorldMap* MakeMap(int width)
{
    WorldMap* map =
        MakeFullWorldMap(width, 3, [&](int r, int i, int c) { return 40 + (i * 200 / width + r + c * 30) % 200; });
    g_madeMaps.push_back(map);
    return map;
}

std::vector<int> g_options;

class PanoramaSaveTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(Start());
        m_folder = Home().file("out");
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override
    {
        CRectMapView::SetImageWriters(nullptr, nullptr);
        for (WorldMap* map : g_madeMaps) map->Release();
        g_madeMaps.clear();
        AppTest::TearDown();
    }

    CRectMapView* Open(WorldMap* map)
    {
        Main().ShowPanoramaWindow(map);
        return Main().FindRectMapView(map);
    }

    void AnswerFile(const std::string& path)
    {
        win::FileDialogAnswer answer;
        answer.ok = !path.empty();
        if (answer.ok) answer.paths = {path};
        Prompter().ExpectFileDialog("Save Panorama Image", answer);
    }

    // The quality dialog answered with the given buttons (0 = Cancel).
    void AnswerQuality(int qualityButton, int styleButton)
    {
        Prompter().ExpectDialog(CImageQualityDlg::kTemplateId, [=](CDialog& d) {
            // It opens with High and Baseline.
            for (int id : {CImageQualityDlg::kHigh, CImageQualityDlg::kBaseline})
                EXPECT_EQ(d.IsDlgButtonChecked(id), UINT(BST_CHECKED)) << id;
            for (int id : {CImageQualityDlg::kMedium, CImageQualityDlg::kLow, CImageQualityDlg::kProgressive})
                EXPECT_EQ(d.IsDlgButtonChecked(id), UINT(BST_UNCHECKED)) << id;
            if (qualityButton == 0) {
                win::user::ClickControl(d.GetDlgItem(IDCANCEL));
                return;
            }
            win::user::ClickControl(d.GetDlgItem(qualityButton));
            win::user::ClickControl(d.GetDlgItem(styleButton));
            EXPECT_EQ(d.IsDlgButtonChecked(qualityButton), UINT(BST_CHECKED));
            win::user::ClickControl(d.GetDlgItem(IDOK));
        });
    }

    std::string m_folder;
};

}  // namespace

TEST_F(PanoramaSaveTest, DescriptorIsWrittenIntoJpegAndTiffAndReadBackByOutsideTools)
{
    WorldMap* map = MakeMap(160);  // 160 x 81
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->GetScreen()->GetWidth(), 160);
    struct Case {
        const char* name;
        RECT selection;
        bool fullCircleFlag;
        int column, row, fullCircle;
    };
    const Case cases[] = {
        // A partial panorama is recorded centred: 160/2 - 40/2 = 60.
        {"partial on the left", {0, 5, 39, 50}, true, 60, 5, 0},
        {"partial on the right", {110, 20, 149, 70}, true, 60, 20, 0},
        {"odd partial width", {3, 0, 43, 80}, false, 80 - 41 / 2, 0, 0},
        {"full width, full circle", {0, 10, 159, 60}, true, 0, 10, 1},
        {"full width, not a full circle", {0, 10, 159, 60}, false, 0, 10, 0},
    };
    int n = 0;
    for (const Case& c : cases) {
        for (const char* ext : {"jpg", "tif"}) {
            SCOPED_TRACE(std::string(c.name) + " " + ext);
            view->SetModeBits(CRectMapView::fullCircle, c.fullCircleFlag);
            view->SetSelectionRect(&c.selection);
            const std::string path = m_folder + "/pano" + std::to_string(n++) + "." + ext;
            AnswerFile(path);
            if (std::string(ext) == "jpg") AnswerQuality(CImageQualityDlg::kHigh, CImageQualityDlg::kBaseline);
            view->OnFileSaveRWMAs();
            ASSERT_TRUE(std::filesystem::exists(path));
            Descriptor d;
            ASSERT_TRUE(ParseDescriptor(std::string(ext) == "jpg" ? JpegComment(path) : TiffTag(path), &d));
            EXPECT_EQ(d.magic, "kqvz");
            EXPECT_EQ(d.equatorWidth, 160);
            EXPECT_EQ(d.column, c.column);
            EXPECT_EQ(d.row, c.row);
            EXPECT_EQ(d.mapType, map->GetMapType());
            EXPECT_EQ(d.fullCircle, c.fullCircle);
            EXPECT_EQ(d.reserved, 0);
            // The picture is the selection at full resolution.
            EXPECT_EQ(Shell("identify -format '%w %h' '" + path + "'"),
                      std::to_string(c.selection.right - c.selection.left + 1) + " " +
                          std::to_string(c.selection.bottom - c.selection.top + 1));
            // The map is named after the saved file, and the manager suggests from it.
            EXPECT_STREQ(map->GetName(), path.c_str());
            ASSERT_NE(Manager().GetPanoramaFileName(), nullptr);
            EXPECT_EQ(std::string(Manager().GetPanoramaFileName()), path);
        }
    }
    // The next file dialog starts in the folder of the last save, with the next name.
    const std::vector<win::FileDialogRequest> asked = Prompter().FileDialogs();
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back().initialDir, m_folder);
    // The last dialog was opened after pano8.tif was saved.
    EXPECT_EQ(asked.back().fileName, "pano9");
    EXPECT_EQ(asked.back().defaultExt, "jpg");
    EXPECT_EQ(asked.back().filter, "World Map File (*.jpg)|*.jpg|World Map File (*.tif)|*.tif|QuickTime (*.mov)|*.mov||");
    EXPECT_EQ(asked.back().flags & (OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT), DWORD(OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT));
    EXPECT_TRUE(Prompter().Unused().empty());
}

TEST_F(PanoramaSaveTest, ScreenSizeScalesTheEquatorWidthToAMultipleOfFour)
{
    WorldMap* map = MakeMap(4000);  // 4000 x 2001
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    const RECT selection{1000, 100, 1999, 1100};  // 1000 x 1001, recorded at column 2000 - 500
    struct Case {
        float zoom;
        bool screenSize;
        int equatorWidth, column, row, width, height;
    };
    const Case cases[] = {
        // 4000 x 0.37 = 1480; column (1500 x 0.37 + 0.5) = 555; row 37; 1000 x 0.37 = 370.
        {0.37f, true, 1480, 555, 37, 370, 370},
        {0.33f, true, 1320, 495, 33, 330, 330},
        // 4000 x 0.26 = 1040; 1000 x 0.26 = 260, 1001 x 0.26 = 260.26.
        {0.26f, true, 1040, 390, 26, 260, 260},
        // Zoom exactly 1 takes the full-resolution path.
        {1.0f, true, 4000, 1500, 100, 1000, 1001},
        // The full-resolution command ignores the zoom.
        {0.37f, false, 4000, 1500, 100, 1000, 1001},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zoom);
        view->ChangeZoom(c.zoom, c.zoom);
        float zx = 0, zy = 0;
        view->GetCurrentZoom(zx, zy);
        ASSERT_EQ(zx, c.zoom);
        view->SetSelectionRect(&selection);  // a zoom change resets the selection
        const std::string path = m_folder + "/screen" + std::to_string(n++) + ".tif";
        AnswerFile(path);
        if (c.screenSize)
            view->OnSaveRWMAtDspSize();
        else
            view->OnFileSaveRWMAs();
        Descriptor d;
        ASSERT_TRUE(ParseDescriptor(TiffTag(path), &d));
        EXPECT_EQ(d.equatorWidth, c.equatorWidth);
        EXPECT_EQ(d.column, c.column);
        EXPECT_EQ(d.row, c.row);
        EXPECT_EQ(Shell("identify -format '%w %h' '" + path + "'"),
                  std::to_string(c.width) + " " + std::to_string(c.height));
    }
}

TEST_F(PanoramaSaveTest, QualityAndStyleBecomeTheJpegOptions)
{
    WorldMap* map = MakeMap(160);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    struct Case {
        int quality, style;
        int options;
        const char* interlace;
        const char* sampling;
    };
    using D = CImageQualityDlg;
    const Case cases[] = {
        {D::kHigh, D::kBaseline, 0, "None", "1x1,1x1,1x1"},     {D::kMedium, D::kBaseline, 1, "None", "2x1,1x1,1x1"},
        {D::kLow, D::kBaseline, 2, "None", "2x2,1x1,1x1"},      {D::kHigh, D::kProgressive, 4, "JPEG", "1x1,1x1,1x1"},
        {D::kMedium, D::kProgressive, 5, "JPEG", "2x1,1x1,1x1"}, {D::kLow, D::kProgressive, 6, "JPEG", "2x2,1x1,1x1"},
    };
    // The real writer, with the options word it receives recorded.
    CRectMapView::SetImageWriters(
        [](Image* image, RECT* rect, QUORVANE_FileInfo* info) {
            g_options.push_back(info->options);
            return SaveJpeg(image, rect, info);
        },
        nullptr);
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = m_folder + "/q" + std::to_string(n++) + ".jpg";
        SCOPED_TRACE(path);
        AnswerFile(path);
        AnswerQuality(c.quality, c.style);
        g_options.clear();
        view->OnFileSaveRWMAs();
        EXPECT_EQ(g_options, std::vector<int>{c.options});
        EXPECT_EQ(Shell("identify -format '%[interlace] %[jpeg:sampling-factor]' '" + path + "'"),
                  std::string(c.interlace) + " " + c.sampling);
        // djpeg decodes what was written.
        EXPECT_EQ(Shell("djpeg -pnm '" + path + "' | head -c 2"), "P6");
    }
}

TEST_F(PanoramaSaveTest, NothingIsWrittenAndTheNameKeptWhenTheSaveDoesNotHappen)
{
    WorldMap* map = MakeMap(160);
    map->SetName("/old/name.jpg");
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    const std::string before = view->GetTitle();

    // Cancel in the file dialog.
    AnswerFile("");
    view->OnFileSaveRWMAs();
    // Cancel in the quality dialog.
    AnswerFile(m_folder + "/a.jpg");
    AnswerQuality(0, 0);
    view->OnFileSaveRWMAs();
    // An extension the save does not know.
    AnswerFile(m_folder + "/a.xyz");
    view->OnSaveRWMAtDspSize();
    // A folder that does not exist: the writer's state is shown.
    AnswerFile(m_folder + "/missing/a.tif");
    Prompter().ExpectMessageBox("Error saving image: saveState=1\n", IDOK);
    view->OnFileSaveRWMAs();

    EXPECT_TRUE(std::filesystem::is_empty(m_folder));
    EXPECT_STREQ(map->GetName(), "/old/name.jpg");
    EXPECT_EQ(view->GetTitle(), before);
    EXPECT_EQ(Manager().GetPanoramaFileName() ? std::string(Manager().GetPanoramaFileName()) : std::string(),
              std::string());
    EXPECT_TRUE(Prompter().Unused().empty());
}

TEST_F(PanoramaSaveTest, AThrowingWriterEndsInTheCrashGuardAndTheViewStaysUsable)
{
    WorldMap* map = MakeMap(160);
    map->SetName("/old/name.jpg");
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    CRectMapView::SetImageWriters(nullptr, [](Image*, RECT*, QUORVANE_FileInfo*) -> int {
        throw std::runtime_error("writer crashed");
    });
    AnswerFile(m_folder + "/crash.tif");
    view->OnFileSaveRWMAs();
    EXPECT_STREQ(map->GetName(), "/old/name.jpg");

    // The view saves again afterwards, at screen size too.
    CRectMapView::SetImageWriters(nullptr, nullptr);
    view->ChangeZoom(0.5f, 0.5f);
    const std::string path = m_folder + "/after.tif";
    AnswerFile(path);
    view->OnSaveRWMAtDspSize();
    EXPECT_STREQ(map->GetName(), path.c_str());
    EXPECT_EQ(Shell("identify -format '%w' '" + path + "'"), "80");
    EXPECT_TRUE(Prompter().Unused().empty());
}

// The JPEG comment segment as exiftool dumps it in hex ("JPEG COM (22
// bytes):" and lines "    005d: 6b 71 ... [kqvz...]").
std::string ExiftoolComment(const std::string& path)
{
    const std::string dump = Shell("exiftool -v3 '" + path + "'");
    size_t at = dump.find("JPEG COM (");
    if (at == std::string::npos) {
        ADD_FAILURE() << "no comment segment in:\n" << dump;
        return {};
    }
    const size_t count = std::stoul(dump.substr(at + 10));
    std::string bytes;
    at = dump.find('\n', at);
    while (bytes.size() < count && at != std::string::npos) {
        const size_t end = dump.find('\n', at + 1);
        const std::string line = dump.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        const size_t colon = line.find(':');
        const size_t bracket = line.find('[');
        if (colon == std::string::npos || bracket == std::string::npos) break;
        for (size_t p = colon + 1; p + 2 <= bracket && bytes.size() < count; p += 3)
            if (line[p] == ' ' && line[p + 1] != ' ') bytes.push_back(static_cast<char>(std::stoi(line.substr(p + 1, 2), nullptr, 16)));
        at = end;
    }
    return bytes;
}

// A real panorama photograph (examplepano.jpg, scaled to a 4000 x 2001 map)
// saved whole and in part, at full and at screen resolution: the outside
// tools read the descriptor back from the files.
TEST_F(PanoramaSaveTest, RealPanoramaDescriptorReadByOutsideTools)
{
    Image* photo = nullptr;
    ASSERT_EQ(LoadImage(TestData("pannellum/examplepano.jpg").c_str(), &photo), 1);
    Image* scaled = photo->ZoomImage(0, 0, photo->GetWidth(), photo->GetHeight(), 4000.0f / photo->GetWidth(),
                                     2001.0f / photo->GetHeight());
    ReleaseImage(photo);
    ASSERT_NE(scaled, nullptr);
    ASSERT_EQ(scaled->GetWidth(), 4000);
    ASSERT_EQ(scaled->GetHeight(), 2001);
    auto* map = new WorldMap();
    g_madeMaps.push_back(map);
    ASSERT_TRUE(map->TransferFromImage(scaled, 4000, 0, 0, 0));
    ReleaseImage(scaled);
    CRectMapView* view = Open(map);
    ASSERT_NE(view, nullptr);
    view->SetModeBits(CRectMapView::fullCircle, true);
    struct Case {
        const char* name;
        float zoom;
        bool screenSize;
        RECT selection;
        int equatorWidth, column, row, fullCircle;
        const char* size;
    };
    const Case cases[] = {
        {"whole.jpg", 1.0f, false, RECT{0, 0, 3999, 2000}, 4000, 0, 0, 1, "4000 2001"},
        {"whole.tif", 0.5f, false, RECT{0, 0, 3999, 2000}, 4000, 0, 0, 1, "4000 2001"},
        // Screen size: 4000 x 0.37 = 1480, the whole width stays a full circle.
        {"whole-screen.jpg", 0.37f, true, RECT{0, 0, 3999, 2000}, 1480, 0, 0, 1, "1480 740"},
        {"whole-screen.tif", 0.37f, true, RECT{0, 0, 3999, 2000}, 1480, 0, 0, 1, "1480 740"},
        // A part is recorded centred: column 2000 - 600 / 2, never a full circle.
        {"part.jpg", 1.0f, false, RECT{2500, 700, 3099, 1099}, 4000, 1700, 700, 0, "600 400"},
        {"part-screen.tif", 0.37f, true, RECT{2500, 700, 3099, 1099}, 1480, 629, 259, 0, "222 148"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view->ChangeZoom(c.zoom, c.zoom);
        view->SetSelectionRect(&c.selection);
        const std::string path = m_folder + "/" + c.name;
        const bool jpeg = std::string(c.name).ends_with(".jpg");
        AnswerFile(path);
        if (jpeg) AnswerQuality(CImageQualityDlg::kHigh, CImageQualityDlg::kBaseline);
        if (c.screenSize) view->OnSaveRWMAtDspSize();
        else view->OnFileSaveRWMAs();
        ASSERT_TRUE(std::filesystem::exists(path));
        std::string bytes;
        if (jpeg) {
            bytes = JpegComment(path);
            // exiftool reads the same comment.
            EXPECT_EQ(ExiftoolComment(path), bytes);
        } else {
            bytes = TiffTag(path);
        }
        Descriptor d;
        ASSERT_TRUE(ParseDescriptor(bytes, &d));
        EXPECT_EQ(d.magic, "kqvz");
        EXPECT_EQ(d.equatorWidth, c.equatorWidth);
        EXPECT_EQ(d.column, c.column);
        EXPECT_EQ(d.row, c.row);
        EXPECT_EQ(d.fullCircle, c.fullCircle);
        EXPECT_EQ(d.reserved, 0);
        EXPECT_EQ(Shell("identify -format '%w %h' '" + path + "'"), c.size);
    }
}
