// The tour map's parameters for the browser viewers: the maps that have a
// picture, their look (colours, label style, scan beam) and one compass
// group per vista and map, numbered c = v + j * numVista. The Java viewer
// reads them from "QuorvaneTourMap_prms" in the data folder; the Flash
// viewer from the tour map element of the tour document.
#pragma once

#include <string>

class TourNorvik;
class TourProject;
class Vista;
struct PublishSettings;

// The text form, appended to `text`.
bool WriteTourMapPrms(const TourProject& project, const PublishSettings& settings, std::string& text);
// The Flash form: the same values as calls on `document`. False when the
// document refused a call. With `settings`, map images are named as the
// publisher writes them into the data folder.
bool AddTourMapPrms(const TourProject& project, TourNorvik& document, const PublishSettings* settings = nullptr);

// Writes the text form into the data folder when the tour map is shown
// (true without writing otherwise). On failure shows "Cannot save tour map
// file!\nPlease close if opened & try again\n" and returns false.
bool SaveTourMapPrmFile(const TourProject& project, const PublishSettings& settings);

// A vista as map labels name it: its label, or its file name without folder
// and extension, at most 127 characters.
std::string VistaDisplayName(const Vista& vista);
