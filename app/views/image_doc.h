// The document of an image window: one image (one reference held) under a
// name that is unique among the open image windows and is also the title,
// plus what the diagnostics module draws into it: marker groups, 2-D curves
// and a text layer. The document has no file of its own.
#pragma once

#include "core/win_types.h"
#include "platform/win/doc_view.h"
#include "projectgraph/curvekit/marker.h"

#include <cstdint>
#include <string>
#include <vector>

class Image;
class TwoDCurves;
class TextLayer;

// A marker set with an identifier (unique within its document) and a display
// offset in image pixels: the view draws its markers shifted by the offset.
class MarkerGroup : public Marker {
public:
    MarkerGroup(int32_t id, int16_t x, int16_t y) : m_id(id), m_offsetX(x), m_offsetY(y) {}
    int32_t GetId() const { return m_id; }
    int16_t GetOffsetX() const { return m_offsetX; }
    int16_t GetOffsetY() const { return m_offsetY; }

private:
    int32_t m_id;
    int16_t m_offsetX;
    int16_t m_offsetY;
};

class CImageDoc : public CDocument {
public:
    CImageDoc() = default;
    ~CImageDoc() override;
    CImageDoc(const CImageDoc&) = delete;
    CImageDoc& operator=(const CImageDoc&) = delete;

    Image* GetImage() const { return m_image; }
    // Drops the old image's reference and holds the new one.
    void SetImage(Image* image);
    void SetImageAndName(Image* image, const char* name);
    const std::string& GetName() const { return m_name; }
    // A new width x height RGB image under that name; false when the image
    // cannot be made (bad size, no memory).
    bool InitBlank(int width, int height, const char* name);
    // Copies the source's rectangle (inclusive, as left/top/right/bottom)
    // into the document image at (x, y), then updates all views.
    void CopyImageRegion(Image* source, const RECT* rect, int x, int y);

    // The group with that identifier, or a new empty one appended.
    MarkerGroup* AddMarkerGroup(int id, int x, int y);
    MarkerGroup* FindMarkerGroup(int id) const;
    // Removes the group keeping the order of the others.
    void RemoveMarkerGroup(int id);
    int GetMarkerGroupCount() const { return static_cast<int>(m_groups.size()); }
    MarkerGroup* GetMarkerGroupAt(int i) const { return m_groups[static_cast<size_t>(i)]; }
    bool ToggleMarkerIndex();
    bool ToggleLineVisibility();
    bool ToggleLineIndex();

    // The curves, created on the first call.
    TwoDCurves* GetCurves();
    TwoDCurves* PeekCurves() const { return m_curves; }
    void AddText(const char* text, int x, int y);
    TextLayer* GetTextLayer() const { return m_textLayer; }

private:
    Image* m_image = nullptr;
    std::string m_name;
    std::vector<MarkerGroup*> m_groups;  // owned
    TwoDCurves* m_curves = nullptr;      // owned
    TextLayer* m_textLayer = nullptr;    // owned
};
