// JPEG decoding speed: our decoder against libjpeg-turbo (accurate integer
// IDCT, replicated chroma, BGR output, as ours) on the same in-memory files:
// baseline camera photos, 4:4:4, progressive, and one-eighth scale. Prints
// the speed ratio per case after the runs.
#include "bench/jpeg_bench_ratio.h"
#include "imaging/image.h"
#include "jpeg/jpeg_byte_source.h"
#include "jpeg/jpeg_decoder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

using Bytes = std::vector<unsigned char>;

std::string TestData(const std::string& relative)
{
    const char* env = std::getenv("FENDRAKE_TESTDATA");
    return std::string(env && *env ? env : FENDRAKE_TESTDATA_DIR) + "/" + relative;
}

Bytes Load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Case {
    const char* name;
    const char* file;
    bool oneEighth;
};

const Case kCases[] = {
    {"baseline_420_3.4MP", "libjxl-testdata/flower.png.im_q85_420.jpg", false},
    {"baseline_422_camera_4.9MP", "huginsample-durlach/original/P1060369.JPG", false},
    {"baseline_444_3.4MP", "libjxl-testdata/flower.png.im_q85_444.jpg", false},
    {"baseline_420_restart", "libjxl-testdata/flower.png.im_q85_420_R13B.jpg", false},
    {"progressive_420_3.4MP", "libjxl-testdata/flower.png.im_q85_420_progr.jpg", false},
    {"progressive_444_pano_8MP", "pannellum/examplepano.jpg", false},
    {"eighth_baseline_420", "libjxl-testdata/flower.png.im_q85_420.jpg", true},
    {"eighth_baseline_422_camera", "huginsample-durlach/original/P1060369.JPG", true},
    {"eighth_progressive_444_pano", "pannellum/examplepano.jpg", true},
};

void DecodeOurs(benchmark::State& state, const Case& c)
{
    const Bytes data = Load(TestData(c.file));
    JpegDecoder probe(std::make_unique<MemoryByteSource>(data.data(), data.size()), false, c.oneEighth);
    if (data.empty() || !probe.ReadHeader()) {
        state.SkipWithError("cannot read the test file");
        return;
    }
    Image image(probe.OutputWidth(), probe.OutputHeight(), probe.Components());
    for (auto _ : state) {
        JpegDecoder decoder(std::make_unique<MemoryByteSource>(data.data(), data.size()), false, c.oneEighth);
        if (!decoder.ReadHeader() || !decoder.DecodeImage(&image)) {
            state.SkipWithError(decoder.Error());
            return;
        }
        benchmark::DoNotOptimize(image.GetData());
    }
    state.SetItemsProcessed(state.iterations() * int64_t{probe.FrameWidth()} * probe.FrameHeight());
}

void DecodeTurbo(benchmark::State& state, const Case& c)
{
    const Bytes data = Load(TestData(c.file));
    if (data.empty()) {
        state.SkipWithError("cannot read the test file");
        return;
    }
    std::vector<unsigned char> pixels;
    int64_t framePixels = 0;
    for (auto _ : state) {
        framePixels = jpegbench::TurboDecodeBgr(data, c.oneEighth ? 8 : 1, true, pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * framePixels);
}

void RegisterAll()
{
    for (const Case& c : kCases) {
        benchmark::RegisterBenchmark((std::string("decode/ours/") + c.name).c_str(), DecodeOurs, c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("decode/turbo/") + c.name).c_str(), DecodeTurbo, c)
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    RegisterAll();
    return jpegbench::RunWithRatios(argc, argv);
}
