#include "platform/wininet/wininet.h"

#include "testkit/local_http_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace {

TEST(AfxParseURL, SplitsAddresses)
{
    struct Case {
        const char* url;
        BOOL ok;
        DWORD service;
        const char* server;
        const char* object;
        INTERNET_PORT port;
    };
    const Case cases[] = {
        {"http://example.org/pano/a.jpg", 1, AFX_INET_SERVICE_HTTP, "example.org", "/pano/a.jpg", 80},
        {"HTTP://Host:8080/x.jpg?q=1", 1, AFX_INET_SERVICE_HTTP, "Host", "/x.jpg?q=1", 8080},
        {"http://host", 1, AFX_INET_SERVICE_HTTP, "host", "/", 80},
        {"http://user:pw@host:81/p", 1, AFX_INET_SERVICE_HTTP, "host", "/p", 81},
        {"ftp://host/x.jpg", 1, AFX_INET_SERVICE_FTP, "host", "/x.jpg", 21},
        {"http://host:99999/x", 0, AFX_INET_SERVICE_UNK, "", "", 0},
        {"http://host:8a/x", 0, AFX_INET_SERVICE_UNK, "", "", 0},
        {"http:///x", 0, AFX_INET_SERVICE_UNK, "", "", 0},
        {"gopher://host/x", 0, AFX_INET_SERVICE_UNK, "", "", 0},
        {"c:\\pano\\a.jpg", 0, AFX_INET_SERVICE_UNK, "", "", 0},
    };
    for (const Case& c : cases) {
        DWORD service = 77;
        std::string server = "x", object = "y";
        INTERNET_PORT port = 5;
        EXPECT_EQ(AfxParseURL(c.url, service, server, object, port), c.ok) << c.url;
        EXPECT_EQ(service, c.service) << c.url;
        EXPECT_EQ(server, c.server) << c.url;
        EXPECT_EQ(object, c.object) << c.url;
        EXPECT_EQ(port, c.port) << c.url;
    }
}

struct Opened {
    std::unique_ptr<CInternetSession> session;
    std::unique_ptr<CHttpConnection> connection;
    std::unique_ptr<CHttpFile> file;
};

Opened OpenGet(const testhttp::LocalServer& server, const std::string& path, const char* agent = "Agent")
{
    Opened o;
    o.session = std::make_unique<CInternetSession>(agent);
    o.connection.reset(o.session->GetHttpConnection("127.0.0.1", static_cast<INTERNET_PORT>(server.Port())));
    o.file.reset(o.connection->OpenRequest("GET", path, nullptr, 1, nullptr, nullptr,
                                           INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_AUTO_REDIRECT));
    return o;
}

std::string ReadAll(CHttpFile& file, UINT piece = 1024)
{
    std::string body;
    char buffer[1024];
    for (;;) {
        const UINT n = file.Read(buffer, std::min<UINT>(piece, sizeof buffer));
        if (n == 0) break;
        body.append(buffer, n);
    }
    return body;
}

std::string Pattern(size_t size)
{
    std::string s(size, '\0');
    uint32_t x = 12345;
    for (char& c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 23);
    }
    return s;
}

TEST(CHttpFile, ReadsEveryBodyFraming)
{
    const std::string body = Pattern(70000);
    for (auto framing : {testhttp::Reply::kContentLength, testhttp::Reply::kChunked, testhttp::Reply::kClose}) {
        testhttp::LocalServer server([&](const testhttp::Request&) {
            testhttp::Reply r;
            r.body = body;
            r.framing = framing;
            r.pieceSize = 3000;
            return r;
        });
        ASSERT_TRUE(server.Ok());
        Opened o = OpenGet(server, "/a.jpg");
        ASSERT_TRUE(o.file);
        ASSERT_TRUE(o.file->SendRequest());
        DWORD status = 0;
        ASSERT_TRUE(o.file->QueryInfoStatusCode(status));
        EXPECT_EQ(status, 200u);
        EXPECT_EQ(ReadAll(*o.file, 1000), body) << "framing " << framing;
    }
}

