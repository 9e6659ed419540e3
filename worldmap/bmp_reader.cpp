#include "worldmap/bmp_reader.h"

#include "core/byte_order.h"
#include "core/logger.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

using namespace byteorder;

namespace {

constexpr uint32_t kRgb = 0;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;

// The pixel buffer of a bitmap is capped at 2 GB: an RLE file of a few bytes
// can claim any size, and no photograph or panorama comes near it.
constexpr int64_t kMaxImageBytes = int64_t{1} << 31;

struct BmpHeader {
    int64_t base = 0;        // file position of "BM"
    int64_t fileSize = 0;    // of the whole file, from `base`
    uint32_t dataOffset = 0;
    uint32_t infoSize = 0;
    int32_t width = 0;
    int32_t height = 0;      // negative: rows stored top-down
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;
};

// B, G, R of every index 0..255, blue 0 already stored as 1; indices past
// the file's palette are black.
using Palette = std::array<std::array<uint8_t, 3>, 256>;

enum class Step { Ok, NotUsable, StreamError };

int Result(Step step)
{
    return step == Step::NotUsable ? kBmpNotUsable : kBmpStreamError;
}

Step Refuse(const char* reason)
{
    Logger::log("ERROR ReadBmpFile: %s", 1, reason);
    return Step::NotUsable;
}

Step Short(const char* reason)
{
    Logger::log("ERROR ReadBmpFile: %s", 1, reason);
    return Step::StreamError;
}

Step ReadHeaders(FILE* file, BmpHeader* h)
{
    h->base = Tell(file);
    uint8_t fileHeader[18];
    if (h->base < 0 || !ReadExact(file, fileHeader, sizeof fileHeader)) return Short("file too short for the headers");
    if (GetU16LE(fileHeader) != 0x4D42) return Refuse("no \"BM\" signature");
    h->dataOffset = GetU32LE(fileHeader + 10);
    h->infoSize = GetU32LE(fileHeader + 14);
    // 40 is the Windows header; 108 and 124 extend it with colour-space
    // fields this reader does not need. 12 (OS/2 core), 64 (OS/2 2.x) and
    // other sizes are not read.
    if (h->infoSize != 40 && h->infoSize != 108 && h->infoSize != 124) return Refuse("unsupported information header size");
    uint8_t info[36];
    if (!ReadExact(file, info, sizeof info)) return Short("file too short for the information header");
    h->width = static_cast<int32_t>(GetU32LE(info));
    h->height = static_cast<int32_t>(GetU32LE(info + 4));
    h->planes = GetU16LE(info + 8);
    h->bitCount = GetU16LE(info + 10);
    h->compression = GetU32LE(info + 12);
    h->coloursUsed = GetU32LE(info + 28);
    if (fseeko(file, 0, SEEK_END) != 0) return Short("file cannot be measured");
    h->fileSize = Tell(file) - h->base;
    return Step::Ok;
}

Step Validate(const BmpHeader& h)
{
    if (h.planes != 1) return Refuse("planes is not 1");
    const bool rgb24 = h.bitCount == 24 && h.compression == kRgb;
    const bool pal8 = h.bitCount == 8 && (h.compression == kRgb || h.compression == kRle8);
    const bool rle4 = h.bitCount == 4 && h.compression == kRle4;
    if (!rgb24 && !pal8 && !rle4) return Refuse("unsupported bit count or compression");
    if (h.width <= 0 || h.height == 0 || h.height == INT32_MIN) return Refuse("bad width or height");
    if (h.height < 0 && h.compression != kRgb) return Refuse("run-length bitmaps are stored bottom-up");
    const int64_t rowBytes = (int64_t{h.width} * 3 + 3) & ~int64_t{3};
    if (rowBytes * std::abs(int64_t{h.height}) > kMaxImageBytes) return Refuse("image too large");
    if (h.compression != kRgb && int64_t{h.width} * std::abs(int64_t{h.height}) > kMaxRleBmpPixels)
        return Refuse("run-length bitmap of more than 536870912 (2^29) pixels");
    if (h.bitCount != 24 && h.coloursUsed > (1u << h.bitCount)) return Refuse("palette larger than the bit count allows");
    return Step::Ok;
}

// Uncompressed pixels must all lie in the file; checked before the image is
// made, so that a few bytes never claim gigabytes.
Step CheckPixelsInFile(const BmpHeader& h)
{
    if (h.compression != kRgb) return Step::Ok;
    const int64_t fileRowBytes = (int64_t{h.width} * h.bitCount / 8 + 3) & ~int64_t{3};
    if (int64_t{h.dataOffset} + fileRowBytes * std::abs(int64_t{h.height}) > h.fileSize) return Short("pixel data cut short");
    return Step::Ok;
}

Step ReadPalette(FILE* file, const BmpHeader& h, Palette* palette)
{
    for (auto& entry : *palette) entry = {1, 0, 0};
    if (h.bitCount == 24) return Step::Ok;  // the palette of a 24-bit file is not needed
    const uint32_t n = h.coloursUsed ? h.coloursUsed : 1u << h.bitCount;
    std::vector<uint8_t> bytes(static_cast<size_t>(n) * 4);
    if (!SeekTo(file, h.base + 14 + h.infoSize) || !ReadExact(file, bytes.data(), bytes.size()))
        return Short("file too short for the palette");
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* p = &bytes[static_cast<size_t>(i) * 4];
        (*palette)[i] = {static_cast<uint8_t>(p[0] ? p[0] : 1), p[1], p[2]};
    }
    return Step::Ok;
}

