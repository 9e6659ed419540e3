// ImageGroup's record stream: the whole graph (frames, links, marker sets,
// pair settings) as 12-byte tagged entries inside the project file, and the
// older version-1 layout. Readers check every count against the bytes left
// and every frame index against the frames read, and on any fault leave the
// group as it was (empty) with a level-1 log line.
#include "projectgraph/framegrp/image_group.h"

#include "projectgraph/curvekit/pair_info.h"
#include "platform/panocore/pair_share_info.h"
#include "core/logger.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/graph_tags.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"
#include "projectgraph/framegrp/record_stream.h"

#include <algorithm>
#include <cstdarg>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// The smallest frame block (tags 21 and 22) and link block (tags 33 and 45);
// a count that cannot fit in the bytes left is refused before any allocation.
constexpr uint64_t kMinFrameBlock = 2 * TagEntry::kSize;
constexpr uint64_t kMinLinkBlock = 2 * TagEntry::kSize;
// Version 1: index, state, link index, offset, and the three counts.
constexpr uint64_t kMinVersion1Link = 4 + 2 + 2 + 2 + 2 + 4 + 4 + 4;
// One marker on disk: x and y as floats.
constexpr uint64_t kPointBytes = 8;
// PAIR_ALIGN_INIT_SETTING on disk: four floats, the user-set byte, three zero bytes.
constexpr uint64_t kSettingBytes = 20;

constexpr int kMaxFrames = 65535;  // the frame list's 16-bit count

Neighbor* LinkAt(ImageFrame* frame, int k)
{
    return static_cast<Neighbor*>(frame->GetNeighbor()->GetData(k));
}

// --- writing -------------------------------------------------------------------------------

void WritePoints(RecordWriter& w, uint16_t tag, const Marker* markers)
{
    if (!markers || markers->GetNumbOfMarker() <= 0) return;
    const int n = markers->GetNumbOfMarker();
    const POINT2M* records = markers->GetMarker();
    w.Entry(TagEntry::Block(tag, static_cast<uint32_t>(n)));
    for (int i = 0; i < n; ++i) {
        w.Float(records[i].x);
        w.Float(records[i].y);
    }
}

void WriteSetting(RecordWriter& w, const PAIR_ALIGN_INIT_SETTING& s)
{
    w.Float(s.overlapH);
    w.Float(s.overlapV);
    w.Float(s.toleranceH);
    w.Float(s.toleranceV);
    const uint8_t tail[4] = {s.userSet, 0, 0, 0};  // the record's padding is written as zeros
    w.Raw(tail, sizeof tail);
}

void WriteLink(RecordWriter& w, const Neighbor& link, int neighborIndex)
{
    w.Entry(TagEntry::Int32(kTagLinkOpen, neighborIndex));
    w.Entry(TagEntry::Int16(kTagLinkState, static_cast<int16_t>(link.m_state & kStoredLinkStateMask)));
    w.Entry(TagEntry::LinkIndex(kTagLinkIndex, link.m_linkIndex));
    w.Entry(TagEntry::Int16Pair(kTagLinkOffset, link.m_offsetX, link.m_offsetY));
    WritePoints(w, kTagManualMarkers, link.m_markers);
    WritePoints(w, kTagFakeMarkers, link.m_fakeMarkers);
    WritePoints(w, kTagFaMarkers, link.m_markerFa);
    if (link.m_pairInfo) WritePoints(w, kTagPairInfoMarkers, link.m_pairInfo->GetMarker(0));
    IPairShareInfo* share = link.m_pairShareInfo;
    if (share && !link.IsEndImageFrame()) {
        const PAIR_ALIGN_INIT_SETTING* setting = share->GetInitSetting();
        if (setting && setting->userSet != 0) {
            w.Entry(TagEntry::Block(kTagPairSetting, 1));
            WriteSetting(w, *setting);
        }
        const uint8_t seam = share->GetSeamCode();
        w.Entry(TagEntry::Bytes(kTagPairShareByte, 1, &seam));
    }
    w.Entry(TagEntry::Structure(kTagLinkClose));
}

}  // namespace

