#include "jpeg/jpeg_byte_source.h"

#include <algorithm>
#include <cstring>

bool JpegByteSource::Read(void* destination, size_t count)
{
    auto* out = static_cast<uint8_t*>(destination);
    while (count > 0) {
        if (m_pos == m_end && !Fill()) return false;
        const size_t n = std::min(count, Available());
        std::memcpy(out, m_pos, n);
        m_pos += n;
        out += n;
        count -= n;
    }
    return true;
}

bool JpegByteSource::Skip(size_t count)
{
    while (count > 0) {
        if (m_pos == m_end && !Fill()) return false;
        const size_t n = std::min(count, Available());
        m_pos += n;
        count -= n;
    }
    return true;
}

FileByteSource::FileByteSource(FILE* file, size_t bufferSize) : m_file(file), m_buffer(std::max<size_t>(bufferSize, 16))
{
}

bool FileByteSource::Refill()
{
    if (!m_file) return false;
    const size_t n = std::fread(m_buffer.data(), 1, m_buffer.size(), m_file);
    if (n == 0) return false;
    SetBlock(m_buffer.data(), m_buffer.data() + n);
    return true;
}

MemoryByteSource::MemoryByteSource(const void* data, size_t size)
    : m_data(static_cast<const uint8_t*>(data)), m_size(data ? size : 0)
{
}

bool MemoryByteSource::Refill()
{
    if (m_given || m_size == 0) return false;
    m_given = true;
    SetBlock(m_data, m_data + m_size);
    return true;
}
