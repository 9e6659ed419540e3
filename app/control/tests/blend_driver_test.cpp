// The blending driver and the Blend step with their outside calls replaced
// by recording fakes and the map watched by a recording viewer: the rule
// tables, the elastic chip order, the finishing step's event sequences, the
// exposure balance, the leveling pick-up and the failures.
#include "app/control/blend_driver.h"
#include "app/control/blend_rules.h"
#include "app/control/progress_dlg.h"
#include "app/control/super_manager.h"
#include "app/shell/app_resources.h"
#include "app/tests/app_test_fixture.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "platform/sceneio/kestova_file.h"
#include "platform/win/win_thread.h"
#include "platform/xformkit/camera_model.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "worldmap/data_viewer.h"
#include "worldmap/world_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

using namespace xformkit;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

// ---- Rule tables ------------------------------------------------------------------------------

TEST(BlendRules, ReloadChoiceByOutputScale)
{
    struct Case {
        float scale, loaded;
        bool large;
        int code;
        float x;
    };
    const Case cases[] = {
        {0.75f, 0.5f, true, 5, 0.6666667f},         // half-size images, default output
        {0.9f, 0.5f, true, 1, 0.5f},                // s > 0.75: full size
        {0.7f, 0.5f, true, 5, 0.5f * 4 / 3},        // 2/3 < s <= 3/4
        {0.6666667f, 0.5f, true, 4, 0.75f},         // 1/2 < s <= 2/3
        {0.6f, 1 / 3.0f, true, 4, 0.5f},
        {0.5f, 1 / 3.0f, true, 3, 2 / 3.0f},        // 1/3 < s <= 1/2
        {0.4f, 0.25f, true, 3, 0.5f},
        {0.33333334f, 0.25f, true, 2, 0.75f},       // s <= 1/3
        {0.5f, 0.5f, false, 1, 1.0f},               // at the loaded scale: no reload
        {0.3f, 0.5f, false, 1, 1.0f},               // below it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.scale << " over " << c.loaded);
        const ReloadChoice r = ChooseReload(c.scale, c.loaded);
        EXPECT_EQ(r.large, c.large);
        if (!c.large) continue;
        EXPECT_EQ(r.code, c.code);
        EXPECT_FLOAT_EQ(r.x, c.x);
        // X is the loaded scale over the reload scale.
        EXPECT_NEAR(r.x, c.loaded * ReductionFactor(c.code), 1e-6);
    }
    EXPECT_FLOAT_EQ(ReductionFactor(0), 1.0f);
    EXPECT_FLOAT_EQ(ReductionFactor(5), 1.3333334f);
    EXPECT_FLOAT_EQ(ReductionFactor(9), 1.0f);
}

TEST(BlendRules, LevelsSeamKindsPansAndSamples)
{
    EXPECT_EQ(BlendLevels(100, 1.0f, 1.0f), 1);
    EXPECT_EQ(BlendLevels(374, 1.0f, 1.0f), 1);
    EXPECT_EQ(BlendLevels(375, 1.0f, 1.0f), 1);  // 1.5 truncates
    EXPECT_EQ(BlendLevels(500, 1.0f, 1.0f), 2);
    EXPECT_EQ(BlendLevels(750, 1.0f, 1.0f), 3);
    EXPECT_EQ(BlendLevels(4000, 1.0f, 1.0f), 3);
    EXPECT_EQ(BlendLevels(750, 0.75f, 1.5f), 1);  // a reload larger than the output halves it
    EXPECT_EQ(BlendLevels(0, 1.0f, 1.0f), 1);

    EXPECT_EQ(SeamKindFromCode(1), 2);
    EXPECT_EQ(SeamKindFromCode(2), 1);
    for (int code : {0, 3, 0xFF}) EXPECT_EQ(SeamKindFromCode(code), 0);

    EXPECT_FLOAT_EQ(WrapPan(3.2f), 3.2f - 6.2831855f);
    EXPECT_FLOAT_EQ(WrapPan(-3.0f), -3.0f);
    EXPECT_FLOAT_EQ(WrapPan(-3.2f), -3.2f + 6.2831855f);
    EXPECT_FLOAT_EQ(WrapPan(10.0f), 10.0f - 2 * 6.2831855f);
    // The float nearest pi lies above pi in double precision: it wraps.
    EXPECT_LT(WrapPan(3.1415927f), 0.0f);
    EXPECT_FLOAT_EQ(WrapPan(3.1415925f), 3.1415925f);

    for (int s : {4, 5, 7, 1003, 10802}) {
        EXPECT_EQ(SceneSamples(s) % 4, 0);
        EXPECT_LE(s - SceneSamples(s), 3);
    }
}

