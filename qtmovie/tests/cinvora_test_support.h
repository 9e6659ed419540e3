// Shared pieces of the movie writer's tests: one call per kind of movie, a
// frame source that counts its frames, and a movie file read back with the
// test's own atom walker.
#pragma once

#include "qtmovie/cinvora.h"
#include "qtmovie/tests/qt_atom_walker.h"
#include "imaging/ref_count.h"

#include <string>
#include <vector>

int WritePanorama(Image* picture, Image* hotSpots, RECT rect, MovieSettings settings, const std::string& target);

// Object frames of one size, each a distinct pattern; frames handed to the
// writer are counted until it releases them.
class FrameList {
public:
    FrameList(int count, int width, int height, int channels);
    // The frame at `index` gets another size.
    void MakeOdd(int index) { m_odd = index; }
    int Write(const std::string& target, int rows, int columns, int codec = 0, int quality = 1);
    // Frames handed out and not yet released.
    int Outstanding() const;
    // The pixels of frame `i` (a new image the caller releases).
    Image* Expected(int i) const;
    int Count() const { return m_count; }

private:
    static Image* Next(void* self);
    int m_count, m_width, m_height, m_channels;
    int m_next = 0;
    int m_odd = -1;
};

struct MovieFile {
    std::string path, error;
    std::vector<qtwalk::Atom> top;
    std::vector<qtwalk::Track> tracks;
    qtwalk::Atom nodeSample, panoSample, worldDescription;

    bool Read(const std::string& file);
    const qtwalk::Atom* Moov() const;
    // The first track of a media type.
    const qtwalk::Track* TrackOf(const std::string& handler, int nth = 0) const;
    const qtwalk::Track* TrackById(uint32_t id) const;
    const qtwalk::Atom& NodeSample() const { return nodeSample; }
    const qtwalk::Atom& PanoSample() const { return panoSample; }
};
