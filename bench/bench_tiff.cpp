// Uncompressed 8192 x 4096 RGB TIFF, read and written by our reader and
// writer and by libtiff, doing the same job: an Image of B, G, R rows to and
// from a file of R, G, B (libtiff with the same channel exchange routine, on
// strips of about 256 KB when writing, on its strips when reading). For reference
// libtiff also runs without any conversion on a ready R, G, B buffer. Files
// go to /dev/shm when it exists, so that the disk does not set the pace.
// Prints libtiff's time over ours: 1.0 is as fast as libtiff.
#include "imaging/image.h"
#include "core/file_records.h"
#include "worldmap/rgb_swap.h"
#include "worldmap/tiff_reader.h"
#include "worldmap/tiff_writer.h"

#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 8192;
constexpr int kHeight = 4096;

std::string Folder()
{
    return std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
}

std::string FilePath(const char* name)
{
    return Folder() + "/fendrake_bench_tiff_" + std::to_string(getpid()) + "_" + name + ".tif";
}

struct ImageDeleter {
    void operator()(Image* image) const { ReleaseImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

ImagePtr MakePicture()
{
    ImagePtr image(new Image());
    image->BmpInit(kWidth, kHeight, 3);
    std::mt19937 rng(3);
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
        for (int i = 0; i < kWidth * 3; ++i) row[i] = static_cast<uint8_t>((i * 7 + y * 3) ^ (rng() & 0x0F));
    }
    return image;
}

const Image& Picture()
{
    static ImagePtr picture = MakePicture();
    return *picture;
}

// The same pixels as one R, G, B buffer for libtiff.
const std::vector<uint8_t>& PictureRgb()
{
    static std::vector<uint8_t> rgb = [] {
        const Image& image = Picture();
        std::vector<uint8_t> out(static_cast<size_t>(kWidth) * kHeight * 3);
        for (int y = 0; y < kHeight; ++y) {
            const uint8_t* in = image.GetData() + static_cast<size_t>(y) * image.GetRowByte();
            uint8_t* o = out.data() + static_cast<size_t>(y) * kWidth * 3;
            for (int x = 0; x < kWidth; ++x) {
                o[3 * x] = in[3 * x + 2];
                o[3 * x + 1] = in[3 * x + 1];
                o[3 * x + 2] = in[3 * x];
            }
        }
        return out;
    }();
    return rgb;
}

bool WriteOurs(const std::string& path)
{
    QUORVANE_FileInfo info;
    info.path = path.c_str();
    return SaveImageAsTiff(const_cast<Image*>(&Picture()), nullptr, &info) == 0;
}

void SetRgbFields(TIFF* tif, uint32_t rowsPerStrip)
{
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
}

// The same job as ours: the B, G, R image exchanged into a buffer of about
// 256 KB at a time, each written as one strip (libtiff's fastest way; its
// scanline interface is about twice as slow).
bool WriteLibtiffFromImage(const std::string& path)
{
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) return false;
    const uint32_t rowsPerStrip = (256u << 10) / (kWidth * 3);
    SetRgbFields(tif, rowsPerStrip);
    const Image& image = Picture();
    std::vector<uint8_t> strip(static_cast<size_t>(kWidth) * 3 * rowsPerStrip);
    bool ok = true;
    for (uint32_t y = 0, s = 0; ok && y < kHeight; y += rowsPerStrip, ++s) {
        const uint32_t rows = std::min<uint32_t>(rowsPerStrip, kHeight - y);
        for (uint32_t r = 0; r < rows; ++r)
            SwapRgbBgr(image.GetData() + static_cast<size_t>(y + r) * image.GetRowByte(),
                       strip.data() + static_cast<size_t>(r) * kWidth * 3, kWidth);
        ok = TIFFWriteEncodedStrip(tif, s, strip.data(), static_cast<tmsize_t>(rows) * kWidth * 3) != -1;
    }
    TIFFClose(tif);
    return ok;
}

// No conversion at all: a ready R, G, B buffer as one strip.
bool WriteLibtiff(const std::string& path)
{
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kHeight);
    const std::vector<uint8_t>& rgb = PictureRgb();
    const bool ok = TIFFWriteEncodedStrip(tif, 0, const_cast<uint8_t*>(rgb.data()), static_cast<tmsize_t>(rgb.size())) != -1;
    TIFFClose(tif);
    return ok;
}

