#include "imaging/image.h"
#include "core/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Header geometry: row bytes, buffer size, pixel bytes and channel addresses.

struct GeometryCase {
    int width, height, channels;
    unsigned short type;
    const char* layout;  // "bitmap", "packed" or "planar"
    int rowBytes;
    size_t bufferSize;
    int pixelBytes;
    std::vector<long> channelOffsets;  // -1: GetData(channel) is null
};

void PrintTo(const GeometryCase& c, std::ostream* os)
{
    *os << c.width << "x" << c.height << "x" << c.channels << " type " << c.type << " " << c.layout;
}

class ImageGeometry : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(ImageGeometry, RowBytesSizesAndChannelAddresses)
{
    const GeometryCase& c = GetParam();
    Image image;
    image.SetSize(c.width, c.height);
    image.SetChannels(c.channels);
    image.SetDataType(c.type);
    if (std::strcmp(c.layout, "planar") == 0) image.SetDataLayoutType(256);
    if (std::strcmp(c.layout, "bitmap") == 0) {
        ASSERT_EQ(image.BmpInit(), 0);
        // BmpInit makes 8-bit samples whatever the type was.
        ASSERT_EQ(image.GetDataType(), IMG_UINT8);
    } else {
        ASSERT_EQ(image.Init(), 0);
    }
    EXPECT_EQ(image.GetRowByte(), c.rowBytes);
    EXPECT_EQ(image.GetDataSize(), c.bufferSize);
    EXPECT_EQ(image.GetPixelBytes(), c.pixelBytes);
    for (size_t ch = 0; ch < c.channelOffsets.size(); ++ch) {
        const unsigned char* p = image.GetData(static_cast<int>(ch));
        if (c.channelOffsets[ch] < 0)
            EXPECT_EQ(p, nullptr) << "channel " << ch;
        else
            EXPECT_EQ(p, image.GetData() + c.channelOffsets[ch]) << "channel " << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ImageGeometry,
    ::testing::Values(
        GeometryCase{3, 2, 3, IMG_UINT8, "bitmap", 12, 24, 3, {0, 1, 2, -1}},
        GeometryCase{3, 2, 3, IMG_UINT8, "packed", 9, 18, 3, {0, 1, 2, -1}},
        GeometryCase{3, 2, 3, IMG_UINT8, "planar", 3, 18, 1, {0, 6, 12, -1}},
        GeometryCase{4, 4, 3, IMG_UINT8, "planar", 4, 48, 1, {0, 16, 32, -1}},
        GeometryCase{5, 1, 1, IMG_UINT8, "bitmap", 8, 8, 1, {0, -1}},
        GeometryCase{5, 3, 3, IMG_UINT16, "packed", 30, 90, 6, {0, 2, 4, -1}},
        GeometryCase{2, 2, 1, IMG_FLOAT, "packed", 8, 16, 4, {0, -1}},
        GeometryCase{10, 2, 1, IMG_BILEVEL, "packed", 2, 4, 0, {0, -1}},
        GeometryCase{4, 2, 3, IMG_INT32, "planar", 16, 96, 4, {0, 32, 64}}),
    [](const ::testing::TestParamInfo<GeometryCase>& info) {
        const GeometryCase& c = info.param;
        return std::to_string(c.width) + "x" + std::to_string(c.height) + "x" + std::to_string(c.channels) +
               "_type" + std::to_string(c.type) + "_" + c.layout;
    });

TEST(Image, GetDataWithoutBufferOrWithUnknownTypeIsNull)
{
    Image empty;
    EXPECT_EQ(empty.GetData(0), nullptr);
    EXPECT_EQ(empty.GetRowByte(), 0);
    EXPECT_EQ(empty.m_refCount, 1);

    Image image(2, 2, 3);
    image.SetDataType(144);  // outside the table
    EXPECT_NE(image.GetData(0), nullptr);
    EXPECT_EQ(image.GetData(1), nullptr);
    EXPECT_EQ(image.GetDataBits(), 1);
    EXPECT_EQ(image.GetDataBytes(), 0);
}

TEST(Image, ResetRangeMarksOnlyByteAndFloatTypes)
{
    Image floats;
    ASSERT_TRUE(floats.Create(2, 2, 3, IMG_FLOAT));
    floats.ResetRange();
    const auto* range = static_cast<const float*>(floats.GetRangeTable());
    ASSERT_NE(range, nullptr);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(range[2 * c], 0.0f);
        EXPECT_EQ(range[2 * c + 1], 255.0f);
    }
    EXPECT_TRUE(floats.GetStateWord() & IMG_STATE_RANGE_VALID);

