// The 25 Durlach photographs (huginsample-durlach/half) through the headless
// application as a user would run them: the tray arranged so that
// consecutive frames overlap across the three rows (see TrayOrder), Stitch
// (matching with Hollet, the pair solves, the global alignment and leveling
// after the pairs), Blend in process, and the map saved as a JPEG through the
// file front door. One run; the figures are counters: wall time per stage
// (matching up to the first pair solve, then the pair solves with the
// alignment and leveling, blend, save), peak RSS (this process, its largest
// child, and the two together as sampled while they run), photos placed and
// the residual RMS of the markers.
//
// With DURLACH_HUGIN=1 the same photographs also go through Debian's
// hugin-tools pipeline (pto_gen, cpfind --multirow, cpclean, autooptimiser
// -a -m, pano_modify, nona, enblend), timed whole with its peak RSS, and our
// placements are compared with the poses autooptimiser fitted from all
// overlapping pairs (DURLACH_HUGIN_PTO names such an aligned project instead
// of running the pipeline). DURLACH_PAIRS=1 prints every tray pair and every
// photo's pose against hugin's; DURLACH_LOG=n copies the log up to level n;
// DURLACH_LOOP=1 ticks the tray's loop option (the last photo overlaps the
// first).
#include "app/control/image_chain.h"
#include "app/control/stitch_driver.h"
#include "app/control/stitch_pair.h"
#include "app/control/stitch_wiring.h"
#include "app/control/super_manager.h"
#include "app/shell/fendrake_app.h"
#include "app/shell/image_tray_host.h"
#include "app/shell/pellicot.h"
#include "app/shell/main_frame.h"
#include "app/shell/stitch_bar.h"
#include "core/file_records.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/utilkit/log_base.h"
#include "platform/panocore/img_info.h"
#include "platform/win/dynamic_library.h"
#include "platform/win/prompter.h"
#include "platform/win/runtime.h"
#include "platform/win/win_thread.h"
#include "platform/xformkit/camera_model.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "worldmap/image_file.h"
#include "worldmap/world_map.h"

