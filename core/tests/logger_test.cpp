#include "core/logger.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

TEST(Logger, CaptureSeesLinesAtOrBelowTheLevel)
{
    Logger::setLogLevel(3);
    LogCapture capture;
    Logger::log("ERROR Image::Init() size=%d", 1, 42);
    Logger::log("detail %s", 4, "hidden");
    Logger::logMsg("Enter Stitch", 3);
    EXPECT_EQ(capture.text(), "ERROR Image::Init() size=42\nEnter Stitch\n");
    EXPECT_EQ(capture.errorCount(), 1);
    Logger::setLogLevel(4);
}

TEST(Logger, WritesTheLogFileInTheGivenFolder)
{
    const auto dir = std::filesystem::temp_directory_path() / "fendrake_logger_test";
    std::filesystem::remove_all(dir);
    ASSERT_TRUE(Logger::setLogOn("Fendrake", dir.c_str()));
    EXPECT_TRUE(Logger::isLogOn());
    Logger::log("ERROR Test::Run() code %d", 1, 7);
    const std::string name = Logger::getLogFileName();
    Logger::setLogOff();
    EXPECT_EQ(name, (dir / "Fendrake.log").string());
    std::ifstream in(name);
    std::stringstream all;
    all << in.rdbuf();
    EXPECT_NE(all.str().find("[1] ERROR Test::Run() code 7"), std::string::npos);
    std::filesystem::remove_all(dir);
}
