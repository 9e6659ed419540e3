#include "platform/win/profile.h"

#include "core/logger.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <strings.h>

namespace fs = std::filesystem;

namespace win {

namespace {

bool SameName(const std::string& a, const std::string& b)
{
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string Trim(const std::string& s)
{
    const size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return std::string();
    const size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

}  // namespace

std::string QuoteIniValue(const std::string& value)
{
    bool plain = value.empty() || (value.front() != ' ' && value.front() != '\t' && value.back() != ' ' &&
                                   value.back() != '\t' && value.front() != '"');
    for (char c : value) plain = plain && static_cast<unsigned char>(c) >= 32;
    if (plain) return value;
    std::string out = "\"";
    for (char c : value) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 32) {
                char hex[8];
                snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
                out += hex;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string UnquoteIniValue(const std::string& text)
{
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return text;
    std::string out;
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        const char c = text[i];
        // A backslash right before the closing quote stays as it is.
        if (c != '\\' || i + 2 >= text.size()) {
            out += c;
            continue;
        }
        const char e = text[++i];
        switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x':
            if (i + 2 < text.size()) {
                out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
                i += 2;
            }
            break;
        default: out += e; break;
        }
    }
    return out;
}

Profile& Profile::Get()
{
    static Profile* profile = new Profile();  // lives for the process
    return *profile;
}

std::string Profile::ConfigHome()
{
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) return config;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.config";
}

void Profile::Configure(const std::string& registryKey, const std::string& profileName)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_key = registryKey;
    m_name = profileName.empty() ? "Program" : profileName;
    m_loaded = false;
    m_sections.clear();
}

std::string Profile::Path() const
{
    const std::string folder = m_key.empty() ? ConfigHome() : ConfigHome() + "/" + m_key;
    return folder + "/" + m_name + ".ini";
}

void Profile::Reset()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_key.clear();
    m_name = "Program";
    m_loaded = false;
    m_sections.clear();
}

void Profile::LoadLocked()
{
    if (m_loaded) return;
    m_loaded = true;
    m_sections.clear();
    std::ifstream in(Path());
    if (!in) return;
    Section* current = nullptr;
    for (std::string line; std::getline(in, line);) {
        const std::string t = Trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t.front() == '[' && t.back() == ']') {
            const std::string name = t.substr(1, t.size() - 2);
            current = FindSection(name);
            if (!current) {
                m_sections.push_back(Section{name, {}});
                current = &m_sections.back();
            }
            continue;
        }
        const size_t eq = t.find('=');
        if (!current || eq == std::string::npos) continue;
        current->entries.push_back(Entry{Trim(t.substr(0, eq)), UnquoteIniValue(Trim(t.substr(eq + 1)))});
    }
}

bool Profile::SaveLocked()
{
    const std::string path = Path();
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        if (!out) {
            Logger::log("ERROR Profile::Save cannot write %s", 1, temporary.c_str());
            return false;
        }
        for (const Section& s : m_sections) {
            out << '[' << s.name << "]\n";
            for (const Entry& e : s.entries) out << e.name << '=' << QuoteIniValue(e.value) << '\n';
            out << '\n';
        }
        if (!out.good()) return false;
    }
    // A reader sees the old file or the new one, never half of one.
    fs::rename(temporary, path, ec);
    if (ec) {
        Logger::log("ERROR Profile::Save cannot replace %s", 1, path.c_str());
        return false;
    }
    return true;
}

Profile::Section* Profile::FindSection(const std::string& name)
{
    for (Section& s : m_sections) {
        if (SameName(s.name, name)) return &s;
    }
    return nullptr;
}

std::optional<std::string> Profile::ReadString(const std::string& section, const std::string& entry)
{
    std::lock_guard<std::mutex> guard(m_lock);
    LoadLocked();
    const Section* s = FindSection(section);
    if (!s) return std::nullopt;
    for (const Entry& e : s->entries) {
        if (SameName(e.name, entry)) return e.value;
    }
    return std::nullopt;
}

bool Profile::WriteString(const std::string& section, const std::string& entry,
                          const std::optional<std::string>& value)
{
    std::lock_guard<std::mutex> guard(m_lock);
    LoadLocked();
    Section* s = FindSection(section);
    if (!s) {
        if (!value) return true;
        m_sections.push_back(Section{section, {}});
        s = &m_sections.back();
    }
    auto it = std::find_if(s->entries.begin(), s->entries.end(), [&](const Entry& e) { return SameName(e.name, entry); });
    if (!value) {
        if (it == s->entries.end()) return true;
        s->entries.erase(it);
    } else if (it == s->entries.end()) {
        s->entries.push_back(Entry{entry, *value});
    } else {
        it->value = *value;
    }
    return SaveLocked();
}

bool Profile::RemoveSection(const std::string& section)
{
    std::lock_guard<std::mutex> guard(m_lock);
    LoadLocked();
    auto it = std::find_if(m_sections.begin(), m_sections.end(), [&](const Section& s) { return SameName(s.name, section); });
    if (it == m_sections.end()) return true;
    m_sections.erase(it);
    return SaveLocked();
}

std::vector<std::string> Profile::Entries(const std::string& section)
{
    std::lock_guard<std::mutex> guard(m_lock);
    LoadLocked();
    std::vector<std::string> names;
    if (const Section* s = FindSection(section)) {
        for (const Entry& e : s->entries) names.push_back(e.name);
    }
    return names;
}

}  // namespace win
