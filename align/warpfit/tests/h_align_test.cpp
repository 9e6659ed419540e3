// CHAlign against a direct linear homography solve written here and against
// the pair model the correspondences were made with.
#include "align/warpfit/h_align.h"
#include "align/warpfit/homography_lsq.h"
#include "align/warpfit/tests/warpfit_test_util.h"
#include "imaging/image.h"
#include "core/logger.h"
#include "projectgraph/curvekit/marker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

using namespace warptest;

namespace {

struct ImagePair {
    Image* a;
    Image* b;
    ImagePair(int w1, int h1, int w2, int h2) : a(new Image(w1, h1, 1)), b(new Image(w2, h2, 1))
    {
    }
    ~ImagePair()
    {
        ReleaseImage(a);
        ReleaseImage(b);
    }
};

template <class T>
bool AllZero(const T& record)
{
    static const T zero{};
    return std::memcmp(&record, &zero, sizeof(T)) == 0;
}

// Points of image 1 (centred pixels) spread over a w x h image that the
// homography maps in front of image 2.
void MakePairs(const M3& h, int w, int h1, int count, std::vector<POINT2>& p1, std::vector<POINT2>& p2)
{
    p1.clear();
    p2.clear();
    for (int k = 0; (int)p1.size() < count && k < 1000; ++k) {
        // A scattered but deterministic sequence (golden-ratio steps).
        const double fx = std::fmod(0.37 + k * 0.6180339887, 1.0), fy = std::fmod(0.11 + k * 0.4142135623, 1.0);
        const POINT2 p{static_cast<float>((fx - 0.5) * 0.9 * w), static_cast<float>((fy - 0.5) * 0.9 * h1)};
        double x, y;
        if (!MapH(h, p.x, p.y, x, y)) continue;
        p1.push_back(p);
        p2.push_back(POINT2{static_cast<float>(x), static_cast<float>(y)});
    }
}

TEST(CHAlign, IdentityGivesTheUnitHomographyButNoRotationForm)
{
    std::vector<POINT2> p1, p2;
    MakePairs(PairHomographyRef(0.001, 0.001, 0, 0, 0), 800, 600, 10, p1, p2);
    POINT2* pts[2] = {p1.data(), p1.data()};
    CHAlign h;
    ASSERT_EQ(h.InitPtPairData(pts, 10, 400.0f), 1);
    const PAIR_WALIGN_PRMS fed = *h.GetPrms();  // word 8 set by the feed, the rest zero
    LogCapture log;
    // The identity is affine: it carries no focal length.
    EXPECT_EQ(h.MainHAlign(), 0);
    const float* u = h.getM01();
    const float unit[8] = {1, 0, 0, 1, 0, 0, 0, 0};
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(u[i], unit[i], 1e-6) << "u" << i;
    EXPECT_EQ(fed.halfWidth1, 400.0f);
    EXPECT_EQ(std::memcmp(&fed, h.GetPrms(), sizeof fed), 0);
    EXPECT_TRUE(AllZero(*h.GetPrmsRR()));
    EXPECT_TRUE(log.contains("ERROR CHAlign::MainHAlign"));
}

TEST(CHAlign, RecoversKnownRotationPairs)
{
    struct Case {
        double r1, r2, a, b, c;
        int w, h;
    };
    const Case cases[] = {
        {1 / 700.0, 1 / 650.0, 0.05, 0.35, -0.08, 800, 600},
        {1 / 1200.0, 1 / 1200.0, -0.3, -0.5, 0.25, 1600, 1200},
        {1 / 400.0, 1 / 500.0, 1.2, 0.2, -1.1, 600, 800},       // turned sideways
        {1 / 900.0, 1 / 820.0, 0.01, 0.12, 0.3, 1000, 700},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "b=" << c.b << " a=" << c.a);
        const M3 truth = PairHomographyRef(c.r1, c.r2, c.a, c.b, c.c);
        std::vector<POINT2> p1, p2;
        MakePairs(truth, c.w, c.h, 9, p1, p2);
        ASSERT_EQ(p1.size(), 9u);
        double dlt[8];
        ASSERT_TRUE(DltHomography(p1, p2, dlt));

        // Fed as top-left pixel positions: the class centres them.
        ImagePair imgs(c.w, c.h, c.w, c.h);
        std::vector<POINT2> t1 = p1, t2 = p2;
        for (POINT2& p : t1) p = POINT2{p.x + c.w / 2.0f, p.y + c.h / 2.0f};
        for (POINT2& p : t2) p = POINT2{p.x + c.w / 2.0f, p.y + c.h / 2.0f};
        POINT2* pts[2] = {t1.data(), t2.data()};
        CHAlign h(1, 1);
        ASSERT_EQ(h.InitPtPairData(imgs.a, imgs.b, pts, 9, 0), 1);
        ASSERT_EQ(h.MainHAlign(), 1);
        EXPECT_EQ(h.GetTotal(), 9);

        // Same homography as the direct solve: compare where it matters, in
        // the mapped positions, and entry by entry against each entry's size.
        const float* u = h.getM01();
        const M3 ours{u[0], u[1], u[4], u[2], u[3], u[5], u[6], u[7], 1};
        const M3 ref{dlt[0], dlt[1], dlt[4], dlt[2], dlt[3], dlt[5], dlt[6], dlt[7], 1};
        for (int i = 0; i < 8; ++i) {
            const double scale = i == 4 || i == 5 ? c.w : i >= 6 ? 1.0 / c.w : 1.0;
            EXPECT_NEAR(u[i], dlt[i], 2e-5 * scale) << "u" << i;
        }
        for (const POINT2& p : p1) {
            double x1, y1, x2, y2;
            ASSERT_TRUE(MapH(ours, p.x, p.y, x1, y1));
            ASSERT_TRUE(MapH(ref, p.x, p.y, x2, y2));
            EXPECT_NEAR(x1, x2, 2e-3);
            EXPECT_NEAR(y1, y2, 2e-3);
        }

        // The rotation form is the pair the points were made with.
        const PAIR_WALIGN_RR_PRMS2& rr = *h.GetPrmsRR();
        EXPECT_NEAR(rr.rcpF1, c.r1, 1e-4 * c.r1);
        EXPECT_NEAR(rr.rcpF2, c.r2, 1e-4 * c.r2);
        EXPECT_NEAR(rr.angA, c.a, 1e-4);
        EXPECT_NEAR(rr.angB, c.b, 1e-4);
        EXPECT_NEAR(rr.angC, c.c, 1e-4);
        // The earlier form as the transform module converts it, word 8 the
        // half width.
        const PAIR_WALIGN_PRMS& s = *h.GetPrms();
        EXPECT_EQ(s.halfWidth1, c.w / 2.0f);
        EXPECT_NEAR(s.scale, c.r2 / c.r1, 1e-4);
        EXPECT_NEAR(s.halfFov1, std::atan(c.r1 * c.w / 2), 1e-4);
        EXPECT_NEAR(s.rot1, c.a, 1e-4);
        EXPECT_NEAR(s.rot2, -c.c, 1e-4);
        EXPECT_NEAR(s.offsetAngle, c.b, 1e-4);
        EXPECT_LT(MaxMappingError(s, truth, c.w, c.h, c.w, c.h), 0.01);
    }
}

