#include "app/matching/image_downscale.h"

#include "imaging/image.h"
#include "platform/utilkit/logger.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

namespace {

// The source and target of one reduction: 8-bit interleaved samples.
struct Planes {
    const unsigned char* src;
    size_t srcRowBytes;
    unsigned char* dst;
    size_t dstRowBytes;
};

// One block of the source: samples at row r, column c of the block, for one
// channel of C interleaved ones.
template <int C>
class Block {
public:
    Block(const Planes& p, int y0, int x0, int channel)
        : m_base(p.src + static_cast<size_t>(y0) * p.srcRowBytes + static_cast<size_t>(x0) * C + channel),
          m_rowBytes(p.srcRowBytes)
    {
    }
    unsigned operator()(int r, int c) const { return m_base[static_cast<size_t>(r) * m_rowBytes + static_cast<size_t>(c) * C]; }

private:
    const unsigned char* m_base;
    size_t m_rowBytes;
};

template <int C>
unsigned char& Target(const Planes& p, int y, int x, int channel)
{
    return p.dst[static_cast<size_t>(y) * p.dstRowBytes + static_cast<size_t>(x) * C + channel];
}

// Thirds: a 3 x 3 block becomes one pixel; the blocks start one pixel in when
// two pixels would be left over, so the unused margin is split.
template <int C>
void ReduceByThree(const Planes& p, int outW, int outH, int offX, int offY)
{
    for (int y = 0; y < outH; ++y)
        for (int x = 0; x < outW; ++x)
            for (int ch = 0; ch < C; ++ch) {
                const Block<C> b(p, offY + 3 * y, offX + 3 * x, ch);
                unsigned sum = 0;
                for (int r = 0; r < 3; ++r)
                    for (int c = 0; c < 3; ++c) sum += b(r, c);
                Target<C>(p, y, x, ch) = static_cast<unsigned char>((sum + 4) / 9);
            }
}

template <int C>
void ReduceByTwo(const Planes& p, int outW, int outH)
{
    for (int y = 0; y < outH; ++y)
        for (int x = 0; x < outW; ++x)
            for (int ch = 0; ch < C; ++ch) {
                const Block<C> b(p, 2 * y, 2 * x, ch);
                Target<C>(p, y, x, ch) = static_cast<unsigned char>((b(0, 0) + b(0, 1) + b(1, 0) + b(1, 1) + 2) / 4);
            }
}

// Two thirds: each result pixel of a 2 x 2 group weighs its corner of the
// 3 x 3 block 9, the two edge middles beside it 3 and the centre 1.
template <int C>
void ReduceByTwoThirds(const Planes& p, int blocksX, int blocksY, int offX, int offY)
{
    for (int by = 0; by < blocksY; ++by)
        for (int bx = 0; bx < blocksX; ++bx)
            for (int ch = 0; ch < C; ++ch) {
                const Block<C> b(p, offY + 3 * by, offX + 3 * bx, ch);
                const unsigned centre = b(1, 1);
                auto corner = [&](int r, int c) {
                    return static_cast<unsigned char>((9 * b(r, c) + 3 * (b(r, 1) + b(1, c)) + centre + 8) / 16);
                };
                Target<C>(p, 2 * by, 2 * bx, ch) = corner(0, 0);
                Target<C>(p, 2 * by, 2 * bx + 1, ch) = corner(0, 2);
                Target<C>(p, 2 * by + 1, 2 * bx, ch) = corner(2, 0);
                Target<C>(p, 2 * by + 1, 2 * bx + 1, ch) = corner(2, 2);
            }
}

// Three quarters: a 4 x 4 block becomes 3 x 3 with the weights of a box filter
// of width 4/3 over the block's samples.
template <int C>
void ReduceByThreeQuarters(const Planes& p, int blocksX, int blocksY, int offX, int offY)
{
    for (int by = 0; by < blocksY; ++by)
        for (int bx = 0; bx < blocksX; ++bx)
            for (int ch = 0; ch < C; ++ch) {
                const Block<C> b(p, offY + 4 * by, offX + 4 * bx, ch);
                auto corner = [&](unsigned c, unsigned n1, unsigned n2, unsigned diag) {
                    return static_cast<unsigned char>((25 * c + 5 * (n1 + n2) + diag + 18) / 36);
                };
                auto edge = [&](unsigned o1, unsigned o2, unsigned i1, unsigned i2) {
                    return static_cast<unsigned char>((5 * (o1 + o2) + (i1 + i2) + 6) / 12);
                };
                const int y = 3 * by;
                const int x = 3 * bx;
                Target<C>(p, y, x, ch) = corner(b(0, 0), b(0, 1), b(1, 0), b(1, 1));
                Target<C>(p, y, x + 1, ch) = edge(b(0, 1), b(0, 2), b(1, 1), b(1, 2));
                Target<C>(p, y, x + 2, ch) = corner(b(0, 3), b(0, 2), b(1, 3), b(1, 2));
                Target<C>(p, y + 1, x, ch) = edge(b(1, 0), b(2, 0), b(1, 1), b(2, 1));
                Target<C>(p, y + 1, x + 1, ch) = static_cast<unsigned char>((b(1, 1) + b(1, 2) + b(2, 1) + b(2, 2) + 2) / 4);
                Target<C>(p, y + 1, x + 2, ch) = edge(b(1, 3), b(2, 3), b(1, 2), b(2, 2));
                Target<C>(p, y + 2, x, ch) = corner(b(3, 0), b(3, 1), b(2, 0), b(2, 1));
                Target<C>(p, y + 2, x + 1, ch) = edge(b(3, 1), b(3, 2), b(2, 1), b(2, 2));
                Target<C>(p, y + 2, x + 2, ch) = corner(b(3, 3), b(3, 2), b(2, 3), b(2, 2));
            }
}

template <int C>
void Reduce(const Planes& p, DownscaleCode code, int width, int height, int outW, int outH)
{
    switch (code) {
    case 2: ReduceByThree<C>(p, outW, outH, width % 3 == 2 ? 1 : 0, height % 3 == 2 ? 1 : 0); break;
    case 3: ReduceByTwo<C>(p, outW, outH); break;
    case 4: ReduceByTwoThirds<C>(p, width / 3, height / 3, width % 3 == 2 ? 1 : 0, height % 3 == 2 ? 1 : 0); break;
    case 5: ReduceByThreeQuarters<C>(p, width / 4, height / 4, width % 4 >= 2 ? 1 : 0, height % 4 >= 2 ? 1 : 0); break;
    default: break;
    }
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
    // releases it when it owned it, the way it was allocated.
    unsigned char* old = image->GetData();
    const size_t oldRowBytes = static_cast<size_t>(image->GetRowByte());
    const bool owned = image->IsDataOwner();
    const bool fromMalloc = image->IsMallocData();
    image->SetDataOwner(false);
    if (!image->Resize(outW, outH) || !image->GetData()) {
        // Resize has logged; put the old buffer back as it was.
        image->SetSize(width, height);
        image->SetRowBytes(static_cast<int>(oldRowBytes));
        image->SetData(old, fromMalloc);
        image->SetDataOwner(owned);
        return false;
    }

    const Planes planes{old, oldRowBytes, image->GetData(), static_cast<size_t>(image->GetRowByte())};
    if (image->GetChannels() == 3)
        Reduce<3>(planes, code, width, height, outW, outH);
    else
        Reduce<1>(planes, code, width, height, outW, outH);

    if (owned) {
        if (fromMalloc)
            std::free(old);
        else
            delete[] old;
    }
    return true;
}
