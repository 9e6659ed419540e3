// The outside merging module's calls around the elastic blender program
// Swelder: where the program lies, its options, and taking its blended
// output into the world map before the temporary files go. The blending
// driver's channel run (app/matching/match_channel.h) makes the calls.
#pragma once

#include "core/pair_align_records.h"

#include <cstdint>
#include <string>
#include <vector>

class KestovaFile;
class WorldMap;

class Enblend {
public:
    // The program folder followed by "\\Swelder.exe".
    static std::string getEnblendExeFile();
    // "--shmname N --shmsize S " [+ "--wrap "] + "-o \"out\"" + " \"chip\""
    // per chip; the chips carry their own levels and blend width.
    static std::string getEnblendPrms(int count, bool loop, const std::string& outName,
                                      const std::vector<std::string>& chipNames, const std::string& shmName,
                                      int shmSize);
    // With a map: reads the blended RGBA TIFF `outName` into it (alpha 0
    // gives a first sample of 0, "no data"; a real first sample of 0 becomes
    // 1 so that it stays data). A missing or unreadable output leaves the map
    // untouched with an ERROR line. Then, map or not, deletes the first
    // `count` chips and the output.
    static void copyWmDelTempFiles(int count, WorldMap* map, const std::string& outName,
                                   const std::vector<std::string>& chipNames);
    // Saves chip `index` of `count` frames: an RGBA TIFF of files[index]'s
    // samples on the map's stored block, clipped to their bounding box, with
    // XPOSITION / YPOSITION (and XRESOLUTION / YRESOLUTION) giving its place
    // and PIXAR_IMAGEFULLWIDTH / FULLLENGTH the block's size, as enblend
    // reads them, and "levels=L bw=B" in ImageDescription. Alpha is 255 where
    // the frame owns the sample against frames index-1 and index+1 (wrapping
    // with loop), widened by bw samples into the neighbour's side so that
    // neighbouring chips overlap in a band for the blender's seam: a seam
    // code of the link to the predecessor (codes[index] for index-1,
    // codes[index+1] for index+1) of 1 gives the overlap to the left frame,
    // 2 to the right one, anything else to the frame whose centre is
    // nearer; 0xFF means no predecessor link. The chip's name, made next to
    // blendedName, is appended to chipNames. False, with an ERROR line, when
    // the chip holds nothing or cannot be written.
    static bool mapChipSaveOneImage(int index, int count, bool loop, WorldMap* map, KestovaFile** files,
                                    TRANSFORM_RS** placements, uint8_t* codes, std::string& blendedName,
                                    std::vector<std::string>& chipNames, int bw, int levels);
};
