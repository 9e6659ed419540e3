// Enblend::mapChipSaveOneImage: one frame's share of the map as a chip file
// for the outside blender.
#include "platform/mergekit/enblend.h"

#include "core/logger.h"
#include "platform/sceneio/kestova_file.h"
#include "platform/utilkit/log_base.h"
#include "platform/xformkit/camera_model.h"
#include "worldmap/map_math.h"
#include "worldmap/world_map.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A scene's samples on the map's stored block: block columns and rows, the
// first value of each sample 0 where the scene holds nothing.
struct BlockLayer {
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> data;
    int x0 = INT32_MAX, y0 = INT32_MAX, x1 = -1, y1 = -1;  // bounding box, inclusive
    bool Has(int x, int y) const { return data[(static_cast<size_t>(y) * width + x) * channels] != 0; }
    const uint8_t* At(int x, int y) const { return &data[(static_cast<size_t>(y) * width + x) * channels]; }
};

// Places the scene's samples where WorldMap::AddData would write them.
bool Rasterize(const KestovaFile* scene, const WorldMap* map, BlockLayer& out)
{
    const RECT* block = map->GetMapRect();
    out.width = block->right - block->left + 1;
    out.height = block->bottom - block->top + 1;
    out.channels = scene->GetNumChannel();
    if (out.width < 1 || out.height < 1 || (out.channels != 1 && out.channels != 3)) return false;
    out.data.assign(static_cast<size_t>(out.width) * out.height * out.channels, 0);
    const int fc = out.channels, mc = map->GetChannels();
    const int H = map->GetHeight();
    const int64_t vc = map->GetViewCenter_int();
    List* bands = scene->GetBandList();
    for (int b = 0; bands && b < bands->m_count; ++b) {
        const CBand* band = static_cast<const CBand*>(bands->GetData(b));
        if (!band) continue;
        const int r = band->m_row + H / 2;
        const WorldMapBase::ScanLine* line = map->GetScanLine(r);
        const int y = r - block->top;
        if (!line || !line->m_line || y < 0 || y >= out.height) continue;
        const uint8_t* rowBase = map->GetData() + static_cast<size_t>(y) * map->GetRowBytes();
        const int64_t lineOffset = (line->m_line - rowBase) / mc;
        const int64_t s = line->m_samples;
        for (int k = 0; k < band->m_numSectors; ++k) {
            const CSector* sector = band->m_sectors[k];
            if (!sector) continue;
            const uint8_t* src = sector->GetDataPtr();
            const int64_t n = std::min<int64_t>(sector->m_last - sector->m_first + 1, s);
            for (int64_t j = 0; j < n; ++j, src += fc) {
                if (src[0] == 0) continue;
                const int64_t i = mapmath::Wrap(sector->m_first + j + s / 2 - vc, s);
                if (i < line->m_first || i > line->m_last) continue;
                const int x = static_cast<int>(lineOffset + i - line->m_first);
                if (x < 0 || x >= out.width) continue;
                std::copy(src, src + fc, &out.data[(static_cast<size_t>(y) * out.width + x) * fc]);
                out.x0 = std::min(out.x0, x);
                out.x1 = std::max(out.x1, x);
                out.y0 = std::min(out.y0, y);
                out.y1 = std::max(out.y1, y);
            }
        }
    }
    return out.x1 >= 0;
}

// Unit ray of a block sample and of a frame's viewing axis.
xformkit::Vec3 SampleRay(const WorldMap* map, int x, int y)
{
    const RECT* block = map->GetMapRect();
    const int W = map->GetWidth(), H = map->GetHeight();
    const int64_t vc = map->GetViewCenter_int();
    const WorldMapBase::ScanLine* line = map->GetScanLine(y + block->top);
    const uint8_t* rowBase = map->GetData() + static_cast<size_t>(y) * map->GetRowBytes();
    const int64_t offset = line ? (line->m_line - rowBase) / map->GetChannels() : 0;
    const int64_t first = line ? line->m_first : 0;
    const int64_t i = x - offset + first;
    const double lon = static_cast<double>(i - W / 2 + vc) * 2 * kPi / W;
    const double lat = static_cast<double>(y + block->top - H / 2) * 2 * kPi / W;
    return xformkit::SphereToRay(lon, lat);
}

xformkit::Vec3 Axis(const TRANSFORM_RS* t)
{
    return xformkit::Apply(xformkit::PlacementMatrix(t->pan, t->tilt, t->roll), xformkit::Vec3{0, 0, 1});
}

double Dot(const xformkit::Vec3& a, const xformkit::Vec3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};

}  // namespace

