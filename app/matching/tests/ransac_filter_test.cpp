// RANSAC filtering of matches between two views of a known camera rotation:
// inliers kept, outliers dropped, model against the true homography, trial
// counts, the two thresholds, the scores, and the grid clustering.
#include "app/matching/ransac_filter.h"
#include "app/matching/tests/match_fixture.h"
#include "projectgraph/curvekit/marker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

using matching_test::MakeMatches;
using matching_test::MakeViews;
using matching_test::Pointers;

int Occurrences(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

void ToMarkers(const std::vector<MatchPair>& pairs, Marker* a, Marker* b)
{
    for (const MatchPair& m : pairs) {
        a->AppendMarker(static_cast<float>(m.x0), static_cast<float>(m.y0));
        b->AppendMarker(static_cast<float>(m.x1), static_cast<float>(m.y1));
    }
}

TEST(RansacFilter, StartsWithTheTableValues)
{
    RansacFilter f;
    EXPECT_EQ(f.cellsX, 8);
    EXPECT_EQ(f.cellsY, 8);
    EXPECT_EQ(f.keepPerCell, 1);
    EXPECT_EQ(f.trials, 500);
    EXPECT_EQ(f.threshold, 6.0f);
    EXPECT_EQ(f.minMatches, 5);
    EXPECT_EQ(f.model.N, 0);
}

TEST(RansacFilter, RemovesOutliersAndFindsTheTrueModel)
{
    const auto views = MakeViews(800.0, 15.0, 3.0);
    auto fixture = MakeMatches(views, 60, 18, 0.3, 11);
    std::vector<std::vector<const MatchPair*>> runs;
    for (int run = 0; run < 2; ++run) {
        std::vector<MatchPair> pairs = fixture.pairs;
        auto matches = Pointers(pairs);
        std::vector<MatchPair*> removed;
        RansacFilter f;
        testing::internal::CaptureStdout();
        EXPECT_TRUE(f.RemoveOutliers(matches, removed));
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, "RANSAC Filtering...\nRemoved " + std::to_string(removed.size()) + " matches. " +
                           std::to_string(matches.size()) + " remaining.\n");
        EXPECT_EQ(matches.size() + removed.size(), pairs.size());
        for (size_t i = 0; i < pairs.size(); ++i) {
            const bool kept = std::find(matches.begin(), matches.end(), &pairs[i]) != matches.end();
            double tx, ty;
            views.Map(pairs[i].x0, pairs[i].y0, &tx, &ty);
            const double off = std::hypot(pairs[i].x1 - tx, pairs[i].y1 - ty);
            if (fixture.inlier[i]) {
                EXPECT_TRUE(kept) << "inlier " << i;
            } else if (off > 1.5 * 6.0) {
                EXPECT_FALSE(kept) << "outlier " << i << " at " << off;
            }
        }
        // The model against the truth at the inliers' image-0 points.
        double worst = 0.0, sum2 = 0.0;
        int count = 0;
        for (size_t i = 0; i < pairs.size(); ++i) {
            if (!fixture.inlier[i]) continue;
            double mx, my, tx, ty;
            f.Transfer(pairs[i].x0, pairs[i].y0, &mx, &my);
            views.Map(pairs[i].x0, pairs[i].y0, &tx, &ty);
            const double d = std::hypot(mx - tx, my - ty);
            worst = std::max(worst, d);
            sum2 += d * d;
            ++count;
        }
        // The model is the fit of the best five-match sample, never refitted
        // to its inliers, so it is as good as five noisy points make it: it
        // carries every inlier within the threshold.
        EXPECT_LT(worst, 6.0);
        EXPECT_LT(std::sqrt(sum2 / count), 2.0);
        std::vector<const MatchPair*> survivors;
        for (const MatchPair* m : matches) survivors.push_back(&fixture.pairs[static_cast<size_t>(m - pairs.data())]);
        runs.push_back(survivors);
    }
    EXPECT_EQ(runs[0], runs[1]);  // the same input, the same survivors
}

