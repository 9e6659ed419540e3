#include "viewer/drowsel/album_files.h"

#include "core/logger.h"
#include "platform/win/file_system.h"

#include <cstdio>
#include <memory>

namespace drowsel {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const
    {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File Open(const std::string& path, const char* mode)
{
    return File(std::fopen(win::ToPosixPath(path).c_str(), mode));
}

// One whole line without its line feed; false at the end of the file.
bool NextLine(std::FILE* f, std::string& line)
{
    line.clear();
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(f)) != EOF) {
        any = true;
        if (c == '\n') break;
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
}

bool CanOpen(const std::string& path)
{
    return static_cast<bool>(Open(path, "rb"));
}

}  // namespace

std::string HandOverPath()
{
    const DWORD size = GetTempPath(0, nullptr);
    std::string folder(static_cast<size_t>(size) + 1, '\0');
    GetTempPath(static_cast<DWORD>(folder.size()), folder.data());
    folder.resize(std::char_traits<char>::length(folder.c_str()));
    return folder + "quorvanealbum.txt";
}

std::string ReadHandOver()
{
    File f = Open(HandOverPath(), "rb");
    if (!f) return {};
    std::string line;
    NextLine(f.get(), line);
    return line;
}

bool EmptyHandOver()
{
    const std::string path = HandOverPath();
    if (!CanOpen(path)) return true;
    if (!Open(path, "wb")) {
        Logger::log("ERROR EmptyHandOver cannot write %s", 1, path.c_str());
        return false;
    }
    return true;
}

std::string AlbumFolder(const std::string& albumPath)
{
    const size_t slash = albumPath.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : albumPath.substr(0, slash + 1);
}

bool IsAbsoluteAlbumEntry(const std::string& line)
{
    return (line.size() > 1 && line[1] == ':') || (!line.empty() && (line[0] == '/' || line[0] == '\\'));
}

bool ReadLines(const std::string& path, std::vector<std::string>& lines)
{
    lines.clear();
    File f = Open(path, "rb");
    if (!f) return false;
    std::string line;
    while (NextLine(f.get(), line)) lines.push_back(line);
    return true;
}

bool ReadAlbum(const std::string& albumPath, std::vector<std::string>& entries)
{
    entries.clear();
    std::vector<std::string> lines;
    if (!ReadLines(albumPath, lines)) {
        Logger::log("ERROR ReadAlbum cannot open the album %s", 1, albumPath.c_str());
        return false;
    }
    const std::string folder = AlbumFolder(albumPath);
    for (const std::string& line : lines) {
        if (line.empty() || line[0] == '#' || line[0] == ' ') continue;
        const std::string path = IsAbsoluteAlbumEntry(line) ? line : folder + line;
        if (CanOpen(path)) entries.push_back(path);
    }
    return true;
}

bool AddToAlbum(const std::string& albumPath, const std::string& picture)
{
    std::vector<std::string> lines;
    ReadLines(albumPath, lines);  // a missing album starts empty
    File f = Open(albumPath, "wb");
    if (!f) {
        Logger::log("ERROR AddToAlbum cannot write the album %s", 1, albumPath.c_str());
        return false;
    }
    std::string text = picture + "\n";
    for (const std::string& line : lines) {
        if (line.empty() || line == picture) continue;
        text += line + "\n";
    }
    if (std::fwrite(text.data(), 1, text.size(), f.get()) != text.size()) {
        Logger::log("ERROR AddToAlbum cannot write the album %s", 1, albumPath.c_str());
        return false;
    }
    return true;
}

}  // namespace drowsel
