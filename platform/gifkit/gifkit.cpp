#include "platform/gifkit/gifkit.h"

#include "core/logger.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

namespace {

// Frames larger than this are refused before any buffer is made: LZW packs a
// flat area so tightly that a small file can claim an enormous frame.
constexpr int64_t kMaxFramePixels = int64_t{1} << 28;

struct GifReader {
    GifFileType* gif = nullptr;
    bool frameRead = false;
    int transparentIndex = NO_TRANSPARENT_COLOR;

    ~GifReader()
    {
        if (gif) {
            int error = 0;
            DGifCloseFile(gif, &error);
        }
    }
};

int ReadFromFile(GifFileType* gif, GifByteType* bytes, int length)
{
    FILE* file = static_cast<FILE*>(gif->UserData);
    return static_cast<int>(std::fread(bytes, 1, static_cast<size_t>(length), file));
}

int WriteToFile(GifFileType* gif, const GifByteType* bytes, int length)
{
    FILE* file = static_cast<FILE*>(gif->UserData);
    return static_cast<int>(std::fwrite(bytes, 1, static_cast<size_t>(length), file));
}

GifReader* StateOf(const QUORVANE_FileInfo* info)
{
    return info ? static_cast<GifReader*>(info->extra) : nullptr;
}

// Reads the records before the first frame; the graphic control extension
// that precedes it gives the transparent colour.
bool ReadUpToFirstFrame(GifReader& reader)
{
    GifFileType* gif = reader.gif;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return false;
        if (type == IMAGE_DESC_RECORD_TYPE) return DGifGetImageDesc(gif) != GIF_ERROR;
        if (type != EXTENSION_RECORD_TYPE) return false;  // the file ends before any frame
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
        if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] == 4) {
            GraphicsControlBlock gcb{};
            if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK) reader.transparentIndex = gcb.TransparentColor;
        }
        while (block) {
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
        }
    }
}

const ColorMapObject* FrameColours(const GifFileType* gif)
{
    return gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
}

// ---------------------------------------------------------------------------
// Writing

struct Palette {
    std::vector<GifColorType> colours;  // at most 256
    std::vector<GifByteType> indices;   // one per pixel of the written area
};

struct Area {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

bool ClipArea(const Image& image, const RECT* rect, Area* area)
{
    int64_t left = 0, top = 0, right = image.GetWidth() - 1, bottom = image.GetHeight() - 1;
    if (rect) {
        left = std::max<int64_t>(left, rect->left);
        top = std::max<int64_t>(top, rect->top);
        right = std::min<int64_t>(right, rect->right);
        bottom = std::min<int64_t>(bottom, rect->bottom);
    }
    if (right < left || bottom < top || right - left + 1 > 65535 || bottom - top + 1 > 65535) return false;
    *area = {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left + 1),
             static_cast<int>(bottom - top + 1)};
    return true;
}

// R, G, B of a pixel whatever the image's channel order.
void PixelRgb(const Image& image, const unsigned char* p, GifByteType* rgb)
{
    if (image.GetChannels() == 1) {
        rgb[0] = rgb[1] = rgb[2] = p[0];
    } else if (image.IsNormalOrder()) {
        rgb[0] = p[2];
        rgb[1] = p[1];
        rgb[2] = p[0];
    } else {
        rgb[0] = p[0];
        rgb[1] = p[1];
        rgb[2] = p[2];
    }
}

bool MakeGreyPalette(const Image& image, const Area& a, Palette* out)
{
    out->colours.resize(256);
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<GifByteType>(i);
        out->colours[static_cast<size_t>(i)] = {v, v, v};
    }
    out->indices.resize(static_cast<size_t>(a.width) * a.height);
    for (int y = 0; y < a.height; ++y) {
        const unsigned char* row = image.GetData() + static_cast<size_t>(a.top + y) * image.GetRowByte() + a.left;
        std::memcpy(&out->indices[static_cast<size_t>(y) * a.width], row, static_cast<size_t>(a.width));
    }
    return true;
}

