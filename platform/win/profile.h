// The per-user profile: sections of named values kept in an INI file under
// the XDG configuration folder, in a folder named after the registry key
// ("Quorvane") and a file named after the program: for example
// ~/.config/Quorvane/Fendrake.ini. Every write goes to disk at once (a new
// file renamed over the old), so that another program or a later run reads
// it. Names compare without regard to case, as the platform's did.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace win {

class Profile {
public:
    static Profile& Get();

    // The folder key (may be empty: the file then lies directly in the
    // configuration folder) and the file's base name.
    void Configure(const std::string& registryKey, const std::string& profileName);
    std::string Path() const;
    // The configuration folder: $XDG_CONFIG_HOME, else $HOME/.config.
    static std::string ConfigHome();

    std::optional<std::string> ReadString(const std::string& section, const std::string& entry);
    // A null value removes the entry.
    bool WriteString(const std::string& section, const std::string& entry, const std::optional<std::string>& value);
    bool RemoveSection(const std::string& section);
    std::vector<std::string> Entries(const std::string& section);

    // Forgets the configuration and the cached file contents.
    void Reset();

private:
    Profile() = default;
    struct Entry {
        std::string name;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    void LoadLocked();
    bool SaveLocked();
    Section* FindSection(const std::string& name);

    std::mutex m_lock;
    std::string m_key;
    std::string m_name = "Program";
    bool m_loaded = false;
    std::vector<Section> m_sections;
};

// Quoting of one INI value: plain text is written as it is; text with
// leading or trailing blanks, control characters or a leading quote is
// written in double quotes with backslash escapes.
std::string QuoteIniValue(const std::string& value);
std::string UnquoteIniValue(const std::string& text);

}  // namespace win
