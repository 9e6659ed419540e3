// Buffered byte sources the JPEG decoder reads through: a stdio file (the
// library's entry points) and a memory block (benchmarks, fuzzing, tests).
// A subclass only supplies Refill, so other transports can feed the decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

class JpegByteSource {
public:
    virtual ~JpegByteSource() = default;
    JpegByteSource(const JpegByteSource&) = delete;
    JpegByteSource& operator=(const JpegByteSource&) = delete;

    // The next byte, or -1 at the end of the input.
    int ReadByte()
    {
        if (m_pos == m_end && !Fill()) return -1;
        return *m_pos++;
    }
    // Big-endian 16-bit value, or -1 when the input ends first.
    int ReadWord()
    {
        const int hi = ReadByte();
        if (hi < 0) return -1;
        const int lo = ReadByte();
        if (lo < 0) return -1;
        return (hi << 8) | lo;
    }
    // Copies `count` bytes; false when the input ends first.
    bool Read(void* destination, size_t count);
    // Skips `count` bytes; false when the input ends first.
    bool Skip(size_t count);
    // Offset of the next byte from the source's start position.
    int64_t Position() const { return m_consumedBefore + (m_pos - m_begin); }

    // Direct access for the entropy decoder's fast path.
    const uint8_t* Cursor() const { return m_pos; }
    size_t Available() const { return static_cast<size_t>(m_end - m_pos); }
    void Advance(size_t count) { m_pos += count; }

protected:
    JpegByteSource() = default;
    // Places the next block of input in [m_begin, m_end) and sets m_pos to
    // m_begin; false (with an empty block) at the end of the input.
    virtual bool Refill() = 0;
    void SetBlock(const uint8_t* begin, const uint8_t* end)
    {
        m_begin = m_pos = begin;
        m_end = end;
    }

private:
    bool Fill()
    {
        m_consumedBefore += m_end - m_begin;
        SetBlock(m_end, m_end);
        return Refill() && m_pos < m_end;
    }

    const uint8_t* m_begin = nullptr;
    const uint8_t* m_pos = nullptr;
    const uint8_t* m_end = nullptr;
    int64_t m_consumedBefore = 0;
};

// Reads an open stdio file from its current position; the caller keeps the
// file and closes it.
class FileByteSource final : public JpegByteSource {
public:
    explicit FileByteSource(FILE* file, size_t bufferSize = 64 * 1024);

protected:
    bool Refill() override;

private:
    FILE* m_file;
    std::vector<uint8_t> m_buffer;
};

// Reads a block of memory that outlives the source.
class MemoryByteSource final : public JpegByteSource {
public:
    MemoryByteSource(const void* data, size_t size);

protected:
    bool Refill() override;

private:
    const uint8_t* m_data;
    size_t m_size;
    bool m_given = false;
};
