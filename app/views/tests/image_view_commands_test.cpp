// The image view's commands on real windows: rotations and mirrors checked
// pixel by pixel against ImageMagick with the selection kept on its pixels,
// the crop toggle, saving (sizes read back by identify, write failures
// reported), the camera check, the legacy camera file name, distortion
// preview and correction, the size dialog, and the text overlay drawn.
#include "app/control/super_manager.h"
#include "app/matching/cam_info.h"
#include "app/matching/distortion_record.h"
#include "app/matching/share_library.h"
#include "app/tests/app_test_fixture.h"
#include "app/views/exif_info_dlg.h"
#include "app/views/image_doc.h"
#include "app/views/image_loaders.h"
#include "app/views/image_quality_dlg.h"
#include "app/views/image_size_dlg.h"
#include "app/views/reconvert_dlg.h"
#include "core/file_records.h"
#include "worldmap/image_file.h"
#include "app/views/image_view.h"
#include "viewkit/printing.h"
#include "imaging/image.h"
#include "platform/imgcore/exif_info.h"
#include "platform/utilkit/log_base.h"
#include "platform/win/system.h"
#include "platform/win/user_input.h"
#include "platform/win/window_dc.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// A 3-channel image with a pattern that differs at every pixel. The first
// sample is never 0: the cell layer draws such pixels as empty.
Image* MakePattern(int w, int h)
{
    auto* image = new Image(w, h, 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = image->GetData() + static_cast<size_t>(y) * image->GetRowByte() + static_cast<size_t>(x) * 3;
            p[0] = static_cast<uint8_t>(1 + (x * 7 + y) % 255);
            p[1] = static_cast<uint8_t>(y * 5 + x / 3);
            p[2] = static_cast<uint8_t>((x * y) & 0xFF);
        }
    return image;
}

// The rectangle's pixels, rows top-down, three bytes each.
std::vector<uint8_t> Pixels(const Image& image, const RECT& r)
{
    std::vector<uint8_t> out;
    for (int y = r.top; y <= r.bottom; ++y)
        for (int x = r.left; x <= r.right; ++x) {
            const uint8_t* p = image.GetData() + static_cast<size_t>(y) * image.GetRowByte() + static_cast<size_t>(x) * 3;
            out.insert(out.end(), p, p + 3);
        }
    return out;
}

void WritePpm(const std::string& path, const Image& image, const RECT& r)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << (r.right - r.left + 1) << " " << (r.bottom - r.top + 1) << "\n255\n";
    const std::vector<uint8_t> bytes = Pixels(image, r);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Width, height and the pixels of a binary PPM.
std::vector<uint8_t> ReadPpm(const std::string& path, int& w, int& h)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    std::vector<uint8_t> bytes(static_cast<size_t>(w) * h * 3);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

std::string Identify(const std::string& path)
{
    const testkit::CommandResult r = testkit::Run("identify -format '%wx%h' '" + path + "'");
    EXPECT_EQ(r.status, 0) << r.output;
    return r.output;
}

class ImageViewCommandsTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(Start());
    }
    void TearDown() override
    {
        for (Image* image : m_images) ReleaseImage(image);
        AppTest::TearDown();
    }
    CImageView* Open(Image* image, const std::string& name)
    {
        m_images.push_back(image);
        if (!OpenImageWindow(image, name.c_str())) return nullptr;
        CImageDoc* doc = FindImageDoc(name.c_str());
        for (CView* view : doc->GetViews())
            if (auto* imageView = dynamic_cast<CImageView*>(view)) return imageView;
        return nullptr;
    }
    void Command(CImageView* view, UINT id) { view->SendMessage(WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    void AnswerSave(const std::string& path)
    {
        win::FileDialogAnswer answer;
        answer.ok = !path.empty();
        if (answer.ok) answer.paths = {path};
        Prompter().ExpectFileDialog("Save Image", answer);
    }
    std::vector<Image*> m_images;
};

TEST(ImageViewRotation, RectangleTable)
{
    // A 10 x 6 image, selection columns 1..3, rows 2..4.
    const RECT r{1, 2, 3, 4};
    struct Case {
        int code;
        RECT expected;
    };
    const Case cases[] = {
        {-90, RECT{2, 6, 4, 8}},   // left: 6 wide, 10 high
        {90, RECT{1, 1, 3, 3}},    // right
        {180, RECT{6, 1, 8, 3}},
        {270, RECT{6, 2, 8, 4}},   // mirror left-right
        {-180, RECT{1, 1, 3, 3}},  // mirror up-down
    };
    for (const Case& c : cases) {
        const RECT got = MapRectThroughRotation(c.code, r, 10, 6);
        EXPECT_EQ(got.left, c.expected.left) << c.code;
        EXPECT_EQ(got.top, c.expected.top) << c.code;
        EXPECT_EQ(got.right, c.expected.right) << c.code;
        EXPECT_EQ(got.bottom, c.expected.bottom) << c.code;
    }
}

// Every command sequence against ImageMagick on the whole image and on the
// selection cut out before turning.
TEST_F(ImageViewCommandsTest, RotationsAndMirrorsMatchImageMagickAndKeepTheSelection)
{
    ASSERT_TRUE(testkit::HasTool("convert")) << "ImageMagick's convert is the oracle";
    struct Case {
        const char* what;
        std::vector<UINT> commands;
        const char* magick;
    };
    const Case cases[] = {
        {"left twice, then mirror", {CImageView::kRotateLeft, CImageView::kRotateLeft, CImageView::kMirrorLeftRight},
         "-rotate -90 -rotate -90 -flop"},
        {"left", {CImageView::kRotateLeft}, "-rotate -90"},
        {"right", {CImageView::kRotateRight}, "-rotate 90"},
        {"half", {CImageView::kRotateHalf}, "-rotate 180"},
        {"mirror left-right", {CImageView::kMirrorLeftRight}, "-flop"},
        {"mirror up-down", {CImageView::kMirrorUpDown}, "-flip"},
        {"right, then up-down", {CImageView::kRotateRight, CImageView::kMirrorUpDown}, "-rotate 90 -flip"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Image* source = MakePattern(37, 23);
        CImageView* view = Open(source, "turn" + std::to_string(n++));
        ASSERT_NE(view, nullptr);
        const RECT sel{5, 3, 20, 17};
        view->SetSelection(&sel);
        const std::string src = Home().file("src.ppm"), srcSel = Home().file("sel.ppm");
        WritePpm(src, *source, RECT{0, 0, 36, 22});
        WritePpm(srcSel, *source, sel);
        for (UINT id : c.commands) Command(view, id);
        const std::string out = Home().file("out.ppm"), outSel = Home().file("outsel.ppm");
        ASSERT_EQ(testkit::Run("convert '" + src + "' " + c.magick + " '" + out + "'").status, 0);
        ASSERT_EQ(testkit::Run("convert '" + srcSel + "' " + c.magick + " '" + outSel + "'").status, 0);
        int w = 0, h = 0, sw = 0, sh = 0;
        const std::vector<uint8_t> whole = ReadPpm(out, w, h);
        const std::vector<uint8_t> part = ReadPpm(outSel, sw, sh);
        Image* screen = view->GetScreen();
        ASSERT_EQ(screen->GetWidth(), w);
        ASSERT_EQ(screen->GetHeight(), h);
        const std::vector<uint8_t> shown = Pixels(*screen, RECT{0, 0, w - 1, h - 1});
        ASSERT_EQ(shown.size(), whole.size());
        size_t firstDiff = 0;
        while (firstDiff < shown.size() && shown[firstDiff] == whole[firstDiff]) ++firstDiff;
        EXPECT_EQ(firstDiff, shown.size()) << "first difference at pixel " << firstDiff / 3 << " of " << w << " x " << h << ": " << int(shown[firstDiff]) << " vs " << int(whole[firstDiff]);
        // The document image turned with the screen.
        EXPECT_TRUE(Pixels(*FindImageDoc(("turn" + std::to_string(n - 1)).c_str())->GetImage(),
                           RECT{0, 0, w - 1, h - 1}) == whole);
        const RECT now = *view->GetSelectionRect();
        ASSERT_EQ(now.right - now.left + 1, sw);
        ASSERT_EQ(now.bottom - now.top + 1, sh);
        EXPECT_TRUE(Pixels(*screen, now) == part) << "selection (" << now.left << "," << now.top << ")";
    }
}

TEST_F(ImageViewCommandsTest, CropBlanksOutsideTheSelectionAndUndoes)
{
    Image* source = MakePattern(40, 30);
    CImageView* view = Open(source, "crop");
    ASSERT_NE(view, nullptr);
    const RECT sel{10, 5, 19, 14};
    view->SetSelection(&sel);
    const std::vector<uint8_t> inside = Pixels(*view->GetScreen(), sel);
    Command(view, CImageView::kCrop);
    ASSERT_TRUE(view->IsCropped());
    EXPECT_TRUE(Pixels(*view->GetScreen(), sel) == inside);
    const std::vector<uint8_t> corner = Pixels(*view->GetScreen(), RECT{0, 0, 9, 4});
    EXPECT_TRUE(std::all_of(corner.begin(), corner.end(), [](uint8_t v) { return v == 0; }));
    // A quarter turn keeps the crop on the same pixels.
    Command(view, CImageView::kRotateRight);
    EXPECT_TRUE(view->IsCropped());
    const RECT turned = *view->GetSelectionRect();
    EXPECT_EQ(turned.right - turned.left, 9);
    EXPECT_EQ(Pixels(*view->GetScreen(), RECT{0, 0, 0, 0}), (std::vector<uint8_t>{0, 0, 0}));
    Command(view, CImageView::kCrop);
    EXPECT_FALSE(view->IsCropped());
    EXPECT_NE(Pixels(*view->GetScreen(), RECT{0, 0, 0, 0}), (std::vector<uint8_t>{0, 0, 0}));
}

TEST_F(ImageViewCommandsTest, SaveWritesTheSelectionAtFullOrScreenResolution)
{
    ASSERT_TRUE(testkit::HasTool("identify")) << "ImageMagick's identify reads the sizes back";
    CImageView* view = Open(MakePattern(1000, 800), "big");
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->ZoomTo(0.5f));
    const std::string folder = Home().file("saved");
    std::filesystem::create_directories(folder);
    struct Case {
        const char* name;
        UINT command;
        RECT selection;  // right < 0: the whole image
        const char* size;
    };
    const Case cases[] = {
        {"screen.tif", CImageView::kSaveScreen, RECT{0, 0, -1, -1}, "500x400"},
        {"screen.gif", CImageView::kSaveScreen2, RECT{0, 0, -1, -1}, "500x400"},
        {"full.tif", CImageView::kSaveFull, RECT{100, 50, 399, 249}, "300x200"},
        {"screen-part.jpg", CImageView::kSaveScreen, RECT{100, 50, 399, 249}, "150x100"},
        {"full-as.jpg", CImageView::kSaveAs, RECT{0, 0, -1, -1}, "1000x800"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.selection.right < 0) view->SetSelection(nullptr);
        else view->SetSelection(&c.selection);
        const std::string path = folder + "/" + c.name;
        AnswerSave(path);
        if (std::string(c.name).ends_with(".jpg"))
            Prompter().ExpectDialog(CImageQualityDlg::kTemplateId,
                                    [](CDialog& d) { win::user::ClickControl(d.GetDlgItem(IDOK)); });
        Command(view, c.command);
        ASSERT_TRUE(std::filesystem::exists(path));
        EXPECT_EQ(Identify(path), c.size);
    }
    const std::vector<win::FileDialogRequest> asked = Prompter().FileDialogs();
    ASSERT_FALSE(asked.empty());
    EXPECT_FALSE(asked[0].open);
    EXPECT_EQ(asked[0].defaultExt, "jpg");
    EXPECT_EQ(asked[0].filter, "JPEG File (*.jpg)|*.jpg|TIFF File (*.tif)|*.tif|GIF File (*.gif)|*.gif||");
}

TEST_F(ImageViewCommandsTest, SaveFailuresAreReportedAndCancelsWriteNothing)
{
    CImageView* view = Open(MakePattern(64, 48), "fails");
    ASSERT_NE(view, nullptr);
    const std::string folder = Home().file("out");
    std::filesystem::create_directories(folder);
    // Cancel in the file dialog, Cancel in the quality dialog, an unknown extension.
    AnswerSave("");
    Command(view, CImageView::kSaveFull);
    AnswerSave(folder + "/q.jpg");
    Prompter().ExpectDialog(CImageQualityDlg::kTemplateId,
                            [](CDialog& d) { win::user::ClickControl(d.GetDlgItem(IDCANCEL)); });
    Command(view, CImageView::kSaveFull);
    AnswerSave(folder + "/x.xyz");
    Command(view, CImageView::kSaveFull);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    // A folder that does not exist: every writer's failure is shown.
    for (const char* name : {"a.tif", "b.gif", "c.jpg"}) {
        SCOPED_TRACE(name);
        AnswerSave(Home().file("missing") + "/" + name);
        if (std::string(name).ends_with(".jpg"))
            Prompter().ExpectDialog(CImageQualityDlg::kTemplateId,
                                    [](CDialog& d) { win::user::ClickControl(d.GetDlgItem(IDOK)); });
        Prompter().ExpectMessageBoxPrefix("Error saving image: saveState=", IDOK);
        Command(view, CImageView::kSaveFull);
        EXPECT_TRUE(Prompter().Unused().empty());
        const std::string shown = Prompter().MessageBoxes().back().text;
        EXPECT_TRUE(shown.ends_with("\n")) << shown;
        EXPECT_NE(shown, "Error saving image: saveState=0\n");
    }
    EXPECT_FALSE(std::filesystem::exists(Home().file("missing")));
}

TEST(ImageViewCameraCheck, DecisionTable)
{
    const std::string first =
        "Camera Info has no Exif info while image does:\nPlease confirm their camera model and focal length are the same!";
    const std::string second =
        "Image has no Exif info while Camera Info does:\nPlease confirm their camera model and focal length are the same!";
    struct Case {
        const char *imageMake, *imageModel, *recordMake, *recordModel;
        int decision;
        std::string text;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, nullptr, 0, ""},
        {"", "", "", "", 0, ""},
        {"Canon", "G5", nullptr, nullptr, 1, first},
        {nullptr, nullptr, "Canon", "G5", 2, second},
        {"Canon", "G5", "Canon", "G5", 0, ""},
        {"Canon", "G5", "Canon", "G6", 3,
         "Image camera model (Canon:G5) does not match\nCamera Info (Canon:G6): cannot correct!"},
        {"Canon", "G5", "canon", "G5", 3,
         "Image camera model (Canon:G5) does not match\nCamera Info (canon:G5): cannot correct!"},
    };
    for (const Case& c : cases) {
        std::string text = "stale";
        EXPECT_EQ(CameraCheckCase(c.imageMake, c.imageModel, c.recordMake, c.recordModel, text), c.decision);
        EXPECT_EQ(text, c.text);
    }
}

