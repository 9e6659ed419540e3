#include "platform/utilkit/native_path.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

namespace {

struct DriveTable {
    std::mutex lock;
    std::map<char, std::string> roots{{'C', "/"}};
};

DriveTable& Drives()
{
    static DriveTable* table = new DriveTable();  // lives for the process: paths are converted during exit too
    return *table;
}

char DriveKey(char letter)
{
    return static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
}

}  // namespace

namespace utilkit {

std::string WindowsToPosixPath(const std::string& path)
{
    std::string p = path;
    std::replace(p.begin(), p.end(), '\\', '/');
    if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
        const char letter = DriveKey(p[0]);
        std::string root = PathDriveRoot(letter);
        if (root.empty()) root = std::string("/.no-drive-") + letter;
        const std::string rest = p.substr(2);
        p = root + (rest.empty() || rest[0] == '/' ? "" : "/") + rest;
    }
    std::string out;
    out.reserve(p.size());
    for (char c : p) {
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out.push_back(c);
    }
    return out;
}

void MapPathDrive(char letter, const std::string& root)
{
    DriveTable& t = Drives();
    std::lock_guard<std::mutex> guard(t.lock);
    if (root.empty()) t.roots.erase(DriveKey(letter));
    else t.roots[DriveKey(letter)] = root;
}

std::string PathDriveRoot(char letter)
{
    DriveTable& t = Drives();
    std::lock_guard<std::mutex> guard(t.lock);
    const auto it = t.roots.find(DriveKey(letter));
    return it == t.roots.end() ? std::string() : it->second;
}

uint32_t MappedDriveMask()
{
    DriveTable& t = Drives();
    std::lock_guard<std::mutex> guard(t.lock);
    uint32_t mask = 0;
    for (const auto& [letter, root] : t.roots)
        if (letter >= 'A' && letter <= 'Z') mask |= 1u << (letter - 'A');
    return mask;
}

void ResetPathDrives()
{
    DriveTable& t = Drives();
    std::lock_guard<std::mutex> guard(t.lock);
    t.roots = {{'C', "/"}};
}

}  // namespace utilkit
