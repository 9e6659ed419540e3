// Faces and frames: the extent table, the cube and fan cuts, and whole frames
// rendered through the faces compared with the per-pixel ray-caster of the
// test support, on a synthetic map with grid lines and on a real 4096 x 2048
// panorama (ImageMagick's mean absolute error).
#include "viewer/engine/view_faces.h"

#include "viewer/engine/face_renderer.h"
#include "viewer/engine/panorama_reader.h"
#include "viewer/engine/row_bands.h"
#include "viewer/engine/tests/engine_test_support.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace enginetest;

constexpr double kDeg = kPi / 180;

TEST(ViewFaces, ComputeExtentTable)
{
    const int w = 720;  // 2 columns a degree; 361 rows
    const struct {
        const char* name;
        int column, width, row, height;
        int kind, sectors, caps;
        double halfHeightDeg, spanDeg;
    } cases[] = {
        {"95 percent, 5-degree gaps", 18, 684, 10, 341, 1, 4, 3, 90, 360},
        {"180 degrees, 30-degree gaps", 180, 360, 60, 241, 0, 6, 0, 60, 180},
        {"full height, 90 degrees", 270, 180, 0, 361, 1, 4, 3, 90, 360},
        {"40 degrees", 320, 80, 60, 241, 0, 1, 0, 60, 40},
        {"50 degrees", 310, 100, 60, 241, 0, 2, 0, 60, 50},
        {"10 degrees: one sector of its own", 350, 20, 60, 241, 0, 1, 0, 60, 10},
        {"sky missing: bottom cap", 180, 360, 60, 301, 0, 6, kViewCapBottom, 70, 180},
        {"ground missing: top cap", 180, 360, 0, 300, 0, 6, kViewCapTop, 70, 180},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const MapPtr map = MakeSyntheticMap(w, false, c.column, c.width, c.row, c.height);
        ASSERT_TRUE(map);
        float yawMin = 0, yawMax = 0, half = 0;
        int sectors = 0, caps = -1;
        EXPECT_EQ(CViewFaceList::ComputeExtent(map.get(), yawMin, yawMax, half, sectors, caps), c.kind);
        EXPECT_EQ(sectors, c.sectors);
        EXPECT_EQ(caps, c.caps);
        EXPECT_NEAR(half / kDeg, c.halfHeightDeg, 0.5);
        EXPECT_NEAR((yawMax - yawMin) / kDeg, c.spanDeg, 0.01);
        if (c.kind == 0) {
            EXPECT_NEAR((yawMin + yawMax) / 2, 0.0, 0.01);  // partial maps are stored centred
        }
    }
    WorldMapBase empty;
    float a, b, h;
    int s, caps;
    EXPECT_EQ(CViewFaceList::ComputeExtent(&empty, a, b, h, s, caps), -1);
}

TEST(ViewFaces, CubeAndFanCuts)
{
    ImagePtr view(new Image(64, 48, 3));
    {
        const MapPtr map = MakeSyntheticMap(1024);
        CViewFaceList list;
        ASSERT_TRUE(list.Init(map.get(), 2.0f, view.get()));
        ASSERT_EQ(list.GetCount(), 6);
        const int a = 1024 / 8 + 1;
        const int order[6] = {0, 1, 2, 3, -1, -2};
        for (int i = 0; i < 6; ++i) {
            const CViewFace* f = list.GetFace(i);
            EXPECT_EQ(f->index, order[i]);
            EXPECT_EQ(f->faceImage->GetWidth(), a + 16);
            EXPECT_EQ(f->faceImage->GetHeight(), a + 16);
            EXPECT_FLOAT_EQ(f->unitsPerPixel, 2.0f / a);
        }
        EXPECT_FLOAT_EQ(list.GetFace(3)->yaw, float(kPi));
        EXPECT_FLOAT_EQ(list.GetFace(4)->pitch, float(-kPi / 2));
        EXPECT_EQ(list.GetCapacity(), 10);
    }
    {
        // 180 degrees with 30-degree gaps: six sectors of 30 degrees.
        const MapPtr map = MakeSyntheticMap(720, false, 180, 360, 60, 241);
        CViewFaceList list;
        ASSERT_TRUE(list.Init(map.get(), 1.0f, view.get()));
        ASSERT_EQ(list.GetCount(), 6);
        const double p = 8.0 / 720;
        const int width = 2 * int(std::tan(15 * kDeg) / p + 0.5) + 1;
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(list.GetFace(i)->faceImage->GetWidth(), width + 16);
            EXPECT_NEAR(list.GetFace(i)->yaw, (-75 + 30 * i) * kDeg, 1e-4);
            EXPECT_FLOAT_EQ(list.GetFace(i)->unitsPerPixel, float(p));
        }
    }
    CViewFaceList none;
    EXPECT_FALSE(none.Init(nullptr, 1.0f, view.get()));
    WorldMapBase empty;
    EXPECT_FALSE(none.Init(&empty, 1.0f, view.get()));
    EXPECT_EQ(none.GetCount(), 0);
}

