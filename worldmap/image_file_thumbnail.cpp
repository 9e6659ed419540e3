// Thumbnail functions of the image-file front door, used by the image
// browser's thumbnail worker (on its own thread) and the tour maker.
#include "worldmap/image_file.h"

#include "worldmap/image_file_readers.h"

#include <memory>
#include <new>

using namespace imagefile;

namespace {

struct JpegThumbnail {
    RefPtr<Image> image;
    int kind = 0;
    int fullWidth = 0;
    int fullHeight = 0;
    WMapRecord record;
};

// One-eighth decoding of a JPEG. With `minimumSize` > 0 a picture whose
// eighth is narrower or lower than that is decoded at full scale, and the
// descriptor is classified.
bool LoadJpegThumbnail(FILE* file, int minimumSize, bool classify, JpegThumbnail* out)
{
    std::shared_ptr<const JpegkitBinding> jpegkit = BindJpegkit();
    if (!jpegkit) return false;
    const JpegCodec codec(jpegkit);
    const JpegkitEntries& e = codec.Entries();
    RefPtr<Image> image = RefPtr<Image>::adopt(new (std::nothrow) Image());
    if (!image) return false;
    QUORVANE_FileInfo info;
    info.file = file;
    info.options = QFI_ONE_EIGHTH;
    if (!codec.ReadHeader(image.get(), &info)) return false;
    CleanupGuard guard(codec, &info);
    if (classify) {
        const FileExtraData* pd = e.GetQuorvanePD(&info);
        out->kind = 1;
        if (pd && WMapRecord::IsSecondKind(pd->bytes, pd->length))
            out->kind = 3;
        else if (pd && WMapRecord::Parse(pd->bytes, pd->length, &out->record))
            out->kind = 2;
        e.OrgWHFunction(&out->fullWidth, &out->fullHeight, &info);
        if (image->GetWidth() < minimumSize || image->GetHeight() < minimumSize) {
            if (e.NoReadThumbnail(&info) != 0) return false;
            image->SetSize(out->fullWidth, out->fullHeight);
        }
    }
    if (image->BmpInit() != 0 || !codec.ReadData(image.get(), &info)) return false;
    out->image = std::move(image);
    return true;
}

// TIFF, BMP and GIF through the loaders: no map, no panorama pixels.
RefPtr<Image> LoadPlainImage(FILE* file, int64_t offset)
{
    Image* raw = nullptr;
    LoadRequest request;
    request.image = &raw;
    request.readData = false;
    if (LoadFromStream(file, offset, request) != IMGFILE_PLAIN) return {};
    return RefPtr<Image>::adopt(raw);
}

Image* MakeStamp(RefPtr<Image> loaded, int size)
{
    return Image::CreateStampImage(loaded.get(), size);
}

}  // namespace

Image* LoadImageThumbNail(FILE* file, unsigned long offset, int size, int& kind, int& fullWidth, int& fullHeight,
                          int& equatorWidth, int& column, int& row)
{
    if (!file) {
        kind = 0;
        return nullptr;
    }
    const int64_t start = static_cast<int64_t>(offset);
    const Format format = DetectFormat(file, start);
    if (format == Format::MixedIM) return nullptr;
    RefPtr<Image> loaded;
    int stampSize = size;
    if (format == Format::Jpeg) {
        JpegThumbnail t;
        if (!LoadJpegThumbnail(file, size, true, &t)) {
            kind = 0;
            return nullptr;
        }
        kind = t.kind;
        fullWidth = t.fullWidth;
        fullHeight = t.fullHeight;
        equatorWidth = t.kind == 2 ? t.record.equatorWidth : 0;
        column = t.kind == 2 ? t.record.column : 0;
        row = t.kind == 2 ? t.record.row : 0;
        loaded = std::move(t.image);
        if (kind == 2) stampSize = PanoramaStampSize(size, fullWidth, fullHeight, loaded->GetWidth(), loaded->GetHeight());
    } else {
        loaded = LoadPlainImage(file, start);
        if (!loaded) {
            kind = 0;
            return nullptr;
        }
        kind = 1;
        fullWidth = loaded->GetWidth();
        fullHeight = loaded->GetHeight();
    }
    Image* stamp = MakeStamp(std::move(loaded), stampSize);
    if (!stamp) kind = 0;
    return stamp;
}

Image* LoadImageThumbNail(const char* path, int size, int& kind, int& fullWidth, int& fullHeight, int& equatorWidth,
                          int& column, int& row)
{
    FileHandle file(path ? std::fopen(path, "rb") : nullptr);
    if (!file) return nullptr;
    return LoadImageThumbNail(file.get(), 0, size, kind, fullWidth, fullHeight, equatorWidth, column, row);
}

Image* LoadImageThumbNail(const char* path, int size)
{
    FileHandle file(path ? std::fopen(path, "rb") : nullptr);
    if (!file) return nullptr;
    const Format format = DetectFormat(file.get(), 0);
    if (format == Format::MixedIM) return nullptr;
    RefPtr<Image> loaded;
    if (format == Format::Jpeg) {
        JpegThumbnail t;
        if (!LoadJpegThumbnail(file.get(), 0, false, &t)) return nullptr;
        loaded = std::move(t.image);
    } else {
        loaded = LoadPlainImage(file.get(), 0);
        if (!loaded) return nullptr;
    }
    return MakeStamp(std::move(loaded), size);
}
