// Reducing images in place: every code against a slow separable reference,
// the start offsets, the buffer ownership rules and a real photograph against
// ImageMagick's box filter.
#include "app/matching/image_downscale.h"
#include "app/matching/image_downscale_kernels.h"
#include "app/matching/tests/magick_helpers.h"

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

using matching_test::Sample;

// The reducers as separable weights: each block of n source samples gives m
// results, result i weighing the block's samples by weights[i]; the sum over
// rows and columns, plus half the divisor, is divided and truncated.
struct Reference {
    int n;
    int m;
    std::vector<std::vector<int>> weights;
    int StartOffset(int size) const
    {
        if (n == 3) return size % 3 == 2 ? 1 : 0;
        if (n == 4) return size % 4 >= 2 ? 1 : 0;
        return 0;
    }
};

Reference ReferenceFor(int code)
{
    switch (code) {
    case 2: return {3, 1, {{1, 1, 1}}};
    case 3: return {2, 1, {{1, 1}}};
    case 4: return {3, 2, {{3, 1, 0}, {0, 1, 3}}};
    default: return {4, 3, {{5, 1, 0, 0}, {0, 1, 1, 0}, {0, 0, 1, 5}}};
    }
}

Image* ReduceSlowly(const Image& src, int code)
{
    const Reference ref = ReferenceFor(code);
    const int bw = src.GetWidth() / ref.n, bh = src.GetHeight() / ref.n;
    const int ox = ref.StartOffset(src.GetWidth()), oy = ref.StartOffset(src.GetHeight());
    const int C = src.GetChannels();
    auto* out = new Image(bw * ref.m, bh * ref.m, C);
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx)
            for (int i = 0; i < ref.m; ++i)
                for (int j = 0; j < ref.m; ++j)
                    for (int c = 0; c < C; ++c) {
                        int sum = 0, divisor = 0;
                        for (int r = 0; r < ref.n; ++r)
                            for (int k = 0; k < ref.n; ++k) {
                                const int w = ref.weights[i][r] * ref.weights[j][k];
                                sum += w * Sample(src, ox + bx * ref.n + k, oy + by * ref.n + r, c);
                                divisor += w;
                            }
                        out->GetData()[static_cast<size_t>(by * ref.m + i) * out->GetRowByte() +
                                       static_cast<size_t>(bx * ref.m + j) * C + c] =
                            static_cast<unsigned char>((sum + divisor / 2) / divisor);
                    }
    return out;
}

TEST(ImageDownscale, EveryCodeMatchesTheSlowReferenceForEverySizeFrom7To13)
{
    const unsigned short layouts[] = {0, IMG_LAYOUT_BITMAP};  // packed and padded rows
    for (int code = 2; code <= 5; ++code)
        for (int channels : {1, 3})
            for (unsigned short layout : layouts)
                for (int w = 7; w <= 13; ++w)
                    for (int h = 7; h <= 13; ++h) {
                        auto image = RefPtr<Image>::adopt(testkit::MakePatternImage(w, h, channels, layout, static_cast<uint32_t>(w * 31 + h)));
                        auto expected = RefPtr<Image>::adopt(ReduceSlowly(*image, code));
                        DownscaleCode inOut = static_cast<DownscaleCode>(code);
                        ASSERT_TRUE(ReduceImageInPlace(image.get(), 1, &inOut));
                        EXPECT_EQ(inOut, code);
                        ASSERT_EQ(image->GetWidth(), expected->GetWidth());
                        ASSERT_EQ(image->GetHeight(), expected->GetHeight());
                        EXPECT_TRUE(testkit::SamePixels(*image, *expected))
                            << "code " << code << ", " << channels << " channels, layout " << layout << ", " << w << " x " << h;
                    }
}

// Widths that run the byte-shuffle kernel through whole periods of steps,
// partial periods and row ends of every length, in both layouts, against the
// slow reference.
TEST(ImageDownscale, WideRowsMatchTheSlowReferenceThroughEveryRowEnd)
{
    for (int code = 2; code <= 5; ++code)
        for (int channels : {1, 3})
            for (unsigned short layout : {static_cast<unsigned short>(0), static_cast<unsigned short>(IMG_LAYOUT_BITMAP)})
                for (int w = 60; w <= 110; ++w) {
                    const int h = 8 + w % 5;
                    auto image = RefPtr<Image>::adopt(testkit::MakePatternImage(w, h, channels, layout, static_cast<uint32_t>(w * 7 + code)));
                    auto expected = RefPtr<Image>::adopt(ReduceSlowly(*image, code));
                    DownscaleCode inOut = static_cast<DownscaleCode>(code);
                    ASSERT_TRUE(ReduceImageInPlace(image.get(), 1, &inOut));
                    ASSERT_EQ(image->GetWidth(), expected->GetWidth());
                    EXPECT_TRUE(testkit::SamePixels(*image, *expected))
                        << "code " << code << ", " << channels << " channels, layout " << layout << ", " << w << " x " << h;
                }
}

