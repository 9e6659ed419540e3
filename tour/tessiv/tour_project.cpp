// TourProject: the vista list, the page and look settings and the sounds.
// The layout is in tour_project_layout.cpp, the configuration file in
// tour_config_file.cpp.
#include "tour/tessiv/tour_project.h"

#include "tour/tessiv/tour_library.h"

#include <algorithm>

template <class T>
bool TourProject::Set(T& field, T value)
{
    if (field == value) return false;
    field = value;
    m_unsavedChanges = 1;
    return true;
}

TourProject::TourProject(int vistaLimit) : m_vistaLimit(std::max(1, vistaLimit))
{
    TourLibrary().ResetForNewTour();
    m_viewerLabelStyle.SetOpacity(100);
}

TourProject::~TourProject() = default;

// ---- Vistas -------------------------------------------------------------------------------------

std::vector<Vista*> TourProject::GetVistas() const
{
    std::vector<Vista*> vistas;
    vistas.reserve(m_vistas.size());
    for (const auto& v : m_vistas) vistas.push_back(v.get());
    return vistas;
}

int TourProject::AddVista(Image* thumbnail, const char* fileName, int kind, int width, int height, int equatorWidth,
                          int column, int row)
{
    if (!fileName || FindVista(fileName)) return -1;
    if (GetVistaCount() >= m_vistaLimit) RemoveVistaAt(0);

    auto vista = std::make_unique<Vista>();
    vista->SetThumbnail(thumbnail);
    vista->SetFileName(fileName);
    vista->SetKind(kind);
    if (kind == 2 || kind == 3) vista->SetFlatView(true);
    vista->SetSize(width, height);
    vista->SetDescriptor(equatorWidth, column, row);
    const int id = vista->GetId();

    if (m_vistas.empty()) {
        m_vistas.push_back(std::move(vista));
        m_activeVistaId = id;
    } else {
        const int active = GetVistaIndex(m_activeVistaId);
        const auto at = active >= 0 ? m_vistas.begin() + active + 1 : m_vistas.end();
        m_vistas.insert(at, std::move(vista));
    }
    m_unsavedChanges = 1;
    UpdateTourMapLinks();
    return id;
}

Vista* TourProject::FindVista(const char* fileName) const
{
    for (const auto& v : m_vistas)
        if (v->IsSameFile(fileName)) return v.get();
    return nullptr;
}

Vista* TourProject::FindVistaById(int id) const
{
    const int index = GetVistaIndex(id);
    return index >= 0 ? m_vistas[index].get() : nullptr;
}

int TourProject::GetVistaIndex(int id) const
{
    for (size_t i = 0; i < m_vistas.size(); ++i)
        if (m_vistas[i]->GetId() == id) return static_cast<int>(i);
    return -1;
}

Vista* TourProject::GetVista(int index) const
{
    return index >= 0 && index < GetVistaCount() ? m_vistas[index].get() : nullptr;
}

Vista* TourProject::GetActiveVista() const { return m_activeVistaId ? FindVistaById(m_activeVistaId) : nullptr; }

bool TourProject::SetActiveVista(int id)
{
    if (id == m_activeVistaId || GetVistaIndex(id) < 0) return false;
    return Set(m_activeVistaId, id);
}

bool TourProject::SetActiveVista(const Vista* vista)
{
    return vista && FindVistaById(vista->GetId()) == vista && SetActiveVista(vista->GetId());
}

void TourProject::RemoveVistaAt(size_t index)
{
    if (index >= m_vistas.size()) return;
    if (m_vistas[index]->GetId() == m_activeVistaId) m_activeVistaId = 0;
    m_vistas.erase(m_vistas.begin() + static_cast<std::ptrdiff_t>(index));
    m_unsavedChanges = 1;
    UpdateTourMapLinks();
}

bool TourProject::RemoveVista(int index)
{
    if (index < 0 || index >= GetVistaCount()) return false;
    RemoveVistaAt(static_cast<size_t>(index));
    return true;
}

bool TourProject::MoveVista(int from, int to)
{
    const int count = GetVistaCount();
    if (from == to || from < 0 || to < 0 || from >= count || to >= count) return false;
    std::unique_ptr<Vista> moving = std::move(m_vistas[from]);
    m_vistas.erase(m_vistas.begin() + from);
    m_vistas.insert(m_vistas.begin() + to, std::move(moving));
    // The active vista is the same object, found again by its id.
    m_unsavedChanges = 1;
    UpdateTourMapLinks();
    return true;
}

