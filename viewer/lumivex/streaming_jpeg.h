// The viewer control's JPEG decoder: main's JPEG decoder (jpeg/) reading
// through the job's byte stream, in steps the loader and the decoding worker
// call: the header, the first scan (a baseline image whole), then scan after
// scan of a progressive image with the image refreshed after every complete
// pass and progress reported in twentieths of the work.
#pragma once

#include "viewer/lumivex/panorama_job.h"

#include "core/file_records.h"

class Image;

// Reads the markers up to the first scan; sets the image's width, height,
// channels (1 or 3) and 8-bit sample type. 0 on success, 1 on failure (the
// decoder state freed).
int ReadJpegHeader(Image* image, PanoramaJob* job);
// Decodes a baseline image whole into the image (whose buffer matches the
// header), or the first scan of a progressive one, shown at once. 0 or 1.
int StartJpegDecode(Image* image, PanoramaJob* job);
// True for a progressive frame whose decoder state is still there.
bool HasMoreScans(PanoramaJob* job);
// Decodes scans until a pass over all components completes (0), the end of
// the image (0xD9) or an error (1, the decoder state freed). With
// `outputEachPass` the image is refreshed after each pass.
int DecodeScans(Image* image, PanoramaJob* job, bool outputEachPass, DecodeProgressProc callback, void* context);
// Frees the decoder state and marks the job failed.
void CleanupJpegJob(PanoramaJob* job);
// The comment segment kept by the header step (length 0 when none), null
// without a decoder state.
const FileExtraData* GetCommentRecord(PanoramaJob* job);