// ---- Fakes ---------------------------------------------------------------------------------------

struct ChipCall {
    int index;
    int frame;  // the frame being blended when the chip was saved
    std::vector<uint8_t> codes;
    bool neighboursPresent;
};

struct Record {
    std::vector<ChipCall> chips;
    std::vector<std::pair<int, int>> merges;  // (kind, closing kind or -1)
    int fills = 0;
    int blenderResult = 0;
    bool filenameWorks = true;
    bool mergeThrows = false;
    int currentFrame = -1;
};
Record g_rec;

bool FakeFilename(const char*, const char* extension, const char*, std::string& out)
{
    if (!g_rec.filenameWorks) return false;
    out = std::string("/tmp/blend_fake") + extension;
    return true;
}

bool FakeMerge(KestovaFile* scene, WorldMap* map, TRANSFORM_RS*, int, int kind, int, bool closing, int closingKind)
{
    if (g_rec.mergeThrows) throw std::runtime_error("merge failed");
    g_rec.merges.push_back({kind, closing ? closingKind : -1});
    map->AddData(scene);
    return true;
}

bool FakeChip(int index, int count, bool loop, WorldMap*, KestovaFile** files, TRANSFORM_RS**, uint8_t* codes,
              std::string&, std::vector<std::string>& names, int, int)
{
    bool present = files[index] != nullptr;
    if (index > 0) present = present && files[index - 1];
    if (index + 1 < count) present = present && files[index + 1];
    if (loop && index == 0) present = present && files[count - 1];
    g_rec.chips.push_back({index, g_rec.currentFrame, std::vector<uint8_t>(codes, codes + count), present});
    names.push_back("chip" + std::to_string(index));
    return true;
}

int FakeBlender(int, bool, WorldMap*, std::string&, std::vector<std::string>&)
{
    return g_rec.blenderResult;
}

bool FakeFill(WorldMap*, const RECT*)
{
    ++g_rec.fills;
    return true;
}

// The frame being blended, from the driver's progress text.
void WatchProgress(int, const std::string& line)
{
    std::smatch m;
    static const std::regex start("Blend ([0-9]+)( large)?: start");
    if (std::regex_search(line, m, start)) g_rec.currentFrame = std::stoi(m[1]);
}

class RecordingViewer : public DataViewer {
public:
    int Notify(int event, WorldMap*, std::uintptr_t param) override
    {
        if (event == 10006 && answerLeveling) {
            auto* out = reinterpret_cast<float*>(param);
            out[0] = 1.0f;
            std::copy(rotation, rotation + 3, out + 1);
        }
        events.push_back({event, static_cast<int>(event == 10006 ? 0 : param)});
        return 0;
    }
    std::vector<std::pair<int, int>> events;
    bool answerLeveling = false;
    float rotation[3] = {};
};

class BlendDriverTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        RegisterAppResources();
        m_manager = std::make_unique<SuperManager>();
        m_previous = GetSuperManager();
        SetSuperManager(m_manager.get());
        g_rec = Record{};
        g_remapCalls.makeFilename = &FakeFilename;
        g_remapCalls.mergeVantorFile = &FakeMerge;
        g_remapCalls.mapChipSaveOneImage = &FakeChip;
        g_remapCalls.runBlenderProcess = &FakeBlender;
        g_remapCalls.fillWorldMapBg = &FakeFill;
        Logger::setLogLevel(4);
        Logger::setSink(&WatchProgress);
    }
    void TearDown() override
    {
        Logger::setSink(nullptr);
        Logger::setLogLevel(1);
        win::JoinWorkerThreads(10000);
        if (m_viewer.has_value() && m_viewerMap) m_viewerMap->RemoveViewer(&*m_viewer);
        CloseProgressDialog();
        ResetRemapCalls();
        SetSuperManager(m_previous);
        m_manager.reset();
        AppTest::TearDown();
    }

    // n frames of 160 x 120 shot around the horizon, `step` degrees apart,
    // consecutive frames linked and merged (and the last to the first with
    // `ring`).
    void Build(int n, double step, bool ring)
    {
        ImageGroup* group = m_manager->GetImageGroup(true);
        for (int k = 0; k < n; ++k) {
            auto* frame = new ImageFrame();
            Image* image = new Image(160, 120, 3);
            for (size_t i = 0; i < image->GetDataSize(); ++i) image->GetData()[i] = static_cast<uint8_t>(40 + (i * 7) % 200);
            frame->SetImage(image, false);
            ReleaseImage(image);
            group->AppendImageFrame(frame);
            InitPanoramaPlacement(frame->GetImgInfo(), static_cast<float>(std::remainder(k * step * kDeg, 2 * kPi)), 0.0f,
                                  0.0f, 80.0f, 60.0f);
            frame->GetImgInfo()->GetParams()->rcpFocal = static_cast<float>(60 * kDeg / 160);
        }
        for (int k = 0; k + 1 < n || (ring && k < n); ++k) Link(k, (k + 1) % n);
    }
    void Link(int a, int b)
    {
        Frame(a)->AddNeighbor(Frame(b));
        Frame(b)->AddNeighbor(Frame(a));
        Frame(a)->SetMerged(Frame(b));
    }
    ImageFrame* Frame(int k) { return m_manager->GetImageGroup(false)->GetImageFrame(k); }
    WorldMap* Map() { return m_manager->GetImageGroup(false)->GetRectWorldMap(false); }
    RecordingViewer& Watch()
    {
        m_viewer.emplace();
        m_viewerMap = Map();
        m_viewerMap->AddViewer(&*m_viewer);
        return *m_viewer;
    }
    // A new manager and fresh records, for one more case in a test.
    void Fresh()
    {
        if (m_viewer.has_value() && m_viewerMap) m_viewerMap->RemoveViewer(&*m_viewer);
        m_viewer.reset();
        m_viewerMap = nullptr;
        SetSuperManager(m_previous);
        m_manager = std::make_unique<SuperManager>();
        SetSuperManager(m_manager.get());
        const Record keep = g_rec;
        g_rec = Record{};
        (void)keep;
    }
    // The preview (stores the data region), then the blend stage.
    void PreviewThenBlendStage()
    {
        m_manager->RemapPanorama(false);
        m_manager->ModifyFlags(0, kFlagBlendStage);
        m_manager->SetReductionCode(1);
    }
    // Elastic run: waits for the worker and handles its message as the main
    // frame would.
    void RunElastic()
    {
        m_manager->RemapPanorama(true);
        ASSERT_TRUE(win::JoinWorkerThreads(20000));
        m_manager->FinishRemap();
    }

    std::unique_ptr<SuperManager> m_manager;
    SuperManager* m_previous = nullptr;
    std::optional<RecordingViewer> m_viewer;
    WorldMap* m_viewerMap = nullptr;
};

// ---- Elastic chip order ---------------------------------------------------------------------

