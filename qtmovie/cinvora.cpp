#include "qtmovie/cinvora.h"
#include "qtmovie/pixel_order.h"

#include "core/logger.h"
#include "imaging/ref_count.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <unistd.h>

namespace {

constexpr TimeScale kTimeScale = 3600;
constexpr TimeValue kStripDuration = 300;
constexpr TimeValue kObjectFrameDuration = 60;
constexpr TimeValue kNodeDuration = 7200;
constexpr int kStripWidth = 32;
constexpr int kMaxHotSpots = 255;
constexpr OSType kCreator = FourCC("TVOD");
constexpr long kCreateFlags = createMovieFileDeleteCurFile | createMovieFileDontCreateResFile;
constexpr long kFlattenFlags =
    flattenAddMovieToDataFork | flattenDontInterleaveFlatten | flattenForceMovieResourceBeforeMovieData;

bool FileExists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

// Big-endian fields of a QTVR atom.
class AtomData {
public:
    std::vector<uint8_t> bytes;
    AtomData& U16(uint32_t v)
    {
        bytes.push_back(static_cast<uint8_t>(v >> 8));
        bytes.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    AtomData& U32(uint32_t v)
    {
        U16(v >> 16);
        return U16(v & 0xffff);
    }
    AtomData& F32(float v)
    {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        return U32(bits);
    }
    AtomData& Zeros(size_t n)
    {
        bytes.insert(bytes.end(), n, 0);
        return *this;
    }
    AtomData& Version() { return U16(2).U16(0); }
    long Size() const { return static_cast<long>(bytes.size()); }
};

// Everything one save makes; the destructor disposes of what exists and
// deletes the temporary files.
struct Save {
    cinvora::TempFiles temp;
    std::vector<Movie> movies;
    std::vector<Handle> handles;
    std::vector<short> files;
    GWorldPtr world = nullptr;

