// The one object that holds a tour: page settings, colours, title, the
// vistas in tour order, the sounds, the tour map, the page layout and the
// stored viewer parameters. The tour maker dialog creates and edits it, the
// strip window shows and reorders its vistas, the configuration file saves
// its look, and the publisher and the parameter writers read it. Every
// setter reports whether the value changed and marks unsaved changes.
#pragma once

#include "imaging/image.h"
#include "platform/win/win_types.h"
#include "tour/tessiv/text_style.h"
#include "tour/tessiv/tour_map_settings.h"
#include "tour/tessiv/vista.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// A sound file known to the tour.
struct TourSound {
    std::string path;
    float value = 0.0f;  // the sound's length in seconds, as far as it is known
    int id = 0;
};

// The page layout's boxes, in this order.
enum TourLayoutBox : int {
    kPageBox = 0,
    kTourMapBox = 1,
    kStripBox = 2,    // the vista strip ("vista bench")
    kViewerBox = 3,   // kept equal to the page box
    kTitleBox = 4,
    kControlBox = 5,
    kLayoutBoxCount = 6,
};

// Results of TourProject::Load.
enum TourConfigLoadResult : int {
    kConfigLoaded = 0,
    kConfigNotTessiv = 1,   // no file, or its first word is not 1: nothing read
};

class TourProject {
public:
    static constexpr int kConfigFormatMarker = 1;
    static constexpr int kConfigVersion = 116;
    // The control box of the page: 120 x 142 pixels.
    static constexpr int kControlBoxWidth = 120;
    static constexpr int kControlBoxHeight = 142;

    // A new tour keeping at most `vistaLimit` vistas (the dialog passes 1);
    // resets the library-wide vista label style and id counters.
    explicit TourProject(int vistaLimit);
    ~TourProject();
    TourProject(const TourProject&) = delete;
    TourProject& operator=(const TourProject&) = delete;

    // ---- Vistas (indices from 0 in tour order) -----------------------------------------------
    // Adds a vista after the active one (or at the end without one); when the
    // limit is reached the first vista goes. The new id, or -1 when a vista of
    // that file name (exact comparison) is already in the tour.
    int AddVista(Image* thumbnail, const char* fileName, int kind, int width, int height, int equatorWidth,
                 int column, int row);
    Vista* FindVista(const char* fileName) const;
    Vista* FindVistaById(int id) const;
    int GetVistaIndex(int id) const;  // -1 when not in the tour
    Vista* GetVista(int index) const;  // null outside 0..count-1
    Vista* GetActiveVista() const;
    int GetActiveVistaId() const { return m_activeVistaId; }
    bool SetActiveVista(int id);  // false when already active or not in the tour
    bool SetActiveVista(const Vista* vista);
    bool RemoveVista(int index);
    // Moves the vista at `from` to index `to` (b may be the last index);
    // false when from = to or either lies outside the list.
    bool MoveVista(int from, int to);
    int GetVistaLimit() const { return m_vistaLimit; }
    int GetVistaCount() const { return static_cast<int>(m_vistas.size()); }
    std::vector<Vista*> GetVistas() const;

    // ---- Page and look ----------------------------------------------------------------------
    bool SetPageSize(int width, int height);
    int GetPageWidth() const { return m_pageWidth; }
    int GetPageHeight() const { return m_pageHeight; }
    bool SetSpinSpeed(int degreesPerSecond);
    int GetSpinSpeed() const { return m_spinSpeed; }
    bool SetFieldOfView(int degrees);
    int GetFieldOfView() const { return m_fieldOfView; }
    bool SetControlBarColor(COLORREF color);
    COLORREF GetControlBarColor() const { return m_controlBarColor; }
    bool SetVistaBenchColor(COLORREF color);
    COLORREF GetVistaBenchColor() const { return m_vistaBenchColor; }
    bool SetPageBgColor(COLORREF color);
    COLORREF GetPageBgColor() const { return m_pageBgColor; }
    bool SetFourthColor(COLORREF color);
    COLORREF GetFourthColor() const { return m_fourthColor; }
    bool SetVistaBenchLocation(int location);  // 0, 1 or 2
    int GetVistaBenchLocation() const { return m_vistaBenchLocation; }
    bool SetThumbnailRowsSetting(float rows);
    float GetThumbnailRowsSetting() const { return m_thumbnailRowsSetting; }
    bool SetAutomaticRows(bool on);
    bool GetAutomaticRows() const { return m_automaticRows != 0; }
    int GetThumbnailRows() const { return m_thumbnailRows; }
    bool SetImageQuality(int quality);  // 0 High, 1 Medium, 2 Low
    int GetImageQuality() const { return m_imageQuality; }
    bool SetViewerKind(int kind);       // 0 Flash, 1 Java
    int GetViewerKind() const { return m_viewerKind; }
    bool SetButtonBgColor(int state, COLORREF color);  // states 0..3: off, over, click, active
    COLORREF GetButtonBgColor(int state) const;
    bool SetButtonTextColor(int state, COLORREF color);
    COLORREF GetButtonTextColor(int state) const;
    bool SetControlBarColored(bool on);
    bool GetControlBarColored() const { return m_controlBarColored != 0; }
    bool SetVistaBenchColored(bool on);
    bool GetVistaBenchColored() const { return m_vistaBenchColored != 0; }
    bool SetUseSound(bool on);
    bool GetUseSound() const { return m_useSound != 0; }
    // Texts compared exactly; an equal text changes nothing, an empty one
    // clears.
    bool SetFolder(const char* folder);
    const char* GetFolder() const { return TextOrNull(m_folder); }
    bool SetPageName(const char* name);
    const char* GetPageName() const { return TextOrNull(m_pageName); }
    bool SetStoredText(int index, const char* text);  // index 0 or 1
    const char* GetStoredText(int index) const;
    bool SetStripEnabled(bool on);
    bool GetStripEnabled() const { return m_stripEnabled != 0; }

