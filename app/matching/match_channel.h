// The main program's side of the outside matchers (Hollet: consecutive
// pairs; Nerrow: all pairs) and of the elastic blender Swelder: their command
// lines, the shared channel they report through, the wait for them with its
// time limit and Cancel, and the import of the marker pairs they return into
// the links of the image graph as 'Fa' sets (image-file pixel coordinates,
// before the load-time reduction and any rotation). Diagnostics go to the
// standard output.
//
// Child runs give 0 finished, -1 not started, -2 ended without finishing,
// -3 stopped (Cancel or the time limit) and ended.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Image;
class ImageFrame;
class ShmCommServer;
class WorldMap;

// Result codes of a child run.
constexpr int kChildFinished = 0;
constexpr int kChildNotStarted = -1;
constexpr int kChildEndedEarly = -2;
constexpr int kChildStopped = -3;

// Most marker pairs a matcher hands back for one image pair.
constexpr int kMaxMarkerPairsPerImagePair = 200;

// Channel bytes for `pairs` image pairs of at most `maxPairs` marker pairs.
int GetShmSize(int pairs, int maxPairs);
// "QuorvaneShm" and a time text unique within the process.
void MakeShmName(std::string& out);
// A new channel of `size` bytes under a new name; null (with a line on the
// standard output) when it cannot be made. The caller deletes it.
ShmCommServer* createShmCommServer(int size);

// Hollet's options, appended to `out`.
void BuildLinearMatchCmdLine(const std::string& outputName, const std::vector<ImageFrame*>& frames,
                             uint8_t downscaleCode, int ransacDistance, bool closed, bool linearMatch,
                             ShmCommServer* server, int size, std::string& out);
// Nerrow's options, appended to `out`.
void BuildAnnMatchCmdLine(const std::string& outputName, const std::vector<ImageFrame*>& frames, int ransacDistance,
                          bool projection, float projectionValue, ShmCommServer* server, int size, std::string& out);
// The reduction Hollet applies before matching, in file pixels per matched
// pixel, for the image as loaded with `downscaleCode`.
int getDownscale(Image* image, uint8_t downscaleCode);

// Starts the matcher (Hollet when sequential, else Nerrow) and waits for it.
int runMatchExe_shm(ShmCommServer* server, const std::string& outputName, const std::vector<ImageFrame*>& frames,
                    uint8_t downscaleCode, int ransacDistance, bool closed, bool sequential, bool linearMatch,
                    bool projection, float projectionValue);
// Imports every waiting data block into the links of `frames` (block image
// indices are positions in `frames`). Returns 0.
int testShmCommServer(ShmCommServer* server, const std::vector<ImageFrame*>& frames);

// The elastic blend of `imageCount` chips into `outputName` through Swelder,
// on a channel of its own; with a result of 0 the blend is read into `map`.
int RunBlenderProcess(int imageCount, bool loop, WorldMap* map, std::string& outputName,
                      std::vector<std::string>& chipNames);
int runEnblend_shm(ShmCommServer* server, int imageCount, bool loop, WorldMap* map, std::string& outputName,
                   std::vector<std::string>& chipNames);

// The matchers without a channel: they write a text file that
// importMarkerPairs reads. RunMatchExeWait returns -1 when the program could
// not start, else importMarkerPairs' result.
int RunMatchExeWait(const std::string& outputName, const std::vector<ImageFrame*>& frames, uint8_t downscaleCode,
                    int ransacDistance, bool closed, bool sequential, bool linearMatch, bool projection,
                    float projectionValue);
// 0 done (also when the file held no control point), -1 refused with
// nothing changed. `imageLines`: names come from lines starting with 'i'
// instead of "#-imgfile" lines. The two integers are not used.
int importMarkerPairs(const std::string& outputName, const std::vector<ImageFrame*>& frames, int unused0, int unused1,
                      bool imageLines);

// One control point of a match file: image numbers n and N (positions in the
// file's name list) and the point in each image.
struct MatchFilePoint {
    int n = -1;
    int N = -1;
    float x = 0, y = 0, X = 0, Y = 0;
};
// Reads a match file: 0 with the names and points; -1 when the file is
// refused (an over-long or malformed control-point line), both then empty.
// A file that cannot be opened gives a line and nothing (0).
int ReadMatchFile(const std::string& path, bool imageLines, std::vector<std::string>& names,
                  std::vector<MatchFilePoint>& points);

// The blender calls runEnblend_shm makes, replaceable by tests.
struct BlenderCalls {
    std::string (*getExeFile)();
    std::string (*getPrms)(int count, bool loop, const std::string& outName, const std::vector<std::string>& chipNames,
                           const std::string& shmName, int shmSize);
    void (*copyWmDelTempFiles)(int count, WorldMap* map, const std::string& outName,
                               const std::vector<std::string>& chipNames);
};
extern BlenderCalls g_blenderCalls;

// The wait's poll period (1000 ms) and pass limit (3600) and the grace a
// child gets to end after its finished flag; tests shorten them.
struct ChildWaitTiming {
    int pollMs = 1000;
    int passLimit = 3600;
    int exitGraceMs = 5000;
};
extern ChildWaitTiming g_childWaitTiming;
