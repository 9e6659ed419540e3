// JPEG and GIF saving of the image-file front door, through the bound codecs.
#include "worldmap/image_file.h"

int SaveJpeg(Image* image, RECT* rect, QUORVANE_FileInfo* info)
{
    const std::shared_ptr<const JpegkitBinding> jpegkit = BindJpegkit();
    if (!jpegkit) return 1;
    return jpegkit->entries.WriteJpeg(image, rect, info);
}

int SaveGIF(Image* image, RECT* rect, QUORVANE_FileInfo* info)
{
    const std::shared_ptr<const GifkitBinding> gifkit = BindGifkit();
    if (!gifkit) return 1;
    return gifkit->entries.Write(image, rect, info);
}
