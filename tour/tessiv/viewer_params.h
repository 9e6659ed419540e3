// The applet viewer's parameter file "QuorvaneTour_applet_prms": the
// tour-level groups (control bar, wait screen, label and legend styles,
// edge pan areas), the preload list, then for every vista its applet group
// (flat vistas) and panorama group with its images, view limits, label,
// legend and hot spots. The text is a brace syntax the applet reads by key
// and by group, so free text never carries a "}" or a line feed into it.
#pragma once

#include "tour/tessiv/tour_images.h"

#include <map>
#include <string>

class TourNorvik;
class TourProject;
class Vista;

// What one publish hands the parameter writers.
struct PublishSettings {
    std::string pageName;       // the tour page's file name, with its extension
    std::string publishFolder;  // without a trailing separator
    std::string dataFolder;     // the data folder's name inside the publish folder
    int pageWidth = 640;        // the viewer's width and height
    int pageHeight = 480;
    int spinSpeed = 0;  // degrees per second, signed by direction
    int quality = 1;
    bool flashViewer = false;
    int edgePan = 1;  // the edge pan areas are written when exactly 1

    // Filled by the publisher (publish.h) from the dialog and the project.
    std::string tourTitle;
    std::string dialogText;        // the dialog's second text; kept, read by no step
    int fieldOfView = 60;          // degrees of the initial view
    int skin = 0;                  // index of SkinName; every publish uses 0
    std::string programFolder;     // holds the template folder
    TourProject* project = nullptr;
    int thumbnailWidth = 48;
    bool backgroundSound = false;
    std::string templateFolder = "WebLinksTm";
    std::string starterTemplate;
    std::string starterPrefix;
    std::string tourTemplate;
    std::string viewerRuntime;
    // The tour page's content size, set while its parameters are written.
    int tourPageWidth = 0;
    int tourPageHeight = 0;
    // Published names of data files that would collide inside the data
    // folder (two sounds "a b.wav" from different folders): source path ->
    // name. Every writer names a data file through PublishedDataName.
    std::map<std::string, std::string> dataNames;
};

// The name of a data file inside the data folder: the one the publisher
// chose for it, else its file name part with every blank made "_".
std::string PublishedDataName(const PublishSettings& settings, const char* source);
// Publish folder + "/" + data folder + "/" + PublishedDataName.
std::string PublishedDataPath(const PublishSettings& settings, const char* source);

// The applet parameter file's name in the data folder, as the tour page's
// script names it to the applet.
extern const char* const g_appletPrmFile;

bool IsFlashViewer(const PublishSettings& settings);

// The tour page name up to its first "." when that "." follows the first
// character; "URL" otherwise.
std::string TourBaseName(const std::string& pageName);

// A published file as pages and parameter files refer to it:
// "./" + data folder + "/" + its file name.
std::string PageFileReference(const PublishSettings& settings, const std::string& publishedPath);

// Where a panorama's published picture lies in its view: the values of the
// panorama group.
struct PanoramaGeometry {
    int equatorWidth = 0;  // P after the near-full rule
    int panRange = 0;      // degrees
    int x0File = 0;
    int y0File = 0;
    int pheight = 0;
    double tiltmin = 0.0;
    double tiltmax = 0.0;
};
// From the published picture's width and height and its place (column,
// row) in a map of equator width P.
PanoramaGeometry ComputePanoramaGeometry(int width, int height, int equatorWidth, int column, int row);

// Whether the published set can be written as a panorama: its equator width
// is at least 4 and its column and row lie inside the map.
bool IsUsablePanorama(const VistaImageSet& set);

// The writers below serve both viewers: under Flash, with a `document`,
// every value becomes a call on the tour document instead of a group (the
// preload strings are filled in both forms). False when the document
// refused a call.

// Appends the tour-level groups, ending with the opening "{preload=".
bool WriteViewerPrms(const TourProject& project, const PublishSettings& settings, std::string& text,
                     TourNorvik* document);

// Appends the groups of vista `index` made from its published files `set`
// to `groups`, its preload names to `firstFiles` and `otherFiles`, its
// hot-spot image names to `hotSpotImages`. `last` closes the preload group.
bool WriteVistaGroups(const TourProject& project, const PublishSettings& settings, const Vista& vista, int index,
                      const VistaImageSet& set, bool last, int& appletCounter, std::string& groups,
                      std::string& firstFiles, std::string& otherFiles, std::string& hotSpotImages,
                      TourNorvik* document);

// Every vista in tour order: its published sizes and files by
// MakeVistaImages in size-only mode, then its groups; the cross-drive link
// warning of a vista is shown after its groups. A vista whose images cannot
// be made is left out with an ERROR line. The hot-spot image names end the
// first-files list.
bool WriteVistaPrms(const TourProject& project, const PublishSettings& settings, std::string& groups,
                    std::string& firstFiles, std::string& otherFiles, TourNorvik* document);

// Writes `text` as the whole file at `path`; false when it could not be
// written completely.
bool WriteParamFile(const std::string& path, const std::string& text);

// Builds the whole file and writes it into the data folder. On failure shows
// "Cannot save tour prm file!\nPlease close if opened & try again\n" and
// returns false.
bool SaveAppletPrmFile(const TourProject& project, const PublishSettings& settings);
