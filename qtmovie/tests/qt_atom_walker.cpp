#include "qtmovie/tests/qt_atom_walker.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace qtwalk {

uint32_t Be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }
uint16_t Be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
float BeFloat(const uint8_t* p)
{
    const uint32_t bits = Be32(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

const Atom* Atom::Find(const std::string& t) const
{
    for (const Atom& c : children)
        if (c.type == t) return &c;
    return nullptr;
}

std::vector<const Atom*> Atom::FindAll(const std::string& t) const
{
    std::vector<const Atom*> out;
    for (const Atom& c : children)
        if (c.type == t) out.push_back(&c);
    return out;
}

const Atom* Atom::At(const std::string& path) const
{
    const Atom* a = this;
    size_t start = 0;
    while (a && start <= path.size()) {
        const size_t slash = path.find('/', start);
        a = a->Find(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return a;
}

namespace {

bool IsContainer(const std::string& t)
{
    static const char* kinds[] = {"moov", "trak", "mdia", "minf", "stbl", "edts", "dinf", "tref", "udta", "gmhd"};
    for (const char* k : kinds)
        if (t == k) return true;
    return false;
}

bool Walk(const uint8_t* p, size_t size, uint64_t base, std::vector<Atom>& out, std::string& error)
{
    size_t at = 0;
    while (at + 8 <= size) {
        const uint32_t atomSize = Be32(p + at);
        if (atomSize < 8 || atomSize > size - at) {
            error = "bad atom size at " + std::to_string(base + at);
            return false;
        }
        Atom a;
        a.type.assign(reinterpret_cast<const char*>(p + at + 4), 4);
        a.offset = base + at;
        a.data.assign(p + at + 8, p + at + atomSize);
        if (IsContainer(a.type)) {
            size_t inner = atomSize - 8;
            // A classic user data list may end with a zero word.
            if (a.type == "udta" && inner >= 4 && Be32(p + at + atomSize - 4) == 0) inner -= 4;
            if (!Walk(p + at + 8, inner, base + at + 8, a.children, error)) return false;
        }
        out.push_back(std::move(a));
        at += atomSize;
    }
    if (at != size) {
        error = "trailing bytes at " + std::to_string(base + at);
        return false;
    }
    return true;
}

bool WalkQt(const uint8_t* p, size_t size, Atom& atom, std::string& error)
{
    if (size < 20) return error = "short QT atom", false;
    const uint32_t atomSize = Be32(p);
    if (atomSize < 20 || atomSize > size) return error = "bad QT atom size", false;
    atom.type.assign(reinterpret_cast<const char*>(p + 4), 4);
    atom.id = Be32(p + 8);
    const uint16_t children = Be16(p + 14);
    size_t at = 20;
    if (children == 0) {
        atom.data.assign(p + 20, p + atomSize);
        return true;
    }
    for (uint16_t i = 0; i < children; ++i) {
        Atom child;
        if (at >= atomSize || !WalkQt(p + at, atomSize - at, child, error)) return false;
        at += Be32(p + at);
        atom.children.push_back(std::move(child));
    }
    if (at != atomSize) return error = "QT atom children do not fill " + atom.type, false;
    return true;
}

}  // namespace

bool ReadFile(const std::string& path, std::vector<Atom>& top, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return error = "cannot open " + path, false;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return Walk(bytes.data(), bytes.size(), 0, top, error);
}

bool ReadContainer(const std::vector<uint8_t>& bytes, Atom& root, std::string& error)
{
    if (bytes.size() < 32) return error = "short container", false;
    for (int i = 0; i < 12; ++i)
        if (bytes[i] != 0) return error = "container header not zero", false;
    if (!WalkQt(bytes.data() + 12, bytes.size() - 12, root, error)) return false;
    if (root.type != "sean" || Be32(bytes.data() + 12) != bytes.size() - 12) return error = "root is not sean", false;
    return true;
}

bool ReadTracks(const Atom& moov, std::vector<Track>& tracks, std::string& error)
{
    for (const Atom* trak : moov.FindAll("trak")) {
        Track t;
        t.trak = trak;
        const Atom* tkhd = trak->Find("tkhd");
        if (!tkhd || tkhd->data.size() != 84) return error = "tkhd", false;
        t.enabled = tkhd->data[3] & 1;
        t.id = Be32(&tkhd->data[12]);
        t.volume = int16_t(Be16(&tkhd->data[36]));
        t.width = Be32(&tkhd->data[76]) >> 16;
        t.height = Be32(&tkhd->data[80]) >> 16;
        if (const Atom* tref = trak->Find("tref"))
            for (const Atom& r : tref->children) {
                std::vector<uint32_t> ids;
                for (size_t i = 0; i + 4 <= r.data.size(); i += 4) ids.push_back(Be32(&r.data[i]));
                t.references.emplace_back(r.type, ids);
            }
        const Atom* mdhd = trak->At("mdia/mdhd");
        const Atom* hdlr = trak->At("mdia/hdlr");
        const Atom* stbl = trak->At("mdia/minf/stbl");
        if (!mdhd || !hdlr || !stbl || hdlr->data.size() < 12) return error = "mdia", false;
        t.timeScale = Be32(&mdhd->data[12]);
        t.handler.assign(reinterpret_cast<const char*>(&hdlr->data[8]), 4);
        const Atom* stsd = stbl->Find("stsd");
        const Atom* stts = stbl->Find("stts");
        const Atom* stsz = stbl->Find("stsz");
        const Atom* stco = stbl->Find("stco");
        const Atom* stsc = stbl->Find("stsc");
        if (!stsd || !stts || !stsz || !stco || !stsc) return error = "stbl", false;
        size_t at = 8;
        for (uint32_t i = 0; i < Be32(&stsd->data[4]); ++i) {
            const uint32_t size = Be32(&stsd->data[at]);
            t.descriptions.emplace_back(stsd->data.begin() + at, stsd->data.begin() + at + size);
            at += size;
        }
        for (uint32_t r = 0; r < Be32(&stts->data[4]); ++r)
            t.durations.insert(t.durations.end(), Be32(&stts->data[8 + 8 * r]), Be32(&stts->data[12 + 8 * r]));
        for (uint32_t i = 0; i < Be32(&stsz->data[8]); ++i) t.sampleSizes.push_back(Be32(&stsz->data[12 + 4 * i]));
        for (uint32_t i = 0; i < Be32(&stco->data[4]); ++i) t.offsets.push_back(Be32(&stco->data[8 + 4 * i]));
        // Every chunk holds one sample in the files these tests read.
        for (uint32_t e = 0; e < Be32(&stsc->data[4]); ++e)
            if (Be32(&stsc->data[12 + 12 * e]) != 1) return error = "stsc: more than one sample per chunk", false;
        if (t.offsets.size() != t.sampleSizes.size()) return error = "chunks differ from samples", false;
        tracks.push_back(std::move(t));
    }
    return true;
}

std::vector<uint8_t> SampleBytes(const std::string& path, const Track& track, size_t i)
{
    std::vector<uint8_t> out(track.sampleSizes.at(i));
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    if (std::fseek(f, long(track.offsets.at(i)), SEEK_SET) != 0 || std::fread(out.data(), 1, out.size(), f) != out.size())
        out.clear();
    std::fclose(f);
    return out;
}

}  // namespace qtwalk
