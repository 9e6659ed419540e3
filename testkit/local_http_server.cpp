#include "testkit/local_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>

namespace testhttp {

namespace {
std::string Lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

std::vector<std::string> Request::Values(const std::string& name) const
{
    std::vector<std::string> values;
    for (const std::string& line : headerLines) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos || Lower(line.substr(0, colon)) != Lower(name)) continue;
        size_t start = colon + 1;
        while (start < line.size() && line[start] == ' ') ++start;
        values.push_back(line.substr(start));
    }
    return values;
}

LocalServer::LocalServer(Handler handler) : m_handler(std::move(handler))
{
    m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_listen < 0) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(m_listen, 8) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(m_listen);
        m_listen = -1;
        return;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Run(); });
}

LocalServer::~LocalServer()
{
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_listen >= 0) ::close(m_listen);
}

std::string LocalServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<Request> LocalServer::Requests() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requests;
}

void LocalServer::Run()
{
    while (!m_stop) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const int fd = ::accept(m_listen, nullptr, nullptr);
        if (fd < 0) continue;
        Serve(fd);
        ::close(fd);
    }
}

bool LocalServer::Send(int fd, const std::string& data)
{
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

void LocalServer::Serve(int fd)
{
    std::string head;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (m_stop || std::chrono::steady_clock::now() > deadline) return;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        head.append(buffer, static_cast<size_t>(n));
    }
    Request request;
    size_t start = 0;
    bool first = true;
    for (;;) {
        const size_t end = head.find("\r\n", start);
        if (end == std::string::npos || end == start) break;
        const std::string line = head.substr(start, end - start);
        start = end + 2;
        if (first) {
            const size_t a = line.find(' '), b = line.rfind(' ');
            request.method = line.substr(0, a);
            if (a != std::string::npos && b > a) request.target = line.substr(a + 1, b - a - 1);
            first = false;
        } else {
            request.headerLines.push_back(line);
        }
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_requests.push_back(request);
    }
    const Reply reply = m_handler(request);
    if (reply.silent) {
        while (!m_stop) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return;
    }
    std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
    for (const std::string& line : reply.headers) out += line + "\r\n";
    if (reply.framing == Reply::kContentLength) out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    if (reply.framing == Reply::kChunked) out += "Transfer-Encoding: chunked\r\n";
    out += "Connection: close\r\n\r\n";
    if (!Send(fd, out)) return;
    const size_t total = std::min(reply.body.size(), reply.dropAfter);
    const size_t piece = reply.pieceSize ? reply.pieceSize : std::max<size_t>(1, reply.body.size());
    for (size_t offset = 0; offset < total; offset += piece) {
        if (m_stop) return;
        const std::string part = reply.body.substr(offset, std::min(piece, total - offset));
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", part.size());
        const std::string framed = reply.framing == Reply::kChunked ? size + part + "\r\n" : part;
        if (!Send(fd, framed)) return;
        if (reply.pauseMs) std::this_thread::sleep_for(std::chrono::milliseconds(reply.pauseMs));
    }
    if (reply.dropAfter != std::string::npos) {
        ::shutdown(fd, SHUT_RDWR);
        return;
    }
    if (reply.framing == Reply::kChunked) Send(fd, "0\r\n\r\n");
}

}  // namespace testhttp
