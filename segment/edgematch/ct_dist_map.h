// Border distance map of one level of a region tree, for chamfer matching of
// contours: over the corner lattice of the tree's image, 1 on the level's
// border points and on the lattice frame, k + 1 at k four-connected steps from
// the nearest of them up to cap - 1 steps, 0 farther away. CCtCCMaps samples
// it at the mapped borders of a second tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CRegTree;

class CCtDistMap {
public:
    explicit CCtDistMap(CRegTree* tree);
    CCtDistMap(const CCtDistMap&) = delete;
    CCtDistMap& operator=(const CCtDistMap&) = delete;

    // The map of `level` (kept within the tree's levels) with `cap`, which
    // signed-byte values hold from 1 to 127 (kept to that, with an ERROR line
    // when outside). False with an ERROR line for a tree without levels, or
    // when memory runs out (the map is then empty).
    bool Make(int level, int cap);
    // Shows the map in debug window 0 at (x, y), scaled from 0 to cap + 1.
    void Show(int x, int y) const;

    CRegTree* GetTree() const { return m_pTree; }
    int GetLevel() const { return m_level; }
    int GetCap() const { return m_cap; }
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    const int8_t* GetMap() const { return m_map.empty() ? nullptr : m_map.data(); }
    // The value at lattice point (x, y); 0 outside.
    int At(int x, int y) const
    {
        return x < 0 || y < 0 || x >= m_width || y >= m_height ? 0 : m_map[static_cast<size_t>(y) * m_width + x];
    }

private:
    CRegTree* m_pTree;
    int m_level = 0;
    std::vector<int8_t> m_map;
    int m_width = 0;   // W + 1
    int m_height = 0;  // H + 1
    int m_cap = 0;
};
