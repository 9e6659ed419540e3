#include "tour/tessiv/vista.h"

#include "tour/tessiv/config_stream.h"
#include "tour/tessiv/tour_library.h"

#include <algorithm>
#include <cstring>

namespace {

template <class T>
bool Assign(T& field, T value)
{
    if (field == value) return false;
    field = value;
    return true;
}

void WriteColorCtrl(tessiv::ConfigWriter& out, const ColorCtrl* ctrl)
{
    out.Byte(ctrl ? 1 : 0);
    if (!ctrl) return;
    for (int c = 0; c <= 3; ++c) out.Byte(static_cast<uint8_t>(ctrl->GetBrightness(c)));
    for (int c = 0; c <= 3; ++c) out.Float(ctrl->GetContrast(c));
    for (int c = 0; c <= 3; ++c) out.Float(ctrl->GetGamma(c));
}

// Reads the colour control written above into `ctrl` (made when the record
// has one). The all-channel value goes first: setting it sets the others.
bool ReadColorCtrl(tessiv::ConfigReader& in, std::unique_ptr<ColorCtrl>& ctrl)
{
    uint8_t present = 0;
    if (!in.Byte(present)) return false;
    if (present == 0) {
        ctrl.reset();
        return true;
    }
    uint8_t brightness[4];
    float contrast[4], gamma[4];
    for (uint8_t& b : brightness)
        if (!in.Byte(b)) return false;
    for (float& c : contrast)
        if (!in.Float(c)) return false;
    for (float& g : gamma)
        if (!in.Float(g)) return false;
    ctrl = std::make_unique<ColorCtrl>();
    for (int c : {3, 0, 1, 2}) {
        ctrl->SetBrightness(static_cast<char>(brightness[c]), c);
        ctrl->SetContrast(contrast[c], c);
        ctrl->SetGamma(gamma[c], c);
    }
    return true;
}

void WriteOptionalStyle(tessiv::ConfigWriter& out, const TextStyle* style)
{
    out.Byte(style ? 1 : 0);
    if (style) style->WriteRecord(out);
}

bool ReadOptionalStyle(tessiv::ConfigReader& in, std::unique_ptr<TextStyle>& style, int version)
{
    uint8_t present = 0;
    if (!in.Byte(present)) return false;
    if (present == 0) {
        style.reset();
        return true;
    }
    auto read = std::make_unique<TextStyle>();
    if (!read->ReadRecord(in, version >= 106)) return false;
    style = std::move(read);
    return true;
}

void WriteHotSpot(tessiv::ConfigWriter& out, HotSpot& h)
{
    WriteOptionalStyle(out, h.GetLabelStyle());
    out.Float(h.GetPositionX());
    out.Float(h.GetPositionY());
    out.Int(h.GetTargetVista() ? h.GetTargetVista()->GetId() : h.GetTargetVistaId());
    out.Text(h.GetImageFile() ? h.GetImageFile() : "");
    int crop[4];
    h.GetCrop(crop[0], crop[1], crop[2], crop[3]);
    for (int v : crop) out.Int(v);
    out.Float(h.GetFloatValue());
    out.Int(h.GetId());
    out.Int(h.GetValue());
    out.Int(h.GetFlags());
    out.Text(h.GetLinkText() ? h.GetLinkText() : "");
    WriteColorCtrl(out, h.GetColorCtrl(false));
}

bool ReadHotSpot(tessiv::ConfigReader& in, HotSpot& h, int version)
{
    std::unique_ptr<TextStyle> style;
    float x = 0, y = 0, value = 0;
    int32_t target = 0, id = 0, icon = 0, flags = 0;
    int32_t crop[4] = {};
    std::string imageFile, link;
    std::unique_ptr<ColorCtrl> ctrl;
    if (!(ReadOptionalStyle(in, style, version) && in.Float(x) && in.Float(y) && in.Int(target) &&
          in.Text(imageFile) && in.Int(crop[0]) && in.Int(crop[1]) && in.Int(crop[2]) && in.Int(crop[3]) &&
          in.Float(value) && in.Int(id) && in.Int(icon) && in.Int(flags) && in.Text(link) && ReadColorCtrl(in, ctrl)))
        return false;
    if (style) *h.GetLabelStyle(true) = *style;
    h.SetPosition(x, y);
    h.SetTargetVistaId(target);
    h.SetImageFile(imageFile.c_str());
    h.SetCrop(crop[0], crop[1], crop[2], crop[3]);
    h.SetFloatValue(value);
    h.SetId(id);
    h.SetValue(icon);
    h.SetFlags(flags);
    h.SetLinkText(link.c_str());
    if (ctrl) *h.GetColorCtrl(true) = *ctrl;
    return true;
}

}  // namespace

Vista::Vista() : m_id(NewVistaId()) {}

Vista::~Vista() = default;

void Vista::SetThumbnail(Image* image)
{
    m_thumbnail = RefPtr<Image>::share(image);
    m_shownThumbnail.reset();
    m_colorCtrl.reset();
}

