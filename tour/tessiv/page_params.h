// The tour page's "#tour_params" block: the JavaScript globals ("var g_...")
// the Java tour page reads, in the order the page expects them, and the
// tour page size the starter page is made with.
#pragma once

#include <string>

class TourNorvik;
class TourProject;
class Vista;
struct PublishSettings;

// The page size the block was written for (the page box's width and height).
struct TourPageSize {
    int width = 0;
    int height = 0;
};

// Appends the block to `page`. Under the Flash viewer, with a `document`,
// only the lines both viewers read go to the page and the other values
// become calls on the tour document's framework lists; false when the
// document refused a call.
bool WriteTourPageParams(const TourProject& project, const PublishSettings& settings, std::string& page,
                         TourPageSize& pageSize, TourNorvik* document);

// How long the tour shows `vista` before the next, in milliseconds (`spin`
// is the tour's spin speed, never 0). A panorama whose map is unusable
// (equator width below 4, column or row outside the map) is timed as a
// photograph, with an ERROR line.
int VistaDisplayTimeMs(const TourProject& project, const Vista& vista, int spin);

// A display time stretched to a longer vista sound: its length plus the
// larger of 5 % of it and 1500 ms.
int StretchToSound(int timeMs, double soundSeconds);

// Text inside a JavaScript string literal quoted with ' or ": backslashes,
// both quotes and line ends escaped, "</" written "<\/" so a page's script
// element cannot be closed by it.
std::string JsText(const std::string& text);
