// TourProject: the configuration file "TessivConfig.bin". Little-endian
// words, shorts and bytes written field by field; a format marker (1), a
// version (116), tagged sections and an end tag 0:
//   2  title text style            4  main settings block
//   3  sound records               5  vista records and the active vista id
//   7  folder and page name        8  tour map settings (maps first when included)
//   9  a stored text
// The dialog's save writes 2, 4 and 8; the full form adds the others. The
// reader parses the whole file into a copy of what it may change and takes
// it over only when the file is whole, so a damaged file changes nothing.
#include "tour/tessiv/tour_project.h"

#include "core/logger.h"
#include "tour/tessiv/config_stream.h"
#include "tour/tessiv/tour_library.h"

#include <algorithm>
#include <optional>

namespace {

using tessiv::ConfigReader;
using tessiv::ConfigWriter;

enum SectionTag : uint32_t {
    kTagEnd = 0,
    kTagTitle = 2,
    kTagSounds = 3,
    kTagMain = 4,
    kTagVistas = 5,
    kTagNames = 7,
    kTagTourMap = 8,
    kTagText = 9,
};

// The main block without its three text-style records.
constexpr size_t kMainBlockFixedSize = 150;
// A configuration file is a few hundred bytes; the full form with many
// vistas a few kilobytes each. Anything beyond this is not ours.
constexpr size_t kMaxConfigFileSize = 64u << 20;

void WriteSound(ConfigWriter& out, const TourSound& sound)
{
    out.Text(sound.path);
    out.Float(sound.value);
    out.Int(sound.id);
}

bool ReadSound(ConfigReader& in, TourSound& sound)
{
    return in.Text(sound.path) && in.Float(sound.value) && in.Int(sound.id);
}

// A text of section 7: `length` bytes counting its zero, which must end it.
bool ReadZeroText(ConfigReader& in, uint32_t length, std::string& out)
{
    if (length == 0) {
        out.clear();
        return true;
    }
    if (length > in.Remaining()) {
        in.Fail();
        return false;
    }
    std::string bytes(length, '\0');
    for (char& c : bytes) {
        uint8_t b = 0;
        if (!in.Byte(b)) return false;
        c = static_cast<char>(b);
    }
    if (bytes.back() != '\0' || bytes.find('\0') != length - 1) {
        in.Fail();
        return false;
    }
    bytes.pop_back();
    out = bytes;
    return true;
}

}  // namespace

// Everything a configuration file can change, copied out of the project
// before reading and copied back when the whole file was read.
struct TourProject::ConfigState {
    TextStyle title;
    int pageWidth, pageHeight, spinSpeed, fieldOfView;
    uint32_t controlBarColor, vistaBenchColor, pageBgColor, fourthColor;
    int vistaBenchLocation;
    float thumbnailRowsSetting;
    uint8_t automaticRows;
    int storedValueA;
    uint8_t storedFlagB;
    int imageQuality, viewerKind;
    uint32_t buttonBgColor[4], buttonTextColor[4];
    int bgSoundId;
    int photoSlideInitSize[2], photoSlideMovieTime[2], photoSlideZoomTime[2];
    int vistaLabelInViewer, viewerLabelValue;
    TextStyle viewerLabelStyle;
    uint8_t controlBarColored, vistaBenchColored, useSound, stripEnabled;
    int vistaSoundPlayFlags;
    TextStyle vistaLabelStyle;
    bool vistaLegendInViewer;
    TextStyle hotSpotLabelStyle;
    int storedValueE;

    std::optional<TourMapSettings> tourMap;
    std::optional<std::vector<TourSound>> sounds;
    std::optional<std::vector<std::unique_ptr<Vista>>> vistas;
    int activeVistaId = 0;
    std::optional<std::pair<std::string, std::string>> names;  // folder, page name
    std::optional<std::string> storedText;