TEST(ViewFaces, RenderWithoutFacesOnlyClears)
{
    ImagePtr view(new Image(32, 16, 3));
    view->Fill(200);
    CViewFaceList list;
    CViewParams params;
    list.Render(&params, 1.0f, 0.0f, true, false, true);  // no view image yet
    list.SetViewImage(view.get());
    list.Render(&params, 1.0f, 0.0f, true, false, false);
    EXPECT_EQ(view->GetData()[0], 200);
    list.Render(&params, 1.0f, 0.0f, true, false, true);
    EXPECT_EQ(view->GetData()[0], 0);
    // A face list over an empty view image.
    ImagePtr nothing(new Image());
    const MapPtr map = MakeSyntheticMap(256);
    CViewFaceList faces;
    ASSERT_TRUE(faces.Init(map.get(), 1.0f, nothing.get()));
    faces.Render(&params, 1.0f, 0.0f, true, false, true);
}

struct Frame {
    const char* name;
    float yaw, pitch, hfov;
    bool bilinear;
    float roll = 0;  // the view's turn about its axis
};

// Mean absolute error over all samples, as a fraction of 255. With a frame,
// pixels within 10 degrees of a pole are left out: the synthetic map codes
// longitude in red, which turns fast there.
double MeanAbsoluteError(const Image& a, const Image& b, const Frame* frame = nullptr)
{
    double sum = 0;
    size_t count = 0;
    const int c = a.GetChannels(), w = a.GetWidth(), h = a.GetHeight();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (frame) {
                double lon, lat;
                PixelDirection(x - w / 2, y - h / 2, (w / 2.0) / std::tan(frame->hfov / 2), frame->yaw, frame->pitch,
                               frame->roll, lon, lat);
                if (std::fabs(lat) > 80 * kDeg) continue;
            }
            for (int k = 0; k < c; ++k)
                sum += std::abs(int(a.GetData()[y * a.GetRowByte() + x * c + k]) -
                                int(b.GetData()[y * b.GetRowByte() + x * c + k]));
            count += static_cast<size_t>(c);
        }
    return count ? sum / double(count) / 255.0 : 1.0;
}

// ImageMagick's normalised mean absolute error of two images written as PPM.
double MagickMae(const Image& a, const Image& b, const testkit::TempDir& dir)
{
    const std::string pa = dir.file("a.ppm"), pb = dir.file("b.ppm");
    EXPECT_TRUE(testkit::WritePnm(a, pa));
    EXPECT_TRUE(testkit::WritePnm(b, pb));
    const testkit::CommandResult r = testkit::Run("compare -metric MAE '" + pa + "' '" + pb + "' null: 2>&1");
    std::smatch m;
    const std::regex normalised(R"(\(([0-9.eE+-]+)\))");
    if (!std::regex_search(r.output, m, normalised)) {
        ADD_FAILURE() << "compare gave: " << r.output;
        return 1.0;
    }
    return std::stod(m[1]);
}

ImagePtr RenderFrame(CViewFaceList& list, const Frame& f)
{
    CViewParams params;
    params.yaw = f.yaw;
    params.pitch = f.pitch;
    list.Render(&params, f.hfov, f.roll, f.bilinear, false, true);
    ImagePtr copy(list.GetViewImage()->Duplicate());
    return copy;
}

ImagePtr ReferenceFrame(const WorldMapBase& map, int w, int h, const Frame& f)
{
    ImagePtr ref(new Image(w, h, 3));
    RayCastView(map, ref.get(), f.yaw, f.pitch, f.roll, f.hfov);
    return ref;
}

