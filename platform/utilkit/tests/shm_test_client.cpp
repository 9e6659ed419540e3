// The child side of the channel tests, built with the tests and linked with
// the client library only, as the matchers are. Modes:
//   --shmname N --shmsize S --texts T --blocks B   post T texts "text k",
//       write B blocks (block k: images k and k + 1, PairsOfBlock(k) pairs
//       of PairValue), try one block that passes the end, post "refused"
//       when the client turned it down, then set the finished flag
//   --shmname N --shmsize S --wait-cancel          post "waiting", then wait
//       (at most 30 s) for the server's cancel request; exit 0 when it came
//   --echo FILE ARGS...                            write ARGS to FILE, each
//       ended by a NUL byte
#include "platform/utilkit/shm_client.h"
#include "platform/utilkit/tests/shm_test_pattern.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

int Echo(int argc, char** argv)
{
    if (argc < 3) return 2;
    FILE* f = std::fopen(argv[2], "wb");
    if (!f) return 2;
    for (int i = 3; i < argc; ++i) std::fwrite(argv[i], 1, std::strlen(argv[i]) + 1, f);
    return std::fclose(f) == 0 ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--echo") == 0) return Echo(argc, argv);
    std::string name;
    int size = 0, texts = 0, blocks = 0;
    bool waitCancel = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--shmname") name = value, ++i;
        else if (arg == "--shmsize") size = std::atoi(value), ++i;
        else if (arg == "--texts") texts = std::atoi(value), ++i;
        else if (arg == "--blocks") blocks = std::atoi(value), ++i;
        else if (arg == "--wait-cancel") waitCancel = true;
    }
    ShmClient client;
    if (client.open(name.c_str(), size) != 0) return 3;
    if (waitCancel) {
        client.postText("waiting");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!client.cancelRequested()) {
            if (std::chrono::steady_clock::now() > deadline) return 4;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return 0;
    }
    for (int k = 0; k < texts; ++k) {
        const std::string text = "text " + std::to_string(k);
        if (!client.postText(text.c_str())) return 5;
    }
    std::vector<ShmMarkerPair> pairs;
    long long left = size - static_cast<long long>(shm::kHeadSize);
    for (int k = 0; k < blocks; ++k) {
        pairs.resize(static_cast<size_t>(shmtest::PairsOfBlock(k, blocks)));
        for (size_t j = 0; j < pairs.size(); ++j) pairs[j] = shmtest::PairValue(k, static_cast<int>(j));
        if (!client.writeBlock(k, k + 1, pairs)) return 6;
        left -= static_cast<long long>(shm::kStoredBlockHead + shm::kPairBytes * pairs.size());
    }
    // One pair more than what is left can hold: the block is refused whole.
    const long long tooMany = left < static_cast<long long>(shm::kStoredBlockHead)
                                  ? 0
                                  : (left - static_cast<long long>(shm::kStoredBlockHead)) / 16 + 1;
    pairs.assign(static_cast<size_t>(tooMany), ShmMarkerPair{1, 2, 3, 4});
    if (!client.writeBlock(998, 999, pairs)) client.postText("refused");
    client.setFinished();
    return 0;
}