TEST(ImageViewLegacyCamInfo, NameStaysInsideTheLibraryFolder)
{
    struct Case {
        const char *make, *model, *name;
    };
    const Case cases[] = {
        {"Canon", "PowerShot G5", "Canon-PowerShot G5.camInfo_"},
        {"../x", "a/b", "___x-a_b.camInfo_"},
        {"..\\..\\evil", "m", "______evil-m.camInfo_"},
        {"A\nB", "C\x01", "A_B-C_.camInfo_"},
        {"/etc", "passwd", "_etc-passwd.camInfo_"},
        {"...", "..", "__.-__.camInfo_"},
    };
    for (const Case& c : cases) {
        const std::string name = LegacyCamInfoFileName(c.make, c.model);
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(name.find('/'), std::string::npos);
        EXPECT_EQ(name.find('\\'), std::string::npos);
        EXPECT_EQ(name.find(".."), std::string::npos);
    }
}

class ImageViewPhotoTest : public ImageViewCommandsTest {
protected:
    // A copy of a Durlach photo retagged by exiftool (no arguments: as it is).
    std::string Photo(const std::string& name, const std::string& tags)
    {
        const std::string path = Home().file(name);
        std::filesystem::copy_file(TestData("daeyun-image-stitching/ledge_1.JPG"), path,
                                   std::filesystem::copy_options::overwrite_existing);
        if (!tags.empty()) {
            const testkit::CommandResult r = testkit::Run("exiftool -q -overwrite_original " + tags + " '" + path + "'");
            EXPECT_EQ(r.status, 0) << r.output;
        }
        return path;
    }
    CImageView* OpenFile(const std::string& path)
    {
        Image* image = nullptr;
        if (LoadImage(path.c_str(), &image) != 1) return nullptr;
        return Open(image, path);
    }
    static std::unique_ptr<CamInfo> Record(const char* make, const char* model, bool distortion)
    {
        auto info = std::make_unique<CamInfo>();
        info->SetExifMake(make);
        info->SetExifModel(model);
        info->SetFocalLength(5.4f);
        DistortionRecord d;
        d.b = 0.02f;
        d.c = -0.05f;
        d.d = 1.03f;
        info->SetCorrection(&d, distortion, false);
        return info;
    }
};

