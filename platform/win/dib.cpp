#include "platform/win/dib.h"

#include "imaging/image.h"
#include "core/logger.h"
#include "platform/win/pixel_rows.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Ternary raster operation, bitwise: bit (4 p + 2 s + d) of `index`.
unsigned char Rop3(unsigned index, unsigned char p, unsigned char s, unsigned char d)
{
    unsigned r = 0;
    for (unsigned k = 0; k < 8; ++k) {
        if (!((index >> k) & 1)) continue;
        r |= ((k & 4) ? p : ~p) & ((k & 2) ? s : ~s) & ((k & 1) ? d : ~d);
    }
    return static_cast<unsigned char>(r);
}

unsigned char Grey(COLORREF c)
{
    return static_cast<unsigned char>((GetRValue(c) * 299 + GetGValue(c) * 587 + GetBValue(c) * 114 + 500) / 1000);
}

// Reads source pixel (x, y) of an upright picture (row 0 at the top).
using Sampler = std::function<bool(int64_t x, int64_t y, COLORREF& colour)>;

// The source pixels (with weights) one destination pixel takes: nearest for
// enlarging or COLORONCOLOR, the covered area (box filter) for shrinking
// with HALFTONE.
struct Tap {
    int64_t index;
    double weight;
};

std::vector<std::vector<Tap>> Taps(int64_t destCount, int64_t srcStart, int64_t srcCount, bool mirror, bool box)
{
    std::vector<std::vector<Tap>> taps(static_cast<size_t>(destCount));
    const bool shrinking = srcCount > destCount;
    for (int64_t i = 0; i < destCount; ++i) {
        auto& list = taps[static_cast<size_t>(i)];
        if (box && shrinking) {
            const double a = static_cast<double>(i) * srcCount / destCount;
            const double b = static_cast<double>(i + 1) * srcCount / destCount;
            for (int64_t k = static_cast<int64_t>(std::floor(a)); k < static_cast<int64_t>(std::ceil(b)); ++k) {
                const double w = std::min<double>(b, k + 1) - std::max<double>(a, k);
                if (w > 0) list.push_back(Tap{k, w / (b - a)});
            }
        } else {
            // Centre of the destination pixel, exactly: (2 i + 1) src / (2 dest).
            list.push_back(Tap{(2 * i + 1) * srcCount / (2 * destCount), 1.0});
        }
        for (Tap& t : list) t.index = mirror ? srcStart + srcCount - 1 - t.index : srcStart + t.index;
    }
    return taps;
}

}  // namespace

// ---- reading and writing the target ---------------------------------------------------

bool CDC::GetDirectTarget(DirectTarget& out) const
{
    if (!m_pixels.data) return false;
    out.data = m_pixels.data;
    out.width = m_pixels.width;
    out.height = m_pixels.height;
    out.rowBytes = m_pixels.rowBytes;
    out.channels = m_pixels.channels;
    out.writable = RECT{0, 0, m_pixels.width, m_pixels.height};
    if (m_hasClip) {
        out.writable.left = std::max(out.writable.left, m_clip.left);
        out.writable.top = std::max(out.writable.top, m_clip.top);
        out.writable.right = std::min(out.writable.right, m_clip.right);
        out.writable.bottom = std::min(out.writable.bottom, m_clip.bottom);
    }
    return true;
}

bool CDC::ReadTarget(int64_t x, int64_t y, COLORREF& colour) const
{
    if (!m_pixels.data || x < 0 || y < 0 || x >= m_pixels.width || y >= m_pixels.height) return false;
    const unsigned char* p = m_pixels.data + static_cast<size_t>(y) * static_cast<size_t>(m_pixels.rowBytes) +
                             static_cast<size_t>(x) * static_cast<size_t>(m_pixels.channels);
    colour = m_pixels.channels == 1 ? RGB(p[0], p[0], p[0]) : RGB(p[2], p[1], p[0]);
    return true;
}

void CDC::BlendTarget(int64_t x, int64_t y, COLORREF source, DWORD rop)
{
    unsigned char* p = PixelAddress(x, y);
    if (!p) return;
    const unsigned index = (rop >> 16) & 0xFF;
    const COLORREF brush = m_brushAttr.hollow ? 0 : m_brushAttr.colour;
    if (m_pixels.channels == 1) {
        *p = Rop3(index, Grey(brush), Grey(source), *p);
        return;
    }
    p[0] = Rop3(index, GetBValue(brush), GetBValue(source), p[0]);
    p[1] = Rop3(index, GetGValue(brush), GetGValue(source), p[1]);
    p[2] = Rop3(index, GetRValue(brush), GetRValue(source), p[2]);
}

