// Loading of the viewer control's panorama: a local JPEG file or one on a
// web server, decoded through the streaming decoder; a panorama descriptor in
// the comment segment hands the pixels to a world map. Progressive files
// show their first pass at once and are refined by a worker thread that
// reports through the progress callback (PostDecodeProgress for a window).
#pragma once

#include "viewer/lumivex/panorama_job.h"

#include <mutex>
#include <string>

class CWinThread;
class WorldMapBase;

// The control's handle on its decoding worker. The owner stops the worker
// before it releases the world map or image the worker writes into, and
// before it goes away (the destructor stops it too). The handle holds a
// reference to the job, so the job, and with it the job's reference to the
// image, is always let go on the owner's thread: the image's count never
// changes on two threads.
class DecodeWorker {
public:
    DecodeWorker() = default;
    ~DecodeWorker() { Stop(); }
    DecodeWorker(const DecodeWorker&) = delete;
    DecodeWorker& operator=(const DecodeWorker&) = delete;

    // Cancels the decode and waits for the worker to end; nothing when none
    // runs.
    void Stop();
    // Waits for the worker to finish its decode without cancelling it.
    void Wait();
    bool Running() const;
    // Holds off the worker's next write of the decoded pixels for as long as
    // the returned lock is held (an empty lock when there is no job). Never
    // held across Stop, Wait or Adopt: the worker may be waiting for it.
    std::unique_lock<std::mutex> LockPixels() const;

    // Takes a reference to `job` and the thread (not auto-deleting) that
    // decodes it; a worker held before is stopped first. Used by the loader.
    void Adopt(PanoramaJob* job, CWinThread* thread);

private:

    PanoramaJob* m_job = nullptr;  // one reference
    CWinThread* m_thread = nullptr;
};

// Results of LoadPanorama, LoadPanoramaHttp and DecodePanorama.
constexpr int kLoadPanorama = 2;
constexpr int kLoadPlainImage = 1;
constexpr int kLoadUndecodable = 0;
constexpr int kLoadNotJpeg = -1;
constexpr int kLoadCannotOpen = -2;

// Loads `path` ("http://" or "HTTP://" addresses through HTTP, anything else
// a local file). Both outputs are cleared first; returned objects carry one
// reference for the caller. `worker`, when given, receives the decoding
// worker of a progressive file (a worker it held before is stopped first).
int LoadPanorama(const std::string& path, Image** image, WorldMapBase** map, bool readPanorama,
                 DecodeProgressProc callback, void* context, DecodeWorker* worker = nullptr);
int LoadPanoramaHttp(const std::string& address, Image** image, WorldMapBase** map, bool readPanorama,
                     DecodeProgressProc callback, void* context, DecodeWorker* worker = nullptr);
// The common decoding step over a job whose stream is set up.
int DecodePanorama(PanoramaJob* job, Image** image, WorldMapBase** map, bool readPanorama,
                   DecodeWorker* worker = nullptr);
// The worker's entry; `param` is the job, whose reference the worker
// releases at its end.
unsigned int DecodeThreadProc(void* param);
// Posts WM_USER+1 with wParam `zero` and lParam `value` to the window whose
// CWnd is `context`.
void PostDecodeProgress(void* context, int zero, int value);

// The message the decoding worker posts to the control.
constexpr unsigned int kDecodeProgressMessage = 0x0401;
