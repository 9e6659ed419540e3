// Compositing one image cell into a screen image: clipping, then one of 24
// pixel kernels chosen once per cell (channel pairing x lookup tables x blend
// x brightness/contrast adjustment), so that the common cases run as plain
// copy loops with no test inside but the "no data" test.
#include "worldmap/bmp_cell.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

enum class Pairing { ThreeOnThree, OneOnOne, OneOnThree };

struct KernelArgs {
    const uint8_t* src;  // first clipped cell pixel
    size_t srcStride;
    uint8_t* dst;        // first screen pixel written
    size_t dstStride;
    int width;           // clipped pixels per row
    int height;
    // Per written byte (byte 0 blue, 1 green, 2 red; one-channel cells use
    // entry 0 with the red settings): the sample's mapping over its 256
    // values - the adjustment, the colour control's table, or the two
    // composed - tabulated once per composition.
    const uint8_t* map[3];
    int transparency;    // 1..255 when blending
};

template <bool Adjust, bool Tables>
inline int MapValue(const KernelArgs& k, int byte, int v)
{
    if constexpr (Adjust || Tables) v = k.map[byte][v];
    return v;
}

template <bool Blend>
inline void Put(uint8_t& screen, int v, int t)
{
    if constexpr (Blend)
        screen = static_cast<uint8_t>((t * screen + (256 - t) * v) >> 8);
    else
        screen = static_cast<uint8_t>(v);
}

template <Pairing P, bool Tables, bool Blend, bool Adjust>
void Kernel(const KernelArgs& k)
{
    constexpr int kCell = P == Pairing::ThreeOnThree ? 3 : 1;
    constexpr int kScreen = P == Pairing::OneOnOne ? 1 : 3;
    const int t = k.transparency;
    for (int y = 0; y < k.height; ++y) {
        const uint8_t* s = k.src + static_cast<size_t>(y) * k.srcStride;
        uint8_t* d = k.dst + static_cast<size_t>(y) * k.dstStride;
        for (int x = 0; x < k.width; ++x, s += kCell, d += kScreen) {
            if (s[0] == 0) continue;  // no data: the screen keeps its pixel
            if constexpr (P == Pairing::ThreeOnThree) {
                Put<Blend>(d[0], MapValue<Adjust, Tables>(k, 0, s[0]), t);
                Put<Blend>(d[1], MapValue<Adjust, Tables>(k, 1, s[1]), t);
                Put<Blend>(d[2], MapValue<Adjust, Tables>(k, 2, s[2]), t);
            } else if constexpr (P == Pairing::OneOnOne) {
                Put<Blend>(d[0], MapValue<Adjust, Tables>(k, 0, s[0]), t);
            } else {
                const int v = MapValue<Adjust, Tables>(k, 0, s[0]);
                Put<Blend>(d[0], v, t);
                Put<Blend>(d[1], v, t);
                Put<Blend>(d[2], v, t);
            }
        }
    }
}

// Number of leading pixels of a 3-byte-per-pixel row (at most n) whose first
// byte is not 0. Sixteen pixels (48 bytes) are tested at once with SSE2.
int DataRun3(const uint8_t* s, int n)
{
    int x = 0;
    const __m128i zero = _mm_setzero_si128();
    for (; x + 16 <= n; x += 16) {
        const uint8_t* p = s + static_cast<size_t>(x) * 3;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
        const uint64_t zeros = static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, zero)) & 0xFFFF) |
                               static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(b, zero)) & 0xFFFF) << 16 |
                               static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(c, zero)) & 0xFFFF) << 32;
        // Bytes 0, 3, 6, ... 45: the first byte of each of the 16 pixels.
        if (zeros & 0x249249249249ULL) break;
    }
    while (x < n && s[static_cast<size_t>(x) * 3] != 0) ++x;
    return x;
}

// Number of leading bytes of a one-byte-per-pixel row that are not 0.
int DataRun1(const uint8_t* s, int n)
{
    int x = 0;
    const __m128i zero = _mm_setzero_si128();
    for (; x + 16 <= n; x += 16)
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x)), zero)))
            break;
    while (x < n && s[x] != 0) ++x;
    return x;
}

