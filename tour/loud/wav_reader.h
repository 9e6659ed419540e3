// The PCM WAV files the converter takes: RIFF "WAVE" with a "fmt " chunk of
// integer samples of 8, 16 or 24 bits or 32-bit floats (plain or in the
// extensible form), one or two channels, and a "data" chunk that lies
// wholly inside the file. Samples come out as floats in -1 ... 1.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class WavReader {
public:
    WavReader() = default;
    ~WavReader();
    WavReader(const WavReader&) = delete;
    WavReader& operator=(const WavReader&) = delete;

    // Opens and checks the file; false with the reason in error().
    bool Open(const char* path);
    // Up to `frames` frames, channel by channel into left and right (right
    // stays empty for mono); 0 at the end, -1 on a read error.
    int64_t Read(size_t frames, std::vector<float>& left, std::vector<float>& right);

    int channels() const { return m_channels; }
    int sampleRate() const { return m_rate; }
    int64_t frameCount() const { return m_frames; }
    const std::string& error() const { return m_error; }

private:
    bool Fail(const std::string& reason);

    FILE* m_file = nullptr;
    int m_channels = 0;
    int m_rate = 0;
    int m_bits = 0;
    bool m_float = false;
    int64_t m_frames = 0;
    int64_t m_left = 0;  // frames not read yet
    std::vector<uint8_t> m_buffer;
    std::string m_error;
};
