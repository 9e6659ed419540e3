// Tour sound: the preview's results and the commands it sends (seen in the
// command interface's log, played silently), and the publishing of sounds:
// copies, and conversions by a converter that records its arguments, by
// converters that fail, and once by the real "loud", checked with ffprobe.
#include "tour/tessiv/tour_sound.h"

#include "platform/mci/mci.h"
#include "core/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

using testkit::ReadText;

class SoundPreview : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_wasSilent = mci::SetSilent(true);
        mci::ClearCommandLog();
    }
    void TearDown() override { mci::SetSilent(m_wasSilent); }
    std::string Make(const std::string& name)
    {
        WriteText(m_dir.path() / name, "sound");
        return m_dir.file(name);
    }

    testkit::TempDir m_dir;
    bool m_wasSilent = true;
};

TEST_F(SoundPreview, ResultsAndDeviceTypes)
{
    fs::create_directories(m_dir.path() / "folder.wav");
    struct Case {
        std::string path;
        int result;
        const char* type;  // the alias's device afterwards, null when not opened
    };
    const Case cases[] = {
        {Make("notes.txt"), 50123, nullptr},
        {Make("noextension"), 50123, nullptr},
        {m_dir.file("missing.wav"), 2, nullptr},
        {m_dir.file("folder.wav"), 2, nullptr},
        {Make("say \"x\" alias.wav"), 2, nullptr},
        {Make("tone.WAV"), 0, "waveaudio"},
        {Make("music.mp3"), 0, "mpegvideo"},
        {Make("song.mid"), 343, "sequencer"},
        {Make("song2.midi"), 343, "sequencer"},  // the last four characters "midi" open a sequencer
        {Make("song3.RMI"), 343, "sequencer"},
    };
    for (const Case& c : cases) {
        mciSendString("close all", nullptr, 0, nullptr);
        LogCapture log;
        EXPECT_EQ(PlaySoundFile(c.path.c_str()), c.result) << c.path;
        EXPECT_EQ(log.errorCount(), c.result == 2 ? 1 : 0) << c.path;
        const auto alias = mci::GetAlias("QuorvaneMciSound");
        if (!c.type) {
            EXPECT_FALSE(alias) << c.path;
            continue;
        }
        ASSERT_TRUE(alias) << c.path;
        EXPECT_EQ(alias->type, c.type) << c.path;
        EXPECT_EQ(alias->file, c.path);
        EXPECT_TRUE(alias->milliseconds);
        EXPECT_EQ(alias->playing, c.result == 0) << c.path;
    }
}

TEST_F(SoundPreview, TheDeviceIsOpenedOncePerFile)
{
    const std::string a = Make("a.wav"), b = Make("b.mp3");
    ASSERT_EQ(PlaySoundFile(a.c_str()), 0);
    ASSERT_EQ(PlaySoundFile(a.c_str()), 0);
    ASSERT_EQ(PlaySoundFile(b.c_str()), 0);
    StopSound();
    EXPECT_FALSE(mci::GetAlias("QuorvaneMciSound")->playing);
    const std::vector<std::string> expected = {
        "PlaySoundA purge",
        "stop QuorvaneMciSound",
        "close all",
        "open \"" + a + "\" type waveaudio alias QuorvaneMciSound",
        "set QuorvaneMciSound time format milliseconds",
        "play QuorvaneMciSound from 0",
        "PlaySoundA purge",
        "stop QuorvaneMciSound",
        "play QuorvaneMciSound from 0",
        "PlaySoundA purge",
        "stop QuorvaneMciSound",
        "close all",
        "open \"" + b + "\" type mpegvideo alias QuorvaneMciSound",
        "set QuorvaneMciSound time format milliseconds",
        "play QuorvaneMciSound from 0",
        "PlaySoundA purge",
        "stop QuorvaneMciSound",
    };
    EXPECT_EQ(mci::CommandLog(), expected);
}

TEST_F(SoundPreview, StopSoundEndsPlaySound)
{
    const std::string a = Make("a.wav");
    ASSERT_TRUE(PlaySoundA(a.c_str(), nullptr, SND_FILENAME | SND_ASYNC));
    ASSERT_TRUE(mci::PlaySoundActive());
    StopSound();
    EXPECT_FALSE(mci::PlaySoundActive());
    EXPECT_EQ(mci::CommandLog().back(), "stop QuorvaneMciSound");
}

// A converter of the test's own: it records its arguments one per line and
// then does what `body` says with the destination ($5).
class SoundPublish : public ::testing::Test {
protected:
    void TearDown() override { SetSoundConverter(nullptr); }

    std::string Converter(const std::string& name, const std::string& body)
    {
        const std::string script = m_dir.file(name);
        WriteText(script, "#!/bin/sh\nfor w in \"$@\"; do printf '%s\\n' \"$w\"; done > '" + m_dir.file("args.txt") +
                              "'\n" + body + "\n");
        fs::permissions(script, fs::perms::owner_all);
        return script;
    }
    std::string Arguments() const { return ReadText(m_dir.path() / "args.txt"); }

    testkit::TempDir m_dir;
};

