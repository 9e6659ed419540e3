#include "tour/tessiv/page_params.h"

#include "core/logger.h"
#include "tour/tessiv/file_utils.h"
#include "tour/tessiv/param_text.h"
#include "tour/tessiv/tour_colors.h"
#include "tour/tessiv/tour_library.h"
#include "tour/tessiv/tour_map_settings.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/viewer_params.h"
#include "tour/tessiv/vista.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

using tessiv::Format;
using tessiv::TrueFalse;

constexpr int kThumbnailWidth = 48;

std::string Colour6(COLORREF color) { return "'#" + ViewerColorHex6(color) + "'"; }

// A file's name without its folder, blanks made "_".
std::string DataFileName(const char* path)
{
    std::string name = FileNamePart(path ? path : "");
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
}

bool CountsAsHtmlSound(const std::string& name)
{
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".mp3") != 0;
}

}  // namespace

std::string JsText(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\'': out += "\\'"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '<':
            out += (i + 1 < text.size() && text[i + 1] == '/') ? "<\\" : "<";
            break;
        default: out += c;
        }
    }
    return out;
}

int StretchToSound(int timeMs, double soundSeconds)
{
    const double sound = soundSeconds * 1000;
    if (sound <= timeMs) return timeMs;
    const int length = static_cast<int>(sound);
    return static_cast<int>(length + std::max(length * 0.05, 1500.0));
}

int VistaDisplayTimeMs(const TourProject& project, const Vista& vista, int spin)
{
    const int kind = vista.GetKind();
    const int speed = std::abs(spin) > 0 ? std::abs(spin) : 1;
    bool photo = kind == 1 || kind == 4 || !vista.IsPanorama();
    const int E = vista.GetEquatorWidth();
    if (!photo && !vista.IsFullCircle() &&
        (E < 4 || vista.GetColumn() < 0 || vista.GetColumn() >= E || vista.GetRow() < 0 ||
         vista.GetRow() >= E / 2)) {
        Logger::log("ERROR VistaDisplayTimeMs: vista %d has an unusable map (equator width %d, column %d, row %d); "
                    "timed as a photograph",
                    1, vista.GetId(), E, vista.GetColumn(), vista.GetRow());
        photo = true;
    }
    if (photo) return project.GetPhotoSlideMovieTime(kind == 4 ? 1 : 0) * 1000;
    if (vista.IsFullCircle()) return 360000 / speed;
    float fovH = 0.0f, fovV = 0.0f;
    project.GetViewerFov(&vista, fovH, fovV);
    const double W = vista.GetWidth();
    const double V = 2.0 * E * fovV / 360.0;
    const double pan = vista.GetInitialViewH();
    double d = W - V / 2;
    if (W * pan + W / 2 >= V * 3 / 4 && W / 2 - W * pan >= V * 3 / 4) {
        d *= 1.5;
        if (spin > 0 && pan > -0.5) d -= W * pan;
        if (spin <= 0 && pan < 0.5) d += W * pan;
    }
    return static_cast<int>(std::trunc(360.0 / E * d * 1000 / speed));
}

