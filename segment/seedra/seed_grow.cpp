#include "segment/seedra/seed_grow.h"

#include "segment/seedra/int_queue.h"
#include "segment/seedra/rasterize_polyline.h"

#include "geometry/polykit/poly_seg.h"
#include "core/logger.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

namespace {

template <typename T>
class CSeedGrow final : public ISeedGrow<T> {
public:
    T* GetLabelMap() override { return m_pLabel.get(); }
    T* GetDistanceMap() override { return m_pDist.get(); }
    void GetGridSize(int* cols, int* rows) override
    {
        if (cols) *cols = m_nCols;
        if (rows) *rows = m_nRows;
    }
    void GetCellSize(int* cw, int* ch) override
    {
        if (cw) *cw = m_cellW;
        if (ch) *ch = m_cellH;
    }
    REGION* GetArea() override { return &m_region; }

    int GrowFromPoints(const POINT2* pts, int n, const REGION* area, int cw, int ch) override
    {
        if (!Valid("GrowFromPoints", area, cw, ch, pts, n) || !SetUp(area, cw, ch, true)) return 0;
        Seeds seeds(Cells());
        for (int i = 0; i < n; ++i) SeedFloat(pts[i], &seeds);
        GrowLabels(&seeds);
        return seeds.label;
    }

    int GrowFromIntPoints(const int* xy, int n, const REGION* area, int cw, int ch) override
    {
        if (!Valid("GrowFromIntPoints", area, cw, ch, xy, n) || !SetUp(area, cw, ch, true)) return 0;
        Seeds seeds(Cells());
        for (int i = 0; i < n; ++i) SeedInt(xy[2 * i], xy[2 * i + 1], &seeds);
        GrowLabels(&seeds);
        return seeds.label;
    }

    int GrowFromPolyline(const POINT2* pts, int n, const REGION* area, int cw, int ch, bool closed) override
    {
        if (!Valid("GrowFromPolyline", area, cw, ch, pts, n) || !SetUp(area, cw, ch, true)) return 0;
        Seeds seeds(Cells());
        SeedPolyline(pts, n, closed, &seeds);
        GrowLabels(&seeds);
        return seeds.label;
    }

    int GrowFromSegments(CPolySeg* seg, bool fromFirst, const REGION* area, int cw, int ch) override
    {
        if (!seg) return Fail("GrowFromSegments", "no polygon segments"), 0;
        if (area) {
            if (!Valid("GrowFromSegments", area, cw, ch, seg, 0) || !SetUp(area, cw, ch, true)) return 0;
        } else {
            // Adds to the grid of the previous call, which must exist.
            if (!m_pDist) return Fail("GrowFromSegments", "no area and no earlier grid"), 0;
            if (!m_pLabel) m_pLabel = NewMap(Cells());
        }
        Seeds seeds(Cells());
        SeedSegments(seg, fromFirst, &seeds);
        GrowLabels(&seeds);
        return seeds.label;
    }

    bool DistanceFromPoints(const POINT2* pts, int n, const REGION* area, int cw, int ch) override
    {
        if (!Valid("DistanceFromPoints", area, cw, ch, pts, n) || !SetUp(area, cw, ch, false)) return false;
        Seeds seeds(Cells());
        for (int i = 0; i < n; ++i) SeedFloat(pts[i], &seeds);
        GrowDistances(&seeds);
        return true;
    }

    bool DistanceFromIntPoints(const int* xy, int n, const REGION* area, int cw, int ch) override
    {
        if (!Valid("DistanceFromIntPoints", area, cw, ch, xy, n) || !SetUp(area, cw, ch, false)) return false;
        Seeds seeds(Cells());
        for (int i = 0; i < n; ++i) SeedInt(xy[2 * i], xy[2 * i + 1], &seeds);
        GrowDistances(&seeds);
        return true;
    }

    bool DistanceFromPolyline(const POINT2* pts, int n, const REGION* area, int cw, int ch, bool closed) override
    {
        if (!Valid("DistanceFromPolyline", area, cw, ch, pts, n) || !SetUp(area, cw, ch, false)) return false;
        Seeds seeds(Cells());
        SeedPolyline(pts, n, closed, &seeds);
        GrowDistances(&seeds);
        return true;
    }

    bool DistanceFromSegments(CPolySeg* seg, bool fromFirst, const REGION* area, int cw, int ch) override
    {
        if (!seg) return Fail("DistanceFromSegments", "no polygon segments"), false;
        if (!Valid("DistanceFromSegments", area, cw, ch, seg, 0) || !SetUp(area, cw, ch, false)) return false;
        Seeds seeds(Cells());
        SeedSegments(seg, fromFirst, &seeds);
        GrowDistances(&seeds);
        return true;
    }

private:
    // The seed queues of one operation: cell indexes and labels.
    struct Seeds {
        explicit Seeds(int cells) : pos(cells / 2 + 1), labels(cells / 2 + 1) {}
        CIntQueue pos;
        CIntQueue labels;
        int label = 1;
    };

