#include "jpeg/jpeg_bit_reader.h"

namespace {

// True when one of the eight bytes of `w` is 0xFF.
inline bool HasFFByte(uint64_t w)
{
    const uint64_t t = ~w;
    return ((t - 0x0101010101010101ull) & ~t & 0x8080808080808080ull) != 0;
}

inline uint64_t LoadBigEndian64(const uint8_t* p)
{
    uint64_t w;
    std::memcpy(&w, p, 8);
    return __builtin_bswap64(w);
}

}  // namespace

bool HuffmanDecodeTable::Build(const uint8_t counts[16], const uint8_t* symbols)
{
    m_defined = false;
    int total = 0;
    for (int i = 0; i < 16; ++i) total += counts[i];
    if (total > 256) return false;
    std::memcpy(m_symbols, symbols, static_cast<size_t>(total));

    // Canonical codes (T.81 Annex C); a length whose codes run past the code
    // space means an over-subscribed, undecodable table.
    uint32_t codes[256];
    uint8_t lengths[256];
    uint32_t code = 0;
    int k = 0;
    for (int len = 1; len <= 16; ++len) {
        m_valueOffset[len] = k - static_cast<int>(code);
        for (int i = 0; i < counts[len - 1]; ++i) {
            codes[k] = code++;
            lengths[k] = static_cast<uint8_t>(len);
            ++k;
        }
        if (code > (1u << len)) return false;
        m_maxCode[len] = counts[len - 1] ? static_cast<int32_t>(code) - 1 : -1;
        code <<= 1;
    }
    m_maxCode[0] = -1;
    m_maxCode[17] = INT32_MAX;
    m_valueOffset[0] = 0;

    std::memset(m_lookup, 0, sizeof m_lookup);
    std::memset(m_fastValue, 0, sizeof m_fastValue);
    for (int i = 0; i < total; ++i) {
        const int len = lengths[i];
        if (len > kLookBits) continue;
        const int shift = kLookBits - len;
        const uint32_t first = codes[i] << shift;
        const uint8_t symbol = m_symbols[i];
        const int run = symbol >> 4;
        const int size = symbol & 15;
        for (uint32_t j = 0; j < (1u << shift); ++j) {
            const uint32_t look = first | j;
            m_lookup[look] = static_cast<uint16_t>((len << 8) | symbol);
            if (size != 0 && len + size <= kLookBits) {
                const int raw = static_cast<int>((look >> (shift - size)) & ((1u << size) - 1));
                const int value = raw < (1 << (size - 1)) ? raw - (1 << size) + 1 : raw;
                m_fastValue[look] = static_cast<int32_t>(static_cast<uint32_t>(value) << 16) | (run << 8) | (len + size);
            }
        }
    }
    m_defined = true;
    return true;
}

int JpegBitReader::DecodeLong(const HuffmanDecodeTable& table)
{
    const int32_t code16 = static_cast<int32_t>(m_acc >> 48);
    for (int len = HuffmanDecodeTable::kLookBits + 1; len <= 16; ++len) {
        const int32_t c = code16 >> (16 - len);
        if (c <= table.m_maxCode[len]) {
            Consume(len);
            return table.m_symbols[(c + table.m_valueOffset[len]) & 0xFF];
        }
    }
    return -1;
}

void JpegBitReader::Fill()
{
    while (m_count <= 56) {
        if (m_stopped) {
            // Past the segment: zero bits, counted so that Overrun can tell.
            m_count += 8;
            m_pad += 8;
            continue;
        }
        if (m_source.Available() >= 8) {
            const uint64_t w = LoadBigEndian64(m_source.Cursor());
            if (!HasFFByte(w)) {
                const int bytes = (64 - m_count) >> 3;
                const uint64_t keep = ~0ull << ((64 - m_count) & 7);
                m_acc |= (w >> m_count) & keep;
                m_count += bytes * 8;
                m_source.Advance(static_cast<size_t>(bytes));
                continue;
            }
        }
        int b = m_source.ReadByte();
        if (b < 0) {
            m_stopped = true;
            continue;
        }
        if (b == 0xFF) {
            int next;
            do {
                next = m_source.ReadByte();
            } while (next == 0xFF);
            if (next != 0) {
                // A marker (or the end of the input) ends the segment.
                m_marker = next;  // -1 at the end of the input
                m_stopped = true;
                continue;
            }
        }
        m_acc |= static_cast<uint64_t>(b) << (56 - m_count);
        m_count += 8;
    }
}
