// The sounds of a tour: previewed in the tour dialog through the multimedia
// command interface under one alias, and published into the tour's data
// folder, copied for the Java viewer and, for the Flash viewer, WAV files
// converted to MP3 by the converter program "loud" that lies beside the
// application.
#pragma once

// Preview results (besides 0 for success and the interface's own codes).
constexpr int kSoundNotFound = 2;             // no such file, a folder, or a name the command cannot quote
constexpr int kSoundUnknownKind = 50123;      // no extension, or not one of the sound kinds
constexpr int kSoundSequencerMissing = 343;   // the MIDI device is missing or busy

// Puts the sound `source` at `destination`; nonzero on success. For the Java
// viewer, and for the Flash viewer any sound but WAV, the file is copied
// (overwriting); for the Flash viewer a ".wav" (any case) becomes an MP3 at
// `destination` with its last three characters replaced by "mp3", at
// `bitRate` kilobits per second. 0 when the copy or the conversion failed.
int PublishSound(const char* source, const char* destination, bool flashViewer, int bitRate);

// Runs the converter "\\loud.exe" of the program folder with "-h -b
// <bitRate> \"source\" \"destination\"" and waits for it. Nonzero when it
// ended with status 0 and left a non-empty destination file.
int ConvertToMp3(const char* source, const char* destination, int bitRate);

// Opens `path` on the alias "QuorvaneMciSound" (once per file name; another
// file closes everything first) and plays it from the start: 0, or one of
// the results above, or the interface's error code.
int SoundCommand(const char* path);
int PlaySoundFile(const char* path);

// Stops a sound started with PlaySoundA and the alias's sound.
void StopSound();

// Tests run a converter of their own: the program that ConvertToMp3 starts
// instead of "loud" beside the application; null restores it.
void SetSoundConverter(const char* program);