    ~Save()
    {
        DisposeGWorld(world);
        for (short file : files) CloseMovieFile(file);
        for (Handle h : handles) DisposeHandle(h);
        for (Movie m : movies) DisposeMovie(m);
        for (const std::string* path : {&temp.imageMovie, &temp.hotSpotMovie, &temp.vrMovie})
            if (!path->empty()) {
                FSSpec where{*path};
                DeleteMovieFile(&where);
            }
    }
    Handle Keep(Handle h)
    {
        if (h) handles.push_back(h);
        return h;
    }
};

bool Check(OSErr err, const char* what)
{
    if (err == noErr) return true;
    Logger::log("ERROR Cinvora: %s failed (%d)", 1, what, err);
    return false;
}

// One frame of an image movie: the picture and the top-left corner of the
// area to copy.
struct Frame {
    Image* image = nullptr;
    int x = 0, y = 0;
};

// Copies `width` x `height` pixels of the frame into the world's pixel map:
// at depth 8 byte for byte, otherwise red, green, blue from a three-channel
// pixel and the first byte three times from any other.
void CopyFrame(const Frame& frame, PixMapHandle pixMap)
{
    LockPixels(pixMap);
    uint8_t* base = GetPixBaseAddr(pixMap);
    const int rowBytes = GetPixRowBytes(pixMap);
    const Image& image = *frame.image;
    const int channels = image.GetChannels();
    const int width = std::min(pixMap->width, image.GetWidth() - frame.x);
    const int height = std::min(pixMap->height, image.GetHeight() - frame.y);
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = image.GetData() + static_cast<size_t>(frame.y + y) * image.GetRowByte() +
                             static_cast<size_t>(frame.x) * channels;
        uint8_t* dst = base + static_cast<size_t>(y) * rowBytes;
        if (pixMap->depth == 8) {
            std::memcpy(dst, src, static_cast<size_t>(width) * channels);
        } else if (channels == 3) {
            cinvora::SwapRedBlue(src, dst, width);
        } else {
            for (int x = 0; x < width; ++x) dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = src[x * channels];
        }
    }
    UnlockPixels(pixMap);
}

// Writes an image movie of one video track to `path`: frames from `next`
// (false from it ends the movie; a null image there means an error), each
// `width` x `height` at `depth`, compressed with `codec` at `quality`.
bool WriteImageMovie(const std::string& path, int width, int height, int depth, OSType codec, CodecQ quality,
                     TimeValue duration, const std::function<bool(Frame&)>& next,
                     const std::function<void(Frame&)>& done)
{
    Save save;
    QTRect bounds{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
    if (width > 32767 || height > 32767) {
        Logger::log("ERROR Cinvora: a %d x %d frame is too large", 1, width, height);
        return false;
    }
    if (!Check(NewGWorld(&save.world, depth, &bounds), "NewGWorld")) return false;
    FSSpec where{path};
    short file = 0;
    Movie movie = nullptr;
    if (!Check(CreateMovieFile(&where, kCreator, -2, kCreateFlags, &file, &movie), "CreateMovieFile")) return false;
    save.files.push_back(file);
    save.movies.push_back(movie);
    Track track = NewMovieTrack(movie, FixedFromInt(width), FixedFromInt(height), 0);
    if (!track) return Check(GetMoviesError(), "NewMovieTrack");
    Media media = NewTrackMedia(track, FourCC("vide"), kTimeScale, nullptr, 0);
    if (!media) return Check(GetMoviesError(), "NewTrackMedia");
    Handle desc = save.Keep(NewHandle(4));
    if (!desc) return Check(MemError(), "NewHandle");
    if (!Check(BeginMediaEdits(media), "BeginMediaEdits")) return false;
    PixMapHandle pixMap = GetGWorldPixMap(save.world);
    // One data handle for every frame, grown when a frame's worst case is
    // larger: the worst case is large and almost none of it is written.
    Handle data = save.Keep(NewHandle(0));
    if (!data) return Check(MemError(), "NewHandle");
    Frame frame;
    int frames = 0;
    while (next(frame)) {
        if (!frame.image) return false;
        CopyFrame(frame, pixMap);
        done(frame);
        long maxSize = 0;
        if (!Check(GetMaxCompressionSize(pixMap, &bounds, depth, quality, codec, nullptr, &maxSize),
                   "GetMaxCompressionSize"))
            return false;
        if (GetHandleSize(data) < static_cast<size_t>(maxSize) &&
            !Check(SetHandleSize(data, static_cast<size_t>(maxSize)), "SetHandleSize"))
            return false;
        HLock(data);
        long size = 0;
        OSErr err = FCompressImage(pixMap, &bounds, depth, quality, codec, nullptr, nullptr, 0, desc, HandleData(data),
                                   maxSize, &size);
        if (err == noErr) err = AddMediaSample(media, data, 0, static_cast<unsigned long>(size), duration, desc, 1, 0, nullptr);
        HUnlock(data);
        if (!Check(err, "FCompressImage/AddMediaSample")) return false;
        ++frames;
    }
    if (frames == 0) {
        Logger::log("ERROR Cinvora: no frames for %s", 1, path.c_str());
        return false;
    }
    if (!Check(EndMediaEdits(media), "EndMediaEdits")) return false;
    if (!Check(InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1), "InsertMediaIntoTrack"))
        return false;
    short resId = 0;
    return Check(AddMovieResource(movie, file, &resId, nullptr), "AddMovieResource");
}

// Copies the video track of the movie file `path` into `target` as a new
// disabled track, every sample lasting `totalDuration` / sample count.
Track CopyImageTrack(Save& save, Movie target, const std::string& path, TimeValue totalDuration)
{
    FSSpec where{path};
    short file = 0;
    if (!Check(OpenMovieFile(&where, &file, fsRdPerm), "OpenMovieFile")) return nullptr;
    save.files.push_back(file);
    Movie source = nullptr;
    if (!Check(NewMovieFromFile(&source, file, nullptr, nullptr, 0, nullptr), "NewMovieFromFile")) return nullptr;
    save.movies.push_back(source);
    Track from = GetMovieIndTrackType(source, 1, FourCC("vide"), 0);
    Media fromMedia = GetTrackMedia(from);
    const long count = GetMediaSampleCount(fromMedia);
    if (!from || count < 1 || count > totalDuration) {
        Logger::log("ERROR Cinvora: %s has no usable video track", 1, path.c_str());
        return nullptr;
    }
    Fixed width = 0, height = 0;
    GetTrackDimensions(from, &width, &height);
    Track track = NewMovieTrack(target, width, height, GetTrackVolume(from));
    if (!track) return Check(GetMoviesError(), "NewMovieTrack") ? nullptr : nullptr;
    Media media = NewTrackMedia(track, GetMediaType(fromMedia), kTimeScale, nullptr, 0);
    if (!media) return Check(GetMoviesError(), "NewTrackMedia") ? nullptr : nullptr;
    Handle data = save.Keep(NewHandle(0));
    Handle desc = save.Keep(NewHandle(0));
    if (!data || !desc) return Check(MemError(), "NewHandle") ? nullptr : nullptr;
    if (!Check(BeginMediaEdits(media), "BeginMediaEdits")) return nullptr;
    const TimeValue each = totalDuration / static_cast<TimeValue>(count);
    TimeValue time = 0;
    for (long i = 0; i < count; ++i) {
        long size = 0;
        TimeValue sampleTime = 0, duration = 0;
        if (!Check(GetMediaSample(fromMedia, data, 0, &size, time, &sampleTime, &duration, desc, nullptr, 1, nullptr,
                                  nullptr),
                   "GetMediaSample") ||
            !Check(AddMediaSample(media, data, 0, static_cast<unsigned long>(size), each, desc, 1, 0, nullptr),
                   "AddMediaSample"))
            return nullptr;
        time = sampleTime + duration;
    }
    if (!Check(EndMediaEdits(media), "EndMediaEdits") ||
        !Check(InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1), "InsertMediaIntoTrack"))
        return nullptr;
    SetTrackEnabled(track, false);
    return track;
}

