// A whole stitch run on rendered photographs: a ring of eight views of a
// real equirectangular panorama (65 degrees wide, 45 degrees apart, 640 x 480)
// stitched through the Stitch button's posted command in automatic mode
// (the stitching core's own correlation search, the loop question answered
// Yes) and in marker mode (six exact user markers per pair).
#include "app/control/image_chain.h"
#include "app/control/stitch_driver.h"
#include "app/control/stitch_pair.h"
#include "app/control/stitch_wiring.h"
#include "app/control/super_manager.h"
#include "app/shell/image_tray_host.h"
#include "app/shell/pellicot.h"
#include "app/shell/stitch_bar.h"
#include "app/tests/app_test_fixture.h"
#include "app/tests/stitch_run_wait.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "platform/win/win_thread.h"
#include "platform/win/wnd.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr int kViews = 8, kW = 640, kH = 480;
const double kFocal = kW / 2.0 / std::tan(65.0 / 2 * kDeg);

// World ray of a camera ray for a frame panned right by `pan` (x right, y
// down, z forward).
void Turn(double pan, const double in[3], double out[3])
{
    out[0] = std::cos(pan) * in[0] + std::sin(pan) * in[2];
    out[1] = in[1];
    out[2] = -std::sin(pan) * in[0] + std::cos(pan) * in[2];
}

// The same for a frame pitched up by `pitch` first, then panned.
void Orient(double pan, double pitch, const double in[3], double out[3])
{
    const double up[3] = {in[0], std::cos(pitch) * in[1] - std::sin(pitch) * in[2],
                          std::sin(pitch) * in[1] + std::cos(pitch) * in[2]};
    Turn(pan, up, out);
}

// The pinhole view of an equirectangular panorama, bilinear sampling.
Image* Render(const Image& pano, double pan, double pitch = 0.0)
{
    auto* view = new Image(kW, kH, 3);
    const int pw = pano.GetWidth(), ph = pano.GetHeight();
    for (int y = 0; y < kH; ++y) {
        unsigned char* row = view->GetData() + static_cast<size_t>(y) * view->GetRowByte();
        for (int x = 0; x < kW; ++x) {
            const double ray[3] = {(x + 0.5 - kW / 2.0) / kFocal, (y + 0.5 - kH / 2.0) / kFocal, 1.0};
            double w[3];
            Orient(pan, pitch, ray, w);
            const double u = (std::atan2(w[0], w[2]) / (2 * kPi) + 0.5) * pw - 0.5;
            const double v = (std::atan2(w[1], std::hypot(w[0], w[2])) / kPi + 0.5) * ph - 0.5;
            const int u0 = static_cast<int>(std::floor(u)), v0 = static_cast<int>(std::floor(v));
            const double fu = u - u0, fv = v - v0;
            for (int c = 0; c < 3; ++c) {
                auto at = [&](int uu, int vv) {
                    uu = (uu % pw + pw) % pw;
                    vv = std::max(0, std::min(ph - 1, vv));
                    return double(pano.GetData()[static_cast<size_t>(vv) * pano.GetRowByte() + 3 * uu + c]);
                };
                const double s = (1 - fv) * ((1 - fu) * at(u0, v0) + fu * at(u0 + 1, v0)) +
                                 fv * ((1 - fu) * at(u0, v0 + 1) + fu * at(u0 + 1, v0 + 1));
                row[3 * x + c] = static_cast<unsigned char>(std::lround(s));
            }
        }
    }
    return view;
}

// Top-left pixel of view k+step seen at pixel (x, y) of view k.
void Carry(int from, int to, double x, double y, double& ox, double& oy)
{
    const double ray[3] = {(x - kW / 2.0) / kFocal, (y - kH / 2.0) / kFocal, 1.0};
    double w[3], c[3];
    Turn(from * 45 * kDeg, ray, w);
    Turn(-to * 45 * kDeg, w, c);
    ox = kFocal * c[0] / c[2] + kW / 2.0;
    oy = kFocal * c[1] / c[2] + kH / 2.0;
}

class RingTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(testkit::RequireTool("djpeg"));
        ASSERT_TRUE(Start());
        // The stitching core's own correlation search, or Hollet on the
        // views written as JPEG files (as a run of the application does).
        if (m_hollet) {
            ASSERT_TRUE(testkit::RequireTool("cjpeg"));
            InstallStitchServices();
        } else {
            SetStitchMatching(StitchMatching{});
        }
        ClearMatchingRequest();
        const std::string ppm = Home().file("pano.ppm");
        ASSERT_EQ(testkit::Run("djpeg -scale 1/2 -pnm -outfile '" + ppm + "' '" +
                               testkit::TestData("pannellum/examplepano.jpg").string() + "'")
                      .status,
                  0);
        Image* pano = testkit::ReadPnm(ppm);
        ASSERT_NE(pano, nullptr);
        for (int k = 0; k < kViews; ++k) {
            Image* view = Render(*pano, k * 45 * kDeg, m_pitch);
            std::string name = "/ring/" + std::to_string(k) + ".jpg";
            if (m_hollet) {
                name = Home().file("view" + std::to_string(k) + ".jpg");
                const std::string viewPpm = Home().file("view.ppm");
                ASSERT_TRUE(testkit::WritePnm(*view, viewPpm));
                ASSERT_EQ(testkit::Run("cjpeg -quality 95 -outfile '" + name + "' '" + viewPpm + "'").status, 0);
            }
            auto* stamp = new Image(64, 48, 3);
            Manager().AddImageFrame(stamp, name.c_str(), nullptr);
            ImageFrame* frame = Manager().FindImageFrame(name.c_str());
            ASSERT_NE(frame, nullptr);
            frame->SetImage(view, false);
            ReleaseImage(view);
            frame->SetBeamDownState(true);
        }
        ReleaseImage(pano);
        ASSERT_EQ(Chain().GetCount(), kViews);
    }
    void TearDown() override
    {
        win::JoinWorkerThreads(10000);
        AppTest::TearDown();
    }
    double m_pitch = 0.0;  // radians, every view alike
    bool m_hollet = false;
    ImageChain& Chain() { return *Manager().GetChain(); }
    CStitchBar& Bar() { return *Manager().GetStitchBar(); }

    void PressStitch() { Bar().PostMessage(WM_COMMAND, CStitchBar::kStitch, 0); }

    bool PumpUntilIdle(int limitMs) { return PumpUntilStitchIdle(Manager(), limitMs); }

    // Every frame's pan against the truth, frame 0 fixed; degrees.
    double WorstPanError()
    {
        const double pan0 = Chain().GetFrame(0)->GetImgInfo()->GetParams()->pan;
        double worst = 0;
        for (int k = 0; k < kViews; ++k) {
            const TRANSFORM_RS* rs = Chain().GetFrame(k)->GetImgInfo()->GetParams();
            double d = std::remainder(rs->pan - pan0 - k * 45 * kDeg, 2 * kPi);
            worst = std::max({worst, std::fabs(d), std::fabs(double(rs->tilt)), std::fabs(double(rs->roll))});
        }
        return worst / kDeg;
    }

    int MergedLinks()
    {
        int merged = 0;
        for (int k = 0; k < kViews; ++k) {
            Neighbor* link = Chain().GetFrame(k)->FindNeighbor(Chain().GetFrame((k + 1) % kViews));
            merged += link && link->IsMerged();
        }
        return merged;
    }
};

}  // namespace

TEST_F(RingTest, AutomaticModeThroughTheStitchButton)
{
    Manager().GetStitchSettings()->focalType = 0;
    Prompter().ExpectMessageBox(
        "It seems that the first and the last images have overlap\n(the panorama is a loop). Please confirm.", IDYES);
    PressStitch();
    ASSERT_TRUE(PumpUntilIdle(120000));
    EXPECT_EQ(MergedLinks(), kViews);
    EXPECT_TRUE(Manager().GetTrayState());
    const double error = WorstPanError();
    std::printf("ring, automatic: worst angle error %.3f degrees, focal %.1f (truth %.1f)\n", error,
                1 / Chain().GetFrame(3)->GetImgInfo()->GetParams()->rcpFocal, kFocal);
    // The global alignment after every pair refines all frames at once.
    EXPECT_LT(error, 0.3);
    EXPECT_NEAR(1 / Chain().GetFrame(3)->GetImgInfo()->GetParams()->rcpFocal, kFocal, kFocal * 0.005);
}

TEST_F(RingTest, MarkerModeStitchesEveryPairInline)
{
    Manager().SetAutomaticMode(false);
    Manager().GetStitchSettings()->focalType = 0;
    Manager().GetImageTray()->GetHost()->SetLoop(true);
    // Six exact pairs per neighbouring pair, the loop pair included.
    for (int k = 0; k < kViews; ++k) {
        ImageFrame* a = Chain().GetFrame(k);
        ImageFrame* b = Chain().GetFrame((k + 1) % kViews);
        a->AddNeighbor(b);
        auto* ma = new Marker();
        auto* mb = new Marker();
        const double xs[6] = {470, 520, 600, 480, 560, 620}, ys[6] = {60, 240, 420, 330, 130, 300};
        for (int i = 0; i < 6; ++i) {
            double bx, by;
            Carry(k, k + 1, xs[i], ys[i], bx, by);
            ma->AppendMarker(static_cast<float>(xs[i]), static_cast<float>(ys[i]));
            mb->AppendMarker(static_cast<float>(bx), static_cast<float>(by));
        }
        a->FindNeighbor(b)->SetMarkers(ma);
        b->FindNeighbor(a)->SetMarkers(mb);
    }
    for (int press = 0; press < kViews; ++press) {
        SCOPED_TRACE(press);
        PressStitch();
        ASSERT_TRUE(PumpUntilIdle(20000));
        EXPECT_EQ(MergedLinks(), press + 1);
    }
    const double error = WorstPanError();
    std::printf("ring, markers: worst angle error %.3f degrees\n", error);
    EXPECT_LT(error, 0.3);
}

