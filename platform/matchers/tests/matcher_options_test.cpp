// The matchers' command lines as the application writes them, in any order,
// with unknown options tolerated, and the refusals that end a program with 2.
#include "platform/matchers/matcher_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Parse(std::vector<std::string> words, bool nerrow, MatcherOptions& out)
{
    words.insert(words.begin(), nerrow ? "Nerrow.exe" : "Hollet.exe");
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    return ParseMatcherOptions(static_cast<int>(argv.size()), argv.data(), nerrow, out);
}

TEST(MatcherOptions, HolletLineOfTheSearch)
{
    MatcherOptions o;
    ASSERT_EQ(Parse({"--ptgui", "--shmname", "QuorvaneShm1", "--shmsize", "6320", "--linearmatch", "--linearmatchlen",
                     "-1", "--scaledown", "2", "--ransacdist", "8", "-o", "0", "/p/a b.jpg", "/p/c.jpg", "/p/d.jpg"},
                    false, o),
              "");
    EXPECT_EQ(o.shmName, "QuorvaneShm1");
    EXPECT_EQ(o.shmSize, 6320);
    EXPECT_TRUE(o.linearMatch);
    EXPECT_TRUE(o.closed);
    EXPECT_EQ(o.scaleDown, 2);
    EXPECT_TRUE(o.ransac);
    EXPECT_EQ(o.ransacDistance, 8.0);
    EXPECT_EQ(o.output, "0");
    EXPECT_EQ(o.files, (std::vector<std::string>{"/p/a b.jpg", "/p/c.jpg", "/p/d.jpg"}));

    // Another order, no RANSAC, an unknown option named but tolerated.
    ASSERT_EQ(Parse({"-o", "out.txt", "--verbose", "--ransacdist", "0", "/a.jpg", "--scaledown", "3", "/b.jpg"}, false, o),
              "");
    EXPECT_FALSE(o.ransac);
    EXPECT_FALSE(o.closed);
    EXPECT_EQ(o.scaleDown, 3);
    EXPECT_EQ(o.unknown, (std::vector<std::string>{"--verbose"}));
    EXPECT_EQ(o.files.size(), 2u);
    EXPECT_EQ(o.memoryMb, 384);  // the default budget of the feature searches

    ASSERT_EQ(Parse({"--memorymb", "1", "-o", "out.txt", "/a.jpg", "/b.jpg"}, false, o), "");
    EXPECT_EQ(o.memoryMb, 1);
    EXPECT_TRUE(o.unknown.empty());
}

TEST(MatcherOptions, NerrowLineWithProjection)
{
    MatcherOptions o;
    ASSERT_EQ(Parse({"--ANNmatch", "1", "--shmname", "S", "--shmsize", "3108", "--ransac", "1", "--ransacdist", "6",
                     "--maxdim", "2000", "--projection", "10,180.000000", "--maxmatches", "200",
                     "--absolute-pathnames", "1", "0", "/a.jpg", "/b.jpg", "/c.jpg"},
                    true, o),
              "");
    EXPECT_TRUE(o.ransac);
    EXPECT_EQ(o.ransacDistance, 6.0);
    EXPECT_EQ(o.maxDim, 2000);
    EXPECT_EQ(o.maxMatches, 200);
    EXPECT_EQ(o.output, "0");
    EXPECT_EQ(o.files.size(), 3u);
    ASSERT_EQ(o.unknown.size(), 1u);
    EXPECT_TRUE(o.unknown[0].starts_with("--projection 10,180.000000"));
}

TEST(MatcherOptions, BadLinesAreRefused)
{
    struct Case {
        bool nerrow;
        std::vector<std::string> words;
    } cases[] = {
        {false, {"--scaledown", "0", "-o", "x", "/a", "/b"}},
        {false, {"--scaledown", "two", "-o", "x", "/a", "/b"}},
        {false, {"--shmname", "S", "--shmsize", "12", "/a", "/b"}},
        {false, {"--shmname", "S", "/a", "/b"}},
        {false, {"-o", "x", "/a"}},
        {false, {"/a", "/b"}},
        {false, {"-o", "x", "/a", "/b", "--ransacdist"}},
        {false, {"--memorymb", "0", "-o", "x", "/a", "/b"}},
        {true, {"--memorymb", "lots", "out", "/a", "/b"}},
        {true, {"--ransac", "2", "out", "/a", "/b"}},
        {true, {"--maxmatches", "-5", "out", "/a", "/b"}},
        {true, {"out", "/a"}},
    };
    for (const Case& c : cases) {
        MatcherOptions o;
        EXPECT_NE(Parse(c.words, c.nerrow, o), "") << testing::PrintToString(c.words);
    }
}

}  // namespace
