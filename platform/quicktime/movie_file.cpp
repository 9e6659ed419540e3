// Writer and reader of the classic QuickTime movie file: big-endian atoms,
// 'moov' (mvhd, trak: tkhd, tref, edts/elst, mdia: mdhd, hdlr, minf: media
// header, hdlr, dinf, stbl) before one 'mdat'.
#include "platform/quicktime/movie_records.h"

#include "core/logger.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

class AtomBuilder {
public:
    std::vector<uint8_t> bytes;

    void U8(uint32_t v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void U16(uint32_t v)
    {
        U8(v >> 8);
        U8(v);
    }
    void U32(uint32_t v)
    {
        U16(v >> 16);
        U16(v & 0xffff);
    }
    void Zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
    void Bytes(const std::vector<uint8_t>& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
    void Begin(OSType type)
    {
        m_open.push_back(bytes.size());
        U32(0);
        U32(type);
    }
    void End()
    {
        const size_t at = m_open.back();
        m_open.pop_back();
        const uint32_t size = static_cast<uint32_t>(bytes.size() - at);
        bytes[at] = static_cast<uint8_t>(size >> 24);
        bytes[at + 1] = static_cast<uint8_t>(size >> 16);
        bytes[at + 2] = static_cast<uint8_t>(size >> 8);
        bytes[at + 3] = static_cast<uint8_t>(size);
    }
    void Matrix()
    {
        const uint32_t m[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
        for (uint32_t v : m) U32(v);
    }

private:
    std::vector<size_t> m_open;
};

void WriteTrack(AtomBuilder& a, const MovieRecord& movie, const TrackRecord& track, uint32_t& dataOffset)
{
    const MediaRecord* media = track.media.get();
    TimeValue trackDuration = 0;
    for (const auto& edit : track.edits) trackDuration += edit.trackDuration;
    a.Begin(FourCC("trak"));

    a.Begin(FourCC("tkhd"));
    a.U32(track.enabled ? 0xF : 0xE);  // version 0; in movie, in preview, in poster (+ enabled)
    a.U32(0);
    a.U32(0);
    a.U32(track.id);
    a.U32(0);
    a.U32(static_cast<uint32_t>(trackDuration));
    a.Zeros(8);
    a.U16(static_cast<uint16_t>(track.layer));
    a.U16(0);  // alternate group
    a.U16(static_cast<uint16_t>(track.volume));
    a.U16(0);
    a.Matrix();
    a.U32(static_cast<uint32_t>(track.width));
    a.U32(static_cast<uint32_t>(track.height));
    a.End();

    if (!track.references.empty()) {
        a.Begin(FourCC("tref"));
        for (const auto& [type, ids] : track.references) {
            a.Begin(type);
            for (uint32_t id : ids) a.U32(id);
            a.End();
        }
        a.End();
    }

    if (!track.edits.empty()) {
        a.Begin(FourCC("edts"));
        a.Begin(FourCC("elst"));
        a.U32(0);
        a.U32(static_cast<uint32_t>(track.edits.size()));
        for (const auto& edit : track.edits) {
            a.U32(static_cast<uint32_t>(edit.trackDuration));
            a.U32(static_cast<uint32_t>(edit.mediaTime));
            a.U32(static_cast<uint32_t>(edit.rate));
        }
        a.End();
        a.End();
    }

    if (media) {
        a.Begin(FourCC("mdia"));
        a.Begin(FourCC("mdhd"));
        a.U32(0);
        a.U32(0);
        a.U32(0);
        a.U32(static_cast<uint32_t>(media->timeScale));
        a.U32(static_cast<uint32_t>(media->Duration()));
        a.U16(0);  // language
        a.U16(0);  // quality
        a.End();

        a.Begin(FourCC("hdlr"));
        a.U32(0);
        a.U32(FourCC("mhlr"));
        a.U32(media->type);
        a.U32(0);
        a.U32(0);
        a.U32(0);
        a.U8(0);  // empty name
        a.End();

        a.Begin(FourCC("minf"));
        if (media->type == FourCC("vide")) {
            a.Begin(FourCC("vmhd"));
            a.U32(1);     // version 0, flags 1
            a.U16(0x40);  // graphics mode: dither copy
            a.Zeros(6);
            a.End();
        } else {
            a.Begin(FourCC("gmhd"));
            a.Begin(FourCC("gmin"));
            a.U32(0);
            a.U16(0x40);
            a.U16(0x8000);
            a.U16(0x8000);
            a.U16(0x8000);
            a.U16(0);
            a.U16(0);
            a.End();
            a.End();
        }
        a.Begin(FourCC("hdlr"));
        a.U32(0);
        a.U32(FourCC("dhlr"));
        a.U32(FourCC("alis"));
        a.U32(0);
        a.U32(0);
        a.U32(0);
        a.U8(0);
        a.End();
        a.Begin(FourCC("dinf"));
        a.Begin(FourCC("dref"));
        a.U32(0);
        a.U32(1);
        a.Begin(FourCC("alis"));
        a.U32(1);  // self-contained: the data is in this file
        a.End();
        a.End();
        a.End();

        a.Begin(FourCC("stbl"));
        a.Begin(FourCC("stsd"));
        a.U32(0);
        a.U32(static_cast<uint32_t>(media->descriptions.size()));
        for (const auto& desc : media->descriptions) a.Bytes(desc);
        a.End();

        // Durations, run-length coded.
        std::vector<std::pair<uint32_t, TimeValue>> runs;
        for (const auto& sample : media->samples) {
            if (!runs.empty() && runs.back().second == sample.duration)
                ++runs.back().first;
            else
                runs.emplace_back(1, sample.duration);
        }
        a.Begin(FourCC("stts"));
        a.U32(0);
        a.U32(static_cast<uint32_t>(runs.size()));
        for (const auto& [count, duration] : runs) {
            a.U32(count);
            a.U32(static_cast<uint32_t>(duration));
        }
        a.End();

        // One sample per chunk; a new entry where the description changes.
        a.Begin(FourCC("stsc"));
        std::vector<std::pair<uint32_t, int>> chunks;
        for (size_t i = 0; i < media->samples.size(); ++i)
            if (chunks.empty() || chunks.back().second != media->samples[i].description)
                chunks.emplace_back(static_cast<uint32_t>(i + 1), media->samples[i].description);
        a.U32(0);
        a.U32(static_cast<uint32_t>(chunks.size()));
        for (const auto& [first, desc] : chunks) {
            a.U32(first);
            a.U32(1);
            a.U32(static_cast<uint32_t>(desc));
        }
        a.End();

        a.Begin(FourCC("stsz"));
        a.U32(0);
        a.U32(0);
        a.U32(static_cast<uint32_t>(media->samples.size()));
        for (const auto& sample : media->samples) a.U32(static_cast<uint32_t>(sample.Size()));
        a.End();

        a.Begin(FourCC("stco"));
        a.U32(0);
        a.U32(static_cast<uint32_t>(media->samples.size()));
        for (const auto& sample : media->samples) {
            a.U32(dataOffset);
            dataOffset += static_cast<uint32_t>(sample.Size());
        }
        a.End();
        a.End();  // stbl
        a.End();  // minf
        a.End();  // mdia
    }
    a.End();  // trak
    (void)movie;
}

void WriteMoov(AtomBuilder& a, const MovieRecord& movie, uint32_t dataStart)
{
    TimeValue duration = 0;
    for (const auto& track : movie.tracks) {
        TimeValue d = 0;
        for (const auto& edit : track->edits) d += edit.trackDuration;
        duration = std::max(duration, d);
    }
    a.Begin(FourCC("moov"));
    a.Begin(FourCC("mvhd"));
    a.U32(0);
    a.U32(0);
    a.U32(0);
    a.U32(static_cast<uint32_t>(movie.timeScale));
    a.U32(static_cast<uint32_t>(duration));
    a.U32(0x10000);  // preferred rate 1.0
    a.U16(0x100);    // preferred volume 1.0
    a.Zeros(10);
    a.Matrix();
    a.Zeros(6 * 4);  // preview, poster, selection and current times
    a.U32(movie.nextTrackId);
    a.End();
    uint32_t offset = dataStart;
    for (const auto& track : movie.tracks) WriteTrack(a, movie, *track, offset);
    if (!movie.userData.empty()) {
        a.Begin(FourCC("udta"));
        for (const auto& [type, data] : movie.userData) {
            a.Begin(type);
            a.Bytes(data);
            a.End();
        }
        a.U32(0);  // closing zero word of a classic user data list
        a.End();
    }
    a.End();
}

// ----- reading -----

struct Span {
    const uint8_t* p;
    size_t size;
};

uint32_t BE32(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
uint16_t BE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

// Children of an atom's payload: (type, payload). False on a malformed list;
// a trailing zero word (closing a user data list) is accepted.
bool Children(Span s, std::vector<std::pair<OSType, Span>>& out)
{
    size_t at = 0;
    while (at + 8 <= s.size) {
        const uint32_t size = BE32(s.p + at);
        if (size < 8 || size > s.size - at) return false;
        out.push_back({BE32(s.p + at + 4), Span{s.p + at + 8, size - 8}});
        at += size;
    }
    return at == s.size || (s.size - at == 4 && BE32(s.p + at) == 0);
}

const Span* Find(const std::vector<std::pair<OSType, Span>>& list, const char (&type)[5])
{
    for (const auto& [t, span] : list)
        if (t == FourCC(type)) return &span;
    return nullptr;
}

bool ParseTrack(Span trak, const std::shared_ptr<const FileBytes>& file, MovieRecord& movie,
                std::vector<std::pair<TrackRecord*, std::map<OSType, std::vector<uint32_t>>>>& refs)
{
    std::vector<std::pair<OSType, Span>> parts;
    if (!Children(trak, parts)) return false;
    auto track = std::make_unique<TrackRecord>();
    track->movie = &movie;
    const Span* tkhd = Find(parts, "tkhd");
    if (!tkhd || tkhd->size < 84) return false;
    track->enabled = (tkhd->p[3] & 1) != 0;
    track->id = BE32(tkhd->p + 12);
    track->layer = static_cast<short>(BE16(tkhd->p + 32));
    track->volume = static_cast<short>(BE16(tkhd->p + 36));
    track->width = static_cast<Fixed>(BE32(tkhd->p + 76));
    track->height = static_cast<Fixed>(BE32(tkhd->p + 80));
    if (const Span* tref = Find(parts, "tref")) {
        std::vector<std::pair<OSType, Span>> kinds;
        if (!Children(*tref, kinds)) return false;
        std::map<OSType, std::vector<uint32_t>> ids;
        for (const auto& [type, span] : kinds)
            for (size_t i = 0; i + 4 <= span.size; i += 4) ids[type].push_back(BE32(span.p + i));
        refs.emplace_back(track.get(), std::move(ids));
    }
    if (const Span* edts = Find(parts, "edts")) {
        std::vector<std::pair<OSType, Span>> e;
        if (!Children(*edts, e)) return false;
        if (const Span* elst = Find(e, "elst")) {
            if (elst->size < 8) return false;
            const uint32_t count = BE32(elst->p + 4);
            if (count > (elst->size - 8) / 12) return false;
            for (uint32_t i = 0; i < count; ++i) {
                const uint8_t* q = elst->p + 8 + 12 * i;
                EditRecord edit;
                edit.trackDuration = static_cast<TimeValue>(BE32(q));
                edit.mediaTime = static_cast<TimeValue>(BE32(q + 4));
                edit.rate = static_cast<Fixed>(BE32(q + 8));
                track->edits.push_back(edit);
            }
        }
    }
    const Span* mdia = Find(parts, "mdia");
    if (mdia) {
        std::vector<std::pair<OSType, Span>> m;
        if (!Children(*mdia, m)) return false;
        const Span* mdhd = Find(m, "mdhd");
        const Span* hdlr = Find(m, "hdlr");
        const Span* minf = Find(m, "minf");
        if (!mdhd || mdhd->size < 20 || !hdlr || hdlr->size < 12 || !minf) return false;
        auto media = std::make_unique<MediaRecord>();
        media->timeScale = static_cast<TimeScale>(BE32(mdhd->p + 12));
        media->type = BE32(hdlr->p + 8);
        if (media->timeScale <= 0) return false;
        std::vector<std::pair<OSType, Span>> mi, st;
        if (!Children(*minf, mi)) return false;
        const Span* stbl = Find(mi, "stbl");
        if (!stbl || !Children(*stbl, st)) return false;
        const Span* stsd = Find(st, "stsd");
        const Span* stts = Find(st, "stts");
        const Span* stsc = Find(st, "stsc");
        const Span* stsz = Find(st, "stsz");
        const Span* stco = Find(st, "stco");
        if (!stsd || !stts || !stsc || !stsz || !stco || stsd->size < 8 || stts->size < 8 || stsc->size < 8 ||
            stsz->size < 12 || stco->size < 8)
            return false;
        // Descriptions.
        size_t at = 8;
        for (uint32_t i = 0, n = BE32(stsd->p + 4); i < n; ++i) {
            if (at + 8 > stsd->size) return false;
            const uint32_t size = BE32(stsd->p + at);
            if (size < 8 || size > stsd->size - at) return false;
            media->descriptions.emplace_back(stsd->p + at, stsd->p + at + size);
            at += size;
        }
        // Sample sizes and durations.
        const uint32_t fixedSize = BE32(stsz->p + 4);
        const uint32_t count = BE32(stsz->p + 8);
        if (fixedSize == 0 && count > (stsz->size - 12) / 4) return false;
        if (count > file->size) return false;
        std::vector<uint32_t> sizes(count), durations;
        for (uint32_t i = 0; i < count; ++i) sizes[i] = fixedSize ? fixedSize : BE32(stsz->p + 12 + 4 * i);
        const uint32_t runs = BE32(stts->p + 4);
        if (runs > (stts->size - 8) / 8) return false;
        for (uint32_t r = 0; r < runs; ++r) {
            const uint32_t n = BE32(stts->p + 8 + 8 * r);
            if (n > count - durations.size()) return false;
            durations.insert(durations.end(), n, BE32(stts->p + 12 + 8 * r));
        }
        if (durations.size() != count) return false;
        // Chunks.
        const uint32_t chunkCount = BE32(stco->p + 4);
        if (chunkCount > (stco->size - 8) / 4) return false;
        const uint32_t entries = BE32(stsc->p + 4);
        if (entries > (stsc->size - 8) / 12) return false;
        uint32_t sample = 0;
        for (uint32_t e = 0; e < entries; ++e) {
            const uint8_t* q = stsc->p + 8 + 12 * e;
            const uint32_t first = BE32(q), perChunk = BE32(q + 4), desc = BE32(q + 8);
            const uint32_t last = e + 1 < entries ? BE32(q + 12) - 1 : chunkCount;
            if (first < 1 || last > chunkCount || desc < 1 || desc > media->descriptions.size()) return false;
            for (uint32_t chunk = first; chunk <= last; ++chunk) {
                uint64_t offset = BE32(stco->p + 8 + 4 * (chunk - 1));
                for (uint32_t k = 0; k < perChunk; ++k) {
                    if (sample >= count) return false;
                    if (offset + sizes[sample] > file->size) return false;
                    SampleRecord s;
                    s.Share(file, static_cast<size_t>(offset), sizes[sample]);
                    s.duration = static_cast<TimeValue>(durations[sample]);
                    s.description = static_cast<int>(desc);
                    media->samples.push_back(std::move(s));
                    offset += sizes[sample];
                    ++sample;
                }
            }
        }
        if (sample != count) return false;
        track->media = std::move(media);
    }
    movie.nextTrackId = std::max(movie.nextTrackId, track->id + 1);
    movie.tracks.push_back(std::move(track));
    return true;
}

// Bytes of every sample of the movie.
uint64_t DataBytes(const MovieRecord& movie)
{
    uint64_t bytes = 0;
    for (const auto& track : movie.tracks)
        if (track->media)
            for (const auto& sample : track->media->samples) bytes += sample.Size();
    return bytes;
}

// The movie atom and the media data header: every byte of the file before
// the first sample. False when the file would not fit 32-bit offsets.
bool FileHead(const MovieRecord& movie, std::vector<uint8_t>& head, const char* caller)
{
    const uint64_t dataBytes = DataBytes(movie);
    // Lay out the movie atom once to learn its size; it does not depend on
    // the offsets it holds.
    AtomBuilder sizing;
    WriteMoov(sizing, movie, 0);
    const uint64_t dataStart = sizing.bytes.size() + 8;
    if (dataStart + dataBytes > std::numeric_limits<uint32_t>::max()) {
        Logger::log("ERROR %s: %llu bytes of media exceed a classic movie file", 1, caller,
                    static_cast<unsigned long long>(dataBytes));
        return false;
    }
    AtomBuilder a;
    a.bytes.reserve(static_cast<size_t>(dataStart));
    WriteMoov(a, movie, static_cast<uint32_t>(dataStart));
    a.U32(static_cast<uint32_t>(8 + dataBytes));
    a.U32(FourCC("mdat"));
    head = std::move(a.bytes);
    return true;
}

// Writes every part in order, as few system calls as the vector limit
// allows; a short write resumes where it stopped.
bool WriteParts(int fd, std::vector<iovec>& parts)
{
    size_t next = 0;
    while (next < parts.size()) {
        const int count = static_cast<int>(std::min<size_t>(parts.size() - next, IOV_MAX));
        const ssize_t n = ::writev(fd, &parts[next], count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        size_t left = static_cast<size_t>(n);
        while (left > 0 && left >= parts[next].iov_len) left -= parts[next++].iov_len;
        if (left > 0) {
            parts[next].iov_base = static_cast<uint8_t*>(parts[next].iov_base) + left;
            parts[next].iov_len -= left;
        }
    }
    return true;
}

}  // namespace

namespace quicktime {

bool WriteMovieFile(const MovieRecord& movie, const std::string& path, const char* caller)
{
    std::vector<uint8_t> head;
    if (!FileHead(movie, head, caller)) return false;
    std::vector<iovec> parts;
    parts.push_back(iovec{head.data(), head.size()});
    for (const auto& track : movie.tracks)
        if (track->media)
            for (const auto& sample : track->media->samples)
                if (sample.Size() > 0) parts.push_back(iovec{const_cast<uint8_t*>(sample.Data()), sample.Size()});
    // The file is written over in place and then cut to its new length, not
    // emptied first: on ext4 a file truncated to nothing and rewritten is
    // flushed to disk when it is closed, so a temporary movie deleted a
    // moment later would first wait for a disk write nobody needs.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const off_t length = static_cast<off_t>(head.size() + DataBytes(movie));
    bool written = WriteParts(fd, parts);
    struct stat info;
    if (written && (::fstat(fd, &info) != 0 || info.st_size > length)) written = ::ftruncate(fd, length) == 0;
    return ::close(fd) == 0 && written;
}

std::shared_ptr<const FileBytes> ReadWholeFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    if (::fstat(fd, &info) != 0 || info.st_size < 0) {
        ::close(fd);
        return nullptr;
    }
    auto file = std::make_shared<FileBytes>();
    const size_t capacity = static_cast<size_t>(info.st_size);
    file->data = std::make_unique_for_overwrite<uint8_t[]>(capacity > 0 ? capacity : 1);
    bool failed = false;
    while (file->size < capacity) {
        const ssize_t n = ::read(fd, file->data.get() + file->size, capacity - file->size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed = n < 0;
            break;
        }
        file->size += static_cast<size_t>(n);
    }
    ::close(fd);
    if (failed) return nullptr;
    return file;
}

std::unique_ptr<MovieRecord> ParseMovie(const std::shared_ptr<const FileBytes>& file)
{
    if (!file) return nullptr;
    std::vector<std::pair<OSType, Span>> top;
    if (!Children(Span{file->data.get(), file->size}, top)) return nullptr;
    const Span* moov = Find(top, "moov");
    if (!moov) return nullptr;
    std::vector<std::pair<OSType, Span>> parts;
    if (!Children(*moov, parts)) return nullptr;
    const Span* mvhd = Find(parts, "mvhd");
    if (!mvhd || mvhd->size < 20) return nullptr;
    auto movie = std::make_unique<MovieRecord>();
    movie->timeScale = static_cast<TimeScale>(BE32(mvhd->p + 12));
    if (movie->timeScale <= 0) return nullptr;
    std::vector<std::pair<TrackRecord*, std::map<OSType, std::vector<uint32_t>>>> refs;
    for (const auto& [type, span] : parts) {
        if (type == FourCC("trak") && !ParseTrack(span, file, *movie, refs)) return nullptr;
        if (type == FourCC("udta")) {
            std::vector<std::pair<OSType, Span>> items;
            if (!Children(span, items)) return nullptr;
            for (const auto& [itemType, item] : items)
                movie->userData.emplace_back(itemType, std::vector<uint8_t>(item.p, item.p + item.size));
        }
    }
    // References name tracks by id; keep only those that exist.
    for (auto& [track, ids] : refs)
        for (auto& [type, list] : ids)
            for (uint32_t id : list)
                for (const auto& candidate : movie->tracks)
                    if (candidate->id == id) track->references[type].push_back(id);
    return movie;
}

}  // namespace quicktime
