#include "jpeg/tests/jpeg_test_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

namespace jpegtest {

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

Decoded::Decoded(Decoded&& other) noexcept
    : header(other.header), data(other.data), options(other.options), image(other.image), comment(other.comment),
      fullWidth(other.fullWidth), fullHeight(other.fullHeight)
{
    other.image = nullptr;
}

Decoded::~Decoded()
{
    if (image) ReleaseImage(image);
}

namespace {

Decoded DecodeStream(FILE* file, int options, bool leaveThumbnail)
{
    Decoded result;
    QUORVANE_FileInfo info;
    info.file = file;
    info.options = options;
    auto* image = new Image();  // one reference, ours
    result.header = GetJpegHeader(image, &info);
    result.options = info.options;
    if (result.header != 0) {
        ReleaseImage(image);
        return result;
    }
    if (const FileExtraData* pd = GetQuorvanePD(&info)) result.comment = *pd;
    OrgWHFunction(&result.fullWidth, &result.fullHeight, &info);
    if (leaveThumbnail) {
        if (NoReadThumbnail(&info) != 0) {
            JpegCleanup(&info);
            ReleaseImage(image);
            return result;
        }
        image->SetSize(result.fullWidth, result.fullHeight);
    }
    if (options & QFI_HEADER_ONLY) {
        JpegCleanup(&info);
        ReleaseImage(image);
        return result;
    }
    // Pages of a calloc'd buffer are only touched where the decoder writes,
    // so a file declaring a huge frame that fails early costs no time.
    image->ComputeRowBytes();
    void* pixels = std::calloc(image->GetDataSize(), 1);
    if (!pixels) {
        JpegCleanup(&info);
        ReleaseImage(image);
        return result;
    }
    image->SetData(pixels, true);
    result.data = ReadJpegData(image, &info);
    result.options = info.options;
    JpegCleanup(&info);
    if (result.data == 0)
        result.image = image;
    else
        ReleaseImage(image);
    return result;
}

}  // namespace

Decoded DecodeFile(const std::string& path, int options, bool leaveThumbnail)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return Decoded();
    Decoded result = DecodeStream(file, options, leaveThumbnail);
    std::fclose(file);
    return result;
}

Decoded DecodeBytes(const Bytes& bytes, int options)
{
    // fmemopen of an empty buffer fails; a temporary file works for every size.
    FILE* file = std::tmpfile();
    if (!file) return Decoded();
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    Decoded result = DecodeStream(file, options, false);
    std::fclose(file);
    return result;
}

// The libjpeg tools exit with 2 when they only warned: the output is written
// all the same. Their standard output is empty (the image goes to -outfile),
// so what Run collects is the warnings.
namespace {
bool ToolWroteOutput(const testkit::CommandResult& r)
{
    return r.status == 0 || r.status == 2;
}
}  // namespace

Image* DecodeWithDjpeg(const std::string& path, const std::string& args, std::string* warnings)
{
    testkit::TempDir dir;
    const std::string out = dir.file("ref.pnm");
    const testkit::CommandResult r = testkit::Run("djpeg " + args + " -pnm -outfile '" + out + "' '" + path + "'");
    if (warnings) *warnings = r.output;
    if (!ToolWroteOutput(r)) return nullptr;
    return testkit::ReadPnm(out);
}

Image* DecodeWithDjpegViaBaseline(const std::string& path, const std::string& args, std::string* warnings)
{
    testkit::TempDir dir;
    const std::string baseline = dir.file("baseline.jpg");
    const testkit::CommandResult r = testkit::Run("jpegtran -outfile '" + baseline + "' '" + path + "'");
    if (!ToolWroteOutput(r)) {
        if (warnings) *warnings = r.output;
        return nullptr;
    }
    Image* image = DecodeWithDjpeg(baseline, args, warnings);
    if (warnings) *warnings = r.output + *warnings;
    return image;
}

