// WriteJpeg: the writing entry point of Jpegkit. Checks the image and the
// rectangle, runs the encoder and makes sure that a file reported as written
// really was: a write or close failure removes the partial file.
#include "jpeg/jpeg_encoder.h"
#include "jpeg/jpegkit.h"
#include "core/logger.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>

namespace {

// The largest comment payload a segment length field can carry.
constexpr size_t kMaxCommentLength = 65533;
// Frame width and height are 16-bit fields.
constexpr int kMaxDimension = 65535;

int Compress(JpegEncoder& encoder, const char* path)
{
    Logger::log("Enter compress() ", 3);
    FILE* file = std::fopen(path, "wb");
    if (!file) {
        Logger::log("ERROR compress(): encoder init failed", 1);
        return kWriteJpegCannotWrite;
    }
    Logger::log("compress(): after DoStatistics", 4);
    auto sink = std::make_unique<FileByteSink>(file);
    encoder.WriteHeaders(*sink);
    Logger::log("compress(): after WriteSignature", 4);
    Logger::log("compress(): after WriteFrameHeader", 4);
    encoder.WriteScans(*sink);
    Logger::log("compress(): after ContinueCompress", 4);
    bool ok = sink->Flush();
    ok = std::fflush(file) == 0 && ok;
    ok = !std::ferror(file) && ok;
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        Logger::log("ERROR compress(): cannot write \"%s\"", 1, path);
        // Remove the partial file, never a device or anything else that is
        // not a plain file.
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec)) std::filesystem::remove(path, ec);
        return kWriteJpegCannotWrite;
    }
    Logger::log("leave compress()", 3);
    return kWriteJpegOk;
}

}  // namespace

extern "C" int WriteJpeg(Image* image, RECT* rect, QUORVANE_FileInfo* info)
{
    Logger::log("Enter WriteJpeg()", 3);
    if (!image || !info || !info->path) {
        Logger::log("ERROR WriteJpeg(): no image or no file name", 1);
        return kWriteJpegCannotWrite;
    }
    const int width = image->GetWidth(), height = image->GetHeight();
    Logger::log("WriteJpeg(): frame=(%d %d)", 4, width, height);
    const int channels = image->GetChannels();
    if (!image->GetData() || width <= 0 || height <= 0 || image->GetDataType() != IMG_UINT8 ||
        !image->IsInterleaved() || (channels != 1 && channels != 3)) {
        Logger::log("ERROR WriteJpeg(): the image is not 8-bit grey or colour with pixels", 1);
        return kWriteJpegNotEncodable;
    }
    int left = 0, top = 0, right = width - 1, bottom = height - 1;
    if (rect) {
        // Inclusive corners, clamped to the image in the caller's rectangle.
        Logger::log("WriteJpeg(): rect=(%d %d %d %d)", 4, rect->left, rect->right, rect->top, rect->bottom);
        if (rect->left < 0) rect->left = 0;
        if (rect->top < 0) rect->top = 0;
        if (rect->right > width - 1) rect->right = width - 1;
        if (rect->bottom > height - 1) rect->bottom = height - 1;
        left = rect->left;
        top = rect->top;
        right = rect->right;
        bottom = rect->bottom;
    }
    if (right < left || bottom < top) {
        Logger::log("ERROR WriteJpeg(): no data area covered", 1);
        return kWriteJpegNoData;
    }
    const int w = right - left + 1, h = bottom - top + 1;
    if (w > kMaxDimension || h > kMaxDimension) {
        Logger::log("ERROR WriteJpeg(): %d x %d pixels exceed the JPEG limit of 65535", 1, w, h);
        return kWriteJpegNotEncodable;
    }
    JpegEncodeOptions options;
    options.sampling = info->options & QFI_JPEG_SAMPLING_MASK;
    options.progressive = (info->options & QFI_JPEG_PROGRESSIVE) != 0;
    if (const auto* extra = static_cast<const FileExtraData*>(info->extra); extra && extra->length > 0) {
        if (static_cast<size_t>(extra->length) > kMaxCommentLength) {
            Logger::log("ERROR WriteJpeg(): a descriptor of %d bytes does not fit a comment segment", 1,
                        extra->length);
            return kWriteJpegNotEncodable;
        }
        // The payload follows the two words of the block, however long it is.
        options.comment = reinterpret_cast<const uint8_t*>(extra) + offsetof(FileExtraData, bytes);
        options.commentLength = static_cast<size_t>(extra->length);
    }

    const uint8_t* origin = image->GetData() + static_cast<ptrdiff_t>(top) * image->GetRowByte() +
                            static_cast<ptrdiff_t>(left) * channels;
    int result;
    try {
        JpegEncoder encoder(origin, image->GetRowByte(), channels, w, h, options);
        if (!encoder.Prepare()) {
            Logger::log("ERROR WriteJpeg(): Cannot GlobalAlloc component data: size=%zu", 1,
                        encoder.CoefficientBytes() / sizeof(int16_t));
            return kWriteJpegNoMemory;
        }
        Logger::log("WriteJpeg(): after RGB2YUV()", 4);
        Logger::log("WriteJpeg(): u2t RGB2YUV()", 4);
        result = Compress(encoder, info->path);
    } catch (const std::bad_alloc&) {
        Logger::log("ERROR WriteJpeg(): Cannot GlobalAlloc component data", 1);
        return kWriteJpegNoMemory;
    }
    Logger::log("leave WriteJpeg()", 3);
    return result;
}
