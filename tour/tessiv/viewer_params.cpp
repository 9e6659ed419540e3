#include "tour/tessiv/viewer_params.h"

#include "core/logger.h"
#include "platform/win/file_system.h"
#include "platform/win/wnd.h"
#include "tour/norvik/tour_norvik.h"
#include "tour/tessiv/file_utils.h"
#include "tour/tessiv/hotspot_params.h"
#include "tour/tessiv/param_text.h"
#include "tour/tessiv/text_style.h"
#include "tour/tessiv/tour_colors.h"
#include "tour/tessiv/tour_library.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/vista.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

const char* const g_appletPrmFile = "QuorvaneTour_applet_prms";

namespace {

using tessiv::Format;
using tessiv::TrueFalse;

constexpr double kFlatPictureAngle = 2.4;  // kind 4: a picture shown nearly unzoomed

// The font values of a style; a style without a face gives "MS Serif" at
// `plainSize` in plain style.
struct FontValues {
    std::string name;
    int style = 0;
    int size = 0;
    std::string textColor;
    std::string bgColor;
    int transparency = 0;
};

FontValues FontOf(const TextStyle& style, int plainSize)
{
    FontValues f;
    const bool hasFace = style.GetFaceName() != nullptr;
    f.name = hasFace ? style.GetFaceName() : "MS Serif";
    f.style = hasFace ? style.GetStyle() : 0;
    f.size = hasFace ? style.GetSize() : plainSize;
    f.textColor = ViewerColorHex(style.GetTextColor());
    f.bgColor = ViewerColorHex(style.GetBgColor());
    f.transparency = style.GetOpacity();
    return f;
}

void WriteFontGroups(const FontValues& font, const char* prefix, std::string& text)
{
    text += Format("{%sFontName=%s}\n", prefix, BraceText(font.name).c_str());
    text += Format("{%sFontBold=%s}\n", prefix, TrueFalse(font.style & TextStyle::kBold));
    text += Format("{%sFontItalic=%s}\n", prefix, TrueFalse(font.style & TextStyle::kItalic));
    text += Format("{%sFontSize=%d}\n", prefix, font.size / 20);
    text += Format("{%sTextColor=%s}\n", prefix, font.textColor.c_str());
    text += Format("{%sBgColor=%s}\n", prefix, font.bgColor.c_str());
    text += Format("{%sBgTransparency=%d}\n", prefix, font.transparency);
}

// Appends the names of files [from, count) separated by ", ".
void AppendNames(const std::vector<std::string>& names, size_t from, std::string& list)
{
    for (size_t k = from; k < names.size(); ++k) {
        if (k > from) list += ", ";
        list += names[k];
    }
}

}  // namespace

std::string PublishedDataName(const PublishSettings& settings, const char* source)
{
    if (source) {
        const auto chosen = settings.dataNames.find(source);
        if (chosen != settings.dataNames.end()) return chosen->second;
    }
    std::string name = FileNamePart(source ? source : "");
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
}

std::string PublishedDataPath(const PublishSettings& settings, const char* source)
{
    return settings.publishFolder + "/" + settings.dataFolder + "/" + PublishedDataName(settings, source);
}

bool IsFlashViewer(const PublishSettings& settings) { return settings.flashViewer; }

std::string TourBaseName(const std::string& pageName)
{
    const size_t dot = pageName.find('.');
    return dot != std::string::npos && dot >= 1 ? pageName.substr(0, dot) : std::string("URL");
}

std::string PageFileReference(const PublishSettings& settings, const std::string& publishedPath)
{
    std::string name = FileNamePart(publishedPath.c_str());
    return "./" + settings.dataFolder + "/" + name;
}

bool IsUsablePanorama(const VistaImageSet& set)
{
    const int P = set.equatorWidth;
    return P >= 4 && set.column >= 0 && set.column < P && set.row >= 0 && set.row < P / 2;
}

