// Segmentation of a real photo: a 2-megapixel window of a camera original
// (1632 x 1224, three channels) merged down to 100 regions by the segmenter
// alone, and a whole region tree (100 down to 10 regions over four levels,
// borders, junctions and margins) built on it. The counter s_per_MP is the
// time per megapixel, to hold against the target of under one second.
#include "imaging/image.h"
#include "jpeg/jpeg_byte_source.h"
#include "jpeg/jpeg_decoder.h"
#include "platform/segkit/segkit.h"
#include "segment/regionkit/reg_tree.h"
#include "segment/regionkit/seg_record.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1632;
constexpr int kHeight = 1224;
constexpr double kMegapixels = kWidth * kHeight / 1e6;

std::string TestData(const std::string& relative)
{
    const char* env = std::getenv("FENDRAKE_TESTDATA");
    return std::string(env && *env ? env : FENDRAKE_TESTDATA_DIR) + "/" + relative;
}

// The centre window of the photo as a planar float image on 0..255; null
// when the file cannot be read.
Image* LoadPhoto()
{
    std::ifstream in(TestData("huginsample-durlach/original/P1060369.JPG"), std::ios::binary);
    const std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.empty()) return nullptr;
    JpegDecoder decoder(std::make_unique<MemoryByteSource>(data.data(), data.size()), false, false);
    if (!decoder.ReadHeader()) return nullptr;
    Image photo(decoder.OutputWidth(), decoder.OutputHeight(), decoder.Components());
    if (!decoder.DecodeImage(&photo) || photo.GetChannels() != 3) return nullptr;
    const int x0 = (photo.GetWidth() - kWidth) / 2, y0 = (photo.GetHeight() - kHeight) / 2;
    Image* out = new Image();
    out->SetSize(kWidth, kHeight);
    out->SetChannels(3);
    out->SetDataType(IMG_FLOAT);
    out->SetDataLayoutType(IMG_FORMAT_PLANAR);
    if (out->Init() != 0) {
        ReleaseImage(out);
        return nullptr;
    }
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < kHeight; ++y) {
            float* row = reinterpret_cast<float*>(out->GetData(c) + static_cast<size_t>(y) * out->GetRowByte());
            const unsigned char* src = photo.GetData() + static_cast<size_t>(y0 + y) * photo.GetRowByte() + 3 * x0 + c;
            for (int x = 0; x < kWidth; ++x) row[x] = src[3 * x];
        }
    return out;
}

Image* Photo()
{
    static Image* photo = LoadPhoto();
    return photo;
}

void Report(benchmark::State& state, double seconds)
{
    state.counters["s_per_MP"] = benchmark::Counter(seconds / kMegapixels / static_cast<double>(state.iterations()));
}

// The segmenter alone: nodes as the region tree makes them, merged to 100.
void BM_SegkitPhotoTo100Regions(benchmark::State& state)
{
    Image* photo = Photo();
    if (!photo) {
        state.SkipWithError("cannot read the test photo");
        return;
    }
    std::vector<SegNode3> nodes(static_cast<size_t>(kWidth) * kHeight);
    double seconds = 0;
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                SegNode3& n = nodes[static_cast<size_t>(y) * kWidth + x];
                n.weight = 1.0f;
                for (int c = 0; c < 3; ++c) {
                    float v;
                    std::memcpy(&v, photo->GetData(c) + static_cast<size_t>(y) * photo->GetRowByte() + 4 * x, 4);
                    n.value[c] = v;
                }
            }
        SEG_DIM dims[2] = {{kHeight, 1.0f}, {kWidth, 1.0f}};
        SEG_INIT rec;
        rec.numDims = 2;
        rec.dims = dims;
        rec.nodes = nodes.data();
        rec.cost = SegCost3;
        rec.merge = SegMerge3;
        const auto start = std::chrono::steady_clock::now();
        seg_init(&rec);
        while (rec.numRegions > 100 && seg_step(&rec)) {
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(rec.numRegions);
        seg_cleanup(&rec);
    }
    Report(state, seconds);
}

// A whole tree with its margins.
void BM_RegionTreePhoto100To10(benchmark::State& state)
{
    Image* photo = Photo();
    if (!photo) {
        state.SkipWithError("cannot read the test photo");
        return;
    }
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        CRegTree tree(photo);
        const bool built = tree.ConstructTree(0, 100, 10, 4);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!built) state.SkipWithError("the tree was not built");
        benchmark::DoNotOptimize(tree.GetLevel(0));
    }
    Report(state, seconds);
}

BENCHMARK(BM_SegkitPhotoTo100Regions)->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(3)->DisplayAggregatesOnly(true);
BENCHMARK(BM_RegionTreePhoto100To10)->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(3)->DisplayAggregatesOnly(true);

}  // namespace