Difference Compare(const Image& ours, const Image& reference, int width, int height)
{
    Difference d;
    const int channels = ours.GetChannels();
    if (channels != reference.GetChannels()) {
        d.message = "channel counts differ";
        d.maxAbs = 255;
        return d;
    }
    if (width > ours.GetWidth() || width > reference.GetWidth() || height > ours.GetHeight() ||
        height > reference.GetHeight()) {
        d.message = "compared area larger than an image";
        d.maxAbs = 255;
        return d;
    }
    double sum = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* a = ours.GetData() + static_cast<size_t>(y) * ours.GetRowByte();
        const uint8_t* b = reference.GetData() + static_cast<size_t>(y) * reference.GetRowByte();
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                const int mine = a[x * channels + c];
                // djpeg writes red, green, blue; ours is blue, green, red.
                int ref = b[x * channels + (channels == 3 ? 2 - c : c)];
                if (channels == 3 && ref == 0) ref = 1;
                const int diff = std::abs(mine - ref);
                d.maxAbs = std::max(d.maxAbs, diff);
                sum += diff;
            }
        }
    }
    const double n = static_cast<double>(width) * height * channels;
    d.meanAbs = n > 0 ? sum / n : 0;
    return d;
}

namespace {

struct Ycc {
    double y, cb, cr;
};

Ycc ToYcc(int b, int g, int r)
{
    return {0.299 * r + 0.587 * g + 0.114 * b, -0.168736 * r - 0.331264 * g + 0.5 * b,
            0.5 * r - 0.418688 * g - 0.081312 * b};
}

}  // namespace

Difference CompareOneEighthSubsampled(const Image& ours, const Image& reference, const int cellWidth[3],
                                      const int cellHeight[3], bool rgbFile)
{
    Difference d;
    const int width = reference.GetWidth(), height = reference.GetHeight();
    if (ours.GetChannels() != 3 || reference.GetChannels() != 3 || width > ours.GetWidth() ||
        height > ours.GetHeight()) {
        d.maxAbs = 255;
        d.message = "not two colour images of compatible size";
        return d;
    }
    auto value = [rgbFile](const Image& image, int x, int y, int component, bool bgr) {
        const uint8_t* p = image.GetData() + static_cast<size_t>(y) * image.GetRowByte() + 3 * x;
        int b = bgr ? p[0] : p[2], g = p[1], r = bgr ? p[2] : p[0];
        if (!bgr) {
            // Our zero-to-one rule on the reference.
            b = std::max(b, 1), g = std::max(g, 1), r = std::max(r, 1);
        }
        if (rgbFile) return double(component == 0 ? r : component == 1 ? g : b);
        const Ycc ycc = ToYcc(b, g, r);
        return component == 0 ? ycc.y : component == 1 ? ycc.cb : ycc.cr;
    };
    // Where a channel clipped at 0 or 255 the colour relation is no longer
    // linear; such cells are left out.
    auto clipped = [](const Image& image, int x, int y) {
        const uint8_t* p = image.GetData() + static_cast<size_t>(y) * image.GetRowByte() + 3 * x;
        for (int k = 0; k < 3; ++k)
            if (p[k] <= 1 || p[k] == 255) return true;
        return false;
    };
    double sum = 0, maxDiff = 0;
    long count = 0;
    for (int c = 0; c < 3; ++c) {
        const int cw = cellWidth[c], ch = cellHeight[c];
        // Only whole cells: a cut cell's mean is not the block's DC.
        for (int cy = 0; cy + ch <= height; cy += ch)
            for (int cx = 0; cx + cw <= width; cx += cw) {
                double a = 0, b = 0;
                int n = 0;
                bool skip = false;
                for (int y = cy; y < cy + ch; ++y)
                    for (int x = cx; x < cx + cw; ++x) {
                        skip = skip || clipped(ours, x, y) || clipped(reference, x, y);
                        a += value(ours, x, y, c, true);
                        b += value(reference, x, y, c, false);
                        ++n;
                    }
                if (skip) continue;
                const double diff = std::fabs(a - b) / n;
                maxDiff = std::max(maxDiff, diff);
                sum += diff;
                ++count;
            }
    }
    d.maxAbs = static_cast<int>(std::ceil(maxDiff - 1e-9));
    d.meanAbs = count ? sum / count : 0;
    return d;
}