TEST(CHAlign, FourPairsAreEnoughThreeAreNot)
{
    const M3 truth = PairHomographyRef(1 / 700.0, 1 / 700.0, 0.1, 0.3, -0.05);
    std::vector<POINT2> p1, p2;
    MakePairs(truth, 800, 600, 4, p1, p2);
    POINT2* pts[2] = {p1.data(), p2.data()};
    CHAlign h;
    ASSERT_EQ(h.InitPtPairData(pts, 3, 400.0f), 1);
    EXPECT_EQ(h.MainHAlign(), 0);
    EXPECT_TRUE(AllZero(*h.GetPrmsRR()));
    POINT2* last[2] = {&p1[3], &p2[3]};
    ASSERT_EQ(h.InitPtPairData(last, 1, 400.0f), 1);
    ASSERT_EQ(h.MainHAlign(), 1);
    EXPECT_NEAR(h.GetPrmsRR()->angB, 0.3, 1e-4);
}

// Point sets that give no camera rotation: MainHAlign fails and leaves both
// records as they were.
TEST(CHAlign, DegenerateSetsFailWithRecordsUnchanged)
{
    struct Case {
        const char* name;
        std::vector<POINT2> p1, p2;
    };
    std::vector<Case> cases;
    {
        // Collinear: the line y = 0.3 x + 5 and its image.
        Case c{"collinear", {}, {}};
        const M3 h = PairHomographyRef(1 / 700.0, 1 / 700.0, 0.1, 0.3, -0.05);
        for (int i = 0; i < 8; ++i) {
            const POINT2 p{-300.0f + 80 * i, 0.3f * (-300.0f + 80 * i) + 5};
            c.p1.push_back(p);
            c.p2.push_back(MapH(h, p));
        }
        cases.push_back(c);
    }
    {
        // Affine: turned, scaled and shifted, no perspective.
        Case c{"affine", {}, {}};
        for (int i = 0; i < 8; ++i) {
            const POINT2 p{static_cast<float>(-300 + 90 * i), static_cast<float>((i * 137) % 400 - 200)};
            c.p1.push_back(p);
            c.p2.push_back(POINT2{1.1f * p.x - 0.2f * p.y + 30, 0.2f * p.x + 1.1f * p.y - 12});
        }
        cases.push_back(c);
    }
    {
        // Image 2 turned half round against image 1 (a = c = 90 degrees).
        Case c{"half turn", {}, {}};
        const M3 h = PairHomographyRef(1 / 700.0, 1 / 700.0, std::numbers::pi / 2, 0.3, std::numbers::pi / 2);
        MakePairs(h, 800, 600, 8, c.p1, c.p2);
        cases.push_back(c);
    }
    {
        // The second view turned 115 degrees away: R22 < 0.
        Case c{"from behind", {}, {}};
        const M3 h = PairHomographyRef(1 / 300.0, 1 / 300.0, 0.1, 2.0, 0.05);
        for (int i = 0; i < 8; ++i) {
            const double x = -300 + 85 * i, y = (i * 173) % 500 - 250;
            const double w = h[6] * x + h[7] * y + h[8];
            c.p1.push_back(POINT2{static_cast<float>(x), static_cast<float>(y)});
            c.p2.push_back(POINT2{static_cast<float>((h[0] * x + h[1] * y + h[2]) / w),
                                  static_cast<float>((h[3] * x + h[4] * y + h[5]) / w)});
        }
        cases.push_back(c);
    }
    {
        Case c{"coincident", std::vector<POINT2>(6, POINT2{10, 20}), std::vector<POINT2>(6, POINT2{-5, 7})};
        cases.push_back(c);
    }
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_GE(c.p1.size(), 4u);
        POINT2* pts[2] = {c.p1.data(), c.p2.data()};
        CHAlign h;
        ASSERT_EQ(h.InitPtPairData(pts, static_cast<int>(c.p1.size()), 400.0f), 1);
        const PAIR_WALIGN_PRMS before = *h.GetPrms();
        LogCapture log;
        EXPECT_EQ(h.MainHAlign(), 0);
        EXPECT_EQ(std::memcmp(&before, h.GetPrms(), sizeof before), 0);
        EXPECT_TRUE(AllZero(*h.GetPrmsRR()));
        EXPECT_EQ(log.errorCount(), 1);
        // Rank-deficient sets fail in the solve, the others in the conversion.
        const bool singular = std::string(c.name) == "collinear" || std::string(c.name) == "coincident";
        EXPECT_TRUE(log.contains(singular ? "do not fix a homography" : "not a camera rotation")) << log.text();
    }
}