// ----- VR atom containers -----

bool Insert(QTAtomContainer c, QTAtom parent, const char (&type)[5], QTAtomID id, const AtomData* data,
            QTAtom* atom = nullptr)
{
    return Check(QTInsertChild(c, parent, FourCC(type), id, 0, data ? data->Size() : 0,
                               data ? data->bytes.data() : nullptr, atom),
                 "QTInsertChild");
}

QTAtomContainer WorldContainer(Save& save, OSType nodeType, CodecQ staticQuality)
{
    QTAtomContainer c = nullptr;
    if (!Check(QTNewAtomContainer(&c), "QTNewAtomContainer")) return nullptr;
    save.Keep(c);
    AtomData header;
    header.Version().U32(0).U32(1).U32(0).Zeros(8);  // name atom, default node, flags, reserved
    QTAtom imaging = 0, nodes = 0, node = 0;
    if (!Insert(c, 0, "vrsc", 1, &header) || !Insert(c, 0, "imgp", 1, nullptr, &imaging)) return nullptr;
    struct Mode {
        uint32_t mode, correction, quality, directDraw;
    } modes[2] = {{2, 2, static_cast<uint32_t>(codecLowQuality), 1},
                  {1, 2, static_cast<uint32_t>(staticQuality), 0}};
    for (const Mode& m : modes) {
        AtomData impn;
        impn.Version().U32(m.mode).U32(7).U32(m.correction).U32(m.quality).U32(m.directDraw).Zeros(6 * 4 + 8);
        if (!Insert(c, imaging, "impn", 0, &impn)) return nullptr;
    }
    if (!Insert(c, 0, "vrnp", 1, nullptr, &nodes) || !Insert(c, nodes, "vrni", 1, nullptr, &node)) return nullptr;
    AtomData location;
    location.Version().U32(nodeType).U32(0).U32(0).Zeros(8);
    return Insert(c, node, "nloc", 1, &location) ? c : nullptr;
}

QTAtomContainer NodeContainer(Save& save, OSType nodeType, const MovieSettings* settings)
{
    QTAtomContainer c = nullptr;
    if (!Check(QTNewAtomContainer(&c), "QTNewAtomContainer")) return nullptr;
    save.Keep(c);
    AtomData header;
    header.Version().U32(nodeType).U32(1).U32(0).U32(0).Zeros(8);
    if (!Insert(c, 0, "ndhd", 1, &header)) return nullptr;
    if (!settings || nodeType != FourCC("pano")) return c;
    QTAtom parent = 0;
    if (!Insert(c, 0, "hspa", 1, nullptr, &parent)) return nullptr;
    const int count = std::min(std::max(settings->hotSpotCount, 0), kMaxHotSpots);
    if (count > 0 && !settings->hotSpots) {
        Logger::log("ERROR Cinvora: %d hot spots without a list", 1, settings->hotSpotCount);
        return nullptr;
    }
    std::vector<int32_t> ids;
    for (int i = 0; i < count; ++i) {
        const MovieHotSpot& spot = settings->hotSpots[i];
        if (spot.id <= 0 || std::find(ids.begin(), ids.end(), spot.id) != ids.end()) {
            Logger::log("ERROR Cinvora: hot spot %d has the id %d, not a new positive one; left out", 1, i, spot.id);
            continue;
        }
        ids.push_back(spot.id);
        QTAtom hots = 0, text = 0;
        if (!Insert(c, parent, "hots", spot.id, nullptr, &hots)) return nullptr;
        const std::string name = spot.name ? spot.name : "";
        const std::string url = spot.url ? spot.url : "";
        AtomData string;
        string.U16(1).U16(static_cast<uint32_t>(std::min<size_t>(name.size(), 0xffff)));
        string.bytes.insert(string.bytes.end(), name.begin(), name.begin() + std::min<size_t>(name.size(), 0xffff));
        if (!Insert(c, hots, "vrsg", 0, &string, &text)) return nullptr;
        QTAtomType type = 0;
        QTAtomID nameId = 0;
        QTGetAtomTypeAndID(c, text, &type, &nameId);
        AtomData info;
        info.Version().U32(FourCC("url ")).U32(static_cast<uint32_t>(nameId)).U32(0);
        info.Zeros(3 * 4 + 5 * 4 + 8 + 4 + 8);  // cursors, best view, centre, rectangle, flags, reserved
        AtomData link;
        link.bytes.assign(url.begin(), url.end());
        if (!Insert(c, hots, "hsin", 1, &info) || !Insert(c, hots, "url ", 1, &link)) return nullptr;
    }
    return c;
}

