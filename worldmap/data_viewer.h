// The observer of a world map: derived windows (the display window, the image
// and rect-map views) register with a WorldMap, receive its numbered events
// through Notify, and show the screen image into which the viewer composites
// its image cells with their colour controls and transparency.
#pragma once

#include "imaging/image.h"
#include "imaging/ref_count.h"
#include "core/win_types.h"
#include "worldmap/bmp_layer.h"

#include <cstdint>
#include <functional>
#include <memory>

class RectWorldMap;
class WorldMap;

class DataViewer {
public:
    DataViewer();
    // Virtual: derived viewers are deleted through this base.
    virtual ~DataViewer();
    DataViewer(const DataViewer&) = delete;
    DataViewer& operator=(const DataViewer&) = delete;

    // Called by WorldMap::NotifyViewers for every event; the parameter may
    // carry an address (a cell, a record to fill), hence pointer-sized.
    // Derived classes return 0; the map ignores the result.
    virtual int Notify(int event, WorldMap* map, std::uintptr_t param) = 0;
    // The same for the events of a RectWorldMap, which is not a WorldMap;
    // viewers that watch one override it. By default Notify without a map.
    virtual int NotifyRect(int event, RectWorldMap* map, std::uintptr_t param);

    // Clears the screen image and composites every cell, in list order.
    void ComposeScreenBmp();
    // The same, once fill(firstRow, rows) has written those rows of the first
    // cell. When the first cell replaces the whole screen (a plain copy), the
    // rows are filled and copied to the screen band by band, each band still
    // in the cache; otherwise the whole cell is filled first. Same bytes as
    // filling the cell and calling ComposeScreenBmp. A large screen is shared
    // out over a few threads: fill is then called from several threads at
    // once, each time for rows no other call touches.
    void ComposeScreenBmp(const std::function<void(int firstRow, int rows)>& fill);

    // Selection in screen-image pixels, inclusive.
    RECT* GetSelectionRect() { return &m_selectionRect; }
    // Null selects the whole screen image; otherwise the rectangle is
    // copied and clamped to the screen image.
    void SetSelectionRect(const RECT* rect);
    bool IsDefaultSelection() const;

    void AddBmpCell(BmpCell* cell);
    Image* GetScreen() const { return m_screen.get(); }
    BmpLayer* GetBmpLayer() const { return m_bmpLayer.get(); }

    // The current cell's appearance; each setter recomposes the screen when
    // it changes something. Without a current cell: false, or the neutral
    // value (transparency 0, gamma and contrast 1, brightness 0, channel 3).
    bool ChangeTransparency(uint16_t transparency);
    uint16_t GetTransparency() const;
    bool SetGamma(float gamma, int channel);
    bool SetBrightness(char brightness, int channel);
    bool SetContrast(float contrast, int channel);
    bool ResetBCG();
    float GetGamma(int channel) const;
    float GetContrast(int channel) const;
    char GetBrightness(int channel) const;
    int GetLastUpdatedChannel() const;

protected:
    // For derived viewers that copy themselves: takes the other viewer's
    // selection and its own reference to the other's screen image. The cell
    // layer stays this viewer's own.
    void CopyViewerState(const DataViewer& other);

    int16_t m_viewWord0 = 0;
    int16_t m_viewWord1 = 0;
    int16_t m_viewWord2 = 0;
    int16_t m_viewWord3 = 0;
    RECT m_selectionRect = {0, 0, 0, 0};
    RefPtr<Image> m_screen;   // one reference held
    std::unique_ptr<BmpLayer> m_bmpLayer;

private:
    BmpCell* Current() const { return m_bmpLayer->GetCurrent(); }
};