void TourProject::UpdateTourMapLinks() { m_tourMap.UpdateVistaLinks(GetVistas()); }

// ---- Page and look ------------------------------------------------------------------------------

bool TourProject::SetPageSize(int width, int height)
{
    bool changed = Set(m_pageWidth, width);
    changed |= Set(m_pageHeight, height);
    return changed;
}

bool TourProject::SetSpinSpeed(int degreesPerSecond) { return Set(m_spinSpeed, degreesPerSecond); }
bool TourProject::SetFieldOfView(int degrees) { return Set(m_fieldOfView, degrees); }
bool TourProject::SetControlBarColor(COLORREF color) { return Set(m_controlBarColor, color); }
bool TourProject::SetVistaBenchColor(COLORREF color) { return Set(m_vistaBenchColor, color); }
bool TourProject::SetPageBgColor(COLORREF color) { return Set(m_pageBgColor, color); }
bool TourProject::SetFourthColor(COLORREF color) { return Set(m_fourthColor, color); }
bool TourProject::SetVistaBenchLocation(int location) { return Set(m_vistaBenchLocation, std::clamp(location, 0, 2)); }
bool TourProject::SetThumbnailRowsSetting(float rows) { return Set(m_thumbnailRowsSetting, rows); }
bool TourProject::SetAutomaticRows(bool on) { return Set(m_automaticRows, static_cast<uint8_t>(on)); }
bool TourProject::SetImageQuality(int quality) { return Set(m_imageQuality, std::clamp(quality, 0, 2)); }
bool TourProject::SetViewerKind(int kind) { return Set(m_viewerKind, std::clamp(kind, 0, 1)); }

bool TourProject::SetButtonBgColor(int state, COLORREF color)
{
    return state >= 0 && state < 4 && Set(m_buttonBgColor[state], color);
}

COLORREF TourProject::GetButtonBgColor(int state) const { return state >= 0 && state < 4 ? m_buttonBgColor[state] : 0; }

bool TourProject::SetButtonTextColor(int state, COLORREF color)
{
    return state >= 0 && state < 4 && Set(m_buttonTextColor[state], color);
}

COLORREF TourProject::GetButtonTextColor(int state) const
{
    return state >= 0 && state < 4 ? m_buttonTextColor[state] : 0;
}

bool TourProject::SetControlBarColored(bool on) { return Set(m_controlBarColored, static_cast<uint8_t>(on)); }
bool TourProject::SetVistaBenchColored(bool on) { return Set(m_vistaBenchColored, static_cast<uint8_t>(on)); }
bool TourProject::SetUseSound(bool on) { return Set(m_useSound, static_cast<uint8_t>(on)); }
bool TourProject::SetFolder(const char* folder) { return Set(m_folder, std::string(folder ? folder : "")); }
bool TourProject::SetPageName(const char* name) { return Set(m_pageName, std::string(name ? name : "")); }

bool TourProject::SetStoredText(int index, const char* text)
{
    return (index == 0 || index == 1) && Set(m_storedTexts[index], std::string(text ? text : ""));
}

const char* TourProject::GetStoredText(int index) const
{
    return index == 0 || index == 1 ? TextOrNull(m_storedTexts[index]) : nullptr;
}

bool TourProject::SetStripEnabled(bool on) { return Set(m_stripEnabled, static_cast<uint8_t>(on)); }

bool TourProject::SetTitleText(const char* text)
{
    const bool changed = m_title.SetText(text);
    if (changed) m_unsavedChanges = 1;
    return changed;
}

bool TourProject::SetTitleFont(const char* face, int size, int style)
{
    const bool changed = m_title.SetFace(face, size, style);
    if (changed) m_unsavedChanges = 1;
    return changed;
}

bool TourProject::SetTitleColor(COLORREF color)
{
    const bool changed = m_title.SetTextColor(color);
    if (changed) m_unsavedChanges = 1;
    return changed;
}

bool TourProject::SetTitleShown(bool shown)
{
    const bool changed = m_title.SetShown(shown);
    if (changed) m_unsavedChanges = 1;
    return changed;
}

bool TourProject::SetPhotoSlideInitSize(int photo, int slide)
{
    bool changed = Set(m_photoSlideInitSize[0], photo);
    changed |= Set(m_photoSlideInitSize[1], slide);
    return changed;
}

bool TourProject::SetPhotoSlideMovieTime(int photo, int slide)
{
    bool changed = Set(m_photoSlideMovieTime[0], photo);
    changed |= Set(m_photoSlideMovieTime[1], slide);
    return changed;
}

