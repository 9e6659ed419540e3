#include "tour/tessiv/tour_map_settings.h"

#include "tour/tessiv/config_stream.h"
#include "tour/tessiv/file_utils.h"
#include "tour/tessiv/vista.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace {

template <class T>
bool Assign(T& field, T value)
{
    if (field == value) return false;
    field = value;
    return true;
}

bool AssignText(std::string& field, const char* text) { return Assign(field, std::string(text ? text : "")); }

Vista* FindById(const std::vector<Vista*>& vistas, int id)
{
    for (Vista* v : vistas)
        if (v && v->GetId() == id) return v;
    return nullptr;
}

}  // namespace

// ---- TourMap -----------------------------------------------------------------------------------

bool TourMap::SetImage(Image* image)
{
    if (image == m_image.get()) return false;
    m_image = RefPtr<Image>::share(image);
    return true;
}

bool TourMap::SetImageFile(const char* path) { return AssignText(m_imageFile, path); }
bool TourMap::SetLabel(const char* label) { return AssignText(m_label, label); }

std::string TourMap::GetShownLabel() const
{
    if (!m_label.empty()) return m_label;
    if (!m_imageFile.empty()) return FileNamePart(m_imageFile.c_str());
    return "TourMap";
}

bool TourMap::SetZoom(float percent) { return Assign(m_zoom, percent); }
bool TourMap::SetFlags(int flags) { return Assign(m_flags, flags); }

bool TourMap::SetDisplayMode(int mode)
{
    return Assign(m_flags, (m_flags & ~kDisplayModeMask) | (mode & kDisplayModeMask));
}

bool TourMap::SetValue(int value) { return Assign(m_value, value); }

bool TourMap::SetCentre(int x, int y)
{
    bool changed = Assign(m_centre[0], x);
    changed |= Assign(m_centre[1], y);
    return changed;
}

bool TourMap::GetCentre(int& x, int& y) const
{
    const bool valid = m_centre[0] != 0 && m_centre[1] != 0;
    x = valid ? m_centre[0] : 0;
    y = valid ? m_centre[1] : 0;
    return valid;
}

void TourMap::RotateQuarter()
{
    if (m_image && !RotateHeldImage(m_image, 90)) return;
    const int turns = (GetQuarterTurns() + 1) & 3;
    m_flags = (m_flags & ~(3 << kQuarterTurnShift)) | (turns << kQuarterTurnShift);
    constexpr float kQuarter = static_cast<float>(std::numbers::pi / 2);
    constexpr float kPi = static_cast<float>(std::numbers::pi);
    for (TourCompass& c : m_compasses) {
        const float x = c.x;
        c.x = -c.y;
        c.y = x;
        c.direction += kQuarter;
        if (c.direction > kPi) c.direction -= 2 * kPi;
    }
}

bool TourMap::AddCompass(Vista* vista, float x, float y, float direction, float view)
{
    if (!vista || FindCompass(vista)) return false;
    TourCompass c;
    c.x = x;
    c.y = y;
    c.direction = direction;
    c.view = view;
    c.vista = vista;
    c.vistaId = vista->GetId();
    m_compasses.push_back(c);
    return true;
}

TourCompass* TourMap::FindCompass(const Vista* vista)
{
    if (!vista) return nullptr;
    for (TourCompass& c : m_compasses)
        if (c.vista == vista) return &c;
    return nullptr;
}

TourCompass* TourMap::GetCompass(int index)
{
    return index >= 0 && index < GetCompassCount() ? &m_compasses[index] : nullptr;
}

int TourMap::GetPlacedCompassCount() const
{
    return static_cast<int>(std::count_if(m_compasses.begin(), m_compasses.end(),
                                          [](const TourCompass& c) { return c.hidden == 0; }));
}

bool TourMap::RemoveCompass(const Vista* vista)
{
    const auto it = std::find_if(m_compasses.begin(), m_compasses.end(),
                                 [vista](const TourCompass& c) { return c.vista == vista; });
    if (it == m_compasses.end()) return false;
    m_compasses.erase(it);
    return true;
}

