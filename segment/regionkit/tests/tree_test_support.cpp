#include "segment/regionkit/tests/tree_test_support.h"

#include "jpeg/jpeg_byte_source.h"
#include "jpeg/jpeg_decoder.h"
#include "testkit/testkit.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <sstream>

namespace treetest {

namespace {

void PutFloat(Image* img, int x, int y, int c, float v)
{
    const size_t step = img->IsInterleaved() ? sizeof(float) * img->GetChannels() : sizeof(float);
    std::memcpy(img->GetData(c) + static_cast<size_t>(y) * img->GetRowByte() + x * step, &v, sizeof v);
}

}  // namespace

Image* FloatImage(int w, int h, int channels, bool planar, const std::function<float(int, int, int)>& f)
{
    Image* img = new Image();
    img->SetSize(w, h);
    img->SetChannels(channels);
    img->SetDataType(IMG_FLOAT);
    if (planar) img->SetDataLayoutType(IMG_FORMAT_PLANAR);
    if (img->Init() != 0) {
        ReleaseImage(img);
        return nullptr;
    }
    for (int c = 0; c < channels; ++c)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) PutFloat(img, x, y, c, f(x, y, c));
    return img;
}

Image* CharImage(const std::vector<std::string>& rows, const std::map<char, float>& value)
{
    const int h = static_cast<int>(rows.size());
    const int w = static_cast<int>(rows[0].size());
    return FloatImage(w, h, 1, false, [&](int x, int y, int) {
        const char ch = rows[y][x];
        const auto it = value.find(ch);
        return it != value.end() ? it->second : static_cast<float>(ch);
    });
}

Image* RandomImage(int w, int h, int channels, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-12.0f, 12.0f);
    std::uniform_int_distribution<int> cx(0, w - 1), cy(0, h - 1);
    std::uniform_real_distribution<float> level(0.0f, 250.0f);
    // A few discs of their own level over a background, plus noise.
    struct Disc {
        int x, y, r;
        float v[3];
    };
    std::vector<Disc> discs(6);
    for (Disc& d : discs) {
        d.x = cx(rng);
        d.y = cy(rng);
        d.r = 2 + static_cast<int>(rng() % static_cast<uint32_t>(std::max(3, std::min(w, h) / 3)));
        for (float& v : d.v) v = level(rng);
    }
    std::vector<float> values(static_cast<size_t>(w) * h * channels);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c) {
                float v = 100.0f + 20.0f * c;
                for (const Disc& d : discs)
                    if ((x - d.x) * (x - d.x) + (y - d.y) * (y - d.y) <= d.r * d.r) v = d.v[c];
                values[(static_cast<size_t>(y) * w + x) * channels + c] = v + noise(rng);
            }
    return FloatImage(w, h, channels, channels == 3, [&](int x, int y, int c) {
        return values[(static_cast<size_t>(y) * w + x) * channels + c];
    });
}

Image* PhotoWindow(const std::string& relative, int x0, int y0, int w, int h)
{
    std::ifstream in(testkit::TestData(relative), std::ios::binary);
    const std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.empty()) return nullptr;
    JpegDecoder decoder(std::make_unique<MemoryByteSource>(data.data(), data.size()), false, false);
    if (!decoder.ReadHeader()) return nullptr;
    Image photo(decoder.OutputWidth(), decoder.OutputHeight(), decoder.Components());
    if (!decoder.DecodeImage(&photo) || photo.GetChannels() != 3) return nullptr;
    if (x0 + w > photo.GetWidth() || y0 + h > photo.GetHeight()) return nullptr;
    return FloatImage(w, h, 3, true, [&](int x, int y, int c) {
        return static_cast<float>(photo.GetData()[static_cast<size_t>(y0 + y) * photo.GetRowByte() + 3 * (x0 + x) + c]);
    });
}

BuiltTree::BuiltTree(Image* image, int finest, int coarsest, int levels) : tree(new CRegTree(image))
{
    ReleaseImage(image);  // the tree holds its own reference
    built = tree->ConstructTree(0, finest, coarsest, levels);
}

BuiltTree::~BuiltTree()
{
    delete tree;
}

std::vector<BorderSegment*> Borders(CRegTree* tree, int level)
{
    std::vector<BorderSegment*> out;
    CRegTree::BorderIterator it(tree, level);
    for (BorderSegment* b = *it; b; ++it, b = *it) out.push_back(b);
    return out;
}

std::vector<int> BorderPoints(BorderSegment* b)
{
    std::vector<int> out;
    BorderSegment::iterator it(b);
    if (it.IsDone()) return out;
    do out.push_back(*it);
    while (++it);
    return out;
}

// ---------------------------------------------------------------------------

