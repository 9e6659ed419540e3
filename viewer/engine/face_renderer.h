// The face renderer: fills one flat (gnomonic) face image from the spherical
// world map, once per face when a panorama is opened. The face list cuts its
// cube faces and sectors with it; each frame then maps the faces into the
// view as planes.
#pragma once

#include "imaging/image.h"
#include "worldmap/world_map_base.h"

// Fills `face` (8-bit, 1 to 3 channels) with the map seen in the direction
// (yaw, pitch, roll) through a horizontal field of view `fov` (radians, the
// face's full width). The exact direction is computed every `step` pixels
// and the map position interpolated in between (the engine passes 5); the
// map is sampled bilinearly (`smooth` is kept for the callers: the engine
// always passes true). Face pixels whose direction falls outside the map's
// stored block are 0. A grey map gives grey in every face channel. False
// (face unchanged, an ERROR line) for unusable arguments.
bool RenderFaceFromMap(const WorldMapBase* map, Image* face, float yaw, float pitch, float roll, float fov, int step,
                       bool smooth);

// The face is drawn in tiles of `rows` rows by about `columns` columns
// (whole segments), in the cache's favour; the bytes do not depend on the
// tile. Tests draw with one row by the whole width (the plain row order) to
// compare. Defaults: 16 by 160.
void SetFaceRenderTiles(int rows, int columns);
