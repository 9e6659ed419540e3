// libFuzzer target over the reading entry points: header pass, optional
// switch back from one-eighth scale, data pass, clean-up. Build with
// -DFENDRAKE_FUZZ=ON and clang (see the README) and run, e.g.:
//   build-fuzz/jpeg/jpeg_fuzzer -max_total_time=300 corpus/ jpeg/tests/fixtures
#include "imaging/image.h"
#include "jpeg/jpegkit.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Frames larger than this are left alone: their buffers, not the decoder,
// would hit the fuzzer's memory limit.
constexpr int64_t kMaxPixels = int64_t{4} << 20;

FILE* OpenMemory(const uint8_t* data, size_t size)
{
    if (size == 0) return nullptr;
    return fmemopen(const_cast<uint8_t*>(data), size, "rb");
}

bool FrameIsSmall(const uint8_t* data, size_t size)
{
    FILE* f = OpenMemory(data, size);
    if (!f) return false;
    QUORVANE_FileInfo info;
    info.file = f;
    info.options = QFI_HEADER_ONLY;
    Image image;
    int width = 0, height = 0;
    const bool ok = GetJpegHeader(&image, &info) == 0 && OrgWHFunction(&width, &height, &info) == 0;
    JpegCleanup(&info);
    std::fclose(f);
    return ok && int64_t{width} * height <= kMaxPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!FrameIsSmall(data, size)) return 0;
    // The input's length picks the mode, so every input runs one of them.
    const int mode = static_cast<int>(size % 3);  // 0 full, 1 one-eighth, 2 one-eighth then back
    FILE* f = OpenMemory(data, size);
    if (!f) return 0;
    QUORVANE_FileInfo info;
    info.file = f;
    info.options = mode == 0 ? 0 : QFI_ONE_EIGHTH;
    auto* image = new Image();  // one reference, ours
    if (GetJpegHeader(image, &info) == 0) {
        GetQuorvanePD(&info);
        int width = 0, height = 0;
        OrgWHFunction(&width, &height, &info);
        if (mode == 2 && NoReadThumbnail(&info) == 0) image->SetSize(width, height);
        if (image->Init() == 0) ReadJpegData(image, &info);
    }
    JpegCleanup(&info);
    ReleaseImage(image);
    std::fclose(f);
    return 0;
}
