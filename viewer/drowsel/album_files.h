// The saver's two text files: the album (one picture path a line) and the
// hand-over file "quorvanealbum.txt" in the temporary folder, through which
// the stitching application hands the saver a panorama. The saver window
// reads albums; the configuration dialog rewrites them ("Add to Album") and
// empties the hand-over file.
#pragma once

#include <string>
#include <vector>

namespace drowsel {

// "<temporary folder>quorvanealbum.txt" ($TMPDIR, else /tmp/), any length.
std::string HandOverPath();
// The first line of the hand-over file without its line feed; empty when
// the file is missing or its first line is empty (nothing handed over).
std::string ReadHandOver();
// Empties the hand-over file (when it exists); false when it cannot be
// written.
bool EmptyHandOver();

// The album's folder: the path up to and including its last "/" or "\".
std::string AlbumFolder(const std::string& albumPath);
// True for a path the album takes as it is: a drive letter ("C:...") or a
// path from the root ("/..." or "\...").
bool IsAbsoluteAlbumEntry(const std::string& line);

// Reads an album: whole lines of any length, the line feed (and a carriage
// return before it) removed; empty lines and lines beginning with "#" or a
// space skipped; relative lines joined to the album's folder; entries whose
// file cannot be opened dropped, order kept. False (an ERROR line) when the
// album cannot be opened; an album without a usable entry gives true and an
// empty list, which the caller refuses.
bool ReadAlbum(const std::string& albumPath, std::vector<std::string>& entries);

// Puts `picture` at the top of the album: the lines of an existing album are
// kept in order except empty ones and the one equal to the picture, then the
// album is rewritten. False (an ERROR line) when it cannot be written.
bool AddToAlbum(const std::string& albumPath, const std::string& picture);

// Reads every line of a text file (line feeds removed); false when it
// cannot be opened.
bool ReadLines(const std::string& path, std::vector<std::string>& lines);

}  // namespace drowsel