    // Title.
    bool SetTitleText(const char* text);
    bool SetTitleFont(const char* face, int size, int style);
    bool SetTitleColor(COLORREF color);
    bool SetTitleShown(bool shown);
    const TextStyle& GetTitle() const { return m_title; }
    // True when the title is shown and has a text.
    bool IsTitleShown() const { return m_title.IsShown() && m_title.HasText(); }

    // Viewer parameters kept with the tour.
    bool SetPhotoSlideInitSize(int photo, int slide);
    int GetPhotoSlideInitSize(int which) const { return m_photoSlideInitSize[which & 1]; }
    bool SetPhotoSlideMovieTime(int photo, int slide);
    int GetPhotoSlideMovieTime(int which) const { return m_photoSlideMovieTime[which & 1]; }
    bool SetPhotoSlideZoomTime(int photo, int slide);
    int GetPhotoSlideZoomTime(int which) const { return m_photoSlideZoomTime[which & 1]; }
    bool SetVistaSoundPlayFlag(int bit, bool on);  // bits 0..3
    bool GetVistaSoundPlayFlag(int bit) const;
    int GetVistaSoundPlayFlags() const { return m_vistaSoundPlayFlags; }
    bool SetVistaLabelInViewer(int value);  // 0..3
    int GetVistaLabelInViewer() const { return m_vistaLabelInViewer; }
    TextStyle& GetViewerLabelStyle() { return m_viewerLabelStyle; }
    const TextStyle& GetViewerLabelStyle() const { return m_viewerLabelStyle; }
    bool SetViewerLabelValue(int value);
    int GetViewerLabelValue() const { return m_viewerLabelValue; }
    bool SetFlagD(bool on);
    bool GetFlagD() const { return m_flagD != 0; }
    // Values kept and saved for the viewers; F is the strip's thumbnail height.
    bool SetStoredValueA(int value);
    int GetStoredValueA() const { return m_storedValueA; }
    bool SetStoredFlagB(bool on);
    bool GetStoredFlagB() const { return m_storedFlagB != 0; }
    bool SetStoredFlagC(bool on);  // the tour-movie text
    bool GetStoredFlagC() const { return m_storedFlagC != 0; }
    bool SetStoredValue(int index, int value);  // index 0..3: E, F, G, H
    int GetStoredValue(int index) const;
    int GetThumbnailHeight() const { return m_storedValues[1]; }

    TourMapSettings& GetTourMap() { return m_tourMap; }
    const TourMapSettings& GetTourMap() const { return m_tourMap; }

    bool HasUnsavedChanges() const { return m_unsavedChanges != 0; }
    void MarkChanged() { m_unsavedChanges = 1; }

    // ---- Sounds -----------------------------------------------------------------------------
    // The background sound by path: a record with that exact path is reused,
    // else a new one is added; the background sound id and the use-sound
    // flag are set. A null or empty path clears the id.
    bool SetBgSound(const char* path);
    const char* GetBgSoundPath() const;
    int GetBgSoundId() const { return m_bgSoundId; }
    bool HasBgSound() const { return GetBgSoundPath() != nullptr; }
    bool SetVistaSound(Vista* vista, const char* path);
    const char* GetVistaSoundPath(const Vista* vista) const;
    float GetVistaSoundValue(const Vista* vista) const;
    bool SetSoundValue(int id, float value);
    // In use: the background sound while the use-sound flag is set, or the
    // sound of a vista.
    bool IsSoundInUse(int id) const;
    int GetSoundsInUse() const;
    int GetSoundCount() const { return static_cast<int>(m_sounds.size()); }
    const TourSound* GetSound(int index) const;
    const TourSound* FindSound(int id) const;