Image* Vista::GetShownThumbnail()
{
    if (!m_shownThumbnail) RebuildShownThumbnail();
    Image* shown = m_shownThumbnail.get();
    RefAdd(shown);
    return shown;
}

bool Vista::SetFileName(const char* path) { return Assign(m_fileName, std::string(path ? path : "")); }

bool Vista::IsSameFile(const char* path) const { return path && m_fileName == path; }

bool Vista::SetLabel(const char* label) { return Assign(m_label, std::string(label ? label : "")); }

std::string Vista::GetShownLabel() const
{
    if (!m_label.empty()) return m_label;
    const size_t dot = m_fileName.rfind('.');
    const size_t separator = m_fileName.find_last_of("\\/");
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return m_fileName;
    return m_fileName.substr(0, dot);
}

int Vista::GetLabel(char* buffer, int n) const
{
    if (!buffer || n <= 0) return 0;
    const std::string label = GetShownLabel();
    const int length = std::min(static_cast<int>(label.size()), n - 1);
    std::memcpy(buffer, label.data(), static_cast<size_t>(length));
    buffer[length] = '\0';
    return length;
}

bool Vista::SetFlagBit(int mask, bool on) { return Assign(m_flags, on ? (m_flags | mask) : (m_flags & ~mask)); }

void Vista::SetSize(int width, int height)
{
    m_width = width;
    m_height = height;
}

void Vista::SetDescriptor(int equatorWidth, int column, int row)
{
    m_descriptor[0] = equatorWidth;
    m_descriptor[1] = column;
    m_descriptor[2] = row;
}

void Vista::SetId(int id)
{
    m_id = id;
    NoteVistaId(id);
}

bool Vista::SetInitialView(float h, float v)
{
    bool changed = Assign(m_initialView[0], h);
    changed |= Assign(m_initialView[1], v);
    return changed;
}

bool Vista::SetZoomValue(float value) { return Assign(m_zoomValue, value); }
bool Vista::SetSecondFloat(float value) { return Assign(m_secondFloat, value); }

bool Vista::IsFullCircle() const
{
    if (!IsPanorama()) return false;
    const int64_t first = m_descriptor[0], second = m_descriptor[1];
    return second == 0 || std::max<int64_t>(0, first - second) * 200 < first;
}

bool Vista::TurnQuarter()
{
    if (!IsPhotograph()) return false;
    if (m_thumbnail && !RotateHeldImage(m_thumbnail, 90)) return false;
    const int turns = (GetQuarterTurns() + 1) & 3;
    m_flags = (m_flags & ~(3 << kQuarterTurnShift)) | (turns << kQuarterTurnShift);
    std::swap(m_width, m_height);
    // The shown thumbnail is the thumbnail or a copy made from it: make it again.
    m_shownThumbnail.reset();
    RebuildShownThumbnail();
    return true;
}

bool Vista::ApplyQuarterTurns(Image* image) const
{
    // Image::Rotate's codes: 90 and -90 are quarter turns, 180 a half turn
    // (270 would mirror).
    static constexpr int kCodes[4] = {0, 90, 180, -90};
    const int turns = GetQuarterTurns();
    if (!image || turns == 0) return image != nullptr;
    return image->Rotate(kCodes[turns]) == 0;
}

HotSpot* Vista::AddHotSpot()
{
    m_hotSpots.push_back(std::make_unique<HotSpot>());
    return m_hotSpots.back().get();
}

HotSpot* Vista::GetHotSpot(int index) const
{
    return index >= 0 && index < GetHotSpotCount() ? m_hotSpots[index].get() : nullptr;
}

HotSpot* Vista::FindHotSpot(int id) const
{
    for (const auto& h : m_hotSpots)
        if (h->GetId() == id) return h.get();
    return nullptr;
}

bool Vista::RemoveHotSpot(const HotSpot* hotSpot)
{
    const auto it = std::find_if(m_hotSpots.begin(), m_hotSpots.end(),
                                 [hotSpot](const auto& h) { return h.get() == hotSpot; });
    if (it == m_hotSpots.end()) return false;
    m_hotSpots.erase(it);
    return true;
}

HotSpot* Vista::FindNextHotSpot(const HotSpot* from, bool dynamic) const
{
    size_t i = 0;
    if (from) {
        while (i < m_hotSpots.size() && m_hotSpots[i].get() != from) ++i;
        if (i == m_hotSpots.size()) return nullptr;
        ++i;
    }
    for (; i < m_hotSpots.size(); ++i)
        if (m_hotSpots[i]->IsDynamic() == dynamic) return m_hotSpots[i].get();
    return nullptr;
}

HotSpot* Vista::FindPrevHotSpot(const HotSpot* from, bool dynamic) const
{
    size_t end = m_hotSpots.size();
    if (from) {
        end = 0;
        while (end < m_hotSpots.size() && m_hotSpots[end].get() != from) ++end;
        if (end == m_hotSpots.size()) return nullptr;
    }
    for (size_t i = end; i-- > 0;)
        if (m_hotSpots[i]->IsDynamic() == dynamic) return m_hotSpots[i].get();
    return nullptr;
}

bool Vista::HasHotSpot(bool dynamic) const { return FindNextHotSpot(nullptr, dynamic) != nullptr; }