// The vector kernel against the portable reducer on photograph-sized rows of
// noise, whose extremes (all 0, all 255) reach the largest weighted sums; the
// kernel must be the one that runs, or the comparison would prove nothing.
TEST(ImageDownscale, ShuffleKernelGivesThePortableBytesOnLargeImages)
{
#if defined(__x86_64__)
    ASSERT_TRUE(downscale::HasSsse3());
    ASSERT_EQ(downscale::BestKernel(), downscale::Kernel::Ssse3);
#endif
    for (int code = 2; code <= 5; ++code)
        for (int channels : {1, 3})
            ASSERT_TRUE(downscale::BuildPlan(code, channels).valid) << code << ", " << channels;

    std::mt19937 random(5);
    const int width = 1283, height = 97;
    for (int channels : {1, 3}) {
        std::vector<unsigned char> source(static_cast<size_t>(width) * height * channels);
        for (size_t i = 0; i < source.size(); ++i) {
            const unsigned r = random();
            // Runs of black and white between noise.
            source[i] = (i / 4096) % 3 == 0 ? 255 : (i / 4096) % 3 == 1 ? static_cast<unsigned char>(r) : (r & 1) * 255;
        }
        for (int code = 2; code <= 5; ++code) {
            const downscale::Filter f = downscale::FilterFor(code);
            downscale::ReduceJob job{};
            job.src = source.data() + channels;  // one pixel in, as a start offset
            job.srcRowBytes = static_cast<size_t>(width) * channels;
            job.code = code;
            job.channels = channels;
            job.blocksX = (width - 1) / f.n;
            job.blocksY = height / f.n;
            job.srcAvail = static_cast<size_t>(width - 1) * channels;
            job.dstRowBytes = static_cast<size_t>(job.blocksX) * f.m * channels;
            std::vector<unsigned char> portable(job.dstRowBytes * job.blocksY * f.m, 1), vector(portable.size(), 2);
            job.dst = portable.data();
            downscale::Run(job, downscale::Kernel::Portable);
            job.dst = vector.data();
            downscale::Run(job, downscale::BestKernel());
            EXPECT_EQ(portable, vector) << "code " << code << ", " << channels << " channels";
        }
    }
}

// A frame of 255 around a field of 0: only the rows and columns inside the
// frame may feed the result.
TEST(ImageDownscale, ThirdsStartOnePixelInWhenTwoWouldBeLeftOver)
{
    struct Case {
        int size;
        int first;  // first source row and column used
    };
    for (const Case c : {Case{7, 0}, Case{8, 1}}) {
        auto image = RefPtr<Image>::adopt(new Image(c.size, c.size, 1));
        for (int y = 0; y < c.size; ++y)
            for (int x = 0; x < c.size; ++x) {
                const bool inside = x >= c.first && x < c.first + 6 && y >= c.first && y < c.first + 6;
                image->GetData()[y * image->GetRowByte() + x] = inside ? 0 : 255;
            }
        DownscaleCode code = 2;
        ASSERT_TRUE(ReduceImageInPlace(image.get(), 1, &code));
        ASSERT_EQ(image->GetWidth(), 2);
        ASSERT_EQ(image->GetHeight(), 2);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(Sample(*image, i % 2, i / 2, 0), 0) << c.size;
    }
}

TEST(ImageDownscale, ChoosesTheCodeFromTheLongerSide)
{
    struct Case {
        int width, height, expected;
    };
    const int limit = 700;
    const Case cases[] = {
        {700, 10, 1},  {10, 700, 1},  {701, 10, 5}, {10, 701, 5},  {934, 10, 5},   {936, 10, 4},
        {10, 936, 4},  {1049, 5, 4},  {1050, 5, 3}, {1399, 5, 3},  {1400, 5, 2},   {5, 1400, 2},
    };
    for (const Case& c : cases) {
        Image header;
        header.SetSize(c.width, c.height);
        EXPECT_EQ(ChooseDownscaleCode(&header, limit), c.expected) << c.width << " x " << c.height;
    }
    EXPECT_FLOAT_EQ(GetDownscaleFactor(4), 1.5f);
    EXPECT_FLOAT_EQ(GetDownscaleScale(5), 0.75f);
    EXPECT_FLOAT_EQ(GetDownscaleFactor(9), 1.0f);
}

TEST(ImageDownscale, CodeZeroIsReplacedAndOneOrUnknownCodesLeaveTheImage)
{
    auto image = RefPtr<Image>::adopt(testkit::MakePatternImage(1400, 9, 3));
    DownscaleCode code = 0;
    EXPECT_TRUE(ReduceImageInPlace(image.get(), 700, &code));
    EXPECT_EQ(code, 2);
    EXPECT_EQ(image->GetWidth(), 466);
    EXPECT_EQ(image->GetHeight(), 3);

    for (DownscaleCode untouched : {DownscaleCode{1}, DownscaleCode{6}, DownscaleCode{255}}) {
        auto same = RefPtr<Image>::adopt(testkit::MakePatternImage(20, 20, 1));
        auto copy = RefPtr<Image>::adopt(same->Duplicate());
        code = untouched;
        EXPECT_FALSE(ReduceImageInPlace(same.get(), 5, &code));
        EXPECT_EQ(code, untouched);
        EXPECT_TRUE(testkit::SamePixels(*same, *copy));
    }
}