TEST(RansacFilter, TrialCountsFollowTheMatchCount)
{
    struct Case {
        int n;
        int trials;  // -1: fails before any trial
    };
    const Case cases[] = {{5, -1}, {6, 10}, {7, 42}, {8, 336}, {9, 500}, {200, 500}};
    const auto views = MakeViews(800.0, 10.0, 0.0);
    for (const Case& c : cases) {
        // Two gross outliers keep every trial from carrying the whole set.
        auto fixture = MakeMatches(views, c.n, 0, 0.0, 21);
        fixture.pairs[0].x1 += 200.0;
        fixture.pairs[1].y1 -= 150.0;
        Marker inA, inB, outA, outB;
        ToMarkers(fixture.pairs, &inA, &inB);
        RansacFilter f;
        f.trialsRun = -1;
        testing::internal::CaptureStdout();
        const bool ok = f.FilterAtThreshold(&inA, &inB, &outA, &outB, 6.0f, 4);
        testing::internal::GetCapturedStdout();
        if (c.trials < 0) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(f.trialsRun, -1) << "no fit attempted";
        } else {
            EXPECT_EQ(f.trials, c.trials) << "n " << c.n;
            EXPECT_EQ(f.trialsRun, c.trials) << "n " << c.n;
        }
    }
}

TEST(RansacFilter, StopsWhenTheFirstSampleCarriesEveryMatch)
{
    const auto views = MakeViews(800.0, 10.0, 2.0);
    auto fixture = MakeMatches(views, 30, 0, 0.0, 5);
    auto matches = Pointers(fixture.pairs);
    std::vector<MatchPair*> removed;
    RansacFilter f;
    testing::internal::CaptureStdout();
    f.RemoveOutliers(matches, removed);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "RANSAC Filtering...\nRemoved 0 matches. 30 remaining.\n");
    EXPECT_EQ(f.trialsRun, 1);
    EXPECT_TRUE(removed.empty());
}

TEST(RansacFilter, CollinearPointsLeaveNoSurvivorsAndOutputsUntouched)
{
    std::vector<MatchPair> line;
    for (int i = 0; i < 12; ++i) line.push_back({5.0 * i, 3.0 + 2.0 * i, 10.0 + 5.0 * i, 1.0 + 2.0 * i, 0});
    Marker inA, inB, outA, outB;
    ToMarkers(line, &inA, &inB);
    outA.AppendMarker(1.0f, 2.0f);
    outB.AppendMarker(3.0f, 4.0f);
    RansacFilter f;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(f.Filter(&inA, &inB, &outA, &outB, 6.0f, 7.0f, 5));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(Occurrences(out, "Removed 0 matches. 0 remaining.\n"), 2);
    EXPECT_EQ(f.trialsRun, 500);
    ASSERT_EQ(outA.GetNumbOfMarker(), 1);
    ASSERT_EQ(outB.GetNumbOfMarker(), 1);
    EXPECT_EQ(outA.GetMarker()[0].x, 1.0f);
    EXPECT_EQ(outB.GetMarker()[0].y, 4.0f);
}

