#include "platform/swelder/swelder_options.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

bool ParseSwelderOptions(const std::vector<std::string>& args, SwelderOptions& out, std::string& error)
{
    out = SwelderOptions{};
    bool haveOutput = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* name) -> const std::string* {
            if (i + 1 >= args.size()) {
                error = std::string("missing value after ") + name;
                return nullptr;
            }
            return &args[++i];
        };
        if (a == "--shmname") {
            const std::string* v = value("--shmname");
            if (!v) return false;
            out.shmName = *v;
        } else if (a == "--shmsize") {
            const std::string* v = value("--shmsize");
            if (!v) return false;
            char* end = nullptr;
            const long size = std::strtol(v->c_str(), &end, 10);
            if (!end || *end != '\0' || size <= 0 || size > (1L << 30)) {
                error = "bad channel size " + *v;
                return false;
            }
            out.shmSize = static_cast<int>(size);
        } else if (a == "--wrap") {
            out.wrap = true;
        } else if (a == "-o") {
            const std::string* v = value("-o");
            if (!v) return false;
            out.output = *v;
            haveOutput = true;
        } else if (i == 0 && (a == "Swelder.exe" || a == "Swelder")) {
            continue;  // the program's own name leading the line
        } else {
            out.chips.push_back(a);
        }
    }
    if (!haveOutput || out.output.empty()) {
        error = "no output file (-o)";
        return false;
    }
    if (out.chips.empty()) {
        error = "no chip to blend";
        return false;
    }
    return true;
}

std::vector<std::string> EnblendArguments(const SwelderOptions& options, const std::string& temporary, int levels)
{
    std::vector<std::string> args = {"-o", temporary};
    if (options.wrap) args.push_back("-w");
    args.push_back("-l");
    args.push_back(std::to_string(std::clamp(levels, 1, 29)));
    args.insert(args.end(), options.chips.begin(), options.chips.end());
    return args;
}

int LevelsFromDescription(const std::string& description)
{
    const size_t at = description.find("levels=");
    if (at == std::string::npos) return 0;
    return std::atoi(description.c_str() + at + 7);
}
