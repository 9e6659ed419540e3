#include "tour/tessiv/tile_table.h"

#include "core/logger.h"

#include <algorithm>
#include <cstring>

TileTable::TileTable(int count) : m_rects(static_cast<size_t>(std::max(0, count))),
                                   m_names(static_cast<size_t>(std::max(0, count)))
{
}

bool TileTable::Add(const TileRect& rect, const char* name, bool rename)
{
    const auto slot = std::find_if(m_names.begin(), m_names.end(), [](const std::string& n) { return n.empty(); });
    if (slot == m_names.end()) return false;
    std::string text = name ? name : "";
    if (rename) {
        const size_t dot = text.rfind('.');
        text = (dot == std::string::npos ? text : text.substr(0, dot + 1)) + "QuorvaneTour";
    }
    const size_t index = static_cast<size_t>(slot - m_names.begin());
    m_rects[index] = rect;
    m_names[index] = text;
    return true;
}

int TileTable::GetFilled() const
{
    return static_cast<int>(std::count_if(m_names.begin(), m_names.end(), [](const std::string& n) { return !n.empty(); }));
}

Image* CropImage(const Image* source, int x0, int y0, int x1, int y1)
{
    if (!source || !source->GetData() || x0 < 0 || y0 < 0 || x1 <= x0 || y1 <= y0 || x1 > source->GetWidth() ||
        y1 > source->GetHeight() || !source->IsInterleaved()) {
        Logger::log("ERROR CropImage: (%d, %d)-(%d, %d) is not inside the picture", 1, x0, y0, x1, y1);
        return nullptr;
    }
    Image* crop = new Image();
    crop->SetSize(x1 - x0, y1 - y0);
    crop->SetChannels(source->GetChannels());
    crop->SetDataType(source->GetDataType());
    if (crop->Init() != 0) {
        ReleaseImage(crop);
        return nullptr;
    }
    const size_t pixelBytes = static_cast<size_t>(source->GetPixelBytes());
    const size_t rowBytes = pixelBytes * static_cast<size_t>(x1 - x0);
    for (int y = y0; y < y1; ++y) {
        const unsigned char* from =
            source->GetData() + static_cast<size_t>(y) * static_cast<size_t>(source->GetRowByte()) + pixelBytes * x0;
        std::memcpy(crop->GetData() + static_cast<size_t>(y - y0) * static_cast<size_t>(crop->GetRowByte()), from,
                    rowBytes);
    }
    return crop;
}
