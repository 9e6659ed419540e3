#include "app/matching/lens_correction.h"

#include "app/matching/lens_correction_kernels.h"

#include "app/matching/photo_buffer.h"
#include "imaging/image.h"
#include "core/logger.h"
#include "projectgraph/curvekit/marker.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

constexpr int kRecordFloats = 11;
constexpr int kRed1 = 5;   // r1, r2, r3: the third sample of a pixel
constexpr int kBlue1 = 8;  // b1, b2, b3: the first sample

// Bracket growth and bisection are bounded so that a record whose radius
// never reaches the target (flat or decreasing) still ends.
constexpr int kMaxGrowthRounds = 60;
constexpr int kMaxBisections = 200;
// How far the corrected edge may miss the image edge, and how long the
// factor table may grow, before a record is refused.
constexpr float kEdgeTolerance = 0.01f;
constexpr float kTableLengthPerPixel = 16.0f;

bool IsUsableRecord(const float* rec)
{
    if (!rec) return false;
    for (int i = 0; i < kRecordFloats; ++i)
        if (!std::isfinite(rec[i])) return false;
    return true;
}

bool IsUsableScale(float s)
{
    return std::isfinite(s) && s > 0.0f;
}

using lens::Source;
using lens::SampleFn;

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

// Where the corrected content lies along one axis of the output image: its
// first content coordinate, where it is written and how many pixels.
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

}  // namespace

float DistortFactor(const float* rec, float p)
{
    return ((rec[0] * p + rec[1]) * p + rec[2]) * p + rec[3];
}

float DistortRadius(const float* rec, float p)
{
    return p * DistortFactor(rec, p);
}

float UndistortRadius(const float* rec, float target, float lo, float hi)
{
    // The bracket grows by half each round; a radius that is not increasing
    // stops the growth after a bounded number of rounds.
    for (int round = 0; round < kMaxGrowthRounds && DistortRadius(rec, hi) < target; ++round) {
        const float grown = std::max(hi * 1.5f, hi + 0.001f);
        if (!std::isfinite(grown)) break;
        hi = grown;
    }
    for (int step = 0; step < kMaxBisections && hi - lo > 0.0001f; ++step) {
        const float mid = (lo + hi) * 0.5f;
        if (!(mid > lo && mid < hi)) break;  // the bracket is down to adjacent floats
        if (DistortRadius(rec, mid) > target)
            hi = mid;
        else
            lo = mid;
    }
    return lo;
}

float GetUndistortScale(const float* rec, float s)
{
    return 1.0f / UndistortRadius(rec, 1.0f / s, 0.5f / s, 1.5f / s);
}

void GetCorrectedSize(const float* rec, int width, int height, int* outWidth, int* outHeight, float s)
{
    if (width == height) {
        *outWidth = width;
        *outHeight = height;
        return;
    }
    const int longSide = std::max(width, height);
    const int shortSide = std::min(width, height);
    const float ratio = static_cast<float>(longSide) / static_cast<float>(shortSide);
    const float k = GetUndistortScale(rec, s);
    const float pL = UndistortRadius(rec, ratio / s, 1.0f / s, ratio / s);
    const float corrected = std::trunc(static_cast<float>(shortSide) * pL * k);
    // A record that is not increasing can send the long side anywhere.
    const int newLong = std::isfinite(corrected) && corrected >= 0.0f && corrected < 2.0e9f ? static_cast<int>(corrected) : 0;
    if (width > height) {
        *outWidth = newLong;
        *outHeight = height;
    } else {
        *outWidth = width;
        *outHeight = newLong;
    }
}

