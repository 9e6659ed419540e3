#include "app/matching/match_channel.h"

#include "app/control/progress_dlg.h"
#include "app/matching/image_downscale.h"
#include "core/geometry_records.h"
#include "imaging/image.h"
#include "platform/mergekit/enblend.h"
#include "platform/utilkit/log_base.h"
#include "platform/utilkit/shm_comm.h"
#include "platform/win/process.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <new>
#include <thread>

namespace {

std::string RealExeFile() { return Enblend::getEnblendExeFile(); }

std::string RealPrms(int count, bool loop, const std::string& outName, const std::vector<std::string>& chipNames,
                     const std::string& shmName, int shmSize)
{
    return Enblend::getEnblendPrms(count, loop, outName, chipNames, shmName, shmSize);
}

void RealCopy(int count, WorldMap* map, const std::string& outName, const std::vector<std::string>& chipNames)
{
    Enblend::copyWmDelTempFiles(count, map, outName, chipNames);
}

void AppendFormat(std::string& out, const char* format, auto... args)
{
    char buffer[256];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    if (n > 0) out.append(buffer, static_cast<size_t>(std::min(n, static_cast<int>(sizeof buffer) - 1)));
}

void AppendQuotedNames(const std::vector<ImageFrame*>& frames, std::string& out)
{
    for (ImageFrame* frame : frames) {
        out += " \"";
        out += frame && frame->GetName() ? frame->GetName() : "";
        out += '"';
    }
}

// The wait shared by the matcher and blender runs; `crashText` is what a
// child that ended without its flag makes us print.
int WaitForChild(ShmCommServer* server, HANDLE process, const char* crashText)
{
    bool finished = false;
    bool running = true;  // the last known exit state
    for (int pass = 0; pass < g_childWaitTiming.passLimit; ++pass) {
        // Every waiting text, not one a pass: a child posts a text per pair
        // and may finish between two polls.
        while (const char* msg = server->popMsg()) {
            SetProgressText(msg);
            StepProgressDialog();
            std::printf("  got msg=%s\n", msg);
        }
        if (server->isClientFinished()) {
            std::printf("  client finished\n");
            finished = true;
            break;
        }
        if (IsProgressCancelled()) break;
        DWORD code = STILL_ACTIVE;
        // A handle the process layer no longer knows counts as ended.
        if (!GetExitCodeProcess(process, &code) || code != STILL_ACTIVE) {
            running = false;
            if (server->isClientFinished()) {
                std::printf("  client finished\n");
                finished = true;
            } else {
                std::printf("%s", crashText);
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(g_childWaitTiming.pollMs));
    }
    if (finished) {
        // The flag is the child's last word; give it a moment to exit on its
        // own, then end it, so that no process outlives the run.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(g_childWaitTiming.exitGraceMs);
        DWORD code = STILL_ACTIVE;
        while (GetExitCodeProcess(process, &code) && code == STILL_ACTIVE &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (GetExitCodeProcess(process, &code) && code == STILL_ACTIVE) TerminateProcess(process, 0);
        return kChildFinished;
    }
    if (running) {
        const BOOL status = TerminateProcess(process, 0);
        std::printf("TerminateProcess: status=%d\n", static_cast<int>(status));
        return kChildStopped;
    }
    return kChildEndedEarly;
}

void CloseProcessHandles(PROCESS_INFORMATION& info)
{
    if (info.hProcess) CloseHandle(info.hProcess);
    if (info.hThread) CloseHandle(info.hThread);
    info.hProcess = info.hThread = nullptr;
}

// New empty 'Fa' sets on both links of (a, b), the links made when missing;
// false when a link cannot be made. The new sets are returned.
bool ReplacePairSets(ImageFrame* a, ImageFrame* b, Marker** setA, Marker** setB)
{
    Neighbor* ab = a->FindNeighbor(b);
    if (!ab) ab = a->AddNeighbor(b);
    Neighbor* ba = b->FindNeighbor(a);
    if (!ab || !ba) return false;
    auto ma = std::make_unique<Marker>();
    auto mb = std::make_unique<Marker>();
    *setA = ma.get();
    *setB = mb.get();
    ab->SetMarkerFa(ma.release());
    ba->SetMarkerFa(mb.release());
    return true;
}

void AppendPoint(Marker* set, float x, float y)
{
    const POINT2 p{x, y};
    set->Append(&p, 1);
}

void ImportBlock(const ShmDataBlock* block, const std::vector<ImageFrame*>& frames)
{
    const int i0 = block->imageIndex0, i1 = block->imageIndex1, n = block->numMarkerPairs;
    const int count = static_cast<int>(frames.size());
    if (i0 < 0 || i1 < 0 || i0 >= count || i1 >= count) {
        std::printf("ERROR extractFMarkers::testShmCommServer: image index outside the list (%d, %d of %d), block "
                    "skipped\n",
                    i0, i1, count);
        return;
    }
    if (i0 == i1) {
        std::printf("ERROR extractFMarkers::testShmCommServer: block pairs image %d with itself, skipped\n", i0);
        return;
    }
    if (n < 0 || n > kMaxMarkerPairsPerImagePair) {
        std::printf("ERROR extractFMarkers::testShmCommServer: %d marker pairs for images %d & %d (at most %d), "
                    "block skipped\n",
                    n, i0, i1, kMaxMarkerPairsPerImagePair);
        return;
    }
    ImageFrame* a = frames[static_cast<size_t>(i0)];
    ImageFrame* b = frames[static_cast<size_t>(i1)];
    Marker* setA = nullptr;
    Marker* setB = nullptr;
    if (!a || !b || !ReplacePairSets(a, b, &setA, &setB)) {
        std::printf("ERROR extractFMarkers::testShmCommServer: no link for images %d & %d\n", i0, i1);
        return;
    }
    const ShmMarkerPair* pairs = block->pairs();
    int dropped = 0;
    for (int k = 0; k < n; ++k) {
        const ShmMarkerPair& p = pairs[k];
        if (!std::isfinite(p.x0) || !std::isfinite(p.y0) || !std::isfinite(p.x1) || !std::isfinite(p.y1)) {
            ++dropped;
            continue;
        }
        AppendPoint(setA, p.x0, p.y0);
        AppendPoint(setB, p.x1, p.y1);
    }
    if (dropped)
        std::printf("ERROR extractFMarkers::testShmCommServer: %d marker pairs of images %d & %d with a non-finite "
                    "coordinate dropped\n",
                    dropped, i0, i1);
}

std::string ProgramFile(bool sequential)
{
    return LogBase::GetAppDir0() + (sequential ? "\\Hollet.exe" : "\\Nerrow.exe");
}

std::string MatcherCommandLine(ShmCommServer* server, const std::string& outputName,
                               const std::vector<ImageFrame*>& frames, uint8_t downscaleCode, int ransacDistance,
                               bool closed, bool sequential, bool linearMatch, bool projection, float projectionValue)
{
    std::string line = sequential ? "Hollet.exe " : "Nerrow.exe ";
    const int size = server ? server->getSize() : 0;
    if (sequential)
        BuildLinearMatchCmdLine(outputName, frames, downscaleCode, ransacDistance, closed, linearMatch, server, size,
                                line);
    else
        BuildAnnMatchCmdLine(outputName, frames, ransacDistance, projection, projectionValue, server, size, line);
    return line;
}

bool ParseInt(const char* text, int* out)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (end == text || errno || v < -2147483647L || v > 2147483647L) return false;
    *out = static_cast<int>(v);
    return true;
}

bool ParseFloat(const char* text, float* out)
{
    char* end = nullptr;
    const float v = std::strtof(text, &end);
    if (end == text || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

// A "c" line: blank-separated tokens, each a letter and its value.
bool ParseControlPoint(const std::string& line, MatchFilePoint* point)
{
    unsigned seen = 0;
    size_t i = 1;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size()) break;
        size_t end = i;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r') ++end;
        const std::string token = line.substr(i, end - i);
        const char* value = token.c_str() + 1;
        bool ok = true;
        switch (token[0]) {
        case 'n': ok = ParseInt(value, &point->n), seen |= 1; break;
        case 'N': ok = ParseInt(value, &point->N), seen |= 2; break;
        case 'x': ok = ParseFloat(value, &point->x), seen |= 4; break;
        case 'y': ok = ParseFloat(value, &point->y), seen |= 8; break;
        case 'X': ok = ParseFloat(value, &point->X), seen |= 16; break;
        case 'Y': ok = ParseFloat(value, &point->Y), seen |= 32; break;
        default: break;  // other fields of the line are not ours
        }
        if (!ok) return false;
        i = end;
    }
    return seen == 63;
}

// The text between the first double quote at or after the tenth character
// and the next one; empty when there is none.
std::string QuotedName(const std::string& line)
{
    if (line.size() < 10) return {};
    const size_t open = line.find('"', 9);
    if (open == std::string::npos) return {};
    const size_t close = line.find('"', open + 1);
    if (close == std::string::npos) return {};
    return line.substr(open + 1, close - open - 1);
}

}  // namespace

BlenderCalls g_blenderCalls{RealExeFile, RealPrms, RealCopy};
ChildWaitTiming g_childWaitTiming;

int GetShmSize(int pairs, int maxPairs)
{
    if (pairs <= 0) return 3108;
    return pairs * ((maxPairs - 1) * 16 + 28) + 3108;
}

void MakeShmName(std::string& out)
{
    char buffer[100];
    LogBase::makeTimeString(buffer, 100, false);
    out = "QuorvaneShm";
    out += buffer;
}

ShmCommServer* createShmCommServer(int size)
{
    auto server = std::make_unique<ShmCommServer>();
    std::string name;
    MakeShmName(name);
    if (server->create(name.c_str(), size) != 0) {
        std::printf("ShmServer::createShmCommServer: cannot create shm\n");
        return nullptr;
    }
    return server.release();
}

void BuildLinearMatchCmdLine(const std::string& outputName, const std::vector<ImageFrame*>& frames,
                             uint8_t downscaleCode, int ransacDistance, bool closed, bool linearMatch,
                             ShmCommServer* server, int size, std::string& out)
{
    out += "--ptgui ";
    if (server) {
        out += "--shmname ";
        out += server->getName();
        AppendFormat(out, " --shmsize %d ", size);
    }
    if (linearMatch) {
        out += "--linearmatch ";
        if (closed) out += "--linearmatchlen -1 ";
    }
    Image* first = frames.empty() || !frames[0] ? nullptr : frames[0]->GetImage();
    AppendFormat(out, "--scaledown %d  --ransacdist %d ", getDownscale(first, downscaleCode), ransacDistance);
    out += "-o \"" + outputName + "\"";
    AppendQuotedNames(frames, out);
}

void BuildAnnMatchCmdLine(const std::string& outputName, const std::vector<ImageFrame*>& frames, int ransacDistance,
                          bool projection, float projectionValue, ShmCommServer* server, int size, std::string& out)
{
    out += "--ANNmatch 1 ";
    if (server) {
        out += "--shmname ";
        out += server->getName();
        AppendFormat(out, " --shmsize %d ", size);
    }
    if (ransacDistance < 1) out += "--ransac 0 ";
    else AppendFormat(out, "--ransac 1 --ransacdist %d  ", ransacDistance);
    if (projection) AppendFormat(out, "--maxdim 2000 --projection 10,%f ", static_cast<double>(projectionValue));
    else out += "--maxdim 600 ";
    AppendFormat(out, "--maxmatches %d ", kMaxMarkerPairsPerImagePair);
    out += "--absolute-pathnames 1 ";
    out += "\"" + outputName + "\"";
    AppendQuotedNames(frames, out);
}

int getDownscale(Image* image, uint8_t downscaleCode)
{
    if (!image) {
        std::printf("ERROR getDownscale(): img0=NULL\n");
        return 2;
    }
    const double factor = GetDownscaleFactor(downscaleCode);
    const double area = static_cast<double>(image->GetWidth()) * image->GetHeight();
    const int d = static_cast<int>(factor * std::sqrt(area / 240000.0) + 0.2);
    return d < 1 ? 1 : d;
}

int runMatchExe_shm(ShmCommServer* server, const std::string& outputName, const std::vector<ImageFrame*>& frames,
                    uint8_t downscaleCode, int ransacDistance, bool closed, bool sequential, bool linearMatch,
                    bool projection, float projectionValue)
{
    if (!server) {
        std::printf("ERROR extractFMarkers::runMatchExe_shm: no channel\n");
        return kChildNotStarted;
    }
    const std::string program = ProgramFile(sequential);
    const std::string line = MatcherCommandLine(server, outputName, frames, downscaleCode, ransacDistance, closed,
                                                sequential, linearMatch, projection, projectionValue);
    PROCESS_INFORMATION info{};
    const HANDLE process = LogBase::ExecuteProcess(program.c_str(), line.c_str(), &info, false);
    if (!process) {
        std::printf("ERROR extractFMarkers::runMatchExe_shm: cannot start %s\n", program.c_str());
        return kChildNotStarted;
    }
    const int result = WaitForChild(server, process, "extractFMarkers::runMatchExe_shm: client crashed???\n");
    CloseProcessHandles(info);
    return result;
}

int testShmCommServer(ShmCommServer* server, const std::vector<ImageFrame*>& frames)
{
    if (!server) return 0;
    while (const ShmDataBlock* block = server->popOneBlock()) {
        std::printf("  testShmCommServer: got one block: imageIndex0=%d imageIndex1=%d numMarkerPairs=%d\n",
                    block->imageIndex0, block->imageIndex1, block->numMarkerPairs);
        ImportBlock(block, frames);
    }
    return 0;
}

int runEnblend_shm(ShmCommServer* server, int imageCount, bool loop, WorldMap* map, std::string& outputName,
                   std::vector<std::string>& chipNames)
{
    if (!server) {
        std::printf("ERROR runEnblend_shm: no channel\n");
        return kChildNotStarted;
    }
    const std::string program = g_blenderCalls.getExeFile();
    const std::string line = "Swelder.exe " + g_blenderCalls.getPrms(imageCount, loop, outputName, chipNames,
                                                                       server->getName(), server->getSize());
    PROCESS_INFORMATION info{};
    const HANDLE process = LogBase::ExecuteProcess(program.c_str(), line.c_str(), &info, false);
    if (!process) {
        std::printf("ERROR runEnblend_shm: cannot start %s\n", program.c_str());
        return kChildNotStarted;
    }
    const int result = WaitForChild(server, process, "runEnblend_shm::runMatchExe_shm: client crashed???\n");
    // Without a finished blend the map receives nothing and keeps its state:
    // marking it fully covered would show an empty map as a finished panorama.
    g_blenderCalls.copyWmDelTempFiles(imageCount, result == kChildFinished ? map : nullptr, outputName, chipNames);
    CloseProcessHandles(info);
    return result;
}

int RunBlenderProcess(int imageCount, bool loop, WorldMap* map, std::string& outputName,
                      std::vector<std::string>& chipNames)
{
    std::unique_ptr<ShmCommServer> server(createShmCommServer(GetShmSize(0, 0)));
    if (!server) return kChildNotStarted;
    return runEnblend_shm(server.get(), imageCount, loop, map, outputName, chipNames);
}

int RunMatchExeWait(const std::string& outputName, const std::vector<ImageFrame*>& frames, uint8_t downscaleCode,
                    int ransacDistance, bool closed, bool sequential, bool linearMatch, bool projection,
                    float projectionValue)
{
    const std::string program = ProgramFile(sequential);
    const std::string line = MatcherCommandLine(nullptr, outputName, frames, downscaleCode, ransacDistance, closed,
                                                sequential, linearMatch, projection, projectionValue);
    if (LogBase::ExecuteWait(program.c_str(), line.c_str(), false) == -1) {
        std::printf("ERROR extractFMarkers::RunMatchExeWait: cannot start %s\n", program.c_str());
        return -1;
    }
    return importMarkerPairs(outputName, frames, 0, 0, false);
}

int ReadMatchFile(const std::string& path, bool imageLines, std::vector<std::string>& names,
                  std::vector<MatchFilePoint>& points)
{
    names.clear();
    points.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::printf("ERROR Could not open outMatchFileName: %s", path.c_str());
        return 0;
    }
    constexpr size_t kMaxLine = 512;
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > kMaxLine) {
            std::printf("ERROR extractFMarkers::ReadMatchFile(): line %d longer than %zu characters\n", lineNumber,
                        kMaxLine);
            names.clear();
            points.clear();
            return -1;
        }
        const bool nameLine = imageLines ? line.starts_with('i') : line.starts_with("#-imgfile");
        if (nameLine) {
            names.push_back(QuotedName(line));
        } else if (line.starts_with('c')) {
            MatchFilePoint point;
            if (!ParseControlPoint(line, &point)) {
                std::printf("ERROR extractFMarkers::ReadMatchFile(): bad control point on line %d\n", lineNumber);
                names.clear();
                points.clear();
                return -1;
            }
            points.push_back(point);
        }
    }
    return 0;
}