Difference Compare(const Image& ours, const Image& reference)
{
    if (ours.GetWidth() != reference.GetWidth() || ours.GetHeight() != reference.GetHeight()) {
        Difference d;
        d.maxAbs = 255;
        d.message = "sizes differ: " + std::to_string(ours.GetWidth()) + "x" + std::to_string(ours.GetHeight()) +
                    " vs " + std::to_string(reference.GetWidth()) + "x" + std::to_string(reference.GetHeight());
        return d;
    }
    return Compare(ours, reference, ours.GetWidth(), ours.GetHeight());
}

Image* MakeSyntheticPicture(int width, int height, int channels, uint32_t seed)
{
    auto* image = new Image(width, height, channels);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
        for (int x = 0; x < width; ++x) {
            const double fx = width > 1 ? double(x) / (width - 1) : 0, fy = height > 1 ? double(y) / (height - 1) : 0;
            // A sky-like gradient, a dark disc and a bright bar with sharp edges.
            double r = 40 + 180 * fx, g = 60 + 150 * fy, b = 200 - 120 * fy;
            const double dx = fx - 0.35, dy = fy - 0.6;
            if (dx * dx + dy * dy < 0.04) r = 20, g = 30, b = 25;
            if (fx > 0.62 && fx < 0.7) r = 250, g = 240, b = 30;
            r += 20 * std::sin(x * 0.7) + noise(rng);
            g += 20 * std::sin(y * 0.9) + noise(rng);
            b += noise(rng);
            auto clamp = [](double v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
            if (channels == 1) {
                row[x] = clamp(0.299 * r + 0.587 * g + 0.114 * b);
            } else {
                row[3 * x] = clamp(b);
                row[3 * x + 1] = clamp(g);
                row[3 * x + 2] = clamp(r);
            }
        }
    }
    return image;
}

Bytes MakeJpegWithCjpeg(const Image& image, const std::string& cjpegArgs, const testkit::TempDir& dir,
                        const std::string& name)
{
    // PNM files are RGB: swap our BGR bytes.
    Image rgb(image.GetWidth(), image.GetHeight(), image.GetChannels());
    for (int y = 0; y < image.GetHeight(); ++y) {
        const uint8_t* s = image.GetData() + static_cast<size_t>(y) * image.GetRowByte();
        uint8_t* d = rgb.GetData() + static_cast<size_t>(y) * rgb.GetRowByte();
        for (int x = 0; x < image.GetWidth(); ++x) {
            if (image.GetChannels() == 1) {
                d[x] = s[x];
            } else {
                d[3 * x] = s[3 * x + 2];
                d[3 * x + 1] = s[3 * x + 1];
                d[3 * x + 2] = s[3 * x];
            }
        }
    }
    const std::string pnm = dir.file(name + ".pnm");
    const std::string jpg = dir.file(name + ".jpg");
    if (!testkit::WritePnm(rgb, pnm)) return {};
    const testkit::CommandResult r = testkit::Run("cjpeg " + cjpegArgs + " -outfile '" + jpg + "' '" + pnm + "'");
    if (r.status != 0) return {};
    return ReadFileBytes(jpg);
}

std::vector<Segment> SplitSegments(const Bytes& file)
{
    std::vector<Segment> out;
    size_t i = 0;
    auto at = [&](size_t k) { return k < file.size() ? file[k] : 0; };
    while (i + 1 < file.size()) {
        if (file[i] != 0xFF) break;
        const int marker = file[i + 1];
        i += 2;
        Segment s;
        s.marker = marker;
        if (marker == 0xD8 || marker == 0xD9 || (marker >= 0xD0 && marker <= 0xD7)) {
            out.push_back(s);
            continue;
        }
        size_t length = (static_cast<size_t>(at(i)) << 8) | at(i + 1);
        if (length < 2) length = 2;  // read like the decoder: no payload
        if (i + length > file.size()) break;
        s.payload.assign(file.begin() + static_cast<long>(i + 2), file.begin() + static_cast<long>(i + length));
        i += length;
        if (marker == 0xDA) {
            // Entropy-coded data runs to the next marker other than RSTn.
            size_t j = i;
            while (j + 1 < file.size()) {
                if (file[j] == 0xFF && file[j + 1] != 0 && !(file[j + 1] >= 0xD0 && file[j + 1] <= 0xD7)) break;
                ++j;
            }
            if (j + 1 >= file.size()) j = file.size();
            s.entropy.assign(file.begin() + static_cast<long>(i), file.begin() + static_cast<long>(j));
            i = j;
        }
        out.push_back(s);
    }
    return out;
}

