// A stand-in for the matcher and blender programs in the tests of the
// channel runs, installed in a temporary program folder as Hollet, Nerrow
// and Swelder. It writes its arguments to $FAKE_CHILD_DIR/argv (each ended
// by a NUL byte) and its process id to $FAKE_CHILD_DIR/pid, then follows the script $FAKE_CHILD_DIR/script:
//   text T              post the progress text T
//   block I0 I1 N       write a block of N pairs, pair k = (100 I0 + k,
//                       100 I0 + k + 0.5, 100 I1 + k, 100 I1 + k + 0.25)
//   nanblock I0 I1 N    the same with pair 1's y1 not a number
//   copy SRC            copy SRC to the file after "-o"
//   pause MS            sleep MS milliseconds
//   finish              set the finished flag, exit 0
//   linger              set the finished flag, then sleep 60 s
//   crash               exit 3 without the flag
//   sleep               sleep 60 s (until ended)
// The channel comes from "--shmname"/"--shmsize" as the real programs read it.
#include "platform/utilkit/shm_client.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

int main(int argc, char** argv)
{
    const char* dir = std::getenv("FAKE_CHILD_DIR");
    if (!dir) return 10;
    {
        std::ofstream out(std::string(dir) + "/argv", std::ios::binary);
        for (int i = 0; i < argc; ++i) out << argv[i] << '\0';
    }
    std::ofstream(std::string(dir) + "/pid") << ::getpid();
    std::string name, output;
    int size = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--shmname") == 0) name = argv[i + 1];
        else if (std::strcmp(argv[i], "--shmsize") == 0) size = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "-o") == 0) output = argv[i + 1];
    }
    ShmClient client;
    if (!name.empty() && client.open(name.c_str(), size) != 0) return 11;
    std::ifstream script(std::string(dir) + "/script");
    std::string line;
    while (std::getline(script, line)) {
        std::istringstream words(line);
        std::string verb;
        words >> verb;
        if (verb == "text") {
            client.postText(line.substr(5).c_str());
        } else if (verb == "block" || verb == "nanblock") {
            int i0 = 0, i1 = 0, n = 0;
            words >> i0 >> i1 >> n;
            std::vector<ShmMarkerPair> pairs;
            for (int k = 0; k < n; ++k)
                pairs.push_back({100.0f * i0 + k, 100.0f * i0 + k + 0.5f, 100.0f * i1 + k, 100.0f * i1 + k + 0.25f});
            if (verb == "nanblock" && n > 1) pairs[1].y1 = std::nanf("");
            if (!client.writeBlock(i0, i1, pairs)) return 12;
        } else if (verb == "copy") {
            std::string source;
            words >> source;
            std::ifstream in(source, std::ios::binary);
            std::ofstream out(output, std::ios::binary);
            out << in.rdbuf();
        } else if (verb == "pause") {
            int ms = 0;
            words >> ms;
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        } else if (verb == "finish") {
            client.setFinished();
            return 0;
        } else if (verb == "linger") {
            client.setFinished();
            std::this_thread::sleep_for(std::chrono::seconds(60));
            return 0;
        } else if (verb == "crash") {
            return 3;
        } else if (verb == "sleep") {
            std::this_thread::sleep_for(std::chrono::seconds(60));
            return 0;
        }
    }
    return 0;
}
