// Shared fixtures of the Viewkit tests: a concrete viewer over a screen
// image, headless drawing surfaces and real photographs scaled by
// ImageMagick.
#pragma once

#include "imaging/image.h"
#include "platform/win/gdi.h"
#include "testkit/testkit.h"
#include "viewkit/data_viewer_wnd.h"

#include <gtest/gtest.h>

#include <string>

namespace viewkit_test {

// The views of the application derive from DataViewerWnd the same way.
class TestView : public DataViewerWnd {
public:
    int Notify(int, WorldMap*, std::uintptr_t) override { return 0; }
    void SetScreen(Image* image)
    {
        m_screen = RefPtr<Image>::share(image);
        SetSelectionRect(nullptr);
        UpdateViewSize();
    }
};

// A B, G, R drawing surface filled with one grey.
inline Image* MakeSurface(int width, int height, int grey = 0)
{
    Image* surface = new Image();
    surface->BmpInit(width, height, 3);
    surface->Fill(grey * 0x010101);
    return surface;
}

// A photograph of the shared test data scaled to exactly width x height by
// ImageMagick (3 channels, bytes as in the PPM); null when that fails.
inline Image* LoadPhoto(const testkit::TempDir& dir, const std::string& relative, int width, int height)
{
    const std::string out = dir.file("photo_" + std::to_string(width) + "x" + std::to_string(height) + ".ppm");
    const std::string command = "convert '" + testkit::TestData(relative).string() + "' -resize " +
                                std::to_string(width) + "x" + std::to_string(height) + "! " + out;
    if (testkit::Run(command).status != 0) return nullptr;
    return testkit::ReadPnm(out);
}

inline const char* kPhotoA = "huginsample-durlach/half/P1060369.JPG";
inline const char* kPhotoB = "huginsample-durlach/half/P1060370.JPG";
inline const char* kPhotoC = "huginsample-durlach/half/P1060371.JPG";

// Byte-for-byte comparison of two surfaces of the same size.
inline ::testing::AssertionResult SameSurface(const Image& a, const Image& b)
{
    return testkit::SamePixels(a, b);
}

}  // namespace viewkit_test
