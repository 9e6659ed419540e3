// Pair stitching: the starting rotation from the tray places, the first
// pair's focal guess and its Exif variants, the loop pair's turns, the focal
// helpers, the frame-image loader, and the outcomes written into the links
// (stitched, refused, crashed, images too small).
#include "app/control/stitch_pair.h"
#include "app/matching/image_downscale.h"
#include "app/control/super_manager.h"
#include "app/matching/cam_info.h"
#include "app/matching/distortion_record.h"
#include "app/tests/app_test_fixture.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "platform/panocore/pair_share_info.h"
#include "platform/panocore/panorama.h"
#include "platform/utilkit/fl2_apperture.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

constexpr float kPiF = 3.14159265f;

// What the stitching core was asked, and what it answers.
struct CoreCall {
    int calls = 0;
    PAIR_WALIGN_RR_PRMS2 record{};
    float ratio = 0;
    int direction = 99;
    int answer = 0;
    bool crash = false;
};
CoreCall g_core;

int RecordingPanorama(IImageFrame*, IImageFrame*, PAIR_WALIGN_RR_PRMS2* record, float ratio, int direction)
{
    ++g_core.calls;
    g_core.record = *record;
    g_core.ratio = ratio;
    g_core.direction = direction;
    if (g_core.crash) throw std::runtime_error("core failed");
    return g_core.answer;
}

bool NeutralInit(IImageFrame* frame, float, float, float)
{
    return InitPanoramaPlacement(frame->GetImgInfo(), 0, 0, 0, 0, 0);
}

class StitchPairTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        m_manager = std::make_unique<SuperManager>();
        m_previous = GetSuperManager();
        SetSuperManager(m_manager.get());
        g_core = CoreCall{};
        m_oldPanorama = SetPanoramaFunction(&RecordingPanorama);
        m_oldInit = SetPanoramaInitFunction(&NeutralInit);
        ClearStitchThreadBlock();
    }
    void TearDown() override
    {
        SetPanoramaFunction(m_oldPanorama);
        SetPanoramaInitFunction(m_oldInit);
        SetSuperManager(m_previous);
        m_manager.reset();
        AppTest::TearDown();
    }

    // A linked pair holding images of the given size (left as they are: the
    // reduced state is set) at tray places (0, 0) and (1, 0).
    struct Pair {
        ImageFrame a, b;
        Pair(int w, int h, const char* nameA = nullptr, const char* nameB = nullptr)
        {
            a.AddNeighbor(&b);
            const char* names[2] = {nameA, nameB};
            ImageFrame* frames[2] = {&a, &b};
            for (int k = 0; k < 2; ++k) {
                if (names[k]) frames[k]->SetName(names[k]);
                Image* image = new Image(w, h, 1);
                frames[k]->SetImage(image, false);
                ReleaseImage(image);
                frames[k]->SetBeamDownState(true);
                frames[k]->SetStampLocation(static_cast<short>(k), 0);
            }
        }
        Neighbor* ab() { return a.FindNeighbor(&b); }
        Neighbor* ba() { return b.FindNeighbor(&a); }
    };

    std::string Photo(int n) { return TestData("huginsample-durlach/half/P10603" + std::to_string(n) + ".JPG"); }

    std::unique_ptr<SuperManager> m_manager;
    SuperManager* m_previous = nullptr;
    PanoramaFunction m_oldPanorama = nullptr;
    PanoramaInitFunction m_oldInit = nullptr;
};

}  // namespace

