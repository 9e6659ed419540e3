// The tour tree behind TourNorvik: one Norvik document holding the tour
// skeleton, filled by the operations of the interface. Made only by
// TourNorvik::CreateTourNorvik.
#pragma once

#include "tour/norvik/norvik.h"
#include "tour/norvik/tour_norvik.h"

#include <memory>
#include <string>

class TourNorvikImpl final : public TourNorvik {
public:
    TourNorvikImpl();
    ~TourNorvikImpl();
    TourNorvikImpl(const TourNorvikImpl&) = delete;
    TourNorvikImpl& operator=(const TourNorvikImpl&) = delete;

    bool AddListText(TourListIndex list, const char* name, const char* text) override;
    bool AddListTextWithId(TourListIndex list, const char* name, const char* text, int32_t id) override;
    bool AddListInt(TourListIndex list, const char* name, int32_t value) override;
    bool AddListHex(TourListIndex list, const char* name, int32_t value) override;
    bool AddListIntWithId(TourListIndex list, const char* name, int32_t value, int32_t id) override;
    bool AddListColors(TourListIndex list, const char* name, int32_t off, int32_t over, int32_t click,
                       int32_t active) override;
    bool AddListBox(TourListIndex list, const char* name, int32_t left, int32_t top, int32_t width, int32_t height,
                    int32_t color, int32_t transparency) override;
    bool SetChildAttribute(TourListIndex list, const char* childName, const char* attribute,
                           const char* text) override;
    bool SetChildAttributeInt(TourListIndex list, const char* childName, const char* attribute,
                              int32_t value) override;
    bool AddPano(int32_t id, int32_t vistaType, bool flatView) override;
    bool AddPanoText(int32_t panoId, const char* name, const char* text) override;
    bool AddPanoInt(int32_t panoId, const char* name, int32_t value) override;
    bool AddPanoFloat(int32_t panoId, const char* name, float value) override;
    bool AddRoi(int32_t panoId, int32_t roiId, const char* file, int32_t x, int32_t y) override;
    bool AddHotspot(int32_t panoId, int32_t kind, int32_t id, int32_t left, int32_t top, int32_t right,
                    int32_t bottom, const HotspotRange* range, int32_t imageWidth, int32_t imageHeight) override;
    bool AddHotspotTextStyle(int32_t panoId, int32_t kind, int32_t hotspotId, const char* text, int32_t showType,
                             const char* font, const char* bold, const char* italic, int32_t size, int32_t color,
                             int32_t bgColor, int32_t transparency, int32_t width) override;
    bool AddHotspotText(int32_t panoId, int32_t kind, int32_t hotspotId, const char* name,
                        const char* text) override;
    bool AddHotspotInt(int32_t panoId, int32_t kind, int32_t hotspotId, const char* name, int32_t value) override;
    bool AddHotspotUrl(int32_t panoId, int32_t kind, int32_t hotspotId, const char* window,
                       const char* url) override;
    bool AddMap(int32_t id, int32_t zoom0, int32_t x0c, int32_t y0c) override;
    bool AddMapText(int32_t mapId, const char* name, const char* text) override;
    bool AddCompass(int32_t mapId, int32_t id, int32_t isValid, int32_t type, int32_t x, int32_t y) override;
    bool AddCompassText(int32_t mapId, int32_t compassId, const char* name, const char* text) override;
    bool AddCompassFloat(int32_t mapId, int32_t compassId, const char* name, float value) override;
    bool AddFirstMovie(int32_t hotspot, int32_t vistaBench, int32_t tourMap, int32_t controlBar, int32_t fullScreen,
                       int32_t textDurationMs, const char* text, int32_t showType, const char* font,
                       const char* bold, const char* italic, int32_t size, int32_t color, int32_t bgColor,
                       int32_t transparency, int32_t width) override;
    bool SaveToFile(const char* path) override;
    bool GetXmlString(std::string& text, const char* scratchPath) override;
    char* GetXmlText(const char* scratchPath) override;
    bool FreeXmlText(char* text) override;

private:
    TiXmlElement* ListElement(TourListIndex list) const;
    TiXmlElement* FindPano(int32_t panoId) const;
    TiXmlElement* FindMap(int32_t mapId) const;
    TiXmlElement* FindHotspot(int32_t panoId, int32_t kind, int32_t hotspotId) const;
    TiXmlElement* FindCompass(int32_t mapId, int32_t compassId) const;

    Norvik m_norvik;
};