// The ring pitched up by 10 degrees, matched by Hollet on the views written
// as JPEG files, the loop marked in the tray before the run (so Hollet
// matches the closing pair too). Pitched views turn against each other
// inside the image (about 8 degrees between neighbours), which a
// translation-only correlation search does not follow; Hollet's features do.
class PitchedRingTest : public RingTest {
protected:
    PitchedRingTest()
    {
        m_pitch = 10 * kDeg;
        m_hollet = true;
    }
    // Root mean square of the residuals the solver wrote into the markers
    // of the link from frame k to the next.
    double ResidualRms(int k)
    {
        Marker* ma = nullptr;
        Marker* mb = nullptr;
        Chain().GetFrame(k)->GetAutoMarker(Chain().GetFrame((k + 1) % kViews), &ma, &mb);
        if (!ma || ma->GetNumbOfMarker() == 0) return -1.0;
        double sum = 0;
        for (int i = 0; i < ma->GetNumbOfMarker(); ++i) sum += double(ma->GetMarker()[i].error2) * ma->GetMarker()[i].error2;
        return std::sqrt(sum / ma->GetNumbOfMarker());
    }
};

TEST_F(PitchedRingTest, HolletRingIsAlignedAndLevel)
{
    Manager().GetStitchSettings()->focalType = 0;  // the 35-mm default guess to start from
    Manager().GetImageTray()->GetHost()->SetLoop(true);
    PressStitch();
    ASSERT_TRUE(PumpUntilIdle(120000));
    ASSERT_EQ(MergedLinks(), kViews);

    // The views look up: a tilt of -10 degrees in the frames' parameters
    // (y down). Pans against frame 0's; tilts and rolls absolute, since the
    // final leveling fixed the vertical.
    const double pan0 = Chain().GetFrame(0)->GetImgInfo()->GetParams()->pan;
    double worstPan = 0, worstTilt = 0, worstRoll = 0, worstRms = 0;
    for (int k = 0; k < kViews; ++k) {
        SCOPED_TRACE(k);
        const TRANSFORM_RS* rs = Chain().GetFrame(k)->GetImgInfo()->GetParams();
        worstPan = std::max(worstPan, std::fabs(std::remainder(rs->pan - pan0 - k * 45 * kDeg, 2 * kPi)) / kDeg);
        worstTilt = std::max(worstTilt, std::fabs(rs->tilt + m_pitch) / kDeg);
        worstRoll = std::max(worstRoll, std::fabs(double(rs->roll)) / kDeg);
        EXPECT_NEAR(1 / rs->rcpFocal, kFocal, kFocal * 0.005);
        const double rms = ResidualRms(k);
        EXPECT_GE(rms, 0.0) << "the link holds no markers";
        worstRms = std::max(worstRms, rms);
    }
    std::printf("pitched ring, Hollet: worst pan %.3f, tilt %.3f, roll %.3f degrees; focal %.2f (truth %.2f); "
                "worst residual rms %.3f px\n",
                worstPan, worstTilt, worstRoll, 1 / Chain().GetFrame(0)->GetImgInfo()->GetParams()->rcpFocal, kFocal,
                worstRms);
    EXPECT_LT(worstPan, 0.1);
    EXPECT_LT(worstTilt, 0.1);
    EXPECT_LT(worstRoll, 0.1);
    EXPECT_LT(worstRms, 1.0);

    // The preview is redrawn after pairs 1, 2, 3 and 6 and once more when
    // the loop closes (the closing alignment counts pairs + 1).
    std::vector<int> redrawnAfter;
    int lastAlignment = -1;
    for (const SuperManager::DeferredCall& call : Manager().GetDeferredCalls()) {
        int n = 0, mode = 0, pairwise = 0;
        if (std::sscanf(call.name.c_str(), "PairToGlobal(%d,%d,%d)", &n, &mode, &pairwise) == 3) lastAlignment = n;
        if (call.name == "RemapPanorama(0)") redrawnAfter.push_back(lastAlignment);
    }
    EXPECT_EQ(redrawnAfter, (std::vector<int>{1, 2, 3, 6, 9}));
}
