// The converter on WAV files written here: what it makes is read back by
// ffprobe (codec, bit rate, channels, length) and decoded by ffmpeg to
// find the tone's frequency again; what it refuses leaves no file behind.
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct WavFormat {
    uint16_t tag = 1;  // 1 integer, 3 float
    int channels = 2;
    int rate = 44100;
    int bits = 16;
};

void Put(std::string& out, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A WAV of `seconds` of a sine at `frequency` (at 0.6 of full scale) in
// every channel; `dataSize` overrides the data chunk's stated length.
std::string SineWav(const WavFormat& f, double frequency, double seconds, int64_t dataSize = -1)
{
    const int bytes = (f.bits + 7) / 8;
    const int64_t frames = static_cast<int64_t>(seconds * f.rate);
    std::string data;
    for (int64_t i = 0; i < frames; ++i) {
        const double v = 0.6 * std::sin(2 * M_PI * frequency * static_cast<double>(i) / f.rate);
        for (int c = 0; c < f.channels; ++c) {
            if (f.tag == 3) {
                const float x = static_cast<float>(v);
                uint32_t u;
                std::memcpy(&u, &x, 4);
                Put(data, u, 4);
            } else if (f.bits == 8) {
                Put(data, static_cast<uint8_t>(std::lround(128 + 127 * v)), 1);
            } else {
                const int64_t full = (int64_t{1} << (f.bits - 1)) - 1;
                Put(data, static_cast<uint64_t>(std::llround(v * full)), bytes);
            }
        }
    }
    std::string wav = "RIFF";
    Put(wav, 36 + data.size(), 4);
    wav += "WAVEfmt ";
    Put(wav, 16, 4);
    Put(wav, f.tag, 2);
    Put(wav, f.channels, 2);
    Put(wav, f.rate, 4);
    Put(wav, static_cast<uint64_t>(f.rate) * f.channels * bytes, 4);
    Put(wav, f.channels * bytes, 2);
    Put(wav, f.bits, 2);
    // A chunk the converter must step over.
    wav += "LIST";
    Put(wav, 3, 4);
    wav += "abc";
    wav += '\0';
    wav += "data";
    Put(wav, dataSize >= 0 ? static_cast<uint64_t>(dataSize) : data.size(), 4);
    return wav + data;
}

void WriteFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

testkit::CommandResult Loud(const std::string& arguments)
{
    return testkit::Run(std::string(LOUD_PROGRAM) + " " + arguments + " 2>&1");
}

// "key=value" lines of ffprobe.
double Field(const std::string& output, const std::string& key)
{
    const size_t at = output.find(key + "=");
    return at == std::string::npos ? -1 : std::atof(output.c_str() + at + key.size() + 1);
}

// The tone's frequency in the decoded sound: zero crossings of the middle
// of the signal (the encoder's start and end ramps left out). `seconds`
// receives the decoded length.
double DecodedFrequency(const std::string& mp3, const std::string& raw, double& seconds)
{
    const testkit::CommandResult r =
        testkit::Run("ffmpeg -v error -y -i '" + mp3 + "' -f s16le -ac 1 -ar 44100 '" + raw + "'");
    EXPECT_EQ(r.status, 0) << r.output;
    std::ifstream in(raw, std::ios::binary);
    std::vector<int16_t> samples;
    for (char b[2]; in.read(b, 2);)
        samples.push_back(static_cast<int16_t>(static_cast<uint8_t>(b[0]) | static_cast<uint8_t>(b[1]) << 8));
    seconds = static_cast<double>(samples.size()) / 44100;
    const size_t from = 4410, to = samples.size() > 2 * 4410 ? samples.size() - 4410 : 0;
    int crossings = 0;
    size_t first = 0, last = 0;
    for (size_t i = from + 1; i < to; ++i)
        if ((samples[i - 1] < 0) != (samples[i] < 0)) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
    if (crossings < 3) return 0;
    return (crossings - 1) / 2.0 / (static_cast<double>(last - first) / 44100);
}

TEST(Loud, ConvertsWavToMp3)
{
    ASSERT_TRUE(testkit::RequireTool("ffprobe"));
    ASSERT_TRUE(testkit::RequireTool("ffmpeg"));
    struct Case {
        WavFormat format;
        double frequency;
        int bitRate;
    };
    const Case cases[] = {
        {{1, 2, 44100, 16}, 440, 128},
        {{1, 1, 22050, 8}, 1000, 64},
        {{3, 2, 48000, 32}, 660, 80},
        {{1, 1, 32000, 24}, 523.25, 40},
        {{1, 2, 8000, 16}, 300, 40},
    };
    testkit::TempDir dir;
    for (const Case& c : cases) {
        const std::string name = std::to_string(c.format.bits) + "_" + std::to_string(c.format.rate);
        const std::string wav = dir.file(name + ".wav"), mp3 = dir.file(name + ".mp3");
        WriteFile(wav, SineWav(c.format, c.frequency, 1.0));
        const testkit::CommandResult r = Loud("-h -b " + std::to_string(c.bitRate) + " '" + wav + "' '" + mp3 + "'");
        ASSERT_EQ(r.status, 0) << name << ": " << r.output;
        const testkit::CommandResult probe =
            testkit::Run("ffprobe -v error -show_streams -of default=nw=1 '" + mp3 + "'");
        ASSERT_EQ(probe.status, 0) << probe.output;
        EXPECT_NE(probe.output.find("codec_name=mp3"), std::string::npos) << name;
        EXPECT_NEAR(Field(probe.output, "bit_rate"), c.bitRate * 1000.0, 1000.0) << name;
        EXPECT_EQ(Field(probe.output, "channels"), c.format.channels) << name;
        // ffprobe counts whole frames; below 16 kHz it leaves the encoder's
        // delay and padding in (the decoder trims them by the tag).
        if (c.format.rate >= 16000) {
            EXPECT_NEAR(Field(probe.output, "duration"), 1.0, 0.1) << name;
        }
        double seconds = 0;
        EXPECT_NEAR(DecodedFrequency(mp3, dir.file(name + ".raw"), seconds), c.frequency, c.frequency * 0.01) << name;
        EXPECT_NEAR(seconds, 1.0, 0.1) << name;
    }
    // Nothing left over from writing.
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().string().find(".loud-"), std::string::npos) << entry.path();
}

