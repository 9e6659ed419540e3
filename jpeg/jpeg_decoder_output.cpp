// Output side of the JPEG decoder: blocks to samples (inverse transform or
// the one-eighth block mean), upsampling by replication and colour
// conversion into the image, one MCU row at a time.
#include "jpeg/jpeg_decoder.h"

#include "imaging/image.h"
#include "jpeg/jpeg_colour.h"
#include "jpeg/jpeg_idct.h"
#include "jpeg/jpeg_simd.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

namespace {

// True when every AC coefficient of a natural-order block is zero.
inline bool OnlyDc(const int16_t* block)
{
    const __m128i* p = reinterpret_cast<const __m128i*>(block);
    __m128i acc = _mm_and_si128(_mm_loadu_si128(p), _mm_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0));
    for (int i = 1; i < 8; ++i) acc = _mm_or_si128(acc, _mm_loadu_si128(p + i));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(acc, _mm_setzero_si128())) == 0xFFFF;
}

void FillBlock(uint8_t* out, size_t stride, uint8_t value)
{
    for (int y = 0; y < 8; ++y) std::memset(out + y * stride, value, 8);
}

// Replicates each sample `ratio` times across.
void ExpandRow(const uint8_t* src, uint8_t* dst, int width, int ratio)
{
    if (ratio == 2) {
        int x = 0;
        for (; x + 1 < width; x += 2) dst[x] = dst[x + 1] = src[x >> 1];
        if (x < width) dst[x] = src[x >> 1];
        return;
    }
    for (int x = 0; x < width; ++x) dst[x] = src[x / ratio];
}

}  // namespace

void JpegDecoder::TransformBlock(const Component& c, const int16_t* block, int last, uint8_t* out)
{
    if (last == 0)
        FillBlock(out, c.rowStride, IdctDcValue(block[0], c.quant[0]));
    else if (JpegSimdLevel() == JpegSimd::kScalar)
        IdctIslowScalar(block, c.quant, out, static_cast<ptrdiff_t>(c.rowStride));
    else
        IdctIslowSse2(block, c.quant, out, static_cast<ptrdiff_t>(c.rowStride));
}

void JpegDecoder::TransformBlockRow(const Component& c, const int16_t* blocks, const uint8_t* hasAc, int count,
                                    uint8_t* out)
{
    const bool pairs = JpegSimdLevel() == JpegSimd::kAvx2;
    auto withAc = [&](int bx) { return hasAc ? hasAc[bx] != 0 : !OnlyDc(blocks + static_cast<size_t>(bx) * 64); };
    bool current = count > 0 && withAc(0);
    for (int bx = 0; bx < count;) {
        const int16_t* block = blocks + static_cast<size_t>(bx) * 64;
        const bool next = bx + 1 < count && withAc(bx + 1);
#if defined(__x86_64__)
        if (pairs && current && next) {
            IdctIslowAvx2Pair(block, c.quant, out + bx * 8, static_cast<ptrdiff_t>(c.rowStride));
            bx += 2;
            current = bx < count && withAc(bx);
            continue;
        }
#endif
        TransformBlock(c, block, current ? 63 : 0, out + bx * 8);
        ++bx;
        current = next;
    }
}

void JpegDecoder::TransformMcuRowFromCoefficients(int mcuRow)
{
    const size_t perBlock = static_cast<size_t>(CoefsPerBlock());
    const int bs = BlockSize();
    for (int i = 0; i < m_componentCount; ++i) {
        Component& c = m_comp[i];
        for (int by = 0; by < c.v; ++by) {
            const size_t blockRow = static_cast<size_t>(mcuRow) * c.v + by;
            const int16_t* block = c.coefs.get() + blockRow * c.blocksAcross * perBlock;
            uint8_t* out = c.rows.data() + static_cast<size_t>(by * bs) * c.rowStride;
            if (!m_oneEighth) {
                TransformBlockRow(c, block, nullptr, c.blocksAcross, out);
                continue;
            }
            for (int bx = 0; bx < c.blocksAcross; ++bx, block += perBlock, out += bs)
                *out = IdctDcValue(block[0], c.quant[0]);
        }
    }
}

void JpegDecoder::EmitMcuRow(Image* image, int mcuRow)
{
    const int bs = BlockSize();
    const int rowsPerMcu = m_vMax * bs;
    const int y0 = mcuRow * rowsPerMcu;
    const int rows = std::min(rowsPerMcu, OutputHeight() - y0);
    const int width = OutputWidth();
    const size_t rowBytes = static_cast<size_t>(image->GetRowByte());
    uint8_t* dst = image->GetData() + static_cast<size_t>(y0) * rowBytes;

    for (int r = 0; r < rows; ++r, dst += rowBytes) {
        const uint8_t* src[3];
        for (int i = 0; i < m_componentCount; ++i) {
            Component& c = m_comp[i];
            src[i] = c.rows.data() + static_cast<size_t>(r / c.vRatio) * c.rowStride;
        }
        if (m_componentCount == 1) {
            std::memcpy(dst, src[0], static_cast<size_t>(width));
            continue;
        }
        const bool halfChroma = !m_rgb && m_comp[0].hRatio == 1 && m_comp[1].hRatio == 2 && m_comp[2].hRatio == 2;
        if (halfChroma) {
            ConvertRowYCbCrHalfChroma(*m_colour, src[0], src[1], src[2], dst, width);
            continue;
        }
        for (int i = 0; i < 3; ++i) {
            if (m_comp[i].hRatio == 1) continue;
            ExpandRow(src[i], m_comp[i].expanded.data(), width, m_comp[i].hRatio);
            src[i] = m_comp[i].expanded.data();
        }
        if (m_rgb)
            ConvertRowRgb(*m_colour, src[0], src[1], src[2], dst, width);
        else
            ConvertRowYCbCr(*m_colour, src[0], src[1], src[2], dst, width);
    }
}
