#include "platform/utilkit/http_client.h"

#include "core/logger.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// Body bytes buffered ahead of the reader before the transfer pauses.
constexpr size_t kAheadLimit = 256 * 1024;

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool SameName(const std::string& line, const std::string& name)
{
    if (line.size() <= name.size() || line[name.size()] != ':') return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) != std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

std::string Trim(std::string text)
{
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
    text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
    return text;
}

// The options both kinds of transfer share.
curl_slist* Configure(CURL* easy, const HttpRequest& request, char* errorBuffer)
{
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, request.maxRedirects);
    if (request.totalTimeoutMs > 0) curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, request.totalTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, request.connectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    if (!request.userAgent.empty()) curl_easy_setopt(easy, CURLOPT_USERAGENT, request.userAgent.c_str());
    if (!request.user.empty()) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(easy, CURLOPT_USERNAME, request.user.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, request.password.c_str());
    }
    curl_slist* headers = nullptr;
    for (const std::string& line : request.headers) headers = curl_slist_append(headers, line.c_str());
    if (headers) curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    return headers;
}

}  // namespace

struct HttpStream::Impl {
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    curl_slist* headers = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    long stallTimeoutMs = 30000;
    long status = 0;
    bool headComplete = false;
    bool done = false;
    CURLcode result = CURLE_OK;
    bool paused = false;
    std::vector<std::string> headerLines;
    std::string body;  // received, not yet read
    size_t bodyPos = 0;
    uint64_t received = 0;  // body bytes taken in so far
    std::string error;
    std::chrono::steady_clock::time_point lastActivity;

    ~Impl() { Close(); }

    void Close()
    {
        if (multi && easy) curl_multi_remove_handle(multi, easy);
        if (easy) curl_easy_cleanup(easy);
        if (multi) curl_multi_cleanup(multi);
        curl_slist_free_all(headers);
        easy = nullptr;
        multi = nullptr;
        headers = nullptr;
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        const size_t bytes = size * count;
        std::string line(data, bytes);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        self->lastActivity = std::chrono::steady_clock::now();
        if (line.compare(0, 5, "HTTP/") == 0) {
            // A new answer (after an interim 1xx): forget the earlier head.
            self->headerLines.clear();
            self->status = 0;
            const size_t space = line.find(' ');
            if (space != std::string::npos) self->status = std::strtol(line.c_str() + space + 1, nullptr, 10);
        } else if (line.empty()) {
            if (self->status >= 200) self->headComplete = true;
        } else {
            self->headerLines.push_back(line);
        }
        return bytes;
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        const size_t bytes = size * count;
        self->lastActivity = std::chrono::steady_clock::now();
        self->headComplete = true;
        if (self->body.size() - self->bodyPos >= kAheadLimit) {
            // libcurl hands the same bytes again once the transfer resumes.
            self->paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        if (self->bodyPos > 0 && self->bodyPos == self->body.size()) {
            self->body.clear();
            self->bodyPos = 0;
        }
        self->body.append(data, bytes);
        self->received += bytes;
        return bytes;
    }

    // One step of the transfer: waits up to `waitMs` for the socket, runs
    // libcurl and notes the end. False once the stall time-out has passed.
    bool Pump(int waitMs)
    {
        const uint64_t receivedBefore = received;
        const bool headBefore = headComplete;
        if (paused && body.size() - bodyPos < kAheadLimit) {
            paused = false;
            curl_easy_pause(easy, CURLPAUSE_CONT);
        }
        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg == CURLMSG_DONE) {
                done = true;
                result = message->data.result;
                if (result != CURLE_OK)
                    error = errorBuffer[0] ? std::string(errorBuffer) : std::string(curl_easy_strerror(result));
            }
        }
        // Data that libcurl held back while paused arrives without the socket
        // waking up: only wait when this step brought nothing.
        if (done || paused || received != receivedBefore || headComplete != headBefore) return true;
        int ready = 0;
        curl_multi_poll(multi, nullptr, 0, waitMs, &ready);
        const auto idle = std::chrono::steady_clock::now() - lastActivity;
        if (idle > std::chrono::milliseconds(stallTimeoutMs)) {
            error = "no data for " + std::to_string(stallTimeoutMs) + " ms";
            done = true;
            result = CURLE_OPERATION_TIMEDOUT;
            return false;
        }
        return true;
    }
};