void TourMap::WriteRecord(tessiv::ConfigWriter& out) const
{
    out.Text(m_imageFile);
    out.Text(m_label);
    out.Float(m_zoom);
    out.Int(m_flags);
    out.Int(m_value);
    out.Int(m_centre[0]);
    out.Int(m_centre[1]);
    out.Word(static_cast<uint32_t>(m_compasses.size()));
    for (const TourCompass& c : m_compasses) {
        out.Float(c.x);
        out.Float(c.y);
        out.Float(c.direction);
        out.Float(c.view);
        out.Int(c.vista ? c.vista->GetId() : c.vistaId);
        out.Byte(c.hidden);
    }
}

bool TourMap::ReadRecord(tessiv::ConfigReader& in)
{
    TourMap read;
    uint32_t count = 0;
    if (!(in.Text(read.m_imageFile) && in.Text(read.m_label) && in.Float(read.m_zoom) && in.Int(read.m_flags) &&
          in.Int(read.m_value) && in.Int(read.m_centre[0]) && in.Int(read.m_centre[1]) && in.Word(count)))
        return false;
    if (count > in.Remaining() / TourCompass::kRecordSize) {
        in.Fail();
        return false;
    }
    read.m_compasses.resize(count);
    for (TourCompass& c : read.m_compasses)
        if (!(in.Float(c.x) && in.Float(c.y) && in.Float(c.direction) && in.Float(c.view) && in.Int(c.vistaId) &&
              in.Byte(c.hidden)))
            return false;
    *this = std::move(read);
    return true;
}

// ---- TourMapSettings ---------------------------------------------------------------------------

void TourMapSettings::Reset() { *this = TourMapSettings(); }

TourMapSettings::TourMapSettings()
{
    m_vistaLabelStyle[kNormal].SetTextColor(0xFF0000);
    m_vistaLabelStyle[kNormal].SetBgColor(0xFFFFE0);
    m_vistaLabelStyle[kActive].SetTextColor(0x0000FF);
    m_vistaLabelStyle[kActive].SetBgColor(0xFFE0FF);
    m_vistaLabelStyle[kMouseOver].SetTextColor(0x00FF00);
    m_vistaLabelStyle[kMouseOver].SetBgColor(0xE0FFFF);
}

bool TourMapSettings::Flag(bool changed)
{
    if (changed) m_flags |= kChangedFlag;
    return changed;
}

bool TourMapSettings::SetFlagBits(int mask, int value)
{
    return Flag(Assign(m_flags, (m_flags & ~mask) | (value & mask)));
}

bool TourMapSettings::SetFlags(int flags) { return Flag(Assign(m_flags, flags)); }
bool TourMapSettings::SetDockSide(int side) { return SetFlagBits(kDockSideMask, std::clamp(side, 0, 3)); }

bool TourMapSettings::SetShowVistaLabel(int mode)
{
    return SetFlagBits(3 << kShowVistaLabelShift, std::clamp(mode, 0, 3) << kShowVistaLabelShift);
}

bool TourMapSettings::SetSwitch(int index, bool on)
{
    if (index < 0 || index > 2) return false;
    const int bit = 0x80 << index;
    return SetFlagBits(bit, on ? bit : 0);
}

bool TourMapSettings::GetSwitch(int index) const
{
    return index >= 0 && index <= 2 && (m_flags & (0x80 << index)) != 0;
}

bool TourMapSettings::SetShownFlag(bool on) { return SetFlagBits(kShownFlag, on ? kShownFlag : 0); }
bool TourMapSettings::SetMapBgColor(COLORREF color) { return Flag(Assign(m_mapBgColor, color)); }

bool TourMapSettings::SetSize(int width, int height)
{
    bool changed = Assign(m_width, width);
    changed |= Assign(m_height, height);
    return Flag(changed);
}

bool TourMapSettings::SetPosition(int x, int y)
{
    bool changed = Assign(m_x, x);
    changed |= Assign(m_y, y);
    return Flag(changed);
}

void TourMapSettings::PlaceBox(int x, int y, int width, int height)
{
    m_x = x;
    m_y = y;
    m_width = width;
    m_height = height;
}

bool TourMapSettings::SetCompassIconColor(int state, COLORREF color)
{
    if (state < 0 || state > 2) return false;
    return Flag(Assign(m_compassIconColor[state], color));
}

COLORREF TourMapSettings::GetCompassIconColor(int state) const
{
    return state >= 0 && state <= 2 ? m_compassIconColor[state] : 0;
}

