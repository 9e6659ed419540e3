// The 12-byte tagged entries in which the image graph is stored inside a
// project file, and the little-endian field reader and writer that the graph
// (ImageGroup, ImageFrame::IO) uses on the project file's open FILE.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Type codes of an entry.
enum RecordType : uint16_t {
    kRecordNone = 0,        // structure entries: only the tag is read
    kRecordBytes = 2,       // `count` bytes packed in the value
    kRecordInt16 = 3,       // `count` int16 packed in the value, the first at offset 8
    kRecordInt32 = 4,       // one int32 in the value
    kRecordFloat = 5,       // the first float in the value, count - 1 more following the entry
    kRecordChars = 6,       // `count` characters following the entry, no terminator
    kRecordLinkIndex = 8,   // a 16-bit link index in the value
    kRecordBlock = 255,     // a block following the entry
};

// One entry: uint16 tag, uint16 type, uint32 count, 4 value bytes, all
// little-endian on disk.
struct TagEntry {
    uint16_t tag = 0;
    uint16_t type = kRecordNone;
    uint32_t count = 0;
    uint8_t value[4] = {};

    static constexpr size_t kSize = 12;

    // Entry builders for the kinds the graph writes. Unused value bytes are 0.
    static TagEntry Structure(uint16_t tag);
    static TagEntry Int32(uint16_t tag, int32_t v);
    static TagEntry Int16(uint16_t tag, int16_t a);
    static TagEntry Int16Pair(uint16_t tag, int16_t a, int16_t b);
    static TagEntry Bytes(uint16_t tag, uint32_t count, const uint8_t* bytes);
    static TagEntry Float(uint16_t tag, uint32_t count, float first);
    static TagEntry Chars(uint16_t tag, uint32_t count);
    static TagEntry LinkIndex(uint16_t tag, int16_t index);
    static TagEntry Block(uint16_t tag, uint32_t count);

    // Value readers (little-endian).
    int32_t ValueInt32() const;
    int16_t ValueInt16(int i) const;  // i = 0 or 1
    float ValueFloat() const;

    void Encode(uint8_t out[kSize]) const;
    static TagEntry Decode(const uint8_t in[kSize]);

    // Bytes of data that follow an entry of a type that states their size
    // (float and character entries); 0 for every other type.
    uint64_t FollowingBytes() const;
};

// A float's bit pattern and back, for float fields stored as 32-bit
// little-endian words.
uint32_t FloatBits(float f);
float BitsFloat(uint32_t bits);

// Writes entries and fields at the file's position. The first failed write
// is remembered: every later write is skipped and ok() stays false.
class RecordWriter {
public:
    explicit RecordWriter(FILE* file) : m_file(file) {}

    bool Entry(const TagEntry& entry);
    bool Raw(const void* bytes, size_t n);
    bool Int32(int32_t v);
    bool Int16(int16_t v);
    bool Byte(uint8_t v);
    bool Float(float v);
    // Pushes the buffered bytes to the file (so that a full disk shows here).
    bool Flush();

    bool ok() const { return m_ok; }

private:
    FILE* m_file;
    bool m_ok = true;
};

// Reads entries and fields from the file's position, knowing how many bytes
// are left, so that a count can be checked before anything is allocated.
class RecordReader {
public:
    explicit RecordReader(FILE* file);

    // False at the end of the file or on a short read (the entry is then
    // not valid).
    bool Entry(TagEntry& entry);
    bool Raw(void* bytes, size_t n);
    bool Int32(int32_t& v);
    bool Int16(int16_t& v);
    bool Byte(uint8_t& v);
    bool Float(float& v);
    // Skips n bytes; false when fewer are left.
    bool Skip(uint64_t n);

    // Bytes left in the file after the position.
    uint64_t Remaining() const { return m_remaining; }
    // True when `count` items of `unit` bytes can still follow.
    bool Fits(uint64_t count, uint64_t unit) const;

private:
    FILE* m_file;
    uint64_t m_remaining = 0;
};