#include <Eigen/Dense>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Pumps until the run is idle; `firstPair`, when given, receives the moment the
// first pair solve began (the end of the matching), else the end.
bool PumpUntilIdle(SuperManager& manager, int limitMs, Clock::time_point* firstPair = nullptr)
{
    CStitchBar& bar = *manager.GetStitchBar();
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    bool seen = false;
    PumpPendingMessages();
    while (Clock::now() < end) {
        PumpPendingMessages();
        if (firstPair && !seen && GetStitchThreadBlock()->busy != 0) {
            *firstPair = Clock::now();
            seen = true;
        }
        if (bar.IsIdle() && !manager.IsWorkerActive() && GetStitchThreadBlock()->busy == 0 &&
            win::RunningWorkerCount() == 0) {
            if (firstPair && !seen) *firstPair = Clock::now();
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// The tray order. The application stitches neighbouring tray photos only, so
// a user lays a three-row set out so that every photo overlaps the next one
// well. By default: from the horizon photo P1060374 up to P1060382 above it,
// the upward row left to right (P1060382 round to P1060381, the zenith shot
// P1060386 between P1060384 and P1060385, the two upward photos it overlaps
// most), then down from P1060381 to the horizon photo P1060373 and back right
// to left, zigzagging between the horizon and the downward row, ending with
// P1060375 and P1060391. No two downward photos stand side by side: their
// overlaps are cobblestones close to the hand-held camera, which no rotation
// fits (P1060387-388 misses by 5 px); P1060391 fits P1060375 well and no
// other photo within the limit, so it comes last. The upward row's weak link, P1060381-382
// (mostly sky), is the one the row leaves out. Going back along the lower rows
// in the other direction keeps every photo within about one turn of the first.
// DURLACH_ORDER selects others: "rows" (each row in turn: the upward row from
// P1060381 back round to P1060382, the horizon row from P1060375 round to
// P1060376, the downward row in file order, the zenith shot), "zenith" (the
// zenith shot, the upward row backwards from 385, the horizon row backwards
// from 377, the downward row from 387), "down" (the downward row, the horizon
// row, the upward row, the zenith shot, all in file order), "horizon" (the
// horizon row alone, 9 photos, a closed loop) or a list of photo numbers
// ("369,370,..."; with 9 photos the loop is closed).
std::vector<int> TrayOrder()
{
    std::vector<int> order;
    const char* which = std::getenv("DURLACH_ORDER");
    if (which && std::isdigit(static_cast<unsigned char>(which[0]))) {
        for (const char* p = which; *p;) {
            char* end = nullptr;
            const long n = std::strtol(p, &end, 10);
            if (end == p) break;
            order.push_back(static_cast<int>(n));
            p = *end == ',' ? end + 1 : end;
        }
        return order;
    }
    if (which && std::strcmp(which, "down") == 0) {
        for (int n = 387; n <= 393; ++n) order.push_back(n);
        for (int n = 369; n <= 377; ++n) order.push_back(n);
        for (int n = 378; n <= 385; ++n) order.push_back(n);
        order.push_back(386);
        return order;
    }
    if (which && std::strcmp(which, "horizon") == 0) {
        for (int n = 369; n <= 377; ++n) order.push_back(n);
        return order;
    }
    if (which && std::strcmp(which, "zenith") == 0) {
        order.push_back(386);
        for (int n = 385; n >= 378; --n) order.push_back(n);
        for (int n = 377; n >= 369; --n) order.push_back(n);
        for (int n = 387; n <= 393; ++n) order.push_back(n);
        return order;
    }
    if (which && std::strcmp(which, "rows") == 0) {
        for (int n : {381, 380, 379, 378, 385, 384, 383, 382}) order.push_back(n);
        for (int n : {375, 374, 373, 372, 371, 370, 369, 377, 376}) order.push_back(n);
        for (int n = 387; n <= 393; ++n) order.push_back(n);
        order.push_back(386);
        return order;
    }
    for (int n : {374, 382, 383, 384, 386, 385, 378, 379, 380, 381}) order.push_back(n);
    for (int n : {373, 390, 372, 389, 370, 371, 388, 369, 387, 377, 393, 376, 392, 375, 391}) order.push_back(n);
    return order;
}

double PeakRssMb(int who)
{
    struct rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The largest resident memory of this process and its descendants together
// (the matcher program runs beside the application while it matches),
// sampled every 10 ms from /proc while the sampler lives.
class TreeRssSampler {
public:
    TreeRssSampler() : m_thread([this] { Run(); }) {}
    ~TreeRssSampler() { Stop(); }
    double PeakMb()
    {
        Stop();
        return static_cast<double>(m_peakKb) / 1024.0;
    }

private:
    static long RssKb(int pid)
    {
        std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
        long pages = 0, resident = 0;
        if (!(statm >> pages >> resident)) return 0;
        return resident * (sysconf(_SC_PAGESIZE) / 1024);
    }
    static void Children(int pid, std::vector<int>& out)
    {
        std::error_code ec;
        for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
            std::ifstream list(task.path() / "children");
            for (int child = 0; list >> child;) out.push_back(child);
        }
    }
    static long TreeKb()
    {
        long total = 0;
        std::vector<int> pending{static_cast<int>(getpid())};
        while (!pending.empty()) {
            const int pid = pending.back();
            pending.pop_back();
            total += RssKb(pid);
            Children(pid, pending);
        }
        return total;
    }
    void Run()
    {
        while (!m_stop) {
            m_peakKb = std::max(m_peakKb.load(), TreeKb());
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }

    std::atomic<bool> m_stop{false};
    std::atomic<long> m_peakKb{0};
    std::thread m_thread;
};

// One photograph's placement after the run, in tray order.
struct PhotoPose {
    int photo = 0;  // the number that ends the file name
    bool placed = false;
    double pan = 0, tilt = 0, roll = 0;  // radians
    double fov = 0;                      // horizontal field of view in degrees, 0 when unknown
};

int PhotoNumber(const char* path)
{
    const std::string stem = path ? std::filesystem::path(path).stem().string() : std::string();
    return stem.size() >= 3 ? std::atoi(stem.c_str() + stem.size() - 3) : 0;
}

std::vector<PhotoPose> SolvedPoses(ImageChain& chain)
{
    std::vector<PhotoPose> poses;
    for (int k = 0; k < chain.GetCount(); ++k) {
        ImageFrame* frame = chain.GetFrame(k);
        PhotoPose pose;
        pose.photo = PhotoNumber(frame->GetName());
        pose.placed = frame->IsMerged();
        if (IImgInfo* info = frame->GetImgInfo()) {
            const TRANSFORM_RS* rs = info->GetParams();
            pose.pan = rs->pan;
            pose.tilt = rs->tilt;
            pose.roll = rs->roll;
            if (Image* image = frame->GetImage())
                pose.fov = 2.0 * std::atan(image->GetWidth() / 2.0 * rs->rcpFocal) * 180.0 / std::acos(-1.0);
        }
        poses.push_back(pose);
    }
    return poses;
}

// One line per consecutive pair of the tray: merged or not, its markers and
// their residual after the alignment.
void PrintPairs(ImageChain& chain)
{
    for (int k = 0; k + 1 < chain.GetCount(); ++k) {
        ImageFrame* a = chain.GetFrame(k);
        ImageFrame* b = chain.GetFrame(k + 1);
        Marker* ma = nullptr;
        Marker* mb = nullptr;
        a->GetAutoMarker(b, &ma, &mb);
        double sq = 0;
        const int n = ma ? ma->GetNumbOfMarker() : 0;
        for (int i = 0; i < n; ++i) sq += static_cast<double>(ma->GetMarker()[i].error2) * ma->GetMarker()[i].error2;
        std::fprintf(stderr, "pair %d-%d: %s, %d markers, RMS %.2f px\n", PhotoNumber(a->GetName()),
                     PhotoNumber(b->GetName()), a->IsMergedPair(b) ? "merged" : "not merged", n,
                     n ? std::sqrt(sq / n) : 0.0);
    }
}

// Yaw, pitch, roll and horizontal field of view (degrees) of every image line
// of a hugin project, by the photo number of its file; NaN where a value is
// missing (a field of view linked to the first image's, "v=0", is taken from
// it).
std::map<int, Eigen::Vector4d> ReadHuginPoses(const std::string& pto)
{
    std::map<int, Eigen::Vector4d> poses;
    double firstFov = std::nan("");
    std::ifstream in(pto);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("i ", 0) != 0) continue;
        Eigen::Vector4d ypr = Eigen::Vector4d::Constant(std::nan(""));
        int photo = 0;
        std::istringstream tokens(line);
        std::string token;
        while (tokens >> token) {
            if (token.rfind("n\"", 0) == 0 && token.size() > 2) {
                photo = PhotoNumber(token.substr(2, token.size() - 3).c_str());
                continue;
            }
            const char* which = std::strchr("yprv", token[0]);
            if (token.size() < 2 || !which) continue;
            if (token == "v=0") ypr[3] = firstFov;
            char* end = nullptr;
            const double value = std::strtod(token.c_str() + 1, &end);
            if (end != token.c_str() + 1 && *end == '\0') ypr[which - "yprv"] = value;
        }
        if (poses.empty()) firstFov = ypr[3];
        poses[photo] = ypr;
    }
    return poses;
}

Eigen::Matrix3d ToEigen(const xformkit::Mat3& m)
{
    Eigen::Matrix3d e;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) e(r, c) = m(r, c);
    return e;
}

// A hugin image's camera-to-world rotation in our camera/world frame (x
// right, y down, z forward): yaw turns to the right about the vertical, pitch
// up, roll about the viewing axis, R = RotY(yaw) RotX(pitch) RotZ(roll).
// Checked on hugin's own control points: with this reading the two rays of a
// point agree to a median of 0.27 degrees on the Durlach set, with any other
// choice of signs to 19 degrees or more.
Eigen::Matrix3d HuginRotation(const Eigen::Vector4d& ypr)
{
    const double k = std::acos(-1.0) / 180.0;
    return ToEigen(xformkit::Multiply(xformkit::Multiply(xformkit::RotY(ypr[0] * k), xformkit::RotX(ypr[1] * k)),
                                      xformkit::RotZ(ypr[2] * k)));
}

// The rotation of the whole panorama that brings the b poses nearest the a
// poses (least squares over the pairs of matrices given).
Eigen::Matrix3d WholeTurn(const std::vector<Eigen::Matrix3d>& a, const std::vector<Eigen::Matrix3d>& b)
{
    Eigen::Matrix3d sum = Eigen::Matrix3d::Zero();
    for (size_t i = 0; i < a.size(); ++i) sum += a[i] * b[i].transpose();
    const Eigen::JacobiSVD<Eigen::Matrix3d> svd(sum, Eigen::ComputeFullU | Eigen::ComputeFullV);
    Eigen::Matrix3d fix = Eigen::Matrix3d::Identity();
    fix(2, 2) = (svd.matrixU() * svd.matrixV().transpose()).determinant() < 0 ? -1.0 : 1.0;
    return svd.matrixU() * fix * svd.matrixV().transpose();
}

double TurnDeg(const Eigen::Matrix3d& m)
{
    return std::acos(std::clamp((m.trace() - 1.0) / 2.0, -1.0, 1.0)) * 180.0 / std::acos(-1.0);
}

// Our placements against hugin's optimised ones: the one rotation of the
// whole panorama that brings hugin's poses nearest ours (least squares over
// the placed photos), then per photo the angle of the rotation left between
// the two. Counters: the worst and the mean angle in degrees.
void ComparePoses(benchmark::State& state, const std::string& pto, const std::vector<PhotoPose>& ours)
{
    const std::map<int, Eigen::Vector4d> byPhoto = ReadHuginPoses(pto);
    std::vector<const PhotoPose*> compared;
    std::vector<Eigen::Vector4d> hugin;
    std::vector<Eigen::Matrix3d> mine, theirs;
    for (const PhotoPose& pose : ours) {
        const auto found = byPhoto.find(pose.photo);
        if (!pose.placed || found == byPhoto.end() || !found->second.head<3>().allFinite()) continue;
        compared.push_back(&pose);
        hugin.push_back(found->second);
        mine.push_back(ToEigen(xformkit::PlacementMatrix(pose.pan, pose.tilt, pose.roll)));
        theirs.push_back(HuginRotation(found->second));
    }
    if (compared.empty()) return;
    const Eigen::Matrix3d turn = WholeTurn(mine, theirs);
    const bool verbose = std::getenv("DURLACH_PAIRS") != nullptr;
    double worst = 0, total = 0;
    for (size_t i = 0; i < compared.size(); ++i) {
        const double angle = TurnDeg(mine[i].transpose() * turn * theirs[i]);
        worst = std::max(worst, angle);
        total += angle;
        if (verbose) {
            xformkit::Mat3 m;
            const Eigen::Matrix3d h = turn * theirs[i];
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) m(r, c) = h(r, c);
            double pan, tilt, roll;
            xformkit::PlacementAngles(m, pan, tilt, roll);
            const double d = 180.0 / std::acos(-1.0);
            const PhotoPose& p = *compared[i];
            std::fprintf(stderr,
                         "photo %d: ours pan %7.2f tilt %7.2f roll %7.2f fov %5.2f, hugin %7.2f %7.2f %7.2f fov %5.2f, %.2f "
                         "deg apart\n",
                         p.photo, p.pan * d, p.tilt * d, p.roll * d, p.fov, pan * d, tilt * d, roll * d, hugin[i][3], angle);
        }
    }
    state.counters["pose vs hugin worst deg"] = worst;
    state.counters["pose vs hugin mean deg"] = total / static_cast<double>(compared.size());
    state.counters["pose vs hugin photos"] = static_cast<double>(compared.size());
}

