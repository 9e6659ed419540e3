#include "viewer/lumivex/panorama_loader.h"

#include "core/file_records.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/win/win_thread.h"
#include "platform/win/wnd.h"
#include "platform/wininet/wininet.h"
#include "viewer/engine/panorama_reader.h"
#include "viewer/lumivex/streaming_jpeg.h"
#include "worldmap/world_map_base.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <new>

namespace {

constexpr size_t kStreamBufferSize = 1024;
// How much lower than the user-interface thread the worker runs (nice steps).
constexpr int kWorkerNiceIncrement = 5;

void ClearOutputs(Image** image, WorldMapBase** map)
{
    if (image) *image = nullptr;
    if (map) *map = nullptr;
}

// The four descriptor values of the comment record, when it is one the map
// can use.
bool ReadDescriptor(const FileExtraData* record, WMapRecord* out)
{
    if (!record) return false;
    return WMapRecord::Parse(record->bytes, record->length, out);
}

bool StartWorker(PanoramaJob* job, Image* image, DecodeWorker* worker);

}  // namespace

// ---------------------------------------------------------------------------
// Job.

PanoramaJob::PanoramaJob(DecodeProgressProc callback_, void* context_) : callback(callback_), context(context_) {}

PanoramaJob::~PanoramaJob()
{
    CleanupJpegJob(this);
    ReleaseImage(image);
    request.reset();
    connection.reset();
    session.reset();
    stream.reset();
    if (file) std::fclose(file);
}

