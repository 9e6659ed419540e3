#include "app/matching/image_downscale.h"

#include "app/matching/image_downscale_kernels.h"
#include "app/matching/photo_buffer.h"
#include "imaging/image.h"
#include "core/logger.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Reduce(const downscale::ReduceJob& base, DownscaleCode code, int width, int height)
{
    downscale::ReduceJob job = base;
    job.code = code;
    // Thirds and quarters start one pixel in when the margin left over is
    // two pixels or more, so that it is split.
    int n = 2, offX = 0, offY = 0;
    switch (code) {
    case 2:
    case 4:
        n = 3;
        offX = width % 3 == 2 ? 1 : 0;
        offY = height % 3 == 2 ? 1 : 0;
        break;
    case 5:
        n = 4;
        offX = width % 4 >= 2 ? 1 : 0;
        offY = height % 4 >= 2 ? 1 : 0;
        break;
    default: break;
    }
    job.blocksX = width / n;
    job.blocksY = height / n;
    job.src += static_cast<size_t>(offY) * job.srcRowBytes + static_cast<size_t>(offX) * job.channels;
    job.srcAvail = static_cast<size_t>(width - offX) * static_cast<size_t>(job.channels);
    downscale::Run(job, downscale::BestKernel());
}

void ReducedSize(DownscaleCode code, int width, int height, int& outW, int& outH)
{
    switch (code) {
    case 2: outW = width / 3; outH = height / 3; break;
    case 3: outW = width / 2; outH = height / 2; break;
    case 4: outW = (width / 3) * 2; outH = (height / 3) * 2; break;
    case 5: outW = (width / 4) * 3; outH = (height / 4) * 3; break;
    default: outW = width; outH = height; break;
    }
}

bool IsReducible(const Image* image)
{
    const int channels = image->GetChannels();
    return image->GetData() && image->GetDataType() == IMG_UINT8 && (channels == 1 || (channels == 3 && image->IsInterleaved()));
}

}  // namespace

float GetDownscaleFactor(DownscaleCode code)
{
    switch (code) {
    case 2: return 3.0f;
    case 3: return 2.0f;
    case 4: return 1.5f;
    case 5: return 1.3333334f;
    default: return 1.0f;
    }
}

float GetDownscaleScale(DownscaleCode code)
{
    return 1.0f / GetDownscaleFactor(code);
}

DownscaleCode ChooseDownscaleCode(const Image* image, int limit)
{
    if (!image) return 1;
    const int longSide = std::max(image->GetWidth(), image->GetHeight());
    if (longSide <= limit) return 1;
    if ((longSide / 4) * 3 < limit) return 5;
    if ((longSide / 3) * 2 < limit) return 4;
    if (longSide / 2 < limit) return 3;
    return 2;
}

bool ReduceImageInPlace(Image* image, int limit, DownscaleCode* inOut)
{
    if (!image || !inOut) return false;
    if (*inOut == 0) *inOut = ChooseDownscaleCode(image, limit);
    const DownscaleCode code = *inOut;
    if (code < 2 || code > 5) return false;

    const int width = image->GetWidth();
    const int height = image->GetHeight();
    if (!IsReducible(image)) {
        Logger::log("ERROR ReduceImageInPlace: only 8-bit images of one or three interleaved channels are reduced", 1);
        return false;
    }
    int outW = 0, outH = 0;
    ReducedSize(code, width, height, outW, outH);
    if (outW <= 0 || outH <= 0) {
        Logger::log("ERROR ReduceImageInPlace: a %d x %d image is too small for code %d", 1, width, height, code);
        return false;
    }

    // The old buffer stays alive until the new one is filled; the image only
    // releases it when it owned it, the way it was allocated. The new buffer
    // is not cleared: the reduction writes every sample, and only the row
    // padding is zeroed.
    unsigned char* old = image->GetData();
    const size_t oldRowBytes = static_cast<size_t>(image->GetRowByte());
    const bool owned = image->IsDataOwner();
    const bool fromMalloc = image->IsMallocData();
    image->SetDataOwner(false);
    image->SetSize(outW, outH);
    image->ComputeRowBytes();
    const size_t rowBytes = image->GetRowByte() > 0 ? static_cast<size_t>(image->GetRowByte()) : 0;
    unsigned char* reduced = rowBytes ? AllocatePhotoBuffer(rowBytes * static_cast<size_t>(outH)) : nullptr;
    if (!reduced) {
        Logger::log("ERROR ReduceImageInPlace: cannot allocate the %d x %d reduced image", 1, outW, outH);
        image->SetSize(width, height);
        image->SetRowBytes(static_cast<int>(oldRowBytes));
        image->SetDataOwner(owned);
        return false;
    }
    const size_t used = static_cast<size_t>(outW) * static_cast<size_t>(image->GetChannels());
    if (rowBytes > used)
        for (int y = 0; y < outH; ++y) std::memset(reduced + static_cast<size_t>(y) * rowBytes + used, 0, rowBytes - used);
    image->SetData(reduced, true);
    image->SetDataOwner(true);

    downscale::ReduceJob job{};
    job.src = old;
    job.srcRowBytes = oldRowBytes;
    job.dst = image->GetData();
    job.dstRowBytes = static_cast<size_t>(image->GetRowByte());
    job.channels = image->GetChannels();
    Reduce(job, code, width, height);

    if (owned) {
        if (fromMalloc)
            std::free(old);
        else
            delete[] old;
    }
    return true;
}
