// The viewer on the real test panorama: what the headless client surface
// shows against the view engine's own frame for the same angles (perspective
// mode), against the decoded panorama (flat mode at zoom 1), and the
// half-size frames while dragging with the full-size frame after release.
#include "viewer/vistrel/tests/vistrel_test_support.h"

#include "platform/win/message_queue.h"
#include "platform/win/window_dc.h"
#include "viewer/engine/panorama_reader.h"
#include "viewer/engine/tests/engine_test_support.h"

namespace {

using enginetest::ImagePtr;
using V = CVistrelView;

class VistrelRealPixelsTest : public VistrelTest {
protected:
    std::string Panorama()
    {
        return vistreltest::WithDescriptor(vistreltest::RealPanorama(), m_dir.file("pano.jpg"), "kqvz", 4096, 0, 0);
    }

    // The engine's frame at the view's angles, rendered on faces of its own.
    ImagePtr EngineFrame(int width, int height, bool bilinear)
    {
        const V& v = *View();
        ImagePtr frame(new Image());
        EXPECT_EQ(frame->BmpInit(width, height, 3), 0);
        CViewFaceList faces;
        EXPECT_TRUE(faces.Init(Doc()->worldMap, v.zoom, frame.get()));
        CViewParams params;
        int x0, y0, x1, y1, w, h;
        Doc()->worldMap->GetDataArea(x0, y0, x1, y1, w, h);
        params.SetLimitsFromMap(x0, x1, y0, y1 - 1, Doc()->worldMap->GetWidth());
        params.SetFov(v.fov, static_cast<float>(height) / static_cast<float>(width));
        const float* angles = v.viewParams->GetAngles();
        params.yaw = angles[0], params.pitch = angles[1], params.roll = angles[2];
        faces.Render(&params, v.fov, params.roll, bilinear, false, true);
        return frame;
    }

    // Pixels of the client capture (B, G, R) at `origin` that differ from `picture`.
    static long Differing(const Image& capture, const Image& picture, POINT origin)
    {
        long differing = 0;
        for (int y = 0; y < picture.GetHeight(); ++y) {
            const unsigned char* a = capture.GetData() + static_cast<size_t>(y + origin.y) * capture.GetRowByte() +
                                     static_cast<size_t>(origin.x) * 3;
            const unsigned char* b = picture.GetData() + static_cast<size_t>(y) * picture.GetRowByte();
            for (int x = 0; x < picture.GetWidth() * 3; x += 3)
                differing += (a[x] != b[x] || a[x + 1] != b[x + 1] || a[x + 2] != b[x + 2]) ? 1 : 0;
        }
        return differing;
    }

    ImagePtr Capture()
    {
        win::PaintAll();
        return ImagePtr(win::CaptureWindow(View()->m_hWnd));
    }

    testkit::TempDir m_dir;
};

TEST_F(VistrelRealPixelsTest, PerspectiveClientEqualsTheEngineFrameAndDragsAtHalfSize)
{
    win::Clock::UseManual(true);
    ASSERT_TRUE(Start({Panorama(), "-m", "p"}));
    ASSERT_NE(Doc()->worldMap, nullptr);
    V& v = *View();
    ASSERT_EQ(v.Mode(), V::kPerspective);
    ASSERT_GT(v.srcW, 1024);  // frames are halved while moving
    {
        const ImagePtr shown = Capture();
        ASSERT_TRUE(shown);
        const ImagePtr frame = EngineFrame(v.srcW, v.srcH, true);
        EXPECT_EQ(Differing(*shown, *frame, POINT{v.destX, v.destY}), 0);
    }

    // A drag: half-size nearest frames while it moves.
    const int x = v.destX + 40, y = v.destY + 40;
    v.PostMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKEPOINTLPARAM(x, y));
    v.PostMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKEPOINTLPARAM(x + 80, y));
    win::PumpPendingMessages();
    ASSERT_TRUE(v.flags & V::kHalfSize);
    win::Clock::Advance(33);
    win::PumpPendingMessages();
    EXPECT_EQ(v.viewImage->GetWidth(), v.srcW / 2);
    EXPECT_EQ(v.viewImage->GetHeight(), v.srcH / 2);
    {
        const ImagePtr half = EngineFrame(v.srcW / 2, v.srcH / 2, false);
        EXPECT_EQ(std::memcmp(half->GetData(), v.viewImage->GetData(), half->GetDataSize()), 0);
    }
    const float yawAfterOneTick = v.viewParams->GetAngles()[0];
    EXPECT_NEAR(yawAfterOneTick, 80 * 0.0005f, 1e-5f);

    // Release after more than 5 pixels: the spin goes on, and one full-size
    // bilinear frame is shown.
    v.PostMessage(WM_LBUTTONUP, 0, MAKEPOINTLPARAM(x + 80, y));
    win::PumpPendingMessages();
    EXPECT_TRUE(win::MessageQueue::Get().HasTimer(v.m_hWnd, 1));
    EXPECT_EQ(v.flags & V::kHalfSize, 0u);
    EXPECT_EQ(v.viewImage->GetWidth(), v.srcW);
    {
        const ImagePtr shown = Capture();
        const ImagePtr frame = EngineFrame(v.srcW, v.srcH, true);
        EXPECT_EQ(Differing(*shown, *frame, POINT{v.destX, v.destY}), 0);
    }
}

TEST_F(VistrelRealPixelsTest, FlatModeShowsThePanoramasMiddleAtZoomOne)
{
    const std::string path = Panorama();
    ASSERT_TRUE(Start({path}));
    V& v = *View();
    ASSERT_EQ(v.Mode(), V::kPanorama);
    ASSERT_FLOAT_EQ(v.zoom, 1.0f);
    Image* raw = nullptr;
    ASSERT_EQ(viewengine::LoadImageWMapBaseEx(vistreltest::RealPanorama().c_str(), &raw, nullptr, true, false), 1);
    ImagePtr photo(raw);
    // The window shows the middle: equal margins of the picture left out.
    EXPECT_EQ(v.destX, 0);
    EXPECT_EQ(v.srcX, (photo->GetWidth() - ClientSize().cx) / 2);
    EXPECT_EQ(v.srcY, (photo->GetHeight() - ClientSize().cy) / 2);
    const ImagePtr shown = Capture();
    ASSERT_TRUE(shown);
    ImagePtr middle(new Image());
    ASSERT_EQ(middle->BmpInit(v.srcW, v.srcH, 3), 0);
    photo->CopyDataTo(v.srcX, v.srcX + v.srcW - 1, v.srcY, v.srcY + v.srcH - 1, middle.get(), 0, 0);
    EXPECT_EQ(Differing(*shown, *middle, POINT{0, 0}), 0);
}

}  // namespace
