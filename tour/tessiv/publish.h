// The tour publisher: writes a tour into a folder that a web server can
// serve unchanged. A tour page and a starter page come from the HTML
// templates of the program folder's "WebLinksTm" folder, the viewer's
// runtime files are copied beside them, and a data folder receives the vista
// images, hot-spot images, map images, sounds and the viewer's parameter
// file (the tour XML text for the Flash viewer, the applet and tour-map
// parameter files for the Java viewer). The Java viewer also gets a media
// folder with the common and the skin media.
//
// Paths are Windows paths as the dialog holds them ("c:\\tours", "/tmp/x");
// the platform layer converts them. Every step works with absolute paths:
// the process's current folder is never changed.
#pragma once

#include "tour/tessiv/viewer_params.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class TourNorvik;
class TourProject;

// The one record of the library; every publish overwrites it.
PublishSettings& GetPublishSettings();

// The tour XML tree of a Flash publish. NewFlashTree deletes a previous tree
// and makes a fresh one (false when none could be made); DeleteFlashTree
// deletes it. Null outside a Flash publish.
bool NewFlashTree();
void DeleteFlashTree();
TourNorvik* GetFlashTree();

// The names of the viewer kinds' files.
struct ViewerFiles {
    const char* starterPrefix;
    const char* starterTemplate;
    const char* tourTemplate;
    const char* viewerRuntime;
};
ViewerFiles FlashViewerFiles();  // "StitcherStarterPage_Flash_", "StitcherFlashStarter.htm", ...
ViewerFiles JavaViewerFiles();   // "StitcherStarterPage_Java_", "StitcherTemplateStarterPage_0.htm", ...
// Puts the viewer kind's files and the template folder into `settings`.
void SetViewerFiles(PublishSettings& settings, bool flashViewer);

// program folder + "\\" + template folder + "\\".
std::string TemplateRoot(const PublishSettings& settings);
// "data_" + the page name up to its first "." when that dot is at position
// 1 or later; else "data_F" (Flash) or "data_J" (Java).
std::string DataFolderName(const std::string& pageName, bool flashViewer);
void MakeDataFolderName(PublishSettings& settings);
// "./" + data folder + "/" + the published name: how pages refer to a file.
std::string PublishedDataUrl(const PublishSettings& settings, const char* source);

// Whether a page name names a file in the publish folder: not empty, no
// "\\", "/" or ":", no "..". A name that fails would let the data folder
// (which is deleted on every publish) lie outside the publish folder.
bool IsSafePageName(const std::string& pageName);

// Chooses unique names in the data folder for every file the media step
// writes there (vistas, map images, sounds; Flash WAV sounds as their MP3
// names): the first file of a name keeps it, a later one from another
// folder gets "_2", "_3", ... before its extension. Fills settings.dataNames.
void ChooseDataNames(PublishSettings& settings);

// ---- Steps (each shows its own message on failure) -----------------------------------------------
bool EmptyMediaFolder(const PublishSettings& settings);
// False (with "Can not remove folder:\n<path>") when the data folder is
// still there afterwards.
bool RemoveDataFolder(const PublishSettings& settings);
bool CreateTourFolders(const PublishSettings& settings);
bool WriteStarterPage(const PublishSettings& settings);
// `tree` receives the Flash viewer's page values (may be null for Java).
bool WriteTourPage(PublishSettings& settings, TourNorvik* tree);
bool CopyViewerRuntime(const PublishSettings& settings);
bool CopyCommonMedia(const PublishSettings& settings);
bool CopySkinMedia(const PublishSettings& settings);
bool WriteFlashParamFile(const PublishSettings& settings, TourNorvik* tree);
// Vista images with their thumbnails "<name>_thumb.jpg", hot-spot images,
// map images and sounds.
bool PublishMedia(const PublishSettings& settings);

// The sound bit rate of a quality class, kilobits per second: 128, 80, 40.
int SoundBitRate(int quality);
// A hot spot's zoom reduced so that its zoomed box fits the viewer box.
float FitHotSpotZoom(float zoom, int width, int height, int boxWidth, int boxHeight);

// ---- Templates -----------------------------------------------------------------------------------
// One marked block of a template: the line that begins with `start` (its
// first `startCompare` characters) is replaced by what `write` writes, the
// lines up to the one beginning with `end` (first `endCompare`) are dropped.
// Each block is handled once; a second start line is copied.
struct TemplateBlock {
    std::string start;
    size_t startCompare;
    std::string end;
    size_t endCompare;
    std::function<bool(FILE*)> write;  // false stops the output there
};
// Copies `input` to `output` with the blocks replaced, line by line (lines
// of at most 355 characters). False when a block's writer failed.
bool ProcessTemplate(FILE* input, FILE* output, std::vector<TemplateBlock>& blocks);

// The starter page's parameter lines.
std::string StarterParams(const PublishSettings& settings);

// ---- The whole publish ------------------------------------------------------------------------------
// Runs the publish of `settings` (filled by the caller, project set):
// refuses an unsafe page name, makes the Flash tree, removes the previous
// data folder, then the viewer's steps. `progress` receives 10, 20, then the
// Flash (30 50 70 80 90) or Java (30 40 50 60 70 80 90) positions and 100 at
// the end. True when every step succeeded.
bool RunPublish(PublishSettings& settings, const std::function<void(int)>& progress);