int CDC::SetStretchBltMode(int mode)
{
    if (mode < BLACKONWHITE || mode > HALFTONE) return 0;
    Record("SetStretchBltMode", {mode});
    return std::exchange(m_stretchMode, mode);
}

namespace win {

// Stretches the source rectangle [sx0, sx1) x [sy0, sy1) (upright source
// pixels; a reversed span mirrors) onto the target rectangle [dx0, dx1) x
// [dy0, dy1) of `dc` (target pixels; reversed spans mirror too). A span
// always starts at its first coordinate: reversed, it runs from a down to
// b + 1, as the platform mirrors about the starting column.
void StretchOnto(CDC& dc, int64_t dx0, int64_t dy0, int64_t dx1, int64_t dy1, const Sampler& source, int64_t sx0,
                 int64_t sy0, int64_t sx1, int64_t sy1, int mode, DWORD rop)
{
    const bool mirrorX = (dx1 < dx0) != (sx1 < sx0);
    const bool mirrorY = (dy1 < dy0) != (sy1 < sy0);
    // A reversed span [a, b) with b < a covers the pixels a down to b + 1.
    const int64_t dLeft = dx1 < dx0 ? dx1 + 1 : dx0, dTop = dy1 < dy0 ? dy1 + 1 : dy0;
    const int64_t dWidth = std::abs(dx1 - dx0), dHeight = std::abs(dy1 - dy0);
    const int64_t sLeft = sx1 < sx0 ? sx1 + 1 : sx0, sTop = sy1 < sy0 ? sy1 + 1 : sy0;
    const int64_t sWidth = std::abs(sx1 - sx0), sHeight = std::abs(sy1 - sy0);
    if (dWidth == 0 || dHeight == 0 || sWidth == 0 || sHeight == 0) return;
    // Only the part of the destination on the target is walked.
    const int64_t iFrom = std::max<int64_t>(0, -dLeft), iTo = std::min<int64_t>(dWidth, dc.TargetWidth() - dLeft);
    const int64_t jFrom = std::max<int64_t>(0, -dTop), jTo = std::min<int64_t>(dHeight, dc.TargetHeight() - dTop);
    if (iFrom >= iTo || jFrom >= jTo) return;
    const bool box = mode == HALFTONE;
    const auto columns = Taps(dWidth, sLeft, sWidth, mirrorX, box);
    const auto rows = Taps(dHeight, sTop, sHeight, mirrorY, box);
    for (int64_t j = jFrom; j < jTo; ++j) {
        for (int64_t i = iFrom; i < iTo; ++i) {
            double sum[3] = {0, 0, 0};
            double weight = 0;
            for (const Tap& r : rows[static_cast<size_t>(j)]) {
                for (const Tap& c : columns[static_cast<size_t>(i)]) {
                    COLORREF colour;
                    if (!source(c.index, r.index, colour)) continue;
                    const double w = r.weight * c.weight;
                    sum[0] += w * GetRValue(colour);
                    sum[1] += w * GetGValue(colour);
                    sum[2] += w * GetBValue(colour);
                    weight += w;
                }
            }
            if (weight <= 0) continue;  // nothing of the source there: left as it was
            auto channel = [&](double v) { return static_cast<uint8_t>(std::clamp(std::lround(v / weight), 0L, 255L)); };
            dc.BlendTargetPublic(dLeft + i, dTop + j, RGB(channel(sum[0]), channel(sum[1]), channel(sum[2])), rop);
        }
    }
}

// The direct path of the blits: a plain copy (SRCCOPY) with one source
// pixel a destination pixel, neither side mirrored, into a target of B, G, R
// pixels, read straight from the source rows instead of pixel by pixel
// through a sampler. It writes exactly what StretchOnto writes for such a
// blit (the tests compare the two); false when the blit is not of that kind.
struct DirectSource {
    int64_t width = 0;      // pixels a row
    int bytesPerPixel = 0;  // 3 or 4 (B, G, R first), or 1: palette index
    const std::vector<RGBQUAD>* palette = nullptr;
};

template <class RowOf>
bool DirectStretch(CDC& dc, int64_t dx0, int64_t dy0, int64_t dx1, int64_t dy1, const DirectSource& source,
                   RowOf rowOf, int64_t sx0, int64_t sy0, int64_t sx1, int64_t sy1, int mode, DWORD rop)
{
    if (rop != SRCCOPY || dx1 <= dx0 || dy1 <= dy0 || sx1 <= sx0 || sy1 <= sy0) return false;
    const int64_t dWidth = dx1 - dx0, dHeight = dy1 - dy0, sWidth = sx1 - sx0, sHeight = sy1 - sy0;
    if (mode == HALFTONE && (sWidth > dWidth || sHeight > dHeight)) return false;
    if (source.bytesPerPixel != 1 && source.bytesPerPixel != 3 && source.bytesPerPixel != 4) return false;
    if (source.bytesPerPixel == 1 && !source.palette) return false;
    CDC::DirectTarget target;
    if (!dc.GetDirectTarget(target) || (target.channels != 3 && target.channels != 4)) return false;
    const int64_t iFrom = std::max<int64_t>(0, target.writable.left - dx0);
    const int64_t iTo = std::min<int64_t>(dWidth, target.writable.right - dx0);
    const int64_t jFrom = std::max<int64_t>(0, target.writable.top - dy0);
    const int64_t jTo = std::min<int64_t>(dHeight, target.writable.bottom - dy0);
    if (iFrom >= iTo || jFrom >= jTo) return true;
    // The nearest source column of each destination column (its centre),
    // -1 where the source has no pixel.
    std::vector<int64_t> columns(static_cast<size_t>(iTo - iFrom));
    for (int64_t i = iFrom; i < iTo; ++i) {
        const int64_t x = sx0 + (2 * i + 1) * sWidth / (2 * dWidth);
        columns[static_cast<size_t>(i - iFrom)] = x >= 0 && x < source.width ? x : -1;
    }
    const bool rowCopy = sWidth == dWidth && source.bytesPerPixel == 3 && target.channels == 3;
    // One to one from 24-bit rows into a window surface of 32-bit pixels.
    const bool rowSpread = sWidth == dWidth && source.bytesPerPixel == 3 && target.channels == 4;
    const int out = target.channels;
    for (int64_t j = jFrom; j < jTo; ++j) {
        const unsigned char* from = rowOf(sy0 + (2 * j + 1) * sHeight / (2 * dHeight));
        if (!from) continue;
        unsigned char* to = target.data + static_cast<size_t>(dy0 + j) * static_cast<size_t>(target.rowBytes);
        if (rowCopy || rowSpread) {
            // One to one: the readable columns are one run.
            int64_t a = iFrom, b = iTo;
            while (a < b && columns[static_cast<size_t>(a - iFrom)] < 0) ++a;
            while (b > a && columns[static_cast<size_t>(b - 1 - iFrom)] < 0) --b;
            if (a >= b) continue;
            const unsigned char* first = from + static_cast<size_t>(columns[static_cast<size_t>(a - iFrom)]) * 3;
            if (rowCopy)
                std::memcpy(to + static_cast<size_t>(dx0 + a) * 3, first, static_cast<size_t>(b - a) * 3);
            else
                CopyBgrToBgrx(first, to + static_cast<size_t>(dx0 + a) * 4, static_cast<size_t>(b - a));
            continue;
        }
        for (int64_t i = iFrom; i < iTo; ++i) {
            const int64_t x = columns[static_cast<size_t>(i - iFrom)];
            if (x < 0) continue;
            unsigned char* p = to + static_cast<size_t>(dx0 + i) * out;
            if (source.bytesPerPixel == 1) {
                const unsigned index = from[x];
                if (index < source.palette->size()) {
                    const RGBQUAD& q = (*source.palette)[index];
                    p[0] = q.rgbBlue;
                    p[1] = q.rgbGreen;
                    p[2] = q.rgbRed;
                } else {
                    p[0] = p[1] = p[2] = 0;
                }
            } else {
                const unsigned char* s = from + static_cast<size_t>(x) * source.bytesPerPixel;
                p[0] = s[0];
                p[1] = s[1];
                p[2] = s[2];
            }
        }
    }
    return true;
}

// The direct path for a blit from another context's target.
bool DirectBlit(CDC& dc, int64_t dx0, int64_t dy0, int64_t dx1, int64_t dy1, const CDC& from, int64_t sx0,
                int64_t sy0, int64_t sx1, int64_t sy1, int mode, DWORD rop)
{
    CDC::DirectTarget source;
    if (!from.GetDirectTarget(source) || (source.channels != 3 && source.channels != 4)) return false;
    DirectSource s;
    s.width = source.width;
    s.bytesPerPixel = source.channels;
    const auto rowOf = [&source](int64_t y) -> const unsigned char* {
        if (y < 0 || y >= source.height) return nullptr;
        return source.data + static_cast<size_t>(y) * static_cast<size_t>(source.rowBytes);
    };
    return DirectStretch(dc, dx0, dy0, dx1, dy1, s, rowOf, sx0, sy0, sx1, sy1, mode, rop);
}

}  // namespace win