PanoramaGeometry ComputePanoramaGeometry(int w, int h, int P, int /*column: centred instead*/, int Y)
{
    PanoramaGeometry g;
    if (P - w < 3) P = w;  // within two pixels of a full turn counts as full
    g.equatorWidth = P;
    g.panRange = static_cast<int>(static_cast<int64_t>(w) * 360 / P);
    if (P == w && h >= w / 2) {
        g.tiltmin = -90.0;
        g.tiltmax = 90.0;
        g.pheight = h;
        return g;
    }
    g.x0File = (P - w) / 2;
    const int q = P / 4;  // the equator row of a full-height map
    g.tiltmax = -((Y - q) + 0.5) * 360 / P;
    g.tiltmin = static_cast<double>(-static_cast<int64_t>((Y + h - 1) - q) * 360 / P);
    const double m = std::max(std::fabs(g.tiltmin), std::fabs(g.tiltmax));
    g.pheight = static_cast<int>(2.0 * h * m / (g.tiltmax - g.tiltmin) + 0.5);
    g.y0File = std::max(0, Y - (q - g.pheight / 2));
    if (g.pheight < g.y0File + h) g.pheight = g.y0File + h;
    return g;
}

bool WriteViewerPrms(const TourProject& project, const PublishSettings& settings, std::string& text,
                     TourNorvik* document)
{
    const int W = settings.pageWidth, H = settings.pageHeight;
    const int d = (H - 187) / 2;
    const int barX = (W - 250) / 2;
    const int barY = d > 10 ? (H - d) + (d - 10) / 2 : H - 12;
    const bool showLabel = project.GetVistaLabelInViewer() > 0;
    const FontValues label = FontOf(project.GetViewerLabelStyle(), 200);
    const FontValues legend = FontOf(TourLibrary().vistaLabelStyle, 160);
    const int labelMs = project.GetViewerLabelValue() * 1000;

    if (IsFlashViewer(settings) && document) {
        TourNorvik& doc = *document;
        const TourListIndex list = kTourListViewer;
        bool ok = doc.AddListInt(list, "numVista", project.GetVistaCount());
        ok = doc.AddListInt(list, "file", 0) && ok;
        ok = doc.AddListText(list, "wait", "deng.classs") && ok;
        ok = doc.AddListInt(list, "waittime", 1000) && ok;
        ok = doc.AddListInt(list, "bar_x", barX) && ok;
        ok = doc.AddListInt(list, "bar_y", barY) && ok;
        ok = doc.AddListInt(list, "bar_width", 250) && ok;
        ok = doc.AddListInt(list, "bar_height", 10) && ok;
        ok = doc.AddListText(list, "barcolor", "900032") && ok;
        ok = doc.AddListText(list, "bgcolor", "ffffff") && ok;
        ok = doc.AddListText(list, "cursor", "CROSSHAIR") && ok;
        ok = doc.AddListInt(list, "quality", 1) && ok;
        ok = doc.AddListInt(list, "mapStep", 5) && ok;
        ok = doc.AddListInt(list, "vistaTransitionMs", 1300) && ok;
        auto fontElements = [&](const char* prefix, const FontValues& font) {
            const std::string p = prefix;
            ok = doc.AddListText(list, (p + "FontName").c_str(), font.name.c_str()) && ok;
            ok = doc.AddListText(list, (p + "FontBold").c_str(), TrueFalse(font.style & TextStyle::kBold)) && ok;
            ok = doc.AddListText(list, (p + "FontItalic").c_str(), TrueFalse(font.style & TextStyle::kItalic)) && ok;
            ok = doc.AddListInt(list, (p + "FontSize").c_str(), font.size / 20) && ok;
            ok = doc.AddListText(list, (p + "TextColor").c_str(), font.textColor.c_str()) && ok;
            ok = doc.AddListText(list, (p + "BgColor").c_str(), font.bgColor.c_str()) && ok;
            ok = doc.AddListInt(list, (p + "BgTransparency").c_str(), font.transparency) && ok;
        };
        if (showLabel) {
            fontElements("vistaLabel", label);
            ok = doc.AddListInt(list, "vistaLabelDurationMs", labelMs) && ok;
        }
        fontElements("vistaLegend", legend);
        ok = doc.AddListInt(list, "hotspotIconTransparency", 40) && ok;
        return ok;
    }

    text += Format("{numVista=%d}\n", project.GetVistaCount());
    text += "{file=QuorvaneTour:0}\n{wait=deng.classs}\n{waittime=1000}\n";
    text += Format("{bar_x=%d}\n{bar_y=%d}\n", barX, barY);
    text += "{bar_width=250}\n{bar_height=10}\n{barcolor=900032}\n{bgcolor=ffffff}\n{cursor=CROSSHAIR}\n"
            "{quality=1}\n{mapStep=5}\n{vistaZoom=2}\n{vistaTransitionMs=1300}\n";
    if (showLabel) {
        WriteFontGroups(label, "vistaLabel", text);
        text += Format("{vistaLabelDurationMs=%d}\n", labelMs);
    }
    WriteFontGroups(legend, "vistaLegend", text);
    if (settings.edgePan == 1) {
        text += Format("{ghotspot0= x2 y0 a19 b%d u'QuorvaneTour:PanPc(-30,30)' s'E_RESIZE' n'Pan left 40%%'}\n",
                       H - 1);
        text += Format("{ghotspot1= x%d y0 a%d b%d u'QuorvaneTour:PanPc(30,30)' s'W_RESIZE' n'Pan right 40%%'}\n",
                       W - 20, W - 3, H - 1);
        text += Format("{ghotspot2= x0 y2 a%d b19 u'QuorvaneTour:TiltPc(20,30)' s'S_RESIZE' n'Pan down 40%%'}\n",
                       W - 1);
        text += Format("{ghotspot3= x0 y%d a%d b%d u'QuorvaneTour:TiltPc(-20,30)' s'N_RESIZE' n'Pan up 40%%'}\n",
                       H - 20, W - 1, H - 3);
    }
    text += "{preload=";
    return true;
}

