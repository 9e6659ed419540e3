// Loading and header-information functions of the image-file front door.
#include "worldmap/image_file.h"

#include "worldmap/image_file_readers.h"
#include "worldmap/tiff_reader.h"

#include <memory>
#include <new>

using namespace imagefile;

int LoadImageWMap(const char* path, Image** image, WorldMap** map, bool readData)
{
    if (image) *image = nullptr;
    if (map) *map = nullptr;
    FileHandle file(path ? std::fopen(path, "rb") : nullptr);
    if (!file) return IMGFILE_CANNOT_OPEN;
    WorldMapBase* made = nullptr;
    LoadRequest request;
    request.image = image;
    request.map = map ? &made : nullptr;
    request.worldMap = true;
    request.secondKind = false;
    request.readData = readData;
    const int status = LoadFromStream(file.get(), 0, request);
    if (made) {
        WorldMap* worldMap = static_cast<WorldMap*>(made);
        worldMap->SetName(path);
        *map = worldMap;
    }
    return status;
}

int LoadImageWMapBase(FILE* file, unsigned long offset, Image** image, WorldMapBase** map, bool readData)
{
    if (!file) return IMGFILE_CANNOT_OPEN;
    LoadRequest request;
    request.image = image;
    request.map = map;
    request.worldMap = false;
    request.secondKind = true;
    request.readData = readData;
    return LoadFromStream(file, static_cast<int64_t>(offset), request);
}

int LoadImageWMapBase(const char* path, Image** image, WorldMapBase** map, bool readData)
{
    if (image) *image = nullptr;
    if (map) *map = nullptr;
    FileHandle file(path ? std::fopen(path, "rb") : nullptr);
    if (!file) return IMGFILE_CANNOT_OPEN;
    return LoadImageWMapBase(file.get(), 0, image, map, readData);
}

int GetWMapInfo(const char* path, int& width, int& height, int& equatorWidth, int& column, int& row, int& mapType)
{
    FileHandle file(path ? std::fopen(path, "rb") : nullptr);
    if (!file) return IMGFILE_CANNOT_OPEN;
    std::unique_ptr<HeaderCodec> codec;
    int options = 0;
    switch (DetectFormat(file.get(), 0)) {
    case Format::Jpeg: {
        std::shared_ptr<const JpegkitBinding> jpegkit = BindJpegkit();
        if (!jpegkit) return IMGFILE_FAILED;
        codec = std::make_unique<JpegCodec>(std::move(jpegkit));
        options = QFI_HEADER_ONLY;
        break;
    }
    case Format::Tiff:
        codec = std::make_unique<TiffCodec>();
        break;
    case Format::MixedIM:
        return IMGFILE_FAILED;
    default:
        return IMGFILE_UNKNOWN_FORMAT;
    }
    RefPtr<Image> image = RefPtr<Image>::adopt(new (std::nothrow) Image());
    if (!image) return IMGFILE_NO_IMAGE;
    QUORVANE_FileInfo info;
    info.file = file.get();
    info.options = options;
    if (!codec->ReadHeader(image.get(), &info)) return IMGFILE_FAILED;
    CleanupGuard guard(*codec, &info);
    Descriptor descriptor;
    if (!codec->GetDescriptor(&info, false, &descriptor)) return IMGFILE_FAILED;
    if (descriptor.kind != Descriptor::First) return IMGFILE_PLAIN;
    width = image->GetWidth();
    height = image->GetHeight();
    equatorWidth = descriptor.record.equatorWidth;
    column = descriptor.record.column;
    row = descriptor.record.row;
    mapType = descriptor.record.mapType;
    return IMGFILE_WMAP;
}
