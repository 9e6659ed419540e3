// End to end with ground truth: eight views rendered from a real
// equirectangular panorama (a ring 45 degrees apart pitched up 10 degrees,
// 65 degrees wide, 640 x 480), written as JPEG files and matched by Hollet as
// the application does, stitched by the Stitch button's posted command and
// blended by the Blend button's, in process and through the elastic blender.
// The blended map is compared with the source turned into the solved frame,
// the seams are measured, and a perspective render of the project with a
// direct render of the source. The exposures are a parameter of the
// rendering (kEqualEv, kSpreadEv).
#include "app/control/image_chain.h"
#include "app/control/pano_leveler.h"
#include "app/control/stitch_driver.h"
#include "app/control/stitch_pair.h"
#include "app/control/stitch_wiring.h"
#include "app/shell/image_tray_host.h"
#include "app/shell/pellicot.h"
#include "app/control/super_manager.h"
#include "app/shell/stitch_bar.h"
#include "app/tests/app_test_fixture.h"
#include "app/tests/stitch_run_wait.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "platform/utilkit/log_base.h"
#include "platform/win/win_thread.h"
#include "platform/win/wnd.h"
#include "platform/xformkit/camera_model.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"
#include "testkit/testkit.h"
#include "worldmap/world_map.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>

using namespace xformkit;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr int kViews = 8, kW = 640, kH = 480;
constexpr double kPitch = -10 * kDeg;  // up: y (and tilt) point down
const double kFocal = kW / 2.0 / std::tan(65.0 / 2 * kDeg);
const double kEqualEv[kViews] = {0, 0, 0, 0, 0, 0, 0, 0};
// Exposures within +-0.5 EV, as a hand-held ring in changing light.
const double kSpreadEv[kViews] = {0, 0.5, -0.3, 0.2, -0.5, 0.4, -0.1, 0.3};

// Bilinear sample of the equirectangular source in a world direction.
void SampleSource(const Image& pano, const Vec3& w, double out[3])
{
    const int pw = pano.GetWidth(), ph = pano.GetHeight();
    const double u = (std::atan2(w.x, w.z) / (2 * kPi) + 0.5) * pw - 0.5;
    const double v = (std::atan2(w.y, std::hypot(w.x, w.z)) / kPi + 0.5) * ph - 0.5;
    const int u0 = static_cast<int>(std::floor(u)), v0 = static_cast<int>(std::floor(v));
    const double fu = u - u0, fv = v - v0;
    for (int c = 0; c < 3; ++c) {
        auto at = [&](int uu, int vv) {
            uu = (uu % pw + pw) % pw;
            vv = std::clamp(vv, 0, ph - 1);
            return double(pano.GetData()[static_cast<size_t>(vv) * pano.GetRowByte() + 3 * uu + c]);
        };
        out[c] = (1 - fv) * ((1 - fu) * at(u0, v0) + fu * at(u0 + 1, v0)) +
                 fv * ((1 - fu) * at(u0, v0 + 1) + fu * at(u0 + 1, v0 + 1));
    }
}

Mat3 Truth(int k)
{
    return PlacementMatrix(std::remainder(k * 45 * kDeg, 2 * kPi), kPitch, 0);
}

Image* Render(const Image& pano, int k, const double* gainEv)
{
    auto* view = new Image(kW, kH, 3);
    const Mat3 place = Truth(k);
    const double gain = std::pow(2.0, gainEv[k]);
    for (int y = 0; y < kH; ++y) {
        unsigned char* row = view->GetData() + static_cast<size_t>(y) * view->GetRowByte();
        for (int x = 0; x < kW; ++x) {
            double s[3];
            SampleSource(pano, Apply(place, Vec3{(x + 0.5 - kW / 2.0) / kFocal, (y + 0.5 - kH / 2.0) / kFocal, 1.0}), s);
            for (int c = 0; c < 3; ++c) row[3 * x + c] = static_cast<unsigned char>(std::clamp(std::lround(gain * s[c]), 0L, 255L));
        }
    }
    return view;
}

