// The manager's services: suggested panorama names, the viewer hand-off, the
// leveling angles and matrix, the overlap dialog, re-converting a real
// photograph into a panorama, resetting the stitch and switching distortion
// correction for every image.
#include "app/control/image_chain.h"
#include "app/control/super_manager.h"
#include "app/matching/distortion_record.h"
#include "app/panorama/rect_map_view.h"
#include "app/shell/kestova_doc.h"
#include "app/shell/pellicot.h"
#include "app/tests/app_test_fixture.h"
#include "app/views/image_loaders.h"
#include "imaging/image.h"
#include "platform/win/dialog.h"
#include "platform/win/file_system.h"
#include "platform/win/shell.h"
#include "platform/xformkit/transform_euler.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"
#include "worldmap/data_viewer.h"
#include "worldmap/world_map.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

class ServicesTest : public AppTest {
protected:
    void TearDown() override
    {
        m_manager.reset();
        AppTest::TearDown();
    }
    SuperManager& Bare()
    {
        m_manager = std::make_unique<SuperManager>();
        SetSuperManager(m_manager.get());
        return *m_manager;
    }
    std::unique_ptr<SuperManager> m_manager;
};

// A viewer that writes down the events it hears; it answers 10006 with a
// pending rotation when it has one.
class RecordingViewer : public DataViewer {
public:
    int Notify(int event, WorldMap*, std::uintptr_t param) override
    {
        events.push_back(event);
        if (event == 10006 && pending) {
            auto* out = reinterpret_cast<float*>(param);
            out[0] = 1.0f;
            std::memcpy(out + 1, rotation, sizeof rotation);
        }
        return 0;
    }
    std::vector<int> events;
    bool pending = false;
    float rotation[3] = {};
};

TEST_F(ServicesTest, SuggestedPanoramaNames)
{
    SuperManager& m = Bare();
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
    };
    const Case cases[] = {
        {"/out/pano8", "/out", "pano9"},
        {"/out/pano9", "/out", "pano10"},
        {"/out/pano19", "/out", "pano20"},
        {"/out/pano99", "/out", "pano100"},
        {"/out/pano09", "/out", "pano10"},
        {"/out/pano", "/out", "pano1"},
        {"/out/", "/out", "1"},
        {"/out/pano.jpg", "/out", "pano0.jpg"},
        {"/out/pano3.jpg", "/out", "pano4.jpg"},
        {"/out/pano29.jpg", "/out", "pano30.jpg"},
        {"/out/9.jpg", "/out", "10.jpg"},
        {"/out/pano99.jpg", "/out", "pano100.jpg"},
        {"/out/pano9.jpeg", "/out", "pano10.jpeg"},
        {"/out/a.b.tif", "/out", "a.b0.tif"},
        {"/out/.jpg", "/out", "0.jpg"},
        {"C:\\out\\view7.tif", "C:\\out", "view8.tif"},
        {"pano5", "", "pano6"},
    };
    for (const Case& c : cases) {
        std::string folder = "stale", name = "stale";
        m.SuggestPanoramaFileName(folder, name, c.path);
        EXPECT_EQ(folder, c.folder) << c.path;
        EXPECT_EQ(name, c.name) << c.path;
    }

    // Without a path: the last saved panorama, else a titled project, else
    // the first image, else the project's own path.
    std::string folder, name;
    m.SuggestPanoramaFileName(folder, name, nullptr);
    EXPECT_EQ(folder, "");
    EXPECT_EQ(name, "panorama");
    m.SetProjectName("/program/Project/Untitled.kzp");
    m.SuggestPanoramaFileName(folder, name, nullptr);
    EXPECT_EQ(folder, "/program/Project");
    auto* frame = new ImageFrame;
    frame->SetName("/photos/a.jpg");
    m.GetImageGroup(true)->AppendImageFrame(frame);
    m.SuggestPanoramaFileName(folder, name, nullptr);
    EXPECT_EQ(folder, "/photos");
    m.SetProjectName("/projects/trip.kzp");
    m.SuggestPanoramaFileName(folder, name, nullptr);
    EXPECT_EQ(folder, "/projects");
    m.SetPanoramaFileName(nullptr);  // ignored
    EXPECT_EQ(m.GetPanoramaFileName(), nullptr);
    m.SetPanoramaFileName("/saved/pano3.jpg");
    m.SuggestPanoramaFileName(folder, name, nullptr);
    EXPECT_EQ(folder, "/saved");
    EXPECT_EQ(name, "panorama");
    EXPECT_STREQ(m.GetFirstImageName(), "/photos/a.jpg");
}