// Adds one sample of `duration` holding the container `sample`, described by
// a 16-byte description of `format` followed by `extra` (or nothing).
bool AddContainerSample(Save& save, Track track, OSType format, QTAtomContainer sample, QTAtomContainer extra,
                        TimeValue duration)
{
    Media media = GetTrackMedia(track);
    const size_t extraSize = extra ? GetHandleSize(extra) : 0;
    Handle desc = save.Keep(NewHandleClear(16 + extraSize));
    if (!desc) return Check(MemError(), "NewHandle");
    AtomData head;
    head.U32(static_cast<uint32_t>(16 + extraSize)).U32(format).Zeros(8);
    std::memcpy(HandleData(desc), head.bytes.data(), 16);
    if (extra) std::memcpy(HandleData(desc) + 16, HandleData(extra), extraSize);
    return Check(BeginMediaEdits(media), "BeginMediaEdits") &&
           Check(AddMediaSample(media, sample, 0, GetHandleSize(sample), duration, desc, 1, 0, nullptr),
                 "AddMediaSample") &&
           Check(EndMediaEdits(media), "EndMediaEdits") &&
           Check(InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1), "InsertMediaIntoTrack");
}

Track NewTrackWithMedia(Movie movie, int width, int height, short volume, OSType type, TimeScale scale)
{
    Track track = NewMovieTrack(movie, FixedFromInt(width), FixedFromInt(height), volume);
    if (!track) {
        Check(GetMoviesError(), "NewMovieTrack");
        return nullptr;
    }
    if (!NewTrackMedia(track, type, scale, nullptr, 0)) {
        Check(GetMoviesError(), "NewTrackMedia");
        return nullptr;
    }
    return track;
}

bool SetVrType(Movie movie)
{
    AtomData type;
    type.U32(FourCC("qtvr"));
    return Check(SetMovieUserDataItem(movie, FourCC("ctyp"), type.bytes.data(), type.bytes.size()),
                 "SetMovieUserDataItem");
}

// Writes the target from the VR movie: through the QTVR flattener when one
// is installed, else (and when it fails) by FlattenMovieData.
bool WriteTarget(Movie movie, const char* target, bool tryExporter)
{
    if (tryExporter) {
        ComponentDescription looking;
        looking.componentType = FourCC("spit");
        looking.componentSubType = FourCC("MooV");
        looking.componentManufacturer = FourCC("vrwe");
        if (Component exporter = FindNextComponent(nullptr, &looking)) {
            ComponentInstance instance = nullptr;
            if (OpenAComponent(exporter, &instance) == noErr) CloseComponent(instance);
        } else {
            Logger::log("Cinvora: no QTVR flattener (%d); flattening the movie itself", 3, badComponentType);
        }
    }
    FSSpec where{target};
    SetMovieProgressProc(movie, nullptr, 0);
    FlattenMovieData(movie, kFlattenFlags, &where, kCreator, -1, kCreateFlags);
    return Check(GetMoviesError(), "FlattenMovieData");
}

struct PanoramaView {
    // Cylindrical: pan span, tilt limit m; cubic: face size.
    bool cubic = false;
    float span = 360.0f;
    double halfExtent = 0;
    int imageWidth = 0, imageHeight = 0, framesX = 1, framesY = 1;
    int fieldOfView = 45;
};

QTAtomContainer PanoSample(Save& save, const PanoramaView& view, long imageIndex, long hotIndex)
{
    QTAtomContainer c = nullptr;
    if (!Check(QTNewAtomContainer(&c), "QTNewAtomContainer")) return nullptr;
    save.Keep(c);
    AtomData pdat;
    pdat.Version().U32(static_cast<uint32_t>(imageIndex)).U32(static_cast<uint32_t>(hotIndex));
    if (view.cubic) {
        pdat.F32(0).F32(360).F32(-45).F32(45).F32(15).F32(90).F32(0).F32(0).F32(static_cast<float>(view.fieldOfView));
    } else {
        const float m = static_cast<float>(view.halfExtent);
        const float fov = std::clamp(static_cast<float>(view.fieldOfView), 10.0f, 2 * m);
        pdat.F32(0).F32(view.span).F32(-m).F32(m).F32(10).F32(2 * m).F32(0).F32(0).F32(fov);
    }
    for (int pass = 0; pass < 2; ++pass)  // image, then hot-spot image
        pdat.U32(static_cast<uint32_t>(view.imageWidth))
            .U32(static_cast<uint32_t>(view.imageHeight))
            .U16(static_cast<uint32_t>(view.framesX))
            .U16(static_cast<uint32_t>(view.framesY));
    pdat.U32(1).U32(view.cubic ? FourCC("cube") : FourCC("hcyl")).U32(0);
    if (!Insert(c, 0, "pdat", 1, &pdat)) return nullptr;
    if (view.cubic) {
        AtomData cuvw;
        cuvw.F32(0).F32(360).F32(-90).F32(90).F32(15).F32(120).F32(0).F32(0).F32(static_cast<float>(view.fieldOfView));
        if (!Insert(c, 0, "cuvw", 1, &cuvw)) return nullptr;
    }
    return c;
}