void BM_WriteOurs(benchmark::State& state)
{
    Picture();  // made once, outside the timing
    const std::string path = FilePath("write_ours");
    for (auto _ : state)
        if (!WriteOurs(path)) state.SkipWithError("write failed");
    std::remove(path.c_str());
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 3);
}

void BM_WriteLibtiff(benchmark::State& state)
{
    Picture();
    const std::string path = FilePath("write_libtiff");
    for (auto _ : state)
        if (!WriteLibtiffFromImage(path)) state.SkipWithError("write failed");
    std::remove(path.c_str());
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 3);
}

void BM_WriteLibtiffRgb(benchmark::State& state)
{
    PictureRgb();
    const std::string path = FilePath("write_libtiff_rgb");
    for (auto _ : state)
        if (!WriteLibtiff(path)) state.SkipWithError("write failed");
    std::remove(path.c_str());
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 3);
}

// Both readers read the same file, written by libtiff.
const std::string& ReadFile()
{
    static const std::string path = [] {
        const std::string p = FilePath("read");
        WriteLibtiff(p);
        return p;
    }();
    return path;
}

void BM_ReadOurs(benchmark::State& state)
{
    ReadFile();
    Image image;
    for (auto _ : state) {
        FILE* f = std::fopen(ReadFile().c_str(), "rb");
        QUORVANE_FileInfo info;
        info.file = f;
        Image header;
        bool ok = f && GetTifHeader(&header, &info) == 0;
        if (ok && !image.GetData()) ok = image.BmpInit(header.GetWidth(), header.GetHeight(), 3) == 0;
        ok = ok && ReadTifData(&image, &info) == 0;
        TifCleanup(&info);
        if (f) std::fclose(f);
        if (!ok) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(image.GetData());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 3);
}

// The same job as ours: strips into the image's rows, exchanged in place.
void BM_ReadLibtiff(benchmark::State& state)
{
    ReadFile();
    Image image;
    image.BmpInit(kWidth, kHeight, 3);
    for (auto _ : state) {
        TIFF* tif = TIFFOpen(ReadFile().c_str(), "r");
        bool ok = tif != nullptr;
        uint8_t* out = image.GetData();
        for (tstrip_t s = 0; ok && s < TIFFNumberOfStrips(tif); ++s) {
            const tmsize_t n = TIFFReadEncodedStrip(tif, s, out, -1);
            ok = n > 0;
            SwapRgbBgr(out, out, static_cast<size_t>(n) / 3);
            out += n;
        }
        if (tif) TIFFClose(tif);
        if (!ok) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(image.GetData());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 3);
}

// No conversion: the file's R, G, B into a buffer.
void BM_ReadLibtiffRgb(benchmark::State& state)
{
    ReadFile();
    std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
    for (auto _ : state) {
        TIFF* tif = TIFFOpen(ReadFile().c_str(), "r");
        bool ok = tif != nullptr;
        uint8_t* out = rgb.data();
        for (tstrip_t s = 0; ok && s < TIFFNumberOfStrips(tif); ++s) {
            const tmsize_t n = TIFFReadEncodedStrip(tif, s, out, -1);
            ok = n > 0;
            out += n;
        }
        if (tif) TIFFClose(tif);
        if (!ok) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(rgb.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 3);
}

BENCHMARK(BM_WriteOurs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteLibtiff)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteLibtiffRgb)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadOurs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadLibtiff)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadLibtiffRgb)->Unit(benchmark::kMillisecond)->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    void PrintRatios() const
    {
        for (const char* what : {"Write", "Read"}) {
            const auto ours = m_times.find(std::string("BM_") + what + "Ours/real_time");
            const auto lib = m_times.find(std::string("BM_") + what + "Libtiff/real_time");
            const auto raw = m_times.find(std::string("BM_") + what + "LibtiffRgb/real_time");
            if (ours == m_times.end() || lib == m_times.end() || ours->second <= 0) continue;
            std::printf("%-6s 8192x4096 RGB: ours %.1f ms, libtiff %.1f ms: %.2fx libtiff", what, ours->second,
                        lib->second, lib->second / ours->second);
            if (raw != m_times.end())
                std::printf(" (libtiff without the channel exchange %.1f ms: %.2fx)", raw->second, raw->second / ours->second);
            std::printf("\n");
        }
    }

private:
    std::map<std::string, double> m_times;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    std::remove(ReadFile().c_str());
    benchmark::Shutdown();
    return 0;
}