    Image words;
    ASSERT_TRUE(words.Create(2, 2, 1, IMG_UINT16));
    words.ResetRange();
    EXPECT_FALSE(words.GetStateWord() & IMG_STATE_RANGE_VALID);
}

// ---------------------------------------------------------------------------
// Ownership and reference counting (ASan reports any wrong or double free).

TEST(Image, BorrowedBufferIsNeverReleased)
{
    std::vector<unsigned char> pixels(4 * 3 * 3, 7);
    {
        Image image;
        image.SetSize(4, 3);
        image.SetChannels(3);
        image.SetDataType(IMG_UINT8);
        image.ComputeRowBytes();
        image.SetData(pixels.data(), false);
        image.SetDataOwner(false);
        EXPECT_FALSE(image.IsDataOwner());
        ASSERT_EQ(image.Rotate(90), 0);          // the turned buffer is the image's own
        EXPECT_TRUE(image.IsDataOwner());
        EXPECT_EQ(image.GetData()[0], 7);
    }
    {
        Image image;
        image.SetSize(4, 3);
        image.SetChannels(3);
        image.SetDataType(IMG_UINT8);
        image.ComputeRowBytes();
        image.SetData(pixels.data(), false);
        image.SetDataOwner(false);
        EXPECT_TRUE(image.Resize(5, 5));  // new own buffer; the borrowed one stays
        EXPECT_TRUE(image.IsDataOwner());
    }
    {
        Image image;
        image.SetData(pixels.data(), false);
        image.SetDataOwner(false);
    }  // destroyed without releasing
    EXPECT_EQ(pixels[0], 7);
}

TEST(Image, MallocBufferIsReleasedWithFree)
{
    Image image;
    image.SetSize(2, 2);
    image.SetChannels(1);
    image.SetDataType(IMG_UINT8);
    image.ComputeRowBytes();
    image.SetData(std::malloc(4), true);
    EXPECT_TRUE(image.IsMallocData());
    EXPECT_TRUE(image.IsDataOwner());
    image.SetData(std::malloc(4), true);  // the first malloc block is freed here
}

TEST(Image, TransferMovesBufferAndOwnership)
{
    Image* source = testkit::MakePatternImage(5, 4, 3);
    unsigned char* pixels = source->GetData();
    const unsigned char first = pixels[0];
    Image* target = new Image();
    target->Transfer(source);
    EXPECT_EQ(source->GetData(), nullptr);
    ReleaseImage(source);
    EXPECT_EQ(target->GetData(), pixels);
    EXPECT_EQ(target->GetData()[0], first);
    EXPECT_EQ(target->GetWidth(), 5);
    EXPECT_EQ(target->GetChannels(), 3);
    ReleaseImage(target);
}

struct CountedImage : Image {
    explicit CountedImage(int* deaths) : Image(2, 2, 1), m_deaths(deaths) {}
    ~CountedImage() override { ++*m_deaths; }
    int* m_deaths;
};

TEST(Image, CountBelowOneDeletesThroughTheBase)
{
    int deaths = 0;
    RefCount* image = new CountedImage(&deaths);
    EXPECT_EQ(image->m_refCount, 1);
    RefAdd(image);
    RefRelease(image);
    EXPECT_EQ(deaths, 0);
    RefRelease(image);
    EXPECT_EQ(deaths, 1);
}

// ---------------------------------------------------------------------------
// Resize.