// Steps 1..8 of a panorama VR movie from the image movie (and the hot-spot
// movie when `hotSpots`) already written.
bool WriteVrPanorama(Save& save, const char* target, const MovieSettings& settings, const PanoramaView& view,
                     bool hotSpots)
{
    FSSpec where{save.temp.vrMovie};
    short file = 0;
    Movie movie = nullptr;
    if (!Check(CreateMovieFile(&where, kCreator, -2, kCreateFlags, &file, &movie), "CreateMovieFile")) return false;
    save.files.push_back(file);
    save.movies.push_back(movie);
    Track vr = NewTrackWithMedia(movie, settings.viewerWidth, settings.viewerHeight, 256, FourCC("qtvr"), kTimeScale);
    if (!vr) return false;
    SetMovieTimeScale(movie, kTimeScale);
    QTAtomContainer world = WorldContainer(save, FourCC("pano"), codecLosslessQuality);
    QTAtomContainer node = world ? NodeContainer(save, FourCC("pano"), &settings) : nullptr;
    if (!node || !AddContainerSample(save, vr, FourCC("qtvr"), node, world, kNodeDuration)) return false;
    Track pano = NewTrackWithMedia(movie, settings.viewerWidth, settings.viewerHeight, 0, FourCC("pano"), kTimeScale);
    if (!pano) return false;
    Track image = CopyImageTrack(save, movie, save.temp.imageMovie, kNodeDuration);
    if (!image) return false;
    Track hot = hotSpots ? CopyImageTrack(save, movie, save.temp.hotSpotMovie, kNodeDuration) : nullptr;
    if (hotSpots && !hot) return false;
    long panoIndex = 0, imageIndex = 0, hotIndex = 0;
    if (!Check(AddTrackReference(vr, pano, FourCC("pano"), &panoIndex), "AddTrackReference") ||
        !Check(AddTrackReference(pano, image, FourCC("imgt"), &imageIndex), "AddTrackReference") ||
        (hot && !Check(AddTrackReference(pano, hot, FourCC("hott"), &hotIndex), "AddTrackReference")))
        return false;
    QTAtomContainer sample = PanoSample(save, view, imageIndex, hotIndex);
    if (!sample || !AddContainerSample(save, pano, FourCC("pano"), sample, nullptr, kNodeDuration)) return false;
    if (!SetVrType(movie)) return false;
    short resId = 0;
    if (!Check(AddMovieResource(movie, file, &resId, nullptr), "AddMovieResource")) return false;
    if (view.cubic) return WriteTarget(movie, target, true);
    // The panorama is flattened from the movie file just written.
    short reopened = 0;
    if (!Check(OpenMovieFile(&where, &reopened, fsRdPerm), "OpenMovieFile")) return false;
    save.files.push_back(reopened);
    Movie flat = nullptr;
    if (!Check(NewMovieFromFile(&flat, reopened, nullptr, nullptr, 0, nullptr), "NewMovieFromFile")) return false;
    save.movies.push_back(flat);
    return WriteTarget(flat, target, false);
}

bool PlanTemps(Save& save, const std::string& target, bool hotSpotMovie)
{
    save.temp.imageMovie = cinvora::FreeTempName(target + "@");
    save.temp.vrMovie = cinvora::FreeTempName(cinvora::PlannedVrMovieName(target));
    if (hotSpotMovie) save.temp.hotSpotMovie = cinvora::FreeTempName(target + "#");
    if (save.temp.imageMovie.empty() || save.temp.vrMovie.empty() ||
        (hotSpotMovie && save.temp.hotSpotMovie.empty())) {
        Logger::log("ERROR Cinvora: no temporary file beside %s", 1, target.c_str());
        return false;
    }
    return true;
}

bool ValidTarget(const QUORVANE_FileInfo* info, const char* who)
{
    if (!info || !info->path || !*info->path || !info->extra) {
        Logger::log("ERROR %s: no target file or no movie settings", 1, who);
        return false;
    }
    return true;
}

bool ValidPicture(const Image* image, int channels)
{
    return image && image->GetData() && image->GetWidth() > 0 && image->GetHeight() > 0 &&
           image->IsInterleaved() && (channels == 0 ? (image->GetChannels() == 1 || image->GetChannels() == 3)
                                                    : image->GetChannels() == channels);
}

