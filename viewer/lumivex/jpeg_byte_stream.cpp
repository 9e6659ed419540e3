#include "viewer/lumivex/jpeg_byte_stream.h"

#include "core/logger.h"
#include "platform/wininet/wininet.h"

#include <algorithm>
#include <cstring>
#include <new>

bool JpegByteStream::Init(size_t size)
{
    m_buffer.reset(new (std::nothrow) uint8_t[size + 2]);
    if (!m_buffer) {
        Logger::log("ERROR JpegByteStream::Init cannot allocate %zu bytes", 1, size + 2);
        m_size = 0;
        m_pos = m_end = nullptr;
        return false;
    }
    m_size = size;
    m_pos = m_end = m_buffer.get();
    m_buffer[0] = m_buffer[1] = 0;
    m_total = 0;
    return true;
}

void JpegByteStream::Placed(size_t count)
{
    m_pos = m_buffer.get();
    m_end = m_pos + count;
    m_total += static_cast<int64_t>(count);
    m_end[0] = 0;
    m_end[1] = 0;
}

bool JpegByteStream::RefillWithData()
{
    return m_buffer && Refill() && m_pos < m_end;
}

uint8_t JpegByteStream::ReadByte()
{
    if (m_pos == m_end && !RefillWithData()) return 0;
    return *m_pos++;
}

uint16_t JpegByteStream::ReadWord()
{
    if (Available() >= 2) {
        const uint16_t value = static_cast<uint16_t>((m_pos[0] << 8) | m_pos[1]);
        m_pos += 2;
        return value;
    }
    if (m_pos == m_end && !RefillWithData()) return 0;
    const uint8_t high = *m_pos++;
    if (m_pos == m_end && !RefillWithData()) return 0;
    const uint8_t low = *m_pos++;
    return static_cast<uint16_t>((high << 8) | low);
}

bool JpegByteStream::ReadBlock(void* destination, size_t count)
{
    auto* out = static_cast<uint8_t*>(destination);
    const size_t first = std::min(count, Available());
    if (first) std::memcpy(out, m_pos, first);
    m_pos += first;
    if (first == count) return true;
    if (!RefillWithData()) return false;
    const size_t rest = count - first;
    const size_t second = std::min(rest, Available());
    std::memcpy(out + first, m_pos, second);
    m_pos += second;
    return second == rest;
}

void JpegByteStream::Skip(size_t count)
{
    while (count > Available()) {
        count -= Available();
        m_pos = m_end;
        if (!RefillWithData()) return;
    }
    m_pos += count;
}

bool FileByteStream::Refill()
{
    if (!m_file || !Buffer()) return false;
    const size_t count = std::fread(Buffer(), 1, BufferSize(), m_file);
    if (count == 0 && std::ferror(m_file)) {
        Logger::log("ERROR FileByteStream::Refill the file cannot be read", 1);
        return false;
    }
    Placed(count);
    return true;
}

bool HttpByteStream::Refill()
{
    if (!m_request || !Buffer() || m_failed) return false;
    UINT count = 0;
    try {
        count = m_request->Read(Buffer(), static_cast<UINT>(BufferSize()));
    } catch (const CInternetException& e) {
        // The platform reports a dropped or stalled transfer by throwing; here
        // it is the end of the input, so that the decoder ends cleanly.
        Logger::log("ERROR HttpByteStream::Refill the transfer failed after %lld bytes: %s", 1,
                    static_cast<long long>(TotalRead()), e.m_text.c_str());
        m_failed = true;
        Placed(0);
        return false;
    }
    Placed(std::min<size_t>(count, BufferSize()));
    return true;
}
