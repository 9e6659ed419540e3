#include "worldmap/image_file_readers.h"

#include "core/byte_order.h"
#include "core/logger.h"
#include "worldmap/bmp_reader.h"
#include "worldmap/tiff_reader.h"
#include "worldmap/world_map.h"

#include <algorithm>
#include <climits>
#include <new>

namespace imagefile {

Format DetectFormat(FILE* file, int64_t offset)
{
    uint8_t b[2] = {0, 0};
    if (!byteorder::SeekTo(file, offset)) return Format::Unknown;
    const bool two = byteorder::ReadExact(file, b, 2);
    byteorder::SeekTo(file, offset);
    if (!two) return Format::Unknown;
    if (b[0] == 0xFF && b[1] == 0xD8) return Format::Jpeg;
    if (b[0] == 'I' || b[0] == 'M') return b[1] == b[0] ? Format::Tiff : Format::MixedIM;
    if (b[0] == 'B' && b[1] == 'M') return Format::Bmp;
    if (b[0] == 'G' && b[1] == 'I') return Format::Gif;
    return Format::Unknown;
}

namespace {

void Classify(const unsigned char* bytes, int length, bool secondKind, Descriptor* out)
{
    out->kind = Descriptor::None;
    if (secondKind && WMapRecord::IsSecondKind(bytes, length))
        out->kind = Descriptor::Second;
    else if (WMapRecord::Parse(bytes, length, &out->record))
        out->kind = Descriptor::First;
}

}  // namespace

// ---------------------------------------------------------------------------

bool JpegCodec::ReadHeader(Image* image, QUORVANE_FileInfo* info) const
{
    return Entries().GetJpegHeader(image, info) == 0;
}

bool JpegCodec::ReadData(Image* image, QUORVANE_FileInfo* info) const
{
    return Entries().ReadJpegData(image, info) == 0;
}

void JpegCodec::Cleanup(QUORVANE_FileInfo* info) const
{
    Entries().JpegCleanup(info);
}

bool JpegCodec::GetDescriptor(QUORVANE_FileInfo* info, bool secondKind, Descriptor* out) const
{
    const FileExtraData* pd = Entries().GetQuorvanePD(info);
    if (pd) Classify(pd->bytes, pd->length, secondKind, out);
    else out->kind = Descriptor::None;
    return true;
}

bool TiffCodec::ReadHeader(Image* image, QUORVANE_FileInfo* info) const
{
    return GetTifHeader(image, info) == 0;
}

bool TiffCodec::ReadData(Image* image, QUORVANE_FileInfo* info) const
{
    return ReadTifData(image, info) == 0;
}

void TiffCodec::Cleanup(QUORVANE_FileInfo* info) const
{
    TifCleanup(info);
}

bool TiffCodec::GetDescriptor(QUORVANE_FileInfo* info, bool, Descriptor* out) const
{
    out->kind = Descriptor::None;
    const auto* state = static_cast<const TifHeaderState*>(info->extra);
    if (!state) return false;
    const uint32_t n = state->descriptorCount;
    if (n != WMapRecord::kShortSize && n != WMapRecord::kLongSize) return true;
    unsigned char bytes[WMapRecord::kLongSize];
    if (!byteorder::SeekTo(info->file, state->descriptorOffset) || !byteorder::ReadExact(info->file, bytes, n)) {
        Logger::log("ERROR LoadImage: the TIFF descriptor lies outside the file", 1);
        return false;
    }
    Classify(bytes, static_cast<int>(n), false, out);
    return true;
}

// ---------------------------------------------------------------------------

namespace {

// Hands an image to the caller's output, or drops it.
void HandOut(RefPtr<Image>& image, Image** output)
{
    if (output)
        *output = image.release();
    else
        image.reset();
}

int LoadWithHeaderCodec(FILE* file, const HeaderCodec& codec, const LoadRequest& request)
{
    RefPtr<Image> image = RefPtr<Image>::adopt(new (std::nothrow) Image());
    if (!image) return IMGFILE_NO_IMAGE;
    QUORVANE_FileInfo info;
    info.file = file;
    info.options = 0;
    if (!codec.ReadHeader(image.get(), &info)) return IMGFILE_FAILED;
    CleanupGuard guard(codec, &info);
    Descriptor descriptor;
    if (!codec.GetDescriptor(&info, request.secondKind, &descriptor)) return IMGFILE_FAILED;

    if (descriptor.kind == Descriptor::None) {
        // A plain image is read whenever an image output is given.
        if (request.image) {
            if (image->BmpInit() != 0 || !codec.ReadData(image.get(), &info)) return IMGFILE_FAILED;
        }
        HandOut(image, request.image);
        if (request.map) *request.map = nullptr;
        return IMGFILE_PLAIN;
    }
    if (!request.readData) return descriptor.kind == Descriptor::First ? IMGFILE_WMAP : IMGFILE_FAILED;

    // Packed rows, so that a map can present the image's own buffer.
    image->SetDataLayoutType(0);
    if (image->Init() != 0 || !codec.ReadData(image.get(), &info)) return IMGFILE_FAILED;
    WorldMapBase* map = nullptr;
    if (descriptor.kind == Descriptor::First && request.map) {
        map = request.worldMap ? new (std::nothrow) WorldMap() : new (std::nothrow) WorldMapBase();
        if (!map) return IMGFILE_FAILED;
        const WMapRecord& r = descriptor.record;
        if (!map->TransferFromImage(image.get(), r.equatorWidth, r.column, r.row, r.mapType)) {
            map->Release();
            return IMGFILE_FAILED;
        }
    }
    HandOut(image, request.image);
    if (request.map) *request.map = map;
    return descriptor.kind == Descriptor::First ? IMGFILE_WMAP : IMGFILE_WMAP_SECOND_KIND;
}

int LoadBmp(FILE* file, const LoadRequest& request)
{
    Image* raw = nullptr;
    const int status = ReadBmpFile(file, &raw);
    if (status != kBmpRead) return status;
    RefPtr<Image> image = RefPtr<Image>::adopt(raw);
    HandOut(image, request.image);
    if (request.map) *request.map = nullptr;
    return IMGFILE_PLAIN;
}

int LoadGif(FILE* file, const LoadRequest& request)
{
    const std::shared_ptr<const GifkitBinding> gifkit = BindGifkit();
    if (!gifkit) return IMGFILE_FAILED;
    const GifkitEntries& e = gifkit->entries;
    RefPtr<Image> image = RefPtr<Image>::adopt(new (std::nothrow) Image());
    if (!image) return IMGFILE_NO_IMAGE;
    QUORVANE_FileInfo info;
    info.file = file;
    info.options = 0;
    if (e.ReadHeader(image.get(), &info) != 0) return IMGFILE_FAILED;
    struct Close {
        const GifkitEntries& e;
        QUORVANE_FileInfo* info;
        ~Close() { e.Close(info); }
    } close{e, &info};
    if (request.image) {
        if (image->BmpInit() != 0 || e.ReadPixels(image.get(), &info) != 0) return IMGFILE_FAILED;
        int value = 0;
        if (e.GetValue(&info, 0, &value)) {
            int32_t* words = reinterpret_cast<int32_t*>(image->ReserveExdata(4));
            if (!words) return IMGFILE_FAILED;
            words[0] = 1;
            words[1] = 1;
            words[2] = value;
        }
    }
    HandOut(image, request.image);
    if (request.map) *request.map = nullptr;
    return IMGFILE_PLAIN;
}

}  // namespace

int LoadFromStream(FILE* file, int64_t offset, const LoadRequest& request)
{
    switch (DetectFormat(file, offset)) {
    case Format::Jpeg: {
        std::shared_ptr<const JpegkitBinding> jpegkit = BindJpegkit();
        if (!jpegkit) return IMGFILE_FAILED;
        return LoadWithHeaderCodec(file, JpegCodec(std::move(jpegkit)), request);
    }
    case Format::Tiff:
        return LoadWithHeaderCodec(file, TiffCodec(), request);
    case Format::MixedIM:
        return IMGFILE_FAILED;
    case Format::Bmp:
        return LoadBmp(file, request);
    case Format::Gif:
        return LoadGif(file, request);
    case Format::Unknown:
        break;
    }
    return IMGFILE_UNKNOWN_FORMAT;
}

// ---------------------------------------------------------------------------

int PanoramaStampSize(int size, int fullWidth, int fullHeight, int loadedWidth, int loadedHeight)
{
    // Products of a size and a width pass INT_MAX for panoramas a few tens
    // of thousands of pixels wide: 64-bit intermediates.
    const int64_t lw = loadedWidth;
    const int64_t lh = loadedHeight;
    int64_t result = size;
    if (fullHeight > 0 && int64_t{fullWidth} >= 2 * int64_t{fullHeight}) {
        if (lh < size)
            result = lw;
        else if (lh > 0)
            result = int64_t{size} * lw / lh;
    } else if (fullHeight > 0 && fullWidth >= fullHeight) {
        result = int64_t{size} * fullWidth / fullHeight;
    }
    return static_cast<int>(std::clamp<int64_t>(result, 1, INT_MAX));
}

}  // namespace imagefile
