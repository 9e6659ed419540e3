// Loading images for the program's windows: a photograph or a panorama file
// by path (a panorama opens its own window), thumbnails for the browser and
// the tour maker, stamps for the tray, and opening an image in an image
// window. All on the user-interface thread.
#pragma once

#include "core/win_types.h"

struct TessivPanoramaValues;
class CImageDoc;
class Image;

// 0 when a panorama of that path is open already or the file cannot be read
// (out stays null); 1 for a plain image (one reference for the caller); 2
// for a panorama, which is opened in its window (no image returned);
// negative values as the file front door gives them.
int LoadImage(const char* path, Image** out);
// A thumbnail of at most `size` pixels, one reference for the caller, or null.
Image* LoadThumbnail(const char* path, int size);
// The same with the file's panorama values.
Image* LoadThumbnailInfo(const char* path, int size, TessivPanoramaValues& values);
// A stamp-size copy at the manager's stamp size, one reference for the caller.
Image* MakeStampImage(Image* image);
// The image window of that name, or null.
CImageDoc* FindImageDoc(const char* name);
// A new image window showing `image` under `name`; false for an empty name
// or one already open. The caller keeps its own reference.
bool OpenImageWindow(Image* image, const char* name);

// A new image window with a black width x height RGB image; false when the
// name is empty or open already, or the size is bad.
bool OpenBlankImageWindow(int width, int height, const char* name);
// Copies the image's rectangle to (x, y) of the named window, when it exists.
void ShowImageInWindow(Image* image, const RECT* rect, int x, int y, const char* name);

// The records with which the diagnostics callbacks pass their arguments, in
// their order, to the user-interface thread (message 0x814D's lParam).
struct DebugBlankWindowRecord {   // request 1
    int width;
    int height;
    const char* name;
};
struct DebugShowRegionRecord {    // request 2
    Image* image;
    const RECT* rect;
    int x;
    int y;
    const char* name;
};
struct DebugMarkerGroupRecord {   // request 3
    int id;
    const char* name;
    int x;
    int y;
};
struct DebugGroupIdRecord {       // requests 4 and 5
    int id;
    const char* name;
};
struct DebugDeleteCurvesRecord {  // request 7
    int start;
    int end;
    const char* name;
};

// Performs a request of the diagnostics module on the user-interface thread
// (the main frame's handler of 0x814D): 1 open a blank window, 2 copy an
// image region, 3 create or empty a marker group, 4 get one, 5 delete one,
// 6 get or create the curves (the argument is the window name itself),
// 7 delete curves. A request naming no open window, or an unknown request,
// does nothing and answers 0.
long DispatchDebugRequest(int request, void* arguments);
// Hands the diagnostics module its callbacks (once, by the main frame).
void RegisterDebugCallbacks();
// Exported for the diagnostics module; does nothing.
void OpenDebugWin();