TEST_F(ImageViewPhotoTest, LegacyCameraFileIsWrittenInsideTheLibrary)
{
    ASSERT_TRUE(testkit::HasTool("exiftool")) << "exiftool makes the fixtures";
    const std::string path = Photo("hostile.jpg", "-Make=../x -Model=a/b");
    CImageView* view = OpenFile(path);
    ASSERT_NE(view, nullptr);
    const std::string folder = LogBase::ToNativePath(CamInfoLib::GetAppLibFolder().c_str());
    std::filesystem::create_directories(folder);
    // Refusals first: no record, then a record without distortion.
    Prompter().ExpectMessageBox("no camInfo: cannot convert!", IDOK);
    Command(view, CImageView::kConvertLegacyCamInfo);
    Manager().SetCamInfo(Record("x", "y", false));
    Prompter().ExpectMessageBox("camInfo->m_hasDistortionInfo==false: cannot convert!", IDOK);
    Command(view, CImageView::kConvertLegacyCamInfo);
    Manager().SetCamInfo(Record("x", "y", true));
    Prompter().ExpectMessageBox("Save camera info file: OK!", IDOK);
    Command(view, CImageView::kConvertLegacyCamInfo);
    const std::string written = folder + "/___x-a_b.camInfo_";
    ASSERT_TRUE(std::filesystem::exists(written));
    std::ifstream in(written);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Converted from legacy file: "), std::string::npos) << text;
    // Nothing landed above the library folder.
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder).parent_path() / "x-a"));
    // A photo without Exif cannot be converted.
    CImageView* plain = OpenFile(Photo("plain.jpg", "-all="));
    ASSERT_NE(plain, nullptr);
    Prompter().ExpectMessageBox("image has no exif info: cannot convert!", IDOK);
    Command(plain, CImageView::kConvertLegacyCamInfo);
}

