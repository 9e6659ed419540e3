// Shared fixture of the platform/win tests: a fresh runtime per test, the
// calling thread as the user-interface thread, and a scripted prompter that
// fails the test on any question it was not told about. The per-user
// configuration and data folders point into a temporary folder.
#pragma once

#include "platform/win/prompter.h"
#include "platform/win/runtime.h"
#include "platform/win/win_rect.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>

namespace testkit {
// The value of one "Name: value" line of pdfinfo's report, trimmed.
inline std::string PdfInfoField(const std::string& report, const std::string& name)
{
    const size_t at = report.find(name + ":");
    if (at == std::string::npos) return std::string();
    const size_t start = report.find_first_not_of(' ', at + name.size() + 1);
    const size_t end = report.find('\n', start);
    return report.substr(start, end == std::string::npos ? std::string::npos : end - start);
}
}  // namespace testkit

// Readable rectangles and points in test messages.
inline std::ostream& operator<<(std::ostream& out, const RECT& r)
{
    return out << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}
inline std::ostream& operator<<(std::ostream& out, const POINT& p)
{
    return out << "(" << p.x << ", " << p.y << ")";
}

class WinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("XDG_CONFIG_HOME", m_home.file("config").c_str(), 1);
        setenv("XDG_DATA_HOME", m_home.file("data").c_str(), 1);
        win::ResetRuntime();
        m_prompter = std::make_unique<win::ScriptedPrompter>(
            [](const std::string& what) { ADD_FAILURE() << "unscripted question: " << what; });
        win::SetPrompter(m_prompter.get());
    }

    void TearDown() override
    {
        for (const std::string& left : m_prompter->Unused()) ADD_FAILURE() << "expected but not asked: " << left;
        win::ResetRuntime();
        win::SetPrompter(nullptr);
    }

    win::ScriptedPrompter& Prompter() { return *m_prompter; }
    const testkit::TempDir& Home() const { return m_home; }

private:
    testkit::TempDir m_home;
    std::unique_ptr<win::ScriptedPrompter> m_prompter;
};