TEST(Image, ResizeKeepsEqualByteCountsAndZeroesOthers)
{
    Image* image = testkit::MakePatternImage(4, 6, 1);
    const unsigned char* before = image->GetData();
    const unsigned char first = before[0];
    EXPECT_FALSE(image->Resize(4, 6));  // same size: nothing changes
    EXPECT_TRUE(image->Resize(6, 4));   // same byte count: same buffer, same bytes
    EXPECT_EQ(image->GetData(), before);
    EXPECT_EQ(image->GetData()[0], first);
    EXPECT_EQ(image->GetRowByte(), 6);
    EXPECT_TRUE(image->Resize(7, 7));
    for (size_t i = 0; i < image->GetDataSize(); ++i) ASSERT_EQ(image->GetData()[i], 0);
    ReleaseImage(image);
}

// ---------------------------------------------------------------------------
// Out of memory: the allocation hook refuses buffers.

bool g_refuseAll = false;
bool RefuseWhenAsked(size_t) { return !g_refuseAll; }

class ImageOutOfMemory : public ::testing::Test {
protected:
    void SetUp() override { SetImageAllocHook(RefuseWhenAsked); }
    void TearDown() override
    {
        g_refuseAll = false;
        SetImageAllocHook(nullptr);
    }
};

TEST_F(ImageOutOfMemory, FailedQuarterTurnLeavesThePhotoIntact)
{
    Image* image = testkit::MakePatternImage(7, 5, 3, IMG_LAYOUT_BITMAP);
    Image* original = image->Duplicate();
    LogCapture log;
    g_refuseAll = true;
    EXPECT_EQ(image->Rotate(90), -1);
    EXPECT_EQ(image->Rotate(-90), -1);
    g_refuseAll = false;
    EXPECT_EQ(image->GetWidth(), 7);
    EXPECT_EQ(image->GetHeight(), 5);
    EXPECT_EQ(image->GetRowByte(), original->GetRowByte());
    EXPECT_TRUE(testkit::SamePixels(*image, *original));
    EXPECT_TRUE(log.contains("ERROR Image::Rotate()"));
    ReleaseImage(original);
    ReleaseImage(image);
}

TEST_F(ImageOutOfMemory, ConstructorAndResizeReportNoBuffer)
{
    g_refuseAll = true;
    Image image(10, 10, 3);
    EXPECT_EQ(image.GetData(), nullptr);
    EXPECT_EQ(image.GetWidth(), 10);  // size and format are kept
    EXPECT_EQ(image.GetChannels(), 3);
    EXPECT_FALSE(image.Resize(20, 20));
    EXPECT_EQ(image.GetData(), nullptr);
    EXPECT_EQ(image.BmpInit(3, 3, 1), -1);
}

bool g_refuseSixteen = false;
bool RefuseSixteenBytes(size_t bytes) { return !(g_refuseSixteen && bytes == 16); }

TEST(Image, DuplicateWithoutRoomForTheExtraDataFails)
{
    // The pixels (60 bytes) fit, the copy of the 4-word extra block does not:
    // no copy rather than a copy that writes through a null block.
    Image* image = testkit::MakePatternImage(5, 4, 3);
    char* exdata = image->ReserveExdata(4);
    ASSERT_NE(exdata, nullptr);
    exdata[0] = 7;
    SetImageAllocHook(RefuseSixteenBytes);
    g_refuseSixteen = true;
    LogCapture log;
    EXPECT_EQ(image->Duplicate(), nullptr);
    EXPECT_TRUE(log.contains("ERROR Image::Duplicate()"));
    EXPECT_EQ(image->ReserveExdata(4), nullptr);
    g_refuseSixteen = false;
    SetImageAllocHook(nullptr);
    image->ReserveExdata(4)[0] = 9;
    Image* copy = image->Duplicate();
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(testkit::SamePixels(*copy, *image));
    ReleaseImage(copy);
    ReleaseImage(image);
}

TEST(Image, HugeOrNegativeSizesAreRefused)
{
    LogCapture log;
    Image negative;
    EXPECT_FALSE(negative.Create(-5, 10, 3, IMG_UINT8));
    EXPECT_EQ(negative.GetData(), nullptr);
    Image wide;
    EXPECT_FALSE(wide.Create(1 << 30, 1, 3, IMG_FLOAT));  // row bytes beyond 32 bits
    EXPECT_EQ(wide.GetData(), nullptr);
    EXPECT_GE(log.errorCount(), 2);
}