int PanoMovie(Image** images, RECT* rect, QUORVANE_FileInfo* info)
{
    if (!ValidTarget(info, "WriteQT_PanoMovie")) return 1;
    if (!images || !ValidPicture(images[0], 0) || !rect) {
        Logger::log("ERROR WriteQT_PanoMovie: no 8-bit picture of 1 or 3 channels", 1);
        return 1;
    }
    const auto& settings = *static_cast<const MovieSettings*>(info->extra);
    Image* picture = images[0];
    Image* hotPicture = images[1];
    const RECT r = *rect;
    if (r.left < 0 || r.top < 0 || r.right < r.left || r.bottom < r.top || r.right >= picture->GetWidth() ||
        r.bottom >= picture->GetHeight()) {
        Logger::log("ERROR WriteQT_PanoMovie: rectangle (%d %d %d %d) is not inside the %d x %d picture", 1, r.left,
                    r.top, r.right, r.bottom, picture->GetWidth(), picture->GetHeight());
        return 1;
    }
    const int strips = (r.right - r.left + 1) / kStripWidth;
    const int height = r.bottom - r.top + 1;
    if (strips < 1) {
        Logger::log("ERROR WriteQT_PanoMovie: a picture %d pixels wide holds no %d-pixel strip", 1,
                    r.right - r.left + 1, kStripWidth);
        return 1;
    }
    if (hotPicture && (!ValidPicture(hotPicture, 1) || hotPicture->GetWidth() <= r.right ||
                       hotPicture->GetHeight() <= r.bottom)) {
        Logger::log("ERROR WriteQT_PanoMovie: the hot-spot picture is not a 1-channel picture covering the rectangle", 1);
        return 1;
    }
    cinvora::RegisterCodecs();
    Save save;
    if (!PlanTemps(save, info->path, hotPicture != nullptr)) return 1;
    auto strip = [&](Image* source) {
        return [source, &r, strips, n = 0](Frame& f) mutable {
            if (n == strips) return false;
            f.image = source;
            f.x = r.left + kStripWidth * n++;
            f.y = r.top;
            return true;
        };
    };
    auto keep = [](Frame&) {};
    if (!WriteImageMovie(save.temp.imageMovie, kStripWidth, height, 24, cinvora::CompressorOfCode(settings.codecCode),
                         cinvora::QualityOfCode(settings.qualityCode), kStripDuration, strip(picture), keep))
        return 1;
    if (hotPicture && !WriteImageMovie(save.temp.hotSpotMovie, kStripWidth, height, 8, FourCC("tiff"),
                                       codecLosslessQuality, kStripDuration, strip(hotPicture), keep))
        return 1;
    PanoramaView view;
    view.span = settings.widthDegrees;
    view.imageWidth = kStripWidth * strips;
    view.imageHeight = height;
    view.framesX = strips;
    view.halfExtent = cinvora::HalfVerticalExtent(settings.widthDegrees, view.imageWidth, height);
    view.fieldOfView = settings.fieldOfView;
    return WriteVrPanorama(save, info->path, settings, view, hotPicture != nullptr) ? 0 : 1;
}

int CubicMovie(Image** faces, QUORVANE_FileInfo* info)
{
    if (!ValidTarget(info, "WriteQT_CubicMovie")) return 1;
    const auto& settings = *static_cast<const MovieSettings*>(info->extra);
    if (!faces || !ValidPicture(faces[0], 0)) {
        Logger::log("ERROR WriteQT_CubicMovie: no first face", 1);
        return 1;
    }
    const int width = faces[0]->GetWidth(), height = faces[0]->GetHeight();
    const bool hotSpots = faces[6] != nullptr;
    for (int i = 0; i < (hotSpots ? 12 : 6); ++i)
        if (!ValidPicture(faces[i], i < 6 ? 0 : 1) || faces[i]->GetWidth() != width || faces[i]->GetHeight() != height) {
            Logger::log("ERROR WriteQT_CubicMovie: face %d is missing or not %d x %d", 1, i, width, height);
            return 1;
        }
    cinvora::RegisterCodecs();
    Save save;
    if (!PlanTemps(save, info->path, hotSpots)) return 1;
    auto six = [faces](int first) {
        return [faces, first, n = 0](Frame& f) mutable {
            if (n == 6) return false;
            f.image = faces[first + n++];
            f.x = f.y = 0;
            return true;
        };
    };
    auto keep = [](Frame&) {};
    if (!WriteImageMovie(save.temp.imageMovie, width, height, 24, cinvora::CompressorOfCode(settings.codecCode),
                         cinvora::QualityOfCode(settings.qualityCode), kStripDuration, six(0), keep))
        return 1;
    if (hotSpots && !WriteImageMovie(save.temp.hotSpotMovie, width, height, 8, FourCC("tiff"), codecLosslessQuality,
                                     kStripDuration, six(6), keep))
        return 1;
    PanoramaView view;
    view.cubic = true;
    view.imageWidth = 4 * width;
    view.imageHeight = height;
    view.framesX = 4;
    view.fieldOfView = settings.fieldOfView;
    return WriteVrPanorama(save, info->path, settings, view, hotSpots) ? 0 : 1;
}

