// An ordered set of text cells that owns them, with a current cell. A
// WorldMap makes one on request; the image document keeps its name in one.
#pragma once

#include "imaging/list.h"
#include "worldmap/text_cell.h"

#include <cstdint>
#include <memory>

class TextLayer {
public:
    TextLayer();
    ~TextLayer();
    TextLayer(const TextLayer&) = delete;
    TextLayer& operator=(const TextLayer&) = delete;

    // The layer owns the cell from now on; the first cell becomes current.
    void AddTextCell(TextCell* cell);
    // The first cell in list order that contains the point, or null.
    TextCell* Find(int16_t x, int16_t y) const;
    void SetCurrent(TextCell* cell) { m_current = cell; }
    TextCell* GetCurrent() const { return m_current; }
    // The cells (TextCell*) in order, for callers that walk them.
    List* GetCellList() const { return m_cells.get(); }

private:
    std::unique_ptr<List> m_cells;
    TextCell* m_current = nullptr;
};
