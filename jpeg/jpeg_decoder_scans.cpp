// Entropy decoding of the JPEG decoder's scans: the streaming sequential
// decoder and the four progressive scan kinds of T.81 Annex G into the
// coefficient planes. Every routine reports corrupt data by returning false
// with the reason set; the caller frees the state.
#include "jpeg/jpeg_decoder.h"

#include "jpeg/jpeg_idct.h"
#include "jpeg/jpeg_tables.h"

#include <emmintrin.h>

#include <cstring>

namespace {

inline int16_t Wrap16(int v)
{
    return static_cast<int16_t>(v);
}

// Eight aligned stores in line: a library call per block costs more.
inline void ClearBlock(int16_t* block)
{
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < 8; ++i) _mm_store_si128(reinterpret_cast<__m128i*>(block) + i, zero);
}

}  // namespace

bool JpegDecoder::ProcessRestart()
{
    int marker = m_bits.PendingMarker();
    if (marker < 0) {
        // The reader has not reached the marker yet: it must come next.
        if (m_source->ReadByte() != 0xFF) return Fail("missing restart marker");
        do {
            marker = m_source->ReadByte();
        } while (marker == 0xFF);
    }
    if (marker < kMarkerRst0 || marker > kMarkerRst7) return Fail("missing restart marker");
    if (marker != kMarkerRst0 + m_nextRestart)
        WarnCorrupt(m_basePosition + m_source->Position() - 2,
                    MarkerName(marker) + " where RST" + std::to_string(m_nextRestart) + " was due");
    m_nextRestart = (marker - kMarkerRst0 + 1) & 7;
    m_bits.Reset();
    for (int i = 0; i < m_componentCount; ++i) m_comp[i].dcPred = 0;
    m_eobRun = 0;
    return true;
}

// One block of a sequential scan: the DC difference and the AC run/size
// symbols until EOB or position 63, quantised values in natural order. With
// one-eighth scale the AC values are read and dropped. `last` is the last
// zigzag position written (0 for a DC-only block).
bool JpegDecoder::DecodeBlockBaseline(Component& c, int16_t* block, int& last)
{
    const HuffmanDecodeTable& dc = m_dcTables[c.dcTable];
    const HuffmanDecodeTable& ac = m_acTables[c.acTable];
    const int s = m_bits.Decode(dc);
    if (s < 0 || s > 16) return Fail("corrupt DC code");
    const int diff = s ? m_bits.ReceiveExtend(s) : 0;
    c.dcPred = Wrap16(c.dcPred + diff);
    block[0] = c.dcPred;
    last = 0;
    if (m_oneEighth) {
        for (int k = 1; k < 64;) {
            int value, run;
            if (m_bits.DecodeFast(ac, value, run)) {
                k += run + 1;
                continue;
            }
            const int rs = m_bits.Decode(ac);
            if (rs < 0) return Fail("corrupt AC code");
            const int r = rs >> 4, size = rs & 15;
            if (size == 0) {
                if (r != 15) break;
                k += 16;
                continue;
            }
            k += r + 1;
            m_bits.GetBits(size);
        }
        return true;
    }
    for (int k = 1; k < 64;) {
        int value, run;
        if (m_bits.DecodeFast(ac, value, run)) {
            k += run;
            if (k > 63) break;
            block[kZigzagToNatural[k]] = static_cast<int16_t>(value);
            last = k++;
            continue;
        }
        const int rs = m_bits.Decode(ac);
        if (rs < 0) return Fail("corrupt AC code");
        const int r = rs >> 4, size = rs & 15;
        if (size == 0) {
            if (r != 15) break;
            k += 16;
            continue;
        }
        k += r;
        // A run past the block's end ends it; the value's bits are read all
        // the same, as the fast path does, so that both stay in step.
        const int extended = m_bits.ReceiveExtend(size);
        if (k > 63) break;
        block[kZigzagToNatural[k]] = Wrap16(extended);
        last = k++;
    }
    return true;
}

