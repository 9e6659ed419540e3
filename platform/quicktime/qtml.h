// Client layer of the QuickTime media services as the world-map library's
// movie saves use it: one initialisation call before each save. On this
// platform the movie writer needs no outside media layer, so initialisation
// succeeds unless a test (or a host without movie support) says otherwise.
#pragma once

using OSErr = short;
constexpr OSErr noErr = 0;
// Answer of InitializeQTML when the media layer is not installed.
constexpr OSErr qtmlNotInstalledErr = -2093;

extern "C" OSErr InitializeQTML(long flags);
extern "C" void TerminateQTML();

namespace qtml {

// The answer every later InitializeQTML gives (noErr by default).
void SetInitializeResult(OSErr result);
// How often InitializeQTML was called, with the flags of the last call.
int InitializeCount();
long LastInitializeFlags();

}  // namespace qtml