    explicit ConfigState(const TourProject& p);
    void WriteMainBlock(ConfigWriter& out) const;
    bool ReadMainBlock(ConfigReader& in, int version);
};

TourProject::ConfigState::ConfigState(const TourProject& p)
    : title(p.m_title),
      pageWidth(p.m_pageWidth),
      pageHeight(p.m_pageHeight),
      spinSpeed(p.m_spinSpeed),
      fieldOfView(p.m_fieldOfView),
      controlBarColor(p.m_controlBarColor),
      vistaBenchColor(p.m_vistaBenchColor),
      pageBgColor(p.m_pageBgColor),
      fourthColor(p.m_fourthColor),
      vistaBenchLocation(p.m_vistaBenchLocation),
      thumbnailRowsSetting(p.m_thumbnailRowsSetting),
      automaticRows(p.m_automaticRows),
      storedValueA(p.m_storedValueA),
      storedFlagB(p.m_storedFlagB),
      imageQuality(p.m_imageQuality),
      viewerKind(p.m_viewerKind),
      bgSoundId(p.m_bgSoundId),
      vistaLabelInViewer(p.m_vistaLabelInViewer),
      viewerLabelValue(p.m_viewerLabelValue),
      viewerLabelStyle(p.m_viewerLabelStyle),
      controlBarColored(p.m_controlBarColored),
      vistaBenchColored(p.m_vistaBenchColored),
      useSound(p.m_useSound),
      stripEnabled(p.m_stripEnabled),
      vistaSoundPlayFlags(p.m_vistaSoundPlayFlags),
      vistaLabelStyle(TourLibrary().vistaLabelStyle),
      vistaLegendInViewer(TourLibrary().vistaLegendInViewer),
      hotSpotLabelStyle(TourLibrary().hotSpotLabelStyle),
      storedValueE(p.m_storedValues[0])
{
    std::copy(std::begin(p.m_buttonBgColor), std::end(p.m_buttonBgColor), buttonBgColor);
    std::copy(std::begin(p.m_buttonTextColor), std::end(p.m_buttonTextColor), buttonTextColor);
    std::copy(std::begin(p.m_photoSlideInitSize), std::end(p.m_photoSlideInitSize), photoSlideInitSize);
    std::copy(std::begin(p.m_photoSlideMovieTime), std::end(p.m_photoSlideMovieTime), photoSlideMovieTime);
    std::copy(std::begin(p.m_photoSlideZoomTime), std::end(p.m_photoSlideZoomTime), photoSlideZoomTime);
}

void TourProject::ConfigState::WriteMainBlock(ConfigWriter& out) const
{
    out.Int(pageWidth);                                       // 1-9
    out.Int(pageHeight);
    out.Int(spinSpeed);
    out.Int(fieldOfView);
    out.Word(controlBarColor);
    out.Word(vistaBenchColor);
    out.Word(pageBgColor);
    out.Word(fourthColor);
    out.Int(vistaBenchLocation);
    out.Float(thumbnailRowsSetting);                          // 10
    out.Byte(automaticRows);                                  // 11
    out.Int(storedValueA);                                    // 12
    out.Byte(storedFlagB);                                    // 13
    out.Int(imageQuality);                                    // 14
    out.Int(viewerKind);                                      // 15
    for (uint32_t c : buttonBgColor) out.Word(c);             // 16-19
    for (uint32_t c : buttonTextColor) out.Word(c);           // 20-23
    out.Int(bgSoundId);                                       // 24
    for (int v : photoSlideInitSize) out.Int(v);              // 25-26
    for (int v : photoSlideMovieTime) out.Int(v);             // 27-28
    for (int v : photoSlideZoomTime) out.Int(v);              // 29-30
    out.Int(vistaLabelInViewer);                              // 31
    out.Int(viewerLabelValue);                                // 32
    out.Word(static_cast<uint32_t>(viewerLabelStyle.GetRecordSize()));  // 33
    viewerLabelStyle.WriteRecord(out);
    out.Byte(controlBarColored);                              // 34-37
    out.Byte(vistaBenchColored);
    out.Byte(useSound);
    out.Byte(stripEnabled);
    out.Int(vistaSoundPlayFlags);                             // 38
    out.Word(static_cast<uint32_t>(vistaLabelStyle.GetRecordSize()));   // 39
    vistaLabelStyle.WriteRecord(out);
    out.Word(vistaLegendInViewer ? 1 : 0);                    // 40
    out.Word(static_cast<uint32_t>(hotSpotLabelStyle.GetRecordSize()));  // 41
    hotSpotLabelStyle.WriteRecord(out);
    out.Int(storedValueE);                                    // 42
}

