// The matcher programs Hollet (consecutive pairs, brute-force matching) and
// Nerrow (all pairs, k-d tree matching), built from this one source with
// MATCHER_NERROW telling them apart. Each loads its images through the
// suite's file front door, so that pixel coordinates are those the
// application reads, finds SIFT features on a grey, area-reduced copy,
// matches each pair with the ratio test and a mutual-nearest check, rejects
// outliers with a RANSAC homography when asked, keeps at most maxMatches
// pairs spread over the image, and hands them back in file pixels: through
// the shared channel (one block per searched pair, then the finished flag)
// or, without a channel, as a text file.
//
// Feature searches run on a thread per core, each holding SIFT's scale space
// while it runs; "--memorymb" bounds what the searches running at once may
// hold (one always runs), the output does not depend on it.
//
// Exit codes: 0 done, 2 bad options, 3 the channel cannot be opened,
// 4 the output file cannot be written; a cancel request ends the program at
// once (exit 1) without the finished flag.
#include "core/parallel_for.h"
#include "platform/matchers/matcher_options.h"
#include "platform/utilkit/shm_client.h"
#include "worldmap/image_file.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/flann.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

#ifdef MATCHER_NERROW
constexpr bool kNerrow = true;
constexpr const char* kProgram = "Nerrow";
#else
constexpr bool kNerrow = false;
constexpr const char* kProgram = "Hollet";
#endif

// Lowe's ratio: a match counts only when clearly better than the runner-up.
constexpr float kRatio = 0.8f;
// The spread of the kept pairs: the best pair of each cell of this grid
// over the first image comes first.
constexpr int kGridCells = 8;
// Features per image: enough for 200 spread pairs, few enough for speed.
constexpr int kMaxFeatures = 3000;
// SIFT's usual contrast threshold: 0.02 gave twice the features and twice
// the matching time for no more pairs kept downstream on the horizon series.
constexpr double kContrastThreshold = 0.04;
// Scale levels per octave of the feature search.
constexpr int kOctaveLayers = 3;
// The RANSAC distance Nerrow uses when "--ransac 1" comes without one.
constexpr double kDefaultRansacDistance = 3.0;

struct Features {
    bool ok = false;
    int width = 0, height = 0;  // the file's size
    std::vector<cv::Point2f> points;  // in pixels of the reduced image
    cv::Mat descriptors;
    double scaleX = 1, scaleY = 1;  // file pixels per reduced pixel
};

struct PairResult {
    int i0 = 0, i1 = 0;
    std::vector<ShmMarkerPair> pairs;  // file pixels
};

struct Timing {
    std::atomic<long long> loadUs{0}, detectUs{0}, matchUs{0}, ransacUs{0};
};

// Bytes shared by the feature searches running at once: a search waits until
// its share is free. A share larger than the whole budget waits for the budget
// to be whole and takes it all, so that one search always runs.
class MemoryBudget {
public:
    explicit MemoryBudget(size_t total) : m_total(total), m_free(total) {}
    size_t Take(size_t bytes)
    {
        bytes = std::min(bytes, m_total);
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock, [&] { return m_free >= bytes; });
        m_free -= bytes;
        return bytes;
    }
    void Give(size_t bytes)
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_free += bytes;
        }
        m_changed.notify_all();
    }

private:
    const size_t m_total;
    size_t m_free;
    std::mutex m_lock;
    std::condition_variable m_changed;
};

// What SIFT holds while it searches an image of w x h pixels: it doubles the
// image first, and its first octave keeps kOctaveLayers + 3 blurred and
// kOctaveLayers + 2 difference images in float; the later octaves add a
// third. About 72 MB for a 640 x 480 image.
size_t SiftWorkingBytes(int w, int h)
{
    const double first = 4.0 * (2.0 * w) * (2.0 * h) * (2 * kOctaveLayers + 5);
    return static_cast<size_t>(first * 4.0 / 3.0);
}

long long Micros(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - since).count();
}

// Grey (mean of the channels) of an 8-bit image of 1 or 3 interleaved channels.
cv::Mat Grey(Image* image)
{
    const int w = image->GetWidth(), h = image->GetHeight(), c = image->GetChannels();
    cv::Mat grey(h, w, CV_8UC1);
    for (int y = 0; y < h; ++y) {
        const unsigned char* in = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
        unsigned char* out = grey.ptr<unsigned char>(y);
        if (c == 1) {
            std::copy(in, in + w, out);
        } else {
            for (int x = 0; x < w; ++x, in += c) out[x] = static_cast<unsigned char>((in[0] + in[1] + in[2] + 1) / 3);
        }
    }
    return grey;
}

