#include "align/warpfit/mcc_ncc.h"

#include "imaging/image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace warpfit {

namespace {

// Padding of every widened row: a kernel reads up to 15 samples past the
// last pixel of a block that ends at the right edge.
constexpr size_t kRowPad = 16;

bool Usable(const Image* img)
{
    return img && img->GetData() && img->GetDataType() == IMG_UINT8 && img->IsInterleaved() &&
           (img->GetChannels() == 1 || img->GetChannels() == 3) && img->GetWidth() > 0 && img->GetHeight() > 0;
}

int64_t BlockDotScalar(const NccTemplate& t, const int16_t* b, size_t stride)
{
    const int n = t.width * t.channels;
    int64_t s = 0;
    for (int y = 0; y < t.height; ++y) {
        const int16_t* a = t.samples.data() + static_cast<size_t>(y) * t.rowLength;
        const int16_t* bb = b + static_cast<size_t>(y) * stride;
        int64_t row = 0;
        for (int i = 0; i < n; ++i) row += int32_t{a[i]} * bb[i];
        s += row;
    }
    return s;
}

#if defined(__x86_64__)
int64_t BlockDotSse2(const NccTemplate& t, const int16_t* b, size_t stride)
{
    // Each 32-bit lane gains at most 2 * 255 * 255 per multiply-add; flush to
    // 64 bits before a lane could pass 2^31.
    const int perRow = t.rowLength / 8;
    const int flushRows = std::max(1, static_cast<int>(2000000000LL / (int64_t{perRow} * 2 * 255 * 255)));
    int64_t total = 0;
    __m128i acc = _mm_setzero_si128();
    for (int y = 0; y < t.height; ++y) {
        const int16_t* a = t.samples.data() + static_cast<size_t>(y) * t.rowLength;
        const int16_t* bb = b + static_cast<size_t>(y) * stride;
        for (int k = 0; k < perRow; ++k) {
            const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 8 * k));
            const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bb + 8 * k));
            acc = _mm_add_epi32(acc, _mm_madd_epi16(va, vb));
        }
        if ((y + 1) % flushRows == 0 || y + 1 == t.height) {
            alignas(16) int32_t lanes[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(lanes), acc);
            total += int64_t{lanes[0]} + lanes[1] + lanes[2] + lanes[3];
            acc = _mm_setzero_si128();
        }
    }
    return total;
}
#endif

}  // namespace

bool NccKernelAvailable(NccKernel kernel)
{
    switch (kernel) {
    case NccKernel::Scalar:
        return true;
    case NccKernel::Sse2:
#if defined(__x86_64__)
        return true;
#else
        return false;
#endif
    case NccKernel::Avx2:
        return detail::HasAvx2();
    }
    return false;
}

NccKernel BestNccKernel()
{
    if (NccKernelAvailable(NccKernel::Avx2)) return NccKernel::Avx2;
    if (NccKernelAvailable(NccKernel::Sse2)) return NccKernel::Sse2;
    return NccKernel::Scalar;
}

bool NccSearchImage::Init(const Image* img)
{
    *this = NccSearchImage();
    if (!Usable(img)) return false;
    m_width = img->GetWidth();
    m_height = img->GetHeight();
    m_channels = img->GetChannels();
    m_stride = static_cast<size_t>(m_width) * m_channels + kRowPad;
    m_samples.assign(m_stride * m_height + kRowPad, 0);
    const size_t w1 = static_cast<size_t>(m_width) + 1;
    m_sum.assign(w1 * (m_height + 1), 0);
    m_sumSq.assign(w1 * (m_height + 1), 0);
    for (int y = 0; y < m_height; ++y) {
        const unsigned char* src = img->GetData() + static_cast<size_t>(y) * img->GetRowByte();
        int16_t* dst = m_samples.data() + static_cast<size_t>(y) * m_stride;
        int64_t rowSum = 0, rowSq = 0;
        const int64_t* above = &m_sum[static_cast<size_t>(y) * w1];
        const int64_t* aboveSq = &m_sumSq[static_cast<size_t>(y) * w1];
        int64_t* cur = &m_sum[static_cast<size_t>(y + 1) * w1];
        int64_t* curSq = &m_sumSq[static_cast<size_t>(y + 1) * w1];
        for (int x = 0; x < m_width; ++x) {
            for (int c = 0; c < m_channels; ++c) {
                const int v = src[x * m_channels + c];
                dst[x * m_channels + c] = static_cast<int16_t>(v);
                rowSum += v;
                rowSq += v * v;
            }
            cur[x + 1] = above[x + 1] + rowSum;
            curSq[x + 1] = aboveSq[x + 1] + rowSq;
        }
    }
    return true;
}