namespace {

// A text-style record behind its size word; a size of 0 holds no record.
// The record must lie within its size.
bool ReadSizedStyle(ConfigReader& in, TextStyle& style, int version)
{
    uint32_t size = 0;
    if (!in.Word(size)) return false;
    if (size == 0) return true;
    ConfigReader record = in.Sub(size);
    if (!record.Ok() || !style.ReadRecord(record, version >= 106)) {
        in.Fail();
        return false;
    }
    return true;
}

}  // namespace

bool TourProject::ConfigState::ReadMainBlock(ConfigReader& in, int v)
{
    auto words = [&in](int* fields, int n) {
        for (int i = 0; i < n; ++i)
            if (!in.Int(fields[i])) return false;
        return true;
    };
    auto colors = [&in](uint32_t* fields, int n) {
        for (int i = 0; i < n; ++i)
            if (!in.Word(fields[i])) return false;
        return true;
    };
    if (!(in.Int(pageWidth) && in.Int(pageHeight) && in.Int(spinSpeed) && in.Int(fieldOfView) &&
          in.Word(controlBarColor) && in.Word(vistaBenchColor) && in.Word(pageBgColor) && in.Word(fourthColor) &&
          in.Int(vistaBenchLocation)))
        return false;
    if (v >= 107 && !(in.Float(thumbnailRowsSetting) && in.Byte(automaticRows) && in.Int(storedValueA) &&
                      in.Byte(storedFlagB)))
        return false;
    if (!in.Int(imageQuality)) return false;
    if (v >= 113 && !in.Int(viewerKind)) return false;
    if (!(colors(buttonBgColor, 4) && colors(buttonTextColor, 4) && in.Int(bgSoundId))) return false;
    if (v >= 102 && !(words(photoSlideInitSize, 2) && words(photoSlideMovieTime, 2) && words(photoSlideZoomTime, 2) &&
                      in.Int(vistaLabelInViewer) && in.Int(viewerLabelValue) &&
                      ReadSizedStyle(in, viewerLabelStyle, v)))
        return false;
    if (!(in.Byte(controlBarColored) && in.Byte(vistaBenchColored) && in.Byte(useSound) && in.Byte(stripEnabled)))
        return false;
    if (v >= 104 && !in.Int(vistaSoundPlayFlags)) return false;
    if (v >= 106) {
        uint32_t legend = 0;
        if (!(ReadSizedStyle(in, vistaLabelStyle, v) && in.Word(legend))) return false;
        vistaLegendInViewer = legend == 1;
    }
    if (v >= 107 && !ReadSizedStyle(in, hotSpotLabelStyle, v)) return false;
    if (v >= 111 && !in.Int(storedValueE)) return false;
    return true;
}