TEST_F(BlendDriverTest, ElasticChipsFollowTheFramesThatNeedThem)
{
    struct Case {
        int frames;
        std::vector<std::pair<int, int>> chips;  // (index, frame) in call order
    };
    const Case cases[] = {
        {2, {{0, 1}, {1, 1}}},
        {3, {{1, 2}, {2, 2}, {0, 2}}},
        {4, {{1, 2}, {2, 3}, {3, 3}, {0, 3}}},
        {7, {{1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 6}, {0, 6}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frames);
        Fresh();
        Build(c.frames, 30, false);
        m_manager->SetElasticBlend(true);
        PreviewThenBlendStage();
        RunElastic();
        std::vector<std::pair<int, int>> got;
        for (const ChipCall& chip : g_rec.chips) {
            got.push_back({chip.index, chip.frame});
            EXPECT_TRUE(chip.neighboursPresent) << "chip " << chip.index;
        }
        EXPECT_EQ(got, c.chips);
        // Every scene file is released by the end of the run.
        for (int k = 0; k < c.frames; ++k) {
            const List* bands = Frame(k)->GetKestovaFile()->GetBandList();
            EXPECT_TRUE(!bands || bands->m_count == 0) << "frame " << k;
        }
        EXPECT_EQ(g_RemapEnblendReEntryParams.imageCount, c.frames);
        EXPECT_EQ(g_RemapEnblendReEntryParams.chipNames.size(), c.chips.size());
        EXPECT_FALSE(m_manager->IsWorkerActive());
    }
}

TEST_F(BlendDriverTest, SeamCodesOfTheLinksAndAMissingLink)
{
    // 0-1 and 0-2 linked (2 is merged through 0), 1-2 not: the link from 2
    // to its predecessor 1 is missing.
    Build(3, 30, false);
    Frame(1)->RemoveNeighbor(Frame(2));
    Frame(2)->RemoveNeighbor(Frame(1));
    Link(0, 2);
    m_manager->SetPairBlendMode(Frame(1), Frame(0), 2);
    m_manager->SetElasticBlend(true);
    PreviewThenBlendStage();
    RunElastic();
    ASSERT_FALSE(g_rec.chips.empty());
    EXPECT_EQ(g_rec.chips.back().codes, (std::vector<uint8_t>{0xFF, 2, 0xFF}));
}

// ---- The finishing step ---------------------------------------------------------------------------

TEST_F(BlendDriverTest, FinishingEventsOfPreviewAndBlend)
{
    Build(3, 40, false);
    m_manager->RemapPanorama(false);
    ASSERT_NE(Map(), nullptr);
    EXPECT_GT(m_manager->GetDataRegion().width, 0.0f);
    EXPECT_LE(m_manager->GetPreviewSamplingRate(), 30.0f);
    RecordingViewer& viewer = Watch();
    m_manager->RemapPanorama(false);
    EXPECT_EQ(viewer.events, (std::vector<std::pair<int, int>>{{10008, 0}, {15, 0}, {10009, 2}}));
    EXPECT_EQ(g_rec.fills, 0);  // no fill after a preview

    viewer.events.clear();
    m_manager->ModifyFlags(0, kFlagBlendStage);
    m_manager->SetReductionCode(1);
    m_manager->RemapPanorama(true);
    EXPECT_EQ(viewer.events, (std::vector<std::pair<int, int>>{{10008, 1}, {15, 0}, {10009, 2}}));
    EXPECT_EQ(g_rec.fills, 1);
    EXPECT_EQ(g_rec.merges.size(), 2u);
    EXPECT_GE(m_manager->GetCropSelection().right, m_manager->GetCropSelection().left);
    EXPECT_EQ(GetProgressDialog(), nullptr);
}

TEST_F(BlendDriverTest, AFailedElasticBlendShowsThePreviewAgain)
{
    struct Case {
        int result;
        const char* message;  // null: none
    };
    const Case cases[] = {{0, nullptr}, {-1, "Elastic blending failed (code -1)."},
                          {-2, "Elastic blending failed (code -2)."}, {-3, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        Fresh();
        Build(3, 40, false);
        m_manager->RemapPanorama(false);
        RecordingViewer& viewer = Watch();
        m_manager->SetElasticBlend(true);
        m_manager->ModifyFlags(0, kFlagBlendStage);
        m_manager->SetReductionCode(1);
        g_rec.blenderResult = c.result;
        if (c.message) Prompter().ExpectMessageBox(c.message, IDOK);
        RunElastic();
        if (c.result == 0) {
            EXPECT_EQ(g_rec.fills, 1);
            EXPECT_TRUE(m_manager->GetFlags() & kFlagBlendStage);
            EXPECT_EQ(viewer.events.front(), std::make_pair(10008, 1));
        } else {
            // No crop or fill; the preview drawn again in the preview stage.
            EXPECT_EQ(g_rec.fills, 0);
            EXPECT_FALSE(m_manager->GetFlags() & kFlagBlendStage);
            EXPECT_EQ(viewer.events, (std::vector<std::pair<int, int>>{{10008, 0}, {15, 0}, {10009, 2}}));
        }
        EXPECT_EQ(GetProgressDialog(), nullptr);
        EXPECT_FALSE(m_manager->IsWorkerActive());
    }
}

TEST_F(BlendDriverTest, ADamagedFirstFrameIsRefusedBeforeAnyChange)
{
    Build(3, 40, false);
    for (float bad : {0.0f, -1.0f, NAN, INFINITY}) {
        Frame(0)->GetImgInfo()->GetParams()->rcpFocal = bad;
        LogCapture log;
        m_manager->RemapPanorama(false);
        EXPECT_TRUE(log.contains("ERROR Remap_WM")) << log.text();
        EXPECT_EQ(Map(), nullptr);
    }
    // With a map, the size of a damaged project is none.
    Frame(0)->GetImgInfo()->GetParams()->rcpFocal = 0.0f;
    m_manager->GetImageGroup(false)->GetRectWorldMap(1200, nullptr, 0, 3);
    LogCapture log;
    int w = -1, h = -1;
    m_manager->GetPanoramaSize(0.75f, &w, &h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    EXPECT_TRUE(log.contains("ERROR SuperManager::GetPanoramaSize")) << log.text();
}

// ---- The Blend step -----------------------------------------------------------------------------

std::vector<std::pair<bool, bool>> g_balances;
void WatchBalance(bool pairBlend, bool ready)
{
    g_balances.push_back({pairBlend, ready});
}

TEST_F(BlendDriverTest, BalanceRunsOnlyWhenAskedAndUsesThePairBlendOnce)
{
    g_balances.clear();
    m_manager->SetBalanceObserver(&WatchBalance);
    Build(3, 30, false);
    PreviewThenBlendStage();
    m_manager->GetBlendSettings()->autoBalance = 0;
    EXPECT_TRUE(m_manager->BlendPanorama());
    EXPECT_TRUE(g_balances.empty());
    EXPECT_TRUE(m_manager->GetPendingPairBlend());

    m_manager->GetBlendSettings()->autoBalance = 1;
    EXPECT_TRUE(m_manager->BlendPanorama());
    EXPECT_TRUE(m_manager->BlendPanorama());
    EXPECT_EQ(g_balances, (std::vector<std::pair<bool, bool>>{{true, true}, {false, true}}));
    EXPECT_FALSE(m_manager->GetPendingPairBlend());
}

TEST_F(BlendDriverTest, ABalanceThatCannotStartBlendsNothing)
{
    g_balances.clear();
    m_manager->SetBalanceObserver(&WatchBalance);
    // Frames 120 degrees apart: linked, but no common point to measure.
    Build(2, 120, false);
    PreviewThenBlendStage();
    const size_t calls = m_manager->GetDeferredCalls().size();
    Prompter().ExpectMessageBox("There is major stitching error\nPlease correct first!", IDOK);
    EXPECT_FALSE(m_manager->BlendPanorama());
    EXPECT_EQ(g_balances, (std::vector<std::pair<bool, bool>>{{true, false}}));
    EXPECT_TRUE(m_manager->GetPendingPairBlend());
    // Only the Blend step itself was recorded: no remap.
    EXPECT_EQ(m_manager->GetDeferredCalls().size(), calls + 1);
}

TEST_F(BlendDriverTest, BlendWidthZeroGivesTheUnblendedMapAtTheFinalRate)
{
    Build(3, 30, false);
    PreviewThenBlendStage();
    m_manager->GetBlendSettings()->autoBalance = 0;
    m_manager->GetBlendSettings()->blendWidth = 0;
    m_manager->SetOutputScale(0.5f);
    EXPECT_TRUE(m_manager->BlendPanorama());
    EXPECT_EQ(m_manager->GetDeferredCalls().back().name, "RemapPanorama(0)");
    EXPECT_TRUE(g_rec.merges.empty());
    // Final rate: output scale over degrees per pixel.
    const float rate = 0.5f / static_cast<float>(60.0 / 160);
    EXPECT_NEAR(m_manager->GetSamplingRate(), rate, 1e-3);
    EXPECT_NEAR(Map()->GetWidth(), rate * 360, 4);
}

TEST_F(BlendDriverTest, LevelingHeldByTheViewIsTakenOver)
{
    Build(3, 30, false);
    PreviewThenBlendStage();
    m_manager->GetBlendSettings()->autoBalance = 0;
    RecordingViewer& viewer = Watch();
    viewer.answerLeveling = true;
    viewer.rotation[0] = 0.05f;
    viewer.rotation[1] = -0.02f;
    viewer.rotation[2] = 0.01f;
    EXPECT_TRUE(m_manager->BlendPanorama());
    ASSERT_GE(viewer.events.size(), 2u);
    EXPECT_EQ(viewer.events[0].first, 10006);
    EXPECT_EQ(viewer.events[1], std::make_pair(10007, 0));
    const float* r = m_manager->GetLevelingRotation();
    EXPECT_NEAR(r[0], 0.05f, 1e-5);
    EXPECT_NEAR(r[1], -0.02f, 1e-5);
    EXPECT_NEAR(r[2], 0.01f, 1e-5);
}

TEST_F(BlendDriverTest, FailuresInsideTheBlendStepAreReported)
{
    Build(3, 30, false);
    PreviewThenBlendStage();
    m_manager->GetBlendSettings()->autoBalance = 0;
    // A throw inside the merge: false, a message, express mode over.
    m_manager->SetExpressMode(true);
    m_manager->SetExpressBlendPending(true);
    g_rec.mergeThrows = true;
    Prompter().ExpectMessageBox("Blending failed", IDOK);
    EXPECT_FALSE(m_manager->BlendPanorama());
    EXPECT_FALSE(m_manager->IsExpressMode());
    EXPECT_FALSE(m_manager->IsExpressBlendPending());
    EXPECT_EQ(GetProgressDialog(), nullptr);

    // No temporary file: the run is dropped and the user told.
    Fresh();
    Build(3, 30, false);
    PreviewThenBlendStage();
    m_manager->GetBlendSettings()->autoBalance = 0;
    g_rec.filenameWorks = false;
    Prompter().ExpectMessageBox("Blending failed: cannot create a temporary file.", IDOK);
    EXPECT_FALSE(m_manager->BlendPanorama());
    EXPECT_EQ(GetProgressDialog(), nullptr);
    // A later blend runs normally.
    g_rec.filenameWorks = true;
    EXPECT_TRUE(m_manager->BlendPanorama());
    EXPECT_EQ(g_rec.fills, 1);
}

TEST_F(BlendDriverTest, PanoramaSizeWithoutAMapAndOnAnEmptyOne)
{
    int w = -1, h = -1;
    m_manager->GetPanoramaSize(0.75f, &w, &h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    Build(3, 30, false);
    m_manager->GetPanoramaSize(0.75f, &w, &h);
    EXPECT_EQ(w, 0);  // merged frames, no map yet
    m_manager->GetImageGroup(false)->GetRectWorldMap(1200, nullptr, 0, 3);
    m_manager->GetPanoramaSize(0.75f, &w, &h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
    // After a preview: the data area's angles at the output scale.
    m_manager->RemapPanorama(false);
    m_manager->GetPanoramaSize(0.75f, &w, &h);
    REGION2 area{};
    Map()->GetDataArea(&area);
    const float s = 0.75f / static_cast<float>(60 * kDeg / 160);
    EXPECT_EQ(w, static_cast<int>(area.right * s) - static_cast<int>(area.left * s) + 1);
    // Pans 0 to 60 degrees and 60-degree frames: 120 degrees at 0.75 x 160 / 60 pixels per degree.
    EXPECT_NEAR(w, 240, 24) << h;
}

TEST_F(BlendDriverTest, ExpressStitchPressedDuringAnExpressRunMarksTheBlendPending)
{
    EXPECT_TRUE(m_manager->ExpressStitch());
    EXPECT_TRUE(m_manager->IsExpressMode());
    EXPECT_TRUE(m_manager->IsAutomaticMode());
    EXPECT_FALSE(m_manager->IsExpressBlendPending());
    EXPECT_TRUE(m_manager->ExpressStitch());
    EXPECT_TRUE(m_manager->IsExpressBlendPending());
    // Finishing blends (nothing here to blend: the balance refuses) and ends
    // express mode.
    Prompter().ExpectMessageBox("There is major stitching error\nPlease correct first!", IDOK);
    EXPECT_TRUE(m_manager->FinishExpressStitch());
    EXPECT_FALSE(m_manager->IsExpressMode());
    EXPECT_FALSE(m_manager->IsExpressBlendPending());
}

TEST_F(BlendDriverTest, PageSetupKeepsItsFixedTail)
{
    EXPECT_EQ(m_manager->GetPageSetup(), nullptr);
    const int32_t paper[2] = {8270, 11690}, minimum[4] = {1, 2, 3, 4}, margins[4] = {500, 600, 700, 800};
    m_manager->SetPageSetup(paper, minimum, margins);
    const PageSetupRecord* r = m_manager->GetPageSetup();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->paperSize.y, 11690);
    EXPECT_EQ(r->minMargins.bottom, 4);
    EXPECT_EQ(r->margins.left, 500);
    EXPECT_FLOAT_EQ(r->ratio, -1.0f);
    EXPECT_EQ(r->imageSize.y, 0);
}

}  // namespace