TEST(RansacFilter, SecondThresholdOnlyAfterAFailureOfSixOrMore)
{
    const auto views = MakeViews(800.0, 10.0, 0.0);
    // Noise of 3 px: nothing fits within 0.5 px, everything within 40.
    auto noisy = MakeMatches(views, 20, 0, 3.0, 9);
    struct Case {
        int n;
        float t1, t2;
        int attempts;
        bool ok;
    };
    // A five-match sample always carries itself, so the minimum is set
    // above five for a tight threshold to fail.
    const Case cases[] = {
        {20, 40.0f, 0.5f, 1, true},   // the first attempt holds
        {20, 0.5f, 40.0f, 2, true},   // the second one rescues it
        {20, 0.5f, 0.5f, 2, false},   // both fail: the last result counts
        {6, 0.5f, 40.0f, 2, true},
        {5, 40.0f, 40.0f, 0, false},  // too few to try at all
    };
    for (const Case& c : cases) {
        std::vector<MatchPair> pairs(noisy.pairs.begin(), noisy.pairs.begin() + c.n);
        Marker inA, inB, outA, outB;
        ToMarkers(pairs, &inA, &inB);
        RansacFilter f;
        testing::internal::CaptureStdout();
        EXPECT_EQ(f.Filter(&inA, &inB, &outA, &outB, c.t1, c.t2, c.n == 6 ? 6 : 10), c.ok) << c.n << " " << c.t1;
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(Occurrences(out, "RANSAC Filtering...\n"), c.attempts) << c.n << " " << c.t1;
        EXPECT_EQ(outA.GetNumbOfMarker(), outB.GetNumbOfMarker());
        if (c.ok) {
            EXPECT_GE(outA.GetNumbOfMarker(), c.n == 6 ? 6 : 10);
            // Every output pair is an input pair, point for point.
            for (int i = 0; i < outA.GetNumbOfMarker(); ++i) {
                const POINT2M& pa = outA.GetMarker()[i];
                const POINT2M& pb = outB.GetMarker()[i];
                bool found = false;
                for (int j = 0; j < inA.GetNumbOfMarker(); ++j)
                    found |= inA.GetMarker()[j].x == pa.x && inA.GetMarker()[j].y == pa.y &&
                             inB.GetMarker()[j].x == pb.x && inB.GetMarker()[j].y == pb.y;
                EXPECT_TRUE(found) << i;
                EXPECT_EQ(pa.error1, 0.0f);
                EXPECT_EQ(pb.word3, 0);
            }
        } else {
            EXPECT_EQ(outA.GetNumbOfMarker(), 0);
        }
    }
}

TEST(RansacFilter, ScoresOfTheRecordedDrawSequence)
{
    // Seeded with 1, the draws 41, 18467, 6334, 26500, 19169 pick pool
    // indices 0, 2, 0, 2, 1 from pools of 7, 6, 5, 4, 3: the sample is
    // matches 0, 3, 1, 5, 4 and matches 2 and 6 are tested against its fit.
    const auto views = MakeViews(800.0, 10.0, 0.0);
    auto fixture = MakeMatches(views, 7, 0, 0.3, 4);
    auto matches = Pointers(fixture.pairs);
    for (int i = 0; i < 7; ++i) fixture.pairs[static_cast<size_t>(i)].score = static_cast<float>(7 - i);
    std::vector<MatchPair*> removed;
    RansacFilter f;
    testing::internal::CaptureStdout();
    f.RemoveOutliers(matches, removed);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(f.trialsRun, 1);
    const std::vector<MatchPair*> expectedOrder = {&fixture.pairs[0], &fixture.pairs[3], &fixture.pairs[1],
                                                   &fixture.pairs[5], &fixture.pairs[4], &fixture.pairs[2],
                                                   &fixture.pairs[6]};
    EXPECT_EQ(matches, expectedOrder);
    for (int i : {0, 1, 3, 4, 5}) EXPECT_EQ(fixture.pairs[static_cast<size_t>(i)].score, 7.0f - i) << i;
    for (int i : {2, 6}) {
        const MatchPair& m = fixture.pairs[static_cast<size_t>(i)];
        EXPECT_FLOAT_EQ(m.score, static_cast<float>(-RansacFilter::SquaredTransferError(f.model, m))) << i;
        EXPECT_LT(m.score, 0.0f);
    }
}