std::vector<uint8_t> TourProject::SaveBytes(bool withTourData)
{
    const ConfigState state(*this);
    ConfigWriter out;
    out.Word(kConfigFormatMarker);
    out.Word(kConfigVersion);

    ConfigWriter title;
    m_title.WriteRecord(title);
    out.Word(kTagTitle);
    out.SizedBlock(title.GetBytes());

    if (withTourData) {
        out.Word(kTagSounds);
        out.Word(static_cast<uint32_t>(m_sounds.size()));
        for (const TourSound& sound : m_sounds) {
            ConfigWriter record;
            WriteSound(record, sound);
            out.SizedBlock(record.GetBytes());
        }
    }

    ConfigWriter main;
    state.WriteMainBlock(main);
    out.Word(kTagMain);
    out.SizedBlock(main.GetBytes());

    if (withTourData) {
        out.Word(kTagVistas);
        out.Word(static_cast<uint32_t>(m_vistas.size()));
        for (const auto& vista : m_vistas) {
            ConfigWriter record;
            vista->WriteRecord(record);
            out.SizedBlock(record.GetBytes());
        }
        out.Int(m_activeVistaId);

        // Lengths with their zeros, 16 bits each: a folder longer than that
        // (or none) is not stored.
        const size_t folder = m_folder.empty() ? 0 : m_folder.size() + 1;
        const size_t page = m_pageName.empty() ? 0 : m_pageName.size() + 1;
        out.Word(kTagNames);
        if (folder == 0 || folder > 0xFFFF || page > 0xFFFF) {
            out.Word(0);
        } else {
            out.Word(static_cast<uint32_t>(folder | (page << 16)));
            for (char c : m_folder) out.Byte(static_cast<uint8_t>(c));
            out.Byte(0);
            if (page != 0) {
                for (char c : m_pageName) out.Byte(static_cast<uint8_t>(c));
                out.Byte(0);
            }
        }
    }

    ConfigWriter map;
    m_tourMap.WriteRecord(map, withTourData);
    out.Word(kTagTourMap);
    out.SizedBlock(map.GetBytes());

    if (withTourData) {
        out.Word(kTagText);
        out.Word(static_cast<uint32_t>(m_storedTexts[0].size() + 1));
        for (char c : m_storedTexts[0]) out.Byte(static_cast<uint8_t>(c));
        out.Byte(0);
    }

    out.Word(kTagEnd);
    m_unsavedChanges = 0;
    return out.GetBytes();
}

bool TourProject::Save(FILE* file, bool withTourData)
{
    if (!file) {
        Logger::log("ERROR TourProject::Save: no file", 1);
        return false;
    }
    const bool unsaved = m_unsavedChanges != 0;
    const std::vector<uint8_t> bytes = SaveBytes(withTourData);
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fflush(file) != 0) {
        Logger::log("ERROR TourProject::Save: the configuration could not be written", 1);
        m_unsavedChanges = unsaved;
        return false;
    }
    return true;
}

int TourProject::Load(FILE* file, bool withTourData)
{
    if (!file) {
        Logger::log("ERROR TourProject::Load: no file", 1);
        return kConfigDamaged;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[4096];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (bytes.size() > kMaxConfigFileSize) {
            Logger::log("ERROR TourProject::Load: the file is larger than a tour configuration can be", 1);
            return kConfigDamaged;
        }
    }
    if (std::ferror(file)) {
        Logger::log("ERROR TourProject::Load: the file could not be read", 1);
        return kConfigDamaged;
    }
    return LoadBytes(bytes.data(), bytes.size(), withTourData);
}

namespace {

// Reads the tour-map section. A record of the current version is exact: it
// either is the settings alone or, in the full form, holds the maps first;
// whichever reading takes the whole section is the one (the file does not
// say). Older versions hold the settings alone.
bool ReadTourMapSection(ConfigReader section, int version, bool withTourData, TourMapSettings& out)
{
    if (version < 116) {
        TourMapSettings read;
        if (!read.ReadRecord(section, version, false) || section.Remaining() != 0) return false;
        out = std::move(read);
        return true;
    }
    for (bool withMaps : {withTourData, !withTourData}) {
        ConfigReader in = section;
        TourMapSettings read;
        if (read.ReadRecord(in, version, withMaps) && in.Remaining() == 0) {
            // The dialog's load leaves the maps as the reset made them.
            if (!withTourData) read.ClearMaps();
            out = std::move(read);
            return true;
        }
    }
    return false;
}

}  // namespace

