#include "platform/utilkit/child_process.h"
#include "platform/utilkit/log_base.h"
#include "platform/utilkit/logger.h"
#include "platform/utilkit/shm_client.h"
#include "platform/utilkit/shm_comm.h"
#include "platform/utilkit/tests/shm_test_pattern.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

// The application's size rule: p image pairs of at most m marker pairs.
int ChannelSize(int p, int m)
{
    return p == 0 ? 3108 : p * ((m - 1) * 16 + 28) + 3108;
}

// A name no other test (or test process) uses.
std::string NewName(const char* prefix)
{
    char stamp[100];
    LogBase::makeTimeString(stamp, sizeof stamp, false);
    return std::string(prefix) + stamp + "_" + std::to_string(::getpid());
}

bool SameBits(const ShmMarkerPair& a, const ShmMarkerPair& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

TEST(ShmChannel, TextsAndBlocksCrossBetweenTwoProcesses)
{
    // Blanks and colons in the name reach the OS as underscores.
    const std::string name = NewName("Quorvane Shm:two_");
    const std::string entry = "/dev/shm" + shm::ObjectName(name);
    ASSERT_EQ(entry.find_first_of(" :"), std::string::npos);
    constexpr int kBlocks = 50;
    const int size = ChannelSize(kBlocks, shmtest::kMaxPairs);
    {
        ShmCommServer server;
        ASSERT_EQ(server.create(name.c_str(), size), 0);
        EXPECT_TRUE(std::filesystem::exists(entry));
        EXPECT_EQ(server.getSize(), size);
        EXPECT_STREQ(server.getName(), name.c_str());

        const std::string line = "shm_test_client --shmname \"" + name + "\" --shmsize " + std::to_string(size) +
                                 " --texts 20 --blocks " + std::to_string(kBlocks);
        PROCESS_INFORMATION pi;
        ASSERT_NE(LogBase::ExecuteProcess(SHM_TEST_CLIENT, line.c_str(), &pi, false), nullptr);

        // Poll as the application does, only much faster; blocks are left
        // alone until the flag is seen.
        std::vector<std::string> texts;
        bool finished = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!finished && std::chrono::steady_clock::now() < deadline) {
            while (const char* text = server.popMsg()) texts.push_back(text);
            if (server.isClientFinished()) {
                finished = true;
                break;
            }
            DWORD code = 0;
            ASSERT_TRUE(utilkit::ChildExitCode(pi.hProcess, &code));
            if (code != STILL_ACTIVE && !server.isClientFinished()) FAIL() << "client ended with " << code;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(finished);

        // Everything written before the flag is readable once the flag is.
        for (int k = 0; k < kBlocks; ++k) {
            const ShmDataBlock* block = server.popOneBlock();
            ASSERT_NE(block, nullptr) << "block " << k;
            EXPECT_EQ(block->imageIndex0, k);
            EXPECT_EQ(block->imageIndex1, k + 1);
            const int n = shmtest::PairsOfBlock(k, kBlocks);
            ASSERT_EQ(block->numMarkerPairs, n);
            EXPECT_EQ(block->length, 16 + 16 * n);
            for (int j = 0; j < n; ++j)
                ASSERT_TRUE(SameBits(block->pairs()[j], shmtest::PairValue(k, j))) << "block " << k << " pair " << j;
        }
        // The block that would have passed the end left nothing behind.
        EXPECT_EQ(server.popOneBlock(), nullptr);
        while (const char* text = server.popMsg()) texts.push_back(text);
        ASSERT_EQ(texts.size(), 21u);
        for (int k = 0; k < 20; ++k) EXPECT_EQ(texts[k], "text " + std::to_string(k));
        EXPECT_EQ(texts[20], "refused");

        DWORD code = STILL_ACTIVE;
        EXPECT_TRUE(utilkit::WaitChild(pi.hProcess, &code));
        EXPECT_EQ(code, 0u);
        EXPECT_TRUE(utilkit::CloseChildHandle(pi.hThread));
        EXPECT_TRUE(utilkit::CloseChildHandle(pi.hProcess));
    }
    EXPECT_FALSE(std::filesystem::exists(entry));
}

TEST(ShmChannel, CancelReachesTheChildProcess)
{
    const std::string name = NewName("QuorvaneShmCancel");
    ShmCommServer server;
    ASSERT_EQ(server.create(name.c_str(), 3108), 0);
    const std::string line = "shm_test_client --shmname " + name + " --shmsize 3108 --wait-cancel";
    PROCESS_INFORMATION pi;
    ASSERT_NE(LogBase::ExecuteProcess(SHM_TEST_CLIENT, line.c_str(), &pi, false), nullptr);
    const char* text = nullptr;
    for (int i = 0; i < 30000 && !(text = server.popMsg()); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "waiting");
    server.requestCancel();
    DWORD code = STILL_ACTIVE;
    EXPECT_TRUE(utilkit::WaitChild(pi.hProcess, &code));
    EXPECT_EQ(code, 0u);
    utilkit::CloseChildHandle(pi.hThread);
    utilkit::CloseChildHandle(pi.hProcess);
}

TEST(ShmChannel, CreateRefusesTakenNamesAndSizesOutOfRange)
{
    const std::string name = NewName("QuorvaneShmCreate");
    ShmCommServer first;
    ASSERT_EQ(first.create(name.c_str(), 3108), 0);
    struct Case {
        std::string name;
        int size;
    };
    const Case refused[] = {
        {name, 3108},                    // exists already
        {name + "_small", 3107},         // below the head
        {name + "_neg", -1},
        {name + "_huge", (1 << 30) + 1},  // above 1 GiB
        {"", 4096},
    };
    for (const Case& c : refused) {
        LogCapture log;
        ShmCommServer server;
        EXPECT_NE(server.create(c.name.c_str(), c.size), 0) << c.name << " " << c.size;
        EXPECT_TRUE(log.contains("ERROR ShmCommServer::create()")) << c.name << " " << c.size;
        if (!c.name.empty() && c.name != name) {
            EXPECT_FALSE(std::filesystem::exists("/dev/shm" + shm::ObjectName(c.name))) << c.name;
        }
    }
    // The refused second create left the first channel alone.
    ShmClient client;
    EXPECT_EQ(client.open(name.c_str(), 3108), 0);
    // A client must name the size the channel was made with.
    ShmClient wrongSize;
    LogCapture log;
    EXPECT_NE(wrongSize.open(name.c_str(), 3112), 0);
    EXPECT_NE(wrongSize.open((name + "_none").c_str(), 3108), 0);
    EXPECT_TRUE(log.contains("ERROR ShmClient::open()"));
}

TEST(ShmChannel, TheSizeRuleHoldsExactlyForFullBlocks)
{
    struct Case {
        int pairs;
        int maxPairs;
    };
    for (const Case c : {Case{0, 200}, Case{1, 1}, Case{3, 200}, Case{5, 17}}) {
        const std::string name = NewName("QuorvaneShmRule");
        ShmCommServer server;
        ASSERT_EQ(server.create(name.c_str(), ChannelSize(c.pairs, c.maxPairs)), 0);
        ShmClient client;
        ASSERT_EQ(client.open(name.c_str(), server.getSize()), 0);
        const std::vector<ShmMarkerPair> full(static_cast<size_t>(c.maxPairs), ShmMarkerPair{1.5f, 2.5f, 3.5f, 4.5f});
        for (int k = 0; k < c.pairs; ++k) EXPECT_TRUE(client.writeBlock(k, k + 1, full)) << c.pairs << " " << k;
        // Not even an empty block fits any more.
        LogCapture log;
        EXPECT_FALSE(client.writeBlock(7, 8, {}));
        EXPECT_TRUE(log.contains("ERROR ShmClient::writeBlock()"));
        for (int k = 0; k < c.pairs; ++k) {
            const ShmDataBlock* block = server.popOneBlock();
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(block->imageIndex0, k);
            EXPECT_EQ(block->numMarkerPairs, c.maxPairs);
            EXPECT_EQ(block->pairs()[c.maxPairs - 1].y1, 4.5f);
        }
        EXPECT_EQ(server.popOneBlock(), nullptr);
        EXPECT_EQ(log.errorCount(), 1);
    }
}

TEST(ShmChannel, AFullTextRingDropsTextsAfterABoundedWait)
{
    const std::string name = NewName("QuorvaneShmRing");
    ShmCommServer server;
    ASSERT_EQ(server.create(name.c_str(), 3108), 0);
    ShmClient client;
    ASSERT_EQ(client.open(name.c_str(), 3108), 0);
    for (int k = 0; k < 8; ++k) EXPECT_TRUE(client.postText(("t" + std::to_string(k)).c_str()));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.postText("dropped"));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::seconds(10));
    for (int k = 0; k < 8; ++k) {
        const char* text = server.popMsg();
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::string(text), "t" + std::to_string(k));
    }
    EXPECT_EQ(server.popMsg(), nullptr);
    // Long texts are cut to what a slot holds; the ring goes on past its end.
    const std::string longText(400, 'x');
    for (int k = 0; k < 12; ++k) {
        ASSERT_TRUE(client.postText(longText.c_str()));
        const char* text = server.popMsg();
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::string(text), std::string(253, 'x'));
    }
}