bool CDC::PatBlt(int x, int y, int width, int height, DWORD rop)
{
    Record("PatBlt", {x, y, width, height, rop});
    int64_t x0 = TargetX(x), x1 = TargetX(int64_t{x} + width), y0 = TargetY(y), y1 = TargetY(int64_t{y} + height);
    if (x1 < x0) std::swap(x0, x1);
    if (y1 < y0) std::swap(y0, y1);
    for (int64_t j = std::max<int64_t>(0, y0); j < std::min<int64_t>(m_pixels.height, y1); ++j)
        for (int64_t i = std::max<int64_t>(0, x0); i < std::min<int64_t>(m_pixels.width, x1); ++i) BlendTarget(i, j, 0, rop);
    return true;
}

bool CDC::BitBlt(int x, int y, int width, int height, CDC* source, int xs, int ys, DWORD rop)
{
    Record("BitBlt", {x, y, width, height, xs, ys, rop});
    const unsigned index = (rop >> 16) & 0xFF;
    const bool needsSource = ((index >> 2) & 0x33) != (index & 0x33);
    if (!needsSource) return PatBlt(x, y, width, height, rop);
    if (!source) return false;
    // Pixel for pixel: the destination size in device pixels, taken from the
    // source in its own device pixels.
    const int64_t dx0 = TargetX(x), dy0 = TargetY(y);
    const int64_t sx0 = source->TargetX(xs), sy0 = source->TargetY(ys);
    const int64_t w = std::abs(TargetX(int64_t{x} + width) - dx0), h = std::abs(TargetY(int64_t{y} + height) - dy0);
    if (win::DirectBlit(*this, dx0, dy0, dx0 + w, dy0 + h, *source, sx0, sy0, sx0 + w, sy0 + h, COLORONCOLOR, rop))
        return true;
    const Sampler read = [source](int64_t sx, int64_t sy, COLORREF& c) { return source->ReadTarget(sx, sy, c); };
    win::StretchOnto(*this, dx0, dy0, dx0 + w, dy0 + h, read, sx0, sy0, sx0 + w, sy0 + h, COLORONCOLOR, rop);
    return true;
}

