// Shared helpers of the matching tests: photographs and ImageMagick results
// read through PNM files, and small pixel comparisons.
#pragma once

#include "imaging/image.h"
#include "testkit/testkit.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace matching_test {

// Runs `convert <arguments>`; the test fails when ImageMagick is missing or
// the command fails.
inline ::testing::AssertionResult Magick(const std::string& arguments)
{
    if (auto tool = testkit::RequireTool("convert"); !tool) return tool;
    const testkit::CommandResult r = testkit::Run("convert " + arguments);
    if (r.status != 0) return ::testing::AssertionFailure() << "convert " << arguments << ": " << r.output;
    return ::testing::AssertionSuccess();
}

// A photograph of the shared test data as an 8-bit image (PPM or PGM order).
inline Image* LoadPhoto(const testkit::TempDir& dir, const std::string& relative, const std::string& options,
                        bool grey = false)
{
    const std::string pnm = dir.file(grey ? "photo.pgm" : "photo.ppm");
    const std::string source = testkit::TestData(relative).string();
    if (!Magick("'" + source + "' " + options + (grey ? " -colorspace Gray " : " ") + pnm)) return nullptr;
    return testkit::ReadPnm(pnm);
}

inline int Sample(const Image& image, int x, int y, int c)
{
    return image.GetData()[static_cast<size_t>(y) * image.GetRowByte() + static_cast<size_t>(x) * image.GetChannels() + c];
}

}  // namespace matching_test