bool JpegDecoder::DecodeSequentialStreaming(Image* image)
{
    alignas(16) int16_t block[64] = {};
    if (!m_oneEighth)
        for (int i = 0; i < m_scanComponents; ++i) {
            Component& c = m_comp[m_scanComp[i]];
            const size_t blocks = static_cast<size_t>(c.blocksAcross) * static_cast<size_t>(c.v);
            c.rowBlocks.assign(blocks * 64, 0);
            c.rowHasAc.assign(blocks, 0);
        }
    int untilRestart = m_restartInterval;
    for (int mcuY = 0; mcuY < m_mcusDown; ++mcuY) {
        for (int mcuX = 0; mcuX < m_mcusAcross; ++mcuX) {
            if (m_restartInterval) {
                if (untilRestart == 0) {
                    if (!ProcessRestart()) return false;
                    untilRestart = m_restartInterval;
                }
                --untilRestart;
            }
            for (int i = 0; i < m_scanComponents; ++i) {
                Component& c = m_comp[m_scanComp[i]];
                for (int by = 0; by < c.v; ++by) {
                    for (int bx = 0; bx < c.h; ++bx) {
                        int last;
                        const size_t index = static_cast<size_t>(by) * c.blocksAcross + mcuX * c.h + bx;
                        if (m_oneEighth) {
                            if (!DecodeBlockBaseline(c, block, last)) return false;
                            c.rows[static_cast<size_t>(by) * c.rowStride + mcuX * c.h + bx] =
                                IdctDcValue(block[0], c.quant[0]);
                            continue;
                        }
                        if (!DecodeBlockBaseline(c, c.rowBlocks.data() + index * 64, last)) return false;
                        c.rowHasAc[index] = last != 0;
                    }
                }
            }
            if (m_bits.Overrun()) return Fail("the entropy-coded data ends early");
        }
        if (!m_oneEighth) TransformDecodedRow();
        EmitMcuRow(image, mcuY);
    }
    FinishScan();
    return true;
}

// The MCU row's blocks through the inverse transform into the sample rows;
// the block buffers are left zeroed for the next row.
void JpegDecoder::TransformDecodedRow()
{
    for (int i = 0; i < m_scanComponents; ++i) {
        Component& c = m_comp[m_scanComp[i]];
        for (int by = 0; by < c.v; ++by) {
            const size_t first = static_cast<size_t>(by) * c.blocksAcross;
            int16_t* blocks = c.rowBlocks.data() + first * 64;
            const uint8_t* hasAc = c.rowHasAc.data() + first;
            TransformBlockRow(c, blocks, hasAc, c.blocksAcross, c.rows.data() + static_cast<size_t>(by * 8) * c.rowStride);
            for (int bx = 0; bx < c.blocksAcross; ++bx) {
                int16_t* b = blocks + static_cast<size_t>(bx) * 64;
                if (hasAc[bx])
                    ClearBlock(b);
                else
                    b[0] = 0;
            }
        }
    }
}

bool JpegDecoder::DecodeDcFirst(Component& c, int16_t* block)
{
    const int s = m_bits.Decode(m_dcTables[c.dcTable]);
    if (s < 0 || s > 16) return Fail("corrupt DC code");
    const int diff = s ? m_bits.ReceiveExtend(s) : 0;
    c.dcPred = Wrap16(c.dcPred + diff);
    block[0] = Wrap16(c.dcPred * (1 << m_al));
    return true;
}

bool JpegDecoder::DecodeDcRefine(int16_t* block)
{
    if (m_bits.GetBit()) block[0] = Wrap16(block[0] | (1 << m_al));
    return true;
}

bool JpegDecoder::DecodeAcFirst(const Component& c, int16_t* block)
{
    if (m_eobRun > 0) {
        --m_eobRun;
        return true;
    }
    const HuffmanDecodeTable& ac = m_acTables[c.acTable];
    for (int k = m_ss; k <= m_se;) {
        const int rs = m_bits.Decode(ac);
        if (rs < 0) return Fail("corrupt AC code");
        const int r = rs >> 4, s = rs & 15;
        if (s == 0) {
            if (r < 15) {
                // EOB run: this block and (2^r - 1 + r extra bits) more.
                m_eobRun = (1 << r) - 1;
                if (r) m_eobRun += static_cast<int>(m_bits.GetBits(r));
                break;
            }
            k += 16;
            continue;
        }
        k += r;
        const int value = m_bits.ReceiveExtend(s);  // read even past the band, to stay in step
        if (k > m_se) break;
        block[kZigzagToNatural[k]] = Wrap16(value * (1 << m_al));
        ++k;
    }
    return true;
}

