// Inside the image-file front door: format detection by the first two bytes,
// the two header-pass codecs (JPEG through the Jpegkit binding, TIFF through
// the own reader) behind one shape, and the loading of one image from a
// stream that every load and thumbnail function runs.
#pragma once

#include "imaging/image.h"
#include "worldmap/codec_binding.h"
#include "core/file_records.h"
#include "worldmap/world_map_base.h"

#include <cstdint>
#include <cstdio>
#include <memory>

namespace imagefile {

enum class Format {
    Jpeg,     // FF D8
    Tiff,     // "II" or "MM"
    MixedIM,  // "I" or "M" followed by anything else: status 0
    Bmp,      // "BM"
    Gif,      // "GI"
    Unknown,  // anything else, or fewer than two bytes
};

// A file the front door opened itself (the path variants), closed on every path.
struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<FILE, FileCloser>;

// Reads two bytes at `offset` and seeks back to it.
Format DetectFormat(FILE* file, int64_t offset);

// The descriptor a file carries, classified.
struct Descriptor {
    enum Kind { None, First, Second } kind = None;
    WMapRecord record;  // for First
};

// A header-pass codec: JPEG (bound Jpegkit) or TIFF (own reader). The reader
// state lives in the QUORVANE_FileInfo; Cleanup is harmless without one.
class HeaderCodec {
public:
    virtual ~HeaderCodec() = default;
    virtual bool ReadHeader(Image* image, QUORVANE_FileInfo* info) const = 0;
    virtual bool ReadData(Image* image, QUORVANE_FileInfo* info) const = 0;
    virtual void Cleanup(QUORVANE_FileInfo* info) const = 0;
    // Classifies the descriptor; false when its bytes cannot be read.
    virtual bool GetDescriptor(QUORVANE_FileInfo* info, bool secondKind, Descriptor* out) const = 0;
};

class JpegCodec : public HeaderCodec {
public:
    explicit JpegCodec(std::shared_ptr<const JpegkitBinding> binding) : m_binding(std::move(binding)) {}
    bool ReadHeader(Image* image, QUORVANE_FileInfo* info) const override;
    bool ReadData(Image* image, QUORVANE_FileInfo* info) const override;
    void Cleanup(QUORVANE_FileInfo* info) const override;
    bool GetDescriptor(QUORVANE_FileInfo* info, bool secondKind, Descriptor* out) const override;
    const JpegkitEntries& Entries() const { return m_binding->entries; }

private:
    std::shared_ptr<const JpegkitBinding> m_binding;  // keeps Jpegkit loaded during the call
};

class TiffCodec : public HeaderCodec {
public:
    bool ReadHeader(Image* image, QUORVANE_FileInfo* info) const override;
    bool ReadData(Image* image, QUORVANE_FileInfo* info) const override;
    void Cleanup(QUORVANE_FileInfo* info) const override;
    // TIFF never carries the second kind.
    bool GetDescriptor(QUORVANE_FileInfo* info, bool secondKind, Descriptor* out) const override;
};

// Closes the reader state on every path after a successful header.
class CleanupGuard {
public:
    CleanupGuard(const HeaderCodec& codec, QUORVANE_FileInfo* info) : m_codec(codec), m_info(info) {}
    ~CleanupGuard() { m_codec.Cleanup(m_info); }
    CleanupGuard(const CleanupGuard&) = delete;
    CleanupGuard& operator=(const CleanupGuard&) = delete;

private:
    const HeaderCodec& m_codec;
    QUORVANE_FileInfo* m_info;
};

// What a load asks for. Outputs are written only on success.
struct LoadRequest {
    Image** image = nullptr;       // may be null
    WorldMapBase** map = nullptr;  // may be null
    bool worldMap = false;         // make a WorldMap (else a WorldMapBase)
    bool secondKind = false;       // recognise the "mjr6" descriptor (status 3)
    bool readData = true;
};

// Loads the image that starts at `offset` (status codes of file_records.h).
int LoadFromStream(FILE* file, int64_t offset, const LoadRequest& request);

// The stamp size of a panorama thumbnail (kind 2) asked for `size`, from the
// image's full size and the size it was loaded at: a panorama at least twice
// as wide as high takes the loaded width when the loaded height is below
// `size`, else size x loaded width / loaded height; one at least as wide as
// high takes size x full width / full height; any other keeps `size`.
// Integer arithmetic in 64 bits; zero heights leave `size`; the result lies
// in [1, INT_MAX].
int PanoramaStampSize(int size, int fullWidth, int fullHeight, int loadedWidth, int loadedHeight);

}  // namespace imagefile
