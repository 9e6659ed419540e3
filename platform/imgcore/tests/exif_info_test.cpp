// The Exif reader against exiftool on every JPEG and TIFF file of the shared
// test data, plus hand-built blocks for what the real files do not show
// (crop factor from the focal-plane size, zero denominators, truncation).
#include "platform/imgcore/exif_info.h"

#include "core/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> out;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) out.push_back(field);
    return out;
}

bool IsMissing(const std::string& v) { return v == "-" || v.empty(); }

double ToDouble(const std::string& v)
{
    // exiftool -n may print a list ("100 100"); the first value counts.
    return std::strtod(v.c_str(), nullptr);
}

// The tags asked of exiftool, in column order after the file path.
const char* const kColumns[] = {
    "-IFD0:Make", "-IFD0:Model", "-ExifIFD:FocalLength", "-ExifIFD:FocalLengthIn35mmFormat",
    "-ExifIFD:DateTimeOriginal", "-IFD0:ModifyDate", "-IFD0:Orientation", "-ExifIFD:ExposureTime",
    "-ExifIFD:FNumber", "-ExifIFD:ISO", "-ExifIFD:ExposureCompensation", "-ExifIFD:WhiteBalance",
    "-ExifIFD:ExifImageWidth", "-ExifIFD:ExifImageHeight", "-File:ImageWidth", "-File:ImageHeight",
    "-IFD0:ImageWidth", "-IFD0:ImageHeight", "-ExifIFD:ExifVersion", "-ExifIFD:ColorSpace", "-File:FileType"};
enum Column {
    cMake, cModel, cFocal, cFocal35, cDateOriginal, cModifyDate, cOrientation, cExposure, cFNumber, cIso,
    cBias, cWhiteBalance, cExifWidth, cExifHeight, cFileWidth, cFileHeight, cIfdWidth, cIfdHeight,
    cExifVersion, cColorSpace, cFileType, cCount
};

