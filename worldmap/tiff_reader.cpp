#include "worldmap/tiff_reader.h"

#include "core/byte_order.h"
#include "core/logger.h"
#include "worldmap/rgb_swap.h"
#include "worldmap/tiff_tags.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace byteorder;

namespace {

// One IFD entry as stored: the value field is kept raw so that it can be
// decoded in the file's byte order as the entry's type requires.
struct RawEntry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    uint8_t field[4] = {};
    int64_t fieldPosition = 0;  // absolute position of the value field
};

constexpr uint16_t kNoPhotometric = 0xFFFF;

// Bytes read per call in the pixel pass: large enough that the calls cost
// nothing, small enough that a chunk is still in the cache when its rows are
// converted.
constexpr size_t kChunkBytes = size_t{256} << 10;

}  // namespace

// The strip table lives beside the public header state; GetTifHeader fills
// both, so the pixel pass never trusts a count or an offset it has not seen
// checked against the file.
struct TifReaderState : TifHeaderState {
    uint16_t photometric = kNoPhotometric;
    uint32_t stripsNeeded = 0;
    uint64_t fileRowBytes = 0;           // bytes of one row in the file
    RawEntry stripOffsetsEntry;
    RawEntry stripByteCountsEntry;
    std::vector<uint64_t> stripOffsets;  // absolute positions of the strips the image needs
};

namespace {

class HeaderParser {
public:
    HeaderParser(FILE* file, TifReaderState& state) : m_file(file), m_s(state) {}

    // Null on success, else the reason.
    const char* Parse();

private:
    FILE* m_file;
    TifReaderState& m_s;
    int64_t m_fileSize = 0;
    bool m_haveWidth = false, m_haveHeight = false, m_haveStrips = false, m_haveCounts = false, m_tiled = false;
    uint16_t m_compression = 1;
    uint32_t m_bitsCount = 0;
    uint32_t m_bitsValues[3] = {1, 1, 1};
    std::vector<uint64_t> m_stripByteCounts;

    bool BigEndian() const { return m_s.BigEndian(); }
    bool ReadValues(const RawEntry& e, uint32_t maxValues, std::vector<uint32_t>* out);
    bool FirstValue(const RawEntry& e, uint32_t* value);
    uint32_t PartValue(const RawEntry& e);
    const char* TakeEntry(const RawEntry& e);
    const char* Validate();
    const char* ReadStripTable();

public:
    void SetSampleType(Image* image) const;
};

// Up to maxValues values of an integer-typed entry (BYTE, SHORT, LONG and
// their signed forms), inline or at the offset.
bool HeaderParser::ReadValues(const RawEntry& e, uint32_t maxValues, std::vector<uint32_t>* out)
{
    const int size = tifftag::TypeSize(e.type);
    if (size == 0 || size > 4 || e.count == 0) return false;
    const uint32_t n = std::min(e.count, maxValues);
    std::vector<uint8_t> bytes(static_cast<size_t>(n) * size);
    if (static_cast<uint64_t>(e.count) * size <= 4) {
        std::memcpy(bytes.data(), e.field, bytes.size());
    } else {
        // Checked against the file before anything of that size is made.
        const int64_t at = m_s.base + GetU32(e.field, BigEndian());
        if (at + static_cast<int64_t>(bytes.size()) > m_fileSize) return false;
        if (!SeekTo(m_file, at) || !ReadExact(m_file, bytes.data(), bytes.size())) return false;
    }
    out->resize(n);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* p = bytes.data() + static_cast<size_t>(i) * size;
        (*out)[i] = size == 1 ? p[0] : size == 2 ? GetU16(p, BigEndian()) : GetU32(p, BigEndian());
    }
    return true;
}

bool HeaderParser::FirstValue(const RawEntry& e, uint32_t* value)
{
    std::vector<uint32_t> v;
    if (!ReadValues(e, 1, &v)) return false;
    *value = v[0];
    return true;
}

// The "value" of the header state: the value itself for a count of 1, the
// offset of the values otherwise.
uint32_t HeaderParser::PartValue(const RawEntry& e)
{
    uint32_t v = 0;
    if (e.count == 1 && FirstValue(e, &v)) return v;
    return GetU32(e.field, BigEndian());
}