int TourProject::LoadBytes(const uint8_t* data, size_t size, bool withTourData)
{
    ConfigReader in(data, data ? size : 0);
    uint32_t marker = 0, version = 0;
    if (!in.Word(marker)) {
        Logger::log("ERROR TourProject::Load: the file is too short", 1);
        return kConfigDamaged;
    }
    if (marker != kConfigFormatMarker) return kConfigNotTessiv;
    if (!in.Word(version)) {
        Logger::log("ERROR TourProject::Load: the file is too short", 1);
        return kConfigDamaged;
    }
    const int v = static_cast<int>(version);

    ConfigState state(*this);
    auto damaged = [](const char* what) {
        Logger::log("ERROR TourProject::Load: damaged %s section", 1, what);
        return kConfigDamaged;
    };

    for (;;) {
        uint32_t tag = 0, second = 0;
        if (!in.Word(tag)) return damaged("end");
        if (tag == kTagEnd) break;
        if (!in.Word(second)) return damaged("header");
        bool stop = false;
        switch (tag) {
        case kTagTitle: {
            if (second == 0) break;
            ConfigReader record = in.Sub(second);
            TextStyle title = state.title;
            if (!record.Ok() || !title.ReadRecord(record, v >= 106)) return damaged("title");
            if (!withTourData) {
                title.SetText(nullptr);
                title.SetShown(false);
            }
            state.title = title;
            break;
        }
        case kTagSounds: {
            if (second > in.Remaining() / 4) return damaged("sound");
            std::vector<TourSound> sounds;
            for (uint32_t i = 0; i < second; ++i) {
                uint32_t recordSize = 0;
                if (!in.Word(recordSize)) return damaged("sound");
                ConfigReader record = in.Sub(recordSize);
                TourSound sound;
                if (!record.Ok() || (withTourData && !ReadSound(record, sound))) return damaged("sound");
                sounds.push_back(sound);
            }
            if (withTourData) state.sounds = std::move(sounds);
            break;
        }
        case kTagMain: {
            ConfigReader block = in.Sub(second);
            if (!block.Ok() || !state.ReadMainBlock(block, v)) return damaged("settings");
            break;
        }
        case kTagVistas: {
            if (second > in.Remaining() / 4) return damaged("vista");
            std::vector<std::unique_ptr<Vista>> vistas;
            for (uint32_t i = 0; i < second; ++i) {
                uint32_t recordSize = 0;
                if (!in.Word(recordSize)) return damaged("vista");
                ConfigReader record = in.Sub(recordSize);
                if (!record.Ok()) return damaged("vista");
                if (withTourData) {
                    auto vista = std::make_unique<Vista>();
                    if (!vista->ReadRecord(record, v)) return damaged("vista");
                    vistas.push_back(std::move(vista));
                }
            }
            int32_t active = 0;
            if (!in.Int(active)) return damaged("vista");
            if (withTourData) {
                state.vistas = std::move(vistas);
                state.activeVistaId = active;
            }
            break;
        }
        case kTagNames: {
            const uint32_t folderLength = second & 0xFFFF, pageLength = second >> 16;
            if (second == 0 || folderLength == 0) break;
            std::string folder, page;
            if (!ReadZeroText(in, folderLength, folder) || !ReadZeroText(in, pageLength, page)) return damaged("name");
            if (withTourData) state.names.emplace(folder, page);
            break;
        }
        case kTagTourMap: {
            ConfigReader record = in.Sub(second);
            if (!record.Ok()) return damaged("tour map");
            TourMapSettings map;  // every load starts the tour map from its defaults
            if (second != 0 && !ReadTourMapSection(record, v, withTourData, map)) return damaged("tour map");
            state.tourMap = std::move(map);
            break;
        }
        case kTagText: {
            std::string text;
            if (!ReadZeroText(in, second, text)) return damaged("text");
            state.storedText = withTourData ? text : std::string();
            break;
        }
        default:
            // 1, 6 and tags above 9 end the reading: what was read stays.
            stop = true;
            break;
        }
        if (stop) break;
    }

    // The whole file was read: take it over, within the ranges the dialog
    // keeps (the file may come from anywhere).
    m_title = state.title;
    m_pageWidth = std::clamp(state.pageWidth, 300, 1200);
    m_pageHeight = std::clamp(state.pageHeight, 200, 1200);
    m_spinSpeed = state.spinSpeed == 0 ? 1 : std::clamp(state.spinSpeed, -20, 20);
    m_fieldOfView = std::clamp(state.fieldOfView, 30, 120);
    m_controlBarColor = state.controlBarColor;
    m_vistaBenchColor = state.vistaBenchColor;
    m_pageBgColor = state.pageBgColor;
    m_fourthColor = state.fourthColor;
    m_vistaBenchLocation = std::clamp(state.vistaBenchLocation, 0, 2);
    m_thumbnailRowsSetting = state.thumbnailRowsSetting;
    m_automaticRows = state.automaticRows;
    m_storedValueA = state.storedValueA;
    m_storedFlagB = state.storedFlagB;
    m_imageQuality = std::clamp(state.imageQuality, 0, 2);
    m_viewerKind = std::clamp(state.viewerKind, 0, 1);
    std::copy(std::begin(state.buttonBgColor), std::end(state.buttonBgColor), m_buttonBgColor);
    std::copy(std::begin(state.buttonTextColor), std::end(state.buttonTextColor), m_buttonTextColor);
    m_bgSoundId = state.bgSoundId;
    std::copy(std::begin(state.photoSlideInitSize), std::end(state.photoSlideInitSize), m_photoSlideInitSize);
    std::copy(std::begin(state.photoSlideMovieTime), std::end(state.photoSlideMovieTime), m_photoSlideMovieTime);
    std::copy(std::begin(state.photoSlideZoomTime), std::end(state.photoSlideZoomTime), m_photoSlideZoomTime);
    m_vistaLabelInViewer = std::clamp(state.vistaLabelInViewer, 0, 3);
    m_viewerLabelValue = state.viewerLabelValue;
    m_viewerLabelStyle = state.viewerLabelStyle;
    m_controlBarColored = state.controlBarColored;
    m_vistaBenchColored = state.vistaBenchColored;
    m_useSound = state.useSound;
    m_stripEnabled = state.stripEnabled;
    m_vistaSoundPlayFlags = state.vistaSoundPlayFlags & 15;
    TourLibrary().vistaLabelStyle = state.vistaLabelStyle;
    TourLibrary().vistaLegendInViewer = state.vistaLegendInViewer;
    TourLibrary().hotSpotLabelStyle = state.hotSpotLabelStyle;
    m_storedValues[0] = state.storedValueE;
    if (state.tourMap) m_tourMap = std::move(*state.tourMap);
    if (state.sounds) {
        m_sounds = std::move(*state.sounds);
        for (const TourSound& s : m_sounds) NoteSoundId(s.id);
    }
    if (state.vistas) {
        m_vistas = std::move(*state.vistas);
        m_activeVistaId = GetVistaIndex(state.activeVistaId) >= 0 ? state.activeVistaId : 0;
    }
    if (state.names) {
        m_folder = state.names->first;
        m_pageName = state.names->second;
    }
    if (state.storedText) m_storedTexts[0] = *state.storedText;

    // Compasses and hot spots name their vistas by id.
    const std::vector<Vista*> vistas = GetVistas();
    m_tourMap.LinkVistasById(vistas);
    for (Vista* vista : vistas) vista->LinkHotSpotTargets(vistas);
    UpdateTourMapLinks();
    m_unsavedChanges = 0;
    return kConfigLoaded;
}