bool CDC::StretchBlt(int x, int y, int width, int height, CDC* source, int xs, int ys, int ws, int hs, DWORD rop)
{
    Record("StretchBlt", {x, y, width, height, xs, ys, ws, hs, rop});
    if (!source) return false;
    if (win::DirectBlit(*this, TargetX(x), TargetY(y), TargetX(int64_t{x} + width), TargetY(int64_t{y} + height), *source,
                        source->TargetX(xs), source->TargetY(ys), source->TargetX(int64_t{xs} + ws),
                        source->TargetY(int64_t{ys} + hs), m_stretchMode, rop))
        return true;
    const Sampler read = [source](int64_t sx, int64_t sy, COLORREF& c) { return source->ReadTarget(sx, sy, c); };
    win::StretchOnto(*this, TargetX(x), TargetY(y), TargetX(int64_t{x} + width), TargetY(int64_t{y} + height), read,
                     source->TargetX(xs), source->TargetY(ys), source->TargetX(int64_t{xs} + ws),
                     source->TargetY(int64_t{ys} + hs), m_stretchMode, rop);
    return true;
}

// ---- device-independent bitmaps ----------------------------------------------------------

namespace {

// A DIB's pixels read through its header: orientation, depth and palette.
struct DibReader {
    const unsigned char* bits = nullptr;
    int64_t width = 0;
    int64_t height = 0;  // rows present
    int64_t rowBytes = 0;
    int bitCount = 0;
    bool topDown = false;
    int64_t firstScan = 0;  // DIB row of the first row in `bits`
    std::vector<RGBQUAD> palette;

    // Pixel x of DIB row `scan` (numbered in the DIB's own direction).
    bool Read(int64_t x, int64_t scan, COLORREF& colour) const
    {
        const int64_t row = scan - firstScan;
        if (x < 0 || x >= width || row < 0 || row >= height) return false;
        const unsigned char* line = bits + row * rowBytes;
        unsigned index = 0;
        switch (bitCount) {
        case 32:
        case 24: {
            const unsigned char* p = line + x * (bitCount / 8);
            colour = RGB(p[2], p[1], p[0]);
            return true;
        }
        case 8: index = line[x]; break;
        case 4: index = (line[x / 2] >> ((x % 2) ? 0 : 4)) & 0xF; break;
        case 1: index = (line[x / 8] >> (7 - x % 8)) & 1; break;
        default: return false;
        }
        if (index >= palette.size()) {
            colour = 0;
            return true;
        }
        const RGBQUAD& q = palette[index];
        colour = RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
        return true;
    }
};

bool MakeReader(const BITMAPINFO* info, const void* bits, const char* caller, DibReader& r)
{
    if (!info || !bits) {
        Logger::log("ERROR %s no header or no bits", 1, caller);
        return false;
    }
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const int bc = h.biBitCount;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1 ||
        h.biCompression != BI_RGB || (bc != 1 && bc != 4 && bc != 8 && bc != 24 && bc != 32)) {
        Logger::log("ERROR %s unsupported DIB header (%d x %d, %d bits, compression %u)", 1, caller,
                    static_cast<int>(h.biWidth), static_cast<int>(h.biHeight), bc, h.biCompression);
        return false;
    }
    r.bits = static_cast<const unsigned char*>(bits);
    r.width = h.biWidth;
    r.height = h.biHeight < 0 ? -int64_t{h.biHeight} : int64_t{h.biHeight};
    r.rowBytes = DibRowBytes(h.biWidth, bc);
    r.bitCount = bc;
    r.topDown = h.biHeight < 0;
    if (bc <= 8) {
        const size_t colours = h.biClrUsed ? std::min<size_t>(h.biClrUsed, size_t{1} << bc) : size_t{1} << bc;
        r.palette.assign(info->bmiColors, info->bmiColors + colours);
    }
    return true;
}