const char* HeaderParser::TakeEntry(const RawEntry& e)
{
    uint32_t v = 0;
    switch (e.tag) {
    case tifftag::kImageWidth:
        if (!FirstValue(e, &v)) return "unreadable ImageWidth";
        m_s.width = v;
        m_haveWidth = true;
        break;
    case tifftag::kImageLength:
        if (!FirstValue(e, &v)) return "unreadable ImageLength";
        m_s.height = v;
        m_haveHeight = true;
        break;
    case tifftag::kBitsPerSample: {
        std::vector<uint32_t> bits;
        if (!ReadValues(e, 3, &bits)) return "unreadable BitsPerSample";
        m_bitsCount = e.count;
        for (size_t i = 0; i < 3; ++i) m_bitsValues[i] = bits[std::min(i, bits.size() - 1)];
        break;
    }
    case tifftag::kCompression:
        if (!FirstValue(e, &v)) return "unreadable Compression";
        m_compression = static_cast<uint16_t>(v);
        break;
    case tifftag::kPhotometric:
        if (!FirstValue(e, &v)) return "unreadable PhotometricInterpretation";
        m_s.photometric = static_cast<uint16_t>(v);
        break;
    case tifftag::kStripOffsets:
        m_s.stripOffsetsType = e.type;
        m_s.stripOffsetsCount = e.count;
        m_s.stripOffsetsValue = PartValue(e);
        m_s.stripOffsetsEntry = e;
        m_haveStrips = true;
        break;
    case tifftag::kSamplesPerPixel:
        if (!FirstValue(e, &v)) return "unreadable SamplesPerPixel";
        if (v != 1 && v != 3) return "SamplesPerPixel is not 1 or 3";
        m_s.samplesPerPixel = static_cast<uint16_t>(v);
        break;
    case tifftag::kRowsPerStrip:
        if (!FirstValue(e, &v)) return "unreadable RowsPerStrip";
        m_s.rowsPerStrip = v;
        break;
    case tifftag::kStripByteCounts:
        m_s.stripByteCountsType = e.type;
        m_s.stripByteCountsCount = e.count;
        m_s.stripByteCountsValue = PartValue(e);
        m_s.stripByteCountsEntry = e;
        m_haveCounts = true;
        break;
    case tifftag::kPlanarConfiguration:
        if (!FirstValue(e, &v)) return "unreadable PlanarConfiguration";
        m_s.planarConfig = static_cast<uint16_t>(v);
        break;
    case tifftag::kTileWidth:
    case tifftag::kTileLength:
    case tifftag::kTileOffsets:
    case tifftag::kTileByteCounts:
        m_tiled = true;
        break;
    case tifftag::kSampleFormat:
        if (!FirstValue(e, &v)) return "unreadable SampleFormat";
        m_s.sampleFormat = static_cast<uint16_t>(v);
        break;
    case kTiffDescriptorTag:
        m_s.descriptorCount = e.count;
        m_s.descriptorOffset = e.count <= 4 ? e.fieldPosition : m_s.base + GetU32(e.field, BigEndian());
        break;
    default:
        break;
    }
    return nullptr;
}

const char* HeaderParser::Parse()
{
    uint8_t head[8];
    m_s.base = Tell(m_file);
    if (m_s.base < 0 || !ReadExact(m_file, head, sizeof head)) return "file too short for a header";
    m_s.byteOrder = GetU16LE(head);
    if (m_s.byteOrder != 0x4949 && m_s.byteOrder != 0x4D4D) return "byte order is not II or MM";
    // 43 is BigTIFF, whose 64-bit offsets this reader does not parse.
    if (GetU16(head + 2, BigEndian()) != 42) return "version is not 42";
    if (fseeko(m_file, 0, SEEK_END) != 0) return "file cannot be measured";
    m_fileSize = Tell(m_file);
    const int64_t ifd = m_s.base + GetU32(head + 4, BigEndian());
    uint8_t countBytes[2];
    if (!SeekTo(m_file, ifd) || !ReadExact(m_file, countBytes, 2)) return "first IFD lies outside the file";
    const uint16_t entries = GetU16(countBytes, BigEndian());
    if (entries == 0) return "empty IFD";
    std::vector<uint8_t> table(static_cast<size_t>(entries) * 12);
    if (!ReadExact(m_file, table.data(), table.size())) return "IFD runs past the end of the file";
    for (uint16_t i = 0; i < entries; ++i) {
        const uint8_t* p = table.data() + static_cast<size_t>(i) * 12;
        RawEntry e;
        e.tag = GetU16(p, BigEndian());
        e.type = GetU16(p + 2, BigEndian());
        e.count = GetU32(p + 4, BigEndian());
        std::memcpy(e.field, p + 8, 4);
        e.fieldPosition = ifd + 2 + static_cast<int64_t>(i) * 12 + 8;
        if (const char* reason = TakeEntry(e)) return reason;
    }
    if (const char* reason = Validate()) return reason;
    return ReadStripTable();
}