// What the tray's chain of pairs allows at best, measured with hugin alone:
// autooptimiser given only those control points of `aligned` that join
// neighbouring tray photos (its lens as fitted from all pairs; the field of
// view, yaw, pitch and roll free, its first image held), its poses against
// its own all-pairs poses, compared as ours are.
void CompareHuginChain(benchmark::State& state, const std::string& work, const std::string& aligned,
                       const std::vector<PhotoPose>& tray)
{
    std::map<int, int> trayPlace;  // photo number -> tray position
    for (size_t k = 0; k < tray.size(); ++k) trayPlace[tray[k].photo] = static_cast<int>(k);
    std::vector<int> place;  // image index -> tray position, -1 when not on the tray
    std::ifstream in(aligned);
    std::ofstream out(work + "/chain.pto");
    std::string line;
    int images = 0, kept = 0;
    bool variables = false;
    while (std::getline(in, line)) {
        if (line.rfind("i ", 0) == 0) {
            ++images;
            const size_t name = line.find(" n\"");
            const size_t close = name == std::string::npos ? name : line.find('"', name + 3);
            const int photo = close == std::string::npos ? 0 : PhotoNumber(line.substr(name + 3, close - name - 3).c_str());
            const auto found = trayPlace.find(photo);
            place.push_back(found == trayPlace.end() ? -1 : found->second);
        }
        if (line == "v" || line.rfind("v ", 0) == 0) {
            if (!variables) {
                out << "v v0\n";
                for (int k = 1; k < images; ++k) out << "v y" << k << "\nv p" << k << "\nv r" << k << "\n";
                out << "v\n";
                variables = true;
            }
            continue;
        }
        // The variables listed here are the ones optimised, not a preset.
        if (line.rfind("#hugin_optimizerMasterSwitch", 0) == 0) line = "#hugin_optimizerMasterSwitch 0";
        if (line.rfind("#hugin_optimizerPhotoMasterSwitch", 0) == 0) line = "#hugin_optimizerPhotoMasterSwitch 0";
        if (line.rfind("c ", 0) == 0) {
            const char* n = std::strstr(line.c_str(), " n");
            const char* m = std::strstr(line.c_str(), " N");
            const int i = n ? std::atoi(n + 2) : -1, j = m ? std::atoi(m + 2) : -1;
            const auto valid = [&](int k) { return k >= 0 && k < static_cast<int>(place.size()) && place[k] >= 0; };
            if (!valid(i) || !valid(j) || std::abs(place[i] - place[j]) != 1) continue;
            ++kept;
        }
        out << line << "\n";
    }
    out.close();
    const std::string command = "cd '" + work + "' && autooptimiser -n -o chain_opt.pto chain.pto > chain.log 2>&1";
    if (!variables || kept == 0 || std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "hugin on the tray's pairs alone did not run; see %s/chain.log\n", work.c_str());
        return;
    }
    const std::map<int, Eigen::Vector4d> chain = ReadHuginPoses(work + "/chain_opt.pto");
    const std::map<int, Eigen::Vector4d> all = ReadHuginPoses(aligned);
    std::vector<Eigen::Matrix3d> a, b;
    for (const auto& [photo, pose] : all) {
        const auto found = chain.find(photo);
        if (found == chain.end() || !pose.head<3>().allFinite() || !found->second.head<3>().allFinite()) continue;
        a.push_back(HuginRotation(pose));
        b.push_back(HuginRotation(found->second));
    }
    if (a.empty()) return;
    const Eigen::Matrix3d turn = WholeTurn(a, b);
    double worst = 0, total = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double angle = TurnDeg(a[i].transpose() * turn * b[i]);
        worst = std::max(worst, angle);
        total += angle;
    }
    state.counters["hugin chain vs all worst deg"] = worst;
    state.counters["hugin chain vs all mean deg"] = total / static_cast<double>(a.size());
    if (!chain.empty()) state.counters["hugin chain fov deg"] = chain.begin()->second[3];
    if (!all.empty()) state.counters["hugin fov deg"] = all.begin()->second[3];
}