// 8-, 24- and 32-bit DIBs take the blits' direct path, row by row.
bool HasDirectRows(const DibReader& reader)
{
    return reader.bitCount == 8 || reader.bitCount == 24 || reader.bitCount == 32;
}

win::DirectSource DirectSourceOf(const DibReader& reader)
{
    win::DirectSource direct;
    direct.width = reader.width;
    direct.bytesPerPixel = reader.bitCount / 8;
    direct.palette = &reader.palette;
    return direct;
}

// Upright row y (0 at the top) of a picture fullHeight rows tall, or null
// where the DIB holds no such scan line.
auto DirectRowsOf(const DibReader& reader, int64_t fullHeight)
{
    return [&reader, fullHeight](int64_t y) -> const unsigned char* {
        if (y < 0 || y >= fullHeight) return nullptr;
        const int64_t row = (reader.topDown ? y : fullHeight - 1 - y) - reader.firstScan;
        if (row < 0 || row >= reader.height) return nullptr;
        return reader.bits + row * reader.rowBytes;
    };
}

}  // namespace

int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* info, UINT, DWORD rop)
{
    if (!dc) return 0;
    DibReader reader;
    if (!MakeReader(info, bits, "StretchDIBits", reader)) return 0;
    const int64_t fullHeight = reader.height;
    // Upright rows (0 at the top) of the source rectangle: a bottom-up DIB
    // counts its y from the lower edge.
    const int64_t sy0 = reader.topDown ? ySrc : fullHeight - ySrc - srcHeight;
    const int64_t sy1 = reader.topDown ? int64_t{ySrc} + srcHeight : fullHeight - ySrc;
    if (HasDirectRows(reader)) {
        const win::DirectSource direct = DirectSourceOf(reader);
        const auto rowOf = DirectRowsOf(reader, fullHeight);
        if (win::DirectStretch(*dc, dc->TargetX(xDest), dc->TargetY(yDest), dc->TargetX(int64_t{xDest} + destWidth),
                               dc->TargetY(int64_t{yDest} + destHeight), direct, rowOf, xSrc, sy0,
                               int64_t{xSrc} + srcWidth, sy1, dc->GetStretchBltMode(), rop))
            return std::abs(srcHeight);
    }
    const Sampler read = [&reader, fullHeight](int64_t x, int64_t y, COLORREF& c) {
        if (y < 0 || y >= fullHeight) return false;
        return reader.Read(x, reader.topDown ? y : fullHeight - 1 - y, c);
    };
    win::StretchOnto(*dc, dc->TargetX(xDest), dc->TargetY(yDest), dc->TargetX(int64_t{xDest} + destWidth),
                     dc->TargetY(int64_t{yDest} + destHeight), read, xSrc, sy0, int64_t{xSrc} + srcWidth, sy1,
                     dc->GetStretchBltMode(), rop);
    return std::abs(srcHeight);
}

