// The view of an image window: shows its document's image. It is a data
// viewer, so the brightness dialog can take it as its target and address it
// through the notification slot.
#pragma once

#include "platform/win/doc_view.h"
#include "viewkit/data_viewer_wnd.h"

#include <cstddef>
#include <string>

class CImageView : public CScrollView, public DataViewerWnd {
public:
    // Puts the document's image into the view's cell layer (the document
    // then holds the cell) and composes the screen image at zoom 1.
    void OnInitialUpdate() override;
    void OnDraw(CDC* dc) override;
    // Zooms to z; false when the zoom did not change.
    bool ZoomTo(float z);
    // The toolbar's step of 0.05, applied only up to 2.1 (in) or down to
    // 0.2 (out).
    bool ZoomStep(bool in);
    float GetZoom() const;
    // "name (percent%)".
    void UpdateTitle();
    // Events 1-14 change the current cell's appearance and repaint; 18
    // copies the document name into the caller's buffer (capacity in its
    // second byte); 20 writes the last changed channel through the
    // parameter. All answer 0.
    int Notify(int event, WorldMap* map, std::uintptr_t param) override;
};

// Copies `name` into `buffer`, whose second byte holds its capacity c as an
// unsigned byte: at most c - 1 characters and a zero byte; nothing at all
// when c is 0.
void CopyNameToQueryBuffer(const std::string& name, char* buffer);

// The zoom that fits an image of width x height into an area of W x H: the
// smaller ratio, never below 0.1.
float FitZoom(int areaWidth, int areaHeight, int width, int height);
