// The Flash viewer's parameters: the viewer list, the panos with their
// pieces and hot spots, the preload list and the first-movie element of the
// tour document, in the order the viewer reads them. The Flash counterpart
// of the applet parameter file; the publisher then adds the tour map.
#pragma once

class TourNorvik;
class TourProject;
struct PublishSettings;

// Fills `document` with the viewer values, every vista's pano and the
// preload list, then the first movie. False when a vista's images could not
// be sized or the document refused a call.
bool FillFlashViewerPrms(const TourProject& project, const PublishSettings& settings, TourNorvik& document);

// The first-movie element: every framework part on, the text shown 8000 ms
// when the tour's movie-text flag is set.
bool AddTourMovie(const TourProject& project, TourNorvik& document);