TEST_F(ServicesTest, PanoramaWindowNumbers)
{
    SuperManager& m = Bare();
    char text[16];
    EXPECT_EQ(m.FormatPanoramaNumber(text, sizeof text), 1);
    EXPECT_STREQ(text, "1");
    for (int i = 0; i < 9; ++i) m.NextPanoramaNumber();
    EXPECT_EQ(m.FormatPanoramaNumber(text, sizeof text), 2);
    EXPECT_STREQ(text, "10");
}

TEST_F(ServicesTest, ViewInViewerByTheFrontPanoramasName)
{
    SuperManager& m = Bare();
    CKestovaDoc doc;
    doc.m_bAutoDelete = FALSE;
    auto* map = new WorldMap();
    doc.SetWorldMap(map);
    map->Release();  // the document holds it
    CRectMapView back;
    CRectMapView front;
    doc.AddView(&front);
    front.MoveToFront();
    const std::string viewer = win::ProgramPath(CFendrakeApp::GetProgramDir() + "\\Vistrel.exe");
    struct Case {
        const char* name;  // null: unsaved
        const char* file;  // what the shell is asked to open, null: the message
        const char* parameters;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr},
        {"a.jp", nullptr, nullptr},
        {"/p/trip.mov", "/p/trip.mov", ""},
        {"/p/TRIP.MOV", viewer.c_str(), "\"/p/TRIP.MOV\""},
        {"/p/pano one.jpg", viewer.c_str(), "\"/p/pano one.jpg\""},
    };
    for (const Case& c : cases) {
        win::ClearShellRequests();
        if (c.name) map->SetName(c.name);
        if (!c.file) Prompter().ExpectMessageBox("Please first save panorama to .jpg or .tif file format.", IDOK);
        m.ViewInViewer(&back);  // the view given is not the one used
        const auto asked = win::ShellRequests();
        if (!c.file) {
            EXPECT_TRUE(asked.empty()) << (c.name ? c.name : "unsaved");
            continue;
        }
        ASSERT_EQ(asked.size(), 1u) << c.name;
        EXPECT_EQ(asked[0].verb, "open");
        EXPECT_EQ(asked[0].file, c.file);
        EXPECT_EQ(asked[0].parameters, c.parameters);
        EXPECT_EQ(asked[0].show, SW_SHOWNORMAL);
    }
    doc.RemoveView(&front);
}

// Rz(z) Ry(y) Rx(x), written out in the test.
void Zyx(float z, float y, float x, float m[9])
{
    const double cz = std::cos(z), sz = std::sin(z), cy = std::cos(y), sy = std::sin(y), cx = std::cos(x),
                 sx = std::sin(x);
    const double r[9] = {cz * cy, cz * sy * sx - sz * cx, cz * sy * cx + sz * sx,
                         sz * cy, sz * sy * sx + cz * cx, sz * sy * cx - cz * sx,
                         -sy,     cy * sx,                cy * cx};
    for (int i = 0; i < 9; ++i) m[i] = static_cast<float>(r[i]);
}