TEST(RansacFilter, DropsMatchesWithInvalidCoordinates)
{
    const auto views = MakeViews(800.0, 10.0, 0.0);
    auto fixture = MakeMatches(views, 12, 0, 0.0, 8);
    Marker inA, inB, outA, outB;
    ToMarkers(fixture.pairs, &inA, &inB);
    inA.GetMarker()[3].x = std::numeric_limits<float>::quiet_NaN();
    inB.GetMarker()[7].y = std::numeric_limits<float>::infinity();
    RansacFilter f;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(f.Filter(&inA, &inB, &outA, &outB, 6.0f, 7.0f, 5));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("ERROR RansacFilter: dropped 2 matches with invalid coordinates\n", 0), 0u) << out;
    for (int i = 0; i < outA.GetNumbOfMarker(); ++i) {
        EXPECT_TRUE(std::isfinite(outA.GetMarker()[i].x));
        EXPECT_TRUE(std::isfinite(outB.GetMarker()[i].y));
    }
}

TEST(RansacFilter, UnequalOrMissingSetsAreRefused)
{
    const auto views = MakeViews(800.0, 10.0, 0.0);
    auto fixture = MakeMatches(views, 12, 0, 0.0, 8);
    Marker inA, inB, outA, outB;
    ToMarkers(fixture.pairs, &inA, &inB);
    inB.DeleteMarker(11);
    RansacFilter f;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(f.Filter(&inA, &inB, &outA, &outB, 6.0f, 7.0f, 5));
    EXPECT_FALSE(f.Filter(&inA, nullptr, &outA, &outB, 6.0f, 7.0f, 5));
    EXPECT_FALSE(f.Filter(nullptr, &inB, &outA, &outB, 6.0f, 7.0f, 5));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("ERROR RansacFilter::FilterAtThreshold: the two sets hold 12 and 11 points\n"), std::string::npos);
    EXPECT_EQ(out.find("RANSAC Filtering"), std::string::npos);
    EXPECT_EQ(outA.GetNumbOfMarker(), 0);
    EXPECT_EQ(outB.GetNumbOfMarker(), 0);
}

// --- clustering ---------------------------------------------------------------

TEST(Clustering, FewerThanTenPassThrough)
{
    std::vector<MatchPair> pairs;
    for (int i = 0; i < 9; ++i) pairs.push_back({0.0, 0.0, 1.0, 1.0, static_cast<float>(i)});
    auto matches = Pointers(pairs);
    const auto before = matches;
    RansacFilter f;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(f.ClusterMatches(matches));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Clustering matches...\n");
    EXPECT_EQ(matches, before);
}

// Point i on cell (i % k, (i / k) % k) of a k x k grid over their own box.
std::vector<MatchPair> Lattice(int n, int k)
{
    std::vector<MatchPair> pairs;
    for (int i = 0; i < n; ++i)
        pairs.push_back({10.0 * (i % k), 10.0 * ((i / k) % k), 0.0, 0.0, static_cast<float>(i % 7)});
    return pairs;
}

TEST(Clustering, GridSizeFollowsTheMatchCount)
{
    struct Case {
        int n, k;
    };
    const Case cases[] = {{10, 10}, {19, 10}, {20, 9}, {30, 8}, {40, 7}, {49, 7}, {50, 6}};
    for (const Case& c : cases) {
        auto pairs = Lattice(c.n, c.k);
        auto matches = Pointers(pairs);
        RansacFilter f;
        testing::internal::CaptureStdout();
        f.ClusterMatches(matches);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(f.cellsX, c.k) << c.n;
        EXPECT_EQ(f.cellsY, c.k) << c.n;
        const int kept = std::min(c.n, c.k * c.k);
        EXPECT_EQ(out, "Clustering matches...\nKept " + std::to_string(kept) + " matches.\n") << c.n;
    }
}

