#include "jpeg/jpeg_bit_writer.h"

#include <cstring>

void JpegByteSink::Put(const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        if (m_used == sizeof m_buffer) Flush();
        const size_t n = size < sizeof m_buffer - m_used ? size : sizeof m_buffer - m_used;
        std::memcpy(m_buffer + m_used, p, n);
        m_used += n;
        p += n;
        size -= n;
    }
}

bool JpegByteSink::Flush()
{
    if (m_used > 0 && !m_failed && !Write(m_buffer, m_used)) m_failed = true;
    m_used = 0;
    return !m_failed;
}

bool FileByteSink::Write(const uint8_t* data, size_t size)
{
    return std::fwrite(data, 1, size, m_file) == size;
}

bool MemoryByteSink::Write(const uint8_t* data, size_t size)
{
    m_bytes.insert(m_bytes.end(), data, data + size);
    return true;
}