bool WriteTourPageParams(const TourProject& project, const PublishSettings& settings, std::string& page,
                         TourPageSize& pageSize)
{
    const int N = project.GetVistaCount();
    const int S = settings.spinSpeed != 0 ? settings.spinSpeed : 1;
    const std::string& name = settings.pageName;
    const size_t dot = name.find('.');
    page += "var g_viewerName = \"viewer_" + JsText(dot == std::string::npos ? "" : name.substr(0, dot)) + "\";\n";
    page += Format("var g_numVista = %d;\n", N);
    page += Format("var g_spinSpeed = %d;\n", S);

    page += "var g_vistaTimeMs = [";
    for (int i = 0; i < N; ++i) {
        const Vista& vista = *project.GetVista(i);
        int time = VistaDisplayTimeMs(project, vista, S);
        if (project.GetVistaSoundPath(&vista)) time = StretchToSound(time, project.GetVistaSoundValue(&vista));
        page += Format(i + 1 < N ? "%d, " : "%d", time);
    }
    page += "];\n";
    page += "var g_appletPrmFile = \"QuorvaneTour_applet_prms\";\n";
    page += "var g_tourFileFolder = \"./" + JsText(settings.dataFolder) + "/\";\n";
    const std::string bgSound = project.HasBgSound() ? DataFileName(project.GetBgSoundPath()) : std::string();
    page += "var g_bgSoundFile = \"" + JsText(bgSound) + "\";\n";
    const TextStyle& title = project.GetTitle();
    page += Format("var g_isTitle = %s;\n", TrueFalse(title.IsShown() && title.HasText()));
    page += Format("var g_isVistaBench = %s;\n", TrueFalse(N >= 2));
    page += "var g_isVistaThumbnail = true;\n";
    page += Format("var g_vistaBenchLoc = %d;\n", project.GetVistaBenchLocation());

    page += "var g_vistaLabels = [";
    for (int i = 0; i < N; ++i) {
        std::string label = project.GetVista(i)->GetLabelText() ? project.GetVista(i)->GetLabelText() : "";
        if (label.size() > 255) label.resize(255);
        page += i ? ", '" : "'";
        page += JsText(label);
        page += "'";
    }
    page += "];\n";
    auto fourColours = [&](COLORREF (TourProject::*get)(int) const) {
        std::string out;
        for (int s = 0; s < 4; ++s) out += (s ? ", " : "") + Colour6((project.*get)(s));
        return out;
    };
    page += "var g_buttonBgColor = [" + fourColours(&TourProject::GetButtonBgColor) + "];\n";
    page += "var g_buttonTextColor = [" + fourColours(&TourProject::GetButtonTextColor) + "];\n";

    const RECT pageBox = project.GetLayoutBox(kPageBox);
    page += Format("var g_page_box = [%d, %d, %d, %d, ", pageBox.left + 3, pageBox.top + 3, pageBox.right,
                   pageBox.bottom) +
            Colour6(project.GetPageBgColor()) + "];\n";
    pageSize.width = pageBox.right;
    pageSize.height = pageBox.bottom;
    const RECT titleBox = project.GetLayoutBox(kTitleBox);
    page += Format("var g_title_box =       [%d, %d, %d, %d, 'transparent'];\n", titleBox.left, titleBox.top,
                   titleBox.right, titleBox.bottom);
    const RECT viewerBox = project.GetLayoutBox(kViewerBox);
    page += Format("var g_viewer_box =      [%d, %d, %d, %d, 'transparent'];\n", viewerBox.left, viewerBox.top,
                   viewerBox.right, viewerBox.bottom);
    const RECT control = project.GetLayoutBox(kControlBox);
    page += Format("var g_tourControl_box = [%d, %d, %d, %d, ", control.left, control.top, control.right,
                   control.bottom) +
            (project.GetControlBarColored() ? Colour6(project.GetControlBarColor()) : "'transparent'") + "];\n";
    const RECT bench = project.GetLayoutBox(kStripBox);
    page += Format("var g_vistaBench_box =  [%d, %d, %d, %d, ", bench.left, bench.top, bench.right, bench.bottom) +
            (project.GetVistaBenchColored() ? Colour6(project.GetVistaBenchColor()) : "'transparent'") + "];\n";

    const bool hasFace = title.GetFaceName() != nullptr;
    page += "var g_title_text = ['";
    page += JsText(title.GetText() ? title.GetText() : "");
    page += "', '";
    page += JsText(hasFace ? title.GetFaceName() : "MS Serif");
    page += "', ";
    page += std::string(title.IsBold() ? "'bold', " : "'normal', ") + (title.IsItalic() ? "'italic', " : "'normal', ");
    page += Format("%d, ", (hasFace ? title.GetSize() : 400) / 20) + Colour6(title.GetTextColor()) + "];\n";
    page += "var g_layoutVistaButtons = [100, 28, '3px 6px 4px 5px', 'inline', 5];\n";

    page += "var g_fileThumbnails = [";
    for (int i = 0; i < N; ++i) {
        std::string file = DataFileName(project.GetVista(i)->GetFileName());
        const size_t cut = file.find('.');
        if (cut != std::string::npos) file.resize(cut);
        page += i ? ", '" : "'";
        page += JsText(file + "_thumb.jpg");
        page += "'";
    }
    page += "];\n";
    const int thumbHeight = settings.pageWidth > 0
                                ? static_cast<int>(static_cast<unsigned>(kThumbnailWidth) *
                                                   static_cast<unsigned>(settings.pageHeight) /
                                                   static_cast<unsigned>(settings.pageWidth))
                                : 0;
    page += Format("var g_layoutThumbnails = [%d, %d, %d, %d, %d, %d, %d];\n", kThumbnailWidth, thumbHeight, 8, 8, 8,
                   19, 3);
    page += Format("var g_vistaLabelInViewerFlag = %d\n", project.GetVistaLabelInViewer());
    page += Format("var g_vistaLegendInViewerFlag = %d\n", TourLibrary().vistaLegendInViewer ? 1 : 0);
    bool photoOrSlide = false;
    for (int i = 0; i < N; ++i) photoOrSlide = photoOrSlide || project.GetVista(i)->IsPhotograph();
    if (photoOrSlide) {
        page += Format("var g_photoSlideInitSize = [%d, %d]\n", project.GetPhotoSlideInitSize(0),
                       project.GetPhotoSlideInitSize(1));
        page += Format("var g_photoSlideMovieTime = [%d, %d]\n", project.GetPhotoSlideMovieTime(0),
                       project.GetPhotoSlideMovieTime(1));
        page += Format("var g_photoSlideZoomTime = [%d, %d]\n", project.GetPhotoSlideZoomTime(0),
                       project.GetPhotoSlideZoomTime(1));
    }
    page += Format("var g_vistaSoundPlayFlag = %d\n", project.GetVistaSoundPlayFlags());

    int htmlSounds = CountsAsHtmlSound(bgSound) ? 1 : 0;
    page += "var g_vistaSound = [";
    for (int i = 0; i < N; ++i) {
        const Vista* vista = project.GetVista(i);
        std::string sound;
        if (project.GetVistaSoundPath(vista) && project.GetVistaSoundValue(vista) > 0) {
            sound = DataFileName(project.GetVistaSoundPath(vista));
            if (CountsAsHtmlSound(sound)) ++htmlSounds;
        }
        page += i ? ", '" : "'";
        page += JsText(sound);
        page += "'";
    }
    page += "];\n";
    page += Format("var g_numHtmlSound = %d;\n", htmlSounds);

    bool hotSpots = false;
    for (int i = 0; i < N; ++i) hotSpots = hotSpots || project.GetVista(i)->GetHotSpotCount() > 0;
    page += Format("var g_isHotspot = %s;\n", TrueFalse(hotSpots));
    const TourMapSettings& tourMap = project.GetTourMap();
    page += Format("var g_isTourMap = %s;\n", TrueFalse(tourMap.IsShown()));
    page += "var g_tourMapPrmFile = \"QuorvaneTourMap_prms\";\n";
    const RECT mapBox = project.GetLayoutBox(kTourMapBox);
    page += Format("var g_tourmap_box = [%d, %d, %d, %d, ", mapBox.left, mapBox.top, mapBox.right, mapBox.bottom) +
            Colour6(tourMap.GetMapBgColor()) + "];\n";
    const int w = mapBox.right, h = mapBox.bottom;
    int box[4];
    switch (tourMap.GetDockSide()) {
    case 0: box[0] = 0, box[1] = 0, box[2] = w - 1, box[3] = h; break;
    case 1: box[0] = 1, box[1] = 0, box[2] = w - 1, box[3] = h; break;
    case 2: box[0] = 0, box[1] = 0, box[2] = w, box[3] = h - 1; break;
    default: box[0] = 0, box[1] = 1, box[2] = w, box[3] = h - 1; break;
    }
    page += Format("var g_tourmap_applet_box = [%d, %d, %d, %d];\n", box[0], box[1], box[2], box[3]);
    return true;
}
