// TourProject: the configuration file "TessivConfig.bin". Little-endian
// words, shorts and bytes written field by field; a format marker (1), a
// version (116), tagged sections and an end tag 0:
//   2  title text style            4  main settings block
//   3  sound records               5  vista records and the active vista id
//   7  folder and page name        8  tour map settings (maps first when included)
//   9  a stored text
// The dialog's save writes 2, 4 and 8; the full form adds the others. The
// reader takes each value over as it reads it and stops where the file ends
// or a length runs past its section or the file: what came before stays and
// what comes after keeps its value. A text or a text-style record is taken
// only whole.
#include "tour/tessiv/tour_project.h"

#include "platform/utilkit/logger.h"
#include "tour/tessiv/config_stream.h"
#include "tour/tessiv/tour_library.h"

#include <algorithm>

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

// The name of a section of this format, for the log line naming where the
// reading stopped; null for any other tag.
const char* SectionName(uint32_t tag)
{
    switch (tag) {
    case kTagTitle: return "title";
    case kTagSounds: return "sound";
    case kTagMain: return "settings";
    case kTagVistas: return "vista";
    case kTagNames: return "folder and page name";
    case kTagTourMap: return "tour map";
    case kTagText: return "text";
    default: return nullptr;
    }
}

// A configuration file is a few hundred bytes; the full form with many
// vistas a few kilobytes each. Nothing past this is read.
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

// A text of sections 7 and 9: `length` bytes counting its zero, which must
// end it. `out` changes only when the whole text is there.
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

// A text-style record behind its size word (a size of 0 holds none), taken
// over only when the whole record lies within its size.
bool ReadSizedStyle(ConfigReader& in, TextStyle& style, int version)
{
    uint32_t size = 0;
    if (!in.Word(size)) return false;
    if (size == 0) return true;
    ConfigReader record = in.Sub(size);
    return record.Ok() && style.ReadRecord(record, version >= 106);
}

// A word brought into the range the dialog keeps (the file may come from
// anywhere); `field` changes only when the word is there.
bool ReadClamped(ConfigReader& in, int& field, int low, int high)
{
    int32_t value = 0;
    if (!in.Int(value)) return false;
    field = std::clamp(value, low, high);
    return true;
}

}  // namespace

void TourProject::WriteMainBlock(ConfigWriter& out) const
{
    out.Int(m_pageWidth);                                     // 1-9
    out.Int(m_pageHeight);
    out.Int(m_spinSpeed);
    out.Int(m_fieldOfView);
    out.Word(m_controlBarColor);
    out.Word(m_vistaBenchColor);
    out.Word(m_pageBgColor);
    out.Word(m_fourthColor);
    out.Int(m_vistaBenchLocation);
    out.Float(m_thumbnailRowsSetting);                        // 10
    out.Byte(m_automaticRows);                                // 11
    out.Int(m_storedValueA);                                  // 12
    out.Byte(m_storedFlagB);                                  // 13
    out.Int(m_imageQuality);                                  // 14
    out.Int(m_viewerKind);                                    // 15
    for (COLORREF c : m_buttonBgColor) out.Word(c);           // 16-19
    for (COLORREF c : m_buttonTextColor) out.Word(c);         // 20-23
    out.Int(m_bgSoundId);                                     // 24
    for (int v : m_photoSlideInitSize) out.Int(v);            // 25-26
    for (int v : m_photoSlideMovieTime) out.Int(v);           // 27-28
    for (int v : m_photoSlideZoomTime) out.Int(v);            // 29-30
    out.Int(m_vistaLabelInViewer);                            // 31
    out.Int(m_viewerLabelValue);                              // 32
    out.Word(static_cast<uint32_t>(m_viewerLabelStyle.GetRecordSize()));  // 33
    m_viewerLabelStyle.WriteRecord(out);
    out.Byte(m_controlBarColored);                            // 34-37
    out.Byte(m_vistaBenchColored);
    out.Byte(m_useSound);
    out.Byte(m_stripEnabled);
    out.Int(m_vistaSoundPlayFlags);                           // 38
    const TourLibraryState& library = TourLibrary();
    out.Word(static_cast<uint32_t>(library.vistaLabelStyle.GetRecordSize()));  // 39
    library.vistaLabelStyle.WriteRecord(out);
    out.Word(library.vistaLegendInViewer ? 1 : 0);            // 40
    out.Word(static_cast<uint32_t>(library.hotSpotLabelStyle.GetRecordSize()));  // 41
    library.hotSpotLabelStyle.WriteRecord(out);
    out.Int(m_storedValues[0]);                               // 42
}