uint8_t* ImageRow(Image& image, const BmpHeader& h, int fileRow)
{
    const int y = h.height > 0 ? image.GetHeight() - 1 - fileRow : fileRow;
    return image.GetData() + static_cast<size_t>(y) * image.GetRowByte();
}

Step ReadRgb24(FILE* file, const BmpHeader& h, Image& image)
{
    const size_t rowBytes = static_cast<size_t>(image.GetRowByte());  // equals the file's padded row
    const int rows = image.GetHeight();
    for (int i = 0; i < rows; ++i) {
        uint8_t* row = ImageRow(image, h, i);
        if (!ReadExact(file, row, rowBytes)) return Short("pixel data cut short");
        for (int x = 0; x < h.width; ++x)
            if (row[3 * x] == 0) row[3 * x] = 1;
    }
    return Step::Ok;
}

Step ReadPal8(FILE* file, const BmpHeader& h, const Palette& palette, Image& image)
{
    const size_t fileRowBytes = (static_cast<size_t>(h.width) + 3) & ~size_t{3};
    const int rows = image.GetHeight();
    std::vector<uint8_t> indices(fileRowBytes);
    for (int i = 0; i < rows; ++i) {
        if (!ReadExact(file, indices.data(), fileRowBytes)) return Short("pixel data cut short");
        uint8_t* out = ImageRow(image, h, i);
        for (int x = 0; x < h.width; ++x, out += 3) std::memcpy(out, palette[indices[static_cast<size_t>(x)]].data(), 3);
    }
    return Step::Ok;
}

// Run-length data (RLE8 or RLE4), decoded with the palette straight into
// the image. Rows are stored bottom-up; pixels the data skips keep palette
// entry 0.
// Encoders run rows out to their padded length (a multiple of 4 bytes), so
// pixels between the width and that length are dropped; a run, absolute run
// or delta past it is a broken stream. Nothing is written past the top row.
class RleDecoder {
public:
    RleDecoder(const Palette& palette, Image& image, std::vector<uint8_t> data, bool four)
        : m_palette(palette), m_image(image), m_data(std::move(data)), m_four(four)
    {
        const int64_t rowBytes = (int64_t{image.GetWidth()} * (four ? 4 : 8) + 31) / 32 * 4;
        m_paddedWidth = four ? rowBytes * 2 : rowBytes;
    }

    Step Decode()
    {
        const int height = m_image.GetHeight();
        while (m_y < height) {
            uint8_t count, value;
            if (!Next(&count) || !Next(&value)) return Short("run-length data cut short");
            if (count > 0) {
                if (m_x + count > m_paddedWidth) return Refuse("a run passes the end of its row");
                Run(count, value);
                continue;
            }
            switch (value) {
            case 0:  // end of line
                m_x = 0;
                ++m_y;
                break;
            case 1:  // end of bitmap
                return Step::Ok;
            case 2: {  // delta: move right and up
                uint8_t dx, dy;
                if (!Next(&dx) || !Next(&dy)) return Short("run-length data cut short");
                if (m_x + dx > m_paddedWidth) return Refuse("a delta passes the end of its row");
                m_x += dx;
                m_y += dy;
                break;
            }
            default:
                if (m_x + value > m_paddedWidth) return Refuse("an absolute run passes the end of its row");
                if (!Absolute(value)) return Short("run-length data cut short");
                break;
            }
        }
        return Step::Ok;  // every row is decoded; what follows is ignored
    }

private:
    const Palette& m_palette;
    Image& m_image;
    std::vector<uint8_t> m_data;
    size_t m_pos = 0;
    bool m_four;
    int64_t m_paddedWidth = 0;  // pixels of a row as the file pads it
    int64_t m_x = 0;            // may pass the width, never the padded width
    int m_y = 0;                // counted from the bottom row