TEST_F(ImageViewPhotoTest, CameraCheckGuardsTheCorrectedCopy)
{
    ASSERT_TRUE(testkit::HasTool("exiftool")) << "exiftool makes the fixtures";
    const std::string path = Photo("canon.jpg", "-Make=Canon -Model=G5");
    CImageView* view = OpenFile(path);
    ASSERT_NE(view, nullptr);
    DistortionRecord* record = Manager().GetDistortionRecord(true);
    record->b = 0.02f;
    record->c = -0.05f;
    record->d = 1.03f;
    // A record of another camera refuses; nothing opens.
    Manager().SetCamInfo(Record("Canon", "G6", true));
    Prompter().ExpectMessageBox("Image camera model (Canon:G5) does not match\nCamera Info (Canon:G6): cannot correct!",
                                IDOK);
    Command(view, CImageView::kDistortionCopy);
    EXPECT_EQ(FindImageDoc((path + "--distortion corrected").c_str()), nullptr);
    // A record without Exif: the user is asked; No stops, Yes makes the copy.
    Manager().SetCamInfo(Record(nullptr, nullptr, true));
    Prompter().ExpectMessageBoxPrefix("Camera Info has no Exif info while image does:", IDNO);
    Command(view, CImageView::kDistortionCopy);
    EXPECT_EQ(FindImageDoc((path + "--distortion corrected").c_str()), nullptr);
    Prompter().ExpectMessageBoxPrefix("Camera Info has no Exif info while image does:", IDYES);
    Command(view, CImageView::kDistortionCopy);
    CImageDoc* copy = FindImageDoc((path + "--distortion corrected").c_str());
    ASSERT_NE(copy, nullptr);
    // The copy is corrected (its pixels differ) and the original is not.
    Image* original = view->GetScreen();
    ASSERT_NE(copy->GetImage(), nullptr);
    const RECT all{0, 0, std::min(original->GetWidth(), copy->GetImage()->GetWidth()) - 1,
                   std::min(original->GetHeight(), copy->GetImage()->GetHeight()) - 1};
    EXPECT_FALSE(Pixels(*original, all) == Pixels(*copy->GetImage(), all));
    // The same camera passes silently.
    Manager().SetCamInfo(Record("Canon", "G5", true));
    EXPECT_TRUE(view->CheckCamera());
}

TEST_F(ImageViewPhotoTest, ImageInfoShowsTheExifReport)
{
    ASSERT_TRUE(testkit::HasTool("exiftool")) << "exiftool makes the fixtures";
    CImageView* view = OpenFile(Photo("info.jpg", "-Make=Durlach -Model=Ledge"));
    ASSERT_NE(view, nullptr);
    Command(view, CImageView::kShowExif);
    CExifInfoDlg* dialog = GetExifInfoDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_NE(view->GetExifRecord(false), nullptr);
    EXPECT_STREQ(view->GetExifRecord(false)->GetMake(), "Durlach");
}

TEST_F(ImageViewCommandsTest, DistortionPreviewApplyAndTheDialog)
{
    CImageView* view = Open(MakePattern(120, 80), "lens");
    ASSERT_NE(view, nullptr);
    EXPECT_FLOAT_EQ(view->GetAspectRatio(), 1.5f);
    const std::vector<uint8_t> plain = Pixels(*view->GetScreen(), RECT{0, 0, 119, 79});
    view->PreviewDistortion(0.1f, 0.05f);
    EXPECT_FALSE(Pixels(*view->GetScreen(), RECT{0, 0, 119, 79}) == plain);
    view->PreviewDistortion(0.0f, 0.0f);
    EXPECT_TRUE(Pixels(*view->GetScreen(), RECT{0, 0, 119, 79}) == plain);

    view->ApplyDistortionToStitching(0.1f, 0.05f);
    const DistortionRecord* record = Manager().GetDistortionRecord(false);
    ASSERT_NE(record, nullptr);
    EXPECT_FLOAT_EQ(record->a, 0.0f);
    EXPECT_NEAR(record->a + record->b + record->c + record->d, 1.0f, 1e-6);
    EXPECT_NEAR(record->c, 0.1f / 1.15f, 1e-6);
    EXPECT_NEAR(record->b, 0.05f / 1.15f, 1e-6);
    EXPECT_TRUE(Manager().GetCameraInfoFlag());
    view->ApplyDistortionToStitching(0.0f, 0.0f);
    EXPECT_FALSE(Manager().GetCameraInfoFlag());

    // The dialog opens on this view, closes itself by OK, and opens again.
    Command(view, CImageView::kDistortionDialog);
    CDistortionAdjustDlg* dialog = GetDistortionAdjustDlg();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->IsOwner(view));
    win::user::ClickControl(dialog->GetDlgItem(IDOK));
    EXPECT_FALSE(::IsWindow(dialog->GetSafeHwnd()));
    Command(view, CImageView::kDistortionDialog);
    EXPECT_EQ(GetDistortionAdjustDlg(), dialog);
    EXPECT_TRUE(::IsWindow(dialog->GetSafeHwnd()));
    // The view going away takes its dialog along.
    FindImageDoc("lens")->OnCloseDocument();
    EXPECT_EQ(GetDistortionAdjustDlg(), nullptr);
}

