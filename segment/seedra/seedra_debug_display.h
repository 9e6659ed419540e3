// The utility module's debug display as Seedra's demonstrations call it. This
// build has no debug windows: the flag is off and nothing is shown; the calls
// keep their arguments for when a display is attached.
#pragma once

#include "imaging/image.h"
#include "platform/win/win_types.h"

namespace seedra::debug {

inline int GetDebugDispFlag() { return 0; }
inline bool DisplayImageWin0(Image* /*image*/, RECT* /*rect*/, int /*x*/, int /*y*/) { return false; }

}  // namespace seedra::debug
