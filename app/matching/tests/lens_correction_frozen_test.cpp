// The lens correction's output, byte for byte, against a frozen copy of
// the per-pixel path it was first written as (every sampling routine, the
// factor tables, the border clearing): any faster path must give the same
// bytes for one and three channels, with and without colour registration,
// with and without keeping the size, for s of 1 and not 1, landscape and
// portrait.
#include "app/matching/lens_correction.h"
#include "imaging/image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace frozen {

constexpr int kRed1 = 5;
constexpr int kBlue1 = 8;

// Samples of the uncorrected image; `data` may point at one sample of three.
struct Source {
    const uint8_t* data;
    size_t rowBytes;
    int lastX;
    int lastY;
};

using SampleFn = void (*)(const Source& src, float sx, float sy, uint8_t* out);

// Interpolated values are truncated toward zero; an extrapolated one (a
// source point just above the first row) is then held to the sample range.
// Values stay within a few times that range, so the conversion is defined.
inline uint8_t Truncate(float v)
{
    const int i = static_cast<int>(v);
    return static_cast<uint8_t>(i < 0 ? 0 : i > 255 ? 255 : i);
}

// Along one row or column: `first` is its first sample, `step` the distance
// between neighbours, `last` its last index. Edges keep 0.
template <int Count>
void AlongLine(const uint8_t* first, size_t step, int last, float v, uint8_t* out)
{
    if (v <= 0.0f) {
        for (int c = 0; c < Count; ++c) out[c] = first[c];
    } else if (v >= static_cast<float>(last)) {
        const uint8_t* p = first + static_cast<size_t>(last) * step;
        for (int c = 0; c < Count; ++c) out[c] = p[c];
    } else {
        const int i = static_cast<int>(v);
        const float f = v - static_cast<float>(i);
        const uint8_t* p = first + static_cast<size_t>(i) * step;
        for (int c = 0; c < Count; ++c) out[c] = Truncate((1.0f - f) * p[c] + f * p[c + step]);
    }
}

template <int Stride, int Count>
void AlongRow(const Source& src, int row, float sx, uint8_t* out)
{
    AlongLine<Count>(src.data + static_cast<size_t>(row) * src.rowBytes, Stride, src.lastX, sx, out);
}

template <int Stride, int Count>
void AlongColumn(const Source& src, int column, float sy, uint8_t* out)
{
    AlongLine<Count>(src.data + static_cast<size_t>(column) * Stride, src.rowBytes, src.lastY, sy, out);
}

// Bilinear between (ix, iy) and its right and lower neighbours. With Raise,
// a first sample of 0 becomes 1: 0 means "no data" in the maps the image
// goes into.
// Sample values as floats: a load is cheaper than a conversion in the
// bilinear loop.
struct SampleFloats {
    float v[256];
    constexpr SampleFloats() : v()
    {
        for (int i = 0; i < 256; ++i) v[i] = static_cast<float>(i);
    }
};
constexpr SampleFloats kSampleFloats;

template <int Stride, int Count, bool Raise>
void Bilinear(const Source& src, int ix, int iy, float fx, float fy, uint8_t* out)
{
    const float* f = kSampleFloats.v;
    const uint8_t* p = src.data + static_cast<size_t>(iy) * src.rowBytes + static_cast<size_t>(ix) * Stride;
    const uint8_t* q = p + src.rowBytes;
    const float w00 = (1.0f - fx) * (1.0f - fy);
    const float w10 = fx * (1.0f - fy);
    const float w01 = (1.0f - fx) * fy;
    const float w11 = fx * fy;
    for (int c = 0; c < Count; ++c)
        out[c] = Truncate(w00 * f[p[c]] + w10 * f[p[c + Stride]] + w01 * f[q[c]] + w11 * f[q[c + Stride]]);
    if (Raise && out[0] == 0) out[0] = 1;
}

// Far-off or undefined source points fall on the same edge case as any point
// just outside the image; holding them keeps the truncation defined.
inline float Hold(float v, float high)
{
    v = v > -2.0f ? v : -2.0f;  // NaN fails the test and is held too
    return v < high ? v : high;
}

inline void HoldPoint(const Source& src, float& sx, float& sy)
{
    sx = Hold(sx, static_cast<float>(src.lastX) + 2.0f);
    sy = Hold(sy, static_cast<float>(src.lastY) + 2.0f);
}