TEST_F(StitchPairTest, FindPairRURFromTrayPlaces)
{
    struct Case {
        const char* name;
        short xa, ya, xb, yb;
        float sx, sy;
        float r1, d, r2;
    } cases[] = {
        {"same row, A left of B", 0, 0, 1, 0, 0.5f, 0.0f, 0.0f, 0.5f, 0.0f},
        // atan2 of (-0, -0.5): the half turn comes out negative.
        {"same row, A right of B", 3, 0, 2, 0, 0.5f, 0.0f, -kPiF, 0.5f, kPiF},
        {"same row, vertical part", 0, 1, 1, 1, 0.3f, 0.4f, std::atan2(0.4f, 0.3f), 0.5f, -std::atan2(0.4f, 0.3f)},
        {"A's row above B's", 0, 0, 0, 1, 0.6f, 0.8f, kPiF / 2, 1.0f, -kPiF / 2},
        {"A's row below B's", 5, 2, 0, 1, 0.6f, 0.8f, -kPiF / 2, 1.0f, kPiF / 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageFrame a, b;
        a.SetStampLocation(c.xa, c.ya);
        b.SetStampLocation(c.xb, c.yb);
        const float step[2] = {c.sx, c.sy};
        float r1 = 9, d = 9, r2 = 9;
        FindPairRUR(&a, &b, step, &r1, &d, &r2);
        EXPECT_NEAR(r1, c.r1, 1e-6f);
        EXPECT_NEAR(d, c.d, 1e-6f);
        EXPECT_NEAR(r2, c.r2, 1e-6f);
    }
}

// The first pair's start from the stitch settings' focal length, and its
// Exif variants (focal types 3 and 4, with and without a camera record, a
// frame without Exif data).
TEST_F(StitchPairTest, FirstPairFocalGuess)
{
    struct Case {
        const char* name;
        int focalType;
        bool photoA, photoB;  // frames with the Exif 4.3 mm photographs' names
        float camReference;   // the camera record's Exif focal length, 0 none
        float scaleA, scaleB;  // sA, sB against tan(ap) / half
        bool detailLine;
    } cases[] = {
        {"no Exif, focal type 0", 0, false, false, 0, 1, 1, false},
        {"Exif type 3, same focal lengths", 3, true, true, 0, 1, 1, false},
        {"Exif type 4 with a camera record at twice the focal length", 4, true, true, 8.6f, 2, 2, false},
        {"Exif type 3, one frame without Exif", 3, true, false, 0, 1, 1, true},
        {"Exif type 4 with a camera record, one frame without Exif", 4, false, true, 8.6f, 1, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_manager->GetStitchSettings()->focalLength = 35.0f;
        m_manager->GetStitchSettings()->focalType = c.focalType;
        if (c.camReference > 0) {
            auto info = std::make_unique<CamInfo>();
            info->exifFocalLength = c.camReference;
            m_manager->SetCamInfo(std::move(info));
        } else {
            m_manager->SetCamInfo(nullptr);
        }
        const std::string pa = Photo(69), pb = Photo(70);
        Pair pair(3000, 2000, c.photoA ? pa.c_str() : nullptr, c.photoB ? pb.c_str() : nullptr);
        pair.a.SetAsCenter();
        g_core = CoreCall{};
        LogCapture log;
        ASSERT_TRUE(StitchTwoFrames(&pair.a, &pair.b, 1, false));
        ASSERT_EQ(g_core.calls, 1);
        const float ap = FL2Apperture::FL2ApperturePortrait_35mm(35.0f) / 2;
        const float base = std::tan(ap) / 1000;
        EXPECT_NEAR(g_core.record.rcpF1, base * c.scaleA, base * 1e-5f);
        EXPECT_NEAR(g_core.record.rcpF2, base * c.scaleB, base * 1e-5f);
        EXPECT_EQ(g_core.ratio, 1.0f);
        EXPECT_EQ(g_core.direction, 1);
        for (float w : g_core.record.reserved) EXPECT_EQ(w, 0.0f);
        // Same row, A left of B: the pair turns only by the pan guess,
        // which comes from the landscape aperture and the default overlap.
        const float wide = std::atan(std::tan(ap) * 1.5f);
        EXPECT_NEAR(g_core.record.angB, 2 * wide * (1 - pair.ab()->GetPairShareInfo()->GetOverlapH(1)), 1e-5f);
        EXPECT_EQ(log.contains("a frame of the pair has no focal length"), c.detailLine);
        EXPECT_NEAR(m_manager->GetFirstPairScale(), 500.0f / 5000.0f, 1e-7f);
    }
}

// Later pairs start from A's placement; the loop pair goes as direction -1
// with turns pi and -pi whatever the tray says; any other later pair as 0.
TEST_F(StitchPairTest, LaterAndLoopPairs)
{
    struct Case {
        int direction;
        short xb, yb;
        int sent;
    } cases[] = {{1, 1, 0, 0}, {-1, 1, 0, -1}, {-1, 0, 1, -1}, {0, 0, 1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.direction);
        Pair pair(640, 480);
        pair.b.SetStampLocation(c.xb, c.yb);
        pair.a.GetImgInfo()->GetParams()->rcpFocal = 0.002f;
        g_core = CoreCall{};
        ASSERT_TRUE(StitchTwoFrames(&pair.a, &pair.b, c.direction, false));
        EXPECT_EQ(g_core.direction, c.sent);
        EXPECT_EQ(g_core.record.rcpF1, 0.002f);
        EXPECT_EQ(g_core.record.rcpF2, 0.002f);
        const float ap = std::atan(640 * 0.002f / 2);
        const float o1 = pair.ab()->GetPairShareInfo()->GetOverlapH(1);
        const float o2 = pair.ab()->GetPairShareInfo()->GetOverlapV(1);
        EXPECT_NEAR(g_core.record.angB, std::hypot(2 * ap * (1 - o1), ap * o2 * 480 / 640), 1e-6f);
        if (c.sent == -1) {
            EXPECT_FLOAT_EQ(g_core.record.angA, 3.1415925f);
            EXPECT_FLOAT_EQ(g_core.record.angC, -3.1415925f);
        }
    }
}

// What the links and frames keep after each outcome of the core.
TEST_F(StitchPairTest, OutcomesInTheLinks)
{
    struct Case {
        const char* name;
        int answer;
        bool crash;
        int width;
        bool called, stitched, blocked;
        const char* logLine;
    } cases[] = {
        {"stitched", 0, false, 640, true, true, false, "after Panorama: OK"},
        {"high bits only", 0x10, false, 640, true, true, false, "after Panorama: OK"},
        {"residual too large", 2, false, 640, true, false, true, "before Panorama"},
        {"the core throws", 0, true, 640, true, false, false, "ERROR CrashDump::RunGuarded"},
        {"image one pixel wide", 0, false, 1, false, false, false, "ERROR StitchTwoFrames: image too small"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pair pair(c.width, 480);
        pair.a.GetImgInfo()->GetParams()->rcpFocal = 0.002f;
        g_core = CoreCall{};
        g_core.answer = c.answer;
        g_core.crash = c.crash;
        GetStitchThreadBlock()->result = 7;
        LogCapture log;
        EXPECT_EQ(StitchTwoFrames(&pair.a, &pair.b, 0, false), c.stitched);
        EXPECT_EQ(g_core.calls > 0, c.called);
        EXPECT_EQ(GetStitchThreadBlock()->result, c.stitched ? 1 : 0);
        for (Neighbor* link : {pair.ab(), pair.ba()}) {
            EXPECT_EQ(link->IsMerged(), c.stitched);
            EXPECT_EQ(link->IsBlocked(), c.blocked);
        }
        EXPECT_EQ(pair.a.IsMerged(), c.stitched);
        EXPECT_EQ(pair.b.IsMerged(), c.stitched);
        EXPECT_TRUE(log.contains(c.logLine)) << log.text();
    }
}

TEST_F(StitchPairTest, MissingLinkFailsThePair)
{
    ImageFrame a, b;
    LogCapture log;
    EXPECT_FALSE(StitchTwoFrames(&a, &b, 0, false));
    EXPECT_EQ(g_core.calls, 0);
    EXPECT_EQ(GetStitchThreadBlock()->result, 0);
    EXPECT_TRUE(log.contains("ERROR StitchTwoFrames: n1=NULL || n2=NULL"));
}

TEST_F(StitchPairTest, FocalRatioAndPixelFocal)
{
    struct Case {
        const char* name;
        bool exif;
        uint8_t runtime;
        float camReference;     // 0: no camera record
        float recordFocal;      // distortion record's focal length; < 0: no record
        float ratio;
        bool pixelOk;
        float pixelFocal;
    } cases[] = {
        {"no Exif", false, 0, 8.6f, -1, 1.0f, false, 0},
        {"camera reference", true, 0, 8.6f, -1, 0.5f, true, 4.3f},
        {"no reference at all", true, 0, 0, -1, 1.0f, true, 4.3f},
        {"run-time correction takes the record's focal length", true, 1, 8.6f, 2.15f, 2.0f, true, 4.3f},
        {"run-time correction without a record focal length", true, 1, 8.6f, 0, 1.0f, true, 4.3f},
        {"correction record without camera reference", true, 0, 0, 4.3f, 1.0f, false, 0},
        {"identity correction record with camera reference", true, 0, 4.3f, 4.3f, 1.0f, true, 4.3f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SuperManager manager;
        SetSuperManager(&manager);
        manager.GetStitchSettings()->runtimeDistortion = c.runtime;
        if (c.camReference > 0) {
            auto info = std::make_unique<CamInfo>();
            info->exifFocalLength = c.camReference;
            manager.SetCamInfo(std::move(info));
        }
        if (c.recordFocal >= 0) manager.GetDistortionRecord(true)->exifFocalLength = c.recordFocal;
        ImageFrame frame;
        const std::string name = Photo(69);
        if (c.exif) frame.SetName(name.c_str());
        EXPECT_NEAR(FrameFocalRatio(&frame), c.ratio, 1e-6f);
        EXPECT_EQ(FramePixelFocal(&frame), c.pixelOk);
        EXPECT_NEAR(frame.m_focalValue, c.pixelFocal, 1e-4f);
        SetSuperManager(m_manager.get());
    }
}

TEST_F(StitchPairTest, LoadFrameImageReducesOnceAndCorrectsOnRequest)
{
    const std::string name = Photo(69);
    // A frame holding a reduced image is left alone.
    {
        ImageFrame frame;
        Image* image = new Image(1280, 960, 3);
        frame.SetImage(image, false);
        ReleaseImage(image);
        frame.SetBeamDownState(true);
        ASSERT_TRUE(LoadFrameImage(&frame, true));
        EXPECT_EQ(frame.GetImage()->GetWidth(), 1280);
        // Not yet reduced: reduced now, once.
        frame.SetBeamDownState(false);
        ASSERT_TRUE(LoadFrameImage(&frame, true));
        EXPECT_LE(std::max(frame.GetImage()->GetWidth(), frame.GetImage()->GetHeight()), 700);
        const int width = frame.GetImage()->GetWidth();
        ASSERT_TRUE(LoadFrameImage(&frame, true));
        EXPECT_EQ(frame.GetImage()->GetWidth(), width);
    }
    struct Case {
        const char* name;
        bool flag, record, correct;
        bool corrected;
    } cases[] = {
        {"flag, record, asked", true, true, true, true},
        {"not asked", true, true, false, false},
        {"flag off", false, true, true, false},
        {"no record", true, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SuperManager manager;
        SetSuperManager(&manager);
        manager.ModifyFlags(kFlagDistortionOn, c.flag ? kFlagDistortionOn : 0);
        if (c.record) {
            DistortionRecord* r = manager.GetDistortionRecord(true);
            r->b = 0.05f;
            r->d = 0.95f;
        }
        ImageFrame frame;
        frame.SetName(name.c_str());
        ASSERT_TRUE(LoadFrameImage(&frame, c.correct));
        ASSERT_NE(frame.GetImage(), nullptr);
        EXPECT_TRUE(frame.IsBeamDown());
        EXPECT_LE(std::max(frame.GetImage()->GetWidth(), frame.GetImage()->GetHeight()), 700);
        EXPECT_EQ(frame.IsDistortionCorrected(), c.corrected);
        SetSuperManager(m_manager.get());
    }
    ImageFrame missing;
    missing.SetName("/no/such/file.jpg");
    EXPECT_FALSE(LoadFrameImage(&missing, true));
}

// The first load chooses the reduction and the manager keeps its code: the
// matcher is told the same code, so its markers come in the frames' scale,
// and later loads reduce alike whatever their size.
TEST_F(StitchPairTest, TheFirstLoadLeavesItsReductionCodeWithTheManager)
{
    SuperManager manager;
    SetSuperManager(&manager);
    ASSERT_EQ(manager.GetReductionCode(), 0);
    ImageFrame first;
    first.SetName(Photo(69).c_str());  // 1280 x 960
    ASSERT_TRUE(LoadFrameImage(&first, false));
    EXPECT_EQ(first.GetImage()->GetWidth(), 640);
    const int code = manager.GetReductionCode();
    EXPECT_NE(code, 0);
    EXPECT_FLOAT_EQ(GetDownscaleFactor(static_cast<DownscaleCode>(code)), 2.0f);
    // A frame already holding a large image is reduced by the same code.
    ImageFrame held;
    Image* image = new Image(1200, 900, 3);
    held.SetImage(image, false);
    ReleaseImage(image);
    ASSERT_TRUE(LoadFrameImage(&held, false));
    EXPECT_EQ(held.GetImage()->GetWidth(), 600);
    EXPECT_EQ(manager.GetReductionCode(), code);
    SetSuperManager(m_manager.get());
}
