// Run-time loading of the suite's modules by their Windows file names: a
// library asks for "Jpegkit.dll" and gets libJpegkit.so. The world-map
// library binds its codecs and the movie writer through these calls.
#pragma once

#include "platform/win/win_defs.h"

using FARPROC = void (*)();  // cast to the entry's real type before the call

// Loads a module by file name ("X.dll" becomes libX.so through
// win::LibraryFileName; other names are kept). A bare name is searched in this order:
// the folder of the library that makes the call, the folder set by
// SetDllDirectoryA, the folder of the program, then the dynamic linker's
// own path (LD_LIBRARY_PATH, the system folders). A name with a folder
// ('/' or '\\') is loaded from that folder only. Null when it cannot be
// loaded; each successful call must be paired with FreeLibrary.
HMODULE LoadLibraryA(const char* fileName);
inline HMODULE LoadLibrary(const char* fileName) { return LoadLibraryA(fileName); }

// The exported entry of that name, or null.
FARPROC GetProcAddress(HMODULE module, const char* name);

// Drops one load of the module; TRUE on success.
BOOL FreeLibrary(HMODULE module);

// Adds one folder to the search (null or "" removes it); nonzero on success.
int SetDllDirectoryA(const char* folder);
