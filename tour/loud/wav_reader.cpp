#include "tour/loud/wav_reader.h"

#include <algorithm>
#include <cstring>

namespace {

uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

constexpr uint16_t kPcm = 1, kFloat = 3, kExtensible = 0xFFFE;

}  // namespace

WavReader::~WavReader()
{
    if (m_file) std::fclose(m_file);
}

bool WavReader::Fail(const std::string& reason)
{
    m_error = reason;
    return false;
}

bool WavReader::Open(const char* path)
{
    m_file = std::fopen(path, "rb");
    if (!m_file) return Fail(std::string("cannot open ") + path);
    if (std::fseek(m_file, 0, SEEK_END) != 0) return Fail("cannot seek");
    const long end = std::ftell(m_file);
    std::rewind(m_file);
    if (end < 12) return Fail("not a RIFF WAVE file");
    const int64_t fileSize = end;

    uint8_t head[12];
    if (std::fread(head, 1, 12, m_file) != 12 || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0)
        return Fail("not a RIFF WAVE file");

    bool haveFormat = false;
    int64_t at = 12;
    for (;;) {
        uint8_t chunk[8];
        if (at + 8 > fileSize || std::fread(chunk, 1, 8, m_file) != 8) return Fail("no data chunk");
        const int64_t size = U32(chunk + 4);
        at += 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || size > 64 || at + size > fileSize) return Fail("bad format chunk");
            uint8_t f[64];
            if (std::fread(f, 1, static_cast<size_t>(size), m_file) != static_cast<size_t>(size))
                return Fail("bad format chunk");
            if ((size & 1) && std::fseek(m_file, 1, SEEK_CUR) != 0) return Fail("bad format chunk");
            uint16_t tag = U16(f);
            m_channels = U16(f + 2);
            const uint32_t rate = U32(f + 4);
            const uint16_t blockAlign = U16(f + 12);
            m_bits = U16(f + 14);
            if (tag == kExtensible) {
                if (size < 26) return Fail("bad format chunk");
                tag = U16(f + 24);  // the sub-format's first two bytes
            }
            m_float = tag == kFloat;
            if (tag != kPcm && tag != kFloat) return Fail("not PCM or float samples");
            if (m_float ? m_bits != 32 : (m_bits != 8 && m_bits != 16 && m_bits != 24))
                return Fail("unsupported sample size of " + std::to_string(m_bits) + " bits");
            if (m_channels != 1 && m_channels != 2) return Fail("unsupported channel count");
            if (rate == 0 || rate > 192000) return Fail("unsupported sample rate");
            if (blockAlign != m_channels * m_bits / 8) return Fail("inconsistent block size");
            m_rate = static_cast<int>(rate);
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) return Fail("data before the format chunk");
            if (at + size > fileSize) return Fail("data chunk longer than the file");
            m_frames = size / (m_channels * m_bits / 8);
            m_left = m_frames;
            return true;
        } else if (at + size + (size & 1) > fileSize || std::fseek(m_file, size + (size & 1), SEEK_CUR) != 0) {
            return Fail("chunk longer than the file");
        }
        at += size + (size & 1);
    }
}

int64_t WavReader::Read(size_t frames, std::vector<float>& left, std::vector<float>& right)
{
    const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(frames), m_left));
    left.resize(n);
    right.resize(m_channels == 2 ? n : 0);
    if (n == 0) return 0;
    const size_t bytes = static_cast<size_t>(m_bits / 8);
    m_buffer.resize(n * bytes * static_cast<size_t>(m_channels));
    if (std::fread(m_buffer.data(), 1, m_buffer.size(), m_file) != m_buffer.size()) return -1;
    m_left -= static_cast<int64_t>(n);
    const uint8_t* p = m_buffer.data();
    for (size_t i = 0; i < n; ++i)
        for (int c = 0; c < m_channels; ++c, p += bytes) {
            float v = 0;
            if (m_float) {
                const uint32_t u = U32(p);
                std::memcpy(&v, &u, 4);
                if (!(v == v)) v = 0;  // NaN is silence
                v = v > 1.0f ? 1.0f : v < -1.0f ? -1.0f : v;
            } else if (m_bits == 8) {
                v = (p[0] - 128) / 128.0f;
            } else if (m_bits == 16) {
                v = static_cast<int16_t>(U16(p)) / 32768.0f;
            } else {
                const int32_t s = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                                                       static_cast<uint32_t>(p[2]) << 24) >> 8;
                v = s / 8388608.0f;
            }
            (c == 0 ? left : right)[i] = v;
        }
    return static_cast<int64_t>(n);
}
