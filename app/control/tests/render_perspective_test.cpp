// The manager's perspective render on frames shot from a world painted by a
// smooth function: the rendered picture against the world seen directly
// through the viewport, the reload of frames loaded too small, the failed
// reload, Cancel between frames, and the refusals.
#include "app/control/progress_dlg.h"
#include "app/control/super_manager.h"
#include "app/shell/app_resources.h"
#include "app/tests/app_test_fixture.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "platform/xformkit/camera_model.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

using namespace xformkit;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr int kW = 160, kH = 120;      // frames as loaded (half size: code 3)
constexpr float kRcp = 1.0f / 150.0f;  // of the loaded frames

double World(const Vec3& ray)
{
    double lon, lat;
    RayToSphere(ray, lon, lat);
    return 128.0 + 70.0 * std::sin(3 * lon) * std::cos(2 * lat) + 30.0 * std::sin(5 * lat);
}

Vec3 Normalised(Vec3 v)
{
    const double n = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / n, v.y / n, v.z / n};
}

// A frame picture of w x h shot from the world at pan/tilt with reciprocal
// focal length rcp, the optical centre at the picture's centre.
Image* Shoot(double pan, double tilt, int w, int h, double rcp)
{
    Image* img = new Image(w, h, 3);
    const Mat3 place = PlacementMatrix(pan, tilt, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Vec3 ray = Apply(place, Vec3{(x - w / 2) * rcp, (y - h / 2) * rcp, 1.0});
            const auto v = static_cast<uint8_t>(std::lround(std::clamp(World(Normalised(ray)), 1.0, 255.0)));
            uint8_t* p = img->GetData() + static_cast<size_t>(y) * img->GetRowByte() + 3 * x;
            p[0] = p[1] = p[2] = v;
        }
    }
    return img;
}

// What the loader double does on each call (set per test).
std::function<bool(ImageFrame*, bool)> g_load;
bool Load(ImageFrame* frame, bool correct)
{
    return g_load(frame, correct);
}

class RenderPerspectiveTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        RegisterAppResources();  // the progress dialog's template
        m_manager = std::make_unique<SuperManager>();
        m_previous = GetSuperManager();
        SetSuperManager(m_manager.get());
        m_manager->SetFrameImageHooks(&Load, nullptr);
        g_load = [](ImageFrame*, bool) { return false; };
    }
    void TearDown() override
    {
        CloseProgressDialog();
        SetSuperManager(m_previous);
        m_manager.reset();
        g_load = nullptr;
        AppTest::TearDown();
    }

    // Four frames 35 degrees apart, linked in a chain and merged.
    void BuildRow()
    {
        ImageGroup* group = m_manager->GetImageGroup(true);
        for (int k = 0; k < 4; ++k) {
            const double pan = (k - 1.5) * 35 * kDeg, tilt = (k % 2 ? 3 : -2) * kDeg;
            auto* frame = new ImageFrame();
            Image* image = Shoot(pan, tilt, kW, kH, kRcp);
            frame->SetImage(image, false);
            ReleaseImage(image);
            frame->SetBeamDownState(true);
            group->AppendImageFrame(frame);
            InitPanoramaPlacement(frame->GetImgInfo(), static_cast<float>(pan), static_cast<float>(tilt), 0.0f,
                                  kW / 2.0f, kH / 2.0f);
            frame->GetImgInfo()->GetParams()->rcpFocal = kRcp;
            m_pans.push_back(pan);
            m_tilts.push_back(tilt);
        }
        for (int k = 0; k + 1 < 4; ++k) {
            Frame(k)->AddNeighbor(Frame(k + 1));
            Frame(k + 1)->AddNeighbor(Frame(k));
            Frame(k)->SetMerged(Frame(k + 1));
        }
    }

    ImageFrame* Frame(int k) { return m_manager->GetImageGroup(false)->GetImageFrame(k); }
    TRANSFORM_RS& Params(int k) { return *Frame(k)->GetImgInfo()->GetParams(); }

    // Mean and largest difference of the picture from the world seen through
    // the view (pan, tilt, no roll, fov across the width), over covered pixels.
    static void Compare(const Image* img, double pan, double tilt, double fov, double& mean, double& worst)
    {
        const int w = img->GetWidth(), h = img->GetHeight();
        const Mat3 view = PlacementMatrix(pan, tilt, 0);
        const double pixelAngle = std::tan(fov / 2) / (w / 2);
        double sum = 0;
        worst = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const int got = img->GetData()[static_cast<size_t>(y) * img->GetRowByte() + 3 * x];
                const double want = World(Normalised(Apply(view, Vec3{(x - w / 2) * pixelAngle, (y - h / 2) * pixelAngle, 1})));
                sum += std::abs(got - want);
                worst = std::max(worst, std::abs(got - want));
            }
        }
        mean = sum / (w * h);
    }

    std::unique_ptr<SuperManager> m_manager;
    SuperManager* m_previous = nullptr;
    std::vector<double> m_pans, m_tilts;
};

}  // namespace

