// The camera-information share library: updating the common copy from the
// program folder's copy and from a web folder (a file:// address, and an
// http:// address served on 127.0.0.1 by the test), the list
// files, the refusal of list entries that are not plain library names, the
// failure paths that must leave the update to be retried, and the building
// of a new list.
#include "app/matching/share_library.h"
#include "app/matching/cam_info_file.h"
#include "app/matching/tests/matching_test_helpers.h"
#include "app/tests/app_test_fixture.h"
#include "platform/win/file_system.h"
#include "testkit/local_http_server.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>

namespace {

namespace fs = std::filesystem;

using matching_test::ReadAll;
using matching_test::WriteAll;

// A library's content: its list version and its files with their versions.
struct Library {
    int listVersion;
    std::map<std::string, float> files;
};

std::string FileText(const std::string& name, float version)
{
    char text[200];
    std::snprintf(text, sizeof text, "[Version] %.1f\n[Comment] %s\n", static_cast<double>(version), name.c_str());
    return text;
}

std::string ListText(const Library& library)
{
    std::string text = std::to_string(library.listVersion) + "\n";
    char line[64];
    for (const auto& [name, version] : library.files) {
        std::snprintf(line, sizeof line, "%f\n", static_cast<double>(version));
        text += name + "\n" + line;
    }
    return text;
}

class ShareLibraryTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        unsetenv("FENDRAKE_CAMINFO_WEB");
    }
    void TearDown() override
    {
        unsetenv("FENDRAKE_CAMINFO_WEB");
        AppTest::TearDown();
    }

    std::string AppLib() const { return ProgramDir() + "/CameraInfoShareLib"; }
    static std::string Common() { return win::ToPosixPath(CamInfoLib::GetCommonLibFolder()); }
    std::string Web() const { return Home().file("web/CameraInfoShareLib"); }
    static std::string List(const std::string& folder) { return folder + "/CameraInfoShareLibList"; }

    static void Write(const std::string& folder, const Library& library)
    {
        fs::create_directories(folder);
        for (const auto& [name, version] : library.files) WriteAll(folder + "/" + name, FileText(name, version));
        WriteAll(List(folder), ListText(library));
    }
    void UseWeb() { setenv("FENDRAKE_CAMINFO_WEB", ("file://" + Web() + "/").c_str(), 1); }

    // Runs the update and keeps what it printed.
    int Update(bool fromWeb)
    {
        testing::internal::CaptureStdout();
        const int result = CamInfoLib::UpdateAppDirLib(fromWeb);
        m_trace = testing::internal::GetCapturedStdout();
        return result;
    }
    std::string m_trace;
};