// The plain copy (same channel count, no tables, no adjustment, opaque):
// each run of pixels holding data is copied whole; pixels without data keep
// the screen's value. Same bytes as the per-pixel kernel.
// With ClearGaps the pixels without data are zeroed instead, and the bytes
// past the row's last pixel up to the row stride too: the screen ends as if
// cleared first.
template <Pairing P, bool ClearGaps = false>
void CopyKernel(const KernelArgs& k)
{
    constexpr int kBytes = P == Pairing::ThreeOnThree ? 3 : 1;
    for (int y = 0; y < k.height; ++y) {
        const uint8_t* s = k.src + static_cast<size_t>(y) * k.srcStride;
        uint8_t* d = k.dst + static_cast<size_t>(y) * k.dstStride;
        int x = 0;
        while (x < k.width) {
            const uint8_t* sx = s + static_cast<size_t>(x) * kBytes;
            const int run = kBytes == 3 ? DataRun3(sx, k.width - x) : DataRun1(sx, k.width - x);
            if (run > 0) std::memcpy(d + static_cast<size_t>(x) * kBytes, sx, static_cast<size_t>(run) * kBytes);
            x += run;
            const int gap = x;
            while (x < k.width && s[static_cast<size_t>(x) * kBytes] == 0) ++x;  // no data: skipped
            if constexpr (ClearGaps)
                if (x > gap) std::memset(d + static_cast<size_t>(gap) * kBytes, 0, static_cast<size_t>(x - gap) * kBytes);
        }
        if constexpr (ClearGaps) {
            const size_t used = static_cast<size_t>(k.width) * kBytes;
            if (k.dstStride > used) std::memset(d + used, 0, k.dstStride - used);
        }
    }
}

using KernelFn = void (*)(const KernelArgs&);

template <Pairing P>
constexpr KernelFn kPairKernels[2][2][2] = {
    {{Kernel<P, false, false, false>, Kernel<P, false, false, true>},
     {Kernel<P, false, true, false>, Kernel<P, false, true, true>}},
    {{Kernel<P, true, false, false>, Kernel<P, true, false, true>},
     {Kernel<P, true, true, false>, Kernel<P, true, true, true>}},
};

KernelFn ChooseKernel(Pairing pairing, bool tables, bool blend, bool adjust)
{
    switch (pairing) {
    case Pairing::ThreeOnThree:
        if (!tables && !blend && !adjust) return CopyKernel<Pairing::ThreeOnThree>;
        return kPairKernels<Pairing::ThreeOnThree>[tables][blend][adjust];
    case Pairing::OneOnOne:
        if (!tables && !blend && !adjust) return CopyKernel<Pairing::OneOnOne>;
        return kPairKernels<Pairing::OneOnOne>[tables][blend][adjust];
    case Pairing::OneOnThree: return kPairKernels<Pairing::OneOnThree>[tables][blend][adjust];
    }
    return nullptr;
}

bool IsComposable(const Image* image)
{
    return image && image->GetData() && image->GetDataType() == IMG_UINT8 && image->IsInterleaved() &&
           (image->GetChannels() == 1 || image->GetChannels() == 3);
}

// v * contrast + brightness in float, truncated toward zero, clamped to a
// byte: tabulated once per composition over the 256 sample values.
void FillAdjustTable(uint8_t* table, float contrast, int brightness)
{
    for (int v = 0; v < 256; ++v) {
        const float a = static_cast<float>(v) * contrast + static_cast<float>(brightness);
        table[v] = !(a > 0.0f) ? 0 : (a >= 255.0f ? 255 : static_cast<uint8_t>(static_cast<int>(a)));
    }
}

}  // namespace

