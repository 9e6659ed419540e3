#include "tour/tessiv/viewer_params.h"

#include "core/logger.h"
#include "platform/win/file_system.h"
#include "platform/win/wnd.h"
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

std::string g_appletPrmFile;

namespace {

using tessiv::Format;
using tessiv::TrueFalse;

constexpr const char* kAppletPrmFileName = "QuorvaneTour_applet_prms";
constexpr double kFlatPictureAngle = 2.4;  // kind 4: a picture shown nearly unzoomed

// The font groups of a style; a style without a face gives "MS Serif" at
// `plainSize` in plain style.
void WriteFontGroups(const TextStyle& style, const char* prefix, int plainSize, std::string& text)
{
    const bool hasFace = style.GetFaceName() != nullptr;
    const int styleBits = hasFace ? style.GetStyle() : 0;
    text += Format("{%sFontName=%s}\n", prefix, BraceText(hasFace ? style.GetFaceName() : "MS Serif").c_str());
    text += Format("{%sFontBold=%s}\n", prefix, TrueFalse(styleBits & TextStyle::kBold));
    text += Format("{%sFontItalic=%s}\n", prefix, TrueFalse(styleBits & TextStyle::kItalic));
    text += Format("{%sFontSize=%d}\n", prefix, (hasFace ? style.GetSize() : plainSize) / 20);
    text += Format("{%sTextColor=%s}\n", prefix, ViewerColorHex(style.GetTextColor()).c_str());
    text += Format("{%sBgColor=%s}\n", prefix, ViewerColorHex(style.GetBgColor()).c_str());
    text += Format("{%sBgTransparency=%d}\n", prefix, style.GetOpacity());
}

// Appends the names of files [from, count) separated by ", ".
void AppendNames(const std::vector<std::string>& names, size_t from, std::string& list)
{
    for (size_t k = from; k < names.size(); ++k) {
        if (k > from) list += ", ";
        list += names[k];
    }
}

// The published data path of a source file: the publish folder, the data
// folder and the source's file name with blanks made "_".
std::string PublishedDataPath(const PublishSettings& settings, const char* source)
{
    std::string name = FileNamePart(source ? source : "");
    std::replace(name.begin(), name.end(), ' ', '_');
    return settings.publishFolder + "/" + settings.dataFolder + "/" + name;
}

}  // namespace

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