void Vista::LinkHotSpotTargets(const std::vector<Vista*>& vistas)
{
    for (const auto& h : m_hotSpots) {
        Vista* target = nullptr;
        for (Vista* v : vistas)
            if (v && v->GetId() == h->GetTargetVistaId()) target = v;
        h->SetTargetVista(target);
    }
}

TextStyle* Vista::GetLabelStyle(bool create)
{
    if (!m_labelStyle && create) m_labelStyle = std::make_unique<TextStyle>();
    return m_labelStyle.get();
}

bool Vista::SetLabelStyleText(const char* text) { return GetLabelStyle(true)->SetText(text); }

ColorCtrl* Vista::GetColorCtrl(bool create)
{
    if (!m_colorCtrl && create) m_colorCtrl = std::make_unique<ColorCtrl>();
    return m_colorCtrl.get();
}

void Vista::RebuildShownThumbnail()
{
    if (!m_thumbnail) {
        m_shownThumbnail.reset();
        return;
    }
    if (!m_colorCtrl || m_colorCtrl->IsDefaultValue()) {
        m_shownThumbnail = m_thumbnail;
        return;
    }
    const Image& t = *m_thumbnail;
    const Image* shown = m_shownThumbnail.get();
    if (!shown || shown == &t || shown->GetWidth() != t.GetWidth() || shown->GetHeight() != t.GetHeight() ||
        shown->GetChannels() != t.GetChannels())
        m_shownThumbnail = RefPtr<Image>::adopt(new Image(t.GetWidth(), t.GetHeight(), t.GetChannels()));
    if (!m_colorCtrl->MapImage(&t, m_shownThumbnail.get())) m_shownThumbnail = m_thumbnail;
}

bool Vista::MapImage(const Image* source, Image* destination) const
{
    if (!source || !destination) return false;
    if (m_colorCtrl) return m_colorCtrl->MapImage(source, destination);
    return ColorCtrl().MapImage(source, destination);
}

bool Vista::MapImageInPlace(Image* image) const
{
    if (!image || !m_colorCtrl || m_colorCtrl->IsDefaultValue()) return false;
    return m_colorCtrl->MapImage(image, image);
}

void Vista::WriteRecord(tessiv::ConfigWriter& out) const
{
    out.Text(m_fileName);
    out.Text(m_label);
    out.Int(m_flags);
    out.Int(m_width);
    out.Int(m_height);
    for (int v : m_descriptor) out.Int(v);
    out.Int(m_soundId);
    out.Int(m_id);
    out.Float(m_initialView[0]);
    out.Float(m_initialView[1]);
    out.Float(m_zoomValue);
    out.Float(m_secondFloat);
    WriteOptionalStyle(out, m_labelStyle.get());
    WriteColorCtrl(out, m_colorCtrl.get());
    out.Word(static_cast<uint32_t>(m_hotSpots.size()));
    for (const auto& h : m_hotSpots) {
        tessiv::ConfigWriter record;
        WriteHotSpot(record, *h);
        out.SizedBlock(record.GetBytes());
    }
}

bool Vista::ReadRecord(tessiv::ConfigReader& in, int version)
{
    std::string fileName, label;
    int32_t flags = 0, width = 0, height = 0, soundId = 0, id = 0;
    int32_t descriptor[3] = {};
    float view[2] = {}, zoom = 0, second = 0;
    std::unique_ptr<TextStyle> style;
    std::unique_ptr<ColorCtrl> ctrl;
    uint32_t count = 0;
    if (!(in.Text(fileName) && in.Text(label) && in.Int(flags) && in.Int(width) && in.Int(height) &&
          in.Int(descriptor[0]) && in.Int(descriptor[1]) && in.Int(descriptor[2]) && in.Int(soundId) && in.Int(id) &&
          in.Float(view[0]) && in.Float(view[1]) && in.Float(zoom) && in.Float(second) &&
          ReadOptionalStyle(in, style, version) && ReadColorCtrl(in, ctrl) && in.Word(count)))
        return false;
    // Each hot spot takes at least its size word.
    if (count > in.Remaining() / 4) {
        in.Fail();
        return false;
    }
    std::vector<std::unique_ptr<HotSpot>> hotSpots;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = 0;
        if (!in.Word(size)) return false;
        tessiv::ConfigReader record = in.Sub(size);
        auto h = std::make_unique<HotSpot>();
        if (!record.Ok() || !ReadHotSpot(record, *h, version)) {
            in.Fail();
            return false;
        }
        hotSpots.push_back(std::move(h));
    }
    m_fileName = fileName;
    m_label = label;
    m_flags = flags;
    m_width = width;
    m_height = height;
    SetDescriptor(descriptor[0], descriptor[1], descriptor[2]);
    m_soundId = soundId;
    SetId(id);
    m_initialView[0] = view[0];
    m_initialView[1] = view[1];
    m_zoomValue = zoom;
    m_secondFloat = second;
    m_labelStyle = std::move(style);
    m_colorCtrl = std::move(ctrl);
    m_hotSpots = std::move(hotSpots);
    return true;
}
