#include "platform/imgcore/exif_info.h"

#include "core/byte_order.h"
#include "core/logger.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

void ExifInfo::Reset()
{
    *this = ExifInfo();
}

void ExifInfo::SetMake(const char* make)
{
    m_hasMake = make != nullptr;
    m_make = make ? make : "";
}

void ExifInfo::SetModel(const char* model)
{
    m_hasModel = model != nullptr;
    m_model = model ? model : "";
}

namespace {

// Tags read from the first directory (IFD0) and from the Exif directory.
enum : uint16_t {
    kTagImageWidth = 0x0100,
    kTagImageLength = 0x0101,
    kTagMake = 0x010F,
    kTagModel = 0x0110,
    kTagOrientation = 0x0112,
    kTagDateTime = 0x0132,
    kTagExifIfd = 0x8769,
    kTagExposureTime = 0x829A,
    kTagFNumber = 0x829D,
    kTagIsoSpeed = 0x8827,
    kTagDateTimeOriginal = 0x9003,
    kTagExposureBias = 0x9204,
    kTagFocalLength = 0x920A,
    kTagPixelXDimension = 0xA002,
    kTagPixelYDimension = 0xA003,
    kTagFocalPlaneXResolution = 0xA20E,
    kTagFocalPlaneYResolution = 0xA20F,
    kTagFocalPlaneResolutionUnit = 0xA210,
    kTagWhiteBalance = 0xA403,
    kTagFocalLength35 = 0xA405,
};

// TIFF field types and their sizes in bytes (0: unknown type).
size_t TypeSize(uint16_t type)
{
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;   // BYTE ASCII SBYTE UNDEFINED
    case 3: case 8: return 2;                   // SHORT SSHORT
    case 4: case 9: case 11: case 13: return 4; // LONG SLONG FLOAT IFD
    case 5: case 10: case 12: return 8;         // RATIONAL SRATIONAL DOUBLE
    default: return 0;
    }
}

// Random access to the bytes of a TIFF structure: a block in memory or a
// TIFF file on disk. Offsets are relative to the TIFF header.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual bool Read(uint64_t offset, void* dst, size_t n) const = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const unsigned char* data, size_t size) : m_data(data), m_size(size) {}
    bool Read(uint64_t offset, void* dst, size_t n) const override
    {
        if (offset > m_size || n > m_size - offset) return false;
        if (n) std::memcpy(dst, m_data + offset, n);
        return true;
    }

private:
    const unsigned char* m_data;
    size_t m_size;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(FILE* file) : m_file(file) {}
    bool Read(uint64_t offset, void* dst, size_t n) const override
    {
        if (n == 0) return true;
        if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
        if (fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
        return std::fread(dst, 1, n, m_file) == n;
    }

private:
    FILE* m_file;
};

// One directory entry as stored (value field still raw).
struct Entry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    unsigned char value[4] = {};
};

class TiffReader {
public:
    explicit TiffReader(const ByteSource& source) : m_source(source) {}

    // Reads the 8-byte header; false when it is not a classic TIFF header.
    bool ReadHeader(uint32_t& firstIfd)
    {
        unsigned char h[8];
        if (!m_source.Read(0, h, sizeof h)) return false;
        if (h[0] == 'I' && h[1] == 'I') m_bigEndian = false;
        else if (h[0] == 'M' && h[1] == 'M') m_bigEndian = true;
        else return false;
        if (U16(h + 2) != 42) return false;
        firstIfd = U32(h + 4);
        return true;
    }

    // Reads the entries of the directory at `offset`; entries past the end of
    // the data are dropped. False when not even the entry count is readable.
    bool ReadIfd(uint32_t offset, std::vector<Entry>& entries) const
    {
        entries.clear();
        unsigned char c[2];
        if (!m_source.Read(offset, c, 2)) return false;
        const uint16_t n = U16(c);
        // One read for the whole table; when the data ends inside it, the
        // entries that are complete are taken one by one.
        std::vector<unsigned char> table(12u * n);
        uint32_t complete = n;
        if (!m_source.Read(static_cast<uint64_t>(offset) + 2, table.data(), table.size())) {
            complete = 0;
            while (complete < n &&
                   m_source.Read(static_cast<uint64_t>(offset) + 2 + 12ull * complete, table.data() + 12u * complete, 12))
                ++complete;
        }
        entries.reserve(complete);
        for (uint32_t i = 0; i < complete; ++i) {
            const unsigned char* raw = table.data() + 12u * i;
            Entry e;
            e.tag = U16(raw);
            e.type = U16(raw + 2);
            e.count = U32(raw + 4);
            std::memcpy(e.value, raw + 8, 4);
            entries.push_back(e);
        }
        return true;
    }

