#include "platform/utilkit/log_base.h"
#include "platform/win/file_system.h"
#include "platform/win/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

// The platform's names over the utility module's process registry, as the
// matcher and blender runs use them.
TEST(Process, WaitEndAndReleaseAChildByItsHandles)
{
    PROCESS_INFORMATION pi;
    ASSERT_NE(LogBase::ExecuteProcess("/bin/sh", "sh -c \"sleep 0.3; exit 3\"", &pi, false), nullptr);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    for (int i = 0; i < 2000 && code == STILL_ACTIVE; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    }
    EXPECT_EQ(code, 3u);
    EXPECT_FALSE(TerminateProcess(pi.hProcess, 0));
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    EXPECT_TRUE(CloseHandle(pi.hThread));

    ASSERT_NE(LogBase::ExecuteProcess("/bin/sleep", "30", &pi, false), nullptr);
    EXPECT_TRUE(TerminateProcess(pi.hProcess, 0));
    ASSERT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(CloseHandle(pi.hThread));
    EXPECT_TRUE(CloseHandle(pi.hProcess));

    SetLastError(0);
    EXPECT_FALSE(CloseHandle(pi.hProcess));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(GetExitCodeProcess(pi.hProcess, &code));
}

// Both layers turn a Windows path into the same POSIX path, drives included.
TEST(Process, LogBaseAndTheFileLayerSpellPathsAlike)
{
    win::ResetFileSystem();
    win::MapDrive('d', "/media/data");
    for (const char* path : {"C:\\Users\\pano\\IMG_1.JPG", "d:\\tour\\\\TessivConfig.bin", "E:\\nowhere", "\\Hollet.exe",
                             "WebLinks\\WebPageSample.htm", "c:", ""})
        EXPECT_EQ(LogBase::ToNativePath(path), win::ToPosixPath(path)) << path;
    EXPECT_EQ(LogBase::ToNativePath("D:\\x"), "/media/data/x");
    win::ResetFileSystem();
    EXPECT_EQ(LogBase::ToNativePath("D:\\x"), "/.no-drive-D/x");
}