const char* HeaderParser::Validate()
{
    if (m_compression != 1) return "compressed (Compression is not 1)";
    if (m_tiled) return "tiled";
    if (!m_haveWidth || !m_haveHeight || m_s.width == 0 || m_s.height == 0 || m_s.width > INT32_MAX ||
        m_s.height > INT32_MAX)
        return "missing or zero ImageWidth/ImageLength";
    const int samples = m_s.samplesPerPixel;
    if (m_s.planarConfig != 1 && m_s.planarConfig != 2) return "bad PlanarConfiguration";
    if (m_s.planarConfig == 2 && samples > 1) return "planar file with several channels";
    // A count of 1 applies to every sample; otherwise one value per sample.
    if (m_bitsCount > 1 && m_bitsCount != static_cast<uint32_t>(samples)) return "BitsPerSample count differs from SamplesPerPixel";
    for (int i = 0; i < samples; ++i)
        if (m_bitsValues[i] != m_bitsValues[0]) return "samples of different depths";
    const uint32_t bits = m_bitsValues[0];
    if (bits != 1 && bits != 8 && bits != 16 && bits != 32) return "BitsPerSample is not 1, 8, 16 or 32";
    if (bits == 1 && samples != 1) return "bilevel file with several channels";
    for (int i = 0; i < 3; ++i) m_s.bitsPerSample[i] = static_cast<uint16_t>(i < samples ? bits : 0);
    // Grey is BlackIsZero or WhiteIsZero (inverted on reading); colour is RGB.
    const uint16_t ph = m_s.photometric;
    if (samples == 1 && ph != kNoPhotometric && ph != 0 && ph != 1) return "grey file with a colour PhotometricInterpretation";
    if (samples == 1 && ph == 0 && m_s.sampleFormat != 1) return "WhiteIsZero with signed or floating samples";
    if (samples == 3 && ph != kNoPhotometric && ph != 2) return "three samples that are not RGB";
    if (!m_haveStrips || m_s.stripOffsetsCount == 0) return "no StripOffsets";
    if (!m_haveCounts || m_s.stripByteCountsCount == 0) return "no StripByteCounts";
    if (m_s.rowsPerStrip == 0) return "RowsPerStrip is 0";
    return nullptr;
}

// Reads the offsets and byte counts of the strips the image needs and checks
// that each strip holds its rows inside the file.
const char* HeaderParser::ReadStripTable()
{
    const uint64_t rows = std::min<uint64_t>(m_s.rowsPerStrip, m_s.height);
    m_s.stripsNeeded = static_cast<uint32_t>((m_s.height + rows - 1) / rows);
    m_s.fileRowBytes = (uint64_t{m_s.bitsPerSample[0]} * m_s.samplesPerPixel * m_s.width + 7) / 8;
    if (m_s.stripOffsetsCount < m_s.stripsNeeded || m_s.stripByteCountsCount < m_s.stripsNeeded)
        return "fewer strips than the rows need";
    const auto readTable = [&](const RawEntry& e, const char* what, std::vector<uint64_t>* out) -> const char* {
        std::vector<uint32_t> values;
        if ((e.type != tifftag::kShort && e.type != tifftag::kLong) || !ReadValues(e, m_s.stripsNeeded, &values)) return what;
        out->assign(values.begin(), values.end());
        return nullptr;
    };
    if (const char* r = readTable(m_s.stripOffsetsEntry, "unreadable StripOffsets", &m_s.stripOffsets)) return r;
    if (const char* r = readTable(m_s.stripByteCountsEntry, "unreadable StripByteCounts", &m_stripByteCounts)) return r;
    // Every row must lie in the file, and the strips together cannot hold
    // more than the file does: a few hundred bytes never claim gigabytes.
    uint64_t total = 0;
    for (uint32_t i = 0; i < m_s.stripsNeeded; ++i) {
        const uint64_t stripRows = std::min<uint64_t>(rows, m_s.height - uint64_t{i} * rows);
        const uint64_t needed = stripRows * m_s.fileRowBytes;
        m_s.stripOffsets[i] += static_cast<uint64_t>(m_s.base);
        if (m_stripByteCounts[i] < needed) return "a strip holds fewer bytes than its rows";
        if (m_s.stripOffsets[i] + needed > static_cast<uint64_t>(m_fileSize)) return "a strip runs past the end of the file";
        total += needed;
    }
    if (total > static_cast<uint64_t>(m_fileSize)) return "the strips claim more bytes than the file holds";
    return nullptr;
}

