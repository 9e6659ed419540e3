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
    const size_t n = matches.size();
    // Every trial transfers the whole pool: the offsets from the centroids
    // are taken once, one array per coordinate so that the error sweep runs
    // two matches per instruction.
    std::vector<double> us(n), vs(n), u1s(n), v1s(n), errors(n);
    for (size_t i = 0; i < n; ++i) {
        const MatchPair* m = matches[i];
        us[i] = m->x0 - fit.meanX0;
        vs[i] = m->y0 - fit.meanY0;
        u1s[i] = m->x1 - fit.meanX1;
        v1s[i] = m->y1 - fit.meanY1;
    }

    size_t best = 0;
    std::vector<MatchPair*> bestInliers;
    std::vector<MatchPair*> bestOutliers;
    std::vector<MatchPair*> sample;
    std::vector<MatchPair*> outliers;
    sample.reserve(n + 1);
    outliers.reserve(n);
    // The drawn matches of a trial, flagged and in ascending order; the pool
    // is every other match in its original order.
    std::vector<unsigned char> drawn(n, 0);
    size_t picked[5];
    // Five draws need five matches; a smaller set has no sample to fit.
    const int runs = n < 5 ? 0 : trials;
    for (int t = 0; t < runs; ++t) {
        sample.clear();
        outliers.clear();
        for (int d = 0; d < 5; ++d) {
            // Entry r of the pool: the r-th match not drawn yet.
            size_t index = static_cast<size_t>(RandomIndex(static_cast<int>(n) - d - 1));
            int k = 0;
            while (k < d && picked[k] <= index) {
                ++index;
                ++k;
            }
            for (int j = d; j > k; --j) picked[j] = picked[j - 1];
            picked[k] = index;
            drawn[index] = 1;
            sample.push_back(matches[index]);
        }
        if (g_ransacTrialHook) g_ransacTrialHook(t, sample);
        const bool fitted = fit.estimate(sample);
        if (fitted) {
            const double h0 = fit.H[0], h1 = fit.H[1], h2 = fit.H[2];
            const double h3 = fit.H[3], h4 = fit.H[4], h5 = fit.H[5];
            const double h6 = fit.H[6], h7 = fit.H[7], h8 = fit.H[8];
            const double* u = us.data();
            const double* v = vs.data();
            const double* u1 = u1s.data();
            const double* v1 = v1s.data();
            double* e = errors.data();
            for (size_t i = 0; i < n; ++i) {
                const double iw = 1.0 / (h6 * u[i] + h7 * v[i] + h8);
                const double dx = u1[i] - (h0 * u[i] + h1 * v[i] + h2) * iw;
                const double dy = v1[i] - (h3 * u[i] + h4 * v[i] + h5) * iw;
                e[i] = dx * dx + dy * dy;
            }
            // Pool matches within the threshold join the sample and take
            // -e as their score; the rest (a NaN error too) are outliers.
            // Written without branches: the split is as unpredictable as
            // the matcher's mistakes.
            // Every match is stored at the cursor before the cursor moves,
            // so the sample needs one slot beyond its largest size.
            sample.resize(n + 1);
            outliers.resize(n);
            MatchPair** in = sample.data() + 5;
            MatchPair** out = outliers.data();
            for (size_t i = 0; i < n; ++i) {
                MatchPair* m = matches[i];
                const bool pooled = drawn[i] == 0;
                const bool inlier = e[i] < limit2;
                *in = m;
                *out = m;
                in += pooled & inlier;
                out += pooled & !inlier;
                if (pooled & inlier) m->score = static_cast<float>(-e[i]);
            }
            sample.resize(static_cast<size_t>(in - sample.data()));
            outliers.resize(static_cast<size_t>(out - outliers.data()));
        }
        for (size_t p : picked) drawn[p] = 0;
        if (!fitted) continue;
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