// The test plays a hostile or broken child: it writes the channel's memory
// directly and the server must refuse what does not add up, reading nothing
// outside the mapping.
TEST(ShmChannel, DamagedBlocksAndCountersAreRefused)
{
    struct Stored {
        int32_t i0, i1, n;
    };
    struct Case {
        const char* what;
        Stored head;
        uint64_t blockBytes;     // as the child reports them
        uint64_t blocksWritten;
    };
    const int size = ChannelSize(2, 10);
    const uint64_t area = static_cast<uint64_t>(size) - 3108;
    const Case cases[] = {
        {"2^30 pairs", {0, 1, 1 << 30}, 12, 1},
        {"negative count", {0, 1, -5}, 12, 1},
        {"count beyond the bytes written", {0, 1, 2}, 12 + 16, 1},
        {"count within the area, beyond the bytes written", {0, 1, static_cast<int32_t>(area / 16)}, area, 1},
        {"byte count beyond the area", {0, 1, 1}, area + 16, 1},
        {"byte count beyond the area, huge", {0, 1, 1}, ~uint64_t{0}, 1},
        {"head beyond the bytes written", {0, 1, 0}, 8, 1},
    };
    for (const Case& c : cases) {
        const std::string name = NewName("QuorvaneShmHostile");
        ShmCommServer server;
        ASSERT_EQ(server.create(name.c_str(), size), 0);
        shm::Mapping raw;
        ASSERT_TRUE(raw.open(name, static_cast<size_t>(size), "test"));
        std::memcpy(raw.data() + 3108, &c.head, sizeof c.head);
        raw.store64(shm::kBlockBytesOffset, c.blockBytes);
        raw.store64(shm::kBlocksWrittenOffset, c.blocksWritten);
        for (int attempt = 0; attempt < 2; ++attempt) {
            LogCapture log;
            EXPECT_EQ(server.popOneBlock(), nullptr) << c.what;
            EXPECT_TRUE(log.contains("ERROR ShmComm::popOneBlock()")) << c.what;
        }
    }

    // Counters that run backwards after a good block.
    const std::string name = NewName("QuorvaneShmBackwards");
    ShmCommServer server;
    ASSERT_EQ(server.create(name.c_str(), size), 0);
    ShmClient client;
    ASSERT_EQ(client.open(name.c_str(), size), 0);
    const ShmMarkerPair pair{1, 2, 3, 4};
    ASSERT_TRUE(client.writeBlock(0, 1, {&pair, 1}));
    ASSERT_NE(server.popOneBlock(), nullptr);
    shm::Mapping raw;
    ASSERT_TRUE(raw.open(name, static_cast<size_t>(size), "test"));
    {
        LogCapture log;
        raw.store64(shm::kBlocksWrittenOffset, 0);  // fewer written than read
        EXPECT_EQ(server.popOneBlock(), nullptr);
        EXPECT_TRUE(log.contains("ERROR ShmComm::popOneBlock()"));
    }
    {
        LogCapture log;
        raw.store64(shm::kBlocksWrittenOffset, 2);
        raw.store64(shm::kBlockBytesOffset, 4);  // below what was read already
        EXPECT_EQ(server.popOneBlock(), nullptr);
        EXPECT_TRUE(log.contains("ERROR ShmComm::popOneBlock()"));
    }
    {
        LogCapture log;
        raw.store32(shm::kTextsWrittenOffset, 1000);  // texts skipped or counted backwards
        EXPECT_EQ(server.popMsg(), nullptr);
        EXPECT_TRUE(log.contains("ERROR ShmCommServer::popMsg()"));
    }
}
