// A reader of movie files written for the tests alone: it walks the atom
// tree of a file and of the QT atom containers inside samples, knowing
// nothing of the writer's code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qtwalk {

struct Atom {
    std::string type;            // four characters
    uint64_t offset = 0;         // of the atom's header in the file
    std::vector<uint8_t> data;   // payload (for containers: the children's bytes)
    std::vector<Atom> children;  // filled for the known container types
    uint32_t id = 0;             // QT atoms only
    const Atom* Find(const std::string& t) const;
    std::vector<const Atom*> FindAll(const std::string& t) const;
    // Path like "mdia/minf/stbl/stsd"; null when missing.
    const Atom* At(const std::string& path) const;
};

uint32_t Be32(const uint8_t* p);
uint16_t Be16(const uint8_t* p);
float BeFloat(const uint8_t* p);

// The top-level atoms of a file; false (with `error`) when the sizes do not
// tile the file.
bool ReadFile(const std::string& path, std::vector<Atom>& top, std::string& error);
// Parses a QT atom container (12-byte header, root 'sean').
bool ReadContainer(const std::vector<uint8_t>& bytes, Atom& root, std::string& error);

struct Track {
    const Atom* trak = nullptr;
    uint32_t id = 0;
    bool enabled = false;
    uint32_t width = 0, height = 0;  // integer part of the 16.16 values
    int volume = 0;
    std::string handler;             // media type from the media hdlr
    uint32_t timeScale = 0;
    std::vector<std::vector<uint8_t>> descriptions;
    std::vector<uint32_t> sampleSizes, durations, offsets;
    std::vector<std::pair<std::string, std::vector<uint32_t>>> references;
};
bool ReadTracks(const Atom& moov, std::vector<Track>& tracks, std::string& error);
// The bytes of sample `i` of a track, read from the file.
std::vector<uint8_t> SampleBytes(const std::string& path, const Track& track, size_t i);

}  // namespace qtwalk
