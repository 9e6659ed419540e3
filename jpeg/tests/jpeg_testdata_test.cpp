// Every JPEG of the shared test data against djpeg: files in scope (8-bit
// Huffman sequential or progressive, one or three components) that djpeg
// reads without complaint must decode within 2 per sample (mean below 0.5)
// of `djpeg -nosmooth`, at full and at one-eighth scale, with no warning in
// our log; files out of scope must be refused by the header pass; broken
// files must never crash. On a file djpeg warns about but still writes out
// whole, ours either decodes it, within the same tolerance at full scale
// (one WARNING line when djpeg calls the data corrupt), or refuses it
// cleanly (a truncated scan, a bad Huffman code or a missing table fail the
// data pass: there djpeg fills in grey and nothing is compared by pixels).
#include "jpeg/tests/jpeg_test_support.h"
#include "core/logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

using jpegtest::Bytes;

const char* const kFolders[] = {"libjpeg-turbo", "libjxl-testdata", "wuffs",      "jpeg-decoder",
                                "huginsample-durlach", "skimage-tutorials-pano", "pannellum"};

std::vector<std::string> ListJpegFiles()
{
    std::vector<std::string> files;
    for (const char* folder : kFolders) {
        const std::filesystem::path root = testkit::TestData(folder);
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (!it->is_regular_file()) continue;
            std::string ext = it->path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
            if (ext == ".jpg" || ext == ".jpeg")
                files.push_back(std::filesystem::relative(it->path(), testkit::TestData()).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

int WarningLines(const LogCapture& log)
{
    int count = 0;
    for (size_t at = log.text().find("WARNING "); at != std::string::npos; at = log.text().find("WARNING ", at + 1))
        ++count;
    return count;
}

// A file djpeg complains about. `ref` is djpeg's image when it still wrote
// one (null when it gave up).
void ExpectLikeDjpegOnDamagedFile(const std::string& path, const Image* ref, const std::string& warnings)
{
    LogCapture log;
    jpegtest::Decoded full = jpegtest::DecodeFile(path);
    if (full.header != 0 || full.data != 0) {
        EXPECT_TRUE(full.options & QFI_READ_FAILED);
        EXPECT_EQ(log.errorCount(), 1) << log.text();
        EXPECT_EQ(full.image, nullptr);
        return;
    }
    ASSERT_NE(ref, nullptr) << "ours decodes a file djpeg cannot: " << warnings;
    const jpegtest::Difference d = jpegtest::Compare(*full.image, *ref);
    EXPECT_TRUE(d.message.empty() && d.maxAbs <= 2 && d.meanAbs < 0.5)
        << "max " << d.maxAbs << ", mean " << d.meanAbs << " " << d.message << "; djpeg: " << warnings;
    const bool corrupt = warnings.find("Corrupt JPEG data") != std::string::npos;
    EXPECT_EQ(WarningLines(log), corrupt ? 1 : 0) << log.text() << "djpeg: " << warnings;
    EXPECT_EQ(log.errorCount(), 0) << log.text();
}

class TestdataJpeg : public ::testing::TestWithParam<std::string> {};

TEST_P(TestdataJpeg, DecodesLikeDjpegOrIsRefused)
{
    ASSERT_TRUE(testkit::RequireTool("djpeg"));
    ASSERT_TRUE(testkit::RequireTool("jpegtran"));
    const std::string path = testkit::TestData(GetParam()).string();
    const jpegtest::FrameFacts facts = jpegtest::ReadFrameFacts(jpegtest::ReadFileBytes(path));
    if (!facts.InScope()) {
        jpegtest::Decoded full = jpegtest::DecodeFile(path);
        EXPECT_EQ(full.header, 1) << "a file out of scope must be refused by the header pass";
        EXPECT_TRUE(full.options & QFI_READ_FAILED);
        return;
    }
    std::string warnings;
    Image* ref = jpegtest::ReferenceDecode(path, facts, "-nosmooth", &warnings);
    if (!ref || !warnings.empty()) {
        ExpectLikeDjpegOnDamagedFile(path, ref, warnings);
        if (ref) ReleaseImage(ref);
        return;
    }
    ReleaseImage(ref);
    LogCapture log;
    EXPECT_TRUE(jpegtest::DecodesLikeDjpeg(path));
    EXPECT_EQ(WarningLines(log), 0) << log.text();
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(SharedFiles, TestdataJpeg, ::testing::ValuesIn(ListJpegFiles()), TestName);

// The folders must be there: an empty list would make the suite vacuous.
TEST(TestdataJpegList, FindsTheSharedFiles)
{
    EXPECT_GE(ListJpegFiles().size(), 100u);
}

}  // namespace
