// In-memory movies of the movie toolbox and their file form. Internal to
// the toolbox: callers see only the opaque Movie, Track and Media.
#pragma once

#include "platform/quicktime/movie_toolbox.h"

#include <map>
#include <memory>
#include <utility>
#include <vector>

struct SampleRecord {
    std::vector<uint8_t> data;
    TimeValue duration = 0;  // media time scale
    int description = 1;     // 1-based index into the media's descriptions
};

struct MediaRecord {
    OSType type = 0;
    TimeScale timeScale = 0;
    std::vector<std::vector<uint8_t>> descriptions;  // each with its size and format header
    std::vector<SampleRecord> samples;
    bool editing = false;

    TimeValue Duration() const
    {
        TimeValue total = 0;
        for (const auto& sample : samples) total += sample.duration;
        return total;
    }
    // Index of `description`, added when it differs from every one held.
    int AddDescription(const std::vector<uint8_t>& description)
    {
        for (size_t i = 0; i < descriptions.size(); ++i)
            if (descriptions[i] == description) return static_cast<int>(i) + 1;
        descriptions.push_back(description);
        return static_cast<int>(descriptions.size());
    }
};

struct EditRecord {
    TimeValue trackDuration = 0;  // movie time scale
    TimeValue mediaTime = 0;      // media time scale
    Fixed rate = fixed1;
};

struct MovieRecord;

struct TrackRecord {
    MovieRecord* movie = nullptr;
    uint32_t id = 0;
    Fixed width = 0, height = 0;
    short volume = 0;
    short layer = 0;
    bool enabled = true;
    std::unique_ptr<MediaRecord> media;
    std::vector<EditRecord> edits;
    std::map<OSType, std::vector<uint32_t>> references;  // track ids by reference type
};

struct MovieRecord {
    TimeScale timeScale = 600;
    TimeValue currentTime = 0;
    uint32_t nextTrackId = 1;
    std::vector<std::unique_ptr<TrackRecord>> tracks;
    std::vector<std::pair<OSType, std::vector<uint8_t>>> userData;
};

namespace quicktime {

// The movie as a file: 'moov' first, then 'mdat' with every sample in track
// order, one chunk per sample. False when it does not fit 32-bit offsets.
bool SerializeMovie(const MovieRecord& movie, std::vector<uint8_t>& out);
// A movie read back from such a file (or any file of the same atoms); null
// when the bytes are not a movie this reader understands.
std::unique_ptr<MovieRecord> ParseMovie(const std::vector<uint8_t>& bytes);

}  // namespace quicktime
