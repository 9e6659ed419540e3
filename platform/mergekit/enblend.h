// The outside merging module's calls around the elastic blender program
// Swelder: where the program lies, its options, and taking its blended
// output into the world map before the temporary files go. The blending
// driver's channel run (app/matching/match_channel.h) makes the calls.
#pragma once

#include <string>
#include <vector>

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
};