Bytes JoinSegments(const std::vector<Segment>& segments)
{
    Bytes out;
    for (const Segment& s : segments) {
        out.push_back(0xFF);
        out.push_back(static_cast<uint8_t>(s.marker));
        if (s.marker == 0xD8 || s.marker == 0xD9 || (s.marker >= 0xD0 && s.marker <= 0xD7)) continue;
        const size_t length = s.payload.size() + 2;
        out.push_back(static_cast<uint8_t>(length >> 8));
        out.push_back(static_cast<uint8_t>(length & 0xFF));
        out.insert(out.end(), s.payload.begin(), s.payload.end());
        out.insert(out.end(), s.entropy.begin(), s.entropy.end());
    }
    return out;
}

Bytes ProgressiveDcPrefix(const Bytes& file)
{
    std::vector<Segment> segments = SplitSegments(file);
    int components = 0;
    std::vector<int> seen;
    for (size_t i = 0; i < segments.size(); ++i) {
        const Segment& s = segments[i];
        if (s.marker == 0xC2 && s.payload.size() >= 6) components = s.payload[5];
        if (s.marker != 0xDA || s.payload.empty()) continue;
        const int n = s.payload[0];
        if (s.payload.size() < static_cast<size_t>(1 + 2 * n + 3)) break;
        const int ss = s.payload[1 + 2 * n], ah = s.payload[3 + 2 * n] >> 4;
        if (ss == 0 && ah == 0)
            for (int k = 0; k < n; ++k) seen.push_back(s.payload[1 + 2 * k]);
        if (components > 0 && static_cast<int>(seen.size()) >= components) {
            segments.resize(i + 1);
            Segment eoi;
            eoi.marker = 0xD9;
            segments.push_back(eoi);
            return JoinSegments(segments);
        }
    }
    return {};
}

int FindSegment(const std::vector<Segment>& segments, int marker)
{
    for (size_t i = 0; i < segments.size(); ++i)
        if (segments[i].marker == marker) return static_cast<int>(i);
    return -1;
}


FrameFacts ReadFrameFacts(const Bytes& file)
{
    FrameFacts f;
    bool jfif = false, adobe = false;
    int transform = 1;
    for (const Segment& s : SplitSegments(file)) {
        if (s.marker == 0xE0 && s.payload.size() >= 5 && std::memcmp(s.payload.data(), "JFIF", 5) == 0) jfif = true;
        if (s.marker == 0xEE && s.payload.size() >= 12 && std::memcmp(s.payload.data(), "Adobe", 5) == 0) {
            adobe = true;
            transform = s.payload[11];
        }
        const bool sof = s.marker >= 0xC0 && s.marker <= 0xCF && s.marker != 0xC4 && s.marker != 0xC8 &&
                         s.marker != 0xCC;
        if (sof && s.payload.size() >= 6) {
            f.found = true;
            f.marker = s.marker;
            f.precision = s.payload[0];
            f.components = s.payload[5];
            for (int i = 0; i < std::min(f.components, 4) && 6 + 3 * i + 1 < int(s.payload.size()); ++i) {
                f.h[i] = s.payload[6 + 3 * i + 1] >> 4;
                f.v[i] = s.payload[6 + 3 * i + 1] & 15;
            }
            if (f.components == 3 && s.payload.size() >= 15) {
                const bool rgbIds = s.payload[6] == 'R' && s.payload[9] == 'G' && s.payload[12] == 'B';
                f.rgb = !jfif && (adobe ? transform == 0 : rgbIds);
            }
            break;
        }
    }
    return f;
}


