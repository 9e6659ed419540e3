#include "worldmap/tests/image_file_test_support.h"

#include "platform/win/dynamic_library.h"
#include "worldmap/codec_binding.h"

#include <dlfcn.h>
#include <tiffio.h>

#include <filesystem>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

namespace filetest {

Bytes ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

ImagePtr DecodeWithMagick(const std::string& path, const testkit::TempDir& dir)
{
    const std::string out = dir.file("magick_reference.ppm");
    const testkit::CommandResult r =
        testkit::Run("convert '" + path + "[0]' -depth 8 -type TrueColor 'ppm:" + out + "'");
    if (r.status != 0) {
        ADD_FAILURE() << "convert failed on " << path << ": " << r.output;
        return nullptr;
    }
    ImagePtr image(testkit::ReadPnm(out));
    if (!image) ADD_FAILURE() << "cannot read ImageMagick's output for " << path;
    if (image && image->GetChannels() == 1) {
        ImagePtr rgb(new Image(image->GetWidth(), image->GetHeight(), 3));
        for (int y = 0; y < image->GetHeight(); ++y)
            for (int x = 0; x < image->GetWidth(); ++x) {
                const uint8_t v = image->GetData()[static_cast<size_t>(y) * image->GetRowByte() + x];
                uint8_t* p = rgb->GetData() + static_cast<size_t>(y) * rgb->GetRowByte() + 3 * x;
                p[0] = p[1] = p[2] = v;
            }
        return rgb;
    }
    return image;
}

Rgba DecodeWithLibtiff(const std::string& path)
{
    Rgba out;
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return out;
    uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    std::vector<uint32_t> raster(static_cast<size_t>(w) * h);
    if (w > 0 && h > 0 && TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 1)) {
        out.width = static_cast<int>(w);
        out.height = static_cast<int>(h);
        out.pixels.resize(raster.size() * 4);
        for (size_t i = 0; i < raster.size(); ++i) {
            out.pixels[4 * i] = static_cast<uint8_t>(TIFFGetR(raster[i]));
            out.pixels[4 * i + 1] = static_cast<uint8_t>(TIFFGetG(raster[i]));
            out.pixels[4 * i + 2] = static_cast<uint8_t>(TIFFGetB(raster[i]));
            out.pixels[4 * i + 3] = static_cast<uint8_t>(TIFFGetA(raster[i]));
        }
    }
    TIFFClose(tif);
    return out;
}

