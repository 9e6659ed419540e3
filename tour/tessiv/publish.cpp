#include "tour/tessiv/publish.h"

#include "core/logger.h"
#include "platform/win/file_system.h"
#include "platform/win/wnd.h"
#include "tour/norvik/tour_norvik.h"
#include "tour/tessiv/file_utils.h"
#include "tour/tessiv/flash_params.h"
#include "tour/tessiv/hot_spot.h"
#include "tour/tessiv/page_params.h"
#include "tour/tessiv/param_text.h"
#include "tour/tessiv/tour_images.h"
#include "tour/tessiv/tour_map_settings.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/tour_sound.h"
#include "tour/tessiv/tourmap_params.h"
#include "tour/tessiv/vista.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>

namespace fs = std::filesystem;
using tessiv::Format;

namespace {

constexpr const char* kFlashPrmFile = "QuorvaneTour_flash_prms.dat";
constexpr size_t kTemplateLine = 355;

void ShowMessage(const std::string& text) { AfxMessageBox(text.c_str(), MB_OK); }

std::string Join(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

bool IsFolder(const std::string& path)
{
    std::error_code ec;
    return fs::is_directory(win::ResolvePath(path), ec);
}

// Lower-case copy: names in the data folder are compared without regard to
// case (a web server on a case-blind disk would serve one for both).
std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool EndsWithNoCase(const std::string& text, const char* suffix)
{
    const size_t n = std::strlen(suffix);
    return text.size() >= n && Lower(text.substr(text.size() - n)) == suffix;
}

PublishSettings g_settings;
TourNorvik* g_flashTree = nullptr;

}  // namespace

PublishSettings& GetPublishSettings() { return g_settings; }

bool NewFlashTree()
{
    g_flashTree = TourNorvik::DeleteTourNorvik(g_flashTree);
    g_flashTree = TourNorvik::CreateTourNorvik();
    if (!g_flashTree) Logger::log("ERROR NewFlashTree: the tour XML tree could not be made", 1);
    return g_flashTree != nullptr;
}

void DeleteFlashTree() { g_flashTree = TourNorvik::DeleteTourNorvik(g_flashTree); }

TourNorvik* GetFlashTree() { return g_flashTree; }

ViewerFiles FlashViewerFiles()
{
    return {"StitcherStarterPage_Flash_", "StitcherFlashStarter.htm", "StitcherFlashWrapper.htm", "QuorvaneTour.swf"};
}

ViewerFiles JavaViewerFiles()
{
    return {"StitcherStarterPage_Java_", "StitcherTemplateStarterPage_0.htm", "StitcherTemplate_0.htm",
            "QuorvaneTour.jar"};
}

void SetViewerFiles(PublishSettings& settings, bool flashViewer)
{
    const ViewerFiles files = flashViewer ? FlashViewerFiles() : JavaViewerFiles();
    settings.flashViewer = flashViewer;
    settings.templateFolder = "WebLinksTm";
    settings.starterPrefix = files.starterPrefix;
    settings.starterTemplate = files.starterTemplate;
    settings.tourTemplate = files.tourTemplate;
    settings.viewerRuntime = files.viewerRuntime;
}

std::string TemplateRoot(const PublishSettings& settings)
{
    return settings.programFolder + "\\" + settings.templateFolder + "\\";
}

std::string DataFolderName(const std::string& pageName, bool flashViewer)
{
    const size_t dot = pageName.find('.');
    if (dot != std::string::npos && dot >= 1) return "data_" + pageName.substr(0, dot);
    return flashViewer ? "data_F" : "data_J";
}

void MakeDataFolderName(PublishSettings& settings)
{
    settings.dataFolder = DataFolderName(settings.pageName, settings.flashViewer);
}

std::string PublishedDataUrl(const PublishSettings& settings, const char* source)
{
    return "./" + settings.dataFolder + "/" + PublishedDataName(settings, source);
}

bool IsSafePageName(const std::string& pageName)
{
    return !pageName.empty() && pageName.find_first_of("\\/:") == std::string::npos &&
           pageName.find("..") == std::string::npos;
}

void ChooseDataNames(PublishSettings& settings)
{
    settings.dataNames.clear();
    std::set<std::string> taken;  // lower-case names given out
    // Reserved: what the publisher writes there under fixed names.
    taken.insert(Lower(kFlashPrmFile));
    taken.insert(Lower(g_appletPrmFile));
    taken.insert("quorvanetourmap_prms");

    // `finalName` maps a published name to the file that ends up in the
    // folder (a Flash WAV sound becomes an MP3).
    auto choose = [&](const char* source, bool sound) {
        if (!source || !*source || settings.dataNames.count(source)) return;
        auto final = [&](const std::string& name) {
            if (sound && settings.flashViewer && EndsWithNoCase(name, ".wav"))
                return Lower(name.substr(0, name.size() - 3) + "mp3");
            return Lower(name);
        };
        std::string name = FileNamePart(source);
        std::replace(name.begin(), name.end(), ' ', '_');
        const size_t dot = name.rfind('.');
        const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
        const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
        std::string chosen = name;
        for (int n = 2; taken.count(final(chosen)); ++n) chosen = stem + "_" + std::to_string(n) + ext;
        taken.insert(final(chosen));
        settings.dataNames[source] = chosen;
    };

    const TourProject* project = settings.project;
    if (!project) return;
    for (int i = 0; i < project->GetVistaCount(); ++i) choose(project->GetVista(i)->GetFileName(), false);
    const TourMapSettings& tourMap = project->GetTourMap();
    for (int j = 0; j < tourMap.GetMapCount(); ++j) {
        const TourMap* map = tourMap.GetMap(j);
        if (map && map->IsValid()) choose(map->GetImageFile(), false);
    }
    for (int s = 0; s < project->GetSoundCount(); ++s) choose(project->GetSound(s)->path.c_str(), true);
}

// ---- Steps ------------------------------------------------------------------------------------------

bool EmptyMediaFolder(const PublishSettings& settings)
{
    return ClearFolder(Join(settings.publishFolder, MediaFolderName(settings.skin)).c_str(), true);
}

bool RemoveDataFolder(const PublishSettings& settings)
{
    const std::string path = Join(settings.publishFolder, settings.dataFolder);
    if (ClearFolder(path.c_str(), false) || !IsFolder(path)) return true;
    ShowMessage(Format("Can not remove folder:\n%s", path.c_str()));
    return false;
}

bool CreateTourFolders(const PublishSettings& settings)
{
    std::vector<std::string> folders = {settings.publishFolder, Join(settings.publishFolder, settings.dataFolder)};
    if (!settings.flashViewer) folders.push_back(Join(settings.publishFolder, MediaFolderName(settings.skin)));
    for (const std::string& folder : folders) {
        std::error_code ec;
        fs::create_directories(win::ResolvePath(folder), ec);
        if (!IsFolder(folder)) {
            // A folder that cannot be made ends the publish here,
            // since nothing could be written into it.
            ShowMessage("Cannot create folder:\n" + folder);
            return false;
        }
    }
    return true;
}

bool ProcessTemplate(FILE* input, FILE* output, std::vector<TemplateBlock>& blocks)
{
    std::vector<bool> used(blocks.size(), false);
    const TemplateBlock* open = nullptr;  // the block whose end is awaited
    char line[kTemplateLine + 1];
    auto begins = [&](const std::string& marker, size_t compare) {
        const size_t n = std::min(compare, marker.size());
        return std::strncmp(line, marker.c_str(), n) == 0;
    };
    while (std::fgets(line, sizeof line, input)) {
        if (open) {
            if (begins(open->end, open->endCompare)) open = nullptr;
            continue;
        }
        bool replaced = false;
        for (size_t b = 0; b < blocks.size() && !replaced; ++b) {
            // "#tour_params_end" begins with "#tour_params": an end line is
            // never taken for a start.
            if (used[b] || line[0] != '#' || !begins(blocks[b].start, blocks[b].startCompare) ||
                begins(blocks[b].end, blocks[b].endCompare))
                continue;
            used[b] = true;
            replaced = true;
            if (blocks[b].write && !blocks[b].write(output)) return false;
            open = &blocks[b];
        }
        if (replaced) continue;
        bool endLine = false;
        for (const TemplateBlock& block : blocks) endLine = endLine || begins(block.end, block.endCompare);
        if (!endLine) std::fputs(line, output);
    }
    return true;
}

std::string StarterParams(const PublishSettings& settings)
{
    std::string text;
    text += Format("var g_tourPageName = \"%s\";\n", JsText(settings.pageName).c_str());
    text += Format("var g_tourPageWd = %d;\n", settings.tourPageWidth + 6);
    text += Format("var g_tourPageHt = %d;\n", settings.tourPageHeight + 6);
    text += Format("var g_tourFileFolderName = \"%s\";\n", JsText(settings.dataFolder).c_str());
    if (!settings.flashViewer)
        text += Format("var g_mediaFolderName = \"%s\";\n", MediaFolderName(settings.skin).c_str());
    return text;
}

namespace {

// Copies `templatePath` to `outputPath` with `blocks`; the messages name the
// page. False when a file could not be opened or a block failed.
bool WritePage(const std::string& templatePath, const std::string& outputPath, std::vector<TemplateBlock>& blocks,
               const char* templateMessage, const char* outputMessage)
{
    FILE* input = win::OpenFile(templatePath, "r");
    if (!input) {
        ShowMessage(templateMessage);
        return false;
    }
    FILE* output = win::OpenFile(outputPath, "w");
    if (!output) {
        std::fclose(input);
        ShowMessage(outputMessage);
        return false;
    }
    bool ok = ProcessTemplate(input, output, blocks);
    std::fclose(input);
    ok = !std::ferror(output) && ok;
    if (std::fclose(output) != 0 || !ok) {
        if (ok) ShowMessage(outputMessage);
        Logger::log("ERROR WritePage: %s was not written completely", 1, outputPath.c_str());
        return false;
    }
    return true;
}

bool PutText(FILE* output, const std::string& text)
{
    return std::fwrite(text.data(), 1, text.size(), output) == text.size();
}

}  // namespace

bool WriteStarterPage(const PublishSettings& settings)
{
    std::vector<TemplateBlock> blocks = {
        {"#starter_params", 15, "#starter_params_end", 19,
         [&](FILE* out) { return PutText(out, StarterParams(settings)); }}};
    return WritePage(TemplateRoot(settings) + settings.starterTemplate,
                     Join(settings.publishFolder, settings.starterPrefix + settings.pageName), blocks,
                     "Cannot open starter page template file!", "Cannot create starter page file!");
}

bool WriteTourPage(PublishSettings& settings, TourNorvik* tree)
{
    if (!settings.project) return false;
    // The page parameters also give the page size the starter page opens.
    std::string params;
    TourPageSize size;
    const bool paramsOk = WriteTourPageParams(*settings.project, settings, params, size, tree);
    settings.tourPageWidth = size.width;
    settings.tourPageHeight = size.height;
    if (!paramsOk) Logger::log("ERROR WriteTourPage: the tour document refused a page value", 1);

    std::vector<TemplateBlock> blocks;
    if (settings.flashViewer) {
        const std::string head =
            Format("var g_QuorvaneTourPrmFile = \"./%s/%s", settings.dataFolder.c_str(), kFlashPrmFile) + "\";\n";
        blocks.push_back({"#tour_params", 12, "#tour_params_end", 16,
                          [head, &params](FILE* out) { return PutText(out, head) && PutText(out, params); }});
    } else {
        blocks.push_back(
            {"#tour_params", 12, "#tour_params_end", 16, [&params](FILE* out) { return PutText(out, params); }});
        const std::string style = SkinStyleFile(settings.programFolder.c_str(), settings.templateFolder.c_str(),
                                                settings.skin);
        const std::string media = MediaFolderName(settings.skin);
        blocks.push_back({"#page_style_params", 17, "#page_style_params_end", 21, [style, media](FILE* out) {
                              if (!CopyTextFile(style.c_str(), out)) return false;
                              return PutText(out, "</script>\n<script type=\"text/javascript\" src=\"./" + media +
                                                      "/QuorvaneTour.js\"></script>\n<script  type=\"text/"
                                                      "javascript\">\n");
                          }});
    }
    return WritePage(TemplateRoot(settings) + settings.tourTemplate, Join(settings.publishFolder, settings.pageName),
                     blocks, "Cannot open tour page template file!", "Cannot create tour page file!");
}

bool CopyViewerRuntime(const PublishSettings& settings)
{
    const std::string root = TemplateRoot(settings);
    for (const std::string& name : {settings.viewerRuntime, std::string("ExpressInstall.swf"),
                                    std::string("QuorvaneTour_Flash.js")}) {
        const std::string source = root + name;
        if (!CopyFile(source.c_str(), Join(settings.publishFolder, name).c_str(), FALSE)) {
            ShowMessage("Cannot copy file:\n" + source);
            return false;
        }
    }
    return true;
}

namespace {

bool CopyMediaFolder(const std::string& source, const PublishSettings& settings)
{
    // CopyFolder reports a source it cannot read itself; a missing one is
    // reported here, once.
    if (!IsFolder(source)) {
        ShowMessage("Cannot copy folder:\n" + source);
        return false;
    }
    return CopyFolder(source.c_str(), Join(settings.publishFolder, MediaFolderName(settings.skin)).c_str());
}

}  // namespace

bool CopyCommonMedia(const PublishSettings& settings)
{
    return CopyMediaFolder(TemplateRoot(settings) + "QuorvaneTour_media\\common", settings);
}

bool CopySkinMedia(const PublishSettings& settings)
{
    return CopyMediaFolder(
        SkinMediaFolder(settings.programFolder.c_str(), settings.templateFolder.c_str(), settings.skin), settings);
}

bool WriteFlashParamFile(const PublishSettings& settings, TourNorvik* tree)
{
    const std::string path = Join(Join(settings.publishFolder, settings.dataFolder), kFlashPrmFile);
    char* text = tree ? tree->GetXmlText(path.c_str()) : nullptr;
    bool written = false;
    if (text) {
        written = WriteParamFile(path, text);
        tree->FreeXmlText(text);
    }
    if (!written) ShowMessage("Cannot save tour prm file!\nPlease close it if opened & try again\n");
    return written;
}

int SoundBitRate(int quality) { return quality == 0 ? 128 : quality == 1 ? 80 : 40; }

float FitHotSpotZoom(float zoom, int width, int height, int boxWidth, int boxHeight)
{
    if (zoom <= 0.0f || width <= 0 || height <= 0) return zoom;
    const double f = std::min(static_cast<double>(boxWidth) / (width * static_cast<double>(zoom)),
                              static_cast<double>(boxHeight) / (height * static_cast<double>(zoom)));
    return f < 1.0 ? static_cast<float>(zoom * f) : zoom;
}

namespace {

// The vista's shown thumbnail as "<name up to its first dot>_thumb.jpg":
// the file the tour page announces for its strip.
bool WriteVistaThumbnail(const PublishSettings& settings, Vista& vista)
{
    const RefPtr<Image> thumbnail = RefPtr<Image>::adopt(vista.GetShownThumbnail());
    if (!thumbnail) return true;
    std::string name = PublishedDataName(settings, vista.GetFileName());
    const size_t cut = name.find('.');
    if (cut != std::string::npos) name.resize(cut);
    const std::string path = Join(Join(settings.publishFolder, settings.dataFolder), name + "_thumb.jpg");
    if (SaveTourImage(thumbnail.get(), path.c_str(), nullptr, settings.quality) != 0) {
        ShowMessage("Cannot save image:\n" + path);
        return false;
    }
    return true;
}

bool WriteHotSpotImages(const PublishSettings& settings, const Vista& vista)
{
    const TourProject& project = *settings.project;
    const RECT box = project.GetLayoutBox(settings.flashViewer ? kPageBox : kViewerBox);
    for (bool group : {true, false}) {
        for (const HotSpot* spot = vista.FindNextHotSpot(nullptr, group); spot;
             spot = vista.FindNextHotSpot(spot, group)) {
            Image* picture = spot->GetImage();
            if (!spot->ShowsImage() || !picture) continue;
            int x = 0, y = 0, width = 0, height = 0;
            spot->GetCrop(x, y, width, height);
            if (width <= 0 || height <= 0) {
                x = y = 0;
                width = picture->GetWidth();
                height = picture->GetHeight();
            }
            // The hot spot's float value is its zoom; an unset one shows the
            // picture at its size.
            float zoom = spot->GetFloatValue() > 0.0f ? spot->GetFloatValue() : 1.0f;
            zoom = FitHotSpotZoom(zoom, width, height, box.right, box.bottom);
            const std::string path = Join(Join(settings.publishFolder, settings.dataFolder),
                                          Format("HspImg-%05d.jpg", spot->GetId()));
            // Region form (origin, width, height), as the image library
            // defines its zoom.
            Image* zoomed = picture->ZoomImage(x, y, width, height, zoom, zoom);
            const int saved = zoomed ? SaveTourImage(zoomed, path.c_str(), nullptr, settings.quality) : -1;
            if (zoomed) ReleaseImage(zoomed);
            if (saved != 0) {
                ShowMessage("Cannot save image:\n" + path);
                return false;
            }
        }
    }
    return true;
}

}  // namespace

bool PublishMedia(const PublishSettings& settings)
{
    if (!settings.project) return false;
    TourProject& project = *settings.project;
    const TourImageSizes sizes = TourImageSizes::Compute(settings.fieldOfView, settings.flashViewer,
                                                         settings.pageWidth);
    for (int i = 0; i < project.GetVistaCount(); ++i) {
        Vista* vista = project.GetVista(i);
        const std::string published = PublishedDataPath(settings, vista->GetFileName());
        float fovH = 0.0f, fovV = 0.0f;
        project.GetViewerFov(vista, fovH, fovV);
        if (!MakeVistaImages(vista->GetFileName(), published.c_str(), fovH, fovV,
                             vista->IsPhotograph() ? sizes.pictureWidthLimit : sizes.panoramaWidthLimit,
                             sizes.pixelBudget, settings.quality, vista, settings.spinSpeed >= 0, nullptr)) {
            ShowMessage(std::string("Cannot publish the images of:\n") +
                        (vista->GetFileName() ? vista->GetFileName() : ""));
            return false;
        }
        if (!WriteVistaThumbnail(settings, *vista) || !WriteHotSpotImages(settings, *vista)) return false;
    }

    // The map pictures of the tour map.
    const TourMapSettings& tourMap = project.GetTourMap();
    for (int j = 0; j < tourMap.GetMapCount(); ++j) {
        const TourMap* map = tourMap.GetMap(j);
        if (!map || !map->IsValid() || !map->GetImageFile()) continue;
        const std::string destination = PublishedDataPath(settings, map->GetImageFile());
        if (!CopyFile(map->GetImageFile(), destination.c_str(), FALSE)) {
            ShowMessage(std::string("Cannot copy file:\nfrom:  ") + map->GetImageFile() + "\nto:  " + destination);
            return false;
        }
    }

    for (int s = 0; s < project.GetSoundCount(); ++s) {
        const TourSound* sound = project.GetSound(s);
        if (!sound || sound->path.empty()) continue;
        const std::string destination = PublishedDataPath(settings, sound->path.c_str());
        if (!PublishSound(sound->path.c_str(), destination.c_str(), settings.flashViewer,
                          SoundBitRate(settings.quality))) {
            ShowMessage("Cannot copy file:\n" + sound->path + "\nPlease reload in Sound tab page and publish again.");
            return false;
        }
    }
    return true;
}

bool RunPublish(PublishSettings& settings, const std::function<void(int)>& progress)
{
    auto report = [&](int position) {
        if (progress) progress(position);
    };
    if (settings.publishFolder.empty() || settings.pageName.empty() || !settings.project) return false;
    if (!IsSafePageName(settings.pageName)) {
        Logger::log("ERROR RunPublish: refused tour page name \"%s\" (a folder or \"..\" in it)", 1,
                    settings.pageName.c_str());
        ShowMessage("The tour page name may not hold a folder:\n" + settings.pageName);
        return false;
    }
    if (settings.flashViewer && !NewFlashTree()) {
        ShowMessage("Allocation error.");
        return false;
    }
    MakeDataFolderName(settings);
    ChooseDataNames(settings);
    TourNorvik* tree = settings.flashViewer ? GetFlashTree() : nullptr;

    EmptyMediaFolder(settings);
    report(10);
    RemoveDataFolder(settings);  // reported; the publish goes on
    report(20);

    bool ok = CreateTourFolders(settings);
    if (settings.flashViewer) {
        if (ok) {
            report(30);
            bool filled = FillFlashViewerPrms(*settings.project, settings, *tree);
            filled = AddTourMapPrms(*settings.project, *tree, &settings) && filled;
            if (!filled) Logger::log("ERROR RunPublish: the tour document refused a viewer value", 1);
            ok = WriteTourPage(settings, tree) && WriteStarterPage(settings);
        }
        if (ok) report(50);
        ok = ok && PublishMedia(settings);
        if (ok) report(70);
        ok = ok && CopyViewerRuntime(settings);
        if (ok) report(80);
        ok = ok && WriteFlashParamFile(settings, tree);
        if (ok) report(90);
        DeleteFlashTree();
    } else {
        if (ok) report(30);
        ok = ok && PublishMedia(settings);
        if (ok) report(40);
        ok = ok && CopyViewerRuntime(settings);
        if (ok) report(50);
        ok = ok && CopyCommonMedia(settings);
        if (ok) report(60);
        ok = ok && CopySkinMedia(settings);
        if (ok) report(70);
        if (ok) {
            // The parameter files show their own messages.
            ok = SaveAppletPrmFile(*settings.project, settings) &&
                 SaveTourMapPrmFile(*settings.project, settings) && WriteTourPage(settings, nullptr);
        }
        if (ok) report(80);
        ok = ok && WriteStarterPage(settings);
        if (ok) report(90);
    }
    report(100);
    return ok;
}