std::vector<fs::path> CameraAndTiffFiles()
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(testkit::TestData())) {
        if (!entry.is_regular_file()) continue;
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (ext == ".jpg" || ext == ".jpeg" || ext == ".tif" || ext == ".tiff") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(ExtractExif, MatchesExiftoolOnEveryTestFile)
{
    ASSERT_TRUE(testkit::RequireTool("exiftool"));
    const std::vector<fs::path> files = CameraAndTiffFiles();
    ASSERT_GT(files.size(), 100u) << "shared test data missing at " << testkit::TestData();

    testkit::TempDir dir;
    const std::string argFile = dir.file("args.txt");
    {
        std::ofstream args(argFile);
        args << "-n\n-T\n-f\n-q\n-q\n-m\n-Directory\n-FileName\n";
        for (const char* c : kColumns) args << c << "\n";
        for (const fs::path& f : files) args << f.string() << "\n";
    }
    const testkit::CommandResult r = testkit::Run("exiftool -@ '" + argFile + "' 2>/dev/null");
    ASSERT_FALSE(r.output.empty());

    std::istringstream lines(r.output);
    std::string line;
    int compared = 0, withCamera = 0;
    while (std::getline(lines, line)) {
        const std::vector<std::string> v = SplitTabs(line);
        if (v.size() != 2 + static_cast<size_t>(cCount)) continue;
        const std::string path = v[0] + "/" + v[1];
        const std::string* c = v.data() + 2;
        // BigTIFF is not a classic TIFF structure; the reader leaves it alone.
        if (c[cFileType] == "BTF") continue;
        SCOPED_TRACE(path);
        ExifInfo info;
        const bool found = ExtractExif::Run(path.c_str(), info);
        ++compared;

        // exiftool names no tag for the directory itself: a file has one when
        // any of its tags was listed.
        bool exifDirectory = false;
        for (int k : {cFocal, cFocal35, cDateOriginal, cExposure, cFNumber, cIso, cBias, cWhiteBalance, cExifWidth,
                      cExifHeight, cExifVersion, cColorSpace})
            exifDirectory = exifDirectory || !IsMissing(c[k]);
        EXPECT_EQ(found, exifDirectory);
        EXPECT_EQ(info.m_hasExif != 0, found);
        if (IsMissing(c[cMake])) {
            EXPECT_EQ(info.GetMake(), nullptr);
        } else {
            ASSERT_NE(info.GetMake(), nullptr);
            EXPECT_EQ(std::string(info.GetMake()), c[cMake]);
            ++withCamera;
        }
        if (IsMissing(c[cModel])) {
            EXPECT_EQ(info.GetModel(), nullptr);
        } else {
            ASSERT_NE(info.GetModel(), nullptr);
            EXPECT_EQ(std::string(info.GetModel()), c[cModel]);
        }
        EXPECT_NEAR(info.m_focalLength, IsMissing(c[cFocal]) ? 0.0 : ToDouble(c[cFocal]), 1e-4);
        EXPECT_NEAR(info.m_focalLength35, IsMissing(c[cFocal35]) ? 0.0 : ToDouble(c[cFocal35]), 1e-4);
        const std::string date = !IsMissing(c[cDateOriginal]) ? c[cDateOriginal]
                                 : !IsMissing(c[cModifyDate]) ? c[cModifyDate] : std::string();
        EXPECT_EQ(std::string(info.m_dateTime), date.substr(0, 19));
        EXPECT_EQ(info.m_orientation, IsMissing(c[cOrientation]) ? 0 : static_cast<int>(ToDouble(c[cOrientation])));
        const double exposure = IsMissing(c[cExposure]) ? 0.0 : ToDouble(c[cExposure]);
        EXPECT_NEAR(info.m_exposureTime, exposure, 1e-6 + exposure * 1e-6);
        EXPECT_NEAR(info.m_fNumber, IsMissing(c[cFNumber]) ? 0.0 : ToDouble(c[cFNumber]), 1e-5);
        EXPECT_EQ(info.m_isoSpeed, IsMissing(c[cIso]) ? 0 : static_cast<int>(ToDouble(c[cIso])));
        const double bias = IsMissing(c[cBias]) ? 0.0 : ToDouble(c[cBias]);
        EXPECT_NEAR(info.m_exposureBiasEv, bias, 1e-5);
        EXPECT_EQ(info.m_exposureBias, static_cast<int>(std::lround(bias * 3)));
        EXPECT_EQ(info.m_whiteBalance, IsMissing(c[cWhiteBalance]) ? -1 : static_cast<int>(ToDouble(c[cWhiteBalance])));

        // Width and height: the Exif directory's when it states them, else the
        // image's own (the JPEG frame, or the TIFF's first directory).
        const bool jpeg = c[cFileType] == "JPEG";
        const std::string& ownW = jpeg ? c[cFileWidth] : c[cIfdWidth];
        const std::string& ownH = jpeg ? c[cFileHeight] : c[cIfdHeight];
        const bool exifSize = !IsMissing(c[cExifWidth]) && !IsMissing(c[cExifHeight]) &&
                              ToDouble(c[cExifWidth]) > 0 && ToDouble(c[cExifHeight]) > 0;
        EXPECT_EQ(info.m_width, static_cast<int>(ToDouble(exifSize ? c[cExifWidth] : IsMissing(ownW) ? "0" : ownW)));
        EXPECT_EQ(info.m_height, static_cast<int>(ToDouble(exifSize ? c[cExifHeight] : IsMissing(ownH) ? "0" : ownH)));

        if (info.m_focalLength35 > 0 && info.m_focalLength > 0) {
            EXPECT_EQ(info.m_cropFactorSource, 1);
            EXPECT_NEAR(info.m_cropFactor, ToDouble(c[cFocal35]) / ToDouble(c[cFocal]), 1e-4);
        }
    }
    EXPECT_GT(compared, 100);
    // The camera sets: Durlach (Panasonic), Petra and Arches (Nikon), the
    // daeyun sets (Sony), and a few more.
    EXPECT_GE(withCamera, 45);
}

TEST(ExtractExif, DurlachOriginalCarriesTheStitchingValues)
{
    // The values the stitcher relies on, spelled out for one camera original.
    ExifInfo info;
    ASSERT_TRUE(ExtractExif::Run(testkit::TestData("huginsample-durlach/original/P1060369.JPG").c_str(), info));
    ASSERT_NE(info.GetMake(), nullptr);
    EXPECT_STREQ(info.GetMake(), "Panasonic");
    EXPECT_STREQ(info.GetModel(), "DMC-TZ41");
    EXPECT_FLOAT_EQ(info.m_focalLength, 4.3f);
    EXPECT_FLOAT_EQ(info.m_focalLength35, 25.0f);
    EXPECT_NEAR(info.m_cropFactor, 25.0 / 4.3, 1e-5);
    EXPECT_EQ(info.m_width, 2560);
    EXPECT_EQ(info.m_height, 1920);
    EXPECT_STREQ(info.m_dateTime, "2017:11:01 10:50:28");
    EXPECT_FLOAT_EQ(info.m_exposureTime, 1.0f / 250);
}

// --- hand-built TIFF blocks -------------------------------------------------

// Writes a TIFF structure in either byte order: IFD0 then the Exif IFD, with
// out-of-line values after each table.
class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian) : m_big(bigEndian) {}

    struct Field {
        uint16_t tag;
        uint16_t type;
        uint32_t count;
        std::vector<unsigned char> data;  // already in the block's byte order
    };

    std::vector<unsigned char> U16(uint16_t v) const
    {
        return m_big ? std::vector<unsigned char>{uint8_t(v >> 8), uint8_t(v)}
                     : std::vector<unsigned char>{uint8_t(v), uint8_t(v >> 8)};
    }
    std::vector<unsigned char> U32(uint32_t v) const
    {
        return m_big ? std::vector<unsigned char>{uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}
                     : std::vector<unsigned char>{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    }
    Field Short(uint16_t tag, uint16_t v) const { return {tag, 3, 1, U16(v)}; }
    Field Rational(uint16_t tag, uint32_t num, uint32_t den, uint16_t type = 5) const
    {
        std::vector<unsigned char> d = U32(num), b = U32(den);
        d.insert(d.end(), b.begin(), b.end());
        return {tag, type, 1, d};
    }
    Field Ascii(uint16_t tag, const std::string& s) const
    {
        std::vector<unsigned char> d(s.begin(), s.end());
        d.push_back(0);
        return {tag, 2, static_cast<uint32_t>(d.size()), d};
    }

    // IFD0 fields and Exif fields; the Exif pointer is added here.
    std::vector<unsigned char> Build(std::vector<Field> ifd0, const std::vector<Field>& exif) const
    {
        std::vector<unsigned char> out;
        auto put = [&](const std::vector<unsigned char>& b) { out.insert(out.end(), b.begin(), b.end()); };
        out.push_back(m_big ? 'M' : 'I');
        out.push_back(m_big ? 'M' : 'I');
        put(U16(42));
        put(U32(8));
        const size_t ifd0Size = 2 + 12 * (ifd0.size() + 1) + 4;
        size_t extra0 = 0;
        for (const Field& f : ifd0) extra0 += f.data.size() > 4 ? f.data.size() : 0;
        const uint32_t exifOffset = static_cast<uint32_t>(8 + ifd0Size + extra0);
        ifd0.push_back({0x8769, 4, 1, U32(exifOffset)});
        WriteIfd(out, ifd0);
        WriteIfd(out, exif);
        return out;
    }

private:
    void WriteIfd(std::vector<unsigned char>& out, const std::vector<Field>& fields) const
    {
        auto put = [&](const std::vector<unsigned char>& b) { out.insert(out.end(), b.begin(), b.end()); };
        const size_t start = out.size();
        size_t dataAt = start + 2 + 12 * fields.size() + 4;
        std::vector<unsigned char> tail;
        put(U16(static_cast<uint16_t>(fields.size())));
        for (const Field& f : fields) {
            put(U16(f.tag));
            put(U16(f.type));
            put(U32(f.count));
            if (f.data.size() <= 4) {
                std::vector<unsigned char> v = f.data;
                v.resize(4, 0);
                put(v);
            } else {
                put(U32(static_cast<uint32_t>(dataAt + tail.size())));
                tail.insert(tail.end(), f.data.begin(), f.data.end());
            }
        }
        put(U32(0));
        put(tail);
    }

    bool m_big;
};

