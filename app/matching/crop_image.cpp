// Blanking an image outside a rectangle. The warnings are console output of
// the stitching tools, not log lines: their text is what users and scripts
// see.
#include "app/matching/utilities.h"

#include "imaging/image.h"
#include "core/logger.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace Utilities {

namespace {

// Holds the rectangle to the image, printing what it changes. False when
// there is nothing left to keep.
bool ClampCropRect(RECT* rect, int width, int height)
{
    if (rect->left < 0) {
        std::printf("WARNING Utilities::CropImage: rect->left=%d? change to 0\n", rect->left);
        rect->left = 0;
    } else if (rect->left >= width) {
        std::printf("WARNING Utilities::CropImage: rect->left(%d)>w(%d)? no crop!\n", rect->left, width);
        return false;
    }
    if (rect->right < rect->left) {
        std::printf("WARNING Utilities::CropImage: rect->right(%d)<rect->left(%d)? no crop!\n", rect->right, rect->left);
        return false;
    }
    if (rect->right >= width) {
        std::printf("WARNING Utilities::CropImage: rect->right(%d)>w(%d)? change to w-1\n", rect->right, width);
        rect->right = width - 1;
    }
    if (rect->top < 0) {
        std::printf("WARNING Utilities::CropImage: rect->top=%d? change to 0\n", rect->top);
        rect->top = 0;
    } else if (rect->top >= height) {
        std::printf("WARNING Utilities::CropImage: rect->top(%d)>h(%d)? no crop!\n", rect->top, height);
        return false;
    }
    if (rect->bottom < rect->top) {
        std::printf("WARNING Utilities::CropImage: rect->bottom(%d)<rect->top(%d)? no crop!\n", rect->bottom, rect->top);
        return false;
    }
    if (rect->bottom >= height) {
        std::printf("WARNING Utilities::CropImage: rect->bottom(%d)>h(%d)? change to h-1\n", rect->bottom, height);
        rect->bottom = height - 1;
    }
    return true;
}

}  // namespace

bool CropImage(RECT* rect, Image* image)
{
    if (!rect || !image || !image->GetData()) return false;
    const int width = image->GetWidth();
    const int height = image->GetHeight();
    const bool keep = ClampCropRect(rect, width, height);
    std::fflush(stdout);
    if (!keep) return false;

    // Planar images blank each channel's plane alike.
    const int planes = image->IsInterleaved() ? 1 : image->GetChannels();
    const size_t pixelBytes = static_cast<size_t>(image->GetPixelBytes());
    const size_t rowBytes = static_cast<size_t>(image->GetRowByte());
    const int left = rect->left, right = rect->right, top = rect->top, bottom = rect->bottom;
    for (int plane = 0; plane < planes; ++plane) {
        unsigned char* data = image->GetData(plane);
        if (!data) {
            Logger::log("ERROR Utilities::CropImage: channel %d has no samples", 1, plane);
            return false;
        }
        auto row = [&](int y) { return data + static_cast<size_t>(y) * rowBytes; };
        if (top > 0) std::memset(row(0), 0, static_cast<size_t>(top) * rowBytes);
        for (int y = top; y <= bottom; ++y) {
            if (left > 0) std::memset(row(y), 0, static_cast<size_t>(left) * pixelBytes);
            if (right < width - 1)
                std::memset(row(y) + static_cast<size_t>(right + 1) * pixelBytes, 0,
                            static_cast<size_t>(width - 1 - right) * pixelBytes);
        }
        if (bottom < height - 1) std::memset(row(bottom + 1), 0, static_cast<size_t>(height - 1 - bottom) * rowBytes);
    }
    return top > 0 || left > 0 || right < width - 1 || bottom < height - 1;
}

}  // namespace Utilities