TEST(Loud, RefusesWhatItCannotRead)
{
    testkit::TempDir dir;
    const std::string good = SineWav({}, 440, 0.2);
    struct Case {
        const char* name;
        std::string bytes;
        int status;
    };
    const Case cases[] = {
        {"truncated", good.substr(0, 20), 2},
        {"longdata", SineWav({}, 440, 0.2, 1000000), 2},
        {"12bit", SineWav({1, 1, 44100, 12}, 440, 0.2), 2},
        {"32bitint", SineWav({1, 2, 44100, 32}, 440, 0.2), 2},
        {"64bitfloat", SineWav({3, 1, 44100, 64}, 440, 0.2), 2},
        {"3channels", SineWav({1, 3, 44100, 16}, 440, 0.2), 2},
        {"rate0", SineWav({1, 1, 0, 16}, 440, 0), 2},
        {"alaw", SineWav({6, 1, 8000, 8}, 440, 0.2), 2},
        {"text", "just some text, not a sound", 2},
        {"empty", "", 2},
    };
    for (const Case& c : cases) {
        const std::string wav = dir.file(std::string(c.name) + ".wav"), mp3 = dir.file(std::string(c.name) + ".mp3");
        WriteFile(wav, c.bytes);
        const testkit::CommandResult r = Loud("-h -b 128 '" + wav + "' '" + mp3 + "'");
        EXPECT_EQ(r.status, c.status) << c.name << ": " << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << c.name << ": " << r.output;
        EXPECT_FALSE(fs::exists(mp3)) << c.name;
    }
    // A destination already there is left as it was by a refused source.
    WriteFile(dir.file("kept.mp3"), "published before");
    EXPECT_EQ(Loud("-h -b 128 '" + dir.file("text.wav") + "' '" + dir.file("kept.mp3") + "'").status, 2);
    std::ifstream in(dir.file("kept.mp3"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "published before");

    // A missing source; a destination that cannot be written; bad command lines.
    EXPECT_EQ(Loud("-b 128 '" + dir.file("none.wav") + "' '" + dir.file("none.mp3") + "'").status, 2);
    WriteFile(dir.file("good.wav"), good);
    EXPECT_EQ(Loud("-b 128 '" + dir.file("good.wav") + "' '" + dir.file("no/where.mp3") + "'").status, 3);
    for (const char* line : {"", "-h -b 128 a.wav", "-h -b x a.wav b.mp3", "-h -b 1000 a.wav b.mp3", "a.wav b.mp3"})
        EXPECT_EQ(Loud(line).status, 1) << line;
    int leftovers = 0;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        leftovers += entry.path().string().find(".loud-") != std::string::npos;
    EXPECT_EQ(leftovers, 0);
}

}  // namespace
