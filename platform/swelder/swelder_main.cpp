// Swelder, the elastic blender program the main program starts for an
// elastic blend. It opens the shared channel named on its command line,
// hands the chips to Debian's seam blender `enblend` (its child), passes on
// what enblend prints as progress texts, stops enblend when the main
// program asks to cancel, and turns enblend's result into the RGBA TIFF of
// the whole canvas that the main program reads at the "-o" name. The
// finished flag is set last, only after a complete result; every failure
// ends the program without it, with one line on the standard error.
//
// SWELDER_ENBLEND, when set, names the enblend program (tests use it to
// simulate a missing or failing blender).
#include "platform/swelder/swelder_options.h"
#include "platform/utilkit/shm_client.h"

#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

int Fail(const char* text, const std::string& detail = {})
{
    std::fprintf(stderr, "Swelder: %s%s%s\n", text, detail.empty() ? "" : ": ", detail.c_str());
    return 2;
}

// Place of a layer on the canvas: its position tags in pixels.
void Position(TIFF* t, long& x, long& y)
{
    float px = 0, py = 0, rx = 1, ry = 1;
    TIFFGetField(t, TIFFTAG_XPOSITION, &px);
    TIFFGetField(t, TIFFTAG_YPOSITION, &py);
    if (!TIFFGetField(t, TIFFTAG_XRESOLUTION, &rx) || !(rx > 0)) rx = 1;
    if (!TIFFGetField(t, TIFFTAG_YRESOLUTION, &ry) || !(ry > 0)) ry = 1;
    x = std::lround(px * rx);
    y = std::lround(py * ry);
}

// Checks every chip and reads the canvas size and the levels from them.
bool ReadChips(const std::vector<std::string>& chips, uint32_t& fullW, uint32_t& fullH, int& levels,
               std::string& error)
{
    fullW = fullH = 0;
    levels = 0;
    TIFFSetWarningHandler(nullptr);
    for (const std::string& name : chips) {
        TiffPtr t(TIFFOpen(name.c_str(), "r"));
        if (!t) {
            error = "cannot read chip " + name;
            return false;
        }
        uint32_t w = 0, h = 0;
        TIFFGetField(t.get(), TIFFTAG_PIXAR_IMAGEFULLWIDTH, &w);
        TIFFGetField(t.get(), TIFFTAG_PIXAR_IMAGEFULLLENGTH, &h);
        fullW = std::max(fullW, w);
        fullH = std::max(fullH, h);
        char* description = nullptr;
        if (levels == 0 && TIFFGetField(t.get(), TIFFTAG_IMAGEDESCRIPTION, &description) && description)
            levels = LevelsFromDescription(description);
    }
    if (fullW == 0 || fullH == 0) {
        error = "the chips carry no canvas size";
        return false;
    }
    if (levels <= 0) levels = 3;
    return true;
}

