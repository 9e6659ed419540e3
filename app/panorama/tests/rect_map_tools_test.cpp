// The panorama view's tools driven by window messages: crop selection on a
// full circle, rolling, the leveling ruler (compared with matrix products
// written out here), the perspective region and picture, zoom steps, the
// print layout and the clipboard.
#include "app/panorama/rect_map_tools.h"
#include "app/panorama/rect_map_view.h"
#include "app/views/image_size_dlg.h"

#include "app/control/tool_state.h"
#include "app/tests/app_test_fixture.h"
#include "app/tests/presented_capture.h"
#include "app/tests/full_world_map.h"
#include "app/tests/panorama_app_test.h"
#include "app/views/image_doc.h"
#include "app/views/image_loaders.h"
#include "app/shell/web_print_upload_dlg.h"
#include "worldmap/bmp_cell.h"
#include "worldmap/bmp_layer.h"
#include "imaging/image.h"
#include "platform/mapproj/rect_img_rs.h"
#include "platform/win/clipboard.h"
#include "platform/win/controls.h"
#include "platform/xformkit/transform_euler.h"
#include "platform/win/dib.h"
#include "platform/win/present_x11/x11_presenter.h"
#include "platform/win/window_dc.h"
#include "testkit/testkit.h"
#include "viewkit/printing.h"
#include "worldmap/world_map.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <unistd.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr double kTwoPi = 6.283185307179586;

uint8_t Code(int row, int column, int channel)
{
    return static_cast<uint8_t>(1 + (row * 37 + column * 11 + channel * 101) % 251);
}

WorldMap* MakeCodedMap(int width = 160, int channels = 3)
{
    return MakeFullWorldMap(width, channels, [&](int r, int i, int c) { return Code(r, i, c); });
}

std::vector<uint8_t> Bytes(const Image* image)
{
    std::vector<uint8_t> out;
    for (int y = 0; y < image->GetHeight(); ++y) {
        const uint8_t* row = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
        out.insert(out.end(), row, row + static_cast<size_t>(image->GetWidth()) * image->GetChannels());
    }
    return out;
}

// ---- An independent rotation algebra: Rodrigues' formula and plain products.
using Mat = std::array<double, 9>;

Mat FromVector(const double v[3])
{
    const double t = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    Mat m{1, 0, 0, 0, 1, 0, 0, 0, 1};
    if (t == 0) return m;
    const double x = v[0] / t, y = v[1] / t, z = v[2] / t, c = std::cos(t), s = std::sin(t), C = 1 - c;
    m = {c + x * x * C,     x * y * C - z * s, x * z * C + y * s, y * x * C + z * s, c + y * y * C,
         y * z * C - x * s, z * x * C - y * s, z * y * C + x * s, c + z * z * C};
    return m;
}

Mat Times(const Mat& a, const Mat& b)
{
    Mat c{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) c[i * 3 + j] = a[i * 3] * b[j] + a[i * 3 + 1] * b[3 + j] + a[i * 3 + 2] * b[6 + j];
    return c;
}

std::array<double, 3> ToVector(const Mat& m)
{
    const double t = std::acos(std::clamp((m[0] + m[4] + m[8] - 1) / 2, -1.0, 1.0));
    if (t < 1e-12) return {0, 0, 0};
    const double k = t / (2 * std::sin(t));
    return {k * (m[7] - m[5]), k * (m[2] - m[6]), k * (m[3] - m[1])};
}

class PanoramaToolsTest : public PanoramaAppTest {
protected:
    CRectMapView* Open(WorldMap* map, bool final, bool fullCircle)
    {
        m_map = map;
        CRectMapView* view = OpenWindow(map);
        if (view) Announce(map, final, fullCircle);
        return view;
    }

    // A mouse message at a point of the view (screen-bitmap pixels at zoom 1).
    static void Mouse(CRectMapView* view, UINT message, int x, int y, UINT flags = 0)
    {
        int ox = 0, oy = 0;
        view->GetOffset(ox, oy);
        const CPoint scroll = view->GetScrollPosition();
        const int cx = x + ox - scroll.x, cy = y + oy - scroll.y;
        view->SendMessage(message, flags, MAKELPARAM(static_cast<uint16_t>(cx), static_cast<uint16_t>(cy)));
    }
    static void Drag(CRectMapView* view, std::vector<POINT> points, UINT flags = 0)
    {
        Mouse(view, WM_LBUTTONDOWN, points.front().x, points.front().y, flags | MK_LBUTTON);
        for (size_t i = 1; i < points.size(); ++i) Mouse(view, WM_MOUSEMOVE, points[i].x, points[i].y, flags | MK_LBUTTON);
        Mouse(view, WM_LBUTTONUP, points.back().x, points.back().y, flags);
    }
    static void Command(CRectMapView* view, UINT id) { view->SendMessage(WM_COMMAND, id, 0); }

    WorldMap* m_map = nullptr;
};

}  // namespace

// ---- Crop --------------------------------------------------------------------------------

