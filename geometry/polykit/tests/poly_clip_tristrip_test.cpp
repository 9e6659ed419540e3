// Triangle strips of the clipper against the contour result and the inputs'
// membership; ladders of the documented strip shapes.
#include "geometry/polykit/poly_clip.h"
#include "geometry/polykit/tests/poly_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

using namespace polytest;

namespace {

struct Strips {
    gpc_tristrip t{0, nullptr};
    ~Strips() { CPolyClip::gpc_free_tristrip(&t); }
};

double TriangleArea(const POINT2& a, const POINT2& b, const POINT2& c)
{
    return 0.5 * std::fabs((static_cast<double>(b.x) - a.x) * (static_cast<double>(c.y) - a.y) -
                           (static_cast<double>(c.x) - a.x) * (static_cast<double>(b.y) - a.y));
}

// Strict inside test of a triangle (points on its edges are not counted).
bool InTriangle(const POINT2& a, const POINT2& b, const POINT2& c, double x, double y)
{
    auto side = [x, y](const POINT2& p, const POINT2& q) {
        return (static_cast<double>(q.x) - p.x) * (y - p.y) - (static_cast<double>(q.y) - p.y) * (x - p.x);
    };
    const double d1 = side(a, b), d2 = side(b, c), d3 = side(c, a);
    return (d1 > 0 && d2 > 0 && d3 > 0) || (d1 < 0 && d2 < 0 && d3 < 0);
}

}  // namespace

// Random polygons of the kinds the strips serve (the view engine and the
// region mapper hand in simple and holed outlines, the blender overlap
// polygons): every strip has at least 3 vertices, the triangles' summed
// areas equal the area of the contour result, and every sample point away
// from the input edges lies in exactly as many triangles (0 or 1) as the
// operation says.
TEST(PolyClipTristrip, StripsTileTheClipResult)
{
    const Kind kinds[] = {Kind::Convex, Kind::Concave, Kind::WithHole, Kind::SelfIntersecting, Kind::NearHorizontal};
    const gpc_op ops[] = {GPC_DIFF, GPC_INT, GPC_XOR, GPC_UNION};
    const char* seedText = std::getenv("FENDRAKE_POLY_SEED");
    const char* roundsText = std::getenv("FENDRAKE_POLY_ROUNDS");
    std::mt19937 rng(seedText ? static_cast<unsigned>(std::atoi(seedText)) : 99u);
    const int rounds = roundsText ? std::atoi(roundsText) : 6;
    for (int round = 0; round < rounds; ++round) {
        for (Kind ks : kinds) {
            for (Kind kc : kinds) {
                const Contours subject = RandomPolygon(rng, ks);
                const Contours clip = RandomPolygon(rng, kc);
                for (gpc_op op : ops) {
                    SCOPED_TRACE(std::string(KindName(ks)) + " x " + KindName(kc) + " op " + std::to_string(op) +
                                 "\nsubject " + Describe(subject) + "\nclip " + Describe(clip));
                    Poly s(subject), c(clip);
                    Strips strips;
                    CPolyClip::gpc_tristrip_clip(op, s.get(), c.get(), &strips.t);
                    double area = 0;
                    for (int i = 0; i < strips.t.count; ++i) {
                        const gpc_vertex_list& st = strips.t.strips[i];
                        ASSERT_GE(st.count, 3);
                        for (int k = 0; k + 2 < st.count; ++k)
                            area += TriangleArea(st.points[k], st.points[k + 1], st.points[k + 2]);
                    }
                    const double expected = ExpectedArea(op, subject, clip);
                    EXPECT_NEAR(area, expected, 1e-3 * std::max(expected, 1.0));

                    int wrong = 0;
                    for (double y = 1.3; y < 100; y += 4.1) {
                        for (double x = 0.7; x < 100; x += 4.3) {
                            if (DistanceToEdges(subject, x, y) <= 1e-3 || DistanceToEdges(clip, x, y) <= 1e-3)
                                continue;
                            int covering = 0;
                            for (int i = 0; i < strips.t.count; ++i) {
                                const gpc_vertex_list& st = strips.t.strips[i];
                                for (int k = 0; k + 2 < st.count; ++k)
                                    covering += InTriangle(st.points[k], st.points[k + 1], st.points[k + 2], x, y);
                            }
                            const bool inside =
                                ExpectedInside(op, InsideEvenOdd(subject, x, y), InsideEvenOdd(clip, x, y));
                            if (covering != (inside ? 1 : 0)) ++wrong;
                        }
                    }
                    EXPECT_EQ(wrong, 0);
                }
            }
        }
    }
}