TEST(CHttpFile, AddedHeadersReplaceTheAgentAndAreAddedOnlyWhenNew)
{
    testhttp::LocalServer server([](const testhttp::Request&) { return testhttp::Reply{}; });
    ASSERT_TRUE(server.Ok());
    Opened o = OpenGet(server, "/x", "Lumivex");
    o.file->AddRequestHeaders("Accept: image/jpeg\r\nUser-Agent: Quorvane\r\n", HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    o.file->AddRequestHeaders("Accept: text/html\r\n", HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    ASSERT_TRUE(o.file->SendRequest());
    // The session's agent alone goes out when no header names one.
    Opened plain = OpenGet(server, "/y", "Lumivex");
    ASSERT_TRUE(plain.file->SendRequest());
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, "/x");
    EXPECT_EQ(requests[0].Values("User-Agent"), std::vector<std::string>{"Quorvane"});
    EXPECT_EQ(requests[0].Values("Accept"), std::vector<std::string>{"image/jpeg"});
    EXPECT_EQ(requests[1].Values("User-Agent"), std::vector<std::string>{"Lumivex"});
}

TEST(CHttpFile, RedirectIsNotFollowedAndItsBodyIsRead)
{
    testhttp::LocalServer server([](const testhttp::Request& request) {
        testhttp::Reply r;
        if (request.target == "/moved") {
            r.status = 302;
            r.reason = "Found";
            r.headers = {"Location: /target"};
            r.body = "moved body";
        } else {
            r.body = "target body";
        }
        return r;
    });
    Opened o = OpenGet(server, "/moved");
    ASSERT_TRUE(o.file->SendRequest());
    DWORD status = 0;
    o.file->QueryInfoStatusCode(status);
    EXPECT_EQ(status, 302u);
    EXPECT_EQ(ReadAll(*o.file), "moved body");
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(CHttpFile, DroppedConnectionThrowsAfterTheBytesSent)
{
    testhttp::LocalServer server([](const testhttp::Request&) {
        testhttp::Reply r;
        r.body = Pattern(5000);
        r.dropAfter = 2000;
        return r;
    });
    Opened o = OpenGet(server, "/cut");
    ASSERT_TRUE(o.file->SendRequest());
    std::string got;
    char buffer[512];
    bool thrown = false;
    try {
        for (;;) {
            const UINT n = o.file->Read(buffer, sizeof buffer);
            if (n == 0) break;
            got.append(buffer, n);
        }
    } catch (const CInternetException& e) {
        thrown = true;
        EXPECT_EQ(e.m_dwError, ERROR_INTERNET_CONNECTION_RESET);
    }
    EXPECT_TRUE(thrown);
    EXPECT_EQ(got, Pattern(5000).substr(0, 2000));
}

TEST(CHttpFile, SilentServerFailsWithinTheReceiveTimeout)
{
    SetInternetTimeouts(2000, 600);
    testhttp::LocalServer server([](const testhttp::Request&) {
        testhttp::Reply r;
        r.silent = true;
        return r;
    });
    Opened o = OpenGet(server, "/never");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(o.file->SendRequest());
    const auto waited = std::chrono::steady_clock::now() - start;
    SetInternetTimeouts(10000, 30000);
    EXPECT_GE(waited, std::chrono::milliseconds(550));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
}

TEST(InternetErrorDlg, RetryStoresCredentialsAndCancelDoesNot)
{
    testhttp::LocalServer server([](const testhttp::Request& request) {
        testhttp::Reply r;
        if (request.Values("Authorization").empty()) {
            r.status = 401;
            r.reason = "Unauthorized";
            r.headers = {"WWW-Authenticate: Basic realm=\"pano\""};
        }
        r.body = "x";
        return r;
    });
    Opened o = OpenGet(server, "/p");
    ASSERT_TRUE(o.file->SendRequest());
    int asked = 0;
    SetInternetPasswordPrompt([&](const std::string& host) {
        ++asked;
        EXPECT_EQ(host, "127.0.0.1");
        return InternetPasswordAnswer{false, "", ""};
    });
    EXPECT_EQ(InternetErrorDlg(nullptr, o.file.get(), ERROR_INTERNET_INCORRECT_PASSWORD, 6, nullptr), ERROR_CANCELLED);
    SetInternetPasswordPrompt([&](const std::string&) {
        ++asked;
        return InternetPasswordAnswer{true, "ann", "s3cret"};
    });
    EXPECT_EQ(InternetErrorDlg(nullptr, o.file.get(), ERROR_INTERNET_INCORRECT_PASSWORD, 6, nullptr),
              ERROR_INTERNET_FORCE_RETRY);
    SetInternetPasswordPrompt(nullptr);
    EXPECT_EQ(asked, 2);
    ASSERT_TRUE(o.file->SendRequest());
    DWORD status = 0;
    o.file->QueryInfoStatusCode(status);
    EXPECT_EQ(status, 200u);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    // "ann:s3cret" in base 64.
    EXPECT_EQ(requests[1].Values("Authorization"), std::vector<std::string>{"Basic YW5uOnMzY3JldA=="});
}

}  // namespace
