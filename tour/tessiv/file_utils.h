// Folder and file helpers of the tour publisher: empty and remove the
// previous tour's folders, copy template media folders into the tour, copy
// a skin's style file into the tour page, name files by their last path
// component and write relative references from the tour folder to files
// elsewhere. Paths are Windows paths as the dialog holds them; both "\\"
// and "/" separate components wherever a path is split.
#pragma once

#include <cstdio>
#include <string>

// The part after the last separator (the whole text without one); null for
// null.
const char* FileNamePart(const char* path);

// Splits at the last separator into the folder before it and the name after
// it; false (outputs untouched) when there is none or it is the first
// character.
bool SplitPath(const char* path, std::string& folder, std::string& name);

// Deletes everything inside `folder` (read-only files too), and the folder
// itself unless `keep`. Entries whose names begin with "." are not entered.
// True for a folder that does not exist. With `keep`, true when everything
// that was to go went; without, whether the folder was removed. A link to a
// folder is removed as a link: what it points to is never touched.
bool ClearFolder(const char* folder, bool keep);

// Copies the contents of `source` into the existing folder `destination`,
// folders recursively (made when missing), never overwriting a file that is
// already there. Shows "Cannot get folder:\n" or "Empty folder:\n" with the
// source and returns false when the source cannot be read; a file that could
// not be copied (one already there is not a failure) shows "Cannot copy
// file:\n" with its destination and makes the result false, after the rest
// was copied.
bool CopyFolder(const char* source, const char* destination);

// Appends the text file at `path` to `output`; shows "Cannot open file:\n"
// with the path and returns false when it cannot be opened.
bool CopyTextFile(const char* path, FILE* output);

// A reference from the folder `base` to the folder `target` on the same
// drive, without regard to case: "" for the same folder, "b\\c" below it,
// "../.." above it, "../../pics" beside. False for another drive or when the
// two share no folder. The text comes from `target` as given.
bool RelativeFolder(const char* base, const char* target, std::string& out);

// The reference from `base` to `file`: the relative folder, "\\" and the
// file name; a file in `base` itself gives its bare name (a leading "\\"
// would name the drive's root). The joint
// stays a backslash (the dialog and the project compare these texts); every
// writer that puts such a path into a page, a script or a parameter file
// turns each "\\" into "/", which browsers and viewers understand.
bool RelativeFilePath(const char* file, const char* base, std::string& out);

// Skins of the Java tour page (the publish settings keep the index).
const char* SkinName(int skin);  // 0 "porcelain", 1 "marble"; null otherwise
// "QuorvaneTour_media_" + skin name: the tour's media folder.
std::string MediaFolderName(int skin);
// root + "\\QuorvaneTour_media\\" + skin + "\\s0", root = program folder +
// "\\" + template folder.
std::string SkinMediaFolder(const char* programFolder, const char* templateFolder, int skin);
// root + "\\QuorvaneTour_media\\" + skin + "\\" + skin + ".txt".
std::string SkinStyleFile(const char* programFolder, const char* templateFolder, int skin);