TEST_F(ServicesTest, LevelingAnglesAndMatrix)
{
    SuperManager& m = Bare();
    float out[9];
    float pan = 9, tilt = 9, roll = 9;
    EXPECT_FALSE(m.GetLevelingAngles(&pan, &tilt, &roll));
    EXPECT_EQ(pan, 0.0f);
    EXPECT_EQ(tilt, 0.0f);
    EXPECT_EQ(roll, 0.0f);
    EXPECT_FALSE(m.ComputeLevelingMatrix(out));
    for (int i = 0; i < 9; ++i) EXPECT_EQ(out[i], i % 4 == 0 ? 1.0f : 0.0f) << i;

    const float angles[][3] = {{0.3f, -0.2f, 0.1f}, {-2.5f, 0.7f, -1.2f}, {0.0f, 0.0f, 0.05f}, {1.0f, 1.2f, 3.0f}};
    for (const auto& a : angles) {
        m.ResetLevelingRotation();
        float vector[3];
        CTransformEuler::UVRtoI3R(a, vector);
        m.AddLevelingRotation(vector);  // onto no rotation: the vector itself
        ASSERT_TRUE(m.GetLevelingAngles(&pan, &tilt, &roll));
        EXPECT_NEAR(pan, a[0], 1e-4);
        EXPECT_NEAR(tilt, a[1], 1e-4);
        EXPECT_NEAR(roll, a[2], 1e-4);
        ASSERT_TRUE(m.ComputeLevelingMatrix(out));
        float expected[9];
        Zyx(-a[2], a[1], -a[0], expected);
        for (int i = 0; i < 9; ++i) EXPECT_NEAR(out[i], expected[i], 1e-4) << i;
    }
    // Two rotations about the same axis add up.
    m.ResetLevelingRotation();
    const float half[3] = {0.0f, 0.0f, 0.25f};
    m.AddLevelingRotation(half);
    m.AddLevelingRotation(half);
    EXPECT_NEAR(m.GetLevelingRotation()[2], 0.5f, 1e-6);
}

// The "Set Image Pair Overlap" dialog's double: a modeless window of its
// size, and a pair list that fills or not as the test says.
class OverlapDialogWindow : public CDialog {
public:
    BOOL Make()
    {
        win::DialogTemplate t;
        t.id = 155;
        t.caption = "Set Image Pair Overlap";
        t.size = SIZE{260, 180};
        return CreateFromTemplate(t, AfxGetMainWnd(), false);
    }
};
struct OverlapDouble {
    static inline int created = 0;
    static inline bool fills = true;
    static CDialog* Create()
    {
        ++created;
        auto* dialog = new OverlapDialogWindow;
        if (!dialog->Make()) {
            delete dialog;
            return nullptr;
        }
        return dialog;
    }
    static bool Fill(CDialog*) { return fills; }
};

TEST_F(ServicesTest, OverlapDialogToggleRefreshAndPairOverlaps)
{
    ASSERT_TRUE(Start());
    SuperManager& m = Manager();
    OverlapDouble::created = 0;
    OverlapDouble::fills = true;
    m.SetOverlapDialogHooks({&OverlapDouble::Create, &OverlapDouble::Fill});
    EXPECT_FALSE(m.ToggleOverlapDialog());  // no images
    for (int i = 0; i < 2; ++i) {
        auto* stamp = new Image(40, 30, 3);
        std::memset(stamp->GetData(), 90, static_cast<size_t>(stamp->GetRowByte()) * 30);
        m.AddImageFrame(stamp, ("/p/" + std::to_string(i) + ".jpg").c_str(), nullptr);
    }
    m.ModifyFlags(kFlagOverlapMarked, 0);
    EXPECT_TRUE(m.ToggleOverlapDialog());
    EXPECT_TRUE(m.IsOverlapDialogOpen());
    EXPECT_NE(m.GetFlags() & kFlagOverlapMarked, 0u);
    m.ModifyFlags(kFlagOverlapMarked, 0);
    m.RefreshOverlapDialog();
    EXPECT_TRUE(m.IsOverlapDialogOpen());
    EXPECT_NE(m.GetFlags() & kFlagOverlapMarked, 0u);
    EXPECT_FALSE(m.ToggleOverlapDialog());  // open: closes
    EXPECT_FALSE(m.IsOverlapDialogOpen());
    // A pair list that cannot be filled closes the dialog.
    EXPECT_TRUE(m.ToggleOverlapDialog());
    OverlapDouble::fills = false;
    m.RefreshOverlapDialog();
    EXPECT_FALSE(m.IsOverlapDialogOpen());
    EXPECT_EQ(OverlapDouble::created, 2);
    m.SetOverlapDialogHooks({});

    // Overlaps: a pair's own, and the default of all links (negative index).
    PAIR_ALIGN_INIT_SETTING saved = *Neighbor::GetPairAlignInitSetting();
    m.SetPairOverlap(-1, 0.4f);
    EXPECT_EQ(Neighbor::GetPairAlignInitSetting()->overlapH, 0.4f);
    float h = 0, v = 0;
    m.SetPairOverlap(0, 0.6f);
    m.GetPairOverlap(0, &h, &v);
    EXPECT_FLOAT_EQ(h, 0.6f);
    *Neighbor::GetPairAlignInitSetting() = saved;
}

