// libFuzzer target over the GIF reader: header pass, pixel pass into an
// image of the header's size, clean-up. Build with -DFENDRAKE_FUZZ=ON and
// clang (see the README) and run, e.g.:
//   build-fuzz/platform/gifkit/gif_fuzzer -max_total_time=300 corpus/
#include "imaging/image.h"
#include "platform/gifkit/gifkit.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Frames larger than this are left alone: their buffers, not the reader,
    // would hit the fuzzer's memory limit.
    constexpr int64_t kMaxPixels = int64_t{4} << 20;
    if (size == 0) return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;
    QUORVANE_FileInfo info;
    info.file = file;
    auto* image = new Image();  // one reference, ours
    if (GetGifHeader(image, &info) == 0 && int64_t{image->GetWidth()} * image->GetHeight() <= kMaxPixels &&
        image->BmpInit() == 0)
        ReadGifData(image, &info);
    GifCleanup(&info);
    ReleaseImage(image);
    std::fclose(file);
    return 0;
}
