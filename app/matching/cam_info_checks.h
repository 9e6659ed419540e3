// Decisions built on the Exif summary of the images in the tray: the summary
// text the stitch settings show, whether a selected camera-information file
// fits the images, and which focal-length source to recommend with the
// choices that stay open to the user.
#pragma once

#include <cstdint>
#include <string>

class ExifSummary;
struct CamInfo;

// The recommended focal-length source and the choices the user may still pick.
struct FocalSourceChoice {
    int32_t choice = 0;               // 0 same unknown, 1 different unknown, 2 known, 3 from Exif
    uint8_t enabled[3] = {0, 0, 0};   // whether choices 0, 1 and 2 may be selected
    int32_t enabledCount = 0;
};

std::string ExifSummaryText(const ExifSummary* summary);

// 1 usable, 0 this file does not fit the images, -1 no camera-information
// file can be used with these images. 0 and -1 show their message box.
int CheckCamInfoAgainstSet(const CamInfo* info, const ExifSummary* summary, bool useExif);

// The recommended choice, also stored in *out.
int ChooseFocalSource(const CamInfo* info, const ExifSummary* summary, FocalSourceChoice* out, bool useExif);

bool CanUseCamInfoForSet(const ExifSummary* summary, bool useExif);
bool HasExifFocalForSet(const ExifSummary* summary, bool useExif);
bool PreferExifFocal(const CamInfo* info, const ExifSummary* summary, bool useExif);
