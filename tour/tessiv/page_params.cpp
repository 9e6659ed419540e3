#include "tour/tessiv/page_params.h"

#include "core/logger.h"
#include "tour/norvik/tour_norvik.h"
#include "tour/tessiv/file_utils.h"
#include "tour/tessiv/param_text.h"
#include "tour/tessiv/tour_colors.h"
#include "tour/tessiv/tour_library.h"
#include "tour/tessiv/tour_map_settings.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/viewer_params.h"
#include "tour/tessiv/vista.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

using tessiv::Format;
using tessiv::TrueFalse;

constexpr int kThumbnailWidth = 48;

std::string Colour6(COLORREF color) { return "'#" + ViewerColorHex6(color) + "'"; }

// A data file's name in the data folder, as the publisher writes it.
std::string DataFileName(const PublishSettings& settings, const char* path)
{
    return PublishedDataName(settings, path);
}

// A sound's name in the data folder: under the Flash viewer the publisher
// converts WAV sounds (".wav" in any case) and writes them ending in "mp3".
std::string SoundFileName(const PublishSettings& settings, const char* path)
{
    std::string name = DataFileName(settings, path);
    if (IsFlashViewer(settings) && name.size() >= 4) {
        std::string ext = name.substr(name.size() - 4);
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".wav") name.replace(name.size() - 3, 3, "mp3");
    }
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
                         TourPageSize& pageSize, TourNorvik* document)
{
    // Under Flash most values go to the tour document; the page keeps the
    // lines both viewers read.
    TourNorvik* tree = IsFlashViewer(settings) ? document : nullptr;
    const TourListIndex fw = kTourListFramework;
    bool ok = true;
    auto call = [&](bool result) { ok = result && ok; };

    const int N = project.GetVistaCount();
    const int S = settings.spinSpeed != 0 ? settings.spinSpeed : 1;
    const std::string& name = settings.pageName;
    const size_t dot = name.find('.');
    const std::string viewerName = "viewer_" + (dot == std::string::npos ? std::string() : name.substr(0, dot));
    if (tree) {
        call(tree->AddListText(fw, "viewerName", viewerName.c_str()));
        call(tree->AddListInt(fw, "numVista", N));
        call(tree->AddListInt(fw, "spinSpeed", S));
    } else {
        page += "var g_viewerName = \"" + JsText(viewerName) + "\";\n";
    }
    page += Format("var g_numVista = %d;\n", N);
    if (!tree) page += Format("var g_spinSpeed = %d;\n", S);

    std::vector<int> times;
    for (int i = 0; i < N; ++i) {
        const Vista& vista = *project.GetVista(i);
        int time = VistaDisplayTimeMs(project, vista, S);
        if (project.GetVistaSoundPath(&vista)) time = StretchToSound(time, project.GetVistaSoundValue(&vista));
        times.push_back(time);
        if (tree) call(tree->AddListIntWithId(kTourListVistaTimes, "vistaTimeMs", time, i));
    }
    if (!tree) {
        page += "var g_vistaTimeMs = [";
        for (int i = 0; i < N; ++i) page += Format(i + 1 < N ? "%d, " : "%d", times[static_cast<size_t>(i)]);
        page += "];\n";
        page += Format("var g_appletPrmFile = \"%s\";\n", g_appletPrmFile);
    }
    if (tree) call(tree->AddListText(fw, "tourFileFolder", settings.dataFolder.c_str()));
    page += "var g_tourFileFolder = \"./" + JsText(settings.dataFolder) + "/\";\n";
    // The background sound under the name the publisher gives it (a Flash
    // WAV is published as MP3).
    const std::string bgSound = project.HasBgSound() ? SoundFileName(settings, project.GetBgSoundPath()) : std::string();
    if (tree) call(tree->AddListText(fw, "bgSoundFile", bgSound.c_str()));
    page += "var g_bgSoundFile = \"" + JsText(bgSound) + "\";\n";

    const TextStyle& title = project.GetTitle();
    const bool isTitle = title.IsShown() && title.HasText();
    std::vector<std::string> labels;
    for (int i = 0; i < N; ++i) {
        std::string label = project.GetVista(i)->GetLabelText() ? project.GetVista(i)->GetLabelText() : "";
        if (label.size() > 255) label.resize(255);
        labels.push_back(label);
    }
    const RECT pageBox = project.GetLayoutBox(kPageBox);
    const RECT titleBox = project.GetLayoutBox(kTitleBox);
    const RECT viewerBox = project.GetLayoutBox(kViewerBox);
    const RECT control = project.GetLayoutBox(kControlBox);
    const RECT bench = project.GetLayoutBox(kStripBox);
    pageSize.width = pageBox.right;
    pageSize.height = pageBox.bottom;
    if (tree) {
        call(tree->AddListText(fw, "isTitle", TrueFalse(isTitle)));
        call(tree->AddListText(fw, "isVistaBench", TrueFalse(N >= 2)));
        call(tree->AddListText(fw, "isVistaThumbnail", "true"));
        call(tree->AddListInt(fw, "vistaBenchLoc", project.GetVistaBenchLocation()));
        for (int i = 0; i < N; ++i)
            call(tree->AddListTextWithId(kTourListVistaLabels, "vistaLabel", labels[static_cast<size_t>(i)].c_str(), i));
        auto rgb = [](COLORREF c) { return static_cast<int32_t>(SwapRedBlue(c) & 0xFFFFFFu); };
        call(tree->AddListColors(fw, "buttonBgColor", rgb(project.GetButtonBgColor(0)), rgb(project.GetButtonBgColor(1)),
                                 rgb(project.GetButtonBgColor(2)), rgb(project.GetButtonBgColor(3))));
        call(tree->AddListColors(fw, "buttonTextColor", rgb(project.GetButtonTextColor(0)),
                                 rgb(project.GetButtonTextColor(1)), rgb(project.GetButtonTextColor(2)),
                                 rgb(project.GetButtonTextColor(3))));
        call(tree->AddListBox(fw, "page_box", pageBox.left + 3, pageBox.top + 3, pageBox.right, pageBox.bottom,
                              rgb(project.GetPageBgColor()), -1));
        call(tree->AddListBox(fw, "title_box", titleBox.left, titleBox.top, titleBox.right, titleBox.bottom, -1, -1));
        call(tree->AddListBox(fw, "viewer_box", viewerBox.left, viewerBox.top, viewerBox.right, viewerBox.bottom, -1,
                              -1));
        call(tree->AddListBox(fw, "tourControl_box", control.left, control.top, control.right, control.bottom, -1,
                              -1));
        call(tree->AddListInt(fw, "autoHideBar", 1));
        call(tree->SetChildAttributeInt(fw, "autoHideBar", "padX", 120));
        call(tree->SetChildAttributeInt(fw, "autoHideBar", "padY", 80));
        call(tree->SetChildAttributeInt(fw, "autoHideBar", "maxTransparencyCtrlBar", 100));
        call(tree->SetChildAttributeInt(fw, "autoHideBar", "flashTime", 4));
        call(tree->AddListBox(fw, "vistaBench_box", bench.left, bench.top, bench.right, bench.bottom, -1, -1));
        const std::string benchColour = ViewerColorHex6(project.GetVistaBenchColor());
        call(tree->SetChildAttribute(fw, "vistaBench_box", "color", benchColour.c_str()));
        call(tree->SetChildAttributeInt(fw, "vistaBench_box", "transparency", 40));
        call(tree->SetChildAttribute(fw, "vistaBench_box", "colorCorner", benchColour.c_str()));
        call(tree->SetChildAttributeInt(fw, "vistaBench_box", "transparencyCorner", 70));
    } else {
        page += Format("var g_isTitle = %s;\n", TrueFalse(isTitle));
        page += Format("var g_isVistaBench = %s;\n", TrueFalse(N >= 2));
        page += "var g_isVistaThumbnail = true;\n";
        page += Format("var g_vistaBenchLoc = %d;\n", project.GetVistaBenchLocation());
        page += "var g_vistaLabels = [";
        for (int i = 0; i < N; ++i) {
            page += i ? ", '" : "'";
            page += JsText(labels[static_cast<size_t>(i)]);
            page += "'";
        }
        page += "];\n";
        auto fourColours = [&](COLORREF (TourProject::*get)(int) const) {
            std::string out;
            for (int st = 0; st < 4; ++st) out += (st ? ", " : "") + Colour6((project.*get)(st));
            return out;
        };
        page += "var g_buttonBgColor = [" + fourColours(&TourProject::GetButtonBgColor) + "];\n";
        page += "var g_buttonTextColor = [" + fourColours(&TourProject::GetButtonTextColor) + "];\n";
        page += Format("var g_page_box = [%d, %d, %d, %d, ", pageBox.left + 3, pageBox.top + 3, pageBox.right,
                       pageBox.bottom) +
                Colour6(project.GetPageBgColor()) + "];\n";
        page += Format("var g_title_box =       [%d, %d, %d, %d, 'transparent'];\n", titleBox.left, titleBox.top,
                       titleBox.right, titleBox.bottom);
        page += Format("var g_viewer_box =      [%d, %d, %d, %d, 'transparent'];\n", viewerBox.left, viewerBox.top,
                       viewerBox.right, viewerBox.bottom);
        page += Format("var g_tourControl_box = [%d, %d, %d, %d, ", control.left, control.top, control.right,
                       control.bottom) +
                (project.GetControlBarColored() ? Colour6(project.GetControlBarColor()) : "'transparent'") + "];\n";
        page += Format("var g_vistaBench_box =  [%d, %d, %d, %d, ", bench.left, bench.top, bench.right,
                       bench.bottom) +
                (project.GetVistaBenchColored() ? Colour6(project.GetVistaBenchColor()) : "'transparent'") + "];\n";
    }

    const bool hasFace = title.GetFaceName() != nullptr;
    page += "var g_title_text = ['";
    page += JsText(title.GetText() ? title.GetText() : "");
    page += "', '";
    page += JsText(hasFace ? title.GetFaceName() : "MS Serif");
    page += "', ";
    page += std::string(title.IsBold() ? "'bold', " : "'normal', ") + (title.IsItalic() ? "'italic', " : "'normal', ");
    page += Format("%d, ", (hasFace ? title.GetSize() : 400) / 20) + Colour6(title.GetTextColor()) + "];\n";

    std::vector<std::string> thumbnails;
    for (int i = 0; i < N; ++i) {
        std::string file = DataFileName(settings, project.GetVista(i)->GetFileName());
        const size_t cut = file.find('.');
        if (cut != std::string::npos) file.resize(cut);
        thumbnails.push_back(file + "_thumb.jpg");
    }
    const int thumbHeight = settings.pageWidth > 0
                                ? static_cast<int>(static_cast<unsigned>(kThumbnailWidth) *
                                                   static_cast<unsigned>(settings.pageHeight) /
                                                   static_cast<unsigned>(settings.pageWidth))
                                : 0;
    bool photoOrSlide = false;
    for (int i = 0; i < N; ++i) photoOrSlide = photoOrSlide || project.GetVista(i)->IsPhotograph();
    const int legendFlag = TourLibrary().vistaLegendInViewer ? 1 : 0;
    // Photo and slide values: name, photo value, slide value.
    struct SlidePair {
        const char* name;
        int photo;
        int slide;
    };
    const SlidePair slides[3] = {
        {"photoSlideInitSize", project.GetPhotoSlideInitSize(0), project.GetPhotoSlideInitSize(1)},
        {"photoSlideMovieTime", project.GetPhotoSlideMovieTime(0), project.GetPhotoSlideMovieTime(1)},
        {"photoSlideZoomTime", project.GetPhotoSlideZoomTime(0), project.GetPhotoSlideZoomTime(1)},
    };
    if (tree) {
        for (int i = 0; i < N; ++i)
            call(tree->AddListTextWithId(kTourListThumbnailFiles, "fileThumbnail",
                                         thumbnails[static_cast<size_t>(i)].c_str(), i));
        call(tree->AddListBox(fw, "layoutThumbnails", 8, 8, kThumbnailWidth, thumbHeight, -1, -1));
        call(tree->SetChildAttributeInt(fw, "layoutThumbnails", "heightLabel", 19));
        call(tree->SetChildAttributeInt(fw, "layoutThumbnails", "marginX", 8));
        call(tree->SetChildAttributeInt(fw, "layoutThumbnails", "marginY", 3));
        call(tree->AddListInt(fw, "vistaLabelInViewerFlag", project.GetVistaLabelInViewer()));
        call(tree->AddListInt(fw, "vistaLegendInViewerFlag", legendFlag));
        if (photoOrSlide) {
            for (const SlidePair& pair : slides) {
                call(tree->SetChildAttributeInt(fw, pair.name, "photo", pair.photo));
                call(tree->SetChildAttributeInt(fw, pair.name, "slide", pair.slide));
            }
        }
        call(tree->AddListInt(fw, "vistaSoundPlayFlag", project.GetVistaSoundPlayFlags()));
    } else {
        page += "var g_layoutVistaButtons = [100, 28, '3px 6px 4px 5px', 'inline', 5];\n";
        page += "var g_fileThumbnails = [";
        for (int i = 0; i < N; ++i) {
            page += i ? ", '" : "'";
            page += JsText(thumbnails[static_cast<size_t>(i)]);
            page += "'";
        }
        page += "];\n";
        page += Format("var g_layoutThumbnails = [%d, %d, %d, %d, %d, %d, %d];\n", kThumbnailWidth, thumbHeight, 8, 8,
                       8, 19, 3);
        page += Format("var g_vistaLabelInViewerFlag = %d\n", project.GetVistaLabelInViewer());
        page += Format("var g_vistaLegendInViewerFlag = %d\n", legendFlag);
        if (photoOrSlide) {
            for (const SlidePair& pair : slides)
                page += Format("var g_%s = [%d, %d]\n", pair.name, pair.photo, pair.slide);
        }
        page += Format("var g_vistaSoundPlayFlag = %d\n", project.GetVistaSoundPlayFlags());
    }

    int htmlSounds = CountsAsHtmlSound(bgSound) ? 1 : 0;
    page += "var g_vistaSound = [";
    for (int i = 0; i < N; ++i) {
        const Vista* vista = project.GetVista(i);
        std::string sound;
        if (project.GetVistaSoundPath(vista) && project.GetVistaSoundValue(vista) > 0) {
            sound = SoundFileName(settings, project.GetVistaSoundPath(vista));  // the publisher converts it
            if (CountsAsHtmlSound(sound)) ++htmlSounds;
        }
        if (tree) call(tree->AddListTextWithId(kTourListVistaSounds, "vistaSound", sound.c_str(), i));
        page += i ? ", '" : "'";
        page += JsText(sound);
        page += "'";
    }
    page += "];\n";
    if (tree) call(tree->AddListInt(fw, "numHtmlSound", htmlSounds));
    page += Format("var g_numHtmlSound = %d;\n", htmlSounds);

    bool hotSpots = false;
    for (int i = 0; i < N; ++i) hotSpots = hotSpots || project.GetVista(i)->GetHotSpotCount() > 0;
    const TourMapSettings& tourMap = project.GetTourMap();
    const RECT mapBox = project.GetLayoutBox(kTourMapBox);
    const int w = mapBox.right, h = mapBox.bottom;
    if (tree) {
        call(tree->AddListText(fw, "isHotspot", TrueFalse(hotSpots)));
        call(tree->AddListText(fw, "isTourMap", TrueFalse(tourMap.IsShown())));
        const int boxW = std::min(tourMap.GetWidth(), settings.pageWidth * 4 / 10);
        const int boxH = std::min(tourMap.GetHeight(), settings.pageHeight * 6 / 10);
        call(tree->AddListBox(fw, "tourmap_box", 5, 5, boxW, boxH, -1, -1));
        call(tree->SetChildAttribute(fw, "tourmap_box", "colorCorner", ViewerColorHex6(tourMap.GetMapBgColor()).c_str()));
        call(tree->SetChildAttributeInt(fw, "tourmap_box", "transparencyCorner", 50));
        call(tree->SetChildAttribute(fw, "tourmap_box", "colorShiftBox", "a0a0a0"));
        call(tree->SetChildAttributeInt(fw, "tourmap_box", "transparencyShiftBox", 60));
        call(tree->SetChildAttribute(fw, "tourHelpWin", "file", "QuorvaneTour_help_F"));
        call(tree->SetChildAttributeInt(fw, "tourHelpWin", "width", 470));
        call(tree->SetChildAttributeInt(fw, "tourHelpWin", "height", 640));
        return ok;
    }
    page += Format("var g_isHotspot = %s;\n", TrueFalse(hotSpots));
    page += Format("var g_isTourMap = %s;\n", TrueFalse(tourMap.IsShown()));
    page += "var g_tourMapPrmFile = \"QuorvaneTourMap_prms\";\n";
    page += Format("var g_tourmap_box = [%d, %d, %d, %d, ", mapBox.left, mapBox.top, w, h) +
            Colour6(tourMap.GetMapBgColor()) + "];\n";
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
