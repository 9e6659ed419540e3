#include "tour/tessiv/tourmap_params.h"

#include "core/logger.h"
#include "platform/win/wnd.h"
#include "tour/norvik/tour_norvik.h"
#include "tour/tessiv/file_utils.h"
#include "tour/tessiv/hotspot_params.h"
#include "tour/tessiv/param_text.h"
#include "tour/tessiv/tour_colors.h"
#include "tour/tessiv/tour_map_settings.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/viewer_params.h"
#include "tour/tessiv/viewer_params.h"
#include "tour/tessiv/vista.h"

#include <cmath>
#include <vector>

namespace {

using tessiv::Format;
using tessiv::TrueFalse;

constexpr const char* kTourMapPrmFileName = "QuorvaneTourMap_prms";
constexpr double kDegreesPerRadian = 57.29578;

std::vector<const TourMap*> MapsWithPictures(const TourMapSettings& tourMap)
{
    std::vector<const TourMap*> maps;
    for (int i = 0; i < tourMap.GetMapCount(); ++i) {
        const TourMap* map = tourMap.GetMap(i);
        if (map && map->IsValid()) maps.push_back(map);
    }
    return maps;
}

// The viewer's zoom value of a map's display mode.
int ZoomValue(const TourMap& map)
{
    switch (map.GetDisplayMode()) {
    case 0: return -3;
    case 4: return -2;
    case 8: return 0;
    case 12: return static_cast<int>(map.GetZoom());
    case 0x2000: return -1;
    default: return map.GetDisplayMode();
    }
}

// The compass of `vista` on `map` when it is placed there.
const TourCompass* PlacedCompass(const TourMap& map, const Vista* vista)
{
    for (const TourCompass& c : map.Compasses()) {
        if (c.vista == vista) return c.hidden == 0 ? &c : nullptr;
    }
    return nullptr;
}

// The pan range a compass shows for its vista, in degrees.
double PanSpan(const TourProject& project, const Vista& vista)
{
    if (vista.IsPanorama()) {
        if (vista.IsFullCircle()) return 360.0;
        const int e = vista.GetEquatorWidth();
        return e > 0 ? static_cast<double>(vista.GetWidth()) * 360.0 / e : 0.0;
    }
    float h = 0.0f, v = 0.0f;
    project.GetViewerFov(&vista, h, v);
    return h;
}

struct LabelLook {
    std::string font;
    int style = 0;
    int size = 160;
};

LabelLook LabelFont(const TextStyle& style)
{
    LabelLook look;
    if (style.GetFaceName()) {
        look.font = style.GetFaceName();
        look.style = style.GetStyle();
        look.size = style.GetSize();
    } else {
        look.font = "MS Serif";
    }
    return look;
}

int Hex(COLORREF color) { return static_cast<int>(SwapRedBlue(color) & 0xFFFFFFu); }

}  // namespace

std::string VistaDisplayName(const Vista& vista)
{
    std::string name;
    if (const char* label = vista.GetLabelText(); label && *label) {
        name = label;
    } else {
        name = FileNamePart(vista.GetFileName() ? vista.GetFileName() : "");
        const size_t dot = name.rfind('.');
        if (dot != std::string::npos) name.resize(dot);
    }
    if (name.size() > 127) name.resize(127);
    return name;
}