    static constexpr int kMaxDist = 10000;

    static void Fail(const char* method, const char* why)
    {
        Logger::log("ERROR CSeedGrow::%s %s", 1, method, why);
    }

    // A usable area and cell size, and seeds to go with a positive count.
    bool Valid(const char* method, const REGION* area, int cw, int ch, const void* seeds, int n) const
    {
        if (!area) return Fail(method, "no area"), false;
        if (cw <= 0 || ch <= 0) {
            Logger::log("ERROR CSeedGrow::%s cell size %d x %d", 1, method, cw, ch);
            return false;
        }
        if (area->width < 0 || area->height < 0) return Fail(method, "negative area"), false;
        if (n < 0 || (n > 0 && !seeds)) return Fail(method, "bad seed list"), false;
        if (static_cast<int64_t>(area->width / cw) * (area->height / ch) > (int64_t{1} << 30))
            return Fail(method, "grid too large"), false;
        return true;
    }

    int Cells() const { return m_nCols * m_nRows; }

    static std::unique_ptr<T[]> NewMap(int cells)
    {
        std::unique_ptr<T[]> map(new (std::nothrow) T[static_cast<size_t>(cells > 0 ? cells : 1)]());
        if (!map) {
            Logger::log("Allocation error.", 1);
            throw std::bad_alloc();
        }
        return map;
    }

    bool SetUp(const REGION* area, int cw, int ch, bool labels)
    {
        m_region = *area;
        m_cellW = cw;
        m_cellH = ch;
        m_nCols = area->width / cw;
        m_nRows = area->height / ch;
        m_pDist.reset();
        m_pLabel.reset();
        m_pDist = NewMap(Cells());
        if (labels) m_pLabel = NewMap(Cells());
        return true;
    }

    // Seeds on the outer ring of cells are dropped: growth stays inside.
    void Accept(int col, int row, Seeds* seeds)
    {
        if (col <= 0 || col >= m_nCols - 1 || row <= 0 || row >= m_nRows - 1) return;
        seeds->pos.Push(row * m_nCols + col);
        seeds->labels.Push(seeds->label);
        ++seeds->label;
    }

    // Float points map with rounding: a point at x0 lies in column 1.
    void SeedFloat(const POINT2& p, Seeds* seeds)
    {
        const float c = (p.x - static_cast<float>(m_region.x0) + static_cast<float>(m_cellW / 2)) /
                            static_cast<float>(m_cellW) + 0.5f;
        const float r = (p.y - static_cast<float>(m_region.y0) + static_cast<float>(m_cellH / 2)) /
                            static_cast<float>(m_cellH) + 0.5f;
        if (!(std::fabs(c) < 1e9f) || !(std::fabs(r) < 1e9f)) return;
        Accept(static_cast<int>(c), static_cast<int>(r), seeds);
    }

    // Integer points map with integer division: x0 lies in column 0.
    void SeedInt(int x, int y, Seeds* seeds)
    {
        const int64_t c = (static_cast<int64_t>(x) - m_region.x0 + m_cellW / 2) / m_cellW;
        const int64_t r = (static_cast<int64_t>(y) - m_region.y0 + m_cellH / 2) / m_cellH;
        if (c < 0 || r < 0 || c >= m_nCols || r >= m_nRows) return;
        Accept(static_cast<int>(c), static_cast<int>(r), seeds);
    }

    void SeedChain(const POINT2* v, int n, Seeds* seeds)
    {
        int* chain = nullptr;
        int count = 0;
        RasterizePolyline(v, n, 1.0f, nullptr, &chain, &count);
        for (int i = 0; i < count; ++i) SeedInt(chain[2 * i], chain[2 * i + 1], seeds);
        std::free(chain);
    }

    void SeedPolyline(const POINT2* pts, int n, bool closed, Seeds* seeds)
    {
        if (n <= 0) return;
        if (closed) {
            std::vector<POINT2> ring(pts, pts + n);
            ring.push_back(pts[0]);
            SeedChain(ring.data(), n + 1, seeds);
        } else {
            SeedChain(pts, n, seeds);
        }
    }