    // ---- Layout -----------------------------------------------------------------------------
    // Lays the page out into the six boxes, which end as left, top, width,
    // height. `copy` (six boxes) receives them as edges (left, top, right,
    // bottom) when `copyAsEdges`, else as sizes. `withStrip` false lays out
    // as if the strip were off.
    void ComputeLayout(RECT* copy = nullptr, bool copyAsEdges = false, bool withStrip = true);
    // A box of the last layout: left, top, width, height.
    RECT GetLayoutBox(int box) const;
    // The tour-map box's origin and size; when the tour map is shown its
    // box is first fitted to the page again.
    void GetTourMapBox(int& x, int& y, int& width, int& height);
    // Stored placements as fractions of the free page space; negative: none.
    void SetControlBoxPosition(float x, float y);
    void GetControlBoxPosition(float& x, float& y) const;
    void SetStripPosition(float x, float y);
    void GetStripPosition(float& x, float& y) const;

    // The vista's horizontal and vertical fields of view in degrees for the
    // page size and the tour's field of view, limited by the picture.
    void GetViewerFov(const Vista* vista, float& horizontal, float& vertical) const;

    // ---- Configuration file ("TessivConfig.bin") ---------------------------------------------
    // Writes the tour; without the tour data (vistas, sounds, folder and page
    // name, the stored text) as the dialog saves it. Clears the unsaved
    // changes. False when the file could not be written.
    bool Save(FILE* file, bool withTourData);
    // Reads a tour written by Save (or by older versions of the format); with
    // the tour data when asked, else skipping it and keeping only the look
    // (the title's text and shown flag are then cleared). A file cut short,
    // or holding a length that runs past its section, is read up to there:
    // the values before stay taken over, the others keep theirs, a text or
    // text-style record cut in the middle is not taken, and an ERROR line
    // names the section. The compasses and hot spots are then relinked and
    // the unsaved changes cleared however far the reading got.
    int Load(FILE* file, bool withTourData);
    // The same on a byte image of the file.
    int LoadBytes(const uint8_t* data, size_t size, bool withTourData);
    std::vector<uint8_t> SaveBytes(bool withTourData);

private:
    class ConfigLoader;
    void WriteMainBlock(tessiv::ConfigWriter& out) const;
    template <class T>
    bool Set(T& field, T value);
    static const char* TextOrNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }
    void RemoveVistaAt(size_t index);
    void UpdateTourMapLinks();
    TourSound* SoundForPath(const char* path);
    void FitTourMapBox(RECT& box);

    // In the record's order.
    int m_thumbnailRows = 0;
    RECT m_boxes[kLayoutBoxCount] = {};
    int m_vistaLimit;
    std::vector<std::unique_ptr<Vista>> m_vistas;
    TextStyle m_title;
    std::vector<TourSound> m_sounds;
    TourMapSettings m_tourMap;
    int m_pageWidth = 600;
    int m_pageHeight = 400;
    int m_spinSpeed = 6;
    int m_fieldOfView = 60;
    COLORREF m_controlBarColor = 0xD8E9EC;
    COLORREF m_vistaBenchColor = 0x0080FF;
    COLORREF m_pageBgColor = 0x808000;
    COLORREF m_fourthColor = 0xD8E9EC;
    int m_vistaBenchLocation = 0;
    float m_thumbnailRowsSetting = 1.0f;
    uint8_t m_automaticRows = 0;
    int m_storedValueA = 3;
    uint8_t m_storedFlagB = 1;
    int m_imageQuality = 1;
    int m_viewerKind = 0;
    COLORREF m_buttonBgColor[4] = {0xD8E9EC, 0xD8E9EC, 0xD8E9EC, 0xD8E9EC};
    COLORREF m_buttonTextColor[4] = {0, 0, 0, 0};
    int m_bgSoundId = 0;
    int m_activeVistaId = 0;
    uint8_t m_controlBarColored = 0;
    uint8_t m_vistaBenchColored = 0;
    uint8_t m_useSound = 0;
    std::string m_folder;
    std::string m_pageName;
    std::string m_storedTexts[2];
    uint8_t m_unsavedChanges = 0;
    uint8_t m_stripEnabled = 1;
    uint8_t m_storedFlagC = 0;
    int m_photoSlideInitSize[2] = {20, 20};
    int m_photoSlideMovieTime[2] = {10, 10};
    int m_photoSlideZoomTime[2] = {10, 10};
    int m_vistaSoundPlayFlags = 15;
    int m_vistaLabelInViewer = 0;
    TextStyle m_viewerLabelStyle;
    int m_viewerLabelValue = 10;
    uint8_t m_flagD = 1;
    int m_storedValues[4] = {0, 80, 0, 0};  // E, F (thumbnail height), G, H
    float m_controlBoxPosition[2] = {-1.0f, -1.0f};
    float m_stripPosition[2] = {-1.0f, -1.0f};
};