// Area-averaged reduction: Hollet by the whole factor `scaleDown` (the image
// cut to a multiple of it, so that reduced pixel x covers file pixels
// [s x, s x + s)), Nerrow to the longest side maxDim.
cv::Mat Reduce(const cv::Mat& grey, const MatcherOptions& options, double* scaleX, double* scaleY)
{
    if (!options.nerrow) {
        const int s = options.scaleDown;
        const int w = grey.cols / s, h = grey.rows / s;
        *scaleX = *scaleY = s;
        if (s == 1 || w < 1 || h < 1) {
            *scaleX = *scaleY = 1;
            return grey;
        }
        cv::Mat reduced;
        cv::resize(grey(cv::Rect(0, 0, w * s, h * s)), reduced, cv::Size(w, h), 0, 0, cv::INTER_AREA);
        return reduced;
    }
    const int longest = std::max(grey.cols, grey.rows);
    if (longest <= options.maxDim) {
        *scaleX = *scaleY = 1;
        return grey;
    }
    const double f = static_cast<double>(options.maxDim) / longest;
    const int w = std::max(1, static_cast<int>(grey.cols * f + 0.5)), h = std::max(1, static_cast<int>(grey.rows * f + 0.5));
    *scaleX = static_cast<double>(grey.cols) / w;
    *scaleY = static_cast<double>(grey.rows) / h;
    cv::Mat reduced;
    cv::resize(grey, reduced, cv::Size(w, h), 0, 0, cv::INTER_AREA);
    return reduced;
}

Features Detect(const std::string& file, const MatcherOptions& options, Timing& timing, MemoryBudget& budget)
{
    Features f;
    auto start = std::chrono::steady_clock::now();
    Image* image = nullptr;
    WorldMap* map = nullptr;
    const int status = LoadImageWMap(file.c_str(), &image, &map, true);
    if (map) map->Release();
    if (status < 1 || !image || image->GetDataType() != IMG_UINT8 || !image->IsInterleaved() ||
        (image->GetChannels() != 1 && image->GetChannels() != 3) || image->GetWidth() < 8 || image->GetHeight() < 8) {
        ReleaseImage(image);
        return f;
    }
    f.width = image->GetWidth();
    f.height = image->GetHeight();
    cv::Mat grey = Grey(image);
    ReleaseImage(image);  // only the grey copy is needed from here on
    cv::Mat reduced = Reduce(grey, options, &f.scaleX, &f.scaleY);
    grey.release();
    timing.loadUs += Micros(start);

    const size_t share = budget.Take(SiftWorkingBytes(reduced.cols, reduced.rows));
    start = std::chrono::steady_clock::now();
    cv::Ptr<cv::SIFT> sift = cv::SIFT::create(kMaxFeatures, kOctaveLayers, kContrastThreshold);
    std::vector<cv::KeyPoint> keys;
    sift->detectAndCompute(reduced, cv::noArray(), keys, f.descriptors);
    timing.detectUs += Micros(start);
    budget.Give(share);
    for (const cv::KeyPoint& k : keys) f.points.push_back(k.pt);
    f.ok = true;
    return f;
}

// For every row of `query`, the index of its best match in `train` when it
// passes the ratio test, else -1; with its distance.
void RatioMatches(const cv::Mat& query, const cv::Mat& train, bool kdTree, std::vector<int>& best,
                  std::vector<float>& distance)
{
    best.assign(static_cast<size_t>(query.rows), -1);
    distance.assign(static_cast<size_t>(query.rows), 0.0f);
    if (query.empty() || train.rows < 2) return;
    std::vector<std::vector<cv::DMatch>> knn;
    if (kdTree) {
        cv::FlannBasedMatcher matcher(cv::makePtr<cv::flann::KDTreeIndexParams>(4), cv::makePtr<cv::flann::SearchParams>(64));
        matcher.knnMatch(query, train, knn, 2);
    } else {
        cv::BFMatcher matcher(cv::NORM_L2, false);
        matcher.knnMatch(query, train, knn, 2);
    }
    for (const std::vector<cv::DMatch>& m : knn) {
        if (m.size() < 2 || m[0].queryIdx < 0 || m[0].queryIdx >= query.rows) continue;
        if (m[0].distance < kRatio * m[1].distance) {
            best[static_cast<size_t>(m[0].queryIdx)] = m[0].trainIdx;
            distance[static_cast<size_t>(m[0].queryIdx)] = m[0].distance;
        }
    }
}

struct Candidate {
    int a, b;
    float distance;
};

