// Entropy-decoding primitives of the JPEG decoder: a Huffman decoding table
// with an 11-bit lookahead, and the bit reader over the entropy-coded segment
// of a scan. The bit reader never consumes past a marker: it stops there and
// feeds zero bits, and counts them so that the scan decoders can tell real
// data from padding (a scan that needs padding bits is truncated or corrupt).
#pragma once

#include "jpeg/jpeg_byte_source.h"

#include <cstdint>
#include <cstring>

class HuffmanDecodeTable {
public:
    static constexpr int kLookBits = 11;

    // Builds the decoding tables from the 16 code-length counts and the
    // symbols. False for more than 256 symbols or an over-subscribed code.
    bool Build(const uint8_t counts[16], const uint8_t* symbols);
    bool IsDefined() const { return m_defined; }

    // (length << 8) | symbol for every code of up to kLookBits bits; 0 marks
    // a longer code.
    uint16_t m_lookup[1 << kLookBits];
    // For codes whose symbol's extra bits also fit in the lookahead: the
    // decoded value << 16 | run << 8 | total bit count; 0 otherwise. Symbols
    // with no extra bits (EOB, ZRL, DC category 0) are not listed.
    int32_t m_fastValue[1 << kLookBits];
    int32_t m_maxCode[18];    // largest code of each length, -1 when none; [17] is a sentinel
    int32_t m_valueOffset[17];
    uint8_t m_symbols[256];

private:
    bool m_defined = false;
};

class JpegBitReader {
public:
    explicit JpegBitReader(JpegByteSource& source) : m_source(source) {}

    // Forgets buffered bits and any marker seen; used at the start of every
    // scan and at every restart point.
    void Reset()
    {
        m_acc = 0;
        m_count = 0;
        m_pad = 0;
        m_stopped = false;
        m_marker = -1;
    }

    // True when more bits were consumed than the segment holds.
    bool Overrun() const { return m_count < m_pad; }
    // Whole bytes of the segment buffered but not consumed: after a complete
    // scan a valid file leaves only the padding bits of its last byte.
    int UnusedBytes() const { return m_count > m_pad ? (m_count - m_pad) / 8 : 0; }
    // The marker code that stopped the reader, -1 when none (not reached yet,
    // or the input ended).
    int PendingMarker() const { return m_marker; }
    void ClearMarker() { m_marker = -1; }

    void Fill();

    uint32_t GetBits(int n)  // 1 <= n <= 16
    {
        if (m_count < n) Fill();
        const uint32_t v = static_cast<uint32_t>(m_acc >> (64 - n));
        m_acc <<= n;
        m_count -= n;
        return v;
    }
    uint32_t GetBit()
    {
        if (m_count < 1) Fill();
        const uint32_t v = static_cast<uint32_t>(m_acc >> 63);
        m_acc <<= 1;
        m_count -= 1;
        return v;
    }
    // The symbol of the next code, or -1 for a code the table lacks.
    int Decode(const HuffmanDecodeTable& table)
    {
        if (m_count < 16) Fill();
        const uint32_t look = static_cast<uint32_t>(m_acc >> (64 - HuffmanDecodeTable::kLookBits));
        const int entry = table.m_lookup[look];
        if (entry) {
            Consume(entry >> 8);
            return entry & 0xFF;
        }
        return DecodeLong(table);
    }
    // Like Decode, but for a symbol with a run and a size whose extra bits fit
    // the lookahead it also reads the value: returns true with `value`, `run`
    // filled; otherwise returns false and leaves the stream untouched.
    bool DecodeFast(const HuffmanDecodeTable& table, int& value, int& run)
    {
        if (m_count < 16) Fill();
        const uint32_t look = static_cast<uint32_t>(m_acc >> (64 - HuffmanDecodeTable::kLookBits));
        const int32_t entry = table.m_fastValue[look];
        if (!entry) return false;
        Consume(entry & 0xFF);
        run = (entry >> 8) & 0xFF;
        value = entry >> 16;
        return true;
    }
    // T.81 F.12: the signed value of `s` extra bits (s from 1 to 16).
    int ReceiveExtend(int s)
    {
        const int v = static_cast<int>(GetBits(s));
        return v < (1 << (s - 1)) ? v - (1 << s) + 1 : v;
    }
    // Makes sure at least `n` (<= 57) bits are buffered.
    void Ensure(int n)
    {
        if (m_count < n) Fill();
    }

private:
    void Consume(int n)
    {
        m_acc <<= n;
        m_count -= n;
    }
    int DecodeLong(const HuffmanDecodeTable& table);

    JpegByteSource& m_source;
    uint64_t m_acc = 0;    // buffered bits, most significant first; bits below m_count are 0
    int m_count = 0;       // buffered bits, padding included
    int m_pad = 0;         // zero bits appended after the segment ended
    bool m_stopped = false;
    int m_marker = -1;
};
