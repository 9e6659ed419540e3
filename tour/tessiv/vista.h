// One vista of a tour: a panorama (or photograph) file with its thumbnail,
// kind and sizes, label, initial view, hot spots, sound and an optional
// colour adjustment of its pictures. The tour project keeps the vistas in
// tour order; the strip window, the dialog, the published images and the
// viewer parameter writers read them.
#pragma once

#include "imaging/image.h"
#include "imaging/ref_count.h"
#include "platform/imgcore/color_ctrl.h"
#include "tour/tessiv/hot_spot.h"
#include "tour/tessiv/text_style.h"

#include <memory>
#include <string>
#include <vector>

namespace tessiv {
class ConfigReader;
class ConfigWriter;
}  // namespace tessiv

class Vista {
public:
    // Kinds (flag bits 0-2): 1 and 4 photographs, 2 and 3 panoramas with a
    // world map.
    static constexpr int kKindMask = 0x7;
    // Flag bits.
    static constexpr int kMark = 1 << 4;
    static constexpr int kQuarterTurnShift = 5;      // bits 5-6: quarter turns of a photograph
    static constexpr int kVerticalFlipped = 1 << 7;  // written as panVPanoTop -180
    static constexpr int kVerticalPano = 1 << 8;     // written as isVPano
    static constexpr int kFlatView = 1 << 9;         // set when added with kind 2 or 3

    // All defaults, with the next library-wide id.
    Vista();
    ~Vista();
    Vista(const Vista&) = delete;
    Vista& operator=(const Vista&) = delete;

    // Takes a reference to `image`, drops the old thumbnail and the shown
    // thumbnail, and deletes the colour adjustment.
    void SetThumbnail(Image* image);
    Image* GetThumbnail() const { return m_thumbnail.get(); }
    // The thumbnail as shown (after the colour adjustment); a new reference
    // for the caller, null without a thumbnail.
    Image* GetShownThumbnail();

    bool SetFileName(const char* path);
    const char* GetFileName() const { return m_fileName.empty() ? nullptr : m_fileName.c_str(); }
    // Exact, case-sensitive comparison.
    bool IsSameFile(const char* path) const;

    // An equal text changes nothing; an empty one clears the label.
    bool SetLabel(const char* label);
    const char* GetLabelText() const { return m_label.empty() ? nullptr : m_label.c_str(); }
    // Into a buffer of n characters: the label, or without one the file name
    // without its extension (the part from the last "." of its last path
    // component); at most n - 1 characters and a zero. Returns the length.
    int GetLabel(char* buffer, int n) const;
    std::string GetShownLabel() const;

    int GetFlags() const { return m_flags; }
    void SetFlags(int flags) { m_flags = flags; }
    int GetKind() const { return m_flags & kKindMask; }
    void SetKind(int kind) { m_flags = (m_flags & ~kKindMask) | (kind & kKindMask); }
    bool IsPhotograph() const { return GetKind() == 1 || GetKind() == 4; }
    bool IsPanorama() const { return GetKind() == 2 || GetKind() == 3; }
    bool SetMark(bool on) { return SetFlagBit(kMark, on); }
    bool SetVerticalPano(bool on) { return SetFlagBit(kVerticalPano, on); }
    bool IsVerticalPano() const { return (m_flags & kVerticalPano) != 0; }
    bool SetVerticalFlipped(bool on) { return SetFlagBit(kVerticalFlipped, on); }
    bool IsVerticalFlipped() const { return (m_flags & kVerticalFlipped) != 0; }
    bool SetFlatView(bool on) { return SetFlagBit(kFlatView, on); }
    bool IsFlatView() const { return (m_flags & kFlatView) != 0; }

    // The picture's size as the thumbnail loader reported it.
    void SetSize(int width, int height);
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    // The panorama descriptor's values: equator width (pixels of the full
    // 360 degrees), the picture's column and row in the map.
    void SetDescriptor(int equatorWidth, int column, int row);
    int GetEquatorWidth() const { return m_descriptor[0]; }
    int GetColumn() const { return m_descriptor[1]; }
    int GetRow() const { return m_descriptor[2]; }
    void SetSoundId(int id) { m_soundId = id; }
    int GetSoundId() const { return m_soundId; }
    int GetId() const { return m_id; }
    void SetId(int id);  // raises the library's counter when higher

