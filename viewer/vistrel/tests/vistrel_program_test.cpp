// The program itself: without a display it refuses with one line.
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

TEST(VistrelProgram, WithoutADisplayItSaysHowToRunIt)
{
    const auto run = testkit::Run("env -u DISPLAY '" + std::string(VISTREL_PROGRAM) + "' 2>&1");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find("xvfb-run"), std::string::npos) << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
}

}  // namespace