int importMarkerPairs(const std::string& outputName, const std::vector<ImageFrame*>& frames, int, int,
                      bool imageLines)
{
    std::vector<std::string> names;
    std::vector<MatchFilePoint> points;
    if (ReadMatchFile(outputName, imageLines, names, points) != 0) return -1;
    if (points.empty()) return 0;
    if (names.size() != frames.size()) {
        std::printf("ERROR extractFMarkers::importMarkerPairs(): inputImgFileNames.size(%d) != matchImageList.size(%d)\n",
                    static_cast<int>(names.size()), static_cast<int>(frames.size()));
        return -1;
    }
    std::vector<ImageFrame*> byName(names.size(), nullptr);
    int found = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        for (ImageFrame* frame : frames) {
            if (frame && frame->GetName() && names[i] == frame->GetName()) {
                byName[i] = frame;
                ++found;
                break;
            }
        }
    }
    if (found != static_cast<int>(names.size())) {
        std::printf("ERROR extractFMarkers::importMarkerPairs(): numMatch(%d) != numImages(%d)\n", found,
                    static_cast<int>(names.size()));
        return -1;
    }
    // Every point is checked before any link changes, so a refused file
    // leaves the graph as it was.
    const int count = static_cast<int>(names.size());
    for (const MatchFilePoint& p : points) {
        if (p.n < 0 || p.N < 0 || p.n >= count || p.N >= count || p.n == p.N) {
            std::printf("ERROR extractFMarkers::importMarkerPairs(): control point of images %d & %d outside the %d "
                        "images\n",
                        p.n, p.N, count);
            return -1;
        }
    }
    Marker* setA = nullptr;
    Marker* setB = nullptr;
    int lastN = -1, lastNN = -1;
    for (const MatchFilePoint& p : points) {
        if (p.n != lastN || p.N != lastNN || !setA) {
            if (!ReplacePairSets(byName[static_cast<size_t>(p.n)], byName[static_cast<size_t>(p.N)], &setA, &setB)) {
                std::printf("ERROR extractFMarkers::importMarkerPairs(): no link for images %d & %d\n", p.n, p.N);
                setA = setB = nullptr;
                continue;
            }
            lastN = p.n;
            lastNN = p.N;
        }
        AppendPoint(setA, p.x, p.y);
        AppendPoint(setB, p.X, p.Y);
    }
    return 0;
}