bool WriteTourMapPrms(const TourProject& project, const PublishSettings& settings, std::string& text)
{
    const TourMapSettings& tourMap = project.GetTourMap();
    const std::vector<const TourMap*> maps = MapsWithPictures(tourMap);
    text += Format("{numMap=%d}\n", static_cast<int>(maps.size()));
    for (size_t j = 0; j < maps.size(); ++j) {
        const char* file = maps[j]->GetImageFile();
        const char* label = maps[j]->GetLabel();
        text += Format("{map%d=\"\n{mapImage=%s/%s}\n{mapLabel=%s}\n\"}\n", static_cast<int>(j),
                       BraceText(settings.dataFolder).c_str(), BraceText(PublishedDataName(settings, file)).c_str(),
                       BraceText(label ? label : "").c_str());
    }
    text += "{mapBgColor=" + ViewerColorHex(tourMap.GetMapBgColor()) + "}\n";
    text += "{compassIconColor=" + ViewerColorHex(tourMap.GetCompassIconColor(TourMapSettings::kNormal)) + "}\n";
    text += "{compassIconColorActive=" + ViewerColorHex(tourMap.GetCompassIconColor(TourMapSettings::kActive)) +
            "}\n";
    text += "{compassIconColorMouseOver=" +
            ViewerColorHex(tourMap.GetCompassIconColor(TourMapSettings::kMouseOver)) + "}\n";
    text += Format("{compassIconTransparency=%d}\n", tourMap.GetCompassIconTransparency());
    text += Format("{showVistaLabel=%d}\n", tourMap.GetShowVistaLabel());
    const TextStyle& normal = tourMap.GetVistaLabelStyle(TourMapSettings::kNormal);
    const TextStyle& active = tourMap.GetVistaLabelStyle(TourMapSettings::kActive);
    const TextStyle& over = tourMap.GetVistaLabelStyle(TourMapSettings::kMouseOver);
    const LabelLook look = LabelFont(normal);
    text += Format("{vistaLabelFontName=%s}\n", BraceText(look.font).c_str());
    text += Format("{vistaLabelFontBold=%s}\n", TrueFalse(look.style & TextStyle::kBold));
    text += Format("{vistaLabelFontItalic=%s}\n", TrueFalse(look.style & TextStyle::kItalic));
    text += Format("{vistaLabelFontSize=%d}\n", look.size / 20);
    text += "{vistaLabelTextColor=" + ViewerColorHex(normal.GetTextColor()) + "}\n";
    text += "{vistaLabelTextColorActive=" + ViewerColorHex(active.GetTextColor()) + "}\n";
    text += "{vistaLabelTextColorMouseOver=" + ViewerColorHex(over.GetTextColor()) + "}\n";
    text += "{vistaLabelBgColor=" + ViewerColorHex(normal.GetBgColor()) + "}\n";
    text += "{vistaLabelBgColorActive=" + ViewerColorHex(active.GetBgColor()) + "}\n";
    text += "{vistaLabelBgColorMouseOver=" + ViewerColorHex(over.GetBgColor()) + "}\n";
    text += Format("{vistaLabelBgTransparency=%d}\n", normal.GetOpacity());
    const int beam = tourMap.GetScanBeamLength();
    text += Format("{scanBeamLen=%d}\n", beam < 1 ? 10000 : beam);
    text += Format("{scanBeamTransparency=%d}\n", tourMap.GetScanBeamTransparency());
    text += "{scanBeamColor=" + ViewerColorHex(tourMap.GetScanBeamColor()) + "}\n";
    text += "{scanBeamLineColor=" + ViewerColorHex(tourMap.GetScanBeamLineColor()) + "}\n";
    const int numVista = project.GetVistaCount();
    text += Format("{numVista=%d}\n{vista0=0}\n{fov0=60.3}\n", numVista);
    for (size_t j = 0; j < maps.size(); ++j) {
        for (int v = 0; v < numVista; ++v) {
            const Vista& vista = *project.GetVista(v);
            const int c = v + static_cast<int>(j) * numVista;
            text += Format("{compass%d=\"\n", c);
            const TourCompass* compass = PlacedCompass(*maps[j], &vista);
            if (!compass) {
                text += "{isValid=0}\n{type=0}\n{x=0}\n{y=0}\n{a0=0.0}\n{uView0=0.0}\n{panmin=0.0}\n{panmax=0.0}\n";
            } else {
                const double s = PanSpan(project, vista);
                text += Format("{isValid=1}\n{type=%d}\n{x=%d}\n{y=%d}\n", vista.GetKind(),
                               static_cast<int>(compass->x), static_cast<int>(compass->y));
                text += Format("{a0=%f}\n", compass->direction * kDegreesPerRadian);
                text += Format("{uView0=%f}\n{panmin=%f}\n{panmax=%f}\n", 0.0, -s / 2, s / 2);
            }
            text += Format("{label=%s}\n\"}\n", BraceText(VistaDisplayName(vista)).c_str());
        }
    }
    return true;
}

