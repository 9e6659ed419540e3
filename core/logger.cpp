#include "core/logger.h"

#include "core/app_data.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

namespace {

// The log is process-wide and may be written from worker threads.
struct LogState {
    std::mutex lock;
    int level = 4;
    FILE* file = nullptr;
    std::string fileName;
    Logger::Sink sink;
    // FENDRAKE_LOG=stderr echoes every line, which helps when debugging a tool.
    bool echo = std::getenv("FENDRAKE_LOG") != nullptr;
};

LogState& state()
{
    static LogState s;
    return s;
}

// The log folder under the common application-data folder, where the
// support instructions tell users to look.
std::string defaultLogFolder()
{
    return CommonLogFolder();
}

std::string formatLine(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0) return {};
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, args);
    std::string line(buf.data(), static_cast<size_t>(n));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

void writeLine(int level, const std::string& line)
{
    LogState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (level > s.level) return;
    if (s.sink) s.sink(level, line);
    if (s.echo) std::fprintf(stderr, "[%d] %s\n", level, line.c_str());
    if (s.file) {
        char stamp[32];
        std::time_t now = std::time(nullptr);
        std::tm tmNow{};
        localtime_r(&now, &tmNow);
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tmNow);
        std::fprintf(s.file, "%s [%d] %s\n", stamp, level, line.c_str());
        std::fflush(s.file);
    }
}

}  // namespace

void Logger::log(const char* format, int level, ...)
{
    va_list args;
    va_start(args, level);
    logV(format, level, args);
    va_end(args);
}

void Logger::logV(const char* format, int level, va_list args)
{
    if (!format) return;
    {
        LogState& s = state();
        std::lock_guard<std::mutex> guard(s.lock);
        if (level > s.level || (!s.sink && !s.echo && !s.file)) return;
    }
    writeLine(level, formatLine(format, args));
}

void Logger::logMsg(const char* text, int level)
{
    if (text) writeLine(level, text);
}

bool Logger::setLogOn(const char* appName, const char* folder)
{
    const std::string dir = folder && *folder ? std::string(folder) : defaultLogFolder();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::string name = dir + "/" + (appName && *appName ? appName : "Fendrake") + ".log";
    FILE* f = std::fopen(name.c_str(), "a");
    if (!f) return false;
    LogState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.file) std::fclose(s.file);
    s.file = f;
    s.fileName = name;
    return true;
}

void Logger::setLogOff()
{
    LogState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.file) std::fclose(s.file);
    s.file = nullptr;
}

bool Logger::isLogOn()
{
    LogState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.file != nullptr;
}

void Logger::setLogLevel(int level)
{
    LogState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.level = level;
}

int Logger::getLogLevel()
{
    LogState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.level;
}

const char* Logger::getLogFileName()
{
    LogState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.fileName.c_str();
}

void Logger::setSink(Sink sink)
{
    LogState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.sink = std::move(sink);
}

LogCapture::LogCapture()
{
    Logger::setSink([this](int level, const std::string& line) {
        m_text += line;
        m_text += '\n';
        if (level == 1) ++m_errors;
    });
}

LogCapture::~LogCapture()
{
    Logger::setSink(nullptr);
}