::testing::AssertionResult SameAsReference(const Image& ours, const uint8_t* reference, int referenceChannels,
                                           int width, int height, bool blueZeroIsOne)
{
    if (ours.GetWidth() != width || ours.GetHeight() != height)
        return ::testing::AssertionFailure() << "size " << ours.GetWidth() << "x" << ours.GetHeight() << " vs "
                                             << width << "x" << height;
    const int channels = ours.GetChannels();
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = ours.GetData() + static_cast<size_t>(y) * ours.GetRowByte();
        for (int x = 0; x < width; ++x) {
            const uint8_t* r = reference + (static_cast<size_t>(y) * width + x) * referenceChannels;
            uint8_t expect[3] = {r[2], r[1], r[0]};  // B, G, R
            if (blueZeroIsOne && expect[0] == 0) expect[0] = 1;
            const uint8_t* p = row + static_cast<size_t>(x) * channels;
            for (int c = 0; c < channels; ++c) {
                const uint8_t want = channels == 1 ? r[0] : expect[c];
                if (p[c] != want)
                    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") channel " << c << ": "
                                                         << int(p[c]) << " vs reference " << int(want);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameAsMagick(const Image& ours, const Image& magick, bool blueZeroIsOne)
{
    if (magick.GetRowByte() != magick.GetWidth() * 3) return ::testing::AssertionFailure() << "reference rows padded";
    return SameAsReference(ours, magick.GetData(), 3, magick.GetWidth(), magick.GetHeight(), blueZeroIsOne);
}

// ---------------------------------------------------------------------------

void TiffBuilder::Put16(Bytes& b, uint32_t v) const
{
    if (m_big) {
        b.push_back(static_cast<uint8_t>(v >> 8));
        b.push_back(static_cast<uint8_t>(v));
    } else {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
    }
}

void TiffBuilder::Put32(Bytes& b, uint32_t v) const
{
    if (m_big) {
        for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
    } else {
        for (int s = 0; s <= 24; s += 8) b.push_back(static_cast<uint8_t>(v >> s));
    }
}

TiffBuilder& TiffBuilder::Short(uint16_t tag, std::vector<uint32_t> values)
{
    Entry e{tag, 3, static_cast<uint32_t>(values.size()), {}};
    for (uint32_t v : values) Put16(e.data, v);
    m_entries.push_back(e);
    return *this;
}

TiffBuilder& TiffBuilder::Long(uint16_t tag, std::vector<uint32_t> values)
{
    Entry e{tag, 4, static_cast<uint32_t>(values.size()), {}};
    for (uint32_t v : values) Put32(e.data, v);
    m_entries.push_back(e);
    return *this;
}

TiffBuilder& TiffBuilder::ByteTag(uint16_t tag, const Bytes& values)
{
    m_entries.push_back(Entry{tag, 1, static_cast<uint32_t>(values.size()), values});
    return *this;
}

TiffBuilder& TiffBuilder::Raw(uint16_t tag, uint16_t type, uint32_t count, uint32_t value)
{
    Entry e{tag, type, count, {}};
    e.raw = true;
    e.rawValue = value;
    m_entries.push_back(e);
    return *this;
}

TiffBuilder& TiffBuilder::Strips(std::vector<Bytes> strips, uint32_t rowsPerStrip, bool withStripTags)
{
    m_strips = std::move(strips);
    if (!withStripTags) return *this;
    Entry offsets{273, 4, static_cast<uint32_t>(m_strips.size()), {}};
    offsets.strip = 0;
    m_entries.push_back(offsets);
    std::vector<uint32_t> counts;
    for (const Bytes& s : m_strips) counts.push_back(static_cast<uint32_t>(s.size()));
    Long(279, counts);
    Long(278, {rowsPerStrip});
    return *this;
}

TiffBuilder& TiffBuilder::Basic(uint32_t width, uint32_t height, uint16_t bits, uint16_t samples)
{
    Long(256, {width});
    Long(257, {height});
    Short(258, std::vector<uint32_t>(samples, bits));
    Short(262, {samples == 1 ? 1u : 2u});
    Short(277, {samples});
    return *this;
}

Bytes TiffBuilder::Build() const
{
    std::vector<Entry> entries = m_entries;
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    const uint32_t ifdSize = 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
    uint32_t next = 8 + ifdSize;
    // Out-of-line values, then the strips.
    std::vector<uint32_t> valueOffsets(entries.size(), 0);
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t size = entries[i].strip >= 0 ? 4 * m_strips.size() : entries[i].data.size();
        if (!entries[i].raw && size > 4) {
            valueOffsets[i] = next;
            next += static_cast<uint32_t>(size + (size & 1));
        }
    }
    std::vector<uint32_t> stripOffsets;
    for (const Bytes& s : m_strips) {
        stripOffsets.push_back(next);
        next += static_cast<uint32_t>(s.size());
    }
    Bytes out;
    if (m_big) {
        out = {'M', 'M'};
    } else {
        out = {'I', 'I'};
    }
    Put16(out, 42);
    Put32(out, 8);
    Put16(out, static_cast<uint32_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        Entry e = entries[i];
        if (e.strip >= 0) {
            e.data.clear();
            for (uint32_t o : stripOffsets) Put32(e.data, o);
        }
        Put16(out, e.tag);
        Put16(out, e.type);
        Put32(out, e.count);
        if (e.raw) {
            Put32(out, e.rawValue);
        } else if (e.data.size() <= 4) {
            Bytes field = e.data;
            field.resize(4, 0);
            out.insert(out.end(), field.begin(), field.end());
        } else {
            Put32(out, valueOffsets[i]);
        }
        entries[i] = e;
    }
    Put32(out, 0);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (valueOffsets[i] == 0) continue;
        out.insert(out.end(), entries[i].data.begin(), entries[i].data.end());
        if (entries[i].data.size() & 1) out.push_back(0);
    }
    for (const Bytes& s : m_strips) out.insert(out.end(), s.begin(), s.end());
    return out;
}

Bytes PatternSamples(int width, int height, int channels, int bits, bool bigEndian, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes out;
    for (int i = 0; i < width * height * channels; ++i) {
        const uint32_t v = rng();
        if (bits == 8) {
            out.push_back(static_cast<uint8_t>(v));
        } else {
            const uint8_t hi = static_cast<uint8_t>(v >> 8), lo = static_cast<uint8_t>(v);
            out.push_back(bigEndian ? hi : lo);
            out.push_back(bigEndian ? lo : hi);
        }
    }
    return out;
}

// ---------------------------------------------------------------------------

Bytes MakeBmp(const BmpFields& s)
{
    Bytes header(14 + s.headerSize, 0);
    auto put16 = [&](size_t at, uint32_t v) {
        header[at] = static_cast<uint8_t>(v);
        header[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) header[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    const uint32_t paletteBytes = static_cast<uint32_t>(s.palette.size() * 4);
    const uint32_t offset =
        s.dataOffset >= 0 ? static_cast<uint32_t>(s.dataOffset) : 14 + s.headerSize + paletteBytes;
    header[0] = 'B';
    header[1] = 'M';
    put32(2, offset + static_cast<uint32_t>(s.pixels.size()));
    put32(10, offset);
    put32(14, s.headerSize);
    if (s.headerSize >= 40) {
        put32(18, static_cast<uint32_t>(s.width));
        put32(22, static_cast<uint32_t>(s.height));
        put16(26, s.planes);
        put16(28, s.bitCount);
        put32(30, s.compression);
        put32(34, static_cast<uint32_t>(s.pixels.size()));
        put32(46, s.coloursUsed);
    } else if (s.headerSize == 12) {
        put16(18, static_cast<uint32_t>(s.width));
        put16(20, static_cast<uint32_t>(s.height));
        put16(22, s.planes);
        put16(24, s.bitCount);
    }
    Bytes out = header;
    for (uint32_t c : s.palette) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c >> 16));
        out.push_back(0);
    }
    if (out.size() < offset) out.resize(offset, 0);
    out.insert(out.end(), s.pixels.begin(), s.pixels.end());
    return out;
}