namespace {

// The geometry of one correction: sizes, centres, scale and where the
// corrected content lies in the output image.
struct Correction {
    int W, H, C;          // the uncorrected image
    int outW, outH;       // the corrected size
    float k, s;
    Span spanX, spanY;
};

// False (with the ERROR line) for input the correction refuses.
bool PlanCorrection(const float* rec, const Image* image, bool keepSize, float s, Correction& plan)
{
    if (!image || !IsUsableRecord(rec) || !IsUsableScale(s)) {
        Logger::log("ERROR CorrectLensDistortion: no image, or a record or scale that is not finite and positive", 1);
        return false;
    }
    const int W = image->GetWidth(), H = image->GetHeight(), C = image->GetChannels();
    if (!image->GetData() || W < 1 || H < 1 || image->GetDataType() != IMG_UINT8 ||
        (C != 1 && !(C == 3 && image->IsInterleaved()))) {
        Logger::log("ERROR CorrectLensDistortion: only 8-bit images of one or three interleaved channels are corrected", 1);
        return false;
    }
    int outW = 0, outH = 0;
    GetCorrectedSize(rec, W, H, &outW, &outH, s);
    const float k = GetUndistortScale(rec, s);
    if (outW < 1 || outH < 1 || static_cast<int64_t>(outW) > 4 * static_cast<int64_t>(W) ||
        static_cast<int64_t>(outH) > 4 * static_cast<int64_t>(H) || !std::isfinite(k) || k <= 0.0f) {
        Logger::log("ERROR CorrectLensDistortion: the record gives a corrected size of %d x %d for %d x %d", 1, outW, outH, W, H);
        return false;
    }
    // The record must carry the middles of the long edges to the image edge,
    // and its scale must not call for a factor table far longer than the
    // image: a radius that never reaches the edge, or a vanishing one, is
    // refused rather than allocated.
    const float entriesWanted = std::hypot(static_cast<float>(outW) / 2.0f, static_cast<float>(outH) / 2.0f) / k + 2.0f;
    if (!(std::fabs(DistortRadius(rec, 1.0f / k) * s - 1.0f) <= kEdgeTolerance) ||
        !(entriesWanted <= kTableLengthPerPixel * static_cast<float>(outW + outH))) {
        Logger::log("ERROR CorrectLensDistortion: the record's radius does not reach the image edge (scale %g)", 1, static_cast<double>(k));
        return false;
    }
    plan = Correction{W, H, C, outW, outH, k, s, PlaceContent(outW, W, keepSize), PlaceContent(outH, H, keepSize)};
    return true;
}

// The factors of one row for the vector loop. The pixels at dx < 0 come
// first; each takes the factor of the pixel at -dx where the row has it, as
// dx^2 is the same. Those whose mirror lies beyond the row are computed.
void FillFactors(const lens::RowJob& row, const float* table, float* factors)
{
    const int before = std::clamp(static_cast<int>(std::ceil(-row.dx0)), 0, row.count);
    lens::RowJob part = row;
    part.dx0 = row.dx0 + static_cast<float>(before);
    part.count = row.count - before;
    if (part.count > 0) lens::FactorRowAvx2(part, table, factors + before);
    if (before == 0) return;
    // Pixel i sits at -dx of pixel mirrorSum - i (2 dx0 is a whole number).
    const int mirrorSum = static_cast<int>(-2.0f * row.dx0);
    const int unmirrored = std::clamp(mirrorSum - row.count + 1, 0, before);
    if (unmirrored > 0) {
        part.dx0 = row.dx0;
        part.count = unmirrored;
        lens::FactorRowAvx2(part, table, factors);
    }
    for (int i = unmirrored; i < before; ++i) factors[i] = factors[mirrorSum - i];
}

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
    const SampleFn sample = lens::ChooseSampler(c.C, registration);
    const Source planes[3] = {whole, {whole.data + 1, whole.rowBytes, whole.lastX, whole.lastY},
                              {whole.data + 2, whole.rowBytes, whole.lastX, whole.lastY}};
    const float* green = tables.green.data();
    const float* perSample[3] = {tables.blue.data(), green, tables.red.data()};