// Sub-pixel positions of the dark grid lines along one row of a frame.
std::vector<double> GridCrossings(const Image& img, int y)
{
    std::vector<double> out;
    const int w = img.GetWidth();
    auto lum = [&](int x) {
        const unsigned char* p = img.GetData() + y * img.GetRowByte() + x * 3;
        return double(p[0]) + p[1] + p[2];
    };
    for (int x = 2; x < w - 2; ++x) {
        const double l = lum(x - 1), c = lum(x), r = lum(x + 1);
        // A valley at least 60 levels deep below the pixels two away.
        if (c < l && c <= r && lum(x - 2) - c > 60 && lum(x + 2) - c > 60) {
            const double denom = l - 2 * c + r;
            out.push_back(x + (denom > 0 ? 0.5 * (l - r) / denom : 0.0));
        }
    }
    return out;
}

TEST(ViewFaces, FramesMatchTheRayCasterOnASyntheticGridMap)
{
    const int w = 2048;
    const MapPtr map = MakeSyntheticMap(w, true);
    ASSERT_TRUE(map);
    ImagePtr view(new Image(320, 240, 3));
    CViewFaceList list;
    ASSERT_TRUE(list.Init(map.get(), 1.0f, view.get()));
    const Frame frames[] = {
        {"horizon bilinear", 0.3f, 0.1f, float(80 * kDeg), true},
        {"horizon nearest", 0.3f, 0.1f, float(80 * kDeg), false},
        {"across the seam", float(kPi) - 0.2f, -0.2f, float(90 * kDeg), true},
        {"straight up", 0.5f, float(-kPi / 2) + 0.001f, float(100 * kDeg), true},
        {"cube edge below", -2.0f, 0.7f, float(70 * kDeg), true},
        {"rolled", 0.4f, -0.3f, float(80 * kDeg), true, 0.25f},
    };
    for (const Frame& f : frames) {
        SCOPED_TRACE(f.name);
        const ImagePtr got = RenderFrame(list, f);
        const ImagePtr ref = ReferenceFrame(*map, 320, 240, f);
        const double mae = MeanAbsoluteError(*got, *ref, &f);
        EXPECT_LT(mae, f.bilinear ? 0.025 : 0.035);
        // Grid lines: every line the reference shows lies within half a
        // pixel of one in the frame, on average far closer. A few faint
        // crossings are lost to the double resampling of the thin lines.
        int matched = 0, missing = 0, far = 0;
        double sumAbs = 0;
        for (int y = 20; y < 240; y += 37) {
            const std::vector<double> want = GridCrossings(*ref, y), have = GridCrossings(*got, y);
            for (double x : want) {
                double best = 1e9;
                for (double h : have) best = std::min(best, std::fabs(h - x));
                if (best >= 2) {
                    ++missing;
                    continue;
                }
                ++matched;
                sumAbs += best;
                if (best >= (f.bilinear ? 0.5 : 1.0)) ++far;
            }
        }
        ASSERT_GT(matched, 100);
        EXPECT_LT(sumAbs / matched, 0.15);
        EXPECT_LE(far, matched / 10);
        EXPECT_LE(missing, (matched + missing) / (f.pitch < -1.5f ? 4 : 8));
    }
    // Looking straight up: the top face is drawn, the bottom one skipped.
    CViewParams up;
    up.pitch = float(-kPi / 2);
    list.Render(&up, float(100 * kDeg), 0.0f, true, false, true);
    EXPECT_GT(list.GetFace(4)->visiblePolygon.count, 0);
    EXPECT_EQ(list.GetFace(5)->visiblePolygon.count, 0);
}