// Without colour registration: every sample of the pixel from one point, the
// cases tested on the truncated coordinates.
template <int Stride, int Count>
void SampleWhole(const Source& src, float sx, float sy, uint8_t* out)
{
    HoldPoint(src, sx, sy);
    const int ix = static_cast<int>(sx);
    const int iy = static_cast<int>(sy);
    if (iy < 0)
        AlongRow<Stride, Count>(src, 0, sx, out);
    else if (iy >= src.lastY)
        AlongRow<Stride, Count>(src, src.lastY, sx, out);
    else if (ix < 1)
        AlongColumn<Stride, Count>(src, 0, sy, out);
    else if (ix >= src.lastX)
        AlongColumn<Stride, Count>(src, src.lastX, sy, out);
    else
        Bilinear<Stride, Count, true>(src, ix, iy, sx - static_cast<float>(ix), sy - static_cast<float>(iy), out);
}

// With colour registration: one sample of three from its own point, the
// cases tested on the point itself.
void SampleOneOfThree(const Source& src, float sx, float sy, uint8_t* out)
{
    HoldPoint(src, sx, sy);
    if (sy <= 0.0f)
        AlongRow<3, 1>(src, 0, sx, out);
    else if (sy >= static_cast<float>(src.lastY))
        AlongRow<3, 1>(src, src.lastY, sx, out);
    else if (sx <= 0.0f)
        AlongColumn<3, 1>(src, 0, sy, out);
    else if (sx >= static_cast<float>(src.lastX))
        AlongColumn<3, 1>(src, src.lastX, sy, out);
    else {
        const int ix = static_cast<int>(sx);
        const int iy = static_cast<int>(sy);
        Bilinear<3, 1, false>(src, ix, iy, sx - static_cast<float>(ix), sy - static_cast<float>(iy), out);
    }
}

struct Span {
    int contentStart;
    int imageStart;
    int length;
};

Span PlaceContent(int corrected, int image, bool keepSize)
{
    if (!keepSize) return {0, 0, corrected};
    if (corrected > image) return {(corrected - image) / 2, 0, image};  // the centre part is kept
    return {0, (image - corrected) / 2, corrected};
}

// Factors along the radius, one entry per output pixel of radius / k.
struct FactorTables {
    std::vector<float> green;  // the polynomial alone; every sample without registration
    std::vector<float> blue;
    std::vector<float> red;
};

FactorTables MakeFactorTables(const float* rec, size_t entries, float R, bool registration)
{
    FactorTables t;
    t.green.resize(entries);
    if (registration) {
        t.blue.resize(entries);
        t.red.resize(entries);
    }
    const float* r = rec + kRed1;
    const float* b = rec + kBlue1;
    for (size_t i = 0; i < entries; ++i) {
        const float p = static_cast<float>(i) / R;
        const float g = DistortFactor(rec, p);
        t.green[i] = g;
        if (registration) {
            const float q = p * g;
            t.blue[i] = (((b[2] * q + b[1]) * q + b[0]) * q + 1.0f) * g;
            t.red[i] = (((r[2] * q + r[1]) * q + r[0]) * q + 1.0f) * g;
        }
    }
    return t;
}

struct Correction {
    int W, H, C;
    int outW, outH;
    float k, s;
    Span spanX, spanY;
};