// The re-convert dialog double: the answer the test sets.
struct ReconvertDouble {
    static inline bool ok = true;
    static inline float angle = 360.0f;
    static inline float offset = 0.0f;
    static inline bool full = false;
    static inline int seenWidth = 0;
    static bool Run(int w, int, float* a, float* v, bool* f)
    {
        seenWidth = w;
        *a = angle;
        *v = offset;
        *f = full;
        return ok;
    }
};

TEST_F(ServicesTest, ReconvertARealPhotographToAPanorama)
{
    ASSERT_TRUE(Start());
    SuperManager& m = Manager();
    m.SetReconvertDialog(&ReconvertDouble::Run);
    Image* photo = nullptr;
    ASSERT_EQ(LoadImage(TestData("huginsample-durlach/half/P1060369.JPG").c_str(), &photo), 1);
    // A 1001 x h cut of the photograph.
    auto cut = [&](int h) {
        auto* image = new Image(1001, h, 3);
        for (int y = 0; y < h; ++y)
            std::memcpy(image->GetData() + static_cast<size_t>(y) * image->GetRowByte(),
                        photo->GetData() + static_cast<size_t>(y) * photo->GetRowByte(), 1001 * 3);
        return RefPtr<Image>::adopt(image);
    };
    const char* tooBig = "Angular width seems too big, or this is not a rectilinear panorama image?";
    const char* tooMuch =
        "Angular width is too big, or vertical offset is too much, or this is not a rectilinear panorama image?";
    struct Refusal {
        int height;
        float angle, offset;
        const char* message;
    };
    const Refusal refusals[] = {
        {600, 360.0f, 0.0f, tooBig},  // 501 rows < 600
        {400, 360.0f, 80.0f, tooMuch},
        {400, 360.0f, -80.0f, tooMuch},
        {400, 0.0f, 0.0f, tooMuch},
        {400, -5.0f, 0.0f, tooMuch},
        {400, 1e-6f, 0.0f, tooMuch},
        {400, 400.0f, 0.0f, tooMuch},
        {400, std::nanf(""), 0.0f, tooMuch},
    };
    for (const Refusal& r : refusals) {
        RefPtr<Image> image = cut(r.height);
        ReconvertDouble::angle = r.angle;
        ReconvertDouble::offset = r.offset;
        Prompter().ExpectMessageBox(r.message, IDOK);
        EXPECT_FALSE(m.ReconvertToPanorama(image.get())) << r.angle << " " << r.offset;
        EXPECT_EQ(image->GetWidth(), 1001);
        EXPECT_EQ(ReconvertDouble::seenWidth, 1001);
    }
    // A map cannot take a two-channel image: refused, column restored, no
    // window and no message.
    RefPtr<Image> twoChannels = RefPtr<Image>::adopt(new Image(1001, 400, 2));
    ReconvertDouble::angle = 360.0f;
    ReconvertDouble::offset = 0.0f;
    EXPECT_FALSE(m.ReconvertToPanorama(twoChannels.get()));
    EXPECT_EQ(twoChannels->GetWidth(), 1001);
    ReconvertDouble::ok = false;
    RefPtr<Image> cancelled = cut(400);
    EXPECT_FALSE(m.ReconvertToPanorama(cancelled.get()));
    ReconvertDouble::ok = true;
    EXPECT_TRUE(App().GetPanoramaTemplate()->GetDocuments().empty());

    // Accepted: 360 degrees over 1000 columns, 501 rows, the image centred
    // at row (501 - 400) / 2 = 50 shifted by the offset (-3.6 degrees is 10
    // rows down).
    RefPtr<Image> image = cut(400);
    ReconvertDouble::angle = 360.0f;
    ReconvertDouble::offset = -3.6f;
    ASSERT_TRUE(m.ReconvertToPanorama(image.get()));
    EXPECT_EQ(image->GetWidth(), 1000);
    ASSERT_EQ(App().GetPanoramaTemplate()->GetDocuments().size(), 1u);
    auto* doc = dynamic_cast<CKestovaDoc*>(App().GetPanoramaTemplate()->GetDocuments().front());
    ASSERT_NE(doc, nullptr);
    WorldMap* map = doc->GetWorldMap();
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->GetWidth(), 1000);
    EXPECT_EQ(map->GetHeight(), 501);
    int differ = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 1000; x += 7) {
            const uint8_t* at = map->GetDataPtr(x, 60 + y);
            const uint8_t* want = photo->GetData() + static_cast<size_t>(y) * photo->GetRowByte() + 3 * x;
            differ += !at || std::memcmp(at, want, 3) != 0;
        }
    EXPECT_EQ(differ, 0);
    ReleaseImage(photo);
    m.SetReconvertDialog(nullptr);
}