// Successive-approximation refinement of AC coefficients (T.81 G.1.2.3):
// a correction bit for every coefficient already nonzero, new coefficients of
// magnitude 1 << Al placed after skipping `r` zero ones, and EOB runs in
// which only the correction bits are read.
bool JpegDecoder::DecodeAcRefine(const Component& c, int16_t* block)
{
    const int p1 = 1 << m_al;
    const int m1 = -p1;
    int k = m_ss;
    if (m_eobRun == 0) {
        const HuffmanDecodeTable& ac = m_acTables[c.acTable];
        for (; k <= m_se; ++k) {
            const int rs = m_bits.Decode(ac);
            if (rs < 0) return Fail("corrupt AC code");
            int r = rs >> 4;
            const int s = rs & 15;
            int value = 0;
            if (s) {
                // The size of a new coefficient is 1 in a valid file; other
                // sizes are read the same way.
                value = m_bits.GetBit() ? p1 : m1;
            } else if (r != 15) {
                m_eobRun = 1 << r;
                if (r) m_eobRun += static_cast<int>(m_bits.GetBits(r));
                break;
            }
            for (; k <= m_se; ++k) {
                int16_t& coef = block[kZigzagToNatural[k]];
                if (coef != 0) {
                    if (m_bits.GetBit() && (coef & p1) == 0) coef = Wrap16(coef >= 0 ? coef + p1 : coef + m1);
                } else {
                    if (r == 0) break;
                    --r;
                }
            }
            if (value && k <= m_se) block[kZigzagToNatural[k]] = Wrap16(value);
        }
    }
    if (m_eobRun > 0) {
        for (; k <= m_se; ++k) {
            int16_t& coef = block[kZigzagToNatural[k]];
            if (coef != 0 && m_bits.GetBit() && (coef & p1) == 0) coef = Wrap16(coef >= 0 ? coef + p1 : coef + m1);
        }
        --m_eobRun;
    }
    return true;
}

// Decodes the current scan into the coefficient planes. An interleaved scan
// walks the MCU grid; a one-component scan walks that component's own block
// grid (T.81 A.2.2), which may be narrower than the MCU-padded plane.
bool JpegDecoder::DecodeScanIntoCoefficients()
{
    enum Kind { kSequential, kDcFirst, kDcRefine, kAcFirst, kAcRefine };
    Kind kind = kSequential;
    if (m_progressive) {
        if (m_ss == 0)
            kind = m_ah == 0 ? kDcFirst : kDcRefine;
        else
            kind = m_ah == 0 ? kAcFirst : kAcRefine;
    }
    const size_t perBlock = static_cast<size_t>(CoefsPerBlock());
    alignas(16) int16_t scratch[64] = {};

    auto decodeBlock = [&](Component& c, int bx, int by) -> bool {
        int16_t* block = c.coefs.get() + (static_cast<size_t>(by) * c.blocksAcross + bx) * perBlock;
        switch (kind) {
        case kSequential: {
            int last;
            if (perBlock == 64) return DecodeBlockBaseline(c, block, last);
            if (!DecodeBlockBaseline(c, scratch, last)) return false;
            block[0] = scratch[0];
            return true;
        }
        case kDcFirst:
            return DecodeDcFirst(c, block);
        case kDcRefine:
            return DecodeDcRefine(block);
        case kAcFirst:
            return DecodeAcFirst(c, block);
        case kAcRefine:
            return DecodeAcRefine(c, block);
        }
        return false;
    };

    int untilRestart = m_restartInterval;
    auto restartPoint = [&]() -> bool {
        if (!m_restartInterval) return true;
        if (untilRestart == 0) {
            if (!ProcessRestart()) return false;
            untilRestart = m_restartInterval;
        }
        --untilRestart;
        return true;
    };

    if (m_scanComponents == 1) {
        Component& c = m_comp[m_scanComp[0]];
        for (int by = 0; by < c.scanBlocksDown; ++by) {
            for (int bx = 0; bx < c.scanBlocksAcross; ++bx) {
                if (!restartPoint() || !decodeBlock(c, bx, by)) return false;
                if (m_bits.Overrun()) return Fail("the entropy-coded data ends early");
            }
            if (m_rowCallback) m_rowCallback(m_rowContext, c.scanBlocksAcross);
        }
    } else {
        for (int mcuY = 0; mcuY < m_mcusDown; ++mcuY) {
            for (int mcuX = 0; mcuX < m_mcusAcross; ++mcuX) {
                if (!restartPoint()) return false;
                for (int i = 0; i < m_scanComponents; ++i) {
                    Component& c = m_comp[m_scanComp[i]];
                    for (int by = 0; by < c.v; ++by)
                        for (int bx = 0; bx < c.h; ++bx)
                            if (!decodeBlock(c, mcuX * c.h + bx, mcuY * c.v + by)) return false;
                }
                if (m_bits.Overrun()) return Fail("the entropy-coded data ends early");
            }
            if (m_rowCallback) {
                int blocks = 0;
                for (int i = 0; i < m_scanComponents; ++i)
                    blocks += m_comp[m_scanComp[i]].h * m_comp[m_scanComp[i]].v;
                m_rowCallback(m_rowContext, blocks * m_mcusAcross);
            }
        }
    }
    if (kind == kDcFirst)
        for (int i = 0; i < m_scanComponents; ++i) m_comp[m_scanComp[i]].dcFirstDone = true;
    return true;
}
