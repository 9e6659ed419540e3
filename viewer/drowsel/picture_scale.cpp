#include "viewer/drowsel/picture_scale.h"
#include "core/parallel_for.h"

#include "core/logger.h"

#include <algorithm>
#include <emmintrin.h>
#include <cstring>
#include <thread>
#include <vector>

namespace drowsel {

int Nearest(double v)
{
    return static_cast<int>(v + 0.5);
}

DisplayPlan PlanDisplay(int width, int height, bool panorama, int windowWidth, int windowHeight, int fovPercent)
{
    DisplayPlan plan;
    if (width <= 0 || height <= 0 || windowWidth <= 0 || windowHeight <= 0) return plan;
    const double scrollScale = (static_cast<double>(windowHeight) * fovPercent) / (static_cast<double>(height) * 100);
    if (panorama) {
        plan.scale = scrollScale;
        plan.scrolls = true;
        plan.bounces = false;
    } else {
        plan.bounces = true;
        if (width <= windowWidth && height <= windowHeight * 9 / 10) {
            plan.scale = 1.0;
            plan.scrolls = false;
        } else if (width < 2 * height) {
            plan.scale = std::min(static_cast<double>(windowWidth) / width, 0.9 * windowHeight / height);
            plan.scrolls = false;
        } else {
            plan.scale = scrollScale;
            plan.scrolls = true;
        }
    }
    plan.displayWidth = std::max(1, Nearest(width * plan.scale));
    plan.displayHeight = std::max(1, Nearest(height * plan.scale));
    plan.offsetX = std::max(0, (windowWidth - plan.displayWidth) / 2);
    plan.offsetY = std::max(0, (windowHeight - plan.displayHeight) / 2);
    return plan;
}

SourceTap TapFor(int x, int size, int displaySize)
{
    if (size <= 1) return {0, 0.0f};
    const double s = static_cast<double>(x) * size / displaySize;
    int index = static_cast<int>(s);
    float fraction = static_cast<float>(s - index);
    if (index >= size - 1) {
        index = size - 2;
        fraction = 1.0f;
    }
    return {index, fraction};
}

namespace {

bool Usable(const Image& source, int dw, int dh)
{
    const int c = source.GetChannels();
    if (!source.GetData() || source.GetWidth() <= 0 || source.GetHeight() <= 0 || dw <= 0 || dh <= 0 ||
        (c != 1 && c != 3) || !source.IsInterleaved() || source.GetDataBytes() != 1) {
        Logger::log("ERROR ResampleBilinear unusable source %dx%d (%d channels) or size %dx%d", 1, source.GetWidth(),
                    source.GetHeight(), c, dw, dh);
        return false;
    }
    return true;
}

Image* NewDisplayImage(int dw, int dh)
{
    // Rows padded to 4 bytes: the image is drawn as a 24-bit DIB.
    Image* out = new Image();
    if (out->BmpInit(dw, dh, 3) != 0) {
        Logger::log("ERROR ResampleBilinear cannot allocate %dx%d", 1, dw, dh);
        ReleaseImage(out);
        return nullptr;
    }
    return out;
}

// One source row interpolated horizontally at the display columns: three
// floats a column. Grey sources give the same value to all three.
template <int C>
void HorizontalRow(const unsigned char* row, const std::vector<int>& offsets, const std::vector<float>& fractions,
                   float* out, size_t from = 0)
{
    const size_t n = fractions.size();
    for (size_t i = from; i < n; ++i) {
        const unsigned char* p = row + offsets[i];
        const float f = fractions[i];
        for (int k = 0; k < 3; ++k) {
            const float a = p[C == 1 ? 0 : k], b = p[C == 1 ? 1 : k + 3];
            out[3 * i + k] = a + f * (b - a);
        }
    }
}

// The same for three channels, one pixel a step in SSE2: the two pixels of
// a tap are 6 neighbouring bytes, loaded as 8 (the caller keeps the load
// inside the row). The lanes compute exactly the plain loop's float
// operations. `out` has room for one float past the row.
void HorizontalRowSse2(const unsigned char* row, const int* offsets, const float* fractions, size_t n, float* out)
{
    const __m128i zero = _mm_setzero_si128();
    for (size_t i = 0; i < n; ++i) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + offsets[i]));
        const __m128i words = _mm_unpacklo_epi8(bytes, zero);
        const __m128 a = _mm_cvtepi32_ps(_mm_unpacklo_epi16(words, zero));   // a0 a1 a2 b0
        const __m128 high = _mm_cvtepi32_ps(_mm_unpackhi_epi16(words, zero));  // b1 b2 . .
        __m128 b = _mm_shuffle_ps(a, high, _MM_SHUFFLE(1, 0, 3, 3));            // b0 b0 b1 b2
        b = _mm_shuffle_ps(b, b, _MM_SHUFFLE(3, 3, 2, 1));                     // b0 b1 b2 b2
        const __m128 f = _mm_set1_ps(fractions[i]);
        _mm_storeu_ps(out + 3 * i, _mm_add_ps(a, _mm_mul_ps(f, _mm_sub_ps(b, a))));
    }
}

}  // namespace

