// Output side of the JPEG encoder: byte sinks (a stdio file that remembers
// write errors, a memory block) and the bit writer of entropy-coded data,
// which stuffs a 0x00 after every 0xFF byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

class JpegByteSink {
public:
    virtual ~JpegByteSink() = default;
    JpegByteSink(const JpegByteSink&) = delete;
    JpegByteSink& operator=(const JpegByteSink&) = delete;

    void Put(uint8_t byte)
    {
        if (m_used == sizeof m_buffer) Flush();
        m_buffer[m_used++] = byte;
    }
    void Put(const void* data, size_t size);
    // Four bytes, most significant first.
    void PutBigEndian32(uint32_t word)
    {
        if (m_used + 4 > sizeof m_buffer) Flush();
        m_buffer[m_used] = static_cast<uint8_t>(word >> 24);
        m_buffer[m_used + 1] = static_cast<uint8_t>(word >> 16);
        m_buffer[m_used + 2] = static_cast<uint8_t>(word >> 8);
        m_buffer[m_used + 3] = static_cast<uint8_t>(word);
        m_used += 4;
    }
    void PutWord(int value)
    {
        Put(static_cast<uint8_t>(value >> 8));
        Put(static_cast<uint8_t>(value));
    }
    // Hands the buffered bytes on; false once any write has failed.
    bool Flush();
    bool Failed() const { return m_failed; }

protected:
    JpegByteSink() = default;
    // Writes `size` bytes; false on failure.
    virtual bool Write(const uint8_t* data, size_t size) = 0;

private:
    uint8_t m_buffer[64 * 1024];
    size_t m_used = 0;
    bool m_failed = false;
};

// Writes to an open stdio file; the caller closes it.
class FileByteSink final : public JpegByteSink {
public:
    explicit FileByteSink(FILE* file) : m_file(file) {}

protected:
    bool Write(const uint8_t* data, size_t size) override;

private:
    FILE* m_file;
};

class MemoryByteSink final : public JpegByteSink {
public:
    std::vector<uint8_t>& Bytes() { return m_bytes; }

protected:
    bool Write(const uint8_t* data, size_t size) override;

private:
    std::vector<uint8_t> m_bytes;
};

class JpegBitWriter {
public:
    explicit JpegBitWriter(JpegByteSink& sink) : m_sink(sink) {}

    // Appends the low `n` (0..31) bits of `value`, most significant first.
    void PutBits(uint32_t value, int n)
    {
        m_acc = (m_acc << n) | (value & ((uint64_t{1} << n) - 1));
        m_count += n;
        if (m_count >= 32) FlushWord();
    }
    // Pads the last partial byte with 1 bits (T.81 F.1.2.3), at a scan's end.
    void FlushToByte()
    {
        const int pad = (8 - (m_count & 7)) & 7;
        if (pad) PutBits(0x7F, pad);
        while (m_count >= 8) {
            m_count -= 8;
            PutByte(static_cast<uint8_t>(m_acc >> m_count));
        }
        m_acc = 0;
        m_count = 0;
    }

private:
    void PutByte(uint8_t byte)
    {
        m_sink.Put(byte);
        if (byte == 0xFF) m_sink.Put(0x00);
    }
    // Writes the oldest 32 buffered bits; bytes 0xFF get their stuffed 0x00.
    void FlushWord()
    {
        m_count -= 32;
        const uint32_t word = static_cast<uint32_t>(m_acc >> m_count);
        const uint32_t inverted = ~word;
        if (((inverted - 0x01010101u) & ~inverted & 0x80808080u) == 0) {
            m_sink.PutBigEndian32(word);
            return;
        }
        for (int shift = 24; shift >= 0; shift -= 8) PutByte(static_cast<uint8_t>(word >> shift));
    }

    JpegByteSink& m_sink;
    uint64_t m_acc = 0;
    int m_count = 0;
};
