// Run-time bindings of the codecs the world-map library does not link: the
// JPEG codec Jpegkit and the GIF codec Gifkit, loaded by file name the first
// time an image-file function needs them and bound by exported name in
// ordinal order, all entries or none. The UI thread and the image browser's
// thumbnail worker share them.
#pragma once

#include "imaging/image.h"
#include "platform/win/dynamic_library.h"
#include "core/win_types.h"
#include "core/file_records.h"

#include <memory>

// Jpegkit's ordinals 1 to 8.
struct JpegkitEntries {
    int (*GetJpegHeader)(Image*, QUORVANE_FileInfo*) = nullptr;
    int (*ReadJpegData)(Image*, QUORVANE_FileInfo*) = nullptr;
    void (*JpegCleanup)(QUORVANE_FileInfo*) = nullptr;
    int (*WriteJpeg)(Image*, RECT*, QUORVANE_FileInfo*) = nullptr;
    FileExtraData* (*GetQuorvanePD)(QUORVANE_FileInfo*) = nullptr;
    int (*OrgWHFunction)(int*, int*, QUORVANE_FileInfo*) = nullptr;
    int (*NoReadThumbnail)(QUORVANE_FileInfo*) = nullptr;
    bool (*SetForce0To1)(bool) = nullptr;  // bound, never called: the decoder's flag stays on
};

// Gifkit's ordinals 1 to 5.
struct GifkitEntries {
    int (*ReadHeader)(Image*, QUORVANE_FileInfo*) = nullptr;  // 1: the file cannot be read
    int (*ReadPixels)(Image*, QUORVANE_FileInfo*) = nullptr;  // into the BmpInit buffer; 0 success
    void (*Close)(QUORVANE_FileInfo*) = nullptr;              // after every successful header
    int (*Write)(Image*, RECT*, QUORVANE_FileInfo*) = nullptr;
    bool (*GetValue)(QUORVANE_FileInfo*, int, int*) = nullptr;
};

// A loaded codec library and its entry points. The library stays loaded for
// as long as anyone holds the binding, so a call in flight keeps its code
// even when ReleaseIOModule drops the process-wide binding meanwhile.
template <class Entries>
class CodecBinding {
public:
    explicit CodecBinding(HMODULE module) : m_module(module) {}
    ~CodecBinding() { FreeLibrary(m_module); }
    CodecBinding(const CodecBinding&) = delete;
    CodecBinding& operator=(const CodecBinding&) = delete;

    Entries entries;

private:
    HMODULE m_module;
};

using JpegkitBinding = CodecBinding<JpegkitEntries>;
using GifkitBinding = CodecBinding<GifkitEntries>;

// The standing binding, or a new one; null when the library cannot be loaded
// or lacks an entry (nothing is kept then, and the next call tries again).
std::shared_ptr<const JpegkitBinding> BindJpegkit();
std::shared_ptr<const GifkitBinding> BindGifkit();

// Drops both bindings; each library is unloaded once no call holds it. The
// next load or save binds again.
void ReleaseIOModule();