int ImageGroup::SaveAs_InitInfo(FILE* file)
{
    RecordWriter w(file);
    w.Entry(TagEntry::Structure(kTagGraphOpen));
    const int count = m_frames.m_count;
    if (count < 2 && !IsFisheye()) {
        w.Entry(TagEntry::Structure(kTagGraphClose));
        if (!w.Flush()) {
            Logger::log("ERROR ImageGroup::SaveAs_InitInfo: cannot write the image graph", 1);
            return kStreamWriteError;
        }
        return 1;
    }
    w.Entry(TagEntry::Int32(kTagFrameCount, count));
    w.Entry(TagEntry::Int32(kTagCenterIndex, IndexOf(m_centerFrame)));
    w.Entry(TagEntry::Structure(kTagFramesOpen));
    for (int i = 0; i < count; ++i) {
        Logger::log("enter ImageFrame::IO()", 3);
        GetImageFrame(i)->WriteRecords(w);
        Logger::log("leave ImageFrame::IO()", 3);
    }
    w.Entry(TagEntry::Structure(kTagFramesClose));

    w.Entry(TagEntry::Structure(kTagLinksOpen));
    for (int i = 0; i < count; ++i) {
        ImageFrame* frame = GetImageFrame(i);
        w.Entry(TagEntry::Structure(kTagFrameLinksOpen));
        // Only links to frames of this group can be named by index.
        std::vector<std::pair<const Neighbor*, int>> links;
        for (int k = 0; k < frame->GetNeighbor()->m_count; ++k) {
            const Neighbor* link = LinkAt(frame, k);
            const int index = IndexOf(link->m_neighborFrame);
            if (index >= 0) links.emplace_back(link, index);
        }
        if (!links.empty()) {
            const int n = static_cast<int>(links.size());
            w.Entry(TagEntry::Int32(kTagLinkCount, n));
            w.Entry(TagEntry::Int32(kTagLinkList, n));
            for (const auto& [link, index] : links) WriteLink(w, *link, index);
            w.Entry(TagEntry::Structure(kTagLinkListClose));
        }
        w.Entry(TagEntry::Structure(kTagFrameLinksClose));
    }
    w.Entry(TagEntry::Structure(kTagLinksClose));
    w.Entry(TagEntry::Structure(kTagGraphClose));
    if (!w.Flush()) {
        Logger::log("ERROR ImageGroup::SaveAs_InitInfo: cannot write the image graph", 1);
        return kStreamWriteError;
    }
    return 0;
}

// --- reading ---------------------------------------------------------------------------------

class ImageGroup::StreamReader {
public:
    StreamReader(ImageGroup& group, FILE* file, const char* method)
        : m_group(group), m_reader(file), m_method(method), m_oldCenter(group.m_centerFrame),
          m_firstNew(group.m_frames.m_count)
    {
    }

    int ReadGraph();
    int ReadVersion1();

private:
    bool Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool CheckEmptyGroup();
    bool ReadFrames(int32_t n, int32_t center);
    bool ReadLinkGroups();
    bool ReadLinkBlock(int frameIndex);
    bool ReadVersion1Links(int frameIndex);
    Neighbor* OpenLink(int frameIndex, int32_t neighborIndex);
    bool ReadMarkerSet(uint32_t n, std::unique_ptr<Marker>& markers);
    bool ReadSetting(PAIR_ALIGN_INIT_SETTING& s);
    IPairShareInfo* ShareInfo(Neighbor* link, int frameIndex);
    bool SkipUnknown(const TagEntry& e);
    bool SettlePairOwners();
    void RestoreLinkOrder(int frameIndex);
    int Finish(bool ok);

    ImageGroup& m_group;
    RecordReader m_reader;
    const char* m_method;
    ImageFrame* m_oldCenter;
    int m_firstNew;
    // The link that made each pair's shared object: the owner to restore
    // when the file gives both links of a pair the same end-frame bit.
    std::map<IPairShareInfo*, Neighbor*> m_creator;
    // The links of the frame being read, in the order the file lists them.
    std::vector<Neighbor*> m_linkOrder;
};

