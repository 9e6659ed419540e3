// The one conversion of Windows-style paths ("C:\\data\\IMG_1.JPG",
// "\\Quorvane\\log") into POSIX paths, below both the utility module's
// folder services and the windowing layer's file functions, so that the two
// spell every path alike. Drive letters map to roots kept here (C: is "/"
// until mapped otherwise); an unmapped drive becomes a path that exists
// nowhere rather than some unrelated folder.
#pragma once

#include <cstdint>
#include <string>

namespace utilkit {

// Backslashes become slashes, a drive letter its root, and repeated
// separators collapse (paths are often glued with "\\").
std::string WindowsToPosixPath(const std::string& path);

// Letters are taken without regard to case; an empty root removes the drive.
void MapPathDrive(char letter, const std::string& root);
// Empty when the drive is not mapped.
std::string PathDriveRoot(char letter);
// Bit k set for each mapped drive 'A' + k.
uint32_t MappedDriveMask();
// Back to the single drive C: at "/".
void ResetPathDrives();

}  // namespace utilkit
