// Cinvora: the QuickTime VR movie writer. Three exports, loaded by ordinal
// by the world-map library for each movie save: a cylindrical panorama, a
// cubic panorama and an object movie. Each returns 0 on success and 1 on
// failure (with an ERROR line in the log). The target is info->path; the
// settings are info->extra (MovieSettings, or ObjectMovieSettings).
#pragma once

#include "imaging/image.h"
#include "core/file_records.h"
#include "core/win_types.h"
#include "platform/quicktime/movie_toolbox.h"

#include <string>

extern "C" {
// images[0] the panorama (1 or 3 channels), images[1] an optional 1-channel
// hot-spot picture; rect the inclusive columns and rows to use.
int WriteQT_PanoMovie(Image** images, RECT* rect, QUORVANE_FileInfo* info);
// faces[0..5] six faces of one size; faces[6..11] hot-spot faces or faces[6] null.
int WriteQT_CubicMovie(Image** faces, RECT* unused, QUORVANE_FileInfo* info);
// Frames from info->extra's ObjectMovieSettings frame source.
int WriteQT_ObjectMovie(Image** unused, RECT* unused2, QUORVANE_FileInfo* info);
}

namespace cinvora {

// Codec quality of a settings quality code, and compressor of a codec code.
CodecQ QualityOfCode(int code);
OSType CompressorOfCode(int code);

// The temporary files of a save next to `target`: the image movie (target
// + "@"), the hot-spot movie (target + "#") and the unflattened VR movie
// (last character replaced by "t", or "@" when it is a "t"). A name whose
// file already exists is replaced by a fresh unique name in the same folder
// (the user's file is never touched).
struct TempFiles {
    std::string imageMovie, hotSpotMovie, vrMovie;
};
std::string PlannedVrMovieName(const std::string& target);
// A name for a temporary file: `wanted` when no file has it, else a new
// unique file "wanted.XXXXXX" made in the same folder. Empty on failure.
std::string FreeTempName(const std::string& wanted);

// Half vertical extent of a cylindrical panorama in degrees, held within
// 10..60: span degrees over `width` pixels, `height` pixels high.
double HalfVerticalExtent(double spanDegrees, int width, int height);

// Makes 'jpeg' and 'tiff' known to the movie toolbox ('cvid' is its own).
void RegisterCodecs();

}  // namespace cinvora
