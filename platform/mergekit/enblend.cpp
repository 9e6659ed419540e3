#include "platform/mergekit/enblend.h"

#include "core/logger.h"
#include "platform/utilkit/log_base.h"
#include "worldmap/wm_tiff.h"
#include "worldmap/world_map.h"

#include <tiffio.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>

namespace {

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};

// Alpha of the output, row by row from the top; empty when unreadable or of
// another size than the map.
std::unique_ptr<uint32_t[]> ReadRaster(const std::string& path, uint32_t width, uint32_t height)
{
    std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(path.c_str(), "r"));
    if (!tif) return nullptr;
    uint32_t w = 0, h = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
    if (w != width || h != height) return nullptr;
    std::unique_ptr<uint32_t[]> raster(new (std::nothrow) uint32_t[static_cast<size_t>(w) * h]);
    if (!raster || !TIFFReadRGBAImageOriented(tif.get(), w, h, raster.get(), ORIENTATION_TOPLEFT, 0)) return nullptr;
    return raster;
}

void RemoveFile(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(LogBase::ToNativePath(path.c_str()), ec);
}

}  // namespace

std::string Enblend::getEnblendExeFile()
{
    return LogBase::GetAppDir0() + "\\Swelder.exe";
}

std::string Enblend::getEnblendPrms(int count, bool loop, const std::string& outName,
                                    const std::vector<std::string>& chipNames, const std::string& shmName, int shmSize)
{
    std::string out = "--shmname " + shmName + " --shmsize " + std::to_string(shmSize) + " ";
    if (loop) out += "--wrap ";
    out += "-o \"" + outName + "\"";
    const size_t n = count < 0 ? 0 : std::min(static_cast<size_t>(count), chipNames.size());
    for (size_t i = 0; i < n; ++i) out += " \"" + chipNames[i] + "\"";
    return out;
}

void Enblend::copyWmDelTempFiles(int count, WorldMap* map, const std::string& outName,
                                 const std::vector<std::string>& chipNames)
{
    if (map) {
        const std::string path = LogBase::ToNativePath(outName.c_str());
        // The stored block is the map rectangle (inclusive bounds).
        const RECT* rect = map->GetMapRect();
        const int width = rect->right - rect->left + 1, height = rect->bottom - rect->top + 1;
        std::unique_ptr<uint32_t[]> raster;
        if (width > 0 && height > 0)
            raster = ReadRaster(path, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
        if (!raster || map->GetChannels() != 3 || !map->GetData()) {
            Logger::log("ERROR Enblend::copyWmDelTempFiles: cannot read the blend %s", 1, path.c_str());
        } else {
            std::vector<char> name(path.begin(), path.end());
            name.push_back('\0');
            if (WmTiff().TiffToWm(name.data(), map) == 0) {
                // libtiff weights colours by alpha, so uncovered samples come
                // back 0; a covered sample whose first value is 0 must not
                // read as uncovered.
                const size_t stride = map->GetRowBytes();
                for (int y = 0; y < height; ++y) {
                    const uint32_t* in = raster.get() + static_cast<size_t>(y) * static_cast<size_t>(width);
                    uint8_t* out = map->GetData() + static_cast<size_t>(y) * stride;
                    for (int x = 0; x < width; ++x, out += 3)
                        if (TIFFGetA(in[x]) != 0 && out[0] == 0) out[0] = 1;
                }
            } else {
                Logger::log("ERROR Enblend::copyWmDelTempFiles: cannot read the blend %s", 1, path.c_str());
            }
        }
    }
    const size_t n = count < 0 ? 0 : std::min(static_cast<size_t>(count), chipNames.size());
    for (size_t i = 0; i < n; ++i) RemoveFile(chipNames[i]);
    RemoveFile(outName);
}
