// A small HTTP server for the tests, on 127.0.0.1 at a free port, answering
// one request per connection from a handler the test gives: fixed-length,
// chunked or close-delimited bodies, sent in pieces with pauses, cut off
// after some bytes, or never answered. It records every request it saw.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testhttp {

struct Request {
    std::string method;
    std::string target;
    std::vector<std::string> headerLines;
    // Every value of the header with this name (case-insensitive).
    std::vector<std::string> Values(const std::string& name) const;
};

struct Reply {
    enum Framing { kContentLength, kChunked, kClose };
    int status = 200;
    std::string reason = "OK";
    std::vector<std::string> headers;  // extra lines
    std::string body;
    Framing framing = kContentLength;
    size_t pieceSize = 0;  // 0: the body at once
    int pauseMs = 0;       // between pieces
    size_t dropAfter = std::string::npos;  // body bytes sent before the connection is cut
    bool silent = false;   // accept the request and never answer
};

class LocalServer {
public:
    using Handler = std::function<Reply(const Request&)>;
    explicit LocalServer(Handler handler);
    ~LocalServer();
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    bool Ok() const { return m_listen >= 0; }
    int Port() const { return m_port; }
    std::string Url(const std::string& path) const;
    std::vector<Request> Requests() const;

private:
    void Run();
    void Serve(int fd);
    bool Send(int fd, const std::string& data);

    Handler m_handler;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_lock;
    std::vector<Request> m_requests;
    std::thread m_thread;
};

}  // namespace testhttp