    bool Next(uint8_t* byte)
    {
        if (m_pos >= m_data.size()) return false;
        *byte = m_data[m_pos++];
        return true;
    }

    void Put(uint8_t index)
    {
        if (m_x < m_image.GetWidth()) {
            uint8_t* row = m_image.GetData() + static_cast<size_t>(m_image.GetHeight() - 1 - m_y) * m_image.GetRowByte();
            std::memcpy(row + static_cast<size_t>(m_x) * 3, m_palette[index].data(), 3);
        }
        ++m_x;
    }

    // `count` pixels of one index (RLE8) or of two alternating nibbles (RLE4).
    void Run(int count, uint8_t value)
    {
        for (int i = 0; i < count; ++i) Put(m_four ? static_cast<uint8_t>(i & 1 ? value & 0x0F : value >> 4) : value);
    }

    // `count` literal indices, padded to a 16-bit boundary.
    bool Absolute(int count)
    {
        const size_t bytes = m_four ? (static_cast<size_t>(count) + 1) / 2 : static_cast<size_t>(count);
        if (m_pos + bytes > m_data.size()) return false;
        for (int i = 0; i < count; ++i) {
            const uint8_t b = m_data[m_pos + (m_four ? static_cast<size_t>(i) / 2 : static_cast<size_t>(i))];
            Put(m_four ? static_cast<uint8_t>(i & 1 ? b & 0x0F : b >> 4) : b);
        }
        m_pos += bytes + (bytes & 1);
        return true;
    }
};

Step ReadRle(FILE* file, const BmpHeader& h, const Palette& palette, Image& image)
{
    if (h.dataOffset >= h.fileSize) return Short("no run-length data");
    std::vector<uint8_t> data(static_cast<size_t>(h.fileSize - h.dataOffset));
    if (!ReadExact(file, data.data(), data.size())) return Short("run-length data cut short");
    // Pixels the stream skips take palette entry 0, as other decoders show them.
    for (int y = 0; y < image.GetHeight(); ++y) {
        uint8_t* row = image.GetData() + static_cast<size_t>(y) * image.GetRowByte();
        for (int x = 0; x < image.GetWidth(); ++x) std::memcpy(row + 3 * x, palette[0].data(), 3);
    }
    return RleDecoder(palette, image, std::move(data), h.compression == kRle4).Decode();
}

}  // namespace

int ReadBmpFile(FILE* file, Image** image)
{
    if (!image) return kBmpNotUsable;
    *image = nullptr;
    if (!file) return kBmpStreamError;
    BmpHeader h;
    auto palette = std::make_unique<Palette>();
    Step step = ReadHeaders(file, &h);
    if (step == Step::Ok) step = Validate(h);
    if (step == Step::Ok) step = CheckPixelsInFile(h);
    if (step == Step::Ok) step = ReadPalette(file, h, palette.get());
    if (step != Step::Ok) return Result(step);

    RefPtr<Image> out = RefPtr<Image>::adopt(new (std::nothrow) Image());
    if (!out) return kBmpStreamError;
    out->SetSize(h.width, static_cast<int>(std::abs(int64_t{h.height})));
    out->SetChannels(3);
    if (out->BmpInit() != 0) return kBmpStreamError;  // Init has logged the allocation failure
    if (!SeekTo(file, h.base + h.dataOffset)) return Result(Short("cannot seek to the pixel data"));
    if (h.compression == kRgb)
        step = h.bitCount == 24 ? ReadRgb24(file, h, *out) : ReadPal8(file, h, *palette, *out);
    else
        step = ReadRle(file, h, *palette, *out);
    if (step != Step::Ok) return Result(step);
    *image = out.release();
    return kBmpRead;
}