bool ImageGroup::StreamReader::Fail(const char* format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Logger::log("ERROR ImageGroup::%s: %s", 1, m_method, text);
    return false;
}

bool ImageGroup::StreamReader::CheckEmptyGroup()
{
    if (m_group.m_frames.m_count == 0) return true;
    return Fail("the group already holds %d frames; the graph is read into an empty group",
                m_group.m_frames.m_count);
}

bool ImageGroup::StreamReader::SkipUnknown(const TagEntry& e)
{
    if (IsStructureTag(e.tag)) return true;
    if (!m_reader.Skip(e.FollowingBytes()))
        return Fail("the data of tag %u (%llu bytes) runs past the end of the file", e.tag,
                    static_cast<unsigned long long>(e.FollowingBytes()));
    return true;
}

bool ImageGroup::StreamReader::ReadFrames(int32_t n, int32_t center)
{
    if (n < 0) return Fail("negative frame count %d", n);
    if (n > kMaxFrames - m_group.m_frames.m_count) return Fail("%d frames are more than a group holds", n);
    if (!m_reader.Fits(static_cast<uint64_t>(n), kMinFrameBlock))
        return Fail("%d frames cannot fit in the %llu bytes left", n, static_cast<unsigned long long>(m_reader.Remaining()));
    if (center < -1 || (n > 0 && center >= n)) return Fail("centre index %d is not one of the %d frames", center, n);
    const int first = m_group.m_frames.m_count;
    for (int i = 0; i < n; ++i) {
        auto* frame = new ImageFrame();
        m_group.AppendImageFrame(frame);
        if (m_group.IndexOf(frame) < 0) {
            delete frame;
            return Fail("cannot add frame %d", i);
        }
        Logger::log("enter ImageFrame::IO()", 3);
        const bool ok = frame->ReadRecords(m_reader);
        Logger::log("leave ImageFrame::IO()", 3);
        if (!ok) return Fail("frame %d of %d is damaged", i, n);
    }
    if (center >= 0 && center < n) {
        ImageFrame* frame = m_group.GetImageFrame(first + center);
        m_group.m_centerFrame = frame;
        frame->SetAsCenter();
        frame->SetAllowLinkOut();
    }
    return true;
}

Neighbor* ImageGroup::StreamReader::OpenLink(int frameIndex, int32_t neighborIndex)
{
    const int count = m_group.m_frames.m_count;
    if (neighborIndex < 0 || neighborIndex >= count) {
        Fail("frame %d links to frame %d of %d", frameIndex, neighborIndex, count);
        return nullptr;
    }
    if (neighborIndex == frameIndex) {
        Fail("frame %d links to itself", frameIndex);
        return nullptr;
    }
    ImageFrame* frame = m_group.GetImageFrame(frameIndex);
    ImageFrame* other = m_group.GetImageFrame(neighborIndex);
    const bool existed = frame->FindNeighbor(other) != nullptr;
    Neighbor* link = frame->AddNeighbor(other);
    if (!link) {
        Fail("cannot make the link from frame %d to frame %d", frameIndex, neighborIndex);
        return nullptr;
    }
    if (!existed) {
        // A new pair: the link made in the other frame made the shared object.
        Neighbor* back = other->FindNeighbor(frame);
        if (back && back->m_pairShareInfo && !back->IsEndImageFrame()) m_creator[back->m_pairShareInfo] = back;
    }
    if (std::find(m_linkOrder.begin(), m_linkOrder.end(), link) == m_linkOrder.end()) m_linkOrder.push_back(link);
    return link;
}

void ImageGroup::StreamReader::RestoreLinkOrder(int frameIndex)
{
    // Links made from the other end while earlier frames were read were
    // appended in reading order; the frame's own list order, which callers
    // rely on (its first two links are its blending neighbours), is the
    // order its link block lists them in.
    List* links = m_group.GetImageFrame(frameIndex)->GetNeighbor();
    int position = 0;
    for (Neighbor* link : m_linkOrder) {
        const int index = links->GetIndex(link);
        if (index >= position) links->MoveData(index, position++);
    }
    m_linkOrder.clear();
}

