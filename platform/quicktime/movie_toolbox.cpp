#include "platform/quicktime/movie_toolbox.h"

#include "platform/quicktime/cinepak_encoder.h"
#include "platform/quicktime/movie_records.h"
#include "core/logger.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

namespace {

std::mutex g_lock;
int g_failAt = 0;
int g_calls = 0;
OSErr g_memError = noErr;
OSErr g_moviesError = noErr;

// Counts one toolbox call; true when a test asked this one to fail.
bool Injected()
{
    std::lock_guard<std::mutex> guard(g_lock);
    ++g_calls;
    return g_failAt > 0 && g_calls == g_failAt;
}

OSErr MovieResult(OSErr err)
{
    g_moviesError = err;
    return err;
}

size_t CinepakMaxSize(int width, int height, int, CodecQ) { return cinepak::MaxFrameSize(width, height); }

bool CinepakCompress(const PixMapRecord& pixMap, CodecQ quality, std::vector<uint8_t>& out)
{
    return cinepak::EncodeFrame(pixMap.pixels.data(), pixMap.rowBytes, pixMap.width, pixMap.height, pixMap.depth == 8,
                                quality, out);
}

// The compressors by type; Cinepak is the toolbox's own.
std::map<OSType, Compressor>& Compressors()
{
    static std::map<OSType, Compressor> compressors = {
        {FourCC("cvid"), Compressor{CinepakMaxSize, CinepakCompress, "Cinepak"}}};
    return compressors;
}

// Open movie files by reference number.
std::map<short, std::string>& OpenFiles()
{
    static std::map<short, std::string> files;
    return files;
}
short g_nextRef = 1;

void PutBE16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
void PutBE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
uint32_t GetBE32(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
uint16_t GetBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

bool QualityValid(CodecQ quality) { return quality >= 0 && quality <= codecLosslessQuality; }

// Creates `path` empty, or empties it.
bool CreateEmptyFile(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    return file && std::fclose(file) == 0;
}

}  // namespace

namespace quicktime {

void SetFailAfter(int calls)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_failAt = calls;
    g_calls = 0;
}

int CallCount()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_calls;
}

}  // namespace quicktime

// ---------------------------------------------------------------------------
// Handles

Handle NewHandle(size_t size)
{
    if (Injected()) {
        g_memError = memFullErr;
        return nullptr;
    }
    try {
        Handle h = new HandleRecord;
        h->bytes.resize(size);
        g_memError = noErr;
        return h;
    } catch (const std::bad_alloc&) {
        Logger::log("ERROR NewHandle: %zu bytes cannot be allocated", 1, size);
        g_memError = memFullErr;
        return nullptr;
    }
}

Handle NewHandleClear(size_t size)
{
    Handle h = NewHandle(size);
    if (h) std::fill(h->bytes.begin(), h->bytes.end(), 0);
    return h;
}

void DisposeHandle(Handle h) { delete h; }

size_t GetHandleSize(Handle h) { return h ? h->bytes.size() : 0; }

OSErr SetHandleSize(Handle h, size_t size)
{
    if (!h) return g_memError = paramErr;
    if (h->lockCount > 0 && size > h->bytes.size()) return g_memError = memFullErr;
    try {
        h->bytes.resize(size);
    } catch (const std::bad_alloc&) {
        return g_memError = memFullErr;
    }
    return g_memError = noErr;
}

void HLock(Handle h)
{
    if (h) ++h->lockCount;
}

void HUnlock(Handle h)
{
    if (h && h->lockCount > 0) --h->lockCount;
}

uint8_t* HandleData(Handle h) { return h ? h->bytes.data() : nullptr; }

OSErr MemError() { return g_memError; }

// ---------------------------------------------------------------------------
// Off-screen worlds

