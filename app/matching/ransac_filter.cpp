#include "app/matching/ransac_filter.h"

#include "projectgraph/curvekit/marker.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <limits>
#include <memory>
#include <set>

RansacAttemptHook g_ransacAttemptHook = nullptr;
RansacTrialHook g_ransacTrialHook = nullptr;

namespace {

int TrialsFor(int n)
{
    switch (n) {
    case 6: return 10;
    case 7: return 42;
    case 8: return 336;
    default: return 500;
    }
}

// Orders a cell's matches by score; equal scores keep their arrival order,
// as std::multiset inserts behind the equal ones.
struct ByScore {
    bool operator()(const MatchPair* a, const MatchPair* b) const { return a->score < b->score; }
};

int CellIndex(double v, double lo, double hi, int cells)
{
    const double t = (v - lo) * cells / (hi - lo + 2.0);
    if (!(t >= 0.0)) return 0;
    if (t >= static_cast<double>(cells - 1)) return cells - 1;
    return static_cast<int>(t);
}

}  // namespace

bool RansacFilter::Filter(Marker* inA, Marker* inB, Marker* outA, Marker* outB, float threshold1, float threshold2,
                          int minCount)
{
    bool ok = FilterAtThreshold(inA, inB, outA, outB, threshold1, minCount);
    if (!ok && inA && inA->GetNumbOfMarker() >= 6) ok = FilterAtThreshold(inA, inB, outA, outB, threshold2, minCount);
    return ok;
}

bool RansacFilter::FilterAtThreshold(Marker* inA, Marker* inB, Marker* outA, Marker* outB, float limit, int minCount)
{
    if (g_ransacAttemptHook) g_ransacAttemptHook(limit);
    if (!inA || !inB || !outA || !outB) {
        printf("ERROR RansacFilter::FilterAtThreshold: missing marker set\n");
        return false;
    }
    const int count = inA->GetNumbOfMarker();
    if (count < 6) return false;
    if (inB->GetNumbOfMarker() != count) {
        printf("ERROR RansacFilter::FilterAtThreshold: the two sets hold %d and %d points\n", count,
               inB->GetNumbOfMarker());
        return false;
    }
    minMatches = minCount;
    threshold = limit;

    // The points come from a child program: a non-finite coordinate would
    // make the grid index meaningless.
    const POINT2M* a = inA->GetMarker();
    const POINT2M* b = inB->GetMarker();
    std::vector<MatchPair> pairs;
    pairs.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(a[i].x) || !std::isfinite(a[i].y) || !std::isfinite(b[i].x) || !std::isfinite(b[i].y))
            continue;
        pairs.push_back({a[i].x, a[i].y, b[i].x, b[i].y, 0.0f});
    }
    const int n = static_cast<int>(pairs.size());
    if (n != count) printf("ERROR RansacFilter: dropped %d matches with invalid coordinates\n", count - n);
    if (n < 6) return false;
    trials = TrialsFor(n);

    std::vector<MatchPair*> matches;
    matches.reserve(pairs.size());
    for (int i = 0; i < n; ++i) {
        pairs[static_cast<size_t>(i)].score = static_cast<float>(n - i);
        matches.push_back(&pairs[static_cast<size_t>(i)]);
    }
    std::vector<MatchPair*> removed;
    RemoveOutliers(matches, removed);
    ClusterMatches(matches);

    const int kept = static_cast<int>(matches.size());
    if (kept < minMatches) return false;
    auto recordsA = std::make_unique<POINT2M[]>(static_cast<size_t>(kept));
    auto recordsB = std::make_unique<POINT2M[]>(static_cast<size_t>(kept));
    for (int i = 0; i < kept; ++i) {
        const MatchPair& m = *matches[static_cast<size_t>(i)];
        recordsA[static_cast<size_t>(i)].x = static_cast<float>(m.x0);
        recordsA[static_cast<size_t>(i)].y = static_cast<float>(m.y0);
        recordsB[static_cast<size_t>(i)].x = static_cast<float>(m.x1);
        recordsB[static_cast<size_t>(i)].y = static_cast<float>(m.y1);
    }
    outA->SetMarkers(recordsA.release(), kept);
    outB->SetMarkers(recordsB.release(), kept);
    return true;
}

bool RansacFilter::RemoveOutliers(std::vector<MatchPair*>& matches, std::vector<MatchPair*>& removed)
{
    printf("RANSAC Filtering...\n");
    if (static_cast<int>(matches.size()) < minMatches) return true;
    FindBestModel(matches, removed);
    printf("Removed %d matches. %d remaining.\n", static_cast<int>(removed.size()), static_cast<int>(matches.size()));
    return true;
}