int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc, UINT startScan,
                      UINT scanLines, const void* bits, const BITMAPINFO* info, UINT)
{
    if (!dc) return 0;
    DibReader reader;
    if (!MakeReader(info, bits, "SetDIBitsToDevice", reader)) return 0;
    // `bits` holds only the given scan lines; the header's height is the
    // whole picture's.
    const int64_t fullHeight = reader.height;
    reader.height = std::min<int64_t>(scanLines, fullHeight);
    reader.firstScan = startScan;
    const int64_t x0 = dc->TargetX(xDest), y0 = dc->TargetY(yDest);
    if (HasDirectRows(reader)) {
        // A one-to-one copy takes the blits' direct path, row by row.
        const win::DirectSource direct = DirectSourceOf(reader);
        const auto rowOf = DirectRowsOf(reader, fullHeight);
        const int64_t sy0 = reader.topDown ? ySrc : fullHeight - ySrc - static_cast<int64_t>(height);
        if (win::DirectStretch(*dc, x0, y0, x0 + static_cast<int64_t>(width), y0 + static_cast<int64_t>(height),
                               direct, rowOf, xSrc, sy0, int64_t{xSrc} + static_cast<int64_t>(width),
                               sy0 + static_cast<int64_t>(height), COLORONCOLOR, SRCCOPY))
            return static_cast<int>(reader.height);
    }
    for (int64_t j = 0; j < static_cast<int64_t>(height); ++j) {
        // DIB row shown on destination row j.
        const int64_t scan = reader.topDown ? ySrc + j : int64_t{ySrc} + static_cast<int64_t>(height) - 1 - j;
        if (scan < 0 || scan >= fullHeight) continue;
        for (int64_t i = 0; i < static_cast<int64_t>(width); ++i) {
            COLORREF c;
            if (reader.Read(xSrc + i, scan, c)) dc->BlendTargetPublic(x0 + i, y0 + j, c, SRCCOPY);
        }
    }
    return static_cast<int>(reader.height);
}

// ---- bitmaps ------------------------------------------------------------------------------

namespace {

// A bitmap's pixels: top-down rows of 1, 3 or 4 bytes a pixel can be a
// drawing target; bottom-up and 1- or 4-bit DIB sections are storage only.
struct BitmapStore {
    int64_t width = 0;
    int64_t height = 0;
    int bitCount = 32;
    int64_t rowBytes = 0;
    bool bottomUp = false;
    std::shared_ptr<std::vector<unsigned char>> bytes;
    std::vector<RGBQUAD> palette;
    CBitmap* attached = nullptr;
    std::unique_ptr<CBitmap> wrapper;
};

std::mutex g_bitmapLock;
std::map<uintptr_t, std::unique_ptr<BitmapStore>>& Bitmaps()
{
    static auto* bitmaps = new std::map<uintptr_t, std::unique_ptr<BitmapStore>>();
    return *bitmaps;
}
uintptr_t g_nextBitmap = 0x90000;

BitmapStore* FindStore(HBITMAP bitmap)
{
    auto it = Bitmaps().find(reinterpret_cast<uintptr_t>(bitmap));
    return it == Bitmaps().end() ? nullptr : it->second.get();
}

HBITMAP AddStore(std::unique_ptr<BitmapStore> store)
{
    std::lock_guard<std::mutex> guard(g_bitmapLock);
    const uintptr_t key = g_nextBitmap;
    g_nextBitmap += 4;
    Bitmaps().emplace(key, std::move(store));
    return reinterpret_cast<HBITMAP>(key);
}

std::unique_ptr<BitmapStore> NewStore(int64_t width, int64_t height, int bitCount, bool bottomUp)
{
    auto store = std::make_unique<BitmapStore>();
    store->width = width;
    store->height = height;
    store->bitCount = bitCount;
    store->rowBytes = DibRowBytes(width, bitCount);
    store->bottomUp = bottomUp;
    store->bytes = std::make_shared<std::vector<unsigned char>>(static_cast<size_t>(store->rowBytes * height), 0);
    return store;
}

}  // namespace

void CDC::BlendTargetPublic(int64_t x, int64_t y, COLORREF source, DWORD rop)
{
    BlendTarget(x, y, source, rop);
}

bool CDC::CreateCompatibleDC(CDC*)
{
    Detach();
    m_memory = true;
    m_bitmap = nullptr;
    return true;
}

CBitmap* CDC::SelectObject(CBitmap* bitmap)
{
    if (!bitmap || !bitmap->m_hObject) return nullptr;
    if (!m_memory) {
        Logger::log("ERROR CDC::SelectObject a bitmap goes only into a memory context", 1);
        return nullptr;
    }
    if (!win::AttachBitmap(*this, bitmap->m_hObject)) return nullptr;
    Record("SelectObject", {bitmap->GetSize().cx, bitmap->GetSize().cy}, "CBitmap");
    return std::exchange(m_bitmap, bitmap);
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT, void** bits, HANDLE, DWORD)
{
    if (bits) *bits = nullptr;
    if (!info) return nullptr;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const int bc = h.biBitCount;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1 ||
        h.biCompression != BI_RGB || (bc != 1 && bc != 4 && bc != 8 && bc != 24 && bc != 32)) {
        Logger::log("ERROR CreateDIBSection unsupported header", 1);
        return nullptr;
    }
    const int64_t height = h.biHeight < 0 ? -int64_t{h.biHeight} : int64_t{h.biHeight};
    std::unique_ptr<BitmapStore> store;
    try {
        store = NewStore(h.biWidth, height, bc, h.biHeight > 0);
    } catch (const std::bad_alloc&) {
        Logger::log("ERROR CreateDIBSection %d x %d is too large", 1, static_cast<int>(h.biWidth), static_cast<int>(height));
        return nullptr;
    }
    if (bc <= 8) {
        const size_t colours = h.biClrUsed ? std::min<size_t>(h.biClrUsed, size_t{1} << bc) : size_t{1} << bc;
        store->palette.assign(info->bmiColors, info->bmiColors + colours);
    }
    void* data = store->bytes->data();
    const HBITMAP handle = AddStore(std::move(store));
    if (bits) *bits = data;
    return handle;
}

