// Colour conversion, transform, scan coding and file layout of the JPEG
// encoder. Every scan is coded twice by the same code: once counting symbols
// (the statistics that make the Huffman tables) and once writing them.
#include "jpeg/jpeg_encoder.h"

#include "jpeg/jpeg_encoder_colour.h"
#include "jpeg/jpeg_simd.h"
#include "jpeg/jpeg_tables.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include <emmintrin.h>

namespace {

// Example tables of T.81 Annex K (K.1 luminance, K.2 chrominance), natural order.
constexpr uint16_t kLuminanceTable[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,  14, 13, 16, 24, 40,  57,
    69, 56, 14, 17, 22,  29,  51,  87,  80, 62, 18, 22, 37,  56,  68,  109, 103, 77, 24, 35, 55, 64,
    81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99,
};
constexpr uint16_t kChrominanceTable[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
};

inline int BitLength(uint32_t v)
{
    return v ? 32 - __builtin_clz(v) : 0;
}

// Counting pass: symbol frequencies per table.
struct CountingCoder {
    uint32_t freq[JpegEncoder::kTableCount][256] = {};
    void Symbol(int table, int symbol) { ++freq[table][symbol]; }
    void SymbolAndBits(int table, int symbol, uint32_t, int) { ++freq[table][symbol]; }
    void Bits(uint32_t, int) {}
    void EndScan() {}
};

// Writing pass.
struct WritingCoder {
    JpegBitWriter bits;
    const HuffmanEncodeTable* tables;
    WritingCoder(JpegByteSink& sink, const HuffmanEncodeTable* t) : bits(sink), tables(t) {}
    void Symbol(int table, int symbol) { bits.PutBits(tables[table].code[symbol], tables[table].size[symbol]); }
    // A code (up to 16 bits) and its value bits (up to 15) in one go.
    void SymbolAndBits(int table, int symbol, uint32_t value, int n)
    {
        const int size = tables[table].size[symbol];
        bits.PutBits((static_cast<uint32_t>(tables[table].code[symbol]) << n) | (value & ((1u << n) - 1)), size + n);
    }
    void Bits(uint32_t value, int n) { bits.PutBits(value, n); }
    void EndScan() { bits.FlushToByte(); }
};

// Bit k set for every nonzero coefficient k of a zigzag block.
inline uint64_t NonzeroMask(const int16_t* zz)
{
    const __m128i zero = _mm_setzero_si128();
    uint64_t zeros = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i a = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(zz + 16 * i)), zero);
        const __m128i b = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(zz + 16 * i + 8)), zero);
        zeros |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(a, b)))) << (16 * i);
    }
    return ~zeros;
}

// Sequential block (T.81 F.1.2): DC difference, AC run/size symbols with
// ZRL for every 16 zeros, EOB unless the last coefficient is at 63.
template <class Coder>
void EncodeSequentialBlock(Coder& coder, const int16_t* zz, int& lastDc, int dcTable, int acTable)
{
    const int diff = zz[0] - lastDc;
    lastDc = zz[0];
    const int dcBits = BitLength(static_cast<uint32_t>(diff < 0 ? -diff : diff));
    coder.SymbolAndBits(dcTable, dcBits, static_cast<uint32_t>(diff < 0 ? diff - 1 : diff), dcBits);
    uint64_t nonzero = NonzeroMask(zz) & ~uint64_t{1};
    int last = 0;
    while (nonzero) {
        const int k = __builtin_ctzll(nonzero);
        nonzero &= nonzero - 1;
        int run = k - last - 1;
        last = k;
        while (run > 15) {
            coder.Symbol(acTable, 0xF0);
            run -= 16;
        }
        const int v = zz[k];
        const int n = BitLength(static_cast<uint32_t>(v < 0 ? -v : v));
        coder.SymbolAndBits(acTable, (run << 4) + n, static_cast<uint32_t>(v < 0 ? v - 1 : v), n);
    }
    if (last < 63) coder.Symbol(acTable, 0x00);
}

// State of one progressive AC scan (T.81 G.1.2.2, G.1.2.3): the pending
// EOB run and the correction bits that must follow its symbol.
template <class Coder>
struct ProgressiveAcCoder {
    static constexpr int kMaxCorrectionBits = 1000;
    Coder& coder;
    int table;
    int eobRun = 0;
    int bufferedBits = 0;  // correction bits of the blocks in the EOB run
    uint8_t correction[kMaxCorrectionBits];