bool TourProject::SetPhotoSlideZoomTime(int photo, int slide)
{
    bool changed = Set(m_photoSlideZoomTime[0], photo);
    changed |= Set(m_photoSlideZoomTime[1], slide);
    return changed;
}

bool TourProject::SetVistaSoundPlayFlag(int bit, bool on)
{
    if (bit < 0 || bit > 3) return false;
    const int mask = 1 << bit;
    return Set(m_vistaSoundPlayFlags, on ? (m_vistaSoundPlayFlags | mask) : (m_vistaSoundPlayFlags & ~mask));
}

bool TourProject::GetVistaSoundPlayFlag(int bit) const
{
    return bit >= 0 && bit <= 3 && (m_vistaSoundPlayFlags & (1 << bit)) != 0;
}

bool TourProject::SetVistaLabelInViewer(int value) { return Set(m_vistaLabelInViewer, std::clamp(value, 0, 3)); }
bool TourProject::SetViewerLabelValue(int value) { return Set(m_viewerLabelValue, value); }
bool TourProject::SetFlagD(bool on) { return Set(m_flagD, static_cast<uint8_t>(on)); }
bool TourProject::SetStoredValueA(int value) { return Set(m_storedValueA, value); }
bool TourProject::SetStoredFlagB(bool on) { return Set(m_storedFlagB, static_cast<uint8_t>(on)); }
bool TourProject::SetStoredFlagC(bool on) { return Set(m_storedFlagC, static_cast<uint8_t>(on)); }

bool TourProject::SetStoredValue(int index, int value)
{
    return index >= 0 && index < 4 && Set(m_storedValues[index], value);
}

int TourProject::GetStoredValue(int index) const { return index >= 0 && index < 4 ? m_storedValues[index] : 0; }

// ---- Sounds -------------------------------------------------------------------------------------

TourSound* TourProject::SoundForPath(const char* path)
{
    for (TourSound& s : m_sounds)
        if (s.path == path) return &s;
    TourSound sound;
    sound.path = path;
    sound.id = NewSoundId();
    m_sounds.push_back(sound);
    m_unsavedChanges = 1;
    return &m_sounds.back();
}

bool TourProject::SetBgSound(const char* path)
{
    if (!path || !*path) return Set(m_bgSoundId, 0);
    const int id = SoundForPath(path)->id;
    bool changed = Set(m_bgSoundId, id);
    changed |= Set(m_useSound, uint8_t{1});
    return changed;
}

const TourSound* TourProject::FindSound(int id) const
{
    if (id == 0) return nullptr;
    for (const TourSound& s : m_sounds)
        if (s.id == id) return &s;
    return nullptr;
}

const TourSound* TourProject::GetSound(int index) const
{
    return index >= 0 && index < GetSoundCount() ? &m_sounds[index] : nullptr;
}

const char* TourProject::GetBgSoundPath() const
{
    const TourSound* s = FindSound(m_bgSoundId);
    return s ? s->path.c_str() : nullptr;
}

bool TourProject::SetVistaSound(Vista* vista, const char* path)
{
    if (!vista || GetVistaIndex(vista->GetId()) < 0) return false;
    const int id = path && *path ? SoundForPath(path)->id : 0;
    if (vista->GetSoundId() == id) return false;
    vista->SetSoundId(id);
    m_unsavedChanges = 1;
    return true;
}

const char* TourProject::GetVistaSoundPath(const Vista* vista) const
{
    const TourSound* s = vista ? FindSound(vista->GetSoundId()) : nullptr;
    return s ? s->path.c_str() : nullptr;
}

float TourProject::GetVistaSoundValue(const Vista* vista) const
{
    const TourSound* s = vista ? FindSound(vista->GetSoundId()) : nullptr;
    return s ? s->value : 0.0f;
}

bool TourProject::SetSoundValue(int id, float value)
{
    for (TourSound& s : m_sounds)
        if (s.id == id) return Set(s.value, value);
    return false;
}

bool TourProject::IsSoundInUse(int id) const
{
    if (id == 0) return false;
    if (m_useSound && id == m_bgSoundId) return true;
    return std::any_of(m_vistas.begin(), m_vistas.end(), [id](const auto& v) { return v->GetSoundId() == id; });
}

int TourProject::GetSoundsInUse() const
{
    return static_cast<int>(
        std::count_if(m_sounds.begin(), m_sounds.end(), [this](const TourSound& s) { return IsSoundInUse(s.id); }));
}
