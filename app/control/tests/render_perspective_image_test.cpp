// The perspective picture as a new image: the same pixels as the render
// into a target made by hand from the mapped arguments, and the refusals.
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
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace xformkit;

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;
constexpr int kW = 160, kH = 120;
constexpr float kRcp = 1.0f / 150.0f;

// A frame of a world whose brightness changes smoothly with direction.
Image* Shoot(double pan, double tilt)
{
    Image* img = new Image(kW, kH, 3);
    const Mat3 place = PlacementMatrix(pan, tilt, 0);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const Vec3 ray = Apply(place, Vec3{(x - kW / 2) * kRcp, (y - kH / 2) * kRcp, 1.0});
            double lon, lat;
            RayToSphere(ray, lon, lat);
            const auto v = static_cast<uint8_t>(std::lround(128 + 70 * std::sin(3 * lon) * std::cos(2 * lat)));
            uint8_t* p = img->GetData() + static_cast<size_t>(y) * img->GetRowByte() + 3 * x;
            p[0] = v;
            p[1] = static_cast<uint8_t>(255 - v);
            p[2] = static_cast<uint8_t>(v / 2 + 1);
        }
    return img;
}

bool NeverLoad(ImageFrame*, bool)
{
    return false;
}

class RenderPerspectiveImageTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        RegisterAppResources();
        m_manager = std::make_unique<SuperManager>();
        m_previous = GetSuperManager();
        SetSuperManager(m_manager.get());
        m_manager->SetFrameImageHooks(&NeverLoad, nullptr);
        m_manager->SetReductionCode(1);
    }
    void TearDown() override
    {
        CloseProgressDialog();
        SetSuperManager(m_previous);
        m_manager.reset();
        AppTest::TearDown();
    }
    void BuildPair()
    {
        ImageGroup* group = m_manager->GetImageGroup(true);
        for (int k = 0; k < 2; ++k) {
            const double pan = (k - 0.5) * 30 * kDeg;
            auto* frame = new ImageFrame();
            Image* image = Shoot(pan, 0);
            frame->SetImage(image, false);
            ReleaseImage(image);
            frame->SetBeamDownState(true);
            group->AppendImageFrame(frame);
            InitPanoramaPlacement(frame->GetImgInfo(), static_cast<float>(pan), 0.0f, 0.0f, kW / 2.0f, kH / 2.0f);
            frame->GetImgInfo()->GetParams()->rcpFocal = kRcp;
        }
        ImageFrame* a = group->GetImageFrame(0);
        ImageFrame* b = group->GetImageFrame(1);
        a->AddNeighbor(b);
        b->AddNeighbor(a);
        a->SetMerged(b);
    }
    std::unique_ptr<SuperManager> m_manager;
    SuperManager* m_previous = nullptr;
};

}  // namespace

TEST_F(RenderPerspectiveImageTest, GivesThePixelsOfTheRenderWithTheMappedArguments)
{
    BuildPair();
    Image* shown = new Image(150, 90, 3);
    const POINT2 direction{static_cast<float>(4 * kDeg), static_cast<float>(-2 * kDeg)};
    const float width = static_cast<float>(60 * kDeg), height = static_cast<float>(40 * kDeg);
    Image* picture = m_manager->RenderPerspectiveView(shown, width, height, &direction, 0.7f);
    ASSERT_NE(picture, nullptr);
    // 0.7 x 150 = 105 pixels across; the height by the two angles' tangents.
    ASSERT_EQ(picture->GetWidth(), 105);
    ASSERT_EQ(picture->GetHeight(), std::lround(105 * std::tan(height / 2.0) / std::tan(width / 2.0)));
    EXPECT_EQ(picture->GetChannels(), 3);

    Image* target = new Image(105, picture->GetHeight(), 3);
    POINT2 view = direction;
    ASSERT_TRUE(m_manager->RenderPerspectiveView(target, &view, 0.0f, width));
    EXPECT_TRUE(testkit::SamePixels(*target, *picture));
    ReleaseImage(target);
    ReleaseImage(picture);
    ReleaseImage(shown);
}

TEST_F(RenderPerspectiveImageTest, RefusesWithoutFramesOrWithAnglesOutOfRange)
{
    Image* shown = new Image(100, 60, 3);
    const POINT2 direction{0, 0};
    EXPECT_EQ(m_manager->RenderPerspectiveView(shown, 1.0f, 0.6f, &direction, 0.7f), nullptr);  // no frames
    BuildPair();
    struct Case {
        const char* what;
        const Image* shown;
        float width, height, factor;
    };
    const Case cases[] = {
        {"no region", nullptr, 1.0f, 0.6f, 0.7f},   {"half a turn wide", shown, 3.2f, 0.6f, 0.7f},
        {"no height", shown, 1.0f, 0.0f, 0.7f},     {"no factor", shown, 1.0f, 0.6f, 0.0f},
    };
    for (const Case& c : cases) {
        LogCapture log;
        EXPECT_EQ(m_manager->RenderPerspectiveView(c.shown, c.width, c.height, &direction, c.factor), nullptr) << c.what;
        EXPECT_TRUE(log.contains("ERROR SuperManager::RenderPerspectiveView")) << c.what;
    }
    ReleaseImage(shown);
}