    ProgressiveAcCoder(Coder& c, int t) : coder(c), table(t) {}

    void EmitBuffered(const uint8_t* bits, int n)
    {
        for (int i = 0; i < n; ++i) coder.Bits(bits[i], 1);
    }
    void EmitEobRun()
    {
        if (eobRun == 0) return;
        const int n = BitLength(static_cast<uint32_t>(eobRun)) - 1;
        coder.Symbol(table, n << 4);
        if (n) coder.Bits(static_cast<uint32_t>(eobRun), n);
        eobRun = 0;
        EmitBuffered(correction, bufferedBits);
        bufferedBits = 0;
    }

    void FirstBlock(const int16_t* zz, int ss, int se, int al)
    {
        int run = 0;
        for (int k = ss; k <= se; ++k) {
            int t = zz[k];
            if (t == 0) {
                ++run;
                continue;
            }
            int t2;
            if (t < 0) {
                t = (-t) >> al;
                t2 = ~t;
            } else {
                t >>= al;
                t2 = t;
            }
            if (t == 0) {
                ++run;
                continue;
            }
            EmitEobRun();
            while (run > 15) {
                coder.Symbol(table, 0xF0);
                run -= 16;
            }
            const int n = BitLength(static_cast<uint32_t>(t));
            coder.Symbol(table, (run << 4) + n);
            coder.Bits(static_cast<uint32_t>(t2), n);
            run = 0;
        }
        if (run > 0 && ++eobRun == 0x7FFF) EmitEobRun();
    }

    void RefineBlock(const int16_t* zz, int ss, int se, int al)
    {
        int absolute[64];
        int eob = 0;  // last position that becomes nonzero in this scan
        for (int k = ss; k <= se; ++k) {
            const int t = (zz[k] < 0 ? -zz[k] : zz[k]) >> al;
            absolute[k] = t;
            if (t == 1) eob = k;
        }
        int run = 0;
        int start = bufferedBits;  // this block's correction bits follow the run's
        int count = 0;
        for (int k = ss; k <= se; ++k) {
            const int t = absolute[k];
            if (t == 0) {
                ++run;
                continue;
            }
            // ZRLs are needed only before a newly nonzero coefficient.
            while (run > 15 && k <= eob) {
                EmitEobRun();
                coder.Symbol(table, 0xF0);
                run -= 16;
                EmitBuffered(correction + start, count);
                start = 0;
                count = 0;
            }
            if (t > 1) {
                // Already nonzero: one correction bit.
                correction[start + count++] = static_cast<uint8_t>(t & 1);
                continue;
            }
            EmitEobRun();
            coder.Symbol(table, (run << 4) + 1);
            coder.Bits(zz[k] < 0 ? 0u : 1u, 1);
            EmitBuffered(correction + start, count);
            start = 0;
            count = 0;
            run = 0;
        }
        if (run > 0 || count > 0) {
            ++eobRun;
            bufferedBits += count;
            if (eobRun == 0x7FFF || bufferedBits > kMaxCorrectionBits - 64 + 1) EmitEobRun();
        }
    }
};

std::atomic<JpegAllocHook> g_allocHook{nullptr};

}  // namespace

void SetJpegAllocHook(JpegAllocHook hook)
{
    g_allocHook = hook;
}

JpegEncoder::JpegEncoder(const uint8_t* source, ptrdiff_t rowBytes, int channels, int width, int height,
                         const JpegEncodeOptions& options)
    : m_source(source), m_rowBytes(rowBytes), m_channels(channels), m_width(width), m_height(height),
      m_options(options), m_componentCount(channels == 1 ? 1 : 3)
{
    // Sampling and the quantiser divisor go together: finer sampling, finer steps.
    const int level = options.sampling & 3;
    const int divisor = level == 0 ? 8 : level == 1 ? 5 : 2;
    const int lumaH = level == 0 ? 1 : 2, lumaV = level >= 2 ? 2 : 1;
    uint16_t table[64];
    for (int i = 0; i < 64; ++i) table[i] = static_cast<uint16_t>(std::max(1, kLuminanceTable[i] / divisor));
    m_quant[0].Set(table);
    for (int i = 0; i < 64; ++i) table[i] = static_cast<uint16_t>(std::max(1, kChrominanceTable[i] / divisor));
    m_quant[1].Set(table);

    if (m_componentCount == 1) {
        m_comp[0].h = m_comp[0].v = 1;
    } else {
        m_comp[0].h = lumaH;
        m_comp[0].v = lumaV;
        m_comp[1].quant = m_comp[2].quant = 1;
    }
    m_hMax = m_comp[0].h;
    m_vMax = m_comp[0].v;
    m_mcusAcross = (width + 8 * m_hMax - 1) / (8 * m_hMax);
    m_mcusDown = (height + 8 * m_vMax - 1) / (8 * m_vMax);
    for (int i = 0; i < m_componentCount; ++i) {
        Component& c = m_comp[i];
        c.hRatio = m_hMax / c.h;
        c.vRatio = m_vMax / c.v;
        c.lastX = (width + c.hRatio - 1) / c.hRatio - 1;
        c.lastY = (height + c.vRatio - 1) / c.vRatio - 1;
        c.blocksAcross = m_mcusAcross * c.h;
        c.blocksDown = m_mcusDown * c.v;
        c.scanBlocksAcross = ((width * c.h + m_hMax - 1) / m_hMax + 7) / 8;
        c.scanBlocksDown = ((height * c.v + m_vMax - 1) / m_vMax + 7) / 8;
        c.rowStride = static_cast<size_t>(c.blocksAcross) * 8;
    }
}

