// Message boxes of a test go to a scripted prompter; anything unscripted,
// and anything scripted but never asked, fails the test.
#pragma once

#include "platform/win/prompter.h"

#include <gtest/gtest.h>

#include <string>

class Prompts {
public:
    Prompts() : m_prompter([](const std::string& what) { ADD_FAILURE() << "unexpected question: " << what; })
    {
        win::SetPrompter(&m_prompter);
    }
    ~Prompts()
    {
        win::SetPrompter(nullptr);
        for (const std::string& unused : m_prompter.Unused()) ADD_FAILURE() << "not asked: " << unused;
    }
    Prompts(const Prompts&) = delete;
    Prompts& operator=(const Prompts&) = delete;
    win::ScriptedPrompter& operator->() { return m_prompter; }
    win::ScriptedPrompter& get() { return m_prompter; }

private:
    win::ScriptedPrompter m_prompter;
};
