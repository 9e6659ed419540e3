// The tour map of a tour: one or more map pictures (floor plans, site maps)
// with a compass per vista that marks where the vista was taken and where
// its view starts, and the map's look on the tour page (box, colours, scan
// beam, the vista label styles). The tour project owns one; the layout
// places its box, the configuration file stores its settings and the tour
// map parameter writers read it.
#pragma once

#include "imaging/image.h"
#include "imaging/ref_count.h"
#include "platform/win/win_types.h"
#include "tour/tessiv/text_style.h"

#include <cstdint>
#include <string>
#include <vector>

class Vista;

namespace tessiv {
class ConfigReader;
class ConfigWriter;
}  // namespace tessiv

// One compass: a vista's place on one map picture.
struct TourCompass {
    float x = 0.0f;          // position on the map picture, pixels
    float y = 0.0f;
    float direction = 0.0f;  // "a0": the start direction, radians
    float view = 0.0f;       // "uView0"
    uint8_t hidden = 0;      // 0: the compass is placed
    Vista* vista = nullptr;
    int vistaId = 0;         // how files name the vista
    int vistaIndex = -1;     // the vista's index in the tour, kept by the tour project

    // 21 bytes in files: x, y, direction, view, the vista id, hidden.
    static constexpr size_t kRecordSize = 21;
};

// One map picture with its compasses.
class TourMap {
public:
    // Display modes (flag bits 2, 3 and 13, set together).
    static constexpr int kDisplayModeMask = 0x200C;
    static constexpr int kQuarterTurnShift = 11;  // flag bits 11-12

    bool IsValid() const { return static_cast<bool>(m_image); }
    // Setters report whether a value changed.
    bool SetImage(Image* image);  // holds its own reference
    Image* GetImage() const { return m_image.get(); }
    bool SetImageFile(const char* path);
    const char* GetImageFile() const { return m_imageFile.empty() ? nullptr : m_imageFile.c_str(); }
    bool SetLabel(const char* label);
    const char* GetLabel() const { return m_label.empty() ? nullptr : m_label.c_str(); }
    // The label shown: the label, else the image file's name (without its
    // folder), else "TourMap".
    std::string GetShownLabel() const;

    bool SetZoom(float percent);
    float GetZoom() const { return m_zoom; }
    bool SetFlags(int flags);
    int GetFlags() const { return m_flags; }
    bool SetDisplayMode(int mode);  // 0, 4, 8, 12 or 0x2000
    int GetDisplayMode() const { return m_flags & kDisplayModeMask; }
    int GetQuarterTurns() const { return (m_flags >> kQuarterTurnShift) & 3; }
    int GetRotation() const { return GetQuarterTurns() * 90; }  // degrees
    bool SetValue(int value);
    int GetValue() const { return m_value; }
    bool SetCentre(int x, int y);
    // The centre, valid only when both coordinates are non-zero; false
    // (and 0, 0) otherwise.
    bool GetCentre(int& x, int& y) const;

    // A quarter turn clockwise: the count goes up modulo 4, the picture
    // turns and every compass turns with it: (x, y) becomes (-y, x) and its
    // direction grows by pi/2 (kept within (-pi, pi]).
    void RotateQuarter();

    // Compasses: at most one per vista.
    bool AddCompass(Vista* vista, float x, float y, float direction, float view);
    TourCompass* FindCompass(const Vista* vista);
    TourCompass* GetCompass(int index);
    int GetCompassCount() const { return static_cast<int>(m_compasses.size()); }
    int GetPlacedCompassCount() const;
    bool RemoveCompass(const Vista* vista);
    std::vector<TourCompass>& Compasses() { return m_compasses; }
    const std::vector<TourCompass>& Compasses() const { return m_compasses; }

    // The full record of a file written with the tour's maps (the picture
    // itself is not stored: the map is valid again once its image is set).
    void WriteRecord(tessiv::ConfigWriter& out) const;
    bool ReadRecord(tessiv::ConfigReader& in);

private:
    RefPtr<Image> m_image;
    std::string m_imageFile;
    std::string m_label;
    std::vector<TourCompass> m_compasses;
    float m_zoom = 100.0f;  // percent
    int m_flags = 0;
    int m_value = 1;
    int m_centre[2] = {0, 0};
};

class TourMapSettings {
public:
    // Flag bits.
    static constexpr int kDockSideMask = 0x3;        // bits 0-1
    static constexpr int kShowVistaLabelShift = 4;   // bits 4-5: "showVistaLabel"
    static constexpr int kChangedFlag = 0x40;        // set by every change
    static constexpr int kShownFlag = 0x400;         // the tour map is switched on
    static constexpr int kDefaultFlags = 0x480;
    // The vista label styles.
    enum LabelState { kNormal = 0, kActive = 1, kMouseOver = 2 };
    // The record as the configuration dialog writes it: 14 words and three
    // text-style records.
    static constexpr size_t kRecordFixedWords = 14;

    TourMapSettings();

    // Every setting back to its default, and no maps.
    void Reset();

