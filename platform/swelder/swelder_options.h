// The options of the blender program Swelder, as the main program writes
// them: "--shmname N --shmsize S [--wrap] -o out chip...". Kept apart from
// the program so that tests read them the way it does.
#pragma once

#include <string>
#include <vector>

struct SwelderOptions {
    std::string shmName;
    int shmSize = 0;
    bool wrap = false;
    std::string output;
    std::vector<std::string> chips;
};

// False, with the reason in `error`, when a value is missing, the size is
// not a positive number, there is no "-o" or no chip.
bool ParseSwelderOptions(const std::vector<std::string>& args, SwelderOptions& out, std::string& error);

// enblend's command line for the options: "-o tmp [-w] -l levels chip...".
std::vector<std::string> EnblendArguments(const SwelderOptions& options, const std::string& temporary, int levels);

// Levels written by the main program into a chip's description
// ("levels=L bw=B"); 0 when absent.
int LevelsFromDescription(const std::string& description);