void HeaderParser::SetSampleType(Image* image) const
{
    unsigned short code = IMG_BILEVEL;
    const int sf = m_s.sampleFormat;
    switch (m_s.bitsPerSample[0]) {
    case 8:
        code = sf == 1 ? IMG_UINT8 : IMG_INT8;
        break;
    case 16:
        code = sf == 1 ? IMG_UINT16 : IMG_INT16;
        break;
    case 32:
        code = sf == 1 ? IMG_UINT32 : sf == 2 ? IMG_INT32 : sf == 3 ? IMG_FLOAT : IMG_BILEVEL;
        break;
    default:
        break;
    }
    image->SetDataType(code);
}

TifReaderState* StateOf(const QUORVANE_FileInfo* info)
{
    return info ? static_cast<TifReaderState*>(static_cast<TifHeaderState*>(info->extra)) : nullptr;
}

bool Fail(QUORVANE_FileInfo* info, const char* method, const char* reason)
{
    Logger::log("ERROR %s: %s", 1, method, reason);
    info->options |= QFI_READ_FAILED;
    return false;
}

// ---------------------------------------------------------------------------
// Pixel pass

void SwapSamples02(uint8_t* row, int width, int sampleBytes)
{
    const int pixelBytes = 3 * sampleBytes;
    if (sampleBytes == 1) {
        SwapRgbBgr(row, row, static_cast<size_t>(width));
        return;
    }
    for (int x = 0; x < width; ++x, row += pixelBytes)
        std::swap_ranges(row, row + sampleBytes, row + 2 * sampleBytes);
}

void ToHostOrder(uint8_t* row, size_t samples, int sampleBytes)
{
    if (sampleBytes == 2) {
        for (size_t i = 0; i < samples; ++i) std::swap(row[2 * i], row[2 * i + 1]);
    } else if (sampleBytes == 4) {
        for (size_t i = 0; i < samples; ++i) {
            std::swap(row[4 * i], row[4 * i + 3]);
            std::swap(row[4 * i + 1], row[4 * i + 2]);
        }
    }
}

// How a file row becomes an image row.
enum class RowForm {
    Direct,       // the file row is the image row
    HighByte,     // 16-bit samples into 8-bit ones
    ExpandBits,   // 1-bit samples into 8-bit 0/255
};

struct RowPlan {
    RowForm form = RowForm::Direct;
    size_t imageRowBytes = 0;  // bytes of the image row that the file row fills
    int sampleBytes = 1;       // in the image, for the channel swap
    bool swapBytes = false;    // multi-byte samples stored big-endian
    bool invert = false;       // WhiteIsZero
};

const char* PlanRows(const TifReaderState& s, const Image& image, RowPlan* plan)
{
    const int bits = s.bitsPerSample[0];
    const int samples = s.samplesPerPixel;
    if (image.GetWidth() != static_cast<int>(s.width) || image.GetHeight() != static_cast<int>(s.height) ||
        image.GetChannels() != samples || !image.GetData())
        return "the image was not prepared for the header's size and channels";
    if (!image.IsInterleaved() && samples > 1) return "the image is planar";
    plan->invert = s.photometric == 0;
    if (image.IsBmp()) {
        if (image.GetDataType() != IMG_UINT8) return "a bitmap-layout image must have 8-bit samples";
        if (bits == 32) return "32-bit samples do not fit an 8-bit image";
        plan->imageRowBytes = static_cast<size_t>(s.width) * samples;
        plan->form = bits == 16 ? RowForm::HighByte : bits == 1 ? RowForm::ExpandBits : RowForm::Direct;
        return nullptr;
    }
    if (image.GetDataBits() != bits) return "the image's sample type differs from the file's";
    plan->imageRowBytes = s.fileRowBytes;
    if (static_cast<uint64_t>(image.GetRowByte()) < s.fileRowBytes) return "the image rows are too short";
    plan->sampleBytes = bits >= 8 ? bits / 8 : 1;
    plan->swapBytes = s.BigEndian() && bits > 8;
    return nullptr;
}

