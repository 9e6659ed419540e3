// The 'jpeg' and 'tiff' compressors of the movie toolbox, on the suite's own
// JPEG encoder and TIFF writer: one baseline JPEG file, or one uncompressed
// TIFF file, per sample.
#include "qtmovie/cinvora.h"
#include "qtmovie/pixel_order.h"

#include "jpeg/jpeg_bit_writer.h"
#include "jpeg/jpeg_encoder.h"
#include "worldmap/tiff_writer.h"
#include "core/logger.h"
#include "imaging/ref_count.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace {

// The pixel map's rows as blue, green, red (or grey) samples, the order of
// the suite's images, in a buffer reused from frame to frame of a thread.
const uint8_t* ImageOrderRows(const PixMapRecord& pixMap, int* channels)
{
    thread_local std::vector<uint8_t> rows;
    *channels = pixMap.depth == 8 ? 1 : 3;
    const size_t rowBytes = static_cast<size_t>(pixMap.width) * *channels;
    if (rows.size() < rowBytes * pixMap.height) rows.resize(rowBytes * pixMap.height);
    for (int y = 0; y < pixMap.height; ++y) {
        const uint8_t* __restrict src = pixMap.pixels.data() + static_cast<size_t>(y) * pixMap.rowBytes;
        uint8_t* __restrict dst = rows.data() + y * rowBytes;
        if (*channels == 1) {
            std::memcpy(dst, src, rowBytes);
        } else {
            cinvora::SwapRedBlue(src, dst, pixMap.width);
        }
    }
    return rows.data();
}

size_t JpegMaxSize(int width, int height, int depth, CodecQ)
{
    if (width < 1 || height < 1 || width > 65535 || height > 65535) return 0;
    // Worst case of a baseline file: every 8x8 block of every component at
    // its longest codes stays below 8 bytes per sample, plus the tables.
    return static_cast<size_t>(width + 15) * (height + 15) * (depth / 8) * 8 + 4096;
}

bool JpegCompress(const PixMapRecord& pixMap, CodecQ quality, std::vector<uint8_t>& out)
{
    int channels = 0;
    const uint8_t* rows = ImageOrderRows(pixMap, &channels);
    JpegEncodeOptions options;
    // The encoder's quantisation follows the sampling: full chroma for the
    // best qualities, halved horizontally for high, quartered below.
    options.sampling = quality >= codecMaxQuality ? 0 : quality >= codecHighQuality ? 1 : 2;
    JpegEncoder encoder(rows, static_cast<ptrdiff_t>(pixMap.width) * channels, channels, pixMap.width,
                        pixMap.height, options);
    if (!encoder.Prepare()) return false;
    MemoryByteSink sink;
    encoder.Write(sink);
    if (!sink.Flush()) return false;
    out = std::move(sink.Bytes());
    return true;
}

size_t TiffMaxSize(int width, int height, int depth, CodecQ)
{
    if (width < 1 || height < 1) return 0;
    return static_cast<size_t>(width) * height * (depth / 8) + 4096;
}

bool TiffCompress(const PixMapRecord& pixMap, CodecQ, std::vector<uint8_t>& out)
{
    int channels = 0;
    const uint8_t* rows = ImageOrderRows(pixMap, &channels);
    Image* image = new Image(pixMap.width, pixMap.height, channels);
    RefPtr<Image> holder = RefPtr<Image>::adopt(image);
    if (!image->GetData()) return false;
    for (int y = 0; y < pixMap.height; ++y)
        std::memcpy(image->GetData() + static_cast<size_t>(y) * image->GetRowByte(),
                    rows + static_cast<size_t>(y) * pixMap.width * channels,
                    static_cast<size_t>(pixMap.width) * channels);
    // The TIFF writer writes files: code into a private temporary one.
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "cinvora-tiff-XXXXXX").string();
    if (ec) pattern = "/tmp/cinvora-tiff-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        Logger::log("ERROR TiffCompress: no temporary file", 1);
        return false;
    }
    close(fd);
    QUORVANE_FileInfo info;
    info.path = pattern.c_str();
    bool ok = SaveImageAsTiff(image, nullptr, &info) == kSaveTiffOk;
    if (ok) {
        FILE* file = std::fopen(pattern.c_str(), "rb");
        ok = file != nullptr;
        if (file) {
            uint8_t buffer[65536];
            size_t n;
            out.clear();
            while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.insert(out.end(), buffer, buffer + n);
            ok = !std::ferror(file);
            std::fclose(file);
        }
    }
    std::remove(pattern.c_str());
    return ok;
}

}  // namespace

namespace cinvora {

void RegisterCodecs()
{
    Compressor jpeg;
    jpeg.maxSize = JpegMaxSize;
    jpeg.compress = JpegCompress;
    jpeg.name = "Photo - JPEG";
    RegisterCompressor(FourCC("jpeg"), jpeg);
    Compressor tiff;
    tiff.maxSize = TiffMaxSize;
    tiff.compress = TiffCompress;
    tiff.name = "TIFF";
    RegisterCompressor(FourCC("tiff"), tiff);
}

}  // namespace cinvora
