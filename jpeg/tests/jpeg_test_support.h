// Shared fixture code of the Jpegkit tests: decoding through the exported
// entry points, decoding with djpeg, comparing the two, building fixtures
// with cjpeg and editing JPEG files segment by segment.
#pragma once

#include "imaging/image.h"
#include "jpeg/jpegkit.h"
#include "testkit/testkit.h"

#include <cstdint>
#include <string>
#include <vector>

namespace jpegtest {

using Bytes = std::vector<uint8_t>;

Bytes ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const Bytes& bytes);

// Result of a decode through GetJpegHeader / ReadJpegData / JpegCleanup.
struct Decoded {
    int header = -1;          // GetJpegHeader's result
    int data = -1;            // ReadJpegData's result (-1 when not called)
    int options = 0;          // the info's options after the last call
    Image* image = nullptr;   // owned; null unless both passes succeeded
    FileExtraData comment;    // the captured descriptor record
    int fullWidth = 0, fullHeight = 0;
    Decoded() = default;
    Decoded(const Decoded&) = delete;
    Decoded& operator=(const Decoded&) = delete;
    Decoded(Decoded&& other) noexcept;
    ~Decoded();
};

// Decodes a file. `options` as in QUORVANE_FileInfo; `leaveThumbnail` calls
// NoReadThumbnail after the header pass and decodes at full size.
Decoded DecodeFile(const std::string& path, int options = 0, bool leaveThumbnail = false);
Decoded DecodeBytes(const Bytes& bytes, int options = 0);

// djpeg's decode as an Image of RGB (or grey) bytes; null when djpeg fails
// (an image on which it only warned is returned). `warnings` receives
// djpeg's standard error.
Image* DecodeWithDjpeg(const std::string& path, const std::string& args, std::string* warnings = nullptr);

// The same after jpegtran has rewritten the file as a sequential one with
// the same coefficients: djpeg then decodes a progressive file without the
// interblock smoothing it applies to progressive input whose later scans are
// missing, so the result is the plain decode of the coefficients present.
Image* DecodeWithDjpegViaBaseline(const std::string& path, const std::string& args, std::string* warnings = nullptr);

struct Difference {
    int maxAbs = 0;
    double meanAbs = 0;
    std::string message;  // size mismatch and the like
};
// Our BGR (or grey) image against djpeg's RGB (or grey), over the top-left
// width x height area of both. For colour images the reference gets our
// zero-to-one rule first (0 becomes 1).
Difference Compare(const Image& ours, const Image& reference, int width, int height);
Difference Compare(const Image& ours, const Image& reference);

// One-eighth scale of a file with subsampled chroma: djpeg reconstructs the
// chroma of each block from its low frequencies (a 2x2 or larger reduced
// transform), ours from the DC alone. Luminance must agree pixel by pixel;
// chroma must agree as the mean of each cellWidth x cellHeight cell (one
// chroma block), which is the DC in both. Differences in Y/Cb/Cr units over
// djpeg's area; the cell of component i is cellWidth[i] x cellHeight[i]
// pixels (1 x 1 for a full-resolution component). For a file coded as red,
// green, blue the components are those channels. Cells where a channel clips
// are left out.
Difference CompareOneEighthSubsampled(const Image& ours, const Image& reference, const int cellWidth[3],
                                      const int cellHeight[3], bool rgbFile);

// The progressive file cut after its first DC scans (every component's first
// DC scan) with an end-of-image marker: what one-eighth decoding reads.
Bytes ProgressiveDcPrefix(const Bytes& file);

// A deterministic photograph-like test picture: gradients, edges, a bit of
// texture. Interleaved BGR (or grey) bytes.
Image* MakeSyntheticPicture(int width, int height, int channels, uint32_t seed = 7);

// Writes `image` (BGR or grey) as PPM/PGM in RGB order and runs cjpeg on it.
// Returns the JPEG bytes (empty on failure).
Bytes MakeJpegWithCjpeg(const Image& image, const std::string& cjpegArgs, const testkit::TempDir& dir,
                        const std::string& name);

// A JPEG file cut into its segments, for building malformed variants.
struct Segment {
    int marker = 0;   // the code after 0xFF
    Bytes payload;    // without the length field; for SOS the header only
    Bytes entropy;    // SOS: the entropy-coded data after the header
};
std::vector<Segment> SplitSegments(const Bytes& file);
Bytes JoinSegments(const std::vector<Segment>& segments);
// Index of the first segment with `marker`, or -1.
int FindSegment(const std::vector<Segment>& segments, int marker);

// What a file's frame header says, read independently of the decoder.
struct FrameFacts {
    bool found = false;
    int marker = 0;  // the SOFn code
    int precision = 0;
    int components = 0;
    int h[4] = {}, v[4] = {};
    bool rgb = false;  // three components coded as red, green, blue
    bool InScope() const
    {
        return found && (marker == 0xC0 || marker == 0xC2) && precision == 8 && (components == 1 || components == 3);
    }
};
FrameFacts ReadFrameFacts(const Bytes& file);

// djpeg's decode of a file, through jpegtran for a progressive one.
Image* ReferenceDecode(const std::string& path, const FrameFacts& facts, const std::string& djpegArgs,
                       std::string* warnings = nullptr);

// The decoder's acceptance check against djpeg -nosmooth: at full scale
// within 2 per sample and a mean below 0.5; at one-eighth scale the same
// against djpeg -scale 1/8 over djpeg's area (for a progressive file the
// reference sees only the first DC scans, as ours does; subsampled
// components are compared as block means, see CompareOneEighthSubsampled);
// OrgWHFunction gives the full size in one-eighth mode.
::testing::AssertionResult DecodesLikeDjpeg(const std::string& path);

}  // namespace jpegtest