// Fills the content rectangle of `pixels` (rows of `rowBytes`) from the
// source: per pixel the radius in table steps, one interpolated factor per
// table, one call of the sampling routine per factor.
void ResampleContent(const Correction& c, const float* rec, const Source& whole, uint8_t* pixels, size_t rowBytes)
{
    const float R = static_cast<float>(std::min(c.W, c.H)) / 2.0f;
    const float halfOutW = static_cast<float>(c.outW) / 2.0f;
    const float halfOutH = static_cast<float>(c.outH) / 2.0f;
    const float halfW = static_cast<float>(c.W) / 2.0f;
    const float halfH = static_cast<float>(c.H) / 2.0f;
    const bool registration = c.C > 1 && (rec[kRed1] != 0.0f || rec[kBlue1] != 0.0f);
    const size_t entries = static_cast<size_t>(std::sqrt(halfOutW * halfOutW + halfOutH * halfOutH) / c.k) + 2;
    const FactorTables tables = MakeFactorTables(rec, entries, R, registration);

    // The sampling routine is chosen once for the image.
    const SampleFn sample = registration ? SampleOneOfThree : (c.C == 3 ? SampleWhole<3, 3> : SampleWhole<1, 1>);
    const Source planes[3] = {whole, {whole.data + 1, whole.rowBytes, whole.lastX, whole.lastY},
                              {whole.data + 2, whole.rowBytes, whole.lastX, whole.lastY}};
    const float* green = tables.green.data();
    const float* perSample[3] = {tables.blue.data(), green, tables.red.data()};

    const float invK = 1.0f / c.k;
    const float sOverK = c.s / c.k;
    const int lastIndex = static_cast<int>(entries) - 2;
    for (int j = 0; j < c.spanY.length; ++j) {
        const float dy = static_cast<float>(c.spanY.contentStart + j) - halfOutH;
        const float dy2 = dy * dy;
        uint8_t* out = pixels + static_cast<size_t>(c.spanY.imageStart + j) * rowBytes + static_cast<size_t>(c.spanX.imageStart) * c.C;
        float dx = static_cast<float>(c.spanX.contentStart) - halfOutW;
        for (int i = 0; i < c.spanX.length; ++i, out += c.C, dx += 1.0f) {
            const float u = std::sqrt(dx * dx + dy2) * invK;
            const int index = std::min(static_cast<int>(u), lastIndex);
            const float t = u - static_cast<float>(index);
            if (!registration) {
                const float F = ((1.0f - t) * green[index] + t * green[index + 1]) * sOverK;
                sample(whole, dx * F + halfW, dy * F + halfH, out);
                continue;
            }
            for (int ch = 0; ch < 3; ++ch) {
                const float* T = perSample[ch];
                const float F = ((1.0f - t) * T[index] + t * T[index + 1]) * sOverK;
                sample(planes[ch], dx * F + halfW, dy * F + halfH, out + ch);
            }
        }
    }
}

// Zeroes every byte of the output that ResampleContent does not write: the
// rows above and below the content, the columns beside it and the padding
// at the end of each row.
void ClearAroundContent(const Correction& c, uint8_t* pixels, size_t rowBytes, size_t rows)
{
    const size_t top = static_cast<size_t>(c.spanY.imageStart);
    const size_t bottom = top + static_cast<size_t>(c.spanY.length);
    const size_t left = static_cast<size_t>(c.spanX.imageStart) * c.C;
    const size_t right = left + static_cast<size_t>(c.spanX.length) * c.C;
    std::memset(pixels, 0, top * rowBytes);
    if (rows > bottom) std::memset(pixels + bottom * rowBytes, 0, (rows - bottom) * rowBytes);
    for (size_t y = top; y < bottom && y < rows; ++y) {
        uint8_t* row = pixels + y * rowBytes;
        std::memset(row, 0, left);
        if (rowBytes > right) std::memset(row + right, 0, rowBytes - right);
    }
}


// The whole correction through the frozen routines; the image is known to be
// one the correction accepts.
std::vector<uint8_t> Correct(const float* rec, const Image& image, bool keepSize, float s, int& outW, int& outH, size_t& outRowBytes)
{
    const int W = image.GetWidth(), H = image.GetHeight(), C = image.GetChannels();
    GetCorrectedSize(rec, W, H, &outW, &outH, s);
    const float k = GetUndistortScale(rec, s);
    const Correction plan{W, H, C, outW, outH, k, s, PlaceContent(outW, W, keepSize), PlaceContent(outH, H, keepSize)};
    const Source whole{image.GetData(), static_cast<size_t>(image.GetRowByte()), W - 1, H - 1};
    Image shape(keepSize ? W : outW, keepSize ? H : outH, C);
    outRowBytes = static_cast<size_t>(shape.GetRowByte());
    const size_t rows = static_cast<size_t>(shape.GetHeight());
    std::vector<uint8_t> pixels(outRowBytes * rows, 0xCD);
    ClearAroundContent(plan, pixels.data(), outRowBytes, rows);
    ResampleContent(plan, rec, whole, pixels.data(), outRowBytes);
    if (keepSize) {
        outW = W;
        outH = H;
    }
    return pixels;
}

}  // namespace frozen