// Runs enblend with `args`, posting its output lines, until it ends or the
// main program cancels. Returns its exit status, or -1 not started, -2
// cancelled.
int RunEnblend(const std::string& program, const std::vector<std::string>& args, ShmClient& client)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return -1;
    // The child reports a failed exec through a close-on-exec pipe.
    int execFds[2];
    if (::pipe2(execFds, O_CLOEXEC) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::dup2(pipeFds[1], STDERR_FILENO);
        ::close(pipeFds[0]);
        ::close(execFds[0]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(program.c_str(), argv.data());
        const int code = errno;
        (void)!::write(execFds[1], &code, sizeof code);
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    ::close(execFds[1]);
    int execError = 0;
    const bool notStarted = ::read(execFds[0], &execError, sizeof execError) == sizeof execError;
    ::close(execFds[0]);
    std::string pending;
    bool cancelled = false;
    bool open = true;
    while (open) {
        if (client.isOpen() && client.cancelRequested()) {
            cancelled = true;
            ::kill(pid, SIGTERM);
            break;
        }
        pollfd p{pipeFds[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buffer[512];
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0) {
            open = false;
            break;
        }
        pending.append(buffer, static_cast<size_t>(n));
        size_t end;
        while ((end = pending.find_first_of("\r\n")) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && client.isOpen()) client.postText(line.c_str());
        }
    }
    // enblend may have closed its output before it ends: keep polling Cancel.
    int status = 0;
    while (!cancelled) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (client.isOpen() && client.cancelRequested()) {
            cancelled = true;
            ::kill(pid, SIGTERM);
            break;
        }
        ::usleep(20000);
    }
    ::close(pipeFds[0]);
    if (cancelled) {
        // Ended, and reaped so that no zombie stays behind.
        for (int k = 0; k < 100 && ::waitpid(pid, &status, WNOHANG) == 0; ++k) ::usleep(20000);
        if (::waitpid(pid, &status, WNOHANG) == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        return -2;
    }
    if (notStarted) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// enblend's layer placed on the full canvas as an RGBA TIFF (alpha 0 where
// nothing was blended).
bool WriteCanvas(const std::string& blended, const std::string& output, uint32_t fullW, uint32_t fullH,
                 std::string& error)
{
    TiffPtr in(TIFFOpen(blended.c_str(), "r"));
    if (!in) {
        error = "cannot read enblend's output";
        return false;
    }
    uint32_t w = 0, h = 0;
    TIFFGetField(in.get(), TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(in.get(), TIFFTAG_IMAGELENGTH, &h);
    long x0 = 0, y0 = 0;
    Position(in.get(), x0, y0);
    if (w == 0 || h == 0 || static_cast<uint64_t>(w) * h > (1ULL << 31)) {
        error = "enblend's output has no usable size";
        return false;
    }
    std::vector<uint32_t> raster(static_cast<size_t>(w) * h);
    if (!TIFFReadRGBAImageOriented(in.get(), w, h, raster.data(), ORIENTATION_TOPLEFT, 0)) {
        error = "cannot decode enblend's output";
        return false;
    }
    TiffPtr out(TIFFOpen(output.c_str(), "w"));
    if (!out) {
        error = "cannot write " + output;
        return false;
    }
    const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
    TIFF* t = out.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, fullW);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, fullH);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    std::vector<uint8_t> row(static_cast<size_t>(fullW) * 4);
    for (uint32_t y = 0; y < fullH; ++y) {
        std::fill(row.begin(), row.end(), uint8_t{0});
        const long sy = static_cast<long>(y) - y0;
        if (sy >= 0 && sy < static_cast<long>(h)) {
            for (uint32_t x = 0; x < fullW; ++x) {
                const long sx = static_cast<long>(x) - x0;
                if (sx < 0 || sx >= static_cast<long>(w)) continue;
                const uint32_t v = raster[static_cast<size_t>(sy) * w + static_cast<size_t>(sx)];
                uint8_t* o = &row[static_cast<size_t>(x) * 4];
                o[0] = static_cast<uint8_t>(TIFFGetR(v));
                o[1] = static_cast<uint8_t>(TIFFGetG(v));
                o[2] = static_cast<uint8_t>(TIFFGetB(v));
                o[3] = static_cast<uint8_t>(TIFFGetA(v));
            }
        }
        if (TIFFWriteScanline(t, row.data(), y, 0) < 0) {
            error = "cannot write " + output;
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    SwelderOptions options;
    std::string error;
    if (!ParseSwelderOptions(args, options, error)) return Fail("bad command line", error);
    ShmClient client;
    if (!options.shmName.empty() && client.open(options.shmName.c_str(), options.shmSize) != 0)
        return Fail("cannot open the channel", options.shmName);
    uint32_t fullW = 0, fullH = 0;
    int levels = 0;
    if (!ReadChips(options.chips, fullW, fullH, levels, error)) return Fail(error.c_str());
    char text[64];
    std::snprintf(text, sizeof text, "Blending %d chips", static_cast<int>(options.chips.size()));
    if (client.isOpen()) client.postText(text);

    const char* custom = std::getenv("SWELDER_ENBLEND");
    const std::string program = custom && *custom ? custom : "enblend";
    const std::string temporary = options.output + ".enblend.tif";
    // The whole canvas as enblend's output ("-f"), so that its layer needs
    // no placing afterwards.
    std::vector<std::string> arguments = EnblendArguments(options, temporary, levels);
    arguments.insert(arguments.begin(), {"-f", std::to_string(fullW) + "x" + std::to_string(fullH)});
    const int status = RunEnblend(program, arguments, client);
    if (status == -2) {
        ::unlink(temporary.c_str());
        return Fail("cancelled");
    }
    if (status == -1) return Fail("cannot start", program);
    if (status != 0) {
        ::unlink(temporary.c_str());
        return Fail("enblend failed with status", std::to_string(status));
    }
    const bool written = WriteCanvas(temporary, options.output, fullW, fullH, error);
    ::unlink(temporary.c_str());
    if (!written) {
        ::unlink(options.output.c_str());
        return Fail(error.c_str());
    }
    if (client.isOpen()) client.setFinished();
    return 0;
}
