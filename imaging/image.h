// The one pixel-buffer type of the suite: photographs, stamps, warped images,
// world-map tiles and correlation channels are all Image objects. A header
// (size, sample format, layout, ownership bits) over one contiguous buffer,
// shared between holders through the RefCount base.
#pragma once

#include "imaging/ref_count.h"

#include <cstddef>
#include <cstdint>

// Sample type codes: bits 4-7 of the format word.
enum ImageDataType : unsigned short {
    IMG_BILEVEL = 16,  // 1 bit per sample
    IMG_UINT8 = 32,
    IMG_INT8 = 48,
    IMG_UINT16 = 64,
    IMG_INT16 = 80,
    IMG_UINT32 = 96,
    IMG_INT32 = 112,
    IMG_FLOAT = 128,
};

// Layout word: high byte 2 marks bitmap rows (interleaved rows padded to 4 bytes).
constexpr unsigned short IMG_LAYOUT_BITMAP = 0x200;
// Format word bits beyond the channel count and the type code.
constexpr unsigned short IMG_FORMAT_PLANAR = 0x100;
constexpr unsigned short IMG_FORMAT_REVERSED = 0x200;
// State word bits.
constexpr unsigned short IMG_STATE_RANGE_VALID = 0x01;
constexpr unsigned short IMG_STATE_MALLOC = 0x08;
constexpr unsigned short IMG_STATE_NOT_OWNER = 0x20;

class Image : public RefCount {
public:
    Image();
    Image(int width, int height, int channels);
    // Three 8-bit channels; the stitching application derives from it.
    Image(int width, int height);
    ~Image() override;

    // Allocation. Init allocates a zero-filled owned buffer for the current
    // header; it is called on an image without a buffer.
    bool Create(int width, int height, int channels, int type);
    int Init();
    int BmpInit();
    int BmpInit(int width, int height, int channels);
    bool Resize(int width, int height);
    void SetData(void* data, bool fromMalloc);
    void SetDataOwner(bool owner);
    bool IsDataOwner() const { return (m_state & IMG_STATE_NOT_OWNER) == 0; }
    bool IsMallocData() const { return (m_state & IMG_STATE_MALLOC) != 0; }
    void FreeData();
    void Transfer(Image* source);
    char* ReserveExdata(int words);

    // Header access: plain field reads and writes.
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    int GetRowByte() const { return m_rowBytes; }
    int GetChannels() const { return m_format & 3; }
    unsigned short GetDataType() const { return m_format & 0xF0; }
    unsigned short GetLayoutWord() const { return m_layout; }
    unsigned short GetFormatWord() const { return m_format; }
    unsigned short GetStateWord() const { return m_state; }
    void SetWidth(int width) { m_width = width; }
    void SetHeight(int height) { m_height = height; }
    void SetSize(int width, int height) { m_width = width; m_height = height; }
    void SetRowBytes(int rowBytes) { m_rowBytes = rowBytes; }
    void SetChannels(int n) { m_format = static_cast<unsigned short>((m_format & ~3u) | (n & 3)); }
    void SetDataType(unsigned short code) { m_format = static_cast<unsigned short>((m_format & ~0xF0u) | (code & 0xF0)); }
    void SetDataLayoutType(unsigned short t)
    {
        m_format = static_cast<unsigned short>((m_format & ~IMG_FORMAT_PLANAR) | (t & IMG_FORMAT_PLANAR));
    }
    void ComputeRowBytes();

    int GetDataBits() const;
    int GetDataBytes() const;
    int GetPixelBytes() const;
    size_t GetDataSize() const;
    bool IsInterleaved() const { return (m_format & IMG_FORMAT_PLANAR) == 0; }
    bool IsBmp() const { return (m_layout >> 8) == 2; }
    bool IsNormalOrder() const { return (m_format & IMG_FORMAT_REVERSED) == 0; }

    unsigned char* GetData() const { return m_data; }
    unsigned char* GetData(int channel) const;
    unsigned char* GetData(unsigned short channel) const { return GetData(static_cast<int>(channel)); }
    void* GetRangeTable();
    void ResetRange();
    bool GetBound(float* minimum, float* maximum) const;

    // Pixel operations.
    void Clear();
    void Fill(int value);
    void Fill(Image* pattern, int x, int y, int unused);
    int Rotate(int angle);
    void CopyDataTo(int x0, int x1, int y0, int y1, Image* target, int tx, int ty) const;
    void OverlapImage(int x, int y, Image* over, float weight);
    Image* Duplicate() const;
    static Image* CreateStampImage(Image* source, int size);
    Image* ZoomImage(int x, int y, int width, int height, float zoomX, float zoomY) const;
    float* ToChannelArray(int channel) const;

protected:
    // Header, in this order; derived image-like classes rely on it.
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_rowBytes = 0;
    uint16_t m_layout = 0;
    uint16_t m_format = 0;
    uint16_t m_state = 0;
    unsigned char* m_data = nullptr;
    unsigned char* m_rangeTable = nullptr;
    int32_t m_exdataWords = 0;
    char* m_exdata = nullptr;

private:
    int RotateQuarter(int angle);
    void RotateHalf();
    void MirrorLeftRight();
    void MirrorTopBottom();
};

// Every pixel buffer and extra-data block an Image allocates goes through
// this hook when one is set; returning false refuses the allocation (tests use it to simulate
// running out of memory). Null restores plain allocation.
using ImageAllocHook = bool (*)(size_t bytes);
void SetImageAllocHook(ImageAllocHook hook);

// Releases an image reference the way every holder does.
inline void ReleaseImage(Image* image) { RefRelease(image); }