// Exact colours when the area holds at most 256 of them.
bool MakeExactPalette(const Image& image, const Area& a, Palette* out)
{
    std::unordered_map<uint32_t, GifByteType> index;
    out->indices.resize(static_cast<size_t>(a.width) * a.height);
    for (int y = 0; y < a.height; ++y) {
        const unsigned char* row = image.GetData() + static_cast<size_t>(a.top + y) * image.GetRowByte();
        for (int x = 0; x < a.width; ++x) {
            GifByteType rgb[3];
            PixelRgb(image, row + static_cast<size_t>(a.left + x) * 3, rgb);
            const uint32_t key = (uint32_t{rgb[0]} << 16) | (uint32_t{rgb[1]} << 8) | rgb[2];
            auto it = index.find(key);
            if (it == index.end()) {
                if (index.size() == 256) return false;
                it = index.emplace(key, static_cast<GifByteType>(index.size())).first;
                out->colours.push_back({rgb[0], rgb[1], rgb[2]});
            }
            out->indices[static_cast<size_t>(y) * a.width + x] = it->second;
        }
    }
    return true;
}

bool MakeQuantisedPalette(const Image& image, const Area& a, Palette* out)
{
    const size_t n = static_cast<size_t>(a.width) * a.height;
    std::vector<GifByteType> r(n), g(n), b(n);
    for (int y = 0; y < a.height; ++y) {
        const unsigned char* row = image.GetData() + static_cast<size_t>(a.top + y) * image.GetRowByte();
        for (int x = 0; x < a.width; ++x) {
            GifByteType rgb[3];
            PixelRgb(image, row + static_cast<size_t>(a.left + x) * 3, rgb);
            const size_t i = static_cast<size_t>(y) * a.width + x;
            r[i] = rgb[0];
            g[i] = rgb[1];
            b[i] = rgb[2];
        }
    }
    int size = 256;
    out->colours.assign(256, GifColorType{0, 0, 0});
    out->indices.resize(n);
    if (GifQuantizeBuffer(static_cast<unsigned>(a.width), static_cast<unsigned>(a.height), &size, r.data(), g.data(),
                          b.data(), out->indices.data(), out->colours.data()) == GIF_ERROR)
        return false;
    out->colours.resize(static_cast<size_t>(std::clamp(size, 1, 256)));
    return true;
}

int EncodeGif(FILE* file, const Area& a, Palette& palette)
{
    // GIF colour tables hold a power of two entries, at least 2.
    int bits = 1;
    while ((1 << bits) < static_cast<int>(palette.colours.size())) ++bits;
    palette.colours.resize(static_cast<size_t>(1) << bits, GifColorType{0, 0, 0});
    ColorMapObject* map = GifMakeMapObject(1 << bits, palette.colours.data());
    if (!map) return kWriteGifFailed;
    int error = 0;
    GifFileType* gif = EGifOpen(file, WriteToFile, &error);
    if (!gif) {
        GifFreeMapObject(map);
        return kWriteGifFailed;
    }
    bool ok = EGifPutScreenDesc(gif, a.width, a.height, bits, 0, map) != GIF_ERROR &&
              EGifPutImageDesc(gif, 0, 0, a.width, a.height, false, nullptr) != GIF_ERROR;
    for (int y = 0; ok && y < a.height; ++y)
        ok = EGifPutLine(gif, &palette.indices[static_cast<size_t>(y) * a.width], a.width) != GIF_ERROR;
    GifFreeMapObject(map);
    if (EGifCloseFile(gif, &error) == GIF_ERROR) ok = false;
    return ok ? kWriteGifOk : kWriteGifFailed;
}

}  // namespace

extern "C" int GetGifHeader(Image* image, QUORVANE_FileInfo* info)
{
    if (!info) return 1;
    info->extra = nullptr;
    if (!image || !info->file) return 1;
    auto reader = std::make_unique<GifReader>();
    int error = 0;
    reader->gif = DGifOpen(info->file, ReadFromFile, &error);
    if (!reader->gif) {
        Logger::log("ERROR GetGifHeader(): not a GIF file (%s)", 1, GifErrorString(error));
        return 1;
    }
    if (!ReadUpToFirstFrame(*reader)) {
        Logger::log("ERROR GetGifHeader(): no frame could be read (%s)", 1, GifErrorString(reader->gif->Error));
        return 1;
    }
    const GifImageDesc& desc = reader->gif->Image;
    if (desc.Width <= 0 || desc.Height <= 0 || int64_t{desc.Width} * desc.Height > kMaxFramePixels ||
        !FrameColours(reader->gif)) {
        Logger::log("ERROR GetGifHeader(): unusable frame %d x %d", 1, desc.Width, desc.Height);
        return 1;
    }
    image->SetSize(desc.Width, desc.Height);
    image->SetChannels(3);
    image->SetDataType(IMG_UINT8);
    image->ComputeRowBytes();
    info->extra = reader.release();
    return 0;
}

