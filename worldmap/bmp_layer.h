// An ordered set of image cells, each holding one reference of the layer,
// with a current cell. Every DataViewer keeps one and composites it into its
// screen image; a WorldMap may hold one too.
#pragma once

#include "imaging/list.h"
#include "core/win_types.h"
#include "worldmap/bmp_cell.h"

#include <cstdint>
#include <memory>

class BmpLayer {
public:
    BmpLayer();
    // Releases the layer's reference of every cell.
    ~BmpLayer();
    BmpLayer(const BmpLayer&) = delete;
    BmpLayer& operator=(const BmpLayer&) = delete;

    // Adds a reference and appends; the first cell becomes current.
    void AddBmpCell(BmpCell* cell);
    // Takes the cell out (releasing the layer's reference); false when it was
    // not there. A removed current cell leaves none current.
    bool DeleteBmpObject(BmpCell* cell);
    // The first cell in list order that contains the point, or null.
    BmpCell* Find(int16_t x, int16_t y) const;
    void SetCurrent(BmpCell* cell) { m_current = cell; }
    BmpCell* GetCurrent() const { return m_current; }
    // Moves the current cell; false without one.
    bool MoveBmp(int dx, int dy);
    bool GetActiveBmpRect(RECT& rect) const;
    BmpCell* GetBmpCell(int i) const;
    Image* GetImage(int i) const { return GetBmpCell(i); }
    int GetCount() const { return m_cells->m_count; }
    // The largest channel count among the cells; 0 for an empty layer.
    int GetMaxNmbChannles() const;

private:
    std::unique_ptr<List> m_cells;
    BmpCell* m_current = nullptr;
};
