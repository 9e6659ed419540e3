// Text pieces shared by the viewer parameter writers.
#pragma once

#include <cstdio>
#include <string>

namespace tessiv {

// printf-style formatting into a string.
template <typename... Values>
std::string Format(const char* format, Values... values)
{
    const int n = std::snprintf(nullptr, 0, format, values...);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    std::snprintf(out.data(), out.size() + 1, format, values...);
    return out;
}

// The viewers' boolean words.
inline const char* TrueFalse(bool value) { return value ? "true" : "false"; }

}  // namespace tessiv
