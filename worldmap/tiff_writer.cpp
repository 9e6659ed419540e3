#include "worldmap/tiff_writer.h"

#include "core/byte_order.h"
#include "core/logger.h"
#include "worldmap/rgb_swap.h"
#include "worldmap/tiff_tags.h"

#include <sys/stat.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace byteorder;

namespace {

// A descriptor is 22 bytes; anything near this size is a caller's mistake.
constexpr uint32_t kMaxDescriptorBytes = 1u << 20;

struct Area {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The inclusive rectangle clipped to the image, in 64-bit so that extreme
// coordinates cannot wrap.
bool ClipArea(const Image& image, const RECT* rect, Area* area)
{
    int64_t left = 0, top = 0, right = int64_t{image.GetWidth()} - 1, bottom = int64_t{image.GetHeight()} - 1;
    if (rect) {
        left = std::max<int64_t>(left, rect->left);
        top = std::max<int64_t>(top, rect->top);
        right = std::min<int64_t>(right, rect->right);
        bottom = std::min<int64_t>(bottom, rect->bottom);
    }
    if (right < left || bottom < top) return false;
    *area = {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left + 1),
             static_cast<int>(bottom - top + 1)};
    return true;
}

struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint32_t value;  // SHORT values are left-justified when encoded
};

void EncodeEntry(const Entry& e, uint8_t* p)
{
    PutU16LE(p, e.tag);
    PutU16LE(p + 2, e.type);
    PutU32LE(p + 4, e.count);
    if (e.type == tifftag::kShort && e.count == 1) {
        PutU16LE(p + 8, static_cast<uint16_t>(e.value));
        PutU16LE(p + 10, 0);
    } else {
        PutU32LE(p + 8, e.value);
    }
}

uint16_t SampleFormatOf(unsigned short type)
{
    switch (type) {
    case IMG_INT8:
    case IMG_INT16:
    case IMG_INT32: return 2;
    case IMG_FLOAT: return 3;
    default: return 0;  // unsigned: the tag is not written
    }
}

// Builds one file row of the area from the image: interleaved samples in the
// file's channel order (R, G, B), little-endian like the host.
class RowSource {
public:
    RowSource(const Image& image, const Area& area) : m_image(image), m_area(area)
    {
        m_channels = image.GetChannels();
        m_bits = image.GetDataBits();
        m_sampleBytes = std::max(1, m_bits / 8);
        m_rowBytes = (static_cast<size_t>(m_bits) * m_channels * area.width + 7) / 8;
        // Channel c of the file comes from image channel m_from[c].
        const bool swap = m_channels == 3 && image.IsNormalOrder();
        for (int c = 0; c < 3; ++c) m_from[c] = swap ? 2 - c : c;
    }

    size_t RowBytes() const { return m_rowBytes; }

    void Fill(int y, uint8_t* out) const
    {
        const int iy = m_area.top + y;
        if (m_bits == 1) {
            FillBits(iy, out);
            return;
        }
        const size_t width = static_cast<size_t>(m_area.width);
        const size_t sb = static_cast<size_t>(m_sampleBytes);
        if (m_image.IsInterleaved() || m_channels == 1) {
            const uint8_t* in = m_image.GetData() + static_cast<size_t>(iy) * m_image.GetRowByte() +
                                static_cast<size_t>(m_area.left) * m_channels * sb;
            if (m_channels == 1 || m_from[0] == 0) {
                std::memcpy(out, in, m_rowBytes);
                return;
            }
            if (sb == 1) {
                SwapRgbBgr(in, out, width);
                return;
            }
            for (size_t x = 0; x < width; ++x, in += 3 * sb)
                for (int c = 0; c < 3; ++c, out += sb) std::memcpy(out, in + m_from[c] * sb, sb);
            return;
        }
        // Planar: gather the planes into interleaved samples.
        const uint8_t* planes[3];
        for (int c = 0; c < m_channels; ++c)
            planes[c] = m_image.GetData(m_from[c]) + static_cast<size_t>(iy) * m_image.GetRowByte() +
                        static_cast<size_t>(m_area.left) * sb;
        for (size_t x = 0; x < width; ++x)
            for (int c = 0; c < m_channels; ++c, out += sb) std::memcpy(out, planes[c] + x * sb, sb);
    }

private:
    const Image& m_image;
    Area m_area;
    int m_channels = 1;
    int m_bits = 8;
    int m_sampleBytes = 1;
    size_t m_rowBytes = 0;
    int m_from[3] = {0, 1, 2};

