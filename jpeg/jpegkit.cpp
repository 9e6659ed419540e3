// Jpegkit's reading entry points: they own the decoder state between the
// calls through QUORVANE_FileInfo::extra. WriteJpeg is in
// jpeg_writer.cpp.
#include "jpeg/jpegkit.h"

#include "jpeg/jpeg_colour.h"
#include "jpeg/jpeg_decoder.h"
#include "core/logger.h"

#include <memory>
#include <new>

namespace {

JpegDecoder* StateOf(const QUORVANE_FileInfo* info)
{
    return info ? static_cast<JpegDecoder*>(info->extra) : nullptr;
}

void FreeState(QUORVANE_FileInfo* info)
{
    delete StateOf(info);
    info->extra = nullptr;
}

}  // namespace

extern "C" int GetJpegHeader(Image* image, QUORVANE_FileInfo* info)
{
    if (!info) return 1;
    info->extra = nullptr;
    if (!image || !info->file) {
        Logger::log("ERROR GetJpegHeader(): no image or no file", 1);
        info->options |= QFI_READ_FAILED;
        return 1;
    }
    const char* reason = nullptr;
    try {
        const long start = std::ftell(info->file);
        auto decoder = std::make_unique<JpegDecoder>(std::make_unique<FileByteSource>(info->file),
                                                     (info->options & QFI_HEADER_ONLY) != 0,
                                                     (info->options & QFI_ONE_EIGHTH) != 0, start < 0 ? 0 : start);
        if (decoder->ReadHeader()) {
            image->SetSize(decoder->OutputWidth(), decoder->OutputHeight());
            image->SetChannels(decoder->Components());
            image->SetDataType(IMG_UINT8);
            image->ComputeRowBytes();
            info->extra = decoder.release();
            info->options &= ~QFI_READ_FAILED;
            return 0;
        }
        reason = decoder->Error();
    } catch (const std::bad_alloc&) {
        reason = "out of memory";
    }
    Logger::log("ERROR GetJpegHeader(): %s", 1, reason);
    info->options |= QFI_READ_FAILED;
    return 1;
}

extern "C" int ReadJpegData(Image* image, QUORVANE_FileInfo* info)
{
    if (!info) return 1;
    JpegDecoder* decoder = StateOf(info);
    const char* reason = "no decoder state (GetJpegHeader failed or was not called)";
    if (decoder) {
        try {
            if (decoder->DecodeImage(image)) {
                info->options &= ~QFI_READ_FAILED;
                return 0;
            }
            reason = decoder->Error();
        } catch (const std::bad_alloc&) {
            reason = "out of memory";
        }
    }
    Logger::log("ERROR ReadJpegData(): %s", 1, reason);
    FreeState(info);
    info->options |= QFI_READ_FAILED;
    return 1;
}

extern "C" void JpegCleanup(QUORVANE_FileInfo* info)
{
    if (info) FreeState(info);
}

extern "C" FileExtraData* GetQuorvanePD(QUORVANE_FileInfo* info)
{
    JpegDecoder* decoder = StateOf(info);
    return decoder ? decoder->Comment() : nullptr;
}

extern "C" int OrgWHFunction(int* width, int* height, QUORVANE_FileInfo* info)
{
    JpegDecoder* decoder = StateOf(info);
    if (!decoder) return -1;
    if (width) *width = decoder->FrameWidth();
    if (height) *height = decoder->FrameHeight();
    return 0;
}

extern "C" int NoReadThumbnail(QUORVANE_FileInfo* info)
{
    JpegDecoder* decoder = StateOf(info);
    if (!decoder) return 0;
    const char* reason = "out of memory";
    try {
        if (decoder->LeaveOneEighth()) return 0;
        reason = decoder->Error();
    } catch (const std::bad_alloc&) {
    }
    Logger::log("ERROR NoReadThumbnail(): %s", 1, reason);
    return -1;
}

extern "C" bool SetForce0To1(bool on)
{
    return SetJpegForceZeroToOne(on);
}
