// Movie toolbox of the QuickTime client layer: the calls the movie writer
// makes, on our own writer and reader of the classic QuickTime movie format
// (big-endian atoms, movie resource before the media data, one chunk per
// sample, self-contained files).
//
// Memory: handles, off-screen worlds, movies and atom containers are owned by
// the caller and released with their Dispose call. A movie owns its tracks
// and media. Sample data of a movie lives in memory until it is written.
//
// Failure injection for tests: SetFailAfter(n) makes the n-th toolbox call
// from then on (1-based) report an error; 0 turns it off.
#pragma once

#include "platform/quicktime/qtml.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using OSType = uint32_t;
using Fixed = int32_t;
using TimeValue = int32_t;
using TimeScale = int32_t;
using ComponentResult = long;

// Four-character code as a native value: FourCC("pano") == 'pano'.
constexpr OSType FourCC(const char (&s)[5])
{
    return (static_cast<OSType>(static_cast<unsigned char>(s[0])) << 24) |
           (static_cast<OSType>(static_cast<unsigned char>(s[1])) << 16) |
           (static_cast<OSType>(static_cast<unsigned char>(s[2])) << 8) |
           static_cast<OSType>(static_cast<unsigned char>(s[3]));
}
constexpr Fixed FixedFromInt(int v) { return static_cast<Fixed>(static_cast<uint32_t>(v) << 16); }
constexpr Fixed fixed1 = 0x10000;

// Error codes the toolbox answers.
constexpr OSErr paramErr = -50;
constexpr OSErr memFullErr = -108;
constexpr OSErr fnfErr = -43;
constexpr OSErr ioErr = -36;
constexpr OSErr invalidMovie = -2010;
constexpr OSErr invalidTrack = -2009;
constexpr OSErr invalidMedia = -2008;
constexpr OSErr badImageDescription = -2001;
constexpr OSErr noCodecErr = -8961;
constexpr OSErr cantFindHandler = -2003;
constexpr OSErr badComponentType = -2005;  // "component not found"
constexpr OSErr injectedFailure = -4242;   // a failure injected by a test

// CreateMovieFile flags.
constexpr long createMovieFileDeleteCurFile = 0x80000000L;
constexpr long createMovieFileDontCreateResFile = 0x10000000L;
// FlattenMovieData flags.
constexpr long flattenAddMovieToDataFork = 1;
constexpr long flattenDontInterleaveFlatten = 8;
constexpr long flattenForceMovieResourceBeforeMovieData = 64;
// Permissions of OpenMovieFile.
constexpr signed char fsRdPerm = 1;

// Sample description sizes this writer produces.
constexpr size_t kImageDescriptionSize = 86;

// ---------------------------------------------------------------------------
// Handles: a relocatable block, here a byte vector with a lock flag.
// Bytes of a handle are left uninitialised when it grows (NewHandleClear
// clears them): a compressor's handle is sized for its worst case and only
// the start of it is ever written.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <class U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept
    {
    }
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using HandleBytes = std::vector<uint8_t, UninitialisedAllocator<uint8_t>>;

struct HandleRecord {
    HandleBytes bytes;
    int lockCount = 0;
};
using Handle = HandleRecord*;

Handle NewHandle(size_t size);
Handle NewHandleClear(size_t size);
void DisposeHandle(Handle h);
size_t GetHandleSize(Handle h);
OSErr SetHandleSize(Handle h, size_t size);
void HLock(Handle h);
void HUnlock(Handle h);
uint8_t* HandleData(Handle h);
OSErr MemError();

// ---------------------------------------------------------------------------
// Off-screen graphics worlds. Depth 24: rows of red, green, blue bytes;
// depth 8: one byte per pixel. Rows are padded to a multiple of 4 bytes.
struct QTRect {
    int16_t top = 0, left = 0, bottom = 0, right = 0;
};
struct PixMapRecord {
    int width = 0, height = 0, depth = 0;
    int rowBytes = 0;
    std::vector<uint8_t> pixels;
    int lockCount = 0;
};
using PixMapHandle = PixMapRecord*;
struct GWorldRecord {
    PixMapRecord pixMap;
};
using GWorldPtr = GWorldRecord*;

