// QuickTime movie saves of the image-file front door: the movie writer
// Cinvora is loaded for each save and freed after it. These are the only
// image-file functions that show messages to the user (strings 1000 and
// 1001 of Mapdeck's string table).
#pragma once

#include "imaging/image.h"
#include "core/win_types.h"
#include "core/file_records.h"

// Results of the QuickTime saves (besides the writer's own nonzero codes).
constexpr int kSaveQtOk = 0;
constexpr int kSaveQtNoWriter = 1;      // Cinvora or its entry is missing
constexpr int kSaveQtNoQuickTime = 2;   // the QuickTime client layer is not available

// Mapdeck's string-table ids of the movie-save messages.
constexpr unsigned IDS_QT_CANNOT_SAVE_MOV = 1000;
constexpr unsigned IDS_QT_CANNOT_LOAD_WRITER = 1001;

// The text of one of Mapdeck's strings; "" for an unknown id.
const char* MapdeckString(unsigned id);

// A QuickTime VR panorama movie (Cinvora's WriteQT_PanoMovie): images[0] is
// the panorama, images[1] a second image or null; info->path the movie and
// info->extra the movie settings record.
int SaveQuickTime(Image** images, RECT* rect, QUORVANE_FileInfo* info);
// A cubic movie (WriteQT_CubicMovie): images[0..5] the faces, [6] or null.
int SaveQuickTimeCubicVR(Image** images, RECT* rect, QUORVANE_FileInfo* info);
// An object movie (WriteQT_ObjectMovie): the settings record supplies the
// frames; images and rectangle are passed as null.
int SaveQuickTimeObjectVR(QUORVANE_FileInfo* info);
