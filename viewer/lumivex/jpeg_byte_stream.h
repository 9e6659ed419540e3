// Buffered byte sources of the viewer control's JPEG loader: a base with a
// virtual refill, over a local file (FileByteStream) or an HTTP answer being
// received (HttpByteStream). Every refill leaves two zero bytes after the
// data, so that a reader peeking one word past the end reads zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

class CHttpFile;

class JpegByteStream {
public:
    JpegByteStream() = default;
    virtual ~JpegByteStream() = default;
    JpegByteStream(const JpegByteStream&) = delete;
    JpegByteStream& operator=(const JpegByteStream&) = delete;

    // Places the next block of input at the buffer's start; true when it
    // did, which may be an empty block at the end of the input.
    virtual bool Refill() = 0;

    // Allocates `size` + 2 bytes; read position and end at the start, total 0.
    bool Init(size_t size);

    // The next byte; 0 when the input ended or a refill failed.
    uint8_t ReadByte();
    // The next two bytes, big-endian; 0 when the input ended.
    uint16_t ReadWord();
    // Copies `count` bytes, refilling once when they run past the buffer's
    // end; false when the refill fails or brings too little (what there was
    // is copied).
    bool ReadBlock(void* destination, size_t count);
    // Steps over `count` bytes, refilling as often as needed; stops when a
    // refill brings nothing.
    void Skip(size_t count);
    // Read position within the current buffer.
    size_t Position() const { return static_cast<size_t>(m_pos - m_buffer.get()); }

    // Unread bytes of the current buffer and the total read from the input.
    const uint8_t* Cursor() const { return m_pos; }
    size_t Available() const { return static_cast<size_t>(m_end - m_pos); }
    void Consume(size_t count) { m_pos += count; }
    int64_t TotalRead() const { return m_total; }
    size_t BufferSize() const { return m_size; }

protected:
    uint8_t* Buffer() { return m_buffer.get(); }
    // Bookkeeping after `count` bytes were placed at the buffer's start.
    void Placed(size_t count);

private:
    bool RefillWithData();

    std::unique_ptr<uint8_t[]> m_buffer;
    uint8_t* m_pos = nullptr;
    uint8_t* m_end = nullptr;
    size_t m_size = 0;
    int64_t m_total = 0;
};

// Reads an open file from its current position; the job owns the file.
class FileByteStream final : public JpegByteStream {
public:
    explicit FileByteStream(FILE* file) : m_file(file) {}
    bool Refill() override;

private:
    FILE* m_file;
};

// Reads the body of a sent request; the job owns the request. A failed or
// stalled transfer reads as the end of the input.
class HttpByteStream final : public JpegByteStream {
public:
    explicit HttpByteStream(CHttpFile* request) : m_request(request) {}
    bool Refill() override;
    bool Failed() const { return m_failed; }

private:
    CHttpFile* m_request;
    bool m_failed = false;
};
