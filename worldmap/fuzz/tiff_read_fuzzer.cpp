// libFuzzer target over the TIFF reader: header pass, then the pixel pass
// into an image of the header's size, in the bitmap or the packed layout.
// Inputs of even length are read from an in-memory file that can be mapped
// (the reader's usual path), odd ones from a stream without a descriptor
// (its stdio path). Build with -DFENDRAKE_FUZZ=ON and clang (see the
// README) and run, e.g.:
//   build-fuzz/worldmap/tiff_fuzzer -max_total_time=300 corpus/
#include "imaging/image.h"
#include "worldmap/tiff_reader.h"

#include <cstdint>
#include <cstdio>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// Images larger than this are left alone: their buffers, not the reader,
// would hit the fuzzer's memory limit.
constexpr int64_t kMaxPixels = int64_t{4} << 20;

FILE* OpenInput(const uint8_t* data, size_t size)
{
    if (size == 0) return nullptr;
    if (size % 2) return fmemopen(const_cast<uint8_t*>(data), size, "rb");
    const int fd = memfd_create("tiff_fuzzer", 0);
    if (fd < 0) return nullptr;
    if (write(fd, data, size) != static_cast<ssize_t>(size) || lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return nullptr;
    }
    FILE* file = fdopen(fd, "rb");
    if (!file) close(fd);
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* file = OpenInput(data, size);
    if (!file) return 0;
    QUORVANE_FileInfo info;
    info.file = file;
    auto* image = new Image();  // one reference, ours
    if (GetTifHeader(image, &info) == 0 &&
        int64_t{image->GetWidth()} * image->GetHeight() * image->GetChannels() <= kMaxPixels) {
        // The first byte picks the layout, as the two kinds of callers do.
        const bool bitmap = data[0] & 1;
        if (bitmap ? image->BmpInit() == 0 : (image->SetDataLayoutType(0), image->Init() == 0))
            ReadTifData(image, &info);
    }
    TifCleanup(&info);
    ReleaseImage(image);
    std::fclose(file);
    return 0;
}
