#include "worldmap/data_viewer.h"
#include "core/parallel_for.h"

#include <algorithm>

namespace {

// Below this many screen bytes a rebuild stays on the calling thread: starting
// threads would cost more than it saves.
constexpr size_t kThreadedBytes = size_t{8} << 20;

}  // namespace

DataViewer::DataViewer()
    : m_screen(RefPtr<Image>::adopt(new Image())), m_bmpLayer(std::make_unique<BmpLayer>())
{
}

DataViewer::~DataViewer() = default;

int DataViewer::NotifyRect(int event, RectWorldMap* /*map*/, std::uintptr_t param)
{
    return Notify(event, nullptr, param);
}

void DataViewer::ComposeScreenBmp()
{
    Image* screen = m_screen.get();
    if (!screen) return;
    // A first cell covering the whole screen as a plain copy clears and
    // composites in one pass over the memory.
    int i = 0;
    if (m_bmpLayer->GetCount() > 0 && m_bmpLayer->GetBmpCell(0)->ReplaceDataIn(screen))
        i = 1;
    else
        screen->Clear();
    for (; i < m_bmpLayer->GetCount(); ++i) m_bmpLayer->GetBmpCell(i)->MapDataTo(screen);
}

void DataViewer::ComposeScreenBmp(const std::function<void(int firstRow, int rows)>& fill)
{
    Image* screen = m_screen.get();
    BmpCell* first = m_bmpLayer->GetCount() > 0 ? m_bmpLayer->GetBmpCell(0) : nullptr;
    if (!first) {
        ComposeScreenBmp();
        return;
    }
    const int height = first->GetHeight();
    if (!screen || height <= 0 || !first->CanReplaceDataIn(screen)) {
        if (height > 0) fill(0, height);
        ComposeScreenBmp();
        return;
    }
    // About 256 KiB of cell and screen rows per band: both stay in a core's
    // second-level cache between the fill and the copy.
    constexpr size_t kBandBytes = size_t{128} << 10;
    const size_t rowBytes = static_cast<size_t>(std::max(first->GetRowByte(), screen->GetRowByte()));
    const int band = static_cast<int>(std::clamp<size_t>(rowBytes ? kBandBytes / rowBytes : 1, 1, static_cast<size_t>(height)));
    const int bands = (height + band - 1) / band;
    // One core cannot saturate the memory bus: a large screen is shared out
    // band by band, in order, over a few threads. Each row is written by one
    // thread only, so the bytes are those of the single-threaded loop.
    const size_t screenBytes = rowBytes * static_cast<size_t>(height);
    const int workers = screenBytes >= kThreadedBytes ? parallel::HardwareThreads(4) : 1;
    parallel::ForEach(bands, workers, [&](int b) {
        const int row = b * band;
        const int rows = std::min(band, height - row);
        fill(row, rows);
        first->ReplaceRowsIn(screen, row, rows);
    });
    for (int i = 1; i < m_bmpLayer->GetCount(); ++i) m_bmpLayer->GetBmpCell(i)->MapDataTo(screen);
}

void DataViewer::SetSelectionRect(const RECT* rect)
{
    const int width = m_screen ? m_screen->GetWidth() : 0;
    const int height = m_screen ? m_screen->GetHeight() : 0;
    if (!rect) {
        m_selectionRect = {0, 0, width - 1, height - 1};
        return;
    }
    m_selectionRect = *rect;
    m_selectionRect.left = std::max(m_selectionRect.left, 0);
    m_selectionRect.top = std::max(m_selectionRect.top, 0);
    m_selectionRect.right = std::min(m_selectionRect.right, width - 1);
    m_selectionRect.bottom = std::min(m_selectionRect.bottom, height - 1);
}

void DataViewer::CopyViewerState(const DataViewer& other)
{
    if (this == &other) return;
    m_selectionRect = other.m_selectionRect;
    m_screen = other.m_screen;  // RefPtr copy: a reference of our own
}

bool DataViewer::IsDefaultSelection() const
{
    if (!m_screen) return false;
    return m_selectionRect.left == 0 && m_selectionRect.top == 0 &&
           m_selectionRect.right + 1 == m_screen->GetWidth() && m_selectionRect.bottom + 1 == m_screen->GetHeight();
}

void DataViewer::AddBmpCell(BmpCell* cell)
{
    m_bmpLayer->AddBmpCell(cell);
}

bool DataViewer::ChangeTransparency(uint16_t transparency)
{
    BmpCell* cell = Current();
    if (!cell || !cell->SetTransparency(transparency)) return false;
    ComposeScreenBmp();
    return true;
}

uint16_t DataViewer::GetTransparency() const
{
    const BmpCell* cell = Current();
    return cell ? cell->GetTransparency() : 0;
}

bool DataViewer::SetGamma(float gamma, int channel)
{
    BmpCell* cell = Current();
    if (!cell || !cell->GetColorCtrl()->SetGamma(gamma, channel)) return false;
    ComposeScreenBmp();
    return true;
}

bool DataViewer::SetBrightness(char brightness, int channel)
{
    BmpCell* cell = Current();
    if (!cell || !cell->GetColorCtrl()->SetBrightness(brightness, channel)) return false;
    ComposeScreenBmp();
    return true;
}

bool DataViewer::SetContrast(float contrast, int channel)
{
    BmpCell* cell = Current();
    if (!cell || !cell->GetColorCtrl()->SetContrast(contrast, channel)) return false;
    ComposeScreenBmp();
    return true;
}

bool DataViewer::ResetBCG()
{
    BmpCell* cell = Current();
    if (!cell) return false;
    cell->ResetBCGT();
    ComposeScreenBmp();
    return true;
}

float DataViewer::GetGamma(int channel) const
{
    const BmpCell* cell = Current();
    return cell ? cell->GetColorCtrl()->GetGamma(channel) : 1.0f;
}

float DataViewer::GetContrast(int channel) const
{
    const BmpCell* cell = Current();
    return cell ? cell->GetColorCtrl()->GetContrast(channel) : 1.0f;
}

char DataViewer::GetBrightness(int channel) const
{
    const BmpCell* cell = Current();
    return cell ? cell->GetColorCtrl()->GetBrightness(channel) : 0;
}

int DataViewer::GetLastUpdatedChannel() const
{
    const BmpCell* cell = Current();
    return cell ? cell->GetColorCtrl()->GetLastUpdatedChannel() : ColorCtrl::kAllChannels;
}