TEST_F(ImageViewCommandsTest, SizeDialogZoomsTheViewAndCloses)
{
    CImageView* view = Open(MakePattern(200, 100), "sized");
    ASSERT_NE(view, nullptr);
    Command(view, CImageView::kZoomDialog);
    CImageSizeDlg* dialog = view->GetSizeDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->GetOwnerKind(), CImageSizeDlg::kImageView);
    EXPECT_EQ(dialog->GetShownWidth(), 200);
    dialog->SetDlgItemText(CImageSizeDlg::kWidthEdit, "100");
    dialog->SendMessage(WM_COMMAND, MAKEWPARAM(CImageSizeDlg::kWidthEdit, EN_KILLFOCUS), 0);
    EXPECT_NEAR(view->GetZoom(), 99.0f / 199.0f + 0.000001f, 1e-6);
    const HWND hwnd = dialog->GetSafeHwnd();
    dialog->SendMessage(WM_CLOSE);
    EXPECT_EQ(view->GetSizeDialog(), nullptr);
    EXPECT_FALSE(::IsWindow(hwnd));
    Command(view, CImageView::kZoomDialog);  // opens again; the view deletes it when it goes
    EXPECT_NE(view->GetSizeDialog(), nullptr);
}

TEST_F(ImageViewCommandsTest, TextOfTheDocumentIsDrawnInRed)
{
    auto* grey = new Image(160, 100, 3);
    std::memset(grey->GetData(), 128, static_cast<size_t>(grey->GetRowByte()) * 100);
    CImageView* view = Open(grey, "text");
    ASSERT_NE(view, nullptr);
    FindImageDoc("text")->AddText("MARK", 40, 30);
    view->Invalidate();
    win::PaintAll();
    Image* drawn = win::CaptureWindow(view->GetSafeHwnd());
    ASSERT_NE(drawn, nullptr);
    int redInside = 0, redOutside = 0;
    for (int y = 0; y < std::min(drawn->GetHeight(), 100); ++y)
        for (int x = 0; x < std::min(drawn->GetWidth(), 160); ++x) {
            const uint8_t* p = drawn->GetData() + static_cast<size_t>(y) * drawn->GetRowByte() + static_cast<size_t>(x) * 3;
            const bool red = p[2] == 255 && p[1] == 0 && p[0] == 0;  // B, G, R
            if (!red) continue;
            if (x >= 40 && y >= 30 && x < 100 && y < 50) ++redInside;
            else ++redOutside;
        }
    RefRelease(drawn);
    EXPECT_GT(redInside, 0);
    EXPECT_EQ(redOutside, 0);
}

}  // namespace

namespace {

// Print layout mode: the layouts, the page images and a printed PDF whose
// pages pdftoppm renders.
TEST_F(ImageViewCommandsTest, PrintLayoutPagesAndPrintedPdf)
{
    ASSERT_TRUE(testkit::HasTool("pdftoppm")) << "pdftoppm renders the printed pages";
    ASSERT_TRUE(testkit::HasTool("pdfinfo")) << "pdfinfo counts the printed pages";
    CImageView* view = Open(MakePattern(300, 200), "print");
    ASSERT_NE(view, nullptr);
    Command(view, CImageView::kPrintToggle);
    ASSERT_NE(view->GetPrintLayout(), nullptr);
    ASSERT_NE(Manager().GetPageSetup(), nullptr);
    // A landscape image gets landscape paper.
    EXPECT_GT(Manager().GetPageSetup()->paperSize.x, Manager().GetPageSetup()->paperSize.y);
    EXPECT_EQ(view->GetPrintLayout()->GetNumbPages(), 1);
    Command(view, CImageView::kFitOnePage + 3);  // "Fit 2x2 Pages"
    EXPECT_EQ(view->GetPrintLayout()->GetColumns(), 2);
    EXPECT_EQ(view->GetPrintLayout()->GetRows(), 2);
    const int pages = view->GetPrintLayout()->GetNumbPages();
    ASSERT_GE(pages, 2);
    Command(view, CImageView::kPageImages);
    for (int n = 1; n <= pages; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "Page%02d", n);
        CImageDoc* page = FindImageDoc(name);
        ASSERT_NE(page, nullptr) << name;
        EXPECT_GT(page->GetImage()->GetWidth(), 0);
    }
    char beyond[16];
    std::snprintf(beyond, sizeof beyond, "Page%02d", pages + 1);
    EXPECT_EQ(FindImageDoc(beyond), nullptr);

