#include "viewkit/bmp_info.h"

#include "imaging/image.h"
#include "platform/utilkit/logger.h"

#include <cstdlib>
#include <cstring>

BITMAPINFO* BmpInfoInit()
{
    auto* info = static_cast<BITMAPINFO*>(std::calloc(1, kBmpInfoBytes));
    if (!info) {
        Logger::log("ERROR BmpInfoInit no memory for the bitmap header", 1);
        return nullptr;
    }
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biPlanes = 1;
    RGBQUAD* palette = BmpInfoPalette(info);
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<BYTE>(i);
        palette[i] = RGBQUAD{v, v, v, 0};
    }
    return info;
}

namespace {

// The header belongs to the library image: made when the library is
// loaded and freed when it is unloaded, as the views expect it to be there
// before any of them exists.
class SharedBmpInfo {
public:
    SharedBmpInfo() : m_info(BmpInfoInit()) {}
    ~SharedBmpInfo() { std::free(m_info); }
    SharedBmpInfo(const SharedBmpInfo&) = delete;
    SharedBmpInfo& operator=(const SharedBmpInfo&) = delete;
    BITMAPINFO* get() const { return m_info; }

private:
    BITMAPINFO* m_info;
};

SharedBmpInfo g_shared;

}  // namespace

BITMAPINFO* FillBmpInfo(Image* image)
{
    BITMAPINFO* info = g_shared.get();
    if (!info || !image) return info;
    info->bmiHeader.biWidth = image->GetWidth();
    info->bmiHeader.biHeight = -image->GetHeight();
    info->bmiHeader.biBitCount = image->GetChannels() == 1 ? 8 : 24;
    return info;
}

BITMAPINFO* FillBmpInfo(int width, int height, int bits)
{
    BITMAPINFO* info = g_shared.get();
    if (!info) return info;
    BITMAPINFOHEADER& h = info->bmiHeader;
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = static_cast<WORD>(bits);
    const int64_t rows = height < 0 ? -int64_t{height} : int64_t{height};
    h.biSizeImage = static_cast<DWORD>(DibRowBytes(width, bits) * rows);
    h.biClrUsed = bits <= 8 && bits > 0 ? (DWORD{1} << bits) : 0;
    return info;
}

void ResetBmpInfo()
{
    BITMAPINFO* info = g_shared.get();
    if (!info) return;
    info->bmiHeader.biSizeImage = 0;
    info->bmiHeader.biClrUsed = 0;
}

const unsigned char* DibRows(const Image* image, std::vector<unsigned char>& scratch)
{
    if (!image || !image->GetData() || image->GetWidth() <= 0 || image->GetHeight() <= 0) return nullptr;
    const int channels = image->GetChannels();
    const int64_t dibRow = DibRowBytes(image->GetWidth(), channels * 8);
    if (image->GetRowByte() == dibRow) return image->GetData();
    const size_t used = static_cast<size_t>(image->GetWidth()) * channels;
    scratch.assign(static_cast<size_t>(dibRow) * image->GetHeight(), 0);
    for (int y = 0; y < image->GetHeight(); ++y)
        std::memcpy(&scratch[static_cast<size_t>(dibRow) * y],
                    image->GetData() + static_cast<size_t>(image->GetRowByte()) * y, used);
    return scratch.data();
}