BOOL DeleteObject(HBITMAP bitmap)
{
    std::unique_ptr<BitmapStore> dying;
    {
        std::lock_guard<std::mutex> guard(g_bitmapLock);
        auto it = Bitmaps().find(reinterpret_cast<uintptr_t>(bitmap));
        if (it == Bitmaps().end()) return FALSE;
        dying = std::move(it->second);
        Bitmaps().erase(it);
    }
    // A context that still has the bitmap selected keeps its pixels alive.
    if (dying->attached) dying->attached->m_hObject = nullptr;
    if (dying->wrapper) dying->wrapper->m_hObject = nullptr;
    static std::vector<std::unique_ptr<CBitmap>> retired;  // wrappers callers may still hold
    if (dying->wrapper) retired.push_back(std::move(dying->wrapper));
    return TRUE;
}

CBitmap::~CBitmap()
{
    DeleteObject();
}

CBitmap* CBitmap::FromHandle(HBITMAP bitmap)
{
    std::lock_guard<std::mutex> guard(g_bitmapLock);
    BitmapStore* store = FindStore(bitmap);
    if (!store) return nullptr;
    if (store->attached) return store->attached;
    if (!store->wrapper) {
        store->wrapper = std::make_unique<CBitmap>();
        store->wrapper->m_hObject = bitmap;
        store->wrapper->m_created = true;
    }
    return store->wrapper.get();
}

BOOL CBitmap::Attach(HBITMAP bitmap)
{
    std::lock_guard<std::mutex> guard(g_bitmapLock);
    BitmapStore* store = FindStore(bitmap);
    if (m_hObject || !store || store->attached) return FALSE;
    store->attached = this;
    m_hObject = bitmap;
    m_created = true;
    return TRUE;
}

HBITMAP CBitmap::Detach()
{
    std::lock_guard<std::mutex> guard(g_bitmapLock);
    if (BitmapStore* store = FindStore(m_hObject)) {
        if (store->attached == this) store->attached = nullptr;
    }
    m_created = false;
    return std::exchange(m_hObject, nullptr);
}

BOOL CBitmap::DeleteObject()
{
    if (!m_hObject) return FALSE;
    const HBITMAP handle = Detach();
    return ::DeleteObject(handle);
}

BOOL CBitmap::CreateCompatibleBitmap(CDC*, int width, int height)
{
    if (m_hObject || width <= 0 || height <= 0) return FALSE;
    std::unique_ptr<BitmapStore> store;
    try {
        store = NewStore(width, height, 32, false);
    } catch (const std::bad_alloc&) {
        Logger::log("ERROR CBitmap::CreateCompatibleBitmap %d x %d is too large", 1, width, height);
        return FALSE;
    }
    return Attach(AddStore(std::move(store)));
}

BOOL CBitmap::CreateFromImage(const Image& image)
{
    if (m_hObject || !image.GetData() || image.GetDataType() != IMG_UINT8 || !image.IsInterleaved() ||
        (image.GetChannels() != 1 && image.GetChannels() != 3))
        return FALSE;
    auto store = NewStore(image.GetWidth(), image.GetHeight(), image.GetChannels() * 8, false);
    if (image.GetChannels() == 1) {
        for (int i = 0; i < 256; ++i) {
            const BYTE v = static_cast<BYTE>(i);
            store->palette.push_back(RGBQUAD{v, v, v, 0});
        }
    }
    const size_t rowCopy = static_cast<size_t>(image.GetWidth()) * static_cast<size_t>(image.GetChannels());
    for (int y = 0; y < image.GetHeight(); ++y)
        std::memcpy(store->bytes->data() + static_cast<size_t>(y) * static_cast<size_t>(store->rowBytes),
                    image.GetData() + static_cast<size_t>(y) * static_cast<size_t>(image.GetRowByte()), rowCopy);
    return Attach(AddStore(std::move(store)));
}

BOOL CBitmap::LoadBitmap(UINT resourceId)
{
    const Image* picture = win::Resources::FindBitmap(resourceId);
    if (!picture) {
        Logger::log("ERROR CBitmap::LoadBitmap no bitmap resource %u", 1, resourceId);
        return FALSE;
    }
    return CreateFromImage(*picture);
}

