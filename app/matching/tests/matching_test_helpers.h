// Helpers shared by the tests of the camera-information files, the
// settings file and the configuration dialog: whole files as text, and a
// project whose first merged frame has a known size and focal length.
#pragma once

#include "app/control/super_manager.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace matching_test {

inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteAll(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// Two merged frames; the first gets an image of the size given (none for
// 0 x 0) and a focal length in pixels.
inline void MakeMergedPair(SuperManager& manager, int width, int height, float focalPixels)
{
    ImageGroup* group = manager.GetImageGroup(true);
    auto* a = new ImageFrame;
    auto* b = new ImageFrame;
    group->AppendImageFrame(a);
    group->AppendImageFrame(b);
    a->AddNeighbor(b);
    a->SetMerged(b);
    if (width > 0 || height > 0) {
        Image* image = new Image(std::max(width, 1), std::max(height, 1), 1);
        image->SetSize(width, height);
        a->SetImage(image, false);
        ReleaseImage(image);
    }
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    a->GetImgInfo()->SetRotation(focalPixels, identity);
}

}  // namespace matching_test