    // The bytes of an entry's value (inline or at its offset); empty when the
    // type is unknown, the count is zero or the data lies outside the source.
    // At most `limit` bytes are fetched.
    std::vector<unsigned char> Bytes(const Entry& e, size_t limit = 64) const
    {
        const size_t unit = TypeSize(e.type);
        if (unit == 0 || e.count == 0) return {};
        const uint64_t total = static_cast<uint64_t>(unit) * e.count;
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(total, limit));
        std::vector<unsigned char> out(wanted);
        if (total <= 4) {
            std::memcpy(out.data(), e.value, wanted);
            return out;
        }
        if (!m_source.Read(U32(e.value), out.data(), wanted)) return {};
        return out;
    }

    // First value of an integer entry (BYTE, SHORT, LONG, IFD and the signed kinds).
    bool Integer(const Entry& e, int64_t& v) const
    {
        const std::vector<unsigned char> b = Bytes(e, 8);
        if (b.empty()) return false;
        switch (e.type) {
        case 1: case 7: v = b[0]; return true;
        case 6: v = static_cast<int8_t>(b[0]); return true;
        case 3: v = U16(b.data()); return true;
        case 8: v = static_cast<int16_t>(U16(b.data())); return true;
        case 4: case 13: v = U32(b.data()); return true;
        case 9: v = static_cast<int32_t>(U32(b.data())); return true;
        default: return false;
        }
    }

    // First value of a numeric entry as a double; rationals with a zero
    // denominator count as missing.
    bool Number(const Entry& e, double& v) const
    {
        if (e.type == 5 || e.type == 10) {
            const std::vector<unsigned char> b = Bytes(e, 8);
            if (b.size() < 8) return false;
            const uint32_t num = U32(b.data());
            const uint32_t den = U32(b.data() + 4);
            if (den == 0) return false;
            if (e.type == 10) v = static_cast<double>(static_cast<int32_t>(num)) / static_cast<int32_t>(den);
            else v = static_cast<double>(num) / den;
            return true;
        }
        if (e.type == 11) {
            const std::vector<unsigned char> b = Bytes(e, 4);
            if (b.size() < 4) return false;
            const uint32_t bits = U32(b.data());
            float f;
            std::memcpy(&f, &bits, 4);
            v = f;
            return std::isfinite(v);
        }
        if (e.type == 12) {
            const std::vector<unsigned char> b = Bytes(e, 8);
            if (b.size() < 8) return false;
            const uint64_t bits = m_bigEndian ? (static_cast<uint64_t>(U32(b.data())) << 32) | U32(b.data() + 4)
                                              : (static_cast<uint64_t>(U32(b.data() + 4)) << 32) | U32(b.data());
            std::memcpy(&v, &bits, 8);
            return std::isfinite(v);
        }
        int64_t i;
        if (!Integer(e, i)) return false;
        v = static_cast<double>(i);
        return true;
    }

    // An ASCII entry up to its first NUL, without trailing blanks.
    bool Text(const Entry& e, std::string& s, size_t limit = 256) const
    {
        if (e.type != 2 && e.type != 7 && e.type != 1) return false;
        const std::vector<unsigned char> b = Bytes(e, limit);
        if (b.empty()) return false;
        size_t n = 0;
        while (n < b.size() && b[n] != 0) ++n;
        while (n > 0 && b[n - 1] == ' ') --n;
        s.assign(reinterpret_cast<const char*>(b.data()), n);
        return true;
    }

    uint16_t U16(const unsigned char* p) const { return byteorder::GetU16(p, m_bigEndian); }
    uint32_t U32(const unsigned char* p) const { return byteorder::GetU32(p, m_bigEndian); }

private:
    const ByteSource& m_source;
    bool m_bigEndian = false;
};

const Entry* Find(const std::vector<Entry>& entries, uint16_t tag)
{
    for (const Entry& e : entries)
        if (e.tag == tag) return &e;
    return nullptr;
}