int CBitmap::GetBitmap(BITMAP* out) const
{
    std::lock_guard<std::mutex> guard(g_bitmapLock);
    BitmapStore* store = FindStore(m_hObject);
    if (!store || !out) return 0;
    *out = BITMAP{0, static_cast<LONG>(store->width), static_cast<LONG>(store->height),
                  static_cast<LONG>(store->rowBytes), 1, static_cast<WORD>(store->bitCount), store->bytes->data()};
    return static_cast<int>(sizeof(BITMAP));
}

SIZE CBitmap::GetSize() const
{
    BITMAP b{};
    if (!GetBitmap(&b)) return SIZE{0, 0};
    return SIZE{b.bmWidth, b.bmHeight};
}

namespace win {

bool AttachBitmap(CDC& dc, HBITMAP bitmap)
{
    std::shared_ptr<std::vector<unsigned char>> bytes;
    int64_t width = 0, height = 0, rowBytes = 0;
    int bitCount = 0;
    bool bottomUp = false;
    {
        std::lock_guard<std::mutex> guard(g_bitmapLock);
        BitmapStore* store = FindStore(bitmap);
        if (!store) return false;
        bytes = store->bytes;
        width = store->width;
        height = store->height;
        rowBytes = store->rowBytes;
        bitCount = store->bitCount;
        bottomUp = store->bottomUp;
    }
    if (bottomUp || (bitCount != 8 && bitCount != 24 && bitCount != 32)) {
        Logger::log("ERROR AttachBitmap only top-down bitmaps of 8, 24 or 32 bits are drawn into", 1);
        return false;
    }
    unsigned char* data = bytes->data();
    return dc.AttachPixels(bytes, data, static_cast<int>(width), static_cast<int>(height), static_cast<int>(rowBytes),
                           bitCount / 8);
}

bool DrawBitmap(CDC& dc, HBITMAP bitmap, int x, int y)
{
    DibReader reader;
    std::shared_ptr<std::vector<unsigned char>> keep;
    {
        std::lock_guard<std::mutex> guard(g_bitmapLock);
        BitmapStore* store = FindStore(bitmap);
        if (!store) return false;
        keep = store->bytes;
        reader.bits = keep->data();
        reader.width = store->width;
        reader.height = store->height;
        reader.rowBytes = store->rowBytes;
        reader.bitCount = store->bitCount;
        reader.topDown = !store->bottomUp;
        reader.palette = store->palette;
    }
    if (reader.bitCount == 8 && reader.palette.empty()) {
        for (int i = 0; i < 256; ++i) reader.palette.push_back(RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0});
    }
    const int64_t x0 = dc.TargetX(x), y0 = dc.TargetY(y);
    for (int64_t j = 0; j < reader.height; ++j) {
        const int64_t row = reader.topDown ? j : reader.height - 1 - j;
        for (int64_t i = 0; i < reader.width; ++i) {
            COLORREF c;
            if (reader.Read(i, row, c)) dc.BlendTargetPublic(x0 + i, y0 + j, c, SRCCOPY);
        }
    }
    return true;
}

bool DrawImage(CDC& dc, const Image& image, int x, int y)
{
    if (!image.GetData() || image.GetDataType() != IMG_UINT8 || !image.IsInterleaved() ||
        (image.GetChannels() != 1 && image.GetChannels() != 3))
        return false;
    const int64_t x0 = dc.TargetX(x), y0 = dc.TargetY(y);
    for (int j = 0; j < image.GetHeight(); ++j) {
        const unsigned char* row = image.GetData() + static_cast<size_t>(j) * static_cast<size_t>(image.GetRowByte());
        for (int i = 0; i < image.GetWidth(); ++i) {
            const unsigned char* p = row + static_cast<size_t>(i) * static_cast<size_t>(image.GetChannels());
            const COLORREF c = image.GetChannels() == 1 ? RGB(p[0], p[0], p[0]) : RGB(p[2], p[1], p[0]);
            dc.BlendTargetPublic(x0 + i, y0 + j, c, SRCCOPY);
        }
    }
    return true;
}

size_t LiveBitmapCount()
{
    std::lock_guard<std::mutex> guard(g_bitmapLock);
    return Bitmaps().size();
}

void DeleteAllBitmaps()
{
    std::vector<HBITMAP> all;
    {
        std::lock_guard<std::mutex> guard(g_bitmapLock);
        for (auto& [key, store] : Bitmaps()) all.push_back(reinterpret_cast<HBITMAP>(key));
    }
    for (HBITMAP h : all) ::DeleteObject(h);
}

}  // namespace win
