#include "projectgraph/framegrp/record_stream.h"

#include "core/byte_order.h"

#include <cstring>
#include <sys/types.h>

uint32_t FloatBits(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

float BitsFloat(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// --- TagEntry ----------------------------------------------------------------

TagEntry TagEntry::Structure(uint16_t tag)
{
    TagEntry e;
    e.tag = tag;
    return e;
}

TagEntry TagEntry::Int32(uint16_t tag, int32_t v)
{
    TagEntry e;
    e.tag = tag;
    e.type = kRecordInt32;
    e.count = 1;
    byteorder::PutU32LE(e.value, static_cast<uint32_t>(v));
    return e;
}

TagEntry TagEntry::Int16(uint16_t tag, int16_t a)
{
    TagEntry e;
    e.tag = tag;
    e.type = kRecordInt16;
    e.count = 1;
    byteorder::PutU16LE(e.value, static_cast<uint16_t>(a));
    return e;
}

TagEntry TagEntry::Int16Pair(uint16_t tag, int16_t a, int16_t b)
{
    TagEntry e;
    e.tag = tag;
    e.type = kRecordInt16;
    e.count = 2;
    byteorder::PutU16LE(e.value, static_cast<uint16_t>(a));
    byteorder::PutU16LE(e.value + 2, static_cast<uint16_t>(b));
    return e;
}

TagEntry TagEntry::Bytes(uint16_t tag, uint32_t count, const uint8_t* bytes)
{
    TagEntry e;
    e.tag = tag;
    e.type = kRecordBytes;
    e.count = count;
    for (uint32_t i = 0; i < count && i < 4; ++i) e.value[i] = bytes[i];
    return e;
}

TagEntry TagEntry::Float(uint16_t tag, uint32_t count, float first)
{
    TagEntry e;
    e.tag = tag;
    e.type = kRecordFloat;
    e.count = count;
    byteorder::PutU32LE(e.value, FloatBits(first));
    return e;
}

TagEntry TagEntry::Chars(uint16_t tag, uint32_t count)
{
    TagEntry e;
    e.tag = tag;
    e.type = kRecordChars;
    e.count = count;
    return e;
}

TagEntry TagEntry::LinkIndex(uint16_t tag, int16_t index)
{
    TagEntry e;
    e.tag = tag;
    e.type = kRecordLinkIndex;
    e.count = 1;
    byteorder::PutU16LE(e.value, static_cast<uint16_t>(index));
    return e;
}

TagEntry TagEntry::Block(uint16_t tag, uint32_t count)
{
    TagEntry e;
    e.tag = tag;
    e.type = kRecordBlock;
    e.count = count;
    return e;
}

int32_t TagEntry::ValueInt32() const
{
    return static_cast<int32_t>(byteorder::GetU32LE(value));
}

int16_t TagEntry::ValueInt16(int i) const
{
    return static_cast<int16_t>(byteorder::GetU16LE(value + (i ? 2 : 0)));
}

float TagEntry::ValueFloat() const
{
    return BitsFloat(byteorder::GetU32LE(value));
}

void TagEntry::Encode(uint8_t out[kSize]) const
{
    byteorder::PutU16LE(out, tag);
    byteorder::PutU16LE(out + 2, type);
    byteorder::PutU32LE(out + 4, count);
    std::memcpy(out + 8, value, 4);
}

TagEntry TagEntry::Decode(const uint8_t in[kSize])
{
    TagEntry e;
    e.tag = byteorder::GetU16LE(in);
    e.type = byteorder::GetU16LE(in + 2);
    e.count = byteorder::GetU32LE(in + 4);
    std::memcpy(e.value, in + 8, 4);
    return e;
}

uint64_t TagEntry::FollowingBytes() const
{
    if (type == kRecordFloat) return count > 1 ? (static_cast<uint64_t>(count) - 1) * 4 : 0;
    if (type == kRecordChars) return count;
    return 0;
}

// --- RecordWriter --------------------------------------------------------------

bool RecordWriter::Raw(const void* bytes, size_t n)
{
    if (!m_ok) return false;
    if (n && (!m_file || std::fwrite(bytes, 1, n, m_file) != n)) m_ok = false;
    return m_ok;
}

bool RecordWriter::Entry(const TagEntry& entry)
{
    uint8_t buf[TagEntry::kSize];
    entry.Encode(buf);
    return Raw(buf, sizeof buf);
}

bool RecordWriter::Int32(int32_t v)
{
    uint8_t b[4];
    byteorder::PutU32LE(b, static_cast<uint32_t>(v));
    return Raw(b, 4);
}

bool RecordWriter::Int16(int16_t v)
{
    uint8_t b[2];
    byteorder::PutU16LE(b, static_cast<uint16_t>(v));
    return Raw(b, 2);
}

bool RecordWriter::Byte(uint8_t v)
{
    return Raw(&v, 1);
}

bool RecordWriter::Float(float v)
{
    uint8_t b[4];
    byteorder::PutU32LE(b, FloatBits(v));
    return Raw(b, 4);
}

bool RecordWriter::Flush()
{
    if (m_ok && (!m_file || std::fflush(m_file) != 0 || std::ferror(m_file))) m_ok = false;
    return m_ok;
}

// --- RecordReader --------------------------------------------------------------

namespace {
// A stream whose size cannot be measured (a pipe) is trusted this far, so
// that a corrupt count cannot ask for more memory than a project can hold.
constexpr uint64_t kUnmeasuredLimit = uint64_t(1) << 28;
}  // namespace

RecordReader::RecordReader(FILE* file) : m_file(file)
{
    if (!file) return;
    const off_t here = ftello(file);
    if (here >= 0 && fseeko(file, 0, SEEK_END) == 0) {
        const off_t end = ftello(file);
        if (fseeko(file, here, SEEK_SET) == 0 && end >= here) {
            m_remaining = static_cast<uint64_t>(end - here);
            return;
        }
    }
    m_remaining = kUnmeasuredLimit;
}

bool RecordReader::Raw(void* bytes, size_t n)
{
    if (n == 0) return true;
    if (!m_file || n > m_remaining) return false;
    const size_t got = std::fread(bytes, 1, n, m_file);
    m_remaining -= got;
    return got == n;
}

bool RecordReader::Entry(TagEntry& entry)
{
    uint8_t buf[TagEntry::kSize];
    if (!Raw(buf, sizeof buf)) return false;
    entry = TagEntry::Decode(buf);
    return true;
}

bool RecordReader::Int32(int32_t& v)
{
    uint8_t b[4];
    if (!Raw(b, 4)) return false;
    v = static_cast<int32_t>(byteorder::GetU32LE(b));
    return true;
}

bool RecordReader::Int16(int16_t& v)
{
    uint8_t b[2];
    if (!Raw(b, 2)) return false;
    v = static_cast<int16_t>(byteorder::GetU16LE(b));
    return true;
}

bool RecordReader::Byte(uint8_t& v)
{
    return Raw(&v, 1);
}

bool RecordReader::Float(float& v)
{
    uint8_t b[4];
    if (!Raw(b, 4)) return false;
    v = BitsFloat(byteorder::GetU32LE(b));
    return true;
}

bool RecordReader::Skip(uint64_t n)
{
    if (n > m_remaining) return false;
    uint8_t chunk[256];
    while (n > 0) {
        const size_t step = n < sizeof chunk ? static_cast<size_t>(n) : sizeof chunk;
        if (!Raw(chunk, step)) return false;
        n -= step;
    }
    return true;
}

bool RecordReader::Fits(uint64_t count, uint64_t unit) const
{
    if (unit == 0) return true;
    return count <= m_remaining / unit;
}