TEST_F(PanoramaToolsTest, FullCircleCropSelectionSpansTheWidthUnlessShiftWasHeld)
{
    CRectMapView* view = Open(MakeCodedMap(), true, true);
    ASSERT_NE(view, nullptr);
    const std::vector<uint8_t> original = Bytes(view->GetScreen());
    Command(view, CRectMapView::kSelectCropCommand);
    ASSERT_EQ(GetCurrentTool(), 33001);

    struct Case {
        const char* what;
        UINT flags;
        RECT want;
        bool free;
    };
    const Case cases[] = {
        {"plain drag from the middle", 0, RECT{0, 30, 159, 50}, false},
        {"with Shift", MK_SHIFT, RECT{80, 30, 100, 50}, true},
        {"with Ctrl", MK_CONTROL, RECT{80, 30, 100, 50}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mouse(view, WM_LBUTTONDBLCLK, 80, 40);  // no selection, bit 1 cleared
        EXPECT_FALSE(view->HasSelectionRect());
        EXPECT_EQ(view->GetStateBits() & CRectMapView::kFreeSelection, 0);
        Drag(view, {{80, 30}, {90, 40}, {100, 50}}, c.flags);
        ASSERT_TRUE(view->HasSelectionRect());
        const RECT* s = view->GetSelectionRect();
        EXPECT_EQ(s->left, c.want.left);
        EXPECT_EQ(s->top, c.want.top);
        EXPECT_EQ(s->right, c.want.right);
        EXPECT_EQ(s->bottom, c.want.bottom);
        EXPECT_EQ((view->GetStateBits() & CRectMapView::kFreeSelection) != 0, c.free);
    }

    // On the full circle a corner handle does not reshape the selection.
    Mouse(view, WM_LBUTTONDBLCLK, 80, 40);
    Drag(view, {{80, 30}, {100, 50}});
    Drag(view, {{159, 50}, {120, 70}});
    const RECT* s = view->GetSelectionRect();
    EXPECT_EQ(s->left, 0);
    EXPECT_EQ(s->right, 159);
    EXPECT_EQ(s->bottom, 50);
    EXPECT_FALSE(view->IsInDragWndRectState());
    // The bottom edge handle still moves.
    Drag(view, {{80, 50}, {80, 60}});
    EXPECT_EQ(view->GetSelectionRect()->bottom, 60);

    // Crop and crop again: the full panorama byte for byte.
    Command(view, CRectMapView::kCropCommand);
    EXPECT_NE(view->GetMode() & CRectMapView::cropped, 0);
    const Image* screen = view->GetScreen();
    EXPECT_EQ(screen->GetData()[static_cast<size_t>(10) * screen->GetRowByte()], 0);  // row 10 lies outside
    EXPECT_EQ(screen->GetData()[static_cast<size_t>(40) * screen->GetRowByte()], Code(40, 0, 0));
    Command(view, CRectMapView::kCropCommand);
    EXPECT_EQ(view->GetMode() & CRectMapView::cropped, 0);
    EXPECT_EQ(Bytes(view->GetScreen()), original);
}

// An open zoom dialog follows the crop drag: it shows the dragged size while
// the button is held and takes the selection's size as its source size at
// the end; SetZoom closes it when it shows another zoom.
TEST_F(PanoramaToolsTest, ZoomDialogFollowsTheCropDragAndClosesOnAnotherZoom)
{
    CRectMapView* view = Open(MakeCodedMap(), true, true);
    ASSERT_NE(view, nullptr);
    Command(view, CRectMapView::kSelectCropCommand);
    view->OpenZoomDialog();
    CImageSizeDlg* dialog = view->GetZoomDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_FLOAT_EQ(dialog->GetZoom(), 1.0f);
    auto shown = [&] {
        return dialog->GetDlgItemText(CImageSizeDlg::kWidthEdit) + "x" + dialog->GetDlgItemText(CImageSizeDlg::kHeightEdit);
    };
    struct Case {
        const char* what;
        UINT flags;
        std::vector<POINT> moves;
        std::vector<std::string> shownWhileDragging;
        int sourceW, sourceH;
    };
    const Case cases[] = {
        {"free rectangle (Shift)", MK_SHIFT, {{90, 40}, {100, 50}}, {"11x11", "21x21"}, 21, 21},
        {"full circle: the whole width", 0, {{90, 45}, {100, 60}}, {"160x16", "160x31"}, 160, 31},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mouse(view, WM_LBUTTONDBLCLK, 80, 40);  // no selection
        Mouse(view, WM_LBUTTONDOWN, 80, 30, c.flags | MK_LBUTTON);
        for (size_t i = 0; i < c.moves.size(); ++i) {
            Mouse(view, WM_MOUSEMOVE, c.moves[i].x, c.moves[i].y, c.flags | MK_LBUTTON);
            EXPECT_EQ(shown(), c.shownWhileDragging[i]) << i;
        }
        // The source size is not touched while dragging.
        int w = 0, h = 0;
        dialog->GetSourceSize(w, h);
        const int beforeW = w, beforeH = h;
        Mouse(view, WM_LBUTTONUP, c.moves.back().x, c.moves.back().y, c.flags);
        dialog->GetSourceSize(w, h);
        EXPECT_EQ(w, c.sourceW);
        EXPECT_EQ(h, c.sourceH);
        EXPECT_TRUE(w != beforeW || h != beforeH);
        EXPECT_EQ(shown(), std::to_string(c.sourceW) + "x" + std::to_string(c.sourceH));
    }

    // The dialog's own zoom comes back through SetZoom and keeps it open.
    auto* slider = dynamic_cast<CSliderCtrl*>(dialog->GetDlgItem(CImageSizeDlg::kSlider));
    ASSERT_NE(slider, nullptr);
    slider->SetPos(75);
    dialog->SendMessage(WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider->GetSafeHwnd()));
    float zx = 0, zy = 0;
    view->GetCurrentZoom(zx, zy);
    EXPECT_FLOAT_EQ(zx, 0.75f);
    EXPECT_EQ(view->GetZoomDialog(), dialog);
    // Another zoom from elsewhere closes it.
    const HWND hwnd = dialog->GetSafeHwnd();
    Command(view, 32804);  // "Zoom to 100 %"
    view->GetCurrentZoom(zx, zy);
    EXPECT_FLOAT_EQ(zx, 1.0f);
    EXPECT_EQ(view->GetZoomDialog(), nullptr);
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST_F(PanoramaToolsTest, CropToolIsRefusedOnAPreviewAndCommandsEnableOnFinalMapsOnly)
{
    CRectMapView* view = Open(MakeCodedMap(), false, true);
    ASSERT_NE(view, nullptr);
    SetCurrentTool(33000, 33001);
    Drag(view, {{80, 30}, {100, 50}});
    EXPECT_EQ(GetCurrentTool(), 33000);
    EXPECT_FALSE(view->HasSelectionRect());
    for (bool final : {false, true}) {
        m_map->NotifyViewers(10008, final ? 1 : 0);
        for (UINT id : {32794u, 32860u, 32861u, 32889u, 33138u, 32877u, 32873u, 33135u, 32800u, 33113u, 33111u}) {
            const win::CommandState state = win::QueryCommandState(view, id);
            ASSERT_TRUE(state.updateHandler) << id;
            EXPECT_EQ(state.enabled, final) << id;
        }
    }
}

// ---- Rolling -----------------------------------------------------------------------------

TEST_F(PanoramaToolsTest, RollingShiftsTheScreenLikeImageMagickAndAFullTurnRestoresIt)
{
    CRectMapView* view = Open(MakeCodedMap(), false, true);
    ASSERT_NE(view, nullptr);
    Command(view, CRectMapView::kRollCommand);
    ASSERT_NE(view->GetMode() & CRectMapView::rollTool, 0);
    const std::vector<uint8_t> original = Bytes(view->GetScreen());

    // By n then -n.
    Drag(view, {{120, 40}, {83, 40}});
    EXPECT_EQ(view->GetRollOffset(), 37);
    EXPECT_NE(Bytes(view->GetScreen()), original);
    Drag(view, {{83, 40}, {120, 40}});
    EXPECT_EQ(view->GetRollOffset(), 0);
    EXPECT_EQ(Bytes(view->GetScreen()), original);

    // The full width in two drags of four steps.
    Drag(view, {{150, 40}, {130, 40}, {110, 40}, {90, 40}, {70, 40}});
    Drag(view, {{150, 40}, {130, 40}, {110, 40}, {90, 40}, {70, 40}});
    EXPECT_EQ(view->GetRollOffset(), 0);
    EXPECT_EQ(Bytes(view->GetScreen()), original);

    // By 37 against ImageMagick's roll of the same picture.
    ASSERT_TRUE(testkit::RequireTool("convert"));
    testkit::TempDir dir;
    ASSERT_TRUE(testkit::WritePnm(*view->GetScreen(), dir.file("before.ppm")));
    Drag(view, {{120, 40}, {83, 40}});
    const auto rolled = testkit::Run("convert '" + dir.file("before.ppm") + "' -roll -37+0 '" + dir.file("rolled.ppm") + "'");
    ASSERT_EQ(rolled.status, 0) << rolled.output;
    Image* reference = testkit::ReadPnm(dir.file("rolled.ppm"));
    ASSERT_NE(reference, nullptr);
    EXPECT_TRUE(testkit::SamePixels(*reference, *view->GetScreen()));
    ReleaseImage(reference);
}

// ---- Leveling ----------------------------------------------------------------------------

TEST_F(PanoramaToolsTest, LevelingDragsComposeLikeTheWrittenOutProducts)
{
    CRectMapView* view = Open(MakeCodedMap(), false, true);
    ASSERT_NE(view, nullptr);
    view->SelectTool(CWorldMapView::kLevel);
    ASSERT_NE(view->GetMode() & CRectMapView::levelTool, 0);
    // W = 160, screen 160 x 81, equator row 40: the ruler centre is (80, 40),
    // half height 36; the azimuth is (ruler offset - column shift) 2pi / W.
    const CRectMapView::RulerGeometry g = view->GetRulerGeometry();
    ASSERT_EQ(g.centreX, 80);
    ASSERT_EQ(g.centreY, 40);
    ASSERT_EQ(g.halfHeight, 36);

    struct Step {
        const char* what;
        std::vector<POINT> drag;
        int rulerOffset;  // set before the drag
    };
    const Step steps[] = {
        {"tilt up on the ruler", {{80, 20}, {80, 15}}, 0},
        {"rotate clockwise", {{120, 40}, {120, 50}}, 0},
        {"tilt with the ruler moved", {{60, 60}, {60, 57}, {60, 52}}, 20},
        {"rotate back", {{10, 34}, {10, 25}, {15, 18}}, 20},
    };
    Mat expected{1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        view->SetRulerOffset(s.rulerOffset);
        const bool tilt = view->RulerHitTest(s.drag[0].x, s.drag[0].y) == 1;
        ASSERT_EQ(view->RulerHitTest(s.drag[0].x, s.drag[0].y), tilt ? 1 : 0);
        Mouse(view, WM_LBUTTONDOWN, s.drag[0].x, s.drag[0].y, MK_LBUTTON);
        for (size_t i = 1; i < s.drag.size(); ++i) {
            // Each step turns the preview, which may move the picture's
            // columns and rows: the ruler is read before every move.
            const CRectMapView::RulerGeometry r = view->GetRulerGeometry();
            const double azimuth = (view->GetRulerOffset() - view->GetColumnShift()) * kTwoPi / 160;
            const POINT p = s.drag[i - 1], q = s.drag[i];
            double v[3] = {0, 0, 0};
            if (tilt) {
                const double angle = (p.y - q.y) * kTwoPi / 160;
                v[0] = -std::sin(azimuth) * angle;
                v[1] = -std::cos(azimuth) * angle;
            } else {
                const double ax = p.x - r.centreX, ay = p.y - r.centreY, bx = q.x - r.centreX, by = q.y - r.centreY;
                const double a = 0.2 * std::atan2(ax * by - ay * bx, ax * bx + ay * by);
                v[0] = std::cos(azimuth) * -a;
                v[1] = -std::sin(azimuth) * -a;
            }
            expected = Times(expected, FromVector(v));
            Mouse(view, WM_MOUSEMOVE, q.x, q.y, MK_LBUTTON);
        }
        Mouse(view, WM_LBUTTONUP, s.drag.back().x, s.drag.back().y);
        const auto want = ToVector(expected);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(view->GetLevelRotation()[k], want[k], 1e-5) << k;
        EXPECT_TRUE(view->HasLevelRotation());
    }
    // Event 10006 reports the same vector.
    float out[4] = {0, 0, 0, 0};
    m_map->NotifyViewers(10006, reinterpret_cast<std::uintptr_t>(out));
    EXPECT_EQ(out[0], 1.0f);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(out[k + 1], view->GetLevelRotation()[k]);

    // The arrow keys: Left / Right rotate by a third of a degree, Up / Down
    // tilt by one pixel, each composed after what is there.
    struct Key {
        UINT key;
        double rotate, tilt;  // radians about the ruler, pixels of tilt
    };
    const Key keys[] = {{VK_LEFT, -0.0058177, 0}, {VK_RIGHT, 0.0058177, 0}, {VK_UP, 0, -1}, {VK_DOWN, 0, 1},
                        {VK_DOWN, 0, 1}};
    for (const Key& k : keys) {
        const double azimuth = (view->GetRulerOffset() - view->GetColumnShift()) * kTwoPi / 160;
        const double angle = k.tilt * kTwoPi / 160;
        const double v[3] = {std::cos(azimuth) * -k.rotate - std::sin(azimuth) * angle,
                             -std::sin(azimuth) * -k.rotate - std::cos(azimuth) * angle, 0};
        view->SendMessage(WM_KEYDOWN, k.key, 0);
        expected = Times(expected, FromVector(v));
        const auto want = ToVector(expected);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(view->GetLevelRotation()[i], want[i], 1e-5) << k.key;
    }

    // Reset leveling: no rotation and the unrotated picture again.
    view->SelectTool(CWorldMapView::kResetLeveling);
    EXPECT_FALSE(view->HasLevelRotation());
    const Image* screen = view->GetScreen();
    for (int y : {0, 40, 80})
        for (int x : {0, 79, 159})
            EXPECT_EQ(screen->GetData()[static_cast<size_t>(y) * screen->GetRowByte() + x * 3], Code(y, x, 0));
}

TEST_F(PanoramaToolsTest, RulerDragStopsInsideTheEdgesAndTheCentreNeverRotates)
{
    CRectMapView* view = Open(MakeCodedMap(), false, true);
    ASSERT_NE(view, nullptr);
    view->SelectTool(CWorldMapView::kLevel);
    // A press on the centre square moves the ruler, never rotates.
    Drag(view, {{82, 42}, {200, 42}, {300, 60}});
    EXPECT_EQ(view->GetRulerOffset(), 70);  // w / 2 - 10
    EXPECT_FALSE(view->HasLevelRotation());
    Drag(view, {{152, 40}, {-300, 40}});
    EXPECT_EQ(view->GetRulerOffset(), -70);
    EXPECT_FALSE(view->HasLevelRotation());
    view->SetRulerOffset(0);

    // Motion into and out of the 6-pixel circle round the centre is ignored.
    Mouse(view, WM_LBUTTONDOWN, 120, 40, MK_LBUTTON);
    Mouse(view, WM_MOUSEMOVE, 84, 43, MK_LBUTTON);
    EXPECT_EQ(view->GetToolCursor(), CRectMapView::kNoRotateCursor);
    Mouse(view, WM_MOUSEMOVE, 120, 70, MK_LBUTTON);
    Mouse(view, WM_LBUTTONUP, 120, 70);
    EXPECT_FALSE(view->HasLevelRotation());

    // Hover cursors: 173 away, 239 on the ruler, 168 on the centre square.
    for (auto [x, y, cursor] : {std::tuple{20, 20, 173u}, std::tuple{80, 10, 239u}, std::tuple{85, 35, 168u}}) {
        Mouse(view, WM_MOUSEMOVE, x, y);
        EXPECT_EQ(view->GetToolCursor(), cursor) << x << "," << y;
    }
}

TEST_F(PanoramaToolsTest, RulerTickStepNeverReachesZero)
{
    // W = 8: the grid step W * 45 / 720 is 0 and becomes one pixel.
    CRectMapView* view = Open(MakeCodedMap(8), false, true);
    ASSERT_NE(view, nullptr);
    view->SelectTool(CWorldMapView::kLevel);
    CRectMapView::RulerGeometry g = view->GetRulerGeometry();
    EXPECT_EQ(g.step, 1);
    EXPECT_EQ(g.ticks, 1);
    view->Invalidate(FALSE);
    view->UpdateWindow();  // draws the ruler and comes back

    // W = 160 (step 10) with narrower pictures: halved below 4 steps, no
    // ticks below 4 half steps.
    view = Open(MakeCodedMap(160), false, true);
    ASSERT_NE(view, nullptr);
    view->SelectTool(CWorldMapView::kLevel);
    struct Case {
        int columns, step, ticks;
    };
    for (const Case& c : {Case{160, 10, 1}, Case{40, 10, 1}, Case{30, 5, 2}, Case{15, 5, 0}}) {
        m_map->m_xStart = 0;
        m_map->m_xEnd = c.columns;
        m_map->NotifyViewers(15, 0);
        ASSERT_EQ(view->GetScreen()->GetWidth(), c.columns);
        g = view->GetRulerGeometry();
        EXPECT_EQ(g.step, c.step) << c.columns;
        EXPECT_EQ(g.ticks, c.ticks) << c.columns;
        view->Invalidate(FALSE);
        view->UpdateWindow();
    }
}

// A whole sphere tilted or turned is still a whole sphere: every leveling
// step shows the full 160 x 81 picture (the preview once halved after a tilt).
TEST_F(PanoramaToolsTest, LevelingAWholeSphereKeepsTheWholePicture)
{
    CRectMapView* view = Open(MakeCodedMap(160), false, true);
    ASSERT_NE(view, nullptr);
    view->SelectTool(CWorldMapView::kLevel);
    ASSERT_EQ(view->GetScreen()->GetWidth(), 160);
    for (UINT key : {VK_DOWN, VK_DOWN, VK_LEFT, VK_UP, VK_RIGHT}) {
        view->SendMessage(WM_KEYDOWN, key, 0);
        ASSERT_TRUE(view->HasLevelRotation());
        EXPECT_EQ(view->GetScreen()->GetWidth(), 160) << key;
        EXPECT_EQ(view->GetScreen()->GetHeight(), 81) << key;
    }
    // A drag of the tilt handle, thirty pixels down.
    const CRectMapView::RulerGeometry g = view->GetRulerGeometry();
    Drag(view, {{g.centreX, g.centreY - 20}, {g.centreX, g.centreY - 5}, {g.centreX, g.centreY + 10}});
    EXPECT_EQ(view->GetScreen()->GetWidth(), 160);
    EXPECT_EQ(view->GetScreen()->GetHeight(), 81);
}

// ---- Perspective -------------------------------------------------------------------------

TEST(RubberRect, HitZonesExtentAndBounds)
{
    RubberRect r;
    r.Init(RECT{0, 0, 199, 99}, 0, 0, RECT{50, 20, 150, 80}, false);
    struct Case {
        int x, y, zone;
    };
    const Case cases[] = {
        {50, 20, 1}, {100, 17, 2}, {153, 23, 3}, {47, 50, 4}, {100, 50, 5}, {152, 50, 6},
        {50, 80, 7}, {100, 83, 8}, {150, 80, 9}, {46, 50, 0}, {100, 84, 0}, {10, 10, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(r.HitTest(c.x, c.y), c.zone) << c.x << "," << c.y;

    // A new rectangle keeps within the bounds and the extent from its anchor.
    RubberRect fresh;
    fresh.Init(RECT{0, 0, 199, 99}, 0, 0, RECT{0, 0, -1, -1}, false);
    EXPECT_EQ(fresh.HitTest(10, 10), 0);
    fresh.Begin(-5, 10, 0);
    fresh.SetExtentLimit(53, 40);
    fresh.Drag(150, 90);
    const RECT got = fresh.Current();
    EXPECT_EQ(got.left, 0);
    EXPECT_EQ(got.top, 10);
    EXPECT_EQ(got.right, 53);
    EXPECT_EQ(got.bottom, 50);

    // Zone 5 moves the whole rectangle, kept inside the bounds.
    r.Begin(100, 50, 5);
    r.Drag(300, 50);
    EXPECT_EQ(r.Current().left, 99);
    EXPECT_EQ(r.Current().right, 199);
}

TEST(PerspectiveRegion, NarrowMirrorProjectAndCut)
{
    using namespace perspective;
    const RECT narrowed = NarrowTo(RECT{0, 0, 159, 80}, 53);
    EXPECT_EQ(narrowed.left, 53);
    EXPECT_EQ(narrowed.right, 105);
    EXPECT_EQ(narrowed.top, 14);
    EXPECT_EQ(narrowed.bottom, 66);

    struct Mirror {
        RECT region;
        double cx, cy;
        RECT want;
    };
    const Mirror mirrors[] = {
        {RECT{20, 20, 60, 50}, 42, 36, RECT{20, 20, 60, 50}},  // within 3 px: unchanged
        {RECT{20, 20, 60, 50}, 30, 36, RECT{0, 20, 60, 50}},   // left side takes the right's 30
        {RECT{20, 20, 60, 50}, 40, 45, RECT{20, 20, 60, 70}},
    };
    for (const Mirror& m : mirrors) {
        const RECT got = MirrorAboutCentre(m.region, m.cx, m.cy);
        EXPECT_EQ(got.left, m.want.left);
        EXPECT_EQ(got.right, m.want.right);
        EXPECT_EQ(got.top, m.want.top);
        EXPECT_EQ(got.bottom, m.want.bottom);
    }

    // W = 628.3: r = 100 pixels a radian; equator row 100.
    const double r = 628.3185307 / kTwoPi;
    struct Projected {
        const char* what;
        RECT region;
        double cx, cy;
        int wantW, wantH;
    };
    auto size = [r](double a, double b) {
        a = std::clamp(a, -kAngleLimit, kAngleLimit);
        b = std::clamp(b, -kAngleLimit, kAngleLimit);
        return static_cast<int>(std::abs(r * (std::tan(b) - std::tan(a))));
    };
    const Projected cases[] = {
        {"on the equator", RECT{50, 80, 150, 120}, 100, 100, size(-0.5, 0.5), size(-0.2, 0.2)},
        {"off the equator, cos of the middle latitude", RECT{50, 130, 150, 170}, 100, 150,
         size(-0.5 * std::cos(0.5), 0.5 * std::cos(0.5)), size(-0.2, 0.2)},
        {"beyond the angle limit", RECT{-100, 90, 300, 110}, 100, 100, size(-2.0, 2.0), size(-0.1, 0.1)},
    };
    for (const Projected& c : cases) {
        SCOPED_TRACE(c.what);
        int w = 0, h = 0;
        ProjectedSize(c.region, c.cx, c.cy, 100, 628, 1000, 1000, w, h);
        EXPECT_NEAR(w, c.wantW, 1);
        EXPECT_NEAR(h, c.wantH, 1);
    }
    int w = 0, h = 0;
    ProjectedSize(RECT{-100, 90, 300, 110}, 100, 100, 100, 628, 400, 1000, w, h);
    EXPECT_EQ(w, 400);  // never wider than the rendered picture

    // The cut keeps the right / bottom part when the centre is at or before the middle.
    const RECT keepRight = CutRect(RECT{20, 20, 60, 50}, 30, 45, 200, 100, 120, 70);
    EXPECT_EQ(keepRight.left, 80);
    EXPECT_EQ(keepRight.right, 200);
    EXPECT_EQ(keepRight.top, 0);
    EXPECT_EQ(keepRight.bottom, 70);
}

TEST_F(PanoramaToolsTest, PerspectiveRegionIsDrawnDiscardedOrKeptAndOpensNumberedViews)
{
    CRectMapView* view = Open(MakeCodedMap(), true, true);
    ASSERT_NE(view, nullptr);
    Command(view, CRectMapView::kPerspectiveToolCommand);
    ASSERT_NE(view->GetMode() & CRectMapView::perspectiveTool, 0);

    Drag(view, {{20, 20}, {23, 60}});  // 4 pixels wide: discarded
    EXPECT_EQ(view->GetMode() & CRectMapView::perspectiveRegion, 0);
    EXPECT_EQ(view->GetRegionCentre(), nullptr);

    Drag(view, {{10, 10}, {150, 70}});  // the extent stops at W / 3 = 53
    ASSERT_NE(view->GetMode() & CRectMapView::perspectiveRegion, 0);
    EXPECT_EQ(view->GetPerspectiveRect().left, 10);
    EXPECT_EQ(view->GetPerspectiveRect().right, 63);
    EXPECT_EQ(view->GetPerspectiveRect().bottom, 63);
    ASSERT_NE(view->GetRegionCentre(), nullptr);
    EXPECT_EQ(view->GetRegionCentre()->x, 36);
    EXPECT_EQ(view->GetRegionCentre()->y, 36);

    // The centre is grabbed within 10 pixels and kept inside the region.
    Drag(view, {{40, 40}, {150, 20}});
    EXPECT_EQ(view->GetRegionCentre()->x, 63);
    EXPECT_EQ(view->GetRegionCentre()->y, 20);

    // The picture: the mirrored region, cut to the projected region.
    Image* picture = view->MakePerspectiveImage();
    ASSERT_NE(picture, nullptr);
    int w = 0, h = 0;
    perspective::ProjectedSize(RECT{10, 10, 63, 63}, 63, 20, view->GetEquatorRow(), 160, 10000, 10000, w, h);
    EXPECT_EQ(picture->GetWidth(), w);
    EXPECT_EQ(picture->GetHeight(), h);
    ReleaseImage(picture);

    Command(view, CRectMapView::kPerspectiveViewCommand);
    Command(view, CRectMapView::kPerspectiveViewCommand);
    EXPECT_NE(FindImageDoc("Perspective View 1"), nullptr);
    EXPECT_NE(FindImageDoc("Perspective View 2"), nullptr);

    // Ending the tool drops the region.
    Command(view, CRectMapView::kPerspectiveToolCommand);
    EXPECT_EQ(view->GetMode() & (CRectMapView::perspectiveTool | CRectMapView::perspectiveRegion), 0);
    EXPECT_EQ(view->GetRegionCentre(), nullptr);
}

TEST_F(PanoramaToolsTest, PerspectiveViewWithoutARegionIsAThirdOfTheCircleWide)
{
    CRectMapView* view = Open(MakeCodedMap(), true, true);
    ASSERT_NE(view, nullptr);
    Image* picture = view->MakePerspectiveImage();
    ASSERT_NE(picture, nullptr);
    // 53 x 53 pixels of a W = 160 map seen through the plane: half angles
    // 53 / 2 / r each.
    const double r = 160 / kTwoPi, half = 53 / 2.0 / r;
    EXPECT_EQ(picture->GetWidth(), std::lround(2 * r * std::tan(half)));
    EXPECT_EQ(picture->GetHeight(), std::lround(2 * r * std::tan(half)));
    ReleaseImage(picture);
}

TEST_F(PanoramaToolsTest, ManagersLevelingPanShiftsThePerspectiveRegion)
{
    CRectMapView* view = Open(MakeCodedMap(), true, true);
    ASSERT_NE(view, nullptr);
    // A pan of 20 columns of W = 160.
    const float uvr[3] = {static_cast<float>(20 * kTwoPi / 160), 0, 0};
    float rotation[3];
    CTransformEuler::UVRtoI3R(uvr, rotation);
    Manager().AddLevelingRotation(rotation);
    Image* picture = view->MakePerspectiveImage();
    ASSERT_NE(picture, nullptr);
    // No region: the whole picture narrowed to W / 3 = 53 about its middle
    // (53..105 x 14..66), then moved by the pan.
    const RECT shifted{73, 14, 125, 66};
    Image* reference = CRectImgRS::BitmapAreaToPlane(view->GetScreen(), view->GetEquatorRow(), 160, &shifted, 0,
                                                     CRectMapView::kFieldFactor, 0, 1, 1);
    ASSERT_NE(reference, nullptr);
    EXPECT_TRUE(testkit::SamePixels(*reference, *picture));
    ReleaseImage(reference);
    ReleaseImage(picture);
    Manager().ResetLevelingRotation();
}

// ---- Zoom --------------------------------------------------------------------------------

TEST_F(PanoramaToolsTest, ZoomStepsSnapThroughOneAndStopAtTheLimits)
{
    CRectMapView* view = Open(MakeCodedMap(), true, true);
    ASSERT_NE(view, nullptr);
    struct Case {
        const char* what;
        float from;
        bool in;
        float want;
    };
    const Case cases[] = {
        {"in from 0.97", 0.97f, true, 1.0f},  {"in from 1.0", 1.0f, true, 1.05f}, {"in from 2.1", 2.1f, true, 2.1f},
        {"in from 0.5", 0.5f, true, 0.55f},   {"out from 1.02", 1.02f, false, 1.0f},
        {"out from 0.2", 0.2f, false, 0.2f},  {"out from 0.25", 0.25f, false, 0.2f},
        {"out from 1.5", 1.5f, false, 1.45f},
    };
    for (const Case& c : cases) {
        view->SetZoom(c.from);
        if (c.in)
            view->ZoomInStep(false, false);
        else
            view->ZoomOutStep(false, false);
        float x = 0, y = 0;
        view->GetCurrentZoom(x, y);
        EXPECT_NEAR(x, c.want, 1e-5) << c.what;
        EXPECT_EQ(x, y) << c.what;
    }
    view->SetZoom(0.5f);
    view->ZoomInStep(false, true);
    float z = 0, zy = 0;
    view->GetCurrentZoom(z, zy);
    EXPECT_EQ(z, 1.0f);

    // Ctrl fits the picture into the main frame's free area.
    RECT free{};
    Main().GetFreeClientRect(&free);
    const float fit = std::max(std::min(float(free.right - free.left) / 160, float(free.bottom - free.top) / 81), 0.1f);
    view->ZoomOutStep(true, false);
    view->GetCurrentZoom(z, zy);
    EXPECT_NEAR(z, std::clamp(fit, 0.05f, 4.0f), 1e-5);
}

TEST_F(PanoramaToolsTest, PerspectiveRectangleFollowsTheZoomAndFitNeverGoesBelowATenth)
{
    CRectMapView* view = Open(MakeCodedMap(1600), true, true);
    ASSERT_NE(view, nullptr);
    Command(view, CRectMapView::kPerspectiveToolCommand);
    Drag(view, {{10, 10}, {101, 71}});
    ASSERT_EQ(view->GetPerspectiveRect().right, 101);
    view->SetZoom(0.5f);
    EXPECT_EQ(view->GetPerspectiveRect().left, 5);
    EXPECT_EQ(view->GetPerspectiveRect().right, 50);
    EXPECT_EQ(view->GetPerspectiveRect().bottom, 35);

    // A main frame far smaller than a tenth of the picture.
    Main().SetWindowPos(nullptr, 0, 0, 120, 120, SWP_NOZORDER | SWP_NOMOVE);
    view->ZoomToFit();
    float z = 0, zy = 0;
    view->GetCurrentZoom(z, zy);
    EXPECT_FLOAT_EQ(z, 0.1f);
}

TEST_F(PanoramaToolsTest, ZoomToFitOfAnEmptyPictureKeepsTheZoom)
{
    WorldMap* map = MakeCodedMap();
    map->m_xStart = map->m_xEnd = 0;
    map->m_yStart = map->m_yEnd = 0;
    CRectMapView* view = Open(map, true, false);
    ASSERT_NE(view, nullptr);
    float before = 0, y = 0;
    view->GetCurrentZoom(before, y);
    view->ZoomToFit();
    float after = 0;
    view->GetCurrentZoom(after, y);
    EXPECT_EQ(after, before);
    EXPECT_TRUE(std::isfinite(after));
}

// ---- Print layout and clipboard ----------------------------------------------------------

TEST_F(PanoramaToolsTest, PrintLayoutTogglesAndKeepsItsSettingsForNextTime)
{
    CRectMapView* view = Open(MakeCodedMap(), true, true);
    ASSERT_NE(view, nullptr);
    win::PageSetupAnswer zero;
    zero.ok = true;
    zero.paperSize = POINT{0, 11000};
    Prompter().ExpectPageSetup(zero).ExpectMessageBox("Paper size is 0. Can not print.", IDOK);
    Command(view, 57607);
    EXPECT_EQ(view->GetPrintLayout(), nullptr);
    EXPECT_EQ(Manager().GetPageSetup(), nullptr);

    win::PageSetupAnswer cancel;
    Prompter().ExpectPageSetup(cancel);
    Command(view, 57607);
    EXPECT_EQ(view->GetPrintLayout(), nullptr);

    win::PageSetupAnswer letter;
    letter.ok = true;
    letter.paperSize = POINT{8500, 11000};
    letter.margins = RECT{500, 500, 500, 500};
    letter.minMargins = RECT{250, 250, 250, 250};
    Prompter().ExpectPageSetup(letter);
    Command(view, 57607);
    ASSERT_NE(view->GetPrintLayout(), nullptr);
    ASSERT_NE(Manager().GetPageSetup(), nullptr);
    EXPECT_EQ(Manager().GetPageSetup()->imageSize.x, 160);
    EXPECT_EQ(Manager().GetPageSetup()->ratio, -1.0f);

    // Layout commands and the second press: the settings stay.
    Command(view, 32893);
    const float ratio = view->GetPrintLayout()->GetRatio();
    const int pages = view->GetPrintLayout()->GetNumbPages();
    Command(view, 57607);
    EXPECT_EQ(view->GetPrintLayout(), nullptr);
    EXPECT_EQ(Manager().GetPageSetup()->ratio, ratio);
    Command(view, 32811);  // no page-setup question this time
    ASSERT_NE(view->GetPrintLayout(), nullptr);
    EXPECT_EQ(view->GetPrintLayout()->GetRatio(), ratio);
    EXPECT_EQ(view->GetPrintLayout()->GetNumbPages(), pages);

    // Page images open as "Page01" ...
    Command(view, 32816);
    for (int n = 1; n <= pages; ++n) {
        char name[16];
        std::snprintf(name, sizeof(name), "Page%02d", n);
        CImageDoc* doc = FindImageDoc(name);
        ASSERT_NE(doc, nullptr) << name;
        Image* page = nullptr;
        ASSERT_TRUE(view->GetPrintLayout()->GetPageImage(n, &page));
        EXPECT_TRUE(testkit::SamePixels(*page, *doc->GetImage())) << name;
        view->GetPrintLayout()->GetPageImage(-1, &page);
    }
    Command(view, 32811);

    // A new picture size forgets the ratio.
    m_map->m_xEnd = 100;
    m_map->NotifyViewers(15, 0);
    Command(view, 57607);
    ASSERT_NE(view->GetPrintLayout(), nullptr);
    EXPECT_EQ(Manager().GetPageSetup()->ratio, -1.0f);
    EXPECT_EQ(Manager().GetPageSetup()->imageSize.x, 100);
    Command(view, 57607);
}

TEST_F(PanoramaToolsTest, PrinterSetupRemakesTheLayoutOnlyWhenThePaperChanged)
{
    CRectMapView* view = Open(MakeCodedMap(), true, true);
    ASSERT_NE(view, nullptr);
    win::PageSetupAnswer letter;
    letter.ok = true;
    letter.margins = RECT{500, 500, 500, 500};
    Prompter().ExpectPageSetup(letter);
    Command(view, 57607);
    const CPrinting* first = view->GetPrintLayout();
    ASSERT_NE(first, nullptr);

    Prompter().ExpectPageSetup(letter);  // the same paper and margins
    Command(view, 32812);
    EXPECT_EQ(view->GetPrintLayout(), first);

    win::PageSetupAnswer a4 = letter;
    a4.paperSize = POINT{8270, 11690};
    a4.margins = RECT{700, 600, 700, 600};
    Prompter().ExpectPageSetup(a4);
    Command(view, 32812);
    ASSERT_NE(view->GetPrintLayout(), nullptr);
    RECT margins{};
    view->GetPrintLayout()->GetMargin(&margins);
    EXPECT_EQ(margins.left, 700);
    EXPECT_EQ(margins.top, 600);
    EXPECT_EQ(Manager().GetPageSetup()->paperSize.x, 8270);

    // The crop command's text follows the crop.
    EXPECT_EQ(win::QueryCommandState(view, CRectMapView::kCropCommand).text, "Crop");
    Command(view, 57607);
    SetCurrentTool(33000, 33001);
    Drag(view, {{10, 10}, {50, 50}}, MK_SHIFT);
    Command(view, CRectMapView::kCropCommand);
    EXPECT_EQ(win::QueryCommandState(view, CRectMapView::kCropCommand).text, "Undo Cropping");
}

TEST_F(PanoramaToolsTest, CopyPutsTheSelectionOnTheClipboardAsADib)
{
    CRectMapView* view = Open(MakeCodedMap(), true, false);
    ASSERT_NE(view, nullptr);
    SetCurrentTool(33000, 33001);
    Drag(view, {{30, 20}, {49, 29}});
    ASSERT_TRUE(view->HasSelectionRect());
    Command(view, 57634);
    ASSERT_TRUE(OpenClipboard(nullptr));
    HGLOBAL block = GetClipboardData(CF_DIB);
    ASSERT_NE(block, nullptr);
    const auto* header = static_cast<const BITMAPINFOHEADER*>(GlobalLock(block));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->biWidth, 20);
    EXPECT_EQ(std::abs(header->biHeight), 10);
    EXPECT_EQ(header->biBitCount, 24);
    const uint8_t* bits = reinterpret_cast<const uint8_t*>(header) + header->biSize;
    const int stride = (20 * 3 + 3) & ~3;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            const int row = header->biHeight > 0 ? 9 - y : y;  // bottom-up rows
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(bits[row * stride + x * 3 + c], Code(20 + y, 30 + x, c)) << x << "," << y << "," << c;
        }
    GlobalUnlock(block);
    CloseClipboard();
}

TEST_F(PanoramaToolsTest, RulerLinesLieAtTheComputedColumnsInTheirColours)
{
    CRectMapView* view = Open(MakeCodedMap(), false, true);
    ASSERT_NE(view, nullptr);
    view->SelectTool(CWorldMapView::kLevel);
    view->Invalidate(FALSE);
    win::PaintAll();
    RefPtr<Image> shot = RefPtr<Image>::adopt(win::CaptureWindow(view->m_hWnd));  // B, G, R
    ASSERT_TRUE(shot);
    int ox = 0, oy = 0;
    view->GetOffset(ox, oy);
    // Centre (80, 40), half height 36, a tick every 10 pixels (22.5 degrees):
    // red at 90 degrees (4 steps), light orange at 45 (2 steps), green between.
    const int top = 40 - 36 + 2;  // inside the first dash of the dashed pens
    struct Case {
        const char* what;
        int x, y;
        uint8_t b, g, r;
    };
    const Case cases[] = {
        {"centre line", 80, 10, 0, 0, 255},         {"horizon line", 5, 40, 0, 0, 255},
        {"90 degrees right", 120, top, 0, 0, 255},  {"90 degrees left", 40, top, 0, 0, 255},
        {"45 degrees", 100, top, 128, 200, 255},    {"45 degrees left", 60, top, 128, 200, 255},
        {"22.5 degrees", 90, top, 0, 255, 0},       {"67.5 degrees left", 50, top, 0, 255, 0},
        {"centre square top edge", 75, 30, 0, 0, 255},
    };
    for (const Case& c : cases) {
        const uint8_t* p = shot->GetData() + static_cast<size_t>(oy + c.y) * shot->GetRowByte() + (ox + c.x) * 3;
        EXPECT_EQ(p[0], c.b) << c.what;
        EXPECT_EQ(p[1], c.g) << c.what;
        EXPECT_EQ(p[2], c.r) << c.what;
    }
    // Between the ticks the picture shows through.
    const uint8_t* between = shot->GetData() + static_cast<size_t>(oy + top) * shot->GetRowByte() + (ox + 95) * 3;
    EXPECT_EQ(between[0], view->GetScreen()->GetData()[static_cast<size_t>(top) * view->GetScreen()->GetRowByte() + 95 * 3]);
}

TEST_F(PanoramaToolsTest, PrintingATwoByTwoLayoutWritesItsPageImagesToThePdf)
{
    ASSERT_TRUE(testkit::RequireTool("pdfinfo"));
    ASSERT_TRUE(testkit::RequireTool("pdftoppm"));
    testkit::TempDir dir;
    CRectMapView* view = Open(MakeCodedMap(), true, true);
    ASSERT_NE(view, nullptr);
    win::PageSetupAnswer setup;
    setup.ok = true;
    setup.paperSize = POINT{8500, 11000};
    setup.margins = RECT{200, 200, 200, 200};
    setup.minMargins = RECT{200, 200, 200, 200};
    Prompter().ExpectPageSetup(setup);
    Command(view, 32810);  // without a layout: shows it
    ASSERT_NE(view->GetPrintLayout(), nullptr);
    Command(view, 32893);  // 2 x 2
    CPrinting* layout = view->GetPrintLayout();
    const int pages = layout->GetNumbPages();
    ASSERT_GE(pages, 2);
    std::vector<RefPtr<Image>> expected;
    for (int n = 1; n <= pages; ++n) {
        Image* page = nullptr;
        ASSERT_TRUE(layout->GetPageImage(n, &page)) << n;
        expected.push_back(RefPtr<Image>::adopt(page));
    }

    win::PrintAnswer printer;
    printer.ok = true;
    printer.outputPath = dir.file("panorama.pdf");
    printer.dotsPerInch = 50;
    printer.paperSize = POINT{8500, 11000};
    printer.minMargins = RECT{200, 200, 200, 200};
    Prompter().ExpectPrint(printer);
    Command(view, 32810);  // with a layout: prints, then the layout goes
    EXPECT_EQ(view->GetPrintLayout(), nullptr);
    EXPECT_EQ(Manager().GetPageSetup()->imageSize.x, 160);

    const testkit::CommandResult info = testkit::Run("pdfinfo '" + printer.outputPath + "'");
    ASSERT_EQ(info.status, 0) << info.output;
    EXPECT_EQ(testkit::PdfInfoField(info.output, "Pages"), std::to_string(pages));
    ASSERT_EQ(testkit::Run("pdftoppm -r 150 '" + printer.outputPath + "' '" + dir.file("page") + "'").status, 0);
    // One page of image pixels fills the printable 8.1 x 10.6 inches, from
    // 0.2 inch (10 dots) in; the paper is rendered at three times the dots.
    for (int n = 1; n <= pages; ++n) {
        RefPtr<Image> paper;
        std::string name;
        for (const char* format : {"page-%d.ppm", "page-%02d.ppm"}) {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, format, n);
            name = buffer;
            if (std::filesystem::exists(dir.file(name))) {
                paper = RefPtr<Image>::adopt(testkit::ReadPnm(dir.file(name)));
                break;
            }
        }
        ASSERT_TRUE(paper) << "page " << n;
        const Image& page = *expected[n - 1];
        const double scale = std::min(8.1 * 50 / page.GetWidth(), 10.6 * 50 / page.GetHeight());
        double sum = 0;
        size_t count = 0;
        for (int j = 0; j < page.GetHeight(); ++j)
            for (int i = 0; i < page.GetWidth(); ++i) {
                const int px = static_cast<int>(3 * (10 + (i + 0.5) * scale));
                const int py = static_cast<int>(3 * (10 + (j + 0.5) * scale));
                if (px >= paper->GetWidth() || py >= paper->GetHeight()) continue;
                const uint8_t* p = page.GetData() + static_cast<size_t>(j) * page.GetRowByte() + i * 3;
                const uint8_t* q = paper->GetData() + static_cast<size_t>(py) * paper->GetRowByte() + px * 3;
                for (int c = 0; c < 3; ++c) sum += std::abs(int(p[2 - c]) - int(q[c]));  // B, G, R against R, G, B
                count += 3;
            }
        ASSERT_GT(count, 0u);
        EXPECT_LT(sum / count / 255.0, 0.01) << name;
    }
}

