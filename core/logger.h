// The suite's log: one formatted line per call, with a level
// (1 errors "ERROR Class::Method ...", 2 version banner, 3 Enter/Leave trace,
// 4 details). Every library reports its failures here instead of printing.
#pragma once

#include <cstdarg>
#include <functional>
#include <string>

class Logger {
public:
    // Writes one line when `level` is at or below the current level.
    static void log(const char* format, int level, ...) __attribute__((format(printf, 1, 3)));
    static void logV(const char* format, int level, va_list args);
    static void logMsg(const char* text, int level);

    // Starts writing "<appName>.log" in `folder` (the log folder when null).
    static bool setLogOn(const char* appName, const char* folder);
    static void setLogOff();
    static bool isLogOn();
    static void setLogLevel(int level);
    static int getLogLevel();
    static const char* getLogFileName();

    // Receives every line at or below the level, whether the file is on or
    // not; tests use it to see the error lines. Null removes it.
    using Sink = std::function<void(int level, const std::string& line)>;
    static void setSink(Sink sink);
};

// Captures the log lines written while it lives (for tests and tools).
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::string& text() const { return m_text; }
    bool contains(const std::string& part) const { return m_text.find(part) != std::string::npos; }
    int errorCount() const { return m_errors; }
    void clear()
    {
        m_text.clear();
        m_errors = 0;
    }

private:
    std::string m_text;
    int m_errors = 0;
};