namespace {

// The values of one vista's groups, decided once for both forms.
struct VistaValues {
    bool flat = false;
    int kind = 0;
    int w = 0, h = 0;
    std::vector<std::string> files;  // as the page refers to them
    std::vector<TileRect> rects;
    // Flat vistas.
    double hfov = 0.0;
    double tiltLimit = 0.0;
    int animateMs = 0;
    // Panoramas.
    PanoramaGeometry geometry;
    int pan = 0, tilt = 0;
    double fov = 0.0, fovmax = 0.0, fovmin = 0.0, autoSpin = 0.0;
};

VistaValues DecideVista(const TourProject& project, const PublishSettings& settings, const Vista& vista, int index,
                        const VistaImageSet& set)
{
    VistaValues v;
    v.kind = set.kind;
    v.w = set.width;
    v.h = set.height;
    for (int k = 0; k < set.GetFileCount(); ++k) {
        v.files.push_back(PageFileReference(settings, set.files.GetName(k)));
        v.rects.push_back(set.files.GetRect(k));
    }
    float fovH = 0.0f, fovV = 0.0f;
    project.GetViewerFov(&vista, fovH, fovV);
    v.flat = set.kind == 1 || set.kind == 4;
    if (!v.flat && !IsUsablePanorama(set)) {
        Logger::log("ERROR WriteVistaPrms: vista %d has an unusable map (equator width %d, column %d, row %d); "
                    "written as a flat picture",
                    1, index, set.equatorWidth, set.column, set.row);
        v.flat = true;
        v.kind = 1;
    }
    if (v.flat) {
        v.hfov = v.kind == 4 ? kFlatPictureAngle : static_cast<double>(fovH);
        v.tiltLimit = v.w > 0 ? std::atan(std::tan(v.hfov * 0.0174533 / 2) * v.h / v.w) * 57.29578 : 0.0;
        v.animateMs = project.GetPhotoSlideMovieTime(v.kind == 4 ? 1 : 0) * 1000;
        return v;
    }
    v.geometry = ComputePanoramaGeometry(v.w, v.h, set.equatorWidth, set.column, set.row);
    const PanoramaGeometry& g = v.geometry;
    const int P = g.equatorWidth;
    const int px = static_cast<int>(std::trunc((vista.GetInitialViewH() + 1.0) * 0.5 * v.w));
    const int py = static_cast<int>(std::trunc((vista.GetInitialViewV() + 1.0) * 0.5 * v.h));
    v.pan = static_cast<int>(static_cast<int64_t>((px + set.column) - P / 2) * 360 / P);
    v.tilt = -static_cast<int>(static_cast<int64_t>((py + set.row) - P / 4) * 360 / P);
    v.fov = std::trunc(static_cast<double>(fovH) * 10) * 0.1;
    if (vista.IsVerticalPano() && g.tiltmax - g.tiltmin < v.fov) v.fov = g.tiltmax - g.tiltmin;
    const int rounded = static_cast<int>(std::trunc(static_cast<double>(fovH) + 0.5));
    v.fovmax = g.panRange < 120 ? g.panRange : 120.0;
    v.fovmin = rounded < 10 ? rounded / 2 : 10.0;
    v.autoSpin = settings.spinSpeed * 3.14159 / 180.0;
    return v;
}

void AddPreloadNames(const VistaValues& v, bool flash, bool last, std::string& firstFiles, std::string& otherFiles)
{
    std::vector<std::string> names;
    for (const std::string& file : v.files) names.push_back(ViewerFileName(file, flash));
    const size_t n = names.size();
    if (v.flat) {
        if (n > 0) firstFiles += names[0] + ",";
        AppendNames(names, 1, otherFiles);
    } else {
        for (size_t k = 0; k < std::min<size_t>(n, 2); ++k) firstFiles += names[k] + ", ";
        AppendNames(names, 2, otherFiles);
    }
    if (last) {
        if (!flash) otherFiles += "}\n";
    } else if (!v.flat || n > 1) {
        otherFiles += ",";
    }
}

void WriteVistaText(const TourProject& project, const Vista& vista, int index, const VistaValues& v,
                    int& appletCounter, std::string& groups)
{
    std::vector<std::string> files;
    for (const std::string& file : v.files) files.push_back(BraceText(file));
    const std::string file0 = files.empty() ? std::string() : files[0];
    auto roiGroups = [&] {
        for (size_t k = 1; k < files.size(); ++k)
            groups += Format("{roi%d=i'%s' x%d y%d}\n", static_cast<int>(k - 1), files[k].c_str(), v.rects[k].x,
                             v.rects[k].y);
    };
    if (v.flat) {
        const double hfov = v.hfov;
        groups += Format("{applet%d=\"\n{code=PhotoEx.class}\n", appletCounter);
        groups += Format("{vwidth=%d}\n{vheight=%d}\n", v.w, v.h);
        groups += Format("{file=%s}\n", file0.c_str());
        roiGroups();
        groups += "{pan=0}\n{tilt=0}\n{rot=0}\n";
        groups += Format("{fov=%.1f}\n\"}\n", hfov);
        groups += Format("{pano%d=\"\n", index);
        groups += Format("{inits=QuorvaneTour:startApplet(%d)}\n", appletCounter++);
        groups += Format("{vistaType=%d}\n", v.kind == 4 ? 2 : 1);
        groups += "{pwidth=1000}\n{pheight=500}\n";
        groups += Format("{panmin=%.1f}\n{panmax=%.1f}\n", -hfov / 2, hfov / 2);
        groups += Format("{tiltmin=%.1f}\n{tiltmax=%.1f}\n", -v.tiltLimit, v.tiltLimit);
        groups += Format("{pan=%.1f}\n{tilt=%.1f}\n", hfov / 10, hfov / 15);
        groups += Format("{fov=%.1f}\n", hfov / 3);
        groups += Format("{fovmax=%.1f}\n{fovmin=%.1f}\n", hfov, hfov / 3);
        groups += Format("{animateTimeMs=%d}\n", v.animateMs);
    } else {
        const PanoramaGeometry& g = v.geometry;
        groups += Format("{pano%d=\"\n", index);
        groups += Format("{file=%s}\n", file0.c_str());
        groups += Format("{x0File=%d}\n{y0File=%d}\n", g.x0File, g.y0File);
        groups += Format("{wdFile=%d}\n{htFile=%d}\n", v.w, v.h);
        groups += Format("{pwidth=%d}\n{pheight=%d}\n", g.equatorWidth, g.pheight);
        roiGroups();
        groups += Format("{panmin=%d}\n{panmax=%d}\n", -g.panRange / 2, g.panRange / 2);
        groups += Format("{tiltmin=%.2f}\n{tiltmax=%.2f}\n", g.tiltmin, g.tiltmax);
        groups += Format("{pan=%d}\n{tilt=%d}\n", v.pan, v.tilt);
        groups += Format("{fov=%.1f}\n", v.fov);
        groups += Format("{fovmax=%.1f}\n{fovmin=%.1f}\n", v.fovmax, v.fovmin);
        groups += Format("{auto=%f}\n", v.autoSpin);
        if (vista.IsVerticalPano())
            groups += Format("{isVPano=true}\n{panVPanoTop=%d}\n", vista.IsVerticalFlipped() ? -180 : 180);
    }
    const char* label = vista.GetLabelText();
    if (!label || !*label) {
        groups += "{vistaLabel= }\n{isShowVistaLabel0=false}\n";
    } else {
        groups += Format("{vistaLabel=%s}\n", BraceText(label).c_str());
        groups += Format("{isShowVistaLabel0=%s}\n", TrueFalse(project.GetVistaLabelInViewer() != 0));
    }
    if (const char* legend = vista.GetLabelStyleText(); legend && *legend)
        groups += Format("{vistaLegend=%s}\n", BraceText(legend).c_str());
}

bool AddVistaElements(const TourProject& project, const Vista& vista, int i, const VistaValues& v, TourNorvik& doc)
{
    const bool flatView = !vista.IsFlatView();
    const char* file0 = v.files.empty() ? "" : v.files[0].c_str();
    bool ok = true;
    auto rois = [&] {
        for (size_t k = 1; k < v.files.size(); ++k)
            ok = doc.AddRoi(i, static_cast<int>(k - 1), v.files[k].c_str(), v.rects[k].x, v.rects[k].y) && ok;
    };
    auto f = [](double value) { return static_cast<float>(value); };
    if (v.flat) {
        ok = doc.AddPano(i, v.kind == 4 ? 2 : 1, flatView) && ok;
        ok = doc.AddPanoInt(i, "vwidth", v.w) && ok;
        ok = doc.AddPanoInt(i, "vheight", v.h) && ok;
        ok = doc.AddPanoText(i, "file", file0) && ok;
        rois();
        if (v.kind == 4) {
            ok = doc.AddPanoFloat(i, "offsetX", 0.1f) && ok;
            ok = doc.AddPanoFloat(i, "offsetY", f(1.0 / 15)) && ok;
            ok = doc.AddPanoFloat(i, "zoom", 0.8f) && ok;
        } else {
            ok = doc.AddPanoFloat(i, "hfov", f(v.hfov)) && ok;
            ok = doc.AddPanoFloat(i, "pan", f(v.hfov / 10)) && ok;
            ok = doc.AddPanoFloat(i, "tilt", f(v.hfov / 15)) && ok;
            ok = doc.AddPanoFloat(i, "fov", f(v.hfov / 3)) && ok;
        }
        ok = doc.AddPanoInt(i, "animateTimeMs", v.animateMs) && ok;
    } else {
        const PanoramaGeometry& g = v.geometry;
        ok = doc.AddPano(i, 0, flatView) && ok;
        ok = doc.AddPanoText(i, "file", file0) && ok;
        ok = doc.AddPanoInt(i, "x0File", g.x0File) && ok;
        ok = doc.AddPanoInt(i, "y0File", g.y0File) && ok;
        ok = doc.AddPanoInt(i, "wdFile", v.w) && ok;
        ok = doc.AddPanoInt(i, "htFile", v.h) && ok;
        ok = doc.AddPanoInt(i, "pwidth", g.equatorWidth) && ok;
        ok = doc.AddPanoInt(i, "pheight", g.pheight) && ok;
        rois();
        ok = doc.AddPanoInt(i, "panmin", -g.panRange / 2) && ok;
        ok = doc.AddPanoInt(i, "panmax", g.panRange / 2) && ok;
        ok = doc.AddPanoFloat(i, "tiltmin", f(g.tiltmin)) && ok;
        ok = doc.AddPanoFloat(i, "tiltmax", f(g.tiltmax)) && ok;
        ok = doc.AddPanoInt(i, "pan", v.pan) && ok;
        ok = doc.AddPanoInt(i, "tilt", v.tilt) && ok;
        ok = doc.AddPanoFloat(i, "fov", f(v.fov)) && ok;
        ok = doc.AddPanoFloat(i, "fovmax", f(v.fovmax)) && ok;
        ok = doc.AddPanoFloat(i, "fovmin", f(v.fovmin)) && ok;
        ok = doc.AddPanoFloat(i, "auto", f(v.autoSpin)) && ok;
        if (vista.IsVerticalPano()) {
            ok = doc.AddPanoText(i, "isVPano", "true") && ok;
            ok = doc.AddPanoInt(i, "panVPanoTop", vista.IsVerticalFlipped() ? -180 : 180) && ok;
        }
    }
    const char* label = vista.GetLabelText();
    const bool hasLabel = label && *label;
    ok = doc.AddPanoText(i, "vistaLabel", hasLabel ? label : "") && ok;
    ok = doc.AddPanoText(i, "isShowVistaLabel0", TrueFalse(hasLabel && project.GetVistaLabelInViewer() != 0)) && ok;
    if (const char* legend = vista.GetLabelStyleText(); legend && *legend)
        ok = doc.AddPanoText(i, "vistaLegend", legend) && ok;
    return ok;
}

}  // namespace

