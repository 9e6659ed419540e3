// KestovaFile: the bounding box of the samples a projection wrote.
#include "platform/sceneio/kestova_file.h"

#include "core/geometry_records.h"

#include <algorithm>
#include <climits>
#include <cmath>

bool KestovaFile::VantorFileFgBoundBox(REGION* box, float margin) const
{
    if (!box) return false;
    int x0 = INT_MAX, x1 = INT_MIN, y0 = INT_MAX, y1 = INT_MIN;
    const List* bands = GetBandList();
    for (int i = 0; bands && i < bands->m_count; ++i) {
        const auto* band = static_cast<const CBand*>(bands->GetData(i));
        if (!band || band->m_numSectors <= 0) continue;
        for (int k = 0; k < band->m_numSectors; ++k) {
            const CSector* s = band->m_sectors[k];
            if (!s || s->m_last < s->m_first) continue;
            x0 = std::min(x0, s->m_first), x1 = std::max(x1, s->m_last);
            y0 = std::min(y0, band->m_row), y1 = std::max(y1, band->m_row);
        }
    }
    if (x0 > x1) {
        *box = REGION{0, 0, 0, 0, 0, 0};
        return false;
    }
    const int m = std::isfinite(margin) && margin > 0 ? static_cast<int>(std::ceil(margin)) : 0;
    x0 -= m, x1 += m, y0 -= m, y1 += m;
    *box = REGION{x0, y0, x1, y1, x1 - x0 + 1, y1 - y0 + 1};
    return true;
}