// ---------------------------------------------------------------------------

Bytes MakeJpeg(const Image& rgb, const testkit::TempDir& dir, const std::string& name, const std::string& args)
{
    const std::string ppm = dir.file(name + ".ppm");
    const std::string jpg = dir.file(name + ".jpg");
    if (!testkit::WritePnm(rgb, ppm)) {
        ADD_FAILURE() << "cannot write " << ppm;
        return {};
    }
    const testkit::CommandResult r = testkit::Run("cjpeg " + args + " -outfile '" + jpg + "' '" + ppm + "'");
    if (r.status != 0) {
        ADD_FAILURE() << "cjpeg failed: " << r.output;
        return {};
    }
    return ReadFileBytes(jpg);
}

Bytes WithComment(const Bytes& jpeg, const Bytes& payload)
{
    return testkit::WithJpegComment(jpeg, payload);
}

Bytes Descriptor(int equatorWidth, int column, int row, int mapType, bool shortForm)
{
    return testkit::PanoramaDescriptor(equatorWidth, column, row, mapType, "kqvz", shortForm);
}

Bytes SecondKindDescriptor()
{
    Bytes out(22, 7);
    const char magic[] = "mjr6";
    std::copy(magic, magic + 4, out.begin());
    return out;
}

ImagePtr MakeSmoothPicture(int width, int height, uint32_t seed)
{
    ImagePtr image(new Image(width, height, 3));
    const double phase = seed * 0.7;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uint8_t>(128 + 100 * std::sin(x * 0.05 + phase));
            row[3 * x + 1] = static_cast<uint8_t>(128 + 100 * std::cos(y * 0.07 + phase));
            row[3 * x + 2] = static_cast<uint8_t>((x + y) * 255 / (width + height));
        }
    }
    return image;
}

ImagePtr DecodeWithDjpeg(const std::string& path, const testkit::TempDir& dir)
{
    const std::string out = dir.file("djpeg_reference.ppm");
    const testkit::CommandResult r = testkit::Run("djpeg -nosmooth -pnm -outfile '" + out + "' '" + path + "'");
    if (r.status != 0) {
        ADD_FAILURE() << "djpeg failed on " << path << ": " << r.output;
        return nullptr;
    }
    return ImagePtr(testkit::ReadPnm(out));
}

int MaxDifference(const Image& ours, const Image& rgb)
{
    if (ours.GetWidth() != rgb.GetWidth() || ours.GetHeight() != rgb.GetHeight() || ours.GetChannels() != rgb.GetChannels())
        return 255;
    const int channels = ours.GetChannels();
    int worst = 0;
    for (int y = 0; y < ours.GetHeight(); ++y) {
        const uint8_t* a = ours.GetData() + static_cast<size_t>(y) * ours.GetRowByte();
        const uint8_t* b = rgb.GetData() + static_cast<size_t>(y) * rgb.GetRowByte();
        for (int x = 0; x < ours.GetWidth(); ++x)
            for (int c = 0; c < channels; ++c) {
                const int rc = channels == 3 ? 2 - c : c;
                worst = std::max(worst, std::abs(int(a[x * channels + c]) - int(b[x * channels + rc])));
            }
    }
    return worst;
}

// ---------------------------------------------------------------------------

std::string JpegkitLibrary() { return FENDRAKE_JPEGKIT_LIBRARY; }
std::string GifkitLibrary() { return FENDRAKE_GIFKIT_LIBRARY; }
std::string FakeJpegkit() { return FENDRAKE_FAKE_JPEGKIT_LIBRARY; }
std::string FakeJpegkitWithoutOrdinal8() { return FENDRAKE_FAKE_JPEGKIT_NO8_LIBRARY; }
std::string FakeCinvora() { return FENDRAKE_FAKE_CINVORA_LIBRARY; }
std::string FakeCinvoraWithoutOrdinal3() { return FENDRAKE_FAKE_CINVORA_NO3_LIBRARY; }

ModuleFolder::ModuleFolder()
{
    ReleaseIOModule();
    SetDllDirectoryA(m_dir.path().c_str());
}

ModuleFolder::~ModuleFolder()
{
    ReleaseIOModule();
    SetDllDirectoryA(nullptr);
}

void ModuleFolder::Add(const std::string& library)
{
    const std::filesystem::path target(library);
    std::filesystem::create_symlink(target, m_dir.path() / target.filename());
}

void ModuleFolder::Remove(const std::string& fileName)
{
    std::filesystem::remove(m_dir.path() / fileName);
}

bool IsLoaded(const std::string& library)
{
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return false;
    dlclose(handle);
    return true;
}

}  // namespace filetest