bool WriteVistaGroups(const TourProject& project, const PublishSettings& settings, const Vista& vista, int index,
                      const VistaImageSet& set, bool last, int& appletCounter, std::string& groups,
                      std::string& firstFiles, std::string& otherFiles, std::string& hotSpotImages,
                      TourNorvik* document)
{
    const bool flash = IsFlashViewer(settings) && document;
    const VistaValues values = DecideVista(project, settings, vista, index, set);
    bool ok = true;
    if (flash) {
        ok = AddVistaElements(project, vista, index, values, *document);
    } else {
        WriteVistaText(project, vista, index, values, appletCounter, groups);
    }
    AddPreloadNames(values, IsFlashViewer(settings), last, firstFiles, otherFiles);

    HotSpotFrame frame;
    frame.vistaIndex = index;
    frame.imageWidth = values.w;
    frame.imageHeight = values.h;
    frame.publishFolder = settings.publishFolder.c_str();
    frame.tourBaseName = TourBaseName(settings.pageName);
    frame.flash = IsFlashViewer(settings);
    HotSpotDrops drops;
    if (flash) {
        ok = AddHotSpotEntries(project, vista, frame, *document, hotSpotImages, drops) && ok;
    } else {
        WriteHotSpotEntries(project, vista, frame, groups, hotSpotImages, drops);
        groups += "\"}\n";
    }
    ShowDroppedActionWarning(drops);
    return ok;
}

