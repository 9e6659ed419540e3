// The document of an image-pair window: the two frames of the pair being
// aligned. Shown by the marker view (CImagePairView) or the overlap view
// (COverlapPair); the pair-views issue fills in both views.
#pragma once

#include "platform/win/doc_view.h"

class ImageFrame;

class CImagePairDoc : public CDocument {
public:
    void SetImagePair(ImageFrame* a, ImageFrame* b, int mode);
    ImageFrame* GetFrameA() const { return m_a; }
    ImageFrame* GetFrameB() const { return m_b; }

private:
    ImageFrame* m_a = nullptr;
    ImageFrame* m_b = nullptr;
};

class CImagePairView : public CView {
public:
    void OnDraw(CDC*) override {}
};

class COverlapPair : public CView {
public:
    void OnDraw(CDC*) override {}
};