TEST(ViewFaces, PartialPanoramaFramesKeepZerosOutsideTheData)
{
    const int w = 2048;
    // 180 degrees, 35-degree gaps: a fan without caps.
    const MapPtr map = MakeSyntheticMap(w, true, 512, 1024, 200, 625);
    ASSERT_TRUE(map);
    ImagePtr view(new Image(300, 200, 3));
    CViewFaceList list;
    ASSERT_TRUE(list.Init(map.get(), 1.0f, view.get()));
    EXPECT_EQ(list.GetCount(), 6);
    const Frame frames[] = {
        {"middle", 0.2f, 0.0f, float(70 * kDeg), true},
        {"at the edge and above", float(80 * kDeg), -0.5f, float(90 * kDeg), true},
    };
    for (const Frame& f : frames) {
        SCOPED_TRACE(f.name);
        const ImagePtr got = RenderFrame(list, f);
        const ImagePtr ref = ReferenceFrame(*map, 300, 200, f);
        EXPECT_LT(MeanAbsoluteError(*got, *ref), 0.025);
        int zeroInRef = 0, wrongly = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 300; ++x) {
                const unsigned char* p = got->GetData() + y * got->GetRowByte() + x * 3;
                const unsigned char* q = ref->GetData() + y * ref->GetRowByte() + x * 3;
                // Well outside the data nothing is drawn. Within a few pixels
                // of it the faces' margins (no data, 0) are drawn, and
                // bilinear sampling writes a first sample of 0 as 1.
                bool farOutside = true;
                for (int dy = -5; dy <= 5 && farOutside; ++dy)
                    for (int dx = -5; dx <= 5 && farOutside; ++dx) {
                        const int yy = std::clamp(y + dy, 0, 199), xx = std::clamp(x + dx, 0, 299);
                        const unsigned char* r = ref->GetData() + yy * ref->GetRowByte() + xx * 3;
                        if (r[0] || r[1] || r[2]) farOutside = false;
                    }
                if (!farOutside) continue;
                ++zeroInRef;
                if (p[0] || p[1] || p[2]) ++wrongly;
                (void)q;
            }
        if (std::string(f.name) != "middle") {
            EXPECT_GT(zeroInRef, 1000);
        }
        EXPECT_EQ(wrongly, 0);
    }
}

// A cleared frame whose faces overwrite is cleared after drawing, only where
// no face drew: the bytes equal clearing the whole view first and drawing
// over it, whatever the view held before (gaps of a partial panorama, the
// padding of bitmap rows, a grey view, odd widths, rolled views, both
// samplings, cubes and fans with and without caps).
TEST(ViewFaces, ClearingAfterDrawingGivesTheClearedFirstBytes)
{
    const MapPtr whole = MakeSyntheticMap(1024, true);
    const MapPtr fan = MakeSyntheticMap(2048, true, 512, 1024, 200, 625);
    const MapPtr capped = MakeSyntheticMap(2048, true, 512, 1024, 200, 825);
    ASSERT_TRUE(whole && fan && capped);
    struct Case {
        const char* name;
        const WorldMapBase* map;
        int w, h, channels;
        bool bitmapRows;
        float yaw, pitch, roll, hfov;
        bool bilinear;
    };
    const Case cases[] = {
        {"cube horizon nearest", whole.get(), 301, 201, 3, false, 0.3f, 0.0f, 0.0f, 1.5f, false},
        {"cube seam bilinear", whole.get(), 301, 201, 3, false, 3.1f, 0.1f, 0.0f, 1.5f, true},
        {"cube up, rolled", whole.get(), 255, 143, 3, false, 1.0f, -1.5f, 0.4f, 1.9f, true},
        {"fan edge nearest", fan.get(), 299, 200, 3, false, 1.4f, -0.5f, 0.0f, 1.6f, false},
        {"fan edge bilinear, bitmap rows", fan.get(), 299, 200, 3, true, 1.4f, -0.5f, 0.0f, 1.6f, true},
        {"fan below the data", fan.get(), 200, 150, 3, false, 0.0f, 1.3f, 0.0f, 1.2f, true},
        {"cap straight down", capped.get(), 201, 133, 3, false, -0.5f, 1.56f, 0.2f, 1.6f, false},
        {"grey view", capped.get(), 97, 75, 1, true, 0.4f, 0.9f, 0.0f, 1.5f, true},
        {"grey view nearest", fan.get(), 97, 75, 1, false, 1.5f, 0.0f, 0.0f, 1.5f, false},
    };
    int casesWithGaps = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto makeView = [&] {
            ImagePtr view(new Image());
            if (c.bitmapRows)
                view->BmpInit(c.w, c.h, c.channels);
            else
                view->Create(c.w, c.h, c.channels, IMG_UINT8);
            return view;
        };
        ImagePtr first = makeView(), after = makeView();
        ASSERT_TRUE(first->GetData() && after->GetData());
        CViewParams params;
        params.yaw = c.yaw;
        params.pitch = c.pitch;
        CViewFaceList list;
        ASSERT_TRUE(list.Init(c.map, 1.0f, first.get()));
        // Cleared first by hand, then drawn without clearing.
        std::memset(first->GetData(), 0, first->GetDataSize());
        list.Render(&params, c.hfov, c.roll, c.bilinear, false, false);
        // Over stale bytes, cleared by the frame itself.
        list.SetViewImage(after.get());
        std::memset(after->GetData(), 0xA5, after->GetDataSize());
        list.Render(&params, c.hfov, c.roll, c.bilinear, false, true);
        ASSERT_EQ(first->GetDataSize(), after->GetDataSize());
        EXPECT_EQ(0, std::memcmp(first->GetData(), after->GetData(), first->GetDataSize()));
        size_t zeros = 0;
        for (size_t i = 0; i < after->GetDataSize(); ++i) zeros += after->GetData()[i] == 0;
        EXPECT_LT(zeros, after->GetDataSize());  // something was drawn
        casesWithGaps += zeros > 0;
        // With the faces averaging the view is still cleared before drawing.
        list.SetViewImage(first.get());
        std::memset(first->GetData(), 0, first->GetDataSize());
        list.Render(&params, c.hfov, c.roll, c.bilinear, true, false);
        list.SetViewImage(after.get());
        std::memset(after->GetData(), 0xA5, after->GetDataSize());
        list.Render(&params, c.hfov, c.roll, c.bilinear, true, true);
        EXPECT_EQ(0, std::memcmp(first->GetData(), after->GetData(), first->GetDataSize()));
    }
    EXPECT_GE(casesWithGaps, 4);
}