JpegEncoder::~JpegEncoder() = default;

size_t JpegEncoder::CoefficientBytes() const
{
    if (!m_options.progressive) return 0;
    size_t total = 0;
    for (int i = 0; i < m_componentCount; ++i)
        total += static_cast<size_t>(m_comp[i].blocksAcross) * static_cast<size_t>(m_comp[i].blocksDown) * 64 *
                 sizeof(int16_t);
    return total;
}

// ---------------------------------------------------------------------------
// Samples and coefficients.

// Fills each component's sample rows for one MCU row. Samples are
// level-shifted (centred on 0). A chroma sample is the colour of the top-left
// pixel of its group; beyond the image the last sample column and row repeat.
void JpegEncoder::ConvertMcuRow(int mcuRow)
{
    for (int i = 0; i < m_componentCount; ++i) {
        Component& c = m_comp[i];
        const size_t needed = c.rowStride * static_cast<size_t>(c.v) * 8;
        if (c.rows.size() != needed) c.rows.assign(needed, 0);
    }
    Component& luma = m_comp[0];
    const int rows = m_vMax * 8;
    for (int r = 0; r < rows; ++r) {
        const int y = mcuRow * rows + r;
        const bool chromaRow = m_componentCount == 3 && r % m_comp[1].vRatio == 0;
        int16_t* outY = luma.rows.data() + static_cast<size_t>(r) * luma.rowStride;
        int16_t* outCb = nullptr;
        int16_t* outCr = nullptr;
        if (chromaRow) {
            const size_t cr = static_cast<size_t>(r / m_comp[1].vRatio);
            outCb = m_comp[1].rows.data() + cr * m_comp[1].rowStride;
            outCr = m_comp[2].rows.data() + cr * m_comp[2].rowStride;
        }
        if (y >= m_height) {
            // Below the image: repeat the last row (the last chroma row is
            // in this MCU row too, as the image's last row is).
            std::memcpy(outY, outY - luma.rowStride, luma.rowStride * sizeof(int16_t));
            if (chromaRow) {
                std::memcpy(outCb, outCb - m_comp[1].rowStride, m_comp[1].rowStride * sizeof(int16_t));
                std::memcpy(outCr, outCr - m_comp[2].rowStride, m_comp[2].rowStride * sizeof(int16_t));
            }
            continue;
        }
        ConvertPixelRow(m_source + static_cast<ptrdiff_t>(y) * m_rowBytes, outY, outCb, outCr);
    }
}

// One row of pixels: luminance at every pixel, chroma (when asked) at every
// hRatio-th pixel; each sample row then padded by repeating its last sample.
void JpegEncoder::ConvertPixelRow(const uint8_t* src, int16_t* outY, int16_t* outCb, int16_t* outCr) const
{
    const int width = m_width;
    if (m_channels == 1) {
        for (int x = 0; x < width; ++x) outY[x] = static_cast<int16_t>(src[x] - 128);
    } else {
        const int step = m_comp[1].hRatio;
        int x = 0;
#if defined(__x86_64__)
        if (JpegSimdLevel() == JpegSimd::kAvx2) x = jpegcolour::ConvertRowAvx2(src, width, step, outY, outCb, outCr);
#endif
        for (; x < width; ++x) {
            const uint8_t* p = src + 3 * static_cast<ptrdiff_t>(x);
            const int b = p[0], g = p[1], r = p[2];
            const int n = jpegcolour::Weighted(b, g, r);
            outY[x] = static_cast<int16_t>(jpegcolour::Luma(n));
            if (outCb && x % step == 0) {
                outCb[x / step] = static_cast<int16_t>(jpegcolour::Cb(n, b, g, r));
                outCr[x / step] = static_cast<int16_t>(jpegcolour::Cr(n, b, g, r));
            }
        }
    }
    for (size_t x = static_cast<size_t>(width); x < m_comp[0].rowStride; ++x) outY[x] = outY[width - 1];
    if (outCb) {
        const size_t valid = static_cast<size_t>(m_comp[1].lastX) + 1;
        for (size_t x = valid; x < m_comp[1].rowStride; ++x) {
            outCb[x] = outCb[valid - 1];
            outCr[x] = outCr[valid - 1];
        }
    }
}

