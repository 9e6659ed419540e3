#include "tour/tessiv/hot_spot.h"

#include "tour/tessiv/tour_library.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>

namespace {

template <class T>
bool Assign(T& field, T value)
{
    if (field == value) return false;
    field = value;
    return true;
}

bool SameTextNoCase(const std::string& a, const char* b)
{
    const std::string other = b ? b : "";
    return a.size() == other.size() && strcasecmp(a.c_str(), other.c_str()) == 0;
}

}  // namespace

bool RotateHeldImage(RefPtr<Image>& image, int code)
{
    if (!image) return false;
    if (image->m_refCount > 1) {
        RefPtr<Image> own = RefPtr<Image>::adopt(image->Duplicate());
        if (!own) return false;
        image = own;
    }
    return image->Rotate(code) == 0;
}

HotSpot::HotSpot() : m_id(NewHotSpotId()) {}

TextStyle* HotSpot::GetLabelStyle(bool create)
{
    if (!m_labelStyle && create) m_labelStyle = std::make_unique<TextStyle>();
    return m_labelStyle.get();
}

bool HotSpot::SetPosition(float x, float y)
{
    bool changed = Assign(m_position[0], x);
    changed |= Assign(m_position[1], y);
    return changed;
}

bool HotSpot::SetTargetVistaId(int id) { return Assign(m_targetVistaId, id); }

bool HotSpot::SetImage(Image* image)
{
    if (image == m_image.get()) return false;
    m_image = RefPtr<Image>::share(image);
    return true;
}

ColorCtrl* HotSpot::GetColorCtrl(bool create)
{
    if (!m_colorCtrl && create) m_colorCtrl = std::make_unique<ColorCtrl>();
    return m_colorCtrl.get();
}

bool HotSpot::SetImageFile(const char* path)
{
    if (SameTextNoCase(m_imageFile, path)) return false;
    m_imageFile = path ? path : "";
    return true;
}

bool HotSpot::SetCrop(int x, int y, int width, int height)
{
    x = std::max(0, x);
    y = std::max(0, y);
    width = std::max(0, width);
    height = std::max(0, height);
    if (m_image) {
        const int w = m_image->GetWidth(), h = m_image->GetHeight();
        x = std::min(x, w);
        y = std::min(y, h);
        width = std::min(width, w - x);
        height = std::min(height, h - y);
    }
    bool changed = Assign(m_crop[0], x);
    changed |= Assign(m_crop[1], y);
    changed |= Assign(m_crop[2], width);
    changed |= Assign(m_crop[3], height);
    return changed;
}

void HotSpot::GetCrop(int& x, int& y, int& width, int& height) const
{
    x = m_crop[0];
    y = m_crop[1];
    width = m_crop[2];
    height = m_crop[3];
}

bool HotSpot::SetFloatValue(float value) { return Assign(m_floatValue, value); }

void HotSpot::SetId(int id)
{
    m_id = id;
    NoteHotSpotId(id);
}

bool HotSpot::SetValue(int value) { return Assign(m_value, value); }

bool HotSpot::SetFlags(int flags) { return Assign(m_flags, flags); }

bool HotSpot::SetFlagBit(int mask, bool on)
{
    mask &= ~(3 << kQuarterTurnShift);
    return Assign(m_flags, on ? (m_flags | mask) : (m_flags & ~mask));
}

bool HotSpot::SetLinkText(const char* text)
{
    if (SameTextNoCase(m_linkText, text)) return false;
    m_linkText = text ? text : "";
    return true;
}

void HotSpot::RotateQuarter()
{
    // A clockwise turn takes the picture's point (px, py) of an H-row
    // picture to (H - 1 - py, px): the crop's left edge comes from its
    // bottom edge.
    const int oldHeight = m_image ? m_image->GetHeight() : 0;
    if (m_image && !RotateHeldImage(m_image, 90)) return;
    const int x = m_crop[0], y = m_crop[1], w = m_crop[2], h = m_crop[3];
    if (w != 0 && h != 0) {
        m_crop[0] = std::max(0, oldHeight - (y + h));
        m_crop[1] = x;
        m_crop[2] = h;
        m_crop[3] = w;
    }
    const int turns = (GetQuarterTurns() + 1) & 3;
    m_flags = (m_flags & ~(3 << kQuarterTurnShift)) | (turns << kQuarterTurnShift);
}

bool HotSpot::GetExportFileName(std::string& name) const
{
    if (!m_image || m_imageFile.empty()) return false;
    char text[32];
    std::snprintf(text, sizeof text, "HspImg-%05d.jpg", m_id);
    name = text;
    return true;
}