OSErr NewGWorld(GWorldPtr* world, int depth, const QTRect* bounds);
void DisposeGWorld(GWorldPtr world);
PixMapHandle GetGWorldPixMap(GWorldPtr world);
bool LockPixels(PixMapHandle pixMap);
void UnlockPixels(PixMapHandle pixMap);
uint8_t* GetPixBaseAddr(PixMapHandle pixMap);
int GetPixRowBytes(PixMapHandle pixMap);

// ---------------------------------------------------------------------------
// Compressors. The codec qualities: 1024 lossless, 1023 maximum, 768 high,
// 512 normal, 256 low. A compressor receives the pixel map (depth 24 or 8)
// and appends the compressed frame to `out`.
using CodecQ = long;
constexpr CodecQ codecLosslessQuality = 1024;
constexpr CodecQ codecMaxQuality = 1023;
constexpr CodecQ codecHighQuality = 768;
constexpr CodecQ codecNormalQuality = 512;
constexpr CodecQ codecLowQuality = 256;

struct Compressor {
    // Largest size of one compressed frame; 0 when the frame cannot be coded.
    size_t (*maxSize)(int width, int height, int depth, CodecQ quality) = nullptr;
    // Codes the frame; false on failure.
    bool (*compress)(const PixMapRecord& pixMap, CodecQ quality, std::vector<uint8_t>& out) = nullptr;
    const char* name = "";  // compressor name of the image description
};
// Makes `type` available to GetMaxCompressionSize and FCompressImage;
// a later registration of the same type replaces the earlier one.
void RegisterCompressor(OSType type, const Compressor& compressor);

OSErr GetMaxCompressionSize(PixMapHandle src, const QTRect* srcRect, int depth, CodecQ quality, OSType cType,
                            void* codec, long* size);
// Codes the pixel map into `data` (locked, at least the maximum size) and
// fills `desc` (resized to an 86-byte image description).
OSErr FCompressImage(PixMapHandle src, const QTRect* srcRect, int depth, CodecQ quality, OSType cType,
                     void* codec, void* ctable, int flags, Handle desc, uint8_t* data, long dataCapacity,
                     long* dataSize);

// ---------------------------------------------------------------------------
// Components: no outside component exists here, so every search answers
// "not found".
struct ComponentDescription {
    OSType componentType = 0, componentSubType = 0, componentManufacturer = 0;
    unsigned long componentFlags = 0, componentFlagsMask = 0;
};
using Component = void*;
using ComponentInstance = void*;
Component FindNextComponent(Component previous, const ComponentDescription* looking);
OSErr OpenAComponent(Component component, ComponentInstance* instance);
OSErr CloseComponent(ComponentInstance instance);

// ---------------------------------------------------------------------------
// Movies, tracks and media.
struct MovieRecord;
struct TrackRecord;
struct MediaRecord;
using Movie = MovieRecord*;
using Track = TrackRecord*;
using Media = MediaRecord*;

struct FSSpec {
    std::string path;  // empty: no file
};
using ScriptCode = short;

OSErr CreateMovieFile(const FSSpec* file, OSType creator, ScriptCode script, long flags, short* resRefNum,
                      Movie* movie);
OSErr OpenMovieFile(const FSSpec* file, short* resRefNum, signed char permission);
OSErr CloseMovieFile(short resRefNum);
OSErr NewMovieFromFile(Movie* movie, short resRefNum, short* resId, void* name, short flags, bool* changed);
// Writes the movie with its media into the movie file `resRefNum`.
OSErr AddMovieResource(Movie movie, short resRefNum, short* resId, const char* name);
OSErr DeleteMovieFile(const FSSpec* file);
void DisposeMovie(Movie movie);
OSErr GetMoviesError();

void SetMovieTimeScale(Movie movie, TimeScale scale);
TimeScale GetMovieTimeScale(Movie movie);
TimeValue GetMovieDuration(Movie movie);
TimeValue GetMovieTime(Movie movie, void* unused);
void SetMovieProgressProc(Movie movie, void* proc, long refCon);
long GetMovieTrackCount(Movie movie);
Track GetMovieIndTrack(Movie movie, long index);  // 1-based
Track GetMovieIndTrackType(Movie movie, long index, OSType type, long flags);
// Plays the movie at its normal quality (the values have no effect here).
void SetMoviePlayHints(Movie movie, long hints, long mask);

