// A region of one level of a region tree: its area, mean colour, its place
// in the tree (parent one level up, sons one level down) and its borders.
// Finest-level regions also list their pixels. Drawing paints a level as a
// mosaic of region means.
#pragma once

#include <cstdint>
#include <vector>

class BorderSegment;
class Image;

class CRegion {
public:
    CRegion() = default;
    ~CRegion() = default;
    // Regions own their border array; they move (when a level is sorted)
    // but are not copied.
    CRegion(const CRegion&) = delete;
    CRegion& operator=(const CRegion&) = delete;
    CRegion(CRegion&&) noexcept = default;
    CRegion& operator=(CRegion&&) noexcept = default;

    // Clears every field (selected, no links, no borders).
    void Init();
    // son in front of the son list, its parent this.
    void AddSon(CRegion* son);
    void AddBorder(BorderSegment* b);
    // Appends a pixel index to the pixel list (the tree sizes the list).
    void AddPixelPoint(int pixel);
    CRegion* GetParent() const { return m_pParent; }

    void SetSelected() { m_flags = static_cast<int16_t>(m_flags & ~1); }
    void SetNotSelected() { m_flags = static_cast<int16_t>(m_flags | 1); }
    bool IsSelected() const { return (m_flags & 1) == 0; }
    bool IsNotSelected() const { return (m_flags & 1) != 0; }

    // Paints the region's pixels in its means (truncated on 8-bit images,
    // exact on float images) through its sons when it has no pixel list.
    // `stride` is the row length that splits a pixel index (the tree's W).
    void DrawRegion(int stride, Image* out) const;
    // Paints the pixels under this region (its own list, else its sons')
    // in the given value or colour.
    void DrawRegionSon(int stride, Image* out, float v) const;
    void DrawRegionSon(int stride, Image* out, float r, float g, float b) const;
    // The listed pixels of an 8-bit image, inside it, become v (one byte)
    // or a, b, c (three bytes).
    void DrawRegionU8Y(int stride, Image* out, unsigned char v) const;
    void DrawRegionU8RGB(int stride, Image* out, unsigned char a, unsigned char b, unsigned char c) const;

    int32_t m_area = 0;              // pixels
    int32_t m_id = 0;                // the segmenter's region number (a pixel index)
    float m_mean[3] = {0, 0, 0};     // mean per channel on the 0..255 working scale
    int16_t m_flags = 0;             // bit 0: not selected
    int32_t m_numBorders = 0;        // entries of m_ppBorders
    CRegion* m_pParent = nullptr;
    CRegion* m_pSon = nullptr;       // first son one level down
    int32_t* m_pPixels = nullptr;    // finest level: [0] = n, then n pixel indices (in the tree's store)
    std::vector<BorderSegment*> m_ppBorders;
    CRegion* m_pNext = nullptr;      // next son of the same parent
};
