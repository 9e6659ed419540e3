#include "platform/win/runtime.h"

#include "platform/win/dialog.h"
#include "platform/win/menu.h"
#include "platform/win/message_queue.h"
#include "platform/win/prompter.h"
#include "platform/win/resources.h"
#include "platform/win/system.h"
#include "platform/win/win_thread.h"
#include "platform/win/window_system.h"

#include <thread>

namespace win {

void InitRuntime()
{
    WindowSystem::Get().SetUiThread(std::this_thread::get_id());
}

void ResetRuntime()
{
    InitRuntime();
    // Workers still running get a moment to finish; their sends are answered.
    JoinWorkerThreads(2000);
    WindowSystem::Get().DestroyAll();
    DestroyAllMenus();
    MessageQueue::Get().Reset();
    Clock::UseManual(false);
    ResetSystemState();
    Resources::ClearAll();
    SetInteractive(false);
    SetIdleHandler(nullptr);
}

}  // namespace win