    // Bilevel rows start at any bit of the image row.
    void FillBits(int iy, uint8_t* out) const
    {
        const uint8_t* in = m_image.GetData() + static_cast<size_t>(iy) * m_image.GetRowByte();
        std::memset(out, 0, m_rowBytes);
        for (int x = 0; x < m_area.width; ++x) {
            const int sx = m_area.left + x;
            if ((in[sx >> 3] >> (7 - (sx & 7))) & 1) out[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
    }
};

// The output file; a failed write removes what was written, but only a
// regular file: a device or pipe named as the path is left alone.
class TiffFile {
public:
    explicit TiffFile(const char* path) : m_path(path), m_file(std::fopen(path, "wb"))
    {
        // Every write is a large chunk of its own: no stream buffer between.
        if (m_file) std::setvbuf(m_file, nullptr, _IONBF, 0);
        struct stat st = {};
        m_regular = m_file && fstat(fileno(m_file), &st) == 0 && S_ISREG(st.st_mode);
    }
    ~TiffFile()
    {
        if (m_file) {
            std::fclose(m_file);
            RemovePartial();  // never closed by Finish: the write failed
        }
    }
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;

    bool IsOpen() const { return m_file != nullptr; }
    bool Write(const void* bytes, size_t n) { return n == 0 || std::fwrite(bytes, 1, n, m_file) == n; }
    bool Finish()
    {
        const bool ok = std::fclose(m_file) == 0;
        m_file = nullptr;
        if (!ok) RemovePartial();
        return ok;
    }

private:
    const char* m_path;
    FILE* m_file;
    bool m_regular = false;

    void RemovePartial()
    {
        if (m_regular) std::remove(m_path);
    }
};

// The checks before anything is written: kSaveTiffOk with the area clipped
// to the image and the descriptor's length, else the status to return.
int CheckSave(Image* image, const RECT* rect, const FileExtraData* extra, Area* area, uint32_t* descriptorLength)
{
    const int channels = image ? image->GetChannels() : 0;
    const int bits = image ? image->GetDataBits() : 0;
    if (!image || !image->GetData() || (channels != 1 && channels != 3) || bits == 0 || !ClipArea(*image, rect, area)) {
        Logger::log("ERROR SaveImageAsTiff: no pixels to write", 1);
        return kSaveTiffNoData;
    }
    *descriptorLength = extra && extra->length > 0 ? static_cast<uint32_t>(extra->length) : 0;
    if (*descriptorLength > kMaxDescriptorBytes) {
        Logger::log("ERROR SaveImageAsTiff: descriptor of %u bytes", 1, *descriptorLength);
        return kSaveTiffNoData;
    }
    if (bits == 1 && channels != 1) {
        Logger::log("ERROR SaveImageAsTiff: bilevel images have one channel", 1);
        return kSaveTiffNoData;
    }
    return kSaveTiffOk;
}

// The IFD's entries in tag order; offsets are filled in by TiffHead.
std::vector<Entry> TiffEntries(const Image& image, const Area& area, uint64_t stripBytes, uint32_t descriptorLength)
{
    const uint32_t channels = static_cast<uint32_t>(image.GetChannels());
    const uint16_t dimensionType = area.width > 65535 || area.height > 65535 ? tifftag::kLong : tifftag::kShort;
    const uint16_t sampleFormat = SampleFormatOf(image.GetDataType());
    std::vector<Entry> entries = {
        {tifftag::kImageWidth, dimensionType, 1, static_cast<uint32_t>(area.width)},
        {tifftag::kImageLength, dimensionType, 1, static_cast<uint32_t>(area.height)},
        {tifftag::kBitsPerSample, tifftag::kShort, channels, static_cast<uint32_t>(image.GetDataBits())},
        {tifftag::kPhotometric, tifftag::kShort, 1, channels == 1 ? 1u : 2u},
        {tifftag::kStripOffsets, tifftag::kLong, 1, 0},
        {tifftag::kSamplesPerPixel, tifftag::kShort, 1, channels},
        {tifftag::kRowsPerStrip, tifftag::kLong, 1, static_cast<uint32_t>(area.height)},
        {tifftag::kStripByteCounts, tifftag::kLong, 1, static_cast<uint32_t>(stripBytes)},
    };
    if (sampleFormat) entries.push_back({tifftag::kSampleFormat, tifftag::kShort, 1, sampleFormat});
    if (descriptorLength) entries.push_back({kTiffDescriptorTag, tifftag::kByte, descriptorLength, 0});
    return entries;
}

// Everything before the pixels, whose layout is known in advance: header,
// IFD, the three BitsPerSample values, the descriptor; the pixels follow as
// one strip. `descriptorEntry` gets the position of the descriptor's entry.
std::vector<uint8_t> TiffHead(const std::vector<Entry>& entries, int channels, int bits, const FileExtraData* extra,
                              uint32_t descriptorLength, uint32_t* descriptorEntry)
{
    const uint32_t ifdBytes = 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
    uint32_t next = 8 + ifdBytes;
    const uint32_t bitsOffset = next;
    if (channels > 1) next += 2 * channels;
    const uint32_t descriptorOffset = next;
    if (descriptorLength > 4) next += descriptorLength;
    const uint32_t pixelOffset = next;

    std::vector<uint8_t> head(pixelOffset, 0);
    head[0] = 'I';
    head[1] = 'I';
    PutU16LE(&head[2], 42);
    PutU32LE(&head[4], 8);
    PutU16LE(&head[8], static_cast<uint16_t>(entries.size()));
    *descriptorEntry = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        Entry e = entries[i];
        const uint32_t entryPosition = 10 + 12 * static_cast<uint32_t>(i);
        if (e.tag == tifftag::kBitsPerSample && channels > 1) e.value = bitsOffset;
        if (e.tag == tifftag::kStripOffsets) e.value = pixelOffset;
        if (e.tag == kTiffDescriptorTag) {
            *descriptorEntry = entryPosition;
            if (descriptorLength > 4) e.value = descriptorOffset;
        }
        EncodeEntry(e, &head[entryPosition]);
        // Up to four bytes sit in the value field itself.
        if (e.tag == kTiffDescriptorTag && descriptorLength <= 4)
            std::memcpy(&head[entryPosition + 8], extra->bytes, descriptorLength);
    }
    if (channels > 1)
        for (int c = 0; c < channels; ++c) PutU16LE(&head[bitsOffset + 2 * c], static_cast<uint16_t>(bits));
    if (descriptorLength > 4) std::memcpy(&head[descriptorOffset], extra->bytes, descriptorLength);
    return head;
}

// The head, then the rows gathered into a buffer of about 256 KB per write,
// small enough to stay in the cache between the conversion and the write.
bool WriteFile(TiffFile& file, const std::vector<uint8_t>& head, const RowSource& rows, int height)
{
    bool ok = file.Write(head.data(), head.size());
    const size_t rowBytes = rows.RowBytes();
    const size_t rowsPerChunk = std::max<size_t>(1, (size_t{256} << 10) / std::max<size_t>(rowBytes, 1));
    std::vector<uint8_t> chunk(rowBytes * std::min<size_t>(rowsPerChunk, static_cast<size_t>(height)));
    for (int y = 0; ok && y < height;) {
        const int n = static_cast<int>(std::min<size_t>(rowsPerChunk, static_cast<size_t>(height - y)));
        for (int i = 0; i < n; ++i) rows.Fill(y + i, chunk.data() + static_cast<size_t>(i) * rowBytes);
        ok = file.Write(chunk.data(), static_cast<size_t>(n) * rowBytes);
        y += n;
    }
    return ok && file.Finish();
}

}  // namespace