// Forward transform and quantisation of block (blockX, blockY of the
// current MCU row) of a component.
void JpegEncoder::TransformBlock(const Component& c, int blockX, int blockY, int16_t zigzag[64]) const
{
    alignas(16) int16_t samples[64];
    const int16_t* src = c.rows.data() + static_cast<size_t>(blockY) * 8 * c.rowStride + static_cast<size_t>(blockX) * 8;
    for (int y = 0; y < 8; ++y) std::memcpy(samples + 8 * y, src + y * c.rowStride, 8 * sizeof(int16_t));
    if (JpegSimdLevel() == JpegSimd::kScalar) {
        int32_t coefficients[64];
        ForwardDctIslow(samples, coefficients);
        m_quant[c.quant].Quantise(coefficients, zigzag);
        return;
    }
    alignas(16) int16_t coefficients[64];
    ForwardDctIslowSse2(samples, coefficients);
    m_quant[c.quant].QuantiseSse2(coefficients, zigzag);
}

// Block row `by` of the current MCU row into `out`, blocksAcross quantised
// zigzag blocks; on AVX2 neighbouring blocks go through the transform
// together.
void JpegEncoder::TransformBlockRow(const Component& c, int by, int16_t* out) const
{
    int bx = 0;
#if defined(__x86_64__)
    if (JpegSimdLevel() == JpegSimd::kAvx2) {
        const int16_t* src = c.rows.data() + static_cast<size_t>(by) * 8 * c.rowStride;
        alignas(32) int16_t coefficients[128];
        for (; bx + 1 < c.blocksAcross; bx += 2) {
            ForwardDctIslowAvx2Pair(src + static_cast<size_t>(bx) * 8, static_cast<ptrdiff_t>(c.rowStride),
                                    coefficients);
            m_quant[c.quant].QuantiseSse2(coefficients, out + static_cast<size_t>(bx) * 64);
            m_quant[c.quant].QuantiseSse2(coefficients + 64, out + static_cast<size_t>(bx + 1) * 64);
        }
    }
#endif
    for (; bx < c.blocksAcross; ++bx) TransformBlock(c, bx, by, out + static_cast<size_t>(bx) * 64);
}

void JpegEncoder::TransformAllBlocks()
{
    for (int mcuRow = 0; mcuRow < m_mcusDown; ++mcuRow) {
        ConvertMcuRow(mcuRow);
        for (int i = 0; i < m_componentCount; ++i) {
            Component& c = m_comp[i];
            for (int by = 0; by < c.v; ++by)
                TransformBlockRow(c, by,
                                  c.coefs.get() +
                                      (static_cast<size_t>(mcuRow * c.v + by) * static_cast<size_t>(c.blocksAcross)) *
                                          64);
        }
    }
}

// ---------------------------------------------------------------------------
// Scans.

template <class Coder>
void JpegEncoder::RunSequential(Coder& coder)
{
    int lastDc[3] = {};
    for (int i = 0; i < m_componentCount; ++i)
        m_comp[i].rowBlocks.resize(static_cast<size_t>(m_comp[i].blocksAcross) * static_cast<size_t>(m_comp[i].v) * 64);
    for (int mcuRow = 0; mcuRow < m_mcusDown; ++mcuRow) {
        ConvertMcuRow(mcuRow);
        for (int i = 0; i < m_componentCount; ++i)
            for (int by = 0; by < m_comp[i].v; ++by)
                TransformBlockRow(m_comp[i], by,
                                  m_comp[i].rowBlocks.data() + static_cast<size_t>(by) * m_comp[i].blocksAcross * 64);
        for (int mcuX = 0; mcuX < m_mcusAcross; ++mcuX)
            for (int i = 0; i < m_componentCount; ++i) {
                const Component& c = m_comp[i];
                for (int by = 0; by < c.v; ++by)
                    for (int bx = 0; bx < c.h; ++bx) {
                        const int16_t* zz = c.rowBlocks.data() +
                                            (static_cast<size_t>(by) * c.blocksAcross + mcuX * c.h + bx) * 64;
                        EncodeSequentialBlock(coder, zz, lastDc[i], i == 0 ? kDc0 : kDc1, i == 0 ? kAc0 : kAc1);
                    }
            }
    }
    coder.EndScan();
}