namespace {

TEST(LensCorrectionFrozen, EveryPathGivesTheBytesOfThePerPixelOriginal)
{
    struct Case {
        int width, height, channels;
        bool registration, keepSize;
        float s;
    };
    const Case cases[] = {
        {97, 64, 3, false, false, 1.0f}, {97, 64, 3, false, true, 1.0f}, {64, 97, 3, false, false, 0.9f},
        {97, 64, 3, true, false, 1.0f},  {64, 97, 3, true, true, 1.1f},  {97, 64, 1, false, false, 1.0f},
        {63, 101, 1, true, true, 0.95f}, {80, 80, 3, false, true, 1.0f},
        // Odd widths and short rows leave every tail length; tiny images have
        // no bilinear interior at all.
        {203, 131, 3, false, false, 1.05f}, {131, 203, 1, false, true, 0.9f}, {203, 131, 3, true, false, 0.97f},
        {131, 203, 3, true, true, 1.0f},    {45, 27, 3, false, false, 1.0f},  {27, 45, 1, false, true, 1.0f},
        {11, 7, 3, false, false, 1.0f},     {7, 11, 3, true, true, 1.0f},      {5, 3, 1, false, false, 1.0f},
    };
    const float barrel[11] = {0.01f, -0.05f, 0.03f, 1.0f, 0, 0, 0, 0, 0, 0, 0};
    const float colour[11] = {0.01f, -0.05f, 0.03f, 1.0f, 0, 0.002f, -0.001f, 0, -0.002f, 0.001f, 0};
    const float pincushion[11] = {-0.01f, 0.04f, -0.02f, 1.0f, 0, 0, 0, 0, 0, 0, 0};
    for (const Case& c : cases) {
        for (const float* rec : {c.registration ? colour : barrel, pincushion}) {
            SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.channels << " registration "
                                            << c.registration << " keep " << c.keepSize << " s " << c.s
                                            << (rec == pincushion ? " pincushion" : ""));
            Image image(c.width, c.height, c.channels);
            std::mt19937 random(static_cast<uint32_t>(c.width * 7 + c.height));
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width * c.channels; ++x)  // zeros included: the 0 -> 1 rule runs
                    image.GetData()[static_cast<size_t>(y) * image.GetRowByte() + x] = static_cast<uint8_t>(random() % 6 == 0 ? 0 : random());
            int wantW = 0, wantH = 0;
            size_t wantRowBytes = 0;
            const std::vector<uint8_t> want = frozen::Correct(rec, image, c.keepSize, c.s, wantW, wantH, wantRowBytes);
            CorrectLensDistortion(rec, &image, c.keepSize, c.s);
            ASSERT_EQ(image.GetWidth(), wantW);
            ASSERT_EQ(image.GetHeight(), wantH);
            ASSERT_EQ(static_cast<size_t>(image.GetRowByte()), wantRowBytes);
            EXPECT_EQ(std::memcmp(image.GetData(), want.data(), want.size()), 0);
        }
    }
}

// A photograph-sized image corrected three times over: the third correction
// writes into the buffer the first one made (handed back by the second), which
// still holds that content where the third leaves a zero border. Every
// correction must still give the bytes of the per-pixel original.
TEST(LensCorrectionFrozen, RepeatedCorrectionsGiveTheOriginalBytesInReusedBuffers)
{
    const float wide[11] = {0.01f, -0.05f, 0.03f, 1.0f, 0, 0, 0, 0, 0, 0, 0};     // cut to the image: no border
    const float narrow[11] = {-0.01f, 0.04f, -0.02f, 1.0f, 0, 0, 0, 0, 0, 0, 0};  // a zero border left and right
    Image image(2400, 1600, 3);
    std::mt19937 random(5);
    for (size_t i = 0; i < image.GetDataSize(); ++i) image.GetData()[i] = static_cast<uint8_t>(random() | 1);
    const uint8_t* firstBuffer = nullptr;
    const float* records[] = {wide, narrow, narrow};
    for (int pass = 0; pass < 3; ++pass) {
        SCOPED_TRACE(testing::Message() << "correction " << pass + 1);
        int wantW = 0, wantH = 0;
        size_t wantRowBytes = 0;
        const std::vector<uint8_t> want = frozen::Correct(records[pass], image, true, 1.0f, wantW, wantH, wantRowBytes);
        CorrectLensDistortion(records[pass], &image, true, 1.0f);
        ASSERT_EQ(static_cast<size_t>(image.GetRowByte()), wantRowBytes);
        ASSERT_EQ(std::memcmp(image.GetData(), want.data(), want.size()), 0);
        if (pass == 0) firstBuffer = image.GetData();
    }
    EXPECT_EQ(image.GetData(), firstBuffer) << "the third correction was to reuse the first one's buffer";
}

}  // namespace
