// How the shell launcher splits a program's parameter string: quoted paths
// (the viewer is started with the quoted path of a panorama) stay whole.
#include "platform/win/shell.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ShellCommandLine, SplitTable)
{
    using W = std::vector<std::string>;
    const struct {
        const char* parameters;
        W words;
    } cases[] = {
        {"", W{}},
        {"   ", W{}},
        {"a b  c", W{"a", "b", "c"}},
        {"\"/tmp/my pano.jpg\"", W{"/tmp/my pano.jpg"}},
        {"\"/tmp/my pano.jpg\" -m p -s 20", W{"/tmp/my pano.jpg", "-m", "p", "-s", "20"}},
        {"x\"a b\"y z", W{"xa by", "z"}},
        {"\"\" a", W{"", "a"}},
        {"\"unclosed quote", W{"unclosed quote"}},
        {"tab\tseparated", W{"tab", "separated"}},
    };
    for (const auto& c : cases) EXPECT_EQ(win::SplitCommandLine(c.parameters), c.words) << c.parameters;
}

}  // namespace
