#include "platform/matchers/matcher_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

bool ToInt(const char* text, int low, int high, int* out)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end || errno || v < low || v > high) return false;
    *out = static_cast<int>(v);
    return true;
}

bool ToDouble(const char* text, double low, double high, double* out)
{
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end || !std::isfinite(v) || v < low || v > high) return false;
    *out = v;
    return true;
}

}  // namespace

std::string ParseMatcherOptions(int argc, const char* const* argv, bool nerrow, MatcherOptions& out)
{
    out = MatcherOptions{};
    out.nerrow = nerrow;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        const char* value = hasValue ? argv[i + 1] : "";
        const auto need = [&](const char* what) -> std::string {
            return hasValue ? std::string() : "option " + arg + " needs " + what;
        };
        std::string error;
        bool ok = true;
        if (arg == "--shmname") {
            if (!(error = need("a name")).empty()) return error;
            out.shmName = value;
            ++i;
        } else if (arg == "--shmsize") {
            if (!(error = need("a size")).empty()) return error;
            ok = ToInt(value, 3108, 1 << 30, &out.shmSize);
            ++i;
        } else if (arg == "--scaledown" && !nerrow) {
            if (!(error = need("a factor")).empty()) return error;
            ok = ToInt(value, 1, 64, &out.scaleDown);
            ++i;
        } else if (arg == "--ransacdist") {
            if (!(error = need("a distance")).empty()) return error;
            ok = ToDouble(value, 0, 1000, &out.ransacDistance);
            if (!nerrow) out.ransac = out.ransacDistance > 0;
            ++i;
        } else if (arg == "--ransac" && nerrow) {
            int on = 0;
            if (!(error = need("0 or 1")).empty()) return error;
            ok = ToInt(value, 0, 1, &on);
            out.ransac = on == 1;
            ++i;
        } else if (arg == "--linearmatchlen" && !nerrow) {
            int len = 0;
            if (!(error = need("a length")).empty()) return error;
            ok = ToInt(value, -1, 1 << 20, &len);
            out.closed = len == -1;
            ++i;
        } else if (arg == "--memorymb") {
            if (!(error = need("a size in MB")).empty()) return error;
            ok = ToInt(value, 1, 1 << 20, &out.memoryMb);
            ++i;
        } else if (arg == "--maxdim" && nerrow) {
            if (!(error = need("a size")).empty()) return error;
            ok = ToInt(value, 16, 100000, &out.maxDim);
            ++i;
        } else if (arg == "--maxmatches" && nerrow) {
            if (!(error = need("a count")).empty()) return error;
            ok = ToInt(value, 1, 100000, &out.maxMatches);
            ++i;
        } else if ((arg == "--ANNmatch" || arg == "--absolute-pathnames") && nerrow) {
            int on = 0;
            if (!(error = need("0 or 1")).empty()) return error;
            ok = ToInt(value, 0, 1, &on);
            ++i;
        } else if (arg == "--projection" && nerrow) {
            // Accepted and named; the matcher works on the images as they are.
            if (!(error = need("a projection")).empty()) return error;
            out.unknown.push_back(arg + " " + value + " (accepted, images are not remapped)");
            ++i;
        } else if (arg == "-o" && !nerrow) {
            if (!(error = need("a file name")).empty()) return error;
            out.output = value;
            ++i;
        } else if (arg == "--linearmatch" && !nerrow) {
            out.linearMatch = true;
        } else if (arg == "--ptgui" && !nerrow) {
        } else if (arg.size() > 1 && arg[0] == '-') {
            out.unknown.push_back(arg);
        } else {
            words.push_back(arg);
        }
        if (!ok) return "bad value '" + std::string(value) + "' for " + arg;
    }
    if (nerrow) {
        if (words.empty()) return "no output name";
        out.output = words.front();
        words.erase(words.begin());
    }
    out.files = std::move(words);
    if (out.files.size() < 2) return "at least two image files are needed";
    if (out.shmName.empty() && out.output.empty()) return "neither a channel nor an output file";
    if (!out.shmName.empty() && out.shmSize == 0) return "--shmname without --shmsize";
    return {};
}
