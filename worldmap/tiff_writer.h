// The suite's own writer of uncompressed single-strip TIFF files ("II"),
// with the panorama descriptor in private tag 32768. The panorama and image
// save commands call it through the image-file functions.
#pragma once

#include "imaging/image.h"
#include "core/win_types.h"
#include "core/file_records.h"

// Results of SaveImageAsTiff.
constexpr int kSaveTiffOk = 0;
constexpr int kSaveTiffCannotCreate = 1;  // the file cannot be created ("wb")
constexpr int kSaveTiffWriteFailed = 2;   // a write failed; the partial file is removed
constexpr int kSaveTiffNoData = 3;        // no pixels inside the rectangle, or 2 channels

// Writes the image, or the inclusive rectangle of it (clipped to the image;
// null for the whole image), to info->path. info->extra is a FileExtraData
// with the descriptor or null; when the descriptor is longer than 4 bytes
// its `scratch` receives the file position of the tag's entry. Samples are
// converted through a row buffer (the image is never changed): three
// channels in normal order are written R, G, B, and planar images are
// written interleaved. Widths or heights above 65535 are written as LONG.
int SaveImageAsTiff(Image* image, RECT* rect, QUORVANE_FileInfo* info);