extern "C" int ReadGifData(Image* image, QUORVANE_FileInfo* info)
{
    GifReader* reader = StateOf(info);
    if (!reader || reader->frameRead || !image || !image->GetData()) return 1;
    GifFileType* gif = reader->gif;
    const int w = gif->Image.Width;
    const int h = gif->Image.Height;
    if (image->GetWidth() != w || image->GetHeight() != h || image->GetChannels() != 3 ||
        image->GetDataType() != IMG_UINT8 || !image->IsInterleaved()) {
        Logger::log("ERROR ReadGifData(): the image is not the %d x %d RGB frame", 1, w, h);
        return 1;
    }
    reader->frameRead = true;
    const ColorMapObject* map = FrameColours(gif);
    std::vector<GifPixelType> line(static_cast<size_t>(w));
    // Interlaced frames store rows in four passes.
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    const int passes = gif->Image.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = gif->Image.Interlace ? kStart[pass] : 0;
        const int step = gif->Image.Interlace ? kStep[pass] : 1;
        for (int y = start; y < h; y += step) {
            if (DGifGetLine(gif, line.data(), w) == GIF_ERROR) {
                Logger::log("ERROR ReadGifData(): %s", 1, GifErrorString(gif->Error));
                return 1;
            }
            unsigned char* out = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
            for (int x = 0; x < w; ++x, out += 3) {
                const int i = line[static_cast<size_t>(x)];
                const GifColorType c = i < map->ColorCount ? map->Colors[i] : GifColorType{0, 0, 0};
                out[0] = c.Blue;
                out[1] = c.Green;
                out[2] = c.Red;
            }
        }
    }
    return 0;
}

extern "C" void GifCleanup(QUORVANE_FileInfo* info)
{
    if (!info) return;
    delete StateOf(info);
    info->extra = nullptr;
}

extern "C" int WriteGif(Image* image, RECT* rect, QUORVANE_FileInfo* info)
{
    if (!info || !info->path) return kWriteGifCannotCreate;
    Area area;
    if (!image || !image->GetData() || image->GetDataType() != IMG_UINT8 || !image->IsInterleaved() ||
        (image->GetChannels() != 1 && image->GetChannels() != 3) || !ClipArea(*image, rect, &area)) {
        Logger::log("ERROR WriteGif(): nothing to write", 1);
        return kWriteGifNoData;
    }
    Palette palette;
    if (image->GetChannels() == 1) {
        MakeGreyPalette(*image, area, &palette);
    } else if (!MakeExactPalette(*image, area, &palette)) {
        palette = Palette();
        if (!MakeQuantisedPalette(*image, area, &palette)) {
            Logger::log("ERROR WriteGif(): colour quantisation failed", 1);
            return kWriteGifFailed;
        }
    }
    FILE* file = std::fopen(info->path, "wb");
    if (!file) {
        Logger::log("ERROR WriteGif(): cannot create %s", 1, info->path);
        return kWriteGifCannotCreate;
    }
    // Only a regular file is removed after a failed write, never a device.
    struct stat st{};
    const bool regular = fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode);
    int result = EncodeGif(file, area, palette);
    if (std::fclose(file) != 0) result = kWriteGifFailed;
    if (result != kWriteGifOk) {
        Logger::log("ERROR WriteGif(): cannot write %s", 1, info->path);
        if (regular) std::remove(info->path);
    }
    return result;
}

extern "C" bool GetGifTransparency(QUORVANE_FileInfo* info, int, int* value)
{
    const GifReader* reader = StateOf(info);
    if (!reader || reader->transparentIndex == NO_TRANSPARENT_COLOR) return false;
    const ColorMapObject* map = FrameColours(reader->gif);
    if (!map || reader->transparentIndex < 0 || reader->transparentIndex >= map->ColorCount) return false;
    const GifColorType c = map->Colors[reader->transparentIndex];
    if (value) *value = static_cast<int>(RGB(c.Red, c.Green, c.Blue));
    return true;
}
