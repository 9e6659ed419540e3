// The panorama object of the suite: world-map storage with a name, a text
// layer, an optional image layer and the registered viewers, which hear of
// every change through NotifyViewers. The stitching application fills it from
// scene files or other maps; the image loaders return panoramas as WorldMaps.
#pragma once

#include "imaging/list.h"
#include "worldmap/bmp_layer.h"
#include "worldmap/text_layer.h"
#include "worldmap/world_map_base.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class DataViewer;
class KestovaFile;

class WorldMap : public WorldMapBase {
public:
    WorldMap();
    WorldMap(int width, int channels);
    WorldMap(int width, REGION2* region, int mapType, int channels);
    ~WorldMap() override;

    // An empty (or null) name leaves the old one.
    void SetName(const char* name);
    const char* GetName() const { return m_name ? m_name->c_str() : nullptr; }
    TextLayer* GetTextLayer();
    BmpLayer* GetBmpLayer() const { return m_bmpLayer.get(); }

    // Viewers are not owned; each must unregister before it is destroyed.
    void AddViewer(DataViewer* viewer);
    void RemoveViewer(DataViewer* viewer);
    // Calls every registered viewer's Notify(event, this, param) in
    // registration order; always 0.
    int NotifyViewers(int event, std::uintptr_t param);
    // Code 0: adds the BmpCell whose address is `param` to the image layer
    // (made on first use) and sends event 0 with the same param. 0.
    int ViewerCallback(DataViewer* viewer, int code, std::uintptr_t param);

    // Scene bands into the map (world_map_scene.cpp). Rows count from the
    // equator; blending averages with samples already there.
    void AddData(KestovaFile* file);
    void AddData(KestovaFile* file, int firstRow, int lastRow, bool blend);
    void AddDataBlend(KestovaFile* file);
    using WorldMapBase::AddData;
    // Copies another map's data area into this one; false for maps of a
    // different geometry.
    bool AddDataWM(WorldMapBase* source);

    // Storage, layers exchanged; viewers and names stay. False (no change)
    // for maps of different channel counts.
    bool SwapData(WorldMap* other);

    // An elliptical overview of the data area, `zoom` output pixels per map
    // sample; resizes the image when asked or when it is too small.
    void ComputeWorldMapImage(Image* image, float zoom, bool resize, bool centreVertically);

    // Kept for the interface; they do nothing.
    void RecalcRangeX() {}
    void ComputePlaneImage(Image*, float, float, float, float) {}
    void ComputeFishEyeImage(Image*, float, float, float, float) {}
    void ComputeWorldMapGrid(Image*, int, int) {}

private:
    std::unique_ptr<TextLayer> m_textLayer;
    std::unique_ptr<BmpLayer> m_bmpLayer;
    std::unique_ptr<List> m_viewers;
    std::optional<std::string> m_name;
};