std::vector<JpegEncoder::ScanParams> JpegEncoder::ScanScript() const
{
    std::vector<ScanParams> script;
    script.push_back({-1, 0, 0, 0, 1, 0});
    for (int i = 0; i < m_componentCount; ++i) script.push_back({i, 1, 5, 0, 2, kAc0});
    for (int i = 0; i < m_componentCount; ++i) script.push_back({i, 6, 63, 0, 2, i == 0 ? kAc1 : kAc2});
    for (int i = 0; i < m_componentCount; ++i) script.push_back({i, 1, 63, 2, 1, kAc3});
    script.push_back({-1, 0, 0, 1, 0, 0});
    for (int i = 0; i < m_componentCount; ++i) script.push_back({i, 1, 63, 1, 0, kAc3});
    return script;
}

template <class Coder>
void JpegEncoder::RunScan(Coder& coder, const ScanParams& scan)
{
    auto block = [&](const Component& c, int bx, int by) {
        return c.coefs.get() + (static_cast<size_t>(by) * static_cast<size_t>(c.blocksAcross) + bx) * 64;
    };
    if (scan.ss == 0) {
        // DC scans: interleaved over the MCUs (one block per MCU for grey).
        int last[3] = {};
        for (int mcuY = 0; mcuY < m_mcusDown; ++mcuY)
            for (int mcuX = 0; mcuX < m_mcusAcross; ++mcuX)
                for (int i = 0; i < m_componentCount; ++i) {
                    const Component& c = m_comp[i];
                    for (int by = 0; by < c.v; ++by)
                        for (int bx = 0; bx < c.h; ++bx) {
                            const int value = block(c, mcuX * c.h + bx, mcuY * c.v + by)[0];
                            if (scan.ah == 0) {
                                const int t = value >> scan.al;
                                const int diff = t - last[i];
                                last[i] = t;
                                const int n = BitLength(static_cast<uint32_t>(diff < 0 ? -diff : diff));
                                coder.Symbol(i == 0 ? kDc0 : kDc1, n);
                                if (n) coder.Bits(static_cast<uint32_t>(diff < 0 ? diff - 1 : diff), n);
                            } else {
                                coder.Bits(static_cast<uint32_t>(value >> scan.al) & 1, 1);
                            }
                        }
                }
    } else {
        // AC scans: one component over its own block grid.
        const Component& c = m_comp[scan.component];
        ProgressiveAcCoder<Coder> ac(coder, scan.acTable);
        for (int by = 0; by < c.scanBlocksDown; ++by)
            for (int bx = 0; bx < c.scanBlocksAcross; ++bx) {
                if (scan.ah == 0)
                    ac.FirstBlock(block(c, bx, by), scan.ss, scan.se, scan.al);
                else
                    ac.RefineBlock(block(c, bx, by), scan.ss, scan.se, scan.al);
            }
        ac.EmitEobRun();
    }
    coder.EndScan();
}

template <class Coder>
void JpegEncoder::RunProgressive(Coder& coder)
{
    for (const ScanParams& scan : ScanScript()) RunScan(coder, scan);
}

void JpegEncoder::BuildTables(const uint32_t freq[kTableCount][256])
{
    for (int t = 0; t < kTableCount; ++t) {
        m_used[t] = BuildOptimalHuffmanTable(freq[t], m_tableDefs[t]);
        if (m_used[t]) m_codes[t].Build(m_tableDefs[t]);
    }
}

bool JpegEncoder::Prepare()
{
    auto counter = std::make_unique<CountingCoder>();
    if (m_options.progressive) {
        for (int i = 0; i < m_componentCount; ++i) {
            Component& c = m_comp[i];
            const size_t bytes =
                static_cast<size_t>(c.blocksAcross) * static_cast<size_t>(c.blocksDown) * 64 * sizeof(int16_t);
            const JpegAllocHook hook = g_allocHook;
            if (hook && !hook(bytes)) return false;
            c.coefs.reset(static_cast<int16_t*>(std::malloc(bytes)));
            if (!c.coefs) return false;
        }
        TransformAllBlocks();
        RunProgressive(*counter);
    } else {
        RunSequential(*counter);
    }
    BuildTables(counter->freq);
    return true;
}