std::vector<uint8_t> TourProject::SaveBytes(bool withTourData)
{
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
    WriteMainBlock(main);
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
        return kConfigNotTessiv;
    }
    // What cannot be read counts as the end of the file.
    std::vector<uint8_t> bytes;
    uint8_t chunk[4096];
    size_t n = 0;
    while (bytes.size() < kMaxConfigFileSize && (n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + std::min(n, kMaxConfigFileSize - bytes.size()));
    if (std::ferror(file)) Logger::log("ERROR TourProject::Load: the file could not be read to its end", 1);
    if (bytes.size() == kMaxConfigFileSize)
        Logger::log("ERROR TourProject::Load: the file is larger than a tour configuration can be", 1);
    return LoadBytes(bytes.data(), bytes.size(), withTourData);
}

// The reader: one step per section, each taking its values over as it reads
// them and answering false where the reading stops.
class TourProject::ConfigLoader {
public:
    ConfigLoader(TourProject& tour, const uint8_t* data, size_t size, bool withTourData)
        : m_tour(tour), m_in(data, data ? size : 0), m_withTourData(withTourData)
    {
    }

    int Run();

private:
    void ReadSections();
    bool ReadSection(uint32_t tag, uint32_t second);
    bool ReadTitle(uint32_t size);
    bool ReadSounds(uint32_t count);
    bool ReadSoundList(uint32_t count, std::vector<TourSound>& sounds);
    bool ReadMainBlock(uint32_t size);
    bool ReadMainFields(ConfigReader& in);
    bool ReadVistas(uint32_t count);
    bool ReadVistaList(uint32_t count, std::vector<std::unique_ptr<Vista>>& vistas);
    bool ReadNames(uint32_t lengths);
    bool ReadTourMap(uint32_t size);
    bool TourMapHoldsMaps(const ConfigReader& section, bool whole) const;
    bool ReadStoredText(uint32_t length);
    ConfigReader TakeSection(uint32_t size, bool& whole);
    void Stopped(const std::string& where);
    void Finish();

    TourProject& m_tour;
    ConfigReader m_in;
    int m_version = 0;
    bool m_withTourData;
};

int TourProject::ConfigLoader::Run()
{
    uint32_t marker = 0, version = 0;
    if (m_in.Word(marker) && marker != kConfigFormatMarker) return kConfigNotTessiv;
    // A failed reader stays failed: a file too short for the marker fails here too.
    if (m_in.Word(version)) {
        m_version = static_cast<int>(version);
        ReadSections();
    } else {
        Stopped("in the header");
    }
    Finish();
    return kConfigLoaded;
}

void TourProject::ConfigLoader::ReadSections()
{
    for (;;) {
        uint32_t tag = 0, second = 0;
        if (!m_in.Word(tag)) {
            Stopped("before the end tag");
            return;
        }
        if (tag == kTagEnd) return;
        // 1, 6 and tags above 9 end the reading: what was read stays.
        const char* name = SectionName(tag);
        if (!name) return;
        if (!(m_in.Word(second) && ReadSection(tag, second))) {
            Stopped(std::string("in the ") + name + " section");
            return;
        }
    }
}

bool TourProject::ConfigLoader::ReadSection(uint32_t tag, uint32_t second)
{
    switch (tag) {
    case kTagTitle: return ReadTitle(second);
    case kTagSounds: return ReadSounds(second);
    case kTagMain: return ReadMainBlock(second);
    case kTagVistas: return ReadVistas(second);
    case kTagNames: return ReadNames(second);
    case kTagTourMap: return ReadTourMap(second);
    case kTagText: return ReadStoredText(second);
    default: return false;
    }
}

void TourProject::ConfigLoader::Stopped(const std::string& where)
{
    Logger::log("ERROR TourProject::Load: reading stopped %s, where the file ends or a length runs past it; "
                "what came before is kept", 1, where.c_str());
}

// The section's data as far as the file holds it; `whole` tells whether it
// holds all of it. No length is trusted past the file.
ConfigReader TourProject::ConfigLoader::TakeSection(uint32_t size, bool& whole)
{
    whole = size <= m_in.Remaining();
    return m_in.Sub(std::min<size_t>(size, m_in.Remaining()));
}