bool WriteViewerPrms(const TourProject& project, const PublishSettings& settings, std::string& text)
{
    const int W = settings.pageWidth, H = settings.pageHeight;
    text += Format("{numVista=%d}\n", project.GetVistaCount());
    text += "{file=QuorvaneTour:0}\n{wait=deng.classs}\n{waittime=1000}\n";
    const int d = (H - 187) / 2;
    text += Format("{bar_x=%d}\n", (W - 250) / 2);
    text += Format("{bar_y=%d}\n", d > 10 ? (H - d) + (d - 10) / 2 : H - 12);
    text += "{bar_width=250}\n{bar_height=10}\n{barcolor=900032}\n{bgcolor=ffffff}\n{cursor=CROSSHAIR}\n"
            "{quality=1}\n{mapStep=5}\n{vistaZoom=2}\n{vistaTransitionMs=1300}\n";
    if (project.GetVistaLabelInViewer() > 0) {
        WriteFontGroups(project.GetViewerLabelStyle(), "vistaLabel", 200, text);
        text += Format("{vistaLabelDurationMs=%d}\n", project.GetViewerLabelValue() * 1000);
    }
    WriteFontGroups(TourLibrary().vistaLabelStyle, "vistaLegend", 160, text);
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

void WriteVistaGroups(const TourProject& project, const PublishSettings& settings, const Vista& vista, int index,
                      const VistaImageSet& set, bool last, int& appletCounter, std::string& groups,
                      std::string& firstFiles, std::string& otherFiles, std::string& hotSpotImages)
{
    const bool flash = IsFlashViewer(settings);
    const int n = set.GetFileCount();
    std::vector<std::string> names;  // as the page refers to them
    for (int k = 0; k < n; ++k)
        names.push_back(ViewerFileName(PageFileReference(settings, set.files.GetName(k)), flash));
    std::vector<std::string> braceNames;
    for (int k = 0; k < n; ++k) braceNames.push_back(BraceText(PageFileReference(settings, set.files.GetName(k))));
    const std::string file0 = n > 0 ? braceNames[0] : std::string();
    const int w = set.width, h = set.height;
    float fovH = 0.0f, fovV = 0.0f;
    project.GetViewerFov(&vista, fovH, fovV);

    bool flat = set.kind == 1 || set.kind == 4;
    if (!flat && !IsUsablePanorama(set)) {
        Logger::log("ERROR WriteVistaPrms: vista %d has an unusable map (equator width %d, column %d, row %d); "
                    "written as a flat picture",
                    1, index, set.equatorWidth, set.column, set.row);
        flat = true;
    }
    auto roiGroups = [&] {
        for (int k = 1; k < n; ++k) {
            const TileRect& r = set.files.GetRect(k);
            groups += Format("{roi%d=i'%s' x%d y%d}\n", k - 1, braceNames[k].c_str(), r.x, r.y);
        }
    };

    if (flat) {
        const double hfov = set.kind == 4 ? kFlatPictureAngle : static_cast<double>(fovH);
        groups += Format("{applet%d=\"\n{code=PhotoEx.class}\n", appletCounter);
        groups += Format("{vwidth=%d}\n{vheight=%d}\n", w, h);
        groups += Format("{file=%s}\n", file0.c_str());
        roiGroups();
        if (n > 0) firstFiles += names[0] + ",";
        AppendNames(names, 1, otherFiles);
        groups += "{pan=0}\n{tilt=0}\n{rot=0}\n";
        groups += Format("{fov=%.1f}\n\"}\n", hfov);
        groups += Format("{pano%d=\"\n", index);
        groups += Format("{inits=QuorvaneTour:startApplet(%d)}\n", appletCounter++);
        groups += Format("{vistaType=%d}\n", set.kind == 4 ? 2 : 1);
        groups += "{pwidth=1000}\n{pheight=500}\n";
        groups += Format("{panmin=%.1f}\n{panmax=%.1f}\n", -hfov / 2, hfov / 2);
        const double t = w > 0 ? std::atan(std::tan(hfov * 0.0174533 / 2) * h / w) * 57.29578 : 0.0;
        groups += Format("{tiltmin=%.1f}\n{tiltmax=%.1f}\n", -t, t);
        groups += Format("{pan=%.1f}\n{tilt=%.1f}\n", hfov / 10, hfov / 15);
        groups += Format("{fov=%.1f}\n", hfov / 3);
        groups += Format("{fovmax=%.1f}\n{fovmin=%.1f}\n", hfov, hfov / 3);
        groups += Format("{animateTimeMs=%d}\n", project.GetPhotoSlideMovieTime(set.kind == 4 ? 1 : 0) * 1000);
        if (last) {
            if (!flash) otherFiles += "}\n";
        } else if (n > 1) {
            otherFiles += ",";
        }
    } else {
        const PanoramaGeometry g = ComputePanoramaGeometry(w, h, set.equatorWidth, set.column, set.row);
        const int P = g.equatorWidth, X = set.column, Y = set.row;
        groups += Format("{pano%d=\"\n", index);
        groups += Format("{file=%s}\n", file0.c_str());
        groups += Format("{x0File=%d}\n{y0File=%d}\n", g.x0File, g.y0File);
        groups += Format("{wdFile=%d}\n{htFile=%d}\n", w, h);
        groups += Format("{pwidth=%d}\n{pheight=%d}\n", P, g.pheight);
        roiGroups();
        for (int k = 0; k < std::min(n, 2); ++k) firstFiles += names[k] + ", ";
        AppendNames(names, 2, otherFiles);
        groups += Format("{panmin=%d}\n{panmax=%d}\n", -g.panRange / 2, g.panRange / 2);
        groups += Format("{tiltmin=%.2f}\n{tiltmax=%.2f}\n", g.tiltmin, g.tiltmax);
        const int px = static_cast<int>(std::trunc((vista.GetInitialViewH() + 1.0) * 0.5 * w));
        const int py = static_cast<int>(std::trunc((vista.GetInitialViewV() + 1.0) * 0.5 * h));
        const int pan = static_cast<int>(static_cast<int64_t>((px + X) - P / 2) * 360 / P);
        const int tilt = static_cast<int>(static_cast<int64_t>((py + Y) - P / 4) * 360 / P);
        groups += Format("{pan=%d}\n{tilt=%d}\n", pan, -tilt);
        double fov = std::trunc(static_cast<double>(fovH) * 10) * 0.1;
        if (vista.IsVerticalPano() && g.tiltmax - g.tiltmin < fov) fov = g.tiltmax - g.tiltmin;
        groups += Format("{fov=%.1f}\n", fov);
        const int rounded = static_cast<int>(std::trunc(static_cast<double>(fovH) + 0.5));
        const double fovmax = g.panRange < 120 ? g.panRange : 120.0;
        const double fovmin = rounded < 10 ? rounded / 2 : 10.0;
        groups += Format("{fovmax=%.1f}\n{fovmin=%.1f}\n", fovmax, fovmin);
        groups += Format("{auto=%f}\n", settings.spinSpeed * 3.14159 / 180.0);
        if (vista.IsVerticalPano())
            groups += Format("{isVPano=true}\n{panVPanoTop=%d}\n", vista.IsVerticalFlipped() ? -180 : 180);
        if (last) {
            if (!flash) otherFiles += "}\n";
        } else {
            otherFiles += ",";
        }
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

    HotSpotFrame frame;
    frame.vistaIndex = index;
    frame.imageWidth = w;
    frame.imageHeight = h;
    frame.publishFolder = settings.publishFolder.c_str();
    frame.tourBaseName = TourBaseName(settings.pageName);
    frame.flash = flash;
    HotSpotDrops drops;
    WriteHotSpotEntries(project, vista, frame, groups, hotSpotImages, drops);
    groups += "\"}\n";
    ShowDroppedActionWarning(drops);
}

bool WriteVistaPrms(const TourProject& project, const PublishSettings& settings, std::string& groups,
                    std::string& firstFiles, std::string& otherFiles)
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
        WriteVistaGroups(project, settings, *vista, i, set, i == count - 1, appletCounter, groups, firstFiles,
                         otherFiles, hotSpotImages);
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
    WriteViewerPrms(project, settings, text);
    WriteVistaPrms(project, settings, groups, firstFiles, otherFiles);
    const std::string content = text + firstFiles + otherFiles + groups;
    const std::string path = settings.publishFolder + "/" + settings.dataFolder + "/" + kAppletPrmFileName;
    g_appletPrmFile = settings.dataFolder + "/" + kAppletPrmFileName;
    const bool written = WriteParamFile(path, content);
    if (!written) {
        Logger::log("ERROR SaveAppletPrmFile: cannot write %s", 1, path.c_str());
        AfxMessageBox("Cannot save tour prm file!\nPlease close if opened & try again\n", MB_OK);
    }
    return written;
}
