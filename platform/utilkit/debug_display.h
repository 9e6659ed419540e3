// Debug display of the utility module: named debug windows that show
// intermediate images, points and boxes of the alignment and segmentation
// code, and the bridge through which those libraries reach the marker
// groups and curves of the main program's image windows.
//
// Everything here is inert (no effect, null or 0 results) unless
// GetDebugDispFlag() is on. When on, every debug window is kept as a BGR
// canvas and written to "<debug folder>/<window name>.ppm" after each change,
// so a run can be inspected without a screen.
#pragma once

#include "core/geometry_records.h"
#include "core/win_types.h"

#include <string>

class Image;
class Marker;
class TwoDCurves;
struct StitchSettings;

// The switch: off at start unless FENDRAKE_DEBUG_DISP is set to a nonzero
// number.
int GetDebugDispFlag();
void SetDebugDispFlag(int on);
// Where the windows are written: FENDRAKE_DEBUG_DIR, else the "debug"
// folder beside the log.
std::string GetDebugDispFolder();
void SetDebugDispFolder(const char* folder);

// Debug windows. Creating a window of an existing name clears it.
bool CreateImageWindow(int width, int height, const char* name);
const char* GetNameDebugWin0();
const char* GetNameDebugWin1();
const char* GetNameDebugWin2();
// Copies the part `rect` of an 8-bit image of 1 or 3 channels (all of it
// when null; right and bottom excluded) into the window with its top-left
// at (x, y). A window not yet created is made big enough.
void DisplayImageWin0(const Image* image, const RECT* rect, int x, int y);
void DisplayImageWin1(const Image* image, const RECT* rect, int x, int y);
void DisplayImageWin2(const Image* image, const RECT* rect, int x, int y);
void DisplayImageWin(const char* name, const Image* image, const RECT* rect, int x, int y);
// The closed contour through the n points, each at (x + scale px,
// y + scale py), in debug window 0. 1 when drawn, 0 otherwise.
int DrawOnePt2Array(const POINT2* points, int n, int x, int y, float scale, int colour);
// The outline of `box`, scaled and offset the same way, in `window`.
int DrawRegion(const REGION* box, int x, int y, float scale, int colour, const char* window);
// Reads a pixel of a debug window (0x00BBGGRR), CLR_INVALID-like 0xFFFFFFFF
// outside it or when the window does not exist; for tests and tools.
COLORREF GetDebugWindowPixel(const char* name, int x, int y);

// The bridge to the main program. It registers its callbacks once; until it
// does (and while the flag is off) the calls answer null or 0.
using CreateMarkerGroupFn = Marker* (*)(int id, const char* window, int x, int y);
using GetMarkerGroupFn = Marker* (*)(int id, const char* window);
using DeleteMarkerGroupFn = int (*)(int id, const char* window);
using Get2DCurvsFn = TwoDCurves* (*)(const char* window);
using DeleteCurvesFn = int (*)(int start, int end, const char* window);
using GetStitchParamFn = StitchSettings* (*)();

void SetCreateMarkerGroup(CreateMarkerGroupFn fn);
void SetGetMarkerGroup(GetMarkerGroupFn fn);
void SetDeleteMarkerGroup(DeleteMarkerGroupFn fn);
void SetGet2DCurvs(Get2DCurvsFn fn);
void SetDeleteCurves(DeleteCurvesFn fn);
void SetGetStitchParam(GetStitchParamFn fn);

// An empty marker group `id` of the named window with display offset (x, y).
Marker* CreateMarkerGroup(int id, const char* window, int x, int y);
Marker* GetMarkerGroup(int id, const char* window);
int DeleteMarkerGroup(int id, const char* window);
TwoDCurves* Get2DCurvs(const char* window);
// Removes the curves start..end-1 of the named window (0, 0: all).
int DeleteCurves(const char* window, int start, int end);
// The main program's stitch settings; not a debug display call, so it
// answers whenever a getter is registered.
StitchSettings* GetStitchParam();
