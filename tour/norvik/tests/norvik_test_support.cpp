#include "tour/norvik/tests/norvik_test_support.h"

#include "testkit/testkit.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace norvik_test {

namespace {

std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool HaveXmllint()
{
    if (testkit::HasTool("xmllint")) return true;
    ADD_FAILURE() << "xmllint (Debian libxml2-utils) is needed by this test";
    return false;
}

}  // namespace

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

std::string CapturedStdout(const std::function<void()>& call)
{
    std::fflush(stdout);
    ::testing::internal::CaptureStdout();
    call();
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
}

::testing::AssertionResult WellFormedFile(const std::string& path)
{
    if (!HaveXmllint()) return ::testing::AssertionFailure() << "no xmllint";
    const testkit::CommandResult r = testkit::Run("xmllint --noout " + ShellQuote(path));
    if (r.status == 0 && r.output.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "xmllint rejects " << path << ":\n" << r.output;
}

::testing::AssertionResult WellFormedText(const std::string& text)
{
    testkit::TempDir dir;
    const std::string path = dir.file("text.xml");
    WriteBytes(path, text);
    return WellFormedFile(path);
}

std::string XPathString(const std::string& path, const std::string& xpath)
{
    if (!HaveXmllint()) return "<no xmllint>";
    const testkit::CommandResult r =
        testkit::Run("(xmllint --xpath " + ShellQuote("string(" + xpath + ")") + " " + ShellQuote(path) +
                     " 2>/dev/null)");
    std::string value = r.output;
    // xmllint ends the value with one line feed of its own.
    if (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
}

std::vector<std::string> XPathUids(const std::string& path, const std::string& xpath)
{
    std::vector<std::string> uids;
    if (!HaveXmllint()) return uids;
    const testkit::CommandResult r =
        testkit::Run("(xmllint --xpath " + ShellQuote(xpath + "/@uid") + " " + ShellQuote(path) + " 2>/dev/null)");
    // Each selected attribute is printed as ` uid="N"` on a line of its own.
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t open = line.find("uid=\"");
        if (open == std::string::npos) continue;
        const size_t close = line.find('"', open + 5);
        uids.push_back(line.substr(open + 5, close - open - 5));
    }
    return uids;
}

}  // namespace norvik_test
