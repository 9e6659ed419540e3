#include "platform/mci/mci.h"

#include "platform/utilkit/child_process.h"
#include "core/logger.h"
#include "platform/utilkit/native_path.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

namespace {

// One sounding file: a child ffplay, or nothing when silent.
class Player {
public:
    Player() = default;
    ~Player() { Stop(); }
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    void Start(const std::string& file, bool silent)
    {
        Stop();
        m_sounding = true;
        if (silent) return;
        const std::string player = FindPlayer();
        if (player.empty()) return;
        // An argument vector, never a shell: the file name is taken as it is.
        m_process = utilkit::StartChildProcess(
            player, {player, "-nodisp", "-autoexit", "-loglevel", "quiet", utilkit::WindowsToPosixPath(file)}, nullptr);
        if (!m_process) Logger::log("ERROR mciSendString: cannot start %s", 1, player.c_str());
    }

    void Stop()
    {
        m_sounding = false;
        if (!m_process) return;
        utilkit::TerminateChild(m_process, 0);
        utilkit::CloseChildHandle(m_process);
        m_process = nullptr;
    }

    // A silent play sounds until stopped; ffplay until it ends by itself.
    bool Sounding()
    {
        if (m_sounding && m_process) {
            DWORD code = 0;
            if (utilkit::ChildExitCode(m_process, &code) && code != STILL_ACTIVE) {
                utilkit::CloseChildHandle(m_process);
                m_process = nullptr;
                m_sounding = false;
            }
        }
        return m_sounding;
    }

private:
    static std::string FindPlayer()
    {
        const char* path = std::getenv("PATH");
        std::string folders = path && *path ? path : "/usr/bin:/bin";
        size_t start = 0;
        while (start <= folders.size()) {
            const size_t end = std::min(folders.find(':', start), folders.size());
            const std::string candidate = folders.substr(start, end - start) + "/ffplay";
            if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
            start = end + 1;
        }
        return {};
    }

    HANDLE m_process = nullptr;
    bool m_sounding = false;
};

struct Device {
    mci::AliasState state;
    Player player;
};

struct Interface {
    std::mutex lock;
    std::map<std::string, std::unique_ptr<Device>> aliases;  // by lower-case alias
    std::vector<std::string> log;
    Player playSound;
    std::optional<bool> silent;  // unset: decided by the display
};

Interface& State()
{
    static Interface state;
    return state;
}

bool Silent(const Interface& s)
{
    if (s.silent) return *s.silent;
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return !(x && *x) && !(wayland && *wayland);
}

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Words separated by blanks; "..." is one word without its quotes.
std::vector<std::string> Words(const char* command)
{
    std::vector<std::string> words;
    for (const char* p = command; *p;) {
        if (std::isspace(static_cast<unsigned char>(*p))) {
            ++p;
            continue;
        }
        std::string word;
        if (*p == '"') {
            const char* end = std::strchr(p + 1, '"');
            if (!end) end = p + std::strlen(p);
            word.assign(p + 1, end);
            p = *end ? end + 1 : end;
        } else {
            while (*p && !std::isspace(static_cast<unsigned char>(*p))) word += *p++;
        }
        words.push_back(word);
    }
    return words;
}

MCIERROR Open(Interface& s, const std::vector<std::string>& w)
{
    // open <file> type <type> alias <alias>
    std::string file, type, alias;
    if (w.size() < 2) return MCIERR_MISSING_PARAMETER;
    file = w[1];
    for (size_t i = 2; i < w.size(); i += 2) {
        if (i + 1 >= w.size()) return MCIERR_MISSING_PARAMETER;
        const std::string key = Lower(w[i]);
        if (key == "type") type = Lower(w[i + 1]);
        else if (key == "alias") alias = Lower(w[i + 1]);
        else return MCIERR_UNRECOGNIZED_KEYWORD;
    }
    if (type.empty() || alias.empty()) return MCIERR_MISSING_PARAMETER;
    if (type != "waveaudio" && type != "mpegvideo" && type != "sequencer") return MCIERR_INVALID_DEVICE_NAME;
    if (s.aliases.count(alias)) return MCIERR_DUPLICATE_ALIAS;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(utilkit::WindowsToPosixPath(file), ec)) return MCIERR_FILE_NOT_FOUND;
    auto device = std::make_unique<Device>();
    device->state.file = file;
    device->state.type = type;
    s.aliases[alias] = std::move(device);
    return 0;
}