TEST_F(ServicesTest, ResetStitchingDropsEveryComputedResult)
{
    ASSERT_TRUE(Start());
    SuperManager& m = Manager();
    auto add = [&](const char* name) {
        auto* stamp = new Image(40, 30, 3);
        std::memset(stamp->GetData(), 70, static_cast<size_t>(stamp->GetRowByte()) * 30);
        m.AddImageFrame(stamp, name, nullptr);
        return m.FindImageFrame(name);
    };
    ImageFrame* a = add("/p/a.jpg");
    // One image: nothing, no notice.
    EXPECT_TRUE(m.ResetStitching(true));
    ImageFrame* b = add("/p/b.jpg");
    ImageFrame* c = add("/p/c.jpg");
    auto markers = [] {
        auto* set = new Marker;
        set->AppendMarker(1.0f, 2.0f);
        return set;
    };
    a->AddNeighbor(b);
    a->FindNeighbor(b)->SetMarkers(markers());
    a->FindNeighbor(b)->SetMarkerFa(markers());
    b->AddNeighbor(c);
    b->SetMerged(c);
    auto* map = new WorldMap(400, 3);
    RecordingViewer viewer;
    map->AddViewer(&viewer);
    m.GetImageGroup(false)->SetRectWorldMap(map);
    map->Release();
    const float turn[3] = {0.1f, 0.0f, 0.0f};
    m.AddLevelingRotation(turn);
    m.ModifyFlags(0, kFlagBlendStage);

    Prompter().ExpectMessageBox("This operation will remove all computed info!", IDOK);
    EXPECT_TRUE(m.ResetStitching(false));
    ASSERT_FALSE(Prompter().MessageBoxes().empty());
    EXPECT_EQ(Prompter().MessageBoxes().back().type & 0xF, static_cast<UINT>(MB_OK));
    EXPECT_EQ(a->FindNeighbor(b)->GetMarkers(true), nullptr);
    EXPECT_NE(a->FindNeighbor(b)->GetMarkerFa(), nullptr);
    EXPECT_FALSE(b->IsMergedPair(c));
    EXPECT_EQ(viewer.events, (std::vector<int>{10007, 19}));
    EXPECT_FALSE(m.GetImageGroup(false)->HasRectWorldMap());
    EXPECT_EQ(m.GetLevelingRotation()[0], 0.0f);
    EXPECT_TRUE(m.IsPreviewStage());

    // With true the automatic sets go too.
    Prompter().ExpectMessageBox("This operation will remove all computed info!", IDOK);
    EXPECT_TRUE(m.ResetStitching(true));
    EXPECT_EQ(a->FindNeighbor(b)->GetMarkerFa(), nullptr);
}

// The frame loader double: which frames were reloaded, and how.
struct LoaderDouble {
    static inline std::vector<std::pair<ImageFrame*, bool>> calls;
    static bool Load(ImageFrame* frame, bool correct)
    {
        calls.emplace_back(frame, correct);
        auto* image = new Image(64, 48, 3);
        frame->SetImage(image, true);
        ReleaseImage(image);
        frame->SetDistortionState(false);
        return true;
    }
    static float Ratio(ImageFrame*) { return 1.0f; }
};