bool TourProject::ConfigLoader::ReadTitle(uint32_t size)
{
    if (size == 0) return true;
    bool whole = false;
    ConfigReader record = TakeSection(size, whole);
    TextStyle title = m_tour.m_title;
    if (!title.ReadRecord(record, m_version >= 106)) return false;
    // The dialog keeps only the title's look.
    if (!m_withTourData) {
        title.SetText(nullptr);
        title.SetShown(false);
    }
    m_tour.m_title = std::move(title);
    return whole;
}

bool TourProject::ConfigLoader::ReadSounds(uint32_t count)
{
    std::vector<TourSound> sounds;
    const bool ok = ReadSoundList(count, sounds);
    // The list read so far replaces the tour's.
    if (m_withTourData) {
        m_tour.m_sounds = std::move(sounds);
        for (const TourSound& s : m_tour.m_sounds) NoteSoundId(s.id);
    }
    return ok;
}

bool TourProject::ConfigLoader::ReadSoundList(uint32_t count, std::vector<TourSound>& sounds)
{
    // Each record takes at least its size word, so the file bounds the loop.
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = 0;
        if (!m_in.Word(size)) return false;
        ConfigReader record = m_in.Sub(size);
        TourSound sound;
        if (!(record.Ok() && (!m_withTourData || ReadSound(record, sound)))) return false;
        sounds.push_back(std::move(sound));
    }
    return true;
}

bool TourProject::ConfigLoader::ReadMainBlock(uint32_t size)
{
    bool whole = false;
    ConfigReader block = TakeSection(size, whole);
    return ReadMainFields(block) && whole;
}

// The fields in their order, as far as the version holds them.
bool TourProject::ConfigLoader::ReadMainFields(ConfigReader& in)
{
    TourProject& t = m_tour;
    const int v = m_version;
    int32_t spin = 0;
    if (!(ReadClamped(in, t.m_pageWidth, 300, 1200) && ReadClamped(in, t.m_pageHeight, 200, 1200) &&
          in.Int(spin)))
        return false;
    t.m_spinSpeed = spin == 0 ? 1 : std::clamp(spin, -20, 20);
    if (!(ReadClamped(in, t.m_fieldOfView, 30, 120) && in.Word(t.m_controlBarColor) &&
          in.Word(t.m_vistaBenchColor) && in.Word(t.m_pageBgColor) && in.Word(t.m_fourthColor) &&
          ReadClamped(in, t.m_vistaBenchLocation, 0, 2)))
        return false;
    if (v >= 107 && !(in.Float(t.m_thumbnailRowsSetting) && in.Byte(t.m_automaticRows) &&
                      in.Int(t.m_storedValueA) && in.Byte(t.m_storedFlagB)))
        return false;
    if (!ReadClamped(in, t.m_imageQuality, 0, 2)) return false;
    if (v >= 113 && !ReadClamped(in, t.m_viewerKind, 0, 1)) return false;
    for (COLORREF& c : t.m_buttonBgColor)
        if (!in.Word(c)) return false;
    for (COLORREF& c : t.m_buttonTextColor)
        if (!in.Word(c)) return false;
    if (!in.Int(t.m_bgSoundId)) return false;
    if (v >= 102) {
        for (int* pair : {t.m_photoSlideInitSize, t.m_photoSlideMovieTime, t.m_photoSlideZoomTime})
            if (!(in.Int(pair[0]) && in.Int(pair[1]))) return false;
        if (!(ReadClamped(in, t.m_vistaLabelInViewer, 0, 3) && in.Int(t.m_viewerLabelValue) &&
              ReadSizedStyle(in, t.m_viewerLabelStyle, v)))
            return false;
    }
    if (!(in.Byte(t.m_controlBarColored) && in.Byte(t.m_vistaBenchColored) && in.Byte(t.m_useSound) &&
          in.Byte(t.m_stripEnabled)))
        return false;
    if (v >= 104) {
        int32_t flags = 0;
        if (!in.Int(flags)) return false;
        t.m_vistaSoundPlayFlags = flags & 15;
    }
    TourLibraryState& library = TourLibrary();
    if (v >= 106) {
        uint32_t legend = 0;
        if (!(ReadSizedStyle(in, library.vistaLabelStyle, v) && in.Word(legend))) return false;
        library.vistaLegendInViewer = legend == 1;
    }
    if (v >= 107 && !ReadSizedStyle(in, library.hotSpotLabelStyle, v)) return false;
    if (v >= 111 && !in.Int(t.m_storedValues[0])) return false;
    return true;
}

