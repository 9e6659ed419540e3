#include "tour/tessiv/tour_sound.h"

#include "platform/mci/mci.h"
#include "platform/utilkit/log_base.h"
#include "core/logger.h"
#include "platform/win/file_system.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The file the alias holds open; a preview of the same file opens nothing.
std::string g_openedSound;
std::string g_converter;  // empty: "loud" beside the application

bool EqualNoCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

bool IsSoundKind(const char* extension)
{
    for (const char* kind : {".wav", ".mp3", ".mid", ".midi", ".rmi"})
        if (EqualNoCase(extension, kind)) return true;
    return false;
}

// The device type by the last four characters of the name.
const char* DeviceType(const std::string& path)
{
    const char* tail = path.c_str() + (path.size() >= 4 ? path.size() - 4 : 0);
    if (EqualNoCase(tail, ".wav")) return "waveaudio";
    if (EqualNoCase(tail, ".mp3")) return "mpegvideo";
    return "sequencer";
}

int Send(const std::string& command) { return static_cast<int>(mciSendString(command.c_str(), nullptr, 0, nullptr)); }

bool CopySound(const char* source, const char* destination)
{
    if (CopyFile(source, destination, FALSE)) return true;
    Logger::log("ERROR PublishSound: cannot copy %s to %s", 1, source, destination);
    return false;
}

}  // namespace

int PublishSound(const char* source, const char* destination, bool flashViewer, int bitRate)
{
    if (!source || !destination) return 0;
    if (!flashViewer) return CopySound(source, destination) ? 1 : 0;
    // A sound without an extension is copied as it is: the page names it
    // whatever it holds.
    const char* extension = std::strrchr(source, '.');
    if (!extension || !EqualNoCase(extension, ".wav")) return CopySound(source, destination) ? 1 : 0;
    std::string mp3 = destination;
    mp3.replace(mp3.size() >= 3 ? mp3.size() - 3 : 0, std::string::npos, "mp3");
    return ConvertToMp3(source, mp3.c_str(), bitRate);
}

int ConvertToMp3(const char* source, const char* destination, int bitRate)
{
    if (!source || !destination) return 0;
    const std::string program = g_converter.empty() ? LogBase::GetAppDir0() + "\\loud.exe" : g_converter;
    char rate[16];
    std::snprintf(rate, sizeof rate, "%d", bitRate);
    Logger::log("ConvertToMp3: %s -h -b %s \"%s\" \"%s\"", 3, program.c_str(), rate, source, destination);
    // Words, not a command line: a quote in a file name stays in the name.
    const std::string to = LogBase::ToNativePath(destination);
    const int status = LogBase::ExecuteWait(program.c_str(),
                                            {"-h", "-b", rate, LogBase::ToNativePath(source), to}, false);
    std::error_code ec;
    const auto size = std::filesystem::file_size(to, ec);
    if (status != 0 || ec || size == 0) {
        Logger::log("ERROR ConvertToMp3: %s not converted to %s (status %d)", 1, source, destination, status);
        return 0;
    }
    return 1;
}

int SoundCommand(const char* path)
{
    if (!path) return kSoundNotFound;
    const DWORD attributes = GetFileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        Logger::log("ERROR SoundCommand: no sound file %s", 1, path);
        return kSoundNotFound;
    }
    // The name goes between quotes into the open command: a quote would end
    // it there and the rest would be read as words of the command.
    if (std::strchr(path, '"')) {
        Logger::log("ERROR SoundCommand: a quote in the sound's name %s", 1, path);
        return kSoundNotFound;
    }
    const char* extension = std::strrchr(path, '.');
    if (!extension || !IsSoundKind(extension)) return kSoundUnknownKind;

    StopSound();
    if (g_openedSound != path) {
        g_openedSound = path;
        Send("close all");
        const std::string open =
            std::string("open \"") + path + "\" type " + DeviceType(path) + " alias QuorvaneMciSound";
        // A file that did not open is opened again on the next preview.
        int error = Send(open);
        if (!error) error = Send("set QuorvaneMciSound time format milliseconds");
        if (error) {
            g_openedSound.clear();
            return error;
        }
    }
    const int error = Send("play QuorvaneMciSound from 0");
    if (error == static_cast<int>(MCIERR_NO_PLAYER)) return kSoundSequencerMissing;
    return error;
}

int PlaySoundFile(const char* path) { return SoundCommand(path); }

void StopSound()
{
    PlaySoundA(nullptr, nullptr, SND_PURGE);
    Send("stop QuorvaneMciSound");
}

void SetSoundConverter(const char* program) { g_converter = program ? program : ""; }