OSErr NewGWorld(GWorldPtr* world, int depth, const QTRect* bounds)
{
    if (!world || !bounds) return paramErr;
    *world = nullptr;
    const int width = bounds->right - bounds->left;
    const int height = bounds->bottom - bounds->top;
    if ((depth != 8 && depth != 24) || width <= 0 || height <= 0) {
        Logger::log("ERROR NewGWorld: depth %d, %d x %d is not a world", 1, depth, width, height);
        return paramErr;
    }
    if (Injected()) return injectedFailure;
    try {
        auto* w = new GWorldRecord;
        w->pixMap.width = width;
        w->pixMap.height = height;
        w->pixMap.depth = depth;
        w->pixMap.rowBytes = (width * (depth / 8) + 3) & ~3;
        w->pixMap.pixels.assign(static_cast<size_t>(w->pixMap.rowBytes) * height, 0);
        *world = w;
        return noErr;
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
}

void DisposeGWorld(GWorldPtr world) { delete world; }

PixMapHandle GetGWorldPixMap(GWorldPtr world) { return world ? &world->pixMap : nullptr; }

bool LockPixels(PixMapHandle pixMap)
{
    if (!pixMap) return false;
    ++pixMap->lockCount;
    return true;
}

void UnlockPixels(PixMapHandle pixMap)
{
    if (pixMap && pixMap->lockCount > 0) --pixMap->lockCount;
}

uint8_t* GetPixBaseAddr(PixMapHandle pixMap) { return pixMap ? pixMap->pixels.data() : nullptr; }

int GetPixRowBytes(PixMapHandle pixMap) { return pixMap ? pixMap->rowBytes : 0; }

// ---------------------------------------------------------------------------
// Compressors

void RegisterCompressor(OSType type, const Compressor& compressor)
{
    std::lock_guard<std::mutex> guard(g_lock);
    Compressors()[type] = compressor;
}

namespace {

const Compressor* FindCompressor(OSType type)
{
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = Compressors().find(type);
    return it == Compressors().end() ? nullptr : &it->second;
}

std::string TypeText(OSType type)
{
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(type >> (24 - 8 * i));
    return s;
}

}  // namespace

OSErr GetMaxCompressionSize(PixMapHandle src, const QTRect*, int depth, CodecQ quality, OSType cType, void*,
                            long* size)
{
    if (!src || !size || !QualityValid(quality) || depth != src->depth) return paramErr;
    if (Injected()) return injectedFailure;
    const Compressor* compressor = FindCompressor(cType);
    if (!compressor) {
        Logger::log("ERROR GetMaxCompressionSize: no compressor '%s'", 1, TypeText(cType).c_str());
        return noCodecErr;
    }
    const size_t bytes = compressor->maxSize(src->width, src->height, depth, quality);
    if (bytes == 0 || bytes > 0x7fffffff) return noCodecErr;
    *size = static_cast<long>(bytes);
    return noErr;
}

OSErr FCompressImage(PixMapHandle src, const QTRect*, int depth, CodecQ quality, OSType cType, void*, void*,
                     int, Handle desc, uint8_t* data, long dataCapacity, long* dataSize)
{
    if (!src || !desc || !data || !dataSize || !QualityValid(quality) || depth != src->depth) return paramErr;
    if (Injected()) return injectedFailure;
    const Compressor* compressor = FindCompressor(cType);
    if (!compressor) return noCodecErr;
    std::vector<uint8_t> out;
    try {
        if (!compressor->compress(*src, quality, out)) {
            Logger::log("ERROR FCompressImage: '%s' cannot code a %d x %d frame", 1, TypeText(cType).c_str(),
                        src->width, src->height);
            return noCodecErr;
        }
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    if (out.size() > static_cast<size_t>(dataCapacity)) {
        Logger::log("ERROR FCompressImage: %zu bytes exceed the promised maximum %ld", 1, out.size(), dataCapacity);
        return noCodecErr;
    }
    std::memcpy(data, out.data(), out.size());
    *dataSize = static_cast<long>(out.size());
    if (SetHandleSize(desc, kImageDescriptionSize) != noErr) return memFullErr;
    uint8_t* d = HandleData(desc);
    std::memset(d, 0, kImageDescriptionSize);
    PutBE32(d, kImageDescriptionSize);
    PutBE32(d + 4, cType);
    PutBE16(d + 14, 1);                          // data reference index
    PutBE32(d + 20, FourCC("appl"));             // vendor
    PutBE32(d + 24, 0);                          // temporal quality
    PutBE32(d + 28, static_cast<uint32_t>(quality));  // spatial quality
    PutBE16(d + 32, static_cast<uint32_t>(src->width));
    PutBE16(d + 34, static_cast<uint32_t>(src->height));
    PutBE32(d + 36, 72u << 16);                  // horizontal resolution
    PutBE32(d + 40, 72u << 16);                  // vertical resolution
    PutBE32(d + 44, 0);                          // data size: varies per frame, so not given
    PutBE16(d + 48, 1);                          // frame count
    const size_t nameLength = std::min<size_t>(std::strlen(compressor->name), 31);
    d[50] = static_cast<uint8_t>(nameLength);
    std::memcpy(d + 51, compressor->name, nameLength);
    PutBE16(d + 82, depth == 8 ? 40 : 24);       // 40: 8-bit grey
    PutBE16(d + 84, 0xffff);                     // no colour table
    return noErr;
}

// ---------------------------------------------------------------------------
// Components

Component FindNextComponent(Component, const ComponentDescription*)
{
    return nullptr;
}

OSErr OpenAComponent(Component, ComponentInstance* instance)
{
    if (instance) *instance = nullptr;
    return badComponentType;
}

OSErr CloseComponent(ComponentInstance) { return noErr; }

// ---------------------------------------------------------------------------
// Movie files

OSErr CreateMovieFile(const FSSpec* file, OSType, ScriptCode, long flags, short* resRefNum, Movie* movie)
{
    if (!file || file->path.empty() || !resRefNum) return MovieResult(paramErr);
    if (movie) *movie = nullptr;
    if (Injected()) return MovieResult(injectedFailure);
    if (!(flags & createMovieFileDeleteCurFile)) {
        if (FILE* existing = std::fopen(file->path.c_str(), "rb")) {
            std::fclose(existing);
            Logger::log("ERROR CreateMovieFile: %s exists", 1, file->path.c_str());
            return MovieResult(ioErr);
        }
    }
    if (!CreateEmptyFile(file->path)) {
        Logger::log("ERROR CreateMovieFile: cannot create %s", 1, file->path.c_str());
        return MovieResult(ioErr);
    }
    if (movie) *movie = new MovieRecord;
    *resRefNum = g_nextRef++;
    OpenFiles()[*resRefNum] = file->path;
    return MovieResult(noErr);
}

OSErr OpenMovieFile(const FSSpec* file, short* resRefNum, signed char)
{
    if (!file || file->path.empty() || !resRefNum) return MovieResult(paramErr);
    if (Injected()) return MovieResult(injectedFailure);
    FILE* f = std::fopen(file->path.c_str(), "rb");
    if (!f) return MovieResult(fnfErr);
    std::fclose(f);
    *resRefNum = g_nextRef++;
    OpenFiles()[*resRefNum] = file->path;
    return MovieResult(noErr);
}

OSErr CloseMovieFile(short resRefNum)
{
    return MovieResult(OpenFiles().erase(resRefNum) ? noErr : paramErr);
}

OSErr NewMovieFromFile(Movie* movie, short resRefNum, short*, void*, short, bool*)
{
    if (!movie) return MovieResult(paramErr);
    *movie = nullptr;
    auto it = OpenFiles().find(resRefNum);
    if (it == OpenFiles().end()) return MovieResult(paramErr);
    if (Injected()) return MovieResult(injectedFailure);
    // The samples of the movie share the one copy of the file read here.
    std::shared_ptr<const FileBytes> bytes = quicktime::ReadWholeFile(it->second);
    if (!bytes) return MovieResult(fnfErr);
    std::unique_ptr<MovieRecord> parsed = quicktime::ParseMovie(bytes);
    if (!parsed) {
        Logger::log("ERROR NewMovieFromFile: %s holds no readable movie", 1, it->second.c_str());
        return MovieResult(invalidMovie);
    }
    *movie = parsed.release();
    return MovieResult(noErr);
}

OSErr AddMovieResource(Movie movie, short resRefNum, short* resId, const char*)
{
    if (!movie) return MovieResult(invalidMovie);
    auto it = OpenFiles().find(resRefNum);
    if (it == OpenFiles().end()) return MovieResult(paramErr);
    if (Injected()) return MovieResult(injectedFailure);
    if (!quicktime::WriteMovieFile(*movie, it->second, "AddMovieResource")) {
        Logger::log("ERROR AddMovieResource: cannot write %s", 1, it->second.c_str());
        return MovieResult(ioErr);
    }
    if (resId) *resId = 128;
    return MovieResult(noErr);
}

OSErr DeleteMovieFile(const FSSpec* file)
{
    if (!file || file->path.empty()) return MovieResult(paramErr);
    return MovieResult(std::remove(file->path.c_str()) == 0 ? noErr : fnfErr);
}

void DisposeMovie(Movie movie) { delete movie; }

OSErr GetMoviesError() { return g_moviesError; }

Movie FlattenMovieData(Movie movie, long, const FSSpec* file, OSType, ScriptCode, long)
{
    if (!movie || !file || file->path.empty()) {
        MovieResult(paramErr);
        return nullptr;
    }
    if (Injected()) {
        MovieResult(injectedFailure);
        return nullptr;
    }
    if (!quicktime::WriteMovieFile(*movie, file->path, "FlattenMovieData")) {
        Logger::log("ERROR FlattenMovieData: cannot write %s", 1, file->path.c_str());
        std::remove(file->path.c_str());
        MovieResult(ioErr);
        return nullptr;
    }
    MovieResult(noErr);
    return nullptr;
}

// ---------------------------------------------------------------------------
// Movies

void SetMovieTimeScale(Movie movie, TimeScale scale)
{
    if (movie && scale > 0) movie->timeScale = scale;
}

TimeScale GetMovieTimeScale(Movie movie) { return movie ? movie->timeScale : 0; }

TimeValue GetMovieDuration(Movie movie)
{
    TimeValue duration = 0;
    if (movie)
        for (const auto& track : movie->tracks) duration = std::max(duration, GetTrackDuration(track.get()));
    return duration;
}

TimeValue GetMovieTime(Movie movie, void*) { return movie ? movie->currentTime : 0; }

void SetMovieProgressProc(Movie, void*, long) {}

void SetMoviePlayHints(Movie, long, long) {}

long GetMovieTrackCount(Movie movie) { return movie ? static_cast<long>(movie->tracks.size()) : 0; }

Track GetMovieIndTrack(Movie movie, long index)
{
    if (!movie || index < 1 || index > static_cast<long>(movie->tracks.size())) return nullptr;
    return movie->tracks[index - 1].get();
}

Track GetMovieIndTrackType(Movie movie, long index, OSType type, long)
{
    if (!movie) return nullptr;
    long seen = 0;
    for (const auto& track : movie->tracks)
        if (track->media && track->media->type == type && ++seen == index) return track.get();
    return nullptr;
}

Track NewMovieTrack(Movie movie, Fixed width, Fixed height, short volume)
{
    if (!movie || width < 0 || height < 0) {
        MovieResult(paramErr);
        return nullptr;
    }
    if (Injected()) {
        MovieResult(injectedFailure);
        return nullptr;
    }
    auto track = std::make_unique<TrackRecord>();
    track->movie = movie;
    track->id = movie->nextTrackId++;
    track->width = width;
    track->height = height;
    track->volume = volume;
    movie->tracks.push_back(std::move(track));
    MovieResult(noErr);
    return movie->tracks.back().get();
}

void GetTrackDimensions(Track track, Fixed* width, Fixed* height)
{
    if (width) *width = track ? track->width : 0;
    if (height) *height = track ? track->height : 0;
}

short GetTrackVolume(Track track) { return track ? track->volume : 0; }
short GetTrackLayer(Track track) { return track ? track->layer : 0; }
void SetTrackLayer(Track track, short layer)
{
    if (track) track->layer = layer;
}
void SetTrackEnabled(Track track, bool enabled)
{
    if (track) track->enabled = enabled;
}
bool GetTrackEnabled(Track track) { return track && track->enabled; }

TimeValue GetTrackDuration(Track track)
{
    TimeValue duration = 0;
    if (track)
        for (const auto& edit : track->edits) duration += edit.trackDuration;
    return duration;
}

Media GetTrackMedia(Track track) { return track ? track->media.get() : nullptr; }

namespace {

// Converts a duration between time scales, rounding to nearest.
TimeValue Rescale(int64_t value, TimeScale from, TimeScale to)
{
    if (from <= 0) return 0;
    return static_cast<TimeValue>((value * to + from / 2) / from);
}

}  // namespace

OSErr InsertMediaIntoTrack(Track track, TimeValue, TimeValue mediaTime, TimeValue mediaDuration, Fixed rate)
{
    if (!track || !track->media) return MovieResult(invalidTrack);
    if (mediaTime < 0 || mediaDuration <= 0 || rate <= 0 ||
        static_cast<int64_t>(mediaTime) + mediaDuration > GetMediaDuration(track->media.get()))
        return MovieResult(paramErr);
    if (Injected()) return MovieResult(injectedFailure);
    EditRecord edit;
    edit.trackDuration = Rescale(mediaDuration, track->media->timeScale, track->movie->timeScale);
    edit.mediaTime = mediaTime;
    edit.rate = rate;
    track->edits.push_back(edit);
    return MovieResult(noErr);
}

OSErr InsertTrackSegment(Track source, Track target, TimeValue sourceIn, TimeValue sourceDuration, TimeValue)
{
    if (!source || !target || !source->media || !target->media) return MovieResult(invalidTrack);
    if (sourceIn < 0 || sourceDuration <= 0) return MovieResult(paramErr);
    if (Injected()) return MovieResult(injectedFailure);
    MediaRecord& from = *source->media;
    MediaRecord& to = *target->media;
    // Walk the source's edits, copying the samples each one shows.
    TimeValue editStart = 0;
    for (const EditRecord& edit : source->edits) {
        const TimeValue editEnd = editStart + edit.trackDuration;
        const TimeValue begin = std::max(editStart, sourceIn);
        const TimeValue end = std::min(editEnd, sourceIn + sourceDuration);
        if (begin < end) {
            const TimeValue mediaBegin =
                edit.mediaTime + Rescale(begin - editStart, source->movie->timeScale, from.timeScale);
            const TimeValue mediaEnd =
                edit.mediaTime + Rescale(end - editStart, source->movie->timeScale, from.timeScale);
            const TimeValue targetMediaStart = to.Duration();
            TimeValue t = 0;
            for (const SampleRecord& sample : from.samples) {
                if (t + sample.duration > mediaBegin && t < mediaEnd) {
                    SampleRecord copy = sample;
                    copy.description = to.AddDescription(from.descriptions[sample.description - 1]);
                    copy.duration = Rescale(sample.duration, from.timeScale, to.timeScale);
                    to.samples.push_back(std::move(copy));
                }
                t += sample.duration;
            }
            EditRecord added;
            added.mediaTime = targetMediaStart;
            added.trackDuration = end - begin;
            added.rate = edit.rate;
            target->edits.push_back(added);
        }
        editStart = editEnd;
    }
    return MovieResult(noErr);
}

OSErr CopyTrackSettings(Track source, Track target)
{
    if (!source || !target) return MovieResult(invalidTrack);
    if (Injected()) return MovieResult(injectedFailure);
    target->volume = source->volume;
    target->layer = source->layer;
    target->width = source->width;
    target->height = source->height;
    return MovieResult(noErr);
}

OSErr AddTrackReference(Track track, Track refTrack, OSType type, long* index)
{
    if (!track || !refTrack || track->movie != refTrack->movie) return MovieResult(invalidTrack);
    if (Injected()) return MovieResult(injectedFailure);
    auto& ids = track->references[type];
    auto found = std::find(ids.begin(), ids.end(), refTrack->id);
    if (found == ids.end()) {
        ids.push_back(refTrack->id);
        found = ids.end() - 1;
    }
    if (index) *index = static_cast<long>(found - ids.begin()) + 1;
    return MovieResult(noErr);
}

long GetTrackReferenceCount(Track track, OSType type)
{
    if (!track) return 0;
    auto it = track->references.find(type);
    return it == track->references.end() ? 0 : static_cast<long>(it->second.size());
}

Track GetTrackReference(Track track, OSType type, long index)
{
    if (!track || index < 1 || index > GetTrackReferenceCount(track, type)) return nullptr;
    const uint32_t id = track->references[type][index - 1];
    for (const auto& candidate : track->movie->tracks)
        if (candidate->id == id) return candidate.get();
    return nullptr;
}

// ---------------------------------------------------------------------------
// Media

Media NewTrackMedia(Track track, OSType mediaType, TimeScale scale, Handle, OSType)
{
    if (!track || track->media || scale <= 0) {
        MovieResult(track ? paramErr : invalidTrack);
        return nullptr;
    }
    if (Injected()) {
        MovieResult(injectedFailure);
        return nullptr;
    }
    track->media = std::make_unique<MediaRecord>();
    track->media->type = mediaType;
    track->media->timeScale = scale;
    MovieResult(noErr);
    return track->media.get();
}

OSType GetMediaType(Media media) { return media ? media->type : 0; }
TimeScale GetMediaTimeScale(Media media) { return media ? media->timeScale : 0; }
TimeValue GetMediaDuration(Media media) { return media ? media->Duration() : 0; }
long GetMediaSampleCount(Media media) { return media ? static_cast<long>(media->samples.size()) : 0; }

OSErr BeginMediaEdits(Media media)
{
    if (!media) return MovieResult(invalidMedia);
    if (Injected()) return MovieResult(injectedFailure);
    media->editing = true;
    return MovieResult(noErr);
}

OSErr EndMediaEdits(Media media)
{
    if (!media || !media->editing) return MovieResult(invalidMedia);
    if (Injected()) return MovieResult(injectedFailure);
    media->editing = false;
    return MovieResult(noErr);
}

OSErr AddMediaSample(Media media, Handle data, long offset, unsigned long size, TimeValue duration,
                     Handle sampleDescription, long numberOfSamples, short, TimeValue* sampleTime)
{
    if (!media || !media->editing) return MovieResult(invalidMedia);
    if (!data || offset < 0 || numberOfSamples != 1 || duration <= 0 ||
        static_cast<size_t>(offset) + size > data->bytes.size())
        return MovieResult(paramErr);
    if (!sampleDescription || sampleDescription->bytes.size() < 8 ||
        GetBE32(sampleDescription->bytes.data()) != sampleDescription->bytes.size())
        return MovieResult(badImageDescription);
    if (Injected()) return MovieResult(injectedFailure);
    try {
        SampleRecord sample;
        sample.Copy(data->bytes.data() + offset, size);
        sample.duration = duration;
        sample.description = media->AddDescription(
            std::vector<uint8_t>(sampleDescription->bytes.begin(), sampleDescription->bytes.end()));
        if (sampleTime) *sampleTime = media->Duration();
        media->samples.push_back(std::move(sample));
    } catch (const std::bad_alloc&) {
        return MovieResult(memFullErr);
    }
    return MovieResult(noErr);
}

OSErr GetMediaSample(Media media, Handle data, long maxSize, long* size, TimeValue time, TimeValue* sampleTime,
                     TimeValue* duration, Handle sampleDescription, long* descriptionIndex, long,
                     long* numberOfSamples, short* flags)
{
    if (!media) return MovieResult(invalidMedia);
    if (!data || time < 0) return MovieResult(paramErr);
    if (Injected()) return MovieResult(injectedFailure);
    TimeValue t = 0;
    for (const SampleRecord& sample : media->samples) {
        if (time < t + sample.duration) {
            if (maxSize > 0 && static_cast<long>(sample.Size()) > maxSize) return MovieResult(paramErr);
            if (SetHandleSize(data, sample.Size()) != noErr) return MovieResult(memFullErr);
            std::copy(sample.Data(), sample.Data() + sample.Size(), data->bytes.begin());
            if (size) *size = static_cast<long>(sample.Size());
            if (sampleTime) *sampleTime = t;
            if (duration) *duration = sample.duration;
            if (sampleDescription) {
                const auto& desc = media->descriptions[sample.description - 1];
                if (SetHandleSize(sampleDescription, desc.size()) != noErr) return MovieResult(memFullErr);
                std::copy(desc.begin(), desc.end(), sampleDescription->bytes.begin());
            }
            if (descriptionIndex) *descriptionIndex = sample.description;
            if (numberOfSamples) *numberOfSamples = 1;
            if (flags) *flags = 0;
            return MovieResult(noErr);
        }
        t += sample.duration;
    }
    return MovieResult(paramErr);
}

// ---------------------------------------------------------------------------
// User data

OSErr SetMovieUserDataItem(Movie movie, OSType type, const void* data, size_t size)
{
    if (!movie) return MovieResult(paramErr);
    if (Injected()) return MovieResult(injectedFailure);
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (auto& item : movie->userData)
        if (item.first == type) {
            item.second.assign(bytes, bytes + size);
            return MovieResult(noErr);
        }
    movie->userData.emplace_back(type, std::vector<uint8_t>(bytes, bytes + size));
    return MovieResult(noErr);
}

std::vector<uint8_t> GetMovieUserDataItem(Movie movie, OSType type)
{
    if (movie)
        for (const auto& item : movie->userData)
            if (item.first == type) return item.second;
    return {};
}

// ---------------------------------------------------------------------------
// QT atom containers

namespace {

constexpr size_t kContainerHeader = 12;
constexpr size_t kAtomHeader = 20;
constexpr QTAtom kRootAtom = static_cast<QTAtom>(kContainerHeader);

// Offsets of the atoms from the root down to `target` (inclusive); empty
// when `target` is not the start of an atom.
bool PathTo(const HandleBytes& b, size_t atom, size_t target, std::vector<size_t>& path)
{
    path.push_back(atom);
    if (atom == target) return true;
    const uint32_t size = GetBE32(&b[atom]);
    const uint16_t children = GetBE16(&b[atom + 14]);
    size_t child = atom + kAtomHeader;
    for (uint16_t i = 0; i < children && child + kAtomHeader <= atom + size; ++i) {
        if (target >= child && target < child + GetBE32(&b[child]) && PathTo(b, child, target, path)) return true;
        child += GetBE32(&b[child]);
    }
    path.pop_back();
    return false;
}

}  // namespace

OSErr QTNewAtomContainer(QTAtomContainer* container)
{
    if (!container) return paramErr;
    *container = nullptr;
    Handle h = NewHandle(kContainerHeader + kAtomHeader);
    if (!h) return MemError();
    uint8_t* d = HandleData(h);
    std::memset(d, 0, GetHandleSize(h));
    PutBE32(d + kContainerHeader, kAtomHeader);
    PutBE32(d + kContainerHeader + 4, FourCC("sean"));
    PutBE32(d + kContainerHeader + 8, 1);
    *container = h;
    return noErr;
}

OSErr QTDisposeAtomContainer(QTAtomContainer container)
{
    DisposeHandle(container);
    return noErr;
}

OSErr QTInsertChild(QTAtomContainer container, QTAtom parent, QTAtomType type, QTAtomID id, short,
                    long dataSize, const void* data, QTAtom* newAtom)
{
    if (!container || container->bytes.size() < kContainerHeader + kAtomHeader || dataSize < 0 || id < 0 ||
        (dataSize > 0 && !data))
        return paramErr;
    HandleBytes& b = container->bytes;
    const size_t parentAt = parent == kParentAtomIsContainer ? kContainerHeader : static_cast<size_t>(parent);
    std::vector<size_t> path;
    if (parentAt >= b.size() || !PathTo(b, kContainerHeader, parentAt, path)) return paramErr;
    const uint32_t parentSize = GetBE32(&b[parentAt]);
    const uint16_t children = GetBE16(&b[parentAt + 14]);
    if (children == 0 && parentSize > kAtomHeader) {
        Logger::log("ERROR QTInsertChild: the parent atom holds data", 1);
        return paramErr;
    }
    if (Injected()) return injectedFailure;
    // Pick the next id unused among the parent's children of this type.
    size_t child = parentAt + kAtomHeader;
    QTAtomID highest = 0;
    for (uint16_t i = 0; i < children; ++i) {
        if (GetBE32(&b[child + 4]) == type) {
            const QTAtomID existing = GetBE32(&b[child + 8]);
            if (id != 0 && existing == id) return paramErr;
            highest = std::max(highest, existing);
        }
        child += GetBE32(&b[child]);
    }
    if (id == 0) id = highest + 1;
    const size_t atomSize = kAtomHeader + static_cast<size_t>(dataSize);
    std::vector<uint8_t> atom(atomSize, 0);
    PutBE32(atom.data(), static_cast<uint32_t>(atomSize));
    PutBE32(atom.data() + 4, type);
    PutBE32(atom.data() + 8, static_cast<uint32_t>(id));
    if (dataSize > 0) std::memcpy(atom.data() + kAtomHeader, data, static_cast<size_t>(dataSize));
    const size_t at = parentAt + parentSize;
    b.insert(b.begin() + static_cast<ptrdiff_t>(at), atom.begin(), atom.end());
    for (size_t ancestor : path) PutBE32(&b[ancestor], GetBE32(&b[ancestor]) + static_cast<uint32_t>(atomSize));
    PutBE16(&b[parentAt + 14], children + 1u);
    if (newAtom) *newAtom = static_cast<QTAtom>(at);
    return noErr;
}

OSErr QTGetAtomTypeAndID(QTAtomContainer container, QTAtom atom, QTAtomType* type, QTAtomID* id)
{
    if (!container) return paramErr;
    const size_t at = atom == kParentAtomIsContainer ? kRootAtom : static_cast<size_t>(atom);
    if (at + kAtomHeader > container->bytes.size()) return paramErr;
    if (type) *type = GetBE32(&container->bytes[at + 4]);
    if (id) *id = static_cast<QTAtomID>(GetBE32(&container->bytes[at + 8]));
    return noErr;
}