TEST_F(ServicesTest, DistortionCorrectionForAllImages)
{
    ASSERT_TRUE(Start());
    SuperManager& m = Manager();
    m.SetFrameImageHooks(&LoaderDouble::Load, &LoaderDouble::Ratio);
    LoaderDouble::calls.clear();
    std::vector<ImageFrame*> frames;
    for (int i = 0; i < 3; ++i) {
        auto* stamp = new Image(40, 30, 3);
        std::memset(stamp->GetData(), 60, static_cast<size_t>(stamp->GetRowByte()) * 30);
        const std::string name = "/p/" + std::to_string(i) + ".jpg";
        m.AddImageFrame(stamp, name.c_str(), nullptr);
        frames.push_back(m.FindImageFrame(name.c_str()));
    }
    auto giveImage = [](ImageFrame* frame) {
        auto* image = new Image(64, 48, 3);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64 * 3; ++x) image->GetData()[y * image->GetRowByte() + x] = static_cast<uint8_t>(x + y);
        frame->SetImage(image, true);
        ReleaseImage(image);
    };
    giveImage(frames[0]);
    giveImage(frames[1]);
    frames[2]->SetDistortionState(true);  // marked, but holds no image
    DistortionRecord* record = m.GetDistortionRecord(true);
    record->a = 0.05f;
    record->d = 0.95f;
    m.ModifyFlags(kFlagDistortionOn, 0);

    auto bytesOf = [](ImageFrame* frame) {
        Image* image = frame->GetImage();
        return std::vector<uint8_t>(image->GetData(), image->GetData() + static_cast<size_t>(image->GetRowByte()) * image->GetHeight());
    };
    const std::vector<uint8_t> original = bytesOf(frames[0]);

    bool changed = true;
    EXPECT_EQ(m.SetDistortionCorrection(true, &changed), 1);
    EXPECT_TRUE(changed);  // the pairs were reset
    EXPECT_NE(m.GetFlags() & kFlagDistortionOn, 0u);
    EXPECT_TRUE(frames[0]->IsDistortionCorrected());
    EXPECT_TRUE(frames[1]->IsDistortionCorrected());
    EXPECT_FALSE(frames[2]->IsDistortionCorrected());
    const std::vector<uint8_t> corrected = bytesOf(frames[0]);
    EXPECT_NE(corrected, original);
    // On again: every image is corrected once only.
    EXPECT_EQ(m.SetDistortionCorrection(true, &changed), 1);
    EXPECT_FALSE(changed);
    EXPECT_EQ(bytesOf(frames[0]), corrected);

    // Off reloads exactly the frames that are corrected and hold an image;
    // a corrected frame without one only loses its mark.
    frames[1]->SetImage(nullptr, true);
    EXPECT_EQ(m.SetDistortionCorrection(false, &changed), 1);
    EXPECT_TRUE(changed);
    ASSERT_EQ(LoaderDouble::calls.size(), 1u);
    EXPECT_EQ(LoaderDouble::calls[0].first, frames[0]);
    EXPECT_TRUE(LoaderDouble::calls[0].second);
    EXPECT_FALSE(frames[0]->IsDistortionCorrected());
    EXPECT_FALSE(frames[1]->IsDistortionCorrected());
    EXPECT_EQ(m.GetFlags() & kFlagDistortionOn, 0u);
    // Off again: nothing to do.
    LoaderDouble::calls.clear();
    EXPECT_EQ(m.SetDistortionCorrection(false, &changed), 1);
    EXPECT_FALSE(changed);
    EXPECT_TRUE(LoaderDouble::calls.empty());
    m.SetFrameImageHooks(nullptr, nullptr);
}

TEST_F(ServicesTest, StitchedPairsNeedAnIdleManager)
{
    ASSERT_TRUE(Start());
    SuperManager& m = Manager();
    EXPECT_FALSE(m.HasStitchedPairs());
    for (const char* name : {"/p/a.jpg", "/p/b.jpg"}) {
        auto* stamp = new Image(40, 30, 3);
        std::memset(stamp->GetData(), 50, static_cast<size_t>(stamp->GetRowByte()) * 30);
        m.AddImageFrame(stamp, name, nullptr);
    }
    ImageFrame* a = m.FindImageFrame("/p/a.jpg");
    ImageFrame* b = m.FindImageFrame("/p/b.jpg");
    a->AddNeighbor(b);
    EXPECT_FALSE(m.HasStitchedPairs());
    a->SetMerged(b);
    EXPECT_TRUE(m.HasStitchedPairs());
    m.ModifyFlags(kFlagStopped, 0);  // a run going
    EXPECT_FALSE(m.HasStitchedPairs());
    m.ModifyFlags(0, kFlagStopped);
    m.SetWorkerActive(true);
    EXPECT_FALSE(m.HasStitchedPairs());
    m.SetWorkerActive(false);
}

}  // namespace