    // Printing writes one PDF page per layout page.
    const std::string pdf = Home().file("print.pdf");
    win::PrintAnswer answer;
    answer.ok = true;
    answer.outputPath = pdf;
    answer.dotsPerInch = 72;
    answer.paperSize = Manager().GetPageSetup()->paperSize;
    answer.minMargins = RECT{250, 250, 250, 250};
    Prompter().ExpectPrint(answer);
    Command(view, CImageView::kSendToPrinter);
    const testkit::CommandResult info = testkit::Run("pdfinfo '" + pdf + "'");
    ASSERT_EQ(info.status, 0) << info.output;
    EXPECT_EQ(testkit::PdfInfoField(info.output, "Pages"), std::to_string(pages)) << info.output;
    const std::string png = Home().file("page");
    ASSERT_EQ(testkit::Run("pdftoppm -r 36 -f 1 -l 1 -gray '" + pdf + "' '" + png + "'").status, 0);
    // The first page is not blank paper: some of the image reached it.
    const testkit::CommandResult mean = testkit::Run("identify -format '%[fx:mean]' " + png + "*.pgm");
    ASSERT_EQ(mean.status, 0) << mean.output;
    EXPECT_LT(std::stod(mean.output), 0.99) << mean.output;
    // The job ends the layout and keeps the page setup.
    EXPECT_EQ(view->GetPrintLayout(), nullptr);
    // Toggling twice leaves it off again.
    Command(view, CImageView::kPrintToggle);
    EXPECT_NE(view->GetPrintLayout(), nullptr);
    Command(view, CImageView::kCancelPrint);
    EXPECT_EQ(view->GetPrintLayout(), nullptr);
}

}  // namespace

namespace {

// "Re-convert to panorama format": the manager runs the dialog; on success
// the image window closes and a panorama window shows the image.
TEST_F(ImageViewCommandsTest, ReconvertClosesTheImageWindowOnlyWhenItWorked)
{
    const std::string pano = Home().file("parent.jpg");
    {
        Image parent(400, 200, 3);
        std::memset(parent.GetData(), 90, static_cast<size_t>(parent.GetRowByte()) * 200);
        WMapRecord record;
        record.equatorWidth = 1600;
        record.row = 300;
        FileExtraData extra;
        extra.length = WMapRecord::kLongSize;
        record.Write(extra.bytes);
        QUORVANE_FileInfo info;
        info.path = pano.c_str();
        info.extra = &extra;
        RECT rect{0, 0, 399, 199};
        ASSERT_EQ(SaveJpeg(&parent, &rect, &info), 0);
    }
    CImageView* view = Open(MakePattern(400, 200), "cut");
    ASSERT_NE(view, nullptr);
    // Cancel: the window stays.
    Prompter().ExpectDialog(CReconvertDlg::kTemplateId,
                            [](CDialog& d) { win::user::ClickControl(d.GetDlgItem(IDCANCEL)); });
    Command(view, CImageView::kReconvert);
    ASSERT_NE(FindImageDoc("cut"), nullptr);
    win::FileDialogAnswer answer;
    answer.ok = true;
    answer.paths = {pano};
    Prompter().ExpectFileDialog("Select parent panorama file", answer);
    Prompter().ExpectDialog(CReconvertDlg::kTemplateId, [](CDialog& d) {
        win::user::ClickControl(d.GetDlgItem(CReconvertDlg::kSelectButton));
        win::user::ClickControl(d.GetDlgItem(IDOK));
    });
    Command(view, CImageView::kReconvert);
    EXPECT_EQ(FindImageDoc("cut"), nullptr);
}

}  // namespace

namespace {

// A preview point of the layout (zoomed preview pixels) as a client point of
// the view.
LPARAM PreviewToClient(CImageView* view, POINT p)
{
    int ox = 0, oy = 0;
    view->GetOffset(ox, oy);
    const CPoint scroll = view->GetScrollPosition();
    return MAKELPARAM(static_cast<uint16_t>(p.x - scroll.x + ox), static_cast<uint16_t>(p.y - scroll.y + oy));
}

// The first preview point (on a 2-pixel grid) that satisfies `want`.
template <typename Want>
bool FindPreviewPoint(Want want, POINT& found)
{
    for (int y = 0; y < 900; y += 2)
        for (int x = 0; x < 900; x += 2)
            if (want(x, y)) {
                found = POINT{x, y};
                return true;
            }
    return false;
}

// With no page setup yet, the layout takes the default printer's page
// without a dialog (the scripted prompter would fail on one), turned to the
// image's orientation.
TEST_F(ImageViewCommandsTest, PrintLayoutTakesTheDefaultPrintersPageSilently)
{
    const win::PageSetupAnswer saved = win::GetDefaultPrinterPage();
    // The default printer holds A4 in landscape; the image is portrait.
    win::PageSetupAnswer a4;
    a4.paperSize = POINT{11693, 8268};
    a4.margins = RECT{700, 600, 500, 400};
    a4.minMargins = RECT{160, 170, 180, 190};
    win::SetDefaultPrinterPage(a4);
    ASSERT_EQ(Manager().GetPageSetup(), nullptr);
    CImageView* view = Open(MakePattern(200, 300), "default page");
    ASSERT_NE(view, nullptr);
    Command(view, CImageView::kPrintToggle);
    EXPECT_NE(view->GetPrintLayout(), nullptr);
    const PageSetupRecord* record = Manager().GetPageSetup();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->paperSize.x, 8268);
    EXPECT_EQ(record->paperSize.y, 11693);
    EXPECT_EQ(record->margins.left, 700);
    EXPECT_EQ(record->margins.top, 600);
    EXPECT_EQ(record->margins.bottom, 400);
    EXPECT_EQ(record->minMargins.left, 160);
    EXPECT_EQ(record->minMargins.bottom, 190);
    Command(view, CImageView::kCancelPrint);
    win::SetDefaultPrinterPage(saved);
}

