// Shared fixtures of the saver's tests: real pictures cut from the shared
// test data with ImageMagick and coded by cjpeg, panorama descriptors
// spliced into them as comment segments, and a fresh windowing runtime with
// the profile, the temporary folder and the clock under the test's control.
#pragma once

#include "viewer/drowsel/drowsel_wnd.h"

#include "core/logger.h"
#include "imaging/image.h"
#include "platform/win/message_queue.h"
#include "platform/win/profile.h"
#include "platform/win/prompter.h"
#include "platform/win/runtime.h"
#include "platform/win/system.h"
#include "testkit/testkit.h"
#include "viewer/engine/panorama_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace drowseltest {

using Bytes = testkit::Bytes;

struct ImageRelease {
    void operator()(Image* image) const { ReleaseImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageRelease>;

using testkit::ReadBytes;

inline void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// The 22-byte first-kind panorama descriptor ("kqvz", four 32-bit values).
inline Bytes Descriptor(int equatorWidth, int column, int row, int mapType = 0, const char* magic = "kqvz")
{
    return testkit::PanoramaDescriptor(equatorWidth, column, row, mapType, magic, false, 0);
}

// Cuts `geometry` ("WxH+X+Y", or "WxH!" to resize the whole picture) out of
// a test-data picture and codes it as a baseline JPEG by cjpeg, with the
// descriptor spliced in when one is given. Returns the path.
inline std::string CutPicture(const testkit::TempDir& dir, const std::string& name, const std::string& testData,
                              const std::string& geometry, const Bytes& descriptor = {})
{
    const std::string source = testkit::TestData(testData).string();
    const std::string ppm = dir.file(name + ".ppm");
    const bool resize = geometry.back() == '!';
    const std::string op = resize ? "-resize " + geometry : "-crop " + geometry + " +repage";
    EXPECT_EQ(testkit::Run("convert '" + source + "' " + op + " '" + ppm + "'").status, 0) << name;
    const std::string jpg = dir.file(name + ".jpg");
    const testkit::CommandResult r = testkit::Run("cjpeg -quality 95 -outfile '" + jpg + "' '" + ppm + "'");
    EXPECT_EQ(r.status, 0) << r.output;
    if (!descriptor.empty()) {
        EXPECT_TRUE(testkit::WriteBytes(jpg, testkit::WithJpegComment(ReadBytes(jpg), descriptor)));
    }
    return jpg;
}

// The picture as the saver's reader decodes it, as a plain image.
inline ImagePtr Decode(const std::string& path)
{
    Image* image = nullptr;
    viewengine::LoadImageWMapBaseEx(path.c_str(), &image, nullptr, true, false);
    return ImagePtr(image);
}

// A fresh runtime: the profile "Quorvane" of the program "Drowsel" and the
// temporary folder in the test's own folder, a 1024 x 768 screen, the
// manual clock, and a prompter that fails the test on any question.
class SaverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testkit::RequireTool("convert"));
        ASSERT_TRUE(testkit::RequireTool("cjpeg"));
        setenv("XDG_CONFIG_HOME", home.file("config").c_str(), 1);
        setenv("TMPDIR", tmp.path().c_str(), 1);
        win::ResetRuntime();
        win::InitRuntime();
        win::Profile::Get().Reset();
        win::Profile::Get().Configure("Quorvane", "Drowsel");
        win::SetScreenSize(1024, 768);
        win::Clock::UseManual(true);
        prompter = std::make_unique<win::ScriptedPrompter>(
            [](const std::string& what) { ADD_FAILURE() << "unscripted question: " << what; });
        win::SetPrompter(prompter.get());
    }
    void TearDown() override
    {
        if (prompter)
            for (const std::string& left : prompter->Unused()) ADD_FAILURE() << "expected but not asked: " << left;
        win::ResetRuntime();
        win::SetPrompter(nullptr);
        win::Profile::Get().Reset();
        viewengine::FreeJpegDecoder();
        unsetenv("TMPDIR");
    }
    void SetConfig(const char* entry, const std::optional<std::string>& value)
    {
        win::Profile::Get().WriteString(drowsel::kConfigSection, entry, value);
    }

    testkit::TempDir home;
    testkit::TempDir tmp;
    testkit::TempDir pictures;
    std::unique_ptr<win::ScriptedPrompter> prompter;
};

}  // namespace drowseltest