int64_t NccSearchImage::Block(const std::vector<int64_t>& t, int x, int y, int w, int h) const
{
    const size_t w1 = static_cast<size_t>(m_width) + 1;
    const size_t x0 = x, y0 = y, x1 = static_cast<size_t>(x) + w, y1 = static_cast<size_t>(y) + h;
    return t[y1 * w1 + x1] - t[y0 * w1 + x1] - t[y1 * w1 + x0] + t[y0 * w1 + x0];
}

bool NccTemplate::Init(const Image* img, int x, int y, int w, int h)
{
    *this = NccTemplate();
    if (!Usable(img) || w <= 0 || h <= 0 || x < 0 || y < 0 || x + w > img->GetWidth() || y + h > img->GetHeight())
        return false;
    width = w;
    height = h;
    channels = img->GetChannels();
    rowLength = (w * channels + 15) / 16 * 16;
    samples.assign(static_cast<size_t>(rowLength) * h, 0);
    for (int j = 0; j < h; ++j) {
        const unsigned char* src = img->GetData() + static_cast<size_t>(y + j) * img->GetRowByte() +
                                   static_cast<size_t>(x) * channels;
        int16_t* dst = samples.data() + static_cast<size_t>(j) * rowLength;
        for (int i = 0; i < w * channels; ++i) {
            dst[i] = src[i];
            sum += src[i];
            sumSq += int64_t{src[i]} * src[i];
        }
    }
    return true;
}

int64_t BlockDot(NccKernel kernel, const NccTemplate& t, const int16_t* b, size_t stride)
{
    switch (kernel) {
    case NccKernel::Avx2:
        if (detail::HasAvx2()) return detail::BlockDotAvx2(t, b, stride);
        [[fallthrough]];
    case NccKernel::Sse2:
#if defined(__x86_64__)
        return BlockDotSse2(t, b, stride);
#endif
    case NccKernel::Scalar:
        break;
    }
    return BlockDotScalar(t, b, stride);
}

double NccFromSums(int64_t n, int64_t sa, int64_t saa, int64_t sb, int64_t sbb, int64_t sab)
{
    if (n <= 0) return 0;
    const double N = static_cast<double>(n);
    const double A = static_cast<double>(sa), B = static_cast<double>(sb);
    const double varA = static_cast<double>(saa) - A * A / N;
    const double varB = static_cast<double>(sbb) - B * B / N;
    const double den = varA * varB;
    // A flat template or block has no correlation to speak of.
    if (!(den > 0)) return 0;
    return (static_cast<double>(sab) - A * B / N) / std::sqrt(den);
}

void NccWindow(NccKernel kernel, const NccTemplate& t, const NccSearchImage& s, int bx, int by, int rx, int ry,
               double* map, unsigned char* valid)
{
    const int mw = 2 * rx + 1;
    const int64_t n = int64_t{t.width} * t.height * t.channels;
    const bool sameLayout = t.channels == s.Channels();
    for (int dy = -ry; dy <= ry; ++dy) {
        for (int dx = -rx; dx <= rx; ++dx) {
            const size_t k = static_cast<size_t>(dy + ry) * mw + (dx + rx);
            const int x = bx + dx, y = by + dy;
            // Shifts whose block leaves the overlay are not measured at all.
            if (!sameLayout || x < 0 || y < 0 || x + t.width > s.Width() || y + t.height > s.Height()) {
                map[k] = 0;
                valid[k] = 0;
                continue;
            }
            const int64_t sab = BlockDot(kernel, t, s.Pixel(x, y), s.Stride());
            map[k] = NccFromSums(n, t.sum, t.sumSq, s.Sum(x, y, t.width, t.height), s.SumSq(x, y, t.width, t.height),
                                 sab);
            valid[k] = 1;
        }
    }
}

}  // namespace warpfit