void ConvertRow(const RowPlan& plan, const TifReaderState& s, const uint8_t* in, uint8_t* out)
{
    const size_t n = static_cast<size_t>(s.width) * s.samplesPerPixel;
    switch (plan.form) {
    case RowForm::HighByte: {
        const int high = s.BigEndian() ? 0 : 1;  // the most significant byte of each sample
        for (size_t i = 0; i < n; ++i) out[i] = in[2 * i + high];
        break;
    }
    case RowForm::ExpandBits:
        for (size_t i = 0; i < n; ++i) out[i] = ((in[i >> 3] >> (7 - (i & 7))) & 1) ? 255 : 0;
        break;
    case RowForm::Direct:
        break;
    }
}

void FinishRow(const RowPlan& plan, const TifReaderState& s, const Image& image, uint8_t* row)
{
    const size_t samples = static_cast<size_t>(s.width) * s.samplesPerPixel;
    if (plan.swapBytes) ToHostOrder(row, samples, plan.sampleBytes);
    if (plan.invert) {
        // Unsigned samples only (the header pass refuses the others): the
        // complement of every byte is max - value for any depth, and flips
        // the bits of packed bilevel rows.
        for (size_t i = 0; i < plan.imageRowBytes; ++i) row[i] = static_cast<uint8_t>(~row[i]);
    }
    if (s.samplesPerPixel == 3 && image.IsNormalOrder()) SwapSamples02(row, static_cast<int>(s.width), plan.sampleBytes);
}

// One file row into its image row. A plain 8-bit B, G, R row is exchanged on
// the way (one pass over the bytes); the rest is copied or converted, then
// finished in place.
void StoreRow(const RowPlan& plan, const TifReaderState& s, const Image& image, const uint8_t* in, uint8_t* row)
{
    if (plan.form == RowForm::Direct && plan.sampleBytes == 1 && !plan.invert && s.samplesPerPixel == 3 &&
        image.IsNormalOrder()) {
        SwapRgbBgrStreaming(in, row, s.width);
        return;
    }
    if (plan.form == RowForm::Direct)
        std::memcpy(row, in, plan.imageRowBytes);
    else
        ConvertRow(plan, s, in, row);
    FinishRow(plan, s, image, row);
}

// A read-only mapping of the part of the file the strips occupy.
class StripMapping {
public:
    ~StripMapping()
    {
        if (m_map != MAP_FAILED) munmap(m_map, m_length);
    }
    // False when the file cannot be mapped (not a regular file, a stream
    // without a descriptor) or no longer holds every strip.
    bool Map(FILE* file, const TifReaderState& s)
    {
        const int fd = fileno(file);
        struct stat st;
        if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || s.stripsNeeded == 0) return false;
        const uint64_t rowsPerStrip = std::min<uint64_t>(s.rowsPerStrip, s.height);
        uint64_t first = UINT64_MAX, last = 0, y = 0;
        for (uint32_t strip = 0; strip < s.stripsNeeded; ++strip) {
            const uint64_t rows = std::min<uint64_t>(rowsPerStrip, s.height - y);
            first = std::min(first, s.stripOffsets[strip]);
            last = std::max(last, s.stripOffsets[strip] + rows * s.fileRowBytes);
            y += rows;
        }
        // The file may have shrunk since the header pass: such a file is read
        // through stdio, which reports where it ends.
        if (last > static_cast<uint64_t>(st.st_size) || last <= first) return false;
        const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
        m_start = first / page * page;
        m_length = static_cast<size_t>(last - m_start);
        m_map = mmap(nullptr, m_length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, static_cast<off_t>(m_start));
        return m_map != MAP_FAILED;
    }
    // The bytes at an absolute file position inside the mapped part.
    const uint8_t* At(uint64_t position) const { return static_cast<const uint8_t*>(m_map) + (position - m_start); }

private:
    void* m_map = MAP_FAILED;
    size_t m_length = 0;
    uint64_t m_start = 0;
};