bool TourMapSettings::SetScanBeamColor(COLORREF color) { return Flag(Assign(m_scanBeamColor, color)); }
bool TourMapSettings::SetScanBeamLineColor(COLORREF color) { return Flag(Assign(m_scanBeamLineColor, color)); }
bool TourMapSettings::SetScanBeamLength(int length) { return Flag(Assign(m_scanBeamLength, length)); }
bool TourMapSettings::SetScanBeamTransparency(int value) { return Flag(Assign(m_scanBeamTransparency, value)); }
bool TourMapSettings::SetCompassIconTransparency(int value) { return Flag(Assign(m_compassIconTransparency, value)); }

TextStyle& TourMapSettings::GetVistaLabelStyle(int state) { return m_vistaLabelStyle[std::clamp(state, 0, 2)]; }

const TextStyle& TourMapSettings::GetVistaLabelStyle(int state) const
{
    return m_vistaLabelStyle[std::clamp(state, 0, 2)];
}

int TourMapSettings::GetValidMapCount() const
{
    return static_cast<int>(std::count_if(m_maps.begin(), m_maps.end(), [](const TourMap& m) { return m.IsValid(); }));
}

int TourMapSettings::AddMap()
{
    for (size_t i = 0; i < m_maps.size(); ++i)
        if (!m_maps[i].IsValid()) {
            m_maps[i] = TourMap();
            m_flags |= kChangedFlag;
            return static_cast<int>(i);
        }
    m_maps.emplace_back();
    m_flags |= kChangedFlag;
    return GetMapCount() - 1;
}

void TourMapSettings::ClearMaps()
{
    m_maps.clear();
    m_currentMap = 0;
}

bool TourMapSettings::SwapMaps(int a, int b)
{
    if (a < 0 || b < 0 || a >= GetMapCount() || b >= GetMapCount() || a == b) return false;
    std::swap(m_maps[a], m_maps[b]);
    return Flag(true);
}

TourMap* TourMapSettings::GetMap(int index) { return index >= 0 && index < GetMapCount() ? &m_maps[index] : nullptr; }

const TourMap* TourMapSettings::GetMap(int index) const
{
    return index >= 0 && index < GetMapCount() ? &m_maps[index] : nullptr;
}

bool TourMapSettings::SetCurrentMap(int index)
{
    if (index < 0 || index >= GetMapCount()) return false;
    return Assign(m_currentMap, index);
}

TourMap* TourMapSettings::GetCurrentMap() { return GetMap(m_currentMap); }
const TourMap* TourMapSettings::GetCurrentMap() const { return GetMap(m_currentMap); }

std::string TourMapSettings::GetCurrentMapLabel() const
{
    const TourMap* map = GetCurrentMap();
    return map ? map->GetShownLabel() : std::string();
}

bool TourMapSettings::GetCurrentMapImageSize(int& width, int& height) const
{
    const TourMap* map = GetCurrentMap();
    width = height = 0;
    if (!map || !map->GetImage()) return false;
    width = map->GetImage()->GetWidth();
    height = map->GetImage()->GetHeight();
    return true;
}

float TourMapSettings::GetCurrentMapZoom() const
{
    const TourMap* map = GetCurrentMap();
    return map ? map->GetZoom() : 0.0f;
}

bool TourMapSettings::GetCurrentMapCentre(int& x, int& y) const
{
    const TourMap* map = GetCurrentMap();
    x = y = 0;
    return map && map->GetCentre(x, y);
}

int TourMapSettings::GetCurrentMapDisplayMode() const
{
    const TourMap* map = GetCurrentMap();
    return map ? map->GetDisplayMode() : 0;
}

int TourMapSettings::GetCurrentMapRotation() const
{
    const TourMap* map = GetCurrentMap();
    return map ? map->GetRotation() : 0;
}

TourCompass* TourMapSettings::FindCompass(const Vista* vista)
{
    TourMap* map = GetCurrentMap();
    return map ? map->FindCompass(vista) : nullptr;
}

TourCompass* TourMapSettings::GetCompass(int index)
{
    TourMap* map = GetCurrentMap();
    return map ? map->GetCompass(index) : nullptr;
}

