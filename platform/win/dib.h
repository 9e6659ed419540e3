// Bitmaps and device-independent bitmaps: the DIB header as the suite fills
// it (8-bit with a palette, 24-bit and 32-bit rows, top-down when the height
// is negative, bottom-up otherwise), StretchDIBits and SetDIBitsToDevice
// onto a device context (nearest or box-filter stretching), DIB sections,
// and bitmaps that memory contexts draw into (CBitmap).
#pragma once

#include "platform/win/gdi.h"
#include "platform/win/win_defs.h"

#include <type_traits>

class Image;

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;  // negative: rows top-down
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

// The palette runs past the one declared entry (the suite allocates 256).
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

static_assert(sizeof(BITMAPINFOHEADER) == 40 && std::is_trivially_copyable_v<BITMAPINFOHEADER>);
static_assert(sizeof(RGBQUAD) == 4);
static_assert(sizeof(BITMAPINFO) == 44);

struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    void* bmBits;
};

constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;

// Bytes of one DIB row: rows are padded to 4 bytes.
constexpr int64_t DibRowBytes(int64_t width, int bitCount)
{
    return ((width * bitCount + 31) / 32) * 4;
}

// Copies (stretched) a rectangle of a DIB onto the context. The source
// rectangle is in the DIB's own coordinates: its origin is the lower-left
// corner for bottom-up DIBs and the upper-left corner for top-down ones.
// The number of scan lines copied, 0 on failure.
int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop);
// Copies `width` x `height` pixels 1:1; `bits` holds the scan lines
// startScan .. startScan + scanLines - 1. The number of lines set, 0 on
// failure.
int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc, UINT startScan,
                      UINT scanLines, const void* bits, const BITMAPINFO* info, UINT usage);
// A bitmap whose pixel bits the program writes directly (*bits). Top-down
// sections of 8, 24 or 32 bits can be selected into a memory context.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);
BOOL DeleteObject(HBITMAP bitmap);

class CBitmap : public CGdiObject {
public:
    CBitmap() = default;
    ~CBitmap() override;
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;

    HBITMAP m_hObject = nullptr;
    operator HBITMAP() const { return m_hObject; }
    HBITMAP GetSafeHandle() const { return m_hObject; }
    // The object for a handle: the one attached, else a permanent wrapper.
    static CBitmap* FromHandle(HBITMAP bitmap);

    BOOL Attach(HBITMAP bitmap);
    HBITMAP Detach();
    BOOL DeleteObject();
    // 32-bit, black, to draw into through a memory context.
    BOOL CreateCompatibleBitmap(CDC* dc, int width, int height);
    // A copy of the bitmap resource.
    BOOL LoadBitmap(UINT resourceId);
    // A copy of an 8-bit image of 1 or 3 channels.
    BOOL CreateFromImage(const Image& image);
    int GetBitmap(BITMAP* out) const;
    SIZE GetSize() const;
};

namespace win {
// Gives a bitmap's pixels to a context as its target; false when the
// bitmap cannot be drawn into (bottom-up or 1-bit DIB sections).
bool AttachBitmap(CDC& dc, HBITMAP bitmap);
// Draws a bitmap 1:1 with its top-left at a logical point.
bool DrawBitmap(CDC& dc, HBITMAP bitmap, int x, int y);
// Draws an 8-bit image of 1 or 3 channels 1:1 (grey or B, G, R).
bool DrawImage(CDC& dc, const Image& image, int x, int y);
// Number of bitmaps not deleted (tests check for leaks).
size_t LiveBitmapCount();
void DeleteAllBitmaps();
}  // namespace win