// Best per cell of a coarse grid over the first image, then by distance.
std::vector<Candidate> Spread(std::vector<Candidate> matches, const Features& fa, int limit)
{
    std::sort(matches.begin(), matches.end(), [](const Candidate& l, const Candidate& r) { return l.distance < r.distance; });
    if (static_cast<int>(matches.size()) <= limit) return matches;
    // The grid spans the matched points' bounding box, not the image: the
    // overlap of two photographs is often a strip of it.
    float minX = fa.points[static_cast<size_t>(matches[0].a)].x, maxX = minX;
    float minY = fa.points[static_cast<size_t>(matches[0].a)].y, maxY = minY;
    for (const Candidate& m : matches) {
        const cv::Point2f& p = fa.points[static_cast<size_t>(m.a)];
        minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
    }
    const float spanX = std::max(maxX - minX, 1.0f), spanY = std::max(maxY - minY, 1.0f);
    std::vector<bool> cellTaken(kGridCells * kGridCells, false), used(matches.size(), false);
    std::vector<Candidate> kept;
    for (size_t i = 0; i < matches.size() && static_cast<int>(kept.size()) < limit; ++i) {
        const cv::Point2f& p = fa.points[static_cast<size_t>(matches[i].a)];
        const int cx = std::min(kGridCells - 1, static_cast<int>((p.x - minX) / spanX * kGridCells));
        const int cy = std::min(kGridCells - 1, static_cast<int>((p.y - minY) / spanY * kGridCells));
        if (cellTaken[static_cast<size_t>(cy * kGridCells + cx)]) continue;
        cellTaken[static_cast<size_t>(cy * kGridCells + cx)] = true;
        used[i] = true;
        kept.push_back(matches[i]);
    }
    for (size_t i = 0; i < matches.size() && static_cast<int>(kept.size()) < limit; ++i)
        if (!used[i]) kept.push_back(matches[i]);
    return kept;
}

float ToFile(float x, double scale) { return static_cast<float>((x + 0.5) * scale - 0.5); }

PairResult MatchPair(int i0, int i1, const Features& fa, const Features& fb, const MatcherOptions& options,
                     Timing& timing)
{
    PairResult result{i0, i1, {}};
    if (!fa.ok || !fb.ok) return result;
    auto start = std::chrono::steady_clock::now();
    std::vector<int> ab, ba;
    std::vector<float> dab, dba;
    RatioMatches(fa.descriptors, fb.descriptors, options.nerrow, ab, dab);
    RatioMatches(fb.descriptors, fa.descriptors, options.nerrow, ba, dba);
    std::vector<Candidate> matches;
    for (size_t a = 0; a < ab.size(); ++a) {
        const int b = ab[a];
        if (b >= 0 && static_cast<size_t>(b) < ba.size() && ba[static_cast<size_t>(b)] == static_cast<int>(a))
            matches.push_back({static_cast<int>(a), b, dab[a]});
    }
    timing.matchUs += Micros(start);

    if (options.ransac && matches.size() >= 4) {
        start = std::chrono::steady_clock::now();
        std::vector<cv::Point2f> pa, pb;
        for (const Candidate& m : matches) {
            pa.push_back(fa.points[static_cast<size_t>(m.a)]);
            pb.push_back(fb.points[static_cast<size_t>(m.b)]);
        }
        const double distance = options.ransacDistance > 0 ? options.ransacDistance : kDefaultRansacDistance;
        std::vector<unsigned char> inliers;
        const cv::Mat h = cv::findHomography(pa, pb, cv::RANSAC, distance, inliers, 2000, 0.995);
        std::vector<Candidate> kept;
        if (!h.empty())
            for (size_t k = 0; k < matches.size(); ++k)
                if (inliers[k]) kept.push_back(matches[k]);
        matches = std::move(kept);
        timing.ransacUs += Micros(start);
    } else if (options.ransac) {
        matches.clear();  // too few to check: nothing trustworthy
    }

    for (const Candidate& m : Spread(std::move(matches), fa, options.maxMatches)) {
        const cv::Point2f& p = fa.points[static_cast<size_t>(m.a)];
        const cv::Point2f& q = fb.points[static_cast<size_t>(m.b)];
        result.pairs.push_back({ToFile(p.x, fa.scaleX), ToFile(p.y, fa.scaleY), ToFile(q.x, fb.scaleX),
                                ToFile(q.y, fb.scaleY)});
    }
    return result;
}