int TourMapSettings::GetCompassCount() const
{
    const TourMap* map = GetCurrentMap();
    return map ? map->GetCompassCount() : 0;
}

int TourMapSettings::GetPlacedCompassCount() const
{
    const TourMap* map = GetCurrentMap();
    return map ? map->GetPlacedCompassCount() : 0;
}

bool TourMapSettings::HasCompass(const Vista* vista) const
{
    for (const TourMap& map : m_maps)
        for (const TourCompass& c : map.Compasses())
            if (c.vista == vista) return true;
    return false;
}

void TourMapSettings::RemoveVistaCompasses(const Vista* vista)
{
    for (TourMap& map : m_maps) map.RemoveCompass(vista);
}

void TourMapSettings::UpdateVistaLinks(const std::vector<Vista*>& vistas)
{
    for (TourMap& map : m_maps) {
        auto& compasses = map.Compasses();
        std::erase_if(compasses, [&vistas](const TourCompass& c) {
            return std::find(vistas.begin(), vistas.end(), c.vista) == vistas.end();
        });
        for (TourCompass& c : compasses) {
            c.vistaIndex = static_cast<int>(std::find(vistas.begin(), vistas.end(), c.vista) - vistas.begin());
            c.vistaId = c.vista->GetId();
        }
    }
}

void TourMapSettings::LinkVistasById(const std::vector<Vista*>& vistas)
{
    for (TourMap& map : m_maps)
        for (TourCompass& c : map.Compasses()) c.vista = FindById(vistas, c.vistaId);
}

void TourMapSettings::WriteRecord(tessiv::ConfigWriter& out, bool withMaps) const
{
    if (withMaps) {
        out.Word(static_cast<uint32_t>(m_maps.size()));
        for (const TourMap& map : m_maps) map.WriteRecord(out);
    }
    const uint32_t words[kRecordFixedWords] = {
        static_cast<uint32_t>(m_flags), static_cast<uint32_t>(m_width), static_cast<uint32_t>(m_height),
        static_cast<uint32_t>(m_x), static_cast<uint32_t>(m_y), m_mapBgColor,
        m_compassIconColor[0], m_compassIconColor[1], m_compassIconColor[2],
        m_scanBeamColor, m_scanBeamLineColor, static_cast<uint32_t>(m_scanBeamLength),
        static_cast<uint32_t>(m_scanBeamTransparency), static_cast<uint32_t>(m_compassIconTransparency)};
    for (uint32_t w : words) out.Word(w);
    for (const TextStyle& style : m_vistaLabelStyle) style.WriteRecord(out);
}

size_t TourMapSettings::GetRecordSize(bool withMaps) const
{
    tessiv::ConfigWriter out;
    WriteRecord(out, withMaps);
    return out.Size();
}

bool TourMapSettings::ReadRecord(tessiv::ConfigReader& in, int version, bool withMaps)
{
    if (withMaps) {
        uint32_t count = 0;
        if (!in.Word(count)) return false;
        ClearMaps();
        // Each map takes at least 32 bytes, so the data bounds the loop.
        for (uint32_t i = 0; i < count; ++i) {
            TourMap map;
            if (!map.ReadRecord(in)) return false;
            m_maps.push_back(std::move(map));
        }
    }
    int32_t* fields[kRecordFixedWords] = {
        &m_flags, &m_width, &m_height, &m_x, &m_y,
        reinterpret_cast<int32_t*>(&m_mapBgColor), reinterpret_cast<int32_t*>(&m_compassIconColor[0]),
        reinterpret_cast<int32_t*>(&m_compassIconColor[1]),
        reinterpret_cast<int32_t*>(&m_compassIconColor[2]), reinterpret_cast<int32_t*>(&m_scanBeamColor),
        reinterpret_cast<int32_t*>(&m_scanBeamLineColor), &m_scanBeamLength,
        &m_scanBeamTransparency, &m_compassIconTransparency};
    const bool current = version >= 116;
    for (int32_t* field : fields) {
        if (!current && in.Remaining() < 4) break;  // older records hold fewer words
        if (!in.Int(*field)) return false;
    }
    for (TextStyle& style : m_vistaLabelStyle) {
        if (!current && in.Remaining() == 0) break;
        if (!style.ReadRecord(in, version >= 106)) return false;
    }
    return true;
}
