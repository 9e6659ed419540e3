// libFuzzer target over the viewer control's loading path: the bytes as a
// file through FileByteStream, DecodePanorama (header, descriptor, first
// scan) and the decoding worker's scans to the end. Build with
// -DFENDRAKE_FUZZ=ON and clang and run, e.g.:
//   build-fuzz/viewer/lumivex/lumivex_fuzzer -max_total_time=300 corpus/ jpeg/tests/fixtures
#include "imaging/image.h"
#include "jpeg/jpeg_byte_source.h"
#include "jpeg/jpeg_decoder.h"
#include "viewer/lumivex/panorama_loader.h"
#include "worldmap/world_map_base.h"

#include <cstdint>
#include <cstdio>
#include <memory>

namespace {

// Frames larger than this are left alone: their buffers, not the decoder,
// would hit the fuzzer's memory limit.
constexpr int64_t kMaxPixels = int64_t{4} << 20;

bool FrameIsSmall(const uint8_t* data, size_t size)
{
    JpegDecoder probe(std::make_unique<MemoryByteSource>(data, size), true, false);
    return probe.ReadHeader() && int64_t{probe.FrameWidth()} * probe.FrameHeight() <= kMaxPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || !FrameIsSmall(data, size)) return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;
    auto* job = new PanoramaJob(nullptr, nullptr);
    job->file = file;
    auto* stream = new FileByteStream(file);
    job->stream.reset(stream);
    if (!stream->Init(1024)) {
        job->Release();
        return 0;
    }
    Image* image = nullptr;
    WorldMapBase* map = nullptr;
    {
        DecodeWorker worker;
        // The input's length picks whether a map takes the pixels.
        DecodePanorama(job, &image, size % 2 ? &map : nullptr, true, &worker);
        job->Release();
        worker.Wait();
    }
    ReleaseImage(image);
    if (map) map->Release();
    return 0;
}
