// The internet classes the viewer control's loader calls: URL parsing, an
// internet session, an HTTP connection and a request file, shaped as the
// platform's class library offers them, over the suite's libcurl client
// (platform/utilkit/http_client.h). The password dialog of an answer 401
// goes to a prompt the program installs; headless, nobody answers and the
// dialog is cancelled.
#pragma once

#include "core/win_types.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class HttpStream;

using BOOL = int;  // as the windowing runtime declares it

using INTERNET_PORT = unsigned short;

constexpr DWORD AFX_INET_SERVICE_FTP = 1;
constexpr DWORD AFX_INET_SERVICE_HTTP = 3;
constexpr DWORD AFX_INET_SERVICE_HTTPS = 4;
constexpr DWORD AFX_INET_SERVICE_FILE = 5;
constexpr DWORD AFX_INET_SERVICE_UNK = 0x1000;
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;

constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
constexpr DWORD INTERNET_FLAG_EXISTING_CONNECT = 0x20000000;
constexpr DWORD INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000;
constexpr DWORD HTTP_ADDREQ_FLAG_ADD_IF_NEW = 0x10000000;
constexpr DWORD HTTP_ADDREQ_FLAG_ADD = 0x20000000;
constexpr DWORD HTTP_ADDREQ_FLAG_REPLACE = 0x80000000;
constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
constexpr DWORD HTTP_STATUS_DENIED = 401;

constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
constexpr DWORD ERROR_INTERNET_INCORRECT_PASSWORD = 12014;
constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
constexpr DWORD ERROR_INTERNET_FORCE_RETRY = 12032;
constexpr DWORD ERROR_CANCELLED = 1223;
constexpr DWORD FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS = 0x02;
constexpr DWORD FLAGS_ERROR_UI_FLAGS_GENERATE_DATA = 0x04;

// Splits "http://server:port/object"; false (service AFX_INET_SERVICE_UNK)
// for anything that is not an address of a known service. The port is the
// service's default when the address names none; the object is "/" when the
// address has no path.
BOOL AfxParseURL(const std::string& url, DWORD& serviceType, std::string& server, std::string& object,
                 INTERNET_PORT& port);

// What a failed read of a request file throws, as the platform's class
// library does.
class CInternetException {
public:
    explicit CInternetException(DWORD error, std::string text = {}) : m_dwError(error), m_text(std::move(text)) {}
    DWORD m_dwError;
    std::string m_text;
};

class CHttpConnection;
class CInternetSession;

// One GET request: headers added before SendRequest, the answer's status
// and headers after it, then the body through Read.
class CHttpFile {
public:
    ~CHttpFile();
    CHttpFile(const CHttpFile&) = delete;
    CHttpFile& operator=(const CHttpFile&) = delete;

    // `headers`: lines separated by CR LF. With HTTP_ADDREQ_FLAG_ADD_IF_NEW a
    // line whose header name is already present is left out.
    BOOL AddRequestHeaders(const std::string& headers, DWORD flags = HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    // Sends the request (again, when called again) and waits for the head of
    // the answer within the session's time-outs. FALSE when none came.
    BOOL SendRequest();
    BOOL QueryInfoStatusCode(DWORD& status) const;
    // Header queries into a caller's buffer of *length bytes (text, zero
    // terminated); FALSE when the header is absent or does not fit.
    BOOL QueryInfo(DWORD level, void* buffer, DWORD* length) const;
    // Up to `count` body bytes; 0 at the end. A failed or stalled transfer
    // throws CInternetException.
    UINT Read(void* buffer, UINT count);
    void Close();

    // The credentials the password dialog gave, sent with the next request.
    void SetCredentials(std::string user, std::string password);
    const std::string& ServerName() const { return m_server; }
    const std::vector<std::string>& RequestHeaders() const { return m_headers; }

private:
    friend class CHttpConnection;
    CHttpFile(const CInternetSession& session, std::string url, std::string server, DWORD flags);

    const CInternetSession& m_session;
    std::string m_url;
    std::string m_server;
    DWORD m_flags;
    std::vector<std::string> m_headers;
    std::string m_user;
    std::string m_password;
    std::unique_ptr<HttpStream> m_stream;
    bool m_sent = false;
};

class CHttpConnection {
public:
    CHttpConnection(const CHttpConnection&) = delete;
    CHttpConnection& operator=(const CHttpConnection&) = delete;
    ~CHttpConnection() = default;

    // A request for `object` on this connection; the caller deletes it. Null
    // for a verb other than GET.
    CHttpFile* OpenRequest(const char* verb, const std::string& object, const char* referer = nullptr,
                           DWORD context = 1, const char** acceptTypes = nullptr, const char* version = nullptr,
                           DWORD flags = INTERNET_FLAG_EXISTING_CONNECT);
    void Close() {}

private:
    friend class CInternetSession;
    CHttpConnection(const CInternetSession& session, std::string server, INTERNET_PORT port);
    const CInternetSession& m_session;
    std::string m_server;
    INTERNET_PORT m_port;
};

class CInternetSession {
public:
    explicit CInternetSession(const char* agent = nullptr, DWORD context = 1,
                              DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG, const char* proxyName = nullptr,
                              const char* proxyBypass = nullptr, DWORD flags = 0);
    ~CInternetSession() = default;
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    // The caller deletes the connection before the session.
    CHttpConnection* GetHttpConnection(const std::string& server, INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT);
    void Close() {}

    const std::string& Agent() const { return m_agent; }
    DWORD ConnectTimeoutMs() const { return m_connectTimeoutMs; }
    DWORD ReceiveTimeoutMs() const { return m_receiveTimeoutMs; }

private:
    std::string m_agent;
    DWORD m_connectTimeoutMs;
    DWORD m_receiveTimeoutMs;
};

// Time-outs every new session starts with: connection 10 s, a silence of
// 30 s while waiting for the answer or its body. Tests shorten them.
void SetInternetTimeouts(DWORD connectMs, DWORD receiveMs);

// The platform's error dialog for a request. For
// ERROR_INTERNET_INCORRECT_PASSWORD it asks the installed password prompt;
// an answer with `retry` stores the credentials on the request and gives
// ERROR_INTERNET_FORCE_RETRY, anything else ERROR_CANCELLED.
DWORD InternetErrorDlg(void* parentWindow, CHttpFile* request, DWORD error, DWORD flags, void** data);

struct InternetPasswordAnswer {
    bool retry = false;
    std::string user;
    std::string password;
};
// Asked with the server name; null restores the default, which logs the
// question and cancels.
using InternetPasswordPrompt = std::function<InternetPasswordAnswer(const std::string& server)>;
void SetInternetPasswordPrompt(InternetPasswordPrompt prompt);
