// The view of an image window: shows its document's image. It is a data
// viewer, so the brightness dialog can take it as its target and address it
// through the notification slot.
#pragma once

#include "platform/win/doc_view.h"
#include "worldmap/data_viewer.h"

#include <cstddef>
#include <string>

class CImageView : public CView, public DataViewer {
public:
    void OnDraw(CDC* dc) override;
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