int ObjectMovie(QUORVANE_FileInfo* info)
{
    if (!ValidTarget(info, "WriteQT_ObjectMovie")) return 1;
    const auto& settings = *static_cast<const ObjectMovieSettings*>(info->extra);
    if (!settings.nextFrame || settings.rows < 1 || settings.columns < 1) {
        Logger::log("ERROR WriteQT_ObjectMovie: %d rows and %d columns, frame source %s", 1, settings.rows,
                    settings.columns, settings.nextFrame ? "set" : "missing");
        return 1;
    }
    cinvora::RegisterCodecs();
    Save save;
    if (!PlanTemps(save, info->path, false)) return 1;
    // The first frame fixes the movie's frame size and depth.
    RefPtr<Image> first = RefPtr<Image>::adopt(settings.nextFrame(settings.user));
    if (!ValidPicture(first.get(), 0)) {
        Logger::log("ERROR WriteQT_ObjectMovie: the first frame is missing or not 8-bit with 1 or 3 channels", 1);
        return 1;
    }
    const int width = first->GetWidth(), height = first->GetHeight(), channels = first->GetChannels();
    bool bad = false;
    Image* pending = first.release();
    auto frames = [&](Frame& f) {
        Image* image = pending ? pending : settings.nextFrame(settings.user);
        pending = nullptr;
        if (!image) return false;
        if (!ValidPicture(image, channels) || image->GetWidth() != width || image->GetHeight() != height) {
            Logger::log("ERROR WriteQT_ObjectMovie: a frame differs from the first (%d x %d, %d channels)", 1, width,
                        height, channels);
            RefRelease(image);
            bad = true;
            f.image = nullptr;
            return true;
        }
        f.image = image;
        f.x = f.y = 0;
        return true;
    };
    auto release = [](Frame& f) {
        RefRelease(f.image);
        f.image = nullptr;
    };
    // A frame the writer stops before copying is released here.
    const bool written = WriteImageMovie(save.temp.imageMovie, width, height, 8 * channels,
                                         cinvora::CompressorOfCode(settings.codecCode),
                                         cinvora::QualityOfCode(settings.qualityCode), kObjectFrameDuration, frames,
                                         release);
    RefRelease(pending);  // the first frame, when the writer stopped before it
    if (!written || bad) return 1;

    FSSpec where{save.temp.vrMovie};
    short file = 0;
    Movie movie = nullptr;
    if (!Check(CreateMovieFile(&where, kCreator, -2, kCreateFlags, &file, &movie), "CreateMovieFile")) return 1;
    save.files.push_back(file);
    save.movies.push_back(movie);
    FSSpec imageSpec{save.temp.imageMovie};
    short imageFile = 0;
    Movie images = nullptr;
    if (!Check(OpenMovieFile(&imageSpec, &imageFile, fsRdPerm), "OpenMovieFile")) return 1;
    save.files.push_back(imageFile);
    if (!Check(NewMovieFromFile(&images, imageFile, nullptr, nullptr, 0, nullptr), "NewMovieFromFile")) return 1;
    save.movies.push_back(images);
    SetMoviePlayHints(images, 256, 256);
    Track from = GetMovieIndTrackType(images, 1, FourCC("vide"), 0);
    if (!from) return Check(invalidTrack, "GetMovieIndTrackType") ? 1 : 1;
    Fixed fw = 0, fh = 0;
    GetTrackDimensions(from, &fw, &fh);
    Media fromMedia = GetTrackMedia(from);
    const TimeScale scale = GetMediaTimeScale(fromMedia);
    Track video = NewMovieTrack(movie, fw, fh, GetTrackVolume(from));
    if (!video) return Check(GetMoviesError(), "NewMovieTrack") ? 1 : 1;
    if (!NewTrackMedia(video, GetMediaType(fromMedia), scale, nullptr, 0)) return Check(GetMoviesError(), "NewTrackMedia") ? 1 : 1;
    if (!Check(InsertTrackSegment(from, video, 0, GetTrackDuration(from), 0), "InsertTrackSegment") ||
        !Check(CopyTrackSettings(from, video), "CopyTrackSettings"))
        return 1;
    SetTrackLayer(video, GetTrackLayer(from));
    SetTrackEnabled(video, true);
    const TimeValue videoDuration = GetMediaDuration(GetTrackMedia(video));

    Track vr = NewTrackWithMedia(movie, fw >> 16, fh >> 16, 256, FourCC("qtvr"), scale);
    if (!vr) return 1;
    QTAtomContainer world = WorldContainer(save, FourCC("obje"), codecHighQuality);
    QTAtomContainer node = world ? NodeContainer(save, FourCC("obje"), nullptr) : nullptr;
    if (!node || !AddContainerSample(save, vr, FourCC("qtvr"), node, world, videoDuration)) return 1;
    Track object = NewTrackWithMedia(movie, fw >> 16, fh >> 16, 0, FourCC("obje"), scale);
    if (!object) return 1;

    // The default view is the frame shown at the movie's current time.
    const int index = GetMovieTime(movie, nullptr) / kObjectFrameDuration;
    const int column = index % settings.columns, row = index / settings.columns;
    const float pan = settings.columns == 1 ? 0.0f : static_cast<float>(column * 360 / settings.columns);
    const float tilt = settings.rows == 1 ? 90.0f : static_cast<float>(90 - row * 110 / (settings.rows - 1));
    TimeValue firstDuration = 0;
    {
        Handle data = save.Keep(NewHandle(0));
        if (!data) return 1;
        if (!Check(GetMediaSample(GetTrackMedia(video), data, 0, nullptr, 0, nullptr, &firstDuration, nullptr, nullptr,
                                  1, nullptr, nullptr),
                   "GetMediaSample"))
            return 1;
    }
    AtomData obji;
    obji.Version().U16(1).U16(1).U16(1).U16(1);  // movie type, view states, default, mouse-down
    obji.U32(static_cast<uint32_t>(firstDuration))
        .U32(static_cast<uint32_t>(settings.columns))
        .U32(static_cast<uint32_t>(settings.rows));
    obji.F32(180).F32(0).F32(360).F32(pan).F32(90).F32(-20).F32(tilt).F32(8).F32(180).F32(180);
    obji.F32(0).F32(0).F32(1).F32(1).U32(0).U32(0x45);
    QTAtomContainer sample = nullptr;
    if (!Check(QTNewAtomContainer(&sample), "QTNewAtomContainer")) return 1;
    save.Keep(sample);
    if (!Insert(sample, 0, "obji", 1, &obji) ||
        !AddContainerSample(save, object, FourCC("obje"), sample, nullptr, videoDuration))
        return 1;
    long objectIndex = 0, imageIndex = 0;
    if (!Check(AddTrackReference(vr, object, FourCC("obje"), &objectIndex), "AddTrackReference") ||
        !Check(AddTrackReference(object, video, FourCC("imgt"), &imageIndex), "AddTrackReference"))
        return 1;
    if (!SetVrType(movie)) return 1;
    short resId = 0;
    if (!Check(AddMovieResource(movie, file, &resId, nullptr), "AddMovieResource")) return 1;
    return WriteTarget(movie, info->path, true) ? 0 : 1;
}

}  // namespace

