#include "worldmap/wm_tiff.h"

#include "core/logger.h"

#include <tiffio.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace {

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

struct BlockSize {
    uint32_t width = 0;
    uint32_t height = 0;
};

BlockSize SizeOf(const WorldMap& map)
{
    const RECT* r = map.GetMapRect();
    if (r->right < r->left || r->bottom < r->top) return {};
    return {static_cast<uint32_t>(int64_t{r->right} - r->left + 1), static_cast<uint32_t>(int64_t{r->bottom} - r->top + 1)};
}

}  // namespace

int WmTiff::WmToTiffAlpha(WorldMap* map, char* path)
{
    if (!map || !path || !map->GetData()) {
        Logger::log("ERROR WmTiff::WmToTiffAlpha: the map holds no block", 1);
        return -1;
    }
    const int channels = map->GetChannels();
    const BlockSize size = SizeOf(*map);
    if ((channels != 1 && channels != 3) || size.width == 0) {
        Logger::log("ERROR WmTiff::WmToTiffAlpha: a map of %d channels cannot be written", 1, channels);
        return -1;
    }
    TiffHandle tif(TIFFOpen(path, "w"));
    if (!tif) {
        Logger::log("ERROR WmTiff::WmToTiffAlpha: cannot create %s", 1, path);
        return -2;
    }
    TIFFSetField(tif.get(), TIFFTAG_IMAGEWIDTH, size.width);
    TIFFSetField(tif.get(), TIFFTAG_IMAGELENGTH, size.height);
    TIFFSetField(tif.get(), TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif.get(), TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif.get(), TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tif.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    // The fourth sample is a coverage mask, not premultiplied: declared so,
    // readers neither guess nor warn.
    const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tif.get(), TIFFTAG_EXTRASAMPLES, 1, extra);
    TIFFSetField(tif.get(), TIFFTAG_SOFTWARE, TIFFGetVersion());
    const uint32_t rowsPerStrip = std::max<uint32_t>(1, TIFFDefaultStripSize(tif.get(), static_cast<uint32_t>(-1)));
    TIFFSetField(tif.get(), TIFFTAG_ROWSPERSTRIP, rowsPerStrip);

    // Rows of the block are GetRowBytes() apart, whatever the map's width.
    const size_t stride = map->GetRowBytes();
    std::vector<uint8_t> strip(static_cast<size_t>(size.width) * 4 * rowsPerStrip);
    for (uint32_t y0 = 0, s = 0; y0 < size.height; y0 += rowsPerStrip, ++s) {
        const uint32_t rows = std::min(rowsPerStrip, size.height - y0);
        uint8_t* out = strip.data();
        for (uint32_t y = y0; y < y0 + rows; ++y) {
            const uint8_t* in = map->GetData() + static_cast<size_t>(y) * stride;
            for (uint32_t x = 0; x < size.width; ++x, in += channels, out += 4) {
                const uint8_t b = in[0];
                out[0] = channels == 3 ? in[2] : b;
                out[1] = channels == 3 ? in[1] : b;
                out[2] = b;
                out[3] = b != 0 ? 255 : 0;
            }
        }
        if (TIFFWriteEncodedStrip(tif.get(), s, strip.data(), static_cast<tmsize_t>(out - strip.data())) == -1) {
            Logger::log("ERROR WmTiff::WmToTiffAlpha: cannot write strip %u of %s", 1, s, path);
            return -1;
        }
    }
    return 0;
}

int WmTiff::TiffToWm(char* path, WorldMap* map)
{
    if (!map || !path || map->GetChannels() != 3 || !map->GetData()) {
        Logger::log("ERROR WmTiff::TiffToWm: the map has not 3 channels", 1);
        return -1;
    }
    const BlockSize size = SizeOf(*map);
    TiffHandle tif(TIFFOpen(path, "r"));
    if (!tif) {
        Logger::log("ERROR WmTiff::TiffToWm: cannot open %s", 1, path);
        return -1;
    }
    uint32_t width = 0, height = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    if (width != size.width) {
        Logger::log("ERROR WmTiff::TiffToWm: width(%u) != widthWM(%d)", 1, width, static_cast<int>(size.width));
        return -2;
    }
    if (height != size.height) {
        Logger::log("ERROR WmTiff::TiffToWm: height(%u) != heightWM(%d)", 1, height, static_cast<int>(size.height));
        return -2;
    }
    std::unique_ptr<uint32_t[]> raster(new (std::nothrow) uint32_t[static_cast<size_t>(width) * height]);
    if (!raster) {
        TIFFError(TIFFFileName(tif.get()), "No space for raster buffer");
        Logger::log("ERROR WmTiff::TiffToWm: %s: No space for raster buffer", 1, path);
        return -4;
    }
    if (!TIFFReadRGBAImageOriented(tif.get(), width, height, raster.get(), ORIENTATION_TOPLEFT, 0)) {
        Logger::log("ERROR WmTiff::TiffToWm: cannot read the image of %s", 1, path);
        return -5;
    }
    const size_t stride = map->GetRowBytes();
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t* in = raster.get() + static_cast<size_t>(y) * width;
        uint8_t* out = map->GetData() + static_cast<size_t>(y) * stride;
        for (uint32_t x = 0; x < width; ++x, out += 3) {
            out[0] = static_cast<uint8_t>(TIFFGetB(in[x]));
            out[1] = static_cast<uint8_t>(TIFFGetG(in[x]));
            out[2] = static_cast<uint8_t>(TIFFGetR(in[x]));
        }
    }
    map->setFullCoverFg();
    return 0;
}
