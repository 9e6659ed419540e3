// Shared fixture of the platform/win tests: a fresh runtime per test, the
// calling thread as the user-interface thread, and a scripted prompter that
// fails the test on any question it was not told about.
#pragma once

#include "platform/win/prompter.h"
#include "platform/win/runtime.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

class WinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
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

private:
    std::unique_ptr<win::ScriptedPrompter> m_prompter;
};
