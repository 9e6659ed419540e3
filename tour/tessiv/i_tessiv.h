// The tour maker as the stitching application sees it: it opens its dialog
// beside the main frame, is handed panoramas picked in the image browser, and
// reports back by posting a message to the parent (wParam 1: open the
// browser to pick a panorama, 2: the dialog closed).
#pragma once

#include "platform/win/win_defs.h"

class CWnd;
class Image;

// The panorama values of a picked file, as the thumbnail loader gives them.
struct TessivPanoramaValues {
    int kind = 0;
    int fullWidth = 0;
    int fullHeight = 0;
    int equatorWidth = 0;
    int column = 0;
    int row = 0;
};

class ITessiv {
public:
    virtual ~ITessiv() = default;
    virtual bool Open(const char* programDir, CWnd* parent, UINT notifyMessage) = 0;
    // The thumbnail stays the caller's; the tour maker takes its own reference.
    virtual void AddVista(Image* thumbnail, const char* fileName, const TessivPanoramaValues& values) = 0;
    // Closes the tour maker and destroys the object.
    virtual void Close() = 0;
};

// Made by the tour maker's library.
ITessiv* CreateTessiv();
