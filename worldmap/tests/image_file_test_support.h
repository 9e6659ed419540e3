// Shared fixtures of the image-file tests: byte files, hand-built TIFF and
// BMP files, JPEG files with a descriptor comment, and the independent
// decoders the tests compare against (libtiff's RGBA reader, ImageMagick).
#pragma once

#include "imaging/image.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace filetest {

using Bytes = std::vector<uint8_t>;

struct ImageDeleter {
    void operator()(Image* image) const { ReleaseImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

Bytes ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const Bytes& bytes);

// ---------------------------------------------------------------------------
// Reference decoders, giving R, G, B (3 channels) and, for libtiff, alpha.

// ImageMagick's first frame as 8-bit R, G, B; null (and a test failure) when
// convert fails.
ImagePtr DecodeWithMagick(const std::string& path, const testkit::TempDir& dir);

// libtiff's RGBA reader (TIFFReadRGBAImageOriented, top-left): a 4-channel
// packed R, G, B, A buffer in a std::vector with its size; empty when libtiff
// cannot read the file.
struct Rgba {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // R, G, B, A
};
Rgba DecodeWithLibtiff(const std::string& path);

// Compares a B, G, R (or grey) image from our readers with a reference of
// R, G, B samples (`referenceChannels` 3) or R, G, B, A (4). With
// `blueZeroIsOne` a reference blue of 0 is expected as 1 (the BMP reader's
// no-data rule).
::testing::AssertionResult SameAsReference(const Image& ours, const uint8_t* reference, int referenceChannels,
                                           int width, int height, bool blueZeroIsOne);
::testing::AssertionResult SameAsMagick(const Image& ours, const Image& magick, bool blueZeroIsOne);

// ---------------------------------------------------------------------------
// TIFF files built entry by entry, so that each test shows the tags it needs.

class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian = false) : m_big(bigEndian) {}

    // A tag with inline or out-of-line values; out-of-line values are laid
    // out after the IFD in the order added.
    TiffBuilder& Short(uint16_t tag, std::vector<uint32_t> values);
    TiffBuilder& Long(uint16_t tag, std::vector<uint32_t> values);
    TiffBuilder& ByteTag(uint16_t tag, const Bytes& values);
    // The raw 12-byte entry, as given.
    TiffBuilder& Raw(uint16_t tag, uint16_t type, uint32_t count, uint32_t value);
    // The pixel strips; StripOffsets, StripByteCounts (LONG) and RowsPerStrip
    // are added for them unless `withStripTags` is false.
    TiffBuilder& Strips(std::vector<Bytes> strips, uint32_t rowsPerStrip, bool withStripTags = true);
    // A standard image: width, length, bits, samples, photometric.
    TiffBuilder& Basic(uint32_t width, uint32_t height, uint16_t bits, uint16_t samples);

    Bytes Build() const;

private:
    struct Entry {
        uint16_t tag;
        uint16_t type;
        uint32_t count;
        Bytes data;  // values in file order; inline when at most 4 bytes
        bool raw = false;
        uint32_t rawValue = 0;
        int strip = -1;  // StripOffsets placeholder
    };
    bool m_big;
    std::vector<Entry> m_entries;
    std::vector<Bytes> m_strips;
    void Put16(Bytes& b, uint32_t v) const;
    void Put32(Bytes& b, uint32_t v) const;
};

// Samples of a 3-channel R, G, B or 1-channel pattern as file bytes: 8-bit
// samples, or 16-bit in the given byte order.
Bytes PatternSamples(int width, int height, int channels, int bits, bool bigEndian, uint32_t seed);

// ---------------------------------------------------------------------------
// BMP files.

struct BmpFields {
    uint32_t headerSize = 40;
    int32_t width = 4;
    int32_t height = 3;
    uint16_t planes = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;
    std::vector<uint32_t> palette;  // 0x00RRGGBB per entry, written as B, G, R, 0
    Bytes pixels;                   // as stored
    int64_t dataOffset = -1;        // -1: right after the palette
};
Bytes MakeBmp(const BmpFields& fields);

// ---------------------------------------------------------------------------
// JPEG files: cjpeg of a picture, and a descriptor comment put right after
// the start-of-image marker.

Bytes MakeJpeg(const Image& rgb, const testkit::TempDir& dir, const std::string& name, const std::string& args = "");
Bytes WithComment(const Bytes& jpeg, const Bytes& payload);
// A 22-byte "kqvz" record (or 14-byte with `shortForm`).
Bytes Descriptor(int equatorWidth, int column, int row, int mapType, bool shortForm = false);
Bytes SecondKindDescriptor();

// An R, G, B picture with smooth content, so that JPEG keeps it close.
ImagePtr MakeSmoothPicture(int width, int height, uint32_t seed = 1);

// djpeg's decoding (-nosmooth) as R, G, B; null on failure.
ImagePtr DecodeWithDjpeg(const std::string& path, const testkit::TempDir& dir);
// Largest difference between our B, G, R image and an R, G, B reference; 255
// when the sizes differ.
int MaxDifference(const Image& ours, const Image& rgb);

// ---------------------------------------------------------------------------
// Modules for the run-time bindings: a folder that LoadLibraryA searches
// (SetDllDirectoryA) holding links to the chosen library files. Dropping it
// releases the codec bindings and the folder.

// The build's libraries, by the paths CMake passes to the tests.
std::string JpegkitLibrary();
std::string GifkitLibrary();
std::string FakeJpegkit();  // every JPEG loads as a 7 x 7 image
std::string FakeJpegkitWithoutOrdinal8();
std::string FakeCinvora();
std::string FakeCinvoraWithoutOrdinal3();

class ModuleFolder {
public:
    ModuleFolder();
    ~ModuleFolder();
    ModuleFolder(const ModuleFolder&) = delete;
    ModuleFolder& operator=(const ModuleFolder&) = delete;

    // Links the library into the folder under its own file name.
    void Add(const std::string& library);
    void Remove(const std::string& fileName);
    std::string Path() const { return m_dir.path().string(); }

private:
    testkit::TempDir m_dir;
};

// Whether a library file is loaded in this process now.
bool IsLoaded(const std::string& library);

}  // namespace filetest