void RansacFilter::FindBestModel(std::vector<MatchPair*>& matches, std::vector<MatchPair*>& removed)
{
    // One run repeats exactly for the same input, whichever thread runs it.
    SeedRandomIndex(1);
    const double limit2 = static_cast<double>(threshold) * threshold;
    Homography fit;
    fit.setCentroids(matches);
    // Every trial transfers the whole pool: the offsets from the centroids
    // are taken once.
    struct Offsets {
        double u, v, u1, v1;
    };
    std::vector<Offsets> offsets;
    offsets.reserve(matches.size());
    for (const MatchPair* m : matches)
        offsets.push_back({m->x0 - fit.meanX0, m->y0 - fit.meanY0, m->x1 - fit.meanX1, m->y1 - fit.meanY1});

    size_t best = 0;
    std::vector<MatchPair*> bestInliers;
    std::vector<MatchPair*> bestOutliers;
    std::vector<int> pool;
    std::vector<MatchPair*> sample;
    std::vector<MatchPair*> outliers;
    // Five draws need five matches; a smaller set has no sample to fit.
    const int runs = matches.size() < 5 ? 0 : trials;
    for (int t = 0; t < runs; ++t) {
        pool.resize(matches.size());
        for (size_t i = 0; i < pool.size(); ++i) pool[i] = static_cast<int>(i);
        sample.clear();
        outliers.clear();
        for (int d = 0; d < 5; ++d) {
            const int r = RandomIndex(static_cast<int>(pool.size()) - 1);
            sample.push_back(matches[static_cast<size_t>(pool[static_cast<size_t>(r)])]);
            pool.erase(pool.begin() + r);
        }
        if (g_ransacTrialHook) g_ransacTrialHook(t, sample);
        if (!fit.estimate(sample)) continue;
        const double* h = fit.H;
        for (int i : pool) {
            const Offsets& o = offsets[static_cast<size_t>(i)];
            const double iw = 1.0 / (h[6] * o.u + h[7] * o.v + h[8]);
            const double dx = o.u1 - (h[0] * o.u + h[1] * o.v + h[2]) * iw;
            const double dy = o.v1 - (h[3] * o.u + h[4] * o.v + h[5]) * iw;
            const double e = dx * dx + dy * dy;
            MatchPair* m = matches[static_cast<size_t>(i)];
            if (e >= limit2 || std::isnan(e)) {
                outliers.push_back(m);
            } else {
                sample.push_back(m);
                m->score = static_cast<float>(-e);
            }
        }
        if (sample.size() > best) {
            model.CopyModel(fit);
            best = sample.size();
            bestInliers = sample;
            bestOutliers = outliers;
        }
        if (outliers.empty()) break;
    }
    // The winning trial's H comes from five noisy points and is only as
    // good as the threshold demands (pixels off at the edge of the overlap).
    // Refitted in the least-squares sense to every match it carries, the
    // stored model follows the whole consensus; the survivors, the removed
    // matches and the scores are those of the trials.
    if (bestInliers.size() > 5 && fit.estimate(bestInliers)) model.CopyModel(fit);
    matches = std::move(bestInliers);
    removed = std::move(bestOutliers);
}

double RansacFilter::SquaredTransferError(const Homography& fit, const MatchPair& match)
{
    double x1, y1;
    fit.transfer(match.x0, match.y0, &x1, &y1);
    const double dx = match.x1 - x1;
    const double dy = match.y1 - y1;
    return dx * dx + dy * dy;
}

void RansacFilter::Transfer(double x, double y, double* x1, double* y1) const
{
    model.transfer(x, y, x1, y1);
}

// --- clustering ---------------------------------------------------------------

bool RansacFilter::KeepBestPerCell(std::vector<MatchPair*>& matches, int columns, int rows)
{
    cellsX = std::max(columns, 1);
    cellsY = std::max(rows, 1);
    double minX = std::numeric_limits<double>::max();
    double maxX = -std::numeric_limits<double>::max();
    double minY = std::numeric_limits<double>::max();
    double maxY = -std::numeric_limits<double>::max();
    for (const MatchPair* m : matches) {
        minX = std::min(minX, m->x0);
        maxX = std::max(maxX, m->x0);
        minY = std::min(minY, m->y0);
        maxY = std::max(maxY, m->y0);
    }
    const size_t limit = static_cast<size_t>(std::max(keepPerCell, 0));
    std::vector<std::multiset<MatchPair*, ByScore>> cells(static_cast<size_t>(cellsX) * static_cast<size_t>(cellsY));
    for (MatchPair* m : matches) {
        const int cx = CellIndex(m->x0, minX, maxX, cellsX);
        const int cy = CellIndex(m->y0, minY, maxY, cellsY);
        auto& cell = cells[static_cast<size_t>(cx) * static_cast<size_t>(cellsY) + static_cast<size_t>(cy)];
        cell.insert(m);
        while (cell.size() > limit) cell.erase(cell.begin());
    }
    matches.clear();
    for (const auto& cell : cells) matches.insert(matches.end(), cell.begin(), cell.end());
    printf("Kept %d matches.\n", static_cast<int>(matches.size()));
    return true;
}

bool RansacFilter::ClusterMatches(std::vector<MatchPair*>& matches)
{
    printf("Clustering matches...\n");
    const int n = static_cast<int>(matches.size());
    if (n < 10) return true;
    const int k = n < 50 ? 11 - n / 10 : 6;
    const std::vector<MatchPair*> all = matches;
    KeepBestPerCell(matches, k, k);
    const int m = static_cast<int>(matches.size());
    if ((m < 15 && m < 2 * n / 3) || (m < 10 && m < 3 * n / 4)) {
        matches = all;
        KeepBestPerCell(matches, 3 * k / 2, 3 * k / 2);
    }
    return true;
}