// ---------------------------------------------------------------------------
// File layout.

void JpegEncoder::WriteHeaders(JpegByteSink& sink) const
{
    sink.PutWord(0xFFD8);
    if (m_options.comment && m_options.commentLength > 0) {
        sink.PutWord(0xFFFE);
        sink.PutWord(static_cast<int>(m_options.commentLength + 2));
        sink.Put(m_options.comment, m_options.commentLength);
    }
    // Both quantisation tables, also for a one-channel image.
    sink.PutWord(0xFF00 | kMarkerDqt);
    sink.PutWord(2 + 2 * 65);
    for (int t = 0; t < 2; ++t) {
        sink.Put(static_cast<uint8_t>(t));
        for (int k = 0; k < 64; ++k) sink.Put(static_cast<uint8_t>(m_quant[t].table[kZigzagToNatural[k]]));
    }
    // One segment with every table used, in the order DC 0, AC 0, DC 1, AC 1, AC 2, AC 3.
    static constexpr Table kOrder[kTableCount] = {kDc0, kAc0, kDc1, kAc1, kAc2, kAc3};
    static constexpr int kClassNumber[kTableCount] = {0x00, 0x01, 0x10, 0x11, 0x12, 0x13};
    int length = 2;
    for (Table t : kOrder)
        if (m_used[t]) length += 17 + m_tableDefs[t].symbolCount;
    sink.PutWord(0xFF00 | kMarkerDht);
    sink.PutWord(length);
    for (Table t : kOrder) {
        if (!m_used[t]) continue;
        sink.Put(static_cast<uint8_t>(kClassNumber[t]));
        sink.Put(m_tableDefs[t].counts, 16);
        sink.Put(m_tableDefs[t].symbols, static_cast<size_t>(m_tableDefs[t].symbolCount));
    }
    sink.PutWord(0xFF00 | (m_options.progressive ? kMarkerSof2 : kMarkerSof0));
    sink.PutWord(8 + 3 * m_componentCount);
    sink.Put(8);
    sink.PutWord(m_height);
    sink.PutWord(m_width);
    sink.Put(static_cast<uint8_t>(m_componentCount));
    for (int i = 0; i < m_componentCount; ++i) {
        sink.Put(static_cast<uint8_t>(i));
        sink.Put(static_cast<uint8_t>((m_comp[i].h << 4) | m_comp[i].v));
        sink.Put(static_cast<uint8_t>(m_comp[i].quant));
    }
}

void JpegEncoder::WriteScanHeader(JpegByteSink& sink, const ScanParams& scan) const
{
    const int first = scan.component < 0 ? 0 : scan.component;
    const int count = scan.component < 0 ? m_componentCount : 1;
    sink.PutWord(0xFF00 | kMarkerSos);
    sink.PutWord(6 + 2 * count);
    sink.Put(static_cast<uint8_t>(count));
    for (int i = first; i < first + count; ++i) {
        sink.Put(static_cast<uint8_t>(i));
        int tables;
        if (scan.ss == 0 && scan.se == 63)
            tables = i == 0 ? 0x00 : 0x11;  // sequential: DC and AC table per component
        else if (scan.ss == 0)
            tables = i == 0 ? 0x00 : 0x10;  // DC scan
        else
            tables = scan.acTable - kAc0;  // AC scan: DC field 0
        sink.Put(static_cast<uint8_t>(tables));
    }
    sink.Put(static_cast<uint8_t>(scan.ss));
    sink.Put(static_cast<uint8_t>(scan.se));
    sink.Put(static_cast<uint8_t>((scan.ah << 4) | scan.al));
}

void JpegEncoder::WriteScans(JpegByteSink& sink)
{
    auto writer = std::make_unique<WritingCoder>(sink, m_codes);
    if (m_options.progressive) {
        for (const ScanParams& scan : ScanScript()) {
            WriteScanHeader(sink, scan);
            RunScan(*writer, scan);
        }
    } else {
        WriteScanHeader(sink, {-1, 0, 63, 0, 0, kAc0});
        RunSequential(*writer);
    }
    sink.PutWord(0xFFD9);
}