// Whether a world direction falls inside one of the views (a margin in).
bool SeenByAView(const Vec3& w)
{
    for (int k = 0; k < kViews; ++k) {
        const Vec3 c = Apply(Transpose(Truth(k)), w);
        if (c.z <= 0) continue;
        const double x = kFocal * c.x / c.z + kW / 2.0, y = kFocal * c.y / c.z + kH / 2.0;
        if (x > 2 && y > 2 && x < kW - 2 && y < kH - 2) return true;
    }
    return false;
}

class RingBlendTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(testkit::RequireTool("djpeg"));
        ASSERT_TRUE(testkit::RequireTool("cjpeg"));
        std::filesystem::create_directories(ProgramDir());
        std::filesystem::create_symlink(SWELDER_PROGRAM, ProgramDir() + "/Swelder");
        std::filesystem::create_symlink(HOLLET_PROGRAM, ProgramDir() + "/Hollet");
        ASSERT_TRUE(Start());
        LogBase::SetAppDir0Override(ProgramDir());
        InstallStitchServices();  // Hollet, as a run of the application
        ClearMatchingRequest();
        const std::string ppm = Home().file("pano.ppm");
        ASSERT_EQ(testkit::Run("djpeg -scale 1/2 -pnm -outfile '" + ppm + "' '" +
                               testkit::TestData("pannellum/examplepano.jpg").string() + "'")
                      .status,
                  0);
        m_pano = testkit::ReadPnm(ppm);
        ASSERT_NE(m_pano, nullptr);
        for (int k = 0; k < kViews; ++k) {
            Image* view = Render(*m_pano, k, m_gainEv);
            const std::string name = Home().file("view" + std::to_string(k) + ".jpg");
            const std::string viewPpm = Home().file("view.ppm");
            ASSERT_TRUE(testkit::WritePnm(*view, viewPpm));
            ASSERT_EQ(testkit::Run("cjpeg -quality 95 -outfile '" + name + "' '" + viewPpm + "'").status, 0);
            auto* stamp = new Image(64, 48, 3);
            Manager().AddImageFrame(stamp, name.c_str(), nullptr);
            ImageFrame* frame = Manager().FindImageFrame(name.c_str());
            ASSERT_NE(frame, nullptr);
            frame->SetImage(view, false);
            ReleaseImage(view);
            frame->SetBeamDownState(true);
        }
    }
    void TearDown() override
    {
        win::JoinWorkerThreads(60000);
        ReleaseImage(m_pano);
        LogBase::SetAppDir0Override("");
        AppTest::TearDown();
    }
    ImageChain& Chain() { return *Manager().GetChain(); }
    CStitchBar& Bar() { return *Manager().GetStitchBar(); }
    TRANSFORM_RS& Params(int k) { return *Chain().GetFrame(k)->GetImgInfo()->GetParams(); }

    bool PumpUntilIdle(int limitMs) { return PumpUntilStitchIdle(Manager(), limitMs); }

    // The solved world (as the frames' placements give it) to the truth.
    Mat3 SolvedToTruth(int k) { return Multiply(Truth(k), Transpose(PlacementMatrix(Params(k).pan, Params(k).tilt, Params(k).roll))); }

    // The map's frame to the truth: the leveling rotation the blend applied
    // to frame 0, then frame 0's solved placement, back to its truth.
    Mat3 MapToTruth()
    {
        float level[9], saved[3];
        ImageFrame* f0 = Chain().GetFrame(0);
        if (!Manager().ComputeLevelingMatrix(level)) return SolvedToTruth(0);
        RotateFrameByMatrix(level, saved, f0);
        const Mat3 m = SolvedToTruth(0);
        RestoreFrameAngles(saved, f0);
        return m;
    }

    // Compares the map with the source (one gain per channel), and measures
    // the steps across the seams against the source's own; levels.
    void CompareMap(double& meanDiff, double& seamStep, long& samples)
    {
        WorldMap* map = Manager().GetImageGroup(false)->GetRectWorldMap(false);
        ASSERT_NE(map, nullptr);
        const Mat3 toTruth = MapToTruth();
        const RECT* block = map->GetMapRect();
        const int W = map->GetWidth(), H = map->GetHeight();
        const int64_t vc = map->GetViewCenter_int();
        const int bw = block->right - block->left + 1, bh = block->bottom - block->top + 1;
        std::vector<double> got, want;
        std::vector<Vec3> where;
        std::vector<std::pair<int, int>> at;
        for (int y = 0; y < bh; y += 2) {
            const WorldMapBase::ScanLine* line = map->GetScanLine(y + block->top);
            for (int x = 0; x < bw; x += 2) {
                const double lon = (x + line->m_first - W / 2 + vc) * 2 * kPi / W;
                const double lat = (y + block->top - H / 2) * 2 * kPi / W;
                const Vec3 w = Apply(toTruth, SphereToRay(lon, lat));
                if (!SeenByAView(w)) continue;
                const uint8_t* p = map->GetData() + static_cast<size_t>(y) * map->GetRowBytes() + 3 * x;
                double s[3];
                SampleSource(*m_pano, w, s);
                for (int c = 0; c < 3; ++c) {
                    got.push_back(p[c]);
                    want.push_back(s[c]);
                }
            }
        }
        samples = static_cast<long>(got.size() / 3);
        ASSERT_GT(samples, 1000);
        double gain[3];
        for (int c = 0; c < 3; ++c) {
            double gw = 0, ww = 0;
            for (size_t i = c; i < got.size(); i += 3) gw += got[i] * want[i], ww += want[i] * want[i];
            gain[c] = gw / ww;
        }
        double sum = 0;
        for (size_t i = 0; i < got.size(); ++i) sum += std::abs(got[i] - gain[i % 3] * want[i]);
        meanDiff = sum / got.size();

        // Seams: the division lines lie between neighbouring views' centres.
        // Along each, 4 samples either side: the map's step beside the
        // source's (gain-fitted) step at the same place.
        const Mat3 fromTruth = Transpose(toTruth);
        double stepSum = 0;
        long steps = 0;
        for (int k = 0; k < kViews; ++k) {
            for (double latDeg = -25; latDeg <= 5; latDeg += 0.5) {
                const Vec3 w = Apply(PlacementMatrix((k + 0.5) * 45 * kDeg, 0, 0), SphereToRay(0, latDeg * kDeg));
                double lon, lat;
                RayToSphere(Apply(fromTruth, w), lon, lat);
                const int row = static_cast<int>(std::lround(lat * W / (2 * kPi))) + H / 2 - block->top;
                const WorldMapBase::ScanLine* line = map->GetScanLine(row + block->top);
                if (!line || row < 0 || row >= bh) continue;
                const int col = static_cast<int>(std::lround(lon * W / (2 * kPi))) + W / 2 - static_cast<int>(vc) - line->m_first;
                if (col - 4 < 0 || col + 4 >= bw) continue;
                for (int c = 0; c < 3; ++c) {
                    auto mapAt = [&](int x) {
                        return double(map->GetData()[static_cast<size_t>(row) * map->GetRowBytes() + 3 * x + c]);
                    };
                    auto srcAt = [&](int x) {
                        const double lo = (x + line->m_first - W / 2 + vc) * 2 * kPi / W;
                        const double la = (row + block->top - H / 2) * 2 * kPi / W;
                        double s[3];
                        SampleSource(*m_pano, Apply(toTruth, SphereToRay(lo, la)), s);
                        return gain[c] * s[c];
                    };
                    double ml = 0, mr = 0, sl = 0, sr = 0;
                    for (int d = 1; d <= 4; ++d) {
                        ml += mapAt(col - d), mr += mapAt(col + d);
                        sl += srcAt(col - d), sr += srcAt(col + d);
                    }
                    stepSum += std::abs((mr - ml) - (sr - sl)) / 4;
                    ++steps;
                }
            }
        }
        ASSERT_GT(steps, 100);
        seamStep = stepSum / steps;
    }

    // Stitches the ring through the Stitch button, the loop marked in the
    // tray before the run so Hollet matches the closing pair too.
    void StitchRing()
    {
        Manager().GetStitchSettings()->focalType = 0;  // the 35-mm default guess to start from
        Manager().GetImageTray()->GetHost()->SetLoop(true);
        Bar().PostMessage(WM_COMMAND, CStitchBar::kStitch, 0);
        ASSERT_TRUE(PumpUntilIdle(300000));
    }

    // A perspective render of the project against the source rendered
    // directly (one gain per channel): looking at truth pan 100 degrees, up
    // as the ring, 60 degrees wide (a level look would reach below the
    // ring's lower edge); mean absolute difference in levels.
    double PerspectiveDifference()
    {
        const Mat3 viewTruth = PlacementMatrix(100 * kDeg, kPitch, 0);
        const Mat3 viewSolved = Multiply(Transpose(SolvedToTruth(0)), viewTruth);
        double pan, tilt, roll;
        PlacementAngles(viewSolved, pan, tilt, roll);
        Image* picture = new Image(320, 200, 3);
        POINT2 dir{static_cast<float>(pan), static_cast<float>(tilt)};
        const float fov = static_cast<float>(60 * kDeg);
        const bool rendered = Manager().RenderPerspectiveView(picture, &dir, static_cast<float>(roll), fov);
        EXPECT_TRUE(rendered);
        const double pixelAngle = std::tan(fov / 2.0) / 160;
        std::vector<double> got, want;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 320; ++x) {
                double s[3];
                SampleSource(*m_pano, Apply(viewTruth, Vec3{(x - 160) * pixelAngle, (y - 100) * pixelAngle, 1}), s);
                for (int c = 0; c < 3; ++c) {
                    got.push_back(picture->GetData()[static_cast<size_t>(y) * picture->GetRowByte() + 3 * x + c]);
                    want.push_back(s[c]);
                }
            }
        ReleaseImage(picture);
        if (!rendered) return 255.0;
        double sum = 0;
        for (int c = 0; c < 3; ++c) {
            double gw = 0, ww = 0;
            for (size_t i = c; i < got.size(); i += 3) gw += got[i] * want[i], ww += want[i] * want[i];
            for (size_t i = c; i < got.size(); i += 3) sum += std::abs(got[i] - gw / ww * want[i]);
        }
        return sum / got.size();
    }

    // Every photo placed and the loop closed, the markers' residuals and the
    // poses against the truth.
    void CheckGeometry()
    {
        int merged = 0;
        for (int k = 0; k < kViews; ++k) {
            Neighbor* link = Chain().GetFrame(k)->FindNeighbor(Chain().GetFrame((k + 1) % kViews));
            merged += link && link->IsMerged();
        }
        ASSERT_EQ(merged, kViews);
        EXPECT_TRUE(Manager().GetTrayState());
        // Residuals the alignment wrote into every link's Hollet markers.
        double sq = 0;
        long markers = 0;
        for (int k = 0; k < kViews; ++k) {
            Marker* ma = nullptr;
            Marker* mb = nullptr;
            Chain().GetFrame(k)->GetAutoMarker(Chain().GetFrame((k + 1) % kViews), &ma, &mb);
            EXPECT_TRUE(ma && ma->GetNumbOfMarker() > 0) << "link " << k << " holds no markers";
            for (int i = 0; ma && i < ma->GetNumbOfMarker(); ++i) {
                const double r = ma->GetMarker()[i].error2;
                sq += r * r;
                ++markers;
            }
        }
        const double rms = markers ? std::sqrt(sq / markers) : -1;
        // Poses: each frame's rotation relative to frame 0 against the truth's.
        double worstPose = 0;
        const Mat3 p0 = PlacementMatrix(Params(0).pan, Params(0).tilt, Params(0).roll);
        for (int k = 1; k < kViews; ++k) {
            const Mat3 solved = Multiply(Transpose(p0), PlacementMatrix(Params(k).pan, Params(k).tilt, Params(k).roll));
            const Mat3 truth = Multiply(Transpose(Truth(0)), Truth(k));
            const Vec3 d = ToRotationVector(Multiply(Transpose(truth), solved));
            worstPose = std::max(worstPose, std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z) / kDeg);
        }
        std::printf("ring: %d markers, residual RMS %.3f px, worst relative pose error %.3f degrees\n",
                    static_cast<int>(markers), rms, worstPose);
        EXPECT_GE(rms, 0.0);
        EXPECT_LT(rms, 1.0);
        EXPECT_LT(worstPose, 0.1);
    }

    // Blends in process and through the elastic blender with the settings as
    // they are, each compared with the source; then a perspective render.
    void CheckBlends()
    {
        for (bool elastic : {false, true}) {
            SCOPED_TRACE(elastic ? "elastic" : "in process");
            Manager().SetElasticBlend(elastic);
            Bar().PostMessage(WM_COMMAND, CStitchBar::kBlend, 0);
            ASSERT_TRUE(PumpUntilIdle(300000));
            ASSERT_TRUE(Manager().GetFlags() & kFlagBlendStage) << "the blend did not finish";
            double meanDiff = 0, seamStep = 0;
            long samples = 0;
            CompareMap(meanDiff, seamStep, samples);
            std::printf("%s blend: %ld samples, mean difference %.2f levels, seam step %.2f levels\n",
                        elastic ? "elastic" : "in-process", samples, meanDiff, seamStep);
            EXPECT_LT(meanDiff, 6.0);
            EXPECT_LT(seamStep, 3.0);
            // The crop lies inside the map's data.
            WorldMap* map = Manager().GetImageGroup(false)->GetRectWorldMap(false);
            const RECT crop = Manager().GetCropSelection();
            const RECT* block = map->GetMapRect();
            EXPECT_GE(crop.left, 0);
            EXPECT_GE(crop.top, 0);
            EXPECT_LE(crop.right, block->right - block->left);
            EXPECT_LE(crop.bottom, block->bottom - block->top);
            EXPECT_GT(crop.right - crop.left, (block->right - block->left) / 2);
        }

        const double render = PerspectiveDifference();
        std::printf("perspective render: mean difference %.2f levels\n", render);
        EXPECT_LT(render, 6.0);
    }

    const double* m_gainEv = kEqualEv;
    Image* m_pano = nullptr;
};