TEST_F(ShareLibraryTest, UpdateFromTheProgramFolder)
{
    const Library older{1, {{"up.camInfo_", 1.5f}, {"keep.camInfo_", 2.0f}}};
    const Library newer{2, {{"up.camInfo_", 2.0f}, {"keep.camInfo_", 1.5f}, {"new.camInfo_", 1.0f}}};
    struct Case {
        const char* label;
        const Library* program;  // null: no library beside the program
        const Library* common;   // null: no common library yet
        int result;
        const char* traced;
        // Version each file of the common library has afterwards (0: absent).
        std::map<std::string, float> after;
    };
    const Case cases[] = {
        {"equal list versions", &older, &older, 0, "no need to update",
         {{"up.camInfo_", 1.5f}, {"keep.camInfo_", 2.0f}, {"new.camInfo_", 0.0f}}},
        {"no common library", &newer, nullptr, 2, "all copied to dst",
         {{"up.camInfo_", 2.0f}, {"keep.camInfo_", 1.5f}, {"new.camInfo_", 1.0f}}},
        {"newer entries only", &newer, &older, 1, "numNew=1 numUpdate=1",
         {{"up.camInfo_", 2.0f}, {"keep.camInfo_", 2.0f}, {"new.camInfo_", 1.0f}}},
        {"no program list", nullptr, &older, -1, "src share lib list file does not exist!",
         {{"up.camInfo_", 1.5f}, {"keep.camInfo_", 2.0f}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(AppLib());
        fs::remove_all(Common());
        fs::create_directories(Common());
        if (c.program) Write(AppLib(), *c.program);
        if (c.common) Write(Common(), *c.common);
        const std::string commonListBefore = ReadAll(List(Common()));
        EXPECT_EQ(Update(false), c.result);
        EXPECT_NE(m_trace.find(c.traced), std::string::npos) << m_trace;
        for (const auto& [name, version] : c.after) {
            if (version == 0.0f)
                EXPECT_FALSE(fs::exists(Common() + "/" + name)) << name;
            else
                EXPECT_EQ(ReadAll(Common() + "/" + name), FileText(name, version)) << name;
        }
        if (c.result > 0)
            EXPECT_EQ(ReadAll(List(Common())), ReadAll(List(AppLib())));
        else
            EXPECT_EQ(ReadAll(List(Common())), commonListBefore);
    }
}

TEST_F(ShareLibraryTest, AFailedCopyIsRetriedAtTheNextUpdate)
{
    const Library common{1, {{"up.camInfo_", 1.5f}}};
    const Library program{2, {{"a.camInfo_", 1.0f}, {"up.camInfo_", 2.0f}, {"z.camInfo_", 1.0f}}};
    struct Case {
        const char* label;
        void (*breakIt)(const std::string& appLib, const std::string& common);
        void (*repair)(const std::string& appLib, const std::string& common);
    };
    const Case cases[] = {
        {"read-only destination",
         [](const std::string&, const std::string& dst) {
             ASSERT_TRUE(SetFileAttributes((dst + "/up.camInfo_").c_str(), FILE_ATTRIBUTE_READONLY));
         },
         [](const std::string&, const std::string& dst) {
             ASSERT_TRUE(SetFileAttributes((dst + "/up.camInfo_").c_str(), FILE_ATTRIBUTE_NORMAL));
         }},
        {"source file missing", [](const std::string& src, const std::string&) { fs::remove(src + "/z.camInfo_"); },
         [](const std::string& src, const std::string&) { WriteAll(src + "/z.camInfo_", FileText("z.camInfo_", 1.0f)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(AppLib());
        fs::remove_all(Common());
        Write(AppLib(), program);
        Write(Common(), common);
        const std::string listBefore = ReadAll(List(Common()));
        c.breakIt(AppLib(), Common());
        EXPECT_EQ(Update(false), -1);
        EXPECT_EQ(ReadAll(List(Common())), listBefore);
        // What arrived before the failure stays.
        EXPECT_EQ(ReadAll(Common() + "/a.camInfo_"), FileText("a.camInfo_", 1.0f));
        c.repair(AppLib(), Common());
        EXPECT_EQ(Update(false), 1);
        EXPECT_NE(m_trace.find("numNew=2 numUpdate=1"), std::string::npos) << m_trace;
        EXPECT_EQ(ReadAll(List(Common())), ReadAll(List(AppLib())));
        EXPECT_EQ(ReadAll(Common() + "/up.camInfo_"), FileText("up.camInfo_", 2.0f));
        EXPECT_EQ(ReadAll(Common() + "/z.camInfo_"), FileText("z.camInfo_", 1.0f));
    }
}

TEST_F(ShareLibraryTest, AnUnlistedFileAlreadyThereIsKeptAndCountsAsNew)
{
    Write(AppLib(), {2, {{"mine.camInfo_", 3.0f}}});
    Write(Common(), {1, {}});
    WriteAll(Common() + "/mine.camInfo_", "the user's own copy");
    EXPECT_EQ(Update(false), 1);
    EXPECT_NE(m_trace.find("failed CopyFile()???"), std::string::npos);
    EXPECT_NE(m_trace.find("numNew=1 numUpdate=0"), std::string::npos) << m_trace;
    EXPECT_EQ(ReadAll(Common() + "/mine.camInfo_"), "the user's own copy");
}

TEST_F(ShareLibraryTest, UpdateFromTheWeb)
{
    Write(Common(), {3, {{"up.camInfo_", 1.5f}, {"same.camInfo_", 2.0f}}});
    Write(Web(), {4, {{"up.camInfo_", 2.0f}, {"same.camInfo_", 2.0f}, {"new.camInfo_", 1.0f}}});
    UseWeb();
    Prompter().ExpectMessageBox("Updated: 1 new / 1 update", IDOK);
    EXPECT_EQ(Update(true), 1);
    EXPECT_EQ(ReadAll(Common() + "/up.camInfo_"), FileText("up.camInfo_", 2.0f));
    EXPECT_EQ(ReadAll(Common() + "/new.camInfo_"), FileText("new.camInfo_", 1.0f));
    EXPECT_EQ(ReadAll(List(Common())), ReadAll(List(Web())));
    // Nothing of the web library stays in the download folder.
    const std::string download = win::ToPosixPath(CamInfoLib::GetDownloadFolder());
    EXPECT_FALSE(fs::exists(download + "/up.camInfo_"));
    EXPECT_FALSE(fs::exists(download + "/new.camInfo_"));

    // Now the same version on both sides.
    Prompter().ExpectMessageBox("No update: camInfo lib is up-to-date", IDOK);
    EXPECT_EQ(Update(true), 0);
}

TEST_F(ShareLibraryTest, AFailedDownloadLeavesNoFileAndTheListUnchanged)
{
    const Library common{3, {{"up.camInfo_", 1.5f}}};
    Write(Common(), common);
    Write(Web(), {4, {{"up.camInfo_", 2.0f}, {"new.camInfo_", 1.0f}}});
    fs::remove(Web() + "/new.camInfo_");
    UseWeb();
    EXPECT_EQ(Update(true), -1);  // no message box: the prompter would fail the test
    EXPECT_FALSE(fs::exists(Common() + "/new.camInfo_"));
    EXPECT_EQ(ReadAll(List(Common())), ListText(common));

    // Without a web address the update fails the same way.
    unsetenv("FENDRAKE_CAMINFO_WEB");
    EXPECT_EQ(Update(true), -1);
    EXPECT_NE(m_trace.find("failed loadListFile(): isWebUpdate=1"), std::string::npos) << m_trace;
}

TEST_F(ShareLibraryTest, HostileListEntriesAreSkipped)
{
    Write(Common(), {1, {}});
    fs::create_directories(AppLib());
    WriteAll(AppLib() + "/good.camInfo_", FileText("good.camInfo_", 1.0f));
    WriteAll(AppLib() + "/cr.camInfo_", FileText("cr.camInfo_", 1.0f));
    WriteAll(Home().file("program/x.camInfo_"), "outside the library");
    WriteAll(AppLib() + "/x.txt", "not a library file");
    const char* refused[] = {"../x.camInfo_", "..\\x.camInfo_", "/abs/x.camInfo_", "C:x.camInfo_", "x.txt", ""};
    std::string list = "2\n";
    for (const char* name : refused) list += std::string(name) + "\n1.0\n";
    list += "cr.camInfo_\r\n1.0\ngood.camInfo_\n1.0\ndangling.camInfo_\n";
    WriteAll(List(AppLib()), list);
    EXPECT_EQ(Update(false), 1);
    EXPECT_NE(m_trace.find("numNew=2 numUpdate=0"), std::string::npos) << m_trace;
    for (const char* name : refused)
        EXPECT_NE(m_trace.find("ERROR CamInfoLibList::checkUpdateFile: refused list entry '" + std::string(name) + "'"),
                  std::string::npos)
            << name;
    EXPECT_TRUE(fs::exists(Common() + "/good.camInfo_"));
    EXPECT_TRUE(fs::exists(Common() + "/cr.camInfo_"));
    EXPECT_FALSE(fs::exists(Common() + "/dangling.camInfo_"));
    EXPECT_FALSE(fs::exists(Common() + "/x.txt"));
    EXPECT_FALSE(fs::exists(fs::path(Common()).parent_path() / "x.camInfo_"));
    EXPECT_FALSE(fs::exists("/abs"));
}

TEST_F(ShareLibraryTest, ListReading)
{
    struct Case {
        const char* label;
        const char* text;
        int version;
        size_t entries;
    };
    const Case cases[] = {
        {"not a number", "latest\na.camInfo_\n1.0\n", 0, 1},
        {"odd line count", "7\na.camInfo_\n1.0\nb.camInfo_\n", 7, 1},
        {"empty file", "", 0, 0},
        {"fraction", "3.9\n", 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        WriteAll(List(AppLib()), c.text);
        CamInfoLibList list;
        EXPECT_EQ(list.loadListFile(CamInfoLibList::kProgram), 0);
        EXPECT_EQ(list.version, c.version);
        EXPECT_EQ(list.entries.size(), c.entries);
        testing::internal::CaptureStdout();
        EXPECT_EQ(CamInfoLibList::getListVersion(CamInfoLib::GetAppLibFolder()), c.version);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "getListVersion: filePath=" + CamInfoLib::GetAppLibFolder() + "\\CameraInfoShareLibList\n");
    }
    fs::remove(List(AppLib()));
    CamInfoLibList missing;
    EXPECT_EQ(missing.loadListFile(CamInfoLibList::kProgram), -2);
    testing::internal::CaptureStdout();
    EXPECT_EQ(CamInfoLibList::getListVersion(CamInfoLib::GetAppLibFolder()), -1);
    testing::internal::GetCapturedStdout();
}

TEST_F(ShareLibraryTest, CreateLibListNumbersAndKeepsTheOldLists)
{
    fs::create_directories(AppLib());
    WriteAll(AppLib() + "/b.camInfo_", "[Version] 2.5\n");
    WriteAll(AppLib() + "/a.camInfo_", "[Comment] no version\n");
    WriteAll(AppLib() + "/.camInfo_", "[Version] 9.0\n");  // 9 characters: listed
    WriteAll(AppLib() + "/c.camInfo", "[Version] 1.0\n");  // another ending
    WriteAll(AppLib() + "/c.camInfo_.bak", "[Version] 1.0\n");
    fs::create_directories(AppLib() + "/d.camInfo_");
    const std::string before = win::CurrentFolder();

    testing::internal::CaptureStdout();
    EXPECT_EQ(CamInfoLib::CreateLibList(), 3);
    std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_NE(trace.find("CamInfoLib::CreateLibList: current listVersion=-1\n"
                         "CamInfoLib::CreateLibList: new listVersion=1\n"),
              std::string::npos)
        << trace;
    EXPECT_EQ(trace.find("File renamed"), std::string::npos);
    EXPECT_EQ(win::CurrentFolder(), before);
    // The order of the listing is the folder's; compare as pairs.
    CamInfoLibList list;
    ASSERT_EQ(list.loadListFile(CamInfoLibList::kProgram), 0);
    EXPECT_EQ(list.version, 1);
    std::map<std::string, float> listed;
    for (const CamInfoLibEntry& e : list.entries) listed[e.name] = e.version;
    EXPECT_EQ(listed, (std::map<std::string, float>{{".camInfo_", 9.0f}, {"a.camInfo_", 0.0f}, {"b.camInfo_", 2.5f}}));
    EXPECT_NE(ReadAll(List(AppLib())).find("b.camInfo_\n2.500000\n"), std::string::npos);
    const std::string first = ReadAll(List(AppLib()));

    testing::internal::CaptureStdout();
    EXPECT_EQ(CamInfoLib::CreateLibList(), 3);
    trace = testing::internal::GetCapturedStdout();
    EXPECT_NE(trace.find("File renamed to '" + CamInfoLib::GetAppLibFolder() + "\\CameraInfoShareLibList_v1'"),
              std::string::npos)
        << trace;
    EXPECT_EQ(ReadAll(List(AppLib()) + "_v1"), first);
    EXPECT_EQ(ReadAll(List(AppLib())).substr(0, 2), "2\n");
}

TEST_F(ShareLibraryTest, CreateLibListReportsAListItCannotWrite)
{
    // No library folder: the new list has nowhere to go.
    testing::internal::CaptureStdout();
    EXPECT_EQ(CamInfoLib::CreateLibList(), -3);
    const std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_NE(trace.find("Could not open file to write: '" + CamInfoLib::GetAppLibFolder() +
                         "\\CameraInfoShareLibList'\n"),
              std::string::npos)
        << trace;
    // The old list cannot give way to the new one.
    WriteAll(List(AppLib()), "4\n");
    fs::create_directories(List(AppLib()) + "_v4/blocker");
    testing::internal::CaptureStdout();
    EXPECT_EQ(CamInfoLib::CreateLibList(), -2);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Could not rename '"), std::string::npos);
    EXPECT_EQ(ReadAll(List(AppLib())), "4\n");
}

}  // namespace

namespace {

// Serves the web library folder over HTTP at "/CameraInfoShareLib/<name>",
// with a chosen file answered 404 or cut off part-way through its body.
class WebLibraryServer {
public:
    enum Fault { kNone, kNotFound, kCut };
    explicit WebLibraryServer(std::string folder)
        : m_folder(std::move(folder)),
          m_server([this](const testhttp::Request& request) { return Answer(request); })
    {
    }
    bool Ok() const { return m_server.Ok(); }
    std::string Base() const { return m_server.Url("/CameraInfoShareLib/"); }
    void Break(const std::string& name, Fault fault)
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_faultName = name;
        m_fault = fault;
    }
    // The library names asked for, in order.
    std::vector<std::string> Asked() const
    {
        std::vector<std::string> names;
        for (const testhttp::Request& r : m_server.Requests()) names.push_back(r.target.substr(r.target.rfind('/') + 1));
        return names;
    }

private:
    testhttp::Reply Answer(const testhttp::Request& request)
    {
        testhttp::Reply r;
        const std::string prefix = "/CameraInfoShareLib/";
        const std::string name = request.target.starts_with(prefix) ? request.target.substr(prefix.size()) : "";
        Fault fault;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            fault = name == m_faultName ? m_fault : kNone;
        }
        if (name.empty() || name.find('/') != std::string::npos || fault == kNotFound ||
            !fs::exists(m_folder + "/" + name)) {
            r.status = 404;
            r.reason = "Not Found";
            r.body = "<html>not found</html>";
            return r;
        }
        r.body = ReadAll(m_folder + "/" + name);
        if (fault == kCut) r.dropAfter = r.body.size() / 2;
        return r;
    }

    std::string m_folder;
    std::mutex m_lock;
    std::string m_faultName;
    Fault m_fault = kNone;
    testhttp::LocalServer m_server;
};

}  // namespace

TEST_F(ShareLibraryTest, UpdateFromTheWebOverHttp)
{
    Write(Common(), {3, {{"up.camInfo_", 1.5f}, {"same.camInfo_", 2.0f}, {"old.camInfo_", 2.0f}}});
    Write(Web(), {4, {{"up.camInfo_", 2.0f}, {"same.camInfo_", 2.0f}, {"old.camInfo_", 1.5f}, {"new.camInfo_", 1.0f}}});
    WebLibraryServer server(Web());
    ASSERT_TRUE(server.Ok());
    setenv("FENDRAKE_CAMINFO_WEB", server.Base().c_str(), 1);

    Prompter().ExpectMessageBox("Updated: 1 new / 1 update", IDOK);
    EXPECT_EQ(Update(true), 1) << m_trace;
    EXPECT_EQ(ReadAll(Common() + "/up.camInfo_"), FileText("up.camInfo_", 2.0f));
    EXPECT_EQ(ReadAll(Common() + "/new.camInfo_"), FileText("new.camInfo_", 1.0f));
    EXPECT_EQ(ReadAll(Common() + "/old.camInfo_"), FileText("old.camInfo_", 2.0f));
    EXPECT_EQ(ReadAll(List(Common())), ReadAll(List(Web())));
    // Only the list and the new and newer files went over the wire.
    const std::vector<std::string> asked = server.Asked();
    EXPECT_EQ(std::multiset<std::string>(asked.begin(), asked.end()),
              (std::multiset<std::string>{"CameraInfoShareLibList", "up.camInfo_", "new.camInfo_"}));
    const std::string download = win::ToPosixPath(CamInfoLib::GetDownloadFolder());
    EXPECT_FALSE(fs::exists(download + "/up.camInfo_"));
    EXPECT_FALSE(fs::exists(download + "/new.camInfo_"));

    Prompter().ExpectMessageBox("No update: camInfo lib is up-to-date", IDOK);
    EXPECT_EQ(Update(true), 0);
}

// A file the server does not have, or whose body stops part-way, fails the
// update: nothing of it is kept, the common list stays as it was, and the
// next update, with the server repaired, completes.
TEST_F(ShareLibraryTest, AFailedHttpTransferIsRetriedAtTheNextUpdate)
{
    struct Case {
        const char* name;
        WebLibraryServer::Fault fault;
    };
    const Case cases[] = {
        {"new.camInfo_", WebLibraryServer::kNotFound},
        {"new.camInfo_", WebLibraryServer::kCut},
        {"up.camInfo_", WebLibraryServer::kCut},
        {"CameraInfoShareLibList", WebLibraryServer::kNotFound},
        {"CameraInfoShareLibList", WebLibraryServer::kCut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.fault == WebLibraryServer::kCut ? " cut" : " 404"));
        fs::remove_all(Common());
        const Library common{3, {{"up.camInfo_", 1.5f}}};
        Write(Common(), common);
        fs::remove_all(Web());
        Write(Web(), {4, {{"up.camInfo_", 2.0f}, {"new.camInfo_", 1.0f}}});
        // Bodies long enough that a cut leaves a real part behind.
        WriteAll(Web() + "/new.camInfo_", FileText("new.camInfo_", 1.0f) + std::string(20000, '#') + "\n");
        WriteAll(Web() + "/up.camInfo_", FileText("up.camInfo_", 2.0f) + std::string(20000, '#') + "\n");
        WebLibraryServer server(Web());
        ASSERT_TRUE(server.Ok());
        setenv("FENDRAKE_CAMINFO_WEB", server.Base().c_str(), 1);

        server.Break(c.name, c.fault);
        EXPECT_EQ(Update(true), -1) << m_trace;  // no message box: the prompter would fail the test
        EXPECT_EQ(ReadAll(List(Common())), ListText(common));
        // A file that arrived whole before or after the failed one is kept.
        if (std::string(c.name) == "up.camInfo_")
            EXPECT_EQ(ReadAll(Common() + "/new.camInfo_"), ReadAll(Web() + "/new.camInfo_"));
        else
            EXPECT_FALSE(fs::exists(Common() + "/new.camInfo_"));
        EXPECT_EQ(ReadAll(Common() + "/up.camInfo_").substr(0, 12), FileText("up.camInfo_", 1.5f).substr(0, 12));
        const std::string download = win::ToPosixPath(CamInfoLib::GetDownloadFolder());
        for (const char* name : {"new.camInfo_", "up.camInfo_"}) EXPECT_FALSE(fs::exists(download + "/" + name)) << name;

        server.Break("", WebLibraryServer::kNone);
        // A file already fetched but not yet listed still counts as new.
        Prompter().ExpectMessageBox("Updated: 1 new / 1 update", IDOK);
        EXPECT_EQ(Update(true), 1) << m_trace;
        EXPECT_EQ(ReadAll(Common() + "/new.camInfo_"), ReadAll(Web() + "/new.camInfo_"));
        EXPECT_EQ(ReadAll(Common() + "/up.camInfo_"), ReadAll(Web() + "/up.camInfo_"));
        EXPECT_EQ(ReadAll(List(Common())), ReadAll(List(Web())));
    }
}
