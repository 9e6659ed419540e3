// The command line of the matcher programs Hollet (consecutive pairs) and
// Nerrow (all pairs), as the application writes it: options in any order,
// unknown ones tolerated (named on stderr), then the quoted file names
// (Nerrow: the output name first).
#pragma once

#include <string>
#include <vector>

struct MatcherOptions {
    bool nerrow = false;         // which program reads the line
    std::string shmName;         // empty: no channel, write the text file
    int shmSize = 0;
    bool linearMatch = false;    // Hollet: consecutive pairs
    bool closed = false;         // Hollet "--linearmatchlen -1": also (n - 1, 0)
    int scaleDown = 1;           // Hollet: file pixels per matched pixel
    bool ransac = false;         // Hollet: ransacdist > 0; Nerrow: "--ransac 1"
    double ransacDistance = 0;   // pixels of the reduced image
    int maxDim = 600;            // Nerrow: longest side to match at
    int maxMatches = 200;        // marker pairs per image pair
    int memoryMb = 384;          // "--memorymb": working memory of the feature searches running at once
    std::string output;          // "-o" (Hollet) or the first name (Nerrow)
    std::vector<std::string> files;
    std::vector<std::string> unknown;  // options not understood, kept to report
};

// Empty on success; otherwise the one line to print before exiting with 2.
std::string ParseMatcherOptions(int argc, const char* const* argv, bool nerrow, MatcherOptions& out);
