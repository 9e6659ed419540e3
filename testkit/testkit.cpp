#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace testkit {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "fendrake_test_XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    m_path = buf.data();
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

CommandResult Run(const std::string& command)
{
    CommandResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> chunk{};
    size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) result.output.append(chunk.data(), n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WriteBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

Bytes WithJpegComment(const Bytes& jpeg, const Bytes& payload)
{
    const size_t head = std::min<size_t>(2, jpeg.size());
    const size_t length = payload.size() + 2;
    Bytes out(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(head));
    out.insert(out.end(), {0xFF, 0xFE, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xFF)});
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(head), jpeg.end());
    return out;
}

Bytes PanoramaDescriptor(int equatorWidth, int column, int row, int mapType, const char* magic, bool shortForm,
                         uint8_t fullCircle)
{
    Bytes out(magic, magic + 4);
    const int bytes = shortForm ? 2 : 4;
    for (int value : {equatorWidth, column, row, mapType})
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
    out.insert(out.end(), {fullCircle, 0});
    return out;
}

CommandResult RunOnXvfb(const std::string& screen, const std::string& script)
{
    CommandResult run;
    for (int attempt = 0; attempt < 3; ++attempt) {
        run = Run("xvfb-run -a -s '-screen 0 " + screen + " -nolisten tcp' sh '" + script + "'");
        const bool noDisplay = run.output.find("no X display is reachable") != std::string::npos ||
                               run.output.find("Xvfb failed to start") != std::string::npos ||
                               run.output.find("Server is already active") != std::string::npos;
        if (!noDisplay) break;
    }
    return run;
}

bool HasTool(const std::string& program)
{
    return Run("command -v '" + program + "' >/dev/null").status == 0;
}

::testing::AssertionResult RequireTool(const std::string& program)
{
    if (HasTool(program)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the oracle program '" << program
                                         << "' is missing; ./build.sh test installs it";
}

std::filesystem::path TestData(const std::string& relative)
{
    const char* env = std::getenv("FENDRAKE_TESTDATA");
    std::filesystem::path root = env && *env ? env : FENDRAKE_TESTDATA_DIR;
    return relative.empty() ? root : root / relative;
}

bool WritePnm(const Image& image, const std::string& path)
{
    const int channels = image.GetChannels();
    if (!image.GetData() || (channels != 1 && channels != 3) || image.GetDataType() != IMG_UINT8) return false;
    std::ofstream out(path, std::ios::binary);
    out << (channels == 1 ? "P5" : "P6") << "\n" << image.GetWidth() << " " << image.GetHeight() << "\n255\n";
    const size_t used = static_cast<size_t>(image.GetWidth()) * channels;
    for (int y = 0; y < image.GetHeight(); ++y)
        out.write(reinterpret_cast<const char*>(image.GetData() + static_cast<size_t>(y) * image.GetRowByte()),
                  static_cast<std::streamsize>(used));
    return static_cast<bool>(out);
}

namespace {
bool ReadPnmToken(std::istream& in, int& value)
{
    char c;
    while (in.get(c)) {
        if (c == '#') {
            std::string skip;
            std::getline(in, skip);
        } else if (!std::isspace(static_cast<unsigned char>(c))) {
            in.unget();
            return static_cast<bool>(in >> value);
        }
    }
    return false;
}
}  // namespace

Image* ReadPnm(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    in >> magic;
    int w = 0, h = 0, maxval = 0;
    if ((magic != "P5" && magic != "P6") || !ReadPnmToken(in, w) || !ReadPnmToken(in, h) ||
        !ReadPnmToken(in, maxval) || maxval != 255 || w <= 0 || h <= 0)
        return nullptr;
    in.get();  // the single whitespace after maxval
    const int channels = magic == "P5" ? 1 : 3;
    auto* image = new Image(w, h, channels);
    in.read(reinterpret_cast<char*>(image->GetData()), static_cast<std::streamsize>(image->GetDataSize()));
    if (!in) {
        ReleaseImage(image);
        return nullptr;
    }
    return image;
}

Image* MakePatternImage(int width, int height, int channels, unsigned short layout, uint32_t seed)
{
    auto* image = new Image();
    image->SetSize(width, height);
    image->SetChannels(channels);
    image->SetDataType(IMG_UINT8);
    if (layout == IMG_LAYOUT_BITMAP) {
        image->BmpInit();
    } else {
        image->Init();
    }
    std::mt19937 rng(seed);
    const int n = image->GetPixelBytes();
    for (int y = 0; y < height; ++y) {
        unsigned char* row = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
        for (int x = 0; x < width * n; ++x) row[x] = static_cast<unsigned char>(rng() & 0xFF);
    }
    return image;
}

::testing::AssertionResult SamePixels(const Image& a, const Image& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetPixelBytes() != b.GetPixelBytes())
        return ::testing::AssertionFailure() << "size " << a.GetWidth() << "x" << a.GetHeight() << " vs "
                                             << b.GetWidth() << "x" << b.GetHeight();
    const size_t used = static_cast<size_t>(a.GetWidth()) * a.GetPixelBytes();
    for (int y = 0; y < a.GetHeight(); ++y) {
        const unsigned char* ra = a.GetData() + static_cast<size_t>(y) * a.GetRowByte();
        const unsigned char* rb = b.GetData() + static_cast<size_t>(y) * b.GetRowByte();
        for (size_t i = 0; i < used; ++i)
            if (ra[i] != rb[i])
                return ::testing::AssertionFailure()
                       << "first difference at row " << y << " byte " << i << ": " << int(ra[i]) << " vs " << int(rb[i]);
    }
    return ::testing::AssertionSuccess();
}

ScreenComparison CompareScreenshots(const Image& bgr, int originX, int originY, const std::string& folder,
                                    int count)
{
    ScreenComparison result;
    result.differing = static_cast<long>(bgr.GetWidth()) * bgr.GetHeight();
    for (int i = 1; i <= count; ++i) {
        const std::unique_ptr<Image, void (*)(Image*)> screen(
            ReadPnm(folder + "/shot" + std::to_string(i) + ".ppm"), [](Image* p) { ReleaseImage(p); });
        if (!screen) continue;
        ++result.seen;
        if (originX < 0 || originY < 0 || screen->GetChannels() != 3 ||
            originX + bgr.GetWidth() > screen->GetWidth() || originY + bgr.GetHeight() > screen->GetHeight()) {
            result.fits = false;
            continue;
        }
        long differing = 0;
        for (int y = 0; y < bgr.GetHeight(); ++y) {
            const unsigned char* a = screen->GetData() + static_cast<size_t>(y + originY) * screen->GetRowByte() +
                                     static_cast<size_t>(originX) * 3;
            const unsigned char* b = bgr.GetData() + static_cast<size_t>(y) * bgr.GetRowByte();
            for (int x = 0; x < bgr.GetWidth(); ++x)
                differing += (a[3 * x] != b[3 * x + 2] || a[3 * x + 1] != b[3 * x + 1] || a[3 * x + 2] != b[3 * x]) ? 1 : 0;
        }
        result.differing = std::min(result.differing, differing);
    }
    return result;
}

}  // namespace testkit