TEST_F(RenderPerspectiveTest, RendersTheWorldSeenThroughTheView)
{
    BuildRow();
    m_manager->SetReductionCode(1);  // loaded at full size: never reloaded
    Image* target = new Image(200, 100, 3);
    POINT2 dir{static_cast<float>(5 * kDeg), static_cast<float>(1 * kDeg)};
    const float fov = static_cast<float>(80 * kDeg);
    ASSERT_TRUE(m_manager->RenderPerspectiveView(target, &dir, 0.0f, fov));
    double mean, worst;
    Compare(target, dir.x, dir.y, fov, mean, worst);
    // The view reaches a little past the frames' tops and bottoms: the
    // background fill extends the rows there, which costs a little.
    EXPECT_LT(mean, 2.0);
    EXPECT_EQ(GetProgressDialog(), nullptr);
    ReleaseImage(target);
}

TEST_F(RenderPerspectiveTest, FramesLoadedTooSmallAreReloadedAndPutBack)
{
    BuildRow();
    m_manager->SetReductionCode(3);  // loaded at half size
    std::vector<Image*> loaded;
    for (int k = 0; k < 4; ++k) loaded.push_back(Frame(k)->GetImage());
    std::vector<int> codesSeen;
    std::vector<float> rcpSeen;
    g_load = [&](ImageFrame* frame, bool correct) {
        EXPECT_TRUE(correct);  // the placements were solved on corrected images
        EXPECT_EQ(frame->GetImage(), nullptr);
        codesSeen.push_back(GetSuperManager()->GetReductionCode());
        int k = 0;
        while (Frame(k) != frame) ++k;
        rcpSeen.push_back(Params(k).rcpFocal);
        // The full-size picture (twice the loaded one), shot afresh.
        Image* big = Shoot(m_pans[k], m_tilts[k], 2 * kW, 2 * kH, kRcp / 2);
        frame->SetImage(big, false);
        ReleaseImage(big);
        frame->SetBeamDownState(false);
        return true;
    };
    // 400 pixels over 90 degrees: about 1.4 target pixels per loaded pixel,
    // so full size (code 1) is needed.
    Image* target = new Image(400, 200, 3);
    POINT2 dir{0.0f, 0.0f};
    const float fov = static_cast<float>(90 * kDeg);
    ASSERT_TRUE(m_manager->RenderPerspectiveView(target, &dir, 0.0f, fov));
    EXPECT_EQ(codesSeen, std::vector<int>(4, 1));
    for (float r : rcpSeen) EXPECT_FLOAT_EQ(r, kRcp * 0.5f);
    // Everything is put back as it was.
    EXPECT_EQ(m_manager->GetReductionCode(), 3);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(Frame(k)->GetImage(), loaded[k]);
        EXPECT_EQ(loaded[k]->m_refCount, 1);  // the frame's only: no reference leaked
        EXPECT_TRUE(Frame(k)->IsBeamDown());
        EXPECT_FLOAT_EQ(Params(k).rcpFocal, kRcp);
        EXPECT_FLOAT_EQ(Params(k).centreX, kW / 2.0f);
    }
    double mean, worst;
    Compare(target, 0, 0, fov, mean, worst);
    EXPECT_LT(mean, 2.0);
    ReleaseImage(target);
}

