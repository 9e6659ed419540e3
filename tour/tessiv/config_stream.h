// Little-endian byte streams of the tour configuration file "TessivConfig.bin":
// the writer appends fields to a growing buffer, the reader walks a buffer
// with a bounds check on every field, so a short or damaged file ends in a
// failed read and never in a read past the data. Used by the tour records'
// own record functions and by TourProject's Save and Load.
#pragma once

#include "core/byte_order.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tessiv {

class ConfigWriter {
public:
    void Word(uint32_t value)
    {
        uint8_t b[4];
        byteorder::PutU32LE(b, value);
        m_bytes.insert(m_bytes.end(), b, b + 4);
    }
    void Int(int32_t value) { Word(static_cast<uint32_t>(value)); }
    void Float(float value)
    {
        uint32_t bits = 0;
        std::memcpy(&bits, &value, 4);
        Word(bits);
    }
    void Short(int16_t value)
    {
        uint8_t b[2];
        byteorder::PutU16LE(b, static_cast<uint16_t>(value));
        m_bytes.insert(m_bytes.end(), b, b + 2);
    }
    void Byte(uint8_t value) { m_bytes.push_back(value); }
    // A record text: its length without the zero, the characters and the
    // zero; an empty text is "no text", the length 0 alone.
    void Text(const std::string& text)
    {
        Word(static_cast<uint32_t>(text.size()));
        if (text.empty()) return;
        m_bytes.insert(m_bytes.end(), text.begin(), text.end());
        m_bytes.push_back(0);
    }
    void Bytes(const std::vector<uint8_t>& bytes) { m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end()); }
    // A 32-bit size followed by the bytes it counts.
    void SizedBlock(const std::vector<uint8_t>& bytes)
    {
        Word(static_cast<uint32_t>(bytes.size()));
        Bytes(bytes);
    }

    size_t Size() const { return m_bytes.size(); }
    const std::vector<uint8_t>& GetBytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

// Every read returns false, with the output untouched, when the field does
// not lie wholly inside the data; a failed reader stays failed.
class ConfigReader {
public:
    ConfigReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool Word(uint32_t& out)
    {
        if (!Need(4)) return false;
        out = byteorder::GetU32LE(m_data + m_pos);
        m_pos += 4;
        return true;
    }
    bool Int(int32_t& out)
    {
        uint32_t v = 0;
        if (!Word(v)) return false;
        out = static_cast<int32_t>(v);
        return true;
    }
    bool Float(float& out)
    {
        uint32_t v = 0;
        if (!Word(v)) return false;
        std::memcpy(&out, &v, 4);
        return true;
    }
    bool Short(int16_t& out)
    {
        if (!Need(2)) return false;
        out = static_cast<int16_t>(byteorder::GetU16LE(m_data + m_pos));
        m_pos += 2;
        return true;
    }
    bool Byte(uint8_t& out)
    {
        if (!Need(1)) return false;
        out = m_data[m_pos++];
        return true;
    }
    // A record text (see ConfigWriter::Text). The characters must end in
    // their zero and hold no other zero.
    bool Text(std::string& out)
    {
        uint32_t length = 0;
        const size_t start = m_pos;
        if (!Word(length)) return false;
        if (length == 0) {
            out.clear();
            return true;
        }
        if (length >= Remaining() || m_data[m_pos + length] != 0 ||
            std::memchr(m_data + m_pos, 0, length) != nullptr) {
            m_pos = start;
            m_ok = false;
            return false;
        }
        out.assign(reinterpret_cast<const char*>(m_data + m_pos), length);
        m_pos += static_cast<size_t>(length) + 1;
        return true;
    }
    bool Skip(size_t bytes)
    {
        if (!Need(bytes)) return false;
        m_pos += bytes;
        return true;
    }
    // A reader over the next `bytes` bytes, which this reader steps over.
    // A failed reader when they are not all there.
    ConfigReader Sub(size_t bytes)
    {
        if (!Need(bytes)) return ConfigReader(nullptr, 0, false);
        ConfigReader sub(m_data + m_pos, bytes);
        m_pos += bytes;
        return sub;
    }

    size_t Remaining() const { return m_ok ? m_size - m_pos : 0; }
    size_t Position() const { return m_pos; }
    bool Ok() const { return m_ok; }
    void Fail() { m_ok = false; }

private:
    ConfigReader(const uint8_t* data, size_t size, bool ok) : m_data(data), m_size(size), m_ok(ok) {}
    bool Need(size_t bytes)
    {
        if (!m_ok || bytes > m_size - m_pos) {
            m_ok = false;
            return false;
        }
        return true;
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

}  // namespace tessiv
