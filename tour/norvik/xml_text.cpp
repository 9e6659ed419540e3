#include "tour/norvik/xml_text.h"

#include <cstdint>

namespace norvik {

namespace {

// Windows-1252 at 0x80..0x9F; the five unassigned bytes keep their Latin-1
// (C1) code points, which XML 1.0 allows.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the valid UTF-8 sequence at `p` (1 to 4), or 0 when the bytes
// there do not form one (overlong forms and surrogates included).
int Utf8SequenceLength(const unsigned char* p)
{
    const unsigned char c = p[0];
    if (c >= 0xC2 && c <= 0xDF) return IsContinuation(p[1]) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80;
        const unsigned char hi = c == 0xED ? 0x9F : 0xBF;
        return p[1] >= lo && p[1] <= hi && IsContinuation(p[2]) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const unsigned char lo = c == 0xF0 ? 0x90 : 0x80;
        const unsigned char hi = c == 0xF4 ? 0x8F : 0xBF;
        return p[1] >= lo && p[1] <= hi && IsContinuation(p[2]) && IsContinuation(p[3]) ? 4 : 0;
    }
    return 0;
}

bool IsNameStart(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

}  // namespace

std::string XmlCharacterData(const char* text)
{
    std::string out;
    if (!text) return out;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        const unsigned char c = *p;
        if (c < 0x80) {
            if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') out.push_back(static_cast<char>(c));
            ++p;
            continue;
        }
        // The terminating zero is never a continuation byte, so the checks
        // below stop at the end of the text.
        const int length = Utf8SequenceLength(p);
        if (length == 0) {
            AppendUtf8(out, c < 0xA0 ? kCp1252High[c - 0x80] : c);
            ++p;
            continue;
        }
        const bool nonCharacter = length == 3 && c == 0xEF && p[1] == 0xBF && (p[2] == 0xBE || p[2] == 0xBF);
        if (!nonCharacter) out.append(reinterpret_cast<const char*>(p), static_cast<size_t>(length));
        p += length;
    }
    return out;
}

bool IsXmlName(const char* name)
{
    if (!name || !IsNameStart(static_cast<unsigned char>(name[0]))) return false;
    for (const char* p = name + 1; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (!IsNameStart(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.') return false;
    }
    // Non-ASCII bytes must form valid UTF-8: the name is printed unchanged.
    return XmlCharacterData(name) == name;
}

}  // namespace norvik
