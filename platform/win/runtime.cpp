#include "platform/win/runtime.h"

#include "platform/win/clipboard.h"
#include "platform/win/dialog.h"
#include "platform/win/dib.h"
#include "platform/win/drag_drop.h"
#include "platform/win/file_system.h"
#include "platform/win/menu.h"
#include "platform/win/message_queue.h"
#include "platform/win/profile.h"
#include "platform/win/prompter.h"
#include "platform/win/resources.h"
#include "platform/win/screen_session.h"
#include "platform/win/shell.h"
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
    DeleteAllBitmaps();
    MessageQueue::Get().Reset();
    Clock::UseManual(false);
    ResetSystemState();
    ResetScreenSession();
    Resources::ClearAll();
    SetInteractive(false);
    ResetClipboard();
    ResetDragDrop();
    ClearShellRequests();
    SetShellLaunching(false);
    Profile::Get().Reset();
    ResetFileSystem();
}

}  // namespace win