bool Enblend::mapChipSaveOneImage(int index, int count, bool loop, WorldMap* map, KestovaFile** files,
                                  TRANSFORM_RS** placements, uint8_t* codes, std::string&,
                                  std::vector<std::string>& chipNames, int bw, int levels)
{
    if (!map || !map->GetData() || !files || !placements || !codes || index < 0 || index >= count ||
        !files[index] || !placements[index]) {
        Logger::log("ERROR Enblend::mapChipSaveOneImage: no map or no scene for chip %d of %d", 1, index, count);
        return false;
    }
    BlockLayer self;
    if (!Rasterize(files[index], map, self)) {
        Logger::log("ERROR Enblend::mapChipSaveOneImage: chip %d holds no sample of the map", 1, index);
        return false;
    }
    // The neighbours the chip competes with, and who owns their overlap:
    // +1 this frame, -1 the neighbour, 0 the nearer centre.
    struct Rival {
        BlockLayer layer;
        xformkit::Vec3 axis;
        int owner = 0;
    };
    std::vector<Rival> rivals;
    const int prev = index > 0 ? index - 1 : (loop ? count - 1 : -1);
    const int next = index + 1 < count ? index + 1 : (loop ? 0 : -1);
    // Seam code 1: the left frame over the right; 2: the right over the left.
    if (prev >= 0 && prev != index && codes[index] != 0xFF && files[prev] && placements[prev]) {
        Rival r;
        if (Rasterize(files[prev], map, r.layer)) {
            r.axis = Axis(placements[prev]);
            r.owner = codes[index] == 1 ? -1 : codes[index] == 2 ? 1 : 0;
            rivals.push_back(std::move(r));
        }
    }
    if (next >= 0 && next != index && next != prev && codes[next] != 0xFF && files[next] && placements[next]) {
        Rival r;
        if (Rasterize(files[next], map, r.layer)) {
            r.axis = Axis(placements[next]);
            r.owner = codes[next] == 1 ? 1 : codes[next] == 2 ? -1 : 0;
            rivals.push_back(std::move(r));
        }
    }
    const xformkit::Vec3 axis = Axis(placements[index]);
    const int w = self.x1 - self.x0 + 1, h = self.y1 - self.y0 + 1;
    // Owned samples, then widened by bw into the rivals' side.
    std::vector<uint8_t> owned(static_cast<size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int bx = self.x0 + x, by = self.y0 + y;
            if (!self.Has(bx, by)) continue;
            bool mine = true;
            for (const Rival& r : rivals) {
                if (!r.layer.Has(bx, by)) continue;
                if (r.owner == -1) mine = false;
                else if (r.owner == 0) {
                    const xformkit::Vec3 ray = SampleRay(map, bx, by);
                    if (Dot(ray, r.axis) > Dot(ray, axis)) mine = false;
                }
            }
            owned[static_cast<size_t>(y) * w + x] = mine;
        }
    }
    const int reach = std::max(bw, 1);
    std::vector<uint8_t> alpha(owned);
    // Row pass then column pass of a square dilation, kept inside the frame.
    std::vector<uint8_t> rowsDone(owned.size(), 0);
    for (int y = 0; y < h; ++y) {
        int last = -1000000;
        for (int x = 0; x < w; ++x) {
            if (owned[static_cast<size_t>(y) * w + x]) last = x;
            if (x - last <= reach) rowsDone[static_cast<size_t>(y) * w + x] = 1;
        }
        last = 1000000;
        for (int x = w - 1; x >= 0; --x) {
            if (owned[static_cast<size_t>(y) * w + x]) last = x;
            if (last - x <= reach) rowsDone[static_cast<size_t>(y) * w + x] = 1;
        }
    }
    for (int x = 0; x < w; ++x) {
        int last = -1000000;
        for (int y = 0; y < h; ++y) {
            if (rowsDone[static_cast<size_t>(y) * w + x]) last = y;
            if (y - last <= reach) alpha[static_cast<size_t>(y) * w + x] = 1;
        }
        last = 1000000;
        for (int y = h - 1; y >= 0; --y) {
            if (rowsDone[static_cast<size_t>(y) * w + x]) last = y;
            if (last - y <= reach) alpha[static_cast<size_t>(y) * w + x] = 1;
        }
    }

    std::string name;
    if (!LogBase::makeFilename("kzch_", ".tif", nullptr, name)) {
        Logger::log("ERROR Enblend::mapChipSaveOneImage: cannot make a chip file name", 1);
        return false;
    }
    const std::string path = LogBase::ToNativePath(name.c_str());
    std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(path.c_str(), "w"));
    if (!tif) {
        Logger::log("ERROR Enblend::mapChipSaveOneImage: cannot write %s", 1, path.c_str());
        return false;
    }
    const RECT* block = map->GetMapRect();
    const uint32_t fullW = static_cast<uint32_t>(block->right - block->left + 1);
    const uint32_t fullH = static_cast<uint32_t>(block->bottom - block->top + 1);
    char description[64];
    std::snprintf(description, sizeof description, "levels=%d bw=%d", levels, bw);
    const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
    TIFF* t = tif.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(w));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(h));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    // Positions are in resolution units: one pixel per unit.
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 1.0f);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 1.0f);
    TIFFSetField(t, TIFFTAG_XPOSITION, static_cast<float>(self.x0));
    TIFFSetField(t, TIFFTAG_YPOSITION, static_cast<float>(self.y0));
    TIFFSetField(t, TIFFTAG_PIXAR_IMAGEFULLWIDTH, fullW);
    TIFFSetField(t, TIFFTAG_PIXAR_IMAGEFULLLENGTH, fullH);
    TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, description);
    std::vector<uint8_t> row(static_cast<size_t>(w) * 4);
    const int fc = self.channels;
    bool ok = true;
    for (int y = 0; y < h && ok; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* out = &row[static_cast<size_t>(x) * 4];
            const uint8_t* in = self.At(self.x0 + x, self.y0 + y);
            const bool on = in[0] != 0 && alpha[static_cast<size_t>(y) * w + x];
            // Unassociated alpha; transparent samples carry black.
            // The map keeps blue, green, red; the chip is RGB.
            for (int c = 0; c < 3; ++c) out[c] = on ? in[fc == 3 ? 2 - c : 0] : 0;
            out[3] = on ? 255 : 0;
        }
        ok = TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), 0) >= 0;
    }
    tif.reset();
    if (!ok) {
        Logger::log("ERROR Enblend::mapChipSaveOneImage: cannot write %s", 1, path.c_str());
        std::remove(path.c_str());
        return false;
    }
    chipNames.push_back(name);
    return true;
}