    lens::RowJob row{};
    row.planes = registration ? planes : &whole;
    row.tables[0] = registration ? perSample[0] : green;
    row.tables[1] = perSample[1];
    row.tables[2] = perSample[2];
    row.sample = sample;
    row.channels = c.C;
    row.registration = registration;
    row.dx0 = static_cast<float>(c.spanX.contentStart) - halfOutW;
    row.invK = 1.0f / c.k;
    row.sOverK = c.s / c.k;
    row.halfW = halfW;
    row.halfH = halfH;
    row.lastIndex = static_cast<int>(entries) - 2;
    row.count = c.spanX.length;
    // The vector loop addresses the source with 32-bit offsets.
    const bool vectors = lens::HasAvx2() && whole.rowBytes * static_cast<size_t>(whole.lastY + 1) < (size_t{1} << 31) - 64;
    auto rowAt = [&](int j) {
        row.dy = static_cast<float>(c.spanY.contentStart + j) - halfOutH;
        row.out = pixels + static_cast<size_t>(c.spanY.imageStart + j) * rowBytes + static_cast<size_t>(c.spanX.imageStart) * c.C;
    };
    if (!vectors) {
        for (int j = 0; j < c.spanY.length; ++j) {
            rowAt(j);
            lens::ResampleRowPortable(row);
        }
        return;
    }
    // The factors of a row serve the row at -dy as well: rows are done in
    // such pairs, the factors computed once per pair.
    const int tableCount = registration ? 3 : 1;
    std::vector<float> factors(static_cast<size_t>(row.count) * tableCount);
    for (int t = 0; t < tableCount; ++t) row.factors[t] = factors.data() + static_cast<size_t>(t) * row.count;
    for (int j = 0; j < c.spanY.length; ++j) {
        const int mirror = c.outH - 2 * c.spanY.contentStart - j;  // the row at -dy
        if (mirror >= 0 && mirror < j) continue;                     // done with it
        rowAt(j);
        for (int t = 0; t < tableCount; ++t) FillFactors(row, row.tables[t], factors.data() + static_cast<size_t>(t) * row.count);
        if (mirror > j && mirror < c.spanY.length) {
            const lens::RowJob first = row;
            rowAt(mirror);
            lens::ResampleRowPairAvx2(first, row.dy, row.out);
        } else {
            lens::ResampleRowAvx2(row);
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

}  // namespace

void CorrectLensDistortion(const float* rec, Image* image, bool keepSize, float s)
{
    Correction plan{};
    if (!PlanCorrection(rec, image, keepSize, s, plan)) return;

    // The old pixels stay with the image until the new buffer is handed over.
    const Source whole{image->GetData(), static_cast<size_t>(image->GetRowByte()), plan.W - 1, plan.H - 1};
    if (!keepSize) {
        image->SetSize(plan.outW, plan.outH);
        image->ComputeRowBytes();
    }
    const size_t rowBytes = image->GetRowByte() > 0 ? static_cast<size_t>(image->GetRowByte()) : 0;
    const size_t rows = static_cast<size_t>(image->GetHeight());
    // Not zero-filled here: the content rectangle is written whole, and only
    // the border and row padding around it are cleared (a full fill of a
    // photograph-sized buffer cost as much as the resampling).
    struct Free {
        void operator()(uint8_t* data) const { std::free(data); }
    };
    std::unique_ptr<uint8_t, Free> pixels(rowBytes ? AllocatePhotoBuffer(rowBytes * rows) : nullptr);
    if (!pixels) {
        Logger::log("ERROR CorrectLensDistortion: cannot allocate the %d x %d corrected image", 1, image->GetWidth(), image->GetHeight());
        image->SetSize(plan.W, plan.H);
        image->SetRowBytes(static_cast<int>(whole.rowBytes));
        return;
    }
    ClearAroundContent(plan, pixels.get(), rowBytes, rows);
    ResampleContent(plan, rec, whole, pixels.get(), rowBytes);
    // A buffer the image owns from malloc goes back for the next correction
    // or reduction to write into.
    uint8_t* old = image->GetData();
    const bool recycle = image->IsDataOwner() && image->IsMallocData();
    if (recycle) image->SetDataOwner(false);
    image->SetData(pixels.release(), true);
    if (recycle) RecyclePhotoBuffer(old, whole.rowBytes * static_cast<size_t>(plan.H));
}

Marker* CorrectMarkerDistortion(const Marker* points, const float* rec, int width, int height, float s)
{
    if (!points || !IsUsableRecord(rec) || !IsUsableScale(s) || width < 1 || height < 1) {
        Logger::log("ERROR CorrectMarkerDistortion: no points, or a record, scale or size that is not usable", 1);
        return nullptr;
    }
    const float R = static_cast<float>(std::min(width, height)) / 2.0f;
    const float halfW = static_cast<float>(width) / 2.0f;
    const float halfH = static_cast<float>(height) / 2.0f;
    const float diag = std::sqrt(halfW * halfW + halfH * halfH) / R;
    const float k = GetUndistortScale(rec, s);

    // The size of the uncorrected image the points were found on.
    float uncW = static_cast<float>(width);
    float uncH = static_cast<float>(height);
    if (width > height)
        uncW = std::trunc(DistortRadius(rec, halfW / R / k) * 2.0f * R * s + 0.5f);
    else
        uncH = std::trunc(DistortRadius(rec, halfH / R / k) * 2.0f * R * s + 0.5f);
    if (!std::isfinite(uncW) || !std::isfinite(uncH) || !std::isfinite(k)) {
        Logger::log("ERROR CorrectMarkerDistortion: the record gives no uncorrected size for %d x %d", 1, width, height);
        return nullptr;
    }

    auto* corrected = new Marker(points->GetKind());
    const POINT2M* records = points->GetMarker();
    for (int i = 0; i < points->GetNumbOfMarker(); ++i) {
        const float x = records[i].x;
        const float y = records[i].y;
        const float dx = x - uncW / 2.0f;
        const float dy = y - uncH / 2.0f;
        const float rr = std::sqrt(dx * dx + dy * dy);
        if (!(rr > 3.0f)) {
            corrected->AppendMarker(x, y);
            continue;
        }
        const float p = UndistortRadius(rec, rr / R / s, 0.0f, diag / s);
        const float r = p * R * k;
        corrected->AppendMarker(r * dx / rr + halfW, r * dy / rr + halfH);
    }
    return corrected;
}

namespace lens {

SampleFn ChooseSampler(int channels, bool registration)
{
    return registration ? SampleOneOfThree : (channels == 3 ? SampleWhole<3, 3> : SampleWhole<1, 1>);
}

void ResampleRowPortable(const RowJob& r)
{
    const float dy2 = r.dy * r.dy;
    uint8_t* out = r.out;
    float dx = r.dx0;
    for (int i = 0; i < r.count; ++i, out += r.channels, dx += 1.0f) {
        const float u = std::sqrt(dx * dx + dy2) * r.invK;
        const int index = std::min(static_cast<int>(u), r.lastIndex);
        const float t = u - static_cast<float>(index);
        if (!r.registration) {
            const float* T = r.tables[0];
            const float F = ((1.0f - t) * T[index] + t * T[index + 1]) * r.sOverK;
            r.sample(r.planes[0], dx * F + r.halfW, r.dy * F + r.halfH, out);
            continue;
        }
        for (int ch = 0; ch < 3; ++ch) {
            const float* T = r.tables[ch];
            const float F = ((1.0f - t) * T[index] + t * T[index + 1]) * r.sOverK;
            r.sample(r.planes[ch], dx * F + r.halfW, r.dy * F + r.halfH, out + ch);
        }
    }
}

}  // namespace lens