int SaveImageAsTiff(Image* image, RECT* rect, QUORVANE_FileInfo* info)
{
    if (!info || !info->path) return kSaveTiffCannotCreate;
    const auto* extra = static_cast<const FileExtraData*>(info->extra);
    Area area;
    uint32_t descriptorLength = 0;
    if (const int status = CheckSave(image, rect, extra, &area, &descriptorLength); status != kSaveTiffOk)
        return status;
    const RowSource rows(*image, area);
    const uint64_t stripBytes = uint64_t{rows.RowBytes()} * area.height;
    if (stripBytes > UINT32_MAX) {
        Logger::log("ERROR SaveImageAsTiff: %d x %d pixels exceed the 4 GB of a TIFF file", 1, area.width, area.height);
        return kSaveTiffNoData;
    }
    uint32_t descriptorEntry = 0;
    const std::vector<uint8_t> head =
        TiffHead(TiffEntries(*image, area, stripBytes, descriptorLength), image->GetChannels(), image->GetDataBits(),
                 extra, descriptorLength, &descriptorEntry);
    TiffFile file(info->path);
    if (!file.IsOpen()) {
        Logger::log("ERROR SaveImageAsTiff: cannot create %s", 1, info->path);
        return kSaveTiffCannotCreate;
    }
    if (!WriteFile(file, head, rows, area.height)) {
        Logger::log("ERROR SaveImageAsTiff: cannot write %s", 1, info->path);
        return kSaveTiffWriteFailed;
    }
    // The position of an entry whose value lies after the IFD, for a caller
    // that patches the file later; 0 when the descriptor sits inline.
    if (extra)
        static_cast<FileExtraData*>(info->extra)->scratch =
            static_cast<int32_t>(descriptorLength > 4 ? descriptorEntry : 0);
    return kSaveTiffOk;
}
