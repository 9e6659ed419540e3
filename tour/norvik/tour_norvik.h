// TourNorvik: the tour XML tree that the tour maker fills while it publishes
// a tour for the Flash viewer, then reads out as the text of the Flash
// parameter file. One tree is one document; it is made only by
// CreateTourNorvik and destroyed only by DeleteTourNorvik, and a text it
// returns is released only by its FreeXmlText.
#pragma once

#include <cstdint>
#include <string>

// Operations 0 to 8 name their parent element by an index into a fixed
// table of paths (tour_norvik_impl.cpp); list 0 is the root element.
using TourListIndex = int32_t;
constexpr TourListIndex kTourListRoot = 0;            // "//QuorvaneTour"
constexpr TourListIndex kTourListFramework = 1;       // .../framework
constexpr TourListIndex kTourListVistaTimes = 2;      // .../framework/vistaTimeMs_list
constexpr TourListIndex kTourListVistaLabels = 3;     // .../framework/vistaLabel_list
constexpr TourListIndex kTourListThumbnailFiles = 4;  // .../framework/fileThumbnail_list
constexpr TourListIndex kTourListVistaSounds = 5;     // .../framework/vistaSound_list
constexpr TourListIndex kTourListViewer = 6;          // .../viewer
constexpr TourListIndex kTourListPanos = 7;           // .../viewer/pano_list
constexpr TourListIndex kTourListTourMap = 8;         // .../tourmap
constexpr TourListIndex kTourListMaps = 9;            // .../tourmap/map_list
constexpr int kTourListCount = 10;

// Kinds of hot spot; a pano keeps each kind in a list named after it
// ("hotspot_list", "shotspot_list", "ghotspot_list").
enum HotspotKind : int32_t {
    kHotspotDynamic = 0,  // "hotspot": fixed to the panorama, box in pixels
    kHotspotStatic = 1,   // "shotspot": fixed to the viewer window
    kHotspotGlobal = 2,   // "ghotspot"
};

// Chooses the position form of a shotspot: a centre at or before the low
// bound is counted from the start ("s"), one at or after the high bound from
// the end ("e"), one in between as a fraction of the image size. Pixels of
// the panorama image.
struct HotspotRange {
    int32_t xLow;
    int32_t yLow;
    int32_t xHigh;
    int32_t yHigh;
};
static_assert(sizeof(HotspotRange) == 16);

class TourNorvik {
public:
    // A new tree whose document holds the tour skeleton; null when memory
    // runs out.
    static TourNorvik* CreateTourNorvik();
    // Destroys the tree (null is accepted) and returns null for the caller
    // to store back into its pointer.
    static TourNorvik* DeleteTourNorvik(TourNorvik* tree);

    // Every operation returns false and leaves the document unchanged when
    // its parent (list, pano, hot spot, map or compass) is not there, and
    // when a name is not a usable XML name. Texts are zero-terminated; null
    // texts count as empty.