std::vector<std::pair<int, int>> PairsToSearch(const MatcherOptions& options)
{
    const int n = static_cast<int>(options.files.size());
    std::vector<std::pair<int, int>> pairs;
    if (!options.nerrow) {
        for (int i = 0; i + 1 < n; ++i) pairs.emplace_back(i, i + 1);
        if (options.closed && n > 2) pairs.emplace_back(n - 1, 0);
    } else {
        for (int i = 0; i < n; ++i)
            for (int j = i + 1; j < n; ++j) pairs.emplace_back(i, j);
    }
    return pairs;
}

// Runs `work(k)` for k = 0 .. count - 1 on a thread per core.
void Parallel(int count, const std::function<void(int)>& work)
{
    parallel::ForEach(count, parallel::HardwareThreads(count), work);
}

bool WriteTextFile(const MatcherOptions& options, const std::vector<Features>& features,
                   const std::vector<PairResult>& results)
{
    FILE* out = std::fopen(options.output.c_str(), "w");
    if (!out) return false;
    std::fprintf(out, "# %s control points\n", kProgram);
    for (size_t i = 0; i < options.files.size(); ++i)
        std::fprintf(out, "#-imgfile %d %d \"%s\"\n", features[i].width, features[i].height, options.files[i].c_str());
    for (const PairResult& r : results)
        for (const ShmMarkerPair& p : r.pairs)
            std::fprintf(out, "c n%d N%d x%f y%f X%f Y%f\n", r.i0, r.i1, p.x0, p.y0, p.x1, p.y1);
    return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    MatcherOptions options;
    const std::string error = ParseMatcherOptions(argc, argv, kNerrow, options);
    if (!error.empty()) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return 2;
    }
    for (const std::string& u : options.unknown) std::fprintf(stderr, "%s: ignored option %s\n", kProgram, u.c_str());
    cv::setNumThreads(1);  // the programs parallelise over images and pairs themselves
    // One heap for all threads: with one per thread, every thread's heap kept
    // the scale space its last search freed (the 25 Durlach photographs:
    // 594 MB peak, 8.0 s) and faulted in fresh pages for the next one; shared,
    // the freed blocks are reused (316 MB, 6.4 s on the same machine).
    mallopt(M_ARENA_MAX, 1);

    ShmClient channel;
    const bool useChannel = !options.shmName.empty();
    if (useChannel && channel.open(options.shmName.c_str(), options.shmSize) != 0) {
        std::fprintf(stderr, "%s: cannot open the channel %s\n", kProgram, options.shmName.c_str());
        return 3;
    }
    const auto cancelled = [&] { return useChannel && channel.cancelRequested(); };

    Timing timing;
    const auto started = std::chrono::steady_clock::now();
    const int n = static_cast<int>(options.files.size());
    std::vector<Features> features(static_cast<size_t>(n));
    MemoryBudget budget(static_cast<size_t>(options.memoryMb) << 20);
    Parallel(n, [&](int k) {
        if (!cancelled())
            features[static_cast<size_t>(k)] = Detect(options.files[static_cast<size_t>(k)], options, timing, budget);
    });
    if (cancelled()) return 1;
    for (int k = 0; k < n; ++k)
        if (!features[static_cast<size_t>(k)].ok && useChannel) {
            const std::string text = "ERROR cannot read image " + options.files[static_cast<size_t>(k)];
            channel.postText(text.c_str());
        }

    const std::vector<std::pair<int, int>> pairs = PairsToSearch(options);
    std::vector<PairResult> results(pairs.size());
    std::mutex channelLock;
    Parallel(static_cast<int>(pairs.size()), [&](int k) {
        if (cancelled()) return;
        const auto [i0, i1] = pairs[static_cast<size_t>(k)];
        if (useChannel) {
            char text[64];
            std::snprintf(text, sizeof text, "Matching images %d & %d", i0, i1);
            std::lock_guard<std::mutex> lock(channelLock);
            channel.postText(text);
        }
        results[static_cast<size_t>(k)] =
            MatchPair(i0, i1, features[static_cast<size_t>(i0)], features[static_cast<size_t>(i1)], options, timing);
    });
    if (cancelled()) return 1;

    if (std::getenv("FENDRAKE_MATCHER_TIMING"))
        std::fprintf(stderr, "%s timing (thread-summed ms): load %.1f detect %.1f match %.1f ransac %.1f; wall %.1f\n",
                     kProgram, timing.loadUs / 1000.0, timing.detectUs / 1000.0, timing.matchUs / 1000.0,
                     timing.ransacUs / 1000.0, Micros(started) / 1000.0);

    if (!useChannel) return WriteTextFile(options, features, results) ? 0 : 4;
    for (const PairResult& r : results) {
        if (cancelled()) return 1;
        channel.writeBlock(r.i0, r.i1, r.pairs);
    }
    channel.setFinished();
    return 0;
}