    // The initial view chosen in the strip window, each in -1..1.
    bool SetInitialView(float h, float v);
    float GetInitialViewH() const { return m_initialView[0]; }
    float GetInitialViewV() const { return m_initialView[1]; }
    bool SetZoomValue(float value);
    float GetZoomValue() const { return m_zoomValue; }
    bool SetSecondFloat(float value);
    float GetSecondFloat() const { return m_secondFloat; }

    // Panoramas (kinds 2 and 3): the second descriptor value is 0, or the
    // first minus the second (0 when negative) times 200 is below the first.
    bool IsFullCircle() const;

    // Photographs (kinds 1 and 4): one quarter turn clockwise: the count goes
    // up modulo 4, the thumbnail turns and width and height swap. False for
    // other kinds or when the thumbnail cannot be turned.
    bool TurnQuarter();
    int GetQuarterTurns() const { return (m_flags >> kQuarterTurnShift) & 3; }
    // Turns `image` in place by the stored quarter turns (90, 180 or 270
    // degrees clockwise). False when a turn fails.
    bool ApplyQuarterTurns(Image* image) const;

    // Hot spots, in order. A dynamic hot spot is fixed to the panorama, a
    // static one to the viewer window; the searches select one kind.
    HotSpot* AddHotSpot();  // a new hot spot at the end
    int GetHotSpotCount() const { return static_cast<int>(m_hotSpots.size()); }
    HotSpot* GetHotSpot(int index) const;
    HotSpot* FindHotSpot(int id) const;
    bool RemoveHotSpot(const HotSpot* hotSpot);
    // The next (previous) hot spot of the kind after (before) `from`; from
    // null: the first (last) of the kind.
    HotSpot* FindNextHotSpot(const HotSpot* from, bool dynamic) const;
    HotSpot* FindPrevHotSpot(const HotSpot* from, bool dynamic) const;
    bool HasHotSpot(bool dynamic) const;
    // Points each hot spot at the vista of its target id among `vistas`.
    void LinkHotSpotTargets(const std::vector<Vista*>& vistas);

    // The label style, made on first use; its text is the vista's legend.
    TextStyle* GetLabelStyle(bool create);
    const TextStyle* GetLabelStyle() const { return m_labelStyle.get(); }
    const char* GetLabelStyleText() const { return m_labelStyle ? m_labelStyle->GetText() : nullptr; }
    bool SetLabelStyleText(const char* text);

    // The colour adjustment, made when asked to create it.
    ColorCtrl* GetColorCtrl(bool create);
    // After the adjustment changed: the shown thumbnail is the thumbnail
    // itself while the adjustment is neutral, else an adjusted copy.
    void RebuildShownThumbnail();
    // Maps `source` through the adjustment into `destination` (same size and
    // channels); a neutral or missing adjustment copies.
    bool MapImage(const Image* source, Image* destination) const;
    // Maps `image` in place when the adjustment is not neutral; false when
    // nothing was done.
    bool MapImageInPlace(Image* image) const;

    // The record of a file written with the tour's vistas: every field but
    // the pictures (hot-spot pictures reload from their files).
    void WriteRecord(tessiv::ConfigWriter& out) const;
    bool ReadRecord(tessiv::ConfigReader& in, int version);

private:
    bool SetFlagBit(int mask, bool on);

    RefPtr<Image> m_thumbnail;
    RefPtr<Image> m_shownThumbnail;
    std::string m_fileName;
    std::string m_label;
    int m_flags = 0;
    int m_width = 0;
    int m_height = 0;
    int m_descriptor[3] = {0, 0, 0};
    int m_soundId = 0;
    int m_id;
    float m_initialView[2] = {0.0f, 0.0f};
    float m_zoomValue = 7.0f;
    float m_secondFloat = 0.0f;
    std::vector<std::unique_ptr<HotSpot>> m_hotSpots;
    std::unique_ptr<TextStyle> m_labelStyle;
    std::unique_ptr<ColorCtrl> m_colorCtrl;
};
