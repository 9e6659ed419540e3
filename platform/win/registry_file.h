// The stand-in registry: a small file of (key, value name, value) entries
// under the per-user configuration folder, for what a program registers
// with the shell and the object machinery (class factories, server
// entries, shell file types). Nothing outside the suite reads it; tests
// and the programs themselves do. The plain Reg* calls of shell.h stay
// empty on purpose (see there).
#pragma once

#include <string>
#include <vector>

class CDocTemplate;

namespace win {

struct RegistryEntry {
    std::string key;    // "Quorvane.Document\\shell\\open\\command"
    std::string name;   // "" is the key's default value
    std::string value;
};

class RegistryFile {
public:
    // "$XDG_CONFIG_HOME/fendrake/registry" (or under $HOME/.config).
    static std::string Path();
    // Adds or replaces one value; false (an ERROR line) when the file
    // cannot be written.
    static bool SetValue(const std::string& key, const std::string& name, const std::string& value);
    // False when the key or the value is missing.
    static bool GetValue(const std::string& key, const std::string& name, std::string& value);
    // Every entry whose key starts with `prefix`, in key order.
    static std::vector<RegistryEntry> Entries(const std::string& prefix = {});
    // Removes a key and everything under it.
    static bool RemoveKey(const std::string& key);
};

// Shell registration of a document template's file type from its document
// string (file-type id, name, extension): the extension points at the type,
// the type's "shell\\open\\command" runs `program` with the quoted file.
bool RegisterShellFileType(const CDocTemplate& docTemplate, const std::string& program);

}  // namespace win
