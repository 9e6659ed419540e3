#include "app/shell/kestova_doc.h"

#include "app/control/super_manager.h"
#include "worldmap/world_map.h"

CKestovaDoc::~CKestovaDoc()
{
    if (!m_worldMap) return;
    // The panorama's window is gone: the file may be opened again.
    if (SuperManager* manager = GetSuperManager()) manager->RemoveWorldMapWindow(m_worldMap);
    m_worldMap->Release();
}

void CKestovaDoc::SetWorldMap(WorldMap* map)
{
    if (map == m_worldMap) return;
    if (m_worldMap) m_worldMap->Release();
    m_worldMap = map;
    if (!map) return;
    map->AddReference();
    if (map->GetName()) SetTitle(map->GetName());
}