// A deployment with a web link: the manager finds it when it starts.
class PanoramaWebPrintTest : public PanoramaToolsTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        std::filesystem::create_directories(ProgramDir() + "/WebLinks");
        std::ofstream(ProgramDir() + "/WebLinks/Rowmap.dll") << "# links\n0B http://print.example/panorama\n";
        SuperManager::SetWebLinkId(11);
        ASSERT_TRUE(Start());
    }
};

TEST_F(PanoramaWebPrintTest, WebPrintingNeedsASavedPanoramaAndHandsOverItsAddress)
{
    WorldMap* map = MakeCodedMap();
    CRectMapView* view = Open(map, true, true);
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(win::QueryCommandState(view, 32888).enabled);
    Prompter().ExpectMessageBox("Please save panorama to a file first.", IDOK);
    Command(view, 32888);
    ASSERT_EQ(Prompter().MessageBoxes().size(), 1u);

    map->SetName("/panoramas/bay.jpg");
    std::string image, address;
    Prompter().ExpectDialog(CWebPrintUploadDlg::kTemplateId, [&](CDialog& d) {
        image = d.GetDlgItemText(CWebPrintUploadDlg::kImageStatic);
        address = d.GetDlgItemText(CWebPrintUploadDlg::kAddressStatic);
        d.EndDialog(IDCANCEL);
    });
    Command(view, 32888);
    EXPECT_EQ(image, "/panoramas/bay.jpg");
    EXPECT_EQ(address, "http://print.example/panorama");
}

