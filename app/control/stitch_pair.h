// Stitching one overlapping pair of frames of the image chain: the pair
// record of the worker, the starting parameters from the stitch settings, the
// Exif focal lengths and the tray places, the call into the stitching core,
// and the results written back into the two links. Also the frame helpers
// the whole manager uses: focal-length ratio and focal value of a frame, and
// loading a frame's image at the working size.
#pragma once

#include <cstdint>

class ImageFrame;
class SuperManager;

// The pair worker's record. No lock guards it: the user-interface thread
// fills it before it starts a pair worker and reads it again only after the
// worker's message (0x814C) arrives; the worker writes `result` only.
struct StitchThreadBlock {
    int32_t busy;            // 1 while a pair worker's report is outstanding
    int32_t pairTotal;       // pairs the run expects
    int32_t frameCount;      // frames in the chain when the run started
    int32_t direction;       // 1 ordinary pair, -1 loop-closing pair
    int32_t pairIndex;       // index of the current pair in the chain
    int32_t stitchedCount;   // pairs stitched in this run
    int32_t lastIndex;       // pairIndex of the last stitched pair, -1 at the start
    int32_t pairKind;        // kind of the current pair (1, 2, 4, 8 or 0x20)
    uint8_t previewCurrent;  // the preview shows every pair stitched so far
    uint8_t result;          // 1 stitched, 0 failed (written by the pair procedure)
    uint8_t threaded;        // the pair runs on a worker thread
    ImageFrame* frameA;
    ImageFrame* frameB;
    SuperManager* manager;
};

// The program's one block; zeroed when a project is closed.
StitchThreadBlock* GetStitchThreadBlock();
void ClearStitchThreadBlock();

// Stores the pair in the block; threaded: starts the pair procedure on a
// worker and returns false at once; inline: runs it and answers whether the
// pair was stitched.
bool StitchTwoFrames(ImageFrame* a, ImageFrame* b, int direction, bool threaded);
// 0 stitched, 1 failed; writes `result`; threaded: posts 0x814C to the main
// window on every outcome, a crash included.
int StitchTwoFramesProc(StitchThreadBlock* block);
// Starting rotation of a pair from the tray places of its frames: r1 and r2
// the turns about the viewing axes, d the angular distance (radians).
void FindPairRUR(ImageFrame* a, ImageFrame* b, const float step[2], float* r1, float* d, float* r2);
// The frame's Exif focal length over the reference focal length; 1.0 when
// either is missing or not above 0.
float FrameFocalRatio(ImageFrame* frame);
// Computes and stores the frame's focal value (ImageFrame::m_focalValue);
// false when there is no usable Exif focal length or no reference for it.
bool FramePixelFocal(ImageFrame* frame);
// Makes sure the frame holds its image reduced to at most 700 pixels,
// loading it from its file when needed; with `correct`, distortion
// correction on and a correction record, a newly loaded image is corrected.
bool LoadFrameImage(ImageFrame* frame, bool correct);