MCIERROR Send(Interface& s, const std::vector<std::string>& w)
{
    if (w.empty()) return MCIERR_UNRECOGNIZED_COMMAND;
    const std::string verb = Lower(w[0]);
    if (verb == "open") return Open(s, w);
    if (w.size() < 2) return MCIERR_MISSING_PARAMETER;
    const std::string alias = Lower(w[1]);
    if (verb == "close" && alias == "all") {
        s.aliases.clear();  // each player stops as it goes
        return 0;
    }
    const auto found = s.aliases.find(alias);
    if (verb != "close" && verb != "play" && verb != "stop" && verb != "set") return MCIERR_UNRECOGNIZED_COMMAND;
    if (found == s.aliases.end()) return MCIERR_INVALID_DEVICE_NAME;
    Device& device = *found->second;
    if (verb == "close") {
        s.aliases.erase(found);
        return 0;
    }
    if (verb == "stop") {
        device.player.Stop();
        device.state.playing = false;
        return 0;
    }
    if (verb == "set") {
        if (w.size() == 5 && Lower(w[2]) == "time" && Lower(w[3]) == "format" && Lower(w[4]) == "milliseconds") {
            device.state.milliseconds = true;
            return 0;
        }
        return MCIERR_UNRECOGNIZED_KEYWORD;
    }
    // play [from <position>]
    if (w.size() != 2 && !(w.size() == 4 && Lower(w[2]) == "from")) return MCIERR_UNRECOGNIZED_KEYWORD;
    if (device.state.type == "sequencer") return MCIERR_NO_PLAYER;  // no MIDI synthesiser here
    device.player.Start(device.state.file, Silent(s));
    device.state.playing = true;
    return 0;
}

}  // namespace

MCIERROR mciSendString(const char* command, char* returnString, UINT returnLength, HWND)
{
    if (returnString && returnLength > 0) returnString[0] = '\0';
    if (!command) return MCIERR_UNRECOGNIZED_COMMAND;
    Interface& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.log.push_back(command);
    return Send(s, Words(command));
}

BOOL PlaySoundA(const char* sound, HMODULE, DWORD flags)
{
    Interface& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!sound) {
        if (flags & SND_PURGE) s.log.push_back("PlaySoundA purge");
        s.playSound.Stop();
        return TRUE;
    }
    std::error_code ec;
    if (!(flags & SND_FILENAME) || !std::filesystem::is_regular_file(utilkit::WindowsToPosixPath(sound), ec))
        return FALSE;
    s.log.push_back(std::string("PlaySoundA ") + sound);
    s.playSound.Start(sound, Silent(s));
    return TRUE;
}

namespace mci {

std::optional<AliasState> GetAlias(const std::string& alias)
{
    Interface& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    const auto found = s.aliases.find(Lower(alias));
    if (found == s.aliases.end()) return std::nullopt;
    Device& device = *found->second;
    if (device.state.playing && !device.player.Sounding()) device.state.playing = false;
    return device.state;
}

std::vector<std::string> CommandLog()
{
    Interface& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.log;
}

void ClearCommandLog()
{
    Interface& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.log.clear();
}

bool SetSilent(bool silent)
{
    Interface& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    const bool previous = Silent(s);
    s.silent = silent;
    return previous;
}

bool PlaySoundActive()
{
    Interface& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.playSound.Sounding();
}

}  // namespace mci
