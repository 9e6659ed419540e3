// The suite's HTTP client against the local test server: a whole download
// into a file with its result code, and header access of a pull stream.
#include "platform/utilkit/http_client.h"

#include "testkit/local_http_server.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using testkit::ReadText;

TEST(HttpDownloadToFile, WritesTheBodyOrRemovesTheFile)
{
    const std::string body(100000, 'q');
    testhttp::LocalServer server([&](const testhttp::Request& request) {
        testhttp::Reply r;
        if (request.target == "/file.zip") {
            r.body = body;
            r.framing = testhttp::Reply::kChunked;
            r.pieceSize = 7000;
        } else if (request.target == "/cut.zip") {
            r.body = body;
            r.dropAfter = 5000;
        } else {
            r.status = 404;
            r.reason = "Not Found";
            r.body = "<html>missing</html>";
        }
        return r;
    });
    ASSERT_TRUE(server.Ok());
    testkit::TempDir dir;
    struct Case {
        const char* target;
        long status;
        bool fileKept;
    };
    const Case cases[] = {
        {"/file.zip", 200, true},
        {"/gone.zip", 404, false},
        {"/cut.zip", -1, false},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file("download.bin");
        HttpRequest request;
        request.url = server.Url(c.target);
        std::string error;
        EXPECT_EQ(HttpDownloadToFile(request, path, &error), c.status) << c.target << " " << error;
        EXPECT_EQ(std::filesystem::exists(path), c.fileKept) << c.target;
        if (c.fileKept) {
            EXPECT_EQ(ReadText(path), body);
        }
    }
    HttpRequest request;
    request.url = server.Url("/file.zip");
    EXPECT_EQ(HttpDownloadToFile(request, dir.file("no/such/folder/x.bin")), -1);
}

TEST(HttpStream, HeadersStatusAndAddedRequestLines)
{
    testhttp::LocalServer server([](const testhttp::Request&) {
        testhttp::Reply r;
        r.status = 203;
        r.reason = "Non-Authoritative";
        r.headers = {"X-Panorama: kqvz", "Content-Type: image/jpeg"};
        r.body = "abc";
        return r;
    });
    HttpRequest request;
    request.url = server.Url("/h");
    request.headers = {"X-Extra: 1"};
    request.userAgent = "Agent/2";
    HttpStream stream;
    ASSERT_TRUE(stream.Open(request));
    EXPECT_EQ(stream.Status(), 203);
    EXPECT_EQ(stream.Header("x-panorama"), "kqvz");
    EXPECT_EQ(stream.Header("Content-Length"), "3");
    EXPECT_EQ(stream.Header("Missing"), "");
    char buffer[8];
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 3);
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 0);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Values("X-Extra"), std::vector<std::string>{"1"});
    EXPECT_EQ(requests[0].Values("User-Agent"), std::vector<std::string>{"Agent/2"});
}

}  // namespace