// Mouse-up in the layout: with Ctrl the page under the mouse toggles; a
// plain button-up re-selects pages by how much of the image they hold, so a
// page the image covers comes back and pages a drag leaves nearly empty
// drop out.
TEST_F(ImageViewCommandsTest, PrintLayoutButtonUpTogglesWithCtrlElseDropsSmallPages)
{
    CImageView* view = Open(MakePattern(300, 200), "small pages");
    ASSERT_NE(view, nullptr);
    Command(view, CImageView::kPrintToggle);
    CPrinting* layout = view->GetPrintLayout();
    ASSERT_NE(layout, nullptr);
    Command(view, CImageView::kFitOnePage + 3);  // "Fit 2x2 Pages"
    const int pages = layout->GetNumbPages();
    ASSERT_GE(pages, 4);

    POINT onPage{};
    ASSERT_TRUE(FindPreviewPoint(
        [&](int x, int y) { return layout->GetMouseLocation(x, y) == CPrinting::kImage && layout->GetPageState(x, y) == 1; },
        onPage));
    const LPARAM at = PreviewToClient(view, onPage);
    view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, at);
    view->SendMessage(WM_LBUTTONUP, MK_CONTROL, at);
    EXPECT_EQ(layout->GetPageState(onPage.x, onPage.y), 2);
    EXPECT_EQ(layout->GetNumbPages(), pages - 1);
    // A plain click: the covered page is selected again.
    view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
    view->SendMessage(WM_LBUTTONUP, 0, at);
    EXPECT_EQ(layout->GetPageState(onPage.x, onPage.y), 1);
    EXPECT_EQ(layout->GetNumbPages(), pages);

    // Dragging the image nearly a page to the side leaves a column of pages
    // almost empty: they stay selected while the button is held and drop
    // out when it is released.
    int pw = 0, ph = 0;
    layout->GetPagePixelNumbs(pw, ph, true);
    ASSERT_GT(pw, 20);
    const int dx = pw - pw / 20;
    view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
    view->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, PreviewToClient(view, POINT{onPage.x + dx / 2, onPage.y}));
    view->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, PreviewToClient(view, POINT{onPage.x + dx, onPage.y}));
    EXPECT_EQ(layout->GetNumbPages(), pages);
    view->SendMessage(WM_LBUTTONUP, 0, PreviewToClient(view, POINT{onPage.x + dx, onPage.y}));
    EXPECT_LT(layout->GetNumbPages(), pages);
    EXPECT_GT(layout->GetNumbPages(), 0);
    Command(view, CImageView::kCancelPrint);
}

// Moving without a button over the layout sets its state, and the cursor
// shown is that state's: ratio handle, four margins, image.
TEST_F(ImageViewCommandsTest, PrintLayoutShowsOneCursorPerState)
{
    CImageView* view = Open(MakePattern(300, 200), "cursors");
    ASSERT_NE(view, nullptr);
    Command(view, CImageView::kPrintToggle);
    CPrinting* layout = view->GetPrintLayout();
    ASSERT_NE(layout, nullptr);
    for (int state = 1; state <= 6; ++state) {
        SCOPED_TRACE(state);
        POINT p{};
        ASSERT_TRUE(FindPreviewPoint([&](int x, int y) { return layout->GetMouseLocation(x, y) == state; }, p));
        view->SendMessage(WM_MOUSEMOVE, 0, PreviewToClient(view, p));
        EXPECT_EQ(layout->GetCursorState(), state);
        const HCURSOR want = LoadResourceCursor(CImageView::kPrintLayoutCursors[state - 1]);
        ASSERT_NE(want, nullptr);
        ::SetCursor(nullptr);
        EXPECT_TRUE(view->SendMessage(WM_SETCURSOR, 0, MAKELPARAM(1 /* client area */, WM_MOUSEMOVE)));
        EXPECT_EQ(::GetCursor(), want);
    }
    // Off the layout: no layout cursor.
    view->SendMessage(WM_MOUSEMOVE, 0, PreviewToClient(view, POINT{0, 0}));
    if (layout->GetCursorState() == CPrinting::kNowhere) {
        ::SetCursor(nullptr);
        view->SendMessage(WM_SETCURSOR, 0, MAKELPARAM(1 /* client area */, WM_MOUSEMOVE));
        for (UINT id : CImageView::kPrintLayoutCursors) EXPECT_NE(::GetCursor(), LoadResourceCursor(id));
    }
    Command(view, CImageView::kCancelPrint);
}

}  // namespace
