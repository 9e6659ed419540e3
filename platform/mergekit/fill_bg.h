// Background fill of the merging module: after a blend the samples no frame
// reached (a first sample of 0) take the value of the nearest covered sample
// along their row; a row without any covered sample copies the nearest row
// that has one. The blending driver calls it on the finished map and on the
// perspective picture.
#pragma once

#include "core/win_types.h"

class Image;
class WorldMap;

// rect (pixels, right and bottom exclusive) limits the fill; null: the
// whole picture. False, with an ERROR line, for an unusable picture.
bool FillImageBg(Image* img, const RECT* rect);
// The same on the map's samples.
bool FillWorldMapBg(WorldMap* map, const RECT* rect);

// The fill on raw rows (exposed for the map and the picture alike): rows of
// `width` pixels of `channels` bytes, `stride` bytes apart.
void FillBackgroundRows(unsigned char* data, int width, int height, int channels, long stride, const RECT* rect);