namespace {

#define CHECK_OR_FAIL(cond, msg)                                                            \
    do {                                                                                    \
        if (!(cond)) {                                                                      \
            std::ostringstream why;                                                         \
            why << msg;                                                                     \
            return ::testing::AssertionFailure() << "line " << __LINE__ << ": " << why.str(); \
        }                                                                                   \
    } while (0)

struct Geometry {
    int w, h, stride;
    bool OnEdge(int c) const
    {
        const int x = c % stride, y = c / stride;
        return x == 0 || y == 0 || x == w || y == h;
    }
};

// Region index of every pixel on one level.
std::vector<const CRegion*> PixelRegions(CRegTree& tree, int level, int pixels)
{
    std::vector<const CRegion*> out(pixels);
    for (int p = 0; p < pixels; ++p) out[p] = tree.GetRegion(p, level);
    return out;
}

// The id of the crack edge between corners c and d (unit step), -1 otherwise:
// horizontal edges 2 c, vertical edges 2 c + 1, c the upper or left corner.
int64_t CrackId(const Geometry& g, int c, int d)
{
    const int lo = std::min(c, d), hi = std::max(c, d);
    if (hi - lo == 1 && lo % g.stride != g.w) return 2 * int64_t{lo};
    if (hi - lo == g.stride) return 2 * int64_t{lo} + 1;
    return -1;
}

// The two pixels across crack edge `id` (-1 outside the image).
void CrackSides(const Geometry& g, int64_t id, int* a, int* b)
{
    const int c = static_cast<int>(id / 2);
    const int x = c % g.stride, y = c / g.stride;
    auto pixel = [&](int px, int py) { return px < 0 || py < 0 || px >= g.w || py >= g.h ? -1 : py * g.w + px; };
    if (id % 2 == 0) {  // horizontal: above and below
        *a = pixel(x, y - 1);
        *b = pixel(x, y);
    } else {            // vertical: left and right
        *a = pixel(x - 1, y);
        *b = pixel(x, y);
    }
}

::testing::AssertionResult CheckRegions(CRegTree& tree, int level, const Geometry& g)
{
    CRegTree::Level* l = tree.GetLevel(level);
    CHECK_OR_FAIL(l, "level " << level << " missing");
    const int pixels = g.w * g.h;
    int64_t area = 0;
    for (int i = 0; i < l->numRegions; ++i) area += l->regions[i].m_area;
    CHECK_OR_FAIL(area == pixels, "level " << level << " areas sum to " << area);

    if (level == 0) {
        std::vector<int> seen(pixels, 0);
        std::vector<int> mark(pixels, -1);  // region whose walk reached the pixel
        std::vector<int> stack;
        for (int i = 0; i < l->numRegions; ++i) {
            const CRegion& r = l->regions[i];
            CHECK_OR_FAIL(r.m_pPixels && r.m_pPixels[0] == r.m_area, "region " << i << " pixel list");
            for (int k = 1; k <= r.m_pPixels[0]; ++k) {
                const int p = r.m_pPixels[k];
                CHECK_OR_FAIL(p >= 0 && p < pixels, "pixel " << p);
                CHECK_OR_FAIL(k == 1 || p > r.m_pPixels[k - 1], "pixel list not in raster order");
                CHECK_OR_FAIL(tree.GetRegion(p, 0) == &r, "pixel " << p << " region");
                ++seen[p];
            }
            // 4-connected: a walk from its first pixel through pixels of the
            // same region reaches all of them.
            stack.assign(1, r.m_pPixels[1]);
            mark[r.m_pPixels[1]] = i;
            int reached = 0;
            while (!stack.empty()) {
                const int p = stack.back();
                stack.pop_back();
                ++reached;
                const int x = p % g.w, y = p / g.w;
                const int n[4] = {x > 0 ? p - 1 : -1, x + 1 < g.w ? p + 1 : -1, y > 0 ? p - g.w : -1,
                                  y + 1 < g.h ? p + g.w : -1};
                for (int q : n)
                    if (q >= 0 && mark[q] != i && tree.GetRegion(q, 0) == &r) {
                        mark[q] = i;
                        stack.push_back(q);
                    }
            }
            CHECK_OR_FAIL(reached == r.m_area, "region " << i << " is not connected");
        }
        for (int p = 0; p < pixels; ++p) CHECK_OR_FAIL(seen[p] == 1, "pixel " << p << " listed " << seen[p] << " times");
        return ::testing::AssertionSuccess();
    }

    CRegTree::Level* finer = tree.GetLevel(level - 1);
    for (int i = 0; i < finer->numRegions; ++i) {
        const CRegion* p = finer->regions[i].m_pParent;
        CHECK_OR_FAIL(p >= &l->regions[0] && p < &l->regions[0] + l->numRegions,
                      "level " << level - 1 << " region " << i << " has no parent on level " << level);
    }
    for (int i = 0; i < l->numRegions; ++i) {
        const CRegion& r = l->regions[i];
        CHECK_OR_FAIL(r.m_pSon && !r.m_pPixels, "level " << level << " region " << i << " sons");
        int64_t sons = 0;
        for (const CRegion* s = r.m_pSon; s; s = s->m_pNext) {
            CHECK_OR_FAIL(s->m_pParent == &r, "son's parent");
            sons += s->m_area;
        }
        CHECK_OR_FAIL(sons == r.m_area, "level " << level << " region " << i << " sons' areas");
    }
    for (int p = 0; p < pixels; ++p)
        CHECK_OR_FAIL(tree.GetRegion(p, level) == tree.GetRegion(p, level - 1)->m_pParent, "pixel " << p << " up");
    return ::testing::AssertionSuccess();
}

struct Ends {
    int first, last;
};

// Where the chain of a border (through its sons, in chain order) begins and ends.
Ends Span(BorderSegment* b)
{
    if (!b->m_pSon) {
        const std::vector<int> pts = BorderPoints(b);
        return {pts.front(), pts.back()};
    }
    std::vector<BorderSegment*> chain;
    for (BorderSegment* s = b->m_pSon; s; s = s->m_pNext) chain.insert(chain.begin(), s);
    auto along = [](BorderSegment* s) {
        const Ends e = Span(s);
        return s->m_forward ? e : Ends{e.last, e.first};
    };
    return {along(chain.front()).first, along(chain.back()).last};
}

::testing::AssertionResult CheckJunctions(CRegTree& tree, int level)
{
    CRegTree::Level* l = tree.GetLevel(level);
    std::map<const Junction*, std::multiset<const BorderSegment*>> ends;
    for (int i = 0; i < l->borders->GetLength(); ++i) {
        BorderSegment* b = l->Border(i);
        const Ends span = Span(b);
        if (b->m_pJunction1) {
            ends[b->m_pJunction1].insert(b);
            CHECK_OR_FAIL(b->m_pJunction1->m_pos == span.first,
                          "level " << level << " border " << i << " first junction at " << b->m_pJunction1->m_pos
                                   << ", border starts at " << span.first);
        }
        if (b->m_pJunction2) {
            ends[b->m_pJunction2].insert(b);
            CHECK_OR_FAIL(b->m_pJunction2->m_pos == span.last, "level " << level << " border " << i << " last junction");
        }
    }
    for (int i = 0; i < l->junctions->GetLength(); ++i) {
        const Junction* j = l->JunctionAt(i);
        std::multiset<const BorderSegment*> slots;
        for (const BorderSegment* s : j->m_pBorder)
            if (s) slots.insert(s);
        CHECK_OR_FAIL(slots == ends[j], "level " << level << " junction " << i << " at " << j->m_pos << " holds "
                                                 << slots.size() << " borders, " << ends[j].size() << " end there");
        CHECK_OR_FAIL(slots.size() >= 2, "level " << level << " junction " << i << " has " << slots.size() << " borders");
        if (j->m_pUp) CHECK_OR_FAIL(j->m_pUp->m_pos == j->m_pos, "junction up moved");
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult CheckFinestBorders(CRegTree& tree, const Geometry& g)
{
    CRegTree::Level* l = tree.GetLevel(0);
    const int pixels = g.w * g.h;
    std::vector<const CRegion*> region = PixelRegions(tree, 0, pixels);
    // Every crack between two regions, and its uses by the borders.
    std::map<int64_t, int> cracks;
    for (int y = 0; y < g.h; ++y)
        for (int x = 0; x < g.w; ++x) {
            const int p = y * g.w + x;
            if (x > 0 && region[p] != region[p - 1]) cracks[2 * int64_t{y * g.stride + x} + 1] = 0;
            if (y > 0 && region[p] != region[p - g.w]) cracks[2 * int64_t{y * g.stride + x}] = 0;
        }
    auto crackCount = [&](int c) {
        int n = 0;
        for (int64_t id : {2 * int64_t{c}, 2 * int64_t{c - 1}, 2 * int64_t{c} + 1, 2 * int64_t{c - g.stride} + 1})
            n += cracks.count(id) ? 1 : 0;
        return n;
    };
    for (int i = 0; i < l->borders->GetLength(); ++i) {
        BorderSegment* b = l->Border(i);
        CHECK_OR_FAIL(b->m_pStore && !b->m_pSon && b->m_pRegion1 != b->m_pRegion2,
                      "finest border " << i << " store, sons or regions");
        std::vector<int> pts = BorderPoints(b);
        CHECK_OR_FAIL(pts.size() >= 2, "border " << i << " has " << pts.size() << " points");
        const bool loop = !b->m_pJunction1 && !b->m_pJunction2 && !g.OnEdge(pts.front());
        if (loop) {
            pts.push_back(pts.front());
        } else {
            CHECK_OR_FAIL(b->m_pJunction1 || g.OnEdge(pts.front()), "border " << i << " starts nowhere");
            CHECK_OR_FAIL(b->m_pJunction2 || g.OnEdge(pts.back()), "border " << i << " ends nowhere");
        }
        for (int end : {pts.front(), pts.back()})
            if (crackCount(end) >= 3) CHECK_OR_FAIL(b->m_pJunction1 || b->m_pJunction2, "junction corner without junction");
        for (size_t k = 1; k < pts.size(); ++k) {
            const int64_t id = CrackId(g, pts[k - 1], pts[k]);
            CHECK_OR_FAIL(id >= 0, "border " << i << " step " << pts[k - 1] << " -> " << pts[k] << " is no lattice step");
            const auto it = cracks.find(id);
            CHECK_OR_FAIL(it != cracks.end(), "border " << i << " runs along no crack at " << pts[k - 1]);
            ++it->second;
            int a = -1, c = -1;
            CrackSides(g, id, &a, &c);
            CHECK_OR_FAIL(a >= 0 && c >= 0, "crack on the image edge");
            const std::set<const CRegion*> sides{region[a], region[c]};
            const std::set<const CRegion*> named{b->m_pRegion1, b->m_pRegion2};
            CHECK_OR_FAIL(sides == named, "border " << i << " separates other regions at " << pts[k - 1]);
        }
    }
    for (const auto& [id, uses] : cracks) CHECK_OR_FAIL(uses == 1, "crack " << id << " used " << uses << " times");
    for (int i = 0; i < l->junctions->GetLength(); ++i) {
        const int n = crackCount(l->JunctionAt(i)->m_pos);
        CHECK_OR_FAIL(n >= 3, "junction on a corner of " << n << " cracks");
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult CheckCoarserBorders(CRegTree& tree, int level)
{
    CRegTree::Level* l = tree.GetLevel(level);
    CRegTree::Level* finer = tree.GetLevel(level - 1);
    std::set<const BorderSegment*> mine;
    for (int i = 0; i < l->borders->GetLength(); ++i) mine.insert(l->Border(i));
    for (int i = 0; i < finer->borders->GetLength(); ++i) {
        BorderSegment* b = finer->Border(i);
        const bool apart = b->m_pRegion1->m_pParent != b->m_pRegion2->m_pParent;
        CHECK_OR_FAIL(apart == (b->m_pParent != nullptr), "level " << level - 1 << " border " << i << " parent");
        if (b->m_pParent) CHECK_OR_FAIL(mine.count(b->m_pParent), "parent on another level");
    }
    for (int i = 0; i < l->borders->GetLength(); ++i) {
        BorderSegment* n = l->Border(i);
        CHECK_OR_FAIL(n->m_pSon && !n->m_pStore && n->m_pRegion1 != n->m_pRegion2, "level " << level << " border " << i);
        const std::set<const CRegion*> named{n->m_pRegion1, n->m_pRegion2};
        std::vector<BorderSegment*> chain;
        for (BorderSegment* s = n->m_pSon; s; s = s->m_pNext) {
            CHECK_OR_FAIL(s->m_pParent == n, "son's parent");
            const std::set<const CRegion*> up{s->m_pRegion1->m_pParent, s->m_pRegion2->m_pParent};
            CHECK_OR_FAIL(up == named, "level " << level << " border " << i << " son separates other regions");
            chain.insert(chain.begin(), s);
        }
        for (size_t k = 1; k < chain.size(); ++k) {
            const Ends a = Span(chain[k - 1]), b = Span(chain[k]);
            const int aEnd = chain[k - 1]->m_forward ? a.last : a.first;
            const int bStart = chain[k]->m_forward ? b.first : b.last;
            CHECK_OR_FAIL(aEnd == bStart, "level " << level << " border " << i << " sons " << k - 1 << ", " << k
                                                   << " do not join (m_forward)");
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

::testing::AssertionResult CheckTree(CRegTree& tree)
{
    int w = 0, h = 0;
    tree.GetDimension(w, h);
    const Geometry g{w, h, w + 1};
    CHECK_OR_FAIL(tree.GetNumLevels() >= 1, "no levels");
    for (int level = 0; level < tree.GetNumLevels(); ++level) {
        if (auto r = CheckRegions(tree, level, g); !r) return r;
        if (level == 0) {
            if (auto r = CheckFinestBorders(tree, g); !r) return r;
        } else {
            if (auto r = CheckCoarserBorders(tree, level); !r) return r;
        }
        if (auto r = CheckJunctions(tree, level); !r) return r;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace treetest
