// The QuickTime VR panorama writer on a real 8192 x 2048 RGB panorama with
// 'jpeg' at quality 768, timed side by side with encoding the same 256
// strips with the JPEG encoder alone: "x_jpeg" is movie time / encoder time
// (wall clock), "x_jpeg_cpu" the same ratio of the thread's processor time,
// which waiting for a processor on a loaded machine does not inflate.
// Then our intra Cinepak encoder on 64 strips of 32 x 512 against ffmpeg's
// cinepak encoder on the same strips (its time includes starting the
// program): "x_ffmpeg" is our time / ffmpeg's, with both PSNRs (ffmpeg
// decodes both files).
#include "imaging/image.h"
#include "imaging/ref_count.h"
#include "jpeg/jpeg_bit_writer.h"
#include "jpeg/jpeg_encoder.h"
#include "platform/quicktime/cinepak_encoder.h"
#include "platform/quicktime/movie_toolbox.h"
#include "qtmovie/cinvora.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// Processor time of the calling thread in seconds (system time included:
// the file I/O of the movie layer runs in the kernel).
double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

fs::path WorkDir()
{
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / "fendrake_bench_qtvr";
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

std::set<std::string> s_scaled;  // files RealRgb made in this run

// The Durlach panorama scaled by ffmpeg to `width` x 2 `height`, its middle
// `height` rows, as raw red, green, blue bytes.
std::vector<uint8_t> RealRgb(int width, int height)
{
    const fs::path out = WorkDir() / ("pano" + std::to_string(width) + ".rgb");
    // Scaled once per run: the repetitions read the same file.
    if (fs::exists(out) && fs::file_size(out) == size_t(width) * height * 3 && s_scaled.count(out.string())) {
        std::ifstream in(out, std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    s_scaled.insert(out.string());
    const std::string command = "ffmpeg -v error -y -i '" FENDRAKE_TESTDATA_DIR
                                "/huginsample-durlach/durlach_saumarkt_equirect.jpg' -vf scale=" +
                                std::to_string(width) + ":" + std::to_string(2 * height) + ",crop=" +
                                std::to_string(width) + ":" + std::to_string(height) +
                                " -f rawvideo -pix_fmt rgb24 '" + out.string() + "'";
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream in(out, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// An Image (blue, green, red) of raw red, green, blue bytes.
Image* ImageOf(const std::vector<uint8_t>& rgb, int width, int height)
{
    auto* image = new Image(width, height, 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                image->GetData()[static_cast<size_t>(y) * image->GetRowByte() + 3 * x + c] =
                    rgb[(static_cast<size_t>(y) * width + x) * 3 + 2 - c];
    return image;
}

void BM_PanoramaMovieJpeg768(benchmark::State& state)
{
    constexpr int kWidth = 8192, kHeight = 2048;
    const std::vector<uint8_t> rgb = RealRgb(kWidth, kHeight);
    if (rgb.size() != size_t(kWidth) * kHeight * 3) {
        state.SkipWithError("ffmpeg or the test panorama is missing");
        return;
    }
    RefPtr<Image> picture = RefPtr<Image>::adopt(ImageOf(rgb, kWidth, kHeight));
    MovieSettings settings;
    settings.codecCode = 0;
    settings.qualityCode = 2;  // 768
    const std::string target = (WorkDir() / "pano.mov").string();
    double movieSeconds = 0, encoderSeconds = 0, movieCpu = 0, encoderCpu = 0;
    size_t movieBytes = 0, jpegBytes = 0;
    for (auto _ : state) {
        Image* images[2] = {picture.get(), nullptr};
        RECT rect{0, 0, kWidth - 1, kHeight - 1};
        QUORVANE_FileInfo info;
        info.path = target.c_str();
        info.extra = &settings;
        const double c0 = ThreadSeconds();
        const auto t0 = Clock::now();
        if (WriteQT_PanoMovie(images, &rect, &info) != 0) {
            state.SkipWithError("the movie was not written");
            return;
        }
        const auto t1 = Clock::now();
        const double c1 = ThreadSeconds();
        jpegBytes = 0;
        for (int strip = 0; strip < kWidth / 32; ++strip) {
            JpegEncodeOptions options;
            options.sampling = 1;  // what quality 768 codes with
            JpegEncoder encoder(picture->GetData() + 3 * 32 * strip, picture->GetRowByte(), 3, 32, kHeight, options);
            encoder.Prepare();
            MemoryByteSink sink;
            encoder.Write(sink);
            sink.Flush();
            jpegBytes += sink.Bytes().size();
            benchmark::DoNotOptimize(sink.Bytes().data());
        }
        const auto t2 = Clock::now();
        const double c2 = ThreadSeconds();
        movieSeconds += std::chrono::duration<double>(t1 - t0).count();
        encoderSeconds += std::chrono::duration<double>(t2 - t1).count();
        movieCpu += c1 - c0;
        encoderCpu += c2 - c1;
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        movieBytes = fs::file_size(target);
    }
    state.counters["x_jpeg"] = encoderSeconds > 0 ? movieSeconds / encoderSeconds : 0;
    state.counters["x_jpeg_cpu"] = encoderCpu > 0 ? movieCpu / encoderCpu : 0;
    const double n = static_cast<double>(state.iterations());
    state.counters["jpeg_ms"] = 1e3 * encoderSeconds / n;
    state.counters["movie_cpu_ms"] = 1e3 * movieCpu / n;
    state.counters["jpeg_cpu_ms"] = 1e3 * encoderCpu / n;
    state.counters["movie_MB"] = movieBytes / 1e6;
    state.counters["jpeg_MB"] = jpegBytes / 1e6;
}
BENCHMARK(BM_PanoramaMovieJpeg768)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// PSNR of the frames ffmpeg decodes from `movie` against the strips.
double DecodedPsnr(const std::string& movie, const std::vector<std::vector<uint8_t>>& strips)
{
    const fs::path raw = WorkDir() / "decoded.rgb";
    const std::string command = "ffmpeg -v error -y -i '" + movie +
                                "' -map 0:v:0 -vsync passthrough -f rawvideo -pix_fmt rgb24 '" + raw.string() + "'";
    if (std::system(command.c_str()) != 0) return 0;
    std::ifstream in(raw, std::ios::binary);
    const std::vector<uint8_t> decoded((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    double sum = 0;
    size_t n = 0;
    for (const auto& strip : strips)
        for (size_t i = 0; i < strip.size() && n < decoded.size(); ++i, ++n) {
            const double d = double(strip[i]) - decoded[n];
            sum += d * d;
        }
    if (n == 0 || n != decoded.size()) return 0;
    return 10 * std::log10(255.0 * 255 / (sum / n));
}

void BM_CinepakAgainstFfmpeg(benchmark::State& state)
{
    constexpr int kWidth = 2048, kHeight = 512, kStrips = kWidth / 32;
    const std::vector<uint8_t> rgb = RealRgb(kWidth, kHeight);
    if (rgb.size() != size_t(kWidth) * kHeight * 3) {
        state.SkipWithError("ffmpeg or the test panorama is missing");
        return;
    }
    // The strips as frames of red, green, blue rows.
    std::vector<std::vector<uint8_t>> strips(kStrips, std::vector<uint8_t>(32 * kHeight * 3));
    for (int s = 0; s < kStrips; ++s)
        for (int y = 0; y < kHeight; ++y)
            std::copy_n(&rgb[(size_t(y) * kWidth + 32 * s) * 3], 32 * 3, &strips[s][size_t(y) * 32 * 3]);
    const fs::path rawStrips = WorkDir() / "strips.rgb";
    {
        std::ofstream out(rawStrips, std::ios::binary);
        for (const auto& s : strips) out.write(reinterpret_cast<const char*>(s.data()), std::streamsize(s.size()));
    }
    const std::string ffmpegMovie = (WorkDir() / "ffmpeg_cvid.mov").string();
    const std::string ffmpegCommand = "ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s 32x" +
                                      std::to_string(kHeight) + " -r 25 -i '" + rawStrips.string() +
                                      "' -c:v cinepak -g 1 '" + ffmpegMovie + "'";
    double ourSeconds = 0, ffmpegSeconds = 0;
    std::vector<std::vector<uint8_t>> coded(kStrips);
    for (auto _ : state) {
        const auto t0 = Clock::now();
        for (int s = 0; s < kStrips; ++s) cinepak::EncodeFrame(strips[s].data(), 32 * 3, 32, kHeight, false, 1023, coded[s]);
        const auto t1 = Clock::now();
        if (std::system(ffmpegCommand.c_str()) != 0) {
            state.SkipWithError("ffmpeg's cinepak encoder failed");
            return;
        }
        const auto t2 = Clock::now();
        ourSeconds += std::chrono::duration<double>(t1 - t0).count();
        ffmpegSeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    // Our frames in a movie of the toolbox, for ffmpeg to decode.
    const std::string ourMovie = (WorkDir() / "our_cvid.mov").string();
    FSSpec where{ourMovie};
    short file = 0;
    Movie movie = nullptr;
    CreateMovieFile(&where, 0, 0, createMovieFileDeleteCurFile, &file, &movie);
    Track track = NewMovieTrack(movie, FixedFromInt(32), FixedFromInt(kHeight), 0);
    Media media = NewTrackMedia(track, FourCC("vide"), 600, nullptr, 0);
    Handle desc = NewHandle(0);
    PixMapRecord pixMap;
    pixMap.width = 32;
    pixMap.height = kHeight;
    pixMap.depth = 24;
    pixMap.rowBytes = 32 * 3;
    BeginMediaEdits(media);
    for (int s = 0; s < kStrips; ++s) {
        pixMap.pixels = strips[s];
        long size = 0;
        long maxSize = 0;
        GetMaxCompressionSize(&pixMap, nullptr, 24, 1023, FourCC("cvid"), nullptr, &maxSize);
        Handle data = NewHandle(size_t(maxSize));
        FCompressImage(&pixMap, nullptr, 24, 1023, FourCC("cvid"), nullptr, nullptr, 0, desc, HandleData(data), maxSize,
                       &size);
        AddMediaSample(media, data, 0, size_t(size), 24, desc, 1, 0, nullptr);
        DisposeHandle(data);
    }
    EndMediaEdits(media);
    InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1);
    AddMovieResource(movie, file, nullptr, nullptr);
    CloseMovieFile(file);
    DisposeMovie(movie);
    DisposeHandle(desc);
    size_t ourBytes = 0;
    for (const auto& c : coded) ourBytes += c.size();
    state.counters["x_ffmpeg"] = ffmpegSeconds > 0 ? ourSeconds / ffmpegSeconds : 0;
    state.counters["psnr_ours"] = DecodedPsnr(ourMovie, strips);
    state.counters["psnr_ffmpeg"] = DecodedPsnr(ffmpegMovie, strips);
    state.counters["ours_KB"] = ourBytes / 1e3;
    state.counters["ffmpeg_KB"] = fs::file_size(ffmpegMovie) / 1e3;
}
BENCHMARK(BM_CinepakAgainstFfmpeg)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