// A triangle with a horizontal edge is one strip of its 3 vertices; one in
// general position is cut at its middle vertex's height into 4.
TEST(PolyClipTristrip, TriangleGivesOneStripWithoutRepeatedApex)
{
    struct Case {
        Contours tri;
        int vertices;
        double area;
    };
    const Case cases[] = {
        {{{{0, 0}, {4, 0}, {1, 3}}}, 3, 6.0},
        {{{{1, 3}, {4, 3}, {2, 0}}}, 3, 4.5},
        {{{{0, 0}, {4, 1}, {1, 3}}}, 4, 5.5},
    };
    for (const Case& c : cases) {
        Poly tri(c.tri);
        Strips strips;
        CPolyClip::gpc_polygon_to_tristrip(tri.get(), &strips.t);
        ASSERT_EQ(strips.t.count, 1);
        const gpc_vertex_list& s = strips.t.strips[0];
        ASSERT_EQ(s.count, c.vertices);
        double area = 0;
        for (int k = 0; k + 2 < s.count; ++k) {
            const double a = TriangleArea(s.points[k], s.points[k + 1], s.points[k + 2]);
            EXPECT_GT(a, 0.0);
            area += a;
        }
        EXPECT_NEAR(area, c.area, 1e-6);
        CPolyClip::gpc_free_tristrip(&strips.t);
        EXPECT_EQ(strips.t.count, 0);
        EXPECT_EQ(strips.t.strips, nullptr);
    }
}

TEST(PolyClipTristrip, EmptyInputsGiveNoStrips)
{
    Poly a, b;
    gpc_tristrip t{5, reinterpret_cast<gpc_vertex_list*>(0x1)};  // overwritten, not released
    CPolyClip::gpc_tristrip_clip(GPC_UNION, a.get(), b.get(), &t);
    EXPECT_EQ(t.count, 0);
    EXPECT_EQ(t.strips, nullptr);
}

// ---------------------------------------------------------------------------
// Ladders

namespace {

struct LadderCase {
    const char* name;
    std::vector<POINT2> strip;
    std::vector<std::vector<int>> rungs;  // strip indices of each rung's vertices
};

}  // namespace

