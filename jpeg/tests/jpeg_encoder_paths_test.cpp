// The encoder's vector paths must write the scalar path's file: every
// instruction-set level against the scalar one, sequential and progressive,
// on a real photograph and on synthetic pictures of odd sizes, grey and
// colour, at every sampling.
#include "jpeg/jpeg_bit_writer.h"
#include "jpeg/jpeg_encoder.h"
#include "jpeg/jpeg_simd.h"
#include "jpeg/tests/jpeg_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

struct Picture {
    const char* name;
    int width, height, channels;
    bool photograph;  // a crop of a shared photograph instead of a synthetic picture
};

const Picture kPictures[] = {
    {"colour_203x157", 203, 157, 3, false},
    {"grey_97x61", 97, 61, 1, false},
    {"colour_1x1", 1, 1, 3, false},
    {"photograph_crop", 611, 409, 3, true},
};

Image* MakePicture(const Picture& p)
{
    if (!p.photograph) return jpegtest::MakeSyntheticPicture(p.width, p.height, p.channels);
    jpegtest::Decoded d = jpegtest::DecodeFile(testkit::TestData("huginsample-durlach/original/P1060369.JPG").string());
    if (!d.image) return nullptr;
    Image* crop = new Image(p.width, p.height, 3);
    for (int y = 0; y < p.height; ++y)
        std::memcpy(crop->GetData() + static_cast<size_t>(y) * crop->GetRowByte(),
                    d.image->GetData() + static_cast<size_t>(y + 300) * d.image->GetRowByte() + 3 * 500,
                    static_cast<size_t>(3 * p.width));
    return crop;
}

jpegtest::Bytes Encode(const Image& image, int sampling, bool progressive)
{
    JpegEncodeOptions options;
    options.sampling = sampling;
    options.progressive = progressive;
    JpegEncoder encoder(image.GetData(), image.GetRowByte(), image.GetChannels(), image.GetWidth(),
                        image.GetHeight(), options);
    if (!encoder.Prepare()) return {};
    auto sink = std::make_unique<MemoryByteSink>();
    encoder.Write(*sink);
    sink->Flush();
    return sink->Bytes();
}

class EncoderPaths : public ::testing::TestWithParam<Picture> {};

TEST_P(EncoderPaths, EveryLevelWritesTheScalarFile)
{
    Image* image = MakePicture(GetParam());
    ASSERT_NE(image, nullptr);
    for (bool progressive : {false, true})
        for (int sampling = 0; sampling < 3; ++sampling) {
            SetJpegSimdLevel(JpegSimd::kScalar);
            const jpegtest::Bytes reference = Encode(*image, sampling, progressive);
            ASSERT_GT(reference.size(), 100u);
            for (int l = 1; l <= static_cast<int>(JpegSimdBest()); ++l) {
                SetJpegSimdLevel(static_cast<JpegSimd>(l));
                EXPECT_TRUE(Encode(*image, sampling, progressive) == reference)
                    << "level " << l << " sampling " << sampling << " progressive " << progressive;
            }
        }
    SetJpegSimdLevel(JpegSimdBest());
    ReleaseImage(image);
}

INSTANTIATE_TEST_SUITE_P(Table, EncoderPaths, ::testing::ValuesIn(kPictures),
                         [](const ::testing::TestParamInfo<Picture>& info) { return std::string(info.param.name); });

}  // namespace
