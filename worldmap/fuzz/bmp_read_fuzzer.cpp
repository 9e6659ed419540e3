// libFuzzer target over the BMP reader. Build with -DFENDRAKE_FUZZ=ON and
// clang (see the README) and run, e.g.:
//   build-fuzz/worldmap/bmp_fuzzer -max_total_time=300 corpus/ worldmap/tests/fixtures
#include "imaging/image.h"
#include "core/byte_order.h"
#include "worldmap/bmp_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Bitmaps declaring more than this many pixels are left alone: a
    // run-length file may declare up to the reader's bound, whose buffer,
    // not the reader, would hit the fuzzer's memory limit.
    constexpr int64_t kMaxPixels = int64_t{4} << 20;
    if (size < 26) return 0;
    const int64_t width = static_cast<int32_t>(byteorder::GetU32LE(data + 18));
    const int64_t height = static_cast<int32_t>(byteorder::GetU32LE(data + 22));
    if (std::llabs(width * height) > kMaxPixels) return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;
    Image* image = nullptr;
    if (ReadBmpFile(file, &image) == kBmpRead) ReleaseImage(image);
    std::fclose(file);
    return 0;
}
