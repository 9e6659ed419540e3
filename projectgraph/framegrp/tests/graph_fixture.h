// Helpers for the image graph's tests: a byte builder that spells the record
// format out independently of the library's own writer, a canonical text
// description of a whole graph, and saving and loading through real files.
#pragma once

#include "projectgraph/curvekit/pair_info.h"
#include "platform/panocore/pair_share_info.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace graphtest {

// Little-endian bytes, appended one field at a time.
struct Bytes {
    std::vector<uint8_t> b;

    Bytes& U8(uint8_t v)
    {
        b.push_back(v);
        return *this;
    }
    Bytes& U16(uint16_t v) { return U8(uint8_t(v)).U8(uint8_t(v >> 8)); }
    Bytes& U32(uint32_t v) { return U16(uint16_t(v)).U16(uint16_t(v >> 16)); }
    Bytes& I16(int16_t v) { return U16(uint16_t(v)); }
    Bytes& I32(int32_t v) { return U32(uint32_t(v)); }
    Bytes& F32(float f)
    {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        return U32(u);
    }
    Bytes& Text(const std::string& s)
    {
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& Append(const Bytes& other)
    {
        b.insert(b.end(), other.b.begin(), other.b.end());
        return *this;
    }
    // One 12-byte entry with a 32-bit value.
    Bytes& Entry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value)
    {
        return U16(tag).U16(type).U32(count).U32(value);
    }
    // An entry whose value holds two int16.
    Bytes& Entry16(uint16_t tag, uint16_t type, uint32_t count, int16_t a, int16_t b2)
    {
        return U16(tag).U16(type).U32(count).I16(a).I16(b2);
    }
    Bytes& Struct(uint16_t tag) { return Entry(tag, 0, 0, 0); }
    Bytes& EntryF(uint16_t tag, uint32_t count, float first)
    {
        return U16(tag).U16(5).U32(count).F32(first);
    }
    size_t size() const { return b.size(); }
};

// A set of kind 0 holding the given points.
inline Marker* MakeMarkers(const std::vector<POINT2>& points)
{
    auto* m = new Marker(0);
    for (const POINT2& p : points) m->AppendMarker(p.x, p.y);
    return m;
}

inline std::string Points(const Marker* m)
{
    if (!m) return "-";
    std::ostringstream out;
    out << m->GetNumbOfMarker() << "[";
    for (int i = 0; i < m->GetNumbOfMarker(); ++i) out << m->GetMarker()[i].x << "," << m->GetMarker()[i].y << ";";
    out << "]";
    return out.str();
}

// Everything the record stream keeps, one line per frame and per link. The
// link state is shown as stored (bits 0x0E25) and the frame's merged mark is
// left out, since reading drops both.
inline std::string Describe(ImageGroup& g)
{
    std::ostringstream out;
    out << "frames " << g.GetNumbOfImages() << " centre ";
    int centre = -1;
    for (int i = 0; i < g.GetNumbOfImages(); ++i)
        if (g.GetImageFrame(i) == g.GetCentralImageFrame()) centre = i;
    out << centre << "\n";
    for (int i = 0; i < g.GetNumbOfImages(); ++i) {
        ImageFrame* f = g.GetImageFrame(i);
        short sx, sy, ox, oy;
        f->GetStampLocation(&sx, &sy);
        f->GetOverlapWndLocation(&ox, &oy);
        ColorCtrl* cc = f->GetColorCtrl();
        out << "frame " << i << " '" << (f->GetName() ? f->GetName() : "(null)") << "' blend " << f->GetBlendIndex()
            << " stamp " << sx << "," << sy << " overlap " << ox << "," << oy << " state " << std::hex
            << (f->GetState() & ~0x8) << std::dec << " width " << f->GetBlendWidth() << " line " << f->GetBlendLine()
            << " colour";
        for (int c = 0; c < 3; ++c)
            out << " " << int(static_cast<signed char>(cc->GetBrightness(c))) << "/" << cc->GetContrast(c) << "/" << cc->GetGamma(c);
        out << "\n";
        List* links = f->GetNeighbor();
        for (int k = 0; k < links->m_count; ++k) {
            auto* n = static_cast<Neighbor*>(links->GetData(k));
            int to = -1;
            for (int j = 0; j < g.GetNumbOfImages(); ++j)
                if (g.GetImageFrame(j) == n->GetNeighborFrame()) to = j;
            out << "  link " << i << "->" << to << " state " << std::hex << (n->GetState() & 0x0E25) << std::dec
                << " index " << n->GetLinkIndex() << " offset " << n->m_offsetX << "," << n->m_offsetY << " manual "
                << Points(n->GetMarkers(true)) << " fake " << Points(n->GetMarkers(false)) << " fa "
                << Points(n->GetMarkerFa()) << " pair " << (n->GetPairInfo() ? Points(n->GetPairInfo()->GetMarker(0)) : "none");
            if (IPairShareInfo* s = n->GetPairShareInfo()) {
                const PAIR_ALIGN_INIT_SETTING* st = s->GetInitSetting();
                out << " share " << st->overlapH << "," << st->overlapV << "," << st->toleranceH << ","
                    << st->toleranceV << "," << int(st->userSet) << " seam " << int(s->GetSeamCode());
            } else {
                out << " share none";
            }
            out << "\n";
        }
    }
    return out.str();
}

// Writes the group's records into a temporary file and returns its bytes.
inline std::vector<uint8_t> Save(ImageGroup& g, int* result = nullptr)
{
    FILE* f = std::tmpfile();
    const int r = g.SaveAs_InitInfo(f);
    if (result) *result = r;
    std::vector<uint8_t> bytes(static_cast<size_t>(std::ftell(f)));
    std::rewind(f);
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    bytes.resize(got);
    std::fclose(f);
    return bytes;
}

// Reads `bytes` through a temporary file; `position` receives where the
// reader left the file.
inline int Load(ImageGroup& g, const std::vector<uint8_t>& bytes, bool version1 = false, long* position = nullptr)
{
    FILE* f = std::tmpfile();
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    const int r = version1 ? g.Open_InitInfo_version001(f) : g.Open_InitInfo(f);
    if (position) *position = std::ftell(f);
    std::fclose(f);
    return r;
}

}  // namespace graphtest