bool ImageGroup::StreamReader::ReadMarkerSet(uint32_t n, std::unique_ptr<Marker>& markers)
{
    if (n > static_cast<uint32_t>(INT32_MAX) || !m_reader.Fits(n, kPointBytes))
        return Fail("%u markers cannot fit in the %llu bytes left", n, static_cast<unsigned long long>(m_reader.Remaining()));
    std::vector<POINT2> points(n);
    for (POINT2& p : points)
        if (!m_reader.Float(p.x) || !m_reader.Float(p.y)) return Fail("the file ends inside a marker set");
    markers = std::make_unique<Marker>(0);
    markers->SetMarkers(points.data(), static_cast<int>(n));
    return true;
}

bool ImageGroup::StreamReader::ReadSetting(PAIR_ALIGN_INIT_SETTING& s)
{
    uint8_t tail[4];
    if (!m_reader.Float(s.overlapH) || !m_reader.Float(s.overlapV) || !m_reader.Float(s.toleranceH) ||
        !m_reader.Float(s.toleranceV) || !m_reader.Raw(tail, sizeof tail))
        return Fail("the file ends inside a pair setting");
    s.userSet = tail[0];
    return true;
}

IPairShareInfo* ImageGroup::StreamReader::ShareInfo(Neighbor* link, int frameIndex)
{
    if (link->m_pairShareInfo) return link->m_pairShareInfo;
    // A link without the pair's object gets a new one, on both links of the pair.
    IPairShareInfo* info = GetPairShareInfoInterface();
    ImageFrame* frame = m_group.GetImageFrame(frameIndex);
    frame->SetPairShareInfo(link->m_neighborFrame, info);
    Neighbor* owner = link;
    if (ImageFrame* other = link->m_neighborFrame)
        if (Neighbor* back = other->FindNeighbor(frame); back && !back->IsEndImageFrame()) owner = back;
    if (owner == link && link->IsEndImageFrame()) link->SetAsStartFrame();
    m_creator[info] = owner;
    return info;
}

bool ImageGroup::StreamReader::ReadLinkBlock(int frameIndex)
{
    Neighbor* link = nullptr;
    TagEntry e;
    for (;;) {
        if (!m_reader.Entry(e)) return Fail("the file ends inside a link of frame %d", frameIndex);
        if (e.tag == kTagLinkClose) return true;
        if (e.tag == kTagLinkOpen) {
            link = OpenLink(frameIndex, e.ValueInt32());
            if (!link) return false;
            continue;
        }
        const bool linkTag = e.tag == kTagLinkState || e.tag == kTagLinkIndex || e.tag == kTagLinkOffset ||
                             e.tag == kTagManualMarkers || e.tag == kTagFakeMarkers || e.tag == kTagFaMarkers ||
                             e.tag == kTagPairInfoMarkers || e.tag == kTagPairSetting || e.tag == kTagPairShareByte;
        if (!linkTag) {
            if (!SkipUnknown(e)) return false;
            continue;
        }
        if (!link) return Fail("tag %u of frame %d comes before the link it belongs to", e.tag, frameIndex);
        switch (e.tag) {
        case kTagLinkState:
            link->m_state = static_cast<uint16_t>(e.ValueInt16(0));
            link->SetNotMerged();
            break;
        case kTagLinkIndex: link->m_linkIndex = e.ValueInt16(0); break;
        case kTagLinkOffset:
            link->m_offsetX = e.ValueInt16(0);
            link->m_offsetY = e.ValueInt16(1);
            break;
        case kTagManualMarkers:
        case kTagFakeMarkers:
        case kTagFaMarkers:
        case kTagPairInfoMarkers: {
            std::unique_ptr<Marker> markers;
            if (!ReadMarkerSet(e.count, markers)) return false;
            if (e.tag == kTagManualMarkers) link->SetMarkers(markers.release());
            else if (e.tag == kTagFakeMarkers) link->SetFakeMarkers(markers.release());
            else if (e.tag == kTagFaMarkers) link->SetMarkerFa(markers.release());
            else {
                IPairInfo* info = GetPairInfoInterface();
                info->SetMarker(markers.release());
                link->SetPairInfo(info);
            }
            break;
        }
        case kTagPairSetting: {
            PAIR_ALIGN_INIT_SETTING s{};
            if (!ReadSetting(s)) return false;
            *ShareInfo(link, frameIndex)->GetInitSetting() = s;
            break;
        }
        case kTagPairShareByte: ShareInfo(link, frameIndex)->SetSeamCode(e.value[0]); break;
        }
    }
}

