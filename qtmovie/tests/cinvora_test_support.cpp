#include "qtmovie/tests/cinvora_test_support.h"

#include "testkit/testkit.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<int> g_alive{0};

class CountedImage : public Image {
public:
    CountedImage(int w, int h, int c) : Image(w, h, c) { ++g_alive; }
    ~CountedImage() override { --g_alive; }
};

}  // namespace

int WritePanorama(Image* picture, Image* hotSpots, RECT rect, MovieSettings settings, const std::string& target)
{
    Image* images[2] = {picture, hotSpots};
    QUORVANE_FileInfo info;
    info.path = target.c_str();
    info.extra = &settings;
    return WriteQT_PanoMovie(images, &rect, &info);
}

FrameList::FrameList(int count, int width, int height, int channels)
    : m_count(count), m_width(width), m_height(height), m_channels(channels)
{
}

Image* FrameList::Expected(int i) const
{
    return testkit::MakePatternImage(m_width, m_height, m_channels, 0, 100 + i);
}

Image* FrameList::Next(void* self)
{
    auto* list = static_cast<FrameList*>(self);
    if (list->m_next == list->m_count) return nullptr;
    const int i = list->m_next++;
    const int width = i == list->m_odd ? list->m_width + 4 : list->m_width;
    auto* frame = new CountedImage(width, list->m_height, list->m_channels);
    RefPtr<Image> pattern = RefPtr<Image>::adopt(testkit::MakePatternImage(width, list->m_height, list->m_channels, 0, 100 + i));
    for (int y = 0; y < list->m_height; ++y)
        std::memcpy(frame->GetData() + y * frame->GetRowByte(), pattern->GetData() + y * pattern->GetRowByte(),
                    size_t(width) * list->m_channels);
    return frame;
}

int FrameList::Write(const std::string& target, int rows, int columns, int codec, int quality)
{
    m_next = 0;
    ObjectMovieSettings settings;
    settings.codecCode = codec;
    settings.qualityCode = quality;
    settings.nextFrame = &FrameList::Next;
    settings.user = this;
    settings.rows = rows;
    settings.columns = columns;
    QUORVANE_FileInfo info;
    info.path = target.c_str();
    info.extra = &settings;
    return WriteQT_ObjectMovie(nullptr, nullptr, &info);
}

int FrameList::Outstanding() const { return g_alive.load(); }

bool MovieFile::Read(const std::string& file)
{
    path = file;
    if (!qtwalk::ReadFile(file, top, error)) return false;
    const qtwalk::Atom* moov = Moov();
    if (!moov) return error = "no moov", false;
    if (!qtwalk::ReadTracks(*moov, tracks, error)) return false;
    if (const qtwalk::Track* vr = TrackOf("qtvr")) {
        if (vr->sampleSizes.size() != 1 || vr->descriptions.size() != 1) return error = "qtvr samples", false;
        if (!qtwalk::ReadContainer(qtwalk::SampleBytes(file, *vr, 0), nodeSample, error)) return false;
        const auto& desc = vr->descriptions[0];
        if (!qtwalk::ReadContainer(std::vector<uint8_t>(desc.begin() + 16, desc.end()), worldDescription, error))
            return false;
    }
    for (const char* kind : {"pano", "obje"})
        if (const qtwalk::Track* t = TrackOf(kind)) {
            if (t->sampleSizes.size() != 1) return error = "sample count of the node track", false;
            if (!qtwalk::ReadContainer(qtwalk::SampleBytes(file, *t, 0), panoSample, error)) return false;
        }
    return true;
}

const qtwalk::Atom* MovieFile::Moov() const
{
    for (const auto& a : top)
        if (a.type == "moov") return &a;
    return nullptr;
}

const qtwalk::Track* MovieFile::TrackOf(const std::string& handler, int nth) const
{
    for (const auto& t : tracks)
        if (t.handler == handler && nth-- == 0) return &t;
    return nullptr;
}

const qtwalk::Track* MovieFile::TrackById(uint32_t id) const
{
    for (const auto& t : tracks)
        if (t.id == id) return &t;
    return nullptr;
}