Image* ResampleBilinear(const Image& source, int dw, int dh, int threads)
{
    if (!Usable(source, dw, dh)) return nullptr;
    Image* out = NewDisplayImage(dw, dh);
    if (!out) return nullptr;
    const int width = source.GetWidth(), height = source.GetHeight(), channels = source.GetChannels();
    // Column taps: byte offset of the left pixel and the fraction. A source
    // one pixel wide reads its only pixel twice (fraction 0).
    std::vector<int> offsets(static_cast<size_t>(dw));
    std::vector<float> fractions(static_cast<size_t>(dw));
    const int step = width > 1 ? channels : 0;
    for (int x = 0; x < dw; ++x) {
        const SourceTap t = TapFor(x, width, dw);
        offsets[static_cast<size_t>(x)] = t.index * channels;
        fractions[static_cast<size_t>(x)] = t.fraction;
    }
    const unsigned char* base = source.GetData();
    const size_t rowBytes = static_cast<size_t>(source.GetRowByte());
    const int secondRow = height > 1 ? 1 : 0;

    // Columns whose 8-byte load stays inside the row's pixels take SSE2.
    size_t wide = 0;
    while (wide < offsets.size() && static_cast<int64_t>(offsets[wide]) + 8 <= int64_t{width} * channels) ++wide;

    auto band = [&](int y0, int y1) {
        std::vector<float> top(static_cast<size_t>(dw) * 3 + 1), bottom(static_cast<size_t>(dw) * 3 + 1);
        int topRow = -1, bottomRow = -1;
        auto fill = [&](int row, std::vector<float>& into) {
            const unsigned char* r = base + static_cast<size_t>(row) * rowBytes;
            if (channels == 1) {
                if (step) HorizontalRow<1>(r, offsets, fractions, into.data());
                else for (int x = 0; x < dw; ++x) into[3 * x] = into[3 * x + 1] = into[3 * x + 2] = r[0];
            } else {
                if (step) {
                    HorizontalRowSse2(r, offsets.data(), fractions.data(), wide, into.data());
                    HorizontalRow<3>(r, offsets, fractions, into.data(), wide);
                }
                else for (int x = 0; x < dw; ++x) for (int k = 0; k < 3; ++k) into[3 * x + k] = r[k];
            }
        };
        for (int y = y0; y < y1; ++y) {
            const SourceTap t = TapFor(y, height, dh);
            const int r0 = t.index, r1 = t.index + secondRow;
            // Consecutive display rows often share their source rows.
            if (r0 == bottomRow && r0 != topRow) { std::swap(top, bottom); std::swap(topRow, bottomRow); }
            if (r0 != topRow) { fill(r0, top); topRow = r0; }
            if (r1 != bottomRow) { fill(r1, bottom); bottomRow = r1; }
            const float f = t.fraction;
            unsigned char* o = out->GetData() + static_cast<size_t>(y) * static_cast<size_t>(out->GetRowByte());
            const float* a = top.data();
            const float* b = bottom.data();
            const size_t n = static_cast<size_t>(dw) * 3;
            for (size_t i = 0; i < n; ++i) o[i] = static_cast<unsigned char>(a[i] + f * (b[i] - a[i]) + 0.5f);
        }
    };

    int workers = threads > 0 ? threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    workers = std::clamp(workers, 1, std::max(1, dh / 16));
    parallel::ForEach(workers, workers, [&](int k) {
        band(static_cast<int>(static_cast<int64_t>(dh) * k / workers),
             static_cast<int>(static_cast<int64_t>(dh) * (k + 1) / workers));
    });
    return out;
}

Image* ResampleBilinearReference(const Image& source, int dw, int dh)
{
    if (!Usable(source, dw, dh)) return nullptr;
    Image* out = NewDisplayImage(dw, dh);
    if (!out) return nullptr;
    const int width = source.GetWidth(), height = source.GetHeight(), channels = source.GetChannels();
    for (int y = 0; y < dh; ++y) {
        const SourceTap ty = TapFor(y, height, dh);
        const int y1 = height > 1 ? ty.index + 1 : ty.index;
        for (int x = 0; x < dw; ++x) {
            const SourceTap tx = TapFor(x, width, dw);
            const int x1 = width > 1 ? tx.index + 1 : tx.index;
            auto at = [&](int xx, int yy, int k) -> float {
                return source.GetData()[static_cast<size_t>(yy) * source.GetRowByte() +
                                        static_cast<size_t>(xx) * channels + (channels == 1 ? 0 : k)];
            };
            for (int k = 0; k < 3; ++k) {
                const float a0 = at(tx.index, ty.index, k), b0 = at(x1, ty.index, k);
                const float a1 = at(tx.index, y1, k), b1 = at(x1, y1, k);
                const float h0 = a0 + tx.fraction * (b0 - a0);
                const float h1 = a1 + tx.fraction * (b1 - a1);
                out->GetData()[static_cast<size_t>(y) * out->GetRowByte() + static_cast<size_t>(x) * 3 + k] =
                    static_cast<unsigned char>(h0 + ty.fraction * (h1 - h0) + 0.5f);
            }
        }
    }
    return out;
}

}  // namespace drowsel