TEST_F(PanoramaToolsTest, WebPrintingIsDisabledWithoutWebLinks)
{
    CRectMapView* view = Open(MakeCodedMap(), true, true);
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(win::QueryCommandState(view, 32888).enabled);
}

TEST_F(PanoramaToolsTest, ContextMenuOnAFinalMapNamesTheRegionRemoval)
{
    CRectMapView* view = Open(MakeCodedMap(), true, true);
    ASSERT_NE(view, nullptr);
    SetCurrentTool(33000, 33001);
    Prompter().ExpectPopupMenu(0);
    Mouse(view, WM_RBUTTONDOWN, 40, 40);
    EXPECT_EQ(GetCurrentTool(), 33000);
    Command(view, CRectMapView::kPerspectiveToolCommand);
    Drag(view, {{20, 20}, {60, 50}});
    ASSERT_NE(view->GetMode() & CRectMapView::perspectiveRegion, 0);
    Prompter().ExpectPopupMenu(CRectMapView::kPerspectiveToolCommand);
    Mouse(view, WM_RBUTTONDOWN, 40, 40);
    const auto menus = Prompter().PopupMenus();
    ASSERT_EQ(menus.size(), 2u);
    auto textOf = [](const win::PopupMenuRequest& menu, UINT id) {
        for (const auto& item : menu.items)
            if (item.id == id) return item.text;
        return std::string("(none)");
    };
    EXPECT_EQ(textOf(menus[0], 32860), "Select perspective region");
    EXPECT_EQ(textOf(menus[1], 32860), "Remove perspective region");
    // The chosen item ended the tool and dropped the region.
    EXPECT_EQ(view->GetMode() & (CRectMapView::perspectiveTool | CRectMapView::perspectiveRegion), 0);

    // A preview shows no menu.
    m_map->NotifyViewers(10008, 0);
    Mouse(view, WM_RBUTTONDOWN, 40, 40);
    EXPECT_EQ(Prompter().PopupMenus().size(), 2u);
}