bool ImageGroup::StreamReader::ReadLinkGroups()
{
    for (int i = 0; i < m_group.m_frames.m_count; ++i) {
        int32_t linkCount = 0;
        TagEntry e;
        for (;;) {
            if (!m_reader.Entry(e)) return Fail("the file ends inside the links of frame %d", i);
            if (e.tag == kTagFrameLinksClose) break;
            if (e.tag == kTagLinkCount) {
                linkCount = e.ValueInt32();
                if (linkCount < 0 || !m_reader.Fits(static_cast<uint64_t>(linkCount), kMinLinkBlock))
                    return Fail("frame %d claims %d links", i, linkCount);
            } else if (e.tag == kTagLinkList) {
                for (int k = 0; k < linkCount; ++k)
                    if (!ReadLinkBlock(i)) return false;
            } else if (!SkipUnknown(e)) {
                return false;
            }
        }
        RestoreLinkOrder(i);
    }
    return true;
}

bool ImageGroup::StreamReader::SettlePairOwners()
{
    bool consistent = true;
    for (int i = m_firstNew; i < m_group.m_frames.m_count; ++i) {
        ImageFrame* frame = m_group.GetImageFrame(i);
        for (int k = 0; k < frame->GetNeighbor()->m_count; ++k) {
            Neighbor* link = LinkAt(frame, k);
            ImageFrame* other = link->m_neighborFrame;
            Neighbor* back = other ? other->FindNeighbor(frame) : nullptr;
            if (!back || link->m_pairShareInfo != back->m_pairShareInfo || !link->m_pairShareInfo) continue;
            if (link->IsEndImageFrame() != back->IsEndImageFrame()) continue;
            // Both links claim the same role: the shared object would be
            // released twice or never. The link that made it keeps it.
            consistent = false;
            auto made = m_creator.find(link->m_pairShareInfo);
            Neighbor* owner = made != m_creator.end() && (made->second == link || made->second == back) ? made->second
                                                                                                       : back;
            Neighbor* holder = owner == link ? back : link;
            owner->SetAsStartFrame();
            holder->SetAsEndFrame();
        }
    }
    if (!consistent) Fail("both links of a pair carry the same end-frame bit");
    return consistent;
}

int ImageGroup::StreamReader::Finish(bool ok)
{
    // Pair ownership is settled first in every case, so that removing the
    // frames again releases each shared object exactly once.
    if (!SettlePairOwners()) ok = false;
    if (ok) return kStreamOk;
    while (m_group.m_frames.m_count > m_firstNew) {
        void* frame = m_group.m_frames.GetData(m_group.m_frames.m_count - 1);
        m_group.m_frames.RemoveData(frame);
    }
    m_group.m_centerFrame = m_oldCenter;
    return kStreamMalformed;
}

int ImageGroup::StreamReader::ReadGraph()
{
    TagEntry e;
    if (!m_reader.Entry(e)) {
        Fail("the file ends before the image graph");
        return kStreamMalformed;
    }
    if (!CheckEmptyGroup()) return kStreamMalformed;
    int32_t n = 0, center = 0;
    bool ok = true;
    for (; ok && e.tag != kTagGraphClose;) {
        switch (e.tag) {
        case kTagFrameCount: n = e.ValueInt32(); break;
        case kTagCenterIndex: center = e.ValueInt32(); break;
        case kTagFramesOpen:
            ok = ReadFrames(n, center) && (m_reader.Entry(e) || Fail("the file ends after the frames"));
            break;
        case kTagLinksOpen:
            ok = ReadLinkGroups() && (m_reader.Entry(e) || Fail("the file ends after the links"));
            break;
        default: ok = SkipUnknown(e); break;
        }
        if (ok && !m_reader.Entry(e)) ok = Fail("the file ends before the closing entry of the image graph");
    }
    return Finish(ok);
}