void PanoramaJob::Release()
{
    if (m_refCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

// ---------------------------------------------------------------------------
// Worker handle.

void DecodeWorker::Adopt(PanoramaJob* job, CWinThread* thread)
{
    Stop();
    m_job = job;
    m_thread = thread;
}

void DecodeWorker::Stop()
{
    if (m_job) m_job->Cancel();
    Wait();
}

void DecodeWorker::Wait()
{
    if (m_thread) {
        m_thread->Wait();
        delete m_thread;
        m_thread = nullptr;
    }
    if (m_job) {
        m_job->Release();
        m_job = nullptr;
    }
}

bool DecodeWorker::Running() const
{
    return m_thread && !m_thread->IsFinished();
}

std::unique_lock<std::mutex> DecodeWorker::LockPixels() const
{
    if (!m_job) return {};
    return std::unique_lock<std::mutex>(m_job->pixels);
}

// ---------------------------------------------------------------------------
// Loading.

int LoadPanorama(const std::string& path, Image** image, WorldMapBase** map, bool readPanorama,
                 DecodeProgressProc callback, void* context, DecodeWorker* worker)
{
    ClearOutputs(image, map);
    if (path.compare(0, 7, "http://") == 0 || path.compare(0, 7, "HTTP://") == 0)
        return LoadPanoramaHttp(path, image, map, readPanorama, callback, context, worker);
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        Logger::log("ERROR LoadPanorama cannot open %s", 1, path.c_str());
        return kLoadCannotOpen;
    }
    unsigned char magic[2] = {};
    const size_t got = std::fread(magic, 1, 2, file);
    std::fseek(file, 0, SEEK_SET);
    if (got != 2 || magic[0] != 0xFF || magic[1] != 0xD8) {
        std::fclose(file);
        Logger::log("ERROR LoadPanorama %s is not a JPEG file", 1, path.c_str());
        return kLoadNotJpeg;
    }
    auto* job = new (std::nothrow) PanoramaJob(callback, context);
    auto* stream = new (std::nothrow) FileByteStream(file);
    if (!job || !stream || !stream->Init(kStreamBufferSize)) {
        delete stream;
        if (job) job->Release();
        std::fclose(file);
        Logger::log("ERROR LoadPanorama cannot allocate the load of %s", 1, path.c_str());
        return kLoadUndecodable;
    }
    job->file = file;
    job->stream.reset(stream);
    const int result = DecodePanorama(job, image, map, readPanorama, worker);
    job->Release();
    return result;
}

int LoadPanoramaHttp(const std::string& address, Image** image, WorldMapBase** map, bool readPanorama,
                     DecodeProgressProc callback, void* context, DecodeWorker* worker)
{
    ClearOutputs(image, map);
    DWORD service = 0;
    std::string server, object;
    INTERNET_PORT port = 0;
    if (!AfxParseURL(address, service, server, object, port) || service != AFX_INET_SERVICE_HTTP) {
        Logger::log("ERROR LoadPanoramaHttp %s is not an HTTP address", 1, address.c_str());
        return kLoadCannotOpen;
    }
    auto* job = new (std::nothrow) PanoramaJob(callback, context);
    if (!job) return kLoadCannotOpen;
    job->session.reset(new (std::nothrow) CInternetSession("Lumivex", 1, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (job->session) job->connection.reset(job->session->GetHttpConnection(server, port));
    if (job->connection)
        job->request.reset(job->connection->OpenRequest("GET", object, nullptr, 1, nullptr, nullptr,
                                                        INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_AUTO_REDIRECT));
    if (!job->request) {
        job->Release();
        return kLoadCannotOpen;
    }
    CHttpFile& request = *job->request;
    request.AddRequestHeaders("Accept: image/jpeg\r\nUser-Agent: Quorvane\r\n", HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    DWORD status = 0;
    if (!request.SendRequest() || !request.QueryInfoStatusCode(status)) {
        job->Release();
        return kLoadCannotOpen;
    }
    if (status == HTTP_STATUS_DENIED) {
        const DWORD answer = InternetErrorDlg(nullptr, &request, ERROR_INTERNET_INCORRECT_PASSWORD,
                                              FLAGS_ERROR_UI_FLAGS_GENERATE_DATA | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
                                              nullptr);
        if (answer != ERROR_INTERNET_FORCE_RETRY || !request.SendRequest() || !request.QueryInfoStatusCode(status)) {
            Logger::log("ERROR LoadPanoramaHttp %s needs a password", 1, address.c_str());
            job->Release();
            return kLoadCannotOpen;
        }
    }
    char length[16] = {};
    DWORD lengthSize = sizeof length;
    request.QueryInfo(HTTP_QUERY_CONTENT_LENGTH, length, &lengthSize);  // asked, not used
    auto* stream = new (std::nothrow) HttpByteStream(&request);
    if (!stream || !stream->Init(kStreamBufferSize)) {
        delete stream;
        job->Release();
        return kLoadCannotOpen;
    }
    job->stream.reset(stream);
    const int result = DecodePanorama(job, image, map, readPanorama, worker);
    job->Release();
    return result;
}

int DecodePanorama(PanoramaJob* job, Image** imageOut, WorldMapBase** mapOut, bool readPanorama, DecodeWorker* worker)
{
    ClearOutputs(imageOut, mapOut);
    if (!job) return kLoadUndecodable;
    auto* image = new (std::nothrow) Image();  // one reference, the loader's
    if (!image) return kLoadUndecodable;
    if (ReadJpegHeader(image, job) != 0) {
        ReleaseImage(image);
        return kLoadUndecodable;
    }
    WMapRecord record;
    bool panorama = ReadDescriptor(GetCommentRecord(job), &record);
    if (panorama && !viewengine::IsUsableDescriptor(record)) {
        Logger::log("ERROR DecodePanorama descriptor W=%d column=%d row=%d type=%d unusable, read as a plain image", 1,
                    record.equatorWidth, record.column, record.row, record.mapType);
        panorama = false;
    }
    if (panorama && !readPanorama) {
        ReleaseImage(image);
        CleanupJpegJob(job);
        return kLoadPanorama;
    }
    if (panorama) {
        image->SetDataLayoutType(0);
        if (image->Init() != 0 || !image->GetData()) {
            Logger::log("ERROR DecodePanorama cannot allocate %d x %d pixels", 1, image->GetWidth(), image->GetHeight());
            ReleaseImage(image);
            CleanupJpegJob(job);
            return kLoadUndecodable;
        }
        WorldMapBase* map = nullptr;
        if (mapOut) {
            // The map takes the buffer over before the decode fills it: the
            // pixels written later appear in the map.
            map = new (std::nothrow) WorldMapBase();
            if (!map || !map->TransferFromImage(image, record.equatorWidth, record.column, record.row, record.mapType)) {
                Logger::log("ERROR DecodePanorama no world map of W=%d, read as a plain image", 1, record.equatorWidth);
                if (map) map->Release();
                map = nullptr;
                image->FreeData();
                panorama = false;
            }
        }
        if (panorama) {
            StartJpegDecode(image, job);
            if (mapOut) *mapOut = map;
            if (HasMoreScans(job)) {
                StartWorker(job, image, worker);  // takes over the loader's image reference
                return kLoadPanorama;
            }
            CleanupJpegJob(job);
            if (imageOut)
                *imageOut = image;
            else
                ReleaseImage(image);
            return kLoadPanorama;
        }
    }
    // A plain image.
    if (!imageOut) {
        ReleaseImage(image);
        CleanupJpegJob(job);
        return kLoadPlainImage;
    }
    if (image->BmpInit() != 0 || !image->GetData()) {
        Logger::log("ERROR DecodePanorama cannot allocate %d x %d pixels", 1, image->GetWidth(), image->GetHeight());
        ReleaseImage(image);
        CleanupJpegJob(job);
        return kLoadUndecodable;
    }
    StartJpegDecode(image, job);
    *imageOut = image;
    if (HasMoreScans(job)) {
        RefAdd(image);  // the worker's own reference
        StartWorker(job, image, worker);
    } else {
        CleanupJpegJob(job);
    }
    return kLoadPlainImage;
}

namespace {

// Hands `image` (one reference) to the job and starts the worker, which
// holds a further reference to the job. Without a thread the decode stops
// at its first pass.
bool StartWorker(PanoramaJob* job, Image* image, DecodeWorker* worker)
{
    ReleaseImage(job->image);
    job->image = image;
    job->AddRef();
    CWinThread* thread = AfxBeginThread(&DecodeThreadProc, job, THREAD_PRIORITY_BELOW_NORMAL, 0, CREATE_SUSPENDED);
    if (!thread) {
        Logger::log("ERROR DecodePanorama the decoding worker cannot start", 1);
        CleanupJpegJob(job);
        job->Release();
        return false;
    }
    if (worker) {
        thread->m_bAutoDelete = FALSE;
        job->AddRef();
        worker->Adopt(job, thread);
    }
    thread->ResumeThread();
    return true;
}

void LowerOwnPriority()
{
    const pid_t thread = static_cast<pid_t>(syscall(SYS_gettid));
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
    if (errno == 0) setpriority(PRIO_PROCESS, static_cast<id_t>(thread), current + kWorkerNiceIncrement);
}

}  // namespace

unsigned int DecodeThreadProc(void* param)
{
    auto* job = static_cast<PanoramaJob*>(param);
    if (!job) return 0;
    LowerOwnPriority();
    for (;;) {
        const int result = DecodeScans(job->image, job, true, job->callback, job->context);
        if (result != 0) break;
        if (job->callback) job->callback(job->context, 0, 0);
    }
    if (job->callback) job->callback(job->context, 0, 100);
    job->Release();
    return 0;
}

void PostDecodeProgress(void* context, int zero, int value)
{
    auto* window = static_cast<CWnd*>(context);
    if (!window) return;
    ::PostMessage(window->GetSafeHwnd(), kDecodeProgressMessage, static_cast<WPARAM>(zero), static_cast<LPARAM>(value));
}