class GainRingBlendTest : public RingBlendTest {
protected:
    GainRingBlendTest() { m_gainEv = kSpreadEv; }
};

}  // namespace

TEST_F(RingBlendTest, RingStitchedAndBlendedThroughTheButtons)
{
    StitchRing();
    if (HasFatalFailure()) return;
    CheckGeometry();
    if (HasFatalFailure()) return;
    CheckBlends();
}

// Views shot at exposures within +-0.5 EV. Unbalanced, the map lies far
// from the source and its seams step; the balance (a gain and an offset per
// frame and channel from the overlaps) brings map, seams and the
// perspective render within the equal-exposure ring's tolerances, in both
// blend ways.
TEST_F(GainRingBlendTest, BalancedExposuresStitchAndBlendWithinTheTolerances)
{
    StitchRing();
    if (HasFatalFailure()) return;
    CheckGeometry();
    if (HasFatalFailure()) return;

    // The spread is real: without the balance the map misses the tolerance.
    Manager().GetBlendSettings()->autoBalance = 0;
    Bar().PostMessage(WM_COMMAND, CStitchBar::kBlend, 0);
    ASSERT_TRUE(PumpUntilIdle(300000));
    ASSERT_TRUE(Manager().GetFlags() & kFlagBlendStage) << "the blend did not finish";
    double meanDiff = 0, seamStep = 0;
    long samples = 0;
    CompareMap(meanDiff, seamStep, samples);
    if (HasFatalFailure()) return;
    std::printf("unbalanced blend: mean difference %.2f levels, seam step %.2f levels\n", meanDiff, seamStep);
    EXPECT_GT(meanDiff, 12.0);
    EXPECT_GT(seamStep, 3.0);

    Manager().GetBlendSettings()->autoBalance = 1;
    CheckBlends();
}
