// The hot-spot entries of a vista in the viewer parameters: the dynamic
// hot spots (fixed to the panorama, "hotspot") then the static ones (fixed
// to the viewer window, "shotspot"), each with its box, styled text line,
// picture, action and icon. The applet parameter file gets them as text
// inside the vista's panorama group; the Flash tour document gets the same
// entries as calls on the tour tree. Both forms come from one set of
// decisions, so an entry numbered e in one is entry e in the other.
#pragma once

#include <string>
#include <vector>

class TourNorvik;
class TourProject;
class Vista;

// What the entries of one vista depend on besides the tour model.
struct HotSpotFrame {
    int vistaIndex = 0;
    int imageWidth = 0;   // the published vista image: dynamic positions
    int imageHeight = 0;
    const char* publishFolder = nullptr;
    std::string tourBaseName;  // names the window that links open in
    bool flash = false;        // names entering the preload list keep only their file name
};

// Link actions left out of a vista because they name a file on another
// drive than the publish folder.
struct HotSpotDrops {
    int dynamicCount = 0;
    int staticCount = 0;
};

// The applet form: appends the vista's entries to `groups` and each hot-spot
// image name followed by "," to `preloadImages`. Free text (labels, fonts,
// names, addresses) has its line feeds and "}" made blanks so an entry
// always stays one brace group.
void WriteHotSpotEntries(const TourProject& project, const Vista& vista, const HotSpotFrame& frame,
                         std::string& groups, std::string& preloadImages, HotSpotDrops& drops);

// The Flash form: the same entries as calls on `document`, and the same
// preload names. False when the document refused a call.
bool AddHotSpotEntries(const TourProject& project, const Vista& vista, const HotSpotFrame& frame,
                       TourNorvik& document, std::string& preloadImages, HotSpotDrops& drops);

// The text of the vista's warning about dropped link actions; empty when
// nothing was dropped.
std::string DroppedActionWarning(const HotSpotDrops& drops);
// Shows that warning in a message box with an OK button, when there is one.
void ShowDroppedActionWarning(const HotSpotDrops& drops);

// The viewer's icon code of an icon index; -1 for an index without icon.
int HotSpotIconCode(int iconIndex);

// The name of a file as the viewer's preload list holds it: under Flash a
// name that begins with "." and holds a "/" keeps only what follows its last
// "/"; every other name stays.
std::string ViewerFileName(const std::string& name, bool flash);

// Free text inside the brace syntax: line feeds, carriage returns and "}"
// become blanks; every other byte stays.
std::string BraceText(const std::string& text);
