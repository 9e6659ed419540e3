#include "platform/wininet/wininet.h"

#include "core/logger.h"
#include "platform/utilkit/http_client.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

std::atomic<DWORD> g_connectTimeoutMs{10000};
std::atomic<DWORD> g_receiveTimeoutMs{30000};

std::mutex g_promptLock;
InternetPasswordPrompt g_passwordPrompt;

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string HeaderName(const std::string& line)
{
    const size_t colon = line.find(':');
    return Lower(colon == std::string::npos ? line : line.substr(0, colon));
}

}  // namespace

BOOL AfxParseURL(const std::string& url, DWORD& serviceType, std::string& server, std::string& object,
                 INTERNET_PORT& port)
{
    serviceType = AFX_INET_SERVICE_UNK;
    server.clear();
    object.clear();
    port = 0;
    const size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos || schemeEnd == 0) return 0;
    const std::string scheme = Lower(url.substr(0, schemeEnd));
    INTERNET_PORT defaultPort = 0;
    DWORD service = AFX_INET_SERVICE_UNK;
    if (scheme == "http") {
        service = AFX_INET_SERVICE_HTTP;
        defaultPort = INTERNET_DEFAULT_HTTP_PORT;
    } else if (scheme == "https") {
        service = AFX_INET_SERVICE_HTTPS;
        defaultPort = INTERNET_DEFAULT_HTTPS_PORT;
    } else if (scheme == "ftp") {
        service = AFX_INET_SERVICE_FTP;
        defaultPort = 21;
    } else if (scheme == "file") {
        service = AFX_INET_SERVICE_FILE;
    } else {
        return 0;
    }
    const size_t hostStart = schemeEnd + 3;
    const size_t pathStart = url.find('/', hostStart);
    std::string authority = url.substr(hostStart, pathStart == std::string::npos ? std::string::npos : pathStart - hostStart);
    const size_t at = authority.rfind('@');
    if (at != std::string::npos) authority.erase(0, at + 1);
    INTERNET_PORT parsedPort = defaultPort;
    const size_t colon = authority.rfind(':');
    if (colon != std::string::npos && authority.find(']', colon) == std::string::npos) {
        const std::string digits = authority.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
            return 0;
        const long value = std::strtol(digits.c_str(), nullptr, 10);
        if (value < 1 || value > 65535) return 0;
        parsedPort = static_cast<INTERNET_PORT>(value);
        authority.erase(colon);
    }
    if (authority.empty() && service != AFX_INET_SERVICE_FILE) return 0;
    serviceType = service;
    server = authority;
    object = pathStart == std::string::npos ? std::string("/") : url.substr(pathStart);
    port = parsedPort;
    return 1;
}

// ---------------------------------------------------------------------------

CInternetSession::CInternetSession(const char* agent, DWORD, DWORD, const char*, const char*, DWORD)
    : m_agent(agent ? agent : ""), m_connectTimeoutMs(g_connectTimeoutMs.load()),
      m_receiveTimeoutMs(g_receiveTimeoutMs.load())
{
}

CHttpConnection* CInternetSession::GetHttpConnection(const std::string& server, INTERNET_PORT port)
{
    if (server.empty()) {
        Logger::log("ERROR CInternetSession::GetHttpConnection no server named", 1);
        return nullptr;
    }
    return new CHttpConnection(*this, server, port);
}

void SetInternetTimeouts(DWORD connectMs, DWORD receiveMs)
{
    g_connectTimeoutMs = connectMs;
    g_receiveTimeoutMs = receiveMs;
}

CHttpConnection::CHttpConnection(const CInternetSession& session, std::string server, INTERNET_PORT port)
    : m_session(session), m_server(std::move(server)), m_port(port)
{
}

CHttpFile* CHttpConnection::OpenRequest(const char* verb, const std::string& object, const char*, DWORD,
                                        const char**, const char*, DWORD flags)
{
    if (!verb || std::strcmp(verb, "GET") != 0) {
        Logger::log("ERROR CHttpConnection::OpenRequest only GET requests are made", 1);
        return nullptr;
    }
    std::string host = m_server;
    if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
    std::string url = "http://" + host + ":" + std::to_string(m_port);
    url += object.empty() || object.front() != '/' ? "/" + object : object;
    return new CHttpFile(m_session, std::move(url), m_server, flags);
}

// ---------------------------------------------------------------------------

CHttpFile::CHttpFile(const CInternetSession& session, std::string url, std::string server, DWORD flags)
    : m_session(session), m_url(std::move(url)), m_server(std::move(server)), m_flags(flags)
{
}

