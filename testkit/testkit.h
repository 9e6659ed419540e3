// Helpers for the test suites: a temporary folder per test, running the
// independent tools the tests compare against, PNM files of Images and the
// shared test data.
#pragma once

#include "imaging/image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testkit {

// A fresh folder removed when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

struct CommandResult {
    int status = -1;
    std::string output;  // standard output and standard error together
};

// Runs a shell command and returns its status and output.
CommandResult Run(const std::string& command);

// Whole files as bytes; an unreadable file reads as empty. WriteBytes
// replaces the file and is true when every byte was written.
using Bytes = std::vector<uint8_t>;
Bytes ReadBytes(const std::string& path);
bool WriteBytes(const std::string& path, const Bytes& bytes);
// A whole file as text (bytes unchanged); an unreadable file reads as empty.
std::string ReadText(const std::string& path);

// A JPEG file's bytes with a comment segment (FF FE) holding `payload`
// inserted right after the start-of-image marker.
Bytes WithJpegComment(const Bytes& jpeg, const Bytes& payload);

// A panorama descriptor as the world map stores it in that comment: the
// four-character `magic`, equator width, column, row and map type
// (little-endian int32, or int16 in the 14-byte short form), then the
// full-circle byte and a spare 0.
Bytes PanoramaDescriptor(int equatorWidth, int column, int row, int mapType, const char* magic = "kqvz",
                         bool shortForm = false, uint8_t fullCircle = 1);

// Runs `script` with sh on a private Xvfb server of the given screen
// ("1280x1024x24"). Parallel `xvfb-run -a` calls can race for one display
// number, so a run whose server never became reachable is tried again (up
// to three times); any other outcome is returned as it is.
CommandResult RunOnXvfb(const std::string& screen, const std::string& script);

// True when `program` is on the PATH. Tests that compare against an oracle
// call RequireTool, which fails the test (never skips) when it is missing.
bool HasTool(const std::string& program);
::testing::AssertionResult RequireTool(const std::string& program);

// The shared test data folder (FENDRAKE_TESTDATA or the build's default).
std::filesystem::path TestData(const std::string& relative = {});

// Writes an 8-bit interleaved image of 1 or 3 channels as PGM/PPM, bytes in
// buffer order (no channel swap), and reads one back (null on failure).
bool WritePnm(const Image& image, const std::string& path);
Image* ReadPnm(const std::string& path);

// A deterministic textured test image: every pixel distinct enough that any
// misplaced pixel shows. `layout` is 0 (packed rows) or IMG_LAYOUT_BITMAP.
Image* MakePatternImage(int width, int height, int channels, unsigned short layout = 0, uint32_t seed = 1);

// Pixel bytes of two images compared row by row (padding ignored).
::testing::AssertionResult SamePixels(const Image& a, const Image& b);

// Screenshots "shot1.ppm" .. "shot<count>.ppm" of an Xvfb screen (R, G, B)
// in `folder`, each compared with a headless window surface (B, G, R) placed
// at `originX`, `originY` on that screen. `differing` is the fewest pixels
// that differ in any one screenshot (the window may still be settling in the
// first), `seen` how many screenshots could be read, and `fits` false when a
// screenshot read is too small to hold the placed surface.
struct ScreenComparison {
    long differing = 0;
    int seen = 0;
    bool fits = true;
};
ScreenComparison CompareScreenshots(const Image& bgr, int originX, int originY, const std::string& folder,
                                    int count);

}  // namespace testkit
