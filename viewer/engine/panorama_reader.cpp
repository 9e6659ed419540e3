#include "viewer/engine/panorama_reader.h"

#include "imaging/ref_count.h"
#include "jpeg/jpegkit.h"
#include "core/logger.h"
#include "worldmap/bmp_reader.h"
#include "worldmap/image_file_readers.h"

#include <cstring>
#include <mutex>
#include <new>

namespace viewengine {

namespace {

std::mutex g_decoderMutex;
JpegDecoderTable* g_decoder = nullptr;  // one per program, until FreeJpegDecoder

// The decoder behind the program's table, in the shape the shared TIFF
// reader has, so that both formats run one load sequence.
class TableJpegCodec final : public imagefile::HeaderCodec {
public:
    explicit TableJpegCodec(const JpegDecoderTable& table) : m_table(table) {}
    bool ReadHeader(Image* image, QUORVANE_FileInfo* info) const override
    {
        return m_table.GetJpegHeader(image, info) == 0;
    }
    bool ReadData(Image* image, QUORVANE_FileInfo* info) const override
    {
        return m_table.ReadJpegData(image, info) == 0;
    }
    void Cleanup(QUORVANE_FileInfo* info) const override { m_table.JpegCleanup(info); }
    bool GetDescriptor(QUORVANE_FileInfo* info, bool secondKind, imagefile::Descriptor* out) const override
    {
        out->kind = imagefile::Descriptor::None;
        const FileExtraData* pd = m_table.GetQuorvanePD(info);
        if (!pd) return true;
        if (secondKind && WMapRecord::IsSecondKind(pd->bytes, pd->length))
            out->kind = imagefile::Descriptor::Second;
        else if (WMapRecord::Parse(pd->bytes, pd->length, &out->record))
            out->kind = imagefile::Descriptor::First;
        return true;
    }

private:
    const JpegDecoderTable& m_table;
};

// The viewers treat a first sample of 0 as "no data here": a decoded pixel
// must never read so, whatever the decoder's process-wide colour setting.
void RaiseZeroFirstSamples(Image* image)
{
    const int channels = image->GetChannels();
    const int width = image->GetWidth();
    const size_t rowBytes = static_cast<size_t>(image->GetRowByte());
    unsigned char* row = image->GetData();
    if (!row || channels <= 0) return;
    for (int y = 0; y < image->GetHeight(); ++y, row += rowBytes) {
        unsigned char* p = row;
        for (int x = 0; x < width; ++x, p += channels)
            if (p[0] == 0) p[0] = 1;
    }
}

// A plain image comes in bitmap layout (rows padded to 4 bytes); a
// panorama whose map could not be made is handed out so after all.
bool RelayoutAsBitmap(RefPtr<Image>& image)
{
    RefPtr<Image> bitmap = RefPtr<Image>::adopt(new (std::nothrow) Image());
    if (!bitmap || bitmap->BmpInit(image->GetWidth(), image->GetHeight(), image->GetChannels()) != 0) return false;
    const size_t used = static_cast<size_t>(image->GetWidth()) * static_cast<size_t>(image->GetChannels());
    for (int y = 0; y < image->GetHeight(); ++y)
        std::memcpy(bitmap->GetData() + static_cast<size_t>(y) * bitmap->GetRowByte(),
                    image->GetData() + static_cast<size_t>(y) * image->GetRowByte(), used);
    image = std::move(bitmap);
    return true;
}

void HandOut(RefPtr<Image>& image, Image** output)
{
    if (output)
        *output = image.release();
    else
        image.reset();
}

struct LoadRequest {
    Image** image;
    WorldMapBase** map;
    bool readPanorama;
    bool thumbnail;  // JPEG only: one-eighth decode, descriptor values divided by 8
    bool jpeg;       // the second kind of descriptor and the zero rule are the decoder's
};

// Decodes the whole image into `image`, laid out as asked.
bool ReadPixels(const imagefile::HeaderCodec& codec, QUORVANE_FileInfo* info, Image* image, bool padded,
                const LoadRequest& request)
{
    if (padded) {
        if (image->BmpInit() != 0) return false;
    } else {
        image->SetDataLayoutType(0);
        if (image->Init() != 0) return false;
    }
    if (!codec.ReadData(image, info)) return false;
    if (request.jpeg) RaiseZeroFirstSamples(image);
    return true;
}

int LoadPlain(const imagefile::HeaderCodec& codec, QUORVANE_FileInfo* info, RefPtr<Image>& image,
              const LoadRequest& request)
{
    if (request.image && !ReadPixels(codec, info, image.get(), true, request)) return kReadFailed;
    HandOut(image, request.image);
    return kReadPlain;
}

int LoadWithCodec(FILE* file, const imagefile::HeaderCodec& codec, const LoadRequest& request)
{
    RefPtr<Image> image = RefPtr<Image>::adopt(new (std::nothrow) Image());
    if (!image) {
        Logger::log("ERROR viewengine::LoadImageWMapBase: cannot allocate an image", 1);
        return kReadFailed;
    }
    QUORVANE_FileInfo info;
    info.file = file;
    info.options = request.thumbnail ? QFI_ONE_EIGHTH : 0;
    if (!codec.ReadHeader(image.get(), &info)) return kReadFailed;
    imagefile::CleanupGuard guard(codec, &info);
    imagefile::Descriptor descriptor;
    if (!codec.GetDescriptor(&info, request.jpeg, &descriptor)) return kReadFailed;

    if (descriptor.kind == imagefile::Descriptor::Second) {
        if (!request.readPanorama) return kReadFailed;
        if (!ReadPixels(codec, &info, image.get(), false, request)) return kReadFailed;
        HandOut(image, request.image);
        return kReadFaceStrip;
    }
    if (descriptor.kind == imagefile::Descriptor::None) return LoadPlain(codec, &info, image, request);

    WMapRecord record = descriptor.record;
    if (request.thumbnail) {
        record.equatorWidth /= 8;
        record.column /= 8;
        record.row /= 8;
    }
    if (!IsUsableDescriptor(record)) {
        Logger::log("ERROR viewengine::LoadImageWMapBase: descriptor W=%d column=%d row=%d type=%d unusable, "
                    "read as a plain image",
                    1, record.equatorWidth, record.column, record.row, record.mapType);
        return LoadPlain(codec, &info, image, request);
    }
    if (!request.readPanorama) return kReadPanorama;
    if (!ReadPixels(codec, &info, image.get(), false, request)) return kReadFailed;
    if (request.map) {
        WorldMapBase* map = new (std::nothrow) WorldMapBase();
        if (!map || !map->TransferFromImage(image.get(), record.equatorWidth, record.column, record.row,
                                            record.mapType)) {
            if (map) map->Release();
            Logger::log("ERROR viewengine::LoadImageWMapBase: no world map of W=%d, read as a plain image", 1,
                        record.equatorWidth);
            if (!RelayoutAsBitmap(image)) return kReadFailed;
            HandOut(image, request.image);
            return kReadPlain;
        }
        *request.map = map;
    }
    HandOut(image, request.image);
    return kReadPanorama;
}

void ClearOutputs(Image** image, WorldMapBase** map)
{
    if (image) *image = nullptr;
    if (map) *map = nullptr;
}

}  // namespace

JpegDecoderTable* BindJpegDecoder(JpegDecoderTable* table)
{
    if (table) return table;
    table = new (std::nothrow) JpegDecoderTable();
    if (!table) {
        Logger::log("ERROR viewengine::BindJpegDecoder: cannot allocate the decoder table", 1);
        return nullptr;
    }
    table->GetJpegHeader = ::GetJpegHeader;
    table->ReadJpegData = ::ReadJpegData;
    table->JpegCleanup = ::JpegCleanup;
    table->GetQuorvanePD = ::GetQuorvanePD;
    table->OrgWHFunction = ::OrgWHFunction;
    return table;
}

void FreeJpegDecoder()
{
    std::lock_guard<std::mutex> lock(g_decoderMutex);
    delete g_decoder;
    g_decoder = nullptr;
}

JpegDecoderTable* ProgramJpegDecoder()
{
    std::lock_guard<std::mutex> lock(g_decoderMutex);
    return g_decoder;
}

bool IsUsableDescriptor(const WMapRecord& r)
{
    return r.equatorWidth >= 4 && r.column >= 0 && r.column < r.equatorWidth && r.row >= 0 &&
           r.row <= r.equatorWidth / 2 && (r.mapType == 0 || r.mapType == 1);
}

int LoadImageWMapBase(const char* path, Image** image, WorldMapBase** map, bool readPanorama)
{
    return LoadImageWMapBaseEx(path, image, map, readPanorama, false);
}

int LoadImageWMapBaseEx(const char* path, Image** image, WorldMapBase** map, bool readPanorama, bool thumbnail)
{
    ClearOutputs(image, map);
    imagefile::FileHandle file(path ? std::fopen(path, "rb") : nullptr);
    if (!file) return kReadCannotOpen;
    return LoadImageWMapBase(file.get(), 0, image, map, readPanorama, thumbnail);
}

int LoadImageWMapBase(FILE* file, int64_t offset, Image** image, WorldMapBase** map, bool readPanorama,
                      bool thumbnail)
{
    ClearOutputs(image, map);
    if (!file) return kReadCannotOpen;
    switch (imagefile::DetectFormat(file, offset)) {
    case imagefile::Format::Jpeg:
        return LoadJpegWMapBase(file, image, map, readPanorama, thumbnail);
    case imagefile::Format::Tiff:
        return LoadTiffWMapBase(file, image, map, readPanorama);
    case imagefile::Format::MixedIM:
        return kReadFailed;
    case imagefile::Format::Bmp: {
        Image* raw = nullptr;
        const int status = ReadBmpFile(file, &raw);
        RefPtr<Image> bmp = RefPtr<Image>::adopt(raw);
        // The bitmap reader's codes are the viewers' own: -1 unsupported, 0 unreadable.
        if (status != kBmpRead) return status;
        HandOut(bmp, image);
        return kReadPlain;
    }
    case imagefile::Format::Gif:
    case imagefile::Format::Unknown:
        break;
    }
    return kReadUnknownFormat;
}

int LoadJpegWMapBase(FILE* file, Image** image, WorldMapBase** map, bool readPanorama, bool thumbnail)
{
    ClearOutputs(image, map);
    JpegDecoderTable* table;
    {
        std::lock_guard<std::mutex> lock(g_decoderMutex);
        g_decoder = BindJpegDecoder(g_decoder);
        table = g_decoder;
    }
    if (!table) return kReadFailed;
    return LoadWithCodec(file, TableJpegCodec(*table), LoadRequest{image, map, readPanorama, thumbnail, true});
}

int LoadTiffWMapBase(FILE* file, Image** image, WorldMapBase** map, bool readPanorama)
{
    ClearOutputs(image, map);
    return LoadWithCodec(file, imagefile::TiffCodec(), LoadRequest{image, map, readPanorama, false, false});
}

}  // namespace viewengine