// The pixel pass straight from a mapping of the file, without a kernel copy
// into a buffer first. False when the file cannot be mapped.
bool ReadRowsMapped(const TifReaderState& s, const RowPlan& plan, Image* image, FILE* file)
{
    StripMapping mapping;
    if (!mapping.Map(file, s)) return false;
    const uint64_t rowsPerStrip = std::min<uint64_t>(s.rowsPerStrip, s.height);
    uint32_t y = 0;
    for (uint32_t strip = 0; strip < s.stripsNeeded; ++strip) {
        const uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(s.height, y + rowsPerStrip));
        for (uint64_t at = s.stripOffsets[strip]; y < end; ++y, at += s.fileRowBytes)
            StoreRow(plan, s, *image, mapping.At(at), image->GetData() + static_cast<size_t>(y) * image->GetRowByte());
    }
    return true;
}

// The pixel pass through stdio, for files that cannot be mapped. Rows are
// read in chunks of about 256 KB: straight into the image when its rows
// follow each other like the file's, else through a buffer. Null on
// success, else the reason.
const char* ReadRowsThroughStdio(const TifReaderState& s, const RowPlan& plan, Image* image, FILE* file)
{
    const size_t rowBytes = static_cast<size_t>(s.fileRowBytes);
    const bool straight = plan.form == RowForm::Direct && static_cast<size_t>(image->GetRowByte()) == rowBytes;
    const size_t chunkRows = std::max<size_t>(1, kChunkBytes / std::max<size_t>(rowBytes, 1));
    std::vector<uint8_t> buffer;
    if (!straight) buffer.resize(rowBytes * std::min<size_t>(chunkRows, s.height));
    const uint64_t rowsPerStrip = std::min<uint64_t>(s.rowsPerStrip, s.height);
    uint32_t y = 0;
    for (uint32_t strip = 0; strip < s.stripsNeeded; ++strip) {
        if (!SeekTo(file, static_cast<int64_t>(s.stripOffsets[strip]))) return "cannot seek to a strip";
        const uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(s.height, y + rowsPerStrip));
        while (y < end) {
            const size_t n = std::min<size_t>(chunkRows, end - y);
            uint8_t* first = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
            uint8_t* chunk = straight ? first : buffer.data();
            if (!ReadExact(file, chunk, n * rowBytes)) return "the file ends inside the pixel data";
            for (size_t i = 0; i < n; ++i, ++y) {
                uint8_t* row = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
                if (straight)
                    FinishRow(plan, s, *image, row);
                else
                    StoreRow(plan, s, *image, chunk + i * rowBytes, row);
            }
        }
    }
    return nullptr;
}

}  // namespace

int GetTifHeader(Image* image, QUORVANE_FileInfo* info)
{
    if (!info) return 1;
    info->extra = nullptr;
    if (!image || !info->file) {
        Fail(info, "GetTifHeader", "no image or no file");
        return 1;
    }
    std::unique_ptr<TifReaderState> state;
    const char* reason = nullptr;
    try {
        state = std::make_unique<TifReaderState>();
        HeaderParser parser(info->file, *state);
        reason = parser.Parse();
        if (!reason) {
            image->SetSize(static_cast<int>(state->width), static_cast<int>(state->height));
            image->SetChannels(state->samplesPerPixel);
            image->SetDataType(IMG_BILEVEL);
            parser.SetSampleType(image);
            image->ComputeRowBytes();
        }
    } catch (const std::bad_alloc&) {
        reason = "out of memory";
    }
    if (reason) {
        Fail(info, "GetTifHeader", reason);
        return 1;
    }
    info->extra = static_cast<TifHeaderState*>(state.release());
    info->options &= ~QFI_READ_FAILED;
    return 0;
}

int ReadTifData(Image* image, QUORVANE_FileInfo* info)
{
    if (!info) return 1;
    const TifReaderState* s = StateOf(info);
    if (!s || !image || !info->file) {
        Fail(info, "ReadTifData", "no header state (GetTifHeader failed or was not called)");
        return 1;
    }
    RowPlan plan;
    if (const char* reason = PlanRows(*s, *image, &plan)) {
        Fail(info, "ReadTifData", reason);
        return 1;
    }
    const char* reason = nullptr;
    if (!ReadRowsMapped(*s, plan, image, info->file)) reason = ReadRowsThroughStdio(*s, plan, image, info->file);
    if (reason) {
        Fail(info, "ReadTifData", reason);
        return 1;
    }
    info->options &= ~QFI_READ_FAILED;
    return 0;
}

void TifCleanup(QUORVANE_FileInfo* info)
{
    if (!info) return;
    delete StateOf(info);
    info->extra = nullptr;
}