TEST(ImageDownscale, RefusesImagesItCannotReduce)
{
    struct Case {
        int width, height, channels, type, code;
    };
    // Too small for the block, two channels, 16-bit samples.
    const Case cases[] = {{2, 9, 1, IMG_UINT8, 2}, {9, 1, 3, IMG_UINT8, 3}, {9, 3, 1, IMG_UINT8, 5},
                          {2, 2, 1, IMG_UINT8, 4}, {9, 9, 2, IMG_UINT8, 3}, {9, 9, 1, IMG_UINT16, 3}};
    for (const Case& c : cases) {
        auto image = RefPtr<Image>::adopt(new Image);
        ASSERT_TRUE(image->Create(c.width, c.height, c.channels, c.type));
        std::memset(image->GetData(), 7, image->GetDataSize());
        unsigned char* before = image->GetData();
        DownscaleCode code = static_cast<DownscaleCode>(c.code);
        EXPECT_FALSE(ReduceImageInPlace(image.get(), 1, &code));
        EXPECT_EQ(image->GetWidth(), c.width);
        EXPECT_EQ(image->GetHeight(), c.height);
        EXPECT_EQ(image->GetData(), before);
        EXPECT_EQ(image->GetData()[image->GetDataSize() - 1], 7);
    }
}

// The sanitizer build catches a buffer released the wrong way or twice.
TEST(ImageDownscale, ReleasesTheOldBufferAsItWasAllocatedAndOnlyWhenOwned)
{
    const int w = 12, h = 8;
    {
        auto image = RefPtr<Image>::adopt(new Image(w, h, 1));
        auto* buffer = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(w) * h));
        std::memset(buffer, 40, static_cast<size_t>(w) * h);
        image->SetData(buffer, true);
        ASSERT_TRUE(image->IsMallocData());
        DownscaleCode code = 3;
        ASSERT_TRUE(ReduceImageInPlace(image.get(), 1, &code));
        EXPECT_TRUE(image->IsDataOwner());
        EXPECT_EQ(Sample(*image, 5, 3, 0), 40);
    }
    {
        auto image = RefPtr<Image>::adopt(new Image(w, h, 1));
        auto* buffer = new unsigned char[static_cast<size_t>(w) * h];
        std::memset(buffer, 50, static_cast<size_t>(w) * h);
        image->SetData(buffer, false);
        DownscaleCode code = 5;
        ASSERT_TRUE(ReduceImageInPlace(image.get(), 1, &code));
        EXPECT_EQ(Sample(*image, 8, 5, 0), 50);
    }
    {
        std::vector<unsigned char> borrowed(static_cast<size_t>(w) * h * 3, 60);
        auto image = RefPtr<Image>::adopt(new Image(w, h, 3));
        image->SetData(borrowed.data(), false);
        image->SetDataOwner(false);
        DownscaleCode code = 4;
        ASSERT_TRUE(ReduceImageInPlace(image.get(), 1, &code));
        EXPECT_NE(image->GetData(), borrowed.data());
        EXPECT_TRUE(image->IsDataOwner());
        EXPECT_EQ(Sample(*image, 7, 3, 2), 60);
        borrowed[0] = 1;  // still ours
    }
}

TEST(ImageDownscale, RealPhotographHalvedAgreesWithImageMagicksBoxFilter)
{
    testkit::TempDir dir;
    auto photo = RefPtr<Image>::adopt(matching_test::LoadPhoto(dir, "huginsample-durlach/half/P1060369.JPG", ""));
    ASSERT_TRUE(photo);
    ASSERT_EQ(photo->GetWidth(), 1280);
    ASSERT_TRUE(matching_test::Magick("'" + dir.file("photo.ppm") + "' -filter box -resize 50% " + dir.file("half.ppm")));
    auto expected = RefPtr<Image>::adopt(testkit::ReadPnm(dir.file("half.ppm")));
    ASSERT_TRUE(expected);

    DownscaleCode code = 0;
    ASSERT_TRUE(ReduceImageInPlace(photo.get(), 700, &code));
    EXPECT_EQ(code, 3);
    ASSERT_EQ(photo->GetWidth(), expected->GetWidth());
    ASSERT_EQ(photo->GetHeight(), expected->GetHeight());
    int worst = 0;
    for (int y = 0; y < photo->GetHeight(); ++y)
        for (int x = 0; x < photo->GetWidth(); ++x)
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(Sample(*photo, x, y, c) - Sample(*expected, x, y, c)));
    EXPECT_LE(worst, 1);
}

}  // namespace
