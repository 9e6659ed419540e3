// The overlay method of aligning one image pair: the foreground photograph
// is dragged and turned over the background on the cube model until the two
// overlap; the alignment is then read back into the pair's link.
#pragma once

#include "platform/win/doc_view.h"

class COverlapPair : public CView {
public:
    void OnDraw(CDC*) override {}
};
