// The panorama document: the document of the panorama template, holding one
// reference to the world map that its panorama window shows.
#pragma once

#include "platform/win/doc_view.h"

class WorldMap;

class CKestovaDoc : public CDocument {
public:
    ~CKestovaDoc() override;
    // Nothing when it is the map held already; a null map releases the old
    // one and keeps the title.
    void SetWorldMap(WorldMap* map);
    WorldMap* GetWorldMap() const { return m_worldMap; }

private:
    WorldMap* m_worldMap = nullptr;
};
