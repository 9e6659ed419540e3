// The command interface as the sound preview uses it: aliases opened on
// files of the three device types, their state through set, play, stop and
// close, and the interface's answers to what it cannot do.
#include "platform/mci/mci.h"

#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

class MciTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_wasSilent = mci::SetSilent(true);
        std::ofstream(m_dir.file("tone.wav")) << "RIFF";
        std::ofstream(m_dir.file("song.mid")) << "MThd";
        mciSendString("close all", nullptr, 0, nullptr);
        mci::ClearCommandLog();
    }
    void TearDown() override
    {
        mciSendString("close all", nullptr, 0, nullptr);
        mci::SetSilent(m_wasSilent);
    }
    static MCIERROR Send(const std::string& command)
    {
        char answer[16] = "junk";
        const MCIERROR result = mciSendString(command.c_str(), answer, sizeof answer, nullptr);
        EXPECT_STREQ(answer, "") << command;
        return result;
    }

    testkit::TempDir m_dir;
    bool m_wasSilent = true;
};

TEST_F(MciTest, AliasFollowsOpenSetPlayStopClose)
{
    const std::string wav = m_dir.file("tone.wav");
    ASSERT_EQ(Send("open \"" + wav + "\" type waveaudio alias QuorvaneMciSound"), 0u);
    auto state = mci::GetAlias("QuorvaneMciSound");
    ASSERT_TRUE(state);
    EXPECT_EQ(state->file, wav);
    EXPECT_EQ(state->type, "waveaudio");
    EXPECT_FALSE(state->playing);
    EXPECT_FALSE(state->milliseconds);

    EXPECT_EQ(Send("set QuorvaneMciSound time format milliseconds"), 0u);
    EXPECT_EQ(Send("play QuorvaneMciSound from 0"), 0u);
    state = mci::GetAlias("quorvanemcisound");  // aliases ignore case
    ASSERT_TRUE(state);
    EXPECT_TRUE(state->milliseconds);
    EXPECT_TRUE(state->playing);

    EXPECT_EQ(Send("stop QuorvaneMciSound"), 0u);
    EXPECT_FALSE(mci::GetAlias("QuorvaneMciSound")->playing);
    EXPECT_EQ(Send("open \"" + wav + "\" type waveaudio alias QuorvaneMciSound"), MCIERR_DUPLICATE_ALIAS);
    EXPECT_EQ(Send("close QuorvaneMciSound"), 0u);
    EXPECT_FALSE(mci::GetAlias("QuorvaneMciSound"));

    EXPECT_EQ(mci::CommandLog(),
              (std::vector<std::string>{"open \"" + wav + "\" type waveaudio alias QuorvaneMciSound",
                                        "set QuorvaneMciSound time format milliseconds",
                                        "play QuorvaneMciSound from 0", "stop QuorvaneMciSound",
                                        "open \"" + wav + "\" type waveaudio alias QuorvaneMciSound",
                                        "close QuorvaneMciSound"}));
}