TEST(CHAlign, MarkerSetsFeedCentredPairs)
{
    ImagePair imgs(800, 600, 640, 480);
    const M3 truth = PairHomographyRef(1 / 700.0, 1 / 560.0, 0.05, 0.3, -0.02);
    std::vector<POINT2> p1, p2;
    MakePairs(truth, 640, 480, 8, p1, p2);
    Marker m1, m2;
    for (size_t i = 0; i < p1.size(); ++i) {
        m1.AppendMarker(p1[i].x + 400, p1[i].y + 300);
        m2.AppendMarker(p2[i].x + 320, p2[i].y + 240);
    }
    CHAlign h;
    ASSERT_EQ(h.GetPtPairData(imgs.a, imgs.b, &m1, &m2), 1);
    ASSERT_EQ(h.MainHAlign(), 1);
    // Word 8 is a quarter of image 1's width; the record stays consistent.
    EXPECT_EQ(h.GetPrms()->halfWidth1, 200.0f);
    EXPECT_NEAR(h.GetPrms()->halfFov1, std::atan(200.0 / 700.0), 1e-4);
    EXPECT_LT(MaxMappingError(*h.GetPrms(), truth, 800, 600, 640, 480), 0.01);

    // Sets of different sizes add nothing.
    m2.AppendMarker(1, 1);
    CHAlign other;
    EXPECT_EQ(other.GetPtPairData(imgs.a, imgs.b, &m1, &m2), 0);
    EXPECT_EQ(other.GetTotal(), 0);
    // Two empty sets: fed, but nothing to solve.
    Marker e1, e2;
    EXPECT_EQ(other.GetPtPairData(imgs.a, imgs.b, &e1, &e2), 1);
    EXPECT_EQ(other.MainHAlign(), 0);
}