// The list draws its faces in one job of row bands; every row still gets the
// faces in list order, so the frame equals drawing each face over the whole
// view in turn (the faces' margins overlap, and averaging faces depend on
// that order), on one thread or four, for cubes, fans and caps, both
// samplings, overwriting and averaging, rolled and odd-sized views.
TEST(ViewFaces, FramesInRowBandsEqualDrawingFaceAfterFace)
{
    const MapPtr whole = MakeSyntheticMap(1024, true);
    const MapPtr capped = MakeSyntheticMap(2048, true, 512, 1024, 200, 825);
    ASSERT_TRUE(whole && capped);
    struct Case {
        const char* name;
        const WorldMapBase* map;
        int w, h;
        float yaw, pitch, roll, hfov;
        bool bilinear, keepFlag;
    };
    const Case cases[] = {
        {"cube corner nearest", whole.get(), 301, 201, 0.785f, -0.5f, 0.0f, 1.7f, false, false},
        {"cube corner bilinear averaging", whole.get(), 301, 201, 0.785f, -0.5f, 0.0f, 1.7f, true, true},
        {"cube seam rolled averaging", whole.get(), 255, 143, 3.1f, 0.6f, 0.5f, 2.0f, false, true},
        {"fan and cap bilinear", capped.get(), 299, 200, -0.5f, 1.1f, 0.2f, 1.6f, true, false},
        {"fan and cap nearest averaging", capped.get(), 299, 200, 0.8f, 0.9f, 0.0f, 1.8f, false, true},
    };
    const int savedThreads = viewengine::GetRowBandThreads();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImagePtr banded(new Image(c.w, c.h, 3)), oneByOne(new Image(c.w, c.h, 3));
        CViewFaceList list;
        ASSERT_TRUE(list.Init(c.map, 1.0f, oneByOne.get()));
        CViewParams params;
        params.yaw = c.yaw;
        params.pitch = c.pitch;
        // Face after face over the whole view, as the list scales them.
        std::memset(oneByOne->GetData(), 0, oneByOne->GetDataSize());
        const double viewUnits = std::tan(c.hfov / 2.0) / (c.w / 2.0);
        const float zoom = static_cast<float>(list.GetFace(0)->unitsPerPixel / viewUnits);
        int drawn = 0;
        for (int i = 0; i < list.GetCount(); ++i)
            drawn += list.GetFace(i)->Render(&params, zoom, c.roll, c.bilinear, c.keepFlag) ? 1 : 0;
        ASSERT_GE(drawn, 2);  // the faces meet in this view
        list.SetViewImage(banded.get());
        for (int threads : {1, 4}) {
            viewengine::SetRowBandThreads(threads);
            std::memset(banded->GetData(), 0x5A, banded->GetDataSize());
            list.Render(&params, c.hfov, c.roll, c.bilinear, c.keepFlag, true);
            EXPECT_EQ(0, std::memcmp(banded->GetData(), oneByOne->GetData(), banded->GetDataSize()))
                << threads << " threads";
        }
        viewengine::SetRowBandThreads(savedThreads);
    }
}

