// Loading images for the program's windows: a photograph or a panorama file
// by path (a panorama opens its own window), thumbnails for the browser and
// the tour maker, stamps for the tray, and opening an image in an image
// window. All on the user-interface thread.
#pragma once

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

// Performs a request of the diagnostics module on the user-interface thread
// (the main frame's handler of 0x814D). No request names an open image
// window until the bridge's callbacks are registered: the answer is 0.
long DispatchDebugRequest(int request, void* arguments);
