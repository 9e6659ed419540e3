// The multimedia command interface the tour maker previews sounds through:
// text commands on device aliases ("open", "set", "play", "stop", "close")
// and the purge of PlaySoundA. A device plays through Debian's ffplay when a
// display is reachable and ffplay is installed, else silently; either way
// the aliases keep their state and every command is recorded, so that tests
// can see what was sent and what it did.
#pragma once

#include "platform/win/win_defs.h"

#include <optional>
#include <string>
#include <vector>

using MCIERROR = DWORD;

// The interface's answers (0 is success).
constexpr MCIERROR MCIERR_BASE = 256;
constexpr MCIERROR MCIERR_UNRECOGNIZED_KEYWORD = MCIERR_BASE + 3;
constexpr MCIERROR MCIERR_UNRECOGNIZED_COMMAND = MCIERR_BASE + 5;
// An alias that is not open, or a "type" that no device here serves.
constexpr MCIERROR MCIERR_INVALID_DEVICE_NAME = MCIERR_BASE + 7;
constexpr MCIERROR MCIERR_MISSING_PARAMETER = MCIERR_BASE + 17;
constexpr MCIERROR MCIERR_FILE_NOT_FOUND = MCIERR_BASE + 19;
constexpr MCIERROR MCIERR_DUPLICATE_ALIAS = MCIERR_BASE + 33;
// What play answers on a device that has no player (the sequencer).
constexpr MCIERROR MCIERR_NO_PLAYER = 2;

// PlaySoundA flags.
constexpr DWORD SND_ASYNC = 0x0001;
constexpr DWORD SND_PURGE = 0x0040;
constexpr DWORD SND_FILENAME = 0x00020000;

// Sends one command ("open \"c:\\a.wav\" type waveaudio alias A", "set A
// time format milliseconds", "play A from 0", "stop A", "close A", "close
// all"); 0 or an MCIERR_ code. Nothing comes back in `returnString` but an
// empty text; `callback` is not used.
MCIERROR mciSendString(const char* command, char* returnString, UINT returnLength, HWND callback);

// Plays the file `sound` (SND_FILENAME) without waiting; with no sound and
// SND_PURGE, stops what an earlier call started. Answers TRUE when done.
BOOL PlaySoundA(const char* sound, HMODULE module, DWORD flags);

namespace mci {

// What an alias holds.
struct AliasState {
    std::string file;  // as the open command named it
    std::string type;  // "waveaudio", "mpegvideo" or "sequencer"
    bool playing = false;
    bool milliseconds = false;  // time format set
};

// The alias while open; nothing once closed.
std::optional<AliasState> GetAlias(const std::string& alias);
// The commands sent so far, as sent, and the purges of PlaySoundA
// ("PlaySoundA purge").
std::vector<std::string> CommandLog();
void ClearCommandLog();
// Silent devices (no child program) whatever the display; tests set it.
// Returns the previous setting.
bool SetSilent(bool silent);
// Whether a sound started with PlaySoundA is still sounding.
bool PlaySoundActive();

}  // namespace mci
