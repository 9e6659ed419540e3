// The viewer control's loading: an 8000 x 4000 baseline and progressive
// JPEG decoded through the loader and its file byte stream, side by side
// with main's file decoder and libjpeg-turbo on the same bytes; and the HTTP
// byte stream against the file byte stream on a 32 MB body served by
// python3 -m http.server on 127.0.0.1. Prints the ratios after the runs.
#include "imaging/image.h"
#include "jpeg/jpeg_byte_source.h"
#include "jpeg/jpeg_decoder.h"
#include "platform/wininet/wininet.h"
#include "viewer/lumivex/jpeg_byte_stream.h"
#include "viewer/lumivex/panorama_loader.h"
#include "worldmap/world_map_base.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <jpeglib.h>

namespace {

std::string TestData(const std::string& relative)
{
    const char* env = std::getenv("FENDRAKE_TESTDATA");
    return std::string(env && *env ? env : FENDRAKE_TESTDATA_DIR) + "/" + relative;
}


// The fixtures, made once: the Durlach panorama cropped to 8000 x 4000 by
// jpegtran (same coefficients), as baseline and as progressive.
struct Fixtures {
    std::filesystem::path dir;
    std::string baseline, progressive, blob;
    bool ok = false;
    Fixtures()
    {
        dir = std::filesystem::temp_directory_path() / "fendrake_bench_lumivex";
        std::filesystem::create_directories(dir);
        const std::string source = TestData("huginsample-durlach/durlach_saumarkt_equirect.jpg");
        baseline = (dir / "pano8000_baseline.jpg").string();
        progressive = (dir / "pano8000_progressive.jpg").string();
        blob = (dir / "blob32.bin").string();
        const std::string crop = "jpegtran -crop 8000x4000+0+0 -optimize ";
        ok = std::system((crop + "-outfile '" + baseline + "' '" + source + "'").c_str()) == 0 &&
             std::system((crop + "-progressive -outfile '" + progressive + "' '" + source + "'").c_str()) == 0;
        std::ofstream out(blob, std::ios::binary);
        std::vector<char> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 2654435761u) >> 13);
        for (int i = 0; i < 32; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
        ok = ok && static_cast<bool>(out);
    }
};

Fixtures& Files()
{
    static Fixtures fixtures;
    return fixtures;
}

const std::string& PathOf(int which)
{
    return which == 0 ? Files().baseline : Files().progressive;
}

void DecodeStreaming(benchmark::State& state, int which)
{
    if (!Files().ok) return state.SkipWithError("cannot make the fixtures (jpegtran, test data)");
    for (auto _ : state) {
        Image* image = nullptr;
        DecodeWorker worker;
        const int result = LoadPanorama(PathOf(which), &image, nullptr, true, nullptr, nullptr, &worker);
        worker.Wait();
        if (result != 1 || !image) return state.SkipWithError("the loader failed");
        benchmark::DoNotOptimize(image->GetData());
        ReleaseImage(image);
    }
    state.SetItemsProcessed(state.iterations() * int64_t{8000} * 4000);
}

void DecodeFileDecoder(benchmark::State& state, int which)
{
    if (!Files().ok) return state.SkipWithError("cannot make the fixtures (jpegtran, test data)");
    for (auto _ : state) {
        FILE* file = std::fopen(PathOf(which).c_str(), "rb");
        JpegDecoder decoder(std::make_unique<FileByteSource>(file), false, false);
        if (!decoder.ReadHeader()) return state.SkipWithError(decoder.Error());
        auto* image = new Image();
        image->SetSize(decoder.FrameWidth(), decoder.FrameHeight());
        image->SetChannels(decoder.Components());
        image->SetDataType(IMG_UINT8);
        image->BmpInit();
        if (!decoder.DecodeImage(image)) return state.SkipWithError(decoder.Error());
        std::fclose(file);
        benchmark::DoNotOptimize(image->GetData());
        ReleaseImage(image);
    }
    state.SetItemsProcessed(state.iterations() * int64_t{8000} * 4000);
}

void DecodeTurbo(benchmark::State& state, int which)
{
    if (!Files().ok) return state.SkipWithError("cannot make the fixtures (jpegtran, test data)");
    std::vector<unsigned char> pixels;
    for (auto _ : state) {
        FILE* file = std::fopen(PathOf(which).c_str(), "rb");
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr jerr;
        cinfo.err = jpeg_std_error(&jerr);
        jpeg_create_decompress(&cinfo);
        jpeg_stdio_src(&cinfo, file);
        jpeg_read_header(&cinfo, TRUE);
        cinfo.dct_method = JDCT_ISLOW;
        cinfo.do_fancy_upsampling = FALSE;
        cinfo.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&cinfo);
        const size_t stride = (size_t{cinfo.output_width} * 3 + 3) & ~size_t{3};
        pixels.resize(stride * cinfo.output_height);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = pixels.data() + stride * cinfo.output_scanline;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        std::fclose(file);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t{8000} * 4000);
}