Track NewMovieTrack(Movie movie, Fixed width, Fixed height, short volume);
void GetTrackDimensions(Track track, Fixed* width, Fixed* height);
short GetTrackVolume(Track track);
short GetTrackLayer(Track track);
void SetTrackLayer(Track track, short layer);
void SetTrackEnabled(Track track, bool enabled);
bool GetTrackEnabled(Track track);
TimeValue GetTrackDuration(Track track);  // movie time scale
Media GetTrackMedia(Track track);
OSErr InsertMediaIntoTrack(Track track, TimeValue trackStart, TimeValue mediaTime, TimeValue mediaDuration,
                           Fixed rate);
OSErr InsertTrackSegment(Track source, Track target, TimeValue sourceIn, TimeValue sourceDuration,
                         TimeValue targetIn);
OSErr CopyTrackSettings(Track source, Track target);
// Adds a reference of `type` from `track` to `refTrack`; `index` receives
// its 1-based index among the references of that type.
OSErr AddTrackReference(Track track, Track refTrack, OSType type, long* index);
long GetTrackReferenceCount(Track track, OSType type);
Track GetTrackReference(Track track, OSType type, long index);

Media NewTrackMedia(Track track, OSType mediaType, TimeScale scale, Handle dataRef, OSType dataRefType);
OSType GetMediaType(Media media);
TimeScale GetMediaTimeScale(Media media);
TimeValue GetMediaDuration(Media media);
long GetMediaSampleCount(Media media);
OSErr BeginMediaEdits(Media media);
OSErr EndMediaEdits(Media media);
OSErr AddMediaSample(Media media, Handle data, long offset, unsigned long size, TimeValue duration,
                     Handle sampleDescription, long numberOfSamples, short flags, TimeValue* sampleTime);
// The sample at media time `time`: its bytes into `data` (resized), its
// start, duration and description (copied into `sampleDescription`).
OSErr GetMediaSample(Media media, Handle data, long maxSize, long* size, TimeValue time, TimeValue* sampleTime,
                     TimeValue* duration, Handle sampleDescription, long* descriptionIndex,
                     long maxNumberOfSamples, long* numberOfSamples, short* flags);

// User data of a movie: items by type, each a byte string.
OSErr SetMovieUserDataItem(Movie movie, OSType type, const void* data, size_t size);
// The first item of `type`; empty when there is none.
std::vector<uint8_t> GetMovieUserDataItem(Movie movie, OSType type);

// Writes `movie` flattened into `file` (movie resource before the data,
// self-contained). Answers null: the flattened movie is not kept open.
Movie FlattenMovieData(Movie movie, long flags, const FSSpec* file, OSType creator, ScriptCode script,
                       long createFlags);

// ---------------------------------------------------------------------------
// QT atom containers: a handle holding the container's bytes (a 12-byte
// header, then the root atom 'sean' whose children are the top-level
// atoms). Atoms are addressed by their offset in the handle; 0 is the root.
using QTAtomContainer = Handle;
using QTAtom = long;
using QTAtomType = OSType;
using QTAtomID = long;
constexpr QTAtom kParentAtomIsContainer = 0;

OSErr QTNewAtomContainer(QTAtomContainer* container);
OSErr QTDisposeAtomContainer(QTAtomContainer container);
// Adds a child of `type` to `parent`; id 0 picks the next id unused among
// the parent's children of that type. `index` is ignored (appended last).
OSErr QTInsertChild(QTAtomContainer container, QTAtom parent, QTAtomType type, QTAtomID id, short index,
                    long dataSize, const void* data, QTAtom* newAtom);
// The id of an atom.
OSErr QTGetAtomTypeAndID(QTAtomContainer container, QTAtom atom, QTAtomType* type, QTAtomID* id);

namespace quicktime {

void SetFailAfter(int calls);
// Number of toolbox calls made since the last SetFailAfter.
int CallCount();

}  // namespace quicktime
