// Module loading by Windows file name: name mapping, the search order (the
// set DLL folder, the folder beside the program, explicit folders), entries
// by name, and unloading; and the library message-box sink.
#include "platform/win/dynamic_library.h"
#include "platform/win/message_box_sink.h"
#include "platform/win/prompter.h"

#include "core/logger.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

using ProbeFn = int (*)();

int CallProbe(HMODULE module)
{
    auto fn = reinterpret_cast<ProbeFn>(GetProcAddress(module, "ProbeValue"));
    return fn ? fn() : -1;
}

TEST(DynamicLibrary, SearchEntriesAndUnload)
{
    EXPECT_EQ(LoadLibraryA("LoaderProbe.dll"), nullptr);  // in no searched folder yet
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    ASSERT_EQ(SetDllDirectoryA(PROBE_FOLDER), 1);
    HMODULE module = LoadLibraryA("LoaderProbe.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(CallProbe(module), 1);
    EXPECT_EQ(GetProcAddress(module, "NoSuchEntry"), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "ProbeValue"), nullptr);
    EXPECT_EQ(FreeLibrary(module), 1);
    EXPECT_EQ(FreeLibrary(nullptr), 0);
    void* still = dlopen(PROBE_FOLDER "/libLoaderProbe.so", RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(still, nullptr) << "the last FreeLibrary unloads the module";
    if (still) dlclose(still);
    ASSERT_EQ(SetDllDirectoryA(nullptr), 1);
    EXPECT_EQ(LoadLibraryA("LoaderProbe.dll"), nullptr);
    // A name with a folder is loaded from that folder only.
    HMODULE direct = LoadLibraryA(PROBE_FOLDER "/LoaderProbe.dll");
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(CallProbe(direct), 1);
    FreeLibrary(direct);
    EXPECT_EQ(LoadLibraryA("/nonexistent/LoaderProbe.dll"), nullptr);
}

TEST(DynamicLibrary, ModuleBesideTheProgramIsFound)
{
    HMODULE module = LoadLibraryA("LoaderNeighbour.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(CallProbe(module), 2);
    FreeLibrary(module);
}

TEST(MessageBoxSink, DefaultLogsAndAnswersOk)
{
    win::MessageBoxSink none = win::SetMessageBoxSink(nullptr);
    LogCapture log;
    EXPECT_EQ(win::ShowModuleMessageBox("Mapdeck", 1001, "Some text", 0), 1);
    EXPECT_TRUE(log.contains("Mapdeck/1001: Some text")) << log.text();
    std::vector<win::ModuleMessageBox> seen;
    win::SetMessageBoxSink([&](const win::ModuleMessageBox& box) {
        seen.push_back(box);
        return 7;
    });
    EXPECT_EQ(win::ShowModuleMessageBox("Mapdeck", 1000, "Other", 0x30), 7);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].module, "Mapdeck");
    EXPECT_EQ(seen[0].textId, 1000u);
    EXPECT_EQ(seen[0].text, "Other");
    EXPECT_EQ(seen[0].type, 0x30u);
    win::MessageBoxSink previous = win::SetMessageBoxSink(none);
    EXPECT_TRUE(static_cast<bool>(previous));
}

TEST(MessageBoxSink, WithoutASinkAnInstalledPrompterAnswers)
{
    win::MessageBoxSink none = win::SetMessageBoxSink(nullptr);
    std::vector<std::string> failures;
    win::ScriptedPrompter prompter([&](const std::string& what) { failures.push_back(what); });
    prompter.ExpectMessageBox("QuickTime is missing", IDOK);
    win::SetPrompter(&prompter);
    EXPECT_EQ(win::ShowModuleMessageBox("Mapdeck", 1000, "QuickTime is missing", MB_OK), IDOK);
    win::SetPrompter(nullptr);
    win::SetMessageBoxSink(none);
    EXPECT_TRUE(failures.empty());
    ASSERT_EQ(prompter.MessageBoxes().size(), 1u);
    EXPECT_EQ(prompter.MessageBoxes()[0].caption, "Mapdeck");
    EXPECT_TRUE(prompter.Unused().empty());
}

}  // namespace