int64_t Drain(JpegByteStream& stream)
{
    int64_t total = 0;
    while (stream.Refill() && stream.Available() > 0) {
        total += static_cast<int64_t>(stream.Available());
        benchmark::DoNotOptimize(stream.Cursor());
        stream.Consume(stream.Available());
    }
    return total;
}

void ReadDisk(benchmark::State& state)
{
    if (!Files().ok) return state.SkipWithError("cannot make the fixtures");
    for (auto _ : state) {
        FILE* file = std::fopen(Files().blob.c_str(), "rb");
        FileByteStream stream(file);
        stream.Init(1024);
        if (Drain(stream) != 32 << 20) return state.SkipWithError("short read");
        std::fclose(file);
    }
    state.SetBytesProcessed(state.iterations() * (int64_t{32} << 20));
}

// python3 -m http.server on 127.0.0.1, serving the fixtures' folder, for
// the life of the benchmark.
class PythonServer {
public:
    PythonServer()
    {
        const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            m_port = ntohs(address.sin_port);
        ::close(probe);
        if (!m_port) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            const std::string port = std::to_string(m_port), dir = Files().dir.string();
            const int quiet = ::open("/dev/null", O_WRONLY);  // its request log
            ::dup2(quiet, 1);
            ::dup2(quiet, 2);
            ::execlp("python3", "python3", "-m", "http.server", "--bind", "127.0.0.1", "--directory", dir.c_str(),
                     port.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Wait until it answers.
        for (int i = 0; i < 400 && !Answers(); ++i) ::usleep(50000);
    }
    ~PythonServer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    int Port() const { return m_port; }
    bool Answers() const
    {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(m_port));
        const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(s);
        return ok;
    }

private:
    int m_port = 0;
    pid_t m_pid = -1;
};

void ReadHttp(benchmark::State& state)
{
    if (!Files().ok) return state.SkipWithError("cannot make the fixtures");
    PythonServer server;
    if (!server.Answers()) return state.SkipWithError("python3 -m http.server did not start");
    for (auto _ : state) {
        CInternetSession session("Lumivex");
        std::unique_ptr<CHttpConnection> connection(
            session.GetHttpConnection("127.0.0.1", static_cast<INTERNET_PORT>(server.Port())));
        std::unique_ptr<CHttpFile> request(connection->OpenRequest("GET", "/blob32.bin", nullptr, 1, nullptr,
                                                                   nullptr, INTERNET_FLAG_NO_AUTO_REDIRECT));
        if (!request->SendRequest()) return state.SkipWithError("no answer");
        HttpByteStream stream(request.get());
        stream.Init(1024);
        if (Drain(stream) != 32 << 20) return state.SkipWithError("short body");
    }
    state.SetBytesProcessed(state.iterations() * (int64_t{32} << 20));
}

// Prints the ratios the loader is held to.
class LoadReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    void Print() const
    {
        std::printf("\n%-28s %14s %14s\n", "case", "vs turbo", "vs file decoder");
        for (const char* kind : {"baseline", "progressive"}) {
            const double ours = Get(std::string("load/stream/") + kind), file = Get(std::string("load/file/") + kind),
                         turbo = Get(std::string("load/turbo/") + kind);
            if (ours > 0 && turbo > 0 && file > 0)
                std::printf("%-28s %13.2fx %13.3fx\n", kind, turbo / ours, file / ours);
        }
        const double disk = Get("read/file/32MB"), http = Get("read/http/32MB");
        if (disk > 0 && http > 0) std::printf("%-28s HTTP throughput %.0f %% of disk\n", "32MB", 100.0 * disk / http);
        std::printf("(x = their time / ours: 1.0 is as fast)\n");
    }

private:
    double Get(const std::string& name) const
    {
        auto it = m_times.find(name);
        return it == m_times.end() ? 0 : it->second;
    }
    std::map<std::string, double> m_times;
};

}  // namespace

int main(int argc, char** argv)
{
    const char* kinds[] = {"baseline", "progressive"};
    for (int which = 0; which < 2; ++which) {
        benchmark::RegisterBenchmark((std::string("load/stream/") + kinds[which]).c_str(), DecodeStreaming, which)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("load/file/") + kinds[which]).c_str(), DecodeFileDecoder, which)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("load/turbo/") + kinds[which]).c_str(), DecodeTurbo, which)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("read/file/32MB", ReadDisk)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("read/http/32MB", ReadHttp)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    LoadReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Print();
    benchmark::Shutdown();
    return 0;
}
