// ImageFrame::IO: one frame's block of the image-graph record stream (tags
// 21 to 22), written and read field by field.
#include "projectgraph/framegrp/image_frame.h"

#include "core/logger.h"
#include "projectgraph/framegrp/color_ctrl_access.h"
#include "projectgraph/framegrp/graph_tags.h"
#include "projectgraph/framegrp/record_stream.h"

#include <cstring>
#include <memory>

bool ImageFrame::IO(FILE* file, bool write, int)
{
    Logger::log("enter ImageFrame::IO()", 3);
    bool ok;
    if (write) {
        // Flushed here, so that a full disk shows in this call's result and
        // not only when the caller closes the file.
        RecordWriter writer(file);
        ok = WriteRecords(writer) && writer.Flush();
        if (!ok) Logger::log("ERROR ImageFrame::IO: cannot write the frame block", 1);
    } else {
        RecordReader reader(file);
        ok = ReadRecords(reader);
    }
    Logger::log("leave ImageFrame::IO()", 3);
    return ok;
}

bool ImageFrame::WriteRecords(RecordWriter& w)
{
    const char* name = GetName();
    const uint32_t nameLength = name ? static_cast<uint32_t>(std::strlen(name)) : 0;
    w.Entry(TagEntry::Structure(kTagFrameOpen));
    w.Entry(TagEntry::Int16(kTagBlendIndex, m_blendIndex));
    w.Entry(TagEntry::Chars(kTagName, nameLength));
    w.Raw(name, nameLength);
    w.Entry(TagEntry::Int16Pair(kTagStampLocation, m_stampX, m_stampY));
    w.Entry(TagEntry::Int32(kTagFrameState, m_state));
    w.Entry(TagEntry::Int16Pair(kTagOverlapLocation, m_overlapX, m_overlapY));
    w.Entry(TagEntry::Int16Pair(kTagBlendWidthLine, m_blendWidth, m_blendLine));
    ColorCtrl& cc = m_colorCtrl;
    if (!cc.IsDefaultBrightness()) {
        const uint8_t b[3] = {static_cast<uint8_t>(ColorBrightness(cc, 0)), static_cast<uint8_t>(ColorBrightness(cc, 1)),
                              static_cast<uint8_t>(ColorBrightness(cc, 2))};
        w.Entry(TagEntry::Bytes(kTagBrightness, 3, b));
    }
    if (!cc.IsDefaultContrast()) {
        w.Entry(TagEntry::Float(kTagContrast, 3, ColorContrast(cc, 0)));
        w.Float(ColorContrast(cc, 1));
        w.Float(ColorContrast(cc, 2));
    }
    if (!cc.IsDefaultGamma()) {
        w.Entry(TagEntry::Float(kTagGamma, 3, ColorGamma(cc, 0)));
        w.Float(ColorGamma(cc, 1));
        w.Float(ColorGamma(cc, 2));
    }
    w.Entry(TagEntry::Structure(kTagFrameClose));
    return w.ok();
}

namespace {

// Reads the floats that follow a float entry into channels 1 and 2 (the
// value holds channel 0) and skips any further ones.
bool ReadChannelFloats(RecordReader& r, const TagEntry& e, float out[3])
{
    out[0] = e.ValueFloat();
    const uint64_t following = e.FollowingBytes() / 4;
    if (!r.Fits(following, 4)) return false;
    for (uint64_t i = 0; i < following; ++i) {
        float v;
        if (!r.Float(v)) return false;
        if (i < 2) out[i + 1] = v;
    }
    return true;
}

}  // namespace

bool ImageFrame::ReadRecords(RecordReader& r)
{
    ColorCtrl& cc = m_colorCtrl;
    TagEntry e;
    for (;;) {
        if (!r.Entry(e)) {
            Logger::log("ERROR ImageFrame::IO: the file ends inside a frame block", 1);
            return false;
        }
        if (e.tag == kTagFrameClose) break;
        switch (e.tag) {
        case kTagBlendIndex: m_blendIndex = e.ValueInt16(0); break;
        case kTagName: {
            if (!r.Fits(e.count, 1)) {
                Logger::log("ERROR ImageFrame::IO: a name of %u bytes is longer than the rest of the file", 1, e.count);
                return false;
            }
            std::unique_ptr<char[]> name(new char[static_cast<size_t>(e.count) + 1]);
            if (!r.Raw(name.get(), e.count)) {
                Logger::log("ERROR ImageFrame::IO: the file ends inside a name", 1);
                return false;
            }
            name[e.count] = '\0';
            m_name = std::move(name);
            break;
        }
        case kTagStampLocation:
            m_stampX = e.ValueInt16(0);
            m_stampY = e.ValueInt16(1);
            break;
        case kTagFrameState: m_state = e.ValueInt32(); break;
        case kTagOverlapLocation:
            m_overlapX = e.ValueInt16(0);
            m_overlapY = e.ValueInt16(1);
            break;
        case kTagBlendWidthLine:
            m_blendWidth = e.ValueInt16(0);
            m_blendLine = e.ValueInt16(1);
            break;
        case kTagBrightness:
            for (int c = 0; c < 3; ++c) SetColorBrightness(cc, c, static_cast<signed char>(e.value[c]));
            break;
        case kTagContrast:
        case kTagGamma: {
            float v[3] = {1.0f, 1.0f, 1.0f};
            if (!ReadChannelFloats(r, e, v)) {
                Logger::log("ERROR ImageFrame::IO: the file ends inside tag %u", 1, e.tag);
                return false;
            }
            for (int c = 0; c < 3; ++c) {
                if (e.tag == kTagContrast) SetColorContrast(cc, c, v[c]);
                else SetColorGamma(cc, c, v[c]);
            }
            break;
        }
        default:
            if (!IsStructureTag(e.tag) && !r.Skip(e.FollowingBytes())) {
                Logger::log("ERROR ImageFrame::IO: the file ends inside the data of tag %u", 1, e.tag);
                return false;
            }
            break;
        }
    }
    if (!cc.IsDefaultValue()) {
        cc.RecomputeMap();
        ResetAotoColorTab();
    }
    SetNotMerged();
    return true;
}
