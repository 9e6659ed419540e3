#include "worldmap/text_layer.h"

namespace {

void DeleteTextCell(void* cell)
{
    delete static_cast<TextCell*>(cell);
}

}  // namespace

TextLayer::TextLayer() : m_cells(std::make_unique<List>(&DeleteTextCell, 4)) {}

TextLayer::~TextLayer() = default;

void TextLayer::AddTextCell(TextCell* cell)
{
    if (!cell) return;
    if (m_cells->Append(cell) < 0) {
        delete cell;  // owned from the call on, even when the list is full
        return;
    }
    if (!m_current) m_current = cell;
}

TextCell* TextLayer::Find(int16_t x, int16_t y) const
{
    for (int i = 0; i < m_cells->m_count; ++i) {
        auto* cell = static_cast<TextCell*>(m_cells->GetData(i));
        if (cell->IsInside(x, y)) return cell;
    }
    return nullptr;
}