TEST(CHAlign, NullInputsAreRefused)
{
    CHAlign h;
    LogCapture log;
    POINT2 a[1] = {{0, 0}};
    POINT2* pts[2] = {a, nullptr};
    EXPECT_EQ(h.InitPtPairData(pts, 1, 1.0f), 0);
    EXPECT_EQ(h.InitPtPairData(nullptr, 1, 1.0f), 0);
    EXPECT_EQ(h.InitPtPairData(nullptr, nullptr, pts, 1, 0), 0);
    EXPECT_EQ(h.GetTotal(), 0);
    EXPECT_EQ(log.errorCount(), 3);
}

TEST(CHomographyLSQ, LinePairsFixTheHomographyToo)
{
    const M3 h = PairHomographyRef(1 / 700.0, 1 / 650.0, 0.05, 0.35, -0.08);
    // A line l1 of image 1 maps to l2 = H^-T l1; use the adjugate (H^-1 up
    // to scale) transposed.
    const M3 adj{h[4] * h[8] - h[5] * h[7], h[2] * h[7] - h[1] * h[8], h[1] * h[5] - h[2] * h[4],
                 h[5] * h[6] - h[3] * h[8], h[0] * h[8] - h[2] * h[6], h[2] * h[3] - h[0] * h[5],
                 h[3] * h[7] - h[4] * h[6], h[1] * h[6] - h[0] * h[7], h[0] * h[4] - h[1] * h[3]};
    CHomographyLSQImpl lsq;
    for (int i = 0; i < 7; ++i) {
        const double a1 = std::cos(0.9 * i), b1 = std::sin(0.9 * i), c1 = -100.0 - 37 * i;
        const double a2 = adj[0] * a1 + adj[3] * b1 + adj[6] * c1;
        const double b2 = adj[1] * a1 + adj[4] * b1 + adj[7] * c1;
        const double c2 = adj[2] * a1 + adj[5] * b1 + adj[8] * c1;
        lsq.AddLinePair(float(a1), float(b1), float(c1), float(a2), float(b2), float(c2));
    }
    ASSERT_TRUE(lsq.Solve());
    const float* u = lsq.GetParams();
    const double want[8] = {h[0], h[1], h[3], h[4], h[2], h[5], h[6], h[7]};
    for (int i = 0; i < 8; ++i) {
        const double scale = i == 4 || i == 5 ? 500.0 : i >= 6 ? 1.0 / 500 : 1.0;
        EXPECT_NEAR(u[i], want[i], 1e-4 * scale) << "u" << i;
    }
}

}  // namespace