void BmpCell::MapDataTo(Image* screen) const
{
    const int t = m_transparency;
    if (t >= kInvisible || !IsComposable(screen) || !IsComposable(this)) return;
    const int x = m_x;
    const int y = m_y;
    const int w = GetWidth();
    const int h = GetHeight();
    const int sw = screen->GetWidth();
    const int sh = screen->GetHeight();
    if (x >= sw || y >= sh || x + w - 1 < 0 || y + h - 1 < 0) return;
    const int c0 = std::max(0, -x);
    const int c1 = std::min(w - 1, sw - x - 1);
    const int r0 = std::max(0, -y);
    const int r1 = std::min(h - 1, sh - y - 1);
    if (c1 < c0 || r1 < r0) return;

    Pairing pairing;
    const int cellCh = GetChannels();
    const int screenCh = screen->GetChannels();
    if (cellCh == 3 && screenCh == 3)
        pairing = Pairing::ThreeOnThree;
    else if (cellCh == 1 && screenCh == 1)
        pairing = Pairing::OneOnOne;
    else if (cellCh == 1 && screenCh == 3)
        pairing = Pairing::OneOnThree;
    else
        return;  // a 3-channel cell is not drawn on a 1-channel screen

    const float* contrast = m_colorCtrl.GetContrastFactors();
    const int8_t* brightness = m_colorCtrl.GetBrightnessOffsets();
    const uint8_t* tables = m_colorCtrl.GetTableBlock();
    const bool adjust = brightness[0] != 0 || brightness[1] != 0 || brightness[2] != 0 || contrast[0] != 1.0f ||
                        contrast[1] != 1.0f || contrast[2] != 1.0f;

    KernelArgs k{};
    k.srcStride = static_cast<size_t>(GetRowByte());
    k.dstStride = static_cast<size_t>(screen->GetRowByte());
    k.src = GetData() + static_cast<size_t>(r0) * k.srcStride + static_cast<size_t>(c0) * cellCh;
    k.dst = screen->GetData() + static_cast<size_t>(std::max(y, 0)) * k.dstStride +
            static_cast<size_t>(std::max(x, 0)) * screenCh;
    k.width = c1 - c0 + 1;
    k.height = r1 - r0 + 1;
    k.transparency = t;

    // Samples are blue, green, red; control channel 0 is red. A one-channel
    // cell uses the red settings only.
    uint8_t mapped[3][256];
    const int settingOf[3] = {pairing == Pairing::ThreeOnThree ? 2 : 0, 1, 0};
    const int bytes = pairing == Pairing::ThreeOnThree ? 3 : 1;
    for (int b = 0; b < bytes; ++b) {
        const int c = settingOf[b];
        if (adjust) {
            FillAdjustTable(mapped[b], contrast[c], brightness[c]);
            if (tables)
                for (int v = 0; v < 256; ++v) mapped[b][v] = tables[c * 256 + mapped[b][v]];
            k.map[b] = mapped[b];
        } else if (tables) {
            k.map[b] = tables + c * 256;
        }
    }
    ChooseKernel(pairing, tables != nullptr, t != 0, adjust)(k);
}

bool BmpCell::CanReplaceDataIn(const Image* screen) const
{
    if (m_transparency != 0 || !IsComposable(screen) || !IsComposable(this)) return false;
    if (m_x != 0 || m_y != 0 || GetWidth() != screen->GetWidth() || GetHeight() != screen->GetHeight()) return false;
    if (GetChannels() != screen->GetChannels() || m_colorCtrl.GetTableBlock()) return false;
    const float* contrast = m_colorCtrl.GetContrastFactors();
    const int8_t* brightness = m_colorCtrl.GetBrightnessOffsets();
    if (brightness[0] != 0 || brightness[1] != 0 || brightness[2] != 0 || contrast[0] != 1.0f ||
        contrast[1] != 1.0f || contrast[2] != 1.0f)
        return false;
    return screen->GetDataSize() == static_cast<size_t>(screen->GetRowByte()) * static_cast<size_t>(screen->GetHeight());
}

bool BmpCell::ReplaceRowsIn(Image* screen, int firstRow, int rows) const
{
    if (firstRow < 0 || rows < 1 || !CanReplaceDataIn(screen) || rows > GetHeight() - firstRow) return false;
    KernelArgs k{};
    k.srcStride = static_cast<size_t>(GetRowByte());
    k.dstStride = static_cast<size_t>(screen->GetRowByte());
    k.src = GetData() + static_cast<size_t>(firstRow) * k.srcStride;
    k.dst = screen->GetData() + static_cast<size_t>(firstRow) * k.dstStride;
    k.width = GetWidth();
    k.height = rows;
    if (GetChannels() == 3)
        CopyKernel<Pairing::ThreeOnThree, true>(k);
    else
        CopyKernel<Pairing::OneOnOne, true>(k);
    return true;
}

bool BmpCell::ReplaceDataIn(Image* screen) const
{
    return CanReplaceDataIn(screen) && ReplaceRowsIn(screen, 0, GetHeight());
}
