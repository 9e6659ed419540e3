#include "platform/win/registry_file.h"

#include "core/logger.h"
#include "platform/win/doc_view.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

namespace win {

namespace {

std::mutex g_registryLock;

// One entry per line: key, name and value separated by tabs; a tab, a line
// break or a backslash inside a field is escaped with a backslash.
std::string Escape(const std::string& field)
{
    std::string out;
    for (char c : field) {
        if (c == '\\') out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

std::string Unescape(const std::string& field)
{
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 1 < field.size()) {
            const char c = field[++i];
            out += c == 't' ? '\t' : c == 'n' ? '\n' : c;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<RegistryEntry> Load()
{
    std::vector<RegistryEntry> entries;
    std::ifstream in(RegistryFile::Path());
    for (std::string line; std::getline(in, line);) {
        const size_t a = line.find('\t');
        const size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
        if (b == std::string::npos) continue;
        entries.push_back({Unescape(line.substr(0, a)), Unescape(line.substr(a + 1, b - a - 1)),
                           Unescape(line.substr(b + 1))});
    }
    return entries;
}

bool Save(const std::vector<RegistryEntry>& entries)
{
    const std::filesystem::path path(RegistryFile::Path());
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::trunc);
    for (const RegistryEntry& e : entries)
        out << Escape(e.key) << '\t' << Escape(e.name) << '\t' << Escape(e.value) << '\n';
    out.flush();
    if (!out) {
        Logger::log("ERROR RegistryFile::Save cannot write %s", 1, path.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string RegistryFile::Path()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config && *config) {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home ? home : ".") + "/.config";
    }
    return folder + "/fendrake/registry";
}

bool RegistryFile::SetValue(const std::string& key, const std::string& name, const std::string& value)
{
    std::lock_guard<std::mutex> guard(g_registryLock);
    std::vector<RegistryEntry> entries = Load();
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const RegistryEntry& e) { return e.key == key && e.name == name; });
    if (it != entries.end()) it->value = value;
    else entries.push_back({key, name, value});
    std::sort(entries.begin(), entries.end(), [](const RegistryEntry& a, const RegistryEntry& b) {
        return a.key != b.key ? a.key < b.key : a.name < b.name;
    });
    return Save(entries);
}

bool RegistryFile::GetValue(const std::string& key, const std::string& name, std::string& value)
{
    std::lock_guard<std::mutex> guard(g_registryLock);
    for (const RegistryEntry& e : Load()) {
        if (e.key == key && e.name == name) {
            value = e.value;
            return true;
        }
    }
    return false;
}

std::vector<RegistryEntry> RegistryFile::Entries(const std::string& prefix)
{
    std::lock_guard<std::mutex> guard(g_registryLock);
    std::vector<RegistryEntry> out;
    for (const RegistryEntry& e : Load())
        if (e.key.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
    return out;
}

bool RegistryFile::RemoveKey(const std::string& key)
{
    std::lock_guard<std::mutex> guard(g_registryLock);
    std::vector<RegistryEntry> entries = Load();
    const std::string below = key + "\\";
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const RegistryEntry& e) {
                                     return e.key == key || e.key.compare(0, below.size(), below) == 0;
                                 }),
                  entries.end());
    return Save(entries);
}

bool RegisterShellFileType(const CDocTemplate& docTemplate, const std::string& program)
{
    std::string typeId, typeName, extension;
    docTemplate.GetDocString(typeId, CDocTemplate::regFileTypeId);
    docTemplate.GetDocString(typeName, CDocTemplate::regFileTypeName);
    docTemplate.GetDocString(extension, CDocTemplate::filterExt);
    if (typeId.empty()) return true;  // a template without a file type registers nothing
    bool ok = RegistryFile::SetValue(typeId, "", typeName);
    ok = RegistryFile::SetValue(typeId + "\\shell\\open\\command", "", "\"" + program + "\" \"%1\"") && ok;
    if (!extension.empty()) ok = RegistryFile::SetValue(extension, "", typeId) && ok;
    return ok;
}

}  // namespace win
