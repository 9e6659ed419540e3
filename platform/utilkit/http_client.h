// The suite's one HTTP client, over libcurl: a pull stream for callers that
// read a response body piece by piece as it arrives (the viewer control's
// loader, through the internet layer of platform/wininet), and a whole
// download into a file (the log base's downloads). Proxies follow the
// environment (http_proxy, no_proxy) as libcurl does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct HttpRequest {
    std::string url;
    // Request header lines ("Name: value"); a line naming a header that
    // libcurl would send itself (Accept, User-Agent) replaces it.
    std::vector<std::string> headers;
    // Sent as User-Agent unless a header line gives one; empty: none.
    std::string userAgent;
    // Basic credentials, sent when `user` is not empty.
    std::string user;
    std::string password;
    bool followRedirects = false;
    // Milliseconds to establish the connection, and the longest wait for the
    // next byte of the answer before the transfer counts as dropped.
    long connectTimeoutMs = 10000;
    long stallTimeoutMs = 30000;
    // Redirects followed at most (with followRedirects); more is a failure.
    long maxRedirects = 5;
    // Milliseconds the whole transfer may take; 0: no limit (a pulled stream
    // lives as long as its reader).
    long totalTimeoutMs = 0;
};

// One GET whose body the caller pulls. Not thread-safe: one thread at a
// time, which may change (the loader opens it, a worker reads the body).
class HttpStream {
public:
    HttpStream();
    ~HttpStream();
    HttpStream(const HttpStream&) = delete;
    HttpStream& operator=(const HttpStream&) = delete;

    // Sends the request and waits for the head of the answer (status line
    // and headers). False when no answer came (Error says why). A stream
    // may be opened again, which starts a new request.
    bool Open(const HttpRequest& request);
    // The status code of the answer, 0 before one arrived.
    long Status() const;
    // The value of the first header line with this name (case-insensitive),
    // empty when there is none.
    std::string Header(const std::string& name) const;
    // The header lines of the answer, without the status line.
    const std::vector<std::string>& HeaderLines() const;
    // Copies up to `size` bytes of the body: the count, 0 at its end, -1 when
    // the transfer failed (dropped connection, stall, short body).
    int64_t Read(void* buffer, size_t size);
    const std::string& Error() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// GET `request.url` into the file `path`. Returns the HTTP status code, or
// -1 when no answer came or the body could not be written; the file is
// removed unless the status is 2xx and the body complete.
long HttpDownloadToFile(const HttpRequest& request, const std::string& path, std::string* error = nullptr);