bool WriteVistaPrms(const TourProject& project, const PublishSettings& settings, std::string& groups,
                    std::string& firstFiles, std::string& otherFiles, TourNorvik* document)
{
    const TourImageSizes sizes =
        TourImageSizes::Compute(project.GetFieldOfView(), IsFlashViewer(settings), settings.pageWidth);
    std::string hotSpotImages;
    int appletCounter = 0;
    bool ok = true;
    const int count = project.GetVistaCount();
    for (int i = 0; i < count; ++i) {
        const Vista* vista = project.GetVista(i);
        const std::string published = PublishedDataPath(settings, vista->GetFileName());
        const bool picture = vista->IsPhotograph();
        VistaImageSet set;
        float fovH = 0.0f, fovV = 0.0f;
        project.GetViewerFov(vista, fovH, fovV);
        if (!MakeVistaImages(vista->GetFileName(), published.c_str(), fovH, fovV,
                             picture ? sizes.pictureWidthLimit : sizes.panoramaWidthLimit, sizes.pixelBudget,
                             settings.quality, vista, settings.spinSpeed >= 0, &set) ||
            set.GetFileCount() == 0) {
            Logger::log("ERROR WriteVistaPrms: no published images for vista %d (%s)", 1, i,
                        vista->GetFileName() ? vista->GetFileName() : "(null)");
            ok = false;
            continue;
        }
        ok = WriteVistaGroups(project, settings, *vista, i, set, i == count - 1, appletCounter, groups, firstFiles,
                              otherFiles, hotSpotImages, document) &&
             ok;
    }
    firstFiles += hotSpotImages;
    return ok;
}

bool WriteParamFile(const std::string& path, const std::string& text)
{
    struct Closer {
        void operator()(FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<FILE, Closer> file{std::fopen(win::ResolvePath(path).c_str(), "wb")};
    if (!file) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() && !std::ferror(file.get());
    return std::fclose(file.release()) == 0 && written;
}

bool SaveAppletPrmFile(const TourProject& project, const PublishSettings& settings)
{
    std::string text, groups, firstFiles, otherFiles;
    WriteViewerPrms(project, settings, text, nullptr);
    WriteVistaPrms(project, settings, groups, firstFiles, otherFiles, nullptr);
    const std::string content = text + firstFiles + otherFiles + groups;
    const std::string path = settings.publishFolder + "/" + settings.dataFolder + "/" + g_appletPrmFile;
    const bool written = WriteParamFile(path, content);
    if (!written) {
        Logger::log("ERROR SaveAppletPrmFile: cannot write %s", 1, path.c_str());
        AfxMessageBox("Cannot save tour prm file!\nPlease close if opened & try again\n", MB_OK);
    }
    return written;
}
