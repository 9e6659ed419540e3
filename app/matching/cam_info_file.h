// Camera-information files: the current text form ("<name>.camInfo" in the
// camera-info folder, or a share-library copy ending ".camInfo_"), the legacy
// rows the camera wizard wrote (".txt" in the program's CameraInfo folder),
// the writers and the folder operations of the share library. The
// CamInfo loaders themselves are members of CamInfo (cam_info.h).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

class ExifInfo;
struct DistortionRecord;

// The folders, built on the first call of each (created when missing). The
// legacy folder ends with its separator; the others do not.
std::string CamInfoFolder();
std::string CamInfoShareLibFolder();
std::string LegacyCamInfoFolder();

// Writes a complete camera-information file; false only without a file.
// A version below 0 writes no "[Version]" line.
bool WriteCamInfo(FILE* file, bool madeByTool, const char* comment, const char* externalLens, const ExifInfo* exif,
                  const DistortionRecord* correction, bool withDistortion, bool withColor, float focalLength,
                  float version);
// WriteCamInfo into `fileName` in the camera-info folder.
bool SaveCamInfo(const char* fileName, bool madeByTool, const char* comment, const char* externalLens,
                 const ExifInfo* exif, const DistortionRecord* correction, bool withDistortion, bool withColor,
                 float focalLength, float version);
// Opens `fileName` in the camera-info folder for writing; on failure the
// user is told and null is returned.
FILE* OpenCamInfoForWrite(const char* fileName);

// The legacy rows hide their numbers: pairs of bytes swapped, then the first
// and third byte of each triple, then bits 0 and 4 of every byte.
void ScrambleRow(char* text, size_t length);
void UnscrambleRow(char* text, size_t length);

// Removes the files and the subfolders (but those starting with ".") of
// `folder`, and the folder itself unless keepFolder. True for a folder that
// does not exist; false when something could not be removed or the folder
// cannot be entered.
bool DeleteFolderTree(const char* folder, bool keepFolder);
// Copies the tree of `source` into `destination`, creating missing
// subfolders and never overwriting a file. False (with a message box) when
// the source cannot be entered or is empty, or when a copy fails.
bool CopyFolderTree(const char* source, const char* destination);

// One whole line of any length with its line end; false at the end of file.
bool ReadTextLine(FILE* file, std::string& line);