// Debian's hugin-tools pipeline on the same photographs, as a user of those
// tools would run it: control points across rows, cleaned, positions and
// lenses optimised, the canvas at 75 % of hugin's optimal size (our blend's
// default output scale against the photographs' own resolution) cropped to
// the covered area, remapped into cropped layers and blended by enblend.
// The script times each step into hugin.steps; /usr/bin/time gives the
// whole run's wall time and the largest step's peak RSS.
bool RunHugin(benchmark::State& state, const std::string& work, const std::vector<std::string>& photos)
{
    const std::string scriptPath = work + "/hugin.sh", steps = work + "/hugin.steps";
    if (FILE* f = std::fopen(scriptPath.c_str(), "w")) {
        std::fprintf(f, "set -e\ncd '%s'\n", work.c_str());
        std::fprintf(f, "step() { local t=$(date +%%s%%N); \"$@\"; echo \"$1 $(( ($(date +%%s%%N) - t) / 1000000 ))\" >> '%s'; }\n",
                     steps.c_str());
        std::fprintf(f, "step pto_gen -o hugin.pto");
        for (const std::string& p : photos) std::fprintf(f, " '%s'", p.c_str());
        std::fprintf(f, "\nstep cpfind --multirow -o hugin.pto hugin.pto\n"
                        "step cpclean -o hugin.pto hugin.pto\n"
                        "step autooptimiser -a -m -o aligned.pto hugin.pto\n"
                        "step pano_modify --canvas=75%% --crop=AUTO -o hugin.pto aligned.pto\n"
                        "step nona -m TIFF_m -o layer hugin.pto\n"
                        "step enblend -o hugin.tif layer*.tif\n");
        std::fclose(f);
    }
    const std::string command = "/usr/bin/time -f '%e %M' -o '" + work + "/hugin.time' bash '" + scriptPath + "' > '" + work +
                                "/hugin.log' 2>&1";
    const int status = std::system(command.c_str());
    double wall = 0, rssKb = 0;
    if (FILE* f = std::fopen((work + "/hugin.time").c_str(), "r")) {
        if (std::fscanf(f, "%lf %lf", &wall, &rssKb) != 2) wall = rssKb = 0;
        std::fclose(f);
    }
    if (status != 0) {
        std::fprintf(stderr, "hugin-tools pipeline failed (status %d; package hugin-tools and enblend); see %s/hugin.log\n",
                     status, work.c_str());
        state.SkipWithError("the hugin-tools pipeline failed");
        return false;
    }
    if (FILE* f = std::fopen(steps.c_str(), "r")) {
        char tool[64];
        double ms = 0;
        while (std::fscanf(f, "%63s %lf", tool, &ms) == 2) state.counters[std::string("hugin ") + tool + " s"] = ms / 1000.0;
        std::fclose(f);
    }
    state.counters["hugin wall s"] = wall;
    state.counters["hugin peak RSS MB"] = rssKb / 1024.0;
    const auto ours = state.counters.find("total s");
    if (ours != state.counters.end() && ours->second.value > 0) state.counters["hugin / ours"] = wall / ours->second.value;
    return true;
}