TEST_F(RenderPerspectiveTest, AFailedReloadBlendsTheLoadedImageAtItsOwnScale)
{
    BuildRow();
    m_manager->SetReductionCode(3);
    int calls = 0;
    g_load = [&](ImageFrame*, bool) { return ++calls, false; };
    Image* target = new Image(400, 200, 3);
    POINT2 dir{0.0f, 0.0f};
    const float fov = static_cast<float>(90 * kDeg);
    ASSERT_TRUE(m_manager->RenderPerspectiveView(target, &dir, 0.0f, fov));
    EXPECT_EQ(calls, 4);
    double mean, worst;
    Compare(target, 0, 0, fov, mean, worst);
    EXPECT_LT(mean, 2.5);  // coarser, but in place
    for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(Params(k).rcpFocal, kRcp);
    ReleaseImage(target);
}

TEST_F(RenderPerspectiveTest, CancelStopsAtTheNextFrameAndRestoresTheFrames)
{
    BuildRow();
    m_manager->SetReductionCode(3);
    std::vector<Image*> loaded;
    for (int k = 0; k < 4; ++k) loaded.push_back(Frame(k)->GetImage());
    int calls = 0;
    g_load = [&](ImageFrame* frame, bool) {
        ++calls;
        EXPECT_NE(GetProgressDialog(), nullptr);
        CancelProgress();  // the user presses Cancel while the first frame loads
        Image* big = Shoot(0, 0, 2 * kW, 2 * kH, kRcp / 2);
        frame->SetImage(big, false);
        ReleaseImage(big);
        return true;
    };
    Image* target = new Image(400, 200, 3);
    POINT2 dir{0.0f, 0.0f};
    EXPECT_FALSE(m_manager->RenderPerspectiveView(target, &dir, 0.0f, static_cast<float>(90 * kDeg)));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(GetProgressDialog(), nullptr);
    EXPECT_EQ(m_manager->GetReductionCode(), 3);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(Frame(k)->GetImage(), loaded[k]);
        EXPECT_FLOAT_EQ(Params(k).rcpFocal, kRcp);
    }
    ReleaseImage(target);
}

TEST_F(RenderPerspectiveTest, RefusesWithoutMergedFramesOrAFocalLength)
{
    Image* target = new Image(64, 32, 3);
    POINT2 dir{0.0f, 0.0f};
    EXPECT_FALSE(m_manager->RenderPerspectiveView(target, &dir, 0.0f, 1.0f));  // no group
    ImageGroup* group = m_manager->GetImageGroup(true);
    group->AppendImageFrame(new ImageFrame());
    group->AppendImageFrame(new ImageFrame());
    EXPECT_FALSE(m_manager->RenderPerspectiveView(target, &dir, 0.0f, 1.0f));  // nothing merged
    ReleaseImage(target);

    m_manager = std::make_unique<SuperManager>();
    SetSuperManager(m_manager.get());
    BuildRow();
    for (float bad : {0.0f, NAN, INFINITY}) {
        Params(0).rcpFocal = bad;
        LogCapture log;
        Image* picture = new Image(64, 32, 3);
        EXPECT_FALSE(m_manager->RenderPerspectiveView(picture, &dir, 0.0f, 1.0f));
        EXPECT_TRUE(log.contains("ERROR SuperManager::RenderPerspectiveView")) << log.text();
        EXPECT_EQ(GetProgressDialog(), nullptr);
        ReleaseImage(picture);
    }
}
