#include "platform/win/cmd_target.h"

#include "platform/win/system.h"

namespace win {

const MessageMapEntry* MessageMap::FindMessage(UINT message) const
{
    for (const MessageMap* map = this; map; map = map->m_base) {
        for (const MessageMapEntry& e : map->m_entries) {
            if (e.message == message && e.message != WM_COMMAND && e.message != WM_NOTIFY) return &e;
        }
    }
    return nullptr;
}

const MessageMapEntry* MessageMap::FindCommand(UINT message, int code, UINT id) const
{
    for (const MessageMap* map = this; map; map = map->m_base) {
        for (const MessageMapEntry& e : map->m_entries) {
            if (e.message == message && e.code == code && id >= e.idFirst && id <= e.idLast) return &e;
        }
    }
    return nullptr;
}

}  // namespace win

const win::MessageMap* CCmdTarget::GetMessageMap() const
{
    static const win::MessageMap map(nullptr, {});
    return &map;
}

BOOL CCmdTarget::DispatchCmdMsg(UINT id, int code, void* extra, win::HandlerInfo* info)
{
    const win::MessageMap* map = GetMessageMap();
    if (!map) return FALSE;
    const win::MessageMapEntry* entry = nullptr;
    win::NotifyArgs* notify = nullptr;
    if (code == CN_NOTIFY) {
        notify = static_cast<win::NotifyArgs*>(extra);
        if (!notify || !notify->header) return FALSE;
        entry = map->FindCommand(WM_NOTIFY, static_cast<int>(notify->header->code), id);
    } else {
        entry = map->FindCommand(WM_COMMAND, code, id);
    }
    if (!entry) return FALSE;
    if (info && !extra) {
        info->target = this;
        return TRUE;
    }
    if (code == CN_UPDATE_COMMAND_UI) {
        auto* ui = static_cast<CCmdUI*>(extra);
        ui->m_bContinueRouting = FALSE;
        entry->call(this, id, reinterpret_cast<LPARAM>(ui));
        // A handler that called ContinueRouting lets the next target answer.
        return !ui->m_bContinueRouting;
    }
    if (notify) {
        entry->call(this, id, reinterpret_cast<LPARAM>(notify));
        return TRUE;
    }
    return entry->call(this, id, 0) != 0;
}

BOOL CCmdTarget::OnCmdMsg(UINT id, int code, void* extra, win::HandlerInfo* info)
{
    return DispatchCmdMsg(id, code, extra, info);
}

void CCmdTarget::BeginWaitCursor()
{
    win::PushWaitCursor();
}

void CCmdTarget::EndWaitCursor()
{
    win::PopWaitCursor();
}

void CCmdTarget::RestoreWaitCursor()
{
    win::RestoreWaitCursor();
}

void CCmdUI::Enable(BOOL) {}
void CCmdUI::SetCheck(int) {}
void CCmdUI::SetRadio(BOOL on)
{
    SetCheck(on ? 1 : 0);
}
void CCmdUI::SetText(const char*) {}

BOOL CCmdUI::DoUpdate(CCmdTarget* target, BOOL disableIfNoHandler)
{
    if (!target || m_nID == 0) return TRUE;
    m_bEnableChanged = FALSE;
    const BOOL handled = target->OnCmdMsg(m_nID, CN_UPDATE_COMMAND_UI, this, nullptr);
    if (!handled && disableIfNoHandler && !m_bEnableChanged) {
        // Without an update handler a command is usable exactly when some
        // target would run it.
        win::HandlerInfo info;
        Enable(target->OnCmdMsg(m_nID, CN_COMMAND, nullptr, &info));
    }
    return handled;
}

namespace win {

namespace {
class RecordingCmdUI : public CCmdUI {
public:
    explicit RecordingCmdUI(CommandState& state) : m_state(state) {}
    void Enable(BOOL on) override
    {
        m_bEnableChanged = TRUE;
        m_state.enabled = on != FALSE;
    }
    void SetCheck(int check) override { m_state.check = check; }
    void SetRadio(BOOL on) override
    {
        m_state.radio = true;
        m_state.check = on ? 1 : 0;
    }
    void SetText(const char* text) override
    {
        m_state.textSet = true;
        m_state.text = text ? text : "";
    }

private:
    CommandState& m_state;
};
}  // namespace

CommandState QueryCommandState(CCmdTarget* target, UINT id)
{
    CommandState state;
    if (!target) return state;
    HandlerInfo info;
    state.commandHandler = target->OnCmdMsg(id, CN_COMMAND, nullptr, &info) != FALSE;
    // An item starts enabled; an update handler that leaves it alone keeps it
    // so. Without one, the item is usable exactly when a command handler exists.
    state.enabled = true;
    RecordingCmdUI ui(state);
    ui.m_nID = id;
    state.updateHandler = target->OnCmdMsg(id, CN_UPDATE_COMMAND_UI, &ui, nullptr) != FALSE;
    if (!state.updateHandler && !ui.m_bEnableChanged) state.enabled = state.commandHandler;
    return state;
}

}  // namespace win
