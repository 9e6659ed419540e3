// The document of an image-pair window: the two frames of the pair being
// aligned. Shown by the marker view (CImagePairView) or the overlap view
// (COverlapPair). The markers, curves and alignment the views edit live in
// the frames' links; the document stores nothing of its own.
#pragma once

#include "platform/win/doc_view.h"

#include <string>

class ImageFrame;

class CImagePairDoc : public CDocument {
public:
    CImagePairDoc() = default;
    ~CImagePairDoc() override = default;
    CImagePairDoc(const CImagePairDoc&) = delete;
    CImagePairDoc& operator=(const CImagePairDoc&) = delete;

    // Stores both frames and loads the photograph of each frame that has none
    // (first, then second; a frame whose file cannot be loaded stays without
    // one). A given title is copied.
    void SetImagePair(ImageFrame* first, ImageFrame* second, const std::string* title = nullptr);
    ImageFrame* GetFrameA() const { return m_a; }
    ImageFrame* GetFrameB() const { return m_b; }
    const std::string& GetPairTitle() const { return m_title; }

private:
    ImageFrame* m_a = nullptr;  // not owned
    ImageFrame* m_b = nullptr;  // not owned
    std::string m_title;
};
