// In-memory movies of the movie toolbox and their file form. Internal to
// the toolbox: callers see only the opaque Movie, Track and Media.
#pragma once

#include "platform/quicktime/movie_toolbox.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A movie file read whole into memory; the samples of a movie read from it
// point into these bytes instead of each holding a copy.
struct FileBytes {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
};

struct SampleRecord {
    TimeValue duration = 0;  // media time scale
    int description = 1;     // 1-based index into the media's descriptions

    const uint8_t* Data() const { return m_file ? m_file->data.get() + m_offset : m_own.data(); }
    size_t Size() const { return m_size; }
    // Holds a copy of `size` bytes at `data`.
    void Copy(const uint8_t* data, size_t size)
    {
        m_own.assign(data, data + size);
        m_file.reset();
        m_offset = 0;
        m_size = size;
    }
    // Refers to `size` bytes at `offset` of `file` (the caller checked the range).
    void Share(std::shared_ptr<const FileBytes> file, size_t offset, size_t size)
    {
        m_own.clear();
        m_file = std::move(file);
        m_offset = offset;
        m_size = size;
    }

private:
    std::vector<uint8_t> m_own;
    std::shared_ptr<const FileBytes> m_file;
    size_t m_offset = 0;
    size_t m_size = 0;
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

// Writes the movie as the file `path`: 'moov' first, then 'mdat' with every
// sample in track order, one chunk per sample. The samples go from where
// they lie straight to the file, without a copy of the whole file in memory.
// False (with an ERROR line naming `caller`) when it does not fit 32-bit
// offsets or cannot be written.
bool WriteMovieFile(const MovieRecord& movie, const std::string& path, const char* caller);
// The whole file `path`; null when it cannot be read.
std::shared_ptr<const FileBytes> ReadWholeFile(const std::string& path);
// A movie read back from such a file (or any file of the same atoms); its
// samples share `file`. Null when the bytes are not a movie this reader
// understands.
std::unique_ptr<MovieRecord> ParseMovie(const std::shared_ptr<const FileBytes>& file);

}  // namespace quicktime
