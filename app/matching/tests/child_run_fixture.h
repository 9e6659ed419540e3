// Shared fixture of the channel-run tests: a temporary program folder with
// the stand-in child (fake_child.cpp) installed as Hollet, Nerrow and
// Swelder, a short poll, the progress dialog's resources, frames with file
// names, and the helpers to script the child and read what it saw.
#pragma once

#include "app/control/progress_dlg.h"
#include "app/matching/match_channel.h"
#include "app/shell/app_resources.h"
#include "platform/utilkit/log_base.h"
#include "platform/win/tests/win_test_fixture.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace matching_test {

class ChildRunTest : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        RegisterAppResources();
        std::filesystem::create_directories(ProgramDir());
        for (const char* name : {"Hollet", "Nerrow", "Swelder"})
            std::filesystem::create_symlink(FAKE_CHILD, ProgramDir() + "/" + name);
        LogBase::SetAppDir0Override(ProgramDir());
        setenv("FAKE_CHILD_DIR", Home().path().c_str(), 1);
        g_childWaitTiming = {10, 3600, 2000};
    }

    void TearDown() override
    {
        CloseProgressDialog();
        LogBase::SetAppDir0Override("");
        unsetenv("FAKE_CHILD_DIR");
        g_childWaitTiming = {};
        WinTest::TearDown();
    }

    std::string ProgramDir() const { return Home().file("program"); }

    void Script(const std::string& lines) const { std::ofstream(Home().file("script")) << lines; }

    // The arguments the child was started with, argv[0] first.
    std::vector<std::string> ChildArgs() const
    {
        std::ifstream in(Home().file("argv"), std::ios::binary);
        std::vector<std::string> args;
        std::string word;
        while (std::getline(in, word, '\0')) args.push_back(word);
        return args;
    }

    // `count` frames named "<folder>/view k.jpg" (a blank in every name).
    void MakeFrames(int count)
    {
        for (int k = 0; k < count; ++k) {
            auto frame = std::make_unique<ImageFrame>();
            frame->SetName((Home().file("photos") + "/view " + std::to_string(k) + ".jpg").c_str());
            frames.push_back(frame.get());
            owned.push_back(std::move(frame));
        }
    }

    std::vector<ImageFrame*> frames;

private:
    std::vector<std::unique_ptr<ImageFrame>> owned;
};

// The 'Fa' points of the link a -> b, or none when there is no link or set.
inline std::vector<POINT2> FaPoints(ImageFrame* a, ImageFrame* b, bool* hasSet = nullptr)
{
    std::vector<POINT2> points;
    Neighbor* link = a->FindNeighbor(b);
    Marker* set = link ? link->GetMarkerFa() : nullptr;
    if (hasSet) *hasSet = set != nullptr;
    if (!set) return points;
    for (int i = 0; i < set->GetNumbOfMarker(); ++i) points.push_back({set->GetMarker()[i].x, set->GetMarker()[i].y});
    return points;
}

}  // namespace matching_test