TEST_F(MciTest, Answers)
{
    const std::string wav = m_dir.file("tone.wav"), mid = m_dir.file("song.mid");
    struct Case {
        std::string command;
        MCIERROR answer;
    };
    const Case cases[] = {
        {"play Nobody from 0", MCIERR_INVALID_DEVICE_NAME},
        {"stop Nobody", MCIERR_INVALID_DEVICE_NAME},
        {"set Nobody time format milliseconds", MCIERR_INVALID_DEVICE_NAME},
        {"close Nobody", MCIERR_INVALID_DEVICE_NAME},
        {"close all", 0},
        {"open \"" + wav + "\" type cdaudio alias A", MCIERR_INVALID_DEVICE_NAME},
        {"open \"" + m_dir.file("gone.wav") + "\" type waveaudio alias A", MCIERR_FILE_NOT_FOUND},
        {"open \"" + m_dir.path().string() + "\" type waveaudio alias A", MCIERR_FILE_NOT_FOUND},
        {"open \"" + wav + "\" type waveaudio", MCIERR_MISSING_PARAMETER},
        {"rewind A", MCIERR_UNRECOGNIZED_COMMAND},
        {"", MCIERR_UNRECOGNIZED_COMMAND},
        // The sequencer opens, but there is no player behind it.
        {"open \"" + mid + "\" type sequencer alias M", 0},
        {"set M time format milliseconds", 0},
        {"set M speed 2", MCIERR_UNRECOGNIZED_KEYWORD},
        {"play M from 0", MCIERR_NO_PLAYER},
        {"open \"" + wav + "\" type mpegvideo alias W", 0},
        {"play W from 0", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(Send(c.command), c.answer) << c.command;
    EXPECT_FALSE(mci::GetAlias("M")->playing);
    EXPECT_TRUE(mci::GetAlias("W")->playing);
    EXPECT_FALSE(mci::GetAlias("A"));
    EXPECT_EQ(Send("close all"), 0u);
    EXPECT_FALSE(mci::GetAlias("M"));
    EXPECT_FALSE(mci::GetAlias("W"));
    EXPECT_EQ(mciSendString(nullptr, nullptr, 0, nullptr), MCIERR_UNRECOGNIZED_COMMAND);
}

TEST_F(MciTest, PlaySoundPurgeStopsWhatItStarted)
{
    EXPECT_FALSE(PlaySoundA(m_dir.file("gone.wav").c_str(), nullptr, SND_FILENAME | SND_ASYNC));
    EXPECT_FALSE(mci::PlaySoundActive());
    ASSERT_TRUE(PlaySoundA(m_dir.file("tone.wav").c_str(), nullptr, SND_FILENAME | SND_ASYNC));
    EXPECT_TRUE(mci::PlaySoundActive());
    EXPECT_TRUE(PlaySoundA(nullptr, nullptr, SND_PURGE));
    EXPECT_FALSE(mci::PlaySoundActive());
    EXPECT_EQ(mci::CommandLog().back(), "PlaySoundA purge");
}

using testkit::ReadText;

// Waits up to five seconds for `done`.
template <typename Done>
bool Eventually(Done done)
{
    for (int i = 0; i < 500; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// With sound on, play starts ffplay with the file as one argument (no
// shell between), stop ends it, and a sound that ends by itself is no
// longer playing. An ffplay of the test's own on the PATH records what it
// was given.
TEST_F(MciTest, SoundPlaysThroughFfplay)
{
    const std::string bin = m_dir.file("bin");
    std::filesystem::create_directories(bin);
    const std::string record = m_dir.file("args.txt"), pid = m_dir.file("pid.txt");
    const auto player = [&](const std::string& then) {
        std::ofstream(bin + "/ffplay") << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << record << ".tmp'\nmv '" << record
                                       << ".tmp' '" << record << "'\necho $$ > '" << pid << "'\n" << then << "\n";
        std::filesystem::permissions(bin + "/ffplay", std::filesystem::perms::owner_all);
    };
    struct PathGuard {
        std::string old = std::getenv("PATH") ? std::getenv("PATH") : "";
        ~PathGuard() { setenv("PATH", old.c_str(), 1); }
    } path;
    setenv("PATH", (bin + ":" + path.old).c_str(), 1);
    mci::SetSilent(false);

    const std::string wav = m_dir.file("a \"b\" $(x).wav");
    std::ofstream(wav) << "RIFF";
    player("exec sleep 30");
    ASSERT_EQ(Send("open \"" + wav + "\" type waveaudio alias S"),
              MCIERR_UNRECOGNIZED_KEYWORD);  // the quote ends the name, the rest is no keyword
    std::ofstream(m_dir.file("a $(x) ;b.wav")) << "RIFF";
    ASSERT_EQ(Send("open \"" + m_dir.file("a $(x) ;b.wav") + "\" type waveaudio alias S"), 0u);
    ASSERT_EQ(Send("play S from 0"), 0u);
    ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(record); }));
    EXPECT_EQ(ReadText(record), "-nodisp\n-autoexit\n-loglevel\nquiet\n" + m_dir.file("a $(x) ;b.wav") + "\n");
    ASSERT_TRUE(Eventually([&] { return !ReadText(pid).empty(); }));
    const pid_t child = std::atoi(ReadText(pid).c_str());
    ASSERT_GT(child, 0);
    EXPECT_EQ(kill(child, 0), 0);
    EXPECT_TRUE(mci::GetAlias("S")->playing);
    EXPECT_EQ(Send("stop S"), 0u);
    EXPECT_FALSE(mci::GetAlias("S")->playing);
    EXPECT_NE(kill(child, 0), 0);  // ended and reaped

    std::filesystem::remove(record);
    player("exit 0");
    ASSERT_EQ(Send("play S from 0"), 0u);
    EXPECT_TRUE(Eventually([] { return !mci::GetAlias("S")->playing; }));
    EXPECT_TRUE(std::filesystem::exists(record));
}

}  // namespace