    // The pieces of every intersection contour between its joints: pairs of
    // joints (s, e) from the first (fromFirst) or the second joint on,
    // skipping every other piece; a piece that passes the contour's end
    // wraps through vertex 0.
    void SeedSegments(CPolySeg* seg, bool fromFirst, Seeds* seeds)
    {
        gpc_polygon* poly = seg->GetIntPolygon();
        SPolySegJts* jts = seg->GetIntPolyJts();
        if (!poly || !jts) return;
        const int i0 = fromFirst ? 0 : 1;
        for (int c = 0; c < poly->count && c < jts->nLists; ++c) {
            const gpc_vertex_list& contour = poly->contours[c];
            const SSegNodeIndexList& list = jts->pLists[c];
            const int n = list.nJoints;
            const int last = contour.count - 1;
            if (n <= 0 || !list.pIndex || !contour.points || last < 0) continue;
            for (int i = i0; i < n + i0; i += 2) {
                const int s = list.pIndex[i % n];
                const int e = list.pIndex[(i + 1) % n];
                if (s < 0 || e < 0 || s > last || e > last) continue;
                if (s < e) {
                    SeedChain(contour.points + s, e - s + 1, seeds);
                    continue;
                }
                if (last - s + 1 > 1) SeedChain(contour.points + s, last - s + 1, seeds);
                const POINT2 closing[2] = {contour.points[last], contour.points[0]};
                SeedChain(closing, 2, seeds);
                if (e + 1 > 1) SeedChain(contour.points, e + 1, seeds);
            }
        }
    }

    // 1 on the interior, 0 on the outer ring.
    std::vector<uint8_t> InteriorMask() const
    {
        std::vector<uint8_t> mask(static_cast<size_t>(Cells()), 0);
        for (int r = 1; r < m_nRows - 1; ++r)
            for (int c = 1; c < m_nCols - 1; ++c) mask[static_cast<size_t>(r * m_nCols + c)] = 1;
        return mask;
    }

    // Breadth-first growth in queue order: a cell takes the label of the
    // first grown neighbour to reach it (neighbours up, left, right, down).
    void GrowLabels(Seeds* seeds)
    {
        std::vector<uint8_t> mask = InteriorMask();
        T* dist = m_pDist.get();
        T* label = m_pLabel.get();
        const int n = seeds->pos.Size();
        for (int i = 0; i < n; ++i) {
            const int32_t c = seeds->pos.Pop();
            seeds->pos.Push(c);
            const int32_t l = seeds->labels.Pop();
            seeds->labels.Push(l);
            mask[static_cast<size_t>(c)] = 2;
            label[c] = static_cast<T>(l);
        }
        const int step[4] = {-m_nCols, -1, 1, m_nCols};
        while (!seeds->pos.Empty()) {
            const int32_t c = seeds->pos.Pop();
            const int32_t l = seeds->labels.Pop();
            for (int k = 0; k < 4; ++k) {
                const int32_t nb = c + step[k];
                if (mask[static_cast<size_t>(nb)] != 1) continue;
                dist[nb] = static_cast<T>(dist[c] + 1);
                label[nb] = static_cast<T>(l);
                seeds->pos.Push(nb);
                seeds->labels.Push(l);
                mask[static_cast<size_t>(nb)] = 0;
            }
        }
    }

    // The same growth without labels; a cell beyond the growth limit is not
    // grown further.
    void GrowDistances(Seeds* seeds)
    {
        std::vector<uint8_t> mask = InteriorMask();
        T* dist = m_pDist.get();
        const int n = seeds->pos.Size();
        for (int i = 0; i < n; ++i) {
            const int32_t c = seeds->pos.Pop();
            seeds->pos.Push(c);
            mask[static_cast<size_t>(c)] = 2;
        }
        const int step[4] = {-m_nCols, -1, 1, m_nCols};
        while (!seeds->pos.Empty()) {
            const int32_t c = seeds->pos.Pop();
            if (static_cast<int64_t>(dist[c]) > m_maxDist) continue;
            for (int k = 0; k < 4; ++k) {
                const int32_t nb = c + step[k];
                if (mask[static_cast<size_t>(nb)] != 1) continue;
                dist[nb] = static_cast<T>(dist[c] + 1);
                seeds->pos.Push(nb);
                mask[static_cast<size_t>(nb)] = 0;
            }
        }
    }

    std::unique_ptr<T[]> m_pLabel;
    std::unique_ptr<T[]> m_pDist;
    int32_t m_nCols = 0;
    int32_t m_nRows = 0;
    int32_t m_cellW = 0;
    int32_t m_cellH = 0;
    REGION m_region{};
    int32_t m_maxDist = kMaxDist;
};

// The three builds of the grower, one per cell type.
using CSeedGrow8 = CSeedGrow<uint8_t>;
using CSeedGrow16 = CSeedGrow<int16_t>;
using CSeedGrow32 = CSeedGrow<int32_t>;

}  // namespace

ISeedGrow8* CreateSeedGrow8() { return new (std::nothrow) CSeedGrow8(); }
ISeedGrow16* CreateSeedGrow16() { return new (std::nothrow) CSeedGrow16(); }
ISeedGrow32* CreateSeedGrow32() { return new (std::nothrow) CSeedGrow32(); }
