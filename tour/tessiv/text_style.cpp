#include "tour/tessiv/text_style.h"

#include "tour/tessiv/config_stream.h"

#include <algorithm>

namespace {

// Assigns and reports a change.
template <class T>
bool Assign(T& field, T value)
{
    if (field == value) return false;
    field = value;
    return true;
}

std::string TextOf(const char* text) { return text ? std::string(text) : std::string(); }

int16_t ToShort(int value) { return static_cast<int16_t>(std::clamp(value, -32768, 32767)); }

}  // namespace

bool TextStyle::SetText(const char* text) { return Assign(m_text, TextOf(text)); }

bool TextStyle::SetFace(const char* face, int size, int style)
{
    bool changed = Assign(m_face, TextOf(face));
    changed |= Assign(m_size, ToShort(size));
    changed |= Assign(m_style, static_cast<uint8_t>(style));
    return changed;
}

bool TextStyle::SetTextColor(COLORREF color) { return Assign(m_textColor, color); }
bool TextStyle::SetBgColor(COLORREF color) { return Assign(m_bgColor, color); }
bool TextStyle::SetTransparency(int value) { return Assign(m_transparency, ToShort(value)); }
bool TextStyle::SetOpacity(int value) { return Assign(m_opacity, static_cast<uint8_t>(std::clamp(value, 0, 255))); }

bool TextStyle::SetShown(bool shown)
{
    return Assign(m_flags, static_cast<uint8_t>(shown ? (m_flags | kShownFlag) : (m_flags & ~kShownFlag)));
}

bool TextStyle::SetAlignment(int value)
{
    return Assign(m_flags, static_cast<uint8_t>((m_flags & ~kAlignMask) | value));
}

void TextStyle::CopyFrom(const TextStyle& source)
{
    if (source.m_face.empty()) {
        m_face = kDefaultFace;
        m_size = kDefaultSize;
    } else {
        m_face = source.m_face;
        m_size = source.m_size;
    }
    m_style = source.m_style;
    m_textColor = source.m_textColor;
    m_bgColor = source.m_bgColor;
    m_opacity = source.m_opacity;
    m_flags = 0;
    m_transparency = 100;
}

size_t TextStyle::GetRecordSize() const
{
    size_t size = kRecordFixedSize;
    if (!m_text.empty()) size += m_text.size() + 1;
    if (!m_face.empty()) size += m_face.size() + 1;
    return size;
}

void TextStyle::WriteRecord(tessiv::ConfigWriter& out) const
{
    out.Word(m_textColor);
    out.Word(m_bgColor);
    out.Short(m_size);
    out.Byte(m_style);
    out.Byte(m_flags);
    out.Byte(m_opacity);
    out.Text(m_text);
    out.Text(m_face);
    out.Short(m_transparency);
}

bool TextStyle::ReadRecord(tessiv::ConfigReader& in, bool withTransparency)
{
    TextStyle read = *this;
    uint32_t textColor = 0, bgColor = 0;
    bool ok = in.Word(textColor) && in.Word(bgColor) && in.Short(read.m_size) && in.Byte(read.m_style) &&
              in.Byte(read.m_flags) && in.Byte(read.m_opacity) && in.Text(read.m_text) && in.Text(read.m_face);
    if (ok && withTransparency) ok = in.Short(read.m_transparency);
    if (!ok) return false;
    read.m_textColor = textColor;
    read.m_bgColor = bgColor;
    if (read.m_face.empty()) {
        read.m_size = 0;
        read.m_style = 0;
    }
    *this = std::move(read);
    return true;
}