int ImageGroup::StreamReader::ReadVersion1()
{
    if (!CheckEmptyGroup()) return kStreamMalformed;
    int32_t n = 0, center = 0;
    bool ok = (m_reader.Int32(n) && m_reader.Int32(center)) || Fail("the file ends before the frame count");
    ok = ok && ReadFrames(n, center);
    for (int i = 0; ok && i < m_group.m_frames.m_count; ++i) {
        ok = ReadVersion1Links(i);
        RestoreLinkOrder(i);
    }
    return Finish(ok);
}

bool ImageGroup::StreamReader::ReadVersion1Links(int i)
{
    int32_t links = 0;
    if (!m_reader.Int32(links)) return Fail("the file ends before the links of frame %d", i);
    if (links < 0 || !m_reader.Fits(static_cast<uint64_t>(links), kMinVersion1Link))
        return Fail("frame %d claims %d links", i, links);
    for (int k = 0; k < links; ++k) {
        int32_t index = 0, markerCount = 0, pairCount = 0, settingSize = 0;
        int16_t state = 0, linkIndex = 0, ox = 0, oy = 0;
        if (!m_reader.Int32(index)) return Fail("the file ends inside a link of frame %d", i);
        Neighbor* link = OpenLink(i, index);
        if (!link) return false;
        if (!m_reader.Int16(state) || !m_reader.Int16(linkIndex) || !m_reader.Int16(ox) || !m_reader.Int16(oy))
            return Fail("the file ends inside a link of frame %d", i);
        // Version 1 keeps the whole state word; only the merged mark is dropped.
        link->m_state = static_cast<uint16_t>(state);
        link->SetNotMerged();
        link->m_linkIndex = linkIndex;
        link->m_offsetX = ox;
        link->m_offsetY = oy;

        if (!m_reader.Int32(markerCount)) return Fail("the file ends inside a link of frame %d", i);
        if (markerCount < 0) return Fail("negative marker count %d in frame %d", markerCount, i);
        if (markerCount != 0) {
            std::unique_ptr<Marker> markers;
            if (!ReadMarkerSet(static_cast<uint32_t>(markerCount), markers)) return false;
            link->SetMarkers(markers.release());
        }
        if (!m_reader.Int32(pairCount)) return Fail("the file ends inside a link of frame %d", i);
        if (pairCount < 0) return Fail("negative marker count %d in frame %d", pairCount, i);
        if (pairCount > 0) {
            std::unique_ptr<Marker> markers;
            if (!ReadMarkerSet(static_cast<uint32_t>(pairCount), markers)) return false;
            IPairInfo* info = GetPairInfoInterface();
            info->SetMarker(markers.release());
            link->SetPairInfo(info);
        }
        // Size code of the pair settings: below 1 nothing, 1 the byte, 20 the
        // record, anything else the record and then the byte.
        if (!m_reader.Int32(settingSize)) return Fail("the file ends inside a link of frame %d", i);
        if (settingSize < 1) continue;
        if (settingSize != 1) {
            PAIR_ALIGN_INIT_SETTING s{};
            if (!ReadSetting(s)) return false;
            *ShareInfo(link, i)->GetInitSetting() = s;
        }
        if (settingSize != 20) {
            uint8_t seam = 0;
            if (!m_reader.Byte(seam)) return Fail("the file ends inside a link of frame %d", i);
            ShareInfo(link, i)->SetSeamCode(seam);
        }
    }
    return true;
}

int ImageGroup::Open_InitInfo(FILE* file)
{
    StreamReader reader(*this, file, "Open_InitInfo");
    return reader.ReadGraph();
}

int ImageGroup::Open_InitInfo_version001(FILE* file)
{
    StreamReader reader(*this, file, "Open_InitInfo_version001");
    return reader.ReadVersion1();
}