bool AddTourMapPrms(const TourProject& project, TourNorvik& doc, const PublishSettings* settings)
{
    const TourMapSettings& tourMap = project.GetTourMap();
    const std::vector<const TourMap*> maps = MapsWithPictures(tourMap);
    const TourListIndex list = kTourListTourMap;
    bool ok = doc.AddListInt(list, "numMap", static_cast<int>(maps.size()));
    for (size_t j = 0; j < maps.size(); ++j) {
        const int id = static_cast<int>(j);
        int cx = 0, cy = 0;
        maps[j]->GetCentre(cx, cy);
        const char* file = maps[j]->GetImageFile();
        const char* label = maps[j]->GetLabel();
        ok = doc.AddMap(id, ZoomValue(*maps[j]), cx, cy) && ok;
        const std::string image = settings ? PublishedDataName(*settings, file) : std::string(FileNamePart(file ? file : ""));
        ok = doc.AddMapText(id, "mapImage", image.c_str()) && ok;
        ok = doc.AddMapText(id, "mapLabel", label ? label : "") && ok;
    }
    ok = doc.AddListHex(list, "mapBgColor", Hex(tourMap.GetMapBgColor())) && ok;
    ok = doc.AddListHex(list, "compassIconColor", Hex(tourMap.GetCompassIconColor(TourMapSettings::kNormal))) && ok;
    ok = doc.AddListHex(list, "compassIconColorActive", Hex(tourMap.GetCompassIconColor(TourMapSettings::kActive))) &&
         ok;
    ok = doc.AddListHex(list, "compassIconColorMouseOver",
                        Hex(tourMap.GetCompassIconColor(TourMapSettings::kMouseOver))) &&
         ok;
    ok = doc.AddListInt(list, "compassIconTransparency", tourMap.GetCompassIconTransparency()) && ok;
    ok = doc.AddListInt(list, "showVistaLabel", tourMap.GetShowVistaLabel()) && ok;
    const TextStyle& normal = tourMap.GetVistaLabelStyle(TourMapSettings::kNormal);
    const TextStyle& active = tourMap.GetVistaLabelStyle(TourMapSettings::kActive);
    const TextStyle& over = tourMap.GetVistaLabelStyle(TourMapSettings::kMouseOver);
    const LabelLook look = LabelFont(normal);
    ok = doc.AddListText(list, "vistaLabelFontName", look.font.c_str()) && ok;
    ok = doc.AddListText(list, "vistaLabelFontBold", TrueFalse(look.style & TextStyle::kBold)) && ok;
    ok = doc.AddListText(list, "vistaLabelFontItalic", TrueFalse(look.style & TextStyle::kItalic)) && ok;
    ok = doc.AddListInt(list, "vistaLabelFontSize", look.size / 20) && ok;
    ok = doc.AddListHex(list, "vistaLabelTextColor", Hex(normal.GetTextColor())) && ok;
    ok = doc.AddListHex(list, "vistaLabelTextColorActive", Hex(active.GetTextColor())) && ok;
    ok = doc.AddListHex(list, "vistaLabelTextColorMouseOver", Hex(over.GetTextColor())) && ok;
    ok = doc.AddListHex(list, "vistaLabelBgColor", Hex(normal.GetBgColor())) && ok;
    ok = doc.AddListHex(list, "vistaLabelBgColorActive", Hex(active.GetBgColor())) && ok;
    ok = doc.AddListHex(list, "vistaLabelBgColorMouseOver", Hex(over.GetBgColor())) && ok;
    ok = doc.AddListInt(list, "vistaLabelBgTransparency", normal.GetOpacity()) && ok;
    const int beam = tourMap.GetScanBeamLength();
    ok = doc.AddListInt(list, "scanBeamLen", beam < 1 ? 10000 : beam) && ok;
    ok = doc.AddListInt(list, "scanBeamTransparency", tourMap.GetScanBeamTransparency()) && ok;
    ok = doc.AddListHex(list, "scanBeamColor", Hex(tourMap.GetScanBeamColor())) && ok;
    ok = doc.AddListHex(list, "scanBeamLineColor", Hex(tourMap.GetScanBeamLineColor())) && ok;
    const int numVista = project.GetVistaCount();
    ok = doc.AddListInt(list, "numVista", numVista) && ok;
    ok = doc.AddListInt(list, "vista0", 0) && ok;
    ok = doc.AddListText(list, "fov0", "60.3") && ok;
    for (size_t j = 0; j < maps.size(); ++j) {
        const int id = static_cast<int>(j);
        for (int v = 0; v < numVista; ++v) {
            const Vista& vista = *project.GetVista(v);
            const TourCompass* compass = PlacedCompass(*maps[j], &vista);
            double s = 0.0;
            if (compass) {
                s = PanSpan(project, vista);
                ok = doc.AddCompass(id, v, 1, vista.GetKind(), static_cast<int>(compass->x),
                                    static_cast<int>(compass->y)) &&
                     ok;
            } else {
                ok = doc.AddCompass(id, v, 0, 0, 0, 0) && ok;
            }
            const float angle = compass ? static_cast<float>(compass->direction * kDegreesPerRadian) : 0.0f;
            ok = doc.AddCompassFloat(id, v, "a0", angle) && ok;
            ok = doc.AddCompassFloat(id, v, "u0", 0.0f) && ok;
            ok = doc.AddCompassFloat(id, v, "panmin", static_cast<float>(-s / 2)) && ok;
            ok = doc.AddCompassFloat(id, v, "panmax", static_cast<float>(s / 2)) && ok;
            ok = doc.AddCompassText(id, v, "label", VistaDisplayName(vista).c_str()) && ok;
        }
    }
    return ok;
}

bool SaveTourMapPrmFile(const TourProject& project, const PublishSettings& settings)
{
    if (!project.GetTourMap().IsShown()) return true;
    std::string text;
    WriteTourMapPrms(project, settings, text);
    const std::string path = settings.publishFolder + "/" + settings.dataFolder + "/" + kTourMapPrmFileName;
    const bool written = WriteParamFile(path, text);
    if (!written) {
        Logger::log("ERROR SaveTourMapPrmFile: cannot write %s", 1, path.c_str());
        AfxMessageBox("Cannot save tour map file!\nPlease close if opened & try again\n", MB_OK);
    }
    return written;
}