TEST(PolyClipLadder, DocumentedStripShapes)
{
    const std::vector<LadderCase> cases = {
        {"3, apex, v1 left of v2", {{5, 0}, {4, 1}, {6, 1}}, {{0, 0, 1, 2}}},
        {"3, apex, v1 right of v2", {{5, 0}, {6, 1}, {4, 1}}, {{0, 0, 2, 1}}},
        {"4, flat start", {{0, 0}, {2, 0}, {0, 1}, {2, 1}}, {{0, 1, 2, 3}}},
        {"5, apex", {{5, 0}, {4, 1}, {6, 1}, {3, 2}, {7, 2}}, {{0, 0, 1, 2}, {1, 2, 3, 4}}},
        {"4, apex", {{5, 0}, {4, 1}, {6, 1}, {5, 2}}, {{0, 0, 1, 2}, {1, 2, 3, 3}}},
        {"4, apex reversed", {{5, 0}, {6, 1}, {4, 1}, {5, 2}}, {{0, 0, 2, 1}, {2, 1, 3, 3}}},
        {"3, flat start", {{0, 0}, {2, 0}, {1, 1}}, {{0, 1, 2, 2}}},
        {"6, flat start", {{0, 0}, {2, 0}, {0, 1}, {2, 1}, {0, 2}, {2, 2}}, {{0, 1, 2, 3}, {2, 3, 4, 5}}},
        // A step below 1e-7 between the first two heights counts as none.
        {"4, near-flat start", {{0, 0}, {2, 5e-8f}, {0, 1}, {2, 1}}, {{0, 1, 2, 3}}},
    };
    for (const LadderCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<POINT2> pts = c.strip;
        gpc_vertex_list strip{static_cast<int32_t>(pts.size()), pts.data()};
        gpc_ladder ladder{0, nullptr};
        CPolyClip::gpc_tristrip_to_ladders(&strip, &ladder);
        ASSERT_EQ(ladder.count, static_cast<int>(c.rungs.size()));
        for (int r = 0; r < ladder.count; ++r) {
            ASSERT_EQ(ladder.rungs[r]->count, 4);
            for (int k = 0; k < 4; ++k) {
                const POINT2& want = pts[static_cast<size_t>(c.rungs[r][k])];
                EXPECT_EQ(ladder.rungs[r]->points[k].x, want.x) << "rung " << r << " vertex " << k;
                EXPECT_EQ(ladder.rungs[r]->points[k].y, want.y) << "rung " << r << " vertex " << k;
            }
        }
        CPolyClip::gpc_free_ladder(&ladder);
        EXPECT_EQ(ladder.count, 0);
        EXPECT_EQ(ladder.rungs, nullptr);
    }
}

// Strips of fewer than 3 vertices (or none at all) give an empty ladder
// instead of reading past the strip.
TEST(PolyClipLadder, ShortStripsGiveEmptyLadders)
{
    POINT2 pts[2] = {{0, 0}, {1, 1}};
    for (int n : {0, 1, 2}) {
        gpc_vertex_list strip{n, n ? pts : nullptr};
        gpc_ladder ladder{7, nullptr};
        CPolyClip::gpc_tristrip_to_ladders(&strip, &ladder);
        EXPECT_EQ(ladder.count, 0);
        EXPECT_EQ(ladder.rungs, nullptr);
    }
    gpc_ladder ladder{7, nullptr};
    CPolyClip::gpc_tristrip_to_ladders(nullptr, &ladder);
    EXPECT_EQ(ladder.count, 0);
}

// Every strip of a clip result turns into rungs whose two pairs lie at the
// strip's heights; the rungs' trapezoids cover the strip's area.
TEST(PolyClipLadder, LaddersOfClipStripsCoverTheirArea)
{
    std::mt19937 rng(5);
    for (int i = 0; i < 20; ++i) {
        const Contours a = RandomPolygon(rng, Kind::Convex, 8);
        const Contours b = RandomPolygon(rng, Kind::Concave, 9);
        Poly s(a), c(b);
        Strips strips;
        CPolyClip::gpc_tristrip_clip(GPC_INT, s.get(), c.get(), &strips.t);
        for (int k = 0; k < strips.t.count; ++k) {
            gpc_vertex_list& st = strips.t.strips[k];
            double stripArea = 0;
            for (int v = 0; v + 2 < st.count; ++v)
                stripArea += TriangleArea(st.points[v], st.points[v + 1], st.points[v + 2]);
            gpc_ladder ladder{0, nullptr};
            CPolyClip::gpc_tristrip_to_ladders(&st, &ladder);
            double ladderArea = 0;
            for (int r = 0; r < ladder.count; ++r) {
                const POINT2* q = ladder.rungs[r]->points;
                ladderArea += TriangleArea(q[0], q[1], q[2]) + TriangleArea(q[1], q[2], q[3]);
            }
            EXPECT_NEAR(ladderArea, stripArea, 1e-3 * std::max(stripArea, 1.0));
            CPolyClip::gpc_free_ladder(&ladder);
        }
    }
}