TEST_F(PanoramaToolsTest, HandToolPansWithinThePictureEdges)
{
    CRectMapView* view = Open(MakeCodedMap(1600), true, true);
    ASSERT_NE(view, nullptr);
    view->GetParentFrame()->SetWindowPos(nullptr, 0, 0, 300, 200, SWP_NOZORDER | SWP_NOMOVE);
    RECT client{};
    view->GetClientRect(&client);
    int vw = 0, vh = 0;
    view->GetViewSize(vw, vh);
    ASSERT_LT(client.right, vw);
    ResetCurrentTool(33000);
    // Client points: press, then drag far to the left and up.
    view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
    EXPECT_EQ(view->GetToolCursor(), CRectMapView::kPanningCursor);
    view->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(60, 90));
    EXPECT_EQ(view->GetScrollPosition().x, 40);
    view->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(static_cast<uint16_t>(-30000), static_cast<uint16_t>(-30000)));
    EXPECT_EQ(view->GetScrollPosition().x, vw - client.right);
    EXPECT_EQ(view->GetScrollPosition().y, std::max(0, vh - static_cast<int>(client.bottom)));
    view->SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(0, 0));
    EXPECT_EQ(view->GetToolCursor(), CRectMapView::kPanCursor);
}

TEST_F(PanoramaToolsTest, BitmapObjectsAreDeletedOnlyAfterOkAndNeverThePanoramaItself)
{
    CRectMapView* view = Open(MakeCodedMap(), true, false);
    ASSERT_NE(view, nullptr);
    BmpLayer* layer = view->GetBmpLayer();
    auto* picture = new Image();
    ASSERT_EQ(picture->BmpInit(10, 10, 3), 0);
    auto* cell = new BmpCell(picture);
    ReleaseImage(picture);
    cell->SetLocation(20, 20);
    layer->AddBmpCell(cell);
    RefRelease(cell);
    ASSERT_EQ(layer->GetCount(), 2);

    SetCurrentTool(33000, 33003);
    Mouse(view, WM_LBUTTONDBLCLK, 100, 60);  // only the panorama there: nothing asked
    EXPECT_TRUE(Prompter().MessageBoxes().empty());
    EXPECT_EQ(layer->GetCount(), 2);
    Prompter().ExpectMessageBox("Do you really want to delete this object?", IDCANCEL);
    Mouse(view, WM_LBUTTONDBLCLK, 25, 25);
    EXPECT_EQ(layer->GetCount(), 2);
    Prompter().ExpectMessageBox("Do you really want to delete this object?", IDOK);
    Mouse(view, WM_LBUTTONDBLCLK, 25, 25);
    EXPECT_EQ(layer->GetCount(), 1);
}