namespace cinvora {

CodecQ QualityOfCode(int code)
{
    switch (code) {
    case 1: return codecMaxQuality;
    case 2: return codecHighQuality;
    case 3: return codecNormalQuality;
    case 4: return codecLowQuality;
    default: return codecLosslessQuality;
    }
}

OSType CompressorOfCode(int code)
{
    return code == 0 ? FourCC("jpeg") : code == 2 ? FourCC("cvid") : FourCC("tiff");
}

std::string PlannedVrMovieName(const std::string& target)
{
    if (target.empty()) return target;
    std::string name = target;
    name.back() = name.back() == 't' ? '@' : 't';
    return name;
}

std::string FreeTempName(const std::string& wanted)
{
    if (!FileExists(wanted)) return wanted;
    std::string pattern = wanted + ".XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        Logger::log("ERROR Cinvora: no unique name beside %s", 1, wanted.c_str());
        return {};
    }
    close(fd);
    return pattern;
}

double HalfVerticalExtent(double spanDegrees, int width, int height)
{
    if (width <= 0 || height <= 0) return 10.0;
    const double a = spanDegrees * M_PI / (180.0 * width);
    const double m = std::atan(std::tan(a) * height / 2.0) * 180.0 / M_PI;
    return std::clamp(m, 10.0, 60.0);
}

}  // namespace cinvora

extern "C" int WriteQT_PanoMovie(Image** images, RECT* rect, QUORVANE_FileInfo* info)
{
    try {
        return PanoMovie(images, rect, info);
    } catch (const std::bad_alloc&) {
        Logger::log("ERROR WriteQT_PanoMovie: out of memory", 1);
        return 1;
    }
}

extern "C" int WriteQT_CubicMovie(Image** faces, RECT*, QUORVANE_FileInfo* info)
{
    try {
        return CubicMovie(faces, info);
    } catch (const std::bad_alloc&) {
        Logger::log("ERROR WriteQT_CubicMovie: out of memory", 1);
        return 1;
    }
}

extern "C" int WriteQT_ObjectMovie(Image**, RECT*, QUORVANE_FileInfo* info)
{
    try {
        return ObjectMovie(info);
    } catch (const std::bad_alloc&) {
        Logger::log("ERROR WriteQT_ObjectMovie: out of memory", 1);
        return 1;
    }
}
