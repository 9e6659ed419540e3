#include "worldmap/bmp_layer.h"

#include <algorithm>

namespace {

void ReleaseCell(void* cell)
{
    RefRelease(static_cast<BmpCell*>(cell));
}

}  // namespace

BmpLayer::BmpLayer() : m_cells(std::make_unique<List>(&ReleaseCell, 4)) {}

BmpLayer::~BmpLayer() = default;

void BmpLayer::AddBmpCell(BmpCell* cell)
{
    if (!cell) return;
    RefAdd(cell);
    if (m_cells->Append(cell) < 0) {
        RefRelease(cell);  // the list is full: nothing kept, nothing held
        return;
    }
    if (!m_current) m_current = cell;
}

bool BmpLayer::DeleteBmpObject(BmpCell* cell)
{
    if (!cell || m_cells->GetIndex(cell) < 0) return false;
    if (cell == m_current) m_current = nullptr;
    m_cells->RemoveData(cell);  // the deleter releases the layer's reference
    return true;
}

BmpCell* BmpLayer::Find(int16_t x, int16_t y) const
{
    for (int i = 0; i < m_cells->m_count; ++i) {
        auto* cell = static_cast<BmpCell*>(m_cells->GetData(i));
        if (cell->IsInside(x, y)) return cell;
    }
    return nullptr;
}

bool BmpLayer::MoveBmp(int dx, int dy)
{
    if (!m_current) return false;
    m_current->Move(static_cast<int16_t>(dx), static_cast<int16_t>(dy));
    return true;
}

bool BmpLayer::GetActiveBmpRect(RECT& rect) const
{
    if (!m_current) return false;
    m_current->GetRect(rect);
    return true;
}

BmpCell* BmpLayer::GetBmpCell(int i) const
{
    return static_cast<BmpCell*>(m_cells->GetData(i));
}

int BmpLayer::GetMaxNmbChannles() const
{
    int channels = 0;
    for (int i = 0; i < m_cells->m_count; ++i) channels = std::max(channels, GetBmpCell(i)->GetChannels());
    return channels;
}