int32_t ClampToInt32(double v)
{
    if (!(v > -2147483648.0)) return v != v ? 0 : INT32_MIN;
    if (v >= 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(v);
}

void CopyDate(const std::string& text, char (&out)[20])
{
    const size_t n = std::min(text.size(), sizeof out - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

// What the directories give beyond the record itself: the image size of a
// TIFF file's first directory and the focal-plane resolution.
struct TiffExtras {
    int32_t width = 0;   // IFD0 image width, 0 unknown
    int32_t height = 0;
    double focalPlaneXRes = 0.0;  // pixels per unit
    double focalPlaneYRes = 0.0;
    double unitMm = 0.0;          // the resolution unit in millimetres
};

// Fills `info` from the TIFF structure behind `source`. Returns true when an
// Exif directory was read.
bool ParseTiff(const ByteSource& source, ExifInfo& info, TiffExtras& extras)
{
    TiffReader reader(source);
    uint32_t ifd0 = 0;
    if (!reader.ReadHeader(ifd0)) return false;
    std::vector<Entry> entries;
    if (!reader.ReadIfd(ifd0, entries)) return false;

    std::string text;
    double number = 0.0;
    int64_t integer = 0;
    if (const Entry* e = Find(entries, kTagMake); e && reader.Text(*e, text)) info.SetMake(text.c_str());
    if (const Entry* e = Find(entries, kTagModel); e && reader.Text(*e, text)) info.SetModel(text.c_str());
    if (const Entry* e = Find(entries, kTagOrientation); e && reader.Integer(*e, integer))
        info.m_orientation = ClampToInt32(static_cast<double>(integer));
    if (const Entry* e = Find(entries, kTagDateTime); e && reader.Text(*e, text)) CopyDate(text, info.m_dateTime);
    if (const Entry* e = Find(entries, kTagImageWidth); e && reader.Integer(*e, integer))
        extras.width = ClampToInt32(static_cast<double>(integer));
    if (const Entry* e = Find(entries, kTagImageLength); e && reader.Integer(*e, integer))
        extras.height = ClampToInt32(static_cast<double>(integer));

    const Entry* exifPointer = Find(entries, kTagExifIfd);
    if (!exifPointer || !reader.Integer(*exifPointer, integer) || integer <= 0 || integer > UINT32_MAX) return false;
    std::vector<Entry> exif;
    if (!reader.ReadIfd(static_cast<uint32_t>(integer), exif)) return false;
    info.m_hasExif = 1;

    if (const Entry* e = Find(exif, kTagExposureTime); e && reader.Number(*e, number) && number > 0)
        info.m_exposureTime = static_cast<float>(number);
    if (const Entry* e = Find(exif, kTagFNumber); e && reader.Number(*e, number) && number > 0)
        info.m_fNumber = static_cast<float>(number);
    if (const Entry* e = Find(exif, kTagIsoSpeed); e && reader.Integer(*e, integer))
        info.m_isoSpeed = ClampToInt32(static_cast<double>(integer));
    if (const Entry* e = Find(exif, kTagDateTimeOriginal); e && reader.Text(*e, text) && !text.empty())
        CopyDate(text, info.m_dateTime);
    if (const Entry* e = Find(exif, kTagExposureBias); e && reader.Number(*e, number) && std::fabs(number) < 1e6) {
        info.m_exposureBiasEv = static_cast<float>(number);
        info.m_exposureBias = static_cast<int32_t>(std::lround(number * 3.0));
    }
    if (const Entry* e = Find(exif, kTagFocalLength); e && reader.Number(*e, number) && number > 0 && number < 1e6)
        info.m_focalLength = static_cast<float>(number);
    if (const Entry* e = Find(exif, kTagFocalLength35); e && reader.Integer(*e, integer) && integer > 0)
        info.m_focalLength35 = static_cast<float>(integer);
    if (const Entry* e = Find(exif, kTagWhiteBalance); e && reader.Integer(*e, integer))
        info.m_whiteBalance = ClampToInt32(static_cast<double>(integer));
    if (const Entry* e = Find(exif, kTagPixelXDimension); e && reader.Integer(*e, integer))
        info.m_width = ClampToInt32(static_cast<double>(integer));
    if (const Entry* e = Find(exif, kTagPixelYDimension); e && reader.Integer(*e, integer))
        info.m_height = ClampToInt32(static_cast<double>(integer));

    // Units of the focal-plane resolution: 2 inch, 3 cm, 4 mm, 5 um.
    int64_t unit = 2;
    if (const Entry* e = Find(exif, kTagFocalPlaneXResolution)) reader.Number(*e, extras.focalPlaneXRes);
    if (const Entry* e = Find(exif, kTagFocalPlaneYResolution)) reader.Number(*e, extras.focalPlaneYRes);
    if (const Entry* e = Find(exif, kTagFocalPlaneResolutionUnit)) reader.Integer(*e, unit);
    switch (unit) {
    case 2: extras.unitMm = 25.4; break;
    case 3: extras.unitMm = 10.0; break;
    case 4: extras.unitMm = 1.0; break;
    case 5: extras.unitMm = 0.001; break;
    default: extras.unitMm = 0.0; break;
    }
    return true;
}

// Size fallback and crop factor, once the image's own size is known.
void Finish(ExifInfo& info, const TiffExtras& extras, int32_t imageWidth, int32_t imageHeight)
{
    if (info.m_width <= 0 || info.m_height <= 0) {
        info.m_width = imageWidth;
        info.m_height = imageHeight;
    }
    if (info.m_focalLength <= 0.0f) return;
    if (info.m_focalLength35 > 0.0f) {
        info.m_cropFactor = info.m_focalLength35 / info.m_focalLength;
        info.m_cropFactorSource = 1;
        return;
    }
    // Sensor size from the focal-plane resolution; 43.2666 mm is the
    // diagonal of a 36 x 24 mm frame.
    if (extras.focalPlaneXRes > 0 && extras.focalPlaneYRes > 0 && extras.unitMm > 0 && info.m_width > 0 &&
        info.m_height > 0) {
        const double w = info.m_width * extras.unitMm / extras.focalPlaneXRes;
        const double h = info.m_height * extras.unitMm / extras.focalPlaneYRes;
        const double diagonal = std::hypot(w, h);
        if (diagonal > 0 && std::isfinite(diagonal)) {
            info.m_cropFactor = static_cast<float>(43.2666 / diagonal);
            info.m_cropFactorSource = 2;
        }
    }
}

// JPEG: walks the marker segments up to the first scan, keeping the frame
// size and the first APP1 segment that carries Exif data.
bool ReadJpegSegments(FILE* file, std::vector<unsigned char>& exif, int32_t& width, int32_t& height)
{
    unsigned char soi[2];
    if (std::fread(soi, 1, 2, file) != 2 || soi[0] != 0xFF || soi[1] != 0xD8) return false;
    for (;;) {
        int c = std::fgetc(file);
        if (c == EOF) return true;
        if (c != 0xFF) return true;  // not at a marker: the header is damaged; keep what was found
        int marker;
        do marker = std::fgetc(file);
        while (marker == 0xFF);
        if (marker == EOF) return true;
        if (marker == 0xD9 || marker == 0xDA) return true;           // end of image, start of scan
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length field
        unsigned char len[2];
        if (std::fread(len, 1, 2, file) != 2) return true;
        const size_t length = static_cast<size_t>((len[0] << 8) | len[1]);
        if (length < 2) return true;
        const size_t payload = length - 2;
        const bool isFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (marker == 0xE1 && exif.empty() && payload >= 6) {
            std::vector<unsigned char> data(payload);
            if (std::fread(data.data(), 1, payload, file) != payload) return true;
            if (std::memcmp(data.data(), "Exif\0\0", 6) == 0) exif.assign(data.begin() + 6, data.end());
            continue;
        }
        if (isFrame && payload >= 5) {
            unsigned char sof[5];
            if (std::fread(sof, 1, 5, file) != 5) return true;
            height = (sof[1] << 8) | sof[2];
            width = (sof[3] << 8) | sof[4];
            if (fseeko(file, static_cast<off_t>(payload - 5), SEEK_CUR) != 0) return true;
            continue;
        }
        if (fseeko(file, static_cast<off_t>(payload), SEEK_CUR) != 0) return true;
    }
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

bool ExtractExif::ParseTiffBlock(const unsigned char* data, size_t size, ExifInfo& info)
{
    info.Reset();
    if (!data) return false;
    TiffExtras extras;
    MemorySource source(data, size);
    ParseTiff(source, info, extras);
    Finish(info, extras, extras.width, extras.height);
    return info.m_hasExif != 0;
}

bool ExtractExif::Run(const char* path, ExifInfo& info)
{
    info.Reset();
    if (!path) return false;
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) {
        Logger::log("ERROR ExtractExif::Run: cannot open %s", 1, path);
        return false;
    }
    unsigned char magic[4] = {};
    const size_t got = std::fread(magic, 1, sizeof magic, file.get());
    std::rewind(file.get());
    TiffExtras extras;
    if (got >= 2 && magic[0] == 0xFF && magic[1] == 0xD8) {
        std::vector<unsigned char> block;
        int32_t width = 0, height = 0;
        ReadJpegSegments(file.get(), block, width, height);
        if (!block.empty()) {
            MemorySource source(block.data(), block.size());
            ParseTiff(source, info, extras);
        }
        Finish(info, extras, width, height);
    } else if (got == 4 && ((magic[0] == 'I' && magic[1] == 'I') || (magic[0] == 'M' && magic[1] == 'M'))) {
        FileSource source(file.get());
        ParseTiff(source, info, extras);
        Finish(info, extras, extras.width, extras.height);
    } else {
        Logger::log("Exif: %s is neither a JPEG nor a TIFF file", 4, path);
    }
    return info.m_hasExif != 0;
}