TEST(ExtractExif, HandBuiltBlocksInBothByteOrders)
{
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        TiffBuilder b(big);
        // A full-frame sensor stated through the focal-plane resolution only:
        // 3600 x 2400 pixels at 100 px/mm is 36 x 24 mm, crop factor 1.
        const std::vector<unsigned char> block = b.Build(
            {b.Ascii(0x010F, "Maker  "), b.Ascii(0x0110, "Model X"), b.Short(0x0112, 6)},
            {b.Rational(0x920A, 50, 1), b.Rational(0xA20E, 100, 1), b.Rational(0xA20F, 100, 1), b.Short(0xA210, 4),
             b.Short(0xA002, 3600), b.Short(0xA003, 2400), b.Rational(0x9204, static_cast<uint32_t>(-2), 3, 10),
             b.Rational(0x829A, 1, 0), b.Short(0xA403, 1), b.Short(0x8827, 800)});
        ExifInfo info;
        ASSERT_TRUE(ExtractExif::ParseTiffBlock(block.data(), block.size(), info));
        EXPECT_STREQ(info.GetMake(), "Maker");  // trailing blanks dropped
        EXPECT_STREQ(info.GetModel(), "Model X");
        EXPECT_EQ(info.m_orientation, 6);
        EXPECT_FLOAT_EQ(info.m_focalLength, 50.0f);
        EXPECT_EQ(info.m_cropFactorSource, 2);
        EXPECT_NEAR(info.m_cropFactor, 1.0, 1e-4);
        EXPECT_EQ(info.m_width, 3600);
        EXPECT_EQ(info.m_height, 2400);
        EXPECT_NEAR(info.m_exposureBiasEv, -2.0 / 3.0, 1e-6);
        EXPECT_EQ(info.m_exposureBias, -2);
        EXPECT_EQ(info.m_exposureTime, 0.0f) << "a zero denominator means unknown";
        EXPECT_EQ(info.m_whiteBalance, 1);
        EXPECT_EQ(info.m_isoSpeed, 800);
    }
}