// ---------------------------------------------------------------------------
// Pixel operations.

TEST(Image, FillTakesChannelBytesLowestFirst)
{
    Image image;
    ASSERT_EQ(image.BmpInit(3, 2, 3), 0);
    image.Fill(0xFFFF01);
    for (int y = 0; y < 2; ++y) {
        const unsigned char* row = image.GetData() + y * image.GetRowByte();
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(row[3 * x], 1);
            EXPECT_EQ(row[3 * x + 1], 255);
            EXPECT_EQ(row[3 * x + 2], 255);
        }
        EXPECT_EQ(row[9], 0) << "padding stays untouched";
    }
    image.Fill(-1);
    EXPECT_EQ(image.GetData()[0], 255);
    image.Clear();
    for (size_t i = 0; i < image.GetDataSize(); ++i) ASSERT_EQ(image.GetData()[i], 0);
}

TEST(Image, CopyDataToClipsAtTheTargetEdges)
{
    Image* source = testkit::MakePatternImage(4, 4, 3);
    Image target(5, 5, 3);
    source->CopyDataTo(0, 3, 0, 3, &target, 3, 2);  // only 2 x 3 pixels fit
    const unsigned char* t = target.GetData();
    const unsigned char* s = source->GetData();
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) {
            const bool inside = x >= 3 && y >= 2;
            for (int c = 0; c < 3; ++c) {
                const int expected = inside ? s[(y - 2) * 12 + (x - 3) * 3 + c] : 0;
                ASSERT_EQ(t[y * 15 + x * 3 + c], expected) << x << "," << y;
            }
        }
    ReleaseImage(source);
}

TEST(Image, OverlapImageMixesAndSkipsEmptyPixels)
{
    Image base(3, 1, 1);
    base.Fill(100);
    Image over(2, 1, 1);
    over.GetData()[0] = 200;
    over.GetData()[1] = 0;  // no data: leaves the base pixel alone
    base.OverlapImage(1, 0, &over, 0.25f);
    EXPECT_EQ(base.GetData()[0], 100);
    EXPECT_EQ(base.GetData()[1], 125);
    EXPECT_EQ(base.GetData()[2], 100);
    base.OverlapImage(-1, 0, &over, 1.0f);  // negative place: pixel 1 of over lands on 0
    EXPECT_EQ(base.GetData()[0], 100);
}

TEST(Image, DuplicateToChannelArrayAndBounds)
{
    Image* image = testkit::MakePatternImage(6, 3, 3, IMG_LAYOUT_BITMAP);
    Image* copy = image->Duplicate();
    EXPECT_EQ(copy->m_refCount, 1);
    EXPECT_NE(copy->GetData(), image->GetData());
    EXPECT_TRUE(testkit::SamePixels(*image, *copy));
    EXPECT_TRUE(copy->IsBmp());

    float* green = image->ToChannelArray(1);
    ASSERT_NE(green, nullptr);
    float lo = 1e9f, hi = -1e9f;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) {
            const float v = image->GetData()[y * image->GetRowByte() + x * 3 + 1];
            EXPECT_EQ(green[y * 6 + x], v);
        }
    delete[] green;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 18; ++x) {
            lo = std::min<float>(lo, image->GetData()[y * image->GetRowByte() + x]);
            hi = std::max<float>(hi, image->GetData()[y * image->GetRowByte() + x]);
        }
    float minimum, maximum;
    ASSERT_TRUE(image->GetBound(&minimum, &maximum));
    EXPECT_EQ(minimum, lo);
    EXPECT_EQ(maximum, hi);
    ReleaseImage(copy);
    ReleaseImage(image);
}

TEST(Image, ReserveExdataIsKeptAndReleasedWithTheImage)
{
    Image image(2, 2, 3);
    auto* words = reinterpret_cast<int32_t*>(image.ReserveExdata(4));
    ASSERT_NE(words, nullptr);
    words[0] = 1;
    words[1] = 1;
    words[2] = 0x00FF00;
    Image* copy = image.Duplicate();
    ReleaseImage(copy);
}

}  // namespace