// A new cut of the same sizes draws over the previous face images that only
// their faces held, and gives a fresh list's bytes; an image held elsewhere
// keeps its pixels and is not drawn over.
TEST(ViewFaces, RecutFacesReuseOnlyImagesNoOneElseHolds)
{
    const MapPtr plain = MakeSyntheticMap(512, false);
    const MapPtr grid = MakeSyntheticMap(512, true);
    ASSERT_TRUE(plain && grid);
    ImagePtr view(new Image(64, 48, 3));
    CViewFaceList list;
    ASSERT_TRUE(list.Init(plain.get(), 1.0f, view.get()));
    ASSERT_EQ(list.GetCount(), 6);
    Image* held = list.GetFace(0)->faceImage;
    RefAdd(held);
    const std::vector<unsigned char> heldBytes(held->GetData(), held->GetData() + held->GetDataSize());
    std::vector<const Image*> before;
    for (int i = 1; i < 6; ++i) before.push_back(list.GetFace(i)->faceImage);
    ASSERT_TRUE(list.Init(grid.get(), 1.0f, view.get()));
    int reused = 0;
    for (int i = 0; i < list.GetCount(); ++i) {
        EXPECT_NE(list.GetFace(i)->faceImage, held);
        reused += std::count(before.begin(), before.end(), list.GetFace(i)->faceImage);
    }
    EXPECT_EQ(reused, 5);  // drawn over, not reallocated
    EXPECT_EQ(0, std::memcmp(held->GetData(), heldBytes.data(), heldBytes.size()));
    CViewFaceList fresh;
    ASSERT_TRUE(fresh.Init(grid.get(), 1.0f, view.get()));
    ASSERT_EQ(fresh.GetCount(), list.GetCount());
    for (int i = 0; i < fresh.GetCount(); ++i) {
        const Image* a = fresh.GetFace(i)->faceImage;
        const Image* b = list.GetFace(i)->faceImage;
        ASSERT_EQ(a->GetDataSize(), b->GetDataSize());
        EXPECT_EQ(0, std::memcmp(a->GetData(), b->GetData(), a->GetDataSize())) << i;
    }
    // A different size allocates afresh.
    const MapPtr larger = MakeSyntheticMap(1024, true);
    ASSERT_TRUE(list.Init(larger.get(), 1.0f, view.get()));
    EXPECT_EQ(list.GetFace(0)->faceImage->GetWidth(), 1024 / 4 + 1 + 16);
    RefRelease(held);
}

TEST(ViewFaces, FanWithACapAgainstTheRayCaster)
{
    const int w = 2048;
    // 180 degrees, the sky missing (35 degrees), the ground down to the pole:
    // six sectors and a bottom cap.
    const MapPtr map = MakeSyntheticMap(w, true, 512, 1024, 200, 825);
    ASSERT_TRUE(map);
    ImagePtr view(new Image(300, 200, 3));
    CViewFaceList list;
    ASSERT_TRUE(list.Init(map.get(), 1.0f, view.get()));
    ASSERT_EQ(list.GetCount(), 7);
    EXPECT_EQ(list.GetFace(6)->index, -2);
    const Frame frames[] = {
        {"looking down", 0.3f, 1.2f, float(80 * kDeg), true},
        {"straight down", -0.5f, float(kPi / 2) - 0.01f, float(90 * kDeg), true},
        {"horizon nearest", -0.6f, 0.2f, float(70 * kDeg), false},
    };
    for (const Frame& f : frames) {
        SCOPED_TRACE(f.name);
        const ImagePtr got = RenderFrame(list, f);
        const ImagePtr ref = ReferenceFrame(*map, 300, 200, f);
        // Nearest against the bilinear reference: the grid lines' edges move
        // by up to half a pixel.
        EXPECT_LT(MeanAbsoluteError(*got, *ref, &f), f.bilinear ? 0.025 : 0.04);
    }
}