// ---- Real pixels: the ruler through the X11 presenter ------------------------------------

TEST_F(PanoramaToolsTest, DISABLED_RulerShownOnTheDisplay)
{
    const char* shot = std::getenv("FENDRAKE_RULER_SHOT");
    ASSERT_NE(shot, nullptr);
    testkit::TempDir dir;
    const std::string pano = dir.file("pano.ppm");
    const auto run = testkit::Run("convert '" + testkit::TestData("pannellum/examplepano.jpg").string() +
                                  "' -resize 800x401! '" + pano + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    Image* image = testkit::ReadPnm(pano);
    ASSERT_NE(image, nullptr);
    auto* map = new WorldMap();
    ASSERT_TRUE(map->TransferFromImage(image, 800, 0, 0, 0));
    ReleaseImage(image);
    CRectMapView* view = Open(map, false, true);
    ASSERT_NE(view, nullptr);
    view->SelectTool(CWorldMapView::kLevel);
    view->SetRulerOffset(37);
    view->Invalidate(FALSE);
    PresentedCapture shown;
    ASSERT_TRUE(CapturePresented(Main().m_hWnd, shot, shown));
    const RefPtr<Image>& screen = shown.screen;    // R, G, B
    const RefPtr<Image>& surface = shown.surface;  // B, G, R
    RECT area{};
    view->GetWindowRect(&area);
    Main().ScreenToClient(&area);
    long differing = 0, red = 0;
    int ox = 0, oy = 0;
    view->GetOffset(ox, oy);
    CPoint origin(0, 0);  // the view's client area in the main window's client
    view->ClientToScreen(&origin);
    Main().ScreenToClient(&origin);
    const int centreColumn = origin.x + ox + view->GetRulerGeometry().centreX;
    for (int y = std::max(0, static_cast<int>(area.top)); y < std::min(static_cast<int>(area.bottom), surface->GetHeight()); ++y)
        for (int x = std::max(0, static_cast<int>(area.left)); x < std::min(static_cast<int>(area.right), surface->GetWidth()); ++x) {
            const uint8_t* a = screen->GetData() + static_cast<size_t>(y) * screen->GetRowByte() + x * 3;
            const uint8_t* b = surface->GetData() + static_cast<size_t>(y) * surface->GetRowByte() + x * 3;
            differing += (a[0] != b[2] || a[1] != b[1] || a[2] != b[0]) ? 1 : 0;
            if (x == centreColumn) red += (a[0] == 255 && a[1] == 0 && a[2] == 0) ? 1 : 0;
        }
    EXPECT_EQ(differing, 0);
    // The red centre line on the display, at the computed column, over the
    // ruler's height (two half heights of 401 * 9 / 20 = 180, plus the
    // centre row), but where the four green edges of the tilt handles cross it.
    EXPECT_EQ(red, 2 * 180 + 1 - 4) << "column " << centreColumn;
    win::X11Presenter::Stop();
    m_map = map;
}

TEST_F(PanoramaToolsTest, OnAVirtualDisplayTheRulerShowsItsHeadlessSurface)
{
    ASSERT_TRUE(testkit::RequireTool("xvfb-run"));
    ASSERT_TRUE(testkit::RequireTool("import"));
    ASSERT_TRUE(testkit::RequireTool("convert"));
    const std::string shot = Home().file("ruler.ppm");
    const auto run = testkit::Run("FENDRAKE_RULER_SHOT='" + shot +
                                  "' xvfb-run -a -s '-screen 0 1920x1200x24 -nolisten tcp' /proc/" +
                                  std::to_string(getpid()) +
                                  "/exe --gtest_also_run_disabled_tests "
                                  "--gtest_filter=PanoramaToolsTest.DISABLED_RulerShownOnTheDisplay 2>&1");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("[  PASSED  ] 1 test"), std::string::npos) << run.output;
    RefPtr<Image> screen = RefPtr<Image>::adopt(testkit::ReadPnm(shot));
    EXPECT_TRUE(screen) << "no screenshot was taken";
}