bool TourProject::ConfigLoader::ReadVistas(uint32_t count)
{
    if (!m_withTourData) {
        // Skipped: the framing of each record and the active vista id.
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t size = 0;
            if (!(m_in.Word(size) && m_in.Skip(size))) return false;
        }
        return m_in.Skip(4);
    }
    // The list read so far replaces the tour's; the active vista is the one
    // the file names, when it gets that far and the vista is there.
    std::vector<std::unique_ptr<Vista>> vistas;
    const bool listRead = ReadVistaList(count, vistas);
    m_tour.m_vistas = std::move(vistas);
    m_tour.m_activeVistaId = 0;
    int32_t active = 0;
    if (!(listRead && m_in.Int(active))) return false;
    if (m_tour.GetVistaIndex(active) >= 0) m_tour.m_activeVistaId = active;
    return true;
}

bool TourProject::ConfigLoader::ReadVistaList(uint32_t count, std::vector<std::unique_ptr<Vista>>& vistas)
{
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = 0;
        if (!m_in.Word(size)) return false;
        ConfigReader record = m_in.Sub(size);
        auto vista = std::make_unique<Vista>();
        if (!(record.Ok() && vista->ReadRecord(record, m_version))) return false;
        vistas.push_back(std::move(vista));
    }
    return true;
}

bool TourProject::ConfigLoader::ReadNames(uint32_t lengths)
{
    const uint32_t folderLength = lengths & 0xFFFF, pageLength = lengths >> 16;
    if (lengths == 0 || folderLength == 0) return true;
    std::string folder, page;
    if (!ReadZeroText(m_in, folderLength, folder)) return false;
    if (m_withTourData) m_tour.m_folder = folder;
    if (!ReadZeroText(m_in, pageLength, page)) return false;
    if (m_withTourData) m_tour.m_pageName = page;
    return true;
}

bool TourProject::ConfigLoader::ReadTourMap(uint32_t size)
{
    // Every load starts the tour map from its defaults.
    m_tour.m_tourMap.Reset();
    if (size == 0) return true;
    bool whole = false;
    ConfigReader section = TakeSection(size, whole);
    const bool ok = m_tour.m_tourMap.ReadRecord(section, m_version, TourMapHoldsMaps(section, whole));
    // The dialog's load leaves the maps as the reset made them.
    if (!m_withTourData) m_tour.m_tourMap.ClearMaps();
    return ok && whole;
}

// Whether the section holds the maps before the settings. The file does not
// say: a whole section of the current version is read the way that takes it
// exactly (the caller's form first); one cut short is read in the caller's
// form. Older versions hold the settings alone.
bool TourProject::ConfigLoader::TourMapHoldsMaps(const ConfigReader& section, bool whole) const
{
    if (m_version < 116) return false;
    if (!whole) return m_withTourData;
    for (bool withMaps : {m_withTourData, !m_withTourData}) {
        ConfigReader in = section;
        TourMapSettings trial;
        if (trial.ReadRecord(in, m_version, withMaps) && in.Remaining() == 0) return withMaps;
    }
    return m_withTourData;
}

bool TourProject::ConfigLoader::ReadStoredText(uint32_t length)
{
    std::string text;
    if (!ReadZeroText(m_in, length, text)) return false;
    // Skipped by the dialog's load, which clears the stored text.
    m_tour.m_storedTexts[0] = m_withTourData ? text : std::string();
    return true;
}

// As after any reading, however far it got: compasses and hot spots name
// their vistas by id.
void TourProject::ConfigLoader::Finish()
{
    const std::vector<Vista*> vistas = m_tour.GetVistas();
    m_tour.m_tourMap.LinkVistasById(vistas);
    for (Vista* vista : vistas) vista->LinkHotSpotTargets(vistas);
    m_tour.UpdateTourMapLinks();
    m_tour.m_unsavedChanges = 0;
}

int TourProject::LoadBytes(const uint8_t* data, size_t size, bool withTourData)
{
    return ConfigLoader(*this, data, size, withTourData).Run();
}
