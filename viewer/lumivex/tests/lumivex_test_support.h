// Shared fixtures of the viewer control loader's tests: JPEG files made with
// cjpeg from a photograph of the shared test data, decodes through the
// streaming entry points, a recording progress callback and the scan list of
// a file read independently of the decoders.
#pragma once

#include "jpeg/tests/jpeg_test_support.h"
#include "testkit/testkit.h"
#include "viewer/lumivex/panorama_job.h"

#include <mutex>
#include <string>
#include <vector>

namespace lumivextest {

using jpegtest::Bytes;

// The photograph (a 750 x 497 reduction of a camera JPEG, RGB PPM) that the
// fixtures are made from; empty when djpeg or the test data is missing.
std::string PhotographPpm();
// cjpeg `args` on the photograph into `dir`/`name`.jpg; the path, empty on
// failure.
std::string MakePhotoJpeg(const testkit::TempDir& dir, const std::string& name, const std::string& args);
// The same picture with a comment segment of `comment` bytes inserted after
// the start-of-image marker.
Bytes WithComment(const Bytes& file, const Bytes& comment);
// A 22-byte ("kqvz", four int32, two bytes) or 14-byte ("kqvz", four
// int16, two bytes) descriptor.
Bytes Descriptor(int equatorWidth, int column, int row, int mapType, bool shortForm = false);

struct StreamDecode {
    int header = -1;  // ReadJpegHeader
    int start = -1;   // StartJpegDecode
    int last = -1;    // DecodeScans' last result
    int calls = 0;    // DecodeScans calls
    Image* image = nullptr;  // owned
    StreamDecode() = default;
    StreamDecode(const StreamDecode&) = delete;
    StreamDecode& operator=(const StreamDecode&) = delete;
    ~StreamDecode();
};
// Decodes a file or bytes through ReadJpegHeader, StartJpegDecode and
// DecodeScans (until it returns anything but 0; at most `maxCalls`).
void DecodeStreamingFile(const std::string& path, StreamDecode& out, int maxCalls = 1000);
void DecodeStreamingBytes(const Bytes& bytes, const testkit::TempDir& dir, StreamDecode& out, int maxCalls = 1000);

// The component count of every scan of a file, in order.
std::vector<int> ScanComponentCounts(const Bytes& file);

// Records progress values from any thread.
class ProgressRecorder {
public:
    static void Callback(void* context, int zero, int value);
    std::vector<int> Values() const;
    int ZeroArguments() const;  // calls whose second argument was not 0

private:
    mutable std::mutex m_lock;
    std::vector<int> m_values;
    int m_badZero = 0;
};

// Pixels of two 8-bit images compared row by row (padding ignored).
::testing::AssertionResult SamePixels(const Image& a, const Image& b);

}  // namespace lumivextest
