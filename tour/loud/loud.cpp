// loud: converts a PCM WAV file to MP3 at a constant bit rate.
//   loud [-h] -b <kbit/s> <source.wav> <destination.mp3>
// "-h" asks for the encoder's high quality. The destination appears whole
// or not at all: the MP3 is written under a temporary name beside it and
// renamed when complete. Exit status: 0 done, 1 bad command line, 2 a
// source that cannot be read or is not a WAV this program takes, 3 the
// encoder or the destination failed.
#include "tour/loud/wav_reader.h"

#include <lame/lame.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kBlock = 8192;  // frames per encoder call

int Usage()
{
    std::fprintf(stderr, "usage: loud [-h] -b <kbit/s> <source.wav> <destination.mp3>\n");
    return 1;
}

// The encoder's state, released on every way out.
class Encoder {
public:
    Encoder() : m_lame(lame_init()) {}
    ~Encoder()
    {
        if (m_lame) lame_close(m_lame);
    }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;
    lame_t get() const { return m_lame; }

private:
    lame_t m_lame;
};

// A temporary file beside the destination, removed unless kept.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& destination) : m_name(destination + ".loud-XXXXXX")
    {
        const int fd = mkstemp(m_name.data());
        // The MP3 is published: readable as any new file would be, not
        // private as a temporary one.
        const mode_t mask = umask(0);
        umask(mask);
        if (fd >= 0) fchmod(fd, 0666 & ~mask);
        if (fd >= 0) m_file = fdopen(fd, "wb");
        if (fd >= 0 && !m_file) close(fd);
        if (!m_file) m_name.clear();
    }
    ~TemporaryFile()
    {
        if (m_file) std::fclose(m_file);
        if (!m_name.empty()) std::remove(m_name.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    FILE* file() const { return m_file; }
    // Closes the file and gives it the destination's name.
    bool MoveTo(const std::string& destination)
    {
        const bool closed = std::fclose(m_file) == 0;
        m_file = nullptr;
        if (!closed || std::rename(m_name.c_str(), destination.c_str()) != 0) return false;
        m_name.clear();
        return true;
    }

private:
    std::string m_name;
    FILE* m_file = nullptr;
};

bool Write(FILE* file, const unsigned char* data, int size)
{
    return size >= 0 && std::fwrite(data, 1, static_cast<size_t>(size), file) == static_cast<size_t>(size);
}

}  // namespace

int main(int argc, char** argv)
{
    bool high = false;
    int bitRate = 0;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0) {
            high = true;
        } else if (std::strcmp(argv[i], "-b") == 0 && i + 1 < argc) {
            char* end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (!*argv[i] || *end || value < 8 || value > 320) return Usage();
            bitRate = static_cast<int>(value);
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.size() != 2 || bitRate == 0) return Usage();
    const char* source = files[0];
    const std::string destination = files[1];

    WavReader wav;
    if (!wav.Open(source)) {
        std::fprintf(stderr, "loud: %s: %s\n", source, wav.error().c_str());
        return 2;
    }

    Encoder encoder;
    lame_t lame = encoder.get();
    if (!lame) {
        std::fprintf(stderr, "loud: cannot start the encoder\n");
        return 3;
    }
    lame_set_in_samplerate(lame, wav.sampleRate());
    lame_set_num_channels(lame, wav.channels());
    if (wav.channels() == 1) lame_set_mode(lame, MONO);
    lame_set_VBR(lame, vbr_off);
    lame_set_brate(lame, bitRate);
    lame_set_quality(lame, high ? 2 : 5);  // 2 is what the encoder's own "-h" asks for
    if (lame_init_params(lame) < 0) {
        std::fprintf(stderr, "loud: %s: %d Hz at %d kbit/s cannot be encoded\n", source, wav.sampleRate(), bitRate);
        return 2;
    }

    TemporaryFile out(destination);
    if (!out.file()) {
        std::fprintf(stderr, "loud: cannot write beside %s\n", destination.c_str());
        return 3;
    }
    std::vector<float> left, right;
    std::vector<unsigned char> mp3(kBlock * 5 / 4 + 7200);
    for (;;) {
        const int64_t frames = wav.Read(kBlock, left, right);
        if (frames < 0) {
            std::fprintf(stderr, "loud: %s: read error\n", source);
            return 2;
        }
        if (frames == 0) break;
        const int bytes = lame_encode_buffer_ieee_float(lame, left.data(), right.empty() ? left.data() : right.data(),
                                                        static_cast<int>(frames), mp3.data(), static_cast<int>(mp3.size()));
        if (!Write(out.file(), mp3.data(), bytes)) {
            std::fprintf(stderr, "loud: cannot encode or write %s\n", destination.c_str());
            return 3;
        }
    }
    const int last = lame_encode_flush(lame, mp3.data(), static_cast<int>(mp3.size()));
    if (!Write(out.file(), mp3.data(), last)) {
        std::fprintf(stderr, "loud: cannot encode or write %s\n", destination.c_str());
        return 3;
    }
    // The first frame holds the tag that gives players the exact length.
    const size_t tag = lame_get_lametag_frame(lame, mp3.data(), mp3.size());
    if (tag > 0 && tag <= mp3.size() &&
        (std::fseek(out.file(), 0, SEEK_SET) != 0 || !Write(out.file(), mp3.data(), static_cast<int>(tag)))) {
        std::fprintf(stderr, "loud: cannot write %s\n", destination.c_str());
        return 3;
    }
    if (std::fflush(out.file()) != 0 || !out.MoveTo(destination)) {
        std::fprintf(stderr, "loud: cannot write %s\n", destination.c_str());
        return 3;
    }
    return 0;
}
