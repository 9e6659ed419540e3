// Quarter turns, the half turn and the two mirrors of Image::Rotate.
// Interleaved images only; whole pixels (channels x bytes per sample) move.

#include "imaging/image.h"

#include "core/logger.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// Destination tiles keep both the reads and the writes of a quarter turn in
// cache; 64 x 64 pixels of up to 12 bytes fit comfortably in L1/L2.
constexpr int kTile = 64;

template <int N>
inline void CopyPixel(unsigned char* dst, const unsigned char* src)
{
    std::memcpy(dst, src, N);
}

// new(x, y) = old(y, H - 1 - x) for a clockwise turn,
// new(x, y) = old(W - 1 - y, x) for a counter-clockwise one.
template <int N>
void TurnQuarter(const unsigned char* src, int srcStride, int W, int H, unsigned char* dst, int dstStride,
                 bool clockwise)
{
    const int newW = H;
    const int newH = W;
    for (int ty = 0; ty < newH; ty += kTile) {
        const int yEnd = std::min(ty + kTile, newH);
        for (int tx = 0; tx < newW; tx += kTile) {
            const int xEnd = std::min(tx + kTile, newW);
            for (int y = ty; y < yEnd; ++y) {
                unsigned char* out = dst + static_cast<size_t>(y) * dstStride + static_cast<size_t>(tx) * N;
                if (clockwise) {
                    // Source column y, rows H-1-tx downwards.
                    const unsigned char* in = src + static_cast<size_t>(H - 1 - tx) * srcStride + static_cast<size_t>(y) * N;
                    for (int x = tx; x < xEnd; ++x, out += N, in -= srcStride) CopyPixel<N>(out, in);
                } else {
                    const unsigned char* in = src + static_cast<size_t>(tx) * srcStride + static_cast<size_t>(W - 1 - y) * N;
                    for (int x = tx; x < xEnd; ++x, out += N, in += srcStride) CopyPixel<N>(out, in);
                }
            }
        }
    }
}

void TurnQuarterAny(int n, const unsigned char* src, int srcStride, int W, int H, unsigned char* dst,
                    int dstStride, bool clockwise)
{
    switch (n) {
    case 1: TurnQuarter<1>(src, srcStride, W, H, dst, dstStride, clockwise); break;
    case 2: TurnQuarter<2>(src, srcStride, W, H, dst, dstStride, clockwise); break;
    case 3: TurnQuarter<3>(src, srcStride, W, H, dst, dstStride, clockwise); break;
    case 4: TurnQuarter<4>(src, srcStride, W, H, dst, dstStride, clockwise); break;
    case 6: TurnQuarter<6>(src, srcStride, W, H, dst, dstStride, clockwise); break;
    case 8: TurnQuarter<8>(src, srcStride, W, H, dst, dstStride, clockwise); break;
    case 12: TurnQuarter<12>(src, srcStride, W, H, dst, dstStride, clockwise); break;
    default: break;
    }
}

// Swaps pixel a[j] with b[count-1-j] for j below `pairs`; a and b may be
// the same row (a mirror) or two rows (a half turn).
template <int N>
void SwapReversed(unsigned char* a, unsigned char* b, int count, int pairs)
{
    unsigned char tmp[N];
    unsigned char* q = b + static_cast<size_t>(count - 1) * N;
    for (int j = 0; j < pairs; ++j, a += N, q -= N) {
        std::memcpy(tmp, a, N);
        std::memcpy(a, q, N);
        std::memcpy(q, tmp, N);
    }
}

void SwapReversedAny(int n, unsigned char* a, unsigned char* b, int count, int pairs)
{
    switch (n) {
    case 1: SwapReversed<1>(a, b, count, pairs); break;
    case 2: SwapReversed<2>(a, b, count, pairs); break;
    case 3: SwapReversed<3>(a, b, count, pairs); break;
    case 4: SwapReversed<4>(a, b, count, pairs); break;
    case 6: SwapReversed<6>(a, b, count, pairs); break;
    case 8: SwapReversed<8>(a, b, count, pairs); break;
    case 12: SwapReversed<12>(a, b, count, pairs); break;
    default: break;
    }
}

}  // namespace

int Image::Rotate(int angle)
{
    if (angle != 90 && angle != -90 && angle != 180 && angle != 270 && angle != -180) return 0;
    const int n = GetPixelBytes();
    if (!m_data || !IsInterleaved() || n <= 0) {
        Logger::log("ERROR Image::Rotate() needs an interleaved image with pixels (angle %d)", 1, angle);
        return -1;
    }
    switch (angle) {
    case 90:
    case -90: return RotateQuarter(angle);
    case 180: RotateHalf(); break;
    case 270: MirrorLeftRight(); break;
    case -180: MirrorTopBottom(); break;
    }
    return 0;
}

int Image::RotateQuarter(int angle)
{
    // Allocate the turned buffer before touching anything: a failed
    // allocation must leave the photo exactly as it was. Init zero-fills it,
    // so row padding never carries stale bytes into files or screens.
    Image turned;
    turned.m_width = m_height;
    turned.m_height = m_width;
    turned.m_layout = m_layout;
    turned.m_format = m_format;
    if (turned.Init() != 0) {
        Logger::log("ERROR Image::Rotate() cannot allocate the turned %d x %d image", 1, m_height, m_width);
        return -1;
    }
    TurnQuarterAny(GetPixelBytes(), m_data, m_rowBytes, m_width, m_height, turned.m_data, turned.m_rowBytes,
                   angle == 90);

    FreeData();
    m_data = std::exchange(turned.m_data, nullptr);
    m_width = turned.m_width;
    m_height = turned.m_height;
    m_rowBytes = turned.m_rowBytes;
    m_state &= static_cast<unsigned short>(~(IMG_STATE_MALLOC | IMG_STATE_NOT_OWNER));
    return 0;
}

void Image::RotateHalf()
{
    const int n = GetPixelBytes();
    for (int i = 0; i < m_height / 2; ++i) {
        unsigned char* top = m_data + static_cast<size_t>(i) * m_rowBytes;
        unsigned char* bottom = m_data + static_cast<size_t>(m_height - 1 - i) * m_rowBytes;
        SwapReversedAny(n, top, bottom, m_width, m_width);
    }
    if (m_height % 2 == 1) {
        unsigned char* middle = m_data + static_cast<size_t>(m_height / 2) * m_rowBytes;
        SwapReversedAny(n, middle, middle, m_width, m_width / 2);
    }
}

void Image::MirrorLeftRight()
{
    const int n = GetPixelBytes();
    for (int y = 0; y < m_height; ++y) {
        unsigned char* row = m_data + static_cast<size_t>(y) * m_rowBytes;
        SwapReversedAny(n, row, row, m_width, m_width / 2);
    }
}

void Image::MirrorTopBottom()
{
    const size_t used = static_cast<size_t>(m_width) * GetPixelBytes();
    for (int i = 0; i < m_height / 2; ++i) {
        unsigned char* a = m_data + static_cast<size_t>(i) * m_rowBytes;
        unsigned char* b = m_data + static_cast<size_t>(m_height - 1 - i) * m_rowBytes;
        std::swap_ranges(a, a + used, b);
    }
}