void BM_DurlachThroughTheApplication(benchmark::State& state)
{
    char pattern[] = "/tmp/fendrake_durlach_XXXXXX";
    if (!mkdtemp(pattern)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string work = pattern;
    const std::string program = work + "/program";
    std::filesystem::create_directories(program);
    std::filesystem::create_symlink(HOLLET_PROGRAM, program + "/Hollet");
    setenv("XDG_CONFIG_HOME", (work + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (work + "/data").c_str(), 1);
    setenv("FENDRAKE_APPDATA", (work + "/appdata").c_str(), 1);
    Logger::setLogOff();
    // DURLACH_LOG=n copies the log lines up to level n to the standard error.
    if (const char* level = std::getenv("DURLACH_LOG")) {
        Logger::setLogLevel(std::atoi(level));
        Logger::setSink([](int, const std::string& line) { std::fprintf(stderr, "log: %s\n", line.c_str()); });
    }

    std::vector<std::string> photos;
    for (int n : TrayOrder())
        photos.push_back(std::string(FENDRAKE_TESTDATA_DIR) + "/huginsample-durlach/half/P1060" + std::to_string(n) + ".JPG");

    std::vector<PhotoPose> poses;
    for (auto _ : state) {
        win::ResetRuntime();
        std::vector<std::string> questions;
        win::ScriptedPrompter prompter([&](const std::string& what) { questions.push_back(what); });
        win::SetPrompter(&prompter);
        SetDllDirectoryA(std::filesystem::path(JPEGKIT_LIBRARY).parent_path().c_str());
        CFendrakeApp::SetProgramDir(program);
        CFendrakeApp::SetSplashTime(0);
        SuperManager::SetWebLinkId(0);
        auto app = std::make_unique<CFendrakeApp>();
        app->m_args = {program + "/Fendrake"};
        app->m_pszExeName = "Fendrake";
        if (!app->InitInstance()) {
            state.SkipWithError("the application did not start");
            return;
        }
        LogBase::SetAppDir0Override(program);
        InstallStitchServices();
        ClearMatchingRequest();
        SuperManager& manager = *GetSuperManager();

        TreeRssSampler together;
        const auto t0 = Clock::now();
        for (const std::string& p : photos) manager.AddImageFrame(new Image(64, 48, 3), p.c_str(), nullptr);
        // The horizon row closes; DURLACH_LOOP=1 closes any tray whose last photo
        // overlaps its first.
        const char* loop = std::getenv("DURLACH_LOOP");
        if (photos.size() == 9 || (loop && std::strcmp(loop, "1") == 0)) manager.GetImageTray()->GetHost()->SetLoop(true);
        manager.GetStitchBar()->PostMessage(WM_COMMAND, CStitchBar::kStitch, 0);
        Clock::time_point matched = t0;
        const bool stitched = PumpUntilIdle(manager, 1800000, &matched);
        const auto t1 = Clock::now();
        manager.GetStitchBar()->PostMessage(WM_COMMAND, CStitchBar::kBlend, 0);
        const bool blended = PumpUntilIdle(manager, 1800000);
        const auto t2 = Clock::now();

        ImageGroup* group = manager.GetImageGroup(false);
        WorldMap* map = group ? group->GetRectWorldMap(false) : nullptr;
        int saved = -1;
        if (map && map->GetData()) {
            const RECT* block = map->GetMapRect();
            const int w = block->right - block->left + 1, h = block->bottom - block->top + 1;
            auto* picture = new Image(w, h, 3);
            for (int y = 0; y < h; ++y)
                std::memcpy(picture->GetData() + static_cast<size_t>(y) * picture->GetRowByte(),
                            map->GetData() + static_cast<size_t>(y) * map->GetRowBytes(), static_cast<size_t>(w) * 3);
            const std::string out = work + "/durlach.jpg";
            QUORVANE_FileInfo info;
            info.path = out.c_str();
            saved = SaveJpeg(picture, nullptr, &info);
            ReleaseImage(picture);
            state.counters["panorama width"] = w;
            state.counters["panorama height"] = h;
        }
        const auto t3 = Clock::now();

        // Residuals the alignment wrote into the markers of every merged link
        // between consecutive frames.
        ImageChain& chain = *manager.GetChain();
        double sq = 0;
        long markers = 0;
        for (int k = 0; k + 1 < chain.GetCount(); ++k) {
            Marker* ma = nullptr;
            Marker* mb = nullptr;
            chain.GetFrame(k)->GetAutoMarker(chain.GetFrame(k + 1), &ma, &mb);
            for (int i = 0; ma && i < ma->GetNumbOfMarker(); ++i) {
                sq += static_cast<double>(ma->GetMarker()[i].error2) * ma->GetMarker()[i].error2;
                ++markers;
            }
        }
        state.counters["stitch s"] = Seconds(t0, t1);
        state.counters["matching s"] = Seconds(t0, matched);
        state.counters["pairs and leveling s"] = Seconds(matched, t1);
        state.counters["blend s"] = Seconds(t1, t2);
        state.counters["save s"] = Seconds(t2, t3);
        state.counters["total s"] = Seconds(t0, t3);
        state.counters["placed"] = group ? group->GetNumbMergedImages() : 0;
        state.counters["merged pairs"] = chain.CountMergedPairs();
        state.counters["residual RMS px"] = markers ? std::sqrt(sq / markers) : -1.0;
        state.counters["peak RSS MB"] = PeakRssMb(RUSAGE_SELF);
        state.counters["children peak RSS MB"] = PeakRssMb(RUSAGE_CHILDREN);
        state.counters["peak RSS together MB"] = together.PeakMb();
        state.counters["jpeg saved"] = saved == 0;
        poses = SolvedPoses(chain);
        if (std::getenv("DURLACH_PAIRS")) PrintPairs(chain);
        for (const std::string& q : questions) std::fprintf(stderr, "unscripted: %s\n", q.c_str());
        if (!stitched || !blended) std::fprintf(stderr, "the run did not finish (stitch %d, blend %d)\n", stitched, blended);

        win::JoinWorkerThreads(60000);
        if (app->m_pMainWnd) app->m_pMainWnd->DestroyWindow();
        LogBase::SetAppDir0Override("");
        win::ResetRuntime();
        win::SetPrompter(nullptr);
        app.reset();
    }
    const char* hugin = std::getenv("DURLACH_HUGIN");
    // DURLACH_HUGIN_PTO names an aligned hugin project of these photographs
    // to compare the poses with, without running the pipeline again.
    const char* aligned = std::getenv("DURLACH_HUGIN_PTO");
    std::string reference;
    if (hugin && std::strcmp(hugin, "1") == 0 && RunHugin(state, work, photos)) reference = work + "/aligned.pto";
    else if (aligned && *aligned) reference = aligned;
    if (!reference.empty()) {
        ComparePoses(state, reference, poses);
        CompareHuginChain(state, work, reference, poses);
    }
    std::filesystem::remove_all(work);
}
BENCHMARK(BM_DurlachThroughTheApplication)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