    // Setters report whether a value changed and mark the change in flag bit 6.
    bool SetFlags(int flags);
    int GetFlags() const { return m_flags; }
    bool SetDockSide(int side);  // 0..3
    int GetDockSide() const { return m_flags & kDockSideMask; }
    bool SetShowVistaLabel(int mode);  // 0..3
    int GetShowVistaLabel() const { return (m_flags >> kShowVistaLabelShift) & 3; }
    // The three switches of flag bits 7, 8 and 9 (index 0, 1, 2).
    bool SetSwitch(int index, bool on);
    bool GetSwitch(int index) const;
    bool SetShownFlag(bool on);
    bool GetShownFlag() const { return (m_flags & kShownFlag) != 0; }
    // The tour map is shown when switched on and at least one map is valid.
    bool IsShown() const { return GetShownFlag() && GetValidMapCount() > 0; }

    bool SetMapBgColor(COLORREF color);
    COLORREF GetMapBgColor() const { return m_mapBgColor; }
    bool SetSize(int width, int height);
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    bool SetPosition(int x, int y);
    int GetX() const { return m_x; }
    int GetY() const { return m_y; }
    // The layout's own placement of the box on the page: not a user change.
    void PlaceBox(int x, int y, int width, int height);
    bool SetCompassIconColor(int state, COLORREF color);  // LabelState
    COLORREF GetCompassIconColor(int state) const;
    bool SetScanBeamColor(COLORREF color);
    COLORREF GetScanBeamColor() const { return m_scanBeamColor; }
    bool SetScanBeamLineColor(COLORREF color);
    COLORREF GetScanBeamLineColor() const { return m_scanBeamLineColor; }
    bool SetScanBeamLength(int length);
    int GetScanBeamLength() const { return m_scanBeamLength; }
    bool SetScanBeamTransparency(int value);
    int GetScanBeamTransparency() const { return m_scanBeamTransparency; }
    bool SetCompassIconTransparency(int value);
    int GetCompassIconTransparency() const { return m_compassIconTransparency; }
    // The vista label styles; changes made through them are not flagged.
    TextStyle& GetVistaLabelStyle(int state);
    const TextStyle& GetVistaLabelStyle(int state) const;

    // Maps.
    int GetMapCount() const { return static_cast<int>(m_maps.size()); }
    int GetValidMapCount() const;
    // Reuses the first map without a picture, else adds one; its index.
    int AddMap();
    void ClearMaps();
    bool SwapMaps(int a, int b);
    TourMap* GetMap(int index);
    const TourMap* GetMap(int index) const;
    int GetCurrentMapIndex() const { return m_currentMap; }
    bool SetCurrentMap(int index);
    // The map the map operations address; null when there are no maps.
    TourMap* GetCurrentMap();
    const TourMap* GetCurrentMap() const;

    // Operations on the current map: false or 0 without maps.
    std::string GetCurrentMapLabel() const;
    bool GetCurrentMapImageSize(int& width, int& height) const;
    float GetCurrentMapZoom() const;
    bool GetCurrentMapCentre(int& x, int& y) const;
    int GetCurrentMapDisplayMode() const;
    int GetCurrentMapRotation() const;
    TourCompass* FindCompass(const Vista* vista);  // the vista's compass on the current map
    TourCompass* GetCompass(int index);
    int GetCompassCount() const;
    int GetPlacedCompassCount() const;

    // Compasses over every map.
    bool HasCompass(const Vista* vista) const;
    void RemoveVistaCompasses(const Vista* vista);
    // Removes every compass whose vista is not in `vistas` and gives the
    // others their vista's index in it.
    void UpdateVistaLinks(const std::vector<Vista*>& vistas);
    // Points each compass at the vista of its id among `vistas` (none when
    // missing).
    void LinkVistasById(const std::vector<Vista*>& vistas);

    // The configuration-file record: with maps, a word with the map count
    // and the map records come first.
    void WriteRecord(tessiv::ConfigWriter& out, bool withMaps) const;
    size_t GetRecordSize(bool withMaps) const;
    // Reads the record of a file of `version` into these settings, which
    // the caller has reset, each value as it comes (a map or a text style
    // only whole); false where the data ends or a map or style is damaged,
    // with what came before taken over. Before version 116 the words are
    // read as far as the record holds them.
    bool ReadRecord(tessiv::ConfigReader& in, int version, bool withMaps);

private:
    bool Flag(bool changed);
    bool SetFlagBits(int mask, int value);

    int m_currentMap = 0;
    std::vector<TourMap> m_maps;
    int m_flags = kDefaultFlags;
    COLORREF m_mapBgColor = 0xFF0080;
    int m_width = 256;
    int m_height = 256;
    int m_x = 0;
    int m_y = 0;
    COLORREF m_compassIconColor[3] = {0xFF0000, 0x0000FF, 0x00FF00};  // normal, active, mouse-over
    COLORREF m_scanBeamColor = 0xFF8080;
    COLORREF m_scanBeamLineColor = 0x0000FF;
    int m_scanBeamLength = 100;
    int m_scanBeamTransparency = 50;
    int m_compassIconTransparency = 50;
    TextStyle m_vistaLabelStyle[3];
};