CHttpFile::~CHttpFile() = default;

BOOL CHttpFile::AddRequestHeaders(const std::string& headers, DWORD flags)
{
    size_t start = 0;
    while (start < headers.size()) {
        size_t end = headers.find("\r\n", start);
        if (end == std::string::npos) end = headers.size();
        const std::string line = headers.substr(start, end - start);
        start = end + 2;
        if (line.empty()) continue;
        if (line.find(':') == std::string::npos) return 0;
        const std::string name = HeaderName(line);
        auto same = [&](const std::string& h) { return HeaderName(h) == name; };
        const bool present = std::any_of(m_headers.begin(), m_headers.end(), same);
        if (present && (flags & HTTP_ADDREQ_FLAG_ADD_IF_NEW)) continue;
        if (flags & HTTP_ADDREQ_FLAG_REPLACE) m_headers.erase(std::remove_if(m_headers.begin(), m_headers.end(), same), m_headers.end());
        m_headers.push_back(line);
    }
    return 1;
}

void CHttpFile::SetCredentials(std::string user, std::string password)
{
    m_user = std::move(user);
    m_password = std::move(password);
}

BOOL CHttpFile::SendRequest()
{
    HttpRequest request;
    request.url = m_url;
    request.headers = m_headers;
    // The session's agent name goes out unless an added header names one.
    request.userAgent = m_session.Agent();
    request.user = m_user;
    request.password = m_password;
    request.followRedirects = (m_flags & INTERNET_FLAG_NO_AUTO_REDIRECT) == 0;
    request.connectTimeoutMs = static_cast<long>(m_session.ConnectTimeoutMs());
    request.stallTimeoutMs = static_cast<long>(m_session.ReceiveTimeoutMs());
    m_stream = std::make_unique<HttpStream>();
    m_sent = m_stream->Open(request);
    if (!m_sent) {
        Logger::log("ERROR CHttpFile::SendRequest %s: %s", 1, m_url.c_str(), m_stream->Error().c_str());
        m_stream.reset();
        return 0;
    }
    return 1;
}

BOOL CHttpFile::QueryInfoStatusCode(DWORD& status) const
{
    status = 0;
    if (!m_stream) return 0;
    status = static_cast<DWORD>(m_stream->Status());
    return 1;
}

BOOL CHttpFile::QueryInfo(DWORD level, void* buffer, DWORD* length) const
{
    if (!m_stream || !buffer || !length) return 0;
    std::string value;
    if (level == HTTP_QUERY_CONTENT_LENGTH)
        value = m_stream->Header("Content-Length");
    else if (level == HTTP_QUERY_STATUS_CODE)
        value = std::to_string(m_stream->Status());
    if (value.empty()) return 0;
    if (value.size() + 1 > *length) {
        *length = static_cast<DWORD>(value.size() + 1);
        return 0;
    }
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    *length = static_cast<DWORD>(value.size());
    return 1;
}

UINT CHttpFile::Read(void* buffer, UINT count)
{
    if (!m_stream) throw CInternetException(ERROR_INTERNET_CONNECTION_RESET, "the request was not sent");
    const int64_t n = m_stream->Read(buffer, count);
    if (n < 0) throw CInternetException(ERROR_INTERNET_CONNECTION_RESET, m_stream->Error());
    return static_cast<UINT>(n);
}

void CHttpFile::Close()
{
    m_stream.reset();
    m_sent = false;
}

// ---------------------------------------------------------------------------

void SetInternetPasswordPrompt(InternetPasswordPrompt prompt)
{
    std::lock_guard<std::mutex> guard(g_promptLock);
    g_passwordPrompt = std::move(prompt);
}

DWORD InternetErrorDlg(void*, CHttpFile* request, DWORD error, DWORD, void**)
{
    if (!request || error != ERROR_INTERNET_INCORRECT_PASSWORD) return ERROR_CANCELLED;
    InternetPasswordPrompt prompt;
    {
        std::lock_guard<std::mutex> guard(g_promptLock);
        prompt = g_passwordPrompt;
    }
    if (!prompt) {
        Logger::log("ERROR InternetErrorDlg nobody answers the password question for %s", 1,
                    request->ServerName().c_str());
        return ERROR_CANCELLED;
    }
    const InternetPasswordAnswer answer = prompt(request->ServerName());
    if (!answer.retry) return ERROR_CANCELLED;
    request->SetCredentials(answer.user, answer.password);
    return ERROR_INTERNET_FORCE_RETRY;
}