    // Slot 0: element `name` holding `text` under the list element.
    virtual bool AddListText(TourListIndex list, const char* name, const char* text) = 0;
    // Slot 1: as slot 0 with the attribute "id".
    virtual bool AddListTextWithId(TourListIndex list, const char* name, const char* text, int32_t id) = 0;
    // Slot 2: slot 0 with the decimal text of `value`.
    virtual bool AddListInt(TourListIndex list, const char* name, int32_t value) = 0;
    // Slot 3: slot 0 with the lower-case hexadecimal text of `value`.
    virtual bool AddListHex(TourListIndex list, const char* name, int32_t value) = 0;
    // Slot 4: element with the attribute "id" and the decimal text of `value`.
    virtual bool AddListIntWithId(TourListIndex list, const char* name, int32_t value, int32_t id) = 0;
    // Slot 5: element with the colour attributes "off", "over", "click" and
    // "active", six hexadecimal digits each (0xRRGGBB).
    virtual bool AddListColors(TourListIndex list, const char* name, int32_t off, int32_t over, int32_t click,
                               int32_t active) = 0;
    // Slot 6: box element "left", "top", "width", "height", "color" (six
    // hexadecimal digits), "transparency"; a negative left, top, color or
    // transparency is left out.
    virtual bool AddListBox(TourListIndex list, const char* name, int32_t left, int32_t top, int32_t width,
                            int32_t height, int32_t color, int32_t transparency) = 0;
    // Slot 7: sets `attribute` on the first child `childName` of the list
    // element, which is appended when missing.
    virtual bool SetChildAttribute(TourListIndex list, const char* childName, const char* attribute,
                                   const char* text) = 0;
    // Slot 8: slot 7 with a decimal value.
    virtual bool SetChildAttributeInt(TourListIndex list, const char* childName, const char* attribute,
                                      int32_t value) = 0;
    // Slot 9: "pano" with "id", "vistaType" and "flatView" (1 or 0).
    virtual bool AddPano(int32_t id, int32_t vistaType, bool flatView) = 0;
    // Slot 10: element `name` with `text` in the first pano with that id. A
    // text that begins with "." keeps only what follows its last "/".
    virtual bool AddPanoText(int32_t panoId, const char* name, const char* text) = 0;
    // Slot 11: slot 10 with "%d".
    virtual bool AddPanoInt(int32_t panoId, const char* name, int32_t value) = 0;
    // Slot 12: slot 10 with "%f".
    virtual bool AddPanoFloat(int32_t panoId, const char* name, float value) = 0;
    // Slot 13: "roi" ("id", "file", "x", "y") in the pano's "roi_list", which
    // is made when missing; the file is shortened as in slot 10.
    virtual bool AddRoi(int32_t panoId, int32_t roiId, const char* file, int32_t x, int32_t y) = 0;
    // Slot 14: a hot spot of `kind` (HotspotKind) in the pano's list of that
    // kind, made when missing. The box is inclusive, in image pixels;
    // `range` is needed for shotspots only.
    virtual bool AddHotspot(int32_t panoId, int32_t kind, int32_t id, int32_t left, int32_t top, int32_t right,
                            int32_t bottom, const HotspotRange* range, int32_t imageWidth,
                            int32_t imageHeight) = 0;
    // Slot 15: a "text" element with its style in the hot spot; bold and
    // italic are the texts "true" or "false", colours 0xRRGGBB.
    virtual bool AddHotspotTextStyle(int32_t panoId, int32_t kind, int32_t hotspotId, const char* text,
                                     int32_t showType, const char* font, const char* bold, const char* italic,
                                     int32_t size, int32_t color, int32_t bgColor, int32_t transparency,
                                     int32_t width) = 0;
    // Slot 16: element `name` with `text` in the hot spot (shortened as in
    // slot 10).
    virtual bool AddHotspotText(int32_t panoId, int32_t kind, int32_t hotspotId, const char* name,
                                const char* text) = 0;
    // Slot 17: slot 16 with "%d".
    virtual bool AddHotspotInt(int32_t panoId, int32_t kind, int32_t hotspotId, const char* name,
                               int32_t value) = 0;
    // Slot 18: "toUrl" with the attribute "win" and the address as text.
    virtual bool AddHotspotUrl(int32_t panoId, int32_t kind, int32_t hotspotId, const char* window,
                               const char* url) = 0;
    // Slot 19: "map" with "id", "zoom0", "x0c" and "y0c".
    virtual bool AddMap(int32_t id, int32_t zoom0, int32_t x0c, int32_t y0c) = 0;
    // Slot 20: element `name` with `text` in the first map with that id.
    virtual bool AddMapText(int32_t mapId, const char* name, const char* text) = 0;
    // Slot 21: "compass" ("id", "isValid", "type", "x", "y") in the map's
    // "compass_list", made when missing.
    virtual bool AddCompass(int32_t mapId, int32_t id, int32_t isValid, int32_t type, int32_t x, int32_t y) = 0;
    // Slot 22: element `name` with `text` in the compass.
    virtual bool AddCompassText(int32_t mapId, int32_t compassId, const char* name, const char* text) = 0;
    // Slot 23: slot 22 with "%f".
    virtual bool AddCompassFloat(int32_t mapId, int32_t compassId, const char* name, float value) = 0;
    // Slot 24: "firstMovie" with its six flags and one styled "text" child,
    // appended to the viewer element.
    virtual bool AddFirstMovie(int32_t hotspot, int32_t vistaBench, int32_t tourMap, int32_t controlBar,
                               int32_t fullScreen, int32_t textDurationMs, const char* text, int32_t showType,
                               const char* font, const char* bold, const char* italic, int32_t size,
                               int32_t color, int32_t bgColor, int32_t transparency, int32_t width) = 0;
    // Slot 25: writes the document to the file; false when it cannot.
    virtual bool SaveToFile(const char* path) = 0;
    // Slot 26: the document's text as the file writer puts it in a file, by
    // way of `scratchPath` (written, read back, deleted).
    virtual bool GetXmlString(std::string& text, const char* scratchPath) = 0;
    // Slot 27: as slot 26 into a new zero-terminated buffer, released by
    // slot 28 only; null on failure.
    virtual char* GetXmlText(const char* scratchPath) = 0;
    // Slot 28: releases a buffer of slot 27 (null is accepted); true when
    // one was released.
    virtual bool FreeXmlText(char* text) = 0;

    TourNorvik(const TourNorvik&) = default;
    TourNorvik& operator=(const TourNorvik&) = default;

protected:
    TourNorvik() = default;
    // Not virtual, and not public: trees are destroyed by DeleteTourNorvik.
    ~TourNorvik() = default;
};
