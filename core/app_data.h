// The common application-data folder the suite keeps its files under, and
// the log folder in it. The logger needs them before any other service is
// up, so they sit on the ground floor; Utilkit's folder services build on
// them.
#pragma once

#include <string>

// $FENDRAKE_APPDATA, else $XDG_STATE_HOME, else ~/.local/state.
std::string CommonAppDataRoot();

// "Quorvane/log" below the common folder, made when missing (the path is
// returned even when it cannot be made).
std::string CommonLogFolder();