Image* ReferenceDecode(const std::string& path, const FrameFacts& facts, const std::string& djpegArgs,
                       std::string* warnings)
{
    return facts.marker == 0xC2 ? DecodeWithDjpegViaBaseline(path, djpegArgs, warnings)
                                : DecodeWithDjpeg(path, djpegArgs, warnings);
}

::testing::AssertionResult DecodesLikeDjpeg(const std::string& path)
{
    const Bytes bytes = ReadFileBytes(path);
    const FrameFacts facts = ReadFrameFacts(bytes);
    Decoded full = DecodeFile(path);
    if (full.header != 0 || full.data != 0 || !full.image)
        return ::testing::AssertionFailure() << "refused: header " << full.header << ", data " << full.data;
    Image* ref = ReferenceDecode(path, facts, "-nosmooth");
    if (!ref) return ::testing::AssertionFailure() << "djpeg cannot decode the file";
    const Difference d = Compare(*full.image, *ref);
    ReleaseImage(ref);
    if (!d.message.empty() || d.maxAbs > 2 || d.meanAbs >= 0.5)
        return ::testing::AssertionFailure() << "full scale: max " << d.maxAbs << ", mean " << d.meanAbs << " "
                                             << d.message;

    // One-eighth: ours is the MCU-padded size / 8, djpeg's the frame size / 8
    // rounded up; they agree on djpeg's area.
    Decoded small = DecodeFile(path, QFI_ONE_EIGHTH);
    if (small.data != 0 || !small.image) return ::testing::AssertionFailure() << "one-eighth decode refused";
    if (small.fullWidth != full.image->GetWidth() || small.fullHeight != full.image->GetHeight())
        return ::testing::AssertionFailure() << "OrgWHFunction gives " << small.fullWidth << "x" << small.fullHeight;
    std::string smallSource = path;
    testkit::TempDir dir;
    if (facts.marker == 0xC2) {
        const Bytes prefix = ProgressiveDcPrefix(bytes);
        if (prefix.empty()) return ::testing::AssertionFailure() << "no complete first DC scans";
        smallSource = dir.file("dc.jpg");
        WriteFileBytes(smallSource, prefix);
    }
    Image* refSmall = ReferenceDecode(smallSource, facts, "-nosmooth -scale 1/8");
    if (!refSmall) return ::testing::AssertionFailure() << "djpeg -scale 1/8 fails";
    int cellW[3] = {1, 1, 1}, cellH[3] = {1, 1, 1};
    bool subsampled = false;
    if (facts.components == 3) {
        const int hMax = std::max({facts.h[0], facts.h[1], facts.h[2]});
        const int vMax = std::max({facts.v[0], facts.v[1], facts.v[2]});
        for (int i = 0; i < 3; ++i) {
            cellW[i] = hMax / std::max(1, facts.h[i]);
            cellH[i] = vMax / std::max(1, facts.v[i]);
            subsampled = subsampled || cellW[i] > 1 || cellH[i] > 1;
        }
    }
    Difference ds;
    if (small.image->GetWidth() < refSmall->GetWidth() || small.image->GetHeight() < refSmall->GetHeight())
        ds.message = "one-eighth image smaller than djpeg's";
    else if (subsampled)
        ds = CompareOneEighthSubsampled(*small.image, *refSmall, cellW, cellH, facts.rgb);
    else
        ds = Compare(*small.image, *refSmall, refSmall->GetWidth(), refSmall->GetHeight());
    ReleaseImage(refSmall);
    if (!ds.message.empty() || ds.maxAbs > 2 || ds.meanAbs >= 0.5)
        return ::testing::AssertionFailure() << "one-eighth scale: max " << ds.maxAbs << ", mean " << ds.meanAbs
                                             << " " << ds.message;
    return ::testing::AssertionSuccess();
}

}  // namespace jpegtest
