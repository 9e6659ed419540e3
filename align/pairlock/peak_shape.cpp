#include "align/pairlock/peak_shape.h"

#include <cmath>
#include <vector>

int CPeakShape::StudyLinePeakShape(float* line, int n, float base, int peak, int pct, float* width, float* offset)
{
    if (!line || !width || !offset || n < 1 || peak < 0 || peak >= n) return 0;
    const float top = line[peak];
    const float threshold = base + static_cast<float>(pct) * (top - base) / 100.0f;

    int left = 0;
    for (int i = peak - 1; i >= 0; --i) {
        if (line[i] < threshold) {
            left = i + 1;
            break;
        }
    }
    if (peak == 0) left = 0;
    int right = n - 1;
    for (int i = peak + 1; i < n; ++i) {
        if (line[i] < threshold) {
            right = i - 1;
            break;
        }
    }
    *width = static_cast<float>(right - left + 1);

    *offset = 0.0f;
    if (peak == 0 || peak == n - 1) return 1;
    const float yl = line[peak - 1];
    const float yr = line[peak + 1];
    // Vertex of the parabola through the three samples. A flat top (plateau
    // or equal shoulders) has no vertex of its own: offset 0 rather than 0/0.
    const double denom = 4.0 * (static_cast<double>(top) - (static_cast<double>(yl) + yr) / 2.0);
    const double scale = std::fabs(yl) + std::fabs(top) + std::fabs(yr);
    if (!(denom > 1e-7 * scale)) return 1;
    *offset = static_cast<float>((static_cast<double>(yr) - yl) / denom);
    return 1;
}

ONE_CC_PEAK* CPeakShape::FindOneAreaCCPeak(float* map, int nx, int ny, POINT2& peak)
{
    if (!map || nx < 1 || ny < 1) return nullptr;
    if (!(peak.x > -1.0f && peak.y > -1.0f && peak.x < static_cast<float>(nx) && peak.y < static_cast<float>(ny)))
        return nullptr;  // also NaN
    const int px = static_cast<int>(peak.x);
    const int py = static_cast<int>(peak.y);
    if (px < 0 || py < 0 || px >= nx || py >= ny) return nullptr;

    auto* rec = new ONE_CC_PEAK{};
    float* row = map + static_cast<size_t>(py) * static_cast<size_t>(nx);
    rec->value = row[px];
    StudyLinePeakShape(row, nx, 0.0f, px, m_level1, &rec->width1X, &rec->offsetX);
    StudyLinePeakShape(row, nx, 0.0f, px, m_level2, &rec->width2X, &rec->offsetX);

    std::vector<float> column(static_cast<size_t>(ny));
    for (int y = 0; y < ny; ++y) column[y] = map[static_cast<size_t>(y) * static_cast<size_t>(nx) + px];
    StudyLinePeakShape(column.data(), ny, 0.0f, py, m_level1, &rec->width1Y, &rec->offsetY);
    StudyLinePeakShape(column.data(), ny, 0.0f, py, m_level2, &rec->width2Y, &rec->offsetY);
    return rec;
}