TEST(ViewFaces, FramesFromTheRealPanoramaAgainstTheRayCaster)
{
    ASSERT_TRUE(testkit::RequireTool("compare"));
    const std::string path = testkit::TestData("pannellum/examplepano.jpg").string();
    Image* raw = nullptr;
    ASSERT_EQ(viewengine::LoadImageWMapBaseEx(path.c_str(), &raw, nullptr, true, false), 1) << path;
    ImagePtr photo(raw);
    ASSERT_EQ(photo->GetWidth(), 4096);
    ASSERT_EQ(photo->GetHeight(), 2048);
    MapPtr map(new WorldMapBase());
    ASSERT_TRUE(map->TransferFromImage(photo.get(), 4096, 0, 0, 0));
    ImagePtr view(new Image(400, 300, 3));
    CViewFaceList list;
    ASSERT_TRUE(list.Init(map.get(), 1.0f, view.get()));
    testkit::TempDir dir;
    const Frame frames[] = {
        {"horizon bilinear", 0.4f, 0.05f, float(75 * kDeg), true},
        {"horizon nearest", 0.4f, 0.05f, float(75 * kDeg), false},
        {"across the seam", float(-kPi) + 0.1f, 0.2f, float(90 * kDeg), true},
        {"looking up", 1.0f, -1.2f, float(90 * kDeg), true},
    };
    for (const Frame& f : frames) {
        SCOPED_TRACE(f.name);
        const ImagePtr got = RenderFrame(list, f);
        const ImagePtr ref = ReferenceFrame(*map, 400, 300, f);
        // Nearest sampling against the bilinear reference moves edges by up
        // to half a pixel: a little more error there.
        const double mae = MagickMae(*got, *ref, dir);
        RecordProperty(std::string("mae_") + f.name, std::to_string(mae));
        EXPECT_LT(mae, f.bilinear ? 0.015 : 0.02);
    }
}

#if VIEWENGINE_FACE_STRIP
TEST(ViewFaces, SixFaceStripGivesACubeOfItsOwn)
{
    // Cut a cube from the synthetic map, lay its faces side by side as the
    // second kind of panorama does, and read the strip back.
    const MapPtr map = MakeSyntheticMap(512, true);
    const int s = 138;  // a face of 128 pixels (the map's own resolution) plus the margins
    ImagePtr strip(new Image(6 * s, s, 3));
    const float yaws[6] = {0, float(kPi / 2), float(kPi), float(3 * kPi / 2), 0, 0};
    const float pitches[6] = {0, 0, 0, 0, float(-kPi / 2), float(kPi / 2)};
    for (int i = 0; i < 6; ++i) {
        ImagePtr face(new Image(s, s, 3));
        const float fov = float(2 * std::atan(s / (s - 10.0)));
        ASSERT_TRUE(RenderFaceFromMap(map.get(), face.get(), yaws[i], pitches[i], 0, fov, 5, true));
        for (int y = 0; y < s; ++y)
            std::memcpy(strip->GetData() + y * strip->GetRowByte() + i * s * 3,
                        face->GetData() + y * face->GetRowByte(), s * 3);
    }
    ImagePtr view(new Image(200, 150, 3));
    CViewFaceList list;
    list.SetViewImage(view.get());
    ASSERT_TRUE(AddFaceStrip(list, strip.get()));
    ASSERT_EQ(list.GetCount(), 6);
    EXPECT_FLOAT_EQ(list.GetFace(0)->unitsPerPixel, 2.0f / (s - 10));
    EXPECT_FLOAT_EQ(list.GetFace(5)->pitch, float(kPi / 2));
    const Frame f{"strip", 0.7f, -0.3f, float(80 * kDeg), true};
    const ImagePtr got = RenderFrame(list, f);
    const ImagePtr ref = ReferenceFrame(*map, 200, 150, f);
    EXPECT_LT(MeanAbsoluteError(*got, *ref), 0.03);
    ImagePtr narrow(new Image(5 * s, s, 3));
    EXPECT_FALSE(AddFaceStrip(list, narrow.get()));
}
#endif

}  // namespace