TEST(Clustering, CoarseGridIsRetriedFiner)
{
    struct Case {
        int n, retry;
    };
    const Case cases[] = {{12, 15}, {19, 15}, {25, 13}, {35, 12}, {45, 10}, {60, 9}};
    for (const Case& c : cases) {
        // All in one cell: one survivor, far below both limits.
        std::vector<MatchPair> pairs;
        for (int i = 0; i < c.n; ++i) pairs.push_back({50.0, 60.0, 1.0, 2.0, static_cast<float>((i * 11) % c.n)});
        auto matches = Pointers(pairs);
        RansacFilter f;
        testing::internal::CaptureStdout();
        f.ClusterMatches(matches);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Clustering matches...\nKept 1 matches.\nKept 1 matches.\n");
        EXPECT_EQ(f.cellsX, c.retry) << c.n;
        ASSERT_EQ(matches.size(), 1u);
        EXPECT_EQ(matches[0]->score, static_cast<float>(c.n - 1)) << "the best score stays";
    }
}

TEST(Clustering, DistinctCellsAllKeptInCellOrder)
{
    // 12 points on 12 distinct cells of the 10 x 10 grid, given out of order.
    std::vector<MatchPair> pairs;
    const double xs[] = {90, 0, 60, 30};
    const double ys[] = {45, 90, 0};
    for (double y : ys)
        for (double x : xs) pairs.push_back({x, y, 0, 0, 1.0f});
    auto matches = Pointers(pairs);
    RansacFilter f;
    testing::internal::CaptureStdout();
    f.ClusterMatches(matches);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Clustering matches...\nKept 12 matches.\n");
    ASSERT_EQ(matches.size(), 12u);
    // Reference cell of each survivor, computed as the grid defines it.
    auto cell = [](const MatchPair* m) {
        const int cx = static_cast<int>(m->x0 * 10 / 92.0);
        const int cy = static_cast<int>(m->y0 * 10 / 92.0);
        return cx * 10 + cy;
    };
    for (size_t i = 1; i < matches.size(); ++i) EXPECT_LT(cell(matches[i - 1]), cell(matches[i]));
}

TEST(Clustering, BestScorePerCellAndLaterOfEqualScores)
{
    RansacFilter f;
    // Three pairs of coincident points, each pair in its own cell.
    std::vector<MatchPair> pairs = {
        {0, 0, 0, 0, 1.0f},   {0, 0, 1, 1, 5.0f},      // the better one stays
        {50, 50, 0, 0, 3.0f}, {50, 50, 2, 2, 3.0f},    // equal: the later one stays
        {100, 100, 0, 0, -2.0f}, {100, 100, 3, 3, -9.0f},
    };
    auto matches = Pointers(pairs);
    testing::internal::CaptureStdout();
    f.KeepBestPerCell(matches, 4, 4);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Kept 3 matches.\n");
    const std::vector<MatchPair*> expected = {&pairs[1], &pairs[3], &pairs[4]};
    EXPECT_EQ(matches, expected);
    // A keep limit of 2 leaves each cell in ascending score order.
    f.keepPerCell = 2;
    matches = Pointers(pairs);
    testing::internal::CaptureStdout();
    f.KeepBestPerCell(matches, 4, 4);
    testing::internal::GetCapturedStdout();
    const std::vector<MatchPair*> both = {&pairs[0], &pairs[1], &pairs[2], &pairs[3], &pairs[5], &pairs[4]};
    EXPECT_EQ(matches, both);
}

TEST(Clustering, ExtremeCoordinatesStayInsideTheGrid)
{
    RansacFilter f;
    const double big = std::numeric_limits<double>::max();
    std::vector<MatchPair> pairs = {{-big, 0, 0, 0, 1.0f}, {big, big, 0, 0, 2.0f}, {0, -big, 0, 0, 3.0f}};
    auto matches = Pointers(pairs);
    testing::internal::CaptureStdout();
    f.KeepBestPerCell(matches, 5, 5);
    testing::internal::GetCapturedStdout();
    EXPECT_GE(matches.size(), 1u);
    EXPECT_LE(matches.size(), 3u);
}

}  // namespace
