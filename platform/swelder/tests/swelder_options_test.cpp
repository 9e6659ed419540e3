// Swelder's command line as the main program writes it, and enblend's.
#include "platform/swelder/swelder_options.h"

#include <gtest/gtest.h>

TEST(SwelderOptions, ReadsTheMainProgramsLine)
{
    SwelderOptions o;
    std::string error;
    ASSERT_TRUE(ParseSwelderOptions({"Swelder.exe", "--shmname", "kq_1", "--shmsize", "3108", "--wrap", "-o",
                                     "/tmp/out a.tiff", "/tmp/c0.tif", "/tmp/c 1.tif"},
                                    o, error))
        << error;
    EXPECT_EQ(o.shmName, "kq_1");
    EXPECT_EQ(o.shmSize, 3108);
    EXPECT_TRUE(o.wrap);
    EXPECT_EQ(o.output, "/tmp/out a.tiff");
    EXPECT_EQ(o.chips, (std::vector<std::string>{"/tmp/c0.tif", "/tmp/c 1.tif"}));
    EXPECT_EQ(EnblendArguments(o, "/tmp/t.tif", 2),
              (std::vector<std::string>{"-o", "/tmp/t.tif", "-w", "-l", "2", "/tmp/c0.tif", "/tmp/c 1.tif"}));
    o.wrap = false;
    EXPECT_EQ(EnblendArguments(o, "t", 3), (std::vector<std::string>{"-o", "t", "-l", "3", "/tmp/c0.tif", "/tmp/c 1.tif"}));
}

TEST(SwelderOptions, RefusesIncompleteLines)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--shmname", "a", "--shmsize", "10", "-o", "out"},            // no chip
        {"--shmname", "a", "--shmsize", "10", "c0"},                    // no output
        {"--shmname", "a", "--shmsize", "-5", "-o", "out", "c0"},       // size not positive
        {"--shmname", "a", "--shmsize", "12x", "-o", "out", "c0"},      // size not a number
        {"--shmname", "a", "--shmsize", "10", "-o", "out", "c0", "-o"}, // value missing
    };
    for (const auto& line : bad) {
        SwelderOptions o;
        std::string error;
        EXPECT_FALSE(ParseSwelderOptions(line, o, error)) << line.size();
        EXPECT_FALSE(error.empty());
    }
}

TEST(SwelderOptions, LevelsFromTheChipDescription)
{
    EXPECT_EQ(LevelsFromDescription("levels=3 bw=24"), 3);
    EXPECT_EQ(LevelsFromDescription("bw=4 levels=1"), 1);
    EXPECT_EQ(LevelsFromDescription("nothing"), 0);
}
