// Waiting, in the application's tests, for a stitch run started by posted
// commands to end: the user-interface loop runs until the stitch bar is idle,
// no worker is active or running and no pair solve is outstanding.
#pragma once

#include "app/control/stitch_pair.h"
#include "app/control/super_manager.h"
#include "app/shell/stitch_bar.h"
#include "platform/win/win_thread.h"
#include "platform/win/wnd.h"

#include <chrono>
#include <thread>

inline bool StitchRunIsIdle(SuperManager& manager)
{
    return manager.GetStitchBar()->IsIdle() && !manager.IsWorkerActive() && GetStitchThreadBlock()->busy == 0 &&
           win::RunningWorkerCount() == 0;
}

// True once the run is idle, false when `limitMs` passed first. The posted
// commands are dispatched before the first look (a marker-mode press
// stitches inline).
inline bool PumpUntilStitchIdle(SuperManager& manager, int limitMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    win::PumpPendingMessages();
    while (std::chrono::steady_clock::now() < end) {
        win::PumpPendingMessages();
        if (StitchRunIsIdle(manager)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}