TEST(ExtractExif, TruncatedOrCorruptBlocksNeverReadOutside)
{
    // Every prefix of a real camera block: no read past the end (ASan), and
    // a prefix either yields the same camera make or none at all.
    FILE* f = std::fopen(testkit::TestData("skimage-tutorials-pano/JDW_9518.jpg").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<unsigned char> head(70000);
    head.resize(std::fread(head.data(), 1, head.size(), f));
    std::fclose(f);
    size_t at = 2;
    std::vector<unsigned char> block;
    while (at + 4 <= head.size() && head[at] == 0xFF) {
        const size_t len = (head[at + 2] << 8) | head[at + 3];
        if (head[at + 1] == 0xE1 && std::memcmp(&head[at + 4], "Exif\0\0", 6) == 0) {
            block.assign(head.begin() + at + 10, head.begin() + at + 2 + len);
            break;
        }
        at += 2 + len;
    }
    ASSERT_GT(block.size(), 1000u);
    ExifInfo full;
    ASSERT_TRUE(ExtractExif::ParseTiffBlock(block.data(), block.size(), full));
    ASSERT_NE(full.GetMake(), nullptr);
    for (size_t n = 0; n <= block.size(); ++n) {
        std::vector<unsigned char> prefix(block.begin(), block.begin() + n);  // exact-size heap copy for ASan
        ExifInfo info;
        ExtractExif::ParseTiffBlock(prefix.data(), prefix.size(), info);
        if (info.GetMake()) {
            ASSERT_STREQ(info.GetMake(), full.GetMake()) << n;
        }
    }

    // Corrupt bytes anywhere in the first kilobyte: still no stray read.
    for (size_t i = 0; i < 1024 && i < block.size(); ++i) {
        std::vector<unsigned char> bad = block;
        bad[i] ^= 0xFF;
        ExifInfo info;
        ExtractExif::ParseTiffBlock(bad.data(), bad.size(), info);
    }
}

TEST(ExtractExif, FilesWithoutExifAndMissingFiles)
{
    testkit::TempDir dir;
    const std::string text = dir.file("note.txt");
    std::ofstream(text) << "not an image";
    ExifInfo info;
    info.m_focalLength = 12.0f;
    EXPECT_FALSE(ExtractExif::Run(text.c_str(), info));
    EXPECT_EQ(info.m_focalLength, 0.0f) << "the record is reset";
    EXPECT_EQ(info.GetMake(), nullptr);

    LogCapture log;
    EXPECT_FALSE(ExtractExif::Run(dir.file("absent.jpg").c_str(), info));
    EXPECT_TRUE(log.contains("ERROR ExtractExif::Run"));

    // A JPEG without Exif still reports its frame size.
    EXPECT_FALSE(ExtractExif::Run(testkit::TestData("pillow/jpeg/hopper.jpg").c_str(), info));
    EXPECT_EQ(info.m_width, 128);
    EXPECT_EQ(info.m_height, 128);
}

}  // namespace