HttpStream::HttpStream() : m(std::make_unique<Impl>()) {}

HttpStream::~HttpStream() = default;

bool HttpStream::Open(const HttpRequest& request)
{
    GlobalInit();
    m = std::make_unique<Impl>();
    m->stallTimeoutMs = std::max(1L, request.stallTimeoutMs);
    m->easy = curl_easy_init();
    m->multi = curl_multi_init();
    if (!m->easy || !m->multi) {
        m->error = "libcurl could not be initialised";
        return false;
    }
    m->headers = Configure(m->easy, request, m->errorBuffer);
    curl_easy_setopt(m->easy, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
    curl_easy_setopt(m->easy, CURLOPT_HEADERDATA, m.get());
    curl_easy_setopt(m->easy, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
    curl_easy_setopt(m->easy, CURLOPT_WRITEDATA, m.get());
    curl_multi_add_handle(m->multi, m->easy);
    m->lastActivity = std::chrono::steady_clock::now();
    while (!m->headComplete && !m->done)
        if (!m->Pump(50)) break;
    if (!m->headComplete) {
        if (m->error.empty()) m->error = "the connection closed before an answer";
        return false;
    }
    return true;
}

long HttpStream::Status() const
{
    return m->status;
}

std::string HttpStream::Header(const std::string& name) const
{
    for (const std::string& line : m->headerLines)
        if (SameName(line, name)) return Trim(line.substr(name.size() + 1));
    return {};
}

const std::vector<std::string>& HttpStream::HeaderLines() const
{
    return m->headerLines;
}

int64_t HttpStream::Read(void* buffer, size_t size)
{
    if (!m->easy || size == 0) return m->easy ? 0 : -1;
    while (m->bodyPos == m->body.size() && !m->done)
        if (!m->Pump(50)) break;
    const size_t available = m->body.size() - m->bodyPos;
    if (available > 0) {
        const size_t n = std::min(size, available);
        std::memcpy(buffer, m->body.data() + m->bodyPos, n);
        m->bodyPos += n;
        return static_cast<int64_t>(n);
    }
    return m->result == CURLE_OK ? 0 : -1;
}

const std::string& HttpStream::Error() const
{
    return m->error;
}

namespace {
size_t WriteToFile(char* data, size_t size, size_t count, void* user)
{
    return std::fwrite(data, size, count, static_cast<FILE*>(user)) * size;
}
}  // namespace

long HttpDownloadToFile(const HttpRequest& request, const std::string& path, std::string* error)
{
    GlobalInit();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        Logger::log("ERROR HttpDownloadToFile cannot create %s", 1, path.c_str());
        if (error) *error = "cannot create " + path;
        return -1;
    }
    CURL* easy = curl_easy_init();
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_slist* headers = easy ? Configure(easy, request, errorBuffer) : nullptr;
    long status = -1;
    CURLcode result = CURLE_FAILED_INIT;
    if (easy) {
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &WriteToFile);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, file);
        // A stalled body counts as failed: under 1 byte/s for the stall time.
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, std::max(1L, request.stallTimeoutMs / 1000));
        result = curl_easy_perform(easy);
        if (result == CURLE_OK) curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    }
    const bool closed = std::fclose(file) == 0;
    if (result != CURLE_OK || !closed) status = -1;
    if (status < 200 || status > 299) std::remove(path.c_str());
    if (result != CURLE_OK && error) *error = errorBuffer[0] ? errorBuffer : curl_easy_strerror(result);
    curl_slist_free_all(headers);
    if (easy) curl_easy_cleanup(easy);
    return status;
}