TEST_F(SoundPublish, CopiesAndConversions)
{
    ASSERT_TRUE(testkit::RequireTool("sh"));
    SetSoundConverter(Converter("conv", "printf 'mp3 data' > \"$5\"").c_str());
    fs::create_directories(m_dir.path() / "tour");
    WriteText(m_dir.path() / "bell.WAV", "wave");
    WriteText(m_dir.path() / "tune.mid", "midi");
    WriteText(m_dir.path() / "noise", "raw");
    const fs::path tour = m_dir.path() / "tour";
    WriteText(tour / "old.wav", "old");

    // Java: copied whatever it is, over what was there.
    EXPECT_NE(PublishSound(m_dir.file("bell.WAV").c_str(), (tour / "old.wav").c_str(), false, 128), 0);
    EXPECT_EQ(ReadText(tour / "old.wav"), "wave");
    EXPECT_FALSE(fs::exists(m_dir.path() / "args.txt"));

    // Flash: a WAV in any case becomes an MP3 under the name ending "mp3".
    for (int bitRate : {128, 80, 40}) {
        const fs::path mp3 = tour / ("bell" + std::to_string(bitRate) + ".mp3");
        EXPECT_NE(PublishSound(m_dir.file("bell.WAV").c_str(), (tour / ("bell" + std::to_string(bitRate) + ".WAV")).c_str(),
                               true, bitRate),
                  0);
        EXPECT_EQ(ReadText(mp3), "mp3 data");
        EXPECT_EQ(Arguments(), "-h\n-b\n" + std::to_string(bitRate) + "\n" + m_dir.file("bell.WAV") + "\n" +
                                   mp3.string() + "\n");
    }
    // Other sounds and sounds without an extension are copied unchanged.
    fs::remove(m_dir.path() / "args.txt");
    EXPECT_NE(PublishSound(m_dir.file("tune.mid").c_str(), (tour / "tune.mid").c_str(), true, 128), 0);
    EXPECT_EQ(ReadText(tour / "tune.mid"), "midi");
    EXPECT_NE(PublishSound(m_dir.file("noise").c_str(), (tour / "noise").c_str(), true, 128), 0);
    EXPECT_EQ(ReadText(tour / "noise"), "raw");
    EXPECT_FALSE(fs::exists(m_dir.path() / "args.txt"));

    // A copy that fails.
    LogCapture log;
    EXPECT_EQ(PublishSound(m_dir.file("gone.mid").c_str(), (tour / "gone.mid").c_str(), true, 128), 0);
    EXPECT_EQ(PublishSound(m_dir.file("tune.mid").c_str(), (m_dir.path() / "no" / "tune.mid").c_str(), false, 128), 0);
    EXPECT_EQ(log.errorCount(), 2);
}

// A name with quotes and blanks reaches the converter as one word each.
TEST_F(SoundPublish, NamesReachTheConverterWhole)
{
    ASSERT_TRUE(testkit::RequireTool("sh"));
    SetSoundConverter(Converter("conv", "printf 'mp3' > \"$5\"").c_str());
    const std::string source = m_dir.file("a \" -b 8 \"b.wav");
    WriteText(source, "wave");
    const std::string destination = m_dir.file("out \"x\".wav");
    EXPECT_NE(PublishSound(source.c_str(), destination.c_str(), true, 80), 0);
    EXPECT_EQ(Arguments(), "-h\n-b\n80\n" + source + "\n" + m_dir.file("out \"x\".mp3") + "\n");
}

TEST_F(SoundPublish, FailedConversionsFail)
{
    ASSERT_TRUE(testkit::RequireTool("sh"));
    WriteText(m_dir.path() / "bell.wav", "wave");
    struct Case {
        const char* name;
        const char* body;
    };
    const Case cases[] = {
        {"exits3", "printf 'part' > \"$5\"; exit 3"},
        {"writesnothing", "exit 0"},
        {"writesempty", ": > \"$5\""},
        {"killed", "kill -9 $$"},
    };
    for (const Case& c : cases) {
        SetSoundConverter(Converter(c.name, c.body).c_str());
        const fs::path mp3 = m_dir.path() / (std::string(c.name) + ".mp3");
        LogCapture log;
        EXPECT_EQ(PublishSound(m_dir.file("bell.wav").c_str(), (m_dir.path() / (std::string(c.name) + ".wav")).c_str(),
                               true, 128),
                  0)
            << c.name;
        EXPECT_TRUE(log.contains("ERROR ConvertToMp3")) << c.name;
        EXPECT_TRUE(fs::exists(m_dir.path() / "bell.wav"));  // the source is never touched
    }
    SetSoundConverter(m_dir.file("nothing-here").c_str());
    LogCapture log;
    EXPECT_EQ(ConvertToMp3(m_dir.file("bell.wav").c_str(), m_dir.file("x.mp3").c_str(), 128), 0);
    EXPECT_TRUE(log.contains("ERROR ConvertToMp3"));
}

// The real converter beside the program, as the publisher starts it.
TEST_F(SoundPublish, LoudBesideTheProgramConverts)
{
    ASSERT_TRUE(testkit::RequireTool("ffmpeg"));
    ASSERT_TRUE(testkit::RequireTool("ffprobe"));
    const std::string wav = m_dir.file("tone.wav");
    const testkit::CommandResult made = testkit::Run("ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=1 "
                                                     "-ac 2 -ar 44100 -c:a pcm_s16le '" + wav + "'");
    ASSERT_EQ(made.status, 0) << made.output;
    const std::string destination = m_dir.file("tone.wav.mp3.wav");
    ASSERT_NE(PublishSound(wav.c_str(), destination.c_str(), true, 80), 0);
    const std::string mp3 = m_dir.file("tone.wav.mp3.mp3");
    const testkit::CommandResult probe = testkit::Run(
        "ffprobe -v error -show_entries stream=codec_name,bit_rate,channels -of default=nw=1 '" + mp3 + "'");
    ASSERT_EQ(probe.status, 0) << probe.output;
    EXPECT_NE(probe.output.find("codec_name=mp3"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("bit_rate=80000"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("channels=2"), std::string::npos) << probe.output;
}

}  // namespace
