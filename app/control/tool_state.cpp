#include "app/control/tool_state.h"

#include "platform/win/system.h"

namespace {

ToolState* g_toolState = nullptr;

// The cursor resource of a tool, 0 for none; -1 leaves the cursor as it is.
int CursorResourceOf(int32_t group, int32_t tool)
{
    switch (group) {
    case 33000:
        return tool == 33001 ? 145 : 0;
    case 33050:
        if (tool == 33051 || tool == 33052) return 244;
        if (tool == 33053) return 245;
        if (tool == 33054) return 166;
        return 0;
    case 33070:
        return -1;
    default:
        return 0;
    }
}

}  // namespace

void ToolState::SetToolByContext(int32_t tool)
{
    if (m_context == 131)
        SetTool(33070, tool);
    else if (m_context == 147)
        SetTool(33050, tool);
}

void ToolState::SetTool(int32_t group, int32_t tool)
{
    m_group = group;
    m_tool = tool;
    if (tool < group) {
        m_group = kGeneralGroup;
        m_tool = kGeneralGroup;
        m_cursor = nullptr;
        return;
    }
    const int resource = CursorResourceOf(group, tool);
    if (resource < 0) return;
    m_cursor = resource ? LoadResourceCursor(static_cast<UINT>(resource)) : nullptr;
}

ToolState* GetToolState() { return g_toolState; }
void SetToolState(ToolState* state) { g_toolState = state; }

int32_t GetCurrentToolGroup() { return g_toolState ? g_toolState->GetGroup() : 0; }
int32_t GetCurrentTool() { return g_toolState ? g_toolState->GetTool() : 0; }

void SetCurrentTool(int32_t group, int32_t tool)
{
    if (g_toolState) g_toolState->SetTool(group, tool);
}

void ResetCurrentTool(int32_t tool)
{
    if (g_toolState) g_toolState->ResetTool(tool);
}

HCURSOR GetCurrentToolCursor() { return g_toolState ? g_toolState->GetCursor() : nullptr; }
