// One panorama load of the viewer control, shared by the loader and the
// decoding worker: the byte stream, the decoder state, the transport (a file
// or an HTTP request with its session and connection), the image being
// decoded and the progress callback. Reference counted across the two
// threads; the last release deletes it.
#pragma once

#include "viewer/lumivex/jpeg_byte_stream.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>

class CHttpConnection;
class CHttpFile;
class CInternetSession;
class Image;
struct JpegDecodeState;
// Frees a decoder state (defined beside the decoder).
struct JpegDecodeStateDeleter {
    void operator()(JpegDecodeState* state) const;
};

// Progress of a decode: (context, always 0, value). Values: 0 a further pass
// is in the image, 5 a twentieth of the work, 100 the end.
using DecodeProgressProc = void (*)(void* context, int zero, int value);

class PanoramaJob {
public:
    PanoramaJob(DecodeProgressProc callback, void* context);
    PanoramaJob(const PanoramaJob&) = delete;
    PanoramaJob& operator=(const PanoramaJob&) = delete;

    void AddRef() { m_refCount.fetch_add(1, std::memory_order_relaxed); }
    // Deletes the job when the count falls to 0; the job is gone after the
    // last call.
    void Release();
    int RefCountForTest() const { return m_refCount.load(); }

    // Asks a running decode to stop at its next read; the worker then ends
    // as at a decoding error.
    void Cancel() { m_cancelled.store(true); }
    bool IsCancelled() const { return m_cancelled.load(); }

    std::unique_ptr<JpegByteStream> stream;
    std::unique_ptr<JpegDecodeState, JpegDecodeStateDeleter> decoder;  // absent until the header is read
    std::atomic<bool> failed{false};           // the decoder cleaned up after an error
    DecodeProgressProc callback;
    void* context;
    FILE* file = nullptr;
    std::unique_ptr<CInternetSession> session;
    std::unique_ptr<CHttpConnection> connection;
    std::unique_ptr<CHttpFile> request;
    Image* image = nullptr;  // one reference while the worker fills it
    // Guards the decoded pixels (the image, and the world map that took its
    // buffer over): every pass rewrites every row, so the worker writes a
    // pass only while holding it, and the owner's thread holds it while it
    // reads or changes those pixels. The worker never holds it while it
    // reports progress or reads the stream.
    std::mutex pixels;

private:
    ~PanoramaJob();

    std::atomic<int> m_refCount{1};
    std::atomic<bool> m_cancelled{false};
};
